// A plane through a cusp at a curve's end, with its normal across the cusp's
// tangent: the signed distance has a near-triple root at the end that the series
// solver cannot separate; the spans fall back to subdivision and every
// intersection is still found.
#include <cmath>

#include "support.hpp"

namespace {

TEST(PlaneContact, CuspAtTheStartIsARootAndTheCrossingStays) {
  double poles[] = {-0.1092951857590484,  -0.96429832913842961, -0.80187274901289096,
                    -0.1092951857590484,  -0.96429832913842961, -0.80187274901289096,
                    -0.66869094250059979, 0.93860957259620204,  -0.18842195168159592,
                    -0.99128402841490282, -0.78929903160317538, -0.17809361252976685,
                    0.64951463374721596,  0.9928868739230583,   0.73270399510022499,
                    0.83209632314669446,  -0.99672436887836546, 0.61420802762355486};
  double knots[] = {0, 0, 0, 0, 0.52866312837662721, 0.52866312837662721, 1, 1, 1, 1};
  BScurve cv{};
  cv.order = 4, cv.num_poles = 6, cv.num_knots = 10, cv.poles = poles, cv.knots = knots;
  const double *x = poles;
  const double n[3] = {-0.80518044007030876, -0.046090298917370334, -0.59123611465631176};
  int32_t np = -1, ni = -1;
  double pts[3 * 24], pars[24], starts[24], ends[24];
  BSrc rc = -99;
  EXPECT_TRUE(BSpl_cv_int(&rc, &cv, x, n, &np, pts, pars, &ni, starts, ends));
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(np, 2);
  EXPECT_EQ(ni, 0);
  EXPECT_EQ(pars[0], 0.0);
  // The crossing: on the plane, with the distance changing sign across it.
  const auto signed_dist = [&](double u) {
    double p[3];
    BSrc r = 0;
    BScveval(&cv, u, 0, p, &r);
    return (p[0] - x[0]) * n[0] + (p[1] - x[1]) * n[1] + (p[2] - x[2]) * n[2];
  };
  EXPECT_LE(std::fabs(signed_dist(pars[1])), BSparameters.basis_tol);
  EXPECT_LT(signed_dist(pars[1] - 1e-3) * signed_dist(pars[1] + 1e-3), 0.0);
}

}  // namespace
