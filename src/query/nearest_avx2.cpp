// The nearest-point kernels compiled for AVX2 into knotwork::avx2 (the build adds
// -mavx2 to this file only, and only where the target allows it). No FMA: the
// arithmetic and its rounding are those of the plain build, so the answers are
// the same bit for bit; only the instructions differ.
#ifdef KNOTWORK_HAVE_AVX2_KERNELS
#define KNOTWORK_KERNELS_AVX2
#include "query/project_piece.cpp"
#include "query/nearest_spline.cpp"
#endif
