#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing.
# Usage: scripts/deps.sh [EXTRA-PACKAGE ...]
set -euo pipefail

# appstream and dpkg-dev for the tests that check the AppStream description
# against the Debian changelog. The FUSE drivers and mkfs tools let the tests
# mount FAT32 and exFAT images as USB sticks. The drivers need fuse, which
# fuse3 (as sshfs brings it) provides as well, so it is left for apt to choose
# rather than named here. sshfs and openssh-server give the tests a network
# share: an sshd of their own on 127.0.0.1, mounted with sshfs. samba and
# smbnetfs give them a Windows share as well: a Samba server of their own,
# mounted through libsmbclient; rclone mounts the sshd's sftp as rclone does,
# with its own caching. The kinds of share differ at renames, locks and times,
# so the tests and benchmarks that use a share can be run on each. Xvfb,
# openbox, the AT-SPI bus and pyatspi let a test follow the real window as a
# screen reader does.
packages=(build-essential cmake libgtest-dev qt6-base-dev fonts-ipafont-gothic desktop-file-utils groff-base
  qt6-translations-l10n appstream dpkg-dev fusefat dosfstools exfat-fuse exfatprogs sshfs openssh-server
  samba smbnetfs rclone xvfb openbox xdotool x11-utils dbus-daemon at-spi2-core python3-pyatspi "$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
