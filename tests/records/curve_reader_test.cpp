#include "record_fixtures.hpp"
#include "status_ok.hpp"
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
  EXPECT_EQ(exact ? std::memcmp(back, sent, 8 * static_cast<size_t>(count)) : 0, 0);
  for (int i = 0; i < count && !exact; ++i)
    EXPECT_NEAR(back[i], sent[i], 1e-15 * (1 + std::fabs(sent[i]))) << i;
}

// Each curve goes out with byte images, as decimals (with a spoiled unweighted block
// that must not be used) and with images of a foreign byte order (decimals taken), one
// record after the other in one stream.
TEST_F(CurveReader, DumpsReadBackBitExactWithImagesAndToSixteenDigitsWithout) {
  for (int order = 2; order <= 16; ++order) {
    for (bool rational : {false, true}) {
      OwnedCurve c(order, order + 3, rational, 2, order * 2 + rational);
      c.cv.periodic = c.cv.planar = order % 2;
      const std::string images = dump_text(&c.cv, false, true);
      std::string decimal = dump_text(&c.cv, false);
      for (size_t i = decimal.find("unweighted"); rational && decimal[i] != 'r'; ++i)
        if (decimal[i] == '1') decimal[i] = '7';
      FILE *f = kwtest::stream_with(images + decimal + replace(images, "HEX nt", "HEX sun"));
      for (int form = 0; form < 3; ++form) {
        BScurve *back = nullptr;
        KW_OK(BSreadcv(f, &back, &rc)) << order << rational << form;
        auto header = [](const BScurve &b) {
          return std::tuple(b.order, b.periodic, b.non_uniform, b.num_poles, b.num_knots,
                            b.rational, b.planar, b.phy_closed, b.weights == nullptr);
        };
        EXPECT_EQ(header(*back), header(c.cv));
        EXPECT_EQ(std::tuple(back->num_boundaries, back->bdrys == nullptr), std::tuple(0, true));
        expect_same(back->poles, c.cv.poles, 3 * c.cv.num_poles, form == 0);
        expect_same(back->knots, c.cv.knots, c.cv.num_knots, form == 0);
        if (rational) expect_same(back->weights, c.cv.weights, c.cv.num_poles, form == 0);
        release(back);
      }
      BScurve *none = nullptr;
      BSrc rc;
      BSreadcv(f, &none, &rc);  // the stream is at its end
      EXPECT_EQ(std::tuple(rc, none), std::tuple(2, nullptr));
      std::fclose(f);
    }
  }
}

const char *const kHandWritten =
    "BScurve\norder 2\nperiodic 0\nnon_uniform 0\nnum_poles 2\n 1.0 2.0 3.0\n\n 4.0 5.0 6.0\n"
    "rational 1\n 2.0\n 0.5\nnum_knots 4\n 0\n 0\n 1\n 1\nplanar 1\nphy_closed 0\n"
    "num_boundaries 0\n";

TEST_F(CurveReader, UnweightedPolesWithoutSecondBlockAreMultiplied) {
  BScurve *back = nullptr;
  KW_OK(back = read_text(kHandWritten, &rc));
  const double expected[6] = {2, 4, 6, 2, 2.5, 3};
  EXPECT_EQ(std::memcmp(back->poles, expected, sizeof expected), 0);
  EXPECT_EQ(std::tuple(back->weights[1], back->planar), std::tuple(0.5, 1));
  release(back);
}

// Edits "from>to|from>to" of the hand-written record, or "=text" for a whole text.
std::string edited(const std::string &edits) {
  if (edits[0] == '=') return edits.substr(1);
  std::string text = kHandWritten;
  for (size_t a = 0, b; a < edits.size(); a = b + 1) {
    const size_t to = edits.find('>', a) + 1;
    b = std::min(edits.find('|', a), edits.size());
    text = replace(text, edits.substr(a, to - 1 - a), edits.substr(to, b - to));
  }
  return text;
}

TEST_F(CurveReader, EveryStatusAndTheLimits) {
  OwnedCurve most(2, 10000, false), order17(17, 17, false);
  // clang-format off
  const std::tuple<std::string, BSrc, bool> cases[] = {  // edits, status, curve delivered
      {"=", 2, false}, {"=just some words\n", 2, false},
      {"order 2>order 0", 2, false}, {"order 2>order -3", 2, false},
      {"order 2>order 1001", 2, false}, {"order 2>order 99999999999999", 2, false},
      {"order 2>order 1|num_knots 4\n 0\n>num_knots 3\n", 2, true},  // read on
      {"=" + dump_text(&order17.cv, false), 2, true},                  // read on
      {" 0.5\n> 0.0005\n", BSBADWEIGHT, true},
      {"=" + dump_text(&most.cv, false, true), BSSUCC, true},
      {"num_poles 2>num_poles 10001", 6, false},
      {"num_poles 2>num_poles 888888888888888888888", 6, false},
      {"num_poles 2>num_poles 1", BSFAIL, false}, {"num_poles 2>num_poles -5", BSFAIL, false},
      // fewer poles than the order, the rest of the record consistent with them
      {"num_poles 2>num_poles 1|\n\n 4.0 5.0 6.0\n>\n| 0.5\n>|num_knots 4\n 0\n>num_knots 3\n",
       BSFAIL, false},
      {"periodic 0>periodik 0", BSFAIL, false}, {"non_uniform 0>non_uniform x", BSFAIL, false},
      {" 4.0 5.0> 4.0 five", BSFAIL, false}, {"rational 1>rationale 1", BSFAIL, false},
      {"rational 1>weights 1", BSFAIL, false}, {" 0.5\n> nan\n", BSFAIL, false},
      {" 2.0 3.0> inf 3.0", BSFAIL, false}, {"num_knots 4>num_knots 5", BSFAIL, false},
      {"num_knots 4>num_knots 99999999999999999", BSFAIL, false},
      {" 0\n 1\n 1\n> 1\n 0\n 1\n", BSFAIL, false},  // decreasing knots
      {"planar 1>planar", BSFAIL, false}, {"phy_closed 0>closed 0", BSFAIL, false},
      {"num_boundaries 0>num_boundaries 2\n 0.5", BSFAIL, false}};
  // clang-format on
  testing::internal::CaptureStderr();  // BSreadd reports the bad words
  for (const auto &[edits, status, delivered] : cases) {
    BSrc rc;
    BScurve *back = read_text(edited(edits), &rc);
    EXPECT_EQ(std::tuple(rc, back != nullptr), std::tuple(status, delivered))
        << edits.substr(0, 50);
    release(back);
  }
  testing::internal::GetCapturedStderr();
  BSrc rc;
  BScurve *cv = reinterpret_cast<BScurve *>(&rc);
  BSdbginit();
  BSreadcv(nullptr, &cv, &rc);
  EXPECT_EQ(std::tuple(rc, cv), std::tuple(BSNULLPTR, nullptr));
  FILE *f = kwtest::stream_with("x");
  EXPECT_EQ(KW_STATUS(BSreadcv(f, nullptr, &rc)), BSNULLPTR);
  std::fclose(f);
  EXPECT_EQ(kwtest::trace_text(), "error in BSreadcv, rc = 3 \nerror in BSreadcv, rc = 3 \n");
}

// A record cut at any character, or corrupted at random, fails with nothing allocated.
// Only cuts among the boundary numbers, which the reader discards, may still read (a cut
// number or image is a shorter number), and then the kept fields are whole.
TEST_F(CurveReader, HostileTextFailsCleanly) {
  OwnedCurve c(3, 4, true, 1, 11);
  testing::internal::CaptureStderr();
  for (bool images : {false, true}) {
    const std::string text = dump_text(&c.cv, false, images);
    for (size_t cut = 0; cut < text.size(); ++cut) {
      BSrc rc;
      BScurve *back = read_text(text.substr(0, cut), &rc);
      EXPECT_TRUE(back == nullptr ? rc == BSFAIL || rc == 2 : rc == BSSUCC) << cut << ": " << rc;
      if (back == nullptr) continue;
      EXPECT_GT(cut, text.find("num_boundaries") + 16) << "cut at " << cut;
      expect_same(back->knots, c.cv.knots, 7, images);
      expect_same(back->poles, c.cv.poles, 12, images);
      release(back);
    }
  }
  const std::string words[] = {"order",      "-1",       "1e999",       "x0x", "HEX", "0x",
                               "unweighted", "rational", "99999999999", "\n",  "nan", "num_knots"};
  std::mt19937 gen(77);
  for (int trial = 0; trial < 400; ++trial) {
    std::string text = dump_text(&c.cv, false);
    for (int e = 0; e <= trial % 4; ++e) {
      const size_t at = gen() % text.size();
      if (trial % 3 == 0) text[at] = static_cast<char>(gen() % 256);
      if (trial % 3 != 0) text.insert(at, " " + words[gen() % std::size(words)] + " ");
    }
    BSrc rc;
    BScurve *back = read_text(text, &rc);
    EXPECT_TRUE(back == nullptr ? rc == BSFAIL || rc == 2 || rc == 6
                                : rc == BSSUCC || rc == 2 || rc == BSBADWEIGHT)
        << rc;
    EXPECT_TRUE(back == nullptr || back->num_knots == back->num_poles + back->order);
    release(back);
  }
  testing::internal::GetCapturedStderr();
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
