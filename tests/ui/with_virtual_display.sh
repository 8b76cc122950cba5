#!/usr/bin/env bash
# Runs a command on a virtual X display of its own (Xvfb), with Qt on X11, and stops the display
# afterwards. The command finds the display's process id in XVFB_PID. Exits 77 (skipped) when
# Xvfb is not installed.
#   with_virtual_display.sh COMMAND [ARGUMENT...]
set -uo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; exit 77; }

# A display number nobody holds; Xvfb's own lock decides between racing starts.
xvfb_pid=
for n in $(seq 150 249); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then break; fi
    xvfb_pid=
done
[ -n "$xvfb_pid" ] || { echo "no virtual display could be started" >&2; exit 1; }
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null' EXIT

export DISPLAY=":$n" XVFB_PID="$xvfb_pid" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
"$@"
