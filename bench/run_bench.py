#!/usr/bin/env python3
"""Times orvelle-cli's check beside the established finders on one corpus and prints one table.

    run-bench.sh CORPUS_DIR --mode exact|fuzzy-size|fuzzy-ignore [--runs 5] [--quick]
                 [--orvelle PATH] [--cache-mib N] [--json FILE]

CORPUS_DIR is what make-corpus.py made (its files/ and manifest.json), or any
folder of pictures, which is then checked without a manifest. Each tool runs
once untimed, to warm the page cache, then --runs times, the tools taking
turns. GNU time measures every run; the table shows the median wall and CPU
seconds and the largest resident size.

The exact mode checks that every peer finds the groups we find (and that we
find the groups the manifest intends). The fuzzy modes time findimagedupes
only as a reference point, since its notion of alike is another one, and the
decode pass: djpeg decoding every JPEG of the corpus once, one after another,
which is what a check that decodes each file once cannot go below on one core.
"""

import argparse
import json
import os
import platform
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GNU_TIME = "/usr/bin/time"
SETUP_HINT = "scripts/setup.sh --bench"
RECORD = re.compile(r"^(\d{8})(.+)$")
MIB_KIB = 1024


# --- what each tool prints, as a set of groups -----------------------------------------------
# A group is a frozenset of normalised absolute paths; a result a set of groups.

def groups_of(lists):
    return {frozenset(os.path.normpath(p) for p in g) for g in lists if len(g) > 1}


def parse_orvelle(text):
    """Our match records: the group number as 8 digits, then the path, nothing between."""
    groups = {}
    for line in text.splitlines():
        if not line:
            continue
        m = RECORD.match(line)
        if not m:
            raise ValueError(f"not a match record: {line!r}")
        groups.setdefault(m.group(1), []).append(m.group(2))
    return groups_of(groups.values())


def parse_blocks(text):
    """jdupes and fdupes: one path a line, a blank line after each group."""
    blocks, current = [], []
    for line in text.splitlines():
        if line:
            current.append(line)
        elif current:
            blocks.append(current)
            current = []
    if current:
        blocks.append(current)
    return groups_of(blocks)


def parse_rdfind(text):
    """rdfind's results file: each first occurrence starts a group and the
    files after it that are not first occurrences belong to it (the id of a
    copy is the negative of its group's)."""
    groups = {}
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        fields = line.split(" ", 7)
        if len(fields) != 8:
            raise ValueError(f"not an rdfind result line: {line!r}")
        groups.setdefault(abs(int(fields[1])), []).append(fields[7])
    return groups_of(groups.values())


def parse_rmlint(text):
    """rmlint's json: the duplicate files carry their group's checksum."""
    groups = {}
    for item in json.loads(text):
        if item.get("type") == "duplicate_file":
            groups.setdefault((item["size"], item["checksum"]), []).append(item["path"])
    return groups_of(groups.values())


def parse_findimagedupes(text):
    """findimagedupes: one group a line, paths between spaces (so a path with a
    space breaks apart; it is only counted, never compared)."""
    return groups_of(line.split(" ") for line in text.splitlines() if line.strip())


# --- the tools ---------------------------------------------------------------------------------

class Tool:
    """One command to time. argv gets the corpus folder and the run's own
    scratch folder; result names the file the groups are read from (None:
    the tool's standard output)."""

    def __init__(self, name, argv, parse=None, result=None, cwd_scratch=False, compare=True):
        self.name = name
        self.argv = argv
        self.parse = parse
        self.result = result
        self.cwd_scratch = cwd_scratch
        self.compare = compare
        self.runs = []  # (wall, cpu, peak KiB)
        self.failures = []
        self.results = []  # parsed groups per run


def exact_tools(orvelle):
    return [
        Tool("orvelle-cli", lambda d, s: [orvelle, "check", "--exact", d], parse_orvelle),
        Tool("jdupes", lambda d, s: ["jdupes", "-r", d], parse_blocks),
        # rdfind writes its results file into the folder it runs in.
        Tool("rdfind", lambda d, s: ["rdfind", "-dryrun", "true", "-makeresultsfile", "true",
                                     "-outputname", "results.txt", d],
             parse_rdfind, result="results.txt", cwd_scratch=True),
        Tool("fdupes", lambda d, s: ["fdupes", "-r", d], parse_blocks),
        # Duplicate files only (its default also hunts empty folders, broken
        # links and unstripped binaries), and a json file in the scratch
        # folder instead of its shell script beside the corpus.
        Tool("rmlint", lambda d, s: ["rmlint", "-T", "df", "-o", "json:rmlint.json", d],
             parse_rmlint, result="rmlint.json", cwd_scratch=True),
    ]


def fuzzy_tools(orvelle, mode, cache_mib, jpeg_list):
    ours = [orvelle, "check", "--fuzzy", "--compare-size" if mode == "fuzzy-size" else "--ignore-size"]
    if cache_mib is not None:
        ours += ["--cache-mib", str(cache_mib)]
    decode = ('while IFS= read -r f; do djpeg -dct float "$f" > /dev/null || exit 1; '
              'done < "$1"')
    return [
        Tool("orvelle-cli", lambda d, s: ours + [d], parse_orvelle),
        Tool("findimagedupes", lambda d, s: ["findimagedupes", "-R", d], parse_findimagedupes,
             cwd_scratch=True, compare=False),
        Tool("decode pass", lambda d, s: ["bash", "-c", decode, "decode-pass", jpeg_list],
             compare=False),
    ]


def needed_commands(mode):
    if mode == "exact":
        return ["jdupes", "rdfind", "fdupes", "rmlint"]
    return ["findimagedupes", "djpeg", "bash"]


def run_once(tool, corpus, scratch_root):
    """One run under GNU time: (wall, cpu, peak KiB), the exit status, the output text."""
    scratch = tempfile.mkdtemp(prefix=tool.name.replace(" ", "-") + ".", dir=scratch_root)
    try:
        timing = os.path.join(scratch, "time.out")
        stdout_path = os.path.join(scratch, "stdout")
        argv = tool.argv(corpus, scratch)
        with open(stdout_path, "wb") as out, open(os.path.join(scratch, "stderr"), "wb") as err:
            status = subprocess.run([GNU_TIME, "-f", "%e %U %S %M", "-o", timing] + argv,
                                    stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                    cwd=scratch if tool.cwd_scratch else None).returncode
        with open(timing, encoding="utf-8") as f:
            # GNU time puts "Command exited with non-zero status N" before the figures.
            wall, user, system, peak = f.read().split()[-4:]
        result_path = os.path.join(scratch, tool.result) if tool.result else stdout_path
        text = ""
        if os.path.exists(result_path):
            with open(result_path, encoding="utf-8", errors="surrogateescape") as f:
                text = f.read()
        with open(os.path.join(scratch, "stderr"), encoding="utf-8", errors="replace") as f:
            error = f.read()
        return (float(wall), float(user) + float(system), int(peak)), status, text, error
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


# --- comparing groups --------------------------------------------------------------------------

def plural(count, word):
    return f"{count} {word}{'' if count == 1 else 's'}"


def describe(group, corpus):
    return "{" + ", ".join(sorted(os.path.relpath(p, corpus) for p in group)) + "}"


def difference(ours, theirs, corpus, who, shown=3):
    """'groups agree', or what differs, the first few groups on each side."""
    if ours == theirs:
        return "groups agree"
    only_ours = sorted(ours - theirs, key=sorted)
    only_theirs = sorted(theirs - ours, key=sorted)
    parts = [f"{plural(len(ours), 'group')} against {len(theirs)}"]
    if only_ours:
        parts.append(f"only ours ({len(only_ours)}): " +
                     "; ".join(describe(g, corpus) for g in only_ours[:shown]))
    if only_theirs:
        parts.append(f"only {who} ({len(only_theirs)}): " +
                     "; ".join(describe(g, corpus) for g in only_theirs[:shown]))
    return "DIFFER: " + " | ".join(parts)


def pairs_grouped(groups, pairs, corpus):
    """The manifest's pairs that share a group in ours, and those that do not."""
    where = {}
    for i, g in enumerate(groups):
        for p in g:
            where[p] = i
    found, missed = [], []
    for pair in pairs:
        a = os.path.normpath(os.path.join(corpus, pair["a"]))
        b = os.path.normpath(os.path.join(corpus, pair["b"]))
        (found if a in where and where.get(a) == where.get(b) else missed).append(pair)
    return found, missed


# --- the machine -------------------------------------------------------------------------------

def command_text(argv):
    try:
        done = subprocess.run(argv, capture_output=True, text=True, timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return "?"
    text = (done.stdout or done.stderr).strip()
    return re.sub(r"\x1b\[[0-9;]*m", "", text.splitlines()[0]) if text else "?"


def package_version(name):
    return command_text(["dpkg-query", "-W", "-f=${Version}", name])


def cores():
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


def machine_lines(orvelle, mode):
    cpu = "?"
    lscpu = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
    for line in lscpu.splitlines():
        if line.startswith("Model name:"):
            cpu = line.split(":", 1)[1].strip()
    memory = "?"
    with open("/proc/meminfo", encoding="utf-8") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                memory = f"{int(line.split()[1]) / MIB_KIB / 1024:.1f} GiB"
    tree = command_text(["git", "-C", os.path.dirname(orvelle), "describe", "--always", "--dirty"])
    branch = command_text(["git", "-C", os.path.dirname(orvelle), "rev-parse", "--abbrev-ref", "HEAD"])
    versions = [f"orvelle-cli {orvelle} ({branch} {tree})"]
    if mode == "exact":
        rmlint = re.search(r"version (\S+)", command_text(["rmlint", "--version"]))
        versions += [" ".join(command_text(["jdupes", "--version"]).split()[:2]),
                     "rdfind " + command_text(["rdfind", "-v"]).split()[-1],
                     command_text(["fdupes", "--version"]),
                     "rmlint " + (rmlint.group(1) if rmlint else "?")]
    else:
        versions += ["findimagedupes " + package_version("findimagedupes"),
                     "djpeg: " + command_text(["djpeg", "-version"])]
    versions.append("GNU time " + package_version("time"))
    return [
        f"- CPU: {cpu}, {cores()} cores; memory {memory}",
        f"- kernel: {platform.system()} {platform.release()}",
        "- tools: " + "; ".join(versions),
    ]


# --- the run -----------------------------------------------------------------------------------

def load_corpus(path):
    path = os.path.abspath(path)
    manifest_path = os.path.join(path, "manifest.json")
    if os.path.isfile(manifest_path):
        with open(manifest_path, encoding="utf-8") as f:
            manifest = json.load(f)
        if not manifest.get("complete"):
            sys.exit(f"run-bench: {path} was not finished by make-corpus.py; make it again")
        return os.path.join(path, "files"), manifest
    return path, None


def jpeg_files(folder):
    found = []
    for root, dirs, names in os.walk(folder):
        dirs.sort()
        for n in sorted(names):
            if n.lower().endswith((".jpg", ".jpeg")):
                found.append(os.path.join(root, n))
    return found


def median(values):
    return statistics.median(values) if values else float("nan")


def seconds(value):
    return f"{value:.2f}" if value >= 0.01 else "< 0.01"


def table(tools, ours):
    lines = ["| tool | median wall s | median CPU s | peak MiB | ours ÷ tool |",
             "|---|---:|---:|---:|---:|"]
    base = median([r[0] for r in ours.runs])
    for t in tools:
        if not t.runs:
            lines.append(f"| {t.name} | failed | | | |")
            continue
        wall = median([r[0] for r in t.runs])
        cpu = median([r[1] for r in t.runs])
        peak = max(r[2] for r in t.runs) / MIB_KIB
        # GNU time counts in hundredths: a tool done within one has no ratio.
        ratio = "1.00" if t is ours else (f"{base / wall:.2f}" if wall > 0 and ours.runs else "n/a")
        note = f" (failed: {', '.join(map(str, t.failures))})" if t.failures else ""
        lines.append(f"| {t.name}{note} | {seconds(wall)} | {seconds(cpu)} | {peak:.1f} | {ratio} |")
    return lines


def summary(t):
    if not t.runs:
        return None
    return {"wall": median([r[0] for r in t.runs]), "cpu": median([r[1] for r in t.runs]),
            "peak_mib": max(r[2] for r in t.runs) / MIB_KIB, "runs": t.runs}


def goals(name, mode, scale, tools, cache_mib):
    """The targets in bench/README.md that this one run can judge."""
    s = {t.name: summary(t) for t in tools}
    ours = s.get("orvelle-cli")
    if not ours:
        return []
    lines = []

    def verdict(text, ok):
        lines.append(f"- {text}: {'met' if ok else 'NOT met'}")

    if mode == "exact" and s.get("jdupes"):
        verdict(f"wall ≤ 0.8 × jdupes ({ours['wall']:.2f} s against {0.8 * s['jdupes']['wall']:.2f} s)",
                ours["wall"] <= 0.8 * s["jdupes"]["wall"])
        peers = [v["peak_mib"] for k, v in s.items() if k != "orvelle-cli" and v]
        if peers:
            verdict(f"peak ≤ the best peer's ({ours['peak_mib']:.1f} MiB against {min(peers):.1f} MiB)",
                    ours["peak_mib"] <= min(peers))
    decode = s.get("decode pass")
    if mode != "exact" and decode and decode["wall"] > 0:
        if name == "fuzzy-d" and mode == "fuzzy-size":
            verdict(f"d: wall ≤ 1.0 × decode pass ({ours['wall'] / decode['wall']:.2f} ×)",
                    ours["wall"] <= decode["wall"])
        if name == "fuzzy-d" and mode == "fuzzy-ignore":
            verdict(f"f: wall ≤ 3 × decode pass ({ours['wall'] / decode['wall']:.2f} ×)",
                    ours["wall"] <= 3 * decode["wall"])
        if name == "fuzzy-e":
            per_core = decode["wall"] / cores()
            verdict(f"e: wall ≤ 1.3 × decode pass ÷ cores ({ours['wall'] / per_core:.2f} ×)",
                    ours["wall"] <= 1.3 * per_core)
    if mode != "exact" and cache_mib is not None:
        verdict(f"peak ≤ cache + 200 MiB ({ours['peak_mib']:.1f} MiB against {cache_mib + 200} MiB)",
                ours["peak_mib"] <= cache_mib + 200)
    if lines and scale != 1:
        lines.append(f"- (the corpus is at scale {scale:g}; the targets are set for full size)")
    return lines


def measure_all(tools, corpus, runs, warm_up, scratch_root):
    """The untimed warm-up round, then the timed rounds, the tools taking turns."""
    def measure(tool, timed, label):
        figures, status, text, error = run_once(tool, corpus, scratch_root)
        if status != 0:
            tool.failures.append(status)
            print(f"run-bench: {tool.name} exited {status}: {error.strip()[-400:]}", file=sys.stderr)
        elif tool.parse:
            try:
                tool.results.append(tool.parse(text))
            except (ValueError, KeyError) as e:
                tool.failures.append("unreadable")
                print(f"run-bench: {tool.name}'s output: {e}", file=sys.stderr)
        if timed and status == 0:
            tool.runs.append(figures)
        print(f"run-bench: {label} {tool.name}: {figures[0]:.2f} s wall, {figures[1]:.2f} s CPU,"
              f" {figures[2] / MIB_KIB:.1f} MiB", file=sys.stderr)

    if warm_up:
        for tool in tools:
            measure(tool, False, "warm-up")
    for n in range(runs):
        for tool in tools:
            measure(tool, True, f"run {n + 1}/{runs}")


def group_checks(tools, corpus, manifest):
    """The lines of the group check, and whether everything agreed."""
    ours = tools[0]
    if not ours.results:
        return ["- orvelle-cli: no result to check"], False
    lines = []
    agreed = True
    our_groups = ours.results[0]
    lines.append(f"- orvelle-cli: {plural(len(our_groups), 'group')}, "
                 f"{plural(sum(len(g) for g in our_groups), 'file')} in them")
    if any(r != our_groups for r in ours.results):
        lines.append("- orvelle-cli: DIFFER: the runs found different groups")
        agreed = False
    if manifest and "groups" in manifest:
        intended = groups_of([[os.path.join(corpus, p) for p in g] for g in manifest["groups"]])
        agreed &= our_groups == intended
        lines.append("- manifest: " + difference(our_groups, intended, corpus, "manifest"))
    for t in tools[1:]:
        if not t.compare:
            if t.parse and t.results:
                lines.append(f"- {t.name} (reference only): {plural(len(t.results[0]), 'group')}")
            continue
        if not t.results:
            lines.append(f"- {t.name}: no result to compare")
            agreed = False
            continue
        text = difference(our_groups, t.results[0], corpus, t.name)
        agreed &= our_groups == t.results[0]
        if any(r != t.results[0] for r in t.results):
            text += " (and its runs disagree among themselves)"
        lines.append(f"- {t.name}: {text}")
    if manifest and "pairs" in manifest:
        found, missed = pairs_grouped(our_groups, manifest["pairs"], corpus)
        line = (f"- near-duplicate pairs of the manifest in one group: "
                f"{len(found)}/{len(found) + len(missed)}")
        if missed:
            agreed = False
            line += " (apart: " + "; ".join(
                f"{p['kind']} {p['a']} ~ {p['b']}" for p in missed[:5]) + ")"
        lines.append(line)
    return lines, agreed


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("corpus")
    parser.add_argument("--mode", required=True, choices=["exact", "fuzzy-size", "fuzzy-ignore"])
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each tool (5)")
    parser.add_argument("--quick", action="store_true", help="one timed run, no warm-up")
    parser.add_argument("--orvelle", default=os.path.join(TOP, "build", "cli", "orvelle-cli"),
                        help="the orvelle-cli to measure (build/cli/orvelle-cli of this tree)")
    parser.add_argument("--cache-mib", type=int, help="passed to orvelle-cli in the fuzzy modes")
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args(argv)
    if args.runs < 1:
        parser.error("--runs takes 1 or more")
    runs = 1 if args.quick else args.runs

    orvelle = os.path.abspath(args.orvelle)
    if not os.access(orvelle, os.X_OK):
        sys.exit(f"run-bench: no orvelle-cli at {orvelle} (build it, or name it with --orvelle)")
    missing = [c for c in needed_commands(args.mode) if not shutil.which(c)]
    if not os.access(GNU_TIME, os.X_OK):
        missing.append(GNU_TIME)
    if missing:
        sys.exit(f"run-bench: missing {', '.join(missing)}; run {SETUP_HINT}")

    corpus, manifest = load_corpus(args.corpus)
    if not os.path.isdir(corpus):
        sys.exit(f"run-bench: no folder {corpus}")
    name = manifest["corpus"] if manifest else os.path.basename(corpus)
    scale = manifest["scale"] if manifest else 1
    if manifest and args.mode == "exact" and "groups" not in manifest:
        sys.exit(f"run-bench: {name} is a corpus of photographs; use a fuzzy mode")
    jpegs = jpeg_files(corpus)

    scratch_root = tempfile.mkdtemp(prefix="orvelle-run-bench.")
    try:
        jpeg_list = os.path.join(scratch_root, "jpeg-files.txt")
        with open(jpeg_list, "w", encoding="utf-8", errors="surrogateescape") as f:
            f.writelines(p + "\n" for p in jpegs)
        if args.mode == "exact":
            tools = exact_tools(orvelle)
        else:
            tools = fuzzy_tools(orvelle, args.mode, args.cache_mib, jpeg_list)
        measure_all(tools, corpus, runs, not args.quick, scratch_root)
    finally:
        shutil.rmtree(scratch_root, ignore_errors=True)
    ours = tools[0]

    count = manifest["files"] if manifest else sum(len(n) for _, _, n in os.walk(corpus))
    print(f"## {name}, mode {args.mode}" + (f" (scale {scale:g})" if scale != 1 else ""))
    print()
    print(f"{plural(count, 'file')} in {corpus}; {plural(runs, 'timed run')} of each tool" +
          ("" if args.quick else " after one warm-up") + ".")
    print()
    print("\n".join(table(tools, ours)))
    print()
    print("Commands: " + "; ".join(
        "`" + shlex.join(t.argv(corpus, "SCRATCH")).replace(jpeg_list, "JPEG-LIST") + "`"
        for t in tools))
    print()
    checks, agreed = group_checks(tools, corpus, manifest)
    print("Groups:")
    print("\n".join(checks))

    s = {t.name: summary(t) for t in tools}
    if args.mode != "exact" and s.get("orvelle-cli") and s.get("decode pass"):
        ours_wall, decode = s["orvelle-cli"]["wall"], s["decode pass"]["wall"]
        ratio = (lambda by: f"{ours_wall / by:.2f}" if by > 0 else "n/a")
        print()
        print(f"Decode pass: {len(jpegs)} JPEGs in {seconds(decode)} s; ours ÷ decode pass = "
              f"{ratio(decode)}; ours ÷ (decode pass ÷ {cores()} cores) = {ratio(decode / cores())}")
    verdicts = goals(name, args.mode, scale, tools, args.cache_mib)
    if verdicts:
        print()
        print("Targets:")
        print("\n".join(verdicts))
    print()
    print("Machine:")
    print("\n".join(machine_lines(orvelle, args.mode)))

    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump({"corpus": name, "scale": scale, "mode": args.mode, "runs": runs,
                       "cores": cores(), "tools": s, "checks": checks}, f, indent=1)
            f.write("\n")
    return 0 if agreed and not any(t.failures for t in tools) else 1


if __name__ == "__main__":
    sys.exit(main())
