<<<<<<< HEAD
// knotwork intersect: crossing points and overlaps of two curve files, usage errors.
=======
// knotwork xplane end to end: points and intervals on curves of known geometry,
// usage errors.
>>>>>>> roots17
#include "tool_runner.hpp"

namespace clitest {
namespace {

<<<<<<< HEAD
class Intersect : public CliTest {};

TEST_F(Intersect, PrintsPointsAndOverlaps) {
  put("p.crv", parabola_text());
  put("h.crv", curve_text(2, {0, 0.25, 0, 1, 0.25, 0}, {}, {0, 0, 1, 1}));
  put("d.crv", curve_text(2, {0.5, 0.25, 0, 2, 0.25, 0}, {}, {0, 0, 1, 1}));
  RunResult r = ok({"intersect", "p.crv", "h.crv"});
  expect_contains(r.out, {"points 1\n", "overlaps 0\n"});
  const std::vector<double> v = numbers_in(line_starting(r.out, "  point"));
  ASSERT_EQ(v.size(), 5u) << r.out;
  EXPECT_NEAR(v[0], 0.5, 1e-12);
  EXPECT_NEAR(v[1], 0.25, 1e-12);
  EXPECT_NEAR(v[3], 0.5, 1e-12);  // u1 on the parabola
  EXPECT_NEAR(v[4], 0.5, 1e-12);  // u2 on the segment
  r = ok({"intersect", "h.crv", "d.crv"});
  expect_contains(r.out, {"points 0\n", "overlaps 1\n"});
  const std::vector<double> o = numbers_in(line_starting(r.out, "  overlap"));
  ASSERT_EQ(o.size(), 10u) << r.out;
  EXPECT_NEAR(o[0], 0.5, 1e-12);
  EXPECT_NEAR(o[3], 1.0, 1e-12);
  // The svg picture marks the crossing and the overlap and prints them.
  r = ok({"svg", "p.crv", "h.crv", "d.crv", "--intersect", "-o", "x.svg"});
  expect_contains(
      r.out, {"curves 1 and 2 meet at (0.5, 0.25, 0)", "curves 2 and 3 overlap from u 0.5 to 1"});
  EXPECT_NE(svg("x.svg").elements.size(), 0u);
  expect_failure(run({"intersect", "p.crv"}), 2, "intersect takes FILE1 FILE2");
  expect_failure(run({"intersect", "p.crv", "missing.crv"}), 2, "missing.crv");
=======
class Intersect : public CliTest {
 protected:
  void SetUp() override { link_examples(); }
};

TEST_F(Intersect, XplanePrintsEachPointOnceAndTheIntervals) {
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
>>>>>>> roots17
}

}  // namespace
}  // namespace clitest
