// Knot removal: knots inserted by an independent Boehm insertion go again exactly,
// reduction stays within its tolerance (dense sampling against the reference
// evaluator), breaks and end knots stay, Bezier chains become splines, statuses.
#include "record_room.hpp"
#include "status_of.hpp"
#include "ref_curves.hpp"
#include "status_ok.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;

class KnotRemoval : public kwtest::GuardedTest {};

// Boehm insertion of u once into a curve of order k given by pole-major rows of w
// components (independent of the library).
void boehm(int k, std::vector<double> &t, std::vector<double> &p, int w, double u) {
  const int n = static_cast<int>(p.size()) / w;
  int L = k - 1;
  while (L + 1 < n && t[L + 1] <= u) ++L;
  std::vector<double> q((n + 1) * w);
  for (int i = 0; i <= n; ++i)
    for (int c = 0; c < w; ++c) {
      if (i <= L - k + 1) {
        q[i * w + c] = p[i * w + c];
      } else if (i > L) {
        q[i * w + c] = p[(i - 1) * w + c];
      } else {
        const double a = (u - t[i]) / (t[i + k - 1] - t[i]);
        q[i * w + c] = a * p[i * w + c] + (1 - a) * p[(i - 1) * w + c];
      }
    }
  t.insert(t.begin() + L + 1, u);
  p = q;
}

// Inserts u into a RefCurve (weighted poles and weights blend alike).
void boehm(RefCurve &c, double u) {
  std::vector<double> t = c.knots;
  if (c.rational()) boehm(c.k, t, c.weights, 1, u);
  boehm(c.k, c.knots, c.poles, 3, u);
}

void expect_same_curve(const BScurve &a, const RefCurve &b, double tol) {
  ASSERT_EQ(a.num_poles, b.n());
  ASSERT_EQ(a.num_knots, static_cast<int32_t>(b.knots.size()));
  for (int i = 0; i < a.num_knots; ++i) EXPECT_NEAR(a.knots[i], b.knots[i], tol);
  for (int i = 0; i < 3 * a.num_poles; ++i) EXPECT_NEAR(a.poles[i], b.poles[i], tol);
  for (int i = 0; b.rational() && i < a.num_poles; ++i)
    EXPECT_NEAR(a.weights[i], b.weights[i], tol);
}

TEST_F(KnotRemoval, InsertedKnotIsRemovedExactlyFromAnyCopy) {
  std::mt19937_64 rng(23);
  for (int trial = 0; trial < 200; ++trial) {
    const int k = 2 + trial % 7, n = k + 1 + static_cast<int>(rng() % 6);
    RefCurve orig = kwtest::random_curve(rng, kwtest::CurveShape{k, n, trial % 3 == 0, false});
    RefCurve c = orig;
    // Insert a fresh value, or a copy of an existing interior knot (multiplicity 2).
    double u = 0.05 + 0.9 * std::uniform_real_distribution<double>(0, 1)(rng);
    if (trial % 2 && k > 2 && n > k) u = orig.knots[k];
    boehm(c, u);
    int first = 0;
    while (c.knots[first] != u) ++first;
    const int r = first + static_cast<int>(rng() % 2) * (u == orig.knots[k] ? 1 : 0);
    BScurve in = c.view();
    kwtest::Room out(c.n(), k, -7.0);
    double err[3];
    KW_OK(BSrm_kt_app(&in, r, &out.cv, err, &rc)) << "trial " << trial << " k " << k;
    expect_same_curve(out.cv, orig, 1e-12);
    EXPECT_EQ(out.cv.rational, in.rational);
    for (double e : err) EXPECT_LT(e, 1e-12);
  }
}

TEST_F(KnotRemoval, ErrorBoundsTheChangeOfANonRemovableKnot) {
  std::mt19937_64 rng(5);
  for (int trial = 0; trial < 60; ++trial) {
    const int k = 3 + trial % 3;
    RefCurve c = kwtest::random_curve(rng, kwtest::CurveShape{k, k + 3, trial % 2 == 1, false});
    BScurve in = c.view();
    kwtest::Room out(c.n(), k, -7.0);
    double err[3];
    KW_OK(BSrm_kt_app(&in, k + 1, &out.cv, err, &rc));
    ASSERT_EQ(out.cv.num_poles, c.n() - 1);
    // Each coordinate of the curve moves by at most its error.
    for (int i = 0; i <= 400; ++i) {
      const double u = i / 400.0;
      const auto a = kwtest::ref_eval(in, u), b = kwtest::ref_eval(out.cv, u);
      for (int j = 0; j < 3; ++j) EXPECT_LE(std::fabs(a[j] - b[j]), err[j] * (1 + 1e-9) + 1e-14);
    }
    EXPECT_GT(err[0] + err[1] + err[2], 1e-6);
  }
}

TEST_F(KnotRemoval, BreaksAndEndKnotsStay) {
  // Cubic with a triple (C0) knot at 0.5 kept; a run of 4 (a break) and end knots too.
  RefCurve c = kwtest::make_curve(4, {0, 0, 0, 0, 0.5, 0.5, 0.5, 0.5, 1, 1, 1, 1},
                                  std::vector<double>(24, 0.0));
  for (int i = 0; i < 24; ++i) c.poles[i] = std::sin(i + 1.0);
  BScurve in = c.view();
  for (int r : {4, 6, 7, 2, 8, 11, -3}) {
    kwtest::Room out(c.n(), 4, -7.0);
    double err[3] = {9, 9, 9};
    KW_EXPECT_OK(BSrm_kt_app(&in, r, &out.cv, err, &rc));
    expect_same_curve(out.cv, c, 0.0);
    EXPECT_EQ(err[0] + err[1] + err[2], 0.0);
  }
  // The reduction keeps the break at any tolerance.
  kwtest::Room out(c.n(), 4, -7.0);
  KW_EXPECT_OK(BSrmktsnchg(&in, 10.0, &out.cv, &rc));
  EXPECT_EQ(kwtest::multiplicity(out.cv, 0.5), 4);
}

TEST_F(KnotRemoval, ReductionRemovesInsertedKnotsAndStaysWithinTolerance) {
  std::mt19937_64 rng(77);
  const double saved_knot_tol = BSparameters.knot_tol;
  for (int trial = 0; trial < 24; ++trial) {
    const int k = 2 + trial % 5;
    const bool rational = trial % 3 == 2;
    RefCurve orig =
        kwtest::random_curve(rng, kwtest::CurveShape{k, k + 4 + trial % 5, rational, false});
    RefCurve c = orig;
    for (int j = 0; j < 12; ++j) boehm(c, std::uniform_real_distribution<double>(0.01, 0.99)(rng));
    BScurve in = c.view();
    SCOPED_TRACE(testing::Message() << "trial " << trial << " k " << k);
    for (double tol : {1e-9, 1e-3, 0.05, 0.5}) {
      kwtest::Room out(c.n(), k, -7.0);
      KW_OK(BSrmktsnchg(&in, tol, &out.cv, &rc));
      EXPECT_LE(out.cv.num_poles, orig.n());
      EXPECT_TRUE(tol > 1e-9 || rational || out.cv.num_poles == orig.n());
      EXPECT_LE(kwtest::max_deviation(in, out.cv, 0.0, 1.0, 3001), tol);
      EXPECT_EQ(BSparameters.knot_tol, saved_knot_tol);
    }
  }
}

// Spline of degree d with simple knots -> Bezier pieces (Boehm in the test) ->
// BSrmvkts4/5 -> the same poles.
TEST_F(KnotRemoval, BezierChainsBecomeTheSplineAgain) {
  std::mt19937_64 rng(4);
  for (int trial = 0; trial < 40; ++trial) {
    const int d = 3 + trial % 2, k = d + 1, J = 1 + trial % 6, rows = 1 + trial % 4;
    std::vector<double> breaks(J + 1, 0.0);
    for (int j = 1; j <= J; ++j)
      breaks[j] = breaks[j - 1] + 0.2 + std::uniform_real_distribution<double>(0, 1)(rng);
    std::vector<double> t(k, breaks[0]);
    for (int j = 1; j < J; ++j) t.push_back(breaks[j]);
    t.insert(t.end(), k, breaks[J]);
    const int np = J + d;
    std::vector<double> p(np * rows);
    for (auto &v : p) v = std::uniform_real_distribution<double>(-1, 1)(rng);
    std::vector<double> bt = t, bp = p;
    for (int j = 1; j < J; ++j)
      for (int m = 1; m < d; ++m) boehm(k, bt, bp, rows, breaks[j]);
    std::vector<double> pieces(J * rows * k), out(rows * np, 0.0);
    for (int j = 0; j < J; ++j)
      for (int r = 0; r < rows; ++r)
        for (int i = 0; i <= d; ++i) pieces[(j * rows + r) * k + i] = bp[(j * d + i) * rows + r];
    if (d == 3)
      BSrmvkts4(J, rows, pieces.data(), breaks.data(), out.data());
    else
      KW_OK(BSrmvkts5(J, rows, pieces.data(), breaks.data(), out.data(), &rc));
    for (int r = 0; r < rows; ++r)
      for (int i = 0; i < np; ++i) EXPECT_NEAR(out[r * np + i], p[i * rows + r], 1e-12);
  }
}

TEST_F(KnotRemoval, ChoiceOfKnotsFollowsTheClasses) {
  // 11 candidates: class 1 (two knots) and class 2 (nine knots), q = 5.
  std::vector<double> knots(13);
  for (int i = 0; i < 13; ++i) knots[i] = i;
  const int32_t cls[11] = {2, 2, 1, 2, 2, 2, 1, 2, 2, 2, 2}, sizes[2] = {2, 9};
  double out[11];
  KW_OK(BSknot_rem2(knots.data(), 2, 13, cls, sizes, 2, 5, out, &rc));
  // class 1: knots 4, 8; class 2 (knots 2 3 5 6 7 9 10 11 12): 2nd, 5th, 8th.
  EXPECT_EQ(std::vector<double>(out, out + 5), (std::vector<double>{4, 8, 3, 7, 11}));
  KW_OK(BSknot_rem2(knots.data(), 2, 13, nullptr, nullptr, 0, 11, out, &rc));
  for (int i = 0; i < 11; ++i) EXPECT_EQ(out[i], i + 2);
}

TEST_F(KnotRemoval, MultiplicityReductionRestoresTheSmoothSpline) {
  std::mt19937_64 rng(8);
  for (int trial = 0; trial < 30; ++trial) {
    const int k = 3 + trial % 4, dim = 1 + trial % 3, n = k + 3;
    std::vector<double> t(k, 0.0);
    for (int j = 1; j <= n - k; ++j) t.push_back(j / double(n - k + 1));
    t.insert(t.end(), k, 1.0);
    std::vector<double> p(n * dim);
    for (auto &v : p) v = std::uniform_real_distribution<double>(-1, 1)(rng);
    std::vector<double> bt = t, bp = p;
    for (int j = k; j < n; ++j) boehm(k, bt, bp, dim, t[j]);
    boehm(k, bt, bp, dim, t[k]);  // up to three copies
    int32_t count = static_cast<int32_t>(bt.size());
    KW_OK(BSrmnknot_b(static_cast<int16_t>(k), dim, bp.data(), bt.data(), &count, &rc));
    ASSERT_EQ(count, n + k);
    for (int i = 0; i < n + k; ++i) EXPECT_NEAR(bt[i], t[i], 1e-12);
    for (int i = 0; i < n * dim; ++i) EXPECT_NEAR(bp[i], p[i], 1e-12);
  }
}

TEST_F(KnotRemoval, FailureStatuses) {
  RefCurve c = kwtest::cubic_bezier();
  BScurve in = c.view(), bad = in;
  bad.order = 1;
  RefCurve nan = c;
  nan.poles[4] = NAN;
  BScurve nv = nan.view();
  kwtest::Room out(8, 4, -7.0);
  BScurve nopoles = out.cv;
  nopoles.poles = nullptr;
  double err[3], pieces[8] = {0}, breaks[3] = {0, 1, 1}, poles[12], knots[13] = {0}, chosen[4];
  int32_t count = 8, cls[4] = {1, 1, 1, 1}, sizes[1] = {3};
  kwtest::expect_statuses({
      {"rm_kt_app null curve", STATUS_OF(BSrm_kt_app(nullptr, 4, &out.cv, err, &rc)), BSNULLPTR},
      {"null output poles", STATUS_OF(BSrm_kt_app(&in, 4, &nopoles, err, &rc)), BSNULLPTR},
      {"rm_kt_app null error", STATUS_OF(BSrm_kt_app(&in, 4, &out.cv, nullptr, &rc)), BSNULLPTR},
      {"rm_kt_app order 1", STATUS_OF(BSrm_kt_app(&bad, 4, &out.cv, err, &rc)), BSINARG},
      {"rm_kt_app NaN pole", STATUS_OF(BSrm_kt_app(&nv, 4, &out.cv, err, &rc)), BSINARG},
      {"rmktsnchg negative tol", STATUS_OF(BSrmktsnchg(&in, -1.0, &out.cv, &rc)), BSINARG},
      {"rmktsnchg NaN tol", STATUS_OF(BSrmktsnchg(&in, NAN, &out.cv, &rc)), BSINARG},
      {"rmktsnchg NaN pole", STATUS_OF(BSrmktsnchg(&nv, 1.0, &out.cv, &rc)), BSINARG},
      {"rmktsnchg null output", STATUS_OF(BSrmktsnchg(&in, 1.0, nullptr, &rc)), BSNULLPTR},
      {"rmvkts5 break mismatch", STATUS_OF(BSrmvkts5(2, 1, pieces, breaks, poles, &rc)), BSINARG},
      {"rmvkts5 no pieces", STATUS_OF(BSrmvkts5(0, 1, pieces, breaks, poles, &rc)), BSINARG},
      {"rmvkts5 null pieces", STATUS_OF(BSrmvkts5(1, 1, nullptr, breaks, poles, &rc)), BSNULLPTR},
      {"sizes", STATUS_OF(BSknot_rem2(knots, 4, 8, cls, sizes, 1, 2, chosen, &rc)), BSINARG},
      {"too many", STATUS_OF(BSknot_rem2(knots, 4, 8, cls, sizes, 1, 5, chosen, &rc)), BSINARG},
      {"null classes", STATUS_OF(BSknot_rem2(knots, 4, 8, nullptr, sizes, 1, 2, chosen, &rc)),
       BSNULLPTR},
      {"null poles", STATUS_OF(BSrmnknot_b(4, 3, nullptr, knots, &count, &rc)), BSNULLPTR},
      {"rmnknot_b dim 0", STATUS_OF(BSrmnknot_b(4, 0, poles, knots, &count, &rc)), BSINARG},
      {"rmnknot_b empty domain", STATUS_OF(BSrmnknot_b(4, 3, poles, knots, &count, &rc)), BSINARG},
  });
  EXPECT_TRUE(out.knots[0] == -7.0 && count == 8);  // outputs untouched
}

}  // namespace
