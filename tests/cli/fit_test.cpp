// knotwork fit end to end: the written curve passes through the points of the file
// (checked with knotwork project), draws with them, and bad files or options fail
// with their exit codes.
#include "tool_runner.hpp"

namespace clitest {
namespace {

class FitCommand : public CliTest {};

TEST_F(FitCommand, WrittenCurvePassesThroughThePoints) {
  put("pts.txt", "# measured points\n0 0 0\n1, 2, 0\n\n3 1 1  # a comment\n4 3\n6 2 -1\n");
  const double pts[][3] = {{0, 0, 0}, {1, 2, 0}, {3, 1, 1}, {4, 3, 0}, {6, 2, -1}};
  for (const char *order : {"2", "3", "4", "7"}) {
    const RunResult r = ok({"fit", "pts.txt", "out.cv", "--order", order});
    expect_contains(r.out, {"fit 5 points: out.cv: order " + std::string(order)});
    for (const auto &p : pts) {
      const RunResult q = ok(
          {"project", "out.cv", std::to_string(p[0]), std::to_string(p[1]), std::to_string(p[2])});
      const std::vector<double> d = numbers_in(line_starting(q.out, "distance"));
      ASSERT_EQ(d.size(), 1u) << q.out;
      EXPECT_LT(d[0], 1e-12) << order;
    }
  }
  put("loop.txt", "0 0 0\n2 0 0\n2 2 0\n0 2 0\n0 0 0\n");
  expect_contains(ok({"fit", "loop.txt", "loop.cv", "--periodic"}).out, {"periodic, closed"});
  ok({"svg", "loop.cv", "-o", "loop.svg", "--poles", "--points", "2,0,0", "0,2,0"});
  EXPECT_TRUE(check_xml(read_text(dir.file("loop.svg"))).ok);
}

TEST_F(FitCommand, BadInputFailsWithItsCode) {
  put("pts.txt", "0 0 0\n1 1 0\n2 0 0\n");
  put("bad.txt", "0 0 0\n1 one 0\n");
  put("empty.txt", "# nothing\n");
  put("dup.txt", "0 0 0\n1 1 0\n1 1 0\n2 0 0\n");
  const struct {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"fit", "pts.txt"}, 2, "fit takes POINTS OUT"},
      {{"fit", "missing.txt", "o.cv"}, 2, "cannot open"},
      {{"fit", "bad.txt", "o.cv"}, 2, "line 2: expected a point"},
      {{"fit", "empty.txt", "o.cv"}, 2, "holds no points"},
      {{"fit", "pts.txt", "o.cv", "--order", "17"}, 2, "--order needs"},
      {{"fit", "pts.txt", "o.cv", "--wiggle"}, 2, "unknown option"},
      {{"fit", "pts.txt", "o.cv", "--periodic"}, 1, "BSdirfitcv"},
      {{"fit", "dup.txt", "o.cv"}, 1, "BSFAIL"},
  };
  for (const auto &c : cases) {
    const RunResult r = run(c.args);
    EXPECT_EQ(r.exit_code, c.code) << c.message;
    expect_contains(r.err, {c.message});
  }
}

}  // namespace
}  // namespace clitest
