#include "status_of.hpp"
#include "support.hpp"

namespace {

class PrimitivesTest : public kwtest::GuardedTest {};

void expect_near3(const double *got, std::array<double, 3> want, double tol = 1e-15) {
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], tol) << "component " << k;
}

TEST_F(PrimitivesTest, ExamplesOfTheScalarAndVectorMembers) {
  const double a[3] = {1, 2, 3}, b[3] = {4, -5, 6}, wp = 2.0, wq = 0.5;
  const double p[3] = {2, 4, 6}, q[3] = {2, -2.5, 3};  // a and b weighted by wp and wq
  const double n[3] = {0, 0, 1}, o[3] = {5, 5, 1}, dir[3] = {1, 0, 0}, near[3] = {1 + 5e-7, 2, 3};
  const double line[6] = {0, 0, 0, 2, 0, 0}, pt[3] = {1.5, 3, 4}, z2[3] = {0, 0, 2};
  const double q345[3] = {3, 4, 7}, y[3] = {0, 1, 0}, up[3] = {0, 0, 1}, down[3] = {0, 0, -1};
  double d_pl, d_li, ang_up, ang_down, ang_same, out[3];
  BSrc rc = 7;
  ASSERT_TRUE(BSdistptpl(&rc, a, o, n, &d_pl));
  ASSERT_TRUE(BSdistptli(&rc, q345, line, z2, &d_li));
  BSang2vec(dir, y, up, &ang_up, &rc);
  BSang2vec(dir, y, down, &ang_down, &rc);
  BSang2vec(dir, dir, up, &ang_same, &rc);
  EXPECT_EQ(std::tuple(BSdotp(&rc, a, b), BSlenvec(&rc, a), BSdistptpt(&rc, a, b), d_pl, ang_same),
            std::tuple(12.0, std::sqrt(14.0), std::sqrt(67.0), 2.0, 0.0));
  EXPECT_NEAR(BSdistwpwp(&rc, p, &wp, q, &wq), std::sqrt(67.0), 1e-14);
  EXPECT_DOUBLE_EQ(d_li, 5.0);
  EXPECT_DOUBLE_EQ(ang_up, M_PI / 2);
  EXPECT_DOUBLE_EQ(ang_down, 3 * M_PI / 2);
  EXPECT_EQ(rc, BSSUCC);
  ASSERT_TRUE(BScrossp(&rc, a, b, out));
  expect_near3(out, {27, 6, -13});
  ASSERT_TRUE(BSmkvec(&rc, out, a, b));
  expect_near3(out, {3, -7, 3});
  ASSERT_TRUE(BSproj1(&rc, o, dir, a, out));
  expect_near3(out, {1, 5, 1});
  ASSERT_TRUE(BSproj0(&rc, pt, line, out));
  expect_near3(out, {1.5, 0, 0});
  EXPECT_EQ(std::tuple(BSdistnct2(&rc, a, near), BSdistnct2(&rc, a, b)), std::tuple(FALSE, TRUE));
  double tiny[3] = {0, 0, 1e-145}, v[3] = {3, 0, 4};
  EXPECT_TRUE(BSnorvec(&rc, tiny));
  expect_near3(tiny, {0, 0, 1});
  EXPECT_TRUE(BSnorvec(&rc, v));
  expect_near3(v, {0.6, 0, 0.8});
}

TEST_F(PrimitivesTest, PositionOnSegmentExamples) {
  // start, end, inside, beyond: where and param (-5 untouched); BSpt_on_lne finds
  // the point for where 1 or 2, BSpt_on_ln2 only inside (where 2).
  const double p0[3] = {0, 0, 0}, p1[3] = {2, 0, 0}, pts[4][3] = {{0}, {2}, {0.5}, {3}};
  const int32_t want_where[4] = {1, 1, 2, 0};
  const double want_param[4] = {0.0, 1.0, 0.25, -5.0};
  for (int c = 0; c < 4; ++c) {
    int32_t where = -1;
    double param = -5;
    BSboolean on = 7;
    BSrc rc;
    BSprptonln(p0, p1, pts[c], &where, &param, &rc);
    EXPECT_EQ(std::tuple(where, param), std::tuple(want_where[c], want_param[c]));
    ASSERT_TRUE(BSpt_on_lne(&rc, p0, p1, pts[c], &param, &on));
    EXPECT_EQ(on != 0, where != 0);
    ASSERT_TRUE(BSpt_on_ln2(&rc, p0, p1, pts[c], &param, &on));
    EXPECT_EQ(on != 0, where == 2);
  }
}

TEST_F(PrimitivesTest, RotationKeepsLengthsAndReversesWithTheAxis) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> d(-3, 3);
  BSrc rc;
  for (int trial = 0; trial < 50; ++trial) {
    double a0[3], a1[3], p[3], out[3], back[3], da, db;
    for (int k = 0; k < 3; ++k) a0[k] = d(gen), a1[k] = d(gen), p[k] = d(gen);
    const double angle = d(gen);
    const BSboolean rev = trial % 2, other = !rev;
    ASSERT_TRUE(BSroto(&rc, a0, a1, &rev, &angle, p, out));
    BSdistptli(&rc, p, a0, a1, &da);
    BSdistptli(&rc, out, a0, a1, &db);
    EXPECT_NEAR(da, db, 1e-12);
    EXPECT_NEAR(BSdistptpt(&rc, p, a0), BSdistptpt(&rc, out, a0), 1e-12);
    BSroto(&rc, a0, a1, &other, &angle, out, back);  // same angle about the reversed axis
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], p[k], 1e-12);
  }
  const double a0[3] = {0, 0, 0}, a1[3] = {0, 0, 1}, p[3] = {1, 0, 5}, quarter = M_PI / 2;
  const BSboolean no = FALSE;
  double out[3];
  BSroto(&rc, a0, a1, &no, &quarter, p, out);
  expect_near3(out, {0, 1, 5});
}

// Every failure status once, with the FALSE result and what the failure leaves.
TEST_F(PrimitivesTest, PolygonLengthAndFailureStatuses) {
  const double o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, p[3] = {1.5, 3, 4}, angle = 1.0;
  const double deg_line[6] = {1, 1, 1, 1, 1, 1}, short_end[3] = {0, 0, 5e-7};
  double v[3] = {0, 0, 1e-147}, out[3], d, param;
  int32_t where;
  BSboolean on, no = FALSE;
  kwtest::expect_statuses({
      {BSDEGEN, [&](BSrc *rc) { EXPECT_FALSE(BSnorvec(rc, v)); }},
      {BSDEGENLINE, [&](BSrc *rc) { EXPECT_FALSE(BSproj0(rc, p, deg_line, out)); }},
      {8, [&](BSrc *rc) { EXPECT_FALSE(BSdistptli(rc, p, o, short_end, &d)); }},
      {BSDEGEN, [&](BSrc *rc) { BSprptonln(o, o, x, &where, &param, rc); }},
      {BSFAIL, [&](BSrc *rc) { EXPECT_FALSE(BSpt_on_lne(rc, o, o, x, &param, &on)); }},
      {BSFAIL, [&](BSrc *rc) { EXPECT_FALSE(BSpt_on_ln2(rc, o, o, x, &param, &on)); }},
      {BSDEGENLINE, [&](BSrc *rc) { EXPECT_FALSE(BSroto(rc, o, o, &no, &angle, p, out)); }},
  });
  EXPECT_EQ(v[2], 1e-147);  // BSnorvec left v alone
  EXPECT_EQ(out[0], 1.0);   // BSproj0 wrote the line start
  // Polygon length 5 + 12 with weights (1, 2, 1), without (on the divided points)
  // and with a zero or not-a-number weight (nothing divides by it, length 0).
  const double wpts[9] = {0, 0, 0, 6, 8, 0, 3, 4, 12}, pts[9] = {0, 0, 0, 3, 4, 0, 3, 4, 12};
  const double w[3] = {1, 2, 1}, zero_w[3] = {1, 0, 1}, nan_w[3] = {1, std::nan(""), 1};
  const double *inputs[4][2] = {{wpts, w}, {pts, nullptr}, {wpts, zero_w}, {wpts, nan_w}};
  for (int c = 0; c < 4; ++c) {
    const int32_t n = 3;
    BSrc rc;
    EXPECT_EQ(std::tuple(BScumdist(&rc, &n, inputs[c][0], inputs[c][1], &d) != 0, rc, d),
              std::tuple(c < 2, c < 2 ? BSSUCC : BSDIVZERO, c < 2 ? 17.0 : 0.0));
  }
}

TEST(PrimitivesHotPath, NoHeapRequests) {
  kwtest::reset_library_state();
  const double a0[3] = {0, 0, 0}, a1[3] = {0, 0, 1}, p[3] = {1, 2, 3}, line[6] = {0, 0, 0, 1, 1, 0};
  const double plane[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, angle = 0.3;
  double out[3], d, normal[3];
  const BSboolean no = FALSE;
  int32_t code;
  BSrc rc;
  kwtest::NoHeapScope scope;
  for (int i = 0; i < 100; ++i) {
    BSroto(&rc, a0, a1, &no, &angle, p, out);
    BSproj0(&rc, p, line, out);
    BSdistptli(&rc, p, a0, a1, &d);
    BSplanar2(4, plane, nullptr, &code, normal, &rc);
    BSrelplnln(&rc, a0, a1, line, line + 3);
  }
  EXPECT_EQ(scope.heap_requests(), 0);
  EXPECT_EQ(code, 3);
}

}  // namespace
