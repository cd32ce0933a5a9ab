#!/usr/bin/env bash
# Takes screenshots of the main window under Xvfb, for looking at it without a display:
#
#   scripts/app-screenshots.sh [OUTDIR]     (default: build/shots)
#
#   app-page1-drives.png    the drive list, on a made-up machine with a hard disk and two
#                           partitions, an empty optical drive, a floppy and a USB stick
#   app-page1-machine.png   the drive list of the machine the script runs on
#   app-page1-advanced.png  the "高级" page with the sample image typed in
#   app-page2-picture.png   the sample image open, a picture in the preview
#   app-page2-text.png      the sample image open, a deleted text file's properties
#   app-page2-hashes.png    an EnCase image of the sample open, a picture's hashes computed
#                           with the tree menu's command
#   app-about.png           the about box, opened with F1
#   app-brindle-sample.png  the program itself started as `brindle sample.img`
#
# Needs xvfb, imagemagick, ewf-tools and a CJK font (scripts/install-deps.sh test installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/shots}")
mkdir -p "$out"

scripts/install-deps.sh test
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j 2 --target brindle brindle-app-demo brindle_sample_image >/dev/null
sample=$(realpath build/release/sample.img)

# The made-up machine: sysfs as the kernel lays it out, sizes in 512-byte units. Its devices
# are named in /dev as on a real machine; listing opens none of them.
machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
ewfacquire -u -q -t "$machine/sample" "$sample" >/dev/null
device() {  # device PATH-BELOW-devices SIZE [ATTRIBUTE=VALUE...]
  local dir="$machine/sys/devices/$1" name; name=$(basename "$1"); shift
  mkdir -p "$dir" "$machine/sys/class/block"
  echo "$1" >"$dir/size"; shift
  printf 'DEVNAME=%s\n' "$name" >"$dir/uevent"
  for attribute in "$@"; do echo "${attribute#*=}" >"$dir/${attribute%%=*}"; done
  ln -s "../../devices/${dir#"$machine/sys/devices/"}" "$machine/sys/class/block/$name"
}
device pci0000:00/ata1/block/sda 312581808 removable=0
device pci0000:00/ata1/block/sda/sda1 102400000 partition=1
device pci0000:00/ata1/block/sda/sda2 2097152 partition=2
device pci0000:00/ata2/block/sr0 0 removable=1
device platform/floppy.0/block/fd0 2880 removable=1
device pci0000:00/usb1/block/sdb 3145728 removable=1
device pci0000:00/usb1/block/sdb/sdb1 2097151 partition=1

demo=build/release/tests/brindle-app-demo
# Each shot runs its program until the screenshot is taken; no dialog is left waiting.
xvfb-run -a -s "-screen 0 1024x700x24" bash -c '
  out=$1; shift
  shot() {  # shot NAME PROGRAM ARGS...
    local name=$1; shift
    "$@" & local program=$!
    sleep 3
    import -window root "$out/$name"
    kill "$program"; wait "$program" 2>/dev/null || true
    echo "$out/$name"
  }
  demo=$1 sample=$2 machine=$3 brindle=$4
  drives=(--sysfs "$machine/sys" --dev /dev)
  shot app-page1-drives.png "$demo" "${drives[@]}"
  shot app-page1-machine.png "$demo"
  shot app-page1-advanced.png "$demo" "${drives[@]}" --advanced "$sample"
  shot app-page2-picture.png "$demo" "${drives[@]}" --open "$sample" \
    --select "1:/Pictures/Rose.jpg - ROSE.JPG" --page 1
  shot app-page2-text.png "$demo" "${drives[@]}" --open "$sample" \
    --select "1:/Documents/Shopping list - _HOPPI~1.TXT" --page 0
  shot app-page2-hashes.png "$demo" "${drives[@]}" --open "$machine/sample.E01" \
    --select "1:/Pictures/Rose.jpg - ROSE.JPG" --hash --page 0
  shot app-about.png "$demo" "${drives[@]}" --about
  shot app-brindle-sample.png "$brindle" "$sample"
' screenshots "$out" "$demo" "$sample" "$machine" build/release/app/brindle
