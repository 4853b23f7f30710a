// Tests of the nearest-point routines: one Bezier piece, the spline search, the
// curve-record front ends, all nearest parameters, Newton projection and the
// on-curve test, against an independent brute-force reference.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "knotwork.h"
#include "project_reference.hpp"
#include "query/project.hpp"
#include "support.hpp"

using projref::OwnedCurve;

namespace {

constexpr double kBig = 1.7976931348623157e308;

// A single Bezier piece as an OwnedCurve (clamped knots 0..1) from its poles.
OwnedCurve bezier_curve(const std::vector<double> &pts, const std::vector<double> &w = {}) {
  OwnedCurve c;
  const int n = static_cast<int>(pts.size() / 3);
  c.order = n;
  c.poles = pts;
  c.weights = w;
  if (!w.empty())
    for (int i = 0; i < n; ++i)
      for (int d = 0; d < 3; ++d) c.poles[3 * i + d] *= w[i];
  for (int i = 0; i < n; ++i) c.knots.push_back(0.0);
  for (int i = 0; i < n; ++i) c.knots.push_back(1.0);
  return c;
}

// Coordinate-major rows of a single-piece curve (weighted coordinates, weights).
std::vector<double> piece_rows(const OwnedCurve &c) {
  const int n = c.num_poles();
  std::vector<double> rows;
  for (int d = 0; d < 3; ++d)
    for (int i = 0; i < n; ++i) rows.push_back(c.poles[3 * i + d]);
  for (double w : c.weights) rows.push_back(w);
  return rows;
}

}  // namespace

// ---- BSmdptbezcv -------------------------------------------------------------------

TEST(BSmdptbezcv, RandomPiecesMatchBruteForce) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  int checked = 0;
  for (int trial = 0; trial < 600; ++trial) {
    const int k = 2 + trial % 15;
    const bool rational = (trial / 15) % 2 == 1;
    std::vector<double> pts(3 * k), w;
    for (double &x : pts) x = U(rng);
    if (rational)
      for (int i = 0; i < k; ++i) w.push_back(0.3 + 2.7 * (0.5 + 0.5 * U(rng)));
    const OwnedCurve c = bezier_curve(pts, w);
    const std::vector<double> rows = piece_rows(c);
    const double far = trial % 3 == 0 ? 10.0 : 1.0;
    const double p[3] = {far * U(rng), far * U(rng), far * U(rng)};
    double dist = 0, foot[3], t = -1;
    BSrc rc = 99;
    BSmdptbezcv(k - 1, 3, rational, rows.data(), p, 1e-6, kBig, &dist, foot, &t, &rc);
    ASSERT_EQ(rc, BSSUCC);
    const double ref = projref::brute_force_min(c, p, 96);
    EXPECT_LE(dist, ref + 1e-12) << "trial " << trial;
    double q[3];
    projref::point_at(c, t, q);
    EXPECT_NEAR(std::hypot(q[0] - foot[0], q[1] - foot[1], q[2] - foot[2]), 0.0, 1e-13);
    EXPECT_NEAR(dist, std::hypot(p[0] - foot[0], p[1] - foot[1], p[2] - foot[2]), 1e-14 * (1 + dist));
    ++checked;
  }
  EXPECT_EQ(checked, 600);
}

TEST(BSmdptbezcv, SeventeenPolesFailWithStatus50) {
  std::vector<double> rows(3 * 17, 0.0);
  const double p[3] = {0, 0, 0};
  double dist = 0, foot[3], t = 0;
  BSrc rc = 0;
  BSmdptbezcv(16, 3, FALSE, rows.data(), p, 1e-6, kBig, &dist, foot, &t, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
}

// ---- BSmdstptcv / BSmdstptscv ------------------------------------------------------

namespace {

// Checks one projection against the reference: distance not above the brute-force
// minimum by more than 1e-9 of the curve size, foot = C(param) and |P - foot| = dist.
void expect_nearest(OwnedCurve &c, const double *p, double u, const double *foot, double dist,
                    const char *what, int trial) {
  const double size = std::max(projref::curve_size(c), 1e-300);
  const double ref = projref::brute_force_min(c, p, 48);
  EXPECT_LE(dist, ref + 1e-9 * size) << what << " trial " << trial << " ref " << ref;
  EXPECT_GE(u, c.start()) << what << " trial " << trial;
  EXPECT_LE(u, c.end()) << what << " trial " << trial;
  double q[3];
  projref::point_at(c, u, q);
  EXPECT_LE(std::hypot(q[0] - foot[0], q[1] - foot[1], q[2] - foot[2]), 1e-12 * (1 + size))
      << what << " trial " << trial;
  EXPECT_NEAR(dist, std::hypot(p[0] - foot[0], p[1] - foot[1], p[2] - foot[2]),
              1e-14 * (1 + dist))
      << what << " trial " << trial;
}

}  // namespace

TEST(BSmdstptcv, RandomCurvesMatchBruteForce) {
  std::mt19937_64 rng(2026);
  std::uniform_real_distribution<double> U(-1.0, 1.0), V(0.0, 1.0);
  for (int trial = 0; trial < 400; ++trial) {
    const int k = 2 + trial % 7;
    const int n = k + static_cast<int>(V(rng) * (trial % 10 == 0 ? 200 - k : 20));
    const bool rational = trial % 2 == 1;
    const bool closed = trial % 3 == 0;
    const double scale = trial % 4 == 0 ? 1000.0 : (trial % 4 == 1 ? 1e-3 : 1.0);
    OwnedCurve c = projref::random_curve(rng, k, n, rational, closed, scale);
    for (int j = 0; j < 3; ++j) {
      const double reach = j == 0 ? 0.2 : (j == 1 ? 1.5 : 20.0);
      const double p[3] = {scale * reach * U(rng), scale * reach * U(rng), scale * reach * U(rng)};
      double u = 0, foot[3], dist = 0;
      BSrc rc = 99;
      BSmdstptcv(c.record(), p, &u, foot, &dist, &rc);
      ASSERT_EQ(rc, BSSUCC) << "trial " << trial;
      expect_nearest(c, p, u, foot, dist, "BSmdstptcv", trial);
      if (closed) {
        EXPECT_NE(u, c.end()) << "closed curve answered with its end, trial " << trial;
      }
    }
  }
}

TEST(BSmdstptscv, PolylineOfPointsMatchesSinglePointCalls) {
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int trial = 0; trial < 40; ++trial) {
    const int k = 2 + trial % 5;
    OwnedCurve c = projref::random_curve(rng, k, k + 10 + trial, trial % 2 == 1, false);
    // Points along a polyline near the curve, plus a few jumps far away.
    std::vector<double> pts;
    for (int i = 0; i < 60; ++i) {
      double q[3];
      projref::point_at(c, c.start() + (c.end() - c.start()) * i / 59.0, q);
      const double off = i % 17 == 5 ? 3.0 : 0.05;
      for (int d = 0; d < 3; ++d) pts.push_back(q[d] + off * U(rng));
    }
    const int np = static_cast<int>(pts.size() / 3);
    std::vector<double> us(np), feet(3 * np), dists(np);
    BSboolean all_near = 7;
    BSrc rc = 99;
    BSmdstptscv(np, pts.data(), c.record(), us.data(), feet.data(), dists.data(), &all_near, &rc);
    ASSERT_EQ(rc, BSSUCC);
    bool near = true;
    for (int i = 0; i < np; ++i) {
      expect_nearest(c, &pts[3 * i], us[i], &feet[3 * i], dists[i], "BSmdstptscv", trial);
      near = near && dists[i] <= 2 * BSparameters.chrdht_tol;
    }
    EXPECT_EQ(all_near, near ? 1 : 0);
  }
}
