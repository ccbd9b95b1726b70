#!/usr/bin/env bash
# bkdata lines rides the sample track's robot lines under the game's own
# reset and tick: the same bytes every run, three files bkdata check takes,
# and a damaged copy it refuses.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export HOME=$dir XDG_DATA_HOME=$dir/xdg PAVO_LOGFILE=">$dir/log.txt"
fail=0
"$exe" build "$dir/root" >/dev/null || { echo "bkdata build failed"; exit 1; }
"$exe" lines "$dir/root" >/dev/null || { echo "bkdata lines failed"; exit 1; }
mkdir -p "$dir/first"
cp "$dir"/root/quarrybend/lines_* "$dir/first/"
"$exe" lines "$dir/root" >/dev/null || { echo "second bkdata lines failed"; exit 1; }
for skill in novice amateur expert; do
  f=$dir/root/quarrybend/lines_$skill
  cmp -s "$f" "$dir/first/lines_$skill" || { echo "lines_$skill differs between two runs"; fail=1; }
  out=$("$exe" check "$f") || { echo "lines_$skill refused: $out"; fail=1; }
  case $out in
    *"lines, "*" in 13 segments (0: "*) ;;
    *) echo "unexpected summary: $out"; fail=1 ;;
  esac
done
head -c 5000 "$dir/root/quarrybend/lines_expert" >"$dir/root/quarrybend/lines_cut"
out=$("$exe" check "$dir/root/quarrybend/lines_cut")
[ $? = 1 ] || { echo "a cut lines file was taken: $out"; fail=1; }
exit $fail
