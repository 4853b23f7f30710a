// Basis conversions: agreement of one polynomial in every basis at many points (independent
// long-double evaluation), round trips to each limit, the measured Bezier <-> Legendre round-trip
// error by degree, local power forms, span Taylor forms and power-basis curve records, failure
// statuses.

#include "bases_ref.hpp"
#include "ref_curves.hpp"
#include "support.hpp"

namespace {

using V = std::vector<double>;
class Conversions : public kwtest::GuardedTest {};

V call(void (*f)(int32_t, const double *, double *, BSrc *), int n, const V &in) {
  V out(n + 1, -7.0);
  BSrc rc = -99;
  f(n, in.data(), out.data(), &rc);
  EXPECT_EQ(rc, 0) << n;
  return out;
}

double abs_sum(const V &v) {
  double s = 0;
  for (double x : v) s += std::fabs(x);
  return s;
}

// Every conversion of a random Legendre series agrees with it at 41 points of
// [-1, 1] (Bezier at t = (x + 1)/2) within the rounding of the target coefficients
// (a few ulps of their magnitude sum, which grows like 2^n for power and Bezier).
TEST_F(Conversions, EveryBasisDescribesTheSamePolynomial) {
  std::mt19937 gen(16);
  for (int n : {0, 1, 2, 3, 4, 5, 7, 15, 16, 31, 63, 127, 200, 319, 325}) {
    const V l = bref::random_series(gen, n);
    const double mag = abs_sum(l), eps = 4e-16 * (n + 1);
    const V t = call(BSlgdttch, n, l);
    const V p = n <= 63 ? call(BSlgdtcan, n, l) : V();
    const V b = n <= 319 ? call(BSlgdtbez, n, l) : V();
    const V back = n <= 63 ? call(BScantlgd, n, p) : V();
    for (int i = 0; i <= 40; ++i) {
      const double x = -1 + i / 20.0;
      const bref::LD ref = bref::legendre_sum(l, x);
      double value = 0;
      BShornlgd(n, l.data(), x, &value);
      EXPECT_NEAR(value, double(ref), eps * mag) << "Clenshaw " << n;
      EXPECT_NEAR(double(bref::chebyshev_sum(t, x)), double(ref), eps * mag) << "T " << n;
      if (!p.empty()) {
        EXPECT_NEAR(double(bref::power_sum(p, x)), double(ref), eps * abs_sum(p)) << n;
        EXPECT_NEAR(double(bref::legendre_sum(back, x)), double(ref), 2 * eps * abs_sum(p)) << n;
      }
      if (!b.empty()) {
        EXPECT_NEAR(double(bref::bezier_sum(b, (x + 1) / 2)), double(ref), eps * abs_sum(b)) << n;
      }
    }
    // Chebyshev -> Legendre returns the series to a few ulps of its magnitude.
    const V l2 = call(BStchtlgd, n, t);
    for (int k = 0; k <= n; ++k) EXPECT_NEAR(l2[k], l[k], 4e-16 * mag) << n;
    if (n <= 319) {  // Bezier -> Legendre inverts Legendre -> Bezier to the rounding of b
      V l3(n + 1);
      BSrc rc = -99;
      BSbeztolgd(n, 1, b.data(), l3.data(), &rc);
      ASSERT_EQ(rc, 0);
      for (int k = 0; k <= n; ++k)
        EXPECT_NEAR(l3[k], l[k], 2e-16 * (2 * k + 1) * (mag + abs_sum(b))) << n;
    }
  }
  // power -> Legendre up to its limit 127: agreement at the points.
  const V p = bref::random_series(gen, 127, 0.01);
  const V l = call(BScantlgd, 127, p);
  for (int i = 0; i <= 40; ++i)
    EXPECT_NEAR(double(bref::legendre_sum(l, -1 + i / 20.0)),
                double(bref::power_sum(p, -1 + i / 20.0)), 1e-15);
}

// Bezier -> Legendre -> Bezier: the error of the round trip grows with the
// condition of the Legendre -> Bezier map (about 2^n); these are the bounds the
// header states, measured over random coefficients in [-1, 1].
TEST_F(Conversions, BezierLegendreRoundTripErrorByDegree) {
  std::mt19937 gen(3);
  const struct {
    int n;
    double bound;
  } rows[] = {{3, 1e-15}, {7, 1e-15}, {15, 6e-15}, {16, 4e-14}, {31, 4e-9}, {63, 8.0}, {200, 1e50}};
  for (const auto &r : rows) {
    double worst = 0;
    for (int trial = 0; trial < 20; ++trial) {
      const V b = bref::random_series(gen, r.n);
      V l(r.n + 1), b2(r.n + 1);
      BSrc rc = -99;
      BSbeztolgd(r.n, 1, b.data(), l.data(), &rc);
      ASSERT_EQ(rc, 0);
      BSlgdtbez(r.n, l.data(), b2.data(), &rc);
      ASSERT_EQ(rc, 0);
      for (int j = 0; j <= r.n; ++j) worst = std::max(worst, std::fabs(b2[j] - b[j]));
      // As functions the two rows agree to rounding at every degree.
      if (r.n <= 63) {
        for (int i = 0; i <= 20; ++i)
          EXPECT_NEAR(double(bref::bezier_sum(b2, i / 20.0)), double(bref::bezier_sum(b, i / 20.0)),
                      1e-15 * (r.n + 1));
      }
    }
    EXPECT_LE(worst, r.bound) << "degree " << r.n;
  }
}

TEST_F(Conversions, PowerBezierAndLocalPowerForms) {
  std::mt19937 gen(5);
  for (int n : {1, 2, 3, 6, 12}) {
    const V b = bref::random_series(gen, 2 * n + 1);  // two components
    V c(b.size()), b2(b.size()), p(n + 1), b3(n + 1);
    BSbeztocan1(2, n, b.data(), c.data());
    BSrc rc = -99;
    BScantobez1(2, n, c.data(), b2.data(), &rc);
    ASSERT_EQ(rc, 0);
    const double scale = 1e-15 * (n + 1) * abs_sum(c);  // rounding of the power form
    for (size_t j = 0; j < b.size(); ++j) EXPECT_NEAR(b2[j], b[j], scale);
    BSbeztocan(n, b.data(), p.data());
    BScantbez(n, p.data(), b3.data(), &rc);
    for (int i = 0; i <= 10; ++i) {
      const double t = i / 10.0;
      for (int comp = 0; comp < 2; ++comp) {
        const V bc(b.begin() + comp * (n + 1), b.begin() + (comp + 1) * (n + 1));
        const V cc(c.begin() + comp * (n + 1), c.begin() + (comp + 1) * (n + 1));
        EXPECT_NEAR(double(bref::power_sum(cc, 2 * t - 1)), double(bref::bezier_sum(bc, t)), scale);
      }
      EXPECT_NEAR(double(bref::power_sum(p, t)),
                  double(bref::bezier_sum(V(b.begin(), b.begin() + n + 1), t)),
                  1e-15 * (n + 1) * abs_sum(p));
    }
    for (int j = 0; j <= n; ++j) EXPECT_NEAR(b3[j], b[j], 1e-15 * (n + 1) * abs_sum(p));
  }
}

TEST_F(Conversions, PowerCurveRecordAndSpanTaylorForm) {
  // dim 2 local power rows: x = u, y = u^2 on knots [0, 1] with u = 2t - 1.
  const V coefs = {0, 1, 0, 0, 0, 1};
  V poles(9, -1), knots(6, -1);
  BScurve cv{0, 0, 0, 0, poles.data(), 0, knots.data(), 0, nullptr, 0, 0, 0, nullptr};
  BSrc rc = -99;
  BScan2qelbs(2, 2, coefs.data(), &cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(std::tuple(knots, poles),
            std::tuple(V{0, 0, 0, 1, 1, 1}, V{-1, 1, 0, 0, -1, 0, 1, 1, 0}));
  EXPECT_EQ(std::tuple(cv.order, cv.num_poles, cv.planar, cv.phy_closed),
            std::tuple(3, 3, TRUE, FALSE));
  // Span Taylor forms of a random cubic spline in 3 coordinate-major rows agree
  // with the reference evaluator across each span.
  std::mt19937_64 rng(9);
  kwtest::RefCurve sp = kwtest::random_curve(rng, 4, 9, false, true);
  const int n = sp.n();
  const V rows = sp.rows();
  for (int s = 3; s < n; ++s) {
    if (!(sp.knots[s + 1] > sp.knots[s])) continue;
    V out(12);
    BSspantocan(3, n, 3, rows.data(), sp.knots.data(), s, out.data(), &rc);
    ASSERT_EQ(rc, 0);
    for (int i = 0; i <= 8; ++i) {
      const double u = -1 + i / 4.0,
                   t = sp.knots[s] + (u + 1) / 2 * (sp.knots[s + 1] - sp.knots[s]);
      const auto ref = kwtest::ref_eval(sp, t);
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(double(bref::power_sum(V(out.begin() + 4 * c, out.begin() + 4 * c + 4), u)),
                    ref[c], 1e-13);
    }
  }
}

TEST_F(Conversions, FailureStatusesLeaveOutputsUntouched) {
  const V in(400, 0.5);
  V nan_in(400, 0.5), out(400, -7.0), knots = {0, 0, 1, 1};
  nan_in[2] = NAN;
  double *o = out.data(), *k = knots.data(), *nan = nan_in.data();
  const struct {
    const char *name;
    std::function<void(const double *, BSrc *)> op;
    BSrc expected;
  } rows[] = {
      BASES_ROW(BSINARG, BSlgdtcan(64, i, o, rc)),
      BASES_ROW(BSINARG, BSlgdtcan(-1, i, o, rc)),
      BASES_ROW(BSINARG, BScantlgd(128, i, o, rc)),
      BASES_ROW(BSINARG, BSlgdttch(326, i, o, rc)),
      BASES_ROW(BSINARG, BStchtlgd(326, i, o, rc)),
      BASES_ROW(BSINARG, BSbeztolgd(320, 1, i, o, rc)),
      BASES_ROW(BSINARG, BSbeztolgd(3, 0, i, o, rc)),
      BASES_ROW(BSINARG, BSlgdtbez(320, i, o, rc)),
      BASES_ROW(BSINARG, BScantbez(-1, i, o, rc)),
      BASES_ROW(BSINARG, BScantobez1(-1, 3, i, o, rc)),
      BASES_ROW(BSNULLPTR, BSlgdtcan(3, nullptr, o, rc)),
      BASES_ROW(BSNULLPTR, BSlgdtbez(3, i, nullptr, rc)),
      BASES_ROW(BSNULLPTR, BScantobez1(2, 3, nullptr, o, rc)),
      BASES_ROW(BSNULLPTR, BSspantocan(1, 2, 1, i, i, 1, nullptr, rc)),
      BASES_ROW(BSNULLPTR, BScan2qelbs(2, 3, i, nullptr, rc)),
      BASES_ROW(BSINARG, BSspantocan(1, 2, 1, i, k, 2, o, rc)),
      BASES_ROW(BSINARG, BSspantocan(1, 2, 1, i, k, 0, o, rc)),
      // Non-finite coefficients fail in every conversion with a status.
      BASES_ROW(BSINARG, BSlgdtcan(5, nan, o, rc)),
      BASES_ROW(BSINARG, BScantlgd(5, nan, o, rc)),
      BASES_ROW(BSINARG, BSlgdttch(5, nan, o, rc)),
      BASES_ROW(BSINARG, BStchtlgd(5, nan, o, rc)),
      BASES_ROW(BSINARG, BSlgdtbez(5, nan, o, rc)),
      BASES_ROW(BSINARG, BScantbez(5, nan, o, rc)),
      BASES_ROW(BSINARG, BSbeztolgd(5, 1, nan, o, rc)),
      BASES_ROW(BSINARG, BSspantocan(1, 2, 1, nan, nan, 1, o, rc)),
  };
  for (const auto &r : rows) {
    BSrc rc = -99;
    r.op(in.data(), &rc);
    EXPECT_EQ(rc, r.expected) << r.name;
    EXPECT_EQ(out, V(400, -7.0)) << r.name;
  }
}

}  // namespace
