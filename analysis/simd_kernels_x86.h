// The kernels of the two x86-64 builds (simd_kernels_sse2.cpp and
// simd_kernels_avx2.cpp), compiled only for x86-64. Internal to the
// analysis library.
#pragma once

#include <cstdint>

#include "simd_kernels.h"

namespace vocalume::simd {

namespace sse2 {
void FftStages(float* data, int32_t n, const FftTwiddles& tw);
void RealFftUntangle(float* data, int32_t n, int32_t iFirst, int32_t iLast, double c2, const FftTwiddles& tw);
void LagProducts(const int16_t* xp, const int16_t* xh, int32_t count, int32_t a0, int32_t blocks,
                 const uint8_t* wide, double* c);
int32_t SpectrumLevels(const float* b, int32_t bins, double invF, float* levels, int32_t* retry);
}  // namespace sse2

namespace avx2 {
void FftStages(float* data, int32_t n, const FftTwiddles& tw);
void RealFftUntangle(float* data, int32_t n, int32_t iFirst, int32_t iLast, double c2, const FftTwiddles& tw);
void LagProducts(const int16_t* xp, const int16_t* xh, int32_t count, int32_t a0, int32_t blocks,
                 const uint8_t* wide, double* c);
int32_t SpectrumLevels(const float* b, int32_t bins, double invF, float* levels, int32_t* retry);
}  // namespace avx2

// The kernel tables of the two builds; the AVX2 one only for a processor
// that supports it.
const Kernels& Sse2Kernels();
const Kernels& Avx2Kernels();

}  // namespace vocalume::simd
