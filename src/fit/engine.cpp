// The fitting engine: poles of a curve of given knots through (or near) points,
// with end conditions, open or periodic, polynomial or with point weights.
// Orders above 4 are fitted in stages: a cubic (quadratic for odd orders) on the
// same distinct knots gives the end derivatives, from which the poles next to each
// end follow; the banded solve then interpolates the points.
#include <algorithm>
#include <cmath>

#include "bspline/bezier.hpp"
#include "fit/fit.hpp"
#include "frame/frame.hpp"
#include "vector/vector.hpp"

namespace knotwork {
namespace {

double *pole_at(double *poles, int32_t stride, int32_t i) {
  return poles + static_cast<std::size_t>(i) * stride;
}
const double *point_at(const FitData &d, int32_t j) {
  return d.points + static_cast<std::size_t>(j) * d.stride;
}

// Derivatives 0..count-1 at the clamped start of a spline of degree p (knots t,
// poles P of stride values, at least min(count, p + 1) of them) into D (count rows).
void start_derivatives(int p, const double *t, const double *poles, int32_t stride, int count,
                       double *work, double *out) {
  const int used = std::min(count, p + 1);
  std::copy(poles, poles + static_cast<std::size_t>(used) * stride, work);
  std::fill(out, out + static_cast<std::size_t>(count) * stride, 0.0);
  std::copy(work, work + stride, out);
  for (int r = 1; r < used; ++r) {
    for (int i = 0; i + r < used; ++i) {
      const double f = (p - r + 1) / (t[i + p + 1] - t[i + r]);
      for (int32_t c = 0; c < stride; ++c)
        work[i * stride + c] = f * (work[(i + 1) * stride + c] - work[i * stride + c]);
    }
    std::copy(work, work + stride, out + static_cast<std::size_t>(r) * stride);
  }
}

// The first count poles of a spline of degree p (knots t, clamped start) whose
// derivatives 0..count-1 at the start are D: the derivative-pole relations
// P(r)_(i+1) = P(r)_i + P(r+1)_i (t[i+p+1] - t[i+r+1]) / (p - r) solved upwards.
void poles_from_start_derivatives(int p, const double *t, const double *derivs, int32_t stride,
                                  int count, double *table, double *poles) {
  // table row r holds P(r)_i for i = 0 .. count-1-r, stride values each.
  auto at = [&](int r, int i) {
    return table + (static_cast<std::size_t>(r) * count + i) * stride;
  };
  for (int r = 0; r < count; ++r)
    std::copy(derivs + r * stride, derivs + (r + 1) * stride, at(r, 0));
  for (int i = 1; i < count; ++i)
    for (int r = count - 1 - i; r >= 0; --r) {
      const double f = (t[i - 1 + p + 1] - t[i + r]) / (p - r);
      for (int32_t c = 0; c < stride; ++c) at(r, i)[c] = at(r, i - 1)[c] + at(r + 1, i - 1)[c] * f;
    }
  for (int i = 0; i < count; ++i) std::copy(at(0, i), at(0, i) + stride, poles + i * stride);
}

// Mirror image of a knot prefix: t'(j) = -t(N-1-j), j < len.
void mirrored_knots(const double *t, int32_t total, int32_t len, double *out) {
  for (int32_t j = 0; j < len; ++j) out[j] = -t[total - 1 - j];
}

class Engine {
 public:
  Engine(const EngineInput &in, const double *fitted_weights) : in_(in), d_(in.data) {
    pw_[0] = fitted_weights ? fitted_weights[1] : 1.0;
    pw_[1] = fitted_weights ? fitted_weights[d_.m - 2] : 1.0;
  }
  BSrc run(double *poles);

 private:
  BSrc two_points(double *poles);
  BSrc small_case(double *poles);
  BSrc general_case(double *poles);
  BSrc staged(double *poles);
  EndPoleInput end_input() const {
    return {d_.n, d_.points, in_.weights, d_.pars, d_.k, d_.m, d_.knots, d_.stride};
  }

  const EngineInput &in_;
  const FitData &d_;
  double pw_[2];
};

BSrc Engine::run(double *poles) {
  if (in_.periodic) return periodic_fit(d_, d_.m - d_.k + 1 > 2 * d_.k - 1, poles);
  if (d_.n == 2 && in_.mode == 2 && in_.weights == nullptr) return two_points(poles);
  const int32_t s = d_.stride;
  std::copy(point_at(d_, 0), point_at(d_, 0) + s, pole_at(poles, s, 0));
  std::copy(point_at(d_, d_.n - 1), point_at(d_, d_.n - 1) + s, pole_at(poles, s, d_.m - 1));
  if (in_.mode == 0) return band_fit(d_, 0, poles);
  if (in_.mode == 1) return band_fit(d_, 1, poles);
  if (d_.k > 4) return staged(poles);
  const bool both_given = in_.cond[0] == kEndGivenPole && in_.cond[1] == kEndGivenPole;
  if (d_.m <= 4 && d_.n > 3 && !both_given) return small_case(poles);
  return general_case(poles);
}

BSrc Engine::two_points(double *poles) {
  const int k = d_.k;
  const int32_t s = d_.stride, m = d_.m;
  if (m != k) return BSINARG;
  const double *p0 = point_at(d_, 0), *p1 = point_at(d_, 1);
  double len = 0.0;
  for (int32_t c = 0; c < s; ++c) len += (p1[c] - p0[c]) * (p1[c] - p0[c]);
  len = std::sqrt(len);
  if (in_.cond[0] == kEndNatural && in_.cond[1] == kEndNatural) {
    for (int32_t i = 0; i < m; ++i)
      for (int32_t c = 0; c < s; ++c)
        pole_at(poles, s, i)[c] = p0[c] + (static_cast<double>(i) / (k - 1)) * (p1[c] - p0[c]);
    return BSSUCC;
  }
  const bool given = in_.cond[0] == kEndGivenPole || in_.cond[1] == kEndGivenPole;
  if (k < 4 || (k > 4 && given) || !(len > 0.0)) return BSINARG;
  ScratchBuffer buf(static_cast<std::size_t>(4) * s * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *cubic = buf.as<double>();
  for (int e = 0; e < 2; ++e) {
    const double *end = e == 0 ? p0 : p1;
    double *inner = cubic + (e == 0 ? 1 : 2) * s;
    const double sign = e == 0 ? 1.0 : -1.0;
    if (in_.cond[e] == kEndGivenPole) {
      std::copy(in_.vec[e], in_.vec[e] + s, inner);
    } else if (in_.cond[e] == kEndTangent) {
      double tl = 0.0;
      for (int32_t c = 0; c < s; ++c) tl += in_.vec[e][c] * in_.vec[e][c];
      tl = std::sqrt(tl);
      if (!(tl > 0.0)) return BSINARG;
      for (int32_t c = 0; c < s; ++c) inner[c] = end[c] + sign * (len / 3.0) * in_.vec[e][c] / tl;
    } else {
      for (int32_t c = 0; c < s; ++c) inner[c] = end[c] + sign * (p1[c] - p0[c]) / 3.0;
    }
  }
  std::copy(p0, p0 + s, cubic);
  std::copy(p1, p1 + s, cubic + 3 * s);
  if (k == 4) {
    std::copy(cubic, cubic + 4 * s, poles);
    return BSSUCC;
  }
  // Higher orders: the cubic raised by the degree elevation of BSupthedeg, three
  // coordinates at a time as a polynomial Bezier curve.
  ScratchBuffer rbuf(static_cast<std::size_t>(12 + 8 + 3 * k + 2 * k) * sizeof(double));
  if (!rbuf.ok()) return BSNOSTKMEMORY;
  double *cp = rbuf.as<double>(), *ck = cp + 12, *rp = ck + 8, *rk = rp + 3 * k;
  for (int32_t c0 = 0; c0 < s; c0 += 3) {
    const int32_t nc = std::min<int32_t>(3, s - c0);
    for (int i = 0; i < 4; ++i)
      for (int c = 0; c < 3; ++c) cp[3 * i + c] = c < nc ? cubic[i * s + c0 + c] : 0.0;
    for (int i = 0; i < 8; ++i) ck[i] = i < 4 ? 0.0 : 1.0;
    BScurve cv{4, 0, 0, 4, cp, 8, ck, 0, nullptr, 0, 0, 0, nullptr};
    BScurve raised{}, *out = &raised;
    raised.poles = rp;
    raised.knots = rk;
    if (const BSrc rc = elevate_degree(cv, k - 1, true, &out); rc != BSSUCC) return rc;
    for (int i = 0; i < k; ++i)
      for (int32_t c = 0; c < nc; ++c) pole_at(poles, s, i)[c0 + c] = rp[3 * i + c];
  }
  return BSSUCC;
}

BSrc Engine::small_case(double *poles) {
  const int32_t s = d_.stride, m = d_.m;
  const double *t = d_.knots;
  BSrc rc = band_fit(d_, 1, poles);
  if (rc != BSSUCC) return rc;
  for (int e = 0; e < 2; ++e) {
    const int32_t endi = e == 0 ? 0 : m - 1, inner = e == 0 ? 1 : m - 2, far = e == 0 ? 2 : m - 3;
    double *pe = pole_at(poles, s, endi), *pi = pole_at(poles, s, inner);
    switch (in_.cond[e]) {
      case kEndTangent: {
        double len = 0.0, tl = 0.0;
        for (int32_t c = 0; c < s; ++c) {
          len += (pi[c] - pe[c]) * (pi[c] - pe[c]);
          tl += in_.vec[e][c] * in_.vec[e][c];
        }
        if (!(tl > 0.0)) return BSINARG;
        const double f = (e == 0 ? 1.0 : -1.0) * std::sqrt(len / tl);
        for (int32_t c = 0; c < s; ++c) pi[c] = pe[c] + f * in_.vec[e][c];
        break;
      }
      case kEndNatural: {
        const double r = e == 0 ? (t[4] - t[3]) / (t[5] + t[4] - t[3] - t[2])
                                : (t[m] - t[m - 1]) / (t[m + 1] + t[m] - t[m - 1] - t[m - 2]);
        const double *pf = pole_at(poles, s, far);
        for (int32_t c = 0; c < s; ++c) pi[c] = pe[c] + r * (pf[c] - pe[c]);
        break;
      }
      case kEndGivenPole:
        std::copy(in_.vec[e], in_.vec[e] + s, pi);
        break;
      default:
        break;
    }
  }
  return BSSUCC;
}

BSrc Engine::general_case(double *poles) {
  const int32_t s = d_.stride, m = d_.m;
  const EndPoleInput ep = end_input();
  for (int e = 0; e < 2; ++e) {
    if (in_.cond[e] == kEndNatural) continue;
    const BSrc rc = end_pole(ep, in_.cond[e], e == 1, pw_[e], in_.vec[e],
                             pole_at(poles, s, e == 0 ? 1 : m - 2));
    if (rc != BSSUCC) return rc;
  }
  const bool n0 = in_.cond[0] == kEndNatural, n1 = in_.cond[1] == kEndNatural;
  if (d_.n > 2 && m > 4) return band_fit(d_, n0 && n1 ? 7 : n0 ? 5 : n1 ? 6 : 2, poles);
  if (n0 || n1) return BSINARG;  // no interior poles to carry a natural end
  for (int32_t i = 0; i < m; ++i)
    for (int32_t c = d_.ncoord; c < s; ++c) pole_at(poles, s, i)[c] = 0.0;
  return BSSUCC;
}

BSrc Engine::staged(double *poles) {
  const int k = d_.k, kl = (k % 2 == 0) ? 4 : 3;
  const int32_t m = d_.m, s = d_.stride, nk = m + k;
  const int f = (k - 1) / 2 + 1;
  const double *t = d_.knots;
  // Distinct interior knots of the requested vector.
  const double ktol = tol().knot_tol;
  int32_t distinct = 0;
  const std::size_t room = static_cast<std::size_t>(m) + 2 * k;
  ScratchBuffer buf(room * sizeof(double) + static_cast<std::size_t>(d_.n) * sizeof(int32_t));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *lk = buf.as<double>();
  int32_t *lspans = reinterpret_cast<int32_t *>(lk + room);
  double last = t[k - 1];
  for (int32_t i = k; i < m; ++i)
    if (t[i] - last > ktol && t[m] - t[i] > ktol) {
      lk[kl + distinct++] = t[i];
      last = t[i];
    }
  const int32_t ml = distinct + kl;
  for (int j = 0; j < kl; ++j) {
    lk[j] = t[k - 1];
    lk[ml + j] = t[m];
  }
  parameter_spans(kl, ml, d_.n, d_.pars, lk, lspans);
  EngineInput low = in_;
  low.data.k = kl;
  low.data.m = ml;
  low.data.knots = lk;
  low.data.spans = lspans;
  ScratchBuffer lpbuf(static_cast<std::size_t>(ml) * s * sizeof(double));
  if (!lpbuf.ok()) return BSNOSTKMEMORY;
  double *lp = lpbuf.as<double>();
  {
    Engine e(low, nullptr);
    e.pw_[0] = pw_[0];
    e.pw_[1] = pw_[1];
    const BSrc rc = e.run(lp);
    if (rc != BSSUCC) return rc;
  }
  // End poles of order k from the low fit's end derivatives, at each end (the end
  // by mirroring knots and poles).
  const int used = std::min<int>(f, ml);
  const std::size_t fs = static_cast<std::size_t>(f) * s;
  const int32_t tl = std::max<int32_t>(f + k, kl + used) + 1;
  ScratchBuffer wbuf((fs * (3 + f) + static_cast<std::size_t>(used) * s + 2 * tl) * sizeof(double));
  if (!wbuf.ok()) return BSNOSTKMEMORY;
  double *derivs = wbuf.as<double>(), *work = derivs + fs, *table = work + fs,
         *ends = table + fs * f, *mp = ends + fs, *mk = mp + static_cast<std::size_t>(used) * s,
         *mkl = mk + tl;
  for (int e = 0; e < 2; ++e) {
    const double *lknots = lk, *hknots = t, *lpoles = lp;
    if (e == 1) {
      for (int i = 0; i < used; ++i)
        std::copy(pole_at(lp, s, ml - 1 - i), pole_at(lp, s, ml - 1 - i) + s, mp + i * s);
      mirrored_knots(lk, ml + kl, std::min<int32_t>(tl, ml + kl), mkl);
      mirrored_knots(t, nk, std::min<int32_t>(tl, nk), mk);
      lknots = mkl;
      hknots = mk;
      lpoles = mp;
    }
    start_derivatives(kl - 1, lknots, lpoles, s, f, work, derivs);
    poles_from_start_derivatives(k - 1, hknots, derivs, s, f, table, ends);
    for (int i = 0; i < f; ++i)
      std::copy(ends + i * s, ends + (i + 1) * s, pole_at(poles, s, e == 0 ? i : m - 1 - i));
    if (in_.cond[e] == kEndGivenPole)
      std::copy(in_.vec[e], in_.vec[e] + s, pole_at(poles, s, e == 0 ? 1 : m - 2));
  }
  return band_fit(d_, 4, poles);
}

}  // namespace

BSrc fit_points(const EngineInput &in, double *poles, double *weights) {
  const FitData &d = in.data;
  const int32_t n = d.n, m = d.m, s = d.stride, nc = d.ncoord;
  // Copy case: a polygon through the points.
  if (n == m && d.k == 2 && (n <= 2 || (in.cond[0] == 0 && in.cond[1] == 0))) {
    std::copy(d.points, d.points + static_cast<std::size_t>(n) * s, poles);
    if (in.weights) std::copy(in.weights, in.weights + n, weights);
    return BSSUCC;
  }
  // Coincident points: every pole at the mean point.
  {
    double mean_w = 0.0;
    ScratchBuffer buf(static_cast<std::size_t>(nc) * sizeof(double));
    if (!buf.ok()) return BSNOSTKMEMORY;
    double *mean = buf.as<double>();
    std::fill(mean, mean + nc, 0.0);
    for (int32_t j = 0; j < n; ++j) {
      const double w = in.weights ? in.weights[j] : 1.0;
      mean_w += w;
      for (int32_t c = 0; c < nc; ++c) mean[c] += point_at(d, j)[c] / w;
    }
    mean_w /= n;
    for (int32_t c = 0; c < nc; ++c) mean[c] /= n;
    bool together = true;
    for (int32_t j = 0; j < n && together; ++j) {
      const double w = in.weights ? in.weights[j] : 1.0;
      double q = 0.0;
      for (int32_t c = 0; c < nc; ++c) {
        const double x = point_at(d, j)[c] / w - mean[c];
        q += x * x;
      }
      together = q <= tol().dist_sqtol;
    }
    if (together) {
      const double scale = in.weights ? mean_w : 1.0;
      for (int32_t i = 0; i < m; ++i) {
        for (int32_t c = 0; c < s; ++c) pole_at(poles, s, i)[c] = c < nc ? mean[c] * scale : 0.0;
        if (in.weights) weights[i] = mean_w;
      }
      return BSSUCC;
    }
  }
  if (n == 3 && in.cond[0] == 0 && in.cond[1] == 0) {
    double q = 0.0;
    for (int32_t c = 0; c < nc; ++c) {
      const double x = point_at(d, 2)[c] - point_at(d, 0)[c];
      q += x * x;
    }
    if (q < tol().dist_sqtol) return BSINARG;
  }
  if (in.weights) {
    bool equal = true;
    for (int32_t j = 1; j < n && equal; ++j)
      equal = std::fabs(in.weights[j] - in.weights[0]) <= 1e-10;
    if (equal) {
      std::fill(weights, weights + m, in.weights[0]);
      weights[m - 1] = in.weights[n - 1];
    } else {
      // The weights as a one-coordinate point set, by the same steps.
      EngineInput wi = in;
      wi.data.points = in.weights;
      wi.data.stride = 1;
      wi.data.ncoord = 1;
      wi.weights = nullptr;
      for (int e = 0; e < 2; ++e) {
        wi.vec[e] = &in.pole_weight[e];
        if (wi.cond[e] == kEndTangent) wi.cond[e] = kEndEstimated;
      }
      const BSrc rc = fit_points(wi, weights, nullptr);
      if (rc != BSSUCC) return rc;
      for (int32_t i = 0; i < m; ++i)
        if (!(weights[i] >= 0.001)) return BSBADWEIGHT;
    }
  }
  Engine engine(in, in.weights ? weights : nullptr);
  return engine.run(poles);
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSfitratpts(int32_t n, const double *points, const double *point_weights,
                                   const double *pars, const int32_t *spans, int16_t order,
                                   int32_t m, const double *knots, int32_t stride, int32_t ncoord,
                                   BSboolean periodic, int32_t mode, int32_t start_condition,
                                   int32_t end_condition, const double *start_vector,
                                   const double *end_vector, const double *end_values,
                                   double *work_matrix, double *work_rhs, double *work_band,
                                   double *poles, double *weights, BSrc *rc) {
  KW_EPILOGUE(rc);
  (void)work_matrix;
  (void)work_rhs;
  (void)work_band;
  const int32_t cond[2] = {start_condition, end_condition};
  const double *vec[2] = {start_vector, end_vector};
  if (points == nullptr || pars == nullptr || spans == nullptr || knots == nullptr ||
      poles == nullptr || (point_weights != nullptr && weights == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  for (int e = 0; e < 2; ++e)
    if ((cond[e] == kEndGivenPole || cond[e] == kEndTangent) && vec[e] == nullptr) {
      *rc = BSNULLPTR;
      return;
    }
  if (n < 2 || order < 2 || order > kMaxFitOrder || m < order || stride < 1 || ncoord < 1 ||
      ncoord > stride || mode < 0 || mode > 2) {
    *rc = BSINARG;
    return;
  }
  for (int e = 0; e < 2; ++e) {
    if (cond[e] != kEndGivenPole && cond[e] != kEndEstimated && cond[e] != kEndTangent &&
        cond[e] != kEndNatural) {
      *rc = BSINARG;
      return;
    }
    if (vec[e] != nullptr && (cond[e] == kEndGivenPole || cond[e] == kEndTangent))
      for (int32_t c = 0; c < stride; ++c)
        if (!std::isfinite(vec[e][c])) {
          *rc = BSINARG;
          return;
        }
  }
  for (int32_t i = 0; i < m + order; ++i)
    if (!std::isfinite(knots[i]) || (i > 0 && knots[i] < knots[i - 1])) {
      *rc = BSINARG;
      return;
    }
  for (int32_t j = 0; j < n; ++j) {
    if (!std::isfinite(pars[j]) || spans[j] < order - 1 || spans[j] > m - 1) {
      *rc = BSINARG;
      return;
    }
    for (int32_t c = 0; c < stride; ++c)
      if (!std::isfinite(points[static_cast<std::size_t>(j) * stride + c])) {
        *rc = BSINARG;
        return;
      }
    if (point_weights != nullptr && !(point_weights[j] > 0.0 && std::isfinite(point_weights[j]))) {
      *rc = BSBADWEIGHT;
      return;
    }
  }
  EngineInput in{};
  in.data = FitData{n, points, pars, spans, order, m, knots, stride, ncoord};
  in.weights = point_weights;
  in.periodic = periodic != 0;
  in.mode = mode;
  for (int e = 0; e < 2; ++e) {
    in.cond[e] = cond[e];
    in.vec[e] = vec[e];
    in.pole_weight[e] = end_values != nullptr ? end_values[1 + e] : 0.0;
  }
  const std::size_t size = static_cast<std::size_t>(m) * stride;
  ScratchBuffer buf((size + (point_weights ? m : 0)) * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *p = buf.as<double>(), *w = point_weights ? p + size : nullptr;
  *rc = fit_points(in, p, w);
  if (*rc != BSSUCC) return;
  std::copy(p, p + size, poles);
  if (w != nullptr) std::copy(w, w + m, weights);
}
