#!/usr/bin/env bash
# A user's drag of a border under openbox stops at the window's minimum outer
# size, 6000 x 4500 twips, the window is laid out for the size it really has,
# and the close stores that size.
# Usage: test_border_drag.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/border_drag
source "$(dirname "$0")/lib.sh"

readonly kMinimumWidth=$((6000 / E2E_TWIPS_PER_PIXEL))
readonly kMinimumHeight=$((4500 / E2E_TWIPS_PER_PIXEL))
readonly kDrags=3
# The frames' border colour: the lowest row of the client area is their bottom edge.
readonly kFrameEdge=B8B8B8

e2e_start_desktop
e2e_start_program "$program"

client_size()
{
    xwininfo -id "$WINDOW" | awk '/^ *Width:/{w=$NF} /^ *Height:/{h=$NF} END{print w, h}'
}

# Presses the left button at x,y of the screen, moves in steps through the
# points given, and lets go: a drag as a hand makes it. openbox starts
# resizing at the first move and follows the later ones, so give several.
drag()
{
    local x=$1 y=$2 point
    shift 2
    xdotool mousemove --sync "$x" "$y" mousedown 1
    for point in "$@"; do
        xdotool mousemove --sync ${point/,/ }
        sleep 0.1
    done
    xdotool mouseup 1
    sleep 0.5
}

expect_outer()
{
    local width=$1 height=$2 what=$3 left top w h
    read -r left top w h <<<"$(e2e_frame_geometry "$WINDOW")"
    [ "$w $h" = "$width $height" ] || e2e_fail "$what: the window is ${w}x$h, expected ${width}x$height"
}

# The bottom edge of the lower frames lies on the client area's last row.
expect_laid_out()
{
    local what=$1 width height edge
    read -r width height <<<"$(client_size)"
    edge=$(import -window "$WINDOW" -crop "1x1+10+$((height - 1))" +repage -depth 8 -format '%[hex:p{0,0}]' info:)
    [ "$edge" = "$kFrameEdge" ] || e2e_fail "$what: the client area's last row shows $edge, not the frames' edge"
}

# The window manager knows the minimum: with its frame it is the minimum outer size.
read -r left top outerWidth outerHeight <<<"$(e2e_frame_geometry "$WINDOW")"
read -r clientWidth clientHeight <<<"$(client_size)"
hints=$(xprop -id "$WINDOW" WM_NORMAL_HINTS)
expected="minimum size: $((kMinimumWidth - (outerWidth - clientWidth))) by $((kMinimumHeight - (outerHeight - clientHeight)))"
grep -q "$expected" <<<"$hints" || e2e_fail "WM_NORMAL_HINTS has no $expected: $hints"

for drag in $(seq "$kDrags"); do
    read -r left top outerWidth outerHeight <<<"$(e2e_frame_geometry "$WINDOW")"
    x=$((left + outerWidth / 2))
    drag "$x" $((top + outerHeight - 2)) "$x,250" "$x,150" "$x,60"
    expect_outer "$outerWidth" "$kMinimumHeight" "bottom border drag $drag"
    expect_laid_out "bottom border drag $drag"
    # Let the window grow again for the next drag.
    xdotool windowsize --sync "$WINDOW" "$clientWidth" "$clientHeight"
    sleep 0.3
done

# The right border, dragged in two steps, the second past the minimum.
read -r left top outerWidth outerHeight <<<"$(e2e_frame_geometry "$WINDOW")"
y=$((top + outerHeight / 2))
drag $((left + outerWidth - 1)) "$y" "$((left + 470)),$y" "$((left + 460)),$y" "$((left + 450)),$y"
expect_outer 451 "$outerHeight" "first step of the right border drag"
drag $((left + 450)) "$y" "$((left + 420)),$y" "$((left + 300)),$y" "$((left + 100)),$y"
expect_outer "$kMinimumWidth" "$outerHeight" "right border drag"
expect_laid_out "right border drag"

read -r left top outerWidth outerHeight <<<"$(e2e_frame_geometry "$WINDOW")"
e2e_close_program
stored="$(e2e_setting f_Main WindowWidth) $(e2e_setting f_Main WindowHeight)"
[ "$stored" = "$((outerWidth * E2E_TWIPS_PER_PIXEL)) $((outerHeight * E2E_TWIPS_PER_PIXEL))" ] ||
    e2e_fail "stored $stored twips for a window of ${outerWidth}x$outerHeight pixels"

echo "PASS: $kDrags bottom drags and a right drag stop at ${kMinimumWidth}x$kMinimumHeight; stored $stored"
