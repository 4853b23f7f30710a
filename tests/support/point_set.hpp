// Point-set comparison of curves whose parametrisations differ (reweighted,
// reparametrised, joined): the distance from a point to a curve by a dense scan
// and a golden-section search on the reference evaluator, with no library kernel.
#ifndef KNOTWORK_TESTS_POINT_SET_HPP
#define KNOTWORK_TESTS_POINT_SET_HPP

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "ref_curves.hpp"

namespace kwtest {

// Parameters on every knot span of cv within [lo, hi] whose points lie no farther
// apart than `step` (spans bisected as needed).
inline std::vector<double> spaced_parameters(const BScurve &cv, double lo, double hi,
                                             double step = 0.05) {
  std::vector<double> u{lo};
  const auto fill = [&](auto &self, double a, double b, int depth) -> void {
    const auto pa = ref_eval(cv, a), pb = ref_eval(cv, b);
    if (depth < 14 && std::hypot(pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]) > step) {
      self(self, a, 0.5 * (a + b), depth + 1);
      self(self, 0.5 * (a + b), b, depth + 1);
    } else {
      u.push_back(b);
    }
  };
  for (int32_t s = cv.order - 1; s < cv.num_poles; ++s) {
    const double a = std::max(lo, cv.knots[s]), b = std::min(hi, cv.knots[s + 1]);
    for (int i = 1; b > a && i <= 4; ++i)
      fill(fill, a + (b - a) * (i - 1) / 4, a + (b - a) * i / 4, 0);
  }
  return u;
}

// Distance from x to the curve sampled at u (from spaced_parameters with `step`):
// a golden-section search around every sampled local minimum and every sample
// within step of x (the distance is
// V-shaped at a point on the curve, so the search reaches it to rounding).
inline double distance_to_curve(const BScurve &cv, const std::array<double, 3> &x,
                                const std::vector<double> &u, double step = 0.05) {
  const auto dist = [&](double t) {
    const auto p = ref_eval(cv, t);
    return std::hypot(p[0] - x[0], p[1] - x[1], p[2] - x[2]);
  };
  std::vector<double> d(u.size());
  for (size_t i = 0; i < u.size(); ++i) d[i] = dist(u[i]);
  double result = *std::min_element(d.begin(), d.end());
  for (size_t i = 0; i < u.size(); ++i) {
    const bool local_min = !(i > 0 && d[i - 1] < d[i]) && !(i + 1 < u.size() && d[i + 1] < d[i]);
    if (!local_min && d[i] > step) continue;
    double a = u[i > 0 ? i - 1 : 0], b = u[std::min(i + 1, u.size() - 1)];
    const double g = 0.6180339887498949;
    double c = b - g * (b - a), e = a + g * (b - a), fc = dist(c), fe = dist(e);
    for (int it = 0; it < 64 && b - a > 0.0; ++it) {
      if (fc < fe) {
        b = e, e = c, fe = fc, c = b - g * (b - a), fc = dist(c);
      } else {
        a = c, c = e, fc = fe, e = a + g * (b - a), fe = dist(e);
      }
    }
    result = std::min({result, fc, fe});
  }
  return result;
}

// Largest distance from `samples` points of a to the curve b.
inline double point_set_deviation(const BScurve &a, const BScurve &b, int samples = 10) {
  const std::vector<double> u = spaced_parameters(b, b.knots[b.order - 1], b.knots[b.num_poles]);
  const double alo = a.knots[a.order - 1], ahi = a.knots[a.num_poles];
  double worst = 0.0;
  for (int i = 0; i <= samples; ++i)
    worst = std::max(worst, distance_to_curve(b, ref_eval(a, alo + (ahi - alo) * i / samples), u));
  return worst;
}

}  // namespace kwtest

#endif
