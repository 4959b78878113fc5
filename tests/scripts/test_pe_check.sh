#!/usr/bin/env bash
# Checks the built setup.exe's PE headers and imports: a 32-bit GUI program
# for subsystem 4.0, runtimes linked in, only system DLLs imported, and the
# common controls' initialisation imported from COMCTL32 by ordinal 17.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

exe="$WIN_BIN/setup.exe"
[ -f "$exe" ] || skip "$exe is not built (cmake --preset windows && cmake --build --preset windows)"
objdump=i686-w64-mingw32-objdump
command -v $objdump >/dev/null || fail "$objdump is not installed"

fresh_dir pe-check
dump="$WORK/objdump.txt"
$objdump -p "$exe" >"$dump"
errors=0
bad() {
  printf 'FAIL: %s\n' "$*" >&2
  errors=$((errors + 1))
}

# header FIELD: the value of a "Field<tabs>value" line of the optional header.
header() { awk -v f="$1" '$1 == f { print $2; exit }' "$dump"; }

grep -q 'file format pei-i386$' "$dump" || bad "not a 32-bit PE (pei-i386)"
[ "$(header Magic)" = "010b" ] || bad "optional header magic is $(header Magic), expected 010b (PE32)"
[ "$(header Subsystem)" = "00000002" ] || bad "subsystem is $(header Subsystem), expected 00000002 (Windows GUI)"
[ "$(header MajorSubsystemVersion)" = "4" ] || bad "MajorSubsystemVersion is $(header MajorSubsystemVersion), expected 4"
[ "$(header MinorSubsystemVersion)" = "0" ] || bad "MinorSubsystemVersion is $(header MinorSubsystemVersion), expected 0"

# Imported DLLs, against the system DLLs a Windows 95 machine has.
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll comctl32.dll comdlg32.dll ole32.dll"
allowed+=" oleaut32.dll shell32.dll version.dll msvcrt.dll "
dlls="$(awk '/DLL Name:/ { print $3 }' "$dump")"
[ -n "$dlls" ] || bad "no imports found"
for dll in $dlls; do
  lower="${dll,,}"
  case "$lower" in
    libgcc* | libstdc++* | libwinpthread*)
      bad "imports the runtime DLL $dll (runtimes must be linked statically)"
      continue
      ;;
  esac
  [[ "$allowed" == *" $lower "* ]] || bad "imports $dll, which is not a system DLL"
done

# The COMCTL32 imports: "<hint/ordinal> <name>" lines; by ordinal they read
# "80000011  17  <none>".
comctl="$(awk '/DLL Name:/ { in_dll = (tolower($3) == "comctl32.dll"); next }
               /^[ \t]*$/ { in_dll = 0 }
               in_dll && NF >= 2 { print }' "$dump")"
[ -n "$comctl" ] || bad "COMCTL32.dll is not imported"
if ! awk 'NF >= 2 && $(NF-1) == "17" && $NF == "<none>" { found = 1 } END { exit !found }' <<<"$comctl"; then
  bad "COMCTL32 ordinal 17 is not imported by ordinal"
fi
if grep -q 'InitCommonControls' <<<"$comctl"; then
  bad "InitCommonControls is imported by name"
fi

say "setup.exe imports: $(tr '\n' ' ' <<<"$dlls")"
say "COMCTL32 imports:"
say "$comctl"
[ $errors -eq 0 ] || fail "$errors PE check(s) failed"
say "PASS: setup.exe is a 32-bit GUI PE for subsystem 4.0 importing only system DLLs"
