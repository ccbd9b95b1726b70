#!/usr/bin/env bash
# Sets up, builds, makes the sample data and runs the game.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBK_TESTS=OFF -DBK_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

cd "$build"
exec ./brakkan "$@"
