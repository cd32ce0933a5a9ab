#!/usr/bin/env bash
# Installs the Debian packages that building and testing Brindle need, when they are missing.
# Usage: scripts/install-deps.sh [build|run|test]
set -euo pipefail

purpose=${1:-build}
# CLI11 parses brindle-cli's command line, nlohmann-json writes (and the tests read) its JSON,
# ICU folds the case of the names it is given; zlib checks the CRC-32 of GUID partition tables;
# Qt 6 Widgets is the window's toolkit, Qt D-Bus its client of UDisks2; Qt's linguist tools
# (lupdate, lrelease) build the English translation of the window's texts. The libyal libraries
# read evidence files (libewf EnCase images, libsmraw split raw images, libvhdi VHD/VHDX, libvmdk
# VMDK, libqcow qcow/qcow2), found through pkg-config; OpenSSL's libcrypto computes MD5, SHA-1
# and SHA-256.
packages=(cmake g++ make pkg-config libcli11-dev nlohmann-json3-dev libicu-dev zlib1g-dev qt6-base-dev
          qt6-tools-dev qt6-l10n-tools libewf-dev libsmraw-dev libvhdi-dev libvmdk-dev libqcow-dev libssl-dev)
if [ "$purpose" = run ]; then
  # mtools makes the sample image; the window's captions are Chinese, so a CJK font shows
  # them; the Wayland plugin lets the window start on a Wayland desktop without XWayland; Qt's
  # own translations put its standard buttons into Chinese too.
  packages+=(mtools fonts-noto-cjk qt6-wayland qt6-translations-l10n)
fi
if [ "$purpose" = test ]; then
  # Test images are made with the real tools: mkfs.fat and mtools for FAT, mkfs.exfat for exFAT,
  # sfdisk for partition tables; The Sleuth Kit is the second opinion the oracle test asks;
  # clang and its runtime build the fuzz targets. ImageMagick writes the GIF pictures of the
  # widget tests, and with xvfb and a CJK font takes screenshots of the window. GNU time
  # measures the peak memory of a save in the slow test. Python 3 runs the mutation campaign.
  # exfat-fuse mounts an exFAT volume, a file system without unnamed files, to save into (as
  # root). dbus-daemon and python3-dbusmock stand up a private bus with a stand-in for UDisks2.
  # The package test makes the .deb (dpkg-dev finds its dependencies) and checks its desktop
  # entry, metainfo and man pages. ewf-tools (ewfacquire) and qemu-utils (qemu-img) make the
  # evidence files of the tests from raw images; The Sleuth Kit's mactime reads the body files.
  # The files that carving finds by content are made with the tools that write them: ImageMagick,
  # exiftool, ffmpeg, zip, gsf (OLE2 compound files), Ghostscript and qpdf; Debian's forensics
  # sample files hold real photos and videos. PhotoRec (testdisk) is the peer the lost-and-found
  # benchmark runs beside Brindle's scan.
  packages+=(libgtest-dev dosfstools mtools exfatprogs fdisk sleuthkit clang libclang-rt-14-dev
             imagemagick xvfb fonts-noto-cjk time python3 exfat-fuse dbus-daemon python3-dbusmock
             dpkg-dev desktop-file-utils appstream man-db locales ewf-tools qemu-utils
             libimage-exiftool-perl ffmpeg zip libgsf-bin ghostscript qpdf forensics-samples-files testdisk)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
