// knotwork circle / arc: build exact circles and circular arcs and write them as
// dumps with byte images (read back exactly).
#include <cstdio>
#include <string>

#include "cli.hpp"
#include "files.hpp"

namespace {

// Parses count numbers from argv into out; prints the usage error otherwise.
bool parse_numbers(const char *command, char **argv, int count, double *out) {
  for (int i = 0; i < count; ++i)
    if (!cli::parse_double(argv[i], &out[i])) {
      cli::usage_error(std::string(command) + ": '" + argv[i] + "' is not a number");
      return false;
    }
  return true;
}

// Writes a built circle or arc and describes it.
int write_built(const char *what, const char *path, const BScurve &cv) {
  const int code = cli::write_output_file(path, [&](FILE *out, std::string *error) {
    if (BSprthexcv(out, &cv)) return true;
    *error = "the curve record is not valid";
    return false;
  });
  if (code == cli::kOk)
    std::printf("%s: %s, order %d, %d poles, rational, domain [0, 1]\n", what, path, cv.order,
                cv.num_poles);
  return code;
}

// Record with room for any circle or arc (at most 7 poles).
struct ArcStorage {
  double poles[21], knots[10], weights[7];
  BScurve cv{};
  ArcStorage() {
    cv.poles = poles;
    cv.knots = knots;
    cv.weights = weights;
  }
};

int cmd_circle(int argc, char **argv) {
  if (argc != 8) return cli::usage_error("circle takes cx cy cz r nx ny nz OUT");
  double v[7];
  if (!parse_numbers("circle", argv, 7, v)) return cli::kUsage;
  ArcStorage s;
  BSrc rc;
  if (!BSprepcirc(&rc, v, &v[3], &v[4], &s.cv, nullptr, nullptr))
    return cli::library_failure("BSprepcirc", rc);
  return write_built("circle", argv[7], s.cv);
}

int cmd_arc(int argc, char **argv) {
  if (argc != 13 && argc != 10)
    return cli::usage_error(
        "arc takes sx sy sz cx cy cz ex ey ez nx ny nz OUT, or three points OUT");
  double v[12];
  if (!parse_numbers("arc", argv, argc - 1, v)) return cli::kUsage;
  ArcStorage s;
  BSrc rc;
  if (argc == 13) {
    if (!BSprepcarc(&rc, v, v + 3, v + 6, v + 9, &s.cv, nullptr, nullptr))
      return cli::library_failure("BSprepcarc", rc);
  } else if (!BSarc3pts(&rc, v, v + 3, v + 6, &s.cv)) {
    return cli::library_failure("BSarc3pts", rc);
  }
  return write_built("arc", argv[argc - 1], s.cv);
}

const cli::Command circle_command(
    "circle", "circle cx cy cz r nx ny nz OUT",
    "Writes the circle about the centre (cx, cy, cz) with radius r in the plane\n"
    "normal to (nx, ny, nz) to OUT: an exact quadratic rational curve of three\n"
    "120-degree pieces, counterclockwise about the normal, domain [0, 1].\n\n"
    "example: knotwork circle 0 0 0 2 0 0 1 circle.cv\n",
    cmd_circle, 30);
const cli::Command arc_command(
    "arc", "arc sx sy sz cx cy cz ex ey ez nx ny nz OUT | arc P1 P2 P3 OUT",
    "Writes an exact circular arc to OUT. With start, centre, end and normal: the\n"
    "arc from the start about the centre, counterclockwise about the normal, to\n"
    "the end (moved along its ray onto the circle). With three points (nine\n"
    "numbers): the arc from the first through the second to the third point.\n\n"
    "example: knotwork arc 1 0 0 0 0 0 0 1 0 0 0 1 quarter.cv\n",
    cmd_arc, 31);

}  // namespace
