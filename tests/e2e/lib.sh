# Helpers for end-to-end scripts: a private X server with a window manager, a
# throw-away home, and waiting for the program's window. Source it, then call
# e2e_start_desktop; everything started here is stopped when the script exits.

E2E_PIDS=()

# Set E2E_ARTIFACTS to a folder to keep the logs and a picture of the screen
# when a script fails.
e2e_fail()
{
    echo "FAIL: $*" >&2
    if [ -n "${E2E_ARTIFACTS:-}" ] && [ -n "${E2E_WORK:-}" ]; then
        mkdir -p "$E2E_ARTIFACTS"
        cp "$E2E_WORK"/*.log "$E2E_ARTIFACTS"/ 2>/dev/null || true
        [ -n "${DISPLAY:-}" ] && import -window root "$E2E_ARTIFACTS/screen.png" 2>/dev/null || true
        echo "artifacts in $E2E_ARTIFACTS" >&2
    fi
    exit 1
}

e2e_cleanup()
{
    local pid
    for pid in "${E2E_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${E2E_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    [ -n "${E2E_WORK:-}" ] && rm -rf "$E2E_WORK"
}

# Runs a command in the background and stops it when the script ends.
e2e_spawn()
{
    "$@" &
    E2E_PIDS+=($!)
}

# A fresh HOME and XDG_CONFIG_HOME, so the user's own settings are never touched.
e2e_temp_home()
{
    E2E_WORK=$(mktemp -d)
    export HOME=$E2E_WORK/home
    export XDG_CONFIG_HOME=$E2E_WORK/config
    export XDG_RUNTIME_DIR=$E2E_WORK/runtime
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}

# Xvfb at 96 DPI (15 twips a pixel) on a display it picks itself, so that
# scripts running side by side never meet, then openbox on it. Their output
# goes to $E2E_WORK/desktop.log.
e2e_start_desktop()
{
    local size=${1:-1280x1024x24}
    trap e2e_cleanup EXIT
    e2e_temp_home
    local number=$E2E_WORK/display
    e2e_spawn Xvfb -displayfd 3 -screen 0 "$size" -dpi 96 -nolisten tcp 3>"$number" >>"$E2E_WORK/desktop.log" 2>&1
    e2e_wait_for 10 test -s "$number" || e2e_fail "Xvfb did not start"
    export DISPLAY=:$(head -n 1 "$number")
    e2e_spawn openbox --sm-disable >>"$E2E_WORK/desktop.log" 2>&1
    e2e_wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
        e2e_fail "openbox did not start"
}

# Retries a command every 0.1 s for up to the given seconds; true when it succeeded.
e2e_wait_for()
{
    local seconds=$1 i
    shift
    for i in $(seq $((seconds * 10))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Prints the id of the first visible window whose title matches the pattern.
e2e_wait_window()
{
    local pattern=$1 seconds=${2:-20}
    timeout "$seconds" xdotool search --sync --onlyvisible --name "$pattern" 2>/dev/null | head -n 1
}

# Prints the id of the first window the window manager has taken, shown or
# minimised, whose title matches the pattern.
e2e_wait_managed_window()
{
    local pattern=$1 seconds=${2:-20} i w
    for i in $(seq $((seconds * 10))); do
        for w in $(xdotool search --name "$pattern" 2>/dev/null); do
            xprop -id "$w" WM_STATE 2>/dev/null | grep -q "window state" && echo "$w" && return 0
        done
        sleep 0.1
    done
    return 1
}

# Waits until no visible window matches the pattern any more.
e2e_wait_window_gone()
{
    local pattern=$1 seconds=${2:-20}
    e2e_wait_for "$seconds" sh -c "! xdotool search --onlyvisible --name '$pattern'"
}

# The outer geometry of a client window, frame included: "left top width height".
e2e_frame_geometry()
{
    local window=$1 frame
    frame=$(e2e_frame_of "$window")
    xwininfo -id "$frame" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /^ *Width:/{w=$NF} /^ *Height:/{h=$NF} END{print x, y, w, h}'
}

# The window manager's frame around a client window (its child of the root).
e2e_frame_of()
{
    local window=$1 parent root
    root=$(xwininfo -root | awk '/Window id:/{print $4}')
    window=$(printf '0x%x' "$window")
    while :; do
        parent=$(xwininfo -children -id "$window" | awk '/Parent window id:/{print $4}')
        [ "$parent" = "$root" ] && break
        window=$parent
    done
    echo "$window"
}
