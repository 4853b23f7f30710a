#include "status_of.hpp"
#include "support.hpp"

namespace {

class PointSetsTest : public kwtest::GuardedTest {};

// n points spread over a point (dim 0), a line (1), a plane (2) or space (3),
// each moved by +-noise along the directions the set does not span. axis gets
// the line direction (dim 1) or the plane normal (dim 2).
std::vector<double> make_set(std::mt19937 &gen, int dim, int n, double noise, double *axis) {
  std::uniform_real_distribution<double> d(-1, 1);
  const double base[3] = {d(gen) * 10, d(gen) * 10, d(gen) * 10}, v[3] = {d(gen), d(gen), d(gen)};
  double axes[3][3];
  BSrc rc;
  BSbasisvect(&rc, v, axes[0], axes[1], axes[2]);
  for (int k = 0; k < 3; ++k) axis[k] = axes[dim == 1 ? 0 : 2][k];
  std::vector<double> pts(3 * n);
  for (int i = 0; i < n; ++i)
    for (int a = 0; a < 3; ++a) {
      const double c = a < dim ? 5 * d(gen) : noise * ((i + a) % 2 ? 1 : -1);
      for (int k = 0; k < 3; ++k) pts[3 * i + k] += (a == 0 ? base[k] : 0.0) + c * axes[a][k];
    }
  return pts;
}

TEST_F(PointSetsTest, NoiseBelowTheToleranceKeepsTheClassAboveItRaisesIt) {
  std::mt19937 gen(10);
  const int32_t want_class[4] = {0, 1, -1, -7};
  for (int dim = 0; dim < 4; ++dim)
    for (int n = 4; n < 14; ++n) {
      double axis[3], c[3], dir[3] = {7, 7, 7}, mean[3] = {0, 0, 0};
      auto pts = make_set(gen, dim, n, 1e-8, axis);
      for (int i = 0; i < 3 * n; ++i) mean[i % 3] += pts[i] / n;
      int32_t cls = 99;
      BSrc rc;
      BSgmprppts3(n, pts.data(), 1e-6, &cls, c, dir, &rc);
      ASSERT_EQ(rc, BSSUCC);
      EXPECT_EQ(cls, want_class[dim]) << "dim " << dim;
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[k], mean[k], 1e-12);
      // the unit line direction or plane normal; not written for a point or space
      EXPECT_NEAR(dim == 1 || dim == 2 ? std::fabs(BSdotp(&rc, dir, axis)) : dir[0] / 7, 1.0,
                  1e-12);
      if (dim == 3) continue;
      pts = make_set(gen, dim, n, 1e-3, axis);
      BSgmprppts3(n, pts.data(), 1e-6, &cls, c, dir, &rc);
      EXPECT_NE(cls, want_class[dim]) << "dim " << dim;
    }
  // A single point is a point.
  const double p[3] = {1, 2, 3};
  int32_t cls;
  double c[3], dir[3];
  BSrc rc;
  BSgmprppts3(1, p, 1e-6, &cls, c, dir, &rc);
  EXPECT_EQ(std::tuple(cls, c[2]), std::tuple(0, 3.0));
}

TEST_F(PointSetsTest, AllPointSetTestsAgreeOnTheClass) {
  const double same3[9] = {1, 2, 3, 1, 2, 3, 1, 2, 3}, line3[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2};
  const double plane4[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 3, 0};
  const double space4[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  const struct {
    const double *pts;
    int32_t n, code;
  } sets[] = {{same3, 3, 1}, {line3, 3, 2}, {plane4, 4, 3}, {space4, 4, 4}};
  for (const auto &s : sets) {
    int32_t code = 0, code2 = 0;
    double normal[3] = {9, 9, 9};
    BSboolean planar = 7, col = 7;
    BSrc rc;
    BSplanar2(s.n, s.pts, nullptr, &code, normal, &rc);
    EXPECT_EQ(code, s.code);
    // the plane normal; zeroed for a point or space (a line gets its direction)
    if (s.code != 2) {
      EXPECT_NEAR(std::fabs(normal[2]), s.code == 3 ? 1.0 : 0.0, 1e-14);
    }
    BSptlnplan(s.n, 12345, s.pts, nullptr, &code2, normal, &rc);
    BStst_plan(s.n, s.pts, nullptr, &planar, normal, &rc);
    BScollinmn2(s.n, s.pts, nullptr, &col, &rc);
    const bool line = s.code <= 2;
    EXPECT_EQ(std::tuple(code2, planar != 0, col != 0, BScollinmny(&rc, &s.n, s.pts) != 0,
                         BScollin(&rc, s.pts, s.pts + 3, s.pts + 6) != 0),
              std::tuple(s.code, s.code == 3, line, line, line));
  }
}

// Weights (1, 1, 0.2) pass the check against a quarter of their mean, (1, 1, 0.1)
// fail it in every routine that checks; the weighted points are (0,0,0)..(2,2,2).
TEST_F(PointSetsTest, WeightCheckAndFailureStatuses) {
  const double pts[9] = {0, 0, 0, 1, 1, 1, 0.4, 0.4, 0.4}, good[3] = {1, 1, 0.2};
  const double bad[3] = {1, 1, 0.1};
  double avg[3], c[3], normal[3];
  int32_t code;
  BSboolean flag = FALSE;
  BSrc rc;
  BScollinmn2(3, pts, good, &flag, &rc);
  EXPECT_EQ(std::tuple(rc, flag), std::tuple(BSSUCC, TRUE));
  ASSERT_TRUE(BSavgpts(&rc, 3, pts, good, avg));
  EXPECT_NEAR(avg[0], 1.0, 1e-15);
  ASSERT_TRUE(BSavgpts(&rc, 3, pts, nullptr, avg));
  EXPECT_NEAR(avg[0], 1.4 / 3, 1e-15);
  kwtest::expect_statuses({
      {BSBADWEIGHT, [&](BSrc *rc) { BScollinmn2(3, pts, bad, &flag, rc); }},
      {BSBADWEIGHT, [&](BSrc *rc) { EXPECT_FALSE(BSavgpts(rc, 3, pts, bad, avg)); }},
      {BSBADWEIGHT, [&](BSrc *rc) { BSplanar2(3, pts, bad, &code, normal, rc); }},
      {BSBADWEIGHT, [&](BSrc *rc) { BSptlnplan(3, 0, pts, bad, &code, normal, rc); }},
      {BSBADWEIGHT, [&](BSrc *rc) { BStst_plan(3, pts, bad, &flag, normal, rc); }},
      {BSINARG, [&](BSrc *rc) { EXPECT_FALSE(BSavgpts(rc, 0, pts, nullptr, avg)); }},
      {BSINARG, [&](BSrc *rc) { BSgmprppts3(0, pts, 1e-6, &code, c, normal, rc); }},
  });
}

}  // namespace
