#!/usr/bin/env bash
# Installs everything needed to cross-build the Windows code (mingw-w64 with
# POSIX threads) and to run it under Wine on a headless Debian 12: for the
# product's i686 (the default) with 32-bit Wine, or for x86_64 with 64-bit
# Wine on a machine that runs no 32-bit programs.
#
#   scripts/install-windows-toolchain.sh [i686|x86_64] [--compiler-only]
#
# --compiler-only leaves Wine out: the 32-bit product is still compiled on a
# machine that cannot run it, and 32-bit Wine would be of no use there.
#
# Run as root. Safe to re-run: nothing is fetched when all is already there.
set -euo pipefail

usage() {
    echo "usage: install-windows-toolchain.sh [i686|x86_64] [--compiler-only]" >&2
    exit 2
}

if [[ $(id -u) -ne 0 ]]; then
    echo "install-windows-toolchain.sh: must run as root" >&2
    exit 1
fi

arch=${1:-i686}
case $arch in
    i686) run_packages=(wine wine32:i386 xvfb xauth) ;;
    x86_64) run_packages=(wine wine64 xvfb xauth) ;;
    *) usage ;;
esac
case ${2:-} in
    --compiler-only) run_packages=() ;;
    "") ;;
    *) usage ;;
esac
mingw=${arch//_/-}

export DEBIAN_FRONTEND=noninteractive
# Another apt run may hold the lock (e.g. a provisioning job): wait for it.
apt_get=(apt-get -qq -o DPkg::Lock::Timeout=600)

packages=(
    # cross compilers; the posix variant gives std::thread via winpthreads
    "gcc-mingw-w64-$mingw-posix" "g++-mingw-w64-$mingw-posix"
    "binutils-mingw-w64-$mingw" "mingw-w64-$mingw-dev" libz-mingw-w64-dev
    # running and testing the exe headless
    "${run_packages[@]}"
    # building the static dependencies from Debian source packages
    cmake ninja-build pkgconf dpkg-dev googletest autoconf automake libtool
)

# 32-bit Wine comes from Debian's i386 packages.
if [[ $arch == i686 && ${#run_packages[@]} -gt 0 ]] &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi

# apt chatters on stderr even when all goes well: show it only on failure.
run_quietly() {
    local output
    if ! output=$("$@" 2>&1); then
        echo "$output" >&2
        echo "install-windows-toolchain.sh: failed: $*" >&2
        exit 1
    fi
}

installed=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null | grep -c '^ii' || true)
if [[ $installed -ne ${#packages[@]} ]]; then
    run_quietly "${apt_get[@]}" update
    run_quietly "${apt_get[@]}" install --no-install-recommends "${packages[@]}"
fi
