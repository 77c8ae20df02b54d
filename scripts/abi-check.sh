#!/usr/bin/env bash
# Compares the exported interface of a built ZELBase with the baseline checked in
# under abi/, and fails, printing the difference, when they differ.
#
#   scripts/abi-check.sh LIBRARY|BUILD_DIR            check one build
#   scripts/abi-check.sh --update LIBRARY|BUILD_DIR   rewrite that build's baseline
#   scripts/abi-check.sh --update                     rebuild the library of every
#                                                     preset (default, mingw32, mingw64
#                                                     when it exists) and rewrite all
#
# The kind of baseline follows from the file itself: an ELF library gives
# abi/linux-<arch>.symbols (the dynamic symbols) and abi/linux-<arch>.abi (its
# libabigail description, compared with abidiff); a DLL gives
# abi/windows-<arch>.symbols (its export table). Symbol lists are demangled and
# sorted; data items are marked, ELF data with its size. The first line names the
# soname (ELF) or the DLL name and image version (PE), so a version change that
# the policy in docs/building.md ties to the interface shows here too.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
abi_dir="$root/abi"
# Exported data that every build must have.
required_data=(
    "zel::PATHSEP"
    "zel::PATHSEPCHAR"
    "zel::Exception::MaxPathSize"
    "zel::Exception::ErrorLogLocation"
    "zel::Exception::m_mirrorErrorToLog"
)

die() { echo "abi-check: $*" >&2; exit 2; }

# The library file of a build folder, or the file given.
library_of() {
    local arg=$1
    if [ -d "$arg" ]; then
        local f
        for f in "$arg/src/libZELBase.so" "$arg/src/ZELBase.dll" "$arg/libZELBase.so" \
                 "$arg/ZELBase.dll"; do
            [ -f "$f" ] && { readlink -f "$f"; return; }
        done
        die "no libZELBase.so or ZELBase.dll in $arg/src"
    fi
    [ -f "$arg" ] || die "no such file: $arg"
    readlink -f "$arg"
}

pe_objdump() {
    local t
    for t in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump objdump; do
        command -v "$t" >/dev/null && { echo "$t"; return; }
    done
    die "no objdump that reads PE files (install binutils-mingw-w64)"
}

# linux-<arch> or windows-<arch>, from the file's own header.
kind_of() {
    local lib=$1 magic
    magic=$(head -c 4 "$lib" | od -An -tx1 | tr -d ' \n')
    case "$magic" in
        7f454c46)
            local machine
            machine=$(LC_ALL=C readelf -h "$lib" | sed -n 's/^ *Machine: *//p')
            case "$machine" in
                *X86-64*) echo linux-x86_64 ;;
                *80386*) echo linux-i686 ;;
                *AArch64*) echo linux-aarch64 ;;
                *) echo "linux-$(echo "$machine" | tr -c 'A-Za-z0-9\n' '_')" ;;
            esac ;;
        4d5a*)
            local format
            format=$(LC_ALL=C "$(pe_objdump)" -f "$lib" | sed -n 's/.*file format //p')
            case "$format" in
                pei-i386) echo windows-i686 ;;
                pei-x86-64) echo windows-x86_64 ;;
                *) die "unknown PE format $format of $lib" ;;
            esac ;;
        *) die "$lib is neither ELF nor PE" ;;
    esac
}

# ELF: "name" for functions, "name [data, N bytes]" for objects; defined dynamic symbols.
elf_symbols() {
    echo "# soname $(LC_ALL=C readelf -d "$1" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')"
    LC_ALL=C readelf --dyn-syms -W "$1" |
        awk '$1 ~ /^[0-9]+:$/ && $7 != "UND" && $8 != "" {
                 if ($4 == "OBJECT" || $4 == "TLS") print $8 "\t [data, " $3 " bytes]";
                 else if ($4 == "FUNC" || $4 == "IFUNC") print $8 "\t";
             }' |
        c++filt | sed 's/\t$//; s/\t / /' | LC_ALL=C sort
}

# PE: the export table; names whose address lies outside the code sections are
# marked as data.
pe_symbols() {
    local lib=$1 od
    od=$(pe_objdump)
    LC_ALL=C "$od" -p "$lib" | awk '
        /^MajorImageVersion/ { major = $2 } /^MinorImageVersion/ { minor = $2 }
        /^Name .* [^ ]+\.dll$/ { name = $NF }
        END { print "# " name " image version " major "." minor }'
    LC_ALL=C "$od" -h "$lib" | awk '
        $1 ~ /^[0-9]+$/ { vma = $4; size = $3; next }
        vma != "" && /CODE/ { print vma, size }
        { vma = "" }' > "$work/code-sections"
    LC_ALL=C "$od" -p "$lib" | awk -v sections="$work/code-sections" '
        function hex(s,   i, c, v) {
            v = 0; s = tolower(s)
            for (i = 1; i <= length(s); i++) {
                c = index("0123456789abcdef", substr(s, i, 1)) - 1
                v = v * 16 + c
            }
            return v
        }
        BEGIN { n = 0; while ((getline line < sections) > 0) { split(line, f, " ");
                lo[n] = hex(f[1]); hi[n] = lo[n] + hex(f[2]); n++ } }
        /^ImageBase/ { base = hex($2) }
        /^Export Address Table -- / { mode = "eat"; next }
        /^\[Ordinal\/Name Pointer\] Table/ { mode = "names"; next }
        /^$/ { mode = "" }
        mode == "eat" && /Export RVA/ { match($0, /\[ *[0-9]+\]/);
                                       i = substr($0, RSTART, RLENGTH); gsub(/[^0-9]/, "", i);
                                       rva[i + 0] = hex($(NF - 2)) }
        mode == "names" && /^\t\[/ { line = $0; sub(/^\t\[ *[0-9]+\] /, "", line);
                                     o = $0; sub(/^\t\[ */, "", o); sub(/\].*/, "", o);
                                     code = 0; a = base + rva[o + 0];
                                     for (k = 0; k < n; k++) if (a >= lo[k] && a < hi[k]) code = 1;
                                     print line (code ? "\t" : "\t [data]") }' |
        c++filt | sed 's/\t$//; s/\t / /' | LC_ALL=C sort
}

abi_description() { # library output
    abidw --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed \
        --drop-undefined-syms --type-id-style hash \
        --headers-dir "$root/include/zel" --drop-private-types \
        --out-file "$2" "$1"
    # Translation units are named by their full path: keep it relative to the tree,
    # so the description is the same in every checkout.
    sed -i "s#path='$root/#path='#" "$2"
}

has_debug_info() {
    LC_ALL=C readelf -S -W "$1" | grep -q ' \.debug_info '
}

check_one() { # update library
    local update=$1 lib kind symbols_file status=0
    lib=$(library_of "$2")
    kind=$(kind_of "$lib")
    symbols_file="$abi_dir/$kind.symbols"
    case "$kind" in
        linux-*) elf_symbols "$lib" > "$work/$kind.symbols" ;;
        windows-*) pe_symbols "$lib" > "$work/$kind.symbols" ;;
    esac
    [ -s "$work/$kind.symbols" ] || die "no exported symbols read from $lib"
    local item
    for item in "${required_data[@]}"; do
        grep -q "^$item \[data" "$work/$kind.symbols" ||
            { echo "abi-check: $lib does not export the data item $item" >&2; status=1; }
    done

    if [ "$update" = 1 ]; then
        mkdir -p "$abi_dir"
        cp "$work/$kind.symbols" "$symbols_file"
        echo "abi-check: wrote $symbols_file ($(grep -vc '^#' "$symbols_file") symbols)"
        if [ "${kind%%-*}" = linux ]; then
            has_debug_info "$lib" || die "$lib has no debug information; build with -g (RelWithDebInfo)"
            abi_description "$lib" "$abi_dir/$kind.abi"
            echo "abi-check: wrote $abi_dir/$kind.abi"
        fi
        return $status
    fi

    echo "abi-check: $lib against abi/$kind.*"
    if [ ! -f "$symbols_file" ]; then
        echo "abi-check: no baseline abi/$kind.symbols; make it with: scripts/abi-check.sh --update $2" >&2
        return 1
    fi
    if ! diff -u --label "abi/$kind.symbols (baseline)" --label "$kind (this build)" \
            "$symbols_file" "$work/$kind.symbols"; then
        echo "abi-check: the exported symbols differ from the baseline (- baseline, + this build)" >&2
        status=1
    fi
    if [ "${kind%%-*}" = linux ]; then
        if [ ! -f "$abi_dir/$kind.abi" ]; then
            echo "abi-check: no baseline abi/$kind.abi" >&2
            status=1
        elif ! has_debug_info "$lib"; then
            echo "abi-check: $lib has no debug information: types not compared, symbols only"
        else
            abi_description "$lib" "$work/$kind.abi"
            local rc=0
            abidiff --no-show-locs --harmless "$abi_dir/$kind.abi" "$work/$kind.abi" \
                > "$work/abidiff.txt" 2>&1 || rc=$?
            if [ "$rc" != 0 ]; then
                cat "$work/abidiff.txt"
                echo "abi-check: abidiff found changes against abi/$kind.abi (status $rc)" >&2
                status=1
            fi
        fi
    fi
    [ "$status" = 0 ] && echo "abi-check: $kind matches the baseline"
    return $status
}

# All presets that build the library, rebuilt and written in one go.
update_all() {
    local preset dir
    for preset in default mingw32 mingw64; do
        grep -q "\"name\": \"$preset\"" "$root/CMakePresets.json" || {
            echo "abi-check: no preset $preset; skipped"; continue; }
        dir="$root/build/$preset"
        [ -f "$dir/CMakeCache.txt" ] || (cd "$root" && cmake --preset "$preset" >/dev/null)
        cmake --build "$dir" -j2 --target ZELBase >/dev/null
        check_one 1 "$dir"
    done
}

work=$(mktemp -d "${TMPDIR:-/tmp}/zel-abi.XXXXXX")
trap 'rm -rf "$work"' EXIT

update=0
if [ "${1:-}" = "--update" ]; then
    update=1
    shift
fi
if [ $# = 0 ]; then
    [ "$update" = 1 ] || die "usage: $0 [--update] LIBRARY|BUILD_DIR...   or   $0 --update"
    update_all
    exit
fi
overall=0
for arg in "$@"; do
    check_one "$update" "$arg" || overall=1
done
exit $overall
