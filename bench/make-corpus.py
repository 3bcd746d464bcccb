#!/usr/bin/env python3
"""Builds one benchmark corpus for the duplicate check, the same bytes on every run.

    make-corpus.py NAME OUTDIR [--scale F] [--jobs N] [--force]

NAME is exact-a, exact-b, exact-c (random bytes named *.jpg / *.bmp, duplicate
groups and near-miss traps) or fuzzy-d, fuzzy-e (photographs cut from the
Debian wallpaper packages, with near-duplicates). The pictures go under
OUTDIR/files/, and OUTDIR/manifest.json says what the corpus holds: the
intended duplicate groups, the traps, the near-duplicate pairs. --scale
shrinks the file counts for quick trials.

Everything that varies is drawn from a generator seeded by the corpus name
and only its random() is used, the one sequence Python promises to keep
across versions; file contents come from SHAKE-256, so they never change.
The pictures are made by /usr/bin/convert (named in full: a convert earlier
in PATH may be a stand-in), cjpeg and djpeg.
"""

import argparse
import hashlib
import json
import math
import os
import random
import re
import shutil
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

CONVERT = "/usr/bin/convert"
SETUP_HINT = "scripts/setup.sh --bench"
# Files and folders get this time, so that a tool ranking copies by age sees
# the same corpus every time too.
FIXED_MTIME = 1_700_000_000

KIB = 1024
MIB = 1024 * 1024

# The shape of each corpus of random bytes at full size.
EXACT = {
    "exact-a": dict(files=20_000, low=1 * KIB, high=200 * KIB, grouped=1 / 3,
                    folders=100, depth=2, traps=0.30),
    "exact-b": dict(files=300, low=1 * MIB, high=20 * MIB, grouped=0.20,
                    folders=10, depth=1, traps=None),
    "exact-c": dict(files=200_000, low=256, high=16 * KIB, grouped=1 / 5,
                    folders=1_000, depth=3, traps=0.30),
}

# Photographic wallpapers; the largest picture of each Plasma wallpaper.
PLASMA = ["Autumn", "BytheWater", "ColorfulCups", "DarkestHour", "EveningGlow", "FallenLeaf",
          "Grey", "Kite", "OneStandsOut", "Path", "summer_1am"]
MATE = ["Aqua", "Blinds", "Dune", "FreshFlower", "Garden", "GreenMeadow", "LadyBird",
        "RainDrops", "Storm", "TwoWings", "Wood", "YellowFlower"]
SOURCES = ([f"/usr/share/wallpapers/{w}/contents/images/2560x1600.jpg" for w in PLASMA] +
           [f"/usr/share/backgrounds/mate/nature/{w}.jpg" for w in MATE])

# Width and height ratios for the mixed corpus, landscape and portrait.
ASPECTS = [(4, 3), (3, 2), (16, 9), (1, 1), (3, 4), (2, 3)]

FUZZY = {
    # bases are the plain photographs; each derivative adds one file.
    "fuzzy-d": dict(bases=174, lower=12, brighter=8, copies=6, fixed=None,
                    folders=["camera/2019", "camera/2020", "phone", "edited", "export"]),
    "fuzzy-e": dict(bases=628, lower=20, brighter=12, copies=0, fixed=(1200, 900),
                    folders=["DCIM/100CAMERA"]),
}


class Draw:
    """Choices made from random() alone, so that they stay the same across
    Python versions (randrange, choice and shuffle carry no such promise)."""

    def __init__(self, name):
        self._random = random.Random(int.from_bytes(hashlib.sha256(name.encode()).digest()[:8], "big"))

    def real(self, low, high):
        return low + (high - low) * self._random.random()

    def integer(self, low, high):
        """low..high, both included."""
        return min(high, low + int(self._random.random() * (high - low + 1)))

    def log_integer(self, low, high):
        """low..high, evenly spread over the logarithm: small files are common, big ones rare."""
        return max(low, min(high, round(math.exp(self.real(math.log(low), math.log(high))))))

    def chance(self, p):
        return self._random.random() < p

    def pick(self, items):
        return items[self.integer(0, len(items) - 1)]

    def shuffle(self, items):
        for i in range(len(items) - 1, 0, -1):
            j = self.integer(0, i)
            items[i], items[j] = items[j], items[i]
        return items

    def sample(self, items, k):
        """k different items: the first k steps of a shuffle."""
        items = list(items)
        for i in range(min(k, len(items))):
            j = self.integer(i, len(items) - 1)
            items[i], items[j] = items[j], items[i]
        return items[:k]


def scaled(count, scale, least):
    return max(least, round(count * scale))


def content(name, key, size):
    """The bytes of one distinct file: fixed by the corpus name and the key."""
    return hashlib.shake_256(f"{name}/{key}".encode()).digest(size)


def folder_tree(count, depth):
    """The first count leaf folders of an even tree of the given depth."""
    branch = max(2, math.ceil(count ** (1 / depth) - 1e-9))
    leaves = []

    def walk(prefix, level):
        for i in range(branch):
            path = f"{prefix}d{i:02d}" if not prefix else f"{prefix}/d{i:02d}"
            if level + 1 == depth:
                leaves.append(path)
                if len(leaves) == count:
                    return True
            elif walk(path, level + 1):
                return True
        return False

    walk("", 0)
    return leaves


def group_sizes(draw, members):
    """Sizes of 2 to 5 that add up to members (members of at least 2)."""
    sizes = []
    left = members
    while left >= 2:
        k = min(draw.integer(2, 5), left)
        if left - k == 1:
            k = k + 1 if k < 5 else k - 1
        sizes.append(k)
        left -= k
    return sizes


def plan_exact(name, scale):
    """What to write, one entry a file (its path, the key of its content, its
    size, the byte to flip or None), and the manifest's groups and traps."""
    shape = EXACT[name]
    draw = Draw(name)
    total = scaled(shape["files"], scale, 12)
    folders = folder_tree(scaled(shape["folders"], math.sqrt(scale), 4), shape["depth"])
    low, high = shape["low"], shape["high"]

    entries = []  # dicts: key, size, flip, role, group
    groups = []
    keys = 0
    for k in group_sizes(draw, round(total * shape["grouped"])):
        size = draw.log_integer(low, high)
        groups.append({"key": keys, "size": size, "members": []})
        for _ in range(k):
            entries.append({"key": keys, "size": size, "flip": None, "role": "copy",
                            "group": len(groups) - 1})
        keys += 1

    # Traps beside the groups: same size, other bytes; or one byte changed at
    # the first, middle or last place, so that a finder comparing only the
    # ends, the start or a sample of blocks gets them wrong.
    kinds = ["same-size", "flip-first", "flip-middle", "flip-last"]
    if shape["traps"] is None:
        # Few big files: one of the same size, and one that differs only in
        # its last byte, past whatever a finder hashes of the first blocks.
        chosen = [(i % len(groups), kind) for i, kind in enumerate(["same-size", "flip-last"])]
    else:
        chosen = []
        for g in range(len(groups)):
            if draw.chance(shape["traps"]):
                chosen.append((g, None))
        # At least one trap of every kind, even in a small trial corpus.
        while len(chosen) < len(kinds):
            chosen.append((len(chosen) % len(groups), None))
        chosen = [(g, kinds[i % len(kinds)]) for i, (g, _) in enumerate(chosen)]
    for g, kind in chosen:
        group = groups[g]
        if kind == "same-size":
            entries.append({"key": keys, "size": group["size"], "flip": None, "role": kind,
                            "group": g})
            keys += 1
        else:
            where = {"flip-first": 0, "flip-middle": group["size"] // 2,
                     "flip-last": group["size"] - 1}[kind]
            entries.append({"key": group["key"], "size": group["size"], "flip": where,
                            "role": kind, "group": g})

    while len(entries) < total:
        entries.append({"key": keys, "size": draw.log_integer(low, high), "flip": None,
                        "role": "unique", "group": None})
        keys += 1

    # Names come from the shuffled order, so that nothing in a name tells a
    # copy from a trap. Copies go into different folders; half the groups
    # keep one name across their folders, as a backup copy does.
    order = draw.shuffle(list(range(len(entries))))
    number = {index: n for n, index in enumerate(order)}
    for entry_index, entry in enumerate(entries):
        entry["name"] = f"img{number[entry_index]:06d}{'.jpg' if draw.chance(0.7) else '.bmp'}"
    copies = [[] for _ in groups]
    for e in entries:
        if e["role"] == "copy":
            copies[e["group"]].append(e)
    taken = set()
    for group, members in zip(groups, copies):
        places = draw.sample(folders, len(members)) if len(folders) >= len(members) else \
            [draw.pick(folders) for _ in members]
        same_name = draw.chance(0.5)
        for e, place in zip(members, places):
            if same_name:
                e["name"] = members[0]["name"]
            e["path"] = f"{place}/{e['name']}"
            if e["path"] in taken:  # too few folders for a shared name
                e["path"] = f"{place}/{e['name'][:-4]}-{len(taken)}{e['name'][-4:]}"
            taken.add(e["path"])
            group["members"].append(e["path"])
    for e in entries:
        if "path" not in e:
            e["path"] = f"{draw.pick(folders)}/{e['name']}"
            while e["path"] in taken:
                e["path"] = e["path"][:-4] + "x" + e["path"][-4:]
            taken.add(e["path"])

    manifest = {
        "groups": [sorted(g["members"]) for g in groups],
        "traps": [{"kind": e["role"], "path": e["path"],
                   "beside": sorted(groups[e["group"]]["members"])}
                  for e in entries if e["role"] not in ("copy", "unique")],
        "folders": len(folders),
    }
    return entries, manifest


def write_exact(name, scale, files):
    entries, manifest = plan_exact(name, scale)
    # Each distinct content is made once, in key order, and written to every
    # file that carries it.
    by_key = {}
    for e in entries:
        by_key.setdefault(e["key"], []).append(e)
    total = 0
    for key in sorted(by_key):
        batch = by_key[key]
        data = content(name, key, batch[0]["size"])
        for e in batch:
            path = os.path.join(files, e["path"])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if e["flip"] is None:
                blob = data
            else:
                changed = bytearray(data)
                changed[e["flip"]] ^= 0xFF
                blob = bytes(changed)
            with open(path, "wb") as f:
                f.write(blob)
            total += len(blob)
    manifest.update(files=len(entries), bytes=total)
    return manifest


# --- photographs -------------------------------------------------------------------------------

def picture_size(draw, fixed):
    if fixed:
        return fixed
    aw, ah = draw.pick(ASPECTS)
    if aw >= ah:
        width = draw.integer(480, 2000)
    else:  # portrait: keep the height within what the sources can give
        width = draw.integer(480, 1000)
    return width, max(1, round(width * ah / aw))


def crop_box(draw, source_size, size):
    """A crop of the picture's aspect, as large as the picture where the source allows,
    so that most pictures are scaled down as a camera's would be."""
    sw, sh = source_size
    width, height = size
    most = min(sw, sh * width / height)
    least = min(most, max(0.35 * most, width))
    cw = draw.real(least, most)
    ch = cw * height / width
    cw, ch = max(1, min(sw, round(cw))), max(1, min(sh, round(ch)))
    x = draw.integer(0, sw - cw)
    y = draw.integer(0, sh - ch)
    return cw, ch, x, y


def jpeg_size(path):
    """Width and height from a JPEG's start-of-frame marker."""
    with open(path, "rb") as f:
        data = f.read()
    i = 2
    while i + 9 < len(data):
        if data[i] != 0xFF:
            i += 1
            continue
        marker = data[i + 1]
        if marker in (0xD8, 0x01) or 0xD0 <= marker <= 0xD7 or marker == 0xFF:
            i += 1 if marker == 0xFF else 2
            continue
        length = int.from_bytes(data[i + 2:i + 4], "big")
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            return (int.from_bytes(data[i + 7:i + 9], "big"),
                    int.from_bytes(data[i + 5:i + 7], "big"))
        i += 2 + length
    raise ValueError(f"{path}: no frame header")


def plan_fuzzy(name, scale):
    """The photographs, the derivatives still without their originals, and
    the order in which photographs are offered as originals."""
    shape = FUZZY[name]
    draw = Draw(name)
    bases = scaled(shape["bases"], scale, 3)
    sizes = {s: jpeg_size(s) for s in SOURCES}

    photos = []
    for i in range(bases):
        source = SOURCES[i % len(SOURCES)] if i < len(SOURCES) else draw.pick(SOURCES)
        size = picture_size(draw, shape["fixed"])
        photos.append({"source": source, "size": size, "crop": crop_box(draw, sizes[source], size),
                       "quality": draw.integer(80, 95)})
    derived = []
    for kind, key in (("lower-quality", "lower"), ("brighter", "brighter"), ("copy", "copies")):
        for _ in range(scaled(shape[key], scale, 1) if shape[key] else 0):
            derived.append({"kind": kind, "drop": draw.integer(20, 30)})
    candidates = draw.shuffle(list(range(bases)))

    # Names: a camera's numbering over the shuffled whole, so a derivative
    # does not sit next to its original.
    numbers = iter(draw.shuffle(list(range(1, bases + len(derived) + 1))))
    for item in photos + derived:
        item["path"] = f"{draw.pick(shape['folders'])}/IMG_{next(numbers):04d}.jpg"
    return photos, derived, candidates


def run_pipe(first, second, output):
    """first | second > output, both checked."""
    with open(output, "wb") as out:
        producer = subprocess.Popen(first, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        consumer = subprocess.run(second, stdin=producer.stdout, stdout=out, stderr=subprocess.PIPE)
        producer.stdout.close()
        error = producer.stderr.read()
        if producer.wait() != 0:
            raise RuntimeError(f"{' '.join(first)}: {error.decode(errors='replace')}")
        if consumer.returncode != 0:
            raise RuntimeError(f"{' '.join(second)}: {consumer.stderr.decode(errors='replace')}")


def make_photo(files, photo):
    cw, ch, x, y = photo["crop"]
    width, height = photo["size"]
    run_pipe([CONVERT, photo["source"], "-crop", f"{cw}x{ch}+{x}+{y}", "+repage",
              "-resize", f"{width}x{height}!", "-strip", "ppm:-"],
             ["cjpeg", "-quality", str(photo["quality"])], os.path.join(files, photo["path"]))


def make_derived(files, item):
    base = os.path.join(files, item["a"])
    path = os.path.join(files, item["b"])
    if item["kind"] == "copy":
        shutil.copyfile(base, path)
    elif item["kind"] == "lower-quality":
        run_pipe(["djpeg", "-pnm", base], ["cjpeg", "-quality", str(item["quality"])], path)
    else:
        run_pipe([CONVERT, base, "-modulate", "105", "-strip", "ppm:-"],
                 ["cjpeg", "-quality", str(item["quality"])], path)


def corner_sum(path):
    """Red + green + blue of the decoded top-left pixel."""
    ppm = subprocess.run(["djpeg", "-pnm", path], check=True, capture_output=True).stdout
    header = re.match(rb"P6\s+\d+\s+\d+\s+255\s", ppm)
    if not header:
        raise RuntimeError(f"{path}: djpeg gave no colour PPM")
    return sum(ppm[header.end():header.end() + 3])


# The fuzzy check measures each pixel's brightness ratio against the ratio at
# the top-left pixel. Where that pixel is near black, a few levels of JPEG
# noise move the base ratio by hundreds of points and nothing else matches
# it, so a re-saved copy of such a photograph is not a near-duplicate by the
# check's own measure. Originals for the near-duplicates are photographs whose
# corner is lit.
LIT_CORNER = 90


def write_fuzzy(name, scale, files, jobs):
    for tool in (CONVERT, shutil.which("cjpeg"), shutil.which("djpeg")):
        if not tool or not os.access(tool, os.X_OK):
            sys.exit(f"make-corpus: ImageMagick's {CONVERT}, cjpeg and djpeg are needed;"
                     f" run {SETUP_HINT}")
    missing = [s for s in SOURCES if not os.path.isfile(s)]
    if missing:
        sys.exit(f"make-corpus: {len(missing)} wallpapers are missing (first {missing[0]});"
                 f" run {SETUP_HINT}")
    photos, derived, candidates = plan_fuzzy(name, scale)
    for item in photos + derived:
        os.makedirs(os.path.dirname(os.path.join(files, item["path"])), exist_ok=True)
    # Each convert on one core: the workers share the cores instead of
    # fighting over them.
    os.environ["MAGICK_THREAD_LIMIT"] = "1"
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        list(pool.map(lambda p: make_photo(files, p), photos))
        # Originals in the drawn order, the first lit ones, one derivative each.
        lit = (i for i in candidates if corner_sum(os.path.join(files, photos[i]["path"])) >= LIT_CORNER)
        pairs = []
        for item, index in zip(derived, lit):
            photo = photos[index]
            pair = {"kind": item["kind"], "a": photo["path"], "b": item["path"]}
            if item["kind"] == "lower-quality":
                pair["quality"] = max(50, photo["quality"] - item["drop"])
            elif item["kind"] == "brighter":
                pair["quality"] = photo["quality"]
            pairs.append(pair)
        if len(pairs) < len(derived):
            sys.exit(f"make-corpus: only {len(pairs)} photographs with a lit corner for"
                     f" {len(derived)} near-duplicates")
        list(pool.map(lambda p: make_derived(files, p), pairs))
    paths = [item["path"] for item in photos + derived]
    return {
        "pairs": pairs,
        "files": len(paths),
        "bytes": sum(os.path.getsize(os.path.join(files, p)) for p in paths),
        # Which wallpapers the pictures came from: another package version
        # makes another corpus.
        "sources": {s: file_sha256(s) for s in SOURCES},
    }


def file_sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def fix_times(top):
    """One time for every file and folder, the deepest first."""
    for root, dirs, names in os.walk(top, topdown=False):
        for n in names:
            os.utime(os.path.join(root, n), (FIXED_MTIME, FIXED_MTIME))
        os.utime(root, (FIXED_MTIME, FIXED_MTIME))


def write_manifest(outdir, manifest):
    with open(os.path.join(outdir, "manifest.json"), "w", encoding="utf-8") as f:
        json.dump(manifest, f, indent=1, sort_keys=True)
        f.write("\n")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("name", choices=sorted(EXACT) + sorted(FUZZY))
    parser.add_argument("outdir")
    parser.add_argument("--scale", type=float, default=1.0,
                        help="multiply the file counts (e.g. 0.02 for a trial)")
    parser.add_argument("--jobs", type=int, default=2, help="converts run at once (2)")
    parser.add_argument("--force", action="store_true",
                        help="replace a corpus made before in OUTDIR")
    args = parser.parse_args(argv)
    if not 0 < args.scale <= 1:
        parser.error("--scale takes a number above 0 and at most 1")

    outdir = os.path.abspath(args.outdir)
    files = os.path.join(outdir, "files")
    if os.path.isdir(outdir) and os.listdir(outdir):
        if not (args.force and os.path.isfile(os.path.join(outdir, "manifest.json"))):
            sys.exit(f"make-corpus: {outdir} is not empty (--force replaces a corpus made here)")
        shutil.rmtree(files, ignore_errors=True)
    os.makedirs(files, exist_ok=True)
    # A corpus cut short keeps "complete": false, which the bench refuses.
    head = {"corpus": args.name, "scale": args.scale, "complete": False}
    write_manifest(outdir, head)

    start = time.monotonic()
    if args.name in EXACT:
        body = write_exact(args.name, args.scale, files)
    else:
        body = write_fuzzy(args.name, args.scale, files, args.jobs)
    fix_times(files)
    elapsed = time.monotonic() - start
    write_manifest(outdir, {**head, **body, "complete": True})
    workers = f", {args.jobs} at once" if args.name in FUZZY else ""
    print(f"make-corpus: {args.name} (scale {args.scale:g}): {body['files']} files, "
          f"{body['bytes'] / MIB:.1f} MiB in {outdir}/files, {elapsed:.1f} s{workers}")


if __name__ == "__main__":
    main()
