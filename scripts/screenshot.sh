#!/usr/bin/env bash
# Shows the real window under a private Xvfb at 96 DPI and writes a PNG of it.
# Usage: scripts/screenshot.sh [build-folder] [output.png]
set -euo pipefail
build=${1:-build}
out=${2:-$build/quorvel-window.png}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
sleep 0.5

HOME=$work XDG_CONFIG_HOME=$work/config "$build/quorvel" >/dev/null 2>&1 &
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorvel$' | head -n 1)
sleep 1
import -window root -crop "$(xdotool getwindowgeometry --shell "$window" | awk -F= '/WIDTH/{w=$2}/HEIGHT/{h=$2}END{print w+20"x"h+40}')+0+0" "$out" 2>/dev/null || import -window root "$out"
echo "wrote $out"
