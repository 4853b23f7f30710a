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

// ---- Cases with known answers --------------------------------------------------------

namespace {

// A straight cubic from (0,0,0) to (1,0,0) with evenly spaced poles (unit speed).
OwnedCurve straight_cubic() {
  return bezier_curve({0, 0, 0, 1.0 / 3, 0, 0, 2.0 / 3, 0, 0, 1, 0, 0});
}

}  // namespace

TEST(BSmdstptscv, PointOnCurveHasDistanceZeroAndFlagTrue) {
  std::mt19937_64 rng(5);
  OwnedCurve c = projref::random_curve(rng, 4, 12, true, false);
  double p[3];
  const double u0 = c.start() + 0.37 * (c.end() - c.start());
  projref::point_at(c, u0, p);
  double u = 0, foot[3], dist = 1;
  BSboolean near = 0;
  BSrc rc = 99;
  BSmdstptscv(1, p, c.record(), &u, foot, &dist, &near, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_LE(dist, 1e-14);
  EXPECT_NEAR(u, u0, 1e-9);
  EXPECT_EQ(near, TRUE);
}

TEST(BSmdstptcv, PointBeyondAnEndGetsTheExactEndParameter) {
  OwnedCurve c = straight_cubic();
  for (const double p : {1.5, 1.0 + 1e-9}) {
    const double pt[3] = {p, 0.3, 0.0};
    double u = 0, foot[3], dist = 0;
    BSrc rc = 99;
    BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_EQ(u, 1.0);
    EXPECT_EQ(foot[0], 1.0);
    EXPECT_EQ(foot[1], 0.0);
  }
  // Exactly on the tangent line behind the start: the start itself, exactly.
  const double pt[3] = {-2.0, 0.0, 0.0};
  double u = 1, foot[3], dist = 0;
  BSrc rc = 99;
  BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(u, 0.0);
  EXPECT_EQ(dist, 2.0);
}

// The end snap must not make the answer worse: here the end is only 4.2e-7 (less
// than dist_tol / 2) farther than the interior foot at t = 0.005, which is nearer.
TEST(BSmdstptcv, EndSnapNeverMakesTheDistanceWorse) {
  OwnedCurve c = straight_cubic();
  const double pt[3] = {0.005, 30.0, 0.0};
  double u = 0, foot[3], dist = 0;
  BSrc rc = 99;
  BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(u, 0.005, 1e-12);
  EXPECT_NEAR(dist, 30.0, 1e-12);
  EXPECT_LT(dist, std::hypot(0.005, 30.0) - 4e-7);
}

TEST(BSmdstptcv, ClosedCurveJointAnswersWithTheStartAndItsFootPoint) {
  const double centre[3] = {0, 0, 0};
  OwnedCurve c = projref::circle(centre, 1.0);
  // Just below the x axis: the nearest parameter is within the knot tolerance of
  // the end 4; it becomes the start 0, and the foot point moves with it.
  for (const double y : {0.0, -1e-13, 1e-13}) {
    const double pt[3] = {2.0, y, 0.0};
    double u = 1, foot[3], dist = 0;
    BSrc rc = 99;
    BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_EQ(u, 0.0) << y;
    EXPECT_EQ(foot[0], 1.0);
    EXPECT_EQ(foot[1], 0.0);
    EXPECT_NEAR(dist, std::hypot(1.0, y), 1e-15);
  }
}

// Near the centre of a large arc the squared distance hardly changes along the
// curve: the search must still find the true foot (direction of P - centre).
TEST(BSmdstptcv, FlatDistanceNearCentreOfCurvatureStillFindsTheFoot) {
  const double centre[3] = {0, 0, 0};
  OwnedCurve c = projref::circle(centre, 1000.0);
  const double pt[3] = {1e-3 * std::cos(0.3), 1e-3 * std::sin(0.3), 0.0};
  double u = 0, foot[3], dist = 0;
  BSrc rc = 99;
  BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(foot[0], 1000.0 * std::cos(0.3), 1e-6);
  EXPECT_NEAR(foot[1], 1000.0 * std::sin(0.3), 1e-6);
  EXPECT_NEAR(dist, 1000.0 - 1e-3, 1e-9);
}

// A cubic that runs out along the x axis and doubles back: sub-pieces around the
// turn look flat (collinear poles) but their chords stop short of the tip.
TEST(BSmdstptcv, PieceThatDoublesBackIsNotReplacedByItsChord) {
  OwnedCurve c = bezier_curve({0, 0, 0, 4, 0, 0, 2, 0, 0, 0, 0, 0});
  // x(t) = 6 t (1 - t) (2 - t): its maximum is at t = 1 - 1/sqrt(3).
  const double tm = 1.0 - 1.0 / std::sqrt(3.0);
  const double xmax = 6 * tm * (1 - tm) * (2 - tm);
  const double pt[3] = {5.0, 1e-3, 0.0};
  double u = 0, foot[3], dist = 0;
  BSrc rc = 99;
  BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(u, tm, 1e-7);
  EXPECT_NEAR(dist, std::hypot(5.0 - xmax, 1e-3), 1e-12);
}

// A curve smaller than the fixed working tolerance 0.001 with two nearly equal
// local minima: the answer must still be the better one to 1e-9 of the size.
TEST(BSmdstptcv, CurveSmallerThanTheWorkingToleranceIsStillExact) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int trial = 0; trial < 50; ++trial) {
    OwnedCurve c = projref::random_curve(rng, 4, 9, trial % 2 == 1, false, 1e-5);
    const double pt[3] = {2e-5 * U(rng), 2e-5 * U(rng), 2e-5 * U(rng)};
    double u = 0, foot[3], dist = 0;
    BSrc rc = 99;
    BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
    ASSERT_EQ(rc, BSSUCC);
    expect_nearest(c, pt, u, foot, dist, "small", trial);
  }
}

TEST(BSmdstptcv, FailureStatuses) {
  OwnedCurve c = straight_cubic();
  const double pt[3] = {0, 1, 0};
  double u = 0, foot[3], dist = 0;
  BSrc rc = 0;
  BSmdstptcv(nullptr, pt, &u, foot, &dist, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  BScurve bad = *c.record();
  bad.order = 1;
  BSmdstptcv(&bad, pt, &u, foot, &dist, &rc);
  EXPECT_EQ(rc, BSINARG);
  bad = *c.record();
  bad.num_poles = 3;
  BSmdstptcv(&bad, pt, &u, foot, &dist, &rc);
  EXPECT_EQ(rc, BSINARG);
  bad = *c.record();
  bad.rational = 1;
  bad.weights = nullptr;
  BSmdstptcv(&bad, pt, &u, foot, &dist, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  // Order 17: pieces of 17 poles are refused with 50.
  std::vector<double> poles(3 * 17), knots(34);
  for (int i = 0; i < 17; ++i) poles[3 * i] = i, knots[i] = 0, knots[17 + i] = 1;
  BScurve big{};
  big.order = 17;
  big.num_poles = 17;
  big.poles = poles.data();
  big.num_knots = 34;
  big.knots = knots.data();
  BSmdstptcv(&big, pt, &u, foot, &dist, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  BSboolean flag;
  BSmdstptscv(-1, pt, c.record(), &u, foot, &dist, &flag, &rc);
  EXPECT_EQ(rc, BSINARG);
  // The trace names the failing operation.
  BSdbginit();
  BSmdstptcv(nullptr, pt, &u, foot, &dist, &rc);
  const std::string trace = kwtest::capture_stdout([] { BSdbgprint(stdout); });
  EXPECT_NE(trace.find("error in BSmdstptcv, rc = 3"), std::string::npos) << trace;
}

TEST(BSmdptsbscv, ArgumentStatuses) {
  const double rows[8] = {0, 1, 0, 0, 0, 0, 0, 0};
  const double knots[4] = {0, 0, 1, 1};
  const double pt[4] = {0, 0, 0, 0};
  double d, f[4], u;
  BSrc rc = 0;
  BSmdptsbscv(1, 2, 4, FALSE, rows, knots, 1, pt, 1e-6, &d, f, &u, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSmdptsbscv(1, 1, 2, FALSE, rows, knots, 1, pt, 1e-6, &d, f, &u, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSmdptsbscv(16, 17, 1, FALSE, rows, knots, 1, pt, 1e-6, &d, f, &u, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  BSmdptsbscv(1, 2, 2, FALSE, nullptr, knots, 1, pt, 1e-6, &d, f, &u, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  // A planar line: rows x = (0, 1), y = (0, 0).
  const double prow[4] = {0, 1, 0, 0};
  const double p2[2] = {0.25, 2.0};
  BSmdptsbscv(1, 2, 2, FALSE, prow, knots, 1, p2, 1e-6, &d, f, &u, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(u, 0.25, 1e-15);
  EXPECT_NEAR(d, 2.0, 1e-15);
}

TEST(BSmdptsbscv, UnclampedSingleSpanIsDecomposedFirst) {
  // One span of a uniform cubic: the poles are not the Bezier poles of the span.
  OwnedCurve c;
  c.order = 4;
  c.poles = {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0};
  c.knots = {0, 1, 2, 3, 4, 5, 6, 7};
  const double pt[3] = {2.0, 5.0, 0.0};
  double u = 0, foot[3], dist = 0;
  BSrc rc = 99;
  BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
  ASSERT_EQ(rc, BSSUCC);
  expect_nearest(c, pt, u, foot, dist, "unclamped", 0);
  EXPECT_NEAR(u, 3.5, 1e-12);  // symmetric curve, point on its axis
}

TEST(BSmdptbezcv, BoundKeepsFartherPiecesUnanswered) {
  OwnedCurve c = straight_cubic();
  const std::vector<double> rows = piece_rows(c);
  const double pt[3] = {0.5, 2.0, 0.0};
  double dist = 0, foot[3] = {7, 7, 7}, t = 7;
  BSrc rc = 99;
  BSmdptbezcv(3, 3, FALSE, rows.data(), pt, 1e-6, 1.0, &dist, foot, &t, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(dist, kBig);
  EXPECT_EQ(t, 7.0);
  EXPECT_EQ(foot[0], 7.0);
  BSmdptbezcv(3, 3, FALSE, rows.data(), pt, 1e-6, 2.5, &dist, foot, &t, &rc);
  EXPECT_NEAR(dist, 2.0, 1e-15);
  EXPECT_NEAR(t, 0.5, 1e-15);
}

// ---- BSmdptbezln ---------------------------------------------------------------------

TEST(BSmdptbezln, PolynomialAndRationalSegments) {
  const double seg[6] = {0, 0, 0, 2, 0, 0};
  const double pt[3] = {0.5, 1, 0};
  double d2 = 0, foot[3], s = 0;
  BSmdptbezln(3, FALSE, seg, pt, 1e-6, &d2, foot, &s);
  EXPECT_DOUBLE_EQ(s, 0.25);
  EXPECT_DOUBLE_EQ(d2, 1.0);
  EXPECT_DOUBLE_EQ(foot[0], 0.5);
  // The same segment with weights 1 and 2 (poles stored weighted): the foot of the
  // perpendicular is still x = 0.5, reached at w(s) x(s) = 4 s / (1 + s) = 0.5.
  const double rseg[8] = {0, 0, 0, 1, 4, 0, 0, 2};
  BSmdptbezln(3, TRUE, rseg, pt, 1e-6, &d2, foot, &s);
  EXPECT_NEAR(s, 1.0 / 7.0, 1e-15);
  EXPECT_NEAR(foot[0], 0.5, 1e-15);
  EXPECT_NEAR(d2, 1.0, 1e-15);
  // Beyond an end: clamped to it; near an end within tol: snapped.
  const double far[3] = {-1, 1, 0};
  BSmdptbezln(3, FALSE, seg, far, 1e-6, &d2, foot, &s);
  EXPECT_EQ(s, 0.0);
  const double near_end[3] = {2 - 1e-7, 1, 0};
  BSmdptbezln(3, FALSE, seg, near_end, 1e-6, &d2, foot, &s);
  EXPECT_EQ(s, 1.0);
}

// ---- BSmdstptarr ---------------------------------------------------------------------

TEST(BSmdstptarr, ClosestPairLastOfEqualPairsWins) {
  const double a[9] = {0, 0, 0, 5, 0, 0, 10, 0, 0};
  const double b[6] = {5, 1, 0, 0, 1, 0};
  int32_t i = -1, j = -1;
  double d = 0;
  BSrc rc = 99;
  BSmdstptarr(3, a, 2, b, &i, &j, &d, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(i, 1);  // (0, 1) and (1, 0) are both at 1: the later pair wins
  EXPECT_EQ(j, 0);
  EXPECT_EQ(d, 1.0);
  BSmdstptarr(0, a, 2, b, &i, &j, &d, &rc);
  EXPECT_EQ(i, 2000000000);
  EXPECT_EQ(d, kBig);
}
