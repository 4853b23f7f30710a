// Random B-spline curves for tests and independent reference evaluators, written
// without the library's kernels, so that a test compares the library against a
// separate computation: plain de Boor on homogeneous points (ref_eval), and the
// Cox-de Boor recursion for basis functions and their derivatives with the
// quotient rule in long double, with an error bound from the magnitudes of the
// terms (ref_derivs).
#ifndef KNOTWORK_TESTS_REF_CURVES_HPP
#define KNOTWORK_TESTS_REF_CURVES_HPP

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "knotwork.h"

namespace kwtest {

// A curve owned by the test: poles stored weighted (as in BScurve) when rational.
struct RefCurve {
  int k = 2;
  std::vector<double> knots;
  std::vector<double> poles;    // 3 per pole
  std::vector<double> weights;  // empty when polynomial
  bool closed = false;
  bool periodic = false;

  int32_t n() const { return static_cast<int32_t>(poles.size() / 3); }
  bool rational() const { return !weights.empty(); }
  double lo() const { return knots[k - 1]; }
  double hi() const { return knots[n()]; }

  // A BScurve view on the vectors (valid while the RefCurve lives unchanged).
  BScurve view() {
    double *w = rational() ? weights.data() : nullptr;
    return {int16_t(k),   periodic,   1, n(), poles.data(), int32_t(knots.size()),
            knots.data(), rational(), w, 0,   closed,       0,
            nullptr};
  }

  // Coordinate-major rows (the first dim coordinates, weighted, then the weight row
  // if rational).
  std::vector<double> rows(int dim = 3) const {
    const int32_t m = n();
    std::vector<double> r((rational() ? dim + 1 : dim) * m);
    for (int32_t i = 0; i < m; ++i) {
      for (int c = 0; c < dim; ++c) r[c * m + i] = poles[3 * i + c];
      if (rational()) r[dim * m + i] = weights[i];
    }
    return r;
  }
  // Moves every pole into the plane z = 0.
  void flatten() {
    for (int32_t i = 0; i < n(); ++i) poles[3 * i + 2] = 0.0;
  }
};

// Homogeneous de Boor evaluation of a curve given by arrays at u: the span is the
// one with knots[s] <= u < knots[s+1] (the last non-empty span at the domain end).
inline std::array<double, 3> ref_eval(int k, int32_t n, const double *knots, const double *poles,
                                      const double *weights, double u) {
  int32_t s = k - 1;
  while (s < n - 1 && !(u < knots[s + 1])) ++s;
  while (s > k - 1 && knots[s] == knots[s + 1]) --s;
  const int p = k - 1;
  std::vector<std::array<double, 4>> d(k);
  for (int j = 0; j <= p; ++j) {
    const int32_t i = s - p + j;
    const double w = weights ? weights[i] : 1.0;
    d[j] = {poles[3 * i], poles[3 * i + 1], poles[3 * i + 2], w};
  }
  for (int r = 1; r <= p; ++r) {
    for (int j = p; j >= r; --j) {
      const int32_t i = s - p + j;
      const double a = (u - knots[i]) / (knots[i + k - r] - knots[i]);
      for (int c = 0; c < 4; ++c) d[j][c] = (1.0 - a) * d[j - 1][c] + a * d[j][c];
    }
  }
  return {d[p][0] / d[p][3], d[p][1] / d[p][3], d[p][2] / d[p][3]};
}

inline std::array<double, 3> ref_eval(const RefCurve &cv, double u) {
  return ref_eval(cv.k, cv.n(), cv.knots.data(), cv.poles.data(),
                  cv.rational() ? cv.weights.data() : nullptr, u);
}

inline std::array<double, 3> ref_eval(const BScurve &cv, double u) {
  return ref_eval(cv.order, cv.num_poles, cv.knots, cv.poles, cv.rational ? cv.weights : nullptr,
                  u);
}

struct CurveShape {
  int k = 4;
  int32_t n = 6;
  bool rational = false;
  bool repeated_knots = false;  // allow interior knots up to multiplicity k-1
  bool clamped = true;          // unclamped ends when false
  double scale = 1.0;
  double offset = 0.0;
};

// A random curve of the given shape; knots on [0, 1] (unclamped ends reach outside).
inline RefCurve random_curve(std::mt19937_64 &rng, const CurveShape &shape) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  RefCurve cv;
  cv.k = shape.k;
  const int32_t n = shape.n;
  const int k = shape.k;
  // interior knots
  std::vector<double> inner;
  while (static_cast<int32_t>(inner.size()) < n - k) {
    const double v = 0.05 + 0.9 * unit(rng);
    int mult = 1;
    if (shape.repeated_knots && unit(rng) < 0.4) mult = 1 + static_cast<int>(unit(rng) * (k - 1));
    mult = std::min<int>(mult, std::max(1, k - 1));
    for (int j = 0; j < mult && static_cast<int32_t>(inner.size()) < n - k; ++j) inner.push_back(v);
  }
  std::sort(inner.begin(), inner.end());
  cv.knots.assign(k, 0.0);
  for (double v : inner) cv.knots.push_back(v);
  for (int j = 0; j < k; ++j) cv.knots.push_back(1.0);
  if (!shape.clamped) {
    for (int j = 0; j < k - 1; ++j) {
      cv.knots[k - 2 - j] = cv.knots[k - 1 - j] - 0.1 - 0.2 * unit(rng);
      cv.knots[n + 1 + j] = cv.knots[n + j] + 0.1 + 0.2 * unit(rng);
    }
  }
  cv.poles.resize(3 * n);
  for (auto &v : cv.poles) v = shape.offset + shape.scale * (2.0 * unit(rng) - 1.0);
  if (shape.rational) {
    cv.weights.resize(n);
    for (int32_t i = 0; i < n; ++i) {
      cv.weights[i] = 0.5 + 1.5 * unit(rng);
      for (int c = 0; c < 3; ++c) cv.poles[3 * i + c] *= cv.weights[i];
    }
  }
  return cv;
}

// The same for the common case: interior knots repeated up to order - 1.
inline RefCurve random_curve(std::mt19937_64 &rng, int k, int32_t n, bool rational, bool clamped) {
  return random_curve(rng, CurveShape{k, n, rational, true, clamped});
}

// A curve from explicit arrays (poles weighted when rational).
inline RefCurve make_curve(int k, std::vector<double> knots, std::vector<double> poles,
                           std::vector<double> weights = {}) {
  return {k, std::move(knots), std::move(poles), std::move(weights)};
}

// The planar cubic Bezier used by the exact insertion and split cases.
inline RefCurve cubic_bezier() {
  return make_curve(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 1, 2, 0, 3, 2, 1, 4, 0, 0});
}

// A view whose arrays have room for `extra` more poles and knots (for operations
// that grow a record in place); the counts stay those of the curve.
inline BScurve view_with_room(RefCurve &cv, int extra) {
  const int32_t n = cv.n();
  const size_t nk = cv.knots.size();
  cv.poles.resize(3 * (n + extra));
  cv.knots.resize(nk + extra);
  if (cv.rational()) cv.weights.resize(n + extra);
  BScurve v = cv.view();
  v.num_poles = n;
  v.num_knots = static_cast<int32_t>(nk);
  return v;
}

// Largest distance between two curves at `samples` parameters inside (lo, hi)
// (by the reference evaluator), and the same with BScveval including both ends.
inline double max_deviation(const BScurve &a, const BScurve &b, double lo, double hi,
                            int samples = 101) {
  double worst = 0.0;
  for (int i = 0; i < samples; ++i) {
    const double u = lo + (hi - lo) * (i + 0.5) / samples;
    const auto pa = ref_eval(a, u), pb = ref_eval(b, u);
    worst = std::max(worst, std::hypot(pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]));
  }
  return worst;
}
inline double max_deviation(const BScurve &a, const BScurve &b) {
  return max_deviation(a, b, a.knots[a.order - 1], a.knots[a.num_poles]);
}
inline double library_deviation(const BScurve &a, const BScurve &b, double lo, double hi) {
  double worst = 0.0;
  for (int i = 0; i <= 97; ++i) {
    const double u = lo + (hi - lo) * i / 97;
    double pa[3], pb[3];
    BSrc ra, rb;
    BScveval(&a, u, 0, pa, &ra);
    BScveval(&b, u, 0, pb, &rb);
    if (ra != BSSUCC || rb != BSSUCC) return HUGE_VAL;
    worst = std::max(worst, std::hypot(pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]));
  }
  return worst;
}

// One ulp of |m|, and of the largest Cartesian pole coordinate of a curve: the unit
// for the rounding error of shape-preserving operations (evaluation stays within
// about 8k of them at order k).
inline double ulp_of(double m) {
  m = std::fabs(m);
  return std::nextafter(m, HUGE_VAL) - m;
}
inline double pole_ulp(const BScurve &cv) {
  double m = 0.0;
  for (int32_t i = 0; i < cv.num_poles; ++i)
    for (int c = 0; c < 3; ++c)
      m = std::max(m, std::fabs(cv.poles[3 * i + c] / (cv.rational ? cv.weights[i] : 1.0)));
  return ulp_of(m);
}

// Number of knots within 1e-12 of u.
inline int multiplicity(const BScurve &cv, double u) {
  int m = 0;
  for (int32_t i = 0; i < cv.num_knots; ++i) m += std::fabs(cv.knots[i] - u) < 1e-12;
  return m;
}

// ---- Long-double reference with derivatives ----------------------------------------

using LD = long double;

// Right-closed span (knots[s] < u <= knots[s+1]) and left-closed span
// (knots[s] <= u < knots[s+1]) by linear scans, clamped to the domain.
inline int span_right_closed(const RefCurve &c, double u) {
  const int k = c.k, n = c.n();
  if (u <= c.knots[k - 1]) return k - 1;
  if (u > c.knots[n]) return n - 1;
  for (int s = k - 1; s < n; ++s)
    if (c.knots[s] < u && u <= c.knots[s + 1]) return s;
  return -1;
}
inline int span_left_closed(const RefCurve &c, double u) {
  const int k = c.k, n = c.n();
  for (int s = k - 1; s < n; ++s)
    if (u < c.knots[s + 1]) return s;
  return n - 1;
}

inline LD ref_binom(int n, int i) {
  LD r = 1;
  for (int q = 1; q <= i; ++q) r = r * (n - i + q) / q;
  return r;
}

// Basis function derivatives of the polynomial piece of span s: N[j][i] for
// i = 0..k-1 (pole s-k+1+i), j = 0..d, by the Cox-de Boor recursion over the
// degree. With `absolute`, every term enters with its magnitude: the result
// bounds the rounding errors of any evaluation following the recursion.
inline std::vector<std::vector<LD>> ref_basis(const double *t, int k, int s, double u, int d,
                                              bool absolute = false) {
  const int p = k - 1;
  std::vector<std::vector<LD>> B(d + 1, std::vector<LD>(k, 0)), prev;
  B[0][0] = 1;
  for (int q = 1; q <= p; ++q) {
    prev = B;
    auto lower = [&](int j, int idx) -> LD { return (idx < 0 || idx > q - 1) ? 0 : prev[j][idx]; };
    for (int i = 0; i <= q; ++i) {
      const int g = s - q + i;
      const LD d1 = (LD)t[g + q] - t[g], d2 = (LD)t[g + q + 1] - t[g + 1];
      for (int j = 0; j <= d; ++j) {
        LD a = 0, b = 0;
        if (j == 0) {
          if (d1 != 0) a = ((LD)u - t[g]) / d1 * lower(0, i - 1);
          if (d2 != 0) b = ((LD)t[g + q + 1] - u) / d2 * lower(0, i);
        } else {
          if (d1 != 0) a = q * lower(j - 1, i - 1) / d1;
          if (d2 != 0) b = -q * lower(j - 1, i) / d2;
        }
        B[j][i] = absolute ? std::fabs(a) + std::fabs(b) : a + b;
      }
    }
  }
  return B;
}

struct RefDerivs {
  std::vector<LD> value;  // (d+1) x 3 Cartesian
  std::vector<LD> bound;  // (d+1): error scale of each derivative
  std::vector<LD> hom;    // (d+1) x 4 homogeneous
};

// Reference point and derivatives 0..d on span s, by the quotient rule.
inline RefDerivs ref_derivs(const RefCurve &c, int s, double u, int d) {
  const int p = c.k - 1;
  const auto N = ref_basis(c.knots.data(), c.k, s, u, d);
  const auto Nabs = ref_basis(c.knots.data(), c.k, s, u, d, true);
  RefDerivs r;
  r.value.assign(3 * (d + 1), 0);
  r.bound.assign(d + 1, 0);
  r.hom.assign(4 * (d + 1), 0);
  std::vector<LD> condA(d + 1, 0), condW(d + 1, 0);
  for (int j = 0; j <= d; ++j) {
    for (int i = 0; i <= p; ++i) {
      const int g = s - p + i;
      const LD w = c.rational() ? c.weights[g] : 1;
      LD mag = 0;
      for (int q = 0; q < 3; ++q) {
        r.hom[4 * j + q] += N[j][i] * (LD)c.poles[3 * g + q];
        mag = std::max(mag, std::fabs((LD)c.poles[3 * g + q]));
      }
      r.hom[4 * j + 3] += N[j][i] * w;
      condA[j] += Nabs[j][i] * mag;
      condW[j] += Nabs[j][i] * std::fabs(w);
    }
  }
  const LD w0 = r.hom[3];
  for (int j = 0; j <= d; ++j) {
    LD e = condA[j], cmag = 0, cj = 0;
    for (int q = 0; q < 3; ++q) {
      LD v = r.hom[4 * j + q];
      for (int i = 1; i <= j; ++i)
        v -= ref_binom(j, i) * r.hom[4 * i + 3] * r.value[3 * (j - i) + q];
      r.value[3 * j + q] = v / w0;
    }
    for (int i = 1; i <= j; ++i) {
      for (int q = 0; q < 3; ++q) cmag = std::max(cmag, std::fabs(r.value[3 * (j - i) + q]));
      e += ref_binom(j, i) * (condW[i] * cmag + std::fabs(r.hom[4 * i + 3]) * r.bound[j - i]);
    }
    for (int q = 0; q < 3; ++q) cj = std::max(cj, std::fabs(r.value[3 * j + q]));
    e += condW[0] * cj;
    r.bound[j] = e / std::fabs(w0);
  }
  return r;
}

}  // namespace kwtest

#endif
