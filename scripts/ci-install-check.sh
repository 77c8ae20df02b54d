#!/usr/bin/env bash
# Proves the installation: installs each build into a temporary prefix, compares
# the installed library's exports with abi/, then configures, builds and runs the
# consumer project of examples/consumer against it (natively through the CMake
# package and through pkg-config; for Windows cross-compiled against the
# installed DLL and run under Wine; it uses the exported PATHSEP and
# PATHSEPCHAR), runs the installed zel tool, and builds and inspects the CPack
# packages: the Debian packages are checked with lintian, installed with dpkg -i,
# used and purged; a Windows host is built against the 64-bit ZIP and run under
# wine64 by the lines of docs/using.md.
#   scripts/ci-install-check.sh [--native-only | --windows-only]
# Uses build/default, build/mingw32 and build/mingw64, configuring and building
# them if needed. Where the host cannot run a Windows architecture under Wine, its
# programs are built and linked and the script says plainly that they were not run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

native=1
windows=1
case "${1:-}" in
    --native-only) windows=0 ;;
    --windows-only) native=0 ;;
    "") ;;
    *) echo "usage: $0 [--native-only|--windows-only]" >&2; exit 2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/zel-install-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

step() { echo; echo "--- $* ---"; }
fail() { echo "ci-install-check: $*" >&2; exit 1; }
need_files() { # prefix file...
    local prefix=$1; shift
    for f in "$@"; do
        [ -e "$prefix/$f" ] || fail "missing after install: $prefix/$f"
    done
}

build_preset() { # preset
    local dir="build/$1"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake --preset "$1"
    fi
    cmake --build "$dir" -j2
}

if [ "$native" = 1 ]; then
    step "native: build and install into a temporary prefix"
    build_preset default
    prefix="$work/native"
    cmake --install build/default --prefix "$prefix" >/dev/null
    need_files "$prefix" lib/libZELBase.so include/zel/ZELBase.h include/zel/Exception.h \
        lib/cmake/ZELBase/ZELBaseConfig.cmake lib/cmake/ZELBase/ZELBaseConfigVersion.cmake \
        lib/cmake/ZELBase/ZELBaseTargets.cmake lib/pkgconfig/zelbase.pc bin/zel \
        share/man/man1/zel.1.gz

    step "native: the installed library's exports against abi/"
    bash scripts/abi-check.sh "$prefix/lib/libZELBase.so"

    step "native: consumer through find_package(ZELBase CONFIG)"
    cmake -S examples/consumer -B "$work/consumer-cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$work/consumer-cmake" >/dev/null
    "$work/consumer-cmake/consumer" "$work/consumer-cmake.log"

    step "native: consumer through pkg-config (CMake's FindPkgConfig)"
    PKG_CONFIG_PATH="$prefix/lib/pkgconfig" cmake -S examples/consumer -B "$work/consumer-pc" \
        -DZEL_CONSUMER_USE_PKGCONFIG=ON >/dev/null
    cmake --build "$work/consumer-pc" >/dev/null
    "$work/consumer-pc/consumer" "$work/consumer-pc.log"

    step "native: consumer through pkg-config on a plain compiler line"
    export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
    [ "$(pkg-config --modversion zelbase)" = "$(sed -n 's/^project(ZELBase VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" ] \
        || fail "pkg-config reports version $(pkg-config --modversion zelbase)"
    # The folder a host writes into its run path: the prefix's lib, as plain as that.
    [ "$(pkg-config --variable=libdir zelbase)" = "$prefix/lib" ] \
        || fail "pkg-config gives libdir $(pkg-config --variable=libdir zelbase), not $prefix/lib"
    # shellcheck disable=SC2046
    c++ -std=c++17 -DZEL_FOUND_VERSION="\"$(pkg-config --modversion zelbase)\"" \
        examples/consumer/main.cpp $(pkg-config --cflags --libs zelbase) \
        -Wl,-rpath,"$(pkg-config --variable=libdir zelbase)" -o "$work/consumer-plain"
    unset PKG_CONFIG_PATH
    "$work/consumer-plain" "$work/consumer-plain.log"

    step "native: examples/using, built as docs/using.md says (CMake package, then pkg-config)"
    cmake -S examples/using -B "$work/using-cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$work/using-cmake" >/dev/null
    "$work/using-cmake/myhost" "$work/using-cmake.log"
    # shellcheck disable=SC2046
    (export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
     c++ -std=c++17 examples/using/main.cpp $(pkg-config --cflags --libs zelbase) \
         -Wl,-rpath,"$(pkg-config --variable=libdir zelbase)" -o "$work/using-pc")
    "$work/using-pc" "$work/using-pc.log"

    step "native: consumer built with Clang and libstdc++ (a host toolchain other than the library's)"
    if command -v clang++ >/dev/null; then
        export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
        # shellcheck disable=SC2046
        clang++ -std=c++17 -Wall -Wextra -DZEL_FOUND_VERSION="\"$(pkg-config --modversion zelbase)\"" \
            examples/consumer/main.cpp $(pkg-config --cflags --libs zelbase) \
            -Wl,-rpath,"$(pkg-config --variable=libdir zelbase)" -o "$work/consumer-clang"
        unset PKG_CONFIG_PATH
        "$work/consumer-clang" "$work/consumer-clang.log"
    else
        echo "NOT RUN: clang++ is not installed (scripts/install-deps.sh --all installs it)"
    fi

    step "native: the installed zel tool"
    "$prefix/bin/zel" --version
    "$prefix/bin/zel" --log "$work/zel.log" demo >/dev/null

    step "native: Debian packages (cpack; the build is complete, so nothing is rebuilt)"
    rm -rf build/default/packages
    (cd build/default && cpack -G DEB >/dev/null)
    pkgdir=build/default/packages
    ver=$(sed -n 's/^project(ZELBase VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-1
    arch=$(dpkg --print-architecture)
    runtime_deb="$pkgdir/libzelbase1_${ver}_$arch.deb"
    dev_deb="$pkgdir/libzelbase-dev_${ver}_$arch.deb"
    tool_deb="$pkgdir/zel_${ver}_$arch.deb"
    deb_has() { # deb path...
        local deb=$1; shift
        [ -f "$deb" ] || fail "no $deb made"
        dpkg-deb -c "$deb" > "$work/deb.txt"
        for f in "$@"; do
            grep -q " $f\( \|$\)" "$work/deb.txt" || fail "$deb lacks $f"
        done
        echo "$deb: $(wc -l < "$work/deb.txt") entries"
    }
    deb_has "$runtime_deb" ./usr/lib/libZELBase.so.1 "./usr/lib/libZELBase.so.$(echo "$ver" | cut -d- -f1)"
    deb_has "$dev_deb" ./usr/lib/libZELBase.so ./usr/include/zel/ZELBase.h ./usr/include/zel/Config.h \
        ./usr/lib/cmake/ZELBase/ZELBaseConfig.cmake ./usr/lib/pkgconfig/zelbase.pc
    deb_has "$tool_deb" ./usr/bin/zel ./usr/share/man/man1/zel.1.gz
    for deb in libzelbase1 zel; do
        [ -f "$pkgdir/$deb-dbgsym_${ver}_$arch.ddeb" ] || fail "no $deb-dbgsym package made"
    done
    # Shipped stripped: no debug sections left in the binaries of the packages.
    dpkg-deb -x "$runtime_deb" "$work/deb-root"
    dpkg-deb -x "$tool_deb" "$work/deb-root"
    for f in "$work/deb-root/usr/lib/libZELBase.so.1" "$work/deb-root/usr/bin/zel"; do
        if readelf -S "$f" | grep -q '\.debug_info'; then fail "$f is not stripped"; fi
    done

    step "native: lintian on the Debian packages (errors and warnings fail; overrides give reasons)"
    if command -v lintian >/dev/null; then
        status=0
        out=$(lintian --fail-on error,warning "$runtime_deb" "$dev_deb" "$tool_deb" 2>&1) || status=$?
        printf '%s\n' "$out" | grep -v '^running with root privileges' || true
        [ "$status" -eq 0 ] || fail "lintian reports errors or warnings (above)"
        echo "lintian: clean"
    else
        echo "NOT RUN: lintian is not installed (scripts/install-deps.sh --all installs it)"
    fi

    step "native: the Debian packages installed with dpkg -i, used, then removed (dpkg --purge)"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    for p in libzelbase1 libzelbase-dev zel; do
        if dpkg-query -W "$p" >/dev/null 2>&1; then
            fail "dpkg already knows $p on this machine; purge it first (dpkg --purge $p)"
        fi
    done
    # Whatever happens from here, the packages go again.
    remove_debs() { $SUDO dpkg --purge zel libzelbase-dev libzelbase1 >/dev/null 2>&1 || true; }
    trap 'remove_debs; rm -rf "$work"' EXIT
    $SUDO dpkg -i "$runtime_deb" "$tool_deb" >/dev/null
    [ "$(command -v zel)" = /usr/bin/zel ] || fail "zel is not /usr/bin/zel after dpkg -i"
    /usr/bin/zel --version
    /usr/bin/zel --log "$work/deb-zel.log" demo >/dev/null
    man -w zel >/dev/null 2>&1 || [ -f /usr/share/man/man1/zel.1.gz ] || fail "no manual page for zel"
    $SUDO dpkg -i "$dev_deb" >/dev/null
    # The examples against the system's copy: no prefix, no search path, no run path.
    cmake -S examples/consumer -B "$work/deb-consumer" >/dev/null
    cmake --build "$work/deb-consumer" >/dev/null
    "$work/deb-consumer/consumer" "$work/deb-consumer.log"
    cmake -S examples/using -B "$work/deb-using" >/dev/null
    cmake --build "$work/deb-using" >/dev/null
    "$work/deb-using/myhost" "$work/deb-using.log"
    [ "$(pkg-config --variable=libdir zelbase)" = /usr/lib ] \
        || fail "pkg-config gives libdir $(pkg-config --variable=libdir zelbase), not /usr/lib"
    # shellcheck disable=SC2046
    c++ -std=c++17 examples/using/main.cpp $(pkg-config --cflags --libs zelbase) -o "$work/deb-using-pc"
    "$work/deb-using-pc" "$work/deb-using-pc.log"
    $SUDO dpkg --purge zel libzelbase-dev libzelbase1 >/dev/null
    trap 'rm -rf "$work"' EXIT
    # Purged, not only removed: dpkg keeps no record of them (no "rc" state).
    for p in libzelbase1 libzelbase-dev zel; do
        if dpkg-query -W "$p" >/dev/null 2>&1; then
            fail "$p is still known to dpkg after dpkg --purge"
        fi
    done
    for f in /usr/lib/libZELBase.so.1 /usr/include/zel /usr/bin/zel /usr/lib/pkgconfig/zelbase.pc; do
        [ ! -e "$f" ] || fail "$f is left after dpkg --purge"
    done
    echo "installed, used and removed: libzelbase1, zel, libzelbase-dev"
fi

# The Windows packages of one architecture: preset, triple, GCC runtime DLL.
windows_check() { # preset triple libgcc-dll
    local preset=$1 triple=$2 libgcc=$3 label
    label="Windows ($preset)"
    step "$label: build and install into a temporary prefix"
    build_preset "$preset"
    local prefix="$work/$preset"
    cmake --install "build/$preset" --prefix "$prefix" >/dev/null
    need_files "$prefix" bin/ZELBase.dll lib/libZELBase.dll.a include/zel/ZELBase.h \
        lib/cmake/ZELBase/ZELBaseConfig.cmake lib/pkgconfig/zelbase.pc bin/zel.exe \
        bin/libstdc++-6.dll "bin/$libgcc" bin/libwinpthread-1.dll
    local wine_run="$root/build/$preset/wine-run.sh"
    local runs=1
    grep -q '^ZEL_WINE_RUNS:BOOL=ON' "build/$preset/CMakeCache.txt" || runs=0

    step "$label: the installed DLL's exports against abi/"
    bash scripts/abi-check.sh "$prefix/bin/ZELBase.dll"

    step "$label: consumer cross-compiled through find_package(ZELBase CONFIG)"
    cmake -S examples/consumer -B "$work/consumer-$preset" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triple.cmake" \
        -DZELBase_DIR="$prefix/lib/cmake/ZELBase" >/dev/null
    cmake --build "$work/consumer-$preset" >/dev/null
    # Run it from the installed bin folder: a program's own folder is searched
    # for DLLs first, so the installed ZELBase.dll and runtime DLLs are the ones used.
    cp "$work/consumer-$preset/consumer.exe" "$prefix/bin/consumer.exe"

    step "$label: consumer through pkg-config on a plain compiler line (unoptimised)"
    local flags extra=""
    flags=$(PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" pkg-config --cflags --libs zelbase)
    [ "$triple" = i686-w64-mingw32 ] && extra="-msse2 -mfpmath=sse"
    # shellcheck disable=SC2086
    "$triple-g++-posix" -std=c++17 $extra \
        -DZEL_FOUND_VERSION="\"$(PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" pkg-config --modversion zelbase)\"" \
        examples/consumer/main.cpp $flags -o "$prefix/bin/consumer-pc.exe"

    if [ "$runs" = 1 ]; then
        step "$label: run both consumers and the installed zel.exe under Wine"
        "$wine_run" "$prefix/bin/consumer.exe" "C:\\users\\Public\\zel-consumer-$preset.log"
        "$wine_run" "$prefix/bin/consumer-pc.exe" "C:\\users\\Public\\zel-consumer-pc-$preset.log"
        "$wine_run" "$prefix/bin/zel.exe" --version
    else
        echo "NOT RUN: $label programs were built and linked but not run: this host cannot execute them under Wine"
    fi
    rm -f "$prefix/bin/consumer.exe" "$prefix/bin/consumer-pc.exe"

    step "$label: ZIP package"
    rm -rf "build/$preset/packages"
    (cd "build/$preset" && cpack -G ZIP >/dev/null)
    local zip
    zip=$(ls "build/$preset"/packages/*.zip | head -n1)
    [ -n "$zip" ] || fail "no .zip made"
    cmake -E tar tf "$zip" > "$work/zip-$preset.txt"
    for f in bin/ZELBase.dll lib/libZELBase.dll.a include/zel/ZELBase.h bin/zel.exe \
             bin/libstdc++-6.dll "bin/$libgcc" bin/libwinpthread-1.dll \
             "lib/cmake/ZELBase/toolchain-$triple.cmake" lib/cmake/ZELBase/MinGWToolchain.cmake; do
        grep -q "/$f\$" "$work/zip-$preset.txt" || fail "$zip lacks $f"
    done
    echo "$zip: $(wc -l < "$work/zip-$preset.txt") entries"

    if [ "$preset" = mingw64 ]; then
        step "$label: examples/using built against the ZIP and run under wine64, as docs/using.md says"
        if [ "$runs" = 1 ]; then
            windows_host_from_docs "$zip"
        else
            echo "NOT RUN: $label: this host cannot execute Windows programs under Wine"
        fi
    fi
}

# The block of docs/using.md that builds a host against the 64-bit ZIP and runs it
# under wine64, run as it stands in a folder holding examples/using and the ZIP.
windows_host_from_docs() { # zip
    local dir="$work/host-win64"
    mkdir -p "$dir"
    cp examples/using/CMakeLists.txt examples/using/main.cpp "$1" "$dir/"
    awk '/<!-- scripts\/ci-install-check.sh runs the next block/ { marked = 1; next }
         marked && /^```sh/ { inside = 1; next }
         inside && /^```/ { exit }
         inside { print }' docs/using.md > "$work/host-win64.sh"
    [ -s "$work/host-win64.sh" ] || fail "docs/using.md has no marked block for a Windows host"
    (cd "$dir" && bash -euo pipefail "$work/host-win64.sh") \
        || fail "the Windows host lines of docs/using.md failed"
    [ -s "$dir/myhost-log.txt" ] || fail "the Windows host wrote no log at $dir/myhost-log.txt"
}

if [ "$windows" = 1 ]; then
    windows_check mingw32 i686-w64-mingw32 libgcc_s_dw2-1.dll
    windows_check mingw64 x86_64-w64-mingw32 libgcc_s_seh-1.dll
fi

# Clang targeting MinGW-w64 as the host's compiler, against the DLL installed by
# windows_check and Debian's MinGW-w64 headers and libstdc++. Clang 14 does not
# find that GCC installation by itself (it lives under a "12-posix" folder), so its
# folders are given: the headers, the libraries, and with -B GCC's crtbegin.o,
# which registers a 32-bit program's DWARF unwind tables (MinGW-w64's own
# crtbegin.o, which Clang takes otherwise, does not, and every throw then ends in
# terminate).
clang_mingw_consumer() { # preset triple
    local preset=$1 triple=$2 prefix="$work/$1" label="Windows ($1)"
    step "$label: consumer built with Clang targeting $triple"
    if ! command -v clang++ >/dev/null; then
        echo "NOT RUN: clang++ is not installed (scripts/install-deps.sh --all installs it)"
        return
    fi
    local gcclib cxx flags extra=""
    gcclib=$(dirname "$("$triple-g++-posix" -print-libgcc-file-name)")
    cxx="$gcclib/include/c++"
    flags=$(PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" pkg-config --cflags --libs zelbase)
    [ "$triple" = i686-w64-mingw32 ] && extra="-msse2 -mfpmath=sse"
    # shellcheck disable=SC2086
    clang++ --target="$triple" -std=c++17 -Wall -Wextra $extra -nostdinc++ \
        -isystem "$cxx" -isystem "$cxx/$triple" -L"$gcclib" -B"$gcclib" \
        -DZEL_FOUND_VERSION="\"$(PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" pkg-config --modversion zelbase)\"" \
        examples/consumer/main.cpp $flags -o "$prefix/bin/consumer-clang.exe"
    if grep -q '^ZEL_WINE_RUNS:BOOL=ON' "build/$preset/CMakeCache.txt"; then
        "$root/build/$preset/wine-run.sh" "$prefix/bin/consumer-clang.exe" \
            "C:\\users\\Public\\zel-consumer-clang-$preset.log"
    else
        echo "NOT RUN: $label: the Clang-built consumer was built and linked but not run: this host cannot execute it under Wine"
    fi
    rm -f "$prefix/bin/consumer-clang.exe"
}

if [ "$windows" = 1 ]; then
    clang_mingw_consumer mingw32 i686-w64-mingw32
    clang_mingw_consumer mingw64 x86_64-w64-mingw32
fi

echo
echo "installation check passed"
