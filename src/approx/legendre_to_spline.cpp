// One Legendre segment to a B-spline of a requested order within a tolerance:
// knot placement (BSfndktslg), the smooth spline on given breakpoints
// (BSlgdbspspn), and the whole conversion of a polynomial (BSlgdbspl1) or
// rational (BSlgdbsplr) segment, whose error bound is checked before it is handed
// out.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "approx/composite.hpp"
#include "approx/legendre_spline.hpp"
#include "bases/series.hpp"
#include "bspline/removal.hpp"
#include "numeric/roots.hpp"
#include "records/curve_check.hpp"

namespace knotwork {

namespace {

// Largest, over the g groups, of the Euclidean norm over the c components of the
// series (degree nd, component after component) at x.
double group_norm(int32_t nd, int32_t g, int32_t c, const double *der, double x) {
  double best = 0.0;
  for (int32_t gi = 0; gi < g; ++gi) {
    double s = 0.0;
    for (int32_t ci = 0; ci < c; ++ci) {
      const double v =
          clenshaw_legendre(nd, der + static_cast<std::size_t>(gi * c + ci) * (nd + 1), x);
      s += v * v;
    }
    best = std::max(best, std::sqrt(s));
  }
  return best;
}

// k (k - 1 - r)! (3 5 ... (2k - 1)) / k!: relates the order-k derivative bound to
// the half-length of a piece that order k reproduces within the tolerance.
double placement_constant(int32_t k, int32_t r) {
  double v = k;
  for (int32_t i = 2; i <= k - 1 - r; ++i) v *= i;
  for (int32_t i = 3; i <= 2 * k - 1; i += 2) v *= i;
  for (int32_t i = 2; i <= k; ++i) v /= i;
  return v;
}

struct Placement {
  int32_t nd, g, c, k;
  const double *der;
  double scale;  // C tol
  double bound(double x) const { return group_norm(nd, g, c, der, x); }
  double step(double m) const { return m > 0.0 ? std::pow(scale / m, 1.0 / k) : 1.0; }
  // March from x with bound m towards dir (-1, 1) until the end is passed; the
  // points go to out when it is not null. The count, -1 after too many steps.
  int32_t march(double x, double m, int dir, double *out) const {
    int32_t count = 0;
    while (dir < 0 ? x > -1.0 : x < 1.0) {
      if (count == kMaxPlacementSteps) return -1;
      double xn = x + 2.0 * dir * step(m);
      const double mn = bound(dir < 0 ? std::max(xn, -1.0) : std::min(xn, 1.0));
      if (mn > m) xn = x + 2.0 * dir * step(mn);
      x = xn;
      m = mn;
      if (out != nullptr) out[count] = x;
      ++count;
    }
    return count;
  }
};

// Euclidean vector truncation: the largest m whose tail sum of coefficient norms
// (indices m..n over the c components) exceeds tol, -1 when none; *tail the sum
// dropped.
int32_t effective_degree(int32_t n, int32_t c, const double *s, double tol, double *tail) {
  double sum = 0.0;
  for (int32_t m = n; m >= 0; --m) {
    double v = 0.0;
    for (int32_t j = 0; j < c; ++j)
      v += s[static_cast<std::size_t>(j) * (n + 1) + m] *
           s[static_cast<std::size_t>(j) * (n + 1) + m];
    if (sum + std::sqrt(v) > tol) {
      *tail = sum;
      return m;
    }
    sum += std::sqrt(v);
  }
  *tail = sum;
  return -1;
}

bool all_finite(std::size_t count, const double *v) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

}  // namespace

BSrc place_knots(int32_t n, int32_t g, int32_t c, const double *series, int32_t k, int32_t r,
                 double tol, int32_t *pieces, double **breaks) {
  *pieces = 0;
  *breaks = nullptr;
  if (n < k) return BSSUCC;
  r = std::clamp(r, 0, k - 1);
  const int32_t nd = n - k, comps = g * c;
  ScratchBuffer buf(sizeof(double) * static_cast<std::size_t>(comps) * (n + 1));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *der = buf.as<double>();
  // The k-th derivative of every component, packed at stride nd + 1.
  for (int32_t j = 0; j < comps; ++j) {
    double *d = der + static_cast<std::size_t>(j) * (nd + 1);
    double *w = der + static_cast<std::size_t>(j) * (n + 1);
    std::memmove(w, series + static_cast<std::size_t>(j) * (n + 1), sizeof(double) * (n + 1));
    for (int32_t q = 0; q < k; ++q) legendre_derivative(n - q, w, w);
    if (d != w) std::memmove(d, w, sizeof(double) * (nd + 1));
  }
  const Placement p{nd, g, c, k, der, placement_constant(k, r) * tol};
  const double m0 = p.bound(0.0), h0 = std::min(p.step(m0), 1.0);
  const double m = std::max({m0, p.bound(-h0), p.bound(h0)});
  const double h = m == m0 ? h0 : std::min(p.step(m), 1.0);
  const int32_t left = p.march(-h, m, -1, nullptr), right = p.march(h, m, 1, nullptr);
  if (left < 0 || right < 0) return BSNOMEMORY;
  const int32_t count = left + right + 2;
  double *b = alloc_result_doubles(static_cast<std::size_t>(count));
  if (b == nullptr) return BSNOMEMORY;
  // Left points outermost first, then -h, h and the right points outward.
  p.march(-h, m, -1, b + 1);
  std::reverse(b, b + left + 1);
  b[left] = -h;
  b[left + 1] = h;
  p.march(h, m, 1, b + left + 2);
  const double lo = b[0], hi = b[count - 1];
  for (int32_t i = 0; i < count; ++i) b[i] = -1.0 + 2.0 * (b[i] - lo) / (hi - lo);
  b[0] = -1.0;
  b[count - 1] = 1.0;
  *pieces = count - 1;
  *breaks = b;
  return BSSUCC;
}

BSrc build_piece_spline(int32_t n, int32_t c, const double *series, int32_t k, int32_t pieces,
                        const double *breaks, double tol, double *poles, double *knots,
                        double *bound) {
  const std::size_t len = static_cast<std::size_t>(pieces) * k, all = len * c;
  ScratchBuffer buf(sizeof(double) *
                        (3 * all + static_cast<std::size_t>(pieces) * c + 4 * (n + 1)) +
                    sizeof(long double) * 2 * k);
  if (!buf.ok()) return BSNOSTKMEMORY;
  long double *lw = buf.as<long double>();
  double *in = reinterpret_cast<double *>(lw + 2 * k), *out = in + all, *bez = out + all;
  double *tails = bez + all, *piece = tails + static_cast<std::size_t>(pieces) * c;
  double *work = piece + (n + 1);
  // Every piece restricted and cut to degree k - 1 (its L2-nearest polynomial).
  for (int32_t i = 0; i < pieces; ++i)
    for (int32_t j = 0; j < c; ++j) {
      rootseries::restrict_to(n, series + static_cast<std::size_t>(j) * (n + 1), breaks[i],
                              breaks[i + 1], piece, work);
      double tail = 0.0;
      for (int32_t q = k; q <= n; ++q) tail += std::fabs(piece[q]);
      tails[static_cast<std::size_t>(i) * c + j] = tail;
      double *dst = in + (static_cast<std::size_t>(j) * pieces + i) * k;
      for (int32_t q = 0; q < k; ++q) dst[q] = q <= n ? piece[q] : 0.0;
    }
  BSrc status = BSSUCC;
  if (pieces > 1) {
    status = correct_continuity(1, c, k, k - 2, pieces, breaks, in, tol, out);
    if (status != BSSUCC && status != 55) return status;
  } else {
    std::memcpy(out, in, sizeof(double) * all);
  }
  // Error bound per piece: |P_q| <= 1 on [-1, 1], so the dropped tail plus the
  // coefficient change bounds each component.
  double worst = 0.0;
  for (int32_t i = 0; i < pieces; ++i) {
    double s = 0.0;
    for (int32_t j = 0; j < c; ++j) {
      const std::size_t at = (static_cast<std::size_t>(j) * pieces + i) * k;
      double e = tails[static_cast<std::size_t>(i) * c + j];
      for (int32_t q = 0; q < k; ++q) e += std::fabs(out[at + q] - in[at + q]);
      s += e * e;
      legendre_to_bezier_unchecked(k - 1, out + at, bez + (static_cast<std::size_t>(i) * c + j) * k,
                                   lw);
    }
    worst = std::max(worst, std::sqrt(s));
  }
  *bound = worst;
  bezier_chain_to_spline(k - 1, pieces, c, bez, breaks, poles);
  for (int32_t q = 0; q < k; ++q) {
    knots[q] = breaks[0];
    knots[pieces + k - 1 + q] = breaks[pieces];
  }
  for (int32_t i = 1; i < pieces; ++i) knots[k - 1 + i] = breaks[i];
  return status;
}

void release_spline(ArraySpline *s) {
  if (s->poles != nullptr) BSdbgfree(s->poles);
  if (s->knots != nullptr) BSdbgfree(s->knots);
  *s = ArraySpline{};
}

BSrc segment_to_spline(int32_t n, int32_t c, const double *series, int32_t k, int32_t r, double tol,
                       ArraySpline *out) {
  // A sixteenth of the tolerance for the degree cut, the rest for the pieces.
  const double cut = tol / 16.0, budget = tol - cut;
  double tail = 0.0;
  const int32_t ne = effective_degree(n, c, series, cut, &tail);
  ScratchBuffer buf(sizeof(double) * static_cast<std::size_t>(c) * (ne + 1) +
                    sizeof(long double) * 2 * (ne + 2));
  if (!buf.ok()) return BSNOSTKMEMORY;
  long double *lw = buf.as<long double>();
  double *s = reinterpret_cast<double *>(lw + 2 * (ne + 2));
  for (int32_t j = 0; j < c; ++j)
    std::memcpy(s + static_cast<std::size_t>(j) * (ne + 1),
                series + static_cast<std::size_t>(j) * (n + 1), sizeof(double) * (ne + 1));
  ArraySpline res;
  if (ne < k) {
    // One Bezier piece of the effective degree (order 1 for a zero series).
    res.order = std::max(ne + 1, 1);
    res.num_poles = res.order;
    res.poles = alloc_result_doubles(static_cast<std::size_t>(c) * res.order);
    res.knots = alloc_result_doubles(2 * static_cast<std::size_t>(res.order));
    if (res.poles == nullptr || res.knots == nullptr) {
      release_spline(&res);
      return BSNOMEMORY;
    }
    for (int32_t j = 0; j < c; ++j) {
      if (ne < 0)
        res.poles[j] = 0.0;
      else
        legendre_to_bezier_unchecked(ne, s + static_cast<std::size_t>(j) * (ne + 1),
                                     res.poles + static_cast<std::size_t>(j) * res.order, lw);
    }
    for (int32_t q = 0; q < res.order; ++q) {
      res.knots[q] = -1.0;
      res.knots[res.order + q] = 1.0;
    }
    *out = res;
    return BSSUCC;
  }
  double placement_tol = budget;
  for (int attempt = 0;; ++attempt) {
    int32_t pieces = 0;
    double *breaks = nullptr;
    BSrc rc = place_knots(ne, 1, c, s, k, r, placement_tol, &pieces, &breaks);
    if (rc != BSSUCC) return rc;
    res.order = k;
    res.num_poles = pieces + k - 1;
    res.poles = alloc_result_doubles(static_cast<std::size_t>(c) * res.num_poles);
    res.knots = alloc_result_doubles(static_cast<std::size_t>(pieces) + 2 * k - 1);
    double bound = 0.0;
    rc = res.poles == nullptr || res.knots == nullptr
             ? BSNOMEMORY
             : build_piece_spline(ne, c, s, k, pieces, breaks, placement_tol, res.poles, res.knots,
                                  &bound);
    BSdbgfree(breaks);
    if (rc != BSSUCC && rc != 55) {
      release_spline(&res);
      return rc;
    }
    // The bound decides: a correction reported large is fine when the total holds.
    if (bound <= budget || attempt == 9) {
      *out = res;
      return bound <= budget ? BSSUCC : 55;
    }
    release_spline(&res);
    placement_tol /= 2.0;
  }
}

BSrc rational_segment_to_spline(int32_t n, int32_t d, const double *series, int32_t k, int32_t r,
                                double tol, ArraySpline *out) {
  const int32_t c = d + 1;
  ScratchBuffer buf(sizeof(double) * static_cast<std::size_t>(c) * (n + 1) +
                    sizeof(long double) * 2 * (n + 1));
  if (!buf.ok()) return BSNOSTKMEMORY;
  long double *lw = buf.as<long double>();
  double *bez = reinterpret_cast<double *>(lw + 2 * (n + 1));
  for (int32_t j = 0; j < c; ++j)
    legendre_to_bezier_unchecked(n, series + static_cast<std::size_t>(j) * (n + 1),
                                 bez + static_cast<std::size_t>(j) * (n + 1), lw);
  // A lower bound of the weight: its smallest Bezier coefficient, or half the
  // smallest of dense samples when the control values dip below zero.
  const double *wb = bez + static_cast<std::size_t>(d) * (n + 1);
  double wmin = *std::min_element(wb, wb + n + 1);
  if (!(wmin > 0.0)) {
    wmin = HUGE_VAL;
    const int32_t samples = 8 * (n + 2);
    for (int32_t i = 0; i <= samples; ++i)
      wmin = std::min(wmin, bezier_value(n, wb, static_cast<double>(i) / samples));
    if (!(wmin > 0.0)) return BSINARG;
    wmin /= 2.0;
  }
  double pmax = 0.0;
  for (int32_t q = 0; q <= n; ++q) {
    double s = 0.0;
    for (int32_t j = 0; j < d; ++j)
      s += bez[static_cast<std::size_t>(j) * (n + 1) + q] *
           bez[static_cast<std::size_t>(j) * (n + 1) + q];
    pmax = std::max(pmax, std::sqrt(s));
  }
  pmax /= wmin;
  // |X'/w' - X/w| <= e (1 + |X/w|) / (w - e) for a homogeneous error e.
  const double th = tol * wmin / (1.0 + pmax + tol);
  const BSrc rc = segment_to_spline(n, c, series, k, r, th, out);
  if (rc != BSSUCC && rc != 55) return rc;
  for (int32_t i = 0; i < out->num_poles; ++i)
    if (!(out->poles[static_cast<std::size_t>(d) * out->num_poles + i] > 0.0)) {
      release_spline(out);
      return BSINARG;
    }
  return rc;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

// Shared argument checks of the segment routines: degree, components, order,
// tolerance and finite coefficients.
BSrc check_segment(int32_t n, int32_t c, const double *series, int32_t order, double tol) {
  if (series == nullptr) return BSNULLPTR;
  if (n < 0 || n > kMaxSegmentDegree || c < 1 || c > 256 || order < kMinSplineOrder ||
      order > kMaxSplineOrder || !std::isfinite(tol) || !(tol > 0.0) ||
      !all_finite(static_cast<std::size_t>(c) * (n + 1), series))
    return BSINARG;
  return BSSUCC;
}

void hand_out(const ArraySpline &s, int32_t *order, int32_t *num_poles, double **poles,
              double **knots) {
  *order = s.order;
  *num_poles = s.num_poles;
  *poles = s.poles;
  *knots = s.knots;
}

}  // namespace

extern "C" KW_API void BSfndktslg(int32_t n, int32_t g, int32_t c, const double *series,
                                  int32_t order, int32_t r, double tol, int32_t *num_pieces,
                                  double **breaks, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (num_pieces == nullptr || breaks == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (g < 1 || static_cast<int64_t>(g) * c > 256) {
    *rc = series == nullptr ? BSNULLPTR : BSINARG;
    return;
  }
  if ((*rc = check_segment(n, g * c, series, order, tol)) != BSSUCC) return;
  int32_t pieces = 0;
  double *b = nullptr;
  if ((*rc = place_knots(n, g, c, series, order, r, tol, &pieces, &b)) != BSSUCC) return;
  if (!KW_FINISH(TRUE)) {  // an injected failure hands out nothing
    BSdbgfree(b);
    return;
  }
  *num_pieces = pieces;
  *breaks = b;
}

extern "C" KW_API void BSlgdbspspn(int32_t n, int32_t c, const double *series, int32_t order,
                                   int32_t num_pieces, const double *breaks, double tol,
                                   double **poles, double **knots, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (breaks == nullptr || poles == nullptr || knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_segment(n, c, series, order, tol)) != BSSUCC) return;
  if (num_pieces < 1 || num_pieces > kMaxSegments || !knots_ascending(breaks, num_pieces + 1) ||
      !all_finite(static_cast<std::size_t>(num_pieces) + 1, breaks)) {
    *rc = BSINARG;
    return;
  }
  for (int32_t i = 0; i < num_pieces; ++i)
    if (!(breaks[i] < breaks[i + 1])) {
      *rc = BSINARG;
      return;
    }
  ArraySpline s;
  s.poles = alloc_result_doubles(static_cast<std::size_t>(c) * (num_pieces + order - 1));
  s.knots = alloc_result_doubles(static_cast<std::size_t>(num_pieces) + 2 * order - 1);
  double bound = 0.0;
  *rc = s.poles == nullptr || s.knots == nullptr
            ? BSNOMEMORY
            : build_piece_spline(n, c, series, order, num_pieces, breaks, tol, s.poles, s.knots,
                                 &bound);
  if ((*rc != BSSUCC && *rc != 55) || (*rc == BSSUCC && !KW_FINISH(TRUE))) {
    release_spline(&s);
    return;
  }
  *poles = s.poles;
  *knots = s.knots;
}

extern "C" KW_API void BSlgdbspl1(int32_t n, int32_t c, const double *series, int32_t order,
                                  int32_t r, double tol, int32_t *out_order, int32_t *num_poles,
                                  double **poles, double **knots, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out_order == nullptr || num_poles == nullptr || poles == nullptr || knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_segment(n, c, series, order, tol)) != BSSUCC) return;
  ArraySpline s;
  *rc = segment_to_spline(n, c, series, order, r, tol, &s);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) {
    release_spline(&s);  // an injected failure hands out nothing
    return;
  }
  if (*rc == BSSUCC || *rc == 55) hand_out(s, out_order, num_poles, poles, knots);
}

extern "C" KW_API void BSlgdbsplr(int32_t n, int32_t d, const double *series, int32_t order,
                                  int32_t r, double tol, int32_t *out_order, int32_t *num_poles,
                                  double **poles, double **knots, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out_order == nullptr || num_poles == nullptr || poles == nullptr || knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (d < 1 || d > 3) {
    *rc = series == nullptr ? BSNULLPTR : BSINARG;
    return;
  }
  if ((*rc = check_segment(n, d + 1, series, order, tol)) != BSSUCC) return;
  ArraySpline s;
  *rc = rational_segment_to_spline(n, d, series, order, r, tol, &s);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) {
    release_spline(&s);  // an injected failure hands out nothing
    return;
  }
  if (*rc == BSSUCC || *rc == 55) hand_out(s, out_order, num_poles, poles, knots);
}
