#!/usr/bin/python3
"""Builds images with zantic-cli and reads them back with readers we did not
write: xorriso, 7z, isoinfo and pycdlib.

usage: check_peers.py ZANTIC_CLI [--keep]

Every file must come back byte for byte under the name we expect, in the ISO
9660 tree and in the Joliet tree (built without Rock Ridge), with nothing missing and nothing extra.
Prints one line per check and exits non-zero when any check fails.
"""
import argparse
import collections
import datetime
import hashlib
import os
import random
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time

try:
    import pycdlib
except ImportError:  # require_peers() says so
    pycdlib = None

MIB = 1024 * 1024
# Longest file name (after the dot added to dot-less names) that may be
# burned; longer ones are skipped.
MAX_FILE_NAME = 109
FIRST_MTIME = 1614834367  # 2021-03-04T05:06:07Z

IDS = {
    "--volume": "Zantic Interop",
    "--system": "Linux test rig",
    "--volset": "Interop set 7",
    "--publisher": "Zantic QA publisher",
    "--preparer": "check_peers script",
    "--application": "zantic-cli interop",
    "--copyright": "copying.txt",
    "--abstract": "abstract.txt",
    "--biblio": "biblio.txt",
}
# isoinfo -d label, our option, ISO field width, Joliet field width, pycdlib name
PVD_FIELDS = [
    ("System id", "--system", 32, 16, "system_identifier"),
    ("Volume id", "--volume", 32, 16, "volume_identifier"),
    ("Volume set id", "--volset", 128, 64, "volume_set_identifier"),
    ("Publisher id", "--publisher", 128, 64, "publisher_identifier"),
    ("Data preparer id", "--preparer", 128, 64, "preparer_identifier"),
    ("Application id", "--application", 128, 64, "application_identifier"),
    ("Copyright File id", "--copyright", 37, 18, "copyright_file_identifier"),
    ("Abstract File id", "--abstract", 37, 18, "abstract_file_identifier"),
    ("Bibliographic File id", "--biblio", 37, 18, "bibliographic_file_identifier"),
]

RESULTS = []


def report(name, problems, note=""):
    ok = not problems
    RESULTS.append((name, ok))
    print("%s  %s%s" % ("PASS" if ok else "FAIL", name, ("  (" + note + ")") if note else ""))
    for line in problems[:15]:
        print("        " + line)
    if len(problems) > 15:
        print("        ... and %d more" % (len(problems) - 15))
    sys.stdout.flush()


def run_check(name, fn, *args):
    """Runs fn(*args) -> (problems, note); an exception is a failure, shown as raised."""
    try:
        problems, note = fn(*args)
    except Exception as e:  # a reader refusing the image is a finding, not a crash
        problems, note = ["%s: %s" % (type(e).__name__, e)], ""
    report(name, problems, note)


# ---------------------------------------------------------------- names

def ascii_upper(s):
    return "".join(chr(ord(c) - 32) if "a" <= c <= "z" else c for c in s)


def disc_long_name(name):
    # A file name without a dot is burned with a trailing dot.
    return name if "." in name else name + "."


def strip_added_dot(name):
    # Readers drop the trailing dot when they strip ";1"; accept both forms.
    if name.endswith(".") and "." not in name[:-1]:
        return name[:-1]
    return name


def isoinfo_joliet_text(s):
    # isoinfo -J -j iso8859-1 prints Latin-1 as is and any other character as "_".
    return "".join(c if ord(c) < 256 else "_" for c in s)


def joliet_versioned(name):
    # ";1" goes on when the record has room: up to 108 UTF-16 units.
    units = len(name.encode("utf-16-be")) // 2
    return name + ";1" if units <= 108 else name


VIEWS = {
    # view: (directory name, file name) from the long source name
    "iso": (ascii_upper, lambda n: ascii_upper(disc_long_name(n)) + ";1"),
    "joliet": (lambda n: n, lambda n: joliet_versioned(disc_long_name(n))),
    "iso-extracted": (ascii_upper, lambda n: strip_added_dot(ascii_upper(disc_long_name(n)))),
    "joliet-extracted": (lambda n: n, lambda n: strip_added_dot(disc_long_name(n))),
    "isoinfo-joliet": (isoinfo_joliet_text, lambda n: isoinfo_joliet_text(joliet_versioned(disc_long_name(n)))),
}


# ---------------------------------------------------------------- source trees

def content_for(rel, size):
    """Distinct bytes per path, so a file read from another file's extent shows."""
    rng = random.Random(hashlib.sha256(rel.encode()).digest())
    return rng.randbytes(size)


class TreeMaker:
    def __init__(self, root):
        self.root = root
        self.count = 0

    def file(self, rel, size=None, data=None):
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if data is None:
            data = content_for(rel, size if size is not None else 100 + len(rel) * 7)
        with open(path, "wb") as f:
            f.write(data)
        mtime = FIRST_MTIME + self.count * 3671  # walks hours, minutes and seconds
        self.count += 1
        os.utime(path, (mtime, mtime))
        return path

    def dir(self, rel):
        os.makedirs(os.path.join(self.root, rel), exist_ok=True)


def name_of_length(prefix, length, ext):
    body = prefix
    filler = " and more words"
    while len(body) + len(ext) < length:
        body += filler
    return body[: length - len(ext)].rstrip(" ").ljust(length - len(ext), "x") + ext


def make_main_tree(root):
    t = TreeMaker(root)
    p = "payload/"
    t.file(p + "alpha.txt", data=b"alpha\n")
    t.file(p + "Notes with spaces.txt")
    t.file(p + "readme", data=b"a file name without a dot\n")
    t.file(p + "LICENSE")
    t.file(p + "archive.tar.gz", size=5000)
    t.file(p + "Café menu.txt", data="Café crème, 3 €\n".encode())
    t.file(p + "Ünïcödé naïve façade.txt")
    t.file(p + "Привет мир.txt", data="Привет\n".encode())
    t.file(p + "Документы/отчёт 2024.txt")
    t.file(p + "日本語フォルダ/東京タワー.txt")
    t.file(p + "日本語フォルダ/写真.jpg", size=9000)
    t.file(p + "Sizes/empty.dat", size=0)
    t.file(p + "Sizes/one byte.bin", size=1)
    t.file(p + "Sizes/sector 2048.bin", size=2048)
    t.file(p + "Sizes/two sectors 4096.bin", size=4096)
    t.file(p + "Sizes/sixty-four KiB.bin", size=65536)
    t.file(p + "Sizes/one under 2047.bin", size=2047)
    t.file(p + "Sizes/one over 2049.bin", size=2049)
    t.file(p + "Sizes/three MiB and a bit.bin", size=3 * MIB + 777)
    t.file(p + "Sizes/nodot empty", size=0)
    t.file(p + ".hidden file.txt")
    t.file(p + ".config/settings.ini")
    t.file(p + ".config/.nested hidden", size=10)
    t.file(p + name_of_length("A long file name", 100, ".txt"))
    t.file(p + name_of_length("Longest name that fits a Joliet record", 108, ".dat"))
    t.file(p + name_of_length("long dotless name", 90, ""))
    long_dir = name_of_length("A directory with a long name", 100, "")
    t.file(p + long_dir + "/inside the long directory.txt")
    t.file(p + "level1/Level 2/level3 deep/L4/level5/l6/deep file.txt")
    t.file(p + "level1/Level 2/beside.txt")
    for i in range(70):
        t.file(p + "many/Entry %03d in a directory spanning sectors.txt" % i, size=10 + i)
    # Folders that must not reach the disc.
    t.dir(p + "empty dir")
    t.dir(p + "nested empty/inner/innermost")
    t.file(p + "only skipped/" + name_of_length("skipped", 115, ".txt"))
    t.file(p + name_of_length("too long to burn", 110, ".txt"))
    t.file(p + name_of_length("dotless too long", 109, ""))
    # Top-level file sources, which go into the root.
    tops = [t.file("readme", data=b"top-level readme\n"),
            t.file("Top level notes.txt"),
            t.file("Über top.txt"),
            t.file(".hidden_top", size=33),
            t.file("copying.txt", data=b"copying terms\n")]
    return [os.path.join(root, "payload")] + tops


def make_edge_tree(root):
    t = TreeMaker(root)
    t.file("edge/normal.txt")
    t.file("edge/" + name_of_length("exactly 109 characters", 109, ".txt"))
    t.file("edge/" + name_of_length("exactly 110 characters", 110, ".txt"))
    t.file("edge/" + name_of_length("dotless 108", 108, ""))  # 109 with the dot
    return [os.path.join(root, "edge")]


# ---------------------------------------------------------------- expected disc

class Node:
    def __init__(self, is_dir, src=None):
        self.is_dir = is_dir
        self.children = {}
        self.src = src


def file_digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(MIB), b""):
            h.update(block)
    return h.hexdigest()


def model_file(path):
    n = len(disc_long_name(os.path.basename(path)))
    if n > MAX_FILE_NAME:
        return None
    # A 109-character name plus ";1" would not fit a Joliet record (256
    # bytes): such names are recorded without the version suffix.
    return Node(False, path)


def model_dir(path):
    node = Node(True, path)
    for name in sorted(os.listdir(path)):
        full = os.path.join(path, name)
        child = model_dir(full) if os.path.isdir(full) else model_file(full)
        if child is not None:
            node.children[name] = child
    # Folders with nothing to burn are left out, recursively.
    return node if node.children else None


def build_model(sources):
    root = Node(True)
    for s in sources:
        node = model_dir(s) if os.path.isdir(s) else model_file(s)
        if node is not None:
            root.children[os.path.basename(s)] = node
    return root


Expect = collections.namedtuple("Expect", "is_dir src hidden")


def flatten(model, view):
    dir_name, file_name = VIEWS[view]
    out = {}

    def walk(node, key):
        for name, child in node.children.items():
            k = key + ((dir_name if child.is_dir else file_name)(name),)
            if k in out:
                raise RuntimeError("test tree is ambiguous in view %s: %r" % (view, k))
            out[k] = Expect(child.is_dir, child.src, name.startswith("."))
            if child.is_dir:
                walk(child, k)
    walk(model, ())
    return out


# ---------------------------------------------------------------- comparing

Seen = collections.namedtuple("Seen", "is_dir size digest hidden")


def show(key):
    return "/" + "/".join(key)


def add_seen(out, key, seen):
    if key in out:
        raise RuntimeError("two entries named %s in one directory" % show(key))
    out[key] = seen


def compare(expected, actual, check_hidden=False, skip=lambda key: False):
    """Problems between the expected view and what a reader saw."""
    problems = []
    digests = {}
    for key, e in sorted(expected.items()):
        if skip(key):
            continue
        a = actual.get(key)
        if a is None:
            problems.append("missing: " + show(key))
            continue
        if a.is_dir != e.is_dir:
            problems.append("%s: is a %s on the disc" % (show(key), "directory" if a.is_dir else "file"))
            continue
        if not e.is_dir:
            size = os.path.getsize(e.src)
            if a.size != size:
                problems.append("%s: size %d, source has %d" % (show(key), a.size, size))
            elif a.digest is not None:
                if e.src not in digests:
                    digests[e.src] = file_digest(e.src)
                if a.digest != digests[e.src]:
                    problems.append("%s: content differs from the source file" % show(key))
        if check_hidden and a.hidden is not None and a.hidden != e.hidden:
            problems.append("%s: hidden flag %s, expected %s" % (show(key), a.hidden, e.hidden))
    for key in sorted(set(actual) - set(expected)):
        if not skip(key):
            problems.append("extra: " + show(key))
    return problems


def compare_contents_only(expected, actual):
    """Multiset of file sizes and digests, for readers that rename entries."""
    want = collections.Counter((os.path.getsize(e.src), file_digest(e.src))
                               for e in expected.values() if not e.is_dir)
    got = collections.Counter((a.size, a.digest) for a in actual.values() if not a.is_dir)
    problems = []
    for (size, digest), n in sorted((want - got).items()):
        problems.append("no file on the disc has size %d and sha256 %s... (%d wanted)" % (size, digest[:12], n))
    for (size, digest), n in sorted((got - want).items()):
        problems.append("unexpected file content: size %d sha256 %s... (%d times)" % (size, digest[:12], n))
    return problems


# ---------------------------------------------------------------- readers

def tool_env():
    env = dict(os.environ)
    env["LC_ALL"] = "C.UTF-8"
    return env


def run(args, timeout=180, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, env=tool_env(), **kw)


def tail(data, n=8):
    lines = data.decode("utf-8", "replace").strip().splitlines()
    return ["| " + line for line in lines[-n:]]


def walk_extracted(root):
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        base = tuple(os.path.relpath(dirpath, root).split(os.sep)) if dirpath != root else ()
        for d in dirnames:
            out[base + (d,)] = Seen(True, None, None, None)
        for f in filenames:
            path = os.path.join(dirpath, f)
            out[base + (strip_added_dot(f),)] = Seen(False, os.path.getsize(path), file_digest(path), None)
    return out


def make_writable(root):
    # Extractors keep the read-only modes of the image.
    for dirpath, dirnames, filenames in os.walk(root):
        os.chmod(dirpath, stat.S_IRWXU)


def remove_tree(path):
    if os.path.exists(path):
        make_writable(path)
        shutil.rmtree(path)


def read_xorriso(img, dest):
    remove_tree(dest)
    r = run(["xorriso", "-abort_on", "FAILURE", "-osirrox", "on",
             "-indev", img, "-extract", "/", dest])
    complaints = [l for l in r.stderr.decode("utf-8", "replace").splitlines()
                  if re.search(r"\b(SORRY|FAILURE|FATAL|ABORT)\b", l)]
    if r.returncode != 0 or complaints:
        raise RuntimeError("xorriso exit %d\n        %s" % (
            r.returncode, "\n        ".join(complaints[:8] or tail(r.stderr))))
    try:
        return walk_extracted(dest)
    finally:
        remove_tree(dest)


def read_7z(img, dest):
    remove_tree(dest)
    r = run(["7z", "x", "-y", "-bd", "-o" + dest, img])
    text = (r.stdout + r.stderr).decode("utf-8", "replace")
    if r.returncode != 0 or re.search(r"\b(ERROR|Error|WARNING|Warnings)\b", text):
        raise RuntimeError("7z exit %d\n        %s" % (r.returncode, "\n        ".join(tail(r.stdout + r.stderr))))
    try:
        return walk_extracted(dest)
    finally:
        remove_tree(dest)


ISOINFO_LINE = re.compile(r"^([d-])\S{9}\s+\d+\s+\d+\s+\d+\s+(\d+)\s+\S+\s+\d+\s+\d+\s+"
                          r"\[\s*(\d+)\s+([0-9a-fA-F]+)\]\s\s(.*) $")


def read_isoinfo_listing(img, joliet):
    args = ["isoinfo", "-l", "-i", img] + (["-J", "-j", "iso8859-1"] if joliet else [])
    r = run(args)
    if r.returncode != 0:
        raise RuntimeError("isoinfo exit %d\n        %s" % (r.returncode, "\n        ".join(tail(r.stderr))))
    text = r.stdout.decode("latin-1" if joliet else "utf-8", "surrogateescape")
    out, cur, bad = {}, None, []
    for line in text.splitlines():
        if line.startswith("Directory listing of "):
            path = line[len("Directory listing of "):]
            cur = tuple(c for c in path.strip("/").split("/") if c)
            continue
        if not line.strip():
            continue
        m = ISOINFO_LINE.match(line)
        if not m or cur is None:
            bad.append(line)
            continue
        name = m.group(5)
        if name in (".", ".."):
            continue
        is_dir = m.group(1) == "d"
        flags = int(m.group(4), 16)
        add_seen(out, cur + (name,), Seen(is_dir, None if is_dir else int(m.group(2)), None, bool(flags & 1)))
    if bad:
        raise RuntimeError("isoinfo printed lines we cannot read: %r" % bad[:3])
    return out


def isoinfo_descriptor(img):
    r = run(["isoinfo", "-d", "-i", img])
    if r.returncode != 0:
        raise RuntimeError("isoinfo -d exit %d" % r.returncode)
    text = r.stdout.decode("utf-8", "replace")
    fields = {}
    for line in text.splitlines():
        if ":" in line:
            k, v = line.split(":", 1)
            fields[k.strip()] = v.strip()
    return text, fields


class HashWriter:
    def __init__(self):
        self.h, self.size = hashlib.sha256(), 0

    def write(self, data):
        self.h.update(data)
        self.size += len(data)
        return len(data)


def pycdlib_date_utc(rec):
    d = rec.date
    try:
        local = datetime.datetime(1900 + d.years_since_1900, d.month, d.day_of_month, d.hour, d.minute, d.second)
    except ValueError:
        return "invalid (%d-%d-%d %d:%d:%d)" % (1900 + d.years_since_1900, d.month, d.day_of_month,
                                               d.hour, d.minute, d.second)
    return local - datetime.timedelta(minutes=15 * d.gmtoffset)


def read_pycdlib(iso, tree):
    """Walks one tree; returns {key: Seen} and {key: (extent, utc date)} for files."""
    kw = "iso_path" if tree == "iso" else "joliet_path"
    out, extras = {}, {}
    for path, dirs, files in iso.walk(**{kw: "/"}):
        base = tuple(c for c in path.split("/") if c)
        for d in dirs:
            rec = iso.get_record(**{kw: path.rstrip("/") + "/" + d})
            add_seen(out, base + (d,), Seen(True, None, None, bool(rec.file_flags & 1)))
            if not rec.file_flags & 2:
                raise RuntimeError("%s lacks the directory flag" % show(base + (d,)))
        for f in files:
            p = path.rstrip("/") + "/" + f
            rec = iso.get_record(**{kw: p})
            w = HashWriter()
            iso.get_file_from_iso_fp(w, **{kw: p})
            add_seen(out, base + (f,), Seen(False, w.size, w.h.hexdigest(), bool(rec.file_flags & 1)))
            extras[base + (f,)] = (rec.extent_location(), pycdlib_date_utc(rec))
    return out, extras


# ---------------------------------------------------------------- checks

def check_build(cli, args, sources, img):
    # Every source tree here holds names too long for a Joliet record: the
    # image is written, the names are reported, and the exit code says so.
    # The ISO 9660 and Joliet trees are what is checked here, as readers see
    # them without Rock Ridge; check_rock_ridge.py covers the images with it.
    r = run([cli, "build-iso", "--no-rock-ridge"] + args + ["-o", img] + sources, timeout=300)
    problems = []
    if r.returncode != 3:
        problems.append("exit code %d, expected 3 (written, sources left out)" % r.returncode)
        problems += tail(r.stderr)
    elif b"NAME TOO LONG" not in r.stderr:
        problems.append("the names left out are not reported on stderr")
    elif not os.path.isfile(img):
        problems.append("exit 0 but no image at " + img)
    elif not r.stdout.strip():
        problems.append("no summary on stdout")
    note = "%d bytes" % os.path.getsize(img) if os.path.isfile(img) else ""
    return problems, note


def check_descriptor(img, joliet, ids):
    text, fields = isoinfo_descriptor(img)
    problems = []
    for label, opt, width, _, _ in PVD_FIELDS:
        if opt not in ids:
            continue  # what the command line puts there by default is its own choice
        want = ascii_upper(ids[opt])[:width]
        got = fields.get(label)
        if got is None:
            problems.append("isoinfo -d has no %r line" % label)
        elif got != want:
            problems.append("%s: %r, expected %r" % (label, got, want))
    has_joliet = "Joliet with UCS level" in text
    if has_joliet != joliet:
        problems.append("Joliet %s, expected %s" % ("present" if has_joliet else "absent",
                                                       "present" if joliet else "absent"))
    m = re.search(r"Volume size is:\s*(\d+)", text)
    if not m:
        problems.append("isoinfo -d shows no volume size")
    elif int(m.group(1)) * 2048 > os.path.getsize(img):
        problems.append("volume size %d sectors, but the image holds only %d bytes"
                        % (int(m.group(1)), os.path.getsize(img)))
    return problems, ("%s sectors" % m.group(1)) if m else ""


def primary_descriptor_quirk(img):
    """isoinfo -J takes the first descriptor with a Joliet escape sequence,
    whatever its type; one in the primary descriptor (ECMA-119: unused, zero)
    makes it read the ISO 9660 tree as Joliet."""
    with open(img, "rb") as f:
        f.seek(16 * 2048)
        pvd = f.read(2048)
    if pvd[88:90] == b"%/" and pvd[90:91] in (b"@", b"C", b"E"):
        return ["the primary descriptor carries the Joliet escape sequence %r at bytes 88-90, "
                "so isoinfo -J reads the ISO 9660 tree as if it were Joliet" % pvd[88:91]]
    return []


def check_listing(img, model, joliet):
    view = "isoinfo-joliet" if joliet else "iso"
    try:
        problems = compare(flatten(model, view), read_isoinfo_listing(img, joliet), check_hidden=True)
    except RuntimeError as e:
        problems = [str(e)]
    if problems and joliet:
        problems = primary_descriptor_quirk(img) + problems
    return problems, "%d entries" % len(flatten(model, view))


def check_pycdlib(img, model, joliet, ids):
    iso = pycdlib.PyCdlib()
    iso.open(img)
    problems = []
    try:
        trees = ["iso"] + (["joliet"] if joliet else [])
        if (iso.joliet_vd is not None) != joliet:
            problems.append("pycdlib %s a Joliet descriptor" % ("finds" if iso.joliet_vd is not None else "misses"))
            trees = ["iso"]
        seen = {}
        for tree in trees:
            expected = flatten(model, tree)
            actual, extras = read_pycdlib(iso, tree)
            p = compare(expected, actual, check_hidden=True)
            problems += ["%s tree: %s" % (tree, x) for x in p]
            for key, (extent, date) in extras.items():
                e = expected.get(key)
                if e is None or e.is_dir:
                    continue
                mtime = datetime.datetime.fromtimestamp(int(os.path.getmtime(e.src)),
                                                        datetime.timezone.utc).replace(tzinfo=None)
                if date != mtime:
                    problems.append("%s tree: %s: recorded %s UTC, file was written %s UTC"
                                    % (tree, show(key), date, mtime))
                seen.setdefault(e.src, {})[tree] = extent
        if len(trees) == 2:
            for src, ext in sorted(seen.items()):
                if len(ext) == 2 and ext["iso"] != ext["joliet"] and os.path.getsize(src) > 0:
                    problems.append("%s: ISO extent %d, Joliet extent %d (the trees should share the data)"
                                    % (os.path.basename(src), ext["iso"], ext["joliet"]))
            for _, opt, _, width, attr in PVD_FIELDS:
                if opt not in ids:
                    continue
                raw = getattr(iso.joliet_vd, attr)
                raw = raw.text if hasattr(raw, "text") else raw
                raw = raw[: len(raw) // 2 * 2]  # file identifiers end in a 37th, single byte
                got = raw.decode("utf-16-be", "replace").rstrip(" \x00")
                want = ids[opt][:width]
                if got != want:
                    problems.append("Joliet descriptor %s: %r, expected %r" % (attr, got, want))
    finally:
        iso.close()
    return problems, ""


def check_extracted(reader, img, model, joliet, dest):
    view = "joliet-extracted" if joliet else "iso-extracted"
    expected = flatten(model, view)
    actual = reader(img, dest)
    note = ""
    if reader is read_xorriso and not joliet:
        # libisofs renames ISO 9660 names with bytes above 7Fh (a hash replaces
        # them), so those entries are matched by content only.
        def non_ascii(key):
            return any(ord(c) > 127 for c in "".join(key))
        renamed = re.compile(r"_{3,}.*[0-9a-f]{32}")
        skip = lambda key: non_ascii(key) or any(renamed.search(c) for c in key)
        problems = compare(expected, actual, skip=skip)
        problems += compare_contents_only(expected, actual)
        note = "non-ASCII names matched by content: %d" % sum(1 for k in expected if non_ascii(k))
    else:
        problems = compare(expected, actual)
    files = sum(1 for a in actual.values() if not a.is_dir)
    note = ("%d files" % files) + ("; " + note if note else "")
    return problems, note


def check_failures(cli, work):
    problems = []
    missing = os.path.join(work, "no such folder")
    out = os.path.join(work, "missing-source.iso")
    r = run([cli, "build-iso", "-o", out, missing])
    if r.returncode == 0:
        problems.append("missing source: exit code 0")
    if not r.stderr.strip():
        problems.append("missing source: nothing on stderr")
    r = run([cli, "build-iso", "-o", "/nonexistent/dir/x.iso", os.path.join(work, "edge-src", "edge")])
    if r.returncode == 0:
        problems.append("unwritable output: exit code 0")
    if not r.stderr.strip():
        problems.append("unwritable output: nothing on stderr")
    r = run([cli, "build-iso", "--no-such-option", "-o", out, os.path.join(work, "edge-src", "edge")])
    if r.returncode == 0:
        problems.append("unknown option: exit code 0")
    return problems, ""


def check_replace(cli, work):
    """Two file sources whose names differ only in case: the first one stays,
    unless --replace lets the later one take its place."""
    d = os.path.join(work, "replace")
    first, later = os.path.join(d, "a", "dup.txt"), os.path.join(d, "b", "DUP.txt")
    for path, data in ((first, b"first source\n"), (later, b"later source, longer\n")):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    problems = []
    for flags, want in (([], first), (["--replace"], later)):
        img = os.path.join(work, "replace.iso")
        r = run([cli, "build-iso"] + flags + ["-o", img, first, later])
        label = " ".join(flags) or "without --replace"
        if r.returncode != 0:
            problems.append("%s: exit %d" % (label, r.returncode))
            problems += tail(r.stderr, 3)
            continue
        iso = pycdlib.PyCdlib()
        iso.open(img)
        try:
            for tree in ("iso", "joliet"):
                actual, _ = read_pycdlib(iso, tree)
                files = [(k, a) for k, a in actual.items() if not a.is_dir]
                names = [show(k) for k, _ in files]
                if len(files) != 1 or names[0].upper() != "/DUP.TXT;1":
                    problems.append("%s, %s tree: expected one DUP.TXT;1, found %s" % (label, tree, names))
                elif files[0][1].digest != file_digest(want):
                    problems.append("%s, %s tree: holds %s, expected %s"
                                    % (label, tree, "the other source", os.path.relpath(want, d)))
        finally:
            iso.close()
            os.remove(img)
    return problems, ""


def check_flushed_before_rename(cli, work):
    """Both image writers make the image permanent before it takes its name:
    a rename that reached the disk first could leave the name on a partial
    image after a crash, with the image it replaced gone."""
    if shutil.which("strace") is None:
        return ["strace is not installed"], ""
    # Some containers forbid tracing altogether; that says nothing of ours.
    if run(["strace", "-o", os.devnull, "true"]).returncode != 0:
        return [], "not checked: this machine forbids tracing"
    src = os.path.join(work, "flushed-src")
    os.makedirs(src, exist_ok=True)
    with open(os.path.join(src, "data.bin"), "wb") as f:
        f.write(bytes(range(256)) * 8192)  # 2 MB: the large-file copy path
    img = os.path.join(work, "flushed.iso")
    trace = os.path.join(work, "flushed.trace")
    problems = []
    for flags in (["--quick"], []):
        label = " ".join(flags) or "threaded"
        with open(img, "wb") as f:
            f.write(b"the image this build replaces\n")
        # LeakSanitizer cannot run under a tracer. -y names the file behind
        # each descriptor; a call another thread interrupts is split over two
        # lines, so only the call's start is matched.
        r = run(["strace", "-f", "-y", "-e", "trace=fsync,fdatasync,rename,renameat,renameat2", "-o", trace,
                 "-E", "ASAN_OPTIONS=detect_leaks=0", cli, "build-iso"] + flags + ["-o", img, src])
        with open(trace, errors="replace") as f:
            lines = f.read().splitlines()
        if r.returncode != 0:
            problems.append("%s: exit %d" % (label, r.returncode))
            problems += tail(r.stderr, 3)
            continue
        part = re.escape(img) + r"\.part-[0-9a-f]+"
        synced = renamed = False
        for line in lines:
            if re.search(r"\b(fsync|fdatasync)\(\d+<%s>" % part, line):
                synced = True
            elif re.search(r'\brename(at2?)?\(.*"%s", .*"%s"' % (part, re.escape(img)), line):
                renamed = True
                if not synced:
                    problems.append("%s: the image was renamed into place before it was flushed" % label)
                break
        if not renamed:
            problems.append("%s: no temporary image renamed into place seen in the trace" % label)
    for path in (img, trace):
        if os.path.exists(path):
            os.remove(path)
    return problems, ""


def require_peers():
    missing = [t for t in ("xorriso", "7z", "isoinfo") if shutil.which(t) is None]
    if pycdlib is None:
        missing.append("pycdlib (python3-pycdlib, for %s)" % sys.executable)
    if missing:
        print("FAIL  peer readers missing: %s; scripts/setup.sh test installs them" % ", ".join(missing))
        sys.exit(2)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("cli", help="path to zantic-cli")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    args = ap.parse_args()
    cli = os.path.abspath(args.cli)
    if not os.access(cli, os.X_OK):
        print("FAIL  %s is not an executable" % cli)
        return 2
    require_peers()
    os.environ["TZ"] = "UTC"  # so recorded local times are plain UTC
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix="zantic-interop-")
    try:
        sources = make_main_tree(os.path.join(work, "src"))
        model = build_model(sources)
        edge_sources = make_edge_tree(os.path.join(work, "edge-src"))
        edge_model = build_model(edge_sources)
        ex = os.path.join(work, "extracted")

        img = os.path.join(work, "joliet.iso")
        id_args = [a for opt, val in IDS.items() for a in (opt, val)]
        run_check("build with Joliet and every identifier", check_build, cli, id_args, sources, img)
        if os.path.isfile(img):
            run_check("isoinfo -d: identifiers, Joliet, volume size", check_descriptor, img, True, IDS)
            run_check("isoinfo -l: ISO 9660 tree", check_listing, img, model, False)
            run_check("isoinfo -J -l: Joliet tree", check_listing, img, model, True)
            run_check("pycdlib: both trees, contents, flags, dates, descriptor", check_pycdlib, img, model, True, IDS)
            run_check("xorriso -extract: Joliet names and contents", check_extracted, read_xorriso, img, model, True, ex)
            run_check("7z x: Joliet names and contents", check_extracted, read_7z, img, model, True, ex)
            os.remove(img)

        img = os.path.join(work, "plain.iso")
        plain_ids = {"--volume": "plain volume"}
        run_check("build with --no-joliet", check_build, cli, ["-V", plain_ids["--volume"], "--no-joliet"], sources, img)
        if os.path.isfile(img):
            run_check("isoinfo -d: no Joliet, volume identifier", check_descriptor, img, False, plain_ids)
            run_check("isoinfo -l: ISO 9660 tree (no Joliet)", check_listing, img, model, False)
            run_check("pycdlib: ISO 9660 tree (no Joliet)", check_pycdlib, img, model, False, plain_ids)
            run_check("xorriso -extract: ISO 9660 names and contents", check_extracted, read_xorriso, img, model, False, ex)
            run_check("7z x: ISO 9660 names and contents", check_extracted, read_7z, img, model, False, ex)
            os.remove(img)

        img = os.path.join(work, "edge.iso")
        edge_ids = {"--volume": "EDGE"}
        run_check("build with 109- and 110-character names", check_build, cli, ["-V", "EDGE"], edge_sources, img)
        if os.path.isfile(img):
            run_check("pycdlib: 109/110-character names", check_pycdlib, img, edge_model, True, edge_ids)
            run_check("7z x: 109/110-character names", check_extracted, read_7z, img, edge_model, True, ex)
            run_check("xorriso -extract: 109/110-character names", check_extracted, read_xorriso, img, edge_model, True, ex)
            os.remove(img)

        run_check("bad input: missing source, unwritable output, unknown option", check_failures, cli, work)
        run_check("same name twice, with and without --replace", check_replace, cli, work)
        run_check("the image is flushed before it takes its name", check_flushed_before_rename, cli, work)
    finally:
        if args.keep:
            print("work folder kept: " + work)
        else:
            remove_tree(work)
    failed = [n for n, ok in RESULTS if not ok]
    print("%d checks, %d failed, %.1f s" % (len(RESULTS), len(failed), time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
