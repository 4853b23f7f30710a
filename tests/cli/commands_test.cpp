// Every knotwork command end to end: exact output on curves of known geometry,
// written curves read back and traced against the original, help, usage errors, and
// the commands shown in examples/README.md.
#include <iterator>

#include "tool_runner.hpp"

namespace clitest {
namespace {

class Commands : public CliTest {};

TEST_F(Commands, EvalAndSampleGiveExactPointsAndDerivatives) {
  RunResult r = ok({"eval", "p.crv", "0.25", "3"});
  EXPECT_TRUE(r.err.empty()) << r.err;
  expect_contains(r.out, {"curve p.crv: order 3, 3 poles, domain [0, 1]\nu 0.25\n"});
  expect_numbers(r, "point", {0.25, 0.0625, 0}, 1e-15);
  expect_numbers(r, "derivative 1", {1, 0.5, 0}, 1e-14, 1);
  expect_numbers(r, "derivative 2", {0, 2, 0}, 1e-13, 1);
  expect_numbers(r, "derivative 3", {0, 0, 0}, 0, 1);
  EXPECT_EQ(line_starting(r.out, "derivative 4"), "");
  expect_numbers(ok({"eval", "p.crv", "0.25", "15"}), "derivative 15", {0, 0, 0}, 0, 1);  // limit
  // The rational quarter circle (its midpoint and tangent: the examples README):
  // the printed point lies on the circle to the last bit.
  put("q.crv", quarter_text());
  const std::vector<double> p = point("q.crv", "0.3");
  EXPECT_NEAR(std::hypot(p.at(0), p.at(1)), 1.0, 2.3e-16);
  // Outside the domain: extrapolated, with a note.
  r = ok({"eval", "p.crv", "2"});
  expect_contains(r.err, {"outside the domain"});
  expect_numbers(r, "point", {2, 4, 0}, 1e-13);
  // Sample spaces the parameters evenly to the domain ends.
  const std::vector<std::string> lines = lines_of((r = ok({"sample", "p.crv", "5"})).out);
  ASSERT_EQ(lines.size(), 7u) << r.out;
  expect_contains(lines[0], {"# curve p.crv: order 3"});
  for (int i = 0; i < 5; ++i) {
    const double u = 0.25 * i;
    const std::vector<double> row = numbers_in(lines[2 + i]);
    ASSERT_EQ(row.size(), 4u) << lines[2 + i];
    EXPECT_EQ(row[0], u);  // exactly, the domain end included
    for (int k = 1; k < 4; ++k)
      EXPECT_NEAR(row[k], (std::vector<double>{u, u * u, 0})[k - 1], 1e-15);
  }
}

TEST_F(Commands, InfoAndDumpDescribeAndReproduceTheCurve) {
  expect_contains(ok({"info", "examples/cubic.cv"}).out,
                  {"order        4 (degree 3)", "poles        6", "domain       [0, 3]",
                   "knots        10: 0 (x4) 1 2 3 (x4)"});
  expect_contains(ok({"info", "examples/quarter_circle_hex.cv"}).out, {"rational     yes"});
  expect_contains(ok({"dump", "examples/line.cv", "--labelled"}).out,
                  {"pole[0] (", "pole[1] (", "End of curve \"examples/line.cv\""});
  // Plain and hex dumps read back to the same curve, to the last printed digit.
  const std::string original = ok({"eval", "examples/quarter_circle.cv", "0.3", "2"}).out;
  const auto tail = [](const std::string &text) { return text.substr(text.find(',')); };
  for (const char *hex : {"", "--hex"}) {
    std::vector<std::string> args{"dump", "examples/quarter_circle.cv", hex};
    if (!*hex) args.pop_back();
    put("again.cv", ok(args).out);
    EXPECT_EQ(tail(ok({"eval", "again.cv", "0.3", "2"}).out), tail(original)) << hex;
  }
}

TEST_F(Commands, ProjectAndNearestAllFindTheExactFeet) {
  RunResult r = ok({"project", "examples/quarter_circle.cv", "2", "2", "0"});
  expect_numbers(r, "parameter", {0.5}, 1e-9);
  expect_numbers(r, "foot", {std::sqrt(0.5), std::sqrt(0.5), 0}, 1e-12);
  expect_numbers(r, "distance", {2 * std::sqrt(2.0) - 1}, 1e-12);
  // From the centre every point of the arc is nearest: one interval, the domain.
  r = ok({"nearest-all", "examples/quarter_circle.cv", "0", "0", "0"});
  expect_numbers(r, "distance", {1}, 1e-12);
  expect_contains(r.out, {"\nparameters 0\nintervals 1\n  [0, 1]\n"});
  // A point of the line: one parameter, distance 0.
  r = ok({"nearest-all", "examples/line.cv", "5", "2.5", "0"});
  expect_numbers(r, "distance", {0}, 1e-12);
  expect_numbers(r, "  0.", {0.5}, 1e-12);
  expect_contains(r.out, {"\nparameters 1\n", "\nintervals 0"});
}

TEST_F(Commands, ModifiedCurvesReadBackTraceTheOriginal) {
  const std::string cubic = "examples/cubic.cv", quarter = "examples/quarter_circle.cv";
  const struct {
    std::vector<std::string> args;
    std::string summary;          // "what: OUT, ..." as printed
    std::vector<std::string> at;  // parameters of OUT compared with the original
  } cases[] = {
      {{"split", cubic, "1.5", "l.cv", "r.cv"},
       "left: l.cv, order 4, 5 poles, domain [0, 1.5]",
       {"0", "0.4", "1", "1.5"}},
      {{"split", cubic, "1.5", "l.cv", "r.cv"},
       "right: r.cv, order 4, 5 poles, domain [1.5, 3]",
       {"1.5", "2.2", "3"}},
      {{"extract", quarter, "0.7", "0.2", "e.cv"},
       "part: e.cv, order 3, 3 poles, domain [0.20000000000000001, 0.69999999999999996]",
       {"0.2", "0.45", "0.7"}},
      {{"reverse", cubic, "rev.cv"},
       "reversed: rev.cv, order 4, 6 poles, domain [0, 3]",
       {"0", "0.8", "1.5", "3"}},
      {{"insert", cubic, "0.25", "2", "ins.cv"},
       "refined: ins.cv, order 4, 8 poles, domain [0, 3]",
       {"0", "0.1", "0.25", "0.6", "2.9"}},
      {{"insert", cubic, "2.5", "one.cv"}, "refined: one.cv, order 4, 7 poles", {"2.5"}},
  };
  for (const auto &c : cases) {
    expect_contains(ok(c.args).out, {c.summary});
    const size_t colon = c.summary.find(": ");
    const std::string out = c.summary.substr(colon + 2, c.summary.find(',') - colon - 2);
    for (const std::string &u : c.at) {
      const std::vector<double> p = point(out, u),
                                q = point(c.args[1],
                                          out == "rev.cv" ? std::to_string(3 - std::stod(u)) : u);
      ASSERT_EQ(p.size() + q.size(), 6u);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], q[i], 1e-12) << out << " at " << u;
    }
  }
  expect_contains(ok({"info", "ins.cv"}).out, {"0.25 (x2)"});
}

TEST_F(Commands, DemoChecksHold) {
  const RunResult r = ok({"demo"});
  expect_contains(r.out, {"Knotwork demo", "tolerances", "sample curves", "wrote demo.svg",
                          "nearest points (BSmdstptcv)",
                          "circle from its centre: 0 parameter(s), 1 interval(s) [0, 1], "
                          "distance 1.5",
                          "projection: unit circle, nearest point to (2, 2, 0)\nparameter 0.5\n",
                          "distance  1.82842712474619", "intervals 1\n  [0, 4]\n"});
  expect_numbers(r, "  circle: largest radius", {0, 0}, 1e-13, 1);  // radius, curvature errors
  expect_numbers(r, "  loop:   gap", {0}, 1e-14);
  EXPECT_LT(numbers_in(line_starting(r.out, "         exact foot")).back(), 1e-9) << r.out;
  const XmlReport xml = svg("demo.svg");
  EXPECT_EQ(xml.elements[0].count("viewBox"), 1u);
  EXPECT_EQ(xml.count("circle", "foot"), 3);
  expect_contains(xml.text, {"circle: order 3, 9 poles, rational", "cubic: order 4, 6 poles",
                             "loop: order 4, 9 poles, periodic, closed", "curvature comb"});
}

TEST_F(Commands, HelpCoversEveryCommandAndTolSetsATolerance) {
  expect_contains(ok({"tol", "dist_tol", "1e-5"}).out, {"dist_tol         1e-05"});
  const RunResult r = ok({"help"});
  EXPECT_EQ(ok({"--help"}).out, r.out);
  expect_contains(r.out,
                  {"demo", "tol [NAME VALUE", "eval FILE u [d]", "sample FILE N",
                   "svg FILE... -o OUT.svg", "info FILE", "dump FILE", "project FILE x y z",
                   "nearest-all FILE x y z", "split FILE u OUT1 OUT2", "extract FILE ua ub OUT",
                   "reverse FILE OUT", "insert FILE u [times] OUT", "help [COMMAND]"});
  for (const std::string &line : lines_of(r.out)) {
    if (line.compare(0, 2, "  ") != 0) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    expect_contains(ok({"help", name}).out,
                    {"usage: knotwork " + name, "example: knotwork " + name});
  }
}

TEST_F(Commands, BadArgumentsFailWithTheirCodeAndMessage) {
  // Weights 1, -1, 1 put the point at u = 0.5 at infinity: refused, never drawn.
  put("infinite.crv", curve_text(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, -1, 1}, {0, 0, 0, 1, 1, 1}));
  put("flat.crv", curve_text(2, {0, 0, 0, 1, 1, 0}, {}, {0, 0, 0, 0}));
  put("trailer.crv", parabola_text() + "trailing words\n");
  const std::string c = "examples/cubic.cv", l = "examples/line.cv";
  expect_failures({
      {{}, 2, "missing command"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"demo", "extra"}, 2, "demo takes no arguments"},
      {{"tol", "no_such_tol", "1"}, 2, "unknown tolerance"},
      {{"tol", "dist_tol", "small"}, 2, "is not a number"},
      {{"eval"}, 2, "eval needs FILE u [d]"},
      {{"eval", "p.crv", "half"}, 2, "'half' is not a parameter value"},
      {{"eval", "p.crv", "nan"}, 2, "not a parameter value"},
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
      {{"project", l, "nan", "0", "0"}, 2, "is not a number"},
      {{"nearest-all", l, "0", "inf", "0"}, 2, "is not a number"},
      {{"split", c, "1.5", "l.cv"}, 2, "split takes"},
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
      {{"svg", "p.crv", "-o", "x.svg", "--points", "1,x,3"}, 2, "not a point"},
      {{"svg", "p.crv", "-o", "no/such/dir/x.svg"}, 2, "cannot create"},
      {{"svg", "p.crv", "-o", "./p.crv"}, 2, "is one of the curve files"},
      // A query point too far for any squared distance is refused, not answered.
      {{"svg", "p.crv", "-o", "x.svg", "--points", "1e308,-1e308,1e308"}, 1, "BSINARG (-2)"},
      {{"svg", "infinite.crv", "-o", "x.svg"}, 1, "infinite.crv"},
      {{"svg", "flat.crv", "-o", "x.svg"}, 1, "empty parameter range"},
      {{"svg", "trailer.crv", "-o", "x.svg"}, 1, "curve 2"},
  });
  EXPECT_EQ(read_text(dir.file("p.crv")), parabola_text()) << "the curve file is kept";
  for (const char *name : {"x.svg", "x.cv", "demo.svg"})
    EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
}

std::vector<std::string> words(const std::string &line) {
  std::istringstream s(line);
  return {std::istream_iterator<std::string>(s), {}};
}

// Same words, numbers equal within a relative 1e-12.
bool same_line(const std::string &expected, const std::string &actual) {
  const std::vector<std::string> a = words(expected), b = words(actual);
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](const std::string &x, const std::string &y) {
           const std::vector<double> u = numbers_in(x), v = numbers_in(y);
           return x == y || (u.size() == 1 && v.size() == 1 &&
                             std::fabs(u[0] - v[0]) <= 1e-12 * std::max(1.0, std::fabs(u[0])));
         });
}

// The commands shown in examples/README.md, run again: the documented output must be
// what the program prints (numbers within a relative 1e-12), so the examples stay true.
TEST_F(Commands, ExamplesReadmeShowsTheRealOutputOfItsCommands) {
  const std::vector<std::string> lines =
      lines_of(read_text(std::string(KNOTWORK_EXAMPLES) + "/README.md"));
  int examples = 0;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] != "```console") continue;
    // "$ knotwork ARGS...", then the output up to the closing fence.
    const std::string shown = lines[++i];
    std::vector<std::string> args = words(shown);
    args.erase(args.begin(), args.begin() + 2);
    std::vector<std::string> expected;
    while (++i < lines.size() && lines[i] != "```") expected.push_back(lines[i]);
    const std::vector<std::string> actual = lines_of(ok(args).out);
    ASSERT_EQ(actual.size(), expected.size()) << shown;
    for (size_t k = 0; k < actual.size(); ++k)
      EXPECT_TRUE(same_line(expected[k], actual[k]))
          << shown << "\n  README: " << expected[k] << "\n  actual: " << actual[k];
    ++examples;
  }
  EXPECT_GE(examples, 3) << "examples/README.md shows three commands";
}

}  // namespace
}  // namespace clitest
