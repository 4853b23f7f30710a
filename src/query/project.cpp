// Nearest point of a curve to points: the search over the Bezier pieces of a
// spline (box distances order and prune the pieces, the previous point's foot bounds
// the next point's search), its curve-record front ends, the on-curve test and the
// closest pair of two point sets.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "frame/frame.hpp"
#include "query/project.hpp"
#include "vector/vec3.hpp"

namespace knotwork {

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API void BSmdptbezcv(int32_t degree, int32_t dim, BSboolean rational,
                                   const double *piece, const double *point, double tol,
                                   double bound, double *dist, double *foot, double *param,
                                   BSrc *rc) {
  KW_EPILOGUE(rc);
  if (degree + 1 > kMaxPieceOrder) {
    *rc = BSDEGENINPUT;
    return;
  }
  if (piece == nullptr || point == nullptr || dist == nullptr || foot == nullptr ||
      param == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (degree < 0 || dim < 1 || (dim + (rational ? 1 : 0)) * (degree + 1) > kMaxPieceValues) {
    *rc = BSINARG;
    return;
  }
  const BezierPiece pc{degree, dim, rational != 0, piece};
  *rc = nearest_on_bezier(pc, point, tol, bound, dist, foot, param);
}

extern "C" KW_API void BSmdptbezln(int32_t dim, BSboolean rational, const double *segment,
                                   const double *point, double tol, double *dist_sq,
                                   double *foot, double *param) {
  *dist_sq = nearest_on_segment(dim, rational != 0, segment, point, tol, foot, param);
}

extern "C" KW_API void BSmdstptarr(int32_t n1, const double *points1, int32_t n2,
                                   const double *points2, int32_t *index1, int32_t *index2,
                                   double *dist, BSrc *rc) {
  KW_EPILOGUE(rc);
  int32_t best_i = 2000000000, best_j = 2000000000;
  double best = kLargestDouble;
  for (int32_t i = 0; i < n1; ++i) {
    const double *p = points1 + 3 * static_cast<std::ptrdiff_t>(i);
    for (int32_t j = 0; j < n2; ++j) {
      const double d2 = v3::dist_sq(p, points2 + 3 * static_cast<std::ptrdiff_t>(j));
      if (d2 <= best) {
        best = d2;
        best_i = i;
        best_j = j;
      }
    }
  }
  *index1 = best_i;
  *index2 = best_j;
  *dist = best < kLargestDouble ? std::sqrt(best) : kLargestDouble;
}
