#include "png_file.h"

#include <png.h>

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace vocalume {

namespace {

struct PngErrorSink {
    char message[256];
};

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
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, rgb + static_cast<size_t>(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string Failure(const std::string& what, const std::string& path, const char* why)
{
    return "cannot " + what + " " + path + ": " + why;
}

}  // namespace

std::string WritePngFile(const std::string& path, int32_t width, int32_t height, const uint8_t* rgb, size_t stride)
{
    if (width <= 0 || height <= 0)
        return Failure("write", path, "the picture is empty");
    if (path.empty())
        return "cannot write the picture: no file name given";

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

    PngErrorSink sink{};
    const bool encoded = EncodePng(file, width, height, rgb, stride, &sink);
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    std::string error;
    if (!encoded)
        error = Failure("write", path, sink.message);
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
