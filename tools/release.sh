#!/bin/sh
# Makes the Windows release: dist/fotobatch-<version>-win32.zip with fotobatch.exe,
# fotobatch-worker.exe, a FreeImage.dll cross-built from Debian's sources (see
# tools/freeimage-win32.sh; cached, so built once per machine), the licences and a text
# for Windows users. Prints the zip's path on its last line.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh release >&2
version=$(sed -n 's/^project(Fotobatch VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=fotobatch-$version-win32
dll_dir=$(tools/freeimage-win32.sh)

# The programs, built for release in their own folder.
build=build-release-win
mkdir -p "$build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
        >"$build/cmake-config.log" 2>&1 || { cat "$build/cmake-config.log" >&2; exit 1; }
fi
make -C "$build" -j"$(nproc)" --no-print-directory -s \
    fotobatch fotobatch-worker fotobatch-jobcheck fotobatch-labelcheck \
    >"$build/build.log" 2>&1 || { cat "$build/build.log" >&2; exit 1; }
tools/check-freeimage-dll.sh "$dll_dir/FreeImage.dll" >&2

stage=dist/$name
rm -rf "$stage" "dist/$name.zip"
mkdir -p "$stage"
for program in fotobatch fotobatch-worker; do
    i686-w64-mingw32-strip -o "$stage/$program.exe" "$build/$program.exe"
done
cp "$dll_dir/FreeImage.dll" "$stage/"
# Texts for Windows: CR LF line ends.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }
crlf LICENSE "$stage/LICENSE.txt"
for licence in license-fi license-gplv2 license-gplv3; do
    crlf "$dll_dir/$licence.txt" "$stage/FreeImage-$licence.txt"
done
# README.txt in Windows-1251, the code page of the program's own texts, which Notepad reads
# on a Cyrillic Windows
sed "s/@VERSION@/$version/" res/windows-readme.txt | iconv -f UTF-8 -t CP1251 >"$stage/README.txt.lf"
crlf "$stage/README.txt.lf" "$stage/README.txt" && rm "$stage/README.txt.lf"
{ echo "FreeImage.dll was cross-built with MinGW-w64 from these Debian source packages:"
  cat "$dll_dir/VERSIONS"; } >"$stage/SOURCES.txt.lf"
crlf "$stage/SOURCES.txt.lf" "$stage/SOURCES.txt" && rm "$stage/SOURCES.txt.lf"
(cd dist && zip -q -r -X "$name.zip" "$name")
echo "dist/$name.zip"
