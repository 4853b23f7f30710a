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
#include <cstring>

#include "knotwork.h"

namespace knotwork {

// Largest order of the routines that keep one piece in a fixed buffer.
inline constexpr int kMaxFixedOrder = 16;

enum CurveCheck : unsigned {
  kCurveShape = 0,              // null record or arrays (3); order >= 2, num_poles >= order,
                                // num_knots == order + num_poles (-2)
  kCurveDomain = 1u << 0,       // finite end knots bounding a non-empty domain (-2)
  kCurveArrays = 1u << 1,       // O(n): knots finite and non-decreasing, poles and
                                // weights finite (-2)
  kCurveWeights = 1u << 2,      // O(n): weights positive (-2); routines with their own
                                // status for a small or negative weight leave this out
  kCurveOrder16 = 1u << 3,      // order <= 16 (-2)
  kCurveOrder1 = 1u << 4,       // order 1 (piecewise constant) is accepted too
  kCurveOwnPoleScan = 1u << 5,  // the poles and weights are left to the caller's own
                                // pass over them (which makes the same checks)
  kCurveFull = kCurveDomain | kCurveArrays | kCurveWeights,
};

// True when the count knots are finite and non-decreasing (O(count)). The scans
// below have no early exit and no branch per value: d - |d| is 0 exactly when
// d >= 0 and x * 0 exactly when x is finite (NaN and infinities stay NaN in the
// sums), so they run at the machine's streaming throughput.
inline bool knots_ascending(const double *t, int32_t count) {
  if (count <= 0) return true;
  // Two knots a lane, two pairs a step: four independent sums (every term is 0,
  // negative or NaN, so no sum of them is 0 unless all terms are); |d| by
  // clearing the sign bit.
  using Lanes = double __attribute__((vector_size(16)));
  using Bits = int64_t __attribute__((vector_size(16)));
  auto load = [t](int32_t j) {
    Lanes v;
    std::memcpy(&v, t + j, sizeof v);
    return v;
  };
  auto below = [](Lanes d) {
    return d - reinterpret_cast<Lanes>(reinterpret_cast<Bits>(d) & INT64_MAX);
  };
  Lanes acc0 = {t[0] * 0.0, t[count - 1] * 0.0}, acc1 = {0.0, 0.0};
  int32_t i = 1;
  for (; i + 4 <= count; i += 4) {
    acc0 += below(load(i) - load(i - 1));
    acc1 += below(load(i + 2) - load(i + 1));
  }
  double rest = 0.0;
  for (; i < count; ++i) rest += (t[i] - t[i - 1]) - std::fabs(t[i] - t[i - 1]);
  return (acc0[0] + acc0[1]) + (acc1[0] + acc1[1]) + rest == 0.0;
}

// True when the count values are finite.
inline bool values_finite(const double *v, std::ptrdiff_t count) {
  double acc[4] = {0.0, 0.0, 0.0, 0.0};
  std::ptrdiff_t i = 0;
  for (; i + 4 <= count; i += 4)
    for (int l = 0; l < 4; ++l) acc[l] += v[i + l] * 0.0;
  for (; i < count; ++i) acc[0] += v[i] * 0.0;
  return (acc[0] + acc[1]) + (acc[2] + acc[3]) == 0.0;
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
    if (checks & kCurveOwnPoleScan) return BSSUCC;
    if (!values_finite(cv->poles, 3 * static_cast<std::ptrdiff_t>(n))) return BSINARG;
    if (cv->rational) {
      if (!values_finite(cv->weights, n)) return BSINARG;
      if (checks & kCurveWeights) {
        const double *w = cv->weights;  // finite by now: the least one decides
        double least[2] = {w[0], w[0]};
        int32_t i = 0;
        for (; i + 2 <= n; i += 2)
          for (int l = 0; l < 2; ++l) least[l] = w[i + l] < least[l] ? w[i + l] : least[l];
        if (i < n) least[0] = w[i] < least[0] ? w[i] : least[0];
        if (!(least[0] > 0.0 && least[1] > 0.0)) return BSINARG;
      }
    }
  }
  return BSSUCC;
}

}  // namespace knotwork

#endif
