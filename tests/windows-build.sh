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

# windres replaces a static's default style when one is given; the disabled label of the
# thumbnail job dialog (at 137, 44, 171 x 8) keeps WS_GROUP in both builds:
# WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_GROUP | SS_LEFT, stored little-endian just
# before the label's place in the dialog template.
label_style() {
    od -An -v -tx1 "$1" | tr -d ' \n' | grep -o '[0-9a-f]\{8\}89002c00ab000800ffffffff' | head -n 1 | cut -c1-8
}
for program in "$build_dir/fotobatch.exe" "$build_dir/../fotobatch.exe.so"; do
    [ -f "$program" ] || continue
    style=$(label_style "$program")
    echo "$(basename "$program"): label style $style"
    [ "$style" = "00000258" ] || { echo "the disabled label's style is not 0x58020000" >&2; exit 1; }
done
