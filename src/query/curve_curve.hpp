// Curve-curve intersection kernels: Bezier pieces of single spans, the Newton
// iteration to a common point, the closest points of two pieces, end
// coincidences and overlaps of two pieces, the intersection of two pieces by
// subdivision, and the store of raw results of a whole-curve intersection.
//
// A piece is one span of a curve in Bezier form over the local parameter t in
// [0, 1] (coordinate-major rows as in project.hpp: 3 rows of k values, weighted
// when rational, then the weights), with the curve parameters u0, u1 of its ends.
#ifndef KNOTWORK_QUERY_CURVE_CURVE_HPP
#define KNOTWORK_QUERY_CURVE_CURVE_HPP

#ifndef KNOTWORK_INTERNAL
#error "curve_curve.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>

#include "frame/frame.hpp"
#include "query/project.hpp"

namespace knotwork {

// Curve and span classes: a point, a straight segment, anything else.
inline constexpr int kClassPoint = 1, kClassLine = 2, kClassGeneral = 3;

struct CcPiece {
  int k;
  bool rational;
  double rows[kMaxPieceValues];
  double u0, u1;
  double box[6];  // pole box (divided by weights): minima, then maxima
  int cls;
  BezierPiece view() const { return {k - 1, 3, rational, rows}; }
  double curve_param(double t) const { return u0 + t * (u1 - u0); }
  // Cartesian pole i.
  void pole(int i, double *out) const;
  // Point and first derivative (local t) into out[6].
  void eval1(double t, double *out) const;
  // Box and class from the rows (call after writing rows).
  void finish();
};

// Span s of a curve (validated record; order <= 16, non-empty span) as a piece.
// rows: the curve's coordinate-major pole rows (curve_pole_rows); work 2k + 2 doubles.
void piece_of_span(const BScurve &cv, const double *rows, int32_t s, double *work, CcPiece *out);
// A single-span record (order = num_poles, any end knots) as a piece.
void piece_of_record(const BScurve &cv, CcPiece *out);

// Class of a whole curve record: a point when BStstcvdegn finds it degenerate; a
// segment for order 2 with two poles; otherwise general. Fails with the status of
// that test (scratch memory, weights).
BSrc curve_class(const BScurve &cv, int *cls);

// One result of two pieces or curves: point, parameter on each.
struct CcHit {
  double p[3];
  double u1, u2;
  bool tangent;  // found at a (nearly) tangent contact
};

// Evaluator of one side of the Newton iteration: a piece over [0, 1] or a curve
// record over its domain.
struct CcSide {
  const CcPiece *piece = nullptr;
  const BScurve *curve = nullptr;
  bool closed = false;
  double lo = 0.0, hi = 1.0;
  BSrc eval(double u, int d, double *out) const;
};

// Newton iteration to a common point of two sides from (*u1, *u2): at most 10
// steps; converged when both steps fall below the parameter tolerances and the
// points lie within dist_tol. Only a converged iteration writes the parameters;
// mid receives the middle of the last two points. Statuses of evaluation.
BSrc newton_common_point(const CcSide &a, const CcSide &b, double ptol1, double ptol2, double *u1,
                         double *u2, double *mid, bool *converged);

// Derivatives of half the squared distance between C1(u1) and C2(u2): matrix
// (2 x 2, row-major) and the two gradient components.
BSrc distance_jacobian(const CcSide &a, const CcSide &b, double u1, double u2, double *mat,
                       double *g1, double *g2);

// Closest points of two pieces near (*t1, *t2) by damped Newton on the squared
// distance, parameters kept in [0, 1]; writes them and returns the distance.
double closest_points_of_pieces(const CcPiece &a, const CcPiece &b, double *t1, double *t2);

// Common part of the collinear segments a0-a1 and b0-b1 on a0-a1 (BSoverlap):
// false when they have none longer than fine_dist_tol.
bool collinear_overlap(const double *a0, const double *a1, const double *b0, const double *b1,
                       double *lo, double *hi);

// Results of two pieces: up to kMaxPieceHits points, or one overlap given as two
// hits (its ends, by ascending parameter on piece 1). Parameters are local.
inline constexpr int kMaxPieceHits = 256;
struct PieceHits {
  int count = 0;
  bool overlap = false;
  bool tangent = false;  // a nearly tangent crossing was met
  CcHit hit[kMaxPieceHits];
};

// Whether the pieces coincide between two common points given by local
// parameters (BSbzoverlap on two points of the pieces).
bool pieces_overlap_between(const CcPiece &a, const CcPiece &b, const CcHit &h0, const CcHit &h1);

// Every intersection of two pieces, or their overlap. Statuses: 0; BSFAIL when
// more than kMaxPieceHits distinct results appear; evaluation statuses.
BSrc intersect_pieces(const CcPiece &a, const CcPiece &b, PieceHits *out);

// Merge of end results and interior results (BScvcv_comb): interior results
// within the squared tolerance (x 1e6 when loose) of an end result are dropped;
// the rest merged by ascending parameter on piece 1. out holds ne + ni hits.
int combine_hits(int ne, const CcHit *ends, int ni, const CcHit *inner, bool loose, CcHit *out);

// ---- Raw results of a whole intersection (src/query/curve_curve.cpp) ----

// Growing stores of intersections (point, parameter on A, on B) and overlaps (two
// points, two parameters on A, two on B): local room for 100 of each, then result
// memory grown 100 entries at a time (status -13 when it cannot be had).
class RawResults {
 public:
  RawResults() = default;
  ~RawResults();
  RawResults(const RawResults &) = delete;
  RawResults &operator=(const RawResults &) = delete;
  BSrc add_point(const double *p, double u1, double u2);
  BSrc add_overlap(const double *p0, const double *p1, double u1a, double u1b, double u2a,
                   double u2b);
  int32_t num_points = 0, num_overlaps = 0;
  double *pts = pts_local_, *par1 = par1_local_, *par2 = par2_local_;
  double *opts = opts_local_, *opar1 = opar1_local_, *opar2 = opar2_local_;

 private:
  static constexpr int32_t kStep = 100;
  int32_t room_points_ = kStep, room_overlaps_ = kStep;
  double pts_local_[3 * kStep], par1_local_[kStep], par2_local_[kStep];
  double opts_local_[6 * kStep], opar1_local_[2 * kStep], opar2_local_[2 * kStep];
};

// Caller outputs of BScvcvint.
struct CcOutput {
  int32_t int_cap = 0, over_cap = 0;
  double *int_pts = nullptr, *int_par1 = nullptr, *int_par2 = nullptr;
  double *over_pts = nullptr, *over_par1 = nullptr, *over_par2 = nullptr;
  int32_t *num_int = nullptr, *num_over = nullptr;
  BSboolean *int_alloc = nullptr, *over_alloc = nullptr;
  double **a_int_pts = nullptr, **a_int_par1 = nullptr, **a_int_par2 = nullptr;
  double **a_over_pts = nullptr, **a_over_par1 = nullptr, **a_over_par2 = nullptr;
};

// Sorting, merging and output of raw results on curves a, b (results' first
// parameters on a); swap: the caller's first curve is b. Statuses 0, 33, -13.
BSrc sort_and_output(const BScurve &a, const BScurve &b, bool by_curve1, bool swap, int32_t ni,
                     const double *pts, const double *par1, const double *par2, int32_t no,
                     const double *opts, const double *opar1, const double *opar2,
                     const CcOutput &out);

// Record check of every routine here: the full record checks, order <= 16, and
// Cartesian poles within 1e150 so that squared distances stay finite.
BSrc check_intersection_curve(const BScurve *cv);
// The same for a single span: also num_poles == order.
BSrc check_span_record(const BScurve *cv);

// The whole intersection of two validated curves (order <= 16) into out.
BSrc intersect_curves(const BScurve &c1, const BScurve &c2, bool by_curve1, const CcOutput &out);

}  // namespace knotwork

#endif  // KNOTWORK_QUERY_CURVE_CURVE_HPP
