// Validation of a caller's curve record, shared by the exported shims of every
// family that reads one. The checks run once per call in the shim, never inside
// evaluation loops.
//
// Contract: the header checks (null record and arrays, order, counts, the knot
// domain) cost O(1) and every shim runs them. The array checks (knots finite and
// non-decreasing, poles finite, weights finite and positive) scan the record, so
// only routines whose own work is at least linear in the record run them; the
// evaluators do not, and there a record with bad array values may evaluate to
// anything (the span search still refuses a parameter it cannot place).
#ifndef KNOTWORK_RECORDS_CURVE_CHECK_HPP
#define KNOTWORK_RECORDS_CURVE_CHECK_HPP

#ifndef KNOTWORK_INTERNAL
#error "curve_check.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "knotwork.h"

namespace knotwork {

// Largest order of the routines that keep one piece in a fixed buffer.
inline constexpr int kMaxFixedOrder = 16;

enum CurveCheck : unsigned {
  kCurveShape = 0,          // null record or arrays (3); order >= 2, num_poles >= order,
                            // num_knots == order + num_poles (-2)
  kCurveDomain = 1u << 0,   // finite end knots bounding a non-empty domain (-2)
  kCurveArrays = 1u << 1,   // O(n): knots finite and non-decreasing, poles and
                            // weights finite (-2)
  kCurveWeights = 1u << 2,  // O(n): weights positive (-2); routines with their own
                            // status for a small or negative weight leave this out
  kCurveOrder16 = 1u << 3,  // order <= 16 (-2)
  kCurveOrder1 = 1u << 4,   // order 1 (piecewise constant) is accepted too
  kCurveFull = kCurveDomain | kCurveArrays | kCurveWeights,
};

// True when the count knots are finite and non-decreasing (O(count)). The scans
// below have no early exit: flags are or-ed, so they stream at the machine's
// throughput (a NaN fails every comparison).
inline bool knots_ascending(const double *t, int32_t count) {
  if (count <= 0) return true;
  bool bad = !(std::fabs(t[0]) <= 1.7976931348623157e308) ||
             !(std::fabs(t[count - 1]) <= 1.7976931348623157e308);
  for (int32_t i = 1; i < count; ++i) bad |= !(t[i] >= t[i - 1]);
  return !bad;
}

// True when the count values are finite.
inline bool values_finite(const double *v, std::ptrdiff_t count) {
  bool bad = false;
  for (std::ptrdiff_t i = 0; i < count; ++i) bad |= !(std::fabs(v[i]) <= 1.7976931348623157e308);
  return !bad;
}

inline BSrc validate_curve(const BScurve *cv, unsigned checks) {
  if (cv == nullptr || cv->poles == nullptr || cv->knots == nullptr) return BSNULLPTR;
  if (cv->rational && cv->weights == nullptr) return BSNULLPTR;
  const int32_t k = cv->order, n = cv->num_poles;
  if (k < ((checks & kCurveOrder1) ? 1 : 2) || n < k || cv->num_knots != k + n) return BSINARG;
  if ((checks & kCurveOrder16) && k > kMaxFixedOrder) return BSINARG;
  const double *t = cv->knots;
  if ((checks & (kCurveDomain | kCurveArrays)) &&
      !(std::isfinite(t[k - 1]) && std::isfinite(t[n]) && t[k - 1] < t[n]))
    return BSINARG;
  if (checks & (kCurveArrays | kCurveWeights)) {
    if (!knots_ascending(t, n + k)) return BSINARG;
    if (!values_finite(cv->poles, 3 * static_cast<std::ptrdiff_t>(n))) return BSINARG;
    if (cv->rational) {
      if (!values_finite(cv->weights, n)) return BSINARG;
      bool bad = false;
      if (checks & kCurveWeights)
        for (int32_t i = 0; i < n; ++i) bad |= !(cv->weights[i] > 0.0);
      if (bad) return BSINARG;
    }
  }
  return BSSUCC;
}

}  // namespace knotwork

#endif
