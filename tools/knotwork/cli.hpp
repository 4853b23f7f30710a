// The knotwork program's command registry and shared helpers. Each command group
// lives in its own cmd_<group>.cpp and registers itself with a static Command.
#ifndef KNOTWORK_TOOL_CLI_HPP
#define KNOTWORK_TOOL_CLI_HPP

#include <string>

#include "knotwork.h"

namespace cli {

// Exit codes: 0 success, 1 library failure, 2 usage error.
constexpr int kOk = 0;
constexpr int kLibraryFailure = 1;
constexpr int kUsage = 2;

using Handler = int (*)(int argc, char **argv);  // argv: the arguments after the command

struct Command {
  const char *name;
  const char *synopsis;  // one line: "info FILE"
  const char *help;      // full text: arguments and an example
  Handler run;
  int order;  // position in the help listing
  Command(const char *name, const char *synopsis, const char *help, Handler run, int order);
};

// A section of `knotwork demo`: runs on the built-in samples, prints its part of
// the report; sections run in ascending order.
struct DemoSection {
  DemoSection(int order, int (*run)());
};

// Prints "knotwork: message" to stderr; returns code.
int fail(const std::string &message, int code);
// Prints "knotwork: message" and the help hint to stderr; returns kUsage.
int usage_error(const std::string &message);
// Prints the failing operation, the status name and number, and the error trace to
// stderr; returns kLibraryFailure.
int library_failure(const char *operation, BSrc rc);
// Name of a status code ("BSINARG") or "status" for codes without a name.
const char *status_name(BSrc rc);
// Parses a whole-string finite double or an integer; false on any junk, overflow,
// infinity or NaN.
bool parse_double(const char *text, double *out);
bool parse_int(const char *text, long *out);

}  // namespace cli

#endif
