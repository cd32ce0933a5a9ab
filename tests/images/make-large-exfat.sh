#!/usr/bin/env bash
# Makes an exFAT image holding two files larger than 4 GiB, for the slow test of files whose
# length needs more than 32 bits. Needs root, a free loop device and FUSE (mkfs.exfat, then
# exfat-fuse to write the files); the image is sparse, but the files are real: about 8.5 GiB.
#
#   tests/images/make-large-exfat.sh IMAGE PATTERN_TOOL
#
# PATTERN_TOOL is brindle-bench-files (bench/BenchFiles.cpp), which writes the content:
#   /VIDEO.MP4  4 GiB + 1 MiB + 123 bytes, pattern seed 41, written first into the empty
#               volume, so it lies in one run of clusters (NoFatChain)
#   /FRAG.BIN   4 GiB + 5000 bytes, pattern seed 42, written after 64 files of 64 KiB of
#               which every other one was deleted, so that it starts in the holes they left
#               and its clusters are found through the FAT
# The pattern is that of bench/Pattern.h: a 64-bit word per 8 bytes, made from the seed and
# the word's position, so bytes from a wrong place or a run of zeros do not match.
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 IMAGE PATTERN_TOOL" >&2
  exit 2
fi
image=$1
pattern_tool=$2
readonly GIB=$((1 << 30))
readonly VIDEO_BYTES=$((4 * GIB + (1 << 20) + 123))
readonly FRAG_BYTES=$((4 * GIB + 5000))

mnt=$(mktemp -d)
loop=""
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt" || true
  [[ -n $loop ]] && losetup -d "$loop" 2>/dev/null || true
  rmdir "$mnt" 2>/dev/null || true
}
trap cleanup EXIT

rm -f "$image"
truncate -s 9G "$image"
loop=$(losetup -f --show "$image")
mkfs.exfat -L LARGE "$loop" >/dev/null
mount.exfat-fuse "$loop" "$mnt"
"$pattern_tool" pattern "$mnt/VIDEO.MP4" $VIDEO_BYTES 41
mkdir "$mnt/FILL"
"$pattern_tool" fill "$mnt/FILL" 65536 1000 64 >/dev/null
rm -f "$mnt"/FILL/F????[13579].BIN
"$pattern_tool" pattern "$mnt/FRAG.BIN" $FRAG_BYTES 42
sync
umount "$mnt"
losetup -d "$loop"
loop=""
