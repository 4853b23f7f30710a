// The insertion kernels on plain arrays: every one keeps the curve's shape.
#include <gtest/gtest.h>

#include <random>

#include "bspline/insert.hpp"
#include "insert_support.hpp"

namespace {

using kwtest::TestCurve;

TEST(InsertKernel, BoehmKeepsShapeOnRandomCurves) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 8);
    const bool rational = trial % 2, clamped = (trial / 2) % 2;
    TestCurve orig = kwtest::random_curve(rng, k, n, rational, clamped);
    TestCurve cv = orig;
    const double u = std::uniform_real_distribution<double>(0.01, 0.99)(rng);
    int L = k - 1;
    while (cv.knots[L + 1] < u) ++L;
    const int r = 1 + static_cast<int>(rng() % (k - 1 > 0 ? k - 1 : 1));
    if (k == 1) continue;
    cv.reserve(r);
    knotwork::insert_knot_in_place(k, n, knotwork::PoleSet::record(cv.cv), cv.cv.knots, L, u, r, 0);
    cv.cv.num_poles += r;
    cv.cv.num_knots += r;
    EXPECT_TRUE(std::is_sorted(cv.knots.begin(), cv.knots.begin() + cv.cv.num_knots));
    EXPECT_EQ(kwtest::multiplicity(cv.cv, u), r);
    EXPECT_LT(kwtest::max_deviation(orig.cv, cv.cv), 1e-11) << "k=" << k << " trial " << trial;
  }
}

TEST(InsertKernel, RefinementKeepsShapeOnRandomCurves) {
  std::mt19937 rng(12);
  for (int trial = 0; trial < 300; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 8);
    const bool rational = trial % 2, clamped = (trial / 2) % 2;
    TestCurve orig = kwtest::random_curve(rng, k, n, rational, clamped);
    // New knots: random values, some repeated, some equal to existing knots.
    std::vector<double> extra;
    const int add = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < add; ++i) {
      if (rng() % 3 == 0 && n > k)
        extra.push_back(orig.knots[k + rng() % (n - k)]);
      else
        extra.push_back(std::uniform_real_distribution<double>(0.0, 1.0)(rng));
    }
    std::vector<double> tau(orig.knots.begin(), orig.knots.begin() + n + k);
    for (double v : extra) {
      // keep every interior multiplicity at most k
      int m = 0;
      for (double w : tau) m += (w == v);
      if (m < k - 1 && v > 0.0 && v < 1.0) tau.push_back(v);
    }
    std::sort(tau.begin(), tau.end());
    const int nn = static_cast<int>(tau.size()) - k;
    TestCurve out = orig;
    out.reserve(nn - n);
    out.knots.assign(tau.begin(), tau.end());
    out.cv.num_poles = nn;
    out.cv.num_knots = nn + k;
    out.bind();
    std::vector<double> alpha(k);
    knotwork::refine_poles(k, n, orig.cv.knots, knotwork::PoleSet::record(orig.cv), nn, tau.data(),
                           knotwork::PoleSet::record(out.cv), alpha.data());
    EXPECT_LT(kwtest::max_deviation(orig.cv, out.cv), 1e-11) << "k=" << k << " trial " << trial;
  }
}

TEST(InsertKernel, EndKnotInsertionClampsWithoutChangingShape) {
  std::mt19937 rng(13);
  for (int trial = 0; trial < 200; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 6);
    TestCurve orig = kwtest::random_curve(rng, k, n, trial % 2, false);
    TestCurve cv = orig;
    const auto set = knotwork::PoleSet::record(cv.cv);
    const double us = cv.knots[k - 1], ue = cv.knots[n];
    for (int i = k - 2; i >= 0; --i) knotwork::insert_end_knot(k, n, set, cv.cv.knots, i, us);
    for (int i = n; i <= n + k - 2; ++i) knotwork::insert_end_knot(k, n, set, cv.cv.knots, i, ue);
    for (int i = 0; i < k; ++i) {
      EXPECT_EQ(cv.knots[i], us);
      EXPECT_EQ(cv.knots[n + i], ue);
    }
    EXPECT_LT(kwtest::max_deviation(orig.cv, cv.cv), 1e-11) << "k=" << k;
    // clamped: the curve starts at the first pole
    const auto p0 = kwtest::eval_point(orig.cv, us);
    const double w0 = cv.cv.rational ? cv.weights[0] : 1.0;
    EXPECT_NEAR(p0[0], cv.poles[0] / w0, 1e-11);
  }
}

}  // namespace
