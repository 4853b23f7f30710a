// knotwork offset: the offset of a planar curve (or of a line) read from a dump,
// written to standard output as a dump with byte images.
#include <cstdio>
#include <string>

#include "cli.hpp"
#include "curves.hpp"
#include "files.hpp"

namespace {

int cmd_offset(int argc, char **argv) {
  if (argc != 2 && argc != 5) return cli::usage_error("offset takes FILE d [nx ny nz]");
  double v[4] = {0.0, 0.0, 0.0, 0.0};
  for (int i = 1; i < argc; ++i)
    if (!cli::parse_double(argv[i], &v[i - 1]))
      return cli::usage_error(std::string("offset: '") + argv[i] + "' is not a number");
  cli::CurvePtr curve;
  const int code = cli::read_one_curve("offset", argv[0], &curve);
  if (code != cli::kOk) return code;
  cli::CurvePtr result;
  bool short_of_tol = false;
  if (const int c =
          cli::offset_curve(*curve, v[0], argc == 5 ? v + 1 : nullptr, &result, &short_of_tol);
      c != cli::kOk)
    return c;
  if (short_of_tol) std::fprintf(stderr, "knotwork: offset: some piece is short of offset_tol\n");
  if (BSprthexcv(stdout, result.get()) == FALSE) return cli::library_failure("BSprthexcv", -2);
  return cli::kOk;
}

const cli::Command offset_command(
    "offset", "offset FILE d [nx ny nz]",
    "Reads the planar curve (or line) in the dump FILE and writes its offset at\n"
    "distance |d| to standard output as a dump with byte images. The offset lies\n"
    "right of the curve's direction about the plane normal (nx, ny, nz) for d > 0\n"
    "and left for d < 0; without a normal the plane of the poles is used (the\n"
    "xy-plane's normal for a line). Corners are rounded and loops cut away; every\n"
    "point of the offset is within offset_tol of |d| from the curve.\n\n"
    "example: knotwork offset examples/quarter_circle.cv 0.5\n",
    cmd_offset, 83);

}  // namespace
