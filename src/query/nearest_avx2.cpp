// The nearest-point kernels compiled for AVX2 and FMA into knotwork::avx2 (the
// build adds -mavx2 -mfma to this file only, and only where the target allows it).
// A fused multiply-add rounds once where the plain build rounds twice, so the
// answers agree with the plain build's to rounding, not always to the last bit;
// every bound of the search allows for the rounding of either.
#ifdef KNOTWORK_HAVE_AVX2_KERNELS
#define KNOTWORK_KERNELS_AVX2
#include "query/project_piece.cpp"
#include "query/nearest_spline.cpp"
#endif
