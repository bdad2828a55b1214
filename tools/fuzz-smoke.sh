#!/usr/bin/env bash
# A short run of each libFuzzer target: tools/fuzz-smoke.sh BUILD_FOLDER [SECONDS]
# Each starts from its seeds (the import scripts of tests/fuzz, the legacy archives of
# ../shared/testdata when present) in a scratch corpus, and fails on the first crash, leak,
# sanitizer report or time-out. A crashing input is kept in the build folder.
set -euo pipefail
build="$1"
seconds="${2:-30}"
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(cd "$build" && pwd)/fuzz-smoke"
rm -rf "$work"
mkdir -p "$work/zip-corpus" "$work/import-corpus" "$work/zip-seeds"

# Seeds for the archive reader: the legacy archives, and a small archive of each method the
# tools here can make.
legacy="$root/../shared/testdata/zip-legacy"
if [ -d "$legacy" ]; then
    n=0
    while IFS= read -r -d '' f; do
        n=$((n + 1))
        cp "$f" "$work/zip-seeds/legacy-$n.zip"
    done < <(find "$legacy" -type f -iname '*.zip' -size -64k -print0)
fi
printf 'Заказ 1\r\nЗаказ 2\r\n' >"$work/plain.txt"
(cd "$work" && zip -q -0 zip-seeds/stored.zip plain.txt && zip -q -9 zip-seeds/deflated.zip plain.txt)

run() {
    local name="$1"
    shift
    echo "== $name, ${seconds} s"
    (cd "$work" && "$build/tests/fuzz/$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$name-" "$@") \
        >"$work/$name.log" 2>&1 || {
        tail -n 60 "$work/$name.log"
        echo "$name failed; its log and input: $work/$name*" >&2
        return 1
    }
    grep -E '^(stat::number_of_executed_runs|stat::peak_rss_mb|Done )' "$work/$name.log" || true
}

build="$(cd "$build" && pwd)"
run zip_reader_fuzz -max_len=65536 "$work/zip-corpus" "$work/zip-seeds"
run import_script_fuzz -max_len=16384 -dict="$root/tests/fuzz/import_script.dict" \
    "$work/import-corpus" "$root/tests/fuzz/import_seeds"
