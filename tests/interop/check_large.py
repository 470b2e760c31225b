#!/usr/bin/python3
"""Files of 4 GiB and more, written in several extents, read back by readers
we did not write, and read back by us from a peer's image and a virtual disc.

usage: check_large.py ZANTIC_CLI [--disc] [--keep]

The sources are sparse files with marked bytes around every extent border,
so nothing of gigabytes is written to the disk: our images, the peer's image
and the virtual disc keep the holes. --disc runs the burn of a 6 GiB file
onto a virtual DVD+R DL with --verify and a second session on top instead.
Prints one line per check and exits non-zero when any check fails.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import pycdlib
except ImportError:
    pycdlib = None

GIB = 1 << 30
PART = 0xFFFFF800  # bytes in every extent but the last
CHUNK = 1 << 20
ZEROS = bytes(CHUNK)
# Name, size: around one extent, two and three.
SOURCES = [
    ("a_4g_minus_1.bin", 4 * GIB - 1),
    ("b_4g.bin", 4 * GIB),
    ("c_4g_plus_1.bin", 4 * GIB + 1),
    ("d_9g.bin", 9 * GIB),
]
# Free space asked for: the marks, the peer's image and extraction run as holes.
NEEDED_FREE = 2 * GIB

RESULTS = []


def report(name, problems, note=""):
    ok = not problems
    RESULTS.append((name, ok))
    print("%s  %s%s" % ("PASS" if ok else "FAIL", name, ("  (" + note + ")") if note else ""))
    for line in problems[:15]:
        print("        " + line)
    sys.stdout.flush()


def run_check(name, fn, *args):
    started = time.monotonic()
    try:
        problems, note = fn(*args)
    except Exception as e:  # a reader refusing the image is a finding, not a crash
        problems, note = ["%s: %s" % (type(e).__name__, e)], ""
    # Each check's time: these are the test command's longest trials.
    took = "%.1f s" % (time.monotonic() - started)
    report(name, problems, note + ", " + took if note else took)


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def make_sparse(path, size, salt):
    """A sparse file with text marked near its start, its end and each extent border."""
    with open(path, "wb") as f:
        f.truncate(size)
        spots = {0, size - 16}
        for border in range(PART, size, PART):
            spots.update({border - 9, border, border + 2047})
        for at in sorted(spots):
            if 0 <= at < size:
                f.seek(at)
                f.write(("%s@%d" % (salt, at)).encode()[: size - at])


def allocated(path):
    return os.stat(path).st_blocks * 512


class Comparer:
    """A file-like sink that compares what a reader writes with the source."""

    def __init__(self, source):
        self.fd = os.open(source, os.O_RDONLY)
        self.size = os.fstat(self.fd).st_size
        self.pos = 0
        self.first_difference = None
        # The source's holes read as zeros: there it is not read.
        self.spans = data_regions(self.fd, self.size)

    def write(self, data):
        data = bytes(data)
        if self.first_difference is None:
            end = self.pos + len(data)
            if end <= self.size and not any(s < end and self.pos < e for s, e in self.spans):
                expected = ZEROS if len(data) == CHUNK else bytes(len(data))
            else:
                expected = os.pread(self.fd, len(data), self.pos)
            if expected != data:
                n = min(len(expected), len(data))
                i = next((k for k in range(n) if expected[k] != data[k]), n)
                self.first_difference = self.pos + i
        self.pos += len(data)
        return len(data)

    def close(self):
        os.close(self.fd)

    def problems(self, what):
        if self.first_difference is not None:
            return ["%s differs from byte %d on" % (what, self.first_difference)]
        if self.pos != self.size:
            return ["%s has %d bytes, the source %d" % (what, self.pos, self.size)]
        return []


def compare_stream(source, stream, what):
    c = Comparer(source)
    try:
        while True:
            block = stream.read(CHUNK)
            if not block:
                break
            c.write(block)
    finally:
        c.close()
    return c.problems(what)


def data_regions(fd, size):
    """The (start, end) spans of a file that are not holes."""
    spans, at = [], 0
    while at < size:
        try:
            start = os.lseek(fd, at, os.SEEK_DATA)
        except OSError:  # ENXIO: only a hole is left
            break
        end = os.lseek(fd, start, os.SEEK_HOLE)
        spans.append((start, end))
        at = end
    return spans


def compare_files(source, copy, what):
    """Byte for byte; where both files have holes both read as zeros, so only
    the spans where either has data are read."""
    with open(source, "rb") as s, open(copy, "rb") as c:
        size = os.fstat(s.fileno()).st_size
        if os.fstat(c.fileno()).st_size != size:
            return ["%s has %d bytes, the source %d" % (what, os.fstat(c.fileno()).st_size, size)]
        spans = sorted(data_regions(s.fileno(), size) + data_regions(c.fileno(), size))
        at = 0
        for start, end in spans:
            start = max(start, at)
            while start < end:
                n = min(CHUNK, end - start)
                a, b = os.pread(s.fileno(), n, start), os.pread(c.fileno(), n, start)
                if a != b:
                    i = next((k for k in range(min(len(a), len(b))) if a[k] != b[k]), min(len(a), len(b)))
                    return ["%s differs from byte %d on" % (what, start + i)]
                start += n
            at = max(at, end)
    return []


def check_build(cli, src, img):
    r = run([cli, "build-iso", "-V", "LARGE", "-o", img, src], timeout=900)
    problems = []
    if r.returncode != 0:
        problems.append("exit %d: %s" % (r.returncode, r.stderr.strip()[-300:]))
        return problems, ""
    total = sum(s for _, s in SOURCES)
    size = os.path.getsize(img)
    if size < total:
        problems.append("image of %d bytes is smaller than its files" % size)
    if allocated(img) > 256 << 20:
        problems.append("image takes %d MiB on the disk: the sources' holes were written out" % (allocated(img) >> 20))
    return problems, "%d MiB of %d GiB allocated" % (allocated(img) >> 20, size >> 30)


def check_isoinfo(img):
    problems = []
    for joliet in (False, True):
        r = run(["isoinfo", "-l", "-i", img] + (["-J"] if joliet else []), timeout=120)
        if r.returncode != 0:
            problems.append("isoinfo: " + r.stderr.strip())
            continue
        records = {}
        for line in r.stdout.splitlines():
            tokens = line.split()
            if line.startswith("-") and len(tokens) > 5 and tokens[4].isdigit():
                records.setdefault(tokens[-1].split(";")[0].lower(), []).append(int(tokens[4]))
        for name, size in SOURCES:
            want = [PART] * ((size - 1) // PART) + [size - PART * ((size - 1) // PART)]
            if size <= 0xFFFFFFFF:
                want = [size]
            got = records.get(name)
            if got != want:
                problems.append("%s tree: %s recorded as %s, expected %s" % ("Joliet" if joliet else "ISO", name, got, want))
    return problems, ""


def check_lba(img):
    r = run(["xorriso", "-indev", img, "-find", "/", "-exec", "report_lba"], timeout=120)
    extents = {}
    for line in r.stdout.splitlines():
        m = re.match(r"^File data lba:\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*'(.*)'", line)
        if m:
            xt, lba, blocks, size, path = int(m.group(1)), int(m.group(2)), int(m.group(3)), int(m.group(4)), m.group(5)
            extents.setdefault(os.path.basename(path), []).append((xt, lba, blocks, size))
    problems = []
    for name, size in SOURCES:
        parts = sorted(extents.get(name, []))
        if not parts:
            problems.append("%s: no extents reported" % name)
            continue
        if sum(p[2] for p in parts) != (size + 2047) // 2048 or parts[0][3] != size:
            problems.append("%s: %s do not cover %d bytes" % (name, parts, size))
        for before, after in zip(parts, parts[1:]):
            if after[1] != before[1] + before[2]:
                problems.append("%s: extent %d at %d does not follow %d+%d" % (name, after[0], after[1], before[1], before[2]))
    return problems, "%d extents" % sum(len(v) for v in extents.values())


def check_xorriso(img, src, out):
    r = run(["xorriso", "-osirrox", "on:sparse=1m", "-indev", img, "-extract", "/src", out], timeout=900)
    if r.returncode != 0:
        return ["xorriso -extract: exit %d: %s" % (r.returncode, r.stderr.strip()[-300:])], ""
    problems = []
    for name, _ in SOURCES:
        problems += compare_files(os.path.join(src, name), os.path.join(out, name), "xorriso's " + name)
    shutil.rmtree(out, ignore_errors=True)
    return problems, ""


def check_7z(img, src):
    problems = []
    for name, _ in SOURCES:
        p = subprocess.Popen(["7z", "x", "-so", img, "src/" + name], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        problems += compare_stream(os.path.join(src, name), p.stdout, "7z's " + name)
        if p.wait() != 0:
            problems.append("7z x %s: exit %d" % (name, p.returncode))
    return problems, ""


def check_pycdlib(img, src):
    """pycdlib's records and reading of every file of one or two extents, in
    both trees for the one of two.

    pycdlib 1.12 keeps only the first and the last record of a file in three
    or more extents (it links each later record to the first, the last one
    winning), so it reads such a file, ours or one xorriso made, without its
    middle extents; for the 9 GiB file only its first record is checked here,
    and its bytes by xorriso and 7z."""
    iso = pycdlib.PyCdlib()
    iso.open(img)
    problems = []
    notes = []
    try:
        for kind, parent, names in (("iso_path", "/SRC", [n for n, _ in SOURCES]),
                                    ("joliet_path", "/src", ["c_4g_plus_1.bin"])):
            for name in names:
                size = dict(SOURCES)[name]
                path = parent + "/" + (name.upper() if kind == "iso_path" else name) + ";1"
                rec = iso.get_record(**{kind: path})
                parts = [(rec.extent_location(), rec.data_length)]
                while rec.data_continuation is not None:
                    rec = rec.data_continuation
                    parts.append((rec.extent_location(), rec.data_length))
                want = 1 if size <= 0xFFFFFFFF else (size + PART - 1) // PART
                if want > 2:
                    if parts[0][1] != PART:
                        problems.append("pycdlib %s %s: first record %s" % (kind, name, parts[0]))
                    notes.append("%s: %d of %d records linked by pycdlib" % (name, len(parts), want))
                    continue
                if len(parts) != want or sum(p[1] for p in parts) != size:
                    problems.append("pycdlib %s %s: records %s" % (kind, name, parts))
                    continue
                for (a, n), (b, _) in zip(parts, parts[1:]):
                    if b != a + n // 2048:
                        problems.append("pycdlib %s %s: extent %d does not follow %d" % (kind, name, b, a))
                c = Comparer(os.path.join(src, name))
                try:
                    iso.get_file_from_iso_fp(c, blocksize=CHUNK, **{kind: path})
                finally:
                    c.close()
                problems += c.problems("pycdlib %s %s" % (kind, name))
    finally:
        iso.close()
    return problems, "; ".join(notes)


def sparse_copy(stream, path):
    """Writes a stream to a file, leaving runs of zeros as holes."""
    zeros = bytes(CHUNK)
    size = 0
    with open(path, "wb") as f:
        while True:
            block = stream.read(CHUNK)
            if not block:
                break
            if block == zeros[: len(block)]:
                f.seek(len(block), os.SEEK_CUR)
            else:
                f.write(block)
            size += len(block)
        f.truncate(size)


def check_peer_image(cli, src, work):
    """A peer's image with a file in parts: listed whole, extracted whole."""
    peer_src = os.path.join(work, "peer-src")
    os.makedirs(peer_src)
    big = os.path.join(peer_src, "recording.mkv")
    make_sparse(big, 5 * GIB + 123, "peer")
    img = os.path.join(work, "peer.iso")
    p = subprocess.Popen(["xorriso", "-as", "mkisofs", "-iso-level", "3", "-J", "-o", "-", peer_src],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    sparse_copy(p.stdout, img)
    problems = []
    if p.wait() != 0:
        return ["xorriso -as mkisofs: exit %d" % p.returncode], ""
    r = run([cli, "ls", "--image", img], timeout=120)
    if r.returncode != 0 or not re.search(r"\b%d\b.*recording\.mkv" % (5 * GIB + 123), r.stdout):
        problems.append("ls: exit %d, %r" % (r.returncode, (r.stdout + r.stderr)[-300:]))
    out = os.path.join(work, "peer-out")
    os.makedirs(out)
    r = run([cli, "extract", "--image", img, "/recording.mkv", out], timeout=900)
    if r.returncode != 0:
        problems.append("extract: exit %d: %s" % (r.returncode, r.stderr.strip()[-300:]))
    else:
        got = os.path.join(out, "recording.mkv")
        problems += compare_files(big, got, "extracted recording.mkv")
        if allocated(got) > 64 << 20:
            problems.append("the extracted file takes %d MiB: its zeros were written out" % (allocated(got) >> 20))
    for p in (img, big):
        os.remove(p)
    shutil.rmtree(out, ignore_errors=True)
    return problems, ""


def check_disc(cli, work):
    """6 GiB on a virtual DVD+R DL with --verify, kept by a second session."""
    disc = os.path.join(work, "dl.vd")
    six = os.path.join(work, "six.bin")
    make_sparse(six, 6 * GIB, "six")
    small = os.path.join(work, "later.txt")
    with open(small, "w") as f:
        f.write("a second session\n")
    problems = []
    r = run([cli, "vdisc", "create", disc, "--media", "dvd+r-dl"], timeout=60)
    if r.returncode != 0:
        return ["vdisc create: " + r.stderr.strip()], ""
    started = time.monotonic()
    r = run([cli, "burn", "--device", disc, "--verify", "-V", "BIG", six], timeout=1500)
    burn_secs = time.monotonic() - started
    if r.returncode != 0:
        return ["burn --verify: exit %d: %s" % (r.returncode, r.stderr.strip()[-400:])], ""
    r = run([cli, "burn", "--device", disc, "--import-session", "-1", "-V", "TWO", small], timeout=600)
    if r.returncode != 0:
        problems.append("second session: exit %d: %s" % (r.returncode, r.stderr.strip()[-400:]))
    r = run([cli, "ls", "--device", disc], timeout=120)
    if not re.search(r"\b%d\b.*six\.bin" % (6 * GIB), r.stdout) or "later.txt" not in r.stdout:
        problems.append("ls of the second session: %r" % r.stdout[-400:])
    out = os.path.join(work, "disc-out")
    os.makedirs(out)
    r = run([cli, "extract", "--device", disc, "/six.bin", out], timeout=900)
    if r.returncode != 0:
        problems.append("extract: exit %d: %s" % (r.returncode, r.stderr.strip()[-300:]))
    else:
        problems += compare_files(six, os.path.join(out, "six.bin"), "six.bin from the second session")
    note = "burn and verify %.0f s, disc file %d MiB on the disk" % (burn_secs, allocated(disc) >> 20)
    for p in (disc, six):
        os.remove(p)
    shutil.rmtree(out, ignore_errors=True)
    return problems, note


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("cli", help="path to zantic-cli")
    ap.add_argument("--disc", action="store_true", help="instead, burn 6 GiB onto a virtual DVD+R DL")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    args = ap.parse_args()
    cli = os.path.abspath(args.cli)
    missing = [t for t in ("xorriso", "7z", "isoinfo") if shutil.which(t) is None]
    if pycdlib is None:
        missing.append("pycdlib (python3-pycdlib)")
    if missing:
        print("FAIL  peer readers missing: %s; scripts/setup.sh test installs them" % ", ".join(missing))
        return 2
    work = tempfile.mkdtemp(prefix="zantic-large-")
    free = shutil.disk_usage(work).free
    if free < NEEDED_FREE:
        print("FAIL  %d MiB free in %s; %d MiB needed" % (free >> 20, work, NEEDED_FREE >> 20))
        shutil.rmtree(work)
        return 2
    started = time.monotonic()
    try:
        if args.disc:
            run_check("DVD+R DL: 6 GiB burned with --verify, kept by a second session", check_disc, cli, work)
        else:
            src = os.path.join(work, "src")
            os.makedirs(src)
            for i, (name, size) in enumerate(SOURCES):
                make_sparse(os.path.join(src, name), size, "f%d" % i)
            img = os.path.join(work, "large.iso")
            run_check("build an image of 4 GiB - 1, 4 GiB, 4 GiB + 1 and 9 GiB", check_build, cli, src, img)
            if os.path.isfile(img):
                run_check("isoinfo lists every record in both trees", check_isoinfo, img)
                run_check("xorriso report_lba: every file's extents consecutive", check_lba, img)
                run_check("xorriso -osirrox extract: byte-identical", check_xorriso, img, src, os.path.join(work, "x"))
                run_check("7z x: byte-identical", check_7z, img, src)
                run_check("pycdlib: files of one and two extents byte-identical", check_pycdlib, img, src)
                os.remove(img)
            shutil.rmtree(src)
            run_check("a peer's image with a 5 GiB file: ls and extract", check_peer_image, cli, src, work)
    finally:
        if args.keep:
            print("work folder kept: " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    failed = [n for n, ok in RESULTS if not ok]
    print("%d passed, %d failed" % (len(RESULTS) - len(failed), len(failed)))
    print("%.1f s" % (time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
