#!/usr/bin/env bash
# The setup is downloaded before anything else happens, so its size is held to a budget.
#   check_size.sh EXE LIMIT_BYTES
set -euo pipefail
size=$(stat -c %s "$1")
echo "$1: $size bytes, budget $2 bytes"
[ "$size" -le "$2" ] || { echo "over the budget by $((size - $2)) bytes"; exit 1; }
