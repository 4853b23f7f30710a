// Test curves in local storage and an independent reference evaluator: the
// Cox-de Boor recursion for the basis functions and their derivatives and the
// quotient rule, all in long double, with an error bound from the magnitudes of
// the terms (the condition of the evaluation).
#ifndef KNOTWORK_TESTS_BSPLINE_CURVE_FIXTURE_HPP
#define KNOTWORK_TESTS_BSPLINE_CURVE_FIXTURE_HPP

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "knotwork.h"

namespace kwtest {

using LD = long double;

// A curve whose arrays live in the test.
struct TestCurve {
  std::vector<double> poles, knots, weights;
  BScurve cv{};
  TestCurve() = default;
  TestCurve(int k, std::vector<double> p, std::vector<double> t, std::vector<double> w = {})
      : poles(std::move(p)), knots(std::move(t)), weights(std::move(w)) {
    cv.order = static_cast<int16_t>(k);
    cv.num_poles = static_cast<int32_t>(poles.size() / 3);
    cv.num_knots = static_cast<int32_t>(knots.size());
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.rational = weights.empty() ? 0 : 1;
    cv.weights = weights.empty() ? nullptr : weights.data();
  }
  TestCurve(const TestCurve &o) : TestCurve(o.cv.order, o.poles, o.knots, o.weights) {}
  int k() const { return cv.order; }
  int n() const { return cv.num_poles; }
  double lo() const { return knots[k() - 1]; }
  double hi() const { return knots[n()]; }
};

// Random curve: order k, n poles, clamped or not, with repeated interior knots;
// rational poles are stored weighted.
// The end spans of the domain are never empty.
inline TestCurve random_curve(std::mt19937_64 &rng, int k, int n, bool rational, bool clamped) {
  for (;;) {
    std::uniform_real_distribution<double> coord(-10.0, 10.0), weight(0.5, 2.0), step(0.2, 1.0);
    std::uniform_int_distribution<int> mult(1, k - 1), coin(0, 3);
    std::vector<double> t;
    double v = 0.0;
    if (clamped) {
      for (int i = 0; i < k; ++i) t.push_back(v);
    } else {
      t.push_back(v);
    }
    while (static_cast<int>(t.size()) < n + k) {
      v += step(rng);
      int m = (coin(rng) == 0) ? mult(rng) : 1;
      const int room = n - static_cast<int>(t.size());  // interior knots still to place
      if (clamped && room <= 0) break;
      if (clamped) m = std::min(m, room);
      for (int i = 0; i < m && static_cast<int>(t.size()) < n + k; ++i) t.push_back(v);
    }
    if (clamped) {
      v += step(rng);
      while (static_cast<int>(t.size()) < n + k) t.push_back(v);
    }
    std::vector<double> p(3 * n), w;
    for (double &c : p) c = coord(rng);
    if (rational) {
      w.resize(n);
      for (int i = 0; i < n; ++i) {
        w[i] = weight(rng);
        for (int c = 0; c < 3; ++c) p[3 * i + c] *= w[i];
      }
    }
    if (t[k] > t[k - 1] && t[n] > t[n - 1]) return TestCurve(k, p, t, w);
  }
}

// Right-closed span (knots[s] < u <= knots[s+1]) by a linear scan.
inline int ref_span_right_closed(const TestCurve &c, double u) {
  const int k = c.k(), n = c.n();
  if (u <= c.knots[k - 1]) return k - 1;
  if (u > c.knots[n]) return n - 1;
  for (int s = k - 1; s < n; ++s)
    if (c.knots[s] < u && u <= c.knots[s + 1]) return s;
  return -1;
}

// Left-closed span (knots[s] <= u < knots[s+1]) by a linear scan.
inline int ref_span_left_closed(const TestCurve &c, double u) {
  const int k = c.k(), n = c.n();
  if (u >= c.knots[n]) return n - 1;
  for (int s = k - 1; s < n; ++s)
    if (u < c.knots[s + 1]) return s;
  return n - 1;
}

struct RefEval {
  std::vector<LD> value;  // (d+1) x 3 Cartesian
  std::vector<LD> bound;  // (d+1): error scale of each derivative (sum of term magnitudes)
  std::vector<LD> hom;    // (d+1) x 4 homogeneous
};

inline LD ref_binom(int n, int i) {
  LD r = 1;
  for (int q = 1; q <= i; ++q) r = r * (n - i + q) / q;
  return r;
}

// Basis function derivatives of the polynomial piece of span s: N[j][i] for
// i = 0..p (pole s-p+i), j = 0..d, by the Cox-de Boor recursion over the degree.
// With absolute set, every term enters with its magnitude: the result bounds the
// rounding errors of any evaluation that follows the recursion (its condition).
inline std::vector<std::vector<LD>> ref_basis(const double *t, int k, int s, double u, int d,
                                              bool absolute = false) {
  const int p = k - 1;
  // B[q][j][i]: degree q, derivative j, function with global index s-q+i.
  std::vector<std::vector<std::vector<LD>>> B(
      p + 1, std::vector<std::vector<LD>>(d + 1, std::vector<LD>(p + 1, 0)));
  B[0][0][0] = 1;
  for (int q = 1; q <= p; ++q) {
    for (int i = 0; i <= q; ++i) {
      const int g = s - q + i;  // global index
      // N_{g,q} uses N_{g,q-1} (index i-1 at degree q-1) and N_{g+1,q-1} (index i).
      auto lower = [&](int j, int idx) -> LD {
        return (idx < 0 || idx > q - 1) ? 0 : B[q - 1][j][idx];
      };
      const LD d1 = (LD)t[g + q] - t[g], d2 = (LD)t[g + q + 1] - t[g + 1];
      for (int j = 0; j <= d; ++j) {
        LD v = 0;
        LD a = 0, b = 0;
        if (j == 0) {
          if (d1 != 0) a = ((LD)u - t[g]) / d1 * lower(0, i - 1);
          if (d2 != 0) b = ((LD)t[g + q + 1] - u) / d2 * lower(0, i);
        } else {
          if (d1 != 0) a = q * lower(j - 1, i - 1) / d1;
          if (d2 != 0) b = -q * lower(j - 1, i) / d2;
        }
        v = absolute ? std::fabs(a) + std::fabs(b) : a + b;
        B[q][j][i] = v;
      }
    }
  }
  return B[p];
}

// Reference point and derivatives 0..d on span s.
inline RefEval ref_eval(const TestCurve &c, int s, double u, int d) {
  const int k = c.k(), p = k - 1;
  const auto N = ref_basis(c.knots.data(), k, s, u, d);
  const auto Nabs = ref_basis(c.knots.data(), k, s, u, d, true);
  RefEval r;
  r.value.assign(3 * (d + 1), 0);
  r.bound.assign(d + 1, 0);
  r.hom.assign(4 * (d + 1), 0);
  std::vector<LD> condA(d + 1, 0), condW(d + 1, 0);
  for (int j = 0; j <= d; ++j) {
    for (int i = 0; i <= p; ++i) {
      const int g = s - p + i;
      const LD w = c.cv.rational ? c.weights[g] : 1;
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
    LD e = condA[j];
    for (int q = 0; q < 3; ++q) {
      LD v = r.hom[4 * j + q];
      for (int i = 1; i <= j; ++i)
        v -= ref_binom(j, i) * r.hom[4 * i + 3] * r.value[3 * (j - i) + q];
      r.value[3 * j + q] = v / w0;
    }
    LD cmag = 0;
    for (int i = 1; i <= j; ++i) {
      for (int q = 0; q < 3; ++q) cmag = std::max(cmag, std::fabs(r.value[3 * (j - i) + q]));
      e += ref_binom(j, i) * (condW[i] * cmag + std::fabs(r.hom[4 * i + 3]) * r.bound[j - i]);
    }
    LD cj = 0;
    for (int q = 0; q < 3; ++q) cj = std::max(cj, std::fabs(r.value[3 * j + q]));
    e += condW[0] * cj;
    r.bound[j] = e / std::fabs(w0);
  }
  return r;
}

}  // namespace kwtest

#endif
