// Knot-vector workers shared by the curve families (the exported knot routines
// are thin shims over these). Inputs are assumed valid: order >= 2, n >= order,
// non-decreasing knots.
#ifndef KNOTWORK_BSPLINE_KNOTS_HPP
#define KNOTWORK_BSPLINE_KNOTS_HPP

#ifndef KNOTWORK_INTERNAL
#error "knots.hpp is internal to the library"
#endif

#include <cstdint>

#include "knotwork.h"

namespace knotwork {

// The curve knot tolerance (BScvkttol2): knot_tol under the fixed method,
// otherwise basis_tol scaled by parameter range / control-polygon length and
// lowered below every genuine knot interval.
double curve_knot_tolerance(int32_t k, const double *knots, int32_t n, const double *poles,
                            const double *weights);

// Interior knots of multiplicity exactly k-1 (differences below tolerance count as
// equal): their values and the pole count of the piece left of each. Returns the
// count; the arrays need room for n + k entries.
int32_t c0_knots(int32_t k, int32_t n, const double *knots, double tolerance, double *values,
                 int32_t *pole_counts);

// Shifts the knots so the domain starts at 0 and scales it to [0, 1]; BSINARG
// (knots left shifted) for a domain shorter than zero_tol^2.
BSrc normalise_knots(int32_t k, int32_t n, double *knots);

// Chord-length knot vector (n + k values) for a curve of n poles through n points.
BSrc chord_length_knots(int32_t n, const double *points, int32_t k, bool periodic, double *knots);

// Greville abscissae of the poles with r values between neighbours (BSnodevals).
BSrc node_values(int32_t k, int32_t num_knots, const double *knots, int32_t r, int32_t *count,
                 double *values);

// node_values trimmed to the domain and/or clipped to a range (BSnodvalrg).
BSrc node_values_in_range(int32_t k, bool trim, int32_t num_knots, const double *knots, int32_t r,
                          double e, bool clip, const double *range, int32_t *count, double *values);

// BStstcvdegn on a checked record with positive weights: whether the curve is a
// point at dist_tol.
BSrc test_degenerate(const BScurve &cv, bool *degenerate);

}  // namespace knotwork

#endif  // KNOTWORK_BSPLINE_KNOTS_HPP
