#!/bin/sh
# Creates the tests' private Wine prefix once; quick when it is there already.
wine="$1"
[ -f "$WINEPREFIX/system.reg" ] && exit 0
"$wine" wineboot -i >/dev/null 2>&1
"$(dirname "$wine")/wineserver" -w 2>/dev/null || true
[ -f "$WINEPREFIX/system.reg" ]
