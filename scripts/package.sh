#!/usr/bin/env bash
# Builds the Debian package: build-deb/tovik-bot_<version>_<arch>.deb (or in
# the folder given), with Debian's build flags (hardening included), the
# programs stripped and the dependencies named by dpkg-shlibdeps. Install it
# with `sudo apt install ./build-deb/tovik-bot_*.deb`.
#   scripts/package.sh [--no-deps] [BUILD_DIR]
# --no-deps skips installing the packages the build needs (the tests use it).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = --no-deps ]; then
  shift
else
  "$repo/scripts/install-deps.sh"
fi
build=$(realpath -m "${1:-$repo/build-deb}")
# From the sources' folder, so that Debian's flags map its paths to "." and
# the programs name no folder of this machine.
cd "$repo"
# The package's files are everyone's to read, whatever the caller's umask.
umask 022
# Debian's flags with all of its hardening, as debhelper builds packages.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOVIK_BUILD_TESTS=OFF -DTOVIK_BUILD_BENCH=OFF \
  -DTOVIK_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tovik-bot
(cd "$build" && cpack -G DEB)
