// knotwork offset end to end: the offset of a circle read back and evaluated, and
// the usage errors; `knotwork svg --offset` drawing them.
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

TEST_F(OffsetCommand, SvgDrawsBaseAndOffsets) {
  put("c.crv", circle_text(2.0));
  const RunResult r = ok({"svg", "c.crv", "-o", "o.svg", "--offset", "0.5", "--offset", "-0.5"});
  expect_contains(r.out, {"wrote o.svg (view xy): 3 curves", "offset of c.crv at 0.5: order",
                          "offset of c.crv at -0.5: order"});
  const XmlReport xml = svg("o.svg");
  expect_contains(xml.text, {"c.crv offset 0.5", "c.crv offset -0.5"});
  expect_failure(run({"svg", "c.crv", "-o", "o.svg", "--offset"}), 2, "--offset needs a distance");
  expect_failure(run({"svg", "c.crv", "-o", "o.svg", "--offset", "x"}), 2, "'x' is not a number");
}

}  // namespace
}  // namespace clitest
