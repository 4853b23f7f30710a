// Curve files and a scratch directory shared by the knotwork program tests.
#ifndef KNOTWORK_TESTS_CLI_CURVES_FIXTURE_HPP
#define KNOTWORK_TESTS_CLI_CURVES_FIXTURE_HPP

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tool_runner.hpp"

namespace clitest {

// C(u) = (u, u^2, 0) on [0, 1]: a quadratic Bezier with exact derivatives (1, 2u, 0)
// and (0, 2, 0).
inline std::string parabola_text() {
  return curve_text(3, {0, 0, 0, 0.5, 0, 0, 1, 1, 0}, {}, {0, 0, 0, 1, 1, 1});
}

// The quarter of the unit circle from (1, 0) to (0, 1) as a rational quadratic;
// its middle point is (sqrt(1/2), sqrt(1/2), 0).
inline std::string quarter_text() {
  return curve_text(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, std::sqrt(0.5), 1}, {0, 0, 0, 1, 1, 1});
}

// The whole unit circle about the origin: nine poles, four quarter arcs.
inline std::string circle_text(double radius = 1.0) {
  const double r = radius, s = std::sqrt(0.5);
  return curve_text(
      3, {r, 0, 0, r, r, 0, 0, r, 0, -r, r, 0, -r, 0, 0, -r, -r, 0, 0, -r, 0, r, -r, 0, r, 0, 0},
      {1, s, 1, s, 1, s, 1, s, 1}, {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1});
}

// An open cubic with an interior knot, in the xz plane (y = 0).
inline std::string cubic_xz_text() {
  return curve_text(4, {0, 0, 0, 1, 0, 2, 2, 0, -1, 3, 0, 1, 4, 0, 0}, {},
                    {0, 0, 0, 0, 0.5, 1, 1, 1, 1});
}

class CliTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string put(const std::string &name, const std::string &text) {
    write_text(dir.file(name), text);
    return name;
  }
  RunResult run(const std::vector<std::string> &args) {
    RunResult r = run_knotwork(args, dir.path());
    EXPECT_TRUE(r.exited) << "knotwork ended by signal " << r.signal << "\nstderr:\n" << r.err;
    return r;
  }
  // A failure must be explained on stderr and leave stdout free of the message.
  void expect_failure(const RunResult &r, int code, const std::string &message) {
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exit_code, code) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << "stderr was:\n" << r.err;
    EXPECT_NE(r.err.find("knotwork: "), std::string::npos) << r.err;
  }
};

}  // namespace clitest

#endif
