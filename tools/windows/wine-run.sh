#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest (the build's CMAKE_CROSSCOMPILING_EMULATOR), in the
# Wine prefix tools/windows/test.sh prepared (WINEPREFIX), without Wine's own chatter.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
