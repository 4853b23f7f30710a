// Composite Legendre curves back to B-spline records within a tolerance: the whole
// represented range (BScmlgd2bsp), a range of segments with local end parameters
// (BScmlg2bsab) and a parameter range (BSlimcmplgd). The segments are joined
// exactly as Bezier pieces of one common degree (C0 at the breaks), then every
// knot copy that can go while the curve provably stays within the tolerance is
// removed, so a smooth composite curve comes back with simple knots.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "approx/composite.hpp"
#include "bases/series.hpp"
#include "bspline/bezier.hpp"
#include "bspline/knots.hpp"
#include "bspline/removal.hpp"
#include "records/curve_check.hpp"

namespace knotwork {

namespace {

struct Composite {
  int32_t d, m;
  const int32_t *ndeg, *irat, *ibase;
  double *const *series;
  const double *bez;
};

// Raises Bezier coefficients (stride 1) from degree n to degree p in place
// (room for p + 1 values).
void elevate_bezier(int32_t n, int32_t p, double *b) {
  for (int32_t deg = n; deg < p; ++deg) {
    b[deg + 1] = b[deg];
    for (int32_t i = deg; i >= 1; --i) {
      const double a = static_cast<double>(i) / (deg + 1);
      b[i] = a * b[i - 1] + (1.0 - a) * b[i];
    }
  }
}

bool close(double a, double b) {
  return std::fabs(a - b) <= tol().zero_tol * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

}  // namespace

// Segments first..last, the first from local xs and the last to local xe, to a new
// record within tolerance of the exact join.
BSrc composite_range_to_curve(const Composite &c, int32_t first, int32_t last, double xs, double xe,
                              double tolerance, BScurve **out) {
  int32_t p = 1;
  bool rational = false;
  for (int32_t i = first; i <= last; ++i) {
    if (c.irat[i] != 0 && c.irat[i] != 1) return BSINARG;  // kinds 2, 3: no curve form
    if (c.ibase[i] != 0 && c.ibase[i] != 1) return BSINARG;
    if (c.ibase[i] == 0 && c.ndeg[i] > kCanLgdMaxDegree) return BSINARG;
    if (!(c.bez[i + 1] > c.bez[i]) || c.series[i] == nullptr) return BSINARG;
    if (c.irat[i] == 1 && c.d != 2 && c.d != 3) return BSINARG;
    p = std::max(p, c.ndeg[i]);
    rational = rational || c.irat[i] == 1;
  }
  const int32_t count = last - first + 1, k = p + 1, N = p * count + 1, w = rational ? 4 : 3;
  const std::size_t polesz = static_cast<std::size_t>(N) * 3, nk = static_cast<std::size_t>(N) + k;
  ScratchBuffer buf(sizeof(double) * (2 * (polesz + N + nk) + 4 * (p + 1)) +
                    sizeof(long double) * 2 * (p + 1));
  if (!buf.ok()) return BSNOSTKMEMORY;
  long double *work = buf.as<long double>();
  double *poles = reinterpret_cast<double *>(work + 2 * (p + 1)), *weights = poles + polesz;
  double *knots = weights + N, *rpoles = knots + nk, *rweights = rpoles + polesz;
  double *rknots = rweights + N, *l = rknots + nk, *b = l + (p + 1), *tmp = b + (p + 1);
  for (int32_t s = 0; s < count; ++s) {
    const int32_t i = first + s, n = c.ndeg[i];
    const int32_t comps = segment_components(c.d, c.irat[i]);
    const double a = s == 0 ? xs : -1.0, e = s == count - 1 ? xe : 1.0;
    for (int32_t q = 0; q < w; ++q) {
      // Component q of the homogeneous point (x, y, z[, w]).
      if (q < std::min<int32_t>(c.d, 3)) {
        std::memcpy(l, c.series[i] + static_cast<int64_t>(q) * (n + 1), sizeof(double) * (n + 1));
      } else if (q == 3 && c.irat[i] == 1) {
        std::memcpy(l, c.series[i] + static_cast<int64_t>(comps - 1) * (n + 1),
                    sizeof(double) * (n + 1));
      } else {
        for (int32_t j = 0; j <= n; ++j) l[j] = (q == 3 && j == 0 && c.ibase[i] == 1) ? 1.0 : 0.0;
        if (q == 3 && c.ibase[i] == 0) l[0] = 1.0;
      }
      if (c.ibase[i] == 0) {
        power_to_legendre_unchecked(n, l, tmp);
        std::memcpy(l, tmp, sizeof(double) * (n + 1));
      }
      legendre_to_bezier_unchecked(n, l, b, work);
      // Restrict to [a, e] in the local variable (de Casteljau: exact ends).
      if (e < 1.0) {
        split_bezier_rows(n, 1, b, (e + 1.0) / 2.0, tmp, b + 0);
        std::memcpy(b, tmp, sizeof(double) * (n + 1));
      }
      if (a > -1.0) split_bezier_rows(n, 1, b, ((a + 1.0) / 2.0) / ((e + 1.0) / 2.0), tmp, b);
      elevate_bezier(n, p, b);
      const int32_t at = s * p;
      for (int32_t j = 0; j <= p; ++j) {
        double &dst = q < 3 ? poles[3 * (at + j) + q] : weights[at + j];
        dst = (s > 0 && j == 0) ? 0.5 * (dst + b[0]) : b[j];
      }
    }
    // Knots in the curve parameter of the represented part.
    const double len = c.bez[i + 1] - c.bez[i];
    const double ta = c.bez[i] + (a + 1.0) / 2.0 * len, te = c.bez[i] + (e + 1.0) / 2.0 * len;
    if (s == 0) {
      for (int32_t j = 0; j < k; ++j) knots[j] = ta;
    }
    const int32_t reps = s == count - 1 ? k : p;
    for (int32_t j = 0; j < reps; ++j) knots[k + s * p + j] = te;
  }
  BScurve joined{};
  joined.order = static_cast<int16_t>(k);
  joined.num_poles = N;
  joined.num_knots = N + k;
  joined.poles = poles;
  joined.knots = knots;
  joined.rational = rational ? 1 : 0;
  joined.weights = rational ? weights : nullptr;
  joined.non_uniform = 1;
  BSrc rc = normalise_knots(k, N, knots);
  if (rc != BSSUCC) return rc;
  for (int32_t j = 0; rational && j < N; ++j)
    if (!(weights[j] > 0.0)) return BSINARG;
  BScurve reduced{};
  reduced.poles = rpoles;
  reduced.knots = rknots;
  reduced.weights = rweights;
  {
    ToleranceOverride knot_tol(&BSparameters::knot_tol,
                               curve_knot_tolerance(k, knots, N, poles, joined.weights));
    if ((rc = reduce_knots(joined, tolerance, reduced)) != BSSUCC) return rc;
  }
  BScurve *cv = nullptr;
  BSallocqelcv(static_cast<int16_t>(k), reduced.num_poles, joined.rational, 0, &cv, &rc);
  if (rc != BSSUCC) return rc == BSNOMEMORY ? BSNOMEMORY : rc;
  cv->order = static_cast<int16_t>(k);
  cv->num_poles = reduced.num_poles;
  cv->num_knots = reduced.num_knots;
  cv->periodic = 0;
  cv->non_uniform = 1;
  cv->rational = joined.rational;
  cv->planar = c.d <= 2 ? 1 : 0;
  cv->phy_closed = 0;
  cv->num_boundaries = 0;
  std::memcpy(cv->poles, rpoles, sizeof(double) * 3 * reduced.num_poles);
  std::memcpy(cv->knots, rknots, sizeof(double) * reduced.num_knots);
  if (rational) std::memcpy(cv->weights, rweights, sizeof(double) * reduced.num_poles);
  *out = cv;
  return BSSUCC;
}

// Parameter range [s, e] to segment indices and local parameters, then the range
// conversion. BSINARG for a range outside the breakpoints or empty.
BSrc composite_part_to_curve(const Composite &c, double s, double e, double tolerance,
                             BScurve **out) {
  const double *b = c.bez;
  const int32_t m = c.m;
  if (!std::isfinite(s) || !std::isfinite(e) || (s < b[0] && !close(s, b[0])) ||
      (e > b[m] && !close(e, b[m])) || !(e > s) || close(s, e))
    return BSINARG;
  int32_t first = -1, last = -1;
  if (close(s, b[m])) {
    first = m - 1;
  } else {
    for (int32_t i = 0; i < m && first < 0; ++i)
      if (b[i + 1] > s && !close(b[i + 1], s)) first = i;
  }
  for (int32_t i = 0; i < m && last < 0; ++i)
    if (b[i + 1] >= e || close(b[i + 1], e)) last = i;
  if (first < 0 || last < 0 || first > last) return BSINARG;
  const auto local = [b](int32_t i, double t) {
    if (close(t, b[i])) return -1.0;
    if (close(t, b[i + 1])) return 1.0;
    return (t - (b[i] + b[i + 1]) / 2.0) / ((b[i + 1] - b[i]) / 2.0);
  };
  return composite_range_to_curve(c, first, last, local(first, s), local(last, e), tolerance, out);
}

}  // namespace knotwork

using namespace knotwork;

namespace {

BSrc check_composite(const Composite &c, double tolerance) {
  if (c.ndeg == nullptr || c.irat == nullptr || c.ibase == nullptr || c.series == nullptr ||
      c.bez == nullptr)
    return BSNULLPTR;
  if (c.d < 1 || c.d > 3 || c.m < 1 || c.m > kMaxSegments || !std::isfinite(tolerance) ||
      tolerance < 0.0 || !knots_ascending(c.bez, c.m + 1))
    return BSINARG;
  for (int32_t i = 0; i < c.m; ++i) {
    if (c.ndeg[i] < 0 || c.ndeg[i] > kMaxSegmentDegree || segment_components(c.d, c.irat[i]) < 0)
      return BSINARG;
    if (c.series[i] == nullptr) return BSNULLPTR;
    const int64_t count = static_cast<int64_t>(c.ndeg[i] + 1) * segment_components(c.d, c.irat[i]);
    for (int64_t j = 0; j < count; ++j)
      if (!std::isfinite(c.series[i][j])) return BSINARG;
  }
  return BSSUCC;
}

}  // namespace

extern "C" KW_API void BScmlgd2bsp(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                                   const int32_t *iratArr, const int32_t *ibaseArr,
                                   double *const *curveSeries, const double *bezKnots,
                                   const double *start_end, double tolerance, BScurve **curve,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  (void)periodic;
  const Composite c{d, m, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots};
  if (curve == nullptr || start_end == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_composite(c, tolerance)) != BSSUCC) return;
  *rc = composite_part_to_curve(c, start_end[0], start_end[1], tolerance, curve);
}

extern "C" KW_API void BSlimcmplgd(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                                   const int32_t *iratArr, const int32_t *ibaseArr,
                                   double *const *curveSeries, const double *bezKnots, double start,
                                   double end, double tolerance, BScurve **curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  (void)periodic;
  const Composite c{d, m, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots};
  if (curve == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_composite(c, tolerance)) != BSSUCC) return;
  *rc = composite_part_to_curve(c, start, end, tolerance, curve);
}

extern "C" KW_API void BScmlg2bsab(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                                   const int32_t *iratArr, const int32_t *ibaseArr,
                                   double *const *curveSeries, const double *bezKnots,
                                   int32_t first, int32_t last, double local_start,
                                   double local_end, double tolerance, BScurve **curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  (void)periodic;
  const Composite c{d, m, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots};
  if (curve == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_composite(c, tolerance)) != BSSUCC) return;
  if (first < 0 || last >= m || first > last || !(local_start >= -1.0 && local_start < 1.0) ||
      !(local_end > -1.0 && local_end <= 1.0) || (first == last && !(local_start < local_end))) {
    *rc = BSINARG;
    return;
  }
  *rc = composite_range_to_curve(c, first, last, local_start, local_end, tolerance, curve);
}
