// Paths of the nearest-point search on curve records: closed curves near their
// joint (a parameter within the knot tolerance of the joint becomes the start only
// when the start is less than dist_tol / 2 farther) and the array checks that run
// before the search.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "knotwork.h"
#include "ref_query.hpp"
#include "ref_circle.hpp"
#include "support.hpp"

namespace {

class ProjectPaths : public kwtest::GuardedTest {};

// A unit circle on [0, 4] (closed) and a point at radius 2 and angle -4e-7: its
// foot lies 2.8e-7 before the end in parameter, within the knot tolerance (about
// 6e-7), and the joint is 1.6e-13 farther from the point than the foot. With
// dist_tol 1e-12 the joint wins (start parameter, start point, its distance);
// with dist_tol 1e-15 the foot keeps its own parameter, neither start nor end.
TEST_F(ProjectPaths, StartOnlyWhenWithinHalfTheDistanceTolerance) {
  const double o[3] = {0, 0, 0}, a = -4e-7;
  kwtest::RefCurve c = kwtest::ref_circle(o, 1.0);
  const double p[3] = {2 * std::cos(a), 2 * std::sin(a), 0};
  const double to_start = std::hypot(p[0] - 1.0, p[1]);
  for (const double dist_tol : {1e-12, 1e-15}) {
    BSparameters.dist_tol = dist_tol;
    const kwtest::Foot f = kwtest::nearest(c, p);
    ASSERT_EQ(f.rc, BSSUCC);
    if (dist_tol > 1e-13) {
      EXPECT_EQ(f.u, 0.0);
      EXPECT_TRUE(f.foot[0] == 1.0 && f.foot[1] == 0.0 && f.foot[2] == 0.0);
      EXPECT_NEAR(f.dist, to_start, 1e-15);
    } else {
      EXPECT_TRUE(f.u > 4.0 - 6e-7 && f.u < 4.0) << f.u;
      EXPECT_NEAR(std::atan2(f.foot[1], f.foot[0]), a, 1e-12);
      EXPECT_NEAR(f.dist, 1.0, 1e-15);
      EXPECT_LT(f.dist, to_start - 1e-13);
    }
  }
}

// A closed polyline (order 2, phy_closed set) whose last pole stops 8e-7 short of
// the first, the last span short in parameter: the point (-1, 5e-7) has its foot
// on the last span 1.3e-7 before the end (within the knot tolerance, 3e-7). The
// end is 8.5e-13 farther than the foot, the start only 1.25e-13: with dist_tol
// 1e-12 the search keeps the foot (no end snap) and the joint rule alone moves it
// to the start; with 1e-15 it stays.
TEST_F(ProjectPaths, ParameterNearTheEndMovesWhenTheStartIsNearEnough) {
  kwtest::RefCurve c =
      kwtest::make_curve(2, {0, 0, 0.45, 0.9, 1, 1}, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, -8e-7, 0});
  c.closed = true;
  const double p[3] = {-1, 5e-7, 0};
  for (const double dist_tol : {1e-12, 1e-15}) {
    BSparameters.dist_tol = dist_tol;
    const kwtest::Foot f = kwtest::nearest(c, p);
    ASSERT_EQ(f.rc, BSSUCC);
    if (dist_tol > 1e-13) {
      EXPECT_TRUE(f.u == 0.0 && f.foot[0] == 0.0 && f.foot[1] == 0.0) << f.u;
      EXPECT_NEAR(f.dist, std::hypot(1.0, 5e-7), 1e-16);
    } else {
      EXPECT_NEAR(f.u, 1.0 - 1.3e-7, 1e-12);
      EXPECT_NEAR(f.dist, 1.0, 1e-16);
    }
  }
}

// Every array fault in a long record is refused, wherever it sits (the checks
// stream in lanes, so faults go at odd places and in the tail).
TEST_F(ProjectPaths, ArrayFaultsAnywhereAreRefused) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  struct Fault {
    int what;  // 0 knot, 1 pole coordinate, 2 weight
    int at;
    double value;
  } faults[] = {{0, 7, nan},    {0, 1002, 0.2}, {0, 1004, inf},    {1, 3002, nan}, {1, 1501, -inf},
                {2, 1000, 0.0}, {2, 5, -0.0},   {2, 999, -1e-300}, {2, 333, inf}};
  for (const Fault &f : faults) {
    std::mt19937_64 rng(5);
    kwtest::RefCurve c = kwtest::query_curve(rng, 4, 1001, true, false);
    (f.what == 0 ? c.knots[f.at] : f.what == 1 ? c.poles[f.at] : c.weights[f.at]) = f.value;
    const double p[3] = {0.1, 0.2, 0.3};
    EXPECT_EQ(kwtest::nearest(c, p).rc, BSINARG) << f.what << " " << f.at;
  }
}

}  // namespace
