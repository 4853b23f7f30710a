// Interpolation speed: cubic fits (open, and periodic with the banded cyclic solve)
// through 100, 1000 and 10000 points on a wandering space curve; the time per fit
// must grow linearly with the number of points. Arguments: points, periodic (0/1).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "knotwork.h"

namespace {

void BM_DirectFitCubic(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const bool periodic = state.range(1) != 0;
  std::vector<double> pts(3 * n);
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * M_PI * i / (n - 1);
    pts[3 * i] = std::cos(t) * (2.0 + std::cos(5.0 * t));
    pts[3 * i + 1] = std::sin(t) * (2.0 + std::cos(5.0 * t));
    pts[3 * i + 2] = std::sin(5.0 * t);
  }
  if (periodic) std::copy(pts.begin(), pts.begin() + 3, pts.end() - 3);
  std::vector<double> poles(3 * (n + 3)), knots(n + 7);
  BScurve cv{};
  cv.poles = poles.data();
  cv.knots = knots.data();
  for (auto _ : state) {
    BSrc rc;
    BSdirfitcv(n, pts.data(), 4, 0, 0, periodic, nullptr, nullptr, &cv, &rc);
    if (rc != BSSUCC) state.SkipWithError("fit failed");
    benchmark::DoNotOptimize(poles.data());
  }
  state.counters["us_per_fit"] = benchmark::Counter(
      1e-6, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["ns_per_point"] = benchmark::Counter(
      n * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DirectFitCubic)->ArgsProduct({{100, 1000, 10000}, {0, 1}});

}  // namespace
