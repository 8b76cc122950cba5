#!/usr/bin/env bash
# Benchmarks quorvane-fetch against aria2c, axel, curl and wget2 on a loopback nginx with its
# files on tmpfs. One command:   bench/run.sh
#
# Environment: ROUNDS (default 3), PORT (default 18090), QUORVANE_FETCH (a built quorvane-fetch;
# otherwise it is built in build-bench/), SKIP_STRACE=1 to leave out the system-call count,
# BASELINE (another quorvane-fetch, say of the main branch, run beside it as "baseline"),
# TOOLS (quorvane aria2c axel curl wget2), SCENARIOS (fast-8m fast-1g slow-256m mixed-256m).
# Scenarios (N = 10 connections): /fast 1 GiB and 8 MiB unthrottled; /slow 256 MiB with
# limit_rate 2m; /mixed 256 MiB where connections whose number ends in 0 or 5 get 256k.
# curl and wget2 use one connection, so on /slow and /mixed they would take over two minutes a
# run (256 MiB at 2 MiB/s); they are left out there unless SINGLE_EVERYWHERE=1.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
rounds="${ROUNDS:-3}"
port="${PORT:-18090}"
connections=10

source "$here/common.sh"
bench_install aria2 axel wget2 curl strace time bc python3 nginx-light
fetch="$(bench_fetch)"

work="$(mktemp -d /dev/shm/quorvane-bench.XXXXXX)"
cleanup() {
    bench_stop_nginx
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out"
echo "Preparing files in $work ..."
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/www/1g.bin"
head -c $((256 * 1024 * 1024)) "$work/www/1g.bin" >"$work/www/256m.bin"
head -c $((8 * 1024 * 1024)) "$work/www/1g.bin" >"$work/www/8m.bin"

bench_start_nginx "$work" "$port" "\
    log_format bench '\$connection \$request_uri \$status \$body_bytes_sent';
    access_log $work/access.log bench;
    tcp_nopush on;
    keepalive_timeout 60;
    map \$connection \$mixed_rate { \"~[05]\$\" 256k; default 2m; }" "\
        location /fast/ { alias $work/www/; }
        location /slow/ { alias $work/www/; limit_rate 2m; }
        location /mixed/ { alias $work/www/; limit_rate \$mixed_rate; }"

results="$work/results.tsv"
: >"$results"

# run SCENARIO TOOL PATH: one download, one line of results.
run() {
    local scenario="$1" tool="$2" path="$3"
    local url="http://127.0.0.1:$port$path" out="$work/out/file"
    rm -f "$work/out/"* "$work/out/".* 2>/dev/null || true
    : >"$work/access.log"
    local cmd
    tool_command "$tool" "$url" "$out"
    local started="$EPOCHREALTIME"
    if ! /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "${cmd[@]}" >/dev/null 2>"$work/stderr.txt" ||
        [ ! -f "$out" ]; then
        echo "  $tool failed on $path: $(tail -c 300 "$work/stderr.txt")" >&2
        return 0
    fi
    local finished="$EPOCHREALTIME"
    sleep 0.2  # nginx writes the log line when the request ends
    local size conns wall user sys rss
    size=$(stat -c %s "$out")
    conns=$(awk '{print $1}' "$work/access.log" | sort -u | tr '\n' ',' | sed 's/,$//')
    read -r wall user sys rss <"$work/time.txt"
    # /usr/bin/time counts in hundredths; the shell's clock is finer (and costs every tool alike).
    wall=$(echo "$finished - $started" | bc -l)
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$scenario" "$tool" "$wall" "$user" "$sys" "$rss" \
        "$size" "$conns" >>"$results"
    printf '  %-10s %-9s %7.3f s  cpu %5.2f s  rss %6.1f MiB  %s conn\n' "$scenario" "$tool" "$wall" \
        "$(echo "$user + $sys" | bc -l 2>/dev/null || echo 0)" "$(echo "$rss / 1024" | bc -l 2>/dev/null || echo 0)" \
        "$(echo "$conns" | tr ',' '\n' | wc -l)"
}

all_tools=(${TOOLS:-quorvane aria2c axel curl wget2})
multi_tools=(quorvane baseline aria2c axel)
if [ -n "${BASELINE:-}" ]; then all_tools+=(baseline); fi
scenarios=" ${SCENARIOS:-fast-8m fast-1g slow-256m mixed-256m} "
wanted() { case "$scenarios" in *" $1 "*) return 0 ;; *) return 1 ;; esac; }
for round in $(seq "$rounds"); do
    echo "Round $round of $rounds"
    # Rotate the order, so that no tool always runs first.
    shift_by=$(( (round - 1) % ${#all_tools[@]} ))
    order=("${all_tools[@]:$shift_by}" "${all_tools[@]:0:$shift_by}")
    # Start-up cost is small and noisy: five tries each a round.
    if wanted fast-8m; then
        for _ in 1 2 3 4 5; do
            for tool in "${order[@]}"; do run fast-8m "$tool" /fast/8m.bin; done
        done
    fi
    if wanted fast-1g; then
        for tool in "${order[@]}"; do run fast-1g "$tool" /fast/1g.bin; done
    fi
    for scenario in slow-256m mixed-256m; do
        wanted "$scenario" || continue
        for tool in "${order[@]}"; do
            case " ${multi_tools[*]} " in *" $tool "*) ;; *) [ "${SINGLE_EVERYWHERE:-0}" = 1 ] || continue ;; esac
            run "$scenario" "$tool" "/${scenario%-256m}/256m.bin"
        done
    done
done

if [ "${SKIP_STRACE:-0}" != 1 ]; then
    echo "System calls for /fast 1 GiB (strace -c -f):"
    for tool in quorvane aria2c axel curl wget2; do
        rm -f "$work/out/"* 2>/dev/null || true
        case "$tool" in
            quorvane) cmd=("$fetch" -n "$connections" -o "$work/out/file" "http://127.0.0.1:$port/fast/1g.bin") ;;
            aria2c) cmd=(aria2c -q -x "$connections" -s "$connections" -k 1M --allow-overwrite=true
                         -d "$work/out" -o file "http://127.0.0.1:$port/fast/1g.bin") ;;
            axel) cmd=(axel -q -n "$connections" -o "$work/out/file" "http://127.0.0.1:$port/fast/1g.bin") ;;
            curl) cmd=(curl -s -o "$work/out/file" "http://127.0.0.1:$port/fast/1g.bin") ;;
            wget2) cmd=(wget2 -q --no-robots -O "$work/out/file" "http://127.0.0.1:$port/fast/1g.bin") ;;
        esac
        strace -c -f -o "$work/strace.txt" "${cmd[@]}" >/dev/null 2>&1 || true
        calls=$(awk '/^[0-9. ]+ total$/ {print $3} / total$/ && NF>=4 {c=$(NF-2)} END {if (c) print c}' "$work/strace.txt" | tail -1)
        printf 'strace\t%s\t%s\n' "$tool" "${calls:-?}" >>"$results"
        printf '  %-9s %s system calls per GiB\n' "$tool" "${calls:-?}"
    done
fi

echo
/usr/bin/python3 "$here/summarize.py" "$results" "$connections"
