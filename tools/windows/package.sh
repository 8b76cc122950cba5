#!/usr/bin/env bash
# Builds what a Windows player downloads: quorvane-downloader.exe, its installer and the portable
# .zip, cross-built on this Linux machine into build-windows-release/ (or $BUILD_DIR). The game's
# server addresses are CMake settings; a release needs all four, none of them on this machine:
#   tools/windows/package.sh -DQUORVANE_LIST_SOURCE_1=https://list1.example/down.ini \
#       -DQUORVANE_LIST_SOURCE_2=... -DQUORVANE_LIST_SOURCE_3=... -DQUORVANE_WEB_HOME=...
#   tools/windows/package.sh --demo        for the demo server, the files named so
# With a code-signing certificate and its key (PEM) the program, its uninstaller and the
# installer are signed with Authenticode:
#   tools/windows/package.sh --sign CERTIFICATE.pem KEY.pem -D...
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=${BUILD_DIR:-build-windows-release}

demo=0
certificate=
key=
while [ $# -gt 0 ]; do
    case $1 in
        --demo) demo=1; shift ;;
        --sign) certificate=$(realpath "${2:?--sign CERTIFICATE.pem KEY.pem}")
                key=$(realpath "${3:?--sign CERTIFICATE.pem KEY.pem}"); shift 3 ;;
        *) break ;;
    esac
done

tools/install-deps.sh g++-mingw-w64-x86-64-posix dpkg-dev binutils nsis osslsigncode
deps=$(tools/windows/build-deps.sh | tail -1)
options=()
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
suffix=
[ $demo -eq 1 ] && suffix=-demo
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQUORVANE_WINDOWS_DEPS="$deps" -DQUORVANE_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
    -DQUORVANE_PACKAGE_SUFFIX="$suffix" -DQUORVANE_SIGN_CERTIFICATE="$certificate" \
    -DQUORVANE_SIGN_KEY="$key" "${options[@]}" "$@" >/dev/null

# A program built for the demo server waits for 127.0.0.1 on the player's machine forever. The
# settings are read back from the build, which keeps what an earlier run was given.
if [ $demo -eq 0 ]; then
    refused=0
    for setting in QUORVANE_LIST_SOURCE_1 QUORVANE_LIST_SOURCE_2 QUORVANE_LIST_SOURCE_3 QUORVANE_WEB_HOME; do
        value=$(sed -n "s/^$setting:[A-Z]*=//p" "$build/CMakeCache.txt")
        host=$(printf '%s' "$value" | sed -E 's#^[A-Za-z][A-Za-z0-9+.-]*://([^/@]*@)?(\[[^]]*\]|[^:/]*).*#\2#' | tr 'A-Z' 'a-z')
        if [ -z "$value" ] || [ "$host" = "$value" ] || [ -z "$host" ] ||
            [[ $host =~ ^(localhost|127\.[0-9.]+|0\.0\.0\.0|0|\[::1?\]|\[::ffff:127\..*\])$ ]] ||
            [[ $host == *.localhost ]]; then
            echo "package.sh: $setting is ${value:-not set}; a release needs the game's server there (or --demo)" >&2
            refused=1
        fi
    done
    [ $refused -eq 0 ] || exit 2
fi

cmake --build "$build" --target windows-packages -j "$(nproc)"
ls -l "$build/src/ui/win32/quorvane-downloader.exe" "$build"/installer/*.exe "$build"/installer/*.zip
