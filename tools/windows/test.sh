#!/usr/bin/env bash
# The Windows build and its tests, on this Linux machine: installs what is missing, builds the
# third-party libraries (or takes them from the cache), cross-builds the Windows programs and
# test programs into build-windows/ and runs the tests under Wine, in a Wine prefix of their own
# (build-windows/wine). FTP tests use pyftpdlib on the Linux side; as root a 1 MiB tmpfs becomes
# drive S: for the disk-full tests.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=${BUILD_DIR:-build-windows}

# 32-bit Wine runs the installer (a 32-bit program) and a 32-bit Windows for its refusal.
tools/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 wine32:i386 dpkg-dev binutils \
    python3-pyftpdlib osslsigncode openssl
deps=$(tools/windows/build-deps.sh | tail -1)

options=()
# The window test runs the program against the demo server on this port of the loopback.
window_test_port=18097
window_test_servers=(-DQUORVANE_WEB_HOME="http://127.0.0.1:$window_test_port/downlist.htm")
for n in 1 2 3; do
    window_test_servers+=(-DQUORVANE_LIST_SOURCE_$n="http://127.0.0.1:$window_test_port/list/$n/down.ini")
done
# A throwaway code-signing certificate: the packages are signed as a release is, and the
# installer test checks the signatures.
signing=$root/$build/signing
if ! openssl x509 -checkend 86400 -noout -in "$signing/certificate.pem" >/dev/null 2>&1; then
    mkdir -p "$signing"
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Quorvane test signing" \
        -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" \
        -out "$signing/certificate.pem" 2>/dev/null
fi
export CCACHE_BASEDIR=$PWD
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQUORVANE_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release "${window_test_servers[@]}" \
    -DQUORVANE_SIGN_CERTIFICATE="$signing/certificate.pem" -DQUORVANE_SIGN_KEY="$signing/key.pem" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/tools/windows/wine-run.sh" "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

export WINEPREFIX=$root/$build/wine WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
fi
wineserver -p 2>/dev/null || true  # one Wine server for all the test programs
helpers=()
cleanup() {
    for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null || true; done
    if mountpoint -q "$root/$build/small-disk" 2>/dev/null; then umount "$root/$build/small-disk"; fi
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# pyftpdlib serves the Windows temporary folder, where the FTP tests put what they serve.
temp_windows=$(tools/windows/wine-run.sh cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')
temp_linux=$(winepath -u "$temp_windows" 2>/dev/null)
mkdir -p "$temp_linux"
ftp_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$ftp_port" -d "$temp_linux" 2>/dev/null &
helpers+=($!)
export QUORVANE_TEST_FTP_PORT=$ftp_port

# A 1 MiB volume as drive S:, where mounting is allowed.
small=$root/$build/small-disk
mkdir -p "$small"
if [ "$(id -u)" -eq 0 ] && { mountpoint -q "$small" || mount -t tmpfs -o size=1m tmpfs "$small" 2>/dev/null; }; then
    ln -sfn "$small" "$WINEPREFIX/dosdevices/s:"
    export QUORVANE_TEST_SMALL_DRIVE='S:\'
fi

ctest --test-dir "$build" --output-on-failure -j 2
