// Banded least squares by sequential accumulation of row blocks (after the
// BNDACC/BNDSOL procedures of Lawson and Hanson), with the right sides kept in a
// separate row-major array. Only the band (nb coefficients per row) is stored.
#include <cmath>

#include "frame/frame.hpp"
#include "numeric/numeric.hpp"

namespace knotwork {
namespace {

inline double *row(double *g, int32_t nb, int32_t i) {
  return g + static_cast<std::size_t>(i) * nb;
}

}  // namespace

// Accumulates every block into the band-triangular factor held by the first rows
// of g. `keep_limit` > 0 drops the rows of a block triangle beyond that count
// (they only carry residuals). *kept receives the number of rows kept.
BSrc band_accumulate(double *g, int32_t nblocks, const int32_t *rows, int32_t nb, const int32_t *jt,
                     int32_t r, double *b, int32_t keep_limit, int32_t *kept) {
  int32_t ip = 0;          // first unknown (and row) of the active triangle
  int32_t ir = 0;          // next free row
  std::size_t offset = 0;  // caller's position of the current block's rows
  for (int32_t blk = 0; blk < nblocks; ++blk) {
    const int32_t mt = rows[blk];
    const int32_t j = jt[blk];
    if (mt < 0 || j < ip) return BSINARG;
    // Move the block's rows up behind the kept rows.
    int32_t start = ir;
    if (j > ir) {
      // The block starts beyond the kept rows: its rows go to row j and the rows
      // between stay empty. Rows that would land on unread blocks mean the
      // unknowns in the gap have too few equations: the system is singular.
      if (static_cast<std::size_t>(j) > offset) return BSFAIL;
      start = j;
    }
    if (static_cast<std::size_t>(start) != offset && mt > 0) {
      std::memmove(row(g, nb, start), row(g, nb, static_cast<int32_t>(offset)),
                   static_cast<std::size_t>(mt) * nb * sizeof(double));
      std::memmove(b + static_cast<std::size_t>(start) * r, b + offset * r,
                   static_cast<std::size_t>(mt) * r * sizeof(double));
    }
    for (int32_t i = ir; i < start; ++i) {
      for (int32_t c = 0; c < nb; ++c) row(g, nb, i)[c] = 0.0;
      for (int32_t c = 0; c < r; ++c) b[static_cast<std::size_t>(i) * r + c] = 0.0;
    }
    if (start > ir) ir = start;
    offset += static_cast<std::size_t>(mt);
    if (j != ip) {
      // Kept rows from unknown j on become relative to column j: shift them left
      // and clear the places freed at the right end of the band.
      const int32_t shift = j - ip;
      for (int32_t i = j; i < ir; ++i) {
        double *gi = row(g, nb, i);
        for (int32_t c = 0; c < nb; ++c) gi[c] = c + shift < nb ? gi[c + shift] : 0.0;
      }
      ip = j;
    }
    if (mt == 0) continue;
    const int32_t mh = ir + mt - ip;
    householder_triangularise_rows(mh, nb, r, row(g, nb, ip), b + static_cast<std::size_t>(ip) * r);
    // Below the diagonal only reflector components remain: clear them so that the
    // rows are a clean band factor for the next block and the back substitution.
    for (int32_t q = 1; q < mh; ++q) {
      double *gq = row(g, nb, ip + q);
      for (int32_t c = 0; c < nb && c < q; ++c) gq[c] = 0.0;
    }
    int32_t keep = mh;
    if (keep_limit > 0 && keep > keep_limit) keep = keep_limit;
    ir = ip + keep;
  }
  *kept = ir;
  return BSSUCC;
}

// Back substitution on the band-triangular factor for the right-hand columns
// first..rowlen-1 of b; the solution replaces the first jt[last] + nb rows.
BSrc band_back_substitute(const double *g, int32_t nblocks, int32_t nb, const int32_t *jt,
                          int32_t rowlen, int32_t first, double *b) {
  const int32_t nu = jt[nblocks - 1] + nb;
  int32_t blk = nblocks - 1;
  for (int32_t i = nu - 1; i >= 0; --i) {
    while (blk > 0 && jt[blk] > i) --blk;
    const int32_t base = jt[blk];
    const double *gi = g + static_cast<std::size_t>(i) * nb;
    const int32_t d = i - base;
    if (d < 0 || d >= nb || std::fabs(gi[d]) < kSolverZero) return BSFAIL;
    double *bi = b + static_cast<std::size_t>(i) * rowlen;
    for (int32_t c = first; c < rowlen; ++c) {
      double sum = bi[c];
      for (int32_t q = d + 1; q < nb && base + q < nu; ++q)
        sum -= gi[q] * b[static_cast<std::size_t>(base + q) * rowlen + c];
      bi[c] = sum / gi[d];
    }
  }
  return BSSUCC;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSbndhshdtr(double *g, int32_t nblocks, const int32_t *rows, int32_t nb,
                                   const int32_t *jt, int32_t r, double *b, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (nblocks < 1 || nb < 1 || r < 0) {
    *rc = BSINARG;
    return;
  }
  int32_t kept = 0;
  *rc = band_accumulate(g, nblocks, rows, nb, jt, r, b, 0, &kept);
}

extern "C" KW_API void BSbndhsback(const double *g, int32_t nblocks, int32_t nb, const int32_t *jt,
                                   int32_t rowlen, int32_t first, double *b, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (nblocks < 1 || nb < 1 || first < 0 || rowlen < first) {
    *rc = BSINARG;
    return;
  }
  *rc = band_back_substitute(g, nblocks, nb, jt, rowlen, first, b);
}

extern "C" KW_API void BSbndhshold(double *g, int32_t nblocks, const int32_t *rows, int32_t nb,
                                   const int32_t *jt, int32_t r, double *b, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (nblocks < 1 || nb < 1 || r < 0) {
    *rc = BSINARG;
    return;
  }
  int64_t total = 0;
  for (int32_t i = 0; i < nblocks; ++i) total += rows[i];
  if (total < static_cast<int64_t>(jt[nblocks - 1]) + nb) {
    *rc = BSINARG;
    return;
  }
  int32_t kept = 0;
  *rc = band_accumulate(g, nblocks, rows, nb, jt, r, b, nb + r, &kept);
  if (*rc != BSSUCC) return;
  if (kept < jt[nblocks - 1] + nb) {
    *rc = BSFAIL;
    return;
  }
  *rc = band_back_substitute(g, nblocks, nb, jt, r, 0, b);
}
