#include <cmath>
#include <random>

#include "support.hpp"

namespace {

class LinesPlanesTest : public kwtest::GuardedTest {};

const double kO[3] = {0, 0, 0}, kX[3] = {1, 0, 0};

TEST_F(LinesPlanesTest, SegmentRecord) {
  double poles[6], knots[4];
  BScurve cv{};
  cv.poles = poles;
  cv.knots = knots;
  cv.weights = poles;  // replaced by null
  const double p1[3] = {1, 2, 3};
  int32_t kind = 0;
  BSrc rc;
  ASSERT_TRUE(BSptlngen(&rc, kO, p1, &cv, &kind));
  EXPECT_EQ(kind, 17);
  EXPECT_EQ(cv.order, 2);
  EXPECT_EQ(cv.num_poles, 2);
  EXPECT_EQ(cv.num_knots, 4);
  EXPECT_EQ(cv.weights, nullptr);
  EXPECT_EQ(knots[1], 0.0);
  EXPECT_EQ(knots[2], 1.0);
  EXPECT_EQ(poles[5], 3.0);
  ASSERT_TRUE(BSptlngen(&rc, p1, p1, &cv, &kind));
  EXPECT_EQ(kind, 18);
  ASSERT_TRUE(BSptlngen(&rc, kO, p1, &cv, nullptr));
  EXPECT_FALSE(BSlngen(&rc, p1, p1, &cv, &kind));
  EXPECT_EQ(rc, BSDEGEN);
  kind = 0;
  EXPECT_TRUE(BSlngen(&rc, kO, p1, &cv, &kind));
  EXPECT_EQ(kind, 17);
  EXPECT_FALSE(BSptlngen(&rc, nullptr, p1, &cv, &kind));
  EXPECT_EQ(rc, BSNULLPTR);
  cv.knots = nullptr;
  EXPECT_FALSE(BSptlngen(&rc, kO, p1, &cv, &kind));
  EXPECT_EQ(rc, BSNULLPTR);
  EXPECT_FALSE(BSlngen(&rc, kO, p1, nullptr, &kind));
  EXPECT_EQ(rc, BSNULLPTR);
}

TEST_F(LinesPlanesTest, FourPointsSpanningAPlane) {
  const double y[3] = {0, 1, 0}, z[3] = {0, 0, 1}, xy[3] = {1, 1, 0}, x2[3] = {2, 0, 0};
  BSrc rc;
  EXPECT_TRUE(BSpoint3(&rc, kO, kX, y, xy));
  EXPECT_FALSE(BSpoint3(&rc, kO, kX, y, z));    // space
  EXPECT_FALSE(BSpoint3(&rc, kO, kX, x2, x2));  // a line
  EXPECT_FALSE(BSpoint3(&rc, kO, kO, kO, kO));  // a point
}

TEST_F(LinesPlanesTest, RelationsOfConstructedLines) {
  BSrc rc;
  const double b1[3] = {0, 1, 0}, b2[3] = {1, 1, 0};
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, b1, b2), 3);
  const double c2[3] = {0, 2, 0};
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, b1, c2), 5);
  const double d1[3] = {0, 1, 1}, d2[3] = {0, 2, 1};
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, d1, d2), 2);
  // Two descriptions of one line are the same line.
  const double e1[3] = {2, 0, 0}, e2[3] = {3, 0, 0};
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, e1, e2), 4);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, e2, e1), 4);
  // Lines that share their second point intersect there; no status.
  const double f1[3] = {0, 1, 0};
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, f1, kX), 5);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, e1, kX), 4);
  EXPECT_EQ(rc, BSSUCC);
  // Near-parallel: an angle of 1e-4 still intersects, 1e-8 is parallel.
  const double g2[3] = {1, 1 + 1e-4, 0}, h2[3] = {1, 1 + 1e-8, 0};
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, b1, g2), 5);
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, b1, h2), 3);
  // Degenerate lines.
  EXPECT_EQ(BSrelplnln(&rc, kO, kO, b1, b2), 0);
  EXPECT_EQ(rc, BSDEGEN);
  EXPECT_EQ(BSrelplnln(&rc, kO, kX, b1, b1), 0);
  EXPECT_EQ(rc, BSDEGEN);
}

TEST_F(LinesPlanesTest, ClosestPointsOfLines) {
  const double p1[3] = {0, 0, 0}, d1[3] = {2, 0, 0}, p2[3] = {5, -3, 1}, d2[3] = {0, 4, 0};
  BSboolean par = TRUE;
  double dist, q1[3], q2[3];
  BSrc rc;
  ASSERT_TRUE(BSlldist(&rc, p1, p2, d1, d2, &par, &dist, q1, q2));
  EXPECT_FALSE(par);
  EXPECT_NEAR(dist, 1.0, 1e-14);
  EXPECT_NEAR(q1[0], 5.0, 1e-14);
  EXPECT_NEAR(q2[1], 0.0, 1e-14);
  EXPECT_NEAR(q2[2], 1.0, 1e-14);
  // Random skew lines: the connecting segment is perpendicular to both.
  std::mt19937 gen(15);
  std::uniform_real_distribution<double> d(-1, 1);
  for (int t = 0; t < 50; ++t) {
    double a[3], b[3], u[3], v[3], w[3];
    for (int k = 0; k < 3; ++k) a[k] = d(gen), b[k] = d(gen), u[k] = d(gen), v[k] = d(gen);
    ASSERT_TRUE(BSlldist(&rc, a, b, u, v, &par, &dist, q1, q2));
    BSmkvec(&rc, w, q1, q2);
    EXPECT_NEAR(BSdotp(&rc, w, u), 0.0, 1e-12);
    EXPECT_NEAR(BSdotp(&rc, w, v), 0.0, 1e-12);
    EXPECT_NEAR(BSlenvec(&rc, w), dist, 1e-15);
  }
  // Parallel directions.
  const double d3[3] = {-3, 0, 0}, p3[3] = {4, 2, 0};
  ASSERT_TRUE(BSlldist(&rc, p1, p3, d1, d3, &par, &dist, q1, q2));
  EXPECT_TRUE(par);
  EXPECT_NEAR(dist, 2.0, 1e-14);
  const double zero[3] = {0, 0, 0};
  EXPECT_FALSE(BSlldist(&rc, p1, p3, zero, d3, &par, &dist, q1, q2));
  EXPECT_EQ(rc, BSDEGEN);
}

TEST_F(LinesPlanesTest, IntersectionOfLines) {
  const double y0[3] = {0, -1, 0}, y1[3] = {0, 1, 0};
  double x[3] = {9, 9, 9};
  BSrc rc;
  ASSERT_TRUE(BSxln(&rc, kO, kX, y0, y1, x));
  for (double c : x) EXPECT_NEAR(c, 0.0, 1e-15);
  const double p0[3] = {0, 1, 0}, p1[3] = {1, 1, 0};
  EXPECT_FALSE(BSxln(&rc, kO, kX, p0, p1, x));
  EXPECT_EQ(rc, 45);
  const double s0[3] = {3, 0, 0}, s1[3] = {5, 0, 0};
  EXPECT_FALSE(BSxln(&rc, kO, kX, s0, s1, x));
  EXPECT_EQ(rc, 46);
  const double k0[3] = {0, 0, 1}, k1[3] = {0, 1, 1};
  EXPECT_FALSE(BSxln(&rc, kO, kX, k0, k1, x));
  EXPECT_EQ(rc, 43);
  EXPECT_FALSE(BSxln(&rc, kO, kO, k0, k1, x));
  EXPECT_EQ(rc, BSDEGEN);
}

TEST_F(LinesPlanesTest, PlaneIntersection) {
  const double n_z[3] = {0, 0, 1}, n_x[3] = {1, 0, 0};
  int32_t rel = 0;
  double pt[3], dir[3];
  BSrc rc;
  BSpl_pl(kO, n_z, kO, n_x, &rel, pt, dir, &rc);
  EXPECT_EQ(rel, 5);
  EXPECT_EQ(std::fabs(dir[1]), 1.0);
  EXPECT_EQ(pt[1], 1.0);
  EXPECT_NEAR(pt[0], 0.0, 1e-15);
  EXPECT_NEAR(pt[2], 0.0, 1e-15);
  const double up[3] = {0, 0, 1e-7}, up1[3] = {0, 0, 1};
  BSpl_pl(kO, n_z, up, n_z, &rel, pt, dir, &rc);
  EXPECT_EQ(rel, 4);
  BSpl_pl(kO, n_z, up1, n_z, &rel, pt, dir, &rc);
  EXPECT_EQ(rel, 3);
  // Random planes: the point lies on both, the direction in both.
  std::mt19937 gen(16);
  std::uniform_real_distribution<double> d(-1, 1);
  for (int t = 0; t < 50; ++t) {
    double p1[3], p2[3], m1[3], m2[3], w[3];
    for (int k = 0; k < 3; ++k) p1[k] = d(gen), p2[k] = d(gen), m1[k] = d(gen), m2[k] = d(gen);
    BSnorvec(&rc, m1);
    BSnorvec(&rc, m2);
    BSpl_pl(p1, m1, p2, m2, &rel, pt, dir, &rc);
    ASSERT_EQ(rel, 5);
    BSmkvec(&rc, w, p1, pt);
    EXPECT_NEAR(BSdotp(&rc, w, m1), 0.0, 1e-11);
    BSmkvec(&rc, w, p2, pt);
    EXPECT_NEAR(BSdotp(&rc, w, m2), 0.0, 1e-11);
    EXPECT_NEAR(BSdotp(&rc, dir, m1), 0.0, 1e-14);
    EXPECT_NEAR(BSlenvec(&rc, dir), 1.0, 1e-14);
  }
}

TEST_F(LinesPlanesTest, OverlapOfSegments) {
  const double a0[3] = {0, 0, 0}, a1[3] = {2, 0, 0}, b0[3] = {1, 0, 0}, b1[3] = {3, 0, 0};
  int32_t count = -1;
  double pts[6], pa[2], pb[2];
  BSboolean touch = FALSE;
  BSrc rc;
  BSlnendpt(a0, a1, b0, b1, &count, pts, pa, pb, &touch, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(pts[0], 1.0);
  EXPECT_EQ(pts[3], 2.0);
  EXPECT_EQ(pa[0], 0.5);
  EXPECT_EQ(pa[1], 1.0);
  EXPECT_EQ(pb[0], 0.0);
  EXPECT_EQ(pb[1], 0.5);
  EXPECT_TRUE(touch);
  // Reversed b: ordered along a.
  BSlnendpt(a0, a1, b1, b0, &count, pts, pa, pb, &touch, &rc);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(pa[0], 0.5);
  EXPECT_EQ(pb[0], 1.0);
  EXPECT_EQ(pb[1], 0.5);
  // Touching at one end point.
  const double c0[3] = {2, 0, 0}, c1[3] = {2, 5, 0};
  BSlnendpt(a0, a1, c0, c1, &count, pts, pa, pb, &touch, &rc);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(pa[0], 1.0);
  // Apart.
  const double e0[3] = {0, 1, 0}, e1[3] = {2, 1, 0};
  BSlnendpt(a0, a1, e0, e1, &count, pts, pa, pb, &touch, &rc);
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(touch);
  // Degenerate segment.
  BSlnendpt(a0, a0, e0, e1, &count, pts, pa, pb, &touch, &rc);
  EXPECT_EQ(rc, BSDEGEN);
}

TEST_F(LinesPlanesTest, DistanceOfLinesCaseByCase) {
  int32_t where = 9;
  double dist = -1, pts[6], par[2];
  BSrc rc;
  const double a[6] = {0, 0, 0, 1, 0, 0};
  const double skew[6] = {0, 1, 1, 0, 2, 1};
  EXPECT_EQ(BSdistll(&rc, a, skew, &where, &dist, pts, par), 2);
  EXPECT_EQ(where, 0);
  EXPECT_NEAR(dist, 1.0, 1e-15);
  EXPECT_NEAR(pts[0], 0.0, 1e-15);
  EXPECT_NEAR(pts[5], 1.0, 1e-15);
  EXPECT_NEAR(par[0], 0.0, 1e-15);
  EXPECT_NEAR(par[1], -1.0, 1e-15);

  const double par_b[6] = {0, 3, 0, 2, 3, 0};
  EXPECT_EQ(BSdistll(&rc, a, par_b, &where, &dist, pts, par), 3);
  EXPECT_EQ(where, 1);
  EXPECT_NEAR(dist, 3.0, 1e-15);
  EXPECT_EQ(par[0], 1.0);
  EXPECT_NEAR(par[1], 0.5, 1e-15);

  const double same[6] = {5, 0, 0, -2, 0, 0};
  EXPECT_EQ(BSdistll(&rc, a, same, &where, &dist, pts, par), 4);
  EXPECT_EQ(where, 2);
  EXPECT_EQ(rc, BSSUCC);

  const double cross[6] = {0.5, -1, 0, 0.5, 3, 0};
  EXPECT_EQ(BSdistll(&rc, a, cross, &where, &dist, pts, par), TRUE);
  EXPECT_EQ(where, 3);
  EXPECT_NEAR(pts[0], 0.5, 1e-15);
  EXPECT_NEAR(par[0], 0.5, 1e-15);
  EXPECT_NEAR(par[1], 0.25, 1e-15);

  const double degenerate[6] = {1, 1, 1, 1, 1, 1};
  EXPECT_EQ(BSdistll(&rc, a, degenerate, &where, &dist, pts, par), 0);
  EXPECT_EQ(rc, BSDEGEN);
  EXPECT_EQ(where, -1);
}

}  // namespace

namespace {

TEST_F(LinesPlanesTest, ScratchFailuresInTheCoplanarityTest) {
  const double a[6] = {0, 0, 0, 1, 0, 0}, b[6] = {0, 1, 1, 0, 2, 1};
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSrelplnln(&rc, a, a + 3, b, b + 3);
        return rc;
      },
      {BSNOSTKMEMORY});
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        int32_t where;
        double dist, pts[6], par[2];
        const int16_t r = BSdistll(&rc, a, b, &where, &dist, pts, par);
        if (rc != BSSUCC) {
          EXPECT_EQ(r, 0);
        }
        return rc;
      },
      {BSNOSTKMEMORY});
}

}  // namespace
