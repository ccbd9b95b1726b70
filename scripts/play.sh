#!/usr/bin/env bash
# Sets up, builds (which makes the sample data in the build tree's gamedata/)
# and runs the game on that data.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBK_TESTS=OFF -DBK_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

cd "$build"
BK_HOME="$PWD/gamedata" exec ./brakkan "$@"
