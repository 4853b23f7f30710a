// Records with room for any circle or arc, random frames, and the dense check of a
// built circle or arc by the independent rational evaluator of ref_curves.hpp.
#ifndef KNOTWORK_TESTS_ARCS_ARC_FIXTURES_HPP
#define KNOTWORK_TESTS_ARCS_ARC_FIXTURES_HPP

#include <array>
#include <cmath>
#include <cstring>
#include <random>

#include "ref_curves.hpp"
#include "support.hpp"

namespace arctest {

using V3 = std::array<double, 3>;
constexpr double kTwoPi = 6.283185307179586;

inline V3 sub(const V3 &a, const V3 &b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
inline V3 axpy(const V3 &a, double s, const V3 &b) {
  return {a[0] + s * b[0], a[1] + s * b[1], a[2] + s * b[2]};
}
inline double dot(const V3 &a, const V3 &b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline V3 cross(const V3 &a, const V3 &b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double norm(const V3 &a) {
  return std::sqrt(dot(a, a));
}
inline V3 unit(const V3 &a) {
  const double l = norm(a);
  return {a[0] / l, a[1] / l, a[2] / l};
}

// A caller's record with arrays for 7 poles, filled with a recognisable value.
struct ArcRecord {
  double poles[21], knots[10], weights[7];
  BScurve cv{};
  ArcRecord() {
    for (double &p : poles) p = -77.0;
    for (double &t : knots) t = -77.0;
    for (double &w : weights) w = -77.0;
    cv.poles = poles;
    cv.knots = knots;
    cv.weights = weights;
    cv.order = -7;
  }
  bool untouched() const { return cv.order == -7 && poles[0] == -77.0 && knots[0] == -77.0; }
};

// Random centre, normal N and unit start direction U perpendicular to it.
struct Frame {
  V3 c, n, u, v;
};
inline Frame random_frame(std::mt19937_64 &rng, double scale) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  Frame f;
  f.c = {scale * d(rng), scale * d(rng), scale * d(rng)};
  f.n = unit({d(rng), d(rng), d(rng)});
  const V3 t = {d(rng), d(rng), d(rng)};
  f.u = unit(axpy(t, -dot(t, f.n), f.n));
  f.v = cross(f.n, f.u);
  return f;
}

// Angle of p about the centre, counterclockwise about n from u, in [0, 2 pi).
inline double angle_of(const Frame &f, const V3 &p) {
  const V3 d = sub(p, f.c);
  double a = std::atan2(dot(d, f.v), dot(d, f.u));
  return a < 0.0 ? a + kTwoPi : a;
}

// Dense check of a built arc of radius r, start direction f.u, sweep `sweep`
// counterclockwise about f.n: every sample on the circle and in its plane to 1e-12
// relative, angles non-decreasing from 0 to the sweep, weights positive, the record
// header of a quadratic rational arc with the right piece count.
inline void expect_arc(const BScurve &cv, const Frame &f, double r, double sweep) {
  const int pieces = sweep <= 2.0943951023932175 ? 1 : sweep <= 4.188790204786413 ? 2 : 3;
  ASSERT_EQ(cv.order, 3);
  ASSERT_EQ(cv.num_poles, 2 * pieces + 1);
  EXPECT_EQ(cv.num_knots, 2 * pieces + 4);
  EXPECT_TRUE(cv.rational && cv.planar && !cv.periodic && cv.non_uniform);
  EXPECT_EQ(cv.num_boundaries, 0);
  for (int i = 0; i < cv.num_poles; ++i) EXPECT_GT(cv.weights[i], 0.0);
  const double tol = 1e-12 * (r + norm(f.c));
  double last = -1.0;
  for (int i = 0; i <= 400; ++i) {
    const double u = i / 400.0;
    const std::array<double, 3> p = kwtest::ref_eval(cv, u);
    const V3 d = sub({p[0], p[1], p[2]}, f.c);
    ASSERT_NEAR(norm(d), r, tol) << "u " << u;
    ASSERT_NEAR(dot(d, f.n), 0.0, tol) << "u " << u;
    double a = angle_of(f, {p[0], p[1], p[2]});
    if (i == 0 && a > 3.0) a -= kTwoPi;
    if (i == 400 && a < 1e-6 && sweep > 3.0) a += kTwoPi;
    ASSERT_GE(a, last - 1e-12) << "u " << u;
    last = a;
  }
  EXPECT_NEAR(last, sweep, 1e-11 * (1.0 + (norm(f.c) / r)));
}

}  // namespace arctest

#endif
