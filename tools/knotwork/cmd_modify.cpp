// knotwork split / extract / reverse / insert: cut, reverse or refine the curve
// of a dump and write the results as dumps with byte images (read back exactly).
#include <cstdio>
#include <string>

#include "cli.hpp"
#include "files.hpp"

namespace {

// Writes curve to path as an unlabelled dump with byte images.
int write_curve(const char *path, const BScurve &cv) {
  return cli::write_output_file(path, [&](FILE *out, std::string *error) {
    if (BSprthexcv(out, &cv)) return true;
    *error = "the curve record is not valid";
    return false;
  });
}

void describe(const char *what, const char *path, const BScurve &cv) {
  double start, end;
  cli::curve_domain(cv, &start, &end);
  std::printf("%s: %s, order %d, %d poles, domain [%.17g, %.17g]\n", what, path, cv.order,
              cv.num_poles, start, end);
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
  cli::CurvePtr in;
  if (const int code = cli::read_one_curve("split", argv[0], &in); code != cli::kOk) return code;
  BScurve left{}, right{};
  BSrc rc;
  const BSboolean plane = TRUE;
  if (!BScvsplit(&rc, in.get(), &u, &left, &right, &plane)) {
    if (left.num_poles > 0) free_piece_arrays(left);
    if (right.num_poles > 0) free_piece_arrays(right);
    return cli::library_failure("BScvsplit", rc);
  }
  int code = cli::kOk;
  if (left.num_poles == 0 || right.num_poles == 0) {
    double start, end;
    cli::curve_domain(*in, &start, &end);
    code = cli::usage_error("split: u must lie inside the domain [" + std::to_string(start) + ", " +
                            std::to_string(end) + "] (within the knot tolerance)");
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
  cli::CurvePtr in;
  if (const int code = cli::read_one_curve("extract", argv[0], &in); code != cli::kOk) return code;
  BSrc rc;
  const int32_t room = in->num_poles + 2 * (in->order - 1);
  BScurve *record = nullptr;
  BSallocqelcv(in->order, room, in->rational, 0, &record, &rc);
  cli::CurvePtr out(record);
  if (rc != BSSUCC) return cli::library_failure("BSallocqelcv", rc);
  const BSboolean plane = TRUE;
  if (!BSactivsplt(&rc, in.get(), &ua, &ub, out.get(), &plane))
    return cli::library_failure("BSactivsplt", rc);
  if (const int code = write_curve(argv[3], *out); code != cli::kOk) return code;
  describe("part", argv[3], *out);
  return cli::kOk;
}

int cmd_reverse(int argc, char **argv) {
  if (argc != 2) return cli::usage_error("reverse takes FILE OUT");
  cli::CurvePtr in;
  if (const int code = cli::read_one_curve("reverse", argv[0], &in); code != cli::kOk) return code;
  BSrc rc;
  if (!BSrev_cv(&rc, in.get())) return cli::library_failure("BSrev_cv", rc);
  if (const int code = write_curve(argv[1], *in); code != cli::kOk) return code;
  describe("reversed", argv[1], *in);
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
  cli::CurvePtr in;
  if (const int code = cli::read_one_curve("insert", argv[0], &in); code != cli::kOk) return code;
  BSrc rc;
  BScurve *record = nullptr;
  BSadd_1kt_mul(in.get(), u, static_cast<int32_t>(times), FALSE, &record, &rc);
  cli::CurvePtr refined(record);
  if (rc != BSSUCC) return cli::library_failure("BSadd_1kt_mul", rc);
  if (const int code = write_curve(argv[argc - 1], *refined); code != cli::kOk) return code;
  describe("refined", argv[argc - 1], *refined);
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
