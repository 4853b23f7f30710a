#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "record_fixtures.hpp"
#include "support.hpp"

namespace {

using kwtest::dump_text;
using kwtest::OwnedCurve;
using kwtest::read_text;
using kwtest::release;

using CurveReader = kwtest::GuardedTest;

std::string replace(std::string text, const std::string &from, const std::string &to) {
  const size_t p = text.find(from);
  EXPECT_NE(p, text.npos) << from;
  return p == text.npos ? text : text.replace(p, from.size(), to);
}

// Equal bit for bit (byte images), or to the 16 digits of the decimal dump.
void expect_same(const double *back, const double *sent, int count, bool exact) {
  if (exact) {
    EXPECT_EQ(std::memcmp(back, sent, 8 * static_cast<size_t>(count)), 0);
    return;
  }
  for (int i = 0; i < count; ++i)
    EXPECT_NEAR(back[i], sent[i], 1e-15 * (1 + std::fabs(sent[i]))) << i;
}

TEST_F(CurveReader, DumpsReadBackBitExactWithImagesAndToSixteenDigitsWithout) {
  for (int order = 2; order <= 16; ++order)
    for (bool rational : {false, true})
      for (bool images : {true, false}) {
        OwnedCurve c(order, order + 3, rational, 2);
        kwtest::fill_random(c, static_cast<unsigned>(order * 4 + rational * 2 + images));
        c.cv.periodic = order % 2;
        c.cv.planar = images;
        BSrc rc;
        BScurve *back = read_text(dump_text(&c.cv, false, images), &rc);
        ASSERT_EQ(rc, BSSUCC) << order << rational << images;
        const BScurve &a = c.cv, &b = *back;
        EXPECT_EQ(b.order, a.order);
        EXPECT_EQ(b.periodic, a.periodic);
        EXPECT_EQ(b.non_uniform, a.non_uniform);
        EXPECT_EQ(b.num_poles, a.num_poles);
        EXPECT_EQ(b.num_knots, a.num_knots);
        EXPECT_EQ(b.rational, a.rational);
        EXPECT_EQ(b.planar, a.planar);
        EXPECT_EQ(b.phy_closed, a.phy_closed);
        EXPECT_EQ(b.num_boundaries, 0);  // boundaries are not kept
        EXPECT_EQ(b.bdrys, nullptr);
        expect_same(b.poles, a.poles, 3 * a.num_poles, images);
        expect_same(b.knots, a.knots, a.num_knots, images);
        EXPECT_EQ(b.weights == nullptr, !rational);
        if (rational) expect_same(b.weights, a.weights, a.num_poles, images);
        release(back);
      }
}

TEST_F(CurveReader, KeepsWeightedBlockAndDiscardsUnweighted) {
  OwnedCurve c(3, 4, true);
  kwtest::fill_random(c, 9);
  std::string text = dump_text(&c.cv, false);
  const size_t to = text.find("rational 1");  // spoil the unweighted block
  for (size_t i = text.find("unweighted poles\n") + 17; i < to; ++i)
    if (text[i] == '1') text[i] = '7';
  BSrc rc;
  BScurve *back = read_text(text, &rc);
  ASSERT_EQ(rc, BSSUCC);
  expect_same(back->poles, c.cv.poles, 12, false);
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
  EXPECT_EQ(std::memcmp(back->poles, expected, sizeof expected), 0);
  EXPECT_EQ(back->weights[1], 0.5);
  EXPECT_EQ(back->planar, 1);
  release(back);
}

TEST_F(CurveReader, EveryStatus) {
  const struct {
    const char *from, *to;  // edit of the hand-written record; no `from`: `to` is the text
    BSrc status;
    bool delivered;
    const char *from2 = nullptr, *to2 = nullptr;  // a second edit
  } cases[] = {
      {nullptr, "", 2, false},
      {nullptr, "just some words\n", 2, false},
      {"order 2", "order 0", 2, false},
      {"order 2", "order -3", 2, false},
      {"order 2", "order 1001", 2, false},
      {"order 2", "order 99999999999999", 2, false},
      {" 0.5\n", " 0.0005\n", BSBADWEIGHT, true},
      {"num_poles 2", "num_poles 10001", 6, false},
      {"num_poles 2", "num_poles 888888888888888888888", 6, false},
      {"num_poles 2", "num_poles 1", BSFAIL, false},
      {"num_poles 2", "num_poles -5", BSFAIL, false},
      {"periodic 0", "periodik 0", BSFAIL, false},
      {"non_uniform 0", "non_uniform x", BSFAIL, false},
      {" 4.0 5.0", " 4.0 five", BSFAIL, false},
      {"rational 1", "rationale 1", BSFAIL, false},
      {"rational 1", "weights 1", BSFAIL, false},
      {" 0.5\n", " nan\n", BSFAIL, false},
      {" 2.0 3.0", " inf 3.0", BSFAIL, false},
      {"num_knots 4", "num_knots 5", BSFAIL, false},
      {"num_knots 4", "num_knots 99999999999999999", BSFAIL, false},
      {" 0\n 1\n 1\n", " 1\n 0\n 1\n", BSFAIL, false},  // decreasing knots
      {"planar 1", "planar", BSFAIL, false},
      {"phy_closed 0", "closed 0", BSFAIL, false},
      {"num_boundaries 0", "num_boundaries 2\n 0.5", BSFAIL, false},
      {"order 2", "order 1", 2, true, "num_knots 4\n 0\n", "num_knots 3\n"},  // read on
  };
  testing::internal::CaptureStderr();  // BSreadd reports the bad words
  for (const auto &c : cases) {
    std::string text = c.from == nullptr ? c.to : replace(kHandWritten, c.from, c.to);
    if (c.from2 != nullptr) text = replace(text, c.from2, c.to2);
    BSrc rc;
    BScurve *back = read_text(text, &rc);
    EXPECT_EQ(rc, c.status) << c.to;
    EXPECT_EQ(back != nullptr, c.delivered) << c.to;
    release(back);
  }
  testing::internal::GetCapturedStderr();
  OwnedCurve c(17, 17, false);  // an order of 17 is read on too
  kwtest::fill_random(c, 4);
  BSrc rc;
  BScurve *back = read_text(dump_text(&c.cv, false), &rc);
  EXPECT_EQ(rc, 2);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->order, 17);
  release(back);
  BScurve *cv = reinterpret_cast<BScurve *>(&rc);
  BSdbginit();
  BSreadcv(nullptr, &cv, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  EXPECT_EQ(cv, nullptr);
  FILE *f = kwtest::stream_with("x");
  BSreadcv(f, nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  std::fclose(f);
  f = std::tmpfile();
  BSdbgprint(f);
  EXPECT_EQ(kwtest::drain(f), "error in BSreadcv, rc = 3 \nerror in BSreadcv, rc = 3 \n");
}

TEST_F(CurveReader, ReadsTenThousandPoles) {
  OwnedCurve c(2, 10000, false);
  kwtest::fill_random(c, 8);
  BSrc rc;
  BScurve *back = read_text(dump_text(&c.cv, false, true), &rc);
  EXPECT_EQ(rc, BSSUCC);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->poles[29999], c.poles[29999]);
  release(back);
}

// A record cut at any character, or corrupted at random, gives a failure with nothing
// allocated. Only cuts among the boundary numbers, which the reader discards, may still
// read (a cut number or image is a shorter number), and then the kept fields are whole.
TEST_F(CurveReader, HostileTextFailsCleanly) {
  OwnedCurve c(3, 4, true, 1);
  kwtest::fill_random(c, 11);
  testing::internal::CaptureStderr();
  for (bool images : {false, true}) {
    const std::string text = dump_text(&c.cv, false, images);
    const size_t discarded_from = text.find("num_boundaries") + 16;
    for (size_t cut = 0; cut < text.size(); ++cut) {
      BSrc rc;
      BScurve *back = read_text(text.substr(0, cut), &rc);
      if (rc == BSSUCC) {
        EXPECT_GT(cut, discarded_from) << "cut at " << cut;
        expect_same(back->knots, c.cv.knots, 7, images);
        expect_same(back->poles, c.cv.poles, 12, images);
        release(back);
      } else {
        EXPECT_TRUE(rc == BSFAIL || rc == 2) << "cut at " << cut << " gave " << rc;
        EXPECT_EQ(back, nullptr);
      }
    }
  }
  const std::string good = dump_text(&c.cv, false);
  const std::string words[] = {"order",      "-1",       "1e999",       "x0x", "HEX", "0x",
                               "unweighted", "rational", "99999999999", "\n",  "nan", "num_knots"};
  std::mt19937 gen(77);
  for (int trial = 0; trial < 400; ++trial) {
    std::string text = good;
    for (int e = 0; e <= trial % 4; ++e) {
      const size_t at = gen() % text.size();
      if (trial % 3 == 0)
        text[at] = static_cast<char>(gen() % 256);
      else
        text.insert(at, " " + words[gen() % std::size(words)] + " ");
    }
    BSrc rc;
    BScurve *back = read_text(text, &rc);
    if (back != nullptr) {
      EXPECT_TRUE(rc == BSSUCC || rc == 2 || rc == BSBADWEIGHT) << rc;
      EXPECT_EQ(back->num_knots, back->num_poles + back->order);
      release(back);
    } else {
      EXPECT_TRUE(rc == BSFAIL || rc == 2 || rc == 6) << rc;
    }
  }
  testing::internal::GetCapturedStderr();
}

TEST_F(CurveReader, ForeignByteOrderTakesDecimals) {
  OwnedCurve c(2, 2, false);
  kwtest::fill_random(c, 14);
  BSrc rc;
  BScurve *back = read_text(replace(dump_text(&c.cv, false, true), "HEX nt", "HEX sun"), &rc);
  ASSERT_EQ(rc, BSSUCC);
  expect_same(back->poles, c.cv.poles, 6, false);
  release(back);
}

TEST_F(CurveReader, ReadsConsecutiveRecords) {
  OwnedCurve a(2, 3, false), b(4, 6, true);
  kwtest::fill_random(a, 1);
  kwtest::fill_random(b, 2);
  FILE *f = kwtest::stream_with(dump_text(&a.cv, false, true) + dump_text(&b.cv, false));
  BScurve *cv[3] = {};
  BSrc rc[3];
  for (int i = 0; i < 3; ++i) BSreadcv(f, &cv[i], &rc[i]);
  std::fclose(f);
  EXPECT_EQ(rc[0] + rc[1], BSSUCC);
  EXPECT_EQ(rc[2], 2);  // the stream is at its end
  ASSERT_TRUE(cv[0] != nullptr && cv[1] != nullptr);
  EXPECT_EQ(cv[0]->order * 10 + cv[1]->order, 24);
  EXPECT_EQ(cv[2], nullptr);
  release(cv[0]);
  release(cv[1]);
}

TEST_F(CurveReader, SurvivesEveryAllocationFailure) {
  OwnedCurve c(4, 7, true);
  kwtest::fill_random(c, 15);
  const std::string text = dump_text(&c.cv, false);
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
  FILE *f = kwtest::stream_with("abc def\nnext line\n");
  BSreadln(f);
  EXPECT_EQ(std::getc(f), 'n');
  BSreadln(f);
  BSreadln(f);  // at the end: nothing happens
  EXPECT_EQ(std::getc(f), EOF);
  std::fclose(f);
  BSreadln(nullptr);
}

}  // namespace
