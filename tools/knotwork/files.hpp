// Files of the knotwork program: the one reader of curve files that every command
// uses, and the one writer of output files. Both follow the same exit-code rule:
// a path named on the command line that cannot be opened (missing, a directory, no
// permission, a folder that does not exist) is a usage error (kUsage); a file that
// opens but does not hold usable curves is a library failure (kLibraryFailure),
// reported with the reader's status, its number and the error trace.
#ifndef KNOTWORK_TOOL_FILES_HPP
#define KNOTWORK_TOOL_FILES_HPP

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "curves.hpp"

namespace cli {

// What a command does with the curves it reads.
enum class CurveUse {
  // Evaluates, samples, cuts or projects them: every curve must be one the library
  // works with (order 2 to 16) and have a non-empty parameter domain.
  Compute,
  // Only shows them or writes them out again (info, dump): a curve that the reader
  // delivers with an unsupported order is still handed back so that it can be
  // shown, although the result is kLibraryFailure; the domain is not checked.
  Inspect,
};

// Reads every curve of the file at path (at least one) and appends them to curves,
// named "path", or "path#1", "path#2"... when the file holds several. A pipe is
// read whole first (the reader looks ahead in dumps with byte images). A weight
// below 0.001 only prints a warning. Returns kOk, or the exit code after printing
// the message.
int read_curve_file(const char *path, std::vector<NamedCurve> *curves,
                    CurveUse use = CurveUse::Compute);

// Reads the one curve of the file for a command that works on a single curve
// (command names it in messages); a file with several curves is a usage error.
// Returns as read_curve_file; in Inspect mode *curve may be set with kLibraryFailure.
int read_one_curve(const char *command, const char *path, CurvePtr *curve,
                   CurveUse use = CurveUse::Compute);

// Creates (or replaces) the file at path and fills it with write(stream, error),
// which returns false with a message on failure. Returns kOk; kUsage when the file
// cannot be created; kLibraryFailure when writing or closing fails, after removing
// the partial file. Messages are printed as "knotwork: ...".
int write_output_file(const char *path,
                      const std::function<bool(FILE *out, std::string *error)> &write);

}  // namespace cli

#endif
