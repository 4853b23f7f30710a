// Degree elevation and Bezier decomposition of long cubics.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "knotwork.h"

namespace {

struct Cubic {
  std::vector<double> knots, poles, weights;
  int32_t n;
};

// A cubic with n poles, uniform interior knots on [0, 1], random poles.
Cubic make_cubic(int32_t n, bool rational) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Cubic c;
  c.n = n;
  c.knots.assign(4, 0.0);
  for (int32_t i = 1; i < n - 3; ++i) c.knots.push_back(double(i) / (n - 3));
  c.knots.insert(c.knots.end(), 4, 1.0);
  for (int32_t i = 0; i < 3 * n; ++i) c.poles.push_back(u(rng));
  if (rational) {
    for (int32_t i = 0; i < n; ++i) {
      c.weights.push_back(1.0 + 0.5 * (u(rng) + 1.0));
      for (int k = 0; k < 3; ++k) c.poles[3 * i + k] *= c.weights[i];
    }
  }
  return c;
}

void BM_ElevateCubicToQuintic(benchmark::State &state) {
  const bool rational = state.range(0) != 0;
  Cubic c = make_cubic(1000, rational);
  BScurve cv{};
  cv.order = 4;
  cv.num_poles = c.n;
  cv.num_knots = c.n + 4;
  cv.rational = rational;
  BScurve *out = nullptr;
  for (auto _ : state) {
    cv.poles = c.poles.data();
    cv.knots = c.knots.data();
    cv.weights = rational ? c.weights.data() : nullptr;
    BSrc rc;
    BSupthedeg(&cv, 5, FALSE, &out, &rc);
    if (rc != 0) state.SkipWithError("BSupthedeg failed");
    benchmark::DoNotOptimize(out->poles[0]);
  }
  BSrc rc;
  BSfreeqelcv(out, &rc);
}
BENCHMARK(BM_ElevateCubicToQuintic)->Arg(0)->Arg(1);

void BM_BstobezCubic10000(benchmark::State &state) {
  const int32_t n = 10000;
  Cubic c = make_cubic(n, false);
  std::vector<double> rows(3 * n);
  for (int32_t i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) rows[k * n + i] = c.poles[3 * i + k];
  }
  std::vector<double> coefs(3 * 4 * n), breaks(n + 1);
  for (auto _ : state) {
    int32_t count = 0;
    BSrc rc;
    BSbstobez(3, n, 3, c.knots.data(), rows.data(), &count, coefs.data(), breaks.data(), &rc);
    if (rc != 0 || count != n - 3) state.SkipWithError("BSbstobez failed");
    benchmark::DoNotOptimize(coefs[0]);
  }
  state.SetItemsProcessed(state.iterations() * (n - 3));
}
BENCHMARK(BM_BstobezCubic10000);

}  // namespace
