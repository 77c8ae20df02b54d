#!/usr/bin/env bash
# Installs, idempotently and with apt-get only, what the builds of ZELBase need.
#   scripts/install-deps.sh            native build and tests
#   scripts/install-deps.sh --windows  also the MinGW-w64 cross compilers and Wine (32- and 64-bit)
#   scripts/install-deps.sh --all      everything CI uses (Windows, benchmarks, fuzzing, docs,
#                                      coverage, static analysis, the host-toolchain checks,
#                                      the log agent test and the check of the Debian packages)
set -euo pipefail

native=(cmake g++ make libgtest-dev libcli11-dev nlohmann-json3-dev pkg-config abigail-tools help2man)
# Both Windows legs: the i686 and x86-64 cross compilers, and the Wine loaders of
# both architectures (wine32 installs on any amd64 host, even one that cannot
# execute it; such a host also gets qemu-user, below, to run it under emulation).
windows=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64)
# gcovr gives the coverage map, clang-tidy (with run-clang-tidy) and cppcheck the
# static analysis (scripts/static-analysis.sh), lintian checks the Debian packages.
extra=(libbenchmark-dev libssl-dev clang libclang-rt-14-dev doxygen gcovr clang-tidy cppcheck lintian)
# The host checks: libc++ (a host refused on Linux) and the log agent of the fleet
# test (rsyslog; its system service is never used, the test starts its own).
hosts=(libc++-14-dev libc++abi-14-dev rsyslog)

want=("${native[@]}")
for arg in "$@"; do
    case "$arg" in
        --windows) want+=("${windows[@]}") ;;
        --all) want+=("${windows[@]}" "${extra[@]}" "${hosts[@]}") ;;
        *) echo "usage: $0 [--windows|--all]" >&2; exit 2 ;;
    esac
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing=()
for pkg in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    for pkg in "${missing[@]}"; do
        if [[ "$pkg" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            $SUDO dpkg --add-architecture i386
        fi
    done
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A host that cannot execute 32-bit x86 code runs the 32-bit Wine loader under
# qemu-i386 (see cmake/wine-emulated.sh). Debian bookworm's own qemu-user (7.2)
# cannot start Wine; 8.1 and later can, so it comes from the backports suite of the
# system's own Debian source, for that one package. Without its recommends nothing
# is registered system-wide.
qemu_new_enough() {
    local v
    v=$(qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
    [ -n "$v" ] && set -- $v && { [ "$1" -gt 8 ] || { [ "$1" -eq 8 ] && [ "$2" -ge 1 ]; }; }
}
# The system's Debian mirror address, from its deb822 or one-line apt sources.
debian_uri() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v suite="$1" '
            /^[ \t]*$/ { if (ok && uri != "") { print uri; exit } ok = 0; uri = ""; next }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) ok = 1 }
            END { if (ok && uri != "") print uri }' "$f" | head -n1
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        if [ -f "$f" ]; then cat "$f"; fi
    done | sed -E 's/\[[^]]*\]//' | awk -v suite="$1" '$1 == "deb" && $3 == suite { print $2 }'
}
if [[ " ${want[*]} " == *" wine32:i386 "* ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 &&
    ! qemu_new_enough; then
    . /etc/os-release
    suite="${VERSION_CODENAME:?}-backports"
    uri=$(debian_uri "$VERSION_CODENAME" | head -n1 || true)
    if [ -z "$uri" ]; then
        echo "install-deps: no Debian source for $VERSION_CODENAME in the apt configuration; qemu-user not installed" >&2
        exit 1
    fi
    list=/etc/apt/sources.list.d/zel-$suite.list
    if ! grep -qs "$suite" /etc/apt/sources.list /etc/apt/sources.list.d/*; then
        echo "deb $uri $suite main" | $SUDO tee "$list" >/dev/null
    fi
    echo "Installing: qemu-user from $suite ($uri)"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        "qemu-user/$suite" >/dev/null
    qemu_new_enough || { echo "install-deps: qemu-i386 8.1 or later is still missing" >&2; exit 1; }
fi
