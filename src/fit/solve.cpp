// The linear solves of a fit: the banded least-squares system of an open curve
// with fixed poles at its ends (natural ends folded in), and the cyclic system of
// a periodic curve, dense for few poles and banded (Givens rotations on a band
// with a dense border of the wrapped columns) for many.
#include <algorithm>
#include <cmath>

#include "bspline/kernel.hpp"
#include "fit/fit.hpp"
#include "frame/frame.hpp"
#include "numeric/numeric.hpp"

namespace knotwork {
namespace {

double point_coord(const FitData &d, int32_t j, int32_t c) {
  return d.points[static_cast<std::size_t>(j) * d.stride + c];
}

double *pole_at(const FitData &d, double *poles, int32_t i) {
  return poles + static_cast<std::size_t>(i) * d.stride;
}

// Knot differences below this make a span unusable for the basis functions.
double tiny_span() {
  return tol().zero_tol * tol().zero_tol;
}

// Poles fixed at each end by a constraint type; -1 for an unknown type.
int32_t fixed_poles(int32_t type, int k) {
  switch (type) {
    case 0:
    case 1:
    case 2:
    case 3:
      return type;
    case 4:
      return (k - 1) / 2 + 1;
    case 5:
    case 6:
    case 7:
      return 2;
    default:
      return -1;
  }
}

}  // namespace

BSrc band_fit(const FitData &d, int32_t type, double *poles) {
  const int k = d.k;
  const int32_t m = d.m, f = fixed_poles(type, k);
  if (f < 0) return BSINARG;
  const bool nat_start = type == 5 || type == 7, nat_end = type == 6 || type == 7;
  const int32_t first_row = type == 0 ? 0 : 1;
  const int32_t rows = type == 0 ? d.n : d.n - 2;
  const int32_t unknowns = m - 2 * f;
  if (unknowns > rows || unknowns < 0 || (unknowns == 0 && rows <= 0)) return BSINARG;
  if ((nat_start || nat_end) && m < 4) return BSINARG;
  const double *t = d.knots;
  const double r0 = nat_start ? (t[k] - t[k - 1]) / (t[k + 1] + t[k] - t[k - 1] - t[k - 2]) : 0.0;
  const double r1 = nat_end ? (t[m] - t[m - 1]) / (t[m + 1] + t[m] - t[m - 1] - t[m - 2]) : 0.0;
  const int32_t r = d.ncoord;
  if (unknowns > 0) {
    const int32_t nb = std::min<int32_t>(k, unknowns);
    const std::size_t nr = static_cast<std::size_t>(rows);
    ScratchBuffer buf(nr * (nb + r) * sizeof(double) + 2 * nr * sizeof(int32_t));
    if (!buf.ok()) return BSNOSTKMEMORY;
    double *g = buf.as<double>();
    double *b = g + nr * nb;
    double basis[kMaxFitOrder];
    int32_t *block_rows = reinterpret_cast<int32_t *>(b + nr * r);
    int32_t *block_start = block_rows + nr;
    int32_t nblocks = 0;
    for (int32_t q = 0; q < rows; ++q) {
      const int32_t j = first_row + q;
      const int32_t s = d.spans[j];
      const BSrc rc = basis_derivatives(k, t, s, d.pars[j], 0, tiny_span(), basis);
      if (rc != BSSUCC) return rc;
      const int32_t jt = std::clamp<int32_t>(s - k + 1 - f, 0, unknowns - nb);
      double *gq = g + static_cast<std::size_t>(q) * nb;
      double *bq = b + static_cast<std::size_t>(q) * r;
      std::fill(gq, gq + nb, 0.0);
      for (int32_t c = 0; c < r; ++c) bq[c] = point_coord(d, j, c);
      for (int i = 0; i < k; ++i) {
        const int32_t p = s - k + 1 + i;
        const double v = basis[i];
        int32_t col = p - f;
        if (nat_start && p == 1) {
          col = 2 - f;  // pole 1 = pole 0 + r0 (pole 2 - pole 0)
          for (int32_t c = 0; c < r; ++c) bq[c] -= (1.0 - r0) * v * pole_at(d, poles, 0)[c];
          gq[col - jt] += r0 * v;
          continue;
        }
        if (nat_end && p == m - 2) {
          col = m - 3 - f;
          for (int32_t c = 0; c < r; ++c) bq[c] -= (1.0 - r1) * v * pole_at(d, poles, m - 1)[c];
          gq[col - jt] += r1 * v;
          continue;
        }
        if (p < f || p >= m - f) {
          for (int32_t c = 0; c < r; ++c) bq[c] -= v * pole_at(d, poles, p)[c];
        } else {
          gq[col - jt] += v;
        }
      }
      if (nblocks > 0 && block_start[nblocks - 1] == jt) {
        ++block_rows[nblocks - 1];
      } else {
        block_start[nblocks] = jt;
        block_rows[nblocks++] = 1;
      }
    }
    // Unknowns that no row reaches make the system singular.
    if (block_start[nblocks - 1] + nb < unknowns) return BSFAIL;
    BSrc rc = BSSUCC;
    BSbndhshold(g, nblocks, block_rows, nb, block_start, r, b, &rc);
    if (rc != BSSUCC) return rc;
    for (int32_t i = 0; i < unknowns; ++i)
      for (int32_t c = 0; c < r; ++c)
        pole_at(d, poles, f + i)[c] = b[static_cast<std::size_t>(i) * r + c];
  }
  for (int32_t c = 0; c < r; ++c) {
    if (nat_start) {
      const double p0 = pole_at(d, poles, 0)[c];
      pole_at(d, poles, 1)[c] = p0 + r0 * (pole_at(d, poles, 2)[c] - p0);
    }
    if (nat_end) {
      const double pm = pole_at(d, poles, m - 1)[c];
      pole_at(d, poles, m - 2)[c] = pm + r1 * (pole_at(d, poles, m - 3)[c] - pm);
    }
  }
  for (int32_t i = 0; i < m; ++i)
    for (int32_t c = r; c < d.stride; ++c) pole_at(d, poles, i)[c] = 0.0;
  return BSSUCC;
}

namespace {

// Cyclic least squares by Givens rotations. Unknown c_i (pole i mod u) is column
// (i - (k - 1)) mod u, so every row is a band of k columns except that the poles
// that wrap fall into the last b = k - 1 columns, kept dense (the border). Row i of
// the triangular factor holds k band values (columns i .. i + k - 1 below the
// border), b border values and the right sides.
class CyclicBandQR {
 public:
  CyclicBandQR(int32_t u, int k, int32_t r) : u_(u), k_(k), b_(k - 1), r_(r), nbnd_(u - (k - 1)) {
    width_ = k_ + b_ + r_;
    buf_.acquire(static_cast<std::size_t>(u_) * width_ * sizeof(double) +
                 (static_cast<std::size_t>(width_) + 1) * sizeof(double) + u_);
    if (!buf_.ok()) return;
    rows_ = buf_.as<double>();
    work_ = rows_ + static_cast<std::size_t>(u_) * width_;
    set_ = reinterpret_cast<unsigned char *>(work_ + width_ + 1);
    std::fill(rows_, rows_ + static_cast<std::size_t>(u_) * width_, 0.0);
    std::fill(set_, set_ + u_, 0);
  }
  bool ok() const { return buf_.ok(); }
  int32_t border_start() const { return nbnd_; }

  // The working row: band values from column `start`, border values, right sides.
  double *band() { return work_; }
  double *border() { return work_ + k_; }
  double *rhs() { return work_ + k_ + b_; }
  void clear_work() { std::fill(work_, work_ + width_, 0.0); }

  // Rotates the working row (band from column start) into the factor.
  void add_row(int32_t start) {
    for (int32_t col = start; col < nbnd_; ++col) {
      if (work_[0] != 0.0) {
        double *row = rows_ + static_cast<std::size_t>(col) * width_;
        if (!set_[col]) {
          std::copy(work_, work_ + width_, row);
          set_[col] = 1;
          return;
        }
        rotate(row, 0, k_);
        rotate_tail(row);
      }
      for (int i = 0; i + 1 < k_; ++i) work_[i] = work_[i + 1];
      work_[k_ - 1] = 0.0;
    }
    double *bd = border();
    for (int j = 0; j < b_; ++j) {
      if (bd[j] == 0.0) continue;
      double *row = rows_ + static_cast<std::size_t>(nbnd_ + j) * width_;
      if (!set_[nbnd_ + j]) {
        std::copy(work_, work_ + width_, row);
        set_[nbnd_ + j] = 1;
        return;
      }
      rotate_border(row, j);
    }
  }

  // Back substitution into x (u rows of r). BSFAIL on a zero diagonal.
  BSrc solve(double *x) const {
    for (int32_t i = u_ - 1; i >= 0; --i) {
      const double *row = rows_ + static_cast<std::size_t>(i) * width_;
      const double *bd = row + k_, *rh = row + k_ + b_;
      const double diag = i < nbnd_ ? row[0] : bd[i - nbnd_];
      if (!set_[i] || !(std::fabs(diag) >= kSolverZero)) return BSFAIL;
      for (int32_t c = 0; c < r_; ++c) {
        double s = rh[c];
        if (i < nbnd_)
          for (int q = 1; q < k_ && i + q < nbnd_; ++q)
            s -= row[q] * x[static_cast<std::size_t>(i + q) * r_ + c];
        for (int j = 0; j < b_; ++j) {
          const int32_t col = nbnd_ + j;
          if (col > i) s -= bd[j] * x[static_cast<std::size_t>(col) * r_ + c];
        }
        x[static_cast<std::size_t>(i) * r_ + c] = s / diag;
      }
    }
    return BSSUCC;
  }

 private:
  // Givens rotation that zeroes the working row's entry against row[pivot].
  void givens(double a, double x, double *cs, double *sn) const {
    const double h = std::hypot(a, x);
    *cs = a / h;
    *sn = x / h;
  }
  void apply(double *row, int from, int to, double cs, double sn) {
    for (int i = from; i < to; ++i) {
      const double p = row[i], q = work_[i];
      row[i] = cs * p + sn * q;
      work_[i] = -sn * p + cs * q;
    }
  }
  void rotate(double *row, int from, int to) {
    givens(row[0], work_[0], &cs_, &sn_);
    apply(row, from, to, cs_, sn_);
    work_[0] = 0.0;
  }
  void rotate_tail(double *row) { apply(row, k_, width_, cs_, sn_); }
  void rotate_border(double *row, int j) {
    double cs, sn;
    givens(row[k_ + j], work_[k_ + j], &cs, &sn);
    apply(row, k_ + j, width_, cs, sn);
    work_[k_ + j] = 0.0;
  }

  int32_t u_;
  int k_, b_;
  int32_t r_, nbnd_;
  int32_t width_ = 0;
  double cs_ = 1.0, sn_ = 0.0;
  ScratchBuffer buf_;
  double *rows_ = nullptr, *work_ = nullptr;
  unsigned char *set_ = nullptr;
};

}  // namespace

BSrc periodic_fit(const FitData &d, bool banded, double *poles) {
  const int k = d.k;
  const int32_t u = d.m - k + 1, rows = d.n - 1, r = d.ncoord;
  const int32_t first = (k % 2 == 0) ? 1 : 0;
  if (u < 1 || rows < u || (rows == 1 && u == 1)) return BSINARG;
  if (banded && u <= 2 * k - 1) banded = false;  // no band below the border
  double basis[kMaxFitOrder];
  ScratchBuffer xbuf(static_cast<std::size_t>(u) * r * sizeof(double));
  if (!xbuf.ok()) return BSNOSTKMEMORY;
  double *x = xbuf.as<double>();
  if (banded) {
    CyclicBandQR qr(u, k, r);
    if (!qr.ok()) return BSNOSTKMEMORY;
    const int32_t nbnd = qr.border_start();
    for (int32_t q = 0; q < rows; ++q) {
      const int32_t j = first + q, s = d.spans[j];
      const BSrc rc = basis_derivatives(k, d.knots, s, d.pars[j], 0, tiny_span(), basis);
      if (rc != BSSUCC) return rc;
      qr.clear_work();
      const int32_t start = std::max<int32_t>(0, s - 2 * k + 2);
      for (int i = 0; i < k; ++i) {
        const int32_t p = s - k + 1 + i;
        const int32_t col = ((p - (k - 1)) % u + u) % u;
        if (col < nbnd) {
          qr.band()[col - start] += basis[i];
        } else {
          qr.border()[col - nbnd] += basis[i];
        }
      }
      for (int32_t c = 0; c < r; ++c) qr.rhs()[c] = point_coord(d, j, c);
      qr.add_row(start);
    }
    const BSrc rc = qr.solve(x);
    if (rc != BSSUCC) return rc;
    for (int32_t i = 0; i < d.m; ++i) {
      const int32_t col = ((i % u) - (k - 1) + u) % u;
      for (int32_t c = 0; c < r; ++c)
        pole_at(d, poles, i)[c] = x[static_cast<std::size_t>(col) * r + c];
    }
  } else {
    const std::size_t nr = static_cast<std::size_t>(rows);
    ScratchBuffer buf(nr * (u + r) * sizeof(double));
    if (!buf.ok()) return BSNOSTKMEMORY;
    double *a = buf.as<double>(), *b = a + nr * u;
    std::fill(a, a + nr * u, 0.0);
    for (int32_t q = 0; q < rows; ++q) {
      const int32_t j = first + q, s = d.spans[j];
      const BSrc rc = basis_derivatives(k, d.knots, s, d.pars[j], 0, tiny_span(), basis);
      if (rc != BSSUCC) return rc;
      for (int i = 0; i < k; ++i)
        a[static_cast<std::size_t>(q) * u + (s - k + 1 + i) % u] += basis[i];
      for (int32_t c = 0; c < r; ++c) b[static_cast<std::size_t>(q) * r + c] = point_coord(d, j, c);
    }
    const BSrc rc = householder_least_squares(rows, u, r, a, b, x);
    if (rc != BSSUCC) return rc;
    for (int32_t i = 0; i < d.m; ++i)
      for (int32_t c = 0; c < r; ++c)
        pole_at(d, poles, i)[c] = x[static_cast<std::size_t>(i % u) * r + c];
  }
  for (int32_t i = 0; i < d.m; ++i)
    for (int32_t c = r; c < d.stride; ++c) pole_at(d, poles, i)[c] = 0.0;
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

namespace {

// Shared argument checks of the solve entries; 0 when usable.
BSrc check_solve_args(int32_t n, const double *points, const double *pars, const int32_t *spans,
                      int16_t order, int32_t m, const double *knots, int32_t stride, int32_t ncoord,
                      const double *poles) {
  if (points == nullptr || pars == nullptr || spans == nullptr || knots == nullptr ||
      poles == nullptr)
    return BSNULLPTR;
  if (n < 1 || order < 2 || order > kMaxFitOrder || m < order || stride < 1 || ncoord < 1 ||
      ncoord > stride)
    return BSINARG;
  for (int32_t i = 0; i < m + order; ++i)
    if (!std::isfinite(knots[i]) || (i > 0 && knots[i] < knots[i - 1])) return BSINARG;
  for (int32_t j = 0; j < n; ++j) {
    if (spans[j] < order - 1 || spans[j] > m - 1 || !std::isfinite(pars[j])) return BSINARG;
    for (int32_t c = 0; c < ncoord; ++c)
      if (!std::isfinite(points[static_cast<std::size_t>(j) * stride + c])) return BSINARG;
  }
  return BSSUCC;
}

}  // namespace

extern "C" {

KW_API void BSnpftwcns2(int32_t n, const double *points, const double *pars, const int32_t *spans,
                        int16_t order, int32_t m, const double *knots, int32_t stride,
                        int32_t ncoord, int32_t type, double *work_matrix, double *work_rhs,
                        double *poles, BSrc *rc) {
  KW_EPILOGUE(rc);
  (void)work_matrix;
  (void)work_rhs;
  *rc = check_solve_args(n, points, pars, spans, order, m, knots, stride, ncoord, poles);
  if (*rc != BSSUCC) return;
  const FitData d{n, points, pars, spans, order, m, knots, stride, ncoord};
  const std::size_t size = static_cast<std::size_t>(m) * stride;
  ScratchBuffer buf(size * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  std::copy(poles, poles + size, buf.as<double>());
  *rc = band_fit(d, type, buf.as<double>());
  if (*rc == BSSUCC) std::copy(buf.as<double>(), buf.as<double>() + size, poles);
}

namespace {

void periodic_entry(int32_t n, const double *points, const double *pars, const int32_t *spans,
                    int16_t order, int32_t m, const double *knots, int32_t stride, int32_t ncoord,
                    bool banded, double *poles, BSrc *rc) {
  *rc = check_solve_args(n, points, pars, spans, order, m, knots, stride, ncoord, poles);
  if (*rc != BSSUCC) return;
  const FitData d{n, points, pars, spans, order, m, knots, stride, ncoord};
  const std::size_t size = static_cast<std::size_t>(m) * stride;
  ScratchBuffer buf(size * sizeof(double));
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  *rc = periodic_fit(d, banded, buf.as<double>());
  if (*rc == BSSUCC) std::copy(buf.as<double>(), buf.as<double>() + size, poles);
}

}  // namespace

KW_API void BSperiodfit(int32_t n, const double *points, const double *pars, const int32_t *spans,
                        int16_t order, int32_t m, const double *knots, int32_t stride,
                        int32_t ncoord, double *work, double *poles, BSrc *rc) {
  KW_EPILOGUE(rc);
  (void)work;
  periodic_entry(n, points, pars, spans, order, m, knots, stride, ncoord, false, poles, rc);
}

KW_API void BSprftwbsol(int32_t n, const double *points, const double *pars, const int32_t *spans,
                        int16_t order, int32_t m, const double *knots, int32_t stride,
                        int32_t ncoord, double *work, double *poles, BSrc *rc) {
  KW_EPILOGUE(rc);
  (void)work;
  periodic_entry(n, points, pars, spans, order, m, knots, stride, ncoord, true, poles, rc);
}

}  // extern "C"
