// Knot insertion kernels of the B-spline core, shared by insertion, splitting,
// Bezier decomposition, degree elevation and every family that refines a curve.
//
// They work on plain arrays through PoleSet, a view that lets the same code blend
// the poles of a curve record (3 interleaved coordinates plus a separate weight
// row: insertion in homogeneous space) and coordinate-major rows of any dimension.
// None of them allocates; all assume validated input (their first comment line
// says what they assume).
#ifndef KNOTWORK_BSPLINE_INSERT_HPP
#define KNOTWORK_BSPLINE_INSERT_HPP

#ifndef KNOTWORK_INTERNAL
#error "insert.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/frame.hpp"

namespace knotwork {

// Component c of pole i lives at data[i * pole_stride + c * comp_stride].
struct PoleRows {
  double *data = nullptr;
  std::ptrdiff_t pole_stride = 0;
  std::ptrdiff_t comp_stride = 0;
  int comps = 0;

  double &at(std::ptrdiff_t i, int c) const { return data[i * pole_stride + c * comp_stride]; }
};

// Up to two groups of components blended with the same coefficients: the poles of
// a record and its weights, or the coordinate rows of an array curve.
struct PoleSet {
  PoleRows group[2];

  // Poles of a record (3 interleaved doubles each) and, when not null, its weights.
  static PoleSet record(double *poles, double *weights) {
    PoleSet s;
    s.group[0] = {poles, 3, 1, 3};
    if (weights != nullptr) s.group[1] = {weights, 1, 0, 1};
    return s;
  }
  static PoleSet record(const BScurve &cv) {
    return record(cv.poles, cv.rational ? cv.weights : nullptr);
  }
  // dim coordinate-major rows of row_length values each.
  static PoleSet rows(double *data, int dim, std::ptrdiff_t row_length) {
    PoleSet s;
    s.group[0] = {data, 1, row_length, dim};
    return s;
  }

  // dst = src (pole indices).
  void copy_pole(std::ptrdiff_t dst, std::ptrdiff_t src) const {
    for (const PoleRows &g : group)
      for (int c = 0; c < g.comps; ++c) g.at(dst, c) = g.at(src, c);
  }
  // Poles from .. from+count-1 move up by r places (as whole rows where the layout
  // allows: memmove copies overlapping ranges correctly).
  void shift_up(std::ptrdiff_t from, std::ptrdiff_t count, std::ptrdiff_t r) const {
    if (count <= 0) return;
    for (const PoleRows &g : group) {
      if (g.comps == 0) continue;
      if (g.comp_stride == 1 && g.pole_stride == g.comps) {
        std::memmove(&g.at(from + r, 0), &g.at(from, 0), sizeof(double) * count * g.comps);
      } else if (g.pole_stride == 1) {
        for (int c = 0; c < g.comps; ++c)
          std::memmove(&g.at(from + r, c), &g.at(from, c), sizeof(double) * count);
      } else {
        for (std::ptrdiff_t i = from + count - 1; i >= from; --i)
          for (int c = 0; c < g.comps; ++c) g.at(i + r, c) = g.at(i, c);
      }
    }
  }
  // P[dst] = a * P[hi] + (1 - a) * P[lo].
  void blend(std::ptrdiff_t dst, std::ptrdiff_t lo, std::ptrdiff_t hi, double a) const {
    const double b = 1.0 - a;
    for (const PoleRows &g : group)
      for (int c = 0; c < g.comps; ++c) g.at(dst, c) = a * g.at(hi, c) + b * g.at(lo, c);
  }
};

// Inserts u r times into a curve whose arrays have room for n + r poles and
// n + k + r knots (validated: k-1 <= L <= n-1, knots[L] < u <= knots[L+1], u equal
// to the m knots knots[L+1 .. L+m] that it already has, m + r <= k - 1). Boehm's
// algorithm in place: poles above the affected ones move up by r, each level blends
// the affected poles downwards; the knots receive r copies of u after index L.
void insert_knot_in_place(int k, int32_t n, const PoleSet &poles, double *knots, int32_t L,
                          double u, int r, int m);

// Inserts u at knot index i at one end of the knot vector and drops the outermost
// knot and pole, keeping the counts (validated: knots[i] <= u <= knots[i+1]).
// Start side when i + 1 < k, end side when i + 1 > n; any other i changes nothing.
void insert_end_knot(int k, int32_t n, const PoleSet &poles, double *knots, int32_t i, double u);

// Coefficients of new pole j of the refinement of knot vector t (n poles, order k)
// to tau (nn poles): new pole j = sum over q = 0..k-1 of alpha[q] * old pole
// (first + q), returns first; the alpha are nonnegative and sum to 1 on any input
// (a refinement whose knots match t's within tol gives the exact coefficients;
// anything else meaningless ones, every index in range). Call for j = 0, 1, 2 ...
// in turn with next_old starting at 0 (it tracks the old knots matched so far).
// alpha: 2k doubles of workspace.
int32_t refinement_coefficients(int k, int32_t n, const double *t, int32_t nn, const double *tau,
                                int32_t j, int32_t &next_old, double tol, double *alpha);

// Fills all nn new poles of the refinement of (t, n poles in `in`) to tau into
// `out` (in and out must not overlap). A tau that contains t (knots matching
// within zero_tol) with the same ends is handled as a sequence of Boehm
// insertions from the top down; any other tau pole by pole with the coefficients
// above. Every pole is a convex combination of old poles. alpha: 2k doubles of
// workspace.
void refine_poles(int k, int32_t n, const double *t, const PoleSet &in, int32_t nn,
                  const double *tau, const PoleSet &out, double *alpha);

// De Boor's triangle of a split: inserts u h times at span s of a curve with
// knots t (validated: knots[s] < u < knots[s+h+1], and u equals the k-1-h knots
// from knots[s+1] on that it already has). The poles s-h .. s of `left` (a copy of
// the input's) become the last poles of the left piece; right poles 0 .. h receive
// the first h+1 poles of the right piece (the caller copies input poles s+1 ..
// to right poles h+1 ..).
void split_triangle(int k, const double *t, int32_t s, double u, int h, const PoleSet &left,
                    const PoleSet &right);

// ---- Workers on curve records -------------------------------------------------------

// Where a knot value goes: the value after snapping to the interior knots within
// the tolerance (the last of the run wins), the span s with knots[s] < u <=
// knots[s+1], and the number m of interior knots already there.
struct KnotSite {
  double u;
  int32_t span;
  int m;
};
KnotSite locate_knot(const BScurve &cv, double u, double tol);

// Inserts site.u r times into a record with room for r more poles and knots
// (validated: site from locate_knot, site.m + r <= order - 1); sets non_uniform.
void insert_into_record(BScurve &cv, const KnotSite &site, int r);

// The worker of BSadd_1kt_mul (total false: r more copies, snapped within knot_tol)
// and BSadd_1kt_tot (total true: up to r copies, snapped within the local knot
// tolerance). reuse: insert into *out (room for the new poles); otherwise *out
// becomes a new record and the one it held is released. inserted (may be null)
// receives the value actually inserted. Returns the status.
BSrc add_knot(const BScurve &cv, double u, int32_t r, bool total, bool reuse, BScurve **out,
              double *inserted);

// Clamps the chosen open ends in place (shape on the domain unchanged) and clears
// periodic; a polynomial record's weights pointer becomes null (validated record).
void clamp_ends(BScurve &cv, bool start, bool end);

// True when the first k and the last k knots are equal.
bool is_clamped(const BScurve &cv);

// BSadd_kts: out receives the refinement of cv to the knots tau (nn poles; out's
// arrays sized for them; they may share memory with cv). BSNOSTKMEMORY only.
BSrc refine_curve(const BScurve &cv, int32_t nn, const double *tau, BScurve &out);

// BSinsertmkt on validated counts: inserts the m ascending knots into a curve
// given as dim coordinate-major rows of n poles. BSINARG when a knot lies outside
// the domain, the knots are not ascending, or a knot would exceed k copies.
BSrc insert_knots_rows(int32_t k, int32_t dim, int32_t n, const double *poles, const double *knots,
                       int32_t m, const double *inserts, double *poles_out, double *knots_out);

// BScollinmn3 on a validated record.
BSrc curve_collinear(const BScurve &cv, BSboolean *collinear);

// ---- Workers of splitting (src/bspline/split.cpp) ----------------------------------

// BScvsplit on a validated record: left and right receive the pieces (arrays
// allocated with BSdbgalloc where their pointers are null). An open input is
// clamped first so that both pieces are clamped at both ends.
BSrc split_curve(const BScurve &cv, double u, BScurve &left, BScurve &right, bool plane);

// BSactivsplt on a validated record: out (arrays sized by the caller) receives the
// part between ua and ub, clamped at both ends. knot_tol is tightened for the inner
// insertions and restored on every path.
BSrc extract_part(const BScurve &cv, double ua, double ub, BScurve &out, bool plane);

// Interior knots of multiplicity k-1 or more (consecutive differences below tol
// count as equal): writes the first value of each run; returns their count
// (values: room for num_poles entries).
int32_t find_breaks(const BScurve &cv, double tol, double *values);

// BScvtstclsd: phy_closed from the squared distance of the curve's end points.
BSrc test_closed(BScurve &cv);
// BScvsetclsd: for a closed record, clamps both ends and makes the end poles equal.
void set_closed(BScurve &cv);

}  // namespace knotwork

#endif  // KNOTWORK_BSPLINE_INSERT_HPP
