# The same Windows code built for x86_64 and run under 64-bit Wine, for
# machines whose kernel cannot run 32-bit programs. The product stays the
# 32-bit build.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake ...

set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUENNVOLDAR_MINGW_TRIPLE x86_64-w64-mingw32)
set(QUENNVOLDAR_WINEARCH win64)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
