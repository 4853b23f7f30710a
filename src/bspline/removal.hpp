// Knot removal kernels of the B-spline core: the exact reduction of a smooth
// chain of Bezier pieces to a spline with simple knots, and the least-squares
// removal of one knot from poles of any width. Both work on plain arrays, assume
// validated input (their first comment line says what) and allocate nothing.
#ifndef KNOTWORK_BSPLINE_REMOVAL_HPP
#define KNOTWORK_BSPLINE_REMOVAL_HPP

#ifndef KNOTWORK_INTERNAL
#error "removal.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstddef>
#include <cstdint>

#include "knotwork.h"

namespace knotwork {

// Validated: d >= 1, J >= 1, rows >= 1, breaks strictly increasing. The J Bezier
// pieces of degree d (piece-major, rows interleaved: coefficient i of row r of
// piece j at ((j * rows + r) * (d + 1) + i)) joined with continuity d - 1 become
// the J + d poles per row of the spline with simple interior knots (row r at
// r * (J + d)). Each pole is the blossom of the piece nearest to its knots, so the
// end poles are copied exactly and a C^(d-1) chain is reproduced exactly.
void bezier_chain_to_spline(int d, int32_t J, int32_t rows, const double *pieces,
                            const double *breaks, double *poles);

// The run [first, last] of knots within tol of knots[r] (both directions).
struct KnotRun {
  int32_t first;
  int32_t last;
};
KnotRun knot_run(const double *knots, int32_t num_knots, int32_t r, double tol);

// Validated: k <= run.first, run.last <= n - 1, s = run length < k. Removes one
// copy of the run's value from the n poles of w components each (pole-major, P)
// by least squares of the insertion relations; Q receives the n - 1 new poles (Q
// may equal P) and residual[w] the absolute residual of the one equation left
// over: the refinement of the new curve back to the old knots differs from P in
// that one pole only, by that residual. The knots are not touched. work: room for
// removal_work(k, w) doubles. Q null: only the residual is computed. leftover
// (may be null): the index of the pole that the residual belongs to. Returns the status of the
// bidiagonal solve (BSDIVZERO) or 0.
BSrc remove_knot_poles(int k, int32_t n, const double *knots, KnotRun run, int w, const double *P,
                       double *Q, double *residual, double *work, int32_t *leftover);
inline std::size_t removal_work(int k, int w) {
  return static_cast<std::size_t>(k) * (3 + w);
}

// BSrmktsnchg on a validated record: removes interior knot copies while the
// reduced curve provably stays within tolerance of cv. out: arrays with room for
// cv's counts (may not share memory with cv). BSDIVZERO, BSNOSTKMEMORY.
BSrc reduce_knots(const BScurve &cv, double tolerance, BScurve &out);

}  // namespace knotwork

#endif  // KNOTWORK_BSPLINE_REMOVAL_HPP
