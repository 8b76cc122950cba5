#!/usr/bin/env bash
# quorvane-fetch.exe under Wine against the Linux quorvane-fetch, side by side, on the same
# loopback nginx with its files on tmpfs. One command:   bench/windows.sh
#
# Builds what is missing (the Linux tool in build-bench/, the Windows one through
# tools/test.sh --windows unless QUORVANE_FETCH_EXE names one). Environment: ROUNDS (default 3),
# PORT (default 18095), BASELINE_EXE (another build of quorvane-fetch.exe, run in the same
# rotation as "before"). Prints the median wall time of each and the ratio Wine / Linux.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
rounds="${ROUNDS:-3}"
port="${PORT:-18095}"

source "$here/common.sh"
bench_install nginx-light bc wine wine64
linux_fetch="$(bench_fetch)"
windows_fetch="${QUORVANE_FETCH_EXE:-$repo/build-windows/tools/fetch/quorvane-fetch.exe}"
[ -f "$windows_fetch" ] || "$repo/tools/test.sh" --windows
export WINEPREFIX="${WINEPREFIX:-$repo/build-windows/wine}" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

work="$(mktemp -d /dev/shm/quorvane-winbench.XXXXXX)"
cleanup() {
    bench_stop_nginx
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/out"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$work/www/256m.bin"
head -c $((8 * 1024 * 1024)) "$work/www/256m.bin" >"$work/www/8m.bin"
head -c $((32 * 1024 * 1024)) "$work/www/256m.bin" >"$work/www/32m.bin"
bench_start_nginx "$work" "$port" "    access_log off;" "\
        location /fast/ { alias $work/www/; }
        location /slow/ { alias $work/www/; limit_rate 2m; }"
wineserver -p 2>/dev/null || true  # Wine's start-up once, not in every run

# once TOOL PATH: prints the wall time of one download, after checking its bytes.
once() {
    local tool="$1" path="$2" out="$work/out/file" started finished
    rm -f "$work/out/"* "$work/out/".* 2>/dev/null || true
    started="$EPOCHREALTIME"
    if [ "$tool" = linux ]; then
        "$linux_fetch" -n 10 -o "$out" "http://127.0.0.1:$port$path" >/dev/null 2>&1
    elif [ "$tool" = before ]; then
        wine "$BASELINE_EXE" -n 10 -o "Z:${out//\//\\}" "http://127.0.0.1:$port$path" >/dev/null 2>&1
    else
        wine "$windows_fetch" -n 10 -o "Z:${out//\//\\}" "http://127.0.0.1:$port$path" >/dev/null 2>&1
    fi
    finished="$EPOCHREALTIME"
    cmp -s "$out" "$work/www/${path##*/}" || { echo "$tool: wrong bytes for $path" >&2; exit 1; }
    echo "$finished - $started" | bc -l
}

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

tools=(linux wine)
[ -n "${BASELINE_EXE:-}" ] && tools+=(before)
header=$(printf '%-12s %9s %9s %8s' scenario linux-s wine-s ratio)
[ -n "${BASELINE_EXE:-}" ] && header+=$(printf ' %9s %8s' before-s ratio)
echo "$header"
for scenario in fast/8m.bin fast/256m.bin slow/32m.bin; do
    declare -A times=()
    for round in $(seq "$rounds"); do
        # Rotate who goes first, so that none always meets a warm cache.
        for i in "${!tools[@]}"; do
            tool=${tools[$(((i + round) % ${#tools[@]}))]}
            times[$tool]+="$(once "$tool" "/$scenario") "
        done
    done
    m() { printf '%s\n' ${times[$1]} | median; }
    l=$(m linux) w=$(m wine)
    line=$(printf '%-12s %9.3f %9.3f %7.2fx' "${scenario%.bin}" "$l" "$w" "$(echo "$w / $l" | bc -l)")
    if [ -n "${BASELINE_EXE:-}" ]; then
        b=$(m before)
        line+=$(printf ' %9.3f %7.2fx' "$b" "$(echo "$b / $l" | bc -l)")
    fi
    echo "$line"
    unset times
done
