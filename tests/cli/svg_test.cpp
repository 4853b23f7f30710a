// knotwork svg end to end: pictures that are well-formed XML with the expected
// elements, drawn y-up, sampled on the curve, with escaped names.
#include <algorithm>
#include <array>
#include <tuple>

#include "tool_runner.hpp"

namespace clitest {
namespace {

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

TEST_F(Svg, PictureHasViewBoxLegendAndPointsUpward) {
  // A line from (0, 0) to (1, 1): its first point must be lower on the page.
  put("line.crv", curve_text(2, {0, 0, 0, 1, 1, 0}, {}, {0, 0, 1, 1}));
  put("two.crv", parabola_text() + "\n" + quarter_text());
  const RunResult r = ok({"svg", "line.crv", "two.crv", "-o", "out.svg"});
  expect_contains(r.out, {"wrote out.svg (view xy): 3 curves,"});
  const XmlReport xml = svg("out.svg");
  EXPECT_EQ(xml.elements[0].at(""), "svg");
  EXPECT_EQ(xml.elements[0].at("xmlns"), "http://www.w3.org/2000/svg");
  EXPECT_EQ(xml.count("title"), 1);
  expect_contains(xml.text, {"line.crv: order 2", "two.crv#1: order 3",
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
  put("p.crv", parabola_text());
  const RunResult r =
      ok({"svg", "circle.crv", "p.crv", "-o", "q.svg", "--points", "-3,0,0", "0.6,0.8", "1,3,0"});
  // Each line: query x y z, then u, foot x y z, distance. (-3, 0, 0): the circle at
  // (-1, 0, 0), u 0.5, distance 2. (0.6, 0.8) lies on the circle.
  const struct {
    std::string prefix;
    size_t first;  // index of the first number checked
    std::vector<double> want;
  } cases[] = {{"nearest to (-3, 0, 0): circle.crv u", 3, {0.5, -1, 0, 0, 2}},
               {"nearest to (0.59999999999999998, 0.80000000000000004, 0)", 4, {0.6, 0.8, 0, 0}}};
  for (const auto &c : cases) {
    const std::vector<double> v = numbers_in(line_starting(r.out, c.prefix));
    ASSERT_EQ(v.size(), 8u) << r.out;
    for (size_t i = 0; i < c.want.size(); ++i) EXPECT_NEAR(v[c.first + i], c.want[i], 1e-9) << i;
  }
  // (1, 3, 0): the parabola's end (1, 1) at distance 2 is nearer than the circle (2.16).
  expect_contains(r.out, {"nearest to (1, 3, 0): p.crv u 1 point (1, 1, 0) distance 2"});
  const XmlReport xml = svg("q.svg");
  expect_counts(xml, {{"line", "query", 3}, {"circle", "foot", 3}, {"path", "target", 3}});
  expect_contains(xml.text, {"nearest points to 3 query point(s)"});
}

TEST_F(Svg, FileNamesAreEscaped) {
  put("a&b<c>'q\".crv", parabola_text());
  ok({"svg", "a&b<c>'q\".crv", "-o", "e.svg"});
  expect_contains(svg("e.svg").text, {"a&b<c>'q\".crv: order 3"});
}

}  // namespace
}  // namespace clitest
