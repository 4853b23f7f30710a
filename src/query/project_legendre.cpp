// Nearest points of a coordinate-major spline through Legendre forms of its Bezier
// pieces, with a starting bound per point, a closed form for planar circular arcs
// and a final pass over the poles the curve passes through. The search of one
// piece lives in project_legendre_piece.cpp.
#include <cmath>
#include <cstring>

#include "arcs/arcs.hpp"
#include "bases/series.hpp"
#include "frame/frame.hpp"
#include "knotwork.h"
#include "query/boxes.hpp"
#include "query/project.hpp"
#include "query/project_legendre.hpp"

namespace knotwork {

namespace {

constexpr double kCircleEps = 2.220446049250313e-14;
constexpr double kPruneMargin = 1.00000000000001;

// Workspace of one call: the pieces, their Legendre rows (made when first needed)
// and the node stack of the piece search.
struct LegendreCurve {
  SplinePieces sp;
  ScratchBuffer forms_buf;
  ScratchBuffer nodes_buf;
  double *forms = nullptr;
  uint8_t *made = nullptr;
  double *nodes = nullptr;

  BSrc build(int deg, int32_t n, int dim, bool rational, const double *poles, const double *knots) {
    BSrc rc = sp.build(deg, n, dim, rational, poles, knots, true);
    if (rc != BSSUCC) return rc;
    const std::size_t count = static_cast<std::size_t>(sp.set.count);
    const std::size_t block = static_cast<std::size_t>(sp.set.block());
    if (!forms_buf.acquire(count * (sizeof(double) * block + 1)) ||
        !nodes_buf.acquire(sizeof(double) * kLegendreWorkDoubles))
      return BSNOSTKMEMORY;
    forms = forms_buf.as<double>();
    made = reinterpret_cast<uint8_t *>(forms + count * block);
    std::memset(made, 0, count);
    nodes = nodes_buf.as<double>();
    return BSSUCC;
  }
  // Piece j in both forms (a lazy set converts it when first asked).
  LegendrePiece piece(int32_t j) {
    PieceSet &ps = sp.set;
    if (!ps.ready(j)) ps.convert(j);
    const BezierPiece bz = ps.piece(j);
    const int k = ps.deg + 1, block = ps.block();
    double *l = forms + static_cast<std::ptrdiff_t>(j) * block;
    if (!made[j]) {
      long double work[2 * kMaxPieceOrder];
      for (int r = 0; r < bz.row_count(); ++r)
        bezier_to_legendre_unchecked(ps.deg, bz.rows + r * k, l + r * k, work);
      made[j] = 1;
    }
    LegendrePiece f;
    f.deg = ps.deg, f.dim = ps.dim, f.rational = ps.rational, f.bez = bz.rows, f.lgd = l;
    return f;
  }
  double param(int32_t j, double t) const {
    const double *br = sp.set.breaks;
    if (t == 0.0) return br[j];
    if (t == 1.0) return br[j + 1];
    return br[j] + t * (br[j + 1] - br[j]);
  }
};

// One point over all pieces, nearest box first: a linear scan of the piece boxes,
// or for a lazy set a descent of its box tree; only pieces whose box lies nearer
// than the best distance are searched (the piece search, then its end pass).
// 0 or -12.
BSrc nearest_on_curve(LegendreCurve &lc, const double *p, double tol, double bound, double *dist,
                      double *param, double *foot) {
  PieceSet &ps = lc.sp.set;
  const int dim = ps.dim;
  double best = bound;
  bool found = false;
  auto search = [&](int32_t j) {
    if (!(ps.bound_distance_sq(j, p) < best * best * kPruneMargin)) return;
    const LegendrePiece f = lc.piece(j);  // converted: its pole box is tighter
    if (!(ps.bound_distance_sq(j, p) < best * best * kPruneMargin)) return;
    double d = 0.0, t = 0.0, c[kMaxPieceValues];
    bool hit = nearest_on_legendre_piece(f, p, tol, best, lc.nodes, &d, &t, c) == BSSUCC;
    if (!prefer_piece_end(f, p, tol, best, hit, &d, &t, c)) return;
    best = d;
    found = true;
    *dist = d;
    *param = lc.param(j, t);
    std::memcpy(foot, c, sizeof(double) * dim);
  };
  if (ps.tree == nullptr) {
    double *bd = lc.sp.box_distances;
    int32_t first = 0;
    for (int32_t j = 0; j < ps.count; ++j) {
      bd[j] = ps.bound_distance_sq(j, p);
      if (bd[j] < bd[first]) first = j;
    }
    search(first);
    for (int32_t j = 0; j < ps.count; ++j)
      if (j != first && bd[j] < best * best * kPruneMargin) search(j);
  } else {
    int32_t stack[96];
    int top = 0;
    stack[top++] = 1;
    const std::ptrdiff_t stride = 2 * dim;
    auto node_d2 = [&](int32_t node) {
      const double *b = ps.tree + node * stride;
      return box_distance_sq(dim, p, b, b + dim);
    };
    while (top > 0) {
      const int32_t node = stack[--top];
      if (!(node_d2(node) < best * best * kPruneMargin)) continue;
      if (node >= ps.leaf_base) {
        // The pieces of the leaf, nearest box first.
        const int32_t first = (node - ps.leaf_base) * kPiecesPerLeaf;
        int32_t order[kPiecesPerLeaf];
        double bd[kPiecesPerLeaf];
        int m = 0;
        for (int32_t j = first; j < first + kPiecesPerLeaf && j < ps.count; ++j, ++m) {
          const double v = ps.bound_distance_sq(j, p);
          int at = m;
          for (; at > 0 && bd[at - 1] > v; --at) order[at] = order[at - 1], bd[at] = bd[at - 1];
          order[at] = j, bd[at] = v;
        }
        for (int i = 0; i < m; ++i) search(order[i]);
        continue;
      }
      const int32_t a = 2 * node, b = a + 1;
      const bool a_nearer = node_d2(a) <= node_d2(b);
      stack[top++] = a_nearer ? b : a;
      stack[top++] = a_nearer ? a : b;
    }
  }
  return found ? BSSUCC : BSNOSOLUTION;
}

// ---- Circular arcs (dimension 2, rational quadratic) -------------------------------

// Piece j in Bezier form (a lazy set converts it when first asked).
BezierPiece piece_of(PieceSet &ps, int32_t j) {
  if (!ps.ready(j)) ps.convert(j);
  return ps.piece(j);
}

struct Arc {
  double c[2], s[2], r = 0.0;
  double half = 0.0;  // half sweep
  double dir = 1.0;   // +1 counterclockwise
};

double cross2(const double *a, const double *b) {
  return a[0] * b[1] - a[1] * b[0];
}

void bezier_point2(const BezierPiece &pc, double t, double *q) {
  double w = 1.0;
  if (pc.rational) w = bezier_value(2, pc.rows + 6, t);
  q[0] = bezier_value(2, pc.rows, t) / w;
  q[1] = bezier_value(2, pc.rows + 3, t) / w;
}

// Whether every piece is an arc of one circle (five points of a conic on the
// circle make the conic that circle), traversed in one direction, with the centre,
// start, radius and half sweep.
bool circle_of_pieces(PieceSet &ps, Arc *arc) {
  if (ps.dim != 2 || !ps.rational || ps.deg != 2) return false;
  const BezierPiece p0 = piece_of(ps, 0);
  double a[2], m[2], e[2];
  bezier_point2(p0, 0.0, a);
  bezier_point2(p0, 0.5, m);
  bezier_point2(p0, 1.0, e);
  // Circumcentre of a, m, e.
  const double bx = m[0] - a[0], by = m[1] - a[1], cx = e[0] - a[0], cy = e[1] - a[1];
  const double den = 2.0 * (bx * cy - by * cx);
  const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
  if (!(std::fabs(den) > 1e-12 * (b2 + c2))) return false;
  const double c[2] = {a[0] + (cy * b2 - by * c2) / den, a[1] + (bx * c2 - cx * b2) / den};
  const double r = std::hypot(a[0] - c[0], a[1] - c[1]);
  const double ra[2] = {a[0] - c[0], a[1] - c[1]}, rm[2] = {m[0] - c[0], m[1] - c[1]};
  const double dir = cross2(ra, rm) > 0.0 ? 1.0 : -1.0;
  double sweep = 0.0;
  for (int32_t j = 0; j < ps.count; ++j) {
    const BezierPiece pc = piece_of(ps, j);
    double q[5][2];
    for (int i = 0; i < 5; ++i) {
      bezier_point2(pc, 0.25 * i, q[i]);
      q[i][0] -= c[0];
      q[i][1] -= c[1];
      if (!(std::fabs(std::hypot(q[i][0], q[i][1]) - r) <= 1e-11 * r)) return false;
    }
    for (int i = 0; i < 4; ++i) {
      const double turn =
          std::atan2(cross2(q[i], q[i + 1]), q[i][0] * q[i + 1][0] + q[i][1] * q[i + 1][1]);
      if (!(dir * turn > 0.0)) return false;
      sweep += dir * turn;
    }
  }
  if (sweep > 2.0 * 3.141592653589793 * (1.0 + 1e-12)) return false;
  arc->c[0] = c[0], arc->c[1] = c[1];
  arc->s[0] = a[0], arc->s[1] = a[1];
  arc->r = r;
  arc->half = 0.5 * sweep;
  arc->dir = dir;
  return true;
}

// Parameter of the point at angle phi (from the start, in the arc's direction,
// within the sweep): the piece holding it, then the root on that piece of the
// quadratic cross(w (C - centre), ray) in Bernstein form.
double arc_parameter(PieceSet &ps, const Arc &arc, double phi) {
  const double ca = std::cos(arc.dir * phi), sa = std::sin(arc.dir * phi);
  const double sx = (arc.s[0] - arc.c[0]) / arc.r, sy = (arc.s[1] - arc.c[1]) / arc.r;
  const double ray[2] = {ca * sx - sa * sy, sa * sx + ca * sy};
  double start = 0.0;  // angle of the piece start from the arc start
  for (int32_t j = 0; j < ps.count; ++j) {
    const BezierPiece pc = piece_of(ps, j);
    double q[3][2], cf[3];
    for (int i = 0; i < 3; ++i) {
      const double w = pc.rows[6 + i];
      q[i][0] = pc.rows[i] - w * arc.c[0];
      q[i][1] = pc.rows[3 + i] - w * arc.c[1];
      cf[i] = arc.dir * cross2(q[i], ray);
    }
    // Each piece turns by less than pi, so the signs of cf tell ahead and behind.
    const double turn =
        arc.dir * std::atan2(cross2(q[0], q[2]), q[0][0] * q[2][0] + q[0][1] * q[2][1]);
    const double end = start + (turn > 0.0 ? turn : turn + kTwoPi);
    if (phi > end && j + 1 < ps.count) {
      start = end;
      continue;
    }
    if (!(cf[0] > 0.0)) return ps.breaks[j];
    if (!(cf[2] < 0.0)) return ps.breaks[j + 1];
    // Bisection on the Bernstein quadratic (positive at 0, negative at 1).
    double lo = 0.0, hi = 1.0;
    for (int it = 0; it < 64 && hi - lo > 1e-17; ++it) {
      const double t = 0.5 * (lo + hi);
      if (bezier_value(2, cf, t) > 0.0)
        lo = t;
      else
        hi = t;
    }
    const double t = 0.5 * (lo + hi);
    return ps.breaks[j] + t * (ps.breaks[j + 1] - ps.breaks[j]);
  }
  return ps.breaks[ps.count];
}

// tan(theta / 2) for the angle theta in (-pi, pi] from u to v (neither zero), the
// inverse of the rational parametrisation of the circle; false when theta is pi.
bool half_angle_tangent(const double *u, const double *v, double *t) {
  const double den = std::hypot(u[0], u[1]) * std::hypot(v[0], v[1]) + u[0] * v[0] + u[1] * v[1];
  if (!(den > 0.0)) return false;
  *t = cross2(u, v) / den;
  return true;
}

// Closed-form nearest point of an arc: 0, or 50 when the point's angle lies
// outside the sweep (the foot is then an end, found by the general search).
BSrc nearest_on_arc(PieceSet &ps, const Arc &arc, const double *p, double *dist, double *param,
                    double *foot) {
  const double v[2] = {p[0] - arc.c[0], p[1] - arc.c[1]};
  const double d = std::hypot(v[0], v[1]);
  if (d < kCircleEps || arc.r < kCircleEps) {
    // Every arc point is equally near: the start, with the start parameter.
    foot[0] = arc.s[0], foot[1] = arc.s[1];
    *dist = d < kCircleEps ? arc.r : d;
    *param = ps.breaks[0];
    return BSSUCC;
  }
  const double sv[2] = {arc.s[0] - arc.c[0], arc.s[1] - arc.c[1]};
  constexpr double kPi = 3.141592653589793;
  double ht = 0.0;
  const double ang = arc.dir * (half_angle_tangent(sv, v, &ht) ? 2.0 * std::atan(ht) : kPi);
  // Angle from the middle of the arc, in (-pi, pi].
  double diff = ang - arc.half;
  while (diff <= -kPi) diff += 2.0 * kPi;
  while (diff > kPi) diff -= 2.0 * kPi;
  if (!(std::fabs(diff) <= arc.half + kCircleEps)) return BSDEGENINPUT;
  double phi = arc.half + diff;
  phi = phi < 0.0 ? 0.0 : phi > 2.0 * arc.half ? 2.0 * arc.half : phi;
  foot[0] = arc.c[0] + arc.r * v[0] / d;
  foot[1] = arc.c[1] + arc.r * v[1] / d;
  *dist = std::fabs(d - arc.r);
  *param = arc_parameter(ps, arc, phi);
  return BSSUCC;
}

// ---- Poles the curve passes through --------------------------------------------------

// The poles the curve passes through, in knot order: a run of deg equal knots
// ending at index i (the run restarts after it) names pole i - deg at the knot
// value; runs outside the domain or naming no pole are skipped. Returns the count.
int32_t break_poles(int deg, int32_t n, const double *knots, int32_t *index, double *param) {
  const double lo = knots[deg], hi = knots[n];
  int32_t count = 0, run = 0;
  for (int32_t i = 1; i <= n + deg; ++i) {
    run = (run > 0 && knots[i] == knots[i - 1]) ? run + 1 : 1;
    if (run < deg) continue;
    run = 0;
    const int32_t pole = i - deg;
    const double u = knots[i - deg + 1];
    if (pole < 0 || pole >= n || u < lo || u > hi) continue;
    index[count] = pole;
    param[count++] = u;
  }
  return count;
}

// The nearest of the break poles (the first on ties) with its parameter.
bool nearest_break_pole(int32_t count, const int32_t *index, const double *param, int32_t n,
                        int dim, bool rational, const double *poles, const double *p, double *dist,
                        double *u, double *foot) {
  double best = 0.0;
  int32_t at = -1;
  for (int32_t b = 0; b < count; ++b) {
    const int32_t pole = index[b];
    const double w = rational ? poles[static_cast<std::ptrdiff_t>(dim) * n + pole] : 1.0;
    double s = 0.0;
    for (int d = 0; d < dim; ++d) {
      const double e = poles[static_cast<std::ptrdiff_t>(d) * n + pole] / w - p[d];
      s += e * e;
    }
    if (at >= 0 && !(s < best)) continue;
    at = b;
    best = s;
  }
  if (at < 0) return false;
  const int32_t pole = index[at];
  const double w = rational ? poles[static_cast<std::ptrdiff_t>(dim) * n + pole] : 1.0;
  for (int d = 0; d < dim; ++d) foot[d] = poles[static_cast<std::ptrdiff_t>(d) * n + pole] / w;
  *u = param[at];
  *dist = std::sqrt(best);
  return true;
}

// Curve point at u (inside the domain) from the Bezier pieces.
void point_at(PieceSet &ps, double u, double *out) {
  int32_t lo = 0, hi = ps.count - 1;
  while (lo < hi) {
    const int32_t mid = (lo + hi + 1) / 2;
    if (ps.breaks[mid] <= u)
      lo = mid;
    else
      hi = mid - 1;
  }
  const double a = ps.breaks[lo], b = ps.breaks[lo + 1];
  double e[3 * 32];
  bezier_point_derivatives(piece_of(ps, lo), b > a ? (u - a) / (b - a) : 0.0, e);
  std::memcpy(out, e, sizeof(double) * ps.dim);
}

bool finite_rows(std::ptrdiff_t count, const double *v) {
  for (std::ptrdiff_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

BSrc nearest_legendre_spline(int deg, int32_t n, int dim, bool rational, const double *poles,
                             const double *knots, int32_t num_pts, const double *points, double tol,
                             const double *dists_in, const double *pars_in, double *dists_out,
                             double *pars_out, double *feet_out) {
  LegendreCurve lc;
  BSrc rc = lc.build(deg, n, dim, rational, poles, knots);
  if (rc != BSSUCC) return rc;
  PieceSet &ps = lc.sp.set;
  const double dlo = knots[deg], dhi = knots[n];
  ScratchBuffer break_buf(static_cast<std::size_t>(n) * (sizeof(double) + sizeof(int32_t)));
  if (!break_buf.ok()) return BSNOSTKMEMORY;
  double *break_param = break_buf.as<double>();
  int32_t *break_index = reinterpret_cast<int32_t *>(break_param + n);
  const int32_t num_breaks = break_poles(deg, n, knots, break_index, break_param);
  if (dists_out != dists_in) std::memcpy(dists_out, dists_in, sizeof(double) * num_pts);
  if (pars_out != pars_in) std::memcpy(pars_out, pars_in, sizeof(double) * num_pts);
  // Circle case: every point must project in closed form nearer than its bound.
  Arc arc;
  bool circle = circle_of_pieces(ps, &arc);
  double d = 0.0, u = 0.0, f[kMaxPieceValues];
  for (int32_t i = 0; circle && i < num_pts; ++i)
    circle =
        nearest_on_arc(ps, arc, points + 2 * static_cast<std::ptrdiff_t>(i), &d, &u, f) == BSSUCC &&
        d < dists_out[i];
  bool missing = false;
  const double *prev = nullptr;  // the last foot found
  for (int32_t i = 0; i < num_pts; ++i) {
    const double *p = points + static_cast<std::ptrdiff_t>(i) * dim;
    double *foot = feet_out + static_cast<std::ptrdiff_t>(i) * dim;
    // The nearest break pole: a point of the curve, so the search need not look
    // farther (a result at or beyond it would give way to it below).
    double pd = 0.0, pu = 0.0, pf[kMaxPieceValues];
    const bool pole = nearest_break_pole(num_breaks, break_index, break_param, n, dim, rational,
                                         poles, p, &pd, &pu, pf);
    bool found;
    if (circle) {
      found = nearest_on_arc(ps, arc, p, &d, &u, f) == BSSUCC;
    } else {
      const double bound = pole && pd < dists_out[i] ? pd : dists_out[i];
      // The previous foot is a curve point, so the nearest one lies no farther than
      // it (the margin covers rounding; a miss searches again with the bound).
      double seed = kLargestDouble;
      if (prev != nullptr) {
        seed = 0.0;
        for (int k = 0; k < dim; ++k) seed += (p[k] - prev[k]) * (p[k] - prev[k]);
        seed = std::sqrt(seed) * (1.0 + 1e-12);
      }
      BSrc prc = nearest_on_curve(lc, p, tol, seed < bound ? seed : bound, &d, &u, f);
      if (prc == BSNOSOLUTION && seed < bound) prc = nearest_on_curve(lc, p, tol, bound, &d, &u, f);
      if (prc != BSSUCC && prc != BSNOSOLUTION) return prc;
      found = prc == BSSUCC;
    }
    if (found && d < dists_out[i]) {
      dists_out[i] = d;
      pars_out[i] = u;
      std::memcpy(foot, f, sizeof(double) * dim);
    } else {
      found = false;
    }
    // Break poles: the nearest one replaces a result less than tol / 2 nearer.
    if (pole && (dists_out[i] == kLargestDouble || pd < dists_out[i] + 0.5 * tol)) {
      dists_out[i] = pd;
      pars_out[i] = pu;
      std::memcpy(foot, pf, sizeof(double) * dim);
      found = true;
    }
    if (!found) {
      missing = true;
      // The incoming result stays; its foot is the curve point at its parameter.
      if (pars_out[i] >= dlo && pars_out[i] <= dhi) point_at(ps, pars_out[i], foot);
    } else {
      prev = foot;
    }
  }
  return missing ? BSNOSOLUTION : BSSUCC;
}

// Statuses of the checks common to the spline entries (after the null checks):
// -2 bad sizes or values (see the header), 50 degree above 15; 0 otherwise.
BSrc check_spline(int16_t degree, int32_t num_poles, int32_t dim, BSboolean rational,
                  const double *poles, const double *knots, int32_t num_pts, const double *points,
                  double tol, const double *dists_in) {
  if (degree + 1 > kMaxPieceOrder) return BSDEGENINPUT;
  const bool rat = rational != 0;
  if (degree < 1 || num_poles <= degree || dim < 1 || num_pts < 0 ||
      (dim + (rat ? 1 : 0)) * (degree + 1) > kMaxPieceValues)
    return BSINARG;
  const std::ptrdiff_t rows = static_cast<std::ptrdiff_t>(dim + (rat ? 1 : 0)) * num_poles;
  // Coordinates beyond 1e150 would overflow the squared distances.
  bool ok = query_points_ok(static_cast<int32_t>(rows), 1, poles) &&
            finite_rows(num_poles + degree + 1, knots) && knots[degree] < knots[num_poles] &&
            std::isfinite(tol) && tol >= 0.0 && query_points_ok(num_pts, dim, points);
  for (int32_t i = 0; ok && i < num_poles + degree; ++i) ok = knots[i] <= knots[i + 1];
  for (int32_t i = 0; ok && rat && i < num_poles; ++i)
    ok = poles[static_cast<std::ptrdiff_t>(dim) * num_poles + i] > 0.0;
  for (int32_t i = 0; ok && i < num_pts; ++i) ok = dists_in[i] >= 0.0;  // NaN fails too
  return ok ? BSSUCC : BSINARG;
}

// BSmdptbscv1 on validated input: 0 with the result, or -12, 33.
BSrc nearest_legendre_spline_point(int deg, int32_t n, int dim, bool rational, const double *poles,
                                   const double *knots, const double *point, double tol,
                                   double bound, double *dist, double *par, double *foot) {
  LegendreCurve lc;
  const BSrc rc = lc.build(deg, n, dim, rational, poles, knots);
  if (rc != BSSUCC) return rc;
  double d = 0.0, u = 0.0, f[kMaxPieceValues];
  if (nearest_on_curve(lc, point, tol, bound, &d, &u, f) != BSSUCC) return BSNOSOLUTION;
  *dist = d;
  *par = u;
  std::memcpy(foot, f, sizeof(double) * dim);
  return BSSUCC;
}

// The arc of a validated spline for BSmdptcrcv and BSinvbspcrc: 0, 50 when the
// curve is no planar rational quadratic circular arc, 33.
BSrc spline_arc(SplinePieces &sp, int deg, int32_t n, int dim, bool rational, const double *poles,
                const double *knots, Arc *arc) {
  if (dim != 2 || deg != 2 || !rational) return BSDEGENINPUT;
  const BSrc rc = sp.build(deg, n, dim, rational, poles, knots);
  if (rc != BSSUCC) return rc;
  return circle_of_pieces(sp.set, arc) ? BSSUCC : BSDEGENINPUT;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSmdptbscv(int16_t degree, int32_t num_poles, int32_t dim,
                                  BSboolean rational, double *poles, double *knots, int32_t num_pts,
                                  double *points, double tol, double *dists_in, double *pars_in,
                                  double *dists_out, double *pars_out, double *feet_out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr ||
      (num_pts > 0 && (points == nullptr || dists_in == nullptr || pars_in == nullptr ||
                       dists_out == nullptr || pars_out == nullptr || feet_out == nullptr))) {
    *rc = BSNULLPTR;
    return;
  }
  *rc =
      check_spline(degree, num_poles, dim, rational, poles, knots, num_pts, points, tol, dists_in);
  if (*rc != BSSUCC) return;
  *rc = nearest_legendre_spline(degree, num_poles, dim, rational != 0, poles, knots, num_pts,
                                points, tol, dists_in, pars_in, dists_out, pars_out, feet_out);
}

extern "C" KW_API void BSmdptbscv1(int16_t degree, int32_t num_poles, int32_t dim,
                                   BSboolean rational, double *poles, double *knots, double *point,
                                   double tol, double bound, double *dist, double *par,
                                   double *foot, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr || point == nullptr || dist == nullptr ||
      par == nullptr || foot == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = check_spline(degree, num_poles, dim, rational, poles, knots, 1, point, tol, &bound);
  if (*rc == BSDEGENINPUT) *rc = BSINARG;
  if (*rc != BSSUCC) return;
  *rc = nearest_legendre_spline_point(degree, num_poles, dim, rational != 0, poles, knots, point,
                                      tol, bound, dist, par, foot);
}

extern "C" KW_API void BSmdptcrcv(int16_t degree, int32_t num_poles, int32_t dim,
                                  BSboolean rational, double *poles, double *knots, double *point,
                                  double *dist, double *par, double *foot, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr || point == nullptr || dist == nullptr ||
      par == nullptr || foot == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  const double none = kLargestDouble;
  *rc = check_spline(degree, num_poles, dim, rational, poles, knots, 1, point, 0.0, &none);
  if (*rc == BSDEGENINPUT) *rc = BSINARG;
  if (*rc != BSSUCC) return;
  SplinePieces sp;
  Arc arc;
  *rc = spline_arc(sp, degree, num_poles, dim, rational != 0, poles, knots, &arc);
  if (*rc != BSSUCC) return;
  double d = 0.0, u = 0.0, f[2];
  *rc = nearest_on_arc(sp.set, arc, point, &d, &u, f);
  if (*rc != BSSUCC) return;
  *dist = d;
  *par = u;
  foot[0] = f[0], foot[1] = f[1];
}

extern "C" KW_API void BSinvbspcrc(int16_t degree, int32_t num_poles, int32_t dim,
                                   BSboolean rational, double *poles, double *knots, double angle,
                                   double *par, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr || par == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = check_spline(degree, num_poles, dim, rational, poles, knots, 0, nullptr, 0.0, nullptr);
  if (*rc == BSDEGENINPUT) *rc = BSINARG;
  if (*rc != BSSUCC) return;
  SplinePieces sp;
  Arc arc;
  *rc = spline_arc(sp, degree, num_poles, dim, rational != 0, poles, knots, &arc);
  if (*rc != BSSUCC) return;
  const double sweep = 2.0 * arc.half;
  if (!(angle >= -kCircleEps && angle <= sweep + kCircleEps)) {
    *rc = BSINARG;
    return;
  }
  *par = arc_parameter(sp.set, arc, angle < 0.0 ? 0.0 : angle > sweep ? sweep : angle);
}

extern "C" KW_API void BSinvcircle(double *centre, double *start, double *point, double *t,
                                   BSboolean *defined, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (centre == nullptr || start == nullptr || point == nullptr || t == nullptr ||
      defined == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!query_points_ok(1, 2, centre) || !query_points_ok(1, 2, start) ||
      !query_points_ok(1, 2, point)) {
    *rc = BSINARG;
    return;
  }
  const double u[2] = {start[0] - centre[0], start[1] - centre[1]};
  const double v[2] = {point[0] - centre[0], point[1] - centre[1]};
  if ((u[0] == 0.0 && u[1] == 0.0) || (v[0] == 0.0 && v[1] == 0.0)) {
    *rc = BSDEGEN;
    return;
  }
  double h = 0.0;
  *defined = half_angle_tangent(u, v, &h) ? TRUE : FALSE;
  if (*defined) *t = h;
}
