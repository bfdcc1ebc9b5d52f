#!/bin/sh
# Takes PNG screenshots of the main window, of each dialog, and of a thumbnail job's
# description dialog, progress window and summary into docs/, under Xvfb in a
# Wine virtual desktop (without a window manager Wine draws no captions otherwise).
# Needs: a built tree (cmake + make, default build/), Xvfb, and ImageMagick's import
# (apt-get install imagemagick).
# Usage: sh docs/screenshots.sh [build-dir]
set -e
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
wine_tools=/usr/lib/wine

command -v import >/dev/null || { echo "ImageMagick's import is missing (apt-get install imagemagick)" >&2; exit 1; }
[ -f "$build/fotobatch.exe.so" ] || { echo "build the program first: $build/fotobatch.exe.so" >&2; exit 1; }

# the driver is a Winelib program of its own, linked with the program's resources and core
"$wine_tools/wineg++" -mconsole -std=c++17 -I"$root" -finput-charset=UTF-8 -fexec-charset=CP1251 \
    "$root/docs/screenshots.cpp" -o "$build/screenshots.exe" \
    "$build/libfotobatch_core.a" "$build/libfotobatch_decode.a" "$build/libfotobatch_base.a" \
    "$build/fotobatch.res" -lfreeimage

# forty photo-like JPEGs for the thumbnail job's screens, made once
photos="$build/shots-photos"
if [ "$(ls "$photos" 2>/dev/null | grep -c '\.jpg$')" != 40 ]; then
    g++ -O2 -o "$build/gencorpus" "$root/bench/gencorpus.cpp" -lfreeimage
    rm -rf "$photos" && mkdir -p "$photos"
    "$build/gencorpus" "$photos" 40 1600 1200 5 2400 4
fi
rm -rf "$photos/thumbnails" "$photos/imagelog.sql"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
export FOTOBATCH_BUILD_DIR="$build" FOTOBATCH_SHOTS_DIR="$root/docs" FOTOBATCH_SHOTS_PHOTOS="$photos"
sh "$root/tests/make-wineprefix.sh" "$wine_tools/wine64"

xvfb-run -a -s "-screen 0 1024x768x24" sh -c "
    '$wine_tools/wine64' explorer /desktop=Fotobatch,1024x768 '$build/screenshots.exe.so'
    '$wine_tools/wineserver' -w"
ls -l "$root"/docs/*.png
