// Process runner, file helpers, test curves and the XML well-formedness checker of
// the knotwork program's end-to-end tests.
#include "tool_runner.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace clitest {

TempDir::TempDir() {
  path = (std::filesystem::temp_directory_path() / "knotwork_cli_XXXXXX").string();
  if (::mkdtemp(path.data()) == nullptr)
    throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

RunResult run_knotwork(const std::vector<std::string> &args, const std::string &cwd) {
  // Output is captured in hidden files of the working directory.
  const std::string out_path = cwd + "/.capture.out", err_path = cwd + "/.capture.err";
  std::vector<std::string> copies{KNOTWORK_BINARY};
  copies.insert(copies.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    // In sanitizer builds, reports must not pass for the program's own exit code 1.
    ::setenv("ASAN_OPTIONS", "exitcode=86", 0);
    ::setenv("UBSAN_OPTIONS", "exitcode=87:print_stacktrace=1", 0);
    ::alarm(60);  // a hanging program ends by SIGALRM, which the test reports
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  RunResult r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.exited = WIFEXITED(status);
  if (r.exited) r.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.out = read_text(out_path);
  r.err = read_text(err_path);
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
  return r;
}

void write_text(const std::string &path, const std::string &text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string read_text(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string &path) {
  return std::filesystem::exists(path);
}

std::string curve_text(int order, const std::vector<double> &poles,
                       const std::vector<double> &weights, const std::vector<double> &knots) {
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

std::string parabola_text() {
  return curve_text(3, {0, 0, 0, 0.5, 0, 0, 1, 1, 0}, {}, {0, 0, 0, 1, 1, 1});
}

std::string quarter_text() {
  return curve_text(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, std::sqrt(0.5), 1}, {0, 0, 0, 1, 1, 1});
}

std::string circle_text(double r) {
  const double s = std::sqrt(0.5);
  return curve_text(
      3, {r, 0, 0, r, r, 0, 0, r, 0, -r, r, 0, -r, 0, 0, -r, -r, 0, 0, -r, 0, r, -r, 0, r, 0, 0},
      {1, s, 1, s, 1, s, 1, s, 1}, {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1});
}

std::string order17_text() {
  std::vector<double> knots(34, 0.0);
  std::fill(knots.begin() + 17, knots.end(), 1.0);
  return curve_text(17, std::vector<double>(3 * 17, 1.0), {}, knots);
}

std::vector<double> numbers_in(const std::string &line) {
  std::vector<double> values;
  std::string word;
  std::istringstream words(line);
  while (words >> word) {
    // Strip punctuation around numbers such as "(1," or "2)".
    while (!word.empty() && std::strchr("(),:[]", word.back()) != nullptr) word.pop_back();
    while (!word.empty() && std::strchr("(),:[]", word.front()) != nullptr) word.erase(0, 1);
    char *end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (!word.empty() && end != word.c_str() && *end == '\0') values.push_back(v);
  }
  return values;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

std::string line_starting(const std::string &text, const std::string &prefix) {
  for (const std::string &line : lines_of(text))
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  return "";
}

int XmlReport::count(const std::string &element, const std::string &cls) const {
  int n = 0;
  for (const auto &e : elements) {
    const auto c = e.find("class");
    n += e.at("") == element && (c == e.end() ? cls.empty() : c->second == cls);
  }
  return n;
}

bool XmlReport::has_text(const std::string &part) const {
  for (const std::string &t : texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

namespace {

bool name_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':';
}
bool name_char(char c) {
  return name_start(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

class XmlChecker {
 public:
  explicit XmlChecker(const std::string &text) : s_(text) {}

  XmlReport run() {
    if (s_.compare(0, 5, "<?xml") == 0 && !skip_past("?>")) return fail("unterminated declaration");
    skip_misc();
    if (at_end() || s_[i_] != '<') return fail("no root element");
    if (!element()) return r_;
    skip_misc();
    if (!at_end()) return fail("content after the root element");
    r_.ok = true;
    return r_;
  }

 private:
  const std::string &s_;
  size_t i_ = 0;
  XmlReport r_;

  bool at_end() const { return i_ >= s_.size(); }
  bool at(const char *what) const { return s_.compare(i_, std::strlen(what), what) == 0; }
  XmlReport fail(const std::string &what) {
    if (r_.error.empty()) r_.error = what + " at offset " + std::to_string(i_);
    return r_;
  }
  bool failed(const std::string &what) {
    fail(what);
    return false;
  }
  void skip_space() {
    while (!at_end() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool skip_past(const char *end) {
    const size_t found = s_.find(end, i_);
    if (found == std::string::npos) return false;
    i_ = found + std::strlen(end);
    return true;
  }
  // Whitespace, comments and processing instructions between elements.
  void skip_misc() {
    for (skip_space(); (at("<!--") && skip_past("-->")) || (at("<?") && skip_past("?>"));)
      skip_space();
  }
  bool name(std::string *out) {
    if (at_end() || !name_start(s_[i_])) return false;
    const size_t start = i_;
    while (!at_end() && name_char(s_[i_])) ++i_;
    *out = s_.substr(start, i_ - start);
    return true;
  }
  // Decodes the entity at i_ ('&'), appending it to out.
  bool entity(std::string *out) {
    static const std::map<std::string, char> known = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    const size_t semi = s_.find(';', i_);
    if (semi == std::string::npos || semi - i_ > 10) return failed("bad entity");
    const std::string e = s_.substr(i_ + 1, semi - i_ - 1);
    if (known.count(e) != 0)
      *out += known.at(e);
    else if (e.size() > 1 && e[0] == '#')
      *out += '?';
    else
      return failed("unknown entity &" + e + ";");
    i_ = semi + 1;
    return true;
  }
  bool element() {
    ++i_;  // '<'
    std::string tag;
    if (!name(&tag)) return failed("bad element name");
    std::map<std::string, std::string> attrs{{"", tag}};
    while (true) {
      const size_t before = i_;
      skip_space();
      if (at_end()) return failed("unterminated start tag <" + tag + ">");
      if (s_[i_] == '/' || s_[i_] == '>') break;
      std::string attr;
      if (i_ == before || !name(&attr)) return failed("bad attribute in <" + tag + ">");
      skip_space();
      if (at_end() || s_[i_] != '=') return failed("attribute " + attr + " without a value");
      ++i_;
      skip_space();
      if (at_end() || (s_[i_] != '"' && s_[i_] != '\''))
        return failed("unquoted value of attribute " + attr);
      const char quote = s_[i_++];
      std::string value;
      while (!at_end() && s_[i_] != quote) {
        if (s_[i_] == '<') return failed("'<' in the value of attribute " + attr);
        if (s_[i_] != '&')
          value += s_[i_++];
        else if (!entity(&value))
          return false;
      }
      if (at_end()) return failed("unterminated value of attribute " + attr);
      ++i_;
      if (!attrs.emplace(attr, value).second) return failed("attribute " + attr + " given twice");
    }
    r_.elements.push_back(attrs);
    if (s_[i_] == '/') {
      ++i_;
      if (at_end() || s_[i_] != '>') return failed("bad empty-element tag <" + tag + "/>");
      ++i_;
      return true;
    }
    ++i_;  // '>'
    std::string text;
    while (true) {
      if (at_end()) return failed("element <" + tag + "> is never closed");
      const char c = s_[i_];
      if (c == '<') {
        if (!text.empty()) r_.texts.push_back(text);
        text.clear();
        if (at("<!--")) {
          if (!skip_past("-->")) return failed("unterminated comment");
        } else if (at("<![CDATA[")) {
          if (!skip_past("]]>")) return failed("unterminated CDATA section");
        } else if (at("</")) {
          i_ += 2;
          std::string closing;
          if (!name(&closing)) return failed("bad end tag");
          skip_space();
          if (at_end() || s_[i_] != '>') return failed("bad end tag </" + closing);
          ++i_;
          return closing == tag ||
                 failed("end tag </" + closing + "> does not match <" + tag + ">");
        } else if (!element()) {
          return false;
        }
      } else if (c == '&') {
        if (!entity(&text)) return false;
      } else if (c == '>' && i_ >= 2 && s_.compare(i_ - 2, 3, "]]>") == 0) {
        return failed("']]>' in character data");
      } else if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' && c != '\r') {
        return failed("control character in character data");
      } else {
        text += c;
        ++i_;
      }
    }
  }
};

}  // namespace

XmlReport check_xml(const std::string &text) {
  return XmlChecker(text).run();
}

void CliTest::link_examples() {
  std::filesystem::create_directory_symlink(KNOTWORK_EXAMPLES, dir.file("examples"));
}

RunResult CliTest::run(const std::vector<std::string> &args) {
  RunResult r = run_knotwork(args, dir.path);
  EXPECT_TRUE(r.exited) << "knotwork ended by signal " << r.signal << "\nstderr:\n" << r.err;
  return r;
}

RunResult CliTest::ok(const std::vector<std::string> &args) {
  RunResult r = run(args);
  EXPECT_EQ(r.exit_code, 0) << args[0] << "\n" << r.err;
  return r;
}

void CliTest::expect_failure(const RunResult &r, int code, const std::string &message) {
  EXPECT_EQ(r.exit_code, code) << r.err;
  EXPECT_NE(r.err.find("knotwork: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(message), std::string::npos) << "stderr was:\n" << r.err;
}

XmlReport CliTest::svg(const std::string &file) {
  XmlReport xml = check_xml(read_text(dir.file(file)));
  EXPECT_TRUE(xml.ok) << file << ": " << xml.error;
  if (!xml.ok) xml.elements.assign(1, {{"", ""}});
  return xml;
}

}  // namespace clitest
