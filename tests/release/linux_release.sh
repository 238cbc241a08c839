#!/usr/bin/env bash
# Makes the Linux release archive from this clone and runs it on a clean Debian system.
# Usage: linux_release.sh SOURCE_DIR OUT_DIR. Exit code 77: not root, so nothing was run.
set -euo pipefail
source_dir=$1 out=$2

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: the clean-system check needs root (debootstrap, chroot and mounts)"
  exit 77
fi
rm -rf "$out"
tarball=$(bash "$source_dir/tools/release/linux.sh" "$out")
bash "$source_dir/tools/release/check_linux.sh" "$tarball" --out "$out/check"
