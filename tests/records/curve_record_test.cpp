#include "record_fixtures.hpp"
#include "records/scratch_curve.hpp"
#include "status_ok.hpp"
#include "support.hpp"

namespace {

using kwtest::OwnedCurve;
using CurveRecord = kwtest::GuardedTest;
using Counts = std::tuple<int, int, int, int>;  // order, num_poles, num_knots, rational

Counts counts(const BScurve &c) {
  return {c.order, c.num_poles, c.num_knots, c.rational};
}
int flags(const BScurve &c) {
  return c.periodic | c.non_uniform | c.planar | c.phy_closed;
}
int flags_and(const BScurve &c) {
  return c.periodic & c.non_uniform & c.planar & c.phy_closed;
}

// The size BSdbgalloc recorded for a guarded block (16 bytes before the data).
uint32_t guarded_size(const void *data) {
  uint32_t s;
  std::memcpy(&s, static_cast<const unsigned char *>(data) - 16, sizeof s);
  return s;
}

// A curve header with rational scratch arrays for 2 poles of order 3.
BScurve scratch_arrays() {
  BScurve cv{};
  cv.rational = 1;
  cv.poles = static_cast<double *>(BSdbgsalloc(48));
  cv.knots = static_cast<double *>(BSdbgsalloc(40));
  cv.weights = static_cast<double *>(BSdbgsalloc(16));
  return cv;
}

TEST_F(CurveRecord, AllocqelcvLaysOutOneBlock) {
  for (auto [k, n, rat, nb] : {Counts{4, 7, 0, 0}, {3, 5, 1, 2}, {3, 5, 0, 2}, {2, 3, 1, 0}}) {
    BScurve *cv = nullptr;
    KW_OK(BSallocqelcv(k, n, rat, nb, &cv, &rc));
    const int doubles = 3 * n + k + n + rat * n + 2 * nb;
    EXPECT_EQ(guarded_size(cv), sizeof(BScurve) + 8 * doubles);
    double *const p = reinterpret_cast<double *>(cv + 1), *t = p + 3 * n;
    EXPECT_EQ(std::tuple(cv->poles, cv->knots, cv->weights, cv->bdrys),
              std::tuple(p, t, rat ? t + k + n : nullptr, nb ? t + k + n + rat * n : nullptr));
    // the order and the flags keep the all-ones fill
    EXPECT_EQ(std::tuple(counts(*cv), cv->num_boundaries, flags_and(*cv)),
              std::tuple(Counts(-1, n, k + n, rat), nb, -1));
    std::fill(cv->poles, cv->poles + doubles, 1.0);  // the guards catch an overrun
    KW_EXPECT_OK(BSfreeqelcv(cv, &rc));
  }
}

TEST_F(CurveRecord, PtcvgenBuildsPointCurve) {
  const double p[3] = {1.5, -2.0, 7.25};
  for (bool rational : {true, false}) {
    OwnedCurve c(4, 4, true, 3);
    KW_EXPECT_OK(BSptcvgen(p, 4, rational, &c.cv, &rc));
    EXPECT_EQ(counts(c.cv), Counts(4, 4, 8, rational));
    for (int i = 0; i < 12; ++i) EXPECT_EQ(c.poles[i], p[i % 3]);
    EXPECT_EQ(c.knots, std::vector<double>({0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_TRUE(!rational || c.weights == std::vector<double>(4, 1.0));
    EXPECT_EQ(std::tuple(c.cv.weights, c.cv.bdrys, flags(c.cv) | c.cv.num_boundaries),
              std::tuple(rational ? c.weights.data() : nullptr, nullptr, 0));
  }
}

TEST_F(CurveRecord, ReallocqelcvKeepsFlagsAndReleasesOldRecord) {
  BScurve *cv = nullptr;
  BSrc rc;
  BSallocqelcv(3, 4, TRUE, 1, &cv, &rc);
  cv->order = cv->periodic = 1;
  cv->phy_closed = cv->non_uniform = cv->planar = 0;
  const int32_t live = BSlist_al.count;
  KW_OK(BSreallocqelcv(5, 9, 3, &cv, &rc));
  EXPECT_EQ(BSlist_al.count, live);  // one released, one made
  EXPECT_EQ(counts(*cv), Counts(5, 9, 14, 1));
  EXPECT_EQ(std::tuple(cv->periodic, cv->phy_closed, cv->non_uniform, cv->planar),
            std::tuple(1, 0, -1, -1));  // last two unset
  EXPECT_EQ(cv->num_boundaries, 1);     // the old count; storage for 3
  EXPECT_EQ(guarded_size(cv), sizeof(BScurve) + 8 * (3 * 9 + 14 + 9 + 2 * 3));
  BSfreeqelcv(cv, &rc);
}

TEST_F(CurveRecord, CvCopyCopiesFieldsButNeverBoundaries) {
  OwnedCurve src(4, 6, true, 2, 7), dst(4, 6, true, 1), plain(4, 6, false, 0, 8);
  BSrc rc;
  KW_EXPECT_OK(EXPECT_EQ(BScv_copy(&rc, &src.cv, &dst.cv), TRUE));
  EXPECT_EQ(std::tie(dst.poles, dst.knots, dst.weights),
            std::tie(src.poles, src.knots, src.weights));
  EXPECT_EQ(std::tuple(counts(dst.cv), flags(dst.cv), dst.cv.num_boundaries, dst.cv.bdrys),
            std::tuple(counts(src.cv), flags(src.cv), 0, nullptr));
  EXPECT_EQ(BScv_copy(&rc, &plain.cv, &dst.cv), TRUE);  // a plain source drops the weights
  EXPECT_EQ(std::tuple(dst.cv.rational, dst.cv.weights), std::tuple(0, nullptr));
  const std::vector<double> poles = src.poles;
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &src.cv), TRUE);  // onto itself: nothing changes
  EXPECT_EQ(std::tuple(src.poles, src.cv.num_boundaries), std::tuple(poles, 2));
}

TEST_F(CurveRecord, EveryFailureStatus) {
  OwnedCurve src(3, 4, true), dst(3, 4, true), fresh(3, 4, true), plain(3, 4, false);
  BScurve scratch = scratch_arrays();  // BSstallcvfl releases these (leak check)
  const double p[3] = {0, 0, 0};
  BScurve *cv = reinterpret_cast<BScurve *>(this);
  BSrc rc;
  auto copy_into = [&](BScurve &target) {  // a failed copy keeps the header copied so far
    EXPECT_EQ(BScv_copy(&rc, &src.cv, &target), FALSE);
    EXPECT_EQ(counts(target), counts(src.cv));
  };
  // clang-format off
  const std::pair<std::function<void()>, BSrc> cases[] = {
      {[&] { BSallocqelcv(0, 4, FALSE, 0, &cv, &rc); }, BSINARG},
      {[&] { BSallocqelcv(2, -1, FALSE, 0, &cv, &rc); }, BSINARG},
      {[&] { BSallocqelcv(2, 4, FALSE, -3, &cv, &rc); }, BSINARG},
      {[&] { BSallocqelcv(2, 4, FALSE, 0, nullptr, &rc); }, BSNULLPTR},
      {[&] { BSallocqelcv(16, INT32_MAX / 8, TRUE, 0, &cv, &rc); }, BSNOMEMORY},
      {[&] { BSfreeqelcv(nullptr, &rc); }, BSNULLPTR},
      {[&] { BSptcvgen(p, 3, TRUE, &plain.cv, &rc); }, BSNULLPTR},
      {[&] { BSptcvgen(nullptr, 3, FALSE, &dst.cv, &rc); }, BSNULLPTR},
      {[&] { BSptcvgen(p, 0, FALSE, &dst.cv, &rc); }, BSINARG},
      {[&] { BSreallocqelcv(4, 6, 0, nullptr, &rc); }, BSNULLPTR},
      {[&] { BSreallocqelcv(4, 6, 0, &cv, &rc); }, BSNULLPTR},  // cv is null by now
      {[&] { EXPECT_EQ(BScv_copy(&rc, &src.cv, nullptr), FALSE); }, BSNULLPTR},
      {[&] { copy_into(plain.cv); }, BSNULLPTR},  // no target weights
      {[&] { dst.cv.knots = nullptr, copy_into(dst.cv); }, BSNULLPTR},
      {[&] { dst.cv.poles = nullptr, copy_into(dst.cv); }, BSNULLPTR},
      {[&] { src.cv.weights = nullptr, copy_into(fresh.cv); }, BSINARG},
      {[&] { EXPECT_EQ(BSstfrecvfl(&rc, nullptr), FALSE); }, BSNULLPTR},
      {[&] { EXPECT_EQ(BSstallcvfl(3, 2, TRUE, &scratch, &rc), FALSE); }, BSINARG},
      {[&] { rc = knotwork::ScratchCurve(0, 5, false).status(); }, BSNOSTKMEMORY}};
  // clang-format on
  for (const auto &[call, want] : cases) {
    rc = -99, call();
    EXPECT_EQ(rc, want) << "case " << &want - &cases[0].second;
  }
  EXPECT_EQ(cv, nullptr);
  // The arrays of a temporary curve are released (the fixture catches a leak).
  BScurve tmp = scratch_arrays();
  EXPECT_EQ(std::tuple(BSstfrecvfl(&rc, &tmp), rc), std::tuple(TRUE, BSSUCC));
  for (const BScurve &c : {scratch, tmp})
    EXPECT_TRUE(c.poles == nullptr && c.knots == nullptr && c.weights == nullptr);
}

TEST(ScratchCurve, LaysOutArraysOffTheHeapInPlainMode) {
  kwtest::reset_library_state();
  kwtest::NoHeapScope scope;
  knotwork::ScratchCurve tmp(4, 20, true);
  const BScurve &cv = tmp.curve();
  EXPECT_EQ(counts(cv), Counts(4, 20, 24, 1));
  EXPECT_EQ(std::tuple(cv.knots, cv.weights, cv.bdrys),
            std::tuple(cv.poles + 60, cv.poles + 84, nullptr));
  EXPECT_EQ(flags(cv) | cv.num_boundaries, 0);
  EXPECT_EQ(std::tuple(scope.heap_requests(), knotwork::ScratchCurve(2, 2, false).curve().weights),
            std::tuple(0, nullptr));
}

}  // namespace
