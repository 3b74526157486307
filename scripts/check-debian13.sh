#!/usr/bin/env bash
# Runs the README's test command in a Debian 13 (trixie) system built in a
# folder: debootstrap once (kept for the next run), then the work tree and
# ../shared copied in and ./test.sh run there under chroot, with /proc, /sys,
# /dev and /dev/shm bound for the browser engine and unbound afterwards, also
# when the run fails. Run by hand, as root (or through sudo): it is not part of CI.
# Usage: scripts/check-debian13.sh [root folder]   (default: build-debian13/root)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${1:-$here/build-debian13/root}")
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo for debootstrap and chroot" >&2; exit 1; }
    SUDO="sudo"
fi
if ! command -v debootstrap >/dev/null || ! command -v rsync >/dev/null; then
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends debootstrap rsync
fi
if [ ! -x "$root/usr/bin/apt-get" ]; then
    $SUDO mkdir -p "$root"
    $SUDO debootstrap --variant=minbase --include=sudo,ca-certificates trixie "$root" "$mirror"
fi

mounted=()
cleanup() {
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        $SUDO umount -l "${mounted[$i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT
bind() { # source target
    $SUDO mkdir -p "$2"
    $SUDO mount --bind "$1" "$2"
    mounted+=("$2")
}
$SUDO mount -t proc proc "$root/proc" && mounted+=("$root/proc")
bind /sys "$root/sys"
bind /dev "$root/dev"
bind /dev/shm "$root/dev/shm"
$SUDO cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

# The work tree as it is (build folders left out) beside the shared fixtures,
# as in a checkout. The build folder inside the chroot is kept between runs:
# files are compared by content and a changed one gets a new time, so the
# next build sees exactly what changed.
copy() { # source target [rsync options]
    local from=$1 to=$2
    shift 2
    $SUDO mkdir -p "$to"
    $SUDO rsync -rlpc --no-times --delete "$@" "$from/" "$to/"
}
copy "$here" "$root/work/main" --exclude=/.git --exclude='/build*'
copy "$here/../shared" "$root/work/shared"

set +e
$SUDO chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash -c 'cd /work/main && ./test.sh' 2>&1 | tee "$root/work/test.log"
status=${PIPESTATUS[0]}
set -e
echo "--- Debian 13: $(grep -E 'tests passed|tests failed' "$root/work/test.log" | tail -1)"
exit "$status"
