#!/usr/bin/env bash
# bkdata lines rides the sample track's robot lines under the game's own
# reset and tick: the same bytes every run (this one and the build's own,
# which rode the lines of the build's game data), three files bkdata check takes,
# and a damaged copy it refuses. A ridden bike leans into its bends, so the
# lines' samples lean the way their path turns (a bike slid along upright
# would not lean at all).
set -u
exe=$1
made=$2  # the build's game data root, made and ridden by the same bkdata
. "$(dirname "$0")/scratch_home.sh"
"$exe" build "$dir/root" >/dev/null || { echo "bkdata build failed"; exit 1; }
"$exe" lines "$dir/root" >/dev/null || { echo "bkdata lines failed"; exit 1; }
for skill in novice amateur expert; do
  f=$dir/root/quarrybend/lines_$skill
  [ -f "$made/quarrybend/lines_$skill" ] || { echo "no lines_$skill in the build's game data '$made'"; exit 1; }
  cmp -s "$f" "$made/quarrybend/lines_$skill" || { echo "lines_$skill differs between two runs (this and the build's)"; fail=1; }
  out=$("$exe" check "$f") || { echo "lines_$skill refused: $out"; fail=1; }
  case $out in
    *"lines, "*" in 13 segments (0: "*) ;;
    *) echo "unexpected summary: $out"; fail=1 ;;
  esac
  # Samples at speed leaning more than 0.1 rad, and those of them leaning
  # into the turn of the path through them and their neighbours.
  read -r leaning into < <(awk '
    /^\[/ {
      gsub(/[][]/, "")
      x[2] = $1; z[2] = $3; v[2] = $4; l[2] = $5; n++
      if (n >= 3 && (l[1] > 0.1 || l[1] < -0.1) && v[1] > 10) {
        turn = (x[1] - x[0]) * (z[2] - z[1]) - (z[1] - z[0]) * (x[2] - x[1])
        leaning++
        if (turn * l[1] < 0) into++
      }
      for (k = 0; k < 2; k++) { x[k] = x[k + 1]; z[k] = z[k + 1]; v[k] = v[k + 1]; l[k] = l[k + 1] }
      next
    }
    { n = 0 }
    END { print leaning + 0, into + 0 }' "$f")
  [ "$leaning" -ge 100 ] || { echo "lines_$skill: only $leaning samples at speed lean more than 0.1 rad"; fail=1; }
  [ $((into * 20)) -ge $((leaning * 19)) ] || { echo "lines_$skill: $into of $leaning leaning samples lean into their turn"; fail=1; }
done
head -c 5000 "$dir/root/quarrybend/lines_expert" >"$dir/root/quarrybend/lines_cut"
out=$("$exe" check "$dir/root/quarrybend/lines_cut")
[ $? = 1 ] || { echo "a cut lines file was taken: $out"; fail=1; }
exit $fail
