// The building blocks of a fit on hand-computed cases: tangent estimates, end
// poles, knot placement, natural ends, two-point fits, matrix sizes, and the
// failure statuses of every entry.
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "ref_curves.hpp"
#include "support.hpp"

namespace {

class FitPieces : public kwtest::GuardedTest {};

void expect_vec(const double *v, std::vector<double> want, double tol = 1e-15) {
  for (int c = 0; c < static_cast<int>(want.size()); ++c) EXPECT_NEAR(v[c], want[c], tol) << c;
}

TEST_F(FitPieces, TangentOfThreePointsFromTheirCircle) {
  const double a[3] = {1, 0, 0}, b[3] = {0, 1, 0}, c[3] = {-1, 0, 0};
  double t[3];
  BSrc rc;
  // Circle tangent (0, +-1, 0) averaged with the unit chord.
  const double s = std::sqrt(0.5), len = std::hypot(s, 1 + s);
  BStanffit(0, a, b, c, t, &rc);
  ASSERT_EQ(rc, BSSUCC);
  expect_vec(t, {-s / len, (1 + s) / len, 0});
  BStanffit(1, a, b, c, t, &rc);
  expect_vec(t, {-s / len, -(1 + s) / len, 0});
  const double d[3] = {2, 0, 0}, e[3] = {5, 0, 0};
  BStanffit(1, a, d, e, t, &rc);  // collinear: the chord
  expect_vec(t, {1, 0, 0});
  BStanffit(0, a, a, e, t, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(FitPieces, PoleNextToAnEnd) {
  const double pts[12] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0}, pars[4] = {0, 1. / 3, 2. / 3, 1};
  const double knots[10] = {0, 0, 0, 0, 1. / 3, 2. / 3, 1, 1, 1, 1};
  const double up[3] = {0, 2, 0}, zero[3] = {0, 0, 0}, w[4] = {1, 2, 4, 3};
  double pole[3];
  BSrc rc;
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, 0, 0, 1.0, nullptr, pole, &rc);
  expect_vec(pole, {1.1 / 3, 0, 0});
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, 0, 1, 1.0, nullptr, pole, &rc);
  expect_vec(pole, {3 - 1.1 / 3, 0, 0});
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, 1, 0, 1.0, up, pole, &rc);
  expect_vec(pole, {0, 1.1 / 3, 0});
  BSfndtnpol2(4, pts, w, pars, 4, 6, knots, 3, 1, 0, 2.0, up, pole, &rc);  // weighted points
  expect_vec(pole, {0, 2 * (1.1 / 3) * 0.5, 0});
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, -1, 1, 1.0, up, pole, &rc);
  expect_vec(pole, {0, 2, 0});
  BSfndtnpol2(4, w, nullptr, pars, 4, 6, knots, 1, 0, 0, 1.0, nullptr, pole, &rc);
  EXPECT_DOUBLE_EQ(pole[0], 1 + 1.1 / 3);
  BSfndtnpol2(4, w, nullptr, pars, 4, 6, knots, 1, 0, 1, 1.0, nullptr, pole, &rc);
  EXPECT_DOUBLE_EQ(pole[0], 3 + 1.1 / 3);
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, 1, 0, 1.0, zero, pole, &rc);
  EXPECT_EQ(rc, BSINARG);
  // Coincident parameters: -1, and the caller's knots stay as they were.
  const double twice[4] = {0, 0.5, 0.5, 1};
  double out[10] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
  int32_t nk, spans[4];
  BSkts_f_fit(4, 0, 4, 1e-9, 3, 4, twice, &nk, out, spans, &rc);
  EXPECT_EQ(rc, BSFAIL);
  for (double v : out) EXPECT_EQ(v, 7.0);
}

TEST_F(FitPieces, OddPeriodicKnotsWrapAroundTheirDomain) {
  const double pars[5] = {0, 0.25, 0.5, 0.75, 1};
  double knots[9];
  int32_t nk, spans[5];
  BSrc rc;
  BSkts_f_fit(3, 1, 4, 1e-9, 4, 5, pars, &nk, knots, spans, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(nk, 9);
  const double want[9] = {-0.625, -0.375, -0.125, 0.125, 0.375, 0.625, 0.875, 1.125, 1.375};
  for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(knots[i], want[i]);
  const int32_t want_spans[5] = {2, 3, 4, 5, 5};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(spans[i], want_spans[i]);
  // BSktsprsfft = BSavgprsfft + BSkts_f_fit; with skipped knots only the spans.
  const double pts[15] = {0, 0, 0, 1, 0, 0, 1, 2, 0, 0, 2, 0, 0, 0, 1};
  double p1[5], p2[5], avg, k1[11], k2[11];
  int32_t s1[5], s2[5], n1, n2;
  BSktsprsfft(5, pts, nullptr, 4, 0, 4, 0, 0, 0, p1, &n1, k1, s1, &rc);
  ASSERT_EQ(rc, BSSUCC);
  BSavgprsfft(1, 5, pts, nullptr, 3, 3, 4, &avg, p2, &rc);
  BSkts_f_fit(4, 0, 4, BSparameters.knot_tol / avg, 4, 5, p2, &n2, k2, s2, &rc);
  ASSERT_EQ(n1, n2);
  for (int i = 0; i < n1; ++i) EXPECT_EQ(k1[i], k2[i]);
  for (int i = 0; i < 5; ++i) s2[i] = -1;
  BSktsprsfft(5, pts, nullptr, 4, 0, 4, 1, 1, 0, p1, &n1, k1, s2, &rc);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s2[i], s1[i]);
}

TEST_F(FitPieces, NaturalEndsHaveNoCurvature) {
  std::mt19937_64 rng(4);
  std::uniform_real_distribution<double> u(-1, 1);
  const int n = 9, k = 4, m = n + 2;
  std::vector<double> pts(3 * n), pars(n), knots(m + k), poles(3 * m);
  std::vector<int32_t> spans(n);
  for (int j = 0; j < n; ++j) {
    pars[j] = j / (n - 1.0);
    pts[3 * j] = j;
    pts[3 * j + 1] = u(rng);
    pts[3 * j + 2] = u(rng);
  }
  int32_t nk;
  BSrc rc;
  BSkts_f_fit(k, 0, 4, 1e-9, n - 1, n, pars.data(), &nk, knots.data(), spans.data(), &rc);
  std::copy(pts.begin(), pts.begin() + 3, poles.begin());
  std::copy(pts.end() - 3, pts.end(), poles.end() - 3);
  BSnpftwcns2(n, pts.data(), pars.data(), spans.data(), k, m, knots.data(), 3, 3, 7, nullptr,
              nullptr, poles.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  const auto cv = kwtest::make_curve(k, knots, poles);
  for (int j = 0; j < n; ++j) {
    const auto q = kwtest::ref_eval(cv, pars[j]);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(q[c], pts[3 * j + c], 1e-12);
  }
  auto rc_cv = cv;
  BScurve view = rc_cv.view();
  double d[9];
  for (double t : {0.0, 1.0}) {
    BScveval(&view, t, 2, d, &rc);
    for (int c = 6; c < 9; ++c) EXPECT_NEAR(d[c], 0.0, 1e-10);
  }
}

TEST_F(FitPieces, TwoPointFitsAreBezierSegments) {
  const double pts[6] = {0, 0, 0, 3, 0, 0}, pars[2] = {0, 1}, t0[3] = {0, 1, 0}, t1[3] = {0, -1, 0};
  const int32_t spans[2] = {3, 3};
  const double k4[8] = {0, 0, 0, 0, 1, 1, 1, 1}, k6[12] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1};
  double poles[18];
  BSrc rc;
  BSfitratpts(2, pts, nullptr, pars, spans, 4, 4, k4, 3, 3, 0, 2, 1, 1, t0, t1, nullptr, nullptr,
              nullptr, nullptr, poles, nullptr, &rc);
  ASSERT_EQ(rc, BSSUCC);
  expect_vec(poles, {0, 0, 0, 0, 1, 0, 3, 1, 0, 3, 0, 0});
  // Raised to order 6: the same cubic.
  const int32_t spans6[2] = {5, 5};
  BSfitratpts(2, pts, nullptr, pars, spans6, 6, 6, k6, 3, 3, 0, 2, 1, 1, t0, t1, nullptr, nullptr,
              nullptr, nullptr, poles, nullptr, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const auto cubic = kwtest::make_curve(4, {k4, k4 + 8}, {0, 0, 0, 0, 1, 0, 3, 1, 0, 3, 0, 0});
  const auto sextic = kwtest::make_curve(6, {k6, k6 + 12}, {poles, poles + 18});
  for (double u : {0.1, 0.5, 0.77}) {
    const auto a = kwtest::ref_eval(cubic, u), b = kwtest::ref_eval(sextic, u);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-15);
  }
  BSfitratpts(2, pts, nullptr, pars, spans, 4, 4, k4, 3, 3, 0, 2, 3, 3, nullptr, nullptr, nullptr,
              nullptr, nullptr, nullptr, poles, nullptr, &rc);
  expect_vec(poles, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0});
  BSfitratpts(2, pts, nullptr, pars, spans6, 6, 6, k6, 3, 3, 0, 2, -1, 0, t0, nullptr, nullptr,
              nullptr, nullptr, nullptr, poles, nullptr, &rc);
  EXPECT_EQ(rc, BSINARG);
}

// Points sampled from a curve: the least-squares modes give back its poles.
TEST_F(FitPieces, LeastSquaresRecoversTheSampledCurve) {
  std::mt19937_64 rng(12);
  for (int k : {2, 3, 4, 6}) {
    kwtest::RefCurve cv = kwtest::random_curve(rng, kwtest::CurveShape{k, 9, false, false, true});
    const int n = 60, m = cv.n();
    std::vector<double> pts(3 * n), pars(n), poles(3 * m);
    std::vector<int32_t> spans(n);
    for (int j = 0; j < n; ++j) {
      pars[j] = j / (n - 1.0);
      const auto q = kwtest::ref_eval(cv, pars[j]);
      std::copy(q.begin(), q.end(), pts.begin() + 3 * j);
    }
    BSrc rc;
    int32_t nk = m + k;
    BSktsprsfft(n, nullptr, nullptr, k, 0, m - k + 1, 1, 1, 0, pars.data(), &nk, cv.knots.data(),
                spans.data(), &rc);
    for (int mode : {0, 1}) {
      BSfitratpts(n, pts.data(), nullptr, pars.data(), spans.data(), k, m, cv.knots.data(), 3, 3, 0,
                  mode, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, poles.data(),
                  nullptr, &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int i = 0; i < 3 * m; ++i) EXPECT_NEAR(poles[i], cv.poles[i], 1e-10) << k << mode;
    }
  }
}

TEST_F(FitPieces, MatrixSizes) {
  int32_t rows, cols;
  BSrc rc;
  BSftmatsz(0, 10, 12, 4, 1, 2, &rows, &cols, &rc);
  EXPECT_EQ(rows * 100 + cols, 9 * 100 + 9);
  BSftmatsz(0, 10, 12, 4, 0, 2, &rows, &cols, &rc);
  EXPECT_EQ(rows * 100 + cols, 8 * 100 + 4);
  BSftmatsz(1, 10, 12, 4, 0, 2, &rows, &cols, &rc);
  EXPECT_EQ(rows, 10);
  BSftmatsz(0, 10, 12, 4, 0, 5, &rows, &cols, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(FitPieces, EntriesRefuseBadInput) {
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(0.2, 1.0);
  const int n = 30, k = 4;
  std::vector<double> pts(3 * n), pars(n), w(n), knots(n + 2 * k), poles(3 * (n + k)),
      weights(n + k);
  double x[3] = {0, 0, 0};
  for (int j = 0; j < n; ++j) {
    for (int c = 0; c < 3; ++c) pts[3 * j + c] = x[c] += u(rng);
    w[j] = j % 2 ? 0.05 : 1.0;  // alternating weights: the fitted weights overshoot below 0
  }
  std::copy(pts.begin(), pts.begin() + 3, pts.end() - 3);
  std::vector<int32_t> spans(n);
  int32_t nk, mode = 2;
  BSrc rc;
  double avg, tan[3];
  BSavgprsfft(1, n, pts.data(), nullptr, 3, 3, k, &avg, pars.data(), &rc);
  BSkts_f_fit(k, 1, 4, 1e-9, n - 1, n, pars.data(), &nk, knots.data(), spans.data(), &rc);
  const int32_t m = nk - k;
  BSfitratpts(n, pts.data(), w.data(), pars.data(), spans.data(), k, m, knots.data(), 3, 3, 1, 2, 0,
              0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, poles.data(), weights.data(),
              &rc);
  EXPECT_EQ(rc, BSBADWEIGHT);
  std::vector<double> bad = pts;
  bad[7] = std::nan("");
  const double *p = pts.data(), *b = bad.data();
  // Each entry called on the points q.
#define ENTRY(...) [&](const double *q) { return __VA_ARGS__, rc; }
  const std::vector<std::function<BSrc(const double *)>> entries = {
      ENTRY(BScumdstopt(n, q, nullptr, 3, 3, &(mode = 2), pars.data(), &rc)),
      ENTRY(BSavgprsfft(1, n, q, nullptr, 3, 3, k, &avg, pars.data(), &rc)),
      ENTRY(BStanffit(0, q, q + 3, q + 6, tan, &rc)),
      ENTRY(BSfitratpts(n, q, nullptr, pars.data(), spans.data(), k, m, knots.data(), 3, 3, 1, 2, 0,
                        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, poles.data(),
                        nullptr, &rc)),
      ENTRY(BSperiodfit(n, q, pars.data(), spans.data(), k, m, knots.data(), 3, 3, nullptr,
                        poles.data(), &rc)),
      ENTRY(BSprftwbsol(n, q, pars.data(), spans.data(), k, m, knots.data(), 3, 3, nullptr,
                        poles.data(), &rc)),
      [&](const double *q) {
        std::vector<double> t2(n), k2(n + 2 * k);
        std::vector<int32_t> s2(n);
        int32_t n2;
        BSktsprsfft(n, q, nullptr, k, 1, n - 1, 0, 0, 0, t2.data(), &n2, k2.data(), s2.data(), &rc);
        return rc;
      },
      ENTRY(BSfndtnpol2(n, q, nullptr, pars.data(), k, m, knots.data(), 3, 0, 0, 1, nullptr, tan,
                        &rc)),
  };
#undef ENTRY

  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i](b), BSINARG) << "entry " << i;
    EXPECT_EQ(entries[i](nullptr), BSNULLPTR) << "entry " << i;
    EXPECT_EQ(entries[i](p), BSSUCC) << "entry " << i;
  }
}

}  // namespace
