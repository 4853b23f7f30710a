// Internal workers of the vector family shared by its source files (and by the
// lines and planes): normalisation, projection onto a line, orthonormal bases and
// the classification of point sets.
#ifndef KNOTWORK_VECTOR_VECTOR_HPP
#define KNOTWORK_VECTOR_VECTOR_HPP

#ifndef KNOTWORK_INTERNAL
#error "vector.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>

#include "knotwork.h"

namespace knotwork {

// Squared length at or below which a vector cannot be normalised (2^-970).
inline constexpr double kTinySquaredLength = 1.0020841800044864e-292;

// Normalises v in place; false (v unchanged) when its squared length is tiny.
bool normalise(double *v);

// Foot of point on the line through start and end. False (out = start) when the
// squared distance of the line points is below zero_tol.
bool project_on_line(const double *point, const double *start, const double *end, double *out);

// Right-handed orthonormal basis whose first vector is the direction of v; false
// when v cannot be normalised.
bool basis_from_vector(const double *v, double *e1, double *e2, double *e3);

// Point-set classes of classify_points.
inline constexpr int32_t kClassPoint = 0;
inline constexpr int32_t kClassLine = 1;
inline constexpr int32_t kClassPlane = -1;
inline constexpr int32_t kClassSpace = -7;

// Classifies n unweighted points (n >= 1) by the singular values of the centred
// set against tol: point, line, plane or space. centroid may be null; direction
// (3 doubles) receives the line direction or the plane normal for those classes
// and is not written otherwise. Status 33, -4.
BSrc classify_points(int32_t n, const double *points, double tol, int32_t *cls, double *centroid,
                     double *direction);

// Weight check and classification with tol = dist_tol: weights (may be null) are
// checked (status 49) and divided out into scratch memory (status 33).
BSrc classify_weighted_points(int32_t n, const double *points, const double *weights, int32_t *cls,
                              double *direction);

// Code reported to callers: 1 point, 2 line, 3 plane, 4 space.
int32_t class_code(int32_t cls);

}  // namespace knotwork

#endif
