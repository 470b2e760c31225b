#!/usr/bin/python3
"""Rock Ridge images from zantic-cli read back by xorriso, isoinfo -R, 7z and
pycdlib: whole long and UTF-8 names, modes, symbolic links, times and a tree
twelve levels deep; with --no-rock-ridge no Rock Ridge at all.

usage: check_rock_ridge.py ZANTIC_CLI [--entries N]

Prints one line per check; exits non-zero when any check fails.
"""
import io
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import pycdlib
except ImportError:
    pycdlib = None

MTIME = 1614834367  # 2021-03-04T05:06:07Z
ATIME = 1600000000
FAILED = []


def check(ok, what):
    print(("PASS  " if ok else "FAIL  ") + what)
    sys.stdout.flush()
    if not ok:
        FAILED.append(what)


def run(args, **kw):
    env = dict(os.environ, LC_ALL="C.UTF-8")
    return subprocess.run(args, capture_output=True, timeout=600, env=env, **kw)


def make_tree(root):
    """The source tree and the model of what must come back: path -> (kind, mode, target)."""
    model = {}

    def put(rel, data, mode):
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)
        os.utime(path, (ATIME, MTIME))
        model[rel] = ("f", mode, None)

    long_name = "long-" + "x" * 190 + ".txt"
    put(long_name, b"long\n", 0o644)
    put("long-" + "x" * 190 + "-twin.txt", b"twin\n", 0o644)  # same start: shortened names must differ
    put("Grüße aus Köln – ☃ 𝄞.txt", "utf8\n".encode(), 0o640)
    put("README", b"no extension\n", 0o600)
    put("bin/tool.sh", b"#!/bin/sh\n", 0o755)
    put("private/secret.txt", b"s\n", 0o400)
    os.chmod(os.path.join(root, "private"), 0o700)
    model["private"] = ("d", 0o700, None)
    deep = "/".join("level%02d" % i for i in range(1, 13))
    put(deep + "/bottom.txt", b"deep\n", 0o644)
    links = {
        "link-relative": "bin/tool.sh",
        "link-absolute": "/etc/hostname",
        "link-dangling": "nowhere/at/all",
        "link-outside": "../../../../outside",
        "bin/link-up": "../README",
        # Longer than one SL entry; libisofs reads links up to 1024 bytes.
        "link-long": "/".join(["component" + "y" * 50] * 16),
    }
    for rel, target in links.items():
        os.symlink(target, os.path.join(root, rel))
        model[rel] = ("l", 0o777, target)
    return model, long_name


def xorriso_model(img, dest):
    r = run(["xorriso", "-osirrox", "on", "-indev", img, "-extract", "/", dest])
    if r.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace")[-400:])
    got = {}
    for top, dirs, files in os.walk(dest):
        for name in dirs + files:
            path = os.path.join(top, name)
            rel = os.path.relpath(path, dest)
            st = os.lstat(path)
            if os.path.islink(path):
                got[rel] = ("l", 0o777, os.readlink(path), st.st_mtime)
            elif os.path.isdir(path):
                got[rel] = ("d", st.st_mode & 0o7777, None, st.st_mtime)
            else:
                got[rel] = ("f", st.st_mode & 0o7777, None, st.st_mtime)
    return got


def check_image(cli, src, model, long_name, work):
    img = os.path.join(work, "rr.iso")
    r = run([cli, "build-iso", "-V", "RR_CHECK", "-o", img, src])
    check(r.returncode == 0, "build-iso with Rock Ridge" + ("" if r.returncode == 0 else
                                                            ": " + r.stderr.decode(errors="replace").strip()[-300:]))
    if r.returncode != 0:
        return

    dest = os.path.join(work, "xorriso-out")
    try:
        # A folder source is a folder of its own name on the disc, with its own mode and time.
        whole = xorriso_model(img, dest)
        got = {os.path.relpath(k, "src"): v for k, v in whole.items() if k.startswith("src/")}
    except Exception as e:
        check(False, "xorriso extracts the image: %s" % e)
        whole, got = {}, {}
    top = whole.get("src")
    check(top is not None and top[1] == 0o750 and int(top[3]) == MTIME + 1,
          "xorriso: the source folder's own mode and time (%s)" % (top,))
    missing = [p for p in model if p not in got]
    check(not missing, "xorriso: every name whole, long and UTF-8 ones too (missing: %s)" % missing[:3])
    wrong = [p for p, (kind, mode, target) in model.items()
             if p in got and (got[p][0] != kind or (kind != "l" and got[p][1] != mode) or got[p][2] != target)]
    check(not wrong, "xorriso: kinds, modes and link targets as in the source (%s)" % wrong[:3])
    times = [p for p, v in model.items() if v[0] == "f" and p in got and int(got[p][3]) != MTIME]
    check(not times, "xorriso: modification times kept (%s)" % times[:3])
    r = run(["xorriso", "-indev", img, "-lsl", "/src"])
    listing = r.stdout.decode(errors="replace")
    check("lrwxrwxrwx" in listing and "-rw-------" in listing, "xorriso -lsl shows modes and links")

    r = run(["isoinfo", "-R", "-l", "-i", img])
    text = r.stdout.decode("utf-8", errors="replace")
    check(r.returncode == 0 and long_name in text, "isoinfo -R lists the 200-character name whole")
    check("-rwx------" not in text and "-r--------" in text and "link-relative -> bin/tool.sh" in text,
          "isoinfo -R: modes and links")
    deep = "/src/" + "/".join("level%02d" % i for i in range(1, 13))
    # isoinfo follows no CL: it shows the moved folders where the ISO tree has them.
    check("/level07/level08/level09/level10/level11/level12/" in text and "bottom.txt" in text,
          "isoinfo -R: the 12-level tree's names")
    r = run(["isoinfo", "-d", "-i", img])
    check(b"Rock Ridge signatures version 1 found" in r.stdout, "isoinfo -d finds Rock Ridge")
    # The plain ISO 9660 view keeps to eight levels: the deep part is moved.
    r = run(["isoinfo", "-l", "-i", img])
    dirs = [l[len("Directory listing of "):].strip("/")
            for l in r.stdout.decode(errors="replace").splitlines() if l.startswith("Directory listing of ")]
    levels = max(1 + len(d.split("/")) if d else 1 for d in dirs)
    check(r.returncode == 0 and levels <= 8 and any(d.startswith("RR_MOVED/") for d in dirs),
          "isoinfo without -R: no level past eight (%d), the deep folders moved" % levels)
    r = run(["xorriso", "-indev", img, "-lsl", "/"])
    check("rr_moved" not in r.stdout.decode(errors="replace").lower(), "xorriso hides the relocation folder")

    r = run(["7z", "l", "-slt", img])
    text = r.stdout.decode("utf-8", errors="replace")
    check(r.returncode == 0 and deep.lstrip("/") + "/bottom.txt" in text,
          "7z lists the image, the deep tree in place (Joliet names where too long)")

    if pycdlib is not None:
        iso = pycdlib.PyCdlib()
        iso.open(img)
        seen = {}
        for top, dirs, files in iso.walk(rr_path="/"):
            for name in files:
                rec = iso.get_record(rr_path=top.rstrip("/") + "/" + name)
                rel = (top.rstrip("/") + "/" + name).lstrip("/")[len("src/"):]
                seen[rel] = rec.rock_ridge.symlink_path().decode() if rec.rock_ridge.is_symlink() else None
        # Its walk names a moved folder's files by the ISO tree's path, but
        # paths through the CL placeholders reach them.
        data = io.BytesIO()
        iso.get_file_from_iso_fp(data, rr_path=deep + "/bottom.txt")
        iso.close()
        check(long_name in seen and seen.get("link-relative") == "bin/tool.sh" and
              seen.get("link-long") == model["link-long"][2], "pycdlib: long names and link targets")
        check(data.getvalue() == b"deep\n", "pycdlib: the 12-level tree's file by its whole path")
    else:
        check(False, "pycdlib is installed")

    off = os.path.join(work, "plain.iso")
    r = run([cli, "build-iso", "--no-rock-ridge", "-V", "RR_CHECK", "-o", off, src])
    out = run(["isoinfo", "-d", "-i", off]).stdout
    # Links are followed then, and the dangling ones are left out (exit 3).
    check(r.returncode in (0, 3) and b"NO Rock Ridge present" in out, "--no-rock-ridge writes no Rock Ridge")


def check_sessions(cli, work):
    """Three sessions on a DVD+R, each adding files, each importing the one before."""
    disc = os.path.join(work, "dvd.zvd")
    run([cli, "vdisc", "create", disc, "--media", "dvd+r", "--blocks", "60000"])
    expect = {}
    for n in (1, 2, 3):
        src = os.path.join(work, "sessions", "s%d" % n)
        long_name = ("session%d-" % n) + "z" * 180 + ".txt"
        os.makedirs(os.path.join(src, "sub"))
        files = [(long_name, 0o640), ("sub/run.sh", 0o750), ("plain", 0o600)]
        if n == 1:
            files.append(("/".join("d%d" % i for i in range(1, 13)) + "/deep.txt", 0o644))
        for rel, mode in files:
            os.makedirs(os.path.dirname(os.path.join(src, rel)), exist_ok=True)
            with open(os.path.join(src, rel), "w") as f:
                f.write("session %d %s\n" % (n, rel))
            os.chmod(os.path.join(src, rel), mode)
            os.utime(os.path.join(src, rel), (ATIME, MTIME + n))
            expect["s%d/%s" % (n, rel)] = ("f", mode, None)
        os.symlink("../" + long_name, os.path.join(src, "sub", "to-long"))
        os.symlink("/outside/of/dest", os.path.join(src, "abs"))
        expect["s%d/sub/to-long" % n] = ("l", 0o777, "../" + long_name)
        expect["s%d/abs" % n] = ("l", 0o777, "/outside/of/dest")
        args = [cli, "burn", "--device", disc, "-V", "S%d" % n] + (["--import-session", "-1"] if n > 1 else []) + [src]
        r = run(args)
        check(r.returncode == 0, "DVD+R session %d burned%s" % (n, "" if n == 1 else " importing the one before"))
    r = run([cli, "ls", "--device", disc, "--modes"])
    text = r.stdout.decode("utf-8", errors="replace")
    check(r.returncode == 0 and all(("/" + p) in text for p in expect) and "rw-r-----" in text and
          "-> /outside/of/dest" in text, "ls --modes shows all three sessions' names, modes and links")
    dest = os.path.join(work, "restored")
    os.makedirs(dest)
    r = run([cli, "extract", "--device", disc, "/", dest])
    check(r.returncode == 0, "extract of the third session" + ("" if r.returncode == 0 else
                                                              ": " + r.stderr.decode(errors="replace")[-300:]))
    wrong = []
    for rel, (kind, mode, target) in expect.items():
        path = os.path.join(dest, rel)
        if kind == "l":
            if not os.path.islink(path) or os.readlink(path) != target:
                wrong.append(rel)
        elif (not os.path.isfile(path) or os.path.islink(path) or os.lstat(path).st_mode & 0o7777 != mode
              or int(os.lstat(path).st_mtime) != MTIME + int(rel[1])):
            wrong.append(rel)
    check(not wrong, "extract restores every name, mode, time and link of the three sessions (%s)" % wrong[:3])
    check(not os.path.exists("/outside/of/dest"), "a link pointing outside DEST is created, not followed")


def check_many(cli, work, count):
    src = os.path.join(work, "many")
    for i in range(count):
        d = os.path.join(src, "d%03d" % (i // 1000))
        if i % 1000 == 0:
            os.makedirs(d)
        open(os.path.join(d, "file-%06d-with-a-longish-name.txt" % i), "w").close()
    img = os.path.join(work, "many.iso")
    r = run([cli, "build-iso", "-o", img, src])
    check(r.returncode == 0, "build-iso of %d entries" % count)
    r = run(["isoinfo", "-R", "-f", "-i", img])
    names = [l for l in r.stdout.decode(errors="replace").splitlines() if l.endswith("-with-a-longish-name.txt")]
    check(len(names) == count, "isoinfo -R finds all %d files (%d)" % (count, len(names)))


def main():
    cli = sys.argv[1]
    count = int(sys.argv[sys.argv.index("--entries") + 1]) if "--entries" in sys.argv else 20000
    work = tempfile.mkdtemp(prefix="zantic-rr-")
    try:
        src = os.path.join(work, "src")
        os.makedirs(src)
        model, long_name = make_tree(src)
        os.chmod(src, 0o750)
        os.utime(src, (ATIME, MTIME + 1))
        check_image(cli, src, model, long_name, work)
        check_sessions(cli, work)
        check_many(cli, work, count)
    finally:
        for top, dirs, _ in os.walk(work):
            for d in dirs:
                p = os.path.join(top, d)
                if not os.path.islink(p):
                    os.chmod(p, 0o755)
        shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(FAILED))
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
