// knotwork fit: the curve through the points of a points file (one point per line,
// "x y z" or "x y", '#' starts a comment), written as a dump with byte images.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "curves.hpp"
#include "files.hpp"

namespace {

// Reads the points of path into pts (3 doubles each). Returns kOk or the exit code
// after the message: a file that cannot be opened or a malformed line is a usage error.
int read_points(const char *path, std::vector<double> *pts) {
  std::ifstream in(path);
  if (!in) return cli::usage_error(std::string("fit: cannot open '") + path + "'");
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    for (char &c : line)
      if (c == ',' || c == '\t' || c == '\r') c = ' ';
    std::istringstream words(line);
    std::vector<double> v;
    std::string word;
    bool good = true;
    while (words >> word) {
      double x;
      good = good && cli::parse_double(word.c_str(), &x);
      v.push_back(good ? x : 0.0);
    }
    if (v.empty() && good) continue;
    if (!good || v.size() < 2 || v.size() > 3)
      return cli::usage_error(std::string("fit: ") + path + " line " + std::to_string(number) +
                              ": expected a point x y z");
    v.resize(3, 0.0);
    pts->insert(pts->end(), v.begin(), v.end());
  }
  if (pts->empty()) return cli::usage_error(std::string("fit: ") + path + " holds no points");
  return cli::kOk;
}

int cmd_fit(int argc, char **argv) {
  const char *input = nullptr, *output = nullptr;
  long order = 4;
  bool periodic = false;
  for (int i = 0; i < argc; ++i) {
    const char *a = argv[i];
    if (std::strcmp(a, "--order") == 0) {
      if (i + 1 >= argc || !cli::parse_int(argv[++i], &order) || order < 2 || order > 16)
        return cli::usage_error("fit: --order needs a whole number from 2 to 16");
    } else if (std::strcmp(a, "--periodic") == 0) {
      periodic = true;
    } else if (a[0] == '-' && a[1] == '-') {
      return cli::usage_error(std::string("fit: unknown option '") + a + "'");
    } else if (input == nullptr) {
      input = a;
    } else if (output == nullptr) {
      output = a;
    } else {
      return cli::usage_error("fit takes POINTS OUT [--order k] [--periodic]");
    }
  }
  if (output == nullptr) return cli::usage_error("fit takes POINTS OUT [--order k] [--periodic]");
  std::vector<double> pts;
  if (const int code = read_points(input, &pts); code != cli::kOk) return code;
  const int32_t n = static_cast<int32_t>(pts.size() / 3);
  BSrc rc;
  BScurve *record = nullptr;
  BSallocqelcv(static_cast<int16_t>(order), n + static_cast<int32_t>(order), FALSE, 0, &record,
               &rc);
  cli::CurvePtr cv(record);
  if (rc != BSSUCC) return cli::library_failure("BSallocqelcv", rc);
  // The record's block holds n + order poles and n + 2 order knots: room for the fit.
  BSdirfitcv(n, pts.data(), static_cast<int16_t>(order), 0, 0, periodic, nullptr, nullptr, cv.get(),
             &rc);
  if (rc != BSSUCC) return cli::library_failure("BSdirfitcv", rc);
  const int code = cli::write_output_file(output, [&](FILE *out, std::string *error) {
    if (BSprthexcv(out, cv.get())) return true;
    *error = "the curve record is not valid";
    return false;
  });
  if (code != cli::kOk) return code;
  std::printf("fit %d points: %s: %s\n", n, output, cli::describe_curve(*cv).c_str());
  return cli::kOk;
}

const cli::Command fit_command(
    "fit", "fit POINTS OUT [--order k] [--periodic]",
    "Fits a curve of order k (default 4, 2..16) through the points of the file\n"
    "POINTS (one point per line: x y z, or x y with z = 0; '#' starts a comment)\n"
    "and writes it to OUT as a dump with byte images. --periodic closes the curve\n"
    "periodically (the last point must repeat the first). Draw the result with the\n"
    "points: knotwork svg OUT -o fit.svg --poles --points x,y,z ...\n\n"
    "example: knotwork fit examples/wave.pts wave.cv --order 4\n",
    cmd_fit, 45);

}  // namespace
