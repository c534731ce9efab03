#!/usr/bin/env bash
# Picking tiles without a mouse in the real window: Tab from the prefix box
# past the folder button reaches the strip, where End, Home, Right and Left
# pick the last, first, next and previous tile into the preview.
# Usage: test_keyboard_pick.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/keyboard_pick
source "$(dirname "$0")/lib.sh"

# The sample strip: ten tiles of 16x16.
readonly kTile=16

e2e_start_desktop
strip=$E2E_WORK/toolbar16.bmp
cp "$(dirname "$program")/toolbar16.bmp" "$strip"
e2e_start_program "$program" "$strip"

e2e_click "${PREFIX_BOX[@]}"
xdotool key --clearmodifiers Tab Tab
# key, then the tile (1-based) the preview must show
steps=(End 10 Home 1 Right 2 Right 3 Left 2)
for ((i = 0; i < ${#steps[@]}; i += 2)); do
    key=${steps[i]} tile=${steps[i + 1]}
    xdotool key --clearmodifiers "$key"
    e2e_crop "$strip" $kTile $kTile $(((tile - 1) * kTile)) 0 "$E2E_WORK/tile$tile.png"
    e2e_wait_for 5 e2e_window_shows "${PREVIEW[@]}" "$E2E_WORK/tile$tile.png" ||
        e2e_fail "after $key the preview does not show tile $tile"
done
e2e_close_program
echo "PASS: Tab reaches the strip, and End, Home, Right and Left pick their tiles"
