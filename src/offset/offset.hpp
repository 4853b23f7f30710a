// Offsets of planar curves: the planar engine that offsets a curve lying in a
// plane z = constant of its own frame, and the curve-record helpers the offset
// path shares.
#ifndef KNOTWORK_OFFSET_OFFSET_HPP
#define KNOTWORK_OFFSET_OFFSET_HPP

#ifndef KNOTWORK_INTERNAL
#error "offset.hpp is internal to the library; include knotwork.h instead"
#endif

#include "frame/frame.hpp"

namespace knotwork {

// Warning of the offset path: the result is complete but some piece did not reach
// offset_tol within the refinement passes.
constexpr BSrc kOffsetNotConverged = 5;
// A join whose inner degeneracy test ran out of scratch memory.
constexpr BSrc kJoinDegeneracyUnknown = 59;

// A curve record from BSallocqelcv that is released on scope exit unless taken.
class OwnedCurve {
 public:
  OwnedCurve() = default;
  explicit OwnedCurve(BScurve *cv) : cv_(cv) {}
  ~OwnedCurve() { reset(); }
  OwnedCurve(const OwnedCurve &) = delete;
  OwnedCurve &operator=(const OwnedCurve &) = delete;
  void reset(BScurve *cv = nullptr) {
    if (cv_ != nullptr) {
      BSrc rc;
      BSfreeqelcv(cv_, &rc);
    }
    cv_ = cv;
  }
  BScurve *get() const { return cv_; }
  BScurve *operator->() const { return cv_; }
  BScurve **addr() { return &cv_; }
  BScurve *release() {
    BScurve *cv = cv_;
    cv_ = nullptr;
    return cv;
  }

 private:
  BScurve *cv_ = nullptr;
};

// New record of the given shape with clean flags (periodic 0, non_uniform 1,
// planar and phy_closed 0). -13 when the memory cannot be had.
BSrc new_curve(int32_t order, int32_t num_poles, bool rational, BScurve **out);
// Copy of cv into a new record with room for extra more poles.
BSrc copy_curve(const BScurve &cv, int32_t extra, BScurve **out);
// Part of c between u0 and u1 (BSactivsplt) into a new record; nothing on failure.
BSrc part_of(const BScurve &c, double u0, double u1, BScurve **out);
// Unweighted pole i of cv.
void unweighted_pole(const BScurve &cv, int32_t i, double *out);

// Planar offset of cv (poles in a plane z = constant) at signed distance d to the
// side side (+1 right of the tangent about normal, -1 left); corner TRUE extends
// convex corners by their tangents, FALSE rounds them. *out: new record.
// Status 5: complete result, some piece short of offset_tol.
// Connectors of concave corners whose two offsets do not cross: straight segments
// (ends: 6 doubles each) that come closer to the base than |d| unless loop removal
// cuts them away. At most one per corner: capacity num_poles + 1 suffices.
struct CornerGaps {
  double *ends = nullptr;
  int32_t capacity = 0;
  int32_t count = 0;
};
BSrc xy_offset(const BScurve &cv, double d, bool corner, const double *normal, int32_t side,
               BScurve **out, CornerGaps *gaps = nullptr);
// Offset of one smooth piece, refined until it is within offset_tol of |d|.
BSrc piece_offset(const BScurve &piece, double d, const double *normal, int32_t side,
                  BScurve **out);

// Self-intersections of a planar curve (z constant): count pairs (s < t) of
// parameters, ascending by s, into a list from result memory (*pairs, 2 doubles
// each; null when none). -1 for a curve winding over itself too densely to search.
BSrc self_intersections(const BScurve &cv, int32_t *count, double **pairs);

// The poles of R fixed by span i of W (BSsetspn), and interior pole k (BSsetq; 5
// for the last pole), placed at z = 0 with W's weights.
BSrc set_span(int32_t i, const BScurve &W, double d, const double *normal, int32_t side,
              BScurve &R);
BSrc set_interior_pole(int32_t k, const BScurve &W, double d, const double *normal, int32_t side,
                       BScurve &R);
// Span test of BStstspn1 (see the header).
BSrc test_spans(int32_t count, double tol_along, double *values, double *points, const BScurve &W,
                const BScurve &R, int32_t *nfail, int32_t *fail, int32_t *kept, bool *all);
// *c (a record from BSallocqelcv) raised to order: replaced by a new record.
BSrc raise_order(BScurve **c, int32_t order);

// Closed curve c re-started at u: its part from u to the end followed by the part
// from the start to u, on c's domain (a copy when u is an end).
BSrc restart_closed(const BScurve &c, double u, BScurve **out);

// Plane normal and working curve of the offset path: the curve projected onto its
// own plane (a line stays as it is, planar FALSE). given: the normal is
// given_normal, negated when *orient is FALSE; otherwise it is found from dirpt so
// that dirpt lies on side +1 and *orient becomes TRUE.
BSrc offset_normal(const BScurve &cv, const double *dirpt, bool given, const double *given_normal,
                   BSboolean *orient, BScurve **base, double *normal);
// Side (+1: right of the tangent about normal) of cv on which dirpt lies, and the
// frame (BStrans2) whose third axis is the normal.
BSrc offset_side(const BScurve &cv, const double *dirpt, const double *normal, int32_t *side,
                 double *frame);

}  // namespace knotwork

#endif  // KNOTWORK_OFFSET_OFFSET_HPP
