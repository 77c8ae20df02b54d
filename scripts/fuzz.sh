#!/usr/bin/env bash
# A long run of one fuzz target from its kept corpus, merging what it found back.
#
#   scripts/fuzz.sh TARGET SECONDS     e.g. scripts/fuzz.sh bitstring 600
#
# Builds fuzz_TARGET with the fuzz preset (clang, ASan, UBSan) when needed, runs it
# for SECONDS from a copy of fuzz/corpus/TARGET, then merges (-merge=1) the inputs
# that reach new coverage into fuzz/corpus/TARGET. An input that crashes or breaks
# the target's property is added to the corpus as it is, left in build/fuzz/findings/,
# and the script fails: turn it into a test row when you fix the fault.
# The number of executions is printed at the end. Environment: ZEL_FUZZ_JOBS (the
# build's parallel jobs, 2), ZEL_FUZZ_FLAGS (more libFuzzer flags).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ $# -ne 2 ]; then
    echo "usage: $0 TARGET SECONDS" >&2
    exit 2
fi
target=$1
seconds=$2
binary=build/fuzz/fuzz/fuzz_$target
[ -f "fuzz/$target.cpp" ] || { echo "no fuzz target fuzz/$target.cpp" >&2; exit 2; }

[ -f build/fuzz/CMakeCache.txt ] || cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "${ZEL_FUZZ_JOBS:-2}" --target "fuzz_$target" >/dev/null

corpus=fuzz/corpus/$target
findings=build/fuzz/findings/$target
mkdir -p "$corpus" "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work" "$work.merge"' EXIT
cp -a "$corpus/." "$work/"

status=0
# shellcheck disable=SC2086 # the extra flags are words
"$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$findings/" ${ZEL_FUZZ_FLAGS:-} "$work" >"$work.log" 2>&1 || status=$?
grep -E '^stat::number_of_executed_units|^Done|ERROR|SUMMARY' "$work.log" || true
# Anything that failed stays in the corpus.
for found in "$findings"/crash-* "$findings"/timeout-* "$findings"/oom-* "$findings"/leak-*; do
    [ -e "$found" ] || continue
    cp "$found" "$corpus/$(sha1sum "$found" | cut -c1-40)"
    echo "FINDING: $found (kept in $corpus)"
    status=1
done
before=$(find "$corpus" -type f | wc -l)
"$binary" -merge=1 -timeout=10 -rss_limit_mb=4096 "$corpus" "$work" >"$work.merge" 2>&1 ||
    { cat "$work.merge"; exit 1; }
echo "$target: corpus $before -> $(find "$corpus" -type f | wc -l) files, log $work.log"
rm -f "$work.merge"
exit "$status"
