// knotwork circle / arc / join: build exact circles and circular arcs, join two
// curves, and write the results as dumps with byte images (read back exactly).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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
int write_built(const char *what, const char *path, const BScurve &cv, bool rational = true) {
  const int code = cli::write_output_file(path, [&](FILE *out, std::string *error) {
    if (BSprthexcv(out, &cv)) return true;
    *error = "the curve record is not valid";
    return false;
  });
  if (code == cli::kOk)
    std::printf("%s: %s, order %d, %d poles%s, domain [0, 1]\n", what, path, cv.order, cv.num_poles,
                rational ? ", rational" : "");
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

// Pole count of cv raised to order k: each distinct knot gains k - order copies.
int32_t raised_poles(const BScurve &cv, int k) {
  return cv.num_poles + (k - cv.order) * (cv.num_poles - cv.order + 2);
}

int cmd_join(int argc, char **argv) {
  if (argc != 3) return cli::usage_error("join takes A B OUT");
  cli::CurvePtr a, b;
  if (const int code = cli::read_one_curve("join", argv[0], &a); code != cli::kOk) return code;
  if (const int code = cli::read_one_curve("join", argv[1], &b); code != cli::kOk) return code;
  const int k = std::max(a->order, b->order);
  const size_t n = static_cast<size_t>(raised_poles(*a, k) + raised_poles(*b, k));
  std::vector<double> poles(3 * n), knots(n + k), weights(n);
  BScurve out{};
  out.poles = poles.data();
  out.knots = knots.data();
  out.weights = weights.data();
  BSrc rc;
  if (!BSmerge_cv(&rc, a.get(), b.get(), &out)) return cli::library_failure("BSmerge_cv", rc);
  return write_built("joined", argv[2], out, out.rational != 0);
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
const cli::Command join_command(
    "join", "join A B OUT",
    "Joins the curves of the files A and B, which must meet at an end (within\n"
    "dist_tol; either curve is reversed as needed and the lower order raised), into\n"
    "one curve on [0, 1] written to OUT.\n\n"
    "example: knotwork join examples/line.cv examples/cubic.cv joined.cv\n",
    cmd_join, 44);

}  // namespace
