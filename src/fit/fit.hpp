// Interpolation through points: workers shared by the fitting family's files
// (parametrisation and knot placement, end poles and tangents, the band and
// periodic solves, and the fitting engine). All take validated arguments.
#ifndef KNOTWORK_FIT_FIT_HPP
#define KNOTWORK_FIT_FIT_HPP

#ifndef KNOTWORK_INTERNAL
#error "fit.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>

#include "knotwork.h"

namespace knotwork {

// Defined in bspline/basis.cpp: the k non-zero basis functions of span s at u and
// their derivatives up to nd into ders (rows of k values).
BSrc basis_derivatives(int k, const double *knots, int32_t s, double u, int nd, double tiny,
                       double *ders);

// Largest order the fits accept.
inline constexpr int kMaxFitOrder = 16;

// End conditions of a fit.
inline constexpr int32_t kEndGivenPole = -1;
inline constexpr int32_t kEndEstimated = 0;
inline constexpr int32_t kEndTangent = 1;
inline constexpr int32_t kEndNatural = 3;

// ---- Parametrisation and knots (src/fit/parametrise.cpp) ----------------------

// Cumulative chord lengths (mode 0) or square roots of chord lengths (mode 1) of n
// points (stride doubles each, the first dim measured; divided by their weights
// when weights is not null) into out (n - 1 values). Mode 2 chooses 0 when the
// smallest chord is below 1.0, else 1, and writes the choice back.
void cumulative_chords(int32_t n, const double *points, const double *weights, int32_t stride,
                       int32_t dim, int32_t *mode, double *out);

// Parameters in [0, 1] of `sets` point sets of n points each (set j starts at point
// j n) averaged over the sets that are not degenerate; *average the mean measure of
// those sets (0 when every set is degenerate). Status 33.
BSrc average_parameters(int32_t sets, int32_t n, const double *points, const double *weights,
                        int32_t stride, int32_t dim, double *average, double *pars);

// Knots and parameter spans of a fit of order k with s spans through n parameters
// (knot placement method 4). knots need room for s + 2k - 1 values. Status -2
// (a periodic fit with one span, too few parameters), -1 (a domain span or a gap
// between interpolated parameters below ktol).
BSrc place_fit_knots(int k, bool periodic, double ktol, int32_t s, int32_t n, const double *pars,
                     int32_t *num_knots, double *knots, int32_t *spans);

// Spans of n ascending parameters on a knot vector of m poles.
void parameter_spans(int k, int32_t m, int32_t n, const double *pars, const double *knots,
                     int32_t *spans);

// ---- End tangents and poles (src/fit/ends.cpp) ------------------------------------

// Unit tangent at the start (at_end false: at a) or the end (at c) of the three
// points from the circle through them, or the chord when they are collinear.
// Status -2 (the end chord has no length).
BSrc estimate_end_tangent(bool at_end, const double *a, const double *b, const double *c,
                          double *tangent);

// The pole next to the start (at_end false) or end of a fit (BSfndtnpol2).
struct EndPoleInput {
  int32_t n;
  const double *points;   // n x stride, weighted when weights is not null
  const double *weights;  // n or null
  const double *pars;
  int k;
  int32_t m;
  const double *knots;  // m + k
  int32_t stride;
};
BSrc end_pole(const EndPoleInput &in, int32_t condition, bool at_end, double pole_weight,
              const double *given, double *pole);

// ---- Solves (src/fit/solve.cpp) ------------------------------------------------------

// The data of one coordinate set to fit: n points of stride doubles (the first
// ncoord fitted) at their parameters and spans, on m poles of order k.
struct FitData {
  int32_t n;
  const double *points;
  const double *pars;
  const int32_t *spans;
  int k;
  int32_t m;
  const double *knots;
  int32_t stride;
  int32_t ncoord;
};

// Constrained banded least squares (BSnpftwcns2): poles (m x stride) hold the fixed
// poles on entry and every pole on return. Status -2 (bad type, more unknowns than
// rows), -1 (singular), 33.
BSrc band_fit(const FitData &d, int32_t type, double *poles);

// Periodic least squares over the n - 1 distinct rows (the last point repeats the
// first): dense Householder or the banded cyclic solve. Status -2, -1, 33.
BSrc periodic_fit(const FitData &d, bool banded, double *poles);

// ---- The engine (src/fit/engine.cpp) -------------------------------------------------

struct EngineInput {
  FitData data;
  const double *weights;  // point weights (n) or null
  bool periodic;
  int32_t mode;
  int32_t cond[2];
  const double *vec[2];  // stride doubles each, or null
  double pole_weight[2];
};
// Poles (m x stride) and, for a weighted fit, weights (m). Statuses of BSfitratpts.
BSrc fit_points(const EngineInput &in, double *poles, double *weights);

}  // namespace knotwork

#endif  // KNOTWORK_FIT_FIT_HPP
