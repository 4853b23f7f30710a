#include "status_of.hpp"
#include "support.hpp"

namespace {

class FramesTest : public kwtest::GuardedTest {};

void expect_orthonormal_right_handed(const double *e1, const double *e2, const double *e3) {
  BSrc rc;
  double c[3];
  EXPECT_NEAR(BSdotp(&rc, e1, e1), 1.0, 1e-15);
  EXPECT_NEAR(BSdotp(&rc, e2, e2), 1.0, 1e-15);
  EXPECT_NEAR(BSdotp(&rc, e1, e2), 0.0, 1e-15);
  BScrossp(&rc, e1, e2, c);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[k], e3[k], 1e-15);
}

TEST_F(FramesTest, BasisExamplesAndRandomVectors) {
  double e[9];
  BSrc rc;
  const double h = std::sqrt(0.5), in[2][3] = {{0, 0, -5}, {1, 1, 0}};
  const double want[2][9] = {{0, 0, -1, 0, 1, 0, 1, 0, 0}, {h, h, 0, -h, h, 0, 0, 0, 1}};
  for (int c = 0; c < 2; ++c) {
    ASSERT_TRUE(BSbasisvect(&rc, in[c], e, e + 3, e + 6));
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(e[i], want[c][i], 2e-16);
  }
  // Random vectors, some with zero or equal components, and all six axis directions.
  std::mt19937 gen(6);
  std::uniform_real_distribution<double> d(-1, 1);
  for (int t = 0; t < 206; ++t) {
    double u[3] = {d(gen), d(gen), d(gen)};
    if (t % 5 == 0) u[t % 3] = 0.0;
    if (t % 7 == 0) u[0] = u[1];
    if (t >= 200) u[0] = u[1] = u[2] = 0.0, u[t % 3] = t % 2 ? 1.0 : -1.0;
    ASSERT_TRUE(BSbasisvect(&rc, u, e, e + 3, e + 6));
    expect_orthonormal_right_handed(e, e + 3, e + 6);
    const double l = BSlenvec(&rc, u);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(e[k], u[k] / l, 1e-15);
  }
}

TEST_F(FramesTest, RigidMotionCarriesOneFrameOntoTheOther) {
  const double pa[3] = {1, 2, 3}, pb[3] = {0, 0, 0}, v[3] = {0.3, -1, 2};
  double t[3], r[9], s = 0;
  BSrc rc;
  ASSERT_TRUE(BStrans1(&rc, pa, v, pb, v, t, r, &s));
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(r[i], (i % 4 == 0) ? 1.0 : 0.0, 1e-15);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(t[i], pa[i], 1e-15);
  EXPECT_EQ(s, 1.0);
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> d(-2, 2);
  for (int trial = 0; trial < 20; ++trial) {
    double a[3], b[3], va[3], vb[3], img[3], dir[3];
    for (int k = 0; k < 3; ++k) a[k] = d(gen), b[k] = d(gen), va[k] = d(gen), vb[k] = d(gen);
    ASSERT_TRUE(BStrans1(&rc, a, va, b, vb, t, r, &s));
    // x -> r^T x + t carries b to a and the direction of vb onto that of va.
    for (int i = 0; i < 3; ++i) {
      img[i] = t[i], dir[i] = 0.0;
      for (int k = 0; k < 3; ++k) img[i] += r[k * 3 + i] * b[k], dir[i] += r[k * 3 + i] * vb[k];
    }
    const double la = BSlenvec(&rc, va), lb = BSlenvec(&rc, vb);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(img[i], a[i], 1e-13);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(dir[i] / lb, va[i] / la, 1e-13);
  }
}

TEST_F(FramesTest, FramesFromPointsAndAlongAVector) {
  const double p0[3] = {1, 1, 0}, p1[3] = {3, 1, 0}, p2[3] = {1, 5, 0}, v[3] = {1, 2, 2};
  double f[9];
  BSrc rc;
  for (BSboolean rh : {TRUE, FALSE}) {
    ASSERT_TRUE(BSlocalcord(&rc, p0, p1, p2, &rh, f));
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(f[i], i % 4 ? 0.0 : i < 8 || rh ? 1.0 : -1.0, 1e-15);
    BStrans2(v, rh, f, &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(f[6 + k], (rh ? v[k] : -v[k]) / 3.0, 1e-15);
    if (rh) expect_orthonormal_right_handed(f, f + 3, f + 6);
  }
}

TEST_F(FramesTest, FrameTransformsRoundTrip) {
  const double v[3] = {0.2, -0.7, 0.4}, origin[3] = {1, -2, 0.5}, scale = 2.5, p[3] = {3, 1, -4};
  double f[9], q[3], back[3];
  BSrc rc;
  BStrans2(v, TRUE, f, &rc);
  ASSERT_TRUE(BSptoldtnw(&rc, origin, f, &scale, p, q));
  EXPECT_NEAR(BSlenvec(&rc, q), scale * BSdistptpt(&rc, p, origin), 1e-13);
  ASSERT_TRUE(BSptnwtold(&rc, origin, f, &scale, q, back));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], p[k], 1e-13);
  // Weighted poles: the point p/w goes through the frame and the weight is kept.
  const double poles[6] = {2, 4, 6, -1, 0, 3}, w[2] = {2, 0.5}, p0[3] = {1, 2, 3};
  double out[6], rb[6];
  BSptsoldtnw(origin, f, scale, 2, TRUE, poles, w, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  BSptoldtnw(&rc, origin, f, &scale, p0, q);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(out[k], 2 * q[k], 1e-13);
  BSptsnwtold(origin, f, scale, 2, TRUE, out, w, rb, &rc);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(rb[k], poles[k], 1e-13);
  BSptsoldtnw(origin, f, scale, 2, FALSE, poles, nullptr, out, &rc);
  BSptsnwtold(origin, f, scale, 2, FALSE, out, nullptr, rb, &rc);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(rb[k], poles[k], 1e-13);
}

TEST_F(FramesTest, FailureStatuses) {
  const double zero[3] = {0, 0, 0}, v[3] = {1, 2, 3}, p0[3] = {1, 1, 0}, p1[3] = {3, 1, 0};
  const double p2[3] = {5, 1, 0}, zs = 0.0;
  double e[9], t[3], s, q[3] = {1, 2, 3}, out[3];
  BSboolean rh = TRUE;
  kwtest::expect_statuses({
      {BSDEGEN, [&](BSrc *rc) { EXPECT_FALSE(BSbasisvect(rc, zero, e, e + 3, e + 6)); }},
      {BSNOMEMORY, [&](BSrc *rc) { EXPECT_FALSE(BStrans1(rc, v, zero, v, v, t, e, &s)); }},
      {BSFAIL, [&](BSrc *rc) { EXPECT_FALSE(BSlocalcord(rc, p0, p1, p2, &rh, e)); }},
      {BSDEGEN, [&](BSrc *rc) { BStrans2(zero, TRUE, e, rc); }},
      {BSDIVZERO, [&](BSrc *rc) { EXPECT_FALSE(BSptnwtold(rc, v, e, &zs, q, out)); }},
      {BSDIVZERO, [&](BSrc *rc) { BSptsnwtold(v, e, 0.0, 1, FALSE, q, nullptr, out, rc); }},
  });
}

}  // namespace
