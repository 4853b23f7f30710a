// Bounding volumes of pole sets: axis-aligned boxes and their tests, the bounding
// sphere, oblique boxes fitted in a curve's local frame, and lower and upper bounds
// of the squared distance from a point to an oblique box.
#include "query/boxes.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "bspline/kernel.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {

// ---- Coordinate-major rows ------------------------------------------------------

void curve_pole_rows(const BScurve &cv, double *rows) {
  const int32_t n = cv.num_poles;
  for (int32_t i = 0; i < n; ++i) {
    rows[i] = cv.poles[3 * i];
    rows[n + i] = cv.poles[3 * i + 1];
    rows[2 * n + i] = cv.poles[3 * i + 2];
  }
  if (cv.rational) std::copy(cv.weights, cv.weights + n, rows + 3 * n);
}

void unweighted_rows(int32_t n, int32_t dim, bool rational, const double *in, double *out) {
  const double *w = in + static_cast<std::ptrdiff_t>(dim) * n;
  for (int32_t c = 0; c < dim; ++c) {
    const double *r = in + static_cast<std::ptrdiff_t>(c) * n;
    double *o = out + static_cast<std::ptrdiff_t>(c) * n;
    if (rational) {
      for (int32_t i = 0; i < n; ++i) o[i] = r[i] / w[i];
    } else {
      std::copy(r, r + n, o);
    }
  }
}

// ---- Axis-aligned boxes -------------------------------------------------------------

void pole_box_triples(int32_t n, const double *poles, const double *weights, double *min,
                      double *max) {
  for (int c = 0; c < 3; ++c) min[c] = max[c] = weights ? poles[c] / weights[0] : poles[c];
  for (int32_t i = 1; i < n; ++i) {
    for (int c = 0; c < 3; ++c) {
      const double v = weights ? poles[3 * i + c] / weights[i] : poles[3 * i + c];
      if (v < min[c]) {
        min[c] = v;
      } else if (v > max[c]) {
        max[c] = v;
      }
    }
  }
}

namespace {

// The point-in-box test with the distance tolerance spread over three coordinates.
bool point_in_box(int32_t dim, const double *p, const double *min, const double *max) {
  const double t = tol().dist_tol / std::sqrt(3.0);
  for (int32_t c = 0; c < dim; ++c) {
    if (!(min[c] - t <= p[c] && p[c] <= max[c] + t)) return false;
  }
  return true;
}

}  // namespace

// ---- Bounding sphere --------------------------------------------------------------

void bounding_sphere(int32_t dim, int32_t n, const double *rows, double *centre, double *radius) {
  for (int32_t c = 0; c < dim; ++c) {
    const double *r = rows + static_cast<std::ptrdiff_t>(c) * n;
    double s = 0.0;
    for (int32_t i = 0; i < n; ++i) s += r[i];
    centre[c] = n > 0 ? s / n : 0.0;
  }
  double best = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    double d2 = 0.0;
    for (int32_t c = 0; c < dim; ++c) {
      const double e = rows[static_cast<std::ptrdiff_t>(c) * n + i] - centre[c];
      d2 += e * e;
    }
    best = std::max(best, d2);
  }
  *radius = std::sqrt(best);
}

// ---- Oblique boxes ------------------------------------------------------------------

BSrc dual_frame_2d(const double *a, double *dual) {
  const double det = a[0] * a[3] - a[2] * a[1];
  if (det == 0.0) return BSSINGULAR;
  dual[0] = a[3] / det;
  dual[1] = -a[2] / det;
  dual[2] = -a[1] / det;
  dual[3] = a[0] / det;
  return BSSUCC;
}

BSrc dual_frame_3d(const double *axes, double *dual) {
  const double *a = axes, *b = axes + 3, *c = axes + 6;
  double n[3];
  v3::cross(a, b, n);
  const double nn = v3::len_sq(n);
  const double cc = v3::len_sq(c);
  if (nn == 0.0 || cc == 0.0) return BSSINGULAR;
  const double aa = v3::len_sq(a), bb = v3::len_sq(b), ab = v3::dot(a, b);
  for (int i = 0; i < 3; ++i) {
    dual[i] = (bb * a[i] - ab * b[i]) / nn;
    dual[3 + i] = (aa * b[i] - ab * a[i]) / nn;
    dual[6 + i] = c[i] / cc;
  }
  return BSSUCC;
}

BSrc fit_oblique_box(int32_t n, int32_t dim, const double *rows, const double *axes, double *centre,
                     double *half_axes) {
  if (dim != 2 && dim != 3) return BSDEGENINPUT;
  double g[3];
  for (int32_t c = 0; c < dim; ++c) {
    const double *r = rows + static_cast<std::ptrdiff_t>(c) * n;
    double s = 0.0;
    for (int32_t i = 0; i < n; ++i) s += r[i];
    g[c] = s / n;
  }
  double dual[9];
  const BSrc rc = dim == 2 ? dual_frame_2d(axes, dual) : dual_frame_3d(axes, dual);
  if (rc != BSSUCC) return rc;
  double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
  for (int32_t i = 0; i < n; ++i) {
    double v[3];
    for (int32_t c = 0; c < dim; ++c) v[c] = rows[static_cast<std::ptrdiff_t>(c) * n + i] - g[c];
    for (int32_t k = 0; k < dim; ++k) {
      double s = 0.0;
      for (int32_t c = 0; c < dim; ++c) s += v[c] * dual[k * dim + c];
      lo[k] = std::min(lo[k], s);
      hi[k] = std::max(hi[k], s);
    }
  }
  // Built aside: poles near the overflow limit can give an infinite or NaN box,
  // which is a failure, not a box.
  double ctr[3], half_ax[9];
  for (int32_t c = 0; c < dim; ++c) ctr[c] = g[c];
  for (int32_t k = 0; k < dim; ++k) {
    const double mid = 0.5 * (hi[k] + lo[k]), half = 0.5 * (hi[k] - lo[k]);
    for (int32_t c = 0; c < dim; ++c) {
      ctr[c] += mid * axes[k * dim + c];
      half_ax[k * dim + c] = half * axes[k * dim + c];
    }
  }
  for (int32_t i = 0; i < dim * dim; ++i)
    if (!std::isfinite(half_ax[i]) || !std::isfinite(ctr[i % dim])) return BSINARG;
  std::copy(ctr, ctr + dim, centre);
  std::copy(half_ax, half_ax + dim * dim, half_axes);
  return BSSUCC;
}

namespace {

// True when some component of v (dim values) has magnitude at least 1e-6.
bool has_component(int32_t dim, const double *v) {
  for (int32_t c = 0; c < dim; ++c) {
    if (std::fabs(v[c]) >= 1.0e-6) return true;
  }
  return false;
}

// First and second derivative (out: 3 rows of dim values) of a curve given as
// coordinate-major rows, at u. The poles are first moved by -g (g the centroid of
// the unweighted poles) so that the rounding of the derivatives depends on the
// curve's size, not on its distance from the origin; derivatives do not change.
// dim is 2 or 3.
BSrc frame_derivatives(int32_t order, int32_t n, const double *knots, int32_t dim, bool rational,
                       const double *rows, const double *unweighted, double u, double *out) {
  const int p = order - 1;
  const int m = dim + (rational ? 1 : 0);
  double g[3] = {0.0, 0.0, 0.0};
  for (int32_t c = 0; c < dim; ++c) {
    const double *r = unweighted + static_cast<std::ptrdiff_t>(c) * n;
    double s = 0.0;
    for (int32_t i = 0; i < n; ++i) s += r[i];
    g[c] = s / n;
  }
  const int32_t s = find_span_hinted(order, n, knots, u, order - 1);
  if (s < 0) return BSINARG;
  SpanWorkspace ws(order, m);
  if (!ws.ok()) return BSNOSTKMEMORY;
  const BSrc check = span_check_status(span_reciprocals(knots, p, s, tol().zero_tol, ws.inv));
  if (check != BSSUCC) return check;
  const double *wrow = rows + static_cast<std::ptrdiff_t>(dim) * n;
  for (int q = 0; q <= p; ++q) {
    const int32_t i = s - p + q;
    const double w = rational ? wrow[i] : 1.0;
    for (int32_t c = 0; c < dim; ++c) {
      ws.w[q * m + c] = rows[static_cast<std::ptrdiff_t>(c) * n + i] - w * g[c];
    }
    if (rational) ws.w[q * m + dim] = w;
  }
  const int hrows = std::min(2, p) + 1;
  if (!rational) {
    deboor_derivatives<0>(p, m, knots + (s - p), ws.inv, u, 2, ws.w, ws.tmp, out);
    std::fill(out + hrows * dim, out + 3 * dim, 0.0);
    return BSSUCC;
  }
  deboor_derivatives<0>(p, m, knots + (s - p), ws.inv, u, 2, ws.w, ws.tmp, ws.hom);
  return rational_derivatives(dim, hrows, 2, ws.hom, out) ? BSSUCC : BSFAIL;
}

}  // namespace

namespace {

// The geometric rows of coordinate-major poles: the rows themselves for a
// polynomial curve, else divided by the weights into scratch memory (null when
// that memory cannot be had).
class UnweightedRows {
 public:
  const double *of(int32_t n, int32_t dim, bool rational, const double *rows) {
    if (!rational) return rows;
    if (!buf_.acquire(static_cast<std::size_t>(dim) * n * sizeof(double))) return nullptr;
    unweighted_rows(n, dim, true, rows, buf_.as<double>());
    return buf_.as<double>();
  }

 private:
  BasicScratchBuffer<300 * sizeof(double)> buf_;
};

}  // namespace

BSrc oblique_box_of_curve(int32_t order, int32_t n, const double *knots, int32_t dim, bool rational,
                          const double *rows, double *centre, double *half_axes) {
  if (dim != 2 && dim != 3) return BSDEGENINPUT;
  // Unweighted poles: the rows themselves for a polynomial curve.
  UnweightedRows buf;
  const double *plain = buf.of(n, dim, rational, rows);
  if (plain == nullptr) return BSNOSTKMEMORY;
  const double u = 0.5 * (knots[0] + knots[n]);
  double der[9];
  const BSrc rc = frame_derivatives(order, n, knots, dim, rational, rows, plain, u, der);
  if (rc != BSSUCC) return rc;
  const double *d1 = der + dim, *d2 = der + 2 * dim;
  if (!has_component(dim, d2)) return BSDEGENINPUT;
  double axes[9];
  const double l1 = std::sqrt(d1[0] * d1[0] + d1[1] * d1[1] + (dim == 3 ? d1[2] * d1[2] : 0.0));
  const double l2 = std::sqrt(d2[0] * d2[0] + d2[1] * d2[1] + (dim == 3 ? d2[2] * d2[2] : 0.0));
  double sine_area;  // |d1 x d2|
  if (dim == 3) {
    double c[3];
    v3::cross(d1, d2, c);
    if (!has_component(3, c)) return BSDEGENINPUT;
    sine_area = v3::len(c);
    v3::copy(d1, axes);
    v3::copy(d2, axes + 3);
    v3::copy(c, axes + 6);
  } else {
    if (!has_component(2, d1)) return BSDEGENINPUT;
    sine_area = std::fabs(d1[0] * d2[1] - d1[1] * d2[0]);
    axes[0] = d1[0];
    axes[1] = d1[1];
    axes[2] = d2[0];
    axes[3] = d2[1];
  }
  // Parallel derivatives (a straight curve, rational or not) leave only rounding
  // noise in the cross product; a frame built on it would be singular in all but
  // name and its box need not contain the curve.
  if (!(sine_area > kParallelSine * l1 * l2)) return BSDEGENINPUT;
  return fit_oblique_box(n, dim, plain, axes, centre, half_axes);
}

// ---- Distance bounds ----------------------------------------------------------------

namespace {

// Bounds for the segment with centre q + sq * e and half-axis sh * h, from the
// point p (sq, sh are signs; e may be null for a centre q). Works on the fly, so
// any dim needs no workspace.
void segment_bounds_signed(int32_t dim, const double *p, const double *q, const double *e,
                           double se, const double *h, double sh, double *min, double *max) {
  double dd = 0.0, dh = 0.0, hh = 0.0;
  for (int32_t c = 0; c < dim; ++c) {
    const double d = p[c] - q[c] - (e ? se * e[c] : 0.0);
    const double hc = sh * h[c];
    dd += d * d;
    dh += d * hc;
    hh += hc * hc;
  }
  double tau = hh > 0.0 ? dh / hh : 0.0;
  const double sign = tau < 0.0 ? -sh : sh;
  tau = std::fabs(tau);
  const double t = tau <= 1.0 ? tau : 1.0;
  double s = 0.0;
  for (int32_t c = 0; c < dim; ++c) {
    const double r = p[c] - q[c] - (e ? se * e[c] : 0.0) - t * sign * h[c];
    s += r * r;
  }
  *min = s;
  *max = dd + 2.0 * std::fabs(dh) + hh;
}

}  // namespace

void segment_bounds(int32_t dim, const double *centre, const double *h, const double *point,
                    double *min, double *max) {
  segment_bounds_signed(dim, point, centre, nullptr, 0.0, h, 1.0, min, max);
}

BSrc parallelogram_bounds(int32_t dim, const double *centre, const double *h1, const double *h2,
                          const double *point, double *min, double *max) {
  double dd = 0.0, aa = 0.0, bb = 0.0, da = 0.0, db = 0.0, ab = 0.0;
  for (int32_t c = 0; c < dim; ++c) {
    const double d = point[c] - centre[c];
    dd += d * d;
    aa += h1[c] * h1[c];
    bb += h2[c] * h2[c];
    da += d * h1[c];
    db += d * h2[c];
    ab += h1[c] * h2[c];
  }
  // Farthest corner: |d - sa h1 - sb h2|^2 over the four sign pairs.
  double far = 0.0;
  for (double sa : {1.0, -1.0}) {
    for (double sb : {1.0, -1.0}) {
      far = std::max(far, dd + aa + bb + 2.0 * (-sa * da - sb * db + sa * sb * ab));
    }
  }
  *max = far;
  // Coordinates (s, t) of the projection of d on the plane of the half-axes; the
  // half-axes are turned (signs sa, sb) so that both coordinates are positive.
  const double det = aa * bb - ab * ab;
  double s = det == 0.0 ? 0.0 : (bb * da - ab * db) / det;
  double t = bb > 0.0 ? (db - s * ab) / bb : 0.0;
  double sa = 1.0, sb = 1.0;
  if (s < 0.0) {
    s = -s;
    sa = -1.0;
  }
  if (t < 0.0) {
    t = -t;
    sb = -1.0;
  }
  if (s <= 1.0 && t <= 1.0) {
    double m = 0.0;
    for (int32_t c = 0; c < dim; ++c) {
      const double e = point[c] - centre[c] - s * sa * h1[c] - t * sb * h2[c];
      m += e * e;
    }
    *min = m;
    return BSSUCC;
  }
  // The nearest point lies on an edge the projection is beyond: the edge centred
  // at c + h1 (half-axis h2) or the one centred at c + h2 (half-axis h1).
  double lo1, lo2, unused;
  segment_bounds_signed(dim, point, centre, h1, sa, h2, sb, &lo1, &unused);
  segment_bounds_signed(dim, point, centre, h2, sb, h1, sa, &lo2, &unused);
  *min = lo1 < lo2 ? lo1 : lo2;
  return BSSUCC;
}

namespace {

bool is_zero(int32_t dim, const double *v) {
  for (int32_t c = 0; c < dim; ++c) {
    if (v[c] != 0.0) return false;
  }
  return true;
}

}  // namespace

BSrc oblique_box_bounds_2d(const double *half_axes, const double *centre, const double *point,
                           double *min, double *max) {
  const double *h1 = half_axes, *h2 = half_axes + 2;
  const bool z1 = is_zero(2, h1), z2 = is_zero(2, h2);
  if (z1 && !z2) return BSINARG;
  if (z1) {
    const double e0 = point[0] - centre[0], e1 = point[1] - centre[1];
    *min = *max = e0 * e0 + e1 * e1;
    return BSSUCC;
  }
  if (z2) {
    segment_bounds(2, centre, h1, point, min, max);
    return BSSUCC;
  }
  return parallelogram_bounds(2, centre, h1, h2, point, min, max);
}

BSrc oblique_box_bounds_3d(const double *half_axes, const double *centre, const double *point,
                           double *min, double *max) {
  const double *h1 = half_axes, *h2 = half_axes + 3, *h3 = half_axes + 6;
  const bool z1 = is_zero(3, h1), z2 = is_zero(3, h2), z3 = is_zero(3, h3);
  if (z1 && !z2) return BSINARG;
  if ((z1 || z2) && !z3) return BSINARG;
  if (z1) {
    *min = *max = v3::dist_sq(point, centre);
    return BSSUCC;
  }
  if (z2) {
    segment_bounds(3, centre, h1, point, min, max);
    return BSSUCC;
  }
  if (z3) return parallelogram_bounds(3, centre, h1, h2, point, min, max);
  double d[3], moved[3];
  v3::sub(point, centre, d);
  const double tau = v3::dot(d, h3) / v3::len_sq(h3);
  v3::axpy(point, -tau, h3, moved);
  const BSrc rc = parallelogram_bounds(3, centre, h1, h2, moved, min, max);
  if (rc != BSSUCC) return rc;
  const double at = std::fabs(tau), hh = v3::len_sq(h3);
  if (at > 1.0) *min += (at - 1.0) * (at - 1.0) * hh;
  *max += (at + 1.0) * (at + 1.0) * hh;
  return BSSUCC;
}

namespace {

// Bounds of one point against the box of any dim: trivial bounds beyond dim 3.
BSrc box_bounds(int32_t dim, const double *half_axes, const double *centre, const double *point,
                double *min, double *max) {
  if (dim == 3) return oblique_box_bounds_3d(half_axes, centre, point, min, max);
  if (dim == 2) return oblique_box_bounds_2d(half_axes, centre, point, min, max);
  *min = 0.0;
  *max = DBL_MAX;
  return BSSUCC;
}

// Sphere bounds of the flagged points from index first on.
BSrc sphere_bounds(int32_t n, int32_t dim, bool rational, const double *rows, int32_t num_points,
                   const double *points, const int8_t *flags, int32_t first, double *min,
                   double *max) {
  UnweightedRows buf;
  const double *plain = buf.of(n, dim, rational, rows);
  if (plain == nullptr) return BSNOSTKMEMORY;
  BasicScratchBuffer<16 * sizeof(double)> cbuf(static_cast<std::size_t>(dim) * sizeof(double));
  if (!cbuf.ok()) return BSNOSTKMEMORY;
  double *centre = cbuf.as<double>();
  double r = 0.0;
  bounding_sphere(dim, n, plain, centre, &r);
  for (int32_t j = first; j < num_points; ++j) {
    if (flags[j] == 0) continue;
    const double *p = points + static_cast<std::ptrdiff_t>(j) * dim;
    double e2 = 0.0;
    for (int32_t c = 0; c < dim; ++c) e2 += (p[c] - centre[c]) * (p[c] - centre[c]);
    const double e = std::sqrt(e2);
    min[j] = e <= r ? 0.0 : (e - r) * (e - r);
    max[j] = (e + r) * (e + r);
  }
  return BSSUCC;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API BSboolean BSbx2(BSrc *rc, const int32_t *num_poles, const double *poles,
                       const double *weights, double *min, double *max) {
  *rc = BSSUCC;
  if (*num_poles >= 1) pole_box_triples(*num_poles, poles, weights, min, max);
  return TRUE;
}

KW_API BSboolean BSbx3(BSrc *rc, const double *point, const double *min, const double *max,
                       double *dist_sq) {
  KW_EPILOGUE(rc);
  BSboolean ok = TRUE;
  for (int c = 0; c < 3; ++c) {
    if (min[c] > max[c]) {
      *rc = 1;
      ok = FALSE;
    }
  }
  double s = 0.0;
  for (int c = 0; c < 3; ++c) {
    double q = point[c];
    if (q <= min[c]) {
      q = min[c];
    } else if (q > max[c]) {
      q = max[c];
    }
    s += (point[c] - q) * (point[c] - q);
  }
  *dist_sq = s;
  return KW_FINISH(ok);
}

KW_API BSboolean BSbxint(BSrc *rc, const double *min1, const double *max1, const double *min2,
                         const double *max2) {
  KW_EPILOGUE(rc);
  const double t = tol().dist_tol;
  for (int c = 0; c < 3; ++c) {
    if (max1[c] + t < min2[c] || max2[c] + t < min1[c]) return KW_FINISH(FALSE);
  }
  return KW_FINISH(TRUE);
}

KW_API BSboolean BSptinbx(BSrc *rc, const double *point, const double *min, const double *max,
                          const int32_t *dim) {
  KW_EPILOGUE(rc);
  return KW_FINISH(point_in_box(*dim, point, min, max) ? TRUE : FALSE);
}

KW_API BSboolean BSendptinbx(BSrc *rc, const BScurve *curve, BSboolean *flag) {
  KW_EPILOGUE(rc);
  if (flag == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  const int32_t n = curve->num_poles;
  const double *w = curve->rational ? curve->weights : nullptr;
  double min[3], max[3], end[3];
  pole_box_triples(n - 1, curve->poles + 3, w ? w + 1 : nullptr, min, max);
  for (int c = 0; c < 3; ++c) end[c] = w ? curve->poles[c] / w[0] : curve->poles[c];
  if (point_in_box(3, end, min, max)) {
    *flag = TRUE;
    return KW_FINISH(TRUE);
  }
  pole_box_triples(n - 1, curve->poles, w, min, max);
  const double *last = curve->poles + 3 * (n - 1);
  for (int c = 0; c < 3; ++c) end[c] = w ? last[c] / w[n - 1] : last[c];
  *flag = point_in_box(3, end, min, max) ? TRUE : FALSE;
  return KW_FINISH(TRUE);
}

KW_API void BSboxpoles(int32_t num_poles, int32_t dim, BSboolean rational, const double *poles,
                       double *box) {
  if (num_poles < 1 || dim < 1) return;
  pole_box_rows(num_poles, dim, rational != 0, poles, box);
}

KW_API void BSsphboxbsp(int32_t dim, int32_t num_poles, const double *poles, double *centre,
                        double *radius) {
  bounding_sphere(dim, num_poles, poles, centre, radius);
}

KW_API void BSboxinvab(const double *axes, double *dual, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = dual_frame_2d(axes, dual);
}

KW_API void BSboxinvabc(const double *axes, double *dual, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = dual_frame_3d(axes, dual);
}

KW_API void BSboxpole(int32_t num_poles, int32_t dim, const double *poles, const double *axes,
                      double *centre, double *half_axes, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (num_poles < 1) {
    *rc = BSINARG;
    return;
  }
  *rc = fit_oblique_box(num_poles, dim, poles, axes, centre, half_axes);
}

KW_API void BSoblboxbsc(int16_t order, int32_t num_poles, const double *knots, int32_t dim,
                        BSboolean rational, const double *poles, double *centre, double *half_axes,
                        BSrc *rc) {
  KW_EPILOGUE(rc);
  if (order < 1 || num_poles < order) {
    *rc = BSINARG;
    return;
  }
  *rc = oblique_box_of_curve(order, num_poles, knots, dim, rational != 0, poles, centre, half_axes);
}

KW_API void BSmnmxpt1(int32_t dim, const double *centre, const double *half_axis,
                      const double *point, double *min, double *max) {
  if (dim < 1) dim = 2;
  segment_bounds(dim, centre, half_axis, point, min, max);
}

KW_API void BSmnmxpt2(int32_t dim, const double *centre, const double *h1, const double *h2,
                      const double *point, double *min, double *max, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = parallelogram_bounds(dim, centre, h1, h2, point, min, max);
}

KW_API void BSmnmxbx2(const double *half_axes, const double *centre, const double *point,
                      double *min, double *max, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = oblique_box_bounds_2d(half_axes, centre, point, min, max);
}

KW_API void BSmnmxbx3(const double *half_axes, const double *centre, const double *point,
                      double *min, double *max, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = oblique_box_bounds_3d(half_axes, centre, point, min, max);
}

KW_API void BSminmaxbox(int32_t dim, const double *half_axes, const double *centre,
                        const double *point, double *min, double *max, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = box_bounds(dim, half_axes, centre, point, min, max);
}

KW_API void BSminmaxbsc(int16_t order, int32_t num_poles, int32_t dim, BSboolean rational,
                        const double *knots, const double *poles, int32_t num_points,
                        const double *points, const int8_t *flags, double *min, double *max,
                        BSrc *rc) {
  KW_EPILOGUE(rc);
  if (order < 1 || num_poles < order || dim < 1) {
    *rc = BSINARG;
    return;
  }
  double centre[3], half[9];
  int32_t first = 0;  // the sphere takes over from this point on
  BSrc box_rc = BSDEGENINPUT;
  if (dim == 2 || dim == 3) {
    box_rc = oblique_box_of_curve(order, num_poles, knots, dim, rational != 0, poles, centre, half);
  }
  if (box_rc == BSNOSTKMEMORY) {
    *rc = box_rc;
    return;
  }
  if (box_rc == BSSUCC) {
    for (; first < num_points; ++first) {
      if (flags[first] == 0) continue;
      const double *p = points + static_cast<std::ptrdiff_t>(first) * dim;
      if (box_bounds(dim, half, centre, p, min + first, max + first) != BSSUCC) break;
    }
    if (first == num_points) return;
  } else if (box_rc != BSDEGENINPUT && box_rc != BSSINGULAR) {
    *rc = box_rc;  // the evaluation's own failure
    return;
  }
  *rc = sphere_bounds(num_poles, dim, rational != 0, poles, num_points, points, flags, first, min,
                      max);
}

}  // extern "C"
