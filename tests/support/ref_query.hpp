// Brute-force references for the query tests and the soak, from the reference
// evaluator alone: the nearest point of a curve by dense sampling refined by golden
// section (point_set.hpp), random curves with cusps, straight runs, closed ends and
// unclamped knots, the sign changes of the distance to a plane, and the crossings of
// planar curves by their sampled polylines refined by Newton.
#ifndef KNOTWORK_TESTS_SUPPORT_REF_QUERY_HPP
#define KNOTWORK_TESTS_SUPPORT_REF_QUERY_HPP

#include <gtest/gtest.h>

#include "point_set.hpp"
#include "ref_curves.hpp"

namespace kwtest {

using P3 = std::array<double, 3>;

inline double dist(const P3 &a, const P3 &b) {
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}
inline double dist3(const double *a, const double *b) {
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

// The Cartesian pole i of c, and c moved by `by` (weights kept).
inline P3 pole_of(const RefCurve &c, int32_t i) {
  const double w = c.rational() ? c.weights[i] : 1.0;
  return {c.poles[3 * i] / w, c.poles[3 * i + 1] / w, c.poles[3 * i + 2] / w};
}
inline void set_pole(RefCurve &c, int32_t i, const P3 &p) {
  const double w = c.rational() ? c.weights[i] : 1.0;
  for (int q = 0; q < 3; ++q) c.poles[3 * i + q] = w * p[q];
}
inline void translate(RefCurve &c, const P3 &by) {
  for (int32_t i = 0; i < c.n(); ++i) {
    const P3 p = pole_of(c, i);
    set_pole(c, i, {p[0] + by[0], p[1] + by[1], p[2] + by[2]});
  }
}

// ---- Nearest points ----------------------------------------------------------------

// Distance from p to the curve point at u (u clamped into the domain).
inline double dist_at(const RefCurve &c, double u, const double *p) {
  const auto q = ref_eval(c, std::clamp(u, c.lo(), c.hi()));
  return std::hypot(q[0] - p[0], q[1] - p[1], q[2] - p[2]);
}

// Size of a curve: the diagonal of its (unweighted) pole box.
inline double curve_size(const RefCurve &c) {
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
  for (int i = 0; i < c.n(); ++i)
    for (int d = 0; d < 3; ++d) {
      const double x = c.poles[3 * i + d] / (c.rational() ? c.weights[i] : 1.0);
      lo[d] = std::min(lo[d], x), hi[d] = std::max(hi[d], x);
    }
  return std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
}

// Minimum distance from p to the curve: samples no farther apart than 1/per_span of
// the curve's size (and at least four a span), refined by golden section.
inline double brute_force_min(const RefCurve &c, const double *p, int per_span = 64) {
  const BScurve cv = const_cast<RefCurve &>(c).view();
  const double step = std::max(curve_size(c), 1e-300) / per_span;
  return distance_to_curve(cv, {p[0], p[1], p[2]}, spaced_parameters(cv, c.lo(), c.hi(), step),
                           step);
}

// Random curve of order k with n poles as random_curve makes them (interior knots
// repeated up to k - 1, unclamped ends when not clamped), scaled and moved onto a
// random domain; at random a straight run of k poles and a cusp (a pole folded back
// onto the one before its neighbour); closed curves repeat the first pole at the end.
inline RefCurve query_curve(std::mt19937_64 &rng, int k, int n, bool rational, bool closed,
                            double scale = 1.0, bool clamped = true) {
  std::uniform_real_distribution<double> V(0.0, 1.0);
  RefCurve c = random_curve(rng, CurveShape{k, n, rational, true, clamped, scale});
  if (n >= k + 2 && V(rng) < 0.5) {
    const int i0 = static_cast<int>(V(rng) * (n - k));
    const P3 a = pole_of(c, i0), b = pole_of(c, i0 + k - 1);
    for (int j = 1; j < k - 1; ++j) {
      const double s = j / (k - 1.0);
      set_pole(c, i0 + j,
               {a[0] + s * (b[0] - a[0]), a[1] + s * (b[1] - a[1]), a[2] + s * (b[2] - a[2])});
    }
  }
  if (n >= 4 && V(rng) < 0.5) {
    const int i0 = 1 + static_cast<int>(V(rng) * (n - 3));
    set_pole(c, i0 + 1, pole_of(c, i0 - 1));
  }
  c.closed = closed;
  if (closed) set_pole(c, n - 1, pole_of(c, 0));
  const double a = 6 * V(rng) - 3, len = 0.5 + 2 * V(rng);
  for (double &t : c.knots) t = a + len * t;
  return c;
}

// A nearest point by BSmdstptcv.
struct Foot {
  double u = 0, foot[3] = {0, 0, 0}, dist = 0;
  BSrc rc = 99;
};

inline Foot nearest(RefCurve &c, const double *p) {
  BScurve cv = c.view();
  Foot f;
  BSmdstptcv(&cv, p, &f.u, f.foot, &f.dist, &f.rc);
  return f;
}

// One projection against the reference: distance at most the brute-force minimum
// plus 1e-9 of the curve size (and the end snap's dist_tol / 2), parameter in the
// domain, foot = C(u), dist = |P - foot|; a closed curve never answers with its end.
inline void expect_nearest(const RefCurve &c, const double *p, const Foot &f, int trial,
                           int per_span = 48) {
  const double size = std::max(curve_size(c), 1e-300);
  EXPECT_LE(f.dist, brute_force_min(c, p, per_span) + 1e-9 * size + 0.5 * BSparameters.dist_tol)
      << "trial " << trial;
  EXPECT_TRUE(f.u >= c.lo() && f.u <= c.hi()) << "trial " << trial;
  const auto q = ref_eval(c, f.u);
  EXPECT_LE(dist3(q.data(), f.foot), 1e-12 * (1 + size)) << "trial " << trial;
  EXPECT_NEAR(f.dist, dist3(p, f.foot), 1e-14 * (1 + f.dist)) << "trial " << trial;
  EXPECT_FALSE(c.closed && f.u == c.hi()) << "closed curve answered with its end, trial " << trial;
}

// ---- Dense samples -----------------------------------------------------------------

// A curve with its dense samples (parameters and points no farther than step apart).
struct Sampled {
  RefCurve ref;
  BScurve cv;
  std::vector<double> u;
  std::vector<P3> p;
  double step;
  explicit Sampled(RefCurve c, double step_ = 0.02)
      : ref(std::move(c)), cv(ref.view()), step(step_) {
    u = spaced_parameters(cv, ref.lo(), ref.hi(), step);
    for (double t : u) p.push_back(ref_eval(cv, t));
  }
  Sampled(const Sampled &) = delete;
  P3 at(double t) const { return ref_eval(ref, t); }
};

// Counts of a check against brute force.
struct Counts {
  long queries = 0, found = 0, misses = 0, duplicates = 0, inconsistent = 0;
  void add(const Counts &o) {
    misses += o.misses, duplicates += o.duplicates, inconsistent += o.inconsistent;
  }
  void expect_clean() const {
    EXPECT_EQ(misses, 0);
    EXPECT_EQ(duplicates, 0);
    EXPECT_EQ(inconsistent, 0);
  }
};

// ---- Curve and plane ---------------------------------------------------------------

// Roots (pars, points pts) and zero intervals of a curve and the plane through x
// with unit normal nrm: every root within value_tol of the plane (2 basis_tol when
// 0: near-tangent touches) and on the curve, roots at least min_gap apart (1e-9 of
// the domain when 0), every sign change of the sampled distance covered by a root
// or an interval.
inline Counts check_plane_hits(const Sampled &s, const P3 &x, const P3 &nrm, int32_t np,
                               const double *pars, const double *pts, int32_t ni,
                               const double *starts, const double *ends, double value_tol = 0,
                               double min_gap = 0) {
  Counts n;
  const auto f = [&](const P3 &p) {
    return (p[0] - x[0]) * nrm[0] + (p[1] - x[1]) * nrm[1] + (p[2] - x[2]) * nrm[2];
  };
  const double tol = BSparameters.basis_tol, slack = 1e-9;
  for (int32_t j = 0; j < np; ++j) {
    const P3 c = s.at(pars[j]);
    if (std::fabs(f(c)) > (value_tol > 0 ? value_tol : 2 * tol) ||
        dist(c, {pts[3 * j], pts[3 * j + 1], pts[3 * j + 2]}) > 1e-9)
      ++n.inconsistent, ADD_FAILURE() << "root " << pars[j] << " off the plane or the curve";
    if (j > 0 && pars[j] - pars[j - 1] <= std::max(min_gap, 1e-9 * (s.ref.hi() - s.ref.lo())))
      ++n.duplicates, ADD_FAILURE() << "root " << pars[j] << " twice";
  }
  const auto covered = [&](double a, double b) {
    for (int32_t j = 0; j < np; ++j)
      if (pars[j] >= a - slack && pars[j] <= b + slack) return true;
    for (int32_t j = 0; j < ni; ++j)
      if (starts[j] <= b + slack && ends[j] >= a - slack) return true;
    // The crossing at the seam of a closed curve is reported at its start.
    return s.ref.closed && b == s.ref.hi() && np > 0 && pars[0] == s.ref.lo();
  };
  // A sign change where the curve runs within the tolerance of the plane may be
  // reported anywhere along that run (as a touch or a zero interval).
  for (size_t i = 1; i < s.p.size(); ++i) {
    const double f0 = f(s.p[i - 1]), f1 = f(s.p[i]);
    size_t lo = i - 1, hi = i;
    while (lo > 0 && std::fabs(f(s.p[lo])) <= tol) --lo;
    while (hi + 1 < s.p.size() && std::fabs(f(s.p[hi])) <= tol) ++hi;
    if (((f0 < 0 && f1 > 0) || (f0 > 0 && f1 < 0)) && !covered(s.u[lo], s.u[hi]))
      ++n.misses, ADD_FAILURE() << "missed a crossing in [" << s.u[i - 1] << ", " << s.u[i] << "]";
  }
  return n;
}

// ---- Curve and curve ---------------------------------------------------------------

// Newton on a(u) - b(v) = 0 in the xy plane by central differences: true when it
// converges inside both domains (u, v then hold the crossing).
inline bool refine_crossing(const Sampled &a, const Sampled &b, double *u, double *v) {
  const double ha = 1e-7 * (a.ref.hi() - a.ref.lo()), hb = 1e-7 * (b.ref.hi() - b.ref.lo());
  for (int it = 0; it < 30; ++it) {
    const P3 pa = a.at(*u), pb = b.at(*v);
    const double fx = pa[0] - pb[0], fy = pa[1] - pb[1];
    if (std::hypot(fx, fy) < 1e-12) return true;
    const P3 a0 = a.at(*u - ha), a1 = a.at(*u + ha), b0 = b.at(*v - hb), b1 = b.at(*v + hb);
    const double j00 = (a1[0] - a0[0]) / (2 * ha), j10 = (a1[1] - a0[1]) / (2 * ha);
    const double j01 = -(b1[0] - b0[0]) / (2 * hb), j11 = -(b1[1] - b0[1]) / (2 * hb);
    const double det = j00 * j11 - j01 * j10;
    if (!(std::fabs(det) > 1e-12)) return false;
    *u -= (j11 * fx - j01 * fy) / det;
    *v -= (j00 * fy - j10 * fx) / det;
    if (!(*u >= a.ref.lo() && *u <= a.ref.hi() && *v >= b.ref.lo() && *v <= b.ref.hi()))
      return false;
  }
  return false;
}

// A crossing: the point and its parameters on both curves.
struct Crossing {
  P3 p;
  double u, v;
};

// Sine of the angle between the curves at a crossing (central differences): a
// result within tol of both curves lies within about tol / sine of the crossing.
inline double crossing_sine(const Sampled &a, const Sampled &b, const Crossing &x) {
  P3 t[2];
  for (int c = 0; c < 2; ++c) {
    const Sampled &s = c == 0 ? a : b;
    const double w = c == 0 ? x.u : x.v, h = 1e-6 * (s.ref.hi() - s.ref.lo());
    const P3 p0 = s.at(std::max(s.ref.lo(), w - h)), p1 = s.at(std::min(s.ref.hi(), w + h));
    const double len = dist(p0, p1);
    for (int i = 0; i < 3; ++i) t[c][i] = len > 0 ? (p1[i] - p0[i]) / len : 0.0;
  }
  return std::hypot(t[0][1] * t[1][2] - t[0][2] * t[1][1], t[0][2] * t[1][0] - t[0][0] * t[1][2],
                    t[0][0] * t[1][1] - t[0][1] * t[1][0]);
}

// Crossings of the sampled polylines of two planar curves, refined by Newton.
inline std::vector<Crossing> planar_crossings(const Sampled &a, const Sampled &b) {
  const auto orient = [](const P3 &o, const P3 &p, const P3 &q) {
    return (p[0] - o[0]) * (q[1] - o[1]) - (p[1] - o[1]) * (q[0] - o[0]);
  };
  std::vector<Crossing> out;
  for (size_t i = 1; i < a.p.size(); ++i)
    for (size_t j = 1; j < b.p.size(); ++j) {
      const P3 &p0 = a.p[i - 1], &p1 = a.p[i], &q0 = b.p[j - 1], &q1 = b.p[j];
      if (std::max(p0[0], p1[0]) < std::min(q0[0], q1[0]) ||
          std::max(q0[0], q1[0]) < std::min(p0[0], p1[0]) ||
          std::max(p0[1], p1[1]) < std::min(q0[1], q1[1]) ||
          std::max(q0[1], q1[1]) < std::min(p0[1], p1[1]))
        continue;
      const double d1 = orient(p0, p1, q0), d2 = orient(p0, p1, q1);
      const double d3 = orient(q0, q1, p0), d4 = orient(q0, q1, p1);
      if (!(d1 * d2 < 0 && d3 * d4 < 0)) continue;
      const double s = d3 / (d3 - d4), t = d1 / (d1 - d2);
      double u = a.u[i - 1] + s * (a.u[i] - a.u[i - 1]), v = b.u[j - 1] + t * (b.u[j] - b.u[j - 1]);
      if (refine_crossing(a, b, &u, &v)) out.push_back({a.at(u), u, v});
    }
  return out;
}

// Crossings (pts at u1 on a, u2 on b) and overlaps (parameter ranges on a, then on
// b) of two curves: every point on both curves, no two the same intersection, and
// every wanted crossing reported (with the planar ones when planar).
inline Counts check_crossings(const Sampled &a, const Sampled &b, const std::vector<P3> &pts,
                              const std::vector<double> &u1, const std::vector<double> &u2,
                              const std::vector<std::array<double, 4>> &over,
                              std::vector<Crossing> wanted, bool planar) {
  Counts n;
  const double tol = BSparameters.dist_tol;
  for (size_t i = 0; i < pts.size(); ++i) {
    if (dist(a.at(u1[i]), pts[i]) > tol || dist(b.at(u2[i]), pts[i]) > tol)
      ++n.inconsistent, ADD_FAILURE() << "result " << i << " off its curves";
    for (size_t j = 0; j < i; ++j)
      if (dist(pts[i], pts[j]) <= tol && dist(a.at(0.5 * (u1[i] + u1[j])), pts[i]) < 1e-4 &&
          dist(b.at(0.5 * (u2[i] + u2[j])), pts[i]) < 1e-4)
        ++n.duplicates, ADD_FAILURE() << "results " << j << " and " << i << " coincide";
  }
  const auto reported = [&](const Crossing &x) {
    const double near = tol / std::max(crossing_sine(a, b, x), 1e-3);
    for (const P3 &q : pts)
      if (dist(x.p, q) <= near) return true;
    for (const auto &o : over) {
      double d = HUGE_VAL;
      for (int m = 0; m <= 64; ++m) d = std::min(d, dist(x.p, a.at(o[0] + (o[1] - o[0]) * m / 64)));
      if (d <= 0.05) return true;  // on (or beside) the overlap's stretch
    }
    return false;
  };
  if (planar) {
    const std::vector<Crossing> more = planar_crossings(a, b);
    wanted.insert(wanted.end(), more.begin(), more.end());
  }
  for (const Crossing &x : wanted)
    if (!reported(x))
      ++n.misses, ADD_FAILURE() << "missed " << x.p[0] << " " << x.p[1] << " " << x.p[2];
  return n;
}

}  // namespace kwtest

#endif
