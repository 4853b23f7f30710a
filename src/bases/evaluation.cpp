// Evaluation of coefficient series and their derivatives: Horner forms (real,
// complex, symmetric, with derivatives, polynomial patches), Clenshaw evaluation
// of Legendre series and Legendre derivatives.
#include <cmath>

#include "bases/series.hpp"

namespace knotwork {

// d_m = (2m + 1) sum_(j > m, j - m odd) l_j by two running sums from the top; the
// value l_m is read before d_m is written, so d may equal l.
void legendre_derivative(int32_t n, const double *l, double *d) {
  if (n <= 0) return;
  double sum[2] = {0.0, 0.0};
  double next = l[n];  // l_(m+1), read before index m + 1 was overwritten
  for (int32_t m = n - 1; m >= 0; --m) {
    sum[(m + 1) & 1] += next;
    next = l[m];
    d[m] = static_cast<double>(2 * m + 1) * sum[(m + 1) & 1];
  }
}

namespace {

// p and its first d derivatives at x (d + 1 values); derivatives above n are 0.
void power_derivatives(int32_t n, int32_t d, const double *c, double x, double *out) {
  for (int32_t i = 0; i <= d; ++i) out[i] = 0.0;
  if (n < 0) return;
  const int32_t top = d < n ? d : n;
  // Repeated synthetic division: out[i] accumulates p^(i)(x) / i!.
  for (int32_t k = n; k >= 0; --k) {
    for (int32_t i = top; i >= 1; --i) out[i] = out[i] * x + out[i - 1];
    out[0] = out[0] * x + c[k];
  }
  double f = 1.0;
  for (int32_t i = 2; i <= top; ++i) {
    f *= i;
    out[i] *= f;
  }
}

// Derivatives of a power patch c[i (dv + 1) + j] u^i v^j: out[a (d + 1) + b] =
// d^(a+b) p / du^a dv^b for a, b <= d; work holds du + 1 + d + 1 doubles.
void patch_derivatives(int32_t du, int32_t dv, int32_t d, const double *c, double u, double v,
                       double *out, double *work, int32_t stride) {
  double *rows = work, *col = work + du + 1;
  for (int32_t b = 0; b <= d; ++b) {
    for (int32_t i = 0; i <= du; ++i) {
      // b-th v-derivative of row i at v
      const double *row = c + static_cast<int64_t>(i) * (dv + 1);
      double s = 0.0;
      for (int32_t j = dv; j >= b; --j) {
        double fall = 1.0;
        for (int32_t q = 0; q < b; ++q) fall *= static_cast<double>(j - q);
        s = s * v + fall * row[j];
      }
      rows[i] = s;
    }
    power_derivatives(du, d, rows, u, col);
    for (int32_t a = 0; a <= d; ++a) out[static_cast<int64_t>(a * (d + 1) + b) * stride] = col[a];
  }
}

bool all_finite(int64_t count, const double *v) {
  for (int64_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// k-th derivative of a Legendre series at x; work holds n + 1 doubles.
double legendre_derivative_value(int32_t n, const double *l, int32_t k, double x, double *work) {
  if (k > n) return 0.0;
  for (int32_t i = 0; i <= n; ++i) work[i] = l[i];
  for (int32_t r = 0; r < k; ++r) legendre_derivative(n - r, work, work);
  return clenshaw_legendre(n - k, work, x);
}

}  // namespace
}  // namespace knotwork

using namespace knotwork;

KW_API void BShorncan(int32_t n, const double *c, double x, double *value) {
  if (value == nullptr) return;
  *value = (n < 0 || c == nullptr) ? 0.0 : horner_power(n, c, x);
}

KW_API void BShorncanc(int32_t n, const double *c, double re, double im, double *value_re,
                       double *value_im) {
  if (value_re == nullptr || value_im == nullptr) return;
  double s = 0.0, t = 0.0;
  if (n >= 0 && c != nullptr) {
    for (int32_t k = n; k >= 0; --k) {
      const double s1 = s * re - t * im + c[k];
      t = s * im + t * re;
      s = s1;
    }
  }
  *value_re = s;
  *value_im = t;
}

KW_API void BShorncansy(int32_t n, const double *c, double x, double *plus, double *minus) {
  if (plus == nullptr || minus == nullptr) return;
  if (c == nullptr) n = -1;
  horner_power_symmetric(n, c, x, plus, minus);
}

KW_API void BShornlgd(int32_t n, const double *l, double x, double *value) {
  if (value == nullptr) return;
  *value = (n < 0 || l == nullptr) ? 0.0 : clenshaw_legendre(n, l, x);
}

KW_API void BShorn_pd(int32_t n, int32_t d, const double *c, double x, double *values) {
  if (values == nullptr || d < 0) return;
  power_derivatives(c == nullptr ? -1 : n, d, c, x, values);
}

KW_API void BShorn_pd2(int32_t du, int32_t dv, int32_t d, const double *coefs, double u, double v,
                       double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (du < 0 || dv < 0 || d < 0 || du > 1000 || dv > 1000 || d > 1000 || !std::isfinite(u) ||
      !std::isfinite(v)) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer work(static_cast<std::size_t>(du + d + 2) * sizeof(double));
  if (!work.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  patch_derivatives(du, dv, d, coefs, u, v, out, work.as<double>(), 1);
}

KW_API void BShorneval(int32_t du, int32_t dv, int32_t count, int32_t d, const double *patches,
                       double u, double v, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == 0) return;
  if (patches == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (du < 0 || dv < 0 || d < 0 || count < 0 || du > 1000 || dv > 1000 || d > 1000 ||
      !std::isfinite(u) || !std::isfinite(v)) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer work(static_cast<std::size_t>(du + d + 2) * sizeof(double));
  if (!work.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  const int64_t size = static_cast<int64_t>(du + 1) * (dv + 1);
  for (int32_t p = 0; p < count; ++p)
    patch_derivatives(du, dv, d, patches + p * size, u, v, out + p, work.as<double>(), count);
}

KW_API void BSdercanpol(int32_t n, const double *c, double *d) {
  if (c == nullptr || d == nullptr) return;
  for (int32_t k = 1; k <= n; ++k) d[k - 1] = static_cast<double>(k) * c[k];
}

KW_API void BSderlgdpol(int32_t n, const double *l, double *d) {
  if (l == nullptr || d == nullptr) return;
  legendre_derivative(n, l, d);
}

KW_API void BSdercvlgd(int32_t n, int32_t dim, const double *l, int32_t k, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (l == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 0 || dim < 1 || k < 0 || k > n || !all_finite(static_cast<int64_t>(n + 1) * dim, l)) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer work(static_cast<std::size_t>(n + 1) * sizeof(double));
  if (!work.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *w = work.as<double>();
  for (int32_t c = 0; c < dim; ++c) {
    const double *in = l + static_cast<int64_t>(c) * (n + 1);
    for (int32_t i = 0; i <= n; ++i) w[i] = in[i];
    for (int32_t r = 0; r < k; ++r) legendre_derivative(n - r, w, w);
    double *o = out + static_cast<int64_t>(c) * (n - k + 1);
    for (int32_t i = 0; i <= n - k; ++i) o[i] = w[i];
  }
}

namespace {

BSrc derivative_at(int32_t n, const double *l, int32_t k, double x, double *value) {
  if (l == nullptr || value == nullptr) return BSNULLPTR;
  if (n < 0 || k < 0 || !std::isfinite(x) || !all_finite(static_cast<int64_t>(n) + 1, l))
    return BSINARG;
  if (k > n) {
    *value = 0.0;
    return BSSUCC;
  }
  ScratchBuffer work(static_cast<std::size_t>(n + 1) * sizeof(double));
  if (!work.ok()) return BSNOSTKMEMORY;
  *value = legendre_derivative_value(n, l, k, x, work.as<double>());
  return BSSUCC;
}

}  // namespace

KW_API void BSevalgder(int32_t n, const double *l, int32_t k, double x, double *value, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = derivative_at(n, l, k, x, value);
}

KW_API void BSevalgderab(int32_t n, const double *l, const double *ab, int32_t k, double t,
                         double *value, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (ab == nullptr || value == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  const double width = ab[1] - ab[0];
  if (!std::isfinite(t) || !std::isfinite(width) || width == 0.0) {
    *rc = BSINARG;
    return;
  }
  double v = 0.0;
  if ((*rc = derivative_at(n, l, k, 2.0 * (t - ab[0]) / width - 1.0, &v)) != BSSUCC) return;
  *value = k > n ? 0.0 : v * std::pow(2.0 / width, k);
}
