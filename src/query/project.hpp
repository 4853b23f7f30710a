// Point projection kernels shared by the projection routines (nearest point on a
// curve, all perpendicular feet, Newton projection) and by other query families.
//
// A Bezier piece is given as coordinate-major rows over the local parameter t in
// [0, 1]: dim rows of deg + 1 values (weighted coordinates when rational), then a
// row of weights when rational.
#ifndef KNOTWORK_QUERY_PROJECT_HPP
#define KNOTWORK_QUERY_PROJECT_HPP

#ifndef KNOTWORK_INTERNAL
#error "project.hpp is internal to the library; include knotwork.h instead"
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "frame/frame.hpp"
#include "knotwork.h"

// The nearest-point kernels (project_piece.cpp, nearest_spline.cpp) compile a
// second time for AVX2 and FMA (nearest_avx2.cpp, where the target allows it) into
// knotwork::avx2: the same source, so the same answers to rounding.
#ifdef KNOTWORK_KERNELS_AVX2
#define KW_KERNELS_BEGIN namespace avx2 {
#define KW_KERNELS_END }
#else
#define KW_KERNELS_BEGIN
#define KW_KERNELS_END
#endif

namespace knotwork {
KW_KERNELS_BEGIN

inline constexpr int kMaxPieceOrder = 16;   // at most 16 poles in one piece
inline constexpr int kMaxPieceValues = 64;  // (dim + rational) x (deg + 1) of one piece
inline constexpr double kLargestDouble = 1.7976931348623157e308;

// A Bezier piece by reference. rows: (dim + rational) rows of deg + 1 values.
struct BezierPiece {
  int deg;
  int dim;
  bool rational;
  const double *rows;
  int row_count() const { return dim + (rational ? 1 : 0); }
};

// Cartesian point and first and second derivative of the piece at t (no range
// check): out holds 3 x dim values (point, first, second derivative). Weights must
// be non-zero at t.
void bezier_point_derivatives(const BezierPiece &piece, double t, double *out);

// Bernstein coefficients of a polynomial whose sign is the sign of
// (C(t) - P) . C'(t) on the piece (for a rational piece: the numerator of that
// function over w(t)^3, w > 0). Returns the number of coefficients written
// (2 deg for polynomial pieces, 3 deg for rational ones; at most 46).
int perpendicular_numerator(const BezierPiece &piece, const double *point, double *coef);
inline constexpr int kMaxNumeratorCoefficients = 3 * (kMaxPieceOrder - 1) + 1;

// The root of a Bernstein polynomial c[0 .. count - 1] with one sign change,
// negative before it, from the start s in (0, 1): safeguarded Newton steps on the
// polynomial until a step is below 1e-8 (the result is then at rounding, for a
// simple root), at most eight. For the numerators of 3-D pieces of degree 2-5
// (count 4, 6, 8, 9, 10, 12 or 15); any other count or a start outside (0, 1) is
// returned as it is.
double polish_numerator_root(const double *c, int count, double s);

// Nearest point of one piece (validated input: deg < 16, (dim + rational) (deg + 1)
// <= 64, positive weights). Searches only for points nearer than `bound` (pass
// kLargestDouble for no bound), pruning sub-pieces whose pole box lies farther than
// (bound + tw)^2 with tw = max(tol, 0.001). On success *dist is the exact distance
// |C(t) - P| and foot = C(t); when nothing nearer than the bound exists, *dist is the
// largest double and foot and t are not written. A nearest t strictly within 0.01 of
// an end becomes that end (t exactly 0 or 1, foot the end pole) when the end is less
// than tol / 2 farther. Returns 0 or -13 (sub-piece stack
// exhausted, which the width floor of the subdivision keeps from happening).
BSrc nearest_on_bezier(const BezierPiece &piece, const double *point, double tol, double bound,
                       double *dist, double *foot, double *t);

// Projection of a point on a (rational) segment as BSmdptbezln describes it:
// returns the squared distance, writes the foot point and the segment parameter.
double nearest_on_segment(int dim, bool rational, const double *segment, const double *point,
                          double tol, double *foot, double *s);

// Every parameter of the piece (in [0, 1], ascending, without duplicates closer
// than 1e-12) where (C(t) - P) . C'(t) changes sign or vanishes to rounding, and
// whether the distance is constant over the whole piece (an arc centred on P; then
// no roots are listed). At most max_roots roots are written; returns the number
// found (which may exceed max_roots: the caller then asks again with more room).
int perpendicular_roots(const BezierPiece &piece, const double *point, double *roots, int max_roots,
                        bool *constant_distance);

// The Bezier pieces of a spline: count blocks of (dim + rational) rows of deg + 1
// values (block j at j * block()), the count + 1 parameter breaks and the packed
// pole box of every piece.
//
// A lazy set converts a piece to Bezier form only when it is first asked for
// (ready() / convert()): until then only the box of the piece's span poles is
// known. Those deg + 1 B-spline poles bound the span just as its Bezier poles do
// (the Bezier poles are convex combinations of them), so the span box is a sound,
// slightly looser, lower bound for the distance to the piece.
inline constexpr int32_t kPieceTreeMinimum = 32;  // pieces from which a set can be lazy
inline constexpr int32_t kPiecesPerLeaf = 4;      // pieces under one leaf of its box tree
struct PieceSet {
  int deg = 0;
  int dim = 0;
  bool rational = false;
  int32_t count = 0;
  double *rows = nullptr;
  double *breaks = nullptr;
  double *boxes = nullptr;  // pole box of piece j (of a lazy set: once converted)
  // Box tree over the pieces of a lazy set (null otherwise): node 1 is the root,
  // node i has children 2i and 2i+1, and node leaf_base + g (leaf_base the power
  // of two from the group count up) is the leaf of the group g of pieces
  // [g kPiecesPerLeaf, (g + 1) kPiecesPerLeaf); 2 dim doubles per node. A leaf
  // holds the box of its pieces' span poles until all of them are converted,
  // then the union of their pole boxes; leaves past the last group hold an empty
  // box.
  double *tree = nullptr;
  int32_t leaf_base = 0;
  // Lazy sets only (null for a set converted at once): per piece, its state (kNoBox,
  // kSpanBox: boxes holds the box of its span's poles, kConverted: its Bezier rows
  // and their pole box are written); its span index; and the spline the pieces
  // come from.
  static constexpr uint8_t kNoBox = 0, kSpanBox = 1, kConverted = 2;
  uint8_t *converted = nullptr;
  uint8_t *group_done = nullptr;  // converted pieces of every leaf's group
  int32_t *spans = nullptr;
  int32_t src_n = 0;
  const double *src_rows = nullptr;
  const double *src_knots = nullptr;

  int block() const { return (dim + (rational ? 1 : 0)) * (deg + 1); }
  BezierPiece piece(int32_t j) const {
    return {deg, dim, rational, rows + static_cast<std::ptrdiff_t>(j) * block()};
  }
  bool ready(int32_t j) const { return converted == nullptr || converted[j] == kConverted; }
  // Writes the Bezier rows and the pole box of piece j of a lazy set (tightening
  // the box tree once its whole group is converted).
  void convert(int32_t j);
  // Squared distance from a point to the pole box of piece j, or, while it is not
  // converted, to the box of its span's poles (0 inside; found once, then kept).
  double bound_distance_sq(int32_t j, const double *point);
};

// The Bezier pieces of a spline in coordinate-major rows (validated: n > deg >= 1),
// with their breaks and pole boxes, in scratch memory (a local buffer for small
// curves) that lives as long as the object. With lazy set, splines of at least
// kPieceTreeMinimum pieces get a lazy set with a box tree over the span boxes (the
// rows and knots must then outlive the object); all others are converted at once.
class SplinePieces {
 public:
  // Statuses: 0, 33 (scratch).
  BSrc build(int deg, int32_t n, int dim, bool rational, const double *rows, const double *knots,
             bool lazy = false);
  PieceSet set;
  double *box_distances = nullptr;  // set.count doubles of workspace

 private:
  BasicScratchBuffer<8 * 1000> buf_;
};

// Nearest points of a spline in coordinate-major rows (validated: 0 <= deg < 16,
// n > deg, dim >= 1, (dim + rational) (deg + 1) <= 64) to num_points points of dim doubles, each
// search bounded by the previous point's foot. Results of points before a failure stay written.
// Statuses: 0, 33 (scratch), -13 (sub-piece stack), -2 (a point not finite or
// beyond 1e150: nothing is written).
BSrc nearest_on_spline_rows(int deg, int32_t n, int dim, bool rational, const double *rows,
                            const double *knots, int32_t num_points, const double *points,
                            double tol, double *dists, double *feet, double *params);

// True when every coordinate of n query points of dim doubles is finite and small
// enough (|x| <= 1e150) for squared distances to stay representable.
bool query_points_ok(int32_t n, int dim, const double *points);
bool poles_bounded(int32_t n, const double *poles, const double *weights);

// Point (and d <= 2 derivatives: out holds d + 1 triples) of a curve record at u.
BSrc evaluate_curve_at(const BScurve &cv, double u, int d, double *out);

// Every perpendicular foot parameter (ascending) and every perpendicular interval
// of a validated curve record (order <= 16), in result memory (null when empty).
// Statuses: 0, 33 (scratch or result memory), -2 (point not finite or beyond 1e150).
BSrc perpendicular_feet(const BScurve &cv, const double *point, int32_t *num_params,
                        double **params, int32_t *num_intervals, double **intervals);

// Root of f in [a, b] from start (BSqnwt2): secant steps kept inside the interval
// (wrapped by the period when periodic), safeguarded by bisection once a sign change
// is bracketed. Converged when |f| <= f_tol and the last step is below par_tol, when f
// vanishes, or when the bracket is narrower than par_tol (with |f| <= f_tol).
// *iterations is max_iter when it did not converge. Failures of f are passed on.
BSrc scalar_root(BSqnwt2_function f, void *ctx, double a, double b, double start, bool periodic,
                 double f_tol, double par_tol, int32_t max_iter, double *root, int32_t *iterations);

// Squared distance from a point to the pole box of a piece (0 inside), the poles
// divided by their weights when rational.
double piece_box_distance_sq(const BezierPiece &piece, const double *point);

// The nearest points of a validated curve record (order <= 16) to num_points
// points, each searched alone over the spans. Statuses: 0, -2 (a point not finite
// or beyond 1e150, a pole or weight unusable), -13 (sub-piece stack).
BSrc nearest_points(const BScurve &cv, int32_t num_points, const double *points, double *params,
                    double *feet, double *dists);

// Curve parameter of local parameter t of a piece over [a, b], with the foot point
// and distance re-taken at the local parameter that the rounded curve parameter
// names, so that the foot is the curve point at the returned parameter.
inline double settle_parameter(const BezierPiece &pc, double a, double b, double t,
                               const double *point, double *foot, double *dist) {
  if (t <= 0.0) return a;
  if (t >= 1.0) return b;
  const double u = std::clamp(a + (b - a) * t, a, b);
  const double ts = std::clamp((u - a) / (b - a), 0.0, 1.0);
  if (ts == t || ts <= 0.0 || ts >= 1.0) return u;
  double e[3 * kMaxPieceValues];
  bezier_point_derivatives(pc, ts, e);
  double d2 = 0.0;
  for (int d = 0; d < pc.dim; ++d) {
    foot[d] = e[d];
    d2 += (e[d] - point[d]) * (e[d] - point[d]);
  }
  *dist = std::sqrt(d2);
  return u;
}

KW_KERNELS_END

// nearest_points() of the AVX2 build (defined when the library has one), and
// whether to take it: true when the library has it and the processor runs it.
namespace avx2 {
BSrc nearest_points(const BScurve &cv, int32_t num_points, const double *points, double *params,
                    double *feet, double *dists);
}  // namespace avx2
bool use_avx2_kernels();

}  // namespace knotwork

#endif  // KNOTWORK_QUERY_PROJECT_HPP
