#!/usr/bin/env bash
# Builds libtorrent-rasterbar 2.0 for the Windows program from Debian's source package with
# MinGW-w64 (posix threads), static and light: no DHT, no I2P, no deprecated functions, no tools,
# examples or tests. Boost is headers only for libtorrent 2.0: Debian's own, linked in place.
# Hashes come from Windows' own CNG: the libcrypto beside it is built without the old digest calls
# libtorrent uses, and libtorrent's HTTPS would need a TLS library we do not ship.
# From scratch it takes about 13 minutes of CPU (52 minutes on a busy 2-core machine).
# Usage: build-libtorrent.sh PREFIX (the folder build-deps.sh made); installs into PREFIX/libtorrent
# with its own stamp and lock, so a build of it never holds up a user of the other libraries.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1
jobs=${JOBS:-$(nproc)}
log() { echo "build-libtorrent: $*" >&2; }

libtorrent_version=$(dpkg-query -W -f='${source:Version}' libtorrent-rasterbar-dev 2>/dev/null || echo none)
boost_version=$(sed -n 's/^#define BOOST_LIB_VERSION "\(.*\)"/\1/p' /usr/include/boost/version.hpp 2>/dev/null)
boost_version=${boost_version:-none}
# Raise when the way the library is built changes.
recipe=1
key="libtorrent-$libtorrent_version+boost-$boost_version+gcc-$(x86_64-w64-mingw32-g++-posix -dumpfullversion)+r$recipe"

target=$prefix/libtorrent
exec 8>"$prefix/.libtorrent.lock"
flock 8
if [ "$(cat "$target/.complete" 2>/dev/null)" = "$key" ]; then
    log "cached in $target"
    exit 0
fi
[ "$boost_version" != none ] || { log "Boost's headers are missing (libboost-dev)"; exit 1; }

work=$prefix/.libtorrent-work-$$
rm -rf "$work" "$target"
mkdir -p "$work" "$target/boost"
trap 'rm -rf "$work"' EXIT
start=$SECONDS

# The version installed on Linux, else the newest one the mirror can deliver.
source_dir=""
for candidate in "$libtorrent_version" $(apt-cache showsrc libtorrent-rasterbar |
    sed -n "s/^Version: //p" | grep -vxF "$libtorrent_version" | sort -u -r -V); do
    if (cd "$work" && apt-get source -qq "libtorrent-rasterbar=$candidate" >/dev/null 2>&1); then
        source_dir=$(find "$work" -maxdepth 1 -type d -name "libtorrent-rasterbar-*" | head -1)
        echo "libtorrent-rasterbar $candidate" >"$target/version.txt"
        break
    fi
    log "no source of libtorrent-rasterbar $candidate on the mirror"
done
[ -d "$source_dir" ] || { log "cannot fetch the source of libtorrent-rasterbar"; exit 1; }
# Only Boost goes on the include path: /usr/include itself holds Linux's headers.
ln -s /usr/include/boost "$target/boost/boost"

log "libtorrent-rasterbar $libtorrent_version (static, Boost $boost_version headers)"
cmake -S "$source_dir" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/../../cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_INSTALL_PREFIX="$target" -DCMAKE_CXX_STANDARD=17 \
    -DBUILD_SHARED_LIBS=OFF -Dbuild_tests=OFF -Dbuild_examples=OFF -Dbuild_tools=OFF \
    -Ddht=OFF -Di2p=OFF -Ddeprecated-functions=OFF -Dmutable-torrents=OFF -Dstreaming=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON -DCMAKE_DISABLE_FIND_PACKAGE_GnuTLS=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_LibGcrypt=ON \
    -DBoost_NO_BOOST_CMAKE=ON -DBoost_INCLUDE_DIR="$target/boost" \
    >"$work/configure.log" 2>&1 || { tail -30 "$work/configure.log" >&2; exit 1; }
{ nice cmake --build "$work/build" -j "$jobs" && cmake --install "$work/build" --strip; } \
    >"$work/build.log" 2>&1 || { tail -30 "$work/build.log" >&2; exit 1; }
# Keep only what the program links against: the archive without its debug sections.
x86_64-w64-mingw32-strip --strip-debug "$target/lib/libtorrent-rasterbar.a"
echo "$key" >"$target/.complete"
log "libtorrent done in $((SECONDS - start)) s, in $target"
