#!/usr/bin/env bash
# One default installation of the host-built setup under valgrind: no invalid
# access, no use of uninitialised memory and no leak (memcheck's exit code).
set -uo pipefail
setup=$1 dist=$2
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 77; }
root=$(mktemp -d "${TMPDIR:-/tmp}/valgrind-setup.XXXXXX")
trap 'rm -rf "$root" "$root".*' EXIT
mkdir -p "$root/c/SETUP" && cp "$dist"/data1.qv "$dist"/Trust.db "$dist"/UninstallTNM.exe "$root/c/SETUP/"
echo 'auto yes' >"$root.script"
WINHOST_ROOT=$root WINHOST_SCRIPT=$root.script WINHOST_TRANSCRIPT=$root.jsonl \
  valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  "$setup" </dev/null || exit 1
grep -q '"caption":"Installation Complete"' "$root.jsonl" || { echo "the installation did not complete" >&2; exit 1; }
[ -f "$root/c/Program Files/Kelvorind/TNM Verifier/deinst.lst" ] || { echo "no deinst.lst" >&2; exit 1; }
echo "valgrind: a default installation ran clean"
