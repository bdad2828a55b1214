#!/usr/bin/env bash
# Runs every benchmark of the project from the build folder and prints one table of the
# ratios against their references (each benchmark measures its reference in the same run and
# prints "RESULT name ratio goal"). The full output of each stays in <build>/bench/*.log.
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
    while read -r _ what ratio goal; do
        results+=("$what|$ratio|$goal")
    done < <(grep '^RESULT ' "$b.log")
done

echo
echo "Benchmarks on $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'):"
echo
printf '| %-40s | %7s | %8s |\n' "benchmark (time ratio to its reference)" "ratio" "goal"
printf '|%s|%s|%s|\n' "------------------------------------------" "---------" "----------"
for r in "${results[@]}"; do
    IFS='|' read -r what ratio goal <<<"$r"
    [ "$goal" = "-" ] && goal="none"
    [ "$goal" != "none" ] && goal="<= $goal"
    printf '| %-40s | %7s | %8s |\n' "$what" "$ratio" "$goal"
done
exit $status
