#!/bin/sh
# Installs what building, running, releasing and testing Fotobatch need on Debian 12, and
# only what is missing: quiet and quick when everything is there.
# Usage: tools/setup.sh run|release|test
#   run      the Winelib build and Wine
#   release  also MinGW and Debian's source packages, for the Windows zip
#   test     all of it, plus 32-bit Wine (through qemu-user where the machine cannot run
#            32-bit code itself) and what the tests drive
set -eu
mode=${1:-run}
need="cmake make g++ file locales wine64 wine64-tools libwine-dev libfreeimage-dev python3"
release="g++-mingw-w64-i686 binutils-mingw-w64-i686 dpkg-dev nasm zip"
case "$mode" in
    release) need="$need $release" ;;
    test) need="$need $release xvfb xauth x11-utils libgtest-dev libjpeg-dev mariadb-server mariadb-client
                desktop-file-utils unzip exfat-fuse exfatprogs wine32:i386" ;;
esac

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}
installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
apt_updated=""
apt_update() {
    [ -n "$apt_updated" ] && return 0
    as_root apt-get update -qq
    apt_updated=yes
}
apt_install() {
    apt_update
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq "$@" >/dev/null
}
# Writes apt sources of ours, copied from the Debian archives apt already uses (their
# keys and options included): $1 "src" adds their source packages, "backports" the
# backports suite of this release. Files fotobatch-$1.list and fotobatch-$1.sources.
add_debian_sources() {
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$list" ] || continue
        case "$list" in */fotobatch-*) continue ;; esac
        grep -E '^deb[[:space:]].*/debian' "$list" | if [ "$1" = src ]; then sed 's/^deb\([[:space:]]\)/deb-src\1/'
            else grep -v security | awk -v suite="$codename-backports" '{
                for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { $(i + 1) = suite; break }; print }'; fi
    done | sort -u | as_root tee "/etc/apt/sources.list.d/fotobatch-$1.list" >/dev/null
    for sources in /etc/apt/sources.list.d/*.sources; do
        [ -f "$sources" ] || continue
        case "$sources" in */fotobatch-*) continue ;; esac
        awk -v mode="$1" -v suite="$codename-backports" '
            function flush() {
                if (n > 0 && uris ~ /\/debian/ && types ~ /(^| )deb( |$)/ && enabled !~ /no/ &&
                    !(mode == "src" && types ~ /deb-src/) && !(mode == "backports" && uris ~ /security/)) {
                    for (i = 1; i <= n; i++) {
                        line = lines[i]
                        if (line ~ /^Types:/) line = mode == "src" ? "Types: deb-src" : "Types: deb"
                        if (line ~ /^Suites:/ && mode == "backports") line = "Suites: " suite
                        print line
                    }
                    print ""
                }
                n = 0; uris = ""; types = ""; enabled = ""
            }
            /^[[:space:]]*$/ { flush(); next }
            /^#/ { next }
            { lines[++n] = $0 }
            /^URIs:/ { uris = $0 } /^Types:/ { types = $0 } /^Enabled:/ { enabled = $0 }
            END { flush() }' "$sources"
    done | as_root tee "/etc/apt/sources.list.d/fotobatch-$1.sources" >/dev/null
    apt_updated=""
    apt_update
}

# 32-bit Wine comes from the i386 architecture.
case " $need " in *:i386*)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture"
        as_root dpkg --add-architecture i386
        apt_updated=""
    fi ;;
esac

missing=""
for package in $need; do
    installed "$package" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    apt_install $missing
fi

# Wine's ANSI code page follows the locale: ru_RU.UTF-8 gives Windows-1251.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    echo "Making the ru_RU.UTF-8 locale"
    as_root localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi

# FreeImage and its codecs for Windows are built from Debian's source packages.
if [ "$mode" != run ] && ! apt-cache showsrc freeimage 2>/dev/null | grep -q '^Version:'; then
    echo "Enabling Debian's source packages"
    add_debian_sources src
fi

# 32-bit code: a tiny i386 program that only exits. Some virtual machines cannot run it;
# there qemu-user runs it, registered through binfmt_misc. Debian 12's own qemu 7.2
# cannot run Wine ("failed to map the shared user data"); the backported one can.
runs_i386() {
    probe=$(mktemp)
    printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
    chmod +x "$probe"
    ok=0
    "$probe" 2>/dev/null || ok=1
    rm -f "$probe"
    return $ok
}
if [ "$mode" = test ] && ! runs_i386; then
    echo "This machine cannot run 32-bit code: setting up qemu-user for it"
    if ! apt-cache policy qemu-user | grep -q -- -backports; then
        add_debian_sources backports
    fi
    if ! dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | grep -q bpo; then
        apt_install -t "$(. /etc/os-release && echo "$VERSION_CODENAME")-backports" qemu-user
    fi
    [ -e /proc/sys/fs/binfmt_misc/register ] ||
        as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    # qemu-user-binfmt registers no x86 family on amd64; qemu-user ships the entry itself.
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        grep -hv '^#' /usr/share/qemu/binfmt.d/qemu-i386.conf | as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
    fi
    runs_i386 || { echo "32-bit programs still do not run through qemu-user" >&2; exit 1; }
fi
