#!/usr/bin/env bash
# Runs a command on a virtual X display of its own (Xvfb), with Qt on X11, and stops the display
# afterwards. The command finds the display's process id in XVFB_PID. Exits 77 (skipped) when
# Xvfb is not installed.
#   with_virtual_display.sh COMMAND [ARGUMENT...]
set -uo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; exit 77; }

# Xvfb picks a free display number itself and writes it to fd 3 once it listens: choosing one
# here from the lock files races with other tests starting theirs, and the loser would borrow the
# winner's display and lose it when the winner ends.
number_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
xvfb_pid=$!
n=
for _ in $(seq 100); do
    if [ "$(wc -l <"$number_file")" -ge 1 ]; then n=$(head -n 1 "$number_file"); break; fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
rm -f "$number_file"
[ -n "$n" ] || { kill "$xvfb_pid" 2>/dev/null; echo "no virtual display could be started" >&2; exit 1; }
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null' EXIT

export DISPLAY=":$n" XVFB_PID="$xvfb_pid" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
"$@"
