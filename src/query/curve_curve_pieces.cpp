// Intersection of two Bezier pieces: end coincidences and overlaps, subdivision
// with box and tangent-cone tests, the Newton iteration to a common point and the
// closest points of two pieces at tangencies; and the exported routines that work
// on single spans (BSxspnspn, BSbzbz_int, BSbzoverlap, BSoverlap, BScvcviter,
// BScvcvjmat, BScvcv_comb).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bspline/bezier.hpp"
#include "bspline/knots.hpp"
#include "frame/frame.hpp"
#include "query/boxes.hpp"
#include "query/curve_curve.hpp"
#include "query/project.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {
using namespace v3;

// ---- Pieces -------------------------------------------------------------------

void CcPiece::pole(int i, double *out) const {
  const double w = rational ? rows[3 * k + i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = rows[c * k + i] / w;
}

void CcPiece::eval1(double t, double *out) const {
  double d[9];
  bezier_point_derivatives(view(), t, d);
  std::memcpy(out, d, 6 * sizeof(double));
}

void CcPiece::finish() {
  pole_box_rows(k, 3, rational, rows, box);
  double diag = 0.0;
  for (int c = 0; c < 3; ++c) diag += (box[3 + c] - box[c]) * (box[3 + c] - box[c]);
  cls = diag <= tol().dist_sqtol ? kClassPoint : (k == 2 ? kClassLine : kClassGeneral);
}

void piece_of_span(const BScurve &cv, const double *rows, int32_t s, double *work, CcPiece *out) {
  out->k = cv.order;
  out->rational = cv.rational != 0;
  span_bezier_rows(cv.order - 1, cv.num_poles, cv.rational ? 4 : 3, cv.knots, rows, s, out->rows,
                   work);
  out->u0 = cv.knots[s];
  out->u1 = cv.knots[s + 1];
  out->finish();
}

void piece_of_record(const BScurve &cv, CcPiece *out) {
  double rows[kMaxPieceValues], work[2 * kMaxPieceOrder + 2];
  curve_pole_rows(cv, rows);
  piece_of_span(cv, rows, cv.order - 1, work, out);
}

BSrc curve_class(const BScurve &cv, int *cls) {
  bool point = false;
  if (const BSrc rc = test_degenerate(cv, &point); rc != BSSUCC) return rc;
  *cls = point ? kClassPoint : (cv.order == 2 && cv.num_poles == 2) ? kClassLine : kClassGeneral;
  return BSSUCC;
}

// ---- Newton iteration and the distance Jacobian ---------------------------------

BSrc CcSide::eval(double u, int d, double *out) const {
  if (piece != nullptr) {
    double t[9];
    bezier_point_derivatives(piece->view(), u, t);
    std::memcpy(out, t, 3 * static_cast<std::size_t>(d + 1) * sizeof(double));
    return BSSUCC;
  }
  return evaluate_curve_at(*curve, u, d, out);
}

namespace {

// Brings u back into the side's range: shifted by the period on a closed side (at
// most 5 times), clamped on an open one. False when still outside.
bool into_range(const CcSide &s, double *u) {
  const double len = s.hi - s.lo;
  if (s.closed) {
    for (int i = 0; i < 5 && (*u < s.lo || *u > s.hi); ++i) *u += *u < s.lo ? len : -len;
    return *u >= s.lo && *u <= s.hi;
  }
  *u = std::clamp(*u, s.lo, s.hi);
  return true;
}

}  // namespace

BSrc newton_common_point(const CcSide &a, const CcSide &b, double ptol1, double ptol2, double *u1,
                         double *u2, double *mid, bool *converged) {
  *converged = false;
  double x1 = *u1, x2 = *u2, e1[6], e2[6];
  BSrc rc = a.eval(x1, 1, e1);
  if (rc == BSSUCC) rc = b.eval(x2, 1, e2);
  if (rc != BSSUCC) return rc;
  bool parallel = false, lost = false;
  for (int steps = 0; steps < 10;) {
    double d[3], n[3], du1 = 0.0, du2 = 0.0;
    sub(e2, e1, d);
    if (len_sq(d) >= 0.001 * tol().dist_sqtol) {
      cross(e1 + 3, e2 + 3, n);
      const double nn = len_sq(n);
      // Parallel tangents, judged by the sine of their angle (scale free).
      if (!(nn >= tol().zero_tol * len_sq(e1 + 3) * len_sq(e2 + 3)) || nn == 0.0) {
        parallel = true;
        break;
      }
      double c[3];
      cross(d, e2 + 3, c);
      du1 = dot(c, n) / nn;
      cross(d, e1 + 3, c);
      du2 = dot(c, n) / nn;
    }
    ++steps;
    x1 += du1;
    x2 += du2;
    if (!std::isfinite(x1) || !std::isfinite(x2) || !into_range(a, &x1) || !into_range(b, &x2)) {
      lost = true;
      break;
    }
    rc = a.eval(x1, 1, e1);
    if (rc == BSSUCC) rc = b.eval(x2, 1, e2);
    if (rc != BSSUCC) return rc;
    if (std::fabs(du1) < ptol1 && std::fabs(du2) < ptol2) break;
  }
  for (int c = 0; c < 3; ++c) mid[c] = 0.5 * (e1[c] + e2[c]);
  if (!parallel && !lost && dist_sq(e1, e2) < tol().dist_sqtol) {
    *converged = true;
    *u1 = x1;
    *u2 = x2;
  }
  return BSSUCC;
}

BSrc distance_jacobian(const CcSide &a, const CcSide &b, double u1, double u2, double *mat,
                       double *g1, double *g2) {
  double e1[9], e2[9], d[3];
  BSrc rc = a.eval(u1, 2, e1);
  if (rc == BSSUCC) rc = b.eval(u2, 2, e2);
  if (rc != BSSUCC) return rc;
  sub(e1, e2, d);
  *g1 = dot(d, e1 + 3);
  *g2 = -dot(d, e2 + 3);
  mat[0] = dot(d, e1 + 6) + len_sq(e1 + 3);
  mat[1] = mat[2] = -dot(e1 + 3, e2 + 3);
  mat[3] = -dot(d, e2 + 6) + len_sq(e2 + 3);
  return BSSUCC;
}

double closest_points_of_pieces(const CcPiece &a, const CcPiece &b, double *t1, double *t2) {
  CcSide sa, sb;
  sa.piece = &a;
  sb.piece = &b;
  auto half_sq = [&](double x, double y) {
    double p[6], q[6];
    a.eval1(x, p);
    b.eval1(y, q);
    return 0.5 * dist_sq(p, q);
  };
  double x = *t1, y = *t2, f = half_sq(x, y);
  for (int it = 0; it < 60 && f > 0.0; ++it) {
    double m[4], g1, g2;
    distance_jacobian(sa, sb, x, y, m, &g1, &g2);
    const double det = m[0] * m[3] - m[1] * m[2];
    double s1, s2;
    if (m[0] > 0.0 && det > 1e-14 * m[0] * m[3]) {
      s1 = -(m[3] * g1 - m[1] * g2) / det;
      s2 = -(m[0] * g2 - m[2] * g1) / det;
    } else {
      // Singular or indefinite Hessian: a gradient step scaled by the diagonal.
      s1 = m[0] > 0.0 ? -g1 / m[0] : -g1;
      s2 = m[3] > 0.0 ? -g2 / m[3] : -g2;
    }
    bool better = false;
    for (int h = 0; h < 40; ++h) {
      const double nx = std::clamp(x + s1, 0.0, 1.0), ny = std::clamp(y + s2, 0.0, 1.0);
      const double nf = half_sq(nx, ny);
      if (nf < f) {
        better = std::fabs(nx - x) > 1e-16 || std::fabs(ny - y) > 1e-16;
        x = nx, y = ny, f = nf;
        break;
      }
      s1 *= 0.5, s2 *= 0.5;
    }
    if (!better) break;
  }
  *t1 = x, *t2 = y;
  return std::sqrt(2.0 * f);
}

// ---- Collinear segments ----------------------------------------------------------

bool collinear_overlap(const double *a0, const double *a1, const double *b0, const double *b1,
                       double *lo_out, double *hi_out) {
  double e[3];
  sub(a1, a0, e);
  const double L = len(e), t = tol().fine_dist_tol;
  if (L > 0.0) scale(e, 1.0 / L, e);
  double v[3];
  sub(b0, a0, v);
  const double s0 = dot(v, e);
  sub(b1, a0, v);
  const double s1 = dot(v, e);
  double lo = s1 - s0 > t ? s0 : s1, hi = s1 - s0 > t ? s1 : s0;
  if (L > t) {
    if (lo <= t) lo = std::max(lo, 0.0);
    if (hi - L > t) hi = L;
  } else {
    lo = std::max(lo, 0.0);
    hi = std::min(hi, L);
  }
  lo = std::max(lo, 0.0);
  hi = std::min(hi, L);
  *lo_out = lo;
  *hi_out = hi;
  return hi - lo > t;
}

// ---- Two pieces ------------------------------------------------------------------

namespace {

// Closest points of the segments p0-p1 and q0-q1 as fractions s, t; returns the
// squared distance.
double segment_closest(const double *p0, const double *p1, const double *q0, const double *q1,
                       double *s_out, double *t_out) {
  double d1[3], d2[3], r[3];
  sub(p1, p0, d1);
  sub(q1, q0, d2);
  sub(p0, q0, r);
  const double a = len_sq(d1), e = len_sq(d2), f = dot(d2, r);
  double s = 0.0, t = 0.0;
  if (a <= 0.0 && e <= 0.0) {
    s = t = 0.0;
  } else if (a <= 0.0) {
    t = std::clamp(f / e, 0.0, 1.0);
  } else {
    const double c = dot(d1, r);
    if (e <= 0.0) {
      s = std::clamp(-c / a, 0.0, 1.0);
    } else {
      const double b = dot(d1, d2), den = a * e - b * b;
      s = den > 1e-300 ? std::clamp((b * f - c * e) / den, 0.0, 1.0) : 0.5;
      t = (b * s + f) / e;
      if (t < 0.0) {
        t = 0.0;
        s = std::clamp(-c / a, 0.0, 1.0);
      } else if (t > 1.0) {
        t = 1.0;
        s = std::clamp((b - c) / a, 0.0, 1.0);
      }
    }
  }
  double p[3], q[3];
  axpy(p0, s, d1, p);
  axpy(q0, t, d2, q);
  *s_out = s, *t_out = t;
  return dist_sq(p, q);
}

// A sub-piece: k Cartesian poles and the box, from rows over a sub-interval.
struct SubPiece {
  int k;
  double rows[kMaxPieceValues];
  double poles[3 * kMaxPieceOrder];
  double box[6];
  double size;       // box diagonal
  double deviation;  // largest distance of a pole from the chord segment
};

void make_sub(const CcPiece &pc, double a, double b, SubPiece *s) {
  const int d = pc.k - 1, nr = pc.rational ? 4 : 3;
  double tmp[kMaxPieceValues], right[kMaxPieceValues];
  if (a > 0.0) {
    split_bezier_rows(d, nr, pc.rows, a, tmp, right);
  } else {
    std::memcpy(right, pc.rows, sizeof(double) * nr * pc.k);
  }
  if (b < 1.0) {
    const double t = (b - a) / (1.0 - a);
    split_bezier_rows(d, nr, right, t, s->rows, tmp);
  } else {
    std::memcpy(s->rows, right, sizeof(double) * nr * pc.k);
  }
  s->k = pc.k;
  for (int i = 0; i < pc.k; ++i) {
    const double w = pc.rational ? s->rows[3 * pc.k + i] : 1.0;
    for (int c = 0; c < 3; ++c) s->poles[3 * i + c] = s->rows[c * pc.k + i] / w;
  }
  pole_box_triples(pc.k, s->poles, nullptr, s->box, s->box + 3);
  double diag = 0.0;
  for (int c = 0; c < 3; ++c) diag += (s->box[3 + c] - s->box[c]) * (s->box[3 + c] - s->box[c]);
  s->size = std::sqrt(diag);
  const double *p0 = s->poles, *p1 = s->poles + 3 * (pc.k - 1);
  double dev = 0.0, e[3];
  sub(p1, p0, e);
  const double ee = len_sq(e);
  for (int i = 1; i < pc.k - 1; ++i) {
    double v[3], foot[3];
    sub(s->poles + 3 * i, p0, v);
    const double f = ee > 0.0 ? std::clamp(dot(v, e) / ee, 0.0, 1.0) : 0.0;
    axpy(p0, f, e, foot);
    dev = std::max(dev, dist_sq(foot, s->poles + 3 * i));
  }
  s->deviation = std::sqrt(dev);
}

bool boxes_apart(const double *a, const double *b, double gap) {
  for (int c = 0; c < 3; ++c)
    if (a[c] > b[3 + c] + gap || b[c] > a[3 + c] + gap) return true;
  return false;
}

// Tangent cone of a sub-piece: every tangent direction is a non-negative
// combination of pole differences P_j - P_i (i < j; consecutive ones for a
// polynomial piece). Axis and cosine of the half angle; false when the cone is
// not narrower than a half space.
bool tangent_cone(const SubPiece &s, bool rational, double *axis, double *cos_half) {
  double sum[3] = {0, 0, 0};
  const int k = s.k;
  auto each = [&](auto &&fn) {
    for (int i = 0; i < k - 1; ++i)
      for (int j = i + 1; j < (rational ? k : i + 2); ++j) {
        double v[3];
        sub(s.poles + 3 * j, s.poles + 3 * i, v);
        const double l = len(v);
        if (l > 1e-14 * (s.size + 1e-300)) {
          scale(v, 1.0 / l, v);
          fn(v);
        }
      }
  };
  each([&](const double *v) { add(sum, v, sum); });
  const double l = len(sum);
  if (!(l > 0.0)) return false;
  scale(sum, 1.0 / l, axis);
  double c = 1.0;
  each([&](const double *v) { c = std::min(c, dot(v, axis)); });
  *cos_half = c;
  return c > 1e-3;
}

// True when no tangent line of one sub-piece is parallel to one of the other, so
// they meet at most once.
bool cones_apart(const SubPiece &a, bool ra, const SubPiece &b, bool rb) {
  double x[3], y[3], ca, cb;
  if (!tangent_cone(a, ra, x, &ca) || !tangent_cone(b, rb, y, &cb)) return false;
  const double between = std::acos(std::min(1.0, std::fabs(dot(x, y))));
  return between > std::acos(ca) + std::acos(cb) + 1e-6;
}

// Same result: points within dist_tol and each curve stays near them between
// the two parameters (a loop through the same point twice gives two results).
bool same_hit(const CcPiece &a, const CcPiece &b, const CcHit &h, const CcHit &g) {
  const double tol2 = tol().dist_sqtol;
  if ((h.tangent || g.tangent) && dist_sq(h.p, g.p) <= 1e6 * tol2) {
    // One tangent contact: the curves stay together between the two results.
    double m1[6], m2[6];
    a.eval1(0.5 * (h.u1 + g.u1), m1);
    b.eval1(0.5 * (h.u2 + g.u2), m2);
    if (dist_sq(m1, m2) <= tol2) return true;
  }
  if (dist_sq(h.p, g.p) > tol2) return false;
  double m[6];
  a.eval1(0.5 * (h.u1 + g.u1), m);
  if (dist_sq(m, h.p) > 100.0 * tol2) return false;
  b.eval1(0.5 * (h.u2 + g.u2), m);
  return dist_sq(m, h.p) <= 100.0 * tol2;
}

BSrc add_hit(const CcPiece &a, const CcPiece &b, const CcHit &h, PieceHits *out) {
  for (int i = 0; i < out->count; ++i)
    if (same_hit(a, b, out->hit[i], h)) return BSSUCC;
  if (out->count >= kMaxPieceHits) return BSFAIL;
  out->hit[out->count++] = h;
  return BSSUCC;
}

// End points of either piece lying on the other, without repeats.
int end_coincidences(const CcPiece &a, const CcPiece &b, CcHit *ends) {
  int n = 0;
  const double dt = tol().dist_tol;
  for (int side = 0; side < 2; ++side) {
    const CcPiece &from = side == 0 ? a : b, &onto = side == 0 ? b : a;
    for (int e = 0; e < 2; ++e) {
      double p[6], foot[3], d = 0.0, t = 0.0;
      from.eval1(e, p);
      nearest_on_bezier(onto.view(), p, dt, 1.0001 * dt, &d, foot, &t);
      if (!(d <= dt)) continue;
      CcHit h;
      h.tangent = false;
      for (int c = 0; c < 3; ++c) h.p[c] = 0.5 * (p[c] + foot[c]);
      h.u1 = side == 0 ? e : t;
      h.u2 = side == 0 ? t : e;
      bool seen = false;
      for (int i = 0; i < n && !seen; ++i) seen = same_hit(a, b, ends[i], h);
      if (!seen) ends[n++] = h;
    }
  }
  for (int i = 1; i < n; ++i)  // at most four: insertion by parameter on a
    for (int j = i; j > 0 && ends[j].u1 < ends[j - 1].u1; --j) std::swap(ends[j], ends[j - 1]);
  return n;
}

// Whether every sample of `from` between local parameters f0 and f1 lies within
// dist_tol of `onto` between o0 and o1.
bool stretch_on(const CcPiece &from, const CcPiece &onto, double f0, double f1, double o0,
                double o1, int samples) {
  const double dt = tol().dist_tol;
  const double lo = std::min(o0, o1) - 1e-9, hi = std::max(o0, o1) + 1e-9;
  for (int i = 1; i <= samples; ++i) {
    double p[6], foot[3], d = 0.0, t = 0.0;
    from.eval1(f0 + (f1 - f0) * i / (samples + 1), p);
    nearest_on_bezier(onto.view(), p, dt, 1.0001 * dt, &d, foot, &t);
    if (!(d <= dt) || t < lo || t > hi) return false;
  }
  return true;
}

}  // namespace

bool pieces_overlap_between(const CcPiece &a, const CcPiece &b, const CcHit &h0, const CcHit &h1) {
  if (dist_sq(h0.p, h1.p) <= tol().dist_sqtol) return false;
  // More samples than two distinct curves of these degrees can share points.
  const int samples = std::clamp(2 * (a.k - 1) * (b.k - 1) + 1, 3, 33);
  return stretch_on(a, b, h0.u1, h1.u1, h0.u2, h1.u2, samples) &&
         stretch_on(b, a, h0.u2, h1.u2, h0.u1, h1.u1, samples);
}

// Sine of the crossing angle below which a crossing counts as nearly tangent.
constexpr double kNearTangentSine = 0.0785;

BSrc intersect_pieces(const CcPiece &a, const CcPiece &b, PieceHits *out) {
  out->count = 0;
  out->overlap = false;
  out->tangent = false;
  CcHit ends[4];
  const int ne = end_coincidences(a, b, ends);
  for (int i = 0; i + 1 < ne; ++i) {
    if (!pieces_overlap_between(a, b, ends[i], ends[i + 1])) continue;
    int j = i + 1;
    while (j + 1 < ne && pieces_overlap_between(a, b, ends[j], ends[j + 1])) ++j;
    out->hit[0] = ends[i];
    out->hit[1] = ends[j];
    out->count = 2;
    out->overlap = true;
    return BSSUCC;
  }
  for (int i = 0; i < ne; ++i) out->hit[out->count++] = ends[i];

  const double dt = tol().dist_tol, flat = 0.5 * dt;
  CcSide sa, sb;
  sa.piece = &a;
  sb.piece = &b;
  struct Pair {
    double a0, a1, b0, b1;
    int depth;
  };
  constexpr int kMaxDepth = 60;
  Pair stack[2 * kMaxDepth + 8];
  int top = 0;
  stack[top++] = {0.0, 1.0, 0.0, 1.0, 0};
  SubPiece sa_sub, sb_sub;
  BSrc rc = BSSUCC;
  while (top > 0 && rc == BSSUCC) {
    const Pair pr = stack[--top];
    make_sub(a, pr.a0, pr.a1, &sa_sub);
    make_sub(b, pr.b0, pr.b1, &sb_sub);
    if (boxes_apart(sa_sub.box, sb_sub.box, dt)) continue;
    const bool flat_a = sa_sub.deviation <= flat || sa_sub.size <= dt;
    const bool flat_b = sb_sub.deviation <= flat || sb_sub.size <= dt;
    const bool leaf = (flat_a && flat_b) || pr.depth >= kMaxDepth;
    const bool single = !leaf && cones_apart(sa_sub, a.rational, sb_sub, b.rational);
    if (leaf || single) {
      double s = 0.0, t = 0.0;
      const double d2 = segment_closest(sa_sub.poles, sa_sub.poles + 3 * (a.k - 1), sb_sub.poles,
                                        sb_sub.poles + 3 * (b.k - 1), &s, &t);
      const double reach = dt + sa_sub.deviation + sb_sub.deviation;
      if (leaf && d2 > reach * reach) continue;
      double t1 = pr.a0 + s * (pr.a1 - pr.a0), t2 = pr.b0 + t * (pr.b1 - pr.b0);
      CcHit h;
      h.tangent = false;
      bool conv = false;
      rc = newton_common_point(sa, sb, 1e-12, 1e-12, &t1, &t2, h.p, &conv);
      if (rc != BSSUCC) break;
      if (conv) {
        // A nearly tangent crossing converges anywhere along the stretch where the
        // curves stay within dist_tol: move it to their closest points.
        double e1[6], e2[6], n[3];
        a.eval1(t1, e1);
        b.eval1(t2, e2);
        cross(e1 + 3, e2 + 3, n);
        if (len_sq(n) < kNearTangentSine * kNearTangentSine * len_sq(e1 + 3) * len_sq(e2 + 3)) {
          double x = t1, y = t2;
          if (closest_points_of_pieces(a, b, &x, &y) <= dt) {
            a.eval1(x, e1);
            b.eval1(y, e2);
            for (int c = 0; c < 3; ++c) h.p[c] = 0.5 * (e1[c] + e2[c]);
            t1 = x, t2 = y;
          }
          out->tangent = true;
          h.tangent = true;
        }
        h.u1 = t1, h.u2 = t2;
        rc = add_hit(a, b, h, out);
        const double m1 = 1e-9 + 1e-3 * (pr.a1 - pr.a0), m2 = 1e-9 + 1e-3 * (pr.b1 - pr.b0);
        if (t1 >= pr.a0 - m1 && t1 <= pr.a1 + m1 && t2 >= pr.b0 - m2 && t2 <= pr.b1 + m2) continue;
      }
      if (leaf) {
        if (conv) continue;
        // Nearly tangent: the closest points of the two pieces, kept only when
        // they lie within dist_tol (an unconverged iteration alone never counts).
        t1 = pr.a0 + s * (pr.a1 - pr.a0), t2 = pr.b0 + t * (pr.b1 - pr.b0);
        const double d = closest_points_of_pieces(a, b, &t1, &t2);
        if (d <= dt) {
          double p[6], q[6];
          a.eval1(t1, p);
          b.eval1(t2, q);
          for (int c = 0; c < 3; ++c) h.p[c] = 0.5 * (p[c] + q[c]);
          h.u1 = t1, h.u2 = t2;
          out->tangent = h.tangent = true;
          rc = add_hit(a, b, h, out);
        }
        continue;
      }
    }
    // Halve the larger piece (a flat one too: smaller boxes prune better).
    const bool split_a = sa_sub.size >= sb_sub.size;
    if (split_a) {
      const double m = 0.5 * (pr.a0 + pr.a1);
      stack[top++] = {m, pr.a1, pr.b0, pr.b1, pr.depth + 1};
      stack[top++] = {pr.a0, m, pr.b0, pr.b1, pr.depth + 1};
    } else {
      const double m = 0.5 * (pr.b0 + pr.b1);
      stack[top++] = {pr.a0, pr.a1, m, pr.b1, pr.depth + 1};
      stack[top++] = {pr.a0, pr.a1, pr.b0, m, pr.depth + 1};
    }
  }
  if (rc != BSSUCC) {
    out->count = 0;
    return rc;
  }
  std::sort(out->hit, out->hit + out->count,
            [](const CcHit &x, const CcHit &y) { return x.u1 < y.u1; });
  return BSSUCC;
}

int combine_hits(int ne, const CcHit *ends, int ni, const CcHit *inner, bool loose, CcHit *out) {
  const double t2 = (loose ? 1.0e6 : 1.0) * tol().dist_sqtol;
  int n = 0, e = 0;
  for (int i = 0; i < ni; ++i) {
    bool near_end = false;
    for (int j = 0; j < ne && !near_end; ++j) near_end = dist_sq(inner[i].p, ends[j].p) <= t2;
    if (near_end) continue;
    while (e < ne && ends[e].u1 <= inner[i].u1) out[n++] = ends[e++];
    out[n++] = inner[i];
  }
  while (e < ne) out[n++] = ends[e++];
  return n;
}

}  // namespace knotwork

// ---- Exported routines on spans --------------------------------------------------

namespace knotwork {
using namespace v3;

BSrc check_intersection_curve(const BScurve *cv) {
  const BSrc rc = validate_curve(cv, kCurveFull | kCurveOrder16);
  if (rc != BSSUCC) return rc;
  for (int32_t i = 0; i < cv->num_poles; ++i) {
    const double w = cv->rational ? cv->weights[i] : 1.0;
    for (int c = 0; c < 3; ++c)
      if (!(std::fabs(cv->poles[3 * i + c] / w) <= 1e150)) return BSINARG;
  }
  return BSSUCC;
}

BSrc check_span_record(const BScurve *cv) {
  const BSrc rc = check_intersection_curve(cv);
  if (rc != BSSUCC) return rc;
  return cv->num_poles == cv->order ? BSSUCC : BSINARG;
}

namespace {

// Results of two single-span records on their parameter ranges.
BSrc span_records_hits(const BScurve &s1, const BScurve &s2, int cls1, int cls2, int32_t *count,
                       double *points, double *par1, double *par2, BSboolean *overlap) {
  CcPiece a, b;
  piece_of_record(s1, &a);
  piece_of_record(s2, &b);
  PieceHits hits;
  if (cls1 == kClassPoint && cls2 == kClassPoint) {
    // Two point spans: their pole averages must coincide.
    double pa[3] = {0, 0, 0}, pb[3] = {0, 0, 0}, q[3];
    for (int i = 0; i < a.k; ++i) a.pole(i, q), axpy(pa, 1.0 / a.k, q, pa);
    for (int i = 0; i < b.k; ++i) b.pole(i, q), axpy(pb, 1.0 / b.k, q, pb);
    hits.count = 0;
    hits.overlap = false;
    if (dist_sq(pa, pb) <= tol().dist_sqtol) {
      for (int c = 0; c < 3; ++c) hits.hit[0].p[c] = 0.5 * (pa[c] + pb[c]);
      hits.hit[0].u1 = hits.hit[0].u2 = 0.5;
      hits.count = 1;
    }
  } else {
    const BSrc rc = intersect_pieces(a, b, &hits);
    if (rc != BSSUCC) return rc;
  }
  for (int i = 0; i < hits.count; ++i) {
    copy(hits.hit[i].p, points + 3 * i);
    par1[i] = a.curve_param(hits.hit[i].u1);
    par2[i] = b.curve_param(hits.hit[i].u2);
  }
  *count = hits.count;
  *overlap = hits.overlap ? TRUE : FALSE;
  return BSSUCC;
}

BSrc check_curve_pair(const BScurve *a, const BScurve *b) {
  const BSrc rc = check_intersection_curve(a);
  return rc != BSSUCC ? rc : check_intersection_curve(b);
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;
using namespace knotwork::v3;

KW_API void BSxspnspn(const BScurve *span1, const BScurve *span2, int16_t class1, int16_t class2,
                      int32_t *count, double *points, double *par1, double *par2,
                      BSboolean *overlap, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == nullptr || points == nullptr || par1 == nullptr || par2 == nullptr ||
      overlap == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_span_record(span1)) != BSSUCC || (*rc = check_span_record(span2)) != BSSUCC)
    return;
  if (class1 < kClassPoint || class1 > kClassGeneral || class2 < kClassPoint ||
      class2 > kClassGeneral) {
    *rc = BSINARG;
    return;
  }
  *rc = span_records_hits(*span1, *span2, class1, class2, count, points, par1, par2, overlap);
}

KW_API void BSbzbz_int(const BScurve *span1, const BScurve *span2, int32_t *count, double *points,
                       double *par1, double *par2, BSboolean *overlap, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == nullptr || points == nullptr || par1 == nullptr || par2 == nullptr ||
      overlap == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_span_record(span1)) != BSSUCC || (*rc = check_span_record(span2)) != BSSUCC)
    return;
  *rc = span_records_hits(*span1, *span2, kClassGeneral, kClassGeneral, count, points, par1, par2,
                          overlap);
}

KW_API void BScvcviter(const BScurve *curve1, const BScurve *curve2, BSboolean closed1,
                       BSboolean closed2, double ptol1, double ptol2, double *u1, double *u2,
                       double *mid, BSboolean *converged, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (u1 == nullptr || u2 == nullptr || mid == nullptr || converged == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_curve_pair(curve1, curve2)) != BSSUCC) return;
  if (!std::isfinite(*u1) || !std::isfinite(*u2) || !(ptol1 >= 0.0) || !(ptol2 >= 0.0)) {
    *rc = BSINARG;
    return;
  }
  CcSide a, b;
  a.curve = curve1, b.curve = curve2;
  a.closed = closed1 != 0, b.closed = closed2 != 0;
  a.lo = curve1->knots[curve1->order - 1], a.hi = curve1->knots[curve1->num_poles];
  b.lo = curve2->knots[curve2->order - 1], b.hi = curve2->knots[curve2->num_poles];
  double x1 = std::clamp(*u1, a.lo, a.hi), x2 = std::clamp(*u2, b.lo, b.hi), m[3];
  bool conv = false;
  *rc = newton_common_point(a, b, ptol1, ptol2, &x1, &x2, m, &conv);
  if (*rc != BSSUCC) return;
  copy(m, mid);
  *converged = conv ? TRUE : FALSE;
  if (conv) *u1 = x1, *u2 = x2;
}

KW_API void BScvcvjmat(const BScurve *curve1, const BScurve *curve2, double u1, double u2,
                       double *matrix, double *grad1, double *grad2, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (matrix == nullptr || grad1 == nullptr || grad2 == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_curve_pair(curve1, curve2)) != BSSUCC) return;
  if (!std::isfinite(u1) || !std::isfinite(u2)) {
    *rc = BSINARG;
    return;
  }
  CcSide a, b;
  a.curve = curve1, b.curve = curve2;
  double m[4], g1, g2;
  if ((*rc = distance_jacobian(a, b, u1, u2, m, &g1, &g2)) != BSSUCC) return;
  std::memcpy(matrix, m, sizeof m);
  *grad1 = g1, *grad2 = g2;
}

KW_API void BScvcv_comb(int32_t num_ends, int32_t num_inner, BSboolean loose,
                        const double *end_points, const double *inner_points,
                        const double *end_par1, const double *end_par2, const double *inner_par1,
                        const double *inner_par2, int32_t *count, double *points, double *par1,
                        double *par2, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == nullptr ||
      ((num_ends > 0 || num_inner > 0) &&
       (points == nullptr || par1 == nullptr || par2 == nullptr)) ||
      (num_ends > 0 && (end_points == nullptr || end_par1 == nullptr || end_par2 == nullptr)) ||
      (num_inner > 0 &&
       (inner_points == nullptr || inner_par1 == nullptr || inner_par2 == nullptr))) {
    *rc = BSNULLPTR;
    return;
  }
  if (num_ends < 0 || num_inner < 0 || num_ends > INT32_MAX / 2 - num_inner) {
    *rc = BSINARG;
    return;
  }
  const std::size_t total = static_cast<std::size_t>(num_ends) + num_inner;
  BasicScratchBuffer<100 * sizeof(CcHit)> buf(2 * total * sizeof(CcHit));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  CcHit *e = buf.as<CcHit>(), *in = e + num_ends, *out = in + num_inner;
  for (int32_t i = 0; i < num_ends; ++i)
    copy(end_points + 3 * i, e[i].p), e[i].u1 = end_par1[i], e[i].u2 = end_par2[i];
  for (int32_t i = 0; i < num_inner; ++i)
    copy(inner_points + 3 * i, in[i].p), in[i].u1 = inner_par1[i], in[i].u2 = inner_par2[i];
  const int n = combine_hits(num_ends, e, num_inner, in, loose != 0, out);
  for (int i = 0; i < n; ++i)
    copy(out[i].p, points + 3 * i), par1[i] = out[i].u1, par2[i] = out[i].u2;
  *count = n;
}

KW_API void BSbzoverlap(const BScurve *span1, const BScurve *span2, const double *par1,
                        const double *par2, BSboolean *overlap, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (par1 == nullptr || par2 == nullptr || overlap == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_span_record(span1)) != BSSUCC || (*rc = check_span_record(span2)) != BSSUCC)
    return;
  CcPiece a, b;
  piece_of_record(*span1, &a);
  piece_of_record(*span2, &b);
  CcHit h[2];
  for (int e = 0; e < 2; ++e) {
    h[e].u1 = (par1[e] - a.u0) / (a.u1 - a.u0);
    h[e].u2 = (par2[e] - b.u0) / (b.u1 - b.u0);
    h[e].tangent = false;
    if (!(h[e].u1 >= 0.0 && h[e].u1 <= 1.0 && h[e].u2 >= 0.0 && h[e].u2 <= 1.0)) {
      *rc = BSINARG;
      return;
    }
    double p[6], q[6];
    a.eval1(h[e].u1, p);
    b.eval1(h[e].u2, q);
    for (int c = 0; c < 3; ++c) h[e].p[c] = 0.5 * (p[c] + q[c]);
  }
  *overlap = pieces_overlap_between(a, b, h[0], h[1]) ? TRUE : FALSE;
}

KW_API BSboolean BSoverlap(BSrc *rc, const double *a0, const double *a1, const double *b0,
                           const double *b1, double *start, double *end) {
  KW_EPILOGUE(rc);
  if (a0 == nullptr || a1 == nullptr || b0 == nullptr || b1 == nullptr || start == nullptr ||
      end == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  for (const double *v : {a0, a1, b0, b1})
    for (int c = 0; c < 3; ++c)
      if (!(std::fabs(v[c]) <= 1e150)) {
        *rc = BSINARG;
        return KW_FINISH(FALSE);
      }
  double lo = 0.0, hi = 0.0, e[3];
  const bool common = collinear_overlap(a0, a1, b0, b1, &lo, &hi);
  sub(a1, a0, e);
  const double L = len(e);
  if (L > 0.0) scale(e, 1.0 / L, e);
  axpy(a0, lo, e, start);
  axpy(a0, hi, e, end);
  return KW_FINISH(common ? TRUE : FALSE);
}
