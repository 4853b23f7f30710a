// Parametrisation of point sets (chord length or centripetal, chosen by the chord
// sizes), knot placement for fits, and the work-matrix sizes of the solves.
#include <algorithm>
#include <cmath>

#include "bspline/kernel.hpp"
#include "fit/fit.hpp"
#include "frame/frame.hpp"

namespace knotwork {
namespace {

double chord(const double *p, const double *q, double wp, double wq, int32_t dim) {
  double s = 0.0;
  for (int32_t c = 0; c < dim; ++c) {
    const double d = q[c] / wq - p[c] / wp;
    s += d * d;
  }
  return std::sqrt(s);
}

bool all_finite(const double *v, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

}  // namespace

void cumulative_chords(int32_t n, const double *points, const double *weights, int32_t stride,
                       int32_t dim, int32_t *mode, double *out) {
  double smallest = HUGE_VAL;
  for (int32_t i = 0; i + 1 < n; ++i) {
    const double wp = weights ? weights[i] : 1.0, wq = weights ? weights[i + 1] : 1.0;
    out[i] = chord(points + static_cast<std::size_t>(i) * stride,
                   points + static_cast<std::size_t>(i + 1) * stride, wp, wq, dim);
    smallest = std::min(smallest, out[i]);
  }
  if (*mode == 2) *mode = smallest < 1.0 ? 0 : 1;
  double sum = 0.0;
  for (int32_t i = 0; i + 1 < n; ++i) {
    sum += *mode == 1 ? std::sqrt(out[i]) : out[i];
    out[i] = sum;
  }
}

BSrc average_parameters(int32_t sets, int32_t n, const double *points, const double *weights,
                        int32_t stride, int32_t dim, double *average, double *pars) {
  ScratchBuffer buf(static_cast<std::size_t>(n) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *cum = buf.as<double>();
  int32_t forced = -1;  // the mode every set must use once one set chose chord length
  for (;;) {
    std::fill(pars, pars + n, 0.0);
    double total = 0.0;
    int32_t used = 0;
    bool restart = false;
    for (int32_t j = 0; j < sets && !restart; ++j) {
      const std::size_t first = static_cast<std::size_t>(j) * n;
      int32_t mode = forced >= 0 ? forced : 2;
      cumulative_chords(n, points + first * stride, weights ? weights + first : nullptr, stride,
                        dim, &mode, cum);
      if (forced < 0 && mode == 0) {
        forced = 0;
        restart = j > 0;  // an earlier set was measured centripetally
        if (restart) break;
      }
      const double t = n > 1 ? cum[n - 2] : 0.0;
      if (!(t > tol().dist_tol)) continue;  // degenerate set
      for (int32_t i = 1; i < n; ++i) pars[i] += cum[i - 1] / t;
      total += t;
      ++used;
    }
    if (restart) continue;
    if (used == 0) {
      // Every set degenerate (one set of equal points): uniform parameters.
      for (int32_t i = 0; i < n; ++i) pars[i] = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
      *average = 0.0;
    } else {
      for (int32_t i = 1; i < n; ++i) pars[i] /= used;
      *average = total / used;
    }
    pars[0] = 0.0;
    if (n > 1) pars[n - 1] = 1.0;
    return BSSUCC;
  }
}

void parameter_spans(int k, int32_t m, int32_t n, const double *pars, const double *knots,
                     int32_t *spans) {
  if (n <= 0) return;
  int32_t s = find_span_left_closed(k, m, knots, pars[0]);
  spans[0] = s;
  for (int32_t i = 1; i < n; ++i) spans[i] = s = advance_span(m, knots, pars[i], s);
}

BSrc place_fit_knots(int k, bool periodic, double ktol, int32_t s, int32_t n, const double *pars,
                     int32_t *num_knots, double *knots, int32_t *spans) {
  if (s < 1 || n < 2 || (periodic && s == 1)) return BSINARG;
  const double t0 = pars[0], tn = pars[n - 1];
  const bool odd = (k % 2) == 1;
  const bool interpolating = !periodic && ((!odd && n == s + 1) || (odd && n == s)) && s > 1;
  const bool periodic_odd = periodic && n == s + 1 && odd;
  int32_t count = s + 2 * k - 1;
  const int32_t last = k - 1 + s;  // index of the last domain knot
  knots[k - 1] = t0;
  knots[last] = tn;
  if (interpolating && !odd) {
    for (int32_t j = 1; j <= n - 2; ++j) knots[k - 1 + j] = pars[j];
  } else if (interpolating) {
    if (n == 2) {
      knots[k] = 0.5 * (t0 + tn);
    } else {
      knots[k] = (2.0 * pars[1] + t0) / 3.0;
      for (int32_t j = 1; j <= n - 3; ++j) knots[k + j] = 0.5 * (pars[j] + pars[j + 1]);
      knots[k + n - 2] = (2.0 * pars[n - 2] + tn) / 3.0;
    }
  } else if (periodic && !odd && n == s + 1) {
    for (int32_t j = 1; j <= n - 2; ++j) knots[k - 1 + j] = pars[j];
  } else {
    for (int32_t j = 1; j < s; ++j) {
      const double x = static_cast<double>(j) * (n - 1) / s;
      int32_t i = static_cast<int32_t>(x);
      if (i > n - 2) i = n - 2;
      const double a = x - i;
      knots[k - 1 + j] = (1.0 - a) * pars[i] + a * pars[i + 1];
    }
    if (periodic_odd) {
      // Parameters at the middles of the spans: every knot moves back by half of
      // its span, the domain keeps its length.
      const double half_last = 0.5 * (knots[last] - knots[last - 1]);
      for (int32_t i = last; i >= k; --i) knots[i] = 0.5 * (knots[i] + knots[i - 1]);
      knots[k - 1] -= half_last;
    }
  }
  if (periodic) {
    // Wrapped last, once the domain knots are final, so the vector is periodic.
    const double len = knots[last] - knots[k - 1];
    for (int32_t j = 0; j <= k - 2; ++j) {
      knots[k - 2 - j] = knots[k - 2 + s - j] - len;
      knots[k + s + j] = knots[k + j] + len;
    }
  } else {
    for (int32_t j = 0; j < k - 1; ++j) {
      knots[j] = t0;
      knots[last + 1 + j] = tn;
    }
  }
  if (!(knots[k] - knots[k - 1] >= ktol) || !(knots[last] - knots[last - 1] >= ktol)) return BSFAIL;
  // Interpolated parameters closer than the tolerance (coincident points) would
  // give two equations for one position.
  if (interpolating || n == s + 1)
    for (int32_t i = 0; i + 1 < n; ++i)
      if (!(pars[i + 1] - pars[i] >= ktol)) return BSFAIL;
  const int32_t m = count - k;
  if (periodic_odd) {
    parameter_spans(k, m, n - 1, pars, knots, spans);
    spans[n - 1] = m - 1;  // beyond the domain end: the wrapped image of the first point
  } else {
    parameter_spans(k, m, n, pars, knots, spans);
  }
  *num_knots = count;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

// place_fit_knots into scratch; the caller's arrays are written only on success.
BSrc place_knots_committed(int k, bool periodic, double ktol, int32_t s, int32_t n,
                           const double *pars, int32_t *num_knots, double *knots, int32_t *spans) {
  const std::size_t nk = static_cast<std::size_t>(s) + 2 * k - 1;
  ScratchBuffer buf(nk * sizeof(double) + static_cast<std::size_t>(n) * sizeof(int32_t));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *t = buf.as<double>();
  int32_t *sp = reinterpret_cast<int32_t *>(t + nk), count = 0;
  const BSrc rc = place_fit_knots(k, periodic, ktol, s, n, pars, &count, t, sp);
  if (rc != BSSUCC) return rc;
  std::copy(t, t + count, knots);
  std::copy(sp, sp + n, spans);
  *num_knots = count;
  return BSSUCC;
}

}  // namespace

extern "C" {

KW_API void BScumdstopt(int32_t n, const double *points, const double *weights, int32_t stride,
                        int32_t dim, int32_t *mode, double *dists, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (points == nullptr || mode == nullptr || dists == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 2 || dim < 1 || stride < dim || *mode < 0 || *mode > 2) {
    *rc = BSINARG;
    return;
  }
  if (!all_finite(points, static_cast<std::size_t>(n) * stride) ||
      (weights != nullptr && !all_finite(weights, n))) {
    *rc = BSINARG;
    return;
  }
  if (weights != nullptr)
    for (int32_t i = 0; i < n; ++i)
      if (!(weights[i] != 0.0)) {
        *rc = BSBADWEIGHT;
        return;
      }
  cumulative_chords(n, points, weights, stride, dim, mode, dists);
}

KW_API void BSavgprsfft(int32_t num_sets, int32_t n, const double *points, const double *weights,
                        int32_t stride, int32_t dim, int16_t order, double *average, double *pars,
                        BSrc *rc) {
  KW_EPILOGUE(rc);
  if (points == nullptr || average == nullptr || pars == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (num_sets < 1 || n < 2 || dim < 1 || stride < dim || order < 2) {
    *rc = BSINARG;
    return;
  }
  const std::size_t total = static_cast<std::size_t>(num_sets) * n;
  if (!all_finite(points, total * stride) || (weights != nullptr && !all_finite(weights, total))) {
    *rc = BSINARG;
    return;
  }
  if (weights != nullptr)
    for (std::size_t i = 0; i < total; ++i)
      if (!(weights[i] != 0.0)) {
        *rc = BSBADWEIGHT;
        return;
      }
  *rc = average_parameters(num_sets, n, points, weights, stride, dim, average, pars);
}

KW_API void BSkts_f_fit(int16_t order, BSboolean periodic, int32_t method, double knot_tol,
                        int32_t spans, int32_t n, const double *pars, int32_t *num_knots,
                        double *knots, int32_t *span_index, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (pars == nullptr || num_knots == nullptr || knots == nullptr || span_index == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (method != 4 || order < 2 || order > kMaxFitOrder || spans < 1 || n < 2 ||
      !(knot_tol >= 0.0) || !std::isfinite(knot_tol)) {
    *rc = BSINARG;
    return;
  }
  for (int32_t i = 0; i < n; ++i)
    if (!std::isfinite(pars[i]) || (i > 0 && pars[i] < pars[i - 1])) {
      *rc = BSINARG;
      return;
    }
  *rc = place_knots_committed(order, periodic != 0, knot_tol, spans, n, pars, num_knots, knots,
                              span_index);
}

KW_API void BSktsprsfft(int32_t n, const double *points, const double *weights, int16_t order,
                        BSboolean periodic, int32_t spans, BSboolean skip_pars,
                        BSboolean skip_knots, BSboolean skip_spans, double *pars,
                        int32_t *num_knots, double *knots, int32_t *span_index, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (pars == nullptr || num_knots == nullptr || knots == nullptr || span_index == nullptr ||
      (!skip_pars && points == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 2 || order < 2 || order > kMaxFitOrder || spans < 1) {
    *rc = BSINARG;
    return;
  }
  double ktol = tol().knot_tol;
  ScratchBuffer buf(static_cast<std::size_t>(n) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *t = buf.as<double>();
  if (!skip_pars) {
    if (!all_finite(points, static_cast<std::size_t>(n) * 3) ||
        (weights != nullptr && !all_finite(weights, n))) {
      *rc = BSINARG;
      return;
    }
    double average = 0.0;
    *rc = average_parameters(1, n, points, weights, 3, 3, &average, t);
    if (*rc != BSSUCC) return;
    ktol = tol().knot_tol / std::max(average, 0.001);
  } else {
    std::copy(pars, pars + n, t);
  }
  for (int32_t i = 0; i < n; ++i)
    if (!std::isfinite(t[i]) || (i > 0 && t[i] < t[i - 1])) {
      *rc = BSINARG;
      return;
    }
  if (!skip_knots) {
    *rc = place_knots_committed(order, periodic != 0, ktol, spans, n, t, num_knots, knots,
                                span_index);
    if (*rc == BSSUCC) std::copy(t, t + n, pars);
  } else if (!skip_spans) {
    const int32_t m = *num_knots - order;
    if (m < order) {
      *rc = BSINARG;
      return;
    }
    parameter_spans(order, m, n, pars, knots, span_index);
  }
}

KW_API void BSftmatsz(BSboolean rational, int32_t n, int32_t m, int16_t order, BSboolean periodic,
                      int32_t mode, int32_t *rows, int32_t *cols, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (rows == nullptr || cols == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 2 || order < 2 || m < order || mode < 0 || mode > 4) {
    *rc = BSINARG;
    return;
  }
  if (periodic) {
    *rows = n - 1;
    *cols = m - (order - 1);
  } else {
    *cols = order;
    *rows = (rational || mode == 0) ? n : n - 2;
  }
}

}  // extern "C"
