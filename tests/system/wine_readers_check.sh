#!/usr/bin/env bash
# Looks at what the system steps leave in the Wine prefix with readers that are not our code:
# lnkinfo for the links, reg and uninstaller for the uninstall entry, and Unix-side links and
# permissions for the size walk.
#   wine_readers_check.sh SOURCE_DIR PREFIX PROBE_EXE shortcuts|uninstall|dirsize
set -euo pipefail
source_dir=$1 prefix=$2 probe=$3 section=$4
wine_run() { "$source_dir/tools/wine-run" "$prefix" "$@" </dev/null | tr -d '\r'; }
unix_path() { wine_run winepath -u "$1"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

# expect_line TEXT LINE: TEXT has LINE as one of its lines, exactly.
expect_line() { grep -qxF -- "$2" <<<"$1" || { printf '%s\n' "$1" >&2; fail "missing line: $2"; }; }

check_shortcuts() {
  local target='C:\Games\ZENKA Script Check'
  local links
  links=$(wine_run "$probe" shortcuts "$target") || fail "probe reported a failed shortcut"
  local count=0 lnkinfo_version
  lnkinfo_version=$(lnkinfo -V | awk 'NR == 1 {print $2}')
  while IFS= read -r link; do
    local file info
    file=$(unix_path "$link")
    trap "rm -f '$file'" EXIT
    [ -f "$file" ] || fail "no link file at $link ($file)"
    info=$(lnkinfo "$file")
    # lnkinfo from 2024 on (Debian 13) prints each backslash in a string as two.
    [ "$lnkinfo_version" -ge 20240000 ] && info=${info//\\\\/\\}
    expect_line "$info" $'\tLocal path\t\t\t: '"$target"'\ZENKA.exe'
    expect_line "$info" $'\tWorking directory\t\t: '"$target"
    expect_line "$info" $'\tDescription\t\t\t: ZENKA Game Launcher & Library Manager'
    expect_line "$info" $'\tIcon location\t\t\t: '"$target"'\ZENKA.exe'
    expect_line "$info" $'\tIcon index\t\t\t: 0'
    rm -f "$file"
    count=$((count + 1))
  done <<<"$links"
  trap - EXIT
  [ "$count" = 2 ] || fail "expected two links, got $count"
}

check_uninstall() {
  local key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZENKA'
  local target='C:\zenka-script-uninstall'
  local dir
  dir=$(unix_path "$target")
  # Expanded now: the trap runs after this function's locals are gone.
  trap "rm -rf '$dir'; wine_run reg delete '$key' /f >/dev/null 2>&1 || true" EXIT
  mkdir -p "$dir/bin"
  head -c 3000 /dev/zero >"$dir/ZENKA.exe"
  head -c 2000 /dev/zero >"$dir/bin/core.dll"
  wine_run "$probe" uninstall "$target" 2.1.0 || fail "RegisterUninstallEntry returned false"

  local values
  values=$(wine_run reg query "$key")
  local t=$'    ' # reg separates name, type and data by four spaces
  expect_line "$values" "${t}DisplayName${t}REG_SZ${t}ZENKA"
  expect_line "$values" "${t}DisplayVersion${t}REG_SZ${t}2.1.0"
  expect_line "$values" "${t}Publisher${t}REG_SZ${t}ZENKA Team"
  expect_line "$values" "${t}DisplayIcon${t}REG_SZ${t}$target\\ZENKA.exe,0"
  expect_line "$values" "${t}InstallLocation${t}REG_SZ${t}$target"
  expect_line "$values" "${t}UninstallString${t}REG_SZ${t}\"$target\\zenka-updater.exe\" --uninstall"
  expect_line "$values" "${t}QuietUninstallString${t}REG_SZ${t}\"$target\\zenka-updater.exe\" --uninstall --quiet"
  expect_line "$values" "${t}EstimatedSize${t}REG_DWORD${t}0x4"
  expect_line "$values" "${t}NoModify${t}REG_DWORD${t}0x1"
  expect_line "$values" "${t}NoRepair${t}REG_DWORD${t}0x1"
  expect_line "$values" "${t}URLInfoAbout${t}REG_SZ${t}https://zenka.app"
  expect_line "$values" "${t}HelpLink${t}REG_SZ${t}https://zenka.app"
  grep -qE "^${t}InstallDate${t}REG_SZ${t}[0-9]{8}\$" <<<"$values" || fail "InstallDate is not eight digits"
  [ "$(grep -c "${t}REG_" <<<"$values")" = 13 ] || fail "expected exactly 13 values"

  # Wine's own list of installed programs: "key|||display name".
  # Wine 8's uninstaller writes the list to standard output, Wine 10's to standard error.
  expect_line "$(wine_run uninstaller --list 2>&1)" 'ZENKA|||ZENKA'
}

check_dirsize() {
  local target='C:\zenka-script-size'
  local dir
  dir=$(unix_path "$target")
  trap "chmod -R u+rwx '$dir' 2>/dev/null; rm -rf '$dir'" EXIT
  rm -rf "$dir"
  mkdir -p "$dir/tree" "$dir/outside"
  head -c 100 /dev/zero >"$dir/tree/ZENKA.exe"
  for sibling in a b c d e f; do
    mkdir -p "$dir/tree/$sibling"
    head -c 10 /dev/zero >"$dir/tree/$sibling/file"
  done
  mkdir -p "$dir/tree/locked"
  head -c 1000 /dev/zero >"$dir/tree/locked/file"
  head -c 5000 /dev/zero >"$dir/outside/big"
  ln -s ../outside "$dir/tree/linked"   # Wine shows these as linked directories
  ln -s .. "$dir/tree/a/loop"           # and this one would be walked round and round

  local size
  size=$(wine_run "$probe" dirsize "$target\\tree")
  [ "$size" = 1160 ] || fail "size with the links in the tree: $size, expected 1160"

  chmod 000 "$dir/tree/locked"
  # Root reads any directory: Wine runs without root's file rights here, so the locked one is
  # unreadable to it as it would be to a user.
  local unprivileged=()
  [ "$(id -u)" = 0 ] && unprivileged=(capsh --drop=cap_dac_override,cap_dac_read_search -- -c 'exec "$0" "$@"')
  size=$("${unprivileged[@]}" "$source_dir/tools/wine-run" "$prefix" "$probe" dirsize "$target\\tree" </dev/null |
    tr -d '\r')
  [ "$size" = 160 ] || fail "size with an unreadable subdirectory: $size, expected 160"
}

case $section in
  shortcuts) check_shortcuts ;;
  uninstall) check_uninstall ;;
  dirsize) check_dirsize ;;
  *) fail "unknown section $section" ;;
esac
echo "ok: $section"
