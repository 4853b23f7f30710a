// Status convention, error trace and debug failure injection.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "frame/frame.hpp"

extern "C" {
KW_API double BSglobaldebugfailurerate = 0.0;
KW_API int32_t BSglobaldebugfailuredata = 0;
KW_API int32_t BSglobaldebugfailurename = 0;
KW_API double BSglobalallocfailurerate = 0.0;
KW_API int32_t BSglobalallocfailurenumber = 0;
KW_API int32_t BSglobalallocfailuredata = 0;
KW_API int32_t BSglobalallocfailurename = 0;
}

namespace knotwork {
namespace {

constexpr int kTraceCapacity = 1000;
constexpr int kTraceNameBytes = 20;

struct TraceEntry {
  char name[kTraceNameBytes];
  int32_t code;
};

TraceEntry g_trace[kTraceCapacity];
int32_t g_trace_count = 0;
int32_t g_check_counter = 0;

bool rate_active(double rate) {
  return rate > 0.0 && rate <= 1.0;
}

// Sum of the 3-character groups after the leading "bs", each with the seed added.
int32_t name_hash(const char *s, int32_t seed) {
  const int32_t len = static_cast<int32_t>(std::strlen(s));
  const int32_t groups = (len - 2) / 3;
  uint32_t h = 0;  // wraps like a 32-bit signed accumulator
  for (int32_t i = 0; i < groups; ++i) {
    const int32_t k = 2 + 3 * i;
    const auto c0 = static_cast<int32_t>(static_cast<int8_t>(s[k]));
    const auto c1 = static_cast<int32_t>(static_cast<int8_t>(s[k + 1]));
    const auto c2 = static_cast<int32_t>(static_cast<int8_t>(s[k + 2]));
    h += static_cast<uint32_t>(seed) + static_cast<uint32_t>(c0) +
         (static_cast<uint32_t>(c1) << 8) + (static_cast<uint32_t>(c2) << 16);
  }
  return static_cast<int32_t>(h);
}

}  // namespace

[[noreturn]] void assertion_failed(const char *cond, const char *file, int line) {
  std::fprintf(stderr, "knotwork: internal assertion failed: %s (%s:%d)\n", cond, file, line);
  std::abort();
}

bool status_injection_active() {
  return rate_active(BSglobaldebugfailurerate);
}

void setrc_written(const char *written_name, BSrc *rc) {
  if (!status_injection_active()) return;
  char lower[64];
  std::size_t i = 0;
  for (; written_name[i] != '\0' && i + 1 < sizeof lower; ++i)
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(written_name[i])));
  lower[i] = '\0';
  BSsetrc(lower, rc);
}

int32_t trace_count() {
  return g_trace_count;
}
void clear_trace() {
  g_trace_count = 0;
}
int32_t hash_of_name(const char *s, int32_t seed) {
  return name_hash(s, seed);
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BSsetrc(const char *name, BSrc *rc) {
  const double rate = BSglobaldebugfailurerate;
  if (!rate_active(rate) || rc == nullptr || name == nullptr) return;
  if (*rc != BSSUCC) return;
  const int32_t period = static_cast<int32_t>(1.0 / rate);
  const int32_t h = name_hash(name, BSglobaldebugfailuredata);
  const int32_t c = g_check_counter;
  g_check_counter = static_cast<int32_t>(static_cast<uint32_t>(g_check_counter) + 1u);
  if (h % period == c % period) *rc = BSDBGFAIL;
  if (*rc != BSSUCC) BSdbgrc(BSDBGFAIL, name);
}

KW_API void BSdbgrc(BSrc code, const char *name) {
  if (g_trace_count < 0 || g_trace_count >= kTraceCapacity) return;
  TraceEntry &e = g_trace[g_trace_count];
  // Names longer than 19 characters are cut so the entry always holds its NUL.
  std::size_t n = name != nullptr ? std::strlen(name) : 0;
  if (n > kTraceNameBytes - 1) n = kTraceNameBytes - 1;
  if (n > 0) std::memcpy(e.name, name, n);
  e.name[n] = '\0';
  e.code = code;
  ++g_trace_count;
}

KW_API void BSdbgprint(FILE *stream) {
  if (stream == nullptr) return;
  for (int32_t i = 0; i < g_trace_count; ++i)
    std::fprintf(stream, "error in %s, rc = %d \n", g_trace[i].name, g_trace[i].code);
}

KW_API void BSinitfail(const char *name, int32_t data, double rate) {
  BSglobaldebugfailurerate = rate;
  BSglobaldebugfailuredata = data;
  BSglobaldebugfailurename = name_hash(name != nullptr ? name : "", data);
}

KW_API void BSdeinifail(void) {
  BSglobaldebugfailurerate = 0.0;
}

KW_API void BSinit(void) {}

KW_API void BSinit20(void) {
  BSdbglev = 0;
}

}  // extern "C"
