#!/usr/bin/env bash
# End to end on the host: the placeholder setup answered by a scripted agent,
# its transcript, and the exit status 3 when the script does not match what
# the program shows.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

exe="$HOST_BIN/setup"
[ -x "$exe" ] || fail "$exe is not built (cmake --preset host && cmake --build --preset host)"
fresh_dir placeholder-host
work="$WORK"
unset WINHOST_FAULTS

# run_setup NAME: runs setup in a fresh sandbox with the agent script
# $work/NAME.txt; leaves NAME.out (stdout and stderr) and NAME.jsonl (the
# transcript) and sets $status.
run_setup() {
  rm -rf "$work/$1.root"
  mkdir -p "$work/$1.root"
  status=0
  WINHOST_ROOT="$work/$1.root" \
    WINHOST_CMDLINE='C:\SETUP\setup.exe' \
    WINHOST_SCRIPT="$work/$1.txt" \
    WINHOST_TRANSCRIPT="$work/$1.jsonl" \
    timeout --kill-after=5 60 "$exe" >"$work/$1.out" 2>&1 </dev/null || status=$?
}
show() {
  say "--- $1: exit status $status; output:"
  cat "$work/$1.out"
  say "--- transcript:"
  cat "$work/$1.jsonl" 2>/dev/null || say "(none)"
}

# The expected walk: the page, Next, the message box, OK.
cat >"$work/ok.txt" <<'SCRIPT'
# The placeholder's page, then its message box.
page 100
click 1
message "TolvaMarked Verifier - Setup" ok
SCRIPT
run_setup ok
show ok
[ $status -eq 0 ] || fail "the matching script ended with status $status"
t="$work/ok.jsonl"
[ -s "$t" ] || fail "no transcript was written"
grep -Eq '"event":"page".*"template":100[,}]' "$t" ||
  fail "the transcript has no page event for template 100"
grep -Eq '"event":"message".*"caption":"TolvaMarked Verifier - Setup".*"answer":1[,}]' "$t" ||
  fail "the transcript has no message box event with the expected caption, answered OK"
grep -q 'The platform layer works.' "$t" || fail "the message box event lacks its text"
last="$(tail -n 1 "$t")"
[[ "$last" == *'"event":"exit"'* && "$last" == *'"status":0'* ]] ||
  fail "the transcript does not end with the exit event and status 0: $last"
# Every line is one JSON object.
if command -v python3 >/dev/null; then
  python3 -c 'import json,sys
for n, line in enumerate(open(sys.argv[1]), 1):
    json.loads(line)' "$t" || fail "the transcript is not one JSON object a line"
fi
order="$(grep -oE '"event":"(page|message|exit)"' "$t" | tr '\n' ' ')"
[[ "$order" =~ page.*message.*exit ]] || fail "events out of order: $order"

# Scripts that do not match: each must end the run with status 3 and say why.
printf 'page 101\n' >"$work/wrong_page.txt"
printf 'page 100\nclick 1\nmessage "Some Other Caption" ok\n' >"$work/wrong_caption.txt"
printf 'page 100\nclick 1\n' >"$work/runs_out.txt"
for name in wrong_page wrong_caption runs_out; do
  run_setup $name
  show $name
  [ $status -eq 3 ] || fail "$name: exit status $status, expected 3"
  [ -s "$work/$name.out" ] || fail "$name: no diagnostic on stderr"
  grep -q '"event":"exit".*"status":3' "$work/$name.jsonl" ||
    fail "$name: the transcript lacks the exit event with status 3"
done
grep -q '101' "$work/wrong_page.out" || fail "wrong_page: the diagnostic does not name the expected page"
grep -q 'Some Other Caption' "$work/wrong_caption.out" ||
  fail "wrong_caption: the diagnostic does not name the expected caption"
say "PASS: placeholder walk, transcript and mismatch exits"
