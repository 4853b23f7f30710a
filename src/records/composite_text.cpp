// The composite Legendre text record: writing one (BSprtcmplgd), reading one
// (BSreadcmlgd) and reading groups of them (BSrdsscmlgd).
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "approx/composite.hpp"
#include "records/text_scan.hpp"

namespace knotwork {

namespace {

// One number of the record: "%22.17f", or "%22.17e" when the fixed form would not
// read back as the same double (very small or very large magnitudes).
void print_number(FILE *f, double v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%22.17f", v);
  if (std::isfinite(v) && std::strtod(buf, nullptr) != v)
    std::snprintf(buf, sizeof buf, "%22.17e", v);
  std::fputs(buf, f);
}

bool record_ok(int32_t d, int32_t m, const int32_t *ndeg, const int32_t *irat, const int32_t *ibase,
               double *const *series, const double *bez, const double *start_end) {
  if (ndeg == nullptr || irat == nullptr || ibase == nullptr || series == nullptr ||
      bez == nullptr || start_end == nullptr || d < 1 || d > 64 || m < 1 || m > kMaxSegments)
    return false;
  for (int32_t i = 0; i < m; ++i)
    if (ndeg[i] < 0 || ndeg[i] > kMaxSegmentDegree || segment_components(d, irat[i]) < 0 ||
        series[i] == nullptr)
      return false;
  return true;
}

// Reads words until `key`; false at the end of the stream.
bool find_word(FILE *f, const char *key) {
  char word[251];
  while (read_word(f, word, 250))
    if (std::strcmp(word, key) == 0) return true;
  return false;
}

bool read_int(FILE *f, int32_t lo, int32_t hi, int32_t *out) {
  int64_t v;
  if (!read_integer(f, &v) || v < lo || v > hi) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool read_double(FILE *f, double *out) {
  return std::fscanf(f, "%lf", out) == 1 && std::isfinite(*out);
}

}  // namespace

void print_composite(FILE *f, int32_t d, int32_t m, int32_t periodic, const int32_t *ndeg,
                     const int32_t *irat, const int32_t *ibase, double *const *series,
                     const double *bez, const double *start_end) {
  std::fprintf(f, "dimModel %d\n", d);
  std::fprintf(f, "nSegment %d\n", m);
  std::fprintf(f, "periodic %d\n", periodic);
  std::fprintf(f, "ndegArr\n");
  for (int32_t i = 0; i < m; ++i) std::fprintf(f, "%d\n", ndeg[i]);
  std::fprintf(f, "iratArr\n");
  for (int32_t i = 0; i < m; ++i) std::fprintf(f, "%d\n", irat[i]);
  std::fprintf(f, "ibaseArr \n");
  for (int32_t i = 0; i < m; ++i) std::fprintf(f, "%d\n", ibase[i]);
  std::fprintf(f, "curveSeries\n");
  for (int32_t i = 0; i < m; ++i) {
    const int64_t count = static_cast<int64_t>(ndeg[i] + 1) * segment_components(d, irat[i]);
    for (int64_t j = 0; j < count; ++j) {
      print_number(f, series[i][j]);
      std::fputc('\n', f);
    }
  }
  std::fprintf(f, "bezKnots\n");
  for (int32_t i = 0; i <= m; ++i) {
    print_number(f, bez[i]);
    std::fputc('\n', f);
  }
  std::fprintf(f, "start_end_parameters\n");
  print_number(f, start_end[0]);
  std::fputc(' ', f);
  print_number(f, start_end[1]);
  std::fprintf(f, "\n\n");
}

// BSreadcmlgd: -1 for a missing keyword or a value that cannot be read or is out of
// range, -13 for memory; on failure everything read is released, outputs null.
BSrc read_composite(FILE *f, int32_t *d, int32_t *m_out, int32_t *periodic, int32_t **ndeg_out,
                    int32_t **irat_out, int32_t **ibase_out, double ***series_out, double **bez_out,
                    double *start_end) {
  int32_t dim, m, per;
  if (!find_word(f, "dimModel") || !read_int(f, 1, 64, &dim)) return BSFAIL;
  if (!find_word(f, "nSegment") || !read_int(f, 1, kMaxSegments, &m)) return BSFAIL;
  if (!find_word(f, "periodic") || !read_int(f, INT32_MIN, INT32_MAX, &per)) return BSFAIL;
  int32_t *ndeg = nullptr, *irat = nullptr, *ibase = nullptr;
  double *bez = nullptr, **series = nullptr;
  BSrc rc = allocate_segment_arrays(m, &ndeg, &irat, &ibase, &bez);
  if (rc != BSSUCC) return rc;
  const auto fail = [&](BSrc status) {
    release_series(&series);
    release_segment_arrays(&ndeg, &irat, &ibase, &bez);
    return status;
  };
  const struct {
    const char *key;
    int32_t *arr, lo, hi;
  } tables[3] = {
      {"ndegArr", ndeg, 0, kMaxSegmentDegree}, {"iratArr", irat, 0, 3}, {"ibaseArr", ibase, 0, 1}};
  for (const auto &t : tables) {
    if (!find_word(f, t.key)) return fail(BSFAIL);
    for (int32_t i = 0; i < m; ++i)
      if (!read_int(f, t.lo, t.hi, &t.arr[i])) return fail(BSFAIL);
  }
  if ((rc = allocate_series(dim, m, ndeg, irat, &series)) != BSSUCC) return fail(rc);
  if (!find_word(f, "curveSeries")) return fail(BSFAIL);
  for (int32_t i = 0; i < m; ++i) {
    const int64_t count = static_cast<int64_t>(ndeg[i] + 1) * segment_components(dim, irat[i]);
    for (int64_t j = 0; j < count; ++j)
      if (!read_double(f, &series[i][j])) return fail(BSFAIL);
  }
  if (!find_word(f, "bezKnots")) return fail(BSFAIL);
  for (int32_t i = 0; i <= m; ++i)
    if (!read_double(f, &bez[i])) return fail(BSFAIL);
  double se[2];
  if (!find_word(f, "start_end_parameters") || !read_double(f, &se[0]) || !read_double(f, &se[1]))
    return fail(BSFAIL);
  *d = dim;
  *m_out = m;
  *periodic = per;
  *ndeg_out = ndeg;
  *irat_out = irat;
  *ibase_out = ibase;
  *series_out = series;
  *bez_out = bez;
  start_end[0] = se[0];
  start_end[1] = se[1];
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSprtcmplgd(FILE *stream, int32_t dimModel, int32_t nSegment,
                                   int32_t periodic, const int32_t *ndegArr, const int32_t *iratArr,
                                   const int32_t *ibaseArr, double *const *curveSeries,
                                   const double *bezKnots, const double *start_end) {
  if (!record_ok(dimModel, nSegment, ndegArr, iratArr, ibaseArr, curveSeries, bezKnots, start_end))
    return;
  print_composite(stream != nullptr ? stream : stderr, dimModel, nSegment, periodic, ndegArr,
                  iratArr, ibaseArr, curveSeries, bezKnots, start_end);
}

extern "C" KW_API void BSreadcmlgd(FILE *stream, int32_t *dimModel, int32_t *nSegment,
                                   int32_t *periodic, int32_t **ndegArr, int32_t **iratArr,
                                   int32_t **ibaseArr, double ***curveSeries, double **bezKnots,
                                   double *start_end, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (stream == nullptr || dimModel == nullptr || nSegment == nullptr || periodic == nullptr ||
      ndegArr == nullptr || iratArr == nullptr || ibaseArr == nullptr || curveSeries == nullptr ||
      bezKnots == nullptr || start_end == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  // Kept to restore the outputs should the epilogue inject a failure after the read.
  const int32_t d0 = *dimModel, m0 = *nSegment, p0 = *periodic;
  int32_t *const deg0 = *ndegArr, *const kind0 = *iratArr, *const base0 = *ibaseArr;
  double **const series0 = *curveSeries, *const knots0 = *bezKnots;
  const double se0[2] = {start_end[0], start_end[1]};
  *rc = read_composite(stream, dimModel, nSegment, periodic, ndegArr, iratArr, ibaseArr,
                       curveSeries, bezKnots, start_end);
  if (*rc != BSSUCC || KW_FINISH(TRUE)) return;
  release_segment_arrays(ndegArr, iratArr, ibaseArr, bezKnots);
  release_series(curveSeries);
  *dimModel = d0, *nSegment = m0, *periodic = p0, *ndegArr = deg0, *iratArr = kind0;
  *ibaseArr = base0, *curveSeries = series0, *bezKnots = knots0;
  start_end[0] = se0[0], start_end[1] = se0[1];
}

namespace {

template <class T>
T *zeroed_table(int64_t count) {
  if (count < 1 || count * static_cast<int64_t>(sizeof(T)) > INT32_MAX) return nullptr;
  void *p = BSdbgalloc(static_cast<int32_t>(count * sizeof(T)));
  if (p != nullptr) std::memset(p, 0, count * sizeof(T));
  return static_cast<T *>(p);
}

}  // namespace

extern "C" KW_API void BSrdsscmlgd(FILE *stream, int32_t *dimModel, int32_t groups, int32_t *counts,
                                   int32_t ***nSegment, int32_t ***periodic, int32_t ****ndegArr,
                                   int32_t ****iratArr, int32_t ****ibaseArr,
                                   double *****curveSeries, double ****bezKnots,
                                   double ***start_end, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (stream == nullptr || dimModel == nullptr || counts == nullptr || nSegment == nullptr ||
      periodic == nullptr || ndegArr == nullptr || iratArr == nullptr || ibaseArr == nullptr ||
      curveSeries == nullptr || bezKnots == nullptr || start_end == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (groups < 1 || groups > kMaxSegments) {
    *rc = BSINARG;
    return;
  }
  for (int32_t g = 0; g < groups; ++g)
    if (!read_int(stream, 1, kMaxSegments, &counts[g])) {
      *rc = BSFAIL;
      return;
    }
  // Eight tables of one entry per group; what is allocated stays with the caller's
  // tables also when a later step fails (every unused entry is null).
  *nSegment = zeroed_table<int32_t *>(groups);
  *periodic = zeroed_table<int32_t *>(groups);
  *ndegArr = zeroed_table<int32_t **>(groups);
  *iratArr = zeroed_table<int32_t **>(groups);
  *ibaseArr = zeroed_table<int32_t **>(groups);
  *curveSeries = zeroed_table<double ***>(groups);
  *bezKnots = zeroed_table<double **>(groups);
  *start_end = zeroed_table<double *>(groups);
  if (!*nSegment || !*periodic || !*ndegArr || !*iratArr || !*ibaseArr || !*curveSeries ||
      !*bezKnots || !*start_end) {
    *rc = BSNOMEMORY;
    return;
  }
  for (int32_t g = 0; g < groups; ++g) {
    const int32_t c = counts[g];
    if (!((*nSegment)[g] = zeroed_table<int32_t>(c)) ||
        !((*periodic)[g] = zeroed_table<int32_t>(c)) ||
        !((*ndegArr)[g] = zeroed_table<int32_t *>(c)) ||
        !((*iratArr)[g] = zeroed_table<int32_t *>(c)) ||
        !((*ibaseArr)[g] = zeroed_table<int32_t *>(c)) ||
        !((*curveSeries)[g] = zeroed_table<double **>(c)) ||
        !((*bezKnots)[g] = zeroed_table<double *>(c)) ||
        !((*start_end)[g] = zeroed_table<double>(2 * static_cast<int64_t>(c)))) {
      *rc = BSNOMEMORY;
      return;
    }
  }
  for (int32_t g = 0; g < groups; ++g)
    for (int32_t j = 0; j < counts[g]; ++j) {
      *rc = read_composite(stream, dimModel, &(*nSegment)[g][j], &(*periodic)[g][j],
                           &(*ndegArr)[g][j], &(*iratArr)[g][j], &(*ibaseArr)[g][j],
                           &(*curveSeries)[g][j], &(*bezKnots)[g][j], &(*start_end)[g][2 * j]);
      if (*rc != BSSUCC) return;
    }
}
