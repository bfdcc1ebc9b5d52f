#!/bin/sh
# The Linux install: `cmake --install` into a DESTDIR gives the launcher, the programs, a
# valid desktop entry that opens folders, and the icons; the installed launcher, in a fresh
# HOME, makes the user's Wine prefix and brings up the main window, starts in a folder given
# as its argument, and names a missing one in a box before it starts as usual; ./start.sh
# still brings up the main window from the source folder. Needs an X display (ctest runs
# under xvfb-run).
# Usage: install-check.sh SOURCE_DIR BUILD_DIR
set -eu
source_dir="$1"
build_dir="$2"
work=$(mktemp -d /tmp/fotobatch-install.XXXXXX)
started=""
cleanup() {
    if [ -n "$started" ]; then
        for prefix in "$work/home/.local/share/fotobatch/wineprefix" "$source_dir/build/run-prefix"; do
            WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
        done
        kill "$started" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
status=0
fail() { echo "FAILED: $*"; status=1; }

DESTDIR="$work/root" cmake --install "$build_dir" --prefix /usr/local >"$work/install.log" ||
    { cat "$work/install.log"; exit 1; }
root=$work/root/usr/local
for file in bin/fotobatch lib/fotobatch/fotobatch.exe.so lib/fotobatch/fotobatch-worker.exe.so \
            share/applications/fotobatch.desktop share/icons/hicolor/48x48/apps/fotobatch.png \
            share/icons/hicolor/256x256/apps/fotobatch.png; do
    [ -e "$root/$file" ] || fail "$file is not installed"
done
desktop="$root/share/applications/fotobatch.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=fotobatch %f' "$desktop" || fail "the desktop entry passes no folder"
grep -qx 'MimeType=inode/directory;' "$desktop" || fail "the desktop entry does not list inode/directory"
case "$(file -b "$root/share/icons/hicolor/32x32/apps/fotobatch.png")" in
    "PNG image data, 32 x 32, 8-bit/color RGBA"*) ;;
    *) fail "the 32x32 icon is not a 32x32 RGBA PNG" ;;
esac

# Waits (a bounded while) for a top-level window with the program's title; 0 if it came.
window_up() {
    tries=0
    while [ $tries -lt 240 ]; do
        xwininfo -root -tree 2>/dev/null | grep -q '"Fotobatch": (' && return 0
        kill -0 "$1" 2>/dev/null || return 1
        sleep 1
        tries=$((tries + 1))
    done
    return 1
}
# Closes what a run left: its Wine prefix's processes, then the process we started.
end_run() {
    WINEPREFIX="$1" /usr/lib/wine/wineserver -k 2>/dev/null || true
    wait "$started" 2>/dev/null || true
    started=""
}

mkdir -p "$work/home"
env -u WINEPREFIX -u LANG -u LC_ALL HOME="$work/home" XDG_DATA_HOME= "$root/bin/fotobatch" \
    >"$work/launcher.log" 2>&1 &
started=$!
if window_up $started; then
    echo "installed launcher: main window up"
else
    fail "the installed launcher brought up no main window"; cat "$work/launcher.log"
fi
[ -f "$work/home/.local/share/fotobatch/wineprefix/system.reg" ] || fail "no Wine prefix in the fresh HOME"
end_run "$work/home/.local/share/fotobatch/wineprefix"

# The launcher with a folder, relative to where it is started, and with a missing one:
# the box's text, then the working directory that the name-fix dialog shows.
mkdir "$work/Фото отпуск"
winpath() { echo "Z:$1" | tr / '\\'; }
while IFS='|' read -r argument box; do
    (cd "$work" && exec env -u WINEPREFIX -u LANG -u LC_ALL HOME="$work/home" XDG_DATA_HOME= \
        "$root/bin/fotobatch" "$argument" >"$work/launcher.log" 2>&1) &
    started=$!
    seen="$(WINEPREFIX="$work/home/.local/share/fotobatch/wineprefix" WINEDEBUG=-all \
        LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 /usr/lib/wine/wine64 "$build_dir/fotobatch-peek.exe.so" \
        ${box:+box} </dev/null 2>/dev/null | tr -d '\r')" || true
    if [ -z "$box" ]; then
        expected="workdir | $(winpath "$work/$argument")"
    else
        expected="box | Папка не найдена, открыта папка по умолчанию:
$box
workdir | C:\\"
    fi
    [ "$seen" = "$expected" ] || { fail "fotobatch '$argument' showed:"; echo "$seen"; cat "$work/launcher.log"; }
    end_run "$work/home/.local/share/fotobatch/wineprefix"
done <<LIST
Фото отпуск|
$work/нет такой|$(winpath "$work/нет такой")
LIST
echo "installed launcher: starts in a folder given to it, names a missing one"

"$source_dir/start.sh" >"$work/start.log" 2>&1 &
started=$!
if window_up $started; then
    echo "./start.sh: main window up"
else
    fail "./start.sh brought up no main window"; cat "$work/start.log"
fi
end_run "$source_dir/build/run-prefix"
exit $status
