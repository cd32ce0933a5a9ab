#!/usr/bin/env python3
"""The mutation campaign: damages tool-made FAT12/16/32 and exFAT images in the ways a hostile
or dying medium does, and runs `brindle-cli recover --deleted` and `brindle-cli recover --lost`
(the lost-and-found scan of the data area) on each mutant under limits. Two of the base images
were quick-formatted after they were written, so that their old folders and files lie in free
clusters for the scan to find.

Each mutant gets one to three mutations, each of one kind:
  boot       flipped bytes in the boot sector (and, for exFAT, its extended sectors)
  fat        flipped bytes in the first allocation table
  dir        flipped bytes in directory entries (the root's and the subdirectories')
  loop       a chain entry pointed back at its own cluster, an earlier one or the root's
  crosslink  a chain entry, or an entry's first cluster, pointed into another chain
  size       a size field set to 0xFFFFFFFF (exFAT: both 64-bit lengths, too)
  kind       a file's entry turned into a directory's, or a directory's into a file's
  truncate   the image cut short at a random byte
  data       flipped bytes at the start of clusters of the data area (file headers, the slots
             of folders the tree no longer reaches)

A run fails when the sanitizers report anything, when it ends by a signal or with an exit code
the command line does not use, when it takes more than the time limit or more memory than the
memory limit (peak RSS, as GNU time reports it), when anything appears outside the output
folder, or when the image has changed (SHA-256). Failing mutants are kept for replay.
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

EXIT_CODES = {0, 2, 3, 4, 5, 6}
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:")


# ---------------------------------------------------------------- base images, made by tools

def run(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def pattern(n, seed):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(n))


def make_fat(path, width, size_kib, work):
    """mkfs.fat and mtools: folders, long names, a fragmented file, deleted files and a deleted
    folder, so that every road of the reader has something to walk."""
    if os.path.exists(path):
        os.remove(path)
    options = {12: ["-F", "12"], 16: ["-F", "16", "-s", "2"], 32: ["-F", "32", "-s", "1"]}[width]
    run(["mkfs.fat", *options, "-n", "MUTANT", "-C", path, str(size_kib)])
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_NO_VFAT="0")
    img = ["-i", path]
    staging = tempfile.mkdtemp(dir=work)

    def put(name, content, target):
        local = os.path.join(staging, name)
        with open(local, "wb") as f:
            f.write(content)
        run(["mcopy", *img, local, "::" + target], env=env)

    run(["mmd", *img, "::/DOCS", "::/DOCS/DEEP", "::/Long folder name", "::/GONE"], env=env)
    put("a.txt", b"hello\n" * 50, "/DOCS/A.TXT")
    put("frag1.bin", pattern(5000, 1), "/frag1.bin")
    put("filler.bin", pattern(3000, 2), "/filler.bin")
    put("frag2.bin", pattern(9000, 3), "/frag2.bin")
    run(["mdel", *img, "::/filler.bin"], env=env)
    put("grow.bin", pattern(12000, 4), "/Long folder name/a rather long file name.bin")
    put("deep.txt", b"deep\n" * 300, "/DOCS/DEEP/deep.txt")
    put("gone1.txt", b"gone one\n" * 100, "/GONE/one.txt")
    put("gone2.txt", pattern(2000, 5), "/GONE/two.bin")
    for i in range(24):
        put("m%d" % i, pattern(100 + 37 * i, 10 + i), "/DOCS/entry number %02d.dat" % i)
    put("del.txt", b"deleted file\n" * 40, "/deleted.txt")
    run(["mdel", *img, "::/deleted.txt"], env=env)
    run(["mdeltree", *img, "::/GONE"], env=env)
    shutil.rmtree(staging)


def make_formatted_fat(path, work):
    """The FAT16 image of make_fat with pictures, a sound and an archive made by tools in a
    folder, then quick-formatted (mkfs.fat again over it): the old tree and files lie in free
    clusters."""
    make_fat(path, 16, 8192, work)
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    staging = tempfile.mkdtemp(dir=work)
    files = []
    for name, cmd in (("photo.jpg", ["convert", "-size", "160x120", "plasma:red-blue", "-quality", "85"]),
                      ("picture.png", ["convert", "-size", "120x90", "gradient:green-yellow"]),
                      ("picture.gif", ["convert", "-size", "80x60", "pattern:checkerboard"])):
        run(cmd + [os.path.join(staging, name)])
        files.append(name)
    run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=0.3",
         os.path.join(staging, "sound.wav")])
    files.append("sound.wav")
    run(["zip", "-q", "-j", os.path.join(staging, "archive.zip"), os.path.join(staging, "photo.jpg"),
         os.path.join(staging, "sound.wav")])
    files.append("archive.zip")
    run(["mmd", "-i", path, "::/DCIM"], env=env)
    for name in files:
        run(["mcopy", "-i", path, os.path.join(staging, name), "::/DCIM/" + name.upper()], env=env)
    shutil.rmtree(staging)
    run(["mkfs.fat", "-F", "16", "-s", "2", path])


def base_images(work, repo):
    images = {}
    for width, size in ((12, 1440), (16, 8192), (32, 34 * 1024)):
        path = os.path.join(work, "base-fat%d.img" % width)
        make_fat(path, width, size, work)
        images["fat%d" % width] = path
    path = os.path.join(work, "base-fat16-formatted.img")
    make_formatted_fat(path, work)
    images["fat16-formatted"] = path
    # The exFAT images the project's own script makes with mkfs.exfat and exfat-fuse.
    for name in ("exfat-tree", "exfat-4k", "exfat-mbr"):
        src = os.path.join(repo, "tests", "images", name + ".img")
        dst = os.path.join(work, "base-%s.img" % name)
        shutil.copyfile(src, dst)
        images[name] = dst
    # The exFAT tree quick-formatted with mkfs.exfat.
    dst = os.path.join(work, "base-exfat-formatted.img")
    shutil.copyfile(os.path.join(repo, "tests", "images", "exfat-tree.img"), dst)
    run(["mkfs.exfat", dst])
    images["exfat-formatted"] = dst
    return images


# ---------------------------------------------------------------- layouts the mutations aim at

class Fat:
    def __init__(self, data, start=0):
        b = data[start:start + 512]
        self.start = start
        self.bps = struct.unpack_from("<H", b, 11)[0] or 512
        self.spc = b[13] or 1
        reserved = struct.unpack_from("<H", b, 14)[0]
        tables = b[16] or 1
        root_entries = struct.unpack_from("<H", b, 17)[0]
        spf16 = struct.unpack_from("<H", b, 22)[0]
        self.width = 32 if spf16 == 0 else (12 if b[54:59] == b"FAT12" else 16)
        spf = struct.unpack_from("<I", b, 36)[0] if self.width == 32 else spf16
        self.fat = start + reserved * self.bps
        self.fat_bytes = spf * self.bps
        self.root_region = self.fat + tables * self.fat_bytes
        root_bytes = root_entries * 32
        self.data = self.root_region + (0 if self.width == 32 else root_bytes)
        self.root_cluster = struct.unpack_from("<I", b, 44)[0] if self.width == 32 else 0
        self.clusters = max(0, (len(data) - self.data) // (self.bps * self.spc))

    def entry(self, data, c):
        if self.width == 12:
            o = self.fat + c + c // 2
            v = struct.unpack_from("<H", data, o)[0]
            return v >> 4 if c & 1 else v & 0xFFF
        if self.width == 16:
            return struct.unpack_from("<H", data, self.fat + 2 * c)[0]
        return struct.unpack_from("<I", data, self.fat + 4 * c)[0] & 0x0FFFFFFF

    def set_entry(self, data, c, value):
        if self.width == 12:
            o = self.fat + c + c // 2
            v = struct.unpack_from("<H", data, o)[0]
            v = (v & 0x000F) | (value & 0xFFF) << 4 if c & 1 else (v & 0xF000) | (value & 0xFFF)
            struct.pack_into("<H", data, o, v)
        elif self.width == 16:
            struct.pack_into("<H", data, self.fat + 2 * c, value & 0xFFFF)
        else:
            struct.pack_into("<I", data, self.fat + 4 * c, value & 0x0FFFFFFF)

    def used_clusters(self, data):
        limit = min(self.clusters + 2, self.fat_bytes * 8 // self.width)
        return [c for c in range(2, limit) if self.entry(data, c) != 0]

    def slots(self, data):
        """Offsets of the 32-byte slots that look like short-name entries of a file or folder."""
        found = []
        for o in range(self.root_region, len(data) - 31, 32):
            attr = data[o + 11]
            if attr in (0x10, 0x20, 0x30, 0x21, 0x22, 0x01) and (data[o] == 0xE5 or 0x20 < data[o] < 0x7F):
                if all(0x20 <= ch < 0x7F or ch == 0xE5 for ch in data[o + 1:o + 11]):
                    found.append(o)
        return found

    def cluster_field(self, data, slot, value):
        struct.pack_into("<H", data, slot + 26, value & 0xFFFF)
        if self.width == 32:
            struct.pack_into("<H", data, slot + 20, value >> 16 & 0xFFFF)


class Exfat:
    def __init__(self, data, start=0):
        b = data[start:start + 512]
        self.start = start
        self.bps = 1 << min(12, max(9, b[108]))
        self.spc = 1 << min(16, b[109])
        self.fat = start + struct.unpack_from("<I", b, 80)[0] * self.bps
        self.fat_bytes = struct.unpack_from("<I", b, 84)[0] * self.bps
        self.heap = start + struct.unpack_from("<I", b, 88)[0] * self.bps
        self.clusters = struct.unpack_from("<I", b, 92)[0]
        self.root_cluster = struct.unpack_from("<I", b, 96)[0]

    def used_clusters(self, data):
        count = min(self.clusters + 2, self.fat_bytes // 4, (len(data) - self.fat) // 4)
        return [c for c in range(2, count) if struct.unpack_from("<I", data, self.fat + 4 * c)[0] != 0]

    def set_entry(self, data, c, value):
        o = self.fat + 4 * c
        if o + 4 <= len(data):
            struct.pack_into("<I", data, o, value & 0xFFFFFFFF)

    def slots(self, data, kinds=(0x85, 0x05, 0xC0, 0x40, 0xC1, 0x41)):
        return [o for o in range(self.heap, len(data) - 31, 32) if data[o] in kinds]


def layout(data):
    """The volume of the image: at sector 0, or in the first MBR entry."""
    if data[82:87] == b"FAT32" or data[54:59] in (b"FAT12", b"FAT16"):
        return Fat(data)
    if data[3:11] == b"EXFAT   ":
        return Exfat(data)
    start = struct.unpack_from("<I", data, 446 + 8)[0] * 512
    if data[start + 3:start + 11] == b"EXFAT   ":
        return Exfat(data, start)
    return Fat(data, start)


# ---------------------------------------------------------------- mutations

def flip(data, rng, begin, end, count):
    end = min(end, len(data))
    if end <= begin:
        return
    for _ in range(count):
        o = rng.randrange(begin, end)
        data[o] = rng.choice((data[o] ^ (1 << rng.randrange(8)), rng.randrange(256), 0x00, 0xFF))


def m_boot(data, v, rng):
    end = v.start + (12 * 512 if isinstance(v, Exfat) else 512)
    flip(data, rng, v.start, end, rng.randint(1, 6))


def m_fat(data, v, rng):
    flip(data, rng, v.fat, v.fat + min(v.fat_bytes, 8192), rng.randint(1, 16))


def m_dir(data, v, rng):
    slots = v.slots(data)
    if not slots:
        return m_fat(data, v, rng)
    for _ in range(rng.randint(1, 4)):
        o = rng.choice(slots)
        flip(data, rng, o, o + 32, rng.randint(1, 6))


def m_loop(data, v, rng):
    used = v.used_clusters(data)
    if not used:
        return
    c = rng.choice(used)
    target = rng.choice([c, rng.choice([u for u in used if u <= c]), v.root_cluster or 2])
    v.set_entry(data, c, target)


def m_crosslink(data, v, rng):
    used = v.used_clusters(data)
    if len(used) < 2:
        return
    a, b = rng.sample(used, 2)
    if rng.random() < 0.5:
        v.set_entry(data, a, b)
        return
    slots = v.slots(data)
    if isinstance(v, Fat) and slots:
        v.cluster_field(data, rng.choice(slots), b)
    elif isinstance(v, Exfat):
        streams = v.slots(data, (0xC0, 0x40))
        if streams:
            struct.pack_into("<I", data, rng.choice(streams) + 20, b)


def m_size(data, v, rng):
    if isinstance(v, Fat):
        slots = v.slots(data)
        for o in rng.sample(slots, min(len(slots), rng.randint(1, 3))):
            struct.pack_into("<I", data, o + 28, 0xFFFFFFFF)
    else:
        streams = v.slots(data, (0xC0, 0x40))
        for o in rng.sample(streams, min(len(streams), rng.randint(1, 3))):
            value = rng.choice((0xFFFFFFFF, 0xFFFFFFFFFFFFFFFF))
            struct.pack_into("<Q", data, o + 24, value)
            if rng.random() < 0.5:
                struct.pack_into("<Q", data, o + 8, value)
            if rng.random() < 0.5:
                data[o + 1] &= ~0x02  # the FAT chain is followed, not a contiguous run


def m_kind(data, v, rng):
    if isinstance(v, Fat):
        slots = v.slots(data)
        if slots:
            o = rng.choice(slots)
            data[o + 11] ^= 0x30  # file <-> directory
    else:
        files = v.slots(data, (0x85, 0x05))
        if files:
            o = rng.choice(files)
            data[o + 4] ^= 0x10


def m_truncate(data, v, rng):
    cut = rng.randrange(512, len(data))
    if rng.random() < 0.5:
        cut -= cut % 512
    del data[cut:]


def m_data(data, v, rng):
    heap = v.data if isinstance(v, Fat) else v.heap
    cluster_bytes = v.bps * v.spc
    clusters = (len(data) - heap) // cluster_bytes if cluster_bytes else 0
    for _ in range(rng.randint(1, 8)):
        if clusters <= 0:
            return
        at = heap + rng.randrange(clusters) * cluster_bytes
        flip(data, rng, at, min(len(data), at + min(cluster_bytes, 512)), rng.randint(1, 6))


MUTATIONS = {"boot": m_boot, "fat": m_fat, "dir": m_dir, "loop": m_loop, "crosslink": m_crosslink,
             "size": m_size, "kind": m_kind, "truncate": m_truncate, "data": m_data}


def make_mutant(base, rng):
    data = bytearray(base)
    v = layout(data)
    kinds = rng.sample(sorted(MUTATIONS), rng.choice((1, 1, 2, 3)))
    if "truncate" in kinds:  # last, so the other mutations aim at the whole layout
        kinds.remove("truncate")
        kinds.append("truncate")
    for kind in kinds:
        MUTATIONS[kind](data, v, rng)
    return bytes(data), kinds


# ---------------------------------------------------------------- running one mutant

def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def listing(folder):
    return sorted(os.listdir(folder))


def run_mutant(cli, image, folder, time_limit, env, what="--deleted"):
    """Runs recover with what (--deleted or --lost) in folder (which must be empty); returns
    (seconds, peak RSS in KiB, exit code or -signal, stderr text, timed out)."""
    out = os.path.join(folder, "out")
    start = time.monotonic()
    with open(os.path.join(folder, "..", "stderr.txt"), "wb") as err:
        # GNU time reports the peak RSS of brindle-cli alone; wait4 on a child forked from this
        # process would count the pages it shared with it before exec.
        rss_file = os.path.join(folder, "..", "rss.txt")
        proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file,
                                 cli, "recover", what, image, out], cwd=folder, env=env,
                                stdout=subprocess.DEVNULL, stderr=err, stdin=subprocess.DEVNULL,
                                start_new_session=True)
        timed_out = False
        while True:
            pid, status = os.waitpid(proc.pid, os.WNOHANG)
            if pid != 0:
                break
            if time.monotonic() - start > time_limit:
                timed_out = True
                os.killpg(proc.pid, signal.SIGKILL)
                pid, status = os.waitpid(proc.pid, 0)
                break
            time.sleep(0.005)
    seconds = time.monotonic() - start
    proc.returncode = 0  # reaped by wait4 above
    code = os.waitstatus_to_exitcode(status)
    with open(os.path.join(folder, "..", "stderr.txt"), "rb") as f:
        text = f.read().decode("utf-8", "replace")
    rss = 0
    if not timed_out:
        with open(rss_file) as f:
            lines = [line for line in f.read().split("\n") if line.strip().isdigit()]
        rss = int(lines[-1]) if lines else 0
    return seconds, rss, code, text, timed_out


def problems_of(result, folder, image_hash, image, limits):
    seconds, rss, code, text, timed_out = result
    problems = []
    if timed_out:
        problems.append("over %d s" % limits.time)
    if rss > limits.memory * 1024:
        problems.append("peak RSS %d MiB" % (rss // 1024))
    if any(mark in text for mark in SANITIZER_MARKS):
        problems.append("sanitizer report")
    if not timed_out and code not in EXIT_CODES:
        problems.append("exit %d" % code)
    if listing(folder) not in ([], ["out"]):
        problems.append("wrote outside the output folder: %s" % listing(folder))
    for root, dirs, files in os.walk(os.path.join(folder, "out")):
        for name in dirs + files:
            path = os.path.join(root, name)
            if os.path.islink(path) or not (os.path.isdir(path) or os.path.isfile(path)):
                problems.append("not a plain file or folder: %s" % path)
    if sha256(image) != image_hash:
        problems.append("the image changed")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", required=True, help="brindle-cli, built with the sanitizers")
    parser.add_argument("--repo", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    parser.add_argument("--mutants", type=int, default=3000)
    parser.add_argument("--seed", type=int, default=14)
    parser.add_argument("--time", type=int, default=20, help="seconds a run may take")
    parser.add_argument("--memory", type=int, default=512, help="MiB of peak RSS a run may take")
    parser.add_argument("--keep", default="mutate-findings", help="folder for failing mutants")
    parser.add_argument("--summary", default=None, help="write the figures as JSON here")
    parser.add_argument("--commands", default="deleted,lost",
                        help="which recover runs each mutant gets: deleted, lost or both (comma-separated)")
    parser.add_argument("--replay", type=int, default=None, help="only write mutant number N to the keep folder")
    limits = parser.parse_args()
    # Each mutant runs in a folder of its own, so a relative path to brindle-cli would not be found.
    limits.cli = os.path.abspath(limits.cli)

    work = tempfile.mkdtemp(prefix="brindle-mutate-")
    try:
        bases = base_images(work, limits.repo)
        base_bytes = {name: open(path, "rb").read() for name, path in bases.items()}
        rng = random.Random(limits.seed)
        env = dict(os.environ,
                   ASAN_OPTIONS="detect_leaks=1:hard_rss_limit_mb=%d:abort_on_error=0" % (2 * limits.memory),
                   UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
        figures = {"mutants": 0, "by_base": {}, "by_kind": {}, "exit_codes": {}, "failures": 0,
                   "longest_s": 0.0, "longest": "", "peak_rss_mib": 0.0, "peak": "", "total_s": 0.0}
        os.makedirs(limits.keep, exist_ok=True)
        names = sorted(base_bytes)
        for i in range(limits.mutants):
            base = names[i % len(names)]
            data, kinds = make_mutant(base_bytes[base], rng)
            label = "%05d-%s-%s" % (i, base, "+".join(kinds))
            if limits.replay is not None:
                if i == limits.replay:
                    with open(os.path.join(limits.keep, label + ".img"), "wb") as f:
                        f.write(data)
                    print(os.path.join(limits.keep, label + ".img"))
                    return 0
                continue
            image = os.path.join(work, "mutant.img")
            with open(image, "wb") as f:
                f.write(data)
            image_hash = hashlib.sha256(data).hexdigest()
            folder = os.path.join(work, "run")
            problems = []
            seconds = rss = 0
            codes = []
            texts = []
            for what in limits.commands.split(","):
                os.makedirs(folder)
                result = run_mutant(limits.cli, image, folder, limits.time, env, "--" + what)
                problems += ["recover --%s: %s" % (what, p) for p in problems_of(result, folder, image_hash, image,
                                                                                  limits)]
                seconds = max(seconds, result[0])
                rss = max(rss, result[1])
                codes.append(str(result[2]))
                texts.append(result[3])
                shutil.rmtree(folder)
            code = "/".join(codes)
            result = (seconds, rss, code, "\n".join(texts))
            figures["mutants"] += 1
            figures["by_base"][base] = figures["by_base"].get(base, 0) + 1
            for kind in kinds:
                figures["by_kind"][kind] = figures["by_kind"].get(kind, 0) + 1
            figures["exit_codes"][code] = figures["exit_codes"].get(code, 0) + 1
            figures["total_s"] += seconds
            if seconds > figures["longest_s"]:
                figures["longest_s"], figures["longest"] = seconds, label
            if rss / 1024 > figures["peak_rss_mib"]:
                figures["peak_rss_mib"], figures["peak"] = rss / 1024, label
            if problems:
                figures["failures"] += 1
                kept = os.path.join(limits.keep, label + ".img")
                with open(kept, "wb") as f:
                    f.write(data)
                with open(kept + ".txt", "w") as f:
                    f.write("\n".join(problems) + "\n\n" + result[3][-20000:])
                print("FAIL %s: %s" % (label, "; ".join(problems)), flush=True)
            if (i + 1) % 100 == 0:
                print("%d mutants, %d failures, longest %.1f s, peak %.0f MiB" %
                      (i + 1, figures["failures"], figures["longest_s"], figures["peak_rss_mib"]), flush=True)
        figures["longest_s"] = round(figures["longest_s"], 2)
        figures["peak_rss_mib"] = round(figures["peak_rss_mib"], 1)
        figures["total_s"] = round(figures["total_s"], 1)
        print(json.dumps(figures, indent=2))
        if limits.summary:
            with open(limits.summary, "w") as f:
                json.dump(figures, f, indent=2)
        return 1 if figures["failures"] else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
