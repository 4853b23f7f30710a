// Tangent continuity at C0 knots: workers of BStstcvcusp, BSfndcvcsp and
// BSfinddcont for callers inside the library (the point projection walks the
// tangent breaks of a curve). All take a validated record (order >= 2, num_poles >=
// order, arrays present).
#ifndef KNOTWORK_ANALYSIS_CONTINUITY_HPP
#define KNOTWORK_ANALYSIS_CONTINUITY_HPP

#ifndef KNOTWORK_INTERNAL
#error "continuity.hpp is internal to the library"
#endif

#include <cstdint>

#include "knotwork.h"

namespace knotwork {

// True when the control polygon's direction breaks at pole j (a corner or a
// reversal); poles that coincide with pole j are skipped when the legs are formed.
// 0 <= j < n; j at an end only on a closed curve (the last pole repeats the first).
bool polygon_turns_at(const BScurve &cv, int32_t j);

// Parameters of all tangent breaks (closing point of a closed non-periodic curve
// first, then the C0 knots ascending); params needs room for one per C0 knot plus
// one. Allocates nothing up to 100 knots; BSNOSTKMEMORY beyond when scratch is short.
BSrc find_tangent_breaks(const BScurve &cv, int32_t *count, double *params);

// Continuity grades (0 position, 1 direction, 2 first derivative) of the C0 knots
// found at the tolerance dist and, for a closed curve, of its end parameter.
BSrc grade_c0_knots(const BScurve &cv, double dist, int32_t *count, double *params,
                    int32_t *grades);

}  // namespace knotwork

#endif  // KNOTWORK_ANALYSIS_CONTINUITY_HPP
