#include <cmath>
#include <random>

#include "arc_fixtures.hpp"

namespace {

using namespace arctest;

class ArcParameters : public kwtest::GuardedTest {};

// An arc of the given sweep about f (a circle for a full turn).
void build(const Frame &f, double r, double sweep, ArcRecord &a) {
  BSrc rc;
  const V3 s = axpy(f.c, r, f.u);
  const V3 e = axpy(axpy(f.c, r * std::cos(sweep), f.u), r * std::sin(sweep), f.v);
  if (sweep >= kTwoPi)
    ASSERT_TRUE(BSprepcircp(&rc, f.c.data(), s.data(), f.n.data(), &a.cv, nullptr, nullptr));
  else
    ASSERT_TRUE(
        BSprepcarc(&rc, s.data(), f.c.data(), e.data(), f.n.data(), &a.cv, nullptr, nullptr));
}

TEST_F(ArcParameters, AngleToParameterLandsOnTheAngle) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> d(0.0, 1.0);
  for (int t = 0; t < 40; ++t) {
    const Frame f = random_frame(rng, 1.0);
    const double sweep = t % 8 == 0   ? kTwoPi
                         : t % 8 == 1 ? 2.0943951023932175
                                      : 0.01 + 6.2 * d(rng);
    ArcRecord a;
    build(f, 2.0, sweep, a);
    for (int i = 0; i < 50; ++i) {
      const double angle = sweep * d(rng);
      double u = -1, u_cw = -1, u_ccw = -1;
      BSrc rc;
      BSangarctou(sweep, angle, &u, &rc);
      ASSERT_EQ(rc, BSSUCC);
      const std::array<double, 3> p = kwtest::ref_eval(a.cv, u);
      double got = angle_of(f, {p[0], p[1], p[2]});
      if (got > angle + 3.0) got -= kTwoPi;
      EXPECT_NEAR(got, angle, 1e-13) << "sweep " << sweep;
      // A clockwise sweep reads the same angle given clockwise or counterclockwise.
      BSangarctou(-sweep, -angle, &u_cw, &rc);
      BSangarctou(-sweep, kTwoPi - angle, &u_ccw, &rc);
      EXPECT_NEAR(u_cw, u, 1e-14 * (1 + 1 / sweep));
      EXPECT_NEAR(u_ccw, u, 1e-14 * (1 + 1 / sweep));
    }
  }
  // Exact joints and ends of a full turn; angles beyond the arc give its end.
  const double cases[][3] = {{kTwoPi, kTwoPi / 3, 1.0 / 3},
                             {kTwoPi, 2 * kTwoPi / 3, 2.0 / 3},
                             {kTwoPi, 0, 0},
                             {kTwoPi, kTwoPi, 1},
                             {8, kTwoPi, 1},
                             {1, 2, 1},
                             {1, 1, 1},
                             {3, -kTwoPi, 0}};
  for (const auto &c : cases) {
    double u = -1;
    BSrc rc;
    BSangarctou(c[0], c[1], &u, &rc);
    EXPECT_EQ(rc, BSSUCC);
    EXPECT_EQ(u, c[2]) << c[0] << " " << c[1];
  }
}

TEST_F(ArcParameters, AngleAndParameterOfAVector) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> d(0.0, 1.0);
  for (int t = 0; t < 100; ++t) {
    const Frame f = random_frame(rng, 1.0);
    const double sweep = 0.1 + 6.0 * d(rng), a = kTwoPi * d(rng), len = 0.1 + 10 * d(rng);
    const double sign = t % 2 ? -1.0 : 1.0;  // odd cases: clockwise about f.n
    const V3 vec = {len * (std::cos(a) * f.u[0] + sign * std::sin(a) * f.v[0]),
                    len * (std::cos(a) * f.u[1] + sign * std::sin(a) * f.v[1]),
                    len * (std::cos(a) * f.u[2] + sign * std::sin(a) * f.v[2])};
    double u = -5, angle = 0, want_u = -7;
    int16_t on = -1;
    BSrc rc;
    BSarcangpar(f.n.data(), f.u.data(), sign * sweep, vec.data(), &u, &angle, &on, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_NEAR(angle, sign * a, 1e-12);
    EXPECT_EQ(on, a <= sweep ? 1 : 0);
    if (a <= sweep) {
      BSangarctou(sweep, a, &want_u, &rc);
      EXPECT_NEAR(u, want_u, 1e-12);
    } else {
      EXPECT_EQ(u, -5.0);
    }
  }
  // Within the angular tolerance of the end or of a full turn.
  const double n[3] = {0, 0, 1}, x[3] = {1, 0, 0}, below[3] = {1, -1e-8, 0};
  const double past[3] = {std::cos(1.0 + 1e-8), std::sin(1.0 + 1e-8), 0};
  double u = -1, angle = -1;
  int16_t on = 0;
  BSrc rc;
  BSarcangpar(n, x, 1.0, below, &u, &angle, &on, &rc);
  EXPECT_EQ(angle, 0.0);
  EXPECT_EQ(u, 0.0);
  BSarcangpar(n, x, 1.0, past, &u, &angle, &on, &rc);
  EXPECT_EQ(on, 1);
  EXPECT_EQ(u, 1.0);
}

TEST_F(ArcParameters, PointOnArcPositions) {
  const double o[3] = {0, 0, 0}, z[3] = {0, 0, 1}, h = std::sqrt(0.5);
  const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, mx[3] = {-1, 0, 0}, my[3] = {0, -1, 0};
  struct Case {
    const double *s, *e;
    double p[3];
    int16_t want;
  };
  const Case cases[] = {
      {x, y, {h, h, 0}, 1},    {x, y, {-h, h, 0}, 0},   {x, y, {1, 0, 0}, 2},
      {x, y, {0, 1, 1e-7}, 3}, {x, y, {h, h, 1e-3}, 0}, {x, y, {2 * h, 2 * h, 0}, 0},
      {x, my, {-1, 0, 0}, 1},  {x, my, {h, -h, 0}, 0},  {x, mx, {0, 1, 0}, 1},
      {x, mx, {0, -1, 0}, 0},  {x, x, {-h, -h, 0}, 1},  {x, y, {h, -h, 0}, 0},
  };
  for (const Case &c : cases) {
    int16_t code = -1, code_t = -1;
    BSrc rc;
    BSptonarc(o, c.s, c.e, z, 0, nullptr, nullptr, c.p, &code, &rc);
    EXPECT_EQ(rc, BSSUCC);
    EXPECT_EQ(code, c.want) << c.p[0] << " " << c.p[1] << " " << c.p[2];
    // The directions to the ends given as (longer) tangent vectors read the same.
    const double t0[3] = {3 * c.s[0], 3 * c.s[1], 3 * c.s[2]},
                 t1[3] = {2 * c.e[0], 2 * c.e[1], 2 * c.e[2]};
    BSptonarc(o, c.s, c.e, z, 1, t0, t1, c.p, &code_t, &rc);
    EXPECT_EQ(code_t, c.want);
  }
  // Random arcs: a point of the circle is on the arc exactly when its angle is inside.
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> d(0.0, 1.0);
  for (int t = 0; t < 300; ++t) {
    const Frame f = random_frame(rng, 5.0);
    const double sweep = 0.01 + 6.2 * d(rng), a = kTwoPi * d(rng), r = 0.5 + d(rng);
    if (std::fabs(a - sweep) < 1e-5 || a < 1e-5 || a > kTwoPi - 1e-5) continue;
    const auto at = [&](double phi) {
      return axpy(axpy(f.c, r * std::cos(phi), f.u), r * std::sin(phi), f.v);
    };
    const V3 s = at(0), e = at(sweep), p = at(a);
    int16_t code = -1;
    BSrc rc;
    BSptonarc(f.c.data(), s.data(), e.data(), f.n.data(), 0, nullptr, nullptr, p.data(), &code,
              &rc);
    EXPECT_EQ(code, a < sweep ? 1 : 0) << sweep << " " << a;
  }
}

TEST_F(ArcParameters, FailureStatuses) {
  const double z[3] = {0, 0, 1}, x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, zero[3] = {0, 0, 0};
  const double nan3[3] = {NAN, 0, 0};
  double u = 9, angle = 9;
  int16_t on = 9, code = 9;
  BSrc rc;
  const auto expect = [&](BSrc want) {
    EXPECT_EQ(rc, want);
    EXPECT_TRUE(u == 9 && angle == 9 && on == 9 && code == 9);
  };
  BSangarctou(0.0, 1.0, &u, &rc), expect(BSINARG);
  BSangarctou(NAN, 1.0, &u, &rc), expect(BSINARG);
  BSangarctou(1.0, INFINITY, &u, &rc), expect(BSINARG);
  BSangarctou(1.0, 0.5, nullptr, &rc), expect(BSNULLPTR);
  BSarcangpar(z, x, 1.0, zero, &u, &angle, &on, &rc), expect(BSINARG);
  BSarcangpar(z, x, 0.0, y, &u, &angle, &on, &rc), expect(BSINARG);
  BSarcangpar(z, x, 1.0, nan3, &u, &angle, &on, &rc), expect(BSINARG);
  BSarcangpar(z, x, 1.0, y, &u, nullptr, &on, &rc), expect(BSNULLPTR);
  BSptonarc(zero, x, y, zero, 0, nullptr, nullptr, x, &code, &rc), expect(BSINARG);
  BSptonarc(zero, x, y, z, 0, nullptr, nullptr, nan3, &code, &rc), expect(BSINARG);
  BSptonarc(zero, x, y, z, 1, x, nullptr, y, &code, &rc), expect(BSNULLPTR);
  BSptonarc(zero, x, y, z, 0, nullptr, nullptr, y, nullptr, &rc), expect(BSNULLPTR);
}

}  // namespace
