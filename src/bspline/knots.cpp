// Knot vectors and spans: the curve knot tolerance, the three span searches,
// normalisation, distinct knots with multiplicities, C0 knots, chord-length
// knots for interpolation and the node values (Greville abscissae) of the poles.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bspline/knots.hpp"
#include "bspline/kernel.hpp"
#include "frame/frame.hpp"
#include "vector/vec3.hpp"

namespace knotwork {

double curve_knot_tolerance(int32_t k, const double *knots, int32_t n, const double *poles,
                            const double *weights) {
  const auto &p = tol();
  if (tolerance_method() == 1) return p.knot_tol;
  double t = p.basis_tol;
  if (weights != nullptr) {
    for (int32_t i = 0; i < n; ++i)
      if (weights[i] == 0.0 || std::isnan(weights[i])) return t;  // the polygon has no length
  }
  double length = 0.0;
  for (int32_t i = 1; i < n; ++i) {
    if (weights == nullptr) {
      length += v3::dist(poles + 3 * (i - 1), poles + 3 * i);
    } else {
      double a[3], b[3];
      v3::scale(poles + 3 * (i - 1), 1.0 / weights[i - 1], a);
      v3::scale(poles + 3 * i, 1.0 / weights[i], b);
      length += v3::dist(a, b);
    }
  }
  if (length < 0.001) length = 0.001;
  t = t / length * (knots[n] - knots[k - 1]);
  for (int32_t i = k; i <= n; ++i) {
    const double d = std::fabs(knots[i] - knots[i - 1]);
    if (d < t && d > p.zero_tol) t = 0.1 * d;
  }
  return t;
}

int32_t c0_knots(int32_t k, int32_t n, const double *knots, double tolerance, double *values,
                 int32_t *pole_counts) {
  int32_t count = 0;
  // Order 1 has no knot of multiplicity k - 1 = 0 (and its last knot is knots[n]).
  if (n == k || k < 2) return 0;
  int32_t run = 1;
  for (int32_t i = k; i <= n; ++i) {
    if (std::fabs(knots[i + 1] - knots[i]) >= tolerance) {
      if (run == k - 1) {
        values[count] = knots[i];
        pole_counts[count] = i - k + 2;
        ++count;
      }
      run = 1;
    } else {
      ++run;
    }
  }
  return count;
}

BSrc node_values(int32_t k, int32_t num_knots, const double *knots, int32_t r, int32_t *count,
                 double *values) {
  const int32_t n = num_knots - k;
  if (k < 2 || n < 1 || r < 0) return BSINARG;
  const double ktol = tol().knot_tol;
  BasicScratchBuffer<100 * sizeof(double) + 1> gbuf(static_cast<std::size_t>(n) * sizeof(double));
  if (!gbuf.ok()) return BSNOSTKMEMORY;
  double *g = gbuf.as<double>();
  for (int32_t i = 0; i < n; ++i) {
    double sum = 0.0;
    for (int32_t j = 1; j < k; ++j) sum += knots[i + j];
    g[i] = sum / (k - 1);
  }
  if (n != k) {
    BasicScratchBuffer<100 * sizeof(double) + 1> vbuf(num_knots * sizeof(double));
    BasicScratchBuffer<100 * sizeof(int32_t) + 1> pbuf(num_knots * sizeof(int32_t));
    if (!vbuf.ok() || !pbuf.ok()) return BSNOSTKMEMORY;
    const int32_t listed = c0_knots(k, n, knots, k * ktol, vbuf.as<double>(), pbuf.as<int32_t>());
    const int32_t *pc = pbuf.as<int32_t>();
    int32_t next = 0;
    for (int32_t i = 0; i < n && next < listed; ++i) {
      if (i + 1 == pc[next] && std::fabs(g[i] - knots[i + 1]) < ktol) {
        g[i] = knots[i + 1];
        ++next;
      }
    }
  }
  if (std::fabs(g[0] - knots[k - 1]) < ktol) g[0] = knots[k - 1];
  if (std::fabs(g[n - 1] - knots[n]) < ktol) g[n - 1] = knots[n];
  int32_t c = 0;
  values[c++] = g[0];
  for (int32_t j = 0; j + 1 < n; ++j) {
    const double step = (g[j + 1] - g[j]) / (r + 1);
    for (int32_t q = 1; q <= r; ++q) values[c++] = g[j] + q * step;
    values[c++] = g[j + 1];
  }
  *count = c;
  return BSSUCC;
}

namespace {

// Removes values[0..first) and keeps [first, last) at the front; returns the new count.
int32_t keep_range(double *values, int32_t first, int32_t last) {
  if (last <= first) return 0;
  std::memmove(values, values + first, static_cast<std::size_t>(last - first) * sizeof(double));
  return last - first;
}

// Puts a in front of the count values and b behind them.
int32_t enclose(double *values, int32_t count, double a, double b) {
  std::memmove(values + 1, values, static_cast<std::size_t>(count) * sizeof(double));
  values[0] = a;
  values[count + 1] = b;
  return count + 2;
}

}  // namespace

BSrc node_values_in_range(int32_t k, bool trim, int32_t num_knots, const double *knots, int32_t r,
                          double e, bool clip, const double *range, int32_t *count,
                          double *values) {
  int32_t c = 0;
  const BSrc st = node_values(k, num_knots, knots, r, &c, values);
  if (st != BSSUCC) return st;
  const int32_t n = num_knots - k;
  if (trim) {
    const double lo = knots[k - 1], hi = knots[n];
    int32_t first = 0, last = c;
    while (first < last && values[first] < lo) ++first;
    while (last > first && values[last - 1] > hi) --last;
    c = keep_range(values, first, last);
    if (k % 2 == 1) c = enclose(values, c, lo, hi);
  }
  if (clip) {
    const double a = range[0], b = range[1];
    int32_t first = 0, last = c;
    while (first < last && values[first] <= a + e) ++first;
    while (last > first && values[last - 1] >= b - e) --last;
    c = keep_range(values, first, last);
    c = enclose(values, c, a, b);
  }
  *count = c;
  return BSSUCC;
}

BSrc normalise_knots(int32_t k, int32_t n, double *knots) {
  const double shift = knots[k - 1];
  for (int32_t i = 0; i < n + k; ++i) knots[i] -= shift;
  const double range = knots[n];
  const double zt = tol().zero_tol;
  if (std::fabs(range) < zt * zt || !std::isfinite(range)) return BSINARG;
  for (int32_t i = 0; i < n + k; ++i) knots[i] /= range;
  return BSSUCC;
}

BSrc chord_length_knots(int32_t n, const double *points, int32_t k, bool periodic, double *knots) {
  if (k < 2 || n < k) return BSINARG;
  const int32_t p = k - 1;
  if (n == k) {
    for (int32_t i = 0; i < 2 * n; ++i)
      knots[i] = periodic ? static_cast<double>(i - p) : (i < k ? 0.0 : 1.0);
    return BSSUCC;
  }
  ScratchBuffer buf(static_cast<std::size_t>(n) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *d = buf.as<double>();  // d[i]: chord from point i-1 to point i
  const double dtol = tol().dist_tol;
  d[0] = 0.0;
  for (int32_t i = 1; i < n; ++i) {
    const double *a = points + 3 * (i - 1), *b = points + 3 * i;
    d[i] = std::hypot(b[0] - a[0], b[1] - a[1], b[2] - a[2]);  // no overflow for far points
    if (d[i] < dtol) d[i] = 2.0 * dtol;
  }
  if (!periodic) {
    for (int32_t i = 0; i < k; ++i) knots[i] = 0.0;
    double acc = 0.0;  // running chord parameter t(j)
    if (k % 2 == 0) {
      const int32_t h = k / 2;
      int32_t j = 0;
      for (int32_t q = 1; q <= h; ++q) acc += d[q];
      for (; j < n - k; ++j) {
        if (j > 0) acc += d[h + j];
        knots[k + j] = acc;
      }
      for (int32_t m = h + (n - k); m <= n - 1; ++m) acc += d[m];
    } else {
      const int32_t h = p / 2;
      for (int32_t q = 1; q <= h; ++q) acc += d[q];
      acc += d[h + 1] / 2;
      knots[k] = acc;
      for (int32_t j = 1; j < n - k; ++j) {
        acc += (d[h + j] + d[h + j + 1]) / 2;
        knots[k + j] = acc;
      }
      acc += d[h + n - k] / 2;
      for (int32_t m = h + n - k + 1; m <= n - 1; ++m) acc += d[m];
    }
    for (int32_t i = n; i < n + k; ++i) knots[i] = acc;
  } else {
    knots[p] = 0.0;
    if (k % 2 == 0) {
      knots[k] = d[k / 2];
      for (int32_t i = k + 1; i <= n; ++i) knots[i] = knots[i - 1] + d[k / 2 + i - k];
    } else {
      knots[k] = (d[p / 2] + d[p / 2 + 1]) / 2;
      for (int32_t i = k + 1; i <= n; ++i) {
        const int32_t m = (k + 1) / 2 + (i - k - 1);
        knots[i] = knots[i - 1] + (d[m] + d[m + 1]) / 2;
      }
    }
    for (int32_t j = 0; j < p; ++j) {
      knots[p - 1 - j] = knots[p] - (knots[n] - knots[n - 1 - j]);
      knots[n + 1 + j] = knots[n] + (knots[p + 1 + j] - knots[p]);
    }
  }
  return normalise_knots(k, n, knots);
}

}  // namespace knotwork

namespace {

// A knot vector's order and pole count as the span routines need them: order at
// least 1 and at least as many poles as the order (the vector holds n + k knots).
bool order_and_count_ok(int32_t k, int32_t n) {
  return k >= 1 && n >= k;
}

}  // namespace

using namespace knotwork;

extern "C" {

KW_API void BScvkttol2(int16_t order, const double *knots, int32_t num_poles, const double *poles,
                       const double *weights, double *tolerance, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (!order_and_count_ok(order, num_poles)) {
    *rc = BSINARG;
    return;
  }
  *tolerance = curve_knot_tolerance(order, knots, num_poles, poles, weights);
}

KW_API BSboolean BSfindspn(BSrc *rc, const int16_t *order, const int32_t *num_poles,
                           const double *knots, const double *u, int32_t *span) {
  *rc = BSSUCC;
  if (!order_and_count_ok(*order, *num_poles)) {
    *rc = BSINARG;
    return FALSE;
  }
  const int32_t s = find_span_hinted(*order, *num_poles, knots, *u, *span);
  if (s < 0) return FALSE;
  *span = s;
  return TRUE;
}

KW_API void BSfindspnr(int16_t order, int32_t num_poles, const double *knots, double u,
                       int32_t *right, BSrc *rc) {
  *rc = BSSUCC;
  if (!order_and_count_ok(order, num_poles)) {
    *rc = BSINARG;
    return;
  }
  *right = find_right_knot(order, num_poles, knots, u);
}

KW_API void BSfndspnarr(int16_t order, int32_t num_poles, int32_t count, const double *pars,
                        const double *knots, int32_t *spans, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (!order_and_count_ok(order, num_poles) || count < 0) {
    *rc = BSINARG;
    return;
  }
  if (count == 0) return;
  int32_t s = find_span_left_closed(order, num_poles, knots, pars[0]);
  spans[0] = s;
  for (int32_t i = 1; i < count; ++i) {
    s = advance_span(num_poles, knots, pars[i], pars[i] < knots[s] ? order - 1 : s);
    spans[i] = s;
  }
}

KW_API BSboolean BSnorkts(BSrc *rc, const int16_t *order, const int32_t *num_poles, double *knots) {
  KW_EPILOGUE(rc);
  if (!order_and_count_ok(*order, *num_poles)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  *rc = normalise_knots(*order, *num_poles, knots);
  return KW_FINISH(*rc == BSSUCC);
}

KW_API BSboolean BSgetmult(BSrc *rc, const int16_t *order, const int32_t *count,
                           const double *knots, int32_t *num_distinct, double *values,
                           int32_t *mults) {
  KW_EPILOGUE(rc);
  const double ktol = tol().knot_tol;
  const int32_t last = *order + *count;  // knots[0..last]
  int32_t c = 0;
  values[0] = knots[0];
  mults[0] = 1;
  for (int32_t i = 0; i < last; ++i) {
    if (std::fabs(knots[i] - knots[i + 1]) <= ktol) {
      ++mults[c];
    } else {
      ++c;
      values[c] = knots[i + 1];
      mults[c] = 1;
    }
  }
  *num_distinct = c + 1;
  return KW_FINISH(TRUE);
}

KW_API BSboolean BSfindmkts(BSrc *rc, const int16_t *order, const int32_t *num_poles,
                            const double *knots, const double *tolerance, int32_t *count,
                            double *values, int32_t *pole_counts) {
  KW_EPILOGUE(rc);
  if (!order_and_count_ok(*order, *num_poles)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  *count = c0_knots(*order, *num_poles, knots, *tolerance, values, pole_counts);
  return KW_FINISH(TRUE);
}

KW_API BSboolean BSchrdlkts(BSrc *rc, const int32_t *num_points, const double *points,
                            const int16_t *order, const BSboolean *periodic, double *knots) {
  KW_EPILOGUE(rc);
  *rc = chord_length_knots(*num_points, points, *order, *periodic != 0, knots);
  return KW_FINISH(*rc == BSSUCC);
}

KW_API void BSnodevals(int16_t order, int32_t num_knots, const double *knots, int32_t r,
                       int32_t *count, double *values, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = node_values(order, num_knots, knots, r, count, values);
}

KW_API void BSnodvalrg(int16_t order, BSboolean trim, int32_t num_knots, const double *knots,
                       int32_t r, double tolerance, BSboolean clip, const double *range,
                       int32_t *count, double *values, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = node_values_in_range(order, trim != 0, num_knots, knots, r, tolerance, clip != 0, range,
                             count, values);
}

}  // extern "C"
