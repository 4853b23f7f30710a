// Bounding boxes: containment of sampled curves, distance bounds bracketing brute
// force, dual frames against multiplication, exact small cases and every status.
#include <cfloat>
#include <utility>

#include "ref_curves.hpp"
#include "status_of.hpp"
#include "support.hpp"

namespace {

using kwtest::CurveShape;
using kwtest::RefCurve;

class Boxes : public kwtest::GuardedTest {};

// A random curve, flattened into z = 0 when dim is 2, and its coordinate-major rows
// in dim coordinates (weights last).
RefCurve random_in_dim(std::mt19937_64 &rng, const CurveShape &shape, int dim,
                       std::vector<double> *rows) {
  RefCurve cv = kwtest::random_curve(rng, shape);
  if (dim == 2) cv.flatten();
  *rows = cv.rows(dim);
  return cv;
}

std::vector<std::array<double, 3>> sample(const RefCurve &cv, int count) {
  std::vector<std::array<double, 3>> pts;
  for (int i = 0; i <= count; ++i)
    pts.push_back(kwtest::ref_eval(cv, cv.lo() + (cv.hi() - cv.lo()) * i / count));
  return pts;
}

// Squared distance bounds from p to the oblique box c + sum s_a h_a (|s_a| <= 1):
// the minimum over a grid of the box, the maximum over its corners.
void brute_bounds(int dim, int naxes, const double *c, const double *h, const double *p, double *mn,
                  double *mx) {
  const int g = 60, steps[3] = {g, naxes > 1 ? g : 0, naxes > 2 ? g : 0};
  *mn = DBL_MAX, *mx = 0;
  for (int i = 0; i <= steps[0]; ++i)
    for (int j = 0; j <= steps[1]; ++j)
      for (int l = 0; l <= steps[2]; ++l) {
        const int at[3] = {i, j, l};
        double d2 = 0;
        for (int q = 0; q < dim; ++q) {
          double x = c[q];
          for (int a = 0; a < naxes; ++a) x += (-1.0 + 2.0 * at[a] / steps[a]) * h[a * dim + q];
          d2 += (p[q] - x) * (p[q] - x);
        }
        *mn = std::min(*mn, d2), *mx = std::max(*mx, d2);
      }
}

// Bounds against brute force: the minimum never above it (and close, to the grid
// resolution), the maximum equal.
void expect_bracket(double mn, double mx, double bmn, double bmx, int trial) {
  EXPECT_LE(mn, bmn + 1e-12) << trial;
  EXPECT_GE(mn, bmn - 0.05 * (1 + bmn)) << trial;
  EXPECT_NEAR(mx, bmx, 1e-9 * (1 + bmx)) << trial;
}

// ---- Axis-aligned boxes and sphere --------------------------------------------------------

TEST_F(Boxes, PoleBoxesContainRandomRationalCurves) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    CurveShape shape{2 + trial % 6, 0, true, true, trial % 3 != 0};
    shape.n = shape.k + trial % 5;
    RefCurve cv = kwtest::random_curve(rng, shape);
    double box[6], mn[3], mx[3];
    BSboxpoles(cv.n(), 3, TRUE, cv.rows().data(), box);
    BSrc rc = 99;
    const int32_t n = cv.n();
    EXPECT_TRUE(BSbx2(&rc, &n, cv.poles.data(), cv.weights.data(), mn, mx));
    EXPECT_EQ(rc, 0);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(mn[c] == box[c] && mx[c] == box[3 + c]);
    for (const auto &p : sample(cv, 400))
      for (int c = 0; c < 3; ++c) EXPECT_TRUE(p[c] >= box[c] - 1e-12 && p[c] <= box[3 + c] + 1e-12);
  }
}

TEST_F(Boxes, AxisAlignedBoxExactCases) {
  // BSbx2 (weights: the random test) ignores a null weight array and an empty set.
  const double poles[] = {1, 5, -2, 3, -1, 0, 2, 2, 7}, weights[] = {1, 2, 0.5};
  BSrc rc;
  double mn[3], mx[3];
  const int32_t n = 3, zero = 0;
  ASSERT_TRUE(BSbx2(&rc, &n, poles, nullptr, mn, mx));
  EXPECT_EQ(mx[2], 7);
  mn[0] = 42;
  ASSERT_TRUE(BSbx2(&rc, &zero, poles, weights, mn, mx));
  EXPECT_EQ(mn[0], 42);
  // BSbx3: 0 on a face, the squared distance outside.
  const double lo[] = {0, 0, 0}, hi[] = {1, 2, 3}, face[] = {1, 1, 1}, out[] = {-1, 4, 5};
  double d = -1;
  EXPECT_TRUE(BSbx3(&rc, face, lo, hi, &d));
  EXPECT_EQ(d, 0.0);
  EXPECT_TRUE(BSbx3(&rc, out, lo, hi, &d) && d == 1 + 4 + 4);
  // BSbxint: touching and apart by less than dist_tol meet; farther apart do not.
  const double a0[] = {0, 0, 0}, a1[] = {1, 1, 1}, b1[] = {3, 2, 2}, e0[] = {0, 0, -5},
               e1[] = {1, 1, -1.1};
  for (const auto &[x, meet] :
       {std::pair{1.0, 1}, std::pair{1 + 0.5e-6, 1}, std::pair{1 + 2e-6, 0}}) {
    const double b0[] = {x, 0.5, 0.5};
    EXPECT_EQ(BSbxint(&rc, a0, a1, b0, b1), meet) << x;
  }
  EXPECT_FALSE(BSbxint(&rc, a0, a1, e0, e1) || BSbxint(&rc, e0, e1, a0, a1));
  // BSptinbx: margin dist_tol / sqrt(3), only the first dim coordinates.
  const int32_t three = 3, two = 2;
  const double t = 1e-6 / std::sqrt(3.0);
  for (const auto &[x, in] :
       {std::pair{1.0, 1}, std::pair{1 + 0.9 * t, 1}, std::pair{1 + 1.1 * t, 0}}) {
    const double p[] = {x, 0.5, 0.5};
    EXPECT_EQ(BSptinbx(&rc, p, a0, a1, &three), in) << x;
  }
  const double z_out[] = {0.5, 0.5, 7};
  EXPECT_TRUE(!BSptinbx(&rc, z_out, a0, a1, &three) && BSptinbx(&rc, z_out, a0, a1, &two));
  // BSsphboxbsp: centre the average of the poles, radius to the farthest.
  const double rows[] = {0, 2, 4, 1, 1, 1};
  double c[2], r;
  BSsphboxbsp(2, 3, rows, c, &r);
  EXPECT_TRUE(c[0] == 2 && c[1] == 1 && r == 2);
  BSsphboxbsp(2, 0, rows, c, &r);
  EXPECT_EQ(r, 0.0);
}

TEST_F(Boxes, EndptinbxTestsTheFirstPoleThenTheLast) {
  const struct {
    std::vector<double> poles, weights;
    BSboolean inside;
  } cases[] = {{{0.5, 0.5, 0, 0, 0, 0, 1, 1, 0}, {}, 1},      // first inside the others' box
               {{0, 0, 0, 2, 2, 0, 1, 1, 0}, {}, 1},          // only the last inside
               {{0, 0, 0, 1, 1, 0, 2, 0, 0}, {}, 0},          // neither
               {{1, 1, 0, 0, 0, 0, 1, 1, 0}, {2, 1, 1}, 1}};  // first after division by 2
  for (const auto &e : cases) {
    RefCurve a;
    a.k = 2, a.knots = {0, 0, 0.5, 1, 1}, a.poles = e.poles, a.weights = e.weights;
    const BScurve cv = a.view();
    BSrc rc = 99;
    BSboolean flag = 7;
    EXPECT_TRUE(BSendptinbx(&rc, &cv, &flag));
    EXPECT_EQ(flag, e.inside);
  }
}

// ---- Oblique boxes ---------------------------------------------------------------------------

TEST_F(Boxes, DualFramesInvertTheAxes) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-3, 3);
  for (int trial = 0; trial < 200; ++trial) {
    double a[9], d[9];
    for (double &v : a) v = u(rng);
    // In space the third axis is perpendicular to the others.
    const double f = u(rng) > 0 ? 0.5 : 2.0;
    const double n[3] = {a[1] * a[5] - a[2] * a[4], a[2] * a[3] - a[0] * a[5],
                         a[0] * a[4] - a[1] * a[3]};
    for (const int dim : {2, 3}) {
      if (dim == 3)
        for (int i = 0; i < 3; ++i) a[6 + i] = f * n[i];
      BSrc rc = 99;
      (dim == 2 ? BSboxinvab : BSboxinvabc)(a, d, &rc);
      ASSERT_EQ(rc, 0);
      for (int k = 0; k < dim; ++k)
        for (int j = 0; j < dim; ++j) {
          double dot = 0;
          for (int c = 0; c < dim; ++c) dot += d[dim * k + c] * a[dim * j + c];
          EXPECT_NEAR(dot, k == j ? 1.0 : 0.0, 1e-9);
        }
    }
  }
}

TEST_F(Boxes, BoxpoleWithTheCoordinateAxesIsTheAxisAlignedBox) {
  const double rows[] = {0, 4, 1, 1, -1, 3}, axes[] = {1, 0, 0, 1};
  double c[2], h[4];
  BSrc rc = 99;
  BSboxpole(3, 2, rows, axes, c, h, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(std::vector<double>(c, c + 2), (std::vector<double>{2, 1}));
  EXPECT_EQ(std::vector<double>(h, h + 4), (std::vector<double>{2, 0, 0, 2}));
}

TEST_F(Boxes, ObliqueBoxContainsRandomCurves) {
  std::mt19937_64 rng(17);
  for (int trial = 0; trial < 300; ++trial) {
    const int dim = 2 + trial % 2;
    CurveShape shape{3 + trial % 6, 0, trial % 3 != 0, trial % 4 == 0, trial % 5 != 0};
    shape.n = shape.k + (trial / 2) % 6;
    shape.scale = trial % 7 == 0 ? 1000.0 : 1.0;
    shape.offset = trial % 11 == 0 ? 1e5 : 0.0;
    std::vector<double> rows;
    const RefCurve cv = random_in_dim(rng, shape, dim, &rows);
    double c[3], h[9];
    BSrc rc = 99;
    BSoblboxbsc(static_cast<int16_t>(cv.k), cv.n(), cv.knots.data(), dim, cv.rational(),
                rows.data(), c, h, &rc);
    ASSERT_EQ(rc, 0) << trial;
    // Every curve point has frame coordinates within [-1, 1]: solve v = sum s_a h_a
    // by Cramer's rule.
    auto det = [&](const double *x, const double *y, const double *z) {
      return dim == 2 ? x[0] * y[1] - x[1] * y[0]
                      : x[0] * (y[1] * z[2] - y[2] * z[1]) - x[1] * (y[0] * z[2] - y[2] * z[0]) +
                            x[2] * (y[0] * z[1] - y[1] * z[0]);
    };
    const double *a = h, *b = h + dim, *e = h + 2 * dim, full = det(a, b, e);
    for (const auto &p : sample(cv, 300)) {
      const double v[3] = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
      const double s[3] = {det(v, b, e) / full, det(a, v, e) / full, det(a, b, v) / full};
      for (int q = 0; q < dim; ++q) EXPECT_LE(std::fabs(s[q]), 1.0 + 1e-9) << trial;
    }
    for (int j = 0; j < 2 && dim == 3; ++j) {  // the third half-axis is perpendicular
      double dot = 0, la = 0, lb = 0;
      for (int q = 0; q < 3; ++q)
        dot += e[q] * h[3 * j + q], la += e[q] * e[q], lb += h[3 * j + q] * h[3 * j + q];
      EXPECT_LE(std::fabs(dot), 1e-9 * std::sqrt(la * lb) + 1e-300);
    }
  }
}

// A rational straight curve has parallel first and second derivatives at every
// parameter: the frame must be refused whatever its size, position or weights, and
// never depend on the rounding of the cross product.
TEST_F(Boxes, ObliqueBoxRefusesStraightRationalCurves) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 2000; ++trial) {
    const int dim = 2 + trial % 2, k = trial % 4 == 0 ? 3 : 2;
    const int32_t n = k + trial % 3;
    const double scale = std::pow(10.0, 6.0 * u(rng));
    // positions up to 1e4 times the size: the rounding of the input poles then
    // stays far below the parallel test
    const double offset = scale * std::pow(10.0, 4.0 * u(rng)) * u(rng);
    double a[3], dir[3];
    for (int q = 0; q < 3; ++q) a[q] = offset + scale * u(rng), dir[q] = scale * u(rng);
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
    BSrc rc = 99;
    BSoblboxbsc(static_cast<int16_t>(k), n, knots.data(), dim, TRUE, rows.data(), c, h, &rc);
    EXPECT_EQ(rc, BSDEGENINPUT) << trial << " scale " << scale << " offset " << offset;
  }
}

// ---- Distance bounds -----------------------------------------------------------------------

TEST_F(Boxes, DistanceBoundsBracketBruteForce) {
  std::mt19937_64 rng(29);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int trial = 0; trial < 400; ++trial) {  // boxes in the plane and in space
    const int dim = 2 + trial % 2, naxes = 1 + trial % dim;
    double c[3], h[9] = {0}, p[3], mn, mx, bmn, bmx;
    for (int q = 0; q < dim; ++q) c[q] = u(rng), p[q] = u(rng) * 2;
    for (int a = 0; a < naxes * dim; ++a) h[a] = u(rng);
    if (naxes == 3) {  // h3 perpendicular to h1, h2
      const double f = u(rng) * 0.5;
      h[6] = f * (h[1] * h[5] - h[2] * h[4]);
      h[7] = f * (h[2] * h[3] - h[0] * h[5]);
      h[8] = f * (h[0] * h[4] - h[1] * h[3]);
    }
    BSrc rc = 99;
    BSminmaxbox(dim, h, c, p, &mn, &mx, &rc);
    ASSERT_EQ(rc, 0);
    brute_bounds(dim, naxes, c, h, p, &bmn, &bmx);
    expect_bracket(mn, mx, bmn, bmx, trial);
  }
  for (int trial = 0; trial < 100; ++trial) {  // segments and parallelograms in 1..6 dims
    const int dim = 1 + trial % 6;
    std::vector<double> c(dim), h(2 * dim), p(dim);
    for (int q = 0; q < dim; ++q)
      c[q] = u(rng), h[q] = u(rng), h[dim + q] = u(rng), p[q] = 2 * u(rng);
    double mn, mx, bmn, bmx;
    BSmnmxpt1(dim, c.data(), h.data(), p.data(), &mn, &mx);
    brute_bounds(dim, 1, c.data(), h.data(), p.data(), &bmn, &bmx);
    expect_bracket(mn, mx, bmn, bmx, trial);
    if (dim < 2) continue;
    BSrc rc = 99;
    BSmnmxpt2(dim, c.data(), h.data(), h.data() + dim, p.data(), &mn, &mx, &rc);
    ASSERT_EQ(rc, 0);
    brute_bounds(dim, 2, c.data(), h.data(), p.data(), &bmn, &bmx);
    expect_bracket(mn, mx, bmn, bmx, trial);
  }
}

// Inside: minimum 0, maximum to the farthest corner; zero half-axes collapse the box
// to its centre; other dims get the trivial bounds.
TEST_F(Boxes, DistanceBoundsExactCases) {
  const double c[] = {1, 1, 1}, h[] = {2, 0, 0, 0, 1, 0, 0, 0, 0.5}, inside[] = {1.5, 0.5, 1.25};
  const double o[] = {0, 0, 0}, p[] = {1, 2, 3}, zero[9] = {0};
  double mn, mx;
  BSrc rc = 99;
  BSmnmxbx3(h, c, inside, &mn, &mx, &rc);
  EXPECT_NEAR(mn, 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(mx, 2.5 * 2.5 + 1.5 * 1.5 + 0.75 * 0.75);
  BSmnmxbx2(zero, o, p, &mn, &mx, &rc);
  EXPECT_TRUE(mn == 5 && mx == 5);
  BSmnmxbx3(zero, o, p, &mn, &mx, &rc);
  EXPECT_TRUE(mn == 14 && mx == 14);
  BSminmaxbox(4, zero, o, p, &mn, &mx, &rc);
  EXPECT_TRUE(mn == 0 && mx == DBL_MAX);
  EXPECT_EQ(rc, 0);
}

TEST_F(Boxes, MinmaxbscBracketsTheDistanceToRandomCurves) {
  std::mt19937_64 rng(37);
  std::uniform_real_distribution<double> u(-3, 3);
  for (int trial = 0; trial < 80; ++trial) {
    const int dim = 2 + trial % 2, np = 25;
    // order 2: straight pieces fall back to the sphere
    CurveShape shape{2 + trial % 5, 0, trial % 2 == 0, trial % 3 == 0};
    shape.n = shape.k + trial % 4;
    std::vector<double> rows, pts(np * dim), mn(np, -1), mx(np, -1);
    const RefCurve cv = random_in_dim(rng, shape, dim, &rows);
    std::vector<int8_t> flags(np);
    for (int j = 0; j < np; ++j) {
      for (int q = 0; q < dim; ++q) pts[j * dim + q] = u(rng);
      flags[j] = j % 5 == 4 ? 0 : 1;
    }
    BSrc rc = 99;
    BSminmaxbsc(static_cast<int16_t>(cv.k), cv.n(), dim, cv.rational(), cv.knots.data(),
                rows.data(), np, pts.data(), flags.data(), mn.data(), mx.data(), &rc);
    ASSERT_EQ(rc, 0);
    const auto curve = sample(cv, 500);
    for (int j = 0; j < np; ++j) {
      if (!flags[j]) {  // unflagged points are left untouched
        EXPECT_TRUE(mn[j] == -1 && mx[j] == -1);
        continue;
      }
      double near = DBL_MAX, far = 0;
      for (const auto &q : curve) {
        double d2 = 0;
        for (int c = 0; c < dim; ++c) d2 += (q[c] - pts[j * dim + c]) * (q[c] - pts[j * dim + c]);
        near = std::min(near, d2), far = std::max(far, d2);
      }
      EXPECT_LE(mn[j], near * (1 + 1e-12) + 1e-12) << trial;
      EXPECT_GE(mx[j], far * (1 - 1e-12) - 1e-12) << trial;
    }
  }
}

// ---- Statuses and memory -------------------------------------------------------------------

TEST_F(Boxes, EveryRoutineReportsItsFailures) {
  const double lo[] = {0, 0, 0}, hi[] = {1, 2, 3}, bad_lo[] = {0, 3, 0}, p[] = {1, 2, 3};
  RefCurve two;
  two.k = 2, two.knots = {0, 0, 1, 1}, two.poles = {0, 0, 0, 1, 1, 0};
  BScurve one_pole = two.view();
  one_pole.num_poles = 1;
  const double par2[] = {1, 2, -2, -4}, par3[] = {1, 2, 3, 2, 4, 6, 0, 0, 1},
               zero_c[] = {1, 0, 0, 0, 1, 0, 0, 0, 0};
  const double rows[] = {0, 4, 1, 1, -1, 3}, axes[] = {1, 0, 0, 1}, flat_axes[] = {1, 1, 2, 2};
  const double huge[] = {-1e308, 1e308, 0, 0, 0, 1e308};  // its box overflows
  const double kn[] = {0, 0, 0, 1, 1, 1}, line[] = {0, 1, 2, 0, 1, 2, 0, 1, 2};
  const double bent[] = {0, 1, 2, 0, 1, 0, 0, 0, 0}, tiny[] = {0, 1, 2, 0, 1e-7, 0};
  const double zero_w[] = {0, 0, 2, 0, 1, 0, 1, -1, 1};  // weight 0 at the middle
  const double h2bad[] = {0, 0, 1, 0}, bad1[] = {0, 0, 0, 1, 0, 0, 0, 0, 0},
               bad2[] = {1, 0, 0, 0, 0, 0, 0, 0, 1}, bad3[] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
  double d = 0, dual[9], c[3], h[9], mn = -7, mx = -7;
  BSboolean flag;
  const struct {
    std::function<BSrc()> call;
    BSrc expected;
  } cases[] = {
      {STATUS_OF(EXPECT_FALSE(BSbx3(&rc, p, bad_lo, hi, &d))), 1},  // inverted box
      {STATUS_OF(EXPECT_FALSE(BSendptinbx(&rc, &one_pole, &flag))), BSINARG},
      {STATUS_OF(EXPECT_FALSE(BSendptinbx(&rc, nullptr, &flag))), BSNULLPTR},
      {STATUS_OF(BSboxinvab(par2, dual, &rc)), BSSINGULAR},
      {STATUS_OF(BSboxinvabc(par3, dual, &rc)), BSSINGULAR},
      {STATUS_OF(BSboxinvabc(zero_c, dual, &rc)), BSSINGULAR},
      {STATUS_OF(BSboxpole(3, 4, rows, axes, c, h, &rc)), BSDEGENINPUT},
      {STATUS_OF(BSboxpole(0, 2, rows, axes, c, h, &rc)), BSINARG},
      {STATUS_OF(BSboxpole(3, 2, rows, flat_axes, c, h, &rc)), BSSINGULAR},
      {STATUS_OF(BSboxpole(3, 2, huge, axes, c, h, &rc)), BSINARG},
      {STATUS_OF(BSoblboxbsc(3, 3, kn, 3, FALSE, line, c, h, &rc)), BSDEGENINPUT},  // straight
      {STATUS_OF(BSoblboxbsc(3, 3, kn, 1, FALSE, bent, c, h, &rc)), BSDEGENINPUT},
      {STATUS_OF(BSoblboxbsc(3, 3, kn, 4, FALSE, bent, c, h, &rc)), BSDEGENINPUT},
      {STATUS_OF(BSoblboxbsc(3, 2, kn, 3, FALSE, bent, c, h, &rc)), BSINARG},
      {STATUS_OF(BSoblboxbsc(3, 3, kn, 3, FALSE, bent, c, h, &rc)), BSSUCC},  // planar in space
      {STATUS_OF(BSoblboxbsc(3, 3, kn, 2, FALSE, tiny, c, h, &rc)), BSDEGENINPUT},
      {STATUS_OF(BSoblboxbsc(3, 3, kn, 2, TRUE, zero_w, c, h, &rc)), BSFAIL},
      {STATUS_OF(BSmnmxbx2(h2bad, lo, p, &mn, &mx, &rc)), BSINARG},  // zero h1 before h2
      {STATUS_OF(BSmnmxbx3(bad1, lo, p, &mn, &mx, &rc)), BSINARG},
      {STATUS_OF(BSmnmxbx3(bad2, lo, p, &mn, &mx, &rc)), BSINARG},
      {STATUS_OF(BSmnmxbx3(bad3, lo, p, &mn, &mx, &rc)), BSINARG},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].call(), cases[i].expected) << i;
  EXPECT_TRUE(std::isfinite(d));      // the inverted box still gets a distance
  EXPECT_TRUE(mn == -7 && mx == -7);  // refused half-axes write no bounds
}

// Small curves need no heap (order 2 makes BSminmaxbsc fall back to the sphere).
TEST_F(Boxes, SmallCurvesNeedNoHeap) {
  std::mt19937_64 rng(23);
  const double pts[30] = {};
  const std::vector<int8_t> flags(10, 1);
  double c[3], h[9], mn[10], mx[10], box[6];
  const RefCurve cubic = kwtest::random_curve(rng, CurveShape{4, 20, true}),
                 line = kwtest::random_curve(rng, CurveShape{2, 20, true});
  const std::vector<double> rows = cubic.rows(), lrows = line.rows();
  BSrc rc[3];
  BSdbglev = 0;
  kwtest::NoHeapScope scope;
  BSoblboxbsc(4, 20, cubic.knots.data(), 3, TRUE, rows.data(), c, h, &rc[0]);
  BSminmaxbsc(4, 20, 3, TRUE, cubic.knots.data(), rows.data(), 10, pts, flags.data(), mn, mx,
              &rc[1]);
  BSminmaxbsc(2, 20, 3, TRUE, line.knots.data(), lrows.data(), 10, pts, flags.data(), mn, mx,
              &rc[2]);
  BSboxpoles(20, 3, TRUE, rows.data(), box);
  EXPECT_EQ(scope.heap_requests(), 0);
  EXPECT_TRUE(rc[0] == 0 && rc[1] == 0 && rc[2] == 0);
  BSdbglev = 20;
}

}  // namespace
