// Internal building blocks shared by every operation: the epilogue guard, the
// scratch buffer, the internal views of the memory manager and the assertion macro.
#ifndef KNOTWORK_FRAME_FRAME_HPP
#define KNOTWORK_FRAME_FRAME_HPP

#ifndef KNOTWORK_INTERNAL
#error "frame.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "knotwork.h"

// Impossible branches: fire in debug builds, vanish in release builds.
#ifndef NDEBUG
#define KW_ASSERT(cond)                                                   \
  do {                                                                    \
    if (!(cond)) ::knotwork::assertion_failed(#cond, __FILE__, __LINE__); \
  } while (0)
#else
#define KW_ASSERT(cond) ((void)0)
#endif

namespace knotwork {

[[noreturn]] void assertion_failed(const char *cond, const char *file, int line);

// ---- Status and trace ------------------------------------------------------

// True while status injection is active (0 < rate <= 1).
bool status_injection_active();
// BSsetrc for an operation known by its written name; lower-cases the name only
// when injection is active, so the common path costs one comparison.
void setrc_written(const char *written_name, BSrc *rc);

// The common epilogue of every exported operation. Construct it first thing with
// the operation's written name and its status pointer: it writes 0 into the
// status, and on every return path runs BSsetrc (lower-case name) and, when the
// status is non-zero, BSdbgrc (written name).
//
//   BSrc BSfoo(..., BSrc *rc) { KW_EPILOGUE(rc); if (!x) { *rc = BSNULLPTR; return; } ... }
//
// Routines that return a boolean or a success pointer leave through finish(): it
// runs the epilogue at once (an injected failure included) and gives the result
// only when the final status is 0, FALSE or null otherwise.
//
//   BSboolean BSbar(BSrc *rc, ...) { KW_EPILOGUE(rc); ...; return KW_FINISH(TRUE); }
class Epilogue {
 public:
  Epilogue(const char *written_name, BSrc *rc) : name_(written_name), rc_(rc) { *rc_ = BSSUCC; }
  ~Epilogue() { run(); }
  Epilogue(const Epilogue &) = delete;
  Epilogue &operator=(const Epilogue &) = delete;

  // Runs the epilogue now; TRUE exactly when the final status is 0 and `value` is TRUE.
  BSboolean finish(BSboolean value) {
    run();
    return (*rc_ == BSSUCC && value) ? TRUE : FALSE;
  }
  // Runs the epilogue now; `value` when the final status is 0, else null. A caller
  // that hands out memory must release it when this gives null.
  template <class T>
  T *finish(T *value) {
    run();
    return *rc_ == BSSUCC ? value : nullptr;
  }
  // The final status once finish() has run (also readable before).
  BSrc status() const { return *rc_; }

 private:
  void run() {
    if (done_) return;
    done_ = true;
    setrc_written(name_, rc_);
    if (*rc_ != BSSUCC) BSdbgrc(*rc_, name_);
  }
  const char *name_;
  BSrc *rc_;
  bool done_ = false;
};

#define KW_EPILOGUE(rc) ::knotwork::Epilogue kw_epilogue_guard_(__func__, (rc))
// The routine's boolean or pointer result through the epilogue (see Epilogue::finish).
#define KW_FINISH(value) kw_epilogue_guard_.finish(value)

// ---- Memory ----------------------------------------------------------------

inline constexpr int32_t kDebugLevel = 20;
inline constexpr std::size_t kScratchStackLimit = 4092;

inline bool debug_memory() {
  return BSdbglev == kDebugLevel;
}

// Counts heap requests of the library (result and scratch); tests use it to show
// that hot paths do not touch the heap.
std::int64_t heap_request_count();
void note_heap_request();

// Test hook for failure injection by allocation index: when armed with n > 0, the
// n-th following heap request fails (and, with `sticky`, every later one too).
void arm_allocation_failure(std::int64_t n, bool sticky);
void disarm_allocation_failure();
// Consulted by every library heap request; true means the request must fail.
bool allocation_should_fail();
// Whether the request the armed failure hit was for scratch memory (at debug level
// 20, where scratch and result memory are told apart): the caller must report 33,
// else -13.
bool failed_allocation_was_scratch();

// Scratch block from the heap outside debug mode: the data is 16-byte aligned and
// the 32-bit marker word (1 = heap) sits directly in front of it.
void *scratch_heap_alloc(std::size_t n);
void scratch_heap_free(void *data);

// Scratch memory by the scratch rules: below `Inline` bytes the storage is part of
// the owner's stack frame; above it comes from the heap; at debug level 20 every
// request goes to BSdbgsalloc so its guards and the live list see it. Released on
// scope exit. ok() is false when the memory could not be had (status 33).
//
//   ScratchBuffer buf(n * 3 * sizeof(double));
//   if (!buf.ok()) { *rc = BSNOSTKMEMORY; return; }
//   double *pts = buf.as<double>();
template <std::size_t Inline = kScratchStackLimit>
class BasicScratchBuffer {
 public:
  explicit BasicScratchBuffer(std::size_t n) { acquire(n); }
  BasicScratchBuffer() = default;
  ~BasicScratchBuffer() { release(); }
  BasicScratchBuffer(const BasicScratchBuffer &) = delete;
  BasicScratchBuffer &operator=(const BasicScratchBuffer &) = delete;

  // Replaces the current storage by n bytes (contents not kept).
  bool acquire(std::size_t n) {
    release();
    size_ = n;
    if (n == 0) {
      data_ = stack_;
      kind_ = Kind::kStack;
    } else if (debug_memory()) {
      data_ = n > INT32_MAX ? nullptr : BSdbgsalloc(static_cast<int32_t>(n));
      kind_ = Kind::kDebug;
    } else if (n < Inline) {
      data_ = stack_;
      kind_ = Kind::kStack;
    } else {
      data_ = scratch_heap_alloc(n);
      kind_ = Kind::kHeap;
    }
    if (data_ == nullptr) kind_ = Kind::kNone;
    return data_ != nullptr;
  }

  bool ok() const { return data_ != nullptr; }
  std::size_t size() const { return size_; }
  template <class T>
  T *as() const {
    return static_cast<T *>(data_);
  }
  bool on_stack() const { return kind_ == Kind::kStack; }

 private:
  enum class Kind { kNone, kStack, kHeap, kDebug };
  void release() {
    if (kind_ == Kind::kHeap) scratch_heap_free(data_);
    if (kind_ == Kind::kDebug) BSdbgsfree(data_);
    data_ = nullptr;
    kind_ = Kind::kNone;
  }

  alignas(16) unsigned char stack_[Inline > 0 ? Inline : 1];
  void *data_ = nullptr;
  std::size_t size_ = 0;
  Kind kind_ = Kind::kNone;
};

using ScratchBuffer = BasicScratchBuffer<>;

// Result memory helper: n doubles from BSdbgalloc, or null (caller reports -13).
inline double *alloc_result_doubles(std::size_t n) {
  if (n == 0 || n * sizeof(double) > INT32_MAX) return nullptr;
  return static_cast<double *>(BSdbgalloc(static_cast<int32_t>(n * sizeof(double))));
}

// Prints a message whose one conversion is the pointer format "0x%.8p" exactly as
// the library's messages spell it (glibc adds its own 0x).
void print_pointer_message(const char *format, const void *p);

// ---- Tolerances ------------------------------------------------------------

inline const struct BSparameters &tol() {
  return BSparameters;
}
// Current knot tolerance method (0 scaled by the curve, 1 fixed knot_tol).
int32_t tolerance_method();

// Sets one tolerance field for the lifetime of the guard and restores it on every
// path (operations that tighten knot_tol for their inner calls).
class ToleranceOverride {
 public:
  ToleranceOverride(double BSparameters::*field, double value)
      : field_(field), saved_(::BSparameters.*field) {
    ::BSparameters.*field_ = value;
  }
  ~ToleranceOverride() { ::BSparameters.*field_ = saved_; }
  ToleranceOverride(const ToleranceOverride &) = delete;
  ToleranceOverride &operator=(const ToleranceOverride &) = delete;

 private:
  double BSparameters::*field_;
  double saved_;
};

}  // namespace knotwork

#endif  // KNOTWORK_FRAME_FRAME_HPP
