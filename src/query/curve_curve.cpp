// Intersection of two curves: isolated points and overlaps. Curves that are points
// are projected; all others are paired span by span through a box hierarchy over
// the spans of the curve with more spans, each meeting pair of Bezier pieces is
// intersected (curve_curve_pieces.cpp), and the raw results are sorted, merged and
// written into the caller's buffers or into result memory.
#include <initializer_list>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "bspline/knots.hpp"
#include "frame/frame.hpp"
#include "query/boxes.hpp"
#include "query/curve_curve.hpp"
#include "query/project.hpp"
#include "vector/vec3.hpp"

namespace knotwork {
using namespace v3;

// ---- Raw result stores -------------------------------------------------------------

namespace {

// Grows the three parallel arrays (widths w0, w1, w2 doubles per entry) to room
// `need` entries in steps of 100; arrays other than the local ones are released.
bool grow(double **a, double **b, double **c, int w0, int w1, int w2, int32_t *room, int32_t need,
          const double *local_a) {
  if (need <= *room) return true;
  int32_t room2 = *room;
  while (room2 < need) room2 += 100;
  double *na = alloc_result_doubles(static_cast<std::size_t>(w0) * room2);
  double *nb = na ? alloc_result_doubles(static_cast<std::size_t>(w1) * room2) : nullptr;
  double *nc = nb ? alloc_result_doubles(static_cast<std::size_t>(w2) * room2) : nullptr;
  if (nc == nullptr) {
    if (na) BSdbgfree(na);
    if (nb) BSdbgfree(nb);
    return false;
  }
  std::memcpy(na, *a, sizeof(double) * w0 * *room);
  std::memcpy(nb, *b, sizeof(double) * w1 * *room);
  std::memcpy(nc, *c, sizeof(double) * w2 * *room);
  if (*a != local_a) {
    BSdbgfree(*a);
    BSdbgfree(*b);
    BSdbgfree(*c);
  }
  *a = na, *b = nb, *c = nc, *room = room2;
  return true;
}

}  // namespace

RawResults::~RawResults() {
  if (pts != pts_local_) {
    BSdbgfree(pts);
    BSdbgfree(par1);
    BSdbgfree(par2);
  }
  if (opts != opts_local_) {
    BSdbgfree(opts);
    BSdbgfree(opar1);
    BSdbgfree(opar2);
  }
}

BSrc RawResults::add_point(const double *p, double u1, double u2) {
  if (!grow(&pts, &par1, &par2, 3, 1, 1, &room_points_, num_points + 1, pts_local_))
    return BSNOMEMORY;
  copy(p, pts + 3 * num_points);
  par1[num_points] = u1;
  par2[num_points] = u2;
  ++num_points;
  return BSSUCC;
}

BSrc RawResults::add_overlap(const double *p0, const double *p1, double u1a, double u1b, double u2a,
                             double u2b) {
  if (!grow(&opts, &opar1, &opar2, 6, 2, 2, &room_overlaps_, num_overlaps + 1, opts_local_))
    return BSNOMEMORY;
  copy(p0, opts + 6 * num_overlaps);
  copy(p1, opts + 6 * num_overlaps + 3);
  opar1[2 * num_overlaps] = u1a;
  opar1[2 * num_overlaps + 1] = u1b;
  opar2[2 * num_overlaps] = u2a;
  opar2[2 * num_overlaps + 1] = u2b;
  ++num_overlaps;
  return BSSUCC;
}

// ---- Sorting, merging and output -----------------------------------------------

namespace {

struct CurveInfo {
  const BScurve *cv;
  double lo, hi, ktol;
  bool closed;
};

CurveInfo info_of(const BScurve &cv) {
  CurveInfo ci;
  ci.cv = &cv;
  ci.lo = cv.knots[cv.order - 1];
  ci.hi = cv.knots[cv.num_poles];
  ci.ktol = curve_knot_tolerance(cv.order, cv.knots, cv.num_poles, cv.poles,
                                 cv.rational ? cv.weights : nullptr);
  ci.closed = cv.phy_closed != 0;
  return ci;
}

// Whether the curve stays within 10 dist_tol of p between parameters u and v (the
// shorter way round on a closed curve).
bool stays_near(const CurveInfo &ci, double u, double v, const double *p) {
  double m = 0.5 * (u + v);
  if (ci.closed && std::fabs(u - v) > 0.5 * (ci.hi - ci.lo)) {
    m += 0.5 * (ci.hi - ci.lo);
    if (m > ci.hi) m -= ci.hi - ci.lo;
  }
  double q[3];
  if (evaluate_curve_at(*ci.cv, m, 0, q) != BSSUCC) return false;
  return dist_sq(q, p) <= 100.0 * tol().dist_sqtol;
}

// Copies n entries of width w from src into dst in the order of tags.
void gather(int32_t n, int w, const int32_t *tags, const double *src, double *dst) {
  for (int32_t i = 0; i < n; ++i)
    std::memcpy(dst + static_cast<std::ptrdiff_t>(w) * i,
                src + static_cast<std::ptrdiff_t>(w) * tags[i], sizeof(double) * w);
}

void tag_sort(int32_t n, const double *key, int stride, int32_t *tags) {
  for (int32_t i = 0; i < n; ++i) tags[i] = i;
  // Equal keys keep their order (ties broken by index).
  std::sort(tags, tags + n, [&](int32_t x, int32_t y) {
    const double kx = key[static_cast<std::ptrdiff_t>(stride) * x];
    const double ky = key[static_cast<std::ptrdiff_t>(stride) * y];
    return kx < ky || (kx == ky && x < y);
  });
}

}  // namespace

BSrc sort_and_output(const BScurve &ca, const BScurve &cb, bool by_curve1, bool swap, int32_t ni,
                     const double *pts, const double *par1, const double *par2, int32_t no,
                     const double *opts, const double *opar1, const double *opar2,
                     const CcOutput &out) {
  const CurveInfo A = info_of(ca), B = info_of(cb);
  const double tol2 = tol().dist_sqtol * ((ca.order > 2 || cb.order > 2) ? 10.0 : 1.0);
  // Work arrays: overlaps (10 doubles each), intersections (5 doubles each), tags.
  const std::size_t nd = 20 * static_cast<std::size_t>(no) + 5 * static_cast<std::size_t>(ni) +
                         static_cast<std::size_t>(std::max(ni, no));
  BasicScratchBuffer<8 * 1000> buf(nd * sizeof(double) +
                                   2 * static_cast<std::size_t>(std::max(ni, no) + 1) * 4);
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *ov = buf.as<double>();           // per overlap: p0, p1, a0, a1, b0, b1
  double *in = ov + 10 * no;               // per intersection: p, a, b
  double *key = in + 5 * ni;               // sort keys
  double *spare = key + std::max(ni, no);  // 10 doubles per overlap
  int32_t *tags = reinterpret_cast<int32_t *>(spare + 10 * no);
  int32_t *alive = tags + std::max(ni, no) + 1;

  // Overlaps, each with increasing parameter on A, sorted by their start on A.
  for (int32_t i = 0; i < no; ++i) {
    double *o = ov + 10 * i;
    const bool rev = opar1[2 * i] > opar1[2 * i + 1];
    copy(opts + 6 * i + (rev ? 3 : 0), o);
    copy(opts + 6 * i + (rev ? 0 : 3), o + 3);
    o[6] = opar1[2 * i + (rev ? 1 : 0)], o[7] = opar1[2 * i + (rev ? 0 : 1)];
    o[8] = opar2[2 * i + (rev ? 1 : 0)], o[9] = opar2[2 * i + (rev ? 0 : 1)];
    key[i] = o[6];
  }
  tag_sort(no, key, 1, tags);
  gather(no, 10, tags, ov, spare);
  std::memcpy(ov, spare, sizeof(double) * 10 * no);
  int32_t nov = 0;
  for (int32_t i = 0; i < no; ++i) {
    double *o = ov + 10 * i;
    if (nov > 0) {
      double *last = ov + 10 * (nov - 1);
      const bool same_dir = (last[9] - last[8]) * (o[9] - o[8]) > 0.0;
      const bool touch =
          dist_sq(last + 3, o) <= tol2 && std::fabs(o[8] - last[9]) < 0.5 * (B.hi - B.lo);
      if (same_dir && touch) {
        copy(o + 3, last + 3);
        last[7] = o[7];
        last[9] = o[9];
        continue;
      }
    }
    if (nov != i) std::memcpy(ov + 10 * nov, o, sizeof(double) * 10);
    ++nov;
  }

  // Intersections sorted by their parameter on A; those inside an overlap dropped.
  int32_t nin = 0;
  for (int32_t i = 0; i < ni; ++i) key[i] = par1[i];
  tag_sort(ni, key, 1, tags);
  for (int32_t r = 0; r < ni; ++r) {
    const int32_t i = tags[r];
    double a = par1[i], b = par2[i];
    const double *p = pts + 3 * i;
    // A closed curve's start and end are one point: a result there that is an
    // overlap end takes that end's parameter; otherwise it takes the start.
    for (int side = 0; side < 2; ++side) {
      const CurveInfo &ci = side == 0 ? A : B;
      double &u = side == 0 ? a : b;
      if (!ci.closed || (std::fabs(u - ci.lo) > ci.ktol && std::fabs(u - ci.hi) > ci.ktol))
        continue;
      u = ci.lo;
      for (int32_t j = 0; j < nov; ++j) {
        const double *o = ov + 10 * j;
        for (int e = 0; e < 2; ++e) {
          const double end = o[6 + 2 * side + e];
          if (dist_sq(p, o + 3 * e) <= tol2 &&
              (std::fabs(end - ci.lo) <= ci.ktol || std::fabs(end - ci.hi) <= ci.ktol))
            u = end;
        }
      }
    }
    bool inside = false;
    for (int32_t j = 0; j < nov && !inside; ++j) {
      const double *o = ov + 10 * j;
      const bool on_a = a >= o[6] - A.ktol && a <= o[7] + A.ktol;
      const bool on_b = b >= std::min(o[8], o[9]) - B.ktol && b <= std::max(o[8], o[9]) + B.ktol;
      inside = by_curve1 ? (swap ? on_b : on_a) : (on_a && on_b);
    }
    if (inside) continue;
    double *e = in + 5 * nin++;
    copy(p, e);
    e[3] = a, e[4] = b;
  }

  // Coincident intersections merged, walking them along the axis of largest spread.
  if (nin > 1) {
    double mn[3], mx[3];
    for (int c = 0; c < 3; ++c) mn[c] = mx[c] = in[c];
    for (int32_t i = 1; i < nin; ++i)
      for (int c = 0; c < 3; ++c) {
        mn[c] = std::min(mn[c], in[5 * i + c]);
        mx[c] = std::max(mx[c], in[5 * i + c]);
      }
    int axis = 0;
    if (mx[1] - mn[1] > mx[0] - mn[0]) axis = 1;
    if (mx[2] - mn[2] > mx[axis] - mn[axis]) axis = 2;
    tag_sort(nin, in + axis, 5, tags);
    for (int32_t i = 0; i < nin; ++i) alive[i] = 1;
    const double w = std::max(10.0 * tol().dist_tol / std::sqrt(3.0), std::sqrt(tol2));
    for (int32_t r = 0; r < nin; ++r) {
      const double *ei = in + 5 * tags[r];
      if (!alive[tags[r]]) continue;
      for (int32_t q = r + 1; q < nin; ++q) {
        const double *ej = in + 5 * tags[q];
        if (ej[axis] > ei[axis] + w) break;
        if (!alive[tags[q]] || dist_sq(ei, ej) > tol2) continue;
        if (by_curve1 || (stays_near(A, ei[3], ej[3], ei) && stays_near(B, ei[4], ej[4], ei)))
          alive[tags[q]] = 0;
      }
    }
    int32_t m = 0;
    for (int32_t i = 0; i < nin; ++i)
      if (alive[i]) {
        if (m != i) std::memmove(in + 5 * m, in + 5 * i, sizeof(double) * 5);
        ++m;
      }
    nin = m;
  }
  // Final order: by the parameter on the caller's first curve.
  const int first = swap ? 4 : 3;
  for (int32_t i = 0; i < nin; ++i) key[i] = in[5 * i + first];
  tag_sort(nin, key, 1, tags);

  // Output: caller buffers when the counts fit, result memory otherwise (all of it
  // taken before anything is written).
  double *ip = out.int_pts, *i1 = out.int_par1, *i2 = out.int_par2;
  double *op = out.over_pts, *o1 = out.over_par1, *o2 = out.over_par2;
  const bool alloc_i = nin > out.int_cap, alloc_o = nov > out.over_cap;
  double *blocks[6] = {};
  if (alloc_i) {
    blocks[0] = alloc_result_doubles(3 * static_cast<std::size_t>(nin));
    blocks[1] = alloc_result_doubles(nin);
    blocks[2] = alloc_result_doubles(nin);
  }
  if (alloc_o) {
    blocks[3] = alloc_result_doubles(6 * static_cast<std::size_t>(nov));
    blocks[4] = alloc_result_doubles(2 * static_cast<std::size_t>(nov));
    blocks[5] = alloc_result_doubles(2 * static_cast<std::size_t>(nov));
  }
  bool failed = false;
  for (int b = 0; b < 6; ++b) failed |= ((b < 3 ? alloc_i : alloc_o) && blocks[b] == nullptr);
  if (failed) {
    for (double *blk : blocks)
      if (blk) BSdbgfree(blk);
    return BSNOMEMORY;
  }
  if (alloc_i) ip = blocks[0], i1 = blocks[1], i2 = blocks[2];
  if (alloc_o) op = blocks[3], o1 = blocks[4], o2 = blocks[5];
  for (int32_t r = 0; r < nin; ++r) {
    const double *e = in + 5 * tags[r];
    copy(e, ip + 3 * r);
    i1[r] = swap ? e[4] : e[3];
    i2[r] = swap ? e[3] : e[4];
  }
  for (int32_t j = 0; j < nov; ++j) {
    const double *o = ov + 10 * j;
    // Increasing parameter on the caller's first curve.
    const bool rev = swap && o[9] < o[8];
    copy(o + (rev ? 3 : 0), op + 6 * j);
    copy(o + (rev ? 0 : 3), op + 6 * j + 3);
    const double *first_pair = swap ? o + 8 : o + 6, *second_pair = swap ? o + 6 : o + 8;
    o1[2 * j] = first_pair[rev ? 1 : 0], o1[2 * j + 1] = first_pair[rev ? 0 : 1];
    o2[2 * j] = second_pair[rev ? 1 : 0], o2[2 * j + 1] = second_pair[rev ? 0 : 1];
  }
  *out.num_int = nin;
  *out.num_over = nov;
  if (alloc_i) {
    *out.int_alloc = TRUE;
    *out.a_int_pts = ip, *out.a_int_par1 = i1, *out.a_int_par2 = i2;
  }
  if (alloc_o) {
    *out.over_alloc = TRUE;
    *out.a_over_pts = op, *out.a_over_par1 = o1, *out.a_over_par2 = o2;
  }
  return BSSUCC;
}

// ---- Whole curves -----------------------------------------------------------------

namespace {

// The one intersection of a point curve p with a curve c (class cls), if any.
BSrc point_curve_hit(const BScurve &p, const BScurve &c, int cls, int32_t *count, CcHit *hit) {
  *count = 0;
  const double *pw = p.rational ? p.weights : nullptr;
  double avg[3] = {0, 0, 0};
  for (int32_t i = 0; i < p.num_poles; ++i)
    for (int c3 = 0; c3 < 3; ++c3)
      avg[c3] += p.poles[3 * i + c3] / (pw ? pw[i] : 1.0) / p.num_poles;
  const CurveInfo P = info_of(p), C = info_of(c);
  double u = 0.0;
  if (cls == kClassPoint) {
    double avg2[3] = {0, 0, 0};
    const double *cw = c.rational ? c.weights : nullptr;
    for (int32_t i = 0; i < c.num_poles; ++i)
      for (int c3 = 0; c3 < 3; ++c3)
        avg2[c3] += c.poles[3 * i + c3] / (cw ? cw[i] : 1.0) / c.num_poles;
    if (dist_sq(avg, avg2) > tol().dist_sqtol) return BSSUCC;
    u = 0.5 * (C.lo + C.hi);
    for (int c3 = 0; c3 < 3; ++c3) hit->p[c3] = 0.5 * (avg[c3] + avg2[c3]);
  } else {
    const int32_t n = c.num_poles;
    const int m = c.rational ? 4 : 3;
    BasicScratchBuffer<8 * 100> rows(static_cast<std::size_t>(m) * n * sizeof(double));
    if (!rows.ok()) return BSNOSTKMEMORY;
    curve_pole_rows(c, rows.as<double>());
    double d = 0.0, foot[3];
    const BSrc rc = nearest_on_spline_rows(c.order - 1, n, 3, c.rational != 0, rows.as<double>(),
                                           c.knots, 1, avg, tol().dist_tol, &d, foot, &u);
    if (rc != BSSUCC) return rc;
    if (!(d <= tol().dist_tol)) return BSSUCC;
    copy(avg, hit->p);
  }
  if (std::fabs(u - C.lo) <= C.ktol) u = C.lo;
  if (std::fabs(u - C.hi) <= C.ktol) u = C.closed ? C.lo : C.hi;
  hit->u1 = 0.5 * (P.lo + P.hi);
  hit->u2 = u;
  *count = 1;
  return BSSUCC;
}

// Usable spans of a curve: non-empty, not shorter than its knot tolerance.
int32_t usable_spans(const BScurve &cv, double ktol, int32_t *spans) {
  int32_t m = 0;
  for (int32_t s = cv.order - 1; s < cv.num_poles; ++s) {
    const double w = cv.knots[s + 1] - cv.knots[s];
    if (w > 0.0 && w >= ktol) spans[m++] = s;
  }
  return m;
}

inline bool boxes_meet(const double *a, const double *b, double gap) {
  for (int c = 0; c < 3; ++c)
    if (a[c] > b[3 + c] + gap || b[c] > a[3 + c] + gap) return false;
  return true;
}

// Box of the k poles of span s (they bound the span), widened by `grow`.
void span_pole_box(const BScurve &cv, int32_t s, double grow, double *box) {
  const int k = cv.order;
  const double *w = cv.rational ? cv.weights + (s - k + 1) : nullptr;
  pole_box_triples(k, cv.poles + 3 * (s - k + 1), w, box, box + 3);
  for (int c = 0; c < 3; ++c) box[c] -= grow, box[3 + c] += grow;
}

constexpr int32_t kCachedSpans = 32;

}  // namespace

BSrc intersect_curves(const BScurve &c1, const BScurve &c2, bool by_curve1, const CcOutput &out) {
  RawResults raw;
  int cls1 = kClassGeneral, cls2 = kClassGeneral;
  if (const BSrc rc = curve_class(c1, &cls1); rc != BSSUCC) return rc;
  if (const BSrc rc = curve_class(c2, &cls2); rc != BSSUCC) return rc;
  if (cls1 == kClassPoint || cls2 == kClassPoint) {
    const bool second = cls1 != kClassPoint;
    int32_t count = 0;
    CcHit h;
    const BSrc rc = second ? point_curve_hit(c2, c1, cls1, &count, &h)
                           : point_curve_hit(c1, c2, cls2, &count, &h);
    if (rc != BSSUCC || count == 0) return rc;
    // The single result: caller buffers when there is room, else result memory.
    double *p = out.int_pts, *a = out.int_par1, *b = out.int_par2;
    if (out.int_cap < 1) {
      p = alloc_result_doubles(3);
      a = p ? alloc_result_doubles(1) : nullptr;
      b = a ? alloc_result_doubles(1) : nullptr;
      if (b == nullptr) {
        if (p) BSdbgfree(p);
        if (a) BSdbgfree(a);
        return BSNOMEMORY;
      }
      *out.int_alloc = TRUE;
      *out.a_int_pts = p, *out.a_int_par1 = a, *out.a_int_par2 = b;
    }
    copy(h.p, p);
    *a = second ? h.u2 : h.u1;
    *b = second ? h.u1 : h.u2;
    *out.num_int = 1;
    return BSSUCC;
  }
  // Whole pole boxes first.
  double box1[6], box2[6];
  pole_box_triples(c1.num_poles, c1.poles, c1.rational ? c1.weights : nullptr, box1, box1 + 3);
  pole_box_triples(c2.num_poles, c2.poles, c2.rational ? c2.weights : nullptr, box2, box2 + 3);
  const double dt = tol().dist_tol;
  if (!boxes_meet(box1, box2, dt)) return BSSUCC;

  // A: the curve with more spans (curve 1 on a tie).
  const bool swap = (c2.num_poles - c2.order) > (c1.num_poles - c1.order);
  const BScurve &A = swap ? c2 : c1, &B = swap ? c1 : c2;
  const double ktol_a = curve_knot_tolerance(A.order, A.knots, A.num_poles, A.poles,
                                             A.rational ? A.weights : nullptr);
  const double ktol_b = curve_knot_tolerance(B.order, B.knots, B.num_poles, B.poles,
                                             B.rational ? B.weights : nullptr);
  const int32_t na = A.num_poles, nb = B.num_poles;
  const int ma = A.rational ? 4 : 3, mb = B.rational ? 4 : 3;
  int32_t leaf_base = 1;
  while (leaf_base < na) leaf_base *= 2;
  const std::size_t doubles = static_cast<std::size_t>(ma) * na +
                              static_cast<std::size_t>(mb) * nb +
                              12 * static_cast<std::size_t>(leaf_base);
  const std::size_t ints = 3 * static_cast<std::size_t>(na) + 2 * static_cast<std::size_t>(nb) + 4;
  const std::size_t cache = (kCachedSpans + 2) * sizeof(CcPiece);
  ScratchBuffer buf(doubles * sizeof(double) + ints * sizeof(int32_t) + cache + 16);
  if (!buf.ok()) return BSNOSTKMEMORY;
  CcPiece *pieces = buf.as<CcPiece>();  // kCachedSpans cached A pieces, a slot, the B piece
  double *rows_a = reinterpret_cast<double *>(pieces + kCachedSpans + 2);
  double *rows_b = rows_a + static_cast<std::ptrdiff_t>(ma) * na;
  double *tree = rows_b + static_cast<std::ptrdiff_t>(mb) * nb;
  int32_t *spans_a =
      reinterpret_cast<int32_t *>(tree + 12 * static_cast<std::ptrdiff_t>(leaf_base));
  int32_t *slot_of = spans_a + na;
  int32_t *cands = slot_of + na;
  int32_t *spans_b = cands + na;
  curve_pole_rows(A, rows_a);
  curve_pole_rows(B, rows_b);
  const int32_t count_a = usable_spans(A, ktol_a, spans_a);
  const int32_t count_b = usable_spans(B, ktol_b, spans_b);
  for (int32_t i = 0; i < na; ++i) slot_of[i] = -1;

  // Box hierarchy over A's spans: node 1 the root, children 2i and 2i + 1, leaf
  // leaf_base + j the widened box of usable span j (empty boxes past the last).
  const double inf = std::numeric_limits<double>::infinity();
  for (int32_t node = 1; node < 2 * leaf_base; ++node)
    for (int c = 0; c < 3; ++c) tree[6 * node + c] = inf, tree[6 * node + 3 + c] = -inf;
  for (int32_t j = 0; j < count_a; ++j)
    span_pole_box(A, spans_a[j], 10.0 * dt, tree + 6 * (leaf_base + j));
  for (int32_t node = leaf_base - 1; node >= 1; --node)
    for (int c = 0; c < 3; ++c) {
      tree[6 * node + c] = std::min(tree[12 * node + c], tree[12 * node + 6 + c]);
      tree[6 * node + 3 + c] = std::max(tree[12 * node + 3 + c], tree[12 * node + 9 + c]);
    }

  double work[2 * kMaxPieceOrder + 2];
  int32_t cached = 0;
  CcPiece &slot = pieces[kCachedSpans], &pb = pieces[kCachedSpans + 1];
  PieceHits hits;
  for (int32_t jb = 0; jb < count_b; ++jb) {
    piece_of_span(B, rows_b, spans_b[jb], work, &pb);
    if (pb.cls == kClassPoint) continue;
    if (!boxes_meet(pb.box, tree + 6, dt)) continue;
    // Candidate spans of A: leaves whose boxes meet the piece's box.
    int32_t nc = 0, stack[64], top = 0;
    stack[top++] = 1;
    while (top > 0) {
      const int32_t node = stack[--top];
      if (!boxes_meet(pb.box, tree + 6 * node, 0.0)) continue;
      if (node >= leaf_base) {
        if (node - leaf_base < count_a) cands[nc++] = node - leaf_base;
      } else {
        stack[top++] = 2 * node + 1;
        stack[top++] = 2 * node;
      }
    }
    std::sort(cands, cands + nc);
    for (int32_t c = 0; c < nc; ++c) {
      const int32_t j = cands[c];
      CcPiece *pa = &slot;
      if (slot_of[j] >= 0) {
        pa = pieces + slot_of[j];
      } else {
        if (cached < kCachedSpans) {
          slot_of[j] = cached;
          pa = pieces + cached++;
        }
        piece_of_span(A, rows_a, spans_a[j], work, pa);
      }
      if (pa->cls == kClassPoint || !boxes_meet(pa->box, pb.box, dt)) continue;
      BSrc rc = intersect_pieces(*pa, pb, &hits);
      if (rc != BSSUCC) return rc;
      if (hits.overlap) {
        const CcHit &h0 = hits.hit[0], &h1 = hits.hit[1];
        rc = raw.add_overlap(h0.p, h1.p, pa->curve_param(h0.u1), pa->curve_param(h1.u1),
                             pb.curve_param(h0.u2), pb.curve_param(h1.u2));
      } else {
        for (int i = 0; i < hits.count && rc == BSSUCC; ++i)
          rc = raw.add_point(hits.hit[i].p, pa->curve_param(hits.hit[i].u1),
                             pb.curve_param(hits.hit[i].u2));
      }
      if (rc != BSSUCC) return rc;
    }
  }
  if (raw.num_points == 0 && raw.num_overlaps == 0) return BSSUCC;
  return sort_and_output(A, B, by_curve1, swap, raw.num_points, raw.pts, raw.par1, raw.par2,
                         raw.num_overlaps, raw.opts, raw.opar1, raw.opar2, out);
}

}  // namespace knotwork

// ---- Exported routines on whole curves ----------------------------------------------

using namespace knotwork;
using namespace knotwork::v3;

namespace {

// Zeroes the counts, flags and pointers out; BSNULLPTR when one is missing or a
// buffer with room is null, BSINARG for a negative capacity.
BSrc prepare_output(const CcOutput &o) {
  if (o.num_int == nullptr || o.num_over == nullptr || o.int_alloc == nullptr ||
      o.over_alloc == nullptr || o.a_int_pts == nullptr || o.a_int_par1 == nullptr ||
      o.a_int_par2 == nullptr || o.a_over_pts == nullptr || o.a_over_par1 == nullptr ||
      o.a_over_par2 == nullptr)
    return BSNULLPTR;
  *o.num_int = *o.num_over = 0;
  *o.int_alloc = *o.over_alloc = FALSE;
  *o.a_int_pts = *o.a_int_par1 = *o.a_int_par2 = nullptr;
  *o.a_over_pts = *o.a_over_par1 = *o.a_over_par2 = nullptr;
  if (o.int_cap < 0 || o.over_cap < 0) return BSINARG;
  if (o.int_cap > 0 && (o.int_pts == nullptr || o.int_par1 == nullptr || o.int_par2 == nullptr))
    return BSNULLPTR;
  if (o.over_cap > 0 && (o.over_pts == nullptr || o.over_par1 == nullptr || o.over_par2 == nullptr))
    return BSNULLPTR;
  return BSSUCC;
}

// After an injected failure the caller receives no results: the arrays handed out
// are released and the counts, flags and pointers zeroed.
void withdraw_output(const CcOutput &o) {
  for (double **a :
       {o.a_int_pts, o.a_int_par1, o.a_int_par2, o.a_over_pts, o.a_over_par1, o.a_over_par2})
    if (a != nullptr && *a != nullptr) BSdbgfree(*a), *a = nullptr;
  if (o.num_int != nullptr) *o.num_int = 0;
  if (o.num_over != nullptr) *o.num_over = 0;
  if (o.int_alloc != nullptr) *o.int_alloc = FALSE;
  if (o.over_alloc != nullptr) *o.over_alloc = FALSE;
}

// Which curves a routine accepts: any, two segments, two polylines.
enum class PairKind { kAny, kSegments, kPolylines };

void intersect_entry(const BScurve *c1, const BScurve *c2, int16_t flag, const CcOutput &o,
                     PairKind kind, BSrc *rc) {
  if ((*rc = prepare_output(o)) != BSSUCC) return;
  if ((*rc = check_intersection_curve(c1)) != BSSUCC) return;
  if ((*rc = check_intersection_curve(c2)) != BSSUCC) return;
  const bool segs = c1->order == 2 && c2->order == 2 && c1->num_poles == 2 && c2->num_poles == 2;
  if ((kind == PairKind::kSegments && !segs) ||
      (kind == PairKind::kPolylines && (c1->order != 2 || c2->order != 2))) {
    *rc = BSINARG;
    return;
  }
  *rc = intersect_curves(*c1, *c2, flag != 0, o);
}

CcOutput make_output(int32_t int_cap, int32_t over_cap, double *int_pts, double *int_par1,
                     double *int_par2, double *over_pts, double *over_par1, double *over_par2,
                     int32_t *num_int, int32_t *num_over, BSboolean *int_alloc,
                     BSboolean *over_alloc, double **a_int_pts, double **a_int_par1,
                     double **a_int_par2, double **a_over_pts, double **a_over_par1,
                     double **a_over_par2) {
  CcOutput o;
  o.int_cap = int_cap, o.over_cap = over_cap;
  o.int_pts = int_pts, o.int_par1 = int_par1, o.int_par2 = int_par2;
  o.over_pts = over_pts, o.over_par1 = over_par1, o.over_par2 = over_par2;
  o.num_int = num_int, o.num_over = num_over, o.int_alloc = int_alloc, o.over_alloc = over_alloc;
  o.a_int_pts = a_int_pts, o.a_int_par1 = a_int_par1, o.a_int_par2 = a_int_par2;
  o.a_over_pts = a_over_pts, o.a_over_par1 = a_over_par1, o.a_over_par2 = a_over_par2;
  return o;
}

}  // namespace

#define KW_CC_OUTPUT_ARGS                                                                          \
  int_cap, over_cap, int_pts, int_par1, int_par2, over_pts, over_par1, over_par2, num_int,         \
      num_over, int_alloc, over_alloc, a_int_pts, a_int_par1, a_int_par2, a_over_pts, a_over_par1, \
      a_over_par2

KW_API void BScvcvint(const BScurve *curve1, const BScurve *curve2, int16_t by_curve1,
                      int32_t int_cap, int32_t over_cap, double *int_pts, double *int_par1,
                      double *int_par2, double *over_pts, double *over_par1, double *over_par2,
                      int32_t *num_int, int32_t *num_over, BSboolean *int_alloc,
                      BSboolean *over_alloc, double **a_int_pts, double **a_int_par1,
                      double **a_int_par2, double **a_over_pts, double **a_over_par1,
                      double **a_over_par2, BSrc *rc) {
  KW_EPILOGUE(rc);
  const CcOutput o = make_output(KW_CC_OUTPUT_ARGS);
  intersect_entry(curve1, curve2, by_curve1, o, PairKind::kAny, rc);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) withdraw_output(o);
}

KW_API void BSlnln_int(const BScurve *curve1, const BScurve *curve2, int16_t by_curve1,
                       int32_t int_cap, int32_t over_cap, double *int_pts, double *int_par1,
                       double *int_par2, double *over_pts, double *over_par1, double *over_par2,
                       int32_t *num_int, int32_t *num_over, BSboolean *int_alloc,
                       BSboolean *over_alloc, double **a_int_pts, double **a_int_par1,
                       double **a_int_par2, double **a_over_pts, double **a_over_par1,
                       double **a_over_par2, BSrc *rc) {
  KW_EPILOGUE(rc);
  const CcOutput o = make_output(KW_CC_OUTPUT_ARGS);
  intersect_entry(curve1, curve2, by_curve1, o, PairKind::kSegments, rc);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) withdraw_output(o);
}

KW_API void BSlsls_int(const BScurve *curve1, const BScurve *curve2, int16_t by_curve1,
                       int32_t int_cap, int32_t over_cap, double *int_pts, double *int_par1,
                       double *int_par2, double *over_pts, double *over_par1, double *over_par2,
                       int32_t *num_int, int32_t *num_over, BSboolean *int_alloc,
                       BSboolean *over_alloc, double **a_int_pts, double **a_int_par1,
                       double **a_int_par2, double **a_over_pts, double **a_over_par1,
                       double **a_over_par2, BSrc *rc) {
  KW_EPILOGUE(rc);
  const CcOutput o = make_output(KW_CC_OUTPUT_ARGS);
  intersect_entry(curve1, curve2, by_curve1, o, PairKind::kPolylines, rc);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) withdraw_output(o);
}

KW_API void BScvcv_sort(const BScurve *curve1, const BScurve *curve2, int16_t by_curve1,
                        int16_t swap, int32_t num_raw, const double *raw_pts,
                        const double *raw_par1, const double *raw_par2, int32_t num_raw_over,
                        const double *raw_over_pts, const double *raw_over_par1,
                        const double *raw_over_par2, int32_t int_cap, int32_t over_cap,
                        double *int_pts, double *int_par1, double *int_par2, double *over_pts,
                        double *over_par1, double *over_par2, int32_t *num_int, int32_t *num_over,
                        BSboolean *int_alloc, BSboolean *over_alloc, double **a_int_pts,
                        double **a_int_par1, double **a_int_par2, double **a_over_pts,
                        double **a_over_par1, double **a_over_par2, BSrc *rc) {
  KW_EPILOGUE(rc);
  const CcOutput o = make_output(KW_CC_OUTPUT_ARGS);
  if ((*rc = prepare_output(o)) != BSSUCC) return;
  if ((*rc = check_intersection_curve(curve1)) != BSSUCC) return;
  if ((*rc = check_intersection_curve(curve2)) != BSSUCC) return;
  if (num_raw < 0 || num_raw_over < 0 || num_raw > (1 << 24) || num_raw_over > (1 << 24)) {
    *rc = BSINARG;
    return;
  }
  if ((num_raw > 0 && (raw_pts == nullptr || raw_par1 == nullptr || raw_par2 == nullptr)) ||
      (num_raw_over > 0 &&
       (raw_over_pts == nullptr || raw_over_par1 == nullptr || raw_over_par2 == nullptr))) {
    *rc = BSNULLPTR;
    return;
  }
  for (int32_t i = 0; i < 3 * num_raw; ++i)
    if (!(std::fabs(raw_pts[i]) <= 1e150) ||
        (i < num_raw && !(std::isfinite(raw_par1[i]) && std::isfinite(raw_par2[i])))) {
      *rc = BSINARG;
      return;
    }
  for (int32_t i = 0; i < 6 * num_raw_over; ++i)
    if (!(std::fabs(raw_over_pts[i]) <= 1e150) ||
        (i < 2 * num_raw_over &&
         !(std::isfinite(raw_over_par1[i]) && std::isfinite(raw_over_par2[i])))) {
      *rc = BSINARG;
      return;
    }
  *rc = sort_and_output(*curve1, *curve2, by_curve1 != 0, swap != 0, num_raw, raw_pts, raw_par1,
                        raw_par2, num_raw_over, raw_over_pts, raw_over_par1, raw_over_par2, o);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) withdraw_output(o);
}

KW_API void BSptcv_int(const BScurve *point_curve, const BScurve *other, int16_t other_class,
                       int32_t *count, double *point, double *par_point, double *par_other,
                       BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == nullptr || point == nullptr || par_point == nullptr || par_other == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_intersection_curve(point_curve)) != BSSUCC) return;
  if ((*rc = check_intersection_curve(other)) != BSSUCC) return;
  if (other_class < kClassPoint || other_class > kClassGeneral) {
    *rc = BSINARG;
    return;
  }
  int32_t n = 0;
  CcHit h;
  if ((*rc = point_curve_hit(*point_curve, *other, other_class, &n, &h)) != BSSUCC) return;
  *count = n;
  if (n == 1) copy(h.p, point), *par_point = h.u1, *par_other = h.u2;
}

KW_API BSboolean BScvcv_int(BSrc *rc, const BScurve *curve1, const BScurve *curve2,
                            int32_t *num_int, double **points, double **par1, double **par2,
                            int32_t *num_over, double **over_points, double **over_par1,
                            double **over_par2) {
  KW_EPILOGUE(rc);
  BSboolean ia = FALSE, oa = FALSE;
  const CcOutput o =
      make_output(0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, num_int, num_over,
                  &ia, &oa, points, par1, par2, over_points, over_par1, over_par2);
  intersect_entry(curve1, curve2, 0, o, PairKind::kAny, rc);
  const bool made = *rc == BSSUCC;
  if (KW_FINISH(TRUE)) return TRUE;
  if (made) withdraw_output(o);
  return FALSE;
}
