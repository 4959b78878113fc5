#!/usr/bin/env bash
# Runs the Windows build's conformance program under Wine, in a fresh
# prefix on a private virtual display: the platform checks must all pass on
# real Win32 too.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

exe="$WINE_BIN/conformance.exe"
need_built "$exe"

fresh_dir conformance-wine
work="$WORK"
start_display
fresh_wine_prefix "$work/prefix"
lay_conformance_link "$work/prefix/drive_c"

out="$work/output.txt"
status=0
run_wine 600 "$out" "$exe" 'C:\conftest' || status=$?
say "--- conformance.exe under Wine (exit status $status) ---"
cat "$out"
say "---"

[ $status -ne 124 ] || fail "conformance.exe did not finish within the time limit"
summary="$(grep -E '^conformance: [0-9]+ passed, [0-9]+ failed' "$out" | tail -n 1 | tr -d '\r' || true)"
[ -n "$summary" ] || fail "conformance.exe printed no summary"
[[ "$summary" =~ ^conformance:\ ([0-9]+)\ passed,\ 0\ failed$ ]] || fail "$summary"
[ "${BASH_REMATCH[1]}" -gt 0 ] || fail "no checks ran"
[ $status -eq 0 ] || fail "conformance.exe exited with status $status"
say "PASS: $summary"
