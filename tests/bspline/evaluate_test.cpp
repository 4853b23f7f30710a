// Curve evaluation against the long-double reference (all orders, derivatives, span
// rules, far from the origin), exact cases, failure statuses, scratch and heap use.

#include "bspline/kernel.hpp"
#include "record_room.hpp"
#include "ref_curves.hpp"
#include "status_of.hpp"
#include "status_ok.hpp"
#include "support.hpp"

using kwtest::LD;
using kwtest::make_curve;
using kwtest::RefCurve;
using kwtest::RefDerivs;

namespace {

constexpr double kEps = 2.220446049250313e-16;

// A few ulps per level of the triangle, times the magnitude of the summed terms.
double allowed(const RefDerivs &r, int j, int k) {
  return 32.0 * k * kEps * static_cast<double>(r.bound[j]) + 1e-300;
}

::testing::AssertionResult matches(const double *got, const RefDerivs &r, int d, int k,
                                   int stride = 3) {
  for (int j = 0; j <= d; ++j)
    for (int c = 0; c < 3; ++c) {
      const LD err = std::fabs((LD)got[stride * j + c] - r.value[3 * j + c]);
      if (!(err <= allowed(r, j, k)))
        return ::testing::AssertionFailure()
               << "derivative " << j << " coordinate " << c << ": got " << got[stride * j + c]
               << " want " << (double)r.value[3 * j + c];
    }
  return ::testing::AssertionSuccess();
}

RefDerivs ref_at(const RefCurve &c, double u, int d) {
  return kwtest::ref_derivs(c, kwtest::span_right_closed(c, u), u, d);
}

// Every knot of the domain, a point inside each span, and points just outside.
std::vector<double> probe_parameters(const RefCurve &c, std::mt19937_64 &rng) {
  std::uniform_real_distribution<double> f(0.0, 1.0);
  const double margin = 1e-3 * (c.hi() - c.lo());
  std::vector<double> u = {c.lo() - margin, c.hi() + margin};
  for (int i = c.k - 1; i <= c.n(); ++i) {
    u.push_back(c.knots[i]);
    if (i < c.n() && c.knots[i + 1] > c.knots[i])
      u.push_back(c.knots[i] + f(rng) * (c.knots[i + 1] - c.knots[i]));
  }
  return u;
}

// A random curve whose distinct knots lie 0.2 to 1 apart (the bound of the
// reference does not cover the cancellation of tightly packed knots).
RefCurve spaced_curve(std::mt19937_64 &rng, int k, int n, bool rational, bool clamped) {
  RefCurve c = kwtest::random_curve(rng, k, n, rational, clamped);
  std::vector<double> t = c.knots;
  for (size_t i = 1; i < t.size(); ++i)
    t[i] =
        t[i - 1] +
        (c.knots[i] > c.knots[i - 1] ? 0.2 + 0.8 * std::fabs(std::fmod(c.knots[i] * 977, 1.0)) : 0);
  c.knots = t;
  return c;
}

// Orders 2..16, rational or not, clamped or not.
template <class F>
void for_all_cases(std::mt19937_64 &rng, int extra, F f) {
  for (int k = 2; k <= 16; ++k)
    for (int m = 0; m < 4; ++m) f(spaced_curve(rng, k, k + extra, m & 1, m & 2));
}

class Evaluate : public kwtest::GuardedTest {};

}  // namespace

TEST(BScveval, AllEvaluatorsMatchReference) {
  std::mt19937_64 rng(11);
  kwtest::NoHeapScope scope;  // ordinary curves evaluate without heap traffic
  for_all_cases(rng, 5, [&](RefCurve c) {
    BScurve cv = c.view();
    const int k = c.k, n = c.n(), m = c.rational() ? 4 : 3;
    const std::vector<double> rows = c.rows();
    for (double u : probe_parameters(c, rng)) {
      SCOPED_TRACE(testing::Message() << "k " << k << " rational " << c.rational() << " u " << u);
      const int sr = kwtest::span_right_closed(c, u), sl = kwtest::span_left_closed(c, u);
      const RefDerivs r = kwtest::ref_derivs(c, sr, u, k), rl = kwtest::ref_derivs(c, sl, u, k);
      std::vector<double> out(4 * (k + 1));
      BSrc rc;
      KW_OK(BScveval(&cv, u, k, out.data(), &rc));  // one derivative beyond the degree
      ASSERT_TRUE(matches(out.data(), r, k, k));
      // BScveval0/1/2 on the left-closed span given by the caller.
      const decltype(&BScveval0) span_fns[3] = {BScveval0, BScveval1, BScveval2};
      for (int d = 0; d < 3; ++d) {
        KW_OK(span_fns[d](&rc, k, cv.poles, cv.weights, cv.knots, sl, u, out.data()));
        EXPECT_TRUE(matches(out.data(), rl, d, k)) << "BScveval" << d;
      }
      // BSbspl (homogeneous, stride 4) and BSrspl (its quotient).
      const int32_t s32 = sr, d = std::min(15, k);
      ASSERT_TRUE(BSbspl(&rc, cv.poles, cv.weights, cv.knots, &cv.order, &cv.rational, &s32, &d, &u,
                         out.data()));
      EXPECT_TRUE(c.rational() || matches(out.data(), r, d, k, 4));
      ASSERT_TRUE(BSrspl(&rc, &d, &cv, out.data()));
      EXPECT_TRUE(matches(out.data(), r, d, k, 4));
      // BScveval_b: the left limit, and the right one where a derivative up to d jumps
      // (at an interior knot of multiplicity m, beyond derivative k - 1 - m).
      const int mult = u > c.lo() && u < c.hi() ? kwtest::multiplicity(cv, u) : 0;
      const bool jump = mult > 0 && k - 1 - mult < (c.rational() ? d : std::min(d, k - 1));
      int16_t flag = -1;
      std::vector<double> right(3 * (d + 1), 42.0);
      ASSERT_TRUE(BScveval_b(&rc, &cv, &u, &d, nullptr, &flag, out.data(), right.data()));
      EXPECT_EQ(flag, jump ? 1 : 0);
      EXPECT_TRUE(matches(out.data(), r, d, k));
      EXPECT_TRUE(jump ? matches(right.data(), rl, d, k) : right[0] == 42.0);
      // BSmansf0/1/2 against the Cox-de Boor basis.
      const auto N = kwtest::ref_basis(c.knots.data(), k, sr, u, 2);
      std::vector<double> m0(k), m1(k), z0(k), b[3] = {m0, m0, m0};
      KW_OK(BSmansf2(&rc, k, cv.knots, sr, u, b[0].data(), b[1].data(), b[2].data()));
      BSmansf1(&rc, k, cv.knots, sr, u, m0.data(), m1.data());
      BSmansf0(&rc, k, cv.knots, sr, u, z0.data());
      for (int j = 0; j < 3; ++j) {
        LD scale = 0;
        for (int i = 0; i < k; ++i) scale += std::fabs(N[j][i]);
        for (int i = 0; i < k; ++i)
          EXPECT_NEAR(b[j][i], (double)N[j][i], 8 * k * kEps * (double)scale);
      }
      EXPECT_TRUE(m0 == b[0] && m1 == b[1] && z0 == b[0]);
      // BScvevaln (homogeneous rows; d = 0 takes the span right of an interior
      // knot, d > 0 the left one; inside a span it is given for odd orders) and
      // BSevalbsp (Cartesian), inside the domain.
      if (u < c.lo() || u > c.hi()) continue;
      const int32_t given = (sl == sr && k % 2 == 1) ? sr : -1;
      for (int dd : {0, 1, k}) {
        const RefDerivs &want = dd == 0 ? rl : r;
        std::vector<double> h(m * (dd + 1)), cart(3 * (dd + 1));
        KW_OK(BScvevaln(k - 1, n, m, rows.data(), cv.knots, u, given, dd, h.data(), &rc));
        for (int j = 0; j <= dd; ++j)
          for (int q = 0; q < m; ++q)
            EXPECT_LE(std::fabs((LD)h[m * j + q] - want.hom[4 * j + q]), 8 * allowed(want, j, k));
        KW_OK(BSevalbsp(k - 1, n, 3, c.rational(), rows.data(), cv.knots, u, dd, cart.data(), &rc));
        EXPECT_TRUE(matches(cart.data(), want, dd, k));
      }
      // BScveval_h on the span rows, reciprocals and distances of the left-closed span.
      const int p = k - 1, s0 = sl - p;
      std::vector<double> srows(m * k), recip(k * k), dist(k), hh(m * k), want(m * k);
      for (int q = 0; q < m; ++q)
        for (int j = 0; j <= p; ++j) srows[q * k + j] = rows[q * n + s0 + j];
      for (int r = 1; r <= p; ++r) {
        dist[r] = u - c.knots[s0 + r];
        for (int j = r; j <= p; ++j)
          recip[r * k + j] = 1.0 / (c.knots[s0 + j + p + 1 - r] - c.knots[s0 + j]);
      }
      BScveval_h(p, m, p, srows.data(), recip.data(), dist.data(), hh.data());
      BScvevaln(p, n, m, rows.data(), cv.knots, u, sl, p, want.data(), &rc);
      for (int j = 0; j < k; ++j) {
        double row = 1.0;
        for (int q = 0; q < m; ++q) row = std::max(row, std::fabs(want[j * m + q]));
        for (int q = 0; q < m; ++q) EXPECT_NEAR(hh[j * m + q], want[j * m + q], 1e-6 * row);
      }
    }
  });
  EXPECT_EQ(scope.heap_requests(), 0);
}

TEST(BScvarreval, SweepsMatchReferenceWithSpanRules) {
  std::mt19937_64 rng(16);
  for_all_cases(rng, 6, [&](RefCurve c) {
    BScurve cv = c.view();
    std::vector<double> u = probe_parameters(c, rng), back;  // and many per span
    for (int i = 0; i < 60; ++i) back.push_back(c.lo() + (c.hi() - c.lo()) * (i + 0.37) / 60);
    u.insert(u.end(), back.begin(), back.end());
    std::sort(u.begin(), u.end());
    u.erase(u.begin());  // start inside the domain
    if (c.k % 2 == 0) {  // first parameter on an interior knot
      const double first = c.knots[c.k];
      u.erase(std::remove_if(u.begin(), u.end(), [&](double v) { return v <= first; }), u.end());
      u.insert(u.begin(), first);
    }
    // then those inside spans out of order: each before the running span found afresh
    std::shuffle(back.begin(), back.end(), rng);
    u.insert(u.end(), back.begin(), back.end());
    const int N = static_cast<int>(u.size());
    for (int d = 0; d <= 2; ++d) {
      std::vector<double> out(3 * (d + 1) * N);
      kwtest::NoHeapScope scope;
      KW_OK(BScvarreval(&rc, &cv, u.data(), N, d, out.data()));
      EXPECT_EQ(scope.heap_requests(), 0);
      for (int i = 0; i < N; ++i) {
        // With derivatives, parameters equal to the first take the left-closed
        // span, the rest (in order or not) the right-closed one.
        const int s = (d > 0 && u[i] == u[0]) ? kwtest::span_left_closed(c, u[i])
                                              : kwtest::span_right_closed(c, u[i]);
        ASSERT_TRUE(
            matches(out.data() + 3 * (d + 1) * i, kwtest::ref_derivs(c, s, u[i], d), d, c.k))
            << "k " << c.k << " d " << d << " i " << i;
      }
    }
    std::vector<double> pts(3 * N), hom(4 * N), tang(6 * N);
    KW_OK(BScvarrev0(&rc, &cv, u.data(), N, pts.data()));
    KW_OK(BScvarrev0w(&cv, N, u.data(), hom.data(), &rc));
    KW_OK(BScvarrevt(&cv, u.data(), N, 2.0, tang.data(), &rc));
    for (int i = 0; i < N; ++i) {
      const RefDerivs r = ref_at(c, u[i], 0);
      EXPECT_TRUE(matches(pts.data() + 3 * i, r, 0, c.k));
      EXPECT_TRUE(matches(tang.data() + 6 * i, r, 0, c.k));
      // the tooth: P + 2 T / |T| (T from either side at a knot)
      const double *t = tang.data() + 6 * i;
      double miss = 1.0;
      for (int s : {kwtest::span_left_closed(c, u[i]), kwtest::span_right_closed(c, u[i])}) {
        const RefDerivs r1 = kwtest::ref_derivs(c, s, u[i], 1);
        const double dl = std::hypot((double)r1.value[3], (double)r1.value[4], (double)r1.value[5]);
        double worst = 0.0;
        for (int q = 0; q < 3; ++q)
          worst = std::max(worst, std::fabs(t[3 + q] - t[q] - 2.0 * (double)r1.value[3 + q] / dl));
        miss = std::min(miss, worst);
      }
      EXPECT_LT(miss, 1e-9) << "tooth " << i;
      for (int q = 0; q < 4; ++q)
        EXPECT_LE(std::fabs((LD)hom[4 * i + q] - r.hom[q]), 8 * allowed(r, 0, c.k));
    }
  });
}

TEST(BSsetder_cv, QuotientRuleBeyondSixteenDerivatives) {
  // A rational quintic with 24 derivatives: the quotient rule needs binomials of
  // rows above 16, which must be exact.
  std::mt19937_64 rng(17);
  RefCurve c = spaced_curve(rng, 5, 8, true, true);
  BScurve cv = c.view();
  const double u = 0.5 * (c.lo() + c.hi()) + 0.0123;
  const int d = 24;
  std::vector<double> out(3 * (d + 1)), hom(4 * (d + 1));
  KW_OK(BScveval(&cv, u, d, out.data(), &rc));
  const RefDerivs r = ref_at(c, u, d);
  EXPECT_TRUE(matches(out.data(), r, d, 5 * 8));
  EXPECT_NE(out[3 * d], 0.0);
  for (int i = 0; i < 4 * (d + 1); ++i) hom[i] = static_cast<double>(r.hom[i]);
  KW_OK(BSsetder_cv(3, 1, d, hom.data(), out.data(), &rc));
  EXPECT_TRUE(matches(out.data(), r, d, 5 * 8));
}

TEST(Binomial, ExactInsideAndBeyondTheTable) {
  for (int n = 0; n <= 70; ++n)
    for (int i = 0; i <= n; ++i)
      ASSERT_EQ(knotwork::binomial(n, i), (double)kwtest::ref_binom(n, i)) << n << " " << i;
  double row[17];
  KW_EXPECT_OK(BSbinomcoef(16, row, &rc));
  EXPECT_EQ(row[8], 12870.0);
}

TEST(BScvarrevc, CurvatureCombOfCircleAndLine) {
  const double h = std::sqrt(0.5);
  RefCurve arc = make_curve(3, {0, 0, 0, 1, 1, 1}, {2, 0, 0, 2 * h, 2 * h, 0, 0, 2, 0}, {1, h, 1});
  BScurve av = arc.view();
  const double u[3] = {0.0, 0.5, 1.0};
  double curv[3], rad[3], out[18];
  BSrc rc = -99;
  KW_OK(BScvarrevc(&av, 3, u, 10.0, curv, rad, out, &rc));
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(curv[i], 0.5, 1e-14);
    EXPECT_NEAR(rad[i], 2.0, 1e-14);
    for (int q = 0; q < 3; ++q) EXPECT_NEAR(out[6 * i + 3 + q], 0.0, 1e-14);  // the centre
  }
  // A longest radius above L scales every tooth by L / R.
  BScvarrevc(&av, 3, u, 1.0, curv, rad, out, &rc);
  EXPECT_NEAR(std::hypot(out[3], out[4]), 1.0, 1e-14);
  RefCurve line = make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 0, 0, 2, 0, 0});
  BScurve lv = line.view();
  std::fill(out, out + 18, 42.0);
  KW_OK(BScvarrevc(&lv, 3, u, 1.0, curv, rad, out, &rc));
  for (int i = 0; i < 3; ++i)  // no second point
    EXPECT_TRUE(rad[i] == -1.0 && curv[i] == 0.0 && out[6 * i + 3] == 42.0);
}

TEST(BSlocknttol, StepsFromDerivativeLengths) {
  RefCurve line = make_curve(2, {0, 0, 1, 1}, {0, 0, 0, 1, 0, 0});
  RefCurve still = make_curve(2, {0, 0, 1, 1}, {1, 1, 1, 1, 1, 1});
  RefCurve par = make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 1, 0, 0});  // x = u^2
  const std::tuple<RefCurve *, double, double> cases[] = {
      {&line, 0.3, 1e-6}, {&still, 0.3, 1e-10}, {&par, 0.0, std::sqrt(1e-6 / 4.0)}};
  for (const auto &[c, u, want] : cases) {
    BScurve v = c->view();
    double t = 0;
    KW_EXPECT_OK(BSlocknttol(&v, u, 1e-6, &t, &rc));
    EXPECT_DOUBLE_EQ(t, want);
  }
}

TEST(BSwght_p, WeightAndUnweightInPlace) {
  double pts[6] = {1, 2, 3, 4, 5, 6};
  const double w[2] = {2, 0.5};
  const int32_t n = 2;
  BSrc rc = -99;
  EXPECT_TRUE(BSwght_p(&rc, pts, w, &n, pts) && pts[2] == 6.0 && pts[5] == 3.0);
  EXPECT_TRUE(BSunwght_p(&rc, pts, w, &n, pts) && pts[2] == 3.0 && pts[5] == 6.0);
}

TEST(Evaluators, FailureStatuses) {
  // A span of length 1e-20: above zero_tol^2 for points, below zero_tol with
  // derivatives; a decreasing knot vector meets a zero difference beside a valid span.
  const double t[] = {0, 0, 1, 1, 2, 2}, t3[] = {0, 0, 0, 1e-20, 1, 1, 1};
  const double bad[] = {0, 0, 0, 0.5, -1, 1, 1}, poles[12] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0};
  RefCurve seg = make_curve(2, {0, 0, 1, 1}, {0, 0, 0, 1, 0, 0});
  RefCurve zerow = make_curve(2, {0, 0, 1, 1}, {0, 0, 0, 1, 0, 0}, {0, 0});
  RefCurve midzero = make_curve(2, {0, 0, 0.5, 1, 1}, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {1, 0, 1});
  RefCurve quad = make_curve(2, {0, 0, 0.5, 1, 1, 1}, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0});
  RefCurve line = make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 2, 2, 2});
  RefCurve space = make_curve(2, {0, 0, 1, 2, 3, 3}, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1});
  RefCurve badw = make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 1, 0}, {1, 0.1, 1});
  BScurve sv = seg.view(), zv = zerow.view(), mv = midzero.view(), qv = quad.view();
  BScurve lv = line.view(), spv = space.view(), bv = badw.view();
  double a[64], b[64], c1[1], r1[1];
  const double hom[8] = {1, 2, 3, 0, 1, 1, 1, 1}, nan = std::nan(""), t0[4] = {0, 0, 1e-15, 1e-15};
  const int16_t k1 = 1, k2 = 2, no = 0;  // orders, and a rational flag
  const int32_t s1 = 1, d1 = 1, d16 = 16;
  const double half = 0.5, one = 1.0, v3[3] = {0.1, 0.5, 0.75};
  const double rows[6] = {0, 1, 2, 0, 0, 0}, tr[5] = {0, 0, 1, 2, 2};
  int16_t flag;
  kwtest::expect_statuses({
      {"mansf0 empty span", STATUS_OF(BSmansf0(&rc, 2, t, 2, 1.0, a)), BSINARG},
      {"mansf0 tiny span", [&] { return KW_STATUS(BSmansf0(&rc, 3, t3, 2, 0.5e-20, a)); }, BSSUCC},
      {"mansf1 tiny span", STATUS_OF(BSmansf1(&rc, 3, t3, 2, 0.5e-20, a, b)), BSINARG},
      {"mansf0 decreasing", STATUS_OF(BSmansf0(&rc, 3, bad, 2, 0.25, a)), BSDIVZERO},
      {"tiny span", STATUS_OF(BScveval1(&rc, 3, poles, nullptr, t3, 2, 0.5e-20, a)), BSINARG},
      {"decreasing", STATUS_OF(BScveval0(&rc, 3, poles, nullptr, bad, 2, 0.25, a)), BSDIVZERO},
      {"cveval0 empty span", STATUS_OF(BScveval0(&rc, 3, poles, nullptr, t3, 1, 0.5, a)), BSINARG},
      {"setder zero weight", STATUS_OF(BSsetder_cv(3, 1, 1, hom, a, &rc)), BSFAIL},
      {"cveval zero weight", STATUS_OF(BScveval(&zv, 0.5, 1, a, &rc)), BSFAIL},
      {"binomcoef 17", STATUS_OF(BSbinomcoef(17, a, &rc)), 2},
      {"binomcoef -1", STATUS_OF(BSbinomcoef(-1, a, &rc)), 2},
      {"cveval_b d 16", STATUS_OF(BScveval_b(&rc, &qv, &one, &d16, nullptr, &flag, a, b)), BSINARG},
      {"no knot above", STATUS_OF(BScveval_b(&rc, &qv, &one, &d1, nullptr, &flag, a, b)), BSDEGEN},
      {"cveval_b nan", STATUS_OF(BScveval_b(&rc, &qv, &nan, &d1, nullptr, &flag, a, b)), BSINARG},
      {"bspl order 1", STATUS_OF(BSbspl(&rc, poles, nullptr, t, &k1, &no, &s1, &d1, &half, a)), 2},
      {"degenerate", STATUS_OF(BSbspl(&rc, poles, nullptr, t0, &k2, &no, &s1, &d1, &half, a)),
       BSDEGEN},
      {"d 16", STATUS_OF(BSbspl(&rc, poles, nullptr, t, &k2, &no, &s1, &d16, &half, a)), BSINARG},
      {"below", STATUS_OF(BSevalbsp(1, 3, 2, 0, rows, tr, std::nextafter(0.0, -1.0), 1, a, &rc)),
       BSINARG},
      {"evalbsp above", STATUS_OF(BSevalbsp(1, 3, 2, 0, rows, tr, 2.5, 0, a, &rc)), BSINARG},
      {"cvarreval d 3", STATUS_OF(BScvarreval(&rc, &sv, v3, 2, 3, a)), BSINARG},
      {"cvarreval zero weight", STATUS_OF(BScvarreval(&rc, &mv, v3, 3, 0, a)), BSFAIL},
      {"cvarrevc order 2", STATUS_OF(BScvarrevc(&sv, 1, v3, 1.0, c1, r1, a, &rc)), BSINARG},
      {"cvnormal line", STATUS_OF(BScvnormal(&rc, &lv, a)), BSCOLLIN},
      {"cvnormal space", STATUS_OF(BScvnormal(&rc, &spv, a)), BSCOLLIN},
      {"cvnormal bad weight", STATUS_OF(BScvnormal(&rc, &bv, a)), BSBADWEIGHT},
  });
  // BSsetder_cv refuses a negative dim, and d outside [0, 2^24] whatever dim, before
  // writing anything.
  BSrc rc;
  for (const auto &[dim, d] : {std::pair{-1, 1}, std::pair{3, -1}, std::pair{3, (1 << 24) + 1},
                               std::pair{0, (1 << 24) + 1}, std::pair{-3, 2}}) {
    std::fill(a, a + 8, 9.0);
    EXPECT_EQ(KW_STATUS(BSsetder_cv(dim, 0, d, hom, a, &rc)), BSINARG) << dim << " " << d;
    EXPECT_EQ(a[0], 9.0);
  }
  // What the failing calls leave behind.
  std::fill(a, a + 8, 9.0);
  BSsetder_cv(3, 1, 1, hom, a, &rc);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(a[i], 0.0);
  EXPECT_EQ(a[6], 9.0);
  std::fill(a, a + 9, 42.0);
  BScvarreval(&rc, &mv, v3, 3, 0, a);  // w(0.5) = 0: earlier outputs stay written
  EXPECT_NE(a[0], 42.0);
  BScveval0(&rc, 3, poles, nullptr, t3, 1, 0.5, a);
  EXPECT_EQ(a[0], 0.0);
  std::fill(a, a + 4, 7.0);
  BScvevaln(-1, 2, 2, rows, tr, 0.5, -1, 1, a, &rc);  // a negative degree zeroes the outputs
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(std::vector<double>(a, a + 4), std::vector<double>(4, 0.0));
  // A failure of the general path (beyond one derivative) is traced under its name.
  BSdbginit();
  EXPECT_EQ(KW_STATUS(BScveval(&zv, 0.5, 1, a, &rc)), BSFAIL);
  EXPECT_EQ(KW_STATUS(BScveval(&zv, 0.5, 2, a, &rc)), BSFAIL);
  EXPECT_EQ(kwtest::capture_stdout([] { BSdbgprint(stdout); }),
            "error in BScveval, rc = -1 \nerror in BScveval_n, rc = -1 \n");
}

TEST_F(Evaluate, ScratchFailuresAreReported) {
  // Order 24 takes scratch in BScveval and BScvarrevc; 40 rational derivatives
  // need 123 doubles in BSevalbsp; 300 poles in BScvnormal.
  std::mt19937_64 rng(20);
  RefCurve c = spaced_curve(rng, 24, 28, true, true);
  BScurve cv = c.view();
  const double u = 0.5 * (c.lo() + c.hi());
  std::vector<double> out(3 * 41), pars(40), curv(40), rad(40), comb(240), nrm(3);
  for (int i = 0; i < 40; ++i) pars[i] = c.lo() + (c.hi() - c.lo()) * i / 39.0;
  const double rows[9] = {0, 1, 2, 0, 1, 0, 1, 0.5, 1}, t[6] = {0, 0, 0, 1, 1, 1};
  RefCurve big = kwtest::random_curve(rng, 2, 300, false, true);
  big.flatten();
  BScurve bv = big.view();
  kwtest::sweep_calls({[&](BSrc *rc) {
                         BScvarrevc(&cv, 40, pars.data(), 1.0, curv.data(), rad.data(), comb.data(),
                                    rc);
                       },
                       [&](BSrc *rc) { BSevalbsp(2, 3, 2, 1, rows, t, 0.3, 40, out.data(), rc); },
                       [&](BSrc *rc) { BScvnormal(rc, &bv, nrm.data()); },
                       [&](BSrc *rc) { BScveval(&cv, u, 3, out.data(), rc); }},
                      {BSNOSTKMEMORY});
  EXPECT_NEAR(std::fabs(nrm[2]), 1.0, 1e-12);  // the unit normal of the plane of the poles
  EXPECT_TRUE(matches(out.data(), ref_at(c, u, 3), 3, 24));
}

// Curves far from the origin: every evaluator's derivatives keep the accuracy they
// have at the origin (relative to the derivative's size), and the points keep a
// few ulps of their coordinates.
namespace {

// A random curve whose Cartesian poles lie on a 2^-24 grid in [-1, 1] and whose
// weights are sixteenths in [0.5, 2]: moving it by `offset` and weighting stay
// exact, so the moved curve is exactly the first one translated.
RefCurve grid_curve(std::mt19937_64 &rng, int k, int n, bool rational, double offset) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> sixteenths(8, 32);
  RefCurve c = kwtest::random_curve(rng, kwtest::CurveShape{k, n, false, false, true});
  if (rational) c.weights.resize(n);
  for (int i = 0; i < n; ++i) {
    const double w = rational ? sixteenths(rng) / 16.0 : 1.0;
    if (rational) c.weights[i] = w;
    for (int q = 0; q < 3; ++q)
      c.poles[3 * i + q] = w * (std::ldexp(std::round(std::ldexp(unit(rng), 24)), -24) + offset);
  }
  return c;
}

// Largest error of each derivative row and largest length of it over the
// parameters (the derivative's size), and the point's error in ulps of its
// largest coordinate.
struct Errors {
  double err[3] = {0, 0, 0}, size[3] = {0, 0, 0}, point_ulps = 0;
  double rel() const { return std::max(err[1] / size[1], err[2] / size[2]); }
};
void account(Errors &e, const double *got, const std::vector<LD> &ref, double offset, int d,
             int stride = 3) {
  for (int j = 0; j <= d; ++j) {
    LD len = 0, err = 0;
    for (int q = 0; q < 3; ++q) {
      const LD want = ref[3 * j + q] + (j == 0 ? offset : 0.0);
      len = std::max(len, std::fabs(want));
      err = std::max(err, std::fabs(got[stride * j + q] - want));
    }
    if (j == 0) e.point_ulps = std::max(e.point_ulps, double(err) / kwtest::ulp_of(double(len)));
    e.err[j] = std::max(e.err[j], double(err));
    e.size[j] = std::max(e.size[j], double(len));
  }
}

}  // namespace

// Cubic, quintic and order 8 (the general triangle) curves, polynomial and rational,
// moved 1e4 and 1e6: the main evaluator, the span evaluators, the homogeneous
// evaluator with its quotient rule, both array forms and the sweeps.
TEST(FarFromOrigin, DerivativesKeepTheirRelativeAccuracy) {
  std::mt19937_64 rng(41);
  std::uniform_real_distribution<double> f(0.0, 1.0);
  for (int k : {4, 6, 8})
    for (bool rational : {false, true}) {
      const uint64_t seed = rng();
      double at_origin = 0;
      for (double offset : {0.0, 1e4, 1e6}) {
        SCOPED_TRACE(testing::Message()
                     << "k " << k << " rational " << rational << " offset " << offset);
        const int n = 3 * k;
        std::mt19937_64 twin(seed), copy(seed);
        RefCurve at0 = grid_curve(twin, k, n, rational, 0.0);
        RefCurve far = grid_curve(copy, k, n, rational, offset);
        BScurve cv = far.view();
        const std::vector<double> rows = far.rows();
        std::vector<double> pars;
        for (int i = 0; i < 64; ++i) pars.push_back(far.lo() + (far.hi() - far.lo()) * f(rng));
        std::sort(pars.begin(), pars.end());
        Errors e;
        std::vector<double> sweep1(6 * 64), sweep2(9 * 64);
        BSrc rc = -99;
        KW_OK(BScvarreval(&rc, &cv, pars.data(), 64, 1, sweep1.data()));
        KW_OK(BScvarreval(&rc, &cv, pars.data(), 64, 2, sweep2.data()));
        for (int i = 0; i < 64; ++i) {
          const double u = pars[i];
          const int s = kwtest::span_right_closed(at0, u);
          const std::vector<LD> ref = kwtest::ref_derivs(at0, s, u, 2).value;
          double out[16 * 4];
          KW_OK(BScveval(&cv, u, 2, out, &rc));
          account(e, out, ref, offset, 2);
          BScveval1(&rc, k, cv.poles, cv.weights, cv.knots, s, u, out);
          account(e, out, ref, offset, 1);
          BScveval2(&rc, k, cv.poles, cv.weights, cv.knots, s, u, out);
          account(e, out, ref, offset, 2);
          const int32_t s32 = s, d = 2;
          ASSERT_TRUE(BSbspl(&rc, cv.poles, cv.weights, cv.knots, &cv.order, &cv.rational, &s32, &d,
                             &u, out));
          // the homogeneous rows of a rational curve carry its position in every
          // derivative: their quotient is only as good as that allows
          if (!rational) account(e, out, ref, offset, 2, 4);
          KW_OK(BSevalbsp(k - 1, n, 3, cv.rational, rows.data(), cv.knots, u, 2, out, &rc));
          account(e, out, ref, offset, 2);
          if (!rational) {
            KW_OK(BScvevaln(k - 1, n, 3, rows.data(), cv.knots, u, -1, 2, out, &rc));
            account(e, out, ref, offset, 2);
          }
          account(e, &sweep1[6 * i], ref, offset, 1);
          account(e, &sweep2[9 * i], ref, offset, 2);
        }
        // below 1e-14 of the derivative's size, or as good as at the origin
        if (offset == 0) at_origin = e.rel();
        EXPECT_LT(e.rel(), std::max(1e-14, 2 * at_origin));
        EXPECT_LT(e.point_ulps, 4.0 * k);
      }
    }
}
