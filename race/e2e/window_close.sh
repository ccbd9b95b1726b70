#!/usr/bin/env bash
# brakkan opens its window titled "Brakkan" and, on SIGTERM (as
# `timeout -s TERM` sends) or SIGINT, closes it in order and exits 0, even
# when the signal comes while start-up is still loading.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home
write_windowed_config

fail() { echo "$*"; cat x.log 2>/dev/null; exit 1; }

# The log lines of the start-up and the orderly close, in order.
check_log_order() {
  local at=0 line n
  for line in 'Brakkan version ' 'Creating window' 'Creating OpenGL context' 'Listing directories' \
              'Freeing file list' 'Freeing memory (4)' 'Deleting textures' 'Deleting models' 'Deleting OpenGL context' \
              'Destroying window' 'Window shutdown complete'; do
    n=$(grep -n -F "$line" x.log | head -n 1 | cut -d: -f1)
    [ -n "$n" ] && [ "$n" -gt "$at" ] || fail "log line '$line' missing or out of order"
    at=$n
  done
}

for sig in TERM INT; do
  run_until_signal "$sig" PAVO_LOGFILE=">x.log"
  rc=$?
  [ "$rc" != 99 ] || fail "no window titled Brakkan (SIG$sig)"
  [ "$rc" = 0 ] || fail "exit code $rc after SIG$sig, expected 0"
  check_log_order
done

# The way runs of the game end: timeout -s TERM.
PAVO_LOGFILE=">x.log" timeout --preserve-status -k 60 -s TERM 4 "$exe"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc under timeout -s TERM, expected 0"
check_log_order
