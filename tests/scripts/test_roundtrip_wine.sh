#!/usr/bin/env bash
# The product's round trip under Wine, with the Windows build's distribution
# folder (build-win/dist): setup.exe installs with the defaults, pressed
# through by the test robot; then the uninstaller is started with exactly the
# UninstallString that the setup registered, as Add/Remove Programs starts
# it, and confirmed. Afterwards drive C: and the registry must be as before
# the installation, except for what the install log never holds: the
# uninstaller's own copy in the Windows folder, the folders above the install
# folder, and HKEY_CLASSES_ROOT\*\shell when the verb had to make it.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

DIST="$WINE_BIN/../dist"
ROBOT="$WINE_BIN/robot.exe"
need_built "$DIST/setup.exe" "$DIST/data1.qv" "$DIST/Trust.db" "$DIST/UninstallTNM.exe" "$ROBOT"

CAPTION="TolvaMarked Verifier 1.2 - Setup "
UCAPTION="TolvaMarked Verifier - Uninstall"
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TNM Verifier'
INSTALL_DIR="Program Files/Kelvorind/TNM Verifier"

fresh_dir roundtrip-wine
start_display
PREFIX="$WORK/prefix"
fresh_wine_prefix "$PREFIX"
# The shell folders as a user of Windows has them, on drive C: (Wine links
# the desktop and the documents to the Unix home folder).
for d in "$PREFIX/drive_c/users/$(id -un)"/*; do
  if [ -L "$d" ]; then
    rm "$d"
    mkdir "$d"
  fi
done
mkdir -p "$PREFIX/drive_c/SETUP"
cp "$DIST/setup.exe" "$DIST/data1.qv" "$DIST/Trust.db" "$DIST/UninstallTNM.exe" "$PREFIX/drive_c/SETUP/"

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# robot NAME: runs the robot on $WORK/NAME.robot; fails with its account
# when a step failed.
# Whatever the programs left running (the Explorer window that the setup
# opens) is stopped with the prefix's server afterwards.
robot() {
  local status=0
  wine_limited 180 "$ROBOT" "$(winpath "$WORK/$1.robot")" "$(winpath "$WORK/$1.jsonl")" \
    >"$WORK/$1.out" 2>&1 </dev/null || status=$?
  wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w || true
  if [ $status -ne 0 ]; then
    cat "$WORK/$1.out" >&2
    grep '"event":"fail"' "$WORK/$1.jsonl" >&2 || true
    fail "$1: the robot stopped (status $status)"
  fi
}

# snapshot NAME: every path of drive C: but Wine's own scratch folders, and
# the registry trees that the product touches, exported by Wine's reg (one
# batch file for the three), as paragraphs of one key each.
REG_KEYS=('HKCU\Software' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 'HKCR\*')
snapshot() {
  (cd "$PREFIX/drive_c" && find . -path './windows/temp' -prune -o -path './users/*/Temp' -prune \
    -o -path './users/*/AppData/Local/Temp' -prune -o -print | sort) >"$WORK/$1.files"
  local n
  for n in 0 1 2; do
    printf 'reg export "%s" "%s" /y\r\n' "${REG_KEYS[$n]}" "$(winpath "$WORK/$1.$n.reg")"
  done >"$WORK/$1.bat"
  run_wine 120 "$WORK/$1.reg.out" cmd /c "$(winpath "$WORK/$1.bat")" || true
  : >"$WORK/$1.reg"
  for n in 0 1 2; do
    [ -f "$WORK/$1.$n.reg" ] || fail "reg export ${REG_KEYS[$n]} failed: $(cat "$WORK/$1.reg.out")"
    # UTF-16 with CR LF; keys and values as text, the keys' time stamps aside.
    iconv -f UTF-16 -t UTF-8 "$WORK/$1.$n.reg" | tr -d '\r' | grep -v '^#time=' >>"$WORK/$1.reg"
    printf '\n' >>"$WORK/$1.reg"
  done
}

# drop_keys FILE KEY...: the exported keys of FILE without the named ones.
drop_keys() {
  local file=$1
  shift
  awk -v drop="$(printf '%s\n' "$@")" '
    BEGIN { RS = ""; n = split(drop, d, "\n"); for (i = 1; i <= n; i++) skip[d[i]] = 1 }
    { split($0, lines, "\n"); if (!(lines[1] in skip)) print $0 "\n" }' "$file"
}

snapshot before

say "Installing with the defaults ..."
cat >"$WORK/install.robot" <<EOF
timeout 60
start C:\\SETUP C:\\SETUP\\setup.exe
window "$CAPTION" 1000 Edit
press 1
window "$CAPTION" 1006 Button
press 1
window "$CAPTION" 1006 Static
press 1
message "Installation Complete" "The installation procedure has completed. Please read ReadMe.txt before running the program." ok
answer ok
exit 0
EOF
robot install
[ -f "$PREFIX/drive_c/$INSTALL_DIR/deinst.lst" ] || fail "the setup left no install log"
[ -f "$PREFIX/drive_c/windows/UninstallTNM.exe" ] || fail "the uninstaller was not copied into the Windows folder"

# The command line the system's program-removal entry starts.
run_wine 60 "$WORK/query.out" reg query "$UNINSTALL_KEY" /v UninstallString ||
  fail "no uninstall entry: $(cat "$WORK/query.out")"
command="$(tr -d '\r' <"$WORK/query.out" | sed -n 's/^.*UninstallString[[:space:]]*REG_SZ[[:space:]]*//p')"
expected='"C:\windows\UninstallTNM.exe" c:\Program Files\Kelvorind\TNM Verifier\deinst.lst'
[ "$command" = "$expected" ] || fail "UninstallString is [$command], expected [$expected]"

say "Uninstalling through [$command] ..."
cat >"$WORK/uninstall.robot" <<EOF
timeout 60
start C:\\windows "${command//\"/%q}"
message "$UCAPTION" "Do you want to remove TolvaMarked Verifier and all of its components from this computer?" yesno
answer yes
message "$UCAPTION" "TolvaMarked Verifier has been removed from your computer." ok
answer ok
exit 0
EOF
robot uninstall

snapshot after
# What stays: the uninstaller's copy (it was running) and the folders above
# the install folder; the shell key only where the machine had none.
grep -vx -e './windows/UninstallTNM.exe' -e './Program Files/Kelvorind' "$WORK/after.files" >"$WORK/after.kept" || true
if ! diff -u "$WORK/before.files" "$WORK/after.kept" >"$WORK/files.diff"; then
  cat "$WORK/files.diff" >&2
  fail "drive C: is not as before the installation"
fi
grep -qx './windows/UninstallTNM.exe' "$WORK/after.files" || fail "the uninstaller's copy has gone"
# Explorer keeps its own settings; the Explorer window that the setup opens
# writes them on its first start.
drop_keys "$WORK/after.reg" '[HKEY_CLASSES_ROOT\*\shell]' \
  '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced]' >"$WORK/after.reg.kept"
drop_keys "$WORK/before.reg" '[HKEY_CLASSES_ROOT\*\shell]' \
  '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced]' >"$WORK/before.reg.kept"
if ! diff -u "$WORK/before.reg.kept" "$WORK/after.reg.kept" >"$WORK/reg.diff"; then
  cat "$WORK/reg.diff" >&2
  fail "the registry is not as before the installation"
fi
say "PASS: installed with setup.exe and uninstalled through the registered command; the machine is as before"
