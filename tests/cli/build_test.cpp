// knotwork circle / arc end to end: the written curves read back as exact circles.
#include "tool_runner.hpp"

namespace clitest {
namespace {

class Build : public CliTest {
 protected:
  std::vector<double> point(const std::string &file, const std::string &u) {
    return numbers_in(line_starting(ok({"eval", file, u}).out, "point"));
  }
};

TEST_F(Build, CirclesAndArcsAreWrittenExactly) {
  expect_contains(ok({"circle", "1", "2", "3", "2", "0", "0", "5", "c.cv"}).out,
                  {"circle: c.cv, order 3, 7 poles, rational, domain [0, 1]"});
  expect_contains(ok({"info", "c.cv"}).out, {"closed"});
  ok({"arc", "3", "2", "3", "1", "2", "3", "1", "0", "3", "0", "0", "1", "a.cv"});  // 270 deg
  ok({"arc", "1", "0", "0", "0", "1", "0", "-1", "0", "0", "t.cv"});  // through (0, 1, 0)
  for (const char *u : {"0", "0.1", "0.25", "0.5", "0.77", "1"}) {
    const std::vector<double> p = point("c.cv", u), q = point("a.cv", u), t = point("t.cv", u);
    ASSERT_EQ(p.size() + q.size() + t.size(), 9u);
    EXPECT_NEAR(std::hypot(p[0] - 1, p[1] - 2), 2.0, 1e-15) << u;
    EXPECT_NEAR(p[2], 3.0, 1e-15);
    EXPECT_NEAR(std::hypot(q[0] - 1, q[1] - 2), 2.0, 1e-15) << u;
    EXPECT_FALSE(q[0] > 1 + 1e-9 && q[1] < 2 - 1e-9) << "counterclockwise from +x to -y";
    EXPECT_NEAR(std::hypot(t[0], t[1]), 1.0, 1e-15) << u;
    EXPECT_GE(t[1], 0.0);
  }
  EXPECT_EQ(point("a.cv", "1"), (std::vector<double>{1, 0, 3}));
  EXPECT_EQ(point("t.cv", "0.5"), (std::vector<double>{0, 1, 0}));
}

TEST_F(Build, JoinedCurvesTraceBothInputs) {
  link_examples();
  // The line and the cubic meet at their starts: the line is reversed.
  expect_contains(ok({"join", "examples/line.cv", "examples/cubic.cv", "j.cv"}).out,
                  {"joined: j.cv, order 4, 9 poles, domain [0, 1]"});
  EXPECT_EQ(point("j.cv", "0"), (std::vector<double>{10, 5, 0}));
  EXPECT_EQ(point("j.cv", "1"), (std::vector<double>{8, 0, 0}));
  const std::vector<double> mid = point("j.cv", "0.25");  // on the line
  ASSERT_EQ(mid.size(), 3u);
  EXPECT_NEAR(mid[0], 2 * mid[1], 1e-13);
  // An arc and a circle do not meet; arcs that meet join into one rational curve.
  ok({"arc", "1", "0", "0", "0", "0", "0", "0", "1", "0", "0", "0", "1", "a.cv"});
  ok({"arc", "0", "1", "0", "0", "0", "0", "-1", "0", "0", "0", "0", "1", "b.cv"});
  expect_contains(ok({"join", "a.cv", "b.cv", "ab.cv"}).out, {"5 poles, rational"});
  const std::vector<double> p = point("ab.cv", "0.7");
  EXPECT_NEAR(std::hypot(p.at(0), p.at(1)), 1.0, 1e-15);
  expect_failure(run({"join", "a.cv", "examples/line.cv", "x.cv"}), 1, "BSmerge_cv failed: BSFAIL");
  expect_failure(run({"join", "a.cv", "x.cv"}), 2, "join takes A B OUT");
}

TEST_F(Build, BadArgumentsFail) {
  const struct {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"circle", "0", "0", "0", "1", "0", "0", "1"}, 2, "circle takes"},
      {{"circle", "0", "0", "0", "r", "0", "0", "1", "c.cv"}, 2, "'r' is not a number"},
      {{"circle", "0", "0", "0", "0", "0", "0", "1", "c.cv"}, 1, "BSprepcirc failed: BSINARG"},
      {{"arc", "1", "0", "0", "c.cv"}, 2, "arc takes"},
      {{"arc", "1", "0", "0", "0", "0", "0", "2", "0", "0", "0", "0", "1", "a.cv"},
       1,
       "BSprepcarc failed: BSINARG"},
      {{"arc", "0", "0", "0", "1", "1", "1", "2", "2", "2", "a.cv"},
       1,
       "BSarc3pts failed: BSCOLLIN"},
      {{"arc", "0", "0", "0", "1", "0", "0", "0", "1", "0", "no/such/dir/a.cv"},
       2,
       "cannot create"},
  };
  for (const auto &t : cases) {
    SCOPED_TRACE(t.args[0] + " " + t.message);
    expect_failure(run(t.args), t.code, t.message);
  }
}

}  // namespace
}  // namespace clitest
