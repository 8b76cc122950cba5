#!/usr/bin/env bash
# The program as a process on a virtual display (run through with_virtual_display.sh): Qt's
# command-line options change nothing, and a window destroyed from outside, SIGQUIT and a lost
# display connection each end it within seconds, through its own clean-up: the list file it
# saved is gone.
#   program_ending_test.sh PROGRAM DEMO_SERVER
set -uo pipefail
program=$1
demo_server=$2
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
# One program runs per runtime folder; a run of another test must not take these starts for
# second ones.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The program's default build fetches its list from the demo server's port. A server already
# there serves as well; the demo server refuses a taken port.
"$demo_server" --port 18080 --size-mib 1 >/dev/null 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT

list_files() { find "$(dirname "$program")" -maxdepth 2 -name '*.ini' | wc -l; }
lists_before=$(list_files)

pid=
start() {
    "$program" "$@" >/dev/null 2>&1 &
    pid=$!
    window=
    for _ in $(seq 300); do
        window=$(xdotool search --pid "$pid" --classname quorvane-downloader 2>/dev/null | head -1)
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { fail "no window appeared"; return 1; }
    for _ in $(seq 100); do
        [ "$(list_files)" -gt "$lists_before" ] && return 0
        sleep 0.1
    done
    # Only a build that looks for its list on the demo server's port must find one.
    [ "${EXPECT_LIST:-0}" = 1 ] && fail "no list file saved"
    return 0
}

# ends_within SECONDS: waits for the program and leaves its exit status in $status.
status=
ends_within() {
    for _ in $(seq $(($1 * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid"
        wait "$pid" 2>/dev/null
        status=timeout
        return 1
    fi
    wait "$pid"
    status=$?
    [ "$(list_files)" -eq "$lists_before" ] || fail "the list file was left behind"
    return 0
}

# The title stays the program's own, however it is started.
if start -qwindowtitle "错误" -reverse -style windows; then
    title=$(xprop -id "$window" -notype _NET_WM_NAME)
    [ "$title" = '_NET_WM_NAME = "Quorvane下载器"' ] || fail "title: $title"
    xdotool windowclose "$window"
    ends_within 10 || fail "still running after its window was destroyed"
    [ "$status" = 0 ] || fail "window destroyed: exit status $status"
fi

if start; then
    kill -QUIT "$pid"
    ends_within 10 || fail "still running after SIGQUIT"
    [ "$status" = 0 ] || fail "SIGQUIT: exit status $status"
fi

# Qt ends the program itself (exit status 1) when the display is gone; not by a crash.
if start; then
    kill "$XVFB_PID"
    ends_within 10 || fail "still running after the display went away"
    [ "$status" = 1 ] || fail "display gone: exit status $status"
fi

[ $failures -eq 0 ] && echo "program ends as it should"
exit $((failures > 0))
