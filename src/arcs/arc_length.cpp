// Arc length of curves and its inverse: Gauss-Legendre integration of the speed of
// each span's Taylor form (rules of increasing size, halving when none agrees),
// exact lengths of straight monotone pole rows, regula falsi with the Illinois step
// for the parameter at a given length, reparametrisation by control-polygon
// length, and an adaptive Gauss-Legendre integrator of the speed.
#include <algorithm>
#include <cmath>
#include <limits>

#include "bases/series.hpp"
#include "bspline/bezier.hpp"
#include "records/curve_check.hpp"

namespace knotwork {
namespace {

constexpr int kMaxDepth = 30;
constexpr int kRules[] = {4, 12, 20, 40, 80, 160};
constexpr int kMaxOrder = 64;  // span work stays on the stack up to this order
constexpr double kHuge = std::numeric_limits<double>::max();
constexpr BSrc kNegativeRationalIntegrand = 35;
constexpr BSrc kBeyondEnd = 9;

// sum_i w_i (f(-x_i) + f(x_i)) over the non-negative nodes of the n-point rule,
// values stored symmetrically (f(-x_i) at n/2 - 1 - i, f(x_i) at n/2 + i).
double symmetric_sum(int n, const double *values) {
  const double *w = gauss_weights(n);
  double s = 0.0;
  for (int i = 0; i < n / 2; ++i) s += w[i] * (values[n / 2 - 1 - i] + values[n / 2 + i]);
  return s;
}

// The integrand of one span: sqrt(S) for a polynomial span, sqrt(S) / W^2 for a
// rational one (S the numerator |w A' - w' A|^2). Coefficients in x on [-1, 1].
struct Integrand {
  int32_t ds;  // degree of S
  const double *s;
  int32_t dw;  // degree of W, -1 for a polynomial span
  const double *w;
};

// Integral of the integrand over [-1, 1] to tol: the rules 4, 12, 20, 40, 80, 160
// until two successive results differ by less than tol, else the halves [-1, 0]
// and [0, 1] recursively (their power forms re-expanded on [-1, 1]).
BSrc span_integral(const Integrand &f, double tol, int depth, double *result) {
  if (depth > kMaxDepth) return BSFAIL;
  if (!(tol > 0.0)) return BSINARG;
  const double *nodes_all;
  double previous = 0.0;
  for (int n : kRules) {
    nodes_all = gauss_nodes(n);
    double values[160];
    for (int i = 0; i < n / 2; ++i) {
      const double x = nodes_all[n / 2 + i];
      double sp, sm;
      horner_power_symmetric(f.ds, f.s, x, &sp, &sm);
      // S is a sum of squares: a negative value is rounding at a zero of the speed.
      const double scale = 1e-13 * (std::fabs(sp) + std::fabs(sm) + 1e-300);
      if (sp < -scale || sm < -scale) return f.dw < 0 ? BSINARG : kNegativeRationalIntegrand;
      double vp = std::sqrt(std::max(sp, 0.0)), vm = std::sqrt(std::max(sm, 0.0));
      if (f.dw >= 0) {
        double wp, wm;
        horner_power_symmetric(f.dw, f.w, x, &wp, &wm);
        if (wp == 0.0 || wm == 0.0) return BSBADWEIGHT;
        vp /= wp * wp;
        vm /= wm * wm;
      }
      values[n / 2 + i] = vp;
      values[n / 2 - 1 - i] = vm;
    }
    const double value = symmetric_sum(n, values);
    if (!std::isfinite(value)) return BSINARG;
    if (std::fabs(value - previous) < tol) {
      *result = value;
      return BSSUCC;
    }
    previous = value;
  }
  // Halve both polynomials.
  const int32_t size = f.ds + 1 + (f.dw + 1);
  ScratchBuffer buf(static_cast<std::size_t>(2 * size) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *left = buf.as<double>(), *right = left + size;
  halve_power(f.ds, f.s, left, right);
  if (f.dw >= 0) halve_power(f.dw, f.w, left + f.ds + 1, right + f.ds + 1);
  double a = 0.0, b = 0.0;
  const Integrand fl{f.ds, left, f.dw, f.dw >= 0 ? left + f.ds + 1 : nullptr};
  const Integrand fr{f.ds, right, f.dw, f.dw >= 0 ? right + f.ds + 1 : nullptr};
  BSrc rc = span_integral(fl, tol, depth + 1, &a);
  if (rc == BSSUCC) rc = span_integral(fr, tol, depth + 1, &b);
  if (rc == BSSUCC) *result = 0.5 * (a + b);
  return rc;
}

// Length of the part [x0, x1] (within [-1, 1]) of one span given as rows local
// power forms of degree p (rows 3 coordinates, plus the weight row when rational).
BSrc span_length(int p, int rows, const double *local, double x0, double x1, double tol,
                 double *length) {
  double piece[4 * kMaxOrder], d[4 * kMaxOrder], s[2 * kMaxOrder], w[kMaxOrder];
  const bool rational = rows == 4;
  const int k = p + 1;
  for (int r = 0; r < rows; ++r) {
    if (x0 == -1.0 && x1 == 1.0) {
      std::copy(local + r * k, local + (r + 1) * k, piece + r * k);
    } else {
      substitute_power(p, local + r * k, (x1 - x0) / 2, (x0 + x1) / 2, piece + r * k);
    }
    for (int j = 1; j <= p; ++j) d[r * k + j - 1] = j * piece[r * k + j];
  }
  // Polynomial: S = sum_c (A_c')^2 (degree 2p - 2). Rational: S = sum_c (w A_c' - w' A_c)^2
  // with w A' - w' A of degree 2p - 2 (the top terms cancel), S of degree 4p - 4.
  Integrand f{};
  if (!rational) {
    const int ds = 2 * p - 2;
    for (int i = 0; i <= ds; ++i) s[i] = 0.0;
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) s[i + j] += d[c * k + i] * d[c * k + j];
    f = Integrand{ds, s, -1, nullptr};
  } else {
    const int dn = 2 * p - 2, ds = 2 * dn;
    double num[2 * kMaxOrder], big[4 * kMaxOrder];
    for (int i = 0; i <= ds; ++i) big[i] = 0.0;
    const double *wp = piece + 3 * k, *wd = d + 3 * k;
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i <= dn + 1; ++i) num[i] = 0.0;
      for (int i = 0; i <= p; ++i)
        for (int j = 0; j < p; ++j) {
          num[i + j] += wp[i] * d[c * k + j] - wd[j] * piece[c * k + i];
        }
      for (int i = 0; i <= dn; ++i)
        for (int j = 0; j <= dn; ++j) big[i + j] += num[i] * num[j];
    }
    std::copy(wp, wp + k, w);
    double value = 0.0;
    const BSrc rc = span_integral(Integrand{ds, big, p, w}, tol, 0, &value);
    if (rc == BSSUCC) *length = value;
    return rc;
  }
  double value = 0.0;
  const BSrc rc = span_integral(f, tol, 0, &value);
  if (rc == BSSUCC) *length = value;
  return rc;
}

// Local Taylor rows (3 coordinates, then the weights when rational) of span s of a
// curve record, in x on [-1, 1] about the span middle.
void curve_span_rows(const BScurve &cv, int32_t s, double *local) {
  const int p = cv.order - 1, k = cv.order, rows = cv.rational ? 4 : 3;
  double poles[4 * kMaxOrder], knots[2 * kMaxOrder], work[2 * kMaxOrder];
  for (int j = 0; j < k; ++j) {
    const int32_t i = s - p + j;
    for (int c = 0; c < 3; ++c) poles[c * k + j] = cv.poles[3 * i + c];
    if (cv.rational) poles[3 * k + j] = cv.weights[i];
  }
  for (int j = 0; j < 2 * k; ++j) knots[j] = cv.knots[s - p + j];
  span_bezier_rows(p, k, rows, knots, poles, p, local, work);
  for (int r = 0; r < rows; ++r) bezier_to_local_power_unchecked(p, local + r * k, local + r * k);
}

// Whether every pole lies on one line within dist_tol with the poles in order along
// it; then the curve runs monotonically along the line and its length is the
// distance between its end points.
bool straight_monotone(const BScurve &cv) {
  const int32_t n = cv.num_poles;
  auto pole = [&](int32_t i, int c) {
    return cv.poles[3 * i + c] / (cv.rational ? cv.weights[i] : 1.0);
  };
  double dir[3] = {pole(n - 1, 0) - pole(0, 0), pole(n - 1, 1) - pole(0, 1),
                   pole(n - 1, 2) - pole(0, 2)};
  const double len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
  if (!(len > BSparameters.dist_tol)) return false;
  for (double &v : dir) v /= len;
  double last = -kHuge;
  for (int32_t i = 0; i < n; ++i) {
    double rel[3], along = 0.0;
    for (int c = 0; c < 3; ++c) rel[c] = pole(i, c) - pole(0, c), along += rel[c] * dir[c];
    double off = 0.0;
    for (int c = 0; c < 3; ++c) off += (rel[c] - along * dir[c]) * (rel[c] - along * dir[c]);
    if (std::sqrt(off) > BSparameters.dist_tol || along < last) return false;
    last = along;
  }
  return true;
}

}  // namespace

// Length of a curve between u0 < u1 in its domain (trusted record), to tol.
BSrc curve_length(const BScurve &cv, double u0, double u1, double tol, double *length) {
  const int p = cv.order - 1;
  if (cv.order > kMaxOrder) return BSINARG;
  if (!(u1 > u0)) {
    *length = 0.0;
    return BSSUCC;
  }
  if (cv.rational)
    for (int32_t i = 0; i < cv.num_poles; ++i)
      if (!(cv.weights[i] > 0.0)) return BSBADWEIGHT;
  if (straight_monotone(cv)) {
    double a[3], b[3];
    BSrc rc = BSSUCC;
    BScveval(&cv, u0, 0, a, &rc);
    if (rc == BSSUCC) BScveval(&cv, u1, 0, b, &rc);
    if (rc != BSSUCC) return rc;
    *length = std::sqrt((b[0] - a[0]) * (b[0] - a[0]) + (b[1] - a[1]) * (b[1] - a[1]) +
                        (b[2] - a[2]) * (b[2] - a[2]));
    return BSSUCC;
  }
  int32_t spans = 0;
  for (int32_t s = p; s < cv.num_poles; ++s)
    if (cv.knots[s + 1] > cv.knots[s] && cv.knots[s + 1] > u0 && cv.knots[s] < u1) ++spans;
  const double span_tol = tol / std::max(spans, int32_t{1});
  double total = 0.0;
  double local[4 * kMaxOrder];
  for (int32_t s = p; s < cv.num_poles; ++s) {
    const double t0 = cv.knots[s], t1 = cv.knots[s + 1];
    if (!(t1 > t0) || t1 <= u0 || t0 >= u1) continue;
    curve_span_rows(cv, s, local);
    const double h = (t1 - t0) / 2, m = (t0 + t1) / 2;
    const double x0 = u0 > t0 ? (u0 - m) / h : -1.0, x1 = u1 < t1 ? (u1 - m) / h : 1.0;
    double piece = 0.0;
    const BSrc rc = span_length(p, cv.rational ? 4 : 3, local, x0, x1, span_tol, &piece);
    if (rc != BSSUCC) return rc;
    total += piece;
  }
  *length = total;
  return BSSUCC;
}

}  // namespace knotwork

// ---- Exported routines --------------------------------------------------------------

using namespace knotwork;

namespace {

// Record checks shared by the exported routines: shape, finite non-decreasing
// knots and finite poles, order within the stack limit (-2); weights not positive
// (49).
BSrc check_curve(const BScurve *cv) {
  BSrc rc = validate_curve(cv, kCurveDomain | kCurveArrays);
  if (rc != BSSUCC) return rc;
  if (cv->order > kMaxOrder) return BSINARG;
  if (cv->rational)
    for (int32_t i = 0; i < cv->num_poles; ++i)
      if (!(cv->weights[i] > 0.0)) return BSBADWEIGHT;
  return BSSUCC;
}

double domain_start(const BScurve &cv) {
  return cv.knots[cv.order - 1];
}
double domain_end(const BScurve &cv) {
  return cv.knots[cv.num_poles];
}

// Length between p1 and p2 (either order); on a closed curve a middle parameter
// outside [lo, hi] takes the way across the joint.
BSrc length_between(const BScurve &cv, double p1, double p2, double middle, double *length) {
  const double lo = std::min(p1, p2), hi = std::max(p1, p2);
  const double a = domain_start(cv), b = domain_end(cv);
  if (!(lo >= a && hi <= b) || !std::isfinite(middle)) return BSINARG;
  BSrc rc = BSSUCC;
  double t1 = 0.0, t2 = 0.0;
  BSlocknttol(&cv, p1, BSparameters.dist_tol, &t1, &rc);
  if (rc == BSSUCC) BSlocknttol(&cv, p2, BSparameters.dist_tol, &t2, &rc);
  if (rc != BSSUCC) return rc;
  const double ktol = std::min(t1, t2), tol = BSparameters.arclen_tol;
  if (cv.phy_closed && (middle < lo || middle > hi)) {
    double l1 = 0.0, l2 = 0.0;
    rc = lo - a > ktol ? curve_length(cv, a, lo, tol, &l1) : BSSUCC;
    if (rc == BSSUCC && b - hi > ktol) rc = curve_length(cv, hi, b, tol, &l2);
    if (rc == BSSUCC) *length = l1 + l2;
    return rc;
  }
  if (hi - lo <= ktol) {
    *length = 0.0;
    return BSSUCC;
  }
  return curve_length(cv, lo, hi, tol, length);
}

}  // namespace

KW_API void BSintegval(int32_t n, const double *values, double *integral, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (values == nullptr || integral == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n > BSglobalmaxdeginttab || gauss_rule_index(n) < 0) {
    *rc = BSINARG;
    return;
  }
  const double s = symmetric_sum(n, values);
  if (!std::isfinite(s)) {
    *rc = BSINARG;
    return;
  }
  *integral = s;
}

namespace {

void whole_length(const BScurve *curve, double tol, double *length, BSrc *rc, bool rational) {
  if (length == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_curve(curve)) != BSSUCC) return;
  if (static_cast<bool>(curve->rational) != rational || !(tol > 0.0)) {
    *rc = BSINARG;
    return;
  }
  double value = 0.0;
  *rc = curve_length(*curve, domain_start(*curve), domain_end(*curve), tol, &value);
  if (*rc == BSSUCC) *length = value;
}

}  // namespace

KW_API void BSarclg3ds(const BScurve *curve, double tol, double *length, BSrc *rc) {
  KW_EPILOGUE(rc);
  whole_length(curve, tol, length, rc, false);
}

KW_API void BSarclg4ds(const BScurve *curve, double tol, double *length, BSrc *rc) {
  KW_EPILOGUE(rc);
  whole_length(curve, tol, length, rc, true);
}

KW_API double BSarclen(BSrc *rc, BSboolean *ok, const BScurve *curve, const double *p1,
                       const double *p2, const double *middle, double *length) {
  KW_EPILOGUE(rc);
  if (ok == nullptr || p1 == nullptr || p2 == nullptr || middle == nullptr || length == nullptr) {
    *rc = BSNULLPTR;
    if (ok != nullptr) *ok = FALSE;
    return kHuge;
  }
  *ok = TRUE;
  double value = kHuge;
  if ((*rc = check_curve(curve)) == BSSUCC) *rc = length_between(*curve, *p1, *p2, *middle, &value);
  if (*rc != BSSUCC) {
    *ok = FALSE;
    return kHuge;
  }
  *length = value;
  return value;
}

KW_API BSboolean BSarclength(BSrc *rc, const BScurve *curve, const double *start, const double *end,
                             double *length) {
  KW_EPILOGUE(rc);
  if (curve == nullptr || start == nullptr || end == nullptr || length == nullptr) {
    *rc = BSNULLPTR;
    return FALSE;
  }
  if ((*rc = check_curve(curve)) != BSSUCC) return FALSE;
  double value = 0.0;
  *rc = length_between(*curve, *start, *end, (*start + *end) / 2, &value);
  if (*rc == BSSUCC) *length = value;
  return KW_FINISH(TRUE);
}

namespace {

// Parameter at `length` along the curve from `start` toward `limit` (available the
// length from start to limit).
BSrc parameter_at_length(const BScurve &cv, double available, double start, double length,
                         double limit, double *param) {
  const double dist_tol = BSparameters.dist_tol;
  if (!(length >= 0.0) || !std::isfinite(length) || !std::isfinite(available)) return BSINARG;
  const bool forward = limit >= start;
  const double a0 = domain_start(cv), b0 = domain_end(cv);
  // A closed curve is walked around, on past the seam in the same direction.
  while (cv.phy_closed && length > available + dist_tol) {
    length -= available;
    start = forward ? a0 : b0;
    BSrc rc = curve_length(cv, a0, b0, BSparameters.arclen_tol, &available);
    if (rc != BSSUCC) return rc;
    if (!(available > dist_tol)) return BSINARG;
  }
  if (std::fabs(length - available) <= dist_tol) {
    *param = limit;
    return BSSUCC;
  }
  if (length > available) return kBeyondEnd;
  if (length <= 0.0) {
    *param = start;
    return BSSUCC;
  }
  double ktol = 0.0;
  BSrc rc = BSSUCC;
  BScvkttol2(cv.order, cv.knots, cv.num_poles, cv.poles, cv.rational ? cv.weights : nullptr, &ktol,
             &rc);
  if (rc != BSSUCC) return rc;
  // Regula falsi with the Illinois step on f(u) = L(start, u) - length. fa is the
  // true value at a (the base of every measured length); sa and sb are the values
  // the secant uses, one of which may be halved.
  double a = start, b = limit, fa = -length, sa = fa, sb = available - length;
  double u = limit;
  int side = 0;  // which end was replaced last: -1 a, 1 b
  for (int it = 0; it < 200 && std::fabs(b - a) > ktol; ++it) {
    u = (sb * a - sa * b) / (sb - sa);
    double piece = 0.0;
    if ((rc = curve_length(cv, std::min(a, u), std::max(a, u), BSparameters.arclen_tol / 16,
                           &piece)) != BSSUCC)
      return rc;
    const double fu = fa + piece;
    if (std::fabs(fu) < dist_tol) break;
    if (fu <= 0.0) {
      a = u;
      fa = sa = fu;
      if (side == -1) sb /= 2;
      side = -1;
    } else {
      b = u;
      sb = fu;
      if (side == 1) sa /= 2;
      side = 1;
    }
  }
  *param = u;
  return BSSUCC;
}

}  // namespace

KW_API BSboolean BSiarcln2(BSrc *rc, const BScurve *curve, const double *available,
                           const double *start, const double *length, const double *limit,
                           double *param) {
  KW_EPILOGUE(rc);
  if (curve == nullptr || available == nullptr || start == nullptr || length == nullptr ||
      limit == nullptr || param == nullptr) {
    *rc = BSNULLPTR;
    return FALSE;
  }
  if ((*rc = check_curve(curve)) != BSSUCC) return FALSE;
  double u = 0.0;
  *rc = parameter_at_length(*curve, *available, *start, *length, *limit, &u);
  if (*rc == BSSUCC) *param = u;
  return KW_FINISH(TRUE);
}

KW_API BSboolean BSiarcln(BSrc *rc, const BScurve *curve, const double *start, const double *length,
                          const double *direction, double *param) {
  KW_EPILOGUE(rc);
  if (curve == nullptr || start == nullptr || length == nullptr || direction == nullptr ||
      param == nullptr) {
    *rc = BSNULLPTR;
    return FALSE;
  }
  if ((*rc = check_curve(curve)) != BSSUCC) return FALSE;
  const double limit = *direction <= *start ? domain_start(*curve) : domain_end(*curve);
  double available = 0.0, u = 0.0;
  *rc = length_between(*curve, *start, limit, (*start + limit) / 2, &available);
  if (*rc == BSSUCC) *rc = parameter_at_length(*curve, available, *start, *length, limit, &u);
  if (*rc == BSSUCC) *param = u;
  return KW_FINISH(TRUE);
}

KW_API void BSarclnparc(BSrc *rc, BScurve *curve) {
  KW_EPILOGUE(rc);
  if ((*rc = check_curve(curve)) != BSSUCC) return;
  BScurve &cv = *curve;
  const int32_t n = cv.num_poles, k = cv.order;
  if (n == k) return;  // a single span keeps its parameters
  double ktol = 0.0;
  BScvkttol2(cv.order, cv.knots, n, cv.poles, cv.rational ? cv.weights : nullptr, &ktol, rc);
  if (*rc != BSSUCC) return;
  ScratchBuffer buf(static_cast<std::size_t>(3 * (n + k) + 4) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  // Segment breaks: the domain ends and every interior knot of multiplicity k - 1
  // or more (the curve passes through the pole before its first copy).
  double *knots = buf.as<double>(), *breaks = knots + (n + k), *old_break = breaks + (n + k + 2);
  std::copy(cv.knots, cv.knots + n + k, knots);
  const double a = knots[k - 1], b = knots[n];
  int32_t count = 0;
  int32_t first_pole = 0;
  double total = 0.0;
  breaks[0] = 0.0;  // cumulative lengths at the breaks, then the new parameters
  old_break[0] = a;
  for (int32_t i = k; i <= n; ++i) {
    int32_t mult = 1;
    while (i + mult <= n - 1 && knots[i + mult] - knots[i] <= ktol) ++mult;
    const bool end = i == n;
    if (!end && (mult < k - 1 || knots[i] <= a || knots[i] >= b)) {
      i += mult - 1;
      continue;
    }
    const int32_t last_pole = end ? n - 1 : i - 1;
    int32_t m = last_pole - first_pole + 1;
    double seg = 0.0;
    BSrc rs = BSSUCC;
    BScumdist(&rs, &m, cv.poles + 3 * first_pole, cv.rational ? cv.weights + first_pole : nullptr,
              &seg);
    if (rs != BSSUCC) {
      *rc = rs;
      return;
    }
    if (seg < BSparameters.dist_tol) seg = 100 * ktol;
    total += seg;
    breaks[++count] = total;
    old_break[count] = end ? b : knots[i];
    first_pole = last_pole;
    if (end) break;
    i += mult - 1;
  }
  if (!(total > 0.0) || !std::isfinite(total)) {
    *rc = BSDEGEN;
    return;
  }
  for (int32_t j = 0; j <= count; ++j) breaks[j] /= total;
  // Map every knot linearly from its segment's old interval onto the new one.
  for (int32_t i = 0; i < n + k; ++i) {
    const double t = knots[i];
    int32_t j = 1;
    while (j < count && t > old_break[j]) ++j;
    const double o0 = old_break[j - 1], o1 = old_break[j];
    cv.knots[i] = breaks[j - 1] + (t - o0) / (o1 - o0) * (breaks[j] - breaks[j - 1]);
  }
}

KW_API double BSnquad(BSrc *rc, BSboolean *ok, const void *context, double a, double b, double c,
                      double fa, double fb, double fc, double simpson, double *error,
                      double error_limit, double *tol, int16_t *state, double *result) {
  KW_EPILOGUE(rc);
  (void)b, (void)fa, (void)fb, (void)fc, (void)simpson, (void)error_limit;
  if (ok != nullptr) *ok = FALSE;
  if (ok == nullptr || context == nullptr || error == nullptr || tol == nullptr ||
      state == nullptr || result == nullptr) {
    *rc = BSNULLPTR;
    return kHuge;
  }
  const BScurve *cv = static_cast<const BScurve *>(context);
  if ((*rc = check_curve(cv)) != BSSUCC) return kHuge;
  const double lo = std::min(a, c), hi = std::max(a, c);
  if (!(lo >= domain_start(*cv) && hi <= domain_end(*cv))) {
    *rc = BSINARG;
    return kHuge;
  }
  // The speed integral over [a, c] by the span integration (adaptive
  // Gauss-Legendre) at the relative tolerance arclen_tol.
  double rough = 0.0, value = 0.0;
  *rc = curve_length(*cv, lo, hi, 1e-3 * (hi - lo + 1.0), &rough);
  if (*rc == BSSUCC)
    *rc = curve_length(*cv, lo, hi, std::max(BSparameters.arclen_tol * rough, 1e-300), &value);
  if (*rc != BSSUCC) return kHuge;
  if (c < a) value = -value;
  *error = BSparameters.arclen_tol * std::fabs(value);
  *state = 0;
  *result = value;
  *ok = TRUE;
  return value;
}
