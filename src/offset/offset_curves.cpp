// Offsets of planar curves and lines in space: the plane normal and the side are
// found from a direction point, the curve is carried into a frame whose third axis
// is the normal, offset there by the planar engine, carried back, and its loops
// are cut away on request.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "offset/offset.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {

namespace {

// Closedness of the first and last poles against dist_sqtol, and collinearity.
BSrc check_line(BScurve &cv, bool *collinear) {
  double f[3], l[3];
  unweighted_pole(cv, 0, f);
  unweighted_pole(cv, cv.num_poles - 1, l);
  cv.phy_closed = v3::dist_sq(f, l) < tol().dist_sqtol ? 1 : 0;
  BSboolean c = FALSE;
  BSrc rc = BSSUCC;
  BScollinmn2(cv.num_poles, cv.poles, cv.rational ? cv.weights : nullptr, &c, &rc);
  if (rc == BSBADWEIGHT) {
    // Weights too uneven for the weighted test: the unweighted poles decide.
    ScratchBuffer buf(static_cast<std::size_t>(cv.num_poles) * 3 * sizeof(double));
    if (!buf.ok()) return BSNOSTKMEMORY;
    double *p = buf.as<double>();
    for (int32_t i = 0; i < cv.num_poles; ++i) unweighted_pole(cv, i, p + 3 * i);
    rc = BSSUCC;
    BScollinmn2(cv.num_poles, p, nullptr, &c, &rc);
  }
  *collinear = c != 0;
  return rc;
}

// Largest distance of the unweighted poles from the plane through pole 0 with unit normal n.
double plane_spread(const BScurve &cv, const double *n) {
  double p0[3], p[3], d[3], worst = 0.0;
  unweighted_pole(cv, 0, p0);
  for (int32_t i = 1; i < cv.num_poles; ++i) {
    unweighted_pole(cv, i, p);
    v3::sub(p, p0, d);
    worst = std::fmax(worst, std::fabs(v3::dot(d, n)));
  }
  return worst;
}

// Unit tangent of cv at u (-6 at a stationary point).
BSrc unit_tangent(const BScurve &cv, double u, double *p, double *t) {
  double pd[6];
  BSrc rc = BSSUCC;
  BScveval(&cv, u, 1, pd, &rc);
  if (rc != BSSUCC) return rc;
  v3::copy(pd, p);
  v3::copy(pd + 3, t);
  BSnorvec(&rc, t);
  return rc;
}

// At the seam of a closed curve the nearest point has two tangents: the one more
// nearly perpendicular to the direction (|t . dir| smaller) decides the side.
BSrc seam_tangent(const BScurve &cv, double u, const double *e, bool move_point, double *p,
                  double *t, double *dir) {
  const double lo = cv.knots[cv.order - 1], hi = cv.knots[cv.num_poles];
  const double c = std::fabs(v3::dot(t, dir));
  if (!cv.phy_closed || (u != lo && u != hi) || !(c > tol().orient_tol)) return BSSUCC;
  double p2[3], t2[3], d2[3];
  if (const BSrc rc = unit_tangent(cv, u == lo ? hi : lo, p2, t2); rc) return rc;
  v3::copy(dir, d2);
  if (move_point) {
    v3::sub(e, p2, d2);
    BSrc rc = BSSUCC;
    BSnorvec(&rc, d2);
    if (rc != BSSUCC) return rc;
  }
  if (std::fabs(v3::dot(t2, d2)) < c) {
    v3::copy(t2, t);
    v3::copy(d2, dir);
    if (move_point) v3::copy(p2, p);
  }
  return BSSUCC;
}

}  // namespace

BSrc offset_normal(const BScurve &cv, const double *dirpt, bool given, const double *given_normal,
                   BSboolean *orient, BScurve **base, double *normal) {
  OwnedCurve w;
  if (const BSrc rc = copy_curve(cv, 0, w.addr()); rc) return rc;
  bool collinear = false;
  if (const BSrc rc = check_line(*w.get(), &collinear); rc) return rc;
  BSrc rc = BSSUCC;
  double n[3] = {0.0, 0.0, 0.0};
  if (!collinear) {
    // The working curve is the curve projected onto its own plane through the
    // mean of its poles.
    double avg[3];
    BScvnormal(&rc, w.get(), n);
    if (rc == BSCOLLIN) return BSINARG;  // not in one plane
    if (rc == BSSUCC)
      BSavgpts(&rc, cv.num_poles, cv.poles, cv.rational ? cv.weights : nullptr, avg);
    if (rc == BSSUCC) BSprj_cv_pl(&rc, w.get(), avg, n, n, w.get());
    if (rc != BSSUCC) return rc;
  }
  w->planar = collinear ? 0 : 1;
  double out[3];
  if (given) {
    v3::scale(given_normal, *orient ? 1.0 : -1.0, out);
    BSnorvec(&rc, out);
    if (rc != BSSUCC) return rc;
  } else {
    double u = 0.0, foot[3], dist = 0.0, p[3], t[3];
    BSmdstptcv(w.get(), dirpt, &u, foot, &dist, &rc);
    if (rc != BSSUCC) return rc;
    if (collinear) {
      double f[3], l[3], a[3], b[3];
      unweighted_pole(*w.get(), 0, f);
      unweighted_pole(*w.get(), w->num_poles - 1, l);
      v3::sub(f, l, a);
      v3::sub(dirpt, f, b);
      v3::cross(a, b, out);
    } else {
      if ((rc = unit_tangent(*w.get(), u, p, t)) != BSSUCC) return rc;
      double e[3], dir[3];
      v3::sub(dirpt, p, dir);
      v3::axpy(dirpt, -v3::dot(dir, n), n, e);
      v3::sub(e, p, dir);
      BSnorvec(&rc, dir);
      if (rc != BSSUCC) return rc;
      if ((rc = seam_tangent(*w.get(), u, e, false, p, t, dir)) != BSSUCC) return rc;
      v3::cross(dir, t, out);
    }
    BSnorvec(&rc, out);
    if (rc != BSSUCC) return rc;
    *orient = TRUE;
  }
  v3::copy(out, normal);
  *base = w.release();
  return BSSUCC;
}

BSrc offset_side(const BScurve &cv, const double *dirpt, const double *normal, int32_t *side,
                 double *frame) {
  double n[3], avg[3], e[3], dir[3], u = 0.0, foot[3], dist = 0.0, p[3], t[3], m[3], f[9];
  v3::copy(normal, n);
  BSrc rc = BSSUCC;
  BSnorvec(&rc, n);
  if (rc == BSSUCC) BSavgpts(&rc, cv.num_poles, cv.poles, cv.rational ? cv.weights : nullptr, avg);
  if (rc != BSSUCC) return rc;
  OwnedCurve c;
  if ((rc = copy_curve(cv, 0, c.addr())) != BSSUCC) return rc;
  BSprj_cv_pl(&rc, &cv, avg, n, n, c.get());
  if (rc != BSSUCC) return rc;
  v3::sub(dirpt, avg, dir);
  v3::axpy(dirpt, -v3::dot(dir, n), n, e);
  BSmdstptcv(c.get(), e, &u, foot, &dist, &rc);
  if (rc != BSSUCC) return rc;
  if ((rc = unit_tangent(*c.get(), u, p, t)) != BSSUCC) return rc;
  v3::sub(e, p, dir);
  BSnorvec(&rc, dir);
  if (rc != BSSUCC) return rc;
  c->phy_closed = cv.phy_closed;
  if ((rc = seam_tangent(*c.get(), u, e, true, p, t, dir)) != BSSUCC) return rc;
  v3::cross(dir, t, m);
  BSnorvec(&rc, m);
  if (rc == BSSUCC) BStrans2(n, TRUE, f, &rc);
  if (rc != BSSUCC) return rc;
  *side = v3::dot(m, n) > 0.0 ? 1 : -1;
  for (int i = 0; i < 9; ++i) frame[i] = f[i];
  return BSSUCC;
}

namespace {

// Copy of cv with its poles carried into (forward) or out of the frame.
BSrc transform(const BScurve &cv, const double *frame, bool forward, BScurve **out) {
  if (const BSrc rc = copy_curve(cv, 0, out); rc) return rc;
  const double origin[3] = {0.0, 0.0, 0.0};
  BSrc rc = BSSUCC;
  if (forward)
    BSptsoldtnw(origin, frame, 1.0, cv.num_poles, cv.rational, cv.poles, cv.weights, (*out)->poles,
                &rc);
  else
    BSptsnwtold(origin, frame, 1.0, cv.num_poles, cv.rational, cv.poles, cv.weights, (*out)->poles,
                &rc);
  if (rc != BSSUCC) {
    BSrc r2;
    BSfreeqelcv(*out, &r2);
    *out = nullptr;
  }
  return rc;
}

}  // namespace

BSrc remove_loops(const BScurve &offset, int16_t code, int32_t *nloops, BScurve ***loops,
                  BScurve **result);

namespace {

void free_loops(int32_t *nloops, BScurve ***loops) {
  BSrc rc;
  for (int32_t i = 0; i < *nloops; ++i) BSfreeqelcv((*loops)[i], &rc);
  if (*loops != nullptr) BSdbgfree(*loops);
  *loops = nullptr, *nloops = 0;
}

// *close: a straight connector of the engine (frame coordinates) is still part of
// the result after loop removal where it comes closer to the base than |d|.
BSrc gap_left(const CornerGaps &gaps, const double *frame, const BScurve &base,
              const BScurve &result, double d, bool *close) {
  *close = false;
  const double near = std::fabs(d) - tol().offset_tol;
  for (int32_t g = 0; g < gaps.count && !*close; ++g) {
    const double *a = gaps.ends + 6 * g, *b = a + 3;
    for (int j = 1; j < 10 && !*close; j += 2) {
      double x[3], w[3] = {0.0, 0.0, 0.0}, u = 0.0, foot[3], dist = 0.0;
      for (int k = 0; k < 3; ++k) x[k] = a[k] + 0.1 * j * (b[k] - a[k]);
      for (int k = 0; k < 3; ++k) v3::axpy(w, x[k], frame + 3 * k, w);
      BSrc rc = BSSUCC;
      BSmdstptcv(&base, w, &u, foot, &dist, &rc);
      if (rc != BSSUCC) return rc;
      if (dist >= near) continue;
      BSmdstptcv(&result, w, &u, foot, &dist, &rc);
      if (rc != BSSUCC) return rc;
      *close = dist <= tol().offset_tol;
    }
  }
  return BSSUCC;
}

// The offset of a closed curve re-started where its start lies inside a loop (its
// start tangent against the base's, or the segment from the base start to the
// offset start crossing the offset elsewhere): at the mean of the two smallest
// self-intersection parameters, so that no loop runs through the seam.
BSrc closed_start(const BScurve &base, const BScurve &off, BScurve **out) {
  const double lo = off.knots[off.order - 1], hi = off.knots[off.num_poles];
  double p[3], t[3], q[3], s[3];
  if (const BSrc rc = unit_tangent(base, base.knots[base.order - 1], p, t); rc) return rc;
  if (const BSrc rc = unit_tangent(off, lo, q, s); rc) return rc;
  bool restart = v3::dot(t, s) < 0.0;
  if (!restart) {
    OwnedCurve seg;
    if (const BSrc rc = new_curve(2, 2, false, seg.addr()); rc) return rc;
    if (!(v3::dist_sq(p, q) > 0.0)) return BSDEGEN;
    v3::copy(p, seg->poles);
    v3::copy(q, seg->poles + 3);
    const double kts[4] = {0.0, 0.0, 1.0, 1.0};
    std::copy(kts, kts + 4, seg->knots);
    int32_t ni = 0, no = 0;
    BSboolean ia = FALSE, oa = FALSE;
    double *ap = nullptr, *ap1 = nullptr, *ap2 = nullptr, *op = nullptr, *op1 = nullptr,
           *op2 = nullptr;
    BSrc rc = BSSUCC;
    BScvcvint(seg.get(), &off, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ni,
              &no, &ia, &oa, &ap, &ap1, &ap2, &op, &op1, &op2, &rc);
    const auto at_ends = [&](int32_t i, int32_t j) {
      return (ap2[i] == lo && ap2[j] == hi) || (ap2[i] == hi && ap2[j] == lo);
    };
    if (rc == BSSUCC && ni == 2)
      restart = !(v3::dist(ap, ap + 3) <= tol().dist_tol) && !at_ends(0, 1);
    else if (rc == BSSUCC && ni == 3)
      restart = v3::dist(ap + 3, ap + 6) <= tol().dist_tol || !at_ends(1, 2);
    for (double *a : {ap, ap1, ap2, op, op1, op2})
      if (a != nullptr) BSdbgfree(a);
    if (rc != BSSUCC) return rc;
  }
  int32_t m = 0;
  double *pairs = nullptr;
  if (restart)
    if (const BSrc rc = self_intersections(off, &m, &pairs); rc) return rc;
  if (m == 0) return copy_curve(off, 0, out);  // nothing to re-start at
  // The two smallest of the 2m parameters.
  double a = INFINITY, b = INFINITY;
  for (int32_t i = 0; i < 2 * m; ++i) {
    const double v = pairs[i];
    if (v < a)
      b = a, a = v;
    else if (v < b)
      b = v;
  }
  BSdbgfree(pairs);
  return restart_closed(off, 0.5 * (a + b), out);
}

}  // namespace

// The common path of the offset entries.
BSrc offset_3d(const BScurve &cv, double d, bool corner, int16_t code, bool want_normal,
               const double *dirpt, double *normal, bool base_ready, int32_t *side, double *frame,
               BScurve **result, int32_t *nloops, BScurve ***loops) {
  *nloops = 0;
  OwnedCurve work;
  if (const BSrc rc = copy_curve(cv, 0, work.addr()); rc) return rc;
  BSrc rc = BSSUCC;
  BScnvtomkt(&rc, work.get());
  if (rc != BSSUCC) return rc;
  bool collinear = false;
  if (const BSrc r2 = check_line(*work.get(), &collinear); r2) return r2;
  if (want_normal && !base_ready) {
    BSboolean orient = TRUE;
    OwnedCurve base;
    if (const BSrc r2 =
            offset_normal(*work.get(), dirpt, false, nullptr, &orient, base.addr(), normal);
        r2)
      return r2;
    if (const BSrc r2 = offset_side(*base.get(), dirpt, normal, side, frame); r2) return r2;
    work.reset(base.release());
  } else if (!base_ready) {
    return BSINARG;
  }
  // The curve must lie in the plane normal to frame's third axis.
  const double scale = std::fmax(1.0, std::fabs(d));
  if (!(plane_spread(*work.get(), frame + 6) <= tol().dist_tol * scale)) return BSINARG;
  OwnedCurve local, off_local, off;
  if (const BSrc r2 = transform(*work.get(), frame, true, local.addr()); r2) return r2;
  const double up[3] = {0.0, 0.0, 1.0};
  ScratchBuffer gap_buf(static_cast<std::size_t>(work->num_poles + 1) * 6 * sizeof(double));
  if (!gap_buf.ok()) return BSNOSTKMEMORY;
  CornerGaps gaps{gap_buf.as<double>(), work->num_poles + 1, 0};
  BSrc held = xy_offset(*local.get(), d, corner, up, *side, off_local.addr(), &gaps);
  if (held != BSSUCC && held != kOffsetNotConverged) return held;
  if (const BSrc r2 = transform(*off_local.get(), frame, false, off.addr()); r2) return r2;
  BSboolean degenerate = FALSE;
  BStstcvdegn(off.get(), &degenerate, &rc);
  if (rc != BSSUCC) return rc;
  if ((code == 1 || code == 2) && !degenerate) {
    if (work->phy_closed && std::fabs(d) > tol().dist_tol) {
      OwnedCurve started;
      if (const BSrc r2 = closed_start(*work.get(), *off.get(), started.addr()); r2) return r2;
      off.reset(started.release());
    }
    OwnedCurve res;
    if (const BSrc r2 = remove_loops(*off.get(), code, nloops, loops, res.addr()); r2) return r2;
    off.reset(res.release());
    bool close = false;
    rc = gap_left(gaps, frame, *work.get(), *off.get(), d, &close);
    if (rc != BSSUCC || close) {
      free_loops(nloops, loops);
      return rc != BSSUCC ? rc : BSFAIL;
    }
  }
  if (off->num_poles != 2) {
    BSboolean planar = FALSE;
    double n[3];
    BStst_plan(off->num_poles, off->poles, off->rational ? off->weights : nullptr, &planar, n, &rc);
    if (rc != BSSUCC) {
      free_loops(nloops, loops);
      return rc;
    }
    off->planar = planar;
  } else {
    off->planar = 0;
  }
  *result = off.release();
  return held;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

BSrc check_offset_curve(const BScurve *cv) {
  return validate_curve(cv, kCurveFull | kCurveOrder16);
}

bool finite3(const double *v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

extern "C" {

KW_API BSboolean BScvoffset(BSrc *rc, const BScurve *curve, const double *d, const double *dirpt,
                            const int32_t *corner, const int16_t *code, BScurve **result,
                            int32_t *nloops, BScurve ***loops) {
  KW_EPILOGUE(rc);
  if (d == nullptr || dirpt == nullptr || corner == nullptr || code == nullptr ||
      result == nullptr || nloops == nullptr || loops == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = check_offset_curve(curve)) != BSSUCC) return KW_FINISH(FALSE);
  if (!std::isfinite(*d) || !std::isfinite(dirpt[0]) || !std::isfinite(dirpt[1]) ||
      !std::isfinite(dirpt[2])) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  double normal[3], frame[9];
  int32_t side = 1, count = 0;
  BScurve *res = nullptr, **list = nullptr;
  *rc = offset_3d(*curve, *d, *corner == 1, *code, true, dirpt, normal, false, &side, frame, &res,
                  &count, &list);
  if (*rc != BSSUCC && *rc != kOffsetNotConverged) return KW_FINISH(FALSE);
  *result = res;
  *nloops = count;
  *loops = list;
  return KW_FINISH(TRUE);
}

KW_API void BScvoffsetd(const BScurve *curve, double d, const double *dirpt, BSboolean normal_given,
                        int32_t corner, int16_t code, BSboolean *side_flag, double *normal,
                        BScurve **result, int32_t *nloops, BScurve ***loops, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (dirpt == nullptr || side_flag == nullptr || normal == nullptr || result == nullptr ||
      nloops == nullptr || loops == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_offset_curve(curve)) != BSSUCC) return;
  if (!std::isfinite(d) || !std::isfinite(dirpt[0]) || !std::isfinite(dirpt[1]) ||
      !std::isfinite(dirpt[2])) {
    *rc = BSINARG;
    return;
  }
  OwnedCurve work;
  if ((*rc = copy_curve(*curve, 0, work.addr())) != BSSUCC) return;
  BScnvtomkt(rc, work.get());
  if (*rc != BSSUCC) return;
  double n[3], frame[9];
  int32_t side = 1;
  if (normal_given) {
    v3::copy(normal, n);
    BSnorvec(rc, n);
    if (*rc != BSSUCC) return;
    side = *side_flag ? 1 : -1;
  } else {
    BSboolean orient = TRUE;
    OwnedCurve base;
    if ((*rc = offset_normal(*work.get(), dirpt, false, nullptr, &orient, base.addr(), n)) !=
        BSSUCC)
      return;
    if ((*rc = offset_side(*base.get(), dirpt, n, &side, frame)) != BSSUCC) return;
    work.reset(base.release());
    if (d < 0.0) d = -d, side = -side;
  }
  if (normal_given) BStrans2(n, TRUE, frame, rc);
  if (*rc != BSSUCC) return;
  int32_t count = 0;
  BScurve *res = nullptr, **list = nullptr;
  *rc = offset_3d(*work.get(), d, corner == 1, code, false, dirpt, n, true, &side, frame, &res,
                  &count, &list);
  if (*rc != BSSUCC && *rc != kOffsetNotConverged) return;
  *result = res;
  *nloops = count;
  *loops = list;
  if (!normal_given) {
    *side_flag = side == 1 ? TRUE : FALSE;
    v3::copy(n, normal);
  }
}

KW_API void BScvoff3d(const BScurve *curve, double d, BSboolean corner, int16_t code,
                      BSboolean find_normal, const double *dirpt, double *normal,
                      BSboolean base_ready, int32_t *side, double *frame, BScurve **result,
                      int32_t *nloops, BScurve ***loops, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (dirpt == nullptr || normal == nullptr || side == nullptr || frame == nullptr ||
      result == nullptr || nloops == nullptr || loops == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_offset_curve(curve)) != BSSUCC) return;
  if (!std::isfinite(d) || (base_ready && *side != 1 && *side != -1)) {
    *rc = BSINARG;
    return;
  }
  int32_t count = 0, s = base_ready ? *side : 1;
  double n[3], f[9];
  v3::copy(normal, n);
  for (int i = 0; i < 9; ++i) f[i] = frame[i];
  BScurve *res = nullptr, **list = nullptr;
  *rc = offset_3d(*curve, d, corner != 0, code, find_normal != 0, dirpt, n, base_ready != 0, &s, f,
                  &res, &count, &list);
  if (*rc != BSSUCC && *rc != kOffsetNotConverged) return;
  *result = res;
  *nloops = count;
  *loops = list;
  *side = s;
  v3::copy(n, normal);
  for (int i = 0; i < 9; ++i) frame[i] = f[i];
}

KW_API void BSofchkln(BScurve *curve, BSboolean *collinear, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (collinear == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_offset_curve(curve)) != BSSUCC) return;
  bool c = false;
  *rc = check_line(*curve, &c);
  if (*rc == BSSUCC) *collinear = c ? TRUE : FALSE;
}

KW_API void BSofrparcv(BScurve *curve, double a, double b, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (curve == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (validate_curve(curve, kCurveFull) != BSSUCC || !(b >= a) || !std::isfinite(a) ||
      !std::isfinite(b)) {
    *rc = BSFAIL;
    return;
  }
  if (b == a) {
    *rc = BSFAIL;
    return;
  }
  BSrc inner = BSSUCC;
  BSreparmcv(curve, a, b, curve, &inner);
  if (inner != BSSUCC) *rc = BSFAIL;
}

KW_API void BSxycvoff(const BScurve *curve, double d, BSboolean corner, const double *normal,
                      int32_t side, BScurve **result, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (normal == nullptr || result == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_offset_curve(curve)) != BSSUCC) return;
  if (!std::isfinite(d) || (side != 1 && side != -1) || std::fabs(normal[2]) != 1.0) {
    *rc = BSINARG;
    return;
  }
  BScurve *res = nullptr;
  *rc = xy_offset(*curve, d, corner != 0, normal, side, &res);
  if (res != nullptr) *result = res;
}

KW_API void BSspnoffset(const BScurve *piece, double d, const double *normal, int32_t side,
                        BScurve **result, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (normal == nullptr || result == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_offset_curve(piece)) != BSSUCC) return;
  if (!std::isfinite(d) || (side != 1 && side != -1) || std::fabs(normal[2]) != 1.0) {
    *rc = BSINARG;
    return;
  }
  BScurve *res = nullptr;
  *rc = piece_offset(*piece, d, normal, side, &res);
  if (res != nullptr) *result = res;
}

KW_API BSboolean BScvoton(BSrc *rc, const double *origin, const double *frame, const double *scale,
                          const BScurve *in, BScurve *out) {
  KW_EPILOGUE(rc);
  if (origin == nullptr || frame == nullptr || scale == nullptr || in == nullptr ||
      out == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!BScv_copy(rc, in, out)) return KW_FINISH(FALSE);
  BSptsoldtnw(origin, frame, *scale, in->num_poles, in->rational, in->poles, in->weights,
              out->poles, rc);
  return KW_FINISH(TRUE);
}

KW_API BSboolean BScvntoo(BSrc *rc, const double *origin, const double *frame, const double *scale,
                          const BScurve *in, BScurve *out) {
  KW_EPILOGUE(rc);
  if (origin == nullptr || frame == nullptr || scale == nullptr || in == nullptr ||
      out == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if (!BScv_copy(rc, in, out)) return KW_FINISH(FALSE);
  BSptsnwtold(origin, frame, *scale, in->num_poles, in->rational, in->poles, in->weights,
              out->poles, rc);
  return KW_FINISH(TRUE);
}

KW_API void BSofrmlp3(const BScurve *offset, int16_t code, int32_t *nloops, BScurve ***loops,
                      BScurve **result, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (nloops == nullptr || loops == nullptr || result == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_offset_curve(offset)) != BSSUCC) return;
  int32_t count = 0;
  BScurve **list = nullptr, *res = nullptr;
  *rc = remove_loops(*offset, code, &count, &list, &res);
  if (*rc != BSSUCC) return;
  *result = res;
  *nloops = count;
  *loops = list;
}

KW_API void BSofnorm(const BScurve *curve, const double *dirpt, BSboolean normal_given,
                     const double *given_normal, BSboolean *orient, BScurve **base, double *normal,
                     BSrc *rc) {
  KW_EPILOGUE(rc);
  if (dirpt == nullptr || orient == nullptr || base == nullptr || normal == nullptr ||
      (normal_given && given_normal == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_offset_curve(curve)) != BSSUCC) return;
  if (!finite3(dirpt) || (normal_given && !finite3(given_normal))) {
    *rc = BSINARG;
    return;
  }
  BSboolean o = *orient;
  BScurve *w = nullptr;
  double n[3];
  *rc = offset_normal(*curve, dirpt, normal_given != 0, given_normal, &o, &w, n);
  if (*rc != BSSUCC) return;
  *base = w;
  *orient = o;
  v3::copy(n, normal);
}

KW_API void BSfndoffdir(const BScurve *curve, const double *dirpt, const double *normal,
                        int32_t *side, double *frame, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (dirpt == nullptr || normal == nullptr || side == nullptr || frame == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = check_offset_curve(curve)) != BSSUCC) return;
  if (!finite3(dirpt) || !finite3(normal)) {
    *rc = BSINARG;
    return;
  }
  *rc = offset_side(*curve, dirpt, normal, side, frame);
}

}  // extern "C"
