#!/usr/bin/env bash
# Installs what the native build, its tests, the demo and the benchmarks need
# on a fresh Debian 12. Run as root; nothing is fetched when all is there.
set -euo pipefail

if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps.sh: must run as root" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt_get=(apt-get -qq -y -o DPkg::Lock::Timeout=600)

packages=(
    build-essential cmake pkgconf
    libcurl4-openssl-dev libssl-dev libzip-dev zlib1g-dev libsodium-dev
    openssl ca-certificates
    googletest libgtest-dev libgmock-dev
    clang libclang-rt-14-dev clang-format-14
    python3 python3-pyftpdlib python3-openssl
    zipcmp zipmerge ziptool
    curl wget unzip nginx time
    ccache iproute2 util-linux
)

installed=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null | grep -c '^ii' || true)
if [[ $installed -ne ${#packages[@]} ]]; then
    output=$("${apt_get[@]}" update 2>&1 && "${apt_get[@]}" install --no-install-recommends "${packages[@]}" 2>&1) || {
        echo "$output" >&2
        echo "install-deps.sh: apt-get failed" >&2
        exit 1
    }
fi
