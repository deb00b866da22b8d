#!/usr/bin/env bash
# End-to-end check of the editor in a real X server: start modelsmith under Xvfb, find its window
# by the title "Modelsmith", take a screenshot; Replace the model with SAMPLE.x through the real
# file dialog and see the tree fill; Load Sceleton from it and save a skin file through "Save";
# click on a bone in the viewport and see the "Envelope" edits fill; then press Escape, answer No to the save question, and expect the program to end with status 0.
# Usage: window_e2e.sh MODELSMITH_BINARY SCREENSHOT.png SAMPLE.x
set -euo pipefail
binary=$1
shot=$2
sample=$3
for tool in Xvfb xdotool xwd xwdtopnm pnmtopng pamcut pamsumm; do
  command -v "$tool" >/dev/null || { echo "window_e2e: $tool is missing"; exit 1; }
done

# Xvfb picks a free display itself and writes its number (other X servers may run beside it).
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$work/display" &
xvfb=$!
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "window_e2e: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

QT_QPA_PLATFORM=xcb "$binary" &
app=$!
timeout 20 xdotool search --sync --name '^Modelsmith$' >/dev/null || { echo "window_e2e: no window titled Modelsmith"; exit 1; }
sleep 1
before=$(xdotool search --name '^Modelsmith$' | sort)
window=$(echo "$before" | tail -n 1)
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "$shot"
echo "window_e2e: screenshot saved to $shot"

# The main window is the one of that title that has the window's size (Qt makes a 1 x 1 helper).
main=
for candidate in $before; do
  eval "$(xdotool getwindowgeometry --shell "$candidate")"  # X, Y, WIDTH, HEIGHT
  if [ "$WIDTH" -gt 100 ]; then main=$candidate; break; fi
done
[ -n "$main" ] || { echo "window_e2e: no main window of full size"; exit 1; }
left=$X
top=$Y
# Dialog units of the window's template (846 x 558) to pixels of the window.
px() { echo $(( $1 * WIDTH / 846 )); }
py() { echo $(( $1 * HEIGHT / 558 )); }
click_at() {  # dialog-unit centre of a control
  xdotool mousemove --window "$main" "$(px "$1")" "$(py "$2")" click 1
}
# The mean brightness of the tree control's inside (dialog units 6,12,174,108).
tree_mean() {
  xwd -root -silent | xwdtopnm 2>/dev/null |
    pamcut -left $(( left + $(px 6) + 4 )) -top $(( top + $(py 12) + 4 )) -width $(( $(px 174) - 8 )) -height $(( $(py 108) - 8 )) |
    pamsumm -mean -brief
}
# Answers the next file dialog (titled Open or Save As) with a path typed as a user would.
answer_file_dialog() {
  local dialog=
  for _ in $(seq 100); do
    dialog=$(xdotool search --name '^(Open|Save As)' 2>/dev/null | head -n 1 || true)
    [ -n "$dialog" ] && break
    sleep 0.1
  done
  [ -n "$dialog" ] || { echo "window_e2e: no file dialog appeared"; exit 1; }
  sleep 0.5
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  xdotool key ctrl+a
  xdotool type --delay 10 "$1"
  sleep 0.3
  xdotool key Return
  for _ in $(seq 100); do
    xdotool search --name '^(Open|Save As)' >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  echo "window_e2e: the file dialog did not close"; exit 1
}

# Replace (1003) with the sample: the tree fills with its frames and darkens.
empty_tree=$(tree_mean)
click_at 216 24
answer_file_dialog "$sample"
sleep 1
filled_tree=$(tree_mean)
echo "window_e2e: tree brightness $empty_tree before Replace, $filled_tree after"
awk -v a="$empty_tree" -v b="$filled_tree" 'BEGIN { exit !(b < 0.999 * a) }' ||
  { echo "window_e2e: the tree shows nothing after Replace"; exit 1; }

# Load Sceleton (1085) from the sample, then Save (1083) as a skin file.
click_at 90 540
answer_file_dialog "$sample"
click_at 42 540
answer_file_dialog "$work/e2e.skn"
for _ in $(seq 50); do [ -s "$work/e2e.skn" ] && break; sleep 0.1; done
[ "$(head -c 17 "$work/e2e.skn" 2>/dev/null)" = KORVENSTAHL_SCENE ] || { echo "window_e2e: no skin file saved"; exit 1; }
size=$(stat -c %s "$work/e2e.skn")
[ "$size" -gt 29 ] || { echo "window_e2e: the saved skin file holds no bones ($size bytes)"; exit 1; }
echo "window_e2e: skin file of $size bytes saved"

# A click on a bone of the loaded skeleton fills the Envelope edits. Positions are client pixels:
# the Envelope edits lie from (414, 721) to (558, 819); a bone of the sample figure lies at
# viewport pixel (498, 271) (the viewport starts at x = 378), in the middle of its projected
# segment as the start-up camera sees it.
envelope_edits() { xwd -id "$main" -silent | xwdtopnm 2>/dev/null | pamcut -left 414 -top 721 -width 144 -height 98; }
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

# Keys go to the focused window as a user's would (events sent to a window directly are ignored).
before=$(xdotool search --name '^Modelsmith$' | sort)
xdotool windowfocus --sync "$main" 2>/dev/null || true
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
