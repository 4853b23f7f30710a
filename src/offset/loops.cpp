// Loops of planar offsets: the self-intersections of a curve lying in a plane
// z = constant, found on a dense polyline and polished by Newton steps on the
// curve, and the cutting away of the loops they close.
#include <algorithm>
#include <cmath>

#include "offset/offset.hpp"
#include "vector/vec3.hpp"

namespace knotwork {

namespace {

// Restores the whole tolerance record on scope exit.
class SavedTolerances {
 public:
  SavedTolerances() : saved_(::BSparameters) {}
  ~SavedTolerances() { ::BSparameters = saved_; }
  SavedTolerances(const SavedTolerances &) = delete;
  SavedTolerances &operator=(const SavedTolerances &) = delete;

 private:
  struct BSparameters saved_;
};

bool boxes_meet(const double *a0, const double *a1, const double *b0, const double *b1) {
  for (int c = 0; c < 2; ++c)
    if (std::fmax(a0[c], a1[c]) < std::fmin(b0[c], b1[c]) ||
        std::fmax(b0[c], b1[c]) < std::fmin(a0[c], a1[c]))
      return false;
  return true;
}

// Crossing parameters (0..1 on each) of segments p0p1 and q0q1 in the xy-plane.
bool segments_cross(const double *p0, const double *p1, const double *q0, const double *q1,
                    double *s, double *t) {
  const double rx = p1[0] - p0[0], ry = p1[1] - p0[1];
  const double qx = q1[0] - q0[0], qy = q1[1] - q0[1];
  const double den = rx * qy - ry * qx;
  if (den == 0.0) return false;
  const double wx = q0[0] - p0[0], wy = q0[1] - p0[1];
  *s = (wx * qy - wy * qx) / den;
  *t = (wx * ry - wy * rx) / den;
  return *s >= 0.0 && *s <= 1.0 && *t >= 0.0 && *t <= 1.0;
}

// Newton steps on C(s) = C(t) in the plane. True when converged within dist_tol/10.
bool polish(const BScurve &cv, double *s, double *t) {
  const double lo = cv.knots[cv.order - 1], hi = cv.knots[cv.num_poles];
  for (int it = 0; it < 30; ++it) {
    double a[6], b[6];
    BSrc rc = BSSUCC;
    BScveval(&cv, *s, 1, a, &rc);
    if (rc == BSSUCC) BScveval(&cv, *t, 1, b, &rc);
    if (rc != BSSUCC) return false;
    const double fx = a[0] - b[0], fy = a[1] - b[1];
    if (std::hypot(fx, fy) <= 0.1 * tol().dist_tol) return true;
    // J = [a', -b']
    const double det = a[3] * (-b[4]) - a[4] * (-b[3]);
    if (det == 0.0) return false;
    const double ds = (fx * (-b[4]) - fy * (-b[3])) / det;
    const double dt = (a[3] * fy - a[4] * fx) / det;
    *s = std::clamp(*s - ds, lo, hi);
    *t = std::clamp(*t - dt, lo, hi);
  }
  return false;
}

}  // namespace

namespace {

// Distance from x to the segment p q, and the segment parameter (0..1) of its foot.
double point_segment(const double *x, const double *p, const double *q, double *f) {
  const double dx = q[0] - p[0], dy = q[1] - p[1], l2 = dx * dx + dy * dy;
  *f = l2 > 0.0 ? std::clamp(((x[0] - p[0]) * dx + (x[1] - p[1]) * dy) / l2, 0.0, 1.0) : 0.0;
  return std::hypot(x[0] - p[0] - *f * dx, x[1] - p[1] - *f * dy);
}

// Foot of x on cv by Newton steps from t. True when it lies within dist_tol of x.
bool on_curve(const BScurve &cv, const double *x, double *t) {
  const double lo = cv.knots[cv.order - 1], hi = cv.knots[cv.num_poles];
  double c[9];
  BSrc rc = BSSUCC;
  for (int it = 0; it < 30; ++it) {
    BScveval(&cv, *t, 2, c, &rc);
    if (rc != BSSUCC) return false;
    const double ex = c[0] - x[0], ey = c[1] - x[1];
    const double f = ex * c[3] + ey * c[4];
    const double df = c[3] * c[3] + c[4] * c[4] + ex * c[6] + ey * c[7];
    if (!(df > 0.0)) break;
    const double next = std::clamp(*t - f / df, lo, hi);
    if (next == *t) break;
    *t = next;
  }
  BScveval(&cv, *t, 0, c, &rc);
  return rc == BSSUCC && std::hypot(c[0] - x[0], c[1] - x[1]) <= tol().dist_tol;
}

// Appends the pair (s, t) to the growing result list.
// Duplicates go when the list is complete (sort_pairs): a hostile curve can cross
// itself tens of thousands of times.
BSrc add_pair(double s, double t, int32_t *found, int32_t *cap, double **out) {
  if (*found == *cap) {
    *cap = *cap == 0 ? 8 : 2 * *cap;
    void *grown = BSdbgralloc(*out, static_cast<int32_t>(2 * *cap * sizeof(double)));
    if (grown == nullptr) return BSNOMEMORY;
    *out = static_cast<double *>(grown);
  }
  (*out)[2 * *found] = s;
  (*out)[2 * *found + 1] = t;
  ++*found;
  return BSSUCC;
}

// Sorts the n pairs (s, t) ascending and drops those within 1e-9 in both
// parameters of one kept before them; returns the count kept.
int32_t sort_pairs(int32_t n, double *pairs) {
  struct Pair {
    double s, t;
  };
  Pair *p = reinterpret_cast<Pair *>(pairs);
  std::sort(p, p + n,
            [](const Pair &a, const Pair &b) { return a.s < b.s || (a.s == b.s && a.t < b.t); });
  int32_t kept = 0;
  for (int32_t i = 0; i < n; ++i) {
    bool dup = false;
    for (int32_t j = kept - 1; j >= 0 && p[i].s - p[j].s < 1e-9 && !dup; --j)
      dup = std::fabs(p[i].t - p[j].t) < 1e-9;
    if (!dup) p[kept++] = p[i];
  }
  return kept;
}

}  // namespace

// Crossings come from the segment crossings of a dense polyline, polished on the
// curve. Overlaps (stretches the curve runs along twice) from the polyline
// vertices lying on a remote part of the curve: each run of such vertices gives
// the pair of its first vertex, so that cutting it leaves the stretch once.
BSrc self_intersections(const BScurve &cv, int32_t *count, double **pairs) {
  *count = 0;
  *pairs = nullptr;
  const int32_t k = cv.order, n = cv.num_poles;
  const int per = 4 * k;
  const int32_t m = (n - k + 1) * per + 1;  // polyline points
  ScratchBuffer buf(static_cast<std::size_t>(m) * (11 * sizeof(double) + sizeof(int32_t)));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *pts = buf.as<double>();
  double *par = pts + 3 * m;
  double *partner = par + m;  // per vertex: a parameter of a remote segment near it
  double *near = partner + m;
  double *reach = near + m;  // per segment: a quarter of its length plus dist_tol
  double *box = reach + m;   // per segment: lo x, lo y, hi x, hi y, widened by its reach
  int32_t *order = reinterpret_cast<int32_t *>(box + 4 * m);
  int32_t np = 0;
  BSrc rc = BSSUCC;
  for (int32_t sp = k - 1; sp < n; ++sp) {
    const double a = cv.knots[sp], b = cv.knots[sp + 1];
    if (!(b > a)) continue;
    for (int j = (np == 0 ? 0 : 1); j <= per; ++j) {
      par[np] = a + (b - a) * j / per;
      BScveval(&cv, par[np], 0, pts + 3 * np, &rc);
      if (rc != BSSUCC) return rc;
      partner[np] = NAN;
      near[np] = INFINITY;
      ++np;
    }
  }
  const int32_t segs = np - 1;
  // Vertices within a quarter of a segment's length of it are overlap candidates:
  // each segment's box is widened by that reach, and only pairs of segments whose
  // widened boxes meet are examined (a sweep along the polyline's longer axis).
  const double dt = tol().dist_tol;
  double ext_lo[2] = {INFINITY, INFINITY}, ext_hi[2] = {-INFINITY, -INFINITY};
  for (int32_t i = 0; i < segs; ++i) {
    const double *p = pts + 3 * i;
    reach[i] = 0.25 * std::hypot(p[3] - p[0], p[4] - p[1]) + dt;
    for (int c = 0; c < 2; ++c) {
      box[4 * i + c] = std::fmin(p[c], p[c + 3]) - reach[i];
      box[4 * i + 2 + c] = std::fmax(p[c], p[c + 3]) + reach[i];
      ext_lo[c] = std::fmin(ext_lo[c], box[4 * i + c]);
      ext_hi[c] = std::fmax(ext_hi[c], box[4 * i + 2 + c]);
    }
    order[i] = i;
  }
  const int ax = ext_hi[1] - ext_lo[1] > ext_hi[0] - ext_lo[0] ? 1 : 0;
  std::sort(order, order + segs,
            [&](int32_t x, int32_t y) { return box[4 * x + ax] < box[4 * y + ax]; });
  int32_t cap = 0, found = 0;
  double *out = nullptr;
  struct Guard {
    double **p;
    ~Guard() {
      if (*p != nullptr) BSdbgfree(*p);
    }
  } guard{&out};
  const bool closed = cv.phy_closed != 0;
  // Vertex v near segment g (not beside it): remember the segment's parameter.
  const auto touch = [&](int32_t v, int32_t g) {
    if (v == g || v == g + 1 || (closed && ((v == 0 && g == segs - 1) || (v == np - 1 && g == 0))))
      return;
    double f;
    const double *p = pts + 3 * g;
    const double dd = point_segment(pts + 3 * v, p, p + 3, &f);
    if (dd <= reach[g] && dd < near[v])
      near[v] = dd, partner[v] = par[g] + f * (par[g + 1] - par[g]);
  };
  // Curves that wind over themselves everywhere (thousands of crossings) are
  // refused rather than searched in quadratic time: offsets of real curves meet
  // well under one candidate pair per segment, and a few dozen share its range on
  // the sweep axis.
  int64_t budget = 8 * static_cast<int64_t>(segs) + 65536;
  int64_t sweep_budget = 256 * static_cast<int64_t>(segs) + (int64_t{1} << 20);
  for (int32_t oi = 0; oi < segs; ++oi) {
    const int32_t i = order[oi];
    const double reach_end = box[4 * i + 2 + ax];
    for (int32_t oj = oi + 1; oj < segs && box[4 * order[oj] + ax] <= reach_end; ++oj) {
      if (--sweep_budget < 0) return BSFAIL;
      int32_t a = i, b = order[oj];
      if (a > b) std::swap(a, b);
      if (b - a < 2 || (closed && a == 0 && b == segs - 1)) continue;
      if (!boxes_meet(box + 4 * a, box + 4 * a + 2, box + 4 * b, box + 4 * b + 2)) continue;
      if (--budget < 0) return BSFAIL;
      for (int e = 0; e < 2; ++e) touch(a + e, b), touch(b + e, a);
      const double *p0 = pts + 3 * a, *q0 = pts + 3 * b;
      double s, t;
      if (!segments_cross(p0, p0 + 3, q0, q0 + 3, &s, &t)) continue;
      s = par[a] + s * (par[a + 1] - par[a]);
      t = par[b] + t * (par[b + 1] - par[b]);
      if (!polish(cv, &s, &t) || !(t > s)) continue;
      if (const BSrc r2 = add_pair(s, t, &found, &cap, &out); r2) return r2;
    }
  }
  // Runs of at least two consecutive vertices on a later, remote part of the curve
  // (more than two sample steps away, across the seam of a closed curve too).
  const double lo = par[0], hi = par[np - 1];
  const auto remote = [&](int32_t v, double t) {
    const double step = 2.0 * (par[std::min(v + 1, np - 1)] - par[std::max(v - 1, 0)]);
    return t - par[v] > step && (!closed || (hi - lo) - (t - par[v]) > step);
  };
  for (int32_t v = 0; v + 1 < np; ++v) {
    double t = partner[v], t2 = partner[v + 1];
    if (!remote(v, t) || !on_curve(cv, pts + 3 * v, &t) || !remote(v, t)) continue;
    if (!remote(v + 1, t2) || !on_curve(cv, pts + 3 * (v + 1), &t2) || !remote(v + 1, t2)) continue;
    if (const BSrc r2 = add_pair(par[v], t, &found, &cap, &out); r2) return r2;
    while (v + 1 < np && remote(v + 1, partner[v + 1])) ++v;  // the rest of the run
  }
  found = sort_pairs(found, out);
  *count = found;
  *pairs = out;
  out = nullptr;
  return BSSUCC;
}

namespace {

void set_pole(BScurve &c, int32_t i, const double *p) {
  const double w = c.rational ? c.weights[i] : 1.0;
  v3::scale(p, w, c.poles + 3 * i);
}

// Appends the part of c between u0 and u1 (skipped when empty) to *acc; the part's
// first pole is set to acc's last so that the two meet exactly.
BSrc append_part(const BScurve &c, double u0, double u1, OwnedCurve &acc) {
  if (!(u1 > u0)) return BSSUCC;
  OwnedCurve piece;
  if (const BSrc rc = part_of(c, u0, u1, piece.addr()); rc) return rc;
  piece->phy_closed = 0;
  if (acc.get() == nullptr) {
    acc.reset(piece.release());
    return BSSUCC;
  }
  double p[3];
  unweighted_pole(*acc.get(), acc->num_poles - 1, p);
  set_pole(*piece.get(), 0, p);
  OwnedCurve joined;
  BSrc rc = new_curve(acc->order, acc->num_poles + piece->num_poles - 1, acc->rational != 0,
                      joined.addr());
  if (rc == BSSUCC) BScomb2cvs(acc.get(), piece.get(), joined.get(), &rc);
  if (rc == kJoinDegeneracyUnknown) rc = BSNOSTKMEMORY;
  if (rc != BSSUCC) return rc;
  joined->phy_closed = 0;
  acc.reset(joined.release());
  return BSSUCC;
}

// Marks acc closed: its end poles are made to meet.
BSrc close_up(BScurve &acc) {
  acc.phy_closed = 1;
  BSrc rc = BSSUCC;
  BScvsetclsd(&acc, &rc);
  return rc;
}

// The loop of a closed curve that runs through its seam: from t to the end, then
// from the start to s, as one closed curve with knots on [0, 1].
BSrc seam_loop(const BScurve &c, double s, double t, BScurve **out) {
  const double lo = c.knots[c.order - 1], hi = c.knots[c.num_poles];
  OwnedCurve acc;
  if (const BSrc rc = append_part(c, t, hi, acc); rc) return rc;
  if (const BSrc rc = append_part(c, lo, s, acc); rc) return rc;
  if (acc.get() == nullptr) return BSFAIL;
  BSrc rc = BSSUCC;
  BSnorkts(&rc, &acc->order, &acc->num_poles, acc->knots);
  if (rc == BSSUCC) rc = close_up(*acc.get());
  if (rc == BSSUCC) *out = acc.release();
  return rc;
}

BSrc cut_loops(const BScurve &offset, int16_t code, int32_t *nloops, BScurve ***loops,
               BScurve **result) {
  int32_t count = 0;
  double *pairs = nullptr;
  if (const BSrc rc = self_intersections(offset, &count, &pairs); rc) return rc;
  struct Free {
    double *p;
    ~Free() {
      if (p) BSdbgfree(p);
    }
  } free_pairs{pairs};
  if (count == 0) return copy_curve(offset, 0, result);
  const double lo = offset.knots[offset.order - 1], hi = offset.knots[offset.num_poles];
  // On a closed curve a pair spanning more than half the domain closes a loop
  // through the seam: the kept curve is the part between its parameters, and of
  // several such loops (nested about the seam) the widest is cut.
  double from = lo, to = hi;
  bool seam = false;
  if (offset.phy_closed)
    for (int32_t i = 0; i < count; ++i)
      if (pairs[2 * i + 1] - pairs[2 * i] > 0.5 * (hi - lo) &&
          (!seam || pairs[2 * i + 1] - pairs[2 * i] < to - from))
        from = pairs[2 * i], to = pairs[2 * i + 1], seam = true;
  // The outermost loops inside [from, to]: each pair whose start follows the last
  // cut's end.
  int32_t cuts = 0;
  double last_end = from;
  for (int32_t i = 0; i < count; ++i)
    if (pairs[2 * i] > last_end && pairs[2 * i + 1] < to) {
      pairs[2 * cuts] = pairs[2 * i];
      pairs[2 * cuts + 1] = pairs[2 * i + 1];
      last_end = pairs[2 * cuts + 1];
      ++cuts;
    }
  const int32_t nlist = code == 1 ? cuts + (seam ? 1 : 0) : 0;
  BScurve **list = nullptr;
  struct ListGuard {
    BScurve ***l;
    int32_t n;
    ~ListGuard() {
      if (*l == nullptr) return;
      BSrc r;
      for (int32_t j = 0; j < n; ++j)
        if ((*l)[j]) BSfreeqelcv((*l)[j], &r);
      BSdbgfree(*l);
    }
  } list_guard{&list, nlist};
  if (nlist > 0) {
    list = static_cast<BScurve **>(BSdbgcalloc(nlist, sizeof(BScurve *)));
    if (list == nullptr) return BSNOMEMORY;
    for (int32_t i = 0; i < cuts; ++i) {
      BSrc rc = part_of(offset, pairs[2 * i], pairs[2 * i + 1], &list[i]);
      if (rc == BSSUCC) {
        double p[3];
        unweighted_pole(*list[i], 0, p);
        set_pole(*list[i], list[i]->num_poles - 1, p);
        BSnorkts(&rc, &list[i]->order, &list[i]->num_poles, list[i]->knots);
        list[i]->phy_closed = 1;
      }
      if (rc != BSSUCC) return rc;
    }
    if (seam)
      if (const BSrc rc = seam_loop(offset, from, to, &list[cuts]); rc) return rc;
  }
  // The kept parts joined end to end.
  OwnedCurve acc;
  BSrc rc = BSSUCC;
  for (int32_t i = 0; i <= cuts && rc == BSSUCC; ++i) {
    rc = append_part(offset, from, i < cuts ? pairs[2 * i] : to, acc);
    if (i < cuts) from = pairs[2 * i + 1];
  }
  if (rc == BSSUCC && acc.get() == nullptr) rc = BSFAIL;
  if (rc == BSSUCC) BSreparmcv(acc.get(), lo, hi, acc.get(), &rc);
  if (rc == BSSUCC && offset.phy_closed) rc = close_up(*acc.get());
  if (rc != BSSUCC) return rc;
  *result = acc.release();
  *nloops = nlist;
  *loops = list;
  list = nullptr;
  return BSSUCC;
}

}  // namespace

BSrc restart_closed(const BScurve &c, double u, BScurve **out) {
  const double lo = c.knots[c.order - 1], hi = c.knots[c.num_poles];
  if (!(u > lo + 1e-12 * (hi - lo) && u < hi - 1e-12 * (hi - lo))) return copy_curve(c, 0, out);
  OwnedCurve acc;
  BSrc rc = append_part(c, u, hi, acc);
  if (rc == BSSUCC) rc = append_part(c, lo, u, acc);
  if (rc == BSSUCC) BSreparmcv(acc.get(), lo, hi, acc.get(), &rc);
  if (rc == BSSUCC) rc = close_up(*acc.get());
  if (rc == BSSUCC) *out = acc.release();
  return rc;
}

// Cuts the loops of an offset away (code 1: returned as closed curves, code 2:
// dropped). The tolerance record is tightened for the search and restored whole.
BSrc remove_loops(const BScurve &offset, int16_t code, int32_t *nloops, BScurve ***loops,
                  BScurve **result) {
  *nloops = 0;
  *loops = nullptr;
  *result = nullptr;
  if (code != 1 && code != 2) return copy_curve(offset, 0, result);
  SavedTolerances saved;
  BSrc rc = BSSUCC;
  BSchgdeppar(::BSparameters.basis_tol / 10.0, &rc);
  if (rc != BSSUCC) return BSFAIL;
  rc = cut_loops(offset, code, nloops, loops, result);
  if (rc == BSNOMEMORY || rc == BSNOSTKMEMORY) return rc;
  return rc == BSSUCC ? BSSUCC : BSFAIL;
}

}  // namespace knotwork
