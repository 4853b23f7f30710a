// Closed-form roots of real polynomials of degree 2, 3 and 4 (ascending power
// coefficients, complex roots as parallel real and imaginary arrays) and the
// small helpers they use: cube and k-th roots, the root test, complex square root
// and inverse, integer and real powers. Each degenerate configuration is detected
// first; in the general case the root of smallest magnitude comes from the
// reciprocal polynomial and the others from exact deflation.
#include <cfloat>
#include <cmath>

#include "frame/frame.hpp"
#include "numeric/roots.hpp"

namespace knotwork {

namespace {

constexpr double kInfRoot = DBL_MAX;  // a root at infinity (leading coefficient 0)

void set_real(double *re, double *im, int slot, double v) {
  re[slot] = v;
  im[slot] = 0.0;
}

// The shared refinement of cube and k-th roots: Newton corrections while they
// are non-zero, stopping when a correction changes sign (applied once more only
// if the residual grew), at most 21 corrections.
double refine_root(double ax, int32_t k, double y) {
  const auto power = [k](double v) {
    double p = 1.0;
    for (int32_t i = 0; i < k - 1; ++i) p *= v;
    return p;
  };
  double prev_delta = 0.0, prev_res = 0.0;
  for (int iter = 0; iter <= 20; ++iter) {
    const double pk1 = power(y);
    const double res = ax - pk1 * y;
    const double delta = res / (k * pk1);
    if (delta == 0.0 || !std::isfinite(delta)) break;
    if (iter > 0 && (delta > 0.0) != (prev_delta > 0.0)) {
      if (std::fabs(res) > std::fabs(prev_res)) y += delta;
      break;
    }
    y += delta;
    prev_delta = delta;
    prev_res = res;
  }
  return y;
}

}  // namespace

double cube_root(double x) {
  if (x == 0.0 || !std::isfinite(x)) return x;
  const double ax = std::fabs(x);
  const double y = refine_root(ax, 3, std::pow(ax, 1.0 / 3.0));
  return x < 0.0 ? -y : y;
}

bool is_poly_root(int32_t n, const double *c, double x) {
  if (x == 0.0) return c[0] == 0.0;
  double m = 0.0, xi = 1.0, p = 0.0;
  for (int32_t i = 0; i <= n; ++i) {
    m = std::fmax(m, std::fabs(c[i] * xi));
    xi *= x;
  }
  for (int32_t i = n; i >= 0; --i) p = p * x + c[i];
  return std::fabs(p) < 1e-14 * m;
}

// Principal square root, computed without cancellation: the larger part from
// sqrt((|re| + r)/2), the other from im / (2 * that).
void complex_sqrt(double re, double im, double *sre, double *sim) {
  if (re == 0.0 && im == 0.0) {
    *sre = *sim = 0.0;
    return;
  }
  const double r = std::hypot(re, im);
  const double t = std::sqrt((std::fabs(re) + r) / 2.0);
  if (re >= 0.0) {
    *sre = t;
    *sim = im / (2.0 * t);
  } else {
    *sre = std::fabs(im) / (2.0 * t);
    *sim = std::copysign(t, im);
  }
}

void complex_inverse(double re, double im, double *ire, double *iim) {
  const double d = re * re + im * im;
  *ire = re / d;
  *iim = -im / d;
}

void quadratic_roots(const double *c, double *re, double *im) {
  const double c0 = c[0], c1 = c[1], c2 = c[2];
  if (c2 == 0.0) {
    set_real(re, im, 0, kInfRoot);
    set_real(re, im, 1, c1 != 0.0 ? -c0 / c1 : kInfRoot);
    return;
  }
  const double mn = std::fmin(std::fabs(c0), std::fmin(std::fabs(c1), std::fabs(c2)));
  if (std::fabs(c0 - c1 * c1 / (4.0 * c2)) < 1e-14 * mn) {
    set_real(re, im, 0, -c1 / (2.0 * c2));
    set_real(re, im, 1, -c1 / (2.0 * c2));
    return;
  }
  const double d = c1 * c1 - 4.0 * c0 * c2;
  if (d <= 0.0) {
    re[0] = re[1] = -c1 / (2.0 * c2);
    im[0] = std::sqrt(-d) / (2.0 * c2);
    im[1] = -im[0];
    return;
  }
  const double s = std::sqrt(d);
  const double q = c1 >= 0.0 ? -c1 - s : s - c1;
  set_real(re, im, 0, q / (2.0 * c2));
  set_real(re, im, 1, c0 / (c2 * re[0]));
}

void depressed_cubic_roots(double p, double q, double d, double *re, double *im) {
  if (d >= 0.0) {
    const double aq = std::fabs(q), s = std::sqrt(d / 27.0) / 2.0;
    const double u = cube_root(aq / 2.0 + s);
    const double v = aq / 2.0 + s != 0.0 ? cube_root(-p * p * p / (27.0 * (aq / 2.0 + s))) : 0.0;
    double r, w;
    if (aq / 2.0 - s <= 0.0) {
      const double den = u * u - u * v + v * v;
      r = den != 0.0 ? aq / den : 0.0;
      w = u - v;
    } else {
      r = u + v;
      const double den = u * u + u * v + v * v;
      w = den != 0.0 ? std::sqrt(d / 27.0) / den : 0.0;
    }
    // Roots of t^3 + p t - |q|; q > 0 mirrors them.
    const double sign = q > 0.0 ? -1.0 : 1.0;
    set_real(re, im, 0, sign * r);
    re[1] = re[2] = sign * (-r / 2.0);
    im[1] = sign * (std::sqrt(3.0) / 2.0 * w);
    im[2] = -im[1];
    return;
  }
  const double m = std::sqrt(-p / 3.0);
  double theta = q != 0.0 ? std::atan2(std::sqrt(-d / 27.0) / 2.0 / (-q / 2.0), 1.0) : M_PI / 2.0;
  if (q > 0.0) theta += M_PI;
  theta /= 3.0;
  set_real(re, im, 0, 2.0 * m * std::cos(theta));
  set_real(re, im, 1, 2.0 * m * std::cos(theta + 2.0 * M_PI / 3.0));
  set_real(re, im, 2, 2.0 * m * std::cos(theta - 2.0 * M_PI / 3.0));
}

namespace {

// Roots of x^2 + (c2/c3 + r) x - c0/(c3 r): the exact quotient of the cubic by (x - r).
void deflated_cubic_pair(const double *c, double r, double *re, double *im) {
  const double q[3] = {-c[0] / (c[3] * r), c[2] / c[3] + r, 1.0};
  quadratic_roots(q, re, im);
}

}  // namespace

BSrc cubic_roots(const double *c, double *re, double *im) {
  const double c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3];
  if (c3 == 0.0) {
    quadratic_roots(c, re, im);
    set_real(re, im, 2, kInfRoot);
    return BSSUCC;
  }
  const double big =
      std::fmax(std::fmax(std::fabs(c0), std::fabs(c1)), std::fmax(std::fabs(c2), std::fabs(c3)));
  if (c0 == 0.0 || (!(c1 != 0.0 && std::fabs(c0 / c1) < 1e-20) && std::fabs(c0) < 1e-40 * big)) {
    quadratic_roots(c + 1, re, im);
    set_real(re, im, 2, 0.0);
    return BSSUCC;
  }
  if (c1 != 0.0 && std::fabs(c0 / c1) < 1e-20) {
    const double r = -c0 / c1;
    set_real(re, im, 2, r);
    deflated_cubic_pair(c, r, re, im);
    return BSSUCC;
  }
  const double dc[3] = {c1, 2.0 * c2, 3.0 * c3};
  const double xi = -c2 / (3.0 * c3);
  if (is_poly_root(2, dc, xi) && is_poly_root(3, c, xi)) {
    for (int i = 0; i < 3; ++i) set_real(re, im, i, xi);
    return BSSUCC;
  }
  double cre[2], cim[2];
  quadratic_roots(dc, cre, cim);
  if (cim[0] == 0.0) {
    bool found = false;
    double r = 0.0;
    for (int i = 0; i < 2; ++i)
      if (cre[i] != kInfRoot && is_poly_root(3, c, cre[i])) {
        r = cre[i];
        found = true;
      }
    if (found && r != 0.0) {
      set_real(re, im, 0, r);
      set_real(re, im, 1, r);
      set_real(re, im, 2, -c0 / (c3 * r * r));
      return BSSUCC;
    }
  }
  // Reciprocal polynomial c0 y^3 + c1 y^2 + c2 y + c3 in y = 1/x, depressed.
  const double a = c1 / c0, b = c2 / c0, cc = c3 / c0;
  const double p = b - a * a / 3.0, q = 2.0 * a * a * a / 27.0 - a * b / 3.0 + cc;
  const double d =
      (std::fabs(p) >= 1.0 && std::fabs(q) >= 1.0)
          ? 4.0 * b * b * b - a * a * b * b + (4.0 * a * a * a + 27.0 * cc) * cc - 18.0 * a * b * cc
          : 4.0 * p * p * p + 27.0 * q * q;
  double yr[3], yi[3];
  depressed_cubic_roots(p, q, d, yr, yi);
  for (double &v : yr) v -= a / 3.0;
  if (yi[1] != 0.0) {
    const double m2 = yr[1] * yr[1] + yi[1] * yi[1];
    if (std::sqrt(m2) <= std::fabs(yr[0])) {
      if (!(std::fabs(yr[0]) > 0.0)) return BSFAIL;
      set_real(re, im, 0, 1.0 / yr[0]);
      deflated_cubic_pair(c, re[0], re + 1, im + 1);
    } else {
      if (!(m2 > 0.0) || !std::isfinite(m2)) return BSFAIL;
      re[1] = re[2] = yr[1] / m2;
      im[1] = yi[1] / m2;
      im[2] = -im[1];
      set_real(re, im, 0, -m2 * c0 / c3);
    }
    return BSSUCC;
  }
  int best = 0;
  for (int i = 1; i < 3; ++i)
    if (std::fabs(yr[i]) > std::fabs(yr[best])) best = i;
  if (!(std::fabs(yr[best]) > 0.0) || !std::isfinite(yr[best])) return BSFAIL;
  set_real(re, im, 2, 1.0 / yr[best]);
  deflated_cubic_pair(c, re[2], re, im);
  return BSSUCC;
}

namespace {

// Factors y^4 + P y^2 + Q y + R = (y^2 + s y + A)(y^2 - s y + B) (Ferrari). False
// when neither the resolvent nor its fallback quadratic gives a real factorisation.
bool ferrari_factor(double a, double b, double c, double d, double *s_out, double *A_out,
                    double *B_out, double *P_out) {
  const double P = b - 3.0 * a * a / 8.0, Q = a * a * a / 8.0 - a * b / 2.0 + c;
  const double R = (b / 16.0 - 3.0 * a * a / 256.0) * a * a - c * a / 4.0 + d;
  *P_out = P;
  const double res[4] = {-Q * Q, P * P - 4.0 * R, 2.0 * P, 1.0};
  double mr[3], mi[3];
  double m = -1.0;
  if (cubic_roots(res, mr, mi) == BSSUCC)
    for (int i = 0; i < 3; ++i)
      if (mi[i] == 0.0 && mr[i] > 0.0 && (m < 0.0 || mr[i] < m)) m = mr[i];
  if (m > 0.0 && std::isfinite(m)) {
    const double s = std::sqrt(m), E = m + P, F = Q / s;
    double A, B;
    if (F * E <= 0.0) {
      A = (E - F) / 2.0;
      B = R / A;
    } else {
      B = (E + F) / 2.0;
      A = R / B;
    }
    *s_out = s;
    *A_out = A;
    *B_out = B;
    return std::isfinite(A) && std::isfinite(B);
  }
  const double u[3] = {R, P, 1.0};
  double ur[2], ui[2];
  quadratic_roots(u, ur, ui);
  if (ui[0] != 0.0) return false;
  *s_out = 0.0;
  *A_out = -ur[0];
  *B_out = -ur[1];
  return true;
}

}  // namespace

BSrc quartic_roots(const double *c, double *re, double *im) {
  const double c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3], c4 = c[4];
  if (c4 == 0.0) {
    const BSrc rc = cubic_roots(c, re, im);
    set_real(re, im, 3, kInfRoot);
    return rc;
  }
  if (c1 == 0.0 && c3 == 0.0) {  // biquadratic
    const double z[3] = {c0, c2, c4};
    double zr[2], zi[2], w0r, w0i, w1r, w1i;
    quadratic_roots(z, zr, zi);
    complex_sqrt(zr[0], zi[0], &w0r, &w0i);
    complex_sqrt(zr[1], zi[1], &w1r, &w1i);
    if (zi[0] == 0.0) {
      const double r[4] = {w0r, -w0r, w1r, -w1r}, i[4] = {w0i, -w0i, w1i, -w1i};
      for (int k = 0; k < 4; ++k) re[k] = r[k], im[k] = i[k];
    } else {
      const double r[4] = {w0r, w0r, -w0r, -w0r}, i[4] = {w0i, -w0i, w0i, -w0i};
      for (int k = 0; k < 4; ++k) re[k] = r[k], im[k] = i[k];
    }
    return BSSUCC;
  }
  const double p0 = c0 / c4, p2 = c2 / c4, p3 = c3 / c4;
  if (c0 == c4 && c1 == c3) {  // palindromic: z = x + 1/x
    const double zc[3] = {c2 - 2.0 * c4, c3, c4};
    double zr[2], zi[2];
    quadratic_roots(zc, zr, zi);
    if (zi[0] != 0.0) {
      // x = (z + sqrt(z^2 - 4)) / 2
      double sr, si;
      complex_sqrt(zr[0] * zr[0] - zi[0] * zi[0] - 4.0, 2.0 * zr[0] * zi[0], &sr, &si);
      re[0] = (zr[0] + sr) / 2.0;
      im[0] = (zi[0] + si) / 2.0;
      re[1] = re[0];
      im[1] = -im[0];
      complex_inverse(re[0], im[0], &re[2], &im[2]);
      complex_inverse(re[1], im[1], &re[3], &im[3]);
    } else if (zr[0] != zr[1]) {
      const double qa[3] = {1.0, -zr[0], 1.0}, qb[3] = {1.0, -zr[1], 1.0};
      quadratic_roots(qa, re, im);
      quadratic_roots(qb, re + 2, im + 2);
    } else {
      const double qa[3] = {1.0, c3 / (2.0 * c4), 1.0};
      quadratic_roots(qa, re, im);
      re[2] = re[0], im[2] = im[0], re[3] = re[1], im[3] = im[1];
    }
    return BSSUCC;
  }
  if (c0 == 0.0) {
    const BSrc rc = cubic_roots(c + 1, re, im);
    if (rc == BSSUCC) set_real(re, im, 3, 0.0);
    return rc;
  }
  const double d2[3] = {2.0 * c2, 6.0 * c3, 12.0 * c4};
  const double d1[4] = {c1, 2.0 * c2, 3.0 * c3, 4.0 * c4};
  const double xs = -c3 / (4.0 * c4);
  if (is_poly_root(2, d2, xs) && is_poly_root(3, d1, xs) && is_poly_root(4, c, xs)) {
    for (int i = 0; i < 4; ++i) set_real(re, im, i, xs);
    return BSSUCC;
  }
  double sr[3], si[3];
  quadratic_roots(d2, sr, si);
  if (si[0] == 0.0) {
    bool found = false;
    double r = 0.0;
    for (int i = 0; i < 2; ++i)
      if (is_poly_root(3, d1, sr[i]) && is_poly_root(4, c, sr[i])) {
        r = sr[i];
        found = true;
      }
    if (found && r != 0.0) {
      for (int i = 0; i < 3; ++i) set_real(re, im, i, r);
      set_real(re, im, 3, c0 / (c4 * r * r * r));
      return BSSUCC;
    }
  }
  const double tol =
      1e-14 *
      std::fmax(std::fmax(std::fabs(c0), std::fabs(c1)), std::fmax(std::fabs(c2), std::fabs(c3))) /
      std::fabs(c4);
  const double h = c3 / (2.0 * c4);
  if (h != 0.0) {
    const double k = c1 / (2.0 * h * c4);
    if (std::fabs(k * k - p0) <= tol && std::fabs(h * h + 2.0 * k - p2) <= tol) {
      const double q[3] = {k, h, 1.0};
      double qr[2], qi[2];
      quadratic_roots(q, qr, qi);
      re[0] = re[1] = qr[0], im[0] = im[1] = qi[0];
      re[2] = re[3] = qr[1], im[2] = im[3] = qi[1];
      return BSSUCC;
    }
  }
  {
    BSrc rc = cubic_roots(d1, sr, si);
    if (rc != BSSUCC) return rc;
    bool found = false;
    double r = 0.0;
    for (int i = 0; i < 3; ++i)
      if (si[i] == 0.0 && sr[i] != kInfRoot && is_poly_root(4, c, sr[i])) {
        r = sr[i];
        found = true;
      }
    if (found && r != 0.0) {
      set_real(re, im, 2, r);
      set_real(re, im, 3, r);
      const double q[3] = {p0 / (r * r), p3 + 2.0 * r, 1.0};
      quadratic_roots(q, re, im);
      return BSSUCC;
    }
  }
  // Ferrari: count the real roots on the quartic itself, then compute the roots of
  // the reciprocal quartic c0 y^4 + ... + c4, the largest of which is the inverse
  // of the smallest x.
  double s, A, B, P;
  if (!ferrari_factor(p3, p2, c1 / c4, p0, &s, &A, &B, &P)) return BSFAIL;
  const int real_count = (s * s - 4.0 * A > 0.0 ? 2 : 0) + (s * s - 4.0 * B > 0.0 ? 2 : 0);
  if (!ferrari_factor(c1 / c0, c2 / c0, c3 / c0, c4 / c0, &s, &A, &B, &P)) return BSFAIL;
  double yr[4], yi[4];
  const double fa[3] = {A, s, 1.0}, fb[3] = {B, -s, 1.0};
  quadratic_roots(fa, yr, yi);
  quadratic_roots(fb, yr + 2, yi + 2);
  for (double &v : yr) v -= c1 / (4.0 * c0);
  const auto real_slot = [&](int j) {
    if (!(std::fabs(yr[j]) > 0.0) || !std::isfinite(yr[j])) return BSFAIL;
    const double x = 1.0 / yr[j];
    set_real(re, im, 3, x);
    const double q[4] = {-p0 / x, p2 + (p3 + x) * x, p3 + x, 1.0};
    return cubic_roots(q, re, im);
  };
  const auto complex_slots = [&](int j) {
    double xr, xi;
    const double m2 = yr[j] * yr[j] + yi[j] * yi[j];
    if (!(m2 > 0.0) || !std::isfinite(m2)) return BSFAIL;
    complex_inverse(yr[j], yi[j], &xr, &xi);
    re[2] = re[3] = xr;
    im[2] = std::fabs(xi);
    im[3] = -std::fabs(xi);
    const double q[3] = {p0 / (xr * xr + xi * xi), p3 + 2.0 * xr, 1.0};
    quadratic_roots(q, re, im);
    return BSSUCC;
  };
  if (real_count == 4) {
    int best = 0;
    for (int j = 1; j < 4; ++j)
      if (std::fabs(yr[j]) > std::fabs(yr[best])) best = j;
    return real_slot(best);
  }
  if (real_count == 0) {
    const double m0 = yr[0] * yr[0] + yi[0] * yi[0], m1 = yr[2] * yr[2] + yi[2] * yi[2];
    return complex_slots(m0 <= m1 ? 2 : 0);
  }
  int best = 0;
  double bm = -1.0;
  for (int j = 0; j < 4; ++j) {
    const double mj = yr[j] * yr[j] + yi[j] * yi[j];
    if (mj > bm) {
      bm = mj;
      best = j;
    }
  }
  return yi[best] != 0.0 ? complex_slots(best) : real_slot(best);
}

BSrc kth_root(double x, int32_t k, double *out) {
  if (x == 0.0) {
    *out = 0.0;
    return BSSUCC;
  }
  if (k < 1 || (x < 0.0 && k % 2 == 0) || !std::isfinite(x)) return BSINARG;
  const double ax = std::fabs(x);
  const double y = refine_root(ax, k, std::pow(ax, 1.0 / k));
  *out = x < 0.0 ? -y : y;
  return BSSUCC;
}

double int_power(double x, int32_t n) {
  if (n == 0) return 1.0;
  const int32_t an = n < 0 ? -n : n;
  if (an < 10) {
    double p = x;
    for (int32_t i = 1; i < an; ++i) p *= x;
    return n < 0 ? 1.0 / p : p;
  }
  const double v = std::exp(n * std::log(std::fabs(x)));
  return (x < 0.0 && (an % 2 == 1)) ? -v : v;
}

}  // namespace knotwork
