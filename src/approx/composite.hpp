// The composite Legendre curve shared by the approximation family and the text
// record: per-segment component counts, the allocation of its arrays, and the
// single-segment evaluators. Inputs are assumed valid where a name says so.
#ifndef KNOTWORK_APPROX_COMPOSITE_HPP
#define KNOTWORK_APPROX_COMPOSITE_HPP

#ifndef KNOTWORK_INTERNAL
#error "composite.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>

#include "frame/frame.hpp"

namespace knotwork {

// Largest segment degree and segment count the composite routines accept (the
// Bezier <-> Legendre conversions are exact up to this degree).
inline constexpr int32_t kMaxSegmentDegree = 319;
inline constexpr int32_t kMaxSegments = 1000000;

// Components of a segment of kind 0..3 in dimension d (-1 for another kind).
inline int32_t segment_components(int32_t d, int32_t kind) {
  switch (kind) {
    case 0:
      return d == 2 ? 2 : d;
    case 1:
      return d == 2 ? 3 : d + 1;
    case 2:
      return d == 2 ? 3 : d + 2;
    case 3:
      return d == 2 ? 4 : d + 3;
    default:
      return -1;
  }
}

// The four per-segment blocks (zero-filled, every basis 1). On failure nothing
// stays allocated and the outputs are null. BSNOMEMORY.
BSrc allocate_segment_arrays(int32_t m, int32_t **ndeg, int32_t **irat, int32_t **ibase,
                             double **bez_knots);
// Releases the four blocks (any may be null) and clears the pointers.
void release_segment_arrays(int32_t **ndeg, int32_t **irat, int32_t **ibase, double **bez_knots);
// The pointer array and the zero-filled coefficient block (validated degrees and
// kinds). BSNOMEMORY; nothing allocated on failure.
BSrc allocate_series(int32_t d, int32_t m, const int32_t *ndeg, const int32_t *irat,
                     double ***series);
void release_series(double ***series);

// The k-th derivative at x of one segment (basis 1 Legendre, 0 power form in x)
// of degree n, dimension d and kind: d values into out. BSINARG for a rational
// segment outside two and three dimensions; BSNOSTKMEMORY.
BSrc evaluate_segment(int32_t n, int32_t d, int32_t kind, bool legendre, const double *c, int32_t k,
                      double x, double *out);

}  // namespace knotwork

#endif  // KNOTWORK_APPROX_COMPOSITE_HPP
