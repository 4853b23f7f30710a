#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

#include "record_fixtures.hpp"
#include "records/scratch_curve.hpp"
#include "support.hpp"

namespace {

using kwtest::OwnedCurve;
using CurveRecord = kwtest::GuardedTest;

// The size BSdbgalloc recorded for a guarded block (16 bytes before the data).
uint32_t guarded_size(const void *data) {
  uint32_t s;
  std::memcpy(&s, static_cast<const unsigned char *>(data) - 16, sizeof s);
  return s;
}

std::string trace() {
  FILE *f = std::tmpfile();
  BSdbgprint(f);
  return kwtest::drain(f);
}

TEST_F(CurveRecord, AllocqelcvLaysOutOneBlock) {
  struct Shape {
    int order, n;
    bool rational;
    int nb;
  };
  for (const Shape s :
       {Shape{4, 7, false, 0}, {3, 5, true, 2}, {3, 5, false, 2}, {2, 3, true, 0}}) {
    BScurve *cv = nullptr;
    BSrc rc = -99;
    BSallocqelcv(s.order, s.n, s.rational, s.nb, &cv, &rc);
    ASSERT_EQ(rc, BSSUCC);
    const int nk = s.order + s.n, doubles = 3 * s.n + nk + (s.rational ? s.n : 0) + 2 * s.nb;
    EXPECT_EQ(guarded_size(cv), sizeof(BScurve) + 8 * doubles);
    EXPECT_EQ(static_cast<void *>(cv->poles),
              reinterpret_cast<unsigned char *>(cv) + sizeof(BScurve));
    EXPECT_EQ(cv->knots, cv->poles + 3 * s.n);
    EXPECT_EQ(cv->weights, s.rational ? cv->knots + nk : nullptr);
    EXPECT_EQ(cv->bdrys, s.nb == 0 ? nullptr : s.rational ? cv->weights + s.n : cv->knots + nk);
    EXPECT_EQ(cv->rational, s.rational ? 1 : 0);
    EXPECT_EQ(cv->num_poles, s.n);
    EXPECT_EQ(cv->num_knots, nk);
    EXPECT_EQ(cv->num_boundaries, s.nb);
    // Fields the caller sets keep the all-ones fill.
    EXPECT_EQ(cv->order & cv->periodic & cv->non_uniform & cv->planar & cv->phy_closed, -1);
    std::fill(cv->poles, cv->poles + doubles, 1.0);  // the guards catch an overrun
    BSfreeqelcv(cv, &rc);
    EXPECT_EQ(rc, BSSUCC);
  }
}

TEST_F(CurveRecord, PtcvgenBuildsPointCurve) {
  const double p[3] = {1.5, -2.0, 7.25};
  for (bool rational : {true, false}) {
    OwnedCurve c(4, 4, true, 3);
    BSrc rc;
    BSptcvgen(p, 4, rational, &c.cv, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_EQ(c.cv.order, 4);
    EXPECT_EQ(c.cv.num_poles, 4);
    EXPECT_EQ(c.cv.num_knots, 8);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(std::memcmp(&c.poles[3 * i], p, sizeof p), 0);
      EXPECT_EQ(c.knots[i], 0.0);
      EXPECT_EQ(c.knots[4 + i], 1.0);
      EXPECT_EQ(rational ? c.weights[i] : 1.0, 1.0);
    }
    EXPECT_EQ(c.cv.rational, rational ? 1 : 0);
    EXPECT_EQ(c.cv.weights, rational ? c.weights.data() : nullptr);
    EXPECT_EQ(c.cv.bdrys, nullptr);
    EXPECT_EQ(c.cv.periodic | c.cv.non_uniform | c.cv.planar | c.cv.phy_closed, 0);
    EXPECT_EQ(c.cv.num_boundaries, 0);
  }
}

TEST_F(CurveRecord, ReallocqelcvKeepsFlagsAndReleasesOldRecord) {
  BScurve *cv = nullptr;
  BSrc rc;
  BSallocqelcv(3, 4, TRUE, 1, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  cv->order = 3;
  cv->periodic = 1;
  cv->phy_closed = cv->non_uniform = cv->planar = 0;
  const int32_t live = BSlist_al.count;
  BSreallocqelcv(5, 9, 3, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(BSlist_al.count, live);  // one released, one made
  EXPECT_EQ(cv->order, 5);
  EXPECT_EQ(cv->num_poles, 9);
  EXPECT_EQ(cv->num_knots, 14);
  EXPECT_EQ(cv->rational, 1);
  EXPECT_EQ(cv->periodic, 1);
  EXPECT_EQ(cv->phy_closed, 0);
  EXPECT_EQ(cv->non_uniform & cv->planar, -1);  // not copied
  EXPECT_EQ(cv->num_boundaries, 1);             // the old count; storage for 3
  EXPECT_EQ(guarded_size(cv), sizeof(BScurve) + 24 * 9 + 8 * 14 + 8 * 9 + 16 * 3);
  BSfreeqelcv(cv, &rc);
}

TEST_F(CurveRecord, CvCopyCopiesFieldsButNeverBoundaries) {
  OwnedCurve src(4, 6, true, 2), dst(4, 6, true, 1), plain(4, 6, false);
  kwtest::fill_random(src, 7);
  kwtest::fill_random(plain, 8);
  BSrc rc;
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &dst.cv), TRUE);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(dst.poles, src.poles);
  EXPECT_EQ(dst.knots, src.knots);
  EXPECT_EQ(dst.weights, src.weights);
  EXPECT_EQ(dst.cv.order, 4);
  EXPECT_EQ(dst.cv.phy_closed & dst.cv.non_uniform, 1);
  EXPECT_EQ(dst.cv.num_boundaries, 0);
  EXPECT_EQ(dst.cv.bdrys, nullptr);
  EXPECT_EQ(BScv_copy(&rc, &plain.cv, &dst.cv), TRUE);  // a plain source drops the weights
  EXPECT_EQ(dst.cv.rational, 0);
  EXPECT_EQ(dst.cv.weights, nullptr);
  const std::vector<double> poles = src.poles;
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &src.cv), TRUE);  // onto itself: nothing changes
  EXPECT_EQ(src.poles, poles);
  EXPECT_EQ(src.cv.num_boundaries, 2);
}

TEST_F(CurveRecord, EveryFailureStatus) {
  OwnedCurve src(3, 4, true), dst(3, 4, true);
  kwtest::fill_random(src, 2);
  const double p[3] = {0, 0, 0};
  BScurve *cv = reinterpret_cast<BScurve *>(this);
  BSrc rc;
  // A copy that fails keeps the header fields copied before the failure.
  auto copy_into = [&](bool poles, bool knots, bool weights) {
    OwnedCurve d(3, 4, weights);
    if (!poles) d.cv.poles = nullptr;
    if (!knots) d.cv.knots = nullptr;
    EXPECT_EQ(BScv_copy(&rc, &src.cv, &d.cv), FALSE);
    EXPECT_EQ(d.cv.order + d.cv.rational, 4);
    EXPECT_EQ(d.poles == src.poles, poles);
  };
  const struct {
    const char *what;
    std::function<void()> call;
    BSrc status;
  } cases[] = {
      {"alloc order 0",
       [&] {
         BSallocqelcv(0, 4, FALSE, 0, &cv, &rc);
         EXPECT_EQ(cv, nullptr);
       },
       BSINARG},
      {"alloc poles -1", [&] { BSallocqelcv(2, -1, FALSE, 0, &cv, &rc); }, BSINARG},
      {"alloc boundaries -3", [&] { BSallocqelcv(2, 4, FALSE, -3, &cv, &rc); }, BSINARG},
      {"alloc no out", [&] { BSallocqelcv(2, 4, FALSE, 0, nullptr, &rc); }, BSNULLPTR},
      {"alloc too large", [&] { BSallocqelcv(16, INT32_MAX / 8, TRUE, 0, &cv, &rc); }, BSNOMEMORY},
      {"free null", [&] { BSfreeqelcv(nullptr, &rc); }, BSNULLPTR},
      {"ptcvgen no weights",
       [&] {
         OwnedCurve plain(3, 3, false);
         BSptcvgen(p, 3, TRUE, &plain.cv, &rc);
       },
       BSNULLPTR},
      {"ptcvgen no point", [&] { BSptcvgen(nullptr, 3, FALSE, &dst.cv, &rc); }, BSNULLPTR},
      {"ptcvgen order 0", [&] { BSptcvgen(p, 0, FALSE, &dst.cv, &rc); }, BSINARG},
      {"realloc no out", [&] { BSreallocqelcv(4, 6, 0, nullptr, &rc); }, BSNULLPTR},
      {"realloc null", [&] { cv = nullptr, BSreallocqelcv(4, 6, 0, &cv, &rc); }, BSNULLPTR},
      {"copy no target", [&] { EXPECT_EQ(BScv_copy(&rc, &src.cv, nullptr), FALSE); }, BSNULLPTR},
      {"copy no target poles", [&] { copy_into(false, true, true); }, BSNULLPTR},
      {"copy no target knots", [&] { copy_into(true, false, true); }, BSNULLPTR},
      {"copy no target weights", [&] { copy_into(true, true, false); }, BSNULLPTR},
      {"copy no source weights",
       [&] {
         src.cv.weights = nullptr, copy_into(true, true, true), src.cv.weights = src.weights.data();
       },
       BSINARG},
      {"stfrecvfl null", [&] { EXPECT_EQ(BSstfrecvfl(&rc, nullptr), FALSE); }, BSNULLPTR},
      {"scratch order 0", [&] { rc = knotwork::ScratchCurve(0, 5, false).status(); },
       BSNOSTKMEMORY},
  };
  for (const auto &c : cases) {
    rc = -99;
    c.call();
    EXPECT_EQ(rc, c.status) << c.what;
  }
}

TEST_F(CurveRecord, StallcvflAndStfrecvflReleaseScratchArrays) {
  for (bool stall : {true, false}) {
    BScurve cv{};
    cv.rational = 1;
    cv.poles = static_cast<double *>(BSdbgsalloc(48));
    cv.knots = stall ? nullptr : static_cast<double *>(BSdbgsalloc(40));
    cv.weights = static_cast<double *>(BSdbgsalloc(16));
    const int32_t live = BSlist_al.count;
    BSrc rc;
    EXPECT_EQ(stall ? BSstallcvfl(3, 2, TRUE, &cv, &rc) : BSstfrecvfl(&rc, &cv), stall ? 0 : 1);
    EXPECT_EQ(rc, stall ? BSINARG : BSSUCC);
    EXPECT_EQ(BSlist_al.count, live - (stall ? 2 : 3));
    EXPECT_TRUE(cv.poles == nullptr && cv.knots == nullptr && cv.weights == nullptr);
  }
}

TEST_F(CurveRecord, InjectedFailureReleasesRecordsAndIsTraced) {
  BScurve *cv = nullptr;
  BSrc rc;
  BSdbginit();
  BSinitfail("bsallocqelcv", 0, 1.0);
  BSallocqelcv(4, 10, FALSE, 0, &cv, &rc);
  BSdeinifail();
  EXPECT_EQ(rc, BSDBGFAIL);
  EXPECT_EQ(cv, nullptr);
  BSfreeqelcv(nullptr, &rc);
  EXPECT_EQ(trace(),
            "error in bsallocqelcv, rc = 58 \nerror in BSallocqelcv, rc = 58 \n"
            "error in BSfreeqelcv, rc = 3 \n");
  // A failed reallocation releases the new record and the old one.
  BSallocqelcv(3, 4, FALSE, 0, &cv, &rc);
  const int32_t live = BSlist_al.count;
  BSinitfail("bsreallocqelcv", 0, 1.0);
  BSreallocqelcv(4, 8, 0, &cv, &rc);
  BSdeinifail();
  EXPECT_EQ(rc, BSDBGFAIL);
  EXPECT_EQ(cv, nullptr);
  EXPECT_EQ(BSlist_al.count, live - 1);
}

TEST_F(CurveRecord, SurvivesEveryAllocationFailure) {
  BScurve *cv = nullptr;
  const struct {
    std::function<BSrc()> op;
    BSrc status;
    int64_t allocations;
  } sweeps[] = {
      {[&] {
         BSrc rc;
         BSallocqelcv(4, 10, TRUE, 1, &cv, &rc);
         if (rc == BSSUCC) BSfreeqelcv(cv, &rc);
         return rc;
       },
       BSNOMEMORY, 1},
      {[&] {
         BSrc rc;
         BSallocqelcv(3, 4, FALSE, 0, &cv, &rc);
         if (rc == BSSUCC) BSreallocqelcv(4, 6, 0, &cv, &rc);
         if (rc == BSSUCC) BSfreeqelcv(cv, &rc);
         return rc;
       },
       BSNOMEMORY, 2},
      {[&] { return cv = nullptr, knotwork::ScratchCurve(3, 100, false).status(); }, BSNOSTKMEMORY,
       1},
  };
  for (const auto &s : sweeps) {
    const auto result =
        kwtest::sweep_allocation_failures(s.op, {s.status}, [&] { EXPECT_EQ(cv, nullptr); });
    EXPECT_EQ(result.allocations, s.allocations);
  }
}

TEST_F(CurveRecord, ScratchCurveLaysOutArraysAndReleasesThem) {
  const int32_t live = BSlist_al.count;
  {
    knotwork::ScratchCurve tmp(4, 6, true);
    ASSERT_TRUE(tmp.ok());
    BScurve &cv = tmp.curve();
    EXPECT_EQ(cv.order + cv.num_poles + cv.num_knots + cv.rational, 4 + 6 + 10 + 1);
    EXPECT_EQ(cv.knots, cv.poles + 18);
    EXPECT_EQ(cv.weights, cv.knots + 10);
    EXPECT_EQ(cv.bdrys, nullptr);
    EXPECT_EQ(cv.periodic | cv.phy_closed | cv.planar | cv.non_uniform, 0);
    std::fill(cv.poles, cv.weights + 6, 1.0);  // the guards catch an overrun
    EXPECT_EQ(BSlist_al.count, live + 1);      // guarded at debug level 20
  }
  EXPECT_EQ(BSlist_al.count, live);
  EXPECT_EQ(knotwork::ScratchCurve(2, 2, false).curve().weights, nullptr);
}

TEST(ScratchCurve, SmallCurveStaysOffTheHeapInPlainMode) {
  kwtest::reset_library_state();
  kwtest::NoHeapScope scope;
  EXPECT_TRUE(knotwork::ScratchCurve(4, 20, true).ok());
  EXPECT_EQ(scope.heap_requests(), 0);
}

}  // namespace
