#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "record_fixtures.hpp"
#include "support.hpp"

namespace {

using kwtest::drain;
using kwtest::OwnedCurve;
using kwtest::stream_with;

using CurveReader = kwtest::GuardedTest;

std::string unlabelled(const BScurve &cv) {
  FILE *f = std::tmpfile();
  EXPECT_EQ(BSprintbspc(f, "", &cv, FALSE), TRUE);
  return drain(f);
}

std::string with_images(const BScurve &cv) {
  FILE *f = std::tmpfile();
  EXPECT_EQ(BSprthexcv(f, &cv), TRUE);
  return drain(f);
}

// Reads one curve from text; the record (if any) stays with the caller.
BScurve *read_text(const std::string &text, BSrc *rc) {
  FILE *f = stream_with(text);
  BScurve *cv = reinterpret_cast<BScurve *>(&cv);  // must be overwritten
  BSreadcv(f, &cv, rc);
  std::fclose(f);
  return cv;
}

void release(BScurve *cv) {
  BSrc rc;
  if (cv != nullptr) BSfreeqelcv(cv, &rc);
}

void expect_same_header(const BScurve &a, const BScurve &b) {
  EXPECT_EQ(a.order, b.order);
  EXPECT_EQ(a.periodic, b.periodic);
  EXPECT_EQ(a.non_uniform, b.non_uniform);
  EXPECT_EQ(a.num_poles, b.num_poles);
  EXPECT_EQ(a.num_knots, b.num_knots);
  EXPECT_EQ(a.rational, b.rational);
  EXPECT_EQ(a.planar, b.planar);
  EXPECT_EQ(a.phy_closed, b.phy_closed);
  EXPECT_EQ(b.num_boundaries, 0);
  EXPECT_EQ(b.bdrys, nullptr);
  EXPECT_EQ(b.weights == nullptr, !a.rational);
}

TEST_F(CurveReader, ImageDumpRoundTripIsBitIdentical) {
  for (int order = 2; order <= 16; ++order) {
    for (bool rational : {false, true}) {
      OwnedCurve c(order, order + 3, rational, 2);
      kwtest::fill_random(c, static_cast<unsigned>(order * 2 + rational));
      BSrc rc;
      BScurve *back = read_text(with_images(c.cv), &rc);
      ASSERT_EQ(rc, BSSUCC) << "order " << order;
      ASSERT_NE(back, nullptr);
      expect_same_header(c.cv, *back);
      const int n = c.cv.num_poles;
      EXPECT_EQ(std::memcmp(back->poles, c.poles.data(), 24 * n), 0) << order;
      EXPECT_EQ(std::memcmp(back->knots, c.knots.data(), 8 * (n + order)), 0) << order;
      if (rational) {
        EXPECT_EQ(std::memcmp(back->weights, c.weights.data(), 8 * n), 0);
      }
      release(back);
    }
  }
}

TEST_F(CurveReader, DecimalDumpRoundTripKeepsFieldsToSixteenDigits) {
  for (int order = 2; order <= 16; ++order) {
    for (bool rational : {false, true}) {
      OwnedCurve c(order, 2 * order + 1, rational, 1);
      kwtest::fill_random(c, static_cast<unsigned>(100 + order * 2 + rational));
      c.cv.periodic = order % 2;
      c.cv.planar = 1;
      BSrc rc;
      BScurve *back = read_text(unlabelled(c.cv), &rc);
      ASSERT_EQ(rc, BSSUCC) << "order " << order;
      expect_same_header(c.cv, *back);
      const int n = c.cv.num_poles;
      for (int i = 0; i < 3 * n; ++i)
        EXPECT_NEAR(back->poles[i], c.poles[i], 1e-14 * (1 + std::fabs(c.poles[i])));
      for (int i = 0; i < n + order; ++i) EXPECT_NEAR(back->knots[i], c.knots[i], 1e-15);
      if (rational) {
        for (int i = 0; i < n; ++i) EXPECT_NEAR(back->weights[i], c.weights[i], 1e-15);
      }
      release(back);
    }
  }
}

TEST_F(CurveReader, KeepsWeightedBlockAndDiscardsUnweighted) {
  OwnedCurve c(3, 4, true);
  kwtest::fill_random(c, 9);
  std::string text = unlabelled(c.cv);
  // Spoil the unweighted block: the reader must not use it.
  const size_t from = text.find("unweighted poles\n") + 17;
  const size_t to = text.find("rational 1");
  std::string block = text.substr(from, to - from);
  for (char &ch : block)
    if (ch == '1') ch = '7';
  text = text.substr(0, from) + block + text.substr(to);
  BSrc rc;
  BScurve *back = read_text(text, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(back->poles[i], c.poles[i], 1e-12);
  release(back);
}

const char *const kHandWritten =
    "BScurve\norder 2\nperiodic 0\nnon_uniform 0\nnum_poles 2\n"
    " 1.0 2.0 3.0\n\n 4.0 5.0 6.0\n"
    "rational 1\n 2.0\n 0.5\n"
    "num_knots 4\n 0\n 0\n 1\n 1\n"
    "planar 1\nphy_closed 0\nnum_boundaries 0\n";

TEST_F(CurveReader, UnweightedPolesWithoutSecondBlockAreMultiplied) {
  BSrc rc;
  BScurve *back = read_text(kHandWritten, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const double expected[6] = {2, 4, 6, 2, 2.5, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(back->poles[i], expected[i]);
  EXPECT_EQ(back->weights[1], 0.5);
  EXPECT_EQ(back->planar, 1);
  release(back);
}

std::string replace(std::string text, const std::string &from, const std::string &to) {
  const size_t p = text.find(from);
  EXPECT_NE(p, text.npos) << from;
  return text.replace(p, from.size(), to);
}

TEST_F(CurveReader, UnusableOrderDeliversCurveWithStatusTwo) {
  OwnedCurve c(17, 17, false);
  kwtest::fill_random(c, 4);
  BSrc rc;
  BScurve *back = read_text(unlabelled(c.cv), &rc);
  EXPECT_EQ(rc, 2);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->order, 17);
  release(back);
  const std::string order1 = replace(
      replace(replace(kHandWritten, "order 2", "order 1"), "num_knots 4\n 0\n", "num_knots 3\n"),
      "", "");
  back = read_text(order1, &rc);
  EXPECT_EQ(rc, 2);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->order, 1);
  release(back);
}

TEST_F(CurveReader, OrderOutsideRangeGivesStatusTwoAndNoCurve) {
  for (const char *order : {"order 0", "order -3", "order 1001", "order 99999999999999"}) {
    BSrc rc;
    EXPECT_EQ(read_text(replace(kHandWritten, "order 2", order), &rc), nullptr) << order;
    EXPECT_EQ(rc, 2) << order;
  }
}

TEST_F(CurveReader, SmallWeightDeliversCurveWithStatus49) {
  BSrc rc;
  BScurve *back = read_text(replace(kHandWritten, " 0.5\n", " 0.0005\n"), &rc);
  EXPECT_EQ(rc, BSBADWEIGHT);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->weights[1], 0.0005);
  release(back);
}

TEST_F(CurveReader, PoleCountLimits) {
  BSrc rc;
  EXPECT_EQ(read_text(replace(kHandWritten, "num_poles 2", "num_poles 10001"), &rc), nullptr);
  EXPECT_EQ(rc, 6);
  EXPECT_EQ(read_text(replace(kHandWritten, "num_poles 2", "num_poles 888888888888888888888"), &rc),
            nullptr);
  EXPECT_EQ(rc, 6);
  EXPECT_EQ(read_text(replace(kHandWritten, "num_poles 2", "num_poles 1"), &rc), nullptr);
  EXPECT_EQ(rc, BSFAIL);
  EXPECT_EQ(read_text(replace(kHandWritten, "num_poles 2", "num_poles -5"), &rc), nullptr);
  EXPECT_EQ(rc, BSFAIL);
  // 10000 poles are read.
  OwnedCurve c(2, 10000, false);
  kwtest::fill_random(c, 8);
  BScurve *back = read_text(with_images(c.cv), &rc);
  EXPECT_EQ(rc, BSSUCC);
  release(back);
}

TEST_F(CurveReader, MalformedRecordsGiveMinusOne) {
  const std::pair<const char *, const char *> spoils[] = {
      {"periodic 0", "periodik 0"},
      {"non_uniform 0", "non_uniform x"},
      {" 4.0 5.0", " 4.0 five"},
      {"rational 1", "rationale 1"},
      {"rational 1", "weights 1"},
      {" 0.5\n", " nan\n"},
      {" 2.0 3.0", " inf 3.0"},
      {"num_knots 4", "num_knots 5"},
      {"num_knots 4", "num_knots 99999999999999999"},
      {" 0\n 1\n 1\n", " 1\n 0\n 1\n"},  // decreasing knots
      {"planar 1", "planar"},
      {"phy_closed 0", "closed 0"},
      {"num_boundaries 0", "num_boundaries 2\n 0.5"},
  };
  testing::internal::CaptureStderr();  // BSreadd reports the bad words
  for (const auto &[from, to] : spoils) {
    BSrc rc;
    EXPECT_EQ(read_text(replace(kHandWritten, from, to), &rc), nullptr) << to;
    EXPECT_EQ(rc, BSFAIL) << to;
  }
  testing::internal::GetCapturedStderr();
}

TEST_F(CurveReader, EmptyOrMissingStreamDeliversNothing) {
  BSrc rc;
  EXPECT_EQ(read_text("", &rc), nullptr);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(read_text("just some words\n", &rc), nullptr);
  EXPECT_EQ(rc, 2);
  BScurve *cv = reinterpret_cast<BScurve *>(&rc);
  BSreadcv(nullptr, &cv, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  EXPECT_EQ(cv, nullptr);
  FILE *f = stream_with("x");
  BSreadcv(f, nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  std::fclose(f);
}

TEST_F(CurveReader, FailureIsTracedUnderItsName) {
  BSdbginit();
  BSrc rc;
  read_text("", &rc);
  FILE *f = std::tmpfile();
  BSdbgprint(f);
  EXPECT_EQ(drain(f), "error in BSreadcv, rc = 2 \n");
}

// Cuts a dump at every character: a cut record gives a failure and nothing
// allocated. Only cuts among the boundary numbers, which the reader discards, may
// still read (a cut number or image is a shorter number), and then the kept
// fields are whole.
void expect_truncations_fail(const BScurve &cv, const std::string &text) {
  const size_t discarded_from = text.find("num_boundaries") + 16;
  int failures = 0;
  testing::internal::CaptureStderr();
  for (size_t cut = 0; cut < text.size(); ++cut) {
    BSrc rc;
    BScurve *back = read_text(text.substr(0, cut), &rc);
    if (rc == BSSUCC) {
      EXPECT_GT(cut, discarded_from) << "cut at " << cut;
      EXPECT_NEAR(back->knots[cv.num_knots - 1], cv.knots[cv.num_knots - 1], 1e-15);
      EXPECT_NEAR(back->poles[3 * cv.num_poles - 1], cv.poles[3 * cv.num_poles - 1], 1e-13);
      release(back);
      continue;
    }
    ++failures;
    EXPECT_TRUE(rc == BSFAIL || rc == 2) << "cut at " << cut << " gave " << rc;
    EXPECT_EQ(back, nullptr);
  }
  testing::internal::GetCapturedStderr();
  EXPECT_GT(failures, 0);
}

TEST_F(CurveReader, TruncatedDecimalDumpFailsCleanly) {
  OwnedCurve c(3, 4, true, 1);
  kwtest::fill_random(c, 11);
  expect_truncations_fail(c.cv, unlabelled(c.cv));
}

TEST_F(CurveReader, TruncatedImageDumpFailsCleanly) {
  OwnedCurve c(2, 3, true, 1);
  kwtest::fill_random(c, 12);
  expect_truncations_fail(c.cv, with_images(c.cv));
}

TEST_F(CurveReader, RandomGarbageNeverCrashesOrLeaks) {
  OwnedCurve c(3, 5, true);
  kwtest::fill_random(c, 13);
  const std::string good = unlabelled(c.cv);
  const std::string words[] = {"order",      "-1",       "1e999",       "x0x", "HEX", "0x",
                               "unweighted", "rational", "99999999999", "\n",  "nan", "num_knots"};
  std::mt19937 gen(77);
  testing::internal::CaptureStderr();
  for (int trial = 0; trial < 400; ++trial) {
    std::string text = good;
    const int edits = 1 + trial % 4;
    for (int e = 0; e < edits; ++e) {
      const size_t at = gen() % text.size();
      if (trial % 3 == 0)
        text[at] = static_cast<char>(gen() % 256);
      else
        text.insert(at, " " + words[gen() % std::size(words)] + " ");
    }
    BSrc rc;
    BScurve *back = read_text(text, &rc);
    if (rc == BSSUCC || rc == 2 || rc == BSBADWEIGHT) {
      if (back != nullptr) {
        EXPECT_EQ(back->num_knots, back->num_poles + back->order);
        release(back);
      }
    } else {
      EXPECT_EQ(back, nullptr);
      EXPECT_TRUE(rc == BSFAIL || rc == 6) << rc;
    }
  }
  testing::internal::GetCapturedStderr();
}

TEST_F(CurveReader, ForeignByteOrderTakesDecimals) {
  OwnedCurve c(2, 2, false);
  kwtest::fill_random(c, 14);
  const std::string foreign = replace(with_images(c.cv), "HEX nt", "HEX sun");
  BSrc rc;
  BScurve *back = read_text(foreign, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(back->poles[i], c.poles[i], 1e-13);
  release(back);
}

TEST_F(CurveReader, ReadsConsecutiveRecords) {
  OwnedCurve a(2, 3, false), b(4, 6, true);
  kwtest::fill_random(a, 1);
  kwtest::fill_random(b, 2);
  FILE *f = stream_with(with_images(a.cv) + unlabelled(b.cv));
  BScurve *first = nullptr, *second = nullptr, *third = nullptr;
  BSrc rc;
  BSreadcv(f, &first, &rc);
  EXPECT_EQ(rc, BSSUCC);
  BSreadcv(f, &second, &rc);
  EXPECT_EQ(rc, BSSUCC);
  BSreadcv(f, &third, &rc);
  EXPECT_EQ(rc, 2);
  std::fclose(f);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->order, 2);
  EXPECT_EQ(second->order, 4);
  EXPECT_EQ(third, nullptr);
  release(first);
  release(second);
}

TEST_F(CurveReader, SurvivesEveryAllocationFailure) {
  OwnedCurve c(4, 7, true);
  kwtest::fill_random(c, 15);
  const std::string text = unlabelled(c.cv);
  BScurve *back = nullptr;
  const auto result = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        back = read_text(text, &rc);
        release(back);
        return rc;
      },
      {BSNOMEMORY}, [&] { EXPECT_EQ(back, nullptr); });
  EXPECT_EQ(result.allocations, 4);  // poles, weights, knots, record
}

TEST(BSreadln, SkipsRestOfLine) {
  FILE *f = stream_with("abc def\nnext line\n");
  BSreadln(f);
  char word[16];
  ASSERT_EQ(std::fscanf(f, "%15s", word), 1);
  EXPECT_STREQ(word, "next");
  BSreadln(f);
  BSreadln(f);  // at the end: nothing happens
  EXPECT_EQ(std::getc(f), EOF);
  std::fclose(f);
  BSreadln(nullptr);
}

}  // namespace
