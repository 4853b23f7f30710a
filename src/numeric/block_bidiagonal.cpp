// Least squares for block-bidiagonal matrices (consecutive polynomial segments
// sharing unknowns): chained stacked Householder factors and the block
// substitutions of the semi-normal equations. Memory stays linear in the number
// of blocks; the full matrix is never formed.
#include <cmath>

#include "frame/frame.hpp"
#include "numeric/numeric.hpp"

namespace knotwork {
namespace {

inline std::size_t sq(int32_t n) {
  return static_cast<std::size_t>(n) * n;
}
inline std::size_t mn(int32_t m, int32_t n) {
  return static_cast<std::size_t>(m) * n;
}

// Factor of the stacked matrix [x; y] (both m x n column-major).
BSrc stacked_factor(int32_t m, int32_t n, const double *x, const double *y, double *r) {
  ScratchBuffer buf(mn(2 * m, n) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *w = buf.as<double>();
  const int32_t rows = 2 * m;
  for (int32_t j = 0; j < n; ++j) {
    std::memcpy(w + mn(rows, j), x + mn(m, j), mn(m, 1) * sizeof(double));
    std::memcpy(w + mn(rows, j) + m, y + mn(m, j), mn(m, 1) * sizeof(double));
  }
  householder_triangularise_cols(rows, n, 0, w);
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t i = 0; i < n; ++i)
      r[mn(n, j) + i] = (i <= j && i < rows) ? w[mn(rows, j) + i] : 0.0;
  }
  return BSSUCC;
}

// One stage of the chained factorisation of [[x, 0], [y, z]]: r (factor of x
// with y folded in), s (coupling block of the next column block) and z' (what of
// z is left for the next stage).
BSrc chained_factor(int32_t m, int32_t n, const double *x, const double *y, const double *z,
                    double *zp, double *r, double *s) {
  ScratchBuffer buf(mn(m, n) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  BSrc rc = householder_factor_cols(m, n, x, r);
  if (rc != BSSUCC) return rc;
  double *yw = buf.as<double>();
  std::memcpy(yw, y, mn(m, n) * sizeof(double));
  std::memcpy(zp, z, mn(m, n) * sizeof(double));
  for (std::size_t i = 0; i < sq(n); ++i) s[i] = 0.0;
  for (int32_t j = 0; j < n; ++j) {
    const double *yj = yw + mn(m, j);
    double ysq = 0.0;
    for (int32_t i = 0; i < m; ++i) ysq += yj[i] * yj[i];
    const double old = r[mn(n, j) + j];
    const double sigma = std::sqrt(old * old + ysq);
    const double fresh = old >= 0.0 ? sigma : -sigma;
    if (ysq == 0.0 || sigma == 0.0) continue;
    // u = (old - new, y_j); old - new computed without cancellation.
    const double u0 = -ysq / (old + fresh);
    const double unorm_sq = u0 * u0 + ysq;
    const auto reflect = [&](double &head, double *col) {
      double t = u0 * head;
      for (int32_t i = 0; i < m; ++i) t += yj[i] * col[i];
      t *= 2.0 / unorm_sq;
      head -= t * u0;
      for (int32_t i = 0; i < m; ++i) col[i] -= t * yj[i];
    };
    for (int32_t l = j + 1; l < n; ++l) reflect(r[mn(n, l) + j], yw + mn(m, l));
    for (int32_t l = 0; l < n; ++l) reflect(s[mn(n, l) + j], zp + mn(m, l));
    r[mn(n, j) + j] = fresh;
  }
  return BSSUCC;
}

}  // namespace

// Factor R (k blocks) and S (k - 1 blocks) of the block-bidiagonal matrix with
// blocks a (k) and b (k).
BSrc block_bidiagonal_factor(int32_t k, int32_t m, int32_t n, const double *a, const double *b,
                             double *r, double *s) {
  if (k == 1) return stacked_factor(m, n, a, b, r);
  ScratchBuffer buf(2 * mn(m, n) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *zbuf[2] = {buf.as<double>(), buf.as<double>() + mn(m, n)};
  const double *x = a;
  for (int32_t i = 0; i + 1 < k; ++i) {
    double *zp = zbuf[i % 2];
    const BSrc rc = chained_factor(m, n, x, b + i * mn(m, n), a + (i + 1) * mn(m, n), zp,
                                   r + i * sq(n), s + i * sq(n));
    if (rc != BSSUCC) return rc;
    x = zp;
  }
  return stacked_factor(m, n, x, b + (k - 1) * mn(m, n), r + (k - 1) * sq(n));
}

void block_solve_transposed(int32_t k, int32_t n, const double *r, const double *s, const double *z,
                            double *w) {
  for (int32_t i = 0; i < k; ++i) {
    const double *ri = r + i * sq(n);
    const double *si = i > 0 ? s + (i - 1) * sq(n) : nullptr;
    const double *wprev = w + (i - 1) * static_cast<std::ptrdiff_t>(n);
    double *wi = w + i * static_cast<std::ptrdiff_t>(n);
    for (int32_t j = 0; j < n; ++j) {
      double sum = z[i * n + j];
      if (si != nullptr) {
        for (int32_t l = 0; l < n; ++l) sum -= si[mn(n, j) + l] * wprev[l];
      }
      for (int32_t l = 0; l < j; ++l) sum -= ri[mn(n, j) + l] * wi[l];
      wi[j] = sum / ri[mn(n, j) + j];
    }
  }
}

void block_solve_upper(int32_t k, int32_t n, const double *r, const double *s, const double *w,
                       double *x) {
  for (int32_t i = k - 1; i >= 0; --i) {
    const double *ri = r + i * sq(n);
    const double *si = i + 1 < k ? s + i * sq(n) : nullptr;
    const double *xnext = x + (i + 1) * static_cast<std::ptrdiff_t>(n);
    double *xi = x + i * static_cast<std::ptrdiff_t>(n);
    for (int32_t j = n - 1; j >= 0; --j) {
      double sum = w[i * n + j];
      if (si != nullptr) {
        for (int32_t l = 0; l < n; ++l) sum -= si[mn(n, l) + j] * xnext[l];
      }
      for (int32_t l = j + 1; l < n; ++l) sum -= ri[mn(n, l) + j] * xi[l];
      xi[j] = sum / ri[mn(n, j) + j];
    }
  }
}

namespace {

// y += op(blk) * v for an m x n column-major block; transposed: out(n) += blk^T v(m).
void add_block_times(int32_t m, int32_t n, const double *blk, const double *v, double *out) {
  for (int32_t j = 0; j < n; ++j)
    for (int32_t i = 0; i < m; ++i) out[i] += blk[mn(m, j) + i] * v[j];
}
void add_block_transposed_times(int32_t m, int32_t n, const double *blk, const double *v,
                                double *out) {
  for (int32_t j = 0; j < n; ++j) {
    double t = 0.0;
    for (int32_t i = 0; i < m; ++i) t += blk[mn(m, j) + i] * v[i];
    out[j] += t;
  }
}

}  // namespace

BSrc block_bidiagonal_fit(int32_t k, int32_t m, int32_t n, const double *a, const double *b,
                          int32_t r, const double *y, double *z) {
  const std::size_t blocks = static_cast<std::size_t>(k) * sq(n);
  const std::size_t vec = static_cast<std::size_t>(k) * n;
  ScratchBuffer buf((2 * blocks + 2 * vec) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *rb = buf.as<double>();
  double *sb = rb + blocks;
  double *zv = sb + blocks;
  double *xv = zv + vec;
  const BSrc rc = block_bidiagonal_factor(k, m, n, a, b, rb, sb);
  if (rc != BSSUCC) return rc;
  const std::size_t len = static_cast<std::size_t>(k + 1) * m;
  for (int32_t c = 0; c < r; ++c) {
    const double *yc = y + c * len;
    double *out = z + c * len;
    for (std::size_t i = 0; i < vec; ++i) zv[i] = 0.0;
    for (int32_t i = 0; i < k; ++i) {
      add_block_transposed_times(m, n, a + i * mn(m, n), yc + mn(m, i), zv + mn(n, i));
      add_block_transposed_times(m, n, b + i * mn(m, n), yc + mn(m, i + 1), zv + mn(n, i));
    }
    block_solve_transposed(k, n, rb, sb, zv, xv);
    block_solve_upper(k, n, rb, sb, xv, zv);
    for (std::size_t i = 0; i < len; ++i) out[i] = 0.0;
    for (int32_t i = 0; i < k; ++i) {
      add_block_times(m, n, a + i * mn(m, n), zv + mn(n, i), out + mn(m, i));
      add_block_times(m, n, b + i * mn(m, n), zv + mn(n, i), out + mn(m, i + 1));
    }
  }
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BShoushcstf(int32_t m, int32_t n, const double *x, const double *y,
                                   double *r, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = stacked_factor(m, n, x, y, r);
}

extern "C" KW_API void BShoushcstl(int32_t m, int32_t n, const double *x, const double *y,
                                   const double *z, double *zp, double *r, double *s, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = chained_factor(m, n, x, y, z, zp, r, s);
}

extern "C" KW_API void BShoushcstm(int32_t k, int32_t m, int32_t n, const double *a,
                                   const double *b, double *r, double *s, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (k < 1 || m < 1 || n < 1) {
    *rc = BSINARG;
    return;
  }
  // Factored in scratch and copied out, so that a failure leaves r and s untouched.
  ScratchBuffer work((2 * static_cast<std::size_t>(k) - 1) * sq(n) * sizeof(double));
  if (!work.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *rw = work.as<double>(), *sw = rw + k * sq(n);
  if ((*rc = block_bidiagonal_factor(k, m, n, a, b, rw, sw)) != BSSUCC) return;
  std::memcpy(r, rw, k * sq(n) * sizeof(double));
  std::memcpy(s, sw, (k - 1) * sq(n) * sizeof(double));
}

extern "C" KW_API void BShouslbtR(int32_t k, int32_t n, const double *r, const double *s,
                                  const double *z, double *w) {
  block_solve_transposed(k, n, r, s, z, w);
}

extern "C" KW_API void BShouslbR(int32_t k, int32_t n, const double *r, const double *s,
                                 const double *w, double *x) {
  block_solve_upper(k, n, r, s, w, x);
}

extern "C" KW_API void BShouslgbsc(int32_t k, int32_t m, int32_t n, const double *a,
                                   const double *b, int32_t r, const double *y, double *z,
                                   BSrc *rc) {
  // The trace knows this routine by its historical name.
  ::knotwork::Epilogue guard("BShouslgbspc", rc);
  *rc = block_bidiagonal_fit(k, m, n, a, b, r, y, z);
}
