#!/usr/bin/env bash
# End-to-end check of the editor in a real X server: start modelsmith under Xvfb, find its window
# by the title "Modelsmith", take a screenshot, press Escape, answer No to the save question, and
# expect the program to end with status 0.
# Usage: window_e2e.sh MODELSMITH_BINARY SCREENSHOT.png
set -euo pipefail
binary=$1
shot=$2
for tool in Xvfb xdotool xwd xwdtopnm pnmtopng; do
  command -v "$tool" >/dev/null || { echo "window_e2e: $tool is missing"; exit 1; }
done

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp &
xvfb=$!
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

QT_QPA_PLATFORM=xcb "$binary" &
app=$!
timeout 20 xdotool search --sync --name '^Modelsmith$' >/dev/null || { echo "window_e2e: no window titled Modelsmith"; exit 1; }
sleep 1
before=$(xdotool search --name '^Modelsmith$' | sort)
window=$(echo "$before" | tail -n 1)
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "$shot"
echo "window_e2e: screenshot saved to $shot"

# Keys go to the focused window as a user's would (events sent to a window directly are ignored).
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key Escape
question=
for _ in $(seq 100); do
  question=$(xdotool search --name '^Modelsmith$' | sort | comm -13 <(echo "$before") - | head -n 1 || true)
  [ -n "$question" ] && break
  sleep 0.1
done
[ -n "$question" ] || { echo "window_e2e: the save question did not appear"; exit 1; }
xdotool windowfocus --sync "$question" 2>/dev/null || true
xdotool key alt+n

status=0
for _ in $(seq 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then echo "window_e2e: the program did not end after No"; exit 1; fi
wait "$app" || status=$?
app=
echo "window_e2e: modelsmith ended with status $status"
exit "$status"
