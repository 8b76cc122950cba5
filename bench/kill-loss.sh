#!/usr/bin/env bash
# What a kill -9 loses: bytes the server had sent that the resume record does not claim, after
# kills at random moments of downloads on throttled lines. Uses nginx on loopback, like run.sh;
# its limit is per connection, so ten connections at a tenth of the line rate make the line.
#
#   bench/kill-loss.sh
#
# Environment: KILLS (default 7 per line), PORT (default 18092), QUORVANE_FETCH (a built
# quorvane-fetch; otherwise it is built in build-bench/), QUORVANE_FETCH_BEFORE (another
# quorvane-fetch, run beside it on the same kills for a comparison).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
kills="${KILLS:-7}"
port="${PORT:-18092}"

source "$here/common.sh"
bench_install nginx-light bc
fetch="$(bench_fetch)"
before="${QUORVANE_FETCH_BEFORE:-}"

work="$(mktemp -d /dev/shm/quorvane-kill-bench.XXXXXX)"
cleanup() {
    bench_stop_nginx
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$work/www/file.bin"
bench_start_nginx "$work" "$port" "    log_format sent \$body_bytes_sent;" "\
        location /1m/ { alias $work/www/; limit_rate 100k; access_log $work/1m.log sent; }
        location /160k/ { alias $work/www/; limit_rate 16k; access_log $work/160k.log sent; }"

# loss TOOL LINE SECONDS: kills one download after SECONDS and prints the bytes sent, the bytes
# recorded and the difference.
loss() {
    local tool="$1" line="$2" after="$3" log="$work/$2.log"
    rm -f "$work/out/file" "$work/out"/.file.*
    : >"$log"
    "$tool" -q -n 10 -o "$work/out/file" "http://127.0.0.1:$port/$line/file.bin" >/dev/null &
    local pid=$!
    sleep "$after"
    kill -9 "$pid"
    wait "$pid" 2>/dev/null || true
    sleep 1  # nginx logs each response once it notices the connection is gone
    local sent recorded
    sent=$(awk '{s += $1} END {print s + 0}' "$log")
    recorded=$(grep -o 'done [0-9]* [0-9]*' "$work/out/.file.prec" 2>/dev/null |
        awk '{s += $3 - $2} END {print s + 0}')
    echo "$sent $recorded $((sent - recorded))"
}

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
worst() { sort -g | tail -1; }
kb() { echo "scale=0; $1 / 1000" | bc; }
# ratio BEFORE NOW: how many times more was lost before.
ratio() {
    if [ "$2" -gt 0 ]; then printf '%.1f x' "$(echo "$1 / $2" | bc -l)"; else echo "- (now none)"; fi
}

printf '%-34s %12s %12s %12s\n' "" "median loss" "worst loss" "sent (med)"
for line in 1m 160k; do
    now=() old=() sentNow=()
    for i in $(seq "$kills"); do
        after="$((3 + RANDOM % 10)).$((RANDOM % 10))"  # 3 to 13 s
        read -r s r l <<<"$(loss "$fetch" "$line" "$after")"
        [ -z "${VERBOSE:-}" ] || echo "  $line after $after s: sent $s, recorded $r, lost $l" >&2
        now+=("$l"); sentNow+=("$s")
        if [ -n "$before" ]; then
            read -r _ _ l <<<"$(loss "$before" "$line" "$after")"
            old+=("$l")
        fi
    done
    mn=$(printf '%s\n' "${now[@]}" | median); wn=$(printf '%s\n' "${now[@]}" | worst)
    printf '%-34s %9s kB %9s kB %9s kB\n' "$line line ($kills kills, 3-13 s)" "$(kb "$mn")" \
        "$(kb "$wn")" "$(kb "$(printf '%s\n' "${sentNow[@]}" | median)")"
    if [ -n "$before" ]; then
        mo=$(printf '%s\n' "${old[@]}" | median); wo=$(printf '%s\n' "${old[@]}" | worst)
        printf '%-34s %9s kB %9s kB   before/now: median %s, worst %s\n' \
            "$line line, QUORVANE_FETCH_BEFORE" "$(kb "$mo")" "$(kb "$wo")" \
            "$(ratio "$mo" "$mn")" "$(ratio "$wo" "$wn")"
    fi
done
