// knotwork split, extract, reverse and insert, end to end: the written curves are
// read back by the program and must trace the original curve.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "curves_fixture.hpp"

namespace clitest {
namespace {

class ModifyCommands : public CliTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directory_symlink(KNOTWORK_EXAMPLES, dir.file("examples"));
  }
  // The point of the curve in file at u, from `knotwork eval`.
  std::vector<double> point(const std::string &file, double u) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", u);
    const RunResult r = run({"eval", file, text});
    EXPECT_EQ(r.exit_code, 0) << file << " at " << text << "\n" << r.err;
    const std::vector<double> p = numbers_in(line_starting(r.out, "point"));
    EXPECT_EQ(p.size(), 3u) << r.out;
    return p.size() == 3 ? p : std::vector<double>{NAN, NAN, NAN};
  }
  void expect_same_point(const std::string &a, double ua, const std::string &b, double ub) {
    const std::vector<double> p = point(a, ua), q = point(b, ub);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(p[i], q[i], 1e-12) << a << "(" << ua << ") vs " << b << "(" << ub << ")";
  }
  // The domain [start, end] from a "name: file, order k, n poles, domain [a, b]" line.
  std::vector<double> domain(const RunResult &r, const std::string &prefix) {
    const std::vector<double> v = numbers_in(line_starting(r.out, prefix));
    EXPECT_EQ(v.size(), 4u) << r.out;
    return v.size() == 4 ? std::vector<double>{v[2], v[3]} : std::vector<double>{NAN, NAN};
  }
};

TEST_F(ModifyCommands, SplitPiecesTraceTheCurve) {
  const RunResult r = run({"split", "examples/cubic.cv", "1.5", "l.cv", "r.cv"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<double> left = domain(r, "left:"), right = domain(r, "right:");
  EXPECT_EQ(left, (std::vector<double>{0, 1.5}));
  EXPECT_EQ(right, (std::vector<double>{1.5, 3}));
  for (double u : {0.0, 0.4, 1.0, 1.5}) expect_same_point("l.cv", u, "examples/cubic.cv", u);
  for (double u : {1.5, 2.2, 3.0}) expect_same_point("r.cv", u, "examples/cubic.cv", u);
}

TEST_F(ModifyCommands, ExtractedPartTracesTheCurve) {
  const RunResult r = run({"extract", "examples/quarter_circle.cv", "0.7", "0.2", "p.cv"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<double> d = domain(r, "part:");
  EXPECT_NEAR(d[0], 0.2, 1e-15);
  EXPECT_NEAR(d[1], 0.7, 1e-15);
  for (double u : {0.2, 0.45, 0.7}) expect_same_point("p.cv", u, "examples/quarter_circle.cv", u);
}

TEST_F(ModifyCommands, ReversedCurveRunsBackwards) {
  const RunResult r = run({"reverse", "examples/cubic.cv", "rev.cv"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(domain(r, "reversed:"), (std::vector<double>{0, 3}));
  for (double u : {0.0, 0.8, 1.5, 3.0})
    expect_same_point("rev.cv", 3.0 - u, "examples/cubic.cv", u);
}

TEST_F(ModifyCommands, InsertedKnotsKeepTheShape) {
  const RunResult r = run({"insert", "examples/cubic.cv", "0.25", "2", "ins.cv"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("refined: ins.cv, order 4, 8 poles, domain [0, 3]"), std::string::npos)
      << r.out;
  for (double u : {0.0, 0.1, 0.25, 0.6, 2.9})
    expect_same_point("ins.cv", u, "examples/cubic.cv", u);
  const RunResult info = run({"info", "ins.cv"});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_NE(info.out.find("0.25 (x2)"), std::string::npos) << info.out;
  // Once more without a count: one knot.
  const RunResult once = run({"insert", "examples/cubic.cv", "2.5", "one.cv"});
  ASSERT_EQ(once.exit_code, 0) << once.err;
  EXPECT_NE(once.out.find("7 poles"), std::string::npos) << once.out;
}

TEST_F(ModifyCommands, ResultsDrawAsSvg) {
  ASSERT_EQ(run({"split", "examples/cubic.cv", "1", "a.cv", "b.cv"}).exit_code, 0);
  const RunResult r = run({"svg", "a.cv", "b.cv", "-o", "ab.svg", "--knots", "--poles"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(check_xml(read_text(dir.file("ab.svg"))).ok);
}

TEST_F(ModifyCommands, BadArgumentsFailWithAMessage) {
  expect_failure(run({"split", "examples/cubic.cv", "1.5", "l.cv"}), 2, "split takes");
  expect_failure(run({"split", "examples/cubic.cv", "x", "l.cv", "r.cv"}), 2, "is not a number");
  expect_failure(run({"split", "examples/cubic.cv", "5", "l.cv", "r.cv"}), 2,
                 "must lie inside the domain");
  expect_failure(run({"extract", "examples/cubic.cv", "0.2", "p.cv"}), 2, "extract takes");
  expect_failure(run({"extract", "examples/cubic.cv", "0.5", "0.5", "p.cv"}), 1, "BSactivsplt");
  expect_failure(run({"reverse", "examples/cubic.cv"}), 2, "reverse takes");
  expect_failure(run({"insert", "examples/cubic.cv", "ins.cv"}), 2, "insert takes");
  expect_failure(run({"insert", "examples/cubic.cv", "0.5", "0", "ins.cv"}), 2, "at least 1");
  expect_failure(run({"insert", "examples/cubic.cv", "0.5", "two", "ins.cv"}), 2,
                 "not a whole number");
  expect_failure(run({"insert", "examples/cubic.cv", "7", "ins.cv"}), 1, "BSadd_1kt_mul");
  expect_failure(run({"reverse", "examples/cubic.cv", "no/such/dir/r.cv"}), 2, "cannot create");
  for (const char *command : {"split", "extract", "reverse", "insert"}) {
    std::vector<std::string> args{command, "missing.cv", "0.5", "0.6", "o.cv"};
    if (std::string(command) == "reverse") args = {command, "missing.cv", "o.cv"};
    if (std::string(command) == "insert") args = {command, "missing.cv", "0.5", "o.cv"};
    expect_failure(run(args), 2, "cannot open 'missing.cv'");
  }
}

TEST_F(ModifyCommands, DamagedFilesNeverCrash) {
  const std::string text = read_text(std::string(KNOTWORK_EXAMPLES) + "/cubic.cv");
  const char replacements[] = {'0', '-', 'q', '\n', '9', '4'};
  for (size_t at = 0; at < text.size(); at += 31) {
    std::string damaged = text;
    damaged[at] = replacements[at % sizeof replacements];
    put("d.cv", damaged);
    const std::vector<std::vector<std::string>> commands = {
        {"split", "d.cv", "1.5", "l.cv", "r.cv"},
        {"extract", "d.cv", "0.5", "2.5", "p.cv"},
        {"reverse", "d.cv", "rev.cv"},
        {"insert", "d.cv", "1.25", "2", "ins.cv"}};
    for (const auto &args : commands) {
      const RunResult r = run(args);
      ASSERT_TRUE(r.exited) << args[0] << " damaged at " << at;
      EXPECT_GE(r.exit_code, 0) << args[0];
      EXPECT_LE(r.exit_code, 2) << args[0] << ": " << r.err;
    }
  }
}

}  // namespace
}  // namespace clitest
