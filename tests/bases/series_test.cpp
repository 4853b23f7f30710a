// Series arithmetic against independent long-double computations: evaluation and
// derivatives, products, quotients, division by a linear factor, projection,
// halving, restriction, truncation boundaries, and every failure status.

#include <complex>

#include "bases_ref.hpp"
#include "support.hpp"

namespace {

using V = std::vector<double>;
using bref::LD;
class Series : public kwtest::GuardedTest {};
const auto L = [](const V &v, LD x) { return double(bref::legendre_sum(v, x)); };
const auto P = [](const V &v, LD x) { return double(bref::power_sum(v, x)); };
const auto T = [](const V &v, LD x) { return double(bref::chebyshev_sum(v, x)); };

// j-th derivatives of P_0 .. P_n at x: P_k^(j) = P_(k-2)^(j) + (2k - 1) P_(k-1)^(j-1).
LD legendre_derivative_sum(const V &l, int j, LD x) {
  const int n = int(l.size()) - 1;
  std::vector<std::vector<LD>> d(j + 1, std::vector<LD>(n + 1, 0));
  d[0] = bref::legendre_values(n, x);
  for (int r = 1; r <= j; ++r)
    for (int k = 1; k <= n; ++k)
      d[r][k] = (k >= 2 ? d[r][k - 2] : 0) + (2 * k - 1) * d[r - 1][k - 1];
  LD s = 0;
  for (int k = 0; k <= n; ++k) s += l[k] * d[j][k];
  return s;
}

const double kXs[] = {-1.0, -0.93, -0.5, -0.111, 0.0, 0.3, 0.77, 0.999, 1.0};

TEST_F(Series, EvaluationAndDerivatives) {
  std::mt19937 gen(1);
  const V c = bref::random_series(gen, 9), l = bref::random_series(gen, 12);
  for (double x : kXs) {
    double plus, minus, value, vre, vim, pd[12];
    BShorncansy(9, c.data(), x, &plus, &minus);
    EXPECT_NEAR(plus, P(c, x), 1e-14);
    EXPECT_NEAR(minus, P(c, -x), 1e-14);
    BShorncan(9, c.data(), x, &value);
    EXPECT_NEAR(value, P(c, x), 1e-14);
    BShorncanc(9, c.data(), x, 0.5, &vre, &vim);
    std::complex<LD> z(x, 0.5), s = 0;
    for (int k = 9; k >= 0; --k) s = s * z + LD(c[k]);
    EXPECT_NEAR(vre, double(s.real()), 1e-13);
    EXPECT_NEAR(vim, double(s.imag()), 1e-13);
    BShorn_pd(9, 11, c.data(), x, pd);
    for (int j = 0; j <= 11; ++j) {  // j-th derivative of the power form
      LD ref = 0;
      for (int k = j; k <= 9; ++k) {
        LD f = 1;
        for (int q = 0; q < j; ++q) f *= k - q;
        ref += f * c[k] * std::pow(LD(x), k - j);
      }
      EXPECT_NEAR(pd[j], double(ref), 1e-9 * (1 + std::fabs(double(ref)))) << j;
    }
    for (int k = 0; k <= 13; ++k) {
      BSrc rc = -99;
      BSevalgder(12, l.data(), k, x, &value, &rc);
      ASSERT_EQ(rc, 0);
      const LD ref = k > 12 ? 0 : legendre_derivative_sum(l, k, x);
      EXPECT_NEAR(value, double(ref), 1e-12 * (1 + std::fabs(double(ref)))) << k;
      const double ab[2] = {2.0, 6.0};
      double vab = 0;
      BSevalgderab(12, l.data(), ab, k, 4.0 + 2.0 * x, &vab, &rc);
      EXPECT_NEAR(vab, double(ref) / std::pow(2.0, k), 1e-12 * (1 + std::fabs(double(ref))));
    }
  }
  // P_3' = P_0 + 5 P_2 (in place); k-th derivative rows.
  V p3 = {0, 0, 0, 1};
  BSderlgdpol(3, p3.data(), p3.data());
  EXPECT_EQ(V(p3.begin(), p3.begin() + 3), (V{1, 0, 5}));
  V two(26), d2(2 * 11);
  for (int i = 0; i < 13; ++i) two[i] = l[i], two[13 + i] = -2 * l[i];
  BSrc rc = -99;
  BSdercvlgd(12, 2, two.data(), 2, d2.data(), &rc);
  ASSERT_EQ(rc, 0);
  for (double x : kXs) {
    double a, b;
    BShornlgd(10, d2.data(), x, &a);
    BShornlgd(10, d2.data() + 11, x, &b);
    EXPECT_NEAR(a, double(legendre_derivative_sum(l, 2, x)), 1e-11);
    EXPECT_NEAR(b, -2 * a, 1e-11);
  }
}

TEST_F(Series, PolynomialPatches) {
  std::mt19937 gen(2);
  const V p = bref::random_series(gen, 3 * 4 - 1);  // du 2, dv 3
  V out(9), two(18);
  BSrc rc = -99;
  BShorn_pd2(2, 3, 2, p.data(), 0.4, -0.7, out.data(), &rc);
  ASSERT_EQ(rc, 0);
  V both(24);
  for (int i = 0; i < 12; ++i) both[i] = p[i], both[12 + i] = 3 * p[i];
  BShorneval(2, 3, 2, 2, both.data(), 0.4, -0.7, two.data(), &rc);
  ASSERT_EQ(rc, 0);
  for (int a = 0; a <= 2; ++a)
    for (int b = 0; b <= 2; ++b) {
      LD ref = 0;
      for (int i = a; i <= 2; ++i)
        for (int j = b; j <= 3; ++j) {
          LD f = 1;
          for (int q = 0; q < a; ++q) f *= i - q;
          for (int q = 0; q < b; ++q) f *= j - q;
          ref += f * p[i * 4 + j] * std::pow(0.4L, i - a) * std::pow(-0.7L, j - b);
        }
      EXPECT_NEAR(out[a * 3 + b], double(ref), 1e-14);
      EXPECT_EQ(two[(a * 3 + b) * 2], out[a * 3 + b]);
      EXPECT_NEAR(two[(a * 3 + b) * 2 + 1], 3 * out[a * 3 + b], 1e-14);
    }
}

TEST_F(Series, ProductsAgreePointwise) {
  std::mt19937 gen(3);
  for (auto [da, db] : {std::pair{0, 0}, {1, 1}, {3, 5}, {7, 2}, {40, 60}, {300, 300}}) {
    const V a = bref::random_series(gen, da), b = bref::random_series(gen, db);
    V prod(da + db + 1), tprod(da + db + 1), m((da + 1) * (db + 1)), mprod(da + db + 1);
    for (int i = 0; i <= da; ++i)
      for (int j = 0; j <= db; ++j) m[i * (db + 1) + j] = a[i] * b[j];
    BSrc rc = -99, rc2 = -99, rc3 = -99;
    BSprodpolgd(da, db, a.data(), b.data(), prod.data(), &rc);
    BSprodtch(da, a.data(), db, b.data(), tprod.data(), &rc2);
    BSmtrlgdlgd(da, db, m.data(), mprod.data(), &rc3);
    ASSERT_EQ(rc | rc2 | rc3, 0);
    const double tol = 1e-15 * (da + db + 1) * (da + db + 1);
    for (double x : kXs) {
      const LD pa = bref::legendre_sum(a, x) * bref::legendre_sum(b, x);
      EXPECT_NEAR(L(prod, x), double(pa), tol) << da;
      EXPECT_NEAR(L(mprod, x), double(pa), tol) << da;
      EXPECT_NEAR(T(tprod, x), double(bref::chebyshev_sum(a, x) * bref::chebyshev_sum(b, x)), tol);
    }
  }
}

TEST_F(Series, QuotientsLinearFactorsAndProjection) {
  std::mt19937 gen(4);
  const V a = bref::random_series(gen, 6), b = {3, 0.5, -0.25};  // b has no root on [-1, 1]
  V ab(9), q(320);
  int32_t deg = -9;
  BSrc rc = -99;
  for (int n : {6, 40, 200}) {  // a series divided by itself is the constant 1
    const V big = bref::random_series(gen, n);
    BSdivlgdlgd(n, big.data(), n, big.data(), &deg, q.data(), &rc);
    EXPECT_EQ(std::tuple(rc, deg), std::tuple(0, 0));
    EXPECT_NEAR(q[0], 1.0, 1e-14);
  }
  BSprodpolgd(6, 2, a.data(), b.data(), ab.data(), &rc);
  BSdivlgdlgd(8, ab.data(), 2, b.data(), &deg, q.data(), &rc);
  EXPECT_EQ(std::tuple(rc, deg), std::tuple(0, 6));
  for (int k = 0; k <= 6; ++k) EXPECT_NEAR(q[k], a[k], 1e-14);
  // 1/(x - 2): not a polynomial; the Legendre series matches it to the truncation
  // (1e-14 of its magnitude), the power form to the rounding of its coefficients.
  BSdivlgdlgd(0, V{1}.data(), 1, V{-2, 1}.data(), &deg, q.data(), &rc);
  EXPECT_EQ(rc, 0);
  for (double x : kXs) EXPECT_NEAR(L(V(q.begin(), q.begin() + deg + 1), x), 1 / (x - 2), 4e-14);
  BSdivcancan(0, V{1}.data(), 1, V{-2, 1}.data(), &deg, q.data(), &rc);
  EXPECT_TRUE(rc == 0 && deg <= 63) << deg;
  for (double x : kXs) EXPECT_NEAR(P(V(q.begin(), q.begin() + deg + 1), x), 1 / (x - 2), 4e-13);
  V keep = q;
  BSdivcancan(0, V{1}.data(), 1, V{-1.02, 1}.data(), &deg, q.data(), &rc);
  EXPECT_EQ(rc, BSFAIL);  // needs more than degree 63
  const double *nodes = nullptr;
  BSextrtlgd(320, &nodes, &rc);
  BSdivcancan(0, V{1}.data(), 1, V{-nodes[100], 1}.data(), &deg, q.data(), &rc);
  EXPECT_EQ(std::tuple(rc, q), std::tuple(BSDIVZERO, keep));
  // (x - a) q: division returns q, in place as well.
  V p(8);
  BSprodpolgd(6, 1, a.data(), V{-0.3, 1}.data(), p.data(), &rc);
  BSlgddivxa(7, p.data(), 0.3, p.data());
  for (int k = 0; k <= 6; ++k) EXPECT_NEAR(p[k], a[k], 1e-14);
  // Projection of a polynomial of degree below n sampled at the nodes.
  for (int n : {4, 20, 320}) {
    BSextrtlgd(n, &nodes, &rc);
    const V s = bref::random_series(gen, n - 1);
    V vals(n), c(n);
    for (int i = 0; i < n; ++i) vals[i] = L(s, nodes[i]);
    BShifit(n, vals.data(), c.data(), &rc);
    ASSERT_EQ(rc, 0);
    for (int k = 0; k < n; ++k) EXPECT_NEAR(c[k], s[k], 2e-15 * n) << n;
  }
}

TEST_F(Series, HalvesAndRestrictions) {
  std::mt19937 gen(5);
  BSrc rc = -99;
  for (int n : {1, 2, 3, 4, 17, 100, 320}) {
    const V l = bref::random_series(gen, n), c = bref::random_series(gen, std::min(n, 30));
    const int nc = int(c.size()) - 1;
    V lo(n + 1), hi(n + 1), clo(nc + 1), chi(nc + 1), r(n + 1), t(n + 1), pc(nc + 1);
    BShlfcpolgd(n, l.data(), lo.data(), hi.data(), &rc);
    ASSERT_EQ(rc, 0);
    BShlfcpocan(nc, c.data(), clo.data(), chi.data(), &rc);
    ASSERT_EQ(rc, 0);
    const double a = -0.6, b = 0.35;
    BSlimlgdab(n, l.data(), a, b, r.data(), &rc);
    BSlimtchab(n, l.data(), a, b, t.data(), &rc);
    BSlimcanab(nc, c.data(), a, b, pc.data(), &rc);
    ASSERT_EQ(rc, 0);
    const double tol = 1e-15 * (n + 1) * (n + 1);
    for (double x : kXs) {
      EXPECT_NEAR(L(lo, x), L(l, (x - 1) / 2), tol) << n;
      EXPECT_NEAR(L(hi, x), L(l, (x + 1) / 2), tol) << n;
      EXPECT_NEAR(P(clo, x), P(c, (x - 1) / 2), 1e-13) << n;
      EXPECT_NEAR(P(chi, x), P(c, (x + 1) / 2), 1e-13) << n;
      const LD y = (b - a) / 2 * x + (a + b) / 2;
      EXPECT_NEAR(L(r, x), L(l, y), tol) << n;
      EXPECT_NEAR(T(t, x), T(l, y), tol) << n;
      EXPECT_NEAR(P(pc, x), P(c, y), 1e-13) << n;
    }
  }
  V m(16);  // column k = P_k(0.5 x + 0.25): column-major
  BStablgdel1(3, 0.5, 0.25, m.data());
  for (int k = 0; k <= 3; ++k)
    for (double x : kXs)
      EXPECT_NEAR(L(V(m.begin() + 4 * k, m.begin() + 4 * k + 4), x),
                  double(bref::legendre_values(3, 0.5L * x + 0.25L)[k]), 1e-15);
}

TEST_F(Series, TruncationBoundaries) {
  int32_t m = -9;
  const std::tuple<V, double, int32_t> scalar[] = {
      // series, tol, degree kept
      {{1, 0, 1e-9}, 1e-8, 0},
      {{1, 0, 1e-9}, 1e-10, 2},
      {{0, 0, 0}, 0.0, -1},
      {{1, 0.5}, 0.5, 0},  // a tail equal to tol is dropped
      {{1, 0.5}, -1.0, 1}};
  for (const auto &[l, tol, want] : scalar) {
    BStrunclgd(int32_t(l.size()) - 1, l.data(), tol, &m);
    EXPECT_EQ(m, want) << tol;
  }
  // Vector rules on two components of degree 3.
  const V c = {1, 0, 3e-4, 4e-16, 2, 0, 4e-4, 3e-16};  // index norms 2.236, 0, 5e-4, 5e-16
  BSrc rc = -99;
  double *out = nullptr;
  BStruncvlgd(3, 2, c.data(), 5e-4, &m, &out, &rc);  // 5e-16 is below the floor
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(std::tuple(m, out[0], out[1]), std::tuple(0, 1.0, 2.0));
  BSdbgfree(out);
  V mine(8, -1);
  double *pm = mine.data();
  BStruncvlgd0(3, 2, c.data(), 4.99e-4, &m, &pm, &rc);
  EXPECT_EQ(std::tuple(m, mine), std::tuple(2, V{1, 0, 3e-4, 2, 0, 4e-4, -1, -1}));
  V f = c;
  BStruncvlgf(3, 2, f.data(), 6.99e-4, &m, &rc);  // plain sum 7e-4 + 7e-16
  EXPECT_EQ(std::tuple(m, V(f.begin(), f.begin() + 6)), std::tuple(2, V{1, 0, 3e-4, 2, 0, 4e-4}));
  f = c;
  BStruncvlgm(3, 2, f.data(), 1.0, 1, &m, &rc);
  EXPECT_EQ(m, 1);
  f = {1e-31, 0, 0, 0};
  BStruncvlgm(1, 2, f.data(), 0.0, 0, &m, &rc);
  EXPECT_EQ(m, 0);                         // norms below 1e-30 never join the tail
  V seg = {1, 1e-3, 2, 0, 1, 0, 1, 1e-9};  // two segments, dim 2, degree 1
  BStruncmlgd(2, 1, 2, seg.data(), 1e-6, &m, &rc);
  EXPECT_EQ(m, 1);
  BStruncmlgd(2, 1, 2, seg.data(), 1e-2, &m, &rc);
  EXPECT_EQ(std::tuple(m, V(seg.begin(), seg.begin() + 4)), std::tuple(0, V{1, 2, 1, 1}));
  // Rational: weight 2 + 0.5 x (w_lo 1.5), numerator sums 1.2: tol scales by 1.5 / 1.8.
  for (double step : {1e-12, -1e-12}) {
    V r = {1, 0.2, 2, 0.5};
    BStruncrlgf(1, 2, r.data(), 0.7 * 1.8 / 1.5 + step, &m, &rc);
    EXPECT_EQ(m, step > 0 ? 0 : 1);
  }
}

TEST_F(Series, FailureStatuses) {
  const V in(700, 0.5);
  V nan_in(700, 0.5), out(700, -7.0);
  nan_in[1] = NAN;
  int32_t deg = -9;
  const double ab[2] = {1, 1};
  double *o = out.data(), *w = const_cast<double *>(in.data());
  const struct {
    const char *name;
    std::function<void(const double *, BSrc *)> op;
    BSrc expected;
  } rows[] = {
      BASES_ROW(BSINARG, BShlfcpolgd(321, i, o, o + 1, rc)),
      BASES_ROW(BSNULLPTR, BShlfcpolgd(3, nullptr, o, o, rc)),
      BASES_ROW(BSINARG, BShifit(5, i, o, rc)),
      BASES_ROW(BSINARG, BShifit(640, i, o, rc)),
      BASES_ROW(BSINARG, BSdercvlgd(3, 1, i, 4, o, rc)),
      BASES_ROW(BSINARG, BSevalgder(3, i, -1, 0.0, o, rc)),
      BASES_ROW(BSINARG, BSevalgderab(3, i, ab, 1, 1.0, o, rc)),
      BASES_ROW(BSINARG, BSprodpolgd(1001, 1, i, i, o, rc)),
      BASES_ROW(BSNULLPTR, BSprodtch(1, i, 1, nullptr, o, rc)),
      BASES_ROW(BSNULLPTR, BSmtrlgdlgd(1, 1, nullptr, o, rc)),
      BASES_ROW(BSINARG, BSdivlgdlgd(-1, i, 1, i, &deg, o, rc)),
      BASES_ROW(BSNULLPTR, BSdivcancan(1, i, 1, i, nullptr, o, rc)),
      BASES_ROW(BSINARG, BSlimlgdab(3, i, NAN, 1, o, rc)),
      BASES_ROW(BSNULLPTR, BSlimcanab(3, nullptr, 0, 1, o, rc)),
      BASES_ROW(BSINARG, BShlfcpocan(3, i, w, o, rc)),
      BASES_ROW(BSINARG, BShorn_pd2(1, 1, -1, i, 0, 0, o, rc)),
      BASES_ROW(BSNULLPTR, BShorneval(1, 1, 2, 1, nullptr, 0, 0, o, rc)),
      BASES_ROW(BSINARG, BStruncvlgf(3, 0, w, 1, &deg, rc)),
      BASES_ROW(BSINARG, BStruncmlgd(0, 3, 1, w, 1, &deg, rc)),
      BASES_ROW(BSINARG, BStruncrlgf(3, 1, w, 1, &deg, rc)),
      // Every routine with a status refuses a NaN coefficient (i is nan_in below).
      BASES_ROW(BSINARG, BShlfcpolgd(5, nan_in.data(), o, o + 10, rc)),
      BASES_ROW(BSINARG, BSprodpolgd(5, 5, nan_in.data(), i, o, rc)),
      BASES_ROW(BSINARG, BSdivlgdlgd(5, nan_in.data(), 0, i, &deg, o, rc)),
      BASES_ROW(BSINARG, BShifit(8, nan_in.data(), o, rc)),
      BASES_ROW(BSINARG, BSlimtchab(5, nan_in.data(), 0, 1, o, rc)),
      BASES_ROW(BSINARG, BSdercvlgd(5, 1, nan_in.data(), 1, o, rc)),
      BASES_ROW(BSINARG, BStruncvlgd(5, 1, nan_in.data(), 1e-3, &deg, nullptr, rc)),
  };
  for (const auto &r : rows) {
    BSrc rc = -99;
    r.op(in.data(), &rc);
    EXPECT_EQ(rc, r.expected) << r.name;
    EXPECT_EQ(out, V(700, -7.0)) << r.name;
    EXPECT_EQ(deg, -9) << r.name;
  }
}

}  // namespace
