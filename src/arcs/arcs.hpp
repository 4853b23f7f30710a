// Internal workers of the arcs family: exact circles and circular arcs as
// quadratic rational B-splines, and the map between an angle on such an arc and
// its curve parameter.
#ifndef KNOTWORK_ARCS_ARCS_HPP
#define KNOTWORK_ARCS_ARCS_HPP

#ifndef KNOTWORK_INTERNAL
#error "arcs.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>

#include "knotwork.h"

namespace knotwork {

inline constexpr double kTwoPi = 6.283185307179586;

// Number of pieces of at most 120 degrees of an arc of sweep theta (radians, > 0).
inline int arc_piece_count(double theta) {
  return theta <= 2.0943951023932175 ? 1 : theta <= 4.188790204786413 ? 2 : 3;
}

// A circle or arc ready to be copied into a caller's record: at most three
// quadratic pieces, poles stored weighted.
struct ArcPoles {
  int32_t num_poles = 0;
  double poles[21];
  double weights[7];
  double knots[10];
  double sweep = 0.0;  // radians, (0, 2 pi]
  bool closed = false;
};

// Full circle of radius r about c in the orthonormal frame (u, v): three pieces of
// 120 degrees on the equilateral control triangle (validated input).
void circle_poles(const double *c, double r, const double *u, const double *v, ArcPoles &out);

// The arc from s about c to e (e moved radially onto the circle through s),
// counterclockwise about normal. unit_normal receives the normal used (normalised,
// made exactly perpendicular to s - c). Statuses: -2 coincident points, a normal
// that is zero, parallel to s - c or not normal to the plane of the points; -5 a
// sweep too small to give a middle pole off the chord.
BSrc arc_poles(const double *s, const double *c, const double *e, const double *normal,
               ArcPoles &out, double *unit_normal);

// Writes an arc or circle into the record (arrays checked by the caller).
void store_arc(const ArcPoles &arc, BScurve &curve);

// Centre, radius and unit normal (p3 - p2) x (p1 - p2) of the circle through three
// points. -2 when the points coincide or are collinear.
BSrc circle_through(const double *p1, const double *p2, const double *p3, double *centre,
                    double *radius, double *normal);

// Parameter in [0, 1] of the point at angle on an arc of sweep arc_angle built by
// arc_poles (negative sweeps run clockwise). -2 for a sweep of no size.
BSrc angle_to_parameter(double arc_angle, double angle, double *u);

// Length of a curve between u0 < u1 in its domain (trusted record) to the absolute
// tolerance tol; 0 when u1 <= u0. -2 for an order above 64, 49 for a weight <= 0.
BSrc curve_length(const BScurve &cv, double u0, double u1, double tol, double *length);

}  // namespace knotwork

#endif  // KNOTWORK_ARCS_ARCS_HPP
