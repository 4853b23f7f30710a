// The tolerance record, its setters, the console editor and the knot tolerance method.
#include <cstdio>
#include <cstring>

#include "frame/frame.hpp"

extern "C" {
KW_API struct BSparameters BSparameters = {
    5e-7,                 // half_basis_tol
    1e-6,                 // dist_tol
    1e-12,                // dist_sqtol
    5e-11,                // orient_tol
    5e-7,                 // parallel_tol
    2.5e-13,              // parallel_sqtol
    1e-9,                 // fine_dist_tol
    1e-6,                 // aux_dist_tol
    1e-6,                 // knot_tol
    1e-3,                 // offset_tol
    1e-3,                 // chrdht_tol
    1e-2,                 // aux_rel_tol
    1e-6,                 // basis_tol
    1e-7,                 // tenth_basis_tol
    0.25,                 // aux_fraction
    1e-3,                 // arclen_tol
    1e-14,                // zero_tol
    0.41421356237309503,  // aux_tangent
    1e-6,                 // endpt_tol
};
}

namespace knotwork {
namespace {

using Field = double BSparameters::*;
constexpr Field kFields[19] = {
    &BSparameters::half_basis_tol, &BSparameters::dist_tol,        &BSparameters::dist_sqtol,
    &BSparameters::orient_tol,     &BSparameters::parallel_tol,    &BSparameters::parallel_sqtol,
    &BSparameters::fine_dist_tol,  &BSparameters::aux_dist_tol,    &BSparameters::knot_tol,
    &BSparameters::offset_tol,     &BSparameters::chrdht_tol,      &BSparameters::aux_rel_tol,
    &BSparameters::basis_tol,      &BSparameters::tenth_basis_tol, &BSparameters::aux_fraction,
    &BSparameters::arclen_tol,     &BSparameters::zero_tol,        &BSparameters::aux_tangent,
    &BSparameters::endpt_tol,
};
static_assert(sizeof(struct BSparameters) == 19 * sizeof(double));

int32_t g_method = 0;

// Reads one answer line; only its first character counts (at most 4 are kept).
char read_answer() {
  char line[64];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return '\n';
  line[4] = '\0';
  return line[0];
}

bool is_yes(char c) {
  return c == 'y' || c == 'Y';
}

// Reads a value and discards the rest of its line, so the next answer starts fresh.
double read_value() {
  double v = 0.0;
  if (std::scanf("%lf", &v) != 1) v = 0.0;
  int c;
  while ((c = std::getchar()) != '\n' && c != EOF) {
  }
  return v;
}

}  // namespace

int32_t tolerance_method() {
  return g_method;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API BSboolean BSchangepar(BSrc *rc, int32_t index, double value) {
  if (index < 0 || index > 18) {
    *rc = BSBADINDEX;
    return FALSE;
  }
  BSparameters.*kFields[index] = value;
  *rc = BSSUCC;
  return TRUE;
}

KW_API BSboolean BSchgdeppar(double value, BSrc *rc) {
  const double b = value;
  *rc = BSSUCC;
  const struct {
    int32_t index;
    double value;
  } stores[] = {{0, b / 2}, {3, b / 2},        {4, b / 2},    {8, b}, {13, b / 10},
                {2, b * b}, {5, b * b / 4},    {6, b / 1000}, {1, b}, {7, b},
                {12, b},    {16, b * b / 100}, {18, b}};
  for (const auto &s : stores) {
    const BSboolean ok = BSchangepar(rc, s.index, s.value);
    if (!ok) return ok;
  }
  return TRUE;
}

KW_API void BSchangetol(void) {
  const char *const frame = "\n ==============================\n";
  const char *const untouched = "\n No tolerances were modified.\n";
  const char *const frame_end = "\n ==============================\n\n";
  std::fputs(frame, stdout);
  std::fputs("\n Modify tolerances (y/[n]) : ", stdout);
  std::fflush(stdout);
  const char first = read_answer();
  if (first == '\n' || first == 'n' || first == 'N') {
    std::fputs(untouched, stdout);
    std::fputs(frame_end, stdout);
    std::fflush(stdout);
    return;
  }
  BSrc rc = BSSUCC;
  bool basis = false, dist = false, chrdht = false, offset = false;

  std::fputs("\n Modify basis_tol (y/[n])  : ", stdout);
  std::fflush(stdout);
  if (is_yes(read_answer())) {
    std::fputs(" Key in new basis_tol    : ", stdout);
    std::fflush(stdout);
    if (!BSchgdeppar(read_value(), &rc)) {
      std::fputs("\n *** error in BSchgdeppar ***\n", stdout);
      return;
    }
    basis = true;
  }
  std::fputs("\n Modify dist_tol (y/[n])   : ", stdout);
  std::fflush(stdout);
  if (is_yes(read_answer())) {
    std::fputs(" Key in new dist_tol     : ", stdout);
    std::fflush(stdout);
    const double v = read_value();
    if (!BSchangepar(&rc, 1, v) || !BSchangepar(&rc, 2, v * v)) {
      std::fputs("\n *** error in BSchangepar ***\n", stdout);
      return;
    }
    dist = true;
  }
  const struct {
    const char *question;
    const char *prompt;
    int32_t index;
    bool *changed;
  } simple[] = {
      {"\n Modify chrdht_tol (y/[n]) : ", " Key in new chrdht_tol   : ", 10, &chrdht},
      {"\n Modify offset_tol (y/[n]) : ", " Key in new offset_tol   : ", 9, &offset},
  };
  for (const auto &q : simple) {
    std::fputs(q.question, stdout);
    std::fflush(stdout);
    if (!is_yes(read_answer())) continue;
    std::fputs(q.prompt, stdout);
    std::fflush(stdout);
    if (!BSchangepar(&rc, q.index, read_value())) {
      std::fputs("\n *** error in BSchangepar ***\n", stdout);
      return;
    }
    *q.changed = true;
  }
  std::fputs(frame, stdout);
  if (!(basis || dist || chrdht || offset)) {
    std::fputs(untouched, stdout);
    std::fputs(frame_end, stdout);
    std::fflush(stdout);
    return;
  }
  std::fputs("\n Modified tolerances are:\n", stdout);
  if (basis) std::printf("    New basis_tol    = %lf\n", BSparameters.basis_tol);
  if (dist) {
    std::printf("    New dist_tol     = %lf\n", BSparameters.dist_tol);
    std::printf("    New dist_sqtol   = %lf\n", BSparameters.dist_sqtol);
  }
  if (chrdht) std::printf("    New chrdht_tol   = %lf\n", BSparameters.chrdht_tol);
  if (offset) std::printf("    New offset_tol   = %lf\n", BSparameters.offset_tol);
  std::fputs(frame_end, stdout);
  std::fflush(stdout);
}

KW_API int32_t BSstolmthd(int32_t method) {
  const int32_t previous = g_method;
  if (method == 0 || method == 1) g_method = method;
  return previous;
}

}  // extern "C"
