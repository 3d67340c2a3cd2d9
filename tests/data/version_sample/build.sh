#!/bin/sh
# Rebuilds the version-resource fixtures in tests/data from the sources here.
# Needs Debian's mingw-w64 cross tools.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# build TRIPLE ENTRY-SYMBOL RC-NAME EXE-NAME
build() {
  "$1-windres" "$here/$3.rc" -O coff -o "$work/$3.o"
  # No C library and no unwind tables keep the image at a few KB; no time
  # stamp keeps rebuilds byte-identical.
  "$1-gcc" -Os -s -nostdlib -fno-asynchronous-unwind-tables \
    -Wl,-e,"$2" -Wl,--subsystem,console -Wl,--no-insert-timestamp \
    "$here/entry.c" "$work/$3.o" -o "$out/$4"
}

build i686-w64-mingw32 _start version_sample version_sample.exe
build i686-w64-mingw32 _start version_sample_no_translation version_sample_no_translation.exe
build x86_64-w64-mingw32 start version_sample_x64 version_sample_x64.exe
