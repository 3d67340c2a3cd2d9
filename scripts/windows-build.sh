# Sourced by the scripts that run the Windows build under Wine: chooses which
# build runs here and installs what it needs.
#
# The product is the 32-bit build. A kernel that cannot run 32-bit programs
# (no IA-32 emulation: the 32-bit Wine loader fails with "Exec format error")
# gets the same code built for x86_64 and run under 64-bit Wine instead.
# QUENNVOLDAR_WINDOWS_ARCH=x86_64 (or i686) takes that choice on any machine.
#
# Sets windows_arch (i686 or x86_64), windows_wine_arch (win32 or win64),
# windows_preset (the CMake preset) and windows_build (its build folder), and
# prints one line saying which and why.

# A 93-byte i386 ELF program that only exits with 0: whether the kernel runs
# it is the question, asked before any 32-bit package is installed.
kernel_runs_32bit_programs() {
    local probe
    probe=$(mktemp "${PWD}/build/.32bit-probe.XXXXXX")
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
          `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
          `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'`
          `'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'`
          `'\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'`
          `'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' > "$probe"
    chmod 700 "$probe"
    local status=0
    "$probe" 2> /dev/null || status=$?
    rm -f "$probe"
    return $status
}

choose_windows_build() {
    local reason
    mkdir -p build
    case ${QUENNVOLDAR_WINDOWS_ARCH:-} in
        i686 | x86_64)
            windows_arch=$QUENNVOLDAR_WINDOWS_ARCH
            reason="QUENNVOLDAR_WINDOWS_ARCH=$QUENNVOLDAR_WINDOWS_ARCH asks for it"
            ;;
        "")
            if kernel_runs_32bit_programs; then
                windows_arch=i686 reason="this machine runs 32-bit programs"
            else
                windows_arch=x86_64 reason="this kernel cannot run 32-bit programs"
            fi
            ;;
        *)
            echo "QUENNVOLDAR_WINDOWS_ARCH must be i686 or x86_64, not '$QUENNVOLDAR_WINDOWS_ARCH'" >&2
            return 2
            ;;
    esac
    if [[ $windows_arch == i686 ]]; then
        windows_preset=windows-demo windows_wine_arch=win32
        echo "Windows build: 32-bit (the product), under 32-bit Wine: $reason."
    else
        windows_preset=windows-demo-x86_64 windows_wine_arch=win64
        echo "Windows build: x86_64 (the same code; the product is 32-bit), under 64-bit Wine: $reason."
    fi
    windows_build=build/$windows_preset
}

# The toolchain, Wine and the static libraries of the chosen build.
prepare_windows_build() {
    scripts/install-windows-toolchain.sh "$windows_arch"
    scripts/build-windows-deps.sh "$windows_arch" > /dev/null
    cmake --preset "$windows_preset" > /dev/null
}

# The product, the 32-bit Quennvoldar.exe, compiles on every machine, also
# where only the x86_64 build runs: its compiler, no Wine, and its static
# libraries (cached like the others).
build_product_exe() {
    scripts/install-windows-toolchain.sh i686 --compiler-only
    scripts/build-windows-deps.sh i686 > /dev/null
    cmake --preset windows-demo > /dev/null
    cmake --build --preset windows-demo --target Quennvoldar
}
