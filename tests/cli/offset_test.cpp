// knotwork offset end to end: the offset of a circle read back and evaluated, and
// the usage errors.
#include <cmath>

#include "tool_runner.hpp"

namespace clitest {
namespace {

class OffsetCommand : public CliTest {};

TEST_F(OffsetCommand, WritesTheOffsetAsADump) {
  put("c.crv", circle_text(2.0));
  for (const double d : {0.5, -0.5}) {
    put("o.crv", ok({"offset", "c.crv", d > 0 ? "0.5" : "-0.5", "0", "0", "1"}).out);
    const std::vector<double> p =
        numbers_in(line_starting(ok({"eval", "o.crv", "0.3"}).out, "point"));
    ASSERT_EQ(p.size(), 3u);
    // Right of a counterclockwise circle is outside.
    EXPECT_NEAR(std::hypot(p[0], p[1]), 2.0 + d, 1e-12);
  }
  expect_failure(run({"offset", "c.crv"}), 2, "offset takes FILE d [nx ny nz]");
  expect_failure(run({"offset", "c.crv", "x"}), 2, "is not a number");
  expect_failure(run({"offset", "missing.crv", "1"}), 2, "missing.crv");
}

}  // namespace
}  // namespace clitest
