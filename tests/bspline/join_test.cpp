
#include "point_set.hpp"
#include "record_room.hpp"
#include "status_ok.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;

class Join : public kwtest::GuardedTest {};

std::array<double, 3> end_point(const RefCurve &c, bool last) {
  const int32_t i = last ? c.n() - 1 : 0;
  const double w = c.rational() ? c.weights[i] : 1.0;
  return {c.poles[3 * i] / w, c.poles[3 * i + 1] / w, c.poles[3 * i + 2] / w};
}

// Moves c rigidly so that its start (or end) lies at p + gap along x.
void move_to(RefCurve &c, bool last, const std::array<double, 3> &p, double gap = 0.0) {
  const auto q = end_point(c, last);
  for (int32_t i = 0; i < c.n(); ++i)
    for (int j = 0; j < 3; ++j)
      c.poles[3 * i + j] +=
          (p[j] - q[j] + (j == 0 ? gap : 0.0)) * (c.rational() ? c.weights[i] : 1);
}

// c reversed (by BSrev_cv, checked against the reference in the split tests).
RefCurve reversed(RefCurve c) {
  BScurve v = c.view();
  BSrc rc;
  EXPECT_TRUE(BSrev_cv(&rc, &v));
  return c;
}

TEST_F(Join, RawJoinsReproduceBothCurves) {
  BSrc rc;
  std::mt19937_64 rng(8);
  for (int t = 0; t < 30; ++t) {
    const int k = 2 + t % 5;
    RefCurve ca = kwtest::random_curve(rng, k, k + t % 4, t % 3 == 1, true);
    RefCurve cb = kwtest::random_curve(rng, k, k + 2, t % 3 == 2 || t % 5 == 0, true);
    for (double &u : cb.knots) u = 3.0 + 2.0 * u;  // domain [3, 5]
    move_to(cb, false, end_point(ca, true));
    BScurve va = ca.view(), vb = cb.view();
    kwtest::Room r(ca.n() + cb.n() - 1, 20);
    KW_OK(BScomb2cvs(&va, &vb, &r.cv, &rc)) << t;
    EXPECT_TRUE(kwtest::multiplicity(r.cv, 1.0) == k - 1 && r.cv.knots[r.cv.num_poles] == 3.0);
    EXPECT_EQ(r.cv.weights == nullptr, !ca.rational() && !cb.rational());
    RefCurve shifted = cb;  // cb on [1, 3], where the joined curve carries it
    for (double &u : shifted.knots) u -= 2.0;
    const BScurve vs = shifted.view();
    EXPECT_LT(kwtest::max_deviation(va, r.cv), 1e-14) << t;
    EXPECT_LT(kwtest::max_deviation(vs, r.cv), 1e-14) << t;
    // Joined again with the knots normalised: the same curve on [0, 1].
    kwtest::Room n(ca.n() + cb.n() - 1, 20);
    ASSERT_TRUE(BS2cvsto1(&rc, &va, &vb, &n.cv));
    EXPECT_EQ(n.cv.knots[n.cv.num_poles], 1.0);
    for (double u : {0.1, 0.5, 0.9}) {
      const auto p = kwtest::ref_eval(n.cv, u), q = kwtest::ref_eval(r.cv, 3.0 * u);
      EXPECT_NEAR(std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]), 0.0, 1e-14);
    }
  }
}

TEST_F(Join, MergeFindsTheMeetingEndsAndMatchesOrders) {
  std::mt19937_64 rng(12);
  const double dt = BSparameters.dist_tol;
  for (int t = 0; t < 8; ++t) {
    const int ka = 2 + t % 4, kb = 2 + (t / 4) % 4, config = t % 4;
    RefCurve ca = kwtest::random_curve(rng, ka, ka + 2, t % 2, true);
    RefCurve cb = kwtest::random_curve(rng, kb, kb + 3, t % 3 == 0, true);
    const double gap = t % 4 == 3 ? 0.9 * dt : 0.0;  // within the gap tolerance
    move_to(cb, false, end_point(ca, true), gap);
    // The same two curves given in the four end configurations.
    RefCurve a = config == 1 || config == 3 ? reversed(ca) : ca;
    RefCurve b = config == 1 || config == 2 ? reversed(cb) : cb;
    BScurve va = a.view(), vb = b.view();
    kwtest::Room r(2 * (ca.n() + cb.n()) * 4, 20);
    BSrc rc;
    ASSERT_TRUE(BSmerge_cv(&rc, &va, &vb, &r.cv)) << t << " rc " << rc;
    EXPECT_TRUE(r.cv.order == std::max(ka, kb) && r.cv.knots[r.cv.num_poles] == 1.0);
    EXPECT_LT(kwtest::point_set_deviation(va, r.cv), 1e-12 + gap) << t;
    EXPECT_LT(kwtest::point_set_deviation(vb, r.cv), 1e-12 + gap) << t;
  }
  // Beyond the gap tolerance: no ends meet.
  RefCurve l1 = kwtest::make_curve(2, {0, 0, 1, 1}, {0, 0, 0, 1, 0, 0});
  RefCurve l2 = kwtest::make_curve(2, {0, 0, 1, 1}, {1 + 2 * dt, 0, 0, 2, 1, 0});
  BScurve a = l1.view(), b = l2.view();
  kwtest::Room r(6, 20);
  EXPECT_EQ(KW_STATUS(BSmergecvnn(&a, &b, &r.cv, &rc)), BSFAIL);
  // Two halves of a loop join into a closed curve with exactly equal ends.
  RefCurve h1 = kwtest::make_curve(2, {0, 0, 1, 2, 2}, {0, 0, 0, 1, 0, 0, 1, 1, 0});
  RefCurve h2 = kwtest::make_curve(2, {0, 0, 1, 1}, {1, 1, 0, 1e-7, 0, 0});
  a = h1.view(), b = h2.view();
  KW_OK(BSmergecvnn(&a, &b, &r.cv, &rc));
  EXPECT_TRUE(r.cv.phy_closed == 1 && r.poles[0] == r.poles[9] && r.poles[1] == r.poles[10]);
}

TEST_F(Join, PartsOfClosedAndOpenCurves) {
  kwtest::Room arrays(7, 3);
  BScurve &circle = arrays.cv;
  const double c[3] = {0, 0, 0}, r = 2.0, z[3] = {0, 0, 1};
  BSrc rc;
  ASSERT_TRUE(BSprepcirc(&rc, c, &r, z, &circle, nullptr, nullptr));
  // start, middle, end; the part expected: circle parameters from .. to (to > 1 wraps)
  const double cases[][5] = {{0.8, 0.9, 0.2, 0.8, 1.2},
                             {0.2, 0.9, 0.8, 0.8, 1.2},
                             {0.8, 0.5, 0.2, 0.2, 0.8},
                             {0.5, 0.1, 1.0, 0.0, 0.5},
                             {0.0, 0.9, 0.3, 0.3, 1.0}};
  for (const auto &[s, m, e, from, to] : cases) {
    kwtest::Room part(30, 20);
    ASSERT_TRUE(BSpartofcv(&rc, &circle, s, m, e, &part.cv)) << s << " rc " << rc;
    EXPECT_TRUE(part.cv.knots[part.cv.order - 1] == 0.0 && part.cv.knots[part.cv.num_poles] == 1.0);
    const std::vector<double> spaced = kwtest::spaced_parameters(part.cv, 0, 1);
    const auto wrap = [](double u) { return u > 1.0 ? u - 1.0 : u; };
    for (int i = 0; i <= 20; ++i) {
      const auto want = kwtest::ref_eval(circle, wrap(from + (to - from) * i / 20));
      EXPECT_LT(kwtest::distance_to_curve(part.cv, want, spaced), 1e-12);
    }
    const auto first = kwtest::ref_eval(part.cv, 0.0), start = kwtest::ref_eval(circle, from);
    EXPECT_NEAR(std::hypot(first[0] - start[0], first[1] - start[1]), 0.0, 1e-12);
  }
  kwtest::Room point(3, 20);
  ASSERT_TRUE(BSpartofcv(&rc, &circle, 0.3, 0.3, 0.3, &point.cv));
  const auto p = kwtest::ref_eval(circle, 0.3);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(point.poles[3 * i + 1], p[1], 1e-15);
  // Over the seam: two extractions in scratch records.
  kwtest::Room part(30, 20);
  kwtest::sweep_calls({[&](BSrc *rc) { BSpartofcv(rc, &circle, 0.7, 0.9, 0.3, &part.cv); }},
                      {BSNOSTKMEMORY, 59}, nullptr, 2);
}

TEST_F(Join, DegenerateCurves) {
  const std::pair<std::vector<double>, BSboolean> cases[] = {
      // poles, degenerate
      {{1, 2, 3, 1, 2, 3, 1, 2, 3}, TRUE},
      {{0, 0, 0, 4e-7, 0, 0, 0, 1e-7, 0}, TRUE},  // poles within dist_tol / 2
      {{0, 0, 0, 0.8e-6, 0, 0, 0, 0, 0}, TRUE},   // turns back: 0.8e-6 long, polygon 1.6e-6
      {{0, 0, 0, 1.2e-6, 0, 0, 0, 0, 0}, FALSE},  // 1.2e-6 long
      {{0, 0, 0, 1, 0, 0, 0, 0, 0}, FALSE},
  };
  for (const auto &[poles, want] : cases) {
    RefCurve q = kwtest::make_curve(3, {0, 0, 0, 1, 1, 1}, poles);
    BScurve v = q.view();
    BSboolean flag = 7;
    KW_EXPECT_OK(BStstcvdegn(&v, &flag, &rc));
    EXPECT_EQ(flag, want) << poles[3];
  }
}

TEST_F(Join, FailureStatusesLeaveTheOutputUntouched) {
  RefCurve l2 = kwtest::make_curve(2, {0, 0, 1, 1}, {0, 0, 0, 1, 0, 0});
  RefCurve q3 = kwtest::make_curve(3, {0, 0, 0, 1, 1, 1}, {1, 0, 0, 2, 1, 0, 3, 0, 0});
  RefCurve l2b = kwtest::make_curve(2, {0, 0, 1, 1}, {1, 0, 0, 2, 0, 0});
  RefCurve open_end = kwtest::make_curve(2, {-0.5, 0, 1, 1}, {1, 0, 0, 2, 0, 0});
  RefCurve far = kwtest::make_curve(2, {0, 0, 1, 1}, {5, 0, 0, 6, 0, 0});
  RefCurve bad_w = kwtest::make_curve(2, {0, 0, 1, 1}, {1, 0, 0, 0, 0, 0}, {1, 0});
  RefCurve loop = l2b;
  loop.closed = true;
  BScurve a = l2.view(), b3 = q3.view(), b = l2b.view(), ob = open_end.view(), f = far.view(),
          bw = bad_w.view(), cl = loop.view();
  kwtest::Room out(10, 20, -9.0);
  // Routine 0 BScomb2cvs, 1 BSmergecvnn, 2 BSmerge_cv, 3 BS2cvsto1.
  const auto join = [&](int routine, const BScurve *x, const BScurve *y, BScurve *o) {
    BSrc rc = 0;
    if (routine == 0) BScomb2cvs(x, y, o, &rc);
    if (routine == 1) BSmergecvnn(x, y, o, &rc);
    if (routine == 2) rc = BSmerge_cv(&rc, x, y, o) ? 12345 : rc;
    if (routine == 3) rc = BS2cvsto1(&rc, x, y, o) ? 12345 : rc;
    return rc;
  };
  const std::tuple<int, const BScurve *, const BScurve *, BScurve *, BSrc> cases[] = {
      {0, &a, &b3, &out.cv, BSFAIL},   {0, &a, &cl, &out.cv, BSDEGEN},
      {0, &a, &ob, &out.cv, BSINARG},  {0, &a, &f, &out.cv, BSFAIL},
      {0, &a, &b, nullptr, BSNULLPTR}, {0, &a, &bw, &out.cv, BSBADWEIGHT},
      {1, &a, &cl, &out.cv, BSINARG},  {1, &a, &f, &out.cv, BSFAIL},
      {2, &cl, &a, &out.cv, BSINARG},  {3, &a, nullptr, &out.cv, BSNULLPTR}};
  for (const auto &[routine, x, y, o, want] : cases)
    EXPECT_EQ(join(routine, x, y, o), want) << routine;
  BSrc rc;
  EXPECT_FALSE(BSpartofcv(&rc, &a, NAN, 0.5, 1, &out.cv) || rc != BSINARG);
  EXPECT_FALSE(BSpartofcv(&rc, &a, 0, 0.5, 1, nullptr) || rc != BSNULLPTR);
  EXPECT_EQ(KW_STATUS(BStstcvdegn(&a, nullptr, &rc)), BSNULLPTR);
  EXPECT_TRUE(out.poles[0] == -9.0 && out.knots[0] == -9.0);
}

}  // namespace
