// Polynomial bases speed: one conversion or one evaluation per iteration at the
// degrees 3, 7, 15, 63 and 320 (each conversion up to its limit), ns per call.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "knotwork.h"

namespace {

std::vector<double> series(int n) {
  std::mt19937_64 rng(n);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(n + 1);
  for (double &c : v) c = u(rng);
  return v;
}

// One conversion routine with a status, capped at its degree limit.
template <void (*F)(int32_t, const double *, double *, BSrc *), int Limit>
void BM_Convert(benchmark::State &state) {
  const int n = std::min(static_cast<int>(state.range(0)), Limit);
  const auto in = series(n);
  std::vector<double> out(n + 1);
  BSrc rc = 0;
  for (auto _ : state) {
    F(n, in.data(), out.data(), &rc);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["degree"] = n;
}

void BM_BezierToLegendre(benchmark::State &state) {
  const int n = std::min(static_cast<int>(state.range(0)), 319);
  const auto in = series(n);
  std::vector<double> out(n + 1);
  BSrc rc = 0;
  for (auto _ : state) {
    BSbeztolgd(n, 1, in.data(), out.data(), &rc);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["degree"] = n;
}

void BM_BezierToLocalPower(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const auto in = series(n);
  std::vector<double> out(n + 1);
  for (auto _ : state) {
    BSbeztocan1(1, n, in.data(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_Clenshaw(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const auto l = series(n);
  double x = 0.3, v = 0;
  for (auto _ : state) {
    BShornlgd(n, l.data(), x, &v);
    benchmark::DoNotOptimize(v);
    x = x > 0.9 ? -0.9 : x + 1e-3;
  }
}

void BM_HalveLegendre(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const auto l = series(n);
  std::vector<double> left(n + 1), right(n + 1);
  BSrc rc = 0;
  for (auto _ : state) {
    BShlfcpolgd(n, l.data(), left.data(), right.data(), &rc);
    benchmark::DoNotOptimize(left.data());
  }
}

#define DEGREES Arg(3)->Arg(7)->Arg(15)->Arg(63)->Arg(320)
BENCHMARK_TEMPLATE(BM_Convert, BSlgdtcan, 63)->DEGREES;
BENCHMARK_TEMPLATE(BM_Convert, BScantlgd, 127)->DEGREES;
BENCHMARK_TEMPLATE(BM_Convert, BSlgdttch, 325)->DEGREES;
BENCHMARK_TEMPLATE(BM_Convert, BStchtlgd, 325)->DEGREES;
BENCHMARK_TEMPLATE(BM_Convert, BSlgdtbez, 319)->DEGREES;
BENCHMARK_TEMPLATE(BM_Convert, BScantbez, 1000)->DEGREES;
BENCHMARK(BM_BezierToLegendre)->DEGREES;
BENCHMARK(BM_BezierToLocalPower)->DEGREES;
BENCHMARK(BM_Clenshaw)->DEGREES;
BENCHMARK(BM_HalveLegendre)->DEGREES;

}  // namespace
