#!/usr/bin/env bash
# Starts the real window on a virtual X display, waits until it is mapped,
# optionally drives it, and saves a screenshot of the whole screen.
#   xvfb_screenshot.sh SONIVATE OUT.png [ARGS...]
# Environment: SONIVATE_SHOT_DELAY (seconds to let it draw, default 2),
# SONIVATE_SHOT_KEYS (xdotool key names sent to the window before the shot),
# SONIVATE_SHOT_CLICK ("x y" in the window, clicked before the shot),
# SONIVATE_SHOT_AFTER (seconds between the click and the shot, default 1),
# SONIVATE_SHOT_WM (a window manager to run, e.g. openbox),
# SONIVATE_SHOT_SECOND (arguments of a second start made once the window is
# up: it must end at once, and the first window lists them) and
# SONIVATE_SHOT_HOVER ("x y" in the window the pointer rests on before the
# shot, so that a tooltip shows) and SONIVATE_SHOT_SETTINGS ("Key=Value"
# words stored in the scratch per-user store before the window starts, e.g.
# "Profile=arib-tr-b32").
set -euo pipefail
program=$1 shot=$2
shift 2
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done

# A display number nobody uses: the lock file names the taken ones.
display=""
for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display"; exit 1; }

runtime=$(mktemp -d)
# A step that fails names itself, and the X server's own log follows, so
# that a failure on a loaded machine says where it happened.
failed_step() {
    echo "failed at line $1: $2 (status $3)"
    [ -s "$runtime/xvfb.log" ] && { echo "--- Xvfb:"; tail -20 "$runtime/xvfb.log"; }
}
trap 'failed_step "$LINENO" "$BASH_COMMAND" "$?"' ERR
# The window ends before its X server, so that an early exit of this script
# is never reported by the window as a lost X connection.
cleanup() {
    if [ -n "${app_pid:-}" ]; then
        kill "$app_pid" 2>/dev/null || true
        for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$app_pid" 2>/dev/null || true
    fi
    [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$runtime/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done

# Settings go to a scratch per-user store, never the user's own.
mkdir -p "$runtime/config"
chmod 700 "$runtime"
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$runtime XDG_CONFIG_HOME=$runtime/config
# One small file per setting, as the window's per-user store keeps them.
if [ -n "${SONIVATE_SHOT_SETTINGS:-}" ]; then
    mkdir -p "$runtime/config/kovantel/sonivate"
    for setting in $SONIVATE_SHOT_SETTINGS; do
        key=${setting%%=*}
        [[ $key =~ ^[A-Za-z][A-Za-z0-9]*$ && $setting == *=* ]] || { echo "not a setting: $setting"; exit 1; }
        printf '%s' "${setting#*=}" >"$runtime/config/kovantel/sonivate/$key"
    done
fi
if [ -n "${SONIVATE_SHOT_WM:-}" ]; then
    command -v "$SONIVATE_SHOT_WM" >/dev/null || { echo "SKIP: $SONIVATE_SHOT_WM not installed"; exit 77; }
    "$SONIVATE_SHOT_WM" >/dev/null 2>&1 &
    wm_pid=$!
fi
"$program" "$@" &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^sonivate$' | head -1)
[ -n "$window" ] || { echo "the window did not appear"; exit 1; }
sleep "${SONIVATE_SHOT_DELAY:-2}"
if [ -n "${SONIVATE_SHOT_SECOND:-}" ]; then
    # shellcheck disable=SC2086
    timeout 10 "$program" $SONIVATE_SHOT_SECOND || { echo "the second start did not end at once"; exit 1; }
    sleep 1
fi
if [ -n "${SONIVATE_SHOT_KEYS:-}" ]; then
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    # shellcheck disable=SC2086
    xdotool key --window "$window" $SONIVATE_SHOT_KEYS
    sleep 1
fi
if [ -n "${SONIVATE_SHOT_CLICK:-}" ]; then
    # shellcheck disable=SC2086
    xdotool mousemove --window "$window" $SONIVATE_SHOT_CLICK click 1
    sleep "${SONIVATE_SHOT_AFTER:-1}"
fi
if [ -n "${SONIVATE_SHOT_HOVER:-}" ]; then
    # shellcheck disable=SC2086
    xdotool mousemove --window "$window" $SONIVATE_SHOT_HOVER
    sleep 0.3
    # shellcheck disable=SC2086
    xdotool mousemove_relative 1 0
    sleep 2
fi
kill -0 "$app_pid" || { echo "the window ended before the screenshot"; exit 1; }
# A grab can fail while the server is busy drawing on a loaded machine: a
# few tries, each with its error shown.
for try in 1 2 3; do
    import -window root "$shot" && break
    [ "$try" -lt 3 ] || { echo "no screenshot after $try tries"; exit 1; }
    sleep 1
done
# The window closes on SIGTERM as on the desktop's close; with the
# sanitizers on a loaded machine its exit may take several seconds.
kill -TERM "$app_pid"
for _ in $(seq 1 150); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then echo "the window ignored SIGTERM"; exit 1; fi
wait "$app_pid" || { echo "exit status $? after SIGTERM"; exit 1; }
app_pid=""
echo "screenshot: $shot"
