// Degree elevation of a curve without change of shape, and the knot vector of the
// elevated curve.
#include <algorithm>
#include <cmath>

#include "bspline/bezier.hpp"
#include "bspline/insert.hpp"
#include "bspline/kernel.hpp"
#include "bspline/knots.hpp"
#include "records/curve_check.hpp"

namespace knotwork {

namespace {

// Highest degree BSupthedeg raises to: the work grows like the degree to the 2.5th
// power, and higher degrees have no use in geometry.
constexpr int kMaxElevatedDegree = 255;

// Distinct knots of the p + m + 2 knots (BSgetmult with the current knot_tol):
// values and multiplicities (room for p + m + 2 each); returns the count.
int32_t distinct_knots(int p, int32_t m, const double *knots, double *values, int32_t *mults) {
  BSrc rc = BSSUCC;
  const int16_t order = static_cast<int16_t>(p + 1);
  int32_t distinct = 0;
  BSgetmult(&rc, &order, &m, knots, &distinct, values, mults);
  return distinct;
}

// Every distinct value written (multiplicity + raise) times; returns the count.
int32_t write_raised_knots(int32_t distinct, const double *values, const int32_t *mults, int raise,
                           double *out) {
  int32_t w = 0;
  for (int32_t i = 0; i < distinct; ++i) {
    for (int32_t c = 0; c < mults[i] + raise; ++c) out[w++] = values[i];
  }
  return w;
}

}  // namespace

BSrc elevated_knot_vector(int p, int32_t m, int q, const double *knots, double *out,
                          int32_t *written) {
  const int32_t total = p + m + 2;
  BasicScratchBuffer<35 * (sizeof(double) + sizeof(int32_t)) + 8> buf(
      static_cast<std::size_t>(total) * (sizeof(double) + sizeof(int32_t)));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *values = buf.as<double>();
  int32_t *mults = reinterpret_cast<int32_t *>(values + total);
  const int32_t distinct = distinct_knots(p, m, knots, values, mults);
  *written = write_raised_knots(distinct, values, mults, q - p, out);
  return BSSUCC;
}

namespace {

// Upper bound of the knot count of the elevated vector.
std::size_t elevated_knot_bound(int p, int32_t m, int q) {
  return static_cast<std::size_t>(q - p + 1) * static_cast<std::size_t>(p + m + 2);
}

// Where the polar form of new pole i is expanded: the midpoint of the longest
// non-empty new span j in i .. i+q (the spans whose piece pole i shapes) within
// the domain. Any of those pieces gives the same pole; expanding in the middle of
// the longest one keeps the knot differences in the sum small against the span,
// which keeps the sum accurate at high degrees and with uneven knots (expanding at
// an end knot t'[i+q] loses up to five digits at degree 15).
double expansion_point(int q, int32_t n2, const double *tnew, int32_t i) {
  int32_t best = -1;
  double longest = 0.0;
  for (int32_t j = std::max<int32_t>(i, q); j <= std::min<int32_t>(i + q, n2 - 1); ++j) {
    const double len = tnew[j + 1] - tnew[j];
    if (len > longest) {
      longest = len;
      best = j;
    }
  }
  return best >= 0 ? 0.5 * (tnew[best] + tnew[best + 1]) : tnew[i + q];
}

// New poles of the elevated curve: pole i is the polar form of the curve's
// homogeneous polynomial, read as a polynomial of degree q, at the new knots
// t'[i+1] .. t'[i+q]; with the derivatives D^r of the piece at tau
// (expansion_point) it is
//   sum_r (q-r)!/q! e_r(t'[i+1] - tau, ..., t'[i+q] - tau) D^r.
// out: n2 homogeneous poles of 4 values (w x, w y, w z, w; w = 1 when polynomial),
// the lane layout of the evaluation kernel's span loader.
BSrc elevated_poles(const BScurve &cv, int q, const double *tnew, int32_t n2, double *out) {
  constexpr int M = 4;
  const int k = cv.order, p = k - 1;
  const int32_t n = cv.num_poles;
  const double *weights = cv.rational ? cv.weights : nullptr;
  const int top = std::min(q, p);
  SpanWorkspace ws(k, M);
  BasicScratchBuffer<64 * sizeof(double)> buf((2 * static_cast<std::size_t>(q) + 1 + top + 1) *
                                              sizeof(double));
  if (!ws.ok() || !buf.ok()) return BSNOSTKMEMORY;
  double *x = buf.as<double>(), *e = x + q, *coef = e + q + 1;
  // (q - r)! / q! for r = 0 .. top
  coef[0] = 1.0;
  for (int r = 1; r <= top; ++r) coef[r] = coef[r - 1] / static_cast<double>(q - r + 1);
  int32_t span = k - 1, table_span = -1;
  for (int32_t i = 0; i < n2; ++i) {
    const double tau = expansion_point(q, n2, tnew, i);
    span = find_span_hinted(k, n, cv.knots, tau, span);
    if (span < 0) return BSINARG;
    if (span != table_span) {
      const BSrc check =
          span_check_status(span_reciprocals(cv.knots, p, span, tol().zero_tol, ws.inv));
      if (check != BSSUCC) return check;
      table_span = span;
    }
    load_span_poles(cv.poles, weights, p, span, ws.w);
    deboor_derivatives<M>(p, M, cv.knots + (span - p), ws.inv, tau, top, ws.w, ws.tmp, ws.hom);
    for (int j = 0; j < q; ++j) x[j] = tnew[i + 1 + j] - tau;
    elementary_symmetric(q, x, e);
    double *pole = out + static_cast<std::ptrdiff_t>(i) * M;
    for (int c = 0; c < M; ++c) pole[c] = 0.0;
    for (int r = 0; r <= top; ++r) {
      const double f = coef[r] * e[r];
      for (int c = 0; c < M; ++c) pole[c] += f * ws.hom[r * M + c];
    }
  }
  return BSSUCC;
}

}  // namespace

// BSupthedeg on a validated record and q > p: clamps cv in place, then writes the
// elevated curve into *out (reuse) or a new record that replaces *out.
BSrc elevate_degree(BScurve &cv, int q, bool reuse, BScurve **out) {
  clamp_ends(cv, true, true);
  const int k = cv.order, p = k - 1;
  const int32_t n = cv.num_poles;
  const bool rational = cv.rational != 0;
  const int m = 4;
  // The clamped curve starts at its first pole; the elevated one starts there too,
  // so the first pole (and weight) is carried over exactly rather than recomputed.
  double first[4] = {cv.poles[0], cv.poles[1], cv.poles[2], rational ? cv.weights[0] : 1.0};

  // Distinct knots (at the curve knot tolerance) and the new knot vector.
  const int32_t total = n + k;
  ScratchBuffer kbuf(elevated_knot_bound(p, n - 1, q) * sizeof(double) +
                     static_cast<std::size_t>(total) * (sizeof(double) + sizeof(int32_t)));
  if (!kbuf.ok()) return BSNOSTKMEMORY;
  double *tnew = kbuf.as<double>();
  double *values = tnew + elevated_knot_bound(p, n - 1, q);
  int32_t *mults = reinterpret_cast<int32_t *>(values + total);
  int32_t distinct = 0;
  {
    const double ktol =
        curve_knot_tolerance(k, cv.knots, n, cv.poles, rational ? cv.weights : nullptr);
    ToleranceOverride knot_tol(&BSparameters::knot_tol, ktol);
    distinct = distinct_knots(p, n - 1, cv.knots, values, mults);
  }
  const int32_t nknots = write_raised_knots(distinct, values, mults, q - p, tnew);
  const int32_t n2 = nknots - q - 1;
  if (n2 < q + 1) return BSINARG;  // not a curve: knots merged by the tolerance

  ScratchBuffer pbuf(static_cast<std::size_t>(n2) * m * sizeof(double));
  if (!pbuf.ok()) return BSNOSTKMEMORY;
  double *hp = pbuf.as<double>();
  // On a very long or very short domain the polar-form sums would overflow or
  // underflow: the poles, which do not depend on the scale of the parameter, are
  // then computed on both knot vectors mapped affinely onto [0, 1].
  BScurve work = cv;
  const double *twork = tnew;
  const double t0 = cv.knots[k - 1], len = cv.knots[n] - t0;
  if (!std::isfinite(len)) return BSINARG;
  ScratchBuffer sbuf;
  if (len > 1e100 || len < 1e-100) {
    if (!sbuf.acquire(static_cast<std::size_t>(total + nknots) * sizeof(double)))
      return BSNOSTKMEMORY;
    double *sk = sbuf.as<double>(), *st = sk + total;
    for (int32_t i = 0; i < total; ++i) sk[i] = (cv.knots[i] - t0) / len;
    for (int32_t i = 0; i < nknots; ++i) st[i] = (tnew[i] - t0) / len;
    work.knots = sk;
    twork = st;
  }
  const BSrc prc = elevated_poles(work, q, twork, n2, hp);
  if (prc != BSSUCC) return prc;
  for (int c = 0; c < m; ++c) hp[c] = first[c];
  for (std::size_t i = 0; i < static_cast<std::size_t>(n2) * m; ++i)
    if (!std::isfinite(hp[i])) return BSFAIL;  // finite input, no representable result

  BSrc rc = BSSUCC;
  BScurve *target = nullptr;
  if (reuse) {
    target = *out;
    if (target == nullptr) return BSNULLPTR;
  } else {
    BSallocqelcv(static_cast<int16_t>(q + 1), n2, rational ? TRUE : FALSE, 0, &target, &rc);
    if (rc != BSSUCC) return rc;
  }
  if (!BScv_copy(&rc, &cv, target)) {
    if (!reuse) {
      BSrc frc;
      BSfreeqelcv(target, &frc);
    }
    return rc;
  }
  target->order = static_cast<int16_t>(q + 1);
  target->num_poles = n2;
  target->num_knots = nknots;
  target->periodic = 0;
  std::copy(tnew, tnew + nknots, target->knots);
  for (int32_t i = 0; i < n2; ++i) {
    for (int c = 0; c < 3; ++c) target->poles[3 * i + c] = hp[m * i + c];
    if (rational) target->weights[i] = hp[m * i + 3];
  }
  if (!rational) target->weights = nullptr;
  if (!reuse) {
    // The old record goes only now: it may be the input itself.
    if (*out != nullptr) BSfreeqelcv(*out, &rc);
    *out = target;
  }
  return rc;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BSnewktr(int16_t degree, int32_t last, BSboolean keep, int16_t new_degree,
                     double **knots, int32_t *new_last, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (knots == nullptr || *knots == nullptr || new_last == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (degree < 0 || last < degree || new_degree < degree) {
    *rc = BSINARG;
    return;
  }
  const int p = degree, q = new_degree;
  // The new vector is built first so that the array is sized exactly.
  int32_t written = 0;
  ScratchBuffer buf(elevated_knot_bound(p, last, q) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  if ((*rc = elevated_knot_vector(p, last, q, *knots, buf.as<double>(), &written)) != BSSUCC) {
    return;
  }
  if (!keep) {
    // written = (q - p) * (distinct count) + p + last + 2
    const std::size_t size = static_cast<std::size_t>(written) * sizeof(double);
    void *grown = size > INT32_MAX ? nullptr : BSdbgralloc(*knots, static_cast<int32_t>(size));
    if (grown == nullptr) {
      *rc = BSNOMEMORY;
      return;
    }
    *knots = static_cast<double *>(grown);
  }
  std::copy(buf.as<double>(), buf.as<double>() + written, *knots);
  *new_last = written - q - 2;
}

KW_API void BSupthedeg(BScurve *curve, int16_t new_degree, BSboolean reuse, BScurve **out,
                       BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  if (out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  const int p = curve->order - 1;
  if (new_degree < p || new_degree > kMaxElevatedDegree) {
    *rc = BSINARG;
    return;
  }
  if (new_degree == p) return;
  *rc = elevate_degree(*curve, new_degree, reuse != 0, out);
}

}  // extern "C"
