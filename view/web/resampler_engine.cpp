// The rate converter (libsoxr) has a vector engine and a plain one, whose
// samples differ in their last bits. The desktop's processors all run the
// vector one, and the browser build carries it too, on WebAssembly's vector
// instructions; but from inside the browser the converter cannot see the
// processor, so it is told, before any conversion, for the page and for its
// file worker alike.
#include <cstdlib>

namespace {

[[maybe_unused]] const bool g_vectorEngine = setenv("SOXR_USE_SIMD", "1", 0) == 0;

}  // namespace
