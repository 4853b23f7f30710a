// Knotwork side by side with OCCT and SISL: the same random curves and inputs go
// through every backend in one process. Each row reports the minimum thread CPU time over
// repetitions and, next to it, the misses per 10^4 answers against an
// independent long-double reference (evaluation) or a brute-force nearest point
// (dense sampling plus Newton steps). A fast wrong answer shows.
//
// Usage: peers_bench [table.md] [--quick] [--extra] [--offsets] [--eval] [--nearest]
// (--extra: only the intersection, arc length, interpolation, knot removal and
// offset rows; --offsets: only the offset rows; --eval: only the evaluation and
// sweep rows; --nearest: only the nearest-point rows)
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "knotwork.h"
#include "ref_curves.hpp"

#ifdef KW_PEERS_OCCT
#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAPI_ExtremaCurveCurve.hxx>
#include <GeomAPI_IntCS.hxx>
#include <GeomAPI_ProjectPointOnCurve.hxx>
#include <GeomAPI_Interpolate.hxx>
#include <GeomConvert_ApproxCurve.hxx>
#include <Geom_OffsetCurve.hxx>
#include <Geom_Plane.hxx>
#include <TColgp_HArray1OfPnt.hxx>
#include <GeomAdaptor_Curve.hxx>
#include <Geom_BSplineCurve.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt.hxx>
#endif
#ifdef KW_PEERS_SISL
#include <sisl.h>
#endif

namespace {

using kwtest::LD;
using kwtest::RefCurve;

bool g_quick = false;

// ---- Curves -------------------------------------------------------------------

// A random 3-D curve: clamped knots on [0, 1] with random spacing (all interior
// knots simple), poles a random walk of unit steps around `offset`, weights in
// [0.5, 2] (sixteenths) for a rational one (poles stored weighted, as in BScurve).
RefCurve make_curve(int k, int n, bool rational, double offset, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> step(0.5, 1.5), unit(-1.0, 1.0);
  std::uniform_int_distribution<int> wt(8, 32);
  RefCurve c;
  c.k = k;
  std::vector<double> inner;
  double v = 0.0;
  for (int i = 0; i < n - k; ++i) inner.push_back(v += step(rng));
  const double total = v + step(rng);
  c.knots.assign(k, 0.0);
  for (double x : inner) c.knots.push_back(x / total);
  for (int i = 0; i < k; ++i) c.knots.push_back(1.0);
  double p[3] = {0, 0, 0};
  for (int i = 0; i < n; ++i) {
    // coordinates on a 2^-24 grid and weights in sixteenths: w x and x stay exact
    // doubles, so every backend gets the very same curve (Cartesian or weighted)
    for (double &x : p) x += std::ldexp(std::round(std::ldexp(unit(rng), 24)), -24);
    const double w = rational ? wt(rng) / 16.0 : 1.0;
    for (double x : p) c.poles.push_back(rational ? w * (x + offset) : x + offset);
    if (rational) c.weights.push_back(w);
  }
  return c;
}

std::string curve_label(int k, int n, bool rational, double offset) {
  char b[96];
  std::snprintf(b, sizeof b, "deg %d %s, %d poles%s", k - 1, rational ? "rat" : "poly", n,
                offset != 0 ? (offset >= 1e6 ? ", moved 1e6" : ", moved 1e4") : "");
  return b;
}

// ---- Reference ------------------------------------------------------------------

struct RefPoint {
  std::array<LD, 9> v{};      // point and two derivatives
  std::array<LD, 3> bound{};  // rounding scale of each row
  std::array<LD, 3> size{};   // largest component of each row
};

// Right-closed span of u (knots[s] < u <= knots[s+1]) by bisection, clamped.
int span_of(const RefCurve &c, double u) {
  const int k = c.k, n = c.n();
  if (u <= c.knots[k - 1]) return k - 1;
  if (u > c.knots[n]) return n - 1;
  return static_cast<int>(std::lower_bound(c.knots.begin() + k, c.knots.begin() + n, u) -
                          c.knots.begin()) -
         1;
}

RefPoint reference(const RefCurve &c, double u) {
  const int s = span_of(c, u);
  const auto r = kwtest::ref_derivs(c, s, u, 2);
  RefPoint out;
  for (int i = 0; i < 9; ++i) out.v[i] = r.value[i];
  for (int j = 0; j < 3; ++j) {
    out.bound[j] = r.bound[j];
    for (int q = 0; q < 3; ++q) out.size[j] = std::max(out.size[j], std::fabs(r.value[3 * j + q]));
  }
  return out;
}

// Largest error of rows 0..d relative to the reference: a miss when a row is off
// by more than 16 k ulps of its rounding scale (as the library's own tests);
// `worst_rel` collects the largest derivative error relative to its size.
bool is_miss(const RefPoint &r, const double *got, int d, int k, double &worst_rel) {
  bool miss = false;
  for (int j = 0; j <= d; ++j) {
    LD err = 0;
    for (int q = 0; q < 3; ++q) err = std::max(err, std::fabs(got[3 * j + q] - r.v[3 * j + q]));
    if (!(err <= 16.0L * k * 2.220446049250313e-16L * r.bound[j])) miss = true;
    if (j > 0 && r.size[j] > 0) worst_rel = std::max(worst_rel, double(err / r.size[j]));
  }
  return miss;
}

// ---- Brute-force nearest point ------------------------------------------------------

double ref_distance(const RefCurve &c, const double *pt, double u) {
  const auto r = reference(c, u);
  LD s = 0;
  for (int q = 0; q < 3; ++q) s += (r.v[q] - pt[q]) * (r.v[q] - pt[q]);
  return double(std::sqrt(s));
}

struct Sampled {
  std::vector<double> u, xyz;
};

Sampled sample_curve(const RefCurve &c, int per_span) {
  Sampled s;
  const int n = c.n(), k = c.k;
  for (int i = k - 1; i < n; ++i) {
    const double a = c.knots[i], b = c.knots[i + 1];
    if (b <= a) continue;
    for (int j = 0; j < per_span; ++j) s.u.push_back(a + (b - a) * j / per_span);
  }
  s.u.push_back(c.hi());
  for (double u : s.u) {
    const auto p = kwtest::ref_eval(c, u);
    s.xyz.insert(s.xyz.end(), p.begin(), p.end());
  }
  return s;
}

// Nearest point by dense sampling: Newton steps from every sample that is a
// local minimum of the sampled distance within 10% of the best, clamped to the domain.
double brute_nearest(const RefCurve &c, const Sampled &s, const double *pt, double &best_u) {
  const std::size_t m = s.u.size();
  std::vector<double> d(m);
  double dmin = HUGE_VAL;
  for (std::size_t i = 0; i < m; ++i) {
    const double *q = &s.xyz[3 * i];
    d[i] = std::sqrt((q[0] - pt[0]) * (q[0] - pt[0]) + (q[1] - pt[1]) * (q[1] - pt[1]) +
                     (q[2] - pt[2]) * (q[2] - pt[2]));
    dmin = std::min(dmin, d[i]);
  }
  double best = HUGE_VAL;
  for (std::size_t i = 0; i < m; ++i) {
    if (d[i] > 1.1 * dmin + 1e-12) continue;
    if ((i > 0 && d[i - 1] < d[i]) || (i + 1 < m && d[i + 1] < d[i])) continue;
    double u = s.u[i];
    const double lo = s.u[i > 0 ? i - 1 : 0], hi = s.u[i + 1 < m ? i + 1 : m - 1];
    for (int it = 0; it < 30; ++it) {
      const auto r = reference(c, u);
      LD f = 0, df = 0;
      for (int q = 0; q < 3; ++q) {
        const LD e = r.v[q] - pt[q];
        f += e * r.v[3 + q];
        df += r.v[3 + q] * r.v[3 + q] + e * r.v[6 + q];
      }
      double next = df > 0 ? double(u - f / df) : u;
      next = std::clamp(next, lo, hi);
      if (std::fabs(next - u) < 1e-16) break;
      u = next;
    }
    for (double cand : {u, s.u[i]}) {
      const double dist = ref_distance(c, pt, cand);
      if (dist < best) {
        best = dist;
        best_u = cand;
      }
    }
  }
  return best;
}

// ---- Backends -----------------------------------------------------------------------

// One backend's view of a curve: evaluation at a parameter (random order or a
// sorted sweep, `d` derivatives into 3(d+1) doubles) and the nearest point.
struct Backend {
  std::string name;
  std::function<void(double u, int d, double *out)> eval;
  std::function<void(const double *u, int count, int d, double *out)> sweep;
  std::function<double(const double *pt)> nearest;  // parameter of the nearest point
  std::string nearest_name;
  bool slow_nearest = false;
};

struct Backends {
  std::vector<Backend> list;
  std::function<void()> release;
};

Backends knotwork_backends(RefCurve &c, BScurve &rec) {
  Backends b;
  Backend kw;
  kw.name = "Knotwork";
  kw.eval = [&rec](double u, int d, double *out) {
    BSrc rc;
    BScveval(&rec, u, d, out, &rc);
  };
  kw.sweep = [&rec](const double *u, int count, int d, double *out) {
    BSrc rc;
    if (d == 0)
      BScvarrev0(&rc, &rec, u, count, out);
    else
      BScvarreval(&rc, &rec, u, count, d, out);
  };
  kw.nearest = [&rec](const double *pt) {
    double u = 0, foot[3], dist = 0;
    BSrc rc;
    BSmdstptcv(&rec, pt, &u, foot, &dist, &rc);
    return u;
  };
  kw.nearest_name = "BSmdstptcv";
  b.list.push_back(kw);
  (void)c;
  return b;
}

#ifdef KW_PEERS_OCCT
struct OcctCurve {
  Handle(Geom_BSplineCurve) curve;
  GeomAdaptor_Curve adaptor;
};

void occt_backends(const RefCurve &c, Backends &b, std::vector<std::shared_ptr<OcctCurve>> &keep) {
  const int n = c.n(), k = c.k;
  TColgp_Array1OfPnt poles(1, n);
  TColStd_Array1OfReal weights(1, n);
  for (int i = 0; i < n; ++i) {
    const double w = c.rational() ? c.weights[i] : 1.0;
    poles.SetValue(i + 1,
                   gp_Pnt(c.poles[3 * i] / w, c.poles[3 * i + 1] / w, c.poles[3 * i + 2] / w));
    weights.SetValue(i + 1, w);
  }
  const int distinct = n - k + 2;
  TColStd_Array1OfReal knots(1, distinct);
  TColStd_Array1OfInteger mults(1, distinct);
  for (int i = 0; i < distinct; ++i) {
    knots.SetValue(i + 1, c.knots[k - 1 + i]);
    mults.SetValue(i + 1, (i == 0 || i == distinct - 1) ? k : 1);
  }
  auto oc = std::make_shared<OcctCurve>();
  oc->curve = c.rational() ? new Geom_BSplineCurve(poles, weights, knots, mults, k - 1)
                           : new Geom_BSplineCurve(poles, knots, mults, k - 1);
  oc->adaptor.Load(oc->curve);
  keep.push_back(oc);
  OcctCurve *p = oc.get();
  auto put = [](const gp_Pnt &P, double *o) {
    o[0] = P.X();
    o[1] = P.Y();
    o[2] = P.Z();
  };
  auto putv = [](const gp_Vec &V, double *o) {
    o[0] = V.X();
    o[1] = V.Y();
    o[2] = V.Z();
  };
  Backend g;
  g.name = "OCCT";
  g.eval = [p, put, putv](double u, int d, double *out) {
    gp_Pnt P;
    gp_Vec V1, V2;
    if (d == 0) {
      p->curve->D0(u, P);
    } else if (d == 1) {
      p->curve->D1(u, P, V1);
      putv(V1, out + 3);
    } else {
      p->curve->D2(u, P, V1, V2);
      putv(V1, out + 3);
      putv(V2, out + 6);
    }
    put(P, out);
  };
  g.sweep = [p, put, putv](const double *u, int count, int d, double *out) {
    gp_Pnt P;
    gp_Vec V1, V2;
    const int stride = 3 * (d + 1);
    for (int i = 0; i < count; ++i) {
      double *o = out + static_cast<std::ptrdiff_t>(i) * stride;
      if (d == 0) {
        p->adaptor.D0(u[i], P);
      } else if (d == 1) {
        p->adaptor.D1(u[i], P, V1);
        putv(V1, o + 3);
      } else {
        p->adaptor.D2(u[i], P, V1, V2);
        putv(V1, o + 3);
        putv(V2, o + 6);
      }
      put(P, o);
    }
  };
  g.nearest = [p](const double *pt) {
    GeomAPI_ProjectPointOnCurve proj(gp_Pnt(pt[0], pt[1], pt[2]), p->curve);
    return proj.NbPoints() > 0 ? proj.LowerDistanceParameter() : 0.0;
  };
  g.nearest_name = "GeomAPI_ProjectPointOnCurve";
  g.slow_nearest = true;
  b.list.push_back(g);
}
#endif

#ifdef KW_PEERS_SISL
void sisl_backends(const RefCurve &c, Backends &b) {
  const int n = c.n(), k = c.k;
  std::vector<double> coef;
  for (int i = 0; i < n; ++i) {
    for (int q = 0; q < 3; ++q) coef.push_back(c.poles[3 * i + q]);
    if (c.rational()) coef.push_back(c.weights[i]);
  }
  std::vector<double> knots(c.knots);
  SISLCurve *sc = newCurve(n, k, knots.data(), coef.data(), c.rational() ? 2 : 1, 3, 1);
  auto prev = b.release;
  b.release = [sc, prev]() {
    freeCurve(sc);
    if (prev) prev();
  };
  Backend s;
  s.name = "SISL";
  s.eval = [sc](double u, int d, double *out) {
    int left = 0, stat = 0;
    s1221(sc, d, u, &left, out, &stat);
  };
  s.sweep = [sc](const double *u, int count, int d, double *out) {
    int left = 0, stat = 0;
    const int stride = 3 * (d + 1);
    for (int i = 0; i < count; ++i)
      s1221(sc, d, u[i], &left, out + static_cast<std::ptrdiff_t>(i) * stride, &stat);
  };
  s.nearest = [sc](const double *pt) {
    double u = 0, dist = 0;
    int stat = 0;
    s1957(sc, const_cast<double *>(pt), 3, 1e-15, 1e-12, &u, &dist, &stat);
    return u;
  };
  s.nearest_name = "s1957";
  b.list.push_back(s);
  Backend all = s;
  all.name = "SISL";
  all.eval = nullptr;
  all.sweep = nullptr;
  const RefCurve *cp = &c;
  all.nearest = [sc, cp](const double *pt) {
    int npt = 0, ncrv = 0, stat = 0;
    double *par = nullptr;
    SISLIntcurve **crv = nullptr;
    s1953(sc, const_cast<double *>(pt), 3, 1e-15, 1e-12, &npt, &par, &ncrv, &crv, &stat);
    double best_u = cp->lo(), best = HUGE_VAL;
    for (int i = 0; i < npt; ++i) {
      double q[3];
      int left = 0, st = 0;
      s1221(sc, 0, par[i], &left, q, &st);
      const double dd = std::hypot(q[0] - pt[0], q[1] - pt[1], q[2] - pt[2]);
      if (dd < best) {
        best = dd;
        best_u = par[i];
      }
    }
    for (int i = 0; i < ncrv; ++i) {  // curve solutions: their first parameter
      if (crv[i]->ipoint > 0) {
        const double u = crv[i]->epar1[0];
        double q[3];
        int left = 0, st = 0;
        s1221(sc, 0, u, &left, q, &st);
        const double dd = std::hypot(q[0] - pt[0], q[1] - pt[1], q[2] - pt[2]);
        if (dd < best) {
          best = dd;
          best_u = u;
        }
      }
    }
    if (par) free(par);
    if (crv) freeIntcrvlist(crv, ncrv);
    return best_u;
  };
  all.nearest_name = "s1953";
  all.slow_nearest = true;
  b.list.push_back(all);
}
#endif

// ---- Timing and the table ---------------------------------------------------------------

// CPU time of this thread: on a machine shared with other jobs it leaves out the
// time the process waits for a core, which wall time counts in full.
double thread_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

template <class F>
double min_seconds(int reps, F &&f) {
  double best = HUGE_VAL;
  for (int r = 0; r < reps; ++r) {
    const double t0 = thread_seconds();
    f();
    best = std::min(best, thread_seconds() - t0);
  }
  return best;
}

struct Cell {
  double time = -1;  // ns per point or us per nearest point
  double misses = 0;
  double snaps = 0;  // nearest points moved to a knot by the documented end snap
  double worst_rel = 0;
};

struct Row {
  std::string op, curve, unit;
  std::vector<std::pair<std::string, Cell>> cells;
};

std::vector<Row> g_rows;

// Decimals of a row's times: nearest points (a few us) to 0.01 us, so that rows
// within 5 % of each other read apart.
int precision(const Row &r) {
  return r.op == "nearest point" ? 2 : 1;
}

void print_row(const Row &r) {
  std::printf("%-22s %-34s", r.op.c_str(), r.curve.c_str());
  for (const auto &[name, cell] : r.cells)
    std::printf("  %s %8.*f %s (%g miss, %g snap, rel %.1e)", name.c_str(), precision(r), cell.time,
                r.unit.c_str(), cell.misses, cell.snaps, cell.worst_rel);
  std::printf("\n");
  std::fflush(stdout);
}

// Random-order evaluation and sorted sweeps with d = 0, 1, 2 derivatives.
// The reference of a moved curve is taken on the same curve at the origin (the
// move is exact on the grid), the offset added to the point: long double alone
// would lose the derivatives' last digits to the offset.
RefPoint moved_reference(const RefCurve &at_origin, double offset, double u) {
  RefPoint r = reference(at_origin, u);
  for (int q = 0; q < 3; ++q) r.v[q] += offset;
  r.size[0] = 0;
  for (int q = 0; q < 3; ++q) r.size[0] = std::max(r.size[0], std::fabs(r.v[q]));
  r.bound[0] += std::fabs(offset);
  return r;
}

void evaluation_rows(RefCurve &c, const RefCurve &at_origin, double offset, Backends &b,
                     const std::string &label) {
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> U(0.0, 1.0);
  const int nr = 10000, ns = g_quick ? 20000 : 100000;
  std::vector<double> rnd(nr), sorted(ns);
  for (double &u : rnd) u = U(rng);
  for (double &u : sorted) u = U(rng);
  std::sort(sorted.begin(), sorted.end());
  std::vector<RefPoint> ref_r(nr), ref_s;
  for (int i = 0; i < nr; ++i) ref_r[i] = moved_reference(at_origin, offset, rnd[i]);
  const int sweep_step = ns / 10000;
  for (int i = 0; i < ns; i += sweep_step)
    ref_s.push_back(moved_reference(at_origin, offset, sorted[i]));
  // Repetitions interleave the backends: each sees the same phases of the shared
  // machine's load, so the ratios within a row do not depend on which one ran
  // during a busy moment. The answers are checked on a last, untimed pass.
  const int reps = g_quick ? 5 : 15;
  std::vector<double> out(9 * static_cast<std::size_t>(ns));
  for (int d = 0; d <= 2; ++d) {
    Row rr{"eval d" + std::to_string(d) + " random", label, "ns", {}};
    Row rs{"sweep d" + std::to_string(d) + " sorted", label, "ns", {}};
    const std::size_t nb = b.list.size();
    std::vector<double> eval_s(nb, HUGE_VAL), sweep_s(nb, HUGE_VAL);
    for (int rep = 0; rep < reps; ++rep)
      for (std::size_t bi = 0; bi < nb; ++bi) {
        const Backend &be = b.list[bi];
        if (be.eval)
          eval_s[bi] = std::min(eval_s[bi], min_seconds(1, [&] {
                                  for (int i = 0; i < nr; ++i) be.eval(rnd[i], d, &out[9 * i]);
                                }));
        if (be.sweep)
          sweep_s[bi] = std::min(
              sweep_s[bi], min_seconds(1, [&] { be.sweep(sorted.data(), ns, d, out.data()); }));
      }
    for (std::size_t bi = 0; bi < nb; ++bi) {
      const Backend &be = b.list[bi];
      if (be.eval) {
        Cell cell;
        cell.time = 1e9 / nr * eval_s[bi];
        for (int i = 0; i < nr; ++i) be.eval(rnd[i], d, &out[9 * i]);
        for (int i = 0; i < nr; ++i)
          cell.misses += is_miss(ref_r[i], &out[9 * i], d, c.k, cell.worst_rel);
        rr.cells.push_back({be.name, cell});
      }
      if (be.sweep) {
        Cell cell;
        cell.time = 1e9 / ns * sweep_s[bi];
        be.sweep(sorted.data(), ns, d, out.data());
        const int stride = 3 * (d + 1);
        for (int i = 0, j = 0; i < ns; i += sweep_step, ++j)
          cell.misses +=
              is_miss(ref_s[j], &out[static_cast<std::size_t>(i) * stride], d, c.k, cell.worst_rel);
        cell.misses *= 1e4 / ref_s.size();
        rs.cells.push_back({be.name, cell});
      }
    }
    print_row(rr);
    print_row(rs);
    g_rows.push_back(rr);
    g_rows.push_back(rs);
  }
}

void nearest_rows(RefCurve &c, Backends &b, const std::string &label) {
  std::mt19937_64 rng(1234);
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (int i = 0; i < c.n(); ++i)
    for (int q = 0; q < 3; ++q) {
      const double x = c.poles[3 * i + q] / (c.rational() ? c.weights[i] : 1.0);
      lo[q] = std::min(lo[q], x);
      hi[q] = std::max(hi[q], x);
    }
  const int nq = g_quick ? 200 : 1000;
  std::vector<double> pts(3 * nq);
  for (int i = 0; i < nq; ++i)
    for (int q = 0; q < 3; ++q) {
      std::uniform_real_distribution<double> U(lo[q] - 0.1 * (hi[q] - lo[q]),
                                               hi[q] + 0.1 * (hi[q] - lo[q]));
      pts[3 * i + q] = U(rng);
    }
  const Sampled s = sample_curve(c, 16);
  std::vector<double> ref(nq);
  for (int i = 0; i < nq; ++i) {
    double u;
    ref[i] = brute_nearest(c, s, &pts[3 * i], u);
  }
  Row row{"nearest point", label, "us", {}};
  std::vector<double> got(nq);
  // The fast backends' repetitions interleave (as in the evaluation rows), so
  // that a busy phase of the shared machine does not fall on one backend's
  // repetitions only; the slow ones run once.
  const std::size_t nb = b.list.size();
  auto count_of = [&](const Backend &be) {
    return be.slow_nearest ? std::min(nq, c.n() >= 1000 ? 20 : 100) : nq;
  };
  std::vector<double> best(nb, HUGE_VAL);
  const int reps = g_quick ? 3 : 15;
  for (int rep = 0; rep < reps; ++rep)
    for (std::size_t bi = 0; bi < nb; ++bi) {
      const Backend &be = b.list[bi];
      if (!be.nearest || (be.slow_nearest && rep > 0)) continue;
      const int count = count_of(be);
      best[bi] = std::min(best[bi], min_seconds(1, [&] {
                            for (int i = 0; i < count; ++i) got[i] = be.nearest(&pts[3 * i]);
                          }));
    }
  for (std::size_t bi = 0; bi < nb; ++bi) {
    const Backend &be = b.list[bi];
    if (!be.nearest) continue;
    const int count = count_of(be);
    Cell cell;
    cell.time = 1e6 / count * best[bi];
    for (int i = 0; i < count; ++i) got[i] = be.nearest(&pts[3 * i]);
    for (int i = 0; i < count; ++i) {
      const double dist = ref_distance(c, &pts[3 * i], std::clamp(got[i], c.lo(), c.hi()));
      const double tol = 1e-9 * (1.0 + ref[i]);
      // Knotwork's end snap: a foot near a piece end takes the end (a knot) when that
      // is less than dist_tol / 2 farther; counted apart from the misses
      const bool snap = be.nearest_name == "BSmdstptcv" &&
                        dist <= ref[i] + tol + 0.5 * BSparameters.dist_tol &&
                        std::binary_search(c.knots.begin(), c.knots.end(), got[i]);
      if (dist > ref[i] + tol && snap) {
        cell.snaps += 1;
      } else if (dist > ref[i] + tol) {
        cell.misses += 1;
        if (getenv("PEERS_DEBUG"))
          std::printf("  miss %s excess %g of %g\n", be.nearest_name.c_str(), dist - ref[i],
                      ref[i]);
      }
      // a backend that beats the brute force by more than the tolerance would show
      // the reference wrong: report it loudly rather than hide it
      if (dist < ref[i] - tol)
        std::printf("  note: %s below brute force by %g at query %d\n", be.nearest_name.c_str(),
                    ref[i] - dist, i);
    }
    cell.misses *= 1e4 / count;
    cell.snaps *= 1e4 / count;
    row.cells.push_back({be.nearest_name, cell});
  }
  print_row(row);
  g_rows.push_back(row);
}

// ---- Intersections, arc length and interpolation ------------------------------------
// Rows with one text cell per backend: time per call and the check against the
// harness's own brute force.

struct TextRow {
  std::string op, curve;
  std::string cell[4];  // Knotwork, OCCT, OCCT at 1e-12, SISL
};
std::vector<TextRow> g_text_rows;

std::string fmt(const char *f, double a, double b = 0, double c = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, f, a, b, c);
  return buf;
}

void print_text_row(const TextRow &r) {
  std::printf("%-22s %-34s", r.op.c_str(), r.curve.c_str());
  const char *names[4] = {"Knotwork", "OCCT", "OCCT 1e-12", "SISL"};
  for (int i = 0; i < 4; ++i)
    if (!r.cell[i].empty()) std::printf("  %s: %s", names[i], r.cell[i].c_str());
  std::printf("\n");
  std::fflush(stdout);
}

#ifdef KW_PEERS_OCCT
Handle(Geom_BSplineCurve) occt_curve(const RefCurve &c) {
  const int n = c.n(), k = c.k;
  TColgp_Array1OfPnt poles(1, n);
  for (int i = 0; i < n; ++i)
    poles.SetValue(i + 1, gp_Pnt(c.poles[3 * i], c.poles[3 * i + 1], c.poles[3 * i + 2]));
  const int distinct = n - k + 2;
  TColStd_Array1OfReal knots(1, distinct);
  TColStd_Array1OfInteger mults(1, distinct);
  for (int i = 0; i < distinct; ++i) {
    knots.SetValue(i + 1, c.knots[k - 1 + i]);
    mults.SetValue(i + 1, (i == 0 || i == distinct - 1) ? k : 1);
  }
  return new Geom_BSplineCurve(poles, knots, mults, k - 1);
}
#endif
#ifdef KW_PEERS_SISL
SISLCurve *sisl_curve(const RefCurve &c) {  // polynomial curves; SISL copies the arrays
  std::vector<double> knots(c.knots), coef(c.poles);
  return newCurve(c.n(), c.k, knots.data(), coef.data(), 1, 3, 1);
}
#endif

// Matches found parameters against the brute-force roots within `tol`: a root
// without a found parameter is a miss, a found parameter beyond the first at a
// root, or at no root, is a duplicate (extra).
void match_roots(const std::vector<double> &roots, std::vector<double> found, double tol, int &miss,
                 int &dup) {
  std::sort(found.begin(), found.end());
  std::vector<int> hits(roots.size(), 0);
  for (double u : found) {
    int best = -1;
    double bd = tol;
    for (std::size_t i = 0; i < roots.size(); ++i)
      if (std::fabs(roots[i] - u) <= bd) {
        bd = std::fabs(roots[i] - u);
        best = static_cast<int>(i);
      }
    if (best < 0 || hits[best]++ > 0) ++dup;
  }
  for (std::size_t i = 0; i < roots.size(); ++i)
    if (hits[i] == 0) {
      ++miss;
      if (getenv("PEERS_DEBUG")) {
        double nearest = HUGE_VAL;
        for (double u : found) nearest = std::min(nearest, std::fabs(u - roots[i]));
        std::printf("  miss root %.17g, nearest found %g away\n", roots[i], nearest);
      }
    }
}

// Crossings of the signed distance to a plane: sign changes of dense samples,
// refined by bisection on the reference evaluation.
std::vector<double> brute_plane_roots(const RefCurve &c, const Sampled &s, const double *p,
                                      const double *nrm) {
  auto f = [&](double u) {
    const auto q = kwtest::ref_eval(c, u);
    return (q[0] - p[0]) * nrm[0] + (q[1] - p[1]) * nrm[1] + (q[2] - p[2]) * nrm[2];
  };
  std::vector<double> roots;
  const std::size_t m = s.u.size();
  std::vector<double> fv(m);
  for (std::size_t i = 0; i < m; ++i) {
    const double *q = &s.xyz[3 * i];
    fv[i] = (q[0] - p[0]) * nrm[0] + (q[1] - p[1]) * nrm[1] + (q[2] - p[2]) * nrm[2];
  }
  for (std::size_t i = 0; i + 1 < m; ++i) {
    if (fv[i] == 0) {
      roots.push_back(s.u[i]);
      continue;
    }
    if (!(fv[i] * fv[i + 1] < 0)) continue;
    double a = s.u[i], b = s.u[i + 1], fa = fv[i];
    for (int it = 0; it < 80 && b - a > 1e-16; ++it) {
      const double mid = 0.5 * (a + b), fm = f(mid);
      if ((fm < 0) == (fa < 0)) {
        a = mid;
        fa = fm;
      } else {
        b = mid;
      }
    }
    roots.push_back(0.5 * (a + b));
  }
  if (fv[m - 1] == 0) roots.push_back(s.u[m - 1]);
  return roots;
}

void curve_plane_rows(int n) {
  RefCurve c = make_curve(4, n, false, 0.0, 500 + n);
  BScurve rec = c.view();
  const std::string label = curve_label(4, n, false, 0.0);
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (int i = 0; i < n; ++i)
    for (int q = 0; q < 3; ++q) {
      lo[q] = std::min(lo[q], c.poles[3 * i + q]);
      hi[q] = std::max(hi[q], c.poles[3 * i + q]);
    }
  const int np = g_quick ? 20 : 50;
  std::mt19937_64 rng(77 + n);
  std::normal_distribution<double> G(0.0, 1.0);
  std::vector<std::array<double, 6>> planes(np);
  for (auto &pl : planes) {
    for (int q = 0; q < 3; ++q)
      pl[q] = lo[q] +
              (hi[q] - lo[q]) * (0.25 + 0.5 * std::uniform_real_distribution<double>(0, 1)(rng));
    double len = 0;
    for (int q = 0; q < 3; ++q) len += (pl[3 + q] = G(rng)) * pl[3 + q];
    for (int q = 0; q < 3; ++q) pl[3 + q] /= std::sqrt(len);
  }
  const Sampled s = sample_curve(c, 32);
  std::vector<std::vector<double>> roots(np);
  int total = 0;
  for (int i = 0; i < np; ++i)
    total +=
        static_cast<int>((roots[i] = brute_plane_roots(c, s, &planes[i][0], &planes[i][3])).size());
  TextRow row{"curve-plane int.", label, {}};
  const int reps = g_quick ? 2 : 5;
  auto run = [&](int col,
                 const std::function<std::vector<double>(const double *, const double *)> &f) {
    std::vector<std::vector<double>> got(np);
    const double t = min_seconds(reps, [&] {
      for (int i = 0; i < np; ++i) got[i] = f(&planes[i][0], &planes[i][3]);
    });
    int miss = 0, dup = 0;
    for (int i = 0; i < np; ++i) match_roots(roots[i], got[i], 1e-7, miss, dup);
    row.cell[col] =
        fmt("%.1f us (%g miss, %g dup", 1e6 * t / np, miss, dup) + fmt(" of %g)", total);
  };
  const std::size_t cap = static_cast<std::size_t>(4 * (n - 3));
  std::vector<double> pts(3 * cap), par(cap), st(cap), en(cap);
  run(0, [&](const double *p, const double *nr) {
    BSrc rc;
    int32_t npt = 0, nint = 0;
    BSpl_cv_int(&rc, &rec, p, nr, &npt, pts.data(), par.data(), &nint, st.data(), en.data());
    std::vector<double> out(par.begin(), par.begin() + npt);
    for (int i = 0; i < nint; ++i) out.push_back(st[i]);
    return out;
  });
#ifdef KW_PEERS_OCCT
  Handle(Geom_BSplineCurve) oc = occt_curve(c);
  run(1, [&](const double *p, const double *nr) {
    Handle(Geom_Plane) pl = new Geom_Plane(gp_Pnt(p[0], p[1], p[2]), gp_Dir(nr[0], nr[1], nr[2]));
    GeomAPI_IntCS inter(oc, pl);
    std::vector<double> out;
    if (!inter.IsDone()) return out;
    for (int i = 1; i <= inter.NbPoints(); ++i) {
      double u, v, w;
      inter.Parameters(i, u, v, w);
      out.push_back(w);
    }
    for (int i = 1; i <= inter.NbSegments(); ++i) {
      double u1, v1, u2, v2;
      inter.Parameters(i, u1, v1, u2, v2);
      out.push_back(u1);
    }
    return out;
  });
#endif
#ifdef KW_PEERS_SISL
  SISLCurve *sc = sisl_curve(c);
  run(3, [&](const double *p, const double *nr) {
    int jpt = 0, jcrv = 0, stat = 0;
    double *gpar = nullptr;
    SISLIntcurve **wc = nullptr;
    s1850(sc, const_cast<double *>(p), const_cast<double *>(nr), 3, 1e-15, 1e-10, &jpt, &gpar,
          &jcrv, &wc, &stat);
    std::vector<double> out(gpar, gpar + jpt);
    for (int i = 0; i < jcrv; ++i)
      if (wc[i]->ipoint > 0) out.push_back(wc[i]->epar1[0]);
    if (gpar) free(gpar);
    if (wc) freeIntcrvlist(wc, jcrv);
    return out;
  });
  freeCurve(sc);
#endif
  print_text_row(row);
  g_text_rows.push_back(row);
}

// Gauss-Legendre nodes and weights on [-1, 1] in long double (Newton on P_m).
void gauss_legendre(int m, std::vector<LD> &x, std::vector<LD> &w) {
  x.assign(m, 0);
  w.assign(m, 0);
  const LD pi = 3.14159265358979323846264338327950288L;
  for (int i = 0; i < m; ++i) {
    LD z = std::cos(pi * (i + 0.75L) / (m + 0.5L)), dp = 1;
    for (int it = 0; it < 100; ++it) {
      LD p0 = 1, p1 = z;
      for (int j = 2; j <= m; ++j) {
        const LD p2 = ((2 * j - 1) * z * p1 - (j - 1) * p0) / j;
        p0 = p1;
        p1 = p2;
      }
      dp = m * (z * p1 - p0) / (z * z - 1);
      const LD dz = p1 / dp;
      z -= dz;
      if (std::fabs(dz) < 1e-19L) break;
    }
    x[i] = z;
    w[i] = 2 / ((1 - z * z) * dp * dp);
  }
}

// Length by composite Gauss-Legendre with m nodes: each span split into pieces,
// doubled until two splits agree to 1e-17 (a span where the speed nearly
// vanishes needs many); *spread collects the last differences.
LD piece_sum(const RefCurve &c, int s, LD a, LD b, int pieces, const std::vector<LD> &x,
             const std::vector<LD> &w) {
  LD total = 0;
  for (int p = 0; p < pieces; ++p) {
    const LD pa = a + (b - a) * p / pieces, pb = a + (b - a) * (p + 1) / pieces;
    LD sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      const double u = double(0.5L * (pa + pb) + 0.5L * (pb - pa) * x[i]);
      const auto r = kwtest::ref_derivs(c, s, u, 1);
      sum += w[i] *
             std::sqrt(r.value[3] * r.value[3] + r.value[4] * r.value[4] + r.value[5] * r.value[5]);
    }
    total += 0.5L * (pb - pa) * sum;
  }
  return total;
}

LD reference_length(const RefCurve &c, int m, LD *spread) {
  std::vector<LD> x, w;
  gauss_legendre(m, x, w);
  LD total = 0;
  *spread = 0;
  for (int s = c.k - 1; s < c.n(); ++s) {
    const LD a = c.knots[s], b = c.knots[s + 1];
    if (b <= a) continue;
    LD prev = piece_sum(c, s, a, b, 1, x, w), cur = prev;
    for (int pieces = 2; pieces <= 1024; pieces *= 2) {
      cur = piece_sum(c, s, a, b, pieces, x, w);
      if (std::fabs(cur - prev) <= 1e-17L * cur) break;
      prev = cur;
    }
    *spread += std::fabs(cur - prev);
    total += cur;
  }
  return total;
}

void arc_length_rows(int n) {
  RefCurve c = make_curve(4, n, false, 0.0, 700 + n);
  BScurve rec = c.view();
  LD spread = 0;
  const LD ref = reference_length(c, 24, &spread);
  std::printf("  arc length reference %.17Lg (spread %.1Le)\n", ref, spread / ref);
  TextRow row{"arc length", curve_label(4, n, false, 0.0), {}};
  const int reps = g_quick ? 3 : 10;
  auto run = [&](int col, const std::function<double()> &f) {
    double len = 0;
    const double t = min_seconds(reps, [&] { len = f(); });
    row.cell[col] = fmt("%.1f us (rel err %.0e)", 1e6 * t, double(std::fabs(len - ref) / ref));
  };
  run(0, [&] {
    const double saved = BSparameters.arclen_tol;
    BSparameters.arclen_tol = 1e-12;
    BSrc rc;
    double a = c.lo(), b = c.hi(), len = 0;
    BSarclength(&rc, &rec, &a, &b, &len);
    BSparameters.arclen_tol = saved;
    return len;
  });
#ifdef KW_PEERS_OCCT
  Handle(Geom_BSplineCurve) oc = occt_curve(c);
  GeomAdaptor_Curve ad(oc);
  run(1, [&] { return GCPnts_AbscissaPoint::Length(ad); });
  run(2, [&] { return GCPnts_AbscissaPoint::Length(ad, 1e-12); });
#endif
#ifdef KW_PEERS_SISL
  SISLCurve *sc = sisl_curve(c);
  // s1240 takes seconds at 1e-12 even on 10 poles: one call, and a looser
  // tolerance on the long curve (shown in the cell)
  const double sisl_tol = n <= 10 ? 1e-12 : 1e-8;
  double len = 0;
  const double t = min_seconds(1, [&] {
    int stat = 0;
    s1240(sc, sisl_tol, &len, &stat);
  });
  row.cell[3] = fmt("%.1f us (rel err %.0e, tol %.0e)", 1e6 * t, double(std::fabs(len - ref) / ref),
                    sisl_tol);
  freeCurve(sc);
#endif
  print_text_row(row);
  g_text_rows.push_back(row);
}

// Crossings of two plane curves (z = 0): segment crossings of dense polylines,
// refined by Newton steps on C1(s) - C2(t) with the reference derivatives and
// merged when within 1e-9 in both parameters.
std::vector<std::array<double, 2>> brute_curve_curve(const RefCurve &a, const RefCurve &b) {
  const Sampled sa = sample_curve(a, 32), sb = sample_curve(b, 32);
  std::vector<std::array<double, 2>> out;
  const std::size_t ma = sa.u.size(), mb = sb.u.size();
  for (std::size_t i = 0; i + 1 < ma; ++i) {
    const double *p0 = &sa.xyz[3 * i], *p1 = &sa.xyz[3 * i + 3];
    const double ax0 = std::min(p0[0], p1[0]), ax1 = std::max(p0[0], p1[0]);
    const double ay0 = std::min(p0[1], p1[1]), ay1 = std::max(p0[1], p1[1]);
    for (std::size_t j = 0; j + 1 < mb; ++j) {
      const double *q0 = &sb.xyz[3 * j], *q1 = &sb.xyz[3 * j + 3];
      if (std::max(q0[0], q1[0]) < ax0 || std::min(q0[0], q1[0]) > ax1 ||
          std::max(q0[1], q1[1]) < ay0 || std::min(q0[1], q1[1]) > ay1)
        continue;
      const double dx = p1[0] - p0[0], dy = p1[1] - p0[1], ex = q1[0] - q0[0], ey = q1[1] - q0[1];
      const double det = dx * (-ey) - dy * (-ex);
      if (det == 0) continue;
      const double rx = q0[0] - p0[0], ry = q0[1] - p0[1];
      const double ls = (rx * (-ey) - ry * (-ex)) / det, lt = (dx * ry - dy * rx) / det;
      if (ls < -1e-9 || ls > 1 + 1e-9 || lt < -1e-9 || lt > 1 + 1e-9) continue;
      double s = sa.u[i] + ls * (sa.u[i + 1] - sa.u[i]), t = sb.u[j] + lt * (sb.u[j + 1] - sb.u[j]);
      for (int it = 0; it < 40; ++it) {
        const auto A = kwtest::ref_derivs(a, span_of(a, s), s, 1);
        const auto B = kwtest::ref_derivs(b, span_of(b, t), t, 1);
        const LD fx = A.value[0] - B.value[0], fy = A.value[1] - B.value[1];
        const LD j11 = A.value[3], j12 = -B.value[3], j21 = A.value[4], j22 = -B.value[4];
        const LD d = j11 * j22 - j12 * j21;
        if (d == 0) break;
        const double ds = double((fx * j22 - fy * j12) / d), dt = double((j11 * fy - j21 * fx) / d);
        s = std::clamp(s - ds, a.lo(), a.hi());
        t = std::clamp(t - dt, b.lo(), b.hi());
        if (std::fabs(ds) < 1e-16 && std::fabs(dt) < 1e-16) break;
      }
      bool seen = false;
      for (const auto &r : out) seen |= std::fabs(r[0] - s) < 1e-9 && std::fabs(r[1] - t) < 1e-9;
      if (!seen) out.push_back({s, t});
    }
  }
  return out;
}

void match_pairs(const std::vector<std::array<double, 2>> &roots,
                 const std::vector<std::array<double, 2>> &found, double tol, int &miss, int &dup) {
  std::vector<int> hits(roots.size(), 0);
  for (const auto &f : found) {
    int best = -1;
    for (std::size_t i = 0; i < roots.size(); ++i)
      if (std::fabs(roots[i][0] - f[0]) <= tol && std::fabs(roots[i][1] - f[1]) <= tol)
        best = static_cast<int>(i);
    if (best < 0 || hits[best]++ > 0) ++dup;
  }
  for (std::size_t i = 0; i < roots.size(); ++i)
    if (hits[i] == 0) {
      ++miss;
      if (getenv("PEERS_DEBUG")) {
        double nearest = HUGE_VAL;
        for (const auto &f : found)
          nearest = std::min(
              nearest, std::max(std::fabs(f[0] - roots[i][0]), std::fabs(f[1] - roots[i][1])));
        std::printf("  miss crossing (%.17g, %.17g), nearest found %g away\n", roots[i][0],
                    roots[i][1], nearest);
      }
    }
}

RefCurve plane_curve(int n, uint64_t seed) {
  RefCurve c = make_curve(4, n, false, 0.0, seed);
  for (int i = 0; i < n; ++i) c.poles[3 * i + 2] = 0.0;
  return c;
}

void curve_curve_rows(int n) {
  const int pairs = g_quick ? 5 : 10;
  std::vector<RefCurve> A, B;
  std::vector<std::vector<std::array<double, 2>>> roots;
  int total = 0;
  for (int p = 0; p < pairs; ++p) {
    A.push_back(plane_curve(n, 900 + 2 * p + n));
    B.push_back(plane_curve(n, 901 + 2 * p + n));
    roots.push_back(brute_curve_curve(A.back(), B.back()));
    total += static_cast<int>(roots.back().size());
  }
  TextRow row{"curve-curve int.", "plane " + curve_label(4, n, false, 0.0), {}};
  const int reps = g_quick ? 2 : 5;
  auto run = [&](int col, const std::function<std::vector<std::array<double, 2>>(int)> &f) {
    std::vector<std::vector<std::array<double, 2>>> got(pairs);
    const double t = min_seconds(reps, [&] {
      for (int p = 0; p < pairs; ++p) got[p] = f(p);
    });
    int miss = 0, dup = 0;
    for (int p = 0; p < pairs; ++p) match_pairs(roots[p], got[p], 1e-7, miss, dup);
    row.cell[col] =
        fmt("%.1f us (%g miss, %g dup", 1e6 * t / pairs, miss, dup) + fmt(" of %g)", total);
  };
  run(0, [&](int p) {
    BScurve a = A[p].view(), b = B[p].view();
    BSrc rc;
    int32_t ni = 0, no = 0;
    double *pts = nullptr, *p1 = nullptr, *p2 = nullptr, *op = nullptr, *o1 = nullptr,
           *o2 = nullptr;
    BScvcv_int(&rc, &a, &b, &ni, &pts, &p1, &p2, &no, &op, &o1, &o2);
    std::vector<std::array<double, 2>> out;
    for (int i = 0; i < ni; ++i) out.push_back({p1[i], p2[i]});
    for (int i = 0; i < no; ++i) out.push_back({o1[2 * i], o2[2 * i]});
    for (double *q : {pts, p1, p2, op, o1, o2})
      if (q) BSdbgfree(q);
    return out;
  });
#ifdef KW_PEERS_OCCT
  // extrema at distance below 1e-9 are the crossings; slow, so small curves only
  if (n <= 10) {
    std::vector<Handle(Geom_BSplineCurve)> oa, ob;
    for (int p = 0; p < pairs; ++p) {
      oa.push_back(occt_curve(A[p]));
      ob.push_back(occt_curve(B[p]));
    }
    run(1, [&](int p) {
      GeomAPI_ExtremaCurveCurve ext(oa[p], ob[p]);
      std::vector<std::array<double, 2>> out;
      for (int i = 1; i <= ext.NbExtrema(); ++i)
        if (ext.Distance(i) < 1e-9) {
          double u1, u2;
          ext.Parameters(i, u1, u2);
          out.push_back({u1, u2});
        }
      return out;
    });
  }
#endif
#ifdef KW_PEERS_SISL
  std::vector<SISLCurve *> sa, sb;
  for (int p = 0; p < pairs; ++p) {
    sa.push_back(sisl_curve(A[p]));
    sb.push_back(sisl_curve(B[p]));
  }
  run(3, [&](int p) {
    int jpt = 0, jcrv = 0, stat = 0;
    double *g1 = nullptr, *g2 = nullptr;
    SISLIntcurve **wc = nullptr;
    s1857(sa[p], sb[p], 1e-15, 1e-10, &jpt, &g1, &g2, &jcrv, &wc, &stat);
    std::vector<std::array<double, 2>> out;
    for (int i = 0; i < jpt; ++i) out.push_back({g1[i], g2[i]});
    for (int i = 0; i < jcrv; ++i)
      if (wc[i]->ipoint > 0) out.push_back({wc[i]->epar1[0], wc[i]->epar2[0]});
    if (g1) free(g1);
    if (g2) free(g2);
    if (wc) freeIntcrvlist(wc, jcrv);
    return out;
  });
  for (auto *c : sa) freeCurve(c);
  for (auto *c : sb) freeCurve(c);
#endif
  print_text_row(row);
  g_text_rows.push_back(row);
}

// Largest distance from the data points to a fitted curve, by the brute-force
// nearest point.
double max_fit_distance(const RefCurve &fit, const std::vector<double> &pts) {
  const Sampled s = sample_curve(fit, 8);
  double worst = 0, u = 0;
  for (std::size_t i = 0; i < pts.size() / 3; ++i)
    worst = std::max(worst, brute_nearest(fit, s, &pts[3 * i], u));
  return worst;
}

void interpolation_rows(int n) {
  const RefCurve walk = make_curve(4, n, false, 0.0, 1100 + n);
  const std::vector<double> &pts = walk.poles;  // a random walk of unit steps
  TextRow row{"interpolation", std::to_string(n) + " points, cubic", {}};
  const int reps = g_quick ? 2 : 5;
  auto run = [&](int col, const std::function<RefCurve()> &f) {
    RefCurve fit;
    const double t = min_seconds(reps, [&] { fit = f(); });
    if (fit.poles.empty()) {
      row.cell[col] = fmt("%.1f us (failed)", 1e6 * t);
      return;
    }
    row.cell[col] = fmt("%.1f us (max dist %.0e)", 1e6 * t, max_fit_distance(fit, pts));
  };
  run(0, [&] {
    RefCurve fit;
    fit.k = 4;
    fit.poles.assign(3 * static_cast<std::size_t>(n + 3), 0.0);
    fit.knots.assign(static_cast<std::size_t>(n + 7), 0.0);
    BScurve cv{};
    cv.poles = fit.poles.data();
    cv.knots = fit.knots.data();
    BSrc rc;
    BSdirfitcv(n, pts.data(), 4, 0, 0, 0, nullptr, nullptr, &cv, &rc);
    if (rc != 0) return RefCurve{};
    fit.k = cv.order;
    fit.poles.resize(3 * static_cast<std::size_t>(cv.num_poles));
    fit.knots.resize(static_cast<std::size_t>(cv.num_knots));
    if (cv.rational) fit.weights.assign(cv.weights, cv.weights + cv.num_poles);
    return fit;
  });
#ifdef KW_PEERS_OCCT
  run(1, [&] {
    Handle(TColgp_HArray1OfPnt) hp = new TColgp_HArray1OfPnt(1, n);
    for (int i = 0; i < n; ++i)
      hp->SetValue(i + 1, gp_Pnt(pts[3 * i], pts[3 * i + 1], pts[3 * i + 2]));
    GeomAPI_Interpolate interp(hp, Standard_False, 1e-12);
    interp.Perform();
    RefCurve fit;
    if (!interp.IsDone()) return fit;
    Handle(Geom_BSplineCurve) bc = interp.Curve();
    fit.k = bc->Degree() + 1;
    const int np = bc->NbPoles();
    TColStd_Array1OfReal ks(1, np + fit.k);
    bc->KnotSequence(ks);
    for (int i = 1; i <= np + fit.k; ++i) fit.knots.push_back(ks(i));
    for (int i = 1; i <= np; ++i) {
      const gp_Pnt P = bc->Pole(i);
      fit.poles.insert(fit.poles.end(), {P.X(), P.Y(), P.Z()});
    }
    return fit;
  });
#endif
#ifdef KW_PEERS_SISL
  run(3, [&] {
    std::vector<double> ep(pts);
    std::vector<int> typ(n, 1);
    double endpar = 0, *gpar = nullptr;
    int jnb = 0, stat = 0;
    SISLCurve *sc = nullptr;
    s1356(ep.data(), n, 3, typ.data(), 0, 0, 1, 4, 0.0, &endpar, &sc, &gpar, &jnb, &stat);
    RefCurve fit;
    if (sc != nullptr && stat >= 0) {
      fit.k = sc->ik;
      fit.knots.assign(sc->et, sc->et + sc->in + sc->ik);
      fit.poles.assign(sc->ecoef, sc->ecoef + 3 * sc->in);
    }
    if (sc) freeCurve(sc);
    if (gpar) free(gpar);
    return fit;
  });
#endif
  print_text_row(row);
  g_text_rows.push_back(row);
}

// ---- Knot removal -----------------------------------------------------------------------
// A random cubic refined by a knot in the middle of every span (Boehm's insertion,
// done here), then every knot that can go within 1e-9 removed: time per
// reduction, the poles left, and the largest distance from the original curve at
// 16 samples per span of the result (reference evaluation).

RefCurve refine_midpoints(const RefCurve &c) {
  RefCurve f = c;
  const int k = c.k;
  for (int s = c.n() - 1; s >= k - 1; --s) {  // from the right: indices below s stay
    const double u = 0.5 * (c.knots[s] + c.knots[s + 1]);
    std::vector<double> q(f.poles.begin(), f.poles.begin() + 3 * (s - k + 2));
    for (int i = s - k + 2; i <= s; ++i) {
      const double a = (u - f.knots[i]) / (f.knots[i + k - 1] - f.knots[i]);
      for (int j = 0; j < 3; ++j)
        q.push_back(a * f.poles[3 * i + j] + (1 - a) * f.poles[3 * (i - 1) + j]);
    }
    q.insert(q.end(), f.poles.begin() + 3 * s, f.poles.end());
    f.poles = q;
    f.knots.insert(f.knots.begin() + s + 1, u);
  }
  return f;
}

double max_curve_distance(const RefCurve &a, const RefCurve &b) {
  double worst = 0;
  const int samples = 16 * (b.n() - b.k + 1);
  for (int i = 0; i <= samples; ++i) {
    const double u = static_cast<double>(i) / samples;
    const RefPoint pa = reference(a, u), pb = reference(b, u);
    LD d2 = 0;
    for (int j = 0; j < 3; ++j) d2 += (pa.v[j] - pb.v[j]) * (pa.v[j] - pb.v[j]);
    worst = std::max(worst, static_cast<double>(std::sqrt(d2)));
  }
  return worst;
}

// ---- Offsets -------------------------------------------------------------------

// A planar cubic wave: poles (i, 0.3 y, 0) with y uniform in [-1, 1], uniform knots.
RefCurve offset_wave(int n) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> y(-1.0, 1.0);
  RefCurve c;
  c.k = 4;
  for (int i = 0; i < n; ++i) c.poles.insert(c.poles.end(), {double(i), 0.3 * y(rng), 0.0});
  c.knots.assign(4, 0.0);
  for (int i = 1; i < n - 3; ++i) c.knots.push_back(i);
  c.knots.insert(c.knots.end(), 4, double(n - 3));
  return c;
}

// Largest | |x - base| - |d| | over 6 points inside every span of the offset. The
// nearest base point is tracked along the offset: Newton steps from the nearest of
// the base samples around the previous foot (all of them for the first point and
// whenever the best lies at the window's edge).
double offset_deviation(const RefCurve &base, const Sampled &s, const RefCurve &off, double d) {
  const int m = static_cast<int>(s.u.size()), w = 48;
  int hint = -1;
  double worst = 0;
  for (int sp = off.k - 1; sp < off.n(); ++sp) {
    const double a = off.knots[sp], b = off.knots[sp + 1];
    for (int j = 0; b > a && j < 6; ++j) {
      const auto x = kwtest::ref_eval(off, a + (b - a) * (j + 0.5) / 6);
      const auto dist = [&](int i) {
        const double *q = &s.xyz[3 * i];
        return std::hypot(q[0] - x[0], q[1] - x[1], q[2] - x[2]);
      };
      int lo = hint < 0 ? 0 : std::max(0, hint - w),
          hi = hint < 0 ? m - 1 : std::min(m - 1, hint + w);
      int best = lo;
      for (int i = lo; i <= hi; ++i)
        if (dist(i) < dist(best)) best = i;
      if ((best == lo && lo > 0) || (best == hi && hi < m - 1)) {
        best = 0;
        for (int i = 0; i < m; ++i)
          if (dist(i) < dist(best)) best = i;
      }
      hint = best;
      double u = s.u[best];
      const double ulo = s.u[best > 0 ? best - 1 : 0], uhi = s.u[best + 1 < m ? best + 1 : m - 1];
      for (int it = 0; it < 30; ++it) {
        const auto r = reference(base, u);
        LD f = 0, df = 0;
        for (int q = 0; q < 3; ++q) {
          const LD e = r.v[q] - x[q];
          f += e * r.v[3 + q];
          df += r.v[3 + q] * r.v[3 + q] + e * r.v[6 + q];
        }
        const double next = std::clamp(df > 0 ? double(u - f / df) : u, ulo, uhi);
        if (std::fabs(next - u) < 1e-16) break;
        u = next;
      }
      const double px[3] = {x[0], x[1], x[2]};
      worst = std::max(worst, std::fabs(ref_distance(base, px, u) - std::fabs(d)));
    }
  }
  return worst;
}

void knot_removal_rows(int n) {
  const RefCurve orig = make_curve(4, n, false, 0.0, 1300 + n);
  const RefCurve fine = refine_midpoints(orig);
  TextRow row{"knot removal",
              std::to_string(fine.n()) + " poles (" + std::to_string(n) + " refined), cubic",
              {}};
  const int reps = g_quick ? 2 : 5;
  const double tol = 1e-9;
  auto run = [&](int col, const std::function<RefCurve()> &f) {
    RefCurve out;
    const double t = min_seconds(reps, [&] { out = f(); });
    if (out.poles.empty()) {
      row.cell[col] = fmt("%.1f us (failed)", 1e6 * t);
      return;
    }
    row.cell[col] =
        fmt("%.1f us (%.0f poles, max dist %.0e)", 1e6 * t, out.n(), max_curve_distance(orig, out));
  };
  run(0, [&] {
    RefCurve in = fine, out = fine;
    BScurve cv = in.view(), res = out.view();
    BSrc rc;
    BSrmktsnchg(&cv, tol, &res, &rc);
    if (rc != 0) return RefCurve{};
    out.poles.resize(3 * static_cast<std::size_t>(res.num_poles));
    out.knots.resize(static_cast<std::size_t>(res.num_knots));
    return out;
  });
#ifdef KW_PEERS_OCCT
  run(1, [&] {
    Handle(Geom_BSplineCurve) bc = occt_curve(fine);
    for (bool removed = true; removed;) {
      removed = false;
      for (int i = bc->NbKnots() - 1; i >= 2; --i)
        if (i <= bc->NbKnots() - 1 && bc->RemoveKnot(i, bc->Multiplicity(i) - 1, tol))
          removed = true;
    }
    RefCurve out;
    out.k = bc->Degree() + 1;
    const int np = bc->NbPoles();
    TColStd_Array1OfReal ks(1, np + out.k);
    bc->KnotSequence(ks);
    for (int i = 1; i <= np + out.k; ++i) out.knots.push_back(ks(i));
    for (int i = 1; i <= np; ++i) {
      const gp_Pnt P = bc->Pole(i);
      out.poles.insert(out.poles.end(), {P.X(), P.Y(), P.Z()});
    }
    return out;
  });
#endif
  print_text_row(row);
  g_text_rows.push_back(row);
}

void offset_rows(int n) {
  const RefCurve base = offset_wave(n);
  const Sampled s = sample_curve(base, 16);
  const double d = 0.1, tol = 1e-6;
  TextRow row{"offset", "plane " + curve_label(4, n, false, 0.0), {}};
  const int reps = n <= 100 ? 5 : g_quick ? 1 : 3;
  auto run = [&](int col, const std::function<RefCurve()> &f) {
    RefCurve off;
    const double t = min_seconds(reps, [&] { off = f(); });
    if (off.poles.empty()) {
      row.cell[col] = fmt("%.1f ms (failed)", 1e3 * t);
      return;
    }
    row.cell[col] = fmt("%.1f ms (%.0f poles, max dev %.0e)", 1e3 * t, off.n(),
                        offset_deviation(base, s, off, d));
  };
  // Right of the curve's direction about +z in every backend.
  run(0, [&] {
    RefCurve off, b = base;
    BScurve cv = b.view();
    const double saved = BSparameters.offset_tol, dirpt[3] = {0.5 * n, -5, 0};
    BSparameters.offset_tol = tol;
    const int32_t corner = 0;
    const int16_t code = 0;
    BScurve *res = nullptr, **loops = nullptr;
    int32_t nloops = 0;
    BSrc rc = 0;
    BScvoffset(&rc, &cv, &d, dirpt, &corner, &code, &res, &nloops, &loops);
    BSparameters.offset_tol = saved;
    if (res == nullptr) return off;
    off.k = res->order;
    off.poles.assign(res->poles, res->poles + 3 * res->num_poles);
    off.knots.assign(res->knots, res->knots + res->num_knots);
    if (res->rational) off.weights.assign(res->weights, res->weights + res->num_poles);
    BSfreeqelcv(res, &rc);
    return off;
  });
#ifdef KW_PEERS_OCCT
  run(1, [&] {
    Handle(Geom_OffsetCurve) oc = new Geom_OffsetCurve(occt_curve(base), d, gp_Dir(0, 0, 1));
    GeomConvert_ApproxCurve approx(oc, tol, GeomAbs_C2, 100 * n, 3);
    RefCurve off;
    if (!approx.HasResult()) return off;
    Handle(Geom_BSplineCurve) bc = approx.Curve();
    off.k = bc->Degree() + 1;
    const int np = bc->NbPoles();
    TColStd_Array1OfReal ks(1, np + off.k);
    bc->KnotSequence(ks);
    for (int i = 1; i <= np + off.k; ++i) off.knots.push_back(ks(i));
    for (int i = 1; i <= np; ++i) {
      const gp_Pnt P = bc->Pole(i);
      const double wt = bc->IsRational() ? bc->Weight(i) : 1.0;
      off.poles.insert(off.poles.end(), {wt * P.X(), wt * P.Y(), wt * P.Z()});
      if (bc->IsRational()) off.weights.push_back(wt);
    }
    return off;
  });
#endif
#ifdef KW_PEERS_SISL
  run(3, [&] {
    SISLCurve *sc = sisl_curve(base), *res = nullptr;
    double axis[3] = {0, 0, 1};
    int stat = 0;
    s1360(sc, d, tol, axis, 0.0, 3, &res, &stat);
    RefCurve off;
    if (res != nullptr && stat >= 0) {
      off.k = res->ik;
      off.knots.assign(res->et, res->et + res->in + res->ik);
      off.poles.assign(res->ecoef, res->ecoef + 3 * res->in);
    }
    if (res) freeCurve(res);
    freeCurve(sc);
    return off;
  });
#endif
  print_text_row(row);
  g_text_rows.push_back(row);
}

void write_text_table(const char *path) {
  FILE *f = std::fopen(path, "a");
  if (f == nullptr) return;
  std::fprintf(f,
               "\n| operation | curve | Knotwork | OCCT | OCCT at 1e-12 | SISL |\n"
               "|---|---|---|---|---|---|\n");
  for (const TextRow &r : g_text_rows)
    std::fprintf(f, "| %s | %s | %s | %s | %s | %s |\n", r.op.c_str(), r.curve.c_str(),
                 r.cell[0].c_str(), r.cell[1].c_str(), r.cell[2].c_str(), r.cell[3].c_str());
  std::fclose(f);
}

void write_table(const char *path) {
  FILE *f = std::fopen(path, "w");
  if (f == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", path);
    return;
  }
  std::fprintf(f,
               "| operation | curve | Knotwork | OCCT | SISL | s1953 |\n"
               "|---|---|---|---|---|---|\n");
  for (const Row &r : g_rows) {
    std::fprintf(f, "| %s | %s |", r.op.c_str(), r.curve.c_str());
    const char *cols[4][2] = {{"Knotwork", "BSmdstptcv"},
                              {"OCCT", "GeomAPI_ProjectPointOnCurve"},
                              {"SISL", "s1957"},
                              {"s1953", "s1953"}};
    for (auto &col : cols) {
      const Cell *hit = nullptr;
      for (const auto &[name, cell] : r.cells)
        if ((r.op == "nearest point" ? name == col[1] : name == col[0] && r.op != "nearest point"))
          hit = &cell;
      if (hit == nullptr || (col[0] == std::string("s1953") && r.op != "nearest point")) {
        std::fprintf(f, " |");
        continue;
      }
      std::fprintf(f, " %.*f %s", precision(r), hit->time, r.unit.c_str());
      if (hit->misses > 0) std::fprintf(f, " (%g miss)", hit->misses);
      if (hit->snaps > 0) std::fprintf(f, " (%g snap)", hit->snaps);
      if (r.op != "nearest point" && r.op.find("d0") == std::string::npos)
        std::fprintf(f, " [%.0e]", hit->worst_rel);
      std::fprintf(f, " |");
    }
    std::fprintf(f, "\n");
  }
  std::fclose(f);
  std::printf("table written to %s\n", path);
}

}  // namespace

int main(int argc, char **argv) {
  const char *table = "peers_table.md";
  bool extra_only = false, offsets_only = false, eval_only = false, nearest_only = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0)
      g_quick = true;
    else if (std::strcmp(argv[i], "--extra") == 0)
      extra_only = true;
    else if (std::strcmp(argv[i], "--offsets") == 0)
      extra_only = offsets_only = true;
    else if (std::strcmp(argv[i], "--eval") == 0)
      eval_only = true;
    else if (std::strcmp(argv[i], "--nearest") == 0)
      nearest_only = true;
    else
      table = argv[i];
  }
#ifdef KW_PEERS_OCCT
  std::vector<std::shared_ptr<OcctCurve>> keep;
#endif
  struct Case {
    int k, n;
    bool rational;
    double offset;
    bool eval, nearest;
    uint64_t seed = 0;  // its place in the full list: the same curve whichever rows run
  };
  std::vector<Case> cases;
  for (int k : {4, 6})
    for (bool r : {false, true})
      for (int n : {10, 1000, 100000}) cases.push_back({k, n, r, 0.0, true, false});
  for (double off : {1e4, 1e6}) cases.push_back({4, 1000, false, off, true, false});
  cases.push_back({4, 1000, true, 1e6, true, false});
  for (int k : {4, 6})
    for (bool r : {false, true})
      for (int n : {10, 100, 1000}) cases.push_back({k, n, r, 0.0, false, true});
  for (std::size_t i = 0; i < cases.size(); ++i) cases[i].seed = i + 1;
  if (extra_only) cases.clear();
  if (eval_only)
    cases.erase(std::remove_if(cases.begin(), cases.end(), [](const Case &c) { return !c.eval; }),
                cases.end());
  if (nearest_only)
    cases.erase(
        std::remove_if(cases.begin(), cases.end(), [](const Case &c) { return !c.nearest; }),
        cases.end());
  for (const Case &sp : cases) {
    RefCurve c = make_curve(sp.k, sp.n, sp.rational, sp.offset, sp.seed);
    const RefCurve at_origin = make_curve(sp.k, sp.n, sp.rational, 0.0, sp.seed);
    BScurve rec = c.view();
    Backends b = knotwork_backends(c, rec);
#ifdef KW_PEERS_OCCT
    occt_backends(c, b, keep);
#endif
#ifdef KW_PEERS_SISL
    sisl_backends(c, b);
#endif
    const std::string label = curve_label(sp.k, sp.n, sp.rational, sp.offset);
    if (sp.eval) evaluation_rows(c, at_origin, sp.offset, b, label);
    if (sp.nearest) nearest_rows(c, b, label);
    if (b.release) b.release();
  }
  if (!offsets_only && !eval_only && !nearest_only) {
    for (int n : {10, 100, 1000}) curve_plane_rows(n);
    for (int n : {10, 1000}) arc_length_rows(n);
    for (int n : {10, 100}) curve_curve_rows(n);
    for (int n : {100, 1000}) interpolation_rows(n);
    knot_removal_rows(1000);
  }
  if (!eval_only && !nearest_only)
    for (int n : {10, 100, 1000}) offset_rows(n);
  write_table(table);
  write_text_table(table);
  return 0;
}
