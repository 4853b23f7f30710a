// Poisoning of heap and stack, the locked poisoned block, and BSdbginit.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/frame.hpp"

namespace knotwork {
void clear_trace();
namespace {

constexpr int32_t kStackArea = 100000;
constexpr uint32_t kPoisonWord = 0x7FFFFFFFu;  // bytes FF FF FF 7F
const char *const kDone = "Poisoning is completed. Address = 0x%.8p\n";
const char *const kDoneStack = "Poisoning is completed. address = 0x%.8p\n";
const char *const kDoneLock = "Poisoning is complete. Address = 0x%.8p\n";

void fill_poison(unsigned char *p, int32_t words) {
  for (int32_t i = 0; i < words; ++i) std::memcpy(p + 4 * i, &kPoisonWord, 4);
}

}  // namespace
}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BSpoisonmem(int32_t n) {
  if (n < 1) {
    std::fputs("n is a negative number.", stdout);
    return;
  }
  if (n % 4 != 0) {
    std::fputs("*** The number of allocated bytes must be divisible by 4.\n", stdout);
    return;
  }
  auto *p = static_cast<unsigned char *>(std::malloc(static_cast<std::size_t>(n)));
  if (p == nullptr) {
    std::fputs("*** insufficient memory\n", stdout);
    return;
  }
  fill_poison(p, n / 4);
  print_pointer_message(kDone, static_cast<void *>(p));
  std::free(p);
}

KW_API void BSpoisonstk(int32_t n) {
  if (n > kStackArea) {
    std::fputs("*** stack is too small\n", stdout);
    return;
  }
  // volatile so the fill of an area that is never read back is not optimised away
  volatile unsigned char area[kStackArea];
  const int32_t words = n / 4;
  for (int32_t i = 0; i < words; ++i) {
    area[4 * i] = 0xFF;
    area[4 * i + 1] = 0xFF;
    area[4 * i + 2] = 0xFF;
    area[4 * i + 3] = 0x7F;
  }
  print_pointer_message(kDoneStack, const_cast<unsigned char *>(area));
}

KW_API void BSlockmem(int32_t n) {
  if (BSlmemptr != nullptr) {
    std::fputs("BSlockmem: Memory has already been allocated and locked.\n", stdout);
    return;
  }
  if (n < 1) {
    std::fputs("n is a negative number.", stdout);
    return;
  }
  if (n % 4 != 0) {
    std::fputs("BSlockmem: The number of allocated bytes must be divisible by 4.\n", stdout);
    return;
  }
  auto *p = static_cast<unsigned char *>(std::malloc(static_cast<std::size_t>(n)));
  if (p == nullptr) {
    std::fputs("BSlockmem: insufficient memory\n", stdout);
    return;
  }
  fill_poison(p, n / 4);
  BSlmemptr = p;
  BSlmemnumb = n;
  print_pointer_message(kDoneLock, static_cast<void *>(p));
}

KW_API void BSchklmem(void) {
  const int32_t words = BSlmemnumb / 4;
  if (words < 1 || BSlmemptr == nullptr) return;
  const auto *p = static_cast<const unsigned char *>(BSlmemptr);
  for (int32_t i = 0; i < words; ++i) {
    uint32_t w;
    std::memcpy(&w, p + 4 * i, 4);
    if (w != kPoisonWord) {
      std::fputs("BSchklmem: The locked memory has been corrupted.\n", stdout);
      return;
    }
  }
}

KW_API int32_t BSdbginit(void) {
  clear_trace();
  if (BSdbglev != -99) return BSdbglev;
  BSpoisonmem(0);
  BSpoisonstk(0);
  BSchangetol();
  BSchkmemo();
  BSchkmem1(nullptr);
  BSlockmem(0);
  BSchklmem();
  return BSmemclean();
}

}  // extern "C"
