#!/bin/sh
# The same sources cross-built with MinGW must give a 32-bit Windows GUI executable.
set -eu
source_dir="$1"
build_dir="$2"
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-i686.cmake" >/dev/null
make -C "$build_dir" -j2 --no-print-directory -s
kind=$(file -b "$build_dir/fotobatch.exe")
echo "fotobatch.exe: $kind"
case "$kind" in
    "PE32 executable (GUI) Intel 80386"*) ;;
    *) echo "not a 32-bit Windows GUI executable" >&2; exit 1 ;;
esac
