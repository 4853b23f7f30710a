// Evaluation kernels of the B-spline core: span searches, the reciprocal knot
// differences of a span, de Boor's triangle with derivatives, the rational
// quotient rule and exact binomial coefficients. Every curve family builds on these;
// they allocate nothing and assume validated input (order >= 1, a valid span).
#ifndef KNOTWORK_BSPLINE_KERNEL_HPP
#define KNOTWORK_BSPLINE_KERNEL_HPP

#ifndef KNOTWORK_INTERNAL
#error "kernel.hpp is internal to the library"
#endif

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "frame/frame.hpp"

namespace knotwork {

// Orders up to this evaluate entirely in fixed stack arrays (no scratch memory).
inline constexpr int kStackOrder = 16;

// ---- Span searches -----------------------------------------------------------

// Right-closed span of u (knots[s] < u <= knots[s+1]) in [k-1, n-1], trying the
// hint, hint+1 and hint-1 first; parameters outside the domain get the end spans.
// Returns -1 only for a knot vector that is not non-decreasing or a NaN parameter.
// With poles (and weights) of a curve record given, the poles of the last few
// candidate spans of a long search are fetched into the cache while the search
// ends, so their misses overlap the search's own.
inline int32_t find_span_hinted(int32_t k, int32_t n, const double *knots, double u, int32_t hint,
                                const double *poles = nullptr, const double *weights = nullptr) {
  const int32_t lo_span = k - 1, hi_span = n - 1;
  if (hint >= lo_span && hint <= hi_span) {
    if (knots[hint] < u && u <= knots[hint + 1]) return hint;
    if (hint + 1 <= hi_span && knots[hint + 1] < u && u <= knots[hint + 2]) return hint + 1;
    if (hint - 1 >= lo_span && knots[hint - 1] < u && u <= knots[hint]) return hint - 1;
  }
  if (k == n) return k - 1;
  if (u <= knots[k - 1] + 1e-20) return k - 1;
  if (u > knots[n] - 1e-20) return n - 1;
  // Inside the domain the span is the one below the first knot >= u among
  // knots[k..n-1] (knots[n] >= u bounds the search); branch-free steps keep
  // random parameters free of mispredictions. Eight-way steps narrow the window
  // [base, base + len] holding that knot: their seven loads are independent, so
  // the chain of dependent loads (cache misses on long knot vectors) is a third
  // of that of halving. The last 16 knots or fewer are counted.
  if (knots[k - 1] < u && u <= knots[n]) {
    const double *base = knots + k;
    int32_t len = n - k;
    bool fetch = poles != nullptr && len > 64;
    // spans base - knots - 1 .. base - knots + len - 1, poles from k - 1 below
    const auto prefetch_window = [&] {
      const int32_t first = static_cast<int32_t>(base - knots) - k;
      const char *a =
          reinterpret_cast<const char *>(poles + 3 * static_cast<std::ptrdiff_t>(first));
      const char *b = reinterpret_cast<const char *>(
          poles + 3 * (static_cast<std::ptrdiff_t>(first) + len + k));
      for (; a < b; a += 64) __builtin_prefetch(a);
      if (weights != nullptr)
        for (const double *w = weights + first; w < weights + first + len + k; w += 8)
          __builtin_prefetch(w);
      fetch = false;
    };
    while (len > 16) {
      const int32_t q = len / 8;
      int32_t below = 0;
#pragma GCC unroll 8
      for (int j = 1; j < 8; ++j) below += base[j * q] < u;
      base += q * below;
      len -= 7 * q;
      // the poles' misses overlap the last steps' own
      if (fetch && len <= 40) prefetch_window();
    }
    if (fetch) prefetch_window();
    int32_t below = 0;  // all loads independent
    for (int32_t i = 0; i < len; ++i) below += base[i] < u;
    return static_cast<int32_t>(base - knots) + below - 1;
  }
  int32_t lo = k, hi = n;
  while (lo <= hi) {
    const int32_t mid = (lo + hi) / 2;
    if (knots[mid] < u) {
      lo = mid + 1;
      if (u <= knots[mid + 1]) return mid;
    } else {
      if (knots[mid - 1] < u) return mid - 1;
      hi = mid - 1;
    }
  }
  return -1;
}

// Index r in [k, n] of the first knot above u (knots[r-1] <= u < knots[r]) after
// clamping u to the domain; n when the clamped u is the domain end.
inline int32_t find_right_knot(int32_t k, int32_t n, const double *knots, double u) {
  if (u < knots[k - 1]) u = knots[k - 1];
  if (u >= knots[n]) return n;
  return static_cast<int32_t>(std::upper_bound(knots + k, knots + n, u) - knots);
}

// Left-closed span (knots[s] <= u < knots[s+1]): the first s >= k-1 with
// u < knots[s+1]; n-1 when u >= knots[n]. An interior knot gets the span on its right.
inline int32_t find_span_left_closed(int32_t k, int32_t n, const double *knots, double u) {
  if (!(u < knots[n])) return n - 1;
  return static_cast<int32_t>(std::upper_bound(knots + k, knots + n, u) - knots) - 1;
}

// Forward step of a sweep over ascending parameters: the first s' >= s with
// u <= knots[s'+1], or n-1. Never moves backwards; a smaller u keeps s.
inline int32_t advance_span(int32_t n, const double *knots, double u, int32_t s) {
  if (u <= knots[s + 1] || s >= n - 1) return s;
  if (s + 1 >= n - 1 || u <= knots[s + 2]) return s + 1;
  // galloping: a sweep moves a few spans at a time, so bracket u by doubling
  // steps from s + 2 before bisecting (O(log of the distance), not of n)
  int32_t lo = s + 2, step = 2;  // knots[lo] < u
  while (lo + step < n && knots[lo + step] < u) {
    lo += step;
    step *= 2;
  }
  const int32_t hi = std::min(lo + step, n) + 1;
  const double *hit = std::lower_bound(knots + lo + 1, knots + hi, u);
  return std::min<int32_t>(static_cast<int32_t>(hit - knots) - 1, n - 1);
}

// ---- Reciprocal knot differences -----------------------------------------------

// Number of reciprocal differences of a span of degree p.
inline constexpr int span_table_size(int p) {
  return p * (p + 1) / 2;
}

// Offset of level r (1..p) in the reciprocal table.
inline constexpr int span_table_row(int p, int r) {
  return (r - 1) * (2 * p - r + 2) / 2;
}

enum class SpanCheck { kOk, kShortSpan, kShortInterval };

// Fills inv, level by level, with 1 / (knots[s+1+i] - knots[s-p+r+i]) for
// r = 1..p, i = 0..p-r: the divisors of every de Boor level and of every
// derivative difference of span s. Reports the span itself shorter than tiny
// (kShortSpan) or another difference below tiny (kShortInterval).
inline SpanCheck span_reciprocals(const double *knots, int p, int32_t s, double tiny, double *inv) {
  if (p > 0 && !(knots[s + 1] - knots[s] >= tiny)) return SpanCheck::kShortSpan;
  const double *t0 = knots + (s - p);
  bool short_interval = false;
  for (int r = 1; r <= p; ++r) {
    for (int i = 0; i <= p - r; ++i) {
      const double diff = knots[s + 1 + i] - t0[r + i];
      short_interval |= !(diff >= tiny);
      *inv++ = 1.0 / diff;
    }
  }
  return short_interval ? SpanCheck::kShortInterval : SpanCheck::kOk;
}

// ---- De Boor's triangle with derivatives ------------------------------------------

// Two packed doubles: homogeneous points are handled as (x, y) and (z, w) pairs so
// every load of the triangle reads exactly what one store wrote (no partial
// store forwarding).
using Pair = double __attribute__((vector_size(16)));
inline Pair load_pair(const double *p) {
  Pair v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store_pair(double *p, Pair v) {
  std::memcpy(p, &v, sizeof v);
}

// Level r (1..p) and index i of entry e of a span's reciprocal table.
inline constexpr int table_level(int p, int e) {
  int r = 1;
  for (; e > p - r; ++r) e -= p - r + 1;
  return r;
}
inline constexpr int table_index(int p, int e) {
  int r = 1;
  for (; e > p - r; ++r) e -= p - r + 1;
  return e;
}

// Knot difference of entry E of the reciprocal table of span s (degree P); the
// entry past the end repeats the last one (the span itself).
template <int P, int E>
inline double table_difference(const double *knots, int32_t s) {
  constexpr int e = E < span_table_size(P) ? E : span_table_size(P) - 1;
  constexpr int r = table_level(P, e), i = table_index(P, e);
  return knots[s + 1 + i] - knots[s - P + r + i];
}

template <int P, std::size_t... J>
inline SpanCheck span_reciprocals_pairs(const double *knots, int32_t s, double tiny, double *inv,
                                        std::index_sequence<J...>) {
  using Mask = long long __attribute__((vector_size(16)));
  const Pair limit = {tiny, tiny};
  Mask ok = {-1, -1};
  (
      [&] {
        const Pair diff = {table_difference<P, 2 * J>(knots, s),
                           table_difference<P, 2 * J + 1>(knots, s)};
        ok &= diff >= limit;
        const Pair q = Pair{1.0, 1.0} / diff;
        if (2 * J + 1 < span_table_size(P))
          store_pair(inv + 2 * J, q);
        else
          inv[2 * J] = q[0];
      }(),
      ...);
  if (!(knots[s + 1] - knots[s] >= tiny)) return SpanCheck::kShortSpan;
  return (ok[0] & ok[1]) != 0 ? SpanCheck::kOk : SpanCheck::kShortInterval;
}

// span_reciprocals for a fixed degree P: the same quotients and checks, the
// differences formed in registers and divided two at a time.
template <int P>
inline SpanCheck span_reciprocals_fixed(const double *knots, int32_t s, double tiny, double *inv) {
  return span_reciprocals_pairs<P>(knots, s, tiny, inv,
                                   std::make_index_sequence<(span_table_size(P) + 1) / 2>());
}

// hi = lo + a (hi - lo) on m values (pairs when M = 4).
template <int M>
inline void lerp_point(double *hi, const double *lo, double a, int m) {
  if constexpr (M == 4) {
    const Pair l0 = load_pair(lo), l1 = load_pair(lo + 2);
    store_pair(hi, l0 + a * (load_pair(hi) - l0));
    store_pair(hi + 2, l1 + a * (load_pair(hi + 2) - l1));
  } else {
    for (int c = 0; c < m; ++c) hi[c] = lo[c] + a * (hi[c] - lo[c]);
  }
}

// hi = (hi - lo) f on m values.
template <int M>
inline void difference_point(double *hi, const double *lo, double f, int m) {
  if constexpr (M == 4) {
    store_pair(hi, (load_pair(hi) - load_pair(lo)) * f);
    store_pair(hi + 2, (load_pair(hi + 2) - load_pair(lo + 2)) * f);
  } else {
    for (int c = 0; c < m; ++c) hi[c] = (hi[c] - lo[c]) * f;
  }
}

template <int M>
inline void copy_points(const double *src, int count, int m, double *dst) {
  if constexpr (M == 4) {
    for (int i = 0; i < 2 * count; ++i) store_pair(dst + 2 * i, load_pair(src + 2 * i));
  } else {
    std::copy(src, src + count * m, dst);
  }
}

// Point and derivatives 0..min(d, p) of the polynomial piece of one span.
//   t0   knots + s - p (the first knot of the span's support)
//   inv  the span's reciprocal table (span_reciprocals)
//   w    (p+1) control points of m values each, pole-major (poles s-p..s); destroyed
//   tmp  (p+1)*m doubles of workspace
//   out  (min(d, p)+1) rows of m values
// The point is the last vertex of the triangle; the j-th derivative is
// p!/(p-j)! times the j-th divided difference of the j+1 points of level p-j.
// All steps are convex combinations or differences over the span's own knots, so
// the error stays a few ulps of the pole magnitude even at order 16.
// M > 0 fixes the number of values per pole and P > 0 the degree at compile time
// (the loops then unroll); 0 takes the runtime arguments.
template <int M, int P = 0>
inline void deboor_derivatives(int p_runtime, int m_runtime, const double *t0, const double *inv,
                               double u, int d, double *w, double *tmp, double *out) {
  const int m = M > 0 ? M : m_runtime;
  const int p = P > 0 ? P : p_runtime;
  const int jmax = std::min(d, p);
  double falling = 1.0;  // p (p-1) ... (p-j+1) for the derivative being formed
  for (int j = 1; j <= jmax; ++j) falling *= static_cast<double>(p - j + 1);
  for (int r = 0; r <= p; ++r) {
    if (r > 0) {
      const double *row = inv + span_table_row(p, r);
      for (int q = p; q >= r; --q) {
        lerp_point<M>(w + q * m, w + (q - 1) * m, (u - t0[q]) * row[q - r], m);
      }
    }
    const int j = p - r;
    if (j >= 1 && j <= jmax) {
      copy_points<M>(w + r * m, j + 1, m, tmp);
      for (int l = 1; l <= j; ++l) {
        const double *row = inv + span_table_row(p, r + l);
        for (int q = j; q >= l; --q) {
          difference_point<M>(tmp + q * m, tmp + (q - 1) * m, row[q - l], m);
        }
      }
      for (int c = 0; c < m; ++c) out[j * m + c] = tmp[j * m + c] * falling;
      falling /= static_cast<double>(p - j + 1);
    }
  }
  for (int c = 0; c < m; ++c) out[c] = w[p * m + c];
}

// ---- Poles relative to the span ------------------------------------------------

// Derivatives are differences of points of the triangle, so their rounding error
// scales with the magnitude of those points. Running the triangle on the span's
// poles relative to an origin near the span (its first pole) makes that error
// scale with the span's own size, wherever the curve lies; the origin is added
// back to the point only.

// x with its significand cut to the leading 26 bits: the product with a weight of
// up to 27 significant bits is then exact.
inline double short_significand(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  b &= ~((uint64_t{1} << 27) - 1);
  std::memcpy(&x, &b, sizeof b);
  return x;
}

// Origin of the span of the p+1 poles from index i. Polynomial curve (weights
// null): the centre of the poles' bounding box, so no moved pole is larger than
// the largest pole. Rational: the first Cartesian pole, significand shortened, so
// that w (x - o) is formed exactly from w x and w whenever that can be.
inline void span_origin(const double *poles, const double *weights, int p, int32_t i,
                        double *origin) {
  const double *src = poles + 3 * static_cast<std::ptrdiff_t>(i);
  if (weights == nullptr) {
    double lo[3] = {src[0], src[1], src[2]}, hi[3] = {src[0], src[1], src[2]};
    for (int q = 1; q <= p; ++q)
      for (int c = 0; c < 3; ++c) {
        lo[c] = std::min(lo[c], src[3 * q + c]);
        hi[c] = std::max(hi[c], src[3 * q + c]);
      }
    for (int c = 0; c < 3; ++c) origin[c] = 0.5 * lo[c] + 0.5 * hi[c];
    return;
  }
  const double inv = 1.0 / weights[i];
  for (int c = 0; c < 3; ++c) origin[c] = short_significand(src[c] * inv);
  // a weight too small to divide by: no move rather than a non-finite origin
  if (!std::isfinite(origin[0] + origin[1] + origin[2])) origin[0] = origin[1] = origin[2] = 0.0;
}

// The same for a homogeneous point of dim weighted coordinates and its weight.
inline void span_origin_rows(const double *point, int dim, double *origin) {
  const double inv = 1.0 / point[dim];
  bool finite = true;
  for (int c = 0; c < dim; ++c)
    finite &= std::isfinite(origin[c] = short_significand(point[c] * inv));
  if (!finite)
    for (int c = 0; c < dim; ++c) origin[c] = 0.0;
}

// De Boor's triangle of a fixed low degree P on homogeneous points kept in local
// pairs (registers once unrolled), loading the span's poles straight from the
// curve arrays (weights null: w = 1). Same arithmetic as deboor_derivatives<4>.
// With `origin` non-null the poles are moved by -o, o chosen as span_origin does
// (from the loaded poles) and written to origin: the output is the moved curve.
template <int P>
inline void deboor_span_fixed(const double *poles, const double *weights, int32_t s,
                              const double *t0, const double *inv, double u, int d, double *out,
                              double *origin) {
  Pair xy[P + 1], zw[P + 1];
  const double *src = poles + 3 * static_cast<std::ptrdiff_t>(s - P);
#pragma GCC unroll 16
  for (int q = 0; q <= P; ++q) {
    xy[q] = load_pair(src + 3 * q);
    zw[q] = Pair{src[3 * q + 2], weights != nullptr ? weights[s - P + q] : 1.0};
  }
  if (origin != nullptr) {
    if (weights == nullptr) {
      Pair lo = xy[0], hi = xy[0], zlo = zw[0], zhi = zw[0];
#pragma GCC unroll 16
      for (int q = 1; q <= P; ++q) {
        lo = lo < xy[q] ? lo : xy[q];
        hi = hi > xy[q] ? hi : xy[q];
        zlo = zlo < zw[q] ? zlo : zw[q];
        zhi = zhi > zw[q] ? zhi : zw[q];
      }
      store_pair(origin, 0.5 * lo + 0.5 * hi);
      origin[2] = 0.5 * zlo[0] + 0.5 * zhi[0];
    } else {
      span_origin(poles, weights, P, s - P, origin);
    }
    const Pair oxy = load_pair(origin), oz = {origin[2], 0.0};
#pragma GCC unroll 16
    for (int q = 0; q <= P; ++q) {
      const double w = zw[q][1];
      xy[q] -= oxy * w;
      zw[q] -= oz * w;
    }
  }
  const int jmax = std::min(d, P);
  double falling = 1.0;
  for (int j = 1; j <= jmax; ++j) falling *= static_cast<double>(P - j + 1);
#pragma GCC unroll 16
  for (int r = 0; r <= P; ++r) {
    if (r > 0) {
      const double *row = inv + span_table_row(P, r);
#pragma GCC unroll 16
      for (int q = P; q >= r; --q) {
        const double a = (u - t0[q]) * row[q - r];
        xy[q] = xy[q - 1] + a * (xy[q] - xy[q - 1]);
        zw[q] = zw[q - 1] + a * (zw[q] - zw[q - 1]);
      }
    }
    const int j = P - r;
    if (j >= 1 && j <= jmax) {
      Pair dxy[P + 1], dzw[P + 1];
#pragma GCC unroll 16
      for (int q = 0; q <= P - r; ++q) {
        dxy[q] = xy[r + q];
        dzw[q] = zw[r + q];
      }
#pragma GCC unroll 16
      for (int l = 1; l <= P - r; ++l) {
        const double *row = inv + span_table_row(P, r + l);
#pragma GCC unroll 16
        for (int q = P - r; q >= l; --q) {
          const double f = row[q - l];
          dxy[q] = (dxy[q] - dxy[q - 1]) * f;
          dzw[q] = (dzw[q] - dzw[q - 1]) * f;
        }
      }
      store_pair(out + 4 * j, dxy[j] * falling);
      store_pair(out + 4 * j + 2, dzw[j] * falling);
      falling /= static_cast<double>(P - j + 1);
    }
  }
  store_pair(out, xy[P]);
  store_pair(out + 2, zw[P]);
}

// deboor_derivatives with the common low degrees unrolled.
template <int M>
inline void deboor_dispatch(int p, int m, const double *t0, const double *inv, double u, int d,
                            double *w, double *tmp, double *out) {
  switch (p) {
    case 1:
      return deboor_derivatives<M, 1>(p, m, t0, inv, u, d, w, tmp, out);
    case 2:
      return deboor_derivatives<M, 2>(p, m, t0, inv, u, d, w, tmp, out);
    case 3:
      return deboor_derivatives<M, 3>(p, m, t0, inv, u, d, w, tmp, out);
    case 4:
      return deboor_derivatives<M, 4>(p, m, t0, inv, u, d, w, tmp, out);
    case 5:
      return deboor_derivatives<M, 5>(p, m, t0, inv, u, d, w, tmp, out);
    default:
      return deboor_derivatives<M, 0>(p, m, t0, inv, u, d, w, tmp, out);
  }
}

// Loads the p+1 poles of span s as homogeneous points (w x, w y, w z, w), w = 1
// for a polynomial curve (weights null): four lanes keep the triangle's loads and
// stores of equal width, so they vectorise without store-forwarding stalls. With
// an origin o the points are (w (x - o), w).
inline void load_span_poles(const double *poles, const double *weights, int p, int32_t s, double *w,
                            const double *origin = nullptr) {
  const double *src = poles + 3 * static_cast<std::ptrdiff_t>(s - p);
  const double *wt = weights != nullptr ? weights + (s - p) : nullptr;
  const Pair oxy = origin != nullptr ? load_pair(origin) : Pair{0.0, 0.0};
  const Pair oz = {origin != nullptr ? origin[2] : 0.0, 0.0};
  for (int q = 0; q <= p; ++q) {
    const double wq = wt != nullptr ? wt[q] : 1.0;
    store_pair(w + 4 * q, load_pair(src + 3 * q) - oxy * wq);
    const Pair zw = Pair{src[3 * q + 2], wq} - oz * wq;
    store_pair(w + 4 * q + 2, zw);
  }
}

// ---- Binomial coefficients and the quotient rule --------------------------------

// Pascal's triangle up to row 56: every entry is an integer below 2^53, exact.
inline constexpr int kBinomialRows = 57;
struct BinomialTable {
  double v[kBinomialRows][kBinomialRows];
};
extern const BinomialTable kBinomials;
// binom(n, i) for larger n, in extended precision (exact while it fits a double's
// integer range, correctly rounded to double beyond).
double binomial_large(int n, int i);

// binom(n, i) for 0 <= i <= n: table lookup for n < 57, computed beyond; never
// reads outside the table.
inline double binomial(int n, int i) {
  if (n < kBinomialRows) return kBinomials.v[n][i];
  return binomial_large(n, i);
}

// Cartesian derivatives 0..d of a rational function from its homogeneous
// derivatives: hom holds rows 0..hrows-1 of (dim+1) values (coordinates, then the
// weight); rows from hrows on are zero (derivatives beyond the degree).
//   C_j = (A_j - sum_{i=1..j} binom(j, i) w_i C_{j-i}) / w_0
// out receives d+1 rows of dim values. Returns false (out untouched) when 1 / w_0
// is not finite.
inline bool rational_derivatives(int dim, int hrows, int d, const double *hom, double *out) {
  const int hs = dim + 1;
  // A zero, NaN or vanishingly small weight has no finite reciprocal: a failure,
  // not NaNs or infinities reported as a result.
  const double inv_w = 1.0 / hom[dim];
  if (!std::isfinite(inv_w)) return false;
  for (int j = 0; j <= d; ++j) {
    double *cj = out + j * dim;
    for (int c = 0; c < dim; ++c) cj[c] = j < hrows ? hom[j * hs + c] : 0.0;
    const int top = std::min(j, hrows - 1);
    for (int i = 1; i <= top; ++i) {
      const double f = binomial(j, i) * hom[i * hs + dim];
      const double *prev = out + (j - i) * dim;
      for (int c = 0; c < dim; ++c) cj[c] -= f * prev[c];
    }
    for (int c = 0; c < dim; ++c) cj[c] *= inv_w;
  }
  return true;
}

// ---- Workspace for evaluating one span -----------------------------------------

// Doubles needed by evaluate_span for an order k curve with m values per pole.
inline constexpr std::size_t span_work_doubles(int k, int m) {
  return static_cast<std::size_t>(span_table_size(k - 1)) + 3 * static_cast<std::size_t>(k) * m;
}

// Evaluation workspace of one order: fixed stack arrays up to kStackOrder, scratch
// memory above it (ok() false when that could not be had: status 33).
class SpanWorkspace {
 public:
  SpanWorkspace(int k, int m) {
    const std::size_t need = span_work_doubles(k, m);
    if (need <= kStackDoubles) {
      base_ = stack_;
    } else if (heap_.acquire(need * sizeof(double))) {
      base_ = heap_.as<double>();
    }
    if (base_ != nullptr) {
      inv = base_;
      w = inv + span_table_size(k - 1);
      tmp = w + static_cast<std::ptrdiff_t>(k) * m;
      hom = tmp + static_cast<std::ptrdiff_t>(k) * m;
    }
  }
  bool ok() const { return base_ != nullptr; }

  double *inv = nullptr;  // reciprocal knot differences
  double *w = nullptr;    // the triangle, k points
  double *tmp = nullptr;  // difference workspace, k points
  double *hom = nullptr;  // homogeneous derivatives, k rows

 private:
  static constexpr std::size_t kStackDoubles =
      std::max<std::size_t>(span_work_doubles(kStackOrder, 4), 500);
  double stack_[kStackDoubles];
  BasicScratchBuffer<1> heap_;
  double *base_ = nullptr;
};

// Homogeneous point and derivatives 0..min(d, p) of a 3D curve on span s into
// ws.hom (rows of 4), from the reciprocal table in ws.inv; with an origin, of the
// curve moved by -origin.
inline void deboor_span(const double *poles, const double *weights, int p, int32_t s,
                        const double *t0, double u, int d, SpanWorkspace &ws,
                        double *origin = nullptr) {
  switch (p) {
    case 1:
      return deboor_span_fixed<1>(poles, weights, s, t0, ws.inv, u, d, ws.hom, origin);
    case 2:
      return deboor_span_fixed<2>(poles, weights, s, t0, ws.inv, u, d, ws.hom, origin);
    case 3:
      return deboor_span_fixed<3>(poles, weights, s, t0, ws.inv, u, d, ws.hom, origin);
    case 4:
      return deboor_span_fixed<4>(poles, weights, s, t0, ws.inv, u, d, ws.hom, origin);
    case 5:
      return deboor_span_fixed<5>(poles, weights, s, t0, ws.inv, u, d, ws.hom, origin);
    default:
      if (origin != nullptr) span_origin(poles, weights, p, s - p, origin);
      load_span_poles(poles, weights, p, s, ws.w, origin);
      deboor_derivatives<4>(p, 4, t0, ws.inv, u, d, ws.w, ws.tmp, ws.hom);
  }
}

// Cartesian point and derivatives (out: d+1 triples) from `rows` homogeneous rows
// of 4 (rows beyond them zero) of the curve moved by -origin (null: not moved).
// Returns false for a weight without finite reciprocal.
inline bool cartesian_rows(bool rational, int rows, int d, const double *hom, const double *origin,
                           double *out) {
  if (!rational) {
    for (int j = 0; j < rows; ++j) {
      out[3 * j] = hom[4 * j];
      out[3 * j + 1] = hom[4 * j + 1];
      out[3 * j + 2] = hom[4 * j + 2];
    }
    std::fill(out + 3 * rows, out + 3 * (d + 1), 0.0);
  } else if (!rational_derivatives(3, rows, d, hom, out)) {
    return false;
  }
  if (origin != nullptr)
    for (int c = 0; c < 3; ++c) out[c] += origin[c];
  return true;
}

// Point and d derivatives (out: d+1 triples) of a 3D curve on span s at u, from
// its arrays; weights null for a polynomial curve. The span's reciprocal table
// must already be in ws.inv. Returns false for a zero homogeneous weight.
inline bool evaluate_span_prepared(int k, const double *poles, const double *weights,
                                   const double *knots, int32_t s, double u, int d,
                                   SpanWorkspace &ws, double *out) {
  const int p = k - 1;
  const int rows = std::min(d, p) + 1;
  const double *t0 = knots + (s - p);
  // points alone need no origin: their error is relative to their own size
  double origin[3] = {0.0, 0.0, 0.0};
  deboor_span(poles, weights, p, s, t0, u, d, ws, d > 0 ? origin : nullptr);
  return cartesian_rows(weights != nullptr, rows, d, ws.hom, d > 0 ? origin : nullptr, out);
}

// Point and d derivatives (out: d+1 triples, zeroed first) of a 3D curve on span
// s at u; weights null for a polynomial curve; tiny is the knot-difference
// threshold. Status 0, BSINARG / BSDIVZERO (span check), BSFAIL (zero weight) or
// BSNOSTKMEMORY (orders above kStackOrder without scratch memory).
inline BSrc evaluate_curve_span(int k, const double *poles, const double *weights,
                                const double *knots, int32_t s, double u, int d, double tiny,
                                double *out);

// Status of a span check: 0, BSINARG for a span shorter than the threshold,
// BSDIVZERO for another interval of its support below it.
inline BSrc span_check_status(SpanCheck c) {
  return c == SpanCheck::kOk ? BSSUCC : c == SpanCheck::kShortSpan ? BSINARG : BSDIVZERO;
}

// Cached evaluation along parameters, fastest when they ascend (a parameter
// before the running span starts a fresh search): the reciprocal table is rebuilt
// only when the span changes; tiny is the knot-difference threshold of the span
// check. Orders above kStackOrder take scratch memory: check ok() (status 33).
class CurveSweep {
 public:
  CurveSweep(int k, int32_t n, const double *poles, const double *weights, const double *knots,
             double tiny)
      : k_(k), n_(n), poles_(poles), weights_(weights), knots_(knots), tiny_(tiny), ws_(k, 4) {}
  bool ok() const { return ws_.ok(); }
  int32_t span() const { return span_; }

  // The running span for u: forward from the current one, or from the first span
  // when u lies before it (parameters out of order).
  int32_t locate(double u) const {
    return advance_span(n_, knots_, u, u < knots_[span_] ? k_ - 1 : span_);
  }
  // Starts the running span at the left-closed or right-closed span of u.
  void start(double u, bool left_closed) {
    span_ = left_closed ? find_span_left_closed(k_, n_, knots_, u)
                        : advance_span(n_, knots_, u, k_ - 1);
  }
  // Moves the running span forward for u and evaluates d derivatives there
  // (out: d+1 triples). Returns the status: span check, or BSFAIL for a zero weight.
  // From the second parameter in a span of degree 1..kFormDegree on, the span's
  // local polynomial form answers (Horner's rule); the first one, and spans
  // visited once, take de Boor's triangle.
  BSrc eval(double u, int d, double *out) { return eval_degree<0>(u, d, out); }
  // Points and D <= 2 derivatives at `count` parameters (out: D+1 triples each),
  // eval() one after the other, the running span's form inlined. Stops at the
  // first failure: BSINARG for a parameter or a result that is not finite, else
  // eval's status; the failing parameter's output is left untouched.
  template <int D>
  BSrc eval_run(const double *pars, int32_t count, double *out) {
    switch (k_ - 1) {
      case 1:
        return run<1, D>(pars, count, out);
      case 2:
        return run<2, D>(pars, count, out);
      case 3:
        return run<3, D>(pars, count, out);
      case 4:
        return run<4, D>(pars, count, out);
      case 5:
        return run<5, D>(pars, count, out);
      default:
        return run<0, D>(pars, count, out);
    }
  }
  // The homogeneous point (4 values; weight 1 for a polynomial curve) at u.
  BSrc eval_homogeneous(double u, double *out4) {
    span_ = locate(u);
    if (span_ != table_span_) {
      check_ = span_check_status(reciprocals(span_));
      table_span_ = span_;
      form_ready_ = false;
      visited_ = false;
    }
    if (check_ != BSSUCC) return check_;
    const int p = k_ - 1;
    deboor_span(poles_, weights_, p, span_, knots_ + (span_ - p), u, 0, ws_);
    std::copy(ws_.hom, ws_.hom + 4, out4);
    return BSSUCC;
  }

 private:
  static constexpr int kFormDegree = 5;

  // The reciprocal table of span s into ws_.inv (span_reciprocals).
  SpanCheck reciprocals(int32_t s) {
    switch (k_ - 1) {
      case 1:
        return span_reciprocals_fixed<1>(knots_, s, tiny_, ws_.inv);
      case 2:
        return span_reciprocals_fixed<2>(knots_, s, tiny_, ws_.inv);
      case 3:
        return span_reciprocals_fixed<3>(knots_, s, tiny_, ws_.inv);
      case 4:
        return span_reciprocals_fixed<4>(knots_, s, tiny_, ws_.inv);
      case 5:
        return span_reciprocals_fixed<5>(knots_, s, tiny_, ws_.inv);
      default:
        return span_reciprocals(knots_, k_ - 1, s, tiny_, ws_.inv);
    }
  }

  // eval() for degree P (0: the curve's, at run time); out of line, so that the
  // loops of run() stay small.
  template <int P>
  [[gnu::noinline]] BSrc eval_degree(double u, int d, double *out) {
    span_ = locate(u);
    const int p = P > 0 ? P : k_ - 1;
    if (span_ != table_span_) {
      if constexpr (P > 0)
        check_ = span_check_status(span_reciprocals_fixed<P>(knots_, span_, tiny_, ws_.inv));
      else
        check_ = span_check_status(reciprocals(span_));
      table_span_ = span_;
      form_ready_ = false;
      visited_ = false;
    }
    if (check_ != BSSUCC) return check_;
    if (p >= 1 && p <= kFormDegree && d <= 2) {
      if (!form_ready_ && visited_) build_form();
      if (form_ready_) return P > 0 ? eval_form_fixed<P>(u, d, out) : eval_form(u, d, out);
      visited_ = true;
    }
    if constexpr (P > 0) {
      // evaluate_span_prepared with the degree fixed
      double hom[4 * (P + 1)], origin[3] = {0.0, 0.0, 0.0};
      deboor_span_fixed<P>(poles_, weights_, span_, knots_ + (span_ - P), ws_.inv, u, d, hom,
                           d > 0 ? origin : nullptr);
      return cartesian_rows(weights_ != nullptr, std::min(d, P) + 1, d, hom,
                            d > 0 ? origin : nullptr, out)
                 ? BSSUCC
                 : BSFAIL;
    }
    return evaluate_span_prepared(k_, poles_, weights_, knots_, span_, u, d, ws_, out) ? BSSUCC
                                                                                       : BSFAIL;
  }

  // eval_run for degree P (0: any degree through eval()).
  template <int P, int D>
  BSrc run(const double *pars, int32_t count, double *out) {
    constexpr int kStride = 3 * (D + 1);
    for (int32_t i = 0; i < count; ++i) {
      const double u = pars[i];
      double local[kStride];
      BSrc rc;
      // a parameter in the running span with its form ready: what eval() would do
      if (P > 0 && form_ready_ && u >= knots_[span_] && u <= knots_[span_ + 1])
        rc = eval_form_fixed<P>(u, D, local);
      else if (!std::isfinite(u))
        return BSINARG;
      else
        rc = eval_degree<P>(u, D, local);
      if (rc != BSSUCC) return rc;
      bool finite = true;  // independent tests, no branches
      for (int j = 0; j < kStride; ++j) finite &= std::isfinite(local[j]);
      if (!finite) return BSINARG;
      double *dst = out + static_cast<std::ptrdiff_t>(i) * kStride;
      for (int j = 0; j < kStride; ++j) dst[j] = local[j];
    }
    return BSSUCC;
  }

  // The running span's polynomial in powers of t = u - centre, for the curve
  // moved by -origin (homogeneous, pairs (x, y) and (z, w)): form_[0] its
  // coefficients, form_[1] and form_[2] those of its first and second derivative.
  // The coefficients are the derivatives at the span's centre (de Boor's triangle,
  // exact to rounding) over j!, so the form is as accurate as the triangle while
  // the parameter stays in the span.
  void build_form() {
    const int p = k_ - 1;
    centre_ = 0.5 * knots_[span_] + 0.5 * knots_[span_ + 1];
    deboor_span(poles_, weights_, p, span_, knots_ + (span_ - p), centre_, p, ws_, origin_);
    double factorial = 1.0;
    for (int j = 0; j <= p; ++j) {
      if (j > 0) factorial *= j;
      const double f = 1.0 / factorial;
      const Pair xy = load_pair(ws_.hom + 4 * j) * f, zw = load_pair(ws_.hom + 4 * j + 2) * f;
      form_[0][j][0] = xy;
      form_[0][j][1] = zw;
      form_[1][j][0] = xy * static_cast<double>(j);
      form_[1][j][1] = zw * static_cast<double>(j);
      form_[2][j][0] = xy * static_cast<double>(j * (j - 1));
      form_[2][j][1] = zw * static_cast<double>(j * (j - 1));
    }
    form_ready_ = true;
  }

  // Point and d <= 2 derivatives of the running span's form at u.
  BSrc eval_form(double u, int d, double *out) {
    switch (k_ - 1) {
      case 1:
        return eval_form_fixed<1>(u, d, out);
      case 2:
        return eval_form_fixed<2>(u, d, out);
      case 3:
        return eval_form_fixed<3>(u, d, out);
      case 4:
        return eval_form_fixed<4>(u, d, out);
      default:
        return eval_form_fixed<5>(u, d, out);
    }
  }

  // Horner's rule for row r of the form at t: pairs (x, y) and (z, w).
  template <int P>
  void horner(int r, double t, Pair &xy, Pair &zw) const {
    const Pair(*c)[2] = form_[r];
    xy = c[P][0];
    zw = c[P][1];
#pragma GCC unroll 8
    for (int j = P - 1; j >= r; --j) {
      xy = xy * t + c[j][0];
      zw = zw * t + c[j][1];
    }
  }

  // Point and d <= 2 derivatives from the form, in registers: the quotient rule
  // of rational_derivatives for a rational curve, then the origin added back.
  template <int P>
  [[gnu::always_inline]] BSrc eval_form_fixed(double u, int d, double *out) {
    const double t = u - centre_;
    const bool rational = weights_ != nullptr;
    Pair xy0, zw0, xy1 = {0.0, 0.0}, zw1 = {0.0, 0.0}, xy2 = {0.0, 0.0}, zw2 = {0.0, 0.0};
    horner<P>(0, t, xy0, zw0);
    if (d >= 1) horner<P>(1, t, xy1, zw1);
    if (d >= 2 && P >= 2) horner<P>(2, t, xy2, zw2);
    if (rational) {
      const double inv = 1.0 / zw0[1], w1 = zw1[1], w2 = zw2[1];
      if (!std::isfinite(inv)) return BSFAIL;
      xy0 *= inv;
      zw0 *= inv;
      if (d >= 1) {
        xy1 = (xy1 - w1 * xy0) * inv;
        zw1 = (zw1 - w1 * zw0) * inv;
      }
      if (d >= 2) {
        const double f1 = 2.0 * w1, f2 = w2;
        xy2 = (xy2 - f1 * xy1 - f2 * xy0) * inv;
        zw2 = (zw2 - f1 * zw1 - f2 * zw0) * inv;
      }
    }
    out[0] = xy0[0] + origin_[0];
    out[1] = xy0[1] + origin_[1];
    out[2] = zw0[0] + origin_[2];
    if (d >= 1) {
      store_pair(out + 3, xy1);
      out[5] = zw1[0];
    }
    if (d >= 2) {
      store_pair(out + 6, xy2);
      out[8] = zw2[0];
    }
    return BSSUCC;
  }

  int k_;
  int32_t n_;
  const double *poles_, *weights_, *knots_;
  double tiny_;
  SpanWorkspace ws_;
  int32_t span_ = 0;
  int32_t table_span_ = -1;
  BSrc check_ = BSSUCC;
  bool visited_ = false, form_ready_ = false;
  double centre_ = 0.0;
  double origin_[3] = {0.0, 0.0, 0.0};
  Pair form_[3][kFormDegree + 1][2];
};

inline BSrc evaluate_curve_span(int k, const double *poles, const double *weights,
                                const double *knots, int32_t s, double u, int d, double tiny,
                                double *out) {
  std::fill(out, out + 3 * static_cast<std::ptrdiff_t>(d + 1), 0.0);
  SpanWorkspace ws(k, 4);
  if (!ws.ok()) return BSNOSTKMEMORY;
  const BSrc st = span_check_status(span_reciprocals(knots, k - 1, s, tiny, ws.inv));
  if (st != BSSUCC) return st;
  return evaluate_span_prepared(k, poles, weights, knots, s, u, d, ws, out) ? BSSUCC : BSFAIL;
}

}  // namespace knotwork

#endif  // KNOTWORK_BSPLINE_KERNEL_HPP
