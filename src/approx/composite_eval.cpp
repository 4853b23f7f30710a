// Evaluation of composite Legendre curves: one segment in Legendre (BSevalgdsng) or
// power form (BSevacansng), and the whole curve at a parameter (BSevalgdcmp).
#include <cmath>
#include <cstring>

#include "approx/composite.hpp"
#include "bases/series.hpp"

namespace knotwork {

namespace {

// Values of derivatives 0..K at x of one component (degree n), into v[0..K].
// work: 2 (n + 1) doubles.
void component_derivatives(int32_t n, const double *c, bool legendre, int32_t K, double x,
                           double *v, double *work) {
  double *a = work, *b = work + n + 1;
  std::memcpy(a, c, sizeof(double) * (n + 1));
  int32_t deg = n;
  for (int32_t q = 0; q <= K; ++q) {
    if (deg < 0) {
      v[q] = 0.0;
      continue;
    }
    v[q] = legendre ? clenshaw_legendre(deg, a, x) : horner_power(deg, a, x);
    if (q == K) break;
    if (deg == 0) {
      deg = -1;
      continue;
    }
    if (legendre) {
      legendre_derivative(deg, a, b);
    } else {
      for (int32_t i = 1; i <= deg; ++i) b[i - 1] = i * a[i];
    }
    std::swap(a, b);
    --deg;
  }
}

}  // namespace

BSrc evaluate_segment(int32_t n, int32_t d, int32_t kind, bool legendre, const double *c, int32_t k,
                      double x, double *out) {
  const int32_t w = segment_components(d, kind);
  if (w < 0 || (kind != 0 && d != 2 && d != 3)) return BSINARG;
  if (kind == 0) {
    // Derivatives above the degree vanish: only order k is needed.
    const int32_t K = std::min(k, n + 1);
    ScratchBuffer buf(sizeof(double) * (2 * (n + 1) + K + 1));
    if (!buf.ok()) return BSNOSTKMEMORY;
    double *v = buf.as<double>(), *work = v + K + 1;
    for (int32_t comp = 0; comp < d; ++comp) {
      component_derivatives(n, c + static_cast<int64_t>(comp) * (n + 1), legendre, K, x, v, work);
      out[comp] = k > n ? 0.0 : v[K];
    }
    return BSSUCC;
  }
  // Rational: derivatives 0..k of the d weighted coordinates and the weight
  // (component d), then Leibniz' rule C^(q) = (A^(q) - sum_i C(q,i) w^(i) C^(q-i)) / w.
  ScratchBuffer buf(sizeof(double) * (2 * (n + 1) + static_cast<std::size_t>(k + 1) * (2 * d + 2)));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *A = buf.as<double>(), *wv = A + static_cast<std::size_t>(k + 1) * d;
  double *C = wv + (k + 1), *work = C + static_cast<std::size_t>(k + 1) * d;
  for (int32_t comp = 0; comp < d; ++comp)
    component_derivatives(n, c + static_cast<int64_t>(comp) * (n + 1), legendre, k, x,
                          A + static_cast<std::size_t>(comp) * (k + 1), work);
  component_derivatives(n, c + static_cast<int64_t>(d) * (n + 1), legendre, k, x, wv, work);
  if (wv[0] == 0.0 || !std::isfinite(wv[0])) return BSDIVZERO;
  for (int32_t comp = 0; comp < d; ++comp) {
    const double *a = A + static_cast<std::size_t>(comp) * (k + 1);
    double *cc = C + static_cast<std::size_t>(comp) * (k + 1);
    for (int32_t q = 0; q <= k; ++q) {
      double s = a[q], binom = 1.0;
      for (int32_t i = 1; i <= q; ++i) {
        binom = binom * (q - i + 1) / i;
        s -= binom * wv[i] * cc[q - i];
      }
      cc[q] = s / wv[0];
    }
    out[comp] = cc[k];
  }
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

bool segment_args_ok(int32_t n, int32_t d, int32_t k, double x) {
  return n >= 0 && n <= kMaxSegmentDegree && d >= 1 && d <= 64 && k >= 0 && k <= 1000 &&
         std::isfinite(x);
}

}  // namespace

extern "C" KW_API void BSevalgdsng(int32_t degree, int32_t d, int32_t kind, const double *coefs,
                                   int32_t k, double x, double *result, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || result == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!segment_args_ok(degree, d, k, x)) {
    *rc = BSINARG;
    return;
  }
  *rc = evaluate_segment(degree, d, kind, true, coefs, k, x, result);
}

extern "C" KW_API void BSevacansng(int32_t degree, int32_t d, int32_t kind, const double *coefs,
                                   int32_t k, double x, double *result, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || result == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!segment_args_ok(degree, d, k, x)) {
    *rc = BSINARG;
    return;
  }
  *rc = evaluate_segment(degree, d, kind, false, coefs, k, x, result);
}

extern "C" KW_API void BSevalgdcmp(int32_t d, int32_t periodic, int32_t m, const int32_t *ndeg,
                                   const int32_t *irat, const int32_t *ibase, double *const *series,
                                   const double *bez_knots, int32_t k, double t, double *result,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if (ndeg == nullptr || irat == nullptr || ibase == nullptr || series == nullptr ||
      bez_knots == nullptr || result == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (m < 1 || !std::isfinite(t) || !std::isfinite(bez_knots[0]) || !std::isfinite(bez_knots[m]) ||
      !(bez_knots[m] > bez_knots[0])) {
    *rc = BSINARG;
    return;
  }
  const double b0 = bez_knots[0], bm = bez_knots[m];
  if (periodic) {
    const double P = bm - b0;
    if (t > bm) t -= (std::floor((t - bm) / P) + 1.0) * P;
    if (t < b0) t += (std::floor((b0 - t) / P) + 1.0) * P;
  }
  int32_t i = 0;
  if (t >= bm) {
    i = m - 1;
  } else if (t > b0) {
    int32_t lo = 0, hi = m;  // b[lo] <= t < b[hi]
    while (hi - lo > 1) {
      const int32_t mid = lo + (hi - lo) / 2;
      (bez_knots[mid] <= t ? lo : hi) = mid;
    }
    i = lo;
  }
  const double len = bez_knots[i + 1] - bez_knots[i];
  if (!(len > 0.0) || (ibase[i] != 0 && ibase[i] != 1) || series[i] == nullptr ||
      !segment_args_ok(ndeg[i], d, k, 0.0)) {
    *rc = BSINARG;
    return;
  }
  const double x = 2.0 * (t - bez_knots[i]) / len - 1.0;
  double value[64];
  if ((*rc = evaluate_segment(ndeg[i], d, irat[i], ibase[i] == 1, series[i], k, x, value)) !=
      BSSUCC)
    return;
  const double scale = std::pow(2.0 / len, k);
  for (int32_t c = 0; c < d; ++c) result[c] = value[c] * scale;
}
