// Test helpers for insertion and splitting (namespace kwins, apart from the
// evaluation fixtures): random curves held in owning test
// records, and an evaluator written independently of the library (Cox-de Boor
// basis functions, homogeneous sum) to check that a curve keeps its shape.
#ifndef KNOTWORK_TESTS_BSPLINE_INSERT_SUPPORT_HPP
#define KNOTWORK_TESTS_BSPLINE_INSERT_SUPPORT_HPP

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "knotwork.h"

namespace kwins {

// A curve record that owns its arrays (std::vector storage) with spare room.
struct TestCurve {
  std::vector<double> poles, knots, weights, bdrys;
  BScurve cv{};

  TestCurve() = default;
  TestCurve(const TestCurve &o) { *this = o; }
  TestCurve &operator=(const TestCurve &o) {
    poles = o.poles;
    knots = o.knots;
    weights = o.weights;
    bdrys = o.bdrys;
    cv = o.cv;
    bind();
    return *this;
  }
  // Points the record at the vectors.
  void bind() {
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.weights = cv.rational ? weights.data() : nullptr;
    cv.bdrys = bdrys.empty() ? nullptr : bdrys.data();
  }
  // Makes room for `extra` more poles (and knots).
  void reserve(int extra) {
    poles.resize(3 * (cv.num_poles + extra));
    knots.resize(cv.num_knots + extra);
    if (cv.rational) weights.resize(cv.num_poles + extra);
    bind();
  }
};

inline TestCurve make_curve(int k, std::vector<double> knots, std::vector<double> poles,
                            std::vector<double> weights = {}) {
  TestCurve t;
  t.knots = std::move(knots);
  t.poles = std::move(poles);
  t.weights = std::move(weights);
  t.cv.order = static_cast<int16_t>(k);
  t.cv.num_poles = static_cast<int32_t>(t.poles.size() / 3);
  t.cv.num_knots = static_cast<int32_t>(t.knots.size());
  t.cv.rational = t.weights.empty() ? 0 : 1;
  t.cv.non_uniform = 1;
  t.bind();
  return t;
}

// Random curve: order k, n poles; interior knots random with some repeated up to
// max_mult; clamped or unclamped ends; rational with weights in [0.5, 2] or not.
// Poles are stored weighted.
inline TestCurve random_curve(std::mt19937 &rng, int k, int n, bool rational, bool clamped,
                              int max_mult = -1) {
  if (max_mult < 1) max_mult = std::max(k - 1, 1);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  std::vector<double> knots;
  const int nk = n + k;
  if (clamped) {
    for (int i = 0; i < k; ++i) knots.push_back(0.0);
  } else {
    for (int i = 0; i < k; ++i) knots.push_back(-0.1 * (k - 1 - i) - 0.05 * uni(rng) * (i < k - 1));
  }
  std::vector<double> interior;
  while (static_cast<int>(interior.size()) < n - k) {
    const double v = 0.02 + 0.96 * uni(rng);
    int mult = 1;
    if (max_mult > 1 && uni(rng) < 0.25) mult = 1 + static_cast<int>(uni(rng) * max_mult);
    mult = std::min<int>({mult, max_mult, n - k - static_cast<int>(interior.size())});
    for (int q = 0; q < mult; ++q) interior.push_back(v);
  }
  std::sort(interior.begin(), interior.end());
  knots.insert(knots.end(), interior.begin(), interior.end());
  if (clamped) {
    for (int i = 0; i < k; ++i) knots.push_back(1.0);
  } else {
    for (int i = 0; i < k; ++i) knots.push_back(1.0 + 0.1 * i + 0.05 * uni(rng) * (i > 0));
  }
  (void)nk;
  std::vector<double> poles(3 * n), weights;
  for (double &v : poles) v = 4.0 * uni(rng) - 2.0;
  if (rational) {
    weights.resize(n);
    for (int i = 0; i < n; ++i) {
      weights[i] = 0.5 + 1.5 * uni(rng);
      for (int c = 0; c < 3; ++c) poles[3 * i + c] *= weights[i];
    }
  }
  TestCurve t = make_curve(k, knots, poles, weights);
  t.cv.periodic = clamped ? 0 : 1;
  return t;
}

// Cox-de Boor: values of the k basis functions of span s at u.
inline void basis_functions(int k, const double *t, int s, double u, double *N) {
  std::vector<double> left(k), right(k);
  N[0] = 1.0;
  for (int j = 1; j < k; ++j) {
    left[j] = u - t[s + 1 - j];
    right[j] = t[s + j] - u;
    double saved = 0.0;
    for (int r = 0; r < j; ++r) {
      const double tmp = N[r] / (right[r + 1] + left[j - r]);
      N[r] = saved + right[r + 1] * tmp;
      saved = left[j - r] * tmp;
    }
    N[j] = saved;
  }
}

// Point of a record at u (u inside the domain; an interior knot takes the span on
// its left, as the library's evaluator does).
inline std::array<double, 3> eval_point(const BScurve &cv, double u) {
  const int k = cv.order, n = cv.num_poles;
  const double *t = cv.knots;
  int s = k - 1;
  while (s < n - 1 && t[s + 1] < u) ++s;
  std::vector<double> N(k);
  basis_functions(k, t, s, u, N.data());
  double h[4] = {0, 0, 0, 0};
  for (int i = 0; i < k; ++i) {
    const int pi = s - k + 1 + i;
    for (int c = 0; c < 3; ++c) h[c] += N[i] * cv.poles[3 * pi + c];
    h[3] += N[i] * (cv.rational ? cv.weights[pi] : 1.0);
  }
  return {h[0] / h[3], h[1] / h[3], h[2] / h[3]};
}

inline double domain_start(const BScurve &cv) {
  return cv.knots[cv.order - 1];
}
inline double domain_end(const BScurve &cv) {
  return cv.knots[cv.num_poles];
}

// Largest distance between a and b at `samples` parameters spread over [lo, hi]
// (both curves evaluated at the same parameters).
inline double max_deviation(const BScurve &a, const BScurve &b, double lo, double hi,
                            int samples = 101) {
  double worst = 0.0;
  for (int i = 0; i < samples; ++i) {
    const double u = lo + (hi - lo) * (i + 0.5) / samples;
    const auto pa = eval_point(a, u), pb = eval_point(b, u);
    worst = std::max(worst, std::hypot(pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]));
  }
  return worst;
}

inline double max_deviation(const BScurve &a, const BScurve &b) {
  return max_deviation(a, b, domain_start(a), domain_end(a));
}

// The same with the library's evaluator (BScveval), including both ends.
inline double library_deviation(const BScurve &a, const BScurve &b, double lo, double hi,
                                int samples = 97) {
  double worst = 0.0;
  for (int i = 0; i <= samples; ++i) {
    const double u = lo + (hi - lo) * i / samples;
    double pa[3], pb[3];
    BSrc ra, rb;
    BScveval(&a, u, 0, pa, &ra);
    BScveval(&b, u, 0, pb, &rb);
    if (ra != BSSUCC || rb != BSSUCC) return HUGE_VAL;
    worst = std::max(worst, std::hypot(pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]));
  }
  return worst;
}

// Number of knots within 1e-12 of u.
inline int multiplicity(const BScurve &cv, double u) {
  int m = 0;
  for (int i = 0; i < cv.num_knots; ++i) m += std::fabs(cv.knots[i] - u) < 1e-12;
  return m;
}

}  // namespace kwins

#endif
