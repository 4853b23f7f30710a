// Exported entry points of the root finders: argument checks in front of the
// workers of roots_closed_form.cpp, roots_general.cpp and roots_interval.cpp.
#include <cmath>
#include <cstring>

#include "frame/frame.hpp"
#include "numeric/roots.hpp"

using namespace knotwork;

namespace {

// Degree limit of the Legendre solver (its bisection stack grows with the square).
constexpr int32_t kMaxSeriesDegree = 320;

bool all_finite(int32_t count, const double *v) {
  for (int32_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

bool usable_tolerance(double tol) {
  return std::isfinite(tol) && tol >= 0.0;
}

}  // namespace

extern "C" {

KW_API void BSrpoly2(const double *coefs, double *re, double *im) {
  if (coefs == nullptr || re == nullptr || im == nullptr) return;
  quadratic_roots(coefs, re, im);
}

KW_API void BSrpoly3c(double p, double q, double d, double *re, double *im) {
  if (re == nullptr || im == nullptr) return;
  depressed_cubic_roots(p, q, d, re, im);
}

KW_API void BSrpoly3(const double *coefs, double *re, double *im, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || re == nullptr || im == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!all_finite(4, coefs)) {
    *rc = BSINARG;
    return;
  }
  const double sc = unit_scale(4, coefs);
  const double c[4] = {coefs[0] * sc, coefs[1] * sc, coefs[2] * sc, coefs[3] * sc};
  *rc = cubic_roots(c, re, im);
  if (*rc == BSSUCC && !all_finite(3, re)) *rc = BSFAIL;
}

KW_API void BSrpoly4(const double *coefs, double *re, double *im, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || re == nullptr || im == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!all_finite(5, coefs)) {
    *rc = BSINARG;
    return;
  }
  const double sc = unit_scale(5, coefs);
  const double c[5] = {coefs[0] * sc, coefs[1] * sc, coefs[2] * sc, coefs[3] * sc, coefs[4] * sc};
  *rc = quartic_roots(c, re, im);
  if (*rc == BSSUCC && !(all_finite(4, re) && all_finite(4, im))) *rc = BSFAIL;
}

KW_API BSboolean BSrpoly(BSrc *rc, const double *coefs, const int16_t *degree, double *re,
                         double *im) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || degree == nullptr || re == nullptr || im == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  const int32_t n = *degree;
  if (n < 1 || !all_finite(n + 1, coefs)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  if (n == 1) {
    if (coefs[1] == 0.0) {
      *rc = BSINARG;
      return KW_FINISH(FALSE);
    }
    re[0] = -coefs[0] / coefs[1];
    im[0] = 0.0;
  } else if (n == 2) {
    quadratic_roots(coefs, re, im);
  } else if (n == 3) {
    *rc = cubic_roots(coefs, re, im);
  } else if (n == 4) {
    *rc = quartic_roots(coefs, re, im);
  } else if (std::fabs(coefs[n]) < 6.310887241768095e-30) {
    *rc = BSINARG;
  } else {
    *rc = polynomial_roots(n, coefs, re, im);
  }
  if (*rc == BSSUCC && !(all_finite(n, re) && all_finite(n, im))) *rc = BSFAIL;
  return KW_FINISH(TRUE);
}

KW_API void BSnulpol(int32_t n, const double *coefs, double x, BSboolean *flag) {
  if (coefs == nullptr || flag == nullptr) return;
  *flag = (n >= 0 && is_poly_root(n, coefs, x)) ? TRUE : FALSE;
}

KW_API void BScbrt(double x, double *out) {
  if (out != nullptr) *out = cube_root(x);
}

KW_API void BSkroot(double x, int32_t k, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = kth_root(x, k, out);
}

KW_API void BSdsqrtc(double re, double im, double *root_re, double *root_im) {
  if (root_re == nullptr || root_im == nullptr) return;
  complex_sqrt(re, im, root_re, root_im);
}

KW_API void BSinvc(double re, double im, double *inv_re, double *inv_im) {
  if (inv_re == nullptr || inv_im == nullptr) return;
  complex_inverse(re, im, inv_re, inv_im);
}

KW_API double BSpower(BSrc *rc, double x, int32_t n) {
  KW_EPILOGUE(rc);
  if (!std::isfinite(x)) {
    *rc = BSINARG;
    return 0.0;
  }
  if (x == 0.0 && n < 0) {
    *rc = BSDIVZERO;
    return 0.0;
  }
  return int_power(x, n);
}

KW_API double BSrpower(double x, double y, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (!std::isfinite(x) || !std::isfinite(y)) {
    *rc = BSINARG;
    return 0.0;
  }
  if (y == 0.0) return 1.0;
  if (x == 0.0) {
    if (y < 0.0) *rc = BSDIVZERO;
    return 0.0;
  }
  if (x < 0.0) {  // exp(y ln x) has no real value
    *rc = BSINARG;
    return 0.0;
  }
  return std::exp(y * std::log(x));
}

KW_API void BSboxlgd1(int32_t n, const double *coefs, double tol, BSboolean *may_vanish) {
  if (coefs == nullptr || may_vanish == nullptr || n < 0) return;
  double tail = 0.0;
  for (int32_t i = 1; i <= n; ++i) tail += std::fabs(coefs[i]);
  *may_vanish = std::fabs(coefs[0]) <= std::fmax(tol, 1e-14 * tail) + tail ? TRUE : FALSE;
}

KW_API void BSchkzolgd(int32_t n, const double *coefs, double tol, BSboolean *is_zero) {
  if (coefs == nullptr || is_zero == nullptr) return;
  double sum = 0.0;
  for (int32_t i = 0; i <= n; ++i) sum += std::fabs(coefs[i]);
  *is_zero = sum <= tol ? TRUE : FALSE;
}

KW_API void BSrtlgd2(const double *coefs, double tol, int32_t *count, double *roots,
                     BSboolean *ambiguous) {
  if (coefs == nullptr || count == nullptr || roots == nullptr || ambiguous == nullptr) return;
  bool amb = false;
  quadratic_legendre_roots(coefs, tol, count, roots, &amb);
  *ambiguous = amb ? TRUE : FALSE;
}

KW_API void BSfndrtlgd1(int32_t n, const double *coefs, double tol, int32_t *count, double *roots,
                        BSrc *rc) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || count == nullptr || roots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 0 || n > kMaxSeriesDegree || !usable_tolerance(tol) || !all_finite(n + 1, coefs)) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer buf(static_cast<std::size_t>(2 * (n + 1)) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *scaled = buf.as<double>() + (n + 1);
  const double sc = unit_scale(n + 1, coefs);
  for (int32_t i = 0; i <= n; ++i) scaled[i] = coefs[i] * sc;
  int32_t cnt = 0;
  *rc = legendre_roots(n, scaled, tol * sc, &cnt, buf.as<double>());
  if (*rc != BSSUCC) return;
  *count = cnt;
  if (cnt > 0) std::memcpy(roots, buf.as<double>(), static_cast<std::size_t>(cnt) * sizeof(double));
}

KW_API void BSfndrtlgd1ab(int32_t n, const double *coefs, double u0, double u1, double s0,
                          double s1, double tol, int32_t *count, double *roots, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (coefs == nullptr || count == nullptr || roots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (n < 0 || n > kMaxSeriesDegree || !usable_tolerance(tol) || !all_finite(n + 1, coefs) ||
      !std::isfinite(u0) || !std::isfinite(u1) || !std::isfinite(s0) || !std::isfinite(s1) ||
      !(u0 < u1) || s1 < s0) {
    *rc = BSINARG;
    return;
  }
  // Parameters within the knot tolerance (scaled by their size) are one.
  const double gap = tol_knot_gap(u0, u1);
  const auto same = [gap](double x, double y) { return std::fabs(x - y) <= gap; };
  if ((s1 < u0 && !same(s1, u0)) || (s0 > u1 && !same(s0, u1))) {
    *count = 0;
    return;
  }
  const bool whole = (s0 <= u0 || same(s0, u0)) && (s1 >= u1 || same(s1, u1));
  const double lo = whole ? u0 : std::fmax(s0, u0), hi = whole ? u1 : std::fmin(s1, u1);
  ScratchBuffer buf(static_cast<std::size_t>(5 * (n + 1)) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *series = buf.as<double>(), *found = series + (n + 1), *work = found + (n + 1);
  const double sc = unit_scale(n + 1, coefs);  // exact: the same roots, no overflow
  for (int32_t i = 0; i <= n; ++i) found[i] = coefs[i] * sc;
  if (whole) {
    for (int32_t i = 0; i <= n; ++i) series[i] = found[i];
  } else {
    const double alpha = 2.0 * (lo - u0) / (u1 - u0) - 1.0,
                 beta = 2.0 * (hi - u0) / (u1 - u0) - 1.0;
    rootseries::restrict_to(n, found, alpha, beta, series, work);
  }
  int32_t cnt = 0;
  *rc = legendre_roots(n, series, tol * sc, &cnt, found);
  if (*rc != BSSUCC) return;
  for (int32_t i = 0; i < cnt; ++i) {
    const double r = found[i];
    roots[i] = r == -1.0 ? lo : r == 1.0 ? hi : lo + (r + 1.0) / 2.0 * (hi - lo);
  }
  *count = cnt;
}

KW_API void BSfndrtbez1(int32_t order, const double *coefs, double a, double b, double tol,
                        int32_t *count, double *roots, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == nullptr || roots == nullptr || (coefs == nullptr && order > 0)) {
    *rc = BSNULLPTR;
    return;
  }
  if (order > kMaxSeriesDegree + 1 || !usable_tolerance(tol) || !std::isfinite(a) ||
      !std::isfinite(b) || (order > 0 && !all_finite(order, coefs))) {
    *rc = BSINARG;
    return;
  }
  if (order < 1) {
    *count = -1;
    return;
  }
  ScratchBuffer buf(static_cast<std::size_t>(order) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  int32_t cnt = 0;
  *rc = bezier_roots(order, coefs, a, b, tol, &cnt, buf.as<double>());
  if (*rc != BSSUCC) return;
  *count = cnt;
  if (cnt > 0) std::memcpy(roots, buf.as<double>(), static_cast<std::size_t>(cnt) * sizeof(double));
}

KW_API void BSfndrtbsp1(int32_t order, int32_t num_poles, const double *poles, const double *knots,
                        double tol, int32_t *num_roots, double *roots, int32_t *num_zero,
                        double *zero_pairs, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr || num_roots == nullptr || roots == nullptr ||
      num_zero == nullptr || zero_pairs == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!scalar_spline_ok(order, num_poles, poles, knots) || !usable_tolerance(tol)) {
    *rc = BSINARG;
    return;
  }
  *rc = spline_roots(order, num_poles, poles, knots, tol, knot_gap_of(order, num_poles, knots),
                     num_roots, roots, num_zero, zero_pairs);
}

KW_API BSboolean BSbzeroes(BSrc *rc, const int16_t *degree, const void *unused, const double *poles,
                           const int32_t *last_index, const double *knots, int32_t *num_roots,
                           double *roots, int32_t *num_zero, double *zero_starts,
                           double *zero_ends) {
  (void)unused;
  KW_EPILOGUE(rc);
  if (degree == nullptr || poles == nullptr || last_index == nullptr || knots == nullptr ||
      num_roots == nullptr || roots == nullptr || num_zero == nullptr || zero_starts == nullptr ||
      zero_ends == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  const int32_t order = *degree + 1, n = *last_index + 1;
  if (!scalar_spline_ok(order, n, poles, knots)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  const int32_t spans = n - order + 1;
  ScratchBuffer buf(static_cast<std::size_t>(2 * spans) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOMEMORY;
    return KW_FINISH(FALSE);
  }
  double *pairs = buf.as<double>();
  int32_t nz = 0;
  *rc = spline_roots(order, n, poles, knots, kBzeroesTolerance, knot_gap_of(order, n, knots),
                     num_roots, roots, &nz, pairs);
  for (int32_t i = 0; i < nz; ++i) {
    zero_starts[i] = pairs[2 * i];
    zero_ends[i] = pairs[2 * i + 1];
  }
  *num_zero = nz;
  return KW_FINISH(TRUE);
}

}  // extern "C"
