#!/usr/bin/python3
"""Blu-ray discs on the virtual recorder, through zantic-cli only, read back
by readers we did not write.

usage: check_bluray.py ZANTIC_CLI EXAMPLES_DIR [--large]

Per medium (BD-R, BD-R DL, BD-RE, BD-RE DL): three sessions, each burned with
--verify and read back whole from the exported sectors by xorriso, isoinfo
and 7z; disc-info, drive-info, check and read on the disc. A BD-ROM pressed
from an image reads back byte for byte. An image one sector too large for a
BD-R formatted with spare areas is refused before anything is written; the
same image fits the disc without them. Erasing a BD-RE formats it.
--large, instead: a 40 GB compilation of sparse files, one above 4 GiB, on
a full-size BD-R DL, listed back at its sizes (the holes stay holes on the
disc file).
One line per check; non-zero exit on any failure.
"""
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def same_tree(a, b):
    """True when every file under a is under b with the same bytes."""
    for root, _, files in os.walk(a):
        for f in files:
            src = os.path.join(root, f)
            dst = os.path.join(b, os.path.relpath(src, a))
            if not os.path.isfile(dst) or not filecmp.cmp(src, dst, shallow=False):
                return False
    return True


def main():
    cli, examples = sys.argv[1], os.path.abspath(sys.argv[2])
    large = "--large" in sys.argv[3:]
    work = tempfile.mkdtemp(prefix="zantic-bd-")
    env = dict(os.environ, ZANTIC_VDRIVE_TIMESCALE="0.001", XDG_DATA_HOME=work, HOME=work)
    env.pop("ZANTIC_VDISC", None)
    if large:
        large_check(cli, env, work, check)
        shutil.rmtree(work, ignore_errors=True)
        print(f"{len(failures)} failures")
        return 1 if failures else 0

    def run(args, **kw):
        return subprocess.run([cli] + args, env=env, capture_output=True, text=True, errors="replace", **kw)

    def tail(r):
        return r.stderr.strip()[-160:]

    def last_start(disc):
        starts = [int(line.split("start ")[1].split(",")[0]) for line in run(["vdisc", "info", disc]).stdout.splitlines()
                  if line.startswith("track ") and "start " in line]
        return starts[-1] if starts else 0

    def read_back(disc, name):
        """The last session extracted by xorriso, isoinfo (Joliet) and 7z from the exported sectors."""
        iso = os.path.join(work, name + ".iso")
        if run(["vdisc", "export", disc, iso]).returncode != 0:
            return {}
        start = last_start(disc)
        trees = {}
        out = os.path.join(work, name + ".xorriso")
        load = ["-load", "sbsector", str(start)] if start > 0 else []
        if subprocess.run(["xorriso", "-osirrox", "on"] + load + ["-indev", iso, "-extract", "/", out],
                          capture_output=True).returncode == 0:
            trees["xorriso"] = out
        # isoinfo is pointed at the last session's start (-T); 7z reads the session at sector 0 only.
        out = os.path.join(work, name + ".isoinfo")
        listing = subprocess.run(["isoinfo", "-J", "-f", "-i", iso] + (["-T", str(start)] if start else []),
                                 capture_output=True, text=True)
        if listing.returncode == 0:
            ok = True
            paths = [p for p in listing.stdout.splitlines() if p]
            folders = {os.path.dirname(p) for p in paths}
            for path in paths:
                if path in folders:
                    continue
                data = subprocess.run(["isoinfo", "-J", "-i", iso, "-x", path] +
                                      (["-T", str(start)] if start else []), capture_output=True)
                if data.returncode != 0:
                    ok = False
                    continue
                # Joliet names as isoinfo shows them carry the ";1" version.
                target = os.path.join(out, path.lstrip("/").rsplit(";", 1)[0])
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(data.stdout)
            if ok:
                trees["isoinfo"] = out
        if start == 0:
            out = os.path.join(work, name + ".7z")
            if subprocess.run(["7z", "x", "-y", "-o" + out, iso], capture_output=True).returncode == 0:
                trees["7z"] = out
        return trees

    docs, data = os.path.join(examples, "docs"), os.path.join(examples, "data")
    third = os.path.join(work, "third")
    os.makedirs(third)
    with open(os.path.join(third, "notes.bin"), "wb") as f:
        f.write(os.urandom(3 << 20))

    for medium, name in (("bd-r", "BD-R"), ("bd-r-dl", "BD-R"), ("bd-re", "BD-RE"), ("bd-re-dl", "BD-RE")):
        disc = os.path.join(work, medium + ".zvd")
        run(["vdisc", "create", disc, "--media", medium, "--blocks", "60000"])
        info = run(["disc-info", "--device", disc]).stdout
        check(name in info, f"{medium}: disc-info names the medium {name}")
        sessions = [("ONE", docs, []), ("TWO", data, ["--import-session", "-1"]),
                    ("THREE", third, ["--import-session", "-1"])]
        for n, (label, folder, extra) in enumerate(sessions, 1):
            r = run(["burn", "--device", disc, "--verify", "--checksums", "-V", label] + extra + [folder])
            check(r.returncode == 0, f"{medium}: session {n} burned and verified ({tail(r)})")
            trees = read_back(disc, f"{medium}-{n}")
            expected = [("docs", docs), ("data", data), ("third", third)][:n]
            # 7z reads the first session only: a BD-R's later ones start further on.
            readers = ["xorriso", "isoinfo"] + (["7z"] if n == 1 or "re" in medium else [])
            for reader in readers:
                tree = trees.get(reader)
                check(tree is not None and all(same_tree(src, os.path.join(tree, sub)) for sub, src in expected),
                      f"{medium}: session {n} read back whole by {reader}, byte for byte")
        r = run(["check", "--device", disc])
        check(r.returncode == 0 and " 0 read, 0 damaged, 0 unreadable, 0 missing" in r.stdout,
              f"{medium}: check compares every file with its checksum ({r.stdout.strip()[-120:]})")
        image = os.path.join(work, medium + "-read.iso")
        r = run(["read", "--device", disc, "-o", image])
        exported = os.path.join(work, medium + "-3.iso")
        # A BD-RE reads to the end of its file system, the export to the last block written.
        got = open(image, "rb").read() if os.path.exists(image) else b""
        check(r.returncode == 0 and len(got) > 0 and open(exported, "rb").read(len(got)) == got,
              f"{medium}: read gives the exported sectors ({tail(r)})")
        info = run(["vdisc", "info", disc]).stdout
        if "re" in medium:
            check("sessions: 1" in info and "spare areas:" in info,
                  f"{medium}: formatted with spare areas by the first burn, grown in place")
            r = run(["erase", "--device", disc, "--quick"])
            check(r.returncode == 0 and "recorded up to: 0 blocks" in run(["vdisc", "info", disc]).stdout,
                  f"{medium}: erase formats the disc ({tail(r)})")
        else:
            check("sessions: 4" in info, f"{medium}: three closed sessions and room for more")
        for f in os.listdir(work):
            if f.startswith(medium + "-") and (f.endswith(".xorriso") or f.endswith(".isoinfo") or f.endswith(".7z")):
                shutil.rmtree(os.path.join(work, f), ignore_errors=True)

    drive = run(["drive-info", "--device", os.path.join(work, "bd-r.zvd")]).stdout
    check("[x] WriteBDR" in drive and "[x] WriteBDRE" in drive and "[x] ReadBD" in drive,
          "drive-info shows the Blu-ray boxes")
    check("6.0X (26,970 KB/s)" in drive, "drive-info lists 6X in BD factors")

    # A pressed BD-ROM reads back as the image it was pressed from.
    source = os.path.join(work, "bd-r-1.iso")
    rom = os.path.join(work, "bd-rom.zvd")
    r = run(["vdisc", "press", rom, "--media", "bd-rom", source])
    back = os.path.join(work, "bd-rom-read.iso")
    r2 = run(["read", "--device", rom, "-o", back])
    check(r.returncode == 0 and r2.returncode == 0 and filecmp.cmp(source, back, shallow=False),
          f"bd-rom: pressed and read back byte for byte ({tail(r)}{tail(r2)})")
    check("BD-ROM" in run(["disc-info", "--device", rom]).stdout, "bd-rom: disc-info names the medium")

    # Spare areas count: one sector more than the user area of a BD-R formatted with them.
    raw = 16000
    user = raw - raw // 16 // 32 * 32
    image = os.path.join(work, "one-too-many.iso")
    with open(image, "wb") as f:
        f.write(open(source, "rb").read(64 * 2048))
        f.truncate((user + 1) * 2048)
    for spare in (True, False):
        disc = os.path.join(work, "fit-%s.zvd" % ("spare" if spare else "plain"))
        run(["vdisc", "create", disc, "--media", "bd-r", "--blocks", str(raw)] + (["--spare-areas"] if spare else []))
        log = os.path.join(work, "fit.log")
        r = subprocess.run([cli, "burn-iso", "--device", disc, image], env=dict(env, ZANTIC_VDRIVE_LOG=log),
                           capture_output=True, text=True)
        writes = sum(1 for line in open(log, errors="replace") if line.split()[1:2] == ["2A"]) if os.path.exists(log) else 0
        if os.path.exists(log):
            os.remove(log)
        if spare:
            check(r.returncode != 0 and f"NEEDS {user + 1} SECTORS" in r.stderr and f"ONLY {user} FREE" in r.stderr
                  and writes == 0, f"bd-r with spare areas: {user + 1} sectors refused before any write ({tail(r)})")
        else:
            check(r.returncode == 0, f"bd-r without spare areas: the same image fits ({tail(r)})")

    shutil.rmtree(work, ignore_errors=True)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


def large_check(cli, env, work, check):
    """40 GB of sparse sources with a 5 GiB file on a full-size BD-R DL."""
    gib = 1 << 30
    src = os.path.join(work, "large")
    os.makedirs(src)
    sizes = {"big_5g.bin": 5 * gib, "a_9g.bin": 9 * gib, "b_9g.bin": 9 * gib, "c_9g.bin": 9 * gib, "d_8g.bin": 8 * gib}
    for name, size in sizes.items():
        with open(os.path.join(src, name), "wb") as f:
            # Marks around the 4 GiB extent border and at the end, holes elsewhere.
            for at in (0, 0xFFFFF800 - 3, 0xFFFFF800, size - 7):
                if at < size:
                    f.seek(at)
                    f.write(name.encode()[:7])
            f.truncate(size)
    disc = os.path.join(work, "large.zvd")
    run = lambda args: subprocess.run([cli] + args, env=env, capture_output=True, text=True, errors="replace")
    run(["vdisc", "create", disc, "--media", "bd-r-dl"])
    # No --verify: reading 40 GB back doubles the time, and the smaller discs above verify every burn.
    r = run(["burn", "--device", disc, "-V", "LARGE", src])
    check(r.returncode == 0, f"bd-r-dl: 40 GB of sparse files burned ({r.stderr.strip()[-160:]})")
    r = run(["ls", "--device", disc])
    shown = {}
    for line in r.stdout.splitlines():
        parts = line.split(None, 5)  # kind, size, date, time, sector, path
        if len(parts) == 6 and parts[0] == "-":
            shown[parts[5].split("/")[-1]] = int(parts[1])
    check(r.returncode == 0 and all(shown.get(n) == s for n, s in sizes.items()),
          f"bd-r-dl: every file listed back at its size, the 5 GiB one past the 4 GiB extent border ({shown})")
    used = os.stat(disc).st_blocks * 512
    check(used < 64 << 20, f"bd-r-dl: the disc file keeps the holes ({used >> 20} MiB on the host)")


if __name__ == "__main__":
    sys.exit(main())
