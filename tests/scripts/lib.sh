# Shared helpers for the scripted checks of the built programs. Sourced, not
# run. The checks get HOST_BIN, WIN_BIN, SOURCE_DIR and TEST_TMP from CTest;
# run by hand they fall back to the usual build folders.

set -u

: "${SOURCE_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
: "${HOST_BIN:=$SOURCE_DIR/build/bin}"
: "${WIN_BIN:=$SOURCE_DIR/build-win/bin}"
: "${TEST_TMP:=${TMPDIR:-/tmp}/tolva-tests}"

SKIP=77

say() { printf '%s\n' "$*"; }
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  exit 1
}
skip() {
  printf 'SKIP: %s\n' "$*"
  exit $SKIP
}

# Cleanup actions run at exit, last registered first. $LIB_STATUS is the
# script's exit status while they run.
_LIB_CLEANUP=()
at_exit() { _LIB_CLEANUP=("$*" "${_LIB_CLEANUP[@]}"); }
_lib_run_cleanup() {
  LIB_STATUS=$?
  local c
  for c in "${_LIB_CLEANUP[@]}"; do eval "$c" || true; done
  exit $LIB_STATUS
}
trap _lib_run_cleanup EXIT

# fresh_dir NAME: sets WORK to a new empty folder of its own under $TEST_TMP
# (unique, so that two runs of a check at once cannot meet). It is removed
# when the script passes or skips and kept for a look when it fails.
fresh_dir() {
  mkdir -p "$TEST_TMP"
  WORK="$(mktemp -d "$TEST_TMP/$1.XXXXXX")"
  at_exit "case \$LIB_STATUS in 0 | $SKIP) rm -rf '$WORK' ;; *) echo 'kept for a look: $WORK' >&2 ;; esac"
}

# need_32bit_programs: skips the check when this machine cannot start a 32-bit
# program at all (a kernel booted with its IA-32 emulation off refuses the
# Wine loader with "Exec format error"). Any other failure of Wine is left to
# the check itself, so a broken Wine still fails.
need_32bit_programs() {
  local out status=0
  out="$(wine --version 2>&1)" || status=$?
  if [ $status -ne 0 ] && printf '%s' "$out" | grep -q 'Exec format error'; then
    skip "this machine cannot run 32-bit programs (the kernel's IA-32 emulation is off), so Wine cannot start: $out"
  fi
}

# start_display: a private virtual X display for this script (Xvfb picks a
# free display number itself), stopped at exit. Sets DISPLAY.
start_display() {
  command -v Xvfb >/dev/null || fail "Xvfb is not installed (scripts/bootstrap installs it)"
  local fifo
  mkdir -p "$TEST_TMP"
  fifo="$(mktemp -u "$TEST_TMP/xvfb.XXXXXX")"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$fifo" >/dev/null 2>&1 &
  local pid=$!
  local num=""
  read -r -t 20 num <"$fifo" || true
  rm -f "$fifo"
  [ -n "$num" ] || {
    kill "$pid" 2>/dev/null
    fail "Xvfb did not start"
  }
  at_exit "kill $pid 2>/dev/null; wait $pid 2>/dev/null"
  export DISPLAY=":$num"
  unset XAUTHORITY
}

# wine_env DIR: the settings for a quiet, self-contained 32-bit Wine in the
# prefix DIR: no debug channels, no Mono or Gecko installers, no desktop
# integration, no session bus.
wine_env() {
  export WINEPREFIX="$1"
  export WINEARCH=win32
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export DBUS_SESSION_BUS_ADDRESS=disabled:
  # Unix file names in UTF-8; Windows' ANSI code page stays 1252 either way.
  export LANG=C.UTF-8
  # CI may run without a home folder; Wine wants one.
  if [ -z "${HOME:-}" ] || [ ! -d "$HOME" ]; then export HOME="$TEST_TMP"; fi
  unset WINELOADER WINESERVER
}

# fresh_wine_prefix DIR: a new 32-bit prefix at DIR, initialised and settled
# (needs a display: call start_display first). The prefix's wineserver is
# stopped at exit.
fresh_wine_prefix() {
  command -v wine >/dev/null || fail "wine is not installed (scripts/bootstrap installs it)"
  need_32bit_programs
  rm -rf "$1"
  mkdir -p "$(dirname "$1")"
  wine_env "$1"
  # At exit: stop the prefix's server and wait until it has gone, so that
  # nothing of it lingers when the folder is removed.
  at_exit "WINEPREFIX='$1' wineserver -k 2>/dev/null; WINEPREFIX='$1' timeout 30 wineserver -w 2>/dev/null"
  say "Creating a fresh 32-bit Wine prefix in $1 ..."
  local start=$SECONDS
  local log="$1.wineboot.log"
  if ! timeout --kill-after=10 300 wineboot --init >"$log" 2>&1; then
    cat "$log" >&2
    fail "wineboot --init failed"
  fi
  timeout 120 wineserver -w || fail "wineserver did not settle"
  [ -f "$1/system.reg" ] || fail "the prefix has no registry after wineboot"
  say "Prefix ready in $((SECONDS - start)) s."
}

# run_wine SECONDS OUT PROGRAM ARGS...: runs a Windows program in the current
# prefix with a time limit, its output (stdout and stderr) into the file OUT.
# Returns the program's exit status (124 on timeout).
run_wine() {
  local limit=$1 out=$2
  shift 2
  local status=0
  timeout --kill-after=10 "$limit" wine "$@" >"$out" 2>&1 </dev/null || status=$?
  timeout 60 wineserver -w || true
  return $status
}
