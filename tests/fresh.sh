#!/bin/bash
# Builds agetrim on a fresh machine as the README says: a minimal Debian 12
# root made by debootstrap, the packages that the README's Quick start
# names, then its two commands, unchanged. The program alone is built first
# with nothing but CMake and g++, then the whole suite runs with the rest.
# Needs root and the Debian mirror. Usage: tests/fresh.sh [MIRROR]
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
mirror=${1:-http://deb.debian.org/debian}
root=$(mktemp -d "${TMPDIR:-/var/tmp}/agetrim-fresh.XXXXXX")
cleanup() {
    umount "$root/dev" "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT

# The README's words: the Debian package line and the two commands.
readme=$source/README.md
packages=$(sed -n 's/^ *apt-get install \(.*[^ ]\) *# Debian$/\1/p' "$readme")
quick=$(grep -m1 '^    cmake -S . -B build && ' "$readme" | sed 's/^ *//')
suite=$(grep -m1 '^    cmake -S . -B build -DAGETRIM_WERROR=ON' "$readme" | sed 's/^ *//')
if [ -z "$packages" ] || [ -z "$quick" ] || [ -z "$suite" ]; then
    echo "the README's Quick start has no package line or no two commands" >&2
    exit 1
fi
echo "packages: $packages"
echo "quick start: $quick"
echo "tests: $suite"

debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 ||
    { tail -n 20 "$root.log"; rm -f "$root.log"; exit 1; }
rm -f "$root.log"
# The tests run programs as other users, who must reach them.
chmod 755 "$root"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mkdir "$root/src"
git -C "$source" archive HEAD | tar -x -C "$root/src"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 sh -c "cd /src && $1"; }
install() { in_root "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $1 >/dev/null"; }

# The program needs only CMake and a C++ compiler.
install "cmake g++"
in_root "cmake -S . -B build-bare >/dev/null && cmake --build build-bare --parallel >/dev/null && build-bare/agetrim -p -c 3 -f"
echo "== built with cmake and g++ alone"

# shellcheck disable=SC2086
install "$packages"
in_root "$quick"
echo "== quick start done"
in_root "$suite"
echo "== the suite passes on a fresh Debian 12"
