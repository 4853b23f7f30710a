// End conditions of a fit: the tangent estimated from three points by the circle
// through them, and the pole next to an end from the end condition.
#include <algorithm>
#include <cmath>

#include "arcs/arcs.hpp"
#include "fit/fit.hpp"
#include "frame/frame.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {

BSrc estimate_end_tangent(bool at_end, const double *a, const double *b, const double *c,
                          double *tangent) {
  double chord[3];
  if (at_end) {
    v3::sub(c, b, chord);
  } else {
    v3::sub(b, a, chord);
  }
  if (!normalise(chord)) return BSINARG;
  // The tangent at an end point is perpendicular to its radius within the plane of
  // the circle through the three points; collinear points give the chord.
  double o[3], radius = 0.0, normal[3], r[3], dir[3];
  const BSrc rc = circle_through(a, b, c, o, &radius, normal);
  if (rc != BSSUCC && rc != BSINARG) return rc;
  if (rc == BSSUCC) {
    v3::sub(at_end ? c : a, o, r);
    v3::cross(r, normal, dir);
  }
  if (rc != BSSUCC || !normalise(dir)) {
    v3::copy(chord, tangent);
    return BSSUCC;
  }
  if (v3::dot(dir, chord) < 0.0) v3::scale(dir, -1.0, dir);  // along the travel
  v3::add(dir, chord, tangent);
  if (!normalise(tangent)) v3::copy(chord, tangent);
  return BSSUCC;
}

BSrc end_pole(const EndPoleInput &in, int32_t condition, bool at_end, double pole_weight,
              const double *given, double *pole) {
  const int32_t stride = in.stride, n = in.n, k = in.k;
  if (condition == kEndGivenPole) {
    std::copy(given, given + stride, pole);
    return BSSUCC;
  }
  auto w = [&](int32_t i) { return in.weights ? in.weights[i] : 1.0; };
  if (stride == 1) {
    // One coordinate (a weight fit): a fixed step from the end value.
    const double *p = in.points;
    pole[0] = at_end ? p[n - 1] - 1.1 * (p[n - 1] - p[n - 2]) / (k - 1)
                     : p[0] + 1.1 * (p[1] - p[0]) / (k - 1);
    return BSSUCC;
  }
  if (condition != kEndEstimated && condition != kEndTangent) return BSINARG;
  const int32_t dim = std::min<int32_t>(stride, 3);
  // Cartesian point i (first three coordinates, zero-padded).
  auto point = [&](int32_t i, double *out) {
    out[0] = out[1] = out[2] = 0.0;
    for (int32_t c = 0; c < dim; ++c)
      out[c] = in.points[static_cast<std::size_t>(i) * stride + c] / w(i);
  };
  // Q: the polygon of the points at the first (last) interior knot.
  const double knot = at_end ? in.knots[in.m - 1] : in.knots[k];
  int32_t i0, i1;
  if (at_end) {
    int32_t i = n - 2;
    while (i > 0 && !(in.pars[i] < knot)) --i;
    i0 = i;
    i1 = i + 1;
  } else {
    int32_t i = 1;
    while (i < n - 1 && !(in.pars[i] >= knot)) ++i;
    i0 = i - 1;
    i1 = i;
  }
  double p0[3], p1[3], q[3], e[3];
  point(i0, p0);
  point(i1, p1);
  const double span = in.pars[i1] - in.pars[i0];
  const double a = span > 0.0 ? std::clamp((knot - in.pars[i0]) / span, 0.0, 1.0) : 0.0;
  for (int c = 0; c < 3; ++c) q[c] = p0[c] + a * (p1[c] - p0[c]);
  point(at_end ? n - 1 : 0, e);
  const double len = v3::dist(e, q);
  double dir[3] = {0.0, 0.0, 0.0};
  if (condition == kEndTangent) {
    for (int32_t c = 0; c < dim; ++c) dir[c] = given[c];
  } else if (n == 2) {
    double a0[3], a1[3];
    point(0, a0);
    point(1, a1);
    v3::sub(a1, a0, dir);
  } else {
    double x[3], y[3], z[3];
    const double dsq = tol().dist_sqtol;
    if (!at_end) {
      point(0, x);
      point(1, y);
      const int32_t s = (v3::dist_sq(x, y) < dsq && n >= 4) ? 1 : 0;
      point(s, x);
      point(s + 1, y);
      point(s + 2, z);
    } else {
      point(n - 1, z);
      point(n - 2, y);
      const int32_t s = (v3::dist_sq(y, z) < dsq && n >= 4) ? n - 4 : n - 3;
      point(s, x);
      point(s + 1, y);
      point(s + 2, z);
    }
    const BSrc rc = estimate_end_tangent(at_end, x, y, z, dir);
    if (rc != BSSUCC) return rc;
  }
  const double zt = tol().zero_tol;
  if (!(v3::len_sq(dir) >= zt * zt)) return BSINARG;
  normalise(dir);
  const double step = (at_end ? -1.1 : 1.1) * len / (k - 1);
  double out[3];
  v3::axpy(e, step, dir, out);
  const double scale = in.weights ? pole_weight : 1.0;
  for (int32_t c = 0; c < stride; ++c) pole[c] = c < dim ? out[c] * scale : 0.0;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BStanffit(int16_t end, const double *a, const double *b, const double *c,
                      double *tangent, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (a == nullptr || b == nullptr || c == nullptr || tangent == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(a[i]) || !std::isfinite(b[i]) || !std::isfinite(c[i])) {
      *rc = BSINARG;
      return;
    }
  double t[3];
  *rc = estimate_end_tangent(end != 0, a, b, c, t);
  if (*rc == BSSUCC) v3::copy(t, tangent);
}

KW_API void BSfndtnpol2(int32_t n, const double *points, const double *weights, const double *pars,
                        int16_t order, int32_t m, const double *knots, int32_t stride,
                        int32_t condition, int16_t end, double pole_weight, const double *given,
                        double *pole, BSrc *rc) {
  KW_EPILOGUE(rc);
  const bool needs_given = condition == kEndGivenPole || condition == kEndTangent;
  if (points == nullptr || pars == nullptr || knots == nullptr || pole == nullptr ||
      (needs_given && given == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 2 || order < 2 || m < order || stride < 1 ||
      (condition != kEndGivenPole && condition != kEndEstimated && condition != kEndTangent)) {
    *rc = BSINARG;
    return;
  }
  const std::size_t count = static_cast<std::size_t>(n) * stride;
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(points[i])) {
      *rc = BSINARG;
      return;
    }
  if (needs_given)
    for (int32_t c = 0; c < stride; ++c)
      if (!std::isfinite(given[c])) {
        *rc = BSINARG;
        return;
      }
  if (weights != nullptr)
    for (int32_t i = 0; i < n; ++i)
      if (!(weights[i] > 0.0) || !std::isfinite(weights[i])) {
        *rc = BSBADWEIGHT;
        return;
      }
  const EndPoleInput in{n, points, weights, pars, order, m, knots, stride};
  ScratchBuffer buf(static_cast<std::size_t>(stride) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  *rc = end_pole(in, condition, end != 0, pole_weight, given, buf.as<double>());
  if (*rc == BSSUCC) std::copy(buf.as<double>(), buf.as<double>() + stride, pole);
}

}  // extern "C"
