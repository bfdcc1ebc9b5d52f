#!/bin/sh
# The Windows release under 32-bit Wine against the Winelib build: both run the thumbnail
# job and the name fix over the same mixed folder (tests/release/makecorpus.cpp), and must
# show the same boxes, write the same imagelog.sql (the run's date aside), make the same
# thumbnails byte for byte and leave the same names. Each build's driver then undoes its
# walk, which must give back every name of the folder byte for byte, and tries FIX on C:\,
# which must be refused with the prefix's C:\ left as it was. The release's fotobatch.exe
# must start and close, and every label of its five dialogs must be whole.
# Usage: pe32-jobs.sh SOURCE_DIR BUILD_DIR
set -eu
source_dir="$1"
build_dir="$2"
version=$(sed -n 's/^project(Fotobatch VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
name=fotobatch-$version-win32
work=$(mktemp -d /tmp/fotobatch-pe32.XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
winpath() { echo "Z:$1" | tr / '\\'; }

unzip -q "$source_dir/dist/$name.zip" -d "$work"
release=$work/$name
cp "$source_dir/build-release-win/fotobatch-jobcheck.exe" "$source_dir/build-release-win/fotobatch-labelcheck.exe" \
    "$release/"
mkdir "$work/corpus"
"$build_dir/tests/makecorpus" "$work/corpus"

# Runs one build's driver over a fresh copy of the folder at the same place, so that
# every path the job writes reads the same; keeps the names after the fix as
# $work/$1-names.txt and the result of the undo as $work/$1. The driver then starts
# $then_start, if set.
run_jobs() {
    label=$1; shift
    cp -a "$work/corpus" "$work/job"
    "$@" "$(winpath "$work/job")" "$(winpath "$work/$label-boxes.txt")" ${then_start:+"$then_start"} \
        2>"$work/$label.log" || {
        echo "$label: the driver failed"; cat "$work/$label-boxes.txt" "$work/$label.log"; exit 1; }
    (cd "$work/job" && find . | LC_ALL=C sort) >"$work/$label-names.txt"
    ls -A "$WINEPREFIX/drive_c" >"$work/$label-c-before.txt"
    "$@" --undo "$(winpath "$work/$label-undo-boxes.txt")" 2>>"$work/$label.log" || {
        echo "$label: the undo driver failed"; cat "$work/$label-undo-boxes.txt" "$work/$label.log"; exit 1; }
    ls -A "$WINEPREFIX/drive_c" >"$work/$label-c-after.txt"
    mv "$work/job" "$work/$label"
}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
WINEPREFIX="$build_dir/wineprefix" run_jobs winelib /usr/lib/wine/wine64 "$build_dir/fotobatch-jobcheck.exe.so"
then_start=$(winpath "$release/fotobatch.exe") WINEPREFIX="$build_dir/wineprefix32" WINEARCH=win32 run_jobs pe32 \
    /usr/lib/wine/wine "$release/fotobatch-jobcheck.exe"
WINEPREFIX="$build_dir/wineprefix32" /usr/lib/wine/wineserver -w

status=0
fail() { echo "FAILED: $*"; status=1; }
utf8() { iconv -f CP1251 -t UTF-8 "$@"; }

# every image of the folder, the cut-short JPEG included, has its thumbnail
thumbs=$(ls "$work/winelib/thumbnails" | wc -l)
[ "$thumbs" = 13 ] || fail "the Winelib job made $thumbs thumbnails, not 13"

grep -av '^main window | ' "$work/pe32-boxes.txt" >"$work/pe32-job-boxes.txt"
cmp -s "$work/winelib-boxes.txt" "$work/pe32-job-boxes.txt" || {
    fail "the boxes differ"; diff "$work/winelib-boxes.txt" "$work/pe32-job-boxes.txt" | utf8; }
grep -aqx 'main window | Fotobatch' "$work/pe32-boxes.txt" ||
    fail "fotobatch.exe: $(utf8 "$work/pe32-boxes.txt" | grep -av ' | ')"

undated() { sed "s/'[0-9]\{4\}-[0-9]\{1,2\}-[0-9]\{1,2\} [0-9]\{1,2\}:[0-9]\{1,2\}:[0-9]\{1,2\}'/'DATE'/g" "$1"; }
undated "$work/winelib/imagelog.sql" >"$work/winelib.sql"
undated "$work/pe32/imagelog.sql" >"$work/pe32.sql"
[ "$(wc -l <"$work/winelib.sql")" = 13 ] || fail "imagelog.sql has not 13 rows"
cmp -s "$work/winelib.sql" "$work/pe32.sql" || {
    fail "imagelog.sql differs"; diff "$work/winelib.sql" "$work/pe32.sql" | utf8; }

cmp -s "$work/winelib-names.txt" "$work/pe32-names.txt" || {
    fail "the names after the fix differ"; diff "$work/winelib-names.txt" "$work/pe32-names.txt"; }
grep -q '^\./picture\.bmp$' "$work/pe32-names.txt" || fail "PICTURE.BMP did not become picture.bmp"

# the undo gives every name back, contents unchanged; FIX on C:\ renames nothing there
for label in winelib pe32; do
    diff -r -x imagelog.sql -x thumbnails "$work/corpus" "$work/$label" >"$work/$label-undone.diff" || {
        fail "$label: the undo did not give the folder back"; utf8 "$work/$label-undone.diff"; }
    cmp -s "$work/$label-c-before.txt" "$work/$label-c-after.txt" || fail "$label: FIX renamed in C:\\"
    grep -aq '^Error | FIX ' "$work/$label-undo-boxes.txt" || fail "$label: FIX on C:\\ was not refused"
done
cmp -s "$work/winelib-undo-boxes.txt" "$work/pe32-undo-boxes.txt" || {
    fail "the undo's boxes differ"; diff "$work/winelib-undo-boxes.txt" "$work/pe32-undo-boxes.txt" | utf8; }

diff -r "$work/winelib/thumbnails" "$work/pe32/thumbnails" || fail "the thumbnails differ"
# every label of the five dialogs whole in the 32-bit prefix as well
WINEPREFIX="$build_dir/wineprefix32" WINEARCH=win32 /usr/lib/wine/wine "$release/fotobatch-labelcheck.exe" \
    >"$work/labels.txt" 2>&1 || { fail "labels cut in the Windows build"; cat "$work/labels.txt"; }
[ "$status" = 0 ] && echo "same boxes, rows, names and $thumbs thumbnails in both builds; both undid their walk" \
    "and refused FIX on C:\\; fotobatch.exe started; Windows build: $(tail -n 1 "$work/labels.txt")"
exit $status
