// The geometry commands end to end (circle, arc, join, fit, length, at-length,
// intersect, offset, xplane): results read back and checked on curves of known
// geometry, and every usage error with its exit code and message.
#include <cmath>

#include "tool_runner.hpp"

namespace clitest {
namespace {

class Geometry : public CliTest {
 protected:
  void SetUp() override {
    link_examples();
    put("p.crv", parabola_text());
    put("c.crv", circle_text(2.0));
  }
  double first_number(const std::vector<std::string> &args, const std::string &prefix) {
    return numbers_in(line_starting(ok(args).out, prefix)).at(0);
  }
};

TEST_F(Geometry, CirclesArcsAndJoinsAreWrittenExactly) {
  expect_contains(ok({"circle", "1", "2", "3", "2", "0", "0", "5", "o.cv"}).out,
                  {"circle: o.cv, order 3, 7 poles, rational, domain [0, 1]"});
  expect_contains(ok({"info", "o.cv"}).out, {"closed"});
  ok({"arc", "3", "2", "3", "1", "2", "3", "1", "0", "3", "0", "0", "1", "a.cv"});  // 270 deg
  ok({"arc", "1", "0", "0", "0", "1", "0", "-1", "0", "0", "t.cv"});  // through (0, 1, 0)
  for (const char *u : {"0.1", "0.77"}) {
    const std::vector<double> p = point("o.cv", u), q = point("a.cv", u), t = point("t.cv", u);
    ASSERT_EQ(p.size() + q.size() + t.size(), 9u);
    EXPECT_NEAR(std::hypot(p[0] - 1, p[1] - 2), 2.0, 1e-15) << u;
    EXPECT_NEAR(p[2], 3.0, 1e-15);
    EXPECT_NEAR(std::hypot(q[0] - 1, q[1] - 2), 2.0, 1e-15) << u;
    EXPECT_FALSE(q[0] > 1 + 1e-9 && q[1] < 2 - 1e-9) << "counterclockwise from +x to -y";
    EXPECT_NEAR(std::hypot(t[0], t[1]), 1.0, 1e-15) << u;
    EXPECT_GE(t[1], 0.0);
  }
  EXPECT_EQ(point("a.cv", "1"), (std::vector<double>{1, 0, 3}));
  EXPECT_EQ(point("t.cv", "0.5"), (std::vector<double>{0, 1, 0}));
  // The line and the cubic meet at their starts: the line is reversed.
  expect_contains(ok({"join", "examples/line.cv", "examples/cubic.cv", "j.cv"}).out,
                  {"joined: j.cv, order 4, 9 poles, domain [0, 1]"});
  EXPECT_EQ(point("j.cv", "0"), (std::vector<double>{10, 5, 0}));
  EXPECT_EQ(point("j.cv", "1"), (std::vector<double>{8, 0, 0}));
  const std::vector<double> mid = point("j.cv", "0.25");  // on the line
  ASSERT_EQ(mid.size(), 3u);
  EXPECT_NEAR(mid[0], 2 * mid[1], 1e-13);
  // Arcs that meet join into one rational curve.
  ok({"arc", "1", "0", "0", "0", "0", "0", "0", "1", "0", "0", "0", "1", "q1.cv"});
  ok({"arc", "0", "1", "0", "0", "0", "0", "-1", "0", "0", "0", "0", "1", "q2.cv"});
  expect_contains(ok({"join", "q1.cv", "q2.cv", "ab.cv"}).out, {"5 poles, rational"});
  EXPECT_NEAR(std::hypot(point("ab.cv", "0.7").at(0), point("ab.cv", "0.7").at(1)), 1.0, 1e-15);
}

TEST_F(Geometry, FittedCurvePassesThroughThePoints) {
  put("pts.txt", "# measured points\n0 0 0\n1, 2, 0\n\n3 1 1  # a comment\n4 3\n6 2 -1\n");
  const char *pts[][3] = {
      {"0", "0", "0"}, {"1", "2", "0"}, {"3", "1", "1"}, {"4", "3", "0"}, {"6", "2", "-1"}};
  for (const char *order : {"2", "4", "7"}) {
    expect_contains(ok({"fit", "pts.txt", "out.cv", "--order", order}).out,
                    {"fit 5 points: out.cv: order " + std::string(order)});
    for (const auto &p : pts)
      EXPECT_LT(first_number({"project", "out.cv", p[0], p[1], p[2]}, "distance"), 1e-12) << order;
  }
  put("loop.txt", "0 0 0\n2 0 0\n2 2 0\n0 2 0\n0 0 0\n");
  expect_contains(ok({"fit", "loop.txt", "loop.cv", "--periodic"}).out, {"periodic, closed"});
  ok({"svg", "loop.cv", "-o", "loop.svg", "--poles", "--points", "2,0,0", "0,2,0"});
  svg("loop.svg");
}

TEST_F(Geometry, LengthsIntersectionsOffsetsAndPlaneCuts) {
  const double parabola = (2 * std::sqrt(5.0) + std::asinh(2.0)) / 4;  // integral of sqrt(1 + 4u^2)
  EXPECT_NEAR(first_number({"length", "p.crv"}, "length"), parabola, 1e-12);
  EXPECT_NEAR(first_number({"length", "c.crv", "0", "0.25"}, "length"), M_PI, 1e-12);
  expect_numbers(ok({"at-length", "c.crv", "3.14159265358979"}), "point", {0, 2, 0}, 1e-11);
  // Offsets of the counterclockwise circle: right is outside.
  for (const char *d : {"0.5", "-0.5"}) {
    put("o.crv", ok({"offset", "c.crv", d, "0", "0", "1"}).out);
    const std::vector<double> p = point("o.crv", "0.3");
    ASSERT_EQ(p.size(), 3u);
    EXPECT_NEAR(std::hypot(p[0], p[1]), 2.0 + std::stod(d), 1e-12);
  }
  expect_contains(ok({"svg", "c.crv", "-o", "o.svg", "--offset", "0.5", "--offset", "-0.5"}).out,
                  {"wrote o.svg (view xy): 3 curves", "offset of c.crv at 0.5: order",
                   "offset of c.crv at -0.5: order"});
  expect_contains(svg("o.svg").text, {"c.crv offset 0.5", "c.crv offset -0.5"});
  // A crossing of the parabola and a segment; two overlapping segments.
  put("h.crv", curve_text(2, {0, 0.25, 0, 1, 0.25, 0}, {}, {0, 0, 1, 1}));
  put("d.crv", curve_text(2, {0.5, 0.25, 0, 2, 0.25, 0}, {}, {0, 0, 1, 1}));
  RunResult r = ok({"intersect", "p.crv", "h.crv"});
  expect_contains(r.out, {"points 1\n", "overlaps 0\n"});
  expect_numbers(r, "  point", {0.5, 0.25, 0, 0.5, 0.5}, 1e-12);  // x y z, u1, u2
  r = ok({"intersect", "h.crv", "d.crv"});
  expect_contains(r.out, {"points 0\n", "overlaps 1\n"});
  const std::vector<double> o = numbers_in(line_starting(r.out, "  overlap"));
  ASSERT_EQ(o.size(), 10u) << r.out;
  EXPECT_TRUE(std::fabs(o[0] - 0.5) < 1e-12 && std::fabs(o[3] - 1.0) < 1e-12) << r.out;
  r = ok({"svg", "p.crv", "h.crv", "d.crv", "--intersect", "-o", "x.svg"});
  expect_contains(
      r.out, {"curves 1 and 2 meet at (0.5, 0.25, 0)", "curves 2 and 3 overlap from u 0.5 to 1"});
  svg("x.svg");
  // The circle of radius 2 cut by x = 1: two points at y = +-sqrt(3).
  const std::vector<std::string> lines =
      lines_of(ok({"xplane", "c.crv", "1", "0", "0", "3", "0", "0"}).out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "points 2");
  EXPECT_EQ(lines[3], "intervals 0");
  for (int i = 0; i < 2; ++i) {
    const std::vector<double> w = numbers_in(lines[1 + i]);
    ASSERT_EQ(w.size(), 4u);
    EXPECT_NEAR(w[1], 1.0, 1e-12);
    EXPECT_NEAR(w[2], i == 0 ? std::sqrt(3.0) : -std::sqrt(3.0), 1e-12);
  }
  // Cut through its joint by y = 0: the joint once, at the start parameter; the line
  // lies in z = 0: one interval over its domain.
  expect_contains(ok({"xplane", "c.crv", "0", "0", "0", "0", "1", "0"}).out,
                  {"points 2\n  u 0  at 2 0 0\n  u 0.5  at -2 "});
  expect_contains(ok({"xplane", "examples/line.cv", "0", "0", "0", "0", "0", "1"}).out,
                  {"points 0\nintervals 1\n  ["});
}

TEST_F(Geometry, SvgMarksAndPrintsPlaneIntersections) {
  // x = 1 cuts the circle twice; z = 0 holds all of it (one highlighted stroke).
  const RunResult r = ok({"svg", "c.crv", "-o", "p.svg", "--plane", "1", "0", "0", "3", "0", "0",
                          "--plane", "0", "0", "0", "0", "0", "-1"});
  std::vector<double> ys;
  for (const std::string &line : lines_of(r.out))
    if (line.rfind("curve 1 meets plane 1 at (", 0) == 0) {
      const std::vector<double> v = numbers_in(line);  // 1, 1, x, y, z, u
      ASSERT_EQ(v.size(), 6u) << line;
      EXPECT_NEAR(v[2], 1.0, 1e-12);
      EXPECT_EQ(v[4], 0.0);
      ys.push_back(v[3]);
    }
  ASSERT_EQ(ys.size(), 2u) << r.out;
  EXPECT_NEAR(ys[0], std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(ys[1], -std::sqrt(3.0), 1e-12);
  expect_contains(r.out, {"curve 1 lies in plane 2 from u 0 to 1\n"});
  const XmlReport xml = svg("p.svg");
  EXPECT_EQ(xml.count("circle"), 2);  // the markers (the legend's swatch has a class)
  EXPECT_EQ(xml.count("polyline", "highlight"), 1);
  expect_contains(xml.text, {"plane intersections (BSpl_cv_int)"});
}

TEST_F(Geometry, BadArgumentsFailWithTheirCodeAndMessage) {
  put("pts.txt", "0 0 0\n1 1 0\n2 0 0\n");
  put("bad.txt", "0 0 0\n1 one 0\n");
  put("empty.txt", "# nothing\n");
  put("dup.txt", "0 0 0\n1 1 0\n1 1 0\n2 0 0\n");
  ok({"arc", "1", "0", "0", "0", "0", "0", "0", "1", "0", "0", "0", "1", "a.cv"});
  const std::string z = "0", one = "1";
  expect_failures({
      {{"circle", z, z, z, one, z, z, one}, 2, "circle takes"},
      {{"circle", z, z, z, "r", z, z, one, "o.cv"}, 2, "'r' is not a number"},
      {{"circle", z, z, z, z, z, z, one, "o.cv"}, 1, "BSprepcirc failed: BSINARG"},
      {{"arc", one, z, z, "o.cv"}, 2, "arc takes"},
      {{"arc", one, z, z, z, z, z, "2", z, z, z, z, one, "o.cv"}, 1, "BSprepcarc failed: BSINARG"},
      {{"arc", z, z, z, one, one, one, "2", "2", "2", "o.cv"}, 1, "BSarc3pts failed: BSCOLLIN"},
      {{"arc", z, z, z, one, z, z, z, one, z, "no/such/dir/o.cv"}, 2, "cannot create"},
      {{"join", "a.cv", "examples/line.cv", "o.cv"}, 1, "BSmerge_cv failed: BSFAIL"},
      {{"join", "a.cv", "o.cv"}, 2, "join takes A B OUT"},
      {{"fit", "pts.txt"}, 2, "fit takes POINTS OUT"},
      {{"fit", "missing.txt", "o.cv"}, 2, "cannot open"},
      {{"fit", "bad.txt", "o.cv"}, 2, "line 2: expected a point"},
      {{"fit", "empty.txt", "o.cv"}, 2, "holds no points"},
      {{"fit", "pts.txt", "o.cv", "--order", "17"}, 2, "--order needs"},
      {{"fit", "pts.txt", "o.cv", "--wiggle"}, 2, "unknown option"},
      {{"fit", "pts.txt", "o.cv", "--periodic"}, 1, "BSdirfitcv"},
      {{"fit", "dup.txt", "o.cv"}, 1, "BSFAIL"},
      {{"at-length", "p.crv", "2"}, 1, "BSiarcln"},  // beyond the end
      {{"length", "p.crv", z}, 2, "length needs FILE [u0 u1]"},
      {{"at-length", "p.crv", "-1"}, 2, "is not a length >= 0"},
      {{"intersect", "p.crv"}, 2, "intersect takes FILE1 FILE2"},
      {{"intersect", "p.crv", "missing.crv"}, 2, "missing.crv"},
      {{"offset", "c.crv"}, 2, "offset takes FILE d [nx ny nz]"},
      {{"offset", "c.crv", "x"}, 2, "is not a number"},
      {{"svg", "c.crv", "-o", "o.svg", "--offset"}, 2, "--offset needs a distance"},
      {{"svg", "c.crv", "-o", "o.svg", "--offset", "x"}, 2, "'x' is not a number"},
      {{"offset", "missing.crv", one}, 2, "missing.crv"},
      {{"xplane", "c.crv", z, z, z, z, one}, 2, "takes FILE px py pz nx ny nz"},
      {{"xplane", "c.crv", z, z, z, z, "x", one}, 2, "'x' is not a number"},
      {{"xplane", "c.crv", z, z, z, z, z, z}, 2, "normal must not be zero"},
      {{"xplane", "missing.crv", z, z, z, z, z, one}, 2, "missing.crv"},
      {{"svg", "c.crv", "-o", "p.svg", "--plane", z, z, z, z, z}, 2, "--plane needs px py pz"},
      {{"svg", "c.crv", "-o", "p.svg", "--plane", z, z, z, z, z, z}, 2, "normal must not be zero"},
  });
  for (const char *name : {"o.cv", "p.svg"})
    EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
}

}  // namespace
}  // namespace clitest
