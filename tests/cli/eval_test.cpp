// knotwork eval and knotwork sample, end to end: exact values of known curves,
// every curve of a file, and argument errors.
#include <gtest/gtest.h>

#include <cmath>

#include "curves_fixture.hpp"

namespace clitest {
namespace {

class EvalCommand : public CliTest {};
class SampleCommand : public CliTest {};

void expect_triple(const std::string &line, double x, double y, double z, double tol) {
  const std::vector<double> v = numbers_in(line);
  ASSERT_GE(v.size(), 3u) << line;
  const size_t o = v.size() - 3;
  EXPECT_NEAR(v[o], x, tol) << line;
  EXPECT_NEAR(v[o + 1], y, tol) << line;
  EXPECT_NEAR(v[o + 2], z, tol) << line;
}

TEST_F(EvalCommand, PrintsPointAndDerivativesOfAParabola) {
  put("p.crv", parabola_text());
  const RunResult r = run({"eval", "p.crv", "0.25", "2"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  EXPECT_NE(r.out.find("curve p.crv: order 3, 3 poles, domain [0, 1]"), std::string::npos) << r.out;
  EXPECT_EQ(line_starting(r.out, "u "), "u 0.25");
  expect_triple(line_starting(r.out, "point"), 0.25, 0.0625, 0, 1e-15);
  expect_triple(line_starting(r.out, "derivative 1"), 1, 0.5, 0, 1e-14);
  expect_triple(line_starting(r.out, "derivative 2"), 0, 2, 0, 1e-13);
  EXPECT_EQ(line_starting(r.out, "derivative 3"), "");
}

TEST_F(EvalCommand, DerivativesAboveTheDegreeAreZero) {
  put("p.crv", parabola_text());
  const RunResult r = run({"eval", "p.crv", "0.5", "4"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  expect_triple(line_starting(r.out, "derivative 3"), 0, 0, 0, 0);
  expect_triple(line_starting(r.out, "derivative 4"), 0, 0, 0, 0);
}

TEST_F(EvalCommand, RationalQuarterCircleIsExact) {
  put("q.crv", quarter_text());
  const RunResult r = run({"eval", "q.crv", "0.5", "1"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const double h = std::sqrt(0.5);
  expect_triple(line_starting(r.out, "point"), h, h, 0, 1e-15);
  // The tangent is perpendicular to the radius.
  const std::vector<double> d = numbers_in(line_starting(r.out, "derivative 1"));
  ASSERT_EQ(d.size(), 4u);
  EXPECT_NEAR(d[1] * h + d[2] * h, 0.0, 1e-13);
  EXPECT_GT(std::hypot(d[1], d[2]), 1.0);
}

TEST_F(EvalCommand, PrintsRoundTripPrecision) {
  put("q.crv", quarter_text());
  const RunResult r = run({"eval", "q.crv", "0.3"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<double> p = numbers_in(line_starting(r.out, "point"));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, 2.3e-16);
}

TEST_F(EvalCommand, ParameterOutsideTheDomainIsExtrapolatedWithANote) {
  put("p.crv", parabola_text());
  const RunResult r = run({"eval", "p.crv", "2"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("outside the domain"), std::string::npos) << r.err;
  expect_triple(line_starting(r.out, "point"), 2, 4, 0, 1e-13);
}

TEST_F(EvalCommand, EvaluatesEveryCurveOfTheFile) {
  put("two.crv", parabola_text() + quarter_text());
  const RunResult r = run({"eval", "two.crv", "1"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("curve two.crv#1"), std::string::npos);
  EXPECT_NE(r.out.find("curve two.crv#2"), std::string::npos);
}

TEST_F(EvalCommand, RejectsBadArguments) {
  put("p.crv", parabola_text());
  expect_failure(run({"eval"}), 2, "eval needs FILE u [d]");
  expect_failure(run({"eval", "p.crv"}), 2, "eval needs");
  expect_failure(run({"eval", "p.crv", "0.5", "1", "2"}), 2, "eval needs");
  expect_failure(run({"eval", "p.crv", "half"}), 2, "'half' is not a parameter value");
  expect_failure(run({"eval", "p.crv", "nan"}), 2, "not a parameter value");
  expect_failure(run({"eval", "p.crv", "0.5", "-1"}), 2, "derivative count");
  expect_failure(run({"eval", "p.crv", "0.5", "16"}), 2, "derivative count");
  expect_failure(run({"eval", "p.crv", "0.5", "2x"}), 2, "derivative count");
  expect_failure(run({"eval", "nothere.crv", "0.5"}), 2, "cannot open 'nothere.crv'");
  put("bad.crv", "BScurve\norder 3\nperiodic 0\nnon_uniform 0\nnum_poles 2\n");
  expect_failure(run({"eval", "bad.crv", "0.5"}), 1, "BSreadcv");
}

TEST_F(SampleCommand, PrintsEvenlySpacedParametersAndPoints) {
  put("p.crv", parabola_text());
  const RunResult r = run({"sample", "p.crv", "5"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::vector<double>> rows;
  for (const std::string &line : lines_of(r.out))
    if (!line.empty() && line[0] != '#') rows.push_back(numbers_in(line));
  ASSERT_EQ(rows.size(), 5u) << r.out;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(rows[i].size(), 4u);
    const double u = 0.25 * i;
    EXPECT_DOUBLE_EQ(rows[i][0], u);
    EXPECT_NEAR(rows[i][1], u, 1e-15);
    EXPECT_NEAR(rows[i][2], u * u, 1e-15);
    EXPECT_EQ(rows[i][3], 0.0);
  }
  EXPECT_NE(r.out.find("# curve p.crv: order 3"), std::string::npos);
}

TEST_F(SampleCommand, EndsExactlyAtTheDomainEnds) {
  put("c.crv", cubic_xz_text());
  const RunResult r = run({"sample", "c.crv", "7"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::vector<double>> rows;
  for (const std::string &line : lines_of(r.out))
    if (!line.empty() && line[0] != '#') rows.push_back(numbers_in(line));
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows.front()[0], 0.0);
  EXPECT_EQ(rows.back()[0], 1.0);
  EXPECT_NEAR(rows.back()[1], 4.0, 1e-15) << "last pole";
  EXPECT_NEAR(rows.back()[3], 0.0, 1e-15);
}

TEST_F(SampleCommand, RejectsBadCounts) {
  put("p.crv", parabola_text());
  expect_failure(run({"sample", "p.crv"}), 2, "sample needs FILE N");
  expect_failure(run({"sample", "p.crv", "1"}), 2, "point count");
  expect_failure(run({"sample", "p.crv", "many"}), 2, "point count");
  expect_failure(run({"sample", "p.crv", "2000000"}), 2, "point count");
  expect_failure(run({"sample", "gone.crv", "4"}), 2, "cannot open");
}

}  // namespace
}  // namespace clitest
