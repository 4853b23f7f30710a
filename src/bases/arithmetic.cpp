// Arithmetic on coefficient series: products of Legendre and Chebyshev series,
// quotients by sampling at Gauss-Legendre nodes, division by a linear factor,
// discrete Legendre projection, halving and restriction to a sub-interval.
#include <algorithm>
#include <cmath>
#include <limits>

#include "bases/series.hpp"

extern "C" {
extern double BSglobalcstlgdp[25760];
extern double BSglobalcstlgdm[25760];
}

namespace knotwork {

namespace {

constexpr int32_t kMaxGeneralDegree = 1000;
constexpr double kEps = std::numeric_limits<double>::epsilon();

bool all_finite(int64_t count, const double *v) {
  for (int64_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

double abs_sum(int32_t n, const double *v) {
  double s = 0.0;
  for (int32_t i = 0; i <= n; ++i) s += std::fabs(v[i]);
  return s;
}

// Row offsets of the halving tables (rows 1 .. 320 and 0 .. 319).
struct HalvingOffsets {
  int32_t p[kCstLgdMaxDegree + 1];
  int32_t m[kCstLgdMaxDegree + 1];
  constexpr HalvingOffsets() : p(), m() {
    int32_t op = 0, om = 0;
    for (int k = 0; k <= kCstLgdMaxDegree; ++k) {
      p[k] = op;
      m[k] = om;
      if (k >= 1) op += (kCstLgdMaxDegree - k) / 2 + 1;
      om += (kCstLgdMaxDegree - k - 1) / 2 + 1;
    }
  }
};
constexpr HalvingOffsets kHalving;

// Linearisation P_i P_j = sum_s A(i, j, s) P_(i+j-2s), s = 0 .. min(i, j), with
// A = g_(i-s) g_s g_(j-s) / g_(i+j-s) * (2(i+j-2s) + 1) / (2(i+j-s) + 1) and
// g_r = C(2r, r) / 4^r (all terms positive). Accumulates f * P_i P_j into out.
inline void add_legendre_pair(int32_t i, int32_t j, double f, const double *g, double *out) {
  const int32_t lo = i < j ? i : j;
  for (int32_t s = 0; s <= lo; ++s) {
    const int32_t k = i + j - 2 * s;
    out[k] += f * g[i - s] * g[s] * g[j - s] / g[i + j - s] * static_cast<double>(2 * k + 1) /
              static_cast<double>(2 * (i + j - s) + 1);
  }
}

void central_ratios(int32_t count, double *g) {
  g[0] = 1.0;
  for (int32_t r = 0; r + 1 < count; ++r)
    g[r + 1] = g[r] * static_cast<double>(2 * r + 1) / static_cast<double>(2 * r + 2);
}

// x * (series of degree n in the Legendre basis) into out (degree n + 1).
void legendre_times_x(int32_t n, const double *in, double *out) {
  for (int32_t k = 0; k <= n + 1; ++k) out[k] = 0.0;
  for (int32_t j = 0; j <= n; ++j) {
    out[j + 1] += in[j] * static_cast<double>(j + 1) / static_cast<double>(2 * j + 1);
    if (j >= 1) out[j - 1] += in[j] * static_cast<double>(j) / static_cast<double>(2 * j + 1);
  }
}

void chebyshev_times_x(int32_t n, const double *in, double *out) {
  for (int32_t k = 0; k <= n + 1; ++k) out[k] = 0.0;
  for (int32_t j = 0; j <= n; ++j) {
    if (j == 0) {
      out[1] += in[0];
    } else {
      out[j + 1] += 0.5 * in[j];
      out[j - 1] += 0.5 * in[j];
    }
  }
}

// Column k (n + 1 values) = coefficients of B_k(alpha x + beta) for the family with
// B_0 = 1, B_1 = y and B_k = f_k y B_(k-1) - h_k B_(k-2); columns column-major.
template <class TimesX>
void substitution_table(int32_t n, double alpha, double beta, bool chebyshev, TimesX times_x,
                        double *m) {
  const int64_t ld = n + 1;
  for (int64_t i = 0; i < ld * ld; ++i) m[i] = 0.0;
  m[0] = 1.0;
  if (n == 0) return;
  m[ld + 0] = beta;
  m[ld + 1] = alpha;  // B_1 = beta + alpha x (x = P_1 = T_1)
  for (int32_t k = 2; k <= n; ++k) {
    const double f = chebyshev ? 2.0 : static_cast<double>(2 * k - 1) / k;
    const double h = chebyshev ? 1.0 : static_cast<double>(k - 1) / k;
    double *col = m + k * ld;
    const double *p1 = m + (k - 1) * ld, *p2 = m + (k - 2) * ld;
    times_x(k - 1, p1, col);  // col = x * B_(k-1)
    for (int32_t i = 0; i <= k; ++i)
      col[i] = f * (alpha * col[i] + (i <= k - 1 ? beta * p1[i] : 0.0)) - h * p2[i];
  }
}

}  // namespace

BSrc legendre_product(int32_t da, const double *a, int32_t db, const double *b, double *out) {
  ScratchBuffer gb(static_cast<std::size_t>(da + db + 1) * sizeof(double));
  if (!gb.ok()) return BSNOSTKMEMORY;
  double *g = gb.as<double>();
  central_ratios(da + db + 1, g);
  for (int32_t k = 0; k <= da + db; ++k) out[k] = 0.0;
  for (int32_t i = 0; i <= da; ++i) {
    if (a[i] == 0.0) continue;
    for (int32_t j = 0; j <= db; ++j) add_legendre_pair(i, j, a[i] * b[j], g, out);
  }
  return BSSUCC;
}

void chebyshev_product(int32_t da, const double *a, int32_t db, const double *b, double *out) {
  for (int32_t k = 0; k <= da + db; ++k) out[k] = 0.0;
  for (int32_t i = 0; i <= da; ++i)
    for (int32_t j = 0; j <= db; ++j) {
      const double p = a[i] * b[j];
      out[i + j] += p;
      out[i > j ? i - j : j - i] += p;
    }
  for (int32_t k = 0; k <= da + db; ++k) out[k] *= 0.5;
}

void halve_legendre_unchecked(int32_t n, const double *l, double *left, double *right) {
  double e[kCstLgdMaxDegree + 1], o[kCstLgdMaxDegree + 1];
  if (n < 0) return;
  e[0] = l[0];
  for (int32_t j = 1; j <= n; ++j) {
    const double *row = BSglobalcstlgdp + kHalving.p[j];
    double s = 0.0;
    for (int32_t t = 0; j + 2 * t <= n; ++t) s += row[t] * l[j + 2 * t];
    e[j] = s;
  }
  for (int32_t j = 0; j < n; ++j) {
    const double *row = BSglobalcstlgdm + kHalving.m[j];
    double s = 0.0;
    for (int32_t t = 0; j + 2 * t + 1 <= n; ++t) s += row[t] * l[j + 2 * t + 1];
    o[j] = s;
  }
  o[n] = 0.0;
  if (n <= 3) {  // closed forms, identical to the table entries
    e[0] = l[0];
    if (n >= 1) o[0] = 0.5 * l[1], e[1] = 0.5 * l[1];
    if (n >= 2) o[1] = 0.75 * l[2], e[2] = 0.25 * l[2];
    if (n == 3) {
      e[1] = 0.5 * l[1] + 0.375 * l[3];
      e[3] = 0.125 * l[3];
      o[0] = 0.5 * l[1] - 0.125 * l[3];
      o[2] = 0.625 * l[3];
    }
  }
  for (int32_t j = 0; j <= n; ++j) {
    if (right != nullptr) right[j] = e[j] + o[j];
    if (left != nullptr) left[j] = e[j] - o[j];
  }
}

// p((x + s)/2) for s = +-1: scale by 2^-k, then a Taylor shift by s.
void halve_power(int32_t n, const double *c, double *left, double *right) {
  for (int side = 0; side < 2; ++side) {
    double *q = side == 0 ? left : right;
    if (q == nullptr) continue;
    const double s = side == 0 ? -1.0 : 1.0;
    for (int32_t k = 0; k <= n; ++k) q[k] = std::ldexp(c[k], -k);
    for (int32_t r = 0; r < n; ++r)
      for (int32_t k = n - 1; k >= r; --k) q[k] += s * q[k + 1];
  }
}

int32_t truncated_degree(int32_t n, const double *l, double tol) {
  if (tol < 0.0 || n < 0) return n < 0 ? -1 : n;
  double tail = 0.0;
  for (int32_t m = n; m >= 0; --m) {
    tail += std::fabs(l[m]);
    if (tail > tol) return m;
  }
  return -1;
}

}  // namespace knotwork

using namespace knotwork;

// ---- Products ---------------------------------------------------------------------

KW_API void BSprodpolgd(int32_t da, int32_t db, const double *a, const double *b, double *out,
                        BSrc *rc) {
  KW_EPILOGUE(rc);
  if (a == nullptr || b == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (da < 0 || db < 0 || da > kMaxGeneralDegree || db > kMaxGeneralDegree ||
      !all_finite(da + 1, a) || !all_finite(db + 1, b)) {
    *rc = BSINARG;
    return;
  }
  *rc = da >= db ? legendre_product(da, a, db, b, out) : legendre_product(db, b, da, a, out);
}

KW_API void BSmtrlgdlgd(int32_t da, int32_t db, const double *m, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (m == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (da < 0 || db < 0 || da > kMaxGeneralDegree || db > kMaxGeneralDegree ||
      !all_finite(static_cast<int64_t>(da + 1) * (db + 1), m)) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer gb(static_cast<std::size_t>(da + db + 1) * sizeof(double));
  if (!gb.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *g = gb.as<double>();
  central_ratios(da + db + 1, g);
  for (int32_t k = 0; k <= da + db; ++k) out[k] = 0.0;
  for (int32_t i = 0; i <= da; ++i)
    for (int32_t j = 0; j <= db; ++j) {
      const double f = m[static_cast<int64_t>(i) * (db + 1) + j];
      if (f != 0.0) add_legendre_pair(i, j, f, g, out);
    }
}

KW_API void BSprodtch(int32_t da, const double *a, int32_t db, const double *b, double *out,
                      BSrc *rc) {
  KW_EPILOGUE(rc);
  if (da < 0 || db < 0) return;  // a zero factor: the zero series, nothing written
  if (a == nullptr || b == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (da > kMaxGeneralDegree || db > kMaxGeneralDegree || !all_finite(da + 1, a) ||
      !all_finite(db + 1, b)) {
    *rc = BSINARG;
    return;
  }
  chebyshev_product(da, a, db, b, out);
}

// ---- Quotients --------------------------------------------------------------------

namespace {

constexpr int kQuotientNodes = 320;

// Discrete Legendre projection of values at the n nodes of a Gauss rule (ascending)
// into n coefficients, folding the nodes +-x.
void project_values(int n, const double *values, double *coefs) {
  const double *x = gauss_nodes(n);
  const double *w = gauss_weights(n);
  const int h = n / 2;
  for (int k = 0; k < n; ++k) coefs[k] = 0.0;
  for (int i = 0; i < h; ++i) {
    const double xi = x[h + i], wi = w[i];
    const double sym = wi * (values[h + i] + values[h - 1 - i]);
    const double anti = wi * (values[h + i] - values[h - 1 - i]);
    double p0 = 1.0, p1 = xi;
    coefs[0] += sym;
    coefs[1] += anti * xi;
    for (int k = 2; k < n; ++k) {
      const double p2 =
          (static_cast<double>(2 * k - 1) * xi * p1 - static_cast<double>(k - 1) * p0) /
          static_cast<double>(k);
      coefs[k] += ((k & 1) ? anti : sym) * p2;
      p0 = p1;
      p1 = p2;
    }
  }
  for (int k = 0; k < n; ++k) coefs[k] *= static_cast<double>(2 * k + 1) / 2.0;
}

// Quotient a/b sampled at the 320 nodes (evaluate is Clenshaw or Horner),
// projected and truncated. The truncation keeps the tail-sum rule at
// 1e-14 sum |c| and also drops every trailing coefficient that does not stand above
// the noise the sampling leaves in it. With de_i a bound of the rounding error of
// quotient value i (from the magnitude sums of a and b and |b(x_i)|), the noise in
// coefficient k is about (2k + 1)/2 * sqrt(sum_i w_i^2 de_i^2); a coefficient within
// four times that is indistinguishable from rounding.
template <class Evaluate>
BSrc sampled_quotient(int32_t da, const double *a, int32_t db, const double *b, Evaluate evaluate,
                      int32_t *degree, double *q) {
  ScratchBuffer buf(static_cast<std::size_t>(2 * kQuotientNodes) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *f = buf.as<double>(), *c = f + kQuotientNodes;
  const double *x = gauss_nodes(kQuotientNodes);
  const double *w = gauss_weights(kQuotientNodes);
  const double sa = std::sqrt(da + 1.0) * abs_sum(da, a), sb = std::sqrt(db + 1.0) * abs_sum(db, b);
  double noise_sq = 0.0;  // sum_i w_i^2 de_i^2
  for (int i = 0; i < kQuotientNodes; ++i) {
    const double va = evaluate(da, a, x[i]), vb = evaluate(db, b, x[i]);
    f[i] = va / vb;
    if (!std::isfinite(f[i])) return BSDIVZERO;
    const double wi =
        w[i < kQuotientNodes / 2 ? kQuotientNodes / 2 - 1 - i : i - kQuotientNodes / 2];
    const double de = 2.0 * kEps * (sa + std::fabs(f[i]) * sb) / std::fabs(vb);
    noise_sq += wi * wi * de * de;
  }
  project_values(kQuotientNodes, f, c);
  const double noise = 4.0 * std::sqrt(noise_sq);
  int32_t m = truncated_degree(kQuotientNodes - 1, c, 1e-14 * abs_sum(kQuotientNodes - 1, c));
  while (m >= 1 && std::fabs(c[m]) <= static_cast<double>(2 * m + 1) / 2.0 * noise) --m;
  *degree = m;
  for (int32_t k = 0; k <= m; ++k) q[k] = c[k];
  return BSSUCC;
}

BSrc check_quotient(int32_t da, const double *a, int32_t db, const double *b, const int32_t *degree,
                    const double *q) {
  if (a == nullptr || b == nullptr || degree == nullptr || q == nullptr) return BSNULLPTR;
  if (da < 0 || db < 0 || da > kMaxGeneralDegree || db > kMaxGeneralDegree ||
      !all_finite(da + 1, a) || !all_finite(db + 1, b))
    return BSINARG;
  return BSSUCC;
}

}  // namespace

KW_API void BSdivlgdlgd(int32_t da, const double *a, int32_t db, const double *b, int32_t *degree,
                        double *q, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_quotient(da, a, db, b, degree, q)) != BSSUCC) return;
  *rc = sampled_quotient(da, a, db, b, clenshaw_legendre, degree, q);
}

KW_API void BSdivcancan(int32_t da, const double *a, int32_t db, const double *b, int32_t *degree,
                        double *q, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_quotient(da, a, db, b, degree, q)) != BSSUCC) return;
  double lq[kQuotientNodes];
  int32_t m = -1;
  if ((*rc = sampled_quotient(da, a, db, b, horner_power, &m, lq)) != BSSUCC) return;
  if (m > kLgdCanMaxDegree) {
    *rc = BSFAIL;  // no power form of degree <= 63 within the tolerance
    return;
  }
  *degree = m;
  if (m >= 0) legendre_to_power_unchecked(m, lq, q);
}

KW_API void BSlgddivxa(int32_t n, const double *l, double a, double *q) {
  if (l == nullptr || q == nullptr || n <= 0) return;
  // Coefficient j of (x - a) q equals l_j for j = n .. 1, solved for q_(j-1) from
  // the top; l_(j-1) is read before index j - 1 is written, so q may equal l.
  double q1 = 0.0, q2 = 0.0;  // q_j, q_(j+1)
  double lj = l[n];
  for (int32_t j = n; j >= 1; --j) {
    const double next = l[j - 1];
    const double qj =
        (lj + a * q1 - q2 * static_cast<double>(j + 1) / static_cast<double>(2 * j + 3)) *
        static_cast<double>(2 * j - 1) / static_cast<double>(j);
    q[j - 1] = qj;
    q2 = q1;
    q1 = qj;
    lj = next;
  }
}

KW_API void BShifit(int32_t n, const double *values, double *coefs, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (values == nullptr || coefs == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n > kIntTabMaxPoints || gauss_rule_index(n) < 0 || !all_finite(n, values)) {
    *rc = BSINARG;
    return;
  }
  project_values(n, values, coefs);
}

// ---- Halving and restriction ----------------------------------------------------------

KW_API void BShlfcpolgd(int32_t n, const double *l, double *left, double *right, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (l == nullptr || left == nullptr || right == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 0 || n > kCstLgdMaxDegree || !all_finite(n + 1, l)) {
    *rc = BSINARG;
    return;
  }
  double tmp[kCstLgdMaxDegree + 1];  // left or right may be l
  halve_legendre_unchecked(n, l, tmp, right == l ? nullptr : right);
  if (right == l) halve_legendre_unchecked(n, l, nullptr, right);
  std::copy(tmp, tmp + n + 1, left);
}

KW_API void BShlfcpocan(int32_t n, const double *c, double *left, double *right, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (c == nullptr || left == nullptr || right == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 0 || n > kMaxGeneralDegree || !all_finite(n + 1, c)) {
    *rc = BSINARG;
    return;
  }
  if (left == c || right == c) {
    *rc = BSINARG;  // the halves are built from c, which must stay intact
    return;
  }
  halve_power(n, c, left, right);
}

KW_API void BStablgdel1(int32_t n, double alpha, double beta, double *m) {
  if (m == nullptr || n < 0 || n > kMaxGeneralDegree) return;
  substitution_table(n, alpha, beta, false, legendre_times_x, m);
}

KW_API void BStabtchab(int32_t n, double alpha, double beta, double *m) {
  if (m == nullptr || n < 0 || n > kMaxGeneralDegree) return;
  substitution_table(n, alpha, beta, true, chebyshev_times_x, m);
}

namespace {

template <class Table>
void restrict_series(int32_t n, const double *in, double a, double b, double *out, BSrc *rc,
                     Table table) {
  if (in == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 0 || n > kMaxGeneralDegree || !std::isfinite(a) || !std::isfinite(b) ||
      !all_finite(n + 1, in)) {
    *rc = BSINARG;
    return;
  }
  const int64_t ld = n + 1;
  ScratchBuffer buf(static_cast<std::size_t>(ld * ld + ld) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *m = buf.as<double>(), *r = m + ld * ld;
  table(n, (b - a) / 2, (a + b) / 2, m);
  for (int32_t i = 0; i <= n; ++i) {
    double s = 0.0;
    for (int32_t k = i; k <= n; ++k) s += m[k * ld + i] * in[k];
    r[i] = s;
  }
  std::copy(r, r + ld, out);
}

}  // namespace

KW_API void BSlimlgdab(int32_t n, const double *l, double a, double b, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  restrict_series(n, l, a, b, out, rc, BStablgdel1);
}

KW_API void BSlimtchab(int32_t n, const double *t, double a, double b, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  restrict_series(n, t, a, b, out, rc, BStabtchab);
}

KW_API void BSlimcanab(int32_t n, const double *c, double a, double b, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (c == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 0 || n > kMaxGeneralDegree || !std::isfinite(a) || !std::isfinite(b) ||
      !all_finite(n + 1, c)) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer buf(static_cast<std::size_t>(n + 1) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *q = buf.as<double>();
  substitute_power(n, c, (b - a) / 2, (a + b) / 2, q);
  std::copy(q, q + n + 1, out);
}
