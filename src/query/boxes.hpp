// Bounding volumes of pole sets: axis-aligned boxes, the bounding sphere, oblique
// boxes in a curve's local frame, and bounds of the squared distance from a point
// to an oblique box. The queries (projection, intersection) prune with these.
//
// Coordinate-major pole rows: dim rows of n values (row c holds coordinate c of
// every pole); a rational curve adds a row of n weights and its coordinate rows
// then hold the weighted coordinates. A Bezier piece written by bezier_pieces()
// (src/bspline/bezier.hpp) is exactly such a block with n = order.
#ifndef KNOTWORK_QUERY_BOXES_HPP
#define KNOTWORK_QUERY_BOXES_HPP

#ifndef KNOTWORK_INTERNAL
#error "boxes.hpp is internal to the library"
#endif

#include <cstdint>

#include "frame/frame.hpp"

namespace knotwork {

// ---- Coordinate-major rows ------------------------------------------------------

// Copies the poles of a curve record into coordinate-major rows: 3 rows of n
// values as stored (weighted when rational), then the n weights when rational.
// rows holds (3 + rational) * n doubles.
void curve_pole_rows(const BScurve &cv, double *rows);

// Unweighted coordinate-major rows: dim rows of n values, each coordinate of a
// rational block divided by its weight. in and out may not overlap.
void unweighted_rows(int32_t n, int32_t dim, bool rational, const double *in, double *out);

// ---- Axis-aligned boxes -----------------------------------------------------------

// Packed axis-aligned box (dim minima, then dim maxima) of coordinate-major rows,
// the poles divided by their weights when rational. n >= 1. Allocates nothing.
inline void pole_box_rows(int32_t n, int32_t dim, bool rational, const double *rows, double *box) {
  const double *w = rows + static_cast<std::ptrdiff_t>(dim) * n;
  for (int32_t c = 0; c < dim; ++c) {
    const double *r = rows + static_cast<std::ptrdiff_t>(c) * n;
    double lo = rational ? r[0] / w[0] : r[0];
    double hi = lo;
    for (int32_t i = 1; i < n; ++i) {
      const double v = rational ? r[i] / w[i] : r[i];
      if (v < lo) lo = v;
      if (v > hi) hi = v;
    }
    box[c] = lo;
    box[dim + c] = hi;
  }
}

// Box of n >= 1 consecutive triples (divided by their weights when weights is not
// null), written into min and max.
void pole_box_triples(int32_t n, const double *poles, const double *weights, double *min,
                      double *max);

// Squared distance from a point to an axis-aligned box of dim coordinates (0 inside).
inline double box_distance_sq(int32_t dim, const double *point, const double *min,
                              const double *max) {
  double s = 0.0;
  for (int32_t c = 0; c < dim; ++c) {
    double e = 0.0;
    if (point[c] < min[c]) {
      e = min[c] - point[c];
    } else if (point[c] > max[c]) {
      e = point[c] - max[c];
    }
    s += e * e;
  }
  return s;
}

// ---- Bounding sphere --------------------------------------------------------------

// Centre (average of the poles) and radius (largest distance to a pole) of
// unweighted coordinate-major rows; radius 0 and centre 0 when n = 0.
void bounding_sphere(int32_t dim, int32_t n, const double *rows, double *centre, double *radius);

// ---- Oblique boxes ------------------------------------------------------------------

// Dual frame of two plane axes (rows of a 2x2 matrix): s_k = v . dual_k.
// BSSINGULAR when the determinant is 0.
BSrc dual_frame_2d(const double *axes, double *dual);
// Dual frame of three space axes, the third perpendicular to the first two.
// BSSINGULAR when the first two are parallel (|a x b|^2 = 0) or the third is zero.
BSrc dual_frame_3d(const double *axes, double *dual);

// Oblique box with the given axis directions (dim x dim, axis k in row k) around n
// unweighted poles in coordinate-major rows; dim 2 or 3, else BSDEGENINPUT.
BSrc fit_oblique_box(int32_t n, int32_t dim, const double *rows, const double *axes, double *centre,
                     double *half_axes);

// Oblique box of a curve in its frame at the middle parameter (first and second
// derivative, and their cross product in space). BSDEGENINPUT when the frame is
// degenerate: a second derivative (or plane first derivative, or space cross
// product) without a component of magnitude 1e-6, or first and second derivative
// parallel within kParallelSine. BSNOSTKMEMORY when scratch is short.
BSrc oblique_box_of_curve(int32_t order, int32_t n, const double *knots, int32_t dim, bool rational,
                          const double *rows, double *centre, double *half_axes);

// Sine of the angle between the first and second derivative below which the
// curve's local frame counts as degenerate (the derivatives are then parallel up
// to rounding, as for every straight curve).
inline constexpr double kParallelSine = 1e-8;

// ---- Distance bounds (squared) ------------------------------------------------------

// Segment c +- h in dim coordinates (any dim, no workspace).
void segment_bounds(int32_t dim, const double *centre, const double *h, const double *point,
                    double *min, double *max);
// Parallelogram c +- h1 +- h2 in dim coordinates (any dim, no workspace); always 0.
BSrc parallelogram_bounds(int32_t dim, const double *centre, const double *h1, const double *h2,
                          const double *point, double *min, double *max);
// Oblique boxes of dim 2 and 3 (half-axes in rows); BSINARG when the zero
// half-axes do not come last (bounds then not written).
BSrc oblique_box_bounds_2d(const double *half_axes, const double *centre, const double *point,
                           double *min, double *max);
BSrc oblique_box_bounds_3d(const double *half_axes, const double *centre, const double *point,
                           double *min, double *max);

}  // namespace knotwork

#endif  // KNOTWORK_QUERY_BOXES_HPP
