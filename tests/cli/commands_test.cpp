// Every knotwork command end to end: exact output on curves of known geometry,
// written curves read back and traced against the original, help, usage errors.
#include <cmath>
#include <cstdio>

#include "tool_runner.hpp"

namespace clitest {
namespace {

class Commands : public CliTest {
 protected:
  void SetUp() override {
    link_examples();
    put("p.crv", parabola_text());
  }
  // The last three numbers of the first output line starting with prefix.
  void expect_triple(const RunResult &r, const std::string &prefix, double x, double y, double z,
                     double tol) {
    const std::vector<double> v = numbers_in(line_starting(r.out, prefix));
    ASSERT_GE(v.size(), 3u) << prefix << " in\n" << r.out;
    const double want[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(v[v.size() - 3 + i], want[i], tol) << prefix;
  }
  double value(const RunResult &r, const std::string &prefix) {
    const std::vector<double> v = numbers_in(line_starting(r.out, prefix));
    EXPECT_FALSE(v.empty()) << prefix << " in\n" << r.out;
    return v.empty() ? NAN : v[0];
  }
  // The "point" line `knotwork eval` prints for the curve in file at u.
  std::string point(const std::string &file, double u) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", u);
    return line_starting(ok({"eval", file, text}).out, "point");
  }
};

TEST_F(Commands, EvalGivesExactPointsAndDerivatives) {
  RunResult r = ok({"eval", "p.crv", "0.25", "3"});
  EXPECT_TRUE(r.err.empty()) << r.err;
  EXPECT_NE(r.out.find("curve p.crv: order 3, 3 poles, domain [0, 1]"), std::string::npos);
  EXPECT_EQ(line_starting(r.out, "u "), "u 0.25");
  expect_triple(r, "point", 0.25, 0.0625, 0, 1e-15);
  expect_triple(r, "derivative 1", 1, 0.5, 0, 1e-14);
  expect_triple(r, "derivative 2", 0, 2, 0, 1e-13);
  expect_triple(r, "derivative 3", 0, 0, 0, 0);
  EXPECT_EQ(line_starting(r.out, "derivative 4"), "");
  // The rational quarter circle: exact midpoint, tangent perpendicular to the radius.
  put("q.crv", quarter_text());
  r = ok({"eval", "q.crv", "0.5", "1"});
  const double h = std::sqrt(0.5);
  expect_triple(r, "point", h, h, 0, 1e-15);
  const std::vector<double> d = numbers_in(line_starting(r.out, "derivative 1"));
  ASSERT_EQ(d.size(), 4u);
  EXPECT_NEAR(d[1] + d[2], 0.0, 1e-13);
  // Round-trip precision: the printed point lies on the circle to the last bit.
  const std::vector<double> p = numbers_in(point("q.crv", 0.3));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, 2.3e-16);
  // Outside the domain: extrapolated, with a note.
  r = ok({"eval", "p.crv", "2"});
  EXPECT_NE(r.err.find("outside the domain"), std::string::npos) << r.err;
  expect_triple(r, "point", 2, 4, 0, 1e-13);
}

TEST_F(Commands, SampleSpacesParametersEvenlyToTheDomainEnds) {
  const RunResult r = ok({"sample", "p.crv", "5"});
  EXPECT_NE(r.out.find("# curve p.crv: order 3"), std::string::npos);
  std::vector<std::vector<double>> rows;
  for (const std::string &line : lines_of(r.out))
    if (!line.empty() && line[0] != '#') rows.push_back(numbers_in(line));
  ASSERT_EQ(rows.size(), 5u) << r.out;
  for (int i = 0; i < 5; ++i) {
    const double u = 0.25 * i;
    ASSERT_EQ(rows[i].size(), 4u);
    EXPECT_EQ(rows[i][0], u);  // exactly, the last one included
    EXPECT_NEAR(rows[i][1], u, 1e-15);
    EXPECT_NEAR(rows[i][2], u * u, 1e-15);
    EXPECT_EQ(rows[i][3], 0.0);
  }
}

TEST_F(Commands, InfoAndDumpDescribeAndReproduceTheCurve) {
  RunResult r = ok({"info", "examples/cubic.cv"});
  for (const char *line : {"order        4 (degree 3)", "poles        6", "domain       [0, 3]",
                           "knots        10: 0 (x4) 1 2 3 (x4)"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
  EXPECT_NE(ok({"info", "examples/quarter_circle_hex.cv"}).out.find("rational     yes"),
            std::string::npos);
  r = ok({"dump", "examples/line.cv", "--labelled"});
  for (const char *part : {"pole[0] (", "pole[1] (", "End of curve \"examples/line.cv\""})
    EXPECT_NE(r.out.find(part), std::string::npos) << part;
  // Plain and hex dumps read back to the same curve, bit for bit in the printed digits.
  const std::string original = ok({"eval", "examples/quarter_circle.cv", "0.3", "2"}).out;
  for (const std::vector<std::string> &dump :
       {std::vector<std::string>{"dump", "examples/quarter_circle.cv"},
        std::vector<std::string>{"dump", "examples/quarter_circle.cv", "--hex"}}) {
    put("again.cv", ok(dump).out);
    EXPECT_EQ(
        ok({"eval", "again.cv", "0.3", "2"}).out,
        std::string(original).replace(original.find("examples/quarter_circle.cv"), 26, "again.cv"))
        << dump.back();
  }
}

TEST_F(Commands, ProjectAndNearestAllFindTheExactFeet) {
  const double h = std::sqrt(0.5);
  RunResult r = ok({"project", "examples/quarter_circle.cv", "2", "2", "0"});
  EXPECT_NEAR(value(r, "parameter"), 0.5, 1e-9);
  expect_triple(r, "foot", h, h, 0, 1e-12);
  EXPECT_NEAR(value(r, "distance"), 2 * std::sqrt(2.0) - 1, 1e-12);
  // From the centre every point of the arc is nearest: one interval, the domain.
  r = ok({"nearest-all", "examples/quarter_circle.cv", "0", "0", "0"});
  EXPECT_NEAR(value(r, "distance"), 1.0, 1e-12);
  EXPECT_EQ(line_starting(r.out, "parameters"), "parameters 0");
  EXPECT_EQ(line_starting(r.out, "intervals"), "intervals 1");
  EXPECT_EQ(line_starting(r.out, "  ["), "  [0, 1]");
  // A point of the line: one parameter, distance 0.
  r = ok({"nearest-all", "examples/line.cv", "5", "2.5", "0"});
  EXPECT_NEAR(value(r, "distance"), 0.0, 1e-12);
  EXPECT_EQ(line_starting(r.out, "parameters"), "parameters 1");
  EXPECT_NEAR(value(r, "  0."), 0.5, 1e-12);
  EXPECT_EQ(line_starting(r.out, "intervals"), "intervals 0");
  // svg --points reports the same foot as project.
  const RunResult p = ok({"project", "examples/cubic.cv", "1", "2", "0"});
  const RunResult s = ok({"svg", "examples/cubic.cv", "-o", "c.svg", "--points", "1,2,0"});
  const std::vector<double> v = numbers_in(line_starting(s.out, "nearest to (1, 2, 0)"));
  ASSERT_EQ(v.size(), 8u) << s.out;
  EXPECT_EQ(v[3], value(p, "parameter"));
  EXPECT_EQ(v[7], value(p, "distance"));
}

TEST_F(Commands, ModifiedCurvesReadBackTraceTheOriginal) {
  struct Case {
    std::vector<std::string> args;
    std::string summary;                             // part of the printed line
    std::string out;                                 // written curve
    std::vector<std::pair<double, double>> samples;  // (u in out, u in the original)
  };
  const std::string cubic = "examples/cubic.cv", quarter = "examples/quarter_circle.cv";
  const std::vector<Case> cases = {
      {{"split", cubic, "1.5", "l.cv", "r.cv"},
       "l.cv, order 4, 5 poles, domain [0, 1.5]",
       "l.cv",
       {{0, 0}, {0.4, 0.4}, {1, 1}, {1.5, 1.5}}},
      {{"split", cubic, "1.5", "l.cv", "r.cv"},
       "r.cv, order 4, 5 poles, domain [1.5, 3]",
       "r.cv",
       {{1.5, 1.5}, {2.2, 2.2}, {3, 3}}},
      {{"extract", quarter, "0.7", "0.2", "e.cv"},
       "part: e.cv, order 3, 3 poles, domain [0.20000000000000001, 0.69999999999999996]",
       "e.cv",
       {{0.2, 0.2}, {0.45, 0.45}, {0.7, 0.7}}},
      {{"reverse", cubic, "rev.cv"},
       "reversed: rev.cv, order 4, 6 poles, domain [0, 3]",
       "rev.cv",
       {{3, 0}, {2.2, 0.8}, {1.5, 1.5}, {0, 3}}},
      {{"insert", cubic, "0.25", "2", "ins.cv"},
       "refined: ins.cv, order 4, 8 poles, domain [0, 3]",
       "ins.cv",
       {{0, 0}, {0.1, 0.1}, {0.25, 0.25}, {0.6, 0.6}, {2.9, 2.9}}},
      {{"insert", cubic, "2.5", "one.cv"}, "one.cv, order 4, 7 poles", "one.cv", {{2.5, 2.5}}},
  };
  for (const Case &c : cases) {
    const RunResult r = ok(c.args);
    EXPECT_NE(r.out.find(c.summary), std::string::npos) << c.summary << " in\n" << r.out;
    for (const auto &[u_out, u_in] : c.samples) {
      const std::vector<double> p = numbers_in(point(c.out, u_out)),
                                q = numbers_in(point(c.args[1], u_in));
      ASSERT_EQ(p.size(), 3u);
      ASSERT_EQ(q.size(), 3u);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], q[i], 1e-12) << c.out << " at " << u_out;
    }
  }
  EXPECT_NE(ok({"info", "ins.cv"}).out.find("0.25 (x2)"), std::string::npos);
  ok({"svg", "l.cv", "r.cv", "-o", "lr.svg", "--knots", "--poles"});
  svg("lr.svg");
}

TEST_F(Commands, TolShowsAndSetsTolerances) {
  EXPECT_NE(ok({"tol", "dist_tol", "1e-5"}).out.find("dist_tol         1e-05"), std::string::npos);
}

TEST_F(Commands, DemoRunsQuicklyAndItsChecksHold) {
  const RunResult r = ok({"demo"});
  EXPECT_LT(r.seconds, 1.0);
  for (const char *part : {"Knotwork demo", "tolerances", "sample curves", "wrote demo.svg",
                           "nearest points (BSmdstptcv)",
                           "circle from its centre: 0 parameter(s), 1 interval(s) [0, 1], "
                           "distance 1.5"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << " in\n" << r.out;
  const std::vector<double> circle = numbers_in(line_starting(r.out, "  circle: largest radius"));
  ASSERT_EQ(circle.size(), 3u) << r.out;
  EXPECT_LT(circle[1], 1e-14) << "radius error";
  EXPECT_LT(circle[2], 1e-13) << "curvature error";
  const std::vector<double> gap = numbers_in(line_starting(r.out, "  loop:   gap"));
  ASSERT_EQ(gap.size(), 1u) << r.out;
  EXPECT_LT(gap[0], 1e-14);
  const std::vector<double> foot = numbers_in(line_starting(r.out, "         exact foot"));
  ASSERT_FALSE(foot.empty()) << r.out;
  EXPECT_LT(foot.back(), 1e-9);
  const XmlReport xml = svg("demo.svg");
  EXPECT_EQ(xml.elements[0].count("viewBox"), 1u);
  EXPECT_EQ(xml.count("circle", "foot"), 3);
  for (const char *name : {"circle: order 3, 9 poles, rational", "cubic: order 4, 6 poles",
                           "loop: order 4, 9 poles, periodic, closed", "curvature comb"})
    EXPECT_TRUE(xml.has_text(name)) << name;
}

TEST_F(Commands, HelpCoversEveryCommand) {
  const RunResult r = ok({"help"});
  EXPECT_EQ(ok({"--help"}).out, r.out);
  int listed = 0;
  for (const char *synopsis :
       {"demo", "tol [NAME VALUE", "eval FILE u [d]", "sample FILE N", "svg FILE... -o OUT.svg",
        "info FILE", "dump FILE", "project FILE x y z", "nearest-all FILE x y z",
        "split FILE u OUT1 OUT2", "extract FILE ua ub OUT", "reverse FILE OUT",
        "insert FILE u [times] OUT", "help [COMMAND]"})
    EXPECT_NE(r.out.find(synopsis), std::string::npos) << synopsis;
  for (const std::string &line : lines_of(r.out)) {
    if (line.compare(0, 2, "  ") != 0) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    const RunResult one = ok({"help", name});
    EXPECT_NE(one.out.find("usage: knotwork " + name), std::string::npos) << name;
    EXPECT_NE(one.out.find("example: knotwork " + name), std::string::npos) << name;
    ++listed;
  }
  EXPECT_EQ(listed, 14);
}

TEST_F(Commands, BadArgumentsFailWithTheirCodeAndMessage) {
  // Weights 1, -1, 1 put the point at u = 0.5 at infinity: refused, never drawn.
  put("infinite.crv", curve_text(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, -1, 1}, {0, 0, 0, 1, 1, 1}));
  put("flat.crv", curve_text(2, {0, 0, 0, 1, 1, 0}, {}, {0, 0, 0, 0}));
  put("trailer.crv", parabola_text() + "trailing words\n");
  const std::string c = "examples/cubic.cv", l = "examples/line.cv";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{}, 2, "missing command"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"help", "frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"demo", "extra"}, 2, "demo takes no arguments"},
      {{"tol", "no_such_tol", "1"}, 2, "unknown tolerance"},
      {{"tol", "dist_tol"}, 2, "needs a value"},
      {{"tol", "dist_tol", "small"}, 2, "is not a number"},
      {{"eval"}, 2, "eval needs FILE u [d]"},
      {{"eval", "p.crv", "0.5", "1", "2"}, 2, "eval needs"},
      {{"eval", "p.crv", "half"}, 2, "'half' is not a parameter value"},
      {{"eval", "p.crv", "nan"}, 2, "not a parameter value"},
      {{"eval", "p.crv", "0.5", "-1"}, 2, "derivative count"},
      {{"eval", "p.crv", "0.5", "16"}, 2, "derivative count"},
      {{"eval", "p.crv", "0.5", "2x"}, 2, "derivative count"},
      {{"sample", "p.crv"}, 2, "sample needs FILE N"},
      {{"sample", "p.crv", "1"}, 2, "point count"},
      {{"sample", "p.crv", "2000000"}, 2, "point count"},
      {{"info"}, 2, "info takes one FILE"},
      {{"dump"}, 2, "dump needs a FILE"},
      {{"dump", l, "--labelled", "--hex"}, 2, "exclude"},
      {{"dump", l, "--pretty"}, 2, "unknown option"},
      {{"project", l, "1", "2"}, 2, "takes FILE x y z"},
      {{"nearest-all", l, "1", "two", "3"}, 2, "is not a number"},
      {{"project", l, "nan", "0", "0"}, 2, "is not a number"},
      {{"nearest-all", l, "0", "inf", "0"}, 2, "is not a number"},
      {{"split", c, "1.5", "l.cv"}, 2, "split takes"},
      {{"split", c, "x", "l.cv", "r.cv"}, 2, "is not a number"},
      {{"split", c, "5", "l.cv", "r.cv"}, 2, "must lie inside the domain"},
      {{"extract", c, "0.2", "x.cv"}, 2, "extract takes"},
      {{"extract", c, "0.5", "0.5", "x.cv"}, 1, "BSactivsplt"},
      {{"reverse", c}, 2, "reverse takes"},
      {{"reverse", c, "no/such/dir/r.cv"}, 2, "cannot create"},
      {{"insert", c, "x.cv"}, 2, "insert takes"},
      {{"insert", c, "0.5", "0", "x.cv"}, 2, "at least 1"},
      {{"insert", c, "0.5", "two", "x.cv"}, 2, "not a whole number"},
      {{"insert", c, "7", "x.cv"}, 1, "BSadd_1kt_mul"},
      {{"svg", "p.crv"}, 2, "no output file"},
      {{"svg", "-o", "x.svg"}, 2, "no curve file"},
      {{"svg", "p.crv", "-o"}, 2, "-o needs"},
      {{"svg", "p.crv", "-o", "x.svg", "--frobnicate"}, 2, "unknown option"},
      {{"svg", "p.crv", "-o", "x.svg", "--view", "ab"}, 2, "unknown view"},
      {{"svg", "p.crv", "-o", "x.svg", "--view"}, 2, "--view needs"},
      {{"svg", "p.crv", "-o", "x.svg", "--points", "1,x,3"}, 2, "not a point"},
      {{"svg", "p.crv", "-o", "x.svg", "--points"}, 2, "--points needs"},
      {{"svg", "p.crv", "-o", "no/such/dir/x.svg"}, 2, "cannot create"},
      {{"svg", "p.crv", "-o", "./p.crv"}, 2, "is one of the curve files"},
      // A query point too far for any squared distance is refused, not answered.
      {{"svg", "p.crv", "-o", "x.svg", "--points", "1e308,-1e308,1e308"}, 1, "BSINARG (-2)"},
      {{"svg", "infinite.crv", "-o", "x.svg"}, 1, "infinite.crv"},
      {{"svg", "flat.crv", "-o", "x.svg"}, 1, "empty parameter range"},
      {{"svg", "trailer.crv", "-o", "x.svg"}, 1, "curve 2"},
  };
  for (const auto &t : cases) {
    SCOPED_TRACE(t.args.empty() ? "(none)" : t.args[0] + " " + t.message);
    const RunResult r = run(t.args);
    expect_failure(r, t.code, t.message);
  }
  EXPECT_EQ(read_text(dir.file("p.crv")), parabola_text()) << "the curve file is kept";
  for (const char *name : {"x.svg", "x.cv", "demo.svg"})
    EXPECT_FALSE(file_exists(dir.file(name))) << name;
}

}  // namespace
}  // namespace clitest
