// ScratchCurve: a temporary curve whose arrays live in scratch memory.
//
// An operation that needs a working curve of known sizes declares one on its
// stack; the poles (3 doubles each), knots (order + poles) and, when rational,
// weights come from one ScratchBuffer (stack below the threshold, heap above,
// guarded at debug level 20), laid out in that order. The header is part of the
// object. Everything is released when the object goes out of scope, so no release
// call is needed on any return path.
//
//   ScratchCurve tmp(cv.order, cv.num_poles, cv.rational);
//   if (!tmp.ok()) { *rc = tmp.status(); return; }     // 33, BSNOSTKMEMORY
//   BScurve &work = tmp.curve();                        // arrays ready, flags 0
//
// The header's counts are set (order, num_poles, num_knots, rational); the flags
// are 0, there are no boundaries, and the array contents are undefined.
#ifndef KNOTWORK_RECORDS_SCRATCH_CURVE_HPP
#define KNOTWORK_RECORDS_SCRATCH_CURVE_HPP

#ifndef KNOTWORK_INTERNAL
#error "scratch_curve.hpp is internal to the library; include knotwork.h instead"
#endif

#include "frame/frame.hpp"

namespace knotwork {

class ScratchCurve {
 public:
  ScratchCurve(int32_t order, int32_t num_poles, bool rational) {
    if (order < 1 || order > INT16_MAX || num_poles < 0) return;
    const std::size_t n = static_cast<std::size_t>(num_poles);
    const std::size_t doubles = 3 * n + (n + static_cast<std::size_t>(order)) + (rational ? n : 0);
    if (!buf_.acquire(doubles * sizeof(double))) return;
    double *const poles = buf_.as<double>();
    curve_.order = static_cast<int16_t>(order);
    curve_.num_poles = num_poles;
    curve_.num_knots = order + num_poles;
    curve_.poles = poles;
    curve_.knots = poles + 3 * n;
    curve_.rational = rational ? 1 : 0;
    curve_.weights = rational ? curve_.knots + curve_.num_knots : nullptr;
    ok_ = true;
  }
  ScratchCurve(const ScratchCurve &) = delete;
  ScratchCurve &operator=(const ScratchCurve &) = delete;

  // False when the scratch memory could not be had (or the sizes were invalid).
  bool ok() const { return ok_; }
  // 0 when ok(), else 33 (BSNOSTKMEMORY).
  BSrc status() const { return ok_ ? BSSUCC : BSNOSTKMEMORY; }
  BScurve &curve() { return curve_; }
  const BScurve &curve() const { return curve_; }

 private:
  ScratchBuffer buf_;
  BScurve curve_{};
  bool ok_ = false;
};

}  // namespace knotwork

#endif  // KNOTWORK_RECORDS_SCRATCH_CURVE_HPP
