#!/usr/bin/env bash
# Real starts of the program on a virtual display (run through with_virtual_display.sh): a second
# start ends at once, and the first one runs on, so that there is one window; once the first run
# has ended, a new start runs by itself. (That the first window comes forward needs a window
# manager, and a run killed outright leaves its lock: the window's tests check both.)
#   single_instance_test.sh PROGRAM
set -uo pipefail
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
# The runs meet in the user's runtime folder; this test's runs meet only each other. They run
# from a folder of their own, where they keep their list files, and without a list server: the
# other tests' programs and servers stay out of this.
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$work/program"
cp "$1" "$work/program/"
program=$work/program/$(basename "$1")

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Each start writes what it says to a log of its own, shown when the test fails.
starts=0
start() {
    starts=$((starts + 1))
    "$program" >"$work/start$starts.log" 2>&1 &
    pid=$!
    pids+=("$pid")
}

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

windows_of() { xdotool search --all --pid "$1" --classname quorvane-downloader 2>/dev/null; }
all_windows() { xdotool search --classname '^quorvane-downloader$' 2>/dev/null | sort -u; }

# start_first: leaves the run's process in $pid and its window in $window.
start_first() {
    start
    window=
    for _ in $(seq 300); do
        window=$(windows_of "$pid" | head -1)
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    fail "the first start made no window"
    return 1
}

# ends_within SECONDS PID: waits for the process; its exit status in $status.
ends_within() {
    for _ in $(seq $(($1 * 10))); do
        kill -0 "$2" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$2" 2>/dev/null; then status=timeout; return 1; fi
    wait "$2"
    status=$?
}

if start_first; then
    first=$pid
    start
    second=$pid
    if ends_within 20 "$second"; then
        [ "$status" = 0 ] || fail "the second start ended with $status"
    else
        fail "the second start is still running"
    fi
    count=$(all_windows | wc -l)
    [ "$count" = 1 ] || fail "$count program windows after the second start"
    kill -0 "$first" 2>/dev/null || fail "the first run ended"
    # Once the first run has ended, the next start is the first again.
    kill -TERM "$first"
    ends_within 10 "$first" || fail "the first run is still running after SIGTERM"
    if start_first; then
        sleep 1
        kill -0 "$pid" 2>/dev/null || fail "the start after the first run's end did not stay"
        kill -TERM "$pid"
        ends_within 10 "$pid" || fail "still running after SIGTERM"
    fi
fi

if [ $failures -gt 0 ]; then
    for log in "$work"/start*.log; do
        echo "--- $(basename "$log"):" >&2
        tail -n 30 "$log" >&2
    done
fi
[ $failures -eq 0 ] && echo "one program at a time"
exit $((failures > 0))
