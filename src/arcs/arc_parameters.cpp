// Angles and parameters on circular arcs built by the arc constructions: the
// parameter of the point at a given angle, the angle and parameter of a point
// given by its vector from the centre, and whether a point lies on an arc.
#include <cmath>

#include "arcs/arcs.hpp"
#include "frame/frame.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {

namespace {

constexpr double kAngleEps = 2.220446049250313e-15;

bool finite3(const double *p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

}  // namespace

BSrc angle_to_parameter(double arc_angle, double angle, double *u) {
  if (!std::isfinite(arc_angle) || !std::isfinite(angle)) return BSINARG;
  if (std::fabs(angle) < kAngleEps) {
    *u = 0.0;
    return BSSUCC;
  }
  if (std::fabs(arc_angle) < kAngleEps) return BSINARG;
  const double sweep = std::fabs(arc_angle) > kTwoPi ? kTwoPi : std::fabs(arc_angle);
  if (std::fabs(sweep - angle) < kAngleEps) {
    *u = 1.0;
    return BSSUCC;
  }
  double a = std::fmod(angle, kTwoPi);
  if (a < 0.0) a += kTwoPi;
  if (std::fabs(a) < kAngleEps) {
    *u = 0.0;
    return BSSUCC;
  }
  if (std::fabs(sweep - a) < kAngleEps) {
    *u = 1.0;
    return BSSUCC;
  }
  // A clockwise arc measures its angles clockwise from the start.
  if (arc_angle < 0.0) a = kTwoPi - a;
  // Angles beyond the end of the arc give its end.
  if (a >= sweep || sweep - a < kAngleEps) {
    *u = 1.0;
    return BSSUCC;
  }
  const int n = arc_piece_count(sweep);
  for (int k = 1; k < n; ++k)
    if (std::fabs(a - k * sweep / n) < kAngleEps) {
      *u = static_cast<double>(k) / n;
      return BSSUCC;
    }
  const double phi = sweep / n;
  int k = static_cast<int>(a / phi);
  if (k > n - 1) k = n - 1;
  const double alpha = a - k * phi;
  if (alpha < kAngleEps) {
    *u = static_cast<double>(k) / n;
    return BSSUCC;
  }
  // On a piece of angle phi with middle weight cos(phi/2) the tangent of the half
  // angle from the piece's middle is linear in the local parameter s:
  // tan((alpha - phi/2) / 2) = (2s - 1) tan(phi/4).
  double s = 0.5 * (std::tan(0.5 * (alpha - 0.5 * phi)) / std::tan(0.25 * phi) + 1.0);
  s = s < 0.0 ? 0.0 : s > 1.0 ? 1.0 : s;
  *u = (k + s) / n;
  return BSSUCC;
}

namespace {

// BSarcangpar on checked arguments.
BSrc arc_angle_parameter(const double *normal, const double *start, double arc_angle,
                         const double *vec, double *u, double *angle, int16_t *on_arc) {
  const double length = v3::len(vec);
  if (!(length > 0.0) || !(v3::len_sq(start) > 0.0) || !(v3::len_sq(normal) > 0.0)) return BSINARG;
  if (std::fabs(arc_angle) < kAngleEps) return BSINARG;
  const double tol_angle = tol().dist_tol / length;
  // Angles are measured in the sweep's direction: clockwise arcs about -normal.
  double ref[3];
  v3::scale(normal, arc_angle < 0.0 ? -1.0 : 1.0, ref);
  const double sweep = std::fmin(std::fabs(arc_angle), kTwoPi);
  double a = 0.0;
  BSrc rc = BSSUCC;
  BSang2vec(start, vec, ref, &a, &rc);
  if (a > kTwoPi - tol_angle) a = 0.0;
  const double sign = arc_angle < 0.0 ? -1.0 : 1.0;
  if (a > sweep + tol_angle) {
    *angle = sign * a;
    *on_arc = 0;
    return BSSUCC;
  }
  if (a > sweep) a = sweep;
  double par = 0.0;
  if (const BSrc st = angle_to_parameter(arc_angle, sign * a, &par); st != BSSUCC) return st;
  *u = par;
  *angle = sign * a;
  *on_arc = 1;
  return BSSUCC;
}

// BSptonarc on checked arguments: 0 off the arc, 1 on it, 2 at the start, 3 at the end.
BSrc point_on_arc(const double *c, const double *s, const double *e, const double *normal,
                  const double *t0, const double *t1, const double *p, int16_t *code) {
  const double dtol = tol().dist_tol, sq = tol().dist_sqtol;
  double n[3], pc[3], sc[3];
  v3::copy(normal, n);
  v3::sub(p, c, pc);
  v3::sub(s, c, sc);
  if (!normalise(n)) return BSINARG;
  if (std::fabs(v3::dot(pc, n)) > dtol) {
    *code = 0;
  } else if (v3::dist_sq(p, s) <= sq) {
    *code = 2;
  } else if (v3::dist_sq(p, e) <= sq) {
    *code = 3;
  } else {
    const double dr = v3::len(pc) - v3::len(sc);
    if (dr * dr > sq) {
      *code = 0;
    } else if (v3::dist_sq(s, e) < sq) {
      *code = 1;  // a full circle
    } else {
      double u0[3], u1[3], w[3];
      if (t0 != nullptr) {
        v3::copy(t0, u0);
        v3::copy(t1, u1);
      } else {
        v3::copy(sc, u0);
        v3::sub(e, c, u1);
      }
      v3::copy(pc, w);
      if (!normalise(u0) || !normalise(u1)) return BSINARG;
      if (!normalise(w)) {
        *code = 0;
        return BSSUCC;
      }
      double a[3], b[3], x[3];
      v3::cross(n, u0, a);
      v3::cross(u1, n, b);
      v3::cross(u0, u1, x);
      const bool long_arc =
          std::fabs(v3::dot(u0, u1) + 1.0) <= dtol || v3::dot(x, n) < 0.0;  // half or more
      const double da = v3::dot(w, a), db = v3::dot(w, b);
      const bool on = long_arc ? (da >= 0.0 || db >= 0.0) : (da > 0.0 && db > 0.0);
      *code = on ? 1 : 0;
    }
  }
  return BSSUCC;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSangarctou(double arc_angle, double angle, double *u, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (u == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  double par = 0.0;
  *rc = angle_to_parameter(arc_angle, angle, &par);
  if (*rc == BSSUCC) *u = par;
}

extern "C" KW_API void BSarcangpar(const double *normal, const double *start, double arc_angle,
                                   const double *vec, double *u, double *angle, int16_t *on_arc,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if (normal == nullptr || start == nullptr || vec == nullptr || u == nullptr || angle == nullptr ||
      on_arc == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!finite3(normal) || !finite3(start) || !finite3(vec) || !std::isfinite(arc_angle)) {
    *rc = BSINARG;
    return;
  }
  *rc = arc_angle_parameter(normal, start, arc_angle, vec, u, angle, on_arc);
}

extern "C" KW_API void BSptonarc(const double *centre, const double *start, const double *end,
                                 const double *normal, int16_t tangents,
                                 const double *start_tangent, const double *end_tangent,
                                 const double *point, int16_t *code, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (centre == nullptr || start == nullptr || end == nullptr || normal == nullptr ||
      point == nullptr || code == nullptr ||
      (tangents && (start_tangent == nullptr || end_tangent == nullptr))) {
    *rc = BSNULLPTR;
    return;
  }
  if (!finite3(centre) || !finite3(start) || !finite3(end) || !finite3(normal) || !finite3(point) ||
      (tangents && (!finite3(start_tangent) || !finite3(end_tangent)))) {
    *rc = BSINARG;
    return;
  }
  int16_t result = 0;
  *rc = point_on_arc(centre, start, end, normal, tangents ? start_tangent : nullptr,
                     tangents ? end_tangent : nullptr, point, &result);
  if (*rc == BSSUCC) *code = result;
}
