// Curve evaluation speed: single calls at random parameters (span search, the
// span's knot differences and de Boor's triangle each time) and sweeps over 1e5
// sorted parameters (running span, knot differences reused within a span).
// Arguments: order, rational (0/1), number of poles, derivatives d.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "knotwork.h"

namespace {

struct BenchCurve {
  std::vector<double> poles, knots, weights;
  BScurve cv{};
  BenchCurve(int k, int n, bool rational) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> coord(-1.0, 1.0), w(0.5, 2.0), step(0.5, 1.5);
    poles.resize(3 * n);
    for (double &c : poles) c = coord(rng);
    for (int i = 0; i < k; ++i) knots.push_back(0.0);
    double v = 0.0;
    for (int i = k; i < n; ++i) knots.push_back(v += step(rng));
    v += step(rng);
    for (int i = 0; i < k; ++i) knots.push_back(v);
    if (rational) {
      weights.resize(n);
      for (int i = 0; i < n; ++i) {
        weights[i] = w(rng);
        for (int c = 0; c < 3; ++c) poles[3 * i + c] *= weights[i];
      }
    }
    cv.order = static_cast<int16_t>(k);
    cv.num_poles = n;
    cv.num_knots = n + k;
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.rational = rational ? 1 : 0;
    cv.weights = rational ? weights.data() : nullptr;
  }
  std::vector<double> parameters(std::size_t count, bool sorted) const {
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> u(knots.front(), knots.back());
    std::vector<double> p(count);
    for (double &x : p) x = u(rng);
    if (sorted) std::sort(p.begin(), p.end());
    return p;
  }
};

void per_point(benchmark::State &state, double points_per_iteration) {
  state.counters["ns_per_point"] = benchmark::Counter(
      points_per_iteration * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * points_per_iteration));
}

void BM_CvevalRandom(benchmark::State &state) {
  const int k = static_cast<int>(state.range(0));
  BenchCurve c(k, static_cast<int>(state.range(2)), state.range(1) != 0);
  const int d = static_cast<int>(state.range(3));
  const auto pars = c.parameters(4096, false);
  double out[9];
  BSrc rc = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    BScveval(&c.cv, pars[i], d, out, &rc);
    benchmark::DoNotOptimize(out);
    i = (i + 1) & 4095;
  }
  per_point(state, 1.0);
}

void BM_CvarrevalSweep(benchmark::State &state) {
  const int k = static_cast<int>(state.range(0));
  BenchCurve c(k, static_cast<int>(state.range(2)), state.range(1) != 0);
  const int d = static_cast<int>(state.range(3));
  const int count = 100000;
  const auto pars = c.parameters(count, true);
  std::vector<double> out(static_cast<std::size_t>(3 * (d + 1)) * count);
  BSrc rc = 0;
  for (auto _ : state) {
    BScvarreval(&rc, &c.cv, pars.data(), count, d, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  per_point(state, count);
}

void curve_args(benchmark::internal::Benchmark *b) {
  b->ArgNames({"order", "rational", "poles", "d"});
  for (int k : {4, 6})
    for (int r : {0, 1})
      for (int n : {10, 1000, 100000})
        for (int d : {0, 1, 2}) b->Args({k, r, n, d});
}

}  // namespace

BENCHMARK(BM_CvevalRandom)->Apply(curve_args);
BENCHMARK(BM_CvarrevalSweep)->Apply(curve_args)->Unit(benchmark::kMicrosecond);
