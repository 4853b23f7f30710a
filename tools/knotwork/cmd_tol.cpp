// knotwork tol: show and set the tolerance record; the tolerance part of the demo.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.hpp"

namespace {

struct ToleranceName {
  const char *name;
  int32_t index;
};

constexpr ToleranceName kTolerances[] = {
    {"half_basis_tol", 0}, {"dist_tol", 1},         {"dist_sqtol", 2},    {"orient_tol", 3},
    {"parallel_tol", 4},   {"parallel_sqtol", 5},   {"fine_dist_tol", 6}, {"aux_dist_tol", 7},
    {"knot_tol", 8},       {"offset_tol", 9},       {"chrdht_tol", 10},   {"aux_rel_tol", 11},
    {"basis_tol", 12},     {"tenth_basis_tol", 13}, {"aux_fraction", 14}, {"arclen_tol", 15},
    {"zero_tol", 16},      {"aux_tangent", 17},     {"endpt_tol", 18},
};

double tolerance_value(int32_t index) {
  const double *fields = &BSparameters.half_basis_tol;
  return fields[index];
}

void print_tolerances() {
  const int32_t method = BSstolmthd(-1);
  std::printf("tolerances (knot tolerance method %d: %s)\n", method,
              method == 0 ? "scaled by the curve" : "fixed knot_tol");
  for (const auto &t : kTolerances)
    std::printf("  %2d  %-16s %.6g\n", t.index, t.name, tolerance_value(t.index));
}

int cmd_tol(int argc, char **argv) {
  for (int i = 0; i < argc; i += 2) {
    if (i + 1 >= argc) return cli::usage_error(std::string("tol: '") + argv[i] + "' needs a value");
    double value;
    if (!cli::parse_double(argv[i + 1], &value))
      return cli::usage_error(std::string("tol: '") + argv[i + 1] + "' is not a number");
    BSrc rc = BSSUCC;
    if (std::strcmp(argv[i], "--basis") == 0) {
      if (!BSchgdeppar(value, &rc)) return cli::library_failure("BSchgdeppar", rc);
      continue;
    }
    int32_t index = -1;
    for (const auto &t : kTolerances)
      if (std::strcmp(argv[i], t.name) == 0) index = t.index;
    if (index < 0) return cli::usage_error(std::string("tol: unknown tolerance '") + argv[i] + "'");
    if (!BSchangepar(&rc, index, value)) return cli::library_failure("BSchangepar", rc);
  }
  print_tolerances();
  return cli::kOk;
}

int demo_tolerances() {
  std::printf("\n");
  print_tolerances();
  return cli::kOk;
}

const cli::Command tol_command(
    "tol", "tol [NAME VALUE | --basis VALUE]...",
    "Shows the tolerance record. With NAME VALUE pairs, sets those fields first;\n"
    "--basis VALUE resets the dependent family from a new basis_tol. The settings\n"
    "last for this run only.\n\n"
    "example: knotwork tol --basis 1e-7 chrdht_tol 1e-4\n",
    cmd_tol, 10);
const cli::DemoSection tolerance_demo(0, demo_tolerances);

}  // namespace
