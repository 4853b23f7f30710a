// Queries soaked against brute force on random curves (orders 2 to 8, rational and
// not, open and closed, with corners, cusps and straight pieces): nearest points,
// curve-plane and curve-curve intersections. Each curve is sampled densely once by
// the reference evaluator and the samples serve many queries; candidates from the
// samples are refined (golden section, Newton) before a result counts as missed.
// KNOTWORK_SOAK_SCALE sets the share of the full counts (10^6, 10^5, 10^4): "full"
// or a number; the default is small enough for every test run.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "ref_query.hpp"
#include "support.hpp"

namespace {

using kwtest::Counts;
using kwtest::dist;
using kwtest::P3;
using kwtest::pole_of;
using kwtest::RefCurve;
using kwtest::Sampled;
using kwtest::set_pole;

double scale() {
  const char *env = std::getenv("KNOTWORK_SOAK_SCALE");
  if (env == nullptr) return 2e-3;
  return std::strcmp(env, "full") == 0 ? 1.0 : std::clamp(std::atof(env), 1e-4, 1.0);
}

// Random curve number `index`: interior knots repeated up to order - 1 (corners),
// then by turns a straight piece (order poles on a line), a cusp (two equal
// poles), and closure (last pole on the first).
RefCurve soak_curve(std::mt19937_64 &rng, int index, bool planar) {
  const int k = 2 + index % 7;
  const int32_t n = k + 1 + static_cast<int32_t>(rng() % 7);
  RefCurve c = kwtest::random_curve(rng, k, n, (index / 7) % 2 == 1, true);
  const int32_t at = static_cast<int32_t>(rng() % (n - k + 1));
  if (index % 3 == 1)
    for (int j = 1; j + 1 < k; ++j) {
      const P3 a = pole_of(c, at), b = pole_of(c, at + k - 1);
      const double s = double(j) / (k - 1);
      set_pole(c, at + j,
               {a[0] + s * (b[0] - a[0]), a[1] + s * (b[1] - a[1]), a[2] + s * (b[2] - a[2])});
    }
  if (index % 3 == 2 && k > 2) set_pole(c, at + 1, pole_of(c, at));
  if (planar)
    for (int32_t i = 0; i < n; ++i) c.poles[3 * i + 2] = 0.0;
  c.closed = (index / 2) % 2 == 1;
  if (c.closed) set_pole(c, n - 1, pole_of(c, 0));
  return c;
}

void print(const char *what, const Counts &n) {
  std::printf("soak %-14s %9ld queries %9ld results %4ld misses %4ld duplicates %4ld bad\n", what,
              n.queries, n.found, n.misses, n.duplicates, n.inconsistent);
}

class Soak : public kwtest::GuardedTest {};

TEST_F(Soak, NearestPointsAreNeverWorseThanBruteForce) {
  std::mt19937_64 rng(2501);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Counts count;
  const long total = std::lround(1e6 * scale()), per_curve = 1000;
  for (int index = 0; count.queries < total; ++index) {
    const Sampled s(soak_curve(rng, index, index % 4 == 0));
    for (long q = 0; q < per_curve && count.queries < total; ++q, ++count.queries) {
      // Far points, points near the curve and points on it.
      const double t = s.ref.lo() + (s.ref.hi() - s.ref.lo()) * 0.5 * (1 + unit(rng));
      const double off = q % 3 == 0 ? 1.5 : q % 3 == 1 ? 0.05 : 0.0;
      P3 x = q % 3 == 0 ? P3{0, 0, 0} : s.at(t);
      for (double &c : x) c += off * unit(rng);
      double param, foot[3], d;
      BSrc rc;
      BSmdstptcv(&s.cv, x.data(), &param, foot, &d, &rc);
      const P3 f{foot[0], foot[1], foot[2]};
      if (rc != BSSUCC || !(param >= s.ref.lo() && param <= s.ref.hi()) ||
          dist(s.at(param), f) > 1e-9 || std::fabs(dist(f, x) - d) > 1e-12) {
        ++count.inconsistent;
        ADD_FAILURE() << "curve " << index << " query " << q << " rc " << rc;
        continue;
      }
      ++count.found;
      double best = HUGE_VAL;
      for (const P3 &p : s.p) best = std::min(best, dist(p, x));
      if (d <= best + 1e-12) continue;  // no sample is nearer
      const double ref = kwtest::distance_to_curve(s.cv, x, s.u, s.step);
      if (d > ref + 1e-9) {
        ++count.misses;
        ADD_FAILURE() << "curve " << index << " query " << q << ": " << d << " > " << ref;
      }
    }
  }
  print("nearest-point", count);
  count.expect_clean();
}

TEST_F(Soak, CurvePlaneFindsEverySignChangeOnce) {
  std::mt19937_64 rng(2502);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Counts count;
  const long total = std::lround(1e5 * scale()), per_curve = 100;
  for (int index = 0; count.queries < total; ++index) {
    const Sampled s(soak_curve(rng, index, false));
    const int32_t room = s.ref.k * (s.ref.n() - s.ref.k + 1);
    std::vector<double> pts(3 * room), pars(room), starts(room), ends(room);
    for (long q = 0; q < per_curve && count.queries < total; ++q, ++count.queries) {
      // Planes anywhere near the curve, through a curve point or a knot, and
      // tangent to the curve there (touches and pairs of close crossings).
      double t = s.ref.lo() + (s.ref.hi() - s.ref.lo()) * 0.5 * (1 + unit(rng));
      if (q % 5 == 0) t = s.ref.knots[s.ref.k - 1 + rng() % (s.ref.n() - s.ref.k + 2)];
      P3 x = q % 4 ? s.at(t) : P3{0.5 * unit(rng), 0.5 * unit(rng), 0.5 * unit(rng)};
      P3 nrm{unit(rng), unit(rng), unit(rng)};
      if (q % 4 == 3) {  // minus its part along the chord through C(t -+ h)
        const double h = 1e-6 * (s.ref.hi() - s.ref.lo());
        const P3 a = s.at(std::max(s.ref.lo(), t - h)), b = s.at(std::min(s.ref.hi(), t + h));
        const P3 d{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        const double c = dd > 0 ? (nrm[0] * d[0] + nrm[1] * d[1] + nrm[2] * d[2]) / dd : 0.0;
        for (int i = 0; i < 3; ++i) nrm[i] -= c * d[i];
      }
      const double len = std::hypot(nrm[0], nrm[1], nrm[2]);
      for (double &c : nrm) c /= len;
      int32_t np = 0, ni = 0;
      BSrc rc;
      BSpl_cv_int(&rc, &s.cv, x.data(), nrm.data(), &np, pts.data(), pars.data(), &ni,
                  starts.data(), ends.data());
      if (rc != BSSUCC) {
        ++count.inconsistent;
        ADD_FAILURE() << "curve " << index << " plane " << q << " rc " << rc;
        continue;
      }
      count.found += np + ni;
      SCOPED_TRACE(testing::Message() << "curve " << index << " plane " << q);
      count.add(kwtest::check_plane_hits(s, x, nrm, np, pars.data(), pts.data(), ni, starts.data(),
                                         ends.data()));
    }
  }
  print("curve-plane", count);
  count.expect_clean();
}

TEST_F(Soak, CurveCurveFindsEveryCrossingOnce) {
  std::mt19937_64 rng(2503);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Counts count;
  const long total = std::max(20L, std::lround(1e4 * scale()));
  for (int index = 0; count.queries < total; ++index, ++count.queries) {
    const bool planar = index % 3 != 2;
    const Sampled a(soak_curve(rng, index, planar));
    // Curve b is moved to pass through a point of a: inside, at a knot or at an end.
    RefCurve rb = soak_curve(rng, index / 3 + 5, planar);
    double u = a.ref.lo() + (a.ref.hi() - a.ref.lo()) * unit(rng);
    if (index % 4 == 1) u = a.ref.knots[a.ref.k - 1 + (a.ref.n() - a.ref.k + 1) / 2];
    if (index % 4 == 2) u = unit(rng) < 0.5 ? a.ref.lo() : a.ref.hi();
    const double v = rb.lo() + (rb.hi() - rb.lo()) * unit(rng);
    const P3 target = a.at(u), shift = kwtest::ref_eval(rb, v);
    kwtest::translate(rb, {target[0] - shift[0], target[1] - shift[1], target[2] - shift[2]});
    const Sampled b(std::move(rb));
    int32_t ni = 0, no = 0;
    double *ip = nullptr, *p1 = nullptr, *p2 = nullptr, *op = nullptr, *o1 = nullptr, *o2 = nullptr;
    BSrc rc;
    BScvcv_int(&rc, &a.cv, &b.cv, &ni, &ip, &p1, &p2, &no, &op, &o1, &o2);
    std::vector<P3> pts;
    std::vector<double> u1, u2;
    for (int32_t i = 0; i < ni; ++i) {
      pts.push_back({ip[3 * i], ip[3 * i + 1], ip[3 * i + 2]});
      u1.push_back(p1[i]), u2.push_back(p2[i]);
    }
    std::vector<std::array<double, 4>> over;  // parameter ranges on a, then on b
    for (int32_t i = 0; i < no; ++i)
      over.push_back({o1[2 * i], o1[2 * i + 1], o2[2 * i], o2[2 * i + 1]});
    for (double *p : {ip, p1, p2, op, o1, o2})
      if (p) BSdbgfree(p);
    if (rc != BSSUCC) {
      ++count.inconsistent;
      ADD_FAILURE() << "pair " << index << " rc " << rc;
      continue;
    }
    count.found += ni + no;
    SCOPED_TRACE(testing::Message() << "pair " << index);
    count.add(kwtest::check_crossings(a, b, pts, u1, u2, over, {{target, u, v}}, planar));
  }
  print("curve-curve", count);
  count.expect_clean();
}

}  // namespace
