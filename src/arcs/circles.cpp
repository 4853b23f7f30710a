// Exact circles and circular arcs as quadratic rational B-splines: circles from a
// centre with a radius or a start point, arcs from start, centre and end or
// through three points, the circle through three points, the weights of a piece
// and the header of a quadratic conic record.
#include <cmath>

#include "arcs/arcs.hpp"
#include "frame/frame.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {

namespace {

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kThird = 1.0 / 3.0;
constexpr double kTwoThirds = 2.0 / 3.0;
constexpr double kDegrees = 57.29577951308232;
constexpr double kSnapDegrees = 1.0e-10;
constexpr double kNoSweep = 2.220446049250313e-14;

bool finite3(const double *p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

void set_knots(int n, double *t) {
  static const double one[] = {0, 0, 0, 1, 1, 1};
  static const double two[] = {0, 0, 0, 0.5, 0.5, 1, 1, 1};
  static const double three[] = {0, 0, 0, kThird, kThird, kTwoThirds, kTwoThirds, 1, 1, 1};
  const double *src = n == 1 ? one : n == 2 ? two : three;
  for (int i = 0; i < 2 * n + 4; ++i) t[i] = src[i];
}

// Point at angle phi (radians) on the circle c + r (cos u + sin v); the quarter
// angles give their points without rounding from sine and cosine.
void point_at_angle(const double *c, double r, const double *u, const double *v, double phi,
                    double *out) {
  const double deg = phi * kDegrees;
  if (std::fabs(deg) <= kSnapDegrees || std::fabs(deg - 360.0) <= kSnapDegrees) {
    v3::axpy(c, r, u, out);
  } else if (std::fabs(deg - 90.0) <= kSnapDegrees) {
    v3::axpy(c, r, v, out);
  } else if (std::fabs(deg - 180.0) <= kSnapDegrees) {
    v3::axpy(c, -r, u, out);
  } else if (std::fabs(deg - 270.0) <= kSnapDegrees) {
    v3::axpy(c, -r, v, out);
  } else {
    double p[3];
    v3::axpy(c, r * std::cos(phi), u, p);
    v3::axpy(p, r * std::sin(phi), v, out);
  }
}

}  // namespace

void circle_poles(const double *c, double r, const double *u, const double *v, ArcPoles &out) {
  // (u, v) coefficients of the seven poles in units of r.
  static const double uv[7][2] = {{1, 0},  {1, kSqrt3},           {-0.5, 0.5 * kSqrt3},
                                  {-2, 0}, {-0.5, -0.5 * kSqrt3}, {1, -kSqrt3},
                                  {1, 0}};
  out.num_poles = 7;
  for (int i = 0; i < 7; ++i) {
    double p[3];
    v3::axpy(c, r * uv[i][0], u, p);
    v3::axpy(p, r * uv[i][1], v, p);
    const double w = (i % 2 == 1) ? 0.5 : 1.0;
    out.weights[i] = w;
    v3::scale(p, w, out.poles + 3 * i);
  }
  set_knots(3, out.knots);
  out.sweep = kTwoPi;
  out.closed = true;
}

BSrc arc_poles(const double *s, const double *c, const double *e, const double *normal,
               ArcPoles &out, double *unit_normal) {
  const double sq = tol().dist_sqtol, dtol = tol().dist_tol;
  if (v3::dist_sq(s, c) <= sq || v3::dist_sq(c, e) <= sq || v3::dist_sq(s, e) <= sq) return BSINARG;
  double sc[3], ec[3], ep[3], epc[3];
  v3::sub(s, c, sc);
  v3::sub(e, c, ec);
  const double r = v3::len(sc);
  v3::axpy(c, r / v3::len(ec), ec, ep);  // the end moved radially onto the circle
  if (v3::dist_sq(s, ep) <= sq) return BSINARG;
  v3::sub(ep, c, epc);

  // Frame: N normal to the plane of the points, U toward the start, V = N x U.
  double n[3], u[3], v[3];
  v3::copy(normal, n);
  if (!normalise(n)) return BSINARG;
  if (std::fabs(v3::dot(sc, n)) > dtol || std::fabs(v3::dot(epc, n)) > dtol) return BSINARG;
  v3::scale(sc, 1.0 / r, u);
  v3::axpy(n, -v3::dot(n, u), u, n);  // exactly perpendicular to the start direction
  if (!normalise(n)) return BSINARG;
  v3::cross(n, u, v);
  normalise(v);

  // Sweep in (0, 2 pi), counterclockwise about N.
  double x[3];
  v3::cross(sc, epc, x);
  const double alpha = std::fabs(std::atan2(v3::dot(x, n), v3::dot(sc, epc)));
  const double theta = v3::dot(v, epc) >= 0.0 ? alpha : kTwoPi - alpha;
  const int pieces = arc_piece_count(theta);

  // Piece ends; the middle pole of a piece of angle phi lies on the bisector at
  // r / cos(phi/2): the chord midpoint scaled by 1 / cos^2(phi/2) from the centre.
  double ends[4][3];
  v3::copy(s, ends[0]);
  for (int k = 1; k < pieces; ++k) point_at_angle(c, r, u, v, k * theta / pieces, ends[k]);
  v3::copy(ep, ends[pieces]);
  double w[3];
  BSangweig(theta / (2.0 * pieces), w);
  const double grow = 1.0 / (w[1] * w[1]);
  double poles[7][3];
  for (int k = 0; k < pieces; ++k) {
    double m[3], mc[3];
    v3::add(ends[k], ends[k + 1], m);
    v3::scale(m, 0.5, m);
    v3::sub(m, c, mc);
    v3::axpy(c, grow, mc, poles[2 * k + 1]);
    if (k == 0 && v3::dist(poles[1], m) <= kNoSweep) return BSDIVZERO;
    v3::copy(ends[k], poles[2 * k]);
  }
  v3::copy(ends[pieces], poles[2 * pieces]);

  out.num_poles = 2 * pieces + 1;
  for (int i = 0; i < out.num_poles; ++i) {
    out.weights[i] = (i % 2 == 1) ? w[1] : 1.0;
    v3::scale(poles[i], out.weights[i], out.poles + 3 * i);
  }
  set_knots(pieces, out.knots);
  out.sweep = theta;
  out.closed = false;
  if (unit_normal != nullptr) v3::copy(n, unit_normal);
  return BSSUCC;
}

void store_arc(const ArcPoles &arc, BScurve &curve) {
  curve.order = 3;
  curve.periodic = 0;
  curve.non_uniform = 1;
  curve.rational = 1;
  curve.num_poles = arc.num_poles;
  curve.num_knots = arc.num_poles + 3;
  curve.planar = 1;
  curve.phy_closed = arc.closed ? 1 : 0;
  curve.num_boundaries = 0;
  curve.bdrys = nullptr;
  std::memcpy(curve.poles, arc.poles, sizeof(double) * 3 * arc.num_poles);
  std::memcpy(curve.weights, arc.weights, sizeof(double) * arc.num_poles);
  std::memcpy(curve.knots, arc.knots, sizeof(double) * curve.num_knots);
}

BSrc circle_through(const double *p1, const double *p2, const double *p3, double *centre,
                    double *radius, double *normal) {
  double pts[9];
  v3::copy(p1, pts);
  v3::copy(p2, pts + 3);
  v3::copy(p3, pts + 6);
  int32_t cls = kClassSpace;
  double dir[3];
  if (const BSrc rc = classify_points(3, pts, tol().dist_tol, &cls, nullptr, dir); rc != BSSUCC)
    return rc;
  if (cls == kClassPoint || cls == kClassLine) return BSINARG;
  double a[3], b[3], bxa[3];
  v3::sub(p1, p2, a);
  v3::sub(p3, p2, b);
  const double aa = v3::dot(a, a), bb = v3::dot(b, b), ab = v3::dot(a, b);
  v3::cross(b, a, bxa);
  const double d = v3::len_sq(bxa);  // |a|^2 |b|^2 - (a.b)^2 without cancellation
  if (!(d > 0.0)) return BSINARG;
  const double lambda = bb * (aa - ab) / (2.0 * d), mu = aa * (bb - ab) / (2.0 * d);
  double c[3];
  v3::axpy(p2, lambda, a, c);
  v3::axpy(c, mu, b, c);
  if (!normalise(bxa)) return BSINARG;
  v3::copy(c, centre);
  *radius = v3::dist(c, p1);
  v3::copy(bxa, normal);
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

bool arrays_present(const BScurve *curve) {
  return curve->poles != nullptr && curve->knots != nullptr && curve->weights != nullptr;
}

// Circle of radius r about centre with normal n (finite, checked by the callers).
BSrc prepare_circle(const double *centre, double r, const double *normal, ArcPoles &arc,
                    double *unit_normal) {
  if (!(r > tol().dist_tol)) return BSINARG;
  double n[3], u[3], v[3];
  if (!basis_from_vector(normal, n, u, v)) return BSDEGEN;
  circle_poles(centre, r, u, v, arc);
  v3::copy(n, unit_normal);
  return BSSUCC;
}

void report(const ArcPoles &arc, const double *n, BScurve *curve, double *unit_normal,
            int32_t *type) {
  store_arc(arc, *curve);
  if (unit_normal != nullptr) v3::copy(n, unit_normal);
  if (type != nullptr) *type = 9;
}

}  // namespace

extern "C" KW_API BSboolean BSprepcirc(BSrc *rc, const double *centre, const double *radius,
                                       const double *normal, BScurve *curve, double *unit_normal,
                                       int32_t *type) {
  KW_EPILOGUE(rc);
  if (centre == nullptr || radius == nullptr || normal == nullptr || curve == nullptr ||
      !arrays_present(curve)) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!finite3(centre) || !finite3(normal) || !std::isfinite(*radius)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  ArcPoles arc;
  double n[3];
  *rc = prepare_circle(centre, *radius, normal, arc, n);
  if (*rc == BSSUCC) report(arc, n, curve, unit_normal, type);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSprepcircp(BSrc *rc, const double *centre, const double *start,
                                        const double *normal, BScurve *curve, double *unit_normal,
                                        int32_t *type) {
  KW_EPILOGUE(rc);
  if (centre == nullptr || start == nullptr || normal == nullptr || curve == nullptr ||
      !arrays_present(curve)) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  double u[3], n[3], v[3];
  v3::sub(start, centre, u);
  v3::copy(normal, n);
  const double r = v3::len(u), ln = v3::len(n);
  const double dtol = tol().dist_tol;
  if (!finite3(centre) || !finite3(start) || !finite3(normal) || !(r > dtol) || !(ln > dtol)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  v3::scale(u, 1.0 / r, u);
  v3::scale(n, 1.0 / ln, n);
  // The start must lie in the plane through the centre normal to N; N is then made
  // exactly perpendicular to the start direction so that the circle stays round.
  v3::axpy(n, -v3::dot(n, u), u, n);
  if (r * std::fabs(v3::dot(normal, u)) / ln > dtol || !normalise(n)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  v3::cross(n, u, v);
  normalise(v);
  ArcPoles arc;
  circle_poles(centre, r, u, v, arc);
  report(arc, n, curve, unit_normal, type);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BScirrdcr(BSrc *rc, const double *radius, const double *centre,
                                      BScurve *curve) {
  KW_EPILOGUE(rc);
  if (radius == nullptr || centre == nullptr || curve == nullptr || !arrays_present(curve)) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!finite3(centre) || !std::isfinite(*radius) || !(*radius > 0.0)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  static const double z[3] = {0.0, 0.0, 1.0};
  ArcPoles arc;
  double n[3];
  *rc = prepare_circle(centre, *radius, z, arc, n);
  if (*rc == BSSUCC) report(arc, n, curve, nullptr, nullptr);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSprepcarc(BSrc *rc, const double *start, const double *centre,
                                       const double *end, const double *normal, BScurve *curve,
                                       double *unit_normal, int32_t *type) {
  KW_EPILOGUE(rc);
  if (start == nullptr || centre == nullptr || end == nullptr || normal == nullptr ||
      curve == nullptr || !arrays_present(curve)) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!finite3(start) || !finite3(centre) || !finite3(end) || !finite3(normal)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  ArcPoles arc;
  double n[3];
  *rc = arc_poles(start, centre, end, normal, arc, n);
  if (*rc == BSSUCC) report(arc, n, curve, unit_normal, type);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSarc3pts(BSrc *rc, const double *p1, const double *p2,
                                      const double *p3, BScurve *curve) {
  KW_EPILOGUE(rc);
  if (p1 == nullptr || p2 == nullptr || p3 == nullptr || curve == nullptr ||
      !arrays_present(curve)) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!finite3(p1) || !finite3(p2) || !finite3(p3)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  double c[3], r, n[3];
  *rc = circle_through(p1, p2, p3, c, &r, n);
  if (*rc == BSINARG) *rc = BSCOLLIN;
  ArcPoles arc;
  if (*rc == BSSUCC) *rc = arc_poles(p1, c, p3, n, arc, n);
  if (*rc != BSSUCC) return KW_FINISH(FALSE);
  // The ends are the given points exactly (their weights are 1).
  v3::copy(p1, arc.poles);
  v3::copy(p3, arc.poles + 3 * (arc.num_poles - 1));
  store_arc(arc, *curve);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BScircprop(BSrc *rc, const double *p1, const double *p2,
                                       const double *p3, double *centre, double *radius,
                                       double *normal) {
  KW_EPILOGUE(rc);
  if (p1 == nullptr || p2 == nullptr || p3 == nullptr || centre == nullptr || radius == nullptr ||
      normal == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!finite3(p1) || !finite3(p2) || !finite3(p3)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  *rc = circle_through(p1, p2, p3, centre, radius, normal);
  return KW_FINISH(TRUE);
}

extern "C" KW_API void BSangweig(double angle, double *weights) {
  if (weights == nullptr) return;
  weights[0] = 1.0;
  weights[1] = std::cos(angle);
  weights[2] = 1.0;
}

extern "C" KW_API BSboolean BSconicgen0(BSrc *rc, BScurve *curve) {
  KW_EPILOGUE(rc);
  if (curve == nullptr || curve->poles == nullptr || curve->knots == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  curve->order = 3;
  curve->periodic = 0;
  curve->non_uniform = 1;
  curve->num_poles = 0;
  curve->num_knots = 0;
  curve->planar = 1;
  curve->phy_closed = 0;
  curve->num_boundaries = 0;
  curve->bdrys = nullptr;
  return KW_FINISH(TRUE);
}
