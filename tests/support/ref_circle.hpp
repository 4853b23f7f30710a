// A full circle as a test curve: four rational quadratic quarters (9 poles) in the
// plane z = centre[2], starting at centre + (r, 0, 0), knots spread over [lo, hi],
// every weight multiplied by weight_scale.
#ifndef KNOTWORK_TESTS_SUPPORT_REF_CIRCLE_HPP
#define KNOTWORK_TESTS_SUPPORT_REF_CIRCLE_HPP

#include <cmath>

#include "ref_curves.hpp"

namespace kwtest {

inline RefCurve ref_circle(const double *centre, double r, double lo = 0, double hi = 4,
                           double weight_scale = 1) {
  const double xy[9][2] = {{1, 0},   {1, 1},  {0, 1},  {-1, 1}, {-1, 0},
                           {-1, -1}, {0, -1}, {1, -1}, {1, 0}};
  RefCurve c;
  c.k = 3;
  c.closed = true;
  for (int i = 0; i < 9; ++i) {
    const double w = weight_scale * (i % 2 ? std::sqrt(0.5) : 1.0);
    c.weights.push_back(w);
    for (double x : {centre[0] + r * xy[i][0], centre[1] + r * xy[i][1], centre[2]})
      c.poles.push_back(w * x);
  }
  for (double t : {0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4}) c.knots.push_back(lo + (hi - lo) * t / 4);
  return c;
}

}  // namespace kwtest

#endif
