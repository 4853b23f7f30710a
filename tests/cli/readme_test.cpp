// The commands shown in examples/README.md, run again: the documented output must be
// what the program prints (numbers within a relative 1e-12), so the examples stay true.
#include "tool_runner.hpp"

namespace clitest {
namespace {

// Same words, numbers equal within a relative 1e-12.
bool same_line(const std::string &expected, const std::string &actual) {
  std::istringstream a(expected), b(actual);
  for (std::string x, y;;) {
    const bool more_a = static_cast<bool>(a >> x), more_b = static_cast<bool>(b >> y);
    if (more_a != more_b) return false;
    if (!more_a) return true;
    if (x == y) continue;
    const std::vector<double> u = numbers_in(x), v = numbers_in(y);
    if (u.size() != 1 || v.size() != 1 ||
        std::fabs(u[0] - v[0]) > 1e-12 * std::max(1.0, std::fabs(u[0])))
      return false;
  }
}

class ExamplesReadme : public CliTest {};

TEST_F(ExamplesReadme, ShowsTheRealOutputOfItsCommands) {
  link_examples();
  const std::vector<std::string> lines =
      lines_of(read_text(std::string(KNOTWORK_EXAMPLES) + "/README.md"));
  int examples = 0;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] != "```console") continue;
    // "$ knotwork ARGS...", then the output up to the closing fence.
    const std::string shown = lines[++i];
    std::istringstream command(shown);
    std::vector<std::string> args;
    std::string word;
    command >> word >> word;
    while (command >> word) args.push_back(word);
    std::vector<std::string> expected;
    while (++i < lines.size() && lines[i] != "```") expected.push_back(lines[i]);
    const std::vector<std::string> actual = lines_of(ok(args).out);
    ASSERT_EQ(actual.size(), expected.size()) << shown;
    for (size_t k = 0; k < actual.size(); ++k)
      EXPECT_TRUE(same_line(expected[k], actual[k]))
          << shown << "\n  README: " << expected[k] << "\n  actual: " << actual[k];
    ++examples;
  }
  EXPECT_GE(examples, 3) << "examples/README.md shows three commands";
}

}  // namespace
}  // namespace clitest
