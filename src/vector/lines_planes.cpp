// Lines, segments and planes: segments as curve records, the relation of two
// lines and their closest points and intersection, coplanarity of four points,
// the intersection of two planes and the overlap of two segments.
#include <cmath>
#include <utility>

#include "frame/frame.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {
namespace {

constexpr double kMachineTol = 2.220446049250313e-15;  // 10 epsilon
constexpr double kMachineEps = 2.220446049250313e-16;

// Relations of two lines.
constexpr int16_t kSkew = 2, kParallel = 3, kSameLine = 4, kIntersecting = 5;

// Code of four points: 1 point, 2 line, 3 plane, 4 space.
BSrc four_point_code(const double *p1, const double *p2, const double *p3, const double *p4,
                     int32_t *code) {
  double pts[12];
  v3::copy(p1, pts);
  v3::copy(p2, pts + 3);
  v3::copy(p3, pts + 6);
  v3::copy(p4, pts + 9);
  int32_t cls = kClassSpace;
  double dir[3];
  const BSrc rc = classify_points(4, pts, tol().dist_tol, &cls, nullptr, dir);
  if (rc == BSSUCC) *code = class_code(cls);
  return rc;
}

// Relation of the lines a1 a2 and b1 b2. Four points on one line lie in (many)
// planes, so they count as coplanar: two descriptions of one line are the same
// line, not skew.
BSrc line_relation(const double *a1, const double *a2, const double *b1, const double *b2,
                   int16_t *relation) {
  *relation = 0;
  double d1[3], d2[3], w[3];
  v3::sub(a1, a2, d1);
  v3::sub(b1, b2, d2);
  v3::sub(a2, b2, w);
  const double zt = tol().zero_tol;
  if (v3::len_sq(d2) < zt * zt || v3::len_sq(d1) < zt * zt) return BSDEGEN;
  int32_t code = 4;
  const BSrc rc = four_point_code(a1, a2, b1, b2, &code);
  if (rc != BSSUCC) return rc;
  if (code == 4) {
    *relation = kSkew;
    return BSSUCC;
  }
  normalise(d1);
  normalise(d2);
  // When a2 and b2 coincide w stays zero: the lines share that point and the
  // parallel test below reads them as one line, which they then are.
  normalise(w);
  double c1[3], c2[3];
  v3::cross(d1, d2, c1);
  v3::cross(w, d1, c2);
  if (v3::len_sq(c1) > tol().dist_sqtol)
    *relation = kIntersecting;
  else
    *relation = v3::len_sq(c2) <= tol().dist_sqtol ? kSameLine : kParallel;
  return BSSUCC;
}

// Least squares of the 3 x 2 system [c1 c2] x = b (columns c1, c2) by two
// Householder reflections. Status -1 (a column of no length), -5 (the second
// diagonal vanishes).
BSrc solve_3x2(const double *c1, const double *c2, const double *rhs, double *x) {
  double a[3][2], b[3];
  for (int i = 0; i < 3; ++i) a[i][0] = c1[i], a[i][1] = c2[i], b[i] = rhs[i];
  for (int k = 0; k < 2; ++k) {
    double sq = 0.0;
    for (int i = k; i < 3; ++i) sq += a[i][k] * a[i][k];
    const double akk = a[k][k];
    const double sign = (std::fabs(akk) >= kMachineTol && akk >= 0.0) ? -1.0 : 1.0;
    const double sigma = sign * std::sqrt(sq);
    if (std::fabs(sigma) < kMachineTol) return BSFAIL;
    const double h = sq - sigma * akk;
    if (std::fabs(h) > kMachineTol) {
      a[k][k] = akk - sigma;
      for (int j = k + 1; j < 2; ++j) {
        double t = 0.0;
        for (int i = k; i < 3; ++i) t += a[i][k] * a[i][j];
        t /= h;
        for (int i = k; i < 3; ++i) a[i][j] -= t * a[i][k];
      }
      double t = 0.0;
      for (int i = k; i < 3; ++i) t += a[i][k] * b[i];
      t /= h;
      for (int i = k; i < 3; ++i) b[i] -= t * a[i][k];
      a[k][k] = sigma;
    }
  }
  if (std::fabs(a[1][1]) < kMachineEps) return BSDIVZERO;
  x[1] = b[1] / a[1][1];
  x[0] = (b[0] - x[1] * a[0][1]) / a[0][0];
  return BSSUCC;
}

// Closest points q1 on (p1, d1) and q2 on (p2, d2) and their distance.
BSrc closest_points(const double *p1, const double *p2, const double *d1, const double *d2,
                    BSboolean *parallel, double *dist, double *q1, double *q2) {
  double w[3], u1[3], u2[3];
  v3::sub(p2, p1, w);
  const double l1 = v3::len(d1), l2 = v3::len(d2);
  if (l1 < kMachineTol || l2 < kMachineTol) return BSDEGEN;
  v3::scale(d1, 1.0 / l1, u1);
  v3::scale(d2, 1.0 / l2, u2);
  const double c = v3::dot(u1, u2);
  const double s = std::fabs(1.0 - c * c);
  BSrc rc = BSDIVZERO;
  if (s >= kMachineTol) {
    double neg_u2[3], t[2];
    v3::scale(u2, -1.0, neg_u2);
    rc = solve_3x2(u1, neg_u2, w, t);
    if (rc == BSFAIL) return rc;
    if (rc == BSSUCC) {
      *parallel = FALSE;
      v3::axpy(p1, t[0], u1, q1);
      v3::axpy(p2, t[1], u2, q2);
    }
  }
  if (rc == BSDIVZERO) {
    *parallel = TRUE;
    v3::axpy(p1, v3::dot(u1, w) / 2.0, u1, q1);
    v3::axpy(p2, -v3::dot(u2, w) / 2.0, u2, q2);
  }
  *dist = v3::dist(q1, q2);
  return BSSUCC;
}

// Intersection point x of the lines a1 a2 and b1 b2. Statuses 45 (distinct
// parallel lines), 46 (the same line), 43 (the lines pass each other), -6.
BSrc intersect_lines(const double *a1, const double *a2, const double *b1, const double *b2,
                     double *x) {
  double u[3], v[3], q1[3], q2[3], dist = 0.0;
  v3::sub(a2, a1, u);
  v3::sub(b2, b1, v);
  if (!normalise(u) || !normalise(v)) return BSDEGEN;
  BSboolean parallel = FALSE;
  const BSrc rc = closest_points(a1, b1, u, v, &parallel, &dist, q1, q2);
  if (rc != BSSUCC) return rc;
  if (parallel) return dist >= tol().dist_tol ? 45 : 46;
  if (dist >= tol().dist_tol) return 43;
  for (int k = 0; k < 3; ++k) x[k] = 0.5 * (q1[k] + q2[k]);
  return BSSUCC;
}

// Parameter of q on the segment from p to e, by the sum of the coordinates or,
// when that sum vanishes, by the first usable coordinate; false when none is.
bool segment_parameter(const double *q, const double *p, const double *e, double *param) {
  double v[3], d[3];
  v3::sub(q, p, v);
  v3::sub(e, p, d);
  const double zt = tol().zero_tol;
  const double sd = d[0] + d[1] + d[2];
  if (std::fabs(sd) >= zt) {
    *param = (v[0] + v[1] + v[2]) / sd;
    return true;
  }
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(d[i]) > zt) {
      *param = v[i] / d[i];
      return true;
    }
  }
  return false;
}

// Overlap of two segments; see BSlnendpt.
struct OverlapState {
  int32_t count = 0;
  double *points, *pa, *pb;
  BSboolean *touch;
};

// Tests q against the segment p0 p1; on success *found and *t tell whether q
// lies on it (within endpt_tol) and where. The foot goes to the next free place.
BSrc test_point(OverlapState &st, const double *p0, const double *p1, const double *q, bool *found,
                double *t) {
  double d[3], w[3], f[3];
  v3::sub(p1, p0, d);
  const double dd = v3::len_sq(d);
  const double bt = tol().basis_tol;
  if (dd < bt * bt) return BSDEGEN;
  v3::sub(q, p0, w);
  double s = v3::dot(w, d) / dd;
  s = s < 0.0 ? 0.0 : (s > 1.0 ? 1.0 : s);
  v3::axpy(p0, s, d, f);
  v3::copy(f, st.points + 3 * st.count);
  const double e = v3::dist_sq(f, q);
  const double et = tol().endpt_tol;
  *found = e < et * et;
  *t = s;
  if (*found && e < tol().dist_sqtol) *st.touch = TRUE;
  return BSSUCC;
}

void record(OverlapState &st, double a, double b) {
  st.pa[st.count] = a;
  st.pb[st.count] = b;
  if (st.count == 1 && v3::dist_sq(st.points, st.points + 3) < tol().dist_sqtol) return;
  ++st.count;
}

BSrc segment_overlap(const double *a0, const double *a1, const double *b0, const double *b1,
                     OverlapState &st) {
  bool found = false;
  double t = 0.0;
  BSrc rc;
  const double *b_ends[2] = {b0, b1};
  for (int e = 0; e < 2 && st.count < 2; ++e) {
    if ((rc = test_point(st, a0, a1, b_ends[e], &found, &t)) != BSSUCC) return rc;
    if (found) record(st, t, e);
  }
  if (st.count == 2 && st.pa[0] == st.pa[1]) {
    st.count = 1;
    return BSSUCC;
  }
  const double *a_ends[2] = {a0, a1};
  for (int e = 0; e < 2 && st.count < 2; ++e) {
    if ((rc = test_point(st, b0, b1, a_ends[e], &found, &t)) != BSSUCC) return rc;
    if (found) record(st, e, t);
    if (st.count == 2 && (st.pa[0] == st.pa[1] || st.pb[0] == st.pb[1])) {
      st.count = 1;
      return BSSUCC;
    }
  }
  if (st.count == 2 && st.pa[1] < st.pa[0]) {
    double tmp[3];
    v3::copy(st.points, tmp);
    v3::copy(st.points + 3, st.points);
    v3::copy(tmp, st.points + 3);
    std::swap(st.pa[0], st.pa[1]);
    std::swap(st.pb[0], st.pb[1]);
  }
  return BSSUCC;
}

// Intersection line of the planes (p1, m1) and (p2, m2).
void plane_intersection(const double *p1, const double *m1, const double *p2, const double *m2,
                        int32_t *relation, double *point, double *direction) {
  *relation = 5;
  double dir[3];
  v3::cross(m1, m2, dir);
  const double l = v3::len(dir);
  if (l < tol().parallel_tol) {
    *relation = 3;
    double w[3];
    v3::sub(p1, p2, w);
    if (std::fabs(v3::dot(w, m1)) < tol().dist_tol) *relation = 4;
    return;
  }
  const double e1 = v3::dot(m1, p1), e2 = v3::dot(m2, p2);
  const double ax = std::fabs(dir[0]), ay = std::fabs(dir[1]), az = std::fabs(dir[2]);
  const int f = (ax >= ay && ax >= az) ? 0 : (ay >= az ? 1 : 2);
  const int i = (f + 1) % 3, j = (f + 2) % 3;
  // With coordinate f fixed at 1, solve m.x = e for the other two (Cramer); the
  // determinant is the f component of the direction.
  const double r1 = e1 - m1[f], r2 = e2 - m2[f];
  const double det = m1[i] * m2[j] - m1[j] * m2[i];
  point[f] = 1.0;
  point[i] = (r1 * m2[j] - r2 * m1[j]) / det;
  point[j] = (m1[i] * r2 - m2[i] * r1) / det;
  v3::scale(dir, 1.0 / l, direction);
}

// Distance of the lines a (a1, a2) and b (b1, b2), case by case; see BSdistll.
BSrc line_distance(const double *a, const double *b, int32_t *where, double *dist, double *points,
                   double *params, int16_t *relation) {
  *where = -1;
  *dist = 0.0;
  const double *a1 = a, *a2 = a + 3, *b1 = b, *b2 = b + 3;
  BSrc rc = line_relation(a1, a2, b1, b2, relation);
  if (rc != BSSUCC) return rc;
  const double zt = tol().zero_tol;
  double *q1 = points, *q2 = points + 3;
  switch (*relation) {
    case kSkew: {
      double da[3], db[3], w[3];
      v3::sub(a2, a1, da);
      v3::sub(b2, b1, db);
      v3::sub(a2, b2, w);
      const double dadb = v3::dot(da, db), aa = v3::len_sq(da), bb = v3::len_sq(db);
      const double wa = v3::dot(w, da), wb = v3::dot(w, db);
      const double det = dadb * dadb - aa * bb;
      if (std::fabs(det) < zt) break;
      const double s = (bb * wa - wb * dadb) / det;
      const double t = (wa * dadb - aa * wb) / det;
      v3::axpy(a2, s, da, q1);
      v3::axpy(b2, t, db, q2);
      params[0] = s + 1.0;
      params[1] = t + 1.0;
      *dist = v3::dist(q1, q2);
      *where = 0;
      break;
    }
    case kParallel: {
      v3::copy(a2, q1);
      params[0] = 1.0;
      double db[3], w[3];
      v3::sub(b2, b1, db);
      const double bb = v3::len_sq(db);
      if (bb < zt) break;
      v3::sub(a2, b2, w);
      v3::axpy(b2, v3::dot(w, db) / bb, db, q2);
      *dist = v3::dist(q1, q2);
      *where = 1;
      segment_parameter(q2, b1, b2, &params[1]);
      break;
    }
    case kSameLine:
      *where = 2;
      break;
    case kIntersecting: {
      rc = intersect_lines(a1, a2, b1, b2, q1);
      if (rc != BSSUCC) return rc;
      v3::copy(q1, q2);
      *where = 3;
      segment_parameter(q1, a1, a2, &params[0]);
      segment_parameter(q2, b1, b2, &params[1]);
      break;
    }
    default:
      return BSFAIL;
  }
  return BSSUCC;
}

}  // namespace

// Fills the caller's curve record with the segment p0 p1 (order 2, two poles,
// knots 0 0 1 1); kind 17 for distinct points, 18 for coincident ones.
BSrc segment_record(const double *p0, const double *p1, BScurve *curve, int32_t *kind) {
  if (p0 == nullptr || p1 == nullptr || curve == nullptr) return BSNULLPTR;
  curve->order = 2;
  curve->periodic = 0;
  curve->non_uniform = 0;
  curve->rational = 0;
  curve->weights = nullptr;
  curve->num_poles = 2;
  curve->num_knots = 4;
  curve->planar = 0;
  curve->phy_closed = 0;
  curve->num_boundaries = 0;
  curve->bdrys = nullptr;
  if (curve->poles == nullptr || curve->knots == nullptr) return BSNULLPTR;
  const int32_t k = v3::dist_sq(p0, p1) > tol().dist_sqtol ? 17 : 18;
  if (kind != nullptr) *kind = k;
  curve->knots[0] = curve->knots[1] = 0.0;
  curve->knots[2] = curve->knots[3] = 1.0;
  v3::copy(p0, curve->poles);
  v3::copy(p1, curve->poles + 3);
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API BSboolean BSptlngen(BSrc *rc, const double *p0, const double *p1, BScurve *curve,
                                      int32_t *kind) {
  KW_EPILOGUE(rc);
  *rc = segment_record(p0, p1, curve, kind);
  return KW_FINISH(*rc == BSSUCC ? TRUE : FALSE);
}

extern "C" KW_API BSboolean BSlngen(BSrc *rc, const double *p0, const double *p1, BScurve *curve,
                                    int32_t *kind) {
  KW_EPILOGUE(rc);
  int32_t k = 0;
  *rc = segment_record(p0, p1, curve, &k);
  if (*rc != BSSUCC) return KW_FINISH(FALSE);
  if (k == 18) {
    *rc = BSDEGEN;
    return KW_FINISH(FALSE);
  }
  if (kind != nullptr) *kind = k;
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BSpoint3(BSrc *rc, const double *p1, const double *p2, const double *p3,
                                     const double *p4) {
  KW_EPILOGUE(rc);
  int32_t code = 0;
  *rc = four_point_code(p1, p2, p3, p4, &code);
  return KW_FINISH((*rc == BSSUCC && code == 3) ? TRUE : FALSE);
}

extern "C" KW_API int16_t BSrelplnln(BSrc *rc, const double *a1, const double *a2, const double *b1,
                                     const double *b2) {
  KW_EPILOGUE(rc);
  int16_t relation = 0;
  *rc = line_relation(a1, a2, b1, b2, &relation);
  return relation;
}

extern "C" KW_API BSboolean BSlldist(BSrc *rc, const double *p1, const double *p2, const double *d1,
                                     const double *d2, BSboolean *parallel, double *dist,
                                     double *q1, double *q2) {
  KW_EPILOGUE(rc);
  *rc = closest_points(p1, p2, d1, d2, parallel, dist, q1, q2);
  return KW_FINISH(*rc == BSSUCC ? TRUE : FALSE);
}

extern "C" KW_API BSboolean BSxln(BSrc *rc, const double *a1, const double *a2, const double *b1,
                                  const double *b2, double *x) {
  KW_EPILOGUE(rc);
  *rc = intersect_lines(a1, a2, b1, b2, x);
  return KW_FINISH(*rc == BSSUCC ? TRUE : FALSE);
}

extern "C" KW_API void BSpl_pl(const double *p1, const double *m1, const double *p2,
                               const double *m2, int32_t *relation, double *point,
                               double *direction, BSrc *rc) {
  KW_EPILOGUE(rc);
  plane_intersection(p1, m1, p2, m2, relation, point, direction);
}

extern "C" KW_API void BSlnendpt(const double *a0, const double *a1, const double *b0,
                                 const double *b1, int32_t *count, double *points, double *params_a,
                                 double *params_b, BSboolean *touch, BSrc *rc) {
  KW_EPILOGUE(rc);
  *count = 0;
  *touch = FALSE;
  OverlapState st{0, points, params_a, params_b, touch};
  *rc = segment_overlap(a0, a1, b0, b1, st);
  *count = st.count;
}

extern "C" KW_API int16_t BSdistll(BSrc *rc, const double *a, const double *b, int32_t *where,
                                   double *dist, double *points, double *params) {
  KW_EPILOGUE(rc);
  int16_t relation = 0;
  *rc = line_distance(a, b, where, dist, points, params, &relation);
  if (*rc != BSSUCC) return 0;
  return relation == kIntersecting ? TRUE : relation;
}
