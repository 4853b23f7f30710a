// Offsets checked against an independent distance: every sample of an offset is
// measured against the base by a dense scan and golden-section refinement of the
// reference evaluator (point_set.hpp), with no library kernel involved.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "knotwork.h"
#include "point_set.hpp"
#include "ref_curves.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;

struct Result {
  BSrc rc = -99;
  BScurve *cv = nullptr;
  int32_t nloops = 0;
  BScurve **loops = nullptr;
  ~Result() { clear(); }
  void clear() {
    BSrc r;
    if (cv) BSfreeqelcv(cv, &r);
    for (int32_t i = 0; i < nloops; ++i) BSfreeqelcv(loops[i], &r);
    if (loops) BSdbgfree(loops);
    cv = nullptr, loops = nullptr, nloops = 0;
  }
};

Result offset(RefCurve &base, double d, std::array<double, 3> dirpt, int32_t corner = 0,
              int16_t code = 0) {
  Result r;
  BScurve cv = base.view();
  BScvoffset(&r.rc, &cv, &d, dirpt.data(), &corner, &code, &r.cv, &r.nloops, &r.loops);
  return r;
}

// A planar cubic wave of n poles in the plane z = 0 (clamped, uniform knots).
RefCurve wave(int32_t n, uint64_t seed, double amp = 0.03) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> y(-amp, amp);
  std::vector<double> poles, knots(4, 0.0);
  for (int32_t i = 0; i < n; ++i) poles.insert(poles.end(), {double(i) / (n - 1), y(rng), 0.0});
  for (int32_t i = 1; i < n - 3; ++i) knots.push_back(double(i) / (n - 3));
  knots.insert(knots.end(), 4, 1.0);
  return kwtest::make_curve(4, knots, poles, {});
}

RefCurve polyline(const std::vector<double> &pts, bool closed = false) {
  const int32_t n = static_cast<int32_t>(pts.size() / 3);
  std::vector<double> knots{0.0};
  for (int32_t i = 0; i < n; ++i) knots.push_back(i);
  knots.push_back(n - 1);
  RefCurve c = kwtest::make_curve(2, knots, pts, {});
  c.closed = closed;
  return c;
}

// Deviation of the offset from |d| over dense samples (on every span), and the side
// of each sample (+1 left of the base tangent about +z).
struct Measure {
  double worst = 0.0, nearest = 1e300;
  int left = 0, right = 0;
};
Measure measure(RefCurve &base, const BScurve &off, double d, int per_span = 12) {
  BScurve b = base.view();
  const auto u = kwtest::spaced_parameters(b, base.lo(), base.hi(), 0.01);
  Measure m;
  // Every span sampled, or 600 points when that is more (debug builds stay quick).
  std::vector<double> t;
  for (int32_t s = off.order - 1; s < off.num_poles; ++s)
    for (int j = 0; off.knots[s + 1] > off.knots[s] && j <= per_span; ++j)
      t.push_back(off.knots[s] + (off.knots[s + 1] - off.knots[s]) * j / per_span);
  if (t.size() > 600) {
    const double lo = off.knots[off.order - 1], hi = off.knots[off.num_poles];
    t.clear();
    for (int i = 0; i < 600; ++i) t.push_back(lo + (hi - lo) * (i + 0.37) / 600);
  }
  for (const double v : t) {
    const double dist = kwtest::distance_to_curve(b, kwtest::ref_eval(off, v), u, 0.01);
    m.worst = std::max(m.worst, std::fabs(dist - std::fabs(d)));
    m.nearest = std::min(m.nearest, dist);
  }
  // Side at the middle of the offset by the nearest base sample.
  const auto x = kwtest::ref_eval(off, 0.5 * (off.knots[off.order - 1] + off.knots[off.num_poles]));
  size_t best = 0;
  double bd = 1e300;
  for (size_t i = 0; i < u.size(); ++i) {
    const auto p = kwtest::ref_eval(b, u[i]);
    const double dd = std::hypot(p[0] - x[0], p[1] - x[1]);
    if (dd < bd) bd = dd, best = i;
  }
  const size_t i0 = best > 0 ? best - 1 : 0, i1 = std::min(best + 1, u.size() - 1);
  const auto p0 = kwtest::ref_eval(b, u[i0]), p1 = kwtest::ref_eval(b, u[i1]);
  const auto p = kwtest::ref_eval(b, u[best]);
  const double cr = (p1[0] - p0[0]) * (x[1] - p[1]) - (p1[1] - p0[1]) * (x[0] - p[0]);
  (cr > 0 ? m.left : m.right) = 1;
  return m;
}

// Whether a dense polyline of the curve crosses itself (non-adjacent segments).
bool self_crossing(const BScurve &cv, int samples = 1500) {
  std::vector<std::array<double, 3>> p;
  const double lo = cv.knots[cv.order - 1], hi = cv.knots[cv.num_poles];
  for (int i = 0; i <= samples; ++i)
    p.push_back(kwtest::ref_eval(cv, lo + (hi - lo) * i / samples));
  const auto orient = [](auto a, auto b, auto c) {
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
  };
  for (int i = 0; i + 1 < samples; ++i)
    for (int j = i + 2; j < samples; ++j) {
      const double a = orient(p[i], p[i + 1], p[j]), b = orient(p[i], p[i + 1], p[j + 1]);
      const double c = orient(p[j], p[j + 1], p[i]), e = orient(p[j], p[j + 1], p[i + 1]);
      if (a * b < 0 && c * e < 0) return true;
    }
  return false;
}

// Largest gap between consecutive dense samples (continuity).
double largest_step(const BScurve &cv, int samples = 4000) {
  double worst = 0.0;
  const double lo = cv.knots[cv.order - 1], hi = cv.knots[cv.num_poles];
  auto prev = kwtest::ref_eval(cv, lo);
  for (int i = 1; i <= samples; ++i) {
    const auto p = kwtest::ref_eval(cv, lo + (hi - lo) * i / samples);
    worst = std::max(worst, std::hypot(p[0] - prev[0], p[1] - prev[1], p[2] - prev[2]));
    prev = p;
  }
  return worst;
}

class Offset : public kwtest::GuardedTest {};

TEST_F(Offset, RandomWavesStayAtDistanceOnTheRequestedSide) {
  for (uint64_t seed = 1; seed <= 4; ++seed)
    for (const double d : {0.01, 0.03})
      for (const double side : {1.0, -1.0}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " d " << d << " side " << side);
        RefCurve base = wave(8 + 3 * static_cast<int32_t>(seed), seed);
        const Result r = offset(base, d, {0.5, side * 5.0, 0.0}, 0, 2);
        ASSERT_EQ(r.rc, BSSUCC);
        const Measure m = measure(base, *r.cv, d);
        EXPECT_LE(m.worst, BSparameters.offset_tol);
        EXPECT_EQ(side > 0 ? m.left : m.right, 1);
        EXPECT_NEAR(r.cv->knots[r.cv->order - 1], 0.0, 1e-14);
        EXPECT_NEAR(r.cv->knots[r.cv->num_poles], 1.0, 1e-14);
      }
}

TEST_F(Offset, TightToleranceHoldsBetweenTestParameters) {
  BSparameters.offset_tol = 1e-7;
  RefCurve base = wave(8, 42, 0.05);
  const Result r = offset(base, 0.03, {0.5, 5.0, 0.0});
  ASSERT_EQ(r.rc, BSSUCC);
  EXPECT_LE(measure(base, *r.cv, 0.03, 7).worst, 1e-7);
}

TEST_F(Offset, TiltedPlaneAndRationalCurve) {
  // A rational wave rotated into a tilted plane: carried into the plane's frame
  // and back.
  RefCurve base = wave(9, 7);
  base.weights = {1, 1.5, 0.8, 1.2, 1, 0.7, 1.3, 1, 1};
  const double c = std::cos(0.7), s = std::sin(0.7);
  for (int32_t i = 0; i < base.n(); ++i) {
    double *p = &base.poles[3 * i];
    const double y = p[1];
    p[1] = c * y, p[2] = s * y + 0.3;
    for (int k = 0; k < 3; ++k) p[k] *= base.weights[i];
  }
  const Result r = offset(base, 0.02, {0.5, 5.0 * c, 5.0 * s + 0.3});
  ASSERT_EQ(r.rc, BSSUCC);
  BScurve b = base.view();
  const auto u = kwtest::spaced_parameters(b, 0, 1, 0.01);
  for (int i = 0; i <= 200; ++i) {
    const auto x = kwtest::ref_eval(*r.cv, i / 200.0);
    EXPECT_NEAR(kwtest::distance_to_curve(b, x, u, 0.01), 0.02, BSparameters.offset_tol);
    EXPECT_NEAR(-s * x[1] + c * (x[2] - 0.3), 0.0, 1e-9);  // in the plane
  }
}

TEST_F(Offset, LinesAndCirclesExact) {
  // A segment in space: offset toward the direction point by exactly d.
  RefCurve seg = polyline({0, 0, 0, 1, 1, 1});
  Result r = offset(seg, 0.5, {0, 1, 0});
  ASSERT_EQ(r.rc, BSSUCC);
  ASSERT_EQ(r.cv->num_poles, 2);
  const double n[3] = {-1.0 / std::sqrt(6), 2.0 / std::sqrt(6), -1.0 / std::sqrt(6)};
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r.cv->poles[3 * i + k], i + 0.5 * n[k], 1e-14);
  // A circular arc (radius 2 about the origin) offset outward and inward.
  for (const double d : {0.5, -0.5, 1.5}) {
    double buf[3 * 7 + 10 + 7];
    BScurve arc{};
    arc.poles = buf, arc.knots = buf + 21, arc.weights = buf + 31;
    const double p1[3] = {2, 0, 0}, p2[3] = {0, 2, 0}, p3[3] = {-std::sqrt(2), -std::sqrt(2), 0};
    BSrc rc = -99;
    ASSERT_TRUE(BSarc3pts(&rc, p1, p2, p3, &arc));
    RefCurve ref;
    ref.k = arc.order;
    ref.knots.assign(arc.knots, arc.knots + arc.num_knots);
    ref.poles.assign(arc.poles, arc.poles + 3 * arc.num_poles);
    ref.weights.assign(arc.weights, arc.weights + arc.num_poles);
    // The direction point outside the circle: d > 0 outward.
    const Result o = offset(ref, d, {5, 5, 0});
    ASSERT_EQ(o.rc, BSSUCC);
    for (int i = 0; i <= 100; ++i) {
      const auto x = kwtest::ref_eval(*o.cv, i / 100.0);
      EXPECT_NEAR(std::hypot(x[0], x[1]), 2 + d, 1e-12);
    }
  }
}

TEST_F(Offset, CornersRoundExtendedAndTrimmed) {
  // An L: convex on the right, concave on the left of its direction.
  RefCurve ell = polyline({0, 0, 0, 1, 0, 0, 1, 1, 0});
  for (const int32_t corner : {0, 1}) {
    Result out = offset(ell, 0.2, {0.5, -1, 0}, corner);  // right: the convex side
    ASSERT_EQ(out.rc, BSSUCC);
    const Measure m = measure(ell, *out.cv, 0.2, 40);
    EXPECT_GE(m.nearest, 0.2 - BSparameters.offset_tol);
    if (corner == 0) {
      EXPECT_LE(m.worst, 1e-12);  // the arc is at exactly |d|
    } else {
      // The extended corner reaches (1.2, -0.2).
      bool found = false;
      for (int32_t i = 0; i < out.cv->num_poles; ++i)
        found =
            found || std::hypot(out.cv->poles[3 * i] - 1.2, out.cv->poles[3 * i + 1] + 0.2) < 1e-12;
      EXPECT_TRUE(found);
    }
  }
  Result in = offset(ell, 0.2, {0.5, 1, 0});  // left: concave, trimmed at (0.8, 0.2)
  ASSERT_EQ(in.rc, BSSUCC);
  const Measure m = measure(ell, *in.cv, 0.2, 40);
  EXPECT_LE(m.worst, 1e-9);
  const auto mid = kwtest::ref_eval(*in.cv, 0.5);
  EXPECT_GT(std::hypot(mid[0] - 0.8, mid[1] - 0.2), -1.0);
  EXPECT_FALSE(self_crossing(*in.cv));
  // A closed square: the offset is closed, rounded outside, trimmed inside.
  RefCurve sq = polyline({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0}, true);
  for (const double side : {-1.0, 1.0}) {
    const Result c = offset(sq, 0.1, {0.5, side > 0 ? 0.5 : -2.0, 0});
    ASSERT_EQ(c.rc, BSSUCC);
    EXPECT_EQ(c.cv->phy_closed, 1);
    const auto a = kwtest::ref_eval(*c.cv, 0.0), b = kwtest::ref_eval(*c.cv, 4.0);
    EXPECT_LT(std::hypot(a[0] - b[0], a[1] - b[1]), 1e-9);
    EXPECT_LE(measure(sq, *c.cv, 0.1, 40).worst, 1e-9);
  }
}

TEST_F(Offset, InwardPastCurvatureRadiusLeavesNoLoop) {
  BSparameters.dist_tol = 3e-9;  // set by the host alone: loop removal restores it
  const struct BSparameters before = BSparameters;
  // A tight bump: the radius of curvature at its top is far below d.
  RefCurve bump = kwtest::make_curve(4, {0, 0, 0, 0, 0.5, 1, 1, 1, 1},
                                     {0, 0, 0, 1, 0, 0, 1.5, 1.5, 0, 2, 0, 0, 3, 0, 0}, {});
  const double d = 0.4;
  Result raw = offset(bump, d, {1.5, -3, 0}, 0, 0);
  ASSERT_TRUE(raw.rc == BSSUCC || raw.rc == 5);
  EXPECT_TRUE(self_crossing(*raw.cv));
  for (const int16_t code : {1, 2}) {
    Result r = offset(bump, d, {1.5, -3, 0}, 0, code);
    ASSERT_EQ(r.rc, BSSUCC);
    EXPECT_EQ(std::memcmp(&before, &BSparameters, sizeof before), 0);
    EXPECT_FALSE(self_crossing(*r.cv));
    EXPECT_LT(largest_step(*r.cv), 0.01);
    EXPECT_GE(measure(bump, *r.cv, d).nearest, d - BSparameters.offset_tol);
    EXPECT_EQ(r.nloops, code == 1 ? 1 : 0);
    if (code == 1) {
      EXPECT_EQ(r.loops[0]->phy_closed, 1);
      EXPECT_EQ(r.loops[0]->knots[r.loops[0]->num_knots - 1], 1.0);
    }
  }
}

TEST_F(Offset, OffsetdSidesAndGivenNormal) {
  RefCurve base = wave(10, 3);
  BScurve cv = base.view();
  const double dir[3] = {0.5, 5, 0};
  double n[3] = {0, 0, 0};
  BSboolean side = FALSE;
  Result a, b;
  BScvoffsetd(&cv, -0.03, dir, FALSE, 0, 0, &side, n, &a.cv, &a.nloops, &a.loops, &a.rc);
  ASSERT_EQ(a.rc, BSSUCC);
  EXPECT_EQ(measure(base, *a.cv, 0.03).right, 1);  // away from the direction point
  // The reported side and normal reproduce it through the given-normal path.
  BScvoffsetd(&cv, 0.03, dir, TRUE, 0, 0, &side, n, &b.cv, &b.nloops, &b.loops, &b.rc);
  ASSERT_EQ(b.rc, BSSUCC);
  EXPECT_LE(kwtest::max_deviation(*a.cv, *b.cv), 1e-12);
  // Given normal, negative d: the other side.
  Result c;
  BScvoffsetd(&cv, -0.03, dir, TRUE, 0, 0, &side, n, &c.cv, &c.nloops, &c.loops, &c.rc);
  ASSERT_EQ(c.rc, BSSUCC);
  EXPECT_EQ(measure(base, *c.cv, 0.03).left, 1);
}

TEST_F(Offset, FailureStatuses) {
  RefCurve helix = kwtest::make_curve(4, {0, 0, 0, 0, 1, 1, 1, 1},
                                      {1, 0, 0, 0, 1, 0.3, -1, 0, 0.6, 0, -1, 0.9}, {});
  RefCurve point = polyline({1, 1, 0, 1, 1, 0, 1, 1, 0});
  RefCurve good = wave(8, 1);
  const double nan = std::nan("");
  struct Case {
    RefCurve *cv;
    double d;
    std::array<double, 3> dir;
    BSrc want;
  } cases[] = {{&helix, 0.1, {0, 0, 5}, BSINARG},
               {&point, 0.1, {0, 5, 0}, BSDEGEN},
               {&good, nan, {0, 5, 0}, BSINARG},
               {&good, 0.1, {nan, 5, 0}, BSINARG}};
  for (const Case &c : cases) {
    Result r = offset(*c.cv, c.d, c.dir);
    EXPECT_TRUE(r.rc == c.want && r.cv == nullptr);
  }
  BScurve cv = good.view();
  double d = 0.1, dir[3] = {0, 5, 0}, n[3] = {0, 0, 0};
  int32_t corner = 0, count = 0;
  int16_t code = 0;
  BScurve *res = nullptr, **loops = nullptr;
  BSrc rc = -99;
  EXPECT_FALSE(BScvoffset(&rc, &cv, nullptr, dir, &corner, &code, &res, &count, &loops));
  EXPECT_EQ(rc, BSNULLPTR);
  EXPECT_FALSE(BScvoffset(&rc, nullptr, &d, dir, &corner, &code, &res, &count, &loops));
  EXPECT_EQ(rc, BSNULLPTR);
  BSboolean side = TRUE;
  BScurve hv = helix.view();
  BScvoffsetd(&hv, 0.1, dir, FALSE, 0, 0, &side, n, &res, &count, &loops, &rc);
  EXPECT_EQ(rc, BSINARG);
  BScvoffsetd(&cv, 0.1, dir, TRUE, 0, 0, &side, n, &res, &count, &loops, &rc);
  EXPECT_EQ(rc, BSDEGEN);  // zero normal
  const double up[3] = {0, 0, 1};
  BSxycvoff(&cv, 0.1, FALSE, up, 0, &res, &rc);
  EXPECT_TRUE(rc == BSINARG && res == nullptr);
}

TEST_F(Offset, PathHelpers) {
  RefCurve sq = polyline({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0});
  RefCurve seg = polyline({0, 0, 0, 1, 1, 1, 2, 2, 2});
  BScurve a = sq.view(), b = seg.view();
  BSboolean col = 7;
  BSrc rc = -99;
  BSofchkln(&a, &col, &rc);
  EXPECT_TRUE(rc == BSSUCC && a.phy_closed == 1 && col == FALSE);
  BSofchkln(&b, &col, &rc);
  EXPECT_TRUE(b.phy_closed == 0 && col == TRUE);
  BSofrparcv(&b, 2.0, 6.0, &rc);
  EXPECT_TRUE(rc == BSSUCC && b.knots[1] == 2.0 && b.knots[3] == 6.0);
  BSofrparcv(&b, 6.0, 2.0, &rc);
  EXPECT_EQ(rc, BSFAIL);
  double n[3] = {0, 0, 1}, frame[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const double dir[3] = {0.5, 2, 0};
  int32_t side = 1, count = 0;
  BScurve *res = nullptr, **loops = nullptr;
  BScvoff3d(&a, 0.1, FALSE, 0, FALSE, dir, n, FALSE, &side, frame, &res, &count, &loops, &rc);
  EXPECT_EQ(rc, BSINARG);
  // The caller's frame and side: right of the square's direction about +z.
  BScvoff3d(&a, 0.1, FALSE, 0, FALSE, dir, n, TRUE, &side, frame, &res, &count, &loops, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_LE(measure(sq, *res, 0.1, 20).worst, 1e-9);
  EXPECT_EQ(measure(sq, *res, 0.1).right, 1);
  BSfreeqelcv(res, &rc);
}

// A closed cubic with narrow tips at its seam (2, 0) and at (-2, 0): inward
// offsets past the tips' curvature radius form loops there, one through the seam.
RefCurve lens() {
  RefCurve c = kwtest::make_curve(
      4, {0, 0, 0, 0, 1, 2, 3, 4, 5, 5, 5, 5},
      {2, 0, 0, 2, .1, 0, 0, .4, 0, -2, .1, 0, -2, -.1, 0, 0, -.4, 0, 2, -.1, 0, 2, 0, 0}, {});
  c.closed = true;
  return c;
}

TEST_F(Offset, ConcaveCornersWithoutCrossing) {
  // A step too short for the corner: its offset lies in a loop and is cut away;
  // a slot narrower than 2 d has no offset inside (-1 after loop removal, the raw
  // offset with code 0).
  RefCurve step = polyline({0, 0, 0, 1, 0, 0, 1, .05, 0, 2, .05, 0});
  RefCurve slot = polyline({0, 0, 0, 2, 0, 0, 2, .1, 0, 0, .1, 0});
  const struct {
    RefCurve *cv;
    double y;  // of the direction point (1, y, 0)
    int16_t code;
    BSrc want;
  } cases[] = {
      {&step, 1, 2, BSSUCC}, {&step, 1, 1, BSSUCC}, {&slot, .05, 2, BSFAIL}, {&slot, .05, 0, 0}};
  for (const auto &c : cases) {
    Result r = offset(*c.cv, 0.2, {1.5, c.y, 0}, 0, c.code);
    ASSERT_EQ(r.rc, c.want);
    if (c.want != BSSUCC || c.code == 0) continue;
    const Measure m = measure(*c.cv, *r.cv, 0.2, 40);
    EXPECT_GE(m.nearest, 0.2 - BSparameters.offset_tol);
    EXPECT_LE(m.worst, BSparameters.offset_tol);
    EXPECT_FALSE(self_crossing(*r.cv));
  }
}

TEST_F(Offset, ClosedCurveLoopsThroughTheSeam) {
  RefCurve base = lens();
  for (const int16_t code : {1, 2}) {
    Result r = offset(base, 0.1, {0, 0, 0}, 0, code);
    ASSERT_EQ(r.rc, BSSUCC);
    EXPECT_EQ(r.cv->phy_closed, 1);
    EXPECT_EQ(r.nloops, code == 1 ? 2 : 0);
    if (code == 1) continue;  // the same curve as with code 2
    EXPECT_FALSE(self_crossing(*r.cv, 500));
    const Measure m = measure(base, *r.cv, 0.1, 6);
    EXPECT_GE(m.nearest, 0.1 - BSparameters.offset_tol);
    EXPECT_LE(m.worst, BSparameters.offset_tol);
  }
  // Loop removal alone on the raw closed offset cuts the seam loop too.
  Result raw = offset(base, 0.1, {0, 0, 0}, 0, 0), cut;
  ASSERT_EQ(raw.rc, BSSUCC);
  ASSERT_TRUE(self_crossing(*raw.cv, 500));
  BSofrmlp3(raw.cv, 1, &cut.nloops, &cut.loops, &cut.cv, &cut.rc);
  ASSERT_EQ(cut.rc, BSSUCC);
  EXPECT_FALSE(self_crossing(*cut.cv, 500));
  EXPECT_EQ(cut.nloops, 2);
  EXPECT_GE(measure(base, *cut.cv, 0.1, 6).nearest, 0.1 - BSparameters.offset_tol);
  for (int32_t i = 0; i < cut.nloops; ++i) {
    const BScurve &l = *cut.loops[i];
    const auto a = kwtest::ref_eval(l, 0.0), b = kwtest::ref_eval(l, 1.0);
    EXPECT_LT(std::hypot(a[0] - b[0], a[1] - b[1]), 1e-9);
  }  // A curve running back along itself (a spike to x = 2) and then up: the
  // overlap is cut at its start and the spike returned as a loop.
  RefCurve spike = polyline({0, 0, 0, 2, 0, 0, 1, 0, 0, 1, 1, 0});
  BScurve sp = spike.view();
  Result s;
  BSofrmlp3(&sp, 1, &s.nloops, &s.loops, &s.cv, &s.rc);
  ASSERT_EQ(s.rc, BSSUCC);
  EXPECT_EQ(s.nloops, 1);
  for (int i = 0; i <= 300; ++i) {
    const auto x = kwtest::ref_eval(*s.cv, 3.0 * i / 300);
    EXPECT_LE(x[0], 1.0 + 1e-9);
    EXPECT_NEAR(std::min(std::fabs(x[1]), std::fabs(x[0] - 1)), 0.0, 1e-9);
  }
}

// ---- The steps of the offset path called one by one: normal and side from a
// direction point, the offset polygon of a span against the corner construction
// computed here, the span test against distances measured by the reference
// evaluator, and the common order of two curves.

class OffsetSteps : public kwtest::GuardedTest {};

const double kUp[3] = {0, 0, 1};

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
  RefCurve w = wave(8, 4, 0.15);
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
  RefCurve w = wave(8, 9, 0.1);
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
  RefCurve w = wave(8, 2, 0.1);
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
