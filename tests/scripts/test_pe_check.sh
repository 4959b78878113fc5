#!/usr/bin/env bash
# Checks the built setup.exe's PE headers and imports: a 32-bit GUI program
# for subsystem 4.0, runtimes linked in, only system DLLs imported, every
# imported function on the allow-list pe_imports_setup.txt, and the common
# controls' initialisation imported from COMCTL32 by ordinal 17. The shipped
# copy in dist/ is at most 64 KB and stripped.
set -euo pipefail
here="$(dirname "$0")"
source "$here/lib.sh"

exe="$WIN_BIN/setup.exe"
[ -f "$exe" ] || skip "$exe is not built (cmake --preset windows && cmake --build --preset windows)"
source "$here/pe_lib.sh"

fresh_dir pe-check
dump="$WORK/objdump.txt"
$objdump -p "$exe" >"$dump"
pe_headers "$dump"

# Imported DLLs, against the system DLLs a Windows 95 machine has.
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll comctl32.dll comdlg32.dll ole32.dll"
allowed+=" oleaut32.dll shell32.dll version.dll msvcrt.dll "
dlls="$(awk '/DLL Name:/ { print $3 }' "$dump")"
[ -n "$dlls" ] || pe_bad "no imports found"
for dll in $dlls; do
  lower="${dll,,}"
  case "$lower" in
    libgcc* | libstdc++* | libwinpthread*)
      pe_bad "imports the runtime DLL $dll (runtimes must be linked statically)"
      continue
      ;;
  esac
  [[ "$allowed" == *" $lower "* ]] || pe_bad "imports $dll, which is not a system DLL"
done

# The COMCTL32 imports: "<hint/ordinal> <name>" lines; by ordinal they read
# "80000011  17  <none>".
comctl="$(awk '/DLL Name:/ { in_dll = (tolower($3) == "comctl32.dll"); next }
               /^[ \t]*$/ { in_dll = 0 }
               in_dll && NF >= 2 { print }' "$dump")"
[ -n "$comctl" ] || pe_bad "COMCTL32.dll is not imported"
if ! awk 'NF >= 2 && $(NF-1) == "17" && $NF == "<none>" { found = 1 } END { exit !found }' <<<"$comctl"; then
  pe_bad "COMCTL32 ordinal 17 is not imported by ordinal"
fi
if grep -q 'InitCommonControls' <<<"$comctl"; then
  pe_bad "InitCommonControls is imported by name"
fi

pe_function_list "$dump" "$here/pe_imports_setup.txt"
pe_shipped "$WIN_DIST/setup.exe" 65536
# The shipped copy is the build's, stripped: the same imports.
$objdump -p "$WIN_DIST/setup.exe" >"$WORK/dist.txt" 2>/dev/null || true
[ "$(pe_imports "$WORK/dist.txt")" = "$(pe_imports "$dump")" ] ||
  pe_bad "dist/setup.exe does not import what bin/setup.exe imports"

say "setup.exe imports: $(tr '\n' ' ' <<<"$dlls")"
[ $PE_ERRORS -eq 0 ] || fail "$PE_ERRORS PE check(s) failed"
say "PASS: setup.exe is a 32-bit GUI PE for subsystem 4.0 importing only listed functions of system DLLs"
