// Bezier pieces of B-spline curves and the de Casteljau routines: the Bezier
// segments of a curve record and of an array-form spline, one span as a Bezier
// curve, the de Casteljau triangle at a parameter, halving of Bezier rows and of an
// array-form spline, and the elementary symmetric functions.
#include "bspline/bezier.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bspline/insert.hpp"
#include "bspline/knots.hpp"
#include "records/curve_check.hpp"
#include "records/records.hpp"
#include "records/scratch_curve.hpp"

namespace knotwork {

void elementary_symmetric(int32_t m, const double *x, double *e) {
  e[0] = 1.0;
  for (int32_t r = 1; r <= m; ++r) e[r] = 0.0;
  for (int32_t j = 0; j < m; ++j) {
    for (int32_t r = j + 1; r >= 1; --r) e[r] += x[j] * e[r - 1];
  }
}

int32_t bezier_piece_count(int p, int32_t n, const double *knots) {
  int32_t count = 0;
  for (int32_t s = p; s < n; ++s) {
    if (knots[s + 1] - knots[s] >= kBezierBreakGap) ++count;
  }
  return count;
}

void span_bezier_rows(int p, int32_t n, int rows, const double *knots, const double *poles,
                      int32_t s, double *out, double *t) {
  const int k = p + 1;
  for (int r = 0; r < rows; ++r) {
    const double *src = poles + static_cast<std::ptrdiff_t>(r) * n + (s - p);
    std::copy(src, src + k, out + static_cast<std::ptrdiff_t>(r) * k);
  }
  std::copy(knots + (s - p), knots + (s + p + 2), t);
  // The span as a curve of its own (k poles, 2k knots, one span), clamped at both
  // ends by inserting the span's end knots at the outer knot positions.
  const PoleSet set = PoleSet::rows(out, rows, k);
  const double a = t[p], b = t[p + 1];
  if (t[0] != a) {
    for (int32_t i = p - 1; i >= 0; --i) insert_end_knot(k, k, set, t, i, a);
  }
  if (t[2 * p + 1] != b) {
    for (int32_t i = k; i <= 2 * p; ++i) insert_end_knot(k, k, set, t, i, b);
  }
}

BSrc bezier_pieces(int p, int32_t n, int rows, const double *knots, const double *poles,
                   int32_t *count, double *coefs, double *breaks) {
  BasicScratchBuffer<(2 * kBezierStackOrder + 2) * sizeof(double) + 8> work(
      (2 * static_cast<std::size_t>(p) + 2) * sizeof(double));
  if (!work.ok()) return BSNOSTKMEMORY;
  *count = 0;
  const std::ptrdiff_t block = static_cast<std::ptrdiff_t>(rows) * (p + 1);
  int32_t c = 0;
  breaks[0] = knots[p];
  for (int32_t s = p; s < n; ++s) {
    if (!(knots[s + 1] - knots[s] >= kBezierBreakGap)) continue;
    if (c > 0) breaks[c] = knots[s];
    span_bezier_rows(p, n, rows, knots, poles, s, coefs + c * block, work.as<double>());
    ++c;
  }
  if (c == 0) return BSINARG;
  breaks[c] = knots[n];
  *count = c;
  return BSSUCC;
}

void split_bezier_rows(int d, int rows, const double *in, double t, double *left, double *right) {
  const double s = 1.0 - t;
  for (int r = 0; r < rows; ++r) {
    const double *src = in + r * (d + 1);
    double *lo = left + r * (d + 1), *hi = right + r * (d + 1);
    if (hi != src) std::memmove(hi, src, (d + 1) * sizeof(double));
    // Level j of the triangle overwrites hi[0 .. d-j]; hi[d-j] then keeps the last
    // value of level j, which is coefficient d-j of the right half.
    for (int j = 1; j <= d; ++j) {
      lo[j - 1] = hi[0];
      for (int i = 0; i <= d - j; ++i) hi[i] = s * hi[i] + t * hi[i + 1];
    }
    lo[d] = hi[0];
  }
}

void halve_bezier_rows(int d, int rows, const double *in, double *left, double *right) {
  // 0.5 a + 0.5 b rounds as (a + b) / 2: halving is the split at the midpoint.
  split_bezier_rows(d, rows, in, 0.5, left, right);
}

void bezier_right_half(int d, const double *in, double *out) {
  if (out != in) std::memmove(out, in, (d + 1) * sizeof(double));
  for (int m = 1; m <= d; ++m) {
    for (int j = 0; j <= d - m; ++j) out[j] = (out[j] + out[j + 1]) * 0.5;
  }
}

void bezier_extend_left(int d, const double *in, double *out) {
  if (out != in) std::memmove(out, in, (d + 1) * sizeof(double));
  for (int m = 1; m <= d; ++m) {
    for (int j = 0; j <= d - m; ++j) out[j] = 2.0 * out[j] - out[j + 1];
  }
}

namespace {

// 0 for a usable record (order >= 1 here: the de Casteljau table takes order 1
// too), else the status to report.
using Table3 = double[16][16][3];
using Table1 = double[16][16];

// The de Casteljau triangle of a single-span curve at u into the tables.
BSrc decasteljau_table(const BScurve &cv, double u, Table3 &pts, Table1 &wts) {
  const int k = cv.order;
  const double *w = cv.rational ? cv.weights : nullptr;
  const double tol_w = curve_knot_tolerance(k, cv.knots, cv.num_poles, cv.poles, w);
  const double width = cv.knots[k] - cv.knots[k - 1];
  if (!(width > 0.0)) return BSINARG;
  const double t = (u - cv.knots[k - 1]) / width, s = 1.0 - t;
  for (int i = 0; i < k; ++i) {
    for (int c = 0; c < 3; ++c) pts[i][0][c] = cv.poles[3 * i + c];
    wts[i][0] = w ? w[i] : 1.0;
    if (w && wts[i][0] < tol_w) return BSFAIL;
  }
  for (int r = 1; r < k; ++r) {
    for (int i = r; i < k; ++i) {
      for (int c = 0; c < 3; ++c) pts[i][r][c] = t * pts[i][r - 1][c] + s * pts[i - 1][r - 1][c];
      wts[i][r] = w ? t * wts[i][r - 1] + s * wts[i - 1][r - 1] : 1.0;
      if (w && wts[i][r] < tol_w) return BSFAIL;
    }
  }
  return BSSUCC;
}

// Halving of an array-form spline at knot index j (first of its equal knots):
// inserts the knot up to multiplicity p into a scratch copy and cuts it there.
BSrc halve_spline(int32_t dim, int p, int32_t n, const double *knots, const double *poles,
                  int32_t j, int32_t *nl, double *lknots, double *lpoles, int32_t *nr,
                  double *rknots, double *rpoles) {
  const int k = p + 1;
  const double v = knots[j];
  int m = 0;
  while (j + m < n + k && knots[j + m] == v) ++m;
  if (m > p) return BSINARG;
  const int r = p - m;
  const int32_t nn = n + r;
  const std::size_t doubles = static_cast<std::size_t>(dim) * nn + static_cast<std::size_t>(nn) + k;
  BasicScratchBuffer<5200 * sizeof(double)> buf(doubles * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *rows = buf.as<double>();
  double *t = rows + static_cast<std::ptrdiff_t>(dim) * nn;
  for (int32_t c = 0; c < dim; ++c) {
    std::copy(poles + static_cast<std::ptrdiff_t>(c) * n,
              poles + static_cast<std::ptrdiff_t>(c + 1) * n,
              rows + static_cast<std::ptrdiff_t>(c) * nn);
  }
  std::copy(knots, knots + n + k, t);
  if (r > 0) insert_knot_in_place(k, n, PoleSet::rows(rows, dim, nn), t, j - 1, v, r, m);
  // v now sits at t[j .. j+p-1]; the curve passes through pole j-1 there.
  *nl = j;
  *nr = nn - j + 1;
  std::copy(t, t + j + p, lknots);
  lknots[j + p] = v;
  std::fill(rknots, rknots + k, v);
  std::copy(t + j + p, t + nn + k, rknots + k);
  for (int32_t c = 0; c < dim; ++c) {
    const double *row = rows + static_cast<std::ptrdiff_t>(c) * nn;
    std::copy(row, row + j, lpoles + static_cast<std::ptrdiff_t>(c) * j);
    std::copy(row + j - 1, row + nn, rpoles + static_cast<std::ptrdiff_t>(c) * (*nr));
  }
  return BSSUCC;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BSgensym(int32_t count, const double *values, double *sums) {
  if (count < 0) return;
  elementary_symmetric(count, values, sums);
}

KW_API BSboolean BSdcastelj(BSrc *rc, const BScurve *curve, const double *u,
                            double points[16][16][3], double weights[16][16]) {
  KW_EPILOGUE(rc);
  if (u == nullptr || points == nullptr || weights == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveDomain | kCurveArrays | kCurveOrder16)) != BSSUCC)
    return KW_FINISH(FALSE);
  if (curve->order != curve->num_poles || !std::isfinite(*u)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  *rc = decasteljau_table(*curve, *u, *reinterpret_cast<Table3 *>(points),
                          *reinterpret_cast<Table1 *>(weights));
  return KW_FINISH(*rc == BSSUCC ? TRUE : FALSE);
}

KW_API void BShlfbezcv(int32_t degree, int32_t num_rows, const double *rows, double *left,
                       double *right) {
  if (degree < 0 || num_rows < 1) return;
  halve_bezier_rows(degree, num_rows, rows, left, right);
}

KW_API void BScastdbez(int32_t degree, const double *row, double *out) {
  if (degree < 0) return;
  bezier_right_half(degree, row, out);
}

KW_API void BScastibez(int32_t degree, const double *row, double *out) {
  if (degree < 0) return;
  bezier_extend_left(degree, row, out);
}

KW_API BSboolean BSspn_t_bz(BSrc *rc, const int32_t *span, const BScurve *curve, BScurve *out,
                            const BSboolean *plane_test, const BSboolean *closure_test) {
  KW_EPILOGUE(rc);
  if (span == nullptr || out == nullptr || plane_test == nullptr || closure_test == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  const bool rational = curve->rational != 0;
  if (out->poles == nullptr || out->knots == nullptr || (rational && out->weights == nullptr)) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  // Built in scratch and copied out at the end: a failure leaves out untouched.
  ScratchCurve piece(curve->order, curve->order, rational);
  if (!piece.ok()) {
    *rc = BSNOSTKMEMORY;
    return KW_FINISH(FALSE);
  }
  if (!BSextrcvspn(rc, span, curve, &piece.curve(), plane_test, closure_test) ||
      !BScnvtomkt(rc, &piece.curve()))
    return KW_FINISH(FALSE);
  *rc = copy_curve_into(piece.curve(), *out);
  return KW_FINISH(*rc == BSSUCC);
}

KW_API BSboolean BScvtobz(BSrc *rc, const BScurve *curve, int32_t *count, BScurve *segments) {
  KW_EPILOGUE(rc);
  if (count == nullptr || segments == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  *count = 0;
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  const BSboolean no = FALSE;
  for (int32_t s = curve->order - 1; s < curve->num_poles; ++s) {
    if (!(curve->knots[s] < curve->knots[s + 1])) continue;
    if (!BSspn_t_bz(rc, &s, curve, &segments[*count], &no, &no)) return KW_FINISH(FALSE);
    ++*count;
  }
  return KW_FINISH(TRUE);
}

KW_API void BSbstobez(int32_t degree, int32_t num_poles, int32_t num_rows, const double *knots,
                      const double *poles, int32_t *num_segments, double *coefs, double *breaks,
                      BSrc *rc) {
  KW_EPILOGUE(rc);
  if (num_segments == nullptr || knots == nullptr || poles == nullptr || coefs == nullptr ||
      breaks == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (degree < 0 || num_poles < degree + 1 || num_rows < 1) {
    *rc = BSINARG;
    return;
  }
  *rc = bezier_pieces(degree, num_poles, num_rows, knots, poles, num_segments, coefs, breaks);
}

KW_API void BShlfbspcv(int32_t dim, int32_t degree, int32_t num_poles, const double *knots,
                       const double *poles, int32_t knot_index, int32_t *left_num_poles,
                       double *left_knots, double *left_poles, int32_t *right_num_poles,
                       double *right_knots, double *right_poles, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (knots == nullptr || poles == nullptr || left_num_poles == nullptr || left_knots == nullptr ||
      left_poles == nullptr || right_num_poles == nullptr || right_knots == nullptr ||
      right_poles == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (dim < 1 || degree < 1 || num_poles < degree + 1 || knot_index < 0 ||
      knot_index >= num_poles + degree + 1) {
    *rc = BSINARG;
    return;
  }
  int32_t j = knot_index;
  while (j > 0 && knots[j - 1] == knots[j]) --j;
  // The halving knot must lie strictly inside the domain.
  if (!(knots[j] > knots[degree] && knots[j] < knots[num_poles])) {
    *rc = BSINARG;
    return;
  }
  *rc = halve_spline(dim, degree, num_poles, knots, poles, j, left_num_poles, left_knots,
                     left_poles, right_num_poles, right_knots, right_poles);
}

}  // extern "C"
