#!/usr/bin/env bash
# brakkan logs its version through the platform log and exits 0; ">>" appends
# and ">" truncates.
set -eu
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export HOME=$dir XDG_DATA_HOME=$dir/xdg BK_HOME=$dir/bk
PAVO_LOGFILE=">>x.log" "$exe"
PAVO_LOGFILE=">>x.log" "$exe"
n=$(grep -cE '^\[[0-9]+:[0-9]{2}:[0-9]{2}\.[0-9]{2}\] Brakkan version 2020-07-23-1524 snapshot$' x.log)
[ "$n" = 2 ] || { echo "expected 2 version lines after >>, got $n"; cat x.log; exit 1; }
PAVO_LOGFILE=">x.log" "$exe"
n=$(grep -c 'Brakkan version' x.log)
[ "$n" = 1 ] || { echo "expected 1 version line after >, got $n"; cat x.log; exit 1; }
