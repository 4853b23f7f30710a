// The planar offset engine: breaks a curve lying in a plane z = constant at its
// C0 knots, offsets every smooth piece, connects consecutive offsets at the
// corners (round arcs or tangent extensions on the convex side, trimming at their
// intersection on the concave side, so that no offset point comes closer to the
// base than |d|), closes the offset of a closed curve and joins everything into
// one curve on the base curve's domain.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "offset/offset.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {

namespace {

// A quadratic piece whose polygon turns back by more than about 170 degrees gets
// five knots around the turn so that its offset polygon can follow it.
BSrc sharp_turn_refine(const BScurve &piece, BScurve **out) {
  if (piece.order != 3 || piece.num_poles != 3) return copy_curve(piece, 0, out);
  double p[9], l1[3], l2[3];
  for (int i = 0; i < 3; ++i) unweighted_pole(piece, i, p + 3 * i);
  v3::sub(p + 3, p, l1);
  v3::sub(p + 6, p + 3, l2);
  const double a = v3::len(l1), b = v3::len(l2);
  if (!(a > 0.0) || !(b > 0.0) || v3::dot(l1, l2) >= -0.9848 * a * b)
    return copy_curve(piece, 0, out);
  const double s = a / (a + b), u0 = piece.knots[2], u1 = piece.knots[3];
  const double ins[5] = {s - 0.025 * s, s - 0.01 * s, s, s + 0.01 * (1 - s), s + 0.025 * (1 - s)};
  double kts[11] = {u0, u0, u0, 0, 0, 0, 0, 0, u1, u1, u1};
  for (int i = 0; i < 5; ++i) kts[3 + i] = u0 + (u1 - u0) * ins[i];
  if (const BSrc rc = new_curve(3, 8, piece.rational != 0, out); rc) return rc;
  BSrc rc = BSSUCC;
  BSadd_kts(&piece, 8, kts, *out, &rc);
  if (rc != BSSUCC) {
    BSrc r2;
    BSfreeqelcv(*out, &r2);
    *out = nullptr;
  }
  return rc;
}

// Segment a -> b as an order-2 curve.
BSrc segment(const double *a, const double *b, BScurve **out) {
  if (const BSrc rc = new_curve(2, 2, false, out); rc) return rc;
  v3::copy(a, (*out)->poles);
  v3::copy(b, (*out)->poles + 3);
  const double kts[4] = {0.0, 0.0, 1.0, 1.0};
  std::copy(kts, kts + 4, (*out)->knots);
  return BSSUCC;
}

// The list of curves making up the offset, in order.
struct Chain {
  BScurve **items = nullptr;
  int32_t count = 0;
  void push(BScurve *c) { items[count++] = c; }
};

double start_of(const BScurve &c) {
  return c.knots[c.order - 1];
}
double end_of(const BScurve &c) {
  return c.knots[c.num_poles];
}

// Trims *a at its end and *b at its start to their intersection nearest to hint.
// *done false (nothing changed) when they do not intersect usefully.
BSrc trim_to_intersection(BScurve **a, BScurve **b, const double *hint, bool *done) {
  *done = false;
  int32_t ni = 0, no = 0;
  BSboolean ia = FALSE, oa = FALSE;
  double *ap = nullptr, *ap1 = nullptr, *ap2 = nullptr, *op = nullptr, *op1 = nullptr,
         *op2 = nullptr;
  BSrc rc = BSSUCC;
  BScvcvint(*a, *b, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ni, &no, &ia,
            &oa, &ap, &ap1, &ap2, &op, &op1, &op2, &rc);
  double ta = 0.0, tb = 0.0, best = -1.0;
  if (rc == BSSUCC)
    for (int32_t i = 0; i < ni; ++i) {
      const double dd = v3::dist(ap + 3 * i, hint);
      if (best < 0.0 || dd < best) best = dd, ta = ap1[i], tb = ap2[i];
    }
  for (double *p : {ap, ap1, ap2, op, op1, op2})
    if (p != nullptr) BSdbgfree(p);
  if (rc == BSNOMEMORY || rc == BSNOSTKMEMORY) return rc;
  if (best < 0.0) return BSSUCC;
  OwnedCurve na, nb;
  rc = part_of(**a, start_of(**a), ta, na.addr());
  if (rc == BSSUCC) rc = part_of(**b, tb, end_of(**b), nb.addr());
  if (rc == BSNOMEMORY || rc == BSNOSTKMEMORY) return rc;
  if (rc != BSSUCC) return BSSUCC;
  // The trimmed ends meet exactly.
  double pa[3], pb[3], m[3];
  unweighted_pole(*na.get(), na->num_poles - 1, pa);
  unweighted_pole(*nb.get(), 0, pb);
  v3::add(pa, pb, m);
  v3::scale(m, 0.5, m);
  const double wa = na->rational ? na->weights[na->num_poles - 1] : 1.0;
  const double wb = nb->rational ? nb->weights[0] : 1.0;
  v3::scale(m, wa, na->poles + 3 * (na->num_poles - 1));
  v3::scale(m, wb, nb->poles);
  BSrc r2;
  BSfreeqelcv(*a, &r2);
  BSfreeqelcv(*b, &r2);
  *a = na.release();
  *b = nb.release();
  *done = true;
  return BSSUCC;
}

// Connects the chain's last curve to next at the base corner point p with base
// tangents ta (arriving) and tb (leaving). The connector, if any, goes to the chain.
BSrc connect(Chain &chain, BScurve **next, const double *p, const double *ta, const double *tb,
             double d, bool extend, CornerGaps *gaps) {
  BScurve *&last = chain.items[chain.count - 1];
  double qa[3], qb[3];
  unweighted_pole(*last, last->num_poles - 1, qa);
  unweighted_pole(**next, 0, qb);
  if (v3::dist(qa, qb) <= tol().dist_tol) {
    // Tangent continuous: make the ends meet exactly.
    const double w = (*next)->rational ? (*next)->weights[0] : 1.0;
    v3::scale(qa, w, (*next)->poles);
    return BSSUCC;
  }
  double gap[3], tsum[3];
  v3::sub(qb, qa, gap);
  v3::add(ta, tb, tsum);
  const double ad = std::fabs(d);
  if (v3::dot(gap, tsum) < -1e-12 * ad) {
    // Concave: the offsets overlap; cut both at their crossing.
    double hint[3];
    v3::add(qa, qb, hint);
    v3::scale(hint, 0.5, hint);
    bool done = false;
    if (const BSrc rc = trim_to_intersection(&last, next, hint, &done); rc || done) return rc;
    // They do not cross (a piece too short for the corner): a straight connector,
    // which lies inside a loop of the offset and is recorded for the check after
    // loop removal.
    BScurve *seg = nullptr;
    if (const BSrc rc = segment(qa, qb, &seg); rc) return rc;
    chain.push(seg);
    if (gaps != nullptr && gaps->count < gaps->capacity) {
      v3::copy(qa, gaps->ends + 6 * gaps->count);
      v3::copy(qb, gaps->ends + 6 * gaps->count + 3);
      ++gaps->count;
    }
    return BSSUCC;
  }
  double ua[3], ub[3];
  v3::sub(qa, p, ua);
  v3::sub(qb, p, ub);
  v3::scale(ua, 1.0 / v3::len(ua), ua);
  v3::scale(ub, 1.0 / v3::len(ub), ub);
  if (extend && v3::dot(ua, ub) > -0.5) {
    // Tangent extensions meet at x = p + |d| (ua + ub) / (1 + ua.ub).
    double x[3], s[3];
    v3::add(ua, ub, s);
    v3::axpy(p, ad / (1.0 + v3::dot(ua, ub)), s, x);
    BScurve *s1 = nullptr, *s2 = nullptr;
    if (const BSrc rc = segment(qa, x, &s1); rc) return rc;
    chain.push(s1);
    if (const BSrc rc = segment(x, qb, &s2); rc) return rc;
    chain.push(s2);
    return BSSUCC;
  }
  // Round corner: the arc about p from qa to qb on the convex side.
  double mid[3], dir[3];
  v3::add(ua, ub, dir);
  if (v3::len(dir) < 1e-8) {
    v3::copy(ta, dir);  // a cusp: go round the tip
  }
  v3::scale(dir, 1.0 / v3::len(dir), dir);
  v3::axpy(p, ad, dir, mid);
  mid[2] = qa[2];
  BScurve *arc = nullptr;
  if (const BSrc rc = new_curve(3, 7, true, &arc); rc) return rc;
  BSrc rc = BSSUCC;
  BSarc3pts(&rc, qa, mid, qb, arc);
  if (rc == BSNOMEMORY || rc == BSNOSTKMEMORY) {
    BSrc r2;
    BSfreeqelcv(arc, &r2);
    return rc;
  }
  if (rc != BSSUCC) {
    BSrc r2;
    BSfreeqelcv(arc, &r2);
    // Too small to bend: a straight connector.
    if (const BSrc r3 = segment(qa, qb, &arc); r3) return r3;
  }
  arc->phy_closed = 0;
  chain.push(arc);
  return BSSUCC;
}

}  // namespace

BSrc raise_order(BScurve **c, int32_t order) {
  if ((*c)->order >= order) return BSSUCC;
  BSrc rc = BSSUCC;
  BScurve *raised = nullptr;
  BSupthedeg(*c, static_cast<int16_t>(order - 1), FALSE, &raised, &rc);
  if (rc != BSSUCC) return rc;
  BSfreeqelcv(*c, &rc);
  *c = raised;
  return BSSUCC;
}

namespace {

// Joins the chain into one curve of the highest order among its members.
BSrc join_chain(Chain &chain, BScurve **out) {
  int32_t order = 2;
  bool rational = false;
  for (int32_t i = 0; i < chain.count; ++i) {
    order = std::max<int32_t>(order, chain.items[i]->order);
    rational = rational || chain.items[i]->rational;
  }
  int32_t total = 0;
  for (int32_t i = 0; i < chain.count; ++i) {
    BScurve *&c = chain.items[i];
    c->phy_closed = 0;
    if (const BSrc rc = raise_order(&c, order); rc) return rc;
    c->phy_closed = 0;
    if (rational && !c->rational) {
      BScurve *r = nullptr;
      if (const BSrc rc = new_curve(c->order, c->num_poles, true, &r); rc) return rc;
      std::copy(c->poles, c->poles + 3 * c->num_poles, r->poles);
      std::copy(c->knots, c->knots + c->num_knots, r->knots);
      std::fill(r->weights, r->weights + c->num_poles, 1.0);
      BSrc rc = BSSUCC;
      BSfreeqelcv(c, &rc);
      c = r;
    }
    total += c->num_poles - (i > 0 ? 1 : 0);
  }
  OwnedCurve acc;
  if (const BSrc rc = new_curve(order, total, rational, acc.addr()); rc) return rc;
  BSrc rc = BSSUCC;
  BScv_copy(&rc, chain.items[0], acc.get());
  if (rc != BSSUCC) return rc;
  acc->phy_closed = 0;
  for (int32_t i = 1; i < chain.count; ++i) {
    BScomb2cvs(acc.get(), chain.items[i], acc.get(), &rc);
    if (rc == kJoinDegeneracyUnknown) rc = BSNOSTKMEMORY;
    if (rc != BSSUCC) return rc;
    acc->phy_closed = 0;
  }
  *out = acc.release();
  return BSSUCC;
}

void tangent(const BScurve &c, double u, double *t) {
  double pd[6];
  BSrc rc = BSSUCC;
  BScveval(&c, u, 1, pd, &rc);
  v3::copy(pd + 3, t);
  const double l = v3::len(t);
  if (l > 0.0) v3::scale(t, 1.0 / l, t);
}

}  // namespace

BSrc xy_offset(const BScurve &cv, double d, bool corner, const double *normal, int32_t side,
               BScurve **out, CornerGaps *gaps) {
  *out = nullptr;
  if (std::fabs(d) < tol().zero_tol) return copy_curve(cv, 0, out);
  OwnedCurve base;
  if (const BSrc rc = copy_curve(cv, 0, base.addr()); rc) return rc;
  BSrc rc = BSSUCC;
  BScnvtomkt(&rc, base.get());
  if (rc != BSSUCC) return rc;
  int32_t npieces = 0;
  BScurve **pieces = nullptr;
  const BSboolean plane = FALSE;
  BSbreakcv(&rc, base.get(), &npieces, &pieces, &plane);
  struct PieceList {
    BScurve **p;
    int32_t *n;
    ~PieceList() {
      if (p == nullptr) return;
      BSrc r;
      for (int32_t i = 0; i < *n; ++i)
        if (p[i] != nullptr) BSfreeqelcv(p[i], &r);
      BSdbgfree(p);
    }
  } piece_guard{pieces, &npieces};
  if (rc != BSSUCC) return rc;
  if (npieces < 1) return BSFAIL;
  const bool closed = cv.phy_closed != 0;
  ScratchBuffer buf(static_cast<std::size_t>(3 * npieces + 4) * sizeof(BScurve *));
  if (!buf.ok()) return BSNOSTKMEMORY;
  Chain chain{buf.as<BScurve *>(), 0};
  struct ChainGuard {
    Chain *c;
    ~ChainGuard() {
      BSrc r;
      for (int32_t i = 0; i < c->count; ++i)
        if (c->items[i] != nullptr) BSfreeqelcv(c->items[i], &r);
    }
  } chain_guard{&chain};
  BSrc held = BSSUCC;
  for (int32_t i = 0; i < npieces; ++i) {
    OwnedCurve refined;
    if (const BSrc r2 = sharp_turn_refine(*pieces[i], refined.addr()); r2) return r2;
    BScurve *off = nullptr;
    BSrc r2 = piece_offset(*refined.get(), d, normal, side, &off);
    if (r2 == kOffsetNotConverged) held = r2, r2 = BSSUCC;
    if (r2 != BSSUCC) return r2;
    if (i == 0) {
      chain.push(off);
      continue;
    }
    double p[3], ta[3], tb[3];
    unweighted_pole(*pieces[i], 0, p);
    tangent(*pieces[i - 1], end_of(*pieces[i - 1]), ta);
    tangent(*pieces[i], start_of(*pieces[i]), tb);
    BSrc r3 = connect(chain, &off, p, ta, tb, d, corner, gaps);
    chain.push(off);
    if (r3 != BSSUCC) return r3;
  }
  if (closed) {
    // The seam is one more corner: from the last piece's end to the first's start.
    double p[3], ta[3], tb[3];
    unweighted_pole(*pieces[0], 0, p);
    tangent(*pieces[npieces - 1], end_of(*pieces[npieces - 1]), ta);
    tangent(*pieces[0], start_of(*pieces[0]), tb);
    if (chain.count == 1) {
      // Split the single offset so that a seam corner has two ends to work on.
      BScurve *c = chain.items[0];
      double qa[3], qb[3];
      unweighted_pole(*c, c->num_poles - 1, qa);
      unweighted_pole(*c, 0, qb);
      if (v3::dist(qa, qb) > tol().dist_tol) {
        const double mid = 0.5 * (start_of(*c) + end_of(*c));
        BScurve *h1 = nullptr, *h2 = nullptr;
        if (const BSrc r2 = part_of(*c, start_of(*c), mid, &h1); r2) return r2;
        if (const BSrc r2 = part_of(*c, mid, end_of(*c), &h2); r2) {
          BSfreeqelcv(h1, &rc);
          return r2;
        }
        BSfreeqelcv(c, &rc);
        chain.items[0] = h1;
        chain.push(h2);
      }
    }
    BScurve *first = chain.items[0];
    // Connect the last to a stand-in for the first, then move the trimmed first back.
    BSrc r3 = connect(chain, &first, p, ta, tb, d, corner, gaps);
    chain.items[0] = first;
    if (r3 != BSSUCC) return r3;
  }
  OwnedCurve joined;
  if (const BSrc r2 = join_chain(chain, joined.addr()); r2) return r2;
  for (int32_t i = 1; i < joined->num_knots; ++i)
    if (joined->knots[i] < joined->knots[i - 1]) return BSFAIL;
  const double a = cv.knots[cv.order - 1], b = cv.knots[cv.num_poles];
  BSreparmcv(joined.get(), a, b, joined.get(), &rc);
  if (rc != BSSUCC) return rc;
  if (closed) {
    joined->phy_closed = 1;
    BScvsetclsd(joined.get(), &rc);
    if (rc != BSSUCC) return rc;
  }
  joined->planar = 1;
  *out = joined.release();
  return held;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BSofupdeg(BScurve **curve1, BScurve **curve2, int16_t *order, int32_t *num_poles,
                      BSrc *rc) {
  KW_EPILOGUE(rc);
  if (curve1 == nullptr || curve2 == nullptr || order == nullptr || num_poles == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  for (BScurve *c : {*curve1, *curve2})
    if ((*rc = validate_curve(c, kCurveFull | kCurveOrder16)) != BSSUCC) return;
  const int32_t k = std::max((*curve1)->order, (*curve2)->order);
  if ((*rc = raise_order(curve1, k)) != BSSUCC) return;
  if ((*rc = raise_order(curve2, k)) != BSSUCC) return;
  *order = static_cast<int16_t>(k);
  *num_poles = (*curve1)->num_poles + (*curve2)->num_poles - 1;
}

}  // extern "C"
