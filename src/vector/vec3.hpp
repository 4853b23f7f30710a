// Inline 3-vector arithmetic on plain double[3] arrays, shared by every family.
// The exported vector primitives are thin wrappers over these.
#ifndef KNOTWORK_VECTOR_VEC3_HPP
#define KNOTWORK_VECTOR_VEC3_HPP

#ifndef KNOTWORK_INTERNAL
#error "vec3.hpp is internal to the library"
#endif

#include <cmath>

namespace knotwork::v3 {

inline double dot(const double *a, const double *b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline void sub(const double *a, const double *b, double *out) {
  out[0] = a[0] - b[0];
  out[1] = a[1] - b[1];
  out[2] = a[2] - b[2];
}
inline void add(const double *a, const double *b, double *out) {
  out[0] = a[0] + b[0];
  out[1] = a[1] + b[1];
  out[2] = a[2] + b[2];
}
inline void scale(const double *a, double s, double *out) {
  out[0] = a[0] * s;
  out[1] = a[1] * s;
  out[2] = a[2] * s;
}
// out = a + s * b
inline void axpy(const double *a, double s, const double *b, double *out) {
  out[0] = a[0] + s * b[0];
  out[1] = a[1] + s * b[1];
  out[2] = a[2] + s * b[2];
}
inline void cross(const double *a, const double *b, double *out) {
  const double x = a[1] * b[2] - a[2] * b[1];
  const double y = a[2] * b[0] - a[0] * b[2];
  const double z = a[0] * b[1] - a[1] * b[0];
  out[0] = x;
  out[1] = y;
  out[2] = z;
}
inline double len_sq(const double *a) {
  return dot(a, a);
}
inline double len(const double *a) {
  return std::sqrt(dot(a, a));
}
inline double dist_sq(const double *a, const double *b) {
  const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
  return d0 * d0 + d1 * d1 + d2 * d2;
}
inline double dist(const double *a, const double *b) {
  return std::sqrt(dist_sq(a, b));
}
inline void copy(const double *a, double *out) {
  out[0] = a[0];
  out[1] = a[1];
  out[2] = a[2];
}

}  // namespace knotwork::v3

#endif
