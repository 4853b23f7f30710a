#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "arc_fixtures.hpp"

namespace {

using namespace arctest;

class Circles : public kwtest::GuardedTest {};

TEST_F(Circles, CirclesFromRadiusStartAndOnZAreExactClosedCircles) {
  std::mt19937_64 rng(18);
  std::uniform_real_distribution<double> d(0.0, 1.0);
  for (int t = 0; t < 60; ++t) {
    Frame f = random_frame(rng, t % 2 ? 1e3 : 1.0);
    const double r = std::pow(10.0, -2.0 + 5.0 * d(rng));
    ArcRecord a, b, c;
    BSrc rc;
    double n[3] = {0, 0, 0};
    int32_t type = 0;
    const V3 big_n = {7 * f.n[0], 7 * f.n[1], 7 * f.n[2]};
    ASSERT_TRUE(BSprepcirc(&rc, f.c.data(), &r, big_n.data(), &a.cv, n, &type));
    EXPECT_EQ(type, 9);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(n[i], f.n[i], 1e-15);
    Frame fa = f;  // BSprepcirc chooses its own start direction
    fa.u = unit(sub({a.poles[0], a.poles[1], a.poles[2]}, f.c));
    fa.v = cross(fa.n, fa.u);
    expect_arc(a.cv, fa, r, kTwoPi);
    EXPECT_EQ(a.cv.phy_closed, 1);
    const double knots[10] = {0, 0, 0, 1.0 / 3, 1.0 / 3, 2.0 / 3, 2.0 / 3, 1, 1, 1};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(a.knots[i], knots[i]);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(a.weights[i], i % 2 ? 0.5 : 1.0);

    const V3 start = axpy(f.c, r, f.u);
    ASSERT_TRUE(BSprepcircp(&rc, f.c.data(), start.data(), big_n.data(), &b.cv, nullptr, nullptr));
    expect_arc(b.cv, f, r, kTwoPi);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(b.poles[i], start[i], 1e-15 * (r + norm(f.c)));

    ASSERT_TRUE(BScirrdcr(&rc, &r, f.c.data(), &c.cv));
    Frame fz = f;
    fz.n = {0, 0, 1};
    fz.u = unit(sub({c.poles[0], c.poles[1], c.poles[2]}, f.c));
    fz.v = cross(fz.n, fz.u);
    expect_arc(c.cv, fz, r, kTwoPi);
  }
}

TEST_F(Circles, ArcsHaveTheirSweepPiecesAndEnds) {
  std::mt19937_64 rng(9);
  std::uniform_real_distribution<double> d(0.0, 1.0);
  const double special[] = {2.0943951023932175,
                            2.0943951023932175 + 1e-9,
                            4.188790204786413,
                            4.188790204786413 + 1e-9,
                            kTwoPi / 4,
                            kTwoPi / 2,
                            0.75 * kTwoPi,
                            kTwoPi - 1e-5,
                            1e-3};
  for (int t = 0; t < 120; ++t) {
    const Frame f = random_frame(rng, t % 3 ? 1.0 : 100.0);
    const double r = std::pow(10.0, -1.0 + 3.0 * d(rng));
    const double sweep = t < 9 ? special[t] : 1e-3 + (kTwoPi - 2e-3) * d(rng);
    const V3 s = axpy(f.c, r, f.u);
    const double re = r * (0.2 + 5.0 * d(rng));  // the end is moved onto the circle
    const V3 e = axpy(axpy(f.c, re * std::cos(sweep), f.u), re * std::sin(sweep), f.v);
    const V3 scaled_n = {3 * f.n[0], 3 * f.n[1], 3 * f.n[2]};
    ArcRecord a;
    BSrc rc;
    double n[3];
    int32_t type = 0;
    ASSERT_TRUE(BSprepcarc(&rc, s.data(), f.c.data(), e.data(), scaled_n.data(), &a.cv, n, &type))
        << rc;
    EXPECT_EQ(type, 9);
    EXPECT_EQ(a.cv.phy_closed, 0);
    expect_arc(a.cv, f, r, sweep);
    const int last = a.cv.num_poles - 1, pieces = last / 2;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(a.poles[i], s[i]);
      EXPECT_EQ(a.poles[3 * last + i], f.c[i] + (e[i] - f.c[i]) * (norm(sub(s, f.c)) / norm(sub(e, f.c))));
    }
    EXPECT_NEAR(a.weights[1], std::cos(sweep / (2 * pieces)), 1e-13);
  }
}

TEST_F(Circles, QuarterJointsAreExactPoints) {
  const double c[3] = {1, 2, 3}, s[3] = {3, 2, 3}, e[3] = {1, 0, 3}, n[3] = {0, 0, 5};
  ArcRecord a;
  BSrc rc;
  ASSERT_TRUE(BSprepcarc(&rc, s, c, e, n, &a.cv, nullptr, nullptr));
  ASSERT_EQ(a.cv.num_poles, 7);  // 270 degrees: three quarters
  const double q1[3] = {1, 4, 3}, q2[3] = {-1, 2, 3};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(a.poles[6 + i], q1[i]);
    EXPECT_EQ(a.poles[12 + i], q2[i]);
    EXPECT_EQ(a.poles[18 + i], e[i]);
  }
}

TEST_F(Circles, ArcThroughThreePointsAndCircleProperties) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> d(0.0, 1.0);
  for (int t = 0; t < 80; ++t) {
    const Frame f = random_frame(rng, 10.0);
    const double r = 0.1 + 10 * d(rng);
    const double a3 = 0.05 + (kTwoPi - 0.1) * d(rng), a2 = a3 * (0.05 + 0.9 * d(rng));
    const auto at = [&](double a) {
      return axpy(axpy(f.c, r * std::cos(a), f.u), r * std::sin(a), f.v);
    };
    const V3 p1 = at(0.0), p2 = at(a2), p3 = at(a3);
    ArcRecord a;
    BSrc rc;
    ASSERT_TRUE(BSarc3pts(&rc, p1.data(), p2.data(), p3.data(), &a.cv));
    expect_arc(a.cv, f, r, a3);
    const int last = a.cv.num_poles - 1;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(a.poles[i], p1[i]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(a.poles[3 * last + i], p3[i]);

    double centre[3], radius, normal[3];
    ASSERT_TRUE(BScircprop(&rc, p1.data(), p2.data(), p3.data(), centre, &radius, normal));
    EXPECT_NEAR(radius, r, 1e-12 * (r + 20));
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(centre[i], f.c[i], 1e-12 * (r + 20));
      EXPECT_NEAR(normal[i], f.n[i], 1e-12 * (1 + 20 / r));
    }
  }
}

TEST_F(Circles, ConicHeaderForAQuadratic) {
  ArcRecord a;
  a.cv.bdrys = a.knots;
  BSrc rc;
  ASSERT_TRUE(BSconicgen0(&rc, &a.cv));
  EXPECT_EQ(a.cv.order, 3);
  EXPECT_TRUE(a.cv.non_uniform && a.cv.planar && !a.cv.periodic && !a.cv.phy_closed);
  EXPECT_EQ(a.cv.num_poles + a.cv.num_knots + a.cv.num_boundaries, 0);
  EXPECT_EQ(a.cv.bdrys, nullptr);
  double w[3];
  BSangweig(kTwoPi / 6, w);
  EXPECT_EQ(w[0] + w[2], 2.0);
  EXPECT_NEAR(w[1], 0.5, 1e-15);
}

TEST_F(Circles, FailuresLeaveTheRecordUntouched) {
  const double o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
  const double nan3[3] = {NAN, 0, 0}, x2[3] = {2, 0, 0}, tilt[3] = {0, 1, 1}, tilt_x[3] = {1, 0, 1}, zero[3] = {0, 0, 0};
  const double one = 1.0, neg = -1.0, tiny = 1e-6, nan1 = NAN;
  // Sweep 2e-8 at radius 100: ends distinct, middle pole 1e-14 off the chord.
  const double far_s[3] = {100, 0, 0}, far_e[3] = {100 * std::cos(2e-8), 100 * std::sin(2e-8), 0};
  ArcRecord bare;
  bare.cv.weights = nullptr;
  struct Case {
    const char *what;
    std::function<BSboolean(BSrc *, BScurve *)> call;
    BSrc want;
  };
  const std::vector<Case> cases = {
      {"circ null centre",
       [&](BSrc *rc, BScurve *c) { return BSprepcirc(rc, nullptr, &one, z, c, nullptr, nullptr); },
       BSNULLPTR},
      {"circ tiny radius",
       [&](BSrc *rc, BScurve *c) { return BSprepcirc(rc, o, &tiny, z, c, nullptr, nullptr); },
       BSINARG},
      {"circ nan radius",
       [&](BSrc *rc, BScurve *c) { return BSprepcirc(rc, o, &nan1, z, c, nullptr, nullptr); },
       BSINARG},
      {"circ nan centre",
       [&](BSrc *rc, BScurve *c) { return BSprepcirc(rc, nan3, &one, z, c, nullptr, nullptr); },
       BSINARG},
      {"circ zero normal",
       [&](BSrc *rc, BScurve *c) { return BSprepcirc(rc, o, &one, zero, c, nullptr, nullptr); },
       BSDEGEN},
      {"circ no weights",
       [&](BSrc *rc, BScurve *) { return BSprepcirc(rc, o, &one, z, &bare.cv, nullptr, nullptr); },
       BSNULLPTR},
      {"circp start at centre",
       [&](BSrc *rc, BScurve *c) { return BSprepcircp(rc, o, o, z, c, nullptr, nullptr); },
       BSINARG},
      {"circp zero normal",
       [&](BSrc *rc, BScurve *c) { return BSprepcircp(rc, o, x, zero, c, nullptr, nullptr); },
       BSINARG},
      {"circp start off plane",
       [&](BSrc *rc, BScurve *c) { return BSprepcircp(rc, o, x, tilt_x, c, nullptr, nullptr); },
       BSINARG},
      {"circp null start",
       [&](BSrc *rc, BScurve *c) { return BSprepcircp(rc, o, nullptr, z, c, nullptr, nullptr); },
       BSNULLPTR},
      {"cirrdcr zero", [&](BSrc *rc, BScurve *c) { return BScirrdcr(rc, &neg, o, c); }, BSINARG},
      {"cirrdcr null", [&](BSrc *rc, BScurve *) { return BScirrdcr(rc, &one, o, nullptr); },
       BSNULLPTR},
      {"carc start at centre",
       [&](BSrc *rc, BScurve *c) { return BSprepcarc(rc, o, o, y, z, c, nullptr, nullptr); },
       BSINARG},
      {"carc end at centre",
       [&](BSrc *rc, BScurve *c) { return BSprepcarc(rc, x, o, o, z, c, nullptr, nullptr); },
       BSINARG},
      {"carc end at start",
       [&](BSrc *rc, BScurve *c) { return BSprepcarc(rc, x, o, x, z, c, nullptr, nullptr); },
       BSINARG},
      {"carc end on start ray",
       [&](BSrc *rc, BScurve *c) { return BSprepcarc(rc, x, o, x2, z, c, nullptr, nullptr); },
       BSINARG},
      {"carc zero normal",
       [&](BSrc *rc, BScurve *c) { return BSprepcarc(rc, x, o, y, zero, c, nullptr, nullptr); },
       BSINARG},
      {"carc normal not normal",
       [&](BSrc *rc, BScurve *c) { return BSprepcarc(rc, x, o, y, tilt, c, nullptr, nullptr); },
       BSINARG},
      {"carc no sweep",
       [&](BSrc *rc, BScurve *c) {
         return BSprepcarc(rc, far_s, o, far_e, z, c, nullptr, nullptr);
       },
       BSDIVZERO},
      {"carc no weights",
       [&](BSrc *rc, BScurve *) { return BSprepcarc(rc, x, o, y, z, &bare.cv, nullptr, nullptr); },
       BSNULLPTR},
      {"carc nan",
       [&](BSrc *rc, BScurve *c) { return BSprepcarc(rc, x, o, nan3, z, c, nullptr, nullptr); },
       BSINARG},
      {"3pts collinear", [&](BSrc *rc, BScurve *c) { return BSarc3pts(rc, o, x, x2, c); },
       BSCOLLIN},
      {"3pts coincident", [&](BSrc *rc, BScurve *c) { return BSarc3pts(rc, x, x, y, c); },
       BSCOLLIN},
      {"3pts nan", [&](BSrc *rc, BScurve *c) { return BSarc3pts(rc, x, nan3, y, c); }, BSINARG},
      {"3pts null", [&](BSrc *rc, BScurve *c) { return BSarc3pts(rc, x, nullptr, y, c); },
       BSNULLPTR},
      {"conic null", [&](BSrc *rc, BScurve *) { return BSconicgen0(rc, nullptr); }, BSNULLPTR},
  };
  for (const Case &c : cases) {
    ArcRecord a;
    BSrc rc = 12345;
    EXPECT_FALSE(c.call(&rc, &a.cv)) << c.what;
    EXPECT_EQ(rc, c.want) << c.what;
    EXPECT_TRUE(a.untouched()) << c.what;
  }
  double centre[3] = {5, 5, 5}, radius = 5, normal[3];
  BSrc rc;
  EXPECT_FALSE(BScircprop(&rc, o, x, x2, centre, &radius, normal));
  EXPECT_EQ(rc, BSINARG);
  EXPECT_FALSE(BScircprop(&rc, o, x, nullptr, centre, &radius, normal));
  EXPECT_EQ(rc, BSNULLPTR);
  EXPECT_EQ(radius, 5.0);
}

}  // namespace
