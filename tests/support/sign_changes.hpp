// Independent checks of root finders: every sign change of a densely sampled
// function must hold a reported root (or lie in a reported zero interval), and
// every reported root must be a near-zero of the function, ascending and distinct.
#ifndef KNOTWORK_TESTS_SIGN_CHANGES_HPP
#define KNOTWORK_TESTS_SIGN_CHANGES_HPP

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace kwtest {

// zero: (start, end) pairs; min_gap: the least distance between reported roots
// (0 allows repeats of a multiple root).
inline void expect_roots_cover_sign_changes(const std::function<double(double)> &f, double a,
                                            double b, const std::vector<double> &roots,
                                            const std::vector<double> &zero, double value_tol,
                                            double min_gap) {
  const auto covered = [&](double x0, double x1) {
    for (double r : roots)
      if (r >= x0 - 1e-9 && r <= x1 + 1e-9) return true;
    for (size_t i = 0; i + 1 < zero.size(); i += 2)
      if (zero[i] <= x1 + 1e-9 && zero[i + 1] >= x0 - 1e-9) return true;
    return false;
  };
  const int samples = 3000;
  double prev = f(a);
  for (int i = 1; i <= samples; ++i) {
    const double x0 = a + (b - a) * (i - 1) / samples, x1 = a + (b - a) * i / samples;
    const double v = f(x1);
    if ((prev < 0 && v > 0) || (prev > 0 && v < 0)) {
      EXPECT_TRUE(covered(x0, x1)) << "missed a crossing in [" << x0 << ", " << x1 << "]";
    }
    prev = v;
  }
  for (size_t j = 0; j < roots.size(); ++j) {
    EXPECT_LE(std::fabs(f(roots[j])), value_tol) << "root " << roots[j];
    if (j > 0) {
      EXPECT_GE(roots[j] - roots[j - 1], min_gap) << "duplicate near " << roots[j];
    }
  }
}

}  // namespace kwtest

#endif
