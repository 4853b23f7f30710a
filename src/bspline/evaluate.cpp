// Curve evaluation: the main evaluator, the span evaluators, the two-sided
// evaluator at knots, the array-form evaluators, the quotient rule, the sweeps
// over ascending parameters, weighting, the plane normal and the local parameter
// tolerance. All of them run on the kernels of kernel.hpp.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "bspline/kernel.hpp"
#include "frame/frame.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {

namespace {

constexpr double kTinyPositive = std::numeric_limits<double>::min();
// Derivative counts beyond this are refused (their outputs could not be addressed).
constexpr int32_t kMaxDerivatives = 1 << 24;

// A derived result (lengths, curvatures, tolerances) with a NaN or infinite value
// is a failure, never a success: O(values written), no scan of the record.
BSrc finite_or_inarg(const double *v, std::ptrdiff_t count) {
  bool finite = true;  // independent tests, no early exit: no chain and no branches
  for (std::ptrdiff_t i = 0; i < count; ++i) finite &= std::isfinite(v[i]);
  return finite ? BSSUCC : BSINARG;
}

// Runs eval(dst) for a result of `count` doubles meant for out. A small result
// goes through a local buffer, so that one that is not finite (an extrapolation or
// derivative that overflows on finite input) fails with -2 and leaves out untouched;
// a large one is written in place and checked. Other failures leave what the
// evaluation wrote (its zeroed outputs).
template <class Eval>
BSrc finite_result(std::ptrdiff_t count, double *out, Eval eval) {
  double local[64];
  double *dst = count <= 64 ? local : out;
  const BSrc rc = eval(dst);
  if (rc == BSSUCC && finite_or_inarg(dst, count) != BSSUCC) return BSINARG;
  if (dst != out) std::copy(dst, dst + count, out);
  return rc;
}

constexpr BinomialTable make_binomials() {
  BinomialTable t{};
  for (int n = 0; n < kBinomialRows; ++n) {
    t.v[n][0] = 1.0;
    for (int i = 1; i <= n; ++i) t.v[n][i] = t.v[n - 1][i - 1] + (i < n ? t.v[n - 1][i] : 0.0);
  }
  return t;
}

}  // namespace

// Row 56 is the last row of Pascal's triangle below 2^53, so every entry is exact.
constinit const BinomialTable kBinomials = make_binomials();

double binomial_large(int n, int i) {
  if (i < 0 || i > n) return 0.0;
  if (i > n - i) i = n - i;
  long double r = 1.0L;
  for (int q = 1; q <= i; ++q) r = r * static_cast<long double>(n - i + q) / q;
  return static_cast<double>(std::nearbyintl(r));
}

// ---- The main evaluator -------------------------------------------------------

// Span of u for the main evaluator: the right-closed span (left-hand limits at
// interior knots), the end spans outside the domain.
// No hint: parameters in random order would mispredict its tests.
int32_t curve_span(const BScurve &cv, double u) {
  const int32_t k = cv.order, n = cv.num_poles;
  if (k == n) return k - 1;
  const int32_t s =
      find_span_hinted(k, n, cv.knots, u, -1, cv.poles, cv.rational ? cv.weights : nullptr);
  return s < 0 ? k - 1 : s;
}

// Point and d derivatives of the curve at u (out: d+1 triples).
BSrc evaluate_curve(const BScurve &cv, double u, int32_t d, double *out) {
  const int32_t s = curve_span(cv, u);
  const double zt = tol().zero_tol;
  const double tiny = d == 0 ? zt * zt : d == 1 ? zt : kTinyPositive;
  return evaluate_curve_span(cv.order, cv.poles, cv.rational ? cv.weights : nullptr, cv.knots, s, u,
                             d, tiny, out);
}

// The main evaluator for degree P and D <= 2 derivatives, status included:
// evaluate_curve's arithmetic under finite_result's rules (a non-finite result is
// BSINARG with out untouched, another failure zeroes out) in fixed local arrays,
// the reciprocals formed two at a time, everything inlined (values in registers).
template <int P, int D>
[[gnu::flatten]] BSrc evaluate_curve_fixed(const BScurve &cv, double u, double *out) {
  constexpr int kValues = 3 * (D + 1), kRows = (D < P ? D : P) + 1;
  const int32_t s = curve_span(cv, u);
  const double zt = tol().zero_tol;
  const double tiny = D == 0 ? zt * zt : D == 1 ? zt : kTinyPositive;
  const double *weights = cv.rational ? cv.weights : nullptr;
  double inv[span_table_size(P)];
  BSrc st = span_check_status(span_reciprocals_fixed<P>(cv.knots, s, tiny, inv));
  double res[kValues] = {};
  if (st == BSSUCC) {
    double hom[4 * kRows];
    double origin[3] = {0.0, 0.0, 0.0};
    deboor_span_fixed<P>(cv.poles, weights, s, cv.knots + (s - P), inv, u, D, hom,
                         D > 0 ? origin : nullptr);
    if (weights == nullptr) {
      for (int j = 0; j < kRows; ++j)
        for (int c = 0; c < 3; ++c) res[3 * j + c] = hom[4 * j + c];
    } else if (!rational_derivatives(3, kRows, D, hom, res)) {
      st = BSFAIL;
    }
    if (st == BSSUCC) {
      if (D > 0)
        for (int c = 0; c < 3; ++c) res[c] += origin[c];
      if (finite_or_inarg(res, kValues) != BSSUCC) return BSINARG;
    }
  }
  for (int i = 0; i < kValues; ++i) out[i] = res[i];
  return st;
}

// evaluate_curve_fixed<P, d> for degrees 1..5 and d <= 2; false otherwise.
template <int P>
bool evaluate_curve_fast_p(const BScurve &cv, double u, int32_t d, double *out, BSrc &rc) {
  switch (d) {
    case 0:
      rc = evaluate_curve_fixed<P, 0>(cv, u, out);
      return true;
    case 1:
      rc = evaluate_curve_fixed<P, 1>(cv, u, out);
      return true;
    case 2:
      rc = evaluate_curve_fixed<P, 2>(cv, u, out);
      return true;
    default:
      return false;
  }
}

bool evaluate_curve_fast(const BScurve &cv, double u, int32_t d, double *out, BSrc &rc) {
  switch (cv.order) {
    case 2:
      return evaluate_curve_fast_p<1>(cv, u, d, out, rc);
    case 3:
      return evaluate_curve_fast_p<2>(cv, u, d, out, rc);
    case 4:
      return evaluate_curve_fast_p<3>(cv, u, d, out, rc);
    case 5:
      return evaluate_curve_fast_p<4>(cv, u, d, out, rc);
    case 6:
      return evaluate_curve_fast_p<5>(cv, u, d, out, rc);
    default:
      return false;
  }
}

// ---- Array-form evaluation ----------------------------------------------------

// Point and d derivatives of an array-form curve (m coordinate-major rows of n
// values) at u; out receives d+1 rows of m values. With derivatives the triangle
// runs on the span's values relative to its first pole (accuracy independent of
// the curve's position). When `origin` is given the last row holds weights and
// the first m-1 weighted coordinates: the output is then the homogeneous curve
// moved by -origin (m-1 values written, zero for points alone); otherwise every
// row is moved by a constant that is added back to the point.
BSrc evaluate_rows(int32_t p, int32_t n, int32_t m, const double *rows, const double *knots,
                   double u, int32_t span, int32_t d, double *out, double *origin = nullptr) {
  const std::ptrdiff_t total = static_cast<std::ptrdiff_t>(d + 1) * m;
  std::fill(out, out + total, 0.0);
  if (p < 0) return BSSUCC;
  const int32_t k = p + 1;
  int32_t s = span;
  if (d == 0) {
    s = find_right_knot(k, n, knots, u) - 1;
  } else if (s < 0) {
    s = k == n ? k - 1 : find_span_hinted(k, n, knots, u, k - 1);
    if (s < 0) return BSINARG;
  }
  SpanWorkspace ws(k, m);
  if (!ws.ok()) return BSNOSTKMEMORY;
  const BSrc st = span_check_status(span_reciprocals(knots, p, s, kTinyPositive, ws.inv));
  if (st != BSSUCC) return st;
  for (int q = 0; q <= p; ++q)
    for (int c = 0; c < m; ++c)
      ws.w[q * m + c] = rows[static_cast<std::ptrdiff_t>(c) * n + s - p + q];
  const bool shift = d > 0;
  double *shifts = ws.hom;  // k rows of m values, unused otherwise
  if (origin != nullptr) {
    const int dim = m - 1;
    for (int c = 0; c < dim; ++c) origin[c] = 0.0;
    if (shift) {
      span_origin_rows(ws.w, dim, origin);
      for (int q = 0; q <= p; ++q)
        for (int c = 0; c < dim; ++c) ws.w[q * m + c] -= origin[c] * ws.w[q * m + dim];
    }
  } else if (shift) {
    // the centre of the values' range: no moved value exceeds the largest one
    for (int c = 0; c < m; ++c) {
      double lo = ws.w[c], hi = lo;
      for (int q = 1; q <= p; ++q) {
        lo = std::min(lo, ws.w[q * m + c]);
        hi = std::max(hi, ws.w[q * m + c]);
      }
      shifts[c] = 0.5 * lo + 0.5 * hi;
    }
    for (int q = 0; q <= p; ++q)
      for (int c = 0; c < m; ++c) ws.w[q * m + c] -= shifts[c];
  }
  deboor_derivatives<0>(p, m, knots + (s - p), ws.inv, u, d, ws.w, ws.tmp, out);
  if (origin == nullptr && shift)
    for (int c = 0; c < m; ++c) out[c] += shifts[c];
  return BSSUCC;
}

// ---- Curvature comb ---------------------------------------------------------------

BSrc curvature_comb(BScurve &cv, int32_t count, const double *pars, double length, double *curv,
                    double *radii, double *out) {
  if (cv.order == 2) return BSINARG;
  if (!cv.rational) cv.weights = nullptr;
  if (count <= 0) return BSSUCC;
  ScratchBuffer buf(static_cast<std::size_t>(count) * 4 * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *norms = buf.as<double>();
  double *dirs = norms + count;
  const double zt = tol().zero_tol;
  CurveSweep sweep(cv.order, cv.num_poles, cv.poles, cv.weights, cv.knots, zt);
  if (!sweep.ok()) return BSNOSTKMEMORY;
  sweep.start(pars[0], true);
  double largest = -1.0;
  for (int32_t i = 0; i < count; ++i) {
    double e[9];
    if (!std::isfinite(pars[i])) return BSINARG;
    const BSrc st = sweep.eval(pars[i], 2, e);
    if (st != BSSUCC) return st;
    if (finite_or_inarg(e, 9) != BSSUCC) return BSINARG;
    v3::copy(e, out + 6 * i);
    const double *d1 = e + 3, *d2 = e + 6;
    double kappa, radius = -1.0;
    norms[i] = 0.0;
    if (v3::len(d2) < zt) {
      kappa = 0.0;
    } else if (v3::len(d1) < zt) {
      kappa = -1.0;
    } else {
      // |d1 x d2| / |d1|^3 with d1 scaled to unit length first, so that large
      // derivatives give a small curvature rather than inf / inf.
      const double l1 = std::hypot(d1[0], d1[1], d1[2]);
      double t[3], b[3];
      v3::scale(d1, 1.0 / l1, t);
      v3::cross(t, d2, b);
      kappa = std::hypot(b[0], b[1], b[2]) / l1 / l1;
      if (kappa > zt) radius = 1.0 / kappa;
      double *dir = dirs + 3 * i;
      v3::cross(b, t, dir);  // towards the centre, like (d1 x d2) x d1
      norms[i] = std::hypot(dir[0], dir[1], dir[2]);
    }
    curv[i] = kappa;
    radii[i] = radius;
    largest = std::max(largest, radius);
  }
  if (largest == -1.0) return BSSUCC;
  const double scale = largest < length ? 1.0 : length / largest;
  for (int32_t i = 0; i < count; ++i) {
    if (radii[i] == -1.0) continue;
    v3::axpy(out + 6 * i, radii[i] * scale / norms[i], dirs + 3 * i, out + 6 * i + 3);
  }
  return BSSUCC;
}

// ---- Plane of the poles -----------------------------------------------------------

// Unit normal of the plane through the curve's poles (geometric poles for a
// rational curve): BSCOLLIN when they span no plane or do not lie in one.
BSrc curve_plane_normal(const BScurve &cv, double *normal) {
  const int32_t n = cv.num_poles;
  if (n < 3) return BSCOLLIN;
  int32_t cls = 0;
  const BSrc rc =
      classify_weighted_points(n, cv.poles, cv.rational ? cv.weights : nullptr, &cls, normal);
  if (rc != BSSUCC) return rc;
  return cls == kClassPlane ? BSSUCC : BSCOLLIN;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

// Shared body of BScveval0/1/2: the span check threshold of the basis recurrence
// (zero_tol squared for points, zero_tol with derivatives) and the evaluation.
void span_eval(BSrc *rc, int16_t order, const double *poles, const double *weights,
               const double *knots, int32_t span, double u, int d, double *out) {
  const double zt = tol().zero_tol;
  *rc = finite_result(3 * (d + 1), out, [&](double *dst) {
    return evaluate_curve_span(order, poles, weights, knots, span, u, d, d == 0 ? zt * zt : zt,
                               dst);
  });
}

// Points of a curve at ascending parameters: triples, or homogeneous quadruples
// (w x, w y, w z, w) when `homogeneous`.
BSrc sweep_points(const BScurve &cv, const double *pars, int32_t count, bool homogeneous,
                  double *out) {
  if (count <= 0) return BSSUCC;
  CurveSweep sweep(cv.order, cv.num_poles, cv.poles, cv.rational ? cv.weights : nullptr, cv.knots,
                   kTinyPositive);
  if (!sweep.ok()) return BSNOSTKMEMORY;
  sweep.start(pars[0], false);
  if (!homogeneous) return sweep.eval_run<0>(pars, count, out);
  for (int32_t i = 0; i < count; ++i) {
    if (!std::isfinite(pars[i])) return BSINARG;
    const int m = homogeneous ? 4 : 3;
    const BSrc rc = finite_result(m, out + m * static_cast<std::ptrdiff_t>(i), [&](double *dst) {
      return homogeneous ? sweep.eval_homogeneous(pars[i], dst) : sweep.eval(pars[i], 0, dst);
    });
    if (rc != BSSUCC) return rc;
  }
  return BSSUCC;
}

// The two-sided evaluator's output of one side: BSbspl into a 16 x 4 buffer, the
// quotient rule for a rational curve, d+1 triples copied out.
BSrc one_side(const BScurve &cv, int32_t span, int32_t d, double u, double *out) {
  double buf[16 * 4];
  BSrc rc = BSSUCC;
  const int16_t order = cv.order;
  const BSboolean rational = cv.rational ? 1 : 0;
  if (!BSbspl(&rc, cv.poles, cv.weights, cv.knots, &order, &rational, &span, &d, &u, buf))
    return rc;
  if (rational && !BSrspl(&rc, &d, &cv, buf)) return rc;
  for (int32_t j = 0; j <= d; ++j)
    if (finite_or_inarg(buf + 4 * j, 3) != BSSUCC) return BSINARG;  // an overflowing value
  for (int32_t j = 0; j <= d; ++j) v3::copy(buf + 4 * j, out + 3 * j);
  return BSSUCC;
}

// The main evaluator's epilogue: the status check runs under "bscveval", while a
// failure of the general path (two or more derivatives) is traced as "BScveval_n".
class CvevalEpilogue {
 public:
  CvevalEpilogue(BSrc *rc, int32_t d) : rc_(rc), general_(d >= 2) { *rc_ = BSSUCC; }
  ~CvevalEpilogue() {
    setrc_written("BScveval", rc_);
    if (*rc_ != BSSUCC) BSdbgrc(*rc_, general_ ? "BScveval_n" : "BScveval");
  }
  CvevalEpilogue(const CvevalEpilogue &) = delete;
  CvevalEpilogue &operator=(const CvevalEpilogue &) = delete;

 private:
  BSrc *rc_;
  bool general_;
};

}  // namespace

extern "C" {

KW_API void BScveval(const BScurve *curve, double u, int32_t d, double *out, BSrc *rc) {
  CvevalEpilogue epilogue(rc, d);
  if (curve == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (curve->order < 1) {
    out[0] = out[1] = out[2] = 0.0;
    return;
  }
  // O(1) checks only: a bad domain fails the span check, array values are not scanned
  if ((*rc = validate_curve(curve, kCurveShape)) != BSSUCC) return;
  if (d < 0 || d > kMaxDerivatives || !std::isfinite(u)) {
    *rc = BSINARG;
    return;
  }
  if (evaluate_curve_fast(*curve, u, d, out, *rc)) return;
  *rc = finite_result(3 * (static_cast<std::ptrdiff_t>(d) + 1), out,
                      [&](double *dst) { return evaluate_curve(*curve, u, d, dst); });
}

KW_API void BScveval0(BSrc *rc, int16_t order, const double *poles, const double *weights,
                      const double *knots, int32_t span, double u, double *out) {
  KW_EPILOGUE(rc);
  span_eval(rc, order, poles, weights, knots, span, u, 0, out);
}

KW_API void BScveval1(BSrc *rc, int16_t order, const double *poles, const double *weights,
                      const double *knots, int32_t span, double u, double *out) {
  KW_EPILOGUE(rc);
  span_eval(rc, order, poles, weights, knots, span, u, 1, out);
}

KW_API void BScveval2(BSrc *rc, int16_t order, const double *poles, const double *weights,
                      const double *knots, int32_t span, double u, double *out) {
  KW_EPILOGUE(rc);
  span_eval(rc, order, poles, weights, knots, span, u, 2, out);
}

KW_API void BScveval_h(int32_t p, int32_t m, int32_t d, double *rows, const double *recip,
                       const double *dist, double *out) {
  const int32_t k = p + 1;
  std::fill(out, out + static_cast<std::ptrdiff_t>(d + 1) * m, 0.0);
  for (int32_t c = 0; c < m; ++c) {
    double *row = rows + static_cast<std::ptrdiff_t>(c) * k;
    for (int32_t r = 1; r <= p; ++r) {
      double prev = row[r - 1];
      for (int32_t j = r; j <= p; ++j) {
        const double cur = row[j];
        row[j] = (cur - prev) * recip[r * k + j];
        prev = cur;
      }
    }
    for (int32_t i = 0; i < p; ++i)
      for (int32_t j = i; j >= 0; --j) row[j] += row[j + 1] * dist[i + 1];
    out[c] = row[0];
    double f = 1.0;
    for (int32_t j = 1; j <= std::min(d, p); ++j) {
      f *= static_cast<double>(p - j + 1);
      out[static_cast<std::ptrdiff_t>(j) * m + c] = f * row[j];
    }
  }
}

KW_API void BSsetder_cv(int32_t dim, BSboolean rational, int32_t d, const double *hom, double *out,
                        BSrc *rc) {
  KW_EPILOGUE(rc);
  if (d < 0 || d > kMaxDerivatives || dim < 0) {
    *rc = BSINARG;
    return;
  }
  const std::ptrdiff_t total = static_cast<std::ptrdiff_t>(d + 1) * dim;
  std::fill(out, out + total, 0.0);
  if (!rational) {
    std::copy(hom, hom + total, out);
    return;
  }
  if (!rational_derivatives(dim, d + 1, d, hom, out)) *rc = BSFAIL;
}

KW_API void BSbinomcoef(int32_t degree, double *coefs, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (degree < 0 || degree > 16) {
    *rc = 2;
    return;
  }
  for (int32_t i = 0; i <= degree; ++i) coefs[i] = binomial(degree, i);
}

KW_API BSboolean BSbspl(BSrc *rc, const double *poles, const double *weights, const double *knots,
                        const int16_t *order, const BSboolean *rational, const int32_t *span,
                        const int32_t *d, const double *u, double *out) {
  KW_EPILOGUE(rc);
  const int k = *order;
  if (k < 2) {
    *rc = 2;
    return KW_FINISH(FALSE);
  }
  if (*d < 0 || *d > 15) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  const int p = k - 1, s = *span;
  std::fill(out, out + 4 * (*d + 1), 0.0);
  SpanWorkspace ws(k, 4);
  if (!ws.ok()) {
    *rc = BSNOSTKMEMORY;
    return KW_FINISH(FALSE);
  }
  if (span_reciprocals(knots, p, s, tol().zero_tol, ws.inv) != SpanCheck::kOk) {
    *rc = BSDEGEN;
    return KW_FINISH(FALSE);
  }
  // derivatives on the poles relative to the span's first one, moved back after
  const double *wts = *rational ? weights : nullptr;
  double origin[3] = {0.0, 0.0, 0.0};
  if (*d > 0) span_origin(poles, wts, p, s - p, origin);
  load_span_poles(poles, wts, p, s, ws.w, origin);
  deboor_dispatch<4>(p, 4, knots + (s - p), ws.inv, *u, *d, ws.w, ws.tmp, out);
  if (*d > 0)
    for (int j = 0; j <= *d; ++j)
      for (int c = 0; c < 3; ++c) out[4 * j + c] += origin[c] * out[4 * j + 3];
  *rc = finite_or_inarg(out, 4 * (*d + 1));  // an overflowing extrapolation
  return KW_FINISH(*rc == BSSUCC);
}

KW_API BSboolean BSrspl(BSrc *rc, const int32_t *d, const BScurve *curve, double *buf) {
  KW_EPILOGUE(rc);
  if (d == nullptr || buf == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveShape)) != BSSUCC) return KW_FINISH(FALSE);
  if (!curve->rational) return KW_FINISH(TRUE);
  if (*d < 0 || *d > 15) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  const double w0 = buf[3];
  if (!std::isfinite(1.0 / w0)) {  // zero, NaN or too small to divide by
    *rc = BSFAIL;
    return KW_FINISH(FALSE);
  }
  // In place: row j uses the Cartesian rows below it and the untouched weight column.
  for (int32_t j = 0; j <= *d; ++j) {
    double *row = buf + 4 * j;
    for (int32_t i = 1; i <= j; ++i) {
      const double f = binomial(j, i) * buf[4 * i + 3];
      v3::axpy(row, -f, buf + 4 * (j - i), row);
    }
    v3::scale(row, 1.0 / w0, row);
  }
  return KW_FINISH(TRUE);
}

KW_API BSboolean BScveval_b(BSrc *rc, const BScurve *curve, const double *u, const int32_t *d,
                            const void *reserved, int16_t *flag, double *left, double *right) {
  KW_EPILOGUE(rc);
  (void)reserved;
  if (u == nullptr || d == nullptr || flag == nullptr || left == nullptr || right == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveDomain)) != BSSUCC) return KW_FINISH(FALSE);
  if (*d > 15 || *d < 0 || !std::isfinite(*u)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  const int32_t k = curve->order, n = curve->num_poles, p = k - 1;
  const double *t = curve->knots;
  const int32_t e = curve->rational ? *d : std::min(*d, p);
  int32_t s = p;
  BSrc rs = BSSUCC;
  const int16_t order = curve->order;
  if (!BSfindspn(&rs, &order, &n, t, u, &s)) {
    *rc = BSINARG;  // a NaN parameter or a decreasing knot vector
    return KW_FINISH(FALSE);
  }
  *flag = 0;
  if (s < n - 1 && *u == t[s + 1]) {
    int32_t first_above = -1;
    for (int32_t i = s + 2; i <= n; ++i) {
      if (t[i] > *u) {
        first_above = i;
        break;
      }
    }
    if (first_above < 0) {
      *rc = BSDEGEN;
      return KW_FINISH(FALSE);
    }
    const int32_t r_span = first_above - 1;
    if (p - std::abs(r_span - s) < e) {
      *flag = 1;
      *rc = one_side(*curve, std::min(s, r_span), *d, *u, left);
      if (*rc == BSSUCC) *rc = one_side(*curve, std::max(s, r_span), *d, *u, right);
      return KW_FINISH(*rc == BSSUCC);
    }
  }
  *rc = one_side(*curve, s, *d, *u, left);
  return KW_FINISH(*rc == BSSUCC);
}

KW_API void BScvevaln(int32_t p, int32_t n, int32_t m, const double *poles, const double *knots,
                      double u, int32_t span, int32_t d, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (d < 0 || d > kMaxDerivatives) {
    *rc = BSINARG;
    return;
  }
  *rc = evaluate_rows(p, n, m, poles, knots, u, span, d, out);
  if (*rc == BSSUCC) *rc = finite_or_inarg(out, (static_cast<std::ptrdiff_t>(d) + 1) * m);
}

KW_API void BSevalbsp(int32_t p, int32_t n, int32_t dim, BSboolean rational, const double *poles,
                      const double *knots, double u, int32_t d, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (d < 0 || d > kMaxDerivatives || !(u >= knots[0] && u <= knots[p + n])) {
    *rc = BSINARG;
    return;
  }
  const std::ptrdiff_t values = (static_cast<std::ptrdiff_t>(d) + 1) * dim;
  if (!rational) {
    *rc = evaluate_rows(p, n, dim, poles, knots, u, -1, d, out);
    if (*rc == BSSUCC) *rc = finite_or_inarg(out, values);
    return;
  }
  BasicScratchBuffer<100 * sizeof(double) + 1> hom(
      (static_cast<std::size_t>(dim + 1) * (d + 1) + dim) * sizeof(double));
  if (!hom.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *origin = hom.as<double>() + static_cast<std::ptrdiff_t>(dim + 1) * (d + 1);
  *rc = evaluate_rows(p, n, dim + 1, poles, knots, u, -1, d, hom.as<double>(), origin);
  if (*rc != BSSUCC) return;
  std::fill(out, out + static_cast<std::ptrdiff_t>(d + 1) * dim, 0.0);
  if (!rational_derivatives(dim, d + 1, d, hom.as<double>(), out)) {
    *rc = BSFAIL;
    return;
  }
  for (int32_t c = 0; c < dim; ++c) out[c] += origin[c];
  *rc = finite_or_inarg(out, values);
}

KW_API void BScvarreval(BSrc *rc, BScurve *curve, const double *pars, int32_t count, int32_t d,
                        double *out) {
  KW_EPILOGUE(rc);
  if (count <= 0) return;
  if ((*rc = validate_curve(curve, kCurveDomain)) != BSSUCC) return;
  if (pars == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (d < 0 || d > 2) {
    *rc = BSINARG;
    return;
  }
  if (!curve->rational) curve->weights = nullptr;
  const double zt = tol().zero_tol;
  CurveSweep sweep(curve->order, curve->num_poles, curve->poles, curve->weights, curve->knots,
                   d == 0 ? zt * zt : zt);
  if (!sweep.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  sweep.start(pars[0], d > 0);
  *rc = d == 0   ? sweep.eval_run<0>(pars, count, out)
        : d == 1 ? sweep.eval_run<1>(pars, count, out)
                 : sweep.eval_run<2>(pars, count, out);
}

KW_API void BScvarrev0(BSrc *rc, const BScurve *curve, const double *pars, int32_t count,
                       double *out) {
  KW_EPILOGUE(rc);
  if (count <= 0) return;
  if ((*rc = validate_curve(curve, kCurveDomain)) != BSSUCC) return;
  if (pars == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = sweep_points(*curve, pars, count, false, out);
}

KW_API void BScvarrev0w(const BScurve *curve, int32_t count, const double *pars, double *out,
                        BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count <= 0) return;
  if ((*rc = validate_curve(curve, kCurveDomain)) != BSSUCC) return;
  if (pars == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = sweep_points(*curve, pars, count, true, out);
}

KW_API void BScvarrevt(BScurve *curve, const double *pars, int32_t count, double length,
                       double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveDomain)) != BSSUCC) return;
  if (!curve->rational) curve->weights = nullptr;
  if (count <= 0) return;
  if (pars == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  CurveSweep sweep(curve->order, curve->num_poles, curve->poles, curve->weights, curve->knots,
                   tol().zero_tol);
  if (!sweep.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  sweep.start(pars[0], true);
  for (int32_t i = 0; i < count; ++i) {
    double e[6];
    *rc = std::isfinite(pars[i]) ? sweep.eval(pars[i], 1, e) : BSINARG;
    if (*rc == BSSUCC) *rc = finite_or_inarg(e, 6);
    if (*rc != BSSUCC) return;
    double *pair = out + 6 * static_cast<std::ptrdiff_t>(i);
    const double l = std::hypot(e[3], e[4], e[5]);  // no overflow for long tangents
    v3::copy(e, pair);
    v3::axpy(e, l <= 2.220446049250313e-16 ? length : length / l, e + 3, pair + 3);
  }
}

KW_API void BScvarrevc(BScurve *curve, int32_t count, const double *pars, double length,
                       double *curvatures, double *radii, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveDomain)) != BSSUCC) return;
  if (count > 0 &&
      (pars == nullptr || curvatures == nullptr || radii == nullptr || out == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = curvature_comb(*curve, count, pars, length, curvatures, radii, out);
}

KW_API BSboolean BSwght_p(BSrc *rc, const double *points, const double *weights,
                          const int32_t *count, double *out) {
  KW_EPILOGUE(rc);
  for (int32_t i = 0; i < *count; ++i) v3::scale(points + 3 * i, weights[i], out + 3 * i);
  return KW_FINISH(TRUE);
}

KW_API BSboolean BSunwght_p(BSrc *rc, const double *points, const double *weights,
                            const int32_t *count, double *out) {
  KW_EPILOGUE(rc);
  for (int32_t i = 0; i < *count; ++i) {
    const double w = weights[i];
    out[3 * i] = points[3 * i] / w;
    out[3 * i + 1] = points[3 * i + 1] / w;
    out[3 * i + 2] = points[3 * i + 2] / w;
  }
  return KW_FINISH(TRUE);
}

KW_API BSboolean BScvnormal(BSrc *rc, const BScurve *curve, double *normal) {
  KW_EPILOGUE(rc);
  if (normal == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  // a weight below a quarter of the mean (zero and negative ones too) is the plane test's 49
  if ((*rc = validate_curve(curve, kCurveDomain | kCurveArrays)) != BSSUCC) return KW_FINISH(FALSE);
  *rc = curve_plane_normal(*curve, normal);
  return KW_FINISH(*rc == BSSUCC);
}

KW_API void BSlocknttol(const BScurve *curve, double u, double dist, double *ptol, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (ptol == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *ptol = 1e-10;
  if ((*rc = validate_curve(curve, kCurveDomain)) != BSSUCC) return;
  if (!std::isfinite(u)) {
    *rc = BSINARG;
    return;
  }
  double e[9];
  *rc = evaluate_curve(*curve, u, 2, e);
  if (*rc == BSSUCC) *rc = finite_or_inarg(e, 9);
  if (*rc != BSSUCC) return;
  const double l1 = v3::len(e + 3), l2 = v3::len(e + 6);
  if (l1 > dist) {
    const double t = dist / l1;
    *ptol = l2 > dist ? std::min(t, std::sqrt(dist / (2.0 * l2))) : t;
  } else if (l2 > dist) {
    *ptol = std::sqrt(dist / (2.0 * l2));
  }
}

}  // extern "C"
