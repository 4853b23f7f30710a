// Least-squares continuity correction of chains of Legendre segments
// (BScstlgdbsp): the smallest change, in the L2 norm of the functions over the
// parameter (each segment weighted by its length), that makes the chain C^r at
// every interior breakpoint.
#include <cmath>
#include <cstring>

#include "approx/composite.hpp"
#include "records/curve_check.hpp"

namespace knotwork {

namespace {

// q-th derivative of P_j at x = 1: (j + q)! / (2^q q! (j - q)!), 0 for q > j.
double legendre_derivative_at_one(int32_t j, int32_t q) {
  if (q > j) return 0.0;
  double v = 1.0;
  for (int32_t i = 1; i <= q; ++i) v *= static_cast<double>(j + i) * (j - i + 1) / (2.0 * i);
  return v;
}

}  // namespace

// BScstlgdbsp on validated input (m >= 2, increasing breaks, 0 <= r <= k - 1).
BSrc correct_continuity(int32_t g, int32_t c, int32_t k, int32_t r, int32_t m, const double *breaks,
                        const double *in, double tol, double *out) {
  const int32_t series = g * c, cols = r + 1;
  const std::size_t len = static_cast<std::size_t>(m) * k;
  const std::size_t blocks = static_cast<std::size_t>(m - 1) * k * cols;
  ScratchBuffer buf(sizeof(double) * (2 * blocks + 2 * len * series + len + m));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *A = buf.as<double>(), *B = A + blocks, *Y = B + blocks, *Z = Y + len * series;
  double *sigma = Z + len * series, *h = sigma + len;
  const double range = breaks[m] - breaks[0];
  for (int32_t i = 0; i < m; ++i) {
    h[i] = (breaks[i + 1] - breaks[i]) * m / range;
    if (!(h[i] > 0.0)) return BSDIVZERO;
    // Scaled coefficients whose Euclidean norm is the segment's L2 norm in t.
    for (int32_t j = 0; j < k; ++j) sigma[i * k + j] = std::sqrt(h[i] / (2.0 * j + 1.0));
  }
  for (int32_t i = 0; i + 1 < m; ++i)
    for (int32_t q = 0; q < cols; ++q)
      for (int32_t j = 0; j < k; ++j) {
        const double d1 = legendre_derivative_at_one(j, q);
        const double dm1 = ((j + q) % 2 ? -d1 : d1);  // P_j^(q)(-1)
        const std::size_t at = (static_cast<std::size_t>(i) * cols + q) * k + j;
        A[at] = d1 / sigma[i * k + j] / std::pow(h[i], q);
        B[at] = -dm1 / sigma[(i + 1) * k + j] / std::pow(h[i + 1], q);
      }
  for (int32_t s = 0; s < series; ++s)
    for (std::size_t e = 0; e < len; ++e) Y[s * len + e] = in[s * len + e] * sigma[e];
  BSrc rc = BSSUCC;
  BShouslgbsc(m - 1, k, cols, A, B, series, Y, Z, &rc);
  if (rc != BSSUCC) return rc;
  // Size of the change per segment against the tolerance (a warning only).
  BSrc status = BSSUCC;
  for (int32_t i = 0; i < m; ++i) {
    double change = 0.0, size = 0.0;
    for (int32_t gi = 0; gi < g; ++gi) {
      double c2 = 0.0, s2 = 0.0;
      for (int32_t ci = 0; ci < c; ++ci) {
        const std::size_t base = static_cast<std::size_t>(gi * c + ci) * len + i * k;
        double cs = 0.0, ss = 0.0;
        for (int32_t j = 0; j < k; ++j) {
          cs += std::fabs(Z[base + j] / sigma[i * k + j]);
          ss += std::fabs(in[base + j]);
        }
        c2 += cs * cs;
        s2 += ss * ss;
      }
      change = std::max(change, std::sqrt(c2));
      size = std::max(size, std::sqrt(s2));
    }
    if (change > tol && change > 2.220446049250313e-14 * size) status = 55;
  }
  for (int32_t s = 0; s < series; ++s)
    for (std::size_t e = 0; e < len; ++e)
      out[s * len + e] = in[s * len + e] - Z[s * len + e] / sigma[e];
  return status;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BScstlgdbsp(int32_t g, int32_t c, int32_t order, int32_t r, int32_t m,
                                   const double *breaks, const double *in, double tol, double *out,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if (breaks == nullptr || in == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (g < 1 || c < 1 || static_cast<int64_t>(g) * c > 256 || order < 1 ||
      order > kMaxSegmentDegree + 1 || r < 0 || r > order - 1 || m < 1 || m > kMaxSegments ||
      !std::isfinite(tol) || !knots_ascending(breaks, m + 1)) {
    *rc = BSINARG;
    return;
  }
  const std::size_t total = static_cast<std::size_t>(g) * c * m * order;
  for (std::size_t i = 0; i < total; ++i)
    if (!std::isfinite(in[i])) {
      *rc = BSINARG;
      return;
    }
  if (m == 1) {
    std::memmove(out, in, sizeof(double) * total);
    return;
  }
  *rc = correct_continuity(g, c, order, r, m, breaks, in, tol, out);
}
