// Tangent continuity at the C0 knots of a curve and at the closing point of a
// closed curve: the tangent-break test at one pole, the list of all tangent
// breaks, and the continuity grade (position, direction, first derivative) of
// every C0 knot.
#include <cmath>

#include "analysis/continuity.hpp"

#include "bspline/knots.hpp"
#include "frame/frame.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {
namespace {

// Angle from a to b about their cross product, in [0, pi].
double angle_between(const double *a, const double *b) {
  double c[3], angle = 0.0;
  BSrc rc;
  v3::cross(a, b, c);
  BSang2vec(a, b, c, &angle, &rc);
  return angle;
}

// Pole i of the curve, divided by its weight when rational.
void geometric_pole(const BScurve &cv, int32_t i, double *out) {
  const double *p = cv.poles + 3 * i;
  if (cv.rational) {
    v3::scale(p, 1.0 / cv.weights[i], out);
  } else {
    v3::copy(p, out);
  }
}

}  // namespace

// True when the direction of the control polygon turns at pole j: the legs from
// the nearest distinct pole before j and to the nearest distinct pole after j
// (poles within sqrt(tol_sq) of pole j are skipped) are not parallel and alike.
// Validated: 0 <= j < n, and j at an end only on a closed curve.
bool polygon_turns_at(const BScurve &cv, int32_t j) {
  const int32_t n = cv.num_poles;
  const double tol_sq = 0.1 * tol().dist_sqtol;
  double c[3], a[3], b[3];
  geometric_pole(cv, j, c);
  // incoming neighbour; on a closed curve the last pole repeats the first
  int32_t i = j == 0 ? n - 2 : j - 1;
  geometric_pole(cv, i, a);
  while (v3::dist_sq(a, c) <= tol_sq && i > 0) geometric_pole(cv, --i, a);
  i = j == n - 1 ? 1 : j + 1;
  geometric_pole(cv, i, b);
  while (v3::dist_sq(b, c) <= tol_sq && i < n - 1) geometric_pole(cv, ++i, b);
  double u[3], w[3];
  v3::sub(c, a, u);
  v3::sub(b, c, w);
  const double phi = angle_between(u, w);
  if (phi > 1e-10) return true;
  return v3::dot(u, w) < 0.0;
}

namespace {

// 0 for a usable record, else the status to report.
// Grade of a joint between the one-sided first derivatives dl and dr.
int32_t joint_grade(const double *dl, const double *dr, double angle_tol, double dist) {
  if (!(angle_between(dl, dr) < angle_tol)) return 0;
  return std::fabs(v3::len(dl) - v3::len(dr)) < dist ? 2 : 1;
}

}  // namespace

// Parameters of all tangent breaks: the closing point of a closed, non-periodic
// curve first, then the C0 knots in increasing order.
namespace {

// The C0 knots of a curve (interior knots of multiplicity k - 1 or more at a
// tolerance) with their pole counts, in scratch memory.
struct C0Knots {
  int32_t count = 0;
  double *values = nullptr;
  int32_t *pole_counts = nullptr;

  bool find(const BScurve &cv, double tolerance) {
    const int32_t k = cv.order, n = cv.num_poles;
    const std::size_t entries = static_cast<std::size_t>(n) + k;
    if (!buf.acquire(entries * (sizeof(double) + sizeof(int32_t)))) return false;
    values = buf.as<double>();
    pole_counts = reinterpret_cast<int32_t *>(values + entries);
    count = c0_knots(k, n, cv.knots, tolerance, values, pole_counts);
    return true;
  }

 private:
  BasicScratchBuffer<100 * (sizeof(double) + sizeof(int32_t)) + 8> buf;
};

}  // namespace

BSrc find_tangent_breaks(const BScurve &cv, int32_t *count, double *params) {
  *count = 0;
  const int32_t k = cv.order, n = cv.num_poles;
  if (cv.phy_closed && !cv.periodic && polygon_turns_at(cv, 0))
    params[(*count)++] = cv.knots[k - 1];
  if (n <= k) return BSSUCC;
  const double *weights = cv.rational ? cv.weights : nullptr;
  C0Knots c0;
  if (!c0.find(cv, curve_knot_tolerance(k, cv.knots, n, cv.poles, weights))) return BSNOSTKMEMORY;
  for (int32_t i = 0; i < c0.count; ++i) {
    if (polygon_turns_at(cv, c0.pole_counts[i] - 1))
      params[(*count)++] = cv.knots[c0.pole_counts[i]];
  }
  return BSSUCC;
}

// Continuity grades of the C0 knots (found at the tolerance dist) and, for a closed
// curve, of the closing point; see BSfinddcont.
BSrc grade_c0_knots(const BScurve &cv, double dist, int32_t *count, double *params,
                    int32_t *grades) {
  *count = 0;
  const int32_t k = cv.order, n = cv.num_poles;
  BSrc rc = BSSUCC;
  double length = 0.0;
  const double *weights = cv.rational ? cv.weights : nullptr;
  BScumdist(&rc, &n, cv.poles, weights, &length);
  if (rc != BSSUCC) return rc;
  const double angle_tol = dist / length;
  C0Knots c0_list;
  if (n > k && !c0_list.find(cv, dist)) return BSNOSTKMEMORY;
  const int32_t c0 = c0_list.count;
  const double *values = c0_list.values;
  for (int32_t i = 0; i < c0; ++i) params[i] = values[i];
  const int32_t d = 1;
  for (int32_t i = 0; i < c0; ++i) {
    double left[6], right[6];
    int16_t two_sided = 0;
    BScveval_b(&rc, &cv, &values[i], &d, nullptr, &two_sided, left, right);
    if (rc != BSSUCC) return rc;
    grades[i] = two_sided ? joint_grade(left + 3, right + 3, angle_tol, dist) : 0;
    *count = i + 1;
  }
  if (!cv.phy_closed) return BSSUCC;
  params[c0] = cv.knots[n];
  if (cv.periodic) {
    grades[c0] = 2;
  } else {
    double start[6], end[6];
    BScveval(&cv, cv.knots[k - 1], 1, start, &rc);
    if (rc != BSSUCC) return rc;
    BScveval(&cv, cv.knots[n], 1, end, &rc);
    if (rc != BSSUCC) return rc;
    grades[c0] = joint_grade(end + 3, start + 3, angle_tol, dist);
  }
  *count = c0 + 1;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API void BStstcvcusp(BSrc *rc, const BScurve *curve, int32_t j, BSboolean *flag) {
  KW_EPILOGUE(rc);
  if (flag == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *flag = FALSE;
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  const int32_t n = curve->num_poles;
  if (j < 0 || j > n - 1 || ((j == 0 || j == n - 1) && !curve->phy_closed)) {
    *rc = BSINARG;
    return;
  }
  *flag = polygon_turns_at(*curve, j) ? TRUE : FALSE;
}

KW_API void BSfndcvcsp(const BScurve *curve, int32_t *count, double *params, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == nullptr || params == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *count = 0;
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  *rc = find_tangent_breaks(*curve, count, params);
}

KW_API void BSfinddcont(const BScurve *curve, double tol, int32_t *count, double *params,
                        int32_t *grades, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count == nullptr || params == nullptr || grades == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *count = 0;
  // a zero weight is reported by the polygon length (-5), so weights are not checked here
  if ((*rc = validate_curve(curve, kCurveDomain | kCurveArrays)) != BSSUCC) return;
  *rc = grade_c0_knots(*curve, tol, count, params, grades);
}

}  // extern "C"
