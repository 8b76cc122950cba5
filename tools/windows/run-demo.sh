#!/usr/bin/env bash
# Runs the Windows program under Wine against the Linux demo server on 127.0.0.1:18096
# ($DEMO_PORT), cross-built for that port into build-windows-demo/ ($BUILD_DIR). On $DISPLAY when
# there is one, else on a virtual display; the window stays up until it is closed.
#   tools/windows/run-demo.sh [--screenshot FILE.png]   a picture once the list is there, then stop
set -euo pipefail
screenshot=()
if [ "${1:-}" = "--screenshot" ]; then screenshot=(--screenshot "$(realpath -m "${2:?FILE.png}")"); fi
cd "$(dirname "$0")/../.."
root=$PWD
build=${BUILD_DIR:-build-windows-demo}
port=${DEMO_PORT:-18096}

tools/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev binutils
deps=$(tools/windows/build-deps.sh | tail -1)
servers=(-DQUORVANE_WEB_HOME="http://127.0.0.1:$port/downlist.htm")
for n in 1 2 3; do servers+=(-DQUORVANE_LIST_SOURCE_$n="http://127.0.0.1:$port/list/$n/down.ini"); done
options=()
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQUORVANE_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release "${servers[@]}" "${options[@]}" \
    >/dev/null
cmake --build "$build" --target quorvane-downloader window-probe host_protect_address

display=()
if [ -n "${DISPLAY:-}" ]; then display=(--display "$DISPLAY"); fi
exec python3 tests/win32_ui/window_demo.py --program "$build/src/ui/win32/quorvane-downloader.exe" \
    --probe "$build/tests/win32_ui/window-probe.exe" \
    --demo-server "$build/host-tools/tools/demo-server/quorvane-demo-server" --port "$port" \
    --prefix "$build/wine" "${display[@]}" "${screenshot[@]}"
