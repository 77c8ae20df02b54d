#!/usr/bin/env bash
# Installs, idempotently and with apt-get only, what the builds of ZELBase need.
#   scripts/install-deps.sh            native build and tests
#   scripts/install-deps.sh --windows  also the MinGW-w64 cross compilers and Wine (32- and 64-bit)
#   scripts/install-deps.sh --all      everything CI uses (Windows, benchmarks, fuzzing, docs,
#                                      coverage, static analysis, the host-toolchain checks
#                                      and the log agent test)
set -euo pipefail

native=(cmake g++ make libgtest-dev libcli11-dev nlohmann-json3-dev pkg-config abigail-tools)
# Both Windows legs: the i686 and x86-64 cross compilers, and the Wine loaders of
# both architectures (wine32 installs on any amd64 host, even one that cannot
# execute it; the builds then say that the 32-bit tests were not run).
windows=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64)
extra=(libbenchmark-dev libssl-dev clang libclang-rt-14-dev doxygen gcovr clang-tidy cppcheck)
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

missing=()
for pkg in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
for pkg in "${missing[@]}"; do
    if [[ "$pkg" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
done
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
