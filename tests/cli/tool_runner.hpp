// Runs the built knotwork program for the end-to-end tests and checks what it writes.
#ifndef KNOTWORK_TESTS_CLI_TOOL_RUNNER_HPP
#define KNOTWORK_TESTS_CLI_TOOL_RUNNER_HPP

#include <map>
#include <string>
#include <vector>

namespace clitest {

// A fresh directory under the system temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct RunResult {
  bool exited = false;   // ended normally (not by a signal)
  int exit_code = -1;    // when exited
  int signal = 0;        // when ended by a signal
  std::string out, err;  // standard output and error
  double seconds = 0.0;  // wall time
};

// Runs the knotwork binary with the arguments in directory cwd (no shell). The
// program is killed after 60 seconds (which then shows as a signal).
RunResult run_knotwork(const std::vector<std::string> &args, const std::string &cwd);

void write_text(const std::string &path, const std::string &text);
std::string read_text(const std::string &path);
bool file_exists(const std::string &path);

// An unlabelled curve dump as the library reads it. poles holds Cartesian points
// (3 doubles each); weights is empty for a polynomial curve.
std::string curve_text(int order, const std::vector<double> &poles,
                       const std::vector<double> &weights, const std::vector<double> &knots,
                       bool periodic = false);

// The numbers of a line of text (words that parse whole as doubles), in order.
std::vector<double> numbers_in(const std::string &line);
// The first line of text that starts with prefix, or "" when none.
std::string line_starting(const std::string &text, const std::string &prefix);
// Lines of text.
std::vector<std::string> lines_of(const std::string &text);

// Result of the XML well-formedness check of a document.
struct XmlReport {
  bool ok = false;
  std::string error;  // first fault, with its offset
  std::string root;   // name of the root element
  std::map<std::string, std::string> root_attributes;
  std::map<std::string, int> element_counts;  // by element name
  std::vector<std::string> texts;             // character data, entities decoded
  // Attributes of every element, in document order, with the element name under "".
  std::vector<std::map<std::string, std::string>> elements;
};

// Checks that text is one well-formed XML document: an optional declaration, then
// exactly one root element; balanced, properly nested tags; quoted, unique
// attributes; valid names; character data without '<' and with known entities only.
XmlReport check_xml(const std::string &text);

}  // namespace clitest

#endif
