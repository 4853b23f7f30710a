// Every exported routine of the public header, called with valid arguments, meets
// its failure paths: the k-th allocation failing (once, and from then on) until a
// run sees no failure, and status injection at rate 1. A failing run reports a
// failure status (a boolean result FALSE), leaves the caller's outputs untouched,
// hands out no memory and leaves no block live. The table is checked against the
// header, so a routine added there must join it.
#include <cfloat>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <type_traits>

#include "support.hpp"

namespace {

// How a routine meets the driver.
enum Kind {
  kEpilogue,      // leaves through the epilogue: injection gives 58 and FALSE
  kNoEpilogue,    // elementary member, span search, tolerance setter: injection passes by
  kNoStatus,      // no status word: swept for crashes and leaks only
  kAllocator,     // returns memory or null; the row reports null as -13 (33 for scratch)
  kAlwaysFails,   // an out-of-line form that always reports -2
  kDegeneracy59,  // a join whose degeneracy test of an input fails (injected, or out of
                  // memory): 59 with the result complete
  kInnerFails,    // reports any failure inside as -1
  kPartial,       // documented to keep what it found before a failure: outputs not compared
  kRootPartial,   // kPartial, and the root finder's work memory is reported as -13
  kEitherMemory,  // documented to report a scratch failure as -13 or a result one as 33
};

struct Row {
  const char *name;
  Kind kind;
  double (*call)(BSrc *rc);
};

template <class F>
double value_of(F &&f) {
  if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
    f();
    return 0.0;
  } else {
    return static_cast<double>(f());
  }
}
// clang-format off
#define ROW(name, kind, ...) \
  {#name, kind, []([[maybe_unused]] BSrc *rc) { return value_of([&] { return name(__VA_ARGS__); }); }}
#define EP(name, ...) ROW(name, kEpilogue, __VA_ARGS__)  // the common kind
#define FN(name, kind, ...) {#name, kind, []([[maybe_unused]] BSrc *rc) -> double __VA_ARGS__}
// A call whose pointer outputs are the fields of `o` (an Out).
#define OUTK(name, kind, ...) \
  FN(name, kind, { Out o; const double v = value_of([&] { return name(__VA_ARGS__); }); return o.done(v, rc); })
#define OUT(name, ...) OUTK(name, kEpilogue, __VA_ARGS__)
// clang-format on

// ---- Outputs: filled with a sentinel before every run, checked after a failure.
constexpr unsigned char kMark = 0x5A;
double g_out[4096];
int32_t g_i[512];
int16_t g_f[64];
// ---- Inputs a routine may change in place: rebuilt on every run.
double g_in[4096];
int32_t g_ii[256];
int g_in_at = 0, g_ii_at = 0;

double *in(const double *from, int n) {
  double *p = g_in + g_in_at;
  std::copy(from, from + n, p);
  g_in_at += n;
  return p;
}
double *in(std::initializer_list<double> v) {
  return in(v.begin(), static_cast<int>(v.size()));
}
int32_t *ii(std::initializer_list<int32_t> v) {
  int32_t *p = g_ii + g_ii_at;
  std::copy(v.begin(), v.end(), p);
  g_ii_at += static_cast<int>(v.size());
  return p;
}
// Pointers to constants: I<3>(), S<1>(), D<0.5>().
template <class T, T V>
const T *constant() {
  static const T v = V;
  return &v;
}
template <int32_t V>
constexpr auto I = constant<int32_t, V>;
template <int16_t V>
constexpr auto S = constant<int16_t, V>;
template <double V>
constexpr auto D = constant<double, V>;

bool all_marked(const void *p, std::size_t n) {
  const auto *b = static_cast<const unsigned char *>(p);
  return std::all_of(b, b + n, [](unsigned char c) { return c == kMark; });
}

// A curve record over arrays of its own: an input fixture, or an output room whose
// arrays hold the sentinel (touched() tells whether a call wrote into it).
const double kCubicPoles[] = {0, 0, 0, 1, 2, 0, 2, -1, 0, 3, 3, 0, 4, 0, 0, 5, 1, 0};
const double kCubicKnots[] = {0, 0, 0, 0, 1, 2, 3, 3, 3, 3};
const double kBezierKnots[] = {0, 0, 0, 0, 1, 1, 1, 1};
const double kW = 0.70710678118654752;
const double kArcPoles[] = {1, 0, 0, kW, kW, 0, 0, 1, 0}, kArcWeights[] = {1, kW, 1};
const double kArcKnots[] = {0, 0, 0, 1, 1, 1};
const double kLinePoles[] = {2.5, -5, 0, 2.5, 5, 0}, kLineKnots[] = {0, 0, 1, 1};
const double kPolyPoles[] = {0, 1, 0, 2, -1, 0, 4, 1, 0}, kPolyKnots[] = {0, 0, 0.5, 1, 1};
struct Curve {
  double poles[3 * 64], knots[96], weights[64], bdrys[8];
  BScurve cv, saved;
  bool room_ = false;
  BScurve *make(int16_t order, int32_t n, const double *p, const double *k, const double *w,
                double scale = 1.0) {
    room_ = false;
    for (int i = 0; i < 3 * n; ++i) poles[i] = p[i] * scale;
    std::copy(k, k + n + order, knots);
    for (int i = 0; w != nullptr && i < n; ++i) weights[i] = w[i] * scale;
    const BSboolean r = w != nullptr;
    cv = BScurve{order, FALSE, FALSE, n,    poles, n + order, knots, r, r ? weights : nullptr,
                 TRUE,  FALSE, 0,     bdrys};
    return &cv;
  }
  BScurve *cubic() { return make(4, 6, kCubicPoles, kCubicKnots, nullptr); }
  BScurve *bezier() { return make(4, 4, kCubicPoles, kBezierKnots, nullptr); }
  BScurve *arc(double s = 1.0) { return make(3, 3, kArcPoles, kArcKnots, kArcWeights, s); }
  BScurve *line() { return make(2, 2, kLinePoles, kLineKnots, nullptr); }
  BScurve *polyline() { return make(2, 3, kPolyPoles, kPolyKnots, nullptr); }
  BScurve *point() {  // the start of the cubic as a curve
    make(2, 2, kCubicPoles, kLineKnots, nullptr);
    std::fill(poles, poles + 6, 0.0);
    return &cv;
  }
  BScurve *closed() { return cubic(), cv.phy_closed = TRUE, &cv; }
  BScurve *shifted() {  // the cubic moved to start where it ends
    cubic();
    for (int i = 0; i < 6; ++i) poles[3 * i] += 5, poles[3 * i + 1] += 1;
    return &cv;
  }
  BScurve *room(BSboolean rational = FALSE) {
    std::memset(poles, kMark, sizeof poles), std::memset(knots, kMark, sizeof knots);
    std::memset(weights, kMark, sizeof weights);
    cv = BScurve{4, FALSE, FALSE, 0, poles, 0, knots, rational, weights, FALSE, FALSE, 0, bdrys};
    saved = cv;
    room_ = true;
    return &cv;
  }
  bool touched() const {
    return room_ && (std::memcmp(&cv, &saved, sizeof cv) != 0 || !all_marked(poles, sizeof poles) ||
                     !all_marked(knots, sizeof knots) || !all_marked(weights, sizeof weights));
  }
};
Curve g_a, g_b, g_c, g_d, g_segs[8];
BScurve g_seglist[8];

double g_table[16][16][3], g_wtable[16][16];  // de Casteljau tables, not compared
const double kP0[3] = {0, 0, 0}, kP1[3] = {1, 0, 0}, kP2[3] = {0, 1, 0}, kP3[3] = {1, 1, 0};
const double kMid[3] = {0.5, 0, 0}, kFar[3] = {2, 0, 0}, kUp[3] = {0, 0, 1};
const double kAbove[3] = {2.5, 5, 0};
const double kLine[6] = {0, 0, 0, 1, 0, 0}, kLine2[6] = {0, 1, 1, 1, 1, 1};
const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, kI2[4] = {1, 0, 0, 1};
const double kCollinear[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2}, kTwo[6] = {1, 2, 3, 4, 5, 6};
const double kSquare[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
const double kFour[12] = {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0};
const int8_t kFlag[1] = {1};
const double kMany[64] = {1, 2, 3};
const double kOnes[4] = {1, 1, 1, 1}, kPars[4] = {0, 0.3, 0.6, 1}, kEval[3] = {0.5, 1.5, 2.5};
const int32_t kSpans[4] = {3, 3, 3, 3};
// The cubic in coordinate-major rows (x, y, z), and its first span as Bezier rows.
const double kRows[18] = {0, 1, 2, 3, 4, 5, 0, 2, -1, 3, 0, 1, 0, 0, 0, 0, 0, 0};
const double kBezRows[12] = {0, 1, 2, 3, 0, 2, -1, 3, 0, 0, 0, 0};
const double kArcRows[12] = {1, kW, 0, 0, kW, 1, 0, 0, 0, 1, kW, 1};
const double kSeries[4] = {1, 2, 3, 4}, kQuad[3] = {-0.5, 0, 1};
// A composite Legendre curve of two quadratic segments on [0, 1] and [1, 2].
const int32_t kDeg[2] = {2, 2}, kKind[2] = {0, 0}, kBase[2] = {1, 1};
double kSeg0[9] = {0.5, 0.5, 0, 0, 0, 0.2, 0, 0, 0}, kSeg1[9] = {1.5, 0.5, 0, 0, 0, 0.2, 0, 0, 0};
double *const kSegs[2] = {kSeg0, kSeg1};
const double kBreaks[3] = {0, 1, 2}, kStartEnd[2] = {0, 2};
// The same series component-major over segments, for the chain routines.
const double kChain[18] = {0.5, 0.5, 0, 1.5, 0.5, 0, 0, 0, 0.2, 0, 0, 0.2, 0, 0, 0, 0, 0, 0};

// Texts for the readers, written once by the library's own writers; a periodic fit set-up.
std::string g_dump, g_record;
double g_ring[24], g_ring_pars[8], g_ring_knots[16];
int32_t g_ring_spans[8], g_ring_poles = 0;
FILE *g_null = nullptr;
const double *g_nodes = nullptr;
std::string g_path;

struct Reader {
  FILE *f;
  explicit Reader(const std::string &s)
      : f(fmemopen(const_cast<char *>(s.data()), s.size(), "r")) {}
  ~Reader() { std::fclose(f); }
};

// The surface of a bilinear patch.
double g_sf_poles[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1}, g_sf_knots[4] = {0, 0, 1, 1};
BSsurface g_surface{2, 2,          0, 0,       0, 0, 2, 2, g_sf_poles, 4, g_sf_knots,
                    4, g_sf_knots, 0, nullptr, 0, 0, 0, 1, 0,          0, nullptr};

// Result memory a call hands out: released after success; after a failure the call
// must have handed out nothing.
void give_back(BSrc rc, void *p) {
  EXPECT_TRUE(rc == 0 || p == nullptr) << "result memory after a failure";
  if (p != nullptr) BSdbgfree(p);
}
void give_back(BSrc rc, BScurve *c) {
  BSrc r;
  EXPECT_TRUE(rc == 0 || c == nullptr) << "a curve after a failure";
  if (c != nullptr) BSfreeqelcv(c, &r);
}
void give_back(BSrc rc, BScurve **list, int32_t n) {
  BSrc r;
  EXPECT_TRUE(rc == 0 || list == nullptr) << "a curve list after a failure";
  for (int32_t i = 0; list != nullptr && i < n; ++i) BSfreeqelcv(list[i], &r);
  if (list != nullptr) BSdbgfree(list);
}
void give_back(BSrc rc, double **series) {
  EXPECT_TRUE(rc == 0 || series == nullptr) << "series after a failure";
  BSfrecmplgd(&series);
}
template <class... P>
double held(double v, const BSrc *rc, P... p) {
  (give_back(*rc, p), ...);
  return v;
}
double allocated(BSrc *rc, void *p, void (*release)(void *), BSrc failure) {
  *rc = p != nullptr ? BSSUCC : failure;
  if (p != nullptr) release(p);
  return 0;
}

// Status injection paused while a row prepares its input with the library.
struct Quiet {
  double rate = BSglobaldebugfailurerate;
  Quiet() { BSglobaldebugfailurerate = 0.0; }
  ~Quiet() { BSglobaldebugfailurerate = rate; }
};
// A record of order k and n poles made with injection paused (null and the status
// of the allocation when it fails).
BScurve *quiet_curve(int16_t k, int32_t n, BSrc *rc) {
  Quiet q;
  BScurve *c = nullptr;
  BSallocqelcv(k, n, FALSE, 0, &c, rc);
  return c;
}

// Everything a call may hand out through its pointer arguments: released after
// success; after a failure nothing may have been handed out, and the curve-curve
// counts and flags are zero.
struct Out {
  BScurve *c = nullptr, **loops = nullptr;
  int32_t n = 0, m = 0, d = 0, ni = 0, no = 0, *deg = nullptr, *kind = nullptr, *base = nullptr;
  int16_t n16[2] = {};
  BSboolean ia = 0, oa = 0;
  double *p[6] = {}, **series = nullptr;
  double done(double v, const BSrc *rc) {
    EXPECT_TRUE(*rc == 0 || ni + no + ia + oa == 0) << "counts or flags after a failure";
    give_back(*rc, loops, n), give_back(*rc, series);
    return held(v, rc, c, p[0], p[1], p[2], p[3], p[4], p[5], deg, kind, base);
  }
};
#define CVCV_OUT                                                                                   \
  0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &o.ni, &o.no, &o.ia, &o.oa, &o.p[0], \
      &o.p[1], &o.p[2], &o.p[3], &o.p[4], &o.p[5]

// Records the sort orders by their leading point.
struct Record {
  const double *p;
  double pad;
} g_recs[3];
const double *const kTriples[2] = {kP0, kP1};

// Releases a table and its first entries, depth levels down.
void drop_nested(void *p, int depth) {
  if (p != nullptr && depth > 0) drop_nested(*static_cast<void **>(p), depth - 1);
  if (p != nullptr) BSdbgfree(p);
}

double minus_one(double u, void *, BSrc *) {
  return u - 1.0;
}

// The trace, injection and memory checkers the driver itself uses, and the console
// dialogues: not driven here (tests/frame and tests/records cover them).
const char *const kInstruments[] = {"BSsetrc",    "BSdbgrc",     "BSinitfail",  "BSdeinifail",
                                    "BSinit20",   "BSdbginit",   "BSmemclean",  "BSdbgfree",
                                    "BSdbgsfree", "BSqememfr",   "BSsetqemem",  "BSchkmem1",
                                    "BSchkmemo",  "BSpoisonmem", "BSpoisonstk", "BSlockmem",
                                    "BSchklmem",  "BSchangetol", "BSprtbspcv",  "BSprtbspsf"};

// ---- Frame, records, dumps -------------------------------------------------
const Row kFrameRows[] = {
    ROW(BSdbgprint, kNoStatus, g_null),
    ROW(BSinit, kNoStatus),
    FN(BSdbgalloc, kAllocator, { return allocated(rc, BSdbgalloc(64), BSdbgfree, BSNOMEMORY); }),
    FN(BSdbgcalloc, kAllocator,
       { return allocated(rc, BSdbgcalloc(8, 8), BSdbgfree, BSNOMEMORY); }),
    FN(BSdbgsalloc, kAllocator,
       { return allocated(rc, BSdbgsalloc(64), BSdbgsfree, BSNOSTKMEMORY); }),
    FN(BSqememal, kAllocator, { return allocated(rc, BSqememal(64), BSqememfr, BSNOMEMORY); }),
    FN(BSdbgralloc, kAllocator,
       {
         void *p = BSdbgalloc(16), *q = p != nullptr ? BSdbgralloc(p, 128) : nullptr;
         if (p != nullptr && q == nullptr) BSdbgfree(p);
         return allocated(rc, q, BSdbgfree, BSNOMEMORY);
       }),
    ROW(BSchangepar, kNoEpilogue, rc, 13, 1e-15),
    ROW(BSchgdeppar, kNoEpilogue, 1e-6, rc),
    ROW(BSstolmthd, kNoStatus, 0),
    OUT(BSallocqelcv, 4, 6, TRUE, 1, &o.c, rc),
    EP(BSptcvgen, kP1, 4, TRUE, g_c.room(TRUE), rc),
    FN(BSfreeqelcv, kNoEpilogue,
       {
         BScurve *c = quiet_curve(4, 6, rc);
         return *rc == 0 ? (BSfreeqelcv(c, rc), 0) : 0;
       }),
    FN(BSreallocqelcv, kEpilogue,
       {
         BScurve *c = quiet_curve(4, 6, rc);
         if (*rc == 0) BSreallocqelcv(4, 8, 0, &c, rc);
         return held(0, rc, c);
       }),
    EP(BScv_copy, rc, g_a.cubic(), g_c.room()),
    ROW(BSstallcvfl, kAlwaysFails, 4, 6, 0, &(g_d.cv = BScurve{}), rc),
    EP(BSstfrecvfl, rc, &(g_d.cv = BScurve{})),
    ROW(BSprintbspc, kNoStatus, g_null, "c", g_a.cubic(), TRUE),
    ROW(BSprintbsps, kNoStatus, g_null, "s", &g_surface, TRUE),
    ROW(BSprthexcv, kNoStatus, g_null, g_a.arc()),
    ROW(BSprintbscv, kNoStatus, g_path.c_str(), g_a.cubic()),
    ROW(BSprintbssf, kNoStatus, g_path.c_str(), &g_surface),
    OUT(BSreadcv, Reader(g_dump).f, &o.c, rc),
    FN(BSreadln, kNoStatus, { return BSreadln(Reader(g_dump).f), 0; }),
    ROW(BSwritehex, kNoStatus, g_null, reinterpret_cast<const unsigned char *>(kTwo), 16),
    FN(BSreadhex, kNoStatus,
       {
         return BSreadhex(Reader(" 0x1 0x2 0x3").f, reinterpret_cast<unsigned char *>(g_out), 3);
       }),
    FN(BSreadd, kNoStatus, { return BSreadd(Reader("1.5 ").f, g_out); }),
    FN(BSreadhexd, kNoStatus, { return BSreadhexd(Reader("1.5 2.5 ").f, 0, 2, g_out); }),
};

// ---- Vectors, lines, planes, frames, point sets ------------------------------
const Row kVectorRows[] = {
    ROW(BSdotp, kNoEpilogue, rc, kP1, kP2),
    ROW(BScrossp, kNoEpilogue, rc, kP1, kP2, g_out),
    ROW(BSlenvec, kNoEpilogue, rc, kP3),
    ROW(BSlenvecsq, kNoEpilogue, rc, kP3),
    ROW(BSmkvec, kNoEpilogue, rc, g_out, kP0, kP1),
    ROW(BSdistptpt, kNoEpilogue, rc, kP0, kP3),
    ROW(BSdistptpts, kNoEpilogue, rc, kP0, kP3),
    ROW(BSdistwpwp, kNoEpilogue, rc, kP1, D<2.0>(), kP3, D<1.0>()),
    ROW(BSdistwpwps, kNoEpilogue, rc, kP1, D<2.0>(), kP3, D<1.0>()),
    EP(BSdistptpl, rc, kP3, kP0, kUp, g_out),
    EP(BSproj1, rc, kP0, kP1, kP3, g_out),
    EP(BSdistnct2, rc, kP0, kP1),
    EP(BSnorvec, rc, in({3, 4, 0})),
    EP(BSproj0, rc, kP3, kLine, g_out),
    EP(BSdistptli, rc, kP3, kP0, kP1, g_out),
    ROW(BSang2vec, kNoEpilogue, kP1, kP2, kUp, g_out, rc),
    EP(BSprptonln, kP0, kP1, kMid, g_i, g_out, rc),
    EP(BSpt_on_lne, rc, kP0, kP1, kMid, g_out, g_f),
    EP(BSpt_on_ln2, rc, kP0, kP1, kMid, g_out, g_f),
    EP(BSroto, rc, kP0, kUp, S<0>(), D<1.0>(), kP1, g_out),
    EP(BSbasisvect, rc, kUp, g_out, g_out + 3, g_out + 6),
    EP(BStrans2, kUp, TRUE, g_out, rc),
    EP(BStrans1, rc, kP0, kP1, kP3, kUp, g_out, g_out + 3, g_out + 12),
    EP(BSlocalcord, rc, kP0, kP1, kP2, S<1>(), g_out),
    EP(BSavgpts, rc, 2, kTwo, nullptr, g_out),
    EP(BSptoldtnw, rc, kP0, kIdentity, D<1.0>(), kP3, g_out),
    EP(BSptnwtold, rc, kP0, kIdentity, D<1.0>(), kP3, g_out),
    EP(BSptsoldtnw, kP0, kIdentity, 1.0, 2, FALSE, kTwo, nullptr, g_out, rc),
    EP(BSptsnwtold, kP0, kIdentity, 1.0, 2, FALSE, kTwo, nullptr, g_out, rc),
    EP(BScumdist, rc, I<2>(), kTwo, nullptr, g_out),
    EP(BSgmprppts3, 4, kSquare, 1e-9, g_i, g_out, g_out + 3, rc),
    EP(BScollinmn2, 3, kCollinear, nullptr, g_f, rc),
    EP(BScollin, rc, kP0, kMid, kP1),
    EP(BScollinmny, rc, I<3>(), kCollinear),
    EP(BSptlnplan, 4, 0, kSquare, nullptr, g_i, g_out, rc),
    EP(BSplanar2, 4, kSquare, kOnes, g_i, g_out, rc),
    EP(BStst_plan, 4, kSquare, nullptr, g_f, g_out, rc),
    EP(BSptlngen, rc, kP0, kP1, g_c.room(), g_i),
    EP(BSlngen, rc, kP0, kP1, g_c.room(), g_i),
    EP(BSpoint3, rc, kP0, kP1, kP2, kP3),
    EP(BSrelplnln, rc, kP0, kP1, kP2, kP3),
    EP(BSlldist, rc, kP0, kUp, kP1, kP2, g_f, g_out, g_out + 1, g_out + 4),
    EP(BSxln, rc, kP0, kP1, kMid, in({0.5, 1, 0}), g_out),
    EP(BSpl_pl, kP0, kUp, kP0, kP2, g_i, g_out, g_out + 3, rc),
    EP(BSlnendpt, kP0, kP1, kMid, kFar, g_i, g_out, g_out + 6, g_out + 8, g_f, rc),
    ROW(BSdistll, kPartial, rc, kLine, kLine2, g_i, g_out, g_out + 1, g_out + 7),
};

// ---- Linear algebra, sorting -------------------------------------------------
const Row kNumericRows[] = {
    EP(BShousehld, rc, ii({3}), ii({3}), in(kIdentity, 9), ii({1}), in({1, 2, 3}), g_out),
    EP(BShshldtran, 3, 3, 1, in(kIdentity, 9), in({1, 2, 3}), rc),
    ROW(BShoustrial, kNoStatus, 4, 2, 1, in({1, 0, 1, 0, 0, 1, 1, 1, 1, 2, 3, 4})),
    EP(BShoustrian, 3, 2, in({1, 0, 1, 0, 1, 1}), g_out, rc),
    EP(BShoushcstf, 2, 2, kI2, in({1, 1, 0, 1}), g_out, rc),
    EP(BShoushcstl, 2, 2, kI2, in({1, 1, 0, 1}), kI2, g_out, g_out + 4, g_out + 8, rc),
    EP(BShoushcstm, 2, 2, 2, in({1, 0, 0, 1, 1, 0, 0, 1}), in({1, 1, 0, 1, 1, 0, 1, 1}), g_out,
       g_out + 8, rc),
    ROW(BShouslbtR, kNoStatus, 2, 2, in({1, 0, 0, 1, 1, 0, 0, 1}), in({0.5, 0, 0, 0.5}),
        in({1, 2, 3, 4}), g_out),
    ROW(BShouslbR, kNoStatus, 2, 2, in({1, 0, 0, 1, 1, 0, 0, 1}), in({0.5, 0, 0, 0.5}),
        in({1, 2, 3, 4}), g_out),
    EP(BShouslgbsc, 2, 2, 2, in({1, 0, 0, 1, 1, 0, 0, 1}), in({1, 1, 0, 1, 1, 0, 1, 1}), 1,
       in({1, 2, 3, 4, 5, 6}), g_out, rc),
    EP(BSbndhshdtr, in({1, 0, 0, 1, 1, 1}), 1, ii({3}), 2, ii({0}), 1, in({1, 2, 3}), rc),
    EP(BSbndhsback, in({2, 1, 0, 1}), 1, 2, ii({0}), 1, 0, in({1, 1}), rc),
    EP(BSbndhshold, in({1, 0, 0, 1, 1, 1}), 1, ii({3}), 2, ii({0}), 1, in({1, 2, 3}), rc),
    EP(BSdecomp, rc, ii({3}), in(kIdentity, 9), &(g_f[40] = 0), nullptr),
    EP(BSsolve, rc, ii({3}), kIdentity, in({1, 2, 3})),
    EP(BSsingval, 3, 2, in({1, 0, 1, 0, 1, 1}), g_out, g_out + 6, g_out + 8, rc),
    EP(BSsngvald2v, 3, in({1, 0, 1, 0, 1, 1}), g_out, g_out + 2, rc),
    EP(BSsngvald3v, 3, in({1, 0, 1, 0, 1, 1, 0, 0, 2}), g_out, g_out + 3, rc),
    EP(BSsngvaljc3, 3, in({1, 0, 1, 0, 1, 1, 0, 0, 2}), g_out, g_out + 3, rc),
    EP(BSmod_gauss, kPars, kPars, kOnes, TRUE, in(kMany, 24), 2, 12, rc),  // scratch
    EP(BSquicksort, rc, ii({0}), ii({2}), 0, in({3, 1, 2})),
    EP(BStagsort, rc, ii({3}), kTwo, g_i),
    EP(BStagsorti, ii({3}), ii({3, 1, 2}), g_i, rc),
    EP(BSsort, 2, BStrplcomp, 3,
       (g_recs[0] = {kP3, 0}, g_recs[1] = {kP0, 0}, g_recs[2] = {kP1, 0}, g_recs), rc),
    ROW(BStrplcomp, kNoStatus, kTriples, kTriples + 1, rc),  // the sort's status word
    EP(BSsorttrpls, 3, std::array<double *, 3>{in({1, 1, 0}), in({0, 0, 0}), in({1, 0, 0})}.data(),
       rc),
};

// ---- Knots, evaluation, insertion, split, Bezier pieces, continuity ----------
const Row kSplineRows[] = {
    EP(BScvkttol2, 4, kCubicKnots, 6, kCubicPoles, nullptr, g_out, rc),
    ROW(BSfindspn, kNoEpilogue, rc, S<4>(), I<6>(), kCubicKnots, D<1.5>(), &(g_ii[200] = 3)),
    ROW(BSfindspnr, kNoEpilogue, 4, 6, kCubicKnots, 1.5, g_i, rc),
    EP(BSfndspnarr, 4, 6, 3, kEval, kCubicKnots, g_i, rc),
    EP(BSnorkts, rc, S<4>(), I<6>(), in(kCubicKnots, 10)),
    EP(BSgetmult, rc, S<4>(), I<5>(), kCubicKnots, g_i, g_out, g_i + 1),
    EP(BSfindmkts, rc, S<4>(), I<6>(), kCubicKnots, D<1e-9>(), g_i, g_out, g_i + 1),
    EP(BSchrdlkts, rc, I<6>(), kCubicPoles, S<4>(), S<0>(), g_out),
    EP(BSnodevals, 4, 10, kCubicKnots, 1, g_i, g_out, rc),
    EP(BSnodvalrg, 4, TRUE, 10, kCubicKnots, 1, 1e-9, TRUE, in({0.5, 2.5}), g_i, g_out, rc),
    EP(BScveval, g_a.cubic(), 1.5, 1, g_out, rc),
    EP(BScveval0, rc, 4, kCubicPoles, nullptr, kCubicKnots, 4, 1.5, g_out),
    EP(BScveval1, rc, 3, kArcPoles, kArcWeights, kArcKnots, 2, 0.5, g_out),
    EP(BScveval2, rc, 4, kCubicPoles, nullptr, kCubicKnots, 4, 1.5, g_out),
    EP(BSmansf0, rc, 4, kCubicKnots, 4, 1.5, g_out),
    EP(BSmansf1, rc, 4, kCubicKnots, 4, 1.5, g_out, g_out + 4),
    EP(BSmansf2, rc, 4, kCubicKnots, 4, 1.5, g_out, g_out + 4, g_out + 8),
    // Span 4 of the cubic at u = 1.5: reciprocal knot differences and distances to the knots.
    ROW(BScveval_h, kNoStatus, 3, 3, 1, in({1, 2, 3, 4, 2, -1, 3, 0, 0, 0, 0, 0}),
        in({0, 0, 0, 0, 0, 0.5, 1.0 / 3, 0.5, 0, 0, 0.5, 0.5, 0, 0, 0, 1}), in({0, 1.5, 1.5, 0.5}),
        g_out),
    EP(BSsetder_cv, 3, TRUE, 1, in({1, 2, 3, 2, 1, 1, 1, 1}), g_out, rc),
    EP(BSbinomcoef, 4, g_out, rc),
    EP(BScveval_b, rc, g_a.cubic(), D<1.0>(), I<1>(), nullptr, g_f, g_out, g_out + 8),
    EP(BSbspl, rc, kArcPoles, kArcWeights, kArcKnots, S<3>(), S<1>(), I<2>(), I<1>(), D<0.5>(),
       g_out),
    EP(BSrspl, rc, I<1>(), g_a.arc(), in({1, 1, 0, 1, 0, 1, 0, 0})),
    EP(BScvevaln, 3, 6, 3, kRows, kCubicKnots, 1.5, -1, 1, g_out, rc),
    EP(BSevalbsp, 3, 6, 3, FALSE, kRows, kCubicKnots, 1.5, 1, g_out, rc),
    EP(BScvarreval, rc, g_a.cubic(), kEval, 3, 1, g_out),
    EP(BScvarrev0, rc, g_a.cubic(), kEval, 3, g_out),
    EP(BScvarrev0w, g_a.arc(), 2, kPars + 1, g_out, rc),
    EP(BScvarrevt, g_a.cubic(), kEval, 3, 1.0, g_out, rc),
    EP(BScvarrevc, g_a.cubic(), 3, kEval, 1.0, g_out, g_out + 3, g_out + 6, rc),
    EP(BSwght_p, rc, kTwo, kTwo, I<2>(), g_out),
    EP(BSunwght_p, rc, kTwo, kTwo, I<2>(), g_out),
    EP(BScvnormal, rc, g_a.cubic(), g_out),
    EP(BSlocknttol, g_a.cubic(), 1.5, 1e-3, g_out, rc),
    EP(BScnvtmekt, 0, g_a.cubic(), rc),
    EP(BScnvtomkt, rc, g_a.cubic()),
    OUT(BSadd_1kt_mul, g_a.arc(), 0.5, 2, FALSE, &o.c, rc),
    OUT(BSadd_1kt_tot, g_a.cubic(), 1.5, 2, FALSE, &o.c, rc),
    EP(BSadd_ekt, rc, g_a.cubic(), D<0.0>(), I<1>()),
    EP(BSadd_kts, g_a.cubic(), 7, in({0, 0, 0, 0, 1, 1.5, 2, 3, 3, 3, 3}), g_c.room(), rc),
    EP(BSinsertmkt, 4, 3, 6, kRows, kCubicKnots, 1, D<1.5>(), g_out, g_out + 32, rc),
    ROW(BSinsertkt, kNoStatus, 4, 3, 6, kRows, kCubicKnots, 4, 1.5, g_out),
    EP(BSinspararr, 2, kPars, ii({2}), g_i, g_out, rc),
    EP(BScollinmn3, g_a.arc(), g_f, rc),
    FN(BScvsplit, kEpilogue,
       {  // arrays left null: the call allocates them
         BScurve l{}, r{};
         const BSboolean ok = BScvsplit(rc, g_a.cubic(), D<1.5>(), &l, &r, S<1>());
         return held(ok, rc, l.poles, l.knots, r.poles, r.knots);
       }),
    EP(BSactivsplt, rc, g_a.cubic(), D<1.0>(), D<1.5>(), g_c.room(), S<1>()),
    EP(BSextrcvspn, rc, I<4>(), g_a.cubic(), g_c.room(), S<1>(), S<1>()),
    FN(BSbreakcv, kEpilogue,
       {
         int32_t count = 0;
         BScurve **pieces = nullptr;
         g_a.cubic()->knots[5] = g_a.cv.knots[6] = 1;  // a C0 knot: two pieces
         const BSboolean ok = BSbreakcv(rc, &g_a.cv, &count, &pieces, S<1>());
         give_back(0, pieces, count);  // the pieces made before a failure stay in the list
         return ok;
       }),
    EP(BSrev_cv, rc, g_a.cubic()),
    EP(BScvtstclsd, g_a.cubic(), rc),
    EP(BScvsetclsd, g_a.closed(), rc),
    OUT(BSupthedeg, g_a.arc(), 3, FALSE, &o.c, rc),
    FN(BSnewktr, kEpilogue,
       {
         double *k = static_cast<double *>(BSdbgalloc(10 * sizeof(double)));
         if (k == nullptr) return *rc = BSNOMEMORY, 0;
         std::copy(kCubicKnots, kCubicKnots + 10, k);
         BSnewktr(3, 5, FALSE, 4, &k, g_i, rc);
         BSdbgfree(k);
         return 0;
       }),
    FN(BScvtobz, kPartial,
       {
         for (int i = 0; i < 8; ++i) g_seglist[i] = *g_segs[i].room();
         return BScvtobz(rc, g_a.cubic(), g_i, g_seglist);
       }),
    EP(BSspn_t_bz, rc, I<4>(), g_a.cubic(), g_c.room(), S<1>(), S<1>()),
    EP(BSdcastelj, rc, g_a.bezier(), D<0.5>(), g_table, g_wtable),
    ROW(BShlfbezcv, kNoStatus, 3, 3, kBezRows, g_out, g_out + 12),
    ROW(BScastdbez, kNoStatus, 3, kBezRows, g_out),
    ROW(BScastibez, kNoStatus, 3, kBezRows, g_out),
    EP(BShlfbspcv, 3, 3, 6, kCubicKnots, kRows, 5, g_i, g_out, g_out + 16, g_i + 1, g_out + 48,
       g_out + 64, rc),
    EP(BSbstobez, 3, 6, 3, kCubicKnots, kRows, g_i, g_out, g_out + 40, rc),
    ROW(BSgensym, kNoStatus, 3, kSeries, g_out),
    EP(BStstcvcusp, rc, g_a.cubic(), 2, g_f),
    ROW(BSfndcvcsp, kPartial, g_a.closed(), g_i, g_out, rc),
    ROW(BSfinddcont, kPartial, g_a.closed(), 1e-6, g_i, g_out, g_i + 1, rc),
    EP(BSchgewts, g_a.arc(2.0), g_c.room(TRUE), rc),
    EP(BSchgewtlr, g_a.arc(2.0), g_c.room(TRUE), 0, rc),
    OUT(BSchgecvwts, g_a.arc(2.0), &o.c, rc),
    OUT(BSchgcvewlr, g_a.arc(2.0), 2, &o.c, rc),
    EP(BSreparmcv, g_a.cubic(), 0.0, 1.0, g_c.room(), rc),
    EP(BStstcvdegn, g_a.cubic(), g_f, rc),
    ROW(BScomb2cvs, kDegeneracy59, g_a.cubic(), g_b.shifted(), g_c.room(), rc),
    ROW(BSmergecvnn, kDegeneracy59, g_a.cubic(), g_b.shifted(), g_c.room(), rc),
    ROW(BSmerge_cv, kDegeneracy59, rc, g_a.cubic(), g_b.shifted(), g_c.room()),
    ROW(BS2cvsto1, kDegeneracy59, rc, g_a.cubic(), g_b.shifted(), g_c.room()),
    EP(BSpartofcv, rc, g_a.cubic(), 0.5, 1.0, 2.0, g_c.room()),
    ROW(BSrmvkts4, kNoStatus, 1, 1, kSeries, kPars + 0, g_out),
    EP(BSrmvkts5, 1, 1, in({1, 2, 3, 4, 5}), in({0, 1}), g_out, rc),
    EP(BSrm_kt_app, g_a.cubic(), 5, g_c.room(), g_out, rc),
    EP(BSknot_rem2, kCubicKnots, 4, 10, ii({0, 0, 1, 1, 2, 2}), ii({2, 2, 2}), 3, 2, g_out, rc),
    EP(BSrmktsnchg, g_a.cubic(), 0.1, g_c.room(), rc),
    EP(BSrmnknot_b, 4, 3, in(kCubicPoles, 18), in({0, 0, 0, 0, 1, 1, 3, 3, 3, 3}), ii({10}), rc),
};

// ---- Boxes, nearest points, intersections, roots -----------------------------
const Row kQueryRows[] = {
    ROW(BSbx2, kNoEpilogue, rc, I<2>(), kTwo, nullptr, g_out, g_out + 3),
    EP(BSbx3, rc, kFar, kP0, kP3, g_out),
    EP(BSbxint, rc, kP0, kP3, kMid, kFar),
    EP(BSptinbx, rc, kMid, kP0, kP3, I<3>()),
    EP(BSendptinbx, rc, g_a.cubic(), g_f),
    ROW(BSboxpoles, kNoStatus, 6, 3, FALSE, kRows, g_out),
    ROW(BSsphboxbsp, kNoStatus, 3, 6, kRows, g_out, g_out + 3),
    EP(BSboxinvab, kI2, g_out, rc),
    EP(BSboxinvabc, kIdentity, g_out, rc),
    EP(BSboxpole, 6, 2, kRows, kI2, g_out, g_out + 2, rc),
    EP(BSoblboxbsc, 3, 3, kArcKnots, 3, TRUE, kArcRows, g_out, g_out + 3, rc),
    ROW(BSmnmxpt1, kNoStatus, 3, kP0, kP1, kFar, g_out, g_out + 1),
    EP(BSmnmxpt2, 3, kP0, kP1, kP2, kFar, g_out, g_out + 1, rc),
    EP(BSmnmxbx2, kI2, kP0, kFar, g_out, g_out + 1, rc),
    EP(BSmnmxbx3, kIdentity, kP0, kFar, g_out, g_out + 1, rc),
    EP(BSminmaxbox, 3, kIdentity, kP0, kFar, g_out, g_out + 1, rc),
    EP(BSminmaxbsc, 4, 6, 2, FALSE, kCubicKnots, kRows, 1, kAbove, kFlag, g_out, g_out + 1, rc),
    EP(BSmdstptcv, g_a.cubic(), kAbove, g_out, g_out + 1, g_out + 4, rc),
    EP(BSmdstptscv, 2, kTwo, g_a.cubic(), g_out, g_out + 2, g_out + 8, g_f, rc),
    EP(BSmdptsbscv, 3, 6, 3, FALSE, kRows, kCubicKnots, 1, kAbove, 1e-9, g_out, g_out + 1,
       g_out + 4, rc),
    EP(BSmdptbezcv, 3, 3, FALSE, kBezRows, kP3, 1e-9, DBL_MAX, g_out, g_out + 1, g_out + 4, rc),
    ROW(BSmdptbezln, kNoStatus, 3, FALSE, kLine, kP3, 1e-9, g_out, g_out + 1, g_out + 4),
    OUTK(BSmdistptcv, kEitherMemory, g_a.arc(), kP0, &o.n16[0], &o.n16[1], &o.p[0], g_out, &o.p[1],
         rc),
    EP(BSprptoncv, rc, g_a.cubic(), kP3, g_out, g_f),
    EP(BSprptnrcv, g_a.cubic(), 1.5, kAbove, g_out, g_out + 1, g_out + 4, rc),
    EP(BSmdstptarr, 2, kTwo, 1, kP0, g_i, g_i + 1, g_out, rc),
    OUTK(BSnormals, kEitherMemory, rc, g_a.cubic(), kAbove, &o.m, &o.p[0], &o.d, &o.p[1]),
    EP(BSqnwt2, minus_one, nullptr, 0.0, 2.0, 0.5, FALSE, 1e-12, 1e-12, 50, g_out, g_i, rc),
    EP(BSadjpar, g_a.cubic(), 5.0, g_out, rc),
    OUT(BScvcvint, g_a.cubic(), g_b.line(), 0, CVCV_OUT, rc),
    OUT(BSlnln_int, g_a.line(), g_b.make(2, 2, kLine, kLineKnots, nullptr), 0, CVCV_OUT, rc),
    OUT(BSlsls_int, g_a.polyline(), g_b.line(), 0, CVCV_OUT, rc),
    EP(BSxspnspn, g_a.bezier(), g_b.line(), 3, 2, g_i, g_out, g_out + 800, g_out + 1100, g_f, rc),
    EP(BSbzbz_int, g_a.bezier(), g_b.line(), g_i, g_out, g_out + 800, g_out + 1100, g_f, rc),
    EP(BScvcviter, g_a.cubic(), g_b.line(), FALSE, FALSE, 1e-9, 1e-9, in({1.5}), in({0.5}), g_out,
       g_f, rc),
    EP(BScvcv_comb, 1, 1, FALSE, kP0, kP3, kPars, kPars, kPars + 3, kPars + 3, g_i, g_out,
       g_out + 6, g_out + 8, rc),
    EP(BSbzoverlap, g_a.bezier(), g_b.bezier(), in({0, 1}), in({0, 1}), g_f, rc),
    EP(BSoverlap, rc, kP0, kP1, kMid, kFar, g_out, g_out + 3),
    EP(BSptcv_int, g_a.point(), g_b.cubic(), 3, g_i, g_out, g_out + 3, g_out + 4, rc),
    EP(BScvcvjmat, g_a.cubic(), g_b.line(), 1.5, 0.5, g_out, g_out + 4, g_out + 5, rc),
    OUT(BScvcv_sort, g_a.cubic(), g_b.line(), 0, 0, 1, kAbove, D<2.5>(), D<1.0>(), 0, nullptr,
        nullptr, nullptr, CVCV_OUT, rc),
    OUT(BScvcv_int, rc, g_a.cubic(), g_b.line(), &o.ni, &o.p[0], &o.p[1], &o.p[2], &o.no, &o.p[3],
        &o.p[4], &o.p[5]),
    ROW(BSrpoly2, kNoStatus, kQuad, g_out, g_out + 2),
    ROW(BSrpoly3c, kNoStatus, -1.0, 0.0, -4.0, g_out, g_out + 3),
    EP(BSrpoly3, in({-6, 11, -6, 1}), g_out, g_out + 3, rc),
    EP(BSrpoly4, in({24, -50, 35, -10, 1}), g_out, g_out + 4, rc),
    EP(BSrpoly, rc, in({1, 0, 0, 0, 0, -1}), S<5>(), g_out, g_out + 8),
    ROW(BSnulpol, kNoStatus, 2, kQuad, 0.5, g_f),
    ROW(BScbrt, kNoStatus, 8.0, g_out),
    EP(BSkroot, 8.0, 3, g_out, rc),
    ROW(BSdsqrtc, kNoStatus, -4.0, 0.0, g_out, g_out + 1),
    ROW(BSinvc, kNoStatus, 1.0, 1.0, g_out, g_out + 1),
    EP(BSpower, rc, 2.0, 3),
    EP(BSrpower, 2.0, 0.5, rc),
    ROW(BSboxlgd1, kNoStatus, 2, kQuad, 1e-9, g_f),
    ROW(BSchkzolgd, kNoStatus, 2, kQuad, 1e-9, g_f),
    ROW(BSrtlgd2, kNoStatus, kQuad, 1e-9, g_i, g_out, g_f),
    EP(BSfndrtlgd1, 2, kQuad, 1e-9, g_i, g_out, rc),
    EP(BSfndrtlgd1ab, 2, kQuad, 0.0, 1.0, 0.0, 1.0, 1e-9, g_i, g_out, rc),
    EP(BSfndrtbez1, 4, in({-1, -1, 1, 1}), 0.0, 1.0, 1e-9, g_i, g_out, rc),
    ROW(BSfndrtbsp1, kRootPartial, 4, 6, in({-1, -1, 1, 1, -1, 1}), kCubicKnots, 1e-9, g_i, g_out,
        g_i + 1, g_out + 64, rc),
    ROW(BSbzeroes, kRootPartial, rc, S<3>(), nullptr, in({-1, -1, 1, 1}), I<3>(), kBezierKnots, g_i,
        g_out, g_i + 1, g_out + 8, g_out + 16),
    ROW(BSxbspcvpl, kRootPartial, 3, 4, 6, FALSE, kRows, kCubicKnots, kMid, kP2, 1e-9, g_i, g_out,
        g_i + 1, g_out + 64, rc),
    ROW(BSpl_cv_int, kRootPartial, rc, g_a.cubic(), kMid, kP2, g_i, g_out, g_out + 100, g_i + 1,
        g_out + 200, g_out + 300),
    EP(BSprj_cv_pl, rc, g_a.cubic(), kP0, in({0, 0, 1}), kUp, g_c.room()),
    EP(BSmdptbscv, 3, 6, 3, FALSE, in(kRows, 18), in(kCubicKnots, 10), 1, in(kAbove, 3), 1e-9,
       in({DBL_MAX}), in({0}), g_out, g_out + 1, g_out + 2, rc),
    EP(BSmdptbscv1, 3, 6, 3, FALSE, in(kRows, 18), in(kCubicKnots, 10), in(kAbove, 3), 1e-9,
       DBL_MAX, g_out, g_out + 1, g_out + 2, rc),
    EP(BSmdptbzcv, 3, 3, FALSE, in(kBezRows, 12), 1, in(kAbove, 3), 1e-9, in({DBL_MAX}), g_out,
       g_out + 1, g_out + 2, g_i, rc),
    EP(BSmdptlgcv, 1, 2, FALSE, in({1.5, 1.5, 1, 1}), 1, in({1.5, 2}), 1e-9, in({DBL_MAX}), g_out,
       g_out + 1, g_out + 2, g_i, rc),
    EP(BSmdptlgcv1, 1, 2, FALSE, in({1.5, 1.5, 1, 1}), in({1.5, 2}), 1e-9, DBL_MAX, g_out,
       g_out + 1, g_out + 2, rc),
    EP(BSmdptlnlg, 1, 2, FALSE, in({1.5, 1.5, 1, 1}), in({1.5, 2}), 1e-9, g_out, g_out + 1,
       g_out + 2, rc),
    EP(BSmdptcrcv, 2, 3, 2, TRUE, in({1, kW, 0, 0, kW, 1, 1, kW, 1}), in(kArcKnots, 6), in({2, 2}),
       g_out, g_out + 1, g_out + 2, rc),
    EP(BSinvbspcrc, 2, 3, 2, TRUE, in({1, kW, 0, 0, kW, 1, 1, kW, 1}), in(kArcKnots, 6),
       0.7853981633974483, g_out, rc),
    EP(BSinvcircle, in({0, 0}), in({1, 0}), in({0, 1}), g_out, g_f, rc),
};

// ---- Fitting, circles and arcs, arc length ------------------------------------
const Row kCurveRows[] = {
    ROW(BSdirfitcv, kPartial, 4, kFour, 4, 0, 0, FALSE, nullptr, nullptr, g_c.room(), rc),
    EP(BSlininter, rc, I<3>(), kCollinear, g_c.room(), g_out),
    EP(BSktsprsfft, 4, kFour, nullptr, 4, FALSE, 1, FALSE, FALSE, FALSE, g_out, g_i, g_out + 8,
       g_i + 1, rc),
    EP(BSavgprsfft, 1, 4, kFour, nullptr, 3, 3, 4, g_out, g_out + 1, rc),
    EP(BScumdstopt, 4, kFour, nullptr, 3, 3, ii({2}), g_out, rc),
    EP(BSkts_f_fit, 4, FALSE, 4, 1e-9, 1, 4, kPars, g_i, g_out, g_i + 1, rc),
    EP(BSfitratpts, 4, kFour, nullptr, kPars, kSpans, 4, 4, kBezierKnots, 3, 3, FALSE, 0, 0, 0,
       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, g_out, nullptr, rc),
    EP(BSfndtnpol2, 4, kFour, nullptr, kPars, 4, 4, kBezierKnots, 3, 0, 0, 1.0, nullptr, g_out, rc),
    EP(BStanffit, 0, kP0, kP1, kP3, g_out, rc),
    EP(BSnpftwcns2, 4, kFour, kPars, kSpans, 4, 4, kBezierKnots, 3, 3, 0, nullptr, nullptr, g_out,
       rc),
    EP(BSperiodfit, 8, g_ring, g_ring_pars, g_ring_spans, 3, g_ring_poles, g_ring_knots, 3, 3,
       nullptr, g_out, rc),
    EP(BSprftwbsol, 8, g_ring, g_ring_pars, g_ring_spans, 3, g_ring_poles, g_ring_knots, 3, 3,
       nullptr, g_out, rc),
    EP(BSftmatsz, FALSE, 4, 4, 4, FALSE, 0, g_i, g_i + 1, rc),
    EP(BSprepcirc, rc, kP0, D<1.0>(), kUp, g_c.room(), g_out, g_i),
    EP(BSprepcircp, rc, kP0, kP1, kUp, g_c.room(), g_out, g_i),
    EP(BSprepcarc, rc, kP1, kP0, kP2, kUp, g_c.room(), g_out, g_i),
    EP(BScirrdcr, rc, D<1.0>(), kP0, g_c.room()),
    EP(BSarc3pts, rc, kP0, kP1, kP3, g_c.room()),
    EP(BScircprop, rc, kP0, kP1, kP3, g_out, g_out + 3, g_out + 4),
    ROW(BSangweig, kNoStatus, 0.5, g_out),
    EP(BSangarctou, M_PI, 0.5, g_out, rc),
    EP(BSarcangpar, kUp, kP1, M_PI, kP2, g_out, g_out + 1, g_f, rc),
    EP(BSptonarc, kP0, kP1, kP2, kUp, 0, nullptr, nullptr, kP1, g_f, rc),
    EP(BSconicgen0, rc, g_c.room()),
    EP(BSintegval, 4, kSeries, g_out, rc),
    EP(BSarclg3ds, g_a.cubic(), 1e-6, g_out, rc),
    EP(BSarclg4ds, g_a.arc(), 1e-6, g_out, rc),
    EP(BSarclen, rc, g_f, g_a.cubic(), D<0.0>(), D<1.5>(), D<0.75>(), g_out),
    EP(BSarclength, rc, g_a.cubic(), D<0.0>(), D<1.5>(), g_out),
    EP(BSiarcln, rc, g_a.cubic(), D<0.0>(), D<1.0>(), D<1.5>(), g_out),
    EP(BSiarcln2, rc, g_a.line(), D<1.0>(), D<0.0>(), D<0.5>(), D<1.0>(), g_out),
    EP(BSarclnparc, rc, g_a.cubic()),
    EP(BSnquad, rc, g_f, g_a.cubic(), 0.0, 0.0, 1.5, 0.0, 0.0, 0.0, 0.0, g_out, 0.0, in({1e-6}),
       g_f + 1, g_out + 1),
};

// ---- Polynomial bases, composite Legendre curves -------------------------------
const Row kBasesRows[] = {
    ROW(BSglobals, kNoStatus),
    ROW(BSlgdcantab, kNoStatus),
    ROW(BScnptab, kNoStatus),
    ROW(BScnpntab, kNoStatus),
    ROW(BSlgdtchtab, kNoStatus),
    ROW(BScstlgdata, kNoStatus),
    ROW(BStchcantab, kNoStatus),
    ROW(BStchlgdtab, kNoStatus),
    EP(BSextrtlgd, 8, &g_nodes, rc),
    EP(BSlgdtcan, 3, kSeries, g_out, rc),
    EP(BScantlgd, 3, kSeries, g_out, rc),
    ROW(BScantlgdp, kNoStatus, 3, kSeries, kSeries + 2, g_out, g_out + 2),
    EP(BSlgdttch, 3, kSeries, g_out, rc),
    EP(BStchtlgd, 3, kSeries, g_out, rc),
    EP(BSbeztolgd, 3, 1, kSeries, g_out, rc),
    EP(BSlgdtbez, 3, kSeries, g_out, rc),
    EP(BScantbez, 3, kSeries, g_out, rc),
    ROW(BSbeztocan, kNoStatus, 3, kSeries, g_out),
    ROW(BSbeztocan1, kNoStatus, 1, 3, kSeries, g_out),
    EP(BScantobez1, 1, 3, kSeries, g_out, rc),
    EP(BScan2qelbs, 3, 3, kBezRows, g_c.room(), rc),
    EP(BSspantocan, 3, 6, 3, kRows, kCubicKnots, 4, g_out, rc),
    ROW(BShorncan, kNoStatus, 3, kSeries, 0.5, g_out),
    ROW(BShorncanc, kNoStatus, 3, kSeries, 0.5, 0.5, g_out, g_out + 1),
    ROW(BShorncansy, kNoStatus, 3, kSeries, 0.5, g_out, g_out + 1),
    ROW(BShornlgd, kNoStatus, 3, kSeries, 0.5, g_out),
    ROW(BShorn_pd, kNoStatus, 3, 2, kSeries, 0.5, g_out),
    EP(BShorn_pd2, 1, 1, 1, kSeries, 0.5, 0.5, g_out, rc),
    EP(BShorneval, 1, 1, 2, 1, kBezRows, 0.5, 0.5, g_out, rc),
    ROW(BSdercanpol, kNoStatus, 3, kSeries, g_out),
    ROW(BSderlgdpol, kNoStatus, 3, kSeries, g_out),
    EP(BSdercvlgd, 3, 1, kSeries, 1, g_out, rc),
    EP(BSevalgder, 3, kSeries, 1, 0.5, g_out, rc),
    EP(BSevalgderab, 3, kSeries, kStartEnd, 1, 0.5, g_out, rc),
    EP(BSprodpolgd, 2, 2, kQuad, kSeries, g_out, rc),
    EP(BSmtrlgdlgd, 1, 1, kSeries, g_out, rc),
    EP(BSprodtch, 2, kQuad, 2, kSeries, g_out, rc),
    EP(BSdivlgdlgd, 2, kQuad, 0, D<2.0>(), g_i, g_out, rc),
    EP(BSdivcancan, 2, kQuad, 0, D<2.0>(), g_i, g_out, rc),
    ROW(BSlgddivxa, kNoStatus, 3, kSeries, 0.5, g_out),
    EP(BShifit, 4, kSeries, g_out, rc),
    EP(BShlfcpolgd, 3, kSeries, g_out, g_out + 4, rc),
    EP(BShlfcpocan, 3, kSeries, g_out, g_out + 4, rc),
    ROW(BStablgdel1, kNoStatus, 2, 0.5, 0.5, g_out),
    ROW(BStabtchab, kNoStatus, 2, 0.5, 0.5, g_out),
    EP(BSlimlgdab, 3, kSeries, -0.5, 0.5, g_out, rc),
    EP(BSlimtchab, 3, kSeries, -0.5, 0.5, g_out, rc),
    EP(BSlimcanab, 3, kSeries, -0.5, 0.5, g_out, rc),
    ROW(BStrunclgd, kNoStatus, 3, kSeries, 1e-3, g_i),
    OUT(BStruncvlgd, 3, 2, kBezRows, 1e-3, g_i, &o.p[0], rc),
    OUT(BStruncvlgd0, 3, 2, kBezRows, 1e-3, g_i, &o.p[0], rc),
    EP(BStruncvlgf, 3, 2, in(kBezRows, 8), 1e-3, g_i, rc),
    EP(BStruncvlgm, 3, 2, in(kBezRows, 8), 1e-3, 1, g_i, rc),
    EP(BStruncmlgd, 2, 1, 2, in(kBezRows, 8), 1e-3, g_i, rc),
    EP(BStruncrlgf, 3, 2, in({1, 2, 0, 0, 1, 0, 0, 0}), 1e-3, g_i, rc),
    OUT(BSalldeflgd, 2, &o.deg, &o.kind, &o.base, &o.p[0], rc),
    OUT(BSallcmplgd, 3, 2, kDeg, kKind, &o.series, rc),
    FN(BSfrecmplgd, kNoStatus,
       {
         double **series = nullptr;
         BSallcmplgd(3, 2, kDeg, kKind, &series, rc);
         return BSfrecmplgd(&series), 0;
       }),
    EP(BSbstolgd, 3, 6, 3, kCubicKnots, kRows, g_i, g_out, g_out + 64, rc),
    OUT(BSbsp2cmlgd, 3, 6, 4, FALSE, kRows, kCubicKnots, &o.m, &o.deg, &o.kind, &o.series, &o.p[0],
        g_out, rc),
    OUT(BSbsp2cmlgd2d, 3, 3, TRUE, in({1, kW, 0, 0, kW, 1, 1, kW, 1}), kArcKnots, &o.m, &o.deg,
        &o.kind, &o.series, &o.p[0], g_out, rc),
    OUT(BSlgdbspcm1, 3, 2, 3, kChain, in({-1, 0, 1}), g_i, &o.p[0], &o.p[1], rc),
    EP(BSevalgdcmp, 3, 0, 2, kDeg, kKind, kBase, kSegs, kBreaks, 1, 0.5, g_out, rc),
    EP(BSevalgdsng, 2, 3, 0, kSeg0, 1, 0.5, g_out, rc),
    EP(BSevacansng, 2, 3, 0, kSeg0, 1, 0.5, g_out, rc),
    EP(BScstlgdbsp, 1, 3, 3, 0, 2, kBreaks, kChain, 1e-9, g_out, rc),
    ROW(BSprtcmplgd, kNoStatus, g_null, 3, 2, 0, kDeg, kKind, kBase, kSegs, kBreaks, kStartEnd),
    OUT(BSreadcmlgd, Reader(g_record).f, &o.d, &o.m, &o.n, &o.deg, &o.kind, &o.base, &o.series,
        &o.p[0], g_out, rc),
    FN(BSrdsscmlgd, kEpilogue,
       {
         int32_t d = 0, count = 0, **m = nullptr, **periodic = nullptr, ***deg = nullptr,
                 ***kind = nullptr, ***base = nullptr;
         double ****series = nullptr, ***knots = nullptr, **start_end = nullptr;
         BSrdsscmlgd(Reader("1\n" + g_record).f, &d, 1, &count, &m, &periodic, &deg, &kind, &base,
                     &series, &knots, &start_end, rc);
         // Whatever was allocated stays in the tables, on failure too: the caller releases it.
         if (series != nullptr && series[0] != nullptr) BSfrecmplgd(&series[0][0]);
         for (void *t : std::initializer_list<void *>{m, periodic, start_end}) drop_nested(t, 1);
         for (void *t : std::initializer_list<void *>{deg, kind, base, knots, series})
           drop_nested(t, 2);
         return 0;
       }),
    OUT(BScmlgd2bsp, 3, 2, 0, kDeg, kKind, kBase, kSegs, kBreaks, kStartEnd, 1e-6, 3, &o.c, rc),
    OUT(BScmlg2bsab, 3, 2, 0, kDeg, kKind, kBase, kSegs, kBreaks, 0, 1, -0.5, 0.5, 1e-6, 3, &o.c,
        rc),
    OUT(BSlimcmplgd, 3, 2, 0, kDeg, kKind, kBase, kSegs, kBreaks, 0.5, 1.5, 1e-6, 3, &o.c, rc),
    OUT(BScnvlgdnt, 3, 0, 2, kDeg, kKind, kBase, kSegs, kBreaks, 4, 2, 1e-6, &o.c, rc),
    OUT(BScnvlgd2d, 0, 2, kDeg, kKind, kBase, kSegs, kBreaks, 4, 2, 1e-6, &o.c, rc),
    OUT(BSfndktslg, 4, 1, 1, in({0, 0, 0, 0, 1}), 4, 0, 1e-4, &o.n, &o.p[0], rc),
    OUT(BSlgdbspspn, 4, 1, in({0, 0, 0, 0, 1}), 4, 2, in({-1, 0, 1}), 1.0, &o.p[0], &o.p[1], rc),
    OUT(BSlgdbspl1, 4, 1, in({0.5, 1, 0.2, 0.1, 0.05}), 4, 2, 1e-6, &o.m, &o.n, &o.p[0], &o.p[1],
        rc),
    OUT(BSlgdbsplr, 2, 1, in({1, 0.5, 0.1, 2, 0.2, 0}), 4, 2, 1e-6, &o.m, &o.n, &o.p[0], &o.p[1],
        rc),
    EP(BSbzod3bsp, 1, 1, in({0, 1, 2}), in({0, 1}), g_out, rc),
};

// ---- Offsets (of the Bezier piece: the sweeps stay short) ------------------------
const Row kOffsetRows[] = {
    OUT(BScvoffset, rc, g_a.bezier(), D<0.2>(), kAbove, I<0>(), S<2>(), &o.c, &o.n, &o.loops),
    OUT(BScvoffsetd, g_a.bezier(), 0.2, kAbove, FALSE, 0, 2, g_f, g_out, &o.c, &o.n, &o.loops, rc),
    OUT(BScvoff3d, g_a.bezier(), 0.2, FALSE, 2, TRUE, kAbove, g_out, FALSE, g_i, g_out + 3, &o.c,
        &o.n, &o.loops, rc),
    EP(BSofchkln, g_a.cubic(), g_f, rc),
    ROW(BSofrparcv, kInnerFails, g_a.cubic(), 0.0, 1.0, rc),
    OUT(BSxycvoff, g_a.bezier(), 0.2, FALSE, kUp, 1, &o.c, rc),
    OUT(BSspnoffset, g_a.bezier(), 0.2, kUp, 1, &o.c, rc),
    EP(BScvoton, rc, kP0, kIdentity, D<1.0>(), g_a.cubic(), g_c.room()),
    EP(BScvntoo, rc, kP0, kIdentity, D<1.0>(), g_a.cubic(), g_c.room()),
    OUTK(BSofrmlp3, kInnerFails, g_a.bezier(), 2, &o.n, &o.loops, &o.c, rc),
    OUT(BSofnorm, g_a.bezier(), kAbove, FALSE, nullptr, g_f, &o.c, g_out, rc),
    EP(BSfndoffdir, g_a.bezier(), kAbove, kUp, g_i, g_out, rc),
    EP(BSsetspn, 3, g_a.bezier(), 0.1, kUp, 1, g_c.bezier(), rc),
    EP(BSsetq, 1, g_a.bezier(), 0.1, kUp, 1, g_c.bezier(), rc),
    EP(BStstspn1, 1, 0.0, in({0.5}), in({1.5, 0.1, 0}), g_a.bezier(), g_a.bezier(), g_i, g_i + 1,
       g_i + 2, g_f, rc),
    FN(BSofupdeg, kEpilogue,
       {
         BScurve *a = quiet_curve(2, 2, rc), *b = *rc == 0 ? quiet_curve(4, 4, rc) : nullptr;
         if (*rc == 0) {
           Quiet q;
           BScv_copy(rc, g_a.line(), a), BScv_copy(rc, g_b.bezier(), b);
           for (BScurve *c : {a, b}) c->periodic = c->phy_closed = c->planar = FALSE;
         }
         int16_t order = 0;
         int32_t count = 0;
         if (*rc == 0) BSofupdeg(&a, &b, &order, &count, rc);
         BSrc r = 0;
         if (a != nullptr) BSfreeqelcv(a, &r);
         if (b != nullptr) BSfreeqelcv(b, &r);
         return 0;
       }),
};

// ---- The driver ----------------------------------------------------------------

std::set<std::string> declared(const std::string &pattern) {
  static const std::string header = [] {
    std::stringstream text;
    text << std::ifstream(KNOTWORK_PUBLIC_HEADER).rdbuf();
    return text.str();
  }();
  std::set<std::string> names;
  const std::regex decl(pattern);
  for (std::sregex_iterator it(header.begin(), header.end(), decl), end; it != end; ++it)
    names.insert((*it)[1]);
  return names;
}
const std::set<std::string> &boolean_routines() {
  static const std::set<std::string> names = declared(R"(KW_API\s+BSboolean\s+(BS\w+)\s*\()");
  return names;
}

// Routines that report under another name.
const std::map<std::string, std::string> kTraceNames = {{"BShouslgbsc", "BShouslgbspc"},
                                                        {"BStruncvlgd", "BSlgdcvint"}};

// Sentinels in every output, rooms released, inputs rebuilt.
void mark_outputs() {
  std::memset(g_out, kMark, sizeof g_out);
  std::memset(g_i, kMark, sizeof g_i);
  std::memset(g_f, kMark, sizeof g_f);
  g_in_at = g_ii_at = 0;
  g_c.room_ = g_d.room_ = false;
  for (Curve &s : g_segs) s.room_ = false;
}
// The outputs a failing call wrote ("" when none).
std::string outputs_touched() {
  std::string what;
  if (g_c.touched() || g_d.touched()) what += " record";
  for (const Curve &s : g_segs)
    if (s.touched()) what += " segment";
  if (!all_marked(g_out, sizeof g_out)) what += " doubles";
  if (!all_marked(g_i, sizeof g_i)) what += " integers";
  if (!all_marked(g_f, sizeof g_f)) what += " flags";
  return what;
}

class FailurePaths : public kwtest::GuardedTest {
 protected:
  static void SetUpTestSuite() {
    g_null = std::fopen("/dev/null", "w");
    g_path = testing::TempDir() + "failure_paths_dump.txt";
    g_dump = kwtest::capture_stdout([] { BSprintbspc(stdout, "c", g_a.cubic(), FALSE); });
    g_record = kwtest::capture_stdout(
        [] { BSprtcmplgd(stdout, 3, 2, 0, kDeg, kKind, kBase, kSegs, kBreaks, kStartEnd); });
    // Eight points on a closed ring (the last repeats the first) with periodic knots.
    for (int i = 0; i < 8; ++i) {
      const double t = 2 * M_PI * (i % 7) / 7;
      g_ring[3 * i] = std::cos(t), g_ring[3 * i + 1] = std::sin(t), g_ring[3 * i + 2] = 0;
      g_ring_pars[i] = i / 7.0;
    }
    int32_t nk = 0;
    BSrc rc;
    BSkts_f_fit(3, TRUE, 4, 1e-9, 7, 8, g_ring_pars, &nk, g_ring_knots, g_ring_spans, &rc);
    g_ring_poles = nk - 3;
  }
  static void TearDownTestSuite() {
    std::fclose(g_null);
    std::remove(g_path.c_str());
  }

  void prepare() {
    kwtest::reset_library_state();
    BSdbglev = knotwork::kDebugLevel;
    BSalloczero = BSfreezero = 0;
  }

  // One row through both failure paths.
  void drive(const Row &r) {
    SCOPED_TRACE(r.name);
    const bool boolean = boolean_routines().count(r.name) > 0;
    const bool has_status = r.kind != kNoStatus;
    auto run = [&](BSrc *rc) {
      mark_outputs();
      const double v = r.call(rc);
      EXPECT_TRUE(!boolean || !has_status || (v != 0) == (*rc == 0))
          << "boolean " << v << ", status " << *rc;
      return v;
    };
    // (a) The k-th allocation fails, once and from then on.
    prepare();
    BSrc last = 0;
    const BSrc inner = r.kind == kDegeneracy59 ? 59 : r.kind == kInnerFails ? BSFAIL : -99;
    auto op = [&] {
      BSrc rc = -99;
      run(&rc);
      last = rc;
      return !has_status || (r.kind == kAlwaysFails && rc == BSINARG) ? BSSUCC : rc;
    };
    auto untouched = [&] {
      // A scratch request that fails is 33, a result request -13.
      const BSrc memory = knotwork::failed_allocation_was_scratch() ? BSNOSTKMEMORY : BSNOMEMORY;
      EXPECT_TRUE(last == memory || last == inner || r.kind == kEitherMemory ||
                  r.kind == kRootPartial)
          << "status " << last << " for a failing " << (memory == BSNOMEMORY ? "result" : "scratch")
          << " request";
      EXPECT_EQ(last == 59 || r.kind == kPartial || r.kind == kRootPartial ? "" : outputs_touched(),
                "")
          << "outputs written by a failing call, status " << last;
    };
    const kwtest::SweepResult sweep =
        has_status
            ? kwtest::sweep_allocation_failures(op, {BSNOMEMORY, BSNOSTKMEMORY, inner}, untouched)
            : kwtest::sweep_allocation_failures(op, {BSSUCC});
    runs_ += sweep.runs - 2;
    ++rows_;
    settle();
    // (b) Status injection at rate 1.
    prepare();
    BSinitfail("bsany", 0, 1.0);
    BSrc rc = -99;
    const double v = run(&rc);
    BSdeinifail();
    const std::string trace = kwtest::trace_text();
    settle();
    switch (r.kind) {
      case kNoStatus:
        return;
      case kAlwaysFails:
        EXPECT_EQ(rc, BSINARG);
        return;
      case kNoEpilogue:
      case kAllocator:
        EXPECT_EQ(rc, BSSUCC);
        EXPECT_TRUE(!boolean || v != 0);
        EXPECT_EQ(trace, "");
        return;
      default:
        break;
    }
    // A join's degeneracy test may meet the injection first (59) or its working copy (58).
    const BSrc want = r.kind == kInnerFails                 ? BSFAIL
                      : r.kind == kDegeneracy59 && rc == 59 ? 59
                                                            : BSDBGFAIL;
    EXPECT_EQ(rc, want);
    // The first check injects: its lower-case name, then its written name; a routine
    // that calls another exported routine adds its own entry last.
    const auto renamed = kTraceNames.find(r.name);
    const std::string name = renamed != kTraceNames.end() ? renamed->second : r.name;
    const std::string own = "error in " + name + ", rc = " + std::to_string(want) + " \n";
    ASSERT_GE(trace.size(), own.size()) << trace;
    EXPECT_EQ(trace.substr(trace.size() - own.size()), own) << trace;
    const std::size_t eol = trace.find('\n');
    const std::string first = trace.substr(0, eol + 1);
    const std::string second = trace.substr(eol + 1, trace.find('\n', eol + 1) - eol);
    std::string lower = second;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(first, lower) << trace;
    EXPECT_NE(first, second) << trace;
    EXPECT_TRUE(trace.size() == 2 * own.size() || second != own) << trace;
  }

  // No block may stay live, and no zero-size request or null release be made; a
  // leak is reported once, not again by every later row.
  void settle() {
    EXPECT_EQ(BSlist_al.count, live_at_start_) << "blocks left live";
    EXPECT_EQ(BSmemclean(), 0);
    live_at_start_ = BSlist_al.count;
    BSalloczero = BSfreezero = 0;
  }

  template <std::size_t N>
  void drive_all(const Row (&rows)[N]) {
    for (const Row &r : rows) drive(r);
    std::printf("[ figures  ] %d routines swept, %lld failing allocation runs\n", rows_,
                static_cast<long long>(runs_));
  }
  int rows_ = 0;
  std::int64_t runs_ = 0;
};

TEST_F(FailurePaths, EveryRoutine) {
  drive_all(kFrameRows), drive_all(kVectorRows), drive_all(kNumericRows), drive_all(kSplineRows);
  drive_all(kQueryRows), drive_all(kCurveRows), drive_all(kBasesRows), drive_all(kOffsetRows);
}

// Every routine of the header has exactly one row, and no routine other than the
// allocators returns a pointer.
TEST(FailurePathsTable, CoversTheHeader) {
  std::set<std::string> table;
  std::size_t rows = 0;
  auto add = [&](const auto &t) {
    for (const Row &r : t) table.insert(r.name), ++rows;
  };
  add(kFrameRows), add(kVectorRows), add(kNumericRows), add(kSplineRows), add(kQueryRows);
  add(kCurveRows), add(kBasesRows), add(kOffsetRows);
  for (const char *name : kInstruments) table.insert(name), ++rows;
  EXPECT_EQ(table, declared(R"(KW_API\s+[\w\s]+?[\s*]((?:BS|MA)\w+)\s*\()"));
  EXPECT_EQ(table.size(), rows) << "a routine listed twice";
  EXPECT_EQ(declared(R"(KW_API\s+[\w\s]+\*\s*((?:BS|MA)\w+)\s*\()"),
            (std::set<std::string>{"BSdbgalloc", "BSdbgcalloc", "BSdbgralloc", "BSdbgsalloc",
                                   "BSqememal"}));
}

}  // namespace
