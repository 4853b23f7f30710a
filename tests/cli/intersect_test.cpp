// knotwork intersect: crossing points and overlaps of two curve files, usage errors.
#include "tool_runner.hpp"

namespace clitest {
namespace {

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
}

}  // namespace
}  // namespace clitest
