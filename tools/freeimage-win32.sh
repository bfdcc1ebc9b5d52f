#!/bin/sh
# Cross-builds a 32-bit FreeImage.dll (3.18) with MinGW from Debian's own source packages:
# FreeImage with JPEG (libjpeg-turbo), PNG (libpng + zlib) and TIFF (libtiff) linked in
# statically, plus FreeImage's built-in formats (BMP, GIF, ICO, PCX, PNM, TGA, PSD, ...).
# EXR, JPEG 2000, camera RAW, WebP and JPEG XR are left out: their plugins keep their
# format numbers but read and write nothing.
#
# The result is cached outside the clone, keyed by the source versions, the compiler and
# this script, so a machine builds it once. Prints the folder holding FreeImage.dll,
# FreeImage.def (the exports) and VERSIONS (the sources used).
# Usage: tools/freeimage-win32.sh   (needs deb-src entries and the MinGW compilers)
set -eu
# the tools' output is read below: untranslated
export LC_ALL=C
script=$(readlink -f "$0")
host=i686-w64-mingw32
# The same floating point as the 64-bit build (SSE, not x87): thumbnails come out equal.
flags="-O2 -msse2 -mfpmath=sse"
sources="zlib libjpeg-turbo libpng1.6 tiff imath freeimage"

if [ -n "${FOTOBATCH_CACHE:-}" ]; then cache=$FOTOBATCH_CACHE
elif [ "$(id -u)" = 0 ]; then cache=/var/cache/fotobatch
else cache=${XDG_CACHE_HOME:-$HOME/.cache}/fotobatch
fi

# The versions of a source package the archive lists, newest first (dpkg's ordering).
source_versions() {
    set -- $(apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u)
    for a do
        n=0
        for b do dpkg --compare-versions "$b" gt "$a" && n=$((n + 1)); done
        echo "$n $a"
    done | sort -n | cut -d' ' -f2
}

key_text() {
    for p in $sources; do echo "$p $(source_versions "$p" | head -1)"; done
    $host-gcc --version | head -1
    $host-g++ --version | head -1
    nasm -v
    sha256sum <"$script" | cut -d' ' -f1
}
key=$(key_text | sha256sum | cut -c1-16)
out=$cache/freeimage-win32/$key
if [ -f "$out/FreeImage.dll" ]; then
    echo "$out"
    exit 0
fi

mkdir -p "$cache/freeimage-win32"
work=$(mktemp -d "$cache/freeimage-win32/build.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$work/build.log
prefix=$work/prefix
mkdir -p "$work/src" "$prefix/include" "$prefix/lib" "$work/stage"
echo "Building FreeImage.dll for Windows: once per machine, a few minutes" >&2
fail() {
    cp "$log" "$cache/freeimage-win32/failed-build.log"
    echo "FreeImage build failed: $* (log: $cache/freeimage-win32/failed-build.log)" >&2
    tail -40 "$log" >&2
    exit 1
}

# Fetches and unpacks a source package; the newest security version is sometimes not in
# the archive yet, so older listed versions are tried in turn.
fetch() {
    for v in $(source_versions "$1"); do
        dir=$work/src/$1-try
        rm -rf "$dir"; mkdir -p "$dir"
        if (cd "$dir" && apt-get source -qq "$1=$v") >>"$log" 2>&1; then
            rm -rf "$work/src/$1"
            mv "$(find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1)" "$work/src/$1"
            rm -rf "$dir"
            echo "$1 $v" >>"$work/stage/VERSIONS"
            return 0
        fi
    done
    fail "no version of the source package $1 could be fetched"
}

cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER $host-gcc)
set(CMAKE_CXX_COMPILER $host-g++)
set(CMAKE_RC_COMPILER $host-windres)
set(CMAKE_FIND_ROOT_PATH $prefix /usr/$host)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
EOF

# Configures, builds and installs one CMake project of the sources into the prefix.
cmake_static() {
    name=$1; shift
    cmake -S "$work/src/$name" -B "$work/build-$name" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >>"$log" 2>&1 || fail "configuring $name"
    cmake --build "$work/build-$name" -j"$(nproc)" >>"$log" 2>&1 || fail "building $name"
    cmake --install "$work/build-$name" >>"$log" 2>&1 || fail "installing $name"
}

for p in $sources; do fetch "$p"; done

# zlib: Debian's source has no Windows makefile, and its own files are few.
(cd "$work/src/zlib" && for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback \
    inffast inflate inftrees trees uncompr zutil; do $host-gcc $flags -c $c.c -o $c.o || exit 1; done &&
    $host-ar rcs "$prefix/lib/libz.a" ./*.o && cp zlib.h zconf.h "$prefix/include/") >>"$log" 2>&1 ||
    fail "building zlib"
zlib="-DZLIB_INCLUDE_DIR=$prefix/include -DZLIB_LIBRARY=$prefix/lib/libz.a"

cmake_static libjpeg-turbo -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
cmake_static libpng1.6 -DPNG_SHARED=OFF -DPNG_TESTS=OFF $zlib
cmake_static tiff $zlib -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" \
    -Djpeg=ON -Dzlib=ON -Dold-jpeg=ON -Djbig=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dlerc=OFF \
    -Dlibdeflate=OFF -Djpeg12=OFF -Dcxx=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF
cmake_static imath -DBUILD_TESTING=OFF -DPYTHON=OFF

# FreeImage itself: its plugins, metadata and toolkit, and one file of our own.
fi_src=$work/src/freeimage
cat >"$work/fotobatch_glue.cpp" <<'EOF'
// Formats left out of this build keep their plugin numbers (FIF_* in FreeImage.h count
// the registration order) but offer no loading, saving or detection.
#include <windows.h>
#include "FreeImage.h"
#include "Plugin.h"

#define LEFT_OUT(init, name) \
    static const char *DLL_CALLCONV init##Format() { return name; } \
    void DLL_CALLCONV init(Plugin *plugin, int) { plugin->format_proc = init##Format; }
LEFT_OUT(InitEXR, "EXR")
LEFT_OUT(InitJ2K, "J2K")
LEFT_OUT(InitJP2, "JP2")
LEFT_OUT(InitRAW, "RAW")
LEFT_OUT(InitWEBP, "WEBP")
LEFT_OUT(InitJXR, "JXR")

// FreeImage registers its plugins when the DLL is loaded (its own DllMain is MSVC-only).
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        FreeImage_Initialise(FALSE);
    else if (reason == DLL_PROCESS_DETACH)
        FreeImage_DeInitialise();
    return TRUE;
}
EOF
cd "$fi_src"
left_out="PluginEXR|PluginJ2K|PluginJP2|J2KHelper|PluginRAW|PluginWebP|PluginJXR"
{ ls Source/FreeImage/*.cpp Source/FreeImage/*.c Source/Metadata/*.cpp Source/FreeImageToolkit/*.cpp |
    grep -Ev "/($left_out)\.cpp$"; echo "$work/fotobatch_glue.cpp"; } >"$work/fi-sources"
mkdir -p "$work/fi-obj"
export HOST=$host FLAGS="$flags" PREFIX="$prefix" OBJ="$work/fi-obj"
# shellcheck disable=SC2016
xargs -P "$(nproc)" -n 1 sh -c '
    obj=$(echo "$1" | tr / _ | sed "s/\.[a-z]*$/.o/")
    case "$1" in *.c) cc=$HOST-gcc ;; *) cc="$HOST-g++ -std=gnu++14 -fexceptions" ;; esac
    $cc $FLAGS -DFREEIMAGE_EXPORTS -DNO_LCMS -ISource -ISource/Metadata -ISource/FreeImageToolkit \
        -I$PREFIX/include -c "$1" -o "$OBJ/$obj"' _ <"$work/fi-sources" >>"$log" 2>&1 ||
    fail "compiling FreeImage"
cd - >/dev/null

# The exports, written out: MSVC's FreeImage.dll names its __stdcall functions with a
# leading underscore (_FreeImage_Load@12), and so must ours for the programs built for it.
# dlltool's --add-stdcall-underscore wrote such a table out of order, and Wine then found
# no function at all; an explicit .def gives a table in order, checked below.
# The API is what FreeImage.h declares DLL_API; the objects give each its @N. Their own
# dllexport directives (FreeImage_Load@12, without the underscore) are dropped.
stage=$work/stage
sed -n 's/^DLL_API.*DLL_CALLCONV *\(FreeImage_[A-Za-z0-9_]*\)(.*/_\1/p' "$fi_src/Source/FreeImage.h" |
    sort -u >"$work/api-names"
{
    echo "LIBRARY FreeImage.dll"
    echo "EXPORTS"
    $host-nm -g --defined-only "$work"/fi-obj/*.o | awk '$2 == "T" { print $3 }' |
        awk -F@ 'NR == FNR { api[$1] = 1; next } NF == 2 && api[$1] { print substr($0, 2) }' \
            "$work/api-names" - | LC_ALL=C sort -u | awk '{ print "_" $1 " = " $1 }'
} >"$stage/FreeImage.def"
for o in "$work"/fi-obj/*.o; do $host-objcopy -R .drectve "$o"; done
lib() { find "$prefix" -name "$1" | head -1; }
$host-g++ -shared -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp \
    -o "$stage/FreeImage.dll" "$work"/fi-obj/*.o "$stage/FreeImage.def" \
    "$(lib 'libtiff.a')" "$(lib 'libpng16*.a')" "$(lib 'libjpeg.a')" "$(lib 'libImath*.a')" \
    "$prefix/lib/libz.a" >>"$log" 2>&1 || fail "linking FreeImage.dll"
$host-strip "$stage/FreeImage.dll"
cp "$fi_src/license-fi.txt" "$fi_src/license-gplv2.txt" "$fi_src/license-gplv3.txt" "$stage/"

sh "$(dirname "$script")/check-freeimage-dll.sh" "$stage/FreeImage.dll" >>"$log" 2>&1 ||
    fail "the DLL's export table"
mkdir -p "$(dirname "$out")"
rm -rf "$out"
mv "$stage" "$out"
echo "$out"
