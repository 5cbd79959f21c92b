#!/usr/bin/env bash
# tools/wine-run leaves no Windows program behind: when it is killed outright (as a CTest time-out
# does), when whoever started it is killed, and when it is asked to end (as an interrupted run
# does), the program it started (here the sample launcher, whose window stays open until closed) is
# ended within seconds.
# Environment: WINEPREFIX, ZENKA_SOURCE_DIR, SAMPLE_DIR (set by CTest).
set -uo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
wine_run=$ZENKA_SOURCE_DIR/tools/wine-run

# The launchers carrying this run's mark. Wine's own services may carry it too, when this run
# started them; wine-run and its watcher name the launcher but run bash.
programs() {
  local environ pid
  for environ in $(grep -lz "^WINE_RUN_TEST_MARK=$mark\$" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${environ#/proc/}; pid=${pid%/environ}
    case $(readlink "/proc/$pid/exe") in */wine*) ;; *) continue ;; esac
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'ZENKA\.exe' && echo "$pid"
  done
}
wait_until() { # wait_until SECONDS COMMAND...: true once COMMAND succeeds
  local tries=$(($1 * 5)); shift
  for ((; tries > 0; tries--)); do "$@" && return 0; sleep 0.2; done
  return 1
}
running() { [ -n "$(programs)" ]; }
gone() { [ -z "$(programs)" ]; }

# check HOW: starts the launcher through wine-run, ends the run as HOW says, and wants the launcher gone.
check() {
  mark=$1-$$-$RANDOM
  export WINE_RUN_TEST_MARK=$mark
  case $1 in
    killed | terminated) "$wine_run" "$WINEPREFIX" "$SAMPLE_DIR/ZENKA.exe" </dev/null >/dev/null 2>&1 & ;;
    starter-killed) bash -c '"$@"; echo the starter outlived its kill' _ "$wine_run" "$WINEPREFIX" \
                      "$SAMPLE_DIR/ZENKA.exe" </dev/null >/dev/null 2>&1 & ;;
  esac
  local started=$!
  wait_until 30 running || fail "$1: the launcher did not start"
  case $1 in
    killed | starter-killed) kill -KILL "$started" ;;
    terminated) kill -TERM "$started" ;;
  esac
  wait_until 10 gone || fail "$1: the launcher still runs 10 s after its run ended: $(programs)"
  wait "$started" 2>/dev/null
  echo "ok: $1"
}

check killed
check starter-killed
check terminated
