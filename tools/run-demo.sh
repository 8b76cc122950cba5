#!/usr/bin/env bash
# Builds and starts the program against the demo server, installing what is missing first.
# With a display the window stays up until you close it. Without one ($DISPLAY and
# $WAYLAND_DISPLAY empty) the program runs on a virtual display (Xvfb) until the window has
# settled, a screenshot is saved, and everything is stopped again.
#
#   tools/run-demo.sh                  build in build/ (or $BUILD_DIR) and run
#   tools/run-demo.sh --screenshot     save a screenshot and stop, also with a display
#
# Environment: BUILD_DIR (default build), SCREENSHOT (default $BUILD_DIR/screenshot.png),
# SETTLE_SECONDS (how long the window gets to load its page and list, default 6),
# DEMO_PORT (default 18080; the program's default build looks for its servers there).
set -euo pipefail
# Paths given by the caller are taken from where it stands.
if [ -n "${SCREENSHOT:-}" ]; then SCREENSHOT=$(realpath -m "$SCREENSHOT"); fi
if [ -n "${BUILD_DIR:-}" ]; then BUILD_DIR=$(realpath -m "$BUILD_DIR"); fi
cd "$(dirname "$0")/.."

screenshot_only=0
if [ "${1:-}" = "--screenshot" ]; then screenshot_only=1; fi
build=${BUILD_DIR:-build}
screenshot=${SCREENSHOT:-$build/screenshot.png}
settle=${SETTLE_SECONDS:-6}
port=${DEMO_PORT:-18080}
program="$build/src/ui/qt/quorvane-downloader"
server="$build/tools/demo-server/quorvane-demo-server"

log() { echo "run-demo: $*" >&2; }

tools/install-deps.sh
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target quorvane-downloader
cmake --build "$build" --target quorvane-demo-server || log "no demo server built; the window will find no list"

# Chromium's sandbox, inside Qt WebEngine, cannot run as root.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi

started=()  # process ids to stop at the end, in order
stop_started() {
    local pid i
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        pid=${started[i]}
        kill -TERM "$pid" 2>/dev/null || continue
        for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap stop_started EXIT
trap 'exit 130' INT TERM

wait_for() {  # seconds, command...
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Whether something accepts connections on the port (bash's own /dev/tcp, no curl needed).
port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }

start_demo_server() {
    if port_taken; then
        log "port $port is taken already; the program uses whatever server listens there"
        return
    fi
    [ -x "$server" ] || return 0
    "$server" --port "$port" &
    local pid=$!
    started+=($pid)
    # The server refuses a port that another one took meanwhile, and ends at once.
    for _ in $(seq 100); do
        port_taken && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    log "the demo server does not answer on port $port"
}

start_virtual_display() {
    # Xvfb picks a free display number and writes it to fd 3 once it listens.
    local number_file n=
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    started+=($!)
    for _ in $(seq 100); do
        if [ "$(wc -l <"$number_file")" -ge 1 ]; then n=$(head -n 1 "$number_file"); break; fi
        sleep 0.1
    done
    rm -f "$number_file"
    [ -n "$n" ] || { log "Xvfb did not start"; exit 1; }
    export DISPLAY=":$n"
    unset WAYLAND_DISPLAY
    log "virtual display $DISPLAY"
}

# The program's top-level window: class quorvane-downloader, 448x432.
window_id() {
    xwininfo -root -tree 2>/dev/null |
        awk '/\("quorvane-downloader" / && / 448x432\+/ { print $1; found = 1; exit } END { exit !found }'
}

take_screenshot() {
    local id
    wait_for 30 window_id || { log "the window did not appear"; exit 1; }
    sleep "$settle"  # let the web page and the list arrive
    id=$(window_id)
    mkdir -p "$(dirname "$screenshot")"
    import -window "$id" "$screenshot"
    echo "Screenshot of the window: $(realpath "$screenshot")"
}

start_demo_server
headless=0
if [ -z "${DISPLAY:-}" ] && { [ -z "${WAYLAND_DISPLAY:-}" ] || [ $screenshot_only -eq 1 ]; }; then
    headless=1
    start_virtual_display
fi
# Screenshots are taken through X11.
if [ $screenshot_only -eq 1 ] || [ $headless -eq 1 ]; then export QT_QPA_PLATFORM=xcb; fi

if [ $headless -eq 0 ] && [ $screenshot_only -eq 0 ]; then
    "$program"
    exit 0
fi
"$program" &
started+=($!)
take_screenshot
