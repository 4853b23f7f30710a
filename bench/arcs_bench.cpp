// Building circles and arcs, joining two cubic curves of n poles each
// (BScomb2cvs: copy, degeneracy tests of both inputs, closure and plane tests), and
// the arc length of a cubic of n poles and its inverse at arclen_tol 1e-12.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "knotwork.h"

namespace {

struct ArcRecord {
  double poles[21], knots[10], weights[7];
  BScurve cv{};
  ArcRecord() { cv.poles = poles, cv.knots = knots, cv.weights = weights; }
};

void BM_Circle(benchmark::State &state) {
  const double c[3] = {1, 2, 3}, r = 2.5, n[3] = {0.3, -0.2, 1};
  ArcRecord a;
  BSrc rc;
  for (auto _ : state) benchmark::DoNotOptimize(BSprepcirc(&rc, c, &r, n, &a.cv, nullptr, nullptr));
}
BENCHMARK(BM_Circle);

void BM_Arc(benchmark::State &state) {
  const double c[3] = {0, 0, 0}, s[3] = {2, 0, 0}, e[3] = {-1, -1.5, 0}, n[3] = {0, 0, 1};
  ArcRecord a;
  BSrc rc;
  for (auto _ : state)
    benchmark::DoNotOptimize(BSprepcarc(&rc, s, c, e, n, &a.cv, nullptr, nullptr));
}
BENCHMARK(BM_Arc);

// A cubic wave of n poles along x from `from`.
struct Cubic {
  std::vector<double> poles, knots;
  BScurve cv{};
  Cubic(int n, double from) {
    for (int i = 0; i < n; ++i) {
      poles.push_back(from + 0.1 * i);
      poles.push_back(std::sin(0.3 * i));
      poles.push_back(std::cos(0.3 * i) - 1.0);
    }
    for (int i = 0; i < 4; ++i) knots.push_back(0);
    for (int i = 1; i < n - 3; ++i) knots.push_back(i);
    for (int i = 0; i < 4; ++i) knots.push_back(n - 3);
    cv.order = 4, cv.num_poles = n, cv.num_knots = n + 4;
    cv.poles = poles.data(), cv.knots = knots.data();
  }
};

void BM_Join(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  Cubic a(n, 0.0), b(n, 0.0);
  for (int i = 0; i < n; ++i)  // b starts where a ends
    for (int c = 0; c < 3; ++c) b.poles[3 * i + c] += a.poles[3 * (n - 1) + c] - b.poles[c];
  std::vector<double> poles(6 * n), knots(2 * n + 4);
  BScurve out{};
  out.poles = poles.data(), out.knots = knots.data();
  BSrc rc;
  for (auto _ : state) {
    BScomb2cvs(&a.cv, &b.cv, &out, &rc);
    benchmark::DoNotOptimize(out.num_poles);
  }
  if (rc != BSSUCC) state.SkipWithError("join failed");
}
BENCHMARK(BM_Join)->Arg(10)->Arg(100)->Arg(1000);

// Length over the whole domain (BSarclength) or the parameter at half of it (BSiarcln).
void BM_ArcLength(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const bool inverse = state.range(1) != 0;
  Cubic a(n, 0.0);
  const double saved = BSparameters.arclen_tol;
  BSparameters.arclen_tol = 1e-12;
  const double lo = a.knots[3], hi = a.knots[n];
  double length = 0, u = 0;
  BSrc rc;
  BSarclength(&rc, &a.cv, &lo, &hi, &length);
  const double half = 0.5 * length;
  for (auto _ : state) {
    if (inverse)
      BSiarcln(&rc, &a.cv, &lo, &half, &hi, &u);
    else
      BSarclength(&rc, &a.cv, &lo, &hi, &length);
    benchmark::DoNotOptimize(u + length);
  }
  BSparameters.arclen_tol = saved;
  if (rc != BSSUCC) state.SkipWithError("arc length failed");
}
BENCHMARK(BM_ArcLength)->ArgsProduct({{10, 1000}, {0, 1}});

}  // namespace
