// The fixed-degree paths of the main evaluator and the sweeps (degrees 1..5, d <= 2)
// give the general code's values bit for bit and its statuses, on curves with repeated,
// unclamped, nearly equal knots and zero weights, far from the origin, near overflow.
#include <limits>

#include "bspline/kernel.hpp"
#include "ref_curves.hpp"
#include "status_ok.hpp"
#include "support.hpp"

using kwtest::RefCurve;

namespace {

// A random curve with one of the faults the paths must agree on: 0 none, 1 three
// knots one ulp apart, 2 a zero weight at the start, 3 poles near overflow.
RefCurve odd_curve(std::mt19937_64 &rng, int k, bool rational, int fault, double offset) {
  const int n = k + 3 + static_cast<int>(rng() % 4);
  RefCurve c = kwtest::random_curve(
      rng, kwtest::CurveShape{k, n, rational || fault == 2, true, rng() % 2 == 0, 1.0, offset});
  if (fault == 1) {
    c.knots[k + 1] = std::nextafter(c.knots[k + 2], 0.0);
    c.knots[k] = std::nextafter(c.knots[k + 1], 0.0);
  }
  if (fault == 2) c.weights[0] = c.poles[0] = c.poles[1] = c.poles[2] = 0.0;
  if (fault == 3)
    for (double &p : c.poles) p = std::copysign(1.7e308, p);
  return c;
}

}  // namespace

// The main evaluator against the general path, one parameter at a time; then sorted
// parameters with repeats, knots, a step back and points outside the domain: one
// sweep run equals CurveSweep::eval one parameter at a time, and a parameter that
// fails stops the run and keeps its output and those after it.
TEST(EvalPaths, MainEvaluatorAndSweepsMatchTheGeneralPath) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> f(-0.2, 1.2);
  const double zt = BSparameters.zero_tol, dmin = std::numeric_limits<double>::min();
  const auto finite = [](const double *v, int count) {
    return std::all_of(v, v + count, [](double x) { return std::isfinite(x); });
  };
  for (int k = 2; k <= 7; ++k)
    for (int m = 0; m < 16; ++m) {
      RefCurve c = odd_curve(rng, k, m & 1, m / 4, m & 2 ? 1e6 : 0.0);
      BScurve cv = c.view();
      const double *w = cv.rational ? cv.weights : nullptr;
      std::vector<double> pars = c.knots;
      for (int i = 0; i < 60; ++i) pars.push_back(f(rng));
      std::sort(pars.begin(), pars.end());
      for (double u : pars)
        for (int d = 0; d <= 2; ++d) {
          SCOPED_TRACE(testing::Message()
                       << "k " << k << " case " << m << " u " << u << " d " << d);
          // the general path and the main evaluator's rule for a result that is not finite
          double want[9], got[9];
          const double tiny = d == 0 ? zt * zt : d == 1 ? zt : dmin;
          BSrc want_rc = knotwork::evaluate_curve_span(
              k, cv.poles, w, cv.knots, kwtest::span_right_closed(c, u), u, d, tiny, want);
          if (want_rc == BSSUCC && !finite(want, 3 * (d + 1)))
            want_rc = BSINARG, std::fill(want, want + 9, 42.0);
          std::fill(got, got + 9, 42.0);
          ASSERT_EQ(KW_STATUS(BScveval(&cv, u, d, got, &rc)), want_rc);
          ASSERT_EQ(std::memcmp(got, want, sizeof(double) * 3 * (d + 1)), 0);  // same bits
        }
      pars.insert(pars.begin() + 30, 0.25);
      if (m == 5) pars[40] = std::nan("");
      const int32_t count = static_cast<int32_t>(pars.size());
      for (int run = 0; run <= 3; ++run) {  // BScvarrev0, then BScvarreval with d = 0, 1, 2
        SCOPED_TRACE(testing::Message() << "k " << k << " case " << m << " run " << run);
        const int d = std::max(run - 1, 0), stride = 3 * (d + 1);
        std::vector<double> want(stride * pars.size(), 42.0), got(want);
        const double tiny = run == 0 ? dmin : d == 0 ? zt * zt : zt;
        knotwork::CurveSweep one(k, cv.num_poles, cv.poles, w, cv.knots, tiny);
        one.start(pars[0], d > 0);
        BSrc want_rc = BSSUCC;
        for (int32_t i = 0; i < count && want_rc == BSSUCC; ++i) {
          double e[9];
          want_rc = std::isfinite(pars[i]) ? one.eval(pars[i], d, e) : BSINARG;
          if (want_rc == BSSUCC && !finite(e, stride)) want_rc = BSINARG;
          if (want_rc == BSSUCC) std::copy(e, e + stride, &want[stride * i]);
        }
        ASSERT_EQ(KW_STATUS(run == 0 ? BScvarrev0(&rc, &cv, pars.data(), count, got.data())
                                     : BScvarreval(&rc, &cv, pars.data(), count, d, got.data())),
                  want_rc);
        ASSERT_EQ(std::memcmp(got.data(), want.data(), sizeof(double) * want.size()), 0);
      }
    }
}
