#!/usr/bin/env bash
# bkdata check on single track files (each through its reader, refused with
# the reader's warning and exit code 1 when malformed) and on a track
# folder of the per-user folder, which is read laid over the game data
# that BK_HOME names, as the game reads it.
set -u
exe=$1
data=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
user=$dir/xdg/Brakkan/quarrybend
mkdir -p "$user"
kinds="billboards statues timing_gates lighting cameras flaggers terrain.hf tilemap"
for f in $kinds; do cp "$data/quarrybend/$f" "$user/"; done
export BK_HOME=$data
for f in $kinds; do
  out=$("$exe" check "$user/$f") || { echo "check of the generated $f failed: $out"; fail=1; }
  case $f in
    billboards) want="billboards, 24 entries" ;;
    statues) want="statues, 11 entries" ;;
    timing_gates) want="timing_gates, 8 slots, 7 gates read, 7 in effect (F 7, N 7)" ;;
    terrain.hf) want="terrain.hf, 257 x 257 heights at 4 ft" ;;
    tilemap) want="tilemap, 128 x 128 cells" ;;
    *) want="$f, " ;;
  esac
  case $out in *"$user/$f: $want"*) ;; *) echo "unexpected summary of $f: $out"; fail=1 ;; esac
done

# The per-user folder holds only what the editor saved; over the game data
# it is a whole track. Without BK_HOME it cannot be read so, and says why.
out=$("$exe" check "$user") || { echo "check of the per-user folder failed: $out"; fail=1; }
case $out in *"track 'Quarry Bend', 257x257 heights"*) ;; *) echo "unexpected summary: $out"; fail=1 ;; esac
if out=$(env -u BK_HOME "$exe" check "$user"); then echo "accepted without BK_HOME: $out"; fail=1; fi
case $out in *"set BK_HOME"*) ;; *) echo "no reason without BK_HOME: $out"; fail=1 ;; esac

# Malformed files: refused with the reader's own reason.
bad=$dir/bad/quarrybend
mkdir -p "$bad"
check_bad() {  # file, content (printf format), expected reason
  printf "$2" >"$bad/$1"
  local out
  if out=$("$exe" check "$bad/$1"); then echo "malformed $1 accepted: $out"; fail=1; fi
  case $out in *"$3"*) ;; *) echo "no '$3' for $1: $out"; fail=1 ;; esac
  rm -f "$bad/$1"
}
check_bad billboards '[1 0 2] 3 1 a.png\n[1 0 nan] 3 1 b.png\n' "billboards: entry 1 is malformed"
check_bad statues '[1 0 2] 0 a.jm null null\n[1 0' "statues: entry 1 is malformed"
check_bad timing_gates 'checkpoints:\n20 [1 2 3] [1 0 0]\n20 [4 5' "gate 1 is incomplete"
check_bad lighting 'shine 1\n' "Unknown identifier 'shine'"
check_bad terrain.hf '7 0 1 0\n' "bad height field parameters"
check_bad terrain.hf '7 4 0 1\n:abc' "too short for a 257 x 257 grid"
head -c 1000 /dev/zero >"$bad/tilemap"
if out=$("$exe" check "$bad/tilemap"); then echo "a short tilemap accepted: $out"; fail=1; fi
case $out in *"1000 bytes; a tilemap holds 4^n bytes"*) ;; *) echo "no reason for the short tilemap: $out"; fail=1 ;; esac
# A tilemap whose size does not match the terrain.hf beside it.
head -c 65536 /dev/zero >"$bad/tilemap"
printf '7 4 0 1\n' >"$bad/terrain.hf"
if out=$("$exe" check "$bad/tilemap"); then echo "a mismatched tilemap accepted: $out"; fail=1; fi
case $out in *"terrain.hf beside it has n 7"*) ;; *) echo "no reason for the mismatched tilemap: $out"; fail=1 ;; esac
[ $fail = 0 ] && echo "bkdata track files ok"
exit $fail
