#!/usr/bin/env bash
# Test fixture of the download tests: the packages they fetch, an nginx release server and the
# fault-injecting server, all on loopback.   servers.sh start|stop STATE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$here/../../tools
state=$2
case $1 in
start)
  mkdir -p "$state/www/releases/stable" "$state/work"
  big=$state/www/releases/stable/ZENKA-latest-full.zip
  if [ ! -s "$big" ]; then
    # 48 MiB: enough to resume from 40 MiB; random so that a misplaced byte changes the digest.
    head -c $((48 << 20)) /dev/urandom >"$big.tmp"
    mv "$big.tmp" "$big"
  fi
  sha256sum "$big" | cut -d' ' -f1 >"$big.sha256"
  small=$state/www/small.bin
  if [ ! -s "$small" ]; then
    head -c $((4 << 20)) /dev/urandom >"$small.tmp"
    mv "$small.tmp" "$small"
  fi
  "$tools/release-server" start "$state/www" "$state/nginx" >/dev/null
  python3 "$tools/fault_server.py" start "$state/fault" >/dev/null
  ;;
stop)
  "$tools/release-server" stop "$state/nginx"
  python3 "$tools/fault_server.py" stop "$state/fault"
  ;;
*) exit 2 ;;
esac
