#!/usr/bin/env bash
# Shows the real window under a private Xvfb at 96 DPI, decorated by openbox,
# with the toolbar16.bmp sample loaded from the command line, and writes a PNG
# of just that window: title bar and borders included.
# Usage: scripts/screenshot.sh [--scale N] [--dark] [build-folder] [output.png]
#   --scale N  Qt's scale factor (QT_SCALE_FACTOR), as on a high-density screen
#   --dark     a dark desktop theme: Qt's own KDE theme reading a dark colour scheme
set -euo pipefail
scale=
dark=
while [ $# -gt 0 ]; do
  case $1 in
    --scale) scale=$2; shift 2 ;;
    --dark) dark=1; shift ;;
    *) break ;;
  esac
done
build=${1:-build}
out=${2:-$build/quorvel-window.png}
program=$build/quorvel

fail() {
  echo "screenshot: $*" >&2
  exit 1
}

[ -x "$program" ] || fail "$program not found; build first (make build)"
for tool in Xvfb openbox xdotool xwininfo xprop import; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run 'make deps'"
done

work=$(mktemp -d)
cleanup() {
  local pids
  pids=$(jobs -p)
  [ -z "$pids" ] || kill $pids 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to five seconds for a command to succeed.
wait_for() {
  for _ in $(seq 50); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
wait_for test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -n 1 "$work/display")

openbox >"$work/openbox.log" 2>&1 &
wm_ready() { xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q "window id"; }
wait_for wm_ready || fail "openbox did not start: $(cat "$work/openbox.log")"

# A fresh settings store, the xcb platform and no scaling or theme from the caller's desktop.
theme=()
if [ -n "$dark" ]; then
  mkdir -p "$work/config"
  for group in Window Button View Tooltip; do
    printf '[Colors:%s]\nBackgroundNormal=50,50,50\nForegroundNormal=238,238,236\n\n' "$group"
  done >"$work/config/kdeglobals"
  theme=(QT_QPA_PLATFORMTHEME=kde KDE_SESSION_VERSION=5 KDE_FULL_SESSION=true)
fi
[ -z "$scale" ] || theme+=(QT_SCALE_FACTOR="$scale")
env -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS -u QT_AUTO_SCREEN_SCALE_FACTOR -u QT_ENABLE_HIGHDPI_SCALING \
  -u QT_QPA_PLATFORMTHEME QT_QPA_PLATFORM=xcb HOME="$work" XDG_CONFIG_HOME="$work/config" "${theme[@]}" \
  "$program" "$build/toolbar16.bmp" >"$work/quorvel.log" 2>&1 &
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorvel$' 2>/dev/null | head -n 1) || true
[ -n "$window" ] || fail "the window did not appear: $(cat "$work/quorvel.log")"

# openbox wraps the window in a frame (title bar and borders), a direct child of the root.
root=$(xwininfo -root | awk '/Window id:/{print $4}')
parent_of() { xwininfo -children -id "$1" | awk '/Parent window id:/{print $4}'; }
framed() { [ "$(parent_of "$window")" != "$root" ]; }
wait_for framed || fail "openbox did not decorate the window"
frame=$window
while [ "$(parent_of "$frame")" != "$root" ]; do frame=$(parent_of "$frame"); done

# Let the window draw itself at its final size before the picture is taken.
sleep 1
geometry=$(xwininfo -id "$frame" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4}
  /Width:/{w=$2} /Height:/{h=$2} END{print w "x" h "+" x "+" y}')
import -window root -crop "$geometry" +repage "$out"
echo "wrote $out"
