// Nearest point of a curve to points: the search over the Bezier pieces of a
// spline in rows (box distances order and prune the pieces, the previous point's
// foot bounds the next point's search), the curve-record front ends (their span
// search is nearest_spline.cpp), the on-curve test and the closest pair of two
// point sets.
#include <algorithm>
#include <cmath>
#include <cstring>

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

bool use_avx2_kernels() {
#ifdef KNOTWORK_HAVE_AVX2_KERNELS
  // (__builtin_cpu_init: the call may come from another library's constructor,
  // before the runtime's own has filled in the processor's features)
  static const bool has =
      (__builtin_cpu_init(), __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"));
  return has;
#else
  return false;
#endif
}

BSrc evaluate_curve_at(const BScurve &cv, double u, int d, double *out) {
  const int32_t s = find_span_hinted(cv.order, cv.num_poles, cv.knots, u, cv.order - 1);
  if (s < 0) return BSINARG;
  return evaluate_curve_span(cv.order, cv.poles, cv.rational ? cv.weights : nullptr, cv.knots, s, u,
                             d, tol().zero_tol, out);
}

namespace {

// Nearest points of a curve record; on a closed curve a parameter at the joint
// becomes the start parameter, with its foot point and distance taken there.
BSrc nearest_on_curve(const BScurve &cv, int32_t num_points, const double *points, double *params,
                      double *feet, double *dists) {
#ifdef KNOTWORK_HAVE_AVX2_KERNELS
  BSrc rc = use_avx2_kernels() ? avx2::nearest_points(cv, num_points, points, params, feet, dists)
                               : nearest_points(cv, num_points, points, params, feet, dists);
#else
  BSrc rc = nearest_points(cv, num_points, points, params, feet, dists);
#endif
  if (rc != BSSUCC || !cv.phy_closed) return rc;
  const int32_t n = cv.num_poles;
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
