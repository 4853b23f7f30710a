#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <string>

#include "record_fixtures.hpp"
#include "support.hpp"

namespace {

using kwtest::drain;
using kwtest::OwnedCurve;

std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " %20.15le", v);
  return buf;
}

std::string dump(const BScurve *cv, BSboolean labelled, const char *name = "c",
                 BSboolean *result = nullptr) {
  FILE *f = std::tmpfile();
  const BSboolean r = BSprintbspc(f, name, cv, labelled);
  if (result != nullptr) *result = r;
  return drain(f);
}

size_t count_of(const std::string &s, const std::string &what) {
  size_t n = 0;
  for (size_t p = s.find(what); p != s.npos; p = s.find(what, p + 1)) ++n;
  return n;
}

// A small rational quadratic with one boundary pair, all values exact in decimal.
struct SmallCurve : OwnedCurve {
  SmallCurve() : OwnedCurve(2, 3, true, 1) {
    const double p[9] = {0, 0, 0, 2, 2, 0, 4, 0, 1};
    const double w[3] = {1, 2, 0.5};
    for (int i = 0; i < 9; ++i) poles[i] = p[i];
    for (int i = 0; i < 3; ++i) weights[i] = w[i];
    const double k[5] = {0, 0, 0.5, 1, 1};
    for (int i = 0; i < 5; ++i) knots[i] = k[i];
    bdrys[0] = 0.25;
    bdrys[1] = 0.75;
    cv.periodic = 0;
    cv.non_uniform = 1;
    cv.planar = 1;
    cv.phy_closed = 0;
  }
};

TEST(BSprintbspc, UnlabelledLayoutIsExact) {
  SmallCurve c;
  BSboolean r = 0;
  const std::string text = dump(&c.cv, FALSE, "c", &r);
  EXPECT_EQ(r, TRUE);
  const std::string expected =
      "BScurve\norder 2\nperiodic 0\nnon_uniform 1\nnum_poles 3\n" + num(0) + num(0) + num(0) +
      "\n\n" + num(2) + num(2) + num(0) + "\n\n" + num(4) + num(0) + num(1) + "\n" +
      "unweighted poles\n" + num(0) + num(0) + num(0) + "\n\n" + num(1) + num(1) + num(0) + "\n\n" +
      num(8) + num(0) + num(2) + "\n" + "rational 1\n" + num(1) + "\n" + num(2) + "\n" + num(0.5) +
      "\n" + "num_knots 5\n" + num(0) + "\n" + num(0) + "\n" + num(0.5) + "\n" + num(1) + "\n" +
      num(1) + "\n" + "planar 1\nphy_closed 0\nnum_boundaries 1\n" + num(0.25) + num(0.75) + "\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(num(0.5), " 5.000000000000000e-01");  // 21 characters overflow the width
}

TEST(BSprintbspc, LabelledLayoutIsExact) {
  SmallCurve c;
  c.cv.rational = 0;
  c.cv.weights = nullptr;
  const std::string text = dump(&c.cv, TRUE, "arc");
  const std::string expected =
      "\n\n\"arc\":\nBScurve\norder 2\nperiodic FALSE\nnon_uniform TRUE\nnum_poles 3\n" +
      std::string("pole[0] (") + num(0) + num(0) + num(0) + "\n)\npole[1] (" + num(2) + num(2) +
      num(0) + "\n)\npole[2] (" + num(4) + num(0) + num(1) + "\n)" + "rational 0\n" +
      "num_knots 5\n" + "knot[0]" + num(0) + "\nknot[1]" + num(0) + "\nknot[2]" + num(0.5) +
      "\nknot[3]" + num(1) + "\nknot[4]" + num(1) + "\n" +
      "planar TRUE\nphy_closed FALSE\nnum_boundaries 1\n" + "boundary[0] (" + num(0.25) +
      num(0.75) + "\n)" + "\n\nEnd of curve \"arc\"\n";
  EXPECT_EQ(text, expected);
}

TEST(BSprintbspc, LabelledRationalLabelsWeights) {
  SmallCurve c;
  const std::string text = dump(&c.cv, TRUE);
  EXPECT_NE(text.find("\n)unweighted poles\npole[0] ("), text.npos);
  EXPECT_NE(text.find("rational 1\nweight[0]" + num(1) + "\nweight[1]" + num(2) + "\n"), text.npos);
  EXPECT_EQ(count_of(text, "pole["), 6u);
}

TEST(BSprintbspc, InvalidRecordWritesOnlyTheMessage) {
  SmallCurve c;
  const std::string message = "invalid curve parameters when printing curve\n";
  BSboolean r = 1;
  auto check = [&](const BScurve *cv) {
    EXPECT_EQ(dump(cv, TRUE, "c", &r), message);
    EXPECT_EQ(r, 0);
  };
  check(nullptr);
  c.cv.order = 1;
  check(&c.cv);
  c.cv.order = 4;  // more than the poles
  check(&c.cv);
  c.cv.order = 2;
  c.cv.num_knots = 6;
  check(&c.cv);
  c.cv.num_knots = 5;
  c.cv.weights = nullptr;
  check(&c.cv);
  c.cv.weights = c.weights.data();
  c.cv.num_boundaries = -1;
  check(&c.cv);
  c.cv.num_boundaries = 2;
  c.cv.bdrys = nullptr;
  check(&c.cv);
  c.cv.num_boundaries = 0;
  c.cv.knots = nullptr;
  check(&c.cv);
}

TEST(BSprintbspc, NullStreamWritesToStandardError) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(BSprintbspc(nullptr, "c", nullptr, TRUE), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "invalid curve parameters when printing curve\n");
}

TEST(BSprintbspc, LongCurvePrintsFirstTenThousandPoles) {
  OwnedCurve c(2, 20000, true);
  kwtest::fill_random(c, 5);
  const std::string text = dump(&c.cv, TRUE);
  EXPECT_NE(text.find("num_poles 20000\n"), text.npos);
  EXPECT_NE(text.find("num_knots 20002\n"), text.npos);
  EXPECT_EQ(count_of(text, "pole["), 20000u);  // 10000 weighted, 10000 unweighted
  EXPECT_NE(text.find("pole[9999] ("), text.npos);
  EXPECT_EQ(text.find("pole[10000]"), text.npos);
  EXPECT_EQ(count_of(text, "weight["), 10000u);
  EXPECT_EQ(count_of(text, "knot["), 10016u);
  EXPECT_NE(text.find("knot[10015]"), text.npos);
}

TEST(BSprintbscv, WritesUnlabelledFileAndIgnoresUnopenablePath) {
  SmallCurve c;
  char path[] = "/tmp/kw_records_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  BSprintbscv(path, &c.cv);
  FILE *f = std::fopen(path, "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(drain(f), dump(&c.cv, FALSE));
  std::remove(path);
  BSprintbscv("/nonexistent-dir/x/y.txt", &c.cv);  // nothing happens
  BSprintbscv(nullptr, &c.cv);
}

// Runs fn with standard input reading the given text.
template <class Fn>
std::string with_stdin(const std::string &text, Fn fn) {
  char path[] = "/tmp/kw_stdin_XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  const int saved = dup(0);
  EXPECT_NE(std::freopen(path, "r", stdin), nullptr);
  const std::string out = kwtest::capture_stdout(fn);
  std::fflush(stdin);
  dup2(saved, 0);
  close(saved);
  clearerr(stdin);
  std::remove(path);
  return out;
}

TEST(BSprtbspcv, UnopenableFileIsFailureNotExit) {
  SmallCurve c;
  const std::vector<double> poles = c.poles;
  BSdbginit();
  BSrc rc = 0;
  const std::string out = with_stdin("/nonexistent-dir/c\n", [&] { rc = BSprtbspcv(&c.cv); });
  EXPECT_EQ(out, "file name?\n");
  EXPECT_EQ(rc, BSFAIL);
  EXPECT_EQ(c.poles, poles);
  FILE *f = std::tmpfile();
  BSdbgprint(f);
  EXPECT_EQ(drain(f), "error in BSprtbspcv, rc = -1 \n");
  with_stdin("", [&] { rc = BSprtbspcv(&c.cv); });  // no name at all
  EXPECT_EQ(rc, BSFAIL);
  BSsurface sf{};
  with_stdin("/nonexistent-dir/s\n", [&] { rc = BSprtbspsf(&sf); });
  EXPECT_EQ(rc, BSFAIL);
  BSdbginit();
}

TEST(BSprtbspcv, WritesNamedFile) {
  SmallCurve c;
  char path[] = "/tmp/kwcvXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  BSrc rc = -5;
  with_stdin(std::string(path) + "\n", [&] { rc = BSprtbspcv(&c.cv); });
  EXPECT_EQ(rc, BSSUCC);
  FILE *f = std::fopen(path, "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(drain(f), dump(&c.cv, FALSE));
  c.cv.order = 0;
  with_stdin(std::string(path) + "\n", [&] { rc = BSprtbspcv(&c.cv); });
  EXPECT_EQ(rc, BSINARG);
  std::remove(path);
  BSdbginit();
}

// A 2 by 2 rational bilinear surface with one boundary loop of two points.
struct SmallSurface {
  double poles[12] = {0, 0, 0, 1, 0, 0, 0, 2, 0, 2, 2, 2};
  double weights[4] = {1, 2, 0, 1};
  double uk[4] = {0, 0, 1, 1}, vk[4] = {0, 0, 1, 1};
  double pts[4] = {0.1, 0.2, 0.3, 0.4};
  BSsfboundary loop{2, pts};
  BSsurface sf{};
  SmallSurface() {
    sf.u_order = sf.v_order = 2;
    sf.u_num_poles = sf.v_num_poles = 2;
    sf.poles = poles;
    sf.u_num_knots = sf.v_num_knots = 4;
    sf.u_knots = uk;
    sf.v_knots = vk;
    sf.rational = 1;
    sf.weights = weights;
    sf.v_periodic = 1;
    sf.pos_orient = 1;
    sf.num_boundaries = 1;
    sf.boundaries = &loop;
  }
};

std::string dump_surface(const BSsurface *sf, BSboolean labelled, BSboolean *r = nullptr) {
  FILE *f = std::tmpfile();
  const BSboolean result = BSprintbsps(f, "s", sf, labelled);
  if (r != nullptr) *r = result;
  return drain(f);
}

TEST(BSprintbsps, UnlabelledLayoutIsExact) {
  SmallSurface s;
  BSboolean r = 0;
  const std::string text = dump_surface(&s.sf, FALSE, &r);
  EXPECT_EQ(r, TRUE);
  const std::string expected =
      std::string("BSsurface\nu_order 2\nv_order 2\nu_periodic 0\nv_periodic 1\n") +
      "u_non_uniform 0\nv_non_uniform 0\nu_num_poles 2\nv_num_poles 2\n" + num(0) + num(0) +
      num(0) + "\n\n" + num(1) + num(0) + num(0) + "\n\n" + num(0) + num(2) + num(0) + "\n\n" +
      num(2) + num(2) + num(2) + "\n" + "unweighted poles\n" + num(0) + num(0) + num(0) + "\n\n" +
      num(0.5) + num(0) + num(0) + "\n\n" + num(DBL_MAX) + num(DBL_MAX) + num(DBL_MAX) + "\n\n" +
      num(2) + num(2) + num(2) + "\n" + "rational 1\n" + num(1) + "\n" + num(2) + "\n" + num(0) +
      "\n" + num(1) + "\n" + "u_num_knots 4\n" + num(0) + "\n" + num(0) + "\n" + num(1) + "\n" +
      num(1) + "\n" + "v_num_knots 4\n" + num(0) + "\n" + num(0) + "\n" + num(1) + "\n" + num(1) +
      "\n" +
      "planar 0\nu_phy_closed 0\nv_phy_closed 0\npos_orient 1\non_off 0\nnum_boundaries 1\n" +
      "boundary 0 num_points 2\n" + num(0.1) + num(0.2) + "\n\n" + num(0.3) + num(0.4) + "\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(num(DBL_MAX), " 1.797693134862316e+308");
}

TEST(BSprintbsps, LabelledLayoutIsExact) {
  SmallSurface s;
  s.sf.rational = 0;
  s.sf.weights = nullptr;
  const std::string text = dump_surface(&s.sf, TRUE);
  const std::string expected =
      std::string("\n\n\"s\":\nBSsurface\nu_order 2\nv_order 2\nu_periodic FALSE\n") +
      "v_periodic TRUE\nu_non_uniform FALSE\nv_non_uniform FALSE\nu_num_poles 2\n" +
      "v_num_poles 2\n" + "pole[0] (" + num(0) + num(0) + num(0) + "\n)\npole[1] (" + num(1) +
      num(0) + num(0) + "\n)\npole[2] (" + num(0) + num(2) + num(0) + "\n)\npole[3] (" + num(2) +
      num(2) + num(2) + "\n)" + "rational 0\n" + "u_num_knots 4\n" + "knot[0]" + num(0) +
      "\nknot[1]" + num(0) + "\nknot[2]" + num(1) + "\nknot[3]" + num(1) + "\n" +
      "v_num_knots 4\n" + "knot[0]" + num(0) + "\nknot[1]" + num(0) + "\nknot[2]" + num(1) +
      "\nknot[3]" + num(1) + "\n" +
      "planar FALSE\nu_phy_closed FALSE\nv_phy_closed FALSE\npos_orient TRUE\non_off FALSE\n" +
      "num_boundaries 1\nboundary 0 num_points 2\nboundary[0] (" + num(0.1) + num(0.2) +
      "\n)\nboundary[0] (" + num(0.3) + num(0.4) + "\n)" + "\n\nEnd of surface \"s\"\n";
  EXPECT_EQ(text, expected);
}

TEST(BSprintbsps, InvalidSurfaceWritesTheCurveMessage) {
  const std::string message = "invalid curve parameters when printing curve\n";
  BSboolean r = 1;
  EXPECT_EQ(dump_surface(nullptr, TRUE, &r), message);
  EXPECT_EQ(r, 0);
  SmallSurface s;
  s.sf.v_order = 3;
  EXPECT_EQ(dump_surface(&s.sf, FALSE), message);
  s.sf.v_order = 2;
  s.sf.u_num_knots = 5;
  EXPECT_EQ(dump_surface(&s.sf, FALSE), message);
  s.sf.u_num_knots = 4;
  s.loop.points = nullptr;
  EXPECT_EQ(dump_surface(&s.sf, FALSE), message);
  s.loop.points = s.pts;
  s.sf.u_num_poles = 20000;  // 20000 * 20000 poles is beyond the limit
  s.sf.v_num_poles = 20000;
  s.sf.u_num_knots = s.sf.v_num_knots = 20002;
  EXPECT_EQ(dump_surface(&s.sf, FALSE), message);
}

TEST(BSprintbssf, WritesUnlabelledFile) {
  SmallSurface s;
  char path[] = "/tmp/kwsfXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  BSprintbssf(path, &s.sf);
  FILE *f = std::fopen(path, "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(drain(f), dump_surface(&s.sf, FALSE));
  std::remove(path);
  BSprintbssf("/nonexistent-dir/s.txt", &s.sf);
}

}  // namespace
