#include "status_of.hpp"
#include "support.hpp"

namespace {

class LinesPlanesTest : public kwtest::GuardedTest {};

const double kO[3] = {0, 0, 0}, kX[3] = {1, 0, 0};

TEST_F(LinesPlanesTest, SegmentRecord) {
  double poles[6], knots[4];
  BScurve cv{0, 0, 0, 0, poles, 0, knots, 0, poles, 0, 0, 0, nullptr};  // weights made null
  const double p1[3] = {1, 2, 3};
  int32_t kind = 0;
  BSrc rc;
  ASSERT_TRUE(BSptlngen(&rc, kO, p1, &cv, &kind));
  EXPECT_EQ(std::tuple(kind, cv.order, cv.num_poles, cv.num_knots, cv.weights),
            std::tuple(17, 2, 2, 4, nullptr));
  EXPECT_EQ(std::vector<double>(knots, knots + 4), (std::vector<double>{0, 0, 1, 1}));
  EXPECT_EQ(std::vector<double>(poles, poles + 6), (std::vector<double>{0, 0, 0, 1, 2, 3}));
  ASSERT_TRUE(BSptlngen(&rc, p1, p1, &cv, &kind));
  EXPECT_EQ(kind, 18);
  ASSERT_TRUE(BSptlngen(&rc, kO, p1, &cv, nullptr));
  kind = 0;
  EXPECT_TRUE(BSlngen(&rc, kO, p1, &cv, &kind));
  EXPECT_EQ(kind, 17);
}

TEST_F(LinesPlanesTest, RelationOfTwoLines) {
  // a1 a2 b1 b2 and the relation; 0 means a degenerate line (status BSDEGEN).
  const double lines[][12] = {
      {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0},        {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 2, 0},
      {0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 2, 1},        {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0},
      {0, 0, 0, 1, 0, 0, 3, 0, 0, 2, 0, 0},        {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0},
      {0, 0, 0, 1, 0, 0, 2, 0, 0, 1, 0, 0},        {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1 + 1e-4, 0},
      {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1 + 1e-8, 0}, {0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 0},
      {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0},        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  // Two descriptions of one line (four collinear points are coplanar) are the
  // same line in either order; lines sharing their second point meet there (or
  // are one line) without a status; an angle of 1e-4 intersects, 1e-8 is parallel.
  // BSpoint3: whether the four points span a plane (not space, a line or a point).
  const int16_t want[] = {3, 5, 2, 4, 4, 5, 4, 5, 3, 0, 0, 0};
  const bool plane[] = {1, 1, 0, 0, 0, 1, 0, 1, 1, 1, 1, 0};
  for (int i = 0; i < 12; ++i) {
    const double *l = lines[i];
    BSrc rc = 99;
    EXPECT_EQ(BSrelplnln(&rc, l, l + 3, l + 6, l + 9), want[i]) << "case " << i;
    EXPECT_EQ(rc, want[i] ? BSSUCC : BSDEGEN) << "case " << i;
    EXPECT_EQ(BSpoint3(&rc, l, l + 3, l + 6, l + 9) != 0, plane[i]) << "case " << i;
  }
}

TEST_F(LinesPlanesTest, ClosestPointsOfLines) {
  const double p1[3] = {0, 0, 0}, d1[3] = {2, 0, 0}, d3[3] = {-3, 0, 0}, p3[3] = {4, 2, 0};
  BSboolean par = FALSE;
  double dist, q[6], w[3];
  BSrc rc;
  ASSERT_TRUE(BSlldist(&rc, p1, p3, d1, d3, &par, &dist, q, q + 3));
  EXPECT_TRUE(par && std::fabs(dist - 2.0) < 1e-14) << dist;
  // Random skew lines: the connecting segment is perpendicular to both.
  std::mt19937 gen(15);
  std::uniform_real_distribution<double> d(-1, 1);
  for (int t = 0; t < 50; ++t) {
    double a[3], b[3], u[3], v[3];
    for (int k = 0; k < 3; ++k) a[k] = d(gen), b[k] = d(gen), u[k] = d(gen), v[k] = d(gen);
    ASSERT_TRUE(BSlldist(&rc, a, b, u, v, &par, &dist, q, q + 3));
    EXPECT_FALSE(par);
    BSmkvec(&rc, w, q, q + 3);
    EXPECT_NEAR(BSdotp(&rc, w, u), 0.0, 1e-12);
    EXPECT_NEAR(BSdotp(&rc, w, v), 0.0, 1e-12);
    EXPECT_NEAR(BSlenvec(&rc, w), dist, 1e-15);
  }
  // The x and y axes meet at the origin.
  const double y0[3] = {0, -1, 0}, y1[3] = {0, 1, 0};
  ASSERT_TRUE(BSxln(&rc, kO, kX, y0, y1, q));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(q[k], 0.0, 1e-15);
}

TEST_F(LinesPlanesTest, PlaneIntersection) {
  const double n_z[3] = {0, 0, 1}, n_x[3] = {1, 0, 0}, up[3] = {0, 0, 1e-7}, up1[3] = {0, 0, 1};
  int32_t rel = 0;
  double pt[3], dir[3], w[3];
  BSrc rc;
  BSpl_pl(kO, n_z, kO, n_x, &rel, pt, dir, &rc);
  EXPECT_EQ(std::tuple(rel, std::fabs(dir[1]), pt[1]), std::tuple(5, 1.0, 1.0));
  BSpl_pl(kO, n_z, up, n_z, &rel, pt, dir, &rc);
  EXPECT_EQ(rel, 4);
  BSpl_pl(kO, n_z, up1, n_z, &rel, pt, dir, &rc);
  EXPECT_EQ(rel, 3);
  // Random planes: the point lies on both, the unit direction in both.
  std::mt19937 gen(16);
  std::uniform_real_distribution<double> d(-1, 1);
  for (int t = 0; t < 50; ++t) {
    double p[2][3], m[2][3];
    for (int k = 0; k < 6; ++k) p[k / 3][k % 3] = d(gen), m[k / 3][k % 3] = d(gen);
    for (double *n : m) BSnorvec(&rc, n);
    BSpl_pl(p[0], m[0], p[1], m[1], &rel, pt, dir, &rc);
    ASSERT_EQ(rel, 5);
    EXPECT_NEAR(BSlenvec(&rc, dir), 1.0, 1e-14);
    for (int i = 0; i < 2; ++i) {
      BSmkvec(&rc, w, p[i], pt);
      EXPECT_NEAR(BSdotp(&rc, w, m[i]), 0.0, 1e-11);
      EXPECT_NEAR(BSdotp(&rc, dir, m[i]), 0.0, 1e-14);
    }
  }
}

TEST_F(LinesPlanesTest, OverlapOfSegmentsAndDistanceOfLinesCaseByCase) {
  const double a0[3] = {0, 0, 0}, a1[3] = {2, 0, 0};
  // b0 b1, then count, touch, params on a, params on b: overlapping, reversed
  // (ordered along a), touching at an end, apart.
  const double cases[][12] = {{1, 0, 0, 3, 0, 0, 2, 1, 0.5, 1, 0, 0.5},
                              {3, 0, 0, 1, 0, 0, 2, 1, 0.5, 1, 1, 0.5},
                              {2, 0, 0, 2, 5, 0, 1, 1, 1, 0, 0, 0},
                              {0, 1, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0}};
  for (const double *c : cases) {
    int32_t count = -1;
    double pts[6], pa[2], pb[2];
    BSboolean touch = 7;
    BSrc rc;
    BSlnendpt(a0, a1, c, c + 3, &count, pts, pa, pb, &touch, &rc);
    ASSERT_EQ(rc, BSSUCC);
    ASSERT_EQ(std::tuple(count, touch), std::tuple(c[6], c[7]));
    for (int i = 0; i < count; ++i)  // and the point at that parameter of a
      EXPECT_EQ(std::tuple(pa[i], pb[i], pts[3 * i]), std::tuple(c[8 + i], c[10 + i], 2 * pa[i]));
  }
  // BSdistll from the x axis to b: b, then result, where, dist, params: skew, parallel,
  // the same line (nothing more computed), intersecting.
  const double a[6] = {0, 0, 0, 1, 0, 0};
  const double lines[][11] = {{0, 1, 1, 0, 2, 1, 2, 0, 1, 0, -1},
                              {0, 3, 0, 2, 3, 0, 3, 1, 3, 1, 0.5},
                              {5, 0, 0, -2, 0, 0, 4, 2, 0, 0, 0},
                              {0.5, -1, 0, 0.5, 3, 0, 1, 3, 0, 0.5, 0.25}};
  for (const double *c : lines) {
    int32_t where = 9;
    double dist = -1, pts[6], par[2];
    BSrc rc;
    EXPECT_EQ(std::tuple(BSdistll(&rc, a, c, &where, &dist, pts, par), rc, where),
              std::tuple(c[6], BSSUCC, c[7]));
    if (where == 2) continue;
    EXPECT_NEAR(dist, c[8], 1e-15);
    for (int k = 0; k < 3; ++k) {  // q1 = a at par[0], q2 = b at par[1]
      EXPECT_NEAR(pts[k], a[k] + c[9] * (a[3 + k] - a[k]), 1e-15);
      EXPECT_NEAR(pts[3 + k], c[k] + c[10] * (c[3 + k] - c[k]), 1e-15);
    }
    EXPECT_NEAR(std::hypot(par[0] - c[9], par[1] - c[10]), 0.0, 1e-15);
  }
}

// Every failure status once. BSlldist reports a zero direction with FALSE, not
// with its usual TRUE.
TEST_F(LinesPlanesTest, FailureStatuses) {
  const double p1[3] = {1, 2, 3}, zero[3] = {0, 0, 0}, d3[3] = {-3, 0, 0},
               a[6] = {0, 0, 0, 1, 0, 0};
  const double y1[3] = {0, 1, 0}, xy1[3] = {1, 1, 0}, s0[3] = {3, 0, 0}, s1[3] = {5, 0, 0};
  const double z1[3] = {0, 0, 1}, yz1[3] = {0, 1, 1}, deg[6] = {1, 1, 1, 1, 1, 1};
  double poles[6], knots[4], dist, q1[3], q2[3], pts[6], par[2];
  BScurve cv{}, no_knots{};
  cv.poles = no_knots.poles = poles;
  cv.knots = knots;
  int32_t kind, count, where = 9;
  BSboolean parallel, touch;
  kwtest::expect_statuses({
      {BSNULLPTR, [&](BSrc *rc) { EXPECT_FALSE(BSptlngen(rc, nullptr, p1, &cv, &kind)); }},
      {BSNULLPTR, [&](BSrc *rc) { EXPECT_FALSE(BSptlngen(rc, kO, p1, &no_knots, &kind)); }},
      {BSNULLPTR, [&](BSrc *rc) { EXPECT_FALSE(BSlngen(rc, kO, p1, nullptr, &kind)); }},
      {BSDEGEN, [&](BSrc *rc) { EXPECT_FALSE(BSlngen(rc, p1, p1, &cv, &kind)); }},
      {BSDEGEN,
       [&](BSrc *rc) { EXPECT_FALSE(BSlldist(rc, kO, p1, zero, d3, &parallel, &dist, q1, q2)); }},
      {45, [&](BSrc *rc) { EXPECT_FALSE(BSxln(rc, kO, kX, y1, xy1, q1)); }},
      {46, [&](BSrc *rc) { EXPECT_FALSE(BSxln(rc, kO, kX, s0, s1, q1)); }},
      {43, [&](BSrc *rc) { EXPECT_FALSE(BSxln(rc, kO, kX, z1, yz1, q1)); }},
      {BSDEGEN, [&](BSrc *rc) { EXPECT_FALSE(BSxln(rc, kO, kO, z1, yz1, q1)); }},
      {BSDEGEN, [&](BSrc *rc) { BSlnendpt(kO, kO, y1, xy1, &count, pts, par, par, &touch, rc); }},
      {BSDEGEN, [&](BSrc *rc) { EXPECT_EQ(BSdistll(rc, a, deg, &where, &dist, pts, par), 0); }},
  });
  EXPECT_EQ(where, -1);  // BSdistll on failure
}

}  // namespace
