// Legendre-series kernels of the interval root finders that the bases family does
// not provide: derivative values, division by (x - a), restriction to any
// sub-interval and the change of basis from Bernstein coefficients up to degree
// 320 (truncation, evaluation, derivatives and halving come from
// bases/series.hpp). Everything works in the caller's arrays and never allocates.
#include <cmath>

#include "bases/series.hpp"
#include "frame/frame.hpp"
#include "numeric/roots.hpp"

namespace knotwork::rootseries {

double derivative_value(int32_t n, const double *l, int32_t k, double x, double *work) {
  if (k > n) return 0.0;
  for (int32_t i = 0; i <= n; ++i) work[i] = l[i];
  for (int32_t j = 0; j < k; ++j) legendre_derivative(n - j, work, work);
  return clenshaw_legendre(n - k, work, x);
}

// (x - a) q = p - r; with x P_j = ((j + 1) P_(j+1) + j P_(j-1)) / (2j + 1) the
// coefficient of P_m gives q_(m-1) from q_m, q_(m+1) and l_m, top down.
void divide_linear(int32_t n, const double *l, double a, double *out) {
  if (n <= 0) return;
  double lm = l[n];
  double cur = l[n - 1];  // read before out[n - 1] overwrites it
  double q_up = 0.0;      // q_(m+1)
  double q_m = lm * (2.0 * n - 1.0) / n;
  out[n - 1] = q_m;
  for (int32_t m = n - 1; m >= 1; --m) {
    lm = cur;
    cur = l[m - 1];
    const double q = (lm - q_up * (m + 1.0) / (2.0 * m + 3.0) + a * q_m) * (2.0 * m - 1.0) / m;
    out[m - 1] = q;
    q_up = q_m;
    q_m = q;
  }
}

namespace {
// out = (alpha x + beta) * in for a series of degree d (out has degree d + 1).
void times_linear(int32_t d, const double *in, double alpha, double beta, double *out) {
  for (int32_t i = 0; i <= d + 1; ++i) out[i] = 0.0;
  for (int32_t j = 0; j <= d; ++j) {
    const double c = in[j];
    out[j] += beta * c;
    out[j + 1] += alpha * c * (j + 1.0) / (2.0 * j + 1.0);
    if (j > 0) out[j - 1] += alpha * c * j / (2.0 * j + 1.0);
  }
}
}  // namespace

void restrict_to(int32_t n, const double *l, double a, double b, double *out, double *work) {
  const double alpha = (b - a) / 2.0, beta = (a + b) / 2.0;
  const int32_t w = n + 1;
  double *q0 = work, *q1 = work + w, *q2 = work + 2 * w;
  for (int32_t i = 0; i <= n; ++i) out[i] = q0[i] = q1[i] = 0.0;
  q0[0] = 1.0;  // P_0(alpha x + beta)
  out[0] = l[0];
  if (n == 0) return;
  q1[0] = beta;  // P_1(alpha x + beta)
  q1[1] = alpha;
  out[0] += l[1] * beta;
  out[1] += l[1] * alpha;
  for (int32_t k = 2; k <= n; ++k) {
    // P_k = ((2k - 1)/k) (alpha x + beta) P_(k-1) - ((k - 1)/k) P_(k-2)
    times_linear(k - 1, q1, alpha, beta, q2);
    const double c1 = (2.0 * k - 1.0) / k, c2 = (k - 1.0) / k;
    for (int32_t i = 0; i <= k; ++i) {
      q2[i] = c1 * q2[i] - c2 * (i <= k - 2 ? q0[i] : 0.0);
      out[i] += l[k] * q2[i];
    }
    double *t = q0;
    q0 = q1;
    q1 = q2;
    q2 = t;
  }
}

// l_j = (2j + 1) / ((n + j + 1) C(n + j, j)) * sum_i C(i + j, j) C(n - i, j) D^j b_i,
// from integrating p against the Rodrigues form of the shifted P_j by parts j times.
void from_bezier(int32_t n, const double *bez, double *out, double *work) {
  for (int32_t i = 0; i <= n; ++i) work[i] = bez[i];
  for (int32_t j = 0; j <= n; ++j) {
    double c_top = 1.0, c_ij = 1.0, c_ni = 1.0;  // C(n + j, j), C(i + j, j), C(n - i, j)
    for (int32_t t = 1; t <= j; ++t) {
      c_top = c_top * (n + t) / t;
      c_ni = c_ni * (n - j + t) / t;
    }
    double sum = 0.0;
    for (int32_t i = 0; i <= n - j; ++i) {
      sum += c_ij * c_ni * work[i];
      c_ij = c_ij * (i + j + 1.0) / (i + 1.0);
      if (n - i > j) c_ni = c_ni * (n - i - j) / (n - i);
    }
    out[j] = (2.0 * j + 1.0) / ((n + j + 1.0) * c_top) * sum;
    for (int32_t i = 0; i < n - j; ++i) work[i] = work[i + 1] - work[i];
  }
}

}  // namespace knotwork::rootseries
