// Curve-plane intersection of cubic curves with 10, 100 and 1000 poles.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "knotwork.h"

namespace {

void BM_CurvePlaneCubic(benchmark::State &state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> knots(4, 0.0), poles;
  for (int32_t i = 1; i < n - 3; ++i) knots.push_back(double(i) / (n - 3));
  knots.insert(knots.end(), 4, 1.0);
  // A wavy space curve along x: the plane x + 0.3 z = 0.1 is crossed once per wave.
  for (int32_t i = 0; i < n; ++i)
    poles.insert(poles.end(), {std::sin(0.9 * i) + 0.1 * u(rng), double(i) / n, u(rng)});
  BScurve cv{};
  cv.order = 4;
  cv.num_poles = n;
  cv.poles = poles.data();
  cv.num_knots = n + 4;
  cv.knots = knots.data();
  const double q[3] = {0.1, 0, 0}, nrm[3] = {1, 0, 0.3};
  std::vector<double> params(4 * n), points(12 * n), starts(n), ends(n);
  int32_t np = 0, ni = 0;
  BSrc rc;
  for (auto _ : state) {
    BSpl_cv_int(&rc, &cv, q, nrm, &np, points.data(), params.data(), &ni, starts.data(),
                ends.data());
    benchmark::DoNotOptimize(points.data());
  }
  state.counters["points"] = np;
}
BENCHMARK(BM_CurvePlaneCubic)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
