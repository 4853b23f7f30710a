// Internal workers of the dense linear algebra and sorting family, shared by its
// source files and by the vector family's point-set classification.
#ifndef KNOTWORK_NUMERIC_NUMERIC_HPP
#define KNOTWORK_NUMERIC_NUMERIC_HPP

#ifndef KNOTWORK_INTERNAL
#error "numeric.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>

#include "knotwork.h"

namespace knotwork {

// Zero threshold of the dense solvers: pivots, Householder norms and band
// diagonals below it count as zero. Kept beside the tolerance record on purpose:
// it is a property of double arithmetic, not a modelling tolerance.
inline constexpr double kSolverZero = 1e-14;

// Row-major Householder triangularisation of the m x n matrix a (with r right
// sides b, m x r) over min(m, n) columns; entries below the diagonal keep the
// reflector components.
void householder_triangularise_rows(int32_t m, int32_t n, int32_t r, double *a, double *b);

// Column-major Householder triangularisation of the first n columns of an m-row
// array with n + e columns; returns the number of columns processed.
int32_t householder_triangularise_cols(int32_t m, int32_t n, int32_t e, double *a);

// Householder least squares of the row-major m x n system a x = b (r right sides,
// x n x r). a and b are overwritten. Status -1 when a column has no length.
BSrc householder_least_squares(int32_t m, int32_t n, int32_t r, double *a, double *b, double *x);

// Triangular factor R (n x n, column j holds R(0..j, j) then zeros) of the
// column-major m x n matrix a, which is not changed. Status 33 (scratch).
BSrc householder_factor_cols(int32_t m, int32_t n, const double *a, double *r_out);

// Cyclic Jacobi diagonalisation of the symmetric 3x3 matrix s (row-major, not
// changed). Eigenvalues descending in ev, eigenvectors as the columns of the
// column-major evec. Returns false when the sweeps do not converge.
bool jacobi_eigen_sym3(const double *s, double *ev, double *evec);

// Singular values of the n x 2 column-major matrix x (columns x then y), with the
// right singular vectors as the columns of v (2x2), values descending.
void singular_values_n_by_2(int32_t n, const double *x, double *sv, double *v);

// Singular value decomposition of the n x 3 column-major x: values descending in
// sv, right singular vectors as the columns of v (3x3). Status 33 (scratch), -4
// (eigen-solver did not converge).
BSrc singular_values_n_by_3(int32_t n, const double *x, double *sv, double *v);

}  // namespace knotwork

#endif
