// Offsets of planar curves and lines in space: the plane normal and the side are
// found from a direction point, the curve is carried into a frame whose third axis
// is the normal, offset there by the planar engine, carried back, and its loops
// are cut away on request.
#include <cmath>

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

// Unit plane normal of a planar curve or of a line and a direction point off it.
BSrc find_normal(const BScurve &cv, bool collinear, const double *dirpt, double *n) {
  BSrc rc = BSSUCC;
  if (collinear) {
    double f[3], l[3], a[3], b[3];
    unweighted_pole(cv, 0, f);
    unweighted_pole(cv, cv.num_poles - 1, l);
    v3::sub(f, l, a);
    v3::sub(dirpt, f, b);
    v3::cross(a, b, n);
    BSnorvec(&rc, n);
    return rc;
  }
  BScvnormal(&rc, &cv, n);
  if (rc == BSCOLLIN) rc = BSINARG;  // not in one plane
  return rc;
}

// Side of the curve (+1: right of the tangent about n) on which dirpt lies, from
// the nearest point of the curve to the direction point projected onto the plane.
BSrc find_side(const BScurve &cv, const double *dirpt, const double *n, int32_t *side) {
  double p0[3], e[3], d[3], u = 0.0, foot[3], dist = 0.0, pd[6], m[3];
  unweighted_pole(cv, 0, p0);
  v3::sub(dirpt, p0, d);
  v3::axpy(dirpt, -v3::dot(d, n), n, e);
  BSrc rc = BSSUCC;
  BSmdstptcv(&cv, e, &u, foot, &dist, &rc);
  if (rc != BSSUCC) return rc;
  BScveval(&cv, u, 1, pd, &rc);
  if (rc != BSSUCC) return rc;
  v3::sub(e, pd, d);
  BSnorvec(&rc, pd + 3);
  if (rc == BSSUCC) BSnorvec(&rc, d);
  if (rc != BSSUCC) return rc;
  v3::cross(d, pd + 3, m);
  *side = v3::dot(m, n) > 0.0 ? 1 : -1;
  return BSSUCC;
}

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
    if (const BSrc r2 = find_normal(*work.get(), collinear, dirpt, normal); r2) return r2;
    if (const BSrc r2 = find_side(*work.get(), dirpt, normal, side); r2) return r2;
    BStrans2(normal, TRUE, frame, &rc);
    if (rc != BSSUCC) return rc;
  } else if (!base_ready) {
    return BSINARG;
  }
  // The curve must lie in the plane normal to frame's third axis.
  const double scale = std::fmax(1.0, std::fabs(d));
  if (!(plane_spread(*work.get(), frame + 6) <= tol().dist_tol * scale)) return BSINARG;
  OwnedCurve local, off_local, off;
  if (const BSrc r2 = transform(*work.get(), frame, true, local.addr()); r2) return r2;
  const double up[3] = {0.0, 0.0, 1.0};
  BSrc held = xy_offset(*local.get(), d, corner, up, *side, off_local.addr());
  if (held != BSSUCC && held != kOffsetNotConverged) return held;
  if (const BSrc r2 = transform(*off_local.get(), frame, false, off.addr()); r2) return r2;
  BSboolean degenerate = FALSE;
  BStstcvdegn(off.get(), &degenerate, &rc);
  if (rc != BSSUCC) return rc;
  if ((code == 1 || code == 2) && !degenerate) {
    OwnedCurve res;
    if (const BSrc r2 = remove_loops(*off.get(), code, nloops, loops, res.addr()); r2) return r2;
    off.reset(res.release());
  }
  if (off->num_poles != 2) {
    BSboolean planar = FALSE;
    double n[3];
    BStst_plan(off->num_poles, off->poles, off->rational ? off->weights : nullptr, &planar, n, &rc);
    if (rc != BSSUCC) {
      BSrc r2;
      for (int32_t i = 0; i < *nloops; ++i) BSfreeqelcv((*loops)[i], &r2);
      if (*loops != nullptr) BSdbgfree(*loops);
      *loops = nullptr, *nloops = 0;
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
    bool collinear = false;
    if ((*rc = check_line(*work.get(), &collinear)) != BSSUCC) return;
    if ((*rc = find_normal(*work.get(), collinear, dirpt, n)) != BSSUCC) return;
    if ((*rc = find_side(*work.get(), dirpt, n, &side)) != BSSUCC) return;
    if (d < 0.0) d = -d, side = -side;
  }
  BStrans2(n, TRUE, frame, rc);
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

}  // extern "C"
