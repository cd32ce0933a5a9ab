# Shell functions the seed scripts share; sourced after they have set $work, their scratch
# folder.

# content SIZE SEED: SIZE bytes of a repeatable pattern, as a file in the work folder.
content() {
  local file=$work/content-$1-$2
  python3 -c "
import sys
size, seed = int(sys.argv[1]), int(sys.argv[2])
sys.stdout.buffer.write(bytes((i * 7 + seed * 13 + (i >> 8)) & 0xFF for i in range(size)))" "$1" "$2" >"$file"
  echo "$file"
}

# put IMAGE SIZE SEED PATH: a file of SIZE pattern bytes at PATH (an mtools path) in IMAGE.
put() { mcopy -D o -i "$1" "$(content "$2" "$3")" "::$4"; }

# compact_fat32 IMAGE: a FAT32 volume as mkfs.fat makes the smallest one (33 MiB, one table,
# 8 reserved sectors), moved together: the table is cut to its first 8 sectors (entries for
# every cluster in use) and the data area to its first 64 KiB, with the table size and the
# sector count in the boot sector and its backup at sector 6 saying so.
compact_fat32() {
  python3 - "$1" <<'PYTHON'
import struct, sys
path = sys.argv[1]
data = open(path, 'rb').read()
boot = bytearray(data[:512])
reserved = struct.unpack_from('<H', boot, 14)[0]
table_sectors = struct.unpack_from('<I', boot, 36)[0]
kept_table, kept_data = 8, 128
struct.pack_into('<I', boot, 36, kept_table)
struct.pack_into('<I', boot, 32, reserved + kept_table + kept_data)
out = bytearray(boot) + data[512:(reserved + kept_table) * 512]
out[6 * 512:7 * 512] = boot
data_start = (reserved + table_sectors) * 512
out += data[data_start:data_start + kept_data * 512]
open(path, 'wb').write(out)
PYTHON
}
