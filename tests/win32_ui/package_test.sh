#!/usr/bin/env bash
# tools/windows/package.sh refuses a release whose program would wait for a server on the
# player's own machine: without addresses (the demo defaults), and with any one on loopback. It
# stops before it builds anything.
#   package_test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# refused NAME EXPECTED_SETTINGS... -- PACKAGE_ARGUMENTS...
refused() {
    local name=$1; shift
    local expected=()
    while [ "$1" != -- ]; do expected+=("$1"); shift; done
    shift
    BUILD_DIR="$work/$name" "$source_dir/tools/windows/package.sh" "$@" >"$work/$name.out" 2>&1
    local status=$?
    [ $status -eq 2 ] || fail "$name: exit status $status"
    for setting in QUORVANE_LIST_SOURCE_1 QUORVANE_LIST_SOURCE_2 QUORVANE_LIST_SOURCE_3 QUORVANE_WEB_HOME; do
        local named=0
        grep -q "$setting is" "$work/$name.out" && named=1
        local wanted=0
        for e in "${expected[@]}"; do [ "$e" = "$setting" ] && wanted=1; done
        [ $named -eq $wanted ] || fail "$name: $setting named $named times, expected $wanted"
    done
    [ ! -e "$work/$name/installer/quorvane-downloader-3.0.0.0-installer.exe" ] ||
        fail "$name: an installer was built"
}

refused defaults QUORVANE_LIST_SOURCE_1 QUORVANE_LIST_SOURCE_2 QUORVANE_LIST_SOURCE_3 \
    QUORVANE_WEB_HOME --
refused one-on-loopback QUORVANE_LIST_SOURCE_2 -- \
    -DQUORVANE_LIST_SOURCE_1=https://list1.example/down.ini \
    -DQUORVANE_LIST_SOURCE_2=http://LOCALHOST:8080/down.ini \
    -DQUORVANE_LIST_SOURCE_3=ftp://list3.example/down.ini \
    -DQUORVANE_WEB_HOME=https://www.example/downlist.htm
refused not-an-address QUORVANE_WEB_HOME QUORVANE_LIST_SOURCE_3 -- \
    -DQUORVANE_LIST_SOURCE_1=https://list1.example/down.ini \
    -DQUORVANE_LIST_SOURCE_2=https://[2001:db8::1]/down.ini \
    -DQUORVANE_LIST_SOURCE_3=http://127.1.2.3/down.ini \
    -DQUORVANE_WEB_HOME=www.example/downlist.htm

[ $failures -eq 0 ] && echo "package.sh refuses releases for this machine's servers"
exit $((failures > 0))
