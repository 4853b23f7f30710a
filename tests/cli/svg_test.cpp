// knotwork svg, end to end: the picture is well-formed XML with the expected
// elements, the sampled polyline lies on the curve, and bad input fails cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "curves_fixture.hpp"

namespace clitest {
namespace {

using Pair = std::array<double, 2>;

std::vector<Pair> polyline_points(const std::string &attribute) {
  std::vector<Pair> points;
  std::string text = attribute;
  std::replace(text.begin(), text.end(), ',', ' ');
  std::istringstream s(text);
  double x, y;
  while (s >> x >> y) points.push_back({x, y});
  return points;
}

// The polylines of the document that draw curves (solid, not the polygon or envelope).
std::vector<std::vector<Pair>> curve_polylines(const XmlReport &xml) {
  std::vector<std::vector<Pair>> lines;
  for (const auto &e : xml.elements)
    if (e.at("") == "polyline" && e.count("class") == 0)
      lines.push_back(polyline_points(e.at("points")));
  return lines;
}

int count_class(const XmlReport &xml, const std::string &element, const std::string &cls) {
  int n = 0;
  for (const auto &e : xml.elements)
    if (e.at("") == element && e.count("class") != 0 && e.at("class") == cls) ++n;
  return n;
}

bool has_text(const XmlReport &xml, const std::string &part) {
  for (const std::string &t : xml.texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

TEST(XmlChecker, AcceptsAWellFormedDocument) {
  const XmlReport r = check_xml(
      "<?xml version=\"1.0\"?>\n<svg a=\"1\" b='x &amp; y'><g><text>a &lt; b</text></g>"
      "<!-- note --><path d=\"M 0 0\"/></svg>\n");
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.root, "svg");
  EXPECT_EQ(r.root_attributes.at("b"), "x & y");
  EXPECT_EQ(r.element_counts.at("path"), 1);
  ASSERT_EQ(r.texts.size(), 1u);
  EXPECT_EQ(r.texts[0], "a < b");
}

TEST(XmlChecker, RejectsMalformedDocuments) {
  const char *bad[] = {
      "<svg><g></svg>",               // unbalanced
      "<svg><g></h></svg>",           // mismatched end tag
      "<svg a=1></svg>",              // unquoted attribute
      "<svg a=\"1\" a=\"2\"></svg>",  // repeated attribute
      "<svg></svg><svg></svg>",       // two roots
      "<svg>a & b</svg>",             // bare ampersand
      "<svg><text>x</text>",          // never closed
      "text<svg/>",                   // text before the root
      "<svg a=\"<\"/>",               // '<' in a value
      "",                             // empty
      "<svg a=\"1\"b=\"2\"/>",        // attributes not separated
  };
  for (const char *doc : bad) EXPECT_FALSE(check_xml(doc).ok) << doc;
}

class SvgCommand : public CliTest {};

TEST_F(SvgCommand, WritesWellFormedPictureWithViewBoxPolylineAndLegend) {
  put("quarter.crv", quarter_text());
  const RunResult r = run({"svg", "quarter.crv", "-o", "out.svg"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("wrote out.svg (view xy): 1 curve,"), std::string::npos) << r.out;
  const XmlReport xml = check_xml(read_text(dir.file("out.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  EXPECT_EQ(xml.root, "svg");
  EXPECT_EQ(xml.root_attributes.at("xmlns"), "http://www.w3.org/2000/svg");
  const std::vector<double> box = numbers_in(xml.root_attributes.at("viewBox"));
  ASSERT_EQ(box.size(), 4u);
  EXPECT_GT(box[2], 0.0);
  EXPECT_GT(box[3], 0.0);
  EXPECT_EQ(curve_polylines(xml).size(), 1u);
  EXPECT_EQ(xml.element_counts.at("title"), 1);
  EXPECT_TRUE(has_text(xml, "quarter.crv: order 3, 3 poles, rational")) << "legend";
  EXPECT_TRUE(has_text(xml, "scale:")) << "scale bar";
  // Every drawn coordinate lies inside the view box.
  for (const auto &line : curve_polylines(xml))
    for (const Pair &p : line) {
      EXPECT_GE(p[0], box[0]);
      EXPECT_LE(p[0], box[0] + box[2]);
      EXPECT_GE(p[1], box[1]);
      EXPECT_LE(p[1], box[1] + box[3]);
    }
}

TEST_F(SvgCommand, SampledCircleStaysWithinChordHeightOfTheCurve) {
  put("circle.crv", circle_text(3.0));
  const RunResult r = run({"svg", "circle.crv", "-o", "c.svg"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const XmlReport xml = check_xml(read_text(dir.file("c.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  const auto lines = curve_polylines(xml);
  ASSERT_EQ(lines.size(), 1u);
  const auto &pts = lines[0];
  ASSERT_GE(pts.size(), 32u);
  EXPECT_LE(pts.size(), 4000u) << "the sampling should adapt, not flood";
  // The page circle: centre and radius from the extreme points.
  double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
  for (const Pair &p : pts)
    for (int i = 0; i < 2; ++i) {
      lo[i] = std::min(lo[i], p[i]);
      hi[i] = std::max(hi[i], p[i]);
    }
  const double cx = 0.5 * (lo[0] + hi[0]), cy = 0.5 * (lo[1] + hi[1]);
  const double radius = 0.25 * (hi[0] - lo[0] + hi[1] - lo[1]);
  EXPECT_NEAR(hi[0] - lo[0], hi[1] - lo[1], 0.02) << "aspect ratio kept";
  double worst_point = 0.0, worst_chord = 0.0;
  for (size_t i = 0; i < pts.size(); ++i) {
    worst_point =
        std::max(worst_point, std::fabs(std::hypot(pts[i][0] - cx, pts[i][1] - cy) - radius));
    if (i + 1 < pts.size()) {
      // Sagitta of the chord: radius minus the distance of its midpoint to the centre.
      const double mx = 0.5 * (pts[i][0] + pts[i + 1][0]), my = 0.5 * (pts[i][1] + pts[i + 1][1]);
      worst_chord = std::max(worst_chord, radius - std::hypot(mx - cx, my - cy));
    }
  }
  EXPECT_LT(worst_point, 0.02) << "points lie on the curve (page units)";
  // Chord height within 2.5e-4 of the pole box diagonal (800 * sqrt 2 page units).
  EXPECT_LT(worst_chord, 2.5e-4 * 800 * std::sqrt(2.0) * 1.01);
  EXPECT_NEAR(std::hypot(pts.front()[0] - pts.back()[0], pts.front()[1] - pts.back()[1]), 0.0,
              0.011)
      << "closed curve";
}

TEST_F(SvgCommand, CurvesWithManySpansStayCompact) {
  // A spiral cubic with 3000 poles (2997 spans): sampled span by span, not flooded.
  std::vector<double> poles, knots{0, 0, 0, 0};
  for (int i = 0; i < 3000; ++i) {
    const double a = 0.01 * i, r = 1 + 1e-4 * i;
    poles.insert(poles.end(), {r * std::cos(a), r * std::sin(a), 0.0});
  }
  for (int i = 1; i < 2997; ++i) knots.push_back(i / 2997.0);
  knots.insert(knots.end(), {1, 1, 1, 1});
  put("spiral.crv", curve_text(4, poles, {}, knots));
  const RunResult r = run({"svg", "spiral.crv", "-o", "s.svg", "--knots"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<double> counts = numbers_in(r.out);
  ASSERT_FALSE(counts.empty()) << r.out;
  EXPECT_LT(counts.back(), 3.0 * 2997) << r.out;
  EXPECT_GT(counts.back(), 2997.0) << r.out;
  EXPECT_TRUE(check_xml(read_text(dir.file("s.svg"))).ok);
}

TEST_F(SvgCommand, VerticalAxisPointsUp) {
  // A straight cubic from (0, 0) to (1, 1): its first point must be lower on the page.
  put("line.crv", curve_text(2, {0, 0, 0, 1, 1, 0}, {}, {0, 0, 1, 1}));
  const RunResult r = run({"svg", "line.crv", "-o", "l.svg"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const XmlReport xml = check_xml(read_text(dir.file("l.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  const auto lines = curve_polylines(xml);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_LT(lines[0].front()[0], lines[0].back()[0]);
  EXPECT_GT(lines[0].front()[1], lines[0].back()[1]);
}

TEST_F(SvgCommand, OptionsAddPolygonKnotsAndComb) {
  put("cubic.crv", cubic_xz_text());
  const RunResult r =
      run({"svg", "cubic.crv", "-o", "o.svg", "--poles", "--knots", "--comb", "--view", "xz"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("(view xz)"), std::string::npos);
  const XmlReport xml = check_xml(read_text(dir.file("o.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  EXPECT_EQ(count_class(xml, "polyline", "polygon"), 1);
  EXPECT_EQ(count_class(xml, "rect", "pole"), 5);
  EXPECT_GE(count_class(xml, "line", "tooth"), 2 * 24);
  EXPECT_EQ(count_class(xml, "polyline", "envelope"), 1);
  EXPECT_TRUE(has_text(xml, "control polygon (5 poles)"));
  EXPECT_TRUE(has_text(xml, "knots (3 distinct)"));
  EXPECT_TRUE(has_text(xml, "curvature comb"));
  // Knot markers: three on the curve (the legend's has class "legend").
  int knot_circles = 0;
  for (const auto &e : xml.elements)
    if (e.at("") == "circle" && e.count("fill") != 0 && e.at("fill") == "white" &&
        e.count("class") == 0)
      ++knot_circles;
  EXPECT_EQ(knot_circles, 3);
  // The xz view spreads the curve vertically; the xy view flattens it to a line.
  const auto lines = curve_polylines(xml);
  ASSERT_EQ(lines.size(), 1u);
  double ylo = 1e300, yhi = -1e300;
  for (const Pair &p : lines[0]) {
    ylo = std::min(ylo, p[1]);
    yhi = std::max(yhi, p[1]);
  }
  EXPECT_GT(yhi - ylo, 100.0);
  const RunResult flat = run({"svg", "cubic.crv", "-o", "flat.svg"});
  ASSERT_EQ(flat.exit_code, 0) << flat.err;
  const XmlReport flat_xml = check_xml(read_text(dir.file("flat.svg")));
  ASSERT_TRUE(flat_xml.ok) << flat_xml.error;
}

TEST_F(SvgCommand, QueryPointsGetTheNearestPointOfAllCurves) {
  put("circle.crv", circle_text());
  put("p.crv", parabola_text());
  const RunResult r =
      run({"svg", "circle.crv", "p.crv", "-o", "q.svg", "--points", "-3,0,0", "0.6,0.8", "1,3,0"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // (-3, 0, 0): the circle at (-1, 0, 0), distance 2, parameter 0.5.
  std::vector<double> v = numbers_in(line_starting(r.out, "nearest to (-3, 0, 0)"));
  ASSERT_EQ(v.size(), 3u + 1 + 3 + 1) << r.out;
  EXPECT_NEAR(v[3], 0.5, 1e-9);
  EXPECT_NEAR(v[4], -1.0, 1e-9);
  EXPECT_NEAR(v[5], 0.0, 1e-9);
  EXPECT_NEAR(v[7], 2.0, 1e-9);
  EXPECT_NE(r.out.find("nearest to (-3, 0, 0): circle.crv u"), std::string::npos);
  // (0.6, 0.8) lies on the circle: distance 0.
  v = numbers_in(line_starting(r.out, "nearest to (0.59999999999999998, 0.80000000000000004, 0)"));
  ASSERT_EQ(v.size(), 8u) << r.out;
  EXPECT_NEAR(v[7], 0.0, 1e-9);
  // (1, 3, 0): the parabola's end (1, 1) at distance 2 is nearer than the circle (2.16).
  EXPECT_NE(r.out.find("nearest to (1, 3, 0): p.crv u 1 point (1, 1, 0) distance 2"),
            std::string::npos)
      << r.out;
  const XmlReport xml = check_xml(read_text(dir.file("q.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  EXPECT_EQ(count_class(xml, "line", "query"), 3);
  EXPECT_EQ(count_class(xml, "circle", "foot"), 3);
  EXPECT_EQ(count_class(xml, "path", "target"), 3);
  EXPECT_TRUE(has_text(xml, "nearest points to 3 query point(s)"));
}

TEST_F(SvgCommand, CombTeethGrowWithCurvature) {
  // On a circle every tooth has the same length.
  put("circle.crv", circle_text());
  const RunResult r = run({"svg", "circle.crv", "-o", "comb.svg", "--comb"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const XmlReport xml = check_xml(read_text(dir.file("comb.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  std::vector<double> lengths;
  for (const auto &e : xml.elements)
    if (e.at("") == "line" && e.count("class") && e.at("class") == "tooth") {
      lengths.push_back(std::hypot(std::stod(e.at("x2")) - std::stod(e.at("x1")),
                                   std::stod(e.at("y2")) - std::stod(e.at("y1"))));
    }
  ASSERT_GT(lengths.size(), 20u);
  const auto [lo, hi] = std::minmax_element(lengths.begin(), lengths.end());
  EXPECT_GT(*lo, 10.0);
  EXPECT_NEAR(*lo, *hi, 0.05);
}

TEST_F(SvgCommand, EveryCurveOfEveryFileGetsALegendEntry) {
  put("two.crv", parabola_text() + "\n" + quarter_text());
  put("one.crv", cubic_xz_text());
  const RunResult r = run({"svg", "two.crv", "one.crv", "-o", "m.svg"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("3 curves"), std::string::npos) << r.out;
  const XmlReport xml = check_xml(read_text(dir.file("m.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  EXPECT_EQ(curve_polylines(xml).size(), 3u);
  EXPECT_TRUE(has_text(xml, "two.crv#1: order 3"));
  EXPECT_TRUE(has_text(xml, "two.crv#2: order 3, 3 poles, rational"));
  EXPECT_TRUE(has_text(xml, "one.crv: order 4"));
}

TEST_F(SvgCommand, FileNamesAreEscapedInTheDocument) {
  put("a&b<c>'q\".crv", parabola_text());
  const RunResult r = run({"svg", "a&b<c>'q\".crv", "-o", "e.svg"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const XmlReport xml = check_xml(read_text(dir.file("e.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  EXPECT_TRUE(has_text(xml, "a&b<c>'q\".crv: order 3"));
}

TEST_F(SvgCommand, UsageErrorsExitWithTwo) {
  put("p.crv", parabola_text());
  expect_failure(run({"svg", "p.crv"}), 2, "no output file");
  expect_failure(run({"svg", "-o", "x.svg"}), 2, "no curve file");
  expect_failure(run({"svg", "p.crv", "-o"}), 2, "-o needs");
  expect_failure(run({"svg", "p.crv", "-o", "x.svg", "--frobnicate"}), 2, "unknown option");
  expect_failure(run({"svg", "p.crv", "-o", "x.svg", "--view", "ab"}), 2, "unknown view");
  expect_failure(run({"svg", "p.crv", "-o", "x.svg", "--view"}), 2, "--view needs");
  expect_failure(run({"svg", "p.crv", "-o", "x.svg", "--points", "1,x,3"}), 2, "not a point");
  expect_failure(run({"svg", "p.crv", "-o", "x.svg", "--points"}), 2, "--points needs");
  expect_failure(run({"svg", "missing.crv", "-o", "x.svg"}), 2, "cannot open 'missing.crv'");
  expect_failure(run({"svg", ".", "-o", "x.svg"}), 2, "is a directory");
  expect_failure(run({"svg", "p.crv", "-o", "./p.crv"}), 2, "is one of the curve files");
  EXPECT_EQ(read_text(dir.file("p.crv")), parabola_text()) << "the curve file is kept";
  EXPECT_FALSE(file_exists(dir.file("x.svg")));
}

TEST_F(SvgCommand, BadCurveFilesExitWithOneAndExplain) {
  put("empty.crv", "");
  expect_failure(run({"svg", "empty.crv", "-o", "x.svg"}), 1, "'empty.crv' holds no curve");
  put("junk.crv", "BScurve\norder 3\nperiodic zero\n");
  RunResult r = run({"svg", "junk.crv", "-o", "x.svg"});
  expect_failure(r, 1, "BSreadcv");
  EXPECT_NE(r.err.find("error trace:"), std::string::npos) << r.err;
  std::string text = parabola_text();
  put("cut.crv", text.substr(0, text.size() / 2));
  expect_failure(run({"svg", "cut.crv", "-o", "x.svg"}), 1, "BSreadcv");
  put("order17.crv", curve_text(17, std::vector<double>(3 * 17, 1.0), {}, [] {
        std::vector<double> k(34, 0.0);
        std::fill(k.begin() + 17, k.end(), 1.0);
        return k;
      }()));
  expect_failure(run({"svg", "order17.crv", "-o", "x.svg"}), 1, "order 17 is not supported");
  put("flat.crv", curve_text(2, {0, 0, 0, 1, 1, 0}, {}, {0, 0, 0, 0}));
  expect_failure(run({"svg", "flat.crv", "-o", "x.svg"}), 1, "empty parameter range");
  // Weights 1, -1, 1 put the curve point at u = 0.5 at infinity: refused, never drawn.
  put("infinite.crv", curve_text(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, -1, 1}, {0, 0, 0, 1, 1, 1}));
  r = run({"svg", "infinite.crv", "-o", "x.svg"});
  expect_failure(r, 1, "infinite.crv");
  EXPECT_NE(r.err.find("warning: 'infinite.crv' curve 1 has a weight below 0.001"),
            std::string::npos);
  put("bad_trailer.crv", parabola_text() + "trailing words\n");
  expect_failure(run({"svg", "bad_trailer.crv", "-o", "x.svg"}), 1, "curve 2");
  EXPECT_FALSE(file_exists(dir.file("x.svg")));
}

TEST_F(SvgCommand, UnwritableOutputIsReported) {
  put("p.crv", parabola_text());
  expect_failure(run({"svg", "p.crv", "-o", "no/such/dir/out.svg"}), 2, "cannot create");
}

TEST_F(SvgCommand, NeverCrashesOnDamagedFiles) {
  // Every prefix cut and a set of one-character corruptions of a valid rational
  // file: the program may succeed or refuse, but always with an exit code.
  const std::string text = quarter_text();
  int runs = 0;
  for (size_t cut = 0; cut < text.size(); cut += 23, ++runs) {
    put("d.crv", text.substr(0, cut));
    const RunResult r = run({"svg", "d.crv", "-o", "d.svg"});
    ASSERT_TRUE(r.exited) << "cut at " << cut;
    EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << "cut at " << cut << ": " << r.err;
    if (r.exit_code != 0) {
      EXPECT_FALSE(r.err.empty());
    }
  }
  const char replacements[] = {'9', '-', 'x', ' ', '\n', '.', 'e'};
  for (size_t at = 3; at < text.size(); at += 17) {
    std::string damaged = text;
    damaged[at] = replacements[at % sizeof replacements];
    put("d.crv", damaged);
    const RunResult r = run({"svg", "d.crv", "-o", "d.svg", "--poles", "--knots", "--comb"});
    ASSERT_TRUE(r.exited) << "damaged at " << at << ":\n" << damaged;
    EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.err;
    if (r.exit_code == 0) {
      EXPECT_TRUE(check_xml(read_text(dir.file("d.svg"))).ok);
    } else {
      EXPECT_FALSE(r.err.empty());
    }
    ++runs;
  }
  EXPECT_GT(runs, 20);
}

}  // namespace
}  // namespace clitest
