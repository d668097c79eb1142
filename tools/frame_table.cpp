#include "frame_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace vocalume {
namespace {

constexpr double kSampleRate = 11025.0;
constexpr double kHop = 11.0;
constexpr double kCentreOffset = 196.0;

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

std::string Failure(const std::string& what, const std::string& path, const char* why)
{
    return "cannot " + what + " " + path + ": " + why;
}

}  // namespace

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
    Fixed(line, (kHop * static_cast<double>(row.frame) + kCentreOffset) / kSampleRate, 6);
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

std::string WriteFrameTable(const std::string& path, const std::vector<FrameRow>& rows)
{
    if (path.empty())
        return "cannot write the frame table: no file name given";

    // A name of our own next to the target, so that the final rename stays
    // within one file system.
    static std::atomic<unsigned> serial{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return Failure("create", path, std::strerror(errno));
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        return Failure("write", path, std::strerror(error));
    }

    bool written = std::fputs(kFrameTableHeader, file) >= 0 && std::fputc('\n', file) != EOF;
    for (size_t i = 0; written && i < rows.size(); ++i) {
        std::string line = FormatFrameRow(rows[i]);
        line += '\n';
        written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    }
    const int writeError = errno;
    const bool flushed = written && std::fflush(file) == 0 && std::ferror(file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    std::string error;
    if (!written)
        error = Failure("write", path, std::strerror(writeError));
    else if (!flushed)
        error = Failure("write", path, std::strerror(flushError));
    else if (!closed)
        error = Failure("write", path, std::strerror(closeError));
    else if (std::rename(temporary.c_str(), path.c_str()) != 0)
        error = Failure("replace", path, std::strerror(errno));
    if (!error.empty())
        ::unlink(temporary.c_str());
    return error;
}

}  // namespace vocalume
