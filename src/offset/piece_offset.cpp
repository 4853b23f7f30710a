// Offset of one smooth planar piece: the offset poles are placed so that the piece
// meets the true offset at its Greville abscissae (the offset control polygon,
// interior poles at the corners of the offset legs, where that system cannot be
// solved), then the piece is refined at the spans where it strays from the true
// offset by more than offset_tol, checked on dense samples inside every span,
// until it holds.
#include <algorithm>
#include <cmath>

#include "offset/offset.hpp"
#include "query/project.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {

namespace {

constexpr int kMaxPasses = 15;
// Refinement stops (not converged) before the piece grows beyond 64 times its
// spans plus this many poles: a tolerance below the rounding of the coordinates
// (a curve far from the origin) can never be met, and each pass may double it.
constexpr int32_t kExtraPoles = 1024;
// Squared coordinate difference below which a leg counts as having no length.
constexpr double kTinyLegSq = 1.401298464324817e-45;

// In-plane unit normal of the leg from a to b: (ly, -lx) when the plane normal's
// third component is exactly 1, (-ly, lx) otherwise. False for a leg of no length.
bool leg_normal(const double *a, const double *b, bool right, double *n) {
  const double lx = b[0] - a[0], ly = b[1] - a[1];
  const double m = std::max(std::fabs(lx), std::fabs(ly));
  if (!(m * m > kTinyLegSq)) return false;
  const double l = std::hypot(lx, ly);
  n[0] = (right ? ly : -ly) / l;
  n[1] = (right ? -lx : lx) / l;
  n[2] = 0.0;
  return true;
}

// Unit in-plane offset direction of a tangent (same rule as the legs).
bool tangent_normal(const double *t, bool right, double *n) {
  const double zero[3] = {0.0, 0.0, 0.0};
  return leg_normal(zero, t, right, n);
}

struct OffsetSetup {
  double sd;   // side x d
  bool right;  // leg normal rule
};

// Offset pole k of the unweighted polygon P (n points) into q (z = 0).
BSrc offset_pole(const double *P, int32_t n, int32_t k, const OffsetSetup &s, double *q) {
  double g[3], h[3];
  if (k == 0) {
    for (int32_t j = 1; j < n; ++j)
      if (leg_normal(P, P + 3 * j, s.right, g)) {
        v3::axpy(P, s.sd, g, q);
        q[2] = 0.0;
        return BSSUCC;
      }
    return BSDEGEN;
  }
  const double *pk = P + 3 * k;
  if (k == n - 1) {
    for (int32_t j = n - 2; j >= 0; --j)
      if (leg_normal(P + 3 * j, pk, s.right, g)) {
        v3::axpy(pk, s.sd, g, q);
        q[2] = 0.0;
        return BSSUCC;
      }
    return BSDEGEN;
  }
  const bool hg = leg_normal(pk - 3, pk, s.right, g) || leg_normal(pk - 3, pk + 3, s.right, g);
  const bool hh = leg_normal(pk, pk + 3, s.right, h) || leg_normal(pk - 3, pk + 3, s.right, h);
  if (!hg || !hh) return BSDEGEN;
  double a[3], b[3];
  v3::axpy(pk, s.sd, g, a);
  v3::axpy(pk, s.sd, h, b);
  if (v3::dist(a, b) < tol().dist_tol) {
    q[0] = 0.5 * (a[0] + b[0]);
    q[1] = 0.5 * (a[1] + b[1]);
  } else {
    const double sg = s.sd < 0.0 ? -1.0 : 1.0;
    double u[3], v[3], m[3];
    v3::scale(g, sg, u);
    v3::scale(h, sg, v);
    if (v3::dot(u, v) >= tol().orient_tol - 1.0) {
      v3::add(u, v, m);
      v3::scale(m, 1.0 / v3::len(m), m);
      v3::axpy(pk, std::fabs(s.sd) / v3::dot(u, m), m, q);
    } else {
      v3::copy(a, q);
    }
  }
  q[2] = 0.0;
  return BSSUCC;
}

// R's poles from W's polygon: offset poles, W's weights, z of W's poles.
BSrc build_offset(const BScurve &W, const OffsetSetup &s, double *P, BScurve &R) {
  const int32_t n = W.num_poles;
  for (int32_t i = 0; i < n; ++i) unweighted_pole(W, i, P + 3 * i);
  for (int32_t i = 0; i < n; ++i) {
    double q[3];
    if (const BSrc rc = offset_pole(P, n, i, s, q); rc != BSSUCC) return rc;
    q[2] = P[3 * i + 2];
    const double w = W.rational ? W.weights[i] : 1.0;
    v3::scale(q, w, R.poles + 3 * i);
    if (W.rational) R.weights[i] = w;
  }
  std::copy(W.knots, W.knots + W.num_knots, R.knots);
  return BSSUCC;
}

// True offset point of W at u: W(u) + sd n(u).
BSrc true_offset(const BScurve &W, double u, const OffsetSetup &s, double *e) {
  double pd[6], n[3];
  BSrc rc = evaluate_curve_at(W, u, 1, pd);
  if (rc != BSSUCC) return rc;
  if (!tangent_normal(pd + 3, s.right, n)) {
    // A stationary point: the offset point follows from the neighbouring
    // tangent (the second derivative gives its direction there).
    double p2[9];
    rc = evaluate_curve_at(W, u, 2, p2);
    if (rc != BSSUCC || !tangent_normal(p2 + 6, s.right, n)) return BSDEGEN;
  }
  v3::axpy(pd, s.sd, n, e);
  return BSSUCC;
}

// The k basis functions of span s at u (Cox - de Boor), N[0] for pole s - k + 1.
void basis_at(const double *t, int k, int32_t s, double u, double *N) {
  double left[16], right[16];
  N[0] = 1.0;
  for (int j = 1; j < k; ++j) {
    left[j] = u - t[s + 1 - j];
    right[j] = t[s + j] - u;
    double saved = 0.0;
    for (int r = 0; r < j; ++r) {
      const double tmp = N[r] / (right[r + 1] + left[j - r]);
      N[r] = saved + right[r + 1] * tmp;
      saved = left[j - r] * tmp;
    }
    N[j] = saved;
  }
}

// R's poles (W's knots and weights) such that R meets the true offset at the
// Greville abscissae of W: a banded collocation system, totally positive, solved
// without pivoting. The error falls as h^k against h^2 for the offset polygon, so
// far fewer knots reach offset_tol. *solved false: a vanishing pivot (R untouched).
BSrc collocate(const BScurve &W, const OffsetSetup &s, const double *P, BScurve &R, bool *solved) {
  const int k = W.order;
  const int32_t n = W.num_poles, bw = 2 * k - 1;
  *solved = false;
  ScratchBuffer buf(static_cast<std::size_t>(n) * (bw + 3) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *A = buf.as<double>(), *rhs = A + static_cast<std::size_t>(n) * bw;
  const double *t = W.knots;
  int32_t span = k - 1;
  for (int32_t i = 0; i < n; ++i) {
    double xi = 0.0;
    for (int j = 1; j < k; ++j) xi += t[i + j];
    xi = i == 0 ? t[k - 1] : i == n - 1 ? t[n] : xi / (k - 1);
    while (span < n - 1 && !(xi < t[span + 1])) ++span;
    double N[16], e[3];
    basis_at(t, k, span, xi, N);
    if (const BSrc rc = true_offset(W, xi, s, e); rc) return rc;
    double wsum = 1.0;
    if (W.rational) {
      wsum = 0.0;
      for (int j = 0; j < k; ++j) wsum += N[j] * W.weights[span - k + 1 + j];
    }
    double *row = A + static_cast<std::size_t>(i) * bw;
    std::fill(row, row + bw, 0.0);
    for (int j = 0; j < k; ++j) {
      const int32_t c = span - k + 1 + j;
      if (c - i < -(k - 1) || c - i > k - 1) {
        if (N[j] != 0.0) return BSSUCC;  // not banded: leave it to the polygon
        continue;
      }
      row[c - i + k - 1] = N[j];
    }
    rhs[3 * i] = e[0] * wsum;
    rhs[3 * i + 1] = e[1] * wsum;
    rhs[3 * i + 2] = 0.0;
  }
  // Elimination below the diagonal, then back substitution.
  const auto at = [&](int32_t r, int32_t c) -> double & {
    return A[static_cast<std::size_t>(r) * bw + (c - r + k - 1)];
  };
  for (int32_t c = 0; c < n; ++c) {
    const double piv = at(c, c);
    if (!(std::fabs(piv) > 1e-12)) return BSSUCC;
    for (int32_t r = c + 1; r < n && r <= c + k - 1; ++r) {
      const double f = at(r, c) / piv;
      if (f == 0.0) continue;
      for (int32_t j = c; j < n && j <= c + k - 1; ++j) at(r, j) -= f * at(c, j);
      rhs[3 * r] -= f * rhs[3 * c];
      rhs[3 * r + 1] -= f * rhs[3 * c + 1];
    }
  }
  for (int32_t r = n - 1; r >= 0; --r) {
    for (int32_t j = r + 1; j < n && j <= r + k - 1; ++j) {
      rhs[3 * r] -= at(r, j) * rhs[3 * j];
      rhs[3 * r + 1] -= at(r, j) * rhs[3 * j + 1];
    }
    rhs[3 * r] /= at(r, r);
    rhs[3 * r + 1] /= at(r, r);
  }
  for (int32_t i = 0; i < n; ++i) {
    if (!std::isfinite(rhs[3 * i]) || !std::isfinite(rhs[3 * i + 1])) return BSSUCC;
  }
  for (int32_t i = 0; i < n; ++i) {
    const double w = W.rational ? W.weights[i] : 1.0;
    R.poles[3 * i] = rhs[3 * i];
    R.poles[3 * i + 1] = rhs[3 * i + 1];
    R.poles[3 * i + 2] = w * P[3 * i + 2];
    if (W.rational) R.weights[i] = w;
  }
  std::copy(W.knots, W.knots + W.num_knots, R.knots);
  *solved = true;
  return BSSUCC;
}

// Foot of x on W by Newton steps on (W(v) - x) . W'(v) from u (local: the foot
// of the offset point is the base point it was offset from).
BSrc local_foot(const BScurve &W, double u, const double *x, double *v) {
  const double lo = W.knots[W.order - 1], hi = W.knots[W.num_poles];
  *v = u;
  for (int it = 0; it < 30; ++it) {
    double c[9], r[3];
    if (const BSrc rc = evaluate_curve_at(W, *v, 2, c); rc) return rc;
    v3::sub(c, x, r);
    const double f = v3::dot(r, c + 3), df = v3::dot(c + 3, c + 3) + v3::dot(r, c + 6);
    if (!(df > 0.0)) break;
    const double next = std::clamp(*v - f / df, lo, hi);
    const double step = std::fabs(next - *v);
    *v = next;
    if (step <= 1e-15 * (hi - lo)) break;
  }
  return BSSUCC;
}

// Checks R against the true offset on samples inside every span of W: the point
// R(u) projected onto W near u must lie within tol of the true offset point at its
// foot, and within drift (the 0.01 L polygon tolerance) of the offset point at u.
// Failing span indices go to fail (ascending, each once). With nwin >= 0 only the
// spans meeting one of the ascending parameter windows (pairs) are checked.
BSrc check_spans(const BScurve &W, const BScurve &R, const OffsetSetup &s, double tol_dev,
                 double drift, const double *win, int32_t nwin, int32_t *fail, int32_t *nfail) {
  const int32_t k = W.order, n = W.num_poles;
  const int samples = 2 * k + 2;
  *nfail = 0;
  int32_t wi = 0;
  for (int32_t sp = k - 1; sp < n; ++sp) {
    const double a = W.knots[sp], b = W.knots[sp + 1];
    if (!(b > a)) continue;
    if (nwin >= 0) {
      while (wi < nwin && win[2 * wi + 1] < a) ++wi;
      if (wi == nwin) break;
      if (win[2 * wi] > b) continue;
    }
    bool bad = false;
    for (int j = 0; j < samples && !bad; ++j) {
      const double u = a + (b - a) * (j + 0.5) / samples;
      double r[3], e[3], eu[3], v = u;
      if (const BSrc rc = evaluate_curve_at(R, u, 0, r); rc) return rc;
      if (const BSrc rc = local_foot(W, u, r, &v); rc) return rc;
      if (const BSrc rc2 = true_offset(W, v, s, e); rc2 != BSSUCC) return rc2;
      if (const BSrc rc2 = true_offset(W, u, s, eu); rc2 != BSSUCC) return rc2;
      bad = !(v3::dist(r, e) <= tol_dev) || !(v3::dist_sq(r, eu) <= drift);
    }
    if (bad) fail[(*nfail)++] = sp;
  }
  return BSSUCC;
}

// Inserts the midpoint of every failing span into *W (a new record).
BSrc refine(OwnedCurve &W, const int32_t *fail, int32_t nfail) {
  const BScurve &w = *W.get();
  ScratchBuffer buf(static_cast<std::size_t>(w.num_knots + nfail) * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *kts = buf.as<double>();
  int32_t m = 0, f = 0;
  for (int32_t i = 0; i < w.num_knots; ++i) {
    kts[m++] = w.knots[i];
    if (f < nfail && fail[f] == i) kts[m++] = 0.5 * (w.knots[i] + w.knots[i + 1]), ++f;
  }
  OwnedCurve out;
  if (const BSrc rc = new_curve(w.order, w.num_poles + nfail, w.rational, out.addr()); rc)
    return rc;
  BSrc rc = BSSUCC;
  BSadd_kts(&w, w.num_poles + nfail, kts, out.get(), &rc);
  if (rc != BSSUCC) return rc;
  W.reset(out.release());
  return BSSUCC;
}

}  // namespace

BSrc new_curve(int32_t order, int32_t num_poles, bool rational, BScurve **out) {
  BSrc rc = BSSUCC;
  *out = nullptr;
  BSallocqelcv(static_cast<int16_t>(order), num_poles, rational ? TRUE : FALSE, 0, out, &rc);
  if (rc != BSSUCC || *out == nullptr) return rc == BSSUCC ? BSNOMEMORY : rc;
  BScurve *c = *out;
  c->order = static_cast<int16_t>(order);
  c->periodic = 0;
  c->non_uniform = 1;
  c->planar = 0;
  c->phy_closed = 0;
  return BSSUCC;
}

BSrc copy_curve(const BScurve &cv, int32_t extra, BScurve **out) {
  if (const BSrc rc = new_curve(cv.order, cv.num_poles + extra, cv.rational != 0, out); rc)
    return rc;
  BSrc rc = BSSUCC;
  BScv_copy(&rc, &cv, *out);
  if (rc != BSSUCC) {
    BSrc r2;
    BSfreeqelcv(*out, &r2);
    *out = nullptr;
  }
  return rc;
}

BSrc part_of(const BScurve &c, double u0, double u1, BScurve **out) {
  if (const BSrc rc = new_curve(c.order, c.num_poles + 2 * (c.order - 1), c.rational != 0, out); rc)
    return rc;
  BSrc rc = BSSUCC;
  const BSboolean plane = FALSE;
  BSactivsplt(&rc, &c, &u0, &u1, *out, &plane);
  if (rc != BSSUCC) {
    BSrc r2;
    BSfreeqelcv(*out, &r2);
    *out = nullptr;
  }
  return rc;
}

void unweighted_pole(const BScurve &cv, int32_t i, double *out) {
  const double w = cv.rational ? cv.weights[i] : 1.0;
  v3::scale(cv.poles + 3 * i, 1.0 / w, out);
}

BSrc piece_offset(const BScurve &piece, double d, const double *normal, int32_t side,
                  BScurve **out) {
  *out = nullptr;
  OffsetSetup s{static_cast<double>(side) * d, normal[2] == 1.0};
  OwnedCurve W;
  if (const BSrc rc = copy_curve(piece, 0, W.addr()); rc) return rc;
  BSrc rc = BSSUCC;
  BScnvtomkt(&rc, W.get());
  if (rc != BSSUCC) return rc;
  // Control-polygon length in the plane: the drift tolerance 0.01 L.
  double length = 0.0;
  for (int32_t i = 1; i < W->num_poles; ++i) {
    double p[3], q[3];
    unweighted_pole(*W.get(), i - 1, p);
    unweighted_pole(*W.get(), i, q);
    length += std::hypot(q[0] - p[0], q[1] - p[1]);
  }
  const double tol_dev = 0.5 * tol().offset_tol;
  const double drift = std::max((0.01 * length) * (0.01 * length), tol_dev * tol_dev);
  // After a refinement only the neighbourhood of the refined spans is checked
  // again; a clean partial check is confirmed by a full one.
  ScratchBuffer windows[2];
  const int32_t max_poles = 64 * (W->num_poles - W->order + 1) + W->order + kExtraPoles;
  const double *win = nullptr;
  int32_t nwin = -1;
  for (int pass = 0;;) {
    const BScurve &w = *W.get();
    ScratchBuffer buf(static_cast<std::size_t>(w.num_poles) *
                      (3 * sizeof(double) + sizeof(int32_t)));
    if (!buf.ok()) return BSNOSTKMEMORY;
    double *P = buf.as<double>();
    int32_t *fail = reinterpret_cast<int32_t *>(P + 3 * w.num_poles);
    OwnedCurve R;
    if (const BSrc r2 = copy_curve(w, 0, R.addr()); r2) return r2;
    if (const BSrc r2 = build_offset(w, s, P, *R.get()); r2) return r2;
    if (w.order > 2) {
      bool solved = false;
      if (const BSrc r2 = collocate(w, s, P, *R.get(), &solved); r2) return r2;
    }
    int32_t nfail = 0;
    if (w.order > 2) {
      BSboolean degenerate = FALSE;
      BStstcvdegn(R.get(), &degenerate, &rc);
      if (rc != BSSUCC) return rc;
      if (!degenerate)
        if (const BSrc r2 = check_spans(w, *R.get(), s, tol_dev, drift, win, nwin, fail, &nfail);
            r2)
          return r2;
    }
    if (nfail == 0 && nwin >= 0) {
      nwin = -1;  // confirm on every span
      continue;
    }
    if (nfail == 0 || pass == kMaxPasses || w.num_poles + nfail > max_poles) {
      R->planar = 1;
      *out = R.release();
      return nfail != 0 ? kOffsetNotConverged : BSSUCC;
    }
    ScratchBuffer &next = windows[pass % 2];
    if (!next.acquire(static_cast<std::size_t>(2 * nfail) * sizeof(double))) return BSNOSTKMEMORY;
    double *nw = next.as<double>();
    int32_t m = 0;
    const int32_t k = w.order;
    for (int32_t i = 0; i < nfail; ++i) {
      const double lo = w.knots[std::max(fail[i] - k + 1, 0)];
      const double hi = w.knots[std::min(fail[i] + k, w.num_knots - 1)];
      if (m > 0 && lo <= nw[2 * m - 1]) {
        nw[2 * m - 1] = std::max(nw[2 * m - 1], hi);
      } else {
        nw[2 * m] = lo, nw[2 * m + 1] = hi, ++m;
      }
    }
    win = nw, nwin = m;
    if (const BSrc r2 = refine(W, fail, nfail); r2) return r2;
    ++pass;
  }
}

namespace {

// Places R's pole k from W's unweighted polygon P: z = 0, W's weight.
BSrc place_pole(const BScurve &W, const double *P, int32_t k, const OffsetSetup &s, BScurve &R) {
  double q[3];
  if (const BSrc rc = offset_pole(P, W.num_poles, k, s, q); rc) return rc;
  const double w = W.rational ? W.weights[k] : 1.0;
  v3::scale(q, w, R.poles + 3 * k);
  if (W.rational) R.weights[k] = w;
  return BSSUCC;
}

// Unweighted polygon of W into scratch.
BSrc unweighted_polygon(const BScurve &W, ScratchBuffer &buf) {
  if (!buf.acquire(static_cast<std::size_t>(W.num_poles) * 3 * sizeof(double)))
    return BSNOSTKMEMORY;
  for (int32_t i = 0; i < W.num_poles; ++i) unweighted_pole(W, i, buf.as<double>() + 3 * i);
  return BSSUCC;
}

}  // namespace

// The poles of R that span i of W fixes (the first span also pole 0 and the poles
// up to order - 3, the last span the last pole).
BSrc set_span(int32_t i, const BScurve &W, double d, const double *normal, int32_t side,
              BScurve &R) {
  const OffsetSetup s{static_cast<double>(side) * d, normal[2] == 1.0};
  ScratchBuffer buf;
  if (const BSrc rc = unweighted_polygon(W, buf); rc) return rc;
  const double *P = buf.as<double>();
  const int32_t k = W.order, n = W.num_poles;
  int32_t idx[20], m = 0;
  if (i == k - 1)
    for (int32_t j = 0; j <= std::max(k - 3, 0); ++j) idx[m++] = j;
  if (i > 1 && (m == 0 || idx[m - 1] != i - 1)) idx[m++] = i - 1;
  idx[m++] = i >= n - 1 ? n - 1 : i;
  for (int32_t j = 0; j < m; ++j)
    if (const BSrc rc = place_pole(W, P, idx[j], s, R); rc) return rc;
  return BSSUCC;
}

BSrc set_interior_pole(int32_t k, const BScurve &W, double d, const double *normal, int32_t side,
                       BScurve &R) {
  if (k == W.num_poles - 1) return kOffsetNotConverged;
  const OffsetSetup s{static_cast<double>(side) * d, normal[2] == 1.0};
  ScratchBuffer buf;
  if (const BSrc rc = unweighted_polygon(W, buf); rc) return rc;
  return place_pole(W, buf.as<double>(), k, s, R);
}

// Tests R at count values u with the true offset points E: E's foot on R near u
// must lie within 0.75 offset_tol of E and within max(tol, 0.75 offset_tol) of
// R(u). Failing values (with their points) move to the front of the arrays, their
// spans of W (consecutive duplicates once) go to fail.
BSrc test_spans(int32_t count, double tol_along, double *values, double *points, const BScurve &W,
                const BScurve &R, int32_t *nfail, int32_t *fail, int32_t *kept, bool *all) {
  const double t1 = 0.75 * tol().offset_tol;
  const double t2 = std::max(tol_along, t1);
  int32_t nf = 0, nk = 0, span = W.order - 1;
  for (int32_t j = 0; j < count; ++j) {
    const double u = values[j];
    const double *e = points + 3 * j;
    double r[3], v = u, foot[3], dist = 0.0;
    if (const BSrc rc = evaluate_curve_at(R, u, 0, r); rc) return rc;
    BSrc rc = BSSUCC;
    BSprptnrcv(&R, u, e, &v, foot, &dist, &rc);
    if (rc == BSNOSOLUTION) {
      rc = BSSUCC;
      BSmdstptcv(&R, e, &v, foot, &dist, &rc);
    }
    if (rc != BSSUCC) return rc;
    if (dist <= t1 && v3::dist(foot, r) <= t2) continue;
    BSfindspn(&rc, &W.order, &W.num_poles, W.knots, &u, &span);
    if (rc != BSSUCC) return rc;
    if (nf == 0 || fail[nf - 1] != span) fail[nf++] = span;
    values[nk] = u;
    double keep[3];
    v3::copy(e, keep);
    v3::copy(keep, points + 3 * nk);
    ++nk;
  }
  *nfail = nf;
  *kept = nk;
  *all = nk == 0;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

// The piece and result records of the span routines: validated, alike in shape.
BSrc check_span_args(const BScurve *W, const BScurve *R, double d, const double *normal,
                     int32_t side) {
  if (normal == nullptr) return BSNULLPTR;
  if (const BSrc rc = validate_curve(W, kCurveFull | kCurveOrder16); rc) return rc;
  if (const BSrc rc = validate_curve(R, kCurveShape); rc) return rc;
  if (R->order != W->order || R->num_poles != W->num_poles ||
      (R->rational != 0) != (W->rational != 0))
    return BSINARG;
  if (!std::isfinite(d) || (side != 1 && side != -1) || std::fabs(normal[2]) != 1.0) return BSINARG;
  return BSSUCC;
}

}  // namespace

extern "C" {

KW_API void BSsetspn(int32_t span, const BScurve *piece, double d, const double *normal,
                     int32_t side, BScurve *result, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_span_args(piece, result, d, normal, side)) != BSSUCC) return;
  if (span < piece->order - 1 || span > piece->num_poles - 1) {
    *rc = BSINARG;
    return;
  }
  *rc = set_span(span, *piece, d, normal, side, *result);
}

KW_API void BSsetq(int32_t index, const BScurve *piece, double d, const double *normal,
                   int32_t side, BScurve *result, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_span_args(piece, result, d, normal, side)) != BSSUCC) return;
  if (index < 1 || index > piece->num_poles - 1) {
    *rc = BSINARG;
    return;
  }
  *rc = set_interior_pole(index, *piece, d, normal, side, *result);
}

KW_API void BStstspn1(int32_t count, double tol, double *values, double *points,
                      const BScurve *piece, const BScurve *result, int32_t *nfail,
                      int32_t *fail_spans, int32_t *kept, BSboolean *all_passed, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (nfail == nullptr || kept == nullptr || all_passed == nullptr ||
      (count > 0 && (values == nullptr || points == nullptr || fail_spans == nullptr))) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(piece, kCurveFull | kCurveOrder16)) != BSSUCC) return;
  if ((*rc = validate_curve(result, kCurveFull | kCurveOrder16)) != BSSUCC) return;
  bool ok = count >= 0 && !(tol < 0.0) && std::isfinite(tol);
  for (int32_t j = 0; ok && j < count; ++j)
    ok = std::isfinite(values[j]) && std::isfinite(points[3 * j]) &&
         std::isfinite(points[3 * j + 1]) && std::isfinite(points[3 * j + 2]);
  if (!ok) {
    *rc = BSINARG;
    return;
  }
  int32_t nf = 0, nk = 0;
  bool all = true;
  *rc = test_spans(count, tol, values, points, *piece, *result, &nf, fail_spans, &nk, &all);
  if (*rc != BSSUCC) return;
  *nfail = nf;
  *kept = nk;
  *all_passed = all ? TRUE : FALSE;
}

}  // extern "C"
