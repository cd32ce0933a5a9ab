#!/usr/bin/env bash
# Makes the seed inputs of the fuzz targets from small volumes built with the real tools
# (mkfs.fat, mtools, mkfs.exfat, sfdisk) and from the committed exFAT test images, and the
# carving target's from small files made with ImageMagick, exiftool, ffmpeg, zip, gsf,
# Ghostscript and qpdf. No loop device, no mount, no root. The seeds are committed; run this
# again only to remake them.
#
#   fuzz/make-seeds.sh [CORPUS_DIR]     (default: fuzz/corpus beside this script)
#
# Every seed is kept within 128 KiB, the fuzzers' largest input: they mutate them, and the test
# suite runs each one through the harness under the sanitizers.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
images=$here/../tests/images
out=${1:-$here/corpus}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/discover" "$out/fat" "$out/exfat" "$out/carve"

export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

. "$here/seed-tools.sh"

# put_picture IMAGE KIND PATH: a small file that begins with the signature of a JPEG, PNG, GIF
# or BMP picture, so the preview decides picture and the picture-sized read runs.
put_picture() {
  local file=$work/picture-$2
  python3 -c "
import sys
heads = {'jpg': b'\xff\xd8\xff\xe0\x00\x10JFIF\x00', 'png': b'\x89PNG\r\n\x1a\n',
         'gif': b'GIF89a\x01\x00\x01\x00', 'bmp': b'BM\x46\x00\x00\x00\x00\x00\x00\x00'}
sys.stdout.buffer.write(heads[sys.argv[1]] + bytes(range(256)) * 3)" "$2" >"$file"
  mcopy -D o -i "$1" "$file" "::$3"
}

# keep FILE BYTES: cuts FILE down to its first BYTES bytes.
keep() { truncate -s "$2" "$1"; }

# The tree every FAT seed holds: short and long names, a subdirectory with a nested one, an
# empty file, a deleted file, a deleted directory and a file whose chain is fragmented (it
# fills the hole a deleted file left, then goes on after the last cluster in use).
fill_fat_tree() {
  local img=$1
  put "$img" 700 1 /README.TXT
  put "$img" 0 2 /EMPTY.TXT
  put "$img" 1300 3 "/A long file name.txt"
  put "$img" 300 4 /notes.txt
  mmd -i "$img" ::/DOCS ::/DOCS/Nested ::/OLD
  put "$img" 900 5 "/DOCS/Résumé été.txt"
  put "$img" 2100 6 /DOCS/Nested/DEEP.BIN
  put "$img" 500 7 /OLD/GONE.TXT
  put "$img" 1500 8 /HOLE.BIN
  put "$img" 600 9 /AFTER.BIN
  mdel -i "$img" ::/HOLE.BIN
  put "$img" 4000 10 "/Fragmented file.bin"
  put "$img" 800 11 /DELETED.TXT
  mdel -i "$img" ::/DELETED.TXT
  mdeltree -i "$img" ::/OLD
  put_picture "$img" jpg /PHOTO.JPG
  put_picture "$img" png "/DOCS/Scan of a page.png"
}

# A FAT12 volume, kept whole: 128 KiB, 512-byte clusters.
make_fat12() {
  local img=$1
  truncate -s 128K "$img"
  mkfs.fat -F 12 -s 1 -n SEED12 "$img" >/dev/null
  fill_fat_tree "$img"
}

# A FAT12 volume of deleted entries read back from free clusters: a deleted folder of two
# clusters holding files, empty ones and a deleted folder; a file written around a live one
# and deleted; a deleted long name of three pieces; a moved folder, whose deleted slot points
# at clusters in use.
make_fat12_deleted() {
  local img=$1 i
  truncate -s 128K "$img"
  mkfs.fat -F 12 -s 1 -n SEEDDEL "$img" >/dev/null
  mmd -i "$img" ::/OLD
  for i in $(seq 1 18); do put "$img" 0 0 "/OLD/EMPTY$i.TXT"; done
  mmd -i "$img" "::/OLD/Inner folder" ::/KEPT ::/LIVEDIR
  put "$img" 700 41 "/OLD/First letter.txt"
  put "$img" 1500 42 "/OLD/Inner folder/DEEP.BIN"
  put "$img" 1536 43 /HOLE1.BIN
  put "$img" 1024 44 /LIVE.BIN
  put "$img" 2048 45 /HOLE2.BIN
  put "$img" 300 46 /KEPT/INSIDE.TXT
  mdel -i "$img" ::/HOLE1.BIN ::/HOLE2.BIN
  put "$img" 3000 47 "/Written around a live file.bin"
  put "$img" 900 48 "/A deleted name of three pieces.txt"
  mmove -i "$img" ::/KEPT ::/LIVEDIR/KEPT
  mdel -i "$img" "::/Written around a live file.bin" "::/A deleted name of three pieces.txt"
  mdeltree -i "$img" ::/OLD
}

# A 4 MiB FAT16 volume cut to its first 96 KiB: boot sector, both tables, the fixed root
# region and the first clusters, which hold every file of the tree.
make_fat16() {
  local img=$1
  truncate -s 4M "$img"
  mkfs.fat -F 16 -s 1 -n SEED16 "$img" >/dev/null
  fill_fat_tree "$img"
  keep "$img" 96K
}

# A FAT32 volume as mkfs.fat makes the smallest one, moved together (compact_fat32). The root
# directory is cluster 2.
make_fat32() {
  local img=$1
  truncate -s 33M "$img"
  mkfs.fat -F 32 -s 1 -f 1 -R 8 -n SEED32 "$img" >/dev/null
  fill_fat_tree "$img"
  compact_fat32 "$img"
}

# The tree on a FAT12 volume of 4096-byte sectors, cut to its first 96 KiB. The harness opens
# it with 4096-byte sectors, as its boot sector says.
make_fat12_4k() {
  local img=$1
  truncate -s 1M "$img"
  mkfs.fat -F 12 -S 4096 -s 1 -n SEED4K "$img" >/dev/null
  fill_fat_tree "$img"
  keep "$img" 96K
}

# A fresh exFAT volume with 512-byte clusters and its heap right after the table: bitmap,
# up-case table, label and an empty root, cut after the last cluster in use.
make_exfat_fresh() {
  local img=$1
  truncate -s 1M "$img"
  mkfs.exfat -c 512 -b 4K -L SEEDX "$img" >/dev/null
  keep "$img" 32K
}

# exfat-tree.img (files, nested and fragmented, deleted sets, long names) moved together: the
# boot region stays, the table follows it, and the heap follows the table, cut to its first
# KEEP clusters, with ClusterCount saying so. Cluster numbers stay as they were. The first
# files of the root get picture signatures at the start of their data, so that the preview
# decides picture for them.
compact_exfat() {
  python3 - "$1" "$2" "$3" <<'EOF'
import struct, sys
source, target, keep = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(source, 'rb').read()
boot = bytearray(data[:512])
fat_offset, fat_length, heap_offset = struct.unpack_from('<III', boot, 80)
sector, cluster = 1 << boot[108], 1 << (boot[108] + boot[109])
boot_region = 24  # main and backup boot regions, 12 sectors each
new_heap = boot_region + fat_length
struct.pack_into('<III', boot, 80, boot_region, fat_length, new_heap)
struct.pack_into('<I', boot, 92, keep)
struct.pack_into('<Q', boot, 72, new_heap + keep * cluster // sector)
out = bytearray(boot) + data[512:boot_region * sector]
out += data[fat_offset * sector:(fat_offset + fat_length) * sector]
out += data[heap_offset * sector:heap_offset * sector + keep * cluster]
heap = new_heap * sector
root = struct.unpack_from('<I', boot, 96)[0]
signatures = [b'\xff\xd8\xff\xe1', b'\x89PNG', b'GIF87a', b'BM\0\0\0\0\0\0\0']
for at in range(heap + (root - 2) * cluster, heap + (root - 1) * cluster, 32):
    is_directory = out[at - 32] == 0x85 and out[at - 32 + 4] & 0x10
    if out[at] != 0xC0 or is_directory or not signatures:
        continue
    first, length = struct.unpack_from('<IQ', out, at + 20)
    start = heap + (first - 2) * cluster
    if first >= 2 and length >= 16 and start + 16 <= len(out):
        head = signatures.pop(0)
        out[start:start + len(head)] = head
open(target, 'wb').write(out)
EOF
}

# mark_bad IMAGE SECTOR_SIZE TEXT...: the sectors whose bytes hold any of the TEXTs (Python
# bytes literals) begin with "BADSECT!", which the harness cannot read, as on a damaged medium.
mark_bad() {
  python3 - "$@" <<'EOF'
import ast, sys
path, sector = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
for text in sys.argv[3:]:
    at = data.find(ast.literal_eval(text))
    if at < 0:
        sys.exit('mark_bad: not found: ' + text)
    at -= at % sector
    data[at:at + 8] = b'BADSECT!'
open(path, 'wb').write(data)
EOF
}

# A disk of PARTITION images behind an MBR made by sfdisk: each image starts at the next
# multiple of 8 sectors; TYPES are the partition types in the same order.
make_mbr_disk() {
  local img=$1 types=$2; shift 2
  local start=8 table="" size i=0 parts=("$@")
  local -a type_list
  read -ra type_list <<<"$types"
  for part in "${parts[@]}"; do
    size=$(( ($(stat -c %s "$part") + 511) / 512 ))
    table+="start=$start, size=$size, type=${type_list[$i]}"$'\n'
    start=$(( (start + size + 7) / 8 * 8 ))
    i=$((i + 1))
  done
  truncate -s $((start * 512)) "$img"
  printf '%s' "$table" | sfdisk --quiet --label dos "$img" >/dev/null
  start=8
  for part in "${parts[@]}"; do
    dd if="$part" of="$img" bs=512 seek=$start conv=notrunc status=none
    size=$(( ($(stat -c %s "$part") + 511) / 512 ))
    start=$(( (start + size + 7) / 8 * 8 ))
  done
}

# An extended partition whose chain of three records holds the FAT12 partition (logical drive
# 5), the fresh exFAT volume (6) and an unformatted drive (7); sfdisk with a grain of one
# sector keeps the records next to their drives.
make_extended_disk() {
  local img=$1
  truncate -s $((218 * 512)) "$img"
  printf 'label: dos\ngrain: 512\nstart=2, size=216, type=5\nstart=8, size=128, type=1\n%s\n' \
    'start=144, size=64, type=7\nstart=210, size=8, type=83' | sfdisk --quiet "$img" >/dev/null
  dd if="$work/small12.img" of="$img" bs=512 seek=8 conv=notrunc status=none
  dd if="$work/exfat-fresh.img" of="$img" bs=512 seek=144 conv=notrunc status=none
}

# A GUID partition table of four entries (one sector of entries, so that the disk stays
# small): the FAT12 partition in entry 1, an unformatted entry 2, the fresh exFAT volume in
# entry 3.
make_gpt_disk() {
  local img=$1
  truncate -s $((210 * 512)) "$img"
  printf 'label: gpt\ntable-length: 4\nfirst-lba: 3\nstart=8, size=128\nstart=136, size=8\nstart=144, size=64\n' |
    sfdisk --quiet "$img" >/dev/null
  dd if="$work/small12.img" of="$img" bs=512 seek=8 conv=notrunc status=none
  dd if="$work/exfat-fresh.img" of="$img" bs=512 seek=144 conv=notrunc status=none
}

# The same on 4096-byte sectors, made by fdisk (sfdisk takes no sector size): a table of four
# entries and a FAT12 volume of 4096-byte sectors in entry 1. The harness opens it with
# 4096-byte sectors, as the header at byte 4096 says.
make_gpt_4k_disk() {
  local img=$1 volume=$work/tiny4k.img
  truncate -s $((22 * 4096)) "$img"
  printf 'g\nx\nl\n4\nr\nn\n1\n4\n+15\nw\n' | fdisk -b 4096 "$img" >/dev/null
  truncate -s 64K "$volume"
  mkfs.fat -F 12 -S 4096 -s 1 -r 128 -n SEEDGPT4K "$volume" >/dev/null
  put "$volume" 5000 31 "/On 4K sectors.txt"
  dd if="$volume" of="$img" bs=4096 seek=4 conv=notrunc status=none
}

make_fat12 "$work/fat12.img"
make_fat12_deleted "$work/fat12-deleted.img"
make_fat16 "$work/fat16.img"
make_fat32 "$work/fat32.img"
make_fat12_4k "$work/fat12-4k.img"
make_exfat_fresh "$work/exfat-fresh.img"
compact_exfat "$images/exfat-tree.img" "$work/exfat-tree.img" 24
compact_exfat "$images/exfat-4k.img" "$work/exfat-4k.img" 3

cp "$work/fat12.img" "$out/fat/fat12-tree"
cp "$work/fat12-deleted.img" "$out/fat/fat12-deleted"
# The tree with unreadable sectors: the nested directory's slots and the start of a file.
cp "$work/fat12.img" "$out/fat/fat12-bad-sectors"
mark_bad "$out/fat/fat12-bad-sectors" 512 "b'DEEP    BIN'" "b'\\x0d\\x14\\x1b\\x22\\x29'"
cp "$work/fat16.img" "$out/fat/fat16-head"
cp "$work/fat32.img" "$out/fat/fat32-head"
cp "$work/fat12-4k.img" "$out/fat/fat12-4k-sectors"
cp "$work/exfat-fresh.img" "$out/exfat/exfat-fresh"
cp "$work/exfat-tree.img" "$out/exfat/exfat-tree"
cp "$work/exfat-tree.img" "$out/exfat/exfat-tree-bad-sectors"
mark_bad "$out/exfat/exfat-tree-bad-sectors" 512 "b'A\\x00n\\x00n\\x00'" "b'\\x89PNG'"
cp "$work/exfat-4k.img" "$out/exfat/exfat-4k-sectors"

# Discovery: a superfloppy, and MBR disks whose partitions hold a FAT and an exFAT volume.
# A FAT12 partition of 64 KiB keeps the disk small.
truncate -s 64K "$work/small12.img"
mkfs.fat -F 12 -s 1 -n PART12 "$work/small12.img" >/dev/null
put "$work/small12.img" 900 21 "/In a partition.txt"
mmd -i "$work/small12.img" ::/SUB
put "$work/small12.img" 300 22 /SUB/NESTED.TXT
cp "$work/fat12.img" "$out/discover/superfloppy-fat12"
cp "$out/fat/fat12-bad-sectors" "$out/discover/superfloppy-fat12-bad-sectors"
make_mbr_disk "$out/discover/mbr-fat12-exfat" "01 07" "$work/small12.img" "$work/exfat-fresh.img"
make_mbr_disk "$out/discover/mbr-fat32-exfat" "0c 07" "$work/fat32.img" "$work/exfat-fresh.img"
make_mbr_disk "$out/discover/mbr-exfat-tree" "07" "$work/exfat-tree.img"
make_extended_disk "$out/discover/mbr-extended"
make_gpt_disk "$out/discover/gpt-fat12-exfat"
# The same with the primary header's signature gone, so that the backup copy is read.
cp "$out/discover/gpt-fat12-exfat" "$out/discover/gpt-backup-only"
printf 'EFI TRAP' | dd of="$out/discover/gpt-backup-only" bs=1 seek=512 conv=notrunc status=none
make_gpt_4k_disk "$out/discover/gpt-4k-sectors"

# Carving: one small file of each format family, as the tools write them. Raw camera files
# are TIFFs whose headers say Canon or Olympus (the fuzzer finds its way from there).
make_carve_seeds() {
  local c=$out/carve w=$work/carve
  mkdir -p "$w/word" "$w/_rels" "$w/ole"
  convert -size 48x32 plasma:fractal -quality 80 "$w/thumb.jpg"
  convert -size 96x64 plasma:fractal -quality 80 "$c/jpeg-exif.jpg"
  exiftool -q -overwrite_original -DateTimeOriginal='2021:05:06 07:08:09' "-ThumbnailImage<=$w/thumb.jpg" \
    "$c/jpeg-exif.jpg"
  convert -size 64x48 plasma:fractal -interlace JPEG -quality 70 "$c/jpeg-progressive.jpg"
  # A multi-picture file as cameras write them: an APP2 "MPF" index in the first picture places
  # a second one after its end.
  python3 -c "
import struct, sys
first, second = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
tiff_size = 8 + 2 + 3 * 12 + 4 + 32
first_size = len(first) + 4 + 4 + tiff_size
tiff = b'MM\\0*' + struct.pack('>IH', 8, 3)
tiff += struct.pack('>HHI', 0xB000, 7, 4) + b'0100'
tiff += struct.pack('>HHII', 0xB001, 4, 1, 2)
tiff += struct.pack('>HHII', 0xB002, 7, 32, 8 + 2 + 36 + 4) + struct.pack('>I', 0)
tiff += struct.pack('>IIII', 0x20030000, first_size, 0, 0) + struct.pack('>IIII', 0, len(second), first_size - 10, 0)
app2 = b'\\xff\\xe2' + struct.pack('>H', 2 + 4 + tiff_size) + b'MPF\\0' + tiff
open(sys.argv[3], 'wb').write(b'\\xff\\xd8' + app2 + first[2:] + second)" \
    "$w/thumb.jpg" "$c/jpeg-progressive.jpg" "$c/jpeg-multi-picture.jpg"
  convert -size 40x30 gradient:red-blue "$c/picture.png"
  convert -size 40x30 plasma:fractal "$c/picture.gif"
  convert -size 24x16 plasma:fractal "$c/picture.bmp"
  convert -size 32x24 plasma:fractal -compress lzw "$c/picture.tif"
  exiftool -q -DNGVersion=1.4.0.0 -Make=Canon -DateTimeOriginal='2020:01:02 03:04:05' \
    -o "$c/raw.dng" "$c/picture.tif"
  python3 -c "
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
cr2 = bytearray(data); cr2[8:12] = b'CR\x02\x00'
open(sys.argv[2], 'wb').write(cr2)
orf = bytearray(data); orf[2:4] = b'RO'
open(sys.argv[3], 'wb').write(orf)" "$c/picture.tif" "$c/raw-canon.cr2" "$c/raw-olympus.orf"
  convert -size 32x24 plasma:fractal "$c/picture.webp"
  convert -size 32x24 plasma:fractal "$c/picture.heic"
  exiftool -q -overwrite_original -DateTimeOriginal='2022:03:04 05:06:07' "$c/picture.heic"
  local video=(-f lavfi -i testsrc=duration=0.4:size=64x48:rate=25 -f lavfi -i sine=duration=0.4:sample_rate=8000)
  ffmpeg -loglevel error "${video[@]}" -pix_fmt yuv420p -b:v 20k "$c/video.mp4"
  ffmpeg -loglevel error "${video[@]}" -b:v 20k "$c/video.mov"
  ffmpeg -loglevel error "${video[@]}" -c:v mpeg4 -b:v 20k -ar 8000 -ac 1 -c:a aac "$c/video.3gp"
  ffmpeg -loglevel error "${video[@]}" -b:v 20k "$c/video.avi"
  ffmpeg -loglevel error "${video[@]}" -b:v 20k "$c/video.mkv"
  ffmpeg -loglevel error "${video[@]}" -c:v libvpx -b:v 20k -c:a libopus -f webm pipe:1 >"$c/video-open-sizes.webm"
  ffmpeg -loglevel error "${video[@]}" -b:v 20k -ar 44100 -f mpeg "$c/video.mpg"
  local sound=(-f lavfi -i sine=duration=0.3:sample_rate=8000)
  ffmpeg -loglevel error "${sound[@]}" -b:a 16k "$c/sound.mp3"
  ffmpeg -loglevel error "${sound[@]}" "$c/sound.flac"
  ffmpeg -loglevel error "${sound[@]}" -c:a libvorbis "$c/sound.ogg"
  ffmpeg -loglevel error "${sound[@]}" "$c/sound.wav"
  printf '%%!PS\n/Helvetica findfont 12 scalefont setfont 72 720 moveto (Found) show showpage\n' >"$w/page.ps"
  ps2pdf "$w/page.ps" "$c/document.pdf"
  qpdf --object-streams=generate "$c/document.pdf" "$c/document-xref-stream.pdf"
  printf '<Types/>' >"$w/[Content_Types].xml"
  printf '<Relationships/>' >"$w/_rels/.rels"
  printf '<document>Found</document>' >"$w/word/document.xml"
  printf 'application/epub+zip' >"$w/mimetype"
  (cd "$w" && zip -q -X "$c/document.docx" '[Content_Types].xml' _rels/.rels word/document.xml &&
    zip -q -X -0 "$c/book.epub" mimetype && zip -q -X "$c/book.epub" word/document.xml &&
    zip -q -X -fz "$c/archive64.zip" page.ps)
  python3 -c "import sys; sys.stdout.write('Found by content. ' * 300)" >"$w/ole/WordDocument"
  (cd "$w/ole" && gsf createole "$c/document.doc" WordDocument >/dev/null)
}
make_carve_seeds

ls -l "$out"/*/
