// Point sets: the weight check, centroids, and the classification of a set as a
// point, a line, a plane or spanning space, with the tests built on it.
#include <cmath>

#include "frame/frame.hpp"
#include "numeric/numeric.hpp"
#include "vector/vec3.hpp"
#include "vector/vector.hpp"

namespace knotwork {
namespace {

// A weight below a quarter of the mean weight makes dividing by it unreliable.
bool weights_acceptable(int32_t n, const double *w) {
  double sum = 0.0;
  for (int32_t i = 0; i < n; ++i) sum += w[i];
  const double quarter = sum / n / 4.0;
  for (int32_t i = 0; i < n; ++i)
    if (w[i] < quarter) return false;
  return true;
}

}  // namespace

int32_t class_code(int32_t cls) {
  switch (cls) {
    case kClassPoint:
      return 1;
    case kClassLine:
      return 2;
    case kClassPlane:
      return 3;
    default:
      return 4;
  }
}

BSrc classify_points(int32_t n, const double *points, double tol, int32_t *cls, double *centroid,
                     double *direction) {
  double c[3] = {0.0, 0.0, 0.0};
  for (int32_t i = 0; i < n; ++i) v3::add(c, points + 3 * i, c);
  v3::scale(c, 1.0 / n, c);
  ScratchBuffer buf(static_cast<std::size_t>(n) * 3 * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *x = buf.as<double>();  // n x 3, coordinate by coordinate
  for (int32_t i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) x[k * n + i] = points[3 * i + k] - c[k];
  double sv[3], v[9];
  const BSrc rc = singular_values_n_by_3(n, x, sv, v);
  if (rc != BSSUCC) return rc;
  const double root_n = std::sqrt(static_cast<double>(n));
  int small = 0;
  for (double s : sv)
    if (std::fabs(s) / root_n < tol) ++small;
  static constexpr int32_t kByCount[4] = {kClassSpace, kClassPlane, kClassLine, kClassPoint};
  *cls = kByCount[small];
  if (centroid != nullptr) v3::copy(c, centroid);
  if (*cls == kClassLine) {
    v3::copy(v, direction);
    normalise(direction);
  } else if (*cls == kClassPlane) {
    v3::cross(v, v + 3, direction);
    normalise(direction);
  }
  return BSSUCC;
}

BSrc classify_weighted_points(int32_t n, const double *points, const double *weights, int32_t *cls,
                              double *direction) {
  if (n < 1) return BSINARG;
  if (weights == nullptr)
    return classify_points(n, points, tol().dist_tol, cls, nullptr, direction);
  if (!weights_acceptable(n, weights)) return BSBADWEIGHT;
  ScratchBuffer buf(static_cast<std::size_t>(n) * 3 * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *p = buf.as<double>();
  for (int32_t i = 0; i < n; ++i) v3::scale(points + 3 * i, 1.0 / weights[i], p + 3 * i);
  return classify_points(n, p, tol().dist_tol, cls, nullptr, direction);
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API BSboolean BSavgpts(BSrc *rc, int32_t n, const double *points,
                                     const double *weights, double *avg) {
  KW_EPILOGUE(rc);
  if (n < 1) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  if (weights != nullptr && !weights_acceptable(n, weights)) {
    *rc = BSBADWEIGHT;
    return KW_FINISH(FALSE);
  }
  double s[3] = {0.0, 0.0, 0.0};
  for (int32_t i = 0; i < n; ++i) {
    const double w = weights != nullptr ? weights[i] : 1.0;
    v3::axpy(s, 1.0 / w, points + 3 * i, s);
  }
  v3::scale(s, 1.0 / n, avg);
  return KW_FINISH(TRUE);
}

extern "C" KW_API void BSgmprppts3(int32_t n, const double *points, double tolerance, int32_t *cls,
                                   double *centroid, double *direction, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (n < 1) {
    *rc = BSINARG;
    return;
  }
  *rc = classify_points(n, points, tolerance, cls, centroid, direction);
}

extern "C" KW_API void BScollinmn2(int32_t n, const double *points, const double *weights,
                                   BSboolean *collinear, BSrc *rc) {
  KW_EPILOGUE(rc);
  int32_t cls = kClassSpace;
  double dir[3] = {0.0, 0.0, 0.0};
  *rc = classify_weighted_points(n, points, weights, &cls, dir);
  if (*rc != BSSUCC) return;
  *collinear = (cls == kClassPoint || cls == kClassLine) ? TRUE : FALSE;
}

extern "C" KW_API BSboolean BScollin(BSrc *rc, const double *p0, const double *p1,
                                     const double *p2) {
  KW_EPILOGUE(rc);
  double pts[9];
  v3::copy(p0, pts);
  v3::copy(p1, pts + 3);
  v3::copy(p2, pts + 6);
  int32_t cls = kClassSpace;
  double dir[3] = {0.0, 0.0, 0.0};
  *rc = classify_weighted_points(3, pts, nullptr, &cls, dir);
  return KW_FINISH((*rc == BSSUCC && (cls == kClassPoint || cls == kClassLine)) ? TRUE : FALSE);
}

extern "C" KW_API BSboolean BScollinmny(BSrc *rc, const int32_t *n, const double *points) {
  KW_EPILOGUE(rc);
  int32_t cls = kClassSpace;
  double dir[3] = {0.0, 0.0, 0.0};
  *rc = classify_weighted_points(*n, points, nullptr, &cls, dir);
  return KW_FINISH((*rc == BSSUCC && (cls == kClassPoint || cls == kClassLine)) ? TRUE : FALSE);
}

namespace {

// Class code (1 point, 2 line, 3 plane, 4 space) and normal of weighted points.
BSrc classify_to_code(int32_t n, const double *points, const double *weights, int32_t *code,
                      double *normal) {
  int32_t cls = kClassSpace;
  double dir[3] = {0.0, 0.0, 0.0};
  const BSrc rc = classify_weighted_points(n, points, weights, &cls, dir);
  if (rc != BSSUCC) return rc;
  *code = class_code(cls);
  v3::copy(dir, normal);
  return BSSUCC;
}

}  // namespace

extern "C" KW_API void BSptlnplan(int32_t n, int32_t ignored, const double *points,
                                  const double *weights, int32_t *code, double *normal, BSrc *rc) {
  KW_EPILOGUE(rc);
  (void)ignored;
  *rc = classify_to_code(n, points, weights, code, normal);
}

extern "C" KW_API void BSplanar2(int32_t n, const double *points, const double *weights,
                                 int32_t *code, double *normal, BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = classify_to_code(n, points, weights, code, normal);
}

extern "C" KW_API void BStst_plan(int32_t n, const double *points, const double *weights,
                                  BSboolean *planar, double *normal, BSrc *rc) {
  KW_EPILOGUE(rc);
  int32_t cls = kClassSpace;
  double dir[3] = {0.0, 0.0, 0.0};
  *rc = classify_weighted_points(n, points, weights, &cls, dir);
  if (*rc != BSSUCC) return;
  *planar = cls == kClassPlane ? TRUE : FALSE;
  v3::copy(dir, normal);
}
