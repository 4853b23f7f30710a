// Projection of a point on a curve from a start parameter (BSprptnrcv) with the
// library's scalar root finder (BSqnwt2) and the domain clamp (BSadjpar).
//
// The root finder takes its function with a context pointer, so the projection
// keeps its curve and point on its own stack and is reentrant.
#include <algorithm>
#include <cmath>

#include "frame/frame.hpp"
#include "bspline/knots.hpp"
#include "query/project.hpp"
#include "records/curve_check.hpp"
#include "vector/vec3.hpp"

namespace knotwork {

// Secant iteration kept inside [a, b] (wrapped by the period when periodic), which
// turns into a safeguarded bracket search (secant steps inside the bracket,
// bisection otherwise) as soon as two iterates have opposite signs. Converged when
// |f| <= f_tol and the last step is below par_tol, or when |f| vanishes, or when
// the bracket is narrower than par_tol. *iterations is the number of steps taken;
// max_iter when it did not converge.
BSrc scalar_root(BSqnwt2_function f, void *ctx, double a, double b, double start, bool periodic,
                 double f_tol, double par_tol, int32_t max_iter, double *root,
                 int32_t *iterations) {
  const double period = b - a;
  auto fold = [&](double u) {
    if (periodic) {
      if (u < a || u > b) u = a + (u - a) - period * std::floor((u - a) / period);
      return std::clamp(u, a, b);
    }
    return std::clamp(u, a, b);
  };
  BSrc rc = BSSUCC;
  double u0 = fold(start);
  double f0 = f(u0, ctx, &rc);
  if (rc != BSSUCC) return rc;
  *root = u0;
  *iterations = 0;
  if (f0 == 0.0) return BSSUCC;
  // Second iterate: a small step downhill in parameter, inside the interval.
  double h = std::max(1e-4 * period, 10.0 * par_tol);
  double u1 = u0 + h <= b || periodic ? fold(u0 + h) : fold(u0 - h);
  bool bracketed = false;
  double lo = 0.0, hi = 0.0, flo = 0.0;  // f(lo) and f(hi) have opposite signs
  for (int32_t it = 1; it <= max_iter; ++it) {
    const double f1 = f(u1, ctx, &rc);
    if (rc != BSSUCC) return rc;
    *root = u1;
    *iterations = it;
    const double step = std::fabs(u1 - u0);
    if (f1 == 0.0 || (std::fabs(f1) <= f_tol && step <= par_tol)) return BSSUCC;
    if ((f0 < 0.0) != (f1 < 0.0) && !(periodic && step > 0.5 * period)) {
      bracketed = true;
      lo = u0, flo = f0, hi = u1;
    } else if (bracketed) {
      if ((f1 < 0.0) == (flo < 0.0))
        lo = u1, flo = f1;
      else
        hi = u1;
    }
    if (bracketed && std::fabs(hi - lo) <= par_tol && std::fabs(f1) <= f_tol) return BSSUCC;
    double next = f1 != f0 ? u1 - f1 * (u1 - u0) / (f1 - f0) : u1 + h;
    if (bracketed) {
      const double l = std::min(lo, hi), r = std::max(lo, hi);
      if (!(next > l && next < r)) next = 0.5 * (l + r);
    } else {
      next = fold(next);
    }
    if (next == u1) next = bracketed ? 0.5 * (lo + hi) : fold(u1 + (u1 > u0 ? -h : h));
    u0 = u1, f0 = f1, u1 = next;
  }
  *iterations = max_iter;
  return BSSUCC;
}

namespace {

struct ProjectionContext {
  const BScurve *cv;
  const double *point;
  double start, end;
};

// (C(u) - P) . T(u) with T the unit tangent, u clamped into the domain; 0 when the
// curve point is within dist_tol of P.
double tangential_offset(double u, void *ctx, BSrc *rc) {
  const auto *c = static_cast<const ProjectionContext *>(ctx);
  u = std::clamp(u, c->start, c->end);
  double e[6];
  *rc = evaluate_curve_at(*c->cv, u, 1, e);
  if (*rc != BSSUCC) return 0.0;
  double r[3];
  v3::sub(e, c->point, r);
  if (v3::len_sq(r) < tol().dist_sqtol) return 0.0;
  const double l = v3::len(e + 3);
  if (l == 0.0) return 0.0;
  return v3::dot(r, e + 3) / l;
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSqnwt2(BSqnwt2_function f, void *context, double a, double b, double start,
                               BSboolean periodic, double f_tol, double par_tol, int32_t max_iter,
                               double *root, int32_t *iterations, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (f == nullptr || root == nullptr || iterations == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!(b > a) || max_iter < 1) {
    *rc = BSINARG;
    return;
  }
  *rc = scalar_root(f, context, a, b, start, periodic != 0, f_tol, par_tol, max_iter, root,
                    iterations);
}

extern "C" KW_API void BSadjpar(const BScurve *curve, double param, double *adjusted, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (adjusted == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveDomain)) != BSSUCC) return;
  if (!std::isfinite(param)) {
    *rc = BSINARG;
    return;
  }
  *adjusted = std::clamp(param, curve->knots[curve->order - 1], curve->knots[curve->num_poles]);
}

extern "C" KW_API void BSprptnrcv(const BScurve *curve, double start, const double *point,
                                  double *param, double *foot, double *dist, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  if (point == nullptr || param == nullptr || foot == nullptr || dist == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!query_points_ok(1, 3, point) || !std::isfinite(start)) {
    *rc = BSINARG;
    return;
  }
  const int32_t n = curve->num_poles;
  ProjectionContext ctx{curve, point, curve->knots[curve->order - 1], curve->knots[n]};
  const double ktol = curve_knot_tolerance(curve->order, curve->knots, n, curve->poles,
                                           curve->rational ? curve->weights : nullptr);
  double u = 0.0;
  int32_t used = 0;
  *rc = scalar_root(tangential_offset, &ctx, ctx.start, ctx.end, start, curve->phy_closed != 0,
                    tol().dist_tol, ktol, 25, &u, &used);
  if (*rc != BSSUCC) return;
  if (used >= 25) {
    *rc = BSNOSOLUTION;
    return;
  }
  double e[3];
  if ((*rc = evaluate_curve_at(*curve, u, 0, e)) != BSSUCC) return;
  *param = u;
  v3::copy(e, foot);
  // scaled, so that far points give a finite distance
  *dist = std::hypot(e[0] - point[0], e[1] - point[1], e[2] - point[2]);
}
