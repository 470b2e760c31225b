#!/usr/bin/python3
"""Builds El Torito bootable images with zantic-cli and reads the boot record,
catalog and boot image back with xorriso and isoinfo, and by byte offsets.

usage: check_boot.py ZANTIC_CLI [--keep]

Prints one line per check and exits non-zero when any check fails.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

SECTOR = 2048
RESULTS = []

# El Torito boot media types and the names xorriso gives them.
FLOPPY_12, FLOPPY_144, FLOPPY_288, HARD_DISK = 1, 2, 3, 4
XORRISO_EMUL = {FLOPPY_12: "fd1.2", FLOPPY_144: "fd1.4", FLOPPY_288: "fd2.8", HARD_DISK: "hd"}

# name, image size in bytes, media type expected
CASES = [
    ("1.2 MB floppy", 1228800, FLOPPY_12),
    ("1.44 MB floppy", 1474560, FLOPPY_144),
    ("2.88 MB floppy", 2949120, FLOPPY_288),
    ("10 MB hard disk", 10 * 1024 * 1024, HARD_DISK),
    ("one sector more than a 1.44 MB floppy", 1474560 + 1, HARD_DISK),
    ("a 512-byte image, which leaves padding", 512, HARD_DISK),
]

DATA = b"plain data beside the boot image\n" * 100


def report(name, problems):
    RESULTS.append(not problems)
    print("%s  %s" % ("PASS" if not problems else "FAIL", name))
    for line in problems[:15]:
        print("        " + line)
    sys.stdout.flush()


def run(cmd):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace")


def le16(b, at):
    return b[at] | b[at + 1] << 8


def le32(b, at):
    return le16(b, at) | le16(b, at + 2) << 16


def sectors(size):
    return (size + SECTOR - 1) // SECTOR


def read_own(img, image):
    """Boot record, catalog and boot image by byte offsets; returns
    (problems, catalog sector, load RBA)."""
    with open(img, "rb") as f:
        iso = f.read()
    p = []
    rec = iso[17 * SECTOR:18 * SECTOR]
    if rec[0:7] != b"\x00CD001\x01":
        p.append("sector 17 is not a boot record: %r" % rec[0:7])
    if rec[7:39] != b"EL TORITO SPECIFICATION".ljust(32, b"\x00"):
        p.append("boot system id: %r" % rec[7:39])
    catalog = le32(rec, 71)
    cat = iso[catalog * SECTOR:(catalog + 1) * SECTOR]
    if sum(le16(cat, i) for i in range(0, 32, 2)) % 65536 != 0:
        p.append("validation entry words do not sum to zero")
    if cat[30:32] != b"\x55\xaa" or cat[0] != 1 or cat[32] != 0x88:
        p.append("catalog header/bootable bytes: %r %r %r" % (cat[0], cat[30:32], cat[32]))
    rba = le32(cat, 40)
    if rba != catalog + 1:
        p.append("load RBA %d, catalog at %d: the image must follow the catalog" % (rba, catalog))
    stored = iso[rba * SECTOR:(rba + sectors(len(image))) * SECTOR]
    if stored[:len(image)] != image:
        p.append("boot image bytes differ at the load RBA %d" % rba)
    if stored[len(image):].strip(b"\x00"):
        p.append("boot image's last sector is not zero-filled")
    return p, catalog, rba


def check_case(cli, work, flags, name, size, media):
    label = "%s%s" % (name, (" " + " ".join(flags)) if flags else "")
    rng = random.Random(size)
    image = rng.randbytes(size)
    boot = os.path.join(work, "boot-%d.img" % size)
    with open(boot, "wb") as f:
        f.write(image)
    src = os.path.join(work, "data.txt")
    img = os.path.join(work, "boot.iso")
    r = run([cli, "build-iso"] + flags + ["--boot", boot, "-V", "BOOTCHECK", "-o", img, src])
    if r.returncode != 0:
        report(label + ": build", ["exit %d" % r.returncode] + r.stderr.splitlines()[-3:])
        return
    problems, catalog, rba = read_own(img, image)

    x = run(["xorriso", "-indev", img, "-report_el_torito", "plain"])
    m = re.search(r"^El Torito catalog\s*:\s*(\d+)", x.stdout, re.M)
    if not m or int(m.group(1)) != catalog:
        problems.append("xorriso catalog: %s" % (m.group(0) if m else "not reported"))
    m = re.search(r"^El Torito boot img\s*:\s*1\s+BIOS\s+y\s+(\S+)\s+0x0000\s+0x00\s+1\s+(\d+)", x.stdout, re.M)
    if not m:
        problems.append("xorriso boot image line missing or unexpected:")
        problems += [l for l in x.stdout.splitlines() if "El Torito" in l]
    else:
        if m.group(1) != XORRISO_EMUL[media]:
            problems.append("xorriso emulation %s, expected %s" % (m.group(1), XORRISO_EMUL[media]))
        if int(m.group(2)) != rba:
            problems.append("xorriso boot image LBA %s, catalog says %d" % (m.group(2), rba))

    i = run(["isoinfo", "-d", "-i", img])
    m = re.search(r"El Torito VD version 1 found, boot catalog is in sector (\d+)", i.stdout)
    if not m or int(m.group(1)) != catalog:
        problems.append("isoinfo catalog: %s" % (m.group(0) if m else "not reported"))
    for want in ("Hid 1", "Arch 0 (x86)", "ID 'Kavo'", "Key 55 AA", "Bootid 88 (bootable)", "Nsect 1"):
        if want not in i.stdout:
            problems.append("isoinfo lacks %r" % want)
    m = re.search(r"Boot media (\d+)", i.stdout)
    if not m or int(m.group(1)) != media:
        problems.append("isoinfo media: %s, expected %d" % (m.group(0) if m else "not reported", media))
    m = re.search(r"Bootoff [0-9A-Fa-f]+ (\d+)", i.stdout)
    if not m or int(m.group(1)) != rba:
        problems.append("isoinfo boot offset: %s, catalog says %d" % (m.group(0) if m else "not reported", rba))

    # File data starts at 150 at the earliest, else right after the image.
    first = max(150, rba + sectors(size))
    listing = run(["isoinfo", "-l", "-i", img]).stdout
    m = re.search(r"\[\s*(\d+)\s+\d+\]\s+DATA\.TXT;1", listing)
    if not m or int(m.group(1)) != first:
        problems.append("DATA.TXT at %s, expected sector %d" % (m.group(1) if m else "?", first))
    got = subprocess.run(["isoinfo", "-i", img, "-x", "/DATA.TXT;1"], stdout=subprocess.PIPE).stdout
    if got != DATA:
        problems.append("DATA.TXT does not read back")
    report(label, problems)
    os.remove(img)


def check_refusals(cli, work):
    problems = []
    src = os.path.join(work, "data.txt")
    out = os.path.join(work, "refused.iso")
    empty = os.path.join(work, "empty.img")
    open(empty, "wb").close()
    for what, args in (("missing image", ["--boot", os.path.join(work, "no such.img"), "-o", out, src]),
                       ("empty image", ["--boot", empty, "-o", out, src]),
                       ("folder as image", ["--boot", work, "-o", out, src]),
                       ("--boot without a value", ["-o", out, src, "--boot"]),
                       ("--boot= with an empty value", ["--boot=", "-o", out, src])):
        r = run([cli, "build-iso"] + args)
        if r.returncode != 2:
            problems.append("%s: exit %d, expected 2" % (what, r.returncode))
        if "boot" not in r.stderr:
            problems.append("%s: stderr does not name the boot image: %r" % (what, r.stderr[:200]))
        if os.path.exists(out):
            problems.append("%s: an image was written" % what)
            os.remove(out)
    report("refused: missing, empty or folder boot image, --boot without a value", problems)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("cli", help="path to zantic-cli")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    args = ap.parse_args()
    cli = os.path.abspath(args.cli)
    missing = [t for t in ("xorriso", "isoinfo") if shutil.which(t) is None]
    if missing:
        print("FAIL  peer readers missing: %s; scripts/setup.sh test installs them" % ", ".join(missing))
        return 2
    work = tempfile.mkdtemp(prefix="zantic-boot-")
    try:
        with open(os.path.join(work, "data.txt"), "wb") as f:
            f.write(DATA)
        # Both writers when the direct one can be chosen.
        usage = run([cli, "build-iso", "--help"]).stdout
        modes = [[], ["--quick"]] if "--quick" in usage else [[]]
        for flags in modes:
            for name, size, media in CASES:
                check_case(cli, work, flags, name, size, media)
        check_refusals(cli, work)
    finally:
        if args.keep:
            print("work folder kept: " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    failed = RESULTS.count(False)
    print("%d checks, %d failed" % (len(RESULTS), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
