// Helpers of the records tests: curves owned by the test, dumps as strings, curves
// read back from strings.
#ifndef KNOTWORK_TESTS_RECORDS_FIXTURES_HPP
#define KNOTWORK_TESTS_RECORDS_FIXTURES_HPP

#include "support.hpp"

namespace kwtest {

// A curve whose arrays are vectors of the test, filled from the seed: random poles and
// weights (0.5 .. 2, poles stored weighted), a clamped knot vector with a double
// interior knot, non_uniform and phy_closed set, boundaries 0, 0.125, 0.25...
struct OwnedCurve {
  std::vector<double> poles, knots, weights, bdrys;
  BScurve cv;
  OwnedCurve(int k, int n, bool rational, int nb = 0, unsigned seed = 0) {
    poles.resize(3 * n), knots.resize(k + n), weights.resize(n), bdrys.resize(2 * nb);
    double *w = rational ? weights.data() : nullptr, *b = nb ? bdrys.data() : nullptr;
    cv = {int16_t(k), 0, 1, n, poles.data(), k + n, knots.data(),
          rational,   w, 0, 1, int16_t(nb),  b};
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> coord(-100.0, 100.0), weight(0.5, 2.0);
    for (int i = 0; i < n; ++i) {
      const double wt = rational ? weights[i] = weight(gen) : 1.0;
      for (int j = 0; j < 3; ++j) poles[3 * i + j] = coord(gen) * wt;
    }
    for (int i = 0; i < k + n; ++i)
      knots[i] = -1.5 + (3.0 / 7.0 + 1.5) * std::clamp(i - k + 1, 0, n - k + 1) / (n - k + 1);
    if (n - k >= 2) knots[k + 1] = knots[k];
    for (std::size_t i = 0; i < bdrys.size(); ++i) bdrys[i] = 0.125 * double(i);
  }
  OwnedCurve(const OwnedCurve &) = delete;
};

// A seekable stream holding text, positioned at its start.
inline FILE *stream_with(const std::string &text) {
  FILE *f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  return f;
}

// Everything written to the stream; the stream is closed.
inline std::string drain(FILE *f) {
  std::string s;
  std::rewind(f);
  for (int c; (c = std::getc(f)) != EOF;) s.push_back(char(c));
  std::fclose(f);
  return s;
}

// The curve dump: with byte images, or decimal (labelled or not) under the name.
inline std::string dump_text(const BScurve *cv, bool labelled, bool images = false,
                             const char *name = "c") {
  FILE *f = std::tmpfile();
  images ? BSprthexcv(f, cv) : BSprintbspc(f, name, cv, labelled);
  return drain(f);
}

// Reads one curve from text (the record, if any, goes to the caller), and releases one.
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
