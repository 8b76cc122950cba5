#!/usr/bin/env bash
# `cmake --install` of a built tree into a scratch prefix: both programs, a .desktop entry that
# the desktop's own validator accepts, and the icons it names.
#   install_test.sh BUILD_DIR
set -uo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }
failures=0
for file in bin/quorvane-downloader bin/quorvane-fetch \
    share/applications/quorvane-downloader.desktop \
    share/icons/hicolor/scalable/apps/quorvane-downloader.svg \
    share/icons/hicolor/48x48/apps/quorvane-downloader.png; do
    [ -e "$prefix/$file" ] || { echo "FAIL: $file not installed" >&2; failures=$((failures + 1)); }
done
for program in quorvane-downloader quorvane-fetch; do
    [ -x "$prefix/bin/$program" ] || { echo "FAIL: $program is not executable" >&2; failures=$((failures + 1)); }
done
entry="$prefix/share/applications/quorvane-downloader.desktop"
if [ -e "$entry" ]; then
    # Hints count too: the validator hints at entries a menu would show twice.
    report=$(desktop-file-validate "$entry" 2>&1)
    if [ $? -ne 0 ] || [ -n "$report" ]; then
        echo "FAIL: desktop-file-validate: $report" >&2
        failures=$((failures + 1))
    fi
fi
exit $((failures > 0))
