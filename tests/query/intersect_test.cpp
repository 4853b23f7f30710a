// Intersections against the shared brute force (ref_query.hpp). Curve and curve:
// random pairs with planted crossings (interiors, knots, ends), planar pairs against
// all polyline crossings, tangencies, overlaps of sub-curves, seams, exact small
// cases, the span routines. Curve and plane: sign changes of the sampled distance.
// Every failure status.

#include "ref_circle.hpp"
#include "ref_query.hpp"
#include "support.hpp"

namespace {

using kwtest::dist;
using kwtest::P3;
using kwtest::RefCurve;
using kwtest::Sampled;

class CurveCurve : public kwtest::GuardedTest {};

struct Result {
  std::vector<P3> pts;
  std::vector<double> u1, u2;
  std::vector<std::array<double, 10>> over;  // p0, p1, u1 pair, u2 pair
  BSrc rc = 0;
  BSboolean int_alloc = 0, over_alloc = 0;
};

// BScvcvint with the given capacities (allocated arrays copied out and freed).
Result intersect(const BScurve &a, const BScurve &b, int16_t flag = 0, int32_t cap = 0) {
  Result r;
  std::vector<double> ip(3 * cap + 3), i1(cap + 1), i2(cap + 1), op(6 * cap + 6), o1(2 * cap + 2),
      o2(2 * cap + 2);
  int32_t ni = -1, no = -1;
  double *p[6] = {};
  BScvcvint(&a, &b, flag, cap, cap, ip.data(), i1.data(), i2.data(), op.data(), o1.data(),
            o2.data(), &ni, &no, &r.int_alloc, &r.over_alloc, &p[0], &p[1], &p[2], &p[3], &p[4],
            &p[5], &r.rc);
  const double *src[6] = {ip.data(), i1.data(), i2.data(), op.data(), o1.data(), o2.data()};
  for (int q = 0; q < 6; ++q)
    if (p[q]) src[q] = p[q];
  for (int i = 0; i < ni; ++i) {
    r.pts.push_back({src[0][3 * i], src[0][3 * i + 1], src[0][3 * i + 2]});
    r.u1.push_back(src[1][i]);
    r.u2.push_back(src[2][i]);
  }
  for (int i = 0; i < no; ++i) {
    std::array<double, 10> o;
    for (int c = 0; c < 6; ++c) o[c] = src[3][6 * i + c];
    o[6] = src[4][2 * i], o[7] = src[4][2 * i + 1], o[8] = src[5][2 * i], o[9] = src[5][2 * i + 1];
    r.over.push_back(o);
  }
  for (double *q : p)
    if (q) BSdbgfree(q);
  return r;
}

// Checks a result against brute force (the wanted crossings and, for planar
// curves, every crossing of the sampled polylines) and its order along curve 1.
void check(const Sampled &a, const Sampled &b, const Result &r,
           std::vector<kwtest::Crossing> wanted, bool planar) {
  std::vector<std::array<double, 4>> over;
  for (const auto &o : r.over) over.push_back({o[6], o[7], o[8], o[9]});
  kwtest::check_crossings(a, b, r.pts, r.u1, r.u2, over, std::move(wanted), planar);
  for (size_t i = 1; i < r.u1.size(); ++i) EXPECT_LE(r.u1[i - 1], r.u1[i]);
}

// Both argument orders give the same set (parameters exchanged).
void check_symmetric(const BScurve &a, const BScurve &b, const Result &r) {
  const Result s = intersect(b, a);
  ASSERT_EQ(s.rc, 0);
  EXPECT_TRUE(s.pts.size() == r.pts.size() && s.over.size() == r.over.size());
  for (size_t i = 0; i < s.pts.size(); ++i) {
    bool found = false;
    for (size_t j = 0; j < r.pts.size() && !found; ++j)
      found = dist(s.pts[i], r.pts[j]) < 1e-5 && std::fabs(s.u2[i] - r.u1[j]) < 1e-4;
    EXPECT_TRUE(found) << "swapped result " << i << " not in the direct set";
  }
}

// One random pair: a crossing planted at an interior parameter, a knot or an end
// of curve 1; planar pairs are checked against all polyline crossings.
void random_pair(std::mt19937_64 &rng, int round) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const bool planar = round % 3 != 2, rational = round % 4 == 1;
  const int k = 2 + round % 4;
  RefCurve a = kwtest::random_curve(rng, k, k + round % 5, rational, true);
  RefCurve b = kwtest::random_curve(rng, 4, 4 + round % 3, round % 5 == 3, true);
  if (planar) a.flatten(), b.flatten();
  const int where = round % 4;  // interior, knot, end of a, shared end
  double u = 0.1 + 0.8 * unit(rng);
  if (where == 1) u = a.knots[a.k - 1 + (a.n() - a.k) / 2 + (a.n() > a.k ? 1 : 0)];
  if (where >= 2) u = unit(rng) < 0.5 ? a.lo() : a.hi();
  const double v = where == 3 ? (unit(rng) < 0.5 ? b.lo() : b.hi()) : 0.1 + 0.8 * unit(rng);
  const P3 target = kwtest::ref_eval(a, u), q = kwtest::ref_eval(b, v);
  kwtest::translate(b, {target[0] - q[0], target[1] - q[1], target[2] - q[2]});
  const Sampled sa(std::move(a)), sb(std::move(b));
  const Result r = intersect(sa.cv, sb.cv);
  ASSERT_EQ(r.rc, 0) << "round " << round;
  SCOPED_TRACE(testing::Message() << "round " << round);
  check(sa, sb, r, {{target, u, v}}, planar);
  if (round % 8 == 0) check_symmetric(sa.cv, sb.cv, r);
}

// The long run of random pairs against brute force is tests/soak.
TEST_F(CurveCurve, RandomPairsFindEveryCrossingOnce) {
  std::mt19937_64 rng(21);
  for (int round = 0; round < 200 && !HasFatalFailure(); ++round) random_pair(rng, round);
}

RefCurve segment(P3 p, P3 q) {
  return kwtest::make_curve(2, {0, 0, 1, 1}, {p[0], p[1], p[2], q[0], q[1], q[2]});
}

// Known configurations: crossing and collinear segments (an overlap along curve 1,
// legs running on across a vertex merged into one), y = x^2 - c against the x axis
// (a touch, 100 dist_tol apart, two crossings), a circle and a line through its
// seam (the seam once, at the start), a point curve on a segment (its middle
// parameter), a zigzag of 40 legs along its axis (more spans than the span cache
// holds) and a curve through one point twice (kept apart by flag 0 only).
TEST_F(CurveCurve, KnownConfigurations) {
  const auto parabola = [](double c) {
    return kwtest::make_curve(3, {0, 0, 0, 1, 1, 1}, {-1, 1 - c, 0, 0, -1 - c, 0, 1, 1 - c, 0});
  };
  RefCurve zig = kwtest::make_curve(2, {0}, {});
  for (int i = 0; i <= 40; ++i) {
    zig.poles.insert(zig.poles.end(), {double(i), i % 2 ? 1.0 : -1.0, 0.0});
    zig.knots.push_back(i);
  }
  zig.knots.push_back(40);
  std::vector<double> zig_u;
  for (int i = 0; i < 40; ++i) zig_u.push_back(i + 0.5);
  const double o[3] = {0, 0, 0}, tol = BSparameters.dist_tol;
  const RefCurve diag = segment({0, 0, 0}, {2, 2, 0}), x_axis = segment({-2, 0, 0}, {2, 0, 0}),
                 seam_line = segment({0.5, -1, 0}, {1.5, 1, 0}),
                 vertical = segment({1, -1, 0}, {1, 3, 0}), circle = kwtest::ref_circle(o, 1.0);
  const RefCurve legs = kwtest::make_curve(2, {0, 0, 1, 2, 2}, {0, 0, 0, 1, 0, 0, 2, 0, 0}),
                 hook = kwtest::make_curve(2, {0, 0, 1, 2, 3, 3},
                                           {0.5, 1, 0, 0.5, 0, 0, 1.5, 0, 0, 1.5, -1, 0}),
                 dot = kwtest::make_curve(2, {0, 0, 2, 2}, {1, 1, 0, 1, 1 + 1e-8, 0}),
                 axis = kwtest::make_curve(4, {0, 0, 0, 0, 1, 1, 1, 1},
                                           {-1, 0, 0, 13, 0, 0, 27, 0, 0, 41, 0, 0}),
                 w = kwtest::make_curve(2, {0, 0, 1, 2, 3, 3},
                                        {0, 0, 0, 2, 2, 0, 2, 0, 0, 0, 2, 0});
  const struct {
    RefCurve a, b;
    int16_t flag;
    int32_t cap;
    size_t npts;
    std::vector<double> u1, u2, over;  // over: parameters on curve 1, then on curve 2
    BSboolean alloc;                   // int_alloc, or over_alloc when overlapping
  } cases[] = {
      {diag, segment({0, 2, 0}, {2, 0, 0}), 0, 4, 1, {0.5}, {0.5}, {}, 0},
      {x_axis, segment({3, 0, 0}, {1, 0, 0}), 0, 0, 0, {}, {}, {0.75, 1, 1, 0.5}, 1},
      {legs, hook, 0, 0, 0, {}, {}, {0.5, 1.5, 1, 2}, 1},
      {parabola(0), x_axis, 0, 0, 1, {}, {}, {}, 1},
      {parabola(-100 * tol), x_axis, 0, 0, 0, {}, {}, {}, 0},
      {parabola(1e-4), x_axis, 0, 0, 2, {}, {}, {}, 1},
      {circle, seam_line, 0, 0, 2, {0.0}, {}, {}, 1},
      {circle, seam_line, 1, 0, 2, {0.0}, {}, {}, 1},
      {dot, diag, 0, 0, 1, {1.0}, {0.5}, {}, 1},
      {zig, axis, 0, 0, 40, zig_u, {}, {}, 1},
      {w, vertical, 0, 0, 2, {0.5, 2.5}, {}, {}, 1},
      {w, vertical, 1, 0, 1, {}, {}, {}, 1},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &e = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i);
    const Sampled a(e.a), b(e.b);
    const Result r = intersect(a.cv, b.cv, e.flag, e.cap);
    ASSERT_EQ(r.rc, 0);
    check(a, b, r, {}, true);
    ASSERT_EQ(r.pts.size(), e.npts);
    ASSERT_EQ(r.over.size(), e.over.size() / 4);
    EXPECT_EQ(e.over.empty() ? r.int_alloc : r.over_alloc, e.alloc);
    for (size_t j = 0; j < e.u1.size(); ++j) EXPECT_NEAR(r.u1[j], e.u1[j], 1e-12);
    for (size_t j = 0; j < e.u2.size(); ++j) EXPECT_NEAR(r.u2[j], e.u2[j], 1e-8);
    for (size_t j = 0; j < e.over.size(); ++j) EXPECT_NEAR(r.over[0][6 + j], e.over[j], 1e-9);
  }
  const Sampled point(dot), seg(diag);  // the point curve alone
  int32_t n = 0;
  double p[3], u = 0, v = 0;
  BSrc rc = 0;
  BSptcv_int(&point.cv, &seg.cv, 2, &n, p, &u, &v, &rc);
  EXPECT_TRUE(rc == 0 && n == 1);
}

// Overlaps of a curve with a sub-curve that does not end at knots, also reversed.
TEST_F(CurveCurve, SubCurveOverlaps) {
  std::mt19937_64 rng(5);
  for (int round = 0; round < 12; ++round) {
    RefCurve a = kwtest::random_curve(rng, 3 + round % 3, 7, round % 2 == 1, true);
    const double ua = 0.13 + 0.02 * round, ub = 0.71 + 0.01 * round;
    BScurve ca = a.view();
    RefCurve part;
    part.k = a.k;
    part.poles.resize(3 * (a.n() + 2 * a.k)), part.knots.resize(a.n() + 3 * a.k);
    if (a.rational()) part.weights.resize(a.n() + 2 * a.k);
    BScurve cp = part.view();
    BSrc rc = 0;
    ASSERT_TRUE(BSactivsplt(&rc, &ca, &ua, &ub, &cp, nullptr));
    if (round % 2 == 0) {
      ASSERT_TRUE(BSrev_cv(&rc, &cp));
    }
    const Result r = intersect(ca, cp);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.over.size(), 1u) << "round " << round;
    EXPECT_TRUE(r.pts.empty()) << "round " << round;
    EXPECT_NEAR(r.over[0][6], ua, 1e-6);
    EXPECT_NEAR(r.over[0][7], ub, 1e-6);
    const bool rev = round % 2 == 0;
    EXPECT_NEAR(r.over[0][8], rev ? cp.knots[cp.num_poles] : cp.knots[cp.order - 1], 1e-6);
    const Result s = intersect(cp, ca);
    ASSERT_EQ(s.over.size(), 1u);
    EXPECT_LT(s.over[0][6], s.over[0][7]);
  }
}

TEST_F(CurveCurve, BadInputStatuses) {
  RefCurve s = segment({0, 0, 0}, {1, 1, 0});
  RefCurve big = kwtest::make_curve(17, std::vector<double>(34, 0.0), std::vector<double>(51, 0.0));
  for (int i = 17; i < 34; ++i) big.knots[i] = 1.0;
  RefCurve nan = segment({0, 0, 0}, {NAN, 1, 0});
  BScurve a = s.view(), g = big.view(), q = nan.view();
  int32_t ni = 7, no = 7;
  BSboolean f1 = 0, f2 = 0;
  double *p[6];
  struct Case {
    const BScurve *c1;
    int32_t cap;
    int32_t *count;
    BSrc want;
  } cases[] = {{nullptr, 0, &ni, BSNULLPTR}, {&a, 0, nullptr, BSNULLPTR}, {&a, 1, &ni, BSNULLPTR},
               {&g, 0, &ni, BSINARG},        {&q, 0, &ni, BSINARG},       {&a, -1, &ni, BSINARG}};
  for (const Case &c : cases) {
    BSrc rc = 0;
    BScvcvint(c.c1, &a, 0, c.cap, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, c.count,
              &no, &f1, &f2, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &rc);
    EXPECT_EQ(rc, c.want);
  }
  BSrc rc = 0;
  RefCurve cubic = kwtest::cubic_bezier();
  BScurve cb = cubic.view();
  BSlnln_int(&a, &cb, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ni, &no, &f1,
             &f2, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &rc);
  EXPECT_EQ(rc, BSINARG);
  double m[4], g1, g2, u1 = NAN, u2 = 0, mid[3];
  BScvcvjmat(&a, &cb, NAN, 0, m, &g1, &g2, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSboolean conv = 0;
  BScvcviter(&a, &cb, 0, 0, 1e-12, 1e-12, &u1, &u2, mid, &conv, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSbzbz_int(&a, nullptr, &ni, mid, m, m, &conv, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

// The Jacobian against central differences of half the squared distance.
TEST_F(CurveCurve, JacobianMatchesDifferences) {
  RefCurve c1 = kwtest::cubic_bezier();
  RefCurve c2 = kwtest::make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 3, 1, 2, -1, 0, 4, 2, 2});
  BScurve a = c1.view(), b = c2.view();
  auto f = [&](double x, double y) {
    const double d = dist(kwtest::ref_eval(a, x), kwtest::ref_eval(b, y));
    return 0.5 * d * d;
  };
  const double u = 0.3, v = 0.6, h = 1e-4;
  double m[4], g1, g2;
  BSrc rc = 0;
  BScvcvjmat(&a, &b, u, v, m, &g1, &g2, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(g1, (f(u + h, v) - f(u - h, v)) / (2 * h), 1e-6);
  EXPECT_NEAR(g2, (f(u, v + h) - f(u, v - h)) / (2 * h), 1e-6);
  EXPECT_NEAR(m[0], (f(u + h, v) - 2 * f(u, v) + f(u - h, v)) / (h * h), 1e-4);
  EXPECT_NEAR(m[1],
              (f(u + h, v + h) - f(u + h, v - h) - f(u - h, v + h) + f(u - h, v - h)) / (4 * h * h),
              1e-4);
  // Newton reaches a crossing of the cubic with a segment through C1(0.4).
  const P3 t = kwtest::ref_eval(a, 0.4);
  RefCurve s = segment({t[0] - 1, t[1] + 2, t[2]}, {t[0] + 1, t[1] - 2, t[2]});
  BScurve cs = s.view();
  double x = 0.45, y = 0.4, mid[3];
  BSboolean conv = 0;
  BScvcviter(&a, &cs, 0, 0, 1e-12, 1e-12, &x, &y, mid, &conv, &rc);
  EXPECT_TRUE(conv && std::fabs(x - 0.4) < 1e-9 && std::fabs(y - 0.5) < 1e-9);
}

TEST_F(CurveCurve, CombineDropsInteriorNearEnds) {
  const double ends[6] = {0, 0, 0, 1, 0, 0}, inner[6] = {1e-8, 0, 0, 0.5, 0, 0};
  const double e1[2] = {0, 1}, e2[2] = {0.2, 0.9}, i1[2] = {0.001, 0.5}, i2[2] = {0.2, 0.6};
  double pts[12], p1[4], p2[4];
  int32_t n = 0;
  BSrc rc = 0;
  BScvcv_comb(2, 2, 0, ends, inner, e1, e2, i1, i2, &n, pts, p1, p2, &rc);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(std::vector<double>(p1, p1 + 3), (std::vector<double>{0, 0.5, 1}));
  double s[3], e[3];
  const double a0[3] = {0, 0, 0}, a1[3] = {4, 0, 0}, b0[3] = {5, 0, 0}, b1[3] = {3, 0, 0};
  EXPECT_TRUE(BSoverlap(&rc, a0, a1, b0, b1, s, e) && s[0] == 3.0 && e[0] == 4.0);
}

TEST_F(CurveCurve, SpanRoutines) {
  RefCurve c = kwtest::cubic_bezier(), d = kwtest::cubic_bezier();
  d.poles[4] += 0.5;  // same ends, different middle
  BScurve a = c.view(), b = d.view();
  double pts[3 * 256], p1[256], p2[256];
  int32_t n = 0;
  BSboolean ov = 0;
  BSrc rc = 0;
  BSbzbz_int(&a, &a, &n, pts, p1, p2, &ov, &rc);
  EXPECT_TRUE(rc == 0 && n == 2 && ov);
  BSxspnspn(&a, &b, 3, 3, &n, pts, p1, p2, &ov, &rc);
  EXPECT_TRUE(!ov && n == 2);  // the shared ends
  const double ends[2] = {0, 1};
  BSbzoverlap(&a, &a, ends, ends, &ov, &rc);
  EXPECT_TRUE(ov);
  BSbzoverlap(&a, &b, ends, ends, &ov, &rc);
  EXPECT_FALSE(ov);
  BSxspnspn(&a, &b, 4, 3, &n, pts, p1, p2, &ov, &rc);
  EXPECT_EQ(rc, BSINARG);
}

// The sort step: duplicates merged, points inside an overlap dropped, overlaps met
// end to end joined, parameters in the caller's order when swapped.
TEST_F(CurveCurve, SortMergesAndSwaps) {
  RefCurve l1 = segment({0, 0, 0}, {4, 0, 0}), l2 = segment({0, 0, 0}, {4, 0, 0});
  BScurve a = l1.view(), b = l2.view();
  const double pts[9] = {0.5, 0, 0, 0.5, 0, 0, 3.5, 0, 0}, u1[3] = {0.125, 0.125, 0.875},
               u2[3] = {0.125, 0.125, 0.875};
  const double ops[12] = {1, 0, 0, 2, 0, 0, 3, 0, 0, 2, 0, 0}, o1[4] = {0.25, 0.5, 0.75, 0.5},
               o2[4] = {0.25, 0.5, 0.75, 0.5};
  double ip[9], i1[3], i2[3], op[12], q1[4], q2[4], *p[6];
  int32_t ni = 0, no = 0;
  BSboolean f1 = 0, f2 = 0;
  BSrc rc = 0;
  BScvcv_sort(&a, &b, 0, 1, 3, pts, u1, u2, 2, ops, o1, o2, 3, 2, ip, i1, i2, op, q1, q2, &ni, &no,
              &f1, &f2, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &rc);
  ASSERT_TRUE(rc == 0 && ni == 2 && no == 1);
  EXPECT_TRUE(q1[0] == 0.25 && q1[1] == 0.75 && op[3] == 3.0);
  int32_t cnt = 0;
  double *arr[6] = {};
  EXPECT_TRUE(
      BScvcv_int(&rc, &a, &b, &cnt, &arr[0], &arr[1], &arr[2], &ni, &arr[3], &arr[4], &arr[5]));
  EXPECT_TRUE(cnt == 0 && ni == 1);
  for (double *q : arr)
    if (q) BSdbgfree(q);
  RefCurve cubic = kwtest::cubic_bezier();
  BScurve cb = cubic.view();
  BSlsls_int(&a, &cb, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ni, &no, &f1,
             &f2, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &rc);
  EXPECT_EQ(rc, BSINARG);
}

// ---- Curve and plane: against the sign changes of the densely sampled signed distance
// (reference evaluator): no miss, no duplicate; telling configurations (touches,
// crossings at knots and ends, segments in the plane, rational circles and closed
// curves on any range); projection onto a plane; failure statuses.

class CurvePlane : public kwtest::GuardedTest {};

struct Hits {
  BSrc rc = -99;
  std::vector<double> params, points, starts, ends;
};

Hits intersect(RefCurve &c, const double *q, const double *nrm) {
  BScurve cv = c.view();
  const int32_t cap = c.k * (c.n() - c.k + 1);
  Hits h;
  h.params.resize(cap);
  h.points.resize(3 * cap);
  h.starts.resize(cap);
  h.ends.resize(cap);
  int32_t np = -1, ni = -1;
  const BSboolean ok = BSpl_cv_int(&h.rc, &cv, q, nrm, &np, h.points.data(), h.params.data(), &ni,
                                   h.starts.data(), h.ends.data());
  EXPECT_EQ(ok != 0, h.rc == 0);
  h.params.resize(std::max(np, 0));
  h.points.resize(3 * std::max(np, 0));
  h.starts.resize(std::max(ni, 0));
  h.ends.resize(std::max(ni, 0));
  return h;
}

double signed_distance(const RefCurve &c, const double *q, const double *nrm, double u) {
  const auto p = kwtest::ref_eval(c, u);
  const double len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
  return ((p[0] - q[0]) * nrm[0] + (p[1] - q[1]) * nrm[1] + (p[2] - q[2]) * nrm[2]) / len;
}

// Against the sign changes of the densely sampled distance: reported parameters
// distinct, on the plane, and their points the curve's.
void check_against_sampling(const RefCurve &c, const double *q, const double *nrm, const Hits &h) {
  ASSERT_EQ(h.rc, 0);
  const double len = std::hypot(nrm[0], nrm[1], nrm[2]);
  kwtest::check_plane_hits(
      kwtest::Sampled(c, 0.005), {q[0], q[1], q[2]}, {nrm[0] / len, nrm[1] / len, nrm[2] / len},
      static_cast<int32_t>(h.params.size()), h.params.data(), h.points.data(),
      static_cast<int32_t>(h.starts.size()), h.starts.data(), h.ends.data(), 1e-7, 1e-7);
}

TEST_F(CurvePlane, RandomCurvesAgainstSampledDistance) {
  std::mt19937_64 rng(18);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int trial = 0; trial < 120; ++trial) {
    kwtest::CurveShape shape{2 + trial % 5, 0, trial % 3 == 0, true, trial % 4 != 3};
    shape.n = shape.k + 1 + trial % 12;
    RefCurve c = kwtest::random_curve(rng, shape);
    const double q[3] = {0.2 * u(rng), 0.2 * u(rng), 0.2 * u(rng)};
    const double nrm[3] = {u(rng), u(rng), 3.0 * u(rng)};
    check_against_sampling(c, q, nrm, intersect(c, q, nrm));
  }
}

// The planar curves below lie in z = 0; planes are x = c or y = c.
struct PlaneCase {
  const char *what;
  RefCurve curve;
  std::vector<double> want_params;
  std::vector<std::pair<double, double>> want_intervals = {};
  double q[3] = {0, 0, 0}, nrm[3] = {0, 1, 0};          // y = 0 unless given
  std::vector<std::pair<double, double>> want_xy = {};  // instead of the parameters' points
};

RefCurve planar(int k, std::vector<double> knots, std::vector<std::pair<double, double>> xy,
                std::vector<double> w = {}) {
  std::vector<double> poles;
  for (size_t i = 0; i < xy.size(); ++i) {
    const double wi = w.empty() ? 1.0 : w[i];
    poles.insert(poles.end(), {xy[i].first * wi, xy[i].second * wi, 0.0});
  }
  return kwtest::make_curve(k, std::move(knots), std::move(poles), std::move(w));
}

// The full unit circle about the origin on [lo, hi], from (1, 0).
RefCurve circle(double lo, double hi) {
  const double o[3] = {0, 0, 0};
  return kwtest::ref_circle(o, 1, lo, hi);
}

TEST_F(CurvePlane, TellingConfigurationsReportEachPointOnce) {
  // Greville abscissae of a cubic on knots with 0.2 and 0.9: x = t, y = t - 0.9.
  const std::vector<double> kt = {0, 0, 0, 0, 0.2, 0.9, 1, 1, 1, 1};
  std::vector<std::pair<double, double>> line;
  for (int i = 0; i < 6; ++i) {
    const double g = (kt[i + 1] + kt[i + 2] + kt[i + 3]) / 3.0;
    line.push_back({g, g - 0.9});
  }
  std::vector<PlaneCase> cases = {
      {"tangential touch", planar(3, {0, 0, 0, 1, 1, 1}, {{-1, 1}, {0, -1}, {1, 1}}), {0.5}},
      {"polyline corner at knot 0.9",
       planar(2, {0, 0, 0.2, 0.9, 1, 1}, {{0, -1}, {1, -0.5}, {2, 0}, {3, 1}}),
       {0.9}},
      {"polyline touching at knot 0.2",
       planar(2, {0, 0, 0.2, 0.9, 1, 1}, {{0, 1}, {1, 0}, {2, 1}, {3, 1}}),
       {0.2}},
      {"cubic crossing at knot 0.9", planar(4, kt, line), {0.9}},
      {"both ends on the plane", planar(3, {2, 2, 2, 5, 5, 5}, {{0, 0}, {1, 1}, {2, 0}}), {2, 5}},
      {"segment in the plane",
       planar(2, {0, 0, 1, 2, 3, 3}, {{0, 1}, {1, 0}, {2, 0}, {3, -1}}),
       {},
       {{1.0, 2.0}}},
      {"circle cut by x = 0.5",
       circle(0, 1),
       {0.2, 0.8},
       {},
       {0.5, 0, 0},
       {1, 0, 0},
       {{0.5, std::sqrt(0.75)}, {0.5, -std::sqrt(0.75)}}},
      {"circle cut at its joint (y = 0)", circle(0, 1), {0.0, 0.5}},
      {"circle touched at its joint (x = 1)", circle(3, 7), {3.0}, {}, {1, 0, 0}, {1, 0, 0}},
      {"circle on [3, 7] cut at its joint", circle(3, 7), {3.0, 5.0}, {}, {0, 0, 0}, {0, 3, 0}},
      {"circle missed", circle(0, 1), {}, {}, {0, 1.5, 0}, {0.1, 1, 0}},
  };
  for (PlaneCase &pc : cases) {
    const Hits h = intersect(pc.curve, pc.q, pc.nrm);
    ASSERT_EQ(h.rc, 0) << pc.what;
    ASSERT_EQ(h.params.size(), pc.want_params.size()) << pc.what;
    for (size_t i = 0; i < h.params.size(); ++i) {
      auto p = kwtest::ref_eval(pc.curve, pc.want_params[i]);
      if (!pc.want_xy.empty()) p = {pc.want_xy[i].first, pc.want_xy[i].second, 0.0};
      EXPECT_NEAR(h.points[3 * i], p[0], 1e-7) << pc.what;
      EXPECT_NEAR(h.points[3 * i + 1], p[1], 1e-7) << pc.what;
    }
    ASSERT_EQ(h.starts.size(), pc.want_intervals.size()) << pc.what;
    for (size_t i = 0; i < h.starts.size(); ++i) {
      EXPECT_EQ(h.starts[i], pc.want_intervals[i].first) << pc.what;
      EXPECT_EQ(h.ends[i], pc.want_intervals[i].second) << pc.what;
    }
    check_against_sampling(pc.curve, pc.q, pc.nrm, h);
  }
  // The circle against many planes: two points or none (touching ones aside).
  for (int i = 0; i < 200; ++i) {
    RefCurve c = circle(-1.0, 2.5);
    const double ang = 0.1 + i * 0.0314, off = -1.2 + 0.012 * i;
    const double q[3] = {off * std::cos(ang), off * std::sin(ang), 0},
                 nrm[3] = {std::cos(ang), std::sin(ang), 0.3};
    const Hits h = intersect(c, q, nrm);
    const double d = std::fabs(off);  // distance of the cut line from the centre
    if (std::fabs(d - 1.0) > 1e-6) {
      EXPECT_EQ(h.params.size(), d < 1.0 ? 2u : 0u) << "offset " << off;
    }
    check_against_sampling(c, q, nrm, h);
  }
}

// A plane holding a straight piece of a rational order-8 curve touches it to high
// order at the piece's ends: the root finder's roots there can lie well off the
// plane (3e-5 here); every point reported must be within basis_tol of it.
TEST_F(CurvePlane, HighOrderTouchesGiveOnlyPointsOnThePlane) {
  RefCurve c = kwtest::make_curve(
      8,
      {0, 0, 0, 0, 0, 0, 0, 0, 0.29723480382615303, 0.45144953123115067, 0.79548333189736931, 1, 1,
       1, 1, 1, 1, 1, 1},
      {0.066390485411257638,  0.68216071169131931,   -0.22099302879596919, -0.17385723952351606,
       0.030594119482791393,  -1.7676077404982182,   -0.12732325855104493, 0.73858061209647741,
       0.78449829491440004,   -0.065436934839278052, 0.92240646611631927,  0.95412935640873286,
       0.10832652792282979,   0.94063702734187171,   0.92505224237831363,  0.087772586126688271,
       0.15459349860240595,   0.132872948975784,     0.28707687635177748,  0.086931524995261758,
       0.0096241557703732761, 0.63885765521162929,   -0.21097607009168118, -0.38906775214813055,
       0.74176883851619058,   -0.50739987932396613,  -0.71810733274654059, 1.0860452898776127,
       -0.98827340404678043,  -1.3004485748309285,   0.56283317885014861,  0.65546541407788594,
       0.95482460581579354},
      {1.0294661075089531, 1.9488704828310923, 0.84733716763579903, 1.369780692260238,
       1.9796826736597861, 0.55831388566409512, 1.1054127240021878, 1.7638643845760882,
       1.5962899605347456, 1.9148362044416201, 1.5356093696419313});
  const double q[] = {0.27288232999442474, 0.053144738649941743, -0.020781483260659362};
  const double nrm[] = {-0.5417678609546851, -0.74034259576591754, 0.39797038298241255};
  const Hits h = intersect(c, q, nrm);
  ASSERT_EQ(h.rc, 0);
  for (double u : h.params) EXPECT_LE(std::fabs(signed_distance(c, q, nrm, u)), 1e-6) << u;
  ASSERT_EQ(h.starts.size(), 1u);
  EXPECT_TRUE(h.starts[0] == c.knots[9] && h.ends[0] == c.knots[10]);
}

// A plane through a cusp at a curve's end, its normal across the cusp's tangent: a
// near-triple root at the end that the series solver cannot separate; subdivision
// still finds it and the crossing.
TEST_F(CurvePlane, CuspAtTheStartIsARootAndTheCrossingStays) {
  RefCurve c = kwtest::make_curve(
      4, {0, 0, 0, 0, 0.52866312837662721, 0.52866312837662721, 1, 1, 1, 1},
      {-0.1092951857590484, -0.96429832913842961, -0.80187274901289096, -0.1092951857590484,
       -0.96429832913842961, -0.80187274901289096, -0.66869094250059979, 0.93860957259620204,
       -0.18842195168159592, -0.99128402841490282, -0.78929903160317538, -0.17809361252976685,
       0.64951463374721596, 0.9928868739230583, 0.73270399510022499, 0.83209632314669446,
       -0.99672436887836546, 0.61420802762355486});
  const std::vector<double> q(c.poles.begin(), c.poles.begin() + 3);
  const double n[3] = {-0.80518044007030876, -0.046090298917370334, -0.59123611465631176};
  const Hits h = intersect(c, q.data(), n);
  check_against_sampling(c, q.data(), n, h);
  ASSERT_TRUE(h.params.size() == 2u && h.starts.empty() && h.params[0] == 0.0);
  EXPECT_LE(std::fabs(signed_distance(c, q.data(), n, h.params[1])), BSparameters.basis_tol);
}

TEST_F(CurvePlane, SignedDistanceSplineOfArrayFormCurves) {
  // Rows of a rational quarter arc (weights 1, s, 1) in the plane z = 0, x = y.
  const double s = std::sqrt(0.5);
  const double rows[12] = {1, s, 0, 0, s, 1, 0, 0, 0, 1, s, 1};
  const double knots[6] = {0, 0, 0, 1, 1, 1}, q[3] = {0, 0, 0}, nrm[3] = {1, -1, 0};
  int32_t nr, ni;
  double roots[3], iv[2];
  BSrc rc;
  BSxbspcvpl(3, 3, 3, TRUE, rows, knots, q, nrm, 1e-12, &nr, roots, &ni, iv, &rc);
  ASSERT_TRUE(rc == 0 && nr == 1 && ni == 0);
  EXPECT_NEAR(roots[0], 0.5, 1e-12);
  // The same arc in 2D against the line y = 0: a root at the start only.
  const double rows2[9] = {1, s, 0, 0, s, 1, 1, s, 1}, q2[2] = {0, 0}, n2[2] = {0, 1};
  BSxbspcvpl(2, 3, 3, TRUE, rows2, knots, q2, n2, 1e-12, &nr, roots, &ni, iv, &rc);
  EXPECT_TRUE(nr == 1 && roots[0] == 0.0);
}

TEST_F(CurvePlane, ProjectionAlongADirectionLandsInThePlane) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int trial = 0; trial < 20; ++trial) {
    RefCurve c = kwtest::random_curve(rng, 3 + trial % 2, 7, trial % 2 == 0, true);
    BScurve in = c.view();
    std::vector<double> poles(3 * c.n()), knots(c.knots.size()), weights(c.n());
    BScurve out{};
    out.poles = poles.data();
    out.knots = knots.data();
    out.weights = weights.data();
    double q[3] = {u(rng), u(rng), u(rng)}, nrm[3] = {0.1 * u(rng), 0.1 * u(rng), 2.0};
    const double dir[3] = {u(rng), u(rng), 1.0};
    BSrc rc;
    ASSERT_TRUE(BSprj_cv_pl(&rc, &in, q, nrm, dir, &out));
    EXPECT_NEAR(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2], 1.0, 1e-15);
    EXPECT_TRUE(out.rational == in.rational && (out.weights == nullptr) == !in.rational);
    EXPECT_EQ(out.planar, TRUE);
    for (int32_t j = 0; j < c.n(); ++j) {
      const double w = in.rational ? in.weights[j] : 1.0;
      double moved[3], orig[3];
      for (int k = 0; k < 3; ++k)
        moved[k] = out.poles[3 * j + k] / w, orig[k] = in.poles[3 * j + k] / w;
      EXPECT_NEAR(
          (moved[0] - q[0]) * nrm[0] + (moved[1] - q[1]) * nrm[1] + (moved[2] - q[2]) * nrm[2], 0.0,
          1e-12);
      // moved - orig is parallel to the direction
      const double cx = (moved[1] - orig[1]) * dir[2] - (moved[2] - orig[2]) * dir[1];
      const double cy = (moved[2] - orig[2]) * dir[0] - (moved[0] - orig[0]) * dir[2];
      EXPECT_NEAR(cx, 0.0, 1e-12);
      EXPECT_NEAR(cy, 0.0, 1e-12);
    }
  }
}

TEST_F(CurvePlane, FailureStatuses) {
  RefCurve c = circle(0, 1);
  BScurve cv = c.view(), bad = cv, nan_cv = cv;
  bad.order = 1;
  std::vector<double> nan_poles = c.poles;
  nan_poles[4] = std::nan("");
  nan_cv.poles = nan_poles.data();
  const double q[3] = {0, 0, 0}, zero[3] = {0, 0, 0}, nrm[3] = {0, 1, 0};
  double nrm_io[3] = {0, 0, 2}, dir_flat[3] = {1, 0, 1e-12}, zn[3] = {0, 0, 0};
  double params[32], points[96], st[16], en[16], iv[32];
  int32_t np = 77, ni = 77;
  std::vector<double> out_poles(27, 5.0), out_knots(12), out_w(9);
  BScurve out{};
  out.poles = out_poles.data();
  out.knots = out_knots.data();
  out.weights = out_w.data();
  const std::vector<double> rows = c.rows();
  BSrc rc;
  // Each row: curve (or null), normal, points array, then the rows form's dim, rows
  // and tol, and the projection's normal, direction and output.
  const struct {
    BSrc want;
    const BScurve *curve;
    const double *n;
    double *pts;
    int dim;
    const double *r;
    double tol;
    double *pn;
    const double *dir;
    BScurve *out;
  } table[] = {
      {BSNULLPTR, nullptr, nrm, points, 3, nullptr, 0, nullptr, nullptr, nullptr},
      {BSNULLPTR, &cv, nrm, nullptr, 0, nullptr, 0, nrm_io, dir_flat, nullptr},
      {BSINARG, &bad, nrm, points, 4, rows.data(), 0, nullptr, nullptr, nullptr},
      {BSINARG, &nan_cv, nrm, points, 3, rows.data(), -1, nullptr, nullptr, nullptr},
      {BSDEGEN, &cv, zero, points, 3, rows.data(), 0, zn, nrm, &out},
      {13, nullptr, nullptr, nullptr, 0, nullptr, 0, nrm_io, dir_flat, &out},
  };
  for (const auto &t : table) {
    rc = 0;
    if (t.n != nullptr) {
      EXPECT_FALSE(BSpl_cv_int(&rc, t.curve, q, t.n, &np, t.pts, params, &ni, st, en));
      EXPECT_EQ(rc, t.want);
    }
    if (t.dim != 0) {
      BSxbspcvpl(t.dim, 3, 9, TRUE, t.r, c.knots.data(), q, t.n, t.tol, &np, params, &ni, iv, &rc);
      EXPECT_EQ(rc, t.want == BSDEGEN ? BSDEGEN : t.r == nullptr ? BSNULLPTR : BSINARG);
    }
    if (t.pn != nullptr) {
      EXPECT_FALSE(BSprj_cv_pl(&rc, &cv, q, t.pn, t.dir, t.out));
      EXPECT_EQ(rc, t.want);
    }
    EXPECT_TRUE(np == 77 && ni == 77);
  }
  EXPECT_EQ(out_poles[0], 5.0);  // the projection wrote nothing
}

}  // namespace
