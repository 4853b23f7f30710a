// Nearest points of Bezier pieces held in Legendre form, shared by the spline
// search (project_legendre.cpp) and the piece-level entries
// (project_legendre_piece.cpp).
#ifndef KNOTWORK_QUERY_PROJECT_LEGENDRE_HPP
#define KNOTWORK_QUERY_PROJECT_LEGENDRE_HPP

#ifndef KNOTWORK_INTERNAL
#error "project_legendre.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstddef>

#include "query/project.hpp"

namespace knotwork {

// One piece in two forms: Bezier rows on t in [0, 1] (bez) and the same rows as
// Legendre series on x = 2t - 1 in [-1, 1] (lgd). Each holds (dim + rational) rows
// of deg + 1 values: the (weighted) coordinates, then the weights when rational.
struct LegendrePiece {
  int deg = 0;
  int dim = 0;
  bool rational = false;
  const double *bez = nullptr;
  const double *lgd = nullptr;
  int rows() const { return dim + (rational ? 1 : 0); }
  int values() const { return rows() * (deg + 1); }
  BezierPiece bezier() const { return {deg, dim, rational, bez}; }
};

// Series are truncated at tol times this when deciding that a piece is straight.
inline constexpr double kLegendreTruncation = 0.0078125;
// Workspace of one piece search, in doubles.
inline constexpr int kLegendreNodeValues = kMaxPieceValues + kMaxNumeratorCoefficients + 2;
inline constexpr int kLegendreNodeStack = 128;
inline constexpr std::size_t kLegendreWorkDoubles =
    static_cast<std::size_t>(kLegendreNodeStack) * kLegendreNodeValues;

// Cartesian point of the piece at t in [0, 1] (dim doubles; the end poles exactly
// at t = 0 and 1).
void legendre_piece_point(const LegendrePiece &f, double t, double *c);

// Nearest point of the piece to p (dim doubles) strictly nearer than bound (a
// distance; kLargestDouble when none is known): 0 with *dist, *t in [0, 1] and foot
// = C(t), or -12 when no point is nearer (outputs untouched). work:
// kLegendreWorkDoubles doubles. Validated input (positive weights).
BSrc nearest_on_legendre_piece(const LegendrePiece &f, const double *p, double tol, double bound,
                               double *work, double *dist, double *t, double *foot);

// End-point pass: the nearer end of the piece (t = 0 on ties) replaces the result
// when less than tol / 2 farther than it, or, when found is false, when nearer than
// bound. Returns whether a result stands (then *dist, *t, foot hold it).
bool prefer_piece_end(const LegendrePiece &f, const double *p, double tol, double bound, bool found,
                      double *dist, double *t, double *foot);

// Whether every row of l (rows rows of deg + 1 Legendre coefficients) truncates
// to degree at most 1 at ttol.
bool legendre_rows_straight(int deg, int rows, const double *l, double ttol);

// Nearest point of a straight piece: the foot on its chord, polished by Newton's
// method on the piece, against both ends (nearest first; t = 0 on ties).
void nearest_on_straight_piece(const LegendrePiece &f, const double *p, double *dist, double *t,
                               double *foot);

}  // namespace knotwork

#endif  // KNOTWORK_QUERY_PROJECT_LEGENDRE_HPP
