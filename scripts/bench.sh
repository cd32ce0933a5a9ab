#!/usr/bin/env bash
# Builds the benchmarks in Release, makes their disk images with the real tools and runs them.
#
#   scripts/bench.sh [--work DIR] [--repetitions N] [--keep] [--remake] [-- BENCHMARK FLAGS...]
#
#   --work DIR        where the images go (default /tmp/brindle-bench; about 15 GiB)
#   --repetitions N   repetitions of every benchmark (default 5)
#   --keep            keep the images afterwards, so that the next run skips making them
#   --remake          make the images again even if kept ones are there
#   after --           flags for the benchmark program (e.g. --benchmark_filter=ReadChildren)
#
# The FAT32 images are made with mkfs.fat and mtools. The exFAT images need root, a loop device
# and FUSE (mkfs.exfat, then exfat-fuse to write the files); without them the exFAT
# benchmarks are left out and the script says why. Saves and recoveries are written to a file
# system of their own (ext4 on a loop device, made afresh for every run, as root), so that
# what other programs write does not mix with what is measured.
set -euo pipefail
cd "$(dirname "$0")/.."

work=/tmp/brindle-bench
repetitions=5
keep=0
remake=0
extra=()
while (($#)); do
  case $1 in
    --work) work=$2; shift 2 ;;
    --repetitions) repetitions=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --remake) remake=1; shift ;;
    --) shift; extra=("$@"); break ;;
    *) echo "bench.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

# What the images hold. bench/BenchLayout.h names the same files, sizes and seeds.
readonly MIB=$((1 << 20))
readonly READ_BYTES=$((512 * MIB))     # CONTIG.BIN and FRAG.BIN
readonly SAVE_BYTES=$((1024 * MIB))    # HUGE.BIN
readonly SEED_CONTIG=1 SEED_FRAG=2 SEED_HUGE=3 SEED_FILL=1000
readonly ENTRIES=20000                 # MANY/ holds this many empty files with long names
readonly FILL_BYTES=$((64 * 1024))     # the files that fill the volume, every other one deleted
readonly IMAGE_MIB=2800
readonly RECOVER_IMAGE_MIB=400         # recover-*.img: 20,000 small files (brindle-bench-files tree)
readonly CLUSTER=4096
readonly OUTPUT_GIB=8                  # the file system the saves and recoveries go to
readonly LAYOUT_VERSION=4

log() { printf '== %s\n' "$*" >&2; }

install_missing() {
  scripts/install-deps.sh build
  local wanted=(libbenchmark-dev libgtest-dev dosfstools mtools exfatprogs exfat-fuse sleuthkit time ewf-tools) missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]} == 0)) && return
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  log "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
}

build() {
  log "Building build/bench (Release)"
  cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON -DBRINDLE_TESTS=OFF >/dev/null
  cmake --build build/bench -j 2
  log "Testing the tools the figures are judged with"
  build/bench/bench/brindle_bench_tests --gtest_brief=1
}

files_tool() { build/bench/bench/brindle-bench-files "$@"; }

# The content files both images get, and the empty files of MANY/.
make_staging() {
  local staging=$1
  rm -rf "$staging"
  mkdir -p "$staging/MANY" "$staging/FILL" "$staging/RECOVER"
  files_tool tree "$staging/RECOVER"
  files_tool pattern "$staging/CONTIG.BIN" $READ_BYTES $SEED_CONTIG
  files_tool pattern "$staging/FRAG.BIN" $READ_BYTES $SEED_FRAG
  files_tool pattern "$staging/HUGE.BIN" $SAVE_BYTES $SEED_HUGE
  local i name
  for ((i = 1; i <= ENTRIES; i++)); do
    printf -v name '%05d long entry name.txt' "$i"  # 25 characters: two long-name slots
    : >"$staging/MANY/$name"
  done
}

# mtools path: MTOOLS_SKIP_CHECK accepts the image's geometry; long names are UTF-8.
mt() { MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 "$@"; }

# Runs "$@ ARGS... TARGET" over the arguments in chunks, so that no command line gets too long.
in_chunks() {
  local target=$1; shift
  local command=() args=()
  while [[ $1 != -- ]]; do command+=("$1"); shift; done
  shift
  args=("$@")
  local i
  for ((i = 0; i < ${#args[@]}; i += 2000)); do
    mt "${command[@]}" "${args[@]:i:2000}" ${target:+"$target"}
  done
}

fat_runs() { mt mshowfat -i "$1" "::$2" | grep -o '<[0-9-]*>' | wc -l; }

make_fat32() {
  local image=$work/fat32.img staging=$work/staging
  log "FAT32: mkfs.fat, CONTIG.BIN, HUGE.BIN, MANY/ (${ENTRIES} entries)"
  rm -f "$image"
  mkfs.fat -F 32 -S 512 -s $((CLUSTER / 512)) -n BENCH32 -C "$image" $((IMAGE_MIB * 1024)) >/dev/null
  mt mcopy -i "$image" "$staging/CONTIG.BIN" "$staging/HUGE.BIN" ::/
  mt mcopy -s -i "$image" "$staging/MANY" ::/
  # Fill what is left with 64 KiB files, in order, then delete every other one. mtools
  # allocates from the FSInfo next-free hint, which now points at the end of the volume, so
  # FRAG.BIN wraps round into the holes.
  local free count
  free=$(mt mdir -i "$image" ::/ | grep 'bytes free' | tr -cd '0-9')
  count=$(((free - MIB) / FILL_BYTES))
  log "FAT32: ${count} files of 64 KiB fill the volume; every other one is deleted"
  rm -rf "$staging/FILL" && mkdir "$staging/FILL"
  files_tool fill "$staging/FILL" $FILL_BYTES $SEED_FILL "$count" >/dev/null
  mt mmd -i "$image" ::/FILL
  (cd "$staging/FILL" && in_chunks ::/FILL/ mcopy -i "$image" -- F*.BIN)
  (cd "$staging/FILL" && in_chunks "" mdel -i "$image" -- $(printf '::/FILL/%s\n' F????[13579].BIN))
  rm -rf "$staging/FILL"
  mt mcopy -i "$image" "$staging/FRAG.BIN" ::/
  log "FAT32 layout (mshowfat): CONTIG.BIN $(fat_runs "$image" /CONTIG.BIN) run(s)," \
      "HUGE.BIN $(fat_runs "$image" /HUGE.BIN) run(s), FRAG.BIN $(fat_runs "$image" /FRAG.BIN) run(s)"
}

# The FAT32 image as examiners keep one: an EnCase image, compressed as ewfacquire's fast
# deflate does, in its default segment files of 1.4 GiB.
make_fat32_evidence() {
  log "FAT32: the EnCase image of it (ewfacquire)"
  rm -f "$work"/fat32.E0?
  ewfacquire -u -q -c deflate:fast -t "$work/fat32" "$work/fat32.img" >/dev/null
}

make_recover_fat32() {
  local image=$work/recover-fat32.img staging=$work/staging
  log "FAT32: the 20,000 small files of the recovery benchmark"
  rm -f "$image"
  mkfs.fat -F 32 -S 512 -s $((CLUSTER / 512)) -n RECOVER -C "$image" $((RECOVER_IMAGE_MIB * 1024)) >/dev/null
  mt mcopy -s -i "$image" "$staging"/RECOVER/D* ::/
}

exfat_possible() {
  local why=""
  if [ "$(id -u)" -ne 0 ]; then why="it needs root (losetup and mount)"
  elif ! command -v mount.exfat-fuse >/dev/null; then why="exfat-fuse is not installed"
  elif [ ! -e /dev/fuse ]; then why="there is no /dev/fuse"
  elif ! losetup -f >/dev/null 2>&1; then why="no loop device is free"
  fi
  [[ -z $why ]] && return 0
  echo "bench.sh: the exFAT image cannot be made here: $why. The exFAT benchmarks are left out." >&2
  return 1
}

# mount_new_exfat IMAGE MIB LABEL: makes IMAGE an empty exFAT volume of MIB MiB and mounts it
# on $mnt with exfat-fuse; unmount_exfat writes it out and lets go of it.
mount_new_exfat() {
  rm -f "$1"
  truncate -s "$2"M "$1"
  mnt=$work/mnt
  loop=$(losetup -f --show "$1")
  mkdir -p "$mnt"
  mkfs.exfat -c $CLUSTER -L "$3" "$loop" >/dev/null
  mount.exfat-fuse "$loop" "$mnt"
}

unmount_exfat() {
  sync
  umount "$mnt"
  losetup -d "$loop"
  loop=""
}

make_exfat() {
  local image=$work/exfat.img staging=$work/staging
  log "exFAT: mkfs.exfat, then exfat-fuse: CONTIG.BIN, HUGE.BIN, MANY/ (${ENTRIES} entries)"
  mount_new_exfat "$image" $IMAGE_MIB BENCHEX
  cp "$staging/CONTIG.BIN" "$staging/HUGE.BIN" "$mnt/"
  mkdir "$mnt/MANY"
  local name
  for name in "$staging"/MANY/*; do : >"$mnt/MANY/${name##*/}"; done
  mkdir "$mnt/FILL"
  local count
  count=$(files_tool fill "$mnt/FILL" $FILL_BYTES $SEED_FILL 2>/dev/null)
  log "exFAT: ${count} files of 64 KiB fill the volume; every other one is deleted"
  rm -f "$mnt"/FILL/F????[13579].BIN
  cp "$staging/FRAG.BIN" "$mnt/"
  unmount_exfat
  log "exFAT layout (Sleuth Kit istat): $(exfat_layout "$image")"
}

make_recover_exfat() {
  local image=$work/recover-exfat.img staging=$work/staging
  log "exFAT: the 20,000 small files of the recovery benchmark"
  mount_new_exfat "$image" $RECOVER_IMAGE_MIB RECOVER
  cp -r "$staging"/RECOVER/D* "$mnt/"
  unmount_exfat
}

# The search for lost volumes: a 64 GiB sparse disk image with a FAT16, a FAT32 and an exFAT
# partition far apart (sfdisk, mkfs.fat and mtools, mkfs.exfat and exfat-fuse), then its
# sector 0 zeroed, so that no table leads to them.
readonly LOST_DISK_GIB=64
make_lost_volumes() {
  local image=$work/lost-volumes.img staging=$work/staging
  log "Lost volumes: a ${LOST_DISK_GIB} GiB sparse disk, FAT16 at 1 MiB, FAT32 at 20 GiB, exFAT at 48 GiB, sector 0 zeroed"
  rm -f "$image"
  truncate -s ${LOST_DISK_GIB}G "$image"
  sfdisk -q "$image" <<'TABLE' >/dev/null
label: dos
start=2048, size=1G, type=6
start=20G, size=4G, type=c
start=48G, size=4G, type=7
TABLE
  # mkfs.fat warns that the volume is smaller than the disk; that is meant.
  local starts=() sizes=()
  read -r -a starts <<<"$(sfdisk -d "$image" | sed -n 's/.*start= *\([0-9]*\).*/\1/p' | tr '\n' ' ')"
  read -r -a sizes <<<"$(sfdisk -d "$image" | sed -n 's/.*size= *\([0-9]*\).*/\1/p' | tr '\n' ' ')"
  mkfs.fat -F 16 -S 512 -s 32 -n LOST16 --offset "${starts[0]}" "$image" $((sizes[0] / 2)) >/dev/null 2>"$work/mkfs.log" ||
    { cat "$work/mkfs.log" >&2; return 1; }
  mkfs.fat -F 32 -S 512 -s 8 -n LOST32 --offset "${starts[1]}" "$image" $((sizes[1] / 2)) >/dev/null 2>"$work/mkfs.log" ||
    { cat "$work/mkfs.log" >&2; return 1; }
  rm -rf "$staging/LOST" && mkdir -p "$staging/LOST"
  files_tool pattern "$staging/LOST/A.BIN" $((8 * MIB)) 11
  files_tool pattern "$staging/LOST/B.BIN" $((3 * MIB + 5)) 12
  mt mcopy -i "$image@@$((starts[0] * 512))" "$staging/LOST/A.BIN" ::/
  mt mcopy -i "$image@@$((starts[1] * 512))" "$staging/LOST/A.BIN" "$staging/LOST/B.BIN" ::/
  mnt=$work/mnt
  mkdir -p "$mnt"
  loop=$(losetup -f --show -o $((starts[2] * 512)) --sizelimit $((sizes[2] * 512)) "$image")
  mkfs.exfat -c $CLUSTER -L LOSTEX "$loop" >/dev/null
  mount.exfat-fuse "$loop" "$mnt"
  cp "$staging/LOST/A.BIN" "$staging/LOST/B.BIN" "$mnt/"
  unmount_exfat
  rm -rf "$staging/LOST"
  dd if=/dev/zero of="$image" bs=512 count=1 conv=notrunc status=none
}

# The file system the saves and recoveries are written to: ext4 on a loop device as root, made
# afresh every run, or else a folder in the work folder.
make_output() {
  output=$work/out
  mkdir -p "$output"
  if [ "$(id -u)" -ne 0 ]; then
    echo "bench.sh: not root, so saves and recoveries go to $output on the file system of $work" >&2
    return
  fi
  truncate -s ${OUTPUT_GIB}G "$work/out.img"
  mkfs.ext4 -q -F -i 8192 "$work/out.img"
  mount -o loop "$work/out.img" "$output"
  log "Saves and recoveries go to a new ext4 file system on $output"
}

# How many runs of clusters each file lies in, from istat's list of sectors.
exfat_layout() {
  local image=$1 name inode
  for name in CONTIG.BIN HUGE.BIN FRAG.BIN; do
    inode=$(fls "$image" | sed -n "s/^r\/r \([0-9]*\):\t$name\$/\1/p")
    printf '%s %s run(s); ' "$name" "$(istat "$image" "$inode" | awk '
      /^Sectors:/ { on = 1; next }
      on { for (i = 1; i <= NF; i++) { if ($i != last + 1) runs++; last = $i } }
      END { print runs + 0 }')"
  done
}

# The loop device and mount point of an exFAT image while it is being made, and the output
# file system.
mnt=""
loop=""
output=""
cleanup() {
  if [[ -n $mnt ]] && mountpoint -q "$mnt"; then umount "$mnt" || true; fi
  if [[ -n $loop ]]; then losetup -d "$loop" || true; fi
  if [[ -n $output ]] && mountpoint -q "$output"; then umount "$output" || true; fi
  rm -rf "$work/staging" "$work/mnt" "$work/out" "$work/out.img"
  if ((!keep)); then
    rm -f "$work"/{,recover-}{fat32,exfat}.img "$work"/fat32.E0? "$work"/layout-*
    rmdir "$work" 2>/dev/null || true
  fi
}

main() {
  trap cleanup EXIT
  install_missing
  build
  mkdir -p "$work"
  local stamp="$work/layout-$LAYOUT_VERSION"
  local images=("$work/fat32.img" "$work/recover-fat32.img" "$work/fat32.E01")
  local want_exfat=0
  exfat_possible && want_exfat=1 && images+=("$work/exfat.img" "$work/recover-exfat.img")
  local have=1 image
  for image in "${images[@]}"; do [[ -f $image ]] || have=0; done
  # The 64 GiB sparse disk is not among the images read into the page cache beforehand: its
  # holes cost dd a minute, and the search passes over them.
  if ((want_exfat)) && [[ ! -f $work/lost-volumes.img ]]; then have=0; fi
  if ((remake || !have)) || [[ ! -f $stamp ]]; then
    log "Disk space under $work:"
    df -h "$work" >&2
    local avail
    avail=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
    if ((avail < 15 * 1024 * 1024)); then
      echo "bench.sh: making the images and running needs about 15 GiB free under $work" >&2
      exit 1
    fi
    rm -f "$work"/layout-* "$work"/{,recover-}{fat32,exfat}.img "$work"/fat32.E0? "$work/lost-volumes.img"
    log "Writing the content files"
    make_staging "$work/staging"
    make_fat32
    make_fat32_evidence
    make_recover_fat32
    if ((want_exfat)); then
      make_exfat
      make_recover_exfat
      make_lost_volumes
    fi
    : >"$stamp"
  else
    log "Using the images kept in $work (--remake makes them again)"
  fi

  make_output
  log "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
  ps -eo pcpu=,comm= --sort=-pcpu | head -5 | sed 's/^/   busy: /' >&2
  # The figures are of images held in the page cache: read each once, and say how much of
  # each is there.
  cat "${images[@]}" "$work"/fat32.E0? >/dev/null
  fincore "${images[@]}" >&2 || true
  build/bench/bench/brindle_bench --images="$work" --output="$output" --benchmark_repetitions="$repetitions" \
    --benchmark_counters_tabular=true "${extra[@]}"
  # The window's search field on MANY/ and its save of the recovery image's 20,000 files beside
  # brindle-cli recover of the same, in one run, offscreen.
  log "The window: the search on MANY/, and saving 20,000 selected files beside brindle-cli recover"
  QT_QPA_PLATFORM=offscreen build/bench/bench/brindle-search-bench "$work/fat32.img" "$work/recover-fat32.img" \
    "$output" || true
  # The lost-and-found scan beside PhotoRec, in one run, on the FAT32 image quick-formatted
  # (mkfs.fat again over it): the old tree and files lie in free clusters.
  log "Lost and found: the FAT32 image quick-formatted, Brindle's scan and PhotoRec"
  cp --sparse=always "$work/fat32.img" "$work/formatted.img"
  mkfs.fat -F 32 -S 512 -s $((CLUSTER / 512)) "$work/formatted.img" >/dev/null
  build/bench/bench/brindle-lost-bench "$work/formatted.img" || true
  rm -f "$work/formatted.img"
  # Formatted cards of about a hundred real files: a 4 GiB FAT32 one and, as root, a 512 MiB
  # exFAT one; Brindle, PhotoRec and tsk_recover on each, the files back byte-exact and named.
  log "Lost and found: formatted cards of real files, Brindle, PhotoRec and tsk_recover"
  local only=()
  ((want_exfat)) || only=(--only fat32)
  python3 scripts/lost-cards.py --cli build/bench/cli/brindle-cli --work "$work/lost-cards" "${only[@]}" || true
  # The search for lost volumes beside TestDisk and dd, in one run, on the 64 GiB sparse disk
  # whose table was zeroed.
  if ((want_exfat)); then
    log "Lost volumes: Brindle's searches beside TestDisk's quick search and dd"
    build/bench/bench/brindle-volume-bench "$work/lost-volumes.img" 3 || true
  fi
  # The gallery of a card of 1,000 camera pictures, on a card of its own.
  log "Gallery: 1,000 camera pictures"
  scripts/bench-gallery.sh --work "$work/gallery" build/bench || true
}

main
