#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest (the build's CMAKE_CROSSCOMPILING_EMULATOR), in the
# Wine prefix tools/windows/test.sh prepared (WINEPREFIX), without Wine's own chatter.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The 64-bit loader: with 32-bit Wine installed, Debian's `wine` is the 32-bit one.
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=wine
exec "$loader" "$@"
