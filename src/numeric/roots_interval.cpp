// Real roots on an interval: Legendre series on [-1, 1] (recursive halving with an
// exclusion test, closed forms at degrees 1 and 2, multiple roots through the
// inflection points), sub-intervals of a series, Bezier polynomials, and scalar
// B-splines with their zero intervals.
#include <algorithm>
#include <cmath>

#include "bases/series.hpp"
#include "bspline/bezier.hpp"
#include "frame/frame.hpp"
#include "numeric/roots.hpp"

namespace knotwork {

namespace {

bool may_vanish(int32_t m, const double *s, double tol) {
  double tail = 0.0;
  for (int32_t i = 1; i <= m; ++i) tail += std::fabs(s[i]);
  return std::fabs(s[0]) <= std::max(tol, 1e-14 * tail) + tail;
}

bool zero_within(int32_t m, const double *s, double tol) {
  double sum = 0.0;
  for (int32_t i = 0; i <= m; ++i) sum += std::fabs(s[i]);
  return sum <= tol;
}

// Snaps x to 1, -1 or 0 when it lies within delta of it (x unchanged otherwise).
double snap_special(double x, double delta) {
  if (std::fabs(x - 1.0) < delta) return 1.0;
  if (std::fabs(x + 1.0) < delta) return -1.0;
  if (std::fabs(x) < delta) return 0.0;
  return x;
}

}  // namespace

// Degree-2 series on [-1, 1]: roots ascending into roots (at most 2), or the
// ambiguity flag when a near-double root's zone covers the whole interval. Roots
// outside [-1, 1] are never reported.
void quadratic_legendre_roots(const double *s, double tol, int32_t *count, double *roots,
                              bool *ambiguous) {
  *count = 0;
  *ambiguous = false;
  const double a = 1.5 * s[2], b = s[1], c = s[0] - 0.5 * s[2];
  if (a == 0.0) {
    if (b != 0.0) {
      const double x = snap_special(-c / b, std::max(tol / std::fabs(b), 1e-14));
      if (std::fabs(x) <= 1.0) roots[(*count)++] = x;
    }
    return;
  }
  const double xv = -b / (2.0 * a), fv = c - b * b / (4.0 * a);
  if (std::fabs(fv) < tol) {
    const double w = fv * a <= 0.0 ? std::sqrt((std::fabs(fv) + tol) / std::fabs(a))
                                   : std::sqrt((tol - std::fabs(fv)) / std::fabs(a));
    if (std::fabs(xv) >= 1.0 + w) return;
    if (xv - w < -1.0 && xv + w > 1.0) {
      *ambiguous = true;
      return;
    }
    const double x = snap_special(xv, w);
    if (std::fabs(x) > 1.0) return;
    roots[0] = roots[1] = x;
    *count = 2;
    return;
  }
  const double d = b * b - 4.0 * a * c;
  if (d < 0.0) return;
  const double sq = std::sqrt(d);
  const double q = b >= 0.0 ? -b - sq : sq - b;
  double x[2];
  x[0] = q / (2.0 * a);
  x[1] = x[0] != 0.0 ? c / (a * x[0]) : 0.0;
  for (double r : x) {
    const double delta = std::max(tol / std::fabs(2.0 * a * r + b), 1e-14);
    if (std::fabs(r) < 1.0 + delta) {
      const double snapped = snap_special(r, delta);
      if (std::fabs(clenshaw_legendre(2, s, snapped)) <= tol) r = snapped;
    }
    if (std::fabs(r) <= 1.0) roots[(*count)++] = r;
  }
  if (*count == 2 && roots[1] < roots[0]) std::swap(roots[0], roots[1]);
}

namespace {

// The halving recursion of one solve. Row r of the block holds a series (n + 1
// doubles) and the roots found for it (n + 1 doubles); the halves of row r go to
// rows r + 2 (left) and r + 1 (right), so the recursion allocates nothing.
struct HalvingSolver {
  int32_t n;
  double tol;
  int32_t rows;
  double *block;

  double *coef(int32_t r) const { return block + static_cast<std::size_t>(r) * 2 * (n + 1); }
  double *found(int32_t r) const { return coef(r) + n + 1; }

  BSrc piece(int32_t r, int32_t m, int32_t *cnt) {
    *cnt = 0;
    double *s = coef(r);
    if (r == 0 && m < 5) m = truncated_degree(m, s, tol / 128.0);
    if (m <= 0 || !may_vanish(m, s, tol)) return BSSUCC;
    double *out = found(r);
    if (m == 1) {
      const double x = -s[0] / s[1], delta = std::max(tol / std::fabs(s[1]), 1e-14);
      if (std::fabs(x) >= 1.0 + delta) return BSSUCC;
      out[0] = snap_special(x, delta);
      *cnt = 1;
      return BSSUCC;
    }
    if (m == 2) {
      bool ambiguous = false;
      quadratic_legendre_roots(s, tol, cnt, out, &ambiguous);
      return ambiguous ? kRootsUnresolved : BSSUCC;
    }
    if (r + 2 >= rows) return BSNOSTKMEMORY;
    double *left = coef(r + 2), *right = coef(r + 1);
    halve_legendre_unchecked(m, s, left, right);
    if (zero_within(m, left, tol) || zero_within(m, right, tol)) return BSDEGEN;
    const int32_t ml = truncated_degree(m, left, tol / 128.0);
    const int32_t mr = truncated_degree(m, right, tol / 128.0);
    int32_t cl = 0, cr = 0;
    BSrc rc = piece(r + 2, ml, &cl);
    if (rc != BSSUCC) return rc;
    const double *lf = found(r + 2);
    int32_t at_split = 0;  // left roots on the split point (the left half's +1)
    for (int32_t i = 0; i < cl; ++i) {
      out[i] = lf[i] / 2.0 - 0.5;
      if (lf[i] == 1.0) ++at_split;
    }
    // The right half overwrites the left half's rows; its roots stay in row r.
    rc = piece(r + 1, mr, &cr);
    if (rc != BSSUCC) return rc;
    const double *rf = found(r + 1);
    // A root on the split point may be reported by both halves (left at +1, right
    // at -1): it is kept once, with the larger multiplicity. A -1 root of the
    // right half that the left half missed is kept as well.
    int32_t first = 0;
    if (at_split > 0) {
      while (first < cr && rf[first] == -1.0) ++first;
      for (int32_t extra = first - at_split; extra > 0; --extra) {
        if (cl >= m) return kRootsUnresolved;
        out[cl++] = 0.0;
      }
    }
    for (int32_t i = first; i < cr; ++i) {
      if (cl >= m) return kRootsUnresolved;
      out[cl++] = (rf[i] + 1.0) / 2.0;
    }
    *cnt = cl;
    return BSSUCC;
  }
};

BSrc legendre_attempt(int32_t n, const double *l, double tol, int32_t *count, double *roots);

// The series could not be halved without a half vanishing: a multiple root or a
// flat stretch. The multiple root is found among the inflection points, deflated
// away, and the quotient solved.
BSrc multiple_root_path(int32_t n, const double *l, double tol, int32_t *count, double *roots) {
  if (n < 3) return kRootsUnresolved;
  ScratchBuffer buf(static_cast<std::size_t>(5 * (n + 1)) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *d1 = buf.as<double>(), *d2 = d1 + (n + 1), *infl = d2 + (n + 1), *q = infl + (n + 1),
         *work = q + (n + 1);
  legendre_derivative(n, l, d1);
  legendre_derivative(n - 1, d1, d2);
  int32_t ni = 0;
  BSrc rc = legendre_roots(n - 2, d2, tol, &ni, infl);
  if (rc != BSSUCC) return rc;
  if (ni <= 0) return kRootsUnresolved;
  double x = 0.0;
  int32_t group = 0;
  for (int32_t i = 0; i < ni;) {
    int32_t j = i;
    while (j < ni && infl[j] == infl[i]) ++j;
    if (std::fabs(clenshaw_legendre(n - 1, d1, infl[i])) <= tol &&
        std::fabs(clenshaw_legendre(n, l, infl[i])) <= tol) {
      x = infl[i];
      group = j - i;
      break;
    }
    i = j;
  }
  if (group == 0) return kRootsUnresolved;
  int32_t k = group + 2;
  if (k > n) k = n;
  if (x != 1.0 && x != -1.0 && x != 0.0) {
    const double dk = std::fabs(rootseries::derivative_value(n, l, k, x, work));
    double fact = 1.0;
    for (int32_t i = 2; i <= k; ++i) fact *= i;
    if (dk > 0.0) {
      const double delta = std::pow(fact * tol / dk, 1.0 / k);
      if (std::fabs(x) < delta)
        x = 0.0;
      else if (std::fabs(x - 1.0) < delta)
        x = 1.0;
      else if (std::fabs(x + 1.0) < delta)
        x = -1.0;
    }
  }
  while (k < n - 1 && std::fabs(rootseries::derivative_value(n, l, k, x, work)) <= tol) ++k;
  double norm = 0.0;
  for (int32_t i = 0; i <= n; ++i) {
    q[i] = l[i];
    norm += l[i] * l[i];
  }
  norm = std::sqrt(norm);
  for (int32_t j = 0; j < k; ++j) {
    const int32_t d = n - j;
    q[0] -= clenshaw_legendre(d, q, x);
    rootseries::divide_linear(d, q, x, q);
    double qn = 0.0;
    for (int32_t i = 0; i < d; ++i) qn += q[i] * q[i];
    qn = std::sqrt(qn);
    if (qn > 0.0)
      for (int32_t i = 0; i < d; ++i) q[i] *= norm / qn;
  }
  int32_t nq = 0;
  if (n - k >= 1) {
    rc = legendre_roots(n - k, q, tol, &nq, roots);
    if (rc != BSSUCC) return rc;
    if (nq < 0) return kRootsUnresolved;
  }
  int32_t pos = 0;
  while (pos < nq && roots[pos] < x) ++pos;
  for (int32_t i = nq - 1; i >= pos; --i) roots[i + k] = roots[i];
  for (int32_t i = 0; i < k; ++i) roots[pos + i] = x;
  *count = nq + k;
  return BSSUCC;
}

BSrc legendre_attempt(int32_t n, const double *l, double tol, int32_t *count, double *roots) {
  // A tolerance below the rounding of the coefficients separates nothing more and
  // would only deepen the halving: it is raised to that level.
  double size = 0.0;
  for (int32_t i = 0; i <= n; ++i) size += std::fabs(l[i]);
  tol = std::max(tol, 1e-15 * size);
  const int32_t m = truncated_degree(n, l, tol);
  if (m < 0) {
    *count = -1;
    return BSSUCC;
  }
  HalvingSolver hs{m, tol, 4 * m + 128, nullptr};
  // Low degrees (cubic and quartic pieces of curves) keep the stack on the stack.
  BasicScratchBuffer<16384> buf(static_cast<std::size_t>(hs.rows) * 2 * (m + 1) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  hs.block = buf.as<double>();
  for (int32_t i = 0; i <= m; ++i) hs.coef(0)[i] = l[i];
  int32_t cnt = 0;
  BSrc rc = hs.piece(0, m, &cnt);
  if (rc == BSDEGEN) return multiple_root_path(m, l, tol, count, roots);
  if (rc != BSSUCC) return rc;
  for (int32_t i = 0; i < cnt; ++i) roots[i] = hs.found(0)[i];
  *count = cnt;
  return BSSUCC;
}

}  // namespace

BSrc legendre_roots(int32_t n, const double *l, double tol, int32_t *count, double *roots) {
  BSrc rc = BSSUCC;
  for (int attempt = 0; attempt < 3; ++attempt) {
    rc = legendre_attempt(n, l, tol, count, roots);
    if (rc != kRootsUnresolved) break;
    tol /= 1024.0;
  }
  return rc;
}

BSrc bezier_roots(int32_t k, const double *coef, double a, double b, double tol, int32_t *count,
                  double *roots) {
  bool zero = true;
  for (int32_t i = 0; i < k; ++i) zero = zero && std::fabs(coef[i]) <= tol;
  if (k < 1 || zero) {
    *count = -1;
    return BSSUCC;
  }
  // The polynomial lies in the hull of its coefficients: all beyond tol on one
  // side means it stays beyond tol, and the series solver would find nothing.
  bool above = true, below = true;
  for (int32_t i = 0; i < k; ++i) {
    above = above && coef[i] > tol;
    below = below && coef[i] < -tol;
  }
  if (above || below) {
    *count = 0;
    return BSSUCC;
  }
  ScratchBuffer buf(static_cast<std::size_t>(3 * k) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *lgd = buf.as<double>(), *scaled = lgd + k;
  // Coefficients and tolerance scaled by one power of two: the same roots, and no
  // overflow in the change of basis.
  const double sc = unit_scale(k, coef);
  for (int32_t i = 0; i < k; ++i) scaled[i] = coef[i] * sc;
  tol *= sc;
  rootseries::from_bezier(k - 1, scaled, lgd, lgd + 2 * k);
  for (int32_t i = 0; i < k; ++i)
    if (!std::isfinite(lgd[i])) return BSINARG;
  int32_t cnt = 0;
  const BSrc rc = legendre_roots(k - 1, lgd, tol, &cnt, roots);
  if (rc != BSSUCC) return rc;
  for (int32_t i = 0; i < cnt; ++i) {
    const double r = roots[i];
    roots[i] = r == -1.0 ? a : r == 1.0 ? b : a + (r + 1.0) / 2.0 * (b - a);
  }
  *count = cnt;
  return BSSUCC;
}

namespace {

// Value of Bezier coefficients (degree d) at local t by de Casteljau; work d + 1.
double bezier_value(int32_t d, const double *c, double t, double *work) {
  for (int32_t i = 0; i <= d; ++i) work[i] = c[i];
  for (int32_t r = 1; r <= d; ++r)
    for (int32_t i = 0; i <= d - r; ++i) work[i] = (1.0 - t) * work[i] + t * work[i + 1];
  return work[0];
}

// Roots on [a, b] of Bezier coefficients (degree k - 1) by subdivision, for a span
// the series solver cannot resolve (roots clustered within the tolerance, e.g. a
// high-order contact at an end). A piece whose coefficients all lie beyond tol on
// one side holds no root; a piece whose coefficients change sign once and whose end
// values have opposite signs holds one, found by bisection; other pieces are halved
// down to `width` (local), and each run of such pieces gives one root: at a sign
// change of the values (multiplicity 1) or at the smallest value when that is
// within tol (a touch, multiplicity 2). Roots ascending, at most k - 1 with
// multiplicity; 35 when they would be more or the work grows beyond a bound.
BSrc bezier_roots_subdivided(int32_t k, const double *coef, double a, double b, double tol,
                             double width, int32_t *count, double *roots) {
  const int32_t d = k - 1;
  constexpr int kDepth = 60;
  constexpr int kMaxPieces = 20000;
  const std::size_t stride = static_cast<std::size_t>(k) + 2;
  ScratchBuffer buf(((2 * kDepth + 4) * stride + k) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *stack = buf.as<double>(), *work = stack + (2 * kDepth + 4) * stride;
  const auto entry = [&](int i) { return stack + static_cast<std::size_t>(i) * stride; };
  const auto value = [&](double t) { return bezier_value(d, coef, t, work); };
  const auto at = [&](double t) { return t == 0.0 ? a : t == 1.0 ? b : a + t * (b - a); };
  const auto opposite = [](double x, double y) {
    return (x < 0.0 && y > 0.0) || (x > 0.0 && y < 0.0);
  };
  // Bisection of a sign change of the values on [lo, hi]: the end nearer zero.
  const auto bisect = [&](double lo, double hi) {
    const bool neg = value(lo) < 0.0;
    for (int it = 0; it < 200; ++it) {
      const double mid = 0.5 * (lo + hi);
      if (mid <= lo || mid >= hi) break;
      ((value(mid) < 0.0) == neg ? lo : hi) = mid;
    }
    return std::fabs(value(lo)) <= std::fabs(value(hi)) ? lo : hi;
  };
  int32_t found = 0;
  const auto add = [&](double t, int32_t m) {
    if (found + m > d) return false;
    for (int32_t j = 0; j < m; ++j) roots[found++] = at(t);
    return true;
  };
  double run_lo = 0.0, run_hi = -1.0, run_best = 0.0, run_best_f = HUGE_VAL;
  // A run of unresolved pieces ends: one root, or none if it never comes within tol.
  const auto close_run = [&]() {
    if (run_hi < run_lo) return true;
    bool ok = true;
    if (opposite(value(run_lo), value(run_hi)))
      ok = add(bisect(run_lo, run_hi), 1);
    else if (run_best_f <= tol)
      ok = add(run_best, 2);
    run_hi = -1.0;
    run_best_f = HUGE_VAL;
    return ok;
  };
  int top = 0;
  double *e = entry(top++);
  e[0] = 0.0;
  e[1] = 1.0;
  for (int32_t i = 0; i < k; ++i) e[2 + i] = coef[i];
  for (int pieces = 0; top > 0; ++pieces) {
    if (pieces > kMaxPieces) return kRootsUnresolved;
    e = entry(--top);
    const double lo = e[0], hi = e[1], *c = e + 2;
    bool above = true, below = true, within = true;
    int32_t changes = 0;
    for (int32_t i = 0; i < k; ++i) {
      above = above && c[i] > tol;
      below = below && c[i] < -tol;
      within = within && std::fabs(c[i]) <= tol;
      if (i > 0 && (c[i - 1] < 0.0) != (c[i] < 0.0)) ++changes;
    }
    if (above || below) {
      if (!close_run()) return kRootsUnresolved;
      continue;
    }
    if (!within && changes == 1 && opposite(c[0], c[d])) {
      if (!close_run() || !add(bisect(lo, hi), 1)) return kRootsUnresolved;
      continue;
    }
    if (within || hi - lo <= width || top + 2 > 2 * kDepth) {
      if (run_hi < run_lo) run_lo = lo;
      run_hi = hi;
      for (const double t : {lo, 0.5 * (lo + hi), hi}) {
        const double f = std::fabs(value(t));
        if (f < run_best_f) run_best_f = f, run_best = t;
      }
      continue;
    }
    // Halves by de Casteljau; the left half goes on top so pieces come in order.
    double *right = entry(top), *left = entry(top + 1);
    const double mid = 0.5 * (lo + hi);
    for (int32_t i = 0; i < k; ++i) work[i] = c[i];
    for (int32_t r = 0; r <= d; ++r) {
      left[2 + r] = work[0];
      right[2 + d - r] = work[d - r];
      for (int32_t i = 0; i < d - r; ++i) work[i] = 0.5 * (work[i] + work[i + 1]);
    }
    left[0] = lo, left[1] = mid, right[0] = mid, right[1] = hi;
    top += 2;
  }
  if (!close_run()) return kRootsUnresolved;
  *count = found;
  return BSSUCC;
}

}  // namespace

BSrc spline_roots(int32_t k, int32_t n, const double *poles, const double *knots, double tol,
                  double knot_gap, int32_t *num_roots, double *roots, int32_t *num_zero,
                  double *zero_pairs) {
  *num_roots = 0;
  *num_zero = 0;
  int32_t nz = 0;
  const auto add_zero = [&](double s, double e) {
    if (nz > 0 && zero_pairs[2 * nz - 1] == s)
      zero_pairs[2 * nz - 1] = e;
    else {
      zero_pairs[2 * nz] = s;
      zero_pairs[2 * nz + 1] = e;
      ++nz;
    }
  };
  if (k == 1) {  // piecewise constant: no roots, zero spans only
    for (int32_t i = 0; i < n; ++i)
      if (knots[i] < knots[i + 1] && std::fabs(poles[i]) <= tol) add_zero(knots[i], knots[i + 1]);
    *num_zero = nz;
    return BSSUCC;
  }
  const int p = k - 1;
  const int32_t spans = n - p;
  // Work: Bezier coefficients and breaks, then the root list as (value, multiplicity,
  // span of the knot it sits on or -1), then the per-span root buffer.
  const std::size_t cap = static_cast<std::size_t>(p) * spans + 1;
  ScratchBuffer buf((static_cast<std::size_t>(spans) * k + spans + 1 + 3 * cap + k + k) *
                    sizeof(double));
  if (!buf.ok()) return BSNOMEMORY;
  double *coefs = buf.as<double>(), *breaks = coefs + static_cast<std::size_t>(spans) * k;
  double *val = breaks + spans + 1, *mult = val + cap, *at_knot = mult + cap, *tmp = at_knot + cap;
  double *work = tmp + k;
  int32_t count = 0;
  BSrc rc = bezier_pieces(p, n, 1, knots, poles, &count, coefs, breaks);
  if (rc != BSSUCC) return rc;
  int32_t ne = 0;
  bool prev_zero = false;
  const auto flush = [&]() {
    int32_t total = 0;
    for (int32_t e = 0; e < ne; ++e)
      for (int32_t j = 0; j < static_cast<int32_t>(mult[e]); ++j) roots[total++] = val[e];
    *num_roots = total;
    *num_zero = nz;
  };
  for (int32_t i = 0; i < count && rc == BSSUCC; ++i) {
    const double t0 = breaks[i], t1 = breaks[i + 1];
    int32_t cnt = 0;
    const double *ci = coefs + static_cast<std::size_t>(i) * k;
    rc = bezier_roots(k, ci, t0, t1, tol, &cnt, tmp);
    if (rc == kRootsUnresolved)
      rc = bezier_roots_subdivided(k, ci, t0, t1, tol, std::fmax(knot_gap / (t1 - t0), 1e-12), &cnt,
                                   tmp);
    if (rc != BSSUCC) break;
    if (cnt < 0) {
      // A zero span opens or extends a zero interval; every copy of a root at
      // its start is the interval's start, not a root.
      while (ne > 0 && val[ne - 1] == t0) --ne;
      add_zero(t0, t1);
      prev_zero = true;
      continue;
    }
    const int32_t span_first = ne;
    for (int32_t j = 0; j < cnt;) {
      int32_t e = j;
      while (e < cnt && tmp[e] == tmp[j]) ++e;
      double v = tmp[j];
      const int32_t m = e - j;
      j = e;
      if (std::fabs(v - t0) <= knot_gap) v = t0;
      if (std::fabs(v - t1) <= knot_gap) v = t1;
      if (ne > span_first && val[ne - 1] == v) {  // one root split by rounding
        mult[ne - 1] += m;
        continue;
      }
      if (v == t0 && i > 0) {
        if (prev_zero) continue;            // the end of the zero interval
        if (ne > 0 && val[ne - 1] == t0) {  // already reported by the span before
          mult[ne - 1] = std::max<double>(mult[ne - 1], m);
          continue;
        }
      }
      val[ne] = v;
      mult[ne] = m;
      at_knot[ne] = (v == t0 && i > 0) ? i : (v == t1 && i + 1 < count) ? i + 1 : -1;
      ++ne;
    }
    prev_zero = false;
  }
  // A root on an interior knot: the sign of the function on both sides decides
  // whether its multiplicity is odd (a crossing) or even (a touch).
  for (int32_t e = 0; e < ne; ++e) {
    const int32_t s = static_cast<int32_t>(at_knot[e]);
    if (s < 1) continue;
    const double v = val[e];
    const double lo = std::max(e > 0 ? val[e - 1] : breaks[s - 1], breaks[s - 1]);
    const double hi = std::min(e + 1 < ne ? val[e + 1] : breaks[s + 1], breaks[s + 1]);
    const double tl = ((lo + v) / 2.0 - breaks[s - 1]) / (breaks[s] - breaks[s - 1]);
    const double tr = ((v + hi) / 2.0 - breaks[s]) / (breaks[s + 1] - breaks[s]);
    const double fl = bezier_value(p, coefs + static_cast<std::size_t>(s - 1) * k, tl, work);
    const double fr = bezier_value(p, coefs + static_cast<std::size_t>(s) * k, tr, work);
    const bool crossing = fl * fr <= 0.0;
    const int32_t m = static_cast<int32_t>(mult[e]);
    if (crossing && m % 2 == 0) mult[e] = m - 1;
    if (!crossing && m % 2 == 1) mult[e] = m + 1;
  }
  flush();
  return rc;
}

}  // namespace knotwork
