#!/usr/bin/env bash
# Builds the Debian package zb740_<version>_<arch>.deb with CPack: a release
# build of its own with Debian's hardening flags (in build-deb/ unless
# ZB740_PACKAGE_BUILD names another folder), packed and checked with lintian
# when it is installed. The package lands in OUT_DIR (default: the project
# folder). Install it with: sudo apt-get install ./zb740_<version>_<arch>.deb
# Usage: scripts/package.sh [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root}" && cd "${1:-$root}" && pwd)
build=${ZB740_PACKAGE_BUILD:-$root/build-deb}

"$root/scripts/setup-deps.sh"
export CCACHE_DIR=${CCACHE_DIR:-$root/.cache/ccache}
export CCACHE_BASEDIR=$root

# Debian's build flags with all hardening (stack protector, fortify, format
# checks, relro, bindnow); the file-prefix map takes the folder the build runs from.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
# The changelog's date is the last commit's, so rebuilding gives the same package.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DZB740_BUILD_TESTS=OFF -DZB740_BUILD_BENCH=OFF
cmake --build "$build" -j2

(cd "$build" && rm -f ./*.deb && cpack -G DEB)
deb=$(ls "$build"/zb740_*.deb)
cp "$deb" "$out/"
deb="$out/$(basename "$deb")"
echo "Package: $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error --info "$deb"
else
  echo "lintian is not installed: the package was not checked."
fi
