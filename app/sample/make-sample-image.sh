#!/usr/bin/env bash
# Makes sample.img, a 1.44 MB FAT12 floppy image to try Brindle on: folders, pictures, text
# files, long names, and files and a folder that were deleted after they were written, so that
# their bytes are still there to be saved.
#
#   make-sample-image.sh OUT.img
#
# Needs mtools only. The files carry fixed times; the folders get the time of the build.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUT.img" >&2; exit 2; }
out=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 TZ=UTC

text() {  # text FILE LINE...: a text file with these lines
  local file=$1; shift
  printf '%s\n' "$@" >"$work/$file"
}
text readme.txt \
  "Welcome to Brindle's sample disk." \
  "" \
  "It is a FAT12 floppy image with folders, pictures and text files. Some files and one" \
  "folder were deleted after they were written: Brindle shows them with a red cross and" \
  "their first letter replaced by \"_\", and can still save them." \
  "" \
  "Pick an entry in the tree to see its properties, a preview and its bytes in hex; the" \
  "save button writes it to a folder of your choice. The image itself is never changed."
text notes.txt "Notes" "- the pictures are in /Pictures" "- the deleted holiday photo can still be saved"
text shopping.txt "Shopping list" "- bread" "- milk" "- a new floppy disk"
text letter.txt "Dear reader," "" "this letter is kept in Documents/Old." "" "Yours, Brindle"
text draft1.txt "First draft: written, then deleted with its folder."
text draft2.txt "Second draft: gone with the Drafts folder, still readable."
cp "$here/rose.jpg" "$here/sunset.png" "$here/wizard.gif" "$here/holiday.jpg" "$work/"
touch -d "2024-05-02 14:10:08" "$work"/*

img="$work/sample.img"
i=(-i "$img")
mformat "${i[@]}" -C -f 1440 -v SAMPLE -N 20240502 ::
mmd "${i[@]}" ::/Pictures ::/Documents ::/Documents/Old ::/Documents/Drafts
mcopy "${i[@]}" -m "$work/readme.txt" "::/Read me first.txt"
mcopy "${i[@]}" -m "$work/rose.jpg" "::/Pictures/Rose.jpg"
mcopy "${i[@]}" -m "$work/sunset.png" "::/Pictures/Sunset.png"
mcopy "${i[@]}" -m "$work/wizard.gif" "::/Pictures/Wizard.gif"
mcopy "${i[@]}" -m "$work/holiday.jpg" "::/Pictures/Holiday photo.jpg"
mcopy "${i[@]}" -m "$work/notes.txt" "::/Documents/Notes.txt"
mcopy "${i[@]}" -m "$work/shopping.txt" "::/Documents/Shopping list.txt"
mcopy "${i[@]}" -m "$work/letter.txt" "::/Documents/Old/Letter.txt"
mcopy "${i[@]}" -m "$work/draft1.txt" "::/Documents/Drafts/Draft 1.txt"
mcopy "${i[@]}" -m "$work/draft2.txt" "::/Documents/Drafts/Draft 2.txt"
# Deleted after the fact: nothing is written afterwards, so their clusters keep their bytes.
mdel "${i[@]}" "::/Pictures/Holiday photo.jpg" "::/Documents/Shopping list.txt"
mdeltree "${i[@]}" "::/Documents/Drafts"
mv "$img" "$out"
