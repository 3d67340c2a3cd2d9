#!/usr/bin/env bash
# Builds the static mingw libraries the Windows build links against: libcurl
# (HTTP, HTTPS, FTP and FTPS; TLS through Windows' own Schannel), libsodium,
# libzip (zlib only) and GoogleTest, for the product's i686 (the default) or
# for x86_64.
#
#   scripts/build-windows-deps.sh [i686|x86_64]
#
# curl, libsodium and libzip come from Debian's source packages so they carry
# Debian's security fixes. Needs scripts/install-windows-toolchain.sh first;
# root only when deb-src entries still have to be added.
#
# Installs into ${QUENNVOLDAR_WINDEPS:-~/.cache/quennvoldar/windows-deps-<triple>},
# outside the clone so CI re-runs reuse it, and skips all work when that prefix
# was built by this very script and toolchain. A rebuild is staged and swapped
# in when complete, so builds using the old prefix keep working meanwhile;
# parallel runs wait for each other.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=${1:-i686}
if [[ $arch != i686 && $arch != x86_64 ]]; then
    echo "usage: build-windows-deps.sh [i686|x86_64]" >&2
    exit 2
fi
triple=$arch-w64-mingw32
toolchain="$repo_root/cmake/mingw-$arch.cmake"
prefix="${QUENNVOLDAR_WINDEPS:-$HOME/.cache/quennvoldar/windows-deps-$triple}"
export QUENNVOLDAR_WINDEPS="$prefix"

owner_marker="$prefix/.quennvoldar-windows-deps"
stamp="$prefix/.quennvoldar-stamp"
build_hash=$(cat "${BASH_SOURCE[0]}" "$toolchain" "$repo_root/cmake/mingw-common.cmake" |
    sha256sum | cut -d' ' -f1)

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9

if [[ -f $stamp && $(<"$stamp") == "$build_hash" ]]; then
    echo "$prefix"
    exit 0
fi

if [[ -e $prefix && ! -f $owner_marker && -n $(ls -A "$prefix") ]]; then
    echo "build-windows-deps.sh: $prefix is not empty and was not made by this script" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quennvoldar-windeps.XXXXXX")
trap 'rm -rf "$work"' EXIT
log="$work/build.log"
# Installs land in $stage$prefix, so the files name the final prefix.
stage="$work/stage"

# Keeps the console quiet; shows the step's output only when it fails.
run() {
    if ! "$@" >>"$log" 2>&1; then
        tail -n 60 "$log" >&2
        echo "build-windows-deps.sh: failed: $*" >&2
        exit 1
    fi
}

apt_get=(apt-get -qq -o DPkg::Lock::Timeout=600)
source_packages=(curl libsodium libzip)

# Adds deb-src twins of the configured Debian deb entries, same suites.
enable_deb_src() {
    local list=/etc/apt/sources.list
    local deb822=/etc/apt/sources.list.d/debian.sources
    local entries
    if [[ $(id -u) -ne 0 ]]; then
        echo "build-windows-deps.sh: no Debian source packages available; run once as root" >&2
        exit 1
    fi
    if [[ -f $list ]] && ! grep -Eq '^[[:space:]]*deb-src[[:space:]]' "$list"; then
        entries=$(sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list")
        [[ -z $entries ]] || echo "$entries" >/etc/apt/sources.list.d/quennvoldar-deb-src.list
    fi
    if [[ -f $deb822 ]] && ! grep -Eq '^Types:.*deb-src' "$deb822"; then
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /(^|\n)Types:[^\n]*[ \t]deb([ \t]|\n|$)/ {
                 gsub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
             }' "$deb822" >/etc/apt/sources.list.d/quennvoldar-deb-src.sources
    fi
    run "${apt_get[@]}" update
}

if ! apt-cache showsrc "${source_packages[@]}" >/dev/null 2>&1; then
    enable_deb_src
fi

(cd "$work" && run apt-get -qq source "${source_packages[@]}")
curl_src=$(find "$work" -maxdepth 1 -type d -name 'curl-*' | head -n1)
libsodium_src=$(find "$work" -maxdepth 1 -type d -name 'libsodium-*' | head -n1)
libzip_src=$(find "$work" -maxdepth 1 -type d -name 'libzip-*' | head -n1)

mkdir -p "$stage$prefix"
touch "$stage$owner_marker"

cmake_build() {
    local name=$1 src=$2
    shift 2
    run cmake -S "$src" -B "$work/build-$name" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF \
        -DBUILD_TESTING=OFF \
        "$@"
    run cmake --build "$work/build-$name" -j2
    run env DESTDIR="$stage" cmake --install "$work/build-$name"
}

# TLS comes from Windows itself and checks against its certificate store; curl
# would otherwise build in this Linux host's CA bundle path as the default.
cmake_build curl "$curl_src" \
    -DBUILD_CURL_EXE=OFF -DENABLE_MANUAL=OFF -DPICKY_COMPILER=OFF \
    -DCURL_ENABLE_SSL=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none -DCURL_USE_GSSAPI=OFF \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DUSE_NGHTTP2=OFF \
    -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF \
    -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_ZLIB=ON -DENABLE_IPV6=ON \
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_DICT=ON \
    -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON \
    -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_RTSP=ON \
    -DCURL_DISABLE_SMB=ON -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON \
    -DCURL_DISABLE_TFTP=ON

# The source package carries no generated configure script.
(cd "$libsodium_src" && run autoreconf -fi)
mkdir "$work/build-libsodium"
(cd "$work/build-libsodium" && run "$libsodium_src/configure" \
    --host="$triple" CC="$triple-gcc-posix" CFLAGS=-O2 \
    --prefix="$prefix" --disable-shared --enable-static --disable-dependency-tracking)
run make -C "$work/build-libsodium" -j2
run make -C "$work/build-libsodium" install DESTDIR="$stage"

# The shipped package config leaves zlib out, which breaks static consumers.
sed -i 's/^#include(CMakeFindDependencyMacro)$/include(CMakeFindDependencyMacro)/;
        s/^#find_dependency(ZLIB::ZLIB)$/find_dependency(ZLIB)/' \
    "$libzip_src/libzip-config.cmake.in"
cmake_build libzip "$libzip_src" \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
    -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=ON \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF

cmake_build googletest /usr/src/googletest \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON

echo "$build_hash" >"$stage$stamp"
rm -rf "$prefix"
mv "$stage$prefix" "$prefix"
echo "$prefix"
