#!/usr/bin/env bash
# Benchmarks quorvane-fetch against aria2c and axel (and curl and wget2 on the link where one
# connection fills it) through an emulated network path: bench/link_relay.py between the tools and
# a loopback nginx delays each direction by half the round trip, adds a round trip before a
# connection's first answer, and holds each connection (and the whole link) to its rate.
# One command:   bench/link.sh
#
# Environment: SIZE_MIB (64), ROUNDS (3), CONNECTIONS (10), LINKS (all of the names below),
# TOOLS (quorvane aria2c axel curl wget2; curl and wget2 run only on links marked single),
# PORT (18096; the relay listens on one of the 40 ports after it), QUORVANE_FETCH (a built quorvane-fetch), BASELINE
# (another quorvane-fetch, say of the main branch, run beside it as "baseline").
# Rates in the link table are per connection; every k-th connection of a slow link gets the slow
# rate. Every run gets a relay of its own, so connections are counted from 1 for each tool.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
size_mib="${SIZE_MIB:-64}"
rounds="${ROUNDS:-3}"
connections="${CONNECTIONS:-10}"
port="${PORT:-18096}"
relay_port=$((port + 1))
runs=0
KIB=1024 MIB=$((1024 * 1024))

# name: rtt-ms rate-per-connection link-rate slow-every slow-rate single
declare -A link_shape=(
    [rtt150]="150 $((1 * MIB)) $((40 * MIB)) 0 0 no"
    [rtt60]="60 $((4 * MIB)) $((12 * MIB)) 0 0 no"
    [rtt200]="200 $((2 * MIB)) $((40 * MIB)) 0 0 no"
    [slow3]="100 $((1 * MIB)) $((40 * MIB)) 3 $((128 * KIB)) no"
    [one]="100 $((8 * MIB)) $((8 * MIB)) 0 0 yes"
)
links=(${LINKS:-rtt150 rtt60 rtt200 slow3 one})
tools=(${TOOLS:-quorvane aria2c axel curl wget2})
if [ -n "${BASELINE:-}" ]; then tools+=(baseline); fi

source "$here/common.sh"
bench_install aria2 axel wget2 curl time bc python3 nginx-light
fetch="$(bench_fetch)"

work="$(mktemp -d /dev/shm/quorvane-link.XXXXXX)"
relay_pid=""
stop_relay() {
    if [ -n "$relay_pid" ]; then
        kill "$relay_pid" 2>/dev/null || true
        wait "$relay_pid" 2>/dev/null || true
        relay_pid=""
    fi
}
cleanup() {
    stop_relay
    bench_stop_nginx
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out"
head -c $((size_mib * MIB)) /dev/urandom >"$work/www/file.bin"
bench_start_nginx "$work" "$port" "    access_log off;
    keepalive_timeout 60;" "        location / { root $work/www; }"

# start_relay LINK: a fresh relay for one run.
start_relay() {
    local rtt rate link_rate every slow_rate single
    read -r rtt rate link_rate every slow_rate single <<<"${link_shape[$1]}"
    : >"$work/relay.log"
    # A port of its own for each run: the last run's connections may still hold the one before.
    runs=$((runs + 1))
    relay_port=$((port + 1 + runs % 40))
    python3 "$here/link_relay.py" --listen "$relay_port" --upstream "$port" --rtt "$rtt" \
        --rate "$rate" --link-rate "$link_rate" --slow-every "$every" --slow-rate "$slow_rate" \
        --log "$work/relay.log" &
    relay_pid=$!
    for _ in $(seq 200); do grep -q listening "$work/relay.log" && return; sleep 0.05; done
    echo "the relay did not start" >&2
    exit 1
}

results="$work/results.tsv"
: >"$results"

# run LINK TOOL: one download through a fresh relay, one line of results.
run() {
    local link="$1" tool="$2" out="$work/out/file"
    rm -f "$work/out/"* "$work/out/".* 2>/dev/null || true
    start_relay "$link"
    local url="http://127.0.0.1:$relay_port/file.bin" cmd
    tool_command "$tool" "$url" "$out"
    local started="$EPOCHREALTIME" finished status=0
    "${cmd[@]}" >/dev/null 2>"$work/stderr.txt" || status=$?
    finished="$EPOCHREALTIME"
    stop_relay
    if [ "$status" -ne 0 ] || ! cmp -s "$out" "$work/www/file.bin"; then
        echo "  $tool failed on $link: $(tail -c 300 "$work/stderr.txt")" >&2
        return 0
    fi
    local opened slow wall
    opened=$(grep -c '^open' "$work/relay.log" || true)
    slow=$(grep -c '^open .* slow' "$work/relay.log" || true)
    wall=$(echo "$finished - $started" | bc -l)
    printf '%s\t%s\t%s\t%s\t%s\n' "$link" "$tool" "$wall" "$opened" "$slow" >>"$results"
    printf '  %-7s %-9s %7.3f s  %3s connections (%s slow)\n' "$link" "$tool" "$wall" "$opened" "$slow"
}

for round in $(seq "$rounds"); do
    echo "Round $round of $rounds"
    # Rotate the order, so that no tool always runs first.
    shift_by=$(( (round - 1) % ${#tools[@]} ))
    order=("${tools[@]:$shift_by}" "${tools[@]:0:$shift_by}")
    for link in "${links[@]}"; do
        read -r _ _ _ _ _ single <<<"${link_shape[$link]}"
        for tool in "${order[@]}"; do
            case "$tool" in curl|wget2) [ "$single" = yes ] || continue ;; esac
            run "$link" "$tool"
        done
    done
done

echo
shapes=""
for link in "${links[@]}"; do shapes+="$link=${link_shape[$link]// /,};"; done
/usr/bin/python3 "$here/link_summary.py" "$results" "$((size_mib * MIB))" "$connections" "$shapes"
