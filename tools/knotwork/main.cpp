// knotwork: command-line front end of the library, built on the public API only.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli.hpp"

namespace cli {
namespace {

std::vector<const Command *> &registry() {
  static std::vector<const Command *> commands;
  return commands;
}

std::vector<std::pair<int, int (*)()>> &demo_sections() {
  static std::vector<std::pair<int, int (*)()>> sections;
  return sections;
}

const Command *find_command(const char *name) {
  for (const Command *c : registry())
    if (std::strcmp(c->name, name) == 0) return c;
  return nullptr;
}

int cmd_help(int argc, char **argv) {
  if (argc >= 1) {
    const Command *c = find_command(argv[0]);
    if (c == nullptr) return usage_error(std::string("help: unknown command '") + argv[0] + "'");
    std::printf("usage: knotwork %s\n\n%s", c->synopsis, c->help);
    return kOk;
  }
  std::vector<const Command *> sorted = registry();
  std::sort(sorted.begin(), sorted.end(),
            [](const Command *a, const Command *b) { return a->order < b->order; });
  std::printf("usage: knotwork COMMAND [ARGS]\n\ncommands:\n");
  for (const Command *c : sorted) std::printf("  %s\n", c->synopsis);
  std::printf(
      "\nRun 'knotwork help COMMAND' for the arguments and an example.\n"
      "Exit codes: 0 success, 1 library failure, 2 usage error.\n");
  return kOk;
}

int cmd_demo(int argc, char **) {
  if (argc != 0) return usage_error("demo takes no arguments");
  auto sections = demo_sections();
  std::stable_sort(sections.begin(), sections.end(),
                   [](const auto &a, const auto &b) { return a.first < b.first; });
  std::printf("Knotwork demo\n");
  for (const auto &s : sections) {
    const int code = s.second();
    if (code != kOk) return code;
  }
  return kOk;
}

const Command help_command("help", "help [COMMAND]",
                           "Lists the commands, or shows one command's arguments.\n\n"
                           "example: knotwork help tol\n",
                           cmd_help, 1000);
const Command demo_command("demo", "demo",
                           "Builds sample curves in memory, runs the library's queries on them\n"
                           "and prints a short report.\n\nexample: knotwork demo\n",
                           cmd_demo, 0);

}  // namespace

Command::Command(const char *n, const char *s, const char *h, Handler r, int o)
    : name(n), synopsis(s), help(h), run(r), order(o) {
  registry().push_back(this);
}

DemoSection::DemoSection(int order, int (*run)()) {
  demo_sections().emplace_back(order, run);
}

int fail(const std::string &message, int code) {
  std::fprintf(stderr, "knotwork: %s\n", message.c_str());
  return code;
}

int usage_error(const std::string &message) {
  std::fprintf(stderr, "knotwork: %s\nRun 'knotwork help' for usage.\n", message.c_str());
  return kUsage;
}

const char *status_name(BSrc rc) {
  switch (rc) {
    case BSSUCC:
      return "BSSUCC";
    case BSFAIL:
      return "BSFAIL";
    case BSINARG:
      return "BSINARG";
    case BSDIVZERO:
      return "BSDIVZERO";
    case BSDEGEN:
      return "BSDEGEN";
    case BSCOLLIN:
      return "BSCOLLIN";
    case BSNOSOLUTION:
      return "BSNOSOLUTION";
    case BSNOMEMORY:
      return "BSNOMEMORY";
    case BSSINGULAR:
      return "BSSINGULAR";
    case BSDEGENLINE:
      return "BSDEGENLINE";
    case BSNULLPTR:
      return "BSNULLPTR";
    case BSNOSTKMEMORY:
      return "BSNOSTKMEMORY";
    case BSBADWEIGHT:
      return "BSBADWEIGHT";
    case BSDEGENINPUT:
      return "BSDEGENINPUT";
    case BSDBGFAIL:
      return "BSDBGFAIL";
    default:
      return "status";
  }
}

int library_failure(const char *operation, BSrc rc) {
  std::fprintf(stderr, "knotwork: %s failed: %s (%d)\nerror trace:\n", operation, status_name(rc),
               rc);
  BSdbgprint(stderr);
  return kLibraryFailure;
}

bool parse_double(const char *text, double *out) {
  if (text == nullptr || *text == '\0') return false;
  char *end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  // Infinities and NaNs ("inf", "nan") are no usable coordinates, parameters or
  // tolerances: the library would answer them with garbage rather than a status.
  if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool parse_int(const char *text, long *out) {
  if (text == nullptr || *text == '\0') return false;
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE) return false;
  *out = v;
  return true;
}

}  // namespace cli

int main(int argc, char **argv) {
  if (argc < 2) return cli::usage_error("missing command");
  const cli::Command *c = cli::find_command(argv[1]);
  if (c == nullptr) {
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)
      return cli::find_command("help")->run(0, nullptr);
    return cli::usage_error(std::string("unknown command '") + argv[1] + "'");
  }
  return c->run(argc - 2, argv + 2);
}
