// Helpers of the records tests: sample curves owned by the test, dumps as strings,
// and curves read back from strings.
#ifndef KNOTWORK_TESTS_RECORDS_FIXTURES_HPP
#define KNOTWORK_TESTS_RECORDS_FIXTURES_HPP

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "knotwork.h"

namespace kwtest {

// A curve whose arrays are vectors of the test.
struct OwnedCurve {
  std::vector<double> poles, knots, weights, bdrys;
  BScurve cv{};
  OwnedCurve(int order, int num_poles, bool rational, int num_boundaries = 0)
      : poles(3 * num_poles),
        knots(order + num_poles),
        weights(rational ? num_poles : 0),
        bdrys(2 * num_boundaries) {
    cv.order = static_cast<int16_t>(order);
    cv.num_poles = num_poles;
    cv.num_knots = order + num_poles;
    cv.rational = rational;
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.weights = rational ? weights.data() : nullptr;
    cv.num_boundaries = static_cast<int16_t>(num_boundaries);
    cv.bdrys = num_boundaries > 0 ? bdrys.data() : nullptr;
  }
  OwnedCurve(const OwnedCurve &) = delete;
};

// Random poles and weights (0.5 .. 2, poles stored weighted), a clamped knot vector
// with a double interior knot, phy_closed and non_uniform set.
inline void fill_random(OwnedCurve &c, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> coord(-100.0, 100.0), weight(0.5, 2.0);
  const int k = c.cv.order, n = c.cv.num_poles;
  for (int i = 0; i < n; ++i) {
    const double w = c.cv.rational ? weight(gen) : 1.0;
    if (c.cv.rational) c.weights[i] = w;
    for (int j = 0; j < 3; ++j) c.poles[3 * i + j] = coord(gen) * w;
  }
  for (int i = 0; i < k; ++i) c.knots[i] = -1.5, c.knots[n + i] = 3.0 / 7.0;
  for (int i = k; i < n; ++i) c.knots[i] = -1.5 + (3.0 / 7.0 + 1.5) * (i - k + 1) / (n - k + 1);
  if (n - k >= 2) c.knots[k + 1] = c.knots[k];
  c.cv.periodic = c.cv.planar = 0;
  c.cv.non_uniform = c.cv.phy_closed = 1;
  for (std::size_t i = 0; i < c.bdrys.size(); ++i) c.bdrys[i] = 0.125 * static_cast<double>(i);
}

// A seekable stream holding text, positioned at its start.
inline FILE *stream_with(const std::string &text) {
  FILE *f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  return f;
}

// Everything written to the stream so far; the stream is closed.
inline std::string drain(FILE *f) {
  std::rewind(f);
  std::string s;
  for (int c; (c = std::getc(f)) != EOF;) s.push_back(static_cast<char>(c));
  std::fclose(f);
  return s;
}

// The curve dump: with byte images, or decimal (labelled or not) under the name.
inline std::string dump_text(const BScurve *cv, bool labelled, bool images = false,
                             const char *name = "c") {
  FILE *f = std::tmpfile();
  if (images) {
    EXPECT_EQ(BSprthexcv(f, cv), TRUE);
  } else {
    BSprintbspc(f, name, cv, labelled);
  }
  return drain(f);
}

// Reads one curve from text; the record (if any) goes to the caller.
inline BScurve *read_text(const std::string &text, BSrc *rc) {
  FILE *f = stream_with(text);
  BScurve *cv = reinterpret_cast<BScurve *>(&cv);  // must be overwritten
  BSreadcv(f, &cv, rc);
  std::fclose(f);
  return cv;
}

inline void release(BScurve *cv) {
  BSrc rc;
  if (cv != nullptr) BSfreeqelcv(cv, &rc);
}

}  // namespace kwtest

#endif
