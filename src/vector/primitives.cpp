// Elementary operations on points and vectors: products, lengths, distances,
// normalisation, projection onto lines, angles, positions on segments, rotation
// about an axis and polygon length.
#include <cmath>

#include "frame/frame.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {

bool normalise(double *v) {
  const double s = v3::len_sq(v);
  if (s <= kTinySquaredLength) return false;
  if (std::isfinite(s)) {
    const double l = std::sqrt(s);
    v[0] /= l;
    v[1] /= l;
    v[2] /= l;
    return true;
  }
  // The squared length overflowed (or a component is not finite): scale by the
  // largest component first, as hypot does.
  if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) return false;
  const double m = std::fmax(std::fabs(v[0]), std::fmax(std::fabs(v[1]), std::fabs(v[2])));
  double w[3] = {v[0] / m, v[1] / m, v[2] / m};
  const double l = v3::len(w);
  v[0] = w[0] / l;
  v[1] = w[1] / l;
  v[2] = w[2] / l;
  return true;
}

bool project_on_line(const double *point, const double *start, const double *end, double *out) {
  double d[3], w[3];
  v3::sub(end, start, d);
  v3::sub(point, start, w);
  const double dd = v3::dot(d, d);
  if (dd >= tol().zero_tol) {
    v3::axpy(start, v3::dot(w, d) / dd, d, out);
    return true;
  }
  v3::copy(start, out);
  return false;
}

namespace {

// Position of point relative to the segment p0 p1 (where: 0 off the segment, 1
// at an end point, 2 inside with param in (0, 1)); param untouched when where is
// 0. Status -6 for a degenerate segment.
BSrc locate_on_segment(const double *p0, const double *p1, const double *point, int32_t *where,
                       double *param) {
  double d[3];
  v3::sub(p1, p0, d);
  const double zt = tol().zero_tol;
  if (v3::len_sq(d) <= zt * zt) return BSDEGEN;
  const double sq = tol().dist_sqtol;
  if (v3::dist_sq(point, p0) < sq) {
    *where = 1;
    *param = 0.0;
  } else if (v3::dist_sq(point, p1) < sq) {
    *where = 1;
    *param = 1.0;
  } else {
    double f[3], a[3], b[3];
    project_on_line(point, p0, p1, f);
    *where = 0;
    v3::sub(f, p0, a);
    v3::sub(p1, f, b);
    if (v3::dot(a, b) > 0.0 && v3::dist_sq(point, f) < sq) {
      *where = 2;
      *param = v3::len(a) / v3::len(d);
    }
  }
  return BSSUCC;
}

BSboolean point_on_segment(BSrc *rc, const double *p0, const double *p1, const double *point,
                           double *param, BSboolean *on, bool ends_count) {
  int32_t where = 0;
  *rc = locate_on_segment(p0, p1, point, &where, param);
  if (*rc != BSSUCC) {
    *rc = BSFAIL;
    return FALSE;
  }
  *on = (where == 2 || (ends_count && where == 1)) ? TRUE : FALSE;
  return TRUE;
}

// Cosine and sine of the last rotation angle, reused for a repeated angle.
struct RotationCache {
  double angle = 4.7e13;  // no caller passes this angle
  double c = 0.0, s = 0.0;
};
RotationCache g_rotation;

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API double BSdotp(BSrc *rc, const double *a, const double *b) {
  *rc = BSSUCC;
  return v3::dot(a, b);
}

extern "C" KW_API BSboolean BScrossp(BSrc *rc, const double *a, const double *b, double *out) {
  *rc = BSSUCC;
  v3::cross(a, b, out);
  return TRUE;
}

extern "C" KW_API double BSlenvec(BSrc *rc, const double *v) {
  *rc = BSSUCC;
  return v3::len(v);
}

extern "C" KW_API double BSlenvecsq(BSrc *rc, const double *v) {
  *rc = BSSUCC;
  return v3::len_sq(v);
}

extern "C" KW_API BSboolean BSmkvec(BSrc *rc, double *out, const double *from, const double *to) {
  *rc = BSSUCC;
  v3::sub(to, from, out);
  return TRUE;
}

extern "C" KW_API double BSdistptpt(BSrc *rc, const double *p, const double *q) {
  *rc = BSSUCC;
  return v3::dist(p, q);
}

extern "C" KW_API double BSdistptpts(BSrc *rc, const double *p, const double *q) {
  *rc = BSSUCC;
  return v3::dist_sq(p, q);
}

extern "C" KW_API double BSdistwpwps(BSrc *rc, const double *p, const double *wp, const double *q,
                                     const double *wq) {
  *rc = BSSUCC;
  double a[3], b[3];
  v3::scale(p, 1.0 / *wp, a);
  v3::scale(q, 1.0 / *wq, b);
  return v3::dist_sq(a, b);
}

extern "C" KW_API double BSdistwpwp(BSrc *rc, const double *p, const double *wp, const double *q,
                                    const double *wq) {
  return std::sqrt(BSdistwpwps(rc, p, wp, q, wq));
}

extern "C" KW_API BSboolean BSdistptpl(BSrc *rc, const double *point, const double *plane_point,
                                       const double *normal, double *dist) {
  KW_EPILOGUE(rc);
  double w[3];
  v3::sub(point, plane_point, w);
  *dist = std::fabs(v3::dot(w, normal));
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSproj1(BSrc *rc, const double *line_point, const double *direction,
                                    const double *point, double *out) {
  KW_EPILOGUE(rc);
  double w[3];
  v3::sub(point, line_point, w);
  v3::axpy(line_point, v3::dot(w, direction), direction, out);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSdistnct2(BSrc *rc, const double *p, const double *q) {
  KW_EPILOGUE(rc);
  return KW_FINISH(v3::dist_sq(p, q) > tol().dist_sqtol ? TRUE : FALSE);
}

extern "C" KW_API BSboolean BSnorvec(BSrc *rc, double *v) {
  KW_EPILOGUE(rc);
  if (!normalise(v)) {
    *rc = BSDEGEN;
    return KW_FINISH(FALSE);
  }
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSproj0(BSrc *rc, const double *point, const double *line,
                                    double *out) {
  KW_EPILOGUE(rc);
  if (!project_on_line(point, line, line + 3, out)) {
    *rc = BSDEGENLINE;
    return KW_FINISH(FALSE);
  }
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSdistptli(BSrc *rc, const double *point, const double *p0,
                                       const double *p1, double *dist) {
  KW_EPILOGUE(rc);
  double d[3], w[3], c[3];
  v3::sub(p1, p0, d);
  const double l = v3::len(d);
  if (l < tol().dist_tol) {
    *rc = 8;
    return KW_FINISH(FALSE);
  }
  v3::sub(point, p0, w);
  v3::cross(w, d, c);
  *dist = v3::len(c) / l;
  return KW_FINISH(TRUE);
}

extern "C" KW_API void BSang2vec(const double *a, const double *b, const double *ref, double *angle,
                                 BSrc *rc) {
  *rc = BSSUCC;
  double c[3];
  v3::cross(a, b, c);
  const double phi = std::atan2(v3::len(c), v3::dot(a, b));
  *angle = v3::dot(ref, c) >= 0.0 ? phi : 6.283185307179586 - phi;
}

extern "C" KW_API void BSprptonln(const double *p0, const double *p1, const double *point,
                                  int32_t *where, double *param, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = locate_on_segment(p0, p1, point, where, param);
}

extern "C" KW_API BSboolean BSpt_on_lne(BSrc *rc, const double *p0, const double *p1,
                                        const double *point, double *param, BSboolean *on) {
  KW_EPILOGUE(rc);
  return KW_FINISH(point_on_segment(rc, p0, p1, point, param, on, true));
}

extern "C" KW_API BSboolean BSpt_on_ln2(BSrc *rc, const double *p0, const double *p1,
                                        const double *point, double *param, BSboolean *on) {
  KW_EPILOGUE(rc);
  return KW_FINISH(point_on_segment(rc, p0, p1, point, param, on, false));
}

extern "C" KW_API BSboolean BSroto(BSrc *rc, const double *a0, const double *a1,
                                   const BSboolean *reverse, const double *angle,
                                   const double *point, double *out) {
  KW_EPILOGUE(rc);
  double f[3], u[3], r[3], w[3];
  if (!project_on_line(point, a0, a1, f)) {
    *rc = BSDEGENLINE;
    return KW_FINISH(FALSE);
  }
  if (*reverse)
    v3::sub(a0, a1, u);
  else
    v3::sub(a1, a0, u);
  if (!normalise(u)) {
    *rc = BSDEGEN;
    return KW_FINISH(FALSE);
  }
  if (*angle != g_rotation.angle) {
    g_rotation.angle = *angle;
    g_rotation.c = std::cos(*angle);
    g_rotation.s = std::sin(*angle);
  }
  v3::sub(point, f, r);
  v3::cross(u, r, w);
  for (int k = 0; k < 3; ++k) out[k] = f[k] + g_rotation.c * r[k] + g_rotation.s * w[k];
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BScumdist(BSrc *rc, const int32_t *n, const double *points,
                                      const double *weights, double *length) {
  KW_EPILOGUE(rc);
  if (weights != nullptr) {
    for (int32_t i = 0; i < *n; ++i) {
      if (weights[i] == 0.0 || std::isnan(weights[i])) {
        *length = 0.0;
        *rc = BSDIVZERO;
        return KW_FINISH(FALSE);
      }
    }
  }
  double sum = 0.0, prev[3], cur[3];
  for (int32_t i = 0; i < *n; ++i) {
    v3::scale(points + 3 * i, weights != nullptr ? 1.0 / weights[i] : 1.0, cur);
    if (i > 0) sum += v3::dist(prev, cur);
    v3::copy(cur, prev);
  }
  *length = sum;
  return KW_FINISH(TRUE);
}
