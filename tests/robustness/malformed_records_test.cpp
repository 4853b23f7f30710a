// Every exported routine that reads a curve record answers a malformed record with
// a status (3 for null record or arrays, -2 for inconsistent fields) instead of
// reading out of bounds, looping, or reporting NaNs as success. The table pairs
// each routine with each malformed record; run it under the sanitizer build to see
// overreads.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>

#include "support.hpp"
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kCap = 1024;  // every array of every record here holds kCap values

// A record with room for any curve a routine may write from the test curves.
struct Room {
  double poles[3 * kCap] = {};
  double knots[kCap] = {};
  double weights[kCap] = {};
  BScurve cv{};
  BScurve *bind() {
    cv = BScurve{};
    cv.poles = poles;
    cv.knots = knots;
    cv.weights = weights;
    cv.rational = 1;
    return &cv;
  }
};

// The well-formed curve every case starts from: order 4, 6 poles, rational with
// unit weights, knots 0 0 0 0 1 2 3 3 3 3 (or `order` and order + 3 poles).
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
    cv->order = order;
    cv->num_poles = n;
    cv->num_knots = n + order;
    for (int32_t i = 0; i < n + order; ++i)
      room.knots[i] = i < order ? 0.0 : i >= n ? double(n - order + 1) : double(i - order + 1);
    for (int32_t i = 0; i < n; ++i) {
      room.poles[3 * i] = i;
      room.poles[3 * i + 1] = (i * i) % 5;
      room.poles[3 * i + 2] = 0.5 * i;
      room.weights[i] = 1.0;
    }
  }
};

// Which property a case breaks: header fields and arrays, the knot domain (both
// O(1)), values that need a scan of the arrays, an order beyond fixed buffers
// (routines may refuse or handle it), or the arguments rather than the record.
enum Kind { kHeader, kDomain, kScan, kOrder, kParam, kDeriv };

struct Case {
  const char *name;
  Kind kind;
  std::function<void(Input &)> spoil;
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
};

// Routine flags: which argument cases apply; kHot: an evaluator that checks the
// record in O(1) only (array values may evaluate, but never to NaN with status 0);
// kRecord: a record utility that needs only the record's shape (any values copy
// or print); kBoolean: reports through its result only; kOwnWeights: has its own
// status for a zero weight and works with negative ones.
enum : unsigned {
  kTakesParam = 1,
  kTakesDeriv = 2,
  kHot = 4,
  kRecord = 8,
  kBoolean = 16,
  kOwnWeights = 32
};

Room g_out[64];
double g_buf[1 << 16];

// Releases result memory a routine handed out (when it wrongly succeeded).
void release(BScurve *&cv) {
  BSrc rc;
  if (cv != nullptr) BSfreeqelcv(cv, &rc);
  cv = nullptr;
}
void release(double *&p) {
  if (p != nullptr) BSdbgfree(p);
  p = nullptr;
}

struct Routine {
  const char *name;
  unsigned flags;
  std::function<BSrc(Input &)> call;
};

BSrc boolean_status(BSboolean ok) {
  return ok ? BSSUCC : BSFAIL;
}

const double kPoint[3] = {1.0, 2.0, 0.5};
const BSboolean kNo = 0;

const Routine kRoutines[] = {
    {"BScveval", kTakesParam | kTakesDeriv | kHot,
     [](Input &in) {
       BSrc rc;
       BScveval(in.cv, in.u, in.d, g_buf, &rc);
       return rc;
     }},
    {"BScveval_b", kTakesParam | kTakesDeriv | kHot,
     [](Input &in) {
       BSrc rc;
       int16_t flag;
       BScveval_b(&rc, in.cv, &in.u, &in.d, nullptr, &flag, g_buf, g_buf + 4096);
       return rc;
     }},
    {"BSrspl", kTakesDeriv | kRecord,
     [](Input &in) {
       BSrc rc;
       g_buf[3] = 1.0;
       BSrspl(&rc, &in.d, in.cv, g_buf);
       return rc;
     }},
    {"BScvarreval", kTakesParam | kHot,
     [](Input &in) {
       BSrc rc;
       BScvarreval(&rc, in.cv, &in.u, 1, 2, g_buf);
       return rc;
     }},
    {"BScvarrev0", kTakesParam | kHot,
     [](Input &in) {
       BSrc rc;
       BScvarrev0(&rc, in.cv, &in.u, 1, g_buf);
       return rc;
     }},
    {"BScvarrev0w", kTakesParam | kHot,
     [](Input &in) {
       BSrc rc;
       BScvarrev0w(in.cv, 1, &in.u, g_buf, &rc);
       return rc;
     }},
    {"BScvarrevt", kTakesParam | kHot,
     [](Input &in) {
       BSrc rc;
       BScvarrevt(in.cv, &in.u, 1, 1.0, g_buf, &rc);
       return rc;
     }},
    {"BScvarrevc", kTakesParam | kHot,
     [](Input &in) {
       BSrc rc;
       BScvarrevc(in.cv, 1, &in.u, 1.0, g_buf, g_buf + 8, g_buf + 16, &rc);
       return rc;
     }},
    {"BScvnormal", 0,
     [](Input &in) {
       BSrc rc;
       BScvnormal(&rc, in.cv, g_buf);
       return rc;
     }},
    {"BSlocknttol", kTakesParam | kHot,
     [](Input &in) {
       BSrc rc;
       BSlocknttol(in.cv, in.u, 1e-3, g_buf, &rc);
       return rc;
     }},
    {"BScnvtmekt", 0,
     [](Input &in) {
       BSrc rc;
       BScnvtmekt(0, in.cv, &rc);
       return rc;
     }},
    {"BScnvtomkt", 0,
     [](Input &in) {
       BSrc rc;
       BScnvtomkt(&rc, in.cv);
       return rc;
     }},
    {"BSadd_1kt_mul", kTakesParam,
     [](Input &in) {
       BSrc rc;
       BScurve *out = nullptr;
       BSadd_1kt_mul(in.cv, in.u, 2, 0, &out, &rc);
       release(out);
       return rc;
     }},
    {"BSadd_1kt_tot", kTakesParam,
     [](Input &in) {
       BSrc rc;
       BScurve *out = g_out[0].bind();
       BSadd_1kt_tot(in.cv, in.u, 2, 1, &out, &rc);
       return rc;
     }},
    {"BSadd_kts", kTakesParam,
     [](Input &in) {
       BSrc rc;  // the record's knots with u merged in, for one more pole
       const int32_t n = in.cv ? in.cv->num_poles : 6, k = in.cv ? in.cv->order : 4;
       static double t[kCap];
       int32_t m = 0;
       for (int32_t i = 0; i < std::clamp(n + k, 0, kCap - 2); ++i) {
         if (m == i && in.room.knots[i] > in.u) t[m++] = in.u;
         t[m++] = in.room.knots[i];
       }
       if (m == std::clamp(n + k, 0, kCap - 2)) t[m++] = in.u;
       BSadd_kts(in.cv, n + 1, t, g_out[0].bind(), &rc);
       return rc;
     }},
    {"BScollinmn3", 0,
     [](Input &in) {
       BSrc rc;
       BSboolean c;
       BScollinmn3(in.cv, &c, &rc);
       return rc;
     }},
    {"BScvsplit", kTakesParam,
     [](Input &in) {
       BSrc rc;
       BScvsplit(&rc, in.cv, &in.u, g_out[0].bind(), g_out[1].bind(), &kNo);
       return rc;
     }},
    {"BSactivsplt", kTakesParam,
     [](Input &in) {
       BSrc rc;
       const double ub = 2.5;
       BSactivsplt(&rc, in.cv, &in.u, &ub, g_out[0].bind(), &kNo);
       return rc;
     }},
    {"BSextrcvspn", 0,
     [](Input &in) {
       BSrc rc;
       const int32_t span = in.cv && in.cv->order > 0 ? in.cv->order : 4;
       BSextrcvspn(&rc, &span, in.cv, g_out[0].bind(), &kNo, &kNo);
       return rc;
     }},
    {"BSbreakcv", 0,
     [](Input &in) {
       BSrc rc;
       int32_t count = 0;
       BScurve **pieces = nullptr;
       if (BSbreakcv(&rc, in.cv, &count, &pieces, &kNo) && pieces != nullptr) {
         for (int32_t i = 0; i < count; ++i) release(pieces[i]);
         BSdbgfree(pieces);
       }
       return rc;
     }},
    {"BSrev_cv", 0,
     [](Input &in) {
       BSrc rc;
       BSrev_cv(&rc, in.cv);
       return rc;
     }},
    {"BScvtstclsd", 0,
     [](Input &in) {
       BSrc rc;
       BScvtstclsd(in.cv, &rc);
       return rc;
     }},
    {"BScvsetclsd", 0,
     [](Input &in) {
       BSrc rc;
       BScvsetclsd(in.cv, &rc);
       return rc;
     }},
    {"BSupthedeg", 0,
     [](Input &in) {
       BSrc rc;
       BScurve *out = nullptr;
       BSupthedeg(in.cv, 5, 0, &out, &rc);
       release(out);
       return rc;
     }},
    {"BScvtobz", 0,
     [](Input &in) {
       BSrc rc;
       int32_t count = 0;
       BScurve segs[64];
       for (int i = 0; i < 64; ++i) segs[i] = *g_out[i].bind();
       BScvtobz(&rc, in.cv, &count, segs);
       return rc;
     }},
    {"BSspn_t_bz", 0,
     [](Input &in) {
       BSrc rc;
       const int32_t span = 4;
       BSspn_t_bz(&rc, &span, in.cv, g_out[0].bind(), &kNo, &kNo);
       return rc;
     }},
    {"BSdcastelj", kTakesParam,
     [](Input &in) {
       BSrc rc;
       static double pts[16][16][3], w[16][16];
       if (in.cv && in.cv->num_poles == in.cv->order + 2 &&
           in.cv->num_knots == 2 * in.cv->order + 2)
         in.cv->num_poles -= 2, in.cv->num_knots -= 2;  // a Bezier curve: its first span
       BSdcastelj(&rc, in.cv, &in.u, pts, w);
       return rc;
     }},
    {"BStstcvcusp", 0,
     [](Input &in) {
       BSrc rc;
       BSboolean f;
       BStstcvcusp(&rc, in.cv, 4, &f);
       return rc;
     }},
    {"BSfndcvcsp", 0,
     [](Input &in) {
       BSrc rc;
       int32_t c;
       BSfndcvcsp(in.cv, &c, g_buf, &rc);
       return rc;
     }},
    {"BSfinddcont", kOwnWeights,
     [](Input &in) {
       BSrc rc;
       int32_t c, grades[kCap];
       BSfinddcont(in.cv, 1e-6, &c, g_buf, grades, &rc);
       return rc;
     }},
    {"BSendptinbx", 0,
     [](Input &in) {
       BSrc rc;
       BSboolean f;
       BSendptinbx(&rc, in.cv, &f);
       return rc;
     }},
    {"BSmdstptcv", 0,
     [](Input &in) {
       BSrc rc;
       BSmdstptcv(in.cv, kPoint, g_buf, g_buf + 1, g_buf + 4, &rc);
       return rc;
     }},
    {"BSmdstptscv", 0,
     [](Input &in) {
       BSrc rc;
       BSboolean near;
       BSmdstptscv(1, kPoint, in.cv, g_buf, g_buf + 1, g_buf + 4, &near, &rc);
       return rc;
     }},
    {"BSmdistptcv", 0,
     [](Input &in) {
       BSrc rc;
       int16_t ni = 0, np = 0;
       double *params = nullptr, *intervals = nullptr, dist;
       BSmdistptcv(in.cv, kPoint, &ni, &np, &params, &dist, &intervals, &rc);
       release(params), release(intervals);
       return rc;
     }},
    {"BSprptoncv", 0,
     [](Input &in) {
       BSrc rc;
       BSboolean on;
       BSprptoncv(&rc, in.cv, kPoint, g_buf, &on);
       return rc;
     }},
    {"BSprptnrcv", kTakesParam,
     [](Input &in) {
       BSrc rc;
       BSprptnrcv(in.cv, in.u, kPoint, g_buf, g_buf + 1, g_buf + 4, &rc);
       return rc;
     }},
    {"BSnormals", 0,
     [](Input &in) {
       BSrc rc;
       int32_t np = 0, ni = 0;
       double *params = nullptr, *intervals = nullptr;
       BSnormals(&rc, in.cv, kPoint, &np, &params, &ni, &intervals);
       release(params), release(intervals);
       return rc;
     }},
    {"BSadjpar", kTakesParam | kHot,
     [](Input &in) {
       BSrc rc;
       BSadjpar(in.cv, in.u, g_buf, &rc);
       return rc;
     }},
    {"BScv_copy", kRecord,
     [](Input &in) {
       BSrc rc;
       BScv_copy(&rc, in.cv, g_out[0].bind());
       return rc;
     }},
    {"BSprintbspc", kRecord | kBoolean,
     [](Input &in) {
       std::FILE *f = std::tmpfile();
       const BSboolean ok = BSprintbspc(f, "c", in.cv, 1);
       std::fclose(f);
       return boolean_status(ok);
     }},
    {"BSprthexcv", kRecord | kBoolean,
     [](Input &in) {
       std::FILE *f = std::tmpfile();
       const BSboolean ok = BSprthexcv(f, in.cv);
       std::fclose(f);
       return boolean_status(ok);
     }},
};

bool all_finite(const double *v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

class MalformedRecords : public kwtest::GuardedTest {};

TEST_F(MalformedRecords, EveryCurveRoutineAnswersWithAStatus) {
  for (const Routine &r : kRoutines) {
    {  // the well-formed curve passes, so the failures below come from the spoiling
      Input in;
      EXPECT_EQ(r.call(in), BSSUCC) << r.name << " on the well-formed curve";
      EXPECT_EQ(BSlist_al.count, 0) << r.name << " leaked on the well-formed curve";
    }
    for (const Case &c : kCases) {
      if ((c.kind == kParam && !(r.flags & kTakesParam)) ||
          (c.kind == kDeriv && !(r.flags & kTakesDeriv)))
        continue;
      SCOPED_TRACE(std::string(r.name) + " / " + c.name);
      Input in;
      c.spoil(in);
      std::fill(g_buf, g_buf + 64, 0.0);
      const BSrc rc = r.call(in);
      EXPECT_EQ(BSlist_al.count, 0) << "leaked result or scratch memory";
      const bool values = c.kind == kDomain || c.kind == kScan;
      const bool sign = c.name == std::string("negative weight");
      if (c.kind == kOrder || (values && (r.flags & kRecord)) ||
          (c.kind == kScan && (r.flags & kHot)) || (sign && (r.flags & kOwnWeights))) {
        if (rc == BSSUCC && (r.flags & kHot)) {
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
      if (std::string(c.name).rfind("null", 0) == 0 && !(r.flags & kBoolean)) {
        // a rational source without weights is an inconsistent record to the copy
        EXPECT_TRUE(rc == BSNULLPTR || (r.flags & kRecord && rc == BSINARG)) << rc;
      }
    }
  }
}

}  // namespace
