#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each on its seed corpus for a fixed time.
# A crash, a sanitizer report, a failed property or an input that takes too long fails the run;
# the input is kept in build-fuzz/findings/.
#   FUZZ_SECONDS=5 tools/fuzz.sh                  shorter runs (default 30 s a target)
#   FUZZ_TARGETS="fuzz_local_name" tools/fuzz.sh  only some targets
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
read -r -a targets <<<"${FUZZ_TARGETS:-fuzz_ini_reader fuzz_gbk_text fuzz_local_name fuzz_address_reveal fuzz_response_head}"

tools/install-deps.sh
launcher=()
export CCACHE_BASEDIR=$PWD
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVANE_FUZZ=ON -DQUORVANE_BUILD_UI=OFF -DQUORVANE_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/findings"
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    work="$build/corpus/$name"  # what the run adds; the seeds in the repository stay as they are
    mkdir -p "$work"
    echo "fuzzing $name for ${seconds}s"
    if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -max_len=8192 -rss_limit_mb=2048 \
        -artifact_prefix="$build/findings/$name-" "$work" "tests/fuzz/corpus/$name" \
        >"$build/$name.log" 2>&1; then
        tail -n 40 "$build/$name.log"
        echo "fuzz.sh: $name found a fault; the input is in $build/findings/" >&2
        exit 1
    fi
    tail -n 1 "$build/$name.log"
done
