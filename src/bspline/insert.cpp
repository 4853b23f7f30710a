// Knot insertion: the insertion kernels on plain arrays and the exported
// insertion, refinement and end-clamping operations on curve records and arrays.
#include "bspline/insert.hpp"

#include <algorithm>

namespace knotwork {

// ---- Kernels on arrays -----------------------------------------------------------

void insert_knot_in_place(int k, int32_t n, const PoleSet &poles, double *knots, int32_t L,
                          double u, int r, int m) {
  const int p = k - 1;
  for (int32_t j = n - 1 + r; j >= L + 1 + r; --j) poles.copy_pole(j, j - r);
  for (int l = 1; l <= r; ++l) {
    poles.copy_pole(L - l + 1 + r, L);
    for (int32_t j = L; j >= L - p + l + m; --j) {
      // knots still hold the vector before the insertion
      const double a = (u - knots[j]) / (knots[j + k - l] - knots[j]);
      poles.blend(j, j - 1, j, a);
    }
  }
  for (int32_t j = n + k - 1 + r; j >= L + 1 + r; --j) knots[j] = knots[j - r];
  for (int32_t j = L + 1; j <= L + r; ++j) knots[j] = u;
}

namespace {
// Blending factor (u - a) / (b - a); 0 for an empty interval (the pole it would
// weigh belongs to a basis function that vanishes there).
inline double ratio(double u, double a, double b) {
  return b > a ? (u - a) / (b - a) : 0.0;
}
}  // namespace

void insert_end_knot(int k, int32_t n, const PoleSet &poles, double *knots, int32_t i, double u) {
  if (i + 1 < k) {
    for (int32_t j = 1; j <= i; ++j) {
      const double a = ratio(u, knots[j], knots[j + k - 1]);
      poles.blend(j - 1, j - 1, j, a);
    }
    for (int32_t j = 1; j <= i; ++j) knots[j - 1] = knots[j];
    knots[i] = u;
  } else if (i + 1 > n) {
    for (int32_t j = n - 1; j >= i - k + 2 && j >= 1; --j) {
      const double a = ratio(u, knots[j], knots[j + k - 1]);
      poles.blend(j, j - 1, j, a);
    }
    for (int32_t j = n + k - 1; j >= i + 2; --j) knots[j] = knots[j - 1];
    knots[i + 1] = u;
  }
}

int32_t refinement_coefficients(int k, int32_t n, const double *t, int32_t nn, const double *tau,
                                int32_t j, int32_t &mu, double *alpha) {
  const int p = k - 1;
  // The coefficient of new basis function j is the blossom, at its inner knots
  // tau[j+1 .. j+p], of the polynomial piece on any non-empty interval of its
  // support. Take the first such interval inside the domain; its midpoint picks
  // the old span (robust when new knots equal old ones up to rounding).
  const int32_t lo = std::max<int32_t>(j, p), hi = std::min<int32_t>(j + p, nn - 1);
  int32_t l = std::clamp<int32_t>(j, p, nn - 1);
  for (int32_t q = lo; q <= hi; ++q) {
    if (tau[q] < tau[q + 1]) {
      l = q;
      break;
    }
  }
  const double x = 0.5 * (tau[l] + tau[l + 1]);
  if (mu < p) mu = p;
  if (mu > n - 1) mu = n - 1;
  while (mu < n - 1 && t[mu + 1] <= x) ++mu;
  while (mu > p && t[mu] > x) --mu;
  // Blossom of the old basis functions mu-p .. mu on span mu: the product of the
  // de Boor level matrices R_1(tau[j+1]) ... R_p(tau[j+p]).
  for (int q = 0; q < p; ++q) alpha[q] = 0.0;
  alpha[p] = 1.0;
  const double *tb = t + (mu - p);  // tb[q] = t[mu - p + q]
  for (int r = 1; r <= p; ++r) {
    const double xr = tau[j + r];
    alpha[p - r] = 0.0;
    for (int q = p - r + 1; q <= p; ++q) {
      const double left = tb[q], right = tb[q + r];
      const double beta = (right - xr) / (right - left);
      const double a = alpha[q];
      alpha[q - 1] += beta * a;
      alpha[q] = (1.0 - beta) * a;
    }
  }
  return mu - p;
}

void refine_poles(int k, int32_t n, const double *t, const PoleSet &in, int32_t nn,
                  const double *tau, const PoleSet &out, double *alpha) {
  int32_t mu = k - 1;
  for (int32_t j = 0; j < nn; ++j) {
    const int32_t first = refinement_coefficients(k, n, t, nn, tau, j, mu, alpha);
    for (int g = 0; g < 2; ++g) {
      const PoleRows &src = in.group[g];
      const PoleRows &dst = out.group[g];
      for (int c = 0; c < dst.comps; ++c) {
        double sum = 0.0;
        for (int q = 0; q < k; ++q) sum += alpha[q] * src.at(first + q, c);
        dst.at(j, c) = sum;
      }
    }
  }
}

void split_triangle(int k, const double *t, int32_t s, double u, int h, const PoleSet &left,
                    const PoleSet &right) {
  const auto copy_across = [&](std::ptrdiff_t dst, std::ptrdiff_t src) {
    for (int g = 0; g < 2; ++g)
      for (int c = 0; c < right.group[g].comps; ++c)
        right.group[g].at(dst, c) = left.group[g].at(src, c);
  };
  copy_across(h, s);
  for (int r = 1; r <= h; ++r) {
    for (int32_t i = s; i >= s - h + r; --i) {
      const double a = (u - t[i]) / (t[i + k - r] - t[i]);
      left.blend(i, i - 1, i, a);
    }
    copy_across(h - r, s);
  }
}

}  // namespace knotwork
