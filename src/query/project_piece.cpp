// Nearest point on one Bezier piece: branch and bound by halving, pruned by pole
// boxes, with every leaf answered exactly on the curve. A sub-piece becomes a leaf
// when the Bernstein coefficients of (C - P) . C' (the derivative of the squared
// distance, up to a positive factor) change sign at most once: then the distance
// is monotone on it, or has exactly one interior minimum, which a bracketed Newton
// iteration finds. Every candidate is a true curve point C(t), compared by its
// exact distance, so neither the chord of a flat piece nor a working tolerance can
// make the answer worse than the true minimum; only the end snap may, by less than
// tol / 2, to give the exact end parameter.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "bspline/bezier.hpp"
#include "bspline/kernel.hpp"
#include "frame/frame.hpp"
#include "query/boxes.hpp"
#include "query/project.hpp"

namespace knotwork {
KW_KERNELS_BEGIN
namespace {

constexpr int kMaxNumeratorDegree = kMaxNumeratorCoefficients - 1;  // 45

// Binomial coefficients up to 45 choose k, exact in double.
struct BinomialTable {
  double c[kMaxNumeratorDegree + 1][kMaxNumeratorDegree + 1] = {};
  constexpr BinomialTable() {
    for (int n = 0; n <= kMaxNumeratorDegree; ++n) {
      c[n][0] = 1.0;
      for (int k = 1; k <= n; ++k) c[n][k] = c[n - 1][k - 1] + (k < n ? c[n - 1][k] : 0.0);
    }
  }
};
constexpr BinomialTable kBinomial{};

// Their reciprocals (a product costs a fraction of a division; the numerator's
// coefficients only need their signs exact, which a positive factor keeps).
struct ReciprocalBinomialTable {
  double c[kMaxNumeratorDegree + 1][kMaxNumeratorDegree + 1] = {};
  constexpr ReciprocalBinomialTable() {
    for (int n = 0; n <= kMaxNumeratorDegree; ++n)
      for (int k = 0; k <= n; ++k) c[n][k] = 1.0 / kBinomial.c[n][k];
  }
};
constexpr ReciprocalBinomialTable kReciprocalBinomial{};

// f(0), ..., f(count - 1): written out at compile time when K > 0 (count is then
// K), so that small arrays indexed by i stay in registers; a plain loop otherwise.
template <int K, class F>
inline void for_index(int count, F &&f) {
  if constexpr (K > 0) {
    [&]<int... I>(std::integer_sequence<int, I...>) {
      (f(I), ...);
    }
    (std::make_integer_sequence<int, K>{});
  } else {
    for (int i = 0; i < count; ++i) f(i);
  }
}

// f(std::integral_constant<int, N>{}) for a degree N of 2-5, the degrees with
// unrolled 3-D code; false for any other degree (the caller's general path).
template <class F>
inline bool with_fixed_degree(int deg, F &&f) {
  switch (deg) {
    case 2:
      return f(std::integral_constant<int, 2>{}), true;
    case 3:
      return f(std::integral_constant<int, 3>{}), true;
    case 4:
      return f(std::integral_constant<int, 4>{}), true;
    case 5:
      return f(std::integral_constant<int, 5>{}), true;
    default:
      return false;
  }
}

// c[0..n+m] += s * (a * b) for Bernstein polynomials a (degree n) and b (degree m),
// without the final division by binom(n + m, k) (done once by the caller).
// NA, MB > 0 fix n and m at compile time (the same arithmetic, unrolled).
template <int NA = 0, int MB = 0>
inline void bernstein_product_add(int n_runtime, const double *a, int m_runtime, const double *b,
                                  double s, double *c) {
  const int n = NA > 0 ? NA : n_runtime, m = MB > 0 ? MB : m_runtime;
  constexpr int kA = NA > 0 ? NA + 1 : 0, kB = MB > 0 ? MB + 1 : 0;  // 0: run time
  double bs[MB > 0 ? MB + 1 : 3 * kMaxPieceOrder];  // b scaled by its binomials, once
  for_index<kB>(m + 1, [&](int j) { bs[j] = kBinomial.c[m][j] * b[j]; });
  for_index<kA>(n + 1, [&](int i) {
    const double ai = s * kBinomial.c[n][i] * a[i];
    if (ai == 0.0) return;
    for_index<kB>(m + 1, [&](int j) { c[i + j] += ai * bs[j]; });
  });
}

// Cartesian pole i of a piece.
inline void piece_pole(const BezierPiece &pc, int i, double *out) {
  const int n1 = pc.deg + 1;
  const double w = pc.rational ? pc.rows[pc.dim * n1 + i] : 1.0;
  for (int d = 0; d < pc.dim; ++d) out[d] = pc.rows[d * n1 + i] / w;
}

inline double dist_sq_n(int dim, const double *a, const double *b) {
  double s = 0.0;
  for (int d = 0; d < dim; ++d) {
    const double e = a[d] - b[d];
    s += e * e;
  }
  return s;
}

// Value of (C - P) . C' and of its derivative |C'|^2 + (C - P) . C'' at t; the point
// C(t) goes to foot.
struct FootFunction {
  double f, fp, scale;  // scale: the size that rounding in f is relative to
};
FootFunction foot_function(const BezierPiece &pc, const double *point, double t, double *foot) {
  double e[3 * kMaxPieceValues];
  bezier_point_derivatives(pc, t, e);
  const int dim = pc.dim;
  double f = 0.0, fp = 0.0, dd = 0.0, d1 = 0.0, cc = 0.0;
  for (int d = 0; d < dim; ++d) {
    const double r = e[d] - point[d];
    f += r * e[dim + d];
    fp += e[dim + d] * e[dim + d] + r * e[2 * dim + d];
    dd += r * r;
    d1 += e[dim + d] * e[dim + d];
    cc += e[d] * e[d];
    foot[d] = e[d];
  }
  // C and C' carry rounding relative to the size of C (C' from differences of
  // poles of that size), so f cannot vanish below about
  // (|C - P| + |C|) |C'| eps + deg |C - P| |C| eps.
  // Its square is at most 2 (2 (dd + cc) d1 + deg^2 dd cc): an f well above that
  // cannot pass the convergence test, and a scale of 0 says so without the roots.
  constexpr double kLimit = 1.5 * (16.0 * 2.220446049250313e-16) * (16.0 * 2.220446049250313e-16);
  const double deg = pc.deg;
  if (f * f > kLimit * (2.0 * (2.0 * (dd + cc) * d1 + deg * deg * dd * cc))) return {f, fp, 0.0};
  const double r = std::sqrt(dd), c = std::sqrt(cc), c1 = std::sqrt(d1);
  return {f, fp, (r + c) * c1 + pc.deg * r * c};
}

// Root of (C - P) . C' in [a, b] where it goes from fa_sign to the opposite sign:
// Newton steps kept inside the shrinking bracket, bisection when a step leaves it.
// Stops only when the function vanishes to rounding or the bracket cannot shrink,
// never merely because a step was small. The point at the returned t is in foot.
double solve_foot_in_bracket(const BezierPiece &pc, const double *point, double a, double b,
                             int fa_sign, double start, double *foot) {
  constexpr double kEps = 2.220446049250313e-16;
  double t = std::clamp(start, a, b);
  double previous = kLargestDouble;  // |f| of the previous iterate
  for (int iter = 0; iter < 100; ++iter) {
    const FootFunction ff = foot_function(pc, point, t, foot);
    if (std::fabs(ff.f) <= 16.0 * kEps * ff.scale) return t;
    // Newton steps that do not at least halve |f| give way to bisection.
    const bool newton_progress = std::fabs(ff.f) <= 0.5 * previous;
    previous = std::fabs(ff.f);
    // Keep the side whose sign matches fa_sign as a.
    if ((ff.f < 0.0) == (fa_sign < 0))
      a = t;
    else
      b = t;
    if (b - a <= 4.0 * kEps * std::max(1.0, std::fabs(t))) break;
    double next = 0.5 * (a + b);
    if (ff.fp != 0.0 && newton_progress) {
      const double newton = t - ff.f / ff.fp;
      if (newton > a && newton < b) next = newton;
    }
    if (next == t) break;
    t = next;
  }
  foot_function(pc, point, t, foot);
  return t;
}

// Sign changes of a coefficient row (zeros skipped); first and last non-zero sign,
// the largest magnitude and the index pair where the first change happens.
struct SignPattern {
  int changes = 0;
  int first = 0;
  int last = 0;
  double largest = 0.0;
  int cross = -1;  // c[cross] and the next non-zero coefficient have opposite signs
};
SignPattern sign_pattern(const double *c, int count) {
  SignPattern sp;
  // Without zeros (or NaN) the changes are the sign flips between neighbours: one
  // pass that does not branch on the signs, which are anybody's guess.
  uint64_t negative = 0;
  bool zero = false;
  for (int k = 0; k < count; ++k) {
    const double a = std::fabs(c[k]);
    sp.largest = std::max(sp.largest, a);
    zero |= !(a > 0.0);
    negative |= static_cast<uint64_t>(c[k] < 0.0) << k;
  }
  if (!zero) {
    static_assert(kMaxNumeratorCoefficients <= 64, "sign bits in one word");
    const uint64_t flips = (negative ^ (negative >> 1)) & ((uint64_t{1} << (count - 1)) - 1);
    sp.changes = std::popcount(flips);
    sp.first = (negative & 1) != 0 ? -1 : 1;
    sp.last = ((negative >> (count - 1)) & 1) != 0 ? -1 : 1;
    sp.cross = flips != 0 ? std::countr_zero(flips) : -1;
    return sp;
  }
  int prev_index = -1;
  for (int k = 0; k < count; ++k) {
    const int s = c[k] > 0.0 ? 1 : (c[k] < 0.0 ? -1 : 0);
    if (s == 0) continue;
    if (sp.first == 0) sp.first = s;
    if (sp.last != 0 && s != sp.last) {
      if (sp.changes == 0) sp.cross = prev_index;
      ++sp.changes;
    }
    sp.last = s;
    prev_index = k;
  }
  return sp;
}

// Local start guess of the root from the first sign change of the coefficients:
// the crossing of the control polygon of the coefficients with zero.
double crossing_guess(const double *c, int count, int cross) {
  if (cross < 0 || count < 2) return 0.5;
  int next = cross + 1;
  while (next < count && c[next] == 0.0) ++next;
  if (next >= count) return 0.5;
  const double x0 = static_cast<double>(cross) / (count - 1);
  const double x1 = static_cast<double>(next) / (count - 1);
  return x0 + (x1 - x0) * (c[cross] / (c[cross] - c[next]));
}

// Sum of w[i] p^i over i < K for two polynomials at once (one per lane), by
// Estrin's scheme: neighbours combined level by level with p, p^2, p^4, ..., a
// chain of about log2 K multiply-adds where Horner's rule takes K (w is
// overwritten).
template <int K>
[[gnu::always_inline]] inline Pair estrin(Pair *w, Pair p) {
  if constexpr (K == 1) {
    return w[0];
  } else {
    for_index<K / 2>(K / 2, [&](int i) { w[i] = w[2 * i] + w[2 * i + 1] * p; });
    if constexpr (K % 2 == 1) w[K / 2] = w[K - 1];
    return estrin<(K + 1) / 2>(w, p * p);
  }
}

// polish_numerator_root() for K coefficients: Newton steps on the polynomial N
// itself, kept in the bracket its signs give (else bisection), until a step is
// below 1e-8 (the next one would be at rounding) or after eight. With
// x = s / (1 - s), N = (1 - s)^m P(x) and N' = m (1 - s)^(m - 1) R(x), P and R the coefficients
// and their differences scaled by the binomials, so N / N' = (1 - s) P / (m R);
// above 1/2 the same in (1 - s) / s with the coefficients reversed,
// N / N' = s P~ / (m R~). Both stay within the coefficients' size (x <= 1). N is
// the numerator of the foot function, so its root starts the Newton steps on the
// curve nearly at rounding: they then take one or two evaluations instead of
// about four, and an evaluation of N costs a fraction of one of the curve.
template <int K>
double polish_numerator_root(const double *c, double s) {
  constexpr int m = K - 1;
  Pair fwd[K], rev[K];
  for_index<K>(K, [&](int i) {
    fwd[i] = Pair{c[i] * kBinomial.c[m][i],
                  i < m ? (c[i + 1] - c[i]) * kBinomial.c[m - 1][i < m ? i : 0] : 0.0};
  });
  for_index<K>(K, [&](int j) { rev[j] = Pair{fwd[m - j][0], j < m ? fwd[m - 1 - j][1] : 0.0}; });
  double lo = 0.0, hi = 1.0;
  for (int step = 0; step < 8; ++step) {
    const bool left = s <= 0.5;
    const double u = 1.0 - s;
    Pair w[K];
    const Pair *v = left ? fwd : rev;
    for_index<K>(K, [&](int i) { w[i] = v[i]; });
    const double x = left ? s / u : u / s;
    const Pair pr = estrin<K>(w, Pair{x, x});
    if (pr[0] == 0.0) return s;
    (pr[0] < 0.0 ? lo : hi) = s;
    double next = 0.5 * (lo + hi);
    if (pr[1] != 0.0) {
      const double newton = s - (left ? u : s) * pr[0] / (m * pr[1]);
      if (newton > lo && newton < hi) next = newton;
    }
    if (std::fabs(next - s) <= 1e-8) return next;
    s = next;
  }
  return s;
}

}  // namespace

double polish_numerator_root(const double *c, int count, double s) {
  if (!(s > 0.0 && s < 1.0)) return s;
  switch (count) {
    case 4:
      return polish_numerator_root<4>(c, s);
    case 6:
      return polish_numerator_root<6>(c, s);
    case 8:
      return polish_numerator_root<8>(c, s);
    case 9:
      return polish_numerator_root<9>(c, s);
    case 10:
      return polish_numerator_root<10>(c, s);
    case 12:
      return polish_numerator_root<12>(c, s);
    case 15:
      return polish_numerator_root<15>(c, s);
    default:
      return s;
  }
}

namespace {

// Smallest weight coefficient of a rational piece (1 for a polynomial one).
inline double smallest_weight(const BezierPiece &pc) {
  if (!pc.rational) return 1.0;
  const double *w = pc.rows + pc.dim * (pc.deg + 1);
  double m = w[0];
  for (int i = 1; i <= pc.deg; ++i) m = std::min(m, w[i]);
  return m;
}

// Bound on the variation of the squared distance over a sub-piece whose numerator
// coefficients are at most `largest` in magnitude: |g'| = 2 |f| / w^3.
inline double squared_distance_variation(const BezierPiece &sub, double largest) {
  const double w = smallest_weight(sub);
  return w > 0.0 ? 2.0 * largest / (w * w * w) : kLargestDouble;
}

// Width below which a sub-piece is not halved again (2^-43): keeps the halving
// depth, and so the pending stack, below 45.
constexpr double kWidthFloor = 1.2e-13;
// A sub-piece whose squared distance varies by at most this fraction of itself is
// answered by one of its points (an arc centred on the point, to rounding).
constexpr double kFlatDistanceFraction = 1e-13;

constexpr int kStackDepth = 50;
struct PendingPiece {
  double lower_bound;
  double t0, t1;
  const double *src;  // its rows: the caller's for the whole piece, else rows
  double rows[kMaxPieceValues];
};

// The best candidate found so far: exact squared distance, parameter and point.
struct BestFoot {
  double d2 = kLargestDouble;
  double t = 0.0;
  double foot[kMaxPieceValues];
};

}  // namespace

namespace {

// Value and first two derivatives of one Bezier row of degree n >= 2 at t (s = 1 - t)
// by de Casteljau down to three values.
inline void row_derivatives(const double *row, int n, double s, double t, double *v, double *d1,
                            double *d2) {
  double b[kMaxPieceOrder];
  const double *src = row;
  for (int level = 1; level <= n - 2; ++level) {
    for (int i = 0; i <= n - level; ++i) b[i] = s * src[i] + t * src[i + 1];
    src = b;
  }
  *d2 = n * (n - 1) * (src[2] - 2.0 * src[1] + src[0]);
  const double c0 = s * src[0] + t * src[1];
  const double c1 = s * src[1] + t * src[2];
  *d1 = n * (c1 - c0);
  *v = s * c0 + t * c1;
}

// The same arithmetic for the M = 3 or 4 rows of a piece of degree N >= 2 fixed
// at compile time, two rows per packed pair, (x, y) and (z, w or 0): the whole
// triangle is unrolled and stays in registers, where the general loop above
// stores every level and reloads it (a store-forwarding stall per level).
template <int N, int M>
inline void rows_derivatives_fixed(const double *rows, double s1, double t1, double *h) {
  constexpr int K = N + 1;
  const Pair s = {s1, s1}, t = {t1, t1};
  Pair a[K], b[K];
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    a[i] = Pair{rows[i], rows[K + i]};
    b[i] = Pair{rows[2 * K + i], M == 4 ? rows[3 * K + i] : 0.0};
  }
#pragma GCC unroll 16
  for (int level = 1; level <= N - 2; ++level)
#pragma GCC unroll 16
    for (int i = 0; i <= N - level; ++i) {
      a[i] = s * a[i] + t * a[i + 1];
      b[i] = s * b[i] + t * b[i + 1];
    }
  const auto finish = [&](const Pair *x, int r) {
    const Pair d2 = N * (N - 1) * (x[2] - 2.0 * x[1] + x[0]);
    const Pair c0 = s * x[0] + t * x[1];
    const Pair c1 = s * x[1] + t * x[2];
    const Pair d1 = N * (c1 - c0);
    const Pair v = s * c0 + t * c1;
    for (int j = 0; j < 2 && r + j < M; ++j) {
      h[r + j] = v[j];
      h[M + r + j] = d1[j];
      h[2 * M + r + j] = d2[j];
    }
  };
  finish(a, 0);
  finish(b, 2);
}

// halve_bezier_rows() for the M = 3 or 4 rows of a piece of degree N fixed at
// compile time, two rows per packed pair: the same averages, in registers.
template <int N, int M>
inline void halve_rows_fixed(const double *in, double *left, double *right) {
  constexpr int K = N + 1;
  const Pair half = {0.5, 0.5};
  Pair a[K], b[K], la[K], lb[K];
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    a[i] = Pair{in[i], in[K + i]};
    b[i] = Pair{in[2 * K + i], M == 4 ? in[3 * K + i] : 0.0};
  }
#pragma GCC unroll 16
  for (int j = 1; j <= N; ++j) {
    la[j - 1] = a[0];
    lb[j - 1] = b[0];
#pragma GCC unroll 16
    for (int i = 0; i <= N - j; ++i) {
      a[i] = half * a[i] + half * a[i + 1];
      b[i] = half * b[i] + half * b[i + 1];
    }
  }
  la[N] = a[0];
  lb[N] = b[0];
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    left[i] = la[i][0];
    left[K + i] = la[i][1];
    left[2 * K + i] = lb[i][0];
    right[i] = a[i][0];
    right[K + i] = a[i][1];
    right[2 * K + i] = b[i][0];
    if (M == 4) {
      left[3 * K + i] = lb[i][1];
      right[3 * K + i] = b[i][1];
    }
  }
}

// Cartesian point and derivatives from the homogeneous ones h (h[j * m + r]: j-th
// derivative of row r); DIM > 0 fixes the dimension at compile time.
template <int DIM = 0>
inline void cartesian_derivatives(int dim_runtime, bool rational, const double *h, double *out) {
  const int dim = DIM > 0 ? DIM : dim_runtime, m = dim + (rational ? 1 : 0);
  if (!rational) {
    for (int d = 0; d < dim; ++d) {
      out[d] = h[d];
      out[dim + d] = h[m + d];
      out[2 * dim + d] = h[2 * m + d];
    }
    return;
  }
  // The point by a true division (it is the foot the searches return); the
  // derivatives, which only steer Newton steps, by the reciprocal, off the
  // division's latency chain.
  const double w = h[dim], w1 = h[m + dim], w2 = h[2 * m + dim], rw = 1.0 / w;
  for (int d = 0; d < dim; ++d) {
    const double c = h[d] / w;
    const double c1 = (h[m + d] - c * w1) * rw;
    const double c2 = (h[2 * m + d] - 2.0 * c1 * w1 - c * w2) * rw;
    out[d] = c;
    out[dim + d] = c1;
    out[2 * dim + d] = c2;
  }
}

// bezier_point_derivatives() of a 3-D piece of degree N, M = 3 rows (polynomial) or
// 4 (rational).
template <int N, int M>
inline void point_derivatives_3d(const double *rows, double t, double *out) {
  double h[3 * M];
  rows_derivatives_fixed<N, M>(rows, 1.0 - t, t, h);
  cartesian_derivatives<3>(3, M == 4, h, out);
}

}  // namespace

// De Casteljau on the coordinate-major rows themselves: the search evaluates pieces
// in its innermost loop, and transposing them for the general de Boor kernel costs
// about a third more time there. 3-D pieces of the common degrees are unrolled.
void bezier_point_derivatives(const BezierPiece &pc, double t, double *out) {
  const int n = pc.deg, m = pc.row_count();
  if (pc.dim == 3 && with_fixed_degree(n, [&](auto deg) {
        constexpr int N = decltype(deg)::value;
        pc.rational ? point_derivatives_3d<N, 4>(pc.rows, t, out)
                    : point_derivatives_3d<N, 3>(pc.rows, t, out);
      }))
    return;
  double h[3 * kMaxPieceValues];  // h[j * m + r]: j-th derivative of row r
  const double s = 1.0 - t;
  for (int r = 0; r < m; ++r) {
    const double *row = pc.rows + r * (n + 1);
    if (n >= 2) {
      row_derivatives(row, n, s, t, &h[r], &h[m + r], &h[2 * m + r]);
    } else {
      h[r] = n == 1 ? s * row[0] + t * row[1] : row[0];
      h[m + r] = n == 1 ? row[1] - row[0] : 0.0;
      h[2 * m + r] = 0.0;
    }
  }
  cartesian_derivatives(pc.dim, pc.rational, h, out);
}

namespace {

// Left and right halves of a piece's rows (halve_bezier_rows(), unrolled for 3-D
// pieces of degree 2-5).
void halve_piece(const BezierPiece &pc, const double *in, double *left, double *right) {
  if (pc.dim == 3 && with_fixed_degree(pc.deg, [&](auto deg) {
        constexpr int N = decltype(deg)::value;
        pc.rational ? halve_rows_fixed<N, 4>(in, left, right)
                    : halve_rows_fixed<N, 3>(in, left, right);
      }))
    return;
  halve_bezier_rows(pc.deg, pc.row_count(), in, left, right);
}

// perpendicular_numerator() with the degree and the dimension fixed at compile time
// when N, DIM > 0: the sums then stay in local arrays of the exact size, which the
// unrolled code keeps in registers, and reach coef once (flatten: every for_index
// body inlined).
template <int N, int DIM>
[[gnu::flatten]] int perpendicular_numerator_of(const BezierPiece &pc, const double *point,
                                                double *coef) {
  const int n = N > 0 ? N : pc.deg, dim = DIM > 0 ? DIM : pc.dim, n1 = n + 1;
  if (n == 0) {
    coef[0] = 0.0;
    return 1;
  }
  // Loop counts for for_index: the count when N fixes it, else 0 (run time).
  constexpr auto fixed = [](int count) { return N > 0 ? count : 0; };
  constexpr int kOrder = N > 0 ? N + 1 : kMaxPieceOrder;
  double u[kOrder], v[kOrder], acc[N > 0 ? 3 * N : kMaxNumeratorCoefficients];
  if (!pc.rational) {
    const int count = 2 * n;  // degree 2n - 1
    for_index<fixed(2 * N)>(count, [&](int k) { acc[k] = 0.0; });
    for_index<DIM>(dim, [&](int d) {
      const double *b = pc.rows + d * n1;
      for_index<fixed(N + 1)>(n + 1, [&](int i) { u[i] = b[i] - point[d]; });
      for_index<fixed(N)>(n, [&](int j) { v[j] = n * (b[j + 1] - b[j]); });
      bernstein_product_add<N, N - 1>(n, u, n - 1, v, 1.0, acc);
    });
    for_index<fixed(2 * N)>(count,
                            [&](int k) { coef[k] = acc[k] * kReciprocalBinomial.c[count - 1][k]; });
    return count;
  }
  // Rational: C = A / w, (C - P) . C' = (A - P w) . (A' w - A w') / w^3. With
  // B = A - P w and S = B . B (degree 2n) the numerator is w S' / 2 - w' S: five
  // products instead of three per coordinate.
  const int count = 3 * n;  // degree 3n - 1
  const double *w = pc.rows + dim * n1;
  double wp[kOrder], sq[2 * kOrder], sp[2 * kOrder];
  for_index<fixed(3 * N)>(count, [&](int k) { acc[k] = 0.0; });
  for_index<fixed(N)>(n, [&](int j) { wp[j] = n * (w[j + 1] - w[j]); });
  for_index<fixed(2 * N + 1)>(2 * n + 1, [&](int k) { sq[k] = 0.0; });
  for_index<DIM>(dim, [&](int d) {
    const double *a = pc.rows + d * n1;
    for_index<fixed(N + 1)>(n + 1, [&](int i) { u[i] = a[i] - point[d] * w[i]; });
    bernstein_product_add<N, N>(n, u, n, u, 1.0, sq);
  });
  for_index<fixed(2 * N + 1)>(2 * n + 1, [&](int k) { sq[k] *= kReciprocalBinomial.c[2 * n][k]; });
  for_index<fixed(2 * N)>(2 * n, [&](int k) { sp[k] = n * (sq[k + 1] - sq[k]); });  // S' / 2
  bernstein_product_add<N, 2 * N - 1>(n, w, 2 * n - 1, sp, 1.0, acc);
  bernstein_product_add<N - 1, 2 * N>(n - 1, wp, 2 * n, sq, -1.0, acc);
  for_index<fixed(3 * N)>(count,
                          [&](int k) { coef[k] = acc[k] * kReciprocalBinomial.c[count - 1][k]; });
  return count;
}

}  // namespace

int perpendicular_numerator(const BezierPiece &pc, const double *point, double *coef) {
  int count = 0;
  if (pc.dim == 3 && with_fixed_degree(pc.deg, [&](auto deg) {
        count = perpendicular_numerator_of<decltype(deg)::value, 3>(pc, point, coef);
      }))
    return count;
  return perpendicular_numerator_of<0, 0>(pc, point, coef);
}

double piece_box_distance_sq(const BezierPiece &pc, const double *point) {
  double box[2 * kMaxPieceValues];
  pole_box_rows(pc.deg + 1, pc.dim, pc.rational, pc.rows, box);
  return box_distance_sq(pc.dim, point, box, box + pc.dim);
}

BSrc nearest_on_bezier(const BezierPiece &piece, const double *point, double tol, double bound,
                       double *dist, double *foot, double *t_out) {
  const int n = piece.deg, dim = piece.dim, nv = piece.row_count() * (n + 1);
  // Weights far from 1 are scaled by a power of two (the same curve, every
  // Cartesian value the same): the numerator multiplies three weights, which
  // would underflow or overflow.
  BezierPiece pc = piece;
  double scaled[kMaxPieceValues];
  if (pc.rational) {
    const double *w = pc.rows + dim * (n + 1);
    double largest = 0.0;
    for (int i = 0; i <= n; ++i) largest = std::max(largest, w[i]);
    if (largest < 0x1p-100 || largest > 0x1p100) {
      int e = 0;
      std::frexp(largest, &e);
      for (int i = 0; i < nv; ++i) scaled[i] = std::ldexp(pc.rows[i], -e);
      pc.rows = scaled;
    }
  }
  const double tw = tol < 0.001 ? 0.001 : tol;
  const double prune_bound = bound >= kLargestDouble ? kLargestDouble : (bound + tw) * (bound + tw);
  *dist = kLargestDouble;

  BestFoot best;
  double scratch_point[kMaxPieceValues];
  // A candidate replaces the best one only when it is nearer by more than rounding,
  // so an end of the piece keeps its exact parameter against an interior foot of the
  // same distance, and an end never replaces a nearer interior foot.
  auto consider = [&](double t, const double *p) {
    const double d2 = dist_sq_n(dim, p, point);
    if (d2 >= prune_bound) return;
    if (best.d2 < kLargestDouble && !(d2 < best.d2 - 1e-14 * best.d2)) return;
    best.d2 = d2;
    best.t = t;
    std::memcpy(best.foot, p, sizeof(double) * dim);
  };
  auto consider_at = [&](double t) {
    if (t == 0.0)
      piece_pole(pc, 0, scratch_point);
    else if (t == 1.0)
      piece_pole(pc, n, scratch_point);
    else {
      double e[3 * kMaxPieceValues];
      bezier_point_derivatives(pc, t, e);
      std::memcpy(scratch_point, e, sizeof(double) * dim);
    }
    consider(t, scratch_point);
  };

  // The two ends are exact curve points: the end poles.
  consider_at(0.0);
  consider_at(1.0);

  PendingPiece stack[kStackDepth];
  int top = 1;
  stack[0].lower_bound = 0.0;
  stack[0].t0 = 0.0;
  stack[0].t1 = 1.0;
  stack[0].src = pc.rows;

  double coef[kMaxNumeratorCoefficients];
  double left[kMaxPieceValues], right[kMaxPieceValues];
  while (top > 0) {
    PendingPiece &e = stack[top - 1];
    const double prune = std::min(prune_bound, best.d2);
    if (e.lower_bound >= prune) {
      --top;
      continue;
    }
    const BezierPiece sub{n, dim, pc.rational, e.src};
    const int count = perpendicular_numerator(sub, point, coef);
    const SignPattern sp = sign_pattern(coef, count);
    const double t0 = e.t0, t1 = e.t1;
    if (sp.changes == 0) {
      // Monotone squared distance: the nearer end is the sub-piece's minimum.
      consider_at(sp.first > 0 || sp.first == 0 ? t0 : t1);
      --top;
      continue;
    }
    if (sp.changes == 1) {
      if (sp.first < 0) {
        // Decreasing, then increasing: one interior minimum.
        const double s0 = polish_numerator_root(coef, count, crossing_guess(coef, count, sp.cross));
        const double t =
            solve_foot_in_bracket(pc, point, t0, t1, -1, t0 + (t1 - t0) * s0, scratch_point);
        consider(t, scratch_point);
      } else {
        // One interior maximum: the minimum is at an end.
        consider_at(t0);
        consider_at(t1);
      }
      --top;
      continue;
    }
    // Two or more sign changes: halve, unless the sub-piece is already answered by
    // any of its points (distance constant to rounding) or is too short to halve.
    piece_pole(sub, 0, scratch_point);
    const double g0 = dist_sq_n(dim, scratch_point, point);
    if (t1 - t0 < kWidthFloor ||
        squared_distance_variation(sub, sp.largest) <= kFlatDistanceFraction * g0) {
      consider_at(t0);
      consider_at(0.5 * (t0 + t1));
      --top;
      continue;
    }
    halve_piece(pc, e.src, left, right);
    const BezierPiece lp{n, dim, pc.rational, left}, rp{n, dim, pc.rational, right};
    const double lb_left = piece_box_distance_sq(lp, point);
    const double lb_right = piece_box_distance_sq(rp, point);
    const double mid = 0.5 * (t0 + t1);
    const bool left_nearer = lb_left <= lb_right;
    const double *near_rows = left_nearer ? left : right;
    const double *far_rows = left_nearer ? right : left;
    const double near_lb = left_nearer ? lb_left : lb_right;
    const double far_lb = left_nearer ? lb_right : lb_left;
    const double near_t0 = left_nearer ? t0 : mid, near_t1 = left_nearer ? mid : t1;
    const double far_t0 = left_nearer ? mid : t0, far_t1 = left_nearer ? t1 : mid;
    if (far_lb < prune) {
      if (top == kStackDepth) return BSNOMEMORY;
      e.lower_bound = far_lb;
      e.t0 = far_t0;
      e.t1 = far_t1;
      e.src = e.rows;
      std::memcpy(e.rows, far_rows, sizeof(double) * nv);
      PendingPiece &nx = stack[top++];
      nx.lower_bound = near_lb;
      nx.t0 = near_t0;
      nx.t1 = near_t1;
      nx.src = nx.rows;
      std::memcpy(nx.rows, near_rows, sizeof(double) * nv);
    } else {
      e.lower_bound = near_lb;
      e.t0 = near_t0;
      e.t1 = near_t1;
      e.src = e.rows;
      std::memcpy(e.rows, near_rows, sizeof(double) * nv);
    }
  }

  if (best.d2 >= kLargestDouble) return BSSUCC;
  double d = std::sqrt(best.d2);
  // End snap: a foot within 0.01 of an end (in local terms) takes the exact end
  // parameter when the end is less than tol / 2 farther. Intersections, joins and
  // the on-curve test rely on getting the end parameter itself there.
  if ((best.t > 0.0 && best.t < 0.01) || (best.t > 0.99 && best.t < 1.0)) {
    const int end = best.t < 0.5 ? 0 : n;
    piece_pole(pc, end, scratch_point);
    const double d_end = std::sqrt(dist_sq_n(dim, scratch_point, point));
    if (d_end < d + 0.5 * tol) {
      d = d_end;
      best.t = end == 0 ? 0.0 : 1.0;
      std::memcpy(best.foot, scratch_point, sizeof(double) * dim);
    }
  }
  *dist = d;
  *t_out = best.t;
  std::memcpy(foot, best.foot, sizeof(double) * dim);
  return BSSUCC;
}

double nearest_on_segment(int dim, bool rational, const double *seg, const double *point,
                          double tol, double *foot, double *s_out) {
  const int stride = dim + (rational ? 1 : 0);
  const double *p0 = seg, *p1 = seg + stride;
  double num = 0.0, den = 0.0;
  if (!rational) {
    for (int d = 0; d < dim; ++d) {
      const double c = p1[d] - p0[d];
      num += (point[d] - p0[d]) * c;
      den += c * c;
    }
  } else {
    const double w0 = p0[dim], w1 = p1[dim], dw = w1 - w0;
    for (int d = 0; d < dim; ++d) {
      const double delta = p1[d] - p0[d];
      const double e = w0 * delta - dw * p0[d];
      num += (w0 * point[d] - p0[d]) * e;
      den += (delta - dw * point[d]) * e;
    }
  }
  double s;
  if (den >= tol * tol) {
    s = num / den;
    if (s < tol)
      s = 0.0;
    else if (s > 1.0 - tol)
      s = 1.0;
  } else {
    s = num <= 0.0 ? 0.0 : 1.0;
  }
  double d2 = 0.0;
  const double w = rational ? p0[dim] + s * (p1[dim] - p0[dim]) : 1.0;
  for (int d = 0; d < dim; ++d) {
    foot[d] = (p0[d] + s * (p1[d] - p0[d])) / w;
    const double e = foot[d] - point[d];
    d2 += e * e;
  }
  *s_out = s;
  return d2;
}

int perpendicular_roots(const BezierPiece &pc, const double *point, double *roots, int max_roots,
                        bool *constant_distance) {
  const int n = pc.deg, dim = pc.dim, nv = pc.row_count() * (n + 1);
  *constant_distance = false;
  int found = 0;
  auto add_root = [&](double t) {
    if (found > 0 && found <= max_roots && std::fabs(t - roots[found - 1]) <= 1e-12) return;
    if (found < max_roots) roots[found] = t;
    ++found;
  };

  // Depth-first, left half first, so the roots come out ascending.
  constexpr int kDepth = 2 * kStackDepth;
  struct Span {
    double t0, t1;
    double rows[kMaxPieceValues];
  };
  static_assert(sizeof(Span) * kDepth < 64 * 1024, "root stack too large");
  Span stack[kDepth];
  int top = 1;
  stack[0].t0 = 0.0;
  stack[0].t1 = 1.0;
  std::memcpy(stack[0].rows, pc.rows, sizeof(double) * nv);
  double coef[kMaxNumeratorCoefficients];
  double left[kMaxPieceValues], right[kMaxPieceValues], pole[kMaxPieceValues];
  bool first = true;
  int previous_end_sign = 0;  // sign of f at the right end of the previous leaf span
  while (top > 0) {
    Span &e = stack[--top];
    const BezierPiece sub{n, dim, pc.rational, e.rows};
    const int count = perpendicular_numerator(sub, point, coef);
    const SignPattern sp = sign_pattern(coef, count);
    piece_pole(sub, 0, pole);
    const double g0 = dist_sq_n(dim, pole, point);
    const double variation = squared_distance_variation(sub, sp.largest);
    if (first && (n == 0 || variation <= kFlatDistanceFraction * g0)) {
      *constant_distance = true;
      return 0;
    }
    first = false;
    const double t0 = e.t0, t1 = e.t1;
    const bool leaf = sp.changes < 2 || t1 - t0 < kWidthFloor ||
                      variation <= kFlatDistanceFraction * g0 || top + 2 > kDepth;
    if (leaf) {
      // Leaves come in increasing order and share their ends: f changing sign
      // between the end of one and the start of the next is a root on the common
      // end, which neither leaf's own coefficients show.
      const int start_sign = coef[0] > 0.0 ? 1 : (coef[0] < 0.0 ? -1 : 0);
      if (coef[0] == 0.0 || (previous_end_sign != 0 && start_sign != previous_end_sign))
        add_root(t0);
      previous_end_sign = coef[count - 1] > 0.0 ? 1 : (coef[count - 1] < 0.0 ? -1 : 0);
    }
    if (sp.changes == 1) {
      const double s0 = crossing_guess(coef, count, sp.cross);
      add_root(solve_foot_in_bracket(pc, point, t0, t1, sp.first, t0 + (t1 - t0) * s0, pole));
    } else if (sp.changes >= 2) {
      if (leaf) {
        add_root(0.5 * (t0 + t1));
      } else {
        halve_piece(pc, e.rows, left, right);
        const double mid = 0.5 * (t0 + t1);
        Span &r = stack[top++];
        r.t0 = mid;
        r.t1 = t1;
        std::memcpy(r.rows, right, sizeof(double) * nv);
        Span &l = stack[top++];
        l.t0 = t0;
        l.t1 = mid;
        std::memcpy(l.rows, left, sizeof(double) * nv);
        continue;
      }
    }
    if (coef[count - 1] == 0.0) add_root(t1);
  }
  return found;
}

KW_KERNELS_END
}  // namespace knotwork
