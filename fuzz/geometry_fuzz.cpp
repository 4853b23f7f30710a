// Hostile curve records through the geometric operations. The record is built
// from the bytes: orders 1 to 20, pole and knot counts that may disagree with each
// other, NaN, infinite, huge and tiny numbers, zero-length and reversed spans, zero
// and negative weights. Every array is as long as its count says (or as order +
// num_poles for the knots), so the record is all a routine can check. Each call
// must return a status; a status 0 with a non-finite output for an all-finite
// record and query is a fault.
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "fuzz_input.hpp"
#include "knotwork.h"

namespace {

struct Record {
  std::vector<double> poles, knots, weights;
  BScurve cv{};
  bool finite = true;
};

void build(kwfuzz::Cursor &in, Record *r) {
  const int k = in.in_range(1, 20);
  const int n = in.flag(8) ? in.in_range(-2, 3) : k + in.in_range(-1, 10);
  const int nk = in.flag(8) ? n + k + in.in_range(-3, 3) : n + k;
  r->poles.resize(3 * static_cast<size_t>(n > 0 ? n : 0) + 3);
  r->knots.resize(static_cast<size_t>(std::max(nk, n + k) > 0 ? std::max(nk, n + k) : 0) + 1);
  const bool rational = in.flag(3);
  if (rational) r->weights.resize(r->poles.size() / 3);
  // Poles: mostly moderate values; an even selector byte gives a straight run.
  for (double &p : r->poles) p = in.number();
  // Knots ascend by steps that may be zero (repeated knots), negative (reversed
  // spans) or hostile.
  double t = 0.0;
  for (double &u : r->knots) {
    const uint8_t step = in.byte();
    t = step < 64 ? t : step < 200 ? t + (step - 63) / 64.0 : in.number();
    u = t;
  }
  for (double &w : r->weights) w = in.flag(2) ? 1.0 + in.byte() / 64.0 : in.number();
  for (double v : r->poles) r->finite &= std::isfinite(v);
  for (double v : r->knots) r->finite &= std::isfinite(v);
  for (double v : r->weights) r->finite &= std::isfinite(v) && v > 0.0;
  r->cv.order = static_cast<int16_t>(k);
  r->cv.num_poles = n;
  r->cv.num_knots = nk;
  r->cv.poles = r->poles.data();
  r->cv.knots = r->knots.data();
  r->cv.rational = rational;
  r->cv.weights = rational ? r->weights.data() : nullptr;
  r->cv.periodic = in.flag(6);
  r->cv.phy_closed = in.flag(4);
  r->cv.non_uniform = 1;
}

bool all_finite(const double *v, int64_t count) {
  for (int64_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// A record handed back on success must be finite when its input was.
void check_record(const BScurve *cv, bool finite_input, const char *what) {
  if (!finite_input || cv == nullptr) return;
  if (!all_finite(cv->poles, 3 * static_cast<int64_t>(cv->num_poles)) ||
      !all_finite(cv->knots, cv->num_knots) ||
      (cv->rational && !all_finite(cv->weights, cv->num_poles)))
    kwfuzz::fault(what);
}

void expect_finite(BSrc rc, bool finite_input, const double *v, int64_t count, const char *what) {
  if (rc == BSSUCC && finite_input && !all_finite(v, count)) kwfuzz::fault(what);
}

void release(BScurve *cv) {
  BSrc rc;
  if (cv) BSfreeqelcv(cv, &rc);
}

void evaluate(const BScurve &cv, bool finite, double u, int32_t d) {
  double out[3 * 21];
  BSrc rc;
  BScveval(&cv, u, d, out, &rc);
  // An order below 1 gives the zero point with status 0, whatever the record.
  expect_finite(rc, finite && std::isfinite(u), out, 3 * (d + 1), "BScveval: non-finite success");
}

void modify(const BScurve &cv, bool finite, double u, int32_t r) {
  BSrc rc;
  BScurve *out = nullptr;
  BSadd_1kt_mul(&cv, u, r, FALSE, &out, &rc);
  if (rc == BSSUCC) check_record(out, finite && std::isfinite(u), "BSadd_1kt_mul: non-finite");
  release(out);
  BScurve left{}, right{};
  const BSboolean plane = TRUE;
  BScvsplit(&rc, &cv, &u, &left, &right, &plane);
  if (rc == BSSUCC) {
    check_record(&left, finite && std::isfinite(u), "BScvsplit: non-finite left");
    check_record(&right, finite && std::isfinite(u), "BScvsplit: non-finite right");
  }
  for (BScurve *piece : {&left, &right})
    for (double *p : {piece->poles, piece->knots, piece->weights})
      if (p) BSdbgfree(p);
}

void elevate(const Record &r, int16_t degree) {
  // The elevation clamps its input in place: it works on a copy.
  Record copy = r;
  copy.cv.poles = copy.poles.data();
  copy.cv.knots = copy.knots.data();
  copy.cv.weights = copy.cv.rational ? copy.weights.data() : nullptr;
  BSrc rc;
  BScurve *out = nullptr;
  BSupthedeg(&copy.cv, degree, FALSE, &out, &rc);
  if (rc == BSSUCC) check_record(out, r.finite, "BSupthedeg: non-finite");
  release(out);
}

void boxes(const Record &r) {
  const BScurve &cv = r.cv;
  if (cv.num_poles < 1 || cv.order < 1) return;
  const int32_t n = cv.num_poles;
  double lo[3], hi[3], centre[3], axes[9];
  BSrc rc;
  BSbx2(&rc, &n, cv.poles, cv.weights, lo, hi);
  BSboolean flag;
  BSendptinbx(&rc, &cv, &flag);
  std::vector<double> rows((cv.rational ? 4 : 3) * static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) rows[c * n + i] = cv.poles[3 * i + c];
    if (cv.rational) rows[3 * n + i] = cv.weights[i];
  }
  if (cv.num_knots != n + cv.order) return;
  BSoblboxbsc(cv.order, n, cv.knots, 3, cv.rational, rows.data(), centre, axes, &rc);
  expect_finite(rc, r.finite, centre, 3, "BSoblboxbsc: non-finite centre");
  expect_finite(rc, r.finite, axes, 9, "BSoblboxbsc: non-finite axes");
}

void query(const Record &r, const Record &other, const double *point, const double *normal) {
  const BScurve &cv = r.cv;
  const bool finite = r.finite && all_finite(point, 3) && all_finite(normal, 3);
  BSrc rc;
  double param, foot[3], dist;
  BSmdstptcv(&cv, point, &param, foot, &dist, &rc);
  if (rc == BSSUCC && finite &&
      !(std::isfinite(param) && all_finite(foot, 3) && std::isfinite(dist)))
    kwfuzz::fault("BSmdstptcv: non-finite success");
  if (cv.order >= 1 && cv.num_poles >= cv.order && cv.num_poles < 1000) {
    const int32_t room = cv.order * (cv.num_poles - cv.order + 1);
    std::vector<double> pts(3 * room + 3), pars(room + 1), starts(room + 1), ends(room + 1);
    int32_t np = 0, ni = 0;
    BSpl_cv_int(&rc, &cv, point, normal, &np, pts.data(), pars.data(), &ni, starts.data(),
                ends.data());
    if (rc == BSSUCC && (np < 0 || np > room || ni < 0 || ni > cv.num_poles - cv.order + 1))
      kwfuzz::fault("BSpl_cv_int: count beyond the room");
    if (rc == BSSUCC) expect_finite(rc, finite, pts.data(), 3 * np, "BSpl_cv_int: non-finite");
  }
  int32_t ni = 0, no = 0;
  double *ip = nullptr, *p1 = nullptr, *p2 = nullptr, *op = nullptr, *o1 = nullptr, *o2 = nullptr;
  BScvcv_int(&rc, &cv, &other.cv, &ni, &ip, &p1, &p2, &no, &op, &o1, &o2);
  const bool both = finite && other.finite;
  expect_finite(rc, both, ip, 3 * static_cast<int64_t>(ni), "BScvcv_int: non-finite point");
  expect_finite(rc, both, p1, ni, "BScvcv_int: non-finite parameter");
  expect_finite(rc, both, op, 6 * static_cast<int64_t>(no), "BScvcv_int: non-finite overlap");
  for (double *p : {ip, p1, p2, op, o1, o2})
    if (p) BSdbgfree(p);
}

void measure(const Record &r, double u, double d, const double *dirpt, int32_t corner) {
  const BScurve &cv = r.cv;
  BSrc rc;
  if (cv.order >= 1 && cv.num_poles >= cv.order && cv.num_knots == cv.num_poles + cv.order) {
    const double start = cv.knots[cv.order - 1];
    double length = 0.0;
    BSarclength(&rc, &cv, &start, &u, &length);
    expect_finite(rc, r.finite && std::isfinite(u), &length, 1, "BSarclength: non-finite");
  }
  const int16_t code = 1;
  BScurve *result = nullptr, **loops = nullptr;
  int32_t nloops = 0;
  BScvoffset(&rc, &cv, &d, dirpt, &corner, &code, &result, &nloops, &loops);
  if (rc == BSSUCC || rc == 5) {
    check_record(result, r.finite && std::isfinite(d) && all_finite(dirpt, 3),
                 "BScvoffset: non-finite");
    release(result);
    for (int32_t i = 0; i < nloops; ++i) release(loops[i]);
    if (loops) BSdbgfree(loops);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  kwfuzz::Cursor in(data, size);
  BSdbginit();
  Record a, b;
  build(in, &a);
  build(in, &b);
  const double u = in.flag(4) ? in.number() : a.knots[0] + in.byte() / 32.0;
  const double point[3] = {in.number(), in.number(), in.number()};
  const double normal[3] = {in.number(), in.number(), in.number()};
  const uint8_t ops = in.byte();
  evaluate(a.cv, a.finite, u, in.in_range(0, 20));
  if (ops & 1) modify(a.cv, a.finite, u, in.in_range(0, 20));
  if (ops & 2) elevate(a, static_cast<int16_t>(in.in_range(0, 24)));
  if (ops & 4) boxes(a);
  if (ops & 8) query(a, b, point, normal);
  if (ops & 16) {
    const double d = in.number();  // read in order: argument order is unspecified
    measure(a, u, d, point, in.byte() % 2);
  }
  return 0;
}
