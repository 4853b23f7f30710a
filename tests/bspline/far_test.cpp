// Curves far from the origin: every evaluator's derivatives keep the accuracy they
// have at the origin (relative to the derivative's size), and the points keep a
// few ulps of their coordinates.

#include "ref_curves.hpp"
#include "support.hpp"

using kwtest::LD;
using kwtest::RefCurve;

namespace {

// A random curve whose Cartesian poles lie on a 2^-24 grid in [-1, 1] and whose
// weights are sixteenths in [0.5, 2]: moving it by `offset` and weighting stay
// exact, so the moved curve is exactly the first one translated.
RefCurve grid_curve(std::mt19937_64 &rng, int k, int n, bool rational, double offset) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> sixteenths(8, 32);
  RefCurve c = kwtest::random_curve(rng, kwtest::CurveShape{k, n, false, false, true});
  if (rational) c.weights.resize(n);
  for (int i = 0; i < n; ++i) {
    const double w = rational ? sixteenths(rng) / 16.0 : 1.0;
    if (rational) c.weights[i] = w;
    for (int q = 0; q < 3; ++q)
      c.poles[3 * i + q] = w * (std::ldexp(std::round(std::ldexp(unit(rng), 24)), -24) + offset);
  }
  return c;
}

// Largest error of each derivative row and largest length of it over the
// parameters (the derivative's size), and the point's error in ulps of its
// largest coordinate.
struct Errors {
  double err[3] = {0, 0, 0}, size[3] = {0, 0, 0}, point_ulps = 0;
  double rel() const { return std::max(err[1] / size[1], err[2] / size[2]); }
};
void account(Errors &e, const double *got, const std::vector<LD> &ref, double offset, int d,
             int stride = 3) {
  for (int j = 0; j <= d; ++j) {
    LD len = 0, err = 0;
    for (int q = 0; q < 3; ++q) {
      const LD want = ref[3 * j + q] + (j == 0 ? offset : 0.0);
      len = std::max(len, std::fabs(want));
      err = std::max(err, std::fabs(got[stride * j + q] - want));
    }
    if (j == 0) e.point_ulps = std::max(e.point_ulps, double(err) / kwtest::ulp_of(double(len)));
    e.err[j] = std::max(e.err[j], double(err));
    e.size[j] = std::max(e.size[j], double(len));
  }
}

}  // namespace

// Cubic, quintic and order 8 (the general triangle) curves, polynomial and rational,
// moved 1e4 and 1e6: the main evaluator, the span evaluators, the homogeneous
// evaluator with its quotient rule, both array forms and the sweeps.
TEST(FarFromOrigin, DerivativesKeepTheirRelativeAccuracy) {
  std::mt19937_64 rng(41);
  std::uniform_real_distribution<double> f(0.0, 1.0);
  for (int k : {4, 6, 8})
    for (bool rational : {false, true}) {
      const uint64_t seed = rng();
      double at_origin = 0;
      for (double offset : {0.0, 1e4, 1e6}) {
        SCOPED_TRACE(testing::Message()
                     << "k " << k << " rational " << rational << " offset " << offset);
        const int n = 3 * k;
        std::mt19937_64 twin(seed);
        std::mt19937_64 copy = twin;
        RefCurve at0 = grid_curve(twin, k, n, rational, 0.0);
        RefCurve far = grid_curve(copy, k, n, rational, offset);
        BScurve cv = far.view();
        const std::vector<double> rows = far.rows();
        std::vector<double> pars;
        for (int i = 0; i < 64; ++i) pars.push_back(far.lo() + (far.hi() - far.lo()) * f(rng));
        std::sort(pars.begin(), pars.end());
        Errors e;
        std::vector<double> sweep1(6 * pars.size()), sweep2(9 * pars.size());
        BSrc rc = -99;
        BScvarreval(&rc, &cv, pars.data(), static_cast<int32_t>(pars.size()), 1, sweep1.data());
        ASSERT_EQ(rc, BSSUCC);
        BScvarreval(&rc, &cv, pars.data(), static_cast<int32_t>(pars.size()), 2, sweep2.data());
        ASSERT_EQ(rc, BSSUCC);
        for (std::size_t i = 0; i < pars.size(); ++i) {
          const double u = pars[i];
          const int s = kwtest::span_right_closed(at0, u);
          const std::vector<LD> ref = kwtest::ref_derivs(at0, s, u, 2).value;
          double out[16 * 4];
          BScveval(&cv, u, 2, out, &rc);
          ASSERT_EQ(rc, BSSUCC);
          account(e, out, ref, offset, 2);
          BScveval1(&rc, k, cv.poles, cv.weights, cv.knots, s, u, out);
          account(e, out, ref, offset, 1);
          BScveval2(&rc, k, cv.poles, cv.weights, cv.knots, s, u, out);
          account(e, out, ref, offset, 2);
          const int32_t s32 = s, d = 2;
          ASSERT_TRUE(BSbspl(&rc, cv.poles, cv.weights, cv.knots, &cv.order, &cv.rational, &s32, &d,
                             &u, out));
          // the homogeneous rows of a rational curve carry its position in every
          // derivative: their quotient is only as good as that allows
          if (!rational) account(e, out, ref, offset, 2, 4);
          BSevalbsp(k - 1, n, 3, cv.rational, rows.data(), cv.knots, u, 2, out, &rc);
          ASSERT_EQ(rc, BSSUCC);
          account(e, out, ref, offset, 2);
          if (!rational) {
            BScvevaln(k - 1, n, 3, rows.data(), cv.knots, u, -1, 2, out, &rc);
            ASSERT_EQ(rc, BSSUCC);
            account(e, out, ref, offset, 2);
          }
          account(e, &sweep1[6 * i], ref, offset, 1);
          account(e, &sweep2[9 * i], ref, offset, 2);
        }
        // below 1e-14 of the derivative's size, or as good as at the origin
        if (offset == 0) at_origin = e.rel();
        EXPECT_LT(e.rel(), std::max(1e-14, 2 * at_origin));
        EXPECT_LT(e.point_ulps, 4.0 * k);
      }
    }
}
