#!/bin/sh
# Installs what building, running and testing Fotobatch need on Debian 12, and only what
# is missing: quiet and quick when everything is there. Usage: tools/setup.sh run|test
set -eu
need="cmake make g++ file locales wine64 wine64-tools libwine-dev libfreeimage-dev"
case "${1:-run}" in
    test) need="$need xvfb xauth libgtest-dev g++-mingw-w64-i686 binutils-mingw-w64-i686 mariadb-server mariadb-client" ;;
esac

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

missing=""
for package in $need; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq $missing >/dev/null
fi

# Wine's ANSI code page follows the locale: ru_RU.UTF-8 gives Windows-1251.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    echo "Making the ru_RU.UTF-8 locale"
    as_root localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
