#!/usr/bin/env bash
# The host-built setup answered by a person at a real terminal of 80 x 24
# (a tmux pane): each page's whole frame and its keys are on the screen, no
# line wraps, a wrong entry's note stays with the page above it, the folder
# page's box for a folder that is no full path, natural words in any case,
# the options page's own numbers, and the installation that follows. The
# screens are kept in the work folder (screen-*.txt).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

command -v tmux >/dev/null || skip "tmux is not installed"
setup="$HOST_BIN/setup"
example="$HOST_BIN/../example"
[ -x "$setup" ] && [ -f "$example/data1.qv" ] || fail "build the host build first (cmake --build --preset host)"

fresh_dir terminal-tmux
sandbox="$WORK/sandbox"
mkdir -p "$sandbox/c/SETUP"
cp "$example/data1.qv" "$example/Trust.db" "$example/UninstallTNM.exe" "$sandbox/c/SETUP/"

socket="tnm-terminal-$$"
tm() { tmux -L "$socket" -f /dev/null "$@"; }
at_exit "tmux -L '$socket' kill-server 2>/dev/null"
tm new-session -d -s run -x 80 -y 24 \
  "env -u NO_COLOR WINHOST_ROOT='$sandbox' '$setup'; echo \"setup ended with \$?\"; sleep 600"

# screen NAME: the pane as it stands, kept as screen-NAME.txt (joined
# lines: a line that wrapped would come back longer than 80 columns).
screen() {
  tm capture-pane -p -J -t run >"$WORK/screen-$1.txt"
  cat "$WORK/screen-$1.txt"
}

# wait_for NAME TEXT: until the pane shows TEXT (10 s at most).
wait_for() {
  local i
  for i in $(seq 100); do
    if screen "$1" | grep -qF -- "$2"; then return 0; fi
    sleep 0.1
  done
  fail "the screen never showed '$2':"$'\n'"$(cat "$WORK/screen-$1.txt")"
}

type_line() {
  tm send-keys -t run -l -- "$1"
  tm send-keys -t run Enter
}

# whole_frame NAME CAPTION: the screen holds the frame from its top border
# to its bottom border and the prompt below the keys, every line within 80
# columns. The prompt is drawn last, so the screen is taken again until it
# stands there (10 s at most): a page seen half drawn is not judged.
whole_frame() {
  local f="$WORK/screen-$1.txt" i
  for i in $(seq 100); do
    screen "$1" | grep -qE -- '^> ' && break
    sleep 0.1
  done
  grep -qF -- "+-- $2" "$f" || fail "$1: no top border '+-- $2':"$'\n'"$(cat "$f")"
  grep -qE -- '^\+-{76}\+$' "$f" || fail "$1: no bottom border:"$'\n'"$(cat "$f")"
  grep -qE -- '^> ' "$f" || fail "$1: no prompt:"$'\n'"$(cat "$f")"
  local long
  long="$(awk 'length($0) > 80' "$f")"
  [ -z "$long" ] || fail "$1: lines longer than 80 columns: $long"
  [ "$(wc -l <"$f")" -le 24 ] || fail "$1: more than 24 lines"
}

wait_for folder "[ Next > ]"
whole_frame folder "TolvaMarked Verifier 1.2 - Setup"
grep -qF "[ < Back ] (off)" "$WORK/screen-folder.txt" || fail "Back is not shown as off"
grep -qF "Enter or n = Next, c = Cancel, e = type a new folder, ? = help" "$WORK/screen-folder.txt" ||
  fail "the folder page's keys are not as expected"
grep -qF "b = Back" "$WORK/screen-folder.txt" && fail "the disabled Back is offered as a key"

# A wrong entry: its note stands below the page, which stays on the screen.
type_line "next please"
wait_for note "! 'next please' is not a key of this page"
whole_frame note "TolvaMarked Verifier 1.2 - Setup"
type_line "b"
wait_for note2 "! Back is not available on this page"
grep -qF "! 'next please' is not a key of this page" "$WORK/screen-note2.txt" ||
  fail "the first note went away"
whole_frame note2 "TolvaMarked Verifier 1.2 - Setup"

# A folder without a drive: a box says what is wanted, the page stays.
type_line "e Verifier"
wait_for typed "(e) [Verifier]"
type_line "NEXT"
wait_for box "[ OK ]"
whole_frame box "(x) TolvaMarked Verifier - Setup"
grep -qF "Please type the folder's full path" "$WORK/screen-box.txt" || fail "the box does not say what is wanted"
type_line ""
wait_for folder-again "(e) [Verifier]"
type_line 'e C:\Tools\TNM'
wait_for typed2 '(e) [C:\Tools\TNM]'
type_line "Next"

# The options page: the number shown is the number pressed.
wait_for options "[x] 3)  Place a shortcut icon on the Desktop."
whole_frame options "TolvaMarked Verifier 1.2 - Setup"
grep -qF "3 or 4 = tick or untick" "$WORK/screen-options.txt" || fail "the options page's keys are not 3 and 4"
type_line "3"
wait_for options-3 "[ ] 3)  Place a shortcut icon on the Desktop."
grep -qF "[x] 4)  Add a menu item to the Start Menu." "$WORK/screen-options-3.txt" || fail "3 touched item 4"
type_line "next"
wait_for summary "[ Finish ]"
whole_frame summary "TolvaMarked Verifier 1.2 - Setup"
type_line "FINISH"
wait_for complete "Installation Complete"
whole_frame complete "Installation Complete"
type_line "ok"
wait_for ended "setup ended with 0"

inst="$sandbox/c/Tools/TNM"
[ -f "$inst/qenvo.exe" ] && [ -f "$inst/deinst.lst" ] || fail "the setup did not install into C:\\Tools\\TNM"
[ ! -e "$sandbox/c/WINDOWS/Desktop/TolvaMarked Verifier.lnk" ] || fail "item 3 was unticked, yet the desktop link is there"
[ -e "$sandbox/c/WINDOWS/Start Menu/TolvaMarked Verifier.lnk" ] || fail "item 4 stayed ticked, yet there is no Start-menu link"
say "PASS: pages and boxes fit 80 x 24 at a terminal, notes stay, words and numbers are taken"
