#include "whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vocalume {

std::string WriteWholeFile(const std::string& path, const uint8_t* bytes, size_t size)
{
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return "Cannot write \"" + path + "\": " + std::strerror(errno) + ".";
    int error = 0;
    size_t done = 0;
    while (done < size && error == 0) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            done += static_cast<size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return "Cannot write \"" + path + "\": " + std::strerror(error) + ".";
    }
    return {};
}

}  // namespace vocalume
