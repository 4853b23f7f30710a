// Power-basis solvers: the telling cases of each closed form, random polynomials
// built from known roots, and random coefficients against an independent
// Durand-Kerner iteration in long double written here.
#include <cfloat>
#include <complex>

#include "status_of.hpp"
#include "support.hpp"

namespace {

using cplx = std::complex<long double>;

class RootsClosedForm : public kwtest::GuardedTest {};

// Ascending coefficients of prod (x - r_i) over complex roots (conjugates given).
std::vector<double> from_roots(const std::vector<cplx> &r, double lead = 1.0) {
  std::vector<cplx> c{cplx(lead)};
  for (const cplx &z : r) {
    std::vector<cplx> n(c.size() + 1, 0.0L);
    for (size_t i = 0; i < c.size(); ++i) {
      n[i + 1] += c[i];
      n[i] -= z * c[i];
    }
    c = n;
  }
  std::vector<double> out;
  for (const cplx &z : c) out.push_back(static_cast<double>(z.real()));
  return out;
}

// Independent reference: Durand-Kerner (Weierstrass) iteration in long double.
std::vector<cplx> durand_kerner(const std::vector<double> &c) {
  const int n = static_cast<int>(c.size()) - 1;
  std::vector<cplx> z(n);
  for (int i = 0; i < n; ++i) z[i] = std::pow(cplx(0.4L, 0.9L), i);
  for (int it = 0; it < 500; ++it) {
    long double step = 0;
    for (int i = 0; i < n; ++i) {
      cplx p = c[n], den = c[n];
      for (int j = n - 1; j >= 0; --j) p = p * z[i] + static_cast<long double>(c[j]);
      for (int j = 0; j < n; ++j)
        if (j != i) den *= z[i] - z[j];
      z[i] -= p / den;
      step = std::max(step, std::abs(p / den));
    }
    if (step < 1e-17L) break;
  }
  return z;
}

// Every expected root is matched by a distinct returned root within tol.
void expect_same_roots(const std::vector<cplx> &want, const double *re, const double *im,
                       double tol) {
  std::vector<bool> used(want.size(), false);
  for (size_t k = 0; k < want.size(); ++k) {
    double best = 1e300;
    size_t bi = 0;
    for (size_t j = 0; j < want.size(); ++j) {
      if (used[j]) continue;
      const double d = std::abs(std::complex<double>(re[k], im[k]) -
                                std::complex<double>(static_cast<double>(want[j].real()),
                                                     static_cast<double>(want[j].imag())));
      if (d < best) best = d, bi = j;
    }
    used[bi] = true;
    EXPECT_LE(best, tol) << "root " << k << " = " << re[k] << " + " << im[k] << "i";
  }
}

TEST_F(RootsClosedForm, TellingCasesOfQuadraticCubicAndQuartic) {
  double re[4], im[4];
  const double lin[3] = {2.0, 4.0, 0.0}, none[3] = {2.0, 0.0, 0.0}, sq[3] = {1.0, -2.0, 1.0},
               i2[3] = {1.0, 0.0, 1.0};
  BSrpoly2(lin, re, im);
  EXPECT_TRUE(re[0] == DBL_MAX && re[1] == -0.5);
  BSrpoly2(none, re, im);
  EXPECT_TRUE(re[0] == DBL_MAX && re[1] == DBL_MAX && im[0] == 0.0);
  BSrpoly2(sq, re, im);
  EXPECT_TRUE(re[0] == 1.0 && re[1] == 1.0 && im[0] == 0.0 && im[1] == 0.0);
  BSrpoly2(i2, re, im);
  EXPECT_TRUE(re[0] == 0.0 && im[0] == 1.0 && im[1] == -1.0);
  // Tiny root next to a large one: no cancellation.
  const double far[3] = {1e-9, -(1e8 + 1e-17), 1.0};
  BSrpoly2(far, re, im);
  EXPECT_NEAR(std::min(re[0], re[1]), 1e-17, 1e-30);
  BSrc rc;
  const double triple[4] = {-1, 3, -3, 1};
  BSrpoly3(triple, re, im, &rc);
  EXPECT_TRUE(rc == 0 && re[0] == 1.0 && re[1] == 1.0 && re[2] == 1.0);
  const double xcube[4] = {0, -1, 0, 1};
  BSrpoly3(xcube, re, im, &rc);
  EXPECT_TRUE(re[2] == 0.0 && std::fabs(re[0]) == 1.0 && re[0] + re[1] == 0.0);
  const double quad[4] = {1, 2, 3, 0};
  BSrpoly3(quad, re, im, &rc);
  EXPECT_EQ(re[2], DBL_MAX);
  // (x - 1e-6)(x - 3)(x + 700): the smallest root lands in slot 2, exact to rounding.
  const std::vector<double> c3 = from_roots({1e-6L, 3.0L, -700.0L});
  BSrpoly3(c3.data(), re, im, &rc);
  EXPECT_NEAR(re[2], 1e-6, 1e-20);
  const double biq[5] = {-1, 0, 0, 0, 1};
  BSrpoly4(biq, re, im, &rc);
  EXPECT_NEAR(re[0], 0.0, 1e-16);
  EXPECT_TRUE(std::fabs(im[0]) == 1.0 && im[0] == -im[1]);
  EXPECT_TRUE(re[2] == 1.0 && re[3] == -1.0 && im[2] == 0.0);
  // (x^2 + x + 2)^2: perfect square, r0 r0 r1 r1 with r = (-1 +- i sqrt 7)/2.
  const double ps[5] = {4, 4, 5, 2, 1};
  BSrpoly4(ps, re, im, &rc);
  EXPECT_TRUE(re[0] == re[1] && im[0] == im[1] && re[2] == re[3] && im[2] == im[3]);
  EXPECT_TRUE(im[0] == -im[2] && std::fabs(re[0] + 0.5) < 1e-15);
  EXPECT_NEAR(std::fabs(im[0]), std::sqrt(7.0) / 2, 1e-15);
  // Palindromic with a double z = -1: roots of x^2 + x + 1 twice.
  const double pal[5] = {1, 2, 3, 2, 1};
  BSrpoly4(pal, re, im, &rc);
  EXPECT_TRUE(re[0] == re[2] && re[1] == re[3] && im[0] == im[2] && im[1] == im[3]);
  EXPECT_NEAR(re[0], -0.5, 1e-15);
  EXPECT_NEAR(std::fabs(im[0]), std::sqrt(3.0) / 2, 1e-15);
}

TEST_F(RootsClosedForm, KnownRootsAreReturnedWithMultiplicity) {
  std::mt19937 gen(17);
  std::uniform_real_distribution<double> u(-3.0, 3.0);
  const auto r = [&] { return static_cast<long double>(u(gen)); };
  for (int trial = 0; trial < 300; ++trial) {
    const long double a = r(), b = r(), c = r(), d = r();
    const cplx pair(a, std::fabs(static_cast<double>(b)) + 0.1);
    // Each row: roots, the accuracy a root of that multiplicity can have.
    const std::vector<std::pair<std::vector<cplx>, double>> cases = {
        {{a, b}, 1e-12},
        {{a, a}, 1e-7},
        {{pair, std::conj(pair)}, 1e-12},
        {{a, b, c}, 1e-9},
        {{a, a, b}, 1e-6},
        {{pair, std::conj(pair), c}, 1e-10},
        {{a, b, c, d}, 1e-7},
        {{a, a, c, d}, 1e-6},
        {{pair, std::conj(pair), c, d}, 1e-8},
        {{pair, std::conj(pair), pair * 0.5L, std::conj(pair) * 0.5L}, 1e-8},
        {{a, a, a, a}, 1e-3},
        {{a, b, c, d, a + 0.5L, pair, std::conj(pair)}, 1e-6},
        {{a, b, c, d, 0.0L, 0.0L, pair, std::conj(pair), 2.0L * a}, 1e-5},
    };
    for (const auto &[roots, tol] : cases) {
      const std::vector<double> co = from_roots(roots, 1.0 + trial % 3);
      const int16_t n = static_cast<int16_t>(roots.size());
      std::vector<double> re(n), im(n);
      BSrc rc = 0;
      if (n == 2) BSrpoly2(co.data(), re.data(), im.data());
      if (n == 3) BSrpoly3(co.data(), re.data(), im.data(), &rc);
      if (n == 4) BSrpoly4(co.data(), re.data(), im.data(), &rc);
      if (n > 4) {
        EXPECT_TRUE(BSrpoly(&rc, co.data(), &n, re.data(), im.data()));
      }
      ASSERT_EQ(rc, 0) << "trial " << trial << " degree " << n;
      const double scale = 1.0 + std::fabs(static_cast<double>(a)) * 2;
      expect_same_roots(roots, re.data(), im.data(), tol * scale);
    }
  }
}

TEST_F(RootsClosedForm, GeneralSolverAgreesWithDurandKerner) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int16_t n = 5; n <= 40; n += 5) {
    for (int trial = 0; trial < 4; ++trial) {
      std::vector<double> c(n + 1);
      for (double &v : c) v = u(gen);
      std::vector<double> re(n), im(n);
      BSrc rc;
      ASSERT_TRUE(BSrpoly(&rc, c.data(), &n, re.data(), im.data()));
      expect_same_roots(durand_kerner(c), re.data(), im.data(), 1e-6);
      for (int k = 0; k < n; ++k) {
        std::complex<double> p = c[n], z(re[k], im[k]);
        for (int j = n - 1; j >= 0; --j) p = p * z + c[j];
        EXPECT_LT(std::abs(p), 1e-8 * std::pow(std::max(1.0, std::abs(z)), n));
      }
    }
  }
  // Zeros at the origin come first.
  const double c5[6] = {0, 0, 1, -3, 0.5, 2};
  int16_t n = 5;
  double re[5], im[5];
  BSrc rc;
  ASSERT_TRUE(BSrpoly(&rc, c5, &n, re, im));
  EXPECT_TRUE(re[0] == 0.0 && re[1] == 0.0 && im[0] == 0.0);
}

TEST_F(RootsClosedForm, HelpersOnTheirTellingValues) {
  double v;
  BScbrt(-27.0, &v);
  EXPECT_EQ(v, -3.0);
  BScbrt(2.0, &v);
  EXPECT_NEAR(v * v * v, 2.0, 4e-16);
  BSrc rc;
  BSkroot(-32.0, 5, &v, &rc);
  EXPECT_TRUE(rc == 0 && v == -2.0);
  v = 7.0;
  BSkroot(-16.0, 4, &v, &rc);
  EXPECT_TRUE(rc == BSINARG && v == 7.0);
  double sr, si;
  BSdsqrtc(-3.0, -4.0, &sr, &si);  // principal root of -3 - 4i is 1 - 2i
  EXPECT_TRUE(sr == 1.0 && si == -2.0);
  BSdsqrtc(-1e-20, 2.0, &sr, &si);  // |re| << |im|: still accurate
  EXPECT_TRUE(std::fabs(sr - 1.0) < 1e-15 && std::fabs(si - 1.0) < 1e-15);
  BSdsqrtc(-4.0, 0.0, &sr, &si);
  EXPECT_TRUE(sr == 0.0 && si == 2.0);
  BSinvc(3.0, 4.0, &sr, &si);
  EXPECT_TRUE(sr == 3.0 / 25 && si == -4.0 / 25);
  EXPECT_EQ(BSpower(&rc, 2.0, -3), 0.125);
  EXPECT_NEAR(BSpower(&rc, -1.5, 11), std::pow(-1.5, 11), 1e-12);
  EXPECT_EQ(BSrpower(5.0, 0.0, &rc), 1.0);
  EXPECT_NEAR(BSrpower(8.0, 1.0 / 3, &rc), 2.0, 1e-15);
  BSboolean flag;
  const double c[3] = {-2, 0, 1};
  BSnulpol(2, c, std::sqrt(2.0), &flag);
  EXPECT_EQ(flag, TRUE);
  BSnulpol(2, c, 1.4142, &flag);
  EXPECT_EQ(flag, FALSE);
}

TEST_F(RootsClosedForm, FailureStatuses) {
  double re[6], im[6], v = 5.0;
  const double nan = std::nan(""), ok[6] = {1, 2, 3, 4, 5, 6}, bad[6] = {1, nan, 3, 4, 5, 6};
  const double tiny_lead[6] = {1, 2, 3, 4, 5, 1e-31};
  int16_t n5 = 5, n0 = 0;
  BSrc rc;
  kwtest::expect_statuses({
      {BSNULLPTR, [&](BSrc *rc) { BSrpoly3(nullptr, re, im, rc); }},
      {BSINARG, [&](BSrc *rc) { BSrpoly3(bad, re, im, rc); }},
      {BSNULLPTR, [&](BSrc *rc) { BSrpoly4(ok, nullptr, im, rc); }},
      {BSINARG, [&](BSrc *rc) { BSrpoly4(bad, re, im, rc); }},
      {BSNULLPTR, [&](BSrc *rc) { BSrpoly(rc, ok, nullptr, re, im); }},
      {BSINARG, [&](BSrc *rc) { BSrpoly(rc, ok, &n0, re, im); }},
      {BSINARG, [&](BSrc *rc) { BSrpoly(rc, tiny_lead, &n5, re, im); }},
      {BSINARG, [&](BSrc *rc) { BSrpoly(rc, bad, &n5, re, im); }},
      {BSNULLPTR, [&](BSrc *rc) { BSkroot(2.0, 2, nullptr, rc); }},
      {BSINARG, [&](BSrc *rc) { BSkroot(2.0, 0, &v, rc); }},
      {BSINARG, [&](BSrc *rc) { BSpower(rc, nan, 2); }},
      {BSDIVZERO, [&](BSrc *rc) { BSpower(rc, 0.0, -1); }},
      {BSINARG, [&](BSrc *rc) { BSrpower(-2.0, 0.5, rc); }},
      {BSDIVZERO, [&](BSrc *rc) { BSrpower(0.0, -1.0, rc); }},
  });
  EXPECT_EQ(v, 5.0);
  EXPECT_FALSE(BSrpoly(&rc, bad, &n5, re, im));
}

}  // namespace
