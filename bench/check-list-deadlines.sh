#!/usr/bin/env bash
# How long quorvane-check-list takes with servers that make it wait: one trickling at 2 kB/s (its
# file under --hash, or the list itself) and 2,000 silent addresses on 1, 3 or (ALL_SILENT=1,
# about 16 minutes) 1,000 servers. Prints the seconds, the ratio to the 30 s deadline of one
# request, and the report's last problem. Uses QUORVANE_CHECK_LIST or build/'s checker.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
checker=${QUORVANE_CHECK_LIST:-$repo/build/tools/check-list/quorvane-check-list}
[ -x "$checker" ] || cmake --build "$repo/build" --target quorvane-check-list >/dev/null
work=$(mktemp -d)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
ulimit -n 8192

# measure NAME CHECKER-OPTIONS -- SERVER-ARGUMENTS...
measure() {
    local name=$1 options=$2
    shift 3
    python3 "$repo/bench/check_list_servers.py" "$work/$name.ini" "$@" >"$work/$name.ready" &
    server_pid=$!
    until grep -q ready "$work/$name.ready" 2>/dev/null; do sleep 0.1; done
    local target="$work/$name.ini"
    [ "$1" = trickle-list ] && target=$(cat "$target")
    local start end status=0
    start=$(date +%s.%N)
    # shellcheck disable=SC2086
    "$checker" $options "$target" >"$work/$name.out" || status=$?
    end=$(date +%s.%N)
    kill "$server_pid"
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
    python3 - "$name" "$start" "$end" "$status" "$work/$name.out" <<'PY'
import sys
name, start, end, status, out = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), sys.argv[4], sys.argv[5]
problems = [line for line in open(out) if line.startswith("problem:")]
seconds = end - start
print("%-22s %7.1f s  %5.2f x 30 s  exit %s  %4d problems  %s" % (
    name, seconds, seconds / 30, status, len(problems), problems[-1][:100].rstrip() if problems else ""))
PY
}

measure trickle-hash --hash -- trickle
measure trickle-list "" -- trickle-list
measure silent-2000-on-1 "" -- silent 1 1000
measure silent-2000-on-3 "" -- silent 3 1000
if [ "${ALL_SILENT:-0}" = 1 ]; then measure silent-2000-on-1000 "" -- silent 1000 1000; fi
