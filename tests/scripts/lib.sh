# Shared helpers for the scripted checks of the built programs. Sourced, not
# run. The checks get HOST_BIN, WIN_BIN (the shipped 32-bit Windows build),
# WIN64_BIN (the 64-bit one), WINE_ARCH, SOURCE_DIR and TEST_TMP from CTest;
# run by hand they fall back to the usual build folders and the 64-bit Wine.

set -u

: "${SOURCE_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
: "${HOST_BIN:=$SOURCE_DIR/build/bin}"
: "${WIN_BIN:=$SOURCE_DIR/build-win/bin}"
: "${WIN64_BIN:=$SOURCE_DIR/build-win64/bin}"
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

# ---- Which Wine ----
# Each check under Wine runs against one of the two Windows builds, chosen by
# WINE_ARCH (CTest sets it): 64, the x86-64 build (build-win64) under the
# 64-bit Wine, which every machine that builds this project can start; 32,
# the shipped i686 build (build-win) under the 32-bit Wine, which only a
# kernel with its IA-32 emulation on can start. Everything a check does with
# Wine goes through the functions below, so that the two differ here only.
: "${WINE_ARCH:=64}"
# WINE_BIN is the chosen build's bin folder (its dist folder beside it).
case "$WINE_ARCH" in
  64) WINE_LOADER=/usr/lib/wine/wine64 WINE_BIN="$WIN64_BIN" WINE_PRESET=windows64 ;;
  32) WINE_LOADER=/usr/lib/wine/wine WINE_BIN="$WIN_BIN" WINE_PRESET=windows ;;
  *)
    printf 'FAIL: WINE_ARCH is "%s"; it must be 64 or 32\n' "$WINE_ARCH" >&2
    exit 1
    ;;
esac

# wine ARGS...: the chosen loader. wineboot runs through it. Never the
# system's wine command: it picks the 32-bit loader whenever one is installed,
# and a 32-bit program in a 64-bit prefix sees another registry view.
wine() { "$WINE_LOADER" "$@"; }
wineboot() { "$WINE_LOADER" wineboot "$@"; }
# wine_limited SECONDS ARGS...: the loader under a time limit (124 on timeout).
wine_limited() {
  local limit=$1
  shift
  timeout --kill-after=10 "$limit" "$WINE_LOADER" "$@"
}

# need_wine: the loader of the chosen Wine is present and starts. A 32-bit
# check is skipped, with the reason, when this machine cannot start 32-bit
# programs at all (a kernel booted with its IA-32 emulation off refuses the
# loader with "Exec format error"). Any other failure, and every failure of
# the 64-bit Wine, fails the check: that Wine is part of every machine.
need_wine() {
  [ -x "$WINE_LOADER" ] ||
    fail "the $WINE_ARCH-bit Wine ($WINE_LOADER) is not installed (scripts/bootstrap installs it)"
  local out status=0
  out="$(wine --version 2>&1)" || status=$?
  [ $status -eq 0 ] && return 0
  if [ "$WINE_ARCH" = 32 ] && printf '%s' "$out" | grep -q 'Exec format error'; then
    skip "this machine cannot run 32-bit programs (the kernel's IA-32 emulation is off), so the 32-bit Wine cannot start: $out"
  fi
  fail "the $WINE_ARCH-bit Wine does not start: $out"
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

# need_built FILE...: the files a check under Wine needs have been built.
# Missing ones fail the check: scripts/test builds both Windows builds.
need_built() {
  local f
  for f in "$@"; do
    [ -e "$f" ] || fail "$f is not built (cmake --preset $WINE_PRESET && cmake --build --preset $WINE_PRESET)"
  done
}

# wine_env DIR: the settings for a quiet, self-contained Wine of the chosen
# width in the prefix DIR: no debug channels, no Mono or Gecko installers, no
# desktop integration, no session bus.
wine_env() {
  export WINEPREFIX="$1"
  export WINEARCH="win$WINE_ARCH"
  export WINELOADER="$WINE_LOADER"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export DBUS_SESSION_BUS_ADDRESS=disabled:
  # Unix file names in UTF-8; Windows' ANSI code page stays 1252 either way.
  export LANG=C.UTF-8
  # CI may run without a home folder; Wine wants one.
  if [ -z "${HOME:-}" ] || [ ! -d "$HOME" ]; then export HOME="$TEST_TMP"; fi
  unset WINESERVER
}

# fresh_wine_prefix DIR: a new prefix of the chosen width at DIR, initialised
# and settled (needs a display: call start_display first). The prefix's
# wineserver is stopped at exit.
fresh_wine_prefix() {
  need_wine
  rm -rf "$1"
  mkdir -p "$(dirname "$1")"
  wine_env "$1"
  # At exit: stop the prefix's server and wait until it has gone, so that
  # nothing of it lingers when the folder is removed.
  at_exit "WINEPREFIX='$1' wineserver -k 2>/dev/null; WINEPREFIX='$1' timeout 30 wineserver -w 2>/dev/null"
  say "Creating a fresh $WINE_ARCH-bit Wine prefix in $1 ..."
  local start=$SECONDS
  local log="$1.wineboot.log"
  if ! wine_limited 300 wineboot --init >"$log" 2>&1; then
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
  wine_limited "$limit" "$@" >"$out" 2>&1 </dev/null || status=$?
  timeout 60 wineserver -w || true
  return $status
}

# lay_conformance_link DRIVE: what the conformance program's "links" section
# expects in the drive folder DRIVE (the sandbox's c/, a prefix's drive_c):
# the folder conftarget holding inside.txt, and the link conflink to it.
lay_conformance_link() {
  mkdir -p "$1/conftarget"
  printf 'inside\r\n' >"$1/conftarget/inside.txt"
  ln -s conftarget "$1/conflink"
}
