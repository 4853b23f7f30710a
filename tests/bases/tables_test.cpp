// The generated basis tables against their rules (independent long-double
// computations), the telling entries, the Gauss-Legendre rules and BSextrtlgd.

#include "bases/series.hpp"
#include "bases_ref.hpp"
#include "support.hpp"

namespace knotwork {
extern double g_canlgd[2 * 2080];
}

namespace {

using bref::LD;

// Coefficient rows of the power forms of P_m (or T_m, U_m), m = 0 .. top, by
// their recurrences on coefficient vectors (no cancellation: signs alternate).
std::vector<std::vector<LD>> power_forms(int top, int kind) {
  std::vector<std::vector<LD>> p(top + 1, std::vector<LD>(top + 2, 0));
  p[0][0] = 1;
  if (top >= 1) p[1][1] = kind == 2 ? 2 : 1;
  for (int m = 2; m <= top; ++m)
    for (int i = 0; i <= m; ++i) {
      const LD up = i >= 1 ? p[m - 1][i - 1] : 0;
      p[m][i] = kind == 0 ? ((2 * m - 1) * up - (m - 1) * p[m - 2][i]) / m : 2 * up - p[m - 2][i];
    }
  return p;
}

// Rows of x^m, m = 0 .. top, in the Chebyshev basis (x T_j = (T_(j+1) + T_|j-1|) / 2)
// or the Legendre basis (x P_j = ((j+1) P_(j+1) + j P_(j-1)) / (2j+1)): positive terms.
std::vector<std::vector<LD>> x_powers(int top, bool legendre) {
  std::vector<std::vector<LD>> xm(top + 1, std::vector<LD>(top + 2, 0));
  xm[0][0] = 1;
  for (int m = 0; m < top; ++m)
    for (int j = 0; j <= m; ++j) {
      const LD up = legendre ? LD(j + 1) / (2 * j + 1) : j == 0 ? 1 : 0.5L;
      xm[m + 1][j + 1] += xm[m][j] * up;
      if (j >= 1) xm[m + 1][j - 1] += xm[m][j] * (legendre ? LD(j) / (2 * j + 1) : 0.5L);
    }
  return xm;
}

// Walks a packed table: rows k0..k1, entries for sources k + shift, k + shift + 2, ..
// up to top; check(k, m, value).
template <class F>
void walk(const double *t, int k0, int k1, int shift, int top, F check) {
  int pos = 0;
  for (int k = k0; k <= k1; ++k)
    for (int m = k + shift; m <= top; m += 2) check(k, m, t[pos++]);
}

TEST(BasisTables, PowerTablesFollowTheirRules) {
  const auto P = power_forms(63, 0), T = power_forms(63, 1), U = power_forms(41, 2);
  const auto xt = x_powers(63, false), xl = x_powers(127, true);
  for (int parity = 0; parity < 2; ++parity) {
    int pos = 0;
    for (int k = parity; k <= 63; k += 2)
      for (int m = k; m <= 62 + parity; m += 2, ++pos) {
        EXPECT_LE(bref::ulps(BSgloballgdcan[parity * 528 + pos], P[m][k]), 1.0) << k << " " << m;
        EXPECT_LE(bref::ulps(BSglobalcantch[parity * 528 + pos], xt[m][k]), 1.0) << k << " " << m;
      }
  }
  walk(BSglobaltchk1can, 0, 41, 0, 41,
       [&](int k, int m, double v) { EXPECT_EQ(v, double(T[m][k])); });
  walk(BSglobaltchk2can, 0, 41, 0, 41,
       [&](int k, int m, double v) { EXPECT_EQ(v, double(U[m][k])); });
  for (int parity = 0; parity < 2; ++parity) {
    const double *v = knotwork::g_canlgd + parity * 2080;
    for (int k = parity; k <= 127; k += 2)
      for (int m = k; m <= 126 + parity; m += 2, ++v)
        EXPECT_LE(bref::ulps(*v, xl[m][k]), 1.0) << k << " " << m;
  }
}

TEST(BasisTables, LegendreChebyshevAndHalvingTablesFollowTheirRules) {
  // P_m in T_k by Gauss-Chebyshev sums; T_m and P_m((x+1)/2) in P_k by Gauss-Legendre
  // sums: independent of the tables' closed forms and recurrence.
  const bref::Rule rule = bref::gauss_rule(330);
  const int n = int(rule.x.size()), nc = 400, top = 325;
  using Mat = std::vector<std::vector<LD>>;
  Mat tch(top + 1, std::vector<LD>(top + 1, 0)), lgd = tch, half = tch;
  for (int i = 0; i < nc; ++i) {
    const LD x = std::cos(3.14159265358979323846264338327950288L * (i + 0.5L) / nc);
    const auto p = bref::legendre_values(top, x), t = bref::chebyshev_values(top, x);
    for (int m = 0; m <= top; ++m)
      for (int k = m & 1; k <= m; k += 2) tch[m][k] += p[m] * t[k] * (k ? 2 : 1) / nc;
  }
  for (int i = 0; i < n; ++i) {
    const auto t = bref::chebyshev_values(top, rule.x[i]),
               p = bref::legendre_values(top, rule.x[i]);
    const auto h = bref::legendre_values(320, (rule.x[i] + 1) / 2);
    for (int m = 0; m <= top; ++m)
      for (int k = 0; k <= m; ++k) {
        const LD wp = rule.w[i] * p[k] * (2 * k + 1) / 2;
        if ((m - k) % 2 == 0) lgd[m][k] += wp * t[m];
        if (m <= 320) half[m][k] += wp * h[m];
      }
  }
  double worst[4] = {0, 0, 0, 0};
  auto note = [&](int i, double v, LD ref) {
    worst[i] = std::max(worst[i], bref::ulps(v, ref, 1.0));
  };
  walk(BSgloballgdtch, 0, 325, 0, 325, [&](int k, int m, double v) { note(0, v, tch[m][k]); });
  walk(BSglobaltchlgd, 0, 325, 0, 325, [&](int k, int m, double v) { note(1, v, lgd[m][k]); });
  walk(BSglobalcstlgdp, 1, 320, 0, 320, [&](int k, int m, double v) { note(2, v, half[m][k]); });
  walk(BSglobalcstlgdm, 0, 319, 1, 320, [&](int k, int m, double v) { note(3, v, half[m][k]); });
  // In ulps of 1, the size of the basis functions on [-1, 1]: the references carry
  // up to a few hundred units of 2^-64 themselves.
  for (double w : worst)
    EXPECT_LE(w, 1.0) << worst[0] << " " << worst[1] << " " << worst[2] << " " << worst[3];
}

// Binomial tables (the basis tables above are checked entry by entry by their rules).
TEST(BasisTables, BinomialTablesAndLimits) {
  const double cnp_row2[] = {1, 2, 1, 3, 6, 10};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(BScnp[32 + i], cnp_row2[i]);
  for (int p = 0; p < 16; ++p)
    for (int q = 0; q < 16; ++q) EXPECT_EQ(BScnp[p * 16 + q], BScnp[q * 16 + p]);
  EXPECT_EQ(BScnp[15 * 16 + 7], 6435.0);
  // BScnpn: n! entry(n, p) = C(n, p), checked through Pascal's rule.
  for (int n = 1, pos = 1; n <= 20; pos += n + 1, ++n)
    for (int p = 0; p <= n; ++p) {
      const double prev_lo = p >= 1 ? BScnpn[pos - n + p - 1] : 0,
                   prev_hi = p < n ? BScnpn[pos - n + p] : 0;
      EXPECT_NEAR(BScnpn[pos + p] * n, prev_lo + prev_hi, 1e-15 * (prev_lo + prev_hi));
    }
  EXPECT_EQ(BScnpn[6], 1.0 / 6);
}

TEST(BasisTables, GaussRulesAndExtraction) {
  kwtest::reset_library_state();
  BSrc rc = -99;
  const double *nodes = nullptr;
  BSextrtlgd(4, &nodes, &rc);
  ASSERT_EQ(rc, 0);
  const double four[] = {-0.8611363115940526, -0.3399810435848563, 0.3399810435848563,
                         0.8611363115940526};
  // The printed 16 digits round to the neighbour of the correctly rounded root.
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(nodes[i], four[i], 6e-17);
  for (int n : {4, 8, 12, 16, 20, 40, 80, 160, 320}) {
    BSextrtlgd(n, &nodes, &rc);
    ASSERT_EQ(rc, 0);
    const bref::Rule r = bref::gauss_rule(n);
    const double *w = knotwork::gauss_weights(n);
    for (int i = 0; i < n; ++i) EXPECT_LE(bref::ulps(nodes[i], r.x[i], 1.0), 0.5) << n << " " << i;
    for (int i = 0; i < n / 2; ++i) EXPECT_LE(bref::ulps(w[i], r.w[n / 2 + i]), 1.0) << n;
  }
  for (int n : {5, 0, -4, 24, 640}) {
    const double *keep = nodes;
    BSextrtlgd(n, &nodes, &rc);
    EXPECT_EQ(std::tuple(rc, nodes), std::tuple(BSINARG, keep));
  }
  BSextrtlgd(4, nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

}  // namespace
