// Curve records: the single-block result record, the point curve, release,
// reallocation, the field-by-field copy and the scratch arrays of temporary curves.
#include <cstring>

#include "frame/frame.hpp"
#include "records/curve_check.hpp"
#include "records/records.hpp"

namespace knotwork {

int64_t curve_block_size(int32_t order, int32_t num_poles, bool rational, int32_t num_boundaries) {
  if (order < 1 || num_poles < 0 || num_boundaries < 0) return -1;
  const int64_t n = num_poles;
  int64_t size = static_cast<int64_t>(sizeof(BScurve)) + 24 * n + 8 * (order + n);
  if (rational) size += 8 * n;
  if (num_boundaries > 0) size += 16 * static_cast<int64_t>(num_boundaries);
  return size > INT32_MAX ? -1 : size;
}

namespace {

// Lays the arrays out behind the header. The header is all-ones bytes first, so
// the fields the caller must set read -1 until then.
BScurve *lay_out_curve_block(void *block, int16_t order, int32_t num_poles, bool rational,
                             int16_t num_boundaries) {
  auto *cv = static_cast<BScurve *>(block);
  std::memset(cv, 0xFF, sizeof(BScurve));
  double *const poles =
      reinterpret_cast<double *>(static_cast<unsigned char *>(block) + sizeof(BScurve));
  double *const knots = poles + 3 * static_cast<std::size_t>(num_poles);
  double *const after_knots = knots + order + static_cast<std::size_t>(num_poles);
  cv->poles = poles;
  cv->knots = knots;
  cv->rational = rational ? 1 : 0;
  cv->weights = rational ? after_knots : nullptr;
  cv->bdrys = num_boundaries >= 1 ? (rational ? after_knots + num_poles : after_knots) : nullptr;
  cv->num_poles = num_poles;
  cv->num_knots = order + num_poles;
  cv->num_boundaries = num_boundaries;
  return cv;
}

// Allocates and lays out the block; the status word gets -2 or -13 on failure.
BScurve *allocate_curve_block(int16_t order, int32_t num_poles, bool rational,
                              int16_t num_boundaries, BSrc *rc) {
  if (order < 1 || num_poles < 0 || num_boundaries < 0) {
    *rc = BSINARG;
    return nullptr;
  }
  const int64_t size = curve_block_size(order, num_poles, rational, num_boundaries);
  void *block = size < 0 ? nullptr : BSdbgalloc(static_cast<int32_t>(size));
  if (block == nullptr) {
    *rc = BSNOMEMORY;
    return nullptr;
  }
  return lay_out_curve_block(block, order, num_poles, rational, num_boundaries);
}

void release_scratch_array(double *&array) {
  if (array != nullptr) BSdbgsfree(array);
  array = nullptr;
}

// A record the copy can read: consistent counts and present arrays; a rational
// record's missing weights are left to the copy, which reports them as -2.
BSrc copyable(const BScurve &source) {
  BScurve shape = source;
  shape.rational = 0;
  return validate_curve(&shape, kCurveOrder1);
}

}  // namespace

void copy_curve_header(const BScurve &source, BScurve &target) {
  target.order = source.order;
  target.periodic = source.periodic;
  target.non_uniform = source.non_uniform;
  target.num_poles = source.num_poles;
  target.num_knots = source.num_knots;
  target.rational = source.rational;
  target.planar = source.planar;
  target.phy_closed = source.phy_closed;
  target.num_boundaries = 0;
  target.bdrys = nullptr;
}

BSrc copy_curve_into(const BScurve &source, BScurve &target) {
  if (&source == &target) return BSSUCC;
  copy_curve_header(source, target);
  const std::size_t n = source.num_poles > 0 ? static_cast<std::size_t>(source.num_poles) : 0;
  const std::size_t nk = source.num_knots > 0 ? static_cast<std::size_t>(source.num_knots) : 0;
  if (target.poles == nullptr) return BSNULLPTR;
  if (n > 0) std::memmove(target.poles, source.poles, 3 * n * sizeof(double));
  if (target.knots == nullptr) return BSNULLPTR;
  if (nk > 0) std::memmove(target.knots, source.knots, nk * sizeof(double));
  if (source.rational) {
    if (source.weights == nullptr) return BSINARG;
    if (target.weights == nullptr) return BSNULLPTR;
    if (n > 0) std::memmove(target.weights, source.weights, n * sizeof(double));
  } else {
    target.rational = 0;
    target.weights = nullptr;
  }
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BSallocqelcv(int16_t order, int32_t num_poles, BSboolean rational,
                         int16_t num_boundaries, BScurve **curve, BSrc *rc) {
  if (curve != nullptr) *curve = nullptr;
  BScurve *made = nullptr;
  {
    KW_EPILOGUE(rc);
    if (curve == nullptr) {
      *rc = BSNULLPTR;
      return;
    }
    made = allocate_curve_block(order, num_poles, rational != 0, num_boundaries, rc);
  }
  // The epilogue may have injected a failure after the block was made.
  if (*rc != BSSUCC) {
    if (made != nullptr) BSdbgfree(made);
    made = nullptr;
  }
  if (curve != nullptr) *curve = made;
}

KW_API void BSptcvgen(const double point[3], int16_t order, BSboolean rational, BScurve *curve,
                      BSrc *rc) {
  KW_EPILOGUE(rc);
  if (point == nullptr || curve == nullptr || curve->poles == nullptr || curve->knots == nullptr ||
      (rational && curve->weights == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  if (order < 1) {
    *rc = BSINARG;
    return;
  }
  curve->order = order;
  curve->num_poles = order;
  curve->num_knots = 2 * order;
  for (int i = 0; i < order; ++i) {
    std::memcpy(curve->poles + 3 * i, point, 3 * sizeof(double));
    curve->knots[i] = 0.0;
    curve->knots[order + i] = 1.0;
  }
  curve->rational = rational ? 1 : 0;
  if (rational) {
    for (int i = 0; i < order; ++i) curve->weights[i] = 1.0;
  } else {
    curve->weights = nullptr;
  }
  curve->periodic = 0;
  curve->non_uniform = 0;
  curve->planar = 0;
  curve->phy_closed = 0;
  curve->num_boundaries = 0;
  curve->bdrys = nullptr;
}

// Only the trace runs here: the release itself cannot be made to fail.
KW_API void BSfreeqelcv(BScurve *curve, BSrc *rc) {
  *rc = BSSUCC;
  if (curve == nullptr) {
    *rc = BSNULLPTR;
    BSdbgrc(*rc, "BSfreeqelcv");
    return;
  }
  BSdbgfree(curve);
}

KW_API void BSreallocqelcv(int16_t order, int32_t num_poles, int16_t num_boundaries,
                           BScurve **curve, BSrc *rc) {
  BScurve *made = nullptr;
  {
    KW_EPILOGUE(rc);
    if (curve == nullptr || *curve == nullptr) {
      *rc = BSNULLPTR;
      return;
    }
    BScurve *const old = *curve;
    *curve = nullptr;
    BSallocqelcv(order, num_poles, old->rational, num_boundaries, &made, rc);
    if (*rc == BSSUCC) {
      made->order = order;
      made->num_poles = num_poles;
      made->num_knots = order + num_poles;
      made->rational = old->rational;
      made->periodic = old->periodic;
      made->phy_closed = old->phy_closed;
      made->num_boundaries = old->num_boundaries;
    }
    // The old record goes in every case: *curve no longer reaches it.
    BSrc free_rc;
    BSfreeqelcv(old, &free_rc);
  }
  if (*rc != BSSUCC && made != nullptr) {
    BSdbgfree(made);
    made = nullptr;
  }
  if (curve != nullptr) *curve = made;
}

KW_API BSboolean BScv_copy(BSrc *rc, const BScurve *source, BScurve *target) {
  KW_EPILOGUE(rc);
  if (source != target) {
    if (source == nullptr || target == nullptr)
      *rc = BSNULLPTR;
    else if ((*rc = copyable(*source)) == BSSUCC)
      *rc = copy_curve_into(*source, *target);
  }
  return KW_FINISH(TRUE);
}

KW_API BSboolean BSstallcvfl(int16_t, int32_t, BSboolean, BScurve *curve, BSrc *rc) {
  *rc = BSINARG;
  BSsetrc("bsstallcvfl", rc);
  if (curve != nullptr) {
    release_scratch_array(curve->poles);
    release_scratch_array(curve->knots);
    release_scratch_array(curve->weights);
  }
  BSdbgrc(*rc, "BSstallcvfl");
  return FALSE;
}

KW_API BSboolean BSstfrecvfl(BSrc *rc, BScurve *curve) {
  KW_EPILOGUE(rc);
  if (curve == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  release_scratch_array(curve->knots);
  if (curve->rational) release_scratch_array(curve->weights);
  release_scratch_array(curve->poles);
  return KW_FINISH(TRUE);
}

}  // extern "C"
