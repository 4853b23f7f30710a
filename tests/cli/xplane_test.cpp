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

}  // namespace
}  // namespace clitest
