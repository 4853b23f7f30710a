// Independent reference for the projection tests: curves evaluated by the Cox-de
// Boor recursion, the nearest point found by dense sampling and Newton refinement
// with central differences, and random curve generators (orders 2..8, rational or
// not, open or closed, with cusps and straight pieces).
#ifndef KNOTWORK_TESTS_QUERY_PROJECT_REFERENCE_HPP
#define KNOTWORK_TESTS_QUERY_PROJECT_REFERENCE_HPP

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "knotwork.h"

namespace projref {

// A curve owned by the test (vectors) with a BScurve view on it.
struct OwnedCurve {
  int order = 0;
  std::vector<double> poles;  // weighted when rational
  std::vector<double> knots;
  std::vector<double> weights;  // empty when polynomial
  bool closed = false;
  bool periodic = false;
  BScurve rec{};

  int num_poles() const { return static_cast<int>(poles.size() / 3); }
  BScurve *record() {
    rec = BScurve{};
    rec.order = static_cast<int16_t>(order);
    rec.periodic = periodic;
    rec.non_uniform = 1;
    rec.num_poles = num_poles();
    rec.poles = poles.data();
    rec.num_knots = static_cast<int32_t>(knots.size());
    rec.knots = knots.data();
    rec.rational = weights.empty() ? 0 : 1;
    rec.weights = weights.empty() ? nullptr : weights.data();
    rec.phy_closed = closed;
    return &rec;
  }
  double start() const { return knots[order - 1]; }
  double end() const { return knots[num_poles()]; }
};

// Point of the curve at u (u clamped into the domain): the k non-zero basis
// functions of the span by the triangular Cox-de Boor scheme (left and right
// differences), then the weighted sum of the homogeneous poles.
inline void point_at(const OwnedCurve &c, double u, double *out) {
  const int n = c.num_poles(), k = c.order, p = k - 1;
  u = std::clamp(u, c.start(), c.end());
  int s = k - 1;
  while (s < n - 1 && !(u < c.knots[s + 1])) ++s;
  double N[32], left[32], right[32];
  N[0] = 1.0;
  for (int j = 1; j <= p; ++j) {
    left[j] = u - c.knots[s + 1 - j];
    right[j] = c.knots[s + j] - u;
    double saved = 0.0;
    for (int r = 0; r < j; ++r) {
      const double tmp = N[r] / (right[r + 1] + left[j - r]);
      N[r] = saved + right[r + 1] * tmp;
      saved = left[j - r] * tmp;
    }
    N[j] = saved;
  }
  double h[4] = {0, 0, 0, 0};
  for (int r = 0; r <= p; ++r) {
    const int i = s - p + r;
    h[0] += N[r] * c.poles[3 * i];
    h[1] += N[r] * c.poles[3 * i + 1];
    h[2] += N[r] * c.poles[3 * i + 2];
    h[3] += N[r] * (c.weights.empty() ? 1.0 : c.weights[i]);
  }
  for (int d = 0; d < 3; ++d) out[d] = h[d] / h[3];
}

inline double dist_at(const OwnedCurve &c, double u, const double *p) {
  double q[3];
  point_at(c, u, q);
  return std::sqrt((q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) +
                   (q[2] - p[2]) * (q[2] - p[2]));
}

// Minimum distance by dense sampling (samples per span) and golden-section
// refinement around every sampled local minimum, and at every span end.
inline double brute_force_min(const OwnedCurve &c, const double *p, int per_span = 64,
                              double *best_u = nullptr) {
  const int n = c.num_poles(), k = c.order;
  std::vector<double> us;
  for (int s = k - 1; s < n; ++s) {
    const double a = c.knots[s], b = c.knots[s + 1];
    if (!(b > a)) continue;
    for (int j = 0; j < per_span; ++j) us.push_back(a + (b - a) * j / per_span);
  }
  us.push_back(c.end());
  std::vector<double> ds(us.size());
  for (size_t i = 0; i < us.size(); ++i) ds[i] = dist_at(c, us[i], p);
  double best = 1e300, bu = 0;
  for (size_t i = 0; i < us.size(); ++i) {
    if (ds[i] < best) best = ds[i], bu = us[i];
    const bool local = (i == 0 || ds[i] <= ds[i - 1]) && (i + 1 == us.size() || ds[i] <= ds[i + 1]);
    if (!local) continue;
    double lo = us[i > 0 ? i - 1 : 0], hi = us[i + 1 < us.size() ? i + 1 : i];
    // Golden section on [lo, hi].
    const double g = 0.5 * (std::sqrt(5.0) - 1.0);
    double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
    double f1 = dist_at(c, x1, p), f2 = dist_at(c, x2, p);
    for (int it = 0; it < 200 && hi - lo > 1e-16 * (1 + std::fabs(hi)); ++it) {
      if (f1 < f2) {
        hi = x2, x2 = x1, f2 = f1, x1 = hi - g * (hi - lo), f1 = dist_at(c, x1, p);
      } else {
        lo = x1, x1 = x2, f1 = f2, x2 = lo + g * (hi - lo), f2 = dist_at(c, x2, p);
      }
    }
    // Newton on the squared distance with central differences, from the best.
    double u = f1 < f2 ? x1 : x2;
    for (int it = 0; it < 20; ++it) {
      const double h = 1e-5 * (c.end() - c.start());
      const double g0 = std::pow(dist_at(c, u, p), 2), gp = std::pow(dist_at(c, u + h, p), 2),
                   gm = std::pow(dist_at(c, u - h, p), 2);
      const double d1 = (gp - gm) / (2 * h), d2 = (gp - 2 * g0 + gm) / (h * h);
      if (!(d2 > 0)) break;
      const double un =
          std::clamp(u - d1 / d2, us[i > 0 ? i - 1 : 0], us[i + 1 < us.size() ? i + 1 : i]);
      if (dist_at(c, un, p) >= dist_at(c, u, p)) break;
      u = un;
    }
    for (double cand : {x1, x2, u}) {
      const double d = dist_at(c, cand, p);
      if (d < best) best = d, bu = cand;
    }
  }
  if (best_u) *best_u = bu;
  return best;
}

// Size of a curve: the diagonal of its pole box.
inline double curve_size(const OwnedCurve &c) {
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
  for (int i = 0; i < c.num_poles(); ++i)
    for (int d = 0; d < 3; ++d) {
      const double w = c.weights.empty() ? 1.0 : c.weights[i];
      lo[d] = std::min(lo[d], c.poles[3 * i + d] / w);
      hi[d] = std::max(hi[d], c.poles[3 * i + d] / w);
    }
  return std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                   (hi[2] - lo[2]) * (hi[2] - lo[2]));
}

// Random clamped curve: order k, n poles; interior knots random with some repeated
// to multiplicity k - 1 (C0 corners, cusps when the neighbouring poles fold back);
// some pole runs made collinear (straight pieces); optional weights in [0.3, 3];
// closed curves repeat the first pole at the end.
inline OwnedCurve random_curve(std::mt19937_64 &rng, int k, int n, bool rational, bool closed,
                               double scale = 1.0, bool clamped = true) {
  std::uniform_real_distribution<double> U(-1.0, 1.0), W(0.3, 3.0), V(0.0, 1.0);
  OwnedCurve c;
  c.order = k;
  c.closed = closed;
  c.poles.resize(3 * n);
  for (int i = 0; i < n; ++i)
    for (int d = 0; d < 3; ++d) c.poles[3 * i + d] = scale * U(rng);
  // Straight runs: poles i..i+k-1 on a line.
  if (n >= k + 2 && V(rng) < 0.5) {
    const int i0 = static_cast<int>(V(rng) * (n - k));
    for (int j = 1; j < k; ++j)
      for (int d = 0; d < 3; ++d)
        c.poles[3 * (i0 + j) + d] =
            c.poles[3 * i0 + d] +
            (c.poles[3 * (i0 + k - 1) + d] - c.poles[3 * i0 + d]) * j / (k - 1.0);
  }
  // Cusps: a pole pair folded back on its neighbour.
  if (n >= 4 && V(rng) < 0.5) {
    const int i0 = 1 + static_cast<int>(V(rng) * (n - 3));
    for (int d = 0; d < 3; ++d) c.poles[3 * (i0 + 1) + d] = c.poles[3 * (i0 - 1) + d];
  }
  if (closed)
    for (int d = 0; d < 3; ++d) c.poles[3 * (n - 1) + d] = c.poles[d];
  std::vector<double> inner;
  for (int i = 0; i < n - k; ++i) inner.push_back(V(rng));
  std::sort(inner.begin(), inner.end());
  if (inner.size() >= static_cast<size_t>(k) && V(rng) < 0.5 && k > 2) {
    const int j = static_cast<int>(V(rng) * (inner.size() - (k - 2)));
    for (int m = 1; m < k - 1; ++m) inner[j + m] = inner[j];
  }
  const double a = U(rng) * 3, len = 0.5 + 2 * V(rng);
  if (clamped) {
    for (int i = 0; i < k; ++i) c.knots.push_back(a);
    for (double x : inner) c.knots.push_back(a + len * (0.02 + 0.96 * x));
    for (int i = 0; i < k; ++i) c.knots.push_back(a + len);
  } else {
    // Uniform, unclamped: the domain is [knots[k-1], knots[n]].
    for (int i = 0; i < n + k; ++i) c.knots.push_back(a + len * i / (n + k - 1.0));
  }
  if (rational) {
    c.weights.resize(n);
    for (int i = 0; i < n; ++i) c.weights[i] = W(rng);
    if (closed) c.weights[n - 1] = c.weights[0];
    for (int i = 0; i < n; ++i)
      for (int d = 0; d < 3; ++d) c.poles[3 * i + d] *= c.weights[i];
  }
  return c;
}

// A unit circle of radius r about centre as a rational quadratic with 9 poles
// (four quarter arcs), knots 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4.
inline OwnedCurve circle(const double *centre, double r) {
  OwnedCurve c;
  c.order = 3;
  c.closed = true;
  const double s = std::sqrt(0.5);
  const double xy[9][2] = {{1, 0},   {1, 1},  {0, 1},  {-1, 1}, {-1, 0},
                           {-1, -1}, {0, -1}, {1, -1}, {1, 0}};
  for (int i = 0; i < 9; ++i) {
    const double w = (i % 2) ? s : 1.0;
    c.weights.push_back(w);
    c.poles.push_back(w * (centre[0] + r * xy[i][0]));
    c.poles.push_back(w * (centre[1] + r * xy[i][1]));
    c.poles.push_back(w * centre[2]);
  }
  c.knots = {0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
  return c;
}

}  // namespace projref

#endif
