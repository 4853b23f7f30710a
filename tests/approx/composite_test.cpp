// Composite Legendre curves: B-spline -> composite evaluates as the spline (value
// and derivatives against the long-double reference), the exact C0 conversion
// back reproduces the curve, the continuity correction gives the stated
// continuity, evaluation rules and every failure status (allocation failures: the
// whole-API failure driver).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <random>
#include <vector>

#include "ref_curves.hpp"
#include "status_of.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;

class Composite : public kwtest::GuardedTest {};

// The composite form of a curve, owned by the test fixture's allocator.
struct Cmp {
  int32_t d = 3, m = 0, *ndeg = nullptr, *irat = nullptr;
  std::vector<int32_t> ibase;
  double **series = nullptr, *bez = nullptr, se[2] = {0, 0};
  ~Cmp() {
    BSfrecmplgd(&series);
    if (ndeg) BSdbgfree(ndeg);
    if (irat) BSdbgfree(irat);
    if (bez) BSdbgfree(bez);
  }
  BSrc from(RefCurve &c, int32_t dim = 3) {
    d = dim;
    std::vector<double> rows = c.rows();
    if (dim == 2) {  // drop the z row
      const int n = c.n();
      rows.erase(rows.begin() + 2 * n, rows.begin() + 3 * n);
    }
    BSrc rc;
    BSbsp2cmlgd(dim, c.n(), c.k, c.rational(), rows.data(), c.knots.data(), &m, &ndeg, &irat,
                &series, &bez, se, &rc);
    ibase.assign(m, 1);
    return rc;
  }
  std::vector<double> eval(int k, double t, BSrc *rc, int periodic = 0) const {
    std::vector<double> v(d);
    BSevalgdcmp(d, periodic, m, ndeg, irat, ibase.data(), series, bez, k, t, v.data(), rc);
    return v;
  }
};

TEST_F(Composite, SplineToCompositeEvaluatesAsTheSpline) {
  std::mt19937_64 rng(61);
  for (int trial = 0; trial < 60; ++trial) {
    const int k = 2 + trial % 6, n = k + static_cast<int>(rng() % 6);
    const int dim = trial % 4 == 3 ? 2 : 3;
    RefCurve c = kwtest::random_curve(rng, k, n, trial % 2 == 1, true);
    if (dim == 2)
      for (int i = 0; i < n; ++i) c.poles[3 * i + 2] = 0.0;
    Cmp cm;
    ASSERT_EQ(cm.from(c, dim), BSSUCC);
    SCOPED_TRACE(testing::Message() << "trial " << trial << " k " << k);
    EXPECT_TRUE(cm.se[0] == 0.0 && cm.se[1] == 1.0);
    for (int i = 0; i <= 40; ++i) {
      const double u = i / 40.0;
      const int s = kwtest::span_right_closed(c, u);
      const auto ref = kwtest::ref_derivs(c, s, u, 3);
      for (int q = 0; q <= std::min(3, k - 1 + (c.rational() ? 2 : 0)); ++q) {
        BSrc rc;
        const auto v = cm.eval(q, u, &rc);
        ASSERT_EQ(rc, BSSUCC);
        for (int j = 0; j < dim; ++j)
          EXPECT_NEAR(v[j], static_cast<double>(ref.value[3 * q + j]),
                      1e-9 * (1 + std::fabs(static_cast<double>(ref.value[3 * q + j]))))
              << "q " << q;
      }
    }
  }
}

TEST_F(Composite, SegmentsFollowTheDistinctKnots) {
  // Cubic with interior knots 0.2, 0.5 (double), 0.7: four segments.
  RefCurve c = kwtest::make_curve(4, {0, 0, 0, 0, 0.2, 0.5, 0.5, 0.7, 1, 1, 1, 1},
                                  std::vector<double>(24, 0.0));
  for (int i = 0; i < 24; ++i) c.poles[i] = std::cos(i);
  Cmp cm;
  ASSERT_EQ(cm.from(c), BSSUCC);
  ASSERT_EQ(cm.m, 4);
  const double want[5] = {0, 0.2, 0.5, 0.7, 1};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(cm.bez[i], want[i]);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(cm.ndeg[i], 3);
  // All poles one point: one degree-0 segment on [0, 1].
  RefCurve p = kwtest::make_curve(3, {2, 2, 2, 3, 4, 4, 4}, {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3});
  Cmp pm;
  ASSERT_EQ(pm.from(p), BSSUCC);
  ASSERT_EQ(pm.m, 1);
  EXPECT_TRUE(pm.ndeg[0] == 0 && pm.bez[0] == 0.0 && pm.bez[1] == 1.0 && pm.series[0][2] == 3.0);
}

TEST_F(Composite, EvaluationOutsideAndPeriodic) {
  std::mt19937_64 rng(2);
  RefCurve c = kwtest::random_curve(rng, 4, 9, false, true);
  Cmp cm;
  ASSERT_EQ(cm.from(c), BSSUCC);
  BSrc rc;
  const double P = 1.0;
  for (double t : {0.1, 0.35, 0.5, 0.9}) {
    const auto a = cm.eval(1, t, &rc, 1), b = cm.eval(1, t + 3 * P, &rc, 1),
               e = cm.eval(1, t - 2 * P, &rc, 1);
    for (int j = 0; j < 3; ++j) {
      EXPECT_NEAR(a[j], b[j], 1e-9);
      EXPECT_NEAR(a[j], e[j], 1e-9);
    }
  }
  // Non-periodic: t below b_0 extends segment 0 (a cubic polynomial in t).
  const auto ref = kwtest::ref_eval(c, 1.0);
  const auto end = cm.eval(0, 1.0, &rc);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(end[j], ref[j], 1e-12);
  const auto out = cm.eval(0, -0.1, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_TRUE(std::isfinite(out[0]));
}

// Reorders the composite's segments into the component-major layout of BSlgdbspcm1.
std::vector<double> component_major(const Cmp &cm, int k) {
  std::vector<double> s(cm.d * cm.m * k);
  for (int c = 0; c < cm.d; ++c)
    for (int i = 0; i < cm.m; ++i)
      for (int j = 0; j < k; ++j) s[(c * cm.m + i) * k + j] = cm.series[i][c * k + j];
  return s;
}

TEST_F(Composite, SplineToCompositeAndBackReproducesTheCurve) {
  std::mt19937_64 rng(9);
  for (int trial = 0; trial < 30; ++trial) {
    const int k = 2 + trial % 5, n = k + 1 + static_cast<int>(rng() % 5);
    RefCurve c = kwtest::random_curve(rng, k, n, false, true);
    Cmp cm;
    ASSERT_EQ(cm.from(c), BSSUCC);
    std::vector<double> s = component_major(cm, k), br(cm.m + 1);
    for (int i = 0; i <= cm.m; ++i) br[i] = 2 * cm.bez[i] - 1;  // domain [0, 1] -> [-1, 1]
    int32_t N;
    double *poles, *knots;
    BSrc rc;
    BSlgdbspcm1(k, cm.m, 3, s.data(), br.data(), &N, &poles, &knots, &rc);
    ASSERT_EQ(rc, BSSUCC);
    ASSERT_EQ(N, (k - 1) * cm.m + 1);
    std::vector<double> pp(3 * N);
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < 3; ++j) pp[3 * i + j] = poles[j * N + i];
    for (int i = 0; i <= 200; ++i) {
      const double u = i / 200.0;
      const auto a = kwtest::ref_eval(c, u),
                 b = kwtest::ref_eval(k, N, knots, pp.data(), nullptr, u);
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(a[j], b[j], 1e-11);
    }
    BSdbgfree(poles);
    BSdbgfree(knots);
  }
  // Two linear segments on [-1, 0] and [0, 1]: 3 poles, knots 0 0 0.5 1 1.
  const double lines[4] = {0, 1, 2, 1}, br[3] = {-1, 0, 1};
  int32_t N;
  double *poles, *knots;
  BSrc rc;
  BSlgdbspcm1(2, 2, 1, lines, br, &N, &poles, &knots, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(N, 3);
  const double kw[5] = {0, 0, 0.5, 1, 1}, pw[3] = {-1, 1, 3};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(knots[i], kw[i]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(poles[i], pw[i]);
  BSdbgfree(poles);
  BSdbgfree(knots);
}

// d^q/dt^q of Legendre series l (degree k-1) on a segment of length len at x = +-1,
// by the derivative series of the library's evaluator of one segment.
double seg_derivative(int k, const double *l, double len, int q, double x) {
  double v;
  BSrc rc;
  BSevalgdsng(k - 1, 1, 0, l, q, x, &v, &rc);
  return v * std::pow(2.0 / len, q);
}

TEST_F(Composite, ContinuityCorrectionGivesTheStatedContinuity) {
  std::mt19937_64 rng(12);
  std::uniform_real_distribution<double> uni(-1, 1);
  for (int trial = 0; trial < 40; ++trial) {
    const int k = 3 + trial % 5, m = 2 + trial % 4, r = trial % (k - 1), g = 1 + trial % 2, c = 2;
    std::vector<double> br(m + 1, 0.0), in(g * c * m * k), out(in.size()), again(in.size());
    for (int i = 1; i <= m; ++i) br[i] = br[i - 1] + 0.3 + uni(rng) * 0.25;
    for (auto &v : in) v = uni(rng);
    BSrc rc;
    BScstlgdbsp(g, c, k, r, m, br.data(), in.data(), 10.0, out.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int s = 0; s < g * c; ++s)
      for (int i = 0; i + 1 < m; ++i)
        for (int q = 0; q <= r; ++q) {
          const double *L = &out[(s * m + i) * k], *R = &out[(s * m + i + 1) * k];
          const double a = seg_derivative(k, L, br[i + 1] - br[i], q, 1.0),
                       b = seg_derivative(k, R, br[i + 2] - br[i + 1], q, -1.0);
          EXPECT_NEAR(a, b, 1e-7 * (1 + std::fabs(a))) << "trial " << trial << " q " << q;
        }
    // A projection: the corrected series stay as they are.
    BScstlgdbsp(g, c, k, r, m, br.data(), out.data(), 10.0, again.data(), &rc);
    EXPECT_EQ(rc, BSSUCC);
    for (size_t i = 0; i < out.size(); ++i) EXPECT_NEAR(again[i], out[i], 1e-11);
    // A tolerance below the change: status 55, the corrected series delivered.
    BScstlgdbsp(g, c, k, r, m, br.data(), in.data(), 1e-8, again.data(), &rc);
    EXPECT_EQ(rc, 55);
    for (size_t i = 0; i < out.size(); ++i) EXPECT_NEAR(again[i], out[i], 1e-12);
  }
}

// Legendre series (n + 1 coefficients) at x by the three-term recurrence.
double lgd(int n, const double *c, double x) {
  double p0 = 1, p1 = x, s = c[0] + (n > 0 ? c[1] * x : 0);
  for (int k = 2; k <= n; ++k) {
    const double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
    s += c[k] * p2;
    p0 = p1;
    p1 = p2;
  }
  return s;
}

// Largest distance of an array-form spline (rows on [-1, 1], the last the weights
// when rational) from the Legendre segment (d coordinates, then the weight).
double segment_deviation(int d, bool rational, int n, const double *ser, int32_t order, int32_t np,
                         const double *rows, const double *knots) {
  std::vector<double> pp(3 * np, 0.0), w(rational ? np : 0);
  if (rational) std::copy(rows + d * np, rows + d * np + np, w.begin());
  for (int i = 0; i < np; ++i)
    for (int j = 0; j < d; ++j) pp[3 * i + j] = rows[j * np + i];
  double worst = 0;
  for (int i = 0; i <= 400; ++i) {
    const double x = -1 + i / 200.0, wt = rational ? lgd(n, ser + d * (n + 1), x) : 1;
    const auto v = kwtest::ref_eval(order, np, knots, pp.data(), rational ? w.data() : nullptr, x);
    double e2 = 0;
    for (int j = 0; j < d; ++j) e2 += std::pow(v[j] - lgd(n, ser + j * (n + 1), x) / wt, 2);
    worst = std::max(worst, std::sqrt(e2));
  }
  return worst;
}

TEST_F(Composite, CompositeToSplineWithinTolerance) {
  // At the spline's own order every segment is one Bezier piece (joined C0); at a
  // lower order the knots are placed. Both stay within tolerance of the spline.
  std::mt19937_64 rng(33);
  for (int trial = 0; trial < 16; ++trial) {
    const int k = 3 + trial % 4, n = k + 2 + static_cast<int>(rng() % 5);
    const bool rational = trial % 3 == 2;
    RefCurve c = kwtest::random_curve(rng, kwtest::CurveShape{k, n, rational, false});
    BScurve orig = c.view();
    Cmp cm;
    ASSERT_EQ(cm.from(c), BSSUCC);
    for (int order : {k, k - 1, 2 + trial % 2}) {
      SCOPED_TRACE(testing::Message() << "trial " << trial << " k " << k << " order " << order);
      const double tol = order == k ? 1e-9 : 1e-5;
      BScurve *out = nullptr;
      BSrc rc;
      BScmlgd2bsp(3, cm.m, 0, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, cm.se, tol,
                  order, &out, &rc);
      ASSERT_EQ(rc, BSSUCC);
      EXPECT_EQ(out->order, order);
      if (order == k) {
        EXPECT_EQ(out->num_poles, (k - 1) * cm.m + 1);
      }
      EXPECT_LE(kwtest::max_deviation(orig, *out, 0.0, 1.0, 1001), tol);
      BSfreeqelcv(out, &rc);
    }
    // The part [0.3, 0.8], and segments 0 .. m-1 from the middle of the first to
    // the middle of the last (or to 0.75), each reparametrised to [0, 1].
    const double s0 = (cm.bez[0] + cm.bez[1]) / 2,
                 e0 = cm.m == 1 ? 0.75 : (cm.bez[cm.m - 1] + cm.bez[cm.m]) / 2;
    for (int part = 0; part < 2; ++part) {
      BScurve *out = nullptr;
      BSrc rc;
      if (part == 0) {
        BSlimcmplgd(3, cm.m, 0, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, 0.3, 0.8,
                    1e-6, k - 1, &out, &rc);
      } else {
        BScmlg2bsab(3, cm.m, 0, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, 0, cm.m - 1,
                    0.0, cm.m == 1 ? 0.5 : 0.0, 1e-6, k - 1, &out, &rc);
      }
      ASSERT_EQ(rc, BSSUCC);
      const double s = part ? s0 : 0.3, e = part ? e0 : 0.8;
      for (int i = 0; i <= 200; ++i) {
        const auto a = kwtest::ref_eval(orig, s + (e - s) * i / 200.0),
                   b = kwtest::ref_eval(*out, i / 200.0);
        EXPECT_LE(std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]), 1e-6);
      }
      BSfreeqelcv(out, &rc);
    }
  }
}

TEST_F(Composite, CompositeToSplineKindsPeriodicAndPlanar) {
  std::mt19937_64 rng(5);
  RefCurve c = kwtest::random_curve(rng, 5, 8, true, true);
  c.poles[3 * 7] = c.poles[0] * c.weights[7] / c.weights[0];  // closed: last pole = first
  c.poles[3 * 7 + 1] = c.poles[1] * c.weights[7] / c.weights[0];
  c.poles[3 * 7 + 2] = c.poles[2] * c.weights[7] / c.weights[0];
  Cmp cm;
  ASSERT_EQ(cm.from(c), BSSUCC);
  BSrc rc;
  BScurve *ref = nullptr, *out = nullptr;
  BScmlgd2bsp(3, cm.m, 0, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, cm.se, 1e-7, 4,
              &ref, &rc);
  ASSERT_EQ(rc, BSSUCC);
  // Kinds 2 and 3 carry extra components after the weight: the same record.
  for (int kind = 2; kind <= 3; ++kind) {
    std::vector<std::vector<double>> seg(cm.m);
    std::vector<double *> ptr(cm.m);
    std::vector<int32_t> irat(cm.m, kind);
    for (int i = 0; i < cm.m; ++i) {
      seg[i].assign(cm.series[i], cm.series[i] + 4 * (cm.ndeg[i] + 1));
      seg[i].resize((3 + kind) * (cm.ndeg[i] + 1), 7.0);
      ptr[i] = seg[i].data();
    }
    BScmlgd2bsp(3, cm.m, 0, cm.ndeg, irat.data(), cm.ibase.data(), ptr.data(), cm.bez, cm.se, 1e-7,
                4, &out, &rc);
    ASSERT_EQ(rc, BSSUCC);
    ASSERT_EQ(out->num_poles, ref->num_poles);
    for (int i = 0; i < 3 * ref->num_poles; ++i) EXPECT_EQ(out->poles[i], ref->poles[i]);
    BSfreeqelcv(out, &rc);
  }
  BSfreeqelcv(ref, &rc);
  // Periodic: one whole period comes back closed; a range across the seam (by
  // parameters, and by segments m-1 .. 0) follows the wrapped curve.
  const double se[2] = {0.5, 1.5};
  for (int op = 0; op < 3; ++op) {
    if (op == 0)
      BScmlgd2bsp(3, cm.m, 1, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, cm.se, 1e-7, 4,
                  &out, &rc);
    else if (op == 1)
      BSlimcmplgd(3, cm.m, 1, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, se[0], se[1],
                  1e-7, 4, &out, &rc);
    else
      BScmlg2bsab(3, cm.m, 1, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, cm.m - 1, 0, -1,
                  1, 1e-7, 4, &out, &rc);
    ASSERT_EQ(rc, BSSUCC) << op;
    EXPECT_EQ(out->phy_closed, op < 2 ? 1 : 0);
    const double s = op == 0 ? 0 : op == 1 ? 0.5 : cm.bez[cm.m - 1];
    const double len = op < 2 ? 1 : 1 - cm.bez[cm.m - 1] + cm.bez[1];
    for (int i = 0; i <= 100; ++i) {
      const auto a = cm.eval(0, s + len * i / 100, &rc, 1);
      const auto b = kwtest::ref_eval(*out, i / 100.0);
      EXPECT_LE(std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]), 1e-7) << op << " " << i;
    }
    for (int j = 0; j < 3 && op == 0; ++j)
      EXPECT_NEAR(out->poles[j] / out->weights[0],
                  out->poles[3 * (out->num_poles - 1) + j] / out->weights[out->num_poles - 1],
                  1e-15);
    BSfreeqelcv(out, &rc);
  }
  // A planar rational quarter circle: divided by its weight, a polynomial record on
  // the circle; BScnvlgdnt keeps it rational.
  const double h = std::sqrt(0.5);
  RefCurve q = kwtest::make_curve(3, {0, 0, 0, 1, 1, 1}, {1, 0, 0, h, h, 0, 0, 1, 0});
  q.weights = {1, h, 1};
  Cmp qm;
  ASSERT_EQ(qm.from(q, 2), BSSUCC);
  for (int op = 0; op < 2; ++op) {
    if (op == 0)
      BScmlgd2bsp(2, qm.m, 0, qm.ndeg, qm.irat, qm.ibase.data(), qm.series, qm.bez, qm.se, 1e-8, 4,
                  &out, &rc);
    else
      BScnvlgdnt(2, 0, qm.m, qm.ndeg, qm.irat, qm.ibase.data(), qm.series, qm.bez, 4, 2, 1e-8, &out,
                 &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_EQ(out->rational, op);
    for (int i = 0; i <= 300; ++i) {
      const auto p = kwtest::ref_eval(*out, i / 300.0);
      EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, 1e-8);
    }
    BSfreeqelcv(out, &rc);
  }
}

TEST_F(Composite, SegmentToSplinePieces) {
  // P_4 has the constant 4th derivative 105 = C (k = 4, r = 0): half-length
  // tol^(1/4) = 0.1, breaks -1.1 .. 1.1 by 0.2, mapped onto [-1, 1].
  const double p4[5] = {0, 0, 0, 0, 1};
  int32_t pieces;
  double *br = nullptr;
  BSrc rc;
  BSfndktslg(4, 1, 1, p4, 4, 0, 1e-4, &pieces, &br, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(pieces, 11);
  for (int i = 0; i <= 11; ++i) EXPECT_NEAR(br[i], (-1.1 + 0.2 * i) / 1.1, 1e-14);
  BSdbgfree(br);
  BSfndktslg(3, 1, 1, p4, 4, 0, 1e-4, &pieces, &br, &rc);
  EXPECT_TRUE(rc == BSSUCC && pieces == 0 && br == nullptr);
  // Random polynomial and rational segments within tolerance; low degrees give one
  // Bezier piece of that degree.
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> uni(-1, 1);
  for (int trial = 0; trial < 24; ++trial) {
    const int n = trial % 8 == 0 ? 2 : 6 + trial % 11, d = 1 + trial % 3, order = 3 + trial % 4;
    const bool rational = trial % 2 == 1;
    std::vector<double> ser((d + 1) * (n + 1));
    for (int i = 0; i < (d + 1) * (n + 1); ++i) ser[i] = uni(rng) / (1 + i % (n + 1));
    ser[d * (n + 1)] = 3.0;  // weight near 3
    int32_t ko, np;
    double *poles, *knots;
    const double tol = 1e-7;
    if (rational)
      BSlgdbsplr(n, d, ser.data(), order, order - 2, tol, &ko, &np, &poles, &knots, &rc);
    else
      BSlgdbspl1(n, d, ser.data(), order, order - 2, tol, &ko, &np, &poles, &knots, &rc);
    ASSERT_EQ(rc, BSSUCC) << trial;
    EXPECT_EQ(ko, n < order ? n + 1 : order);
    EXPECT_LE(segment_deviation(d, rational, n, ser.data(), ko, np, poles, knots), tol) << trial;
    BSdbgfree(poles);
    BSdbgfree(knots);
  }
  // A zero series: order 1 and a zero pole; a correction over tol: 55 and results.
  const double zero[3] = {0, 0, 0}, two[3] = {-1, 0, 1};
  int32_t ko, np;
  double *poles, *knots;
  BSlgdbspl1(2, 1, zero, 4, 2, 1e-9, &ko, &np, &poles, &knots, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_TRUE(ko == 1 && np == 1 && poles[0] == 0.0);
  BSdbgfree(poles);
  BSdbgfree(knots);
  BSlgdbspspn(4, 1, p4, 3, 2, two, 1e-9, &poles, &knots, &rc);
  EXPECT_EQ(rc, 55);
  BSdbgfree(poles);
  BSdbgfree(knots);
}

TEST_F(Composite, QuadraticChainToSpline) {
  // The Bezier pieces of a C1 quadratic spline (mid poles are the spline's, ends
  // the points at the breaks) give its poles back.
  const double u[4] = {0, 0.3, 0.5, 1}, P[5] = {1, -2, 4, 0.5, 3};
  double pieces[9], poles[5];
  for (int j = 0; j < 3; ++j) {
    const auto at = [&](int i) {  // spline value at break i
      if (i == 0) return P[0];
      if (i == 3) return P[4];
      return ((u[i + 1] - u[i]) * P[i] + (u[i] - u[i - 1]) * P[i + 1]) / (u[i + 1] - u[i - 1]);
    };
    pieces[3 * j] = at(j);
    pieces[3 * j + 1] = P[j + 1];
    pieces[3 * j + 2] = at(j + 1);
  }
  BSrc rc;
  BSbzod3bsp(3, 1, pieces, u, poles, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(poles[i], P[i], 1e-14);
}

TEST_F(Composite, FailureStatuses) {
  RefCurve c = kwtest::cubic_bezier();
  std::vector<double> rows = {0, 1, 3, 4, 0, 2, 2, 0, 0, 0, 1, 0}, bad_knots = c.knots;
  bad_knots[2] = 5;
  int32_t m, *nd, *ir, *ib;
  double **ser, *bz, se[2], v[3], br[3] = {0, 0, 1}, in[8] = {0}, out[8];
  const int32_t deg[1] = {3}, kind[1] = {0}, bad_kind[1] = {4}, base1[1] = {1}, base2[1] = {2};
  double coef[20] = {0}, *segs[1] = {coef}, bk[2] = {0, 1}, bk0[2] = {1, 1}, bad_se[2] = {-1, 1};
  const int32_t one[1] = {1};
  const double p4[5] = {0, 0, 0, 0, 1}, wide[2] = {0, 2.5};
  BScurve *cv = nullptr;
  const struct {
    std::function<BSrc()> op;
    BSrc want;
  } cases[] = {
      {STATUS_OF(BSalldeflgd(0, &nd, &ir, &ib, &bz, &rc)), BSINARG},
      {STATUS_OF(BSalldeflgd(2, nullptr, &ir, &ib, &bz, &rc)), BSNULLPTR},
      {STATUS_OF(BSallcmplgd(3, 1, deg, bad_kind, &ser, &rc)), BSINARG},
      {STATUS_OF(
           BSbsp2cmlgd(3, 4, 4, 0, nullptr, c.knots.data(), &m, &nd, &ir, &ser, &bz, se, &rc)),
       BSNULLPTR},
      {STATUS_OF(BSbsp2cmlgd(3, 4, 4, 0, rows.data(), bad_knots.data(), &m, &nd, &ir, &ser, &bz, se,
                             &rc)),
       BSINARG},
      {STATUS_OF(
           BSbsp2cmlgd2d(4, 1, 0, rows.data(), c.knots.data(), &m, &nd, &ir, &ser, &bz, se, &rc)),
       BSINARG},
      {STATUS_OF(BSevalgdcmp(3, 0, 0, deg, kind, base1, segs, bk, 0, 0.5, v, &rc)), BSINARG},
      {STATUS_OF(BSevalgdcmp(3, 0, 1, deg, kind, base2, segs, bk, 0, 0.5, v, &rc)), BSINARG},
      {STATUS_OF(BSevalgdcmp(3, 0, 1, deg, kind, base1, segs, bk0, 0, 0.5, v, &rc)), BSINARG},
      {STATUS_OF(BSevalgdcmp(3, 0, 1, deg, kind, base1, segs, bk, 0, NAN, v, &rc)), BSINARG},
      {STATUS_OF(BSevalgdcmp(3, 0, 1, deg, kind, base1, nullptr, bk, 0, 0.5, v, &rc)), BSNULLPTR},
      {STATUS_OF(BSevalgdsng(3, 4, 1, coef, 0, 0.5, v, &rc)), BSINARG},
      {STATUS_OF(BSevalgdsng(1, 3, 1, coef, 0, 0.5, v, &rc)), BSDIVZERO},  // zero weight
      {STATUS_OF(BSevacansng(3, 3, 0, coef, -1, 0.5, v, &rc)), BSINARG},
      {STATUS_OF(BSlgdbspcm1(1, 1, 3, coef, bk, &m, &bz, &bz, &rc)), BSINARG},
      {STATUS_OF(BSlgdbspcm1(4, 2, 1, in, br, &m, nullptr, &bz, &rc)), BSNULLPTR},
      {STATUS_OF(BScstlgdbsp(1, 1, 4, 1, 2, br, in, 1.0, out, &rc)), BSDIVZERO},
      {STATUS_OF(BScstlgdbsp(1, 1, 4, 4, 2, bk, in, 1.0, out, &rc)), BSINARG},
      {STATUS_OF(BScstlgdbsp(1, 1, 4, 1, 2, bk, nullptr, 1.0, out, &rc)), BSNULLPTR},
      {STATUS_OF(BScmlgd2bsp(3, 1, 0, deg, kind, base1, segs, bk, bad_se, 1e-6, 4, &cv, &rc)),
       BSINARG},
      {STATUS_OF(BScmlgd2bsp(3, 1, 1, deg, kind, base1, segs, bk, wide, 1e-6, 4, &cv, &rc)),
       BSINARG},
      {STATUS_OF(BScmlgd2bsp(3, 1, 0, deg, bad_kind, base1, segs, bk, bk, 1e-6, 4, &cv, &rc)),
       BSINARG},
      {STATUS_OF(BScmlgd2bsp(3, 1, 0, deg, kind, base1, segs, bk, bk, 0.0, 4, &cv, &rc)), BSINARG},
      {STATUS_OF(BScmlgd2bsp(3, 1, 0, deg, kind, base1, segs, bk, bk, 1e-6, 17, &cv, &rc)),
       BSINARG},
      {STATUS_OF(BScmlgd2bsp(3, 1, 0, deg, kind, base1, segs, bk, bk, 1e-6, 4, nullptr, &rc)),
       BSNULLPTR},
      {STATUS_OF(BScmlgd2bsp(1, 1, 0, deg, one, base1, segs, bk, bk, 1e-6, 4, &cv, &rc)),
       BSINARG},  // rational in one dimension
      {STATUS_OF(BScmlgd2bsp(3, 1, 0, deg, one, base1, segs, bk, bk, 1e-6, 4, &cv, &rc)),
       BSINARG},  // zero weight
      {STATUS_OF(BSlimcmplgd(3, 1, 0, deg, kind, base1, segs, bk, 0.5, 0.5, 1e-6, 4, &cv, &rc)),
       BSINARG},
      {STATUS_OF(BScmlg2bsab(3, 1, 0, deg, kind, base1, segs, bk, 0, 1, -1, 1, 1e-6, 4, &cv, &rc)),
       BSINARG},
      {STATUS_OF(BScnvlgdnt(3, 0, 1, deg, kind, base2, segs, bk, 4, 2, 1e-6, &cv, &rc)), BSINARG},
      {STATUS_OF(BScnvlgd2d(0, 1, deg, kind, base1, segs, bk, 4, 2, 1e-6, nullptr, &rc)),
       BSNULLPTR},
      {STATUS_OF(BSfndktslg(3, 1, 1, coef, 1, 0, 1e-6, &m, &bz, &rc)), BSINARG},
      {STATUS_OF(BSfndktslg(3, 1, 1, coef, 4, 0, NAN, &m, &bz, &rc)), BSINARG},
      {STATUS_OF(BSfndktslg(3, 1, 1, coef, 4, 0, 1e-6, nullptr, &bz, &rc)), BSNULLPTR},
      {STATUS_OF(BSfndktslg(4, 1, 1, p4, 4, 0, 1e-300, &m, &bz, &rc)), BSNOMEMORY},
      {STATUS_OF(BSlgdbspspn(3, 1, coef, 4, 1, bk0, 1e-6, &bz, &bz, &rc)), BSINARG},
      {STATUS_OF(BSlgdbspspn(3, 1, coef, 4, 1, bk, 1e-6, nullptr, &bz, &rc)), BSNULLPTR},
      {STATUS_OF(BSlgdbspl1(3, 0, coef, 4, 2, 1e-6, &m, &m, &bz, &bz, &rc)), BSINARG},
      {STATUS_OF(BSlgdbspl1(3, 1, nullptr, 4, 2, 1e-6, &m, &m, &bz, &bz, &rc)), BSNULLPTR},
      {STATUS_OF(BSlgdbsplr(1, 1, coef, 4, 2, 1e-6, &m, &m, &bz, &bz, &rc)), BSINARG},
      {STATUS_OF(BSlgdbsplr(1, 4, coef, 4, 2, 1e-6, &m, &m, &bz, &bz, &rc)), BSINARG},
      {STATUS_OF(BSlgdbsplr(1, 1, coef, 4, 2, 1e-6, nullptr, &m, &bz, &bz, &rc)), BSNULLPTR},
      {STATUS_OF(BSbzod3bsp(2, 1, coef, br, out, &rc)), BSINARG},
      {STATUS_OF(BSbzod3bsp(1, 1, coef, bk, nullptr, &rc)), BSNULLPTR},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].op(), cases[i].want) << i;
}

}  // namespace
