// The geometry commands end to end (circle, arc, join, fit, length, at-length,
// intersect, offset, xplane): results read back and checked on curves of known
// geometry, and every usage error with its exit code and message. knotwork svg: pictures
// that are well-formed XML with the expected elements, drawn y-up, sampled on the
// curve, with escaped names.
#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

#include "tool_runner.hpp"

namespace clitest {
namespace {

class Geometry : public CliTest {};

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
  EXPECT_NEAR(mid.at(0), 2 * mid.at(1), 1e-13);
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
    EXPECT_NEAR(std::hypot(p.at(0), p.at(1)), 2.0 + std::stod(d), 1e-12);
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
  r = ok({"xplane", "c.crv", "1", "0", "0", "3", "0", "0"});
  const std::vector<double> w = numbers_in(r.out);  // 2, then "u x y z" twice, then 0
  ASSERT_TRUE(lines_of(r.out).size() == 4 && w.size() == 10) << r.out;
  expect_contains(r.out, {"points 2\n", "\nintervals 0\n"});
  for (int i : {0, 4})
    EXPECT_NEAR(std::hypot(w[2 + i] - 1, w[3 + i] - (i ? -1 : 1) * std::sqrt(3.0)), 0, 1e-12);
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
  EXPECT_NEAR(std::hypot(ys[0] - std::sqrt(3.0), ys[1] + std::sqrt(3.0)), 0, 1e-12);
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
      {{"xplane", "c.crv", z, z, z, z, one}, 2, "takes FILE px py pz nx ny nz"},
      {{"xplane", "c.crv", z, z, z, z, "x", one}, 2, "'x' is not a number"},
      {{"xplane", "c.crv", z, z, z, z, z, z}, 2, "normal must not be zero"},
      {{"svg", "c.crv", "-o", "p.svg", "--plane", z, z, z, z, z}, 2, "--plane needs px py pz"},
      {{"svg", "c.crv", "-o", "p.svg", "--plane", z, z, z, z, z, z}, 2, "normal must not be zero"},
  });
  for (const char *name : {"o.cv", "p.svg"})
    EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
}

using Pair = std::array<double, 2>;

// The points of the polylines that draw curves (no class: not polygon or envelope).
std::vector<std::vector<Pair>> curve_polylines(const XmlReport &xml) {
  std::vector<std::vector<Pair>> lines;
  for (const auto &e : xml.elements) {
    if (e.at("") != "polyline" || e.count("class") != 0) continue;
    std::string text = e.at("points");
    std::replace(text.begin(), text.end(), ',', ' ');
    std::istringstream s(text);
    lines.emplace_back();
    for (double x, y; s >> x >> y;) lines.back().push_back({x, y});
  }
  return lines;
}

// Expects each {element, class, count} in the document.
void expect_counts(const XmlReport &xml,
                   const std::vector<std::tuple<std::string, std::string, int>> &counts) {
  for (const auto &[element, cls, n] : counts) EXPECT_EQ(xml.count(element, cls), n) << cls;
}

class Svg : public CliTest {};

TEST_F(Svg, PictureHasViewBoxLegendEscapedNamesAndPointsUpward) {
  // A line from (0, 0) to (1, 1): its first point must be lower on the page.
  put("a&b<c>'q\".crv", curve_text(2, {0, 0, 0, 1, 1, 0}, {}, {0, 0, 1, 1}));
  put("two.crv", parabola_text() + "\n" + quarter_text());
  const RunResult r = ok({"svg", "a&b<c>'q\".crv", "two.crv", "-o", "out.svg"});
  expect_contains(r.out, {"wrote out.svg (view xy): 3 curves,"});
  const XmlReport xml = svg("out.svg");
  EXPECT_EQ(xml.elements[0].at(""), "svg");
  EXPECT_EQ(xml.elements[0].at("xmlns"), "http://www.w3.org/2000/svg");
  EXPECT_EQ(xml.count("title"), 1);
  expect_contains(xml.text, {"a&b<c>'q\".crv: order 2", "two.crv#1: order 3",
                             "two.crv#2: order 3, 3 poles, rational", "scale:"});
  const std::vector<double> box = numbers_in(xml.elements[0].at("viewBox"));
  ASSERT_EQ(box.size(), 4u);
  const auto lines = curve_polylines(xml);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_LT(lines[0].front()[0], lines[0].back()[0]);
  EXPECT_GT(lines[0].front()[1], lines[0].back()[1]) << "y points up";
  for (const auto &line : lines)
    for (const Pair &p : line)
      EXPECT_TRUE(p[0] >= box[0] && p[0] <= box[0] + box[2] && p[1] >= box[1] &&
                  p[1] <= box[1] + box[3])
          << p[0] << ", " << p[1] << " outside the view box";
}

TEST_F(Svg, SampledCircleLiesOnTheCurveAndItsCombIsEven) {
  put("circle.crv", circle_text(3.0));
  ok({"svg", "circle.crv", "-o", "c.svg", "--comb"});
  const XmlReport xml = svg("c.svg");
  const auto lines = curve_polylines(xml);
  ASSERT_EQ(lines.size(), 1u);
  const auto &pts = lines[0];
  ASSERT_GE(pts.size(), 32u);
  EXPECT_LE(pts.size(), 4000u) << "the sampling should adapt, not flood";
  // Centre and radius from the extreme points (equal extents: the aspect ratio is kept).
  const auto [left, right] = std::minmax_element(
      pts.begin(), pts.end(), [](const Pair &a, const Pair &b) { return a[0] < b[0]; });
  const auto [bottom, top] = std::minmax_element(
      pts.begin(), pts.end(), [](const Pair &a, const Pair &b) { return a[1] < b[1]; });
  const double cx = ((*left)[0] + (*right)[0]) / 2, cy = ((*bottom)[1] + (*top)[1]) / 2,
               radius = ((*right)[0] - (*left)[0]) / 2;
  EXPECT_NEAR((*top)[1] - (*bottom)[1], 2 * radius, 0.02);
  const auto off = [&](double x, double y) { return radius - std::hypot(x - cx, y - cy); };
  for (size_t i = 0; i + 1 < pts.size(); ++i) {
    EXPECT_NEAR(off(pts[i][0], pts[i][1]), 0.0, 0.02) << "point " << i << " on the curve";
    // Chord height within 2.5e-4 of the pole box diagonal (800 * sqrt 2 page units).
    EXPECT_LT(off(0.5 * (pts[i][0] + pts[i + 1][0]), 0.5 * (pts[i][1] + pts[i + 1][1])), 0.285);
  }
  EXPECT_NEAR(std::hypot(pts.front()[0] - pts.back()[0], pts.front()[1] - pts.back()[1]), 0, 0.011);
  // On a circle every comb tooth has the same length.
  std::vector<double> teeth;
  for (const auto &e : xml.elements)
    if (e.at("") == "line" && e.count("class") && e.at("class") == "tooth")
      teeth.push_back(std::hypot(std::stod(e.at("x2")) - std::stod(e.at("x1")),
                                 std::stod(e.at("y2")) - std::stod(e.at("y1"))));
  ASSERT_GT(teeth.size(), 20u);
  const auto [shortest, longest] = std::minmax_element(teeth.begin(), teeth.end());
  EXPECT_GT(*shortest, 10.0);
  EXPECT_NEAR(*shortest, *longest, 0.05);
}

TEST_F(Svg, OptionsAddPolygonKnotsCombAndSideView) {
  // An open cubic with an interior knot in the xz plane.
  put("cubic.crv", curve_text(4, {0, 0, 0, 1, 0, 2, 2, 0, -1, 3, 0, 1, 4, 0, 0}, {},
                              {0, 0, 0, 0, 0.5, 1, 1, 1, 1}));
  expect_contains(
      ok({"svg", "cubic.crv", "-o", "o.svg", "--poles", "--knots", "--comb", "--view", "xz"}).out,
      {"(view xz)"});
  const XmlReport xml = svg("o.svg");
  expect_counts(xml, {{"polyline", "polygon", 1},
                      {"rect", "pole", 5},
                      {"polyline", "envelope", 1},
                      {"circle", "", 3}});  // knot markers (the legend's has a class)
  EXPECT_GE(xml.count("line", "tooth"), 2 * 24);
  expect_contains(xml.text, {"control polygon (5 poles)", "knots (3 distinct)", "curvature comb"});
  // The xz view spreads the curve vertically.
  const auto lines = curve_polylines(xml);
  ASSERT_EQ(lines.size(), 1u);
  const auto [low, high] = std::minmax_element(
      lines[0].begin(), lines[0].end(), [](const Pair &a, const Pair &b) { return a[1] < b[1]; });
  EXPECT_GT((*high)[1] - (*low)[1], 100.0);
}

TEST_F(Svg, QueryPointsGetTheNearestPointOfAllCurves) {
  put("circle.crv", circle_text());
  const RunResult r =
      ok({"svg", "circle.crv", "p.crv", "-o", "q.svg", "--points", "-3,0,0", "0.6,0.8", "1,3,0"});
  // Each line: query x y z, then u, foot x y z, distance. (-3, 0, 0): the circle at
  // (-1, 0, 0), u 0.5, distance 2. (0.6, 0.8) lies on the circle.
  expect_numbers(r, "nearest to (-3, 0, 0): circle.crv u", {0.5, -1, 0, 0, 2}, 1e-9, 3);
  expect_numbers(r, "nearest to (0.59999999999999998, 0.80000000000000004, 0)", {0.6, 0.8, 0, 0},
                 1e-9, 4);
  // (1, 3, 0): the parabola's end (1, 1) at distance 2 is nearer than the circle (2.16).
  expect_contains(r.out, {"nearest to (1, 3, 0): p.crv u 1 point (1, 1, 0) distance 2"});
  const XmlReport xml = svg("q.svg");
  expect_counts(xml, {{"line", "query", 3}, {"circle", "foot", 3}, {"path", "target", 3}});
  expect_contains(xml.text, {"nearest points to 3 query point(s)"});
}

}  // namespace
}  // namespace clitest
