#include "support.hpp"

namespace {

class SortingTest : public kwtest::GuardedTest {};

TEST_F(SortingTest, QuicksortAgreesWithStdSortOnTheGivenRange) {
  std::mt19937 gen(1);
  std::uniform_int_distribution<int> small(0, 5);
  std::uniform_real_distribution<double> d(-10, 10);
  // random, many ties, ascending, descending; the first and last entry stay out
  for (int n : {3, 4, 5, 12, 102, 1002})
    for (int kind = 0; kind < 4; ++kind) {
      std::vector<double> a(n);
      for (int i = 0; i < n; ++i)
        a[i] = kind == 0 ? d(gen) : kind == 1 ? small(gen) : kind == 2 ? i : n - i;
      auto want = a;
      std::sort(want.begin() + 1, want.end() - 1);
      int32_t lo = 1, hi = n - 2;
      BSrc rc;
      ASSERT_TRUE(BSquicksort(&rc, &lo, &hi, 0, a.data()));
      EXPECT_EQ(a, want);
    }
  // Sorted input of a large size does not exhaust the stack.
  std::vector<double> big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<double>(i);
  int32_t lo = 0, hi = static_cast<int32_t>(big.size()) - 1;
  BSrc rc;
  BSquicksort(&rc, &lo, &hi, 0, big.data());
  EXPECT_TRUE(std::is_sorted(big.begin(), big.end()));
}

TEST_F(SortingTest, TagsortsAreStableAndAgreeWithStableSort) {
  std::mt19937 gen(2);
  std::uniform_int_distribution<int> small(0, 4);
  for (int32_t n : {1, 2, 7, 50}) {
    std::vector<double> v(n);
    std::vector<int32_t> vi(n), want(n), tags(n), tagsi(n);
    for (int i = 0; i < n; ++i) vi[i] = small(gen), v[i] = vi[i] * 0.5, want[i] = i;
    std::stable_sort(want.begin(), want.end(), [&](int a, int b) { return v[a] < v[b]; });
    BSrc rc, rci;
    BStagsorti(&n, vi.data(), tagsi.data(), &rci);
    EXPECT_EQ(std::tuple(BStagsort(&rc, &n, v.data(), tags.data()), rci, tags, tagsi),
              std::tuple(TRUE, BSSUCC, want, want));
  }
  int32_t zero = 0, tags[1], vi[1] = {0};
  double v[1] = {0};
  BSrc rc, rci;
  BStagsorti(&zero, vi, tags, &rci);
  EXPECT_EQ(std::tuple(BStagsort(&rc, &zero, v, tags), rc, rci),
            std::tuple(FALSE, BSINARG, BSINARG));
}

struct Rec {
  double key;
  int64_t id;
};
static_assert(sizeof(Rec) == 16);

int32_t by_key(const void *a, const void *b, BSrc *) {
  const double x = static_cast<const Rec *>(a)->key, y = static_cast<const Rec *>(b)->key;
  return x < y ? -1 : x > y ? 1 : 0;
}
int g_calls = 0;
int32_t failing(const void *a, const void *b, BSrc *rc) {
  if (++g_calls == 5) *rc = -42;
  return by_key(a, b, rc);
}

TEST_F(SortingTest, RecordSortAgreesWithStdSortBothSidesOfCutoff) {
  std::mt19937 gen(3);
  std::uniform_int_distribution<int> keys(0, 30);
  for (int32_t cutoff : {2, 5, 20})
    for (int32_t n : {0, 1, 2, 19, 20, 21, 300}) {
      std::vector<Rec> r(n);
      for (int i = 0; i < n; ++i) r[i] = {static_cast<double>(keys(gen)), i};
      auto want = r;
      std::sort(want.begin(), want.end(), [](const Rec &a, const Rec &b) { return a.key < b.key; });
      BSrc rc;
      BSsort(cutoff, by_key, n, r.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int i = 0; i < n; ++i) EXPECT_EQ(r[i].key, want[i].key);
      std::sort(r.begin(), r.end(), [](const Rec &a, const Rec &b) { return a.id < b.id; });
      for (int i = 0; i < n; ++i) EXPECT_EQ(r[i].id, i);  // a permutation
    }
  // A status from the comparison stops the sort at once.
  std::vector<Rec> r(30);
  for (int i = 0; i < 30; ++i) r[i] = {static_cast<double>(30 - i), i};
  BSrc rc;
  g_calls = 0;
  BSsort(20, failing, 30, r.data(), &rc);
  EXPECT_EQ(std::tuple(rc, g_calls), std::tuple(-42, 5));
}

TEST_F(SortingTest, TriplesSortLexicographically) {
  std::mt19937 gen(4);
  std::uniform_int_distribution<int> c(0, 2);
  const int n = 60;
  std::vector<double> pts(3 * n);
  for (double &x : pts) x = c(gen);
  std::vector<double *> ptr(n);
  for (int i = 0; i < n; ++i) ptr[i] = &pts[3 * i];
  auto want = ptr;
  std::sort(want.begin(), want.end(), [](const double *a, const double *b) {
    return std::lexicographical_compare(a, a + 3, b, b + 3);
  });
  BSrc rc;
  BSsorttrpls(n, ptr.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(ptr[i][k], want[i][k]);
}

}  // namespace
