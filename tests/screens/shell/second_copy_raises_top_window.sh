#!/usr/bin/env bash
# The real program on a real X server: with the editor open and the journal raised over it,
# a second copy makes the first bring back the editor, not the journal, in front.
# Usage: second_copy_raises_top_window.sh PATH-TO-velmorant
set -euo pipefail
program=$1
for tool in Xvfb xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    pkill -f "$work/first/velmorant" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/first" "$work/second" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$work/first/velmorant"
cp "$program" "$work/second/velmorant"

# A display of its own: Xvfb picks a free number and writes it to the pipe.
exec 3< <(Xvfb -displayfd 1 -screen 0 480x640x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r -t 10 line <&3 && xvfb_pid=${line#pid }
read -r -t 10 display <&3 || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$display" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb

# Top-most first, as xwininfo lists the root's children.
stack() { xwininfo -root -children | sed -n 's/^ *0x[0-9a-f]* "\([^"]*\)": ("velmorant".*/\1/p'; }
wait_for() {  # wait_for NAME: until a window of that name is mapped
    for _ in $(seq 100); do
        stack | grep -qx "$1" && return 0
        sleep 0.1
    done
    echo "FAIL: no window \"$1\"; windows: $(stack | tr '\n' ',')"
    exit 1
}

"$work/first/velmorant" >"$work/first.log" 2>&1 &
wait_for "Агент продаж"
sleep 1.5  # the journal's first load
# " Новый ", the first command of the journal's bottom menu bar, opens the editor.
xdotool mousemove 25 628 click 1
wait_for "Заявка"
journal=$(xdotool search --name '^Агент продаж$' | head -1)
xdotool windowraise "$journal"
sleep 0.3
[ "$(stack | head -1)" = "Агент продаж" ] || { echo "FAIL: the journal could not be raised"; exit 1; }

timeout 20 "$work/second/velmorant" >"$work/second.log" 2>&1 || {
    echo "FAIL: the second copy did not end with 0"; exit 1; }
for _ in $(seq 50); do
    [ "$(stack | head -1)" = "Заявка" ] && { echo "1 passed, 0 failed"; exit 0; }
    sleep 0.1
done
echo "FAIL: in front after the second start: $(stack | head -1); stack: $(stack | tr '\n' ',')"
exit 1
