// Runs the built knotwork program for the end-to-end tests and checks what it writes:
// process runner, file helpers, test curves, an XML well-formedness checker and the
// fixture with a fresh working directory per test.
#ifndef KNOTWORK_TESTS_CLI_TOOL_RUNNER_HPP
#define KNOTWORK_TESTS_CLI_TOOL_RUNNER_HPP

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace clitest {

struct RunResult {
  bool exited = false;   // ended normally (not by a signal)
  int exit_code = -1;    // when exited
  int signal = 0;        // when ended by a signal
  std::string out, err;  // standard output and error
  double seconds = 0.0;  // wall time
};

// Runs the knotwork binary with the arguments in directory cwd (no shell). Sanitizer
// reports exit with 86 (ASan) or 87 (UBSan); a program running over 60 s is killed.
RunResult run_knotwork(const std::vector<std::string> &args, const std::string &cwd);

void write_text(const std::string &path, const std::string &text);
std::string read_text(const std::string &path);
inline bool file_exists(const std::string &path) {
  return std::filesystem::exists(path);
}

// An unlabelled curve dump as the library reads it. poles holds Cartesian points
// (3 doubles each); weights is empty for a polynomial curve.
std::string curve_text(int order, const std::vector<double> &poles,
                       const std::vector<double> &weights, const std::vector<double> &knots);
// C(u) = (u, u^2, 0) on [0, 1]: derivatives (1, 2u, 0) and (0, 2, 0).
std::string parabola_text();
// The quarter of the unit circle from (1, 0) to (0, 1), rational; middle point (h, h, 0).
std::string quarter_text();
// The whole circle of the radius about the origin: nine poles, four quarter arcs.
std::string circle_text(double radius = 1.0);
// An order-17 Bezier curve (one above the largest supported order).
std::string order17_text();

// Expects every part to occur in text.
void expect_contains(const std::string &text, const std::vector<std::string> &parts);
// The numbers of a line of text (words that parse whole as doubles, punctuation stripped).
std::vector<double> numbers_in(const std::string &line);
// The first line of text that starts with prefix, or "" when none.
std::string line_starting(const std::string &text, const std::string &prefix);
std::vector<std::string> lines_of(const std::string &text);

// Result of the XML well-formedness check of a document.
struct XmlReport {
  bool ok = false;
  std::string error;               // first fault, with its offset
  std::vector<std::string> texts;  // character data, entities decoded
  // Attributes of every element in document order (the root first), name under "".
  std::vector<std::map<std::string, std::string>> elements;
  int count(const std::string &element, const std::string &cls = "") const;
  std::string all_text() const;  // the character data joined by newlines
};

// Checks that text is one well-formed XML document: an optional declaration, then
// exactly one root element; balanced, properly nested tags; quoted, unique
// attributes; valid names; character data without '<' and with known entities only.
XmlReport check_xml(const std::string &text);

// A fresh working directory under the system temporary folder, removed with its contents.
struct TempDir {
  TempDir();
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const std::string &name) const { return path + "/" + name; }
  std::string path;
};

class CliTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string put(const std::string &name, const std::string &text) {
    write_text(dir.file(name), text);
    return name;
  }
  // Makes the shipped example curves available as examples/NAME.
  void link_examples();
  // Runs the program; death by a signal is a failure.
  RunResult run(const std::vector<std::string> &args);
  // Runs and expects exit 0 with no sanitizer report.
  RunResult ok(const std::vector<std::string> &args);
  // A failure must be explained on stderr as "knotwork: ...message...".
  void expect_failure(const RunResult &r, int code, const std::string &message);
  // The well-formed SVG document written to file.
  XmlReport svg(const std::string &file);
};

}  // namespace clitest

#endif
