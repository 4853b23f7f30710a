// The non-zero basis functions of a span and their first and second derivatives
// (BSmansf0, BSmansf1, BSmansf2), by the triangular recurrence.
#include <algorithm>
#include <cmath>

#include "bspline/kernel.hpp"
#include "frame/frame.hpp"

namespace knotwork {

// Basis functions N (k values, index 0 for pole s-p) of span s at u and their
// derivatives up to nd (at most 2) into ders rows of k. Knot differences of the
// recurrence below tiny give BSINARG (the span itself) or BSDIVZERO.
BSrc basis_derivatives(int k, const double *knots, int32_t s, double u, int nd, double tiny,
                       double *ders) {
  const int p = k - 1;
  const std::size_t need = static_cast<std::size_t>(k) * k + 4 * static_cast<std::size_t>(k);
  double stack[kStackOrder * kStackOrder + 4 * kStackOrder];
  BasicScratchBuffer<1> heap;
  double *base = stack;
  if (k > kStackOrder) {
    if (!heap.acquire(need * sizeof(double))) return BSNOSTKMEMORY;
    base = heap.as<double>();
  }
  if (p > 0 && !(std::fabs(knots[s + 1] - knots[s]) >= tiny)) return BSINARG;
  double *ndu = base;  // ndu[j*k + r]: functions above the diagonal, differences below
  double *left = ndu + k * k, *right = left + k, *a0 = right + k, *a1 = a0 + k;
  ndu[0] = 1.0;
  for (int j = 1; j <= p; ++j) {
    left[j] = u - knots[s + 1 - j];
    right[j] = knots[s + j] - u;
    double saved = 0.0;
    for (int r = 0; r < j; ++r) {
      const double diff = right[r + 1] + left[j - r];
      if (!(diff >= tiny)) return BSDIVZERO;
      ndu[j * k + r] = diff;
      const double temp = ndu[r * k + j - 1] / diff;
      ndu[r * k + j] = saved + right[r + 1] * temp;
      saved = left[j - r] * temp;
    }
    ndu[j * k + j] = saved;
  }
  for (int j = 0; j <= p; ++j) ders[j] = ndu[j * k + p];
  const int top = std::min(nd, p);
  for (int r = 0; r <= p; ++r) {
    double *prev = a0, *cur = a1;
    prev[0] = 1.0;
    for (int q = 1; q <= top; ++q) {
      double d = 0.0;
      const int rk = r - q, pk = p - q;
      if (r >= q) {
        cur[0] = prev[0] / ndu[(pk + 1) * k + rk];
        d = cur[0] * ndu[rk * k + pk];
      }
      const int j1 = rk >= -1 ? 1 : -rk;
      const int j2 = r - 1 <= pk ? q - 1 : p - r;
      for (int j = j1; j <= j2; ++j) {
        cur[j] = (prev[j] - prev[j - 1]) / ndu[(pk + 1) * k + rk + j];
        d += cur[j] * ndu[(rk + j) * k + pk];
      }
      if (r <= pk) {
        cur[q] = -prev[q - 1] / ndu[(pk + 1) * k + r];
        d += cur[q] * ndu[r * k + pk];
      }
      ders[q * k + r] = d;
      std::swap(prev, cur);
    }
  }
  double f = p;
  for (int q = 1; q <= top; ++q) {
    for (int j = 0; j <= p; ++j) ders[q * k + j] *= f;
    f *= p - q;
  }
  for (int q = top + 1; q <= nd; ++q)
    for (int j = 0; j <= p; ++j) ders[q * k + j] = 0.0;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

void basis_shim(BSrc *rc, int16_t order, const double *knots, int32_t span, double u, int nd,
                double tiny, double *n0, double *n1, double *n2) {
  const int k = order;
  double stack[3 * kStackOrder];
  BasicScratchBuffer<1> heap;
  double *ders = stack;
  if (k > kStackOrder) {
    if (!heap.acquire(3 * static_cast<std::size_t>(k) * sizeof(double))) {
      *rc = BSNOSTKMEMORY;
      return;
    }
    ders = heap.as<double>();
  }
  *rc = basis_derivatives(k, knots, span, u, nd, tiny, ders);
  if (*rc != BSSUCC) return;
  std::copy(ders, ders + k, n0);
  if (nd >= 1) std::copy(ders + k, ders + 2 * k, n1);
  if (nd >= 2) std::copy(ders + 2 * k, ders + 3 * k, n2);
}

}  // namespace

extern "C" {

KW_API void BSmansf0(BSrc *rc, int16_t order, const double *knots, int32_t span, double u,
                     double *values) {
  KW_EPILOGUE(rc);
  const double zt = tol().zero_tol;
  basis_shim(rc, order, knots, span, u, 0, zt * zt, values, nullptr, nullptr);
}

KW_API void BSmansf1(BSrc *rc, int16_t order, const double *knots, int32_t span, double u,
                     double *values, double *first) {
  KW_EPILOGUE(rc);
  basis_shim(rc, order, knots, span, u, 1, tol().zero_tol, values, first, nullptr);
}

KW_API void BSmansf2(BSrc *rc, int16_t order, const double *knots, int32_t span, double u,
                     double *values, double *first, double *second) {
  KW_EPILOGUE(rc);
  basis_shim(rc, order, knots, span, u, 2, tol().zero_tol, values, first, second);
}

}  // extern "C"
