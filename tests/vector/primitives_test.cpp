#include <cmath>
#include <random>

#include "support.hpp"

namespace {

class PrimitivesTest : public kwtest::GuardedTest {};

constexpr double kPi = 3.141592653589793;

TEST_F(PrimitivesTest, ElementaryMembers) {
  const double a[3] = {1, 2, 3}, b[3] = {4, -5, 6};
  double out[3];
  BSrc rc = 7;
  EXPECT_EQ(BSdotp(&rc, a, b), 12.0);
  EXPECT_EQ(rc, BSSUCC);
  ASSERT_TRUE(BScrossp(&rc, a, b, out));
  EXPECT_EQ(out[0], 2 * 6 - 3 * -5);
  EXPECT_EQ(out[1], 3 * 4 - 1 * 6);
  EXPECT_EQ(out[2], 1 * -5 - 2 * 4);
  EXPECT_EQ(BSlenvecsq(&rc, a), 14.0);
  EXPECT_EQ(BSlenvec(&rc, a), std::sqrt(14.0));
  ASSERT_TRUE(BSmkvec(&rc, out, a, b));
  EXPECT_EQ(out[1], -7.0);
  EXPECT_EQ(BSdistptpts(&rc, a, b), 9 + 49 + 9);
  EXPECT_EQ(BSdistptpt(&rc, a, b), std::sqrt(67.0));
  const double wp = 2.0, wq = 0.5;
  const double p[3] = {2, 4, 6}, q[3] = {2, -2.5, 3};  // stand for a and b
  EXPECT_NEAR(BSdistwpwps(&rc, p, &wp, q, &wq), 67.0, 1e-13);
  EXPECT_NEAR(BSdistwpwp(&rc, p, &wp, q, &wq), std::sqrt(67.0), 1e-14);
  double d;
  const double n[3] = {0, 0, 1}, o[3] = {5, 5, 1};
  ASSERT_TRUE(BSdistptpl(&rc, a, o, n, &d));
  EXPECT_EQ(d, 2.0);
  const double dir[3] = {1, 0, 0};
  ASSERT_TRUE(BSproj1(&rc, o, dir, a, out));
  EXPECT_EQ(out[0], 1.0);
  EXPECT_EQ(out[1], 5.0);
  const double near[3] = {1 + 5e-7, 2, 3};
  EXPECT_FALSE(BSdistnct2(&rc, a, near));
  EXPECT_TRUE(BSdistnct2(&rc, a, b));
}

TEST_F(PrimitivesTest, NormaliseThreshold) {
  double v[3] = {0, 0, 1e-147};
  BSrc rc;
  EXPECT_FALSE(BSnorvec(&rc, v));
  EXPECT_EQ(rc, BSDEGEN);
  EXPECT_EQ(v[2], 1e-147);
  double w[3] = {0, 0, 1e-145};
  EXPECT_TRUE(BSnorvec(&rc, w));
  EXPECT_EQ(w[2], 1.0);
  double u[3] = {3, 0, 4};
  BSnorvec(&rc, u);
  EXPECT_DOUBLE_EQ(u[0], 0.6);
}

TEST_F(PrimitivesTest, ProjectionOntoLine) {
  const double line[6] = {0, 0, 0, 2, 0, 0}, p[3] = {1.5, 3, 4};
  double out[3];
  BSrc rc;
  ASSERT_TRUE(BSproj0(&rc, p, line, out));
  EXPECT_EQ(out[0], 1.5);
  EXPECT_EQ(out[1], 0.0);
  const double degenerate[6] = {1, 1, 1, 1, 1, 1};
  EXPECT_FALSE(BSproj0(&rc, p, degenerate, out));
  EXPECT_EQ(rc, BSDEGENLINE);
  EXPECT_EQ(out[0], 1.0);
}

TEST_F(PrimitivesTest, DistanceFromLine) {
  const double p0[3] = {0, 0, 0}, p1[3] = {0, 0, 2}, q[3] = {3, 4, 7};
  double d = -1;
  BSrc rc;
  ASSERT_TRUE(BSdistptli(&rc, q, p0, p1, &d));
  EXPECT_DOUBLE_EQ(d, 5.0);
  const double short_end[3] = {0, 0, 5e-7};
  EXPECT_FALSE(BSdistptli(&rc, q, p0, short_end, &d));
  EXPECT_EQ(rc, 8);
}

TEST_F(PrimitivesTest, AngleAroundReference) {
  const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, up[3] = {0, 0, 1}, down[3] = {0, 0, -1};
  double a;
  BSrc rc;
  BSang2vec(x, y, up, &a, &rc);
  EXPECT_DOUBLE_EQ(a, kPi / 2);
  BSang2vec(x, y, down, &a, &rc);
  EXPECT_DOUBLE_EQ(a, 3 * kPi / 2);
  BSang2vec(x, x, up, &a, &rc);
  EXPECT_EQ(a, 0.0);
  EXPECT_EQ(rc, BSSUCC);
}

TEST_F(PrimitivesTest, PositionOnSegment) {
  const double p0[3] = {0, 0, 0}, p1[3] = {2, 0, 0};
  const double start[3] = {0, 0, 0}, mid[3] = {1, 0, 0}, beyond[3] = {3, 0, 0}, end[3] = {2, 0, 0};
  int32_t where = -1;
  double param = -5;
  BSrc rc;
  BSprptonln(p0, p1, start, &where, &param, &rc);
  EXPECT_EQ(where, 1);
  EXPECT_EQ(param, 0.0);
  BSprptonln(p0, p1, mid, &where, &param, &rc);
  EXPECT_EQ(where, 2);
  EXPECT_EQ(param, 0.5);
  param = -5;
  BSprptonln(p0, p1, beyond, &where, &param, &rc);
  EXPECT_EQ(where, 0);
  EXPECT_EQ(param, -5.0);
  BSprptonln(p0, p0, mid, &where, &param, &rc);
  EXPECT_EQ(rc, BSDEGEN);

  BSboolean on = FALSE;
  ASSERT_TRUE(BSpt_on_lne(&rc, p0, p1, end, &param, &on));
  EXPECT_TRUE(on);
  ASSERT_TRUE(BSpt_on_ln2(&rc, p0, p1, end, &param, &on));
  EXPECT_FALSE(on);
  ASSERT_TRUE(BSpt_on_ln2(&rc, p0, p1, mid, &param, &on));
  EXPECT_TRUE(on);
  EXPECT_FALSE(BSpt_on_lne(&rc, p0, p0, mid, &param, &on));
  EXPECT_EQ(rc, BSFAIL);
  EXPECT_FALSE(BSpt_on_ln2(&rc, p0, p0, mid, &param, &on));
  EXPECT_EQ(rc, BSFAIL);
}

TEST_F(PrimitivesTest, RotationPreservesDistanceToAxis) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> d(-3, 3);
  for (int trial = 0; trial < 50; ++trial) {
    double a0[3], a1[3], p[3], out[3];
    for (int k = 0; k < 3; ++k) a0[k] = d(gen), a1[k] = d(gen), p[k] = d(gen);
    const double angle = d(gen);
    const BSboolean rev = trial % 2;
    BSrc rc;
    ASSERT_TRUE(BSroto(&rc, a0, a1, &rev, &angle, p, out));
    double da, db;
    BSdistptli(&rc, p, a0, a1, &da);
    BSdistptli(&rc, out, a0, a1, &db);
    EXPECT_NEAR(da, db, 1e-12);
    EXPECT_NEAR(BSdistptpt(&rc, p, a0), BSdistptpt(&rc, out, a0), 1e-12);
    // Rotating back by the opposite angle (same angle, reversed axis) returns.
    const BSboolean other = !rev;
    double back[3];
    BSroto(&rc, a0, a1, &other, &angle, out, back);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], p[k], 1e-12);
  }
  const double a0[3] = {0, 0, 0}, a1[3] = {0, 0, 1}, p[3] = {1, 0, 5};
  const double quarter = kPi / 2;
  const BSboolean no = FALSE;
  double out[3];
  BSrc rc;
  BSroto(&rc, a0, a1, &no, &quarter, p, out);
  EXPECT_NEAR(out[0], 0.0, 1e-15);
  EXPECT_NEAR(out[1], 1.0, 1e-15);
  EXPECT_EQ(out[2], 5.0);
  EXPECT_FALSE(BSroto(&rc, a0, a0, &no, &quarter, p, out));
  EXPECT_EQ(rc, BSDEGENLINE);
}

TEST_F(PrimitivesTest, PolygonLength) {
  const double pts[9] = {0, 0, 0, 3, 4, 0, 3, 4, 12};
  const int32_t n = 3;
  double len = -1;
  BSrc rc;
  ASSERT_TRUE(BScumdist(&rc, &n, pts, nullptr, &len));
  EXPECT_EQ(len, 17.0);
  const double wpts[9] = {0, 0, 0, 6, 8, 0, 3, 4, 12};
  const double w[3] = {1, 2, 1};
  ASSERT_TRUE(BScumdist(&rc, &n, wpts, w, &len));
  EXPECT_EQ(len, 17.0);
  const double bad[3] = {1, 0, 1};
  EXPECT_FALSE(BScumdist(&rc, &n, wpts, bad, &len));
  EXPECT_EQ(rc, BSDIVZERO);
  EXPECT_EQ(len, 0.0);
  const double nan[3] = {1, std::nan(""), 1};
  EXPECT_FALSE(BScumdist(&rc, &n, wpts, nan, &len));
  EXPECT_EQ(rc, BSDIVZERO);
}

}  // namespace

namespace {

TEST(PrimitivesHotPath, NoHeapRequests) {
  kwtest::reset_library_state();
  const double a0[3] = {0, 0, 0}, a1[3] = {0, 0, 1}, p[3] = {1, 2, 3}, line[6] = {0, 0, 0, 1, 1, 0};
  const double plane[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
  double out[3], d;
  const double angle = 0.3;
  const BSboolean no = FALSE;
  int32_t code;
  double normal[3];
  BSrc rc;
  kwtest::NoHeapScope scope;
  for (int i = 0; i < 100; ++i) {
    BSroto(&rc, a0, a1, &no, &angle, p, out);
    BSproj0(&rc, p, line, out);
    BSdistptli(&rc, p, a0, a1, &d);
    BSplanar2(4, plane, nullptr, &code, normal, &rc);
    BSrelplnln(&rc, a0, a1, line, line + 3);
  }
  EXPECT_EQ(scope.heap_requests(), 0);
  EXPECT_EQ(code, 3);
}

}  // namespace
