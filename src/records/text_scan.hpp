// Character-level reading of dump text from a stream, shared by the number reader
// and the curve reader. Words follow the "%Ns" rule: leading white space is
// skipped, at most N characters are taken, the rest of a longer word stays in the
// stream. Integers are read digit by digit and saturate instead of overflowing.
#ifndef KNOTWORK_RECORDS_TEXT_SCAN_HPP
#define KNOTWORK_RECORDS_TEXT_SCAN_HPP

#ifndef KNOTWORK_INTERNAL
#error "text_scan.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace knotwork {

inline bool is_space_char(int c) {
  return c != EOF && std::isspace(c) != 0;
}

// Skips white space; returns the first other character (left in the stream) or EOF.
inline int skip_space(FILE *f) {
  int c;
  do c = std::getc(f);
  while (is_space_char(c));
  if (c != EOF) std::ungetc(c, f);
  return c;
}

// Reads one word of at most cap characters into buf (cap + 1 bytes). False at the
// end of the stream.
inline bool read_word(FILE *f, char *buf, int cap) {
  if (skip_space(f) == EOF) return false;
  int len = 0;
  for (int c; len < cap && (c = std::getc(f)) != EOF;) {
    if (is_space_char(c)) {
      std::ungetc(c, f);
      break;
    }
    buf[len++] = static_cast<char>(c);
  }
  buf[len] = '\0';
  return true;
}

// Skips one whole word ("%*s"). False when there is none.
inline bool skip_word(FILE *f) {
  if (skip_space(f) == EOF) return false;
  for (int c; (c = std::getc(f)) != EOF;) {
    if (is_space_char(c)) {
      std::ungetc(c, f);
      break;
    }
  }
  return true;
}

// Reads a signed decimal integer ("%ld"); the magnitude saturates at 2^40
// so that a count too large to be meaningful reads as huge, never as wrapped.
inline bool read_integer(FILE *f, int64_t *value) {
  if (skip_space(f) == EOF) return false;
  int c = std::getc(f);
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::getc(f);
  }
  if (c == EOF || !std::isdigit(c)) {
    if (c != EOF) std::ungetc(c, f);
    return false;
  }
  constexpr int64_t kCap = INT64_C(1) << 40;
  int64_t v = 0;
  for (; c != EOF && std::isdigit(c); c = std::getc(f)) v = v >= kCap ? kCap : v * 10 + (c - '0');
  if (c != EOF) std::ungetc(c, f);
  *value = negative ? -v : v;
  return true;
}

// Matches literal text as a formatted read does: a white-space character of the
// pattern skips any white space, every other character must come next.
inline bool match_literal(FILE *f, const char *pattern) {
  for (const char *p = pattern; *p != '\0'; ++p) {
    if (is_space_char(static_cast<unsigned char>(*p))) {
      skip_space(f);
      continue;
    }
    const int c = std::getc(f);
    if (c != static_cast<unsigned char>(*p)) {
      if (c != EOF) std::ungetc(c, f);
      return false;
    }
  }
  return true;
}

// Reads through the next line end (or the end of the stream).
inline void skip_line(FILE *f) {
  for (int c; (c = std::getc(f)) != EOF && c != '\n';) {
  }
}

}  // namespace knotwork

#endif  // KNOTWORK_RECORDS_TEXT_SCAN_HPP
