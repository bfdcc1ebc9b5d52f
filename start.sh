#!/bin/sh
# Builds Fotobatch if needed and starts it (Winelib under Wine, Windows-1251 code page).
set -eu
cd "$(dirname "$0")"
tools/setup.sh run
. tools/wine-env.sh
mkdir -p build
build_winelib
if [ -z "${DISPLAY:-}" ]; then
    echo "Fotobatch needs an X display: start it from a desktop session (or run: xvfb-run -a ./start.sh)." >&2
    exit 1
fi
make_prefix "$PWD/build/run-prefix"
exec "$WINE" build/fotobatch.exe.so
