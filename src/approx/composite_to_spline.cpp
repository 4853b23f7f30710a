// Composite Legendre curves back to B-spline records of a requested order within
// a tolerance: the join of separately converted segments (BScnvlgdnt, and
// BScnvlgd2d, which first divides planar rational segments by their weight), the
// whole represented range (BScmlgd2bsp), a range of segments with local end
// parameters (BScmlg2bsab) and a parameter range (BSlimcmplgd). Periodic curves
// take ranges across their seam, and a whole period comes back closed.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "approx/composite.hpp"
#include "approx/legendre_spline.hpp"
#include "bases/series.hpp"
#include "bspline/knots.hpp"
#include "numeric/roots.hpp"
#include "records/curve_check.hpp"

namespace knotwork {

namespace {

struct Composite {
  int32_t d, m;
  bool periodic;
  const int32_t *ndeg, *irat, *ibase;
  double *const *series;
  const double *bez;
};

// One segment's share of a range: local parameters [a, b] of segment seg, and the
// curve parameters [t0, t1] they become.
struct Part {
  int32_t seg;
  double a, b, t0, t1;
};

// How the parts are converted.
struct Mode {
  bool truncate;  // cut each segment at tolerance / 128 first
  bool divide;    // planar rational segments divided by their weight first
  bool closed;    // the parts make one whole period: the ends meet
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

// Homogeneous series of a part: x, y, z (zero rows below d = 3) and, for a rational
// kind, the weight, as Legendre series of degree n on the part's local range.
// out: 4 (n + 1) values; work: 4 (n + 1).
void part_series(const Composite &c, const Part &p, double *out, double *work) {
  const int32_t i = p.seg, n = c.ndeg[i], rows = c.irat[i] != 0 ? 4 : 3;
  const double *src = c.series[i];
  for (int32_t q = 0; q < rows; ++q) {
    double *dst = out + static_cast<std::size_t>(q) * (n + 1);
    const int32_t comp = q < 3 ? q : c.d;  // the weight follows the d coordinates
    if (q < 3 && q >= c.d) {
      std::fill(dst, dst + n + 1, 0.0);
      continue;
    }
    if (c.ibase[i] == 0)
      power_to_legendre_unchecked(n, src + static_cast<std::size_t>(comp) * (n + 1), dst);
    else
      std::memcpy(dst, src + static_cast<std::size_t>(comp) * (n + 1), sizeof(double) * (n + 1));
    if (p.a != -1.0 || p.b != 1.0) {
      rootseries::restrict_to(n, dst, p.a, p.b, work, work + n + 1);
      std::memcpy(dst, work, sizeof(double) * (n + 1));
    }
  }
}

// Quotient degree bound of the planar division (the sampled quotient's room).
constexpr int32_t kQuotientRoom = 320;

// x/w and y/w of a planar rational part s (rows x, y, z, w of degree n) as
// Legendre series into q (rows of kQuotientRoom values, z row zero): false when a
// division fails or the quotient misses the ratio by more than tol on dense
// samples, so the part stays rational.
bool divide_planar(int32_t n, const double *s, double tol, int32_t *degree, double *q) {
  int32_t deg[2];
  for (int32_t j = 0; j < 2; ++j) {
    BSrc rc = BSSUCC;
    BSdivlgdlgd(n, s + static_cast<std::size_t>(j) * (n + 1), n,
                s + 3 * static_cast<std::size_t>(n + 1), &deg[j],
                q + static_cast<std::size_t>(j) * kQuotientRoom, &rc);
    if (rc != BSSUCC) return false;
  }
  const int32_t nq = std::max({deg[0], deg[1], 0});
  for (int32_t j = 0; j < 3; ++j)
    for (int32_t i = j < 2 ? deg[j] + 1 : 0; i <= nq; ++i)
      q[static_cast<std::size_t>(j) * kQuotientRoom + i] = 0.0;
  const int32_t samples = 4 * (n + nq) + 16;
  for (int32_t i = 0; i <= samples; ++i) {
    const double x = std::cos(M_PI * i / samples);
    const double w = clenshaw_legendre(n, s + 3 * static_cast<std::size_t>(n + 1), x);
    double e2 = 0.0;
    for (int32_t j = 0; j < 2; ++j) {
      const double e = clenshaw_legendre(nq, q + static_cast<std::size_t>(j) * kQuotientRoom, x) -
                       clenshaw_legendre(n, s + static_cast<std::size_t>(j) * (n + 1), x) / w;
      e2 += e * e;
    }
    if (!(std::sqrt(e2) <= tol)) return false;
  }
  *degree = nq;
  return true;
}

// Checks a part's segment: basis 0 or 1, kind 0..3, a rational kind only for
// d = 2 and 3, a power form within its conversion table.
bool part_ok(const Composite &c, int32_t i) {
  if (c.ibase[i] != 0 && c.ibase[i] != 1) return false;
  if (c.irat[i] < 0 || c.irat[i] > 3) return false;
  if (c.irat[i] != 0 && c.d != 2 && c.d != 3) return false;
  return c.ibase[i] != 0 || c.ndeg[i] <= kCanLgdMaxDegree;
}

}  // namespace

// The parts converted one by one to splines of order at most k and joined C0 into
// a new record (knots normalised to [0, 1]).
BSrc convert_parts(const Composite &c, const Part *parts, int32_t count, int32_t k, int32_t r,
                   double tolerance, Mode mode, BScurve **out) {
  int32_t nmax = 0;
  for (int32_t s = 0; s < count; ++s) {
    if (!part_ok(c, parts[s].seg)) return BSINARG;
    nmax = std::max(nmax, c.ndeg[parts[s].seg]);
  }
  if (mode.divide) nmax = std::max(nmax, kQuotientRoom - 1);
  // Tolerance shares: the first cut, the planar division, then the pieces; where
  // parts meet, the shared pole moves by up to one part's error, so each part gets
  // half of what is left.
  const double cut = mode.truncate ? tolerance / 128.0 : 0.0;
  double left = tolerance - cut;
  const double division = mode.divide ? left / 8.0 : 0.0;
  left -= division;
  const double share = count > 1 || mode.closed ? left / 2.0 : left;
  const std::size_t row = static_cast<std::size_t>(nmax) + 1;
  ScratchBuffer buf((sizeof(ArraySpline) + sizeof(double)) * count +
                    sizeof(double) * (12 * row + 4 * (k + 1)));
  if (!buf.ok()) return BSNOSTKMEMORY;
  ArraySpline *spl = buf.as<ArraySpline>();
  double *ser = reinterpret_cast<double *>(spl + count), *work = ser + 4 * row;
  bool *weighted = reinterpret_cast<bool *>(work + 4 * row + 4 * row + 4 * (k + 1));
  double *q = work + 4 * row, *bez = q + 4 * row;
  for (int32_t s = 0; s < count; ++s) spl[s] = ArraySpline{};
  const auto fail = [&](BSrc rc) {
    for (int32_t s = 0; s < count; ++s) release_spline(&spl[s]);
    return rc;
  };
  BSrc warning = BSSUCC;
  bool rational = false;
  int32_t K = 1;
  for (int32_t s = 0; s < count; ++s) {
    const int32_t i = parts[s].seg;
    int32_t n = c.ndeg[i];
    part_series(c, parts[s], ser, work);
    weighted[s] = c.irat[i] != 0;
    double *src = ser;
    if (weighted[s] && mode.divide && divide_planar(n, ser, division, &n, q)) {
      weighted[s] = false;
      for (int32_t j = 0; j < 3; ++j)
        std::memmove(q + static_cast<std::size_t>(j) * (n + 1),
                     q + static_cast<std::size_t>(j) * kQuotientRoom, sizeof(double) * (n + 1));
      src = q;
    }
    if (!weighted[s] && mode.truncate) {
      // Euclidean tail cut, compacted in place to stride m + 1.
      int32_t m = n;
      for (double tail = 0.0; m >= 0; --m) {
        double v = 0.0;
        for (int32_t j = 0; j < 3; ++j) v += src[j * (n + 1) + m] * src[j * (n + 1) + m];
        if ((tail += std::sqrt(v)) > cut) break;
      }
      m = std::max(m, 0);
      for (int32_t j = 1; j < 3 && m < n; ++j)
        std::memmove(src + j * (m + 1), src + j * (n + 1), sizeof(double) * (m + 1));
      n = m;
    }
    const BSrc rc = weighted[s] ? rational_segment_to_spline(n, 3, src, k, r, share, &spl[s])
                                : segment_to_spline(n, 3, src, k, r, share, &spl[s]);
    if (rc == 55)
      warning = 55;
    else if (rc != BSSUCC)
      return fail(rc);
    rational = rational || weighted[s];
    K = std::max(K, spl[s].order);
  }
  K = std::max(std::min(K, k), 2);
  int32_t N = 1;
  for (int32_t s = 0; s < count; ++s) N += std::max(spl[s].num_poles, K) - 1;
  BScurve *cv = nullptr;
  BSrc rc = BSSUCC;
  BSallocqelcv(static_cast<int16_t>(K), N, rational ? 1 : 0, 0, &cv, &rc);
  if (rc != BSSUCC) return fail(rc);
  double *kn = cv->knots, prev_w = 1.0;
  for (int32_t j = 0; j < K; ++j) *kn++ = parts[0].t0;
  int32_t at = 0;  // index of the part's first pole
  for (int32_t s = 0; s < count; ++s) {
    const ArraySpline &a = spl[s];
    const int32_t rows = weighted[s] ? 4 : 3;
    // A single Bezier piece of lower order is raised to K.
    const bool raise = a.order < K;
    const int32_t np = raise ? K : a.num_poles;
    if (raise)
      for (int32_t qr = 0; qr < rows; ++qr) {
        std::memcpy(bez + qr * K, a.poles + qr * a.num_poles, sizeof(double) * a.order);
        elevate_bezier(a.order - 1, K - 1, bez + qr * K);
      }
    const auto pole = [&](int32_t qr, int32_t j) {
      return raise ? bez[qr * K + j] : a.poles[static_cast<std::size_t>(qr) * a.num_poles + j];
    };
    // Rational parts are scaled so that their first weight is the previous last.
    const double f = rational && s > 0 ? prev_w / (weighted[s] ? pole(3, 0) : 1.0) : 1.0;
    for (int32_t j = 0; j < np; ++j) {
      double *dst = cv->poles + 3 * static_cast<std::size_t>(at + j);
      for (int32_t qr = 0; qr < 3; ++qr)
        dst[qr] = s > 0 && j == 0 ? 0.5 * (dst[qr] + f * pole(qr, j)) : f * pole(qr, j);
      if (rational) cv->weights[at + j] = f * (weighted[s] ? pole(3, j) : 1.0);
    }
    if (rational) prev_w = cv->weights[at + np - 1];
    const Part &p = parts[s];
    const auto map = [&p](double u) { return p.t0 + (u + 1.0) / 2.0 * (p.t1 - p.t0); };
    for (int32_t j = K; !raise && j < np; ++j) *kn++ = map(a.knots[j]);
    for (int32_t j = s + 1 < count ? 1 : 0; j < K; ++j) *kn++ = p.t1;
    at += np - 1;
  }
  for (int32_t s = 0; s < count; ++s) release_spline(&spl[s]);
  if (mode.closed) {
    // The ends of a whole period meet at the mean of the two end points.
    const double w0 = rational ? cv->weights[0] : 1.0, w1 = rational ? cv->weights[N - 1] : 1.0;
    for (int32_t qr = 0; qr < 3; ++qr) {
      const double mid = 0.5 * (cv->poles[qr] / w0 + cv->poles[3 * (N - 1) + qr] / w1);
      cv->poles[qr] = mid * w0;
      cv->poles[3 * (N - 1) + qr] = mid * w1;
    }
  }
  cv->order = static_cast<int16_t>(K);
  cv->num_poles = N;
  cv->num_knots = N + K;
  cv->periodic = 0;
  cv->non_uniform = 1;
  cv->rational = rational ? 1 : 0;
  cv->planar = c.d <= 2 ? 1 : 0;
  cv->phy_closed = mode.closed ? 1 : 0;
  cv->num_boundaries = 0;
  if ((rc = normalise_knots(K, N, cv->knots)) != BSSUCC) {
    BSrc ignored;
    BSfreeqelcv(cv, &ignored);
    return rc;
  }
  *out = cv;
  return warning;
}

namespace {

// Local parameter of t in segment i (exactly -1 or 1 at its ends).
double local_parameter(const double *b, int32_t i, double t) {
  if (close(t, b[i])) return -1.0;
  if (close(t, b[i + 1])) return 1.0;
  return (t - (b[i] + b[i + 1]) / 2.0) / ((b[i + 1] - b[i]) / 2.0);
}

// Appends the parts of [s, e] (within the breakpoints, s < e) shifted by offset.
// False when no segment holds the range.
bool append_range(const Composite &c, double s, double e, double offset, Part *parts,
                  int32_t *count) {
  const double *b = c.bez;
  const int32_t m = c.m;
  int32_t first = -1, last = -1;
  if (close(s, b[m])) {
    first = m - 1;
  } else {
    for (int32_t i = 0; i < m && first < 0; ++i)
      if (b[i + 1] > s && !close(b[i + 1], s)) first = i;
  }
  for (int32_t i = 0; i < m && last < 0; ++i)
    if (b[i + 1] >= e || close(b[i + 1], e)) last = i;
  if (first < 0 || last < first) return false;
  for (int32_t i = first; i <= last; ++i) {
    const double a = i == first ? local_parameter(b, i, s) : -1.0;
    const double z = i == last ? local_parameter(b, i, e) : 1.0;
    if (!(a < z)) continue;
    const double len = b[i + 1] - b[i];
    parts[(*count)++] =
        Part{i, a, z, offset + b[i] + (a + 1.0) / 2.0 * len, offset + b[i] + (z + 1.0) / 2.0 * len};
  }
  return true;
}

}  // namespace

// Parameter range [s, e] to parts (across the seam of a periodic curve, whose
// parameters may lie outside the breakpoints), then the conversion.
BSrc composite_part_to_curve(const Composite &c, double s, double e, int32_t k, double tolerance,
                             Mode mode, BScurve **out) {
  const double *b = c.bez;
  const int32_t m = c.m;
  const double period = b[m] - b[0];
  if (!std::isfinite(s) || !std::isfinite(e) || !(e > s) || close(s, e)) return BSINARG;
  ScratchBuffer buf(sizeof(Part) * (static_cast<std::size_t>(m) + 2));
  if (!buf.ok()) return BSNOSTKMEMORY;
  Part *parts = buf.as<Part>();
  int32_t count = 0;
  bool found;
  if (c.periodic) {
    // At most one period, started inside the breakpoints.
    if (e - s > period && !close(e - s, period)) return BSINARG;
    const double shift = std::floor((s - b[0]) / period) * period;
    double s1 = s - shift, e1 = e - shift;
    if (close(s1, b[m])) {
      s1 -= period;
      e1 -= period;
    }
    mode.closed = close(e1 - s1, period);
    found = append_range(c, std::max(s1, b[0]), std::min(e1, b[m]), 0.0, parts, &count);
    if (found && e1 > b[m] && !close(e1, b[m]))
      found = append_range(c, b[0], e1 - period, period, parts, &count);
  } else {
    if ((s < b[0] && !close(s, b[0])) || (e > b[m] && !close(e, b[m]))) return BSINARG;
    found = append_range(c, s, e, 0.0, parts, &count);
  }
  if (!found || count == 0) return BSINARG;
  return convert_parts(c, parts, count, k, k - 2, tolerance, mode, out);
}

// Segments first..last (through the seam of a periodic curve when first > last),
// the first from local xs and the last to local xe.
BSrc composite_segments_to_curve(const Composite &c, int32_t first, int32_t last, double xs,
                                 double xe, int32_t k, double tolerance, BScurve **out) {
  const int32_t m = c.m, count = (last - first + m) % m + 1;
  ScratchBuffer buf(sizeof(Part) * static_cast<std::size_t>(count));
  if (!buf.ok()) return BSNOSTKMEMORY;
  Part *parts = buf.as<Part>();
  double offset = 0.0, total = 0.0;
  for (int32_t j = 0; j < count; ++j) {
    const int32_t i = (first + j) % m;
    if (j > 0 && i == 0) offset += c.bez[m] - c.bez[0];
    const double a = j == 0 ? xs : -1.0, z = j == count - 1 ? xe : 1.0;
    const double len = c.bez[i + 1] - c.bez[i];
    parts[j] = Part{i, a, z, offset + c.bez[i] + (a + 1.0) / 2.0 * len,
                    offset + c.bez[i] + (z + 1.0) / 2.0 * len};
    total += parts[j].t1 - parts[j].t0;
  }
  const Mode mode{true, c.d == 2, c.periodic && close(total, c.bez[m] - c.bez[0])};
  return convert_parts(c, parts, count, k, k - 2, tolerance, mode, out);
}

}  // namespace knotwork

using namespace knotwork;

namespace {

BSrc check_composite(const Composite &c, int32_t order, double tolerance) {
  if (c.ndeg == nullptr || c.irat == nullptr || c.ibase == nullptr || c.series == nullptr ||
      c.bez == nullptr)
    return BSNULLPTR;
  if (c.d < 1 || c.d > 3 || c.m < 1 || c.m > kMaxSegments || order < kMinSplineOrder ||
      order > kMaxSplineOrder || !std::isfinite(tolerance) || !(tolerance > 0.0) ||
      !knots_ascending(c.bez, c.m + 1) || !(c.bez[0] < c.bez[c.m]))
    return BSINARG;
  for (int32_t i = 0; i < c.m; ++i) {
    if (c.ndeg[i] < 0 || c.ndeg[i] > kMaxSegmentDegree || segment_components(c.d, c.irat[i]) < 0)
      return BSINARG;
    if (c.series[i] == nullptr) return BSNULLPTR;
    if (!(c.bez[i] < c.bez[i + 1])) return BSINARG;
    const int64_t count = static_cast<int64_t>(c.ndeg[i] + 1) * segment_components(c.d, c.irat[i]);
    for (int64_t j = 0; j < count; ++j)
      if (!std::isfinite(c.series[i][j])) return BSINARG;
  }
  return BSSUCC;
}

// BScnvlgdnt and BScnvlgd2d: every segment whole, in order.
void join_segments(const Composite &c, int32_t order, int32_t r, double tol, bool divide,
                   BScurve **curve, BSrc *rc) {
  if (curve == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_composite(c, order, tol)) != BSSUCC) return;
  ScratchBuffer buf(sizeof(Part) * static_cast<std::size_t>(c.m));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  Part *parts = buf.as<Part>();
  for (int32_t i = 0; i < c.m; ++i) parts[i] = Part{i, -1.0, 1.0, c.bez[i], c.bez[i + 1]};
  *rc = convert_parts(c, parts, c.m, order, std::clamp(r, 0, order - 1), tol,
                      Mode{false, divide, c.periodic}, curve);
}

}  // namespace

extern "C" KW_API void BScnvlgdnt(int32_t d, int32_t periodic, int32_t m, const int32_t *ndegArr,
                                  const int32_t *iratArr, const int32_t *ibaseArr,
                                  double *const *curveSeries, const double *bezKnots, int32_t order,
                                  int32_t r, double tol, BScurve **curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  join_segments(Composite{d, m, periodic != 0, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots},
                order, r, tol, false, curve, rc);
}

extern "C" KW_API void BScnvlgd2d(int32_t periodic, int32_t m, const int32_t *ndegArr,
                                  const int32_t *iratArr, const int32_t *ibaseArr,
                                  double *const *curveSeries, const double *bezKnots, int32_t order,
                                  int32_t r, double tol, BScurve **curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  join_segments(Composite{2, m, periodic != 0, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots},
                order, r, tol, true, curve, rc);
}

extern "C" KW_API void BScmlgd2bsp(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                                   const int32_t *iratArr, const int32_t *ibaseArr,
                                   double *const *curveSeries, const double *bezKnots,
                                   const double *start_end, double tolerance, int32_t order,
                                   BScurve **curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  const Composite c{d, m, periodic != 0, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots};
  if (curve == nullptr || start_end == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_composite(c, order, tolerance)) != BSSUCC) return;
  *rc = composite_part_to_curve(c, start_end[0], start_end[1], order, tolerance,
                                Mode{true, d == 2, false}, curve);
}

extern "C" KW_API void BSlimcmplgd(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                                   const int32_t *iratArr, const int32_t *ibaseArr,
                                   double *const *curveSeries, const double *bezKnots, double start,
                                   double end, double tolerance, int32_t order, BScurve **curve,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  const Composite c{d, m, periodic != 0, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots};
  if (curve == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_composite(c, order, tolerance)) != BSSUCC) return;
  *rc = composite_part_to_curve(c, start, end, order, tolerance, Mode{false, false, false}, curve);
}

extern "C" KW_API void BScmlg2bsab(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                                   const int32_t *iratArr, const int32_t *ibaseArr,
                                   double *const *curveSeries, const double *bezKnots,
                                   int32_t first, int32_t last, double local_start,
                                   double local_end, double tolerance, int32_t order,
                                   BScurve **curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  const Composite c{d, m, periodic != 0, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots};
  if (curve == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_composite(c, order, tolerance)) != BSSUCC) return;
  if (first < 0 || last < 0 || first >= m || last >= m || (first > last && periodic == 0) ||
      !(local_start >= -1.0 && local_start < 1.0) || !(local_end > -1.0 && local_end <= 1.0) ||
      (first == last && !(local_start < local_end))) {
    *rc = BSINARG;
    return;
  }
  *rc =
      composite_segments_to_curve(c, first, last, local_start, local_end, order, tolerance, curve);
}
