// Knot removal: smooth Bezier chains back to splines (BSbzod3bsp, BSrmvkts4,
// BSrmvkts5), one knot removed by least squares with its error (BSrm_kt_app), the
// choice of knots to remove (BSknot_rem2), reduction of a curve within a tolerance (BSrmktsnchg)
// and the reduction of repeated knots of an array-form spline (BSrmnknot_b).
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "bspline/insert.hpp"
#include "bspline/knots.hpp"
#include "bspline/removal.hpp"
#include "frame/frame.hpp"
#include "records/curve_check.hpp"

namespace knotwork {

namespace {

inline constexpr int kMaxDegree = 32;

// Blossom of the Bezier polynomial b[0..d] (stride 1) on [a, b] at x[0..d-1].
double blossom(int d, const double *coef, double a, double b, const double *x) {
  double work[kMaxDegree + 1];
  for (int i = 0; i <= d; ++i) work[i] = coef[i];
  const double h = b - a;
  for (int level = 0; level < d; ++level) {
    const double lam = (x[level] - a) / h;
    for (int i = 0; i < d - level; ++i) work[i] = (1.0 - lam) * work[i] + lam * work[i + 1];
  }
  return work[0];
}

}  // namespace

void bezier_chain_to_spline(int d, int32_t J, int32_t rows, const double *pieces,
                            const double *breaks, double *poles) {
  KW_ASSERT(d >= 1 && d <= kMaxDegree);
  const int32_t np = J + d;
  // Knot j of the simple-knot spline (d + 1 copies of each end break).
  const auto knot = [&](int32_t j) -> double {
    if (j <= d) return breaks[0];
    if (j >= J + d) return breaks[J];
    return breaks[j - d];
  };
  double args[kMaxDegree];
  for (int32_t q = 0; q < np; ++q) {
    for (int i = 0; i < d; ++i) args[i] = knot(q + 1 + i);
    // The piece spanning the middle of the pole's knots: the ends copy a piece's
    // end coefficients, interior poles extend the legs of one piece.
    const int32_t piece = std::clamp<int32_t>(q - (d + 1) / 2, 0, J - 1);
    const double a = breaks[piece], b = breaks[piece + 1];
    for (int32_t r = 0; r < rows; ++r) {
      const double *coef = pieces + (static_cast<std::size_t>(piece) * rows + r) * (d + 1);
      double value;
      if (q == 0)
        value = coef[0];
      else if (q == np - 1)
        value = coef[d];
      else
        value = blossom(d, coef, a, b, args);
      poles[static_cast<std::size_t>(r) * np + q] = value;
    }
  }
}

KnotRun knot_run(const double *knots, int32_t num_knots, int32_t r, double tol) {
  KnotRun run{r, r};
  const double v = knots[r];
  while (run.first > 0 && std::fabs(knots[run.first - 1] - v) <= tol) --run.first;
  while (run.last + 1 < num_knots && std::fabs(knots[run.last + 1] - v) <= tol) ++run.last;
  return run;
}

BSrc remove_knot_poles(int k, int32_t n, const double *t, KnotRun run, int w, const double *P,
                       double *Q, double *residual, double *work, int32_t *leftover) {
  const int32_t r = run.last;
  const int s = run.last - run.first + 1;
  const int m = k - s;  // equations; m - 1 unknown poles
  const int32_t first = r - k + 1;
  KW_ASSERT(m >= 1 && first >= 1 && r <= n - 1);
  double *alpha = work, *lower = alpha + m, *diag = lower + m, *rhs = diag + m;
  const double u = t[r];
  for (int j = 0; j < m; ++j) {
    const int32_t i = first + j;
    const double a = (u - t[i]) / (t[i + k] - t[i]);
    alpha[j] = a;
    diag[j] = a;
    lower[j] = 1.0 - a;
    for (int c = 0; c < w; ++c) {
      double v = P[static_cast<std::size_t>(i) * w + c];
      if (j == 0) v -= (1.0 - a) * P[static_cast<std::size_t>(i - 1) * w + c];
      if (j == m - 1) v -= a * P[static_cast<std::size_t>(i + 1) * w + c];
      rhs[j * w + c] = v;
    }
  }
  BSrc rc = BSSUCC;
  BSmod_gauss(alpha, lower, diag, TRUE, rhs, m, w, &rc);
  if (rc != BSSUCC) return rc;
  for (int c = 0; c < w; ++c) residual[c] = rhs[(m - 1) * w + c];
  if (leftover != nullptr) {
    // The equation the elimination leaves over (the first with alpha < 0.5).
    int32_t p = 0;
    while (p < m - 1 && alpha[p] >= 0.5) ++p;
    *leftover = first + p;
  }
  if (Q == nullptr) return BSSUCC;
  // Poles up to first - 1 stay; the solved ones follow; the rest move down one.
  if (Q != P) std::memcpy(Q, P, sizeof(double) * w * first);
  std::memcpy(Q + static_cast<std::size_t>(first) * w, rhs, sizeof(double) * w * (m - 1));
  std::memmove(Q + static_cast<std::size_t>(first + m - 1) * w,
               P + static_cast<std::size_t>(first + m) * w, sizeof(double) * w * (n - first - m));
  return BSSUCC;
}

namespace {

// Homogeneous poles of a record, pole-major (x, y, z[, w]).
void pack_record(const BScurve &cv, double *h) {
  const int w = cv.rational ? 4 : 3;
  for (int32_t i = 0; i < cv.num_poles; ++i) {
    for (int c = 0; c < 3; ++c) h[i * w + c] = cv.poles[3 * i + c];
    if (cv.rational) h[i * w + 3] = cv.weights[i];
  }
}

// Writes n homogeneous poles and n + k knots into a record (shape fields from src).
void unpack_record(const BScurve &src, int32_t n, const double *h, const double *knots,
                   BScurve &out) {
  const int w = src.rational ? 4 : 3;
  const int k = src.order;
  for (int32_t i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) out.poles[3 * i + c] = h[i * w + c];
    if (src.rational) out.weights[i] = h[i * w + 3];
  }
  std::memmove(out.knots, knots, sizeof(double) * (n + k));
  out.order = src.order;
  out.periodic = src.periodic;
  out.planar = src.planar;
  out.phy_closed = src.phy_closed;
  out.rational = src.rational;
  out.num_poles = n;
  out.num_knots = n + k;
  out.non_uniform = n > k ? 1 : 0;
  out.num_boundaries = 0;
}

// Largest Cartesian coordinate magnitude and smallest weight of homogeneous poles.
void pole_scale(int32_t n, int w, const double *h, double *pmax, double *wmin) {
  *pmax = 0.0;
  *wmin = 1.0;
  for (int32_t i = 0; i < n; ++i) {
    const double wt = w == 4 ? h[i * w + 3] : 1.0;
    *wmin = std::min(*wmin, wt);
    for (int c = 0; c < 3; ++c) *pmax = std::max(*pmax, std::fabs(h[i * w + c] / wt));
  }
  if (w != 4) *wmin = 1.0;
}

// Curve deviation bound per coordinate from a homogeneous pole difference: the
// difference of the Cartesian curves is at most (|dX| + |C| |dw|) / w'.
double deviation_bound(double dx, double dw, double pmax, double wmin) {
  if (!(wmin > 0.0)) return DBL_MAX;
  return (dx + pmax * dw) / wmin;
}

}  // namespace

// BSrm_kt_app on a validated record and output with room for num_poles - 1 poles.
BSrc remove_one_knot(const BScurve &cv, int32_t r, BScurve &out, double error[3]) {
  const int k = cv.order, w = cv.rational ? 4 : 3;
  const int32_t n = cv.num_poles;
  ScratchBuffer buf(sizeof(double) *
                    (static_cast<std::size_t>(n) * w + n + k + removal_work(k, w)));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *h = buf.as<double>(), *t = h + static_cast<std::size_t>(n) * w, *work = t + n + k;
  pack_record(cv, h);
  std::memcpy(t, cv.knots, sizeof(double) * (n + k));
  double pmax, wmin, pmax_new, wmin_new;
  pole_scale(n, w, h, &pmax, &wmin);
  double res[4] = {0, 0, 0, 0};
  int32_t nn = n;
  KnotRun run{r, r};
  if (r >= k && r <= n - 1) run = knot_run(t, n + k, r, tol().knot_tol);
  const bool removable =
      r >= k && r <= n - 1 && run.first >= k && run.last <= n - 1 && run.last - run.first + 1 < k;
  if (removable) {
    const BSrc rc = remove_knot_poles(k, n, t, run, w, h, h, res, work, nullptr);
    if (rc != BSSUCC) return rc;
    std::memmove(t + run.last, t + run.last + 1, sizeof(double) * (n + k - run.last - 1));
    nn = n - 1;
  }
  // Rational: the residual of the homogeneous poles bounds the Cartesian error
  // through the original curve's size and the smaller of the two weight ranges.
  pole_scale(nn, w, h, &pmax_new, &wmin_new);
  for (int c = 0; c < 3; ++c)
    error[c] =
        cv.rational ? deviation_bound(res[c], res[3], pmax, std::min(wmin, wmin_new)) : res[c];
  unpack_record(cv, nn, h, t, out);
  return BSSUCC;
}

BSrc choose_knots(const double *knots, int k, int32_t N, const int32_t *classes,
                  const int32_t *sizes, int32_t num_classes, int32_t q, double *removed) {
  const int32_t cand = N - k;
  if (q == cand) {
    std::memcpy(removed, knots + k, sizeof(double) * cand);
    return BSSUCC;
  }
  ScratchBuffer buf(sizeof(int32_t) * cand);
  if (!buf.ok()) return BSNOSTKMEMORY;
  int32_t *tags = buf.as<int32_t>();
  BSrc rc = BSSUCC;
  int32_t count = cand;
  BStagsorti(&count, classes, tags, &rc);
  if (rc != BSSUCC) return rc;
  // Classes in ascending class number; sizes[j] must match the j-th run.
  int32_t pos = 0, left = q, out = 0;
  for (int32_t j = 0; j < num_classes && left > 0; ++j) {
    int32_t end = pos;
    while (end < cand && classes[tags[end]] == classes[tags[pos]]) ++end;
    const int32_t c = end - pos;
    if (c != sizes[j]) return BSINARG;
    if (c <= left) {
      for (int32_t i = pos; i < end; ++i) removed[out++] = knots[k + tags[i]];
      left -= c;
    } else {
      for (int32_t jj = 1; jj <= left; ++jj) {
        const auto at = static_cast<int32_t>(std::floor((jj - 0.5) * (c + 1) / left + 0.5));
        removed[out++] = knots[k + tags[pos + std::clamp<int32_t>(at, 1, c) - 1]];
      }
      left = 0;
    }
    pos = end;
  }
  return left == 0 ? BSSUCC : BSINARG;
}

// BSrmktsnchg on a validated record: removes knots one copy at a time while the
// reduced curve provably stays within tol of the input. Refined back to the
// input's knots, the reduced curve differs from it by pole differences E that bound
// the curve distance (convex hull of the difference curve). One removal changes
// the refinement of the current curve at one pole only, by the residual, which
// spreads with coefficients in [0, 1] over the input poles under that pole's
// support: a running per-pole bound of |E| accepts most removals in O(k); the
// others are checked exactly by refining the candidate (which also resets the
// bounds to the exact differences).
BSrc reduce_knots(const BScurve &cv, double tolerance, BScurve &out) {
  const int k = cv.order, w = cv.rational ? 4 : 3;
  const int32_t n = cv.num_poles, nk = n + k;
  const double *t0 = cv.knots;
  const std::size_t hp = static_cast<std::size_t>(n) * w;
  ScratchBuffer buf(sizeof(double) * (4 * hp + 2 * static_cast<std::size_t>(nk) + 2 * k +
                                      removal_work(k, w) + 2 * static_cast<std::size_t>(n)));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *h0 = buf.as<double>(), *hc = h0 + hp, *hn = hc + hp, *ref = hn + hp;
  double *tc = ref + hp, *tn = tc + nk, *alpha = tn + nk, *work = alpha + 2 * k;
  double *bx = work + removal_work(k, w), *bw = bx + n;
  pack_record(cv, h0);
  std::memcpy(hc, h0, sizeof(double) * hp);
  std::memcpy(tc, t0, sizeof(double) * nk);
  std::fill(bx, bx + 2 * n, 0.0);
  double bw_max = 0.0;
  double pmax, wmin;
  pole_scale(n, w, h0, &pmax, &wmin);
  const auto rows = [w](double *data) {
    PoleSet s;
    s.group[0] = {data, w, 1, w};
    return s;
  };
  const double ktol = tol().knot_tol;
  int32_t nc = n;
  // Cheap removals first: a knot that costs (nearly) nothing is never blocked by
  // an earlier, costlier removal elsewhere.
  const double phases[3] = {tolerance * 1e-6, tolerance * 1e-3, tolerance};
  for (const double phase : phases) {
    bool removed = true;
    while (removed) {
      removed = false;
      for (int32_t r = k; r <= nc - 1; ++r) {
        const KnotRun run = knot_run(tc, nc + k, r, ktol);
        if (run.first < k || run.last > nc - 1 || run.last - run.first + 1 >= k) {
          r = run.last;
          continue;
        }
        double res[4] = {0, 0, 0, 0};
        int32_t q = 0;
        BSrc rc = remove_knot_poles(k, nc, tc, run, w, hc, nullptr, res, work, &q);
        if (rc != BSSUCC) return rc;
        const double dx = std::sqrt(res[0] * res[0] + res[1] * res[1] + res[2] * res[2]);
        const double dw = w == 4 ? res[3] : 0.0;
        if (!(deviation_bound(dx, dw, pmax, wmin) <= phase)) {
          r = run.last;
          continue;
        }
        // Input poles under the support [tc[q], tc[q + k]] of the changed pole.
        const int32_t jlo = std::max<int32_t>(
            0, static_cast<int32_t>(std::upper_bound(t0, t0 + nk, tc[q]) - t0) - k - 1);
        const int32_t jhi = std::min<int32_t>(
            n - 1, static_cast<int32_t>(std::lower_bound(t0, t0 + nk, tc[q + k]) - t0));
        double worst = 0.0, bw_new = bw_max;
        for (int32_t j = jlo; j <= jhi; ++j) bw_new = std::max(bw_new, bw[j] + dw);
        for (int32_t j = jlo; j <= jhi; ++j)
          worst = std::max(worst, deviation_bound(bx[j] + dx, bw[j] + dw, pmax, wmin - bw_new));
        if (worst <= tolerance) {
          if ((rc = remove_knot_poles(k, nc, tc, run, w, hc, hc, res, work, nullptr)) != BSSUCC)
            return rc;
          for (int32_t j = jlo; j <= jhi; ++j) {
            bx[j] += dx;
            bw[j] += dw;
          }
          bw_max = bw_new;
        } else {
          // Exact check: refine the candidate back to the input's knots.
          if ((rc = remove_knot_poles(k, nc, tc, run, w, hc, hn, res, work, nullptr)) != BSSUCC)
            return rc;
          std::memcpy(tn, tc, sizeof(double) * run.last);
          std::memcpy(tn + run.last, tc + run.last + 1, sizeof(double) * (nc + k - run.last - 1));
          refine_poles(k, nc - 1, tn, rows(hn), n, t0, rows(ref), alpha);
          double wref = wmin, bmax = 0.0;
          for (int32_t i = 0; i < n && w == 4; ++i) wref = std::min(wref, ref[i * w + 3]);
          worst = 0.0;
          for (int32_t i = 0; i < n; ++i) {
            const double *a = ref + static_cast<std::size_t>(i) * w,
                         *b = h0 + static_cast<std::size_t>(i) * w;
            bx[i] = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                              (a[2] - b[2]) * (a[2] - b[2]));
            bw[i] = w == 4 ? std::fabs(a[3] - b[3]) : 0.0;
            bmax = std::max(bmax, bw[i]);
            worst = std::max(worst, deviation_bound(bx[i], bw[i], pmax, wref));
          }
          if (!(worst <= tolerance)) {
            // Rejected: back to the bounds of the current curve, recomputed exactly.
            refine_poles(k, nc, tc, rows(hc), n, t0, rows(ref), alpha);
            bw_max = 0.0;
            for (int32_t i = 0; i < n; ++i) {
              const double *a = ref + static_cast<std::size_t>(i) * w,
                           *b = h0 + static_cast<std::size_t>(i) * w;
              bx[i] = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                (a[2] - b[2]) * (a[2] - b[2]));
              bw[i] = w == 4 ? std::fabs(a[3] - b[3]) : 0.0;
              bw_max = std::max(bw_max, bw[i]);
            }
            r = run.last;
            continue;
          }
          bw_max = bmax;
          std::swap(hc, hn);
        }
        std::memmove(tc + run.last, tc + run.last + 1, sizeof(double) * (nc + k - run.last - 1));
        --nc;
        removed = true;
        r = run.first - 1;  // the same run again, one copy fewer
      }
    }
  }
  unpack_record(cv, nc, hc, tc, out);
  return BSSUCC;
}

// BSrmnknot_b on validated input: every interior run of equal knots (within
// 1e-12) is reduced to one knot; runs of k or more copies (breaks) first lose
// copies by merging the two poles on either side of the break into their mean.
BSrc reduce_multiplicities(int k, int dim, double *poles, double *knots, int32_t *num_knots) {
  int32_t n = *num_knots - k;
  double res[64];
  ScratchBuffer buf(sizeof(double) * removal_work(k, dim));
  if (!buf.ok()) return BSNOSTKMEMORY;
  for (int32_t r = k; r <= n - 1; ++r) {
    KnotRun run = knot_run(knots, n + k, r, 1e-12);
    if (run.first < k || run.last > n - 1 || run.last == run.first) {
      r = run.last;
      continue;
    }
    while (run.last > run.first) {
      const int s = run.last - run.first + 1;
      if (s >= k) {
        // Poles first-1 and first (the last of the left piece and the first of
        // the right one for s == k) become one.
        double *a = poles + static_cast<std::size_t>(run.last - k) * dim;
        for (int c = 0; c < dim; ++c) a[c] = 0.5 * (a[c] + a[c + dim]);
        std::memmove(a + dim, a + 2 * dim, sizeof(double) * dim * (n - (run.last - k) - 2));
      } else {
        const BSrc rc =
            remove_knot_poles(k, n, knots, run, dim, poles, poles, res, buf.as<double>(), nullptr);
        if (rc != BSSUCC) return rc;
      }
      std::memmove(knots + run.last, knots + run.last + 1, sizeof(double) * (n + k - run.last - 1));
      --n;
      --run.last;
    }
    r = run.last;
  }
  *num_knots = n + k;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

bool breaks_increasing(int32_t J, const double *u) {
  for (int32_t j = 0; j <= J; ++j)
    if (!std::isfinite(u[j]) || (j > 0 && !(u[j] > u[j - 1]))) return false;
  return true;
}

}  // namespace

extern "C" KW_API void BSrmvkts4(int32_t num_pieces, int32_t rows, const double *pieces,
                                 const double *breaks, double *poles) {
  if (pieces == nullptr || breaks == nullptr || poles == nullptr || num_pieces < 1 || rows < 1 ||
      !breaks_increasing(num_pieces, breaks))
    return;
  bezier_chain_to_spline(3, num_pieces, rows, pieces, breaks, poles);
}

extern "C" KW_API void BSrmvkts5(int32_t num_pieces, int32_t rows, const double *pieces,
                                 const double *breaks, double *poles, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (pieces == nullptr || breaks == nullptr || poles == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (num_pieces < 1 || rows < 1 || !breaks_increasing(num_pieces, breaks)) {
    *rc = BSINARG;
    return;
  }
  bezier_chain_to_spline(4, num_pieces, rows, pieces, breaks, poles);
}

extern "C" KW_API void BSbzod3bsp(int32_t num_pieces, int32_t rows, const double *pieces,
                                  const double *breaks, double *poles, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (pieces == nullptr || breaks == nullptr || poles == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (num_pieces < 1 || rows < 1 || !breaks_increasing(num_pieces, breaks)) {
    *rc = BSINARG;
    return;
  }
  bezier_chain_to_spline(2, num_pieces, rows, pieces, breaks, poles);
}

extern "C" KW_API void BSrm_kt_app(const BScurve *curve, int32_t r, BScurve *out, double *error,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out == nullptr || error == nullptr || out->poles == nullptr || out->knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  if (curve->rational && out->weights == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = remove_one_knot(*curve, r, *out, error);
}

extern "C" KW_API void BSknot_rem2(const double *knots, int16_t order, int32_t num_knots,
                                   const int32_t *classes, const int32_t *class_sizes,
                                   int32_t num_classes, int32_t q, double *removed, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (knots == nullptr || removed == nullptr ||
      (q > 0 && q < num_knots - order && (classes == nullptr || class_sizes == nullptr))) {
    *rc = BSNULLPTR;
    return;
  }
  if (order < 1 || num_knots <= order || q < 0 || q > num_knots - order || num_classes < 0) {
    *rc = BSINARG;
    return;
  }
  if (q == 0) return;
  // Results go to the caller only when the whole choice succeeded.
  ScratchBuffer buf(sizeof(double) * q);
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *chosen = buf.as<double>();
  if ((*rc = choose_knots(knots, order, num_knots, classes, class_sizes, num_classes, q, chosen)) ==
      BSSUCC)
    std::memcpy(removed, chosen, sizeof(double) * q);
}

extern "C" KW_API void BSrmktsnchg(const BScurve *curve, double tolerance, BScurve *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out == nullptr || out->poles == nullptr || out->knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  if (curve->rational && out->weights == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (!std::isfinite(tolerance) || tolerance < 0.0) {
    *rc = BSINARG;
    return;
  }
  ToleranceOverride knot_tol(
      &BSparameters::knot_tol,
      curve_knot_tolerance(curve->order, curve->knots, curve->num_poles, curve->poles,
                           curve->rational ? curve->weights : nullptr));
  *rc = reduce_knots(*curve, tolerance, *out);
}

extern "C" KW_API void BSrmnknot_b(int16_t order, int32_t dim, double *poles, double *knots,
                                   int32_t *num_knots, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr || num_knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (order < 2 || dim < 1 || dim > 64 || *num_knots < 2 * order ||
      !knots_ascending(knots, *num_knots) || !(knots[order - 1] < knots[*num_knots - order])) {
    *rc = BSINARG;
    return;
  }
  const int32_t n = *num_knots - order;
  for (int64_t i = 0; i < static_cast<int64_t>(n) * dim; ++i)
    if (!std::isfinite(poles[i])) {
      *rc = BSINARG;
      return;
    }
  // Work on copies so that a failure leaves the caller's arrays as they were.
  ScratchBuffer buf(sizeof(double) * (static_cast<std::size_t>(n) * dim + *num_knots));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double *p = buf.as<double>(), *t = p + static_cast<std::size_t>(n) * dim;
  std::memcpy(p, poles, sizeof(double) * n * dim);
  std::memcpy(t, knots, sizeof(double) * *num_knots);
  int32_t count = *num_knots;
  if ((*rc = reduce_multiplicities(order, dim, p, t, &count)) != BSSUCC) return;
  std::memcpy(poles, p, sizeof(double) * (count - order) * dim);
  std::memcpy(knots, t, sizeof(double) * count);
  *num_knots = count;
}
