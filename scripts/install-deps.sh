#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the fixture scripts
# need, when any is missing. As root: apt-get update once, then apt-get install -y.
# Otherwise prints the command to run.
set -euo pipefail

packages=(
  cmake g++ make pkg-config libdeflate-dev zlib1g-dev
  qt6-base-dev libcli11-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libvhdi-dev libqcow-dev libewf-dev ewf-tools libre2-dev
  qemu-utils sleuthkit ntfs-3g mtools dosfstools exfatprogs exfat-fuse e2fsprogs gdisk fdisk
  xvfb xauth xdotool wmctrl openbox xz-utils python3 bc
  netpbm ghostscript zip
  lvm2 xfsprogs
  lintian scdoc desktop-file-utils appstream dpkg-dev file zsh bash-completion
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
else
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
