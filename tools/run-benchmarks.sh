#!/usr/bin/env bash
# Runs every benchmark of the project from the build folder and prints one table of the
# ratios against their references (each benchmark measures its reference in the same run and
# prints "RESULT name ratio goal [notes]", goal "-" for none). The full output of each stays
# in <build>/bench/*.log.
set -uo pipefail
build="${1:-build}"
results=()
status=0
for b in "$build"/bench/*_bench; do
    [ -x "$b" ] || continue
    name=$(basename "$b")
    echo "== $name"
    if ! "$b" 2>&1 | tee "$b.log"; then
        echo "   $name FAILED" >&2
        status=1
    fi
    while read -r _ what ratio goal note; do
        results+=("$what|$ratio|$goal|$note")
    done < <(grep '^RESULT ' "$b.log")
done

echo
echo "Benchmarks on $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'):"
echo
printf '| %-40s | %7s | %8s | %s\n' "benchmark (ratio to its reference)" "ratio" "goal" "notes"
printf '|%s|%s|%s|%s\n' "------------------------------------------" "---------" "----------" "------"
for r in "${results[@]}"; do
    IFS='|' read -r what ratio goal note <<<"$r"
    [ "$goal" = "-" ] && goal="none"
    [ "$goal" != "none" ] && goal="<= $goal"
    printf '| %-40s | %7s | %8s | %s\n' "$what" "$ratio" "$goal" "$note"
done
exit $status
