#!/usr/bin/python3
"""Burns the sample tree with `zantic-cli burn` onto a virtual disc of every
recordable medium and reads each session back with xorriso.

usage: check_burn.py ZANTIC_CLI EXAMPLES_DIR

Per medium: a first session, byte-identical after `vdisc export`; a second
session that carries the first one's files over; the closing commands in
the recorder's log; a finalized disc. Then test writes, erasing, an injected
write error and an abort. One line per check; non-zero exit on any failure.
"""
import concurrent.futures
import filecmp
import os
import threading
import signal
import subprocess
import sys
import tempfile
import time

failures = []
passes = 0
lock = threading.Lock()


def check(ok, what):
    global passes
    with lock:
        print(("ok   " if ok else "FAIL ") + what, flush=True)
        if ok:
            passes += 1
        else:
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


# (function, track number) of each CLOSE TRACK/SESSION the drive accepted,
# for the first session of a disc.
FIRST_CLOSE = {
    "cd-r": [(2, 0)],
    "cd-rw": [(2, 0)],
    "dvd-r": [(1, 1), (1, 2), (2, 3)],
    "dvd-rw": [(2, 0)],
    "dvd+r": [(1, 1), (2, 255)],
    "dvd+r-dl": [(1, 1), (2, 0)],
    "dvd+rw": [(3, 255)],
    "dvd-ram": [],
}
SEQUENTIAL = {"cd-r", "cd-rw", "dvd-r", "dvd+r", "dvd+r-dl"}


def main():
    cli, examples = sys.argv[1], os.path.abspath(sys.argv[2])
    work = tempfile.mkdtemp(prefix="zantic-burn-")
    env = dict(os.environ, ZANTIC_VDRIVE_TIMESCALE="0.001", XDG_DATA_HOME=work, HOME=work)
    env.pop("ZANTIC_VDISC", None)

    def run(args, log=None):
        e = dict(env)
        if log:
            e["ZANTIC_VDRIVE_LOG"] = log
        return subprocess.run([cli] + args, env=e, capture_output=True, text=True, errors="replace")

    def closes(log):
        out = []
        if not os.path.exists(log):
            return out
        for line in open(log, errors="replace"):
            parts = line.split()
            if len(parts) > 12 and parts[1] == "5B" and parts[12] == "00":
                out.append((int(parts[3], 16), int(parts[5] + parts[6], 16)))
        return out

    def extract(disc, name):
        """The last session as xorriso reads it from the exported sectors."""
        iso = os.path.join(work, name + ".iso")
        out = os.path.join(work, name + ".tree")
        if run(["vdisc", "export", disc, iso]).returncode != 0:
            return None
        starts = [int(line.split("start ")[1].split(",")[0]) for line in run(["vdisc", "info", disc]).stdout.splitlines()
                  if line.startswith("track ") and "start " in line]
        load = ["-load", "sbsector", str(starts[-1])] if starts and starts[-1] > 0 else []
        x = subprocess.run(["xorriso", "-osirrox", "on"] + load + ["-indev", iso, "-extract", "/", out],
                           capture_output=True, text=True)
        return out if x.returncode == 0 else None

    docs, data = os.path.join(examples, "docs"), os.path.join(examples, "data")

    # Each medium has a disc of its own; the burns wait on the drive far more
    # than they compute, so they run side by side.
    def medium_checks(medium, first_close):
        disc = os.path.join(work, medium + ".zvd")
        run(["vdisc", "create", disc, "--media", medium, "--blocks", "40000"])
        log = os.path.join(work, medium + ".log")
        r = run(["burn", "--device", disc, "--verify", "-V", "FIRST", docs], log=log)
        check(r.returncode == 0, f"{medium}: first session burned and verified ({r.stderr.strip()[-120:]})")
        tree = extract(disc, medium + "-1")
        check(tree is not None and same_tree(docs, os.path.join(tree, "docs")),
              f"{medium}: first session read back by xorriso, every file byte-identical")
        check(closes(log) == first_close, f"{medium}: closing commands {closes(log)} == {first_close}")

        r = run(["burn", "--device", disc, "--verify", "--import-session", "-1", "-V", "SECOND", data])
        check(r.returncode == 0, f"{medium}: second session with the first one's files ({r.stderr.strip()[-120:]})")
        tree = extract(disc, medium + "-2")
        check(tree is not None and same_tree(docs, os.path.join(tree, "docs"))
              and same_tree(data, os.path.join(tree, "data")),
              f"{medium}: the disc now shows both sessions' files")
        info = run(["vdisc", "info", disc]).stdout
        if medium in SEQUENTIAL:
            check("sessions: 3" in info or "sessions: 2" in info, f"{medium}: two sessions recorded")
            r = run(["burn", "--device", disc, "--finalize", "-V", "LAST", data])
            status = run(["disc-info", "--device", disc]).stdout
            check(r.returncode == 0 and "Disc status: complete" in status, f"{medium}: finalize closes the disc")
        else:
            check("sessions: 1" in info, f"{medium}: written in place, one session")

    with concurrent.futures.ThreadPoolExecutor(max_workers=len(FIRST_CLOSE)) as pool:
        for f in [pool.submit(medium_checks, m, c) for m, c in FIRST_CLOSE.items()]:
            f.result()

    # A test write records nothing where the drive can simulate, and is
    # refused where it cannot.
    for medium, ok in (("cd-r", 0), ("dvd+r", 1)):
        disc = os.path.join(work, "test-" + medium + ".zvd")
        run(["vdisc", "create", disc, "--media", medium, "--blocks", "30000"])
        before = run(["vdisc", "info", disc]).stdout
        r = run(["burn", "--device", disc, "--test", docs])
        after = run(["vdisc", "info", disc]).stdout
        check(r.returncode == ok and before == after, f"{medium}: test write exit {r.returncode}, disc unchanged")

    for medium in ("cd-rw", "dvd-rw", "dvd+rw", "dvd-ram"):
        disc = os.path.join(work, medium + ".zvd")
        r = run(["erase", "--device", disc, "--quick"])
        status = run(["disc-info", "--device", disc]).stdout
        check(r.returncode == 0, f"{medium}: quick erase ({r.stderr.strip()[-120:]})")
        shown = [line.strip() for line in r.stderr.splitlines() if line.strip().endswith("%")]
        check(shown[-1:] == ["100%"], f"{medium}: erase progress ends at 100% ({shown})")
        if medium in ("cd-rw", "dvd-rw"):
            check("Disc status: empty" in status, f"{medium}: blank after erasing")

    # A sequential DVD-RW that already holds a session (here: one written
    # while the drive refused to format) is added to, never formatted away.
    disc = os.path.join(work, "seq-dvd-rw.zvd")
    run(["vdisc", "create", disc, "--media", "dvd-rw", "--blocks", "40000"])
    run(["vdisc", "fault", disc, "--refuse", "04:always"])
    r = run(["burn", "--device", disc, "--verify", "-V", "FIRST", docs])
    check(r.returncode == 0, f"sequential dvd-rw: first session without a format ({r.stderr.strip()[-120:]})")
    run(["vdisc", "fault", disc, "--clear"])
    log = os.path.join(work, "seq-dvd-rw.log")
    r = run(["burn", "--device", disc, "--verify", "--import-session", "-1", "-V", "SECOND", data], log=log)
    formats = [line for line in open(log, errors="replace") if line.split()[1:2] == ["04"]] if os.path.exists(log) else []
    tree = extract(disc, "seq-dvd-rw")
    check(r.returncode == 0 and not formats and tree is not None and same_tree(docs, os.path.join(tree, "docs"))
          and same_tree(data, os.path.join(tree, "data")) and "track 2: session 2" in run(["vdisc", "info", disc]).stdout,
          f"sequential dvd-rw: second session appended after the first, nothing formatted ({len(formats)} formats)")

    disc = os.path.join(work, "fault.zvd")
    run(["vdisc", "create", disc, "--media", "dvd+r", "--blocks", "30000"])
    run(["vdisc", "fault", disc, "--write-error", "200"])
    r = run(["burn", "--device", disc, docs])
    check(r.returncode == 1 and "WRITER ERROR" in r.stderr, "write error at an LBA ends the burn with WRITER ERROR")

    disc = os.path.join(work, "abort.zvd")
    big = os.path.join(work, "big.bin")
    with open(big, "wb") as f:
        f.write(os.urandom(8 << 20))
    run(["vdisc", "create", disc, "--media", "dvd+r", "--blocks", "30000"])
    run(["vdisc", "fault", disc, "--throttle", "1000"])
    p = subprocess.Popen([cli, "burn", "--device", disc, big], env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    time.sleep(3)
    p.send_signal(signal.SIGINT)
    _, err = p.communicate(timeout=120)
    check(p.returncode == 130 and "OPERATION ABORTED BY USER" in err, f"Ctrl-C aborts a burn (exit {p.returncode})")

    print(f"{passes} checks passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
