
#include "point_set.hpp"
#include "status_of.hpp"
#include "status_ok.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;

class Weights : public kwtest::GuardedTest {};

// A quadratic rational Bezier segment with weights w0, w1, w2.
RefCurve quadratic(double w0, double w1, double w2) {
  const double x[9] = {0, 0, 0, 1, 2, 0, 3, 1, 0}, w[3] = {w0, w1, w2};
  std::vector<double> poles(9);
  for (int i = 0; i < 9; ++i) poles[i] = x[i] * w[i / 3];
  return kwtest::make_curve(3, {0, 0, 0, 1, 1, 1}, poles, {w0, w1, w2});
}

TEST_F(Weights, SegmentExamples) {
  // weights in; routine 0 BSchgewts, 1 BSchgewtlr start, 2 BSchgewtlr end; weights out
  const double cases[][7] = {{2, 2, 2, 0, 1, 1, 1},
                             {1, 3, 4, 0, 1, 1.5, 1},
                             {1, 3, 4, 1, 1, 3, 4},
                             {1, 3, 4, 2, 1, 1.5, 1},
                             {1 + 1e-30, 3, 1, 0, 1 + 1e-30, 3, 1}};
  for (const auto &[w0, w1, w2, routine, v0, v1, v2] : cases) {
    RefCurve in = quadratic(w0, w1, w2), out = quadratic(9, 9, 9);
    BScurve cv = in.view(), o = out.view();
    KW_OK(routine == 0 ? BSchgewts(&cv, &o, &rc)
                       : BSchgewtlr(&cv, routine == 1 ? nullptr : &o, int(routine) - 1, &rc));
    const BScurve &r = routine == 1 ? cv : o;
    const double want[3] = {v0, v1, v2};
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(r.weights[i], want[i], 1e-15) << routine;
      for (int j = 0; j < 3; ++j)  // unweighted poles unchanged
        EXPECT_NEAR(r.poles[3 * i + j] / r.weights[i], in.poles[3 * i + j] / in.weights[i], 1e-15);
    }
    EXPECT_LT(kwtest::point_set_deviation(r, cv), 1e-14);
  }
}

TEST_F(Weights, CurveEndWeightsBecomeOneOnTheSamePointSet) {
  std::mt19937_64 rng(20);
  for (int t = 0; t < 12; ++t) {
    const int k = 2 + t % 5, choice = t % 4;  // 3: BSchgecvwts
    RefCurve in = kwtest::random_curve(rng, k, k + t % 7, true, t % 3 != 0);
    BScurve cv = in.view();
    BScurve *out = nullptr;
    BSrc rc;
    KW_OK(choice == 3 ? BSchgecvwts(&cv, &out, &rc) : BSchgcvewlr(&cv, choice, &out, &rc)) << t;
    const int32_t m = out->num_poles - 1;
    EXPECT_TRUE((choice == 1 || out->weights[0] == 1.0) && (choice == 0 || out->weights[m] == 1));
    for (int32_t i = 0; i <= m; ++i) EXPECT_GT(out->weights[i], 0.0);
    EXPECT_LT(kwtest::point_set_deviation(*out, cv), 1e-13) << t;
    EXPECT_LT(kwtest::point_set_deviation(cv, *out), 1e-13) << t;
    BSfreeqelcv(out, &rc);
  }
}

TEST_F(Weights, ReparametrisationMapsKnotsAndBoundaries) {
  RefCurve in = kwtest::make_curve(2, {2, 2, 3, 6, 6}, {0, 0, 0, 1, 0, 0, 1, 1, 0});
  double bd[2] = {3, 5}, out_bd[2] = {0, 0};
  BScurve cv = in.view();
  cv.num_boundaries = 1;
  cv.bdrys = bd;
  RefCurve o = in;
  BScurve out = o.view();
  out.bdrys = out_bd;
  KW_OK(BSreparmcv(&cv, 0.0, 1.0, &out, &rc));
  EXPECT_TRUE(out.knots[2] == 0.25 && out.knots[4] == 1.0);
  EXPECT_TRUE(out.num_boundaries == 1 && out.bdrys == out_bd);
  EXPECT_TRUE(out_bd[0] == 0.25 && out_bd[1] == 0.75);
  // Random curves in place: the point at a mapped parameter is the old point.
  std::mt19937_64 rng(4);
  for (int t = 0; t < 20; ++t) {
    RefCurve r = kwtest::random_curve(rng, 2 + t % 5, 8, t % 2, t % 3 != 0);
    const RefCurve before = r;
    BScurve c = r.view();
    KW_OK(BSreparmcv(&c, -3.0 + t, 7.5 + t, &c, &rc));
    EXPECT_TRUE(c.knots[c.order - 1] == -3.0 + t && c.knots[c.num_poles] == 7.5 + t);
    for (int i = 0; i <= 50; ++i) {
      const double s = i / 50.0;
      const auto p = kwtest::ref_eval(before, before.lo() + s * (before.hi() - before.lo()));
      const auto q = kwtest::ref_eval(c, -3.0 + t + s * 10.5);
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(p[j], q[j], 1e-13);
    }
  }
}

TEST_F(Weights, FailureStatusesLeaveTheOutputUntouched) {
  std::mt19937_64 rng(1);
  RefCurve two = kwtest::random_curve(rng, 3, 5, true, true);
  RefCurve poly = kwtest::random_curve(rng, 3, 3, false, true);
  RefCurve zero = quadratic(1, 0, 1), neg = quadratic(1, -2, 1);
  RefCurve spare = quadratic(7, 7, 7);
  BScurve c2 = two.view(), cp = poly.view(), cz = zero.view(), cn = neg.view(), o = spare.view();
  BScurve *out = &o, *none = nullptr;
  kwtest::expect_statuses(
      {
          {"chgewts null curve", STATUS_OF(BSchgewts(nullptr, &o, &rc)), BSNULLPTR},
          {"chgewts null output", STATUS_OF(BSchgewts(&c2, nullptr, &rc)), BSNULLPTR},
          {"chgewts three spans", STATUS_OF(BSchgewts(&c2, &o, &rc)), BSINARG},
          {"chgewts polynomial", STATUS_OF(BSchgewts(&cp, &o, &rc)), BSINARG},
          {"chgewts zero weight", STATUS_OF(BSchgewts(&cz, &o, &rc)), BSBADWEIGHT},
          {"chgewtlr negative", STATUS_OF(BSchgewtlr(&cn, &o, 1, &rc)), BSBADWEIGHT},
          {"chgewtlr three spans", STATUS_OF(BSchgewtlr(&c2, &o, 0, &rc)), BSINARG},
          {"chgecvwts polynomial", STATUS_OF(BSchgecvwts(&cp, &out, &rc)), BSINARG},
          {"chgecvwts null output", STATUS_OF(BSchgecvwts(&c2, nullptr, &rc)), BSNULLPTR},
          {"chgcvewlr end 3", STATUS_OF(BSchgcvewlr(&c2, 3, &out, &rc)), BSINARG},
          {"chgcvewlr negative", STATUS_OF(BSchgcvewlr(&cn, 2, &out, &rc)), BSBADWEIGHT},
          {"reparmcv empty range", STATUS_OF(BSreparmcv(&c2, 1, 1.0, &o, &rc)), BSINARG},
          {"reparmcv NaN", STATUS_OF(BSreparmcv(&c2, NAN, 1.0, &o, &rc)), BSINARG},
          {"reparmcv null output", STATUS_OF(BSreparmcv(&c2, 0, 1.0, none, &rc)), BSNULLPTR},
      },
      [&](const char *what) { EXPECT_TRUE(spare.weights[1] == 7.0 && o.num_poles == 3) << what; });
  double bd[2] = {0.2, 0.4};
  c2.num_boundaries = 1;
  c2.bdrys = bd;
  // the output has no boundary array
  EXPECT_EQ(KW_STATUS(BSreparmcv(&c2, 0.0, 1.0, &o, &rc)), BSNULLPTR);
  EXPECT_EQ(bd[0], 0.2);
}

}  // namespace
