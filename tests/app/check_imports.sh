#!/usr/bin/env bash
# The setup must start on a bare Windows: every DLL it imports is one that Windows itself ships.
#   check_imports.sh OBJDUMP EXE
set -euo pipefail
allowed='^(advapi32|bcrypt|comctl32|gdi32|kernel32|rstrtmgr|shell32|user32|winhttp|dwmapi|msvcrt|ole32|oleaut32|shlwapi|psapi)\.dll$'
imports=$("$1" -p "$2" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no imports found in $2"; exit 1; }
bad=$(grep -vE "$allowed" <<<"$imports" || true)
echo "imports:" $imports
[ -z "$bad" ] || { echo "not a Windows system DLL:" $bad; exit 1; }
