#!/usr/bin/env bash
# Drives zenka-updater.exe under Wine against a fake installation made in the test prefix.
#
#   uninstall_test.sh Quiet|NoList|Unsafe|ConfirmationNo|ConfirmationYes|Stopped|LinkedFolder|TempFull|
#                     HeldList|HeldProgram
#
# Environment (set by CTest): WINEPREFIX, ZENKA_SOURCE_DIR, SAMPLE_DIR (the built programs),
# LINK_TOOL (sample_link_tool.exe), HOLDER (file_holder.exe: holds a file without sharing).
set -uo pipefail
case_name=${1:?case}
run() { "$ZENKA_SOURCE_DIR/tools/wine-run" "$WINEPREFIX" "$@" </dev/null; }
export WINEDEBUG=-all
if [ -z "${DISPLAY:-}" ] && [ -f "$WINEPREFIX/.display" ]; then
  DISPLAY=$(cat "$WINEPREFIX/.display")
  export DISPLAY
fi

fail() { echo "FAIL: $*" >&2; exit 1; }
KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZENKA'
FOREIGN_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZENKA-sample-foreign'
FOREIGN_LINK=ZENKA-sample-foreign.lnk
SESSION='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'

base_unix="$WINEPREFIX/drive_c/zenka-sample-tests/$case_name"
base_win="C:\\zenka-sample-tests\\$case_name"
install_unix="$base_unix/ZENKA"
install_win="$base_win\\ZENKA"

# Process id of the prefix's wineserver, which works in the folder server-DEVICE-INODE (of the
# prefix, in hex); empty when none runs.
server_pid() {
  local dir pid
  dir=server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep wineserver); do
    [[ $(readlink "/proc/$pid/cwd" 2>/dev/null) == */"$dir" ]] && echo "$pid"
  done
}
key_exists() { run reg query "$1" >/dev/null 2>&1; }
link_exists() { run "$LINK_TOOL" exists "$1" "$2" >/dev/null 2>&1; }

cleanup() {
  run reg delete "$FOREIGN_KEY" /f >/dev/null 2>&1
  run reg delete "$KEY" /f >/dev/null 2>&1
  for folder in desktop programs; do
    run "$LINK_TOOL" remove $folder ZENKA.lnk >/dev/null 2>&1
    run "$LINK_TOOL" remove $folder "$FOREIGN_LINK" >/dev/null 2>&1
  done
  rm -rf "$base_unix"
  if [ -n "${small_drive:-}" ]; then
    rm -f "$WINEPREFIX/dosdevices/q:"
    umount "$small_drive" 2>/dev/null || umount -l "$small_drive" 2>/dev/null
  fi
  rm -f "$WINEPREFIX/drive_c/zenka-updater.exe" "$WINEPREFIX/drive_c/zenka-sample-marker.txt" \
        "$WINEPREFIX/drive_c/Program Files/zenka-updater.exe"
}
trap cleanup EXIT

# What the setup leaves behind, plus things of others that must survive.
make_installation() {
  cleanup
  mkdir -p "$install_unix/data/cache" "$base_unix/sibling"
  cp "$SAMPLE_DIR/ZENKA.exe" "$SAMPLE_DIR/zenka-updater.exe" "$install_unix/"
  echo "language=ru" >"$install_unix/data/config.ini"
  echo "кэш" >"$install_unix/data/cache/Лицензия.txt"
  printf '# the package list\nZENKA.exe\ndata/\ndata/cache/\ndata/cache/Лицензия.txt\n%s\n' \
    data/config.ini zenka-files.txt zenka-updater.exe >"$install_unix/zenka-files.txt"
  echo "neighbour" >"$base_unix/sibling/keep.txt"
  run reg add "$KEY" /v DisplayName /d ZENKA /f >/dev/null || fail "reg add"
  run reg add "$KEY" /v InstallLocation /d "$install_win" /f >/dev/null || fail "reg add"
  run reg add "$KEY" /v UninstallString /d "\"$install_win\\zenka-updater.exe\" --uninstall" /f \
    >/dev/null
  run reg add "$FOREIGN_KEY" /v DisplayName /d foreign /f >/dev/null || fail "reg add foreign"
  for folder in desktop programs; do
    run "$LINK_TOOL" make $folder ZENKA.lnk "$install_win\\ZENKA.exe" || fail "make link $folder"
  done
  run "$LINK_TOOL" make desktop "$FOREIGN_LINK" 'C:\windows\notepad.exe' || fail "make foreign link"
}

expect_installation_intact() {
  [ -f "$install_unix/ZENKA.exe" ] && [ -f "$install_unix/zenka-updater.exe" ] &&
    [ -f "$install_unix/data/cache/Лицензия.txt" ] || fail "installed files were touched"
  key_exists "$KEY" || fail "uninstall key was removed"
  link_exists desktop ZENKA.lnk || fail "desktop link was removed"
  link_exists programs ZENKA.lnk || fail "Start-menu link was removed"
}

expect_registration_kept() {
  key_exists "$KEY" && link_exists desktop ZENKA.lnk && link_exists programs ZENKA.lnk ||
    fail "the key or a link went before the files"
  [ -f "$install_unix/zenka-updater.exe" ] && [ -f "$install_unix/zenka-files.txt" ] ||
    fail "the uninstall command can no longer finish: $(ls -A "$install_unix")"
}

expect_registration_gone() {
  ! link_exists desktop ZENKA.lnk || fail "desktop link left"
  ! link_exists programs ZENKA.lnk || fail "Start-menu link left"
  ! key_exists "$KEY" || fail "uninstall key left"
}

expect_others_intact() {
  [ -f "$base_unix/sibling/keep.txt" ] || fail "sibling directory was touched"
  key_exists "$FOREIGN_KEY" || fail "foreign key was removed"
  link_exists desktop "$FOREIGN_LINK" || fail "foreign link was removed"
}

# How many marks for deletion at the restart name a path that contains $1.
marks_of() { run reg query "$SESSION" /v PendingFileRenameOperations 2>/dev/null | grep -oiF "$1" | wc -l; }

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
wait_for() {
  local limit=$1; shift
  for _ in $(seq $((limit * 5))); do "$@" && return 0; sleep 0.2; done
  return 1
}

# The private folders that the updater's copies run from (Wine 8 keeps TEMP in the profile's root).
temp_copies() {
  compgen -G "$WINEPREFIX/drive_c/users/*/Temp/zenka-uninstall-*" || true
}
no_temp_copies() { [ -z "$(temp_copies)" ]; }

# Holds the file $1 (a Windows path) without sharing for $2 ms from another program, from a moment on.
hold() { run "$HOLDER" "$1" "$2" >/dev/null 2>&1 & holder=$!; sleep 1.5; }

case $case_name in
Quiet)
  make_installation
  # What the package never installed: another game's save, a note, a mod in one of its folders.
  mkdir -p "$install_unix/Other" "$install_unix/data/user-mods"
  echo save >"$install_unix/Other/save.dat"
  echo note >"$install_unix/notes.txt"
  echo mod >"$install_unix/data/user-mods/mod.dat"
  # A line that is not UTF-8 and a list padded to 50 MB: skipped, the rest still goes.
  printf 'plugins/bad\xff\xfename.dll\n' >>"$install_unix/zenka-files.txt"
  yes '# padding' | head -c 50M >>"$install_unix/zenka-files.txt"
  marks_before=$(marks_of "$install_win")
  # A launcher running from the installation must not stop the removal.
  (cd "$install_unix" && run ./ZENKA.exe >/dev/null 2>&1 &)
  wait_for 20 xdotool search --name '^ZENKA$' >/dev/null || fail "launcher did not start"
  run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 0 ] || fail "quiet uninstall exited with $status"
  expect_registration_gone
  [ ! -e "$install_unix/data/cache" ] && [ ! -e "$install_unix/data/config.ini" ] &&
    [ ! -e "$install_unix/ZENKA.exe" ] && [ ! -e "$install_unix/zenka-files.txt" ] ||
    fail "installed files left: $(cd "$install_unix" && find . | sort | tr '\n' ' ')"
  wait_for 30 test ! -e "$install_unix/zenka-updater.exe" || fail "updater left"
  # Exactly what others put there stays.
  left=$(cd "$install_unix" && find . | sort | tr '\n' ' ')
  [ "$left" = ". ./Other ./Other/save.dat ./data ./data/user-mods ./data/user-mods/mod.dat ./notes.txt " ] ||
    fail "left behind: $left"
  expect_others_intact
  ! xdotool search --name '^ZENKA$' >/dev/null || fail "launcher still running"
  # The temporary copy and its folder go too, a couple of seconds after it has finished.
  wait_for 30 no_temp_copies || fail "temporary copy left: $(temp_copies)"
  # The copy dropped the marks of what it removed: a setup run again before a restart keeps its files.
  [ "$(marks_of "$install_win")" = "$marks_before" ] || fail "restart marks left for the removed installation"
  ;;
NoList)
  # Without the list nothing tells the package from the user's files: the links and the key go,
  # every file stays.
  make_installation
  rm "$install_unix/zenka-files.txt"
  run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 6 ] || fail "uninstall without a list exited with $status"
  expect_registration_gone
  [ -f "$install_unix/ZENKA.exe" ] && [ -f "$install_unix/zenka-updater.exe" ] &&
    [ -f "$install_unix/data/cache/Лицензия.txt" ] || fail "files removed without a list"
  expect_others_intact
  [ -z "$(temp_copies)" ] || fail "a removal helper was started"
  ;;
Unsafe)
  make_installation
  # An updater at the drive root would otherwise take the whole drive with it.
  echo marker >"$WINEPREFIX/drive_c/zenka-sample-marker.txt"
  cp "$SAMPLE_DIR/zenka-updater.exe" "$WINEPREFIX/drive_c/"
  run 'C:\zenka-updater.exe' --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 4 ] || fail "updater at C:\\ exited with $status"
  [ -f "$WINEPREFIX/drive_c/zenka-sample-marker.txt" ] || fail "file at C:\\ removed"
  [ -f "$WINEPREFIX/drive_c/zenka-updater.exe" ] || fail "updater at C:\\ removed"
  # Program Files itself holds other programs.
  cp "$SAMPLE_DIR/zenka-updater.exe" "$WINEPREFIX/drive_c/Program Files/"
  run 'C:\Program Files\zenka-updater.exe' --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 4 ] || fail "updater in Program Files exited with $status"
  [ -d "$WINEPREFIX/drive_c/Program Files/Common Files" ] || fail "Program Files emptied"
  # A renamed copy in a folder that is not an installation.
  cp "$SAMPLE_DIR/zenka-updater.exe" "$base_unix/sibling/tool.exe"
  run "$base_unix/sibling/tool.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 4 ] || fail "updater without installation exited with $status"
  [ -f "$base_unix/sibling/tool.exe" ] || fail "renamed updater removed"
  # A refusal removes nothing anywhere, not even the shortcuts or the key.
  expect_installation_intact
  expect_others_intact
  [ -z "$(temp_copies)" ] || fail "a removal helper was started"
  ;;
ConfirmationNo)
  make_installation
  status_file="$base_unix/status"
  ( run "$install_unix/zenka-updater.exe" --uninstall >/dev/null 2>&1; echo $? >"$status_file" ) &
  title='^ZENKA - Удаление$'
  box=$(wait_for 20 xdotool search --name "$title" && xdotool search --name "$title" | head -1)
  [ -n "$box" ] || fail "no confirmation box"
  # One job at a time: a second uninstall meanwhile touches nothing.
  run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 8 ] || fail "a second uninstall exited with $status"
  # No is the default button: give the box the keyboard and press Enter.
  xdotool mousemove --window "$box" 5 5 click 1
  sleep 0.3
  xdotool key Return
  wait_for 20 test -f "$status_file" || fail "updater did not end after No"
  wait
  status=$(cat "$status_file")
  [ "$status" -eq 3 ] || fail "declined uninstall exited with $status"
  expect_installation_intact
  expect_others_intact
  ;;
ConfirmationYes)
  make_installation
  status_file="$base_unix/status"
  ( run "$install_unix/zenka-updater.exe" --uninstall >/dev/null 2>&1; echo $? >"$status_file" ) &
  title='^ZENKA - Удаление$'
  box=$(wait_for 20 xdotool search --name "$title" && xdotool search --name "$title" | head -1)
  [ -n "$box" ] || fail "no confirmation box"
  mkdir -p "$SAMPLE_DIR/screenshots"
  import -window "$box" "$SAMPLE_DIR/screenshots/uninstall-confirmation.png" 2>/dev/null || true
  # Yes sits left of the default No.
  xdotool mousemove --window "$box" 5 5 click 1
  sleep 0.3
  xdotool key shift+Tab Return
  # Then the box that reports the result, a new window with the same caption.
  done_box=
  for _ in $(seq 100); do
    done_box=$(xdotool search --name "$title" 2>/dev/null | grep -vx "$box" | head -1)
    [ -n "$done_box" ] && break
    sleep 0.2
  done
  [ -n "$done_box" ] || fail "no result box after Yes"
  xdotool mousemove --window "$done_box" 5 5 click 1
  sleep 0.3
  xdotool key Return
  wait_for 20 test -f "$status_file" || fail "updater did not end after the result box"
  wait
  status=$(cat "$status_file")
  [ "$status" -eq 0 ] || fail "confirmed uninstall exited with $status"
  expect_registration_gone
  wait_for 30 test ! -e "$install_unix" ||
    fail "updater or installation directory left: $(ls -A "$install_unix")"
  expect_others_intact
  ;;
Stopped)
  # A run ended after two deletions, as a kill would end it: the key, the links, the list and the
  # updater are still there, and the registered command run again finishes the job.
  make_installation
  ZENKA_TEST_STOP_AFTER_DELETES=2 run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 9 ] || fail "the stopped run exited with $status"
  [ ! -e "$install_unix/ZENKA.exe" ] && [ -f "$install_unix/data/config.ini" ] ||
    fail "not stopped after two files: $(cd "$install_unix" && find . | tr '\n' ' ')"
  expect_registration_kept
  run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 0 ] || fail "the second run exited with $status"
  expect_registration_gone
  wait_for 30 test ! -e "$install_unix" || fail "left: $(cd "$install_unix" && find . | tr '\n' ' ')"
  expect_others_intact
  ;;
LinkedFolder)
  # An ordinary user put a link to a folder elsewhere in place of data\: the link and what it
  # points to stay, the rest of the package goes, and the key stays with the incomplete code.
  make_installation
  mkdir -p "$base_unix/elsewhere/cache"
  echo "not ZENKA's" >"$base_unix/elsewhere/config.ini"
  echo "not ZENKA's" >"$base_unix/elsewhere/cache/Лицензия.txt"
  rm -rf "$install_unix/data"
  ln -s "$base_unix/elsewhere" "$install_unix/data"
  run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  [ $status -eq 5 ] || fail "the uninstall over a linked folder exited with $status"
  [ -L "$install_unix/data" ] && [ -f "$base_unix/elsewhere/config.ini" ] &&
    [ -f "$base_unix/elsewhere/cache/Лицензия.txt" ] || fail "the linked folder or its target was touched"
  [ ! -e "$install_unix/ZENKA.exe" ] || fail "the files outside the link stayed"
  expect_registration_kept
  expect_others_intact
  ;;
TempFull)
  # The temporary folder is a full disk, so the copy that removes this program cannot be made:
  # everything else goes, and this program and its folder are left marked for the restart.
  [ "$(id -u)" -eq 0 ] || { echo "skipped: a full disk is a tmpfs mount, and mounting needs root"; exit 77; }
  make_installation
  small_drive="$WINEPREFIX/e2e-drives/uninstall-q"
  mkdir -p "$small_drive"
  mount -t tmpfs -o size=64k,mode=0777 zenka-uninstall "$small_drive" || fail "mount"
  head -c 1M /dev/zero >"$small_drive/fill" 2>/dev/null
  ln -sfn "$small_drive" "$WINEPREFIX/dosdevices/q:"
  # The marks wait for the next start of Windows, and a Wine prefix starts whenever its wineserver
  # does: the first program of a new server carries them out. So one server for the whole case,
  # as one Windows session (a no-op when the persistent one runs), and what is left is read before
  # Wine runs anything again; a server that changed all the same fails the case for that reason.
  setsid wineserver -p </dev/null >/dev/null 2>&1 || true
  run reg query "$SESSION" /v PendingFileRenameOperations >/dev/null 2>&1 && pending_before=1 || pending_before=0
  server=$(server_pid)
  # Wine takes a program's TEMP from the registry when started from outside; a Windows parent
  # passes its own on.
  run cmd /c "set TMP=Q:\&& set TEMP=Q:\&& $install_win\zenka-updater.exe --uninstall --quiet" >/dev/null 2>&1
  status=$?
  left=$(cd "$install_unix" 2>/dev/null && find . | sort | tr '\n' ' ')
  pending=$(run reg query "$SESSION" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r')
  [ -n "$server" ] && [ "$(server_pid)" = "$server" ] ||
    fail "the prefix's wineserver changed during the case (${server:-none} to $(server_pid)): a new one boots the prefix"
  [ $pending_before -eq 1 ] || run reg delete "$SESSION" /v PendingFileRenameOperations /f >/dev/null 2>&1
  [ $status -eq 7 ] || fail "the uninstall with a full temporary folder exited with $status"
  expect_registration_gone
  [ "$left" = ". ./zenka-updater.exe " ] || fail "left: $left"
  for marked in "$install_win\zenka-updater.exe" "$install_win"; do
    grep -qiF "\\??\\$marked" <<<"$pending" || fail "$marked is not marked for the restart: $pending"
  done
  ;;
HeldList)
  # Another program holds the list: past the waits nothing at all is touched and the run is
  # incomplete; a hold of a few seconds is waited out.
  make_installation
  hold "$install_win\\zenka-files.txt" 14000
  run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  wait
  [ $status -eq 5 ] || fail "the uninstall with the list held for good exited with $status"
  expect_installation_intact
  hold "$install_win\\zenka-files.txt" 3000
  run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  wait
  [ $status -eq 0 ] || fail "the uninstall with the list held for a moment exited with $status"
  expect_registration_gone
  [ ! -e "$install_unix/ZENKA.exe" ] || fail "the files stayed"
  expect_others_intact
  ;;
HeldProgram)
  # The launcher's file held past the waits: "complete at the restart", and the registry shows
  # the marks of the file and its folder once the copy has finished. Read while the holder runs:
  # a prefix whose last program has ended acts on the marks as a restart would.
  make_installation
  run reg query "$SESSION" /v PendingFileRenameOperations >/dev/null 2>&1 && pending_before=1 || pending_before=0
  hold "$install_win\\ZENKA.exe" 120000
  run "$install_unix/zenka-updater.exe" --uninstall --quiet >/dev/null 2>&1
  status=$?
  wait_for 20 test ! -e "$install_unix/zenka-updater.exe" || fail "the copy did not remove the updater"
  sleep 1
  pending=$(run reg query "$SESSION" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r')
  kill "$holder"
  wait
  [ $pending_before -eq 1 ] || run reg delete "$SESSION" /v PendingFileRenameOperations /f >/dev/null 2>&1
  [ $status -eq 7 ] || fail "the uninstall with a held launcher exited with $status"
  expect_registration_gone
  for marked in "$install_win\ZENKA.exe" "$install_win"; do
    grep -qiF "\\??\\$marked\\0" <<<"$pending" || fail "$marked is not marked for the restart: $pending"
  done
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
