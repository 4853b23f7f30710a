// Knot removal on cubics with about 1000 poles: a cubic of 503 poles refined by one knot
// in every span, then every removable knot removed again (exact reduction), and
// the reduction of a curve with nothing to remove exactly within a tolerance; the
// conversion of a cubic with 1000 poles to a composite Legendre curve and back.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "knotwork.h"

namespace {

constexpr int kOrder = 4;

struct Curve {
  std::vector<double> poles, knots;
  BScurve cv{};
  explicit Curve(int n) : poles(3 * n), knots(n + kOrder) {
    for (int i = 0; i < n; ++i) {
      poles[3 * i] = i;
      poles[3 * i + 1] = std::sin(0.37 * i);
      poles[3 * i + 2] = std::cos(0.11 * i);
    }
    for (int i = 0; i < n + kOrder; ++i) {
      const int j = i < kOrder ? 0 : (i > n ? n - kOrder + 1 : i - kOrder + 1);
      knots[i] = j / static_cast<double>(n - kOrder + 1);
    }
    view(n);
  }
  void view(int n) {
    cv.order = kOrder;
    cv.num_poles = n;
    cv.num_knots = n + kOrder;
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.non_uniform = 1;
  }
};

// 503 poles refined to 1003: one new knot in the middle of every span.
constexpr int kBase = 503, kFine = 2 * kBase - kOrder + 1;
Curve refined() {
  Curve base(kBase), fine(kFine);
  std::vector<double> tau(kOrder, 0.0);
  const int spans = kBase - kOrder + 1;
  for (int s = 0; s < spans; ++s) {
    if (s > 0) tau.push_back(s / static_cast<double>(spans));
    tau.push_back((s + 0.5) / spans);
  }
  tau.insert(tau.end(), kOrder, 1.0);
  BSrc rc;
  BSadd_kts(&base.cv, kFine, tau.data(), &fine.cv, &rc);
  fine.view(kFine);
  return fine;
}

void BM_RemoveAllRemovableKnots(benchmark::State &state) {
  Curve in = refined(), out(kFine);
  for (auto _ : state) {
    BSrc rc;
    BSrmktsnchg(&in.cv, 1e-9, &out.cv, &rc);
    benchmark::DoNotOptimize(out.cv.num_poles);
  }
  state.counters["poles_left"] = out.cv.num_poles;
}
BENCHMARK(BM_RemoveAllRemovableKnots)->Unit(benchmark::kMicrosecond);

void BM_ReduceWithinTolerance(benchmark::State &state) {
  Curve in(1000), out(1000);
  for (auto _ : state) {
    BSrc rc;
    BSrmktsnchg(&in.cv, 1e-3, &out.cv, &rc);
    benchmark::DoNotOptimize(out.cv.num_poles);
  }
  state.counters["poles_left"] = out.cv.num_poles;
}
BENCHMARK(BM_ReduceWithinTolerance)->Unit(benchmark::kMicrosecond);

// Coordinate-major rows of a record's poles.
std::vector<double> rows_of(const BScurve &cv) {
  std::vector<double> r(3 * cv.num_poles);
  for (int i = 0; i < cv.num_poles; ++i)
    for (int c = 0; c < 3; ++c) r[c * cv.num_poles + i] = cv.poles[3 * i + c];
  return r;
}

struct Composite {
  int32_t m = 0, *ndeg = nullptr, *irat = nullptr;
  double **series = nullptr, *bez = nullptr, se[2];
  std::vector<int32_t> ibase;
  void release() {
    BSfrecmplgd(&series);
    BSdbgfree(ndeg);
    BSdbgfree(irat);
    BSdbgfree(bez);
  }
};

void BM_SplineToComposite(benchmark::State &state) {
  Curve in(1000);
  const std::vector<double> rows = rows_of(in.cv);
  for (auto _ : state) {
    Composite c;
    BSrc rc;
    BSbsp2cmlgd(3, 1000, kOrder, 0, rows.data(), in.knots.data(), &c.m, &c.ndeg, &c.irat, &c.series,
                &c.bez, c.se, &rc);
    benchmark::DoNotOptimize(c.series);
    c.release();
  }
}
BENCHMARK(BM_SplineToComposite)->Unit(benchmark::kMicrosecond);

void BM_CompositeToSpline(benchmark::State &state) {
  Curve in(1000);
  const std::vector<double> rows = rows_of(in.cv);
  Composite c;
  BSrc rc;
  BSbsp2cmlgd(3, 1000, kOrder, 0, rows.data(), in.knots.data(), &c.m, &c.ndeg, &c.irat, &c.series,
              &c.bez, c.se, &rc);
  c.ibase.assign(c.m, 1);
  int32_t poles = 0;
  for (auto _ : state) {
    BScurve *out = nullptr;
    BScmlgd2bsp(3, c.m, 0, c.ndeg, c.irat, c.ibase.data(), c.series, c.bez, c.se, 1e-9, kOrder,
                &out, &rc);
    poles = out->num_poles;
    BSfreeqelcv(out, &rc);
  }
  state.counters["poles"] = poles;
  c.release();
}
BENCHMARK(BM_CompositeToSpline)->Unit(benchmark::kMicrosecond);

}  // namespace
