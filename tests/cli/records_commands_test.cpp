// knotwork info and knotwork dump, end to end: summaries of the shipped examples,
// dumps that the program reads back to the same curve, and bad input.
#include <gtest/gtest.h>

#include <filesystem>

#include "curves_fixture.hpp"

namespace clitest {
namespace {

class RecordsCommands : public CliTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directory_symlink(KNOTWORK_EXAMPLES, dir.file("examples"));
  }
};

TEST_F(RecordsCommands, InfoSummarisesACurve) {
  const RunResult r = run({"info", "examples/cubic.cv"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("order        4 (degree 3)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("poles        6"), std::string::npos);
  EXPECT_NE(r.out.find("domain       [0, 3]"), std::string::npos);
  EXPECT_NE(r.out.find("knots        10: 0 (x4) 1 2 3 (x4)"), std::string::npos);
  const RunResult q = run({"info", "examples/quarter_circle_hex.cv"});
  ASSERT_EQ(q.exit_code, 0) << q.err;
  EXPECT_NE(q.out.find("rational     yes"), std::string::npos);
}

TEST_F(RecordsCommands, DumpReadsBackToTheSameCurve) {
  // Unlabelled and hex dumps written by the program evaluate like the original.
  const RunResult original = run({"eval", "examples/quarter_circle.cv", "0.3", "2"});
  ASSERT_EQ(original.exit_code, 0) << original.err;
  for (const char *mode : {"", "--hex"}) {
    std::vector<std::string> args{"dump", "examples/quarter_circle.cv"};
    if (*mode) args.push_back(mode);
    const RunResult d = run(args);
    ASSERT_EQ(d.exit_code, 0) << d.err;
    put("again.cv", d.out);
    const RunResult again = run({"eval", "again.cv", "0.3", "2"});
    ASSERT_EQ(again.exit_code, 0) << mode << "\n" << again.err;
    EXPECT_EQ(line_starting(again.out, "point"), line_starting(original.out, "point")) << mode;
    EXPECT_EQ(line_starting(again.out, "derivative 2"), line_starting(original.out, "derivative 2"))
        << mode;
  }
}

TEST_F(RecordsCommands, LabelledDumpNamesPolesAndTheCurve) {
  const RunResult r = run({"dump", "examples/line.cv", "--labelled"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("pole[0] ("), std::string::npos);
  EXPECT_NE(r.out.find("pole[1] ("), std::string::npos);
  EXPECT_NE(r.out.find("End of curve \"examples/line.cv\""), std::string::npos);
}

TEST_F(RecordsCommands, BadInputFailsWithAMessage) {
  expect_failure(run({"info", "missing.cv"}), 2, "cannot open 'missing.cv'");
  put("bad.cv", "BScurve\norder 4\nperiodic 0\nnon_uniform 0\nnum_poles 2\n");
  expect_failure(run({"info", "bad.cv"}), 1, "BSreadcv");
  expect_failure(run({"dump", "bad.cv"}), 1, "BSreadcv");
  put("empty.cv", "");
  RunResult r = run({"info", "empty.cv"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_FALSE(r.err.empty());
  expect_failure(run({"info"}), 2, "info takes one FILE");
  expect_failure(run({"dump"}), 2, "dump needs a FILE");
  expect_failure(run({"dump", "examples/line.cv", "--labelled", "--hex"}), 2, "exclude");
  expect_failure(run({"dump", "examples/line.cv", "--pretty"}), 2, "unknown option");
}

TEST_F(RecordsCommands, DamagedHexDumpsNeverCrash) {
  const std::string text = read_text(std::string(KNOTWORK_EXAMPLES) + "/quarter_circle_hex.cv");
  for (size_t cut = 0; cut < text.size(); cut += 37) {
    put("d.cv", text.substr(0, cut));
    for (const char *command : {"info", "dump"}) {
      const RunResult r = run({command, "d.cv"});
      ASSERT_TRUE(r.exited) << command << " cut at " << cut;
      EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << command << " cut at " << cut;
    }
    const RunResult s = run({"svg", "d.cv", "-o", "d.svg"});
    ASSERT_TRUE(s.exited) << "svg cut at " << cut;
  }
}

}  // namespace
}  // namespace clitest
