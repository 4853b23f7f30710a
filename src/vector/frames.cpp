// Orthonormal bases and local frames, the rigid motion between two frames, and
// points and poles carried into a frame and back.
#include <cmath>

#include "frame/frame.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {

bool basis_from_vector(const double *v, double *e1, double *e2, double *e3) {
  double u[3];
  v3::copy(v, u);
  if (!normalise(u)) return false;
  constexpr double eps = 1e-15;
  const auto zero = [](double x) { return std::fabs(x) < eps; };
  const auto set = [](double *e, double x, double y, double z) {
    e[0] = x;
    e[1] = y;
    e[2] = z;
  };
  if (zero(u[1]) && zero(u[2])) {
    if (u[0] > 0)
      set(e1, 1, 0, 0), set(e2, 0, 1, 0), set(e3, 0, 0, 1);
    else
      set(e1, -1, 0, 0), set(e2, 0, 0, 1), set(e3, 0, 1, 0);
    return true;
  }
  if (zero(u[0]) && zero(u[2])) {
    if (u[1] > 0)
      set(e1, 0, 1, 0), set(e2, 0, 0, 1), set(e3, 1, 0, 0);
    else
      set(e1, 0, -1, 0), set(e2, 1, 0, 0), set(e3, 0, 0, 1);
    return true;
  }
  if (zero(u[0]) && zero(u[1])) {
    if (u[2] > 0)
      set(e1, 0, 0, 1), set(e2, 1, 0, 0), set(e3, 0, 1, 0);
    else
      set(e1, 0, 0, -1), set(e2, 0, 1, 0), set(e3, 1, 0, 0);
    return true;
  }
  const double a = std::fabs(u[0]), b = std::fabs(u[1]), c = std::fabs(u[2]);
  int k, L, S;  // smallest, largest and third component
  if (a >= b - eps) {
    if (c >= b - eps) {
      k = 1;
      if (c >= a - eps)
        L = 2, S = 0;
      else
        L = 0, S = 2;
    } else {
      k = 2, L = 0, S = 1;
    }
  } else if (b >= c - eps) {
    if (a >= c - eps)
      k = 2, L = 1, S = 0;
    else
      k = 0, L = 1, S = 2;
  } else {
    k = 0, L = 2, S = 1;
  }
  const double r = std::sqrt(u[L] * u[L] + u[S] * u[S]);
  v3::copy(u, e1);
  e2[k] = 0.0;
  e2[S] = u[L] / r;
  e2[L] = -u[S] / r;
  v3::cross(e1, e2, e3);
  return true;
}

// Orthonormal frame from three points: x along p0 p1, z normal to the plane of
// the points (negated for a left-handed frame), y = z x x. Status -1 for
// collinear points; the classification may report 33.
BSrc frame_from_points(const double *p0, const double *p1, const double *p2, bool right_handed,
                       double *frame) {
  double pts[9];
  v3::copy(p0, pts);
  v3::copy(p1, pts + 3);
  v3::copy(p2, pts + 6);
  int32_t cls = kClassSpace;
  double dir[3];
  const BSrc rc = classify_points(3, pts, tol().dist_tol, &cls, nullptr, dir);
  if (rc != BSSUCC) return rc;
  if (cls == kClassPoint || cls == kClassLine) return BSFAIL;
  double *x = frame, *y = frame + 3, *z = frame + 6, w[3];
  v3::sub(p1, p0, x);
  normalise(x);
  v3::sub(p2, p0, w);
  v3::cross(x, w, z);
  normalise(z);
  v3::cross(z, x, y);
  if (!right_handed) v3::scale(z, -1.0, z);
  return BSSUCC;
}

namespace {

// q = scale * F (p - origin) and its inverse p = F^T q / scale + origin.
void into_frame(const double *origin, const double *f, double scale, const double *p, double *q) {
  double d[3];
  v3::sub(p, origin, d);
  const double x = v3::dot(f, d), y = v3::dot(f + 3, d), z = v3::dot(f + 6, d);
  q[0] = scale * x;
  q[1] = scale * y;
  q[2] = scale * z;
}
void out_of_frame(const double *origin, const double *f, double scale, const double *q, double *p) {
  double r[3];
  for (int k = 0; k < 3; ++k) r[k] = (f[k] * q[0] + f[3 + k] * q[1] + f[6 + k] * q[2]) / scale;
  v3::add(r, origin, p);
}

using FrameMap = void (*)(const double *, const double *, double, const double *, double *);

void map_poles(FrameMap map, const double *origin, const double *f, double scale, int32_t n,
               bool rational, const double *points, const double *weights, double *out) {
  for (int32_t i = 0; i < n; ++i) {
    if (rational && weights != nullptr) {
      double p[3], q[3];
      const double w = weights[i];
      v3::scale(points + 3 * i, 1.0 / w, p);
      map(origin, f, scale, p, q);
      v3::scale(q, w, out + 3 * i);
    } else {
      map(origin, f, scale, points + 3 * i, out + 3 * i);
    }
  }
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API BSboolean BSbasisvect(BSrc *rc, const double *v, double *e1, double *e2,
                                        double *e3) {
  KW_EPILOGUE(rc);
  if (!basis_from_vector(v, e1, e2, e3)) {
    *rc = BSDEGEN;
    return KW_FINISH(FALSE);
  }
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSlocalcord(BSrc *rc, const double *p0, const double *p1,
                                        const double *p2, const BSboolean *right_handed,
                                        double *frame) {
  KW_EPILOGUE(rc);
  *rc = frame_from_points(p0, p1, p2, *right_handed != 0, frame);
  return KW_FINISH(*rc == BSSUCC ? TRUE : FALSE);
}

extern "C" KW_API void BStrans2(const double *v, BSboolean right_handed, double *frame, BSrc *rc) {
  KW_EPILOGUE(rc);
  double e1[3], e2[3], e3[3];
  if (!basis_from_vector(v, e1, e2, e3)) {
    *rc = BSDEGEN;
    return;
  }
  const double origin[3] = {0.0, 0.0, 0.0};
  *rc = frame_from_points(origin, e2, e3, right_handed != 0, frame);
}

extern "C" KW_API BSboolean BStrans1(BSrc *rc, const double *point_a, const double *vector_a,
                                     const double *point_b, const double *vector_b,
                                     double *translation, double *rotation, double *scale) {
  KW_EPILOGUE(rc);
  for (int i = 0; i < 3; ++i) translation[i] = 0.0;
  for (int i = 0; i < 9; ++i) rotation[i] = 0.0;
  double ma[9], mb[9];
  if (!basis_from_vector(vector_a, ma, ma + 3, ma + 6) ||
      !basis_from_vector(vector_b, mb, mb + 3, mb + 6)) {
    *rc = BSNOMEMORY;
    return KW_FINISH(FALSE);
  }
  // rotation = MB^T MA, so that rotation a_k = b_k.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0.0;
      for (int k = 0; k < 3; ++k) s += mb[k * 3 + i] * ma[k * 3 + j];
      rotation[i * 3 + j] = s;
    }
  for (int i = 0; i < 3; ++i) {
    double s = 0.0;
    for (int k = 0; k < 3; ++k) s += rotation[k * 3 + i] * point_b[k];
    translation[i] = point_a[i] - s;
  }
  *scale = 1.0;
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSptoldtnw(BSrc *rc, const double *origin, const double *frame,
                                       const double *scale, const double *point, double *out) {
  KW_EPILOGUE(rc);
  into_frame(origin, frame, *scale, point, out);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSptnwtold(BSrc *rc, const double *origin, const double *frame,
                                       const double *scale, const double *point, double *out) {
  KW_EPILOGUE(rc);
  if (*scale == 0.0) {
    *rc = BSDIVZERO;
    return KW_FINISH(FALSE);
  }
  out_of_frame(origin, frame, *scale, point, out);
  return KW_FINISH(TRUE);
}

extern "C" KW_API void BSptsoldtnw(const double *origin, const double *frame, double scale,
                                   int32_t n, BSboolean rational, const double *points,
                                   const double *weights, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  map_poles(into_frame, origin, frame, scale, n, rational != 0, points, weights, out);
}

extern "C" KW_API void BSptsnwtold(const double *origin, const double *frame, double scale,
                                   int32_t n, BSboolean rational, const double *points,
                                   const double *weights, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (scale == 0.0) {
    *rc = BSDIVZERO;
    return;
  }
  map_poles(out_of_frame, origin, frame, scale, n, rational != 0, points, weights, out);
}
