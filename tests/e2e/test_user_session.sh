#!/usr/bin/env bash
# A user's session with the real program: open a folder of strips, pick a tile,
# choose an output folder, save every tile, save one tile under a chosen name,
# close. Then every written file is checked pixel for pixel against the strip,
# and the stored settings against what was done.
# Usage: test_user_session.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/user_session
source "$(dirname "$0")/lib.sh"

# The strip: six 16x16 tiles and four columns too few for a seventh.
readonly kTile=16
readonly kColours=(red lime blue yellow magenta cyan)
readonly kTiles=${#kColours[@]}
readonly kLeftOver=4
readonly kPrefix=tile
# The tile selected while the screenshot is taken, and the one saved alone (0-based).
readonly kShownTile=1
readonly kSavedTile=3

e2e_start_desktop
pictures=$E2E_WORK/pictures
strips=$pictures/strips
strip=$strips/strip.bmp
out=$E2E_WORK/out
single=$E2E_WORK/single
expected=$E2E_WORK/expected
mkdir -p "$strips" "$out" "$single" "$expected" "$XDG_CONFIG_HOME/Quorvel"

# Each tile its own colour, with a diagonal and a dot at its own place, so that
# a tile shifted by a tile or by a column does not match.
tiles=()
for i in $(seq 0 $((kTiles - 1))); do
    tiles+=(\( -size ${kTile}x$kTile "xc:${kColours[i]}" -fill black -draw "line 0,0 $((kTile - 1)),$((kTile - 1))"
        -fill white -draw "point $((i + 2)),12" \))
done
convert "${tiles[@]}" -size ${kLeftOver}x$kTile xc:gray +append -type TrueColor "BMP3:$strip"
for i in $(seq 0 $((kTiles - 1))); do
    e2e_crop "$strip" $kTile $kTile $((i * kTile)) 0 "$expected/$((i + 1)).png"
done

# The folder list starts in the strips' parent, as if the user had been there last time.
printf '[Setting]\nDirPath=%s\n' "$pictures" >"$XDG_CONFIG_HOME/Quorvel/Quorvel.conf"

preview_shows() { e2e_window_shows "${PREVIEW[@]}" "$1"; }

# Clicks the middle of a tile (0-based) until the preview shows it: a click that
# comes while Save all still holds the window's input is dropped.
pick_tile()
{
    local tile=$1 attempt
    for attempt in 1 2 3; do
        e2e_click $((IMAGE[0] + tile * kTile + kTile / 2)) $((IMAGE[1] + kTile / 2))
        e2e_wait_for 2 preview_shows "$expected/$((tile + 1)).png" && return 0
    done
    e2e_fail "the preview does not show tile $((tile + 1))"
}

e2e_start_program "$program"

# Open the strips folder by keyboard: the folder list ends with the one subfolder.
e2e_click "${DIR_LIST_ROW[@]}"
xdotool key End Return
e2e_click "${FILE_LIST_ROW[@]}"
e2e_wait_for 5 e2e_window_shows "${IMAGE[@]}" "$strip" || e2e_fail "the strip is not shown at its natural size"

pick_tile $kShownTile
# The red outline lies on the tile's edge pixels.
convert "$expected/$((kShownTile + 1)).png" +antialias -fill none -stroke red \
    -draw "rectangle 0,0 $((kTile - 1)),$((kTile - 1))" "$expected/outlined.png"
e2e_window_shows $((IMAGE[0] + kShownTile * kTile)) "${IMAGE[1]}" "$expected/outlined.png" ||
    e2e_fail "tile $((kShownTile + 1)) is not outlined in red"
mkdir -p "$E2E_ARTIFACTS"
e2e_snapshot "$WINDOW" "$E2E_ARTIFACTS/window.png"

e2e_type_prefix "$kPrefix"
e2e_click "${DIR_BUTTON[@]}"
e2e_answer_save_dialog "$out/any name.bmp"
e2e_click "${SAVE_ALL_BUTTON[@]}"
e2e_wait_for_file "$out/$kPrefix$kTiles.bmp"

pick_tile $kSavedTile
e2e_click "${SAVE_BUTTON[@]}"
e2e_answer_save_dialog "$single/picked.bmp"
e2e_wait_for_file "$single/picked.bmp"

frame=$(e2e_frame_geometry "$WINDOW")
e2e_close_program

# Save all wrote prefix1 to prefix6 and nothing else, each its own tile.
names=()
for i in $(seq "$kTiles"); do
    names+=("$kPrefix$i.bmp")
done
[ "$(ls "$out" | sort)" = "$(printf '%s\n' "${names[@]}" | sort)" ] ||
    e2e_fail "the output folder holds $(ls "$out" | xargs), not ${names[*]}"
for i in $(seq "$kTiles"); do
    e2e_same_pixels "$out/$kPrefix$i.bmp" "$expected/$i.png" || e2e_fail "$kPrefix$i.bmp is not tile $i"
done
e2e_same_pixels "$single/picked.bmp" "$expected/$((kSavedTile + 1)).png" ||
    e2e_fail "picked.bmp is not tile $((kSavedTile + 1))"

expect_setting()
{
    [ "$(e2e_setting "$1" "$2")" = "$3" ] || e2e_fail "stored $1/$2 is '$(e2e_setting "$1" "$2")', not '$3'"
}
read -r left top width height <<<"$frame"
expect_setting f_Main WindowState 0
expect_setting f_Main WindowLeft $((left * E2E_TWIPS_PER_PIXEL))
expect_setting f_Main WindowTop $((top * E2E_TWIPS_PER_PIXEL))
expect_setting f_Main WindowWidth $((width * E2E_TWIPS_PER_PIXEL))
expect_setting f_Main WindowHeight $((height * E2E_TWIPS_PER_PIXEL))
expect_setting Setting DirPath "$strips"
expect_setting Setting OutputPath "$out"

echo "PASS: $kTiles tiles saved all, tile $((kSavedTile + 1)) saved alone, settings stored; window in $E2E_ARTIFACTS/window.png"
