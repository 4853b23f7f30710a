// knotwork length and at-length end to end: exact lengths of a parabola and a
// circle, the inverse landing on the point at that length, usage errors.
#include "tool_runner.hpp"

namespace clitest {
namespace {

class ArcCommands : public CliTest {};

TEST_F(ArcCommands, LengthAndAtLength) {
  put("p.crv", parabola_text());
  put("c.crv", circle_text(2.0));
  const double parabola = (2 * std::sqrt(5.0) + std::asinh(2.0)) / 4;  // integral of sqrt(1 + 4u^2)
  EXPECT_NEAR(numbers_in(line_starting(ok({"length", "p.crv"}).out, "length")).at(0), parabola,
              1e-12);
  EXPECT_NEAR(numbers_in(line_starting(ok({"length", "c.crv", "0", "0.25"}).out, "length")).at(0),
              M_PI, 1e-12);
  const RunResult r = ok({"at-length", "c.crv", "3.14159265358979"});
  const std::vector<double> p = numbers_in(line_starting(r.out, "point"));
  ASSERT_EQ(p.size(), 3u) << r.out;
  EXPECT_NEAR(p[0], 0.0, 1e-11);
  EXPECT_NEAR(p[1], 2.0, 1e-11);
  EXPECT_EQ(run({"at-length", "p.crv", "2"}).exit_code, 1);  // beyond the end
  EXPECT_EQ(run({"length", "p.crv", "0"}).exit_code, 2);
  EXPECT_EQ(run({"at-length", "p.crv", "-1"}).exit_code, 2);
}

}  // namespace
}  // namespace clitest
