#!/usr/bin/env bash
# What resume records, verification and the flush before the final rename cost, side by side in
# one run, and what a resume saves. Uses nginx on loopback with its files on tmpfs, like run.sh.
#
#   bench/resume.sh
#
# Environment: ROUNDS (default 3), PORT (default 18091), QUORVANE_FETCH (a built quorvane-fetch;
# otherwise it is built in build-bench/), DISK_DIR (a folder on a real disk for the runs that
# flush; default a folder under the repository).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
rounds="${ROUNDS:-3}"
port="${PORT:-18091}"

source "$here/common.sh"
bench_install nginx-light bc openssl
fetch="$(bench_fetch)"

work="$(mktemp -d /dev/shm/quorvane-resume-bench.XXXXXX)"
disk="${DISK_DIR:-$repo/build-bench/disk-out}"
mkdir -p "$disk"
cleanup() {
    bench_stop_nginx
    rm -rf "$work" "$disk"/file "$disk"/.file.*
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/www/1g.bin"
head -c $((64 * 1024 * 1024)) "$work/www/1g.bin" >"$work/www/64m.bin"
sum1g=$(sha256sum "$work/www/1g.bin" | cut -d' ' -f1)
sum64m=$(sha256sum "$work/www/64m.bin" | cut -d' ' -f1)
bench_start_nginx "$work" "$port" "    access_log off;" "\
        location /fast/ { alias $work/www/; }
        location /slow/ { alias $work/www/; limit_rate 512k; }"

# seconds DIR ARGS...: the wall time and the CPU time (user + system) of one download into
# DIR/file. A command in $beside runs alongside it; then both times run until both have ended.
seconds() {
    local dir="$1"; shift
    rm -f "$dir/file" "$dir"/.file.*
    sync
    local started="$EPOCHREALTIME" other=""
    if [ -n "${beside:-}" ]; then
        # shellcheck disable=SC2086
        /usr/bin/time -f "%U %S" -o "$work/cpu-beside.txt" $beside >/dev/null &
        other=$!
    fi
    /usr/bin/time -f "%U %S" -o "$work/cpu.txt" "$fetch" -q -n 10 -o "$dir/file" "$@" >/dev/null
    [ -z "$other" ] || wait "$other"
    local wall cpu
    wall=$(echo "$EPOCHREALTIME - $started" | bc -l)
    cpu=$(cat "$work/cpu.txt" ${other:+"$work/cpu-beside.txt"} | awk '{s += $1 + $2} END {print s}')
    echo "$wall $cpu"
}

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# compare LABEL DIR "ARGS A" "ARGS B" [COMMAND]: medians of ROUNDS runs each, alternating, and
# B/A, for the wall time and the CPU time. COMMAND runs beside each B.
compare() {
    local label="$1" dir="$2" a="$3" b="$4" besideB="${5:-}" ta=() tb=() ca=() cb=() r
    for _ in $(seq "$rounds"); do
        # shellcheck disable=SC2086
        read -r -a r <<<"$(seconds "$dir" $a)"; ta+=("${r[0]}"); ca+=("${r[1]}")
        # shellcheck disable=SC2086
        read -r -a r <<<"$(beside="$besideB" seconds "$dir" $b)"; tb+=("${r[0]}"); cb+=("${r[1]}")
    done
    local ma mb na nb
    ma=$(printf '%s\n' "${ta[@]}" | median); mb=$(printf '%s\n' "${tb[@]}" | median)
    na=$(printf '%s\n' "${ca[@]}" | median); nb=$(printf '%s\n' "${cb[@]}" | median)
    cpu_without=$na cpu_with=$nb
    printf '%-40s %7.3f s %7.3f s %+6.1f %%   cpu %6.2f s %6.2f s %+6.1f %%\n' "$label" \
        "$ma" "$mb" "$(echo "($mb / $ma - 1) * 100" | bc -l)" \
        "$na" "$nb" "$(echo "($nb / $na - 1) * 100" | bc -l)"
}

fast="http://127.0.0.1:$port/fast/1g.bin"
slow="http://127.0.0.1:$port/slow/64m.bin"
echo "Medians of $rounds runs, quorvane-fetch -n 10; output on tmpfs unless it says disk ($disk)."
printf '%-40s %9s %9s %8s   %10s %8s %8s\n' "" "without" "with" "cost" "cpu without" "with" "cost"
compare "flush before rename, 1 GiB, disk" "$disk" "--no-flush $fast" "$fast"
compare "resume records, 1 GiB, disk" "$disk" "--save-every 0 $fast" "$fast"
compare "resume records, 1 GiB, tmpfs" "$work/out" "--save-every 0 $fast" "$fast"
compare "SHA-256 check, 1 GiB, tmpfs" "$work/out" "$fast" "--sha256 $sum1g $fast"
check_cpu=$(echo "$cpu_with - $cpu_without" | bc -l)
# What this machine allows at best: the same hash in a process of its own, from the first moment
# and with no front to follow, beside a download without the check.
compare "reference: openssl dgst beside it" "$work/out" "$fast" "$fast" \
    "openssl dgst -sha256 $work/www/1g.bin"
# What hashing the same GiB costs openssl on its own, against the check's extra CPU above.
dgst=()
for _ in $(seq "$rounds"); do
    /usr/bin/time -f "%U %S" -o "$work/cpu.txt" openssl dgst -sha256 "$work/www/1g.bin" >/dev/null
    dgst+=("$(awk '{print $1 + $2}' "$work/cpu.txt")")
done
dgst_cpu=$(printf '%s\n' "${dgst[@]}" | median)
printf '%-40s %7.2f s %7.2f s  %5.2f x\n' "check's extra cpu, openssl dgst's, per GiB" \
    "$check_cpu" "$dgst_cpu" "$(echo "$check_cpu / $dgst_cpu" | bc -l)"
compare "SHA-256 check, 64 MiB throttled, tmpfs" "$work/out" "$slow" "--sha256 $sum64m $slow"

# A resume after kill -9 at half way, against a full run, on the throttled file.
full=() second=()
for _ in $(seq "$rounds"); do
    read -r -a r <<<"$(seconds "$work/out" "$slow")"; full+=("${r[0]}")
    rm -f "$work/out/file" "$work/out"/.file.*
    "$fetch" -q -n 10 -o "$work/out/file" "$slow" >/dev/null &
    pid=$!
    # Half of the file recorded as safely on disk.
    while kill -0 "$pid" 2>/dev/null &&
        [ "$(grep -o 'done [0-9]* [0-9]*' "$work/out/.file.prec" 2>/dev/null |
            awk '{s += $3 - $2} END {print s + 0}')" -lt $((32 * 1024 * 1024)) ]; do
        sleep 0.02
    done
    kill -9 "$pid"; wait "$pid" 2>/dev/null || true
    started="$EPOCHREALTIME"
    "$fetch" -q -n 10 -o "$work/out/file" "$slow" >/dev/null
    second+=("$(echo "$EPOCHREALTIME - $started" | bc -l)")
    [ "$(sha256sum "$work/out/file" | cut -d' ' -f1)" = "$sum64m" ] || echo "resumed file is WRONG" >&2
done
mf=$(printf '%s\n' "${full[@]}" | median)
ms=$(printf '%s\n' "${second[@]}" | median)
printf '%-40s %7.3f s %7.3f s  %5.2f x\n' "after kill -9 at 50%: full, second run" "$mf" "$ms" \
    "$(echo "$ms / $mf" | bc -l)"
