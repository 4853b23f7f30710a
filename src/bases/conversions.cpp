// Conversions between the power, Bezier, Legendre and Chebyshev bases: packed
// parity-split table products, the Bezier <-> Legendre change of basis in
// extended precision, power <-> Bezier, local power forms, span Taylor forms and
// the curve record of a power-basis curve.
#include <algorithm>
#include <cmath>

#include "bases/series.hpp"
#include "bspline/bezier.hpp"

extern "C" {
extern double BSgloballgdcan[1056];
}

namespace knotwork {

extern double g_canlgd[2 * 2080];

namespace {

using LD = long double;
constexpr int32_t kMaxGeneralDegree = 1000;

// out_k = sum_j row_k[j] in_(k+2j) over j <= (n - k)/2 for one parity triangle of
// `rows` rows whose row r has rows - r entries (row r is target index 2r + parity).
void triangle_product(int32_t n, int parity, int rows, const double *tri, const double *in,
                      double *out) {
  for (int32_t k = parity; k <= n; k += 2) {
    const int r = k / 2;
    const double *row =
        tri + (static_cast<int64_t>(rows) * r - static_cast<int64_t>(r) * (r - 1) / 2);
    double s = 0.0;
    for (int32_t j = 0; k + 2 * j <= n; ++j) s += row[j] * in[k + 2 * j];
    out[k] = s;
  }
}

// Row offsets of the 326-row Legendre/Chebyshev tables.
struct LgdTchOffsets {
  int32_t v[kLgdTchMaxDegree + 1];
  constexpr LgdTchOffsets() : v() {
    int32_t off = 0;
    for (int k = 0; k <= kLgdTchMaxDegree; ++k) {
      v[k] = off;
      off += (kLgdTchMaxDegree - k) / 2 + 1;
    }
  }
};
constexpr LgdTchOffsets kLgdTchOffsets;

void lgdtch_product(int32_t n, const double *table, const double *in, double *out) {
  for (int32_t k = 0; k <= n; ++k) {
    const double *row = table + kLgdTchOffsets.v[k];
    double s = 0.0;
    for (int32_t j = 0; k + 2 * j <= n; ++j) s += row[j] * in[k + 2 * j];
    out[k] = s;
  }
}

bool all_finite(int64_t count, const double *v) {
  for (int64_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// Smallest tabulated Gauss rule exact for polynomials of degree 2n.
int rule_for_degree(int32_t n) {
  for (int r : kGaussRules)
    if (2 * r - 1 >= 2 * n) return r;
  return -1;
}

}  // namespace

// ---- Kernels ----------------------------------------------------------------------

double bezier_value(int32_t n, const double *b, double t) {
  if (n < 0) return 0.0;
  if (n == 0) return b[0];
  const bool left = t <= 0.5;
  const double s = left ? t / (1.0 - t) : (1.0 - t) / t;
  double acc = left ? b[n] : b[0];
  for (int32_t j = n - 1; j >= 0; --j) {
    const double bj = left ? b[j] : b[n - j];
    acc = bj + s * acc * static_cast<double>(n - j) / static_cast<double>(j + 1);
  }
  return acc * std::pow(left ? 1.0 - t : t, n);
}

void legendre_to_power_unchecked(int32_t n, const double *l, double *c) {
  if (n <= 1) {
    for (int32_t k = 0; k <= n; ++k) c[k] = l[k];
    return;
  }
  if (n <= 3) {
    c[0] = l[0] - 0.5 * l[2];
    c[1] = l[1];
    c[2] = 1.5 * l[2];
    if (n == 3) {
      c[1] = l[1] - 1.5 * l[3];
      c[3] = 2.5 * l[3];
    }
    return;
  }
  triangle_product(n, 0, 32, BSgloballgdcan, l, c);
  triangle_product(n, 1, 32, BSgloballgdcan + 528, l, c);
}

void power_to_legendre_unchecked(int32_t n, const double *c, double *l) {
  if (n == 0) {
    l[0] = c[0];
    return;
  }
  triangle_product(n, 0, 64, g_canlgd, c, l);
  triangle_product(n, 1, 64, g_canlgd + 2080, c, l);
}

void legendre_to_chebyshev_unchecked(int32_t n, const double *l, double *t) {
  if (n <= 1) {
    for (int32_t k = 0; k <= n; ++k) t[k] = l[k];
    return;
  }
  if (n <= 3) {
    t[0] = l[0] + 0.25 * l[2];
    t[1] = l[1];
    t[2] = 0.75 * l[2];
    if (n == 3) {
      t[1] = l[1] + 0.375 * l[3];
      t[3] = 0.625 * l[3];
    }
    return;
  }
  lgdtch_product(n, BSgloballgdtch, l, t);
}

void chebyshev_to_legendre_unchecked(int32_t n, const double *t, double *l) {
  if (n <= 1) {
    for (int32_t k = 0; k <= n; ++k) l[k] = t[k];
    return;
  }
  if (n <= 3) {
    l[0] = t[0] - t[2] / 3.0;
    l[1] = t[1];
    l[2] = (4.0 / 3.0) * t[2];
    if (n == 3) {
      l[1] = t[1] - 0.6 * t[3];
      l[3] = 1.6 * t[3];
    }
    return;
  }
  lgdtch_product(n, BSglobaltchlgd, t, l);
}

// l_k = (2k + 1)/2 * integral of p P_k, by the Gauss rule exact for degree 2n, in
// long double, folding the nodes +-x (P_k(-x) = (-1)^k P_k(x)). work holds the
// number of nodes of that rule.
void bezier_to_legendre_unchecked(int32_t n, const double *b, double *l, long double *work) {
  if (n <= 3) {
    switch (n) {
      case 0:
        l[0] = b[0];
        return;
      case 1:
        l[0] = (b[0] + b[1]) / 2;
        l[1] = (b[1] - b[0]) / 2;
        return;
      case 2: {
        const double s = (b[0] + b[2]) / 3;
        l[0] = s + b[1] / 3;
        l[1] = (b[2] - b[0]) / 2;
        l[2] = s / 2 - b[1] / 3;
        return;
      }
      default: {
        const double e = b[0] + b[3], f = b[1] + b[2], d = b[3] - b[0], g = b[2] - b[1];
        l[0] = (e + f) / 4;
        l[1] = 0.45 * d + 0.15 * g;
        l[2] = (e - f) / 4;
        l[3] = 0.05 * d - 0.15 * g;
        return;
      }
    }
  }
  const int m = rule_for_degree(n);
  const LD *x = gauss_nodes_ld(m);
  const LD *w = gauss_weights_ld(m);
  const int h = m / 2;
  LD *acc = work, *ratio = work + (n + 1);  // n + 1 accumulators, Horner ratios
  for (int32_t k = 0; k <= n; ++k) acc[k] = 0;
  for (int32_t j = 0; j < n; ++j) ratio[j] = LD(n - j) / LD(j + 1);
  const LD *up = legendre_up_ratios(), *down = legendre_down_ratios();
  for (int i = h; i < m; ++i) {
    // p at t = (1 + x)/2 and at 1 - t, by Horner on s = (1 - t)/t (t >= 1/2).
    const LD xi = x[i], t = (1 + xi) / 2, s = (1 - t) / t;
    LD ap = b[0], am = b[n];
    for (int32_t j = n - 1; j >= 0; --j) {
      const LD f = s * ratio[j];
      ap = LD(b[n - j]) + f * ap;
      am = LD(b[j]) + f * am;
    }
    LD tn = 1;
    for (int32_t j = 0; j < n; ++j) tn *= t;
    const LD sym = w[i] * (ap + am) * tn, anti = w[i] * (ap - am) * tn;
    LD p0 = 1, p1 = xi;
    acc[0] += sym;
    acc[1] += anti * p1;
    for (int32_t k = 2; k <= n; ++k) {
      const LD p2 = up[k] * xi * p1 - down[k] * p0;
      acc[k] += ((k & 1) ? anti : sym) * p2;
      p0 = p1;
      p1 = p2;
    }
  }
  for (int32_t k = 0; k <= n; ++k) l[k] = static_cast<double>(acc[k] * LD(2 * k + 1) / 2);
}

// b^(k) = b^(k-1) raised one degree + l_k (-1)^(k+j) C(k, j), in long double.
void legendre_to_bezier_unchecked(int32_t n, const double *l, double *b, long double *work) {
  LD *d = work, *inv = work + (n + 1);  // inv[k] = 1/k
  for (int32_t k = 1; k <= n; ++k) inv[k] = 1 / LD(k);
  d[0] = l[0];
  for (int32_t k = 1; k <= n; ++k) {
    d[k] = d[k - 1];
    for (int32_t j = k - 1; j >= 1; --j) d[j] = (LD(j) * d[j - 1] + LD(k - j) * d[j]) * inv[k];
    LD c = (k & 1) ? -LD(l[k]) : LD(l[k]);  // l_k (-1)^(k+j) C(k, j) at j = 0
    for (int32_t j = 0; j < k; ++j) {
      d[j] += c;
      c = -c * LD(k - j) * inv[j + 1];
    }
    d[k] += c;
  }
  for (int32_t j = 0; j <= n; ++j) b[j] = static_cast<double>(d[j]);
}

// d_i = c_i / C(n, i), then n passes of running sums from the top. Carried in long
// double up to degree kExtendedDegree: the passes form sums far larger than the
// result, and the extra bits keep their rounding below the result's.
template <class T>
void power_to_bezier_in(int32_t n, const double *c, T *d) {
  T binom = 1;
  for (int32_t i = 0; i <= n; ++i) {
    d[i] = c[i] / binom;
    binom = binom * T(n - i) / T(i + 1);
  }
  for (int32_t r = 1; r <= n; ++r)
    for (int32_t j = n; j >= r; --j) d[j] += d[j - 1];
}

// n passes of differences from the top, then c_k = C(n, k) * (k-th difference).
template <class T>
void bezier_to_power_in(int32_t n, const double *b, T *d) {
  for (int32_t i = 0; i <= n; ++i) d[i] = b[i];
  for (int32_t r = 1; r <= n; ++r)
    for (int32_t j = n; j >= r; --j) d[j] -= d[j - 1];
  T binom = 1;
  for (int32_t k = 0; k <= n; ++k) {
    d[k] *= binom;
    binom = binom * T(n - k) / T(k + 1);
  }
}

constexpr int32_t kExtendedDegree = 127;

void power_to_bezier_unchecked(int32_t n, const double *c, double *b) {
  if (n > kExtendedDegree) {
    power_to_bezier_in<double>(n, c, b);
    return;
  }
  LD d[kExtendedDegree + 1];
  power_to_bezier_in<LD>(n, c, d);
  for (int32_t i = 0; i <= n; ++i) b[i] = static_cast<double>(d[i]);
}

void bezier_to_power_unchecked(int32_t n, const double *b, double *c) {
  if (n > kExtendedDegree) {
    if (c != b) std::copy(b, b + n + 1, c);
    bezier_to_power_in<double>(n, c, c);
    return;
  }
  LD d[kExtendedDegree + 1];
  bezier_to_power_in<LD>(n, b, d);
  for (int32_t i = 0; i <= n; ++i) c[i] = static_cast<double>(d[i]);
}

// The right half [1/2, 1] of the Bezier row is the row of the local variable u = 2t - 1
// on [0, 1]; its power form in u is the local power form.
void bezier_to_local_power_unchecked(int32_t n, const double *b, double *c) {
  if (n == 1) {
    const double c0 = (b[0] + b[1]) / 2, c1 = (b[1] - b[0]) / 2;
    c[0] = c0;
    c[1] = c1;
    return;
  }
  if (n == 2) {
    const double e = (b[0] + b[2]) / 4, h = b[1] / 2, d = (b[2] - b[0]) / 2;
    c[0] = e + h;
    c[1] = d;
    c[2] = e - h;
    return;
  }
  if (n <= 0) {
    if (n == 0) c[0] = b[0];
    return;
  }
  if (n > kExtendedDegree) {
    bezier_right_half(n, b, c);
    bezier_to_power_unchecked(n, c, c);
    return;
  }
  // Right half by midpoint averaging (in place, d[j] ends as the right-half
  // coefficient j), then the differences, all in long double.
  LD d[kExtendedDegree + 1];
  for (int32_t j = 0; j <= n; ++j) d[j] = b[j];
  for (int32_t r = 1; r <= n; ++r)
    for (int32_t j = 0; j <= n - r; ++j) d[j] = (d[j] + d[j + 1]) / 2;
  for (int32_t r = 1; r <= n; ++r)
    for (int32_t j = n; j >= r; --j) d[j] -= d[j - 1];
  LD binom = 1;
  for (int32_t k = 0; k <= n; ++k) {
    c[k] = static_cast<double>(d[k] * binom);
    binom = binom * LD(n - k) / LD(k + 1);
  }
}

void local_power_to_bezier_unchecked(int32_t n, const double *c, double *b) {
  if (n > kExtendedDegree) {
    power_to_bezier_unchecked(n, c, b);
    bezier_extend_left(n, b, b);
    return;
  }
  // Bezier row of the right half, then n passes of b_j <- 2 b_j - b_(j+1) extend it
  // to [0, 1] (the inverse of the averaging).
  LD d[kExtendedDegree + 1];
  power_to_bezier_in<LD>(n, c, d);
  for (int32_t r = n; r >= 1; --r)
    for (int32_t j = n - r; j >= 0; --j) d[j] = 2 * d[j] - d[j + 1];
  for (int32_t j = 0; j <= n; ++j) b[j] = static_cast<double>(d[j]);
}

}  // namespace knotwork

// ---- Exported conversions ----------------------------------------------------------

using namespace knotwork;

namespace {

// Common argument checks of a one-component conversion.
BSrc check_series(int32_t n, int32_t max_degree, const double *in, const double *out) {
  if (in == nullptr || out == nullptr) return BSNULLPTR;
  if (n < 0 || n > max_degree) return BSINARG;
  if (!all_finite(static_cast<int64_t>(n) + 1, in)) return BSINARG;
  return BSSUCC;
}

}  // namespace

KW_API void BSlgdtcan(int32_t n, const double *l, double *c, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_series(n, kLgdCanMaxDegree, l, c)) != BSSUCC) return;
  legendre_to_power_unchecked(n, l, c);
}

KW_API void BScantlgd(int32_t n, const double *c, double *l, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_series(n, kCanLgdMaxDegree, c, l)) != BSSUCC) return;
  power_to_legendre_unchecked(n, c, l);
}

KW_API void BScantlgdp(int32_t n, const double *even, const double *odd, double *even_out,
                       double *odd_out) {
  if (n < 0 || n > kCanLgdMaxDegree || even == nullptr || even_out == nullptr) return;
  if (n >= 1 && (odd == nullptr || odd_out == nullptr)) return;
  double in[kCanLgdMaxDegree + 1], out[kCanLgdMaxDegree + 1];
  for (int32_t k = 0; k <= n; ++k) in[k] = (k & 1) ? odd[k / 2] : even[k / 2];
  power_to_legendre_unchecked(n, in, out);
  // Written without a conditional lvalue: GCC 12 at -O0 with AddressSanitizer and
  // UndefinedBehaviorSanitizer miscompiles `(c ? p : q)[i] = x` into a wild store.
  for (int32_t k = 0; k <= n; ++k) {
    if (k & 1)
      odd_out[k / 2] = out[k];
    else
      even_out[k / 2] = out[k];
  }
}

KW_API void BSlgdttch(int32_t n, const double *l, double *t, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_series(n, kLgdTchMaxDegree, l, t)) != BSSUCC) return;
  legendre_to_chebyshev_unchecked(n, l, t);
}

KW_API void BStchtlgd(int32_t n, const double *t, double *l, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_series(n, kLgdTchMaxDegree, t, l)) != BSSUCC) return;
  chebyshev_to_legendre_unchecked(n, t, l);
}

KW_API void BSbeztolgd(int32_t n, int32_t dim, const double *b, double *l, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (b == nullptr || l == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 0 || n > kBezLgdMaxDegree || dim < 1 ||
      !all_finite(static_cast<int64_t>(n + 1) * dim, b)) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer work(static_cast<std::size_t>(2 * (n + 1)) * sizeof(long double));
  if (!work.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  for (int32_t c = 0; c < dim; ++c)
    bezier_to_legendre_unchecked(n, b + static_cast<int64_t>(c) * (n + 1),
                                 l + static_cast<int64_t>(c) * (n + 1), work.as<long double>());
}

KW_API void BSlgdtbez(int32_t n, const double *l, double *b, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_series(n, kBezLgdMaxDegree, l, b)) != BSSUCC) return;
  ScratchBuffer work(static_cast<std::size_t>(2 * (n + 1)) * sizeof(long double));
  if (!work.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  legendre_to_bezier_unchecked(n, l, b, work.as<long double>());
}

KW_API void BScantbez(int32_t n, const double *c, double *b, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_series(n, kMaxGeneralDegree, c, b)) != BSSUCC) return;
  power_to_bezier_unchecked(n, c, b);
}

KW_API void BSbeztocan(int32_t n, const double *b, double *c) {
  if (b == nullptr || c == nullptr || n < 0 || n > kMaxGeneralDegree) return;
  bezier_to_power_unchecked(n, b, c);
}

KW_API void BSbeztocan1(int32_t dim, int32_t n, const double *b, double *c) {
  if (b == nullptr || c == nullptr || n < 0 || n > kMaxGeneralDegree || dim < 1) return;
  for (int32_t k = 0; k < dim; ++k)
    bezier_to_local_power_unchecked(n, b + static_cast<int64_t>(k) * (n + 1),
                                    c + static_cast<int64_t>(k) * (n + 1));
}

KW_API void BScantobez1(int32_t count, int32_t n, const double *c, double *b, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == 0) return;
  if (c == nullptr || b == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (count < 0 || n < 0 || n > kMaxGeneralDegree ||
      !all_finite(static_cast<int64_t>(count) * (n + 1), c)) {
    *rc = BSINARG;
    return;
  }
  for (int32_t k = 0; k < count; ++k)
    local_power_to_bezier_unchecked(n, c + static_cast<int64_t>(k) * (n + 1),
                                    b + static_cast<int64_t>(k) * (n + 1));
}

KW_API void BScan2qelbs(int32_t dim, int32_t degree, const double *coefs, BScurve *curve,
                        BSrc *rc) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || curve == nullptr || curve->poles == nullptr || curve->knots == nullptr ||
      ((dim > 3 || curve->rational) && curve->weights == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  const int32_t k = degree + 1;
  if (dim < 1 || dim > 4 || degree < 1 || degree > kMaxGeneralDegree ||
      !all_finite(static_cast<int64_t>(dim) * k, coefs)) {
    *rc = BSINARG;
    return;
  }
  // Bezier rows, then the poles and weights, all in scratch: the record is written
  // only once the planarity test has passed.
  ScratchBuffer buf(static_cast<std::size_t>(dim + 4) * k * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *bez = buf.as<double>(), *poles = bez + dim * k, *weights = poles + 3 * k;
  for (int32_t r = 0; r < dim; ++r)
    local_power_to_bezier_unchecked(degree, coefs + r * k, bez + r * k);
  const bool rational = dim > 3 || curve->rational;
  const int32_t coords = std::min(dim, int32_t{3});
  for (int32_t j = 0; j < k; ++j) {
    for (int32_t c = 0; c < 3; ++c) poles[3 * j + c] = c < coords ? bez[c * k + j] : 0.0;
    weights[j] = dim > 3 ? bez[3 * k + j] : (rational ? curve->weights[j] : 1.0);
  }
  BSrc rs = BSSUCC;
  BSboolean planar = FALSE;
  double normal[3];
  BStst_plan(k, poles, rational ? weights : nullptr, &planar, normal, &rs);
  if (rs == BSBADWEIGHT) {
    planar = FALSE;
    rs = BSSUCC;
  }
  if (rs != BSSUCC) {
    *rc = rs;
    return;
  }
  curve->order = static_cast<int16_t>(k);
  curve->num_poles = k;
  curve->periodic = FALSE;
  curve->non_uniform = TRUE;
  if (dim > 3) curve->rational = TRUE;
  std::copy(poles, poles + 3 * k, curve->poles);
  if (dim > 3) std::copy(weights, weights + k, curve->weights);
  curve->num_knots = 2 * k;
  for (int32_t j = 0; j < k; ++j) {
    curve->knots[j] = 0.0;
    curve->knots[k + j] = 1.0;
  }
  curve->planar = planar;
  curve->phy_closed = FALSE;
}

KW_API void BSspantocan(int32_t n, int32_t num_poles, int32_t dim, const double *poles,
                        const double *knots, int32_t span, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 1 || dim < 1 || num_poles <= n || span < n || span >= num_poles ||
      !(knots[span + 1] > knots[span]) || !std::isfinite(knots[span + 1] - knots[span])) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer work(static_cast<std::size_t>(2 * n + 2) * sizeof(double));
  if (!work.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  span_bezier_rows(n, num_poles, dim, knots, poles, span, out, work.as<double>());
  if (!all_finite(static_cast<int64_t>(dim) * (n + 1), out)) {
    *rc = BSINARG;  // a non-finite pole or knot of the span
    return;
  }
  for (int32_t r = 0; r < dim; ++r)
    bezier_to_local_power_unchecked(n, out + r * (n + 1), out + r * (n + 1));
}
