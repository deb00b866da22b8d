#!/usr/bin/env bash
# End-to-end check of the editor in a real X server: start modelsmith under Xvfb, find its window
# by the title "Modelsmith", take a screenshot, load the bundled skeleton with "Load Sceleton",
# click on a bone in the viewport and see the "Envelope" edits fill, press Escape, answer No to
# the save question, and expect the program to end with status 0.
# Usage: window_e2e.sh MODELSMITH_BINARY SCREENSHOT.png
set -euo pipefail
binary=$1
shot=$2
samples=$(cd "$(dirname "$0")/../../samples" && pwd)
for tool in Xvfb xdotool xwd xwdtopnm pnmtopng pamcut; do
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

# The skeleton. Positions are client pixels of the window (dialog units x 1.5 and x 1.625; the
# viewport starts at x = 378): "Load Sceleton" at (135, 877); the Envelope edits in the rectangle
# from (414, 721) to (558, 819); a bone of the sample figure at viewport pixel (498, 271), in the
# middle of its projected segment as the start-up camera sees it.
main=$(xdotool search --onlyvisible --name '^Modelsmith$' | head -n 1)
envelope_edits() { xwd -id "$main" -silent | xwdtopnm 2>/dev/null | pamcut -left 414 -top 721 -width 144 -height 98; }
windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }
xdotool windowfocus --sync "$main" 2>/dev/null || true
shown=$(windows)
xdotool mousemove --window "$main" 135 877 click 1
dialog=
for _ in $(seq 50); do
  dialog=$(windows | comm -13 <(echo "$shown") - | head -n 1 || true)
  [ -n "$dialog" ] && break
  sleep 0.1
done
if [ -z "$dialog" ]; then
  echo "window_e2e: Load Sceleton asked for no file; the skeleton check is skipped"
else
  sleep 0.5
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  xdotool type --delay 10 "$samples/figure.x"
  # A completion list may take the first Return.
  for _ in 1 2 3; do
    xdotool key Return
    sleep 0.5
    windows | grep -qx "$dialog" || break
  done
  windows | grep -qx "$dialog" && { echo "window_e2e: the file dialog did not accept $samples/figure.x"; exit 1; }
  sleep 0.5
  before_click=$(envelope_edits | md5sum)
  xdotool mousemove --window "$main" $((378 + 498)) 271 click 1
  changed=
  for _ in $(seq 30); do
    [ "$(envelope_edits | md5sum)" != "$before_click" ] && { changed=1; break; }
    sleep 0.1
  done
  [ -n "$changed" ] || { echo "window_e2e: a click on a bone showed no envelope values"; exit 1; }
  echo "window_e2e: a click on a bone showed its envelope"
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "${shot%.png}-envelope.png"
fi

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
