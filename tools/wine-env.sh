# Sourced by the scripts: the environment in which Fotobatch runs under Wine.
WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ru_RU.UTF-8
export LC_ALL=ru_RU.UTF-8

# Creates a Wine prefix once; quick when it is there already.
make_prefix() {
    export WINEPREFIX="$1"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix $WINEPREFIX"
        "$WINE" wineboot -i >/dev/null 2>&1 || true
        /usr/lib/wine/wineserver -w 2>/dev/null || true
    fi
}

# Configures and builds the Winelib program and tests into build/.
build_winelib() {
    if [ ! -f build/CMakeCache.txt ]; then
        cmake -S . -B build -DCMAKE_CXX_COMPILER=/usr/lib/wine/wineg++ >build/cmake-config.log 2>&1 ||
            { cat build/cmake-config.log; return 1; }
    fi
    make -C build -j"$(nproc)" --no-print-directory -s >build/build.log 2>&1 || { cat build/build.log; return 1; }
}
