#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages. Quick when everything
# is there already.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config git ccache
    qt6-base-dev qt6-webengine-dev qt6-svg-dev qt6-translations-l10n qt6-image-formats-plugins
    libqt6svg6 libcurl4-openssl-dev libssl-dev
    libgtest-dev libgmock-dev libcpp-httplib-dev python3-pyftpdlib
    xvfb xauth x11-utils imagemagick librsvg2-bin fonts-wqy-microhei xdg-utils
    clang-14 libfuzzer-14-dev libclang-rt-14-dev
    libxcb1-dev xdotool desktop-file-utils
)
# Downloads with other players: libtorrent, and the tracker, torrent maker, foreign client and
# dishonest peer (libtorrent from Python) the tests run on loopback.
packages+=(libtorrent-rasterbar-dev opentracker mktorrent transmission-cli python3-libtorrent)
# The Windows window's tests and packages: Wine's own fonts, clicks, the installer.
packages+=(fonts-wine xdotool nsis python3)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
# A package for another architecture (wine32:i386) needs that architecture first.
for package in "${missing[@]}"; do
    arch=${package##*:}
    [ "$arch" != "$package" ] || continue
    dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
done
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
