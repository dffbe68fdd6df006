# Sourced by the scripts that need a private X display.
# start_xvfb SCREEN [LOG [XVFB_ARGS...]]: starts Xvfb with one screen of SCREEN (WIDTHxHEIGHT, 24-bit)
# on a display the server picks itself (so runs side by side never race for a number), waits until
# it takes connections, exports DISPLAY and sets xvfb_pid. Returns 1 when no display could be started.
start_xvfb() {
    local screen=$1 log=${2:-/dev/null} number="" number_file
    shift $(($# < 2 ? $# : 2))
    command -v Xvfb >/dev/null 2>&1 || return 1
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp "$@" 3>"$number_file" >"$log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 200); do
        number=$(head -n 1 "$number_file")
        [[ -n $number ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$number_file"
    if [[ -z $number ]]; then
        kill "$xvfb_pid" >/dev/null 2>&1
        xvfb_pid=""
        return 1
    fi
    export DISPLAY=":$number"
}

# begin_x_session: sets work to a new temporary folder and, at exit, ends the application, the window
# manager and Xvfb (app_pid, wm_pid and xvfb_pid, whichever are set, in that order) and removes the
# folder.
begin_x_session() {
    work=$(mktemp -d)
    xvfb_pid=""
    wm_pid=""
    app_pid=""
    trap end_x_session EXIT
}

end_x_session() {
    for pid in $app_pid $wm_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
