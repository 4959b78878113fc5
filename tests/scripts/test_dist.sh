#!/usr/bin/env bash
# scripts/dist, the vendor's packer: product folders that the setup would
# refuse are refused before anything is written, each with its reason; the
# example product gives a complete folder whose archive holds exactly the
# product's files, deflated or stored, with correct CRCs.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

dist="$SOURCE_DIR/scripts/dist"
fresh_dir dist
errors=0
bad() {
  printf 'FAIL: %s\n' "$*" >&2
  errors=$((errors + 1))
}

# refused CASE PATTERN: the packer on $WORK/CASE fails, names PATTERN on
# stderr and writes no output folder.
refused() {
  local out="$WORK/out-$1" status=0
  "$dist" "$WORK/$1" "$out" >"$WORK/$1.out" 2>"$WORK/$1.err" || status=$?
  [ $status -ne 0 ] || bad "$1: the packer accepted it"
  grep -q -- "$2" "$WORK/$1.err" || bad "$1: no '$2' in: $(cat "$WORK/$1.err")"
  grep -q 'nothing was written' "$WORK/$1.err" || bad "$1: does not say that nothing was written"
  [ ! -e "$out" ] || bad "$1: wrote $out"
}

mkdir -p "$WORK/empty/only/folders"
refused empty "holds no files"

mkdir -p "$WORK/backslash"
echo x >"$WORK/backslash/ok.txt"
echo x >"$WORK/backslash/a\\..\\..\\x.txt"
refused backslash 'refused: a\\\.\.\\\.\.\\x.txt holds a backslash'

mkdir -p "$WORK/dots/docs/..."
echo x >"$WORK/dots/docs/.../x.txt"
refused dots 'refused: docs/\.\.\./x.txt has a part made only of dots'

mkdir -p "$WORK/drive"
echo x >"$WORK/drive/C:evil.txt"
refused drive 'refused: C:evil.txt carries a drive'

mkdir -p "$WORK/case/Docs" "$WORK/case/docs"
echo x >"$WORK/case/Docs/a.txt"
echo y >"$WORK/case/docs/b.txt"
refused case 'refused: docs/b.txt differs from Docs only in case'

part="$(printf 'd%.0s' {1..100})"
mkdir -p "$WORK/long/$part/$part"
echo x >"$WORK/long/$part/$part/$(printf 'f%.0s' {1..60}).txt"
refused long 'is 266 bytes long; the setup reads at most 260'

# The example product, when both builds are there to pack and check it.
if [ -f "$WIN_BIN/setup.exe" ] && [ -x "$HOST_BIN/extract" ]; then
  out="$WORK/shipped"
  "$dist" "$SOURCE_DIR/example/product" "$out" >"$WORK/example.out" 2>&1 ||
    bad "the example product was not packed: $(cat "$WORK/example.out")"
  grep -q 'unpack byte for byte' "$WORK/example.out" || bad "the packer did not report its check"
  for f in setup.exe data1.qv Trust.db UninstallTNM.exe; do
    [ -s "$out/$f" ] || bad "$f is missing from the folder"
  done
  cmp -s "$out/setup.exe" "$WIN_BIN/../dist/setup.exe" || bad "setup.exe is not the build's shipped copy"
  (cd "$SOURCE_DIR/example/product" && find . -type f | sed 's|^\./||' | sort) >"$WORK/want.txt"
  python3 - "$out/data1.qv" "$WORK/want.txt" <<'EOF' || bad "data1.qv does not hold the product as it should"
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = sorted(i.filename for i in z.infolist())
want = open(sys.argv[2]).read().split()
assert names == want, (names, want)
assert all(i.compress_type in (0, 8) and not i.extra for i in z.infolist())
assert z.testzip() is None
EOF
else
  say "the Windows or host build is missing: only the refusals were checked"
fi

[ $errors -eq 0 ] || fail "$errors packer check(s) failed"
say "PASS: the packer refuses unsafe products and packs the example product"
