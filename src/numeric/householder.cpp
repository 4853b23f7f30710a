// Householder least squares on full matrices: the row-major solver and its
// triangularisation step, and the column-major triangularisation that the
// block-bidiagonal routines build on.
#include <cmath>

#include "frame/frame.hpp"
#include "numeric/numeric.hpp"

namespace knotwork {
namespace {

// One row-major Householder step on column k of the m x n matrix a and the
// m x r right sides b. Returns alpha (the new diagonal) through *alpha_out.
// When `require_alpha` and |alpha| < eps the matrix is left untouched and false
// is returned.
bool householder_row_step(int32_t m, int32_t n, int32_t r, double *a, double *b, int32_t k,
                          bool require_alpha) {
  double sigma_sq = 0.0;
  for (int32_t i = k; i < m; ++i) sigma_sq += a[i * n + k] * a[i * n + k];
  const double akk = a[k * n + k];
  const double s = (std::fabs(akk) >= kSolverZero && akk >= 0.0) ? -1.0 : 1.0;
  const double alpha = s * std::sqrt(sigma_sq);
  if (require_alpha && std::fabs(alpha) < kSolverZero) return false;
  const double h = sigma_sq - alpha * akk;
  if (std::fabs(h) <= kSolverZero) return true;
  a[k * n + k] = akk - alpha;  // column k from row k down is the reflector v
  for (int32_t j = k + 1; j < n; ++j) {
    double t = 0.0;
    for (int32_t i = k; i < m; ++i) t += a[i * n + k] * a[i * n + j];
    t /= h;
    for (int32_t i = k; i < m; ++i) a[i * n + j] -= t * a[i * n + k];
  }
  for (int32_t c = 0; c < r; ++c) {
    double t = 0.0;
    for (int32_t i = k; i < m; ++i) t += a[i * n + k] * b[i * r + c];
    t /= h;
    for (int32_t i = k; i < m; ++i) b[i * r + c] -= t * a[i * n + k];
  }
  a[k * n + k] = alpha;
  return true;
}

}  // namespace

void householder_triangularise_rows(int32_t m, int32_t n, int32_t r, double *a, double *b) {
  const int32_t cols = m < n ? m : n;
  for (int32_t k = 0; k < cols; ++k) householder_row_step(m, n, r, a, b, k, false);
}

int32_t householder_triangularise_cols(int32_t m, int32_t n, int32_t e, double *a) {
  const int32_t total = n + e;
  int32_t done = 0;
  for (int32_t j = 0; j < n && j < m; ++j, ++done) {
    double *col = a + static_cast<std::size_t>(j) * m;
    double below = 0.0;
    for (int32_t i = j + 1; i < m; ++i) below += col[i] * col[i];
    const double ajj = col[j];
    const double sigma = std::sqrt(ajj * ajj + below);
    const double alpha = ajj >= 0.0 ? sigma : -sigma;
    // w = alpha - a(j,j), evaluated without cancellation: alpha and a(j,j) share
    // their sign, so alpha - a = below / (alpha + a).
    const double denom = alpha + ajj;
    const double w = denom != 0.0 ? below / denom : 0.0;
    col[j] = alpha;
    const double wnorm_sq = w * w + below;
    if (wnorm_sq == 0.0) continue;
    for (int32_t l = j + 1; l < total; ++l) {
      double *x = a + static_cast<std::size_t>(l) * m;
      double t = -w * x[j];
      for (int32_t i = j + 1; i < m; ++i) t += col[i] * x[i];
      t *= 2.0 / wnorm_sq;
      x[j] += t * w;
      for (int32_t i = j + 1; i < m; ++i) x[i] -= t * col[i];
    }
  }
  return done;
}

// Least squares by Householder reflections and back substitution; see header.
BSrc householder_least_squares(int32_t m, int32_t n, int32_t r, double *a, double *b, double *x) {
  for (int32_t k = 0; k < n; ++k) {
    if (!householder_row_step(m, n, r, a, b, k, true)) return BSFAIL;
  }
  for (int32_t c = 0; c < r; ++c) {
    for (int32_t i = n - 1; i >= 0; --i) {
      double sum = b[i * r + c];
      for (int32_t j = i + 1; j < n; ++j) sum -= a[i * n + j] * x[j * r + c];
      x[i * r + c] = sum / a[i * n + i];
    }
  }
  return BSSUCC;
}

// Copies column-major a (m x n) to scratch, triangularises it and writes R in the
// triangular-factor layout (column j: R(0..j, j) then zeros).
BSrc householder_factor_cols(int32_t m, int32_t n, const double *a, double *r_out) {
  ScratchBuffer buf(static_cast<std::size_t>(m) * n * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *w = buf.as<double>();
  std::memcpy(w, a, static_cast<std::size_t>(m) * n * sizeof(double));
  householder_triangularise_cols(m, n, 0, w);
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t i = 0; i < n; ++i) {
      r_out[j * n + i] = (i <= j && i < m) ? w[static_cast<std::size_t>(j) * m + i] : 0.0;
    }
  }
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API BSboolean BShousehld(BSrc *rc, int32_t *m, int32_t *n, double *a, int32_t *r,
                                       double *b, double *x) {
  KW_EPILOGUE(rc);
  if (*m < *n || *n < 1 || *r < 0) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  *rc = householder_least_squares(*m, *n, *r, a, b, x);
  return KW_FINISH(*rc == BSSUCC ? TRUE : FALSE);
}

extern "C" KW_API void BShshldtran(int32_t m, int32_t n, int32_t r, double *a, double *b,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  householder_triangularise_rows(m, n, r, a, b);
}

extern "C" KW_API int32_t BShoustrial(int32_t m, int32_t n, int32_t e, double *a) {
  return householder_triangularise_cols(m, n, e, a);
}

extern "C" KW_API void BShoustrian(int32_t m, int32_t n, const double *a, double *r_out, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = householder_factor_cols(m, n, a, r_out);
}
