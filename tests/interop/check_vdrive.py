#!/usr/bin/python3
"""Burns an image onto virtual discs through the engine's command wrappers,
one process per step, and reads the result back with readers we did not
write.

usage: check_vdrive.py ZANTIC_CLI ZANTIC_VDRIVE_BURN EXAMPLES_DIR

For each medium: a session written by one process is listed by `vdisc info`
and read back with READ (10) by others; a second session lands where real
discs put it; `vdisc export` gives the sectors of a session, which xorriso
and isoinfo open; the command log shows how the session was closed.
Prints one line per check and exits non-zero when any check fails.
"""
import os
import subprocess
import sys
import tempfile

BLOCK = 2048
# Where the second session starts after a first of N blocks.
SECOND_SESSION = {
    "cd-r": lambda n: n + 11400,                     # lead-out 6750, lead-in 4500, pre-gap 150
    "dvd-r": lambda n: (n + 6144 + 15) // 16 * 16,   # border zone, ECC block aligned
    "dvd+r": lambda n: (n + 2048 + 15) // 16 * 16,   # session closure and intro
}

failures = []
passes = 0


def check(ok, what):
    global passes
    print(("ok   " if ok else "FAIL ") + what)
    if ok:
        passes += 1
    else:
        failures.append(what)


def run(args, env=None, encoding="utf-8"):
    return subprocess.run(args, capture_output=True, text=True, env=env, encoding=encoding)


def main():
    cli, burn, examples = sys.argv[1], sys.argv[2], sys.argv[3]
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "src.iso")
        r = run([cli, "build-iso", "-V", "VDRIVE_CHECK", "-o", src, examples])
        check(r.returncode == 0, "build-iso " + r.stderr.strip())
        image = open(src, "rb").read()
        blocks = (len(image) + BLOCK - 1) // BLOCK
        image += b"\0" * (blocks * BLOCK - len(image))
        expected = {"/" + os.path.basename(examples)}
        for root, dirs, files in os.walk(examples):
            for name in dirs + files:
                rel = os.path.relpath(os.path.join(root, name), os.path.dirname(examples))
                expected.add("/" + rel)

        for media, second in SECOND_SESSION.items():
            disc = os.path.join(tmp, media + ".zvd")
            log = os.path.join(tmp, media + ".log")
            env = dict(os.environ, ZANTIC_VDRIVE_LOG=log)
            r = run([cli, "vdisc", "create", disc, "--media", media, "--blocks", "40000"])
            check(r.returncode == 0, f"{media}: create")
            r = run([burn, "burn", disc, src], env)
            check(r.returncode == 0 and r.stdout.startswith("nwa 0 "), f"{media}: first session at 0 ({r.stdout.strip()}{r.stderr.strip()})")
            info = run([cli, "vdisc", "info", disc]).stdout
            check("state: appendable" in info and f"track 1: session 1, start 0, size {blocks} blocks, closed" in info,
                  f"{media}: another process sees the closed first session")
            r = run([burn, "verify", disc, src, "0"])
            check(r.returncode == 0, f"{media}: another process reads it back ({r.stderr.strip()})")
            lines = [l.split(" : ")[0].split()[1:] for l in open(log).read().splitlines()]
            tail = [l[0] for l in lines if l[0] in ("2A", "35", "5B")][-2:]
            check(tail == ["35", "5B"] and lines[-1][2] == "02", f"{media}: flushed, then the session closed (log)")

            r = run([burn, "burn", disc, src])
            nwa = second(blocks)
            check(r.stdout.startswith(f"nwa {nwa} "), f"{media}: second session at {nwa} ({r.stdout.strip()}{r.stderr.strip()})")
            check(run([burn, "verify", disc, src, str(nwa)]).returncode == 0, f"{media}: second session reads back")

            out1 = os.path.join(tmp, media + "-s1.iso")
            r = run([cli, "vdisc", "export", disc, out1, "--session", "1"])
            check(r.returncode == 0 and open(out1, "rb").read() == image, f"{media}: session 1 exports as the image")
            out2 = os.path.join(tmp, media + "-s2.iso")
            run([cli, "vdisc", "export", disc, out2])
            data2 = open(out2, "rb").read()
            check(len(data2) == (nwa + blocks) * BLOCK and data2[nwa * BLOCK:] == image,
                  f"{media}: export of the last session runs from 0 to its end")

            r = run(["xorriso", "-indev", out1, "-find", "/", "-exec", "echo"])
            found = {l.strip("'") for l in r.stdout.splitlines() if l.startswith("'/")} - {"/"}
            check(r.returncode == 0 and found == expected, f"{media}: xorriso lists every file {sorted(found ^ expected)}")
            # isoinfo turns Joliet names into ISO 8859-1.
            r = run(["isoinfo", "-i", out1, "-J", "-j", "iso8859-1", "-f"], encoding="latin-1")
            # Joliet names keep their version, and dot-less names get a dot, as our images write them.
            found = {(l[:-2] if l.endswith(";1") else l).rstrip(".") for l in r.stdout.split("\n")} - {""}
            check(r.returncode == 0 and found == expected, f"{media}: isoinfo lists every file {sorted(found ^ expected)}")

        env = dict(os.environ, ZANTIC_VDISC=os.path.join(tmp, "cd-r.zvd"))
        r = run([cli, "devices"], env)
        check("ZANTIC  VIRTUAL RECORDER1.00\t" + env["ZANTIC_VDISC"] in r.stdout, "devices lists the recorder")

    print(f"{passes} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
