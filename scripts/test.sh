#!/usr/bin/env bash
# Sets up, builds with AddressSanitizer and UndefinedBehaviorSanitizer, makes
# the sample data and runs every test (GL tests under a virtual display),
# then fuzzes every reader for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh

build=build/debug
jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DBK_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# intercept_tls_get_addr=0: see BK_TEST_ENVIRONMENT in cmake/bk_library.cmake.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0:intercept_tls_get_addr=0}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$jobs"

# Coverage-guided fuzzing of every reader: a clang build of its own, each
# target run from its seeds for a bounded time (scripts/fuzz.sh).
bash "$root/scripts/fuzz.sh"
