// Bezier pieces of B-splines and the de Casteljau kernels: the Bezier
// coefficients of one span, the decomposition of a whole array-form spline,
// subdivision of Bezier rows, and the elementary symmetric functions that degree
// elevation uses. None of the kernels allocates for orders up to kBezierStackOrder.
//
// Layouts. Array-form spline: rows coordinate-major rows of n poles (row c holds
// component c of every pole; a rational spline's last row holds the weights and
// the others are weighted). Bezier rows: d + 1 coefficients per row, rows one
// after the other. Decomposition output: segment-major, segment j row r at
// ((j * rows) + r) * (p + 1), i.e. every segment is itself a block of
// coordinate-major rows of p + 1 poles (the layout of pole_box_rows() and of the
// evaluators of array-form curves).
#ifndef KNOTWORK_BSPLINE_BEZIER_HPP
#define KNOTWORK_BSPLINE_BEZIER_HPP

#ifndef KNOTWORK_INTERNAL
#error "bezier.hpp is internal to the library"
#endif

#include <cstdint>

#include "frame/frame.hpp"

namespace knotwork {

// Knots closer than this are one break of a Bezier decomposition.
inline constexpr double kBezierBreakGap = 1e-12;

// Degrees up to this keep the local knot copy of span_bezier_rows on the stack.
inline constexpr int kBezierStackOrder = 64;

// e_0 .. e_m (m + 1 values) of the m values x: e_0 = 1, e_r the sum of all
// products of r distinct values.
void elementary_symmetric(int32_t m, const double *x, double *e);

// Number of spans of width at least kBezierBreakGap in the domain of an array-form
// spline of degree p with n poles (its Bezier segment count).
int32_t bezier_piece_count(int p, int32_t n, const double *knots);

// Bezier coefficients of the non-empty span s (p <= s <= n-1) of an array-form
// spline: rows rows of p + 1 values into out (row r at r * (p + 1)). The span's
// poles and knots are clamped on both sides locally (exact knot insertion), so
// unclamped ends and any interior multiplicities are handled alike. work holds
// 2p + 2 doubles.
void span_bezier_rows(int p, int32_t n, int rows, const double *knots, const double *poles,
                      int32_t s, double *out, double *work);

// Bezier decomposition of an array-form spline of degree p with n poles: *count
// segments (bezier_piece_count of them), coefs in the segment-major layout above,
// breaks count + 1 values (knots[p], the left knot of every following segment,
// knots[n]). BSINARG when no span is wider than kBezierBreakGap; BSNOSTKMEMORY
// only above kBezierStackOrder when scratch is short.
BSrc bezier_pieces(int p, int32_t n, int rows, const double *knots, const double *poles,
                   int32_t *count, double *coefs, double *breaks);

// De Casteljau subdivision of Bezier rows (degree d) at t in [0, 1]: left and right
// halves, each reparametrised to [0, 1]. in may equal right (not left).
void split_bezier_rows(int d, int rows, const double *in, double t, double *left, double *right);

// The same at t = 1/2 by midpoint averaging (BShlfbezcv). in may equal left or right.
void halve_bezier_rows(int d, int rows, const double *in, double *left, double *right);

// Right half [1/2, 1] of one Bezier row, reparametrised to [0, 1] (BScastdbez), and
// its inverse, the row on the interval twice as long ending at 1 (BScastibez).
// in may equal out.
void bezier_right_half(int d, const double *in, double *out);
void bezier_extend_left(int d, const double *in, double *out);

// ---- Degree elevation (src/bspline/elevate.cpp) ---------------------------------

// Knot vector of a degree p curve with last pole index m (p + m + 2 knots) raised to
// degree q: every distinct knot (within knot_tol of its predecessor) gains q - p
// copies. out has room for (q - p + 1) * (p + m + 2) values; *written receives the
// count. BSNOSTKMEMORY when scratch is short.
BSrc elevated_knot_vector(int p, int32_t m, int q, const double *knots, double *out,
                          int32_t *written);

// BSupthedeg on a validated record and q > degree: clamps cv in place, then writes
// the elevated curve (same shape; first pole and weight exactly the clamped
// curve's) into *out (reuse: the caller's record, sized for it) or into a new
// record that replaces, and releases, the one *out held.
BSrc elevate_degree(BScurve &cv, int q, bool reuse, BScurve **out);

}  // namespace knotwork

#endif  // KNOTWORK_BSPLINE_BEZIER_HPP
