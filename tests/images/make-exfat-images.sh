#!/usr/bin/env bash
# Makes the exFAT test images with mkfs.exfat and exfat-fuse, and a manifest beside each one
# that the tests read. Needs root, loop devices and FUSE; CI uses the committed images and
# never runs this.
#
#   tests/images/make-exfat-images.sh [OUT_DIR]     (default: the folder of this script)
#
# Manifest lines, tab-separated: type (dir|file), state (live|deleted), size, seed, delivered,
# path. A file's content is PatternBytes(size, seed) of tests/support/TestFiles.cpp; delivered
# is how many leading bytes of it a read gives back (less than size where a deleted file's
# clusters were taken by another file). Lines starting with # are comments; "label" and
# "sector-size" lines describe the volume.
set -euo pipefail

out=$(cd "${1:-$(dirname "$0")}" && pwd)
work=$(mktemp -d)
mnt=$work/mnt
mkdir -p "$mnt"
loop=""

cleanup() {
  mountpoint -q "$mnt" && umount "$mnt" || true
  [[ -n $loop ]] && losetup -d "$loop" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The same xorshift pattern as PatternBytes in tests/support/TestFiles.cpp.
pattern_py='
import sys
def pattern(size, seed):
    state = (seed * 2654435761 + 0x9E3779B9) & 0xFFFFFFFF
    out = bytearray(size)
    for i in range(size):
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out[i] = state & 0xFF
    return bytes(out)
'

manifest=""
note() { printf '%s\n' "$*" >>"$manifest"; }

# put SIZE SEED PATH: writes a patterned file into the mounted volume.
put() {
  python3 -c "$pattern_py
open(sys.argv[3], 'wb').write(pattern(int(sys.argv[1]), int(sys.argv[2])))" "$1" "$2" "$mnt/$3"
  note "file	live	$1	$2	$1	$3"
}

# put_alternately STEP SIZE1 SEED1 PATH1 SIZE2 SEED2 PATH2 ...: grows the files by STEP bytes
# in turn, closing each after every step, so that their clusters interleave and each needs a
# FAT chain.
put_alternately() {
  local step=$1; shift
  python3 -c "$pattern_py
import os
mnt, step = sys.argv[1], int(sys.argv[2])
files = [(int(sys.argv[i]), int(sys.argv[i + 1]), os.path.join(mnt, sys.argv[i + 2]))
         for i in range(3, len(sys.argv), 3)]
data = [pattern(size, seed) for size, seed, _ in files]
for _, _, path in files:
    open(path, 'wb').close()
offset = 0
while any(offset < len(d) for d in data):
    for d, (_, _, path) in zip(data, files):
        if offset < len(d):
            with open(path, 'ab') as f:
                f.write(d[offset:offset + step])
    offset += step" "$mnt" "$step" "$@"
  while (($#)); do
    note "file	live	$1	$2	$1	$3"
    shift 3
  done
}

directory() {
  mkdir "$mnt/$1"
  note "dir	live	0	0	0	$1"
}

# deleted PATH [DELIVERED]: removes an entry (a directory with everything in it) and marks its
# manifest lines deleted. A deleted file keeps its content; DELIVERED says otherwise.
deleted() {
  rm -r "${mnt:?}/$1"
  awk -v path="$1" -v delivered="${2:-}" 'BEGIN { FS = OFS = "\t" }
    $6 == path || index($6, path "/") == 1 {
      $2 = "deleted"
      if (delivered != "") $5 = delivered
    }
    { print }' "$manifest" >"$manifest.new"
  mv "$manifest.new" "$manifest"
}

# start IMAGE SIZE_MIB SECTOR_SIZE PARTITION_START_SECTOR MKFS_OPTIONS...
start() {
  local image=$out/$1 size=$2 sector=$3 first=$4; shift 4
  rm -f "$image"
  truncate -s "${size}M" "$image"
  local offset=()
  if ((first > 0)); then
    printf 'label: dos\nstart=%s, type=7\n' "$first" | sfdisk -q "$image"
    offset=(-o $((first * sector)))
  fi
  loop=$(losetup -f --show -b "$sector" "${offset[@]}" "$image")
  mkfs.exfat "$@" "$loop" >/dev/null
  mount.exfat-fuse "$loop" "$mnt"
  manifest=${image%.img}.manifest
  : >"$manifest"
  note "# Made by make-exfat-images.sh: type, state, size, seed, delivered, path."
  note "sector-size	$sector"
  note "first-sector	$first"
}

finish() {
  sync
  umount "$mnt"
  losetup -d "$loop"
  loop=""
}

# 1. A tree with a non-ASCII label, nested and non-ASCII names, a contiguous and two
#    fragmented files, a directory of several clusters, an empty file, deleted files and a
#    deleted directory with contents. Deletions come last in each directory, since exfat-fuse
#    reuses deleted slots.
start exfat-tree.img 4 512 0 -L "Données" -c 4K
note "label	Données"
directory "Documents"
directory "Documents/Année 2024"
put 3000 1 "Documents/Année 2024/résumé.txt"
put 5000 2 "Documents/Année 2024/Привет мир.txt"
put 7000 3 "Documents/日本語のファイル.txt"
put 100 4 "emoji 😀 note.txt"
put 50000 5 "contiguous.bin"
put_alternately 4096 29672 6 "frag-a.bin" 30672 7 "frag-b.bin" 20000 8 "frag-c.bin"
directory "Many entries"
for i in $(seq -w 1 60); do put $((10 + 10#$i)) $((100 + 10#$i)) "Many entries/entry $i with a longer name.txt"; done
put 0 0 "empty.txt"
put 9000 9 "gone.txt"
directory "old dir"
put 4500 10 "old dir/inner one.txt"
directory "old dir/sub"
put 6000 11 "old dir/sub/deep.bin"
deleted "gone.txt"
# frag-c.bin was written around frag-a.bin and frag-b.bin, which stay: exfat-fuse zeroes its
# chain, and its clusters are the free ones from its first on.
deleted "frag-c.bin"
deleted "old dir"
finish

# 2. A volume inside a partition table (first sector 2048) with 512-byte clusters and no
#    label: a long chain whose FAT entries span several FAT sectors, a directory of many
#    clusters and a deleted contiguous file.
start exfat-mbr.img 3 512 2048 -c 512 -b 4K
note "label	"
put_alternately 512 40000 20 "big chain.bin" 3000 21 "small.bin"
directory "dir with many"
for i in $(seq -w 1 40); do put 700 $((30 + 10#$i)) "dir with many/file $i.txt"; done
put 1500 22 "deleted.txt"
deleted "deleted.txt"
finish

# 3. 4096-byte sectors, read with the source opened at 4096 bytes per sector.
start exfat-4k.img 4 4096 0 -L "4K Sectors" -c 8K
note "label	4K Sectors"
put 5000 40 "hello.txt"
directory "sub"
put 20000 41 "sub/nested.bin"
finish

echo "Made exfat-tree.img, exfat-mbr.img and exfat-4k.img in $out"
