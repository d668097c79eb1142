// A plain, line-by-line transcription of the frame analysis and smoothing,
// kept apart from the program's own (faster) code so that tests and
// benchmarks can hold the two side by side: the program's results must equal
// these bit for bit.
#pragma once

#include <cstdint>

#include "analysis_worker.h"

namespace vocalume::reference {

void ComplexFFT(float* data, int32_t n, int32_t direction);
void RealFFT(float* data, int32_t n, int32_t direction);
int32_t NormAutocorr(const int16_t* x, int32_t count, float* out, int32_t amin, int32_t amax);

// Full analysis of the record's own samples (no undersampling copy), writing
// the same fields AnalyseFrame writes and moving the trackers.
void AnalyseInFull(FrameRecord& r, LevelTrackers& trackers);

// Smoothing of slot s over its eleven neighbours.
void SmoothFrame(FrameRing& ring, int32_t s);

}  // namespace vocalume::reference
