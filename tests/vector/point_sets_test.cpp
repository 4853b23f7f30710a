#include <cmath>
#include <random>
#include <vector>

#include "support.hpp"

namespace {

class PointSetsTest : public kwtest::GuardedTest {};

// n points built to lie on a point (dim 0), a line (1), a plane (2) or in space
// (3), each disturbed by noise of the given size in the missing directions.
std::vector<double> make_set(std::mt19937 &gen, int dim, int n, double noise) {
  std::uniform_real_distribution<double> d(-1, 1);
  const double base[3] = {d(gen) * 10, d(gen) * 10, d(gen) * 10};
  double axes[3][3];
  BSrc rc;
  double v[3] = {d(gen), d(gen), d(gen)};
  BSbasisvect(&rc, v, axes[0], axes[1], axes[2]);
  std::vector<double> pts(3 * n);
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) pts[3 * i + k] = base[k];
    for (int a = 0; a < 3; ++a) {
      // spread of 5 along the spanning axes, +-noise along the others
      const double c = a < dim ? 5 * d(gen) : noise * ((i + a) % 2 ? 1 : -1);
      for (int k = 0; k < 3; ++k) pts[3 * i + k] += c * axes[a][k];
    }
  }
  return pts;
}

TEST_F(PointSetsTest, RandomSetsClassifyByDimension) {
  std::mt19937 gen(10);
  const int32_t want_class[4] = {0, 1, -1, -7};
  for (int dim = 0; dim < 4; ++dim) {
    for (int trial = 0; trial < 10; ++trial) {
      const int n = 4 + trial;
      // Noise well below the tolerance keeps the class ...
      auto pts = make_set(gen, dim, n, 1e-8);
      int32_t cls = 99;
      double c[3], dir[3] = {7, 7, 7};
      BSrc rc;
      BSgmprppts3(n, pts.data(), 1e-6, &cls, c, dir, &rc);
      ASSERT_EQ(rc, BSSUCC);
      EXPECT_EQ(cls, want_class[dim]) << "dim " << dim;
      if (dim == 1 || dim == 2) {
        EXPECT_NEAR(BSlenvec(&rc, dir), 1.0, 1e-12);
      }
      if (dim == 0 || dim == 3) {
        EXPECT_EQ(dir[0], 7.0);
      }
      // ... noise well above it raises the dimension.
      if (dim < 3) {
        auto noisy = make_set(gen, dim, n, 1e-3);
        BSgmprppts3(n, noisy.data(), 1e-6, &cls, c, dir, &rc);
        EXPECT_NE(cls, want_class[dim]);
      }
    }
  }
}

TEST_F(PointSetsTest, LineDirectionAndPlaneNormal) {
  const double line[9] = {0, 0, 0, 1, 2, 2, 3, 6, 6};
  int32_t cls;
  double c[3], dir[3];
  BSrc rc;
  BSgmprppts3(3, line, 1e-6, &cls, c, dir, &rc);
  EXPECT_EQ(cls, 1);
  EXPECT_NEAR(std::fabs(dir[0]), 1.0 / 3, 1e-14);
  EXPECT_NEAR(c[1], 8.0 / 3, 1e-14);
  const double plane[12] = {0, 0, 1, 1, 0, 1, 0, 1, 1, 3, 5, 1};
  BSgmprppts3(4, plane, 1e-6, &cls, c, dir, &rc);
  EXPECT_EQ(cls, -1);
  EXPECT_NEAR(std::fabs(dir[2]), 1.0, 1e-14);
}

TEST_F(PointSetsTest, PointSetTestsOnExamples) {
  const double plane4[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 3, 0};
  const double same3[9] = {1, 2, 3, 1, 2, 3, 1, 2, 3};
  const double line3[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2};
  const double space4[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  int32_t code = 0;
  double normal[3] = {9, 9, 9};
  BSrc rc;
  BSplanar2(4, plane4, nullptr, &code, normal, &rc);
  EXPECT_EQ(code, 3);
  EXPECT_NEAR(std::fabs(normal[2]), 1.0, 1e-14);
  BSplanar2(3, same3, nullptr, &code, normal, &rc);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(normal[0], 0.0);  // zeroed, not written for a point
  BSptlnplan(3, 12345, line3, nullptr, &code, normal, &rc);
  EXPECT_EQ(code, 2);
  BSptlnplan(4, 0, space4, nullptr, &code, normal, &rc);
  EXPECT_EQ(code, 4);
  EXPECT_EQ(normal[1], 0.0);
  BSboolean planar = TRUE;
  BStst_plan(3, line3, nullptr, &planar, normal, &rc);
  EXPECT_FALSE(planar);
  BStst_plan(4, plane4, nullptr, &planar, normal, &rc);
  EXPECT_TRUE(planar);
  BSboolean col = FALSE;
  BScollinmn2(3, line3, nullptr, &col, &rc);
  EXPECT_TRUE(col);
  BScollinmn2(4, plane4, nullptr, &col, &rc);
  EXPECT_FALSE(col);
  EXPECT_TRUE(BScollin(&rc, line3, line3 + 3, line3 + 6));
  EXPECT_FALSE(BScollin(&rc, plane4, plane4 + 3, plane4 + 6));
  const int32_t three = 3, four = 4;
  EXPECT_TRUE(BScollinmny(&rc, &three, same3));
  EXPECT_FALSE(BScollinmny(&rc, &four, space4));
}

TEST_F(PointSetsTest, WeightCheck) {
  const double pts[9] = {0, 0, 0, 1, 1, 1, 0.4, 0.4, 0.4};  // weighted: (.2,.2,.2)*... on a line
  const double bad[3] = {1, 1, 0.1}, good[3] = {1, 1, 0.2};
  BSboolean col = FALSE;
  BSrc rc;
  BScollinmn2(3, pts, bad, &col, &rc);
  EXPECT_EQ(rc, BSBADWEIGHT);
  BScollinmn2(3, pts, good, &col, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_TRUE(col);
  double avg[3];
  EXPECT_FALSE(BSavgpts(&rc, 3, pts, bad, avg));
  EXPECT_EQ(rc, BSBADWEIGHT);
  ASSERT_TRUE(BSavgpts(&rc, 3, pts, good, avg));
  EXPECT_NEAR(avg[0], (0 + 1 + 2) / 3.0, 1e-15);
  ASSERT_TRUE(BSavgpts(&rc, 3, pts, nullptr, avg));
  EXPECT_NEAR(avg[0], 1.4 / 3, 1e-15);
  int32_t code;
  double normal[3];
  BSplanar2(3, pts, bad, &code, normal, &rc);
  EXPECT_EQ(rc, BSBADWEIGHT);
  BSptlnplan(3, 0, pts, bad, &code, normal, &rc);
  EXPECT_EQ(rc, BSBADWEIGHT);
  BSboolean planar;
  BStst_plan(3, pts, bad, &planar, normal, &rc);
  EXPECT_EQ(rc, BSBADWEIGHT);
}

TEST_F(PointSetsTest, ScratchFailuresReportNoStackMemory) {
  std::mt19937 gen(3);
  auto pts = make_set(gen, 2, 300, 0.0);  // large enough for heap scratch
  std::vector<double> w(300, 1.5);
  int32_t code;
  double normal[3];
  const auto res = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSplanar2(300, pts.data(), w.data(), &code, normal, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GE(res.allocations, 3);
  EXPECT_EQ(code, 3);
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        int32_t cls;
        double c[3], dir[3];
        BSgmprppts3(300, pts.data(), 1e-6, &cls, c, dir, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
}

}  // namespace

namespace {

TEST_F(PointSetsTest, EmptySetsAreRejected) {
  const double p[3] = {1, 2, 3};
  double avg[3], c[3], dir[3];
  int32_t cls;
  BSrc rc;
  EXPECT_FALSE(BSavgpts(&rc, 0, p, nullptr, avg));
  EXPECT_EQ(rc, BSINARG);
  BSgmprppts3(0, p, 1e-6, &cls, c, dir, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSgmprppts3(1, p, 1e-6, &cls, c, dir, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(cls, 0);
  EXPECT_EQ(c[2], 3.0);
}

}  // namespace
