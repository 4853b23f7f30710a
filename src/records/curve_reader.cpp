// Reading a curve back from its unlabelled dump, decimal or with byte images.
//
// The reader is the library's door to files from outside, so it trusts nothing:
// every count is range-checked before memory is taken, every kept number must be
// finite, the knots must not decrease, and a record that ends early or does not
// match its layout gives -1 with nothing delivered and nothing left allocated.
#include <bit>
#include <cmath>
#include <cstring>

#include "frame/frame.hpp"
#include "records/records.hpp"
#include "records/text_scan.hpp"

namespace knotwork {
namespace {

constexpr int kWordCap = 199;
constexpr int32_t kMaxReadOrder = 1000;
constexpr int32_t kLargestUsableOrder = 16;
constexpr int32_t kMaxReadPoles = 10000;
constexpr double kSmallestWeight = 0.001;
constexpr BSrc kUnusableOrder = 2;
constexpr BSrc kTooManyPoles = 6;

// Result memory for one temporary array of the reader, released on scope exit.
class ResultArray {
 public:
  ResultArray() = default;
  ~ResultArray() {
    if (data_ != nullptr) BSdbgfree(data_);
  }
  ResultArray(const ResultArray &) = delete;
  ResultArray &operator=(const ResultArray &) = delete;
  bool take(std::size_t n) {
    data_ = alloc_result_doubles(n);
    return data_ != nullptr;
  }
  double *get() const { return data_; }

 private:
  double *data_ = nullptr;
};

// What the curve reader needs from the stream: keyword lines, integers and numbers
// in the dump's number mode.
class DumpReader {
 public:
  explicit DumpReader(FILE *f) : f_(f) {}

  // Searches the words up to "order" and derives the number mode from the two
  // words before it. False when the stream ends first.
  bool find_order() {
    char words[3][kWordCap + 1] = {"", "", ""};
    for (;;) {
      std::memcpy(words[0], words[1], sizeof words[0]);
      std::memcpy(words[1], words[2], sizeof words[1]);
      if (!read_word(f_, words[2], kWordCap)) return false;
      if (std::strcmp(words[2], "order") == 0) break;
    }
    if (std::strcmp(words[0], "HEX") == 0) {
      // Images of this machine's byte order are taken; any other order is skipped.
      const bool own_order = std::strcmp(words[1], image_order_word()) == 0;
      mode_ = own_order ? 1 : 2;
      poles_weighted_ = own_order;
    }
    return true;
  }

  bool integer(int64_t *v) { return read_integer(f_, v); }
  // "keyword %ld" at the start of the next line.
  bool keyword_line(const char *keyword, int64_t *v) {
    skip_line(f_);
    return match_literal(f_, keyword) && match_literal(f_, " ") && integer(v);
  }
  // A 16-bit flag as stored: values beyond 16 bits read as TRUE.
  static BSboolean flag(int64_t v) {
    return v >= INT16_MIN && v <= INT16_MAX ? static_cast<BSboolean>(v) : 1;
  }
  bool number(double *v) { return BSreadhexd(f_, mode_, 1, v) != 0; }
  bool finite_numbers(double *v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      if (!number(v + i) || !std::isfinite(v[i])) return false;
    return true;
  }
  bool discard_numbers(int64_t n) {
    double unused;
    for (int64_t i = 0; i < n; ++i)
      if (!number(&unused)) return false;
    return true;
  }
  bool word(char *buf) { return read_word(f_, buf, kWordCap); }
  void skip_rest_of_line() { skip_line(f_); }
  bool literal(const char *text) { return match_literal(f_, text); }
  bool poles_weighted() const { return poles_weighted_; }
  void set_poles_weighted() { poles_weighted_ = true; }

 private:
  FILE *f_;
  int32_t mode_ = 0;
  bool poles_weighted_ = false;
};

bool knots_non_decreasing(const double *knots, int32_t n) {
  for (int32_t i = 1; i < n; ++i)
    if (knots[i] < knots[i - 1]) return false;
  return true;
}

// Reads one record; on success *out is the new record and the status is 0, 2 or 49.
BSrc read_curve_record(FILE *f, BScurve **out) {
  DumpReader in(f);
  if (!in.find_order()) return kUnusableOrder;
  int64_t order = 0;
  if (!in.integer(&order)) return BSFAIL;
  if (order < 1 || order > kMaxReadOrder) return kUnusableOrder;
  const bool unusable_order = order == 1 || order > kLargestUsableOrder;

  BScurve header{};
  header.order = static_cast<int16_t>(order);
  int64_t value = 0;
  if (!in.keyword_line("periodic", &value)) return BSFAIL;
  header.periodic = DumpReader::flag(value);
  if (!in.keyword_line("non_uniform", &value)) return BSFAIL;
  header.non_uniform = DumpReader::flag(value);
  int64_t num_poles = 0;
  if (!in.keyword_line("num_poles", &num_poles)) return BSFAIL;
  if (num_poles < order) return BSFAIL;
  if (num_poles > kMaxReadPoles) return kTooManyPoles;
  const auto n = static_cast<std::size_t>(num_poles);
  header.num_poles = static_cast<int32_t>(num_poles);

  ResultArray poles;
  if (!poles.take(3 * n)) return BSNOMEMORY;
  if (!in.finite_numbers(poles.get(), 3 * n)) return BSFAIL;

  char word[kWordCap + 1];
  if (!in.word(word)) return BSFAIL;
  if (std::strcmp(word, "unweighted") == 0) {
    in.skip_rest_of_line();
    in.set_poles_weighted();
    if (!in.discard_numbers(3 * num_poles)) return BSFAIL;
    in.skip_rest_of_line();
    if (!in.literal("rational ") || !in.integer(&value)) return BSFAIL;
  } else if (std::strcmp(word, "rational") == 0) {
    if (!in.literal(" ") || !in.integer(&value)) return BSFAIL;
  } else {
    return BSFAIL;
  }
  header.rational = DumpReader::flag(value);

  ResultArray weights;
  bool small_weight = false;
  if (header.rational) {
    if (!weights.take(n)) return BSNOMEMORY;
    if (!in.finite_numbers(weights.get(), n)) return BSFAIL;
    for (std::size_t i = 0; i < n; ++i) {
      const double w = weights.get()[i];
      if (w < kSmallestWeight) small_weight = true;
      if (!in.poles_weighted())
        for (int j = 0; j < 3; ++j) poles.get()[3 * i + j] *= w;
    }
  }

  int64_t num_knots = 0;
  if (!in.keyword_line("num_knots", &num_knots)) return BSFAIL;
  if (num_knots != order + num_poles) return BSFAIL;
  ResultArray knots;
  if (!knots.take(static_cast<std::size_t>(num_knots))) return BSNOMEMORY;
  if (!in.finite_numbers(knots.get(), static_cast<std::size_t>(num_knots))) return BSFAIL;
  if (!knots_non_decreasing(knots.get(), static_cast<int32_t>(num_knots))) return BSFAIL;
  header.num_knots = static_cast<int32_t>(num_knots);

  if (!in.keyword_line("planar", &value)) return BSFAIL;
  header.planar = DumpReader::flag(value);
  if (!in.keyword_line("phy_closed", &value)) return BSFAIL;
  header.phy_closed = DumpReader::flag(value);
  int64_t num_boundaries = 0;
  if (!in.keyword_line("num_boundaries", &num_boundaries)) return BSFAIL;
  if (num_boundaries > 0 && !in.discard_numbers(2 * num_boundaries)) return BSFAIL;
  in.skip_rest_of_line();

  header.poles = poles.get();
  header.knots = knots.get();
  header.weights = weights.get();
  BSrc rc = BSSUCC;
  BScurve *made = nullptr;
  BSallocqelcv(header.order, header.num_poles, header.rational, 0, &made, &rc);
  if (rc != BSSUCC) return rc;
  rc = copy_curve_into(header, *made);
  KW_ASSERT(rc == BSSUCC);
  *out = made;
  if (unusable_order) return kUnusableOrder;
  return small_weight ? BSBADWEIGHT : BSSUCC;
}

}  // namespace
}  // namespace knotwork

using namespace knotwork;

extern "C" {

// Traced under its name on failure; no status injection here.
KW_API void BSreadcv(FILE *stream, BScurve **curve, BSrc *rc) {
  *rc = BSSUCC;
  if (curve != nullptr) *curve = nullptr;
  if (stream == nullptr || curve == nullptr)
    *rc = BSNULLPTR;
  else
    *rc = read_curve_record(stream, curve);
  if (*rc != BSSUCC) BSdbgrc(*rc, "BSreadcv");
}

KW_API void BSreadln(FILE *stream) {
  if (stream != nullptr) skip_line(stream);
}

}  // extern "C"
