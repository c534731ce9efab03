#!/usr/bin/env bash
# What `cmake --install --strip` puts under a prefix: a stripped program behind
# the command link, a valid desktop entry that opens BMP, GIF and PNG files, crisp
# icons at every size of the hicolor theme, valid AppStream metainfo with a
# screenshot, and the manual page. Needs no display.
# Usage: test_installed_tree.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/installed_tree
source "$(dirname "$0")/lib.sh"

readonly kIconSizes=(16 32 48 64 128 256)
# What ctest counts as skipped.
readonly kSkipped=77

build=$(dirname "$program")
[ -f "$build/cmake_install.cmake" ] || { echo "SKIP: $program is not in a build folder, nothing to install"; exit $kSkipped; }
trap e2e_cleanup EXIT
e2e_temp_home
prefix=$E2E_WORK/prefix
cmake --install "$build" --prefix "$prefix" --strip >"$E2E_WORK/install.log" || e2e_fail "cmake --install --strip failed"

installed=$(readlink -f "$prefix/bin/quorvel")
readelf -S "$installed" | grep -q '\.debug_info' && e2e_fail "the installed program keeps its debug information"
[ "$("$prefix/bin/quorvel" --version)" = "$("$program" --version)" ] || e2e_fail "the installed program does not run"

desktop=$prefix/share/applications/quorvel.desktop
grep -qx 'Exec=quorvel %f' "$desktop" || e2e_fail "the desktop entry does not hand a file to quorvel"
grep -qx 'MimeType=image/bmp;image/gif;image/png;' "$desktop" || e2e_fail "the desktop entry opens no BMP, GIF and PNG files"

# Every size is the 16-pixel picture with each pixel made a square block.
small=$prefix/share/icons/hicolor/16x16/apps/quorvel.png
for size in "${kIconSizes[@]}"; do
    icon=$prefix/share/icons/hicolor/${size}x$size/apps/quorvel.png
    [ "$(identify -format %wx%h "$icon")" = "${size}x$size" ] || e2e_fail "no ${size}x$size icon"
    convert "$small" -sample "${size}x$size" "$E2E_WORK/blocks.png"
    [ "$(compare -metric AE "$icon" "$E2E_WORK/blocks.png" null: 2>&1)" = 0 ] ||
        e2e_fail "the ${size}x$size icon is not the small one scaled by whole pixels"
done

metainfo=$(ls "$prefix"/share/metainfo/*.metainfo.xml)
grep -q '<launchable type="desktop-id">quorvel.desktop</launchable>' "$metainfo" ||
    e2e_fail "the metainfo does not name the desktop entry"
grep -q '<screenshot type="default">' "$metainfo" || e2e_fail "the metainfo has no screenshot"

manual=$prefix/share/man/man1/quorvel.1
grep -q 'save\\-all' "$manual" || e2e_fail "no manual page for the command line"
man -l "$manual" 2>"$E2E_WORK/man.log" | grep -q 'quorvel --save-all' || e2e_fail "the manual page does not read"
[ ! -s "$E2E_WORK/man.log" ] || e2e_fail "the manual page warns: $(cat "$E2E_WORK/man.log")"

# The validators last: without them everything else has still been checked.
missing=()
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" >"$E2E_WORK/desktop.log" 2>&1 ||
        e2e_fail "desktop-file-validate: $(cat "$E2E_WORK/desktop.log")"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >"$E2E_WORK/appstream.log" 2>&1 ||
        e2e_fail "appstreamcli validate: $(cat "$E2E_WORK/appstream.log")"
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIP: ${missing[*]} not installed (make deps installs them); the rest of the installed tree is right"
    exit $kSkipped
fi
echo "PASS: the installed tree holds a stripped program, a valid desktop entry and metainfo, crisp icons and the manual page"
