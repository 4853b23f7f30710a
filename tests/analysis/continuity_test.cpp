// Tangent continuity: corners, cusps, collinear joints, doubled poles and closed
// curves, graded against constructed geometry.
#include <cmath>
#include <random>
#include <vector>

#include "analysis/continuity.hpp"
#include "ref_curves.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;

class Continuity : public kwtest::GuardedTest {};

RefCurve polyline(std::vector<double> pts, std::vector<double> knots) {
  RefCurve cv;
  cv.k = 2;
  cv.poles = std::move(pts);
  cv.knots = std::move(knots);
  return cv;
}

// Cubic with a triple knot at 1 (pole 3 is the joint), knots 0^4 1^3 2^4.
RefCurve cubic_joint(const double *p2, const double *p3, const double *p4) {
  RefCurve cv;
  cv.k = 4;
  cv.knots = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2};
  cv.poles = {0,     1,     0,     0.5,   0.5, 0, p2[0], p2[1], p2[2], p3[0], p3[1],
              p3[2], p4[0], p4[1], p4[2], 4,   1, 0,     5,     0,     0};
  return cv;
}

TEST_F(Continuity, RightAngleCornerIsABreakOfGradeZero) {
  RefCurve a = polyline({0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 0, 0.5, 1, 1});
  BScurve cv = a.view();
  BSrc rc;
  BSboolean flag;
  BStstcvcusp(&rc, &cv, 1, &flag);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(flag, 1);
  int32_t count = -1;
  double params[4];
  BSfndcvcsp(&cv, &count, params, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 0.5);
  int32_t grades[4];
  BSfinddcont(&cv, 1e-6, &count, params, grades, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 0.5);
  EXPECT_EQ(grades[0], 0);
}

TEST_F(Continuity, CollinearJointHasNoBreakAndGradesByLength) {
  const double p2[] = {1, 0, 0}, p3[] = {2, 0, 0}, p4[] = {3, 0, 0}, p4far[] = {4, 0, 0};
  RefCurve equal = cubic_joint(p2, p3, p4);
  BScurve cv = equal.view();
  BSrc rc;
  BSboolean flag = 7;
  BStstcvcusp(&rc, &cv, 3, &flag);
  EXPECT_EQ(flag, 0);
  int32_t count;
  double params[4];
  int32_t grades[4];
  BSfndcvcsp(&cv, &count, params, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(count, 0);
  BSfinddcont(&cv, 1e-6, &count, params, grades, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 1.0);
  EXPECT_EQ(grades[0], 2);
  RefCurve longer = cubic_joint(p2, p3, p4far);
  cv = longer.view();
  BSfinddcont(&cv, 1e-6, &count, params, grades, &rc);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(grades[0], 1);
  // knots scaled by 10: one-sided derivative lengths 0.3 and 0.6
  for (double &t : longer.knots) t *= 10;
  cv = longer.view();
  BSfinddcont(&cv, 0.2, &count, params, grades, &rc);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 10.0);
  EXPECT_EQ(grades[0], 1);
  BSfinddcont(&cv, 0.5, &count, params, grades, &rc);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(grades[0], 2);
}

TEST_F(Continuity, ReversalIsACusp) {
  const double p2[] = {1, 0, 0}, p3[] = {2, 0, 0}, back[] = {1.5, 0, 0};
  RefCurve a = cubic_joint(p2, p3, back);
  BScurve cv = a.view();
  BSrc rc;
  BSboolean flag;
  BStstcvcusp(&rc, &cv, 3, &flag);
  EXPECT_EQ(flag, 1);
  int32_t count, grades[4];
  double params[4];
  BSfndcvcsp(&cv, &count, params, &rc);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 1.0);
  BSfinddcont(&cv, 1e-6, &count, params, grades, &rc);
  EXPECT_EQ(grades[0], 0);
}

TEST_F(Continuity, SmallTurnsAreBreaksAndRationalPolesAreUnweighted) {
  const double p2[] = {1, 0, 0}, p3[] = {2, 0, 0}, p4[] = {3, 1e-6, 0};
  RefCurve a = cubic_joint(p2, p3, p4);
  BScurve cv = a.view();
  BSrc rc;
  BSboolean flag;
  BStstcvcusp(&rc, &cv, 3, &flag);
  EXPECT_EQ(flag, 1);
  // weighted poles that are collinear only after division by the weights
  const double q4[] = {3, 0, 0};
  RefCurve r = cubic_joint(p2, p3, q4);
  r.weights = {1, 1, 2, 1, 4, 1, 1};
  for (int i = 0; i < 7; ++i) {
    for (int c = 0; c < 3; ++c) r.poles[3 * i + c] *= r.weights[i];
  }
  cv = r.view();
  BStstcvcusp(&rc, &cv, 3, &flag);
  EXPECT_EQ(flag, 0);
}

TEST_F(Continuity, DoubledPoleAtASmoothJointIsSkipped) {
  RefCurve a = polyline({0, 0, 0, 1, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 1, 2, 3, 3});
  BScurve cv = a.view();
  BSrc rc;
  BSboolean flag;
  BStstcvcusp(&rc, &cv, 1, &flag);
  EXPECT_EQ(flag, 0);
  BStstcvcusp(&rc, &cv, 2, &flag);
  EXPECT_EQ(flag, 0);
  int32_t count;
  double params[4];
  BSfndcvcsp(&cv, &count, params, &rc);
  EXPECT_EQ(count, 0);
  // every pole before the tested one coincides with it: no break reported
  RefCurve b = polyline({1, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 1, 2, 2});
  cv = b.view();
  BStstcvcusp(&rc, &cv, 1, &flag);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(flag, 0);
}

TEST_F(Continuity, ClosedCurveBreaksAtItsStartFirst) {
  RefCurve a = polyline({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 1, 2, 3, 3});
  a.closed = true;
  BScurve cv = a.view();
  BSrc rc;
  BSboolean flag;
  BStstcvcusp(&rc, &cv, 0, &flag);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(flag, 1);
  BStstcvcusp(&rc, &cv, 3, &flag);
  EXPECT_EQ(flag, 1);
  int32_t count, grades[4];
  double params[4];
  BSfndcvcsp(&cv, &count, params, &rc);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(params[0], 0);
  EXPECT_EQ(params[1], 1);
  EXPECT_EQ(params[2], 2);
  BSfinddcont(&cv, 1e-6, &count, params, grades, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(params[2], 3);
  EXPECT_EQ(grades[0], 0);
  EXPECT_EQ(grades[1], 0);
  EXPECT_EQ(grades[2], 0);
}

TEST_F(Continuity, SmoothClosedCurveHasNoBreakAtItsClosingPoint) {
  // closed quadratic whose end legs are collinear through the closing pole
  RefCurve a;
  a.k = 3;
  a.knots = {0, 0, 0, 1, 2, 3, 4, 4, 4};
  a.poles = {0, 0, 0, 1, 0, 0, 1, 1, 0, -1, 1, 0, -1, 0, 0, 0, 0, 0};
  a.closed = true;
  BScurve cv = a.view();
  BSrc rc;
  BSboolean flag;
  BStstcvcusp(&rc, &cv, 0, &flag);
  EXPECT_EQ(flag, 0);
  int32_t count, grades[4];
  double params[4];
  BSfndcvcsp(&cv, &count, params, &rc);
  EXPECT_EQ(count, 0);
  BSfinddcont(&cv, 1e-6, &count, params, grades, &rc);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 4);
  EXPECT_EQ(grades[0], 2);  // end and start derivatives are both (2, 0, 0)
}

TEST_F(Continuity, PeriodicCurveIsGradeTwoAtItsEnd) {
  RefCurve a;
  a.k = 4;
  a.knots = {-3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7};
  a.poles = {1, 0, 0, 0, 1, 0, -1, 0, 0, 0, -1, 0, 1, 0, 0, 0, 1, 0, -1, 0, 0};
  a.closed = true;
  a.periodic = true;
  BScurve cv = a.view();
  BSrc rc;
  int32_t count, grades[4];
  double params[4];
  BSfinddcont(&cv, 1e-6, &count, params, grades, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 4);
  EXPECT_EQ(grades[0], 2);
  BSfndcvcsp(&cv, &count, params, &rc);
  EXPECT_EQ(count, 0);
}

TEST_F(Continuity, RandomJointsAgreeWithOneSidedDerivatives) {
  // cubic pieces joined at triple knots with random joint geometry: a break is
  // reported exactly when the one-sided tangents (finite differences of the
  // reference evaluator) are not parallel and alike
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 200; ++trial) {
    double p2[3], p3[3], p4[3];
    for (int c = 0; c < 3; ++c) p2[c] = u(rng), p3[c] = u(rng);
    const int kind = trial % 3;  // 0 random, 1 straight through, 2 reversed
    const double f = kind == 2 ? -0.3 - std::fabs(u(rng)) : 0.3 + std::fabs(u(rng));
    for (int c = 0; c < 3; ++c) p4[c] = kind == 0 ? u(rng) : p3[c] + f * (p3[c] - p2[c]);
    RefCurve a = cubic_joint(p2, p3, p4);
    BScurve cv = a.view();
    BSrc rc;
    BSboolean flag;
    BStstcvcusp(&rc, &cv, 3, &flag);
    const double h = 1e-7;
    auto l0 = kwtest::ref_eval(a, 1 - h), l1 = kwtest::ref_eval(a, 1.0);
    auto r1 = kwtest::ref_eval(a, 1 + h);
    double tl[3], tr[3];
    for (int c = 0; c < 3; ++c) tl[c] = l1[c] - l0[c], tr[c] = r1[c] - l1[c];
    const double cr = std::hypot(tl[1] * tr[2] - tl[2] * tr[1], tl[2] * tr[0] - tl[0] * tr[2],
                                 tl[0] * tr[1] - tl[1] * tr[0]);
    const double dot = tl[0] * tr[0] + tl[1] * tr[1] + tl[2] * tr[2];
    const double ang = std::atan2(cr, dot);
    EXPECT_EQ(flag != 0, ang > 1e-4) << trial << " kind " << kind << " angle " << ang;
  }
}

TEST_F(Continuity, Statuses) {
  RefCurve a = polyline({0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 0, 0.5, 1, 1});
  BScurve cv = a.view();
  BSrc rc;
  BSboolean flag = 5;
  BStstcvcusp(&rc, &cv, 0, &flag);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(flag, 0);
  BStstcvcusp(&rc, &cv, 2, &flag);
  EXPECT_EQ(rc, BSINARG);
  BStstcvcusp(&rc, &cv, 3, &flag);
  EXPECT_EQ(rc, BSINARG);
  BStstcvcusp(&rc, nullptr, 1, &flag);
  EXPECT_EQ(rc, BSNULLPTR);
  int32_t count = 9, grades[4];
  double params[4];
  BSfndcvcsp(nullptr, &count, params, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  EXPECT_EQ(count, 0);
  // zero weight: the polygon length fails
  a.weights = {1, 0, 1};
  cv = a.view();
  BSfinddcont(&cv, 1e-6, &count, params, grades, &rc);
  EXPECT_EQ(rc, BSDIVZERO);
  EXPECT_EQ(count, 0);
}

TEST_F(Continuity, ScratchFailureAndNoHeapForSmallCurves) {
  // a long zig-zag polyline: 300 C0 knots need scratch beyond the local buffer
  RefCurve a;
  a.k = 2;
  const int n = 300;
  for (int i = 0; i < n; ++i) {
    a.poles.insert(a.poles.end(), {double(i), double(i % 2), 0});
  }
  a.knots = {0};
  for (int i = 0; i < n; ++i) a.knots.push_back(i);
  a.knots.push_back(n - 1);
  BScurve cv = a.view();
  std::vector<double> params(n + 1);
  std::vector<int32_t> grades(n + 1);
  int32_t count = 0;
  auto r = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSfndcvcsp(&cv, &count, params.data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_EQ(count, n - 2);
  EXPECT_GE(r.runs, 2);
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSfinddcont(&cv, 1e-6, &count, params.data(), grades.data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_EQ(count, n - 2);
  BSdbglev = 0;
  RefCurve small = polyline({0, 0, 0, 1, 0, 0, 1, 1, 0, 2, 1, 0}, {0, 0, 1, 2, 3, 3});
  cv = small.view();
  kwtest::NoHeapScope scope;
  BSrc rc;
  BSfndcvcsp(&cv, &count, params.data(), &rc);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(scope.heap_requests(), 0);
  BSdbglev = 20;
}

}  // namespace
