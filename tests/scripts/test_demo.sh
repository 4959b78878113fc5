#!/usr/bin/env bash
# scripts/demo never deletes a folder that it did not make: a sandbox or Wine
# prefix that holds anything without the demo's marker is refused with one
# line on stderr and left as it was; a folder with the marker is emptied and
# used. The last part runs the demo itself (cancelled on its first page), and
# only for the host build, which the demo builds and uses.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

demo="$SOURCE_DIR/scripts/demo"
fresh_dir demo

precious="$WORK/precious"
mkdir -p "$precious/sub"
echo "mine" >"$precious/notes.txt"
echo "mine too" >"$precious/sub/more.txt"

# refused SETTING ARGS...: the demo, with SETTING naming $precious, ends with
# status 1 and one line on stderr that names the setting and the folder.
refused() {
  local setting=$1 status=0
  shift
  env "$setting=$precious" DISPLAY=:0 "$demo" "$@" </dev/null >"$WORK/out" 2>"$WORK/err" || status=$?
  [ $status -eq 1 ] || fail "$setting: the demo ended with $status: $(cat "$WORK/out" "$WORK/err")"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "$setting: not one line on stderr: $(cat "$WORK/err")"
  grep -qF "demo: $setting=$precious holds files that the demo did not put there" "$WORK/err" ||
    fail "$setting: the line does not say why: $(cat "$WORK/err")"
  [ "$(cat "$precious/notes.txt")" = mine ] && [ "$(cat "$precious/sub/more.txt")" = "mine too" ] ||
    fail "$setting: the folder's files were touched"
  [ ! -e "$precious/.tnm-demo" ] || fail "$setting: the demo marked the folder"
}
refused DEMO_ROOT
refused DEMO_WINEPREFIX --wine

if [ "$HOST_BIN" = "$SOURCE_DIR/build/bin" ]; then
  marked="$WORK/marked"
  mkdir -p "$marked/c"
  echo "made by scripts/demo" >"$marked/.tnm-demo"
  echo "from the last run" >"$marked/c/old.txt"
  status=0
  echo q | DEMO_ROOT="$marked" DEMO_UNINSTALL=n "$demo" >"$WORK/run.out" 2>&1 || status=$?
  [ $status -eq 0 ] || fail "the demo in its own folder ended with $status: $(tail -5 "$WORK/run.out")"
  [ ! -e "$marked/c/old.txt" ] || fail "the demo's own folder was not emptied"
  [ -f "$marked/.tnm-demo" ] && [ -f "$marked/c/SETUP/data1.qv" ] || fail "the sandbox was not laid anew"
  grep -q '^  Building the setup program \.\.\. done$' "$WORK/run.out" || fail "no line for the build step"
fi
say "PASS: the demo refuses folders it did not make and empties its own"
