// A plain, line-by-line transcription of the frame analysis, kept apart from
// the program's own (faster) code so that tests and benchmarks can hold the
// two side by side: the program's results must equal these bit for bit. It
// writes its own constants, so a wrong constant in the program shows; only
// the transform comes from the program, pinned by its own tests against a
// direct DFT.
#pragma once

#include <cstdint>

#include "frame_analyser.h"
#include "frame_ring.h"

namespace vocalume::reference {

// The normalised autocorrelation by direct sums over lags amin .. amax: the
// lag of the strictly largest value above -1 (smallest on ties), 0 when none.
int32_t NormAutocorr(const int16_t* x, int32_t count, float* out, int32_t amin, int32_t amax);

// Value i of the Hamming window of n samples and of the cepstral lifter of an
// f-point transform, as the analysis must hold them.
double HammingWindow(int32_t i, int32_t n);
double LifterWindow(int32_t i, int32_t f);

// Full analysis of the record's own samples (no undersampling copy), writing
// the same fields AnalyseFrame writes and moving the trackers.
void AnalyseInFull(FrameRecord& r, LevelTrackers& trackers);

}  // namespace vocalume::reference
