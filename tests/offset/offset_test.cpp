// Offsets checked against an independent distance: every sample of an offset is
// measured against the base by a dense scan and golden-section refinement of the
// reference evaluator (point_set.hpp), with no library kernel involved.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

}  // namespace
