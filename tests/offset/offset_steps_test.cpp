// The steps of the offset path called one by one: normal and side from a
// direction point, the offset polygon of a span against the corner construction
// computed here, the span test against distances measured by the reference
// evaluator, and the common order of two curves.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "knotwork.h"
#include "point_set.hpp"
#include "ref_curves.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;

class OffsetSteps : public kwtest::GuardedTest {};

const double kUp[3] = {0, 0, 1};

// A planar cubic wave in z = 0 with 8 poles.
RefCurve wave(double amp, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> y(-amp, amp);
  std::vector<double> p;
  for (int i = 0; i < 8; ++i) p.insert(p.end(), {i / 7.0, y(rng), 0.0});
  return kwtest::make_curve(4, {0, 0, 0, 0, .2, .4, .6, .8, 1, 1, 1, 1}, p);
}

// Record owned by the library (released on scope exit).
struct Owned {
  BScurve *cv = nullptr;
  ~Owned() {
    BSrc rc;
    if (cv) BSfreeqelcv(cv, &rc);
  }
};
Owned copy_of(RefCurve &c) {
  Owned o;
  BScurve v = c.view();
  BSrc rc = 0;
  BSallocqelcv(static_cast<int16_t>(v.order), v.num_poles, v.rational, 0, &o.cv, &rc);
  if (rc == BSSUCC) BScv_copy(&rc, &v, o.cv);
  return o;
}

// Offset point of pole k from the polygon alone: the crossing of the two offset
// legs, sd (g + h) / (1 + g.h) from the pole (g, h their right unit normals).
std::array<double, 2> corner(const double *P, int n, int k, double sd) {
  const auto nrm = [&](int a, int b) {
    const double lx = P[3 * b] - P[3 * a], ly = P[3 * b + 1] - P[3 * a + 1], l = std::hypot(lx, ly);
    return std::array<double, 2>{ly / l, -lx / l};
  };
  const auto g = nrm(k > 0 ? k - 1 : 0, k > 0 ? k : 1);
  const auto h = nrm(k < n - 1 ? k : n - 2, k < n - 1 ? k + 1 : n - 1);
  const double f = (k == 0 || k == n - 1) ? 0.5 : 1.0 / (1.0 + g[0] * h[0] + g[1] * h[1]);
  return {P[3 * k] + sd * f * (g[0] + h[0]), P[3 * k + 1] + sd * f * (g[1] + h[1])};
}

TEST_F(OffsetSteps, SpanPolesAreTheCornersOfTheOffsetLegs) {
  for (uint64_t seed = 1; seed <= 3; ++seed)
    for (const double sd : {0.05, -0.05}) {
      RefCurve w = wave(0.1, seed);
      BScurve W = w.view();
      RefCurve r = w;
      std::fill(r.poles.begin(), r.poles.end(), std::nan(""));
      BScurve R = r.view();
      BSrc rc = -99;
      for (int32_t i = W.order - 1; i < W.num_poles; ++i) {
        BSsetspn(i, &W, std::fabs(sd), kUp, sd > 0 ? 1 : -1, &R, &rc);
        ASSERT_EQ(rc, BSSUCC);
      }
      for (int k = 0; k < W.num_poles; ++k) {
        const auto q = corner(W.poles, W.num_poles, k, sd);
        EXPECT_NEAR(R.poles[3 * k], q[0], 1e-14);
        EXPECT_NEAR(R.poles[3 * k + 1], q[1], 1e-14);
        EXPECT_EQ(R.poles[3 * k + 2], 0.0);
      }
    }
  // A right angle: the interior pole is the corner (1.2, -0.2); the last is refused.
  RefCurve ell = kwtest::make_curve(2, {0, 0, 1, 2, 2}, {0, 0, 0, 1, 0, 0, 1, 1, 0});
  RefCurve out = ell;
  BScurve W = ell.view(), R = out.view();
  BSrc rc = -99;
  BSsetq(1, &W, 0.2, kUp, 1, &R, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_NEAR(R.poles[3], 1.2, 1e-15);
  EXPECT_NEAR(R.poles[4], -0.2, 1e-15);
  BSsetq(2, &W, 0.2, kUp, 1, &R, &rc);
  EXPECT_EQ(rc, 5);
}

TEST_F(OffsetSteps, SpanTestFailsExactlyWhereTheOffsetStrays) {
  RefCurve w = wave(0.15, 4);
  BScurve W = w.view();
  const double d = 0.04, t1 = 0.75 * BSparameters.offset_tol;
  // True offset points from the reference evaluator and a central difference.
  std::vector<double> u, e;
  for (int j = 1; j < 60; ++j) {
    const double v = j / 60.0, h = 1e-6;
    const auto p = kwtest::ref_eval(W, v), a = kwtest::ref_eval(W, v - h),
               b = kwtest::ref_eval(W, v + h);
    const double tx = b[0] - a[0], ty = b[1] - a[1], l = std::hypot(tx, ty);
    u.push_back(v);
    e.insert(e.end(), {p[0] + d * ty / l, p[1] - d * tx / l, 0.0});
  }
  RefCurve raw = w;
  BScurve R = raw.view();
  BSrc rc = -99;
  for (int32_t i = 3; i < 8; ++i) BSsetspn(i, &W, d, kUp, 1, &R, &rc);
  Owned good;
  BSspnoffset(&W, d, kUp, 1, &good.cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (BScurve *res : {&R, good.cv}) {
    std::vector<double> uu = u, ee = e;
    std::vector<int32_t> spans(u.size());
    int32_t nfail = -1, kept = -1;
    BSboolean all = 7;
    BStstspn1(static_cast<int32_t>(u.size()), 1.0, uu.data(), ee.data(), &W, res, &nfail,
              spans.data(), &kept, &all, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_EQ(all, kept == 0 ? TRUE : FALSE);
    // The failing values, in order, are those farther than t1 from the result.
    const auto us = kwtest::spaced_parameters(*res, 0, 1, 0.01);
    std::vector<double> want;
    for (size_t j = 0; j < u.size(); ++j) {
      const double dist = kwtest::distance_to_curve(*res, {e[3 * j], e[3 * j + 1], 0}, us, 0.01);
      if (std::fabs(dist - t1) < 1e-3 * t1) continue;  // too close to call
      if (dist > t1) want.push_back(u[j]);
    }
    EXPECT_GE(kept, static_cast<int32_t>(want.size()));
    for (size_t j = 0, m = 0; j < want.size(); ++j) {
      while (m < static_cast<size_t>(kept) && uu[m] != want[j]) ++m;
      EXPECT_LT(m, static_cast<size_t>(kept)) << want[j];
    }
    EXPECT_EQ(nfail > 0, res == &R);
    for (int32_t i = 0; i < kept; ++i) {
      const int32_t s = static_cast<int32_t>(std::ceil(uu[i] * 5)) + 2;  // uu in (s-3, s-2]/5
      EXPECT_TRUE(std::find(spans.begin(), spans.begin() + nfail, s) != spans.begin() + nfail);
    }
  }
}

TEST_F(OffsetSteps, NormalAndSideFromTheDirectionPoint) {
  // A wave tilted about the x axis: the normal is the plane's, oriented so that the
  // direction point lies on side +1; the opposite normal gives side -1.
  RefCurve w = wave(0.1, 9);
  const double c = std::cos(0.6), s = std::sin(0.6);
  for (int32_t i = 0; i < w.n(); ++i) {
    double &y = w.poles[3 * i + 1];
    w.poles[3 * i + 2] = s * y, y *= c;
  }
  BScurve W = w.view();
  for (const double side : {1.0, -1.0}) {
    const double dir[3] = {0.5, side * c, side * s + 0.3};
    Owned base;
    double n[3], m[3], frame[9];
    BSboolean orient = FALSE;
    int32_t got = 0;
    BSrc rc = -99;
    BSofnorm(&W, dir, FALSE, nullptr, &orient, &base.cv, n, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_TRUE(orient == TRUE && base.cv->planar == TRUE);
    EXPECT_NEAR(std::fabs(-s * n[1] + c * n[2]), 1.0, 1e-12);
    for (const double f : {1.0, -1.0}) {
      for (int k = 0; k < 3; ++k) m[k] = f * n[k];
      BSfndoffdir(base.cv, dir, m, &got, frame, &rc);
      ASSERT_EQ(rc, BSSUCC);
      EXPECT_EQ(got, f > 0 ? 1 : -1);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(frame[6 + k], m[k], 1e-15);
    }
    Owned given;
    BSofnorm(&W, dir, TRUE, n, &orient, &given.cv, m, &rc);  // orient TRUE: as given
    EXPECT_EQ(m[2], n[2]);
  }
  // A closed square whose seam is its corner at the origin: a direction point on
  // the line of the start tangent is placed by the arriving tangent (normal +z,
  // side 1). A line: (F - L) x (dirpt - F) = +y, the base not planar.
  const struct {
    RefCurve cv;
    double dir[3];
    int axis;  // of the normal, +1
    BSboolean closed, planar;
  } cases[] = {
      {kwtest::make_curve(2, {0, 0, 1, 2, 3, 4, 4}, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0}),
       {-0.5, 0, 0},
       2,
       TRUE,
       TRUE},
      {kwtest::make_curve(2, {0, 0, 1, 1}, {0, 0, 0, 2, 0, 0}), {1, 0, 3}, 1, FALSE, FALSE}};
  for (auto e : cases) {
    BScurve C = e.cv.view();
    Owned base;
    double n[3], frame[9];
    BSboolean orient = FALSE;
    int32_t side = 0;
    BSrc rc = -99;
    BSofnorm(&C, e.dir, FALSE, nullptr, &orient, &base.cv, n, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_TRUE(base.cv->phy_closed == e.closed && base.cv->planar == e.planar);
    EXPECT_NEAR(n[e.axis], 1.0, 1e-15);
    BSfndoffdir(base.cv, e.dir, n, &side, frame, &rc);
    EXPECT_TRUE(rc == BSSUCC && side == 1);
  }
}

TEST_F(OffsetSteps, CommonOrderRaisesTheLowerCurve) {
  RefCurve line = kwtest::make_curve(2, {0, 0, 1, 1}, {0, 0, 0, 2, 1, 0});
  RefCurve cubic = kwtest::cubic_bezier();
  Owned a = copy_of(line), b = copy_of(cubic);
  int16_t order = 0;
  int32_t n = 0;
  BSrc rc = -99;
  BSofupdeg(&a.cv, &b.cv, &order, &n, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_TRUE(order == 4 && a.cv->order == 4 && n == a.cv->num_poles + 4 - 1);
  for (int i = 0; i <= 10; ++i) {
    const auto p = kwtest::ref_eval(*a.cv, i / 10.0);
    EXPECT_NEAR(p[0], 0.2 * i, 1e-14);
    EXPECT_NEAR(p[1], 0.1 * i, 1e-14);
  }
}

TEST_F(OffsetSteps, FailureStatuses) {
  RefCurve w = wave(0.1, 2);
  RefCurve helix =
      kwtest::make_curve(4, {0, 0, 0, 0, 1, 1, 1, 1}, {1, 0, 0, 0, 1, 0.3, -1, 0, 0.6, 0, -1, 0.9});
  RefCurve flat = kwtest::make_curve(2, {0, 0, 1, 2, 2}, {1, 1, 0, 1, 1, 0, 1, 1, 0});
  RefCurve w3 = kwtest::make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 0, 2, 0, 0});
  BScurve W = w.view(), H = helix.view(), F = flat.view(), W3 = w3.view();
  RefCurve r = w;
  BScurve R = r.view(), R3 = w3.view(), RF = flat.view();
  const double nan = std::nan(""), zero[3] = {0, 0, 0}, on[3] = {0, W.poles[1], 0};
  const double dir[3] = {0.5, 1, 0}, bad[3] = {nan, 1, 0};
  BScurve *base = nullptr, *null_cv = nullptr;
  double n[3], frame[9], vals[1] = {0.5}, pts[3] = {0.5, 0, 0}, nanv[1] = {nan};
  BSboolean orient = FALSE, all = FALSE;
  int32_t side = 0, nf = 0, kept = 0, spans[1];
  int16_t order = 0;
  const struct {
    std::function<void(BSrc *)> call;
    BSrc want;
  } cases[] = {
      {[&](BSrc *rc) { BSofnorm(&W, nullptr, FALSE, nullptr, &orient, &base, n, rc); }, BSNULLPTR},
      {[&](BSrc *rc) { BSofnorm(&W, dir, TRUE, nullptr, &orient, &base, n, rc); }, BSNULLPTR},
      {[&](BSrc *rc) { BSofnorm(&H, dir, FALSE, nullptr, &orient, &base, n, rc); }, BSINARG},
      {[&](BSrc *rc) { BSofnorm(&W, bad, FALSE, nullptr, &orient, &base, n, rc); }, BSINARG},
      {[&](BSrc *rc) { BSofnorm(&W, on, FALSE, nullptr, &orient, &base, n, rc); }, BSDEGEN},
      {[&](BSrc *rc) { BSofnorm(&W, dir, TRUE, zero, &orient, &base, n, rc); }, BSDEGEN},
      {[&](BSrc *rc) { BSfndoffdir(&W, dir, zero, &side, frame, rc); }, BSDEGEN},
      {[&](BSrc *rc) { BSfndoffdir(&W, dir, kUp, nullptr, frame, rc); }, BSNULLPTR},
      {[&](BSrc *rc) { BSfndoffdir(&W, bad, kUp, &side, frame, rc); }, BSINARG},
      {[&](BSrc *rc) { BSsetspn(2, &W, 0.1, kUp, 1, &R, rc); }, BSINARG},
      {[&](BSrc *rc) { BSsetspn(8, &W, 0.1, kUp, 1, &R, rc); }, BSINARG},
      {[&](BSrc *rc) { BSsetspn(3, &W, 0.1, kUp, 1, &R3, rc); }, BSINARG},
      {[&](BSrc *rc) { BSsetspn(3, &W, 0.1, kUp, 0, &R, rc); }, BSINARG},
      {[&](BSrc *rc) { BSsetspn(3, &W, nan, kUp, 1, &R, rc); }, BSINARG},
      {[&](BSrc *rc) { BSsetspn(3, &W, 0.1, nullptr, 1, &R, rc); }, BSNULLPTR},
      {[&](BSrc *rc) { BSsetspn(1, &F, 0.1, kUp, 1, &RF, rc); }, BSDEGEN},
      {[&](BSrc *rc) { BSsetq(0, &W3, 0.1, kUp, 1, &R3, rc); }, BSINARG},
      {[&](BSrc *rc) { BSsetq(2, &W3, 0.1, kUp, 1, &R3, rc); }, 5},
      {[&](BSrc *rc) { BSsetq(1, &F, 0.1, kUp, 1, &RF, rc); }, BSDEGEN},
      {[&](BSrc *rc) { BStstspn1(-1, 0, vals, pts, &W, &W, &nf, spans, &kept, &all, rc); },
       BSINARG},
      {[&](BSrc *rc) { BStstspn1(1, 0, nanv, pts, &W, &W, &nf, spans, &kept, &all, rc); }, BSINARG},
      {[&](BSrc *rc) { BStstspn1(1, -1, vals, pts, &W, &W, &nf, spans, &kept, &all, rc); },
       BSINARG},
      {[&](BSrc *rc) { BStstspn1(1, 0, vals, pts, &W, &W, &nf, nullptr, &kept, &all, rc); },
       BSNULLPTR},
      {[&](BSrc *rc) { BSofupdeg(&null_cv, &null_cv, &order, &nf, rc); }, BSNULLPTR},
      {[&](BSrc *rc) { BSofupdeg(nullptr, &null_cv, &order, &nf, rc); }, BSNULLPTR},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    BSrc rc = -99;
    cases[i].call(&rc);
    EXPECT_EQ(rc, cases[i].want) << "case " << i;
    EXPECT_EQ(base, nullptr) << "case " << i;
  }
}

}  // namespace
