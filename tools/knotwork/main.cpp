// knotwork: command-line front end of the library, built on the public API only.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "knotwork.h"

namespace {

struct ToleranceName {
  const char *name;
  int32_t index;
};

constexpr ToleranceName kTolerances[] = {
    {"half_basis_tol", 0}, {"dist_tol", 1},     {"dist_sqtol", 2},   {"orient_tol", 3},
    {"parallel_tol", 4},   {"parallel_sqtol", 5}, {"fine_dist_tol", 6}, {"aux_dist_tol", 7},
    {"knot_tol", 8},       {"offset_tol", 9},   {"chrdht_tol", 10},  {"aux_rel_tol", 11},
    {"basis_tol", 12},     {"tenth_basis_tol", 13}, {"aux_fraction", 14}, {"arclen_tol", 15},
    {"zero_tol", 16},      {"aux_tangent", 17}, {"endpt_tol", 18},
};

double tolerance_value(int32_t index) {
  const double *fields = &BSparameters.half_basis_tol;
  return fields[index];
}

void print_tolerances() {
  std::printf("tolerances (method %d: %s knot tolerance)\n", BSstolmthd(-1),
              BSstolmthd(-1) == 0 ? "curve-scaled" : "fixed");
  for (const auto &t : kTolerances)
    std::printf("  %2d  %-16s %.6g\n", t.index, t.name, tolerance_value(t.index));
}

int usage_error(const char *message) {
  std::fprintf(stderr, "knotwork: %s\nRun 'knotwork help' for usage.\n", message);
  return 2;
}

int cmd_demo(int, char **) {
  std::printf("Knotwork demo\n\n");
  print_tolerances();
  return 0;
}

// knotwork tol                      shows the record
// knotwork tol NAME VALUE ...       sets fields, then shows the record
// knotwork tol --basis VALUE        resets the dependent family from basis_tol
int cmd_tol(int argc, char **argv) {
  for (int i = 0; i < argc; i += 2) {
    if (i + 1 >= argc) return usage_error("tol: every name needs a value");
    char *end = nullptr;
    const double value = std::strtod(argv[i + 1], &end);
    if (end == argv[i + 1] || *end != '\0') return usage_error("tol: value is not a number");
    BSrc rc = BSSUCC;
    if (std::strcmp(argv[i], "--basis") == 0) {
      BSchgdeppar(value, &rc);
      continue;
    }
    int32_t index = -1;
    for (const auto &t : kTolerances)
      if (std::strcmp(argv[i], t.name) == 0) index = t.index;
    if (index < 0) {
      std::string m = std::string("tol: unknown tolerance '") + argv[i] + "'";
      return usage_error(m.c_str());
    }
    BSchangepar(&rc, index, value);
  }
  print_tolerances();
  return 0;
}

int cmd_help(int, char **) {
  std::printf(
      "usage: knotwork COMMAND [ARGS]\n\n"
      "commands:\n"
      "  demo                 run the built-in samples and print a report\n"
      "  tol [NAME VALUE]...  show the tolerance record, or set fields first\n"
      "      tol --basis B    reset the dependent tolerances from basis_tol B\n"
      "  help                 this text\n");
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage_error("missing command");
  const char *cmd = argv[1];
  if (std::strcmp(cmd, "demo") == 0) return cmd_demo(argc - 2, argv + 2);
  if (std::strcmp(cmd, "tol") == 0) return cmd_tol(argc - 2, argv + 2);
  if (std::strcmp(cmd, "help") == 0 || std::strcmp(cmd, "--help") == 0)
    return cmd_help(argc - 2, argv + 2);
  std::string m = std::string("unknown command '") + cmd + "'";
  return usage_error(m.c_str());
}
