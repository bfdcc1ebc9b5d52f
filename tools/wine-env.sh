# Sourced by the scripts: the environment in which Fotobatch runs under Wine.
WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ru_RU.UTF-8
export LC_ALL=ru_RU.UTF-8

# Creates a Wine prefix once, as the launcher does; quick when it is there already.
. res/fotobatch-prefix.sh
make_prefix() {
    export WINEPREFIX="$1"
    make_fotobatch_prefix "$WINE"
}

# Configures and builds the Winelib program and tests into build/.
build_winelib() {
    if [ ! -f build/CMakeCache.txt ]; then
        cmake -S . -B build -DCMAKE_CXX_COMPILER=/usr/lib/wine/wineg++ >build/cmake-config.log 2>&1 ||
            { cat build/cmake-config.log; return 1; }
    fi
    make -C build -j"$(nproc)" --no-print-directory -s >build/build.log 2>&1 || { cat build/build.log; return 1; }
}
