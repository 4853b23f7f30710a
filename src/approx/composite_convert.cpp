// B-spline curves to composite Legendre curves (BSbstolgd, BSbsp2cmlgd,
// BSbsp2cmlgd2d) and chains of Legendre segments back to C0 B-splines
// (BSlgdbspcm1).
#include <initializer_list>
#include <cmath>
#include <cstring>

#include "approx/composite.hpp"
#include "bases/series.hpp"
#include "bspline/bezier.hpp"
#include "records/curve_check.hpp"

namespace knotwork {

// Every Bezier span of an array-form spline (rows coordinate-major) to one Legendre
// segment, written in place in series (span-major, rows inside). Validated input.
BSrc spline_to_legendre(int32_t p, int32_t n, int32_t rows, const double *knots,
                        const double *poles, int32_t *count, double *series, double *breaks) {
  ScratchBuffer buf((p + 1) * (sizeof(double) + 2 * sizeof(long double)));
  if (!buf.ok()) return BSNOSTKMEMORY;
  BSrc rc = bezier_pieces(p, n, rows, knots, poles, count, series, breaks);
  if (rc != BSSUCC) return rc;
  long double *work = buf.as<long double>();
  double *row = reinterpret_cast<double *>(work + 2 * (p + 1));
  for (int64_t j = 0; j < static_cast<int64_t>(*count) * rows; ++j) {
    double *b = series + j * (p + 1);
    bezier_to_legendre_unchecked(p, b, row, work);
    std::memcpy(b, row, sizeof(double) * (p + 1));
  }
  return BSSUCC;
}

namespace {

bool spline_args_ok(int32_t d, int32_t n, int32_t order, const double *poles, int32_t rows,
                    const double *knots) {
  if (d < 1 || d > 64 || order < 2 || order - 1 > kMaxSegmentDegree || n < order) return false;
  if (!knots_ascending(knots, n + order) || !(knots[order - 1] < knots[n])) return false;
  for (int64_t i = 0; i < static_cast<int64_t>(n) * rows; ++i)
    if (!std::isfinite(poles[i])) return false;
  return true;
}

}  // namespace

// BSbsp2cmlgd on validated input.
BSrc spline_to_composite(int32_t d, int32_t n, int32_t order, bool rational, const double *poles,
                         const double *knots, int32_t *m_out, int32_t **ndeg_out,
                         int32_t **irat_out, double ***series_out, double **bez_out,
                         double *start_end) {
  const int32_t rows = d + (rational ? 1 : 0);
  // All poles one point (Cartesian, within dist_tol): one segment of degree 0.
  bool point = true;
  for (int32_t i = 1; i < n && point; ++i) {
    double dist2 = 0.0;
    for (int32_t c = 0; c < d; ++c) {
      const double a = rational ? poles[c * n + i] / poles[d * n + i] : poles[c * n + i];
      const double b = rational ? poles[c * n] / poles[d * n] : poles[c * n];
      dist2 += (a - b) * (a - b);
    }
    point = dist2 <= tol().dist_sqtol;
  }
  const int32_t m_max = point ? 1 : n - order + 1;
  int32_t *ndeg = nullptr, *irat = nullptr, *ibase = nullptr;
  double *bez = nullptr, **series = nullptr;
  BSrc rc = allocate_segment_arrays(m_max, &ndeg, &irat, &ibase, &bez);
  if (rc != BSSUCC) return rc;
  for (int32_t i = 0; i < m_max; ++i) {
    ndeg[i] = point ? 0 : order - 1;
    irat[i] = point ? 0 : (rational ? 1 : 0);
  }
  rc = allocate_series(d, m_max, ndeg, irat, &series);
  int32_t m = 1;
  if (rc == BSSUCC && point) {
    for (int32_t c = 0; c < d; ++c)
      series[0][c] = rational ? poles[c * n] / poles[d * n] : poles[c * n];
    bez[0] = 0.0;
    bez[1] = 1.0;
  } else if (rc == BSSUCC) {
    rc = spline_to_legendre(order - 1, n, rows, knots, poles, &m, series[0], bez);
  }
  // The basis codes are all Legendre: the array served the allocation only.
  BSdbgfree(ibase);
  ibase = nullptr;
  if (rc != BSSUCC) {
    release_series(&series);
    release_segment_arrays(&ndeg, &irat, &ibase, &bez);
    return rc;
  }
  *m_out = m;
  *ndeg_out = ndeg;
  *irat_out = irat;
  *series_out = series;
  *bez_out = bez;
  start_end[0] = bez[0];
  start_end[1] = bez[m];
  return BSSUCC;
}

// BSlgdbspcm1 on validated input.
BSrc chain_to_spline(int32_t k, int32_t m, int32_t d, const double *series, const double *breaks,
                     int32_t *num_poles, double **poles_out, double **knots_out) {
  const int32_t p = k - 1, N = p * m + 1;
  double *poles = alloc_result_doubles(static_cast<std::size_t>(N) * d);
  double *knots = alloc_result_doubles(static_cast<std::size_t>(N) + k);
  ScratchBuffer buf((k) * (sizeof(double) + 2 * sizeof(long double)));
  if (poles == nullptr || knots == nullptr || !buf.ok()) {
    const BSrc rc = poles == nullptr || knots == nullptr ? BSNOMEMORY : BSNOSTKMEMORY;
    if (poles != nullptr) BSdbgfree(poles);
    if (knots != nullptr) BSdbgfree(knots);
    return rc;
  }
  long double *work = buf.as<long double>();
  double *b = reinterpret_cast<double *>(work + 2 * k);
  for (int32_t c = 0; c < d; ++c) {
    double *row = poles + static_cast<std::size_t>(c) * N;
    for (int32_t i = 0; i < m; ++i) {
      legendre_to_bezier_unchecked(p, series + (static_cast<int64_t>(c) * m + i) * k, b, work);
      const int64_t at = static_cast<int64_t>(i) * p;
      // The shared pole of two segments: the mean of their end poles.
      row[at] = i == 0 ? b[0] : 0.5 * (row[at] + b[0]);
      for (int32_t j = 1; j <= p; ++j) row[at + j] = b[j];
    }
  }
  int32_t at = 0;
  knots[at++] = (breaks[0] + 1.0) / 2.0;
  for (int32_t i = 0; i <= m; ++i)
    for (int32_t j = 0; j < p; ++j) knots[at++] = (breaks[i] + 1.0) / 2.0;
  knots[at++] = (breaks[m] + 1.0) / 2.0;
  *num_poles = N;
  *poles_out = poles;
  *knots_out = knots;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSbstolgd(int32_t degree, int32_t num_poles, int32_t comps,
                                 const double *knots, const double *poles, int32_t *num_spans,
                                 double *series, double *breaks, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (knots == nullptr || poles == nullptr || num_spans == nullptr || series == nullptr ||
      breaks == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (comps < 1 || comps > 64 || !spline_args_ok(1, num_poles, degree + 1, poles, comps, knots)) {
    *rc = BSINARG;
    return;
  }
  *rc = spline_to_legendre(degree, num_poles, comps, knots, poles, num_spans, series, breaks);
}

namespace {

void bsp_to_composite(int32_t d, int32_t n, int32_t order, BSboolean rational, const double *poles,
                      const double *knots, int32_t *m, int32_t **ndeg, int32_t **irat,
                      double ***series, double **bez, double *start_end, BSrc *rc) {
  if (poles == nullptr || knots == nullptr || m == nullptr || ndeg == nullptr || irat == nullptr ||
      series == nullptr || bez == nullptr || start_end == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *ndeg = *irat = nullptr;
  *series = nullptr;
  *bez = nullptr;
  const int32_t rows = d + (rational ? 1 : 0);
  if (!spline_args_ok(d, n, order, poles, rows, knots)) {
    *rc = BSINARG;
    return;
  }
  if (rational)
    for (int32_t i = 0; i < n; ++i)
      if (!(poles[static_cast<int64_t>(d) * n + i] > 0.0)) {
        *rc = BSINARG;
        return;
      }
  *rc = spline_to_composite(d, n, order, rational != 0, poles, knots, m, ndeg, irat, series, bez,
                            start_end);
}

// An injected failure hands out nothing: the arrays made are released, the outputs null.
void withdraw_composite(int32_t **ndeg, int32_t **irat, double ***series, double **bez) {
  for (int32_t **a : {ndeg, irat})
    if (a != nullptr && *a != nullptr) BSdbgfree(*a), *a = nullptr;
  if (series != nullptr) release_series(series);
  if (bez != nullptr && *bez != nullptr) BSdbgfree(*bez), *bez = nullptr;
}

}  // namespace

extern "C" KW_API void BSbsp2cmlgd(int32_t d, int32_t num_poles, int32_t order, BSboolean rational,
                                   const double *poles, const double *knots, int32_t *m,
                                   int32_t **ndeg, int32_t **irat, double ***series, double **bez,
                                   double *start_end, BSrc *rc) {
  KW_EPILOGUE(rc);
  bsp_to_composite(d, num_poles, order, rational, poles, knots, m, ndeg, irat, series, bez,
                   start_end, rc);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) withdraw_composite(ndeg, irat, series, bez);
}

extern "C" KW_API void BSbsp2cmlgd2d(int32_t num_poles, int32_t order, BSboolean rational,
                                     const double *poles, const double *knots, int32_t *m,
                                     int32_t **ndeg, int32_t **irat, double ***series, double **bez,
                                     double *start_end, BSrc *rc) {
  KW_EPILOGUE(rc);
  bsp_to_composite(2, num_poles, order, rational, poles, knots, m, ndeg, irat, series, bez,
                   start_end, rc);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) withdraw_composite(ndeg, irat, series, bez);
}

extern "C" KW_API void BSlgdbspcm1(int32_t order, int32_t m, int32_t d, const double *series,
                                   const double *breaks, int32_t *num_poles, double **poles,
                                   double **knots, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (series == nullptr || breaks == nullptr || num_poles == nullptr || poles == nullptr ||
      knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (order < 2 || order - 1 > kMaxSegmentDegree || m < 1 || m > kMaxSegments || d < 1 || d > 64 ||
      !knots_ascending(breaks, m + 1) || !(breaks[0] < breaks[m])) {
    *rc = BSINARG;
    return;
  }
  for (int64_t i = 0; i < static_cast<int64_t>(m) * d * order; ++i)
    if (!std::isfinite(series[i])) {
      *rc = BSINARG;
      return;
    }
  *rc = chain_to_spline(order, m, d, series, breaks, num_poles, poles, knots);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) {  // an injected failure hands out nothing
    BSdbgfree(*poles), BSdbgfree(*knots);
    *poles = *knots = nullptr;
  }
}
