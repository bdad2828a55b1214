#!/usr/bin/env bash
# Starts the program from the build folder. On the first start the demo directories of
# examples/ are loaded into its database through velmorant-cli import, as the office would
# send them, so that a newcomer sees a working program. Without a display it says so and
# stops, unless QT_QPA_PLATFORM names a platform that needs none (offscreen).
set -euo pipefail
build="${1:-build}"
top="$(cd "$(dirname "$0")/.." && pwd)"
home="$build/app"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display: set DISPLAY, or start it with QT_QPA_PLATFORM=offscreen make run." >&2
    exit 1
fi

if [ ! -f "$home/data/base.sdb" ]; then
    echo "First start: loading the demo directories from examples/ ..."
    demo="$(mktemp -d)"
    trap 'rm -rf "$demo"' EXIT
    python3 "$top/tools/office_simulator.py" script --clients "$top/examples/clients.csv" \
        --goods "$top/examples/goods.csv" --inbox "$top/examples/messages.csv" \
        --option UseSUMS=1 --option "AgentName=Демо-агент" \
        --message "Добро пожаловать! Справочники клиентов и товаров загружены." --out "$demo"
    "$home/velmorant-cli" --home "$home" init
    "$home/velmorant-cli" --home "$home" import "$demo" </dev/null ||
        echo "The demo directories could not be loaded; the program starts empty." >&2
    rm -rf "$demo"
    trap - EXIT
fi
exec "$home/velmorant"
