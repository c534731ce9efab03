#!/usr/bin/env bash
# The program as a native Wayland client, under a headless weston: started
# with a strip on the command line, shown, and closed by SIGTERM. Wayland does
# not tell a window where it stands, so the stored position stays as an X11
# session left it, while the state, the size and the folders are stored.
# Usage: test_wayland.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/wayland
source "$(dirname "$0")/lib.sh"

readonly kSkipped=77
# Twips an X11 session stored, which no Wayland session can check.
readonly kLeft=4500 kTop=3000

command -v weston >/dev/null || { echo "SKIP: weston not installed (make deps installs it)"; exit $kSkipped; }
trap e2e_cleanup EXIT
e2e_temp_home
unset DISPLAY
export WAYLAND_DISPLAY=quorvel-e2e-$$
e2e_spawn weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --idle-time=0 \
    >"$E2E_WORK/weston.log" 2>&1
e2e_wait_for 10 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || e2e_fail "weston did not start"

folder=$E2E_WORK/strips
mkdir -p "$folder" "$XDG_CONFIG_HOME/Quorvel"
cp "$(dirname "$program")/toolbar16.bmp" "$folder/"
printf '[f_Main]\nWindowState=0\nWindowLeft=%s\nWindowTop=%s\n' $kLeft $kTop >"$XDG_CONFIG_HOME/Quorvel/Quorvel.conf"

# The client's side of the protocol tells when the window has drawn itself.
QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client e2e_spawn "$program" "$folder/toolbar16.bmp" \
    >"$E2E_WORK/quorvel.log" 2>&1
QUORVEL=${E2E_PIDS[-1]}
shown()
{
    grep -q 'ack_configure' "$E2E_WORK/quorvel.log" &&
        sed -n '/ack_configure/,$p' "$E2E_WORK/quorvel.log" | grep -q 'wl_surface@[0-9]*\.attach(wl_buffer'
}
if ! e2e_wait_for 20 shown; then
    grep -q 'Could not find the Qt platform plugin "wayland"' "$E2E_WORK/quorvel.log" &&
        { echo "SKIP: Qt's Wayland plugin is not installed (make deps installs qt6-wayland)"; exit $kSkipped; }
    e2e_fail "the window was not shown on Wayland"
fi

kill -TERM "$QUORVEL"
timeout 10 tail --pid="$QUORVEL" -f /dev/null || e2e_fail "the program did not end on SIGTERM"
wait "$QUORVEL" || e2e_fail "the program ended with status $?"

[ "$(e2e_setting f_Main WindowLeft)" = $kLeft ] || e2e_fail "WindowLeft became $(e2e_setting f_Main WindowLeft)"
[ "$(e2e_setting f_Main WindowTop)" = $kTop ] || e2e_fail "WindowTop became $(e2e_setting f_Main WindowTop)"
[ "$(e2e_setting f_Main WindowState)" = 0 ] || e2e_fail "WindowState is $(e2e_setting f_Main WindowState)"
for key in WindowWidth WindowHeight; do
    [[ "$(e2e_setting f_Main $key)" =~ ^[1-9][0-9]*$ ]] || e2e_fail "$key is '$(e2e_setting f_Main $key)'"
done
[ "$(e2e_setting Setting DirPath)" = "$folder" ] || e2e_fail "DirPath is $(e2e_setting Setting DirPath)"
echo "PASS: on Wayland the window shows the strip, closes on SIGTERM and stores all but the place it cannot know"
