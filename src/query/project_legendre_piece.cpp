// Nearest point of one Bezier piece held in Legendre form.
//
// The search keeps, per sub-piece, the Legendre rows of C - P (homogeneous when
// rational: N - P w and the weight row) and the Bernstein coefficients of the
// numerator q of (C - P) . C' (q / w^3 when rational, w > 0), whose sign is the
// sign of the slope of the squared distance. The Legendre rows bound the distance
// (|P_k| <= 1 on [-1, 1]: a row lies within l_0 -+ sum |l_k|); the sign changes of
// q count the turns of the distance exactly up to rounding: none, the minimum is
// an end; one from - to +, a single interior minimum found by bracketed Newton
// steps. Only sub-pieces with more turns are halved, unless their rows truncate
// to straight lines at tol / 128 (solved on the chord) or the distance varies by
// rounding only.
#include <cmath>
#include <cstring>

#include "bases/series.hpp"
#include "bspline/bezier.hpp"
#include "frame/frame.hpp"
#include "knotwork.h"
#include "query/project_legendre.hpp"

namespace knotwork {

namespace {

constexpr double kPruneMargin = 1.00000000000001;
constexpr double kWidthFloor = 1e-13;
constexpr int kQ = kMaxPieceValues;                 // offset of q in a node
constexpr int kT = kQ + kMaxNumeratorCoefficients;  // offset of the t interval

double dist_sq(int dim, const double *a, const double *b) {
  double s = 0.0;
  for (int d = 0; d < dim; ++d) s += (a[d] - b[d]) * (a[d] - b[d]);
  return s;
}

// Lower bound of the squared distance from a sub-piece given by its Legendre rows
// of C - P (homogeneous when rational: |C - P| = |N - P w| / w) to P.
double box_distance_sq(int deg, int dim, bool rational, const double *rows) {
  const int k = deg + 1;
  double whi = 1.0;
  if (rational) {
    double s = 0.0;
    const double *w = rows + dim * k;
    for (int i = 1; i < k; ++i) s += std::fabs(w[i]);
    if (!(w[0] - s > 0.0)) return 0.0;  // the weight range says nothing yet
    whi = w[0] + s;
  }
  double sum = 0.0;
  for (int d = 0; d < dim; ++d) {
    const double *r = rows + d * k;
    double s = 0.0;
    for (int i = 1; i < k; ++i) s += std::fabs(r[i]);
    const double e = r[0] - s > 0.0 ? r[0] - s : r[0] + s < 0.0 ? -(r[0] + s) : 0.0;
    sum += e * e;
  }
  return sum / (whi * whi);
}

// Smallest value of the weight row on the sub-piece by its Legendre range (1 for
// a polynomial piece; 0 when the range says nothing).
double weight_floor(int deg, int dim, bool rational, const double *rows) {
  if (!rational) return 1.0;
  const double *w = rows + dim * (deg + 1);
  double s = 0.0;
  for (int i = 1; i <= deg; ++i) s += std::fabs(w[i]);
  return w[0] - s > 0.0 ? w[0] - s : 0.0;
}

struct SignPattern {
  int changes = 0;
  int first = 0;   // sign of the first non-zero coefficient (0: all zero)
  int cross = -1;  // index of the last coefficient before the first change
  double largest = 0.0;
};

SignPattern sign_pattern(const double *c, int count) {
  SignPattern sp;
  int last = 0, prev = -1;
  for (int i = 0; i < count; ++i) {
    sp.largest = std::fmax(sp.largest, std::fabs(c[i]));
    const int s = c[i] > 0.0 ? 1 : c[i] < 0.0 ? -1 : 0;
    if (s == 0) continue;
    if (sp.first == 0) sp.first = s;
    if (last != 0 && s != last && sp.changes++ == 0) sp.cross = prev;
    last = s;
    prev = i;
  }
  return sp;
}

// Where the control polygon of c crosses zero after index cross, in [0, 1].
double polygon_crossing(const double *c, int count, int cross) {
  int next = cross + 1;
  while (next < count && c[next] == 0.0) ++next;
  if (cross < 0 || next >= count) return 0.5;
  const double x0 = static_cast<double>(cross) / (count - 1);
  const double x1 = static_cast<double>(next) / (count - 1);
  return x0 + (x1 - x0) * (c[cross] / (c[cross] - c[next]));
}

// The search state of one point on one piece.
struct PieceSearch {
  const LegendrePiece &f;
  const double *p;
  double best_sq;
  double best_t = 0.0;
  bool found = false;

  void consider(double t) {
    double c[kMaxPieceValues];
    legendre_piece_point(f, t, c);
    const double s = dist_sq(f.dim, c, p);
    if (s < best_sq) {
      best_sq = s;
      best_t = t;
      found = true;
    }
  }

  // (C - P) . C' at t and its derivative.
  double slope(double t, double *g1) const {
    double e[3 * kMaxPieceValues];
    bezier_point_derivatives(f.bezier(), t, e);
    const int dim = f.dim;
    double g = 0.0, gp = 0.0;
    for (int d = 0; d < dim; ++d) {
      const double r = e[d] - p[d];
      g += r * e[dim + d];
      gp += e[dim + d] * e[dim + d] + r * e[2 * dim + d];
    }
    *g1 = gp;
    return g;
  }

  // Newton's method on the slope from t0, kept in [a, b].
  double polish(double t0, double a, double b) const {
    double t = t0;
    for (int it = 0; it < 12; ++it) {
      double gp = 0.0;
      const double g = slope(t, &gp);
      if (!(gp > 0.0)) break;
      double tn = t - g / gp;
      tn = tn < a ? a : tn > b ? b : tn;
      if (tn == t) break;
      const bool small = std::fabs(tn - t) <= 1e-15;
      t = tn;
      if (small) break;
    }
    return t;
  }

  // The single minimum inside [a, b], where the slope goes from - to +: Newton
  // steps kept inside a shrinking bracket, from the start guess.
  void solve_bracket(double a, double b, double guess) {
    double lo = a, hi = b, t = guess > a && guess < b ? guess : 0.5 * (a + b);
    for (int it = 0; it < 80; ++it) {
      double gp = 0.0;
      const double g = slope(t, &gp);
      if (g == 0.0) break;
      if (g < 0.0)
        lo = t;
      else
        hi = t;
      double tn = gp > 0.0 ? t - g / gp : 0.5 * (lo + hi);
      if (!(tn > lo && tn < hi)) tn = 0.5 * (lo + hi);
      const bool done = std::fabs(tn - t) <= 2.3e-16 || hi - lo <= 4.5e-16;
      t = tn;
      if (done) break;
    }
    consider(t);
  }

  // A straight sub-piece [a, b]: the foot on its chord, polished, and both ends.
  void solve_line(double a, double b) {
    double e0[kMaxPieceValues], e1[kMaxPieceValues];
    legendre_piece_point(f, a, e0);
    legendre_piece_point(f, b, e1);
    double num = 0.0, den = 0.0;
    for (int d = 0; d < f.dim; ++d) {
      num += (p[d] - e0[d]) * (e1[d] - e0[d]);
      den += (e1[d] - e0[d]) * (e1[d] - e0[d]);
    }
    double s = den > 0.0 ? num / den : 0.5;
    s = s < 0.0 ? 0.0 : s > 1.0 ? 1.0 : s;
    consider(a);
    consider(b);
    consider(polish(a + (b - a) * s, a, b));
  }
};

}  // namespace

void legendre_piece_point(const LegendrePiece &f, double t, double *c) {
  const int n = f.deg, k = n + 1, rows = f.rows();
  double v[kMaxPieceValues];
  for (int r = 0; r < rows; ++r) {
    const double *row = f.bez + r * k;
    if (t == 0.0 || t == 1.0) {
      v[r] = row[t == 0.0 ? 0 : n];
      continue;
    }
    double b[kMaxPieceOrder];
    std::memcpy(b, row, sizeof(double) * k);
    const double s = 1.0 - t;
    for (int level = 1; level <= n; ++level)
      for (int i = 0; i <= n - level; ++i) b[i] = s * b[i] + t * b[i + 1];
    v[r] = b[0];
  }
  const double w = f.rational ? v[f.dim] : 1.0;
  for (int d = 0; d < f.dim; ++d) c[d] = v[d] / w;
}

bool legendre_rows_straight(int deg, int rows, const double *l, double ttol) {
  for (int r = 0; r < rows; ++r)
    if (truncated_degree(deg, l + r * (deg + 1), ttol) > 1) return false;
  return true;
}

BSrc nearest_on_legendre_piece(const LegendrePiece &f, const double *p, double tol, double bound,
                               double *work, double *dist, double *t, double *foot) {
  PieceSearch s{f, p, bound < kLargestDouble ? bound * bound : kLargestDouble};
  const int deg = f.deg, k = deg + 1, dim = f.dim, rows = f.rows(), vals = rows * k;
  const double ttol = tol * kLegendreTruncation;
  // The root node: rows of C - P (N - P w when rational), q, and t in [0, 1].
  double *root = work;
  std::memcpy(root, f.lgd, sizeof(double) * vals);
  const double *w = f.lgd + dim * k;
  for (int d = 0; d < dim; ++d) {
    if (!f.rational) root[d * k] -= p[d];
    for (int i = 0; f.rational && i < k; ++i) root[d * k + i] -= p[d] * w[i];
  }
  if (box_distance_sq(deg, dim, f.rational, root) >= s.best_sq * kPruneMargin) return BSNOSOLUTION;
  const int count = perpendicular_numerator(f.bezier(), p, root + kQ);
  root[kT] = 0.0;
  root[kT + 1] = 1.0;
  int top = 1;
  while (top > 0) {
    double *nd = work + static_cast<std::ptrdiff_t>(--top) * kLegendreNodeValues;
    const double a = nd[kT], b = nd[kT + 1];
    if (box_distance_sq(deg, dim, f.rational, nd) >= s.best_sq * kPruneMargin) continue;
    const SignPattern sp = sign_pattern(nd + kQ, count);
    if (sp.changes == 0) {  // monotone: the nearer end (any point when constant)
      s.consider(sp.first >= 0 ? a : b);
      continue;
    }
    if (sp.changes == 1) {
      if (sp.first < 0) {
        s.solve_bracket(a, b, a + (b - a) * polygon_crossing(nd + kQ, count, sp.cross));
      } else {  // one interior maximum
        s.consider(a);
        s.consider(b);
      }
      continue;
    }
    // The squared distance varies by 2 |q| / w^3 per unit of t: by rounding only?
    const double wlo = weight_floor(deg, dim, f.rational, nd);
    if (wlo > 0.0) {
      double c[kMaxPieceValues];
      legendre_piece_point(f, a, c);
      const double ref = dist_sq(dim, c, p) + 1e-300;
      if (2.0 * sp.largest * (b - a) <= 32.0 * 2.2e-16 * ref * wlo * wlo * wlo) {
        s.consider(a);
        continue;
      }
    }
    if (b - a <= kWidthFloor || top + 2 > kLegendreNodeStack ||
        legendre_rows_straight(deg, rows, nd, ttol)) {
      s.solve_line(a, b);
      continue;
    }
    const double m = 0.5 * (a + b);
    s.consider(m);
    // Halves into slots top and top + 1; the nearer one goes on top.
    double tmp[kLegendreNodeValues];
    std::memcpy(tmp, nd, sizeof(double) * vals);
    std::memcpy(tmp + kQ, nd + kQ, sizeof(double) * count);
    double h0[kLegendreNodeValues], h1[kLegendreNodeValues];
    for (int r = 0; r < rows; ++r)
      halve_legendre_unchecked(deg, tmp + r * k, h0 + r * k, h1 + r * k);
    halve_bezier_rows(count - 1, 1, tmp + kQ, h0 + kQ, h1 + kQ);
    h0[kT] = a, h0[kT + 1] = m;
    h1[kT] = m, h1[kT + 1] = b;
    const bool left_nearer =
        box_distance_sq(deg, dim, f.rational, h0) < box_distance_sq(deg, dim, f.rational, h1);
    double *lower = work + static_cast<std::ptrdiff_t>(top) * kLegendreNodeValues;
    for (int h = 0; h < 2; ++h) {
      const double *src = (h == 0) == left_nearer ? h1 : h0;
      double *dst = lower + h * kLegendreNodeValues;
      std::memcpy(dst, src, sizeof(double) * vals);
      std::memcpy(dst + kQ, src + kQ, sizeof(double) * (count));
      dst[kT] = src[kT], dst[kT + 1] = src[kT + 1];
    }
    top += 2;
  }
  if (!s.found) return BSNOSOLUTION;
  legendre_piece_point(f, s.best_t, foot);
  *dist = std::sqrt(dist_sq(dim, foot, p));
  *t = s.best_t;
  return BSSUCC;
}

bool prefer_piece_end(const LegendrePiece &f, const double *p, double tol, double bound, bool found,
                      double *dist, double *t, double *foot) {
  double c0[kMaxPieceValues], c1[kMaxPieceValues];
  legendre_piece_point(f, 0.0, c0);
  legendre_piece_point(f, 1.0, c1);
  const double d0 = std::sqrt(dist_sq(f.dim, c0, p)), d1 = std::sqrt(dist_sq(f.dim, c1, p));
  const bool right = d1 < d0;
  const double d = right ? d1 : d0;
  if (found ? !(d < *dist + 0.5 * tol) : !(d < bound)) return found;
  *dist = d;
  *t = right ? 1.0 : 0.0;
  std::memcpy(foot, right ? c1 : c0, sizeof(double) * f.dim);
  return true;
}

void nearest_on_straight_piece(const LegendrePiece &f, const double *p, double *dist, double *t,
                               double *foot) {
  PieceSearch s{f, p, kLargestDouble};
  s.solve_line(0.0, 1.0);
  legendre_piece_point(f, s.best_t, foot);
  *dist = std::sqrt(dist_sq(f.dim, foot, p));
  *t = s.best_t;
}

namespace {

// A piece given by the caller in Bezier or Legendre rows, with the other form
// made here.
struct OwnedPiece {
  double bez[kMaxPieceValues], lgd[kMaxPieceValues];
  LegendrePiece f;

  OwnedPiece(int deg, int dim, bool rational, const double *rows, bool legendre) {
    f.deg = deg, f.dim = dim, f.rational = rational, f.bez = bez, f.lgd = lgd;
    const int k = deg + 1;
    long double work[2 * kMaxPieceOrder];
    for (int r = 0; r < f.rows(); ++r) {
      if (legendre) {
        std::memcpy(lgd + r * k, rows + r * k, sizeof(double) * k);
        legendre_to_bezier_unchecked(deg, lgd + r * k, bez + r * k, work);
      } else {
        std::memcpy(bez + r * k, rows + r * k, sizeof(double) * k);
        bezier_to_legendre_unchecked(deg, bez + r * k, lgd + r * k, work);
      }
    }
  }
  // Whether the Bezier weights are all positive (a rational piece needs them).
  bool weights_ok() const {
    const int k = f.deg + 1;
    for (int i = 0; f.rational && i < k; ++i)
      if (!(bez[f.dim * k + i] > 0.0)) return false;
    return true;
  }
};

// Statuses of the checks common to the piece entries: -2 bad sizes, rows or
// points not finite or beyond 1e150, tol negative or not finite; 0 otherwise.
BSrc check_piece(int16_t degree, int32_t dim, BSboolean rational, const double *rows,
                 int32_t num_pts, const double *points, double tol) {
  const int rat = rational != 0 ? 1 : 0;
  if (degree < 1 || degree + 1 > kMaxPieceOrder || dim < 1 || dim > kMaxPieceValues ||
      num_pts < 0 || (dim + rat) * (degree + 1) > kMaxPieceValues)
    return BSINARG;
  if (!query_points_ok((dim + rat) * (degree + 1), 1, rows) ||
      !query_points_ok(num_pts, dim, points) || !std::isfinite(tol) || tol < 0.0)
    return BSINARG;
  return BSSUCC;
}

// BSmdptlgcv / BSmdptbzcv on validated input: per point the search, then the end
// pass; found points get their distance, parameter (x in [-1, 1], or t in [0, 1]
// with as_bezier) and foot. 0, or -12 when some point found nothing.
BSrc nearest_on_piece_points(const LegendrePiece &f, int32_t num_pts, const double *points,
                             double tol, const double *dists_in, double *dists_out,
                             double *pars_out, double *feet_out, BSrc *pt_rc, bool as_bezier) {
  ScratchBuffer work_buf(sizeof(double) * kLegendreWorkDoubles);
  if (!work_buf.ok()) return BSNOSTKMEMORY;
  bool missing = false;
  for (int32_t i = 0; i < num_pts; ++i) {
    const double *p = points + static_cast<std::ptrdiff_t>(i) * f.dim;
    const double bound = dists_in[i];
    double d = 0.0, t = 0.0, foot[kMaxPieceValues];
    bool found =
        nearest_on_legendre_piece(f, p, tol, bound, work_buf.as<double>(), &d, &t, foot) == BSSUCC;
    found = prefer_piece_end(f, p, tol, bound, found, &d, &t, foot);
    dists_out[i] = found ? d : bound;
    pt_rc[i] = found ? BSSUCC : BSNOSOLUTION;
    missing = missing || !found;
    if (!found) continue;
    pars_out[i] = as_bezier ? t : t == 0.0 ? -1.0 : t == 1.0 ? 1.0 : 2.0 * t - 1.0;
    std::memcpy(feet_out + static_cast<std::ptrdiff_t>(i) * f.dim, foot, sizeof(double) * f.dim);
  }
  return missing ? BSNOSOLUTION : BSSUCC;
}

bool bounds_ok(int32_t n, const double *b) {
  for (int32_t i = 0; i < n; ++i)
    if (!(b[i] >= 0.0)) return false;  // NaN fails too
  return true;
}

// The shared body of BSmdptlgcv and BSmdptbzcv.
void piece_points_entry(int16_t degree, int32_t dim, BSboolean rational, const double *rows,
                        int32_t num_pts, const double *points, double tol, const double *dists_in,
                        double *dists_out, double *pars_out, double *feet_out, BSrc *pt_rc,
                        bool legendre, BSrc *rc) {
  if (rows == nullptr ||
      (num_pts > 0 && (points == nullptr || dists_in == nullptr || dists_out == nullptr ||
                       pars_out == nullptr || feet_out == nullptr || pt_rc == nullptr))) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = check_piece(degree, dim, rational, rows, num_pts, points, tol);
  if (*rc != BSSUCC) return;
  const OwnedPiece pc(degree, dim, rational != 0, rows, legendre);
  if (!pc.weights_ok() || !bounds_ok(num_pts, dists_in)) {
    *rc = BSINARG;
    return;
  }
  *rc = nearest_on_piece_points(pc.f, num_pts, points, tol, dists_in, dists_out, pars_out, feet_out,
                                pt_rc, !legendre);
}

}  // namespace

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSmdptbzcv(int16_t degree, int32_t dim, BSboolean rational, double *poles,
                                  int32_t num_pts, double *points, double tol, double *dists_in,
                                  double *dists_out, double *pars_out, double *feet_out,
                                  BSrc *pt_rc, BSrc *rc) {
  KW_EPILOGUE(rc);
  piece_points_entry(degree, dim, rational, poles, num_pts, points, tol, dists_in, dists_out,
                     pars_out, feet_out, pt_rc, false, rc);
}

extern "C" KW_API void BSmdptlgcv(int16_t degree, int32_t dim, BSboolean rational, double *series,
                                  int32_t num_pts, double *points, double tol, double *dists_in,
                                  double *dists_out, double *xs_out, double *feet_out, BSrc *pt_rc,
                                  BSrc *rc) {
  KW_EPILOGUE(rc);
  piece_points_entry(degree, dim, rational, series, num_pts, points, tol, dists_in, dists_out,
                     xs_out, feet_out, pt_rc, true, rc);
}

extern "C" KW_API void BSmdptlgcv1(int16_t degree, int32_t dim, BSboolean rational, double *series,
                                   double *point, double tol, double bound, double *dist, double *x,
                                   double *foot, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (series == nullptr || point == nullptr || dist == nullptr || x == nullptr || foot == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = check_piece(degree, dim, rational, series, 1, point, tol);
  if (*rc != BSSUCC) return;
  const OwnedPiece pc(degree, dim, rational != 0, series, true);
  if (!pc.weights_ok() || !(bound >= 0.0)) {
    *rc = BSINARG;
    return;
  }
  ScratchBuffer work_buf(sizeof(double) * kLegendreWorkDoubles);
  if (!work_buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  double d = 0.0, t = 0.0, f[kMaxPieceValues];
  *rc = nearest_on_legendre_piece(pc.f, point, tol, bound, work_buf.as<double>(), &d, &t, f);
  if (*rc != BSSUCC) return;
  *dist = d;
  *x = t == 0.0 ? -1.0 : t == 1.0 ? 1.0 : 2.0 * t - 1.0;
  std::memcpy(foot, f, sizeof(double) * dim);
}

extern "C" KW_API void BSmdptlnlg(int16_t degree, int32_t dim, BSboolean rational, double *series,
                                  double *point, double tol, double *dist, double *x, double *foot,
                                  BSrc *rc) {
  KW_EPILOGUE(rc);
  if (series == nullptr || point == nullptr || dist == nullptr || x == nullptr || foot == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  *rc = check_piece(degree, dim, rational, series, 1, point, tol);
  if (*rc != BSSUCC) return;
  const OwnedPiece pc(degree, dim, rational != 0, series, true);
  if (!pc.weights_ok()) {
    *rc = BSINARG;
    return;
  }
  if (!legendre_rows_straight(degree, pc.f.rows(), series, tol * kLegendreTruncation)) {
    *rc = BSDEGENINPUT;
    return;
  }
  double t = 0.0;
  nearest_on_straight_piece(pc.f, point, dist, &t, foot);
  *x = t == 0.0 ? -1.0 : t == 1.0 ? 1.0 : 2.0 * t - 1.0;
}
