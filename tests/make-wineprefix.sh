#!/bin/sh
# Makes the tests' private Wine prefix once, as the launcher makes the user's; quick when
# it is there already.
# Usage: make-wineprefix.sh WINE   (with WINEPREFIX set)
set -u
wine="$1"
. "$(dirname "$0")/../res/fotobatch-prefix.sh"
make_fotobatch_prefix "$wine"
[ -f "$WINEPREFIX/system.reg" ] || exit 1
# No window manager runs under Xvfb: windows that Wine leaves to one wait two seconds for
# it at every hide, so the tests' windows are unmanaged.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || true
fi
grep -q '"Managed"="N"' "$WINEPREFIX/user.reg"
