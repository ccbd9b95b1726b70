#!/usr/bin/env bash
# brakkan logs its version through the platform log; ">>" appends and ">"
# truncates. Each run is ended with SIGTERM once its window is up.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

run() {
  run_until_signal TERM PAVO_LOGFILE="$1"
  local rc=$?
  [ "$rc" = 0 ] || { echo "brakkan exited $rc"; cat x.log; exit 1; }
}

run ">>x.log"
run ">>x.log"
n=$(grep -cE '^\[[0-9]+:[0-9]{2}:[0-9]{2}\.[0-9]{2}\] Brakkan version 2020-07-23-1524 snapshot$' x.log)
[ "$n" = 2 ] || { echo "expected 2 version lines after >>, got $n"; cat x.log; exit 1; }
run ">x.log"
n=$(grep -c 'Brakkan version' x.log)
[ "$n" = 1 ] || { echo "expected 1 version line after >, got $n"; cat x.log; exit 1; }
