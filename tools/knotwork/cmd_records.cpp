// knotwork info / dump: read a curve dump, summarise it or write it out again;
// the records part of the demo.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.hpp"
#include "files.hpp"

namespace {

const char *yes_no(BSboolean b) {
  return b ? "yes" : "no";
}

void print_summary(const char *path, const BScurve &cv) {
  const int k = cv.order, n = cv.num_poles;
  std::printf("%s: B-spline curve\n", path);
  std::printf("  order        %d (degree %d)\n", k, k - 1);
  std::printf("  poles        %d\n", n);
  std::printf("  rational     %s\n", yes_no(cv.rational));
  if (k >= 1 && n >= k)
    std::printf("  domain       [%.17g, %.17g]\n", cv.knots[k - 1], cv.knots[n]);
  std::printf("  periodic     %s\n", yes_no(cv.periodic));
  std::printf("  closed       %s\n", yes_no(cv.phy_closed));
  std::printf("  planar       %s\n", yes_no(cv.planar));
  std::printf("  knots        %d:", cv.num_knots);
  // Distinct values with their multiplicity; the knots are non-decreasing.
  for (int i = 0; i < cv.num_knots;) {
    int j = i + 1;
    while (j < cv.num_knots && cv.knots[j] == cv.knots[i]) ++j;
    std::printf(" %.17g", cv.knots[i]);
    if (j - i > 1) std::printf(" (x%d)", j - i);
    i = j;
  }
  std::printf("\n");
  if (cv.rational) {
    double lo = cv.weights[0], hi = cv.weights[0];
    for (int i = 1; i < n; ++i) {
      lo = std::fmin(lo, cv.weights[i]);
      hi = std::fmax(hi, cv.weights[i]);
    }
    std::printf("  weights      %.17g .. %.17g\n", lo, hi);
  }
}

int cmd_info(int argc, char **argv) {
  if (argc != 1) return cli::usage_error("info takes one FILE");
  // A curve of an order the library does not evaluate is still summarised, with
  // the failure on stderr and exit code 1.
  cli::CurvePtr curve;
  const int code = cli::read_one_curve("info", argv[0], &curve, cli::CurveUse::Inspect);
  if (curve) print_summary(argv[0], *curve);
  return code;
}

int cmd_dump(int argc, char **argv) {
  const char *path = nullptr;
  bool labelled = false, images = false;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--labelled") == 0)
      labelled = true;
    else if (std::strcmp(argv[i], "--hex") == 0)
      images = true;
    else if (argv[i][0] == '-' && argv[i][1] != '\0')
      return cli::usage_error(std::string("dump: unknown option '") + argv[i] + "'");
    else if (path == nullptr)
      path = argv[i];
    else
      return cli::usage_error("dump takes one FILE");
  }
  if (path == nullptr) return cli::usage_error("dump needs a FILE");
  if (labelled && images) return cli::usage_error("dump: --labelled and --hex exclude each other");
  cli::CurvePtr curve;
  int code = cli::read_one_curve("dump", path, &curve, cli::CurveUse::Inspect);
  if (curve) {
    const BSboolean ok =
        images ? BSprthexcv(stdout, curve.get()) : BSprintbspc(stdout, path, curve.get(), labelled);
    if (!ok) {
      std::fprintf(stderr, "knotwork: %s: the record read cannot be written\n", path);
      code = cli::kLibraryFailure;
    }
  }
  return code;
}

// A rational quarter circle of radius 2 about the origin, built in a record.
int demo_records() {
  BScurve *cv = nullptr;
  BSrc rc;
  BSallocqelcv(3, 3, TRUE, 0, &cv, &rc);
  if (rc != BSSUCC) return cli::library_failure("BSallocqelcv", rc);
  const double w = std::sqrt(0.5);
  const double poles[9] = {2, 0, 0, 2 * w, 2 * w, 0, 0, 2, 0};
  const double weights[3] = {1, w, 1};
  std::memcpy(cv->poles, poles, sizeof poles);
  std::memcpy(cv->weights, weights, sizeof weights);
  for (int i = 0; i < 6; ++i) cv->knots[i] = i < 3 ? 0.0 : 1.0;
  cv->order = 3;
  cv->periodic = cv->non_uniform = cv->phy_closed = 0;
  cv->planar = 1;
  std::printf("\nrecords: a rational quarter circle, labelled dump\n");
  BSprintbspc(stdout, "quarter circle", cv, TRUE);
  BSfreeqelcv(cv, &rc);
  return cli::kOk;
}

const cli::Command info_command(
    "info", "info FILE",
    "Reads the curve dump in FILE (unlabelled, decimal or with byte images) and\n"
    "prints its order, pole count, rational flag, parameter domain, periodic,\n"
    "closed and planar flags, and the distinct knots with their multiplicities.\n"
    "A file that cannot be read gives the reader's status and exit code 1; a curve\n"
    "of an order the library does not evaluate (1, or 17 and above) is still\n"
    "summarised, with exit code 1.\n\n"
    "example: knotwork info examples/cubic.cv\n",
    cmd_info, 20);
const cli::Command dump_command(
    "dump", "dump FILE [--labelled|--hex]",
    "Reads the curve dump in FILE and writes it to standard output: unlabelled\n"
    "(the form the reader takes), --labelled for people, or --hex with the byte\n"
    "image of every number so that it reads back bit for bit.\n\n"
    "example: knotwork dump examples/quarter_circle.cv --labelled\n",
    cmd_dump, 21);
const cli::DemoSection records_demo(20, demo_records);

}  // namespace
