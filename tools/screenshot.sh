#!/usr/bin/env bash
# Writes a PNG screenshot of the program's window (default build/screenshot.png, or $SCREENSHOT),
# building what is needed and using a virtual display when there is no display.
#   tools/screenshot.sh [output.png]
set -euo pipefail
if [ -n "${1:-}" ]; then export SCREENSHOT=$1; fi
exec "$(dirname "$0")/run-demo.sh" --screenshot
