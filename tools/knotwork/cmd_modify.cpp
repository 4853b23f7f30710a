// knotwork split / extract / reverse / insert: cut, reverse or refine the curve
// of a dump and write the results as dumps with byte images (read back exactly).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.hpp"

namespace {

// A curve record that releases itself.
struct OwnedCurve {
  BScurve *cv = nullptr;
  OwnedCurve() = default;
  OwnedCurve(const OwnedCurve &) = delete;
  OwnedCurve &operator=(const OwnedCurve &) = delete;
  ~OwnedCurve() {
    BSrc rc;
    if (cv != nullptr) BSfreeqelcv(cv, &rc);
  }
};

// Reads the curve of FILE into out; returns cli::kOk or the exit code after the message.
int read_curve(const char *path, OwnedCurve &out) {
  FILE *f = std::fopen(path, "r");
  if (f == nullptr) {
    std::fprintf(stderr, "knotwork: cannot open '%s': %s\n", path, std::strerror(errno));
    return cli::kLibraryFailure;
  }
  BSrc rc = BSSUCC;
  BSreadcv(f, &out.cv, &rc);
  std::fclose(f);
  if (rc != BSSUCC) return cli::library_failure("BSreadcv", rc);
  return cli::kOk;
}

// Writes curve to path as an unlabelled dump with byte images.
int write_curve(const char *path, const BScurve &cv) {
  FILE *f = std::fopen(path, "w");
  if (f == nullptr) {
    std::fprintf(stderr, "knotwork: cannot create '%s': %s\n", path, std::strerror(errno));
    return cli::kLibraryFailure;
  }
  const BSboolean ok = BSprthexcv(f, &cv);
  const bool closed = std::fclose(f) == 0;
  if (!ok || !closed) {
    std::fprintf(stderr, "knotwork: cannot write the curve to '%s'\n", path);
    return cli::kLibraryFailure;
  }
  return cli::kOk;
}

double domain_start(const BScurve &cv) {
  return cv.knots[cv.order - 1];
}
double domain_end(const BScurve &cv) {
  return cv.knots[cv.num_poles];
}

void describe(const char *what, const char *path, const BScurve &cv) {
  std::printf("%s: %s, order %d, %d poles, domain [%.17g, %.17g]\n", what, path, cv.order,
              cv.num_poles, domain_start(cv), domain_end(cv));
}

bool parse_parameter(const char *text, double *u, const char *command) {
  if (cli::parse_double(text, u)) return true;
  cli::usage_error(std::string(command) + ": '" + text + "' is not a number");
  return false;
}

// Arrays that BScvsplit allocated for a piece.
void free_piece_arrays(BScurve &cv) {
  BSdbgfree(cv.poles);
  BSdbgfree(cv.knots);
  if (cv.rational) BSdbgfree(cv.weights);
}

int cmd_split(int argc, char **argv) {
  if (argc != 4) return cli::usage_error("split takes FILE u OUT1 OUT2");
  double u;
  if (!parse_parameter(argv[1], &u, "split")) return cli::kUsage;
  OwnedCurve in;
  if (const int code = read_curve(argv[0], in); code != cli::kOk) return code;
  BScurve left{}, right{};
  BSrc rc;
  const BSboolean plane = TRUE;
  if (!BScvsplit(&rc, in.cv, &u, &left, &right, &plane)) {
    if (left.num_poles > 0) free_piece_arrays(left);
    if (right.num_poles > 0) free_piece_arrays(right);
    return cli::library_failure("BScvsplit", rc);
  }
  int code = cli::kOk;
  if (left.num_poles == 0 || right.num_poles == 0) {
    code = cli::usage_error("split: u must lie inside the domain [" +
                            std::to_string(domain_start(*in.cv)) + ", " +
                            std::to_string(domain_end(*in.cv)) + "] (within the knot tolerance)");
  } else {
    code = write_curve(argv[2], left);
    if (code == cli::kOk) code = write_curve(argv[3], right);
    if (code == cli::kOk) {
      describe("left", argv[2], left);
      describe("right", argv[3], right);
    }
  }
  if (left.num_poles > 0) free_piece_arrays(left);
  if (right.num_poles > 0) free_piece_arrays(right);
  return code;
}

int cmd_extract(int argc, char **argv) {
  if (argc != 4) return cli::usage_error("extract takes FILE ua ub OUT");
  double ua, ub;
  if (!parse_parameter(argv[1], &ua, "extract") || !parse_parameter(argv[2], &ub, "extract"))
    return cli::kUsage;
  OwnedCurve in, out;
  if (const int code = read_curve(argv[0], in); code != cli::kOk) return code;
  BSrc rc;
  const int32_t room = in.cv->num_poles + 2 * (in.cv->order - 1);
  BSallocqelcv(in.cv->order, room, in.cv->rational, 0, &out.cv, &rc);
  if (rc != BSSUCC) return cli::library_failure("BSallocqelcv", rc);
  const BSboolean plane = TRUE;
  if (!BSactivsplt(&rc, in.cv, &ua, &ub, out.cv, &plane))
    return cli::library_failure("BSactivsplt", rc);
  if (const int code = write_curve(argv[3], *out.cv); code != cli::kOk) return code;
  describe("part", argv[3], *out.cv);
  return cli::kOk;
}

int cmd_reverse(int argc, char **argv) {
  if (argc != 2) return cli::usage_error("reverse takes FILE OUT");
  OwnedCurve in;
  if (const int code = read_curve(argv[0], in); code != cli::kOk) return code;
  BSrc rc;
  if (!BSrev_cv(&rc, in.cv)) return cli::library_failure("BSrev_cv", rc);
  if (const int code = write_curve(argv[1], *in.cv); code != cli::kOk) return code;
  describe("reversed", argv[1], *in.cv);
  return cli::kOk;
}

int cmd_insert(int argc, char **argv) {
  if (argc != 3 && argc != 4) return cli::usage_error("insert takes FILE u [times] OUT");
  double u;
  if (!parse_parameter(argv[1], &u, "insert")) return cli::kUsage;
  long times = 1;
  if (argc == 4 && !cli::parse_int(argv[2], &times))
    return cli::usage_error(std::string("insert: '") + argv[2] + "' is not a whole number");
  if (times < 1 || times > 32767)
    return cli::usage_error("insert: times must be at least 1 (and at most the degree)");
  OwnedCurve in;
  if (const int code = read_curve(argv[0], in); code != cli::kOk) return code;
  BSrc rc;
  // The result replaces the input record.
  BSadd_1kt_mul(in.cv, u, static_cast<int32_t>(times), FALSE, &in.cv, &rc);
  if (rc != BSSUCC) return cli::library_failure("BSadd_1kt_mul", rc);
  if (const int code = write_curve(argv[argc - 1], *in.cv); code != cli::kOk) return code;
  describe("refined", argv[argc - 1], *in.cv);
  return cli::kOk;
}

const cli::Command split_command(
    "split", "split FILE u OUT1 OUT2",
    "Splits the curve of the dump FILE at the parameter u (inside the domain) and\n"
    "writes the part before u to OUT1 and the part after it to OUT2, both clamped,\n"
    "as dumps with byte images.\n\n"
    "example: knotwork split examples/cubic.cv 0.5 left.cv right.cv\n",
    cmd_split, 40);
const cli::Command extract_command(
    "extract", "extract FILE ua ub OUT",
    "Writes the part of the curve of FILE between the parameters ua and ub (in\n"
    "either order) to OUT as a clamped curve.\n\n"
    "example: knotwork extract examples/cubic.cv 0.2 0.7 part.cv\n",
    cmd_extract, 41);
const cli::Command reverse_command(
    "reverse", "reverse FILE OUT",
    "Writes the curve of FILE with its direction reversed (same domain) to OUT.\n\n"
    "example: knotwork reverse examples/cubic.cv reversed.cv\n",
    cmd_reverse, 42);
const cli::Command insert_command(
    "insert", "insert FILE u [times] OUT",
    "Inserts the knot u (strictly inside the domain) times times (default 1; the\n"
    "knot's multiplicity may reach the degree) into the curve of FILE without\n"
    "changing its shape, and writes the result to OUT.\n\n"
    "example: knotwork insert examples/cubic.cv 0.25 2 refined.cv\n",
    cmd_insert, 43);

}  // namespace
