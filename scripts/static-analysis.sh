#!/usr/bin/env bash
# Static analysis of src/, include/ and tools/: clang-tidy (the checks of the root
# .clang-tidy) and cppcheck, each over the compile database of the Linux build
# and of both MinGW builds. Prints every finding once and fails when there is one.
#
#   scripts/static-analysis.sh                    all three builds
#   scripts/static-analysis.sh linux mingw64      some of them
#
# A finding is fixed, or suppressed at its line with the reason:
#   clang-tidy  // NOLINT(check-name) // why
#   cppcheck    // cppcheck-suppress id ; why   (on the line before)
# The databases come from a configure step only (nothing is built), in
# build/analysis-<build>/. For MinGW, clang reads the MinGW-w64 headers and the
# cross compiler's libstdc++ (--target), and the GCC-only flags are dropped.
# Environment: ZEL_ANALYSIS_JOBS (parallel jobs, 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${ZEL_ANALYSIS_JOBS:-2}
builds=("$@")
[ ${#builds[@]} -ne 0 ] || builds=(linux mingw64 mingw32)
findings=$(mktemp)
trap 'rm -f "$findings"' EXIT

# The compile database of one build, for clang: build/analysis-<build>/db/.
database() {
    local name=$1 dir=build/analysis-$1 triple=""
    local args=(-DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_EXAMPLES=OFF
                -DZEL_BUILD_BENCH=OFF -DZEL_BUILD_FUZZ=OFF -DZEL_SANITIZE= -DZEL_COVERAGE=OFF)
    case "$name" in
        linux) ;;
        mingw64) triple=x86_64-w64-mingw32 ;;
        mingw32) triple=i686-w64-mingw32 ;;
        *) echo "unknown build $name (linux, mingw64, mingw32)" >&2; exit 2 ;;
    esac
    [ -z "$triple" ] || args+=(--toolchain "cmake/toolchain-$triple.cmake" -DZEL_WINE_RUNS=OFF)
    cmake -S . -B "$dir" "${args[@]}" >/dev/null
    mkdir -p "$dir/db"
    python3 - "$dir/compile_commands.json" "$dir/db/compile_commands.json" "$triple" <<'PY'
import json, os, shlex, sys, glob
source, target, triple = sys.argv[1:4]
entries = json.load(open(source))
out = []
for e in entries:
    if "/src/" not in e["file"] and "/tools/" not in e["file"]:
        continue
    words = shlex.split(e["command"])
    if triple:
        gxx = glob.glob(f"/usr/lib/gcc/{triple}/*-posix/include/c++")[0]
        expanded = []
        for w in words[1:]:
            if w.startswith("@"):  # the include-path response file
                expanded += shlex.split(open(os.path.join(e["directory"], w[1:])).read())
            elif w == "-fno-keep-inline-dllexport" or w.startswith("-Wa,"):
                continue  # GCC only
            else:
                expanded.append(w)
        words = ["clang++", f"--target={triple}", "-nostdinc++", "-isystem", gxx,
                 "-isystem", f"{gxx}/{triple}", "-isystem", f"{gxx}/backward"] + expanded
    e = dict(e, command=shlex.join(words))
    out.append(e)
json.dump(out, open(target, "w"), indent=1)
PY
}

for name in "${builds[@]}"; do
    database "$name"
    db=build/analysis-$name/db
    echo "--- clang-tidy, $name build ($(python3 -c "import json,sys; print(len(json.load(open(sys.argv[1]))))" "$db/compile_commands.json") files)"
    run-clang-tidy -quiet -j "$jobs" -p "$db" >"build/analysis-$name/clang-tidy.txt" 2>&1 || true
    sed 's/\x1b\[[0-9;]*m//g' "build/analysis-$name/clang-tidy.txt" |
        grep -E "^$root/(src|include|tools)/[^:]+:[0-9]+:[0-9]+: (warning|error): " | sed "s|^$root/||; s|\$| ($name)|" >>"$findings" || true
    # A finding clang-tidy gives no place for cannot be suppressed at a line, but counts.
    sed 's/\x1b\[[0-9;]*m//g' "build/analysis-$name/clang-tidy.txt" |
        grep -E "^(warning|error): .*\[[a-z0-9.,-]+\]\$" | sed "s|^|(no location) |; s|\$| ($name)|" >>"$findings" || true

    echo "--- cppcheck, $name build"
    cppflags=()
    case "$name" in
        mingw64) cppflags=(-D_WIN32 -D_WIN64 -D__MINGW32__ --platform=win64) ;;
        mingw32) cppflags=(-D_WIN32 -D__MINGW32__ --platform=win32A) ;;
        linux) cppflags=(-D__linux__ -D__GNUC__ --platform=unix64) ;;
    esac
    cppcheck --project="$db/compile_commands.json" -j "$jobs" --quiet --inline-suppr \
        --enable=warning,performance,portability --std=c++17 --language=c++ "${cppflags[@]}" \
        --suppress=missingIncludeSystem --suppress=unmatchedSuppression \
        --suppress="*:/usr/*" --suppress='*:*/build/*' \
        --template='{file}:{line}:{column}: {severity}: {message} [{id}]' \
        >"build/analysis-$name/cppcheck.txt" 2>&1 || true
    # cppcheck names the files as the database does, relative or not.
    grep -E "^($root/)?(src|include|tools)/[^:]+:[0-9]+:[0-9]+: " "build/analysis-$name/cppcheck.txt" |
        sed "s|^$root/||; s|\$| (cppcheck, $name)|" >>"$findings" || true
done

# One line per finding; the same header finding from many files shows once.
sort -u "$findings" -o "$findings"
count=$(wc -l <"$findings")
cat "$findings"
echo "static analysis: $count finding(s) in ${builds[*]}"
[ "$count" -eq 0 ]
