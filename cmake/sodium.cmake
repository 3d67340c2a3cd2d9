# libsodium as the imported target Sodium::sodium, found through pkg-config:
# Debian's libsodium-dev natively, the static library of
# scripts/build-windows-deps.sh in the Windows build (mingw-common.cmake points
# pkg-config there).
include_guard(DIRECTORY)

find_package(PkgConfig REQUIRED)
pkg_check_modules(QV_SODIUM REQUIRED IMPORTED_TARGET libsodium)

add_library(Sodium::sodium INTERFACE IMPORTED)
target_link_libraries(Sodium::sodium INTERFACE PkgConfig::QV_SODIUM)
if(WIN32)
  # Without it sodium's headers declare every function dllimport, which the
  # static library cannot satisfy.
  target_compile_definitions(Sodium::sodium INTERFACE SODIUM_STATIC)
endif()
