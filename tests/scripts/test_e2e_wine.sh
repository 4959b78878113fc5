#!/usr/bin/env bash
# The Windows build's setup.exe end to end under Wine, as a user meets it:
# each scenario starts from a copy of one pristine 32-bit prefix, with the
# distribution folder C:\SETUP (setup.exe, data1.qv, Trust.db,
# UninstallTNM.exe). The robot (robot.exe) checks every page and box and
# answers them; afterwards the machine is read through Wine's tools (files,
# reg query, lnkinfo), and where the host layer can run the same walk, its
# log, registry values and link fields must be the same. Screenshots of the
# pages, the progress window and the boxes land in build/screenshots/.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/e2e_wine_lib.sh"

need_built "$WINE_BIN/setup.exe" "$WINE_BIN/robot.exe" "$WINE_BIN/planted.exe" "$WIN_UNINSTALLER"
[ -f "$DIST/data1.qv" ] || fail "the example distribution is not built (cmake --build --preset host)"
[ -x "$HOST_BIN/setup" ] || fail "$HOST_BIN/setup is not built"
command -v lnkinfo >/dev/null || fail "lnkinfo is not installed (scripts/bootstrap installs it)"
command -v import >/dev/null || fail "ImageMagick's import is not installed (scripts/bootstrap installs it)"

fresh_dir e2e-wine
# A home folder of the run's own: Wine would link the prefix's shell folders
# into the real one.
export HOME="$WORK/home"
mkdir -p "$HOME"
start_display
PRISTINE="$WORK/pristine"
make_pristine "$PRISTINE"
suite_start=$SECONDS

INST_UNIX() { unixpath "$PREFIX" "$1"; }
WINDIR='C:\windows\'
HOST_WALK_DEFAULT=("page 101" "click 1" "page 103" "click 1" "page 104" "click 1"
  'message "Installation Complete" ok')

# begin NAME: a scenario on a new machine; returns 1 (the scenario is left
# out) when E2E_ONLY is set and does not match NAME.
begin() {
  SCENARIO=$1
  if [ -n "${E2E_ONLY:-}" ] && ! [[ "$1" =~ ^($E2E_ONLY)$ ]]; then return 1; fi
  say "--- $SCENARIO"
  SCENARIO_START=$SECONDS
  new_machine "$1"
}

# end_machine: the scenario's Wine (and the Explorer it opened) goes before
# the next scenario starts, and so does its prefix (a copy of some 600 MB);
# a failed scenario never gets here, so its machine is kept for a look.
end_machine() {
  wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w || true
  rm -rf "$PREFIX"
}

# complete_tail: the end of every complete run.
complete_tail() { r "appears \"TNM Verifier\"" "exit 0"; }

# The three pages with their defaults: Next, Next, Finish.
pages_by_default() {
  page_folder
  r "press 1"
  page_options "$DEFAULT_DIR" 1 1
  r "press 1"
  page_summary "$DEFAULT_DIR" "$LINE_DESKTOP" "$LINE_START"
  r "press 1"
}

# ---- Defaults straight through: Next, Next, Finish, OK ----
scenario_1() {
  begin defaults || return 0
  SHOTS_ON=1
  pages_by_default
  msg_complete
  complete_tail
  run_robot 120
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  check_product "$inst"
  same "$inst/Trust.db" "$DIST/Trust.db"
  same "$PREFIX/drive_c/windows/UninstallTNM.exe" "$WIN_UNINSTALLER"
  log_lines "$DEFAULT_DIR" 1 1 1
  expect_log "$inst/deinst.lst" "${LOG[@]}"
  expect_registry "$DEFAULT_DIR" "$WINDIR"
  expect_links "$DEFAULT_DIR" "$WINDIR" 1 1
  expect_explorer
  host_run defaults "${HOST_WALK_DEFAULT[@]}"
  differential "$inst" "$DEFAULT_DIR"
}

# ---- Both options off ----
scenario_2() {
  begin options-off || return 0
  page_folder
  r "press 1"
  page_options "$DEFAULT_DIR" 1 1
  r "tick 1006" "tick 1007" "checked 1006 0" "checked 1007 0" "press 1"
  page_summary "$DEFAULT_DIR" "" ""
  r "press 1"
  msg_complete
  complete_tail
  run_robot 120
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  check_product "$inst"
  log_lines "$DEFAULT_DIR" 0 0 1
  expect_log "$inst/deinst.lst" "${LOG[@]}"
  expect_registry "$DEFAULT_DIR" "$WINDIR"
  expect_links "$DEFAULT_DIR" "$WINDIR" 0 0
  host_run options-off "page 101" "click 1" "page 103" "check 1006 0" "check 1007 0" "click 1" \
    "page 104" "click 1" 'message "Installation Complete" ok'
  differential "$inst" "$DEFAULT_DIR"
}

# ---- A folder typed by hand (no trailing backslash; the page adds it) ----
scenario_3() {
  begin typed-folder || return 0
  typed='C:\Tools\TNM Verifier'
  page_folder
  r "settext 1000 \"$typed\"" "press 1"
  page_options "$typed\\" 1 1
  r "press 1"
  page_summary "$typed\\" "$LINE_DESKTOP" "$LINE_START"
  r "press 1"
  msg_complete
  complete_tail
  run_robot 120
  inst="$(INST_UNIX "$typed\\")"
  check_product "$inst"
  same "$inst/Trust.db" "$DIST/Trust.db"
  log_lines "$typed\\" 1 1 1
  expect_log "$inst/deinst.lst" "${LOG[@]}"
  expect_registry "$typed\\" "$WINDIR"
  expect_links "$typed\\" "$WINDIR" 1 1
  [ ! -e "$(INST_UNIX "$DEFAULT_DIR")" ] || fail "$SCENARIO: the default folder was created too"
  host_run typed-folder "page 101" "set 1000 $typed" "click 1" "page 103" "click 1" "page 104" "click 1" \
    'message "Installation Complete" ok'
  differential "$inst" "$typed\\"
}

# ---- Back and Next walked: the folder page shows the default again, the
# options page drops changes left with Back and keeps those left with Next ----
scenario_4() {
  begin back-next || return 0
  page_folder
  r 'settext 1000 "D:\Elsewhere"' "press 1"
  page_options 'D:\Elsewhere\' 1 1
  r "tick 1006" "press 3"
  page_folder
  r "press 1"
  page_options "$DEFAULT_DIR" 1 1
  r "tick 1007" "press 1"
  page_summary "$DEFAULT_DIR" "$LINE_DESKTOP" ""
  r "press 3"
  page_options "$DEFAULT_DIR" 1 0
  r "tick 1006" "tick 1007" "press 1"
  page_summary "$DEFAULT_DIR" "$LINE_START" ""
  r "press 1"
  msg_complete
  complete_tail
  run_robot 120
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  check_product "$inst"
  log_lines "$DEFAULT_DIR" 0 1 1
  expect_log "$inst/deinst.lst" "${LOG[@]}"
  expect_registry "$DEFAULT_DIR" "$WINDIR"
  expect_links "$DEFAULT_DIR" "$WINDIR" 0 1
  host_run back-next "page 101" 'set 1000 D:\Elsewhere' "click 1" "page 103" "check 1006 0" "click 3" \
    "page 101" "click 1" "page 103" "check 1007 0" "click 1" "page 104" "click 3" \
    "page 103" "check 1006 0" "check 1007 1" "click 1" "page 104" "click 1" 'message "Installation Complete" ok'
  differential "$inst" "$DEFAULT_DIR"
}

# ---- Cancel on each page: nothing on the machine changes ----
scenario_5() {
  for page in 1 2 3; do
    begin "cancel-page-$page" || continue
    page_folder
    [ $page -gt 1 ] && { r "press 1"; page_options "$DEFAULT_DIR" 1 1; }
    [ $page -gt 2 ] && { r "press 1"; page_summary "$DEFAULT_DIR" "$LINE_DESKTOP" "$LINE_START"; }
    r "press 2" "exit 0"
    run_robot 60
    expect_untouched
    end_machine
  done
}

# ---- A missing data1.qv: F4, rollback, the log deleted ----
scenario_6() {
  begin missing-archive || return 0
  SHOTS_ON=1
  rm "$SETUP_DIR/data1.qv"
  pages_by_default
  SHOTS_ON=1
  msg_rollback
  r "exit 0"
  # Only the rollback box is new here: keep the pages' shots of the defaults.
  sed -i -e '/^shot \(folder\|options\|summary\)_page$/d' "$SCRIPT"
  run_robot 120
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  expect_rolled_back "$inst" ""
  [ ! -e "$inst/deinst.lst" ] || fail "$SCENARIO: the log was not deleted"
  [ ! -e "$PREFIX/drive_c/windows/UninstallTNM.exe" ] || fail "$SCENARIO: the uninstaller was copied"
}

# ---- An existing Trust.db: left alone, not logged, no message ----
scenario_7() {
  begin existing-trust || return 0
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  mkdir -p "$inst"
  printf 'the user'"'"'s own trust database\r\n' >"$inst/Trust.db"
  cp "$inst/Trust.db" "$WORK/own-trust.db"
  pages_by_default
  msg_complete
  complete_tail
  run_robot 120
  check_product "$inst"
  same "$inst/Trust.db" "$WORK/own-trust.db"
  log_lines "$DEFAULT_DIR" 1 1 0
  expect_log "$inst/deinst.lst" "${LOG[@]}"
  expect_registry "$DEFAULT_DIR" "$WINDIR"
  expect_links "$DEFAULT_DIR" "$WINDIR" 1 1
  own_trust_on_host() {
    mkdir -p "$(hostpath "$DEFAULT_DIR")"
    cp "$WORK/own-trust.db" "$(hostpath "${DEFAULT_DIR}Trust.db")"
  }
  HOST_PREPARE=own_trust_on_host host_run existing-trust "${HOST_WALK_DEFAULT[@]}"
  same "$(hostpath "${DEFAULT_DIR}Trust.db")" "$WORK/own-trust.db"
  differential "$inst" "$DEFAULT_DIR"
}

# ---- The desktop link cannot be written: a folder of the link's name
# stands where it goes (a read-only file would not do: Wine keeps the
# read-only attribute in the Unix mode bits, and a test run as root writes
# through them). Q2 answered No: rollback. The rollback cannot delete the
# folder with DeleteFileA either, so it stays. ----
scenario_8() {
  begin desktop-blocked-no || return 0
  SHOTS_ON=1
  desk="$(unixpath "$PREFIX" "$WDESKTOP")/TolvaMarked Verifier.lnk"
  mkdir "$desk"
  pages_by_default
  msg_desktop no
  msg_rollback
  r "exit 0"
  sed -i -e '/^shot \(folder\|options\|summary\)_page$/d' -e 's/^shot rollback_box$/shot rollback_after_question_box/' "$SCRIPT"
  run_robot 120
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  expect_rolled_back "$inst" "./docs "
  [ ! -e "$inst/deinst.lst" ] || fail "$SCENARIO: the log was not deleted"
  [ -d "$desk" ] || fail "$SCENARIO: the folder in the link's place has gone"
  same "$PREFIX/drive_c/windows/UninstallTNM.exe" "$WIN_UNINSTALLER"
}

# ---- The desktop link cannot be written again (a folder in its place); Q2
# answered Yes: the installation completes without the desktop link, and its
# record stands in the log (it is written whatever the save gave). A Shell
# Folders value that names no folder would not last here: Wine's shell
# writes the Shell Folders values anew from the User Shell Folders when its
# desktop starts, as Windows does. ----
scenario_9() {
  begin desktop-blocked-yes || return 0
  local desk
  desk="$(unixpath "$PREFIX" "$WDESKTOP")/TolvaMarked Verifier.lnk"
  mkdir "$desk"
  pages_by_default
  msg_desktop yes
  msg_complete
  complete_tail
  run_robot 120
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  check_product "$inst"
  log_lines "$DEFAULT_DIR" 1 1 1
  expect_log "$inst/deinst.lst" "${LOG[@]}"
  expect_registry "$DEFAULT_DIR" "$WINDIR"
  [ -d "$desk" ] || fail "$SCENARIO: the folder in the link's place has gone"
  mv "$desk" "$WORK/blocked-desktop"
  expect_links "$DEFAULT_DIR" "$WINDIR" 0 1
  mv "$WORK/blocked-desktop" "$desk"
  blocked_desktop_on_host() { mkdir -p "$HOSTROOT/c/WINDOWS/Desktop/TolvaMarked Verifier.lnk"; }
  HOST_PREPARE=blocked_desktop_on_host host_run desktop-blocked-yes "page 101" "click 1" "page 103" "click 1" \
    "page 104" "click 1" 'message "Unable to Create Shortcut" yes' 'message "Installation Complete" ok'
  [ -d "$HOSTROOT/c/WINDOWS/Desktop/TolvaMarked Verifier.lnk" ] || fail "$SCENARIO: the host run removed the folder"
  differential "$inst" "$DEFAULT_DIR"
}

# ---- A vendor's product packed by scripts/dist (nested folders, an empty
# folder, names with blanks, some MB of real programs): the progress window
# shot with its bar part-way, every file in place, then removed through the
# registered command, and the machine as before but for what stays by design:
# the uninstaller's copy (it was running) and the folders above the install
# folder ----
scenario_10() {
  begin vendor-product || return 0
  SHOTS_ON=1
  make_vendor_product "$WORK/product"
  local t0=$SECONDS
  "$SOURCE_DIR/scripts/dist" "$WORK/product" "$WORK/vendor" >"$WORK/dist.out" 2>&1 ||
    { cat "$WORK/dist.out" >&2; fail "$SCENARIO: scripts/dist refused the product"; }
  say "    packed by scripts/dist in $((SECONDS - t0)) s: $(stat -c %s "$WORK/vendor/data1.qv") bytes"
  cp "$WORK/vendor/data1.qv" "$SETUP_DIR/data1.qv"
  drive_files "$WORK/before.files"
  pages_by_default
  r "window \"Installing files to: $DEFAULT_DIR\" 1003 Static" "painted 1002" "holdmidway" \
    'ctl 1002 Static "Decompressing: C:\SETUP\data1.qv"'
  shot progress_window
  r "release"
  msg_complete
  complete_tail
  sed -i -e '/^shot \(folder\|options\|summary\)_page$/d' -e '/^shot complete_box$/d' "$SCRIPT"
  run_robot 180
  grep -q '"event":"hold","line":[0-9]*,"position":"[0-9]*","high":"128"' "$REPORT" ||
    fail "$SCENARIO: the robot did not hold the bar part-way"
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  diff -r "$WORK/product" "$inst" -x deinst.lst -x Trust.db >"$WORK/product.diff" ||
    { cat "$WORK/product.diff" >&2; fail "$SCENARIO: the installed tree differs from the product"; }
  same "$inst/Trust.db" "$DIST/Trust.db"
  local command
  command="$(registered_command)"
  [ -n "$command" ] || fail "$SCENARIO: no uninstall entry"
  # The Explorer window that the setup opened is closed first, as the
  # round trip does.
  wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w || true
  SHOTS_ON=0
  uninstall_with "$command" "TolvaMarked Verifier has been removed from your computer."
  drive_files "$WORK/after.files"
  grep -vx -e './windows/UninstallTNM.exe' -e './Program Files/Kelvorind' "$WORK/after.files" >"$WORK/after.kept" || true
  diff -u "$WORK/before.files" "$WORK/after.kept" >&2 || fail "$SCENARIO: drive C: is not as before the installation"
  expect_no_registry
}

# ---- The uninstaller on a crafted log whose records climb out of the
# install folder with "..", "/" and runs of dots, name a file elsewhere on the
# drive, a folder that is no submenu and a key the setup never makes: every
# such record is left alone, and named in the closing box (the first five
# and how many more), and the log is kept; the one record of a file of ours
# is acted on, and its emptied folders go. The same log on the host layer
# leaves the same tree ----
# crafted_tree C: below the drive folder C, the install folder with one file
# of ours in a nested folder and the crafted log, an empty folder beside the
# install folder and one elsewhere on the drive.
crafted_tree() {
  local inst="$1/Program Files/Kelvorind/TNM Verifier"
  mkdir -p "$inst/sub/deeper" "$1/Program Files/Kelvorind/Beside" "$1/Victim/Empty"
  printf 'keep\r\n' >"$1/Victim/keep.txt"
  printf 'ours\r\n' >"$inst/sub/deeper/ours.txt"
  cp "$WORK/crafted.lst" "$inst/deinst.lst"
}

# kept_tree C: the paths below the drive folder C that the check is about.
kept_tree() { (cd "$1" && find "Program Files/Kelvorind" Victim | sort); }

scenario_14() {
  begin crafted-log || return 0
  local d='c:\Program Files\Kelvorind\TNM Verifier\'
  local refused=("File:${d}sub\\..\\..\\Beside\\gone.txt" "File:${d}sub/../../Beside/gone.txt"
    'File:c:/Program Files/Kelvorind/TNM Verifier/sub/../../../../Victim/Empty/gone.txt'
    "File:${d}...\\Victim\\Empty\\gone.txt" "File:${d}sub\\.\\deeper\\..\\..\\..\\Beside\\x\\gone.txt"
    "Dire:${d}sub\\deeper\\" 'File:C:\Victim\keep.txt' 'UKLM:Software\Victim')
  printf '%s\r\n' "Name:TolvaMarked Verifier" "File:${d}sub\\deeper\\ours.txt" "${refused[@]}" >"$WORK/crafted.lst"
  crafted_tree "$PREFIX/drive_c"
  cp "$WIN_UNINSTALLER" "$PREFIX/drive_c/windows/UninstallTNM.exe"
  wine reg add 'HKLM\Software\Victim' /f </dev/null >/dev/null 2>&1 || fail "$SCENARIO: the victim key was not made"
  drive_files "$WORK/before.files"
  local command="\"C:\\windows\\UninstallTNM.exe\" ${d}deinst.lst" closing i
  closing="TolvaMarked Verifier could not be removed completely.%n%nThese lines of the installation log were"
  closing+=" left alone: Setup does not write them, so they may have been changed by someone else:"
  for i in 0 1 2 3 4; do closing+="%n    ${refused[$i]}"; done
  closing+="%n    and 3 more%n%nThe log has been kept in%n%n${d}deinst.lst"
  uninstall_with "$command" "$closing"
  drive_files "$WORK/after.files"
  { grep -v '^./Program Files/Kelvorind/TNM Verifier' "$WORK/before.files"
    printf '%s\n' './Program Files/Kelvorind/TNM Verifier' './Program Files/Kelvorind/TNM Verifier/deinst.lst'
  } | sort >"$WORK/before.kept"
  diff -u "$WORK/before.kept" "$WORK/after.files" >&2 ||
    fail "$SCENARIO: drive C: is not as before but for the log kept in the install folder"
  wine reg query 'HKLM\Software\Victim' </dev/null >/dev/null 2>&1 || fail "$SCENARIO: the victim key was deleted"
  # The same tree, log and answers on the host layer.
  HOSTROOT="$WORK/$SCENARIO.host"
  mkdir -p "$HOSTROOT/c/WINDOWS"
  crafted_tree "$HOSTROOT/c"
  printf '%s\n' 'message "TolvaMarked Verifier - Uninstall" yes' 'message "TolvaMarked Verifier - Uninstall" ok' \
    >"$HOSTROOT.steps"
  WINHOST_ROOT="$HOSTROOT" WINHOST_SCRIPT="$HOSTROOT.steps" WINHOST_CMDLINE="$command" \
    timeout 60 "$HOST_BIN/UninstallTNM" >"$HOSTROOT.out" 2>&1 </dev/null ||
    { cat "$HOSTROOT.out" >&2; fail "$SCENARIO: the host uninstaller failed"; }
  [ "$(kept_tree "$HOSTROOT/c")" = "$(kept_tree "$PREFIX/drive_c")" ] || {
    diff <(kept_tree "$PREFIX/drive_c") <(kept_tree "$HOSTROOT/c") >&2 || true
    fail "$SCENARIO: the host uninstaller left another tree than Wine's (< Wine, > host)"
  }
}

# ---- Yes to every question: both uninstaller copies blocked (Q1: no
# uninstall entry), the Start-menu link blocked (Q3), the Programs folder a
# file, so that the submenu cannot be made (the folder's own error box, then
# Q4: no submenu links). The installation completes with what it could do. ----
scenario_12() {
  begin questions-yes || return 0
  SHOTS_ON=1
  local c="$PREFIX/drive_c" inst
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  mkdir -p "$c/windows/UninstallTNM.exe" "$inst/UninstallTNM.exe" \
    "$(unixpath "$PREFIX" "$WSTART")/TolvaMarked Verifier.lnk"
  local programs
  programs="$(unixpath "$PREFIX" "$WPROGRAMS")"
  rm -rf "$programs"
  printf 'not a folder\r\n' >"$programs"
  pages_by_default
  msg_uninstaller yes
  msg_startmenu yes
  msg directory_box "Error Creating Directory" "$WPROGRAMS\\TNM Verifier" ok 1 ok
  msg_submenu yes
  msg_complete
  r "exit 0"
  sed -i -e '/^shot \(folder\|options\|summary\)_page$/d' -e '/^shot complete_box$/d' "$SCRIPT"
  run_robot 120
  check_product "$inst"
  LOG=("Name:TolvaMarked Verifier" "File:${DEFAULT_DIR}ReadMe.txt" "File:${DEFAULT_DIR}qenvo.exe"
    "File:${DEFAULT_DIR}qenvo.hlp" "File:${DEFAULT_DIR}docs\\Signatures.txt" "File:${DEFAULT_DIR}Trust.db"
    'HKCR:*\shell\checksig\command' 'HKCR:*\shell\checksig'
    "File:$WDESKTOP\\TolvaMarked Verifier.lnk" "File:$WSTART\\TolvaMarked Verifier.lnk"
    'UKCU:Software\Kelvorind\TNM Verifier\QENVO\TNM Verifier' 'UKCU:Software\Kelvorind\TNM Verifier\QENVO'
    'UKCU:Software\Kelvorind\TNM Verifier')
  expect_log "$inst/deinst.lst" "${LOG[@]}"
  expect_verb_only "$DEFAULT_DIR"
  expect_link "$(unixpath "$PREFIX" "$WDESKTOP")/TolvaMarked Verifier.lnk" "${DEFAULT_DIR}qenvo.exe" \
    "TolvaMarked Verifier" ""
  [ -f "$programs" ] || fail "$SCENARIO: the file in the Programs folder's place has gone"
  [ -d "$c/windows/UninstallTNM.exe" ] && [ -d "$inst/UninstallTNM.exe" ] ||
    fail "$SCENARIO: a folder in an uninstaller's place has gone"
  blocks_on_host() {
    local i
    i="$(hostpath "$DEFAULT_DIR")"
    mkdir -p "$HOSTROOT/c/WINDOWS/UninstallTNM.exe" "$i/UninstallTNM.exe" \
      "$HOSTROOT/c/WINDOWS/Start Menu/TolvaMarked Verifier.lnk"
    printf 'not a folder\r\n' >"$HOSTROOT/c/WINDOWS/Start Menu/Programs"
  }
  HOST_PREPARE=blocks_on_host host_run questions-yes "page 101" "click 1" "page 103" "click 1" \
    "page 104" "click 1" 'message "Uninstall Setup Error" yes' 'message "Unable to Create Start Menu Entry" yes' \
    'message "Error Creating Directory" ok' 'message "Unable to Create Shortcut" yes' \
    'message "Installation Complete" ok'
  differential "$inst" "$DEFAULT_DIR"
}

# ---- A file of the submenu's name stands in the Programs folder: the folder
# "exists" (the system says so for a file too), every submenu link fails,
# one question (Q5) asked; No: the rollback removes the links already made
# and keeps the file. ----
scenario_13() {
  begin submenu-links-no || return 0
  SHOTS_ON=1
  local sub inst
  sub="$(unixpath "$PREFIX" "$WPROGRAMS")/TNM Verifier"
  printf 'not a folder\r\n' >"$sub"
  cp "$sub" "$WORK/submenu-file"
  pages_by_default
  msg_submenu_links no
  msg_rollback
  r "exit 0"
  sed -i -e '/^shot \(folder\|options\|summary\)_page$/d' -e '/^shot rollback_box$/d' "$SCRIPT"
  run_robot 120
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  expect_rolled_back "$inst" "./docs "
  [ ! -e "$(unixpath "$PREFIX" "$WDESKTOP")/TolvaMarked Verifier.lnk" ] || fail "$SCENARIO: the desktop link is left"
  same "$sub" "$WORK/submenu-file"
}

# ---- The robot itself: a text that differs and a window that does not
# come end it with status 1 and a report line that names the control, the
# expected and the seen text ----
scenario_11() {
  begin robot-reports || return 0
  r "window \"$CAPTION\" 1000 Edit" 'ctl 1000 Edit "c:\Somewhere Else\"'
  ROBOT_MAY_FAIL=1 run_robot 60
  [ "$ROBOT_STATUS" = 1 ] || fail "$SCENARIO: the robot ended with $ROBOT_STATUS on a text that differs"
  grep -qF '{"event":"fail","line":5,"what":"text differs","control":"1000","expected":"c:\\Somewhere Else\\","actual":"c:\\Program Files\\Kelvorind\\TNM Verifier\\"}' "$REPORT" ||
    fail "$SCENARIO: the robot's report does not name the differing text: $(grep fail "$REPORT")"
  wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w || true
  : >"$SCRIPT"
  r "timeout 2" 'window "No Such Window" 1 Button'
  local start=$SECONDS
  ROBOT_MAY_FAIL=1 run_robot 60
  [ "$ROBOT_STATUS" = 1 ] || fail "$SCENARIO: the robot ended with $ROBOT_STATUS on a window that did not come"
  grep -qF '"what":"window did not come","control":"","expected":"No Such Window"' "$REPORT" ||
    fail "$SCENARIO: the robot's report does not name the missing window: $(grep fail "$REPORT")"
  [ $((SECONDS - start)) -lt 30 ] || fail "$SCENARIO: the robot did not keep its 2 s deadline"
}

# ---- A program named explorer.exe in the distribution folder (the setup's own
# folder, where Windows looks first for a program named without its folder)
# and one in an install folder that exists already (the extractor's current
# folder): the setup starts the Windows folder's Explorer by its full path,
# its window shows the submenu, and neither planted program runs (each would
# leave explorer.exe.ran beside itself, as it does when started by hand) ----
scenario_15() {
  begin planted-explorer || return 0
  local inst ran
  inst="$(INST_UNIX "$DEFAULT_DIR")"
  mkdir -p "$inst"
  cp "$WINE_BIN/planted.exe" "$SETUP_DIR/explorer.exe"
  cp "$WINE_BIN/planted.exe" "$inst/explorer.exe"
  pages_by_default
  msg_complete
  complete_tail
  run_robot 120
  check_product "$inst"
  expect_explorer
  ran="$(find "$PREFIX/drive_c" -name '*.ran')"
  [ -z "$ran" ] || fail "$SCENARIO: a planted explorer.exe was started: $ran ($(cat $ran))"
  # The Explorer window goes first: the server would wait for it.
  wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w || true
  run_wine 60 "$WORK/planted.out" "$inst/explorer.exe" || fail "$SCENARIO: the planted program does not start"
  [ -f "$inst/explorer.exe.ran" ] || fail "$SCENARIO: the planted program left no trace when started by hand"
}

# E2E_ONLY (a pattern of scenario names, e.g. 'defaults|progress') runs a
# part of the suite by hand.
for s in scenario_1 scenario_2 scenario_3 scenario_4 scenario_5 scenario_6 scenario_7 scenario_8 scenario_9 scenario_10 scenario_12 scenario_13 scenario_14 scenario_15 scenario_11; do
  SCENARIO_START=""
  $s
  [ -n "$SCENARIO_START" ] || continue
  end_machine
  say "    $SCENARIO passed in $((SECONDS - SCENARIO_START)) s"
done

say "PASS: every scenario under Wine ($((SECONDS - suite_start)) s after the pristine prefix)"
