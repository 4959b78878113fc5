#!/usr/bin/env bash
# scripts/dist, the vendor's packer: product folders that the setup would
# refuse, or that lack the files its shortcuts and verb point at, are refused
# before anything is written, each with its reason; --help prints to stdout;
# the example product gives a complete folder whose archive holds exactly the
# product's files and empty folders, deflated or stored, with correct CRCs,
# and the counts it announces are those it packs.
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

# Names that Windows or the setup would take for something else: each member
# is named with its reason.
mkdir -p "$WORK/names/docs" "$WORK/names/Trust.db" "$WORK/names/docs /x"
for f in qenvo.exe ReadMe.txt qenvo.hlp NUL.txt docs/aux.c docs/Com1 deinst.LST Trust.db/x.txt \
  "notes." "docs /x/y.txt" "$(printf 'p%.0s' {1..216}).txt"; do
  echo x >"$WORK/names/$f"
done
refused names 'refused: NUL.txt has a part (NUL.txt) that names the device NUL'
for want in 'docs/aux.c has a part (aux.c) that names the device AUX' \
  'docs/Com1 has a part (Com1) that names the device COM1' \
  "deinst.LST is the setup's own deinst.LST at the top of the install folder" \
  "Trust.db/x.txt is the setup's own Trust.db at the top" \
  "notes. has a part that ends in a dot ('notes.')" \
  "docs /x/y.txt has a part that ends in a blank ('docs ')" \
  'ppp.txt would have a path of 260 characters below the default install folder'; do
  grep -qF -- "$want" "$WORK/names.err" || bad "names: no '$want' in: $(cat "$WORK/names.err")"
done
! grep -qE 'refused: (qenvo.exe|ReadMe.txt|qenvo.hlp) ' "$WORK/names.err" || bad "names: a plain name was refused"

# The packer's name check over the table of names that the host tests hold
# the extractor to (tests/data/member_names.txt): the two agree on every name
# the table calls ok or refused, and the packer refuses those it marks packer.
python3 - "$dist" "$SOURCE_DIR/tests/data/member_names.txt" >"$WORK/table.out" 2>&1 <<'EOF' ||
import importlib.machinery, importlib.util, re, sys
loader = importlib.machinery.SourceFileLoader("dist", sys.argv[1])
dist = importlib.util.module_from_spec(importlib.util.spec_from_loader("dist", loader))
loader.exec_module(dist)
counts, wrong = {}, []
for number, line in enumerate(open(sys.argv[2], encoding="ascii").read().split("\n"), 1):
    if not line or line.startswith("#"):
        continue
    verdict, rest = line.split(" ", 1)
    name = re.sub(r"\\(x[0-9a-fA-F]{2}|\\)",
                  lambda m: "\\" if m.group(1) == "\\" else chr(int(m.group(1)[1:], 16)), rest.lstrip(" "))
    assert verdict in ("ok", "refused", "packer"), (number, verdict)
    counts[verdict] = counts.get(verdict, 0) + 1
    why = dist.name_problem(name)
    if (why is None) != (verdict == "ok"):
        wrong.append("line %d: %r is %s in the table, the packer says %s" % (number, name, verdict, why or "ok"))
print("\n".join(wrong) or "names per verdict: %s" % counts)
sys.exit(1 if wrong or min(counts.get(v, 0) for v in ("ok", "refused", "packer")) == 0 else 0)
EOF
  bad "the packer disagrees with the table of member names: $(cat "$WORK/table.out")"

# A product without the files that the setup's shortcuts and verb point at.
mkdir -p "$WORK/nolinks/docs"
echo x >"$WORK/nolinks/qenvo.exe"
echo x >"$WORK/nolinks/docs/ReadMe.txt"
refused nolinks 'has no ReadMe.txt at its top: setup.exe.s shortcuts'
grep -q 'has no qenvo.hlp at its top' "$WORK/nolinks.err" || bad "nolinks: qenvo.hlp is not named"
grep -q 'has no qenvo.exe' "$WORK/nolinks.err" && bad "nolinks: qenvo.exe is there, yet named"

# --help: the usage and what the packer does, on stdout.
status=0
"$dist" --help >"$WORK/help.out" 2>"$WORK/help.err" || status=$?
[ $status -eq 0 ] || bad "--help exits with $status"
head -1 "$WORK/help.out" | grep -q '^usage: scripts/dist PRODUCT_DIR' || bad "--help prints no usage on stdout"
grep -q 'qenvo.exe, ReadMe.txt and qenvo.hlp' "$WORK/help.out" || bad "--help does not name the linked files"
[ ! -s "$WORK/help.err" ] || bad "--help wrote to stderr: $(cat "$WORK/help.err")"

# The example product with two empty folders, when both builds are there to
# pack and check it: the counts announced are the counts packed.
if [ -f "$WIN_BIN/setup.exe" ] && [ -x "$HOST_BIN/extract" ]; then
  out="$WORK/shipped"
  product="$WORK/product"
  cp -r "$SOURCE_DIR/example/product" "$product"
  mkdir -p "$product/Plugins" "$product/Data/Cache"
  "$dist" "$product" "$out" >"$WORK/example.out" 2>&1 ||
    bad "the example product was not packed: $(cat "$WORK/example.out")"
  grep -q 'unpack byte for byte' "$WORK/example.out" || bad "the packer did not report its check"
  grep -qF 'Packing 6 members (4 files, 2 empty folders)' "$WORK/example.out" ||
    bad "the packer announced other counts: $(cat "$WORK/example.out")"
  [ "$(grep -o 'Packing [0-9]*/[0-9]*' "$WORK/example.out" | tail -1)" = "Packing 6/6" ] ||
    bad "the progress does not end at 6/6: $(cat "$WORK/example.out")"
  grep -qF 'and the 2 empty folders with them' "$WORK/example.out" || bad "the check does not count the empty folders"
  for f in setup.exe data1.qv Trust.db UninstallTNM.exe; do
    [ -s "$out/$f" ] || bad "$f is missing from the folder"
  done
  cmp -s "$out/setup.exe" "$WIN_BIN/../dist/setup.exe" || bad "setup.exe is not the build's shipped copy"
  (cd "$product" && { find . -type f; find . -type d -empty | sed 's|$|/|'; } | sed 's|^\./||' | sort) >"$WORK/want.txt"
  python3 - "$out/data1.qv" "$WORK/want.txt" <<'EOF' || bad "data1.qv does not hold the product as it should"
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = sorted(i.filename for i in z.infolist())
want = sorted(open(sys.argv[2]).read().split())
assert names == want, (names, want)
assert all(i.compress_type in (0, 8) and not i.extra for i in z.infolist())
assert z.testzip() is None
EOF
else
  say "the Windows or host build is missing: only the refusals were checked"
fi

[ $errors -eq 0 ] || fail "$errors packer check(s) failed"
say "PASS: the packer refuses unsafe products and products without their linked files, agrees with the extractor on the table of member names, and packs the example product"
