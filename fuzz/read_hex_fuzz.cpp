// Byte images: BSreadhex into a buffer and skipping, and BSreadhexd in every mode
// (the first byte picks mode and count). Counts read never exceed those asked.
#include "fuzz_input.hpp"
#include "knotwork.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const int32_t mode = data[0] % 4, count = 1 + (data[0] >> 2) % 16;
  FILE *in = kwfuzz::open_bytes(data + 1, size - 1);
  if (in == nullptr) return 0;
  unsigned char bytes[8 * 16 + 1];
  bytes[8 * count] = 0xa5;
  const int32_t got = BSreadhex(in, bytes, 8 * count);
  if (got < 0 || got > 8 * count || bytes[8 * count] != 0xa5)
    kwfuzz::fault("BSreadhex read past its count");
  std::rewind(in);
  const int32_t skipped = BSreadhex(in, nullptr, count);
  if (skipped < 0 || skipped > count) kwfuzz::fault("BSreadhex skipped past its count");
  std::rewind(in);
  double values[17];
  values[count] = 42.0;
  while (BSreadhexd(in, mode, count, values) && !std::feof(in)) {
    if (values[count] != 42.0) kwfuzz::fault("BSreadhexd wrote past its count");
  }
  if (values[count] != 42.0) kwfuzz::fault("BSreadhexd wrote past its count");
  std::fclose(in);
  return 0;
}
