// Process runner, file helpers and the XML well-formedness checker of the
// knotwork program's end-to-end tests.
#include "tool_runner.hpp"

#include <chrono>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace clitest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "knotwork_cli_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

RunResult run_knotwork(const std::vector<std::string> &args, const std::string &cwd) {
  // Output is captured in hidden files of the working directory.
  const std::string capture = cwd + "/.capture";
  const std::string out_path = capture + ".out", err_path = capture + ".err";
  std::vector<char *> argv;
  std::string binary = KNOTWORK_BINARY;
  argv.push_back(binary.data());
  std::vector<std::string> copies(args);
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
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  RunResult r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (WIFEXITED(status)) {
    r.exited = true;
    r.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signal = WTERMSIG(status);
  }
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
                       const std::vector<double> &weights, const std::vector<double> &knots,
                       bool periodic) {
  const size_t n = poles.size() / 3;
  char buf[64];
  std::string t = "BScurve\norder " + std::to_string(order) + "\nperiodic " +
                  (periodic ? "1" : "0") + "\nnon_uniform 1\nnum_poles " + std::to_string(n) + "\n";
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) t += "\n";
    for (int j = 0; j < 3; ++j) {
      std::snprintf(buf, sizeof buf, " %20.15le\n", poles[3 * i + j]);
      t += buf;
    }
  }
  t += "rational " + std::string(weights.empty() ? "0" : "1") + "\n";
  for (double w : weights) {
    std::snprintf(buf, sizeof buf, " %20.15le\n", w);
    t += buf;
  }
  t += "num_knots " + std::to_string(knots.size()) + "\n";
  for (double k : knots) {
    std::snprintf(buf, sizeof buf, " %20.15le\n", k);
    t += buf;
  }
  t += "planar 1\nphy_closed 0\nnum_boundaries 0\n";
  return t;
}

std::vector<double> numbers_in(const std::string &line) {
  std::vector<double> values;
  std::string word;
  std::istringstream words(line);
  while (words >> word) {
    // Strip punctuation around numbers such as "(1," or "2)".
    while (!word.empty() && std::strchr("(),:[]", word.back()) != nullptr) word.pop_back();
    while (!word.empty() && std::strchr("(),:[]", word.front()) != nullptr) word.erase(0, 1);
    if (word.empty()) continue;
    char *end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (end != word.c_str() && *end == '\0') values.push_back(v);
  }
  return values;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  std::string line;
  while (std::getline(s, line)) lines.push_back(line);
  return lines;
}

std::string line_starting(const std::string &text, const std::string &prefix) {
  for (const std::string &line : lines_of(text))
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  return "";
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
    if (at_end()) return fail("no root element");
    if (s_[i_] != '<') return fail("text before the root element");
    if (!element(true)) return report_;
    skip_misc();
    if (!at_end()) return fail("content after the root element");
    report_.ok = true;
    return report_;
  }

 private:
  const std::string &s_;
  size_t i_ = 0;
  XmlReport report_;

  bool at_end() const { return i_ >= s_.size(); }
  XmlReport fail(const std::string &what) {
    report_.ok = false;
    if (report_.error.empty()) report_.error = what + " at offset " + std::to_string(i_);
    return report_;
  }
  bool failed(const std::string &what) {
    fail(what);
    return false;
  }
  void skip_space() {
    while (!at_end() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool skip_past(const char *end) {
    const size_t at = s_.find(end, i_);
    if (at == std::string::npos) return false;
    i_ = at + std::strlen(end);
    return true;
  }
  // Whitespace, comments and processing instructions between elements.
  void skip_misc() {
    while (true) {
      skip_space();
      if (s_.compare(i_, 4, "<!--") == 0) {
        if (!skip_past("-->")) return;
      } else if (s_.compare(i_, 2, "<?") == 0) {
        if (!skip_past("?>")) return;
      } else {
        return;
      }
    }
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
    const size_t semi = s_.find(';', i_);
    if (semi == std::string::npos || semi - i_ > 10) return failed("bad entity");
    const std::string e = s_.substr(i_ + 1, semi - i_ - 1);
    if (e == "amp")
      *out += '&';
    else if (e == "lt")
      *out += '<';
    else if (e == "gt")
      *out += '>';
    else if (e == "quot")
      *out += '"';
    else if (e == "apos")
      *out += '\'';
    else if (e.size() > 1 && e[0] == '#')
      *out += '?';
    else
      return failed("unknown entity &" + e + ";");
    i_ = semi + 1;
    return true;
  }
  bool element(bool is_root) {
    ++i_;  // '<'
    std::string tag;
    if (!name(&tag)) return failed("bad element name");
    std::map<std::string, std::string> attrs;
    while (true) {
      const size_t before = i_;
      skip_space();
      if (at_end()) return failed("unterminated start tag <" + tag + ">");
      if (s_[i_] == '/' || s_[i_] == '>') break;
      if (i_ == before) return failed("no space before an attribute of <" + tag + ">");
      std::string attr;
      if (!name(&attr)) return failed("bad attribute name in <" + tag + ">");
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
        if (s_[i_] == '&') {
          if (!entity(&value)) return false;
        } else {
          value += s_[i_++];
        }
      }
      if (at_end()) return failed("unterminated value of attribute " + attr);
      ++i_;
      if (attrs.count(attr) != 0) return failed("attribute " + attr + " given twice");
      attrs[attr] = value;
    }
    ++report_.element_counts[tag];
    if (is_root) {
      report_.root = tag;
      report_.root_attributes = attrs;
    }
    attrs[""] = tag;
    report_.elements.push_back(attrs);
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
        if (!text.empty()) {
          report_.texts.push_back(text);
          text.clear();
        }
        if (s_.compare(i_, 4, "<!--") == 0) {
          if (!skip_past("-->")) return failed("unterminated comment");
        } else if (s_.compare(i_, 9, "<![CDATA[") == 0) {
          if (!skip_past("]]>")) return failed("unterminated CDATA section");
        } else if (s_.compare(i_, 2, "</") == 0) {
          i_ += 2;
          std::string closing;
          if (!name(&closing)) return failed("bad end tag");
          skip_space();
          if (at_end() || s_[i_] != '>') return failed("bad end tag </" + closing);
          ++i_;
          if (closing != tag)
            return failed("end tag </" + closing + "> does not match <" + tag + ">");
          return true;
        } else if (!element(false)) {
          return false;
        }
      } else if (c == '&') {
        if (!entity(&text)) return false;
      } else if (c == '>' && s_.compare(i_ - 2, 3, "]]>") == 0) {
        return failed("']]>' in character data");
      } else {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' && c != '\r')
          return failed("control character in character data");
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

}  // namespace clitest
