#!/bin/sh
# The release command makes the Windows zip: the two 32-bit programs, FreeImage.dll and
# the texts, nothing else.
# Usage: release-zip.sh SOURCE_DIR
set -eu
cd "$1"
zip=$(tools/release.sh | tail -1)
name=$(basename "$zip" .zip)
expected="$name/
$name/FreeImage-license-fi.txt
$name/FreeImage-license-gplv2.txt
$name/FreeImage-license-gplv3.txt
$name/FreeImage.dll
$name/LICENSE.txt
$name/README.txt
$name/SOURCES.txt
$name/fotobatch-worker.exe
$name/fotobatch.exe"
listed=$(unzip -Z1 "$zip" | LC_ALL=C sort)
[ "$listed" = "$expected" ] || { echo "$zip holds:"; echo "$listed"; exit 1; }
status=0
check_kind() {
    kind=$(file -b "dist/$name/$1")
    case "$kind" in "$2"*) ;; *) echo "$1: $kind"; status=1 ;; esac
}
check_kind fotobatch.exe "PE32 executable (GUI) Intel 80386"
check_kind fotobatch-worker.exe "PE32 executable (console) Intel 80386"
check_kind FreeImage.dll "PE32 executable (DLL)"
grep -q "Fotobatch $(echo "$name" | sed 's/fotobatch-\(.*\)-win32/\1/') for Windows" "dist/$name/README.txt" ||
    { echo "README.txt does not name the version"; status=1; }
[ "$status" = 0 ] && echo "$zip: $(unzip -Z1 "$zip" | wc -l) entries"
exit $status
