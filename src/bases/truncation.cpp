// Truncation of Legendre series against a tolerance: the scalar tail-sum rule and
// the vector variants (Euclidean norms with a floor, plain magnitude sums, a
// minimum degree, composite and rational series).
#include <initializer_list>
#include <algorithm>
#include <cmath>

#include "bases/series.hpp"

namespace knotwork {
namespace {

bool all_finite(int64_t count, const double *v) {
  for (int64_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// How a vector scan measures one coefficient index and which indices it ignores.
struct VectorRule {
  bool euclidean;  // Euclidean norm of the coefficient vector (else plain magnitude sum)
  double floor;    // indices whose measure is at or below this are skipped
};

// The scan of every vector truncation: from k = n down, add the measure of index k
// (when above the floor) to the tail; the first k where the tail exceeds tol is the
// new degree, -1 when it never does; tol < 0 keeps n.
int32_t vector_scan(int32_t n, int32_t dim, const double *c, double tol, const VectorRule &rule) {
  if (n < 0) return -1;
  if (tol < 0.0) return n;
  double tail = 0.0;
  for (int32_t k = n; k >= 0; --k) {
    double measure = 0.0;
    for (int32_t d = 0; d < dim; ++d) {
      const double v = c[static_cast<int64_t>(d) * (n + 1) + k];
      measure += rule.euclidean ? v * v : std::fabs(v);
    }
    if (rule.euclidean) measure = std::sqrt(measure);
    if (measure > rule.floor) tail += measure;
    if (tail > tol) return k;
  }
  return -1;
}

double norm_floor(int32_t n, int32_t dim, const double *c) {
  double s = 0.0;
  for (int64_t i = 0; i < static_cast<int64_t>(n + 1) * dim; ++i) s += c[i] * c[i];
  return 1e-15 * std::sqrt(s);
}

double magnitude_floor(int32_t n, int32_t dim, const double *c) {
  double s = 0.0;
  for (int64_t i = 0; i < static_cast<int64_t>(n + 1) * dim; ++i) s += std::fabs(c[i]);
  return 1e-14 * s;
}

// Keeps the first m + 1 coefficients of each of `blocks` components of n + 1
// (components packed with stride n + 1 into stride m + 1, in place).
void compact(int32_t n, int32_t m, int64_t blocks, double *c) {
  if (m < 0 || m == n) return;
  for (int64_t b = 1; b < blocks; ++b)
    std::copy(c + b * (n + 1), c + b * (n + 1) + m + 1, c + b * (m + 1));
}

BSrc check_vector(int32_t n, int32_t dim, const double *c, double tol, const int32_t *degree) {
  if (c == nullptr || degree == nullptr) return BSNULLPTR;
  if (n < -1 || dim < 1 || std::isnan(tol) || !all_finite(static_cast<int64_t>(n + 1) * dim, c))
    return BSINARG;
  return BSSUCC;
}

// BStruncvlgd and BStruncvlgd0: new degree, and the kept coefficients copied into
// *out (allocated from result memory when *out is null).
BSrc truncate_copy(int32_t n, int32_t dim, const double *c, double tol, double floor,
                   int32_t *degree, double **out) {
  const int32_t m = vector_scan(n, dim, c, tol, VectorRule{true, floor});
  if (m >= 0 && out != nullptr) {
    double *dst = *out;
    if (dst == nullptr) {
      dst = alloc_result_doubles(static_cast<std::size_t>(m + 1) * dim);
      if (dst == nullptr) return BSNOMEMORY;
    }
    for (int32_t d = 0; d < dim; ++d)
      std::copy(c + static_cast<int64_t>(d) * (n + 1),
                c + static_cast<int64_t>(d) * (n + 1) + m + 1,
                dst + static_cast<int64_t>(d) * (m + 1));
    *out = dst;
  }
  *degree = m;
  return BSSUCC;
}

// After an injected failure a copy this call allocated is released again.
void withdraw_copy(const double *given, double **out) {
  if (out != nullptr && *out != given) {
    BSdbgfree(*out);
    *out = nullptr;
  }
}

}  // namespace
}  // namespace knotwork

using namespace knotwork;

KW_API void BStrunclgd(int32_t n, const double *l, double tol, int32_t *degree) {
  if (degree == nullptr) return;
  if (l == nullptr || n < 0) {
    *degree = -1;
    return;
  }
  *degree = truncated_degree(n, l, tol);
}

KW_API void BStruncvlgd(int32_t n, int32_t dim, const double *c, double tol, int32_t *degree,
                        double **out, BSrc *rc) {
  ::knotwork::Epilogue kw_epilogue_guard_("BSlgdcvint", rc);
  if ((*rc = check_vector(n, dim, c, tol, degree)) != BSSUCC) return;
  double *given = out != nullptr ? *out : nullptr;
  *rc = truncate_copy(n, dim, c, tol, n < 0 ? 0.0 : norm_floor(n, dim, c), degree, out);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) withdraw_copy(given, out);
}

KW_API void BStruncvlgd0(int32_t n, int32_t dim, const double *c, double tol, int32_t *degree,
                         double **out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_vector(n, dim, c, tol, degree)) != BSSUCC) return;
  double *given = out != nullptr ? *out : nullptr;
  *rc = truncate_copy(n, dim, c, tol, n < 0 ? 0.0 : magnitude_floor(n, dim, c), degree, out);
  if (*rc == BSSUCC && !KW_FINISH(TRUE)) withdraw_copy(given, out);
}

KW_API void BStruncvlgf(int32_t n, int32_t dim, double *c, double tol, int32_t *degree, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_vector(n, dim, c, tol, degree)) != BSSUCC) return;
  const int32_t m = vector_scan(n, dim, c, tol, VectorRule{false, -1.0});
  compact(n, m, dim, c);
  *degree = m;
}

KW_API void BStruncvlgm(int32_t n, int32_t dim, double *c, double tol, int32_t min_degree,
                        int32_t *degree, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_vector(n, dim, c, tol, degree)) != BSSUCC) return;
  int32_t m = vector_scan(n, dim, c, tol, VectorRule{true, 1e-30});
  if (m < std::min(min_degree, n)) m = std::min(min_degree, n);
  compact(n, m, dim, c);
  *degree = m;
}

KW_API void BStruncmlgd(int32_t count, int32_t n, int32_t dim, double *c, double tol,
                        int32_t *degree, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (c == nullptr || degree == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  const int64_t block = static_cast<int64_t>(n + 1) * dim;
  if (count < 1 || n < -1 || dim < 1 || std::isnan(tol) || !all_finite(block * count, c)) {
    *rc = BSINARG;
    return;
  }
  int32_t m = -1;
  for (int32_t s = 0; s < count; ++s) {
    const double *seg = c + s * block;
    const double floor = n < 0 ? 0.0 : norm_floor(n, dim, seg);
    m = std::max(m, vector_scan(n, dim, seg, tol, VectorRule{true, floor}));
  }
  compact(n, m, static_cast<int64_t>(dim) * count, c);
  *degree = m;
}

KW_API void BStruncrlgf(int32_t n, int32_t dim, double *c, double tol, int32_t *degree, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = check_vector(n, dim, c, tol, degree)) != BSSUCC) return;
  if (dim < 2) {
    *rc = BSINARG;  // at least one coordinate and the weight
    return;
  }
  int32_t m = n;
  if (n >= 0 && tol >= 0.0) {
    // |w| >= w_lo on [-1, 1]; the numerators are bounded by their magnitude sums.
    const double *w = c + static_cast<int64_t>(dim - 1) * (n + 1);
    double w_lo = std::fabs(w[0]);
    for (int32_t k = 1; k <= n; ++k) w_lo -= std::fabs(w[k]);
    if (w_lo > 0.0) {
      double a_max = 0.0;
      for (int32_t d = 0; d + 1 < dim; ++d) {
        double s = 0.0;
        for (int32_t k = 0; k <= n; ++k) s += std::fabs(c[static_cast<int64_t>(d) * (n + 1) + k]);
        a_max = std::max(a_max, s);
      }
      const double scaled = tol * w_lo / (1.0 + a_max / w_lo);
      m = vector_scan(n, dim, c, scaled, VectorRule{false, -1.0});
    }
  }
  compact(n, m, dim, c);
  *degree = m;
}
