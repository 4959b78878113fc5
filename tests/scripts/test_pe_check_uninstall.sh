#!/usr/bin/env bash
# Checks the built UninstallTNM.exe's PE headers and imports as the setup's
# are checked: a 32-bit GUI program for subsystem 4.0 with the runtimes
# linked in, importing only system DLLs.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

exe="$WIN_BIN/UninstallTNM.exe"
[ -f "$exe" ] || skip "$exe is not built (cmake --preset windows && cmake --build --preset windows)"
objdump=i686-w64-mingw32-objdump
command -v $objdump >/dev/null || fail "$objdump is not installed"

fresh_dir pe-check-uninstall
dump="$WORK/objdump.txt"
$objdump -p "$exe" >"$dump"
header() { awk -v f="$1" '$1 == f { print $2; exit }' "$dump"; }

grep -q 'file format pei-i386$' "$dump" || fail "not a 32-bit PE (pei-i386)"
[ "$(header Magic)" = "010b" ] || fail "optional header magic is $(header Magic), expected 010b (PE32)"
[ "$(header Subsystem)" = "00000002" ] || fail "subsystem is $(header Subsystem), expected 00000002 (Windows GUI)"
[ "$(header MajorSubsystemVersion)" = "4" ] || fail "MajorSubsystemVersion is $(header MajorSubsystemVersion), expected 4"
[ "$(header MinorSubsystemVersion)" = "0" ] || fail "MinorSubsystemVersion is $(header MinorSubsystemVersion), expected 0"
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll comctl32.dll ole32.dll shell32.dll msvcrt.dll "
dlls="$(awk '/DLL Name:/ { print $3 }' "$dump")"
[ -n "$dlls" ] || fail "no imports found"
for dll in $dlls; do
  [[ "$allowed" == *" ${dll,,} "* ]] || fail "imports $dll, which is not a system DLL"
done
say "PASS: UninstallTNM.exe is a 32-bit GUI PE for subsystem 4.0 importing only $(tr '\n' ' ' <<<"$dlls")"
