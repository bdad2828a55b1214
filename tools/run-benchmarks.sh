#!/usr/bin/env bash
# Runs every benchmark of the project from the build folder.
set -euo pipefail
build="${1:-build}"
for b in "$build"/bench/*_bench; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
done
