#!/bin/sh
# Checks a FreeImage.dll for the Windows build: a 32-bit DLL whose export name table is in
# order (the loader searches it by halves), which exports every function the program
# imports through cmake/FreeImage.def, and which needs no DLL beyond Windows' own.
# Usage: tools/check-freeimage-dll.sh FreeImage.dll
set -eu
# the tools' output is read below: untranslated
export LC_ALL=C
dll="$1"
def="$(dirname "$(readlink -f "$0")")/../cmake/FreeImage.def"
dump=$(i686-w64-mingw32-objdump -p "$dll")
echo "$dump" | grep -q '^Magic.*010b' || { echo "$dll: not a PE32 image" >&2; exit 1; }
names=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] \([^ ]*\).*/\1/p')
[ -n "$names" ] || { echo "$dll: exports nothing" >&2; exit 1; }
if ! echo "$names" | LC_ALL=C sort -c 2>/dev/null; then
    echo "$dll: the export name table is out of order" >&2; exit 1
fi
status=0
for name in $(awk '$2 == "==" { print $3 }' "$def"); do
    echo "$names" | grep -qx "$name" || { echo "$dll: does not export $name" >&2; status=1; }
done
for needed in $(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    case "$(echo "$needed" | tr 'A-Z' 'a-z')" in
        kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll) ;;
        *) echo "$dll: needs $needed" >&2; status=1 ;;
    esac
done
[ "$status" = 0 ] && echo "$dll: $(echo "$names" | wc -l) exports in order, every import of the program present"
exit $status
