// Nearest-point routines (one Bezier piece, the spline search, curve records, long
// curves and their lazy piece search, all nearest parameters, perpendicular feet,
// Newton projection, on-curve test) against the independent brute-force reference,
// known answers and every failure status.

#include <cfloat>
#include <functional>
#include <limits>
#include <utility>

#include "bspline/bezier.hpp"
#include "query/boxes.hpp"
#include "query/project.hpp"
#include "ref_circle.hpp"
#include "ref_query.hpp"
#include "status_of.hpp"
#include "support.hpp"

namespace {

using kwtest::dist3;
using kwtest::expect_nearest;
using kwtest::Foot;
using kwtest::nearest;
using kwtest::RefCurve;

// A single Bezier piece on [0, 1] from unweighted poles and optional weights.
RefCurve bezier(std::vector<double> pts, std::vector<double> w = {}) {
  const int k = static_cast<int>(pts.size() / 3);
  std::vector<double> knots(k, 0.0);
  knots.insert(knots.end(), k, 1.0);
  RefCurve c = kwtest::make_curve(k, std::move(knots), std::move(pts));
  c.weights = std::move(w);
  for (size_t i = 0; i < c.weights.size(); ++i)
    for (int d = 0; d < 3; ++d) c.poles[3 * i + d] *= c.weights[i];
  return c;
}

// From (0,0,0) to (1,0,0) at unit speed.
RefCurve straight_cubic() {
  return bezier({0, 0, 0, 1.0 / 3, 0, 0, 2.0 / 3, 0, 0, 1, 0, 0});
}

// BSmdptbezcv on a curve of one piece (parameter and foot start at 7).
Foot piece_nearest(const RefCurve &c, const double *p, double bound) {
  Foot f;
  f.u = f.foot[0] = 7;
  BSmdptbezcv(c.k - 1, 3, c.rational(), c.rows().data(), p, 1e-6, bound, &f.dist, f.foot, &f.u,
              &f.rc);
  return f;
}

// BSmdstptscv on pts; the flag and status go to *all_near and *rc.
std::vector<Foot> project_points(RefCurve &c, const std::vector<double> &pts, BSboolean *all_near,
                                 BSrc *rc) {
  const size_t n = pts.size() / 3;
  std::vector<double> u(n), feet(3 * n), dist(n);
  BScurve cv = c.view();
  BSmdstptscv(static_cast<int32_t>(n), pts.data(), &cv, u.data(), feet.data(), dist.data(),
              all_near, rc);
  std::vector<Foot> r(n);
  for (size_t i = 0; i < n; ++i) {
    r[i].u = u[i], r[i].dist = dist[i], r[i].rc = *rc;
    std::copy(&feet[3 * i], &feet[3 * i + 3], r[i].foot);
  }
  return r;
}

// BSmdistptcv with its arrays copied and released; an array is null exactly when empty.
struct AllNearest {
  int16_t ni = -1, np = -1;
  double dist = 0;
  BSrc rc = 99;
  std::vector<double> params, ints;
};

AllNearest all_nearest(RefCurve &c, const double *p) {
  BScurve cv = c.view();
  AllNearest r;
  double *params = nullptr, *ints = nullptr;
  BSmdistptcv(&cv, p, &r.ni, &r.np, &params, &r.dist, &ints, &r.rc);
  if (r.rc == BSSUCC) {
    EXPECT_EQ(params == nullptr, r.np == 0);
    EXPECT_EQ(ints == nullptr, r.ni == 0);
    if (params) r.params.assign(params, params + r.np);
    if (ints) r.ints.assign(ints, ints + 2 * r.ni);
  }
  if (params) BSdbgfree(params);
  if (ints) BSdbgfree(ints);
  return r;
}

// A curve wandering through a unit cube by small random pole steps (the shape of
// long curves in practice: far pieces are pruned by their boxes), on the random
// knots and weights of kwtest::random_curve.
RefCurve wandering_curve(std::mt19937_64 &rng, int k, int n, bool rational, bool clamped) {
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  RefCurve c = kwtest::random_curve(rng, kwtest::CurveShape{k, n, rational, true, clamped});
  kwtest::P3 p = {0.5, 0.5, 0.5};
  const double step = 3.0 / std::sqrt(static_cast<double>(n));
  for (int i = 0; i < n; ++i) {
    for (double &x : p) x = std::clamp(x + step * U(rng), 0.0, 1.0);
    kwtest::set_pole(c, i, p);
  }
  return c;
}

bool box_inside(int dim, const double *inner, const double *outer) {
  for (int d = 0; d < dim; ++d)
    if (inner[d] < outer[d] || inner[dim + d] > outer[dim + d]) return false;
  return true;
}

class ProjectPaths : public kwtest::GuardedTest {};

}  // namespace

// ---- One piece -------------------------------------------------------------------------

TEST(BSmdptbezcv, RandomPiecesOfOrders2To16MatchBruteForce) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int trial = 0; trial < 600; ++trial) {
    const int k = 2 + trial % 15;
    const bool rational = (trial / 15) % 2 == 1;
    std::vector<double> pts(3 * k), w;
    for (double &x : pts) x = U(rng);
    if (rational)
      for (int i = 0; i < k; ++i) w.push_back(0.3 + 2.7 * (0.5 + 0.5 * U(rng)));
    const RefCurve c = bezier(pts, w);
    const double far = trial % 3 == 0 ? 10.0 : 1.0;
    const double p[3] = {far * U(rng), far * U(rng), far * U(rng)};
    const Foot f = piece_nearest(c, p, DBL_MAX);
    ASSERT_EQ(f.rc, BSSUCC);
    EXPECT_LE(f.dist, kwtest::brute_force_min(c, p, 96) + 5e-7 + 1e-12) << "trial " << trial;
    EXPECT_LE(dist3(kwtest::ref_eval(c, f.u).data(), f.foot), 1e-13);
    EXPECT_NEAR(f.dist, dist3(p, f.foot), 1e-14 * (1 + f.dist));
    // A bound beyond the answer keeps it; one well below leaves everything unwritten.
    EXPECT_NEAR(piece_nearest(c, p, f.dist + 0.01).dist, f.dist, 1e-12);
    if (f.dist > 0.01) {
      const Foot g = piece_nearest(c, p, f.dist / 2 - 0.002);
      EXPECT_TRUE(g.dist == DBL_MAX && g.u == 7.0 && g.foot[0] == 7.0) << "trial " << trial;
    }
  }
}

// The numerator root that starts the foot's Newton steps: Bernstein coefficients
// of (s - r) (1 + a_1 s) ... (1 + a_(m-1) s), a_j in (0, 1), for every numerator
// size of the pieces of degree 2-5: at rounding from a start within 0.1 of the
// root, nearer than the start from one at either end.
TEST(PolishNumeratorRoot, FindsTheRootToRoundingFromANearStart) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> V(0.0, 1.0);
  for (const int count : {4, 6, 8, 9, 10, 12, 15}) {
    const int m = count - 1;
    for (int trial = 0; trial < 40; ++trial) {
      const double r = 0.02 + 0.96 * V(rng);
      std::vector<double> power = {-r, 1.0};  // power-basis coefficients
      for (int j = 1; j < m; ++j) {
        const double a = V(rng);
        power.push_back(0.0);
        for (int k = static_cast<int>(power.size()) - 1; k > 0; --k) power[k] += a * power[k - 1];
      }
      auto binom = [](int n, int k) {  // exact in doubles here
        double v = 1.0;
        for (int t = 1; t <= k; ++t) v = v * (n - k + t) / t;
        return v;
      };
      std::vector<double> c(count, 0.0);  // b_i = sum_j C(i, j) / C(m, j) p_j
      for (int i = 0; i <= m; ++i)
        for (int j = 0; j <= i; ++j) c[i] += binom(i, j) / binom(m, j) * power[j];
      const double start = std::clamp(r + 0.2 * (V(rng) - 0.5), 1e-3, 0.999);
      EXPECT_NEAR(knotwork::polish_numerator_root(c.data(), count, start), r, 1e-12)
          << "count " << count << " trial " << trial;
      for (const double far : {1e-3, 0.999})
        EXPECT_LT(std::fabs(knotwork::polish_numerator_root(c.data(), count, far) - r),
                  std::fabs(far - r));
    }
  }
  // Other sizes and starts outside (0, 1) are left alone.
  const double c[16] = {-1, -1, -1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  for (const int count : {2, 3, 5, 7, 16})
    EXPECT_EQ(knotwork::polish_numerator_root(c, count, 0.3), 0.3);
  EXPECT_EQ(knotwork::polish_numerator_root(c, 6, 0.0), 0.0);
  EXPECT_TRUE(std::isnan(knotwork::polish_numerator_root(c, 6, std::nan(""))));
}

TEST(BSmdptbezln, PolynomialAndRationalSegmentsClampAndSnap) {
  const double seg[6] = {0, 0, 0, 2, 0, 0}, pt[3] = {0.5, 1, 0};
  // The same segment with weights 1 and 2 (weighted poles): the foot is still
  // x = 0.5, reached where 4 s / (1 + s) = 0.5.
  const double rseg[8] = {0, 0, 0, 1, 4, 0, 0, 2};
  const double far[3] = {-1, 1, 0}, near_end[3] = {2 - 1e-7, 1, 0};
  struct Case {
    BSboolean rational;
    const double *seg, *pt;
    double s, foot_x;
  } cases[] = {{FALSE, seg, pt, 0.25, 0.5},
               {TRUE, rseg, pt, 1.0 / 7.0, 0.5},
               {FALSE, seg, far, 0.0, 0.0},        // beyond an end: clamped
               {FALSE, seg, near_end, 1.0, 2.0}};  // within tol of an end: snapped
  for (const Case &c : cases) {
    double d2 = 0, foot[3], s = -1;
    BSmdptbezln(3, c.rational, c.seg, c.pt, 1e-6, &d2, foot, &s);
    EXPECT_NEAR(s, c.s, 1e-15);
    EXPECT_NEAR(foot[0], c.foot_x, 1e-15);
    EXPECT_NEAR(d2, std::pow(dist3(c.pt, foot), 2), 1e-15);
  }
}

// ---- Curves against brute force -----------------------------------------------------------

TEST(BSmdstptcv, RandomCurvesMatchBruteForce) {
  std::mt19937_64 rng(2026);
  std::uniform_real_distribution<double> U(-1.0, 1.0), V(0.0, 1.0);
  for (int trial = 0; trial < 400; ++trial) {
    const int k = trial % 40 == 3 ? 10 + trial / 40 % 7 : 2 + trial % 7;  // orders 10 to 16 too
    const int n = k + static_cast<int>(V(rng) * (trial % 10 == 0 ? 200 - k : 20));
    const double scale =
        trial % 4 == 0 ? (trial % 8 == 0 ? 1e100 : 1000.0) : (trial % 4 == 1 ? 1e-3 : 1.0);
    const bool clamped = trial % 5 != 2;
    RefCurve c =
        kwtest::query_curve(rng, k, n, trial % 2 == 1, trial % 3 == 0 && clamped, scale, clamped);
    for (const double reach : {0.2, 1.5, 20.0}) {  // near and far
      const double p[3] = {scale * reach * U(rng), scale * reach * U(rng), scale * reach * U(rng)};
      const Foot f = nearest(c, p);
      ASSERT_EQ(f.rc, BSSUCC) << "trial " << trial;
      expect_nearest(c, p, f, trial, 24);
    }
  }
  // Weights so small that their reciprocals overflow (no hull bound from them).
  for (int trial = 0; trial < 24; ++trial) {
    const int n = trial % 4 == 3 ? 160 : 30;  // long ones: several pole blocks
    RefCurve c = kwtest::query_curve(rng, 3 + trial % 3 + trial % 3 / 2, n, true, false, 1.0);
    for (double &w : c.weights) w = std::ldexp(w, -1028);
    for (double &q : c.poles) q = std::ldexp(q, -1028);
    const double p[3] = {1.5 * U(rng), 1.5 * U(rng), 1.5 * U(rng)};
    const Foot f = nearest(c, p);
    ASSERT_EQ(f.rc, BSSUCC) << "trial " << trial;
    expect_nearest(c, p, f, trial, 24);
  }
  // Curves smaller than the fixed working tolerance 0.001, with nearly equal local
  // minima: still the better one to 1e-9 of the size.
  std::mt19937_64 small_rng(11);
  for (int trial = 0; trial < 50; ++trial) {
    RefCurve c = kwtest::query_curve(small_rng, 4, 9, trial % 2 == 1, false, 1e-5);
    const double p[3] = {2e-5 * U(small_rng), 2e-5 * U(small_rng), 2e-5 * U(small_rng)};
    const Foot f = nearest(c, p);
    ASSERT_EQ(f.rc, BSSUCC);
    expect_nearest(c, p, f, trial);
  }
}

#ifdef KNOTWORK_HAVE_AVX2_KERNELS
// The AVX2 build of the span search is the same source with fused multiply-adds:
// the same statuses as the plain build and the same answers to rounding (the
// distances within 1e-13 of the sizes, each foot the curve point at its own
// parameter), on curves of every kind the brute-force test above uses (and
// weights scaled out of the ordinary range both ways), near and far points, and a
// point that is not finite. A foot found in another local minimum than the plain
// build's would have to be as near to pass.
TEST(BSmdstptcv, Avx2KernelsGiveThePlainAnswersToRounding) {
  if (!knotwork::use_avx2_kernels()) GTEST_SKIP() << "the processor has no AVX2 and FMA";
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> U(-1.0, 1.0), V(0.0, 1.0);
  for (int trial = 0; trial < 300; ++trial) {
    const int k = trial % 30 == 7 ? 10 + trial % 7 : 2 + trial % 7;
    const int n = k + static_cast<int>(V(rng) * (trial % 6 == 0 ? 300 : 25));
    const bool clamped = trial % 5 != 2;
    RefCurve c = kwtest::query_curve(rng, k, n, trial % 2 == 1, trial % 3 == 0 && clamped,
                                     trial % 4 == 0 ? 1e6 : 1.0, clamped);
    if (c.rational() && trial % 8 == 1) {
      const int e = trial % 16 == 1 ? -1028 : 300;
      for (double &w : c.weights) w = std::ldexp(w, e);
      for (double &q : c.poles) q = std::ldexp(q, e);
    }
    const double size = trial % 4 == 0 ? 1e6 : 1.0;
    std::vector<double> pts;
    for (const double reach : {0.1, 0.5, 1.2, 3.0, 50.0})
      for (int d = 0; d < 3; ++d) pts.push_back(size * reach * U(rng));
    if (trial % 50 == 9) pts[4] = std::numeric_limits<double>::quiet_NaN();
    const int32_t m = static_cast<int32_t>(pts.size() / 3);
    std::vector<double> u1(m, 7.0), f1(3 * m, 7.0), d1(m, 7.0), u2 = u1, f2 = f1, d2 = d1;
    const BScurve cv = c.view();
    const BSrc rc1 = knotwork::nearest_points(cv, m, pts.data(), u1.data(), f1.data(), d1.data());
    const BSrc rc2 =
        knotwork::avx2::nearest_points(cv, m, pts.data(), u2.data(), f2.data(), d2.data());
    ASSERT_EQ(rc1, rc2) << "trial " << trial;
    ASSERT_EQ(rc1, trial % 50 == 9 ? BSINARG : BSSUCC) << "trial " << trial;
    if (rc1 != BSSUCC) continue;
    for (int32_t i = 0; i < m; ++i) {
      const double *f = &f2[3 * i], *p = &pts[3 * i];
      const double scale = size * 60.0;  // the points' and the feet's coordinates
      EXPECT_NEAR(d1[i], d2[i], 1e-13 * scale) << "trial " << trial << " point " << i;
      EXPECT_NEAR(d2[i], dist3(f, p), 1e-13 * scale) << "trial " << trial << " point " << i;
      const auto on = kwtest::ref_eval(c, u2[i]);
      EXPECT_LT(dist3(on.data(), f), 1e-13 * scale) << "trial " << trial << " point " << i;
    }
  }
}
#endif

TEST(BSmdstptscv, PolylineOfPointsMatchesBruteForceAndSetsTheFlag) {
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int trial = 0; trial < 40; ++trial) {
    const int k = 2 + trial % 5;
    RefCurve c = kwtest::query_curve(rng, k, k + 10 + trial, trial % 2 == 1, false);
    // Points along the curve, slightly off it with a few jumps far away, or (every
    // fourth curve) exactly on it: distance 0 and the flag true.
    const bool on = trial % 4 == 3;
    std::vector<double> pts;
    for (int i = 0; i < 60; ++i) {
      const auto q = kwtest::ref_eval(c, c.lo() + (c.hi() - c.lo()) * i / 59.0);
      const double off = on ? 0.0 : i % 17 == 5 ? 3.0 : 0.05;
      for (int d = 0; d < 3; ++d) pts.push_back(q[d] + off * U(rng));
    }
    BSboolean all_near = 7;
    BSrc rc = 99;
    const std::vector<Foot> feet = project_points(c, pts, &all_near, &rc);
    ASSERT_EQ(rc, BSSUCC);
    bool near = true;
    for (int i = 0; i < 60; ++i) {
      expect_nearest(c, &pts[3 * i], feet[i], trial, 16);
      near = near && feet[i].dist <= 2 * BSparameters.chrdht_tol;
      EXPECT_TRUE(!on || feet[i].dist <= 1e-14 * (1 + kwtest::curve_size(c))) << feet[i].dist;
    }
    EXPECT_EQ(all_near, near ? 1 : 0);
    EXPECT_TRUE(near || !on);
  }
}

TEST(BSmdptsbscv, SearchesInTwoAndFourCoordinates) {
  const double knots[4] = {0, 0, 1, 1};
  const struct {
    int dim;
    double rows[8], p[4], u, d, foot_last;
  } cases[] = {{2, {0, 1, 0, 0}, {0.25, 2.0}, 0.25, 2.0, 0.0},                 // along x
               {4, {0, 0, 0, 0, 0, 0, 0, 3}, {0, 1, 0, 1.5}, 0.5, 1.0, 1.5}};  // along the 4th axis
  for (const auto &e : cases) {
    double d, f[4], u;
    BSrc rc = 99;
    BSmdptsbscv(1, 2, e.dim, FALSE, e.rows, knots, 1, e.p, 1e-6, &d, f, &u, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_TRUE(std::fabs(u - e.u) + std::fabs(d - e.d) + std::fabs(f[e.dim - 1] - e.foot_last) <
                1e-15);
  }
}

// ---- Known answers -------------------------------------------------------------------------

// End snap: a foot within 0.01 (local) of an end takes the exact end parameter when
// the end is less than tol / 2 farther. A straight cubic on [1, 3] from the origin
// along x with length len; the point at local t and height y. (0.005, 30) on length
// 1 is 4.2e-7 farther at the start (snaps), (0.005, 20) 6.3e-7 (does not).
TEST(BSmdstptcv, ExactEndParameterWithinTheSnapWindow) {
  const struct {
    double len, t, y, u;  // u: expected parameter (1 or 3 when snapped)
  } cases[] = {{1e-3, 0.005, 1, 1.0},  {1e-3, 0.995, 1, 3.0}, {1e-3, 0.02, 1, 1.04},
               {1e-3, 0.015, 1, 1.03}, {1e-3, 0.98, 1, 2.96}, {100, 0.005, 0.01, 1.01},
               {1, 0.005, 30, 1.0},    {1, 0.005, 20, 1.01},  {1, -2, 0, 1.0},
               {1, 1 + 1e-9, 0.3, 3.0}};
  for (const auto &e : cases) {
    RefCurve c = kwtest::make_curve(4, {1, 1, 1, 1, 3, 3, 3, 3},
                                    {0, 0, 0, e.len / 3, 0, 0, 2 * e.len / 3, 0, 0, e.len, 0, 0});
    const double p[3] = {e.t * e.len, e.y, 0};
    const double x = e.len * (e.u - 1) / 2;  // foot on the x axis
    BSboolean flag;
    BSrc rc = 99;
    for (const Foot &f : {nearest(c, p), project_points(c, {p, p + 3}, &flag, &rc)[0]}) {
      ASSERT_EQ(f.rc, BSSUCC);
      if (e.u == 1.0 || e.u == 3.0) {
        EXPECT_EQ(f.u, e.u) << e.len << " " << e.t << " " << e.y;
        EXPECT_TRUE(f.foot[0] == x && f.foot[1] == 0.0);
      } else {
        EXPECT_NEAR(f.u, e.u, 1e-12) << e.len << " " << e.t << " " << e.y;
      }
      EXPECT_NEAR(f.dist, std::hypot(p[0] - x, e.y), 1e-15 * (1 + e.y));
    }
  }
  // BSmdptbezcv and BSmdptsbscv snap with their own tolerance: at 1e-3 the start
  // (1.25e-4 farther) is taken, at dist_tol it is not.
  RefCurve line = straight_cubic();
  const std::vector<double> rows = line.rows();
  const double p[3] = {0.005, 0.1, 0}, kn[8] = {1, 1, 1, 1, 3, 3, 3, 3};
  for (const double tol : {1e-3, 1e-6}) {
    double d = 0, f[3], t = -1, u = -1;
    BSrc rc = 99;
    const bool snaps = tol > 1e-4;
    BSmdptbezcv(3, 3, FALSE, rows.data(), p, tol, DBL_MAX, &d, f, &t, &rc);
    EXPECT_TRUE(snaps ? t == 0.0 : std::fabs(t - 0.005) < 1e-12) << t;
    BSmdptsbscv(3, 4, 3, FALSE, rows.data(), kn, 1, p, tol, &d, f, &u, &rc);
    EXPECT_TRUE(snaps ? u == 1.0 : std::fabs(u - 1.01) < 1e-12) << u;
    EXPECT_NEAR(d, snaps ? std::hypot(0.005, 0.1) : 0.1, 1e-15);
  }
}

// On a closed curve a foot at the joint gets the start parameter with the start
// point as foot: a circle of radius 0.5 on [1, 3] and points at radius 1 beside the
// joint (either side snaps to an end, which becomes the start); points at the
// joint of a unit circle; near the centre of a large arc, where the distance
// hardly changes along the curve, the foot still lies in the direction of P.
TEST(BSmdstptcv, ClosedCurveJointIsTheStartParameter) {
  const double o[3] = {0, 0, 0};
  RefCurve half = kwtest::ref_circle(o, 0.5), unit = kwtest::ref_circle(o, 1.0),
           large = kwtest::ref_circle(o, 1000.0);
  for (double &k : half.knots) k = 1 + k / 2;
  std::vector<double> pts;
  for (const double a : {0.0, 5e-4, -5e-4}) pts.insert(pts.end(), {std::cos(a), std::sin(a), 0});
  for (const double y : {0.0, -1e-13, 1e-13}) pts.insert(pts.end(), {2.0, y, 0.0});
  BSboolean flag;
  BSrc rc = 99;
  for (int i = 0; i < 6; ++i) {
    RefCurve &c = i < 3 ? half : unit;
    const double *p = &pts[3 * i];
    const double r = i < 3 ? 0.5 : 1.0, start[3] = {r, 0, 0};
    for (const Foot &f : {nearest(c, p), project_points(c, {p, p + 3}, &flag, &rc)[0]}) {
      ASSERT_EQ(f.rc, BSSUCC);
      EXPECT_TRUE(f.u == c.lo() && f.foot[0] == r && f.foot[1] == 0.0) << i << " " << f.u;
      EXPECT_NEAR(f.dist, dist3(p, start), 1e-15) << i;
    }
  }
  const std::vector<Foot> all = project_points(half, {pts.begin(), pts.begin() + 9}, &flag, &rc);
  for (const Foot &f : all) EXPECT_EQ(f.u, 1.0);
  const double near_centre[3] = {1e-3 * std::cos(0.3), 1e-3 * std::sin(0.3), 0.0};
  const Foot f = nearest(large, near_centre);
  const double toward[3] = {1000.0 * std::cos(0.3), 1000.0 * std::sin(0.3), 0.0};
  EXPECT_TRUE(dist3(f.foot, toward) < 1e-6 && std::fabs(f.dist - (1000.0 - 1e-3)) < 1e-9);
}

// A cubic running out along x and doubling back: sub-pieces around the turn look
// flat (collinear poles) but their chords stop short of the tip.
TEST(BSmdstptcv, PieceThatDoublesBackIsNotReplacedByItsChord) {
  RefCurve c = bezier({0, 0, 0, 4, 0, 0, 2, 0, 0, 0, 0, 0});
  const double tm = 1.0 - 1.0 / std::sqrt(3.0);  // maximum of x(t) = 6 t (1 - t) (2 - t)
  const double pt[3] = {5.0, 1e-3, 0.0};
  const Foot f = nearest(c, pt);
  EXPECT_TRUE(f.rc == BSSUCC && std::fabs(f.u - tm) < 1e-7) << f.u;
  EXPECT_NEAR(f.dist, std::hypot(5.0 - 6 * tm * (1 - tm) * (2 - tm), 1e-3), 1e-12);
}

// A point that is not finite, or so far away that squared distances overflow, is
// refused instead of giving an unwritten foot with a success status.
TEST(BSmdstptcv, RefusesPointsOutsideTheRepresentableRange) {
  RefCurve c = bezier({0, 0, 0, 1, 2, 0, 3, 1, 0, 4, 0, 0});
  BScurve cv = c.view();
  const double bad[][3] = {{std::nan(""), 0, 0}, {0, INFINITY, 0}, {1e308, 0, 0}, {0, 0, -1e200}};
  for (const auto &p : bad) {
    double u = -7, foot[3], dist = -7;
    EXPECT_TRUE(nearest(c, p).rc == BSINARG && all_nearest(c, p).rc == BSINARG);
    BSrc rc = 0;
    BSboolean on = 7;
    EXPECT_TRUE(BSprptoncv(&rc, &cv, p, &u, &on) == FALSE && rc == BSINARG);
    BSprptnrcv(&cv, 0.5, p, &u, foot, &dist, &rc);
    EXPECT_EQ(rc, BSINARG);
  }
  const double far[3] = {1e140, 0, 0};  // large but representable: still projects
  const Foot f = nearest(c, far);
  EXPECT_TRUE(f.rc == BSSUCC && f.u >= 0.0 && f.u <= 1.0);
  EXPECT_DOUBLE_EQ(f.dist, 1e140);
  // A curve whose distance overflows fails rather than reporting infinity.
  RefCurve high = bezier({0, 0, 1e160, 1, 2, 1e160, 3, 1, 1e160, 4, 0, 1e160});
  const double origin[3] = {0, 0, 0};
  EXPECT_EQ(nearest(high, origin).rc, BSINARG);
}

// ---- All nearest parameters and perpendicular feet ------------------------------------------

// The centre of a circle gets the whole domain as one interval and no parameters;
// the joint of a closed curve is one parameter, the start (both ends when open).
TEST(BSmdistptcv, CircleCentreIsOneIntervalAndTheClosedJointOneParameter) {
  const double centre[3] = {1, 2, 3}, beside[3] = {4, 2, 3};
  RefCurve c = kwtest::ref_circle(centre, 2.0);
  AllNearest r = all_nearest(c, centre);
  ASSERT_EQ(r.rc, BSSUCC);
  EXPECT_TRUE(r.np == 0 && r.ints == (std::vector<double>{0.0, 4.0}));
  EXPECT_NEAR(r.dist, 2.0, 1e-14);
  r = all_nearest(c, beside);
  EXPECT_TRUE(r.params == std::vector<double>{0.0} && std::fabs(r.dist - 1.0) < 1e-15);
  c.closed = false;
  EXPECT_EQ(all_nearest(c, beside).params, (std::vector<double>{0.0, 4.0}));
}

TEST(BSmdistptcv, EquidistantCornersAndFeetAreAllReturnedSorted) {
  // A W-shaped polyline: (0, -1) is equidistant from the corners at x = -1 and 1.
  RefCurve w =
      kwtest::make_curve(2, {0, 0, 1, 2, 3, 4, 4}, {-2, 1, 0, -1, 0, 0, 0, 1, 0, 1, 0, 0, 2, 1, 0});
  const double below[3] = {0, -1, 0};
  AllNearest r = all_nearest(w, below);
  ASSERT_EQ(r.rc, BSSUCC);
  EXPECT_TRUE(r.ni == 0 && r.params == (std::vector<double>{1.0, 3.0}));
  EXPECT_NEAR(r.dist, std::sqrt(2.0), 1e-15);
  // A symmetric valley seen from its axis above the centre of curvature of its
  // bottom: two interior feet on the walls, mirror images.
  RefCurve valley = bezier({-2, 4, 0, -1, -2, 0, 1, -2, 0, 2, 4, 0});
  const double axis[3] = {0, 1.5, 0};
  r = all_nearest(valley, axis);
  ASSERT_EQ(r.rc, BSSUCC);
  ASSERT_EQ(r.np, 2);
  EXPECT_TRUE(r.params[0] < r.params[1] && std::fabs(r.params[0] + r.params[1] - 1.0) < 1e-9);
  EXPECT_NEAR(r.dist, nearest(valley, axis).dist, 1e-12);
}

// Many random curves, unclamped ones among them: the distance is never above the
// brute-force minimum and is that of every parameter, sorted (this sequence holds
// feet exactly on halving points and breaks, hidden from every span by rounding).
TEST(BSmdistptcv, RandomCurvesNeverMissTheNearestFoot) {
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> U(-1, 1), V(0, 1);
  for (int trial = 0; trial < 2000; ++trial) {
    const int k = 2 + trial % 7;
    const int n = k + 1 + static_cast<int>(V(rng) * 25);
    const bool clamped = trial % 5 != 2;
    RefCurve c =
        kwtest::query_curve(rng, k, n, trial % 2 == 1, clamped && trial % 3 == 0, 1.0, clamped);
    const double p[3] = {1.5 * U(rng), 1.5 * U(rng), 1.5 * U(rng)};
    const AllNearest r = all_nearest(c, p);
    ASSERT_EQ(r.rc, BSSUCC) << trial;
    EXPECT_LE(r.dist, kwtest::brute_force_min(c, p, 32) + 1e-9) << trial;
    ASSERT_GE(r.np, 1) << trial;
    for (int i = 0; i < r.np; ++i) {
      EXPECT_NEAR(kwtest::dist_at(c, r.params[i], p), r.dist, BSparameters.dist_tol) << trial;
      EXPECT_TRUE(i == 0 || r.params[i - 1] < r.params[i]) << trial;
    }
  }
}

TEST(BSnormals, EveryFootOfAnEllipseIsFound) {
  const double centre[3] = {0, 0, 0}, pt[3] = {0.1, 0.05, 0};
  RefCurve c = kwtest::ref_circle(centre, 1.0);
  for (int i = 0; i < c.n(); ++i) c.poles[3 * i] *= 2.0;  // x stretched: four feet
  BScurve cv = c.view();
  int32_t np = 0, ni = 0;
  double *params = nullptr, *ints = nullptr;
  BSrc rc = 99;
  EXPECT_EQ(BSnormals(&rc, &cv, pt, &np, &params, &ni, &ints), TRUE);
  const std::vector<double> feet(params, params + np);
  BSdbgfree(params);
  ASSERT_TRUE(ni == 0 && ints == nullptr && feet.size() == 4u);
  for (const double u : feet) {  // the distance is stationary at each
    const double h = 1e-6;
    EXPECT_NEAR(kwtest::dist_at(c, u + h, pt) - kwtest::dist_at(c, u - h, pt), 0.0, 2e-12) << u;
  }
}

// ---- Memory ---------------------------------------------------------------------------------

TEST(BSmdstptcv, SmallCurvesMakeNoHeapRequests) {
  std::mt19937_64 rng(12);
  RefCurve c = kwtest::query_curve(rng, 4, 20, true, true);
  RefCurve p = kwtest::query_curve(rng, 3, 10, false, false);
  BScurve pv = p.view();
  const std::vector<double> pts = {0.3, 0.1, -0.2, 0.35, 0.1, -0.2};
  kwtest::NoHeapScope scope;
  BSboolean flag;
  Foot f;
  EXPECT_EQ(project_points(c, pts, &flag, &f.rc)[1].rc, BSSUCC);
  EXPECT_EQ(nearest(p, pts.data()).rc, BSSUCC);
  BSprptnrcv(&pv, p.lo(), pts.data(), &f.u, f.foot, &f.dist, &f.rc);
  EXPECT_EQ(scope.heap_requests(), 0);
}

// ---- On-curve test, Newton projection, root finder ----------------------------------------

TEST(BSprptoncv, FarOutsideTheBoxReportsFalseWithoutWritingTheParameter) {
  RefCurve c = straight_cubic();
  BScurve cv = c.view();
  const struct {
    double p[3];
    BSboolean on;
    double u;
  } cases[] = {{{100, 100, 100}, FALSE, 42.0},  // outside the box: parameter unwritten
               {{0.25, 0, 0}, TRUE, 0.25},
               {{0.5, 1.5e-6, 0}, FALSE, 0.5}};  // inside the widened box, off the curve
  for (const auto &e : cases) {
    double u = 42;
    BSboolean on = 7;
    BSrc rc = 99;
    EXPECT_EQ(BSprptoncv(&rc, &cv, e.p, &u, &on), TRUE);
    EXPECT_TRUE(rc == BSSUCC && on == e.on && std::fabs(u - e.u) < 1e-15);
  }
}

TEST(BSprptnrcv, ConvergesToAPerpendicularFootNearTheStart) {
  std::mt19937_64 rng(21);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  int converged = 0;
  for (int trial = 0; trial < 100; ++trial) {
    RefCurve c = kwtest::query_curve(rng, 4, 8, trial % 2 == 1, false);
    BScurve cv = c.view();
    const double u0 = c.lo() + (0.2 + 0.6 * (0.5 + 0.5 * U(rng))) * (c.hi() - c.lo());
    const auto q = kwtest::ref_eval(c, u0);
    const double pt[3] = {q[0] + 1e-3 * U(rng), q[1] + 1e-3 * U(rng), q[2] + 1e-3 * U(rng)};
    Foot f;
    BSprptnrcv(&cv, u0, pt, &f.u, f.foot, &f.dist, &f.rc);
    if (f.rc == BSNOSOLUTION) continue;
    ASSERT_EQ(f.rc, BSSUCC);
    ++converged;
    EXPECT_LT(dist3(kwtest::ref_eval(c, f.u).data(), f.foot), 1e-12);
    EXPECT_NEAR(f.dist, dist3(pt, f.foot), 1e-15);
    const double h = 1e-6;
    if (f.u - h > c.lo() && f.u + h < c.hi()) {
      const double slope = kwtest::dist_at(c, f.u + h, pt) - kwtest::dist_at(c, f.u - h, pt);
      EXPECT_NEAR(slope / (2 * h), 0.0, 1e-4) << trial;
    }
  }
  EXPECT_GE(converged, 98);
}

TEST(BSqnwt2, FindsRootsWrapsPeriodicIntervalsAndReportsIterationsAndBSadjparClamps) {
  double root = 0;
  int32_t it = 0;
  BSrc rc = 99;
  BSqnwt2([](double u, void *, BSrc *) { return std::cos(u) - u; }, nullptr, 0.0, 2.0, 1.5, FALSE,
          1e-14, 1e-14, 50, &root, &it, &rc);
  EXPECT_TRUE(rc == BSSUCC && it < 50 && std::fabs(root - 0.7390851332151607) < 1e-13) << root;
  // No root: the iteration limit is used up.
  BSqnwt2([](double u, void *, BSrc *) { return 1.0 + u * u; }, nullptr, 0.0, 1.0, 0.5, FALSE,
          1e-12, 1e-12, 25, &root, &it, &rc);
  EXPECT_TRUE(rc == BSSUCC && it == 25) << it;
  // Periodic: a root past the end of the interval is found by wrapping.
  const double two_pi = 2 * M_PI;
  BSqnwt2([](double u, void *, BSrc *) { return std::sin(u - 0.2); }, nullptr, 0.0, two_pi,
          two_pi - 0.1, TRUE, 1e-14, 1e-14, 50, &root, &it, &rc);
  EXPECT_TRUE(rc == BSSUCC && std::fabs(std::fmod(root, two_pi) - 0.2) < 1e-12) << root;
  // BSadjpar clamps into the domain.
  RefCurve c = straight_cubic();
  BScurve cv = c.view();
  for (const auto &[in, out] : {std::pair{1.5, 1.0}, std::pair{-0.5, 0.0}, std::pair{0.25, 0.25}}) {
    BSadjpar(&cv, in, &root, &rc);
    EXPECT_TRUE(root == out && rc == BSSUCC) << in;
  }
}

// ---- Failure statuses ---------------------------------------------------------------------

TEST(ProjectStatuses, EveryRoutineReportsItsFailures) {
  RefCurve c = straight_cubic();
  const BScurve good = c.view();
  const std::vector<double> rows = c.rows();
  BScurve order1 = good, few = good, no_weights = good, big = good;
  order1.order = 1;
  few.num_poles = 2;
  no_weights.rational = 1;
  no_weights.weights = nullptr;
  std::vector<double> poles(3 * 17), knots(34);  // order 17: pieces of 17 poles
  for (int i = 0; i < 17; ++i) poles[3 * i] = i, knots[i] = 0, knots[17 + i] = 1;
  big.order = 17, big.num_poles = 17, big.poles = poles.data(), big.knots = knots.data();
  big.num_knots = 34;
  // A bad pole or weight outranks later argument checks (the pole scan comes late).
  std::vector<double> nan_poles(good.poles, good.poles + 3 * good.num_poles), w0(good.num_poles, 1);
  nan_poles[4] = NAN, w0[1] = 0.0;
  BScurve nan_pole = good, zero_weight = good;
  nan_pole.poles = nan_poles.data();
  zero_weight.rational = 1, zero_weight.weights = w0.data();
  const double pt[4] = {0, 1, 0, 0}, beyond[3] = {3.0, 0.5, 0.0}, z[3 * 17] = {},
               kn[4] = {0, 0, 1, 1};
  double u, f[4], d, *a = nullptr, *b = nullptr;
  int32_t i1, i2;
  int16_t n1, n2;
  BSboolean flag;
  auto id = [](double x, void *, BSrc *) { return x; };
  const struct {
    std::function<BSrc()> call;
    BSrc expected;
  } cases[] = {
      {STATUS_OF(BSmdstptcv(nullptr, pt, &u, f, &d, &rc)), BSNULLPTR},
      {STATUS_OF(BSmdstptcv(&order1, pt, &u, f, &d, &rc)), BSINARG},
      {STATUS_OF(BSmdstptcv(&few, pt, &u, f, &d, &rc)), BSINARG},
      {STATUS_OF(BSmdstptcv(&no_weights, pt, &u, f, &d, &rc)), BSNULLPTR},
      {STATUS_OF(BSmdstptcv(&big, pt, &u, f, &d, &rc)), BSDEGENINPUT},
      {STATUS_OF(BSmdstptscv(-1, pt, &good, &u, f, &d, &flag, &rc)), BSINARG},
      {STATUS_OF(BSmdstptcv(&nan_pole, nullptr, &u, f, &d, &rc)), BSINARG},
      {STATUS_OF(BSmdstptcv(&zero_weight, pt, &u, f, &d, &rc)), BSINARG},
      {STATUS_OF(BSmdstptscv(0, nullptr, &nan_pole, &u, f, &d, &flag, &rc)), BSINARG},
      {STATUS_OF(BSmdptsbscv(1, 2, 40, 0, z, kn, 1, pt, 1e-6, &d, f, &u, &rc)), BSINARG},
      {STATUS_OF(BSmdptsbscv(1, 2, 0, 0, z, kn, 1, pt, 1e-6, &d, f, &u, &rc)), BSINARG},
      {STATUS_OF(BSmdptsbscv(1, 1, 2, 0, z, kn, 1, pt, 1e-6, &d, f, &u, &rc)), BSINARG},
      {STATUS_OF(BSmdptsbscv(16, 17, 1, 0, z, kn, 1, pt, 1e-6, &d, f, &u, &rc)), BSDEGENINPUT},
      {STATUS_OF(BSmdptsbscv(1, 2, 2, 0, nullptr, kn, 1, pt, 1e-6, &d, f, &u, &rc)), BSNULLPTR},
      {STATUS_OF(BSmdptbezcv(3, 0, 0, rows.data(), pt, 1e-6, DBL_MAX, &d, f, &u, &rc)), BSINARG},
      {STATUS_OF(BSmdptbezcv(3, 3, 0, nullptr, pt, 1e-6, DBL_MAX, &d, f, &u, &rc)), BSNULLPTR},
      {STATUS_OF(BSmdptbezcv(16, 3, 0, z, pt, 1e-6, DBL_MAX, &d, f, &u, &rc)), BSDEGENINPUT},
      {STATUS_OF(EXPECT_FALSE(BSnormals(&rc, nullptr, pt, &i1, &a, &i2, &b))), BSNULLPTR},
      {STATUS_OF(EXPECT_FALSE(BSnormals(&rc, &few, pt, &i1, &a, &i2, &b))), BSINARG},
      {STATUS_OF(BSmdistptcv(&good, nullptr, &n1, &n2, &a, &d, &b, &rc)), BSNULLPTR},
      {STATUS_OF(BSmdistptcv(&few, pt, &n1, &n2, &a, &d, &b, &rc)), BSINARG},
      {STATUS_OF(BSadjpar(&good, 0.5, nullptr, &rc)), BSNULLPTR},
      {STATUS_OF(BSprptnrcv(nullptr, 0.5, pt, &u, f, &d, &rc)), BSNULLPTR},
      {STATUS_OF(BSprptnrcv(&few, 0.5, pt, &u, f, &d, &rc)), BSINARG},
      {STATUS_OF(BSprptnrcv(&good, 0.5, beyond, &u, f, &d, &rc)), BSNOSOLUTION},  // no foot
      {STATUS_OF(EXPECT_FALSE(BSprptoncv(&rc, nullptr, pt, &u, &flag))), BSNULLPTR},
      {STATUS_OF(BSqnwt2(nullptr, nullptr, 0, 1, 0.5, 0, 1e-9, 1e-9, 10, &u, &i1, &rc)), BSNULLPTR},
      {STATUS_OF(BSqnwt2(id, nullptr, 1, 1, 0.5, 0, 1e-9, 1e-9, 25, &u, &i1, &rc)), BSINARG},
      {STATUS_OF(BSmdstptarr(3, nullptr, 1, pt, &i1, &i2, &d, &rc)), BSNULLPTR},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].call(), cases[i].expected) << i;
  // The trace names the failing operation.
  BSdbginit();
  cases[0].call();
  const std::string trace = kwtest::capture_stdout([] { BSdbgprint(stdout); });
  EXPECT_NE(trace.find("error in BSmdstptcv, rc = 3"), std::string::npos) << trace;
}

TEST(BSmdstptarr, ClosestPairLastOfEqualPairsWins) {
  const double a[9] = {0, 0, 0, 5, 0, 0, 10, 0, 0}, b[6] = {5, 1, 0, 0, 1, 0};
  int32_t i = -1, j = -1;
  double d = 0;
  BSrc rc = 99;
  BSmdstptarr(3, a, 2, b, &i, &j, &d, &rc);
  // (0, 1) and (1, 0) are both at 1: the later pair wins
  EXPECT_TRUE(rc == BSSUCC && i == 1 && j == 0 && d == 1.0) << i << " " << j << " " << d;
  BSmdstptarr(0, a, 2, b, &i, &j, &d, &rc);
  EXPECT_TRUE(i == 2000000000 && d == DBL_MAX);
}

// ---- Long curves: pieces converted on demand are those of the full decomposition,
// the box tree bounds them; nearest points on 200 to 2000 poles match brute force.

TEST(SplinePieces, LazyPiecesAreTheFullDecompositionAndTheTreeBoundsThem) {
  std::mt19937_64 rng(501);
  for (int trial = 0; trial < 24; ++trial) {
    const int k = 2 + trial % 7;
    const bool rational = trial % 2 == 1;
    const int n = 40 + 37 * trial;
    RefCurve c = trial % 3 == 0
                     ? kwtest::query_curve(rng, k, n, rational, false, 1.0, trial % 4 != 1)
                     : wandering_curve(rng, k, n, rational, trial % 4 != 1);
    const std::vector<double> rows = c.rows();
    const int m = rational ? 4 : 3;
    knotwork::SplinePieces full, lazy;
    ASSERT_EQ(full.build(k - 1, n, 3, rational, rows.data(), c.knots.data(), false), BSSUCC);
    ASSERT_EQ(lazy.build(k - 1, n, 3, rational, rows.data(), c.knots.data(), true), BSSUCC);
    knotwork::PieceSet &ps = lazy.set;
    ASSERT_EQ(ps.count, full.set.count) << "trial " << trial;
    ASSERT_NE(ps.tree, nullptr);
    for (int32_t j = 0; j <= ps.count; ++j) EXPECT_EQ(ps.breaks[j], full.set.breaks[j]);
    // Convert in a scattered order; every leaf's and every ancestor's box must hold
    // the pole box of every piece below it, before and after its group is done.
    std::vector<int32_t> order(ps.count);
    for (int32_t j = 0; j < ps.count; ++j) order[j] = j;
    std::shuffle(order.begin(), order.end(), rng);
    for (int32_t j : order) {
      EXPECT_FALSE(ps.ready(j));
      ps.convert(j);
      ASSERT_TRUE(ps.ready(j));
      const double *a = ps.piece(j).rows, *b = full.set.piece(j).rows;
      for (int v = 0; v < m * k; ++v) ASSERT_EQ(a[v], b[v]) << "trial " << trial << " piece " << j;
      const double *box = full.set.boxes + 6 * static_cast<std::ptrdiff_t>(j);
      for (int32_t node = ps.leaf_base + j / knotwork::kPiecesPerLeaf; node >= 1; node /= 2)
        ASSERT_TRUE(box_inside(3, box, ps.tree + 6 * static_cast<std::ptrdiff_t>(node)))
            << "trial " << trial << " piece " << j << " node " << node;
    }
    // Fully converted, the tree is the tree of the pole boxes: the root is their union.
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int32_t j = 0; j < ps.count; ++j)
      for (int d = 0; d < 3; ++d) {
        lo[d] = std::min(lo[d], full.set.boxes[6 * j + d]);
        hi[d] = std::max(hi[d], full.set.boxes[6 * j + 3 + d]);
      }
    for (int d = 0; d < 3; ++d) {
      EXPECT_EQ(ps.tree[6 + d], lo[d]) << "trial " << trial;
      EXPECT_EQ(ps.tree[9 + d], hi[d]) << "trial " << trial;
    }
  }
}

TEST(BSmdstptcv, LongCurvesMatchBruteForce) {
  std::mt19937_64 rng(2027);
  std::uniform_real_distribution<double> U(-1.0, 1.0), V(0.0, 1.0);
  for (int trial = 0; trial < 14; ++trial) {
    const int k = 2 + trial % 7;
    const bool rational = trial >= 7;
    const int n = 200 + static_cast<int>(V(rng) * (trial % 3 == 0 ? 1800 : 600));
    const bool clamped = trial % 5 != 3;
    const bool scattered = trial % 4 == 2;
    const bool closed = clamped && trial % 3 == 0;
    RefCurve c = scattered ? kwtest::query_curve(rng, k, n, rational, closed, 1.0, clamped)
                           : wandering_curve(rng, k, n, rational, clamped);
    c.closed = closed;
    if (closed) kwtest::set_pole(c, n - 1, kwtest::pole_of(c, 0));
    for (int j = 0; j < 5; ++j) {
      // Near the curve (a curve point moved a little) or anywhere around it.
      double p[3];
      const auto q = kwtest::ref_eval(c, c.lo() + (c.hi() - c.lo()) * V(rng));
      const double off = j == 0 ? 0.0 : (j == 1 ? 1e-3 : 0.05), reach = j == 3 ? 0.7 : 20.0;
      for (int d = 0; d < 3; ++d) p[d] = j < 3 ? q[d] + off * U(rng) : 0.5 + reach * U(rng);
      const kwtest::Foot f = kwtest::nearest(c, p);
      ASSERT_EQ(f.rc, BSSUCC) << "trial " << trial;
      kwtest::expect_nearest(c, p, f, trial, 16);
    }
  }
}

TEST(BSmdptsbscv, LongCurveSweepAgreesWithSingleCalls) {
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> U(-1.0, 1.0), V(0.0, 1.0);
  for (int trial = 0; trial < 8; ++trial) {
    const int k = 2 + trial % 7;
    const bool rational = trial % 2 == 0;
    const int n = 300 + 100 * trial;
    RefCurve c = wandering_curve(rng, k, n, rational, true);
    const std::vector<double> rows = c.rows();
    // Points along the curve, with repeats and jumps far away.
    std::vector<double> pts;
    for (int i = 0; i < 120; ++i) {
      auto q = kwtest::ref_eval(c, c.lo() + (c.hi() - c.lo()) * V(rng));
      const double off = i % 13 == 4 ? 2.0 : 0.02;
      for (int d = 0; d < 3; ++d) q[d] += off * U(rng);
      for (int r = 0; r < 1 + i % 2; ++r) pts.insert(pts.end(), q.begin(), q.end());
    }
    const int np = static_cast<int>(pts.size() / 3);
    std::vector<double> d(np), f(3 * np), u(np), want(np);
    for (int i = 0; i < np; ++i) want[i] = kwtest::nearest(c, &pts[3 * i]).dist;
    // The previous foot bounds the next search: a zero or negative tolerance (no end
    // snap) must still give the answers.
    for (const double tol : {1e-6, 0.0, -0.5}) {
      BSrc rc = 99;
      BSmdptsbscv(k - 1, n, 3, rational, rows.data(), c.knots.data(), np, pts.data(), tol, d.data(),
                  f.data(), u.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int i = 0; i < np; ++i)
        EXPECT_NEAR(d[i], want[i], tol > 0 ? 1e-12 : 5e-7 + 1e-12)
            << "trial " << trial << " tol " << tol << " point " << i;
    }
  }
}

// ---- Closed joints (a parameter within the knot tolerance of the joint becomes the
// start only when the start is less than dist_tol / 2 farther) and array checks.

// A unit circle on [0, 4] (closed) and a point at radius 2 and angle -4e-7: its
// foot lies 2.8e-7 before the end in parameter, within the knot tolerance (about
// 6e-7), and the joint is 1.6e-13 farther from the point than the foot. A closed
// polyline (order 2) whose last pole stops 8e-7 short of the first, the last span
// short in parameter: the point (-1, 5e-7) has its foot 1.3e-7 before the end
// (knot tolerance 3e-7); the end is 8.5e-13 farther than the foot (no end snap),
// the start only 1.25e-13. With dist_tol 1e-12 the joint wins (start parameter,
// start point, its distance); with 1e-13 and 1e-15 the foot keeps its own parameter.
TEST_F(ProjectPaths, StartOnlyWhenWithinHalfTheDistanceTolerance) {
  const double o[3] = {0, 0, 0}, a = -4e-7;
  kwtest::RefCurve circle = kwtest::ref_circle(o, 1.0),
                   poly = kwtest::make_curve(2, {0, 0, 0.45, 0.9, 1, 1},
                                             {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, -8e-7, 0});
  poly.closed = true;
  const struct {
    kwtest::RefCurve *c;
    double p[3], start[3], u, utol, foot_y;  // the foot kept at dist_tol 1e-15
  } cases[] = {{&circle, {2 * std::cos(a), 2 * std::sin(a), 0}, {1, 0, 0}, 4.0 - 3e-7, 3e-7, a},
               {&poly, {-1, 5e-7, 0}, {0, 0, 0}, 1.0 - 1.3e-7, 1e-12, 5e-7}};
  for (const auto &e : cases)
    for (const double dist_tol : {1e-12, 1e-13, 1e-15}) {  // 1e-13: a wider rule would snap
      BSparameters.dist_tol = dist_tol;
      const kwtest::Foot f = kwtest::nearest(*e.c, e.p);
      ASSERT_EQ(f.rc, BSSUCC);
      const double to_start = dist3(e.p, e.start);
      if (dist_tol > 2e-13) {
        EXPECT_TRUE(f.u == 0.0 && dist3(f.foot, e.start) == 0.0) << f.u;
        EXPECT_NEAR(f.dist, to_start, 1e-15);
      } else {
        EXPECT_TRUE(std::fabs(f.u - e.u) <= e.utol && f.u < e.c->hi()) << f.u;
        EXPECT_NEAR(f.foot[1], e.foot_y, 1e-12);
        EXPECT_NEAR(f.dist, 1.0, 1e-15);
        EXPECT_LT(f.dist, to_start - 1e-13);
      }
    }
}

// Every array fault in a long record is refused, wherever it sits (the checks
// stream in lanes, so faults go at odd places and in the tail).
TEST_F(ProjectPaths, ArrayFaultsAnywhereAreRefused) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  struct Fault {
    int what;  // 0 knot, 1 pole coordinate, 2 weight
    int at;
    double value;
  } faults[] = {{0, 7, nan},    {0, 1002, 0.2}, {0, 1004, inf},    {1, 3002, nan}, {1, 1501, -inf},
                {2, 1000, 0.0}, {2, 5, -0.0},   {2, 999, -1e-300}, {2, 333, inf}};
  for (const Fault &f : faults) {
    std::mt19937_64 rng(5);
    kwtest::RefCurve c = kwtest::query_curve(rng, 4, 1001, true, false);
    (f.what == 0 ? c.knots[f.at] : f.what == 1 ? c.poles[f.at] : c.weights[f.at]) = f.value;
    const double p[3] = {0.1, 0.2, 0.3};
    EXPECT_EQ(kwtest::nearest(c, p).rc, BSINARG) << f.what << " " << f.at;
  }
}

// ---- BSmdptbscv: nearest points with incoming bounds, checked against dense sampling
// with refinement (ref_query.hpp) on random curves, and in closed form on circles and
// arcs built by the arcs family.

namespace {

constexpr double kBig = std::numeric_limits<double>::max(), kPi = 3.141592653589793;

// Coordinate-major rows (dim of the three coordinates, then weights) of a curve.
struct Rows {
  int deg = 0, n = 0, dim = 3;
  bool rational = false;
  std::vector<double> poles, knots;
  Rows(const RefCurve &c, int dim_)
      : deg(c.k - 1),
        n(c.n()),
        dim(dim_),
        rational(c.rational()),
        poles(c.rows(dim_)),
        knots(c.knots) {}
};

struct Out {
  std::vector<double> dist, par, feet;
  BSrc rc = -99;
};

Out project(Rows &r, std::vector<double> pts, double tol, std::vector<double> din = {},
            std::vector<double> pin = {}) {
  const int m = static_cast<int>(pts.size()) / r.dim;
  if (din.empty()) din.assign(m, kBig), pin.assign(m, 0.0);
  Out o{std::vector<double>(m, -1), std::vector<double>(m, -1), std::vector<double>(m * r.dim, -1)};
  BSmdptbscv(static_cast<int16_t>(r.deg), r.n, r.dim, r.rational, r.poles.data(), r.knots.data(), m,
             pts.data(), tol, din.data(), pin.data(), o.dist.data(), o.par.data(), o.feet.data(),
             &o.rc);
  return o;
}

// Checks every result against the reference: the distance within tol / 2 of the
// brute-force minimum, the foot the curve point at the parameter.
void check_against_reference(RefCurve &c, Rows &r, const std::vector<double> &pts, double tol) {
  const Out o = project(r, pts, tol);
  ASSERT_EQ(o.rc, BSSUCC);
  const double size = kwtest::curve_size(c);
  for (size_t i = 0; i < o.dist.size(); ++i) {
    double p[3] = {0, 0, 0};
    for (int d = 0; d < r.dim; ++d) p[d] = pts[i * r.dim + d];
    const double ref = kwtest::brute_force_min(c, p);
    EXPECT_GE(o.dist[i], ref - 1e-10 * size) << i;
    EXPECT_LE(o.dist[i], ref + 0.5 * tol + 1e-10 * size) << i;
    const auto q = kwtest::ref_eval(c, o.par[i]);
    for (int d = 0; d < r.dim; ++d) EXPECT_NEAR(o.feet[i * r.dim + d], q[d], 1e-10 * size) << i;
    EXPECT_NEAR(kwtest::dist_at(c, o.par[i], p), o.dist[i], 1e-10 * size) << i;
    // One point by branch and bound alone (no break-pole pass).
    double d1 = -1, u1 = -1, f1[3];
    BSrc rc = -99;
    BSmdptbscv1(static_cast<int16_t>(r.deg), r.n, r.dim, r.rational, r.poles.data(), r.knots.data(),
                p, tol, kBig, &d1, &u1, f1, &rc);
    ASSERT_EQ(rc, BSSUCC) << i;
    EXPECT_GE(d1, ref - 1e-10 * size) << i;
    EXPECT_LE(d1, ref + 0.5 * tol + 1e-10 * size) << i;
    EXPECT_NEAR(kwtest::dist_at(c, u1, p), d1, 1e-10 * size) << i;
  }
}

TEST(BSmdptbscv, RandomCurvesMatchDenseSampling) {
  std::mt19937_64 rng(24);
  std::uniform_real_distribution<double> U(-1.3, 1.3);
  struct Case {
    int k, n;
    bool rational, planar, clamped;
  } cases[] = {{4, 4, false, false, true}, {4, 9, false, false, true}, {4, 12, true, false, true},
               {3, 7, true, true, true},   {5, 10, false, true, true}, {4, 8, false, false, false},
               {2, 6, false, false, true}, {6, 13, true, false, true}};
  for (const Case &cs : cases)
    for (int rep = 0; rep < 3; ++rep) {
      RefCurve c = kwtest::query_curve(rng, cs.k, cs.n, cs.rational, false, 1.0, cs.clamped);
      const int dim = cs.planar ? 2 : 3;
      if (cs.planar) c.flatten();
      Rows r(c, dim);
      std::vector<double> pts(20 * dim);
      for (double &x : pts) x = U(rng);
      SCOPED_TRACE(cs.k * 100 + cs.n);
      check_against_reference(c, r, pts, 1e-7);
    }
}

// A circle or arc record built by the arcs family, and its curve.
struct Circle {
  double poles[21], weights[7], knots[10];
  BScurve cv{};
  Circle() { cv.poles = poles, cv.weights = weights, cv.knots = knots; }
  RefCurve ref() const {
    const int32_t n = cv.num_poles;
    return kwtest::make_curve(3, {knots, knots + n + 3}, {poles, poles + 3 * n},
                              {weights, weights + n});
  }
};

TEST(BSmdptbscv, CirclesAndArcsInClosedForm) {
  const double centre[3] = {0.5, -0.25, 0}, normal[3] = {0, 0, 1}, r = 1.5;
  Circle full, arc;
  BSrc rc;
  ASSERT_TRUE(BSprepcirc(&rc, centre, &r, normal, &full.cv, nullptr, nullptr));
  const double s[3] = {2.0, -0.25, 0}, e[3] = {0.5, 1.25, 0};  // quarter arc
  ASSERT_TRUE(BSprepcarc(&rc, s, centre, e, normal, &arc.cv, nullptr, nullptr));
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> U(-3, 3);
  for (Circle *c : {&full, &arc}) {
    RefCurve ref = c->ref();
    Rows rows(ref, 2);  // in the plane z = 0
    // The centre: the start point, the radius and the start parameter.
    Out o = project(rows, {centre[0], centre[1]}, 1e-9);
    ASSERT_EQ(o.rc, BSSUCC);
    EXPECT_DOUBLE_EQ(o.dist[0], r);
    EXPECT_EQ(o.par[0], c->knots[0]);
    EXPECT_DOUBLE_EQ(o.feet[0], c->poles[0]);
    EXPECT_DOUBLE_EQ(o.feet[1], c->poles[1]);
    std::vector<double> pts(60);
    for (double &x : pts) x = U(rng);
    check_against_reference(ref, rows, pts, 1e-9);
    // The closed form alone agrees, or (50) the foot is an end of the arc; the
    // angle of the foot from the start gives its parameter back.
    const Out all = project(rows, pts, 1e-9);
    for (int i = 0; i < 30; ++i) {
      double d = -1, u = -1, f[2], t = 0, u2 = -1;
      BSboolean def = FALSE;
      BSmdptcrcv(2, rows.n, 2, TRUE, rows.poles.data(), rows.knots.data(), &pts[2 * i], &d, &u, f,
                 &rc);
      if (rc == BSDEGENINPUT) {
        EXPECT_TRUE(all.par[i] == c->knots[0] || all.par[i] == c->knots[c->cv.num_poles]) << i;
        continue;
      }
      EXPECT_NEAR(d, all.dist[i], 1e-14) << i;
      EXPECT_NEAR(u, all.par[i], 1e-12) << i;
      BSinvcircle(const_cast<double *>(centre), c->poles, f, &t, &def, &rc);
      const double ang = def ? 2 * std::atan(t) : kPi;
      BSinvbspcrc(2, rows.n, 2, TRUE, rows.poles.data(), rows.knots.data(),
                  ang < -1e-15 ? ang + 2 * kPi : std::fmax(ang, 0.0), &u2, &rc);
      EXPECT_NEAR(u2, u, 1e-12) << i;
    }
  }
  // On the full circle every point is exactly |d - r| away.
  Rows rows(full.ref(), 2);
  const Out o = project(rows, {2.5, 1.0, -1.0, -2.0}, 0.0);
  EXPECT_NEAR(o.dist[0], std::hypot(2.0, 1.25) - r, 1e-14);
  EXPECT_NEAR(o.dist[1], std::hypot(1.5, 1.75) - r, 1e-14);
}

TEST(BSmdptbscv, BoundsPassedIn) {
  std::mt19937_64 rng(7);
  RefCurve c = kwtest::query_curve(rng, 4, 8, true, false);
  Rows r(c, 3);
  const std::vector<double> pts = {0.1, 0.2, 0.3, 2.0, -1.0, 0.5};
  const Out free = project(r, pts, 1e-9);
  ASSERT_EQ(free.rc, BSSUCC);
  // Bounds above the answer find it; a bound at or below it keeps the incoming
  // values (status -12) with the curve point at the incoming parameter as foot.
  Out o = project(r, pts, 1e-9, {free.dist[0] * 1.5, kBig}, {0, 0});
  EXPECT_EQ(o.rc, BSSUCC);
  EXPECT_NEAR(o.dist[0], free.dist[0], 1e-12);
  const double u = 0.5 * (c.lo() + c.hi());
  o = project(r, pts, 1e-9, {free.dist[0] * 0.5, kBig}, {u, 0});
  EXPECT_TRUE(o.rc == BSNOSOLUTION && o.dist[0] == free.dist[0] * 0.5 && o.par[0] == u);
  EXPECT_NEAR(o.feet[0], kwtest::ref_eval(c, u)[0], 1e-12);
  EXPECT_EQ(o.dist[1], free.dist[1]);
  // In place: the same arrays in and out.
  std::vector<double> d = {kBig, kBig}, p = {0, 0}, f(6), q = pts;
  BSrc rc;
  BSmdptbscv(3, r.n, 3, TRUE, r.poles.data(), r.knots.data(), 2, q.data(), 1e-9, d.data(), p.data(),
             d.data(), p.data(), f.data(), &rc);
  EXPECT_TRUE(rc == BSSUCC && d == free.dist && p == free.par);
}

TEST(BSmdptbscv, KinkGivesTheKnotExactly) {
  // Two cubic pieces meeting in a corner at pole 3 (knot 1 of multiplicity 3).
  RefCurve c;
  c.k = 4;
  c.poles = {0, 0, 0, 1, 0.2, 0, 2, 0.1, 0, 3, 0, 0, 3.1, 1, 0, 3, 2, 0, 3.2, 3, 0};
  c.knots = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2};
  Rows r(c, 2);
  const Out o = project(r, {3.5, -0.5, 4.0, -1.0}, 1e-9);
  ASSERT_EQ(o.rc, BSSUCC);
  EXPECT_TRUE(o.par[0] == 1.0 && o.par[1] == 1.0 && o.feet[0] == 3.0);
  EXPECT_DOUBLE_EQ(o.dist[0], std::sqrt(0.5));
}

// ---- The parts as entries of their own ---------------------------------------------

// Legendre series of coordinate-major Bezier rows.
std::vector<double> legendre_rows(const Rows &r) {
  std::vector<double> l(r.poles.size());
  BSrc rc = -99;
  for (size_t row = 0; row * (r.deg + 1) < l.size(); ++row)
    BSbeztolgd(r.deg, 1, &r.poles[row * (r.deg + 1)], &l[row * (r.deg + 1)], &rc);
  return l;
}

TEST(BSmdptpieces, OnePieceAgainstDenseSampling) {
  std::mt19937_64 rng(31);
  std::uniform_real_distribution<double> U(-1.3, 1.3);
  const int cases[][3] = {{4, 0, 3}, {4, 1, 3}, {3, 1, 2}, {6, 1, 3}, {2, 0, 2}};  // k, rat, dim
  const double tol = 1e-7;
  for (const auto &cs : cases) {
    RefCurve c = kwtest::query_curve(rng, cs[0], cs[0], cs[1], false);
    const int m = 12, dim = cs[2];
    if (dim == 2) c.flatten();
    Rows r(c, dim);
    const auto deg = static_cast<int16_t>(r.deg);
    std::vector<double> lgd = legendre_rows(r), pts(m * dim), din(m, kBig), dz(m), tz(m),
                        fz(m * dim), dl(m), xl(m), fl(m * dim);
    std::vector<BSrc> pz(m), pl(m);
    for (double &x : pts) x = U(rng);
    BSrc rz = -99, rl = -99, r1 = -99;
    BSmdptbzcv(deg, dim, r.rational, r.poles.data(), m, pts.data(), tol, din.data(), dz.data(),
               tz.data(), fz.data(), pz.data(), &rz);
    BSmdptlgcv(deg, dim, r.rational, lgd.data(), m, pts.data(), tol, din.data(), dl.data(),
               xl.data(), fl.data(), pl.data(), &rl);
    ASSERT_EQ(rz, BSSUCC);
    ASSERT_EQ(rl, BSSUCC);
    const double eps = 1e-10 * kwtest::curve_size(c);
    auto at = [&](double t) { return c.lo() + t * (c.hi() - c.lo()); };
    for (int i = 0; i < m; ++i) {
      const double p[3] = {pts[i * dim], pts[i * dim + 1], dim == 3 ? pts[i * dim + 2] : 0.0};
      const double ref = kwtest::brute_force_min(c, p);
      double d1 = -1, x1 = -1, f1[3];
      BSmdptlgcv1(deg, dim, r.rational, lgd.data(), &pts[i * dim], tol, kBig, &d1, &x1, f1, &r1);
      EXPECT_NEAR(d1, ref, eps) << i;  // no end preference: the minimum itself
      EXPECT_NEAR(kwtest::dist_at(c, at(0.5 * (x1 + 1)), p), d1, eps) << i;
      for (double d : {dz[i], dl[i]}) EXPECT_TRUE(d >= ref - eps && d <= ref + 0.5 * tol + eps);
      EXPECT_NEAR(kwtest::dist_at(c, at(tz[i]), p), dz[i], eps) << i;
      const auto q = kwtest::ref_eval(c, at(0.5 * (xl[i] + 1)));
      EXPECT_NEAR(std::hypot(fl[i * dim] - q[0], fl[i * dim + 1] - q[1]), 0, eps) << i;
      // A bound just below the distance leaves the point without result.
      BSmdptlgcv1(deg, dim, r.rational, lgd.data(), &pts[i * dim], tol, d1 * (1 - 1e-9), &d1, &x1,
                  f1, &r1);
      EXPECT_EQ(r1, BSNOSOLUTION);
    }
  }
}

TEST(BSmdptpieces, StraightPieceAndCircleCentreInSpace) {
  RefCurve c;  // y = x at even speed
  c.k = 4, c.knots = {0, 0, 0, 0, 1, 1, 1, 1}, c.poles = {0, 0, 0, 1, 1, 0, 2, 2, 0, 3, 3, 0};
  std::vector<double> l = legendre_rows(Rows(c, 2)), bent = l;
  bent[2] += 0.5;
  double d = -1, x = -1, f[3], p[4] = {1, 2, 5, 4};
  BSrc rc = -99;
  BSmdptlnlg(3, 2, FALSE, l.data(), p, 1e-9, &d, &x, f, &rc);
  EXPECT_NEAR(d, std::sqrt(0.5), 1e-14);
  EXPECT_NEAR(f[0], 1.5, 1e-14);
  BSmdptlnlg(3, 2, FALSE, l.data(), p + 2, 1e-9, &d, &x, f, &rc);  // beyond the end
  EXPECT_TRUE(x == 1.0 && f[1] == 3.0);
  BSmdptlnlg(3, 2, FALSE, bent.data(), p, 1e-9, &d, &x, f, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  // The centre of a tilted circle: every point equally near, found at once.
  const double centre[3] = {0.5, -0.25, 0}, tilted[3] = {1, 2, 2}, r = 1.5;
  Circle c3;
  ASSERT_TRUE(BSprepcirc(&rc, centre, &r, tilted, &c3.cv, nullptr, nullptr));
  Rows r3(c3.ref(), 3);
  BSmdptbscv1(2, 7, 3, TRUE, r3.poles.data(), r3.knots.data(), const_cast<double *>(centre), 1e-9,
              kBig, &d, &x, f, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_NEAR(d, r, 1e-14);
}

TEST(BSmdptpieces, FailureStatuses) {
  // A rational planar cubic, its rows used as Bezier and as Legendre rows.
  const std::vector<double> rows = {0, 1, 2, 3, 0, 1, -1, 0, 1, 0.1, 0.05, 0.02};
  double knots[8] = {0, 0, 0, 0, 1, 1, 1, 1}, start[2] = {1, 0};
  enum { kNull = 1, kNanPoint, kBadWeight, kNanTol, kNegBound, kHugeRow, kBadKnot, kNanBound };
  // routine (0 BSmdptbscv1, 1 bzcv, 2 lgcv, 3 lgcv1, 4 lnlg, 5 crcv, 6 invbspcrc,
  // 7 invcircle, 8 BSmdptbscv), degree, poison, status.
  const int cases[][4] = {
      {8, 3, kNull, BSNULLPTR},   {8, 0, 0, BSINARG},          {8, 4, 0, BSINARG},
      {8, 16, 0, BSDEGENINPUT},   {8, 3, kNanPoint, BSINARG},  {8, 3, kBadWeight, BSINARG},
      {8, 3, kNanTol, BSINARG},   {8, 3, kNegBound, BSINARG},  {8, 3, kHugeRow, BSINARG},
      {8, 3, kBadKnot, BSINARG},  {8, 3, kNanBound, BSINARG},  {0, 3, kBadKnot, BSINARG},
      {0, 3, kNull, BSNULLPTR},   {0, 0, 0, BSINARG},          {0, 16, 0, BSINARG},
      {0, 3, kNanPoint, BSINARG}, {0, 3, kBadWeight, BSINARG}, {0, 3, kNegBound, BSINARG},
      {1, 3, kNull, BSNULLPTR},   {1, 0, 0, BSINARG},          {1, 3, kBadWeight, BSINARG},
      {1, 3, kNanTol, BSINARG},   {1, 3, kNegBound, BSINARG},  {1, 3, kHugeRow, BSINARG},
      {2, 3, kNull, BSNULLPTR},   {2, 16, 0, BSINARG},         {2, 3, kNanPoint, BSINARG},
      {3, 3, kNull, BSNULLPTR},   {3, 3, kNegBound, BSINARG},  {3, 3, kBadWeight, BSINARG},
      {4, 3, kNull, BSNULLPTR},   {4, 3, kNanTol, BSINARG},    {4, 3, 0, BSDEGENINPUT},
      {5, 3, kNull, BSNULLPTR},   {5, 3, 0, BSDEGENINPUT},     {5, 2, kNanPoint, BSINARG},
      {6, 3, kNull, BSNULLPTR},   {6, 3, 0, BSDEGENINPUT},     {6, 3, kHugeRow, BSINARG},
      {7, 3, kNull, BSNULLPTR},   {7, 3, kNanPoint, BSINARG},  {7, 3, kNegBound, BSDEGEN},
  };
  for (const auto &cs : cases) {
    std::vector<double> r = rows;
    double p[2] = {0.5, 0.5}, tol = 1e-9, bound = kBig, out[4] = {-5, -5, -5, -5};
    BSrc prc = -5, rc = -99;
    BSboolean flag = -5;
    if (cs[2] == kNanPoint) p[1] = std::nan("");
    if (cs[2] == kBadWeight) r[9] = -5.0;
    if (cs[2] == kNanTol) tol = std::nan("");
    if (cs[2] == kNegBound) bound = -1.0, p[0] = 1, p[1] = 0;  // 7: the point at the centre
    if (cs[2] == kHugeRow) r[1] = 1e200;
    if (cs[2] == kNanBound) bound = std::nan("");
    double kn[8] = {0, 0, 0, 0, 1, 1, 1, 1};
    if (cs[2] == kBadKnot) kn[3] = 2;
    double *rp = cs[2] == kNull ? nullptr : r.data();
    const auto g = static_cast<int16_t>(cs[1]);
    const std::function<void()> call[] = {
        [&] { BSmdptbscv1(g, 4, 2, TRUE, rp, kn, p, tol, bound, out, out + 1, out + 2, &rc); },
        [&] { BSmdptbzcv(g, 2, TRUE, rp, 1, p, tol, &bound, out, out + 1, out + 2, &prc, &rc); },
        [&] { BSmdptlgcv(g, 2, TRUE, rp, 1, p, tol, &bound, out, out + 1, out + 2, &prc, &rc); },
        [&] { BSmdptlgcv1(g, 2, TRUE, rp, p, tol, bound, out, out + 1, out + 2, &rc); },
        [&] { BSmdptlnlg(g, 2, TRUE, rp, p, tol, out, out + 1, out + 2, &rc); },
        [&] { BSmdptcrcv(g, 4, 2, TRUE, rp, knots, p, out, out + 1, out + 2, &rc); },
        [&] { BSinvbspcrc(g, 4, 2, TRUE, rp, knots, 0.0, out, &rc); },
        [&] { BSinvcircle(rp == nullptr ? rp : p, start, p, out, &flag, &rc); },
        [&] {
          BSmdptbscv(g, 4, 2, TRUE, rp, kn, 1, p, tol, &bound, out, out, out + 1, out + 2, &rc);
        },
    };
    call[cs[0]]();
    EXPECT_EQ(rc, cs[3]) << cs[0] << " " << cs[2];
    EXPECT_TRUE(out[0] == -5 && out[1] == -5 && out[2] == -5 && prc == -5 && flag == -5);
  }
}

}  // namespace
