#!/usr/bin/env bash
# Dragging from another window of the X server and dropping on the program's:
# a strip dropped on the preview's frame loads as `quorvel FILE` does, a folder
# dropped on the file list opens, and a text file changes nothing.
# Usage: test_drop.sh <path-to-quorvel> <artifact-dir>  (QUORVEL_DRAG_SOURCE: the window to drag from)
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/drop
source "$(dirname "$0")/lib.sh"

readonly kSkipped=77
[ -x "${QUORVEL_DRAG_SOURCE:-}" ] || { echo "SKIP: QUORVEL_DRAG_SOURCE names no program to drag from"; exit $kSkipped; }

e2e_start_desktop
folder=$E2E_WORK/strips
mkdir -p "$folder/sub"
cp "$(dirname "$program")/toolbar16.bmp" "$folder/"
echo "not a picture" >"$folder/notes.txt"
e2e_start_program "$program"

# Drags the file from a window of its own to a point of the program's client
# area and drops it there.
drag()
{
    local file=$1 x=$2 y=$3 source step
    "$QUORVEL_DRAG_SOURCE" "$file" >>"$E2E_WORK/drag.log" 2>&1 &
    source=$(e2e_wait_active_window '^Drag source$') || e2e_fail "the drag source did not appear"
    xdotool mousemove --window "$source" --sync 100 100 mousedown 1
    # Moves in steps, as a hand does, so each window sees the drag pass.
    for step in 1 2 3 4 5; do
        xdotool mousemove --window "$WINDOW" --sync $((x - 5 + step)) "$y"
        sleep 0.1
    done
    xdotool mouseup 1
    wait $! || e2e_fail "the drag source failed"
}

# The strip onto the Output frame beside the preview box, then a tile picked.
drag "$folder/toolbar16.bmp" $((PREVIEW[0] + 40)) $((PREVIEW[1] + 40))
e2e_click $((IMAGE[0] + 40)) $((IMAGE[1] + 4))
e2e_crop "$folder/toolbar16.bmp" 16 16 32 0 "$E2E_WORK/tile3.png"
e2e_wait_for 5 e2e_window_shows "${PREVIEW[@]}" "$E2E_WORK/tile3.png" || e2e_fail "the dropped strip was not loaded"
# A folder onto the file list; then a text file of the folder before, which
# would take the lists back there (and report it) if it were opened.
drag "$folder/sub" "${FILE_LIST_ROW[@]}"
drag "$folder/notes.txt" $((PREVIEW[0] + 40)) $((PREVIEW[1] + 40))
e2e_close_program
[ "$(e2e_setting Setting DirPath)" = "$folder/sub" ] ||
    e2e_fail "the lists show $(e2e_setting Setting DirPath), not the dropped folder"
echo "PASS: a strip and a folder dragged from another window open; a text file changes nothing"
