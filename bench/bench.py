#!/usr/bin/env python3
"""Benchmark Dedezodi and Vuvodiv next to gzip, bzip2, xz, zstd and pigz.

Corpus mode (the default) takes a folder of files -- ../shared/corpus beside
the repository when it exists, else a deterministic mix of text-like,
binary-like and random files generated here -- copies them into a scratch
folder and, on those same copies, measures for each tool:

  * the compressed size and the ratio original / compressed;
  * compress and restore throughput in MB/s (10^6 bytes of original data per
    second), the median of --runs timed runs after one untimed warm-up;
  * peak memory: the largest maximum resident set size of any process the
    tool ran, as GNU time (/usr/bin/time) reports it, in the warm-up;
  * each tool's median time as a ratio to gzip's, measured in the same run.

Times are wall-clock.  The single-threaded peers (gzip -6, bzip2 -9, xz -6
-T1, zstd -3 -T1) sit beside the multi-core ones (pigz -6, zstd -T0 -3,
xz -T0 -6), which use every core as Dedezodi does by default.  --threads N
gives Dedezodi and Vuvodiv -j N and the multi-core peers N threads (pigz -p N, -TN);
without it each takes its own default.  A peer that is not installed is
skipped.

Dedezodi packs all files into one archive in one process; Vuvodiv restores it
in one process.  The other tools compress each file separately, one process
per file reading the file on stdin and writing to a file on stdout, and their
times, sizes and peaks are summed (maximum for the peaks) over the files.
Every restore is compared byte for byte with the original; a difference stops
the benchmark with an error.

A salvage row restores the same archive with `Vuvodiv --salvage`.

With --best, `Dedezodi --best` (the cost-based encoder) is measured as well,
as one more tool, and compared with the default mode: how much smaller its
archive is and how much longer it takes.

The SHA-256 of each of our archives is printed; --record-digest FILE stores
them and --check-digest FILE compares them with a stored set, so a change
meant to be a pure speed-up can show the archives did not change.

Scale mode (--scale) generates one large text-like file at each of
--scale-sizes MiB (default 16, 128 and 1024) and reports MB/s and peak memory
of our two programs at each size, to show time grows linearly with the input
and memory stays flat.

Only the Python standard library is used.  The tools run one after another,
never two at once.
"""

import argparse
import hashlib
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
DEFAULT_CORPUS = REPO.parent / "shared" / "corpus"
DEFAULT_DEDEZODI = REPO / "build" / "release" / "Dedezodi"
DEFAULT_VUVODIV = REPO / "build" / "release" / "Vuvodiv"

BASE = "bench"            # archive base name: bench.lst -> bench.cmp
MAX_FILES = 300           # what one list may name
MAX_NAME = 12             # characters in a listed name
MB = 1_000_000
MIB = 1 << 20
CHUNK = 1 << 20           # read size when comparing and hashing files
GNU_TIME = shutil.which("time", path="/usr/bin:/bin")   # the program, not the shell word

# Each reference tool: label, compress command, restore command.  Both read
# stdin and write stdout.  These are pinned to one thread.
REFERENCE_TOOLS = [
    ("gzip -6", ["gzip", "-6", "-c"], ["gzip", "-d", "-c"]),
    ("bzip2 -9", ["bzip2", "-9", "-c"], ["bzip2", "-d", "-c"]),
    ("xz -6", ["xz", "-6", "-T1", "-c"], ["xz", "-d", "-T1", "-c"]),
    ("zstd -3", ["zstd", "-3", "-T1", "-q", "-c"], ["zstd", "-d", "-q", "-c"]),
]


def multicore_tools(threads):
    """The peers that use several cores: every core by default, or threads."""
    t = "0" if threads is None else str(threads)
    pigz = ["pigz", "-6", "-c"] if threads is None else ["pigz", "-6", "-p", t, "-c"]
    pigz_label = "pigz -6" if threads is None else f"pigz -6 -p {t}"
    return [
        (pigz_label, pigz, ["pigz", "-d", "-c"]),
        (f"zstd -T{t} -3", ["zstd", "-3", f"-T{t}", "-q", "-c"], ["zstd", "-d", "-q", "-c"]),
        (f"xz -T{t} -6", ["xz", "-6", f"-T{t}", "-c"], ["xz", "-d", f"-T{t}", "-c"]),
    ]


class BenchError(Exception):
    """A failure that makes the numbers meaningless: stop and say why."""


# ---- Running one process -----------------------------------------------------

def run_measured(argv, cwd=None, stdin=None, stdout=subprocess.DEVNULL, memory=False):
    """Run argv to completion; return (wall seconds, peak RSS in bytes or None).

    With memory=True the program runs under GNU time, which forks it from a
    process of its own: the child of a Python process starts life with
    Python's resident pages, and Linux counts them in ru_maxrss, so wait4
    here would report Python's size rather than the program's.
    """
    report = None
    if memory and GNU_TIME:
        report = tempfile.NamedTemporaryFile(prefix="rss-", suffix=".txt")
        argv = [GNU_TIME, "-f", "%M", "-o", report.name, *argv]
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=stdin, stdout=stdout)
    _, status, _ = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise BenchError(f"{' '.join(map(str, argv))} (in {cwd or '.'}) "
                         f"exited with status {proc.returncode}")
    if report is None:
        return seconds, None
    with report:
        kib = int(Path(report.name).read_text().split()[-1])
    return seconds, kib * 1024


def explain_failure(argv, cwd):
    """Run a failed program again, untimed, to show what it printed."""
    done = subprocess.run(argv, cwd=cwd, capture_output=True, text=True,
                          errors="replace")
    return (done.stdout + done.stderr).strip().splitlines()[-3:]


# ---- Files -------------------------------------------------------------------

def same_bytes(a, b):
    """True when files a and b hold exactly the same bytes."""
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            block = fa.read(CHUNK)
            if block != fb.read(CHUNK):
                return False
            if not block:
                return True


def sha256_file(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while block := f.read(CHUNK):
            digest.update(block)
    return digest.hexdigest()


def looks_binary(path):
    """A file is binary if its first 64 KiB hold a NUL or many control bytes."""
    with open(path, "rb") as f:
        sample = f.read(64 * 1024)
    if b"\0" in sample:
        return True
    text = set(range(32, 127)) | {9, 10, 12, 13}
    odd = sum(1 for byte in sample if byte not in text and byte < 128)
    return odd > len(sample) // 20


def clear_folder(folder):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)


def place_archive(archive, folder):
    """Put the archive into an empty folder, by hard link when possible."""
    clear_folder(folder)
    target = folder / archive.name
    try:
        os.link(archive, target)
    except OSError:
        shutil.copyfile(archive, target)


# ---- Generated inputs --------------------------------------------------------

def make_vocabulary(rng, count=4000):
    """Pseudo-words built from syllables, with Zipf-like cumulative weights."""
    syllables = [c + v for c in "bcdfghjklmnprstvz" for v in "aeiou"]
    words = set()
    while len(words) < count:
        words.add("".join(rng.choices(syllables, k=rng.choice((1, 1, 2, 2, 3, 4)))))
    words = sorted(words)
    rng.shuffle(words)
    cumulative, total = [], 0.0
    for rank in range(len(words)):
        total += 1.0 / (rank + 1)
        cumulative.append(total)
    return words, cumulative


def make_sentences(seed, count=8192):
    """A fixed pool of sentences; text is a seeded sequence of them."""
    rng = random.Random(seed)
    words, weights = make_vocabulary(rng)
    pool = []
    for _ in range(count):
        chosen = rng.choices(words, cum_weights=weights, k=rng.randint(6, 30))
        chosen[0] = chosen[0].capitalize()
        if len(chosen) > 10 and rng.random() < 0.5:
            chosen[len(chosen) // 2] += ","
        end = "\n" if rng.random() < 0.3 else " "
        pool.append((" ".join(chosen) + "." + end).encode("ascii"))
    return pool


def write_text(path, size, seed):
    """Write size bytes of text-like data to path; return its SHA-256."""
    pool = make_sentences(1)          # one vocabulary for every text file
    rng = random.Random(seed)
    digest = hashlib.sha256()
    written = 0
    with open(path, "wb") as f:
        while written < size:
            block = b"".join(rng.choices(pool, k=4096))[:size - written]
            f.write(block)
            digest.update(block)
            written += len(block)
    return digest.hexdigest()


def records_bytes(rng, size):
    """Binary-like: fixed-size records of counters, small numbers and padding."""
    out = bytearray()
    serial = 1000
    while len(out) < size:
        serial += rng.randint(1, 3)
        name = rng.choice([b"alpha", b"beta", b"gamma", b"delta", b"omega"])
        out += serial.to_bytes(4, "little")
        out += rng.randint(0, 500).to_bytes(2, "little")
        out += rng.randint(0, 1 << 20).to_bytes(4, "little")
        out += name.ljust(14, b"\0")
        out += bytes(8)
    return bytes(out[:size])


def image_bytes(rng, size, width=512):
    """Binary-like: an 8-bit picture of smooth gradients with a little noise."""
    out = bytearray(size)
    for i in range(size):
        x, y = i % width, i // width
        out[i] = ((x * 3 + y * 2) // 4 + rng.randint(-3, 3)) & 0xFF
    return bytes(out)


def generate_corpus(folder):
    """A deterministic mix of text-like, binary-like and random files."""
    rng = random.Random(2024)
    write_text(folder / "novel.txt", 600_000, seed=11)
    write_text(folder / "essay.txt", 150_000, seed=12)
    write_text(folder / "notes.txt", 20_000, seed=13)
    write_text(folder / "short.txt", 2_000, seed=14)
    (folder / "records.dat").write_bytes(records_bytes(rng, 400_000))
    (folder / "picture.raw").write_bytes(image_bytes(rng, 512 * 600))
    (folder / "random.bin").write_bytes(rng.randbytes(300_000))
    (folder / "noise.bin").write_bytes(rng.randbytes(10_000))


# ---- Staging the input -------------------------------------------------------

@dataclass
class Member:
    name: str        # name in the scratch folder and in the list
    binary: bool
    size: int


def input_files(folder):
    """Regular files of the folder, sorted; a README describing it is left out."""
    files = sorted(p for p in folder.iterdir()
                   if p.is_file() and not p.name.upper().startswith("README"))
    if not files:
        raise BenchError(f"no files in {folder}")
    if len(files) > MAX_FILES:
        print(f"note: {len(files)} files; measuring the first {MAX_FILES} by name "
              f"(one archive holds at most {MAX_FILES})")
        files = files[:MAX_FILES]
    return files


def listable(name):
    """Whether a name can appear in a list as it is ('_' would read as '.')."""
    return (len(name) <= MAX_NAME and name.isascii() and name.isprintable()
            and not any(c in name for c in " \t_*")
            and name not in (f"{BASE}.lst", f"{BASE}.cmp"))


def stage(files, folder):
    """Copy the inputs into folder (short names if needed) and write the list."""
    keep_names = all(listable(p.name) for p in files)
    members = []
    for i, path in enumerate(files):
        name = path.name if keep_names else f"f{i:03d}"
        shutil.copyfile(path, folder / name)
        members.append(Member(name, looks_binary(path), path.stat().st_size))
    write_list(folder, members)
    if not keep_names:
        print("note: some names do not fit a list; files staged as f000, f001, ...")
    return members


def write_list(folder, members):
    lines = [m.name + ("   b" if m.binary else "") for m in members]
    (folder / f"{BASE}.lst").write_text("\n".join(lines) + "\n")


def input_digest(folder, members):
    """SHA-256 over the list and every staged file: names what was archived."""
    digest = hashlib.sha256((folder / f"{BASE}.lst").read_bytes())
    for m in members:
        digest.update(m.name.encode() + b"\0")
        digest.update(bytes.fromhex(sha256_file(folder / m.name)))
    return digest.hexdigest()


# ---- Tools -------------------------------------------------------------------

def peak(a, b):
    """The larger of two peak sizes, where None means not measured."""
    return b if a is None else a if b is None else max(a, b)


@dataclass
class Result:
    label: str
    packed: int = 0
    compress: list = field(default_factory=list)   # seconds per timed run
    restore: list = field(default_factory=list)
    rss_compress: int = None                       # bytes, None if not measured
    rss_restore: int = None


class Ours:
    """Dedezodi packs the staged folder; Vuvodiv restores into another.

    With best=True Dedezodi is run as `Dedezodi --best BASE`, the cost-based
    encoder: the same archive format, smaller and slower.  With threads, both
    programs are run with `-j N`.
    """

    def __init__(self, dedezodi, vuvodiv, best=False, threads=None, salvage=False):
        self.dedezodi, self.vuvodiv, self.best = dedezodi, vuvodiv, best
        self.options = [] if threads is None else ["-j", str(threads)]
        self.salvage = salvage
        self.label = ("Dedezodi --best / Vuvodiv" if best else "Dedezodi / Vuvodiv") + (
            " --salvage" if salvage else "") + ("" if threads is None else f" (-j {threads})")
        self.digest_tag = "best-" if best else ""

    def compress(self, src, work, members, memory):
        archive = src / f"{BASE}.cmp"
        archive.unlink(missing_ok=True)
        seconds, rss = self.run(self.dedezodi, src, memory, self.options)
        return seconds, rss, archive.stat().st_size

    def restore(self, src, work, members, memory):
        out = work / "restored"
        place_archive(src / f"{BASE}.cmp", out)
        options = [*self.options, *(["--salvage"] if self.salvage else [])]
        seconds, rss = self.run(self.vuvodiv, out, memory, options)
        verify(members, src, out, self.label)
        return seconds, rss

    def run(self, program, cwd, memory, options=()):
        options = [*options, *(["--best"] if self.best and program == self.dedezodi else [])]
        argv = [str(program), *options, BASE]
        try:
            return run_measured(argv, cwd=cwd, memory=memory)
        except BenchError as error:
            tail = "\n  ".join(explain_failure(argv, cwd))
            raise BenchError(f"{error}\n  {tail}") from None


class Reference:
    """A stream compressor run once per file, stdin to stdout."""

    def __init__(self, label, pack, unpack):
        self.label, self.pack, self.unpack = label, pack, unpack

    def compress(self, src, work, members, memory):
        packed_dir = work / "packed"
        clear_folder(packed_dir)
        seconds, rss = self.each(self.pack, members, src, packed_dir, memory)
        size = sum((packed_dir / m.name).stat().st_size for m in members)
        return seconds, rss, size

    def restore(self, src, work, members, memory):
        out = work / "restored"
        clear_folder(out)
        seconds, rss = self.each(self.unpack, members, work / "packed", out, memory)
        verify(members, src, out, self.label)
        return seconds, rss

    @staticmethod
    def each(argv, members, source, target, memory):
        """Run argv once per member, source file to target file; sum the times."""
        total, highest = 0.0, None
        for m in members:
            with open(source / m.name, "rb") as fin, open(target / m.name, "wb") as fout:
                seconds, rss = run_measured(argv, stdin=fin, stdout=fout, memory=memory)
            total, highest = total + seconds, peak(highest, rss)
        return total, highest


def verify(members, src, out, label):
    for m in members:
        restored = out / m.name
        if not restored.is_file() or not same_bytes(src / m.name, restored):
            raise BenchError(f"{label}: restored {m.name} differs from the original")


def available_tools(ours, threads):
    tools = list(ours)
    for label, pack, unpack in REFERENCE_TOOLS + multicore_tools(threads):
        if shutil.which(pack[0]):
            tools.append(Reference(label, pack, unpack))
        else:
            print(f"note: {pack[0]} is not installed; skipping {label}")
    return tools


# ---- Measuring ---------------------------------------------------------------

def measure(tool, src, work, members, runs, warm_up=True):
    """Compress then restore, runs times, every restore verified.

    With warm_up, an untimed first round runs under GNU time for the memory
    peaks and the timed rounds run bare.  Without it (the long runs of the
    scale mode) every round runs under GNU time, whose cost is then lost in
    the noise.
    """
    result = Result(tool.label)
    if warm_up:
        _, result.rss_compress, _ = tool.compress(src, work, members, True)
        _, result.rss_restore = tool.restore(src, work, members, True)
    for _ in range(runs):
        os.sync()   # so writeback of earlier output does not land in this run
        seconds, rss, result.packed = tool.compress(src, work, members, not warm_up)
        result.compress.append(seconds)
        result.rss_compress = peak(result.rss_compress, rss)
        os.sync()
        seconds, rss = tool.restore(src, work, members, not warm_up)
        result.restore.append(seconds)
        result.rss_restore = peak(result.rss_restore, rss)
    return result


def mb_per_s(size, seconds):
    return size / MB / seconds if seconds > 0 else float("inf")


def mib(size):
    return "n/a" if size is None else f"{size / MIB:.2f} MiB"


def corpus_table(results, total):
    gzip = next((r for r in results if r.label == "gzip -6"), None)
    rows = ["| tool | compressed bytes | ratio | compress MB/s | restore MB/s "
            "| peak RSS compress | peak RSS restore | time ÷ gzip (compress / restore) |",
            "|---|---:|---:|---:|---:|---:|---:|---:|"]
    for r in results:
        c, d = statistics.median(r.compress), statistics.median(r.restore)
        if gzip:
            vs = (f"{c / statistics.median(gzip.compress):.2f} / "
                  f"{d / statistics.median(gzip.restore):.2f}")
        else:
            vs = "n/a"
        rows.append(f"| {r.label} | {r.packed:,} | {total / r.packed:.3f} "
                    f"| {mb_per_s(total, c):.2f} | {mb_per_s(total, d):.2f} "
                    f"| {mib(r.rss_compress)} | {mib(r.rss_restore)} | {vs} |")
    return "\n".join(rows)


# ---- Archive digests ---------------------------------------------------------

def read_digests(path):
    """A digest file holds lines 'SHA-256  label', as sha256sum writes them."""
    digests = {}
    if path and Path(path).exists():
        for line in Path(path).read_text().splitlines():
            if line.strip() and not line.startswith("#"):
                value, label = line.split(maxsplit=1)
                digests[label.strip()] = value
    return digests


def record_digests(path, found):
    digests = read_digests(path)
    digests.update(found)
    lines = [f"{value}  {label}" for label, value in sorted(digests.items())]
    Path(path).write_text("\n".join(lines) + "\n")
    print(f"recorded {len(found)} archive digest(s) in {path}")


def check_digests(path, found):
    """Compare with the recorded set; True when every archive matches."""
    recorded = read_digests(path)
    good = True
    for label, value in found.items():
        if label not in recorded:
            print(f"DIGEST NOT RECORDED: {label} ({value})")
            good = False
        elif recorded[label] != value:
            print(f"DIGEST CHANGED: {label}\n  recorded {recorded[label]}\n  now      {value}")
            good = False
        else:
            print(f"digest matches: {label}")
    return good


# ---- The two modes -----------------------------------------------------------

def corpus_mode(args, ours, scratch):
    src, work = scratch / "src", scratch / "work"
    src.mkdir()
    work.mkdir()
    folder = args.corpus
    if folder is None and DEFAULT_CORPUS.is_dir():
        folder = DEFAULT_CORPUS
    if folder is None:
        folder = scratch / "generated"
        folder.mkdir()
        generate_corpus(folder)
        print("input: generated mix of text-like, binary-like and random files")
    else:
        print(f"input: {folder}")
    members = stage(input_files(Path(folder)), src)
    total = sum(m.size for m in members)
    print(f"{len(members)} files, {total:,} bytes; median of {args.runs} runs "
          "after one warm-up\n")

    results, found = [], {}
    for tool in available_tools(ours, args.threads):
        results.append(measure(tool, src, work, members, args.runs))
        if isinstance(tool, Ours):   # its archive is still in src: take its digest now
            label = f"corpus-{tool.digest_tag}{input_digest(src, members)[:16]}"
            found[label] = sha256_file(src / f"{BASE}.cmp")
    print(corpus_table(results, total))
    best = [r for tool, r in zip(ours, results) if tool.best]
    if best:
        print(best_summary(results[0], best[0]))
    return found


def best_summary(default, best):
    """How --best compares with the default mode, from the same run."""
    smaller = 1 - best.packed / default.packed
    slower = statistics.median(best.compress) / statistics.median(default.compress)
    return (f"\n--best: {best.packed:,} bytes against {default.packed:,} "
            f"({smaller:.1%} smaller); compress time {slower:.2f}x the default's; "
            f"peak RSS {mib(best.rss_compress)}")


def scale_mode(args, ours, scratch):
    src, work = scratch / "src", scratch / "work"
    rows = ["| size | compress MB/s | restore MB/s | peak RSS compress "
            "| peak RSS restore | MB/s ÷ MB/s at smallest (compress / restore) |",
            "|---:|---:|---:|---:|---:|---:|"]
    print(f"one generated text file per size; median of {args.runs} runs "
          "(one run from 1024 MiB up)\n")
    first, found = {}, {}
    for size_mib in args.scale_sizes:
        clear_folder(src)
        clear_folder(work)
        size = size_mib * MIB
        text_digest = write_text(src / "big.txt", size, seed=size_mib)
        members = [Member("big.txt", False, size)]
        write_list(src, members)
        runs = args.runs if size < 1024 * MIB else 1
        for tool in ours:
            result = measure(tool, src, work, members, runs, warm_up=False)
            speeds = (mb_per_s(size, statistics.median(result.compress)),
                      mb_per_s(size, statistics.median(result.restore)))
            base = first.setdefault(tool.label, speeds)
            mode = " --best" if tool.best else " --salvage" if tool.salvage else ""
            rows.append(f"| {size_mib} MiB{mode} | {speeds[0]:.2f} | {speeds[1]:.2f} "
                        f"| {mib(result.rss_compress)} | {mib(result.rss_restore)} "
                        f"| {speeds[0] / base[0]:.3f} / {speeds[1] / base[1]:.3f} |")
            label = f"scale-{tool.digest_tag}{size_mib}MiB-{text_digest[:16]}"
            found[label] = sha256_file(src / f"{BASE}.cmp")
        print(f"  {size_mib} MiB done ({runs} run{'s' if runs > 1 else ''})", file=sys.stderr)
    print("\n".join(rows))
    return found


# ---- Command line ------------------------------------------------------------

def parse_args():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--corpus", type=Path,
                   help="folder of files to measure (default: ../shared/corpus "
                        "beside the repository, else generated files)")
    p.add_argument("--runs", type=int, default=5,
                   help="timed runs per tool, median reported (default 5, at least 5)")
    p.add_argument("--threads", type=int, metavar="N",
                   help="pass -j N to Dedezodi and Vuvodiv and N threads to the multi-core "
                        "peers (default: each tool's own, every core)")
    p.add_argument("--dedezodi", type=Path, default=DEFAULT_DEDEZODI)
    p.add_argument("--vuvodiv", type=Path, default=DEFAULT_VUVODIV)
    p.add_argument("--best", action="store_true",
                   help="also measure `Dedezodi --best` (the cost-based encoder) "
                        "and compare it with the default mode")
    p.add_argument("--scale", action="store_true",
                   help="measure our programs on one large generated text file")
    p.add_argument("--scale-sizes", default="16,128,1024",
                   help="sizes in MiB for --scale (default 16,128,1024)")
    p.add_argument("--record-digest", metavar="FILE",
                   help="store the archive SHA-256 digests in FILE")
    p.add_argument("--check-digest", metavar="FILE",
                   help="fail unless the archive digests match those in FILE")
    p.add_argument("--scratch", type=Path,
                   help="where to make the scratch folder (default: the system's)")
    args = p.parse_args()
    if args.runs < 5:
        p.error("--runs must be at least 5")
    if args.threads is not None and args.threads < 1:
        p.error("--threads must be at least 1")
    args.scale_sizes = [int(s) for s in args.scale_sizes.split(",") if s.strip()]
    return args


def check_programs(*programs):
    for program in programs:
        if not (program.is_file() and os.access(program, os.X_OK)):
            raise BenchError(f"{program} is not an executable program: build it "
                             "or give its path with --dedezodi / --vuvodiv")


def main():
    args = parse_args()
    if not GNU_TIME:
        print("note: /usr/bin/time (GNU time) is not installed; peak RSS is not measured")
    ours = [Ours(args.dedezodi.resolve(), args.vuvodiv.resolve(), threads=args.threads)]
    # The same archive restored by salvage (one thread, whatever -j says):
    # on a sound archive it should cost little more than a plain restore.
    ours.append(Ours(args.dedezodi.resolve(), args.vuvodiv.resolve(), threads=args.threads, salvage=True))
    if args.best:
        ours.append(Ours(args.dedezodi.resolve(), args.vuvodiv.resolve(), best=True, threads=args.threads))
    scratch = Path(tempfile.mkdtemp(prefix="dedezodi-bench-", dir=args.scratch))
    try:
        check_programs(ours[0].dedezodi, ours[0].vuvodiv)
        mode = scale_mode if args.scale else corpus_mode
        found = mode(args, ours, scratch)
    except BenchError as error:
        print(f"bench: FAILED: {error}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print()
    for label, value in found.items():
        print(f"archive SHA-256 ({label}): {value}")
    if args.record_digest:
        record_digests(args.record_digest, found)
    if args.check_digest and not check_digests(args.check_digest, found):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
