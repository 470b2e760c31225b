#!/usr/bin/python3
"""Earlier sessions on virtual discs, through zantic-cli only.

usage: check_import.py ZANTIC_CLI

A first session is burned, a second one burned with --import-session -1:
the second lists the first one's files at their old sectors and is far
smaller than the data it lists. Images other tools made (xorriso appending
to an image file, genisoimage -C/-M) are listed as image files, and pressed
as DVD-ROM.
Prints one line per check and exits non-zero when any check fails.
"""
import os
import subprocess
import sys
import tempfile

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def run(args, cwd=None):
    return subprocess.run(args, capture_output=True, text=True, cwd=cwd)


def listing(cli, disc, *extra):
    """Path -> (size, sector) of the files `ls` shows."""
    r = run([cli, "ls", "--device", disc, *extra])
    files = {}
    for line in r.stdout.splitlines():
        parts = line.split(None, 5)  # kind, size, date, time, sector, path
        if len(parts) == 6 and parts[0] == "-":
            files[parts[5]] = (int(parts[1]), int(parts[4]))
    return r.returncode, files


def main():
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        s1, s2 = os.path.join(tmp, "s1"), os.path.join(tmp, "s2")
        os.makedirs(s1)
        os.makedirs(s2)
        with open(os.path.join(s1, "big.bin"), "wb") as f:
            f.write(os.urandom(2 << 20))
        with open(os.path.join(s1, "Read Me.txt"), "w") as f:
            f.write("one\n")
        with open(os.path.join(s2, "new.txt"), "w") as f:
            f.write("two\n")

        for media in ("dvd+r", "cd-r"):
            disc = os.path.join(tmp, media + ".zvd")
            run([cli, "vdisc", "create", disc, "--media", media, "--blocks", "60000"])
            r = run([cli, "burn", "--device", disc, "-V", "ONE", s1])
            check(r.returncode == 0, f"{media}: first session" + ("" if r.returncode == 0 else " " + r.stderr[-200:]))
            rc, before = listing(cli, disc)
            check(rc == 0 and before.get("/s1/big.bin", (0, 0))[0] == 2 << 20, f"{media}: first session listed")
            r = run([cli, "burn", "--device", disc, "-V", "TWO", "--import-session", "-1", s2])
            check(r.returncode == 0 and "IMPORTING SESSION # 1" in r.stderr, f"{media}: second session imports the first")
            rc, after = listing(cli, disc)
            check(all(after.get(p) == v for p, v in before.items()) and "/s2/new.txt" in after,
                  f"{media}: old files keep their sectors in the new session {sorted(after)}")
            info = run([cli, "vdisc", "info", disc]).stdout
            sizes = [int(l.split("size ")[1].split()[0]) for l in info.splitlines() if l.startswith("track ") and "size " in l]
            check(len(sizes) >= 2 and sizes[1] < 1024, f"{media}: the second session does not write the old data again {sizes}")
            _, first = listing(cli, disc, "--session", "1")
            check(first == before, f"{media}: session 1 still lists as before")
            _, last = listing(cli, disc, "--session", "9")
            check(last == after, f"{media}: a session above the last lists the last")

        images = {}
        if run(["sh", "-c", "command -v xorriso"]).returncode == 0:
            img = os.path.join(tmp, "xo.iso")
            run(["xorriso", "-dev", "stdio:" + img, "-joliet", "on", "-add", "Read Me.txt", "--"], cwd=s1)
            run(["xorriso", "-dev", "stdio:" + img, "-joliet", "on", "-add", "new.txt", "--"], cwd=s2)
            images["xorriso"] = (img, {"/Read Me.txt", "/new.txt"}, {"/Read Me.txt", "/new.txt"})
        if run(["sh", "-c", "command -v genisoimage"]).returncode == 0:
            g1, g2, gm = (os.path.join(tmp, n) for n in ("g1.iso", "g2.bin", "gm.iso"))
            run(["genisoimage", "-quiet", "-o", g1, s1])
            nxt = os.path.getsize(g1) // 2048
            run(["genisoimage", "-quiet", "-J", "-C", f"0,{nxt}", "-M", g1, "-o", g2, s2])
            with open(gm, "wb") as out:
                out.write(open(g1, "rb").read() + open(g2, "rb").read())
            # A pressed disc has one track: its descriptors at 16 are the first session's.
            images["genisoimage"] = (gm, {"/READ_ME.TXT", "/BIG.BIN"}, {"/READ_ME.TXT", "/BIG.BIN", "/new.txt"})
        for tool, (img, names, newest) in images.items():
            disc = os.path.join(tmp, tool + ".zvd")
            r = run([cli, "vdisc", "press", disc, "--media", "dvd-rom", img])
            rc, files = listing(cli, disc)
            check(r.returncode == 0 and rc == 0 and names <= set(files), f"{tool} image pressed as DVD-ROM: {sorted(files)}")
            r = run([cli, "ls", "--image", img])
            check(r.returncode == 0 and all(n in r.stdout for n in newest), f"{tool} image file: newest session listed")

    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
