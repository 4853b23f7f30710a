// Byte images of doubles in dumps: writing and reading " 0x%x" images, reading a
// decimal number, and reading numbers that may carry their images.
#include <cstdlib>
#include <cstring>

#include "frame/frame.hpp"
#include "records/text_scan.hpp"

namespace knotwork {
namespace {

constexpr int kWordCap = 199;

int hex_digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads characters until "0x" has gone by. False at the end of the stream.
bool find_image_prefix(FILE *f) {
  int previous = EOF;
  for (int c; (c = std::getc(f)) != EOF; previous = c)
    if (previous == '0' && c == 'x') return true;
  return false;
}

// Reads the hexadecimal digits of one image and keeps the low 8 bits of the value.
bool read_image_byte(FILE *f, unsigned char *byte) {
  int c = std::getc(f);
  unsigned value = 0;
  int digits = 0;
  for (int d; (d = hex_digit_value(c)) >= 0; c = std::getc(f), ++digits)
    value = ((value << 4) | static_cast<unsigned>(d)) & 0xFFu;
  if (c != EOF) std::ungetc(c, f);
  *byte = static_cast<unsigned char>(value);
  return digits > 0;
}

// Skips the rest of an image word after its "0x"; false when nothing follows.
bool skip_image_rest(FILE *f) {
  const int c = std::getc(f);
  if (c == EOF || is_space_char(c)) {
    if (c != EOF) std::ungetc(c, f);
    return false;
  }
  std::ungetc(c, f);
  return skip_word(f);
}

// True when the word after the next one contains an 'x' or 'X' (the next number
// carries images). The stream is put back where it was; false when it cannot be.
bool next_number_has_images(FILE *f, bool *has_images) {
  const long position = std::ftell(f);
  if (position < 0) return false;
  char word[kWordCap + 1];
  *has_images = false;
  if (skip_word(f) && read_word(f, word, kWordCap))
    *has_images = std::strchr(word, 'x') != nullptr || std::strchr(word, 'X') != nullptr;
  std::clearerr(f);
  return std::fseek(f, position, SEEK_SET) == 0;
}

bool read_decimals(FILE *f, int32_t count, double *values) {
  for (int32_t i = 0; i < count; ++i)
    if (!BSreadd(f, values + i)) return false;
  return true;
}

}  // namespace
}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API int32_t BSwritehex(FILE *stream, const unsigned char *bytes, int32_t count) {
  int32_t written = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (i % 8 == 0) std::fprintf(stream, "%*c", 12, ' ');
    const int n = std::fprintf(stream, " 0x%x", static_cast<unsigned>(bytes[i]));
    if (n > 0) written += n;
  }
  if (count > 0) std::fputc('\n', stream);
  return written;
}

KW_API int32_t BSreadhex(FILE *stream, unsigned char *bytes, int32_t count) {
  int32_t done = 0;
  for (; done < count; ++done) {
    if (!find_image_prefix(stream)) break;
    const bool ok =
        bytes != nullptr ? read_image_byte(stream, bytes + done) : skip_image_rest(stream);
    if (!ok) break;
  }
  return done;
}

KW_API BSboolean BSreadd(FILE *stream, double *value) {
  char word[kWordCap + 1];
  *value = 0.0;
  if (!read_word(stream, word, kWordCap)) {
    std::fprintf(stderr, "*** error in BSreadd ***\n");
    return FALSE;
  }
  // "%le" and "%lf" convert alike; the longest leading number counts.
  char *end = nullptr;
  const double v = std::strtod(word, &end);
  if (end == word) {
    std::fprintf(stderr, "*** error in f_s_BSreadd: String was \"%s\" ***\n", word);
    std::fprintf(stderr, "*** error in BSreadd ***\n");
    return FALSE;
  }
  *value = v;
  return TRUE;
}

KW_API BSboolean BSreadhexd(FILE *stream, int32_t mode, int32_t count, double *values) {
  if (mode < 0 || mode > 2) return FALSE;
  int32_t effective = mode;
  if (mode != 0) {
    bool has_images = false;
    if (!next_number_has_images(stream, &has_images)) return FALSE;
    if (!has_images) effective = 0;
  }
  if (effective == 0) return read_decimals(stream, count, values) ? TRUE : FALSE;
  const int64_t image_bytes = 8 * static_cast<int64_t>(count);
  if (image_bytes > INT32_MAX) return FALSE;
  if (effective == 1) {
    for (int32_t i = 0; i < count; ++i)
      if (!skip_word(stream)) return FALSE;
    return BSreadhex(stream, reinterpret_cast<unsigned char *>(values),
                     static_cast<int32_t>(image_bytes)) == image_bytes;
  }
  if (!read_decimals(stream, count, values)) return FALSE;
  return BSreadhex(stream, nullptr, static_cast<int32_t>(image_bytes)) == image_bytes;
}

}  // extern "C"
