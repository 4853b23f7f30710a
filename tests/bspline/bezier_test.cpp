// Degree elevation and Bezier decomposition: shape preserved (against the
// reference evaluator), knot multiplicities, exact first poles, Bezier pieces
// evaluated on their spans, de Casteljau and halving identities, failure statuses.
#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "bspline/bezier.hpp"
#include "ref_curves.hpp"
#include "support.hpp"

namespace {

using kwtest::CurveShape;
using kwtest::RefCurve;

class Bezier : public kwtest::GuardedTest {};

// Evaluates Bezier rows (rows of d + 1 values; the last row the weights when
// rational) at t by the Bernstein sum, in homogeneous form.
std::vector<double> bernstein(int d, int rows, const double *c, double t, bool rational) {
  std::vector<double> b(d + 1);
  for (int i = 0; i <= d; ++i) {
    double binom = 1;
    for (int j = 1; j <= i; ++j) binom = binom * (d - i + j) / j;
    b[i] = binom * std::pow(t, i) * std::pow(1 - t, d - i);
  }
  std::vector<double> out(rows, 0.0);
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i <= d; ++i) out[r] += b[i] * c[r * (d + 1) + i];
  }
  if (rational) {
    for (int r = 0; r < rows - 1; ++r) out[r] /= out[rows - 1];
    out.pop_back();
  }
  return out;
}

double curve_scale(const RefCurve &cv) {
  double s = 1;
  for (int32_t i = 0; i < cv.n(); ++i) {
    const double w = cv.rational() ? cv.weights[i] : 1.0;
    for (int c = 0; c < 3; ++c) s = std::max(s, std::fabs(cv.poles[3 * i + c] / w));
  }
  return s;
}

// Distinct knots (exact comparison) with multiplicities.
std::vector<std::pair<double, int>> multiplicities(const double *knots, int count) {
  std::vector<std::pair<double, int>> out;
  for (int i = 0; i < count; ++i) {
    if (!out.empty() && out.back().first == knots[i]) {
      ++out.back().second;
    } else {
      out.push_back({knots[i], 1});
    }
  }
  return out;
}

// A record of the library built from a RefCurve (for operations that free or
// replace records).
BScurve *library_copy(RefCurve &cv) {
  BScurve *out = nullptr;
  BSrc rc;
  BSallocqelcv(static_cast<int16_t>(cv.k), cv.n(), cv.rational(), 0, &out, &rc);
  EXPECT_EQ(rc, 0);
  BScurve view = cv.view();
  EXPECT_TRUE(BScv_copy(&rc, &view, out));
  return out;
}

TEST_F(Bezier, RaisingALineInsertsItsMidpoint) {
  RefCurve line;
  line.k = 2;
  line.knots = {0, 0, 1, 1};
  line.poles = {1, 2, 3, 5, 6, 9};
  BScurve cv = line.view();
  BScurve *out = nullptr;
  BSrc rc;
  BSupthedeg(&cv, 2, FALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->order, 3);
  ASSERT_EQ(out->num_poles, 3);
  const double expect[] = {1, 2, 3, 3, 4, 6, 5, 6, 9};
  for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(out->poles[i], expect[i]);
  const double knots[] = {0, 0, 0, 1, 1, 1};
  ASSERT_EQ(out->num_knots, 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out->knots[i], knots[i]);
  EXPECT_EQ(out->weights, nullptr);
  BSfreeqelcv(out, &rc);
}

TEST_F(Bezier, RaisingACubicDoublesItsSimpleKnot) {
  RefCurve cub;
  cub.k = 4;
  cub.knots = {0, 0, 0, 0, 0.4, 1, 1, 1, 1};
  cub.poles = {0, 0, 0, 1, 2, 0, 2, -1, 1, 3, 0, 2, 4, 1, 0};
  BScurve cv = cub.view();
  BScurve *out = nullptr;
  BSrc rc;
  BSupthedeg(&cv, 4, FALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  auto mult = multiplicities(out->knots, out->num_knots);
  ASSERT_EQ(mult.size(), 3u);
  EXPECT_EQ(mult[0].second, 5);
  EXPECT_EQ(mult[1].second, 2);
  EXPECT_EQ(mult[1].first, 0.4);
  EXPECT_EQ(mult[2].second, 5);
  EXPECT_EQ(out->num_poles, 7);
  for (int i = 0; i <= 200; ++i) {
    const double u = i / 200.0;
    auto a = kwtest::ref_eval(cub, u), b = kwtest::ref_eval(*out, u);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-13);
  }
  BSfreeqelcv(out, &rc);
}

TEST_F(Bezier, ElevationKeepsShapeOnRandomCurves) {
  std::mt19937_64 rng(101);
  double worst = 0;
  for (int trial = 0; trial < 400; ++trial) {
    CurveShape shape;
    shape.k = 2 + trial % 10;  // orders 2 .. 11
    shape.n = shape.k + (trial / 10) % 7;
    shape.rational = trial % 2 == 1;
    shape.repeated_knots = trial % 3 != 0;
    shape.clamped = trial % 4 != 0;
    const int raise = 1 + trial % 5;
    RefCurve cv = kwtest::random_curve(rng, shape);
    const RefCurve original = cv;
    BScurve view = cv.view();
    BScurve *out = nullptr;
    BSrc rc;
    const int q = cv.k - 1 + raise;
    BSupthedeg(&view, static_cast<int16_t>(q), FALSE, &out, &rc);
    ASSERT_EQ(rc, 0) << trial;
    ASSERT_EQ(out->order, q + 1);
    // the input was clamped in place, shape unchanged: its first pole is the start
    // point, and the result's first pole is that pole bit for bit
    for (int c = 0; c < 3; ++c) EXPECT_EQ(out->poles[c], view.poles[c]) << trial;
    if (shape.rational) {
      EXPECT_EQ(out->weights[0], view.weights[0]);
    }
    if (shape.clamped) {
      for (int c = 0; c < 3; ++c) EXPECT_EQ(out->poles[c], original.poles[c]);
    }
    // multiplicity rule: every distinct knot of the clamped input gains `raise`
    auto before = multiplicities(view.knots, view.num_knots);
    auto after = multiplicities(out->knots, out->num_knots);
    ASSERT_EQ(before.size(), after.size()) << trial;
    for (size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(after[i].first, before[i].first);
      EXPECT_EQ(after[i].second, before[i].second + raise);
    }
    EXPECT_EQ(out->num_knots, out->num_poles + q + 1);
    const double scale = curve_scale(original);
    for (int i = 0; i <= 300; ++i) {
      const double u = original.lo() + (original.hi() - original.lo()) * i / 300.0;
      auto a = kwtest::ref_eval(original, u), b = kwtest::ref_eval(*out, u);
      for (int c = 0; c < 3; ++c) {
        worst = std::max(worst, std::fabs(a[c] - b[c]) / scale);
        EXPECT_NEAR(a[c], b[c], 1e-11 * scale) << trial << " u " << u;
      }
    }
    BSfreeqelcv(out, &rc);
  }
  RecordProperty("worst_relative_error", std::to_string(worst));
}

TEST_F(Bezier, UnclampedStartKeepsItsStartPoint) {
  // An unclamped start: the first pole is not on the curve. The result must start
  // where the curve starts, not at that pole.
  std::mt19937_64 rng(7);
  CurveShape shape;
  shape.k = 4;
  shape.n = 7;
  shape.clamped = false;
  shape.rational = true;
  RefCurve cv = kwtest::random_curve(rng, shape);
  const RefCurve original = cv;
  const auto start = kwtest::ref_eval(original, original.lo());
  BScurve view = cv.view();
  BScurve *out = nullptr;
  BSrc rc;
  BSupthedeg(&view, 5, FALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(out->poles[c] / out->weights[0], start[c], 1e-12);
    EXPECT_NE(out->poles[c], original.poles[c]);
  }
  auto b = kwtest::ref_eval(*out, original.lo());
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(b[c], start[c], 1e-12);
  BSfreeqelcv(out, &rc);
}

TEST_F(Bezier, ElevationReuseSameDegreeAndStatuses) {
  RefCurve cub;
  cub.k = 3;
  cub.knots = {0, 0, 0, 1, 1, 1};
  cub.poles = {0, 0, 0, 1, 1, 0, 2, 0, 0};
  BScurve cv = cub.view();
  // reuse: the caller's record with room for the result
  RefCurve room;
  room.k = 5;
  room.knots.assign(10, 0);
  room.poles.assign(15, 0);
  BScurve target = room.view();
  BScurve *tp = &target;
  BSrc rc;
  BSupthedeg(&cv, 4, TRUE, &tp, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(tp, &target);
  EXPECT_EQ(target.order, 5);
  EXPECT_EQ(target.num_poles, 5);
  for (int i = 0; i <= 50; ++i) {
    auto a = kwtest::ref_eval(cub, i / 50.0), b = kwtest::ref_eval(target, i / 50.0);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-14);
  }
  // same degree: nothing happens
  BScurve *untouched = reinterpret_cast<BScurve *>(0x1);
  BSupthedeg(&cv, 2, FALSE, &untouched, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(untouched, reinterpret_cast<BScurve *>(0x1));
  BSupthedeg(&cv, 1, FALSE, &untouched, &rc);
  EXPECT_EQ(rc, BSINARG);
  BScurve *null_target = nullptr;
  BSupthedeg(&cv, 3, TRUE, &null_target, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  BSupthedeg(nullptr, 3, FALSE, &null_target, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

TEST_F(Bezier, ElevationReplacesTheOutputRecordAndSurvivesAllocationFailures) {
  std::mt19937_64 rng(5);
  CurveShape shape;
  shape.k = 4;
  shape.n = 60;  // beyond the stack scratch
  shape.rational = true;
  RefCurve cv = kwtest::random_curve(rng, shape);
  BScurve *held = library_copy(cv);
  BSrc rc;
  // the output pointer may hold the input itself
  BScurve *out = held;
  BSupthedeg(held, 5, FALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NE(out, held);
  EXPECT_EQ(out->order, 6);
  BSfreeqelcv(out, &rc);
  BScurve *result = nullptr;
  kwtest::sweep_allocation_failures(
      [&] {
        BScurve view = cv.view();
        BScurve *before = result;
        BSrc r;
        BSupthedeg(&view, 6, FALSE, &result, &r);
        if (r != 0) {
          EXPECT_EQ(result, before);
        }
        return r;
      },
      {BSNOMEMORY, BSNOSTKMEMORY}, [&] {});
  ASSERT_NE(result, nullptr);
  BSfreeqelcv(result, &rc);
}

TEST_F(Bezier, NewKnotVectorReallocatesToTheExactSize) {
  double *knots = static_cast<double *>(BSdbgalloc(9 * sizeof(double)));
  const double init[] = {0, 0, 0, 0, 0.5, 1, 1, 1, 1};
  std::copy(init, init + 9, knots);
  int32_t last = -1;
  BSrc rc;
  BSnewktr(3, 4, FALSE, 5, &knots, &last, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(last, 15 - 5 - 2);
  const double expect[] = {0, 0, 0, 0, 0, 0, 0.5, 0.5, 0.5, 1, 1, 1, 1, 1, 1};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(knots[i], expect[i]);
  BSdbgfree(knots);
  // keep flag: the caller's array; knots within knot_tol are one
  double kept[40] = {0, 0, 0, 0.3, 0.3 + 1e-8, 1, 1, 1};
  BSnewktr(2, 4, TRUE, 3, nullptr, &last, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  double *kp = kept;
  BSnewktr(2, 4, TRUE, 3, &kp, &last, &rc);
  ASSERT_EQ(rc, 0);
  const double expect2[] = {0, 0, 0, 0, 0.3, 0.3, 0.3, 1, 1, 1, 1};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(kept[i], expect2[i]);
  EXPECT_EQ(last, 11 - 3 - 2);
  BSnewktr(3, 4, TRUE, 2, &kp, &last, &rc);
  EXPECT_EQ(rc, BSINARG);
  // reallocation failure leaves the array
  double *fk = static_cast<double *>(BSdbgalloc(9 * sizeof(double)));
  std::copy(init, init + 9, fk);
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc r;
        double *before = fk;
        BSnewktr(3, 4, FALSE, 4, &fk, &last, &r);
        if (r != 0) {
          EXPECT_EQ(fk, before);
        }
        return r;
      },
      {BSNOMEMORY, BSNOSTKMEMORY});
  BSdbgfree(fk);
}

TEST_F(Bezier, BstobezPiecesEvaluateAsTheSpline) {
  std::mt19937_64 rng(202);
  for (int trial = 0; trial < 300; ++trial) {
    CurveShape shape;
    shape.k = 2 + trial % 9;
    shape.n = shape.k + (trial / 9) % 8;
    shape.rational = trial % 2 == 0;
    shape.repeated_knots = trial % 3 == 0;
    shape.clamped = trial % 4 < 2;
    RefCurve cv = kwtest::random_curve(rng, shape);
    // one end clamped and the other not, on each side in turn
    if (trial % 4 == 2) std::fill(cv.knots.begin(), cv.knots.begin() + cv.k, cv.knots[cv.k - 1]);
    if (trial % 4 == 3) std::fill(cv.knots.end() - cv.k, cv.knots.end(), cv.knots[cv.n()]);
    const int p = cv.k - 1, rows = cv.rational() ? 4 : 3;
    std::vector<double> polerows = cv.rows();
    std::vector<double> coefs(rows * cv.k * cv.n()), breaks(cv.n() + 1);
    int32_t count = -1;
    BSrc rc;
    BSbstobez(p, cv.n(), rows, cv.knots.data(), polerows.data(), &count, coefs.data(),
              breaks.data(), &rc);
    ASSERT_EQ(rc, 0) << trial;
    int expected = 0;
    for (int32_t s = p; s < cv.n(); ++s) expected += cv.knots[s + 1] > cv.knots[s];
    ASSERT_EQ(count, expected);
    EXPECT_EQ(breaks[0], cv.lo());
    EXPECT_EQ(breaks[count], cv.hi());
    const double scale = curve_scale(cv);
    for (int j = 0; j < count; ++j) {
      ASSERT_LT(breaks[j], breaks[j + 1]);
      const double *seg = coefs.data() + j * rows * cv.k;
      for (int i = 0; i <= 20; ++i) {
        const double t = i / 20.0;
        auto a = kwtest::ref_eval(cv, breaks[j] + t * (breaks[j + 1] - breaks[j]));
        auto b = bernstein(p, rows, seg, t, cv.rational());
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-11 * scale) << trial;
      }
    }
  }
}

TEST_F(Bezier, CvtobzSegmentsEvaluateAsTheCurve) {
  std::mt19937_64 rng(909);
  for (int trial = 0; trial < 80; ++trial) {
    CurveShape shape;
    shape.k = 2 + trial % 7;
    shape.n = shape.k + trial % 6;
    shape.rational = trial % 2 == 0;
    shape.repeated_knots = true;
    shape.clamped = trial % 3 != 0;
    RefCurve cv = kwtest::random_curve(rng, shape);
    if (trial % 5 == 0 && cv.k >= 3 && cv.n() > cv.k + 1) {
      // a double knot (still below order k) gives a zero-length span inside
      cv.knots[cv.k + 1] = cv.knots[cv.k];
    }
    const int k = cv.k;
    const int32_t n = cv.n();
    std::vector<RefCurve> store(n);
    std::vector<BScurve> segs(n);
    for (int32_t j = 0; j < n; ++j) {
      store[j].k = k;
      store[j].knots.assign(2 * k, 0);
      store[j].poles.assign(3 * k, 0);
      if (cv.rational()) store[j].weights.assign(k, 0);
      segs[j] = store[j].view();
    }
    BScurve view = cv.view();
    int32_t count = -1;
    BSrc rc;
    ASSERT_TRUE(BScvtobz(&rc, &view, &count, segs.data())) << rc;
    int expected = 0;
    for (int32_t s = k - 1; s < n; ++s) expected += cv.knots[s + 1] > cv.knots[s];
    ASSERT_EQ(count, expected);
    const double scale = curve_scale(cv);
    int32_t s = k - 1;
    for (int32_t j = 0; j < count; ++j, ++s) {
      while (!(cv.knots[s + 1] > cv.knots[s])) ++s;
      const BScurve &g = segs[j];
      ASSERT_EQ(g.order, k);
      ASSERT_EQ(g.num_poles, k);
      EXPECT_EQ(g.knots[0], cv.knots[s]);
      EXPECT_EQ(g.knots[2 * k - 1], cv.knots[s + 1]);
      for (int i = 0; i <= 10; ++i) {
        const double u = cv.knots[s] + (cv.knots[s + 1] - cv.knots[s]) * i / 10.0;
        auto a = kwtest::ref_eval(cv, u), b = kwtest::ref_eval(g, u);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-11 * scale) << trial;
      }
    }
  }
}

TEST_F(Bezier, BstobezOfASplineThatIsAlreadyBezierCopiesIt) {
  const double knots[] = {2, 2, 2, 5, 5, 5};
  const double rows[] = {1, 2, 3, 4, 5, 6};
  double coefs[6], breaks[2];
  int32_t count;
  BSrc rc;
  kwtest::NoHeapScope scope;
  BSdbglev = 0;
  BSbstobez(2, 3, 2, knots, rows, &count, coefs, breaks, &rc);
  BSdbglev = 20;
  EXPECT_EQ(scope.heap_requests(), 0);
  ASSERT_EQ(count, 1);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(coefs[i], rows[i]);
  EXPECT_EQ(breaks[0], 2);
  EXPECT_EQ(breaks[1], 5);
  const double flat[] = {1, 1, 1, 1, 1, 1};
  BSbstobez(2, 3, 2, flat, rows, &count, coefs, breaks, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSbstobez(3, 3, 2, knots, rows, &count, coefs, breaks, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(Bezier, DecasteljauTriangleGivesPointAndBothPieces) {
  std::mt19937_64 rng(303);
  for (int trial = 0; trial < 60; ++trial) {
    CurveShape shape;
    shape.k = 2 + trial % 15;
    shape.n = shape.k;
    shape.rational = trial % 2 == 1;
    RefCurve cv = kwtest::random_curve(rng, shape);
    for (double &t : cv.knots) t = 1 + 2 * t;  // domain [1, 3]
    BScurve view = cv.view();
    double pts[16][16][3], wts[16][16];
    const int k = cv.k;
    for (double u : {1.0, 1.7, 3.0}) {
      BSrc rc;
      ASSERT_TRUE(BSdcastelj(&rc, &view, &u, pts, wts));
      auto a = kwtest::ref_eval(cv, u);
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(pts[k - 1][k - 1][c] / wts[k - 1][k - 1], a[c], 1e-12);
      }
      if (u == 1.0) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(pts[k - 1][k - 1][c], cv.poles[c]);
      }
      if (u == 3.0) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(pts[k - 1][k - 1][c], cv.poles[3 * (k - 1) + c]);
      }
      if (u != 1.7) continue;
      // left piece on [1, u]: the diagonal; right piece on [u, 3]: row k-1 reversed
      RefCurve left, right;
      left.k = right.k = k;
      left.knots.assign(k, 1.0);
      left.knots.insert(left.knots.end(), k, u);
      right.knots.assign(k, u);
      right.knots.insert(right.knots.end(), k, 3.0);
      for (int r = 0; r < k; ++r) {
        for (int c = 0; c < 3; ++c) {
          left.poles.push_back(pts[r][r][c]);
          right.poles.push_back(pts[k - 1][k - 1 - r][c]);
        }
        if (cv.rational()) {
          left.weights.push_back(wts[r][r]);
          right.weights.push_back(wts[k - 1][k - 1 - r]);
        }
      }
      for (int i = 0; i <= 10; ++i) {
        const double x = 1 + (u - 1) * i / 10.0, y = u + (3 - u) * i / 10.0;
        auto l = kwtest::ref_eval(left, x), c0 = kwtest::ref_eval(cv, x);
        auto r = kwtest::ref_eval(right, y), c1 = kwtest::ref_eval(cv, y);
        for (int c = 0; c < 3; ++c) {
          EXPECT_NEAR(l[c], c0[c], 1e-11);
          EXPECT_NEAR(r[c], c1[c], 1e-11);
        }
      }
    }
  }
}

TEST_F(Bezier, DecasteljauStatuses) {
  RefCurve two;
  two.k = 2;
  two.knots = {0, 0, 0.5, 1, 1};
  two.poles = {0, 0, 0, 1, 0, 0, 1, 1, 0};
  BScurve cv = two.view();
  double pts[16][16][3], wts[16][16];
  const double u = 0.5;
  BSrc rc;
  EXPECT_FALSE(BSdcastelj(&rc, &cv, &u, pts, wts));
  EXPECT_EQ(rc, BSINARG);
  RefCurve neg;
  neg.k = 3;
  neg.knots = {0, 0, 0, 1, 1, 1};
  neg.poles = {0, 0, 0, -1, 1, 0, 2, 0, 0};
  neg.weights = {1, -1, 1};  // the weight of level 1 at u = 0.5 is 0
  cv = neg.view();
  EXPECT_FALSE(BSdcastelj(&rc, &cv, &u, pts, wts));
  EXPECT_EQ(rc, BSFAIL);
  EXPECT_FALSE(BSdcastelj(&rc, nullptr, &u, pts, wts));
  EXPECT_EQ(rc, BSNULLPTR);
}

TEST_F(Bezier, HalvingAndTheRightHalfAndItsInverse) {
  std::mt19937_64 rng(404);
  std::uniform_real_distribution<double> un(-1, 1);
  for (int d = 0; d <= 15; ++d) {
    const int rows = 3;
    std::vector<double> c(rows * (d + 1)), l(c.size()), r(c.size());
    for (double &v : c) v = un(rng);
    BShlfbezcv(d, rows, c.data(), l.data(), r.data());
    for (int i = 0; i <= 10; ++i) {
      const double t = i / 10.0;
      auto a = bernstein(d, rows, c.data(), t / 2, false);
      auto b = bernstein(d, rows, l.data(), t, false);
      auto e = bernstein(d, rows, c.data(), 0.5 + t / 2, false);
      auto f = bernstein(d, rows, r.data(), t, false);
      for (int q = 0; q < rows; ++q) {
        EXPECT_NEAR(a[q], b[q], 1e-13);
        EXPECT_NEAR(e[q], f[q], 1e-13);
      }
    }
    // BScastdbez is the right half of one row; BScastibez undoes it
    std::vector<double> half(d + 1), back(d + 1);
    BScastdbez(d, c.data(), half.data());
    for (int i = 0; i <= d; ++i) EXPECT_NEAR(half[i], r[i], 1e-15);
    BScastibez(d, half.data(), back.data());
    for (int i = 0; i <= d; ++i) EXPECT_NEAR(back[i], c[i], 1e-9);
    // in place, and the general split at t
    std::vector<double> inplace(c.begin(), c.begin() + d + 1);
    BScastdbez(d, inplace.data(), inplace.data());
    BScastibez(d, inplace.data(), inplace.data());
    for (int i = 0; i <= d; ++i) EXPECT_NEAR(inplace[i], c[i], 1e-9);
    std::vector<double> sl(c.size()), sr(c.size());
    knotwork::split_bezier_rows(d, rows, c.data(), 0.3, sl.data(), sr.data());
    for (int i = 0; i <= 10; ++i) {
      const double t = i / 10.0;
      auto a = bernstein(d, rows, c.data(), 0.3 * t, false);
      auto b = bernstein(d, rows, sl.data(), t, false);
      auto e = bernstein(d, rows, c.data(), 0.3 + 0.7 * t, false);
      auto f = bernstein(d, rows, sr.data(), t, false);
      for (int q = 0; q < rows; ++q) {
        EXPECT_NEAR(a[q], b[q], 1e-13);
        EXPECT_NEAR(e[q], f[q], 1e-13);
      }
    }
  }
}

TEST_F(Bezier, HalvingASplineAtAKnot) {
  std::mt19937_64 rng(505);
  for (int trial = 0; trial < 100; ++trial) {
    CurveShape shape;
    shape.k = 2 + trial % 6;
    shape.n = shape.k + 2 + trial % 5;
    shape.rational = trial % 2 == 0;
    shape.repeated_knots = trial % 3 == 0;
    shape.clamped = trial % 5 != 0;
    RefCurve cv = kwtest::random_curve(rng, shape);
    const int p = cv.k - 1, rows = cv.rational() ? 4 : 3;
    std::vector<double> polerows = cv.rows();
    const int32_t index = p + 1 + static_cast<int32_t>(trial % (cv.n() - p - 1));
    const double v = cv.knots[index];
    const int32_t cap = cv.n() + p;
    std::vector<double> lk(cap + cv.k), lp(rows * cap), rk(cap + cv.k), rp(rows * cap);
    int32_t nl = -1, nr = -1;
    BSrc rc;
    BShlfbspcv(rows, p, cv.n(), cv.knots.data(), polerows.data(), index, &nl, lk.data(), lp.data(),
               &nr, rk.data(), rp.data(), &rc);
    int mult = 0;
    for (double t : cv.knots) mult += t == v;
    if (mult > p) {
      EXPECT_EQ(rc, BSINARG);
      continue;
    }
    ASSERT_EQ(rc, 0) << trial;
    auto as_curve = [&](int32_t n, const std::vector<double> &k, const std::vector<double> &pr) {
      RefCurve h;
      h.k = cv.k;
      h.knots.assign(k.begin(), k.begin() + n + cv.k);
      for (int32_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) h.poles.push_back(pr[c * n + i]);
        if (cv.rational()) h.weights.push_back(pr[3 * n + i]);
      }
      return h;
    };
    RefCurve left = as_curve(nl, lk, lp), right = as_curve(nr, rk, rp);
    EXPECT_EQ(left.hi(), v);
    EXPECT_EQ(right.lo(), v);
    EXPECT_EQ(left.lo(), cv.lo());
    EXPECT_EQ(right.hi(), cv.hi());
    const double scale = curve_scale(cv);
    for (int i = 0; i <= 20; ++i) {
      const double x = cv.lo() + (v - cv.lo()) * i / 20.0, y = v + (cv.hi() - v) * i / 20.0;
      auto a = kwtest::ref_eval(cv, x), b = kwtest::ref_eval(left, x);
      auto e = kwtest::ref_eval(cv, y), f = kwtest::ref_eval(right, y);
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(a[c], b[c], 1e-11 * scale) << trial;
        EXPECT_NEAR(e[c], f[c], 1e-11 * scale) << trial;
      }
    }
  }
}

TEST_F(Bezier, HalvingStatuses) {
  const double knots[] = {0, 0, 0, 1, 1, 1};
  const double rows[] = {0, 1, 2};
  int32_t nl, nr;
  double lk[8], lp[8], rk[8], rp[8];
  BSrc rc;
  BShlfbspcv(1, 2, 3, knots, rows, 3, &nl, lk, lp, &nr, rk, rp, &rc);
  EXPECT_EQ(rc, BSINARG);  // a domain end is no halving knot
  BShlfbspcv(1, 2, 3, knots, rows, 9, &nl, lk, lp, &nr, rk, rp, &rc);
  EXPECT_EQ(rc, BSINARG);
  BShlfbspcv(1, 2, 3, nullptr, rows, 3, &nl, lk, lp, &nr, rk, rp, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

TEST_F(Bezier, ElementarySymmetricFunctionsAgainstSubsets) {
  std::mt19937_64 rng(606);
  std::uniform_real_distribution<double> un(-2, 2);
  for (int m = 0; m <= 10; ++m) {
    std::vector<double> x(m), e(m + 1), brute(m + 1, 0.0);
    for (double &v : x) v = un(rng);
    BSgensym(m, x.data(), e.data());
    for (unsigned mask = 0; mask < (1u << m); ++mask) {
      double prod = 1;
      int bits = 0;
      for (int i = 0; i < m; ++i) {
        if (mask & (1u << i)) prod *= x[i], ++bits;
      }
      brute[bits] += prod;
    }
    for (int r = 0; r <= m; ++r) EXPECT_NEAR(e[r], brute[r], 1e-12 * (1 + std::fabs(brute[r])));
  }
}

}  // namespace
