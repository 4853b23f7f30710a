// knotwork info / dump: read a curve dump, summarise it or write it out again;
// the records part of the demo.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.hpp"

namespace {

// What a read delivered: the curve (or null) and the reader's status.
struct ReadResult {
  BScurve *curve = nullptr;
  BSrc rc = BSSUCC;
};

// Opens and reads FILE; false (after the message) when the file cannot be opened.
bool read_curve_file(const char *path, ReadResult *out) {
  FILE *f = std::fopen(path, "r");
  if (f == nullptr) {
    std::fprintf(stderr, "knotwork: cannot open '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  // The reader looks ahead in dumps with byte images, which needs a seekable
  // stream: a pipe is copied to a temporary file first.
  if (std::fseek(f, 0, SEEK_CUR) != 0) {
    FILE *copy = std::tmpfile();
    if (copy == nullptr) {
      std::fprintf(stderr, "knotwork: cannot buffer '%s': %s\n", path, std::strerror(errno));
      std::fclose(f);
      return false;
    }
    for (int c; (c = std::getc(f)) != EOF;) std::putc(c, copy);
    std::fclose(f);
    std::rewind(copy);
    f = copy;
  }
  BSreadcv(f, &out->curve, &out->rc);
  std::fclose(f);
  return true;
}

const char *yes_no(BSboolean b) {
  return b ? "yes" : "no";
}

// Explains the statuses with which the reader still delivers a curve.
int finish(const char *path, ReadResult &r) {
  BSrc free_rc;
  if (r.curve != nullptr) BSfreeqelcv(r.curve, &free_rc);
  if (r.rc == BSSUCC) return cli::kOk;
  if (r.rc == 2 && r.curve != nullptr)
    std::fprintf(stderr, "knotwork: %s: the order is outside what the library evaluates (2..16)\n",
                 path);
  if (r.rc == BSBADWEIGHT) std::fprintf(stderr, "knotwork: %s: a weight is below 0.001\n", path);
  return cli::library_failure("BSreadcv", r.rc);
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
  ReadResult r;
  if (!read_curve_file(argv[0], &r)) return cli::kLibraryFailure;
  if (r.curve != nullptr) print_summary(argv[0], *r.curve);
  return finish(argv[0], r);
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
  ReadResult r;
  if (!read_curve_file(path, &r)) return cli::kLibraryFailure;
  if (r.curve != nullptr) {
    const BSboolean ok =
        images ? BSprthexcv(stdout, r.curve) : BSprintbspc(stdout, path, r.curve, labelled);
    if (!ok) std::fprintf(stderr, "knotwork: %s: the record read cannot be written\n", path);
  }
  return finish(path, r);
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
    "A file that cannot be read gives the reader's status and exit code 1.\n\n"
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
