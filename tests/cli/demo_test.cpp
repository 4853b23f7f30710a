// knotwork demo and the program's general behaviour (help, unknown commands, tol).
#include <gtest/gtest.h>

#include "curves_fixture.hpp"

namespace clitest {
namespace {

class DemoCommand : public CliTest {};
class KnotworkProgram : public CliTest {};

TEST_F(DemoCommand, RunsQuicklyReportsAndWritesTheSvg) {
  const RunResult r = run({"demo"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_LT(r.seconds, 1.0);
  EXPECT_NE(r.out.find("Knotwork demo"), std::string::npos);
  EXPECT_NE(r.out.find("tolerances"), std::string::npos);
  EXPECT_NE(r.out.find("sample curves"), std::string::npos);
  EXPECT_NE(r.out.find("wrote demo.svg"), std::string::npos);
  const XmlReport xml = check_xml(read_text(dir.file("demo.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  EXPECT_EQ(xml.root, "svg");
  EXPECT_EQ(xml.root_attributes.count("viewBox"), 1u);
  for (const char *name : {"circle: order 3, 9 poles, rational", "cubic: order 4, 6 poles",
                           "loop: order 4, 9 poles, periodic, closed", "curvature comb"}) {
    bool found = false;
    for (const std::string &t : xml.texts) found = found || t.find(name) != std::string::npos;
    EXPECT_TRUE(found) << name;
  }
}

TEST_F(DemoCommand, SampleCurvesCheckOut) {
  const RunResult r = run({"demo"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<double> circle = numbers_in(line_starting(r.out, "  circle: largest radius"));
  ASSERT_EQ(circle.size(), 3u) << r.out;
  EXPECT_LT(circle[1], 1e-14) << "radius error";
  EXPECT_LT(circle[2], 1e-13) << "curvature error";
  const std::vector<double> loop = numbers_in(line_starting(r.out, "  loop:   gap"));
  ASSERT_EQ(loop.size(), 1u) << r.out;
  EXPECT_LT(loop[0], 1e-14);
}

TEST_F(DemoCommand, NearestPointOnTheCircleIsExact) {
  const RunResult r = run({"demo"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("nearest points (BSmdstptcv)"), std::string::npos) << r.out;
  const std::vector<double> error = numbers_in(line_starting(r.out, "         exact foot"));
  ASSERT_FALSE(error.empty()) << r.out;
  EXPECT_LT(error.back(), 1e-9);
  const XmlReport xml = check_xml(read_text(dir.file("demo.svg")));
  ASSERT_TRUE(xml.ok) << xml.error;
  int feet = 0;
  for (const auto &e : xml.elements)
    if (e.at("") == "circle" && e.count("class") && e.at("class") == "foot") ++feet;
  EXPECT_EQ(feet, 3);
  // From the centre of the circle every point is nearest: one interval, the domain.
  EXPECT_NE(r.out.find("circle from its centre: 0 parameter(s), 1 interval(s) [0, 1], distance "
                       "1.5"),
            std::string::npos)
      << r.out;
}

TEST_F(DemoCommand, TakesNoArguments) {
  expect_failure(run({"demo", "extra"}), 2, "demo takes no arguments");
  EXPECT_FALSE(file_exists(dir.file("demo.svg")));
}

TEST_F(KnotworkProgram, HelpListsEveryCommand) {
  const RunResult r = run({"help"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char *synopsis :
       {"demo", "tol [NAME VALUE", "eval FILE u [d]", "sample FILE N", "svg FILE... -o OUT.svg",
        "info FILE", "dump FILE", "project FILE x y z", "nearest-all FILE x y z",
        "split FILE u OUT1 OUT2", "extract FILE ua ub OUT", "reverse FILE OUT",
        "insert FILE u [times] OUT", "help [COMMAND]"})
    EXPECT_NE(r.out.find(synopsis), std::string::npos) << synopsis;
  const RunResult svg = run({"help", "svg"});
  ASSERT_EQ(svg.exit_code, 0);
  EXPECT_NE(svg.out.find("usage: knotwork svg"), std::string::npos);
  EXPECT_NE(svg.out.find("example: knotwork svg"), std::string::npos);
  EXPECT_EQ(run({"--help"}).exit_code, 0);
  // Every listed command has its own help with an example.
  for (const std::string &line : lines_of(r.out)) {
    if (line.compare(0, 2, "  ") != 0) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    const RunResult one = run({"help", name});
    EXPECT_EQ(one.exit_code, 0) << name;
    EXPECT_NE(one.out.find("example: knotwork " + name), std::string::npos) << name;
  }
}

TEST_F(KnotworkProgram, UnknownCommandsAndMissingCommandAreUsageErrors) {
  expect_failure(run({}), 2, "missing command");
  expect_failure(run({"frobnicate"}), 2, "unknown command 'frobnicate'");
  expect_failure(run({"help", "frobnicate"}), 2, "unknown command 'frobnicate'");
}

TEST_F(KnotworkProgram, TolShowsAndSetsTolerances) {
  const RunResult r = run({"tol", "dist_tol", "1e-5"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("dist_tol         1e-05"), std::string::npos) << r.out;
  expect_failure(run({"tol", "no_such_tol", "1"}), 2, "unknown tolerance");
  expect_failure(run({"tol", "dist_tol"}), 2, "needs a value");
  expect_failure(run({"tol", "dist_tol", "small"}), 2, "is not a number");
}

}  // namespace
}  // namespace clitest
