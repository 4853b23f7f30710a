// End weights of rational curves brought to 1 by rational-linear
// reparametrisation of the end segments (shape kept), and the linear
// reparametrisation of a curve's domain.
#include <cmath>

#include "bspline/insert.hpp"
#include "bspline/knots.hpp"
#include "records/curve_check.hpp"
#include "records/records.hpp"
#include "records/scratch_curve.hpp"

namespace knotwork {

namespace {

// kBothScaled: both ends after scaling by the mean weight (BSchgecvwts).
enum EndChoice { kStart = 0, kEnd = 1, kBoth = 2, kBothScaled = 3 };

// Record checks of the weight routines: a valid rational record whose weights are
// all positive (49 otherwise).
BSrc check_rational(const BScurve *cv) {
  if (cv == nullptr) return BSNULLPTR;
  if (const BSrc rc = validate_curve(cv, kCurveDomain | kCurveArrays); rc != BSSUCC) return rc;
  if (!cv->rational) return BSINARG;
  for (int32_t i = 0; i < cv->num_poles; ++i)
    if (!(cv->weights[i] > 0.0)) return BSBADWEIGHT;
  return BSSUCC;
}

void scale_pole(BScurve &cv, int32_t i, double f) {
  cv.weights[i] *= f;
  for (int c = 0; c < 3; ++c) cv.poles[3 * i + c] *= f;
}

// Poles 0 .. p of a clamped curve form a Bezier segment: w_i -> w_i / w0^((p-i)/p)
// keeps it (a rational-linear reparametrisation fixing pole p) and makes w0 = 1.
void unit_start_weight(BScurve &cv) {
  const int p = cv.order - 1;
  const double w0 = cv.weights[0];
  for (int i = 0; i < p; ++i) scale_pole(cv, i, std::pow(w0, -static_cast<double>(p - i) / p));
  cv.weights[0] = 1.0;
}

// The same for the last segment, poles m-p .. m, fixing pole m-p.
void unit_end_weight(BScurve &cv) {
  const int p = cv.order - 1;
  const int32_t m = cv.num_poles - 1;
  const double wm = cv.weights[m];
  for (int i = 1; i <= p; ++i) scale_pole(cv, m - p + i, std::pow(wm, -static_cast<double>(i) / p));
  cv.weights[m] = 1.0;
}

// Divides all weights and poles by s and sets the end weights exactly to 1.
void divide_all(BScurve &cv, double s, bool exact_ends) {
  for (int32_t i = 0; i < cv.num_poles; ++i) scale_pole(cv, i, 1.0 / s);
  if (exact_ends) cv.weights[0] = cv.weights[cv.num_poles - 1] = 1.0;
}

// The chosen end segments made Bezier segments (first and last interior knots
// inserted to multiplicity p, knot_tol held at the curve knot tolerance).
BSrc isolate_end_segments(BScurve &cv, int choice) {
  const int32_t k = cv.order, n = cv.num_poles;
  const double first = cv.knots[k], last = cv.knots[n - 1];
  const ToleranceOverride knot_tol(&BSparameters::knot_tol,
                                   curve_knot_tolerance(k, cv.knots, n, cv.poles, cv.weights));
  BScurve *self = &cv;
  if (choice != kEnd)
    if (const BSrc rc = add_knot(cv, first, k - 1, true, true, &self, nullptr); rc != BSSUCC)
      return rc;
  if (choice != kStart)
    if (const BSrc rc = add_knot(cv, last, k - 1, true, true, &self, nullptr); rc != BSSUCC)
      return rc;
  return BSSUCC;
}

// Both or one end weight of cv to 1 into work (room for n + 2 (k-1) poles):
// `whole` selects the curve routines (mean-weight scaling, several segments).
BSrc unit_end_weights(const BScurve &cv, int choice, bool whole, BScurve &work) {
  const int32_t k = cv.order, n = cv.num_poles;
  if (!whole && n != k) return BSINARG;
  if (const BSrc rc = copy_curve_into(cv, work); rc != BSSUCC) return rc;
  clamp_ends(work, true, true);
  double *w = work.weights;
  if (n == k) {  // one segment
    const double z = tol().zero_tol * tol().zero_tol;
    if (choice >= kBoth && std::fabs(w[0] - 1.0) < z && std::fabs(w[n - 1] - 1.0) < z)
      return BSSUCC;
    if (choice != kEnd) unit_start_weight(work);
    if (choice != kStart) unit_end_weight(work);
    return BSSUCC;
  }
  if (choice == kBothScaled) {
    double mean = 0.0;
    for (int32_t i = 0; i < n; ++i) mean += w[i];
    divide_all(work, mean / n, false);
  }
  if (choice >= kBoth) {
    const double limit = choice == kBothScaled ? 1e-10 : tol().basis_tol;
    if (std::fabs(w[0] - w[n - 1]) < limit) {
      divide_all(work, 0.5 * (w[0] + w[n - 1]), true);
      return BSSUCC;
    }
  }
  if (const BSrc rc = isolate_end_segments(work, choice); rc != BSSUCC) return rc;
  if (choice != kEnd) unit_start_weight(work);
  if (choice != kStart) unit_end_weight(work);
  return BSSUCC;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

namespace {

// Runs unit_end_weights on a scratch copy and writes the result into out.
BSrc change_weights(const BScurve &cv, int choice, bool whole, BScurve &out) {
  ScratchCurve tmp(cv.order, cv.num_poles + 2 * (cv.order - 1), true);
  if (!tmp.ok()) return tmp.status();
  BScurve &work = tmp.curve();
  if (const BSrc rc = unit_end_weights(cv, choice, whole, work); rc != BSSUCC) return rc;
  return copy_curve_into(work, out);
}

// The curve routines: *out null gets a new record with room for the insertions.
BSrc change_curve_weights(const BScurve *cv, int choice, BScurve **out) {
  if (out == nullptr) return BSNULLPTR;
  if (const BSrc rc = check_rational(cv); rc != BSSUCC) return rc;
  if (choice < kStart || choice > kBothScaled) return BSINARG;
  BScurve *target = *out;
  BSrc rc = BSSUCC;
  if (target == nullptr) {
    BSallocqelcv(cv->order, cv->num_poles + 2 * (cv->order - 1), TRUE, 0, &target, &rc);
    if (rc != BSSUCC) return rc;
  }
  rc = change_weights(*cv, choice, true, *target);
  if (*out == nullptr) {
    if (rc == BSSUCC) {
      *out = target;
    } else {
      BSrc ignored;
      BSfreeqelcv(target, &ignored);
    }
  }
  return rc;
}

}  // namespace

extern "C" KW_API void BSchgewts(const BScurve *curve, BScurve *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_rational(curve)) == BSSUCC) *rc = change_weights(*curve, kBoth, false, *out);
}

extern "C" KW_API void BSchgewtlr(BScurve *curve, BScurve *out, int32_t end, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_rational(curve)) == BSSUCC)
    *rc = change_weights(*curve, end == 0 ? kStart : kEnd, false, out ? *out : *curve);
}

extern "C" KW_API void BSchgecvwts(const BScurve *curve, BScurve **out, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = change_curve_weights(curve, kBothScaled, out);
}

extern "C" KW_API void BSchgcvewlr(const BScurve *curve, int32_t end, BScurve **out, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = change_curve_weights(curve, end >= kStart && end <= kBoth ? end : -1, out);
}

extern "C" KW_API void BSreparmcv(const BScurve *curve, double a, double b, BScurve *out,
                                  BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveDomain | kCurveArrays)) != BSSUCC) return;
  const int16_t nb = curve->num_boundaries > 0 ? curve->num_boundaries : 0;
  if (nb > 0 && (curve->bdrys == nullptr || out->bdrys == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  if (out->poles == nullptr || out->knots == nullptr ||
      (curve->rational && out->weights == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  if (!std::isfinite(a) || !std::isfinite(b) || !(a < b)) {
    *rc = BSINARG;
    return;
  }
  const int32_t k = curve->order, n = curve->num_poles;
  const double t0 = curve->knots[k - 1], t1 = curve->knots[n];
  const double scale = (b - a) / (t1 - t0);
  const auto map = [&](double t) { return t == t1 ? b : a + (t - t0) * scale; };
  // The boundaries are read from the input before the copy replaces the output's
  // header, and written into the output's own array.
  double *const bdrys = out->bdrys;
  for (int32_t j = 0; j < 2 * nb; ++j) bdrys[j] = map(curve->bdrys[j]);
  if ((*rc = copy_curve_into(*curve, *out)) != BSSUCC) return;
  for (int32_t j = 0; j < n + k; ++j) out->knots[j] = map(out->knots[j]);
  out->bdrys = bdrys;
  out->num_boundaries = nb;
}
