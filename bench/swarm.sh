#!/usr/bin/env bash
# N players start together on one file whose web seed is throttled to R for all of them together
# (the operator's uplink): with peers (quorvane-fetch --torrent, opentracker on loopback) against
# N separate HTTP downloads with today's engine. Prints the bytes the web seed served, the time
# until the last player is done and what each player uploaded; then one player alone, with the
# web seed only, against one HTTP download.
# "again" is what the server sent more than once (to several players, or to one twice).
#   bench/swarm.sh [SIZE_MIB] [RATE_MIB_PER_S] [PLAYERS...]     (defaults: 256 32 4 8)
# Knobs: MODES ("http swarm"), SKIP_ALONE=1, PLAYER_ARGS (more quorvane-fetch options for the
# players with peers), KEEP=1 (leaves the work folder, each run's players in p-N-MODE/).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/bench/common.sh"
size_mib=${1:-256}
rate_mib=${2:-32}
players=("${@:3}")
[ ${#players[@]} -eq 0 ] && players=(4 8)
bench_install python3-libtorrent bc curl
fetch=$(bench_fetch)
build=$(cd "$(dirname "$fetch")/../.." && pwd)
ninja -C "$build" quorvane-check-list >/dev/null
check_list="$build/tools/check-list/quorvane-check-list"

work=$(mktemp -d /tmp/quorvane-swarm-bench.XXXXXX)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; [ -n "${KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT
seed_port=$((20000 + RANDOM % 10000)); tracker_port=$((seed_port + 1))
mkdir -p "$work/seed" "$work/tracker"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/seed/client.rar"
rate=$((rate_mib * 1024 * 1024))

start_seed() {  # the throttled web seed; "bytes sent, of them sent before" go to $work/served at its end
    rm -f "$work/served"
    /usr/bin/python3 "$repo/bench/throttled_seed.py" "$work/seed" "$seed_port" "$rate" "$work/served" &
    seed_pid=$!
    pids+=("$seed_pid")
    for _ in $(seq 100); do curl -sf -o /dev/null -r 0-0 "http://127.0.0.1:$seed_port/fast/client.rar" && break; sleep 0.05; done
}
# Not in a subshell of its own: it waits for its own child.
stop_seed() {
    kill -TERM "$seed_pid"
    wait "$seed_pid" 2>/dev/null || true
    for _ in $(seq 100); do [ -s "$work/served" ] && break; sleep 0.05; done
}

# The operator's torrent, made by the operator's tool from the unthrottled address.
start_seed
printf '\xef\xbb\xbf[Down]\nDown=True\n[Files]\nNum=1\n[Name]\nName1=c\n[Add]\nAdd1=http://127.0.0.1:%s/fast/client.rar\n' \
    "$seed_port" >"$work/list.ini"
(cd "$work/seed" && "$check_list" --torrent "http://127.0.0.1:$tracker_port/announce" "$work/list.ini" >/dev/null) || true
stop_seed
# The players' web seed is the throttled address.
/usr/bin/python3 - "$work/seed/client.rar.torrent" "http://127.0.0.1:$seed_port/client.rar" "$work/tracker/whitelist.txt" <<'PY'
import sys, libtorrent as lt
data = lt.bdecode(open(sys.argv[1], "rb").read())
data[b"url-list"] = [sys.argv[2].encode()]
open(sys.argv[1], "wb").write(lt.bencode(data))
ih = lt.torrent_info(sys.argv[1]).info_hashes()
open(sys.argv[3], "w").write(f"{ih.v1}\n{str(ih.v2)[:40]}\n")
PY
(cd "$work/tracker" && exec opentracker -i 127.0.0.1 -p "$tracker_port" -P "$tracker_port" -d "$work/tracker" -w whitelist.txt) &
pids+=($!)
sleep 1.5

now() { date +%s.%N; }
# run_players N MODE: N players at once; prints "seconds served served-again uploads..."
run_players() {
    local n=$1 mode=$2 started ended
    rm -rf "$work/p"; mkdir -p "$work/p"
    start_seed
    started=$(now)
    local kids=()
    for i in $(seq "$n"); do
        mkdir -p "$work/p/$i"
        if [ "$mode" = swarm ]; then
            (cd "$work/p/$i" && exec "$fetch" -q --torrent "$work/seed/client.rar.torrent" -o . \
                --listen 127.0.0.1:0 --no-lan-discovery --seed-for 600 ${PLAYER_ARGS:-} >"$work/p/$i.json" 2>"$work/p/$i.err") &
        elif [ "$mode" = alone ]; then
            (cd "$work/p/$i" && exec "$fetch" -q --torrent "$work/seed/client.rar.torrent" -o . \
                --no-peers >"$work/p/$i.json") &
        else
            (cd "$work/p/$i" && exec "$fetch" -q -o . "http://127.0.0.1:$seed_port/client.rar" >"$work/p/$i.json") &
        fi
        kids+=($!)
    done
    # The last player is done when the last file has its name.
    while :; do
        local done=0
        for i in $(seq "$n"); do [ -f "$work/p/$i/client.rar" ] && done=$((done + 1)); done
        [ "$done" -eq "$n" ] && break
        sleep 0.05
    done
    ended=$(now)
    for k in "${kids[@]}"; do kill -INT "$k" 2>/dev/null || true; wait "$k" 2>/dev/null || true; done
    stop_seed
    local served; served=$(cat "$work/served")
    local uploads=""
    for i in $(seq "$n"); do
        cmp -s "$work/p/$i/client.rar" "$work/seed/client.rar" || echo "player $i: WRONG BYTES" >&2
        uploads+=" $(grep -o '"uploaded":[0-9]*' "$work/p/$i.json" | cut -d: -f2 || echo 0)"
    done
    [ -n "${KEEP:-}" ] && cp -r "$work/p" "$work/p-$n-$mode"
    echo "$(echo "$ended - $started" | bc) $served$uploads"
}

size=$((size_mib * 1024 * 1024))
printf 'file %d MiB, web seed %d MiB/s for everyone together\n' "$size_mib" "$rate_mib"
printf '%-7s %-6s %9s %12s %12s %12s  %s\n' players mode seconds "served/file" "again/file" "time/(S/R)" "upload per player (MiB)"
for n in "${players[@]}"; do
    for mode in ${MODES:-http swarm}; do
        read -r seconds served again uploads < <(run_players "$n" "$mode")
        per=$(for u in $uploads; do [ -n "$u" ] && printf '%.0f ' "$(echo "$u / 1048576" | bc -l)"; done)
        printf '%-7s %-6s %9.2f %12.2f %12.2f %12.2f  %s\n' "$n" "$mode" "$seconds" \
            "$(echo "$served / $size" | bc -l)" "$(echo "$again / $size" | bc -l)" \
            "$(echo "$seconds * $rate_mib / $size_mib" | bc -l)" "$per"
    done
done
[ -n "${SKIP_ALONE:-}" ] && exit 0
read -r http_seconds _ < <(run_players 1 http)
read -r alone_seconds _ < <(run_players 1 alone)
printf 'one player alone: HTTP engine %.2f s, web seed only %.2f s (ratio %.2f)\n' \
    "$http_seconds" "$alone_seconds" "$(echo "$alone_seconds / $http_seconds" | bc -l)"
