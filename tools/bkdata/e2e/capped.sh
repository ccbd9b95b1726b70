#!/usr/bin/env bash
# The checks that read a file whole name the file and the reason when they
# cannot: it is missing, larger than the game's reader takes (refused
# without reading it all), or unreadable.
set -u
exe=$1
. "$(dirname "$0")/scratch_home.sh"
problem() { echo "$*"; fail=1; }

# refused PATH WANT: check exits 1 and prints "PATH: WANT".
refused() {
  local out
  out=$("$exe" check "$1")
  [ $? -eq 1 ] || problem "$1 accepted: $out"
  case $out in "$1: $2"*) ;; *) problem "$1: want '$2', got: $out" ;; esac
}

mkdir -p "$dir/a" "$dir/setups" "$dir/keycam"
# kind, name, the largest size its reader takes
while IFS='|' read -r what name most; do
  refused "$dir/none/$name" "can't open"
  truncate -s $((most + 1)) "$dir/$name"
  refused "$dir/$name" "too large for a $what (more than $most bytes)"
  # /proc/self/mem reads back an error at its start.
  rm -f "$dir/$name"
  ln -s /proc/self/mem "$dir/$name"
  refused "$dir/$name" "read error: "
done <<'TABLE'
track script|a/big.js|16777215
config file|a/config|16777216
bike setup|setups/big|16777216
camera keyframe file|keycam/big|16777216
TABLE
exit $fail
