#!/usr/bin/env python3
"""zantic-cli.exe under wine builds an image of a tree with short, long and
non-ANSI names. isoinfo and xorriso read it back whole: every file with its
bytes and long name (Joliet), and as ISO 9660 names the 8.3 aliases the file
system gives, as wine's own "dir /x" lists them, or the uppercased long name
where it gives none.

usage: check_windows_build.py WINE_RUN [ARG...] ZANTIC_CLI_EXE

WINE_RUN and its arguments are the build's emulator (scripts/wine-run.sh,
with --qt DIR in the desktop program's build).
"""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

UNICODE_NAME = "\u0416\u0443\u043a \u6587.txt"  # no ANSI code page holds both
TREE = {
    "short.txt": 5,
    "UPPER.TXT": 1,
    "Long File Name.text": 2049,
    "very_long_name_here.txt": 2048,
    UNICODE_NAME: 70000,
    "a.b.c.d": 3,
    "empty.dat": 0,
    "Quarterly Reports/q1 summary.doc": 3 * 1024 * 1024 + 17,
    "Quarterly Reports/deep folder/most.bin": 4096,
}
TOP = "Backup Set"


def content(rel, size):
    seed = hashlib.sha256(rel.encode()).digest()
    return (seed * (size // len(seed) + 1))[:size]


def run(args, **kw):
    env = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=240, env=env, **kw)


def wine_loader(exe):
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 60)[0]
    machine = struct.unpack_from("<H", head, pe + 4)[0]
    return "/usr/lib/wine/wine64" if machine == 0x8664 else "/usr/lib/wine/wine"


# " 12/9/2026   7:09 AM  <DIR>         QUAR~3EU     Quarterly Reports"
# " 12/9/2026   7:09 AM          2049  LONG~UHB.TEX Long File Name.text"
DIR_LINE = re.compile(r"^\s*\S+\s+\S+(?:\s+[AP]M)?\s+(<DIR> {9}|[\d,]+  )(.{12}) (.+)$")


def aliases(loader, work, folder):
    """Long name -> 8.3 alias ("" for none), as wine's cmd lists the folder."""
    r = run([loader, "cmd", "/c", "dir", "/x", folder.replace("/", "\\")], cwd=work)
    if r.returncode != 0:
        raise RuntimeError("dir /x %s failed: %s" % (folder, r.stderr.decode(errors="replace")))
    out = {}
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        m = DIR_LINE.match(line.rstrip("\r"))
        if m and m.group(3) not in (".", ".."):
            out[m.group(3)] = m.group(2).strip()
    # The console shows characters outside its code page as "?": the one
    # such entry per folder is the non-ANSI file.
    for shown in [n for n in out if "?" in n]:
        out[UNICODE_NAME] = out.pop(shown)
    return out


def iso_name(long_name, alias, is_dir):
    name = alias or long_name.upper()
    if is_dir:
        return name
    return (name if "." in name else name + ".") + ";1"


ISOINFO_LINE = re.compile(r"^([d-])\S{9}\s+\d+\s+\d+\s+\d+\s+(\d+)\s+\S+\s+\d+\s+\d+\s+\[\s*\d+\s+[0-9a-fA-F]+\]\s\s(.*) $")


def latin1_or_blank(name):
    # isoinfo -J -j iso8859-1 prints Latin-1 as is and any other character as "_".
    return "".join(c if ord(c) < 256 else "_" for c in name)


def isoinfo_listing(img, joliet):
    args = ["isoinfo", "-l", "-i", img] + (["-J", "-j", "iso8859-1"] if joliet else [])
    r = run(args)
    if r.returncode != 0:
        raise RuntimeError("isoinfo failed: %s" % r.stderr.decode(errors="replace"))
    out, cur = {}, None
    for line in r.stdout.decode("latin-1").splitlines():
        if line.startswith("Directory listing of "):
            cur = line[len("Directory listing of "):].strip("/")
            continue
        m = ISOINFO_LINE.match(line)
        if m and cur is not None and m.group(3) not in (".", ".."):
            path = (cur + "/" if cur else "") + m.group(3)
            out[path] = None if m.group(1) == "d" else int(m.group(2))
    return out


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    wine_run, cli = sys.argv[1:-1], os.path.abspath(sys.argv[-1])
    loader = wine_loader(cli)
    work = tempfile.mkdtemp(prefix="zantic-win-")
    problems = []
    try:
        for rel, size in TREE.items():
            path = os.path.join(work, TOP, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content(rel, size))
        r = run(wine_run + [cli, "build-iso", "-V", "WINTEST", "-o", "out.iso", TOP], cwd=work)
        if r.returncode != 0:
            raise RuntimeError("build-iso exit %d: %s" % (r.returncode, r.stderr.decode(errors="replace")))
        img = os.path.join(work, "out.iso")

        # The expected trees: ISO 9660 names from the aliases, Joliet names long.
        folders = sorted({os.path.dirname(rel) for rel in TREE} | {""})
        alias_of = {f: aliases(loader, work, os.path.join(TOP, f) if f else TOP) for f in folders}
        given = sum(1 for f in alias_of.values() for a in f.values() if a)
        if given == 0:
            problems.append("the file system gave no 8.3 alias at all; nothing to compare")
        # A folder given by name gets the short-name rule: 13 characters,
        # uppercased, blanks as "_".
        top_iso = TOP.upper().replace(" ", "_")[:13]
        want_iso, want_joliet = {top_iso: None}, {TOP: None}
        for rel, size in TREE.items():
            parts = rel.split("/")
            iso_path, folder = [top_iso], ""
            for i, part in enumerate(parts):
                is_dir = i < len(parts) - 1
                iso_path.append(iso_name(part, alias_of[folder].get(part, "?"), is_dir))
                folder = "/".join(parts[: i + 1])
                want_iso["/".join(iso_path)] = None if is_dir else size
                joliet_path = "/".join([TOP] + parts[: i + 1]) + ("" if is_dir else ";1")
                want_joliet[latin1_or_blank(joliet_path)] = None if is_dir else size
        for joliet, want in ((False, want_iso), (True, want_joliet)):
            got = isoinfo_listing(img, joliet)
            if got != want:
                problems.append("isoinfo %s listing differs:\n  missing %s\n  unexpected %s" % (
                    "-J" if joliet else "(ISO 9660)", sorted(set(want.items()) - set(got.items())),
                    sorted(set(got.items()) - set(want.items()))))

        # Every byte back through xorriso (Joliet names), nothing more.
        dest = os.path.join(work, "x")
        r = run(["xorriso", "-abort_on", "FAILURE", "-osirrox", "on", "-indev", img, "-extract", "/", dest])
        if r.returncode != 0:
            raise RuntimeError("xorriso exit %d: %s" % (r.returncode, r.stderr.decode(errors="replace")[-800:]))
        seen = {}
        for dirpath, _, filenames in os.walk(dest):
            for name in filenames:
                path = os.path.join(dirpath, name)
                with open(path, "rb") as f:
                    seen[os.path.relpath(path, dest)] = f.read()
        want_files = {os.path.join(TOP, *rel.split("/")): content(rel, size) for rel, size in TREE.items()}
        if set(seen) != set(want_files):
            problems.append("xorriso extracted %s, expected %s" % (sorted(seen), sorted(want_files)))
        for rel, data in want_files.items():
            if rel in seen and seen[rel] != data:
                problems.append("xorriso: %s differs from its source" % rel)

        # One file through its ISO 9660 path, alias included.
        unicode_iso = "/" + top_iso + "/" + iso_name(UNICODE_NAME, alias_of[""].get(UNICODE_NAME, "?"), False)
        r = run(["isoinfo", "-i", img, "-x", unicode_iso])
        if r.stdout != content(UNICODE_NAME, TREE[UNICODE_NAME]):
            problems.append("isoinfo -x %s gave %d bytes, not the file" % (unicode_iso, len(r.stdout)))
        print("aliases given by the file system: %d; files checked: %d" % (given, len(want_files)))
    except (RuntimeError, subprocess.TimeoutExpired) as e:
        problems.append(str(e))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for p in problems:
        print("FAIL: " + p)
    if not problems:
        print("PASS: the Windows build's image reads back whole, with the file system's 8.3 aliases")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
