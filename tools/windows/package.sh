#!/usr/bin/env bash
# Builds what a Windows player downloads: quorvane-downloader.exe, its installer and the portable
# .zip, cross-built on this Linux machine into build-windows-release/ (or $BUILD_DIR). Extra
# arguments go to CMake, e.g. the game's server addresses:
#   tools/windows/package.sh -DQUORVANE_LIST_SOURCE_1=https://list1.example/down.ini ...
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=${BUILD_DIR:-build-windows-release}

tools/install-deps.sh g++-mingw-w64-x86-64-posix dpkg-dev binutils nsis
deps=$(tools/windows/build-deps.sh | tail -1)
options=()
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQUORVANE_WINDOWS_DEPS="$deps" -DQUORVANE_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
    "${options[@]}" "$@" >/dev/null
cmake --build "$build" --target windows-packages -j "$(nproc)"
ls -l "$build/src/ui/win32/quorvane-downloader.exe" "$build"/installer/*.exe "$build"/installer/*.zip
