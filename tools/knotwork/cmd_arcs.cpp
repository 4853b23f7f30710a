// knotwork length and knotwork at-length: the arc length of a curve read from a
// dump (whole, or between two parameters) and the parameter at a given length
// from the domain start, both to full accuracy.
#include <cmath>
#include <cstdio>
#include <string>

#include "cli.hpp"
#include "curves.hpp"
#include "files.hpp"

namespace {

// Full accuracy for the command line: the length tolerance (and, for the inverse,
// the distance tolerance that ends its search) are set for the call only.
constexpr double kLengthTolerance = 1e-12;

struct LengthTolerance {
  double saved_length = BSparameters.arclen_tol, saved_dist = BSparameters.dist_tol;
  LengthTolerance() {
    BSparameters.arclen_tol = kLengthTolerance;
    BSparameters.dist_tol = kLengthTolerance;
  }
  ~LengthTolerance() {
    BSparameters.arclen_tol = saved_length;
    BSparameters.dist_tol = saved_dist;
  }
};

int cmd_length(int argc, char **argv) {
  if (argc != 1 && argc != 3) return cli::usage_error("length needs FILE [u0 u1]");
  cli::CurvePtr curve;
  if (const int code = cli::read_one_curve("length", argv[0], &curve); code != cli::kOk)
    return code;
  double u0, u1;
  cli::curve_domain(*curve, &u0, &u1);
  if (argc == 3) {
    for (int i = 1; i <= 2; ++i) {
      double v;
      if (!cli::parse_double(argv[i], &v))
        return cli::usage_error(std::string("length: '") + argv[i] + "' is not a parameter value");
      (i == 1 ? u0 : u1) = v;
    }
  }
  const LengthTolerance scoped;
  BSrc rc = BSSUCC;
  double length = 0.0;
  if (!BSarclength(&rc, curve.get(), &u0, &u1, &length))
    return cli::library_failure("BSarclength", rc);
  std::printf("u0 %s\nu1 %s\nlength %s\n", cli::number(u0).c_str(), cli::number(u1).c_str(),
              cli::number(length).c_str());
  return cli::kOk;
}

int cmd_at_length(int argc, char **argv) {
  if (argc != 2) return cli::usage_error("at-length needs FILE s");
  double s;
  if (!cli::parse_double(argv[1], &s) || s < 0)
    return cli::usage_error(std::string("at-length: '") + argv[1] + "' is not a length >= 0");
  cli::CurvePtr curve;
  if (const int code = cli::read_one_curve("at-length", argv[0], &curve); code != cli::kOk)
    return code;
  double u0, u1;
  cli::curve_domain(*curve, &u0, &u1);
  const LengthTolerance scoped;
  BSrc rc = BSSUCC;
  double u = 0.0, point[3];
  if (!BSiarcln(&rc, curve.get(), &u0, &s, &u1, &u)) return cli::library_failure("BSiarcln", rc);
  BScveval(curve.get(), u, 0, point, &rc);
  if (rc != BSSUCC) return cli::library_failure("BScveval", rc);
  std::printf("length %s\nu %s\npoint %s %s %s\n", cli::number(s).c_str(), cli::number(u).c_str(),
              cli::number(point[0]).c_str(), cli::number(point[1]).c_str(),
              cli::number(point[2]).c_str());
  return cli::kOk;
}

const cli::Command length_command(
    "length", "length FILE [u0 u1]",
    "Prints the arc length of the curve in FILE over its whole domain, or between\n"
    "the parameters u0 and u1, to 1e-12.\n\nexample: knotwork length examples/quarter_circle.cv 0 "
    "0.5\n",
    cmd_length, 60);
const cli::Command at_length_command(
    "at-length", "at-length FILE s",
    "Prints the parameter and the point at arc length s from the start of the curve\n"
    "in FILE.\n\nexample: knotwork at-length examples/quarter_circle.cv 1\n",
    cmd_at_length, 61);

}  // namespace
