#!/usr/bin/env bash
# A first run has something to cut at once: with no settings the folder list
# opens the program's own folder, and the file list offers the sample strips
# that lie there, which load and save. Checked on the program as built, then,
# when it comes from a build folder, on a copy that `cmake --install` puts under
# a temporary prefix, started through the command link as a desktop would.
# Usage: test_first_run.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/first_run
source "$(dirname "$0")/lib.sh"

# The samples in the file list's order, with the size and the count of their tiles.
readonly kSamples=(sprites32.gif tall15.bmp toolbar16.bmp)
readonly kTileWidths=(32 16 16)
readonly kTileHeights=(32 15 16)
readonly kTileCounts=(6 8 10)

e2e_start_desktop

# Chooses the file list's entry (0-based) by a click on the first and the Down
# key, until the image shows the sample: a click that comes while Save all
# still holds the window's input is dropped.
choose_sample()
{
    local i=$1 sample=$2 attempt
    for attempt in 1 2 3; do
        e2e_click "${FILE_LIST_ROW[@]}"
        [ "$i" -eq 0 ] || xdotool key --repeat "$i" Down
        e2e_wait_for 2 e2e_window_shows "${IMAGE[@]}" "$sample" && return 0
    done
    e2e_fail "entry $((i + 1)) of the file list is not $sample"
}

# Chooses each sample in turn and saves all its tiles with the sample's name as
# prefix. Then checks every tile against its sample, and that the folder shown
# was the program's own.
check_first_run()
{
    local program=$1 out=$2 folder i tile names=()
    folder=$(dirname "$(readlink -f "$program")")
    rm -rf "$XDG_CONFIG_HOME/Quorvel"
    mkdir -p "$out"
    e2e_start_program "$program"
    # The output folder starts as the program's own, no place for tiles.
    e2e_click "${DIR_BUTTON[@]}"
    e2e_answer_save_dialog "$out/tiles.bmp"
    for i in "${!kSamples[@]}"; do
        choose_sample "$i" "$folder/${kSamples[i]}"
        e2e_type_prefix "${kSamples[i]%.*}_"
        e2e_click "${SAVE_ALL_BUTTON[@]}"
        e2e_wait_for_file "$out/${kSamples[i]%.*}_${kTileCounts[i]}.bmp"
    done
    e2e_close_program

    for i in "${!kSamples[@]}"; do
        for tile in $(seq "${kTileCounts[i]}"); do
            names+=("${kSamples[i]%.*}_$tile.bmp")
            e2e_crop "$folder/${kSamples[i]}" "${kTileWidths[i]}" "${kTileHeights[i]}" \
                $(((tile - 1) * kTileWidths[i])) 0 "$E2E_WORK/expected.png"
            e2e_same_pixels "$out/${names[-1]}" "$E2E_WORK/expected.png" ||
                e2e_fail "${names[-1]} is not tile $tile of ${kSamples[i]} in $folder"
        done
    done
    [ "$(ls "$out" | sort)" = "$(printf '%s\n' "${names[@]}" | sort)" ] ||
        e2e_fail "$out holds $(ls "$out" | xargs), not ${names[*]}"
    [ "$(e2e_setting Setting DirPath)" = "$folder" ] ||
        e2e_fail "the folder list showed $(e2e_setting Setting DirPath), not the program's folder $folder"
}

check_first_run "$program" "$E2E_WORK/out"

build=$(dirname "$program")
if [ ! -f "$build/cmake_install.cmake" ]; then
    echo "PASS: the samples are listed and load on a first run ($program is not in a build folder: no install)"
    exit 0
fi

prefix=$E2E_WORK/prefix
cmake --install "$build" --prefix "$prefix" >>"$E2E_WORK/install.log" || e2e_fail "cmake --install failed"
link=$prefix/bin/quorvel
[ -L "$link" ] && [[ "$(readlink "$link")" != /* ]] || e2e_fail "$link is not a relative link"
[ -x "$(readlink -f "$link")" ] || e2e_fail "$link does not lead to the program"
grep -qx 'Exec=quorvel %f' "$prefix/share/applications/quorvel.desktop" || e2e_fail "no desktop entry that starts quorvel"
grep -qx 'Icon=quorvel' "$prefix/share/applications/quorvel.desktop" || e2e_fail "the desktop entry names no icon"
[ "$(identify -format %wx%h "$prefix/share/icons/hicolor/16x16/apps/quorvel.png")" = 16x16 ] ||
    e2e_fail "no 16x16 icon"
check_first_run "$link" "$E2E_WORK/out-installed"

echo "PASS: the samples are listed and load on a first run, as built and as installed by cmake --install"
