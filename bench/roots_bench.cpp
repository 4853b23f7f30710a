// Root finders: closed-form cubic and quartic, real roots of a cubic Bezier and of
// a degree-15 Legendre piece, and a scalar B-spline with 100 spans.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "knotwork.h"

namespace {

std::vector<double> random_values(int count, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(count);
  for (double &x : v) x = u(rng);
  return v;
}

void BM_CubicClosedForm(benchmark::State &state) {
  const std::vector<double> c = random_values(4 * 64, 1);
  double re[3], im[3];
  BSrc rc;
  size_t i = 0;
  for (auto _ : state) {
    BSrpoly3(&c[4 * (i++ % 64)], re, im, &rc);
    benchmark::DoNotOptimize(re);
  }
}
BENCHMARK(BM_CubicClosedForm);

void BM_QuarticClosedForm(benchmark::State &state) {
  const std::vector<double> c = random_values(5 * 64, 2);
  double re[4], im[4];
  BSrc rc;
  size_t i = 0;
  for (auto _ : state) {
    BSrpoly4(&c[5 * (i++ % 64)], re, im, &rc);
    benchmark::DoNotOptimize(re);
  }
}
BENCHMARK(BM_QuarticClosedForm);

void BM_CubicBezierRoots(benchmark::State &state) {
  const std::vector<double> c = random_values(4 * 64, 3);
  double roots[3];
  int32_t count;
  BSrc rc;
  size_t i = 0;
  for (auto _ : state) {
    BSfndrtbez1(4, &c[4 * (i++ % 64)], 0.0, 1.0, 1e-10, &count, roots, &rc);
    benchmark::DoNotOptimize(roots);
  }
}
BENCHMARK(BM_CubicBezierRoots);

void BM_Legendre15Roots(benchmark::State &state) {
  // Decaying random coefficients: a smooth function with several roots in [-1, 1].
  std::vector<double> c = random_values(16 * 16, 4);
  for (int s = 0; s < 16; ++s)
    for (int j = 0; j < 16; ++j) c[16 * s + j] /= (1.0 + 0.3 * j);
  double roots[15];
  int32_t count;
  BSrc rc;
  size_t i = 0;
  for (auto _ : state) {
    BSfndrtlgd1(15, &c[16 * (i++ % 16)], 1e-10, &count, roots, &rc);
    benchmark::DoNotOptimize(roots);
  }
}
BENCHMARK(BM_Legendre15Roots);

void BM_SplineRoots100Spans(benchmark::State &state) {
  const int32_t k = 4, n = 103;
  std::vector<double> t(n + k), p(n);
  for (int32_t i = 0; i < n + k; ++i) t[i] = std::fmin(std::fmax(i - 3, 0), 100) / 100.0;
  for (int32_t i = 0; i < n; ++i) p[i] = std::sin(0.37 * i) + 0.1;
  std::vector<double> roots(k * (n - k + 1)), zp(2 * (n - k + 1));
  int32_t count, nz;
  BSrc rc;
  for (auto _ : state) {
    BSfndrtbsp1(k, n, p.data(), t.data(), 1e-10, &count, roots.data(), &nz, zp.data(), &rc);
    benchmark::DoNotOptimize(roots.data());
  }
}
BENCHMARK(BM_SplineRoots100Spans)->Unit(benchmark::kMicrosecond);

}  // namespace
