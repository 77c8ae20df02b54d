#!/usr/bin/env bash
# The coverage map: builds the coverage preset (the sanitize build, counted by
# gcov), runs every test, and writes build/coverage/coverage/index.html; prints a
# table per source folder (lines, branches, functions) and the files with the
# lowest branch coverage.
#
#   scripts/coverage.sh            build, test, report (fails when a test fails)
#   scripts/coverage.sh --report   report on the counters of the last run only
#
# The tests start children as root and as nobody (hostile tests, exit-time hosts,
# the tool). Their counters count too: every counter file is made in advance in a
# folder outside the checkout (GCOV_PREFIX), writable by every account, and
# copied next to the build's notes files after the run. Children that end with
# _exit write theirs through src/testing/CoverageExit.cpp.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build/coverage
report=$build/coverage
status=0

if [ "${1:-}" != "--report" ]; then
    cmake --preset coverage >/dev/null
    cmake --build --preset coverage
    abs=$(cd "$build" && pwd)
    find "$build" -name '*.gcda' -delete
    data=$(mktemp -d /tmp/zel-coverage.XXXXXX)
    trap 'rm -rf "$data"' EXIT
    (cd "$build" && find . -name '*.gcno') | while read -r notes; do
        counters="$data$abs/${notes%.gcno}.gcda"
        mkdir -p "$(dirname "$counters")"
        : >"$counters"
        chmod 0666 "$counters"
    done
    find "$data" -type d -exec chmod 0755 {} +
    GCOV_PREFIX=$data GCOV_PREFIX_STRIP=0 ctest --preset coverage || status=$?
    (cd "$data$abs" && find . -name '*.gcda' -size +0 -exec cp --parents {} "$abs/" \;)
fi

rm -rf "$report"
mkdir -p "$report"
gcovr --root . --object-directory "$build" -j 2 \
    --filter 'src/' --filter 'include/' --filter 'tools/' \
    --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors \
    --html-details "$report/index.html" --json-summary "$report/summary.json" >/dev/null
python3 - "$report/summary.json" <<'PY'
import json, os, sys
files = json.load(open(sys.argv[1]))["files"]
keys = ("line", "branch", "function")
folders = {}
for f in files:
    total = folders.setdefault(os.path.dirname(f["filename"]), {k: [0, 0] for k in keys})
    for k in keys:
        total[k][0] += f[k + "_covered"]
        total[k][1] += f[k + "_total"]
def pct(c, t):
    return f"{100.0 * c / t:6.1f} % {c:>5}/{t:<5}" if t else "     -            "
print(f"{'folder':<24} {'lines':<20} {'branches':<20} {'functions':<20}")
everything = {k: [0, 0] for k in keys}
for name in sorted(folders):
    row = folders[name]
    for k in keys:
        everything[k][0] += row[k][0]
        everything[k][1] += row[k][1]
    print(f"{name:<24} " + " ".join(f"{pct(*row[k]):<20}" for k in keys))
print(f"{'all':<24} " + " ".join(f"{pct(*everything[k]):<20}" for k in keys))
low = sorted((f for f in files if f["branch_total"]),
             key=lambda f: f["branch_covered"] / f["branch_total"])[:10]
print("\nlowest branch coverage:")
for f in low:
    print(f"  {f['filename']:<44} {pct(f['branch_covered'], f['branch_total'])}")
PY
echo "report: $report/index.html"
exit "$status"
