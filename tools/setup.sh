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
                desktop-file-utils unzip wine32:i386" ;;
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
# Writes an apt source file of ours, made from the Debian archives apt already uses.
# $1: file name, $2: line type (deb or deb-src), $3: suites to list ("" for those in use).
add_debian_sources() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' |
        grep '/debian' | sort -u | while read -r uri suite component; do
            if [ -z "$3" ]; then echo "$2 $uri $suite $component"
            else for s in $3; do case "$suite" in */*|*-security) ;; *) echo "$2 $uri $s $component" ;; esac; done
            fi
        done | sort -u | as_root tee "/etc/apt/sources.list.d/$1" >/dev/null
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
    add_debian_sources fotobatch-deb-src.list deb-src ""
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
    if ! apt-cache policy qemu-user | grep -q bookworm-backports; then
        add_debian_sources fotobatch-backports.list deb bookworm-backports
    fi
    if ! dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | grep -q bpo; then
        apt_install -t bookworm-backports qemu-user qemu-user-binfmt
    fi
    [ -e /proc/sys/fs/binfmt_misc/register ] ||
        as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        conf=$(ls /usr/lib/binfmt.d/qemu-i386.conf 2>/dev/null || true)
        if [ -n "$conf" ]; then
            grep -v '^#' "$conf" | as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
        else
            as_root update-binfmts --enable qemu-i386
        fi
    fi
    runs_i386 || { echo "32-bit programs still do not run through qemu-user" >&2; exit 1; }
fi
