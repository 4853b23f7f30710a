// Internal workers of the root finders: the Legendre-series kernels the interval
// solvers run on, the interval solvers themselves and the scalar B-spline root
// finder that curve-plane intersection calls.
#ifndef KNOTWORK_NUMERIC_ROOTS_HPP
#define KNOTWORK_NUMERIC_ROOTS_HPP

#ifndef KNOTWORK_INTERNAL
#error "roots.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cmath>
#include <cstdint>

#include "frame/frame.hpp"
#include "knotwork.h"

namespace knotwork {

// Status of an interval solver that cannot separate the roots at its tolerance.
inline constexpr BSrc kRootsUnresolved = 35;

// ---- Closed forms and helpers (src/numeric/roots_closed_form.cpp) -------------
// Power coefficients ascending; complex roots as parallel real/imaginary arrays.

double cube_root(double x);
// |p(x)| < 1e-14 max_i |c_i x^i| (c0 == 0 at x = 0).
bool is_poly_root(int32_t n, const double *c, double x);
void complex_sqrt(double re, double im, double *sre, double *sim);
void complex_inverse(double re, double im, double *ire, double *iim);
void quadratic_roots(const double *c, double *re, double *im);
void depressed_cubic_roots(double p, double q, double d, double *re, double *im);
BSrc cubic_roots(const double *c, double *re, double *im);
BSrc quartic_roots(const double *c, double *re, double *im);
// BSINARG for a negative x with an even k (or k < 1, non-finite x); *out untouched.
BSrc kth_root(double x, int32_t k, double *out);
double int_power(double x, int32_t n);
// All n roots of a polynomial of degree n >= 1 with |c_n| >= 2^-97 (BSrpoly).
// Statuses -1 (no convergence), 33.
BSrc polynomial_roots(int32_t n, const double *c, double *re, double *im);

// Degree-2 Legendre series: roots in [-1, 1] ascending (BSrtlgd2).
void quadratic_legendre_roots(const double *s, double tol, int32_t *count, double *roots,
                              bool *ambiguous);

// ---- Legendre-series kernels (src/numeric/roots_series.cpp) -------------------
// Series of degree n: n + 1 coefficients, P_k's at index k, on [-1, 1]. Truncation,
// evaluation, derivatives and halving are the bases kernels (bases/series.hpp).
namespace rootseries {

// k-th derivative at x; work holds n + 1 doubles. 0 when k > n.
double derivative_value(int32_t n, const double *l, int32_t k, double x, double *work);
// Quotient of the series by (x - a), degree n - 1, remainder dropped. out may be l.
void divide_linear(int32_t n, const double *l, double a, double *out);
// The series of p restricted to [a, b] and re-expanded on [-1, 1]: out (n + 1) holds
// p(((b - a)/2) x + (a + b)/2). work holds 3 (n + 1) doubles; out may not alias l.
void restrict_to(int32_t n, const double *l, double a, double b, double *out, double *work);
// Bezier coefficients on [0, 1] (n + 1) to the Legendre series on [-1, 1]; work n + 1.
void from_bezier(int32_t n, const double *bez, double *out, double *work);

}  // namespace rootseries

// ---- Interval solvers (src/numeric/roots_interval.cpp) ------------------------

// Roots on [-1, 1] of a Legendre series (BSfndrtlgd1): *count -1 when the series is
// zero within tol, else the roots ascending with multiplicity into roots (room for
// n). Statuses 33 and 35.
BSrc legendre_roots(int32_t n, const double *l, double tol, int32_t *count, double *roots);

// Roots on [a, b] of Bezier coefficients (BSfndrtbez1); roots has room for k - 1.
// A root at the local ends is written as exactly a or b.
BSrc bezier_roots(int32_t k, const double *coef, double a, double b, double tol, int32_t *count,
                  double *roots);

// Fixed tolerance of BSbzeroes (a constant of the library, not a tolerance field).
inline constexpr double kBzeroesTolerance = 1e-6;

// Two parameters of the interval [lo, hi] closer than this are one: knot_tol, but
// never more than 1e-9 of the interval, so that distinct roots are not moved.
inline double tol_knot_gap(double lo, double hi) {
  return std::fmin(tol().knot_tol, 1e-9 * (hi - lo));
}
inline double knot_gap_of(int32_t k, int32_t n, const double *knots) {
  return tol_knot_gap(knots[k - 1], knots[n]);
}

// A scalar spline the solver accepts: 1 <= k <= 321, n >= k, finite poles, finite
// non-decreasing knots with a non-empty domain.
inline bool scalar_spline_ok(int32_t k, int32_t n, const double *poles, const double *knots) {
  if (k < 1 || k > 321 || n < k) return false;
  for (int32_t i = 0; i < n; ++i)
    if (!std::isfinite(poles[i])) return false;
  for (int32_t i = 0; i < n + k; ++i)
    if (!std::isfinite(knots[i]) || (i > 0 && knots[i] < knots[i - 1])) return false;
  return knots[k - 1] < knots[n];
}

// Power of two that brings the largest magnitude of the count values near 1
// (1 for all zeros): scaling by it is exact and moves no root.
inline double unit_scale(int32_t count, const double *v) {
  double m = 0.0;
  for (int32_t i = 0; i < count; ++i) m = std::fmax(m, std::fabs(v[i]));
  return m > 0.0 && std::isfinite(m) ? std::ldexp(1.0, -std::ilogb(m)) : 1.0;
}

// Largest number of roots (with multiplicity) the scalar B-spline solver writes for
// order k and n poles; zero intervals are at most n - k + 1.
inline int64_t spline_root_capacity(int32_t k, int32_t n) {
  return static_cast<int64_t>(k) * (n - k + 1);
}

// Roots with multiplicity and zero intervals of the scalar B-spline of order k with
// n poles (validated: k >= 1, n >= k, knots finite and non-decreasing with a
// non-empty domain, poles finite). roots: room for spline_root_capacity; zero
// intervals as (start, end) pairs, room for 2 (n - k + 1). knot_gap: two roots
// closer than it at a knot are one. Statuses -13 (work memory), 33, 35; counts
// hold what was found before a failure.
BSrc spline_roots(int32_t k, int32_t n, const double *poles, const double *knots, double tol,
                  double knot_gap, int32_t *num_roots, double *roots, int32_t *num_zero,
                  double *zero_pairs);

}  // namespace knotwork

#endif
