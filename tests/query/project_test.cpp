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

class ProjectGuarded : public kwtest::GuardedTest {};

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
    EXPECT_NEAR(dist, std::hypot(p[0] - foot[0], p[1] - foot[1], p[2] - foot[2]),
                1e-14 * (1 + dist));
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
  EXPECT_NEAR(dist, std::hypot(p[0] - foot[0], p[1] - foot[1], p[2] - foot[2]), 1e-14 * (1 + dist))
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
    const bool clamped = trial % 5 != 2;
    OwnedCurve c = projref::random_curve(rng, k, n, rational, closed && clamped, scale, clamped);
    for (int j = 0; j < 3; ++j) {
      const double reach = j == 0 ? 0.2 : (j == 1 ? 1.5 : 20.0);
      const double p[3] = {scale * reach * U(rng), scale * reach * U(rng), scale * reach * U(rng)};
      double u = 0, foot[3], dist = 0;
      BSrc rc = 99;
      BSmdstptcv(c.record(), p, &u, foot, &dist, &rc);
      ASSERT_EQ(rc, BSSUCC) << "trial " << trial;
      expect_nearest(c, p, u, foot, dist, "BSmdstptcv", trial);
      if (c.closed) {
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

// A parameter merely near the joint of a closed curve (within its knot tolerance)
// keeps its better foot instead of moving to the start.
TEST(BSmdstptcv, ClosedCurveJointMoveNeverMakesTheDistanceWorse) {
  const double centre[3] = {0, 0, 0};
  OwnedCurve c = projref::circle(centre, 1e-3);
  // The curve knot tolerance is about basis_tol / 0.0066 * 4: a foot at angle 1e-4
  // (parameter about 6e-5) lies within it.
  const double angle = 1e-4;
  const double pt[3] = {2e-3 * std::cos(angle), 2e-3 * std::sin(angle), 0.0};
  double u = 0, foot[3], dist = 0;
  BSrc rc = 99;
  BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_GT(u, 0.0);
  EXPECT_NEAR(dist, 1e-3, 1e-17);
  EXPECT_LT(dist, std::hypot(pt[0] - 1e-3, pt[1]));
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
  BSmdptsbscv(1, 2, 40, FALSE, rows, knots, 1, pt, 1e-6, &d, f, &u, &rc);
  EXPECT_EQ(rc, BSINARG);  // 40 rows of 2 values: more than a piece holds
  BSmdptsbscv(1, 2, 0, FALSE, rows, knots, 1, pt, 1e-6, &d, f, &u, &rc);
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
  // Four coordinates: a segment along the fourth axis.
  const double rows4[8] = {0, 0, 0, 0, 0, 0, 0, 3};
  const double p4[4] = {0, 1, 0, 1.5};
  double f4[4];
  BSmdptsbscv(1, 2, 4, FALSE, rows4, knots, 1, p4, 1e-6, &d, f4, &u, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(u, 0.5, 1e-15);
  EXPECT_NEAR(d, 1.0, 1e-15);
  EXPECT_NEAR(f4[3], 1.5, 1e-15);
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
  BSmdstptarr(3, nullptr, 2, b, &i, &j, &d, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

// ---- BSnormals / BSmdistptcv -----------------------------------------------------------

TEST(BSmdistptcv, CircleCentreGivesOneIntervalAndNoParameters) {
  const double centre[3] = {1, 2, 3};
  OwnedCurve c = projref::circle(centre, 2.0);
  int16_t ni = -1, np = -1;
  double *params = reinterpret_cast<double *>(1), *ints = nullptr, dist = 0;
  BSrc rc = 99;
  BSmdistptcv(c.record(), centre, &ni, &np, &params, &dist, &ints, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(np, 0);
  EXPECT_EQ(params, nullptr);
  ASSERT_EQ(ni, 1);
  EXPECT_EQ(ints[0], 0.0);
  EXPECT_EQ(ints[1], 4.0);
  EXPECT_NEAR(dist, 2.0, 1e-14);
  BSdbgfree(ints);
}

TEST(BSmdistptcv, EquidistantCornersAndFeetAreAllReturnedSorted) {
  // A W-shaped polyline: (0, -1) is equidistant from the corners at x = -1 and 1.
  OwnedCurve w;
  w.order = 2;
  w.poles = {-2, 1, 0, -1, 0, 0, 0, 1, 0, 1, 0, 0, 2, 1, 0};
  w.knots = {0, 0, 1, 2, 3, 4, 4};
  const double pt[3] = {0, -1, 0};
  int16_t ni = -1, np = -1;
  double *params = nullptr, *ints = nullptr, dist = 0;
  BSrc rc = 99;
  BSmdistptcv(w.record(), pt, &ni, &np, &params, &dist, &ints, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(ni, 0);
  ASSERT_EQ(np, 2);
  EXPECT_EQ(params[0], 1.0);
  EXPECT_EQ(params[1], 3.0);
  EXPECT_NEAR(dist, std::sqrt(2.0), 1e-15);
  BSdbgfree(params);
  // A smooth symmetric valley seen from its axis above the centre of curvature of
  // its bottom: two interior feet on the walls, mirror images.
  OwnedCurve a = bezier_curve({-2, 4, 0, -1, -2, 0, 1, -2, 0, 2, 4, 0});
  const double axis[3] = {0, 1.5, 0};
  BSmdistptcv(a.record(), axis, &ni, &np, &params, &dist, &ints, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(np, 2);
  EXPECT_LT(params[0], params[1]);
  EXPECT_NEAR(params[0] + params[1], 1.0, 1e-9);
  double u = 0, foot[3], d1 = 0;
  BSmdstptcv(a.record(), axis, &u, foot, &d1, &rc);
  EXPECT_NEAR(dist, d1, 1e-12);
  BSdbgfree(params);
}

TEST(BSmdistptcv, RandomCurvesAgreeWithTheNearestPoint) {
  std::mt19937_64 rng(31);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int trial = 0; trial < 150; ++trial) {
    const int k = 2 + trial % 6;
    OwnedCurve c =
        projref::random_curve(rng, k, k + 1 + trial % 12, trial % 2 == 1, trial % 3 == 0);
    const double pt[3] = {1.5 * U(rng), 1.5 * U(rng), 1.5 * U(rng)};
    int16_t ni = -1, np = -1;
    double *params = nullptr, *ints = nullptr, dist = 0;
    BSrc rc = 99;
    BSmdistptcv(c.record(), pt, &ni, &np, &params, &dist, &ints, &rc);
    ASSERT_EQ(rc, BSSUCC) << trial;
    const double ref = projref::brute_force_min(c, pt, 48);
    EXPECT_NEAR(dist, ref, 1e-9) << trial;
    ASSERT_GE(np, 1) << trial;
    for (int i = 0; i < np; ++i) {
      EXPECT_LT(projref::dist_at(c, params[i], pt), ref + BSparameters.dist_tol) << trial;
      if (i > 0) {
        EXPECT_LT(params[i - 1], params[i]);
      }
    }
    BSdbgfree(params);
    if (ints) BSdbgfree(ints);
  }
}

TEST(BSnormals, EveryFootOfAnEllipseLikeCurveIsFound) {
  // A full circle stretched to an ellipse (x scaled by 2): from a point inside near
  // the centre there are four perpendicular feet.
  const double centre[3] = {0, 0, 0};
  OwnedCurve c = projref::circle(centre, 1.0);
  for (int i = 0; i < c.num_poles(); ++i) c.poles[3 * i] *= 2.0;
  const double pt[3] = {0.1, 0.05, 0};
  int32_t np = 0, ni = 0;
  double *params = nullptr, *ints = nullptr;
  BSrc rc = 99;
  ASSERT_EQ(BSnormals(&rc, c.record(), pt, &np, &params, &ni, &ints), TRUE);
  EXPECT_EQ(ni, 0);
  ASSERT_EQ(np, 4);
  for (int i = 0; i < np; ++i) {
    // (C - P) . C' = 0 at each, checked by central differences of the distance.
    const double h = 1e-6;
    const double g1 = projref::dist_at(c, params[i] + h, pt),
                 g0 = projref::dist_at(c, params[i] - h, pt);
    EXPECT_NEAR((g1 - g0) / (2 * h), 0.0, 1e-6) << params[i];
  }
  BSdbgfree(params);
}

TEST_F(ProjectGuarded, BSmdistptcvReleasesEverythingOnAllocationFailure) {
  std::mt19937_64 rng(8);
  OwnedCurve c = projref::random_curve(rng, 4, 300, true, false);
  const double pt[3] = {0.1, 0.2, 0.3};
  kwtest::sweep_allocation_failures(
      [&] {
        int16_t ni = 0, np = 0;
        double *params = nullptr, *ints = nullptr, dist = 0;
        BSrc rc = 0;
        BSmdistptcv(c.record(), pt, &ni, &np, &params, &dist, &ints, &rc);
        if (rc == BSSUCC) {
          if (params) BSdbgfree(params);
          if (ints) BSdbgfree(ints);
        }
        return rc;
      },
      {BSNOSTKMEMORY, BSNOMEMORY});
}

TEST_F(ProjectGuarded, BSmdstptscvReleasesEverythingOnAllocationFailure) {
  std::mt19937_64 rng(9);
  OwnedCurve c = projref::random_curve(rng, 4, 300, true, false);
  const double pt[6] = {0.1, 0.2, 0.3, 0.2, 0.2, 0.2};
  const auto result = kwtest::sweep_allocation_failures(
      [&] {
        double u[2], foot[6], dist[2];
        BSboolean flag;
        BSrc rc = 0;
        BSmdstptscv(2, pt, c.record(), u, foot, dist, &flag, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GE(result.runs, 1);
}

// ---- Heap traffic ----------------------------------------------------------------------

TEST(BSmdstptcv, SmallCurvesMakeNoHeapRequests) {
  std::mt19937_64 rng(12);
  OwnedCurve c = projref::random_curve(rng, 4, 20, true, true);
  OwnedCurve p = projref::random_curve(rng, 3, 10, false, false);
  const double pts[6] = {0.3, 0.1, -0.2, 0.35, 0.1, -0.2};
  kwtest::NoHeapScope scope;
  double u[2], foot[6], dist[2];
  BSboolean flag;
  BSrc rc = 99;
  BSmdstptscv(2, pts, c.record(), u, foot, dist, &flag, &rc);
  EXPECT_EQ(rc, BSSUCC);
  BSmdstptcv(p.record(), pts, u, foot, dist, &rc);
  EXPECT_EQ(rc, BSSUCC);
  BSprptnrcv(p.record(), p.start(), pts, u, foot, dist, &rc);
  EXPECT_EQ(scope.heap_requests(), 0);
}

TEST_F(ProjectGuarded, SmallCurvesLeaveTheLiveListUnchanged) {
  std::mt19937_64 rng(13);
  OwnedCurve c = projref::random_curve(rng, 4, 20, true, false);
  const double pt[3] = {0.3, 0.1, -0.2};
  const int32_t live = BSlist_al.count;
  double u, foot[3], dist;
  BSrc rc = 99;
  BSmdstptcv(c.record(), pt, &u, foot, &dist, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(BSlist_al.count, live);
}

// ---- BSprptoncv -----------------------------------------------------------------------

TEST(BSprptoncv, FarOutsideTheBoxReportsFalseWithoutWritingTheParameter) {
  OwnedCurve c = straight_cubic();
  const double far[3] = {100, 100, 100};
  double u = 42;
  BSboolean on = 7;
  BSrc rc = 99;
  EXPECT_EQ(BSprptoncv(&rc, c.record(), far, &u, &on), TRUE);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(on, FALSE);
  EXPECT_EQ(u, 42.0);
  const double on_pt[3] = {0.25, 0, 0};
  EXPECT_EQ(BSprptoncv(&rc, c.record(), on_pt, &u, &on), TRUE);
  EXPECT_EQ(on, TRUE);
  EXPECT_NEAR(u, 0.25, 1e-15);
  // Inside the widened box but off the curve: parameter written, flag false.
  const double off[3] = {0.5, 5e-7 + 1e-6, 0};
  EXPECT_EQ(BSprptoncv(&rc, c.record(), off, &u, &on), TRUE);
  EXPECT_EQ(on, FALSE);
  EXPECT_NEAR(u, 0.5, 1e-15);
  EXPECT_EQ(BSprptoncv(&rc, nullptr, off, &u, &on), FALSE);
  EXPECT_EQ(rc, BSNULLPTR);
}

// ---- BSprptnrcv / BSqnwt2 / BSadjpar ------------------------------------------------

TEST(BSprptnrcv, ConvergesToTheFootNearTheStart) {
  std::mt19937_64 rng(21);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  int converged = 0;
  for (int trial = 0; trial < 100; ++trial) {
    OwnedCurve c = projref::random_curve(rng, 4, 8, trial % 2 == 1, false);
    const double u0 = c.start() + (0.2 + 0.6 * (0.5 + 0.5 * U(rng))) * (c.end() - c.start());
    double q[3];
    projref::point_at(c, u0, q);
    const double pt[3] = {q[0] + 1e-3 * U(rng), q[1] + 1e-3 * U(rng), q[2] + 1e-3 * U(rng)};
    double u = 0, foot[3], dist = 0;
    BSrc rc = 99;
    BSprptnrcv(c.record(), u0, pt, &u, foot, &dist, &rc);
    if (rc == BSNOSOLUTION) continue;
    ASSERT_EQ(rc, BSSUCC);
    ++converged;
    double cq[3];
    projref::point_at(c, u, cq);
    EXPECT_LT(std::hypot(cq[0] - foot[0], cq[1] - foot[1], cq[2] - foot[2]), 1e-12);
    EXPECT_NEAR(dist, std::hypot(pt[0] - foot[0], pt[1] - foot[1], pt[2] - foot[2]), 1e-15);
    // Perpendicular: the distance is stationary at u.
    const double h = 1e-6;
    const double g1 = projref::dist_at(c, u + h, pt), g0 = projref::dist_at(c, u - h, pt);
    if (u - h > c.start() && u + h < c.end()) {
      EXPECT_NEAR((g1 - g0) / (2 * h), 0.0, 1e-4) << trial;
    }
  }
  EXPECT_GE(converged, 98);
}

TEST(BSprptnrcv, NoFootInTheDomainGivesNoSolution) {
  OwnedCurve c = straight_cubic();
  const double beyond[3] = {3.0, 0.5, 0.0};
  double u = 0, foot[3], dist = 0;
  BSrc rc = 0;
  BSprptnrcv(c.record(), 0.5, beyond, &u, foot, &dist, &rc);
  EXPECT_EQ(rc, BSNOSOLUTION);
}

TEST(BSqnwt2, FindsARootAndReportsIterations) {
  auto f = [](double u, void *, BSrc *) { return std::cos(u) - u; };
  double root = 0;
  int32_t it = 0;
  BSrc rc = 99;
  BSqnwt2(f, nullptr, 0.0, 2.0, 1.5, FALSE, 1e-14, 1e-14, 50, &root, &it, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_NEAR(root, 0.7390851332151607, 1e-13);
  EXPECT_LT(it, 50);
  // No root: the iteration limit is used up.
  auto g = [](double u, void *, BSrc *) { return 1.0 + u * u; };
  BSqnwt2(g, nullptr, 0.0, 1.0, 0.5, FALSE, 1e-12, 1e-12, 25, &root, &it, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(it, 25);
  BSqnwt2(g, nullptr, 1.0, 1.0, 0.5, FALSE, 1e-12, 1e-12, 25, &root, &it, &rc);
  EXPECT_EQ(rc, BSINARG);
  // Periodic: a root past the end of the interval is found by wrapping.
  auto s = [](double u, void *, BSrc *) { return std::sin(u - 0.2); };
  const double two_pi = 2 * M_PI;
  BSqnwt2(s, nullptr, 0.0, two_pi, two_pi - 0.1, TRUE, 1e-14, 1e-14, 50, &root, &it, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_NEAR(std::fmod(root, two_pi), 0.2, 1e-12);
}

TEST(BSadjpar, ClampsIntoTheDomain) {
  OwnedCurve c = straight_cubic();
  double u = 0;
  BSrc rc = 99;
  BSadjpar(c.record(), 1.5, &u, &rc);
  EXPECT_EQ(u, 1.0);
  BSadjpar(c.record(), -0.5, &u, &rc);
  EXPECT_EQ(u, 0.0);
  BSadjpar(c.record(), 0.25, &u, &rc);
  EXPECT_EQ(u, 0.25);
  EXPECT_EQ(rc, BSSUCC);
}

TEST(ProjectStatuses, NullAndBadArguments) {
  OwnedCurve c = straight_cubic();
  const std::vector<double> rows = piece_rows(c);
  const double pt[3] = {0, 1, 0};
  double dist = 0, foot[3], t = 0;
  BSrc rc = 0;
  BSmdptbezcv(3, 0, FALSE, rows.data(), pt, 1e-6, kBig, &dist, foot, &t, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSmdptbezcv(3, 3, FALSE, nullptr, pt, 1e-6, kBig, &dist, foot, &t, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  int32_t np = 0, ni = 0;
  double *params = nullptr, *ints = nullptr;
  EXPECT_EQ(BSnormals(&rc, nullptr, pt, &np, &params, &ni, &ints), FALSE);
  EXPECT_EQ(rc, BSNULLPTR);
  BScurve bad = *c.record();
  bad.num_poles = 2;
  EXPECT_EQ(BSnormals(&rc, &bad, pt, &np, &params, &ni, &ints), FALSE);
  EXPECT_EQ(rc, BSINARG);
  int16_t ni16 = 0, np16 = 0;
  BSmdistptcv(c.record(), nullptr, &ni16, &np16, &params, &dist, &ints, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  BSmdistptcv(&bad, pt, &ni16, &np16, &params, &dist, &ints, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSadjpar(c.record(), 0.5, nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  BSprptnrcv(nullptr, 0.5, pt, &t, foot, &dist, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  BSprptnrcv(&bad, 0.5, pt, &t, foot, &dist, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSqnwt2(nullptr, nullptr, 0, 1, 0.5, FALSE, 1e-9, 1e-9, 10, &t, &np, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

// The previous foot bounds the next search: repeated points (bound = tol), a zero
// and a negative tolerance must all give the unbounded answers.
TEST(BSmdptsbscv, BoundFromThePreviousFootNeverLosesTheAnswer) {
  std::mt19937_64 rng(41);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  OwnedCurve c = projref::random_curve(rng, 4, 40, true, false);
  const int n = c.num_poles();
  std::vector<double> rows;
  for (int d = 0; d < 3; ++d)
    for (int i = 0; i < n; ++i) rows.push_back(c.poles[3 * i + d]);
  for (double w : c.weights) rows.push_back(w);
  std::vector<double> pts;
  for (int i = 0; i < 30; ++i) {
    const double p[3] = {U(rng), U(rng), U(rng)};
    for (int r = 0; r < (i % 3) + 1; ++r) pts.insert(pts.end(), p, p + 3);
  }
  const int np = static_cast<int>(pts.size() / 3);
  for (const double tol : {1e-6, 0.0, -0.5}) {
    std::vector<double> d(np), f(3 * np), u(np);
    BSrc rc = 99;
    BSmdptsbscv(3, n, 3, TRUE, rows.data(), c.knots.data(), np, pts.data(), tol, d.data(), f.data(),
                u.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int i = 0; i < np; ++i) {
      double u1 = 0, f1[3], d1 = 0;
      BSmdstptcv(c.record(), &pts[3 * i], &u1, f1, &d1, &rc);
      EXPECT_NEAR(d[i], d1, 1e-12) << "tol " << tol << " point " << i;
    }
  }
}

// Feet exactly on the middle of a piece (where the root isolation halves it) and
// exactly on a break between pieces: both are perpendicular feet whose sign change
// no single span shows.
TEST(BSnormals, FeetOnHalvingPointsAndBreaksAreFound) {
  OwnedCurve valley = bezier_curve({-2, 4, 0, -1, -2, 0, 1, -2, 0, 2, 4, 0});
  const double below[3] = {0, 0, 0};
  int32_t np = 0, ni = 0;
  double *params = nullptr, *ints = nullptr;
  BSrc rc = 99;
  ASSERT_EQ(BSnormals(&rc, valley.record(), below, &np, &params, &ni, &ints), TRUE);
  bool middle = false;
  for (int i = 0; i < np; ++i) middle = middle || std::fabs(params[i] - 0.5) < 1e-12;
  EXPECT_TRUE(middle);
  if (params) BSdbgfree(params);
  // A symmetric uniform cubic (unclamped knots 0..8, domain [3, 5]): its lowest
  // point is the break at 4.
  OwnedCurve sym;
  sym.order = 4;
  sym.poles = {-2, 2, 0, -1, -1, 0, 0, -1, 0, 1, -1, 0, 2, 2, 0};
  sym.knots = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  const double under[3] = {0, -5, 0};
  int16_t ni16 = 0, np16 = 0;
  double dist = 0;
  BSmdistptcv(sym.record(), under, &ni16, &np16, &params, &dist, &ints, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(np16, 1);
  EXPECT_NEAR(params[0], 4.0, 1e-12);
  EXPECT_NEAR(dist, projref::dist_at(sym, 4.0, under), 1e-14);
  BSdbgfree(params);
}

// Many random curves, unclamped ones among them: the nearest distance of all
// nearest parameters is never above the brute-force minimum (this sequence holds
// feet exactly on halving points and breaks, hidden from every span by rounding).
TEST(BSmdistptcv, ManyRandomCurvesNeverMissTheNearestFoot) {
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> U(-1, 1), V(0, 1);
  for (int trial = 0; trial < 2000; ++trial) {
    const int k = 2 + trial % 7;
    const int n = k + 1 + static_cast<int>(V(rng) * 25);
    const bool clamped = trial % 5 != 2;
    OwnedCurve c =
        projref::random_curve(rng, k, n, trial % 2 == 1, clamped && trial % 3 == 0, 1.0, clamped);
    const double p[3] = {1.5 * U(rng), 1.5 * U(rng), 1.5 * U(rng)};
    int16_t ni = 0, np = 0;
    double *params = nullptr, *ints = nullptr, d = 0;
    BSrc rc = 99;
    BSmdistptcv(c.record(), p, &ni, &np, &params, &d, &ints, &rc);
    ASSERT_EQ(rc, BSSUCC) << trial;
    EXPECT_LE(d, projref::brute_force_min(c, p, 32) + 1e-9) << trial;
    if (params) BSdbgfree(params);
    if (ints) BSdbgfree(ints);
  }
}

TEST(BSmdistptcv, ClosedCurveJointIsOneParameter) {
  const double centre[3] = {0, 0, 0};
  OwnedCurve c = projref::circle(centre, 1.0);
  const double pt[3] = {2.0, 0.0, 0.0};
  int16_t ni = 0, np = 0;
  double *params = nullptr, *ints = nullptr, dist = 0;
  BSrc rc = 99;
  BSmdistptcv(c.record(), pt, &ni, &np, &params, &dist, &ints, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(np, 1);
  EXPECT_EQ(params[0], 0.0);
  EXPECT_NEAR(dist, 1.0, 1e-15);
  BSdbgfree(params);
  // The same curve marked open lists both ends of the joint.
  c.closed = false;
  BSmdistptcv(c.record(), pt, &ni, &np, &params, &dist, &ints, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(np, 2);
  EXPECT_EQ(params[0], 0.0);
  EXPECT_EQ(params[1], 4.0);
  BSdbgfree(params);
}

namespace {

// A point that is not finite, or so far away that squared distances overflow, is
// refused instead of giving an unwritten foot with a success status.
TEST(BSmdstptcv, RefusesPointsOutsideTheRepresentableRange) {
  double poles[] = {0, 0, 0, 1, 2, 0, 3, 1, 0, 4, 0, 0};
  double knots[] = {0, 0, 0, 0, 1, 1, 1, 1};
  BScurve cv{};
  cv.order = 4;
  cv.num_poles = 4;
  cv.poles = poles;
  cv.num_knots = 8;
  cv.knots = knots;
  const double nan = std::nan("");
  const double bad[][3] = {{nan, 0, 0}, {0, INFINITY, 0}, {1e308, 0, 0}, {0, 0, -1e200}};
  for (const auto &p : bad) {
    double u = -7, foot[3], dist = -7;
    BSrc rc = 0;
    BSmdstptcv(&cv, p, &u, foot, &dist, &rc);
    EXPECT_EQ(rc, BSINARG);
    int16_t ni = -1, np = -1;
    double *params = nullptr, *intervals = nullptr;
    BSmdistptcv(&cv, p, &ni, &np, &params, &dist, &intervals, &rc);
    EXPECT_EQ(rc, BSINARG);
    EXPECT_EQ(params, nullptr);
    BSboolean on = 7;
    EXPECT_EQ(BSprptoncv(&rc, &cv, p, &u, &on), FALSE);
    EXPECT_EQ(rc, BSINARG);
    BSprptnrcv(&cv, 0.5, p, &u, foot, &dist, &rc);
    EXPECT_EQ(rc, BSINARG);
  }
  // a large but representable point still projects
  const double far[3] = {1e140, 0, 0};
  double u = -7, foot[3], dist = -7;
  BSrc rc = 0;
  BSmdstptcv(&cv, far, &u, foot, &dist, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_DOUBLE_EQ(dist, 1e140);  // every curve point is equally far at this scale
  EXPECT_TRUE(u >= 0.0 && u <= 1.0);
}

}  // namespace
