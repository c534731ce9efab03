#!/usr/bin/env bash
# Under a window manager that adds a frame, closing the real program and
# starting it again leaves its window at the same place with the same outer
# size, time after time, and every way of closing it stores the settings.
# Usage: test_window_cycles.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/window_cycles
source "$(dirname "$0")/lib.sh"

readonly kCycles=10
readonly kTwipsPerPixel=15
# The design size in twips, 7335 x 4965, in pixels at 96 DPI.
readonly kFirstRunFrame="0 0 489 331"

e2e_start_desktop
store=$XDG_CONFIG_HOME/Quorvel/Quorvel.conf

start_program()
{
    e2e_spawn "$program" >>"$E2E_WORK/quorvel.log" 2>&1
    QUORVEL=${E2E_PIDS[-1]}
    WINDOW=$(e2e_wait_managed_window '^Quorvel$') || e2e_fail "the window did not appear"
}

store_state()
{
    local state=$1 left top width height
    read -r left top width height <<<"$2"
    mkdir -p "$(dirname "$store")"
    printf '[f_Main]\nWindowState=%s\nWindowLeft=%s\nWindowTop=%s\nWindowWidth=%s\nWindowHeight=%s\n' "$state" \
        $((left * kTwipsPerPixel)) $((top * kTwipsPerPixel)) $((width * kTwipsPerPixel)) $((height * kTwipsPerPixel)) \
        >"$store"
}

window_state_has()
{
    xprop -id "$WINDOW" "$1" | grep -q "$2"
}

frame_is()
{
    [ "$(e2e_frame_geometry "$WINDOW")" = "$1" ]
}

# Waits for the frame to reach the geometry, and checks that it stays there.
expect_frame()
{
    local expected=$1 what=$2
    e2e_wait_for 5 frame_is "$expected" && sleep 0.3 && frame_is "$expected" ||
        e2e_fail "$what: the frame is at $(e2e_frame_geometry "$WINDOW"), not $expected"
}

# The stored state and geometry, the geometry in pixels: "state left top width height".
stored()
{
    awk -F= -v t=$kTwipsPerPixel '/^WindowState=/{s=$2} /^WindowLeft=/{l=$2/t} /^WindowTop=/{p=$2/t}
        /^WindowWidth=/{w=$2/t} /^WindowHeight=/{h=$2/t} END{print s, l, p, w, h}' "$store"
}

expect_stored()
{
    local expected="0 $1" what=$2
    [ "$(stored)" = "$expected" ] || e2e_fail "$what: stored $(stored), expected $expected"
}

# A double click on the title bar, which openbox takes as maximise or restore.
toggle_maximised()
{
    local left top width height
    read -r left top width height <<<"$(e2e_frame_geometry "$WINDOW")"
    xdotool mousemove $((left + width / 2)) $((top + 5)) click --repeat 2 --delay 80 1
}

# A normal close, through the window manager's Alt+F4.
close_by_keys()
{
    xdotool windowactivate --sync "$WINDOW" key alt+F4
    timeout 10 tail --pid="$QUORVEL" -f /dev/null || e2e_fail "the program did not end after Alt+F4"
    wait "$QUORVEL" || e2e_fail "the program ended with status $?"
}

# First run: the design size at the top left corner.
start_program
expect_frame "$kFirstRunFrame" "first run"
xdotool windowsize --sync "$WINDOW" 700 500 windowmove --sync "$WINDOW" 123 77
sleep 0.5
moved=$(e2e_frame_geometry "$WINDOW")
[ "$moved" != "$kFirstRunFrame" ] || e2e_fail "xdotool did not move the window"
close_by_keys
expect_stored "$moved" "after moving"

for cycle in $(seq "$kCycles"); do
    start_program
    expect_frame "$moved" "start $cycle"
    close_by_keys
    expect_stored "$moved" "close $cycle"
done

# SIGTERM closes the window the normal way too, and so stores where it was.
start_program
expect_frame "$moved" "start before SIGTERM"
xdotool windowsize --sync "$WINDOW" 640 480 windowmove --sync "$WINDOW" 40 30
sleep 0.5
terminated=$(e2e_frame_geometry "$WINDOW")
kill -TERM "$QUORVEL"
timeout 10 tail --pid="$QUORVEL" -f /dev/null || e2e_fail "the program did not end on SIGTERM"
wait "$QUORVEL" || e2e_fail "the program ended with status $? on SIGTERM"
expect_stored "$terminated" "after SIGTERM"
start_program
expect_frame "$terminated" "start after SIGTERM"
close_by_keys

# Started maximised, the window returns to the stored geometry when restored.
store_state 2 "$moved"
start_program
e2e_wait_for 5 window_state_has _NET_WM_STATE _NET_WM_STATE_MAXIMIZED_HORZ || e2e_fail "not started maximised"
sleep 0.5
toggle_maximised
expect_frame "$moved" "restored after a maximised start"
close_by_keys
expect_stored "$moved" "closed after restoring"

# Started minimised, the stored geometry is not used: shown, the window has the
# design size at the top left corner.
store_state 1 "$moved"
start_program
e2e_wait_for 5 window_state_has WM_STATE Iconic || e2e_fail "not started minimised"
xdotool windowactivate --sync "$WINDOW"
expect_frame "$kFirstRunFrame" "shown after a minimised start"
close_by_keys
expect_stored "$kFirstRunFrame" "closed after a minimised start"

echo "PASS: $kCycles cycles at $moved, a SIGTERM close at $terminated, maximised and minimised starts"
