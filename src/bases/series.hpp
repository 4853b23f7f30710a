// Polynomial bases: the generated change-of-basis tables and the kernels on
// coefficient series that other families share (evaluation, conversion,
// products, halving). Series of degree n are n + 1 doubles, basis function 0
// first; Legendre and Chebyshev series and local power forms live on [-1, 1],
// Bezier coefficients and power forms "in t" on [0, 1]. Kernels named *_unchecked
// trust their arguments (degrees within the stated limits, valid pointers).
#ifndef KNOTWORK_BASES_SERIES_HPP
#define KNOTWORK_BASES_SERIES_HPP

#ifndef KNOTWORK_INTERNAL
#error "series.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>

#include "frame/frame.hpp"

namespace knotwork {

// ---- Table limits and access ---------------------------------------------------

inline constexpr int kLgdCanMaxDegree = 63;   // Legendre -> power
inline constexpr int kCanLgdMaxDegree = 127;  // power -> Legendre
inline constexpr int kLgdTchMaxDegree = 325;  // Legendre <-> Chebyshev
inline constexpr int kCstLgdMaxDegree = 320;  // halving tables
inline constexpr int kTchCanMaxDegree = 41;   // Chebyshev -> power
inline constexpr int kIntTabMaxPoints = 320;  // largest Gauss-Legendre rule
// Bezier <-> Legendre: the quadrature of the largest rule is exact up to this degree.
inline constexpr int kBezLgdMaxDegree = 319;

// Gauss-Legendre rules tabulated (point counts), ascending.
inline constexpr int kGaussRuleCount = 9;
inline constexpr int kGaussRules[kGaussRuleCount] = {4, 8, 12, 16, 20, 40, 80, 160, 320};

// Index of the rule with n points in kGaussRules, -1 when n is not tabulated.
inline int gauss_rule_index(int n) {
  for (int i = 0; i < kGaussRuleCount; ++i)
    if (kGaussRules[i] == n) return i;
  return -1;
}
// The n nodes of a tabulated rule, ascending (double table, exported data).
const double *gauss_nodes(int n);
// The n/2 weights of the non-negative nodes of a tabulated rule, ascending by node.
const double *gauss_weights(int n);
// The same rule in long double (nodes ascending; all n weights).
const long double *gauss_nodes_ld(int n);
const long double *gauss_weights_ld(int n);
// (2k - 1)/k and (k - 1)/k in long double, k = 2 .. kIntTabMaxPoints (the Legendre
// recurrence P_k = up_k x P_(k-1) - down_k P_(k-2)).
const long double *legendre_up_ratios();
const long double *legendre_down_ratios();

// Packed parity-split row k of a table of maximum degree m: the offset of row k
// when rows k0, k0+1, ... are packed one after another and row j has
// (m - j - shift) / 2 + 1 entries.
inline int64_t packed_row_offset(int m, int k0, int shift, int k) {
  int64_t off = 0;
  for (int j = k0; j < k; ++j) off += (m - j - shift) / 2 + 1;
  return off;
}

// ---- Evaluation (no allocation, never fail) -------------------------------------

// p(x) for ascending power coefficients by Horner; 0 for n < 0.
inline double horner_power(int32_t n, const double *c, double x) {
  if (n < 0) return 0.0;
  double s = c[n];
  for (int32_t k = n - 1; k >= 0; --k) s = s * x + c[k];
  return s;
}

// p(x) and p(-x) from one pass over the even and odd parts (Horner in x^2).
inline void horner_power_symmetric(int32_t n, const double *c, double x, double *plus,
                                   double *minus) {
  if (n < 0) {
    *plus = *minus = 0.0;
    return;
  }
  const double x2 = x * x;
  const int32_t top_even = n & ~1, top_odd = (n & 1) ? n : n - 1;
  double e = c[top_even];
  for (int32_t k = top_even - 2; k >= 0; k -= 2) e = e * x2 + c[k];
  double o = 0.0;
  if (top_odd >= 1) {
    o = c[top_odd];
    for (int32_t k = top_odd - 2; k >= 1; k -= 2) o = o * x2 + c[k];
  }
  *plus = e + x * o;
  *minus = e - x * o;
}

// Legendre series at x by Clenshaw's recurrence; exact sums at x = +-1.
inline double clenshaw_legendre(int32_t n, const double *l, double x) {
  if (n < 0) return 0.0;
  if (n == 0) return l[0];
  if (n == 1) return l[0] + x * l[1];
  if (x == 1.0 || x == -1.0) {
    double even = 0.0, odd = 0.0;
    for (int32_t k = 0; k <= n; k += 2) even += l[k];
    for (int32_t k = 1; k <= n; k += 2) odd += l[k];
    return x == 1.0 ? even + odd : even - odd;
  }
  double b = l[n], a = l[n - 1];
  for (int32_t k = n; k >= 2; --k) {
    const double c = static_cast<double>(k - 1) / static_cast<double>(k);
    const double a_next = l[k - 2] - c * b;
    b = a + (c + 1.0) * b * x;
    a = a_next;
  }
  return a + b * x;
}

// Chebyshev (first kind) series at x by Clenshaw's recurrence; exact sums at +-1.
inline double clenshaw_chebyshev(int32_t n, const double *t, double x) {
  if (n < 0) return 0.0;
  if (n == 0) return t[0];
  if (x == 1.0 || x == -1.0) {
    double even = 0.0, odd = 0.0;
    for (int32_t k = 0; k <= n; k += 2) even += t[k];
    for (int32_t k = 1; k <= n; k += 2) odd += t[k];
    return x == 1.0 ? even + odd : even - odd;
  }
  double b1 = 0.0, b2 = 0.0;
  const double x2 = 2.0 * x;
  for (int32_t k = n; k >= 1; --k) {
    const double b0 = t[k] + x2 * b1 - b2;
    b2 = b1;
    b1 = b0;
  }
  return t[0] + x * b1 - b2;
}

// Bezier coefficients (degree n, [0, 1]) at t by de Casteljau-free Horner on
// t / (1 - t) (or (1 - t) / t for t > 1/2); stable for t in [0, 1].
double bezier_value(int32_t n, const double *b, double t);

// First derivative of a Legendre series (n + 1 coefficients) as a series of degree
// n - 1 (n values in d); d may be l. Nothing for n <= 0.
void legendre_derivative(int32_t n, const double *l, double *d);

// ---- Conversions (trusted arguments; out never aliases in unless stated) ---------

// Legendre -> power on [-1, 1], n <= kLgdCanMaxDegree.
void legendre_to_power_unchecked(int32_t n, const double *l, double *c);
// Power -> Legendre on [-1, 1], n <= kCanLgdMaxDegree (stack work only).
void power_to_legendre_unchecked(int32_t n, const double *c, double *l);
// Legendre <-> Chebyshev, n <= kLgdTchMaxDegree.
void legendre_to_chebyshev_unchecked(int32_t n, const double *l, double *t);
void chebyshev_to_legendre_unchecked(int32_t n, const double *t, double *l);
// Bezier on [0, 1] -> Legendre on [-1, 1] (one component), n <= kBezLgdMaxDegree.
// work: 2 * (n + 1) long doubles (may be null for n <= 3).
void bezier_to_legendre_unchecked(int32_t n, const double *b, double *l, long double *work);
// Legendre -> Bezier (one component), n <= kBezLgdMaxDegree. work: 2 * (n + 1) long doubles.
void legendre_to_bezier_unchecked(int32_t n, const double *l, double *b, long double *work);
// Power in t on [0, 1] <-> Bezier; in place allowed (b may equal c).
void power_to_bezier_unchecked(int32_t n, const double *c, double *b);
void bezier_to_power_unchecked(int32_t n, const double *b, double *c);
// Bezier on [0, 1] -> power in u = 2t - 1 and back; in place allowed.
void bezier_to_local_power_unchecked(int32_t n, const double *b, double *c);
void local_power_to_bezier_unchecked(int32_t n, const double *c, double *b);

// ---- Series arithmetic -----------------------------------------------------------

// Product of two Legendre series (degrees da, db >= 0) into da + db + 1 values.
// Scratch for large degrees; BSNOSTKMEMORY when it cannot be had (out untouched).
BSrc legendre_product(int32_t da, const double *a, int32_t db, const double *b, double *out);
// Product of two Chebyshev series (no allocation); out must not alias a or b.
void chebyshev_product(int32_t da, const double *a, int32_t db, const double *b, double *out);

// Halves of a Legendre series: p((x - 1)/2) into left and p((x + 1)/2) into right,
// n <= kCstLgdMaxDegree. Either output may be null. No allocation.
void halve_legendre_unchecked(int32_t n, const double *l, double *left, double *right);
// Halves of a power form in x on [-1, 1]: p((x - 1)/2) and p((x + 1)/2). Either
// output may be null. No allocation.
void halve_power(int32_t n, const double *c, double *left, double *right);

// Power form of p(alpha x + beta) into out (n + 1 values; out must not alias c), by
// Horner composition. No allocation.
inline void substitute_power(int32_t n, const double *c, double alpha, double beta, double *out) {
  for (int32_t i = 0; i <= n; ++i) out[i] = 0.0;
  for (int32_t k = n; k >= 0; --k) {
    for (int32_t i = n - k; i >= 1; --i) out[i] = beta * out[i] + alpha * out[i - 1];
    out[0] = beta * out[0] + c[k];
  }
}

// Tail-sum truncation of a Legendre series: the largest m with sum_{i=m..n} |l_i|
// > tol, -1 when the whole sum stays at or below tol; n for tol < 0.
int32_t truncated_degree(int32_t n, const double *l, double tol);

}  // namespace knotwork

#endif  // KNOTWORK_BASES_SERIES_HPP
