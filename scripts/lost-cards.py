#!/usr/bin/env python3
"""Formatted cards, as a user brings them: a 4 GiB FAT32 card (32 KiB clusters) and a 512 MiB
exFAT card that held photos, videos, sounds and documents in camera-like folders, quick-formatted
(mkfs again over the same image) and given one or two new pictures. On each card it runs
`brindle-cli recover --lost`, PhotoRec and `tsk_recover -e`, one after the other, and prints for
each: the files given back byte-exact (a SHA-256 that one of the originals has), how many of
those under their own name, the wall time, Brindle's time over PhotoRec's and the peak memory
(GNU time's maximum resident set).

  scripts/lost-cards.py --cli build/release/cli/brindle-cli [--work DIR] [--remake]

The files are made once with ImageMagick, ffmpeg, zip and ghostscript, beside the real photos,
videos and documents of Debian's forensics-samples-files where that is installed, and kept in
WORK/originals; the cards are made again on every run. exFAT needs root (losetup and
mount.exfat-fuse).
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

SAMPLES = "/usr/share/forensics-samples/original-files"
# The kinds of the samples package that people keep and the scan knows; its PPM, XCF and shell
# files are left out.
SAMPLE_SUFFIXES = (".jpg", ".png", ".mp3", ".ogg", ".wav", ".mp4", ".avi", ".mpeg", ".pdf", ".docx", ".odt")
PHOTOREC_OPTIONS = "partition_none,options,keep_corrupted_file_no,fileopt,everything,enable,wholespace,search"


def run(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def log(text):
    print("lost-cards: " + text, file=sys.stderr, flush=True)


# ---------------------------------------------------------------- the originals

def make_originals(root):
    """About a hundred files in the folders a camera, a phone and a computer make."""
    dirs = {d: os.path.join(root, d) for d in ("DCIM/100CANON", "DCIM/101CANON", "Pictures", "Movies", "Music",
                                               "Documents", "Samples")}
    for d in dirs.values():
        os.makedirs(d, exist_ok=True)
    im = ["convert"]
    # Three plasma fields, each the base of several photos: turned, recoloured and cropped, so
    # that every photo is its own bytes and of a camera's size (0.5 to 3 MB).
    bases = []
    for i in range(3):
        base = os.path.join(root, f"base{i}.miff")
        run(im + ["-seed", str(11 + i), "-size", "1600x1200", "plasma:fractal", "-blur", "0x1", base])
        bases.append(base)
    n = 0
    for i in range(36):
        base = bases[i % 3]
        folder = dirs["DCIM/100CANON"] if i < 24 else dirs["DCIM/101CANON"]
        out = os.path.join(folder, f"IMG_{1001 + i:04d}.JPG")
        quality = 80 + i % 18
        run(im + [base, "-rotate", str(i * 7), "-modulate", f"100,{90 + i % 20},{80 + i * 5 % 40}",
                  "-resize", f"{2400 + i * 40}x", "-quality", str(quality),
                  "-set", "exif:DateTimeOriginal", f"2026:06:{1 + i % 28:02d} 10:{i:02d}:00", out])
        n += 1
    for i, (ext, extra) in enumerate([("png", []), ("png", []), ("png", []), ("png", []), ("gif", ["-colors", "64"]),
                                       ("gif", ["-colors", "128"]), ("bmp", []), ("bmp", []), ("tif", []),
                                       ("tif", ["-compress", "lzw"]), ("webp", [])]):
        out = os.path.join(dirs["Pictures"], f"picture {i + 1:02d}.{ext}")
        run(im + [bases[i % 3], "-crop", f"{400 + i * 60}x{300 + i * 40}+{i * 30}+{i * 20}", *extra, out])
        n += 1
    ff = ["ffmpeg", "-y", "-loglevel", "error"]
    videos = [("clip01.mp4", ["-c:v", "libx264", "-preset", "ultrafast"]),
              ("clip02.mp4", ["-c:v", "libx264", "-preset", "veryfast"]),
              ("clip03.mp4", ["-c:v", "libx264", "-preset", "ultrafast", "-movflags", "+faststart"]),
              ("clip04.mov", ["-c:v", "libx264", "-preset", "ultrafast"]),
              ("clip05.mov", ["-c:v", "mjpeg", "-q:v", "5"]),
              ("clip06.3gp", ["-c:v", "mpeg4", "-s", "352x288"]),
              ("clip07.avi", ["-c:v", "mpeg4", "-q:v", "4"]),
              ("clip08.avi", ["-c:v", "mjpeg", "-q:v", "6"]),
              ("clip09.mkv", ["-c:v", "libx264", "-preset", "ultrafast"]),
              ("clip10.webm", ["-c:v", "libvpx", "-deadline", "realtime", "-b:v", "1M"]),
              ("clip11.mpg", ["-c:v", "mpeg2video", "-q:v", "4"]),
              ("clip12.mpg", ["-c:v", "mpeg2video", "-q:v", "6"])]
    for i, (name, codec) in enumerate(videos):
        audio = ["-c:a", "libvorbis"] if name.endswith(".webm") else ["-c:a", "mp2"] if name.endswith(".mpg") else \
            ["-c:a", "aac"] if name.endswith((".mp4", ".mov", ".3gp", ".mkv")) else ["-c:a", "pcm_s16le"]
        run(ff + ["-f", "lavfi", "-i", f"testsrc2=size=640x360:rate=25:duration={3 + i % 4}",
                  "-f", "lavfi", "-i", f"sine=frequency={300 + 40 * i}:duration={3 + i % 4}",
                  *codec, *audio, "-shortest", os.path.join(dirs["Movies"], name)])
        n += 1
    sounds = [("song01.mp3", ["-c:a", "libmp3lame", "-b:a", "192k"]), ("song02.mp3", ["-c:a", "libmp3lame", "-q:a", "4"]),
              ("song03.mp3", ["-c:a", "libmp3lame", "-b:a", "128k"]), ("song04.flac", ["-c:a", "flac"]),
              ("song05.flac", ["-c:a", "flac", "-compression_level", "8"]), ("song06.ogg", ["-c:a", "libvorbis"]),
              ("song07.ogg", ["-c:a", "libvorbis", "-q:a", "6"]), ("memo08.wav", ["-c:a", "pcm_s16le"]),
              ("memo09.wav", ["-c:a", "pcm_u8", "-ar", "22050"]), ("memo10.wav", ["-c:a", "pcm_s16le", "-ac", "1"])]
    for i, (name, codec) in enumerate(sounds):
        run(ff + ["-f", "lavfi", "-i", f"aevalsrc=sin({200 + 50 * i}*2*PI*t)*0.4+random(0)*0.05:s=44100:d={8 + i * 3}",
                  "-ac", "2", *codec, os.path.join(dirs["Music"], name)])
        n += 1
    docs = dirs["Documents"]
    for i in range(3):
        ps = os.path.join(root, f"doc{i}.ps")
        with open(ps, "w") as f:
            f.write("%!PS\n/Helvetica findfont 14 scalefont setfont\n")
            for page in range(2 + i):
                for line in range(40):
                    f.write(f"72 {740 - line * 16} moveto (Report {i} page {page} line {line}: lost and found) show\n")
                f.write("showpage\n")
        run(["ps2pdf", ps, os.path.join(docs, f"report{i + 1}.pdf")])
        os.remove(ps)
        n += 1
    for i in range(3):
        archive = os.path.join(docs, f"backup{i + 1}.zip")
        members = sorted(os.listdir(dirs["Music"]))[i * 2:i * 2 + 2] + [f"report{i + 1}.pdf"]
        paths = [os.path.join(dirs["Music"], m) if not m.endswith(".pdf") else os.path.join(docs, m) for m in members]
        run(["zip", "-j", "-q", archive] + paths)
        n += 1
    if os.path.isdir(SAMPLES):
        seen = set()
        for folder in sorted(os.listdir(SAMPLES)):
            for name in sorted(os.listdir(os.path.join(SAMPLES, folder))):
                path = os.path.join(SAMPLES, folder, name)
                digest = sha256(path)
                if not name.lower().endswith(SAMPLE_SUFFIXES) or os.path.getsize(path) == 0 or digest in seen:
                    continue
                seen.add(digest)
                shutil.copy(path, os.path.join(dirs["Samples"], f"{folder}-{name}"))
                n += 1
    for base in bases:
        os.remove(base)
    return n


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            h.update(chunk)
    return h.hexdigest()


def hashes_under(root):
    """SHA-256 to the file names under root that have it."""
    out = {}
    for folder, _, names in os.walk(root):
        for name in names:
            out.setdefault(sha256(os.path.join(folder, name)), set()).add(name.lower())
    return out


# ---------------------------------------------------------------- the cards

def new_picture(path, seed):
    run(["convert", "-seed", str(seed), "-size", "1200x900", "plasma:", "-quality", "88", path])


def make_fat32(image, originals, work):
    mt = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8")
    if os.path.exists(image):
        os.remove(image)
    mkfs = ["mkfs.fat", "-F", "32", "-S", "512", "-s", "64", "-n", "CARD"]
    run(mkfs + ["-C", image, str(4 * 1024 * 1024)])
    for entry in sorted(os.listdir(originals)):
        run(["mcopy", "-s", "-i", image, os.path.join(originals, entry), "::/"], env=mt)
    run(mkfs + [image])  # the quick format: a new FAT and root over the old data
    for i in range(2):
        picture = os.path.join(work, f"NEW{i + 1}.JPG")
        new_picture(picture, 900 + i)
        if i == 0:
            run(["mmd", "-i", image, "::/DCIM"], env=mt)
        run(["mcopy", "-i", image, picture, "::/DCIM/"], env=mt)
        os.remove(picture)


def make_exfat(image, originals, work):
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(512 * 1024 * 1024)
    run(["mkfs.exfat", "-L", "CARD", image])
    mount = tempfile.mkdtemp(dir=work)

    def mounted(action):
        loop = subprocess.run(["losetup", "--find", "--show", image], check=True, capture_output=True,
                              text=True).stdout.strip()
        try:
            run(["mount.exfat-fuse", loop, mount])
            try:
                action()
            finally:
                run(["umount", mount])
        finally:
            run(["losetup", "-d", loop])

    def fill():
        for entry in sorted(os.listdir(originals)):
            source = os.path.join(originals, entry)
            subprocess.run(["cp", "-r", source, mount], check=True)

    mounted(fill)
    run(["mkfs.exfat", "-L", "CARD", image])  # the quick format

    def one_new():
        os.makedirs(os.path.join(mount, "DCIM"))
        new_picture(os.path.join(mount, "DCIM", "NEW1.JPG"), 950)

    mounted(one_new)
    os.rmdir(mount)


# ---------------------------------------------------------------- the tools

def timed(cmd, out):
    """Wall time and peak resident set of cmd, under GNU time."""
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)
    report = out + ".time"
    start = time.monotonic()
    done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + cmd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, cwd=out)
    seconds = time.monotonic() - start
    with open(report) as f:
        peak_kib = int(f.read().split()[-1])
    os.remove(report)
    return seconds, peak_kib, done.returncode


def given_back(out, originals):
    """How many originals come back byte-exact under out, and how many of those with their name."""
    back = hashes_under(out)
    exact = named = 0
    for digest, names in originals.items():
        if digest in back:
            exact += 1
            named += bool(names & back[digest])
    return exact, named


def compare(label, image, cli, originals, count, work):
    out = os.path.join(work, "out")
    subprocess.run(["cat", image], stdout=subprocess.DEVNULL, check=True)  # into the page cache
    rows = []
    runs = [("brindle-cli recover --lost", [cli, "recover", "--lost", image, os.path.join(out, "brindle")],
             os.path.join(out, "brindle")),
            ("photorec (... search)", ["photorec", "/log", "/d", os.path.join(out, "photorec", "f"), "/cmd", image,
                                       PHOTOREC_OPTIONS], os.path.join(out, "photorec")),
            ("tsk_recover -e", ["tsk_recover", "-e", image, os.path.join(out, "tsk")], os.path.join(out, "tsk"))]
    for name, cmd, where in runs:
        seconds, peak, status = timed(cmd, where)
        exact, named = given_back(where, originals)
        rows.append((name, exact, named, seconds, peak, status))
        shutil.rmtree(where)
    print(f"\n{label}: {count} files before the quick format")
    print(f"| | byte-exact (of {count}) | with their names | time | peak |")
    print("|---|---|---|---|---|")
    for name, exact, named, seconds, peak, status in rows:
        flag = "" if status == 0 else f" (exit {status})"
        print(f"| {name}{flag} | {exact} | {named} | {seconds:.2f} s | {peak / 1024:.1f} MiB |")
    brindle, photorec = rows[0], rows[1]
    print(f"ratio Brindle/PhotoRec: {brindle[3] / photorec[3]:.2f} (aim: 0.50 or less); Brindle's peak "
          f"{'within' if brindle[4] <= 128 * 1024 else 'OVER'} 128 MiB; Brindle gives back "
          f"{'more' if brindle[1] > photorec[1] else 'NOT more'} files than PhotoRec", flush=True)
    return brindle[1] > photorec[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "brindle-lost-cards"))
    parser.add_argument("--remake", action="store_true", help="make the originals again")
    parser.add_argument("--only", choices=("fat32", "exfat"))
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    work = os.path.abspath(args.work)
    originals_dir = os.path.join(work, "originals")
    if args.remake and os.path.isdir(originals_dir):
        shutil.rmtree(originals_dir)
    if not os.path.isdir(originals_dir):
        log("making the originals")
        os.makedirs(work, exist_ok=True)
        made = tempfile.mkdtemp(dir=work)
        make_originals(made)
        os.rename(made, originals_dir)
    originals = hashes_under(originals_dir)
    count = len(originals)
    ok = True
    image = os.path.join(work, "card.img")
    if args.only != "exfat":
        log("the 4 GiB FAT32 card")
        make_fat32(image, originals_dir, work)
        ok &= compare("FAT32, 4 GiB, 32 KiB clusters", image, cli, originals, count, work)
    if args.only != "fat32":
        log("the 512 MiB exFAT card")
        make_exfat(image, originals_dir, work)
        ok &= compare("exFAT, 512 MiB", image, cli, originals, count, work)
    os.remove(image)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
