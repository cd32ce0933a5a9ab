#!/usr/bin/env bash
# The gallery benchmark: a FAT32 card of 1,000 camera-sized JPEGs (3 to 6 MB each, with the
# EXIF thumbnail cameras write), made with ImageMagick, exiftool, mkfs.fat and mtools, and the
# gallery of its DCIM folder measured by brindle-gallery-bench.
#
#   scripts/bench-gallery.sh [--work DIR] [--keep] [BUILD]
#
#   --work DIR   where the card goes (default /tmp/brindle-gallery-bench; about 10 GiB)
#   --keep       keep the card afterwards; a kept card is used again
#   BUILD        the build folder holding bench/brindle-gallery-bench (default build/bench)
#
# Four pictures are made and each copy of them made different cheaply: a comment of its own in
# the EXIF block and bytes of its own after the end of the picture, as some cameras leave.
set -euo pipefail
cd "$(dirname "$0")/.."

work=/tmp/brindle-gallery-bench
keep=0
build=build/bench
while (($#)); do
  case $1 in
    --work) work=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -*) echo "bench-gallery.sh: unknown argument $1" >&2; exit 2 ;;
    *) build=$1; shift ;;
  esac
done
readonly PICTURES=1000
readonly CARD_MIB=5500

log() { printf '== %s\n' "$*" >&2; }

make_card() {
  local staging=$work/staging card=$work/card.img
  rm -rf "$staging"
  mkdir -p "$staging/DCIM/100CANON" "$staging/base"
  local sizes=(4000x3000 4608x3456 4000x3000 5184x3456) i
  for i in 0 1 2 3; do
    log "Base picture $i: ${sizes[i]}"
    convert -seed $((i + 1)) -size "${sizes[i]}" plasma:fractal -quality 93 "$staging/base/$i.jpg"
    convert "$staging/base/$i.jpg" -thumbnail 160x120 "$staging/base/$i-thumb.jpg"
    exiftool -q -overwrite_original "-ThumbnailImage<=$staging/base/$i-thumb.jpg" \
      -Make=Brindle -Model=Bench "$staging/base/$i.jpg"
  done
  ls -l "$staging/base" >&2
  log "$PICTURES copies, each with its own comment and trailing bytes"
  local name
  for ((i = 1; i <= PICTURES; i++)); do
    printf -v name 'IMG_%04d.JPG' "$i"
    cp "$staging/base/$((i % 4)).jpg" "$staging/DCIM/100CANON/$name"
    printf 'copy %d of the gallery benchmark' "$i" >>"$staging/DCIM/100CANON/$name"
  done
  # Different comments inside the EXIF block for a tenth of them (exiftool is slow per file).
  exiftool -q -overwrite_original -UserComment='a comment of its own' \
    "$staging"/DCIM/100CANON/IMG_0??0.JPG >/dev/null
  log "FAT32 card of $CARD_MIB MiB, mcopy"
  rm -f "$card"
  mkfs.fat -F 32 -s 64 -n BENCHCARD -C "$card" $((CARD_MIB * 1024)) >/dev/null
  MTOOLS_SKIP_CHECK=1 mcopy -s -i "$card" "$staging/DCIM" ::/
  rm -rf "$staging"
}

mkdir -p "$work"
if [[ ! -f $work/card.img ]]; then make_card; else log "Using the card kept in $work"; fi
cat "$work/card.img" >/dev/null  # figures of a card in the page cache
log "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
"$build/bench/brindle-gallery-bench" "$work/card.img" "1:/DCIM/100CANON" || status=$?
if ((!keep)); then rm -rf "$work"; fi
exit $status
