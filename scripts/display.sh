# Sourced: a private Xvfb display at 1024 by 768 for the windows of tests and demos.
start_virtual_display() {
    local display
    for display in $(seq 91 130); do
        [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
        Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$display" ] && break
            sleep 0.1
        done
        if kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$display"
            return 0
        fi
    done
    echo "display: no free X display for Xvfb" >&2
    return 1
}

stop_virtual_display() {
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
}

# Ends the processes of this prefix only; other Wine processes on the machine stay.
stop_wine() {
    wineserver -k 2>/dev/null || true
}
