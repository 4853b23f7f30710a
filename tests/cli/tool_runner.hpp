// Runs the built knotwork program for the end-to-end tests and checks what it writes:
// process runner, file helpers, test curves, an XML well-formedness checker and the
// fixture with a fresh working directory per test.
#ifndef KNOTWORK_TESTS_CLI_TOOL_RUNNER_HPP
#define KNOTWORK_TESTS_CLI_TOOL_RUNNER_HPP

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace clitest {

struct RunResult {
  bool exited = false;   // ended normally (not by a signal)
  int exit_code = -1;    // when exited
  int signal = 0;        // when ended by a signal
  std::string out, err;  // standard output and error
};

inline std::string read_text(const std::string &path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// Runs the knotwork binary with the arguments in directory cwd: every word quoted for
// the shell, which execs the program so that a death by a signal stays visible.
// Sanitizer reports exit with 86 (ASan) or 87 (UBSan); a program using over 60 s of
// processor time is killed.
inline RunResult run_knotwork(const std::vector<std::string> &args, const std::string &cwd) {
  const auto quote = [](const std::string &word) {
    std::string q(1, '\'');
    for (const char c : word) c == '\'' ? q.append("'\\''") : q.append(1, c);
    q.push_back('\'');
    return q;
  };
  std::string command = "cd ";
  command.append(quote(cwd)).append(" && ulimit -t 60 && exec ").append(quote(KNOTWORK_BINARY));
  for (const std::string &a : args) command.append(" ").append(quote(a));
  command.append(" </dev/null >.capture.out 2>.capture.err");
  ::setenv("ASAN_OPTIONS", "exitcode=86", 0);
  ::setenv("UBSAN_OPTIONS", "exitcode=87:print_stacktrace=1", 0);
  const int status = std::system(command.c_str());
  RunResult r;
  r.exited = WIFEXITED(status);
  if (r.exited) r.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.out = read_text(cwd + "/.capture.out");
  r.err = read_text(cwd + "/.capture.err");
  std::filesystem::remove(cwd + "/.capture.out");
  std::filesystem::remove(cwd + "/.capture.err");
  return r;
}

// An unlabelled curve dump as the library reads it. poles holds Cartesian points
// (3 doubles each); weights is empty for a polynomial curve.
inline std::string curve_text(int order, const std::vector<double> &poles,
                              const std::vector<double> &weights,
                              const std::vector<double> &knots) {
  char buf[64];
  const auto numbers = [&](const std::vector<double> &values, size_t group) {
    std::string t;
    for (size_t i = 0; i < values.size(); ++i) {
      std::snprintf(buf, sizeof buf, "%s %20.15le\n", i > 0 && i % group == 0 ? "\n" : "",
                    values[i]);
      t += buf;
    }
    return t;
  };
  return "BScurve\norder " + std::to_string(order) + "\nperiodic 0\nnon_uniform 1\nnum_poles " +
         std::to_string(poles.size() / 3) + "\n" + numbers(poles, 3) + "rational " +
         (weights.empty() ? "0" : "1") + "\n" + numbers(weights, weights.size() + 1) +
         "num_knots " + std::to_string(knots.size()) + "\n" + numbers(knots, knots.size() + 1) +
         "planar 1\nphy_closed 0\nnum_boundaries 0\n";
}

// C(u) = (u, u^2, 0) on [0, 1]: derivatives (1, 2u, 0) and (0, 2, 0).
inline std::string parabola_text() {
  return curve_text(3, {0, 0, 0, 0.5, 0, 0, 1, 1, 0}, {}, {0, 0, 0, 1, 1, 1});
}

// The quarter of the unit circle from (1, 0) to (0, 1), rational; middle point (h, h, 0).
inline std::string quarter_text() {
  return curve_text(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, std::sqrt(0.5), 1}, {0, 0, 0, 1, 1, 1});
}

// The whole circle of radius r about the origin: nine poles, four quarter arcs.
inline std::string circle_text(double r = 1.0) {
  const double s = std::sqrt(0.5);
  return curve_text(
      3, {r, 0, 0, r, r, 0, 0, r, 0, -r, r, 0, -r, 0, 0, -r, -r, 0, 0, -r, 0, r, -r, 0, r, 0, 0},
      {1, s, 1, s, 1, s, 1, s, 1}, {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1});
}

// Expects every part to occur in text.
inline void expect_contains(const std::string &text, const std::vector<std::string> &parts) {
  for (const std::string &part : parts)
    EXPECT_NE(text.find(part), std::string::npos) << "'" << part << "' not in:\n" << text;
}

// The numbers of a line of text (words that parse whole as doubles, punctuation stripped).
inline std::vector<double> numbers_in(const std::string &line) {
  std::vector<double> values;
  std::string word;
  std::istringstream words(line);
  while (words >> word) {
    while (!word.empty() && std::strchr("(),:[]", word.back()) != nullptr) word.pop_back();
    while (!word.empty() && std::strchr("(),:[]", word.front()) != nullptr) word.erase(0, 1);
    char *end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (!word.empty() && end != word.c_str() && *end == '\0') values.push_back(v);
  }
  return values;
}

inline std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

// The first line of text that starts with prefix, or "" when none.
inline std::string line_starting(const std::string &text, const std::string &prefix) {
  for (const std::string &line : lines_of(text))
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  return "";
}

// Result of the XML well-formedness check of a document.
struct XmlReport {
  bool ok = false;
  std::string error;  // first fault, with its offset
  std::string text;   // character data, entities decoded, a line per piece
  // Attributes of every element in document order (the root first), name under "".
  std::vector<std::map<std::string, std::string>> elements;
  // Elements of the name with the class (cls "": without a class).
  int count(const std::string &element, const std::string &cls = "") const {
    return static_cast<int>(std::count_if(elements.begin(), elements.end(), [&](const auto &e) {
      const auto c = e.find("class");
      return e.at("") == element && (c == e.end() ? cls.empty() : c->second == cls);
    }));
  }
};

// Checks that s is one well-formed XML document: an optional declaration, then
// exactly one root element; balanced, properly nested tags; quoted, unique
// attributes; valid names; character data and values without '<', control
// characters or "]]>", and with known entities only.
inline XmlReport check_xml(const std::string &s) {
  static const std::map<std::string, char> known = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  XmlReport r;
  std::vector<std::string> open;  // names of the elements not yet closed
  size_t i = 0;
  const auto fail = [&](const std::string &what) {
    r.error = what + " at offset " + std::to_string(i);
    return r;
  };
  const auto space = [&] {
    const size_t from = i;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return i > from;
  };
  const auto name = [&] {
    const size_t from = i;
    for (unsigned char c;
         i < s.size() && (c = s[i], std::isalpha(c) || c == '_' || c == ':' ||
                                        (i > from && (std::isdigit(c) || c == '-' || c == '.')));)
      ++i;
    return s.substr(from, i - from);
  };
  // Appends s[i, end) to out with its entities decoded, leaving i at end.
  const auto decode = [&](size_t end, std::string *out) {
    for (; i < end; ++i) {
      const unsigned char c = s[i];
      if (c == '<' || (c < 0x20 && c != '\n' && c != '\t' && c != '\r') ||
          s.compare(i, 3, "]]>") == 0)
        return false;
      const size_t semi = c == '&' ? s.find(';', i) : i;
      const std::string e = c == '&' && semi < end ? s.substr(i + 1, semi - i - 1) : "";
      if (c == '&' && known.count(e) == 0 && (e.size() < 2 || e[0] != '#')) return false;
      *out += c != '&' ? s[i] : known.count(e) != 0 ? known.at(e) : '?';
      i = semi;
    }
    return true;
  };
  while (i < s.size()) {
    std::string text;
    if (!decode(std::min(s.find('<', i), s.size()), &text)) return fail("bad character data");
    if (open.empty() && text.find_first_not_of(" \t\r\n") != std::string::npos)
      return fail("text outside the root element");
    if (!open.empty() && !text.empty()) r.text += text + "\n";
    if (i == s.size()) break;
    if (s.compare(i, 2, "<?") == 0) {  // the declaration (the writer makes no comments)
      if ((i = s.find("?>", i)) == std::string::npos) return fail("unterminated <?");
      i += 2;
      continue;
    }
    const bool closing = s.compare(i, 2, "</") == 0;
    i += closing ? 2 : 1;
    std::map<std::string, std::string> attrs{{"", name()}};
    if (closing) {
      space();
      if (open.empty() || attrs[""] != open.back() || i >= s.size() || s[i++] != '>')
        return fail("end tag </" + attrs[""] + "> does not match");
      open.pop_back();
      continue;
    }
    if (open.empty() && !r.elements.empty()) return fail("a second root element");
    if (attrs[""].empty()) return fail("bad element name");
    while (true) {
      const bool spaced = space();
      if (i >= s.size()) return fail("unterminated start tag");
      if (s[i] == '>' || s.compare(i, 2, "/>") == 0) break;
      const std::string attr = name();
      if (!spaced || attr.empty()) return fail("bad attribute");
      space();
      if (i >= s.size() || s[i++] != '=') return fail("attribute " + attr + " without a value");
      space();
      const char quote = i < s.size() ? s[i] : 0;
      const size_t end = quote == '"' || quote == '\'' ? s.find(quote, i + 1) : std::string::npos;
      std::string value;
      if (end == std::string::npos || (++i, !decode(end, &value)))
        return fail("bad value of attribute " + attr);
      ++i;
      if (!attrs.emplace(attr, value).second) return fail("attribute " + attr + " given twice");
    }
    if (s[i] == '>') open.push_back(attrs[""]);
    i += s[i] == '>' ? 1 : 2;
    r.elements.push_back(attrs);
  }
  if (!open.empty()) return fail("element <" + open.back() + "> is never closed");
  if (r.elements.empty()) return fail("no root element");
  r.ok = true;
  return r;
}

// A fresh working directory under the system temporary folder, removed with its contents.
struct TempDir {
  TempDir() : path((std::filesystem::temp_directory_path() / "knotwork_cli_XXXXXX").string()) {
    if (::mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const std::string &name) const { return path + "/" + name; }
  std::string path;
};

// Every test starts with the examples linked as examples/NAME, the parabola in p.crv
// and the circle of radius 2 in c.crv.
class CliTest : public ::testing::Test {
 protected:
  TempDir dir;
  void SetUp() override {
    std::filesystem::create_directory_symlink(KNOTWORK_EXAMPLES, dir.file("examples"));
    put("p.crv", parabola_text());
    put("c.crv", circle_text(2.0));
  }
  void put(const std::string &name, const std::string &text) {
    std::ofstream(dir.file(name), std::ios::binary) << text;
  }
  // Runs the program; death by a signal is a failure.
  RunResult run(const std::vector<std::string> &args) {
    RunResult r = run_knotwork(args, dir.path);
    EXPECT_TRUE(r.exited) << "knotwork ended by signal " << r.signal << "\nstderr:\n" << r.err;
    return r;
  }
  // Runs and expects exit 0 (so no sanitizer report either).
  RunResult ok(const std::vector<std::string> &args) {
    RunResult r = run(args);
    EXPECT_EQ(r.exit_code, 0) << args[0] << "\n" << r.err;
    return r;
  }
  // A failure must be explained on stderr as "knotwork: ...message...".
  void expect_failure(const RunResult &r, int code, const std::string &message) {
    EXPECT_EQ(r.exit_code, code) << r.err;
    expect_contains(r.err, {"knotwork: ", message});
  }
  // Runs each command line of a table and expects its failure.
  struct Failure {
    std::vector<std::string> args;
    int code;
    std::string message;
  };
  void expect_failures(const std::vector<Failure> &cases) {
    for (const Failure &t : cases) {
      SCOPED_TRACE((t.args.empty() ? "(none)" : t.args[0]) + " " + t.message);
      expect_failure(run(t.args), t.code, t.message);
    }
  }
  // The point of the curve in file at u, from `knotwork eval`.
  std::vector<double> point(const std::string &file, const std::string &u) {
    return numbers_in(line_starting(ok({"eval", file, u}).out, "point"));
  }
  // The first number of the output line starting with prefix.
  double first_number(const std::vector<std::string> &args, const std::string &prefix) {
    return numbers_in(line_starting(ok(args).out, prefix)).at(0);
  }
  // The numbers of the first output line starting with prefix, from index from on.
  void expect_numbers(const RunResult &r, const std::string &prefix,
                      const std::vector<double> &want, double tol, size_t from = 0) {
    const std::vector<double> v = numbers_in(line_starting(r.out, prefix));
    ASSERT_EQ(v.size(), from + want.size()) << prefix << " in\n" << r.out;
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(v[from + i], want[i], tol) << prefix;
  }
  // The SVG document written to file, which must be well-formed.
  XmlReport svg(const std::string &file) {
    XmlReport xml = check_xml(read_text(dir.file(file)));
    EXPECT_TRUE(xml.ok) << file << ": " << xml.error;
    if (!xml.ok) xml.elements.assign(1, {{"", ""}});
    return xml;
  }
};

}  // namespace clitest

#endif
