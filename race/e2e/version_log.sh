#!/usr/bin/env bash
# brakkan logs its version through the platform log; ">>" appends and ">"
# truncates. Each run is ended with SIGTERM once its loading screen is up
# (the early-signal case is window_close.sh's).
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home
write_windowed_config

run() {
  PAVO_LOGFILE="$1" "$exe" &
  local pid=$!
  wait_for_window "$pid" || { kill -KILL "$pid"; wait "$pid"; echo "no window"; cat x.log; exit 1; }
  wait_pid=$pid wait_log 'GL_EXTENSIONS: ' x.log "$2"
  kill -s TERM "$pid"
  wait_or_kill "$pid"
  local rc=$?
  [ "$rc" = 0 ] || { echo "brakkan exited $rc"; cat x.log; exit 1; }
}

run ">>x.log" 1
run ">>x.log" 2
n=$(grep -cE '^\[[0-9]+:[0-9]{2}:[0-9]{2}\.[0-9]{2}\] Brakkan version 2020-07-23-1524 snapshot$' x.log)
[ "$n" = 2 ] || { echo "expected 2 version lines after >>, got $n"; cat x.log; exit 1; }
run ">x.log" 1
n=$(grep -c 'Brakkan version' x.log)
[ "$n" = 1 ] || { echo "expected 1 version line after >, got $n"; cat x.log; exit 1; }
