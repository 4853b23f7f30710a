// Curve-plane intersection and projection of a curve onto a plane along a
// direction. The signed distance of a curve from a plane is a B-spline on the same
// knots whose poles are the signed distances of the poles (weighted poles and
// weights for a rational curve, whose positive weights keep the roots), so the
// intersections are the roots and zero intervals of that scalar spline.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bspline/kernel.hpp"
#include "frame/frame.hpp"
#include "numeric/roots.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {

namespace {

// Status of BSprj_cv_pl for a direction parallel to the plane.
constexpr BSrc kDirectionInPlane = 13;

// Roots and zero intervals of the signed distance of an array-form curve (dim
// coordinate-major rows of n values, then the weight row when rational) from the
// plane through q with normal nrm (|nrm| > 0). Outputs as spline_roots.
BSrc plane_distance_roots(int dim, int32_t k, int32_t n, bool rational, const double *rows,
                          const double *knots, const double *q, const double *nrm, double tol,
                          int32_t *num_roots, double *roots, int32_t *num_zero, double *pairs) {
  ScratchBuffer buf(static_cast<std::size_t>(n) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *c = buf.as<double>();
  double len = 0.0;
  for (int i = 0; i < dim; ++i) len += nrm[i] * nrm[i];
  const double inv = 1.0 / std::sqrt(len);
  const double *w = rows + static_cast<std::size_t>(dim) * n;
  for (int32_t j = 0; j < n; ++j) {
    double s = 0.0;
    const double wj = rational ? w[j] : 1.0;
    for (int i = 0; i < dim; ++i)
      s += (rows[static_cast<std::size_t>(i) * n + j] - q[i] * wj) * nrm[i];
    c[j] = s * inv;
  }
  return spline_roots(k, n, c, knots, tol, tol_knot_gap(knots[k - 1], knots[n]), num_roots, roots,
                      num_zero, pairs);
}

bool finite_all(int32_t count, const double *v) {
  for (int32_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// Moves a root that lies farther than tol from the plane (what the root finder gives
// for an ill-conditioned contact: a high-order touch, a piece running along the
// plane) to a parameter within tol: stepping out from it by doubling steps inside
// (lo, hi), the first probe within tol, or the bisected sign change of the first
// probe on the other side. dist(u, point) gives the signed distance (NaN on an
// evaluation failure). False when there is no such parameter: no intersection.
template <class Dist>
bool settle_root(const Dist &dist, double lo, double hi, double tol, double *u, double *point) {
  const double d0 = dist(*u, point);
  if (std::fabs(d0) <= tol) return true;
  if (std::isnan(d0)) return false;
  double probe[3];
  for (double h = 1e-12 * (hi - lo); h < hi - lo; h *= 2.0)
    for (const double side : {-1.0, 1.0}) {
      const double x = std::clamp(*u + side * h, lo, hi);
      const double d = dist(x, probe);
      if (std::isnan(d)) return false;
      if (std::fabs(d) > tol && (d < 0.0) == (d0 < 0.0)) continue;
      double near = *u, far = x;  // d0 on the near side, d on the far side
      for (int it = 0; it < 200 && std::fabs(dist(far, probe)) > tol; ++it) {
        const double mid = 0.5 * (near + far);
        if (mid == near || mid == far) break;
        ((dist(mid, probe) < 0.0) == (d0 < 0.0) ? near : far) = mid;
      }
      if (!(std::fabs(dist(far, point)) <= tol)) return false;
      *u = far;
      return true;
    }
  return false;
}

// Intersections of a validated curve with a plane: distinct parameters ascending
// with their points, a closed curve's crossing at its joint once, and the zero
// intervals. On failure of the root finder what was found is reported with its
// status.
BSrc curve_plane(const BScurve &cv, const double *q, const double *nrm, int32_t *num_points,
                 double *points, double *params, int32_t *num_int, double *starts, double *ends) {
  const int32_t k = cv.order, n = cv.num_poles;
  const bool rational = cv.rational != 0;
  const int rows_count = rational ? 4 : 3;
  const std::size_t cap = static_cast<std::size_t>(spline_root_capacity(k, n));
  const std::size_t spans = static_cast<std::size_t>(n - k + 1);
  ScratchBuffer buf((static_cast<std::size_t>(rows_count) * n + cap + 2 * spans) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *rows = buf.as<double>(), *roots = rows + static_cast<std::size_t>(rows_count) * n;
  double *pairs = roots + cap;
  for (int32_t j = 0; j < n; ++j) {
    for (int c = 0; c < 3; ++c) rows[static_cast<std::size_t>(c) * n + j] = cv.poles[3 * j + c];
    if (rational) rows[3 * static_cast<std::size_t>(n) + j] = cv.weights[j];
  }
  int32_t nr = 0, nz = 0;
  const BSrc found = plane_distance_roots(3, k, n, rational, rows, cv.knots, q, nrm,
                                          tol().basis_tol, &nr, roots, &nz, pairs);
  int32_t kept = 0;  // a multiple root is one intersection
  for (int32_t i = 0; i < nr; ++i)
    if (kept == 0 || roots[i] != roots[kept - 1]) roots[kept++] = roots[i];
  const double zt = tol().zero_tol;
  CurveSweep sweep(k, n, cv.poles, rational ? cv.weights : nullptr, cv.knots, zt * zt);
  if (!sweep.ok()) return BSNOSTKMEMORY;
  BSrc rc = found;
  int32_t np = 0;
  const double a = cv.knots[k - 1], b = cv.knots[n], bt = tol().basis_tol;
  const double inv = 1.0 / v3::len(nrm);
  BSrc st = BSSUCC;
  const auto dist = [&](double u, double *pt) -> double {
    st = sweep.eval(u, 0, pt);
    if (st != BSSUCC) return NAN;
    return ((pt[0] - q[0]) * nrm[0] + (pt[1] - q[1]) * nrm[1] + (pt[2] - q[2]) * nrm[2]) * inv;
  };
  if (kept > 0) sweep.start(roots[0], false);
  for (int32_t i = 0; i < kept; ++i) {
    double u = roots[i], *pt = points + 3 * static_cast<std::size_t>(np);
    const double lo = np > 0 ? params[np - 1] : a, hi = i + 1 < kept ? roots[i + 1] : b;
    const bool on_plane = settle_root(dist, lo, hi, bt, &u, pt);
    if (st != BSSUCC) {
      if (rc == BSSUCC) rc = st;
      break;
    }
    if (!on_plane || (np > 0 && u == params[np - 1])) continue;
    params[np++] = u;
  }
  // A closed curve crossing the plane at its joint: both domain ends are roots of
  // one point; it is reported once, at the start.
  if (np >= 2 && params[0] == a && params[np - 1] == b &&
      v3::dist_sq(points, points + 3 * static_cast<std::size_t>(np - 1)) <= bt * bt)
    --np;
  for (int32_t i = 0; i < nz; ++i) {
    starts[i] = pairs[2 * i];
    ends[i] = pairs[2 * i + 1];
  }
  *num_points = np;
  *num_int = nz;
  return rc;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BSxbspcvpl(int32_t dim, int32_t order, int32_t num_poles, BSboolean rational,
                       const double *poles, const double *knots, const double *point,
                       const double *normal, double tol, int32_t *num_roots, double *roots,
                       int32_t *num_intervals, double *intervals, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr || point == nullptr || normal == nullptr ||
      num_roots == nullptr || roots == nullptr || num_intervals == nullptr ||
      intervals == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (dim < 1 || dim > 3 || order < 2 || order > 321 || num_poles < order ||
      !(std::isfinite(tol) && tol >= 0.0) || !finite_all(dim, point) || !finite_all(dim, normal) ||
      !knots_ascending(knots, num_poles + order) || !(knots[order - 1] < knots[num_poles]) ||
      !finite_all((dim + (rational ? 1 : 0)) * num_poles, poles)) {
    *rc = BSINARG;
    return;
  }
  if (rational) {
    const double *w = poles + static_cast<std::size_t>(dim) * num_poles;
    for (int32_t j = 0; j < num_poles; ++j)
      if (!(w[j] > 0.0)) {
        *rc = BSINARG;
        return;
      }
  }
  double len = 0.0;
  for (int i = 0; i < dim; ++i) len += normal[i] * normal[i];
  if (!(len > kTinySquaredLength)) {
    *rc = BSDEGEN;
    return;
  }
  *rc = plane_distance_roots(dim, order, num_poles, rational != 0, poles, knots, point, normal, tol,
                             num_roots, roots, num_intervals, intervals);
}

KW_API BSboolean BSpl_cv_int(BSrc *rc, const BScurve *curve, const double *point,
                             const double *normal, int32_t *num_points, double *points,
                             double *params, int32_t *num_intervals, double *starts, double *ends) {
  KW_EPILOGUE(rc);
  if (point == nullptr || normal == nullptr || num_points == nullptr || points == nullptr ||
      params == nullptr || num_intervals == nullptr || starts == nullptr || ends == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  *rc = validate_curve(curve, kCurveFull);
  if (*rc != BSSUCC) return KW_FINISH(FALSE);
  if (curve->order > 321 || !finite_all(3, point) || !finite_all(3, normal)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  if (!(v3::len_sq(normal) > kTinySquaredLength)) {
    *rc = BSDEGEN;
    return KW_FINISH(FALSE);
  }
  *rc = curve_plane(*curve, point, normal, num_points, points, params, num_intervals, starts, ends);
  return KW_FINISH(TRUE);
}

KW_API BSboolean BSprj_cv_pl(BSrc *rc, const BScurve *in, const double *point, double *normal,
                             const double *direction, BScurve *out) {
  KW_EPILOGUE(rc);
  if (point == nullptr || normal == nullptr || direction == nullptr || out == nullptr ||
      out->poles == nullptr || out->knots == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  *rc = validate_curve(in, kCurveFull);
  if (*rc != BSSUCC) return KW_FINISH(FALSE);
  if (in->rational && out->weights == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!finite_all(3, point) || !finite_all(3, normal) || !finite_all(3, direction)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  double d[3] = {direction[0], direction[1], direction[2]};
  if (!normalise(normal) || !normalise(d)) {
    *rc = BSDEGEN;
    return KW_FINISH(FALSE);
  }
  const double kd = v3::dot(d, normal);
  if (std::fabs(kd) < tol().orient_tol) {
    *rc = kDirectionInPlane;
    return KW_FINISH(FALSE);
  }
  const int32_t n = in->num_poles;
  ScratchBuffer buf(static_cast<std::size_t>(3) * n * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return KW_FINISH(FALSE);
  }
  double *moved = buf.as<double>();
  for (int32_t j = 0; j < n; ++j) {
    const double w = in->rational ? in->weights[j] : 1.0;
    double p[3], diff[3];
    v3::scale(in->poles + 3 * j, 1.0 / w, p);
    v3::sub(point, p, diff);
    const double t = v3::dot(diff, normal) / kd;
    v3::axpy(p, t, d, moved + 3 * j);
  }
  int32_t cls = kClassSpace;
  double plane_normal[3];
  const BSrc pst = classify_weighted_points(n, moved, nullptr, &cls, plane_normal);
  if (pst != BSSUCC) {
    *rc = pst;
    return KW_FINISH(FALSE);
  }
  // Everything is known: write the record (the input may be the output).
  for (int32_t j = 0; j < n; ++j) {
    const double w = in->rational ? in->weights[j] : 1.0;
    v3::scale(moved + 3 * j, w, out->poles + 3 * j);
  }
  if (in->rational) {
    if (out->weights != in->weights)
      std::memmove(out->weights, in->weights, static_cast<std::size_t>(n) * sizeof(double));
  } else {
    out->weights = nullptr;
  }
  if (out->knots != in->knots)
    std::memmove(out->knots, in->knots, static_cast<std::size_t>(in->num_knots) * sizeof(double));
  out->order = in->order;
  out->periodic = in->periodic;
  out->non_uniform = in->non_uniform;
  out->num_poles = n;
  out->num_knots = in->num_knots;
  out->rational = in->rational;
  out->phy_closed = in->phy_closed;
  out->planar = cls == kClassPlane ? TRUE : FALSE;
  out->num_boundaries = 0;
  out->bdrys = nullptr;
  return KW_FINISH(TRUE);
}

}  // extern "C"
