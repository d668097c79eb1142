// std::bit_cast for a standard library that predates it (the browser
// edition's, emscripten's libc++ 13): the compiler's own builtin, which
// std::bit_cast is everywhere else. Put before the SSE2 kernels' source in
// that build only (analysis/CMakeLists.txt); nothing includes it.
#pragma once

#include <version>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept
{
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
