// The commands shown in examples/README.md, run again: the documented output must be
// what the program prints (numbers within a relative 1e-12), so the examples stay true.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "curves_fixture.hpp"

namespace clitest {
namespace {

struct Example {
  std::vector<std::string> args;
  std::vector<std::string> output;
};

std::vector<Example> readme_examples() {
  std::vector<Example> examples;
  const std::vector<std::string> lines =
      lines_of(read_text(std::string(KNOTWORK_EXAMPLES) + "/README.md"));
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "```console" || i + 1 >= lines.size()) continue;
    Example e;
    std::istringstream command(lines[++i]);
    std::string word;
    command >> word;  // "$"
    command >> word;  // "knotwork"
    while (command >> word) e.args.push_back(word);
    while (++i < lines.size() && lines[i] != "```") e.output.push_back(lines[i]);
    examples.push_back(e);
  }
  return examples;
}

bool as_number(const std::string &word, double *value) {
  char *end = nullptr;
  *value = std::strtod(word.c_str(), &end);
  return end != word.c_str() && *end == '\0';
}

// Same words, numbers equal within a relative 1e-12.
bool same_line(const std::string &expected, const std::string &actual) {
  std::istringstream a(expected), b(actual);
  std::string x, y;
  while (true) {
    const bool more_a = static_cast<bool>(a >> x), more_b = static_cast<bool>(b >> y);
    if (more_a != more_b) return false;
    if (!more_a) return true;
    double u, v;
    if (x == y) continue;
    if (!as_number(x, &u) || !as_number(y, &v)) return false;
    if (std::fabs(u - v) > 1e-12 * std::max(1.0, std::fabs(u))) return false;
  }
}

class ExamplesReadme : public CliTest {};

TEST_F(ExamplesReadme, ShowsTheRealOutputOfItsCommands) {
  const std::vector<Example> examples = readme_examples();
  ASSERT_GE(examples.size(), 3u) << "examples/README.md shows three commands";
  std::filesystem::create_directory_symlink(KNOTWORK_EXAMPLES, dir.file("examples"));
  for (const Example &e : examples) {
    std::string shown = "knotwork";
    for (const std::string &a : e.args) shown += " " + a;
    const RunResult r = run(e.args);
    ASSERT_EQ(r.exit_code, 0) << shown << "\n" << r.err;
    const std::vector<std::string> actual = lines_of(r.out);
    ASSERT_EQ(actual.size(), e.output.size()) << shown << " prints:\n" << r.out;
    for (size_t i = 0; i < actual.size(); ++i)
      EXPECT_TRUE(same_line(e.output[i], actual[i]))
          << shown << "\n  README: " << e.output[i] << "\n  actual: " << actual[i];
  }
}

}  // namespace
}  // namespace clitest
