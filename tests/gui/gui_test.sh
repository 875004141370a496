#!/usr/bin/env bash
# The desktop window as a user meets it, under a private Xvfb server driven by
# xdotool. The window reports what it shows through KIVAR_GUI_TRACE.
#
#   gui_test.sh KIVAR FLTK_DRIVER X11_PROBE MAP_DAT SAMPLE_GPV BUILD_DIR
#
# Exits 77 (skipped) only when Xvfb is not installed.
set -uo pipefail

abs() { realpath -m "$1"; }
kivar=$(abs "$1") driver=$(abs "$2") probe=$(abs "$3") map=$(abs "$4") sample=$(abs "$5") build=$(abs "$6")
sample_name=$(basename "$sample")

if ! command -v Xvfb > /dev/null; then
    echo "SKIP: Xvfb is not installed"
    exit 77
fi
for tool in xdotool import; do
    command -v "$tool" > /dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done

# Under LeakSanitizer: the font library's caches live until the process ends.
export LSAN_OPTIONS="suppressions=$(dirname "$(realpath "$0")")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

work=$(mktemp -d /tmp/kivar-gui.XXXXXX)
xvfb_pid="" app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2> /dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null && wait "$xvfb_pid" 2> /dev/null
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

failures=0 passes=0
pass() { echo "ok: $*"; passes=$((passes + 1)); }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Passes as $3 when $1 equals $2.
same() { [ "$1" = "$2" ] && pass "$3" || fail "$3: '$1', want '$2'"; }
# Passes as $2 when the trace has a line matching the Perl regex $1
# (the whole trace is shown at the end when anything failed).
traced() { grep -qP "$1" "$trace" && pass "$2" || fail "$2: no trace line matches $1"; }
# Passes as $2 once the trace has a line matching the extended regex $1.
awaited() { wait_trace "$1" && pass "$2" || fail "$2: no trace line matches $1"; }
fatal() {
    echo "FAIL: $*"
    timeout 10 import -window root "$build/gui-failure.png" 2> /dev/null && echo "screen: $build/gui-failure.png"
    [ -n "${trace:-}" ] && { echo "-- trace:"; cat "$trace"; echo "-- stderr:"; cat "${trace%/*}/stderr"; }
    exit 1
}

# Xvfb picks a free display number itself and tells it through a file descriptor.
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fatal "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -1 "$work/display")"

# Waits until the trace has a line matching the extended regex $1.
wait_trace() {
    for _ in $(seq 100); do
        grep -qE "$1" "$trace" 2> /dev/null && return 0
        sleep 0.1
    done
    return 1
}
# The last trace line of a control: "list ID" or "text ID".
last() { grep -P "^$1\t$2\t" "$trace" | tail -1 | cut -f3-; }
# Waits for a visible window whose name matches $1 and prints its id.
find_window() {
    for _ in $(seq 100); do
        local id
        id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
# Starts a program in a fresh folder $1 and waits for its window.
start() {
    local dir=$1 prog=$2
    shift 2
    trace="$dir/trace.txt"
    : > "$trace"
    (cd "$dir" && KIVAR_GUI_TRACE="$trace" exec "$prog" "$@" > "$dir/stdout" 2> "$dir/stderr") &
    app_pid=$!
    wait_trace '^shown$' || fatal "$(basename "$prog") did not show its window"
    win=$(xdotool search --onlyvisible --classname '^kivar$' | head -1)
    [ -n "$win" ] || fatal "no window of class kivar"
    xdotool windowfocus --sync "$win"
}
# Waits for the program to end and checks its exit status.
expect_exit() {
    local want=$1 what=$2 rc
    for _ in $(seq 100); do kill -0 "$app_pid" 2> /dev/null || break; sleep 0.1; done
    if kill -0 "$app_pid" 2> /dev/null; then
        fail "$what: the program did not end"
        kill "$app_pid"
    fi
    wait "$app_pid"
    rc=$?
    app_pid=""
    [ "$rc" = "$want" ] && pass "$what ends with status $want" || fail "$what ended with status $rc, want $want"
}
# Picks a menu entry by its keys: "menu m o" is Map, Cells and contours.
menu() {
    xdotool key "alt+$1"
    sleep 0.3
    xdotool key "$2"
}
# Clicks at a point of the main window given in dialog units (2 pixels each,
# below the menu bar).
click_units() { xdotool mousemove --window "$win" $(($1 * 2 + 6)) $((26 + $2 * 2 + 8)) click 1; }

# Without a display the program says so and ends with status 2.
env -u DISPLAY "$kivar" > /dev/null 2> "$work/nodisplay"
rc=$?
[ "$rc" = 2 ] && grep -q "no display" "$work/nodisplay" && pass "no display: message and status 2" ||
    fail "no display: status $rc, $(cat "$work/nodisplay")"

# Opens File, Open and waits for the chooser; its window id goes to $chooser.
open_chooser() {
    xdotool windowfocus --sync "$win"
    menu f o
    chooser=$(find_window '^Open$') || fatal "File, Open showed no window titled Open"
    xdotool windowfocus --sync "$chooser"
    sleep 0.5 # the chooser lists its folder first
}
# Types $1 into the chooser at a human pace; Enter unless $2 is "no-enter".
type_name() {
    xdotool type --delay 120 "$1"
    [ "${2:-}" = no-enter ] || xdotool key Return
}
# Passes when the window title becomes that of the file $1 ($2 says how).
expect_opened() {
    wait_trace "^title	KIVAR \(GPV\): $1\$" && pass "$2 opens $1" ||
        fail "$2: title '$(grep -P '^title\t' "$trace" | tail -1 | cut -f2)', want $1"
}

# ---------------------------------------------------------------- session 1
# Start, open files through File, Open by typing into the chooser, save data.
run1="$work/run1"
mkdir -p "$run1/sub/deeper" "$work/elsewhere"
cp "$map" "$run1/map.dat"
cp "$sample" "$run1/$sample_name"
cp "$sample" "$work/elsewhere/abs.gpv"
cp "$sample" "$run1/sub/deeper/bare.gpv"
start "$run1" "$kivar"

same "$(xdotool getwindowname "$win")" "" "no title before a file is opened"
same "$("$probe" hints "$win")" "min 988 752 max 988 752" "fixed size 988 x 752"
# Move and close only: no minimise or maximise box, no resize border.
same "$("$probe" mwm "$win")" "functions 36 decorations 26" "title bar with a close box only"
same "$("$probe" icon "$win")" "icon 48 48" "window icon 48 x 48"
traced "^menu\t&File/&Open\|-\|&File/E&xit\|&Map/&Coloured cells\|&Map/Cells and c&ontours\|&Map/Contours o&nly\|-\|&Map/Contour &step...\|-\|&Map/Area: the fixed Japan map\|&Map/Area: the grid's extent\|&Map/Area: East Asia\|&Map/Area: the globe\|&Map/&Area...\|-\|&Map/Projection: the grid's own\|&Map/Projection: plate carree\|&Map/Projection: Mercator\|&Map/Projection: Lambert conformal\|&Map/Projection: polar stereographic north\|&Map/Projection: polar stereographic south\|&Map/Projection: Robinson\|&Map/Projection: equal earth\|-\|&Map/Palette: rainbow\|&Map/Palette: viridis-like\|&Map/Palette: diverging\|&Map/Palette: precipitation\|&Help/&User's guide\$" \
    "a divider between Open and Exit, the Map menu"
traced '^menucheck\t1041\t1$' "Map starts on coloured cells"
menu m o
sleep 0.3
traced '^menucheck\t1042\t1$' "Map, Cells and contours is chosen"
menu m c
sleep 0.3
same "$(grep '^menucheck' "$trace" | tail -3 | tr '\t\n' ' ')" \
    "menucheck 1041 1 menucheck 1042 0 menucheck 1043 0 " "Map, Coloured cells is chosen again"
same "$(last text 119)" "$run1/" "save path is the start folder"
traced '^picture\t:startup\t163 177 323 246$' "start-up picture at (163, 177)"

xdotool key alt+f
sleep 0.3
timeout 10 import -window root "$build/gui-menu.png"
xdotool key Escape

# An absolute path typed over the preset pattern.
open_chooser
awaited "^chooser	$run1/?\$" "the chooser starts in the start folder"
type_name "$work/elsewhere/abs.gpv" no-enter
sleep 0.3
timeout 10 import -window "$chooser" "$build/gui-chooser.png"
xdotool key Return
expect_opened "$work/elsewhere/abs.gpv" "an absolute path"
# A relative path, from the folder of the file opened last.
open_chooser
awaited "^chooser	$work/elsewhere\$" "the chooser starts in the last file's folder"
type_name "../run1/sub/deeper/bare.gpv"
expect_opened "$run1/sub/deeper/bare.gpv" "a relative path"
# A folder typed is shown; a bare name then opens from that folder.
open_chooser
type_name "../.."
awaited "^folder	$run1\$" "a folder typed is shown"
type_name "$sample_name"
want_title="KIVAR (GPV): $run1/$sample_name"
expect_opened "$run1/$sample_name" "a bare name after a change of folder"
xdotool windowfocus --sync "$win"
same "$(xdotool getwindowname "$win")" "$want_title" "window name after open"

# The lists and labels against the command line's inventory of the same file.
info=$(cd "$run1" && "$kivar" info "$sample_name")
levels=$(sed -n 's/^levels: //p' <<< "$info" | tr ' ' '|')
hours=$(sed -n 's/^hours: //p' <<< "$info" | tr ' ' '|')
first_level=${levels%%|*}
items=$(sed -n "s/^items at $first_level: //p" <<< "$info" |
    perl -pe 's/(?:^|, )\d+ \((.*?)\)(?=, \d+ \(|$)/|$1/g; s/^\|//')
model=$(sed -n 's/^model: \([A-Z]*\).*/\1/p' <<< "$info")
initial=$(sed -n 's/^initial: .* \([0-9]*\):\([0-9]*\)$/\1 \2/p' <<< "$info")
init_label=$(printf '%d:%d' $((10#${initial% *})) $((10#${initial#* })))
same "$(last list 108)" "0	$levels" "level list"
same "$(last list 109)" "0	$hours" "hour list"
same "$(last list 110)" "0	$items" "item list"
same "$(last text 126)" "$model" "model label $model"
same "$(last text 112)" "$init_label" "initial time label $init_label"

# A name that does not exist is reported and the chooser stays; a cancelled
# chooser changes nothing.
open_chooser
type_name "missing.gpv"
awaited "^message	Open	$run1/missing\.gpv\\\\nFile not found\." "a missing file is reported"
box=$(xdotool search --onlyvisible --name '^Open$' | grep -vx "$chooser" | head -1)
[ -n "$box" ] && xdotool windowfocus --sync "$box" && xdotool key Return
sleep 0.3
xdotool windowfocus --sync "$chooser"
xdotool key Escape
sleep 0.5
[ "$(grep -c '^chooser' "$trace")" = 4 ] && [ "$(grep -c '^title' "$trace")" = 3 ] &&
    [ -z "$(xdotool search --onlyvisible --name '^Open$')" ] &&
    [ "$(xdotool getwindowname "$win")" = "$want_title" ] && pass "cancel keeps the title" ||
    fail "cancel: $(grep -P '^(chooser|title)' "$trace")"
xdotool windowfocus --sync "$win"

# "Data", then Execute with the Enter key.
click_units 93 134
sleep 0.3
xdotool key Return
awaited "^text	116	data save OK\$" "status data save OK"
txt=$(ls "$run1"/MD*_ID*_P*_DT*_TM*.txt 2> /dev/null | head -1)
if [ -n "$txt" ]; then
    pass "TEXT file $(basename "$txt")"
    cli="$work/cli"
    mkdir -p "$cli"
    cp "$map" "$cli/map.dat"
    (cd "$cli" && "$kivar" data "$run1/$sample_name" --save "$cli" > /dev/null 2>&1)
    cmp "$txt" "$cli/$(basename "$txt")" && pass "TEXT file equals the command line's" ||
        fail "TEXT file differs from the command line's"
else
    fail "no TEXT file in $run1"
fi
same "$(grep -c "P: $first_level  TM: ${hours%%|*}  ID: " "$run1/gpv.log" 2> /dev/null)" 1 "one gpv.log line"

timeout 10 import -window "$win" "$build/gui-window.png" && pass "screenshot $build/gui-window.png"

# Help, User's guide opens the guide in its own viewer.
menu h u
wait_trace '^help	' && grep -qP '^help\t/.*gpv\.hlp$' "$trace" && pass "the user's guide opens" ||
    fail "help: $(grep '^help' "$trace")"
xdotool windowfocus --sync "$win"
menu f x
expect_exit 1 "File, Exit"

# ---------------------------------------------------------------- session 2
# Execute before any open, then the close box.
run2="$work/run2"
mkdir -p "$run2"
cp "$map" "$run2/map.dat"
start "$run2" "$kivar"
xdotool key alt+x # the accelerator of E&xecute
awaited '^message	Execute_CMD	File not opened yet\.$' "Execute before open: message"
box=$(find_window '^Execute_CMD$') && pass "message box titled Execute_CMD" || fail "no window Execute_CMD"
[ -n "$box" ] && xdotool windowfocus --sync "$box" && xdotool key Return
sleep 0.3
[ -z "$(xdotool search --onlyvisible --name '^Execute_CMD$')" ] && pass "OK closes the message box" ||
    fail "the message box stayed"
"$probe" close "$win"
expect_exit 0 "the close box"

# ---------------------------------------------------------------- session 3
# The window's own mechanics with a driver: a long run repaints field by
# field, a picture fills the frame, list changes reach the handler.
run3="$work/run3"
mkdir -p "$run3"
convert -size 650x600 gradient:red-blue -type palette "BMP3:$run3/picture.bmp"
start "$run3" "$driver" "$run3/picture.bmp"
xdotool key Return
# During the run: a click on "Data" and File, Exit must both be ignored.
wait_trace '^text	116	P: ' || fatal "the driver's Execute did not start"
click_units 93 134
xdotool key alt+f
sleep 0.2
xdotool key x
timeout 10 import -window "$win" "$build/gui-progress.png"
wait_trace '^message	driver	' || fatal "the driver's Execute did not end"
same "$(grep -cP '^text\t116\tP: 1000   ID: 225   TM: \d+$' "$trace")" 40 "40 status lines during a run"
grep -qP '^message\tdriver\timage 1 image$' "$trace" && ! grep -q '^end' "$trace" &&
    pass "no input reaches the window during a run" || fail "input during a run: $(grep -P '^(message|end)' "$trace")"
traced "^picture\t$run3/picture.bmp\t2 0 650 600\$" "picture at (2, 0) 650 x 600"
box=$(find_window '^driver$') && xdotool windowfocus --sync "$box" && xdotool key Return
sleep 0.3
timeout 10 import -window "$win" "$build/gui-picture.png"
# The frame's black border (one pixel around its 654 x 606 pixels at (308,
# 48)) stays whole around the picture, whose corner lies at (310, 48).
border=""
for line in 656x1+307+47 656x1+307+654 1x608+307+47 1x608+962+47 1x1+310+48; do
    border+=$(convert "$build/gui-picture.png" -crop "$line" +repage -format '%k:%[hex:p{0,0}] ' info:)
done
same "$border" "1:000000 1:000000 1:000000 1:000000 1:FC0003 " "the frame's border is whole around a picture"
xdotool windowfocus --sync "$win"
# The level list: open it with a click and pick its second entry.
click_units 90 22
sleep 0.5
xdotool key Down Return
awaited '^text	116	list 108: 850$' "a list change reaches the handler"
# The close box pressed during a run ends the window once the run is over.
xdotool key Return
wait_trace '^message	driver	image 1 image$' # (the first run's)
for _ in $(seq 50); do
    [ "$(grep -cP '^text\t116\tP: ' "$trace")" -gt 40 ] && break
    sleep 0.1
done
"$probe" close "$win"
sleep 0.3
kill -0 "$app_pid" 2> /dev/null && ! grep -q '^end' "$trace" && pass "the run goes on after the close box" ||
    fail "the close box stopped the run"
box=$(find_window '^driver$') || fatal "the second run did not end"
timeout 10 import -window root "$build/gui-close-after-run.png"
xdotool windowfocus --sync "$box" && xdotool key Return
expect_exit 0 "the close box pressed during a run"

if [ "$failures" -gt 0 ]; then
    echo "-- last trace:"
    cat "$trace"
    echo "gui: $passes passed, $failures failed"
    exit 1
fi
echo "gui: $passes passed, 0 failed"
