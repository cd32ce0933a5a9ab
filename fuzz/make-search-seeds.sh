#!/usr/bin/env bash
# Makes the seed inputs of the search target (fuzz_search): small sources whose partition
# table or boot sectors are gone, so that only the search for lost volumes finds what they
# hold. Volumes are made with mkfs.fat, mtools, mkfs.exfat and sfdisk, then placed and damaged
# with dd. No loop device, no mount, no root. The seeds are committed; run this again only to
# remake them.
#
#   fuzz/make-search-seeds.sh [CORPUS_DIR]     (default: fuzz/corpus beside this script)
#
# Every seed is kept within 128 KiB, the fuzzers' largest input.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/corpus}/search
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

. "$here/seed-tools.sh"

# place IMAGE VOLUME SECTOR: VOLUME's bytes written into IMAGE from 512-byte sector SECTOR on.
place() { dd if="$2" of="$1" bs=512 seek="$3" conv=notrunc status=none; }

# zero IMAGE SECTOR [COUNT [SECTOR_SIZE]]: COUNT sectors of IMAGE from SECTOR on made zeros.
zero() { dd if=/dev/zero of="$1" bs="${4:-512}" seek="$2" count="${3:-1}" conv=notrunc status=none; }

# fat12 IMAGE SIZE LABEL: a FAT12 volume of 512-byte clusters holding a few files, nested
# folders and a deleted file.
fat12() {
  truncate -s "$2" "$1"
  mkfs.fat -F 12 -s 1 -r 32 -n "$3" "$1" >/dev/null
  put "$1" 900 1 "/Found again.txt"
  mmd -i "$1" ::/SUB
  put "$1" 1300 2 /SUB/NESTED.BIN
  mmd -i "$1" ::/SUB/DEEPER
  put "$1" 600 3 /SUB/DEEPER/NOTE.TXT
  put "$1" 700 4 "/A long name of a deleted file.txt"
  mdel -i "$1" "::/A long name of a deleted file.txt"
  put "$1" 400 5 /LAST.TXT
}

# A fresh exFAT volume with 512-byte clusters, cut after the last cluster in use (32 KiB).
truncate -s 1M "$work/exfat.img"
mkfs.exfat -c 512 -b 4K -L SEEDX "$work/exfat.img" >/dev/null
truncate -s 32K "$work/exfat.img"

# Sector 0 zeroed: a FAT12 volume at track boundary 63, and another at sector 150, which no
# boundary holds (found only at every sector).
fat12 "$work/a.img" 40K PARTA
fat12 "$work/b.img" 40K PARTB
truncate -s $((230 * 512)) "$out/zeroed-table"
printf 'start=63, size=80, type=1\nstart=150, size=80, type=1\n' |
  sfdisk --quiet --label dos "$out/zeroed-table" >/dev/null
place "$out/zeroed-table" "$work/a.img" 63
place "$out/zeroed-table" "$work/b.img" 150
zero "$out/zeroed-table" 0

# A deleted entry beside a live one: the table keeps the first volume; the second one's entry
# is gone, the volume is still there.
cp "$out/zeroed-table" "$out/deleted-entry"
printf 'start=63, size=80, type=1\n' | sfdisk --quiet --label dos "$out/deleted-entry" >/dev/null

# The smallest FAT32 volume mkfs.fat makes, moved together as the FAT seeds are (its table cut
# to 8 sectors and its data area to 64 KiB, the sizes saying so), the backup boot sector at
# sector 6 saying the same, and the boot sector itself zeroed; at track boundary 63 of a disk
# whose table is gone.
truncate -s 33M "$work/fat32.img"
mkfs.fat -F 32 -s 1 -f 1 -R 8 -n SEED32 "$work/fat32.img" >/dev/null
put "$work/fat32.img" 700 3 "/Backed up.txt"
mmd -i "$work/fat32.img" ::/DOCS
put "$work/fat32.img" 2100 4 /DOCS/DEEP.BIN
compact_fat32 "$work/fat32.img"
zero "$work/fat32.img" 0
truncate -s $((63 * 512)) "$out/fat32-backup-boot"
place "$out/fat32-backup-boot" "$work/fat32.img" 63

# The exFAT volume with its main boot sector zeroed, at track boundary 63 of a disk whose table
# is gone: the backup boot region (sectors 12 to 23) and its checksum are whole.
truncate -s $((63 * 512)) "$out/exfat-backup-region"
place "$out/exfat-backup-region" "$work/exfat.img" 63
zero "$out/exfat-backup-region" 63

# A FAT12 volume whose boot sector is gone, without a backup: its geometry is inferred from the
# two tables and the root folder after them.
fat12 "$out/fat12-inferred" 96K LOSTBOOT
zero "$out/fat12-inferred" 0

# A FAT16 volume (4 MiB, cut to its first 80 KiB) whose boot sector is gone.
truncate -s 4M "$work/fat16.img"
mkfs.fat -F 16 -s 1 -n SEED16 "$work/fat16.img" >/dev/null
put "$work/fat16.img" 800 5 "/Sixteen.txt"
mmd -i "$work/fat16.img" ::/SUB
put "$work/fat16.img" 1500 6 /SUB/NESTED.BIN
truncate -s 80K "$work/fat16.img"
cp "$work/fat16.img" "$out/fat16-inferred"
zero "$out/fat16-inferred" 0

# A disk image stored as a file on a volume that the search finds: the image inside is not a
# volume of this source.
fat12 "$work/inner.img" 40K INNER
truncate -s 64K "$work/outer.img"
mkfs.fat -F 12 -s 1 -r 16 -n OUTER "$work/outer.img" >/dev/null
mcopy -i "$work/outer.img" "$work/inner.img" ::/DISK.IMG
truncate -s $((192 * 512)) "$out/image-in-a-file"
place "$out/image-in-a-file" "$work/outer.img" 63

# A FAT12 volume of 4096-byte sectors at byte 16384 (sector 4 in its own sectors, 32 in
# 512-byte ones) with nothing before it: found with 512-byte sectors, read with its own.
truncate -s 64K "$work/tiny4k.img"
mkfs.fat -F 12 -S 4096 -s 1 -r 128 -n SEED4K "$work/tiny4k.img" >/dev/null
put "$work/tiny4k.img" 5000 7 "/On 4K sectors.txt"
truncate -s $((20 * 4096)) "$out/4k-sectors-zeroed"
dd if="$work/tiny4k.img" of="$out/4k-sectors-zeroed" bs=4096 seek=4 conv=notrunc status=none

ls -l "$out"
