#!/usr/bin/env bash
# Runs a command on an X server of its own (Xvfb) under a real window manager.
# Usage: on_x_server.sh WIDTHxHEIGHT DPI WINDOW-MANAGER COMMAND [ARGS...]
# DPI gives the screen its physical size (RandR is left out, so that Qt reads the size from
# the screen itself); WINDOW-MANAGER is openbox or matchbox.
set -euo pipefail
size=$1 dpi=$2 wm=$3
shift 3
for tool in Xvfb "$([ "$wm" = matchbox ] && echo matchbox-window-manager || echo "$wm")"; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done
work=$(mktemp -d)
xvfb_pid="" wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/runtime"
exec 3< <(Xvfb -displayfd 1 -screen 0 "${size}x24" -dpi "$dpi" -extension RANDR -nolisten tcp \
          2>/dev/null & echo "pid $!")
read -r -t 10 line <&3 && xvfb_pid=${line#pid }
read -r -t 10 display <&3 || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$display" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
case $wm in
    openbox) openbox --sm-disable >/dev/null 2>&1 & wm_pid=$! ;;
    matchbox) matchbox-window-manager -use_titlebar yes >/dev/null 2>&1 & wm_pid=$! ;;
    *) echo "FAIL: unknown window manager $wm"; exit 1 ;;
esac
sleep 1
"$@"
