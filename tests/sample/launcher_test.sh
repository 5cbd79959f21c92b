#!/usr/bin/env bash
# ZENKA.exe opens its dark window titled "ZENKA", shows where it runs from, and closes normally.
# Environment: WINEPREFIX, ZENKA_SOURCE_DIR, SAMPLE_DIR (set by CTest).
set -uo pipefail
export WINEDEBUG=-all
if [ -z "${DISPLAY:-}" ] && [ -f "$WINEPREFIX/.display" ]; then
  DISPLAY=$(cat "$WINEPREFIX/.display")
  export DISPLAY
fi
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status_file="$work/status"
( cd "$SAMPLE_DIR" &&
    "$ZENKA_SOURCE_DIR/tools/wine-run" "$WINEPREFIX" ./ZENKA.exe </dev/null >/dev/null 2>&1
  echo $? >"$status_file" ) &
window=
for _ in $(seq 100); do
  window=$(xdotool search --name '^ZENKA$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || fail "no window titled ZENKA"
sleep 0.5

# The client area is dark and carries bright text: the title and the two paths.
import -window "$window" "$work/launcher.png" || fail "screenshot"
convert "$work/launcher.png" -format '%[pixel:p{600,200}]\n' info: >"$work/corner"
grep -q 'srgb(18,18,24)' "$work/corner" || fail "background is $(cat "$work/corner")"
bright=$(convert "$work/launcher.png" -crop 580x150+20+20 -colorspace gray -threshold 60% \
         -format '%[fx:mean*w*h]' info:)
[ "${bright%.*}" -gt 500 ] || fail "too little text drawn ($bright bright pixels)"
# Under each label a value line: the program path and the current folder (both this build's
# sample folder, some 250 to 350 pixels wide), clearly wider than an empty or missing value.
text_width() {
  convert "$work/launcher.png" -crop "580x18+20+$1" -colorspace gray -threshold 60% -trim \
    -format '%w' info: 2>/dev/null || echo 0
}
path_width=$(text_width 97)
folder_width=$(text_width 152)
[ "$path_width" -gt 200 ] || fail "program path not drawn (width $path_width)"
[ "$folder_width" -gt 200 ] || fail "current folder not drawn (width $folder_width)"
mkdir -p "$SAMPLE_DIR/screenshots" && cp "$work/launcher.png" "$SAMPLE_DIR/screenshots/launcher.png"

# Closing it the ordinary way ends the program with 0.
xdotool mousemove --window "$window" 300 200 click 1
sleep 0.3
xdotool key alt+F4
for _ in $(seq 50); do [ -f "$status_file" ] && break; sleep 0.2; done
if [ ! -f "$status_file" ]; then
  xdotool search --name '^ZENKA$' | xargs -r -n1 xdotool windowkill
  fail "window did not close"
fi
wait
[ "$(cat "$status_file")" = 0 ] || fail "launcher exited with $(cat "$status_file")"
echo PASS
