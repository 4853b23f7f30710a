// Curve-plane intersection against the sign changes of the densely sampled signed
// distance (reference evaluator): no miss, no duplicate; telling configurations
// (touches, crossings at knots and ends, segments in the plane, rational circles
// and closed curves on any range); projection onto a plane; failure statuses.

#include "ref_circle.hpp"
#include "ref_query.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;

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
