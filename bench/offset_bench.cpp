// Offsets of planar cubic curves of n poles (a random wave) at offset_tol 1e-6:
// time per offset and the poles of the result.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "knotwork.h"

namespace {

void BM_Offset(benchmark::State &state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> y(-1.0, 1.0);
  std::vector<double> poles, knots(4, 0.0);
  for (int32_t i = 0; i < n; ++i) poles.insert(poles.end(), {double(i), 0.3 * y(rng), 0.0});
  for (int32_t i = 1; i < n - 3; ++i) knots.push_back(i);
  knots.insert(knots.end(), 4, double(n - 3));
  BScurve cv{};
  cv.order = 4, cv.num_poles = n, cv.num_knots = n + 4, cv.non_uniform = 1, cv.planar = 1;
  cv.poles = poles.data(), cv.knots = knots.data();
  const double saved = BSparameters.offset_tol;
  BSparameters.offset_tol = 1e-6;
  const double d = 0.1, dirpt[3] = {0, 5, 0};
  const int32_t corner = 0;
  const int16_t code = 0;
  int32_t result_poles = 0;
  for (auto _ : state) {
    BSrc rc = BSSUCC;
    BScurve *res = nullptr, **loops = nullptr;
    int32_t nloops = 0;
    BScvoffset(&rc, &cv, &d, dirpt, &corner, &code, &res, &nloops, &loops);
    if (res != nullptr) {
      result_poles = res->num_poles;
      BSfreeqelcv(res, &rc);
    }
  }
  state.counters["result_poles"] = result_poles;
  BSparameters.offset_tol = saved;
}
BENCHMARK(BM_Offset)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
