// Nearest points of a curve record read in place: the search over its spans (no
// setup proportional to the curve beyond two passes over its poles). Compiled
// twice where the target allows: as is, and for AVX2 into knotwork::avx2
// (nearest_avx2.cpp), which nearest_on_curve() takes on processors that have it.
#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "bspline/bezier.hpp"
#include "bspline/kernel.hpp"
#include "frame/frame.hpp"
#include "query/boxes.hpp"
#include "query/project.hpp"
#include "records/curve_check.hpp"

namespace knotwork {
KW_KERNELS_BEGIN

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

// The largest |coordinate| of the box lo, hi: the scale of the plane bounds'
// rounding.
[[gnu::always_inline]] inline double box_extent(const double *lo, const double *hi) {
  double qmax = 0.0;
  for (int d = 0; d < 3; ++d) qmax = std::max(qmax, std::max(-lo[d], hi[d]));
  return qmax;
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
  const double qmax = box_extent(lo, hi);
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
  const double qmax = box_extent(lo, hi);
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
  // those of span_lower_bound() to rounding (the same operations lane by lane; a
  // multiply-add may be fused in one and not the other), and so is the box; the
  // plane's normal is summed in another order (any normal gives a bound).
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
// arithmetic of span_bezier_rows() lane by lane (so the poles agree with it, bit
// for bit but where a multiply-add is fused) without its generic pole access;
// D > 0 fixes the degree at compile time. With Next, the right clamp also
// leaves in next[0 .. deg - 2] the first poles of the following span clamped at
// its left end (the other edge of the same insertion triangle: blossoms
// F(b^(deg - i), t[k + 1] .. t[k + i])), so a run of spans is converted with one
// insertion per shared knot.
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
        // the reciprocal weights two at a time (k is even)
        Pair fine = {1.0, 1.0};
        for (int i = 0; i < k; i += 2) {
          const Pair r = 1.0 / Pair{v[2 * i + 1][1], v[2 * i + 3][1]};
          fine = r <= Pair{kLargestDouble, kLargestDouble} ? fine : Pair{0.0, 0.0};
          const Pair r0 = {r[0], r[0]}, r1 = {r[1], r[1]};
          cartesian[2 * i] = v[2 * i] * r0, cartesian[2 * i + 1] = v[2 * i + 1] * r0;
          cartesian[2 * i + 2] = v[2 * i + 2] * r1, cartesian[2 * i + 3] = v[2 * i + 3] * r1;
        }
        if (!(fine[0] > 0.0 && fine[1] > 0.0)) return false;
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

}  // namespace

// The nearest points of a validated curve record (order <= 16) to num_points points,
// each searched alone over the same pole blocks.
BSrc nearest_points(const BScurve &cv, int32_t num_points, const double *points, double *params,
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
  return rc;
}

KW_KERNELS_END
}  // namespace knotwork
