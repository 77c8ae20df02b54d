#!/bin/sh
# Runs a command with every 32-bit x86 program it starts executed by qemu-i386,
# for hosts whose kernel cannot execute 32-bit x86 code (the 32-bit Wine loader,
# and every program Wine starts in turn, are such programs).
#
#   wine-emulated.sh <command> [args...]
#
# The command runs in a private user and mount namespace with a binfmt_misc
# instance of its own (Linux 6.7 and later), in which qemu-i386 is registered for
# i386 ELF programs with the F flag (the emulator is opened once, at
# registration). Nothing outside changes, and the registration goes away with
# the namespace. Inside, a second user namespace gives the command the caller's
# own user and group ids back (Wine keys its server folder and checks its prefix
# by them); it still sees the registration. qemu-i386 8.1 or later is needed:
# older ones cannot start Wine.
set -eu
if [ "${1:-}" != "--zel-inside" ]; then
    qemu=$(command -v qemu-i386 || command -v qemu-i386-static || true)
    if [ -z "$qemu" ]; then
        echo "wine-emulated.sh: qemu-i386 not found (scripts/install-deps.sh --windows installs it)" >&2
        exit 127
    fi
    version=$("$qemu" --version | sed -n '1s/^qemu-i386[^ ]* version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
    set -- "$qemu" "$(id -u)" "$(id -g)" ${version:-0 0} "$@"
    if [ "$4" -lt 8 ] || { [ "$4" -eq 8 ] && [ "$5" -lt 1 ]; }; then
        echo "wine-emulated.sh: $1 is version $4.$5; Wine needs qemu-i386 8.1 or later" >&2
        exit 126
    fi
    exec unshare --user --map-root-user --mount sh "$0" --zel-inside "$@"
fi
# Inside: root of the first namespace.
qemu=$2 uid=$3 gid=$4
shift 6
mount -t binfmt_misc zel-binfmt /proc/sys/fs/binfmt_misc
# i386 ELF executables and shared objects (the pattern of Debian's qemu-user-binfmt).
printf '%s' ":zel-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" \
    >/proc/sys/fs/binfmt_misc/register
exec unshare --user --map-user="$uid" --map-group="$gid" "$@"
