#include "png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>

#include "whole_file.h"

namespace vocalume {

namespace {

struct PngErrorSink {
    char message[256];
    std::FILE* file = nullptr;
    int writeError = 0;  // the system's reason when a write to the file failed
};

// Writes as libpng's own writer does, but keeps the system's reason for a
// failed write (a full disk), which libpng would only call "Write Error".
void OnPngWrite(png_structp png, png_bytep data, size_t length)
{
    auto* sink = static_cast<PngErrorSink*>(png_get_error_ptr(png));
    if (std::fwrite(data, 1, length, sink->file) != length) {
        sink->writeError = errno != 0 ? errno : EIO;
        png_error(png, "write failed");
    }
}

void OnPngFlush(png_structp png)
{
    auto* sink = static_cast<PngErrorSink*>(png_get_error_ptr(png));
    std::fflush(sink->file);
}

void OnPngError(png_structp png, png_const_charp message)
{
    auto* sink = static_cast<PngErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors: libpng reports errors by a long
// jump back into this function.
bool EncodePng(std::FILE* file, int32_t width, int32_t height, const uint8_t* rgb, size_t stride,
               PngErrorSink* sink)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, OnPngError, OnPngWarning);
    if (png == nullptr) {
        std::snprintf(sink->message, sizeof sink->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(sink->message, sizeof sink->message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    sink->file = file;
    png_set_write_fn(png, nullptr, OnPngWrite, OnPngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, rgb + static_cast<size_t>(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::string WritePngFile(const std::string& path, int32_t width, int32_t height, const uint8_t* rgb, size_t stride)
{
    if (width <= 0 || height <= 0)
        return "Cannot write \"" + path + "\": the picture is empty. Make the window larger and try again.";
    return WriteFileWhole(path, [&](std::FILE* file) -> std::string {
        PngErrorSink sink{};
        if (EncodePng(file, width, height, rgb, stride, &sink))
            return {};
        if (sink.writeError != 0) {
            errno = sink.writeError;
            return kFillFailed;
        }
        return sink.message;
    });
}

}  // namespace vocalume
