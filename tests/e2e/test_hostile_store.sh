#!/usr/bin/env bash
# What a hand edit or another program can put in the way of the real program:
# a stored size or place that fits no screen, a path with a comma, a pipe where
# the settings file should be, and links planted under the names Save all will
# write. The window still comes up on the screen and small, sane values are
# stored, nothing hangs, and nothing is written where a link leads.
# Usage: test_hostile_store.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/hostile_store
source "$(dirname "$0")/lib.sh"

readonly kScreenWidth=1280
readonly kScreenHeight=1024
readonly kMaxPeakKiB=$((300 * 1024))
readonly kTile=16
readonly kTiles=6
readonly kOutput=/data/x,y

e2e_start_desktop ${kScreenWidth}x${kScreenHeight}x24
store=$XDG_CONFIG_HOME/Quorvel/Quorvel.conf
mkdir -p "$(dirname "$store")"

store_geometry()
{
    printf '[f_Main]\nWindowState=0\nWindowLeft=%s\nWindowTop=%s\nWindowWidth=%s\nWindowHeight=%s\n' "$@" >"$store"
    printf '[Setting]\nOutputPath=%s\n' "$kOutput" >>"$store"
}

# A stored value in twips, as whole pixels; fails on anything but a plain number.
stored_pixels()
{
    local value
    value=$(e2e_setting f_Main "$1")
    [[ $value =~ ^-?[0-9]+$ ]] || e2e_fail "stored $1 is '$value'"
    echo $((value / E2E_TWIPS_PER_PIXEL))
}

for geometry in "0 0 1e30 1e30" "0 0 99999999999 99999999999" "1E+09 1E+09 9000 6000" "-1E+09 -1E+09 9000 6000" \
    "1E+09 -1E+09 1e30 99999999999"; do
    store_geometry $geometry
    e2e_start_program "$program"
    read -r left top width height <<<"$(e2e_frame_geometry "$WINDOW")"
    [ "$left" -ge 0 ] && [ "$top" -ge 0 ] && [ $((left + width)) -le $kScreenWidth ] &&
        [ $((top + height)) -le $kScreenHeight ] ||
        e2e_fail "stored $geometry: the window is at $left $top $width $height, not on the screen"
    peak=$(awk '/^VmHWM:/{print $2}' "/proc/$QUORVEL/status")
    [ "$peak" -le $kMaxPeakKiB ] || e2e_fail "stored $geometry: the program took $peak KiB"
    e2e_close_program
    [ "$(stored_pixels WindowLeft) $(stored_pixels WindowTop) $(stored_pixels WindowWidth) $(stored_pixels WindowHeight)" = \
        "$left $top $width $height" ] || e2e_fail "stored $geometry: what the close stored is not the window's frame"
    # Written back quoted, so that other readers of the file take it for one text.
    [ "$(e2e_setting Setting OutputPath)" = "\"$kOutput\"" ] ||
        e2e_fail "the output folder came back as $(e2e_setting Setting OutputPath)"
done

# A pipe in the settings file's place is never opened: the window comes up with
# the defaults, and the close says once that the settings cannot be stored.
rm -f "$store"
mkfifo "$store"
e2e_start_program "$program"
kill -TERM "$QUORVEL"
e2e_wait_for 10 sh -c "[ \$(xdotool search --onlyvisible --name '^Quorvel\$' | wc -l) -ge 2 ]" ||
    e2e_fail "no message that the settings cannot be stored"
xdotool key Return
timeout 10 tail --pid="$QUORVEL" -f /dev/null || e2e_fail "the program did not end after the message"
[ -p "$store" ] || e2e_fail "the pipe in the settings file's place was replaced"
rm -f "$store"

# Save all into a folder where three tiles' names are links: one to a file, one
# to a folder, one to nothing. All three are skipped and what they lead to is
# untouched; the other tiles are written.
strips=$E2E_WORK/strips
out=$E2E_WORK/out
elsewhere=$E2E_WORK/elsewhere
mkdir -p "$strips" "$out" "$elsewhere/folder"
convert -size $((kTile * kTiles))x$kTile gradient:red-blue -type TrueColor "BMP3:$strips/strip.bmp"
echo "someone else's file" >"$elsewhere/file.bmp"
ln -s ../elsewhere/file.bmp "$out/t2.bmp"
ln -s ../elsewhere/folder "$out/t3.bmp"
ln -s ../elsewhere/nothing.bmp "$out/t4.bmp"
before=$(ls -lR --time-style=full-iso "$elsewhere"; md5sum "$elsewhere/file.bmp")
printf '[Setting]\nDirPath=%s\nOutputPath=%s\n' "$strips" "$out" >"$store"

e2e_start_program "$program"
e2e_click "${FILE_LIST_ROW[@]}"
e2e_type_prefix t
e2e_click "${SAVE_ALL_BUTTON[@]}"
e2e_wait_for_file "$out/t$kTiles.bmp"
e2e_close_program

[ "$(ls -lR --time-style=full-iso "$elsewhere"; md5sum "$elsewhere/file.bmp")" = "$before" ] ||
    e2e_fail "Save all wrote where a link leads: $(ls -R "$elsewhere" | xargs)"
for n in 2 3 4; do
    [ -L "$out/t$n.bmp" ] || e2e_fail "the link t$n.bmp was replaced"
done
for n in 1 5 6; do
    [ -f "$out/t$n.bmp" ] && [ ! -L "$out/t$n.bmp" ] || e2e_fail "t$n.bmp was not written"
done
[ "$(ls -A "$out" | wc -l)" = $kTiles ] || e2e_fail "the output folder holds $(ls -A "$out" | xargs)"

echo "PASS: absurd stored geometry gives a window on the screen, a pipe store no hang, planted links are skipped"
