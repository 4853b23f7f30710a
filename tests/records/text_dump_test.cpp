#include <unistd.h>

#include "record_fixtures.hpp"
#include "support.hpp"

namespace {

using kwtest::drain;
using kwtest::dump_text;

// The expected text: every "{v}" stands for the number v written as " %20.15le".
std::string expand(const std::string &layout) {
  std::string out;
  char buf[64];
  for (size_t i = 0, close; i < layout.size(); ++i) {
    if (layout[i] != '{' || (close = layout.find('}', i)) == layout.npos) {
      out += layout[i];
      continue;
    }
    std::snprintf(buf, sizeof buf, " %20.15le", std::strtod(layout.c_str() + i + 1, nullptr));
    out += buf;
    i = close;
  }
  return out;
}

// A small rational quadratic with one boundary pair, all values exact in decimal.
struct SmallCurve {
  double poles[9] = {0, 0, 0, 2, 2, 0, 4, 0, 1}, weights[3] = {1, 2, 0.5};
  double knots[5] = {0, 0, 0.5, 1, 1}, bdrys[2] = {0.25, 0.75};
  BScurve cv{2, 0, 1, 3, poles, 5, knots, 1, weights, 1, 0, 1, bdrys};
};

// A 2 by 2 rational bilinear surface (one weight 0) with a boundary loop of two points.
struct SmallSurface {
  double poles[12] = {0, 0, 0, 1, 0, 0, 0, 2, 0, 2, 2, 2}, weights[4] = {1, 2, 0, 1};
  double uk[4] = {0, 0, 1, 1}, vk[4] = {0, 0, 1, 1}, pts[4] = {0.1, 0.2, 0.3, 0.4};
  BSsfboundary loop{2, pts};
  BSsurface sf{2, 2, 0, 1, 0, 0, 2, 2, poles, 4, uk, 4, vk, 1, weights, 0, 0, 0, 1, 0, 1, &loop};
};

std::string dump_surface(const BSsurface *sf) {
  FILE *f = std::tmpfile();
  BSprintbsps(f, "s", sf, FALSE);
  return drain(f);
}

TEST(BSprintbspc, LayoutsAreExact) {
  SmallCurve c;
  EXPECT_EQ(
      dump_text(&c.cv, false),
      expand("BScurve\norder 2\nperiodic 0\nnon_uniform 1\nnum_poles 3\n{0}{0}{0}\n\n{2}{2}{0}"
             "\n\n{4}{0}{1}\nunweighted poles\n{0}{0}{0}\n\n{1}{1}{0}\n\n{8}{0}{2}\n"
             "rational 1\n{1}\n{2}\n{0.5}\nnum_knots 5\n{0}\n{0}\n{0.5}\n{1}\n{1}\nplanar 1\n"
             "phy_closed 0\nnum_boundaries 1\n{0.25}{0.75}\n"));
  EXPECT_EQ(dump_text(&c.cv, true, false, "arc"),
            expand("\n\n\"arc\":\nBScurve\norder 2\nperiodic FALSE\nnon_uniform TRUE\nnum_poles 3\n"
                   "pole[0] ({0}{0}{0}\n)\npole[1] ({2}{2}{0}\n)\npole[2] ({4}{0}{1}\n)"
                   "unweighted poles\npole[0] ({0}{0}{0}\n)\npole[1] ({1}{1}{0}\n)\n"
                   "pole[2] ({8}{0}{2}\n)rational 1\nweight[0]{1}\nweight[1]{2}\nweight[2]{0.5}\n"
                   "num_knots 5\nknot[0]{0}\nknot[1]{0}\nknot[2]{0.5}\nknot[3]{1}\nknot[4]{1}\n"
                   "planar TRUE\nphy_closed FALSE\nnum_boundaries 1\nboundary[0] ({0.25}{0.75}\n)"
                   "\n\nEnd of curve \"arc\"\n"));
  SmallSurface s;  // a pole of weight 0 is written unweighted as the largest double
  EXPECT_EQ(dump_surface(&s.sf),
            expand("BSsurface\nu_order 2\nv_order 2\nu_periodic 0\nv_periodic 1\nu_non_uniform 0\n"
                   "v_non_uniform 0\nu_num_poles 2\nv_num_poles 2\n{0}{0}{0}\n\n{1}{0}{0}\n\n"
                   "{0}{2}{0}\n\n{2}{2}{2}\nunweighted poles\n{0}{0}{0}\n\n{0.5}{0}{0}\n\n"
                   "{1.7976931348623157e308}{1.7976931348623157e308}{1.7976931348623157e308}\n\n"
                   "{2}{2}{2}\nrational 1\n{1}\n{2}\n{0}\n{1}\nu_num_knots 4\n{0}\n{0}\n{1}\n{1}\n"
                   "v_num_knots 4\n{0}\n{0}\n{1}\n{1}\nplanar 0\nu_phy_closed 0\nv_phy_closed 0\n"
                   "pos_orient 1\non_off 0\nnum_boundaries 1\nboundary 0 num_points 2\n"
                   "{0.1}{0.2}\n\n{0.3}{0.4}\n"));
}

TEST(BSprintbspc, InvalidRecordsWriteOnlyTheMessage) {
  using Cv = BScurve;
  using Sf = BSsurface;
  // (the failure driver of the malformed records meets the other spoiled headers)
  // clang-format off
  const std::function<void(Cv &, Sf &)> spoils[] = {
      [](Cv &c, Sf &) { c.order = 1; }, [](Cv &c, Sf &) { c.num_boundaries = -1; },
      [](Cv &c, Sf &) { c.num_boundaries = 10001; }, [](Cv &c, Sf &) { c.bdrys = nullptr; },
      [](Cv &, Sf &s) { s.v_order = 3; }, [](Cv &, Sf &s) { s.u_num_knots = 5; },
      [](Cv &, Sf &s) { s.boundaries->points = nullptr; },
      [](Cv &, Sf &s) { s.u_order = 1, s.u_num_knots = 3; }, [](Cv &, Sf &s) { s.weights = nullptr; },
      [](Cv &, Sf &s) {  // 20000 * 20000 poles are beyond the limit
        s.u_num_poles = s.v_num_poles = 20000, s.u_num_knots = s.v_num_knots = 20002; }};
  // clang-format on
  const std::string message = "invalid curve parameters when printing curve\n";
  for (size_t i = 0; i < std::size(spoils); ++i) {
    SmallCurve c;
    SmallSurface s;
    spoils[i](c.cv, s.sf);
    FILE *f = std::tmpfile();
    const BSboolean lab = i % 2;
    EXPECT_EQ(i < 4 ? BSprintbspc(f, "c", &c.cv, lab) : BSprintbsps(f, "s", &s.sf, lab), 0);
    EXPECT_EQ(drain(f), message) << "case " << i;
  }
  FILE *f = std::tmpfile();
  EXPECT_EQ(BSprintbspc(f, "c", nullptr, TRUE) | BSprintbsps(f, "s", nullptr, FALSE), 0);
  EXPECT_EQ(drain(f), message + message);
  testing::internal::CaptureStderr();  // a null stream means standard error
  EXPECT_EQ(BSprintbspc(nullptr, "c", nullptr, TRUE), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
}

TEST(BSprintbspc, LongCurvePrintsFirstTenThousandPolesAndAllCounts) {
  kwtest::OwnedCurve c(2, 20000, true);
  const std::string text = dump_text(&c.cv, true);
  auto count_of = [&](const std::string &what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != text.npos; p = text.find(what, p + 1)) ++n;
    return n;
  };
  // 10000 weighted and 10000 unweighted poles, the first 10000 weights, all knots
  EXPECT_EQ(std::vector<size_t>({count_of("num_poles 20000\n"), count_of("num_knots 20002\n"),
                                 count_of("pole["), count_of("pole[9999] ("), count_of("weight["),
                                 count_of("knot["), count_of("knot[10015]")}),
            std::vector<size_t>({1, 1, 20000, 2, 10000, 10016, 1}));
}

// Runs fn with the input on standard input; returns what it printed, then the file at path.
std::string written(const std::string &path, const std::string &input,
                    const std::function<void()> &fn) {
  const std::string out = kwtest::capture_stdout(input, fn);
  FILE *f = std::fopen(path.c_str(), "r");
  return out + (f == nullptr ? "(no file)" : drain(f));
}

// The file writers put the unlabelled dump in the named file. An unusable name does
// nothing, or for the console writers is a failure status: the host process goes on.
TEST(BSprtbspcv, WritesNamedFilesAndFailsInsteadOfExiting) {
  SmallCurve c;
  SmallSurface s;
  char name[] = "/tmp/kwdumpXXXXXX";
  close(mkstemp(name));
  BSdbginit();
  const std::string path = name, cv = dump_text(&c.cv, false), sf = dump_surface(&s.sf);
  BSrc rc = -5;
  EXPECT_EQ(written(path, "", [&] { BSprintbscv(name, &c.cv); }), cv);
  EXPECT_EQ(written(path, "", [&] { BSprintbssf(name, &s.sf); }), sf);
  EXPECT_EQ(written(path, path + "\n", [&] { rc = BSprtbspcv(&c.cv); }), "file name?\n" + cv);
  BSrc rcs = -5;
  EXPECT_EQ(written(path, path, [&] { rcs = BSprtbspsf(&s.sf); }), "file name?\n" + sf);
  EXPECT_EQ(std::tuple(rc, rcs), std::tuple(BSSUCC, BSSUCC));
  BSprintbscv("/nonexistent-dir/x/y.txt", &c.cv);  // nothing happens
  BSprintbssf("/nonexistent-dir/s.txt", &s.sf);
  BSprintbscv(nullptr, &c.cv);
  const std::pair<std::string, std::function<BSrc()>> failures[] = {
      {"/nonexistent-dir/c\n", [&] { return BSprtbspcv(&c.cv); }},
      {"", [&] { return BSprtbspcv(&c.cv); }},  // no name at all
      {"/nonexistent-dir/s\n", [&] { return BSprtbspsf(&s.sf); }}};
  for (const auto &[input, op] : failures) {  // in a child, where ending the process shows
    EXPECT_EXIT(std::_Exit(written("/x", input, [&] { rc = op(); }) == "file name?\n(no file)" &&
                                   rc == BSFAIL
                               ? 3
                               : 4),
                testing::ExitedWithCode(3), "")
        << input;
  }
  EXPECT_EQ(kwtest::trace_text(), "");
  c.cv.order = s.sf.u_order = 0;
  written(path, path + "\n", [&] { rc = BSprtbspcv(&c.cv); });
  written(path, path + "\n", [&] { rcs = BSprtbspsf(&s.sf); });
  EXPECT_EQ(std::tuple(rc, rcs), std::tuple(BSINARG, BSINARG));
  EXPECT_EQ(kwtest::trace_text(), "error in BSprtbspcv, rc = -2 \nerror in BSprtbspsf, rc = -2 \n");
  std::remove(name);
}

}  // namespace
