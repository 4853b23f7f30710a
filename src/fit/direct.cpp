// Direct interpolation of points by a curve of any order (BSdirfitcv), open or
// periodic, with estimated or given end tangents; plane point sets are fitted in
// a frame of their plane so the poles lie exactly in it. Order 2 is the polyline
// (BSlininter).
#include <algorithm>
#include <cmath>

#include "bspline/knots.hpp"
#include "fit/fit.hpp"
#include "frame/frame.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {
namespace {

bool finite3(const double *v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Point-set code (1 point, 2 line, 3 plane, 4 space) and line direction or normal.
BSrc point_set_code(int32_t n, const double *points, int32_t *code, double *normal) {
  int32_t cls = 0;
  normal[0] = normal[1] = normal[2] = 0.0;
  const BSrc rc = classify_weighted_points(n, points, nullptr, &cls, normal);
  *code = class_code(cls);
  return rc;
}

// The polyline through n >= 2 points (validated, not all coincident).
BSrc polyline(int32_t n, const double *points, int32_t code, BScurve *cv) {
  const double dtol = tol().dist_tol;
  double *t = cv->knots;
  t[0] = t[1] = 0.0;
  for (int32_t i = 1; i < n; ++i) {
    double c = v3::dist(points + 3 * i, points + 3 * (i - 1));
    if (c < dtol) {
      // A chord of no length takes half of its neighbour (the following one, the
      // preceding one for the last chord).
      const int32_t j = i < n - 1 ? i + 1 : i - 1;
      c = j >= 1 ? 0.5 * v3::dist(points + 3 * j, points + 3 * (j - 1)) : 0.0;
      if (c < dtol) return BSINARG;
    }
    t[i + 1] = t[i] + c;
  }
  t[n + 1] = t[n];
  std::copy(points, points + 3 * static_cast<std::size_t>(n), cv->poles);
  cv->order = 2;
  cv->num_poles = n;
  cv->num_knots = n + 2;
  cv->periodic = 0;
  cv->non_uniform = 1;
  cv->rational = 0;
  cv->weights = nullptr;
  cv->num_boundaries = 0;
  cv->bdrys = nullptr;
  cv->planar = code <= 3 ? 1 : 0;
  cv->phy_closed = 0;
  if (v3::dist(points, points + 3 * (n - 1)) < dtol) {
    cv->phy_closed = 1;
    double mid[3];
    v3::add(points, points + 3 * (n - 1), mid);
    v3::scale(mid, 0.5, mid);
    v3::copy(mid, cv->poles);
    v3::copy(mid, cv->poles + 3 * (n - 1));
  }
  return normalise_knots(2, n, t);
}

struct Tangents {
  int32_t cond[2];
  double vec[2][3];
};

BSrc direct_fit(int32_t n, const double *points, int k, bool periodic, Tangents tan, BScurve *cv) {
  const double d = v3::dist_sq(points, points + 3 * (n - 1));
  if (k == 2) {
    int32_t code;
    double normal[3];
    BSrc rc = point_set_code(n, points, &code, normal);
    if (rc != BSSUCC) return rc;
    if (code == 1) return BSINARG;
    return polyline(n, points, code, cv);
  }
  if (periodic ? (n < 4 || d > tol().dist_sqtol) : n < 3) return BSINARG;
  int32_t code;
  double normal[3];
  BSrc rc = point_set_code(n, points, &code, normal);
  if (rc != BSSUCC) return rc;
  cv->order = static_cast<int16_t>(k);
  cv->rational = 0;
  cv->weights = nullptr;
  cv->num_boundaries = 0;
  cv->bdrys = nullptr;
  cv->periodic = periodic ? 1 : 0;
  cv->phy_closed = (periodic || d < tol().dist_sqtol) ? 1 : 0;
  if (code == 1) {
    // All points coincide: the point curve at their centroid.
    double c[3];
    BSavgpts(&rc, n, points, nullptr, c);
    if (rc != BSSUCC) return rc;
    BSptcvgen(c, static_cast<int16_t>(k), FALSE, cv, &rc);
    return rc;
  }
  // Parameters, knots and spans.
  const int32_t s = (periodic || k % 2 == 0) ? n - 1 : n;
  ScratchBuffer buf(static_cast<std::size_t>(n) *
                    (sizeof(double) + sizeof(int32_t) + 3 * sizeof(double)));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *pars = buf.as<double>();
  double *local = pars + n;
  int32_t *spans = reinterpret_cast<int32_t *>(local + 3 * static_cast<std::size_t>(n));
  double average = 0.0;
  rc = average_parameters(1, n, points, nullptr, 3, 3, &average, pars);
  if (rc != BSSUCC) return rc;
  const double ktol = tol().knot_tol / std::max(average, 0.001);
  int32_t nk = 0;
  rc = place_fit_knots(k, periodic, ktol, s, n, pars, &nk, cv->knots, spans);
  if (rc != BSSUCC) return rc;
  const int32_t m = nk - k;
  cv->num_knots = nk;
  cv->num_poles = m;
  cv->non_uniform = m > k ? 1 : 0;
  // A tangent leaving the plane of plane points makes the fit spatial.
  if (code == 3)
    for (int e = 0; e < 2; ++e)
      if (tan.cond[e] == kEndTangent && std::fabs(v3::dot(tan.vec[e], normal)) > tol().orient_tol)
        code = 4;
  EngineInput in{};
  in.periodic = periodic;
  in.mode = 2;
  for (int e = 0; e < 2; ++e) {
    in.cond[e] = tan.cond[e];
    in.vec[e] = tan.vec[e];
  }
  if (code == 3) {
    // Frame of the plane: rows e2, e3, e1 with e1 the normal, origin the centroid.
    double e1[3], e2[3], e3[3], c[3];
    BSavgpts(&rc, n, points, nullptr, c);
    if (rc != BSSUCC) return rc;
    basis_from_vector(normal, e1, e2, e3);
    const double *axes[3] = {e2, e3, e1};
    for (int32_t j = 0; j < n; ++j) {
      double p[3];
      v3::sub(points + 3 * j, c, p);
      for (int a = 0; a < 3; ++a) local[3 * j + a] = v3::dot(axes[a], p);
    }
    double lt[2][3];
    for (int e = 0; e < 2; ++e)
      for (int a = 0; a < 3; ++a) lt[e][a] = v3::dot(axes[a], tan.vec[e]);
    for (int e = 0; e < 2; ++e) in.vec[e] = lt[e];
    in.data = FitData{n, local, pars, spans, k, m, cv->knots, 3, 2};
    rc = fit_points(in, cv->poles, nullptr);
    if (rc != BSSUCC) return rc;
    for (int32_t i = 0; i < m; ++i) {
      double *p = cv->poles + 3 * i, out[3];
      v3::copy(c, out);
      v3::axpy(out, p[0], e2, out);
      v3::axpy(out, p[1], e3, out);
      v3::copy(out, p);
    }
    cv->planar = 1;
  } else {
    in.data = FitData{n, points, pars, spans, k, m, cv->knots, 3, 3};
    rc = fit_points(in, cv->poles, nullptr);
    if (rc != BSSUCC) return rc;
    cv->planar = 0;
    if (code == 2) {
      // Points on a line: the poles may still span a plane (given tangents).
      int32_t pcode;
      double pn[3];
      rc = point_set_code(m, cv->poles, &pcode, pn);
      if (rc != BSSUCC) return rc;
      cv->planar = pcode <= 3 ? 1 : 0;
    }
  }
  if (periodic && k % 2 == 1) {
    rc = normalise_knots(k, m, cv->knots);
    if (rc != BSSUCC) return rc;
  }
  if (!periodic && cv->phy_closed) {
    double mid[3];
    v3::add(cv->poles, cv->poles + 3 * (m - 1), mid);
    v3::scale(mid, 0.5, mid);
    v3::copy(mid, cv->poles);
    v3::copy(mid, cv->poles + 3 * (m - 1));
  }
  return BSSUCC;
}

}  // namespace
}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BSdirfitcv(int32_t n, const double *points, int16_t order, int32_t start_condition,
                       int32_t end_condition, BSboolean periodic, const double *start_tangent,
                       const double *end_tangent, BScurve *curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  Tangents tan{{start_condition, end_condition}, {{0, 0, 0}, {0, 0, 0}}};
  const double *given[2] = {start_tangent, end_tangent};
  if (points == nullptr || curve == nullptr || curve->poles == nullptr || curve->knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  for (int e = 0; e < 2; ++e)
    if (tan.cond[e] == kEndTangent && given[e] == nullptr) {
      *rc = BSNULLPTR;
      return;
    }
  if (order < 2 || order > kMaxFitOrder || n < 2) {
    *rc = BSINARG;
    return;
  }
  for (int32_t j = 0; j < n; ++j)
    if (!finite3(points + 3 * static_cast<std::size_t>(j))) {
      *rc = BSINARG;
      return;
    }
  for (int e = 0; e < 2; ++e) {
    if (tan.cond[e] != kEndEstimated && tan.cond[e] != kEndTangent) {
      *rc = BSINARG;
      return;
    }
    if (tan.cond[e] == kEndTangent) {
      // A given tangent must have a direction.
      if (!finite3(given[e])) {
        *rc = BSINARG;
        return;
      }
      v3::copy(given[e], tan.vec[e]);
      const double zt = tol().zero_tol;
      if (!(v3::len_sq(tan.vec[e]) >= zt * zt) || !normalise(tan.vec[e])) {
        *rc = BSINARG;
        return;
      }
    }
  }
  *rc = direct_fit(n, points, order, periodic != 0, tan, curve);
  if (order == 2 && *rc == BSSUCC) curve->periodic = 0;
}

KW_API BSboolean BSlininter(BSrc *rc, const int32_t *n, const double *points, BScurve *curve,
                            double *normal) {
  KW_EPILOGUE(rc);
  if (n == nullptr || points == nullptr || curve == nullptr || curve->poles == nullptr ||
      curve->knots == nullptr || normal == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (*n < 2) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  for (int32_t j = 0; j < *n; ++j)
    if (!finite3(points + 3 * static_cast<std::size_t>(j))) {
      *rc = BSINARG;
      return KW_FINISH(FALSE);
    }
  int32_t code;
  double dir[3];
  *rc = point_set_code(*n, points, &code, dir);
  if (*rc == BSSUCC && code == 1) *rc = BSINARG;
  if (*rc != BSSUCC) return KW_FINISH(FALSE);
  if (*n == 2) {
    BSlngen(rc, points, points + 3, curve, nullptr);
  } else {
    *rc = polyline(*n, points, code, curve);
  }
  if (*rc == BSSUCC) v3::copy(dir, normal);
  return KW_FINISH(TRUE);
}

}  // extern "C"
