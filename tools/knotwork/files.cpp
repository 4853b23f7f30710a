// Files of the knotwork program: reading curve files, writing output files.
#include "files.hpp"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "cli.hpp"

namespace cli {
namespace {

std::string quoted(const char *path) {
  return std::string("'") + path + "'";
}

// Opens the file at path for reading; null (after the message) when it cannot be
// opened. The stream is seekable: a pipe or terminal is copied to a temporary file
// first, because the reader looks ahead in dumps with byte images.
FILE *open_curve_stream(const char *path, int *code) {
  *code = kUsage;
  struct stat info;
  if (::stat(path, &info) != 0) {
    fail("cannot open " + quoted(path) + ": " + std::strerror(errno), kUsage);
    return nullptr;
  }
  if (S_ISDIR(info.st_mode)) {
    fail(quoted(path) + " is a directory, not a curve file", kUsage);
    return nullptr;
  }
  FILE *in = std::fopen(path, "r");
  if (in == nullptr) {
    fail("cannot open " + quoted(path) + ": " + std::strerror(errno), kUsage);
    return nullptr;
  }
  if (std::fseek(in, 0, SEEK_CUR) == 0) return in;
  FILE *copy = std::tmpfile();
  if (copy == nullptr) {
    *code = fail("cannot buffer " + quoted(path) + ": " + std::strerror(errno), kLibraryFailure);
    std::fclose(in);
    return nullptr;
  }
  for (int c; (c = std::getc(in)) != EOF;) std::putc(c, copy);
  std::fclose(in);
  std::rewind(copy);
  return copy;
}

// Skips white space; false at the end of the stream.
bool more_to_read(FILE *in) {
  int c;
  do c = std::getc(in);
  while (c != EOF && std::isspace(c));
  if (c == EOF) return false;
  std::ungetc(c, in);
  return true;
}

// Reads the curves of an open stream; see read_curve_file.
int read_curves(FILE *in, const char *path, CurveUse use, std::vector<NamedCurve> *read) {
  for (int index = 1; more_to_read(in); ++index) {
    BScurve *raw = nullptr;
    BSrc rc = BSSUCC;
    BSreadcv(in, &raw, &rc);
    CurvePtr curve(raw);
    const std::string where = quoted(path) + " curve " + std::to_string(index);
    if (rc == BSBADWEIGHT && curve) {
      std::fprintf(stderr, "knotwork: warning: %s has a weight below 0.001\n", where.c_str());
    } else if (rc != BSSUCC) {
      // The reader delivers a curve with status 2 when its order is one it does
      // not evaluate (1, or 17 and above).
      if (rc == 2 && curve)
        std::fprintf(stderr, "knotwork: %s: order %d is not supported (orders 2 to 16)\n",
                     where.c_str(), curve->order);
      const int code = library_failure(("reading " + where + " (BSreadcv)").c_str(), rc);
      if (use == CurveUse::Inspect && curve) read->push_back(NamedCurve{path, std::move(curve)});
      return code;
    } else if (!curve) {
      return library_failure(("reading " + where + " (BSreadcv)").c_str(), BSNULLPTR);
    }
    if (use == CurveUse::Compute) {
      double start, end;
      curve_domain(*curve, &start, &end);
      if (!(start < end))
        return fail(where + ": empty parameter range [" + number(start) + ", " + number(end) + "]",
                    kLibraryFailure);
    }
    read->push_back(NamedCurve{path, std::move(curve)});
  }
  if (read->empty()) return fail(quoted(path) + " holds no curve", kLibraryFailure);
  return kOk;
}

}  // namespace

int read_curve_file(const char *path, std::vector<NamedCurve> *curves, CurveUse use) {
  int code;
  FILE *in = open_curve_stream(path, &code);
  if (in == nullptr) return code;
  std::vector<NamedCurve> read;
  code = read_curves(in, path, use, &read);
  std::fclose(in);
  if (read.size() > 1)
    for (size_t i = 0; i < read.size(); ++i) {
      char suffix[24];
      std::snprintf(suffix, sizeof suffix, "#%zu", i + 1);
      read[i].name += suffix;
    }
  if (code == kOk || use == CurveUse::Inspect)
    for (NamedCurve &c : read) curves->push_back(std::move(c));
  return code;
}

int read_one_curve(const char *command, const char *path, CurvePtr *curve, CurveUse use) {
  std::vector<NamedCurve> read;
  const int code = read_curve_file(path, &read, use);
  if (code == kOk && read.size() > 1)
    return usage_error(std::string(command) + ": " + quoted(path) + " holds " +
                       std::to_string(read.size()) + " curves; give a file with one curve");
  if (!read.empty()) *curve = std::move(read.front().curve);
  return code;
}

int write_output_file(const char *path,
                      const std::function<bool(FILE *out, std::string *error)> &write) {
  FILE *out = std::fopen(path, "w");
  if (out == nullptr)
    return fail("cannot create " + quoted(path) + ": " + std::strerror(errno), kUsage);
  std::string error;
  bool ok = write(out, &error);
  if (ok && std::ferror(out)) {
    ok = false;
    error = "write error";
  }
  if (std::fclose(out) != 0 && ok) {
    ok = false;
    error = std::strerror(errno);
  }
  if (ok) return kOk;
  std::remove(path);
  return fail("cannot write " + quoted(path) + ": " + error, kLibraryFailure);
}

}  // namespace cli
