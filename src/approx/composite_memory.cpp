// Memory of composite Legendre curves: the per-segment arrays (BSalldeflgd), the
// coefficient block with its pointer array (BSallcmplgd) and its release
// (BSfrecmplgd).
#include <initializer_list>
#include <cstring>

#include "approx/composite.hpp"

namespace knotwork {

namespace {

template <class T>
T *zeroed(int64_t count) {
  if (count <= 0 || count * static_cast<int64_t>(sizeof(T)) > INT32_MAX) return nullptr;
  void *p = BSdbgalloc(static_cast<int32_t>(count * sizeof(T)));
  if (p != nullptr) std::memset(p, 0, count * sizeof(T));
  return static_cast<T *>(p);
}

template <class T>
void release(T **p) {
  if (*p != nullptr) BSdbgfree(*p);
  *p = nullptr;
}

}  // namespace

BSrc allocate_segment_arrays(int32_t m, int32_t **ndeg, int32_t **irat, int32_t **ibase,
                             double **bez_knots) {
  int32_t *a = zeroed<int32_t>(m), *b = zeroed<int32_t>(m), *c = zeroed<int32_t>(m);
  double *k = zeroed<double>(static_cast<int64_t>(m) + 1);
  if (a == nullptr || b == nullptr || c == nullptr || k == nullptr) {
    release_segment_arrays(&a, &b, &c, &k);
    *ndeg = *irat = *ibase = nullptr;
    *bez_knots = nullptr;
    return BSNOMEMORY;
  }
  for (int32_t i = 0; i < m; ++i) c[i] = 1;
  *ndeg = a;
  *irat = b;
  *ibase = c;
  *bez_knots = k;
  return BSSUCC;
}

void release_segment_arrays(int32_t **ndeg, int32_t **irat, int32_t **ibase, double **bez_knots) {
  release(ndeg);
  release(irat);
  release(ibase);
  release(bez_knots);
}

BSrc allocate_series(int32_t d, int32_t m, const int32_t *ndeg, const int32_t *irat,
                     double ***series) {
  int64_t total = 0;
  for (int32_t i = 0; i < m; ++i)
    total += static_cast<int64_t>(ndeg[i] + 1) * segment_components(d, irat[i]);
  double **ptrs = zeroed<double *>(m);
  double *block = zeroed<double>(total);
  if (ptrs == nullptr || block == nullptr) {
    release(&ptrs);
    release(&block);
    return BSNOMEMORY;
  }
  ptrs[0] = block;
  for (int32_t i = 0; i + 1 < m; ++i)
    ptrs[i + 1] = ptrs[i] + static_cast<int64_t>(ndeg[i] + 1) * segment_components(d, irat[i]);
  *series = ptrs;
  return BSSUCC;
}

void release_series(double ***series) {
  if (*series == nullptr) return;
  if ((*series)[0] != nullptr) BSdbgfree((*series)[0]);
  BSdbgfree(*series);
  *series = nullptr;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSalldeflgd(int32_t m, int32_t **ndeg, int32_t **irat, int32_t **ibase,
                                   double **bez_knots, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (ndeg == nullptr || irat == nullptr || ibase == nullptr || bez_knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (m < 1 || m > kMaxSegments) {
    *rc = BSINARG;
    return;
  }
  *rc = allocate_segment_arrays(m, ndeg, irat, ibase, bez_knots);
  if (*rc == BSSUCC && !KW_FINISH(TRUE))
    release_segment_arrays(ndeg, irat, ibase, bez_knots);  // injected failure
}

extern "C" KW_API void BSallcmplgd(int32_t d, int32_t m, const int32_t *ndeg, const int32_t *irat,
                                   double ***series, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (ndeg == nullptr || irat == nullptr || series == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (d < 1 || m < 1 || m > kMaxSegments) {
    *rc = BSINARG;
    return;
  }
  for (int32_t i = 0; i < m; ++i)
    if (ndeg[i] < 0 || ndeg[i] > kMaxSegmentDegree || segment_components(d, irat[i]) < 0) {
      *rc = BSINARG;
      return;
    }
  *rc = allocate_series(d, m, ndeg, irat, series);
  if (*rc == BSSUCC && !KW_FINISH(TRUE))
    release_series(series);  // an injected failure hands out nothing
}

extern "C" KW_API void BSfrecmplgd(double ***series) {
  if (series != nullptr) release_series(series);
}
