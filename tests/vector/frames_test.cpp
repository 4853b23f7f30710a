#include <cmath>
#include <random>

#include "support.hpp"

namespace {

class FramesTest : public kwtest::GuardedTest {};

void expect_orthonormal_right_handed(const double *e1, const double *e2, const double *e3) {
  BSrc rc;
  EXPECT_NEAR(BSdotp(&rc, e1, e1), 1.0, 1e-15);
  EXPECT_NEAR(BSdotp(&rc, e2, e2), 1.0, 1e-15);
  EXPECT_NEAR(BSdotp(&rc, e1, e2), 0.0, 1e-15);
  double c[3];
  BScrossp(&rc, e1, e2, c);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[k], e3[k], 1e-15);
}

TEST_F(FramesTest, BasisExamples) {
  double e1[3], e2[3], e3[3];
  BSrc rc;
  const double v[3] = {0, 0, -5};
  ASSERT_TRUE(BSbasisvect(&rc, v, e1, e2, e3));
  EXPECT_EQ(e1[2], -1.0);
  EXPECT_EQ(e2[1], 1.0);
  EXPECT_EQ(e3[0], 1.0);
  const double w[3] = {1, 1, 0};
  ASSERT_TRUE(BSbasisvect(&rc, w, e1, e2, e3));
  const double h = std::sqrt(0.5);
  EXPECT_NEAR(e1[0], h, 2e-16);
  EXPECT_NEAR(e2[0], -h, 2e-16);
  EXPECT_NEAR(e2[1], h, 2e-16);
  EXPECT_NEAR(e3[2], 1.0, 1e-16);
  const double zero[3] = {0, 0, 0};
  EXPECT_FALSE(BSbasisvect(&rc, zero, e1, e2, e3));
  EXPECT_EQ(rc, BSDEGEN);
}

TEST_F(FramesTest, BasisIsRightHandedForRandomVectors) {
  std::mt19937 gen(6);
  std::uniform_real_distribution<double> d(-1, 1);
  for (int t = 0; t < 200; ++t) {
    double v[3] = {d(gen), d(gen), d(gen)}, e1[3], e2[3], e3[3];
    if (t % 5 == 0) v[t % 3] = 0.0;
    if (t % 7 == 0) v[0] = v[1];
    BSrc rc;
    ASSERT_TRUE(BSbasisvect(&rc, v, e1, e2, e3));
    expect_orthonormal_right_handed(e1, e2, e3);
    const double l = BSlenvec(&rc, v);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(e1[k], v[k] / l, 1e-15);
  }
  for (double s : {1.0, -1.0})
    for (int axis = 0; axis < 3; ++axis) {
      double v[3] = {0, 0, 0}, e1[3], e2[3], e3[3];
      v[axis] = s;
      BSrc rc;
      BSbasisvect(&rc, v, e1, e2, e3);
      expect_orthonormal_right_handed(e1, e2, e3);
    }
}

TEST_F(FramesTest, RigidMotionExampleAndRandom) {
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
    double a[3], b[3], va[3], vb[3];
    for (int k = 0; k < 3; ++k) a[k] = d(gen), b[k] = d(gen), va[k] = d(gen), vb[k] = d(gen);
    ASSERT_TRUE(BStrans1(&rc, a, va, b, vb, t, r, &s));
    // x -> r^T x + t carries b to a and the direction of vb onto that of va.
    double img[3], dir[3];
    for (int i = 0; i < 3; ++i) {
      img[i] = t[i];
      dir[i] = 0.0;
      for (int k = 0; k < 3; ++k) img[i] += r[k * 3 + i] * b[k], dir[i] += r[k * 3 + i] * vb[k];
    }
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(img[i], a[i], 1e-13);
    const double la = BSlenvec(&rc, va), lb = BSlenvec(&rc, vb);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(dir[i] / lb, va[i] / la, 1e-13);
  }
  const double zero[3] = {0, 0, 0};
  EXPECT_FALSE(BStrans1(&rc, pa, zero, pb, v, t, r, &s));
  EXPECT_EQ(rc, BSNOMEMORY);
}

TEST_F(FramesTest, LocalFrameFromPoints) {
  const double p0[3] = {1, 1, 0}, p1[3] = {3, 1, 0}, p2[3] = {1, 5, 0};
  double f[9];
  BSrc rc;
  BSboolean rh = TRUE;
  ASSERT_TRUE(BSlocalcord(&rc, p0, p1, p2, &rh, f));
  const double want[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(f[i], want[i], 1e-15);
  rh = FALSE;
  ASSERT_TRUE(BSlocalcord(&rc, p0, p1, p2, &rh, f));
  EXPECT_EQ(f[8], -1.0);
  const double c[3] = {5, 1, 0};
  EXPECT_FALSE(BSlocalcord(&rc, p0, p1, c, &rh, f));
  EXPECT_EQ(rc, BSFAIL);
}

TEST_F(FramesTest, FrameAlongVector) {
  const double v[3] = {1, 2, 2};
  double f[9];
  BSrc rc;
  BStrans2(v, TRUE, f, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(f[6 + k], v[k] / 3.0, 1e-15);
  expect_orthonormal_right_handed(f, f + 3, f + 6);
  BStrans2(v, FALSE, f, &rc);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(f[6 + k], -v[k] / 3.0, 1e-15);
  const double zero[3] = {0, 0, 0};
  BStrans2(zero, TRUE, f, &rc);
  EXPECT_EQ(rc, BSDEGEN);
}

TEST_F(FramesTest, FrameTransformsRoundTrip) {
  const double v[3] = {0.2, -0.7, 0.4}, origin[3] = {1, -2, 0.5};
  double f[9];
  BSrc rc;
  BStrans2(v, TRUE, f, &rc);
  const double scale = 2.5;
  const double p[3] = {3, 1, -4};
  double q[3], back[3];
  ASSERT_TRUE(BSptoldtnw(&rc, origin, f, &scale, p, q));
  EXPECT_NEAR(BSlenvec(&rc, q), scale * BSdistptpt(&rc, p, origin), 1e-13);
  ASSERT_TRUE(BSptnwtold(&rc, origin, f, &scale, q, back));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], p[k], 1e-13);
  const double zero_scale = 0.0;
  EXPECT_FALSE(BSptnwtold(&rc, origin, f, &zero_scale, q, back));
  EXPECT_EQ(rc, BSDIVZERO);

  // Weighted poles: the point p/w goes through the frame and the weight is kept.
  const double poles[6] = {2, 4, 6, -1, 0, 3}, w[2] = {2, 0.5};
  double out[6], rb[6];
  BSptsoldtnw(origin, f, scale, 2, TRUE, poles, w, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  double p0[3] = {1, 2, 3}, q0[3];
  BSptoldtnw(&rc, origin, f, &scale, p0, q0);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(out[k], 2 * q0[k], 1e-13);
  BSptsnwtold(origin, f, scale, 2, TRUE, out, w, rb, &rc);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(rb[k], poles[k], 1e-13);
  BSptsoldtnw(origin, f, scale, 2, FALSE, poles, nullptr, out, &rc);
  BSptsnwtold(origin, f, scale, 2, FALSE, out, nullptr, rb, &rc);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(rb[k], poles[k], 1e-13);
  BSptsnwtold(origin, f, 0.0, 2, FALSE, out, nullptr, rb, &rc);
  EXPECT_EQ(rc, BSDIVZERO);
}

}  // namespace
