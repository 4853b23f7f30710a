// Tangent continuity: corners, cusps, collinear joints, doubled poles and closed
// curves, graded against constructed geometry and one-sided differences.

#include "analysis/continuity.hpp"
#include "record_room.hpp"
#include "ref_curves.hpp"
#include "support.hpp"

namespace {

using kwtest::make_curve;
using kwtest::RefCurve;

class Continuity : public kwtest::GuardedTest {};

// Cubic with a triple knot at 1 (pole 3 is the joint), knots 0^4 1^3 2^4.
RefCurve cubic_joint(std::vector<double> p234, double scale = 1) {
  std::vector<double> poles = {0, 1, 0, 0.5, 0.5, 0};
  poles.insert(poles.end(), p234.begin(), p234.end());
  poles.insert(poles.end(), {4, 1, 0, 5, 0, 0});
  std::vector<double> knots = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2};
  for (double &t : knots) t *= scale;
  return make_curve(4, knots, poles);
}
RefCurve closed(RefCurve c, bool periodic = false) {
  c.closed = true;
  c.periodic = periodic;
  return c;
}

TEST_F(Continuity, BreaksAndGradesOfConstructedCurves) {
  RefCurve weighted = cubic_joint({1, 0, 0, 2, 0, 0, 3, 0, 0});  // collinear only unweighted
  weighted.weights = {1, 1, 2, 1, 4, 1, 1};
  for (int i = 0; i < 21; ++i) weighted.poles[i] *= weighted.weights[i / 3];
  using V = std::vector<double>;
  using G = std::vector<int32_t>;
  // Joints of a cubic: collinear at equal and unequal speeds (also with knots scaled by
  // 10: one-sided derivative lengths 0.3 and 0.6), turning back, turning by 1e-6.
  const struct {
    RefCurve c;
    double tol;
    int pole, flag;  // BStstcvcusp at the pole (-1: none) and its answer
    V cusps, params;
    G grades;
  } cases[] = {
      {make_curve(2, {0, 0, 0.5, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 1, 0}), 1e-6, 1, 1, V{0.5}, V{0.5},
       G{0}},
      {cubic_joint({1, 0, 0, 2, 0, 0, 3, 0, 0}), 1e-6, 3, 0, V{}, V{1}, G{2}},
      {cubic_joint({1, 0, 0, 2, 0, 0, 4, 0, 0}), 1e-6, 3, 0, V{}, V{1}, G{1}},
      {cubic_joint({1, 0, 0, 2, 0, 0, 4, 0, 0}, 10), 0.2, 3, 0, V{}, V{10}, G{1}},
      {cubic_joint({1, 0, 0, 2, 0, 0, 4, 0, 0}, 10), 0.5, 3, 0, V{}, V{10}, G{2}},
      {cubic_joint({1, 0, 0, 2, 0, 0, 1.5, 0, 0}), 1e-6, 3, 1, V{1}, V{1}, G{0}},
      {cubic_joint({1, 0, 0, 2, 0, 0, 3, 1e-6, 0}), 1e-6, 3, 1, V{1}, V{1}, G{0}},
      {weighted, 1e-6, 3, 0, V{}, V{1}, G{1}},
      // a doubled pole, then two equal poles
      {make_curve(2, {0, 0, 1, 2, 3, 3}, {0, 0, 0, 1, 0, 0, 1, 0, 0, 2, 0, 0}), 1e-6, 2, 0, V{},
       V{1, 2}, G{1, 1}},
      {make_curve(2, {0, 0, 1, 2, 2}, {1, 0, 0, 1, 0, 0, 2, 0, 0}), 1e-6, 1, 0, V{}, V{1}, G{1}},
      {closed(make_curve(2, {0, 0, 1, 2, 3, 3}, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0})), 1e-6, 0, 1,
       V{0, 1, 2}, V{1, 2, 3}, G{0, 0, 0}},
      // a closed quadratic whose end and start derivatives are both (2, 0, 0); a periodic cubic
      {closed(make_curve(3, {0, 0, 0, 1, 2, 3, 4, 4, 4},
                         {0, 0, 0, 1, 0, 0, 1, 1, 0, -1, 1, 0, -1, 0, 0, 0, 0, 0})),
       1e-6, 0, 0, V{}, V{4}, G{2}},
      {closed(make_curve(4, {-3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7},
                         {1, 0, 0, 0, 1, 0, -1, 0, 0, 0, -1, 0, 1, 0, 0, 0, 1, 0, -1, 0, 0}),
              true),
       1e-6, -1, 0, V{}, V{4}, G{2}},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(&cs - cases);
    RefCurve c = cs.c;
    BScurve cv = c.view();
    BSrc rc;
    BSboolean flag = 7;
    if (cs.pole >= 0) {
      BStstcvcusp(&rc, &cv, cs.pole, &flag);
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(flag, cs.flag);
    }
    int32_t count = -1, grades[8];
    double params[8];
    BSfndcvcsp(&cv, &count, params, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::vector<double>(params, params + count), cs.cusps);
    BSfinddcont(&cv, cs.tol, &count, params, grades, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::vector<double>(params, params + count), cs.params);
    EXPECT_EQ(std::vector<int32_t>(grades, grades + count), cs.grades);
  }
}

TEST_F(Continuity, RandomJointsAgreeWithOneSidedDifferences) {
  // A break is reported exactly when the one-sided tangents (differences of the
  // reference evaluator) turn by more than the angle tolerance.
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<double> p(9);
    for (int c = 0; c < 6; ++c) p[c] = u(rng);
    const int kind = trial % 3;  // 0 random, 1 straight through, 2 reversed
    const double f = kind == 2 ? -0.3 - std::fabs(u(rng)) : 0.3 + std::fabs(u(rng));
    for (int c = 0; c < 3; ++c) p[6 + c] = kind == 0 ? u(rng) : p[3 + c] + f * (p[3 + c] - p[c]);
    RefCurve a = cubic_joint(p);
    BScurve cv = a.view();
    BSrc rc;
    BSboolean flag;
    BStstcvcusp(&rc, &cv, 3, &flag);
    const auto l0 = kwtest::ref_eval(a, 1 - 1e-7), l1 = kwtest::ref_eval(a, 1.0),
               r1 = kwtest::ref_eval(a, 1 + 1e-7);
    double tl[3], tr[3];
    for (int c = 0; c < 3; ++c) tl[c] = l1[c] - l0[c], tr[c] = r1[c] - l1[c];
    const double cr = std::hypot(tl[1] * tr[2] - tl[2] * tr[1], tl[2] * tr[0] - tl[0] * tr[2],
                                 tl[0] * tr[1] - tl[1] * tr[0]);
    const double ang = std::atan2(cr, tl[0] * tr[0] + tl[1] * tr[1] + tl[2] * tr[2]);
    EXPECT_EQ(flag != 0, ang > 1e-4) << trial << " kind " << kind << " angle " << ang;
  }
}

TEST_F(Continuity, FailureStatuses) {
  RefCurve a = make_curve(2, {0, 0, 0.5, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 1, 0});
  RefCurve zero_weight = a;
  zero_weight.weights = {1, 0, 1};  // the polygon length fails
  BScurve cv = a.view(), zw = zero_weight.view();
  BSboolean flag = 5;
  int32_t count = 9, grades[4];
  double params[4];
  // an open curve's end, beyond the poles; the flag or count is cleared too
  kwtest::expect_statuses(
      {
          {BSINARG, [&](BSrc *rc) { BStstcvcusp(rc, &cv, 0, &flag); }},
          {BSINARG, [&](BSrc *rc) { BStstcvcusp(rc, &cv, 2, &flag); }},
          {BSINARG, [&](BSrc *rc) { BStstcvcusp(rc, &cv, 3, &flag); }},
          {BSDIVZERO, [&](BSrc *rc) { BSfinddcont(&zw, 1e-6, &count, params, grades, rc); }},
      },
      [&](const char *) {
        EXPECT_TRUE(flag == 0 ? count == 9 : flag == 5 && count == 0);
        flag = 5, count = 9;
      });
}

TEST_F(Continuity, ScratchFailureAndNoHeapForSmallCurves) {
  // A zig-zag polyline: 298 C0 knots need scratch beyond the local buffer.
  const int n = 300;
  RefCurve a = make_curve(2, {0}, {});
  for (int i = 0; i < n; ++i) {
    a.poles.insert(a.poles.end(), {double(i), double(i % 2), 0});
    a.knots.push_back(i);
  }
  a.knots.push_back(n - 1);
  BScurve cv = a.view();
  std::vector<double> params(n + 1);
  std::vector<int32_t> grades(n + 1);
  int32_t count = 0;
  const auto full = [&](BSrc *rc) { EXPECT_TRUE(*rc != BSSUCC || count == n - 2); };
  kwtest::sweep_calls({[&](BSrc *rc) { BSfndcvcsp(&cv, &count, params.data(), rc), full(rc); },
                       [&](BSrc *rc) {
                         BSfinddcont(&cv, 1e-6, &count, params.data(), grades.data(), rc), full(rc);
                       }},
                      {BSNOSTKMEMORY});
  BSdbglev = 0;
  RefCurve small = make_curve(2, {0, 0, 1, 2, 3, 3}, {0, 0, 0, 1, 0, 0, 1, 1, 0, 2, 1, 0});
  cv = small.view();
  kwtest::NoHeapScope scope;
  BSrc rc;
  BSfndcvcsp(&cv, &count, params.data(), &rc);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(scope.heap_requests(), 0);
  BSdbglev = 20;
}

}  // namespace
