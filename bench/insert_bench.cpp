// Knot insertion and splitting on a cubic with 1000 poles: 1000 knots inserted one
// by one and all at once by refinement, and splitting at 1000 parameters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "knotwork.h"

namespace {

constexpr int kPoles = 1000;
constexpr int kOrder = 4;

struct Cubic {
  std::vector<double> poles, knots;
  BScurve cv{};
  Cubic() : poles(3 * kPoles), knots(kPoles + kOrder) {
    for (int i = 0; i < kPoles; ++i) {
      poles[3 * i] = i;
      poles[3 * i + 1] = (i * 7919 % 101) / 50.0;
      poles[3 * i + 2] = (i * 104729 % 37) / 20.0;
    }
    for (int i = 0; i < kPoles + kOrder; ++i)
      knots[i] = std::clamp(i - (kOrder - 1), 0, kPoles - kOrder + 1) /
                 static_cast<double>(kPoles - kOrder + 1);
    cv.order = kOrder;
    cv.num_poles = kPoles;
    cv.num_knots = kPoles + kOrder;
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.non_uniform = 1;
  }
};

// 1000 new knot values, one in each of 1000 places spread over the domain.
std::vector<double> new_knots() {
  std::vector<double> v(1000);
  for (int i = 0; i < 1000; ++i) v[i] = (i + 0.37) / 1000.0;
  return v;
}

void BM_InsertOneByOne(benchmark::State &state) {
  Cubic c;
  const std::vector<double> ins = new_knots();
  std::vector<double> poles(3 * (kPoles + 1000)), knots(kPoles + kOrder + 1000);
  for (auto _ : state) {
    BScurve work = c.cv;
    std::copy(c.poles.begin(), c.poles.end(), poles.begin());
    std::copy(c.knots.begin(), c.knots.end(), knots.begin());
    work.poles = poles.data();
    work.knots = knots.data();
    BScurve *target = &work;
    BSrc rc = BSSUCC;
    for (double u : ins) BSadd_1kt_mul(&work, u, 1, 1, &target, &rc);
    benchmark::DoNotOptimize(poles.data());
    if (rc != BSSUCC) state.SkipWithError("insertion failed");
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_InsertOneByOne);

void BM_InsertByRefinement(benchmark::State &state) {
  Cubic c;
  std::vector<double> tau(c.knots);
  const std::vector<double> ins = new_knots();
  tau.insert(tau.end(), ins.begin(), ins.end());
  std::sort(tau.begin(), tau.end());
  std::vector<double> poles(3 * (kPoles + 1000)), knots(kPoles + kOrder + 1000);
  BScurve out{};
  out.poles = poles.data();
  out.knots = knots.data();
  for (auto _ : state) {
    BSrc rc;
    BSadd_kts(&c.cv, kPoles + 1000, tau.data(), &out, &rc);
    benchmark::DoNotOptimize(poles.data());
    if (rc != BSSUCC) state.SkipWithError("refinement failed");
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_InsertByRefinement);

void BM_InsertRowsByBSinsertmkt(benchmark::State &state) {
  Cubic c;
  std::vector<double> rows(3 * kPoles);
  for (int i = 0; i < kPoles; ++i)
    for (int d = 0; d < 3; ++d) rows[d * kPoles + i] = c.poles[3 * i + d];
  const std::vector<double> ins = new_knots();
  std::vector<double> out(3 * (kPoles + 1000)), kout(kPoles + kOrder + 1000);
  for (auto _ : state) {
    BSrc rc;
    BSinsertmkt(kOrder, 3, kPoles, rows.data(), c.knots.data(), 1000, ins.data(), out.data(),
                kout.data(), &rc);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_InsertRowsByBSinsertmkt);

void BM_SplitAt1000Parameters(benchmark::State &state) {
  Cubic c;
  const std::vector<double> us = new_knots();
  std::vector<double> lp(3 * (kPoles + kOrder)), lk(2 * kPoles), rp(3 * (kPoles + kOrder)),
      rk(2 * kPoles);
  for (auto _ : state) {
    for (double u : us) {
      BScurve left{}, right{};
      left.poles = lp.data();
      left.knots = lk.data();
      right.poles = rp.data();
      right.knots = rk.data();
      BSrc rc;
      BScvsplit(&rc, &c.cv, &u, &left, &right, nullptr);
      benchmark::DoNotOptimize(lp.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_SplitAt1000Parameters);

}  // namespace
