// File arguments of the knotwork program: the bytes become a curve file that the
// program's reader takes (both uses), then a few commands run on it through the
// program's own entry (standard output is discarded).
#include <string>
#include <unistd.h>
#include <vector>

#include "../tools/knotwork/cli.hpp"
#include "../tools/knotwork/files.hpp"
#include "fuzz_input.hpp"

int knotwork_main(int argc, char **argv);

namespace {

// The temporary curve file of this process (removed at exit).
char temporary_path[] = "/tmp/knotwork_fuzz_XXXXXX";

const char *curve_file() {
  static bool made = false;
  if (!made) {
    const int fd = mkstemp(temporary_path);
    if (fd < 0) kwfuzz::fault("no temporary file");
    close(fd);
    std::atexit([] { std::remove(temporary_path); });
    std::freopen("/dev/null", "w", stdout);
    made = true;
  }
  return temporary_path;
}

int run(std::vector<std::string> args) {
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return knotwork_main(static_cast<int>(args.size()), argv.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = curve_file();
  FILE *out = std::fopen(path, "w");
  if (out == nullptr) kwfuzz::fault("cannot write the temporary file");
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  BSdbginit();
  std::vector<cli::NamedCurve> curves;
  const int inspect = cli::read_curve_file(path, &curves, cli::CurveUse::Inspect);
  if (inspect != cli::kOk && inspect != cli::kLibraryFailure) kwfuzz::fault("unexpected exit code");
  for (const cli::NamedCurve &c : curves)
    if (!c.curve) kwfuzz::fault("a null curve handed back");
  curves.clear();
  const int compute = cli::read_curve_file(path, &curves, cli::CurveUse::Compute);
  if (compute == cli::kOk && curves.empty()) kwfuzz::fault("success without curves");
  run({"knotwork", "info", path});
  run({"knotwork", "dump", path, "--hex"});
  if (compute != cli::kOk || curves.size() != 1) return 0;
  double start, end;
  cli::curve_domain(*curves[0].curve, &start, &end);
  const std::string mid = std::to_string(0.5 * (start + end));
  run({"knotwork", "eval", path, mid, "2"});
  run({"knotwork", "length", path});
  run({"knotwork", "project", path, "0.25", "0.5", "0.125"});
  run({"knotwork", "xplane", path, "0", "0", "0", "0.6", "0.8", "0"});
  return 0;
}
