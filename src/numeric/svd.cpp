// Singular value decompositions: the general m x n decomposition and the small
// n x 2 and n x 3 forms used for best-fit lines and planes through points.
#include <cmath>

#include "frame/frame.hpp"
#include "numeric/numeric.hpp"

namespace knotwork {
namespace {

inline std::size_t idx(int32_t rows, int32_t i, int32_t j) {
  return static_cast<std::size_t>(j) * rows + i;
}

constexpr int kSweepLimit = 40;

// One-sided Jacobi on the columns of the column-major m x n matrix u (m >= n):
// rotates column pairs until they are mutually orthogonal, accumulating the
// rotations into v (n x n). The column norms are then the singular values.
bool orthogonalise_columns(int32_t m, int32_t n, double *u, double *v) {
  for (int32_t j = 0; j < n; ++j)
    for (int32_t i = 0; i < n; ++i) v[idx(n, i, j)] = i == j ? 1.0 : 0.0;
  const double eps = 2.220446049250313e-16;
  for (int sweep = 0; sweep < kSweepLimit; ++sweep) {
    bool rotated = false;
    for (int32_t p = 0; p + 1 < n; ++p) {
      for (int32_t q = p + 1; q < n; ++q) {
        double *up = u + idx(m, 0, p), *uq = u + idx(m, 0, q);
        double a = 0.0, b = 0.0, g = 0.0;
        for (int32_t i = 0; i < m; ++i) {
          a += up[i] * up[i];
          b += uq[i] * uq[i];
          g += up[i] * uq[i];
        }
        if (g == 0.0 || std::fabs(g) <= eps * std::sqrt(a * b)) continue;
        rotated = true;
        const double zeta = (b - a) / (2.0 * g);
        const double t = (zeta >= 0.0 ? 1.0 : -1.0) / (std::fabs(zeta) + std::hypot(1.0, zeta));
        const double c = 1.0 / std::sqrt(1.0 + t * t), s = c * t;
        for (int32_t i = 0; i < m; ++i) {
          const double x = up[i], y = uq[i];
          up[i] = c * x - s * y;
          uq[i] = s * x + c * y;
        }
        double *vp = v + idx(n, 0, p), *vq = v + idx(n, 0, q);
        for (int32_t i = 0; i < n; ++i) {
          const double x = vp[i], y = vq[i];
          vp[i] = c * x - s * y;
          vq[i] = s * x + c * y;
        }
      }
    }
    if (!rotated) return true;
  }
  return false;
}

// Column norms into sv, columns of u normalised, then everything ordered by
// descending singular value (selection by swaps keeps the pairs together).
void finish_decomposition(int32_t m, int32_t n, double *u, double *sv, double *v) {
  for (int32_t j = 0; j < n; ++j) {
    double s = 0.0;
    for (int32_t i = 0; i < m; ++i) s += u[idx(m, i, j)] * u[idx(m, i, j)];
    s = std::sqrt(s);
    sv[j] = s;
    if (s > 0.0)
      for (int32_t i = 0; i < m; ++i) u[idx(m, i, j)] /= s;
  }
  for (int32_t j = 0; j < n; ++j) {
    int32_t best = j;
    for (int32_t l = j + 1; l < n; ++l)
      if (sv[l] > sv[best]) best = l;
    if (best == j) continue;
    const double t = sv[j];
    sv[j] = sv[best];
    sv[best] = t;
    for (int32_t i = 0; i < m; ++i) {
      const double x = u[idx(m, i, j)];
      u[idx(m, i, j)] = u[idx(m, i, best)];
      u[idx(m, i, best)] = x;
    }
    for (int32_t i = 0; i < n; ++i) {
      const double x = v[idx(n, i, j)];
      v[idx(n, i, j)] = v[idx(n, i, best)];
      v[idx(n, i, best)] = x;
    }
  }
}

// Columns of u (m x n) that came out exactly zero (zero singular values) are
// replaced by unit vectors orthogonal to all others (Gram-Schmidt on the axes),
// so that U always has orthonormal columns.
void complete_zero_columns(int32_t m, int32_t n, const double *sv, double *u) {
  for (int32_t j = 0; j < n; ++j) {
    if (sv[j] != 0.0) continue;
    double *col = u + idx(m, 0, j);
    for (int32_t axis = 0; axis < m; ++axis) {
      for (int32_t i = 0; i < m; ++i) col[i] = i == axis ? 1.0 : 0.0;
      for (int pass = 0; pass < 2; ++pass)
        for (int32_t l = 0; l < n; ++l) {
          if (l == j || (sv[l] == 0.0 && l > j)) continue;
          const double *other = u + idx(m, 0, l);
          double d = 0.0;
          for (int32_t i = 0; i < m; ++i) d += other[i] * col[i];
          for (int32_t i = 0; i < m; ++i) col[i] -= d * other[i];
        }
      double norm = 0.0;
      for (int32_t i = 0; i < m; ++i) norm += col[i] * col[i];
      norm = std::sqrt(norm);
      if (norm > 0.5) {
        for (int32_t i = 0; i < m; ++i) col[i] /= norm;
        break;
      }
    }
  }
}

}  // namespace

// A (m x n, column-major) = U diag(sv) V^T with p = min(m, n): U m x p, sv p
// values descending, V n x p, all column-major.
BSrc singular_value_decomposition(int32_t m, int32_t n, const double *a, double *u, double *sv,
                                  double *v) {
  const bool tall = m >= n;
  const int32_t rows = tall ? m : n, cols = tall ? n : m;
  ScratchBuffer buf(
      (static_cast<std::size_t>(rows) * cols + static_cast<std::size_t>(cols) * cols) *
      sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *w = buf.as<double>();
  double *wv = w + static_cast<std::size_t>(rows) * cols;
  for (int32_t j = 0; j < n; ++j)
    for (int32_t i = 0; i < m; ++i) {
      if (tall)
        w[idx(m, i, j)] = a[idx(m, i, j)];
      else
        w[idx(n, j, i)] = a[idx(m, i, j)];  // work on the transpose
    }
  if (!orthogonalise_columns(rows, cols, w, wv)) return BSNOSOLUTION;
  finish_decomposition(rows, cols, w, sv, wv);
  complete_zero_columns(rows, cols, sv, w);
  const std::size_t big = static_cast<std::size_t>(rows) * cols;
  const std::size_t small = static_cast<std::size_t>(cols) * cols;
  // For a wide matrix A^T = W S Wv^T, so U = Wv and V = W.
  std::memcpy(tall ? u : v, w, big * sizeof(double));
  std::memcpy(tall ? v : u, wv, small * sizeof(double));
  return BSSUCC;
}

void singular_values_n_by_2(int32_t n, const double *x, double *sv, double *v) {
  const double *xs = x, *ys = x + (n > 0 ? n : 0);
  double a = 0.0, b = 0.0, c = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    a += xs[i] * xs[i];
    c += ys[i] * ys[i];
    b += xs[i] * ys[i];
  }
  double t;
  if (a != c) {
    const double tau = 2.0 * b / (a - c);
    t = tau / (std::sqrt(tau * tau + 1.0) + 1.0);
  } else if (b == 0.0) {
    sv[0] = sv[1] = std::sqrt(a);
    v[0] = 1.0, v[1] = 0.0, v[2] = 0.0, v[3] = 1.0;
    return;
  } else {
    t = b > 0.0 ? 1.0 : -1.0;
  }
  const double cs = 1.0 / std::sqrt(t * t + 1.0), sn = t * cs;
  double s1 = 0.0, s2 = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double p = cs * xs[i] + sn * ys[i], q = cs * ys[i] - sn * xs[i];
    s1 += p * p;
    s2 += q * q;
  }
  s1 = std::sqrt(s1);
  s2 = std::sqrt(s2);
  if (s1 >= s2) {
    sv[0] = s1, sv[1] = s2;
    v[0] = cs, v[1] = sn, v[2] = -sn, v[3] = cs;
  } else {
    sv[0] = s2, sv[1] = s1;
    v[0] = -sn, v[1] = cs, v[2] = -cs, v[3] = -sn;
  }
}

bool jacobi_eigen_sym3(const double *s, double *ev, double *evec) {
  double a[3][3], q[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      a[i][j] = s[i * 3 + j];
      q[i][j] = i == j ? 1.0 : 0.0;
    }
  bool converged = false;
  for (int sweep = 0; sweep < 50 && !converged; ++sweep) {
    const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    const double diag = a[0][0] * a[0][0] + a[1][1] * a[1][1] + a[2][2] * a[2][2];
    if (off == 0.0 || off <= 1e-36 * diag) {
      converged = true;
      break;
    }
    for (int p = 0; p < 2; ++p) {
      for (int r = p + 1; r < 3; ++r) {
        if (a[p][r] == 0.0) continue;
        const double theta = (a[r][r] - a[p][p]) / (2.0 * a[p][r]);
        const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::hypot(1.0, theta));
        const double c = 1.0 / std::sqrt(t * t + 1.0), sn = t * c;
        for (int k = 0; k < 3; ++k) {  // A <- A J
          const double x = a[k][p], y = a[k][r];
          a[k][p] = c * x - sn * y;
          a[k][r] = sn * x + c * y;
        }
        for (int k = 0; k < 3; ++k) {  // A <- J^T A
          const double x = a[p][k], y = a[r][k];
          a[p][k] = c * x - sn * y;
          a[r][k] = sn * x + c * y;
        }
        a[p][r] = a[r][p] = 0.0;
        for (int k = 0; k < 3; ++k) {
          const double x = q[k][p], y = q[k][r];
          q[k][p] = c * x - sn * y;
          q[k][r] = sn * x + c * y;
        }
      }
    }
  }
  int order[3] = {0, 1, 2};
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      if (a[order[j]][order[j]] > a[order[i]][order[i]]) {
        const int t = order[i];
        order[i] = order[j];
        order[j] = t;
      }
  for (int j = 0; j < 3; ++j) {
    ev[j] = a[order[j]][order[j]];
    for (int i = 0; i < 3; ++i) evec[j * 3 + i] = q[i][order[j]];
  }
  return converged;
}

namespace {

BSrc gram_eigen_n_by_3(int32_t n, const double *x, double *ev, double *evec) {
  double g[9] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = i; j < 3; ++j) {
      double s = 0.0;
      for (int32_t k = 0; k < n; ++k) s += x[idx(n, k, i)] * x[idx(n, k, j)];
      g[i * 3 + j] = g[j * 3 + i] = s;
    }
  return jacobi_eigen_sym3(g, ev, evec) ? BSSUCC : -4;
}

}  // namespace

BSrc singular_values_n_by_3(int32_t n, const double *x, double *sv, double *v) {
  double ev[3], evec[9];
  const BSrc rc = gram_eigen_n_by_3(n, x, ev, evec);
  if (rc != BSSUCC) return rc;
  const double *v1 = evec;
  const double s0 = std::sqrt(ev[0] > 0.0 ? ev[0] : 0.0);
  // Two unit vectors completing v1 to an orthonormal basis.
  double e2[3], e3[3];
  {
    const int k = (std::fabs(v1[0]) <= std::fabs(v1[1]) && std::fabs(v1[0]) <= std::fabs(v1[2]))
                      ? 0
                      : (std::fabs(v1[1]) <= std::fabs(v1[2]) ? 1 : 2);
    double axis[3] = {0.0, 0.0, 0.0};
    axis[k] = 1.0;
    // e2 = axis x v1 normalised, e3 = v1 x e2.
    e2[0] = axis[1] * v1[2] - axis[2] * v1[1];
    e2[1] = axis[2] * v1[0] - axis[0] * v1[2];
    e2[2] = axis[0] * v1[1] - axis[1] * v1[0];
    const double l = std::sqrt(e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2]);
    for (double &c : e2) c /= l;
    e3[0] = v1[1] * e2[2] - v1[2] * e2[1];
    e3[1] = v1[2] * e2[0] - v1[0] * e2[2];
    e3[2] = v1[0] * e2[1] - v1[1] * e2[0];
  }
  ScratchBuffer buf(static_cast<std::size_t>(n > 0 ? n : 1) * 2 * sizeof(double));
  if (!buf.ok()) return BSNOSTKMEMORY;
  double *proj = buf.as<double>();
  bool rank_one = true;
  const double limit = 2.220446049250313e-16 * s0;
  for (int32_t k = 0; k < n; ++k) {
    const double px = x[idx(n, k, 0)], py = x[idx(n, k, 1)], pz = x[idx(n, k, 2)];
    proj[k] = px * e2[0] + py * e2[1] + pz * e2[2];
    proj[n + k] = px * e3[0] + py * e3[1] + pz * e3[2];
    if (std::fabs(proj[k]) > limit || std::fabs(proj[n + k]) > limit) rank_one = false;
  }
  sv[0] = s0;
  for (int i = 0; i < 3; ++i) v[i] = v1[i];
  if (rank_one) {
    sv[1] = sv[2] = 0.0;
    for (int i = 0; i < 3; ++i) v[3 + i] = e2[i], v[6 + i] = e3[i];
    return BSSUCC;
  }
  double s2[2], w[4];
  singular_values_n_by_2(n, proj, s2, w);
  sv[1] = s2[0];
  sv[2] = s2[1];
  for (int i = 0; i < 3; ++i) {
    v[3 + i] = w[0] * e2[i] + w[1] * e3[i];
    v[6 + i] = w[2] * e2[i] + w[3] * e3[i];
  }
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSsingval(int32_t m, int32_t n, const double *a, double *u, double *sv,
                                 double *v, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (m < 1 || n < 1 || a == nullptr || u == nullptr || sv == nullptr || v == nullptr) {
    *rc = BSINARG;
    return;
  }
  *rc = singular_value_decomposition(m, n, a, u, sv, v);
}

extern "C" KW_API void BSsngvald2v(int32_t n, const double *x, double *sv, double *v, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (x == nullptr || sv == nullptr || v == nullptr) {
    *rc = BSINARG;
    return;
  }
  if (n < 1) {
    sv[0] = sv[1] = 0.0;
    v[0] = 1.0, v[1] = 0.0, v[2] = 0.0, v[3] = 1.0;
    return;
  }
  singular_values_n_by_2(n, x, sv, v);
}

extern "C" KW_API void BSsngvald3v(int32_t n, const double *x, double *sv, double *v, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (x == nullptr || sv == nullptr || v == nullptr || n < 0) {
    *rc = BSINARG;
    return;
  }
  *rc = singular_values_n_by_3(n, x, sv, v);
}

extern "C" KW_API void BSsngvaljc3(int32_t n, const double *x, double *ev, double *evec, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (x == nullptr || ev == nullptr || evec == nullptr || n < 0) {
    *rc = BSINARG;
    return;
  }
  *rc = gram_eigen_n_by_3(n, x, ev, evec);
}
