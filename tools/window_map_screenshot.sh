#!/usr/bin/env bash
# Screenshot of the window showing a weather map: under a private Xvfb server
# it opens the bundled RSM sample through File, Open, keeps "Image" and
# "display" and presses Execute; the map drawn into tmp.bmp appears in the
# picture area. Needs Xvfb, xdotool and ImageMagick's import.
#
#   tools/window_map_screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
#
# Default: build, docs/window-map.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(realpath "${1:-build}")
output=$(realpath -m "${2:-docs/window-map.png}")
kivar="$build/app/kivar"
sample="$build/data/sample_rsm.gpv"

work=$(mktemp -d /tmp/kivar-shot.XXXXXX)
xvfb_pid="" app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2> /dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null && wait "$xvfb_pid" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"

trace="$work/trace.txt"
wait_trace() {
    for _ in $(seq 200); do
        grep -qE "$1" "$trace" 2> /dev/null && return 0
        sleep 0.1
    done
    echo "window_map_screenshot: gave up waiting for '$1'" >&2
    exit 1
}

cp "$root/data/map.dat" "$work/map.dat"
cp "$sample" "$work/sample_rsm.gpv"
: > "$trace"
(cd "$work" && KIVAR_GUI_TRACE="$trace" exec "$kivar" > "$work/stdout" 2> "$work/stderr") &
app_pid=$!
wait_trace '^shown$'
win=$(xdotool search --onlyvisible --classname '^kivar$' | head -1)
xdotool windowfocus --sync "$win"

xdotool key alt+f
sleep 0.3
xdotool key o
wait_trace '^chooser	'
sleep 1
chooser=$(xdotool search --onlyvisible --name '^Open$' | head -1)
xdotool windowfocus --sync "$chooser"
xdotool type --delay 50 "sample_rsm.gpv" # over the preset pattern, in the start folder
sleep 0.3
xdotool key Return
wait_trace '^title	'
xdotool windowfocus --sync "$win"
sleep 0.3
# Clicks at a point of the window given in dialog units (2 pixels each, below
# the menu bar).
click_units() { xdotool mousemove --window "$win" $(($1 * 2 + 6)) $((26 + $2 * 2 + 8)) click 1; }
# Temperature (the second item) at hour 24 (the ninth hour).
click_units 90 68
sleep 0.5
xdotool key Down Return
sleep 0.3
click_units 90 46
sleep 0.5
xdotool key Down Down Down Down Down Down Down Down Return
sleep 0.3
click_units 58 325 # Execute, with "Image" and "display" preselected
wait_trace '^text	116	plot OK$'
sleep 0.5
import -window "$win" "$output"
echo "window_map_screenshot: $output"
