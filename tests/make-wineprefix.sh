#!/bin/sh
# Creates the tests' private Wine prefix once; quick when it is there already.
wine="$1"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || true
fi
[ -f "$WINEPREFIX/system.reg" ] || exit 1
# No window manager runs under Xvfb: windows that Wine leaves to one wait two seconds for
# it at every hide, so the tests' windows are unmanaged.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || true
fi
grep -q '"Managed"="N"' "$WINEPREFIX/user.reg"
