# Driving the real game's menus with the mouse on a 640 x 480 screen of its
# own: sourced after lib.sh (with xvfb_screen=640x480x24) by scripts that
# set $dir and $log. At 640 x 480 the menu column has 15 pixels a line (32
# lines to the screen's height), the New Race gates 480 / 42 pixels a line;
# the places below are the items' centres on that grid.

# Main menu: the first button 4.5 lines down, one item step (1.375 lines)
# apart.
main_item() { echo "100 $(awk -v i="$1" 'BEGIN { printf "%d", 75 + 20.625 * i }')"; }
main_new_race=$(main_item 0)
main_playback=$(main_item 1)
main_time_trial=$(main_item 3)
main_quit=$(main_item 8)
# The set-up pages: Back to Main Menu 4 lines down, Start an item step
# lower; New Race's lists in the column 15.5 units right of the buttons.
page_back="100 52"
page_start="100 73"
new_race_track="440 52"
new_race_record="440 73"
new_race_laps="440 135"
# Gate n: Gates 1-20 on the left, 21-40 on the right, 1.25 of their lines
# apart from 15 of their lines down.
gate() {
  local row=$((($1 - 1) % 20)) x=118
  [ "$1" -gt 20 ] && x=438
  echo "$x $(awk -v r="$row" 'BEGIN { printf "%d", 165.7 + 14.286 * r }')"
}
# The chooser's rows, from an item step under Prev Page, 1.25 lines apart.
chooser_row() { echo "200 $(awk -v i="$1" 'BEGIN { printf "%d", 92 + 18.75 * i }')"; }
# The Playback Race page: Playback Mode beside Back, Prev Page 2 lines
# lower, then the demo rows.
playback_mode="400 52"
playback_row() { echo "200 $(awk -v i="$1" 'BEGIN { printf "%d", 101 + 18.75 * i }')"; }

frames_taken=0
# Saves the screen, once the game has shown the frames after the last
# input, as the next numbered frame NN-$1.png in $dir/frames, copied to
# $BK_CAPTURE-NN-$1.png when BK_CAPTURE is set.
frame() {
  frames_taken=$((frames_taken + 1))
  local name
  name=$(printf '%02d-%s' "$frames_taken" "$1")
  mkdir -p "$dir/frames"
  wait_frames
  import -window root "$dir/frames/$name.png"
  [ -n "${BK_CAPTURE:-}" ] && cp "$dir/frames/$name.png" "$BK_CAPTURE-$name.png"
  return 0
}

# The screen above the line where the main menu's disclaimer fades out.
grab() { import -window root -crop 640x430+0+0 +repage "$1"; }

# Runs the command "$@" (an input) and waits for the screen to show its
# effect. The game draws its menus over a still picture (the
# loading screen, or a race standing while the menu is open), so any
# change is the input's. A page change swallows the rest of its frame's
# input; once the new page has been drawn, the next input lands in a later
# frame. 1 when nothing changed.
act() {
  grab "$dir/before.png"
  "$@"
  wait_pid=${pid:-} wait_until screen_changed && return 0
  echo "the screen did not change after: $*"
  return 1
}
# Whether the screen differs from before.png.
screen_changed() {
  grab "$dir/after.png"
  compare -metric AE "$dir/before.png" "$dir/after.png" null: 2>/dev/null
  [ $? = 1 ]
}

# A click at the place "$1" ("x y"), waited for.
click() {
  # shellcheck disable=SC2086
  act xdotool mousemove --window "$win" $1 click 1
}

# The red, green and blue of the screen's pixel at x $1, y $2.
pixel() { import -window root -crop "1x1+$1+$2" +repage -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]' info: 2>/dev/null; }
# Whether the page shown has a title: the set-up pages and the chooser
# draw theirs in green where the main menu and the exit page have only
# the backdrop.
titled() {
  local r g b
  read -r r g b <<<"$(pixel 100 22)"
  [ -n "$b" ] && [ "$g" -gt $((r + 60)) ] && [ "$g" -gt $((b + 30)) ]
}
# Whether the page shown has a title ($1 = yes) or has none.
title_is() { if titled; then [ "$1" = yes ]; else [ "$1" = no ]; fi; }
# Waits for a page with a title ($1 = yes) or without one.
wait_title() {
  wait_pid=${pid:-} wait_until title_is "$1" && return 0
  echo "the page never came (title: $1)"
  return 1
}
# Whether the main menu is up as it opens: its first button, "New Race",
# drawn selected (light grey) over the second drawn plain.
main_menu_up() {
  local r g b r2 g2 b2
  read -r r g b <<<"$(pixel 200 75)"
  read -r r2 g2 b2 <<<"$(pixel 200 96)"
  [ -n "$b" ] && [ -n "$b2" ] || return 1
  local lo=$r hi=$r
  for v in $g $b; do
    [ "$v" -lt "$lo" ] && lo=$v
    [ "$v" -gt "$hi" ] && hi=$v
  done
  [ "$lo" -gt 170 ] && [ $((hi - lo)) -lt 30 ] && [ "$r2" -lt 160 ] && [ "$g2" -lt 160 ] && [ "$b2" -lt 160 ]
}
# Waits for the main menu, then for the frames after the one that showed
# it: the page change has swallowed its frame's input.
wait_main_menu() {
  wait_pid=${pid:-} wait_until main_menu_up && wait_frames && return 0
  echo "the main menu did not come up"
  return 1
}
# Escape from a race (with no menu open), waiting for the main menu.
escape_to_main_menu() {
  xdotool key Escape
  wait_main_menu
}
# "Back to Main Menu" on a set-up page, waited for.
back_to_main_menu() {
  # shellcheck disable=SC2086
  xdotool mousemove --window "$win" $page_back click 1
  wait_main_menu
}
# Main menu -> Quit -> a key on the exit page. Space chooses the selected
# item (Quit, under the pointer) on the main menu and leaves from the exit
# page, so it is pressed until the game ends.
quit_by_menu() {
  # shellcheck disable=SC2086
  xdotool mousemove --window "$win" $main_quit click 1
  wait_frames
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    [ -n "${exit_frame:-}" ] && frame "$exit_frame" && exit_frame=
    xdotool key space
    wait_frames
  done
}
# A click that opens another page, with a title ($2 = yes) or without; then
# the pause the pages are given between changes.
click_page() {
  click "$1" || return 1
  wait_title "$2" || return 1
  wait_frames
}
# The pointer to "$1", selecting the item there (waited for).
point() {
  # shellcheck disable=SC2086
  act xdotool mousemove --window "$win" $1
}
key() { act xdotool key "$1"; }

# How many lines of the log hold $1.
log_count() { grep -c -- "$1" "$log" 2>/dev/null; }
# Whether $2 lines of the log hold $1.
log_count_reaches() { [ "$(log_count "$1")" -ge "$2" ]; }
# Waits until $2 lines of the log hold $1. ($3, once a deadline in tenths
# of a second, is left to callers written for it: only a hang ends the
# wait now.)
wait_log_count() { wait_pid=${pid:-} wait_until log_count_reaches "$1" "$2"; }

# Starts brakkan with the arguments "$@" under a time-out that only a hang
# reaches (its exit
# code is brakkan's), standard error in err.txt; takes the focus of its
# window and waits for the main menu: $pid (the time-out's), $win.
start_game() {
  timeout -s TERM "$run_hang_seconds" "$exe" "$@" 2>err.txt &
  pid=$!
  local game= started_at
  started_at=$(frames_shown)
  child_of_timeout() { game=$(pgrep -P "$pid" | head -n 1); [ -n "$game" ]; }
  wait_pid=$pid wait_until child_of_timeout
  if [ -z "$game" ] || ! wait_for_window "$game"; then fail "no window"; fi
  win=$(window_of "$game")
  xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
  # With no race yet the main menu comes up over the title picture, whose
  # sky the menu's backdrop greys, once the frames run: until then
  # start-up throws input away.
  wait_running "$started_at" || fail "the main menu never came up"
  wait_pid=$pid wait_until greyed_sky || fail "the main menu never came up"
}
# Whether the title picture's sky shows greyed by the menu's backdrop.
greyed_sky() {
  local r g b
  read -r r g b <<<"$(pixel 5 75)"
  [ -n "$b" ] && [ $((r + g + b)) -gt 200 ] && [ $((r + g + b)) -lt 340 ] && [ "$b" -gt $((r + 30)) ]
}

# Whether the sanitizers reported anything on standard error.
sanitizer_quiet() { ! grep -q 'ERROR: AddressSanitizer\|ERROR: LeakSanitizer\|runtime error:' err.txt; }
