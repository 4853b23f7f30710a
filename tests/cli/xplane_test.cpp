// knotwork xplane end to end: points and intervals on curves of known geometry,
// usage errors.
#include "tool_runner.hpp"

namespace clitest {
namespace {

class Xplane : public CliTest {
 protected:
  void SetUp() override { link_examples(); }
};

TEST_F(Xplane, PrintsEachPointOnceAndTheIntervals) {
  put("c.crv", circle_text(2.0));
  // The circle of radius 2 cut by x = 1: two points at y = +-sqrt(3).
  RunResult r = ok({"xplane", "c.crv", "1", "0", "0", "3", "0", "0"});
  std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[0], "points 2");
  for (int i = 0; i < 2; ++i) {
    const std::vector<double> v = numbers_in(lines[1 + i]);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(v[1], 1.0, 1e-12);
    EXPECT_NEAR(v[2], i == 0 ? std::sqrt(3.0) : -std::sqrt(3.0), 1e-12);
  }
  EXPECT_EQ(lines[3], "intervals 0");
  // Cut through its joint by y = 0: the joint once, at the start parameter.
  r = ok({"xplane", "c.crv", "0", "0", "0", "0", "1", "0"});
  expect_contains(r.out, {"points 2\n  u 0  at 2 0 0\n  u 0.5  at -2 "});
  // The line lies in the plane z = 0: one interval over its domain, no points.
  r = ok({"xplane", "examples/line.cv", "0", "0", "0", "0", "0", "1"});
  expect_contains(r.out, {"points 0\nintervals 1\n  ["});
  for (const auto &t : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"xplane", "c.crv", "0", "0", "0", "0", "1"}, "takes FILE px py pz nx ny nz"},
           {{"xplane", "c.crv", "0", "0", "0", "0", "x", "1"}, "'x' is not a number"},
           {{"xplane", "c.crv", "0", "0", "0", "0", "0", "0"}, "normal must not be zero"},
       })
    expect_failure(run(t.first), 2, t.second);
  expect_failure(run({"xplane", "missing.crv", "0", "0", "0", "0", "0", "1"}), 2, "missing.crv");
}

TEST_F(Xplane, SvgMarksAndPrintsPlaneIntersections) {
  put("c.crv", circle_text(2.0));
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
  expect_failure(run({"svg", "c.crv", "-o", "p.svg", "--plane", "0", "0", "0", "0", "0"}), 2,
                 "--plane needs px py pz nx ny nz");
  expect_failure(run({"svg", "c.crv", "-o", "p.svg", "--plane", "0", "0", "0", "0", "0", "0"}), 2,
                 "normal must not be zero");
}

}  // namespace
}  // namespace clitest
