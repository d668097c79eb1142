#include "frame_table.h"

#include "whole_file.h"

#include <charconv>
#include <cstdio>

namespace vocalume {
namespace {

constexpr double kSampleRate = kRecordingRate;
constexpr double kHop = kFrameHop;
constexpr double kCentreOffset = PitchTracker::kCentreOffset;

uint8_t ColourByte(double v)
{
    if (v > 255.0)
        return 255;
    if (!(v >= 0.0))
        return 0;
    return static_cast<uint8_t>(v);
}

// Appends `value` and a comma. std::to_chars never consults the locale.
template <typename T>
void Field(std::string& line, T value)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    line.append(text, end);
    line += ',';
}

void Fixed(std::string& line, double value, int decimals)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    line.append(text, end);
    line += ',';
}

}  // namespace

double FrameTimeSeconds(double frame) { return (kHop * frame + kCentreOffset) / kSampleRate; }

FrameRow FrameRowOf(int64_t frame, const FrameRecord& record, const ColumnRgb& colour)
{
    FrameRow row;
    row.frame = frame;
    row.energy = record.energy;
    row.energyCeiling = record.energyCeiling;
    row.specMax = record.specMax;
    row.specCeiling = record.specCeiling;
    row.acLag = record.acLag;
    row.acPeak = record.acPeak;
    row.cepsPeak = record.cepsPeak;
    row.cepsRatio = record.cepsRatio;
    row.minSample = record.minSample;
    row.maxSample = record.maxSample;
    row.red = ColourByte(colour.red);
    row.green = ColourByte(colour.green);
    row.blue = ColourByte(colour.blue);
    return row;
}

std::string FormatFrameRow(const FrameRow& row)
{
    std::string line;
    line.reserve(160);
    Field(line, row.frame);
    Fixed(line, FrameTimeSeconds(static_cast<double>(row.frame)), 6);
    Field(line, row.energy);
    Field(line, row.energyCeiling);
    Field(line, row.specMax);
    Field(line, row.specCeiling);
    Field(line, row.acLag);
    Field(line, row.acPeak);
    Field(line, row.cepsPeak);
    Field(line, row.cepsRatio);
    Field(line, row.minSample);
    Field(line, row.maxSample);
    Field(line, static_cast<int>(row.red));
    Field(line, static_cast<int>(row.green));
    Field(line, static_cast<int>(row.blue));
    if (row.pitch.voiced)
        Fixed(line, row.pitch.f0Hz, 2);
    else
        line += ',';
    line += row.pitch.voiced ? '1' : '0';
    return line;
}

std::string WriteFrameTable(const std::string& path, const FrameRows& rows)
{
    if (path.empty())
        return "cannot write the frame table: no file name given";

    return WriteFileWhole(path, [&rows](std::FILE* file) -> std::string {
        bool written = std::fputs(kFrameTableHeader, file) >= 0 && std::fputc('\n', file) != EOF;
        for (size_t i = 0; written && i < rows.size(); ++i) {
            std::string line = FormatFrameRow(rows[i]);
            line += '\n';
            written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
        }
        return written ? std::string() : std::string(kFillFailed);
    });
}

std::string WriteAlignmentTable(const std::string& path, const std::vector<double>& modelFrame)
{
    if (path.empty())
        return "cannot write the alignment table: no file name given";

    return WriteFileWhole(path, [&modelFrame](std::FILE* file) -> std::string {
        bool written = std::fputs(kAlignmentTableHeader, file) >= 0 && std::fputc('\n', file) != EOF;
        std::string line;
        for (size_t f = 0; written && f < modelFrame.size(); ++f) {
            line.clear();
            Fixed(line, FrameTimeSeconds(static_cast<double>(f)), 6);
            Fixed(line, FrameTimeSeconds(modelFrame[f]), 6);
            line.back() = '\n';
            written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
        }
        return written ? std::string() : std::string(kFillFailed);
    });
}

}  // namespace vocalume
