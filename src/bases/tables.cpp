// The exported change-of-basis tables, the Gauss-Legendre rules and the table
// access routines. Every table is generated once at load from its rule in long
// double and rounded to double, so no value is typed by hand.
#include <cmath>
#include <cstring>

#include "bases/series.hpp"

namespace {

using knotwork::kCanLgdMaxDegree;
using knotwork::kCstLgdMaxDegree;
using knotwork::kLgdCanMaxDegree;
using knotwork::kLgdTchMaxDegree;
using knotwork::kTchCanMaxDegree;
using LD = long double;

// Entries of a packed parity-split table with rows k0 .. k1 of maximum degree m,
// row k holding (m - k - shift) / 2 + 1 entries.
constexpr int packed_size(int m, int k0, int k1, int shift) {
  int s = 0;
  for (int k = k0; k <= k1; ++k) s += (m - k - shift) / 2 + 1;
  return s;
}

constexpr int kLgdCanHalf = 528;
constexpr int kCanLgdHalf = 2080;
constexpr int kLgdTchSize = packed_size(kLgdTchMaxDegree, 0, kLgdTchMaxDegree, 0);
constexpr int kTchCanSize = packed_size(kTchCanMaxDegree, 0, kTchCanMaxDegree, 0);
constexpr int kCstPSize = packed_size(kCstLgdMaxDegree, 1, kCstLgdMaxDegree, 0);
constexpr int kCstMSize = packed_size(kCstLgdMaxDegree, 0, kCstLgdMaxDegree - 1, 1);
constexpr int kNodeCount = 660;
constexpr int kWeightCount = 330;
static_assert(kLgdTchSize == 26732 && kTchCanSize == 462);
static_assert(kCstPSize == 25760 && kCstMSize == 25760);

}  // namespace

extern "C" {
const int32_t BSglobalmaxdegcstlgd = kCstLgdMaxDegree;
const int32_t BSglobalmaxdeglgdtch = kLgdTchMaxDegree;
const int32_t BSglobalmaxdegtchlgd = kLgdTchMaxDegree;
const int32_t BSglobalmaxdegtchk1can = kTchCanMaxDegree;
const int32_t BSglobalmaxdegtchk2can = kTchCanMaxDegree;
const int32_t BSglobalmaxdeginttab = knotwork::kIntTabMaxPoints;

KW_API double BSgloballgdcan[2 * kLgdCanHalf];
KW_API double BSgloballgdtch[kLgdTchSize];
KW_API double BSglobaltchlgd[kLgdTchSize];
KW_API double BSglobalcantch[2 * kLgdCanHalf];
KW_API double BSglobaltchk1can[kTchCanSize];
KW_API double BSglobaltchk2can[kTchCanSize];
KW_API double BSglobalcstlgdp[kCstPSize];
KW_API double BSglobalcstlgdm[kCstMSize];
KW_API double BScnp[256];
KW_API double BScnpn[231];
KW_API double BSglobalintnodes[kNodeCount];
KW_API double BSglobalintweights[kWeightCount];
}

namespace knotwork {

// Power -> Legendre triangles (even part, then odd part), degrees 0 .. 127.
double g_canlgd[2 * kCanLgdHalf];
namespace {
LD g_up[knotwork::kIntTabMaxPoints + 1], g_down[knotwork::kIntTabMaxPoints + 1];
LD g_nodes_ld[kNodeCount];
LD g_weights_ld[kNodeCount];  // all n weights per rule, at the node offsets

constexpr int kNodeOffsets[kGaussRuleCount] = {0, 4, 12, 24, 40, 60, 100, 180, 340};
constexpr int kWeightOffsets[kGaussRuleCount] = {0, 2, 6, 12, 20, 30, 50, 90, 170};

// Coefficient of x^(m - 2j), j = 0 .. m/2, of P_m (leading coefficient chain).
void legendre_power_coefficients(int m, LD *a) {
  LD lead = 1;
  for (int i = 1; i <= m; ++i) lead = lead * (2 * i - 1) / i;
  a[0] = lead;
  for (int j = 0; 2 * j + 2 <= m; ++j)
    a[j + 1] =
        -a[j] * LD(m - 2 * j) * LD(m - 2 * j - 1) / (LD(2 * (j + 1)) * LD(2 * m - 2 * j - 1));
}

void fill_lgdcan() {
  static LD a_all[64][33];
  for (int m = 0; m <= 63; ++m) legendre_power_coefficients(m, a_all[m]);
  for (int parity = 0; parity < 2; ++parity) {
    double *tri = BSgloballgdcan + parity * kLgdCanHalf;
    int pos = 0;
    for (int r = 0; r < 32; ++r) {
      const int k = 2 * r + parity;  // power index
      for (int m = k; m <= 62 + parity; m += 2) {
        tri[pos++] = static_cast<double>(a_all[m][(m - k) / 2]);
      }
    }
  }
}

// x^m = sum_k c(m, k) P_k: c(k, k) = 2^k k!^2 / (2k)!, and
// c(m + 2, k) = c(m, k) (m + 2)(m + 1) / ((m - k + 2)(m + k + 3)).
void fill_canlgd() {
  for (int parity = 0; parity < 2; ++parity) {
    double *tri = g_canlgd + parity * kCanLgdHalf;
    int pos = 0;
    for (int r = 0; r < 64; ++r) {
      const int k = 2 * r + parity;
      LD c = 1;
      for (int i = 1; i <= k; ++i) c = c * LD(i) / LD(2 * i - 1);  // 2^k k!^2 / (2k)!
      for (int m = k; m <= 126 + parity; m += 2) {
        tri[pos++] = static_cast<double>(c);
        c = c * LD(m + 2) * LD(m + 1) / (LD(m - k + 2) * LD(m + k + 3));
      }
    }
  }
}

// g_j = C(2j, j) / 4^j.
void central_ratios(int count, LD *g) {
  g[0] = 1;
  for (int j = 0; j + 1 < count; ++j) g[j + 1] = g[j] * LD(2 * j + 1) / LD(2 * j + 2);
}

// P_m = sum_j g_j g_(m-j) T_|m-2j|; T_m = sum_k a(k, m) P_k with
// a(m, m) = 1 / (2 g_m) and, for k < m, a(k, m) = -(2k + 1) m g_p / ((m + k - 1) g_q
// (m + k + 1)(m - k)), p = (m - k - 2) / 2, q = (m + k - 2) / 2.
void fill_lgdtch_tchlgd() {
  LD g[2 * kLgdTchMaxDegree + 2];
  central_ratios(2 * kLgdTchMaxDegree + 2, g);
  int pos = 0;
  for (int k = 0; k <= kLgdTchMaxDegree; ++k) {
    for (int m = k; m <= kLgdTchMaxDegree; m += 2) {
      const int j = (m - k) / 2;
      const LD to_t = k == 0 ? g[j] * g[j] : 2 * g[j] * g[m - j];
      LD to_p;
      if (m == k) {
        to_p = m == 0 ? LD(1) : 1 / (2 * g[m]);
      } else {
        const int p = (m - k - 2) / 2, q = (m + k - 2) / 2;
        to_p = -LD(2 * k + 1) * LD(m) * g[p] / (LD(m + k - 1) * g[q] * LD(m + k + 1) * LD(m - k));
      }
      BSgloballgdtch[pos] = static_cast<double>(to_t);
      BSglobaltchlgd[pos] = static_cast<double>(to_p);
      ++pos;
    }
  }
}

LD binomial_ld(int n, int k) {
  if (k < 0 || k > n) return 0;
  if (k > n - k) k = n - k;
  LD c = 1;
  for (int i = 1; i <= k; ++i) c = c * LD(n - k + i) / LD(i);
  return c;
}

// x^m = 2^(1-m) sum_(j < m/2) C(m, j) T_(m-2j) + [m even] 2^(-m) C(m, m/2) T_0.
void fill_cantch() {
  for (int parity = 0; parity < 2; ++parity) {
    double *tri = BSglobalcantch + parity * kLgdCanHalf;
    int pos = 0;
    for (int r = 0; r < 32; ++r) {
      const int k = 2 * r + parity;
      for (int m = k; m <= 62 + parity; m += 2) {
        const LD c = binomial_ld(m, (m - k) / 2);
        tri[pos++] = static_cast<double>(std::ldexp(c, k == 0 ? -m : 1 - m));
      }
    }
  }
}

// T_m = (m/2) sum_j (-1)^j (m-j-1)! / (j! (m-2j)!) (2x)^(m-2j), m >= 1;
// U_m = sum_j (-1)^j C(m - j, j) (2x)^(m-2j).
void fill_tchcan() {
  int pos = 0;
  for (int k = 0; k <= kTchCanMaxDegree; ++k) {
    for (int m = k; m <= kTchCanMaxDegree; m += 2) {
      const int j = (m - k) / 2;
      const LD sign = (j & 1) ? -1 : 1;
      LD t1 = 1;
      if (m > 0) {
        // (m/2) (m-j-1)! / (j! (m-2j)!) = (m / (2 (m - j))) C(m - j, j)
        t1 = LD(m) / LD(2 * (m - j)) * binomial_ld(m - j, j) * std::ldexp(LD(1), k);
      }
      BSglobaltchk1can[pos] = static_cast<double>(sign * t1);
      BSglobaltchk2can[pos] =
          static_cast<double>(sign * binomial_ld(m - j, j) * std::ldexp(LD(1), k));
      ++pos;
    }
  }
}

// Columns m = 0 .. M of P_m((x + 1)/2) in the Legendre basis by the three-term
// recurrence with y = (x + 1)/2, using x P_k = ((k + 1) P_(k+1) + k P_(k-1)) / (2k + 1);
// only the two previous columns are kept. Entry k of column m goes to row k of the
// same-parity table (m - k even, k >= 1) or of the opposite-parity table.
void fill_cstlgd() {
  constexpr int M = kCstLgdMaxDegree;
  int64_t off_p[M + 1], off_m[M + 1];
  for (int k = 0; k <= M; ++k) {
    off_p[k] = k == 0 ? 0 : knotwork::packed_row_offset(M, 1, 0, k);
    off_m[k] = knotwork::packed_row_offset(M, 0, 1, k);
  }
  auto store = [&](int k, int m, LD v) {
    if ((m - k) % 2 == 0) {
      if (k >= 1) BSglobalcstlgdp[off_p[k] + (m - k) / 2] = static_cast<double>(v);
    } else {
      BSglobalcstlgdm[off_m[k] + (m - k - 1) / 2] = static_cast<double>(v);
    }
  };
  LD lo[M + 2], hi[M + 2];
  for (int k = 0; k <= M + 1; ++k) {
    lo[k] = k >= 1 ? LD(k) / LD(2 * k - 1) : 0;
    hi[k] = LD(k + 1) / LD(2 * k + 3);
  }
  LD cols[3][M + 2] = {};
  LD *prev2 = cols[0], *prev = cols[1], *cur = cols[2];
  prev2[0] = 1;    // P_0
  prev[0] = 0.5L;  // P_1((x + 1)/2) = (P_0 + P_1) / 2
  prev[1] = 0.5L;
  store(0, 1, 0.5L);
  store(1, 1, 0.5L);
  for (int m = 2; m <= M; ++m) {
    for (int k = 0; k <= m; ++k) {
      LD xs = 0;  // coefficient k of x * prev
      if (k >= 1) xs += prev[k - 1] * lo[k];
      if (k + 1 <= m - 1) xs += prev[k + 1] * hi[k];
      cur[k] = (LD(2 * m - 1) * (prev[k] + xs) / 2 - LD(m - 1) * prev2[k]) / LD(m);
      store(k, m, cur[k]);
    }
    LD *t = prev2;
    prev2 = prev;
    prev = cur;
    cur = t;
    for (int k = 0; k <= M + 1; ++k) cur[k] = 0;
  }
}

void fill_binomials() {
  for (int p = 0; p < 16; ++p)
    for (int n = 0; n < 16; ++n)
      BScnp[p * 16 + n] = static_cast<double>(binomial_ld(p > n ? p : n, p < n ? p : n));
  int pos = 0;
  for (int n = 0; n <= 20; ++n) {
    LD nf = 1;
    for (int i = 2; i <= n; ++i) nf *= i;
    for (int p = 0; p <= n; ++p) BScnpn[pos++] = static_cast<double>(binomial_ld(n, p) / nf);
  }
}

// Gauss-Legendre nodes (roots of P_n, ascending) and weights 2 / ((1 - x^2) P_n'(x)^2)
// by Newton's method in long double from the asymptotic guesses.
void fill_gauss() {
  LD *up = g_up, *down = g_down;
  for (int k = 2; k <= knotwork::kIntTabMaxPoints; ++k) {
    up[k] = LD(2 * k - 1) / LD(k);
    down[k] = LD(k - 1) / LD(k);
  }
  for (int r = 0; r < kGaussRuleCount; ++r) {
    const int n = kGaussRules[r];
    LD *x = g_nodes_ld + kNodeOffsets[r];
    LD *w = g_weights_ld + kNodeOffsets[r];
    for (int i = 0; i < n / 2; ++i) {
      // i-th positive root counted from the largest.
      LD z = std::cos(3.14159265358979323846264338327950288L * (LD(i) + 0.75L) / (LD(n) + 0.5L));
      // Newton steps until the step is at the rounding level, then one more for the
      // last bits; dp is P_n'(z) at the final iterate.
      LD dp = 1;
      bool last = false;
      for (int it = 0; it < 50; ++it) {
        LD p0 = 1, p1 = z;
        for (int k = 2; k <= n; ++k) {
          const LD p2 = up[k] * z * p1 - down[k] * p0;
          p0 = p1;
          p1 = p2;
        }
        dp = LD(n) * (z * p1 - p0) / (z * z - 1);
        const LD step = p1 / dp;
        z -= step;
        if (last) break;
        last = std::fabs(step) <= 1e-17L * std::fabs(z);
      }
      const LD wt = 2 / ((1 - z * z) * dp * dp);
      x[n - 1 - i] = z;
      x[i] = -z;
      w[n - 1 - i] = w[i] = wt;
    }
    for (int i = 0; i < n; ++i) BSglobalintnodes[kNodeOffsets[r] + i] = static_cast<double>(x[i]);
    for (int i = 0; i < n / 2; ++i)
      BSglobalintweights[kWeightOffsets[r] + i] = static_cast<double>(w[n / 2 + i]);
  }
}

struct TableGenerator {
  TableGenerator() {
    fill_lgdcan();
    fill_canlgd();
    fill_lgdtch_tchlgd();
    fill_cantch();
    fill_tchcan();
    fill_cstlgd();
    fill_binomials();
    fill_gauss();
  }
};
// Runs at load, before any caller can read the exported tables.
const TableGenerator g_generator;

}  // namespace

const double *gauss_nodes(int n) {
  const int r = gauss_rule_index(n);
  return r < 0 ? nullptr : BSglobalintnodes + kNodeOffsets[r];
}
const double *gauss_weights(int n) {
  const int r = gauss_rule_index(n);
  return r < 0 ? nullptr : BSglobalintweights + kWeightOffsets[r];
}
const long double *legendre_up_ratios() {
  return g_up;
}
const long double *legendre_down_ratios() {
  return g_down;
}
const long double *gauss_nodes_ld(int n) {
  const int r = gauss_rule_index(n);
  return r < 0 ? nullptr : g_nodes_ld + kNodeOffsets[r];
}
const long double *gauss_weights_ld(int n) {
  const int r = gauss_rule_index(n);
  return r < 0 ? nullptr : g_weights_ld + kNodeOffsets[r];
}

}  // namespace knotwork

// ---- Table module entry points (they do nothing) ---------------------------------

KW_API void BSglobals(void) {}
KW_API void BSlgdcantab(void) {}
KW_API void BScnptab(void) {}
KW_API void BScnpntab(void) {}
KW_API void BSlgdtchtab(void) {}
KW_API void BScstlgdata(void) {}
KW_API void BStchcantab(void) {}
KW_API void BStchlgdtab(void) {}

KW_API void BSextrtlgd(int32_t n, const double **nodes, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (nodes == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n > BSglobalmaxdeginttab || knotwork::gauss_rule_index(n) < 0) {
    *rc = BSINARG;
    return;
  }
  *nodes = knotwork::gauss_nodes(n);
}
