#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <random>
#include <vector>

#include "curve_fixture.hpp"
#include "support.hpp"

#include "bspline/kernel.hpp"

using kwtest::LD;
using kwtest::RefEval;
using kwtest::TestCurve;

namespace {

constexpr double kEps = 2.220446049250313e-16;

// The allowed error: a few ulps per level of the triangle, times the magnitude of
// the terms summed by the evaluation (poles times basis-function magnitudes).
double allowed(const RefEval &r, int j, int k) {
  return 16.0 * k * kEps * static_cast<double>(r.bound[j]) + 1e-300;
}

::testing::AssertionResult matches(const double *got, const RefEval &r, int d, int k,
                                   int stride = 3, int first = 0) {
  for (int j = first; j <= d; ++j) {
    for (int c = 0; c < 3; ++c) {
      const LD want = r.value[3 * j + c];
      const LD err = std::fabs((LD)got[stride * (j - first) + c] - want);
      if (!(err <= allowed(r, j, k)))
        return ::testing::AssertionFailure()
               << "derivative " << j << " coordinate " << c << ": got "
               << got[stride * (j - first) + c] << " want " << static_cast<double>(want) << " err "
               << static_cast<double>(err) << " allowed " << allowed(r, j, k);
    }
  }
  return ::testing::AssertionSuccess();
}

// Parameters that probe a curve: every knot of the domain, points between knots,
// and points just outside the domain.
std::vector<double> probe_parameters(const TestCurve &c, std::mt19937_64 &rng) {
  std::vector<double> u;
  for (int i = c.k() - 1; i <= c.n(); ++i) u.push_back(c.knots[i]);
  std::uniform_real_distribution<double> f(0.0, 1.0);
  for (int i = c.k() - 1; i < c.n(); ++i)
    if (c.knots[i + 1] > c.knots[i])
      u.push_back(c.knots[i] + f(rng) * (c.knots[i + 1] - c.knots[i]));
  const double range = c.hi() - c.lo();
  u.push_back(c.lo() - 1e-3 * range);
  u.push_back(c.hi() + 1e-3 * range);
  return u;
}

struct Case {
  int k;
  bool rational, clamped;
};

std::vector<Case> all_cases() {
  std::vector<Case> cases;
  for (int k = 2; k <= 16; ++k)
    for (int r = 0; r < 2; ++r)
      for (int cl = 0; cl < 2; ++cl) cases.push_back({k, r == 1, cl == 1});
  return cases;
}

}  // namespace

// ---- Randomised checks against the reference evaluator -------------------------

TEST(BScveval, MatchesReferenceAllOrdersAndDerivatives) {
  std::mt19937_64 rng(11);
  for (const Case &cs : all_cases()) {
    for (int rep = 0; rep < 3; ++rep) {
      const int n = cs.k + static_cast<int>(rng() % 7);
      TestCurve c = kwtest::random_curve(rng, cs.k, n, cs.rational, cs.clamped);
      for (double u : probe_parameters(c, rng)) {
        const int d = cs.k;  // up to the order: one beyond the degree
        std::vector<double> out(3 * (d + 1));
        BSrc rc = -99;
        BScveval(&c.cv, u, d, out.data(), &rc);
        ASSERT_EQ(rc, BSSUCC);
        const RefEval r = kwtest::ref_eval(c, kwtest::ref_span_right_closed(c, u), u, d);
        ASSERT_TRUE(matches(out.data(), r, d, cs.k)) << "k " << cs.k << " rational " << cs.rational
                                                     << " clamped " << cs.clamped << " u " << u;
      }
    }
  }
}

TEST(BScveval012, MatchReferenceOnGivenSpan) {
  std::mt19937_64 rng(12);
  for (const Case &cs : all_cases()) {
    TestCurve c = kwtest::random_curve(rng, cs.k, cs.k + 4, cs.rational, cs.clamped);
    for (double u : probe_parameters(c, rng)) {
      const int s = kwtest::ref_span_left_closed(c, u);
      const RefEval r = kwtest::ref_eval(c, s, u, 2);
      double out[9];
      BSrc rc = -99;
      BScveval0(&rc, c.cv.order, c.cv.poles, c.cv.weights, c.cv.knots, s, u, out);
      ASSERT_EQ(rc, BSSUCC);
      EXPECT_TRUE(matches(out, r, 0, cs.k));
      BScveval1(&rc, c.cv.order, c.cv.poles, c.cv.weights, c.cv.knots, s, u, out);
      ASSERT_EQ(rc, BSSUCC);
      EXPECT_TRUE(matches(out, r, 1, cs.k));
      BScveval2(&rc, c.cv.order, c.cv.poles, c.cv.weights, c.cv.knots, s, u, out);
      ASSERT_EQ(rc, BSSUCC);
      EXPECT_TRUE(matches(out, r, 2, cs.k)) << "k " << cs.k << " rational " << cs.rational;
    }
  }
}

TEST(BSbspl, WithBSrsplMatchesReference) {
  std::mt19937_64 rng(13);
  for (const Case &cs : all_cases()) {
    TestCurve c = kwtest::random_curve(rng, cs.k, cs.k + 3, cs.rational, cs.clamped);
    for (double u : probe_parameters(c, rng)) {
      const int32_t s = kwtest::ref_span_right_closed(c, u);
      const int32_t d = std::min(15, cs.k);
      double buf[64];
      BSrc rc = -99;
      ASSERT_TRUE(BSbspl(&rc, c.cv.poles, c.cv.weights, c.cv.knots, &c.cv.order, &c.cv.rational, &s,
                         &d, &u, buf));
      const RefEval r = kwtest::ref_eval(c, s, u, d);
      if (!cs.rational) {
        EXPECT_TRUE(matches(buf, r, d, cs.k, 4));
        EXPECT_EQ(buf[3], 1.0);
      }
      ASSERT_TRUE(BSrspl(&rc, &d, &c.cv, buf));
      EXPECT_TRUE(matches(buf, r, d, cs.k, 4)) << "k " << cs.k << " rational " << cs.rational;
    }
  }
}

TEST(BScvevaln, CoordinateMajorRowsMatchReference) {
  std::mt19937_64 rng(14);
  for (const Case &cs : all_cases()) {
    TestCurve c = kwtest::random_curve(rng, cs.k, cs.k + 5, cs.rational, cs.clamped);
    const int n = c.n(), m = cs.rational ? 4 : 3;
    std::vector<double> rows(m * n);
    for (int i = 0; i < n; ++i) {
      for (int q = 0; q < 3; ++q) rows[q * n + i] = c.poles[3 * i + q];
      if (cs.rational) rows[3 * n + i] = c.weights[i];
    }
    for (double u : probe_parameters(c, rng)) {
      if (u < c.lo() || u > c.hi()) continue;
      for (int d : {0, 1, cs.k}) {
        std::vector<double> out(m * (d + 1)), cart(3 * (d + 1));
        BSrc rc = -99;
        BScvevaln(cs.k - 1, n, m, rows.data(), c.cv.knots, u, -1, d, out.data(), &rc);
        ASSERT_EQ(rc, BSSUCC);
        // d = 0 takes the span to the right of an interior knot, d > 0 the left one.
        const int s =
            d == 0 ? kwtest::ref_span_left_closed(c, u) : kwtest::ref_span_right_closed(c, u);
        const RefEval r = kwtest::ref_eval(c, s, u, d);
        for (int j = 0; j <= d; ++j)
          for (int q = 0; q < m; ++q) {
            const LD want = r.hom[4 * j + q];
            EXPECT_LE(std::fabs((LD)out[m * j + q] - want), allowed(r, j, cs.k) * 8)
                << "k " << cs.k << " d " << d << " j " << j;
          }
        BSevalbsp(cs.k - 1, n, 3, cs.rational, rows.data(), c.cv.knots, u, d, cart.data(), &rc);
        ASSERT_EQ(rc, BSSUCC);
        EXPECT_TRUE(matches(cart.data(), r, d, cs.k));
      }
    }
  }
}

TEST(BSmansf, BasisFunctionsMatchCoxDeBoor) {
  std::mt19937_64 rng(15);
  for (int k = 2; k <= 16; ++k) {
    TestCurve c = kwtest::random_curve(rng, k, k + 4, false, false);
    for (double u : probe_parameters(c, rng)) {
      const int s = kwtest::ref_span_right_closed(c, u);
      const auto N = kwtest::ref_basis(c.knots.data(), k, s, u, 2);
      std::vector<double> n0(k), n1(k), n2(k);
      BSrc rc = -99;
      BSmansf2(&rc, k, c.cv.knots, s, u, n0.data(), n1.data(), n2.data());
      ASSERT_EQ(rc, BSSUCC);
      std::vector<double> m0(k), m1(k);
      BSmansf1(&rc, k, c.cv.knots, s, u, m0.data(), m1.data());
      ASSERT_EQ(rc, BSSUCC);
      std::vector<double> z0(k);
      BSmansf0(&rc, k, c.cv.knots, s, u, z0.data());
      ASSERT_EQ(rc, BSSUCC);
      LD scale[3] = {0, 0, 0};
      for (int j = 0; j < 3; ++j)
        for (int i = 0; i < k; ++i) scale[j] += std::fabs(N[j][i]);
      for (int i = 0; i < k; ++i) {
        EXPECT_NEAR(n0[i], (double)N[0][i], 8 * k * kEps * (double)scale[0]);
        EXPECT_NEAR(n1[i], (double)N[1][i], 8 * k * kEps * (double)scale[1]);
        EXPECT_NEAR(n2[i], (double)N[2][i], 8 * k * kEps * (double)scale[2]);
        EXPECT_EQ(m0[i], n0[i]);
        EXPECT_EQ(m1[i], n1[i]);
        EXPECT_EQ(z0[i], n0[i]);
      }
    }
  }
}

TEST(BScvarreval, SweepsMatchReferenceWithSpanRules) {
  std::mt19937_64 rng(16);
  for (const Case &cs : all_cases()) {
    TestCurve c = kwtest::random_curve(rng, cs.k, cs.k + 6, cs.rational, cs.clamped);
    std::vector<double> u = probe_parameters(c, rng);
    std::sort(u.begin(), u.end());
    u.erase(u.begin());   // start inside the domain
    if (cs.k % 2 == 0) {  // first parameter on an interior knot
      const double first = c.knots[cs.k];
      u.erase(std::remove_if(u.begin(), u.end(), [&](double v) { return v <= first; }), u.end());
      u.insert(u.begin(), first);
    }
    const int N = static_cast<int>(u.size());
    for (int d = 0; d <= 2; ++d) {
      std::vector<double> out(3 * (d + 1) * N);
      BSrc rc = -99;
      BScvarreval(&rc, &c.cv, u.data(), N, d, out.data());
      ASSERT_EQ(rc, BSSUCC);
      for (int i = 0; i < N; ++i) {
        // The first parameter of d = 1, 2 takes the left-closed span, the rest the
        // right-closed one (from the start of the domain on).
        int s = (i == 0 && d > 0) ? kwtest::ref_span_left_closed(c, u[i])
                                  : kwtest::ref_span_right_closed(c, u[i]);
        if (i > 0 && d > 0 && u[i] == u[0]) s = kwtest::ref_span_left_closed(c, u[i]);
        const RefEval r = kwtest::ref_eval(c, s, u[i], d);
        ASSERT_TRUE(matches(out.data() + 3 * (d + 1) * i, r, d, cs.k))
            << "k " << cs.k << " clamped " << cs.clamped << " d " << d << " i " << i << " u "
            << u[i] << " s " << s;
      }
    }
    std::vector<double> pts(3 * N), hom(4 * N), tang(6 * N);
    BSrc rc = -99;
    BScvarrev0(&rc, &c.cv, u.data(), N, pts.data());
    ASSERT_EQ(rc, BSSUCC);
    BScvarrev0w(&c.cv, N, u.data(), hom.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    BScvarrevt(&c.cv, u.data(), N, 2.0, tang.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int i = 0; i < N; ++i) {
      const RefEval r = kwtest::ref_eval(c, kwtest::ref_span_right_closed(c, u[i]), u[i], 0);
      EXPECT_TRUE(matches(pts.data() + 3 * i, r, 0, cs.k));
      for (int q = 0; q < 4; ++q)
        EXPECT_LE(std::fabs((LD)hom[4 * i + q] - r.hom[q]), 8 * allowed(r, 0, cs.k));
      EXPECT_TRUE(matches(tang.data() + 6 * i, r, 0, cs.k));
    }
  }
}

TEST(BSsetder_cv, QuotientRuleBeyondSixteenDerivatives) {
  // A rational quintic evaluated with 24 derivatives: the quotient rule needs
  // binomials of rows above 16, which must be exact.
  std::mt19937_64 rng(17);
  TestCurve c = kwtest::random_curve(rng, 5, 8, true, true);
  const double u = 0.5 * (c.lo() + c.hi()) + 0.0123;
  const int d = 24;
  std::vector<double> out(3 * (d + 1));
  BSrc rc = -99;
  BScveval(&c.cv, u, d, out.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  const RefEval r = kwtest::ref_eval(c, kwtest::ref_span_right_closed(c, u), u, d);
  EXPECT_TRUE(matches(out.data(), r, d, 5 * 8));
  EXPECT_NE(out[3 * d], 0.0);  // a rational curve has non-zero high derivatives
  // The same through BSsetder_cv from the homogeneous derivatives.
  std::vector<double> hom(4 * (d + 1)), cart(3 * (d + 1));
  for (int i = 0; i < 4 * (d + 1); ++i) hom[i] = static_cast<double>(r.hom[i]);
  BSsetder_cv(3, 1, d, hom.data(), cart.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_TRUE(matches(cart.data(), r, d, 5 * 8));
}

TEST(Binomial, ExactInsideAndBeyondTheTable) {
  for (int n = 0; n <= 70; ++n) {
    for (int i = 0; i <= n; ++i) {
      const LD want = kwtest::ref_binom(n, i);
      EXPECT_EQ(knotwork::binomial(n, i), static_cast<double>(want)) << n << " " << i;
    }
  }
  double row[17];
  BSrc rc = -99;
  BSbinomcoef(16, row, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(row[8], 12870.0);
  BSbinomcoef(17, row, &rc);
  EXPECT_EQ(rc, 2);
  BSbinomcoef(-1, row, &rc);
  EXPECT_EQ(rc, 2);
}

// ---- Exact cases ----------------------------------------------------------------

TEST(BScveval, CubicBezierAtHalf) {
  TestCurve c(4, {0, 0, 0, 1, 2, 0, 3, 3, 1, 4, 0, 2}, {0, 0, 0, 0, 1, 1, 1, 1});
  double out[18];
  BSrc rc = -99;
  BScveval(&c.cv, 0.5, 3, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const double *P = c.poles.data();
  for (int q = 0; q < 3; ++q) {
    EXPECT_DOUBLE_EQ(out[q], (P[q] + 3 * P[3 + q] + 3 * P[6 + q] + P[9 + q]) / 8);
    EXPECT_DOUBLE_EQ(out[9 + q], 6 * (P[9 + q] - 3 * P[6 + q] + 3 * P[3 + q] - P[q]));
  }
  BScveval(&c.cv, 0.5, 5, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int q = 12; q < 18; ++q) EXPECT_EQ(out[q], 0.0);
}

TEST(BScveval, QuarterCircleStaysOnUnitCircle) {
  const double h = std::sqrt(0.5);
  TestCurve c(3, {1, 0, 0, h, h, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, h, 1});
  for (double u = 0.0; u <= 1.0; u += 1.0 / 64) {
    double e[9];
    BSrc rc = -99;
    BScveval(&c.cv, u, 2, e, &rc);
    ASSERT_EQ(rc, BSSUCC);
    const double dot01 = e[0] * e[3] + e[1] * e[4];
    const double speed = e[3] * e[3] + e[4] * e[4];
    const double dot02 = e[0] * e[6] + e[1] * e[7];
    EXPECT_NEAR(std::hypot(e[0], e[1]), 1.0, 2 * kEps);
    EXPECT_NEAR(dot01, 0.0, 8 * kEps);
    EXPECT_NEAR(dot02 + speed, 0.0, 32 * kEps);  // |C| = 1 differentiated twice
  }
}

TEST(BScveval, RationalOrderTwoHasSecondDerivative) {
  // A rational segment: C = (A0 + u (A1 - A0)) / (w0 + u (w1 - w0)) is not linear
  // in u, so its second derivative is 2 C' (w0 - w1) / W, not zero.
  TestCurve c(2, {0, 0, 0, 4, 0, 0}, {0, 0, 1, 1}, {1, 2});
  const double u = 0.25;
  double e[9];
  BSrc rc = -99;
  BScveval(&c.cv, u, 2, e, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const double W = 1 + u, x = 4 * u / W, dx = (4 - x) / W, ddx = -2 * dx / W;
  EXPECT_DOUBLE_EQ(e[0], x);
  EXPECT_DOUBLE_EQ(e[3], dx);
  EXPECT_DOUBLE_EQ(e[6], ddx);
  double sweep[9], span2[9];
  BScvarreval(&rc, &c.cv, &u, 1, 2, sweep);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_DOUBLE_EQ(sweep[6], ddx);
  BScveval2(&rc, 2, c.cv.poles, c.cv.weights, c.cv.knots, 1, u, span2);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_DOUBLE_EQ(span2[6], ddx);
  // A polynomial segment keeps a zero second derivative.
  TestCurve line(2, {0, 0, 0, 4, 0, 0}, {0, 0, 1, 1});
  BScvarreval(&rc, &line.cv, &u, 1, 2, sweep);
  EXPECT_EQ(sweep[6], 0.0);
  EXPECT_EQ(line.cv.weights, nullptr);
}

TEST(BScveval, ExtrapolatesEndSpans) {
  TestCurve c(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 0.5, 1, 1, 1});
  double e[3];
  BSrc rc = -99;
  BScveval(&c.cv, -0.1, 0, e, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const RefEval r = kwtest::ref_eval(c, 2, -0.1, 0);
  EXPECT_TRUE(matches(e, r, 0, 3));
  BScveval(&c.cv, 1.1, 0, e, &rc);
  EXPECT_TRUE(matches(e, kwtest::ref_eval(c, 3, 1.1, 0), 0, 3));
}

TEST(BScveval_b, LeftAndRightDerivativesAtMultipleKnot) {
  // Cubic with a triple knot at 1: C0 there; first derivatives differ.
  TestCurve c(4, {0, 0, 0, 1, 2, 0, 2, 2, 0, 3, 0, 0, 5, 1, 0, 6, 3, 0, 7, 0, 0},
              {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2});
  const double u = 1.0;
  int32_t d = 1;
  double left[6], right[6], main[6];
  int16_t flag = -1;
  BSrc rc = -99;
  ASSERT_TRUE(BScveval_b(&rc, &c.cv, &u, &d, nullptr, &flag, left, right));
  EXPECT_EQ(flag, 1);
  BScveval(&c.cv, u, 1, main, &rc);
  for (int q = 0; q < 3; ++q) {
    EXPECT_DOUBLE_EQ(left[q], c.poles[9 + q]);
    EXPECT_DOUBLE_EQ(right[q], c.poles[9 + q]);
    EXPECT_DOUBLE_EQ(left[3 + q], 3 * (c.poles[9 + q] - c.poles[6 + q]));
    EXPECT_DOUBLE_EQ(right[3 + q], 3 * (c.poles[12 + q] - c.poles[9 + q]));
    EXPECT_EQ(main[3 + q], left[3 + q]);  // the main evaluator takes the left limit
  }
  // A simple knot of a cubic with d = 2: continuous, flag 0, only left written.
  TestCurve s(4, {0, 0, 0, 1, 2, 0, 2, 2, 0, 3, 0, 0, 5, 1, 0}, {0, 0, 0, 0, 1, 2, 2, 2, 2});
  d = 2;
  double l2[9], r2[9];
  std::fill(r2, r2 + 9, 42.0);
  ASSERT_TRUE(BScveval_b(&rc, &s.cv, &u, &d, nullptr, &flag, l2, r2));
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(r2[0], 42.0);
  EXPECT_TRUE(matches(l2, kwtest::ref_eval(s, 3, u, 2), 2, 4));
  // d = 3 at the simple knot: the third derivative jumps, flag 1.
  d = 3;
  double l3[12], r3[12];
  ASSERT_TRUE(BScveval_b(&rc, &s.cv, &u, &d, nullptr, &flag, l3, r3));
  EXPECT_EQ(flag, 1);
  EXPECT_TRUE(matches(l3, kwtest::ref_eval(s, 3, u, 3), 3, 4));
  EXPECT_TRUE(matches(r3, kwtest::ref_eval(s, 4, u, 3), 3, 4));
}

TEST(BScvarrevc, CurvatureCombOfCircleAndLine) {
  const double h = std::sqrt(0.5);
  TestCurve arc(3, {2, 0, 0, 2 * h, 2 * h, 0, 0, 2, 0}, {0, 0, 0, 1, 1, 1}, {1, h, 1});
  const double u[3] = {0.0, 0.5, 1.0};
  double curv[3], rad[3], out[18];
  BSrc rc = -99;
  BScvarrevc(&arc.cv, 3, u, 10.0, curv, rad, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(curv[i], 0.5, 1e-14);
    EXPECT_NEAR(rad[i], 2.0, 1e-14);
    for (int q = 0; q < 3; ++q) EXPECT_NEAR(out[6 * i + 3 + q], 0.0, 1e-14);  // the centre
  }
  // A longest radius above L scales every comb tooth by L / R.
  BScvarrevc(&arc.cv, 3, u, 1.0, curv, rad, out, &rc);
  EXPECT_NEAR(std::hypot(out[3], out[4]), 1.0, 1e-14);
  TestCurve line(3, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  std::fill(out, out + 18, 42.0);
  BScvarrevc(&line.cv, 3, u, 1.0, curv, rad, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rad[i], -1.0);
    EXPECT_EQ(curv[i], 0.0);
    EXPECT_EQ(out[6 * i + 3], 42.0);  // no second point
  }
  TestCurve seg(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  BScvarrevc(&seg.cv, 1, u, 1.0, curv, rad, out, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST(BScvarrevt, TangentTeeth) {
  TestCurve c(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  const double u[2] = {0.0, 0.5};
  double out[12];
  BSrc rc = -99;
  BScvarrevt(&c.cv, u, 2, 3.0, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const double h = std::sqrt(0.5);
  EXPECT_DOUBLE_EQ(out[3], 3.0 * h);
  EXPECT_DOUBLE_EQ(out[4], 3.0 * h);
  EXPECT_DOUBLE_EQ(out[6 + 3], out[6] + 3.0);
  EXPECT_DOUBLE_EQ(out[6 + 4], out[7]);
  // A vanishing derivative is used unnormalised: the tooth collapses onto P.
  TestCurve flat(3, {1, 1, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  BScvarrevt(&flat.cv, u, 1, 3.0, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(out[3], 1.0);
  EXPECT_EQ(out[4], 1.0);
}

TEST(BScveval_h, DividedDifferencesAgreeWithTriangle) {
  std::mt19937_64 rng(18);
  for (int k = 2; k <= 8; ++k) {
    TestCurve c = kwtest::random_curve(rng, k, k + 3, false, true);
    const int p = k - 1;
    int s = k + 1;
    while (!(c.knots[s + 1] > c.knots[s])) --s;
    const double u = 0.5 * (c.knots[s] + c.knots[s + 1]);
    std::vector<double> rows(3 * k), recip(k * k, 0.0), dist(k, 0.0), out(3 * (p + 2));
    for (int q = 0; q < 3; ++q)
      for (int j = 0; j <= p; ++j) rows[q * k + j] = c.poles[3 * (s - p + j) + q];
    for (int r = 1; r <= p; ++r) {
      for (int j = r; j <= p; ++j)
        recip[r * k + j] = 1.0 / (c.knots[s - p + j + k - r] - c.knots[s - p + j]);
      dist[r] = u - c.knots[s - p + r];
    }
    BScveval_h(p, 3, p + 1, rows.data(), recip.data(), dist.data(), out.data());
    const RefEval r = kwtest::ref_eval(c, s, u, p + 1);
    for (int j = 0; j <= p + 1; ++j)
      for (int q = 0; q < 3; ++q)
        EXPECT_NEAR(out[3 * j + q], (double)r.value[3 * j + q], 1e-9 * (1 + (double)r.bound[j]))
            << "k " << k << " j " << j;
  }
}

TEST(BScvnormal, PlaneOfPoles) {
  TestCurve c(3, {0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 2, 1}, {0, 0, 0, 0.5, 1, 1, 1});
  double nrm[3];
  BSrc rc = -99;
  ASSERT_TRUE(BScvnormal(&rc, &c.cv, nrm));
  EXPECT_NEAR(std::fabs(nrm[2]), 1.0, 1e-15);
  EXPECT_NEAR(nrm[0], 0.0, 1e-15);
  // Weighted poles are divided by their weights first.
  TestCurve w(3, {0, 0, 2, 2, 0, 2, 2, 2, 2, 0, 4, 2}, {0, 0, 0, 0.5, 1, 1, 1}, {2, 2, 2, 2});
  ASSERT_TRUE(BScvnormal(&rc, &w.cv, nrm));
  EXPECT_NEAR(std::fabs(nrm[2]), 1.0, 1e-15);
  TestCurve line(3, {0, 0, 0, 1, 1, 1, 2, 2, 2}, {0, 0, 0, 1, 1, 1});
  EXPECT_FALSE(BScvnormal(&rc, &line.cv, nrm));
  EXPECT_EQ(rc, BSCOLLIN);
  TestCurve space(2, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 1, 2, 3, 3});
  EXPECT_FALSE(BScvnormal(&rc, &space.cv, nrm));
  EXPECT_EQ(rc, BSCOLLIN);
  TestCurve two(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  EXPECT_FALSE(BScvnormal(&rc, &two.cv, nrm));
  EXPECT_EQ(rc, BSCOLLIN);
  TestCurve badw(3, {0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, 0.1, 1});
  EXPECT_FALSE(BScvnormal(&rc, &badw.cv, nrm));
  EXPECT_EQ(rc, BSBADWEIGHT);
}

TEST(BSlocknttol, StepsFromDerivativeLengths) {
  TestCurve line(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  double t = 0;
  BSrc rc = -99;
  BSlocknttol(&line.cv, 0.3, 1e-6, &t, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_DOUBLE_EQ(t, 1e-6);
  TestCurve still(2, {1, 1, 1, 1, 1, 1}, {0, 0, 1, 1});
  BSlocknttol(&still.cv, 0.3, 1e-6, &t, &rc);
  EXPECT_EQ(t, 1e-10);
  // A parabola x = u^2 at u = 0: l1 = 0, l2 = 2.
  TestCurve par(3, {0, 0, 0, 0, 0, 0, 1, 0, 0}, {0, 0, 0, 1, 1, 1});
  BSlocknttol(&par.cv, 0.0, 1e-6, &t, &rc);
  EXPECT_DOUBLE_EQ(t, std::sqrt(1e-6 / 4.0));
}

TEST(BSwght_p, WeightAndUnweightInPlace) {
  double pts[6] = {1, 2, 3, 4, 5, 6};
  const double w[2] = {2, 0.5};
  const int32_t n = 2;
  BSrc rc = -99;
  EXPECT_TRUE(BSwght_p(&rc, pts, w, &n, pts));
  EXPECT_EQ(pts[2], 6.0);
  EXPECT_EQ(pts[5], 3.0);
  EXPECT_TRUE(BSunwght_p(&rc, pts, w, &n, pts));
  EXPECT_EQ(pts[2], 3.0);
  EXPECT_EQ(pts[5], 6.0);
  EXPECT_EQ(rc, BSSUCC);
}

// ---- Failure statuses ---------------------------------------------------------------

TEST(BSmansf0, ShortSpanAndZeroDifference) {
  const double t[] = {0, 0, 1, 1, 2, 2};
  double n[2], n1[2];
  BSrc rc = -99;
  BSmansf0(&rc, 2, t, 2, 1.0, n);  // span [1, 1] has no length
  EXPECT_EQ(rc, BSINARG);
  BSmansf1(&rc, 2, t, 2, 1.0, n, n1);
  EXPECT_EQ(rc, BSINARG);
  // A span of length 1e-20: above zero_tol^2 for points, below zero_tol with derivatives.
  const double t3[] = {0, 0, 0, 1e-20, 1, 1, 1};
  double m[3], m1[3];
  BSmansf0(&rc, 3, t3, 2, 0.5e-20, m);
  EXPECT_EQ(rc, BSSUCC);
  BSmansf1(&rc, 3, t3, 2, 0.5e-20, m, m1);
  EXPECT_EQ(rc, BSINARG);
  // Every difference of the recurrence contains the span, so only a decreasing knot
  // vector meets a zero difference beside a valid span.
  const double bad[] = {0, 0, 0, 0.5, -1, 1, 1};
  BSmansf0(&rc, 3, bad, 2, 0.25, m);
  EXPECT_EQ(rc, BSDIVZERO);
  double e[9];
  TestCurve c(3, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0}, {0, 0, 0, 1e-20, 1, 1, 1});
  BScveval1(&rc, 3, c.cv.poles, nullptr, c.cv.knots, 2, 0.5e-20, e);
  EXPECT_EQ(rc, BSINARG);
  BScveval0(&rc, 3, c.cv.poles, nullptr, c.cv.knots, 2, 0.5e-20, e);
  EXPECT_EQ(rc, BSSUCC);
  BScveval0(&rc, 3, c.cv.poles, nullptr, bad, 2, 0.25, e);
  EXPECT_EQ(rc, BSDIVZERO);
  BScveval0(&rc, 3, c.cv.poles, nullptr, c.cv.knots, 1, 0.5, e);  // span [0, 0]
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(e[0], 0.0);
}

TEST(BSsetder_cv, ZeroWeightFails) {
  const double hom[8] = {1, 2, 3, 0, 1, 1, 1, 1};
  double out[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  BSrc rc = -99;
  BSsetder_cv(3, 1, 1, hom, out, &rc);
  EXPECT_EQ(rc, BSFAIL);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], 0.0);
  EXPECT_EQ(out[6], 9.0);
  BSsetder_cv(4, 0, 1, hom, out, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(out[5], 1.0);
  TestCurve c(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1}, {0, 0});
  double e[6];
  BScveval(&c.cv, 0.5, 1, e, &rc);
  EXPECT_EQ(rc, BSFAIL);
}

TEST(BScveval_b, Failures) {
  TestCurve c(2, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0}, {0, 0, 0.5, 1, 1, 1});
  double l[48], r[48];
  int16_t flag = 0;
  BSrc rc = -99;
  double u = 1.0;
  int32_t d = 16;
  EXPECT_FALSE(BScveval_b(&rc, &c.cv, &u, &d, nullptr, &flag, l, r));
  EXPECT_EQ(rc, BSINARG);
  d = 1;
  EXPECT_FALSE(BScveval_b(&rc, &c.cv, &u, &d, nullptr, &flag, l, r));  // no knot above 1
  EXPECT_EQ(rc, BSDEGEN);
  u = std::nan("");
  EXPECT_FALSE(BScveval_b(&rc, &c.cv, &u, &d, nullptr, &flag, l, r));
  EXPECT_EQ(rc, BSINARG);
}

TEST(BSbspl, Failures) {
  const double poles[6] = {0, 0, 0, 1, 0, 0};
  const double t[4] = {0, 0, 1, 1};
  const double t0[4] = {0, 0, 1e-15, 1e-15};
  double buf[64];
  BSrc rc = -99;
  int16_t k = 1;
  const BSboolean rat = 0;
  const int32_t s = 1, d = 1;
  const double u = 0.5;
  EXPECT_FALSE(BSbspl(&rc, poles, nullptr, t, &k, &rat, &s, &d, &u, buf));
  EXPECT_EQ(rc, 2);
  k = 2;
  EXPECT_FALSE(BSbspl(&rc, poles, nullptr, t0, &k, &rat, &s, &d, &u, buf));
  EXPECT_EQ(rc, BSDEGEN);
  const int32_t big = 16;
  EXPECT_FALSE(BSbspl(&rc, poles, nullptr, t, &k, &rat, &s, &big, &u, buf));
  EXPECT_EQ(rc, BSINARG);
}

TEST(BSevalbsp, DomainOfTheKnotVector) {
  const double rows[6] = {0, 1, 2, 0, 0, 0};  // x row, y row
  const double t[5] = {0, 0, 1, 2, 2};
  double out[4];
  BSrc rc = -99;
  BSevalbsp(1, 3, 2, 0, rows, t, 0.0, 1, out, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[2], 1.0);
  BSevalbsp(1, 3, 2, 0, rows, t, std::nextafter(0.0, -1.0), 1, out, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSevalbsp(1, 3, 2, 0, rows, t, 2.5, 0, out, &rc);
  EXPECT_EQ(rc, BSINARG);
  // d = 0 on an interior knot takes the span on the right, d = 1 the one on the left.
  BSevalbsp(1, 3, 2, 0, rows, t, 1.0, 0, out, &rc);
  EXPECT_EQ(out[0], 1.0);
}

TEST(BScvarreval, Failures) {
  TestCurve c(3, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  const double u[2] = {0.1, 0.2};
  double out[18];
  BSrc rc = -99;
  BScvarreval(&rc, &c.cv, u, 2, 3, out);
  EXPECT_EQ(rc, BSINARG);
  rc = -99;
  BScvarreval(&rc, &c.cv, u, 0, 3, out);
  EXPECT_EQ(rc, BSSUCC);
  TestCurve z(2, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 0.5, 1, 1}, {1, 0, 1});
  const double v[3] = {0.1, 0.5, 0.75};
  std::fill(out, out + 18, 42.0);
  BScvarreval(&rc, &z.cv, v, 3, 0, out);  // w(0.5) = 0
  EXPECT_EQ(rc, BSFAIL);
  EXPECT_NE(out[0], 42.0);  // earlier outputs stay written
}

// ---- Memory behaviour ---------------------------------------------------------------

// Runs at debug level 20 and checks that no guarded block is left live.
class EvaluateMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    kwtest::reset_library_state();
    BSdbglev = knotwork::kDebugLevel;
    live_ = BSlist_al.count;
  }
  void TearDown() override {
    EXPECT_EQ(BSlist_al.count, live_);
    BSdbglev = 0;
    kwtest::reset_library_state();
  }
  int32_t live_ = 0;
};

TEST_F(EvaluateMemory, OrdinaryCurvesEvaluateWithoutHeapTraffic) {
  std::mt19937_64 rng(19);
  std::vector<TestCurve> curves;
  for (int k = 2; k <= 16; ++k)
    for (int r = 0; r < 2; ++r) curves.push_back(kwtest::random_curve(rng, k, k + 5, r == 1, true));
  const int32_t live = BSlist_al.count;
  kwtest::NoHeapScope scope;
  for (TestCurve &c : curves) {
    const int k = c.k();
    double out[3 * 20], l[48], r[48], sweep[9 * 8], hom[4 * 8];
    BSrc rc = -99;
    double pars[8];
    for (int i = 0; i < 8; ++i) pars[i] = c.lo() + (c.hi() - c.lo()) * i / 7.0;
    for (int d = 0; d <= k && d < 19; ++d) {
      BScveval(&c.cv, pars[3], d, out, &rc);
      ASSERT_EQ(rc, BSSUCC);
    }
    BScveval2(&rc, k, c.cv.poles, c.cv.weights, c.cv.knots, k, pars[2], out);
    int32_t d = 3;
    int16_t flag;
    BScveval_b(&rc, &c.cv, &c.knots[k], &d, nullptr, &flag, l, r);
    for (int dd = 0; dd <= 2; ++dd) BScvarreval(&rc, &c.cv, pars, 8, dd, sweep);
    BScvarrev0(&rc, &c.cv, pars, 8, sweep);
    BScvarrev0w(&c.cv, 8, pars, hom, &rc);
    BScvarrevt(&c.cv, pars, 8, 1.0, sweep, &rc);
    ASSERT_EQ(rc, BSSUCC);
  }
  EXPECT_EQ(scope.heap_requests(), 0);
  EXPECT_EQ(BSlist_al.count, live);
  EXPECT_EQ(BSmemclean(), 0);
}

TEST_F(EvaluateMemory, HighOrdersTakeScratchAndReportItsFailure) {
  std::mt19937_64 rng(20);
  TestCurve c = kwtest::random_curve(rng, 24, 28, true, true);
  double out[3 * 4];
  const double u = 0.5 * (c.lo() + c.hi());
  const auto res = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc = -99;
        BScveval(&c.cv, u, 3, out, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GT(res.allocations, 0);
  EXPECT_TRUE(matches(out, kwtest::ref_eval(c, kwtest::ref_span_right_closed(c, u), u, 3), 3, 24));
  std::vector<double> pars(40), curv(40), rad(40), comb(240);
  for (int i = 0; i < 40; ++i) pars[i] = c.lo() + (c.hi() - c.lo()) * i / 39.0;
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc = -99;
        BScvarrevc(&c.cv, 40, pars.data(), 1.0, curv.data(), rad.data(), comb.data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
}

TEST(BScvevaln, GivenSpanAndManyComponents) {
  // Five values per pole: a degree-2 curve in 5 dimensions, evaluated on the span
  // the caller names, against the 3D reference on the first three rows.
  std::mt19937_64 rng(21);
  TestCurve c = kwtest::random_curve(rng, 3, 7, false, true);
  const int n = c.n(), m = 5;
  std::vector<double> rows(m * n);
  for (int i = 0; i < n; ++i) {
    for (int q = 0; q < 3; ++q) rows[q * n + i] = c.poles[3 * i + q];
    rows[3 * n + i] = 1.0;
    rows[4 * n + i] = i;
  }
  const int32_t s = 4;
  const double u = 0.5 * (c.knots[s] + c.knots[s + 1]);
  double out[5 * 3];
  BSrc rc = -99;
  BScvevaln(2, n, m, rows.data(), c.cv.knots, u, s, 2, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const RefEval r = kwtest::ref_eval(c, s, u, 2);
  for (int j = 0; j <= 2; ++j) {
    for (int q = 0; q < 3; ++q)
      EXPECT_NEAR(out[m * j + q], (double)r.value[3 * j + q], allowed(r, j, 3));
    EXPECT_NEAR(out[m * j + 3], j == 0 ? 1.0 : 0.0, 1e-14);
  }
  // The degree-0 case zeroes the outputs of a negative degree.
  double z[4] = {7, 7, 7, 7};
  BScvevaln(-1, n, 2, rows.data(), c.cv.knots, u, -1, 1, z, &rc);
  EXPECT_EQ(rc, BSSUCC);
  for (double v : z) EXPECT_EQ(v, 0.0);
}

TEST_F(EvaluateMemory, ScratchFailuresOfEvalbspAndCvnormal) {
  // A rational planar curve with 40 derivatives: (dim + 1)(d + 1) = 123 doubles
  // of homogeneous scratch, above the 100 kept on the stack.
  const double rows[3 * 3] = {0, 1, 2, 0, 1, 0, 1, 0.5, 1};  // x, y weighted; weights
  const double t[6] = {0, 0, 0, 1, 1, 1};
  std::vector<double> out(2 * 41);
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc = -99;
        BSevalbsp(2, 3, 2, 1, rows, t, 0.3, 40, out.data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  std::vector<double> poles(3 * 300);
  std::vector<double> knots(302);
  for (int i = 0; i < 300; ++i) {
    poles[3 * i] = std::cos(i * 0.01);
    poles[3 * i + 1] = std::sin(i * 0.01);
  }
  for (int i = 0; i < 302; ++i) knots[i] = std::clamp(i - 1, 0, 299);
  TestCurve c(2, poles, knots);
  double nrm[3];
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc = -99;
        BScvnormal(&rc, &c.cv, nrm);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_NEAR(std::fabs(nrm[2]), 1.0, 1e-12);
}

TEST(BScveval, GeneralPathFailureTracedAsBScveval_n) {
  BSdbginit();
  TestCurve c(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1}, {0, 0});
  double e[9];
  BSrc rc = -99;
  BScveval(&c.cv, 0.5, 1, e, &rc);
  EXPECT_EQ(rc, BSFAIL);
  BScveval(&c.cv, 0.5, 2, e, &rc);
  EXPECT_EQ(rc, BSFAIL);
  std::FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  BSdbgprint(f);
  std::rewind(f);
  char text[256] = {};
  const std::size_t got = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  EXPECT_EQ(std::string(text, got), "error in BScveval, rc = -1 \nerror in BScveval_n, rc = -1 \n");
  BSdbginit();
}
