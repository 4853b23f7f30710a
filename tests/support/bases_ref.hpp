// Independent long-double references (bases and arc-length tests): basis polynomials by
// their forward recurrences, a Gauss-Legendre rule by Newton's method, Bernstein
// sums, and random series.
#ifndef KNOTWORK_TESTS_BASES_REF_HPP
#define KNOTWORK_TESTS_BASES_REF_HPP

#include <cmath>
#include <random>
#include <vector>

namespace bref {

using LD = long double;

// P_0 .. P_n (or T_0 .. T_n) at x by the forward three-term recurrence.
inline std::vector<LD> legendre_values(int n, LD x) {
  std::vector<LD> p(n + 1);
  p[0] = 1;
  if (n >= 1) p[1] = x;
  for (int k = 2; k <= n; ++k) p[k] = ((2 * k - 1) * x * p[k - 1] - (k - 1) * p[k - 2]) / k;
  return p;
}
inline std::vector<LD> chebyshev_values(int n, LD x) {
  std::vector<LD> t(n + 1);
  t[0] = 1;
  if (n >= 1) t[1] = x;
  for (int k = 2; k <= n; ++k) t[k] = 2 * x * t[k - 1] - t[k - 2];
  return t;
}
inline LD legendre_sum(const std::vector<double> &l, LD x) {
  const auto p = legendre_values(int(l.size()) - 1, x);
  LD s = 0;
  for (size_t k = 0; k < l.size(); ++k) s += l[k] * p[k];
  return s;
}
inline LD chebyshev_sum(const std::vector<double> &t, LD x) {
  const auto c = chebyshev_values(int(t.size()) - 1, x);
  LD s = 0;
  for (size_t k = 0; k < t.size(); ++k) s += t[k] * c[k];
  return s;
}
inline LD power_sum(const std::vector<double> &c, LD x) {
  LD s = 0, xp = 1;
  for (double v : c) s += v * xp, xp *= x;
  return s;
}
// Bezier coefficients at t in [0, 1] by de Casteljau.
inline LD bezier_sum(const std::vector<double> &b, LD t) {
  std::vector<LD> d(b.begin(), b.end());
  for (size_t r = 1; r < d.size(); ++r)
    for (size_t j = 0; j + r < d.size(); ++j) d[j] = (1 - t) * d[j] + t * d[j + 1];
  return d.empty() ? 0 : d[0];
}

// Gauss-Legendre rule with n points (nodes ascending, all weights).
struct Rule {
  std::vector<LD> x, w;
};
inline Rule gauss_rule(int n) {
  Rule r{std::vector<LD>(n), std::vector<LD>(n)};
  for (int i = 0; i < n; ++i) {
    LD z = std::cos(3.14159265358979323846264338327950288L * (n - i - 0.25L) / (n + 0.5L)), dp = 1;
    for (int it = 0; it < 60; ++it) {
      const auto p = legendre_values(n, z);
      dp = n * (z * p[n] - p[n - 1]) / (z * z - 1);
      const LD step = p[n] / dp;
      z -= step;
      if (std::fabs(step) < 1e-19L) break;
    }
    r.x[i] = z;
    r.w[i] = 2 / ((1 - z * z) * dp * dp);
  }
  return r;
}

inline std::vector<double> random_series(std::mt19937 &gen, int n, double scale = 1.0) {
  std::uniform_real_distribution<double> u(-scale, scale);
  std::vector<double> v(n + 1);
  for (double &c : v) c = u(gen);
  return v;
}

// |a - b| in units of the spacing of doubles at max(|b|, scale).
inline double ulps(double a, LD b, double scale = 0.0) {
  const double m = std::max(double(std::fabs(b)), scale);
  return double(std::fabs(LD(a) - b)) / (m == 0 ? 1e-300 : std::ldexp(1.0, std::ilogb(m) - 52));
}

}  // namespace bref

// Rows of failure tables: a call on `i` (input) with status `rc`, named by its text.
#define BASES_ROW(status, call)                                  \
  {                                                              \
#call, [&](const double *i, BSrc *rc) { (void)i; call; }, status \
  }
#endif
