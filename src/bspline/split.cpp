// Cutting curves into pieces: split at a parameter, the part between two
// parameters, one span, the pieces between C0 knots; reversal and closure.
// Every piece is clamped at both ends, not periodic and has no boundaries.
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "bspline/insert.hpp"
#include "bspline/kernel.hpp"
#include "bspline/knots.hpp"
#include "records/curve_check.hpp"
#include "records/records.hpp"
#include "records/scratch_curve.hpp"

namespace knotwork {

namespace {

// The header fields every piece shares.
void piece_header(BScurve &piece, int32_t k, int32_t n, bool rational) {
  piece.order = static_cast<int16_t>(k);
  piece.num_poles = n;
  piece.num_knots = n + k;
  piece.rational = rational ? 1 : 0;
  if (!rational) piece.weights = nullptr;
  piece.periodic = 0;
  piece.num_boundaries = 0;
  piece.bdrys = nullptr;
}

// Squared distance between the first and last pole (divided by their weights).
double end_pole_distance_sq(const BScurve &cv) {
  const int32_t n = cv.num_poles;
  const double *a = cv.poles, *b = cv.poles + 3 * static_cast<std::ptrdiff_t>(n - 1);
  const double wa = cv.rational ? cv.weights[0] : 1.0, wb = cv.rational ? cv.weights[n - 1] : 1.0;
  double d2 = 0.0;
  for (int c = 0; c < 3; ++c) {
    const double d = a[c] / wa - b[c] / wb;
    d2 += d * d;
  }
  return d2;
}

// planar of a piece from the plane test of its poles (2 poles: not planar).
// lenient: a plane test failing with BSFAIL or BSBADWEIGHT gives planar 0.
BSrc plane_test(BScurve &piece, bool lenient) {
  piece.planar = 0;
  if (piece.num_poles == 2) return BSSUCC;
  BSboolean planar = 0;
  double normal[3];
  BSrc rc = BSSUCC;
  BStst_plan(piece.num_poles, piece.poles, piece.rational ? piece.weights : nullptr, &planar,
             normal, &rc);
  if (rc == BSSUCC) {
    piece.planar = planar ? 1 : 0;
  } else if (lenient && (rc == BSFAIL || rc == BSBADWEIGHT)) {
    rc = BSSUCC;
  }
  return rc;
}

// Result arrays that a split allocates for records that come without them; released
// again when the split fails.
class PieceArrays {
 public:
  ~PieceArrays() {
    if (!keep_)
      for (int i = 0; i < count_; ++i) {
        BSdbgfree(*slots_[i]);
        *slots_[i] = nullptr;
      }
  }
  // Gives piece arrays for its counts where its pointers are null.
  bool provide(BScurve &piece, int32_t k, int32_t n, bool rational) {
    return take(piece.poles, 3 * static_cast<std::size_t>(n)) &&
           take(piece.knots, static_cast<std::size_t>(n) + k) &&
           (!rational || take(piece.weights, static_cast<std::size_t>(n)));
  }
  void keep() { keep_ = true; }

 private:
  bool take(double *&slot, std::size_t doubles) {
    if (slot != nullptr) return true;
    slot = alloc_result_doubles(std::max<std::size_t>(doubles, 1));
    if (slot == nullptr) return false;
    slots_[count_++] = &slot;
    return true;
  }
  double **slots_[6] = {};
  int count_ = 0;
  bool keep_ = false;
};

// Copies the pieces built in scratch into the caller's records, taking result
// memory for arrays the caller left null; nothing is written when that fails.
BSrc publish_pieces(const BScurve &l, const BScurve &r, BScurve &left, BScurve &right) {
  PieceArrays arrays;
  for (const auto &[from, to] : {std::pair<const BScurve *, BScurve *>{&l, &left}, {&r, &right}})
    if (from->num_poles > 0 && !arrays.provide(*to, from->order, from->num_poles, from->rational))
      return BSNOMEMORY;
  arrays.keep();
  for (const auto &[from, to] : {std::pair<const BScurve *, BScurve *>{&l, &left}, {&r, &right}}) {
    if (from->num_poles > 0) {
      if (const BSrc rc = copy_curve_into(*from, *to); rc != BSSUCC) return rc;
    } else {  // the empty piece at a domain end: its header only
      copy_curve_header(*from, *to);
      if (!from->rational) to->weights = nullptr;
    }
  }
  return BSSUCC;
}

}  // namespace

void set_closed(BScurve &cv) {
  if (!cv.phy_closed) return;
  clamp_ends(cv, true, true);
  const int32_t n = cv.num_poles;
  double *a = cv.poles, *b = cv.poles + 3 * static_cast<std::ptrdiff_t>(n - 1);
  const double wa = cv.rational ? cv.weights[0] : 1.0, wb = cv.rational ? cv.weights[n - 1] : 1.0;
  for (int c = 0; c < 3; ++c) {
    const double mid = 0.5 * (a[c] / wa + b[c] / wb);
    a[c] = mid * wa;
    b[c] = mid * wb;
  }
}

BSrc test_closed(BScurve &cv) {
  double a[3], b[3];
  BSrc rc = BSSUCC;
  BScveval(&cv, cv.knots[cv.order - 1], 0, a, &rc);
  if (rc != BSSUCC) return rc;
  BScveval(&cv, cv.knots[cv.num_poles], 0, b, &rc);
  if (rc != BSSUCC) return rc;
  double d2 = 0.0;
  for (int c = 0; c < 3; ++c) d2 += (a[c] - b[c]) * (a[c] - b[c]);
  cv.phy_closed = d2 < tol().dist_sqtol ? 1 : 0;
  return BSSUCC;
}

BSrc split_curve(const BScurve &input, double u, BScurve &left, BScurve &right, bool plane) {
  const int32_t k = input.order, p = k - 1;
  const bool rational = input.rational != 0;
  // Pieces must be clamped at both ends: an open input is clamped first (shape on
  // the domain unchanged), so the outer ends of the pieces are clamped too.
  std::optional<ScratchCurve> clamped;
  const BScurve *src = &input;
  if (!is_clamped(input)) {
    clamped.emplace(k, input.num_poles, rational);
    if (!clamped->ok()) return clamped->status();
    BSrc rc = BSSUCC;
    BScv_copy(&rc, &input, &clamped->curve());
    if (rc != BSSUCC) return rc;
    clamp_ends(clamped->curve(), true, true);
    src = &clamped->curve();
  }
  const BScurve &cv = *src;
  const int32_t n = cv.num_poles, nk = n + k;
  const double *t = cv.knots;
  const double ktol = curve_knot_tolerance(k, t, n, cv.poles, rational ? cv.weights : nullptr);
  // Snap to the last domain knot within the tolerance (knots ascend: binary search).
  bool on_knot = false;
  {
    const double *last = std::upper_bound(t + (k - 1), t + n + 1, u + ktol);
    if (last != t + (k - 1) && std::fabs(*(last - 1) - u) <= ktol) {
      u = *(last - 1);
      on_knot = true;
    }
  }
  PieceArrays arrays;
  const auto whole_and_empty = [&](BScurve &whole, BScurve &empty) -> BSrc {
    if (!arrays.provide(whole, k, n, rational)) return BSNOMEMORY;
    piece_header(empty, k, 0, rational);
    empty.num_knots = 0;
    BSrc rc = BSSUCC;
    BScv_copy(&rc, &cv, &whole);
    if (rc != BSSUCC) return rc;
    piece_header(whole, k, n, rational);
    arrays.keep();
    return BSSUCC;
  };
  if (u <= t[k - 1] + ktol) return whole_and_empty(right, left);
  if (u >= t[n] - ktol) return whole_and_empty(left, right);

  const int32_t s = find_span_hinted(k, n, t, u, k - 1);
  if (s < 0) return BSINARG;  // u not placeable (NaN)
  int h = p;
  if (u == t[s + 1]) {
    // the knots already at u reduce the insertions; k of them is a gap in the curve
    int m = 0;
    for (int32_t i = s + 1; i < nk - k && std::fabs(t[i] - t[s + 1]) <= ktol; ++i) ++m;
    if (m >= k) return BSINARG;
    h = p - m;
  }
  const int32_t nl = s + 1, nr = n - s + h;
  if (!arrays.provide(left, k, nl, rational) || !arrays.provide(right, k, nr, rational))
    return BSNOMEMORY;
  piece_header(left, k, nl, rational);
  piece_header(right, k, nr, rational);
  std::copy(cv.poles, cv.poles + 3 * static_cast<std::ptrdiff_t>(nl), left.poles);
  std::copy(cv.poles + 3 * static_cast<std::ptrdiff_t>(s + 1), cv.poles + 3 * n,
            right.poles + 3 * static_cast<std::ptrdiff_t>(h + 1));
  if (rational) {
    std::copy(cv.weights, cv.weights + nl, left.weights);
    std::copy(cv.weights + s + 1, cv.weights + n, right.weights + h + 1);
  }
  split_triangle(k, t, s, u, h, PoleSet::record(left), PoleSet::record(right));
  std::copy(t, t + s + 1, left.knots);
  std::fill(left.knots + s + 1, left.knots + s + 1 + k, u);
  std::fill(right.knots, right.knots + h + 1, u);
  std::copy(t + s + 1, t + nk, right.knots + h + 1);

  for (BScurve *piece : {&left, &right}) {
    piece->phy_closed = end_pole_distance_sq(*piece) <= tol().dist_sqtol ? 1 : 0;
    set_closed(*piece);
    piece->non_uniform = input.non_uniform ? (piece->num_poles == k ? 0 : 1) : (on_knot ? 0 : 1);
  }
  left.planar = right.planar = 0;
  arrays.keep();
  if (plane) {
    for (BScurve *piece : {&left, &right}) {
      const BSrc rc = plane_test(*piece, false);
      if (rc != BSSUCC) return rc;
    }
  }
  return BSSUCC;
}

namespace {

// Inserts u to total multiplicity k-1 into the working curve (room for the poles)
// with knot_tol tightened to tau for the inner calls; returns the value inserted.
BSrc insert_full(BScurve &work, double &u, double tau) {
  const ToleranceOverride narrow(&BSparameters::knot_tol, tau);
  BScurve *target = &work;
  return add_knot(work, u, work.order - 1, true, true, &target, &u);
}

}  // namespace

BSrc extract_part(const BScurve &cv, double ua, double ub, BScurve &out, bool plane) {
  const int32_t k = cv.order, n = cv.num_poles, p = k - 1;
  const bool rational = cv.rational != 0;
  double ta = 0.0, tb = 0.0;
  BSrc rc = BSSUCC;
  BSlocknttol(&cv, ua, tol().dist_tol, &ta, &rc);
  if (rc != BSSUCC) return rc;
  BSlocknttol(&cv, ub, tol().dist_tol, &tb, &rc);
  if (rc != BSSUCC) return rc;
  if (std::fabs(ub - ua) < std::min(ta, tb)) return BSINARG;
  if (ub < ua) {
    std::swap(ua, ub);
    std::swap(ta, tb);
  }
  const double *t = cv.knots;
  const double a = t[k - 1], b = t[n];
  if (ua < a - ta || ub > b + tb) return BSFAIL;
  const auto to_end = [&](double &u, double tu) {
    if (std::fabs(u - a) <= tu) u = a;
    if (std::fabs(u - b) <= tu) u = b;
  };
  to_end(ua, ta);
  to_end(ub, tb);
  if (std::fabs(ub - ua) < std::min(ta, tb)) return BSINARG;
  if (out.poles == nullptr || out.knots == nullptr || (rational && out.weights == nullptr))
    return BSNULLPTR;
  // After the checks above ua can only be the start and ub only the end.
  const bool a_inner = ua != a, b_inner = ub != b;
  if (!a_inner && !b_inner) {
    BScv_copy(&rc, &cv, &out);
    if (rc != BSSUCC) return rc;
    clamp_ends(out, true, true);
  } else {
    const auto snap = [&](double &u, double tu) {
      const double *q = std::upper_bound(t + k, t + n, u - tu);
      if (q < t + n && std::fabs(*q - u) <= tu) u = *q;
    };
    if (a_inner) snap(ua, ta);
    if (b_inner) snap(ub, tb);
    if (std::fabs(ub - ua) < std::min(ta, tb)) return BSINARG;
    ScratchCurve scratch(k, n + 2 * p, rational);
    if (!scratch.ok()) return scratch.status();
    BScurve &work = scratch.curve();
    BScv_copy(&rc, &cv, &work);
    if (rc != BSSUCC) return rc;
    if (a_inner && (rc = insert_full(work, ua, ta)) != BSSUCC) return rc;
    if (b_inner && (rc = insert_full(work, ub, tb)) != BSSUCC) return rc;
    if (!a_inner || !b_inner) clamp_ends(work, !a_inner, !b_inner);
    const int32_t wn = work.num_poles, wk = wn + k;
    const double *w = work.knots;
    const int32_t first = static_cast<int32_t>(std::upper_bound(w, w + wk, ua) - w) - 1 - p;
    const int32_t last = static_cast<int32_t>(std::lower_bound(w, w + wk, ub) - w) - 1;
    if (first < 0 || last > wn - 1 || last - first + 1 < k) return BSFAIL;
    const int32_t np = last - first + 1;
    std::copy(work.poles + 3 * static_cast<std::ptrdiff_t>(first),
              work.poles + 3 * static_cast<std::ptrdiff_t>(last + 1), out.poles);
    if (rational) std::copy(work.weights + first, work.weights + last + 1, out.weights);
    std::copy(w + first, w + last + k + 1, out.knots);
    std::fill(out.knots, out.knots + k, ua);
    std::fill(out.knots + np, out.knots + np + k, ub);
    out.num_poles = np;
  }
  piece_header(out, k, out.num_poles, rational);
  out.phy_closed = end_pole_distance_sq(out) < tol().dist_tol * tol().dist_tol ? 1 : 0;
  out.non_uniform = 1;
  out.planar = 0;
  return plane ? plane_test(out, true) : BSSUCC;
}

int32_t find_breaks(const BScurve &cv, double tol, double *values) {
  const int32_t k = cv.order, n = cv.num_poles;
  const double *t = cv.knots;
  int32_t count = 0;
  for (int32_t i = k; i < n;) {
    int32_t j = i + 1;
    while (j < n && std::fabs(t[j] - t[j - 1]) < tol) ++j;
    if (j - i >= k - 1) values[count++] = t[i];
    i = j;
  }
  return count;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API BSboolean BScvsplit(BSrc *rc, const BScurve *curve, const double *u, BScurve *left,
                           BScurve *right, const BSboolean *plane) {
  KW_EPILOGUE(rc);
  if (u == nullptr || left == nullptr || right == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  if (!std::isfinite(*u)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  // The plane test runs after the pieces are complete: with it, they are built in
  // scratch and copied out at the end, so that its failure leaves the caller's
  // records untouched.
  if (plane == nullptr || !*plane) {
    *rc = split_curve(*curve, *u, *left, *right, false);
    return KW_FINISH(*rc == BSSUCC);
  }
  const int32_t k = curve->order, room = curve->num_poles + k;
  const bool rational = curve->rational != 0;
  ScratchCurve l(k, room, rational), r(k, room, rational);
  if (!l.ok() || !r.ok()) {
    *rc = BSNOSTKMEMORY;
    return KW_FINISH(FALSE);
  }
  *rc = split_curve(*curve, *u, l.curve(), r.curve(), true);
  if (*rc == BSSUCC) *rc = publish_pieces(l.curve(), r.curve(), *left, *right);
  return KW_FINISH(*rc == BSSUCC);
}

KW_API BSboolean BSactivsplt(BSrc *rc, const BScurve *curve, const double *ua, const double *ub,
                             BScurve *out, const BSboolean *plane) {
  KW_EPILOGUE(rc);
  if (ua == nullptr || ub == nullptr || out == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  if (!std::isfinite(*ua) || !std::isfinite(*ub)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  if (plane == nullptr || !*plane) {
    *rc = extract_part(*curve, *ua, *ub, *out, false);
    return KW_FINISH(*rc == BSSUCC);
  }
  const int32_t k = curve->order;
  const bool rational = curve->rational != 0;
  if (out->poles == nullptr || out->knots == nullptr || (rational && out->weights == nullptr)) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  // With the plane test (the last step) the part is built in scratch and copied out
  // at the end, so that its failure leaves out untouched.
  ScratchCurve part(k, curve->num_poles + 2 * (k - 1), rational);
  if (!part.ok()) {
    *rc = BSNOSTKMEMORY;
    return KW_FINISH(FALSE);
  }
  *rc = extract_part(*curve, *ua, *ub, part.curve(), true);
  if (*rc == BSSUCC) *rc = copy_curve_into(part.curve(), *out);
  return KW_FINISH(*rc == BSSUCC);
}

KW_API BSboolean BSextrcvspn(BSrc *rc, const int32_t *span, const BScurve *curve, BScurve *out,
                             const BSboolean *plane, const BSboolean *closure) {
  KW_EPILOGUE(rc);
  if (span == nullptr || out == nullptr || out->poles == nullptr || out->knots == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  const int32_t k = curve->order, s = *span;
  const bool rational = curve->rational != 0;
  if (rational && out->weights == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (s < k - 1 || s > curve->num_poles - 1) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  // Built in scratch and copied out at the end: a failing closure or plane test
  // leaves out untouched.
  ScratchCurve piece(k, k, rational);
  if (!piece.ok()) {
    *rc = BSNOSTKMEMORY;
    return KW_FINISH(FALSE);
  }
  BScurve &w = piece.curve();
  const int32_t first = s - k + 1;
  std::copy(curve->poles + 3 * static_cast<std::ptrdiff_t>(first),
            curve->poles + 3 * static_cast<std::ptrdiff_t>(s + 1), w.poles);
  if (rational) std::copy(curve->weights + first, curve->weights + s + 1, w.weights);
  std::copy(curve->knots + first, curve->knots + s + k + 1, w.knots);
  piece_header(w, k, k, rational);
  w.non_uniform = curve->non_uniform;
  w.phy_closed = 0;
  w.planar = 0;
  if (closure != nullptr && *closure) {
    if ((*rc = test_closed(w)) != BSSUCC) return KW_FINISH(FALSE);
    set_closed(w);
  }
  if (plane != nullptr && *plane) {
    if ((*rc = plane_test(w, false)) == BSBADWEIGHT) *rc = BSSUCC;
    if (*rc != BSSUCC) return KW_FINISH(FALSE);
  }
  *rc = copy_curve_into(w, *out);
  return KW_FINISH(*rc == BSSUCC);
}

KW_API BSboolean BSbreakcv(BSrc *rc, const BScurve *curve, int32_t *count, BScurve ***pieces,
                           const BSboolean *plane) {
  KW_EPILOGUE(rc);
  if (count == nullptr || pieces == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  *count = 0;
  *pieces = nullptr;
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  const int32_t k = curve->order, n = curve->num_poles;
  const bool rational = curve->rational != 0;
  ScratchBuffer breaks(static_cast<std::size_t>(n + k) * sizeof(double));
  if (!breaks.ok()) {
    *rc = BSNOSTKMEMORY;
    return KW_FINISH(FALSE);
  }
  double *values = breaks.as<double>();
  int32_t c = 0;
  if (n > k) {
    const double tol =
        curve_knot_tolerance(k, curve->knots, n, curve->poles, rational ? curve->weights : nullptr);
    c = find_breaks(*curve, tol, values);
  }
  BScurve **list = static_cast<BScurve **>(BSdbgcalloc(c + 1, sizeof(BScurve *)));
  if (list == nullptr) {
    *rc = BSNOMEMORY;
    return KW_FINISH(FALSE);
  }
  *pieces = list;
  const bool plane_flag = plane != nullptr && *plane;
  for (int32_t i = 0; i <= c; ++i) {
    BScurve *piece = nullptr;
    // room for any piece of the working curve (insertions may add up to 2 (k - 1))
    BSallocqelcv(curve->order, n + 2 * (k - 1), curve->rational, 0, &piece, rc);
    if (*rc != BSSUCC) return KW_FINISH(FALSE);
    const double ua = i == 0 ? curve->knots[k - 1] : values[i - 1];
    const double ub = i == c ? curve->knots[n] : values[i];
    *rc = extract_part(*curve, ua, ub, *piece, plane_flag);
    if (*rc == BSSUCC) *rc = test_closed(*piece);
    if (*rc != BSSUCC) {
      BSrc ignored;
      BSfreeqelcv(piece, &ignored);
      return KW_FINISH(FALSE);
    }
    list[i] = piece;
    *count = i + 1;
  }
  if (KW_FINISH(TRUE)) return TRUE;
  // A failure injected by the epilogue: the pieces are not handed out.
  for (int32_t i = 0; i <= c; ++i) {
    BSrc ignored;
    BSfreeqelcv(list[i], &ignored);
  }
  BSdbgfree(list);
  *pieces = nullptr;
  *count = 0;
  return FALSE;
}

KW_API BSboolean BSrev_cv(BSrc *rc, BScurve *curve) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  const int32_t k = curve->order, n = curve->num_poles, nk = n + k;
  double *P = curve->poles, *t = curve->knots;
  for (int32_t i = 0, j = n - 1; i < j; ++i, --j) {
    for (int c = 0; c < 3; ++c) std::swap(P[3 * i + c], P[3 * j + c]);
    if (curve->rational) std::swap(curve->weights[i], curve->weights[j]);
  }
  const double sum = t[k - 1] + t[n];
  std::reverse(t, t + nk);
  for (int32_t j = 0; j < nk; ++j) t[j] = sum - t[j];
  if (curve->num_boundaries > 0 && curve->bdrys != nullptr) {
    double *bd = curve->bdrys;
    const int32_t nb = 2 * curve->num_boundaries;
    std::reverse(bd, bd + nb);
    for (int32_t j = 0; j < nb; ++j) bd[j] = sum - bd[j];
  }
  return KW_FINISH(TRUE);
}

KW_API void BScvtstclsd(BScurve *curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  *rc = test_closed(*curve);
}

KW_API void BScvsetclsd(BScurve *curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  set_closed(*curve);
}

}  // extern "C"
