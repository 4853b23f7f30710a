// Square systems: LU decomposition with partial pivoting and its substitution,
// and the two-sided elimination of the bidiagonal knot-removal system.
#include <cmath>

#include "frame/frame.hpp"
#include "numeric/numeric.hpp"

namespace knotwork {

// Crout column sweep with partial pivoting on the row-major n x n matrix a, in
// place. With `swap_rhs` the row exchanges are applied to b as well.
BSrc lu_decompose(int32_t n, double *a, bool swap_rhs, double *b) {
  const auto at = [a, n](int32_t i, int32_t j) -> double & {
    return a[static_cast<std::size_t>(i) * n + j];
  };
  for (int32_t k = 0; k < n; ++k) {
    for (int32_t i = 0; i < k; ++i) {
      double sum = at(i, k);
      for (int32_t j = 0; j < i; ++j) sum -= at(i, j) * at(j, k);
      at(i, k) = sum;
    }
    double best = -1.0;
    int32_t pivot = k;
    for (int32_t i = n - 1; i >= k; --i) {
      double sum = at(i, k);
      for (int32_t j = 0; j < k; ++j) sum -= at(i, j) * at(j, k);
      at(i, k) = sum;
      // Scanning upward with >= lets ties go to the upper row.
      if (std::fabs(sum) >= best) {
        best = std::fabs(sum);
        pivot = i;
      }
    }
    if (best < kSolverZero * kSolverZero) return BSFAIL;
    if (pivot != k) {
      for (int32_t j = 0; j < n; ++j) {
        const double t = at(pivot, j);
        at(pivot, j) = at(k, j);
        at(k, j) = t;
      }
      if (swap_rhs) {
        const double t = b[pivot];
        b[pivot] = b[k];
        b[k] = t;
      }
    }
    const double d = at(k, k);
    for (int32_t i = k + 1; i < n; ++i) at(i, k) /= d;
  }
  return BSSUCC;
}

void lu_substitute(int32_t n, const double *lu, double *b) {
  for (int32_t i = 1; i < n; ++i) {
    double sum = b[i];
    for (int32_t j = 0; j < i; ++j) sum -= lu[static_cast<std::size_t>(i) * n + j] * b[j];
    b[i] = sum;
  }
  for (int32_t i = n - 1; i >= 0; --i) {
    double sum = b[i];
    for (int32_t j = i + 1; j < n; ++j) sum -= lu[static_cast<std::size_t>(i) * n + j] * b[j];
    b[i] = sum / lu[static_cast<std::size_t>(i) * n + i];
  }
}

// Two-sided elimination of the overdetermined bidiagonal system
//   lower[i] * x(i-1) + diag[i] * x(i) = rhs(i),   i = 0 .. n-1,
// in the n - 1 unknowns x(0) .. x(n-2) (x(-1) and x(n-1) are absent). The leading
// equations with alpha[i] >= 0.5 are solved forward, the rest backward from the
// last; the one equation left over measures the inconsistency. rhs is n rows of
// r doubles: rows 0 .. n-2 receive the solution, row n-1 the absolute residual
// of the left-over equation when `residual` is set (else it is zeroed).
BSrc two_sided_elimination(const double *alpha, const double *lower, const double *diag,
                           bool residual, double *rhs, int32_t n, int32_t r) {
  BasicScratchBuffer<10 * sizeof(double) + 1> buf(static_cast<std::size_t>(r) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *work = buf.as<double>();
  const auto x = [rhs, r](int32_t i) { return rhs + static_cast<std::size_t>(i) * r; };
  int32_t p = 0;
  while (p < n - 1 && alpha[p] >= 0.5) ++p;
  for (int32_t i = 0; i < p; ++i) {
    if (diag[i] == 0.0) return BSDIVZERO;
    for (int32_t c = 0; c < r; ++c) {
      const double prev = i > 0 ? x(i - 1)[c] : 0.0;
      x(i)[c] = (x(i)[c] - lower[i] * prev) / diag[i];
    }
  }
  // Backward: equation i yields x(i-1); work carries rhs(i) while row i-1 is
  // overwritten by the solution.
  for (int32_t c = 0; c < r; ++c) work[c] = x(n - 1)[c];
  for (int32_t i = n - 1; i > p; --i) {
    if (lower[i] == 0.0) return BSDIVZERO;
    for (int32_t c = 0; c < r; ++c) {
      const double next = i < n - 1 ? x(i)[c] : 0.0;
      const double saved = x(i - 1)[c];
      x(i - 1)[c] = (work[c] - diag[i] * next) / lower[i];
      work[c] = saved;
    }
  }
  // work now holds rhs(p); equation p is the one left over.
  for (int32_t c = 0; c < r; ++c) {
    const double left = p > 0 ? lower[p] * x(p - 1)[c] : 0.0;
    const double right = p < n - 1 ? diag[p] * x(p)[c] : 0.0;
    work[c] = std::fabs(work[c] - left - right);
  }
  for (int32_t c = 0; c < r; ++c) x(n - 1)[c] = residual ? work[c] : 0.0;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API BSboolean BSdecomp(BSrc *rc, int32_t *n, double *a, BSboolean *flag, double *b) {
  KW_EPILOGUE(rc);
  if (*n < 1) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  *rc = lu_decompose(*n, a, flag != nullptr && *flag == 1, b);
  return KW_FINISH(*rc == BSSUCC ? TRUE : FALSE);
}

extern "C" KW_API BSboolean BSsolve(BSrc *rc, int32_t *n, const double *lu, double *b) {
  KW_EPILOGUE(rc);
  lu_substitute(*n, lu, b);
  return KW_FINISH(TRUE);
}

extern "C" KW_API void BSmod_gauss(const double *alpha, const double *lower, const double *diag,
                                   BSboolean residual, double *rhs, int32_t n, int32_t r,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if (n < 1 || r < 0) {
    *rc = BSINARG;
    return;
  }
  *rc = two_sided_elimination(alpha, lower, diag, residual != 0, rhs, n, r);
}
