#!/usr/bin/env bash
# Peak resident size of `zel encrypt` and `zel decrypt` over a large file,
# measured with /usr/bin/time -v, as a multiple of the input size.
#   bench/zel-memory.sh path/to/zel [MiB]      (default 1024 MiB)
# Needs about three times the input size of free disk space in $TMPDIR.
set -euo pipefail

zel=${1:?usage: $0 path/to/zel [MiB]}
mib=${2:-1024}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'bench key' > "$work/key"
head -c "$((mib * 1048576))" /dev/urandom > "$work/plain"

# Prints "<case> <input bytes> <peak KiB> <ratio>" and checks the exit status.
measure() {
    local name=$1 input=$2
    shift 2
    /usr/bin/time -v -o "$work/time" "$zel" "$@" >/dev/null
    local kib bytes
    kib=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$work/time")
    bytes=$(stat -c %s "$input")
    awk -v n="$name" -v b="$bytes" -v k="$kib" \
        'BEGIN { printf "%-8s input %6.0f MiB  peak %8.1f MiB  %.3fx input\n", n, b / 1048576, k / 1024, k * 1024 / b }'
}

echo "zel memory, $(uname -m), $(date -u +%Y-%m-%d)"
measure encrypt "$work/plain" encrypt "$work/plain" -o "$work/cipher" --key-file "$work/key"
measure decrypt "$work/cipher" decrypt "$work/cipher" -o "$work/back" --key-file "$work/key"
cmp -s "$work/plain" "$work/back" || { echo "round trip differs" >&2; exit 1; }
