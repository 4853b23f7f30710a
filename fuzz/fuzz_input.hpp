// Shared pieces of the fuzz targets: a read-only stream over the fuzz bytes and a
// cursor that turns bytes into numbers for the structure-aware target.
#ifndef KNOTWORK_FUZZ_INPUT_HPP
#define KNOTWORK_FUZZ_INPUT_HPP

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kwfuzz {

// The bytes as a seekable stream (the readers look ahead and step back). An empty
// input reads as an empty file.
inline FILE *open_bytes(const uint8_t *data, size_t size) {
  if (size == 0) return std::fopen("/dev/null", "r");
  return fmemopen(const_cast<uint8_t *>(data), size, "r");
}

// Stops the run with a message: libFuzzer keeps the input that got here.
[[noreturn]] inline void fault(const char *what) {
  std::fprintf(stderr, "fuzz fault: %s\n", what);
  std::abort();
}

// Consumes the fuzz bytes front to back; past the end every read gives zeros.
class Cursor {
 public:
  Cursor(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  int in_range(int lo, int hi) { return lo + byte() % (hi - lo + 1); }
  bool flag(int one_in) { return byte() % one_in == 0; }
  // A double: mostly moderate values, often one of the hostile ones (NaN,
  // infinities, huge and tiny magnitudes, signed zero, exact small integers).
  double number() {
    static const double hostile[] = {NAN,     INFINITY, -INFINITY, 1e300, -1e300, 1e-300,
                                     -1e-300, 0.0,      -0.0,      1.0,   -1.0,   1e-12};
    const uint8_t kind = byte();
    if (kind < 40) return hostile[kind % (sizeof hostile / sizeof *hostile)];
    if (kind < 60) {
      uint64_t bits = 0;
      for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(byte()) << (8 * i);
      double v;
      std::memcpy(&v, &bits, sizeof v);
      return v;
    }
    const uint8_t lo = byte();  // sequenced: operands of | may be read in either order
    const uint8_t hi = byte();
    const int16_t q = static_cast<int16_t>(lo | (hi << 8));
    return q / 1024.0;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace kwfuzz

#endif
