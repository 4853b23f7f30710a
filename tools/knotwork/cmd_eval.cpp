// knotwork eval and knotwork sample: curve points and derivatives from a file.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.hpp"
#include "curves.hpp"
#include "files.hpp"

namespace {

constexpr long kMaxDerivatives = 15;
constexpr long kMaxSamples = 1000000;

void print_triple(const char *label, const double *v) {
  std::printf("%-13s %s %s %s\n", label, cli::number(v[0]).c_str(), cli::number(v[1]).c_str(),
              cli::number(v[2]).c_str());
}

int cmd_eval(int argc, char **argv) {
  if (argc < 2 || argc > 3) return cli::usage_error("eval needs FILE u [d]");
  double u;
  if (!cli::parse_double(argv[1], &u) || !std::isfinite(u))
    return cli::usage_error(std::string("eval: '") + argv[1] + "' is not a parameter value");
  long d = 0;
  if (argc == 3 && (!cli::parse_int(argv[2], &d) || d < 0 || d > kMaxDerivatives))
    return cli::usage_error(std::string("eval: '") + argv[2] +
                            "' is not a derivative count from 0 to 15");
  std::vector<cli::NamedCurve> curves;
  if (const int code = cli::read_curve_file(argv[0], &curves); code != cli::kOk) return code;

  std::vector<double> out(3 * static_cast<size_t>(d + 1));
  for (const cli::NamedCurve &c : curves) {
    double start, end;
    cli::curve_domain(*c.curve, &start, &end);
    if (u < start || u > end)
      std::fprintf(stderr,
                   "knotwork: note: u = %.17g lies outside the domain [%.17g, %.17g] of %s; "
                   "the end piece is extrapolated\n",
                   u, start, end, c.name.c_str());
    BSrc rc = BSSUCC;
    BScveval(c.curve.get(), u, static_cast<int32_t>(d), out.data(), &rc);
    if (rc != BSSUCC)
      return cli::library_failure(("evaluating " + c.name + " (BScveval)").c_str(), rc);
    std::printf("curve %s: %s\n", c.name.c_str(), cli::describe_curve(*c.curve).c_str());
    std::printf("u %s\n", cli::number(u).c_str());
    print_triple("point", out.data());
    for (long j = 1; j <= d; ++j) {
      const std::string label = "derivative " + std::to_string(j);
      print_triple(label.c_str(), out.data() + 3 * j);
    }
  }
  return cli::kOk;
}

int cmd_sample(int argc, char **argv) {
  if (argc != 2) return cli::usage_error("sample needs FILE N");
  long n = 0;
  if (!cli::parse_int(argv[1], &n) || n < 2 || n > kMaxSamples)
    return cli::usage_error(std::string("sample: '") + argv[1] +
                            "' is not a point count from 2 to 1000000");
  std::vector<cli::NamedCurve> curves;
  if (const int code = cli::read_curve_file(argv[0], &curves); code != cli::kOk) return code;

  std::vector<double> pars(static_cast<size_t>(n)), points(3 * static_cast<size_t>(n));
  for (const cli::NamedCurve &c : curves) {
    double start, end;
    cli::curve_domain(*c.curve, &start, &end);
    for (long i = 0; i < n; ++i) pars[i] = start + (end - start) * static_cast<double>(i) / (n - 1);
    pars[n - 1] = end;
    BSrc rc = BSSUCC;
    BScvarrev0(&rc, c.curve.get(), pars.data(), static_cast<int32_t>(n), points.data());
    if (rc != BSSUCC)
      return cli::library_failure(("sampling " + c.name + " (BScvarrev0)").c_str(), rc);
    std::printf("# curve %s: %s\n# u x y z\n", c.name.c_str(),
                cli::describe_curve(*c.curve).c_str());
    for (long i = 0; i < n; ++i) {
      const double *p = &points[3 * i];
      std::printf("%s %s %s %s\n", cli::number(pars[i]).c_str(), cli::number(p[0]).c_str(),
                  cli::number(p[1]).c_str(), cli::number(p[2]).c_str());
    }
  }
  return cli::kOk;
}

const cli::Command eval_command(
    "eval", "eval FILE u [d]",
    "Evaluates every curve of the file at the parameter u: the point and the first d\n"
    "derivatives (0 to 15, default 0), with BScveval. A parameter outside the domain\n"
    "is evaluated on the end piece (a note goes to stderr).\n\n"
    "example: knotwork eval examples/quarter_circle.cv 0.5 2\n",
    cmd_eval, 22);
const cli::Command sample_command(
    "sample", "sample FILE N",
    "Prints N points (2 to 1000000) of every curve of the file, evenly spaced in the\n"
    "parameter from the start to the end of the domain, one 'u x y z' line each\n"
    "(BScvarrev0).\n\n"
    "example: knotwork sample examples/cubic.cv 9\n",
    cmd_sample, 23);

}  // namespace
