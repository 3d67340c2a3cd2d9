# The Windows product: 32-bit, cross-compiled with Debian's mingw-w64 (POSIX
# threads variant), run under 32-bit Wine.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake ...

set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUENNVOLDAR_MINGW_TRIPLE i686-w64-mingw32)
set(QUENNVOLDAR_WINEARCH win32)

# SSE2 arithmetic: x87 registers keep doubles at extra precision, so one date
# read twice could compare unequal.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
