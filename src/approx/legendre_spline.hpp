// One Legendre segment (or one chain of them) to a B-spline of a requested order
// within a tolerance: knot placement from the size of the order-th derivative,
// least-squares pieces made smooth at the breakpoints, and the smooth Bezier chain
// read off as a spline with simple knots. Inputs are validated by the callers.
#ifndef KNOTWORK_APPROX_LEGENDRE_SPLINE_HPP
#define KNOTWORK_APPROX_LEGENDRE_SPLINE_HPP

#ifndef KNOTWORK_INTERNAL
#error "legendre_spline.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>

#include "frame/frame.hpp"

namespace knotwork {

// Orders the conversions accept.
inline constexpr int32_t kMinSplineOrder = 2;
inline constexpr int32_t kMaxSplineOrder = 16;
// Longest march of the knot placement in one direction.
inline constexpr int32_t kMaxPlacementSteps = 9999;

// Breakpoints on [-1, 1] for a series of degree n in g groups of c components
// (component after component, n + 1 values each) so that order-k pieces of
// continuity r stay near tol. *pieces 0 and *breaks null when n < k; otherwise
// pieces + 1 ascending breaks from -1 to 1 in result memory. BSNOMEMORY (also for
// a march of more than kMaxPlacementSteps), BSNOSTKMEMORY.
BSrc place_knots(int32_t n, int32_t g, int32_t c, const double *series, int32_t k, int32_t r,
                 double tol, int32_t *pieces, double **breaks);

// The C^(k-2) spline of order k (k >= 2) on the breaks that approximates the
// series (c components): poles c rows of pieces + k - 1 values, knots
// pieces + 2k - 1 values (caller's arrays). *bound receives the largest Euclidean
// error bound over the pieces (truncation tails plus the continuity correction).
// Status 55 when the correction of some piece exceeds tol (outputs written);
// BSNOSTKMEMORY, BSDIVZERO.
BSrc build_piece_spline(int32_t n, int32_t c, const double *series, int32_t k, int32_t pieces,
                        const double *breaks, double tol, double *poles, double *knots,
                        double *bound);

// BScstlgdbsp on validated input (m >= 2, increasing breaks, 0 <= r <= k - 1).
BSrc correct_continuity(int32_t g, int32_t c, int32_t k, int32_t r, int32_t m, const double *breaks,
                        const double *in, double tol, double *out);

// A spline in array form on [-1, 1]: order, pole count, rows of poles (component
// after component) and knots, both in result memory.
struct ArraySpline {
  int32_t order = 0, num_poles = 0;
  double *poles = nullptr, *knots = nullptr;
};
void release_spline(ArraySpline *s);

// Polynomial segment (c components) to a spline of order at most k within tol:
// effective degree below k gives one Bezier piece of that degree, otherwise knots
// are placed and the spline built, halving the placement tolerance until the error
// bound holds (status 55 after the last attempt). BSNOMEMORY, BSNOSTKMEMORY.
BSrc segment_to_spline(int32_t n, int32_t c, const double *series, int32_t k, int32_t r, double tol,
                       ArraySpline *out);
// Rational segment: d weighted coordinates then the weight (d + 1 components); the
// tolerance holds for the Cartesian curve. BSINARG for a weight not positive.
BSrc rational_segment_to_spline(int32_t n, int32_t d, const double *series, int32_t k, int32_t r,
                                double tol, ArraySpline *out);

}  // namespace knotwork

#endif  // KNOTWORK_APPROX_LEGENDRE_SPLINE_HPP
