// All complex roots of a real polynomial of any degree by the three-stage
// Jenkins-Traub iteration for real coefficients: no-shift steps, fixed shifts
// on a circle of the Cauchy lower bound, then variable-shift real or quadratic
// iteration, each success deflating one real root or a quadratic factor.
#include <cfloat>
#include <cmath>

#include "frame/frame.hpp"
#include "numeric/roots.hpp"

namespace knotwork {

namespace {

constexpr double kEta = 2.220446049250313e-16;  // 2^-52
constexpr double kAre = kEta, kMre = kEta;
constexpr double kInfin = 3.4028234663852886e38;     // largest single-precision value
constexpr double kSmallest = 6.310887241768095e-30;  // 2^-97
constexpr double kLo = kSmallest / kEta;             // 2^-45

// Roots of a z^2 + b1 z + c, the small one in (sr, si), the large in (lr, li);
// magnitudes below 2^-97 count as zero.
void rpoly_quadratic(double a, double b1, double c, double *sr, double *si, double *lr,
                     double *li) {
  if (std::fabs(a) < kSmallest) {
    *sr = std::fabs(b1) >= kSmallest ? -c / b1 : 0.0;
    *lr = 0.0;
    *si = *li = 0.0;
    return;
  }
  if (std::fabs(c) < kSmallest) {
    *sr = 0.0;
    *lr = -b1 / a;
    *si = *li = 0.0;
    return;
  }
  const double b = b1 / 2.0;
  double e, d;
  if (std::fabs(b) < std::fabs(c)) {
    e = c >= 0.0 ? a : -a;
    e = b * (b / std::fabs(c)) - e;
    d = std::sqrt(std::fabs(e)) * std::sqrt(std::fabs(c));
  } else {
    e = 1.0 - (a / b) * (c / b);
    d = std::sqrt(std::fabs(e)) * std::fabs(b);
  }
  if (e >= 0.0) {
    if (b >= 0.0) d = -d;
    *lr = (-b + d) / a;
    *sr = std::fabs(*lr) >= kSmallest ? (c / *lr) / a : 0.0;
    *si = *li = 0.0;
  } else {
    *sr = *lr = -b / a;
    *si = std::fabs(d / a);
    *li = -*si;
  }
}

// p: n + 1 coefficients, leading first; k: n coefficients.
struct JenkinsTraub {
  int32_t n = 0;
  double *p, *qp, *k, *qk, *svk;
  double sr = 0, si = 0, u = 0, v = 0, a = 0, b = 0, c = 0, d = 0;
  double a1 = 0, a3 = 0, a7 = 0, e = 0, f = 0, g = 0, h = 0;
  double szr = 0, szi = 0, lzr = 0, lzi = 0;

  // Synthetic division by z^2 + u z + v: quotient q, remainder a (z + u) + b.
  static void divide_quadratic(int32_t nn, double u_, double v_, const double *pp, double *q,
                               double *aa, double *bb) {
    double bv = pp[0], av = pp[1] - u_ * bv;
    q[0] = bv;
    q[1] = av;
    for (int32_t i = 2; i < nn; ++i) {
      const double cv = pp[i] - u_ * av - v_ * bv;
      q[i] = cv;
      bv = av;
      av = cv;
    }
    *aa = av;
    *bb = bv;
  }

  int scalars() {
    divide_quadratic(n, u, v, k, qk, &c, &d);
    if (std::fabs(c) <= std::fabs(k[n - 1]) * 100.0 * kEta &&
        std::fabs(d) <= std::fabs(k[n - 2]) * 100.0 * kEta)
      return 3;
    if (std::fabs(d) >= std::fabs(c)) {
      e = a / d;
      f = c / d;
      g = u * b;
      h = v * b;
      a3 = (a + g) * e + h * (b / d);
      a1 = b * f - a;
      a7 = (f + u) * a + h;
      return 2;
    }
    e = a / c;
    f = d / c;
    g = u * e;
    h = v * b;
    a3 = a * e + (h / c + g) * b;
    a1 = b - a * (d / c);
    a7 = a + g * d + h * f;
    return 1;
  }

  void next_k(int type) {
    if (type == 3) {
      k[0] = k[1] = 0.0;
      for (int32_t i = 2; i < n; ++i) k[i] = qk[i - 2];
      return;
    }
    const double temp = type == 1 ? b : a;
    if (std::fabs(a1) <= std::fabs(temp) * kEta * 10.0) {
      k[0] = 0.0;
      k[1] = -a7 * qp[0];
      for (int32_t i = 2; i < n; ++i) k[i] = a3 * qk[i - 2] - a7 * qp[i - 1];
      return;
    }
    a7 /= a1;
    a3 /= a1;
    k[0] = qp[0];
    k[1] = qp[1] - a7 * qp[0];
    for (int32_t i = 2; i < n; ++i) k[i] = a3 * qk[i - 2] - a7 * qp[i - 1] + qp[i];
  }

  void new_estimate(int type, double *uu, double *vv) const {
    if (type == 3) {
      *uu = *vv = 0.0;
      return;
    }
    double a4, a5;
    if (type == 2) {
      a4 = (a + g) * f + h;
      a5 = (f + u) * c + v * d;
    } else {
      a4 = a + u * b + h * f;
      a5 = c + (u + v * f) * d;
    }
    const double b1 = -k[n - 1] / p[n];
    const double b2 = -(k[n - 2] + b1 * p[n - 1]) / p[n];
    const double c1 = v * b2 * a1, c2 = b1 * a7, c3 = b1 * b1 * a3, c4 = c1 - c2 - c3;
    const double temp = a5 + b1 * a4 - c4;
    if (temp == 0.0) {
      *uu = *vv = 0.0;
      return;
    }
    *uu = u - (u * (c3 + c2) + v * (b1 * a1 + b2 * a7)) / temp;
    *vv = v * (1.0 + c4 / temp);
  }

  // Variable-shift quadratic iteration from z^2 + uu z + vv; 2 when it converged.
  int quadratic_iteration(double uu, double vv) {
    bool tried = false;
    double omp = 0.0, relstp = 0.0;
    u = uu;
    v = vv;
    for (int j = 0;;) {
      rpoly_quadratic(1.0, u, v, &szr, &szi, &lzr, &lzi);
      if (std::fabs(std::fabs(szr) - std::fabs(lzr)) > 0.01 * std::fabs(lzr)) return 0;
      divide_quadratic(n + 1, u, v, p, qp, &a, &b);
      const double mp = std::fabs(a - szr * b) + std::fabs(szi * b);
      const double zm = std::sqrt(std::fabs(v));
      double ee = 2.0 * std::fabs(qp[0]);
      const double t = -szr * b;
      for (int32_t i = 1; i < n; ++i) ee = ee * zm + std::fabs(qp[i]);
      ee = ee * zm + std::fabs(a + t);
      ee *= 5.0 * kMre + 4.0 * kAre;
      ee = ee - (5.0 * kMre + 2.0 * kAre) * (std::fabs(a + t) + std::fabs(b) * zm) +
           2.0 * kAre * std::fabs(t);
      if (mp <= 20.0 * ee) return 2;
      if (++j > 20) return 0;
      if (j >= 2 && !(relstp > 0.01 || mp < omp || tried)) {
        relstp = std::sqrt(std::fmax(relstp, kEta));
        u -= u * relstp;
        v += v * relstp;
        divide_quadratic(n + 1, u, v, p, qp, &a, &b);
        for (int i = 0; i < 5; ++i) next_k(scalars());
        tried = true;
        j = 0;
      }
      omp = mp;
      next_k(scalars());
      double ui, vi;
      new_estimate(scalars(), &ui, &vi);
      if (vi == 0.0) return 0;
      relstp = std::fabs((vi - v) / vi);
      u = ui;
      v = vi;
    }
  }

  // Variable-shift real iteration from s; 1 when it converged. *cluster is set when
  // the iterates suggest a cluster of zeros near the real axis (s returned).
  int real_iteration(double *sss, bool *cluster) {
    double s = *sss, omp = 0.0, t = 0.0;
    *cluster = false;
    for (int j = 0;;) {
      double pv = p[0];
      qp[0] = pv;
      for (int32_t i = 1; i <= n; ++i) qp[i] = pv = pv * s + p[i];
      const double mp = std::fabs(pv), ms = std::fabs(s);
      double ee = (kMre / (kAre + kMre)) * std::fabs(qp[0]);
      for (int32_t i = 1; i <= n; ++i) ee = ee * ms + std::fabs(qp[i]);
      if (mp <= 20.0 * ((kAre + kMre) * ee - kMre * mp)) {
        szr = s;
        szi = 0.0;
        return 1;
      }
      if (++j > 10) return 0;
      if (j >= 2 && !(std::fabs(t) > 0.001 * std::fabs(s - t) || mp <= omp)) {
        *cluster = true;
        *sss = s;
        return 0;
      }
      omp = mp;
      double kv = k[0];
      qk[0] = kv;
      for (int32_t i = 1; i < n; ++i) qk[i] = kv = kv * s + k[i];
      if (std::fabs(kv) <= std::fabs(k[n - 1]) * 10.0 * kEta) {
        k[0] = 0.0;
        for (int32_t i = 1; i < n; ++i) k[i] = qk[i - 1];
      } else {
        t = -pv / kv;
        k[0] = qp[0];
        for (int32_t i = 1; i < n; ++i) k[i] = t * qk[i - 1] + qp[i];
      }
      kv = k[0];
      for (int32_t i = 1; i < n; ++i) kv = kv * s + k[i];
      t = std::fabs(kv) > std::fabs(k[n - 1]) * 10.0 * kEta ? -pv / kv : 0.0;
      s += t;
    }
  }

  // Stage 2 (l2 fixed-shift steps) and stage 3; the number of zeros found.
  int fixed_shift(int32_t l2) {
    double betav = 0.25, betas = 0.25, oss = sr, ovv = v, otv = 0.0, ots = 0.0;
    divide_quadratic(n + 1, u, v, p, qp, &a, &b);
    int type = scalars();
    for (int32_t j = 1; j <= l2; ++j) {
      next_k(type);
      type = scalars();
      double ui, vi;
      new_estimate(type, &ui, &vi);
      const double vv = vi;
      const double ss = k[n - 1] != 0.0 ? -p[n] / k[n - 1] : 0.0;
      double tv = 1.0, ts = 1.0;
      if (j != 1 && type != 3) {
        if (vv != 0.0) tv = std::fabs((vv - ovv) / vv);
        if (ss != 0.0) ts = std::fabs((ss - oss) / ss);
        const double tvv = tv < otv ? tv * otv : 1.0, tss = ts < ots ? ts * ots : 1.0;
        const bool vpass = tvv < betav, spass = tss < betas;
        if (spass || vpass) {
          const double svu = u, svv = v;
          for (int32_t i = 0; i < n; ++i) svk[i] = k[i];
          double s = ss;
          bool vtry = false, stry = false;
          enum class Next { kQuadratic, kReal, kGiveUp };
          Next st = spass && (!vpass || tss < tvv) ? Next::kReal : Next::kQuadratic;
          for (;;) {
            if (st == Next::kQuadratic) {
              if (quadratic_iteration(ui, vi) > 0) return 2;
              vtry = true;
              betav *= 0.25;
              st = Next::kGiveUp;
              if (!stry && spass) {
                for (int32_t i = 0; i < n; ++i) k[i] = svk[i];
                st = Next::kReal;
              }
            } else if (st == Next::kReal) {
              bool cluster = false;
              if (real_iteration(&s, &cluster) > 0) return 1;
              stry = true;
              betas *= 0.25;
              st = Next::kGiveUp;
              if (cluster) {  // a cluster of zeros: try a quadratic factor at s
                ui = -(s + s);
                vi = s * s;
                st = Next::kQuadratic;
              }
            } else {
              u = svu;
              v = svv;
              for (int32_t i = 0; i < n; ++i) k[i] = svk[i];
              if (vpass && !vtry) {
                st = Next::kQuadratic;
                continue;
              }
              divide_quadratic(n + 1, u, v, p, qp, &a, &b);
              break;
            }
          }
          type = scalars();
        }
      }
      ovv = vv;
      oss = ss;
      otv = tv;
      ots = ts;
    }
    return 0;
  }
};

}  // namespace

BSrc polynomial_roots(int32_t degree, const double *c, double *re, double *im) {
  int32_t slot = 0, lo_index = 0;
  while (degree - lo_index >= 1 && std::fabs(c[lo_index]) < kSmallest) {
    re[slot] = im[slot] = 0.0;
    ++slot;
    ++lo_index;
  }
  const int32_t m = degree - lo_index;
  if (m == 0) return BSSUCC;
  const std::size_t w = static_cast<std::size_t>(m) + 1;
  BasicScratchBuffer<6 * 101 * sizeof(double) + 1> buf(6 * w * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  JenkinsTraub jt;
  jt.p = buf.as<double>();
  jt.qp = jt.p + w;
  jt.k = jt.qp + w;
  jt.qk = jt.k + w;
  jt.svk = jt.qk + w;
  double *temp = jt.svk + w, *pt = jt.qk;  // pt only before the K polynomial exists
  for (int32_t i = 0; i <= m; ++i) jt.p[i] = c[degree - i];  // leading first
  jt.n = m;
  double xx = std::sqrt(0.5), yy = -xx;
  const double cosr = -0.06975647374412530, sinr = 0.99756405025982424;
  while (jt.n > 2) {
    const int32_t n = jt.n;
    double mx = 0.0, mn = kInfin;
    for (int32_t i = 0; i <= n; ++i) {
      const double x = std::fabs(jt.p[i]);
      if (x > mx) mx = x;
      if (x != 0.0 && x < mn) mn = x;
    }
    double sc = kLo / mn;
    if ((sc <= 1.0 && mx >= 10.0) || (sc > 1.0 && mx <= kInfin / sc)) {
      if (sc < kSmallest) sc = kSmallest;
      const int32_t l = static_cast<int32_t>(std::log2(sc) + 0.5);
      const double factor = int_power(2.0, l);
      if (factor != 1.0)
        for (int32_t i = 0; i <= n; ++i) jt.p[i] *= factor;
    }
    // Cauchy lower bound of the moduli of the zeros.
    for (int32_t i = 0; i <= n; ++i) pt[i] = std::fabs(jt.p[i]);
    pt[n] = -pt[n];
    double x = std::exp((std::log(-pt[n]) - std::log(pt[0])) / n);
    if (pt[n - 1] >= kSmallest) {
      const double xm = -pt[n] / pt[n - 1];
      if (xm < x) x = xm;
    }
    for (double xm = x;;) {
      x = xm;
      xm = 0.1 * x;
      double ff = pt[0];
      for (int32_t i = 1; i <= n; ++i) ff = ff * xm + pt[i];
      if (!(ff > 0.0)) break;
    }
    for (double dx = x; std::fabs(dx / x) > 0.005;) {
      double ff = pt[0], df = ff;
      for (int32_t i = 1; i < n; ++i) {
        ff = ff * x + pt[i];
        df = df * x + ff;
      }
      ff = ff * x + pt[n];
      dx = ff / df;
      x -= dx;
      if (!std::isfinite(x)) return BSFAIL;
    }
    const double bnd = x;
    // Stage 1: K starts as the scaled derivative; five no-shift steps.
    for (int32_t i = 1; i < n; ++i) jt.k[i] = (n - i) * jt.p[i] / n;
    jt.k[0] = jt.p[0];
    const double aa = jt.p[n], bb = jt.p[n - 1];
    bool zerok = std::fabs(jt.k[n - 1]) < kSmallest;
    for (int step = 0; step < 5; ++step) {
      const double cc = jt.k[n - 1];
      if (!zerok) {
        const double t = -aa / cc;
        for (int32_t j = n - 1; j >= 1; --j) jt.k[j] = t * jt.k[j - 1] + jt.p[j];
        jt.k[0] = jt.p[0];
        zerok = std::fabs(jt.k[n - 1]) <= std::fabs(bb) * kEta * 10.0;
      } else {
        for (int32_t j = n - 1; j >= 1; --j) jt.k[j] = jt.k[j - 1];
        jt.k[0] = 0.0;
        zerok = std::fabs(jt.k[n - 1]) < kSmallest;
      }
    }
    for (int32_t i = 0; i < n; ++i) temp[i] = jt.k[i];
    int nz = 0;
    for (int32_t cnt = 1; cnt <= 20 && nz == 0; ++cnt) {
      const double xxx = cosr * xx - sinr * yy;
      yy = sinr * xx + cosr * yy;
      xx = xxx;
      jt.sr = bnd * xx;
      jt.si = bnd * yy;
      jt.u = -2.0 * jt.sr;
      jt.v = bnd * bnd;
      nz = jt.fixed_shift(20 * cnt);
      if (nz == 0)
        for (int32_t i = 0; i < n; ++i) jt.k[i] = temp[i];
    }
    if (nz == 0) return BSFAIL;
    re[slot] = jt.szr;
    im[slot] = jt.szi;
    ++slot;
    if (nz == 2) {
      re[slot] = jt.lzr;
      im[slot] = jt.lzi;
      ++slot;
    }
    jt.n -= nz;
    for (int32_t i = 0; i <= jt.n; ++i) jt.p[i] = jt.qp[i];
  }
  if (jt.n == 1) {
    re[slot] = -jt.p[1] / jt.p[0];
    im[slot] = 0.0;
  } else {
    rpoly_quadratic(jt.p[0], jt.p[1], jt.p[2], &re[slot], &im[slot], &re[slot + 1], &im[slot + 1]);
  }
  return BSSUCC;
}

}  // namespace knotwork
