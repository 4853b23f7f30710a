#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <functional>
#include <string>

#include "record_fixtures.hpp"
#include "support.hpp"

namespace {

using kwtest::drain;
using kwtest::dump_text;

std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " %20.15le", v);
  return buf;
}
std::string xyz(double x, double y, double z) {
  return num(x) + num(y) + num(z);
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

std::string temp_path() {
  char path[] = "/tmp/kwdumpXXXXXX";
  close(mkstemp(path));
  return path;
}

std::string file_text(const std::string &path) {
  FILE *f = std::fopen(path.c_str(), "r");
  return f == nullptr ? "(no file)" : drain(f);
}

TEST(BSprintbspc, UnlabelledLayoutIsExact) {
  SmallCurve c;
  EXPECT_EQ(dump_text(&c.cv, false),
            "BScurve\norder 2\nperiodic 0\nnon_uniform 1\nnum_poles 3\n" + xyz(0, 0, 0) + "\n\n" +
                xyz(2, 2, 0) + "\n\n" + xyz(4, 0, 1) + "\nunweighted poles\n" + xyz(0, 0, 0) +
                "\n\n" + xyz(1, 1, 0) + "\n\n" + xyz(8, 0, 2) + "\nrational 1\n" + num(1) + "\n" +
                num(2) + "\n" + num(0.5) + "\nnum_knots 5\n" + num(0) + "\n" + num(0) + "\n" +
                num(0.5) + "\n" + num(1) + "\n" + num(1) +
                "\nplanar 1\nphy_closed 0\nnum_boundaries 1\n" + num(0.25) + num(0.75) + "\n");
  EXPECT_EQ(num(0.5), " 5.000000000000000e-01");  // 21 characters overflow the width
}

TEST(BSprintbspc, LabelledLayoutIsExact) {
  SmallCurve c;
  EXPECT_EQ(dump_text(&c.cv, true, false, "arc"),
            "\n\n\"arc\":\nBScurve\norder 2\nperiodic FALSE\nnon_uniform TRUE\nnum_poles 3\n"
            "pole[0] (" +
                xyz(0, 0, 0) + "\n)\npole[1] (" + xyz(2, 2, 0) + "\n)\npole[2] (" + xyz(4, 0, 1) +
                "\n)unweighted poles\npole[0] (" + xyz(0, 0, 0) + "\n)\npole[1] (" + xyz(1, 1, 0) +
                "\n)\npole[2] (" + xyz(8, 0, 2) + "\n)rational 1\nweight[0]" + num(1) +
                "\nweight[1]" + num(2) + "\nweight[2]" + num(0.5) + "\nnum_knots 5\nknot[0]" +
                num(0) + "\nknot[1]" + num(0) + "\nknot[2]" + num(0.5) + "\nknot[3]" + num(1) +
                "\nknot[4]" + num(1) +
                "\nplanar TRUE\nphy_closed FALSE\nnum_boundaries 1\nboundary[0] (" + num(0.25) +
                num(0.75) + "\n)\n\nEnd of curve \"arc\"\n");
}

TEST(BSprintbsps, UnlabelledLayoutIsExact) {
  SmallSurface s;
  EXPECT_EQ(dump_surface(&s.sf),
            "BSsurface\nu_order 2\nv_order 2\nu_periodic 0\nv_periodic 1\nu_non_uniform 0\n"
            "v_non_uniform 0\nu_num_poles 2\nv_num_poles 2\n" +
                xyz(0, 0, 0) + "\n\n" + xyz(1, 0, 0) + "\n\n" + xyz(0, 2, 0) + "\n\n" +
                xyz(2, 2, 2) + "\nunweighted poles\n" + xyz(0, 0, 0) + "\n\n" + xyz(0.5, 0, 0) +
                "\n\n" + xyz(DBL_MAX, DBL_MAX, DBL_MAX) + "\n\n" + xyz(2, 2, 2) + "\nrational 1\n" +
                num(1) + "\n" + num(2) + "\n" + num(0) + "\n" + num(1) + "\nu_num_knots 4\n" +
                num(0) + "\n" + num(0) + "\n" + num(1) + "\n" + num(1) + "\nv_num_knots 4\n" +
                num(0) + "\n" + num(0) + "\n" + num(1) + "\n" + num(1) +
                "\nplanar 0\nu_phy_closed 0\nv_phy_closed 0\npos_orient 1\non_off 0\n"
                "num_boundaries 1\nboundary 0 num_points 2\n" +
                num(0.1) + num(0.2) + "\n\n" + num(0.3) + num(0.4) + "\n");
  EXPECT_EQ(num(DBL_MAX), " 1.797693134862316e+308");
}

TEST(BSprintbspc, InvalidRecordsWriteOnlyTheMessage) {
  const std::function<void(BScurve &, BSsurface &)> spoils[] = {
      [](BScurve &c, BSsurface &) { c.order = 1; },
      [](BScurve &c, BSsurface &) { c.order = 4; },  // more than the poles
      [](BScurve &c, BSsurface &) { c.num_poles = 1000001, c.num_knots = 1000003; },
      [](BScurve &c, BSsurface &) { c.num_knots = 6; },
      [](BScurve &c, BSsurface &) { c.weights = nullptr; },
      [](BScurve &c, BSsurface &) { c.knots = nullptr; },
      [](BScurve &c, BSsurface &) { c.num_boundaries = -1; },
      [](BScurve &c, BSsurface &) { c.num_boundaries = 10001; },
      [](BScurve &c, BSsurface &) { c.bdrys = nullptr; },
      [](BScurve &, BSsurface &s) { s.v_order = 3; },
      [](BScurve &, BSsurface &s) { s.u_num_knots = 5; },
      [](BScurve &, BSsurface &s) { s.boundaries->points = nullptr; },
      [](BScurve &, BSsurface &s) {  // 20000 * 20000 poles are beyond the limit
        s.u_num_poles = s.v_num_poles = 20000;
        s.u_num_knots = s.v_num_knots = 20002;
      }};
  const std::string message = "invalid curve parameters when printing curve\n";
  for (size_t i = 0; i < std::size(spoils); ++i) {
    SmallCurve c;
    SmallSurface s;
    spoils[i](c.cv, s.sf);
    FILE *f = std::tmpfile();
    const BSboolean labelled = i % 2;
    EXPECT_EQ(i < 9 ? BSprintbspc(f, "c", &c.cv, labelled) : BSprintbsps(f, "s", &s.sf, labelled),
              0);
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
  EXPECT_EQ(count_of("num_poles 20000\n") + count_of("num_knots 20002\n"), 2u);
  EXPECT_EQ(count_of("pole["), 20000u);  // 10000 weighted, 10000 unweighted
  EXPECT_EQ(count_of("pole[9999] ("), 2u);
  EXPECT_EQ(count_of("weight["), 10000u);
  EXPECT_EQ(count_of("knot["), 10016u);
  EXPECT_EQ(count_of("knot[10015]"), 1u);
}

// Runs fn with standard input reading the given text; returns its standard output.
std::string with_stdin(const std::string &text, const std::function<void()> &fn) {
  const std::string path = temp_path();
  FILE *in = std::fopen(path.c_str(), "w");
  std::fputs(text.c_str(), in);
  std::fclose(in);
  const int saved = dup(0);
  EXPECT_NE(std::freopen(path.c_str(), "r", stdin), nullptr);
  const std::string out = kwtest::capture_stdout(fn);
  std::fflush(stdin);
  dup2(saved, 0);
  close(saved);
  clearerr(stdin);
  std::remove(path.c_str());
  return out;
}

// The file writers put the unlabelled dump in the named file. An unusable name does
// nothing, or for the console writers is a failure status: the host never exits.
TEST(BSprtbspcv, WritesNamedFilesAndFailsInsteadOfExiting) {
  SmallCurve c;
  SmallSurface s;
  const std::string path = temp_path();
  BSprintbscv(path.c_str(), &c.cv);
  EXPECT_EQ(file_text(path), dump_text(&c.cv, false));
  BSprintbssf(path.c_str(), &s.sf);
  EXPECT_EQ(file_text(path), dump_surface(&s.sf));
  BSprintbscv("/nonexistent-dir/x/y.txt", &c.cv);
  BSprintbssf("/nonexistent-dir/s.txt", &s.sf);
  BSprintbscv(nullptr, &c.cv);
  BSrc rc = -5;
  with_stdin(path + "\n", [&] { rc = BSprtbspcv(&c.cv); });
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(file_text(path), dump_text(&c.cv, false));
  with_stdin(path + "\n", [&] { rc = BSprtbspsf(&s.sf); });
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(file_text(path), dump_surface(&s.sf));
  std::remove(path.c_str());
  BSdbginit();
  EXPECT_EQ(with_stdin("/nonexistent-dir/c\n", [&] { rc = BSprtbspcv(&c.cv); }), "file name?\n");
  EXPECT_EQ(rc, BSFAIL);
  FILE *f = std::tmpfile();
  BSdbgprint(f);
  EXPECT_EQ(drain(f), "error in BSprtbspcv, rc = -1 \n");
  with_stdin("", [&] { rc = BSprtbspcv(&c.cv); });  // no name at all
  EXPECT_EQ(rc, BSFAIL);
  with_stdin("/nonexistent-dir/s\n", [&] { rc = BSprtbspsf(&s.sf); });
  EXPECT_EQ(rc, BSFAIL);
  c.cv.order = 0;
  with_stdin(path + "\n", [&] { rc = BSprtbspcv(&c.cv); });
  EXPECT_EQ(rc, BSINARG);
  std::remove(path.c_str());
  BSdbginit();
}

}  // namespace
