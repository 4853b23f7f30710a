// Curve-curve intersection: pairs of planar wandering cubics of 10, 100 and 1000
// poles (time per pair, crossings counted), and a zigzag polyline-like cubic crossing
// a straight cubic 150 times.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "knotwork.h"

namespace {

struct BenchCurve {
  std::vector<double> poles, knots;
  BScurve rec{};
};

BenchCurve cubic_through(const std::vector<double> &xy) {
  BenchCurve c;
  const int n = static_cast<int>(xy.size() / 2);
  for (int i = 0; i < n; ++i) c.poles.insert(c.poles.end(), {xy[2 * i], xy[2 * i + 1], 0.0});
  for (int i = 0; i < 4; ++i) c.knots.push_back(0.0);
  for (int i = 1; i < n - 3; ++i) c.knots.push_back(static_cast<double>(i) / (n - 3));
  for (int i = 0; i < 4; ++i) c.knots.push_back(1.0);
  c.rec.order = 4;
  c.rec.num_poles = n;
  c.rec.poles = c.poles.data();
  c.rec.num_knots = n + 4;
  c.rec.knots = c.knots.data();
  return c;
}

// A planar random walk in [0, 1]^2 with n poles.
BenchCurve wander(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  std::vector<double> xy;
  double p[2] = {0.5, 0.5};
  const double step = 1.0 / std::sqrt(static_cast<double>(n));
  for (int i = 0; i < n; ++i)
    for (double &x : p) {
      x = std::fmin(1.0, std::fmax(0.0, x + step * U(rng)));
      xy.push_back(x);
    }
  return cubic_through(xy);
}

int32_t intersect(const BScurve &a, const BScurve &b) {
  int32_t ni = 0, no = 0;
  BSboolean fa = 0, fb = 0;
  double *p[6] = {};
  BSrc rc = 0;
  BScvcvint(&a, &b, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ni, &no, &fa,
            &fb, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &rc);
  for (double *q : p)
    if (q) BSdbgfree(q);
  return rc == 0 ? ni : -1;
}

void BM_CubicPair(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  BenchCurve a = wander(n, 11), b = wander(n, 29);
  int32_t found = 0;
  for (auto _ : state) benchmark::DoNotOptimize(found = intersect(a.rec, b.rec));
  state.counters["crossings"] = found;
}
BENCHMARK(BM_CubicPair)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// Zigzag between y = -1 and y = 1 (poles alternate) against the x axis: 150 crossings.
void BM_Zigzag150(benchmark::State &state) {
  std::vector<double> zig, line;
  for (int i = 0; i < 150; ++i) zig.insert(zig.end(), {i / 149.0, i % 2 ? 1.0 : -1.0});
  for (int i = 0; i < 4; ++i) line.insert(line.end(), {-0.1 + 1.2 * i / 3.0, 0.0});
  BenchCurve a = cubic_through(zig), b = cubic_through(line);
  int32_t found = 0;
  for (auto _ : state) benchmark::DoNotOptimize(found = intersect(a.rec, b.rec));
  state.counters["crossings"] = found;
}
BENCHMARK(BM_Zigzag150)->Unit(benchmark::kMicrosecond);

}  // namespace
