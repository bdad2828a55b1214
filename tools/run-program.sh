#!/usr/bin/env bash
# Starts the program from the build folder. Without a display it says so and stops, unless
# QT_QPA_PLATFORM names a platform that needs none (offscreen).
set -euo pipefail
build="${1:-build}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display: set DISPLAY, or run with QT_QPA_PLATFORM=offscreen make run." >&2
    exit 1
fi
exec "$build/velmorant"
