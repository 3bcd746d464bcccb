#!/usr/bin/env python3
"""Checks of the benchmark scripts on small corpora, run by hand:

    python3 bench/test_bench.py [-v]

The corpora are checked against what the files on disk say (contents hashed
here, pictures decoded by djpeg), and the readers of the peers' output
against real runs of the peers on a real folder. Tests that need a peer, the
wallpapers or a built orvelle-cli are skipped where those are missing.
"""

import hashlib
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
ORVELLE = os.environ.get("ORVELLE_CLI", os.path.join(TOP, "build", "cli", "orvelle-cli"))


def load(name, file):
    found = importlib.util.spec_from_file_location(name, os.path.join(HERE, file))
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


corpus = load("make_corpus", "make-corpus.py")
bench = load("run_bench", "run_bench.py")


def make(name, outdir, scale):
    subprocess.run([sys.executable, os.path.join(HERE, "make-corpus.py"), name, outdir,
                    "--scale", str(scale)], check=True, stdout=subprocess.DEVNULL)
    return bench.load_corpus(outdir)


def tree_digest(top):
    """Relative path -> sha256 of every file under top."""
    found = {}
    for root, _, names in os.walk(top):
        for n in names:
            path = os.path.join(root, n)
            with open(path, "rb") as f:
                found[os.path.relpath(path, top)] = hashlib.sha256(f.read()).hexdigest()
    return found


def equal_content_groups(files):
    """The duplicate groups as the bytes on disk have them, found without the manifest."""
    by_hash = {}
    for rel, digest in tree_digest(files).items():
        by_hash.setdefault(digest, []).append(os.path.join(files, rel))
    return bench.groups_of(by_hash.values())


def decode(path):
    """Width, height and the RGB bytes, by djpeg."""
    ppm = subprocess.run(["djpeg", "-pnm", path], check=True, capture_output=True).stdout
    parts = ppm.split(maxsplit=4)
    assert parts[0] == b"P6" and parts[3] == b"255", path
    return int(parts[1]), int(parts[2]), parts[4]


class ExactCorpora(unittest.TestCase):
    """The random-bytes corpora: what the manifest says is what is on disk."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="orvelle-bench-test.")
        cls.made = {name: make(name, os.path.join(cls.tmp, name), scale)
                    for name, scale in (("exact-a", 0.02), ("exact-b", 0.02), ("exact-c", 0.001))}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_the_same_bytes_every_time(self):
        for name in ("exact-a", "exact-c"):
            with self.subTest(name):
                again = os.path.join(self.tmp, name + "-again")
                make(name, again, 0.02 if name == "exact-a" else 0.001)
                self.assertEqual(tree_digest(os.path.join(self.tmp, name)), tree_digest(again))

    def test_the_intended_groups_are_the_equal_files(self):
        # A trap that came out equal to another file, or a copy written wrong,
        # shows here as a group the manifest does not know.
        for name, (files, manifest) in self.made.items():
            with self.subTest(name):
                intended = bench.groups_of([[os.path.join(files, p) for p in g]
                                            for g in manifest["groups"]])
                self.assertEqual(equal_content_groups(files), intended)
                self.assertEqual(len(tree_digest(files)), manifest["files"])
                self.assertTrue(all(2 <= len(g) <= 5 for g in manifest["groups"]))

    def test_traps_sit_one_step_from_a_group(self):
        for name, (files, manifest) in self.made.items():
            kinds = {t["kind"] for t in manifest["traps"]}
            with self.subTest(name):
                expected = {"same-size", "flip-last"} if name == "exact-b" else \
                    {"same-size", "flip-first", "flip-middle", "flip-last"}
                self.assertEqual(kinds, expected)
            for trap in manifest["traps"]:
                with open(os.path.join(files, trap["path"]), "rb") as f:
                    data = f.read()
                with open(os.path.join(files, trap["beside"][0]), "rb") as f:
                    copy = f.read()
                self.assertEqual(len(data), len(copy))
                changed = [i for i, (x, y) in enumerate(zip(data, copy)) if x != y]
                if trap["kind"] == "same-size":
                    self.assertGreater(len(changed), len(data) // 2)
                else:
                    where = {"flip-first": 0, "flip-middle": len(data) // 2,
                             "flip-last": len(data) - 1}[trap["kind"]]
                    self.assertEqual(changed, [where], trap)

    def test_copies_lie_in_different_folders_under_the_default_patterns(self):
        for name, (files, manifest) in self.made.items():
            shape = corpus.EXACT[name]
            with self.subTest(name):
                for group in manifest["groups"]:
                    self.assertEqual(len({os.path.dirname(p) for p in group}), len(group), group)
                for rel in tree_digest(files):
                    self.assertTrue(rel.endswith((".jpg", ".bmp")), rel)
                    size = os.path.getsize(os.path.join(files, rel))
                    self.assertTrue(shape["low"] <= size <= shape["high"], (rel, size))


@unittest.skipUnless(all(shutil.which(t) for t in ("jdupes", "rdfind", "fdupes", "rmlint")),
                     "the peers are not installed (scripts/setup.sh --bench)")
class PeerOutputs(unittest.TestCase):
    """Each peer's real output on a real folder, read back into groups."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="orvelle-bench-peers.")
        # Spaces in folder and file names, a group of three across folders,
        # two of the same size that differ, and files alone.
        cls.files = os.path.join(cls.tmp, "my pictures")
        layout = {"a b/x 1.jpg": b"one" * 300, "c/x 1.jpg": b"one" * 300, "x1.bmp": b"one" * 300,
                  "c/d e/y.jpg": b"two" * 400, "y.jpg": b"two" * 400,
                  "c/z.jpg": b"twx" * 400, "solo.bmp": b"alone" * 100}
        for rel, data in layout.items():
            os.makedirs(os.path.dirname(os.path.join(cls.files, rel)), exist_ok=True)
            with open(os.path.join(cls.files, rel), "wb") as f:
                f.write(data)
        cls.expected = equal_content_groups(cls.files)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_every_peer_reads_back_the_equal_files(self):
        self.assertEqual(len(self.expected), 2)
        scratch = tempfile.mkdtemp(dir=self.tmp)
        for tool in bench.exact_tools(ORVELLE)[1:]:
            with self.subTest(tool.name):
                figures, status, text, error = bench.run_once(tool, self.files, scratch)
                self.assertEqual(status, 0, error)
                self.assertEqual(tool.parse(text), self.expected)
                self.assertGreaterEqual(figures[2], 1)  # GNU time's peak KiB came through
        # Nothing written beside the pictures (rdfind's and rmlint's files
        # belong in the scratch folder).
        self.assertEqual(set(tree_digest(self.files)), {
            "a b/x 1.jpg", "c/x 1.jpg", "x1.bmp", "c/d e/y.jpg", "y.jpg", "c/z.jpg", "solo.bmp"})

    @unittest.skipUnless(os.access(ORVELLE, os.X_OK), "orvelle-cli is not built")
    def test_our_records_read_back_the_equal_files(self):
        tool = bench.exact_tools(ORVELLE)[0]
        _, status, text, error = bench.run_once(tool, self.files, tempfile.mkdtemp(dir=self.tmp))
        self.assertEqual(status, 0, error)
        self.assertEqual(tool.parse(text), self.expected)


@unittest.skipUnless(all(os.path.isfile(s) for s in corpus.SOURCES) and shutil.which("djpeg"),
                     "the wallpapers or djpeg are missing (scripts/setup.sh --bench)")
class FuzzyCorpora(unittest.TestCase):
    """The photographs: sizes, qualities and pairs as the manifest says, by djpeg."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="orvelle-bench-fuzzy.")
        cls.made = {name: make(name, os.path.join(cls.tmp, name), scale)
                    for name, scale in (("fuzzy-d", 0.05), ("fuzzy-e", 0.03))}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_the_same_bytes_every_time(self):
        again = os.path.join(self.tmp, "fuzzy-d-again")
        make("fuzzy-d", again, 0.05)
        self.assertEqual(tree_digest(os.path.join(self.tmp, "fuzzy-d")), tree_digest(again))

    def test_pictures_have_the_corpus_sizes(self):
        for name, (files, manifest) in self.made.items():
            with self.subTest(name):
                sizes = set()
                for rel in tree_digest(files):
                    width, height, _ = decode(os.path.join(files, rel))
                    sizes.add((width, height))
                    self.assertTrue(480 <= width <= 2000, (rel, width))
                if name == "fuzzy-e":
                    self.assertEqual(sizes, {(1200, 900)})
                else:
                    self.assertGreater(len({round(w / h, 2) for w, h in sizes}), 2)

    def test_pairs_are_what_they_say(self):
        for name, (files, manifest) in self.made.items():
            kinds = {p["kind"] for p in manifest["pairs"]}
            self.assertEqual(kinds, {"lower-quality", "brighter"} | ({"copy"} if name == "fuzzy-d" else set()))
            for pair in manifest["pairs"]:
                with self.subTest(name=name, pair=pair):
                    a, b = os.path.join(files, pair["a"]), os.path.join(files, pair["b"])
                    with open(a, "rb") as f, open(b, "rb") as g:
                        same = f.read() == g.read()
                    self.assertEqual(same, pair["kind"] == "copy")
                    wa, ha, pa = decode(a)
                    wb, hb, pb = decode(b)
                    self.assertEqual((wa, ha), (wb, hb))
                    mean_a, mean_b = sum(pa) / len(pa), sum(pb) / len(pb)
                    if pair["kind"] == "brighter":
                        self.assertGreater(mean_b, mean_a)
                    elif pair["kind"] == "lower-quality":
                        self.assertLess(os.path.getsize(b), os.path.getsize(a))
                        self.assertAlmostEqual(mean_a, mean_b, delta=3)
                    self.assertGreaterEqual(sum(pa[:3]), corpus.LIT_CORNER)


@unittest.skipUnless(all(shutil.which(t) for t in ("jdupes", "rdfind", "fdupes", "rmlint")),
                     "the peers are not installed (scripts/setup.sh --bench)")
class GroupCheck(unittest.TestCase):
    """run-bench.sh end to end: it must pass a right answer and catch a wrong one."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="orvelle-bench-run.")
        cls.corpus = os.path.join(cls.tmp, "exact-a")
        cls.files, cls.manifest = make("exact-a", cls.corpus, 0.01)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def fake_orvelle(self, groups):
        """An orvelle-cli that prints the given groups as match records."""
        records = os.path.join(self.tmp, f"records-{len(groups)}.txt")
        with open(records, "w", encoding="utf-8") as f:
            for n, group in enumerate(groups, 1):
                f.writelines(f"{n:08d}{os.path.join(self.files, p)}\n" for p in group)
        script = os.path.join(self.tmp, f"orvelle-cli-{len(groups)}")
        with open(script, "w", encoding="utf-8") as f:
            f.write(f"#!/bin/sh\ncat '{records}'\n")
        os.chmod(script, 0o755)
        return script

    def run_bench(self, orvelle):
        return subprocess.run([os.path.join(HERE, "run-bench.sh"), self.corpus, "--mode", "exact",
                               "--quick", "--orvelle", orvelle], capture_output=True, text=True)

    def test_right_groups_agree_everywhere(self):
        done = self.run_bench(self.fake_orvelle(self.manifest["groups"]))
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        for who in ("manifest", "jdupes", "rdfind", "fdupes", "rmlint"):
            self.assertIn(f"- {who}: groups agree", done.stdout)
        self.assertIn("| orvelle-cli | ", done.stdout)

    def test_a_missing_group_and_a_split_group_are_reported(self):
        groups = [list(g) for g in self.manifest["groups"]]
        dropped = groups.pop(0)
        split = next(g for g in groups if len(g) >= 4)
        groups.append(split[2:])
        del split[2:]
        done = self.run_bench(self.fake_orvelle(groups))
        self.assertEqual(done.returncode, 1)
        self.assertIn("- jdupes: DIFFER", done.stdout)
        self.assertIn("- manifest: DIFFER", done.stdout)
        self.assertIn(os.path.relpath(os.path.join(self.files, sorted(dropped)[0]), self.files),
                      done.stdout)


if __name__ == "__main__":
    unittest.main()
