#!/usr/bin/env bash
# Builds Tovik-B0T and starts it. Profiles live under PROFILES/ in the
# directory you start it from (by default the repository's top folder).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/scripts/install-deps.sh"
cmake -S "$repo" -B "$repo/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVIK_BUILD_TESTS=OFF -DTOVIK_BUILD_BENCH=OFF >/dev/null
cmake --build "$repo/build" -j"$(nproc)" --target tovik-bot
exec "$repo/build/src/tovik-bot" "$@"
