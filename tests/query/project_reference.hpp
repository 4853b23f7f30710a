// Independent reference for the projection tests: the nearest point of a curve by
// dense sampling with golden-section and Newton refinement (points from the
// reference de Boor evaluator), and random curves with cusps, straight runs,
// closed ends and unclamped knots.
#ifndef KNOTWORK_TESTS_QUERY_PROJECT_REFERENCE_HPP
#define KNOTWORK_TESTS_QUERY_PROJECT_REFERENCE_HPP

#include <gtest/gtest.h>

#include "ref_curves.hpp"

namespace projref {

using kwtest::RefCurve;

// Distance from p to the curve point at u (u clamped into the domain).
inline double dist_at(const RefCurve &c, double u, const double *p) {
  const auto q = kwtest::ref_eval(c, std::clamp(u, c.lo(), c.hi()));
  return std::hypot(q[0] - p[0], q[1] - p[1], q[2] - p[2]);
}

// Minimum distance by sampling per_span points a span, then golden section and a
// Newton polish (central differences) around every sampled local minimum.
inline double brute_force_min(const RefCurve &c, const double *p, int per_span = 64) {
  std::vector<double> us;
  for (int s = c.k - 1; s < c.n(); ++s)
    for (int j = 0; j < per_span && c.knots[s + 1] > c.knots[s]; ++j)
      us.push_back(c.knots[s] + (c.knots[s + 1] - c.knots[s]) * j / per_span);
  us.push_back(c.hi());
  const size_t m = us.size();
  std::vector<double> ds(m);
  for (size_t i = 0; i < m; ++i) ds[i] = dist_at(c, us[i], p);
  double best = *std::min_element(ds.begin(), ds.end());
  const double g = 0.5 * (std::sqrt(5.0) - 1.0), h = 1e-5 * (c.hi() - c.lo());
  auto sq = [&](double u) { return std::pow(dist_at(c, u, p), 2); };
  for (size_t i = 0; i < m; ++i) {
    if ((i > 0 && ds[i] > ds[i - 1]) || (i + 1 < m && ds[i] > ds[i + 1])) continue;
    const double a = us[i > 0 ? i - 1 : 0], b = us[i + 1 < m ? i + 1 : i];
    double lo = a, hi = b, x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
    double f1 = dist_at(c, x1, p), f2 = dist_at(c, x2, p);
    for (int it = 0; it < 200 && hi - lo > 1e-16 * (1 + std::fabs(hi)); ++it) {
      if (f1 < f2)
        hi = x2, x2 = x1, f2 = f1, x1 = hi - g * (hi - lo), f1 = dist_at(c, x1, p);
      else
        lo = x1, x1 = x2, f1 = f2, x2 = lo + g * (hi - lo), f2 = dist_at(c, x2, p);
    }
    double u = f1 < f2 ? x1 : x2;
    for (int it = 0; it < 20; ++it) {
      const double g0 = sq(u), gp = sq(u + h), gm = sq(u - h), d2 = (gp - 2 * g0 + gm) / (h * h);
      if (!(d2 > 0)) break;
      const double un = std::clamp(u - (gp - gm) / (2 * h) / d2, a, b);
      if (dist_at(c, un, p) >= dist_at(c, u, p)) break;
      u = un;
    }
    best = std::min({best, f1, f2, dist_at(c, u, p)});
  }
  return best;
}

// Size of a curve: the diagonal of its (unweighted) pole box.
inline double curve_size(const RefCurve &c) {
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
  for (int i = 0; i < c.n(); ++i)
    for (int d = 0; d < 3; ++d) {
      const double x = c.poles[3 * i + d] / (c.rational() ? c.weights[i] : 1.0);
      lo[d] = std::min(lo[d], x), hi[d] = std::max(hi[d], x);
    }
  return std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
}

// Random curve of order k with n poles: some pole runs collinear (straight pieces),
// a pole pair folded back (cusp), interior knots repeated to multiplicity k - 1,
// weights in [0.3, 3]; closed curves repeat the first pole at the end; unclamped
// curves have uniform knots and the domain [knots[k-1], knots[n]].
inline RefCurve random_curve(std::mt19937_64 &rng, int k, int n, bool rational, bool closed,
                             double scale = 1.0, bool clamped = true) {
  std::uniform_real_distribution<double> U(-1.0, 1.0), W(0.3, 3.0), V(0.0, 1.0);
  RefCurve c;
  c.k = k;
  c.closed = closed;
  c.poles.resize(3 * n);
  for (double &x : c.poles) x = scale * U(rng);
  double *P = c.poles.data();
  if (n >= k + 2 && V(rng) < 0.5) {
    const int i0 = static_cast<int>(V(rng) * (n - k));
    for (int j = 1; j < k; ++j)
      for (int d = 0; d < 3; ++d)
        P[3 * (i0 + j) + d] =
            P[3 * i0 + d] + (P[3 * (i0 + k - 1) + d] - P[3 * i0 + d]) * j / (k - 1.0);
  }
  if (n >= 4 && V(rng) < 0.5) {
    const int i0 = 1 + static_cast<int>(V(rng) * (n - 3));
    for (int d = 0; d < 3; ++d) P[3 * (i0 + 1) + d] = P[3 * (i0 - 1) + d];
  }
  if (closed)
    for (int d = 0; d < 3; ++d) P[3 * (n - 1) + d] = P[d];
  std::vector<double> inner(n - k);
  for (double &x : inner) x = V(rng);
  std::sort(inner.begin(), inner.end());
  if (inner.size() >= static_cast<size_t>(k) && V(rng) < 0.5 && k > 2) {
    const int j = static_cast<int>(V(rng) * (inner.size() - (k - 2)));
    for (int m = 1; m < k - 1; ++m) inner[j + m] = inner[j];
  }
  const double a = U(rng) * 3, len = 0.5 + 2 * V(rng);
  if (clamped) {
    c.knots.assign(k, a);
    for (double x : inner) c.knots.push_back(a + len * (0.02 + 0.96 * x));
    c.knots.insert(c.knots.end(), k, a + len);
  } else {
    for (int i = 0; i < n + k; ++i) c.knots.push_back(a + len * i / (n + k - 1.0));
  }
  if (rational) {
    c.weights.resize(n);
    for (double &w : c.weights) w = W(rng);
    if (closed) c.weights[n - 1] = c.weights[0];
    for (int i = 0; i < n; ++i)
      for (int d = 0; d < 3; ++d) P[3 * i + d] *= c.weights[i];
  }
  return c;
}

inline double dist3(const double *a, const double *b) {
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

struct Foot {
  double u = 0, foot[3] = {0, 0, 0}, dist = 0;
  BSrc rc = 99;
};

inline Foot nearest(RefCurve &c, const double *p) {
  BScurve cv = c.view();
  Foot f;
  BSmdstptcv(&cv, p, &f.u, f.foot, &f.dist, &f.rc);
  return f;
}

// One projection against the reference: distance at most the brute-force minimum
// plus 1e-9 of the curve size (and the end snap's dist_tol / 2), parameter in the domain, foot =
// C(u), dist = |P - foot|; a closed curve never answers with its end parameter.
inline void expect_nearest(const RefCurve &c, const double *p, const Foot &f, int trial,
                           int per_span = 48) {
  const double size = std::max(curve_size(c), 1e-300);
  EXPECT_LE(f.dist, brute_force_min(c, p, per_span) + 1e-9 * size + 0.5 * BSparameters.dist_tol)
      << "trial " << trial;
  EXPECT_TRUE(f.u >= c.lo() && f.u <= c.hi()) << "trial " << trial;
  const auto q = kwtest::ref_eval(c, f.u);
  EXPECT_LE(dist3(q.data(), f.foot), 1e-12 * (1 + size)) << "trial " << trial;
  EXPECT_NEAR(f.dist, dist3(p, f.foot), 1e-14 * (1 + f.dist)) << "trial " << trial;
  EXPECT_FALSE(c.closed && f.u == c.hi()) << "closed curve answered with its end, trial " << trial;
}

}  // namespace projref

#endif
