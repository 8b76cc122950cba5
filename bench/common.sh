# Shared by the benchmarks (sourced, with $repo set): installing what they need, the tool under
# test, and a loopback nginx serving files from tmpfs.

# bench_install PACKAGE...: the project's own packages and these.
bench_install() {
    "$repo/tools/install-deps.sh" "$@"
}

# bench_fetch: prints the path of a Release quorvane-fetch, QUORVANE_FETCH or one built in
# build-bench/.
bench_fetch() {
    if [ -n "${QUORVANE_FETCH:-}" ]; then
        echo "$QUORVANE_FETCH"
        return
    fi
    cmake -S "$repo" -B "$repo/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DQUORVANE_BUILD_UI=OFF -DQUORVANE_BUILD_TESTS=OFF >/dev/null
    ninja -C "$repo/build-bench" quorvane-fetch >/dev/null
    echo "$repo/build-bench/tools/fetch/quorvane-fetch"
}

# bench_start_nginx WORK PORT HTTP_LINES LOCATIONS: nginx on 127.0.0.1:PORT with WORK as its
# prefix; HTTP_LINES go into the http block, LOCATIONS into the server. Sets nginx_pid.
nginx_pid=""
bench_start_nginx() {
    local work=$1 port=$2 http_lines=$3 locations=$4
    chmod 755 "$work"  # nginx's workers run as another user
    mkdir -p "$work/tmp"
    cat >"$work/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx.pid;
error_log $work/error.log warn;
events { worker_connections 1024; }
http {
    client_body_temp_path $work/tmp;
    proxy_temp_path $work/tmp;
    fastcgi_temp_path $work/tmp;
    uwsgi_temp_path $work/tmp;
    scgi_temp_path $work/tmp;
    sendfile on;
    keepalive_requests 100000;
$http_lines
    server {
        listen 127.0.0.1:$port;
$locations
    }
}
CONF
    nginx -c "$work/nginx.conf" -p "$work"
    for _ in $(seq 50); do [ -s "$work/nginx.pid" ] && break; sleep 0.1; done
    nginx_pid="$(cat "$work/nginx.pid")"
}

# bench_stop_nginx: ends the nginx started above and waits for it.
bench_stop_nginx() {
    if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
        kill -QUIT "$nginx_pid"
        for _ in $(seq 50); do kill -0 "$nginx_pid" 2>/dev/null || break; sleep 0.1; done
    fi
}

# The command line of each tool for one download of $2 into $3 over $connections connections
# (the folder of $3 is $work/out), in the array cmd.
tool_command() {
    local tool="$1" url="$2" out="$3"
    case "$tool" in
        quorvane) cmd=("$fetch" -n "$connections" -o "$out" "$url") ;;
        baseline) cmd=("$BASELINE" -n "$connections" -o "$out" "$url") ;;
        aria2c) cmd=(aria2c -q -x "$connections" -s "$connections" -k 1M --allow-overwrite=true
                     --auto-file-renaming=false -d "$work/out" -o file "$url") ;;
        axel) cmd=(axel -q -n "$connections" -o "$out" "$url") ;;
        curl) cmd=(curl -s -o "$out" "$url") ;;
        wget2) cmd=(wget2 -q --no-robots -O "$out" "$url") ;;
    esac
}
