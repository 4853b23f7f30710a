// Random B-spline curves for tests and an independent reference evaluator: plain
// de Boor on homogeneous points, written without the library's kernels, so that a
// test compares the library against a separate computation.
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
    BScurve cv{};
    cv.order = static_cast<int16_t>(k);
    cv.periodic = periodic ? 1 : 0;
    cv.non_uniform = 1;
    cv.num_poles = n();
    cv.poles = poles.data();
    cv.num_knots = static_cast<int32_t>(knots.size());
    cv.knots = knots.data();
    cv.rational = rational() ? 1 : 0;
    cv.weights = rational() ? weights.data() : nullptr;
    cv.phy_closed = closed ? 1 : 0;
    return cv;
  }

  // Coordinate-major rows (3 rows of n, weighted, plus the weight row if rational).
  std::vector<double> rows() const {
    const int32_t m = n();
    std::vector<double> r((rational() ? 4 : 3) * m);
    for (int32_t i = 0; i < m; ++i) {
      for (int c = 0; c < 3; ++c) r[c * m + i] = poles[3 * i + c];
      if (rational()) r[3 * m + i] = weights[i];
    }
    return r;
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

}  // namespace kwtest

#endif
