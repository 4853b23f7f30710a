// Error trace, status injection and the epilogue guard.

#include "support.hpp"

namespace knotwork {
int32_t trace_count();
int32_t hash_of_name(const char *s, int32_t seed);
}  // namespace knotwork

namespace {

// A stand-in operation that fails with the given status through the epilogue.
extern "C" void BSfakeop(BSrc code, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (code != BSSUCC) *rc = code;
}

using Trace = kwtest::CleanStateTest;

TEST_F(Trace, FailingOperationAddsOneEntryWithWrittenName) {
  BSrc rc = 99;
  BSfakeop(BSSUCC, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(knotwork::trace_count(), 0);
  BSfakeop(BSINARG, &rc);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(kwtest::trace_text(), "error in BSfakeop, rc = -2 \n");
  BSdbginit();
  BSdbgrc(-1, "BSabcdefghijklmnopqrstuvwxyz");  // long names are cut to 19 characters
  EXPECT_EQ(kwtest::trace_text(), "error in BSabcdefghijklmnopq, rc = -1 \n");
}

TEST_F(Trace, KeepsFirstThousandAndPrintsThemInOrder) {
  for (int i = 0; i < 1001; ++i) BSdbgrc(i + 1, "BSsome");
  EXPECT_EQ(knotwork::trace_count(), 1000);
  const std::string text = kwtest::trace_text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1000);
  EXPECT_EQ(text.rfind("error in BSsome, rc = 1000 \n"), text.size() - 28);
  BSdbginit();
  EXPECT_EQ(kwtest::trace_text(), "");
}

TEST(NameHash, ShortNamesHashToZeroAndTriplesAreSummed) {
  EXPECT_EQ(knotwork::hash_of_name("bsab", 12345), 0);
  EXPECT_EQ(knotwork::hash_of_name("", 7), 0);
  // "bsabcd": one triple "abc" (the trailing d is ignored)
  EXPECT_EQ(knotwork::hash_of_name("bsabcd", 5), 5 + 'a' + ('b' << 8) + ('c' << 16));
  EXPECT_EQ(knotwork::hash_of_name("bsabcdef", 1),
            2 + 'a' + ('b' << 8) + ('c' << 16) + 'd' + ('e' << 8) + ('f' << 16));
  BSinitfail("bsabcd", 5, 0.0);
  EXPECT_EQ(BSglobaldebugfailurename, 5 + 'a' + ('b' << 8) + ('c' << 16));
}

TEST_F(Trace, InjectionSkipsFailedStatusesAndBadRatesAndFollowsTheNameHash) {
  BSinitfail("x", 0, 1.0);
  BSrc rc = BSINARG;
  BSsetrc("bsfakeop", &rc);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(knotwork::trace_count(), 0);
  for (double rate : {0.0, -0.5, 1.5, std::nan("")}) {
    BSglobaldebugfailurerate = rate;
    BSrc rc = 0;
    for (int i = 0; i < 20; ++i) BSsetrc("bsanything", &rc);
    EXPECT_EQ(rc, BSSUCC) << rate;
  }
  EXPECT_EQ(knotwork::trace_count(), 0);
  // rate 0.3 gives period 3: a name fails when the call counter matches its hash phase.
  BSinitfail("bsfakeop", 4, 0.3);
  int failures = 0, first = -1;
  for (int i = 0; i < 30; ++i) {
    BSrc rc = 0;
    BSsetrc("bsfakeop", &rc);
    if (rc == BSDBGFAIL) {
      ++failures;
      if (first < 0) first = i;
    }
  }
  EXPECT_EQ(failures, 10);
  EXPECT_TRUE(first >= 0 && first < 3) << first;
}

TEST_F(Trace, AllocationInjectionFollowsItsFormula) {
  // period 4 (rate 0.25); the allocation fails when (q + 69) % 4 == old % 4, q = size / 8.
  BSglobalallocfailurerate = 0.25;
  BSglobalallocfailurenumber = 0;
  const int32_t sizes[] = {8, 16, 24, 40, 8, 64, 100, 7, 16, 256};
  int32_t number = 0;
  for (int32_t size : sizes) {
    const int32_t q = size / 8;
    const bool expect_fail = (q + 69) % 4 == number % 4;
    number += q + 1;
    void *p = BSdbgalloc(size);
    EXPECT_EQ(p == nullptr, expect_fail) << size;
    EXPECT_EQ(BSglobalallocfailurenumber, number);
    BSdbgfree(p);
  }
  BSglobalallocfailurerate = 0.0;
}

}  // namespace
