// All perpendicular feet of a point on a curve (BSnormals) and all nearest
// parameters and parameter intervals (BSmdistptcv).
//
// On every Bezier piece the roots of (C - P) . C' (for a rational piece the
// numerator polynomial) are isolated by the sign changes of its Bernstein
// coefficients with halving, and polished by bracketed Newton steps; a piece over
// which the distance is constant (an arc centred on the point) is a perpendicular
// interval. Breaks between pieces where the function changes sign while vanishing
// to rounding on both sides are feet too.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bspline/kernel.hpp"
#include "bspline/knots.hpp"
#include "frame/frame.hpp"
#include "query/boxes.hpp"
#include "query/project.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {
namespace {

constexpr int kRootRoom = 2 * kMaxNumeratorCoefficients;

// Value of (C - P) . C' at an end of a piece (t = 0 or 1) and the size its
// rounding is relative to, (|C - P| + |C|) |C'| + deg |C - P| |C|.
void end_function(const BezierPiece &pc, const double *point, double t, double *f, double *scale) {
  double e[3 * kMaxPieceValues];
  bezier_point_derivatives(pc, t, e);
  double v = 0.0, a = 0.0, b = 0.0, c = 0.0;
  for (int d = 0; d < pc.dim; ++d) {
    const double r = e[d] - point[d];
    v += r * e[pc.dim + d];
    a += r * r;
    b += e[pc.dim + d] * e[pc.dim + d];
    c += e[d] * e[d];
  }
  *f = v;
  const double ra = std::sqrt(a), rc = std::sqrt(c);
  *scale = (ra + rc) * std::sqrt(b) + pc.deg * ra * rc;
}

// A break where (C - P) . C' vanishes to this fraction of its size on both sides is
// a foot: rounding can hide its sign change from both pieces.
constexpr double kBreakFootFraction = 1e-10;

// Walks the pieces and reports every foot parameter and every interval (merged
// across neighbouring pieces) to the sinks, in increasing order.
template <class ParamSink, class IntervalSink>
void walk_feet(const PieceSet &ps, const double *point, ParamSink &&on_param,
               IntervalSink &&on_interval) {
  double roots[kRootRoom];
  bool open_interval = false;
  double interval_start = 0.0;
  double last_param = -kLargestDouble;
  double prev_f = 0.0, prev_scale = 0.0;
  bool prev_constant = true;
  const double range = ps.breaks[ps.count] - ps.breaks[0];
  auto emit = [&](double u) {
    if (u - last_param <= 1e-12 * range) return;
    last_param = u;
    on_param(u);
  };
  for (int32_t j = 0; j < ps.count; ++j) {
    const BezierPiece pc = ps.piece(j);
    const double a = ps.breaks[j], b = ps.breaks[j + 1];
    bool constant = false;
    const int found = perpendicular_roots(pc, point, roots, kRootRoom, &constant);
    if (constant) {
      if (!open_interval) {
        open_interval = true;
        interval_start = a;
      }
      prev_constant = true;
      continue;
    }
    if (open_interval) {
      on_interval(interval_start, a);
      open_interval = false;
    }
    // A foot exactly on the break that rounding hid from both pieces.
    double f0 = 0.0, s0 = 0.0;
    end_function(pc, point, 0.0, &f0, &s0);
    if (j > 0 && !prev_constant && std::fabs(prev_f) <= kBreakFootFraction * prev_scale &&
        std::fabs(f0) <= kBreakFootFraction * s0)
      emit(a);
    for (int i = 0; i < std::min(found, kRootRoom); ++i) {
      const double t = roots[i];
      emit(t <= 0.0 ? a : (t >= 1.0 ? b : std::clamp(a + (b - a) * t, a, b)));
    }
    end_function(pc, point, 1.0, &prev_f, &prev_scale);
    prev_constant = false;
  }
  if (open_interval) on_interval(interval_start, ps.breaks[ps.count]);
}

// Parameter snapped to the domain ends when within fine_dist_tol of them.
inline double snap_to_ends(double u, double start, double end) {
  const double fine = tol().fine_dist_tol;
  if (std::fabs(u - start) < fine) return start;
  if (std::fabs(u - end) < fine) return end;
  return u;
}

}  // namespace

// All feet and intervals of a curve record, into result memory.
BSrc perpendicular_feet(const BScurve &cv, const double *point, int32_t *num_params,
                        double **params, int32_t *num_intervals, double **intervals) {
  *num_params = 0;
  *num_intervals = 0;
  *params = nullptr;
  *intervals = nullptr;
  if (!query_points_ok(1, 3, point)) return BSINARG;
  const int32_t n = cv.num_poles;
  const int m = cv.rational ? 4 : 3;
  BasicScratchBuffer<8 * 100> rows_buf(static_cast<std::size_t>(m) * n * sizeof(double));
  if (!rows_buf.ok()) return BSNOSTKMEMORY;
  curve_pole_rows(cv, rows_buf.as<double>());
  SplinePieces pieces;
  BSrc rc = pieces.build(cv.order - 1, n, 3, cv.rational != 0, rows_buf.as<double>(), cv.knots);
  if (rc != BSSUCC) return rc;
  // Count, allocate, fill.
  int32_t np = 0, ni = 0;
  walk_feet(
      pieces.set, point, [&](double) { ++np; }, [&](double, double) { ++ni; });
  double *pa = np > 0 ? alloc_result_doubles(static_cast<std::size_t>(np)) : nullptr;
  double *ia = ni > 0 ? alloc_result_doubles(2 * static_cast<std::size_t>(ni)) : nullptr;
  if ((np > 0 && pa == nullptr) || (ni > 0 && ia == nullptr)) {
    if (pa) BSdbgfree(pa);
    if (ia) BSdbgfree(ia);
    return BSNOSTKMEMORY;
  }
  int32_t ip = 0, ii = 0;
  walk_feet(
      pieces.set, point, [&](double u) { pa[ip++] = u; },
      [&](double a, double b) {
        ia[2 * ii] = a;
        ia[2 * ii + 1] = b;
        ++ii;
      });
  *num_params = np;
  *params = pa;
  *num_intervals = ni;
  *intervals = ia;
  return BSSUCC;
}

namespace {

// Candidate of the nearest-parameter list: parameter and distance.
struct Candidate {
  double u;
  double d;
};

BSrc nearest_parameters(const BScurve &cv, const double *point, int16_t *num_intervals,
                        int16_t *num_params, double **params_out, double *dist_out,
                        double **intervals_out) {
  const int32_t n = cv.num_poles;
  const int k = cv.order;
  const double start = cv.knots[k - 1], end = cv.knots[n];
  const double *weights = cv.rational ? cv.weights : nullptr;
  const double ktol = curve_knot_tolerance(k, cv.knots, n, cv.poles, weights);
  const double dist_tol = tol().dist_tol;

  int32_t nfeet = 0, nint = 0;
  double *feet = nullptr, *ints = nullptr;
  BSrc rc = perpendicular_feet(cv, point, &nfeet, &feet, &nint, &ints);
  if (rc != BSSUCC) return rc;
  struct Release {
    double *a, *b;
    ~Release() {
      if (a) BSdbgfree(a);
      if (b) BSdbgfree(b);
    }
  } release{feet, ints};

  // Candidates: the feet, the domain ends, and every knot where the curve is only
  // C0 (a corner can be the nearest point without being a foot).
  const std::size_t room = static_cast<std::size_t>(nfeet) + 2 + static_cast<std::size_t>(n);
  BasicScratchBuffer<8 * 200> cand_buf(room * sizeof(Candidate));
  if (!cand_buf.ok()) return BSNOMEMORY;
  Candidate *cand = cand_buf.as<Candidate>();
  int32_t count = 0;
  auto near_listed = [&](double u) {
    for (int32_t i = 0; i < count; ++i)
      if (std::fabs(cand[i].u - u) <= ktol) return true;
    return false;
  };
  for (int32_t i = 0; i < nfeet; ++i) cand[count++] = {feet[i], 0.0};
  if (!near_listed(start)) cand[count++] = {start, 0.0};
  // On a closed curve the end is the start: one parameter for the joint.
  if (!cv.phy_closed && !near_listed(end)) cand[count++] = {end, 0.0};
  for (int32_t i = k; i < n;) {
    int32_t j = i;
    while (j + 1 < n && cv.knots[j + 1] - cv.knots[j] <= ktol) ++j;
    if (j - i + 1 >= k - 1 && !near_listed(cv.knots[i])) cand[count++] = {cv.knots[i], 0.0};
    i = j + 1;
  }
  double best = kLargestDouble;
  int32_t unique = 0;
  for (int32_t i = 0; i < count; ++i) {
    double u = snap_to_ends(cand[i].u, start, end);
    if (cv.phy_closed && u == end) u = start;
    bool seen = false;
    for (int32_t j = 0; j < unique; ++j) seen = seen || cand[j].u == u;
    if (!seen) cand[unique++].u = u;
  }
  count = unique;
  for (int32_t i = 0; i < count; ++i) {
    double q[3];
    if ((rc = evaluate_curve_at(cv, cand[i].u, 0, q)) != BSSUCC) return rc;
    cand[i].d = v3::dist(q, point);
    best = std::min(best, cand[i].d);
  }
  // Intervals: the distance is constant over each; measured at its start.
  double interval_best = kLargestDouble;
  BasicScratchBuffer<8 * 64> ibuf(static_cast<std::size_t>(nint + 1) * sizeof(double));
  if (!ibuf.ok()) return BSNOMEMORY;
  double *idist = ibuf.as<double>();
  for (int32_t i = 0; i < nint; ++i) {
    double q[3];
    if ((rc = evaluate_curve_at(cv, snap_to_ends(ints[2 * i], start, end), 0, q)) != BSSUCC)
      return rc;
    idist[i] = v3::dist(q, point);
    interval_best = std::min(interval_best, idist[i]);
  }
  bool keep_params = true, keep_intervals = nint > 0;
  if (nint > 0) {
    if (interval_best < best - dist_tol)
      keep_params = false;
    else if (interval_best > best + dist_tol)
      keep_intervals = false;
  }
  const double reference = std::min(keep_params ? best : kLargestDouble,
                                    keep_intervals ? interval_best : kLargestDouble);
  // Every interval and parameter within dist_tol of the nearest distance.
  int32_t kept_intervals = 0;
  if (keep_intervals)
    for (int32_t i = 0; i < nint; ++i)
      if (idist[i] < reference + dist_tol) {
        ints[2 * kept_intervals] = ints[2 * i];
        ints[2 * kept_intervals + 1] = ints[2 * i + 1];
        ++kept_intervals;
      }
  int32_t kept = 0;
  if (keep_params)
    for (int32_t i = 0; i < count; ++i) {
      if (!(cand[i].d < reference + dist_tol)) continue;
      bool inside = false;
      for (int32_t j = 0; j < kept_intervals; ++j)
        inside = inside || (ints[2 * j] <= cand[i].u && cand[i].u <= ints[2 * j + 1]);
      if (!inside) cand[kept++] = cand[i];
    }
  if (kept > INT16_MAX || kept_intervals > INT16_MAX) return BSINARG;
  double *pa = nullptr, *ia = nullptr;
  if (kept > 0 && (pa = alloc_result_doubles(static_cast<std::size_t>(kept))) == nullptr)
    return BSNOSTKMEMORY;
  if (kept_intervals > 0 &&
      (ia = alloc_result_doubles(2 * static_cast<std::size_t>(kept_intervals))) == nullptr) {
    if (pa) BSdbgfree(pa);
    return BSNOSTKMEMORY;
  }
  for (int32_t i = 0; i < kept; ++i) pa[i] = cand[i].u;
  if (kept > 1) {
    BSrc src = BSSUCC;
    int32_t lo = 0, hi = kept - 1;
    BSquicksort(&src, &lo, &hi, 0, pa);
  }
  if (kept_intervals > 0) std::memcpy(ia, ints, sizeof(double) * 2 * kept_intervals);
  *num_params = static_cast<int16_t>(kept);
  *num_intervals = static_cast<int16_t>(kept_intervals);
  *params_out = pa;
  *intervals_out = ia;
  *dist_out = reference;
  return BSSUCC;
}

// Takes back the result arrays of a call whose epilogue injected a failure.
template <class Count>
void release_result_arrays(Count *num_params, double **params, Count *num_intervals,
                           double **intervals) {
  if (*params != nullptr) BSdbgfree(*params);
  if (*intervals != nullptr) BSdbgfree(*intervals);
  *params = *intervals = nullptr;
  *num_params = *num_intervals = 0;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API BSboolean BSnormals(BSrc *rc, const BScurve *curve, const double *point,
                                      int32_t *num_params, double **params, int32_t *num_intervals,
                                      double **intervals) {
  KW_EPILOGUE(rc);
  if (point == nullptr || num_params == nullptr || params == nullptr || num_intervals == nullptr ||
      intervals == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  if (curve->order > kMaxPieceOrder) {
    *rc = BSDEGENINPUT;
    return KW_FINISH(FALSE);
  }
  if ((*rc = perpendicular_feet(*curve, point, num_params, params, num_intervals, intervals)) !=
      BSSUCC)
    return KW_FINISH(FALSE);
  if (KW_FINISH(TRUE)) return TRUE;
  release_result_arrays(num_params, params, num_intervals, intervals);  // injected failure
  return FALSE;
}

extern "C" KW_API void BSmdistptcv(const BScurve *curve, const double *point,
                                   int16_t *num_intervals, int16_t *num_params, double **params,
                                   double *dist, double **intervals, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (point == nullptr || num_intervals == nullptr || num_params == nullptr || params == nullptr ||
      dist == nullptr || intervals == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  if (curve->order > kMaxPieceOrder) {
    *rc = BSDEGENINPUT;
    return;
  }
  *num_intervals = 0;
  *num_params = 0;
  *params = nullptr;
  *intervals = nullptr;
  *rc = nearest_parameters(*curve, point, num_intervals, num_params, params, dist, intervals);
  if (*rc == BSSUCC && !KW_FINISH(TRUE))
    release_result_arrays(num_params, params, num_intervals, intervals);  // injected failure
}
