#!/usr/bin/env bash
# Runs the host build's conformance program against our Win32 layer in a
# fresh sandbox: the same checks that pass under Wine must pass here.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

exe="$HOST_BIN/conformance"
[ -x "$exe" ] || fail "$exe is not built (cmake --preset host && cmake --build --preset host)"

fresh_dir conformance-host
work="$WORK"
mkdir -p "$work/root/c"
lay_conformance_link "$work/root/c"
# The checks need no one to answer: an empty agent script makes any page or
# message box that would wait for an answer end the run (status 3).
: >"$work/agent.txt"
unset WINHOST_FAULTS
out="$work/output.txt"
status=0
WINHOST_ROOT="$work/root" \
  WINHOST_CMDLINE='C:\conftest\conformance.exe C:\conftest' \
  WINHOST_SCRIPT="$work/agent.txt" \
  WINHOST_TRANSCRIPT="$work/transcript.jsonl" \
  timeout --kill-after=10 300 "$exe" >"$out" 2>&1 </dev/null || status=$?
say "--- conformance on the host (exit status $status) ---"
cat "$out"
say "---"

[ $status -ne 124 ] || fail "conformance did not finish within the time limit"
summary="$(grep -E '^conformance: [0-9]+ passed, [0-9]+ failed' "$out" | tail -n 1 || true)"
[ -n "$summary" ] || fail "conformance printed no summary"
[[ "$summary" =~ ^conformance:\ ([0-9]+)\ passed,\ 0\ failed$ ]] || fail "$summary"
[ "${BASH_REMATCH[1]}" -gt 0 ] || fail "no checks ran"
[ $status -eq 0 ] || fail "conformance exited with status $status"
say "PASS: $summary"
