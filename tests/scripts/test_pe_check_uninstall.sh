#!/usr/bin/env bash
# Checks the built UninstallTNM.exe's PE headers and imports as the setup's
# are checked: a 32-bit GUI program for subsystem 4.0 with the runtimes
# linked in, importing only system DLLs and only the functions on the
# allow-list pe_imports_uninstall.txt. The shipped copy in dist/ is at most
# 32 KB and stripped.
set -euo pipefail
here="$(dirname "$0")"
source "$here/lib.sh"

exe="$WIN_BIN/UninstallTNM.exe"
[ -f "$exe" ] || skip "$exe is not built (cmake --preset windows && cmake --build --preset windows)"
source "$here/pe_lib.sh"

fresh_dir pe-check-uninstall
dump="$WORK/objdump.txt"
$objdump -p "$exe" >"$dump"
pe_headers "$dump"
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll comctl32.dll ole32.dll shell32.dll msvcrt.dll "
dlls="$(awk '/DLL Name:/ { print $3 }' "$dump")"
[ -n "$dlls" ] || pe_bad "no imports found"
for dll in $dlls; do
  [[ "$allowed" == *" ${dll,,} "* ]] || pe_bad "imports $dll, which is not a system DLL"
done

pe_function_list "$dump" "$here/pe_imports_uninstall.txt"
pe_shipped "$WIN_DIST/UninstallTNM.exe" 32768
$objdump -p "$WIN_DIST/UninstallTNM.exe" >"$WORK/dist.txt" 2>/dev/null || true
[ "$(pe_imports "$WORK/dist.txt")" = "$(pe_imports "$dump")" ] ||
  pe_bad "dist/UninstallTNM.exe does not import what bin/UninstallTNM.exe imports"

[ $PE_ERRORS -eq 0 ] || fail "$PE_ERRORS PE check(s) failed"
say "PASS: UninstallTNM.exe is a 32-bit GUI PE for subsystem 4.0 importing only listed functions of $(tr '\n' ' ' <<<"$dlls")"
