// Bounding boxes: containment of sampled curves, distance bounds against brute
// force, dual frames against multiplication, and every failure status.
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "query/boxes.hpp"
#include "ref_curves.hpp"
#include "support.hpp"

namespace {

using kwtest::CurveShape;
using kwtest::RefCurve;

class Boxes : public kwtest::GuardedTest {};

// Rows of a curve restricted to dim coordinates (the weight row follows).
std::vector<double> rows_in_dim(const RefCurve &cv, int dim) {
  const int32_t n = cv.n();
  std::vector<double> r = cv.rows();
  std::vector<double> out;
  for (int c = 0; c < dim; ++c) out.insert(out.end(), r.begin() + c * n, r.begin() + (c + 1) * n);
  if (cv.rational()) out.insert(out.end(), r.begin() + 3 * n, r.end());
  return out;
}

std::vector<std::array<double, 3>> sample(const RefCurve &cv, int count) {
  std::vector<std::array<double, 3>> pts;
  for (int i = 0; i <= count; ++i) {
    pts.push_back(kwtest::ref_eval(cv, cv.lo() + (cv.hi() - cv.lo()) * i / count));
  }
  return pts;
}

// Coordinates of v in the frame of the half-axes (rows), by Cramer's rule.
std::array<double, 3> frame_coords(int dim, const double *h, const double *v) {
  if (dim == 2) {
    const double det = h[0] * h[3] - h[1] * h[2];
    return {(v[0] * h[3] - v[1] * h[2]) / det, (h[0] * v[1] - h[1] * v[0]) / det, 0.0};
  }
  auto det3 = [](const double *a, const double *b, const double *c) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
           a[2] * (b[0] * c[1] - b[1] * c[0]);
  };
  const double d = det3(h, h + 3, h + 6);
  return {det3(v, h + 3, h + 6) / d, det3(h, v, h + 6) / d, det3(h, h + 3, v) / d};
}

TEST_F(Boxes, BoxpolesAndBx2ContainRandomRationalCurves) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    CurveShape shape;
    shape.k = 2 + trial % 6;
    shape.n = shape.k + trial % 5;
    shape.rational = true;
    shape.repeated_knots = true;
    shape.clamped = trial % 3 != 0;
    RefCurve cv = kwtest::random_curve(rng, shape);
    std::vector<double> rows = cv.rows();
    double box[6];
    BSboxpoles(cv.n(), 3, TRUE, rows.data(), box);
    BSrc rc = 99;
    double mn[3], mx[3];
    const int32_t n = cv.n();
    EXPECT_TRUE(BSbx2(&rc, &n, cv.poles.data(), cv.weights.data(), mn, mx));
    EXPECT_EQ(rc, 0);
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(mn[c], box[c]);
      EXPECT_EQ(mx[c], box[3 + c]);
    }
    for (const auto &p : sample(cv, 400)) {
      for (int c = 0; c < 3; ++c) {
        EXPECT_GE(p[c], box[c] - 1e-12);
        EXPECT_LE(p[c], box[3 + c] + 1e-12);
      }
    }
  }
}

TEST_F(Boxes, Bx2IsTightOnPolesAndIgnoresEmptyInput) {
  const double poles[] = {1, 5, -2, 3, -1, 0, 2, 2, 7};
  const double weights[] = {1, 2, 0.5};
  BSrc rc;
  double mn[3], mx[3];
  const int32_t n = 3;
  ASSERT_TRUE(BSbx2(&rc, &n, poles, weights, mn, mx));
  EXPECT_EQ(mn[0], 1);
  EXPECT_EQ(mx[0], 4);
  EXPECT_EQ(mn[1], -0.5);
  EXPECT_EQ(mx[1], 5);
  EXPECT_EQ(mn[2], -2);
  EXPECT_EQ(mx[2], 14);
  ASSERT_TRUE(BSbx2(&rc, &n, poles, nullptr, mn, mx));
  EXPECT_EQ(mx[2], 7);
  const int32_t zero = 0;
  mn[0] = 42;
  ASSERT_TRUE(BSbx2(&rc, &zero, poles, nullptr, mn, mx));
  EXPECT_EQ(mn[0], 42);
}

TEST_F(Boxes, Bx3DistanceFacesAndInvertedBox) {
  const double mn[] = {0, 0, 0}, mx[] = {1, 2, 3};
  BSrc rc;
  double d;
  const double face[] = {1, 1, 1};
  EXPECT_TRUE(BSbx3(&rc, face, mn, mx, &d));
  EXPECT_EQ(d, 0.0);
  const double out[] = {-1, 4, 5};
  EXPECT_TRUE(BSbx3(&rc, out, mn, mx, &d));
  EXPECT_EQ(rc, 0);
  EXPECT_DOUBLE_EQ(d, 1 + 4 + 4);
  const double bad_min[] = {0, 3, 0};
  EXPECT_FALSE(BSbx3(&rc, out, bad_min, mx, &d));
  EXPECT_EQ(rc, 1);
  EXPECT_TRUE(std::isfinite(d));
}

TEST_F(Boxes, BxintTouchingAndWithinTolerance) {
  const double a0[] = {0, 0, 0}, a1[] = {1, 1, 1};
  const double b0[] = {1, 0.5, 0.5}, b1[] = {2, 2, 2};
  BSrc rc;
  EXPECT_TRUE(BSbxint(&rc, a0, a1, b0, b1));
  const double c0[] = {1 + 0.5e-6, 0, 0}, c1[] = {3, 1, 1};
  EXPECT_TRUE(BSbxint(&rc, a0, a1, c0, c1));
  const double d0[] = {1 + 2e-6, 0, 0};
  EXPECT_FALSE(BSbxint(&rc, a0, a1, d0, c1));
  const double e0[] = {0, 0, -5}, e1[] = {1, 1, -1.1};
  EXPECT_FALSE(BSbxint(&rc, a0, a1, e0, e1));
  EXPECT_FALSE(BSbxint(&rc, e0, e1, a0, a1));
  EXPECT_EQ(rc, 0);
}

TEST_F(Boxes, PtinbxFaceToleranceAndDim) {
  const double mn[] = {0, 0, 0}, mx[] = {1, 1, 1};
  BSrc rc;
  const int32_t three = 3, two = 2;
  const double on_face[] = {1, 0.5, 0};
  EXPECT_TRUE(BSptinbx(&rc, on_face, mn, mx, &three));
  const double t = 1e-6 / std::sqrt(3.0);
  const double near_out[] = {1 + 0.9 * t, 0.5, 0.5};
  EXPECT_TRUE(BSptinbx(&rc, near_out, mn, mx, &three));
  const double far_out[] = {1 + 1.1 * t, 0.5, 0.5};
  EXPECT_FALSE(BSptinbx(&rc, far_out, mn, mx, &three));
  const double z_out[] = {0.5, 0.5, 7};
  EXPECT_FALSE(BSptinbx(&rc, z_out, mn, mx, &three));
  EXPECT_TRUE(BSptinbx(&rc, z_out, mn, mx, &two));
}

TEST_F(Boxes, EndptinbxFirstThenLast) {
  // first pole inside the box of the others
  RefCurve a;
  a.k = 2;
  a.knots = {0, 0, 0.5, 1, 1};
  a.poles = {0.5, 0.5, 0, 0, 0, 0, 1, 1, 0};
  BScurve cv = a.view();
  BSrc rc;
  BSboolean flag = 7;
  EXPECT_TRUE(BSendptinbx(&rc, &cv, &flag));
  EXPECT_EQ(flag, 1);
  // only the last pole inside the box of the others
  a.poles = {5, 5, 0, 0, 0, 0, 1, 1, 0};
  std::swap_ranges(a.poles.begin(), a.poles.begin() + 3, a.poles.begin() + 6);
  a.poles = {0, 0, 0, 2, 2, 0, 1, 1, 0};
  cv = a.view();
  EXPECT_TRUE(BSendptinbx(&rc, &cv, &flag));
  EXPECT_EQ(flag, 1);
  // neither end inside
  a.poles = {0, 0, 0, 1, 1, 0, 2, 0, 0};
  cv = a.view();
  EXPECT_TRUE(BSendptinbx(&rc, &cv, &flag));
  EXPECT_EQ(flag, 0);
  // rational: the first pole counts after division by its weight
  a.poles = {1, 1, 0, 0, 0, 0, 1, 1, 0};
  a.weights = {2, 1, 1};
  cv = a.view();
  EXPECT_TRUE(BSendptinbx(&rc, &cv, &flag));
  EXPECT_EQ(flag, 1);
  // statuses
  cv.num_poles = 1;
  EXPECT_FALSE(BSendptinbx(&rc, &cv, &flag));
  EXPECT_EQ(rc, BSINARG);
  EXPECT_FALSE(BSendptinbx(&rc, nullptr, &flag));
  EXPECT_EQ(rc, BSNULLPTR);
}

TEST_F(Boxes, SphereAveragesPolesAndCoversThem) {
  const double rows[] = {0, 2, 4, 1, 1, 1};
  double c[2], r;
  BSsphboxbsp(2, 3, rows, c, &r);
  EXPECT_DOUBLE_EQ(c[0], 2);
  EXPECT_DOUBLE_EQ(c[1], 1);
  EXPECT_DOUBLE_EQ(r, 2);
  BSsphboxbsp(2, 0, rows, c, &r);
  EXPECT_EQ(r, 0.0);
}

TEST_F(Boxes, DualFramesInvertTheAxes) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-3, 3);
  for (int trial = 0; trial < 200; ++trial) {
    double a2[4], d2[4];
    for (double &v : a2) v = u(rng);
    BSrc rc;
    BSboxinvab(a2, d2, &rc);
    ASSERT_EQ(rc, 0);
    for (int k = 0; k < 2; ++k) {
      for (int j = 0; j < 2; ++j) {
        const double dot = d2[2 * k] * a2[2 * j] + d2[2 * k + 1] * a2[2 * j + 1];
        EXPECT_NEAR(dot, k == j ? 1.0 : 0.0, 1e-9);
      }
    }
    double a3[9], d3[9];
    for (int i = 0; i < 6; ++i) a3[i] = u(rng);
    a3[6] = a3[1] * a3[5] - a3[2] * a3[4];
    a3[7] = a3[2] * a3[3] - a3[0] * a3[5];
    a3[8] = a3[0] * a3[4] - a3[1] * a3[3];
    const double f = u(rng) > 0 ? 0.5 : 2.0;
    for (int i = 6; i < 9; ++i) a3[i] *= f;
    BSboxinvabc(a3, d3, &rc);
    ASSERT_EQ(rc, 0);
    for (int k = 0; k < 3; ++k) {
      for (int j = 0; j < 3; ++j) {
        double dot = 0;
        for (int c = 0; c < 3; ++c) dot += d3[3 * k + c] * a3[3 * j + c];
        EXPECT_NEAR(dot, k == j ? 1.0 : 0.0, 1e-9);
      }
    }
  }
}

TEST_F(Boxes, DualFramesReportSingularAxes) {
  const double par2[] = {1, 2, -2, -4};
  double dual[9];
  BSrc rc;
  BSboxinvab(par2, dual, &rc);
  EXPECT_EQ(rc, BSSINGULAR);
  const double par3[] = {1, 2, 3, 2, 4, 6, 0, 0, 1};
  BSboxinvabc(par3, dual, &rc);
  EXPECT_EQ(rc, BSSINGULAR);
  const double zero_c[] = {1, 0, 0, 0, 1, 0, 0, 0, 0};
  BSboxinvabc(zero_c, dual, &rc);
  EXPECT_EQ(rc, BSSINGULAR);
}

TEST_F(Boxes, BoxpoleEnclosesPolesTightly) {
  // axis-aligned axes: the oblique box is the axis-aligned box
  const double rows[] = {0, 4, 1, 1, -1, 3};
  const double axes[] = {1, 0, 0, 1};
  double c[2], h[4];
  BSrc rc;
  BSboxpole(3, 2, rows, axes, c, h, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_DOUBLE_EQ(c[0], 2);
  EXPECT_DOUBLE_EQ(c[1], 1);
  EXPECT_DOUBLE_EQ(h[0], 2);
  EXPECT_EQ(h[1], 0);
  EXPECT_EQ(h[2], 0);
  EXPECT_DOUBLE_EQ(h[3], 2);
  BSboxpole(3, 4, rows, axes, c, h, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  BSboxpole(0, 2, rows, axes, c, h, &rc);
  EXPECT_EQ(rc, BSINARG);
  const double flat[] = {1, 1, 2, 2};
  BSboxpole(3, 2, rows, flat, c, h, &rc);
  EXPECT_EQ(rc, BSSINGULAR);
}

TEST_F(Boxes, ObliqueBoxContainsRandomCurves) {
  std::mt19937_64 rng(17);
  int fitted = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int dim = 2 + trial % 2;
    CurveShape shape;
    shape.k = 3 + trial % 6;
    shape.n = shape.k + (trial / 2) % 6;
    shape.rational = trial % 3 != 0;
    shape.repeated_knots = trial % 4 == 0;
    shape.clamped = trial % 5 != 0;
    shape.scale = trial % 7 == 0 ? 1000.0 : 1.0;
    shape.offset = trial % 11 == 0 ? 1e5 : 0.0;
    RefCurve cv = kwtest::random_curve(rng, shape);
    if (dim == 2) {
      for (int32_t i = 0; i < cv.n(); ++i) cv.poles[3 * i + 2] = 0;
    }
    std::vector<double> rows = rows_in_dim(cv, dim);
    double c[3], h[9];
    BSrc rc;
    BSoblboxbsc(static_cast<int16_t>(cv.k), cv.n(), cv.knots.data(), dim, cv.rational(),
                rows.data(), c, h, &rc);
    ASSERT_EQ(rc, 0) << trial;
    ++fitted;
    // every pole and every curve point lies within the box
    double size = 0;
    for (int i = 0; i < dim * dim; ++i) size = std::max(size, std::fabs(h[i]));
    for (const auto &p : sample(cv, 300)) {
      double v[3];
      for (int q = 0; q < dim; ++q) v[q] = p[q] - c[q];
      auto s = frame_coords(dim, h, v);
      for (int q = 0; q < dim; ++q) EXPECT_LE(std::fabs(s[q]), 1.0 + 1e-9) << trial;
    }
    if (dim == 3) {  // the third half-axis is perpendicular to the others
      for (int j = 0; j < 2; ++j) {
        double dot = 0, la = 0, lb = 0;
        for (int q = 0; q < 3; ++q) {
          dot += h[6 + q] * h[3 * j + q];
          la += h[6 + q] * h[6 + q];
          lb += h[3 * j + q] * h[3 * j + q];
        }
        EXPECT_LE(std::fabs(dot), 1e-9 * std::sqrt(la * lb) + 1e-300);
      }
    }
  }
  EXPECT_EQ(fitted, 300);
}

// A rational straight curve has parallel first and second derivatives at every
// parameter: the frame must be refused whatever its size, position or weights, and
// never depend on the rounding of the cross product.
TEST_F(Boxes, ObliqueBoxRefusesStraightRationalCurves) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 2000; ++trial) {
    const int dim = 2 + trial % 2;
    const int k = trial % 4 == 0 ? 3 : 2;
    const int32_t n = k + trial % 3;
    const double scale = std::pow(10.0, 6.0 * u(rng));
    // positions up to 1e4 times the size: the rounding of the input poles then
    // stays far below the parallel test
    const double offset = scale * std::pow(10.0, 4.0 * u(rng)) * u(rng);
    double a[3], dir[3];
    for (int q = 0; q < 3; ++q) {
      a[q] = offset + scale * u(rng);
      dir[q] = scale * u(rng);
    }
    if (dim == 2) a[2] = dir[2] = 0;
    std::vector<double> knots(n + k), rows((dim + 1) * n);
    for (int i = 0; i < k; ++i) knots[i] = 0, knots[n + i] = 1;
    for (int i = k; i < n; ++i) knots[i] = double(i - k + 1) / (n - k + 1);
    double along = 0;
    for (int32_t i = 0; i < n; ++i) {
      const double w = 0.2 + 3 * (u(rng) + 1);
      along += 0.1 + u(rng) + 1;
      for (int q = 0; q < dim; ++q) rows[q * n + i] = w * (a[q] + along * dir[q]);
      rows[dim * n + i] = w;
    }
    double c[3], h[9];
    BSrc rc;
    BSoblboxbsc(static_cast<int16_t>(k), n, knots.data(), dim, TRUE, rows.data(), c, h, &rc);
    EXPECT_EQ(rc, BSDEGENINPUT) << trial << " scale " << scale << " offset " << offset;
  }
}

TEST_F(Boxes, ObliqueBoxFailureStatuses) {
  // straight polynomial polygon: zero second derivative
  const double knots[] = {0, 0, 0, 1, 1, 1};
  const double line[] = {0, 1, 2, 0, 1, 2, 0, 1, 2};
  double c[3], h[9];
  BSrc rc;
  BSoblboxbsc(3, 3, knots, 3, FALSE, line, c, h, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  const double bent[] = {0, 1, 2, 0, 1, 0, 0, 0, 0};
  BSoblboxbsc(3, 3, knots, 1, FALSE, bent, c, h, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  BSoblboxbsc(3, 3, knots, 4, FALSE, bent, c, h, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  BSoblboxbsc(3, 2, knots, 3, FALSE, bent, c, h, &rc);
  EXPECT_EQ(rc, BSINARG);
  // planar in space: the cross product is the plane normal, accepted
  BSoblboxbsc(3, 3, knots, 3, FALSE, bent, c, h, &rc);
  EXPECT_EQ(rc, 0);
  // curvature below the absolute threshold
  const double tiny[] = {0, 1, 2, 0, 1e-7, 0, 0, 0, 0};
  BSoblboxbsc(3, 3, knots, 2, FALSE, tiny, c, h, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  // zero weight at the middle
  const double rat[] = {0, 0, 2, 0, 0.5, 0, 1, 0.5, 1};
  BSoblboxbsc(3, 3, knots, 2, TRUE, rat, c, h, &rc);
  EXPECT_EQ(rc, 0);
  const double zero_w[] = {0, 0, 2, 0, 1, 0, 1, -1, 1};
  BSoblboxbsc(3, 3, knots, 2, TRUE, zero_w, c, h, &rc);
  EXPECT_EQ(rc, BSFAIL);
}

TEST_F(Boxes, ObliqueBoxScratchFailureAndNoHeapForSmallCurves) {
  std::mt19937_64 rng(23);
  CurveShape shape;
  shape.k = 4;
  shape.n = 200;  // 600 unweighted values: beyond the local buffer
  shape.rational = true;
  RefCurve big = kwtest::random_curve(rng, shape);
  std::vector<double> rows = big.rows();
  double c[3], h[9];
  auto r = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSoblboxbsc(4, big.n(), big.knots.data(), 3, TRUE, rows.data(), c, h, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GE(r.runs, 2);
  BSdbglev = 0;
  shape.n = 20;
  RefCurve small = kwtest::random_curve(rng, shape);
  std::vector<double> srows = small.rows();
  kwtest::NoHeapScope scope;
  BSrc rc;
  BSoblboxbsc(4, small.n(), small.knots.data(), 3, TRUE, srows.data(), c, h, &rc);
  EXPECT_EQ(rc, 0);
  double box[6];
  BSboxpoles(small.n(), 3, TRUE, srows.data(), box);
  std::vector<double> pts(30, 0.5);
  std::vector<int8_t> flags(10, 1);
  std::vector<double> mn(10), mx(10);
  BSminmaxbsc(4, small.n(), 3, TRUE, small.knots.data(), srows.data(), 10, pts.data(), flags.data(),
              mn.data(), mx.data(), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(scope.heap_requests(), 0);
  BSdbglev = 20;
}

// Exact bounds of a point against an oblique box, by brute force over a grid of
// the box (minimum) and over its corners (maximum).
void brute_bounds(int dim, int naxes, const double *c, const double *h, const double *p, double *mn,
                  double *mx) {
  const int g = 60;
  *mn = DBL_MAX;
  *mx = 0;
  const int steps[3] = {g, naxes > 1 ? g : 0, naxes > 2 ? g : 0};
  for (int i = 0; i <= steps[0]; ++i) {
    for (int j = 0; j <= steps[1]; ++j) {
      for (int l = 0; l <= steps[2]; ++l) {
        const double s[3] = {steps[0] ? -1.0 + 2.0 * i / steps[0] : 0,
                             steps[1] ? -1.0 + 2.0 * j / steps[1] : 0,
                             steps[2] ? -1.0 + 2.0 * l / steps[2] : 0};
        double d2 = 0;
        for (int q = 0; q < dim; ++q) {
          double x = c[q];
          for (int a = 0; a < naxes; ++a) x += s[a] * h[a * dim + q];
          d2 += (p[q] - x) * (p[q] - x);
        }
        *mn = std::min(*mn, d2);
        *mx = std::max(*mx, d2);
      }
    }
  }
}

TEST_F(Boxes, DistanceBoundsMatchBruteForce) {
  std::mt19937_64 rng(29);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int trial = 0; trial < 400; ++trial) {
    const int dim = 2 + trial % 2;
    const int naxes = 1 + trial % dim;
    double c[3], h[9] = {0}, p[3];
    for (int q = 0; q < dim; ++q) c[q] = u(rng), p[q] = u(rng) * 2;
    for (int a = 0; a < naxes; ++a) {
      for (int q = 0; q < dim; ++q) h[a * dim + q] = u(rng);
    }
    if (dim == 3 && naxes == 3) {  // h3 perpendicular to h1, h2
      const double *a = h, *b = h + 3;
      const double f = u(rng) * 0.5;
      h[6] = f * (a[1] * b[2] - a[2] * b[1]);
      h[7] = f * (a[2] * b[0] - a[0] * b[2]);
      h[8] = f * (a[0] * b[1] - a[1] * b[0]);
    }
    double mn, mx, bmn, bmx;
    BSrc rc;
    BSminmaxbox(dim, h, c, p, &mn, &mx, &rc);
    ASSERT_EQ(rc, 0);
    brute_bounds(dim, naxes, c, h, p, &bmn, &bmx);
    EXPECT_LE(mn, bmn + 1e-12) << trial;
    EXPECT_GE(mn, bmn - 0.05 * (1 + bmn)) << trial;  // grid resolution
    EXPECT_NEAR(mx, bmx, 1e-9 * (1 + bmx)) << trial;
  }
}

TEST_F(Boxes, SegmentAndParallelogramBoundsInAnyDim) {
  std::mt19937_64 rng(31);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int trial = 0; trial < 100; ++trial) {
    const int dim = 1 + trial % 6;
    std::vector<double> c(dim), h1(dim), h2(dim), p(dim);
    for (int q = 0; q < dim; ++q) c[q] = u(rng), h1[q] = u(rng), h2[q] = u(rng), p[q] = 2 * u(rng);
    double mn, mx, bmn, bmx;
    BSmnmxpt1(dim, c.data(), h1.data(), p.data(), &mn, &mx);
    brute_bounds(dim, 1, c.data(), h1.data(), p.data(), &bmn, &bmx);
    EXPECT_LE(mn, bmn + 1e-12);
    EXPECT_GE(mn, bmn - 0.01 * (1 + bmn));
    EXPECT_NEAR(mx, bmx, 1e-9 * (1 + bmx));
    if (dim < 2) continue;
    std::vector<double> hh(h1);
    hh.insert(hh.end(), h2.begin(), h2.end());
    BSrc rc;
    BSmnmxpt2(dim, c.data(), h1.data(), h2.data(), p.data(), &mn, &mx, &rc);
    ASSERT_EQ(rc, 0);
    brute_bounds(dim, 2, c.data(), hh.data(), p.data(), &bmn, &bmx);
    EXPECT_LE(mn, bmn + 1e-12);
    EXPECT_GE(mn, bmn - 0.05 * (1 + bmn));
    EXPECT_NEAR(mx, bmx, 1e-9 * (1 + bmx));
  }
}

TEST_F(Boxes, PointInsideObliqueBoxHasZeroMinimumAndCornerMaximum) {
  const double c[] = {1, 1, 1};
  const double h[] = {2, 0, 0, 0, 1, 0, 0, 0, 0.5};
  const double p[] = {1.5, 0.5, 1.25};
  double mn, mx;
  BSrc rc;
  BSmnmxbx3(h, c, p, &mn, &mx, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(mn, 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(mx, 2.5 * 2.5 + 1.5 * 1.5 + 0.75 * 0.75);
}

TEST_F(Boxes, ZeroHalfAxesOutOfOrderAreRejected) {
  const double c[] = {0, 0, 0}, p[] = {1, 2, 3};
  double mn = -7, mx = -7;
  BSrc rc;
  const double h2bad[] = {0, 0, 1, 0};
  BSmnmxbx2(h2bad, c, p, &mn, &mx, &rc);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(mn, -7);
  const double h2zero[] = {0, 0, 0, 0};
  BSmnmxbx2(h2zero, c, p, &mn, &mx, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(mn, 5);
  EXPECT_EQ(mx, 5);
  const double bad1[] = {0, 0, 0, 1, 0, 0, 0, 0, 0};
  const double bad2[] = {1, 0, 0, 0, 0, 0, 0, 0, 1};
  const double bad3[] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
  for (const double *h : {bad1, bad2, bad3}) {
    mn = mx = -7;
    BSmnmxbx3(h, c, p, &mn, &mx, &rc);
    EXPECT_EQ(rc, BSINARG);
    EXPECT_EQ(mn, -7);
  }
  const double zero3[9] = {0};
  BSmnmxbx3(zero3, c, p, &mn, &mx, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(mn, 14);
  EXPECT_EQ(mx, 14);
  BSminmaxbox(4, zero3, c, p, &mn, &mx, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(mn, 0);
  EXPECT_EQ(mx, DBL_MAX);
}

TEST_F(Boxes, MinmaxbscBracketsTheDistanceToRandomCurves) {
  std::mt19937_64 rng(37);
  std::uniform_real_distribution<double> u(-3, 3);
  for (int trial = 0; trial < 80; ++trial) {
    const int dim = 2 + trial % 2;
    CurveShape shape;
    shape.k = 2 + trial % 5;  // order 2: straight pieces fall back to the sphere
    shape.n = shape.k + trial % 4;
    shape.rational = trial % 2 == 0;
    shape.repeated_knots = trial % 3 == 0;
    RefCurve cv = kwtest::random_curve(rng, shape);
    if (dim == 2) {
      for (int32_t i = 0; i < cv.n(); ++i) cv.poles[3 * i + 2] = 0;
    }
    std::vector<double> rows = rows_in_dim(cv, dim);
    const int np = 25;
    std::vector<double> pts(np * dim), mn(np, -1), mx(np, -1);
    std::vector<int8_t> flags(np);
    for (int j = 0; j < np; ++j) {
      for (int q = 0; q < dim; ++q) pts[j * dim + q] = u(rng);
      flags[j] = j % 5 == 4 ? 0 : 1;
    }
    BSrc rc;
    BSminmaxbsc(static_cast<int16_t>(cv.k), cv.n(), dim, cv.rational(), cv.knots.data(),
                rows.data(), np, pts.data(), flags.data(), mn.data(), mx.data(), &rc);
    ASSERT_EQ(rc, 0);
    const auto curve = sample(cv, 500);
    for (int j = 0; j < np; ++j) {
      if (!flags[j]) {
        EXPECT_EQ(mn[j], -1);
        EXPECT_EQ(mx[j], -1);
        continue;
      }
      double near = DBL_MAX, far = 0;
      for (const auto &q : curve) {
        double d2 = 0;
        for (int c = 0; c < dim; ++c) d2 += (q[c] - pts[j * dim + c]) * (q[c] - pts[j * dim + c]);
        near = std::min(near, d2);
        far = std::max(far, d2);
      }
      EXPECT_LE(mn[j], near * (1 + 1e-12) + 1e-12) << trial;
      EXPECT_GE(mx[j], far * (1 - 1e-12) - 1e-12) << trial;
    }
  }
}

TEST_F(Boxes, MinmaxbscFallsBackToTheSphereForStraightPolygons) {
  const double knots[] = {0, 0, 0, 1, 1, 1};
  const double line[] = {0, 1, 2, 0, 0, 0};  // dim 2: along x
  const double pts[] = {1, 0, 5, 0, 1, 3};
  const int8_t flags[] = {1, 1, 1};
  double mn[3], mx[3];
  BSrc rc;
  BSminmaxbsc(3, 3, 2, FALSE, knots, line, 3, pts, flags, mn, mx, &rc);
  ASSERT_EQ(rc, 0);
  // sphere: centre (1, 0), radius 1
  EXPECT_EQ(mn[0], 0);
  EXPECT_DOUBLE_EQ(mx[0], 1);
  EXPECT_DOUBLE_EQ(mn[1], 9);
  EXPECT_DOUBLE_EQ(mx[1], 25);
  EXPECT_DOUBLE_EQ(mn[2], (3 - 1) * (3 - 1));
  EXPECT_DOUBLE_EQ(mx[2], 16);
}

TEST_F(Boxes, MinmaxbscReportsScratchFailure) {
  std::mt19937_64 rng(41);
  CurveShape shape;
  shape.k = 2;  // straight pieces: the sphere fallback takes scratch too
  shape.n = 300;
  shape.rational = true;
  RefCurve cv = kwtest::random_curve(rng, shape);
  std::vector<double> rows = cv.rows();
  const double pts[] = {0, 0, 0};
  const int8_t flags[] = {1};
  double mn, mx;
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSminmaxbsc(2, cv.n(), 3, TRUE, cv.knots.data(), rows.data(), 1, pts, flags, &mn, &mx, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
}

TEST_F(Boxes, PoleBoxKernelMatchesTheExportedRoutine) {
  const double rows[] = {2, 4, 6, 1, 1, 1, 2, 2, 2};
  double a[4], b[4];
  knotwork::pole_box_rows(3, 2, true, rows, a);
  BSboxpoles(3, 2, TRUE, rows, b);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a[i], b[i]);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[2], 3);
  const double pt[] = {0, 0};
  EXPECT_DOUBLE_EQ(knotwork::box_distance_sq(2, pt, a, a + 2), 1 + 0.25);
}

}  // namespace
