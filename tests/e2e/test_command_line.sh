#!/usr/bin/env bash
# The command line with the real program: `quorvel FILE` opens the window on the
# strip's folder with the strip loaded, and its Save all writes the same bytes
# as `quorvel --save-all` run with no display, which then skips every name the
# window wrote. `quorvel FOLDER` opens the folder, and a name that does not
# exist is reported in the window.
# Usage: test_command_line.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$(readlink -f "$1")
E2E_ARTIFACTS=${2:-/tmp}/command_line
source "$(dirname "$0")/lib.sh"

readonly kPrefix=icon
readonly kTiles=10

e2e_start_desktop
strips=$E2E_WORK/strips
strip=$strips/toolbar16.bmp
by_window=$E2E_WORK/by-window
by_batch=$E2E_WORK/by-batch
mkdir -p "$strips" "$by_window" "$by_batch"
cp "$(dirname "$(readlink -f "$program")")/toolbar16.bmp" "$strip"

# The strip named on the command line shows at once; its tiles are saved from the window.
cd "$strips"
e2e_start_program "$program" toolbar16.bmp
cd - >/dev/null
e2e_wait_for 5 e2e_window_shows "${IMAGE[@]}" "$strip" || e2e_fail "quorvel FILE did not load $strip"
e2e_click "${DIR_BUTTON[@]}"
e2e_answer_save_dialog "$by_window/tiles.bmp"
e2e_type_prefix "$kPrefix"
e2e_click "${SAVE_ALL_BUTTON[@]}"
e2e_wait_for_file "$by_window/$kPrefix$kTiles.bmp"
e2e_close_program
[ "$(e2e_setting Setting DirPath)" = "$strips" ] ||
    e2e_fail "the folder list showed $(e2e_setting Setting DirPath), not the strip's folder $strips"

# The batch mode, with no display at all, writes the very same files.
report=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$program" --save-all "$strip" --output "$by_batch" --prefix "$kPrefix" 2>"$E2E_WORK/batch.log") ||
    e2e_fail "the batch mode failed: $(cat "$E2E_WORK/batch.log")"
[ "$report" = "saved $kTiles, skipped 0 existing, in $by_batch" ] || e2e_fail "the batch mode reported: $report"
[ "$(ls "$by_batch")" = "$(ls "$by_window")" ] || e2e_fail "the batch mode wrote $(ls "$by_batch" | xargs)"
for name in $(ls "$by_window"); do
    cmp -s "$by_window/$name" "$by_batch/$name" || e2e_fail "$name from the batch mode differs from the window's"
done

# Into the window's folder it skips every tile and leaves each file as it was.
report=$(env -u DISPLAY "$program" --save-all "$strip" --output "$by_window" --prefix "$kPrefix")
[ "$report" = "saved 0, skipped $kTiles existing, in $by_window" ] || e2e_fail "a second run reported: $report"
diff -r "$by_window" "$by_batch" >/dev/null || e2e_fail "a second run changed the window's files"

# A folder opens in the folder and file lists.
e2e_start_program "$program" "$by_batch"
e2e_close_program
[ "$(e2e_setting Setting DirPath)" = "$by_batch" ] || e2e_fail "quorvel FOLDER showed $(e2e_setting Setting DirPath)"

# A name that does not exist: the window shows the run-time error over it, and
# goes on once it is acknowledged.
visible_windows_are() { [ "$(xdotool search --onlyvisible --name '^Quorvel$' 2>/dev/null | wc -l)" -eq "$1" ]; }
e2e_spawn "$program" "$strips/gone.bmp" >>"$E2E_WORK/quorvel.log" 2>&1
QUORVEL=${E2E_PIDS[-1]}
e2e_wait_for 20 visible_windows_are 2 || e2e_fail "no message over the window for a name that does not exist"
xdotool key Return
e2e_wait_for 10 visible_windows_are 1 || e2e_fail "the message did not close"
WINDOW=$(e2e_wait_active_window '^Quorvel$') || e2e_fail "the window went with the message"
e2e_close_program

echo "PASS: quorvel FILE and FOLDER open in the window; the batch mode writes the window's bytes and skips what exists"
