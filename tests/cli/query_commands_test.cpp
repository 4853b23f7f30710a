// knotwork project and knotwork nearest-all, end to end: exact feet on the shipped
// examples, intervals of equal distance, and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "curves_fixture.hpp"

namespace clitest {
namespace {

class QueryCommands : public CliTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directory_symlink(KNOTWORK_EXAMPLES, dir.file("examples"));
  }
  double value(const RunResult &r, const std::string &prefix, size_t index = 0) {
    const std::vector<double> v = numbers_in(line_starting(r.out, prefix));
    EXPECT_GT(v.size(), index) << prefix << " in\n" << r.out;
    return v.size() > index ? v[index] : NAN;
  }
};

TEST_F(QueryCommands, ProjectFindsTheExactFootOnTheQuarterCircle) {
  const RunResult r = run({"project", "examples/quarter_circle.cv", "2", "2", "0"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const double h = std::sqrt(0.5);
  EXPECT_NEAR(value(r, "parameter"), 0.5, 1e-9);
  EXPECT_NEAR(value(r, "foot", 0), h, 1e-12);
  EXPECT_NEAR(value(r, "foot", 1), h, 1e-12);
  EXPECT_NEAR(value(r, "distance"), 2 * std::sqrt(2.0) - 1, 1e-12);
}

TEST_F(QueryCommands, ProjectAgreesWithSvgPoints) {
  const RunResult p = run({"project", "examples/cubic.cv", "1", "2", "0"});
  ASSERT_EQ(p.exit_code, 0) << p.err;
  const RunResult s = run({"svg", "examples/cubic.cv", "-o", "c.svg", "--points", "1,2,0"});
  ASSERT_EQ(s.exit_code, 0) << s.err;
  const std::vector<double> v = numbers_in(line_starting(s.out, "nearest to (1, 2, 0)"));
  ASSERT_EQ(v.size(), 8u) << s.out;
  EXPECT_EQ(v[3], value(p, "parameter"));
  EXPECT_EQ(v[7], value(p, "distance"));
}

TEST_F(QueryCommands, NearestAllGivesTheArcAroundItsCentreAsAnInterval) {
  const RunResult r = run({"nearest-all", "examples/quarter_circle.cv", "0", "0", "0"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NEAR(value(r, "distance"), 1.0, 1e-12);
  EXPECT_EQ(line_starting(r.out, "parameters"), "parameters 0");
  EXPECT_EQ(line_starting(r.out, "intervals"), "intervals 1");
  EXPECT_EQ(line_starting(r.out, "  ["), "  [0, 1]");
}

TEST_F(QueryCommands, NearestAllOnAPointOfTheLine) {
  const RunResult r = run({"nearest-all", "examples/line.cv", "5", "2.5", "0"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NEAR(value(r, "distance"), 0.0, 1e-12);
  EXPECT_EQ(line_starting(r.out, "parameters"), "parameters 1");
  EXPECT_NEAR(value(r, "  0."), 0.5, 1e-12);
  EXPECT_EQ(line_starting(r.out, "intervals"), "intervals 0");
}

TEST_F(QueryCommands, BadArgumentsAndFilesFailWithAMessage) {
  for (const char *command : {"project", "nearest-all"}) {
    expect_failure(run({command, "examples/line.cv", "1", "2"}), 2, "takes FILE x y z");
    expect_failure(run({command, "examples/line.cv", "1", "two", "3"}), 2, "is not a number");
    expect_failure(run({command, "examples/line.cv", "nan", "0", "0"}), 2, "is not a number");
    expect_failure(run({command, "examples/line.cv", "0", "inf", "0"}), 2, "is not a number");
    expect_failure(run({command, "missing.cv", "0", "0", "0"}), 2, "cannot open 'missing.cv'");
    put("bad.cv", "BScurve\norder 2\nperiodic 0\nnon_uniform 0\nnum_poles 1\n");
    expect_failure(run({command, "bad.cv", "0", "0", "0"}), 1, "BSreadcv");
  }
}

TEST_F(QueryCommands, DamagedFilesNeverCrash) {
  const std::string text = read_text(std::string(KNOTWORK_EXAMPLES) + "/periodic_cubic.cv");
  const char replacements[] = {'0', '-', 'q', '\n', '9'};
  for (size_t at = 0; at < text.size(); at += 29) {
    std::string damaged = text;
    damaged[at] = replacements[at % sizeof replacements];
    put("d.cv", damaged);
    for (const char *command : {"project", "nearest-all"}) {
      const RunResult r = run({command, "d.cv", "0.5", "-1", "0"});
      ASSERT_TRUE(r.exited) << command << " damaged at " << at;
      EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << command << ": " << r.err;
    }
  }
}

TEST_F(QueryCommands, SvgRefusesAQueryPointBeyondEveryDistance) {
  put("circle.crv", circle_text());
  expect_failure(run({"svg", "circle.crv", "-o", "far.svg", "--points", "1e308,-1e308,1e308"}), 1,
                 "BSINARG (-2)");
  EXPECT_FALSE(file_exists(dir.file("far.svg")));
}

}  // namespace
}  // namespace clitest
