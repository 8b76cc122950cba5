#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   tools/test.sh              the normal build, in build/
#   tools/test.sh --sanitize   with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#   tools/test.sh --threads    the threaded parts (engine, platform, logic) with ThreadSanitizer,
#                              in build-tsan/
#   tools/test.sh --windows    the Windows programs, cross-built in build-windows/ and tested
#                              under Wine (tools/windows/test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--windows" ]; then exec tools/windows/test.sh; fi

build=${BUILD_DIR:-build}
options=()
if [ "${1:-}" = "--sanitize" ]; then
    build=${BUILD_DIR:-build-asan}
    options+=(-DQUORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
elif [ "${1:-}" = "--threads" ]; then
    build=${BUILD_DIR:-build-tsan}
    options+=(-DQUORVANE_THREAD_SANITIZE=ON -DQUORVANE_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi

tools/install-deps.sh
# ccache keeps the builds of earlier runs; paths count from the checkout, wherever it is.
export CCACHE_BASEDIR=$PWD
options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

# Windows and web views without a display; WebEngine's sandbox cannot run as root.
export QT_QPA_PLATFORM=offscreen
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tools/tsan-suppressions.txt}
ctest --test-dir "$build" --output-on-failure -j 2
