#!/bin/sh
# Makes sure that programs built for ARCH (aarch64 or s390x) run on this machine
# as if they were its own: the cross compiler is there, and the kernel hands
# every such program to qemu-user (binfmt_misc). That includes the children the
# end-to-end tests start, which is why a wrapper command would not do. As root
# this mounts binfmt_misc when it is missing and registers qemu's format for
# ARCH (packages qemu-user-binfmt and binfmt-support); otherwise it says what to
# run. The programs then find the target's libraries through QEMU_LD_PREFIX.
#
# usage: emulation.sh ARCH
set -eu
arch=$1
binfmt=/proc/sys/fs/binfmt_misc

missing=""
command -v "$arch-linux-gnu-g++" >/dev/null || missing="$missing g++-$arch-linux-gnu"
command -v "qemu-$arch" >/dev/null || missing="$missing qemu-user"
[ -e "/usr/share/binfmts/qemu-$arch" ] || missing="$missing qemu-user-binfmt"
command -v update-binfmts >/dev/null || missing="$missing binfmt-support"
[ -e /usr/src/googletest/CMakeLists.txt ] || missing="$missing googletest"
if [ -n "$missing" ]; then
  echo "The cross build for $arch needs packages that are missing. Install them with" >&2
  echo "  sudo apt-get install$missing" >&2
  exit 1
fi

if grep -qx enabled "$binfmt/qemu-$arch" 2>/dev/null; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "The kernel does not run $arch programs through qemu yet. Register it with" >&2
  echo "  sudo mount -t binfmt_misc binfmt_misc $binfmt  # when $binfmt/register is missing" >&2
  echo "  sudo update-binfmts --enable qemu-$arch" >&2
  exit 1
fi
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
update-binfmts --enable "qemu-$arch"
grep -qx enabled "$binfmt/qemu-$arch"
