// Nearest points of a coordinate-major spline through Legendre forms of its Bezier
// pieces, with a starting bound per point, a closed form for planar circular arcs
// and a final pass over the poles the curve passes through.
//
// A Bezier piece on t in [0, 1] becomes, row by row, a Legendre series on x in
// [-1, 1] (t = (x + 1)/2). The search of one piece halves the series and bounds
// every half by its Legendre box (|P_k| <= 1 on [-1, 1]: a row lies within l_0 -+
// sum |l_k|); a half whose rows truncate to straight lines at tol / 128 is solved
// as a segment and polished by Newton's method on the exact series.
#include <cmath>
#include <cstring>

#include "bases/series.hpp"
#include "frame/frame.hpp"
#include "knotwork.h"
#include "arcs/arcs.hpp"
#include "query/boxes.hpp"
#include "query/project.hpp"

namespace knotwork {

namespace {

constexpr double kCircleEps = 2.220446049250313e-14;
constexpr double kPruneMargin = 1.00000000000001;
constexpr double kTruncationFactor = 0.0078125;
constexpr int kNodeValues = kMaxPieceValues + 2;  // rows, then the x interval
constexpr int kNodeStack = 160;                   // halving depth is bounded by the width floor
constexpr double kWidthFloor = 1e-13;

// One piece in Legendre form with its first and second derivative series.
struct LegendreForm {
  int deg = 0, dim = 0;
  bool rational = false;
  double l[kMaxPieceValues], d1[kMaxPieceValues], d2[kMaxPieceValues];
  int rows() const { return dim + (rational ? 1 : 0); }

  void build(const BezierPiece &pc) {
    deg = pc.deg;
    dim = pc.dim;
    rational = pc.rational;
    const int k = deg + 1;
    for (int r = 0; r < rows(); ++r) {
      long double work[2 * kMaxPieceOrder];
      bezier_to_legendre_unchecked(deg, pc.rows + r * k, l + r * k, work);
      std::memcpy(d1 + r * k, l + r * k, sizeof(double) * k);
      legendre_derivative(deg, d1 + r * k, d1 + r * k);
      if (deg >= 1) {
        std::memcpy(d2 + r * k, d1 + r * k, sizeof(double) * deg);
        legendre_derivative(deg - 1, d2 + r * k, d2 + r * k);
      }
    }
  }

  // Cartesian point (and, with c1/c2 not null, first and second derivative in x).
  void eval(double x, double *c, double *c1, double *c2) const {
    const int k = deg + 1;
    double w = 1.0, w1 = 0.0, w2 = 0.0;
    if (rational) {
      w = clenshaw_legendre(deg, l + dim * k, x);
      w1 = clenshaw_legendre(deg - 1, d1 + dim * k, x);
      w2 = clenshaw_legendre(deg - 2, d2 + dim * k, x);
    }
    for (int d = 0; d < dim; ++d) {
      const double v = clenshaw_legendre(deg, l + d * k, x) / w;
      c[d] = v;
      if (c1 == nullptr) continue;
      const double n1 = clenshaw_legendre(deg - 1, d1 + d * k, x);
      const double n2 = clenshaw_legendre(deg - 2, d2 + d * k, x);
      const double v1 = (n1 - w1 * v) / w;
      c1[d] = v1;
      c2[d] = (n2 - 2.0 * w1 * v1 - w2 * v) / w;
    }
  }
};

double dist_sq(int dim, const double *a, const double *b) {
  double s = 0.0;
  for (int d = 0; d < dim; ++d) s += (a[d] - b[d]) * (a[d] - b[d]);
  return s;
}

// Lower bound of the squared distance from P to a piece given by the Legendre rows
// of C - P on [-1, 1] (homogeneous when rational: rows N - P w and the weight row w,
// so |C - P| = |N - P w| / w).
double legendre_box_distance_sq(int deg, int dim, bool rational, const double *rows) {
  const int k = deg + 1;
  double whi = 1.0;
  if (rational) {
    double s = 0.0;
    const double *w = rows + dim * k;
    for (int i = 1; i < k; ++i) s += std::fabs(w[i]);
    if (!(w[0] - s > 0.0)) return 0.0;  // the weight range says nothing yet
    whi = w[0] + s;
  }
  double sum = 0.0;
  for (int d = 0; d < dim; ++d) {
    const double *r = rows + d * k;
    double s = 0.0;
    for (int i = 1; i < k; ++i) s += std::fabs(r[i]);
    const double e = r[0] - s > 0.0 ? r[0] - s : r[0] + s < 0.0 ? -(r[0] + s) : 0.0;
    sum += e * e;
  }
  return sum / (whi * whi);
}

// Every row truncates to a line (degree at most 1) at the tolerance.
bool rows_straight(int deg, int rows, const double *l, double ttol) {
  for (int r = 0; r < rows; ++r)
    if (truncated_degree(deg, l + r * (deg + 1), ttol) > 1) return false;
  return true;
}

// Interval arithmetic for the monotonicity test.
struct Iv {
  double lo, hi;
};
Iv operator-(Iv a, Iv b) {
  return {a.lo - b.hi, a.hi - b.lo};
}
Iv operator*(Iv a, Iv b) {
  const double p[4] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
  double lo = p[0], hi = p[0];
  for (int i = 1; i < 4; ++i) {
    lo = p[i] < lo ? p[i] : lo;
    hi = p[i] > hi ? p[i] : hi;
  }
  return {lo, hi};
}
Iv operator/(Iv a, Iv w) {  // w.lo > 0
  return a * Iv{1.0 / w.hi, 1.0 / w.lo};
}
Iv legendre_range(int deg, const double *r) {
  if (deg < 0) return {0.0, 0.0};
  double s = 0.0;
  for (int i = 1; i <= deg; ++i) s += std::fabs(r[i]);
  return {r[0] - s, r[0] + s};
}

// Whether (C - P) . C' is increasing on the whole sub-piece with local Legendre
// rows lr (checked by interval bounds of C, C' and C''): the squared distance then
// has at most one local minimum inside it.
bool distance_unimodal(int deg, int dim, bool rational, const double *lr) {
  const int k = deg + 1;
  double d1[kMaxPieceOrder], d2[kMaxPieceOrder];
  Iv w{1.0, 1.0}, w1{0.0, 0.0}, w2{0.0, 0.0};
  auto ranges = [&](const double *row, Iv *v, Iv *v1, Iv *v2) {
    *v = legendre_range(deg, row);
    legendre_derivative(deg, row, d1);
    *v1 = legendre_range(deg - 1, d1);
    legendre_derivative(deg - 1, d1, d2);
    *v2 = legendre_range(deg - 2, d2);
  };
  if (rational) {
    ranges(lr + dim * k, &w, &w1, &w2);
    if (!(w.lo > 0.0)) return false;
  }
  double lower = 0.0;
  for (int d = 0; d < dim; ++d) {
    Iv n, n1, n2;
    ranges(lr + d * k, &n, &n1, &n2);
    Iv c = n, c1 = n1, c2 = n2;
    if (rational) {
      c = n / w;
      c1 = (n1 - w1 * c) / w;
      c2 = (n2 - Iv{2.0, 2.0} * w1 * c1 - w2 * c) / w;
    }
    const Iv sq = c1 * c1;
    lower += (sq.lo > 0.0 ? sq.lo : 0.0) + (c * c2).lo;
  }
  return lower > 0.0;
}

// The search state of one point on one piece.
struct PieceSearch {
  const LegendreForm &f;
  const double *p;
  double best_sq;  // squared distance to beat
  double best_x = 0.0;
  bool found = false;
  double c[3 * 32];

  void consider(double x) {
    f.eval(x, c, nullptr, nullptr);
    const double s = dist_sq(f.dim, c, p);
    if (s < best_sq) {
      best_sq = s;
      best_x = x;
      found = true;
    }
  }

  // Newton's method on (C - P) . C' from x0, kept in [a, b].
  double polish(double x0, double a, double b) {
    double x = x0;
    double *c0 = c, *c1 = c + f.dim, *c2 = c + 2 * f.dim;
    for (int it = 0; it < 12; ++it) {
      f.eval(x, c0, c1, c2);
      double g = 0.0, gp = 0.0;
      for (int d = 0; d < f.dim; ++d) {
        const double r = c0[d] - p[d];
        g += r * c1[d];
        gp += c1[d] * c1[d] + r * c2[d];
      }
      if (!(gp > 0.0)) break;
      double xn = x - g / gp;
      xn = xn < a ? a : xn > b ? b : xn;
      if (xn == x) break;
      const bool small = std::fabs(xn - x) <= 1e-15 * (b - a + 1.0);
      x = xn;
      if (small) break;
    }
    return x;
  }

  // Minimum over [a, b] where (C - P) . C' increases: an end, or the root of it by
  // Newton steps kept inside a shrinking bracket.
  void solve_unimodal(double a, double b) {
    consider(a);
    consider(b);
    double lo = a, hi = b, x = 0.5 * (a + b);
    double *c0 = c, *c1 = c + f.dim, *c2 = c + 2 * f.dim;
    for (int it = 0; it < 100 && hi > lo; ++it) {
      f.eval(x, c0, c1, c2);
      double g = 0.0, gp = 0.0;
      for (int d = 0; d < f.dim; ++d) {
        const double r = c0[d] - p[d];
        g += r * c1[d];
        gp += c1[d] * c1[d] + r * c2[d];
      }
      if (g == 0.0) break;
      if (g < 0.0)
        lo = x;
      else
        hi = x;
      double xn = gp > 0.0 ? x - g / gp : 0.5 * (lo + hi);
      if (!(xn > lo && xn < hi)) xn = 0.5 * (lo + hi);
      if (std::fabs(xn - x) <= 4e-16 * (std::fabs(x) + 1.0)) {
        x = xn;
        break;
      }
      x = xn;
    }
    consider(x);
  }

  // A straight sub-piece [a, b] with local rows lr: the foot on the chord, polished.
  void solve_line(const double *lr, double a, double b) {
    const int k = f.deg + 1, dim = f.dim;
    double e0[32], e1[32];
    double w0 = 1.0, w1 = 1.0;
    if (f.rational) {
      w0 = clenshaw_legendre(f.deg, lr + dim * k, -1.0);
      w1 = clenshaw_legendre(f.deg, lr + dim * k, 1.0);
    }
    double num = 0.0, den = 0.0;
    for (int d = 0; d < dim; ++d) {
      e0[d] = clenshaw_legendre(f.deg, lr + d * k, -1.0) / w0;
      e1[d] = clenshaw_legendre(f.deg, lr + d * k, 1.0) / w1;
      num -= e0[d] * (e1[d] - e0[d]);  // the rows hold C - P
      den += (e1[d] - e0[d]) * (e1[d] - e0[d]);
    }
    double s = den > 0.0 ? num / den : 0.5;
    s = s < 0.0 ? 0.0 : s > 1.0 ? 1.0 : s;
    consider(a);
    consider(b);
    consider(polish(a + (b - a) * s, a, b));
  }
};

// Nearest point of one Legendre piece to p nearer than bound (a distance): 0 with
// *dist, *x and foot, or -12 when nothing is nearer. nodes: kNodeStack x
// kNodeValues doubles of workspace.
BSrc nearest_on_legendre(const LegendreForm &f, const double *p, double tol, double bound,
                         double *nodes, double *dist, double *x, double *foot) {
  PieceSearch s{f, p, bound < kLargestDouble ? bound * bound : kLargestDouble, 0.0, false, {}};
  const int k = f.deg + 1, rows = f.rows(), vals = rows * k;
  const double ttol = tol * kTruncationFactor;
  int top = 1;
  std::memcpy(nodes, f.l, sizeof(double) * vals);
  for (int d = 0; d < f.dim; ++d)  // translate: rows of C - P (N - P w when rational)
    for (int i = 0; i < (f.rational ? k : 1); ++i)
      nodes[d * k + i] -= p[d] * (f.rational ? f.l[f.dim * k + i] : 1.0);
  nodes[kMaxPieceValues] = -1.0;
  nodes[kMaxPieceValues + 1] = 1.0;
  while (top > 0) {
    double *nd = nodes + static_cast<std::ptrdiff_t>(--top) * kNodeValues;
    const double a = nd[kMaxPieceValues], b = nd[kMaxPieceValues + 1];
    if (legendre_box_distance_sq(f.deg, f.dim, f.rational, nd) >= s.best_sq * kPruneMargin)
      continue;
    if (distance_unimodal(f.deg, f.dim, f.rational, nd)) {
      s.solve_unimodal(a, b);
      continue;
    }
    if (b - a <= kWidthFloor || top + 2 > kNodeStack || rows_straight(f.deg, rows, nd, ttol)) {
      s.solve_line(nd, a, b);
      continue;
    }
    const double m = 0.5 * (a + b);
    s.consider(m);
    // Halves into slots top (left) and top + 1 (right); the nearer one goes on top.
    double *left = nodes + static_cast<std::ptrdiff_t>(top) * kNodeValues;
    double *right = left + kNodeValues;
    double tmp[kMaxPieceValues];
    std::memcpy(tmp, nd, sizeof(double) * vals);
    for (int r = 0; r < rows; ++r)
      halve_legendre_unchecked(f.deg, tmp + r * k, left + r * k, right + r * k);
    left[kMaxPieceValues] = a, left[kMaxPieceValues + 1] = m;
    right[kMaxPieceValues] = m, right[kMaxPieceValues + 1] = b;
    if (legendre_box_distance_sq(f.deg, f.dim, f.rational, left) <
        legendre_box_distance_sq(f.deg, f.dim, f.rational, right)) {
      double swap[kNodeValues];
      std::memcpy(swap, left, sizeof swap);
      std::memcpy(left, right, sizeof swap);
      std::memcpy(right, swap, sizeof swap);
    }
    top += 2;
  }
  // End-point pass: the nearer end (x = -1 on ties) replaces a result less than
  // tol / 2 nearer than it.
  double ends[2];
  for (int e = 0; e < 2; ++e) {
    f.eval(e == 0 ? -1.0 : 1.0, s.c, nullptr, nullptr);
    ends[e] = std::sqrt(dist_sq(f.dim, s.c, p));
  }
  const int e = ends[1] < ends[0] ? 1 : 0;
  bool found = s.found;
  double bx = s.best_x;
  if (found ? ends[e] < std::sqrt(s.best_sq) + 0.5 * tol : ends[e] < bound) {
    found = true;
    bx = e == 0 ? -1.0 : 1.0;
  }
  if (!found) return BSNOSOLUTION;
  f.eval(bx, foot, nullptr, nullptr);
  *dist = std::sqrt(dist_sq(f.dim, foot, p));
  *x = bx;
  return BSSUCC;
}

// Workspace of one call: the pieces, their Legendre forms (made when first needed)
// and the node stack.
struct LegendreCurve {
  SplinePieces sp;
  ScratchBuffer forms_buf;
  ScratchBuffer nodes_buf;
  LegendreForm *forms = nullptr;
  uint8_t *made = nullptr;
  double *nodes = nullptr;

  BSrc build(int deg, int32_t n, int dim, bool rational, const double *poles, const double *knots) {
    BSrc rc = sp.build(deg, n, dim, rational, poles, knots, true);
    if (rc != BSSUCC) return rc;
    const std::size_t count = static_cast<std::size_t>(sp.set.count);
    if (!forms_buf.acquire(count * (sizeof(LegendreForm) + 1)) ||
        !nodes_buf.acquire(sizeof(double) * kNodeStack * kNodeValues))
      return BSNOSTKMEMORY;
    forms = forms_buf.as<LegendreForm>();
    made = reinterpret_cast<uint8_t *>(forms + count);
    std::memset(made, 0, count);
    nodes = nodes_buf.as<double>();
    return BSSUCC;
  }
  const LegendreForm &form(int32_t j) {
    if (!made[j]) {
      if (!sp.set.ready(j)) sp.set.convert(j);
      forms[j].build(sp.set.piece(j));
      made[j] = 1;
    }
    return forms[j];
  }
  double param(int32_t j, double x) const {
    const double *br = sp.set.breaks;
    if (x == -1.0) return br[j];
    if (x == 1.0) return br[j + 1];
    return br[j] + 0.5 * (x + 1.0) * (br[j + 1] - br[j]);
  }
};

// One point over all pieces, nearest box first: a linear scan of the piece boxes,
// or for a lazy set a descent of its box tree; only pieces whose box lies nearer
// than the best distance are searched. 0 or -12.
BSrc nearest_on_curve(LegendreCurve &lc, const double *p, double tol, double bound, double *dist,
                      double *param, double *foot) {
  PieceSet &ps = lc.sp.set;
  const int dim = ps.dim;
  double best = bound;
  bool found = false;
  auto search = [&](int32_t j) {
    if (!(ps.bound_distance_sq(j, p) < best * best * kPruneMargin)) return;
    const LegendreForm &form = lc.form(j);  // converted: its pole box is tighter
    if (!(ps.bound_distance_sq(j, p) < best * best * kPruneMargin)) return;
    double d = 0.0, x = 0.0, f[32];
    if (nearest_on_legendre(form, p, tol, best, lc.nodes, &d, &x, f) != BSSUCC) return;
    best = d;
    found = true;
    *dist = d;
    *param = lc.param(j, x);
    std::memcpy(foot, f, sizeof(double) * dim);
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
  double ang = arc.dir * std::atan2(cross2(sv, v), sv[0] * v[0] + sv[1] * v[1]);
  // Angle from the middle of the arc, in (-pi, pi].
  double diff = ang - arc.half;
  constexpr double kPi = 3.141592653589793;
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
  double d = 0.0, u = 0.0, f[32];
  for (int32_t i = 0; circle && i < num_pts; ++i)
    circle =
        nearest_on_arc(ps, arc, points + 2 * static_cast<std::ptrdiff_t>(i), &d, &u, f) == BSSUCC &&
        d < dists_out[i];
  bool missing = false;
  for (int32_t i = 0; i < num_pts; ++i) {
    const double *p = points + static_cast<std::ptrdiff_t>(i) * dim;
    double *foot = feet_out + static_cast<std::ptrdiff_t>(i) * dim;
    bool found;
    if (circle) {
      found = nearest_on_arc(ps, arc, p, &d, &u, f) == BSSUCC;
    } else {
      const BSrc prc = nearest_on_curve(lc, p, tol, dists_out[i], &d, &u, f);
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
    if (nearest_break_pole(num_breaks, break_index, break_param, n, dim, rational, poles, p, &d, &u,
                           f) &&
        (dists_out[i] == kLargestDouble || d < dists_out[i] + 0.5 * tol)) {
      dists_out[i] = d;
      pars_out[i] = u;
      std::memcpy(foot, f, sizeof(double) * dim);
      found = true;
    }
    if (!found) {
      missing = true;
      // The incoming result stays; its foot is the curve point at its parameter.
      if (pars_out[i] >= dlo && pars_out[i] <= dhi) point_at(ps, pars_out[i], foot);
    }
  }
  return missing ? BSNOSOLUTION : BSSUCC;
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
  if (degree + 1 > kMaxPieceOrder) {
    *rc = BSDEGENINPUT;
    return;
  }
  const bool rat = rational != 0;
  if (degree < 1 || num_poles <= degree || dim < 1 || num_pts < 0 ||
      (dim + (rat ? 1 : 0)) * (degree + 1) > kMaxPieceValues) {
    *rc = BSINARG;
    return;
  }
  const std::ptrdiff_t rows = static_cast<std::ptrdiff_t>(dim + (rat ? 1 : 0)) * num_poles;
  // Coordinates beyond 1e150 would overflow the squared distances.
  bool ok = query_points_ok(static_cast<int32_t>(rows), 1, poles) &&
            finite_rows(num_poles + degree + 1, knots) && knots[degree] < knots[num_poles] &&
            std::isfinite(tol) && tol >= 0.0 && query_points_ok(num_pts, dim, points);
  for (int32_t i = 0; ok && i < num_poles + degree; ++i) ok = knots[i] <= knots[i + 1];
  for (int32_t i = 0; ok && rat && i < num_poles; ++i)
    ok = poles[static_cast<std::ptrdiff_t>(dim) * num_poles + i] > 0.0;
  for (int32_t i = 0; ok && i < num_pts; ++i) ok = dists_in[i] >= 0.0;  // NaN fails too
  if (!ok) {
    *rc = BSINARG;
    return;
  }
  *rc = nearest_legendre_spline(degree, num_poles, dim, rat, poles, knots, num_pts, points, tol,
                                dists_in, pars_in, dists_out, pars_out, feet_out);
}
