#!/usr/bin/env bash
# What a screen reader finds in the real window over AT-SPI: every control
# with its name and role, and the strip and the preview described by the size
# and index texts as they are after a click. Runs in a private D-Bus session
# with its own accessibility bus.
# Usage: test_screen_reader.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/screen_reader
source "$(dirname "$0")/lib.sh"

readonly kSkipped=77

for tool in dbus-run-session Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed (make deps installs it)"; exit $kSkipped; }
done
# Debian's own Python, which python3-pyatspi extends, whatever else is on the PATH.
readonly python=/usr/bin/python3
"$python" -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi not installed (make deps installs it)"; exit $kSkipped; }
if [ -z "${QUORVEL_E2E_SESSION_BUS:-}" ]; then
    QUORVEL_E2E_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

e2e_start_desktop
folder=$E2E_WORK/strips
mkdir -p "$folder"
cp "$(dirname "$program")/toolbar16.bmp" "$folder/"
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 e2e_start_program "$program" "$folder/toolbar16.bmp"
# The third tile of the strip.
e2e_click $((IMAGE[0] + 40)) $((IMAGE[1] + 4))

# Prints "role|name|description" for every showing object of the program's
# window; a drop-down list is named by the label that labels it.
cat >"$E2E_WORK/tree.py" <<'EOF'
import sys, time
import pyatspi

def program():
    for _ in range(100):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "Quorvel":
                return app
        time.sleep(0.1)
    sys.exit("no application named Quorvel on the accessibility bus")

def name_of(node):
    if node.getRoleName() == "combo box":
        for relation in node.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                return relation.getTarget(0).name
    return node.name

def walk(node):
    if not node.getState().contains(pyatspi.STATE_SHOWING):
        return
    print("%s|%s|%s" % (node.getRoleName(), name_of(node), node.description))
    for child in node:
        walk(child)

for window in program():
    walk(window)
EOF
"$python" "$E2E_WORK/tree.py" >"$E2E_WORK/tree.log" 2>"$E2E_WORK/atspi.log" ||
    e2e_fail "could not read the accessibility tree: $(tail -n 3 "$E2E_WORK/atspi.log")"

# role|name|description, each to be found among the lines read; a button keeps
# its tooltip as its description.
expected=(
    "frame|Quorvel|"
    "panel|File|"
    "combo box|Drives|"
    "list|Folders|"
    "list|Files|"
    "panel|Image|"
    "tool bar|Toolbar|"
    "label|Prefix:|"
    "text|Prefix|"
    "push button|Choose directory for store bitmaps|Choose directory for store bitmaps"
    "push button|Save all bitmaps|Save all bitmaps"
    "push button|Save selected picture to file|Save selected picture to file"
    # With nothing stored, the output folder is the program's.
    "label|Output folder|$(dirname "$(readlink -f "$program")")"
    "label|Size: 160x16|"
    "label|Index: 3 из 10|"
    "image|Selected tile|"
    "image|Strip|Size: 160x16, Index: 3 из 10"
    "panel|Output|"
    "image|Preview|Size: 160x16, Index: 3 из 10"
)
for line in "${expected[@]}"; do
    grep -qxF "$line" "$E2E_WORK/tree.log" || e2e_fail "no '$line' in the accessibility tree (see tree.log)"
done
e2e_close_program
echo "PASS: a screen reader finds every control named, with its role, and the pictures described"
