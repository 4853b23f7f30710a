// Joining curves end to end: the raw join of curves that meet, the robust join
// that finds the meeting ends and matches orders, the joins that also normalise
// the knots, the part of a closed curve through its seam, and the degeneracy test
// the joins use to decide closure.
#include <algorithm>
#include <cmath>

#include "arcs/arcs.hpp"
#include "bspline/insert.hpp"
#include "bspline/knots.hpp"
#include "records/curve_check.hpp"
#include "records/records.hpp"
#include "records/scratch_curve.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {

namespace {

// Status of a join whose result is complete but whose degeneracy test of an input
// failed (the input then counts as degenerate).
constexpr BSrc kDegeneracyTestFailed = 59;

// Unweighted pole i.
void pole_point(const BScurve &cv, int32_t i, double *out) {
  const double w = cv.rational ? cv.weights[i] : 1.0;
  v3::scale(cv.poles + 3 * i, 1.0 / w, out);
}

// Record checks of the joins: a valid record whose weights are positive (49).
BSrc check_join_input(const BScurve *cv) {
  if (const BSrc rc = validate_curve(cv, kCurveDomain | kCurveArrays); rc != BSSUCC) return rc;
  if (cv->rational)
    for (int32_t i = 0; i < cv->num_poles; ++i)
      if (!(cv->weights[i] > 0.0)) return BSBADWEIGHT;
  return BSSUCC;
}

// Whether the curve is shorter than limit. Its length lies between the chord sum of
// any points along it and the length of its control polygon (corner cutting never
// lengthens a polygon, also with positive weights); when the polygon and the chords
// of four points a span straddle the limit, the arc length (to a hundredth of the
// limit) decides.
BSrc shorter_than(const BScurve &cv, double limit, bool *shorter) {
  const int32_t k = cv.order, n = cv.num_poles;
  double polygon = 0.0, prev[3], cur[3];
  pole_point(cv, 0, prev);
  for (int32_t i = 1; i < n; ++i, v3::copy(cur, prev)) {
    pole_point(cv, i, cur);
    polygon += v3::dist(prev, cur);
  }
  *shorter = polygon < limit;
  if (*shorter) return BSSUCC;
  BSrc rc = BSSUCC;
  double chords = 0.0;
  BScveval(&cv, cv.knots[k - 1], 0, prev, &rc);
  for (int32_t s = k - 1; s < n && rc == BSSUCC; ++s) {
    const double a = cv.knots[s], b = cv.knots[s + 1];
    for (int i = 1; b > a && i <= 4 && rc == BSSUCC; ++i, v3::copy(cur, prev)) {
      BScveval(&cv, a + (b - a) * i / 4, 0, cur, &rc);
      chords += v3::dist(prev, cur);
    }
  }
  if (rc != BSSUCC || chords >= limit) return rc;
  double length = 0.0;
  if ((rc = curve_length(cv, cv.knots[k - 1], cv.knots[n], 0.01 * limit, &length)) != BSSUCC)
    return rc;
  *shorter = length < limit;
  return BSSUCC;
}

}  // namespace

// BStstcvdegn on a checked record.
BSrc test_degenerate(const BScurve &cv, bool *degenerate) {
  *degenerate = false;
  const int32_t n = cv.num_poles;
  bool uneven = false;
  if (cv.rational) {
    double mean = 0.0;
    for (int32_t i = 0; i < n; ++i) mean += cv.weights[i] / n;
    for (int32_t i = 0; i < n; ++i) uneven = uneven || cv.weights[i] < 0.25 * mean;
  }
  if (!uneven) {
    ScratchBuffer buf(3 * static_cast<std::size_t>(n) * sizeof(double));
    if (!buf.ok()) return BSNOSTKMEMORY;
    double *pts = buf.as<double>();
    for (int32_t i = 0; i < n; ++i) pole_point(cv, i, pts + 3 * i);
    int32_t cls = kClassSpace;
    double dir[3];
    if (const BSrc rc = classify_points(n, pts, 0.5 * tol().dist_tol, &cls, nullptr, dir);
        rc != BSSUCC)
      return rc;
    *degenerate = cls == kClassPoint;
  }
  bool shorter = false;
  const BSrc rc = shorter_than(cv, tol().dist_tol, &shorter);
  *degenerate = *degenerate || shorter;
  return rc;
}

// BScomb2cvs on checked records: b's first pole replaced by a's last.
BSrc join_raw(const BScurve &a, const BScurve &b, BScurve &out) {
  const int32_t k = a.order, na = a.num_poles, nb = b.num_poles;
  if (b.order != k) return BSFAIL;
  if (a.phy_closed || b.phy_closed) return BSDEGEN;
  for (int i = 1; i < k; ++i)  // the joined ends must be clamped
    if (a.knots[na + i] != a.knots[na] || b.knots[i - 1] != b.knots[k - 1]) return BSINARG;
  double ea[3], sb[3];
  pole_point(a, na - 1, ea);
  pole_point(b, 0, sb);
  if (v3::dist_sq(ea, sb) > tol().dist_sqtol) return BSFAIL;
  if (out.poles == nullptr || out.knots == nullptr) return BSNULLPTR;
  const bool rational = a.rational || b.rational;
  if (rational && out.weights == nullptr) return BSNULLPTR;

  const int32_t n = na + nb - 1;
  ScratchCurve tmp(k, n, rational);
  if (!tmp.ok()) return tmp.status();
  BScurve &r = tmp.curve();
  // Weights agree at the joint: a's are scaled to b's first weight (or take it),
  // or b's poles take a's last weight.
  const double wa = a.rational ? a.weights[na - 1] : 1.0, wb = b.rational ? b.weights[0] : 1.0;
  const double fa = b.rational ? wb / wa : 1.0, fb = b.rational ? 1.0 : wa;
  for (int32_t i = 0; i < na; ++i) {
    v3::scale(a.poles + 3 * i, fa, r.poles + 3 * i);
    if (rational) r.weights[i] = (a.rational ? a.weights[i] : 1.0) * fa;
  }
  for (int32_t i = 1; i < nb; ++i) {
    v3::scale(b.poles + 3 * i, fb, r.poles + 3 * (na - 1 + i));
    if (rational) r.weights[na - 1 + i] = (b.rational ? b.weights[i] : 1.0) * fb;
  }
  std::copy(a.knots, a.knots + na + k - 1, r.knots);
  const double shift = a.knots[na] - b.knots[k - 1];
  for (int32_t j = k; j < nb + k; ++j) r.knots[na - 1 + j] = b.knots[j] + shift;

  // A failing degeneracy test counts its input as degenerate.
  bool deg_a = false, deg_b = false;
  const bool failed_a = test_degenerate(a, &deg_a) != BSSUCC;
  const bool failed_b = test_degenerate(b, &deg_b) != BSSUCC;
  const bool failed = failed_a || failed_b;
  deg_a = deg_a || failed_a;
  deg_b = deg_b || failed_b;
  double first[3], last[3];
  pole_point(r, 0, first);
  pole_point(r, n - 1, last);
  r.phy_closed = !deg_a && !deg_b && v3::dist_sq(first, last) < tol().dist_sqtol;
  set_closed(r);
  int32_t cls = kClassSpace;
  double dir[3];
  const BSrc prc = classify_weighted_points(n, r.poles, rational ? r.weights : nullptr, &cls, dir);
  if (prc != BSSUCC && prc != BSBADWEIGHT) return prc;
  r.planar = prc == BSSUCC && class_code(cls) == 3;
  r.periodic = 0;
  r.non_uniform = 1;
  if (const BSrc rc = copy_curve_into(r, out); rc != BSSUCC) return rc;
  return failed ? kDegeneracyTestFailed : BSSUCC;
}

namespace {

// A working copy (result memory) of cv.
BSrc working_copy(const BScurve &cv, BScurve **copy) {
  BSrc rc = BSSUCC;
  BSallocqelcv(cv.order, cv.num_poles, cv.rational, 0, copy, &rc);
  if (rc != BSSUCC) return rc;
  return copy_curve_into(cv, **copy);
}

// Raises *cv to order k, or clamps the end that will be joined.
BSrc prepare_end(BScurve **cv, int k, bool start) {
  BSrc rc = BSSUCC;
  if ((*cv)->order < k)
    BSupthedeg(*cv, static_cast<int16_t>(k - 1), FALSE, cv, &rc);
  else
    clamp_ends(**cv, start, !start);
  return rc;
}

}  // namespace

// BSmergecvnn on checked records.
BSrc join_matching_ends(const BScurve &a, const BScurve &b, BScurve &out) {
  if (a.phy_closed || b.phy_closed) return BSINARG;
  double s1[3], e1[3], s2[3], e2[3];
  pole_point(a, 0, s1);
  pole_point(a, a.num_poles - 1, e1);
  pole_point(b, 0, s2);
  pole_point(b, b.num_poles - 1, e2);
  const double sq = tol().dist_sqtol;
  bool rev_a = false, rev_b = false;
  if (v3::dist_sq(e1, s2) <= sq) {
  } else if (v3::dist_sq(e2, s1) <= sq) {
    rev_a = rev_b = true;
  } else if (v3::dist_sq(e1, e2) <= sq) {
    rev_b = true;
  } else if (v3::dist_sq(s1, s2) <= sq) {
    rev_a = true;
  } else {
    return BSFAIL;
  }
  BScurve *ca = nullptr, *cb = nullptr;
  BSrc rc = working_copy(a, &ca);
  if (rc == BSSUCC) rc = working_copy(b, &cb);
  if (rc == BSSUCC && rev_a) BSrev_cv(&rc, ca);
  if (rc == BSSUCC && rev_b) BSrev_cv(&rc, cb);
  if (rc == BSSUCC) rc = prepare_end(&cb, a.order, true);
  if (rc == BSSUCC) rc = prepare_end(&ca, cb->order, false);
  if (rc == BSSUCC) rc = join_raw(*ca, *cb, out);
  for (BScurve *c : {ca, cb}) {
    BSrc frc = BSSUCC;
    if (c != nullptr) BSfreeqelcv(c, &frc);
    if (rc == BSSUCC) rc = frc;
  }
  return rc;
}

// BSpartofcv on a checked record.
BSrc part_of_curve(const BScurve &cv, double start, double middle, double end, BScurve &out) {
  const int32_t k = cv.order, n = cv.num_poles;
  const double tol_k = curve_knot_tolerance(k, cv.knots, n, cv.poles, cv.weights);
  const double lo = std::min(start, end), hi = std::max(start, end);
  if (hi - lo <= tol_k && middle >= lo - tol_k && middle <= hi + tol_k) {
    double p[3];
    BSrc rc = BSSUCC;
    BScveval(&cv, 0.5 * (start + end), 0, p, &rc);
    if (rc == BSSUCC) BSptcvgen(p, cv.order, cv.rational, &out, &rc);
    return rc;
  }
  BSrc rc = BSSUCC;
  const double a = cv.knots[k - 1], b = cv.knots[n];
  if (!cv.phy_closed || (lo < middle && middle < hi)) {
    rc = extract_part(cv, lo, hi, out, false);
  } else if (b - hi <= tol_k || lo - a <= tol_k) {
    // The seam is at one end of the part: one extraction.
    rc =
        b - hi <= tol_k ? extract_part(cv, a, lo, out, false) : extract_part(cv, hi, b, out, false);
  } else {
    // From hi over the seam to lo: two extractions joined.
    ScratchCurve s1(k, n + 2 * (k - 1), cv.rational), s2(k, n + 2 * (k - 1), cv.rational);
    if (!s1.ok() || !s2.ok()) return BSNOSTKMEMORY;
    rc = extract_part(cv, hi, b, s1.curve(), false);
    if (rc == BSSUCC) rc = extract_part(cv, a, lo, s2.curve(), false);
    if (rc != BSSUCC) return rc;
    s1.curve().phy_closed = s2.curve().phy_closed = 0;
    rc = join_raw(s1.curve(), s2.curve(), out);
  }
  if (rc == BSSUCC || rc == kDegeneracyTestFailed) {
    const BSrc nrc = normalise_knots(out.order, out.num_poles, out.knots);
    if (nrc != BSSUCC) rc = nrc;
  }
  return rc;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

BSrc check_pair(const BScurve *a, const BScurve *b, const BScurve *out) {
  if (a == nullptr || b == nullptr || out == nullptr) return BSNULLPTR;
  if (const BSrc rc = check_join_input(a); rc != BSSUCC) return rc;
  return check_join_input(b);
}

// The result's knots on [0, 1] once the join has built it (status 0 or 59).
BSrc normalise_result(BSrc rc, BScurve &out) {
  if (rc != BSSUCC && rc != kDegeneracyTestFailed) return rc;
  const BSrc nrc = normalise_knots(out.order, out.num_poles, out.knots);
  return nrc != BSSUCC ? nrc : rc;
}

}  // namespace

extern "C" KW_API void BStstcvdegn(const BScurve *curve, BSboolean *degenerate, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (degenerate == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_join_input(curve)) != BSSUCC) return;
  bool d = false;
  if ((*rc = test_degenerate(*curve, &d)) == BSSUCC) *degenerate = d ? TRUE : FALSE;
}

extern "C" KW_API void BScomb2cvs(const BScurve *first, const BScurve *second, BScurve *out,
                                  BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_pair(first, second, out)) == BSSUCC) *rc = join_raw(*first, *second, *out);
}

extern "C" KW_API void BSmergecvnn(const BScurve *first, const BScurve *second, BScurve *out,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_pair(first, second, out)) == BSSUCC)
    *rc = join_matching_ends(*first, *second, *out);
}

extern "C" KW_API BSboolean BSmerge_cv(BSrc *rc, const BScurve *first, const BScurve *second,
                                       BScurve *out) {
  KW_EPILOGUE(rc);
  if ((*rc = check_pair(first, second, out)) == BSSUCC)
    *rc = normalise_result(join_matching_ends(*first, *second, *out), *out);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BS2cvsto1(BSrc *rc, const BScurve *first, const BScurve *second,
                                      BScurve *out) {
  KW_EPILOGUE(rc);
  if ((*rc = check_pair(first, second, out)) == BSSUCC)
    *rc = normalise_result(join_raw(*first, *second, *out), *out);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSpartofcv(BSrc *rc, const BScurve *curve, double start, double middle,
                                       double end, BScurve *out) {
  KW_EPILOGUE(rc);
  if (out == nullptr) {
    *rc = BSNULLPTR;
  } else if ((*rc = validate_curve(curve, kCurveFull)) == BSSUCC) {
    if (!std::isfinite(start) || !std::isfinite(middle) || !std::isfinite(end))
      *rc = BSINARG;
    else
      *rc = part_of_curve(*curve, start, middle, end, *out);
  }
  return KW_FINISH(TRUE);
}
