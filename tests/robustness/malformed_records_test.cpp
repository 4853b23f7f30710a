// Every exported routine that reads a curve record (or its order, pole count and
// arrays) answers a malformed record with a status (3 for null record or arrays,
// -2 for inconsistent fields) instead of reading out of bounds, looping, or
// reporting NaNs as success; finite but huge input never gives status 0 with a
// value that is not finite. The table pairs each routine with each hostile record;
// run it under the sanitizer build to see overreads.
#include <limits>

#include "support.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kCap = 1024;  // every array of every record here holds kCap values

// A record with room for any curve a routine may write from the test curves.
struct Room {
  double poles[3 * kCap] = {}, knots[kCap] = {}, weights[kCap] = {};
  BScurve cv{};
  BScurve *bind() {
    cv = BScurve{};
    cv.poles = poles, cv.knots = knots, cv.weights = weights, cv.rational = 1;
    return &cv;
  }
};

// The well-formed curve every case starts from: order 4, 6 poles, rational with
// unit weights, knots 0 0 0 0 1 2 3 3 3 3 (or `order` and order + 2 poles).
struct Input {
  Room room;
  BScurve *cv = nullptr;
  double u = 1.5;
  int32_t d = 1;
  Input() { init(4); }
  Input(const Input &) = delete;
  void init(int16_t order) {
    cv = room.bind();
    const int32_t n = order + 2;
    cv->order = order, cv->num_poles = n, cv->num_knots = n + order;
    for (int32_t i = 0; i < n + order; ++i)
      room.knots[i] = i < order ? 0.0 : i >= n ? double(n - order + 1) : double(i - order + 1);
    for (int32_t i = 0; i < n; ++i)
      room.poles[3 * i] = i, room.poles[3 * i + 1] = (i * i) % 5, room.poles[3 * i + 2] = 0.5 * i,
                     room.weights[i] = 1.0;
  }
};

// Which property a case breaks: header fields and arrays, the knot domain (both
// O(1)), values that need a scan of the arrays, an order beyond fixed buffers
// (routines may refuse or handle it), the arguments rather than the record, or
// none: finite values so large that naive arithmetic overflows.
enum Kind { kHeader, kDomain, kScan, kOrder, kParam, kDeriv, kHuge, kHugeParam };

void scale_poles(Input &in, double f, double shift) {
  for (int i = 0; i < 3 * in.cv->num_poles; ++i) in.room.poles[i] = in.room.poles[i] * f + shift;
}

struct Case {
  const char *name;
  Kind kind;
  void (*spoil)(Input &);
};

const Case kCases[] = {
    {"null curve", kHeader, [](Input &in) { in.cv = nullptr; }},
    {"null poles", kHeader, [](Input &in) { in.cv->poles = nullptr; }},
    {"null knots", kHeader, [](Input &in) { in.cv->knots = nullptr; }},
    {"null weights", kHeader, [](Input &in) { in.cv->weights = nullptr; }},
    {"order 1", kHeader, [](Input &in) { in.cv->order = 1; }},
    {"order 0", kHeader, [](Input &in) { in.cv->order = 0; }},
    {"order -3", kHeader, [](Input &in) { in.cv->order = -3; }},
    {"order 17", kOrder, [](Input &in) { in.init(17); }},
    {"order 40", kOrder, [](Input &in) { in.init(40); }},
    {"fewer poles than order", kHeader,
     [](Input &in) { in.cv->num_poles = 3, in.cv->num_knots = 7; }},
    {"num_knots mismatch", kHeader, [](Input &in) { in.cv->num_knots = 9; }},
    {"negative num_poles", kHeader, [](Input &in) { in.cv->num_poles = -6; }},
    {"negative num_knots", kHeader, [](Input &in) { in.cv->num_knots = -10; }},
    {"huge num_poles", kHeader, [](Input &in) { in.cv->num_poles = 1 << 30; }},
    {"num_poles INT_MIN", kHeader, [](Input &in) { in.cv->num_poles = INT32_MIN; }},
    {"all knots equal", kDomain,
     [](Input &in) { std::fill(in.room.knots, in.room.knots + 10, 2.0); }},
    {"inverted domain", kDomain, [](Input &in) { in.room.knots[3] = 5.0; }},
    {"NaN end knot", kDomain, [](Input &in) { in.room.knots[6] = kNaN; }},
    {"inf end knot", kDomain, [](Input &in) { in.room.knots[6] = kInf; }},
    {"knots decreasing", kScan, [](Input &in) { in.room.knots[4] = 2.5; }},
    {"NaN interior knot", kScan, [](Input &in) { in.room.knots[5] = kNaN; }},
    {"NaN pole", kScan, [](Input &in) { in.room.poles[7] = kNaN; }},
    {"inf pole", kScan, [](Input &in) { in.room.poles[9] = -kInf; }},
    {"zero weight", kScan, [](Input &in) { in.room.weights[2] = 0.0; }},
    {"negative weight", kScan, [](Input &in) { in.room.weights[3] = -1.0; }},
    {"NaN weight", kScan, [](Input &in) { in.room.weights[1] = kNaN; }},
    {"NaN parameter", kParam, [](Input &in) { in.u = kNaN; }},
    {"inf parameter", kParam, [](Input &in) { in.u = -kInf; }},
    {"negative derivative count", kDeriv, [](Input &in) { in.d = -1; }},
    {"huge derivative count", kDeriv, [](Input &in) { in.d = 1 << 30; }},
    {"poles of 1e300", kHuge, [](Input &in) { scale_poles(in, 1e300, 0.0); }},
    {"poles offset by 1e200", kHuge, [](Input &in) { scale_poles(in, 1.0, 1e200); }},
    {"knots scaled by 1e300", kHuge,
     [](Input &in) {
       for (double &t : in.room.knots) t *= 1e300;
       in.u *= 1e300;
     }},
    {"parameter 1e300", kHugeParam, [](Input &in) { in.u = 1e300; }},
    {"parameter -1e300 on poles of 1e300", kHugeParam,
     [](Input &in) { in.u = -1e300, scale_poles(in, 1e300, 0.0); }},
};

// Routine flags: which argument cases apply; kHot: an evaluator that checks the
// record in O(1) only (knot and pole values may evaluate; non-finite ones may
// reach the result, but finite ones never give NaN with status 0);
// kRecord: a record utility that needs only the record's shape (any values copy
// or print); kBoolean: reports through its result only; kOwnWeights: has its own
// status for a zero weight and works with negative ones; kRaw: takes the order,
// pole count and arrays rather than the record (arrays must not be null and must
// hold what the counts say; knots and poles are passed in arrays of exactly that
// size, so the sanitizer build sees any read outside them).
enum : unsigned {
  kTakesParam = 1,
  kTakesDeriv = 2,
  kHot = 4,
  kRecord = 8,
  kBoolean = 16,
  kOwnWeights = 32,
  kRaw = 64
};

Room g_out[64];
double g_buf[1 << 16];

bool all_finite(const double *v, int n) {
  return n <= 0 || std::all_of(v, v + n, [](double x) { return std::isfinite(x); });
}

// Set when result memory held a value that is not finite.
bool g_nonfinite_result = false;

// Releases result memory a routine handed out, noting values that are not finite.
void release(BScurve *&cv) {
  BSrc rc;
  g_nonfinite_result |= cv != nullptr && !all_finite(cv->poles, 3 * cv->num_poles);
  if (cv != nullptr) BSfreeqelcv(cv, &rc);
  cv = nullptr;
}
void release(double *&p, int32_t count = 0) {
  g_nonfinite_result |= p != nullptr && !all_finite(p, count);
  if (p != nullptr) BSdbgfree(p);
  p = nullptr;
}

// The record's knots (order + poles of them) and poles in new arrays of exactly
// that size; kCap values when the counts make no array.
std::vector<double> g_exact_knots, g_exact_poles;
double *exact_knots(const Input &in) {
  const int64_t m = int64_t(in.cv->order) + in.cv->num_poles;
  g_exact_knots =
      std::vector<double>(in.room.knots, in.room.knots + (m >= 1 && m <= kCap ? m : kCap));
  return g_exact_knots.data();
}
const double *exact_poles(const Input &in) {
  const int64_t n = in.cv->num_poles;
  g_exact_poles =
      std::vector<double>(in.room.poles, in.room.poles + (n >= 1 && n <= kCap ? 3 * n : kCap));
  return g_exact_poles.data();
}

struct Routine {
  const char *name;
  unsigned flags;
  BSrc (*call)(Input &);
};

// A table row: the statements call the routine with the spoiled input `in`, status in rc.
// clang-format off
#define ROW(name, flags, ...) {name, flags, [](Input &in) { BSrc rc = -99; __VA_ARGS__; return rc; }}
// clang-format on

// The record's knots with u merged in: the knot vector of one more pole.
const double *knots_with_u(const Input &in) {
  static double t[kCap];
  const int32_t count = std::clamp(in.cv ? in.cv->num_knots : 10, 0, kCap - 2);
  int32_t m = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (m == i && in.room.knots[i] > in.u) t[m++] = in.u;
    t[m++] = in.room.knots[i];
  }
  if (m == count) t[m] = in.u;
  return t;
}

const double kPoint[3] = {1.0, 2.0, 0.5};
const BSboolean kNo = 0;
const int32_t kSpan = 4;
double g_table[16][16][3], g_wtable[16][16];
int32_t g_count, g_ints[kCap];
int16_t g_flag16, g_n16, g_m16;
BSboolean g_flag;
BScurve *g_cv, **g_pieces, g_segs[64];
double *g_p1, *g_p2;

const Routine kRoutines[] = {
    ROW("BScveval", kTakesParam | kTakesDeriv | kHot, BScveval(in.cv, in.u, in.d, g_buf, &rc)),
    ROW("BScveval_b", kTakesParam | kTakesDeriv | kHot,
        BScveval_b(&rc, in.cv, &in.u, &in.d, nullptr, &g_flag16, g_buf, g_buf + 4096)),
    ROW("BSrspl", kTakesDeriv | kRecord, g_buf[3] = 1.0; BSrspl(&rc, &in.d, in.cv, g_buf)),
    ROW("BScvarreval", kTakesParam | kHot, BScvarreval(&rc, in.cv, &in.u, 1, 2, g_buf)),
    ROW("BScvarrev0", kTakesParam | kHot, BScvarrev0(&rc, in.cv, &in.u, 1, g_buf)),
    ROW("BScvarrev0w", kTakesParam | kHot, BScvarrev0w(in.cv, 1, &in.u, g_buf, &rc)),
    ROW("BScvarrevt", kTakesParam | kHot, BScvarrevt(in.cv, &in.u, 1, 1.0, g_buf, &rc)),
    ROW("BScvarrevc", kTakesParam | kHot,
        BScvarrevc(in.cv, 1, &in.u, 1.0, g_buf + 8, g_buf + 16, g_buf, &rc)),
    ROW("BScvnormal", 0, BScvnormal(&rc, in.cv, g_buf)),
    ROW("BSlocknttol", kTakesParam | kHot, BSlocknttol(in.cv, in.u, 1e-3, g_buf, &rc)),
    ROW("BScnvtmekt", 0, BScnvtmekt(0, in.cv, &rc)),
    ROW("BScnvtomkt", 0, BScnvtomkt(&rc, in.cv)),
    ROW("BSadd_1kt_mul", kTakesParam, g_cv = nullptr; BSadd_1kt_mul(in.cv, in.u, 2, 0, &g_cv, &rc);
        release(g_cv)),
    ROW("BSadd_1kt_tot", kTakesParam, g_cv = g_out[0].bind();
        BSadd_1kt_tot(in.cv, in.u, 2, 1, &g_cv, &rc)),
    ROW("BSadd_ekt", kTakesParam, const double u = in.u - 1.5;  // the domain start
        const int32_t i = 1; BSadd_ekt(&rc, in.cv, &u, &i)),
    ROW("BSadd_kts", kTakesParam,
        BSadd_kts(in.cv, in.cv ? in.cv->num_poles + 1 : 7, knots_with_u(in), g_out[0].bind(), &rc)),
    ROW("BScollinmn3", 0, BScollinmn3(in.cv, &g_flag, &rc)),
    ROW("BScvsplit", kTakesParam,
        BScvsplit(&rc, in.cv, &in.u, g_out[0].bind(), g_out[1].bind(), &kNo)),
    ROW("BSactivsplt", kTakesParam, const double ub = 2.5;
        BSactivsplt(&rc, in.cv, &in.u, &ub, g_out[0].bind(), &kNo)),
    ROW("BSextrcvspn", 0, BSextrcvspn(&rc, &kSpan, in.cv, g_out[0].bind(), &kNo, &kNo)),
    ROW(
        "BSbreakcv", 0, g_pieces = nullptr;
        if (BSbreakcv(&rc, in.cv, &g_count, &g_pieces, &kNo) && g_pieces != nullptr) {
          for (int32_t i = 0; i < g_count; ++i) release(g_pieces[i]);
          BSdbgfree(g_pieces);
        }),
    ROW("BSrev_cv", 0, BSrev_cv(&rc, in.cv)),
    ROW("BScvtstclsd", 0, BScvtstclsd(in.cv, &rc)),
    ROW("BScvsetclsd", 0, BScvsetclsd(in.cv, &rc)),
    ROW("BSupthedeg", 0, g_cv = nullptr; BSupthedeg(in.cv, 5, 0, &g_cv, &rc); release(g_cv)),
    ROW("BScvtobz", 0, for (int i = 0; i < 64; ++i) g_segs[i] = *g_out[i].bind();
        BScvtobz(&rc, in.cv, &g_count, g_segs)),
    ROW("BSspn_t_bz", 0, BSspn_t_bz(&rc, &kSpan, in.cv, g_out[0].bind(), &kNo, &kNo)),
    ROW("BSdcastelj", kTakesParam,  // a Bezier curve: the first span of the test curve
        if (in.cv && in.cv->num_poles == in.cv->order + 2 &&
            in.cv->num_knots == 2 * in.cv->order + 2) in.cv->num_poles -= 2,
        in.cv->num_knots -= 2;
        BSdcastelj(&rc, in.cv, &in.u, g_table, g_wtable)),
    ROW("BStstcvcusp", 0, BStstcvcusp(&rc, in.cv, 4, &g_flag)),
    ROW("BSfndcvcsp", 0, BSfndcvcsp(in.cv, &g_count, g_buf, &rc)),
    ROW("BSfinddcont", kOwnWeights, BSfinddcont(in.cv, 1e-6, &g_count, g_buf, g_ints, &rc)),
    ROW("BSendptinbx", 0, BSendptinbx(&rc, in.cv, &g_flag)),
    ROW("BSmdstptcv", 0, BSmdstptcv(in.cv, kPoint, g_buf, g_buf + 1, g_buf + 4, &rc)),
    ROW("BSmdstptscv", 0, BSmdstptscv(1, kPoint, in.cv, g_buf, g_buf + 1, g_buf + 4, &g_flag, &rc)),
    ROW("BSmdistptcv", 0, g_p1 = g_p2 = nullptr;
        BSmdistptcv(in.cv, kPoint, &g_n16, &g_m16, &g_p1, g_buf, &g_p2, &rc);
        release(g_p1, g_m16), release(g_p2, 2 * g_n16)),
    ROW("BSprptoncv", 0, BSprptoncv(&rc, in.cv, kPoint, g_buf, &g_flag)),
    ROW("BSprptnrcv", kTakesParam,
        BSprptnrcv(in.cv, in.u, kPoint, g_buf, g_buf + 1, g_buf + 4, &rc)),
    ROW("BSnormals", 0, g_p1 = g_p2 = nullptr;
        BSnormals(&rc, in.cv, kPoint, &g_count, &g_p1, &g_ints[0], &g_p2);
        release(g_p1, g_count), release(g_p2, 2 * g_ints[0])),
    ROW("BSadjpar", kTakesParam | kHot, BSadjpar(in.cv, in.u, g_buf, &rc)),
    ROW("BScv_copy", kRecord, BScv_copy(&rc, in.cv, g_out[0].bind())),
    ROW("BSprintbspc", kRecord | kBoolean, std::FILE *f = std::tmpfile();
        rc = BSprintbspc(f, "c", in.cv, 1) ? BSSUCC : BSFAIL; std::fclose(f)),
    ROW("BSprthexcv", kRecord | kBoolean, std::FILE *f = std::tmpfile();
        rc = BSprthexcv(f, in.cv) ? BSSUCC : BSFAIL; std::fclose(f)),
    // order, pole count and arrays
    ROW("BScvkttol2", kRaw,
        BScvkttol2(in.cv->order, exact_knots(in), in.cv->num_poles, exact_poles(in), nullptr, g_buf,
                   &rc)),
    ROW("BSfindspn", kRaw | kTakesParam, g_ints[0] = 3;
        BSfindspn(&rc, &in.cv->order, &in.cv->num_poles, exact_knots(in), &in.u, g_ints);
        if (rc != BSSUCC && g_ints[0] == 3) g_ints[0] = -7),  // the hint is input too
    ROW("BSfindspnr", kRaw | kTakesParam,
        BSfindspnr(in.cv->order, in.cv->num_poles, exact_knots(in), in.u, g_ints, &rc)),
    ROW("BSfndspnarr", kRaw | kTakesParam,
        BSfndspnarr(in.cv->order, in.cv->num_poles, 1, &in.u, exact_knots(in), g_ints, &rc)),
    ROW("BSnorkts", kRaw, BSnorkts(&rc, &in.cv->order, &in.cv->num_poles, exact_knots(in))),
    ROW("BSfindmkts", kRaw, const double t = 1e-9; BSfindmkts(
            &rc, &in.cv->order, &in.cv->num_poles, exact_knots(in), &t, g_ints, g_buf, g_ints + 1)),
    ROW("BSchrdlkts", kRaw,
        BSchrdlkts(&rc, &in.cv->num_poles, exact_poles(in), &in.cv->order, &kNo, g_buf)),
};

class MalformedRecords : public kwtest::GuardedTest {};

TEST_F(MalformedRecords, EveryCurveRoutineAnswersWithAStatus) {
  for (const Routine &r : kRoutines) {
    {  // the well-formed curve passes, so the failures below come from the spoiling
      Input in;
      EXPECT_EQ(r.call(in), BSSUCC) << r.name << " on the well-formed curve";
      EXPECT_EQ(BSlist_al.count, live_at_start_) << r.name << " leaked on the well-formed curve";
    }
    for (const Case &c : kCases) {
      const std::string name = c.name;
      const bool raw = r.flags & kRaw;
      if (((c.kind == kParam || c.kind == kHugeParam) && !(r.flags & kTakesParam)) ||
          (c.kind == kDeriv && !(r.flags & kTakesDeriv)))
        continue;
      // Raw arrays are the caller's to size: no null arrays, no counts beyond them.
      if (raw && c.kind == kHeader &&
          (name.rfind("null", 0) == 0 || name.find("num_knots") != name.npos ||
           name == "huge num_poles"))
        continue;
      SCOPED_TRACE(std::string(r.name) + " / " + c.name);
      Input in;
      c.spoil(in);
      std::fill(g_buf, g_buf + 64, 0.0);
      std::fill(g_ints, g_ints + 64, -7);
      for (int i = 0; i < 2; ++i) g_out[i] = Room{};
      g_exact_knots.clear();
      g_nonfinite_result = false;
      const BSrc rc = r.call(in);
      EXPECT_EQ(BSlist_al.count, live_at_start_) << "leaked result or scratch memory";
      if (c.kind == kHuge || c.kind == kHugeParam) {  // finite input: finite output or a status
        if (rc == BSSUCC) {
          EXPECT_TRUE(all_finite(g_buf, 64) && !g_nonfinite_result)
              << "overflow reported as success";
          for (int i = 0; i < 2; ++i)
            EXPECT_TRUE(all_finite(g_out[i].poles, 3 * kCap) && all_finite(g_out[i].knots, kCap));
        }
        continue;
      }
      if (raw) {  // a bad order or pole count is refused before anything is read or written
        if (c.kind != kHeader || name == "order 1") continue;
        EXPECT_EQ(rc, BSINARG);
        EXPECT_TRUE(std::all_of(g_buf, g_buf + 64, [](double v) { return v == 0.0; }));
        EXPECT_TRUE(std::all_of(g_ints, g_ints + 64, [](int32_t v) { return v == -7; }));
        EXPECT_TRUE(std::equal(g_exact_knots.begin(), g_exact_knots.end(), in.room.knots));
        continue;
      }
      const bool values = c.kind == kDomain || c.kind == kScan;
      const bool sign = name == "negative weight";
      const bool nonfinite = std::strstr(c.name, "NaN ") || std::strstr(c.name, "inf ");
      if (c.kind == kOrder || (values && (r.flags & (kRecord | kHot))) ||
          (sign && (r.flags & kOwnWeights))) {
        if (rc == BSSUCC && (r.flags & kHot) && !nonfinite) {
          EXPECT_TRUE(all_finite(g_buf, 3)) << "NaN reported as success";
        }
        continue;  // survived, which is what the sanitizer build checks
      }
      // The main evaluator gives the zero point for an order below 1.
      if (&r == &kRoutines[0] && in.cv != nullptr && in.cv->order < 1) {
        EXPECT_EQ(rc, BSSUCC);
        continue;
      }
      EXPECT_NE(rc, BSSUCC);
      if (name.rfind("null", 0) == 0 && !(r.flags & kBoolean)) {
        // a rational source without weights is an inconsistent record to the copy
        EXPECT_TRUE(rc == BSNULLPTR || (r.flags & kRecord && rc == BSINARG)) << rc;
      }
    }
  }
}

}  // namespace

// Hostile arguments: each check holds when the routine refuses, or computes the
// right answer in a scaled form.
TEST_F(MalformedRecords, HostileArgumentsAreRefusedOrScaled) {
  BSrc rc[3];
  {  // evaluators on weights summing below the reciprocal's range fail (-1)
    Input in;
    std::fill(in.room.weights, in.room.weights + 6, 1e-320);
    BScveval(in.cv, 1.5, 1, g_buf, &rc[0]);
    BScvarrev0(&rc[1], in.cv, &in.u, 1, g_buf);
    BScveval_b(&rc[2], in.cv, &in.u, &in.d, nullptr, &g_flag16, g_buf, g_buf + 8);
    EXPECT_TRUE(rc[0] == BSFAIL && rc[1] == BSFAIL && rc[2] == BSFAIL);
  }
  // BSnorvec on a vector of length 5e200, and on a NaN vector
  double v[3] = {3e200, -4e200, 0.0}, w[3] = {kNaN, 1.0, 0.0};
  EXPECT_TRUE(BSnorvec(rc, v) && rc[0] == BSSUCC && v[0] == 0.6 && v[1] == -0.8);
  EXPECT_TRUE(!BSnorvec(rc, w) && rc[0] == BSDEGEN && std::isnan(w[0]) && w[1] == 1.0);
  {  // BSinsertkt with u off its span, NaN or infinite writes nothing
    const double poles[4] = {0, 1, 2, 3}, knots[6] = {0, 0, 1, 2, 3, 3};
    double out[5] = {7, 7, 7, 7, 7};
    for (double u : {2.5, -1.0, kNaN, kInf}) BSinsertkt(2, 1, 4, poles, knots, 1, u, out);
    EXPECT_TRUE(std::all_of(out, out + 5, [](double x) { return x == 7.0; }));
  }
  {  // BSmdptsbscv and BSmdptbezcv on poles of 1e300: a status or finite results
    double rows[18] = {0, 1, 2, 3, 4, 5, 0, 2, -1, 3, 0, 1}, d[2], f[6], u[2];
    const double knots[10] = {0, 0, 0, 0, 1, 2, 3, 3, 3, 3}, pt[3] = {1e300, 2e300, 0};
    for (double &x : rows) x *= 1e300;
    BSmdptsbscv(3, 6, 3, 0, rows, knots, 1, pt, 1e-6, d, f, u, &rc[0]);
    EXPECT_TRUE(rc[0] != BSSUCC || (all_finite(d, 1) && all_finite(f, 3) && all_finite(u, 1)));
    BSmdptbezcv(3, 3, 0, rows, pt, 1e-6, 1.79e308, d, f, u, &rc[0]);
    EXPECT_TRUE(rc[0] != BSSUCC || (all_finite(d, 1) && all_finite(f, 3) && all_finite(u, 1)));
  }
  Input a, b;
  BScurve *ea = nullptr, *eb = nullptr;
  BSupthedeg(a.cv, 256, 0, &ea, &rc[0]);  // degrees 256 and 32767 are refused
  BSupthedeg(a.cv, 32767, 0, &ea, &rc[1]);
  EXPECT_TRUE(rc[0] == BSINARG && rc[1] == BSINARG && ea == nullptr);
  // BSupthedeg on knots scaled by 1e300 gives the poles of the unscaled curve.
  for (double &t : b.room.knots) t *= 1e300;
  BSupthedeg(a.cv, 6, 0, &ea, &rc[0]);
  BSupthedeg(b.cv, 6, 0, &eb, &rc[1]);
  ASSERT_TRUE(rc[0] == BSSUCC && rc[1] == BSSUCC && ea->num_poles == eb->num_poles);
  for (int32_t i = 0; i < 3 * ea->num_poles; ++i)
    EXPECT_NEAR(ea->poles[i], eb->poles[i], 1e-12 * (1 + std::fabs(ea->poles[i])));
  release(ea), release(eb);
}
