// knotwork project / nearest-all: the nearest point of a curve read from a dump
// to a point, and every nearest parameter and parameter interval; the projection
// part of the demo.
#include <cmath>
#include <cstdio>
#include <string>

#include "cli.hpp"
#include "files.hpp"

namespace {

int print_projection(const BScurve *curve, const double *point) {
  double u = 0.0, foot[3], dist = 0.0;
  BSrc rc = BSSUCC;
  BSmdstptcv(curve, point, &u, foot, &dist, &rc);
  if (rc != BSSUCC) return cli::library_failure("BSmdstptcv", rc);
  std::printf("parameter %.17g\n", u);
  std::printf("foot      %.17g %.17g %.17g\n", foot[0], foot[1], foot[2]);
  std::printf("distance  %.17g\n", dist);
  return cli::kOk;
}

int print_all_nearest(const BScurve *curve, const double *point) {
  int16_t num_intervals = 0, num_params = 0;
  double *params = nullptr, *intervals = nullptr, dist = 0.0;
  BSrc rc = BSSUCC;
  BSmdistptcv(curve, point, &num_intervals, &num_params, &params, &dist, &intervals, &rc);
  if (rc != BSSUCC) return cli::library_failure("BSmdistptcv", rc);
  std::printf("distance  %.17g\n", dist);
  std::printf("parameters %d\n", num_params);
  for (int i = 0; i < num_params; ++i) std::printf("  %.17g\n", params[i]);
  std::printf("intervals %d\n", num_intervals);
  for (int i = 0; i < num_intervals; ++i)
    std::printf("  [%.17g, %.17g]\n", intervals[2 * i], intervals[2 * i + 1]);
  if (params != nullptr) BSdbgfree(params);
  if (intervals != nullptr) BSdbgfree(intervals);
  return cli::kOk;
}

// Runs a query command: reads FILE and the point x y z, then prints the answer.
int run_query(const char *command, int argc, char **argv,
              int (*print)(const BScurve *curve, const double *point)) {
  if (argc != 4) return cli::usage_error(std::string(command) + " takes FILE x y z");
  double point[3];
  for (int i = 0; i < 3; ++i)
    if (!cli::parse_double(argv[1 + i], &point[i]))
      return cli::usage_error(std::string(command) + ": '" + argv[1 + i] + "' is not a number");
  cli::CurvePtr curve;
  const int code = cli::read_one_curve(command, argv[0], &curve);
  return code != cli::kOk ? code : print(curve.get(), point);
}

int cmd_project(int argc, char **argv) {
  return run_query("project", argc, argv, print_projection);
}

int cmd_nearest_all(int argc, char **argv) {
  return run_query("nearest-all", argc, argv, print_all_nearest);
}

// A full circle of radius 1 as four rational quarter arcs: the nearest point to an
// outside point, and all nearest parameters of its centre (one interval).
int demo_projection() {
  const double w = std::sqrt(0.5);
  const double xy[9][2] = {{1, 0},   {1, 1},  {0, 1},  {-1, 1}, {-1, 0},
                           {-1, -1}, {0, -1}, {1, -1}, {1, 0}};
  double poles[27], weights[9];
  for (int i = 0; i < 9; ++i) {
    weights[i] = i % 2 ? w : 1.0;
    poles[3 * i] = weights[i] * xy[i][0];
    poles[3 * i + 1] = weights[i] * xy[i][1];
    poles[3 * i + 2] = 0.0;
  }
  double knots[12] = {0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
  BScurve circle{};
  circle.order = 3;
  circle.num_poles = 9;
  circle.poles = poles;
  circle.num_knots = 12;
  circle.knots = knots;
  circle.rational = 1;
  circle.weights = weights;
  circle.planar = 1;
  circle.phy_closed = 1;
  const double outside[3] = {2, 2, 0}, centre[3] = {0, 0, 0};
  std::printf("\nprojection: unit circle, nearest point to (2, 2, 0)\n");
  int code = print_projection(&circle, outside);
  if (code != cli::kOk) return code;
  std::printf("projection: all nearest parameters of the centre\n");
  return print_all_nearest(&circle, centre);
}

const cli::Command project_command(
    "project", "project FILE x y z",
    "Reads the curve dump in FILE and prints the point of the curve nearest to\n"
    "(x, y, z): its parameter, the foot point and the distance. On a closed curve\n"
    "a point nearest to the joint gets the start parameter.\n\n"
    "example: knotwork project examples/cubic.cv 1 2 0\n",
    cmd_project, 80);
const cli::Command nearest_all_command(
    "nearest-all", "nearest-all FILE x y z",
    "Reads the curve dump in FILE and prints every parameter at which the curve is\n"
    "nearest to (x, y, z) (within dist_tol of the nearest distance), ascending,\n"
    "and every parameter interval over which it stays at that distance (an arc\n"
    "centred on the point).\n\n"
    "example: knotwork nearest-all examples/quarter_circle.cv 0 0 0\n",
    cmd_nearest_all, 81);
const cli::DemoSection projection_demo(80, demo_projection);

}  // namespace
