#!/usr/bin/python3
"""Disc health on virtual discs, checked against `vdisc export`, xorriso and
sha256sum.

usage: check_health.py ZANTIC_CLI

For CD-R and DVD+R, two sessions burned with checksums (the second importing
the first), and a pressed DVD-ROM built without: `read` of each session is
byte-identical to `vdisc export`; with unreadable ranges injected the map
lists exactly those ranges, the image holds zeros there and the file hit is
named; `--resume` after the fault is cleared completes the image. Each
session extracted by xorriso passes `sha256sum -c` on its checksum file.
`check` passes a good disc, names a file made to read wrong data, a file
with an unreadable sector and its sector, and reads a disc without a
checksum file. Prints one line per check; exits non-zero on any failure.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

BLOCK = 2048
SUMS = "~zantic.sha256"
failures = []
passes = 0


def check(ok, what):
    global passes
    print(("ok   " if ok else "FAIL ") + what)
    if ok:
        passes += 1
    else:
        failures.append(what)


def run(args):
    return subprocess.run(args, capture_output=True, text=True)


def track_starts(cli, disc):
    info = run([cli, "vdisc", "info", disc]).stdout
    return {int(s): int(start) for s, start in re.findall(r"track \d+: session (\d+), start (\d+)", info)}


def make_tree(root, seed, files):
    os.makedirs(os.path.join(root, "docs"), exist_ok=True)
    for i in range(files):
        size = 5000 + i * 37000 + seed
        with open(os.path.join(root, "docs" if i % 2 else "", "file%d_%d.bin" % (seed, i)), "wb") as f:
            f.write(bytes((j * (i + 7) + seed) & 0xFF for j in range(size)))
    with open(os.path.join(root, "README"), "w") as f:
        f.write("no extension %d\n" % seed)


def extract_and_verify(cli, image, start, where, what):
    os.makedirs(where)
    args = ["xorriso", "-osirrox", "on"] + (["-load", "sbsector", str(start)] if start else []) + \
        ["-indev", image, "-extract", "/", where]
    r = run(args)
    check(r.returncode == 0, what + ": xorriso extracts the session")
    if not os.path.exists(os.path.join(where, SUMS)):
        check(False, what + ": the checksum file is in the root")
        return None
    r = subprocess.run(["sha256sum", "--strict", "-c", SUMS], cwd=where, capture_output=True, text=True)
    check(r.returncode == 0 and "FAILED" not in r.stdout, what + ": sha256sum -c passes " + r.stderr.strip())
    return open(os.path.join(where, SUMS)).read()


def file_extent(cli, disc, path):
    r = run([cli, "ls", "--device", disc, path])
    m = re.match(r"-\s+\d+\s+\S+ \S+\s+(\d+)\s+", r.stdout)
    return int(m.group(1)) if m else None


def read_checks(cli, tmp, disc, media, sessions):
    for s in range(1, sessions + 1):
        exp = os.path.join(tmp, "%s-%d.exp" % (media, s))
        img = os.path.join(tmp, "%s-%d.iso" % (media, s))
        run([cli, "vdisc", "export", disc, exp, "--session", str(s)])
        r = run([cli, "read", "--device", disc, "--session", str(s), "-o", img])
        same = r.returncode == 0 and open(exp, "rb").read() == open(img, "rb").read()
        check(same, "%s session %d: read gives the exported image %s" % (media, s, r.stderr.strip()[-200:]))
        check(open(img + ".map").read().strip().endswith("sectors %d" % (os.path.getsize(exp) // BLOCK)),
              "%s session %d: the map lists nothing" % (media, s))

    # Damage: two unreadable ranges, one inside a file of the first session.
    last = os.path.join(tmp, "%s-%d.exp" % (media, sessions))
    extent = file_extent(cli, disc, "/src1/file1_0.bin")
    check(extent is not None, media + ": the file's extent is listed")
    if extent is None:
        return
    bad = [(extent + 1, 2), (20, 1)]
    run([cli, "vdisc", "fault", disc, "--unreadable", "%d+2" % (extent + 1), "--unreadable", "20"])
    img = os.path.join(tmp, media + "-bad.iso")
    r = run([cli, "read", "--device", disc, "-o", img, "--retries", "1"])
    check(r.returncode == 1, media + ": read of a damaged disc exits 1")
    ranges = [tuple(map(int, line.split())) for line in open(img + ".map") if re.match(r"^\d+ \d+$", line)]
    check(ranges == sorted(bad), media + ": the map lists exactly the damaged ranges %s" % ranges)
    data = open(img, "rb").read()
    good = open(last, "rb").read()
    zeros = all(data[a * BLOCK:(a + n) * BLOCK] == bytes(n * BLOCK) for a, n in bad)
    check(zeros and len(data) == len(good), media + ": the image holds zeros there")
    check("file /src1/file1_0.bin: sectors %d-%d" % (extent + 1, extent + 2) in r.stdout,
          media + ": the file hit is named " + r.stdout.strip().replace("\n", " | ")[:300])
    check("sectors of no file: 20" in r.stdout, media + ": the sector of no file is named")
    run([cli, "vdisc", "fault", disc, "--clear"])
    r = run([cli, "read", "--device", disc, "-o", img, "--resume"])
    check(r.returncode == 0 and open(img, "rb").read() == good, media + ": --resume completes the image")


def check_checks(cli, disc, media):
    r = run([cli, "check", "--device", disc])
    check(r.returncode == 0 and "checksums compared" in r.stdout and " 0 damaged" in r.stdout,
          media + ": check passes the good disc " + r.stdout.strip()[-200:])
    a = file_extent(cli, disc, "/src1/file1_2.bin")
    b = file_extent(cli, disc, "/src1/docs/file1_1.bin")
    run([cli, "vdisc", "fault", disc, "--corrupt", str(a), "--unreadable", str(b)])
    r = run([cli, "check", "--device", disc])
    check(r.returncode == 1, media + ": check of a damaged disc exits 1")
    check("damaged    /src1/file1_2.bin" in r.stdout, media + ": the file reading wrong data is damaged")
    check("unreadable /src1/docs/file1_1.bin: sectors %d" % b in r.stdout,
          media + ": the unreadable file is named with its sector")
    run([cli, "vdisc", "fault", disc, "--clear"])


def main():
    cli = sys.argv[1]
    if not shutil.which("xorriso") or not shutil.which("sha256sum"):
        print("xorriso and sha256sum are needed")
        return 1
    with tempfile.TemporaryDirectory() as tmp:
        src1 = os.path.join(tmp, "src1")
        src2 = os.path.join(tmp, "src2")
        make_tree(src1, 1, 4)
        make_tree(src2, 2, 3)
        for media in ("cd-r", "dvd+r"):
            disc = os.path.join(tmp, media + ".zvd")
            run([cli, "vdisc", "create", disc, "--media", media, "--blocks", "40000"])
            r = run([cli, "burn", "--device", disc, "--checksums", src1])
            check(r.returncode == 0, media + ": first burn with checksums " + r.stderr.strip()[-200:])
            r = run([cli, "burn", "--device", disc, "--checksums", "--import-session", "-1", src2])
            check(r.returncode == 0, media + ": second burn importing the first " + r.stderr.strip()[-200:])
            starts = track_starts(cli, disc)
            full = os.path.join(tmp, media + ".all")
            run([cli, "vdisc", "export", disc, full])
            first = extract_and_verify(cli, full, 0, os.path.join(tmp, media + "-x1"), media + " session 1")
            second = extract_and_verify(cli, full, starts.get(2), os.path.join(tmp, media + "-x2"),
                                        media + " session 2")
            if first and second:
                kept = [line for line in first.splitlines() if line]
                check(all(line in second.splitlines() for line in kept),
                      media + ": the second session keeps the first one's lines")
            read_checks(cli, tmp, disc, media, 2)
            check_checks(cli, disc, media)

        # A pressed DVD-ROM without a checksum file.
        iso = os.path.join(tmp, "rom.iso")
        run([cli, "build-iso", "-o", iso, src1])
        rom = os.path.join(tmp, "rom.zvd")
        r = run([cli, "vdisc", "press", rom, "--media", "dvd-rom", iso])
        check(r.returncode == 0, "dvd-rom pressed " + r.stderr.strip())
        out = os.path.join(tmp, "rom-read.iso")
        r = run([cli, "read", "--device", rom, "-o", out])
        exp = os.path.join(tmp, "rom.exp")
        run([cli, "vdisc", "export", rom, exp])
        check(r.returncode == 0 and open(out, "rb").read() == open(exp, "rb").read(),
              "dvd-rom: read gives the exported image")
        r = run([cli, "check", "--device", rom])
        check(r.returncode == 0 and "read test only" in r.stdout, "dvd-rom: check reads a disc without checksums")
        b = file_extent(cli, rom, "/src1/file1_2.bin")
        run([cli, "vdisc", "fault", rom, "--unreadable", str(b + 1), "--corrupt", str(b)])
        r = run([cli, "check", "--device", rom])
        check(r.returncode == 1 and "unreadable /src1/file1_2.bin: sectors %d" % (b + 1) in r.stdout
              and "damaged" not in r.stdout.split("session")[0],
              "dvd-rom: without checksums only unreadable files are reported " + r.stdout.strip()[-200:])

    print("%d passed, %d failed" % (passes, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
