# Shared checks of a built Windows program for the PE checks. Sourced after
# lib.sh, not run. Each check reports through pe_bad and counts the failures
# in PE_ERRORS, so that one run names every fault at once.

objdump=i686-w64-mingw32-objdump
command -v $objdump >/dev/null || fail "$objdump is not installed"
PE_ERRORS=0
pe_bad() {
  printf 'FAIL: %s\n' "$*" >&2
  PE_ERRORS=$((PE_ERRORS + 1))
}

# The shipped folder beside the build's bin/.
: "${WIN_DIST:=$WIN_BIN/../dist}"

# pe_headers DUMP: a 32-bit PE for the Windows GUI subsystem version 4.0.
pe_headers() {
  local dump=$1
  header() { awk -v f="$1" '$1 == f { print $2; exit }' "$dump"; }
  grep -q 'file format pei-i386$' "$dump" || pe_bad "not a 32-bit PE (pei-i386)"
  [ "$(header Magic)" = "010b" ] || pe_bad "optional header magic is $(header Magic), expected 010b (PE32)"
  [ "$(header Subsystem)" = "00000002" ] || pe_bad "subsystem is $(header Subsystem), expected 00000002 (Windows GUI)"
  [ "$(header MajorSubsystemVersion)" = "4" ] || pe_bad "MajorSubsystemVersion is $(header MajorSubsystemVersion), expected 4"
  [ "$(header MinorSubsystemVersion)" = "0" ] || pe_bad "MinorSubsystemVersion is $(header MinorSubsystemVersion), expected 0"
}

# pe_imports DUMP: every imported function as "dll function" (the DLL in
# lower case, an ordinal import as ordinal:N), sorted.
pe_imports() {
  awk '/DLL Name:/ { dll = tolower($3); next }
       /^[ \t]*$/ { dll = "" }
       dll != "" && NF >= 2 && $1 ~ /^[0-9a-f]+$/ {
         print dll, ($NF == "<none>" ? "ordinal:" $(NF-1) : $NF) }' "$1" | sort -u
}

# pe_function_list DUMP LIST: lists every imported function and fails on one
# that LIST (lines "dll function", # comments) does not hold.
pe_function_list() {
  local dump=$1 list=$2 imports known
  [ -f "$list" ] || {
    pe_bad "the allow-list $list is missing"
    return
  }
  imports="$(pe_imports "$dump")"
  known="$(grep -v '^[[:space:]]*\(#\|$\)' "$list" | sort -u)"
  say "Imported functions:"
  sed 's/^/  /' <<<"$imports"
  local fresh gone
  fresh="$(comm -23 <(cat <<<"$imports") <(cat <<<"$known"))"
  gone="$(comm -13 <(cat <<<"$imports") <(cat <<<"$known"))"
  if [ -n "$fresh" ]; then
    while read -r line; do pe_bad "imports $line, which $(basename "$list") does not list"; done <<<"$fresh"
  fi
  if [ -n "$gone" ]; then
    say "Listed in $(basename "$list") but no longer imported (the list may be trimmed):"
    sed 's/^/  /' <<<"$gone"
  fi
}

# pe_shipped FILE MAXBYTES: the shipped copy is at most MAXBYTES long and has
# neither debug sections nor a symbol table.
pe_shipped() {
  local file=$1 max=$2 size sections
  [ -f "$file" ] || {
    pe_bad "$file is not built (the dist target)"
    return
  }
  size=$(stat -c %s "$file")
  [ "$size" -le "$max" ] || pe_bad "$(basename "$file") in dist/ is $size bytes, more than $max"
  sections="$($objdump -h "$file" | awk '$2 ~ /^\.debug/ { print $2 }' | tr '\n' ' ')"
  [ -z "$sections" ] || pe_bad "$(basename "$file") in dist/ carries debug sections: $sections"
  $objdump -t "$file" | grep -q 'no symbols' || pe_bad "$(basename "$file") in dist/ carries a symbol table"
  say "dist/$(basename "$file"): $size bytes (at most $max), no debug sections, no symbols"
}
