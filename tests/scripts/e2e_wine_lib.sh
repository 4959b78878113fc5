# Helpers of the end-to-end runs of setup.exe under Wine (sourced by
# test_e2e_wine.sh after lib.sh): the pristine machine, the distribution
# folder, the robot's scripts of the pages and boxes, and the checks of what
# the setup left on the machine, read through Wine's own tools.

CAPTION="TolvaMarked Verifier 1.2 - Setup "
DEFAULT_DIR='c:\Program Files\Kelvorind\TNM Verifier\'
DIST="$HOST_BIN/../example"
# The uninstaller in the machine's C:\SETUP is the Windows build's own (the
# example folder holds the host build's, for the host runs).
WIN_UNINSTALLER="$WINE_BIN/../dist/UninstallTNM.exe"
PRODUCT="$SOURCE_DIR/example/product"
SHOTS="${SCREENSHOT_DIR:-$HOST_BIN/../screenshots}"
WINE_USER="$(id -un)"
WDESKTOP="C:\\users\\$WINE_USER\\Desktop"
WSTART="C:\\users\\$WINE_USER\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"
WPROGRAMS="$WSTART\\Programs"
SHELL_FOLDERS='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TNM Verifier'
VERB_KEY='HKCR\*\shell\checksig'

# winpath UNIXPATH: the path as Wine's drive Z: shows it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# unixpath PREFIX WINPATH: where a C: path of the prefix lies on disk (the
# case of the path as written; Wine's own folders are matched as they are).
unixpath() {
  local p="${2#[Cc]:}"
  p="${p//\\//}"
  printf '%s/drive_c%s' "$1" "$p"
}

# make_pristine DIR: a fresh prefix, settled and stopped, as a user's
# machine has it: the shell folders are real folders of the prefix (Wine
# links the desktop and the documents to the Unix home folder; a user of
# Windows has them on drive C:).
make_pristine() {
  fresh_wine_prefix "$1"
  local d
  for d in "$1/drive_c/users/$WINE_USER"/*; do
    if [ -L "$d" ]; then
      rm "$d"
      mkdir "$d"
    fi
  done
  # There is no window manager on the virtual display: Wine draws the
  # windows' frames and captions itself, so that the screenshots show them.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 ||
    fail "the X11 driver setting was not written"
  wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w || true
}

# new_machine NAME: PREFIX becomes a copy of the pristine prefix with the
# distribution folder C:\SETUP as a user receives it; its server is stopped
# at exit.
new_machine() {
  PREFIX="$WORK/$1"
  cp -a "$PRISTINE" "$PREFIX"
  wine_env "$PREFIX"
  at_exit "WINEPREFIX='$PREFIX' wineserver -k 2>/dev/null; WINEPREFIX='$PREFIX' timeout 30 wineserver -w 2>/dev/null"
  SETUP_DIR="$PREFIX/drive_c/SETUP"
  mkdir -p "$SETUP_DIR"
  cp "$WINE_BIN/setup.exe" "$DIST/data1.qv" "$DIST/Trust.db" "$WIN_UNINSTALLER" "$SETUP_DIR/"
  SCRIPT="$WORK/$1.robot"
  REPORT="$WORK/$1.jsonl"
  : >"$SCRIPT"
  SHOTS_ON=0
}

# r LINE...: append steps to the robot's script.
r() { printf '%s\n' "$@" >>"$SCRIPT"; }

# shot NAME: a screenshot of what the robot has just found (only where the
# scenario takes screenshots: SHOTS_ON=1).
shot() { [ "$SHOTS_ON" = 0 ] || r "shot $1"; }

# The five controls every page starts with; $1 is the first button's text.
common_controls() {
  r "ctl 1 Button \"$1\"" "enabled 1 1" \
    'ctl 2 Button "&Cancel"' "enabled 2 1" \
    'ctl 3 Button "< &Back"' \
    'ctl #3 Static ""'
}

# page_folder: the folder page with the default folder in its edit box.
page_folder() {
  r "window \"$CAPTION\" 1000 Edit" "count 10"
  common_controls "&Next >"
  r "enabled 3 0" \
    'ctl #5 Static "Welcom to the TolvaMarked Verifier 1.2 setup program. This program will install the TolvaMarked Verifier 1.2 on your computer. Please exit all other programs before continue."' \
    "ctl 1000 Edit \"$DEFAULT_DIR\"" "enabled 1000 1" \
    'ctl #7 Static "Install the TolvaMarked Verifier into the following folder:"' \
    "ctl #8 Static \"You may change the folder by directly typing the folder's full path name in the edit box above. If the folder does not exist, it will be created.\"" \
    'ctl #9 Static "To continue the installation, make sure that the folder for the installed program shown bellow is correct, and then click the %qNext >%q botton.%n%nIf you do not want to install the program, click the %qCancel%q button to exit."'
  shot folder_page
}

# page_options FOLDER DESKTOP STARTMENU: the options page showing FOLDER,
# its boxes ticked (1) or not (0).
page_options() {
  r "window \"$CAPTION\" 1006 Button" "count 15"
  common_controls "&Next >"
  r "enabled 3 1" \
    'ctl #5 Static "This installation program will perform the following: (You may uncheck any of the check boxes if you do not want that option)."' \
    'ctl #6 Static "To continue the installation, click the %qNext >%q botton.%n%nTo go back to the previous installation step, click the %q< Back%q button.%n%nTo abort the installation, click the %qCancel%q button."' \
    'ctl #7 Static "1) Install program files into folder:"' \
    "ctl 1004 Static \"$1\"" \
    'ctl #9 Static "Place a shortcut icon on the Desktop."' \
    'ctl #10 Static "Add a submenu named %qTNM Verifier%q to the Programs Menu."' \
    'ctl #11 Static "Add a menu item to the Start Menu."' \
    'ctl 1006 Button "3)"' "checked 1006 $2" "enabled 1006 1" \
    'ctl 1007 Button "4)"' "checked 1007 $3" "enabled 1007 1" \
    'ctl #14 Static "2)"'
  shot options_page
}

# page_summary FOLDER LINE1 LINE2: the summary page with its two option lines.
page_summary() {
  r "window \"$CAPTION\" 1006 Static" "count 13"
  common_controls "&Finish"
  r "enabled 3 1" \
    'ctl #5 Static "If you click the %q&Finish%q button, the installation program will carry out the following installation actions:"' \
    'ctl #6 Static "To go back to the previous installation step, click the %q< Back%q button.%n%nTo abort the installation, click the %qCancel%q button."' \
    'ctl #7 Static "*  Install all program files into folder:"' \
    "ctl 1004 Static \"$1\"" \
    'ctl #9 Static "Add a submenu named %qTNM Verifier%q to the Programs Menu."' \
    'ctl #10 Static "*"' \
    "ctl 1006 Static \"$2\"" "ctl 1007 Static \"$3\""
  shot summary_page
}

LINE_DESKTOP="*  Place a shortcut icon on the Desktop."
LINE_START="*  Add a menu item to the Start Menu."

# msg NAME CAPTION TEXT BUTTONS ICON ANSWER: a message box, checked, shot and
# answered.
msg() {
  r "message \"$2\" \"$3\" $4" "icon $5"
  shot "$1"
  r "answer $6"
}

msg_complete() {
  msg complete_box "Installation Complete" \
    "The installation procedure has completed. Please read ReadMe.txt before running the program." ok 0 ok
}
msg_rollback() {
  msg rollback_box "Installation Error" \
    "Error installing TolvaMarked Verifier. The installation is not complete. The installation program will try to remove the partially installed files. Some files and directories may not be removed automatically and you should remove them manually." \
    ok 1 ok
}
msg_uninstaller() {
  msg uninstaller_box "Uninstall Setup Error" \
    "Error implimenting uninstallation functions. The program can not be automatically uninstalled.%nDo you want to continue?" \
    yesno 1 "$1"
}
msg_startmenu() {
  msg startmenu_box "Unable to Create Start Menu Entry" \
    "Error creating program entry under the Start Menu. Do you want to continue installation?" yesno 1 "$1"
}
msg_submenu() {
  msg submenu_box "Unable to Create Shortcut" \
    "Error creating %qTNM Verifier%q submenu under the Programs Menu. Do you want to continue installation?" \
    yesno 1 "$1"
}
msg_submenu_links() {
  msg submenu_links_box "Error Create Submenu Entries" \
    "Error creating entries in %qTNM Verifier%q submenu. Do you want to continue installation?" yesno 1 "$1"
}
msg_desktop() {
  msg desktop_box "Unable to Create Shortcut" \
    "Error creating program shortcut icon on the Desktop. Do you want to continue installation?" yesno 1 "$1"
}

# run_robot LIMIT: starts setup.exe (or ROBOT_START: "DIR CMDLINE") through
# the robot on the scenario's script and serves its screenshot requests until
# it ends. Fails with the robot's own account when a step failed, unless
# ROBOT_MAY_FAIL=1; the robot's exit status is left in ROBOT_STATUS.
run_robot() {
  local limit=$1 shotdir="$WORK/shots.$$" status=0
  mkdir -p "$shotdir" "$SHOTS"
  {
    printf 'timeout 30\nshotdir %s\nstart %s\n' "$(winpath "$shotdir")" \
      "${ROBOT_START:-C:\\SETUP C:\\SETUP\\setup.exe}"
    cat "$SCRIPT"
  } >"$SCRIPT.full"
  wine_limited "$limit" "$WINE_BIN/robot.exe" "$(winpath "$SCRIPT.full")" "$(winpath "$REPORT")" \
    >"$REPORT.out" 2>&1 </dev/null &
  local pid=$!
  while kill -0 $pid 2>/dev/null; do
    local req
    for req in "$shotdir"/*.req; do
      [ -e "$req" ] || continue
      local name
      name="$(basename "$req" .req)"
      import -window root "$SHOTS/$name.png" 2>>"$REPORT.out" || say "screenshot $name not taken"
      rm -f "$req"
      : >"$shotdir/$name.done"
    done
    sleep 0.05
  done
  wait $pid || status=$?
  ROBOT_STATUS=$status
  [ "${ROBOT_MAY_FAIL:-0}" = 0 ] || return 0
  if [ $status -ne 0 ]; then
    cat "$REPORT.out" >&2
    grep '"event":"fail"' "$REPORT" >&2 || true
    fail "$SCENARIO: the robot stopped (status $status)"
  fi
}

# ---- Checks of the machine ----

# same FILE EXPECTED: FILE holds exactly the bytes of EXPECTED.
same() {
  [ -f "$1" ] || fail "$SCENARIO: $1 is missing"
  cmp -s "$1" "$2" || fail "$SCENARIO: $1 differs from $2"
}

# check_product INSTALLDIR_UNIX: the archive's members and Trust.db, byte for byte.
check_product() {
  same "$1/ReadMe.txt" "$PRODUCT/ReadMe.txt"
  same "$1/qenvo.exe" "$PRODUCT/qenvo.exe"
  same "$1/qenvo.hlp" "$PRODUCT/qenvo.hlp"
  same "$1/docs/Signatures.txt" "$PRODUCT/docs/Signatures.txt"
}

# expect_log FILE LINE...: FILE is exactly these lines, each ending in CR LF.
expect_log() {
  local file=$1
  shift
  [ -f "$file" ] || fail "$SCENARIO: the install log $file is missing"
  printf '%s\r\n' "$@" >"$file.expected"
  cmp -s "$file" "$file.expected" || {
    diff <(cat -A "$file.expected") <(cat -A "$file") >&2 || true
    fail "$SCENARIO: $file differs from the expected log (- expected, + found)"
  }
}

# log_lines INSTALLDIR DESKTOP STARTMENU TRUST SHELLDESKTOP: the records of a
# complete run, in order (TRUST 1: Trust.db was copied).
log_lines() {
  local d=$1
  LOG=("Name:TolvaMarked Verifier" "File:${d}ReadMe.txt" "File:${d}qenvo.exe" "File:${d}qenvo.hlp"
    "File:${d}docs\\Signatures.txt")
  [ "$4" = 1 ] && LOG+=("File:${d}Trust.db")
  LOG+=('HKLM:Software\microsoft\windows\CurrentVersion\Uninstall\TNM Verifier'
    'HKCR:*\shell\checksig\command' 'HKCR:*\shell\checksig')
  [ "$2" = 1 ] && LOG+=("File:${5:-$WDESKTOP}\\TolvaMarked Verifier.lnk")
  [ "$3" = 1 ] && LOG+=("File:$WSTART\\TolvaMarked Verifier.lnk")
  local m="$WPROGRAMS\\TNM Verifier\\"
  LOG+=("Dire:$m" "File:${m}TolvaMarked Verifier.lnk" "File:${m}ReadMe.lnk" "File:${m}Help.lnk"
    "File:${m}Uninstall.lnk"
    'UKCU:Software\Kelvorind\TNM Verifier\QENVO\TNM Verifier' 'UKCU:Software\Kelvorind\TNM Verifier\QENVO'
    'UKCU:Software\Kelvorind\TNM Verifier')
}

# reg_values KEY: "key|name|value" lines of KEY and its sub-keys, as Wine's
# reg query shows them ("@" for a default value); empty when KEY is absent.
reg_values() {
  wine reg query "$1" /s 2>/dev/null </dev/null | tr -d '\r' | awk '
    /^HKEY_/ { key = $0; next }
    /^    / { line = substr($0, 5); i = index(line, "    "); name = substr(line, 1, i - 1)
              rest = substr(line, i + 4); j = index(rest, "    "); value = substr(rest, j + 4)
              if (name == "(Default)") name = "@"; print key "|" name "|" value }' || true
}

# expect_registry INSTALLDIR UNINSTALLERDIR: the uninstall entry and the verb
# with the values the setup gives them.
expect_registry() {
  local got want
  got="$(reg_values "$UNINSTALL_KEY"; reg_values "$VERB_KEY")"
  want="$(printf '%s\n' \
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier|DisplayName|TolvaMarked Verifier" \
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier|UninstallString|\"$2UninstallTNM.exe\" $1deinst.lst" \
    "HKEY_CLASSES_ROOT\\*\\shell\\checksig|@|&Verify Signature" \
    "HKEY_CLASSES_ROOT\\*\\shell\\checksig\\command|@|\"$1qenvo.exe\" \"%1\"")"
  [ "$got" = "$want" ] || {
    diff <(echo "$want") <(echo "$got") >&2 || true
    fail "$SCENARIO: the registry differs (< expected, > found)"
  }
  REG_FOUND="$got"
}

# expect_verb_only INSTALLDIR: the verb with its values, no uninstall entry.
expect_verb_only() {
  local got want
  got="$(reg_values "$UNINSTALL_KEY"; reg_values "$VERB_KEY")"
  want="$(printf '%s\n' \
    "HKEY_CLASSES_ROOT\\*\\shell\\checksig|@|&Verify Signature" \
    "HKEY_CLASSES_ROOT\\*\\shell\\checksig\\command|@|\"$1qenvo.exe\" \"%1\"")"
  [ "$got" = "$want" ] || {
    diff <(echo "$want") <(echo "$got") >&2 || true
    fail "$SCENARIO: the registry differs (< expected, > found)"
  }
  REG_FOUND="$got"
}

expect_no_registry() {
  local got
  got="$(reg_values "$UNINSTALL_KEY"; reg_values "$VERB_KEY")"
  [ -z "$got" ] || fail "$SCENARIO: registry entries left behind: $got"
}

# lnk_fields FILE: "target|description|arguments" as lnkinfo reads the link.
lnk_fields() {
  lnkinfo "$1" 2>/dev/null | awk -F'\t+: ' '
    /^\tLocal path/ { t = $2 } /^\tDescription/ { d = $2 } /^\tCommand line arguments/ { a = $2 }
    END { print t "|" d "|" a }'
}

# expect_link FILE TARGET DESCRIPTION ARGUMENTS
expect_link() {
  [ -f "$1" ] || fail "$SCENARIO: the link $1 is missing"
  local got
  got="$(lnk_fields "$1")"
  [ "$got" = "$2|$3|$4" ] || fail "$SCENARIO: link $1 reads '$got', expected '$2|$3|$4'"
}

# expect_links INSTALLDIR UNINSTALLERDIR DESKTOP STARTMENU: every link of a
# complete run; the links not chosen are absent.
expect_links() {
  local d=$1 u=$2 sub
  local main="$d""qenvo.exe|TolvaMarked Verifier|"
  sub="$(unixpath "$PREFIX" "$WPROGRAMS")/TNM Verifier"
  local desk start
  desk="$(unixpath "$PREFIX" "$WDESKTOP")/TolvaMarked Verifier.lnk"
  start="$(unixpath "$PREFIX" "$WSTART")/TolvaMarked Verifier.lnk"
  if [ "$3" = 1 ]; then expect_link "$desk" "${main%%|*}" "TolvaMarked Verifier" ""; else
    [ ! -e "$desk" ] || fail "$SCENARIO: a desktop link was made though not chosen"; fi
  if [ "$4" = 1 ]; then expect_link "$start" "${main%%|*}" "TolvaMarked Verifier" ""; else
    [ ! -e "$start" ] || fail "$SCENARIO: a Start-menu link was made though not chosen"; fi
  expect_link "$sub/TolvaMarked Verifier.lnk" "$d""qenvo.exe" "TolvaMarked Verifier" ""
  expect_link "$sub/ReadMe.lnk" "$d""ReadMe.txt" "ReadMe" ""
  expect_link "$sub/Help.lnk" "$d""qenvo.hlp" "Help" ""
  expect_link "$sub/Uninstall.lnk" "$u""UninstallTNM.exe" "Uninstall" "$d""deinst.lst"
}

# expect_explorer: the robot saw the Explorer window on the new submenu.
expect_explorer() {
  grep -q '"event":"appears","line":[0-9]*,"caption":"TNM Verifier"' "$REPORT" ||
    fail "$SCENARIO: no Explorer window on the submenu"
}

# expect_untouched: nothing of the product on the machine (a cancelled run).
expect_untouched() {
  local c="$PREFIX/drive_c"
  [ ! -e "$c/Program Files/Kelvorind" ] || fail "$SCENARIO: the install folder was created"
  [ ! -e "$c/windows/UninstallTNM.exe" ] || fail "$SCENARIO: the uninstaller was copied"
  [ ! -e "$(unixpath "$PREFIX" "$WPROGRAMS")/TNM Verifier" ] || fail "$SCENARIO: the submenu was created"
  [ -z "$(find "$(unixpath "$PREFIX" "$WDESKTOP")" "$(unixpath "$PREFIX" "$WSTART")" -name '*.lnk')" ] ||
    fail "$SCENARIO: links were created"
  expect_no_registry
}

# expect_rolled_back INSTALLDIR_UNIX: what a rollback leaves: the install
# folder and the members' folders (never logged), empty; no log; the
# uninstaller copy in the Windows folder (never logged); no keys, no links,
# no submenu.
expect_rolled_back() {
  [ -d "$1" ] || fail "$SCENARIO: the install folder was removed (it is not logged)"
  local left
  left="$(cd "$1" && find . -mindepth 1 | sort | tr '\n' ' ')"
  [ "$left" = "$2" ] || fail "$SCENARIO: the rollback left '$left' in the install folder, expected '$2'"
  [ ! -d "$(unixpath "$PREFIX" "$WPROGRAMS")/TNM Verifier" ] || fail "$SCENARIO: the submenu is left"
  [ ! -e "$(unixpath "$PREFIX" "$WSTART")/TolvaMarked Verifier.lnk" ] || fail "$SCENARIO: the Start-menu link is left"
  expect_no_registry
}

# ---- The same scenario on the host layer ----

# host_run NAME SCRIPTLINES...: runs build/bin/setup in a fresh sandbox on the
# example distribution with the agent's steps; HOSTROOT is the sandbox.
host_run() {
  HOSTROOT="$WORK/$1.host"
  mkdir -p "$HOSTROOT/c/SETUP"
  cp "$DIST/data1.qv" "$DIST/Trust.db" "$DIST/UninstallTNM.exe" "$HOSTROOT/c/SETUP/"
  [ -z "${HOST_PREPARE:-}" ] || "$HOST_PREPARE"
  shift
  printf '%s\n' "$@" >"$HOSTROOT.steps"
  local status=0
  WINHOST_ROOT="$HOSTROOT" WINHOST_SCRIPT="$HOSTROOT.steps" WINHOST_TRANSCRIPT="$HOSTROOT.jsonl" \
    timeout 60 "$HOST_BIN/setup" >"$HOSTROOT.out" 2>&1 </dev/null || status=$?
  [ $status -eq 0 ] || { cat "$HOSTROOT.out" >&2; fail "$SCENARIO: the host setup ended with $status"; }
}

# hostpath WINPATH: where a path lies in the host sandbox.
hostpath() {
  local drive="${1:0:1}" p="${1:2}"
  printf '%s/%s%s' "$HOSTROOT" "${drive,,}" "${p//\\//}"
}

# to_wine: maps the host sandbox's shell folders and Windows folder onto
# Wine's (longest first).
to_wine() {
  sed -e "s|C:\\\\WINDOWS\\\\Start Menu\\\\Programs|${WPROGRAMS//\\/\\\\}|g" \
    -e "s|C:\\\\WINDOWS\\\\Start Menu|${WSTART//\\/\\\\}|g" \
    -e "s|C:\\\\WINDOWS\\\\Desktop|${WDESKTOP//\\/\\\\}|g" \
    -e 's|C:\\WINDOWS\\|C:\\windows\\|g'
}

# host_reg_values: the same "key|name|value" lines from the host registry.
host_reg_values() {
  python3 - "$HOSTROOT/registry.reg" <<'EOF'
import re, sys
key = None
want = ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier",
        "HKEY_CLASSES_ROOT\\*\\shell\\checksig")
for line in open(sys.argv[1], encoding="latin-1").read().splitlines():
    if line.startswith("["):
        key = line[1:-1]
        continue
    m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")="((?:[^"\\]|\\.)*)"$', line)
    if not m or key is None or not any(key == w or key.startswith(w + "\\") for w in want):
        continue
    unq = lambda s: re.sub(r'\\(.)', r'\1', s)
    name = "@" if m.group(1) == "@" else unq(m.group(2))
    print(f"{key}|{name}|{unq(m.group(3))}")
EOF
}

# differential: the host run gives the same log, registry values and link
# fields as the Wine run just checked (INSTALLDIR_UNIX of the Wine run).
differential() {
  local winlog="$1/deinst.lst" hostlog
  hostlog="$(hostpath "${2}deinst.lst")"
  [ -f "$hostlog" ] || fail "$SCENARIO: the host run left no log at $hostlog"
  to_wine <"$hostlog" >"$HOSTROOT.deinst.mapped"
  cmp -s "$HOSTROOT.deinst.mapped" "$winlog" || {
    diff <(cat -A "$winlog") <(cat -A "$HOSTROOT.deinst.mapped") >&2 || true
    fail "$SCENARIO: host and Wine logs differ (< Wine, > host)"
  }
  local hreg
  hreg="$(host_reg_values | sort | to_wine)"
  [ "$hreg" = "$(sort <<<"$REG_FOUND")" ] || {
    diff <(sort <<<"$REG_FOUND") <(echo "$hreg") >&2 || true
    fail "$SCENARIO: host and Wine registry values differ (< Wine, > host)"
  }
  local l
  while IFS= read -r l; do
    case "$l" in File:*.lnk) ;; *) continue ;; esac
    local p="${l#File:}" hp wp
    wp="$(unixpath "$PREFIX" "$p")"
    hp="$(printf '%s' "$p" | sed -e "s|${WPROGRAMS//\\/\\\\}|C:\\\\WINDOWS\\\\Start Menu\\\\Programs|" \
      -e "s|${WSTART//\\/\\\\}|C:\\\\WINDOWS\\\\Start Menu|" -e "s|${WDESKTOP//\\/\\\\}|C:\\\\WINDOWS\\\\Desktop|")"
    hp="$(hostpath "$hp")"
    if [ ! -f "$wp" ]; then
      # A link whose save failed under Wine must have failed on the host too.
      [ ! -f "$hp" ] || fail "$SCENARIO: the host run saved $hp, Wine did not"
      continue
    fi
    [ -f "$hp" ] || fail "$SCENARIO: the host run has no link $hp"
    [ "$(lnk_fields "$hp" | to_wine)" = "$(lnk_fields "$wp")" ] ||
      fail "$SCENARIO: link fields differ: host '$(lnk_fields "$hp")', Wine '$(lnk_fields "$wp")'"
  done <"$winlog"
  say "  host and Wine agree: log, registry values, link fields"
}

# ---- A vendor's product, and its removal ----

# make_vendor_product DIR: a product tree as a vendor might ship it: the
# files the setup's links and verb name at its top, nested folders, an empty
# folder, names with blanks, and some MB of real Windows programs (the 64-bit
# Wine's own, present wherever these checks run).
make_vendor_product() {
  local p=$1 programs=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows total=0 n=0 f
  [ -d "$programs" ] || fail "no Windows programs to pack in $programs (Debian's wine64 has them)"
  mkdir -p "$p/bin/Shared Tools/x64" "$p/docs/Read Me First" "$p/logs"
  cp "$PRODUCT/ReadMe.txt" "$PRODUCT/qenvo.exe" "$PRODUCT/qenvo.hlp" "$p/"
  cp "$PRODUCT/docs/Signatures.txt" "$p/docs/Read Me First/Signature list.txt"
  while IFS= read -r f; do
    if [ $((n % 2)) = 0 ]; then cp "$f" "$p/bin/"; else cp "$f" "$p/bin/Shared Tools/x64/"; fi
    total=$((total + $(stat -c %s "$f")))
    n=$((n + 1))
    [ $total -lt 3000000 ] || break
  done < <(find "$programs" -maxdepth 1 \( -name '*.dll' -o -name '*.exe' \) -size +150k -size -700k | sort)
  [ $total -ge 3000000 ] || fail "only $total bytes of programs found in $programs"
}

# drive_files FILE: every path of drive C: but Wine's own scratch folders.
drive_files() {
  (cd "$PREFIX/drive_c" && find . -path './windows/temp' -prune -o -path './users/*/Temp' -prune \
    -o -path './users/*/AppData/Local/Temp' -prune -o -print | sort) >"$1"
}

# registered_command: the command line the uninstall entry holds.
registered_command() {
  wine reg query "$UNINSTALL_KEY" /v UninstallString 2>/dev/null </dev/null | tr -d '\r' |
    sed -n 's/^.*UninstallString[[:space:]]*REG_SZ[[:space:]]*//p'
}

# uninstall_with COMMAND CLOSING: starts the uninstaller with COMMAND, in the
# Windows folder, as Add/Remove Programs does; confirms its question and
# expects CLOSING in its last box.
uninstall_with() {
  local ucaption="TolvaMarked Verifier - Uninstall"
  SCRIPT="$WORK/$SCENARIO.uninstall.robot"
  REPORT="$WORK/$SCENARIO.uninstall.jsonl"
  : >"$SCRIPT"
  r "message \"$ucaption\" \"Do you want to remove TolvaMarked Verifier and all of its components from this computer?\" yesno" \
    "answer yes" "message \"$ucaption\" \"$2\" ok" "answer ok" "exit 0"
  ROBOT_START="C:\\windows \"${1//\"/%q}\"" run_robot 120
}
