// Result and scratch memory, the guarded debug mode and its checkers, and the
// pooled allocator hooks.
//
// Guarded block (debug level 20), one system block of size + 24 bytes:
//   [u32 size][u32 unused][8 front guard][data: size bytes][8 back guard]
// Result blocks are guarded with 'b'...'e', scratch blocks with 'd'...'f'. The
// 16-byte header keeps the data at malloc's alignment.
//
// Pooled block (plain mode with hooks): [u32 block size][u32 unused][data].
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/frame.hpp"

extern "C" {
KW_API int32_t BSdbglev = 0;
KW_API BSptrlist BSlist_al = {0, 0, nullptr};
KW_API int16_t BSalloczero = 0;
KW_API int16_t BSfreezero = 0;
KW_API void *BSlmemptr = nullptr;
KW_API int32_t BSlmemnumb = 0;
}

namespace knotwork {
namespace {

constexpr std::size_t kGuardHeader = 16;
constexpr std::size_t kGuardBytes = 8;
constexpr std::size_t kGuardOverhead = kGuardHeader + kGuardBytes;
constexpr int32_t kListGrowth = 5000;
constexpr unsigned char kResultFront = 'b', kResultBack = 'e';
constexpr unsigned char kScratchFront = 'd', kScratchBack = 'f';
constexpr int32_t kPoolHeader = 8;
constexpr int32_t kPoolLargest = 1024;
constexpr int32_t kPoolClasses[] = {16, 64, 128, 256, 512, 1024};

// printf format of the pointer lines, kept as data so it stays exactly as printed.
const char *const kPointerLine = " *** pointer in question is: 0x%.8p\n";

BSqemem_alloc_hook g_alloc_hook = nullptr;
BSqemem_release_hook g_release_hook = nullptr;

std::int64_t g_heap_requests = 0;
std::int64_t g_fail_countdown = 0;
bool g_fail_sticky = false;
bool g_fail_tripped = false;
bool g_request_is_scratch = false;  // the guarded request in progress takes scratch memory
bool g_tripped_scratch = false;     // the first failed request was a scratch one

// Every system request of the library goes through these two.
void *sys_alloc(std::size_t n, bool zero) {
  note_heap_request();
  if (allocation_should_fail()) return nullptr;
  return zero ? std::calloc(1, n) : std::malloc(n);
}
void *sys_realloc(void *p, std::size_t n) {
  note_heap_request();
  if (allocation_should_fail()) return nullptr;
  return std::realloc(p, n);
}

[[noreturn]] void die() {
  std::fflush(stdout);
  std::exit(11);
}

unsigned char *block_of(void *data) {
  return static_cast<unsigned char *>(data) - kGuardHeader;
}
uint32_t stored_size(void *data) {
  uint32_t s;
  std::memcpy(&s, block_of(data), sizeof s);
  return s;
}
bool all_bytes(const unsigned char *p, unsigned char c) {
  for (std::size_t i = 0; i < kGuardBytes; ++i)
    if (p[i] != c) return false;
  return true;
}
const unsigned char *front_guard(void *data) {
  return static_cast<unsigned char *>(data) - kGuardBytes;
}
const unsigned char *back_guard(void *data) {
  return static_cast<unsigned char *>(data) + stored_size(data);
}

// Writes header and guards around a block of `size` data bytes; returns the data.
void *lay_out_guarded(unsigned char *block, uint32_t size, unsigned char front,
                      unsigned char back) {
  std::memcpy(block, &size, sizeof size);
  std::memset(block + 4, 0, 4);
  std::memset(block + kGuardHeader - kGuardBytes, front, kGuardBytes);
  std::memset(block + kGuardHeader + size, back, kGuardBytes);
  return block + kGuardHeader;
}

bool register_live(void *data) {
  BSptrlist &l = BSlist_al;
  if (l.count >= l.capacity) {
    const int32_t cap = l.capacity + kListGrowth;
    void *grown = std::realloc(l.ptrs, static_cast<std::size_t>(cap) * sizeof(void *));
    if (grown == nullptr) return false;
    l.ptrs = static_cast<void **>(grown);
    l.capacity = cap;
  }
  l.ptrs[l.count++] = data;
  return true;
}

// Index of data in the live list searching from the newest entry, or -1.
int32_t find_live(const void *data) {
  for (int32_t i = BSlist_al.count - 1; i >= 0; --i)
    if (BSlist_al.ptrs[i] == data) return i;
  return -1;
}

void remove_live(int32_t index) {
  BSptrlist &l = BSlist_al;
  std::memmove(l.ptrs + index, l.ptrs + index + 1,
               static_cast<std::size_t>(l.count - index - 1) * sizeof(void *));
  --l.count;
}

void *guarded_alloc(int32_t size, bool zero, unsigned char front, unsigned char back) {
  const auto n = static_cast<std::size_t>(size);
  g_request_is_scratch = front == kScratchFront;
  auto *block = static_cast<unsigned char *>(sys_alloc(n + kGuardOverhead, zero));
  g_request_is_scratch = false;
  if (block == nullptr) return nullptr;
  void *data = lay_out_guarded(block, static_cast<uint32_t>(size), front, back);
  if (!zero) std::memset(data, 0xFF, n);
  if (!register_live(data)) {
    std::free(block);
    return nullptr;
  }
  return data;
}

// Finds a guarded block for release and checks its guards; on any misuse prints
// the messages of the kind expected (result or scratch) and ends the process.
int32_t check_for_release(void *data, bool result_kind, const char *absent_message) {
  const int32_t index = find_live(data);
  if (index < 0) {
    std::fputs(absent_message, stdout);
    die();
  }
  const unsigned char want_front = result_kind ? kResultFront : kScratchFront;
  const unsigned char want_back = result_kind ? kResultBack : kScratchBack;
  const unsigned char other_front = result_kind ? kScratchFront : kResultFront;
  const unsigned char other_back = result_kind ? kScratchBack : kResultBack;
  const bool front_ok = all_bytes(front_guard(data), want_front);
  const bool back_ok = all_bytes(back_guard(data), want_back);
  if (front_ok && back_ok) return index;
  const char *kind = result_kind ? "allocated" : "stackallocated";
  if (all_bytes(front_guard(data), other_front) && all_bytes(back_guard(data), other_back)) {
    std::fputs(result_kind ? " *** attempt to deallocate stackallocated memory ***\n"
                           : " *** attempt to stackdeallocate allocated memory ***\n",
               stdout);
  } else if (!front_ok && back_ok) {
    std::printf(" *** memory scratch before %s memory ***\n", kind);
  } else if (front_ok) {
    std::printf(" *** memory scratch after %s memory ***\n", kind);
  } else {
    std::printf(" *** memory scratch before and after %s memory ***\n", kind);
  }
  print_pointer_message(kPointerLine, data);
  die();
}

void guarded_free(void *data, bool result_kind) {
  const int32_t index =
      check_for_release(data, result_kind, " *** attempt to deallocate an invalid pointer ***\n");
  remove_live(index);
  std::free(block_of(data));
}

int32_t pool_class(int32_t total) {
  for (int32_t c : kPoolClasses)
    if (c >= total) return c;
  return total;
}

}  // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
void print_pointer_message(const char *format, const void *p) {
  std::printf(format, p);
}
#pragma GCC diagnostic pop

std::int64_t heap_request_count() {
  return g_heap_requests;
}
void note_heap_request() {
  ++g_heap_requests;
}

void arm_allocation_failure(std::int64_t n, bool sticky) {
  g_fail_countdown = n;
  g_fail_sticky = sticky;
  g_fail_tripped = false;
}
void disarm_allocation_failure() {
  g_fail_countdown = 0;
  g_fail_sticky = false;
  g_fail_tripped = false;
}
bool failed_allocation_was_scratch() {
  return g_tripped_scratch;
}
bool allocation_should_fail() {
  if (g_fail_tripped) return g_fail_sticky;
  if (g_fail_countdown <= 0) return false;
  if (--g_fail_countdown > 0) return false;
  g_fail_tripped = true;
  g_tripped_scratch = g_request_is_scratch;
  return true;
}

void *scratch_heap_alloc(std::size_t n) {
  auto *block = static_cast<unsigned char *>(sys_alloc(n + 16, false));
  if (block == nullptr) return nullptr;
  const uint32_t marker = 1;
  std::memcpy(block + 12, &marker, sizeof marker);
  return block + 16;
}

void scratch_heap_free(void *data) {
  if (data == nullptr) return;
  auto *p = static_cast<unsigned char *>(data);
  uint32_t marker;
  std::memcpy(&marker, p - 4, sizeof marker);
  if (marker != 0) std::free(p - 16);
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void *BSqememal(int32_t size) {
  if (size < 0) return nullptr;
  if (g_alloc_hook == nullptr) return sys_alloc(static_cast<std::size_t>(size), false);
  const int64_t total = static_cast<int64_t>(size) + kPoolHeader;
  unsigned char *block;
  int32_t stored;
  if (total > kPoolLargest) {
    if (total > INT32_MAX) return nullptr;
    stored = static_cast<int32_t>(total);
    block = static_cast<unsigned char *>(sys_alloc(static_cast<std::size_t>(total), false));
  } else {
    stored = pool_class(static_cast<int32_t>(total));
    note_heap_request();
    block = allocation_should_fail() ? nullptr : static_cast<unsigned char *>(g_alloc_hook(stored));
  }
  if (block == nullptr) return nullptr;
  std::memcpy(block, &stored, sizeof stored);
  return block + kPoolHeader;
}

KW_API void BSqememfr(void *ptr) {
  if (ptr == nullptr) return;
  if (g_release_hook == nullptr) {
    std::free(ptr);
    return;
  }
  unsigned char *block = static_cast<unsigned char *>(ptr) - kPoolHeader;
  int32_t stored;
  std::memcpy(&stored, block, sizeof stored);
  if (stored < kPoolLargest + 1)
    g_release_hook(block, stored);
  else
    std::free(block);
}

KW_API void BSsetqemem(BSqemem_alloc_hook alloc_hook, BSqemem_release_hook release_hook) {
  if (alloc_hook == nullptr || release_hook == nullptr) {
    g_alloc_hook = nullptr;
    g_release_hook = nullptr;
    return;
  }
  g_alloc_hook = alloc_hook;
  g_release_hook = release_hook;
}

KW_API void *BSdbgalloc(int32_t size) {
  const double rate = BSglobalallocfailurerate;
  if (rate > 0.0 && rate <= 1.0) {
    const int32_t period = static_cast<int32_t>(1.0 / rate);
    const int32_t q = size / 8;
    const int32_t old = BSglobalallocfailurenumber;
    BSglobalallocfailurenumber =
        static_cast<int32_t>(static_cast<uint32_t>(old) + static_cast<uint32_t>(q) + 1u);
    if ((q + 69) % period == old % period) return nullptr;
  }
  if (size < 1) {
    BSalloczero = 1;
    return nullptr;
  }
  if (!debug_memory()) return BSqememal(size);
  return guarded_alloc(size, false, kResultFront, kResultBack);
}

KW_API void *BSdbgcalloc(int32_t count, int32_t size) {
  if (count < 1) {
    BSalloczero = 1;
    return nullptr;
  }
  const int64_t total = static_cast<int64_t>(count) * size;
  if (size < 0 || total > INT32_MAX - static_cast<int64_t>(kGuardOverhead)) return nullptr;
  if (!debug_memory()) {
    note_heap_request();
    if (allocation_should_fail()) return nullptr;
    return std::calloc(static_cast<std::size_t>(count), static_cast<std::size_t>(size));
  }
  return guarded_alloc(static_cast<int32_t>(total), true, kResultFront, kResultBack);
}

KW_API void *BSdbgralloc(void *ptr, int32_t size) {
  if (size < 0) {
    std::fputs("Warning: there has been an attempt to allocate negative bytes of memory.\n\n",
               stdout);
    return nullptr;
  }
  if (!debug_memory()) {
    if (g_alloc_hook != nullptr) {
      void *fresh = BSqememal(size);
      if (fresh == nullptr) return nullptr;
      if (ptr != nullptr) {
        int32_t stored;
        std::memcpy(&stored, static_cast<unsigned char *>(ptr) - kPoolHeader, sizeof stored);
        const int32_t old_data = stored - kPoolHeader;
        std::memcpy(fresh, ptr, static_cast<std::size_t>(old_data < size ? old_data : size));
        BSqememfr(ptr);
      }
      return fresh;
    }
    return sys_realloc(ptr, static_cast<std::size_t>(size));
  }
  int32_t index = -1;
  if (ptr != nullptr)
    index =
        check_for_release(ptr, true, "BSdbgralloc: attempt to deallocate an invalid pointer \n");
  unsigned char *old_block = ptr != nullptr ? block_of(ptr) : nullptr;
  auto *block = static_cast<unsigned char *>(
      sys_realloc(old_block, static_cast<std::size_t>(size) + kGuardOverhead));
  if (block == nullptr) return nullptr;  // the old block stays valid and registered
  void *data = lay_out_guarded(block, static_cast<uint32_t>(size), kResultFront, kResultBack);
  if (index >= 0) remove_live(index);
  if (!register_live(data)) {
    std::free(block);
    return nullptr;
  }
  return data;
}

KW_API void BSdbgfree(void *ptr) {
  if (ptr == nullptr) {
    BSfreezero = 1;
    return;
  }
  if (!debug_memory()) {
    BSqememfr(ptr);
    return;
  }
  guarded_free(ptr, true);
}

KW_API void *BSdbgsalloc(int32_t size) {
  if (size < 1) {
    BSalloczero = 1;
    return nullptr;
  }
  if (!debug_memory()) return sys_alloc(static_cast<std::size_t>(size), false);
  return guarded_alloc(size, false, kScratchFront, kScratchBack);
}

KW_API void BSdbgsfree(void *ptr) {
  if (ptr == nullptr) {
    BSfreezero = 1;
    return;
  }
  if (!debug_memory()) {
    std::free(ptr);
    return;
  }
  guarded_free(ptr, false);
}

KW_API int32_t BSmemclean(void) {
  int32_t r = 0;
  if (BSalloczero) {
    r += 1;
    std::fputs("Warning: there has been an attempt to allocate 0 bytes of memory.\n\n", stdout);
  }
  if (BSfreezero) {
    r += 10;
    std::fputs("Warning: there has been an attempt to free a NULL pointer.\n\n", stdout);
  }
  if (BSlist_al.count != 0) {
    r += 100;
    std::printf("Warning: there are %d unfreed pointers.\n\n", BSlist_al.count);
  }
  return r;
}

KW_API void BSchkmem1(void *ptr) {
  if (ptr == nullptr) {
    std::fputs(" *** input pointer is NULL ***\n", stdout);
    return;
  }
  if (!debug_memory()) {
    std::fputs(" *** BSdbglev is NOT 20 ***\n", stdout);
    return;
  }
  const unsigned char kind = front_guard(ptr)[0];
  if ((kind != kScratchFront && kind != kResultFront) || !all_bytes(front_guard(ptr), kind)) {
    std::fputs(" *** memory scratch before allocated memory ***\n", stdout);
    return;
  }
  const bool result = kind == kResultFront;
  if (!all_bytes(back_guard(ptr), result ? kResultBack : kScratchBack)) {
    std::fputs(" *** memory scratch after allocated memory ***\n", stdout);
    return;
  }
  std::fputs(result ? " *** allocated memory not scratched ***\n"
                    : " *** stackallocated memory not scratched ***\n",
             stdout);
}

KW_API void BSchkmemo(void) {
  if (!debug_memory()) {
    std::fputs(" *** BSdbglev is NOT 20 ***\n", stdout);
    return;
  }
  if (BSlist_al.count > 0)
    std::printf(" *** checking %d pointer(s) of allocated memory ...\n", BSlist_al.count);
  else
    std::fputs(" *** NO memory currently allocated\n", stdout);
  for (int32_t i = 0; i < BSlist_al.count; ++i) {
    void *p = BSlist_al.ptrs[i];
    const unsigned char kind = front_guard(p)[0];
    const bool front_ok =
        (kind == kScratchFront || kind == kResultFront) && all_bytes(front_guard(p), kind);
    if (!front_ok) {
      std::fputs(" *** memory scratch BEFORE allocated memory ***\n", stdout);
      print_pointer_message(kPointerLine, p);
      return;
    }
    if (!all_bytes(back_guard(p), kind == kResultFront ? kResultBack : kScratchBack)) {
      std::fputs(" *** memory scratch AFTER allocated memory: ***\n", stdout);
      print_pointer_message(kPointerLine, p);
      return;
    }
  }
  std::fputs(" *** NO allocated memory scratched ***\n", stdout);
}

}  // extern "C"
