// Nearest point on a curve: 1e4 random points, and 1e4 points along a polyline
// near the curve (each search bounded by the previous foot), onto cubic curves of
// 10, 100 and 10000 poles, polynomial and rational. Reported per point.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "knotwork.h"

namespace {

struct BenchCurve {
  std::vector<double> poles, knots, weights;
  BScurve rec{};
};

// A smooth wandering cubic through [0, 1]^3 with uniform interior knots.
BenchCurve make_curve(int n, bool rational) {
  BenchCurve c;
  std::mt19937_64 rng(1234 + n);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  double p[3] = {0.5, 0.5, 0.5};
  const double step = 1.0 / std::sqrt(static_cast<double>(n));
  for (int i = 0; i < n; ++i) {
    for (double &x : p) x = std::fmin(1.0, std::fmax(0.0, x + step * U(rng)));
    const double w = rational ? 0.5 + 0.5 * (U(rng) + 1.0) : 1.0;
    for (double x : p) c.poles.push_back(rational ? w * x : x);
    if (rational) c.weights.push_back(w);
  }
  for (int i = 0; i < 4; ++i) c.knots.push_back(0.0);
  for (int i = 1; i < n - 3; ++i) c.knots.push_back(static_cast<double>(i) / (n - 3));
  for (int i = 0; i < 4; ++i) c.knots.push_back(1.0);
  c.rec.order = 4;
  c.rec.num_poles = n;
  c.rec.poles = c.poles.data();
  c.rec.num_knots = n + 4;
  c.rec.knots = c.knots.data();
  c.rec.rational = rational;
  c.rec.weights = rational ? c.weights.data() : nullptr;
  return c;
}

constexpr int kPoints = 10000;

std::vector<double> random_points() {
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> U(-0.2, 1.2);
  std::vector<double> pts(3 * kPoints);
  for (double &x : pts) x = U(rng);
  return pts;
}

// Points along the curve's own polyline of sample points, offset a little.
std::vector<double> polyline_points(BenchCurve &c) {
  std::mt19937_64 rng(78);
  std::uniform_real_distribution<double> U(-0.01, 0.01);
  std::vector<double> pts(3 * kPoints);
  for (int i = 0; i < kPoints; ++i) {
    double out[3];
    BSrc rc = 0;
    BScveval(&c.rec, static_cast<double>(i) / (kPoints - 1), 0, out, &rc);
    for (int d = 0; d < 3; ++d) pts[3 * i + d] = out[d] + U(rng);
  }
  return pts;
}

void run(benchmark::State &state, bool polyline) {
  const int n = static_cast<int>(state.range(0));
  const bool rational = state.range(1) != 0;
  BenchCurve c = make_curve(n, rational);
  const std::vector<double> pts = polyline ? polyline_points(c) : random_points();
  std::vector<double> us(kPoints), feet(3 * kPoints), dists(kPoints);
  for (auto _ : state) {
    BSrc rc = 0;
    BSboolean flag = 0;
    BSmdstptscv(kPoints, pts.data(), &c.rec, us.data(), feet.data(), dists.data(), &flag, &rc);
    if (rc != 0) state.SkipWithError("projection failed");
    benchmark::DoNotOptimize(dists.data());
  }
  // Time per point (the iteration projects kPoints points).
  state.counters["per_point"] = benchmark::Counter(
      static_cast<double>(kPoints),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ProjectRandomPoints(benchmark::State &state) {
  run(state, false);
}
void BM_ProjectPolylinePoints(benchmark::State &state) {
  run(state, true);
}

// The same workloads through the Legendre-form search (coordinate-major rows, no
// incoming bounds, tolerance 1e-6 as dist_tol), side by side with the above.
void run_legendre(benchmark::State &state, bool polyline) {
  const int n = static_cast<int>(state.range(0));
  const bool rational = state.range(1) != 0;
  BenchCurve c = make_curve(n, rational);
  const std::vector<double> pts = polyline ? polyline_points(c) : random_points();
  std::vector<double> rows((rational ? 4 : 3) * n);
  for (int i = 0; i < n; ++i) {
    for (int d = 0; d < 3; ++d) rows[d * n + i] = c.poles[3 * i + d];
    if (rational) rows[3 * n + i] = c.weights[i];
  }
  std::vector<double> q = pts, din(kPoints, 1.7976931348623157e308), pin(kPoints, 0.0);
  std::vector<double> us(kPoints), feet(3 * kPoints), dists(kPoints);
  for (auto _ : state) {
    BSrc rc = 0;
    BSmdptbscv(3, n, 3, rational, rows.data(), c.knots.data(), kPoints, q.data(), 1e-6, din.data(),
               pin.data(), dists.data(), us.data(), feet.data(), &rc);
    if (rc != 0) state.SkipWithError("projection failed");
    benchmark::DoNotOptimize(dists.data());
  }
  state.counters["per_point"] = benchmark::Counter(
      static_cast<double>(kPoints),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
void BM_LegendreRandomPoints(benchmark::State &state) {
  run_legendre(state, false);
}
void BM_LegendrePolylinePoints(benchmark::State &state) {
  run_legendre(state, true);
}

// One call per point (the curve is cut into pieces at every call).
void BM_ProjectSinglePointCalls(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  BenchCurve c = make_curve(n, state.range(1) != 0);
  const std::vector<double> pts = random_points();
  int i = 0;
  for (auto _ : state) {
    double u, foot[3], dist;
    BSrc rc = 0;
    BSmdstptcv(&c.rec, &pts[3 * (i++ % kPoints)], &u, foot, &dist, &rc);
    benchmark::DoNotOptimize(dist);
  }
}

}  // namespace

BENCHMARK(BM_ProjectRandomPoints)
    ->ArgsProduct({{10, 100, 10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProjectPolylinePoints)
    ->ArgsProduct({{10, 100, 10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LegendreRandomPoints)
    ->ArgsProduct({{10, 100, 10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LegendrePolylinePoints)
    ->ArgsProduct({{10, 100, 10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProjectSinglePointCalls)
    ->ArgsProduct({{10, 100, 10000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
