#!/usr/bin/env bash
# The programs start elevated from folders anyone may write to (a download folder, a temporary
# folder), so none may load a DLL from its own folder. Windows never looks there for its KnownDLLs,
# nor for comctl32, which the manifests bind to the system's side-by-side copy: those are all an
# import table may name; every other system DLL is delay-loaded after the search is limited to
# System32. Each exe also carries a load configuration whose DependentLoadFlags is
# LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800), which Windows applies to what the imported DLLs import.
#   check_imports.sh OBJDUMP EXE...
set -euo pipefail
objdump=$1
shift
# Windows 10's KnownDLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs).
known='advapi32|clbcatq|combase|comdlg32|coml2|difxapi|gdi32|gdiplus|imagehlp|imm32|kernel32|msctf|msvcrt|normaliz|nsi|ole32|oleaut32|psapi|rpcrt4|sechost|setupapi|shcore|shell32|shlwapi|user32|wldap32|ws2_32'
# ntdll is mapped into every process before its first instruction, so it is never searched for.
allowed="^($known|comctl32|ntdll)\.dll\$"
failed=0
for exe in "$@"; do
  name=$(basename "$exe")
  headers=$("$objdump" -p "$exe")
  imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
  [ -n "$imports" ] || { echo "$name: no imports found"; failed=1; continue; }
  echo "$name imports:" $imports
  bad=$(grep -vE "$allowed" <<<"$imports" || true)
  [ -z "$bad" ] || { echo "$name: imports DLLs Windows may search its folder for:" $bad; failed=1; }

  # Data directory 10 (objdump's "Entry a": RVA and size), then the structure it points at as
  # Windows reads it: Size at offset 0, DependentLoadFlags (a little-endian WORD) at 0x4E.
  read -r rva size < <(awk '/^Entry a /{print $3, $4}' <<<"$headers")
  base=$(awk '/^ImageBase/{print $2}' <<<"$headers")
  if [ "$((0x$rva))" = 0 ]; then
    echo "$name: no load-config directory"; failed=1; continue
  fi
  word_at() {  # little-endian number of $2 bytes at RVA + $1
    local start=$((0x$base + 0x$rva + $1)) hex
    hex=$("$objdump" -s --start-address=$start --stop-address=$((start + $2)) "$exe" |
          awk '/^ [0-9a-f]+ /{print $2}')
    [ ${#hex} = $(($2 * 2)) ] || { echo "?"; return; }
    local value="" i
    for ((i = ${#hex} - 2; i >= 0; i -= 2)); do value+=${hex:i:2}; done
    echo $((0x$value))
  }
  struct_size=$(word_at 0 4)
  flags=$(word_at 0x4e 2)
  echo "$name load config: directory size $((0x$size)), Size field $struct_size, DependentLoadFlags $(printf 0x%x "$flags" 2>/dev/null || echo "$flags")"
  [ "$struct_size" = "$((0x$size))" ] && [ "$struct_size" -ge $((0x50)) ] ||
    { echo "$name: the load configuration's size is wrong or does not reach DependentLoadFlags"; failed=1; }
  [ "$flags" = $((0x800)) ] || { echo "$name: DependentLoadFlags is not 0x800"; failed=1; }
done
exit $failed
