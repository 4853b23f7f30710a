// Nearest point of a curve to points: the search over the Bezier pieces of a
// spline in rows (box distances order and prune the pieces, the previous point's
// foot bounds the next point's search), the search over the spans of a curve
// record read in place (no setup proportional to the curve beyond two passes over
// its poles), the curve-record front ends, the on-curve test and the closest pair
// of two point sets.
#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "bspline/bezier.hpp"
#include "bspline/kernel.hpp"
#include "bspline/knots.hpp"
#include "frame/frame.hpp"
#include "query/boxes.hpp"
#include "query/project.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {
namespace {

// Leaf boxes of one coordinate when the pieces' spans are consecutive: group g
// covers the values [g kPiecesPerLeaf, g kPiecesPerLeaf + kPiecesPerLeaf + deg)
// from the first span's first pole (the last group fewer). The groups are the
// inner loop, four at a time in registers, so their running minima and maxima
// are independent (no chain of dependent comparisons): one streaming pass over
// the row at the machine's throughput. lo and hi step by the box stride (2 dim).
void group_boxes_regular(const PieceSet &ps, const double *v, int32_t groups, double *lo,
                         double *hi) {
  const std::ptrdiff_t stride = 2 * ps.dim;
  const double *x = v + (ps.spans[0] - ps.deg);
  const int32_t width = kPiecesPerLeaf + ps.deg;
  // full groups: all values of the window lie before the end of the last span
  const int32_t full = ps.count / kPiecesPerLeaf;
  constexpr int kLanes = 4;  // groups in flight, their minima and maxima in registers
  int32_t g = 0;
  for (; g + kLanes <= full; g += kLanes) {
    const double *y = x + g * kPiecesPerLeaf;
    double l[kLanes], h[kLanes];
    for (int q = 0; q < kLanes; ++q) l[q] = h[q] = y[q * kPiecesPerLeaf];
    for (int32_t i = 1; i < width; ++i) {
      for (int q = 0; q < kLanes; ++q) {
        const double e = y[q * kPiecesPerLeaf + i];
        l[q] = e < l[q] ? e : l[q];
        h[q] = e > h[q] ? e : h[q];
      }
    }
    for (int q = 0; q < kLanes; ++q) {
      lo[(g + q) * stride] = l[q];
      hi[(g + q) * stride] = h[q];
    }
  }
  for (; g < full; ++g) {
    const double *y = x + g * kPiecesPerLeaf;
    double l = y[0], h = y[0];
    for (int32_t i = 1; i < width; ++i) {
      l = y[i] < l ? y[i] : l;
      h = y[i] > h ? y[i] : h;
    }
    lo[g * stride] = l;
    hi[g * stride] = h;
  }
  if (full < groups) {  // the last, shorter group
    const int32_t first = full * kPiecesPerLeaf;
    const int32_t len = ps.count - first + ps.deg;
    double l = x[first], h = l;
    for (int32_t i = 1; i < len; ++i) {
      l = x[first + i] < l ? x[first + i] : l;
      h = x[first + i] > h ? x[first + i] : h;
    }
    lo[full * stride] = l;
    hi[full * stride] = h;
  }
  if (ps.rational) {  // cover the rounding of the Cartesian values
    for (int32_t g = 0; g < groups; ++g) {
      lo[g * stride] -= 1e-15 * std::fabs(lo[g * stride]);
      hi[g * stride] += 1e-15 * std::fabs(hi[g * stride]);
    }
  }
}

// Box of the poles of every leaf's group of pieces (divided by their weights when
// rational), an empty box (+inf, -inf) in the leaves past the last group, then
// every inner node the union of its children. cart: 2 n doubles of workspace for
// the reciprocal weights and the Cartesian values of one coordinate, which are
// taken as products with the reciprocal (one division per pole, not per value);
// their rounding (under 1e-15 relative) is covered by widening the leaf boxes.
void build_group_tree(PieceSet &ps, int32_t n, const double *rows, double *cart) {
  const int dim = ps.dim, deg = ps.deg;
  const std::ptrdiff_t stride = 2 * dim;
  double *leaves = ps.tree + static_cast<std::ptrdiff_t>(ps.leaf_base) * stride;
  const int32_t groups = (ps.count + kPiecesPerLeaf - 1) / kPiecesPerLeaf;
  const double *w = rows + static_cast<std::ptrdiff_t>(dim) * n;
  double *recip = cart + n;
  if (ps.rational)
    for (int32_t i = 0; i < n; ++i) recip[i] = 1.0 / w[i];
  // consecutive spans (no repeated interior knot): every group is one window
  const bool regular = ps.spans[ps.count - 1] - ps.spans[0] == ps.count - 1;
  for (int c = 0; c < dim; ++c) {
    const double *v = rows + static_cast<std::ptrdiff_t>(c) * n;
    if (ps.rational) {
      for (int32_t i = 0; i < n; ++i) cart[i] = v[i] * recip[i];
      v = cart;
    }
    double *box = leaves;
    if (regular) {
      group_boxes_regular(ps, v, groups, leaves + c, leaves + dim + c);
      box += groups * stride;
    }
    for (int32_t g = regular ? groups : 0; g < groups; ++g, box += stride) {
      const int32_t first = g * kPiecesPerLeaf;
      const int32_t last = std::min(first + kPiecesPerLeaf, ps.count) - 1;
      const double *x = v + (ps.spans[first] - deg);
      const int32_t len = ps.spans[last] - ps.spans[first] + deg + 1;
      double lo = x[0], hi = x[0];
      for (int32_t i = 1; i < len; ++i) {
        lo = x[i] < lo ? x[i] : lo;
        hi = x[i] > hi ? x[i] : hi;
      }
      if (ps.rational) {
        lo -= 1e-15 * std::fabs(lo);
        hi += 1e-15 * std::fabs(hi);
      }
      box[c] = lo;
      box[dim + c] = hi;
    }
    for (int32_t g = groups; g < ps.leaf_base; ++g, box += stride) {
      box[c] = HUGE_VAL;
      box[dim + c] = -HUGE_VAL;
    }
  }
  for (int32_t node = ps.leaf_base - 1; node >= 1; --node) {
    double *box = ps.tree + node * stride;
    const double *a = ps.tree + 2 * node * stride, *b = a + stride;
    for (int d = 0; d < dim; ++d) {
      box[d] = std::min(a[d], b[d]);
      box[dim + d] = std::max(a[dim + d], b[dim + d]);
    }
  }
}

}  // namespace

double PieceSet::bound_distance_sq(int32_t j, const double *point) {
  double *box = boxes + static_cast<std::ptrdiff_t>(j) * 2 * dim;
  if (converted != nullptr && converted[j] == kNoBox) {
    // The box of the span's poles, kept until the piece is converted.
    const std::ptrdiff_t first = spans[j] - deg;
    const double *w = src_rows + static_cast<std::ptrdiff_t>(dim) * src_n + first;
    for (int c = 0; c < dim; ++c) {
      const double *x = src_rows + static_cast<std::ptrdiff_t>(c) * src_n + first;
      double lo = rational ? x[0] / w[0] : x[0], hi = lo;
      for (int i = 1; i <= deg; ++i) {
        const double v = rational ? x[i] / w[i] : x[i];
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
      }
      box[c] = lo;
      box[dim + c] = hi;
    }
    converted[j] = kSpanBox;
  }
  return box_distance_sq(dim, point, box, box + dim);
}

void PieceSet::convert(int32_t j) {
  const std::ptrdiff_t stride = 2 * dim;
  double work[2 * kMaxPieceOrder];
  double *out = rows + static_cast<std::ptrdiff_t>(j) * block();
  span_bezier_rows(deg, src_n, dim + (rational ? 1 : 0), src_knots, src_rows, spans[j], out, work);
  pole_box_rows(deg + 1, dim, rational, out, boxes + j * stride);
  converted[j] = kConverted;
  // Once every piece of a leaf is converted, the leaf takes the union of their
  // pole boxes, and every ancestor the union of its children (up to the first one
  // that stays the same: those above it do too).
  const int32_t g = j / kPiecesPerLeaf;
  const int32_t first = g * kPiecesPerLeaf, end = std::min(first + kPiecesPerLeaf, count);
  if (++group_done[g] < end - first) return;
  double *leaf = tree + (leaf_base + g) * stride;
  std::memcpy(leaf, boxes + first * stride, sizeof(double) * stride);
  for (int32_t i = first + 1; i < end; ++i) {
    const double *b = boxes + i * stride;
    for (int d = 0; d < dim; ++d) {
      leaf[d] = std::min(leaf[d], b[d]);
      leaf[dim + d] = std::max(leaf[dim + d], b[dim + d]);
    }
  }
  for (int32_t node = (leaf_base + g) / 2; node >= 1; node /= 2) {
    double *nb = tree + node * stride;
    const double *a = tree + 2 * node * stride, *b = a + stride;
    bool same = true;
    for (int d = 0; d < dim; ++d) {
      const double lo = std::min(a[d], b[d]), hi = std::max(a[dim + d], b[dim + d]);
      same = same && lo == nb[d] && hi == nb[dim + d];
      nb[d] = lo;
      nb[dim + d] = hi;
    }
    if (same) break;
  }
}

BSrc SplinePieces::build(int deg, int32_t n, int dim, bool rational, const double *rows,
                         const double *knots, bool lazy) {
  const int m = dim + (rational ? 1 : 0);
  const int k = deg + 1;
  const int32_t count = bezier_piece_count(deg, n, knots);
  if (count < 1) return BSINARG;
  // Pieces, breaks, boxes and box distances; for a lazy set also the box tree, room
  // for the reciprocal weights and one Cartesian coordinate when rational, the span indices, the
  // conversion flags and the converted count of every leaf's group.
  lazy = lazy && count >= kPieceTreeMinimum;
  const int32_t groups = (count + kPiecesPerLeaf - 1) / kPiecesPerLeaf;
  int32_t leaf_base = 1;
  while (lazy && leaf_base < groups) leaf_base *= 2;
  const std::size_t piece_doubles =
      static_cast<std::size_t>(count) * (static_cast<std::size_t>(m) * k + 2 * dim + 2) + 1;
  const std::size_t lazy_doubles =
      lazy ? 2 * static_cast<std::size_t>(leaf_base) * 2 * dim + (rational ? 2 * n : 0) : 0;
  const std::size_t lazy_bytes =
      lazy ? static_cast<std::size_t>(count) * (sizeof(int32_t) + sizeof(uint8_t)) + groups : 0;
  if (!buf_.acquire((piece_doubles + lazy_doubles) * sizeof(double) + lazy_bytes))
    return BSNOSTKMEMORY;
  set = PieceSet{};
  set.deg = deg;
  set.dim = dim;
  set.rational = rational;
  set.rows = buf_.as<double>();
  set.breaks = set.rows + static_cast<std::ptrdiff_t>(count) * m * k;
  set.boxes = set.breaks + count + 1;
  box_distances = set.boxes + static_cast<std::ptrdiff_t>(count) * 2 * dim;
  if (!lazy) {
    const BSrc rc = bezier_pieces(deg, n, m, knots, rows, &set.count, set.rows, set.breaks);
    if (rc != BSSUCC) return rc;
    for (int32_t j = 0; j < set.count; ++j)
      pole_box_rows(k, dim, rational, set.rows + static_cast<std::ptrdiff_t>(j) * set.block(),
                    set.boxes + static_cast<std::ptrdiff_t>(j) * 2 * dim);
    return BSSUCC;
  }
  set.tree = box_distances + count;
  set.leaf_base = leaf_base;
  double *cart = set.tree + 2 * static_cast<std::ptrdiff_t>(leaf_base) * 2 * dim;
  set.spans = reinterpret_cast<int32_t *>(cart + (rational ? 2 * n : 0));
  set.converted = reinterpret_cast<uint8_t *>(set.spans + count);
  set.src_n = n;
  set.src_rows = rows;
  set.src_knots = knots;
  // The breaks and spans of the pieces as bezier_pieces() finds them.
  int32_t c = 0;
  set.breaks[0] = knots[deg];
  for (int32_t s = deg; s < n; ++s) {
    if (!(knots[s + 1] - knots[s] >= kBezierBreakGap)) continue;
    if (c > 0) set.breaks[c] = knots[s];
    set.spans[c++] = s;
  }
  set.breaks[c] = knots[n];
  set.count = c;
  set.group_done = set.converted + count;
  std::memset(set.converted, 0, static_cast<std::size_t>(count) + groups);
  build_group_tree(set, n, rows, cart);
  return BSSUCC;
}

namespace {

// Curve parameter of local parameter t of a piece over [a, b], with the foot point
// and distance re-taken at the local parameter that the rounded curve parameter
// names, so that the foot is the curve point at the returned parameter.
inline double settle_parameter(const BezierPiece &pc, double a, double b, double t,
                               const double *point, double *foot, double *dist) {
  if (t <= 0.0) return a;
  if (t >= 1.0) return b;
  const double u = std::clamp(a + (b - a) * t, a, b);
  const double ts = std::clamp((u - a) / (b - a), 0.0, 1.0);
  if (ts == t || ts <= 0.0 || ts >= 1.0) return u;
  double e[3 * kMaxPieceValues];
  bezier_point_derivatives(pc, ts, e);
  double d2 = 0.0;
  for (int d = 0; d < pc.dim; ++d) {
    foot[d] = e[d];
    d2 += (e[d] - point[d]) * (e[d] - point[d]);
  }
  *dist = std::sqrt(d2);
  return u;
}

// Bound for the next point's search: its distance to this point's foot (a curve
// point) plus tol, or tol when that distance is within tol. No bound when this
// point has no foot (a non-number input) or tol is negative.
inline double next_point_bound(int dim, const double *next, const double *foot, double dist,
                               double tol) {
  if (!(dist < kLargestDouble) || !(tol >= 0.0)) return kLargestDouble;
  double f2 = 0.0;
  for (int d = 0; d < dim; ++d) f2 += (next[d] - foot[d]) * (next[d] - foot[d]);
  return f2 <= tol * tol ? tol : std::sqrt(f2) + tol;
}

// True when the first and last deg + 1 knots of a single-span knot vector are equal,
// so that the poles are the Bezier poles of the span.
inline bool clamped_single_span(int deg, const double *knots) {
  for (int i = 1; i <= deg; ++i)
    if (knots[i] != knots[0] || knots[deg + 1 + i] != knots[deg + 1]) return false;
  return true;
}

// Search of piece j with the current bound; a result replaces the answer only when
// it is nearer beyond rounding (the first answer found is always taken).
struct PieceSearch {
  PieceSet &ps;
  const double *point;
  double tol;
  double bound;
  double *dist;
  double *foot;
  double *param;
  bool found = false;

  BSrc visit(int32_t j) {
    double d = kLargestDouble, t = 0.0, f[kMaxPieceValues];
    const BSrc rc = nearest_on_bezier(ps.piece(j), point, tol, bound, &d, f, &t);
    if (rc != BSSUCC || d >= kLargestDouble) return rc;
    if (found && !(d < *dist - std::max(1e-16, 1e-14 * *dist))) return BSSUCC;
    found = true;
    *param = settle_parameter(ps.piece(j), ps.breaks[j], ps.breaks[j + 1], t, point, f, &d);
    *dist = d;
    std::memcpy(foot, f, sizeof(double) * ps.dim);
    bound = std::min(bound, d + 1e-16);
    return BSSUCC;
  }
};

inline double node_distance_sq(const PieceSet &ps, int32_t node, const double *point) {
  const double *box = ps.tree + static_cast<std::ptrdiff_t>(node) * 2 * ps.dim;
  return box_distance_sq(ps.dim, point, box, box + ps.dim);
}

// Nearest point of the pieces to one point with the current bound: first the piece
// whose box looks nearest, then every piece whose box is nearer than the bound.
// Short splines scan the piece boxes in piece order; long (lazy) ones walk the box
// tree of span boxes, nearer child first, skipping every subtree whose box is not
// nearer than the bound, and convert a piece to Bezier form only when its span
// box is nearer than the bound (then its own pole box is tested too). box_d2:
// count doubles of workspace.
BSrc nearest_on_pieces(PieceSet &ps, const double *point, double tol, double bound, double *box_d2,
                       double *dist, double *foot, double *param) {
  const int dim = ps.dim;
  *dist = kLargestDouble;
  PieceSearch search{ps, point, tol, bound, dist, foot, param};
  if (ps.tree == nullptr) {
    int32_t guess = 0;
    for (int32_t j = 0; j < ps.count; ++j) {
      const double *box = ps.boxes + 2 * dim * static_cast<std::ptrdiff_t>(j);
      box_d2[j] = box_distance_sq(dim, point, box, box + dim);
      if (box_d2[j] < box_d2[guess]) guess = j;
    }
    BSrc rc = search.visit(guess);
    for (int32_t j = 0; j < ps.count && rc == BSSUCC; ++j)
      if (j != guess && box_d2[j] < search.bound * search.bound) rc = search.visit(j);
    return rc;
  }
  // Greedy descent to the leaf whose box looks nearest, and its piece whose box
  // looks nearest.
  const int32_t base = ps.leaf_base;
  int32_t node = 1;
  while (node < base)
    node = node_distance_sq(ps, 2 * node, point) <= node_distance_sq(ps, 2 * node + 1, point)
               ? 2 * node
               : 2 * node + 1;
  const int32_t first = (node - base) * kPiecesPerLeaf;
  const int32_t end = std::min(first + kPiecesPerLeaf, ps.count);
  int32_t guess = first;
  double guess_d2 = kLargestDouble;
  for (int32_t j = first; j < end; ++j) {
    const double d2 = ps.bound_distance_sq(j, point);
    if (d2 < guess_d2) {
      guess = j;
      guess_d2 = d2;
    }
  }
  if (!ps.ready(guess)) ps.convert(guess);
  BSrc rc = search.visit(guess);
  if (rc != BSSUCC) return rc;
  // Depth-first walk, nearer child first; in a leaf the pieces in order, each
  // converted only when its span box is nearer than the bound, then searched when
  // its own pole box is too.
  struct Pending {
    int32_t node;
    double d2;
  };
  Pending stack[2 * 40];
  int top = 0;
  stack[top++] = {1, node_distance_sq(ps, 1, point)};
  while (top > 0) {
    const Pending e = stack[--top];
    if (!(e.d2 < search.bound * search.bound)) continue;
    if (e.node >= base) {
      const int32_t lo = (e.node - base) * kPiecesPerLeaf;
      const int32_t hi = std::min(lo + kPiecesPerLeaf, ps.count);
      for (int32_t j = lo; j < hi; ++j) {
        if (j == guess) continue;
        const double b2 = search.bound * search.bound;
        if (!(ps.bound_distance_sq(j, point) < b2)) continue;
        if (!ps.ready(j)) {
          ps.convert(j);
          if (!(ps.bound_distance_sq(j, point) < b2)) continue;
        }
        if ((rc = search.visit(j)) != BSSUCC) return rc;
      }
      continue;
    }
    const Pending a{2 * e.node, node_distance_sq(ps, 2 * e.node, point)};
    const Pending b{2 * e.node + 1, node_distance_sq(ps, 2 * e.node + 1, point)};
    if (a.d2 <= b.d2) {
      stack[top++] = b;
      stack[top++] = a;
    } else {
      stack[top++] = a;
      stack[top++] = b;
    }
  }
  return BSSUCC;
}

}  // namespace

BSrc nearest_on_spline_rows(int deg, int32_t n, int dim, bool rational, const double *rows,
                            const double *knots, int32_t num_points, const double *points,
                            double tol, double *dists, double *feet, double *params) {
  if (!query_points_ok(num_points, dim, points)) return BSINARG;
  const int k = deg + 1;
  double bound = kLargestDouble;
  if (n == k && clamped_single_span(deg, knots)) {
    const BezierPiece pc{deg, dim, rational, rows};
    for (int32_t i = 0; i < num_points; ++i) {
      const double *p = points + static_cast<std::ptrdiff_t>(i) * dim;
      double *foot = feet + static_cast<std::ptrdiff_t>(i) * dim;
      double t = 0.0;
      BSrc rc = nearest_on_bezier(pc, p, tol, bound, &dists[i], foot, &t);
      // The bound is never below the nearest distance; should rounding ever leave
      // nothing inside it, the point is searched again without one.
      if (rc == BSSUCC && !(dists[i] < kLargestDouble) && bound < kLargestDouble)
        rc = nearest_on_bezier(pc, p, tol, kLargestDouble, &dists[i], foot, &t);
      if (rc != BSSUCC) return rc;
      if (dists[i] < kLargestDouble)
        params[i] = settle_parameter(pc, knots[deg], knots[k], t, p, foot, &dists[i]);
      if (i + 1 < num_points) bound = next_point_bound(dim, p + dim, foot, dists[i], tol);
    }
    return BSSUCC;
  }
  SplinePieces pieces;
  BSrc rc = pieces.build(deg, n, dim, rational, rows, knots, true);
  if (rc != BSSUCC) return rc;
  PieceSet &ps = pieces.set;
  double *box_d2 = pieces.box_distances;
  for (int32_t i = 0; i < num_points; ++i) {
    const double *p = points + static_cast<std::ptrdiff_t>(i) * dim;
    double *foot = feet + static_cast<std::ptrdiff_t>(i) * dim;
    rc = nearest_on_pieces(ps, p, tol, bound, box_d2, &dists[i], foot, &params[i]);
    if (rc == BSSUCC && !(dists[i] < kLargestDouble) && bound < kLargestDouble)
      rc = nearest_on_pieces(ps, p, tol, kLargestDouble, box_d2, &dists[i], foot, &params[i]);
    if (rc != BSSUCC) return rc;
    if (i + 1 < num_points) bound = next_point_bound(dim, p + dim, foot, dists[i], tol);
  }
  return BSSUCC;
}

namespace {
// Beyond this, squared distances can overflow.
constexpr double kLargestCoordinate = 1e150;
}  // namespace

// True when no Cartesian pole has a coordinate beyond kLargestCoordinate (|q| <= lim w
// for a rational pole, without a division); one branch-free streaming pass.
bool poles_bounded(int32_t n, const double *poles, const double *weights) {
  int32_t out = 0;
  for (int32_t i = 0; i < n; ++i) {
    const double lim = weights ? kLargestCoordinate * weights[i] : kLargestCoordinate;
    const double *q = poles + 3 * static_cast<std::ptrdiff_t>(i);
    out += (std::fabs(q[0]) > lim) | (std::fabs(q[1]) > lim) | (std::fabs(q[2]) > lim);
  }
  return out == 0;
}

bool query_points_ok(int32_t n, int dim, const double *points) {
  const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(n) * dim;
  for (std::ptrdiff_t i = 0; i < count; ++i)
    if (!(std::fabs(points[i]) <= kLargestCoordinate)) return false;  // NaN fails too
  return true;
}

BSrc evaluate_curve_at(const BScurve &cv, double u, int d, double *out) {
  const int32_t s = find_span_hinted(cv.order, cv.num_poles, cv.knots, u, cv.order - 1);
  if (s < 0) return BSINARG;
  return evaluate_curve_span(cv.order, cv.poles, cv.rational ? cv.weights : nullptr, cv.knots, s, u,
                             d, tol().zero_tol, out);
}

namespace {

// Squared distance from the origin to the box lo, hi (lo > 0, hi < 0 or neither:
// without a branch per axis, which side is anybody's guess).
[[gnu::always_inline]] inline double origin_box_gap_sq(const double *lo, const double *hi) {
  double box = 0.0;
  for (int d = 0; d < 3; ++d) {
    const double e = std::max(lo[d], 0.0) + std::max(-hi[d], 0.0);
    box += e * e;
  }
  return box;
}

// For any direction n, every point x of a hull has x . n >= least, the least
// q_i . n of its points, so least / |n| bounds the distance from below when
// positive (the rounding of the dot products is at most a few ulps of |q| |n|,
// qmax the largest |q_i| coordinate; the factor 1 - 1e-12 covers that of the
// product and the quotient). Its square is taken as least (least / |n|^2), which
// cannot overflow: n is the sum of the q_i or one of them, so least <= |n|^2
// (least^2 overflows for coordinates beyond about 1e75). Returns the larger of
// that and bound.
[[gnu::always_inline]] inline double plane_bound(double least, const double *n, double qmax,
                                                 double bound) {
  least -= 1e-15 * qmax * (std::fabs(n[0]) + std::fabs(n[1]) + std::fabs(n[2]));
  const double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  if (!(least > 0.0 && nn > 0.0)) return bound;
  return std::max(bound, least * (least / nn) * (1.0 - 1e-12));
}

// Lower bound of the squared distance from the origin to the convex hull of k
// points q (triples, the poles minus the query point): the largest of the squared
// distances to their box and to planes that have every point on their far side,
// normal to the direction of their centroid and (kNearestPlane) of their nearest
// point (a bound of the hull, and so of the curve). Once a stage shows the bound
// reaches `enough`, that is returned at once (the caller wants no more than to
// know it).
template <int K = 0, bool kNearestPlane = true>
inline double hull_bound(int k_runtime, const double *q, double enough) {
  const int k = K > 0 ? K : k_runtime;
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL},
         c[3] = {0.0, 0.0, 0.0};
  for (int i = 0; i < k; ++i)
    for (int d = 0; d < 3; ++d) {
      const double v = q[3 * i + d];
      lo[d] = v < lo[d] ? v : lo[d];
      hi[d] = v > hi[d] ? v : hi[d];
      c[d] += v;
    }
  const double box = origin_box_gap_sq(lo, hi);
  if (box >= enough) return box;
  double qmax = 0.0;
  for (int d = 0; d < 3; ++d) qmax = std::max(qmax, std::max(-lo[d], hi[d]));
  double bound = box;
  auto plane_reaches = [&](const double *n) {
    double least = kLargestDouble;
    for (int i = 0; i < k; ++i)
      least = std::min(least, q[3 * i] * n[0] + q[3 * i + 1] * n[1] + q[3 * i + 2] * n[2]);
    bound = plane_bound(least, n, qmax, bound);
    return bound >= enough;
  };
  if (plane_reaches(c)) return bound;
  if (!kNearestPlane) return bound;
  int near = 0;
  double near_d2 = kLargestDouble;
  for (int i = 0; i < k; ++i) {
    const double d2 =
        q[3 * i] * q[3 * i] + q[3 * i + 1] * q[3 * i + 1] + q[3 * i + 2] * q[3 * i + 2];
    near = d2 < near_d2 ? i : near;
    near_d2 = d2 < near_d2 ? d2 : near_d2;
  }
  plane_reaches(q + 3 * near);
  return bound;
}

// Lane by lane a < b ? a : b and a > b ? a : b (one instruction each with SSE2).
inline Pair pair_min(Pair a, Pair b) {
#ifdef __SSE2__
  return _mm_min_pd(a, b);
#else
  return a < b ? a : b;
#endif
}
inline Pair pair_max(Pair a, Pair b) {
#ifdef __SSE2__
  return _mm_max_pd(a, b);
#else
  return a > b ? a : b;
#endif
}

// hull_bound() of 2 kPairs points given two at a time as pairs of their x, y and
// z: the box, the sums and the dot products in half the operations. Every value
// bounds as in hull_bound() (the normals' sums taken in another order, the
// nearest point the first of the least squared distance within a lane).
template <int kPairs, bool kNearestPlane>
inline double hull_bound_pairs(const Pair *x, const Pair *y, const Pair *z, double enough) {
  Pair lx = x[0], hx = x[0], sx = x[0], ly = y[0], hy = y[0], sy = y[0], lz = z[0], hz = z[0],
       sz = z[0];
  for (int j = 1; j < kPairs; ++j) {
    lx = pair_min(lx, x[j]), hx = pair_max(hx, x[j]), sx += x[j];
    ly = pair_min(ly, y[j]), hy = pair_max(hy, y[j]), sy += y[j];
    lz = pair_min(lz, z[j]), hz = pair_max(hz, z[j]), sz += z[j];
  }
  const double lo[3] = {std::min(lx[0], lx[1]), std::min(ly[0], ly[1]), std::min(lz[0], lz[1])};
  const double hi[3] = {std::max(hx[0], hx[1]), std::max(hy[0], hy[1]), std::max(hz[0], hz[1])};
  const double box = origin_box_gap_sq(lo, hi);
  if (box >= enough) return box;
  double qmax = 0.0;
  for (int d = 0; d < 3; ++d) qmax = std::max(qmax, std::max(-lo[d], hi[d]));
  double bound = box;
  auto plane_reaches = [&](const double *n) {
    const Pair nx = {n[0], n[0]}, ny = {n[1], n[1]}, nz = {n[2], n[2]};
    Pair dots = x[0] * nx + y[0] * ny + z[0] * nz;
    for (int j = 1; j < kPairs; ++j) dots = pair_min(dots, x[j] * nx + y[j] * ny + z[j] * nz);
    bound = plane_bound(std::min(dots[0], dots[1]), n, qmax, bound);
    return bound >= enough;
  };
  const double c[3] = {sx[0] + sx[1], sy[0] + sy[1], sz[0] + sz[1]};
  if (plane_reaches(c) || !kNearestPlane) return bound;
  Pair best = x[0] * x[0] + y[0] * y[0] + z[0] * z[0], bx = x[0], by = y[0], bz = z[0];
  for (int j = 1; j < kPairs; ++j) {
    const Pair d2 = x[j] * x[j] + y[j] * y[j] + z[j] * z[j];
    const auto nearer = d2 < best;
    best = nearer ? d2 : best;
    bx = nearer ? x[j] : bx, by = nearer ? y[j] : by, bz = nearer ? z[j] : bz;
  }
  const int lane = best[1] < best[0] ? 1 : 0;
  const double n[3] = {bx[lane], by[lane], bz[lane]};
  plane_reaches(n);
  return bound;
}

// A curve record's arrays read in place: poles as triples (weighted when
// rational), positive weights, n > deg >= 1 and a validated knot vector.
struct Spline3 {
  int deg;
  int32_t n;
  const double *poles;
  const double *weights;  // null when polynomial
  const double *knots;

  double coord(int32_t i, int c) const { return poles[3 * static_cast<std::ptrdiff_t>(i) + c]; }
  bool span_empty(int32_t s) const { return !(knots[s + 1] - knots[s] >= kBezierBreakGap); }
  // Lower bound of the squared distance from a point to span s: hull_bound of its
  // Cartesian poles with the first and last moved along their legs. The span's
  // Bezier poles are the blossom values F(t_s^(deg-j), t_s+1^j); the first pole's
  // share in F vanishes when an argument is t_s+1 and the last one's when an
  // argument is t_s, so the inner Bezier poles are convex combinations of the
  // inner poles s - deg + 1 .. s - 1. The end ones, the curve points at t_s and
  // t_s+1, lie in the hull of the first de Boor step there: the inner poles and
  // the point of the first leg at (t_s - t_s-deg+1) / (t_s+1 - t_s-deg+1), of the
  // last leg at (t_s+1 - t_s) / (t_s+deg - t_s) (homogeneous when rational: with
  // positive weights the Cartesian points stay convex combinations). The ratios
  // lie in [0, 1] after rounding (monotone differences and quotient, the
  // denominators at least the span's width); the moved points are rounded like
  // the poles divided by their weights, which the bound's comparisons allow for.
  template <bool rational>
  double span_lower_bound(int32_t s, const double *point, double enough) const {
    double q[3 * kMaxPieceOrder];
    const int32_t f = s - deg;
    for (int i = 1; i < deg; ++i) {
      const double r = rational ? 1.0 / weights[f + i] : 1.0;
      if (!(r <= kLargestDouble)) return 0.0;  // a weight too small to divide by: no bound
      for (int d = 0; d < 3; ++d)
        q[3 * i + d] = (rational ? coord(f + i, d) * r : coord(f + i, d)) - point[d];
    }
    // The point at al on the leg from pole i to i + 1; when rational and a
    // homogeneous value or the reciprocal weight is not finite (weights near the
    // limits of the doubles), the pole `end` itself (the hull of the unmoved
    // poles still holds the span).
    auto on_leg = [&](int32_t i, double al, int32_t end, double *out) {
      const double be = 1.0 - al;
      double v[3];
      for (int d = 0; d < 3; ++d) v[d] = be * coord(i, d) + al * coord(i + 1, d);
      double r = 1.0;
      if (rational) {
        const double wh = be * weights[i] + al * weights[i + 1];
        r = 1.0 / wh;
        if (!(wh <= kLargestDouble && r <= kLargestDouble &&
              std::fabs(v[0]) + std::fabs(v[1]) + std::fabs(v[2]) <= kLargestDouble)) {
          r = 1.0 / weights[end];
          for (int d = 0; d < 3; ++d) v[d] = coord(end, d);
        }
      }
      for (int d = 0; d < 3; ++d) out[d] = (rational ? v[d] * r : v[d]) - point[d];
    };
    on_leg(f, (knots[s] - knots[f + 1]) / (knots[s + 1] - knots[f + 1]), f, q);
    on_leg(s - 1, (knots[s + 1] - knots[s]) / (knots[s + deg] - knots[s]), s, q + 3 * deg);
    return deg == 3   ? hull_bound<4, false>(4, q, enough)
           : deg == 5 ? hull_bound<6, false>(6, q, enough)
                      : hull_bound<0, false>(deg + 1, q, enough);
  }

  // span_lower_bound() for degree D (odd) with the points two at a time: the x,
  // y and z of the moved ends and of inner poles 1, 2, 3, 4 as pairs, so the
  // box, the sums and the dot products take half the operations. The values are
  // those of span_lower_bound() (the same operations lane by lane), so the box
  // is too; the plane's normal is summed in another order (any normal gives a
  // bound).
  template <int D, bool rational>
  double span_lower_bound_pairs(int32_t s, const double *point, double enough) const {
    static_assert(D % 2 == 1 && D >= 3 && D <= 7);
    constexpr int kPairs = (D + 1) / 2;  // the ends, then inner poles 2 j + 1, 2 j + 2
    const int32_t f = s - D;
    const Pair px = {point[0], point[0]}, py = {point[1], point[1]}, pz = {point[2], point[2]};
    Pair x[kPairs], y[kPairs], z[kPairs];
    // the ends: leg f -> f + 1 in lane 0, leg s - 1 -> s in lane 1
    const Pair al = Pair{knots[s] - knots[f + 1], knots[s + 1] - knots[s]} /
                    Pair{knots[s + 1] - knots[f + 1], knots[s + D] - knots[s]};
    const Pair be = 1.0 - al;
    const double *a = poles + 3 * static_cast<std::ptrdiff_t>(f);
    const double *b = poles + 3 * static_cast<std::ptrdiff_t>(s - 1);
    x[0] = be * Pair{a[0], b[0]} + al * Pair{a[3], b[3]};
    y[0] = be * Pair{a[1], b[1]} + al * Pair{a[4], b[4]};
    z[0] = be * Pair{a[2], b[2]} + al * Pair{a[5], b[5]};
    Pair r[kPairs];
    if (rational) {
      const Pair wh = be * Pair{weights[f], weights[s - 1]} + al * Pair{weights[f + 1], weights[s]};
      const Pair big = {kLargestDouble, kLargestDouble};
      auto fine = (wh <= big) & (x[0] <= big) & (-x[0] <= big) & (y[0] <= big) & (-y[0] <= big) &
                  (z[0] <= big) & (-z[0] <= big);
      r[0] = 1.0 / wh;
      for (int j = 1; j < kPairs; ++j) r[j] = 1.0 / load_pair(weights + f + 2 * j - 1);
      for (int j = 0; j < kPairs; ++j) fine &= r[j] <= big;
      // weights near the limits of the doubles: no bound (the span is searched)
      if (!(fine[0] && fine[1])) return 0.0;
      x[0] *= r[0], y[0] *= r[0], z[0] *= r[0];
    }
    x[0] -= px, y[0] -= py, z[0] -= pz;
    for (int j = 1; j < kPairs; ++j) {
      const double *q = poles + 3 * static_cast<std::ptrdiff_t>(f + 2 * j - 1);
      const Pair u = load_pair(q), v = load_pair(q + 2), w = load_pair(q + 4);
      x[j] = Pair{u[0], v[1]}, y[j] = Pair{u[1], w[0]}, z[j] = Pair{v[0], w[1]};
      if (rational) x[j] *= r[j], y[j] *= r[j], z[j] *= r[j];
      x[j] -= px, y[j] -= py, z[j] -= pz;
    }
    return hull_bound_pairs<kPairs, false>(x, y, z, enough);
  }
};

// Bezier poles of one span in place: v holds the span's deg + 1 poles as pairs
// (x, y), (z, w) (w anything finite when polynomial), knots its 2 deg + 2 knots
// (knots[deg] < knots[deg + 1]). Both ends are clamped by knot insertion, the
// arithmetic of span_bezier_rows() lane by lane (so the poles agree with it bit
// for bit) without its generic pole access; D > 0 fixes the degree at compile
// time. With Next, the right clamp also leaves in next[0 .. deg - 2] the first
// poles of the following span clamped at its left end (the other edge of the same
// insertion triangle: blossoms F(b^(deg - i), t[k + 1] .. t[k + i])), so a run
// of spans is converted with one insertion per shared knot.
template <int D = 0, bool Next = false>
inline void span_to_bezier(int deg_runtime, const double *knots, Pair *v, Pair *next = nullptr) {
  const int deg = D > 0 ? D : deg_runtime, k = deg + 1;
  double t[2 * kMaxPieceOrder];
  std::memcpy(t, knots, sizeof(double) * 2 * k);
  const double a = t[deg], b = t[k];
  auto ratio = [](double u, double lo, double hi) { return hi > lo ? (u - lo) / (hi - lo) : 0.0; };
  if (t[0] != a) {
#pragma GCC unroll 16
    for (int i = deg - 1; i >= 0; --i) {
      for (int j = 1; j <= i; ++j) {
        const double al = ratio(a, t[j], t[j + deg]), be = 1.0 - al;
        const Pair pa = {al, al}, pb = {be, be};
        v[2 * j - 2] = pa * v[2 * j] + pb * v[2 * j - 2];
        v[2 * j - 1] = pa * v[2 * j + 1] + pb * v[2 * j - 1];
      }
      for (int j = 1; j <= i; ++j) t[j - 1] = t[j];
      t[i] = a;
    }
  }
  if (t[2 * deg + 1] != b) {
#pragma GCC unroll 16
    for (int i = k; i <= 2 * deg; ++i) {
      for (int j = deg; j >= i - k + 2 && j >= 1; --j) {
        const double al = ratio(b, t[j], t[j + deg]), be = 1.0 - al;
        const Pair pa = {al, al}, pb = {be, be};
        v[2 * j] = pa * v[2 * j] + pb * v[2 * j - 2];
        v[2 * j + 1] = pa * v[2 * j + 1] + pb * v[2 * j - 1];
      }
      if (Next && i < 2 * deg) {
        next[2 * (2 * deg - 1 - i)] = v[2 * deg];
        next[2 * (2 * deg - 1 - i) + 1] = v[2 * deg + 1];
      }
      for (int j = 2 * deg + 1; j >= i + 2; --j) t[j] = t[j - 1];
      t[i + 1] = b;
    }
  }
}

// One point's search over the spans of a Spline3: the answer so far and the visit
// of one span (converted to Bezier form, skipped when its pole box is not nearer
// than the answer, else searched; a result replaces the answer only when nearer
// beyond rounding, so the first answer found wins ties).
struct SpanSearch {
  const Spline3 &sp;
  const double *point;
  double tol;
  double bound = kLargestDouble;  // distance of the answer (plus 1e-16) once found
  double dist = kLargestDouble;
  double foot[3] = {};
  double param = 0.0;
  bool found = false;

  // Pole i of the span's window (pole s - deg + i) as pairs into v.
  void load_pole(int32_t s, int i, Pair *v) const {
    const int32_t q = s - sp.deg + i;
    v[2 * i] = load_pair(sp.poles + 3 * static_cast<std::ptrdiff_t>(q));
    v[2 * i + 1] = Pair{sp.coord(q, 2), sp.weights != nullptr ? sp.weights[q] : 1.0};
  }

  BSrc visit(int32_t s) {
    const int deg = sp.deg;
    Pair v[2 * kMaxPieceOrder];
    for (int i = 0; i <= deg; ++i) load_pole(s, i, v);
    const double *kt = sp.knots + (s - deg);
    deg == 3 ? span_to_bezier<3>(deg, kt, v)
             : (deg == 5 ? span_to_bezier<5>(deg, kt, v) : span_to_bezier(deg, kt, v));
    return visit_bezier(s, v);
  }

  // Bezier poles of the spans lo .. hi (all non-empty, hi - lo < kRun) into
  // v[s - lo]: the first span converted alone, each next one from the other edge
  // of the previous one's right clamp (spans wider than kBezierBreakGap keep
  // simple interior knots, so that edge and the next span's two unmoved poles are
  // its window clamped at its left end) and then clamped at its right end.
  static constexpr int kRun = 7;
  template <int D>
  void convert_run(int32_t lo, int32_t hi, Pair (*v)[2 * kMaxPieceOrder]) const {
    for (int i = 0; i <= D; ++i) load_pole(lo, i, v[0]);
    span_to_bezier<D, true>(D, sp.knots + (lo - D), v[0], v[1]);
    for (int32_t s = lo + 1; s <= hi; ++s) {
      Pair *w = v[s - lo];
      load_pole(s, D - 1, w);
      load_pole(s, D, w);
      double t[2 * D + 2];
      for (int i = 0; i <= D; ++i) t[i] = sp.knots[s];
      std::memcpy(t + D + 1, sp.knots + s + 1, sizeof(double) * (D + 1));
      if (s < hi)
        span_to_bezier<D, true>(D, t, w, v[s - lo + 1]);
      else
        span_to_bezier<D>(D, t, w);
    }
  }

  BSrc visit_bezier(int32_t s, const Pair *v) {
    if (found && hull_beyond(v)) return BSSUCC;
    return search_piece(s, v);
  }

  // True when the convex hull of the Bezier poles v is not nearer than the bound
  // (false when a weight is too small to divide by).
  bool hull_beyond(const Pair *v) const {
    const int k = sp.deg + 1;
    const bool rational = sp.weights != nullptr;
    const double enough = bound * bound * (1.0 + 1e-12);
    if (k == 4 || k == 6) {
      // Cartesian pairs (x, y), (z, w)
      Pair cartesian[2 * 6];
      const Pair *c = v;
      if (rational) {
        for (int i = 0; i < k; ++i) {
          const double r = 1.0 / v[2 * i + 1][1];
          if (!(r <= kLargestDouble)) return false;
          cartesian[2 * i] = v[2 * i] * r, cartesian[2 * i + 1] = v[2 * i + 1] * r;
        }
        c = cartesian;
      }
      // the box alone first (it decides most tests), on those pairs
      Pair lxy = c[0], hxy = c[0], lzw = c[1], hzw = c[1];
      for (int i = 1; i < k; ++i) {
        lxy = pair_min(lxy, c[2 * i]), hxy = pair_max(hxy, c[2 * i]);
        lzw = pair_min(lzw, c[2 * i + 1]), hzw = pair_max(hzw, c[2 * i + 1]);
      }
      const double lo[3] = {lxy[0], lxy[1], lzw[0]}, hi[3] = {hxy[0], hxy[1], hzw[0]};
      double box = 0.0;
      for (int d = 0; d < 3; ++d) {
        const double e = std::max(lo[d] - point[d], 0.0) + std::max(point[d] - hi[d], 0.0);
        box += e * e;
      }
      if (box >= enough) return true;
      // then the planes, with the x, y and z of two poles at a time as pairs
      Pair x[3], y[3], z[3];
      const Pair px = {point[0], point[0]}, py = {point[1], point[1]}, pz = {point[2], point[2]};
      for (int j = 0; 2 * j < k; ++j) {
        const Pair *e = c + 4 * j;
        x[j] = Pair{e[0][0], e[2][0]} - px, y[j] = Pair{e[0][1], e[2][1]} - py;
        z[j] = Pair{e[1][0], e[3][0]} - pz;
      }
      const double lb = k == 4 ? hull_bound_pairs<2, true>(x, y, z, enough)
                               : hull_bound_pairs<3, true>(x, y, z, enough);
      return lb >= enough;
    }
    double q[3 * kMaxPieceOrder];
    for (int i = 0; i < k; ++i) {
      const double r = rational ? 1.0 / v[2 * i + 1][1] : 1.0;
      if (!(r <= kLargestDouble)) return false;
      q[3 * i] = v[2 * i][0] * r - point[0];
      q[3 * i + 1] = v[2 * i][1] * r - point[1];
      q[3 * i + 2] = v[2 * i + 1][0] * r - point[2];
    }
    return hull_bound(k, q, enough) >= enough;
  }

  // The nearest point of the Bezier piece v of span s, kept when nearer than the
  // answer beyond rounding.
  BSrc search_piece(int32_t s, const Pair *v) {
    const int deg = sp.deg, k = deg + 1, m = sp.weights != nullptr ? 4 : 3;
    // coordinate-major rows for the piece search
    double rows[4 * kMaxPieceOrder];
    for (int i = 0; i < k; ++i) {
      rows[i] = v[2 * i][0], rows[k + i] = v[2 * i][1], rows[2 * k + i] = v[2 * i + 1][0];
      if (m == 4) rows[3 * k + i] = v[2 * i + 1][1];
    }
    const BezierPiece pc{deg, 3, m == 4, rows};
    double d = kLargestDouble, t = 0.0, f[kMaxPieceValues];
    const BSrc rc = nearest_on_bezier(pc, point, tol, bound, &d, f, &t);
    if (rc != BSSUCC || d >= kLargestDouble) return rc;
    if (found && !(d < dist - std::max(1e-16, 1e-14 * dist))) return BSSUCC;
    // The piece's parameter range as the piece list has it: spans narrower than
    // kBezierBreakGap belong to the piece before them (the first piece starts at
    // the domain start).
    int32_t before = s - 1;
    while (before >= deg && sp.span_empty(before)) --before;
    int32_t next = s + 1;
    while (next < sp.n && sp.span_empty(next)) ++next;
    const double a = before >= deg ? sp.knots[s] : sp.knots[deg];
    found = true;
    param = settle_parameter(pc, a, sp.knots[next], t, point, f, &d);
    dist = d;
    std::memcpy(foot, f, sizeof(foot));
    bound = std::min(bound, d + 1e-16);
    return BSSUCC;
  }
};

// Boxes of the poles of consecutive runs of spans, taken in one streaming pass
// over the poles that also checks them: block b holds the spans deg + b size ..
// deg + (b + 1) size - 1 (the last block fewer), so its box covers the poles
// b size .. (b + 1) size + deg - 1 (neighbouring blocks share deg poles). At most
// kMaxBlocks blocks: longer curves get longer blocks.
struct PoleBlocks {
  static constexpr int32_t kMaxBlocks = 256;
  static constexpr int32_t kMinSize = 32;  // more than kMaxPieceOrder - 1 spans
  int32_t size = 0;
  int32_t count = 0;
  double box[kMaxBlocks][6];    // lower corner, then upper corner
  double total[kMaxBlocks][3];  // sum of the block's (Cartesian) poles
  bool divided = false;         // a weight too small for its reciprocal: boxes by division

  int32_t first_span(int deg, int32_t b) const { return deg + b * size; }
  int32_t end_span(int deg, int32_t n, int32_t b) const {
    return std::min(n, deg + (b + 1) * size);
  }

  // False when a pole is not finite or beyond kLargestCoordinate, or a weight is
  // not finite and positive.
  template <bool rational>
  bool build(const Spline3 &sp) {
    const int deg = sp.deg;
    const int32_t n = sp.n;
    // Blocks of kMinSize spans (a shorter curve is one block), longer ones when
    // the curve has more than kMaxBlocks of them. Smaller blocks would cost more
    // in their overlaps and boxes than they save in the passes over the nearest.
    size =
        n - deg <= kMinSize ? n - deg : std::max(kMinSize, (n - deg + kMaxBlocks - 1) / kMaxBlocks);
    count = (n - deg + size - 1) / size;
    // Two poles at a time as three pairs (x0 y0) (z0 x1) (y1 z1), each with its own
    // running minimum, maximum and sum. The sums are finite exactly when every
    // value is (once the boxes are within kLargestCoordinate no finite sum can
    // overflow); a weight's reciprocal scales every value of its pole, so a
    // non-finite one shows there too (0 x inf is NaN). least_r: the least
    // reciprocal weight.
    Pair sum[3] = {}, least_r = {1.0, 1.0}, out = {0.0, 0.0};
    auto cartesian = [&](int32_t i, Pair *v) {
      const double *q = sp.poles + 3 * static_cast<std::ptrdiff_t>(i);
      v[0] = load_pair(q), v[1] = load_pair(q + 2), v[2] = load_pair(q + 4);
      if (rational) {
        const Pair r = 1.0 / load_pair(sp.weights + i);
        least_r = pair_min(least_r, r);
        v[0] *= Pair{r[0], r[0]};
        v[1] *= r;
        v[2] *= Pair{r[1], r[1]};
      }
    };
    for (int32_t b = 0; b < count; ++b) {
      const int32_t lo_pole = b * size, end = std::min(n, (b + 1) * size + deg);
      Pair lo[3], hi[3], bs[3] = {};
      for (int c = 0; c < 3; ++c) lo[c] = Pair{HUGE_VAL, HUGE_VAL}, hi[c] = -lo[c];
      auto add = [&](const Pair *v) {
        for (int c = 0; c < 3; ++c) {
          lo[c] = pair_min(lo[c], v[c]);
          hi[c] = pair_max(hi[c], v[c]);
          bs[c] += v[c];
        }
      };
      int32_t i = lo_pole;
      for (; i + 2 <= end; i += 2) {
        Pair v[3];
        cartesian(i, v);
        add(v);
      }
      if (i < end) {  // the last pole alone, in the lanes of both of a pair
        const double *q = sp.poles + 3 * static_cast<std::ptrdiff_t>(i);
        Pair v[3] = {load_pair(q), Pair{q[2], q[0]}, Pair{q[1], q[2]}};
        if (rational) {
          const double r1 = 1.0 / sp.weights[i];
          const Pair r = {r1, r1};
          least_r = pair_min(least_r, r);
          for (Pair &e : v) e *= r;
        }
        for (int c = 0; c < 3; ++c) {
          lo[c] = pair_min(lo[c], v[c]);
          hi[c] = pair_max(hi[c], v[c]);
        }
        bs[0] += Pair{v[0][0], v[0][1]}, bs[1] += Pair{v[1][0], 0.0};  // x y, z: once
      }
      for (int c = 0; c < 3; ++c) sum[c] += bs[c];
      // lanes: x in lo[0][0] and lo[1][1], y in lo[0][1] and lo[2][0], z in
      // lo[1][0] and lo[2][1]
      double *bx = box[b];
      bx[0] = std::min(lo[0][0], lo[1][1]);
      bx[1] = std::min(lo[0][1], lo[2][0]);
      bx[2] = std::min(lo[1][0], lo[2][1]);
      bx[3] = std::max(hi[0][0], hi[1][1]);
      bx[4] = std::max(hi[0][1], hi[2][0]);
      bx[5] = std::max(hi[1][0], hi[2][1]);
      total[b][0] = bs[0][0] + bs[1][1];
      total[b][1] = bs[0][1] + bs[2][0];
      total[b][2] = bs[1][0] + bs[2][1];
    }
    // The coordinate limit, and for a rational curve the boxes widened by the
    // rounding of the products with the reciprocal weights.
    for (int32_t b = 0; b < count; ++b) {
      double *bx = box[b];
      for (int c = 0; c < 3; ++c) {
        if (rational) {
          bx[c] -= 1e-15 * std::fabs(bx[c]);
          bx[3 + c] += 1e-15 * std::fabs(bx[3 + c]);
        }
        out[0] += (bx[c] < -kLargestCoordinate) + (bx[3 + c] > kLargestCoordinate);
      }
    }
    const Pair check = (sum[0] + sum[1] + sum[2]) * 0.0 + out;
    const int bad_weight = !(least_r[0] > 0.0 && least_r[1] > 0.0);
    const double check_sum = check[0] + check[1];
    if (check_sum == 0.0 && bad_weight == 0) return true;
    if (!rational) return false;
    // A weight too small for its reciprocal, or a rounding at the coordinate
    // limit: the exact checks decide, and the boxes are taken by division.
    divided = true;
    for (int32_t i = 0; i < n; ++i)
      if (!(sp.weights[i] > 0.0 && sp.weights[i] <= kLargestDouble)) return false;
    if (!values_finite(sp.poles, 3 * static_cast<std::ptrdiff_t>(n)) ||
        !poles_bounded(n, sp.poles, sp.weights))
      return false;
    for (int32_t b = 0; b < count; ++b) {
      const int32_t end = std::min(n, (b + 1) * size + deg);
      double *bx = box[b];
      for (int c = 0; c < 3; ++c) bx[c] = HUGE_VAL, bx[3 + c] = -HUGE_VAL, total[b][c] = 0.0;
      for (int32_t i = b * size; i < end; ++i)
        for (int c = 0; c < 3; ++c) {
          const double v = sp.coord(i, c) / sp.weights[i];
          bx[c] = std::min(bx[c], v);
          bx[3 + c] = std::max(bx[3 + c], v);
          total[b][c] += v;
        }
    }
    return true;
  }
};

// Byte 0 of the result: the bits common to the last K bytes of r (byte j: those
// common to bytes j .. j + K - 1), in doubling steps.
template <int K>
constexpr uint64_t common_bytes(uint64_t r) {
  static_assert(K >= 2 && K <= 8);
  const uint64_t c2 = r & r >> 8;
  if constexpr (K == 2) return c2;
  if constexpr (K == 3) return c2 & r >> 16;
  const uint64_t c4 = c2 & c2 >> 16;
  if constexpr (K == 4) return c4;
  if constexpr (K == 5) return c4 & r >> 32;
  if constexpr (K == 6) return c4 & c2 >> 32;
  if constexpr (K == 7) return c4 & c2 >> 32 & r >> 48;
  return c4 & c4 >> 32;
}

// Bit 0 and 1: lane 0 and 1 of a > b.
inline unsigned greater_bits(Pair a, Pair b) {
#ifdef __SSE2__
  return static_cast<unsigned>(_mm_movemask_pd(_mm_cmpgt_pd(a, b)));
#else
  return static_cast<unsigned>(a[0] > b[0]) | static_cast<unsigned>(a[1] > b[1]) << 1;
#endif
}

// The half-space masks of two poles from the compare bits of their coordinates
// read as pairs (z0, x1) and (y1, z1): index bits 0-1 (z0, x1) above, 2-3 below,
// 4-5 (y1, z1) above, 6-7 below. Byte 1 takes pole 0's z bits (4: above, 5:
// below), byte 0 the whole mask of pole 1 (bit 0 x above, 1 y above, 2 x below,
// 3 y below, 4 z above, 5 z below).
constexpr struct PairMaskTable {
  uint16_t m[256];
  constexpr PairMaskTable() : m() {
    for (unsigned i = 0; i < 256; ++i) {
      auto bit = [i](unsigned b) { return i >> b & 1u; };
      m[i] = static_cast<uint16_t>((bit(0) << 4 | bit(2) << 5) << 8 | bit(1) | bit(4) << 1 |
                                   bit(3) << 2 | bit(6) << 3 | bit(5) << 4 | bit(7) << 5);
    }
  }
} kPairMasks;

// Nearest point of a Spline3 to one point, without setup proportional to the
// curve beyond the pole blocks: one span near the nearest pole and its
// neighbours are searched first for a bound; then the block whose box is nearest
// and the other blocks whose boxes are nearer than the bound, nearest first. In a
// block, one pass over its poles keeps the spans whose poles are not all beyond
// the bound on one side of one axis (a bit mask per pole, so the test costs the
// same for every degree), tests their convex hulls (the convex hull property,
// which positive weights keep), and searches the survivors nearest first while
// the bound shrinks.
// Statuses: 0, -2 (no span wider than kBezierBreakGap), -13 (see
// nearest_on_bezier).
template <bool rational>
BSrc nearest_on_spline3(const Spline3 &sp, const PoleBlocks &blocks, const double *point,
                        double tol, double *dist, double *foot, double *param) {
  const int deg = sp.deg;
  const int32_t n = sp.n;
  const double *poles = sp.poles, *weights = sp.weights, *knots = sp.knots;
  const double px = point[0], py = point[1], pz = point[2];
  double block_d2[PoleBlocks::kMaxBlocks];
  int32_t near_block = 0;
  for (int32_t b = 0; b < blocks.count; ++b) {
    const double *bx = blocks.box[b];
    block_d2[b] = box_distance_sq(3, point, bx, bx + 3);
    if (block_d2[b] < block_d2[near_block]) near_block = b;
  }
  // The nearest pole: in that block, then in every other block whose box is
  // nearer than the nearest pole so far (no other can hold a nearer one); for a
  // rational curve |w q - w p|^2 < d2 w^2, without a division.
  int32_t nearest = near_block * blocks.size;
  double nearest_d2 = HUGE_VAL;
  auto scan_poles = [&](int32_t b) {
    const int32_t end = std::min(n, (b + 1) * blocks.size + deg);
    for (int32_t i = b * blocks.size; i < end; ++i) {
      const double *q = poles + 3 * static_cast<std::ptrdiff_t>(i);
      const double w = rational ? weights[i] : 1.0;
      const double dx = q[0] - (rational ? px * w : px);
      const double dy = q[1] - (rational ? py * w : py);
      const double dz = q[2] - (rational ? pz * w : pz);
      const double d2 = dx * dx + dy * dy + dz * dz;
      if (d2 < (rational ? nearest_d2 * (w * w) : nearest_d2)) {
        nearest_d2 = rational ? d2 / (w * w) : d2;
        nearest = i;
      }
    }
  };
  scan_poles(near_block);
  for (int32_t b = 0; b < blocks.count; ++b)
    if (b != near_block && block_d2[b] < nearest_d2) scan_poles(b);
  // The first span searched: the one at the middle of the nearest pole's Greville
  // abscissa and its nearer neighbour's (the curve follows the leg of the control
  // polygon between them), so that its distance bounds the rest tightly.
  auto pole_d2 = [&](int32_t i) {
    const double *q = poles + 3 * static_cast<std::ptrdiff_t>(i);
    const double r = rational ? 1.0 / weights[i] : 1.0;
    const double dx = q[0] * r - px, dy = q[1] * r - py, dz = q[2] * r - pz;
    return dx * dx + dy * dy + dz * dz;
  };
  const int32_t leg = nearest == 0                                  ? 0
                      : nearest == n - 1                            ? n - 2
                      : pole_d2(nearest - 1) < pole_d2(nearest + 1) ? nearest - 1
                                                                    : nearest;
  // (xi_leg + xi_leg+1) / 2, xi_i = (t[i + 1] + ... + t[i + deg]) / deg
  double twice = knots[leg + 1] + knots[leg + deg + 1];
  for (int j = 2; j <= deg; ++j) twice += 2.0 * knots[leg + j];
  const double mid = twice / (2.0 * deg);
  int32_t first = std::clamp(leg + 1, static_cast<int32_t>(deg), n - 1);
  while (first + 1 < n && knots[first + 1] <= mid) ++first;
  int32_t s = first;
  while (s < n && sp.span_empty(s)) ++s;
  if (s == n) {
    s = first;
    while (s >= deg && sp.span_empty(s)) --s;
    if (s < deg) return BSINARG;
  }
  first = s;
  SpanSearch search{sp, point, tol};
  BSrc rc = BSSUCC;
  // Then its neighbours, deg / 2 (at least one; three for degree 5, measured
  // faster) on each side, where the answer most often is when not in it (the
  // nearest pole acts on deg + 1 spans): a nearer bound before the half-space
  // pass drops more spans there. The spans before .. after are searched (or
  // empty).
  int32_t before = first, after = first;
  const int reach_max = deg == 5 ? 3 : std::max(1, deg / 2);
  // deg 3 and 5 away from empty spans: the run before .. after converted at once
  // (one insertion per shared knot), then searched in the same order.
  const int32_t run_lo = std::max<int32_t>(deg, first - reach_max);
  const int32_t run_hi = std::min<int32_t>(n - 1, first + reach_max);
  bool run = deg == 3 || deg == 5;
  for (int32_t j = run_lo; run && j <= run_hi; ++j) run = !sp.span_empty(j);
  if (run) {
    Pair v[SpanSearch::kRun][2 * kMaxPieceOrder];
    deg == 3 ? search.convert_run<3>(run_lo, run_hi, v) : search.convert_run<5>(run_lo, run_hi, v);
    if ((rc = search.visit_bezier(first, v[first - run_lo])) != BSSUCC) return rc;
    for (int reach = 1; reach <= reach_max; ++reach) {
      if (first - reach >= run_lo &&
          (rc = search.visit_bezier(first - reach, v[first - reach - run_lo])) != BSSUCC)
        return rc;
      if (first + reach <= run_hi &&
          (rc = search.visit_bezier(first + reach, v[first + reach - run_lo])) != BSSUCC)
        return rc;
    }
    before = run_lo, after = run_hi;
  } else if ((rc = search.visit(first)) != BSSUCC) {
    return rc;
  }
  for (int reach = run ? 0 : reach_max; reach > 0; --reach) {
    int32_t s_lo = before - 1, s_hi = after + 1;
    while (s_lo >= deg && sp.span_empty(s_lo)) --s_lo;
    while (s_hi < n && sp.span_empty(s_hi)) ++s_hi;
    if (s_lo >= deg) {
      if ((rc = search.visit(s_lo)) != BSSUCC) return rc;
      before = s_lo;
    }
    if (s_hi < n) {
      if ((rc = search.visit(s_hi)) != BSSUCC) return rc;
      after = s_hi;
    }
  }

  struct Candidate {
    double d2;
    int32_t span;
  };
  constexpr int kCandidates = 64;
  Candidate cand[kCandidates];
  int count = 0;
  auto below_bound = [&](double d2) { return d2 < search.bound * search.bound * (1.0 + 1e-12); };
  auto visit_candidates = [&]() {
    std::sort(cand, cand + count,
              [](const Candidate &x, const Candidate &y) { return x.d2 < y.d2; });
    for (int j = 0; j < count; ++j) {
      if (!below_bound(cand[j].d2)) break;
      const BSrc r = search.visit(cand[j].span);
      if (r != BSSUCC) return r;
    }
    count = 0;
    return BSSUCC;
  };
  // The six half-spaces beyond the bound (x > hx, x < lx, ...), widened to cover
  // the rounding of the thresholds and of their products with the weights; for
  // each, the last pole not in it. A span all of whose poles lie in one of them
  // is farther than the bound.
  double hx, hy, hz, lx, ly, lz;
  auto set_bounds = [&]() {
    const double u = search.bound;
    hx = px + (u + 1e-12 * (std::fabs(px) + u));
    hy = py + (u + 1e-12 * (std::fabs(py) + u));
    hz = pz + (u + 1e-12 * (std::fabs(pz) + u));
    lx = px - (u + 1e-12 * (std::fabs(px) + u));
    ly = py - (u + 1e-12 * (std::fabs(py) + u));
    lz = pz - (u + 1e-12 * (std::fabs(pz) + u));
  };
  // A span the half-spaces leave is a candidate when its lower bound is below
  // the bound.
  auto consider = [&](int32_t i) {
    if ((i >= before && i <= after) || !(knots[i + 1] - knots[i] >= kBezierBreakGap)) return BSSUCC;
    const double enough = search.bound * search.bound * (1.0 + 1e-12);
    double d2 = deg == 5   ? sp.span_lower_bound_pairs<5, rational>(i, point, enough)
                : deg == 3 ? sp.span_lower_bound_pairs<3, rational>(i, point, enough)
                           : sp.span_lower_bound<rational>(i, point, enough);
    if (d2 != d2) d2 = 0.0;  // a weight too small to divide by: no bound
    if (!below_bound(d2)) return BSSUCC;
    cand[count++] = {d2, i};
    if (count < kCandidates) return BSSUCC;
    const BSrc r = visit_candidates();
    set_bounds();
    return r;
  };
  auto search_block = [&](int32_t b) {
    set_bounds();
    const int32_t lo = b * blocks.size, span_lo = blocks.first_span(deg, b);
    const int32_t span_end = blocks.end_span(deg, n, b);
    // The spans that pass are listed without a branch per pole (whether a span
    // passes is unpredictable) and considered a list at a time.
    constexpr int kList = 64;
    int32_t list[kList];
    int listed = 0;
    auto consider_list = [&]() {
      for (int j = 0; j < listed; ++j)
        if (const BSrc r = consider(list[j]); r != BSSUCC) return r;
      listed = 0;
      return BSSUCC;
    };
    // Bit c of a pole's mask: the pole lies in half-space c (x > hx, y > hy, x < lx,
    // y < ly, z > hz, z < lz). Span i lies beyond one side when the masks of its
    // poles i - deg .. i share a bit: up to eight poles, the masks of the last
    // eight are the bytes of `recent` and their common bits are found by ANDing
    // shifted copies; for higher degrees, the last pole outside each half-space
    // is tracked.
    const int k = deg + 1;
    // After the doubling steps (a shift by 0 changes nothing) byte 0 holds the
    // common bits of the last `wide` masks; ANDing the copy shifted by k - wide
    // bytes extends that to the last k.
    const int wide = k >= 8 ? 8 : (k >= 4 ? 4 : 2);
    const int shift4 = wide >= 4 ? 16 : 0, shift8 = wide >= 8 ? 32 : 0, rest = 8 * (k - wide);
    uint64_t recent = 0;
    int32_t i = lo;
    // Orders 4 and 6: two poles a step, their coordinates as the pairs (x0, y0),
    // (z0, x1), (y1, z1) compared with thresholds in the same lanes (the same
    // products with the weights, so the same masks as one at a time).
    auto paired = [&](auto order) {
      constexpr int K = decltype(order)::value;
      Pair h_xy, l_xy, h_zx, l_zx, h_yz, l_yz;
      auto thresholds = [&] {
        h_xy = Pair{hx, hy}, l_xy = Pair{lx, ly}, h_zx = Pair{hz, hx}, l_zx = Pair{lz, lx};
        h_yz = Pair{hy, hz}, l_yz = Pair{ly, lz};
      };
      // The masks of poles j and j + 1 into recent (pole j + 1 in byte 0).
      auto two = [&](int32_t j) {
        const double *q = poles + 3 * static_cast<std::ptrdiff_t>(j);
        const Pair a = load_pair(q), bz = load_pair(q + 2), c = load_pair(q + 4);
        Pair ha = h_xy, la = l_xy, hb = h_zx, lb = l_zx, hc = h_yz, lc = l_yz;
        if (rational) {
          const Pair w = load_pair(weights + j), w0 = {w[0], w[0]}, w1 = {w[1], w[1]};
          ha *= w0, la *= w0, hb *= w, lb *= w, hc *= w1, lc *= w1;
        }
        const unsigned m0 = greater_bits(a, ha) | greater_bits(la, a) << 2;
        const unsigned rest = greater_bits(bz, hb) | greater_bits(lb, bz) << 2 |
                              greater_bits(c, hc) << 4 | greater_bits(lc, c) << 6;
        recent = recent << 16 | m0 << 8 | kPairMasks.m[rest];
      };
      // The mask of pole j alone.
      auto one = [&](int32_t j) {
        const double *q = poles + 3 * static_cast<std::ptrdiff_t>(j);
        const double w = rational ? weights[j] : 1.0;
        const Pair xy = load_pair(q), wv = {w, w};
        const unsigned m = greater_bits(xy, rational ? h_xy * wv : h_xy) |
                           greater_bits(rational ? l_xy * wv : l_xy, xy) << 2 |
                           static_cast<unsigned>(q[2] > (rational ? hz * w : hz)) << 4 |
                           static_cast<unsigned>(q[2] < (rational ? lz * w : lz)) << 5;
        recent = recent << 8 | m;
      };
      thresholds();
      // The first deg poles end no span of the block: only their masks.
      for (; i + 2 <= span_lo; i += 2) two(i);
      if (i < span_lo) one(i++);
      while (i < span_end) {
        const int32_t stop = std::min(span_end, i + kList);  // kList is even
        for (; i + 2 <= stop; i += 2) {
          two(i);
          const uint64_t common = common_bytes<K>(recent);
          list[listed] = i;
          listed += !(common >> 8 & 0x3f);
          list[listed] = i + 1;
          listed += !(common & 0x3f);
        }
        if (i < stop) {  // the last pole alone
          one(i);
          list[listed] = i;
          listed += !(common_bytes<K>(recent) & 0x3f);
          ++i;
        }
        if (const BSrc r = consider_list(); r != BSSUCC) return r;
        thresholds();
      }
      return BSSUCC;
    };
    if (deg == 3 || deg == 5) {
      const BSrc r = deg == 3 ? paired(std::integral_constant<int, 4>{})
                              : paired(std::integral_constant<int, 6>{});
      return r != BSSUCC ? r : visit_candidates();
    }
    int32_t outside[6];
    for (int32_t &o : outside) o = lo - 1;
    while (i < span_end) {
      const int32_t stop = std::min(span_end, i + kList);
#ifdef __SSE2__
      const __m128d thi = _mm_set_pd(hy, hx), tlo = _mm_set_pd(ly, lx);
#endif
      const double thz = hz, tlz = lz;
      for (; i < stop; ++i) {
        const double *q = poles + 3 * static_cast<std::ptrdiff_t>(i);
        const double w = rational ? weights[i] : 1.0;
#ifdef __SSE2__
        const __m128d xy = _mm_loadu_pd(q);
        const __m128d wv = _mm_set1_pd(w);
        const unsigned m =
            static_cast<unsigned>(_mm_movemask_pd(_mm_cmpgt_pd(xy, rational ? thi * wv : thi))) |
            static_cast<unsigned>(_mm_movemask_pd(_mm_cmplt_pd(xy, rational ? tlo * wv : tlo)))
                << 2 |
            static_cast<unsigned>(q[2] > (rational ? thz * w : thz)) << 4 |
            static_cast<unsigned>(q[2] < (rational ? tlz * w : tlz)) << 5;
#else
        const unsigned m = static_cast<unsigned>(q[0] > (rational ? hx * w : hx)) |
                           static_cast<unsigned>(q[1] > (rational ? hy * w : hy)) << 1 |
                           static_cast<unsigned>(q[0] < (rational ? lx * w : lx)) << 2 |
                           static_cast<unsigned>(q[1] < (rational ? ly * w : ly)) << 3 |
                           static_cast<unsigned>(q[2] > (rational ? thz * w : thz)) << 4 |
                           static_cast<unsigned>(q[2] < (rational ? tlz * w : tlz)) << 5;
#endif
        bool beyond;
        if (k <= 8) {
          recent = recent << 8 | m;
          uint64_t common = recent & recent >> 8;
          common &= common >> shift4;
          common &= common >> shift8;
          beyond = ((common & (common >> rest)) & 0x3f) != 0;
        } else {
          int32_t least = i;
          for (int c = 0; c < 6; ++c) {
            outside[c] = (m >> c & 1u) ? outside[c] : i;
            least = std::min(least, outside[c]);
          }
          beyond = least < i - deg;
        }
        // span i passes unless all its poles lie beyond one side
        list[listed] = i;
        listed += !beyond & (i >= span_lo);
      }
      if (const BSrc r = consider_list(); r != BSSUCC) return r;
    }
    return visit_candidates();
  };
  if ((rc = search_block(near_block)) != BSSUCC) return rc;
  // True when the poles of block b all lie beyond a plane farther than the
  // bound: the plane normal to n, the sum of the poles minus the point (the
  // direction of their centroid). Every point x of their hull has (x - p) . n >=
  // least, the least (P_i - p) . n, so least / |n| bounds the distance from below
  // when positive; the rounding of the Cartesian values, the differences and the
  // dot products is below 1e-15 (|P| + |P - p|) |n|_1 per pole, the box's extent
  // bounding both. Not tried when a weight is too small for its reciprocal.
  auto block_beyond = [&](int32_t b) {
    if (rational && blocks.divided) return false;
    const int32_t lo = b * blocks.size, end = std::min(n, (b + 1) * blocks.size + deg);
    const double count = end - lo, *t = blocks.total[b], *bx = blocks.box[b];
    const double nx = t[0] - count * px, ny = t[1] - count * py, nz = t[2] - count * pz;
    const double nn = nx * nx + ny * ny + nz * nz;
    if (!(nn > 0.0 && nn <= kLargestDouble)) return false;
    const Pair cx = {px, px}, cy = {py, py}, cz = {pz, pz}, ux = {nx, nx}, uy = {ny, ny},
               uz = {nz, nz};
    Pair least = {HUGE_VAL, HUGE_VAL};
    int32_t i = lo;
    for (; i + 2 <= end; i += 2) {  // two poles as pairs of their x, y and z
      const double *q = poles + 3 * static_cast<std::ptrdiff_t>(i);
      const Pair u = load_pair(q), v = load_pair(q + 2), w = load_pair(q + 4);
      Pair x = {u[0], v[1]}, y = {u[1], w[0]}, z = {v[0], w[1]};
      if (rational) {
        const Pair r = 1.0 / load_pair(weights + i);
        x *= r, y *= r, z *= r;
      }
      least = pair_min(least, (x - cx) * ux + (y - cy) * uy + (z - cz) * uz);
    }
    double lower = std::min(least[0], least[1]);
    if (i < end) {
      const double r = rational ? 1.0 / weights[i] : 1.0;
      const double *q = poles + 3 * static_cast<std::ptrdiff_t>(i);
      lower = std::min(lower, (q[0] * r - px) * nx + (q[1] * r - py) * ny + (q[2] * r - pz) * nz);
    }
    double extent = 0.0;
    for (int c = 0; c < 3; ++c)
      extent = std::max({extent, std::fabs(bx[c]), std::fabs(bx[3 + c]),
                         std::fabs(bx[c] - point[c]), std::fabs(bx[3 + c] - point[c])});
    lower -= 2e-15 * extent * (std::fabs(nx) + std::fabs(ny) + std::fabs(nz));
    return lower > 0.0 && !below_bound(lower * (lower / nn) * (1.0 - 1e-12));
  };
  // The other blocks nearer than the bound and not beyond their plane, nearest
  // first.
  struct Block {
    double d2;
    int32_t b;
  };
  Block order[PoleBlocks::kMaxBlocks];
  int pending = 0;
  for (int32_t b = 0; b < blocks.count; ++b)
    if (b != near_block && below_bound(block_d2[b])) order[pending++] = {block_d2[b], b};
  std::sort(order, order + pending, [](const Block &x, const Block &y) { return x.d2 < y.d2; });
  for (int j = 0; j < pending && below_bound(order[j].d2); ++j)
    if (!block_beyond(order[j].b) && (rc = search_block(order[j].b)) != BSSUCC) return rc;
  *dist = search.dist;
  std::memcpy(foot, search.foot, sizeof(search.foot));
  *param = search.param;
  return BSSUCC;
}

// Nearest points of a curve record; on a closed curve a parameter at the joint
// becomes the start parameter, with its foot point and distance taken there.
BSrc nearest_on_curve(const BScurve &cv, int32_t num_points, const double *points, double *params,
                      double *feet, double *dists) {
  const int32_t n = cv.num_poles;
  if (!query_points_ok(num_points, 3, points)) return BSINARG;
  const Spline3 sp{cv.order - 1, n, cv.poles, cv.rational ? cv.weights : nullptr, cv.knots};
  // The pole blocks check the poles and weights (the shims leave that to them):
  // poles beyond the bound of the query points overflow the squared distances too.
  PoleBlocks blocks;
  if (!(cv.rational ? blocks.build<true>(sp) : blocks.build<false>(sp))) return BSINARG;
  BSrc rc = BSSUCC;
  for (int32_t i = 0; i < num_points; ++i) {
    const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(i);
    rc = cv.rational ? nearest_on_spline3<true>(sp, blocks, points + at, tol().dist_tol, &dists[i],
                                                feet + at, &params[i])
                     : nearest_on_spline3<false>(sp, blocks, points + at, tol().dist_tol, &dists[i],
                                                 feet + at, &params[i]);
    if (rc != BSSUCC) return rc;
  }
  if (!cv.phy_closed) return rc;
  const double start = cv.knots[cv.order - 1], end = cv.knots[n];
  const double ktol =
      curve_knot_tolerance(cv.order, cv.knots, n, cv.poles, cv.rational ? cv.weights : nullptr);
  double at_start[3];
  bool have_start = false;
  for (int32_t i = 0; i < num_points; ++i) {
    if (params[i] == start) continue;
    if (!(std::fabs(params[i] - start) <= ktol || std::fabs(params[i] - end) <= ktol)) continue;
    if (!have_start) {
      rc = evaluate_curve_at(cv, start, 0, at_start);
      if (rc != BSSUCC) return rc;
      have_start = true;
    }
    // The end itself always becomes the start (the same point on a closed curve);
    // a parameter merely near the joint only when the start is less than
    // dist_tol / 2 farther, as for the end snap of the search.
    const double d_start = v3::dist(at_start, points + 3 * static_cast<std::ptrdiff_t>(i));
    if (params[i] != end && !(d_start < dists[i] + 0.5 * tol().dist_tol)) continue;
    params[i] = start;
    v3::copy(at_start, feet + 3 * static_cast<std::ptrdiff_t>(i));
    dists[i] = d_start;
  }
  return BSSUCC;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

namespace {
// Checks of the nearest-point shims: the poles and weights are checked in the pole
// blocks' pass; a failure found before it takes the status the full record check
// would have given first.
constexpr unsigned kNearestChecks = kCurveFull | kCurveOwnPoleScan;
inline BSrc after_record_check(const BScurve *curve, BSrc rc) {
  const BSrc full = validate_curve(curve, kCurveFull);
  return full != BSSUCC ? full : rc;
}
}  // namespace

extern "C" KW_API void BSmdstptscv(int32_t num_points, const double *points, const BScurve *curve,
                                   double *params, double *feet, double *dists, BSboolean *all_near,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kNearestChecks)) != BSSUCC) return;
  if (num_points < 0) {
    *rc = after_record_check(curve, BSINARG);
    return;
  }
  if (num_points > 0 &&
      (points == nullptr || params == nullptr || feet == nullptr || dists == nullptr)) {
    *rc = after_record_check(curve, BSNULLPTR);
    return;
  }
  if (curve->order > kMaxPieceOrder) {
    *rc = after_record_check(curve, BSDEGENINPUT);
    return;
  }
  if ((*rc = nearest_on_curve(*curve, num_points, points, params, feet, dists)) != BSSUCC) return;
  if (all_near != nullptr) {
    bool near = true;
    for (int32_t i = 0; i < num_points; ++i) near = near && dists[i] <= 2.0 * tol().chrdht_tol;
    *all_near = near ? TRUE : FALSE;
  }
}

extern "C" KW_API void BSmdstptcv(const BScurve *curve, const double *point, double *param,
                                  double *foot, double *dist, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kNearestChecks)) != BSSUCC) return;
  if (point == nullptr || param == nullptr || foot == nullptr || dist == nullptr) {
    *rc = after_record_check(curve, BSNULLPTR);
    return;
  }
  if (curve->order > kMaxPieceOrder) {
    *rc = after_record_check(curve, BSDEGENINPUT);
    return;
  }
  *rc = nearest_on_curve(*curve, 1, point, param, foot, dist);
}

extern "C" KW_API void BSmdptsbscv(int32_t degree, int32_t num_poles, int32_t dim,
                                   BSboolean rational, const double *poles, const double *knots,
                                   int32_t num_points, const double *points, double tol,
                                   double *dists, double *feet, double *params, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr ||
      (num_points > 0 &&
       (points == nullptr || dists == nullptr || feet == nullptr || params == nullptr))) {
    *rc = BSNULLPTR;
    return;
  }
  if (degree + 1 > kMaxPieceOrder) {
    *rc = BSDEGENINPUT;
    return;
  }
  if (degree < 1 || num_poles <= degree || dim < 1 || num_points < 0 ||
      (dim + (rational ? 1 : 0)) * (degree + 1) > kMaxPieceValues) {
    *rc = BSINARG;
    return;
  }
  *rc = nearest_on_spline_rows(degree, num_poles, dim, rational != 0, poles, knots, num_points,
                               points, tol, dists, feet, params);
}

extern "C" KW_API BSboolean BSprptoncv(BSrc *rc, const BScurve *curve, const double *point,
                                       double *param, BSboolean *on_curve) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  if (point == nullptr || param == nullptr || on_curve == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!query_points_ok(1, 3, point)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  // The pole box widened by dist_tol; the point test adds its own margin.
  double lo[3], hi[3];
  pole_box_triples(curve->num_poles, curve->poles, curve->rational ? curve->weights : nullptr, lo,
                   hi);
  const double dt = tol().dist_tol;
  for (int d = 0; d < 3; ++d) {
    lo[d] -= dt;
    hi[d] += dt;
  }
  BSrc box_rc = BSSUCC;
  const int32_t three = 3;
  if (!BSptinbx(&box_rc, point, lo, hi, &three)) {
    *on_curve = FALSE;
    return KW_FINISH(TRUE);
  }
  double u = 0.0, foot[3], dist = 0.0;
  BSrc r = BSSUCC;
  BSmdstptcv(curve, point, &u, foot, &dist, &r);
  if (r != BSSUCC) {
    *rc = r;
    return KW_FINISH(FALSE);
  }
  *param = u;
  *on_curve = dist < dt ? TRUE : FALSE;
  return KW_FINISH(TRUE);
}

extern "C" KW_API void BSmdptbezcv(int32_t degree, int32_t dim, BSboolean rational,
                                   const double *piece, const double *point, double tol,
                                   double bound, double *dist, double *foot, double *param,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if (degree + 1 > kMaxPieceOrder) {
    *rc = BSDEGENINPUT;
    return;
  }
  if (piece == nullptr || point == nullptr || dist == nullptr || foot == nullptr ||
      param == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (degree < 0 || dim < 1 || (dim + (rational ? 1 : 0)) * (degree + 1) > kMaxPieceValues ||
      !query_points_ok(1, dim, point)) {
    *rc = BSINARG;
    return;
  }
  const BezierPiece pc{degree, dim, rational != 0, piece};
  *rc = nearest_on_bezier(pc, point, tol, bound, dist, foot, param);
}

extern "C" KW_API void BSmdptbezln(int32_t dim, BSboolean rational, const double *segment,
                                   const double *point, double tol, double *dist_sq, double *foot,
                                   double *param) {
  *dist_sq = nearest_on_segment(dim, rational != 0, segment, point, tol, foot, param);
}

extern "C" KW_API void BSmdstptarr(int32_t n1, const double *points1, int32_t n2,
                                   const double *points2, int32_t *index1, int32_t *index2,
                                   double *dist, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (index1 == nullptr || index2 == nullptr || dist == nullptr || (n1 > 0 && points1 == nullptr) ||
      (n2 > 0 && points2 == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  int32_t best_i = 2000000000, best_j = 2000000000;
  double best = kLargestDouble;
  for (int32_t i = 0; i < n1; ++i) {
    const double *p = points1 + 3 * static_cast<std::ptrdiff_t>(i);
    for (int32_t j = 0; j < n2; ++j) {
      const double d2 = v3::dist_sq(p, points2 + 3 * static_cast<std::ptrdiff_t>(j));
      if (d2 <= best) {
        best = d2;
        best_i = i;
        best_j = j;
      }
    }
  }
  *index1 = best_i;
  *index2 = best_j;
  *dist = best < kLargestDouble ? std::sqrt(best) : kLargestDouble;
}
