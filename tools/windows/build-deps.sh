#!/usr/bin/env bash
# Builds the third-party code of the Windows program from Debian's own source packages with
# MinGW-w64: libcurl (static, Schannel for TLS, HTTP/HTTPS/FTP only), OpenSSL's libcrypto (static,
# for the ciphers), GoogleTest from /usr/src/googletest and the cpp-httplib header.
# The result lands in a cache outside the source tree, one folder per set of versions:
#   ${QUORVANE_WINDOWS_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane/windows-deps}/<key>
# A run with a filled cache takes a second. The last line on stdout is the folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
host=x86_64-w64-mingw32
jobs=${JOBS:-$(nproc)}
log() { echo "build-deps: $*" >&2; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

source_version() { dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || echo none; }
curl_version=$(source_version libcurl4-openssl-dev)
openssl_version=$(source_version libssl-dev)
gtest_version=$(source_version googletest)
httplib_version=$(source_version libcpp-httplib-dev)
compiler_version=$($host-g++-posix -dumpfullversion 2>/dev/null || echo none)
# Raise when the way the libraries are built changes.
recipe=1
key="curl-$curl_version+openssl-$openssl_version+gtest-$gtest_version+httplib-$httplib_version+gcc-$compiler_version+r$recipe"
key=${key//[:~]/_}

cache_root=${QUORVANE_WINDOWS_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane/windows-deps}
prefix=$cache_root/$key
mkdir -p "$cache_root"
# One builder at a time; a second caller waits and then takes the finished folder.
exec 9>"$cache_root/.lock"
flock 9
# libtorrent comes last, in a folder of the prefix under its own lock (build-libtorrent.sh).
with_libtorrent() {
    exec 9>&-
    "$here/build-libtorrent.sh" "$prefix"
    echo "$prefix"
    exit 0
}
if [ -f "$prefix/.complete" ]; then
    log "cached in $prefix"
    with_libtorrent
fi

# apt-get source needs deb-src entries beside the deb ones.
ensure_deb_src() {
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return
    fi
    log "adding deb-src entries"
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        sed -e 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$f" |
            $sudo tee "/etc/apt/sources.list.d/$(basename "$f" .sources)-src.sources" >/dev/null
    done
    if [ -f /etc/apt/sources.list ] && grep -qE '^deb ' /etc/apt/sources.list; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
            $sudo tee /etc/apt/sources.list.d/quorvane-deb-src.list >/dev/null
    fi
    $sudo apt-get update -qq
}

# Each library is stamped when done, so an interrupted run goes on where it stopped.
work=$cache_root/.work-$$
rm -rf "$work"
mkdir -p "$work" "$prefix/include" "$prefix/lib/pkgconfig"
trap 'rm -rf "$work"' EXIT
done_already() { [ -f "$prefix/.$1.done" ]; }
stamp() { touch "$prefix/.$1.done"; }

# The source of the version installed on Linux, else the newest one the mirror can deliver.
fetch_source() {  # package version -> prints the unpacked folder
    local package=$1 version=$2 candidate
    local candidates=("$version")
    mapfile -t -O 1 candidates < <(apt-cache showsrc "$package" |
        sed -n "s/^Version: //p" | grep -vxF "$version" | sort -u -r -V)
    for candidate in "${candidates[@]}"; do
        if (cd "$work" && apt-get source -qq "$package=$candidate" >/dev/null 2>&1); then
            echo "$package $candidate" >>"$prefix/versions.txt"
            find "$work" -maxdepth 1 -type d -name "$package-*" | head -1
            return
        fi
        log "no source of $package $candidate on the mirror"
    done
    log "cannot fetch the source of $package"
    return 1
}

ensure_deb_src

build_openssl() {
    log "OpenSSL $openssl_version (libcrypto only)"
    openssl_src=$(fetch_source openssl "$openssl_version")
    [ -d "$openssl_src" ] || exit 1
    (
        cd "$openssl_src"
        # Only what the ciphers, digests and random numbers need; no TLS, no engines, no apps.
        ./Configure mingw64 --cross-compile-prefix=$host- --prefix="$prefix" --libdir=lib \
            no-shared no-module no-dso no-engine no-tests no-ui-console no-autoload-config \
            no-legacy no-deprecated no-ssl no-tls no-dtls no-srtp no-ct no-ocsp no-cms no-ts \
            no-comp no-async no-aria no-bf no-blake2 no-camellia no-cast no-des no-dh no-dsa no-ec \
            no-idea no-md4 no-mdc2 no-ocb no-rc2 no-rc4 no-rc5 no-rmd160 no-scrypt no-seed \
            no-siphash no-siv no-sm2 no-sm3 no-sm4 no-srp no-whirlpool no-cmac no-poly1305 \
            no-psk no-sock no-rfc3779 no-filenames >"$work/openssl-configure.log" 2>&1 ||
            { tail -30 "$work/openssl-configure.log" >&2; exit 1; }
        make -j"$jobs" build_generated >"$work/openssl-build.log" 2>&1 &&
            make -j"$jobs" libcrypto.a >>"$work/openssl-build.log" 2>&1 ||
            { tail -30 "$work/openssl-build.log" >&2; exit 1; }
        cp libcrypto.a "$prefix/lib/"
        mkdir -p "$prefix/include/openssl"
        cp include/openssl/*.h "$prefix/include/openssl/"
    )
}

build_curl() {
    log "curl $curl_version (static, Schannel)"
    curl_src=$(fetch_source curl "$curl_version")
    [ -d "$curl_src" ] || exit 1
    (
        cd "$curl_src"
        ./configure --host=$host --prefix="$prefix" --disable-shared --enable-static \
            --with-schannel --without-openssl --without-gnutls --without-ca-bundle --without-ca-path \
            --enable-http --enable-ftp --disable-file --disable-dict --disable-gopher --disable-imap \
            --disable-pop3 --disable-smtp --disable-rtsp --disable-telnet --disable-tftp \
            --disable-ldap --disable-ldaps --disable-mqtt --disable-smb --disable-manual \
            --without-zlib --without-brotli --without-zstd --without-libpsl --without-libidn2 \
            --without-nghttp2 --without-librtmp --without-libssh2 --without-libgsasl \
            --disable-dependency-tracking >"$work/curl-configure.log" 2>&1 ||
            { tail -30 "$work/curl-configure.log" >&2; exit 1; }
        { make -j"$jobs" -C lib && make -C lib install && make -C include install; } \
            >"$work/curl-build.log" 2>&1 || { tail -30 "$work/curl-build.log" >&2; exit 1; }
    )
}

build_googletest() {
    log "GoogleTest $gtest_version"
    cmake -S /usr/src/googletest -B "$work/googletest" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/../../cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=ON \
        -DINSTALL_GTEST=ON >"$work/gtest.log" 2>&1 &&
        cmake --build "$work/googletest" -j "$jobs" >>"$work/gtest.log" 2>&1 &&
        cmake --install "$work/googletest" >>"$work/gtest.log" 2>&1 ||
        { tail -30 "$work/gtest.log" >&2; exit 1; }
}

# Debian's own header is the declarations of its shared library; the test servers need the whole
# header-only library, which is in the source package.
build_httplib() {
    log "cpp-httplib $httplib_version"
    httplib_src=$(fetch_source cpp-httplib "$httplib_version")
    [ -d "$httplib_src" ] || exit 1
    cp "$httplib_src/httplib.h" "$prefix/include/"
    cat >"$prefix/lib/pkgconfig/cpp-httplib.pc" <<PC
Name: cpp-httplib
Description: A C++ HTTP server and client library (header only)
Version: ${httplib_version%%[-+]*}
Libs: -lws2_32
Cflags: -I$prefix/include
PC
}

for library in openssl curl googletest httplib; do
    done_already $library && continue
    start=$SECONDS
    build_$library
    stamp $library
    log "$library done in $((SECONDS - start)) s"
done
touch "$prefix/.complete"
log "ready in $prefix"
with_libtorrent
