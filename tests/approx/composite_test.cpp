// Composite Legendre curves: B-spline -> composite evaluates as the spline (value
// and derivatives against the long-double reference), the exact C0 conversion
// back reproduces the curve, the continuity correction gives the stated
// continuity, evaluation rules, every failure status and allocation failures.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <random>
#include <vector>

#include "ref_curves.hpp"
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
    EXPECT_EQ(cm.se[0], 0.0);
    EXPECT_EQ(cm.se[1], 1.0);
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
  EXPECT_EQ(pm.ndeg[0], 0);
  EXPECT_EQ(pm.bez[0], 0.0);
  EXPECT_EQ(pm.bez[1], 1.0);
  EXPECT_EQ(pm.series[0][2], 3.0);
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

TEST_F(Composite, CompositeToSplineWithinTolerance) {
  std::mt19937_64 rng(33);
  for (int trial = 0; trial < 24; ++trial) {
    const int k = 2 + trial % 5, n = k + 2 + static_cast<int>(rng() % 6);
    const bool rational = trial % 3 == 2;
    RefCurve c = kwtest::random_curve(rng, kwtest::CurveShape{k, n, rational, false});
    BScurve orig = c.view();
    Cmp cm;
    ASSERT_EQ(cm.from(c), BSSUCC);
    SCOPED_TRACE(testing::Message() << "trial " << trial << " k " << k);
    BScurve *out = nullptr;
    BSrc rc;
    BScmlgd2bsp(3, cm.m, 0, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, cm.se, 1e-9, &out,
                &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_EQ(out->order, k);
    if (!rational) {
      EXPECT_EQ(out->num_poles, n);  // every junction knot removed again
    }
    EXPECT_LE(kwtest::max_deviation(orig, *out, 0.0, 1.0, 2001), 1e-9);
    BSfreeqelcv(out, &rc);
    // The part [0.3, 0.8], and segments 0 .. m-1 from the middle of the first to
    // the middle of the last (or to 0.75), each reparametrised to [0, 1].
    const double s0 = (cm.bez[0] + cm.bez[1]) / 2,
                 e0 = cm.m == 1 ? 0.75 : (cm.bez[cm.m - 1] + cm.bez[cm.m]) / 2;
    for (int part = 0; part < 2; ++part) {
      if (part == 0) {
        BSlimcmplgd(3, cm.m, 0, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, 0.3, 0.8,
                    1e-9, &out, &rc);
      } else {
        BScmlg2bsab(3, cm.m, 0, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, 0, cm.m - 1,
                    0.0, cm.m == 1 ? 0.5 : 0.0, 1e-9, &out, &rc);
      }
      ASSERT_EQ(rc, BSSUCC);
      const double s = part ? s0 : 0.3, e = part ? e0 : 0.8;
      for (int i = 0; i <= 200; ++i) {
        const auto a = kwtest::ref_eval(orig, s + (e - s) * i / 200.0),
                   b = kwtest::ref_eval(*out, i / 200.0);
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(a[j], b[j], 1e-9);
      }
      BSfreeqelcv(out, &rc);
    }
  }
}

TEST_F(Composite, FailureStatuses) {
  RefCurve c = kwtest::cubic_bezier();
  std::vector<double> rows = c.rows(), bad_knots = c.knots;
  bad_knots[2] = 5;
  int32_t m, *nd, *ir, *ib;
  double **ser, *bz, se[2], v[3], br[3] = {0, 0, 1}, in[8] = {0}, out[8];
  const int32_t deg[1] = {3}, kind[1] = {0}, bad_kind[1] = {4}, base1[1] = {1}, base2[1] = {2};
  double coef[20] = {0}, *segs[1] = {coef}, bk[2] = {0, 1}, bk0[2] = {1, 1}, bad_se[2] = {-1, 1};
  const int32_t two[1] = {2};
  BScurve *cv = nullptr;
  const struct {
    std::function<void(BSrc *)> op;
    BSrc want;
  } cases[] = {
      {[&](BSrc *rc) { BSalldeflgd(0, &nd, &ir, &ib, &bz, rc); }, BSINARG},
      {[&](BSrc *rc) { BSalldeflgd(2, nullptr, &ir, &ib, &bz, rc); }, BSNULLPTR},
      {[&](BSrc *rc) { BSallcmplgd(3, 1, deg, bad_kind, &ser, rc); }, BSINARG},
      {[&](BSrc *rc) {
         BSbsp2cmlgd(3, 4, 4, 0, nullptr, c.knots.data(), &m, &nd, &ir, &ser, &bz, se, rc);
       },
       BSNULLPTR},
      {[&](BSrc *rc) {
         BSbsp2cmlgd(3, 4, 4, 0, rows.data(), bad_knots.data(), &m, &nd, &ir, &ser, &bz, se, rc);
       },
       BSINARG},
      {[&](BSrc *rc) {
         BSbsp2cmlgd2d(4, 1, 0, rows.data(), c.knots.data(), &m, &nd, &ir, &ser, &bz, se, rc);
       },
       BSINARG},
      {[&](BSrc *rc) { BSevalgdcmp(3, 0, 0, deg, kind, base1, segs, bk, 0, 0.5, v, rc); }, BSINARG},
      {[&](BSrc *rc) { BSevalgdcmp(3, 0, 1, deg, kind, base2, segs, bk, 0, 0.5, v, rc); }, BSINARG},
      {[&](BSrc *rc) { BSevalgdcmp(3, 0, 1, deg, kind, base1, segs, bk0, 0, 0.5, v, rc); },
       BSINARG},
      {[&](BSrc *rc) { BSevalgdcmp(3, 0, 1, deg, kind, base1, segs, bk, 0, NAN, v, rc); }, BSINARG},
      {[&](BSrc *rc) { BSevalgdcmp(3, 0, 1, deg, kind, base1, nullptr, bk, 0, 0.5, v, rc); },
       BSNULLPTR},
      {[&](BSrc *rc) { BSevalgdsng(3, 4, 1, coef, 0, 0.5, v, rc); }, BSINARG},
      {[&](BSrc *rc) { BSevalgdsng(1, 3, 1, coef, 0, 0.5, v, rc); }, BSDIVZERO},  // zero weight
      {[&](BSrc *rc) { BSevacansng(3, 3, 0, coef, -1, 0.5, v, rc); }, BSINARG},
      {[&](BSrc *rc) { BSlgdbspcm1(1, 1, 3, coef, bk, &m, &bz, &bz, rc); }, BSINARG},
      {[&](BSrc *rc) { BSlgdbspcm1(4, 2, 1, in, br, &m, nullptr, &bz, rc); }, BSNULLPTR},
      {[&](BSrc *rc) { BScstlgdbsp(1, 1, 4, 1, 2, br, in, 1.0, out, rc); }, BSDIVZERO},
      {[&](BSrc *rc) { BScstlgdbsp(1, 1, 4, 4, 2, bk, in, 1.0, out, rc); }, BSINARG},
      {[&](BSrc *rc) { BScstlgdbsp(1, 1, 4, 1, 2, bk, nullptr, 1.0, out, rc); }, BSNULLPTR},
      {[&](BSrc *rc) { BScmlgd2bsp(3, 1, 0, deg, two, base1, segs, bk, bad_se, 1e-6, &cv, rc); },
       BSINARG},
      {[&](BSrc *rc) { BScmlgd2bsp(3, 1, 0, deg, kind, base1, segs, bk, bad_se, 1e-6, &cv, rc); },
       BSINARG},
      {[&](BSrc *rc) { BScmlgd2bsp(3, 1, 0, deg, kind, base1, segs, bk, bk, 1e-6, nullptr, rc); },
       BSNULLPTR},
      {[&](BSrc *rc) { BSlimcmplgd(3, 1, 0, deg, kind, base1, segs, bk, 0.5, 0.5, 1e-6, &cv, rc); },
       BSINARG},
      {[&](BSrc *rc) {
         BScmlg2bsab(3, 1, 0, deg, kind, base1, segs, bk, 0, 1, -1, 1, 1e-6, &cv, rc);
       },
       BSINARG},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    BSrc rc = 1234;
    cases[i].op(&rc);
    EXPECT_EQ(rc, cases[i].want) << "case " << i;
  }
}

TEST_F(Composite, AllocationFailuresLeaveNoLeak) {
  std::mt19937_64 rng(1);
  RefCurve c = kwtest::random_curve(rng, 4, 60, true, true);
  std::vector<double> rows = c.rows();
  const int m = 40, k = 4;
  std::vector<double> br(m + 1), in(2 * m * k, 0.25), out(in.size());
  for (int i = 0; i <= m; ++i) br[i] = i;
  Cmp cm;
  ASSERT_EQ(cm.from(c), BSSUCC);
  const std::function<BSrc()> ops[] = {
      [&] {
        BSrc rc;
        int32_t n_seg, *nd = nullptr, *ir = nullptr;
        double **ser = nullptr, *bz = nullptr, se[2];
        BSbsp2cmlgd(3, c.n(), 4, 1, rows.data(), c.knots.data(), &n_seg, &nd, &ir, &ser, &bz, se,
                    &rc);
        if (rc == BSSUCC) {
          BSfrecmplgd(&ser);
          BSdbgfree(nd);
          BSdbgfree(ir);
          BSdbgfree(bz);
        } else {
          EXPECT_TRUE(nd == nullptr && ser == nullptr && bz == nullptr);
        }
        return rc;
      },
      [&] {
        BSrc rc;
        int32_t N;
        double *p = nullptr, *kn = nullptr;
        BSlgdbspcm1(k, m, 2, in.data(), br.data(), &N, &p, &kn, &rc);
        if (rc == BSSUCC) {
          BSdbgfree(p);
          BSdbgfree(kn);
        }
        return rc;
      },
      [&] {
        BSrc rc;
        BScstlgdbsp(1, 2, k, 2, m, br.data(), in.data(), 1e9, out.data(), &rc);
        return rc;
      },
      [&] {
        BScurve *cv = nullptr;
        BSrc rc, ignored;
        BScmlgd2bsp(3, cm.m, 0, cm.ndeg, cm.irat, cm.ibase.data(), cm.series, cm.bez, cm.se, 1e-9,
                    &cv, &rc);
        if (rc == BSSUCC) BSfreeqelcv(cv, &ignored);
        return rc;
      },
  };
  for (const auto &op : ops) {
    const auto res = kwtest::sweep_allocation_failures(op, {BSNOMEMORY, BSNOSTKMEMORY});
    EXPECT_GE(res.allocations, 1);
  }
}

}  // namespace
