#include <cstdint>
#include <cstring>

#include "record_fixtures.hpp"
#include "records/scratch_curve.hpp"
#include "support.hpp"

namespace {

using CurveRecord = kwtest::GuardedTest;

// The size BSdbgalloc recorded for a guarded block (16 bytes before the data).
uint32_t guarded_size(const void *data) {
  uint32_t s;
  std::memcpy(&s, static_cast<const unsigned char *>(data) - 16, sizeof s);
  return s;
}

const double *after_header(const BScurve *cv) {
  return reinterpret_cast<const double *>(reinterpret_cast<const unsigned char *>(cv) +
                                          sizeof(BScurve));
}

TEST_F(CurveRecord, AllocqelcvLaysOutPlainCurveWithoutBoundaries) {
  BScurve *cv = nullptr;
  BSrc rc = -99;
  BSallocqelcv(4, 7, FALSE, 0, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_NE(cv, nullptr);
  EXPECT_EQ(guarded_size(cv), sizeof(BScurve) + 24 * 7 + 8 * 11);
  EXPECT_EQ(cv->poles, after_header(cv));
  EXPECT_EQ(cv->knots, cv->poles + 21);
  EXPECT_EQ(cv->weights, nullptr);
  EXPECT_EQ(cv->bdrys, nullptr);
  EXPECT_EQ(cv->rational, 0);
  EXPECT_EQ(cv->num_poles, 7);
  EXPECT_EQ(cv->num_knots, 11);
  EXPECT_EQ(cv->num_boundaries, 0);
  // Fields the caller sets keep the all-ones fill.
  EXPECT_EQ(cv->order, -1);
  EXPECT_EQ(cv->periodic, -1);
  EXPECT_EQ(cv->non_uniform, -1);
  EXPECT_EQ(cv->planar, -1);
  EXPECT_EQ(cv->phy_closed, -1);
  BSfreeqelcv(cv, &rc);
  EXPECT_EQ(rc, BSSUCC);
}

TEST_F(CurveRecord, AllocqelcvPutsBoundariesAfterWeightsOrKnots) {
  BScurve *cv = nullptr;
  BSrc rc;
  BSallocqelcv(3, 5, TRUE, 2, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(guarded_size(cv), sizeof(BScurve) + 24 * 5 + 8 * 8 + 8 * 5 + 16 * 2);
  EXPECT_EQ(cv->rational, 1);
  EXPECT_EQ(cv->weights, cv->knots + 8);
  EXPECT_EQ(cv->bdrys, cv->weights + 5);
  EXPECT_EQ(cv->num_boundaries, 2);
  // Every array is writable to its end (the guards would catch an overrun).
  for (int i = 0; i < 15; ++i) cv->poles[i] = i;
  for (int i = 0; i < 8; ++i) cv->knots[i] = i;
  for (int i = 0; i < 5; ++i) cv->weights[i] = 1.0;
  for (int i = 0; i < 4; ++i) cv->bdrys[i] = 0.5;
  BSfreeqelcv(cv, &rc);

  BSallocqelcv(3, 5, FALSE, 2, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(guarded_size(cv), sizeof(BScurve) + 24 * 5 + 8 * 8 + 16 * 2);
  EXPECT_EQ(cv->weights, nullptr);
  EXPECT_EQ(cv->bdrys, cv->knots + 8);
  BSfreeqelcv(cv, &rc);
}

TEST_F(CurveRecord, AllocqelcvRejectsNegativeSizes) {
  BScurve *cv = reinterpret_cast<BScurve *>(this);
  BSrc rc;
  BSallocqelcv(0, 4, FALSE, 0, &cv, &rc);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(cv, nullptr);
  BSallocqelcv(2, -1, FALSE, 0, &cv, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSallocqelcv(2, 4, FALSE, -3, &cv, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSallocqelcv(2, 4, FALSE, 0, nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

TEST_F(CurveRecord, AllocqelcvTooLargeIsNoMemory) {
  BScurve *cv = nullptr;
  BSrc rc;
  BSallocqelcv(16, INT32_MAX / 8, TRUE, 0, &cv, &rc);
  EXPECT_EQ(rc, BSNOMEMORY);
  EXPECT_EQ(cv, nullptr);
}

TEST_F(CurveRecord, AllocqelcvSurvivesEveryAllocationFailure) {
  BScurve *cv = nullptr;
  auto result = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSallocqelcv(4, 10, TRUE, 1, &cv, &rc);
        if (rc == BSSUCC) BSfreeqelcv(cv, &rc);
        return rc;
      },
      {BSNOMEMORY}, [&] { EXPECT_EQ(cv, nullptr); });
  EXPECT_EQ(result.allocations, 1);
}

TEST_F(CurveRecord, AllocqelcvReleasesBlockOnInjectedFailure) {
  BScurve *cv = nullptr;
  BSrc rc;
  BSdbginit();
  BSinitfail("bsallocqelcv", 0, 1.0);
  BSallocqelcv(4, 10, FALSE, 0, &cv, &rc);
  BSdeinifail();
  EXPECT_EQ(rc, BSDBGFAIL);
  EXPECT_EQ(cv, nullptr);
  FILE *f = std::tmpfile();
  BSdbgprint(f);
  EXPECT_EQ(kwtest::drain(f), "error in bsallocqelcv, rc = 58 \nerror in BSallocqelcv, rc = 58 \n");
}

TEST_F(CurveRecord, FreeqelcvOfNullIsNullPointerAndTraced) {
  BSrc rc = 0;
  BSdbginit();
  BSfreeqelcv(nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  FILE *f = std::tmpfile();
  BSdbgprint(f);
  EXPECT_EQ(kwtest::drain(f), "error in BSfreeqelcv, rc = 3 \n");
}

TEST_F(CurveRecord, PtcvgenBuildsPointCurve) {
  kwtest::OwnedCurve c(4, 4, true);
  c.cv.num_boundaries = 3;
  const double p[3] = {1.5, -2.0, 7.25};
  BSrc rc;
  BSptcvgen(p, 4, TRUE, &c.cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(c.cv.order, 4);
  EXPECT_EQ(c.cv.num_poles, 4);
  EXPECT_EQ(c.cv.num_knots, 8);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(c.poles[3 * i], 1.5);
    EXPECT_EQ(c.poles[3 * i + 1], -2.0);
    EXPECT_EQ(c.poles[3 * i + 2], 7.25);
    EXPECT_EQ(c.knots[i], 0.0);
    EXPECT_EQ(c.knots[4 + i], 1.0);
    EXPECT_EQ(c.weights[i], 1.0);
  }
  EXPECT_EQ(c.cv.rational, 1);
  EXPECT_EQ(c.cv.num_boundaries, 0);
  EXPECT_EQ(c.cv.bdrys, nullptr);
  EXPECT_EQ(c.cv.periodic | c.cv.non_uniform | c.cv.planar | c.cv.phy_closed, 0);

  BSptcvgen(p, 2, FALSE, &c.cv, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(c.cv.weights, nullptr);
  EXPECT_EQ(c.cv.rational, 0);
}

TEST_F(CurveRecord, PtcvgenRejectsMissingArrays) {
  kwtest::OwnedCurve c(3, 3, false);
  const double p[3] = {0, 0, 0};
  BSrc rc;
  BSptcvgen(p, 3, TRUE, &c.cv, &rc);  // rational asked, no weights array
  EXPECT_EQ(rc, BSNULLPTR);
  BSptcvgen(nullptr, 3, FALSE, &c.cv, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  BSptcvgen(p, 0, FALSE, &c.cv, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(CurveRecord, ReallocqelcvKeepsFlagsAndReleasesOldRecord) {
  BScurve *cv = nullptr;
  BSrc rc;
  BSallocqelcv(3, 4, TRUE, 1, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  cv->order = 3;
  cv->periodic = 1;
  cv->phy_closed = 0;
  cv->non_uniform = 0;
  cv->planar = 0;
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
  EXPECT_EQ(cv->num_boundaries, 1);  // the old count; storage for 3
  EXPECT_EQ(cv->non_uniform, -1);
  EXPECT_EQ(cv->planar, -1);
  EXPECT_EQ(cv->bdrys, cv->weights + 9);
  EXPECT_EQ(guarded_size(cv), sizeof(BScurve) + 24 * 9 + 8 * 14 + 8 * 9 + 16 * 3);
  BSfreeqelcv(cv, &rc);
}

TEST_F(CurveRecord, ReallocqelcvFailureLeavesNothing) {
  BScurve *cv = nullptr;
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSallocqelcv(3, 4, FALSE, 0, &cv, &rc);
        if (rc != BSSUCC) return rc;
        BSreallocqelcv(4, 6, 0, &cv, &rc);
        if (rc == BSSUCC) BSfreeqelcv(cv, &rc);
        return rc;
      },
      {BSNOMEMORY}, [&] { EXPECT_EQ(cv, nullptr); });
  BSrc rc;
  BSreallocqelcv(4, 6, 0, nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  cv = nullptr;
  BSreallocqelcv(4, 6, 0, &cv, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

TEST_F(CurveRecord, ReallocqelcvInjectedFailureReleasesBothRecords) {
  BScurve *cv = nullptr;
  BSrc rc;
  BSallocqelcv(3, 4, FALSE, 0, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const int32_t live = BSlist_al.count;
  BSinitfail("bsreallocqelcv", 0, 1.0);
  BSreallocqelcv(4, 8, 0, &cv, &rc);
  BSdeinifail();
  EXPECT_EQ(rc, BSDBGFAIL);
  EXPECT_EQ(cv, nullptr);
  EXPECT_EQ(BSlist_al.count, live - 1);
}

TEST_F(CurveRecord, CvCopyCopiesFieldsButNeverBoundaries) {
  kwtest::OwnedCurve src(4, 6, true, 2);
  kwtest::fill_random(src, 7);
  kwtest::OwnedCurve dst(4, 6, true, 1);
  BSrc rc;
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &dst.cv), TRUE);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(dst.poles, src.poles);
  EXPECT_EQ(dst.knots, src.knots);
  EXPECT_EQ(dst.weights, src.weights);
  EXPECT_EQ(dst.cv.order, 4);
  EXPECT_EQ(dst.cv.phy_closed, 1);
  EXPECT_EQ(dst.cv.non_uniform, 1);
  EXPECT_EQ(dst.cv.num_boundaries, 0);
  EXPECT_EQ(dst.cv.bdrys, nullptr);
}

TEST_F(CurveRecord, CvCopyOntoItselfChangesNothing) {
  kwtest::OwnedCurve c(3, 5, false, 1);
  kwtest::fill_random(c, 3);
  const std::vector<double> poles = c.poles;
  BSrc rc;
  EXPECT_EQ(BScv_copy(&rc, &c.cv, &c.cv), TRUE);
  EXPECT_EQ(c.poles, poles);
  EXPECT_EQ(c.cv.num_boundaries, 1);
}

TEST_F(CurveRecord, CvCopyOfPlainSourceDropsTargetWeights) {
  kwtest::OwnedCurve src(2, 3, false);
  kwtest::fill_random(src, 1);
  kwtest::OwnedCurve dst(2, 3, true);
  BSrc rc;
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &dst.cv), TRUE);
  EXPECT_EQ(dst.cv.rational, 0);
  EXPECT_EQ(dst.cv.weights, nullptr);
}

TEST_F(CurveRecord, CvCopyFailureStatuses) {
  kwtest::OwnedCurve src(3, 4, true);
  kwtest::fill_random(src, 2);
  kwtest::OwnedCurve dst(3, 4, false);
  BSrc rc;
  EXPECT_EQ(BScv_copy(&rc, &src.cv, nullptr), FALSE);
  EXPECT_EQ(rc, BSNULLPTR);
  // Target without weights for a rational source: header copied, status 3.
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &dst.cv), FALSE);
  EXPECT_EQ(rc, BSNULLPTR);
  EXPECT_EQ(dst.cv.rational, 1);
  EXPECT_EQ(dst.poles, src.poles);
  // Target without poles.
  kwtest::OwnedCurve dst2(3, 4, true);
  dst2.cv.poles = nullptr;
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &dst2.cv), FALSE);
  EXPECT_EQ(rc, BSNULLPTR);
  EXPECT_EQ(dst2.cv.order, 3);
  // Target without knots.
  kwtest::OwnedCurve dst3(3, 4, true);
  dst3.cv.knots = nullptr;
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &dst3.cv), FALSE);
  EXPECT_EQ(rc, BSNULLPTR);
  // Rational source without weights.
  src.cv.weights = nullptr;
  kwtest::OwnedCurve dst4(3, 4, true);
  EXPECT_EQ(BScv_copy(&rc, &src.cv, &dst4.cv), FALSE);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(CurveRecord, StallcvflReleasesGivenArraysAndFails) {
  BScurve cv{};
  cv.rational = 1;
  cv.poles = static_cast<double *>(BSdbgsalloc(48));
  cv.weights = static_cast<double *>(BSdbgsalloc(16));
  const int32_t live = BSlist_al.count;
  BSrc rc;
  EXPECT_EQ(BSstallcvfl(3, 2, TRUE, &cv, &rc), FALSE);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(BSlist_al.count, live - 2);
  EXPECT_EQ(cv.poles, nullptr);
  EXPECT_EQ(cv.knots, nullptr);
  EXPECT_EQ(cv.weights, nullptr);
}

TEST_F(CurveRecord, StfrecvflReleasesScratchArrays) {
  BScurve cv{};
  cv.rational = 1;
  cv.poles = static_cast<double *>(BSdbgsalloc(48));
  cv.knots = static_cast<double *>(BSdbgsalloc(40));
  cv.weights = static_cast<double *>(BSdbgsalloc(16));
  const int32_t live = BSlist_al.count;
  BSrc rc;
  EXPECT_EQ(BSstfrecvfl(&rc, &cv), TRUE);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(BSlist_al.count, live - 3);
  EXPECT_EQ(cv.poles, nullptr);
  EXPECT_EQ(cv.knots, nullptr);
  EXPECT_EQ(cv.weights, nullptr);
  EXPECT_EQ(BSstfrecvfl(&rc, nullptr), FALSE);
  EXPECT_EQ(rc, BSNULLPTR);
}

TEST_F(CurveRecord, ScratchCurveLaysOutArraysAndReleasesThem) {
  const int32_t live = BSlist_al.count;
  {
    knotwork::ScratchCurve tmp(4, 6, true);
    ASSERT_TRUE(tmp.ok());
    EXPECT_EQ(tmp.status(), BSSUCC);
    BScurve &cv = tmp.curve();
    EXPECT_EQ(cv.order, 4);
    EXPECT_EQ(cv.num_poles, 6);
    EXPECT_EQ(cv.num_knots, 10);
    EXPECT_EQ(cv.rational, 1);
    EXPECT_EQ(cv.knots, cv.poles + 18);
    EXPECT_EQ(cv.weights, cv.knots + 10);
    EXPECT_EQ(cv.bdrys, nullptr);
    EXPECT_EQ(cv.periodic | cv.phy_closed | cv.planar | cv.non_uniform, 0);
    for (int i = 0; i < 6; ++i) cv.weights[i] = 1.0;  // the last double is inside
    EXPECT_EQ(BSlist_al.count, live + 1);             // guarded at debug level 20
  }
  EXPECT_EQ(BSlist_al.count, live);
  knotwork::ScratchCurve plain(2, 2, false);
  EXPECT_EQ(plain.curve().weights, nullptr);
}

TEST_F(CurveRecord, ScratchCurveReportsNoStackMemory) {
  kwtest::sweep_allocation_failures(
      [] {
        knotwork::ScratchCurve tmp(3, 100, false);
        return tmp.status();
      },
      {BSNOSTKMEMORY});
  knotwork::ScratchCurve bad(0, 5, false);
  EXPECT_EQ(bad.status(), BSNOSTKMEMORY);
}

TEST(ScratchCurve, SmallCurveStaysOffTheHeapInPlainMode) {
  kwtest::reset_library_state();
  kwtest::NoHeapScope scope;
  {
    knotwork::ScratchCurve tmp(4, 20, true);
    EXPECT_TRUE(tmp.ok());
  }
  EXPECT_EQ(scope.heap_requests(), 0);
}

}  // namespace
