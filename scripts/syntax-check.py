#!/usr/bin/env python3
"""Compiles every source of a configured build with -fsyntax-only.

    scripts/syntax-check.py BUILD_DIR [-j N] [--skip SUBSTRING ...]

A build that is only compiled (never linked or run here) needs the
compiler's diagnostics and nothing else: the conversion warnings of a 32-bit
target, made errors by the build's flags, come from the front end, template
instantiations included, so the code generation a full build spends half its
time on is left out. Reads BUILD_DIR/compile_commands.json; prints the
diagnostics of every file that fails and exits 1 when one did.
"""
import argparse
import concurrent.futures
import json
import os
import shlex
import subprocess
import sys
import time


def syntax_only(entry):
    if "arguments" in entry:
        args = list(entry["arguments"])
    else:
        args = shlex.split(entry["command"])
    out = []
    skip = False
    for a in args:
        if skip:
            skip = False
            continue
        if a == "-o":
            skip = True
            continue
        if a in ("-c", "-MD", "-MMD"):
            continue
        if a in ("-MF", "-MT", "-MQ"):
            skip = True
            continue
        out.append(a)
    # The source stays last; -fsyntax-only writes no object.
    out.insert(1, "-fsyntax-only")
    return out


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build")
    p.add_argument("-j", type=int, default=os.cpu_count() or 1)
    p.add_argument("--skip", action="append", default=[],
                   help="leave out sources whose path contains this")
    o = p.parse_args()
    with open(os.path.join(o.build, "compile_commands.json"), encoding="utf-8") as f:
        entries = [e for e in json.load(f) if not any(s in e["file"] for s in o.skip)]
    if not entries:
        print(f"syntax check: no sources in {o.build}", file=sys.stderr)
        return 1
    started = time.monotonic()

    def run(entry):
        r = subprocess.run(syntax_only(entry), cwd=entry["directory"], capture_output=True, text=True)
        return entry["file"], r.returncode, r.stdout + r.stderr

    failed = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, o.j)) as pool:
        for name, rc, text in pool.map(run, entries):
            if rc != 0:
                failed.append(name)
                sys.stdout.write(f"FAILED: {name}\n{text}")
            elif text.strip():
                sys.stdout.write(text)
    secs = time.monotonic() - started
    print(f"syntax check: {len(entries) - len(failed)} of {len(entries)} sources clean in {secs:.0f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
