#!/usr/bin/env bash
# quorvane-fetch.exe under Wine against the Linux quorvane-fetch, side by side, on the same
# loopback nginx with its files on tmpfs. One command:   bench/windows.sh
#
# Builds what is missing (the Linux tool in build-bench/, the Windows one through
# tools/test.sh --windows unless QUORVANE_FETCH_EXE names one). Environment: ROUNDS (default 3),
# PORT (default 18095). Prints the median wall time of each and the ratio Wine / Linux.
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
    else
        wine "$windows_fetch" -n 10 -o "Z:${out//\//\\}" "http://127.0.0.1:$port$path" >/dev/null 2>&1
    fi
    finished="$EPOCHREALTIME"
    cmp -s "$out" "$work/www/${path##*/}" || { echo "$tool: wrong bytes for $path" >&2; exit 1; }
    echo "$finished - $started" | bc -l
}

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

printf '%-12s %12s %12s %8s\n' scenario linux-s wine-s ratio
for scenario in fast/8m.bin fast/256m.bin slow/32m.bin; do
    linux=() wine=()
    for round in $(seq "$rounds"); do
        # Alternate who goes first, so neither always meets a warm cache.
        if [ $((round % 2)) -eq 1 ]; then
            linux+=("$(once linux "/$scenario")"); wine+=("$(once wine "/$scenario")")
        else
            wine+=("$(once wine "/$scenario")"); linux+=("$(once linux "/$scenario")")
        fi
    done
    l=$(printf '%s\n' "${linux[@]}" | median)
    w=$(printf '%s\n' "${wine[@]}" | median)
    printf '%-12s %12.3f %12.3f %7.2fx\n' "${scenario%.bin}" "$l" "$w" "$(echo "$w / $l" | bc -l)"
done
