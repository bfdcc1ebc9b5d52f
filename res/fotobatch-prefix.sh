# Sourced by the launcher, ./start.sh (through tools/wine-env.sh) and the tests: makes
# Fotobatch's Wine prefix once and gives it the fonts its dialogs are laid out for.
# Usage: make_fotobatch_prefix WINE   (with WINEPREFIX set)

# The dialogs are measured for "MS Sans Serif" 8 pt, the About box for "System". For code
# page 1251 Wine names its own bitmap faces of the two, sserifer.fon and vgasysr.fon, the
# Cyrillic ones at 96 dpi with the Windows faces' cell sizes (MS Sans Serif 8 pt: 13
# pixels high, 5 wide on average), but loads them only from the prefix's Fonts folder.
# Without them it draws the dialogs with a wider Linux face and cuts their labels.
fotobatch_prefix_fonts() {
    bundled="$(dirname "$1")/../../share/wine/fonts"
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts"
    for face in sserifer.fon vgasysr.fon; do
        [ -f "$fonts/$face" ] || cp "$bundled/$face" "$fonts/" ||
            echo "fotobatch: Wine's font $face is missing; the dialogs' labels may be cut" >&2
    done
}

make_fotobatch_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        echo "fotobatch: making the Wine prefix $WINEPREFIX (once)" >&2
        "$1" wineboot -i >/dev/null 2>&1 || true
        "$(dirname "$1")/wineserver" -w 2>/dev/null || true
    fi
    fotobatch_prefix_fonts "$1"
}
