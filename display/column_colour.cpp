#include "column_colour.h"

#include <algorithm>

namespace vocalume {

void BuildColourBands(ColourBands& bands, int32_t nbins, int32_t sampleRate)
{
    BandWeight* w = bands.entry;
    std::fill(w, w + ColourBands::kEntries, BandWeight{0.0, 0.0, 0.0});

    const int32_t bins = std::clamp(nbins, 0, ColourBands::kEntries);
    const int32_t q = bins / 4;
    const int32_t nyquist = sampleRate / 2;
    if (q == 0 || nyquist <= 0)
        return;
    const int32_t end = 4 * q;
    // The bin of 100 Hz: nothing below it is coloured.
    const int32_t lowCut = static_cast<int32_t>((static_cast<int64_t>(bins) * 100) / nyquist);
    const double dq = q;

    // One running index through five stretches; a stretch whose condition
    // already fails is skipped. The mirrored reads (2q - i, 3q - i, 4q - i)
    // fall on entries built earlier in this pass.
    int32_t i = 0;
    for (; i < lowCut && i < end; ++i)
        w[i] = {0.0, 0.0, 0.0};
    for (; i <= q; ++i)
        w[i] = {0.0, 0.0, i / dq};
    for (; i <= 2 * q; ++i)
        w[i] = {0.0, i / dq, w[2 * q - i].red};
    for (; i <= 3 * q; ++i)
        w[i] = {i / dq, w[3 * q - i].green, 0.0};
    for (; i < end; ++i)
        w[i] = {w[end - i].blue, 0.0, 0.0};

    double blueSum = 0.0, greenSum = 0.0, redSum = 0.0;
    for (int32_t k = 0; k < end; ++k) {
        blueSum += w[k].blue;
        greenSum += w[k].green;
        redSum += w[k].red;
    }
    // A band with no weight at all stays zero instead of becoming NaN.
    for (int32_t k = 0; k < end; ++k) {
        if (blueSum != 0.0)
            w[k].blue /= blueSum;
        if (greenSum != 0.0)
            w[k].green /= greenSum;
        if (redSum != 0.0)
            w[k].red /= redSum;
    }
}

ColumnRgb ColumnColour(const ColourBands& bands, const FrameRecord& record, int32_t dbRange)
{
    const bool useSmooth = record.smoothed.load(std::memory_order_acquire) == 1;
    const float* levels = useSmooth ? record.smoothSpectrum : record.spectrum;
    const double range = dbRange;
    const double floorDb = static_cast<double>(record.specCeiling) - range;
    // A record never holds more bins than its arrays do, whatever `nbins` says.
    const int32_t n = std::clamp(record.nbins, 0, kMaxBins);

    double redSum = 0.0, greenSum = 0.0, blueSum = 0.0;
    for (int32_t k = 0; k < n; ++k) {
        const double level = (static_cast<double>(levels[k]) - floorDb) / range;
        if (level > 0.0) {
            const BandWeight& w = bands.entry[k];
            redSum += level * w.red;
            greenSum += level * w.green;
            blueSum += level * w.blue;
        }
    }

    double e = (static_cast<double>(record.energy) - (static_cast<double>(record.energyCeiling) - range)) / range;
    if (e < 0.0)
        e = 0.0;

    ColumnRgb rgb;
    const double m = Max3(redSum, greenSum, blueSum);
    if (m != 0.0) {
        const double e2 = e * e;
        rgb.red = e2 * redSum * 255.0 / m;
        rgb.green = e2 * greenSum * 255.0 / m;
        rgb.blue = e2 * blueSum * 255.0 / m;
    }
    return rgb;
}

double Max3(double x, double y, double z)
{
    if (x > y)
        return x > z ? x : z;
    return y > z ? y : z;
}

}  // namespace vocalume
