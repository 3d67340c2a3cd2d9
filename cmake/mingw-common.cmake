# What both Windows toolchains share: mingw-w64 (POSIX threads variant) for
# the triple the including file names, its static libraries, and Wine as the
# emulator, so CTest works on Linux.
#
# Static libraries built by scripts/build-windows-deps.sh are found in
# QUENNVOLDAR_WINDEPS (cache variable, else the environment variable of the
# same name, else ~/.cache/quennvoldar/windows-deps-<triple>).

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QUENNVOLDAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENNVOLDAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENNVOLDAR_MINGW_TRIPLE}-windres)

if(NOT QUENNVOLDAR_WINDEPS)
    if(DEFINED ENV{QUENNVOLDAR_WINDEPS} AND NOT "$ENV{QUENNVOLDAR_WINDEPS}" STREQUAL "")
        set(QUENNVOLDAR_WINDEPS "$ENV{QUENNVOLDAR_WINDEPS}")
    else()
        set(QUENNVOLDAR_WINDEPS "$ENV{HOME}/.cache/quennvoldar/windows-deps-${QUENNVOLDAR_MINGW_TRIPLE}")
    endif()
endif()
set(QUENNVOLDAR_WINDEPS "${QUENNVOLDAR_WINDEPS}" CACHE PATH
    "Prefix holding the static mingw libraries (curl, libzip, gtest)")
# try_compile() projects re-read this file without our cache entries.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUENNVOLDAR_WINDEPS)

# Ship a single exe: libgcc, libstdc++ and winpthreads are linked in, so only
# system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

set(CMAKE_FIND_ROOT_PATH "${QUENNVOLDAR_WINDEPS}" "/usr/${QUENNVOLDAR_MINGW_TRIPLE}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The mingw zlib package also ships an import library for zlib1.dll; the
# static archive keeps the exe free of non-system DLLs.
set(ZLIB_USE_STATIC_LIBS ON)

# pkg-config must see the Windows .pc files only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR}
    "${QUENNVOLDAR_WINDEPS}/lib/pkgconfig:/usr/${QUENNVOLDAR_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# wine-run.sh picks the Wine loader and prefix of the build's architecture.
get_filename_component(_quennvoldar_wine_run
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEARCH=${QUENNVOLDAR_WINEARCH} "${_quennvoldar_wine_run}")
unset(_quennvoldar_wine_run)
