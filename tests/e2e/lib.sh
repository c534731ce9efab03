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
    # No reset when the last client leaves: the probe below is one.
    e2e_spawn Xvfb -displayfd 3 -screen 0 "$size" -dpi 96 -nolisten tcp -noreset 3>"$number" \
        >>"$E2E_WORK/desktop.log" 2>&1
    e2e_wait_for 10 test -s "$number" || e2e_fail "Xvfb did not start"
    export DISPLAY=:$(head -n 1 "$number")
    # The server names its display before it may take clients, and openbox
    # gives up at once on a display it cannot open.
    e2e_wait_for 10 xprop -root -notype _NET_SUPPORTED || e2e_fail "Xvfb did not answer on $DISPLAY"
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

# Writes a PNG of a window as it shows on screen, title bar and borders included.
e2e_snapshot()
{
    local window=$1 file=$2 left top width height
    read -r left top width height <<<"$(e2e_frame_geometry "$window")"
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$file"
}

# True when a picture has the size of the expected one and the same pixels
# wherever the expected one is opaque (a GIF's transparent pixels show
# whatever is behind them).
e2e_same_pixels()
{
    local actual=$1 expected=$2 covered=$E2E_WORK/covered.png
    [ "$(identify -format %wx%h "$actual")" = "$(identify -format %wx%h "$expected")" ] &&
        convert "$actual" "$expected" -composite "$covered" &&
        [ "$(compare -metric AE "$actual" "$covered" null: 2>&1)" = 0 ]
}

# Writes the part of a picture at left,top as wide and high as given.
e2e_crop()
{
    local picture=$1 width=$2 height=$3 left=$4 top=$5 out=$6
    convert "$picture" -crop "${width}x${height}+${left}+${top}" +repage "$out"
}

# Waits for a visible window with the title, makes it the active one and
# prints its id.
e2e_wait_active_window()
{
    local pattern=$1 seconds=${2:-10} window
    window=$(e2e_wait_window "$pattern" "$seconds") && [ -n "$window" ] || return 1
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || return 1
    echo "$window"
}

e2e_wait_for_file()
{
    e2e_wait_for 10 test -s "$1" || e2e_fail "$1 was not written"
}

# A value of the program's settings file: group, key.
e2e_setting()
{
    awk -F= -v group="[$1]" -v key="$2" '/^\[/{inside = ($0 == group)} inside && $1 == key {print substr($0, length(key) + 2)}' \
        "$XDG_CONFIG_HOME/Quorvel/Quorvel.conf"
}

# Starts the program (with any arguments) and waits for its window. Sets QUORVEL (the process),
# WINDOW (its client window) and the places of its controls.
e2e_start_program()
{
    e2e_spawn "$@" >>"$E2E_WORK/quorvel.log" 2>&1
    QUORVEL=${E2E_PIDS[-1]}
    WINDOW=$(e2e_wait_active_window '^Quorvel$' 20) || e2e_fail "the window did not appear"
    e2e_locate_controls
}

# Closes the window as a user does, by Alt+F4, and waits for the program to end.
e2e_close_program()
{
    xdotool windowactivate --sync "$WINDOW" key alt+F4
    timeout 10 tail --pid="$QUORVEL" -f /dev/null || e2e_fail "the program did not end after Alt+F4"
    wait "$QUORVEL" || e2e_fail "the program ended with status $?"
}

readonly E2E_TWIPS_PER_PIXEL=15

# Where WINDOW's controls are after the first layout, in pixels of its client
# area, from their design places in twips: Frame2 at the top left corner,
# Frame1 below it, Frame3 below it at the right edge, the toolbar Picture1 at
# Frame1's right edge less Label1's left margin. The window manager's frame
# decides the client width, so the places at the right follow from it.
# Points are the middles of buttons and boxes, and the first rows of lists;
# IMAGE and PREVIEW are top left corners.
e2e_locate_controls()
{
    local t=$E2E_TWIPS_PER_PIXEL frame1Top=2355 frame3Width=1140 toolbarWidth=2760 label1Left=135
    local scaleWidth toolbarLeft toolbarTop buttonMiddle
    scaleWidth=$(($(xwininfo -id "$WINDOW" | awk '/^ *Width:/{print $NF}') * t))
    toolbarLeft=$((scaleWidth - frame3Width - toolbarWidth - label1Left))
    toolbarTop=$((frame1Top + 540))
    buttonMiddle=$(((toolbarTop + 45 + 375 / 2) / t))
    DIR_LIST_ROW=($(((135 + 60) / t)) $(((585 + 60) / t)))
    FILE_LIST_ROW=($(((2790 + 60) / t)) $(((225 + 60) / t)))
    IMAGE=($((135 / t)) $(((frame1Top + 1170) / t)))
    PREVIEW=($(((scaleWidth - frame3Width + 135) / t)) $(((frame1Top + 360) / t)))
    PREFIX_BOX=($(((toolbarLeft + 855 + 600 / 2) / t)) $(((toolbarTop + 90 + 330 / 2) / t)))
    DIR_BUTTON=($(((toolbarLeft + 1485 + 420 / 2) / t)) $buttonMiddle)
    SAVE_ALL_BUTTON=($(((toolbarLeft + 1905 + 420 / 2) / t)) $buttonMiddle)
    SAVE_BUTTON=($(((toolbarLeft + 2325 + 420 / 2) / t)) $buttonMiddle)
}

# Presses the left mouse button at a point of WINDOW's client area, in pixels.
e2e_click()
{
    xdotool mousemove --window "$WINDOW" --sync "$1" "$2" click 1
}

# True when WINDOW's client area shows the expected picture with its top left
# corner at x,y.
e2e_window_shows()
{
    local x=$1 y=$2 expected=$3 shown=$E2E_WORK/shown.png
    import -window "$WINDOW" -crop "$(identify -format %wx%h "$expected")+$x+$y" +repage "$shown" &&
        e2e_same_pixels "$shown" "$expected"
}

# Types a name into the save dialog's name box, replacing what it holds, and
# accepts it by Enter.
e2e_answer_save_dialog()
{
    local name=$1
    e2e_wait_active_window '^Save File$' >/dev/null || e2e_fail "no save dialog"
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 10 "$name"
    xdotool key Return
    e2e_wait_window_gone '^Save File$' 5 || e2e_fail "the save dialog did not close on $name"
}

# Replaces the text of the prefix box.
e2e_type_prefix()
{
    e2e_click "${PREFIX_BOX[@]}"
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 10 "$1"
}
