#!/usr/bin/python3
"""Reads discs in drives nobody here wrote: QEMU's emulated CD-ROM drives
(scsi-cd on virtio-scsi, ide-cd on IDE) inside a small Linux VM, driven
through SG_IO as real drives are.

usage: check_qemu_drives.py ZANTIC_CLI CACHE_DIR LOG_DIR

The VM is a Debian cloud kernel and busybox-static, fetched with
`apt-get download` into CACHE_DIR (nothing is installed on the host), and an
initramfs with the kernel modules the drives need, zantic-cli with its
libraries and strace. Its /init runs the commands of a scenario, each between
markers with its exit status and the number of opens of the drive's node,
then powers off. Every file extracted in the VM is hashed there and compared
with the source trees here. A failure names the scenario and the command; the
console logs stay in LOG_DIR.

KVM is used only when a short probe shows a KVM guest reaching the kernel
within seconds (a /dev/kvm can exist and still hang its guests); otherwise
the VMs run on TCG. The output says which and why. A guest that prints
nothing for SILENCE_LIMIT seconds is ended then, its console log kept.
"""
import concurrent.futures
import gzip
import hashlib
import io
import os
import re
import selectors
import shutil
import stat
import subprocess
import sys
import tempfile
import time

VM_TIMEOUT = 150  # seconds for one VM, boot to power-off; TCG on a loaded machine is slow
# A booting guest is quiet (quiet, loglevel=3) until its /init speaks: the
# limit leaves TCG on a loaded machine room for that.
SILENCE_LIMIT = 60
# A working KVM guest prints the kernel's banner within a second or two.
PROBE_SECONDS = 10
# Set only by this check's own test: /dev/kvm is taken to exist, and the
# probe's guest never prints, as on hosts whose KVM guests hang in the firmware.
SILENT_KVM_ENV = "ZANTIC_QEMU_TEST_SILENT_KVM"
KERNEL_MODULES = ["virtio_pci", "virtio_scsi", "ata_piix", "sr_mod", "sg", "isofs"]

failures = []
passes = 0


def check(ok, what):
    global passes
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if ok:
        passes += 1
    else:
        failures.append(what)


def die(message):
    print("FAIL " + message, flush=True)
    sys.exit(1)


# --- the VM's parts ------------------------------------------------------

def apt_download(cache, package):
    """The .deb of a package in the cache, fetched when missing."""
    found = [f for f in os.listdir(cache) if f.startswith(package + "_") and f.endswith(".deb")]
    if found:
        return os.path.join(cache, sorted(found)[-1])
    try:
        r = subprocess.run(["apt-get", "download", package], cwd=cache, capture_output=True, text=True, timeout=300)
    except (OSError, subprocess.TimeoutExpired) as e:
        die(f"setup: apt-get download {package}: {e}")
    found = [f for f in os.listdir(cache) if f.startswith(package + "_") and f.endswith(".deb")]
    if r.returncode != 0 or not found:
        die(f"setup: apt-get download {package} failed (run apt-get update?): {r.stderr.strip()}")
    return os.path.join(cache, sorted(found)[-1])


def kernel_package():
    r = subprocess.run(["apt-cache", "depends", "linux-image-cloud-amd64"], capture_output=True, text=True)
    names = re.findall(r"Depends: (linux-image-[0-9][^\s]*-cloud-amd64)", r.stdout)
    if r.returncode != 0 or not names:
        die("setup: apt-cache knows no linux-image-cloud-amd64 (run apt-get update?)")
    return names[0]


def unpack(deb, into):
    if not os.path.isdir(into):
        tmp = into + ".part"
        shutil.rmtree(tmp, ignore_errors=True)
        r = subprocess.run(["dpkg-deb", "-x", deb, tmp], capture_output=True, text=True)
        if r.returncode != 0:
            os.remove(deb)  # a broken download is fetched again next time
            die(f"setup: dpkg-deb -x {deb}: {r.stderr.strip()}")
        os.rename(tmp, into)
    return into


def module_index(root):
    index = {}
    for d, _, files in os.walk(os.path.join(root, "lib", "modules")):
        for f in files:
            if f.endswith(".ko"):
                index[f[:-3].replace("-", "_")] = os.path.join(d, f)
    return index


def module_depends(path):
    data = open(path, "rb").read()
    m = re.search(rb"\0depends=([^\0]*)\0", data)
    return [n.decode().replace("-", "_") for n in m.group(1).split(b",") if n] if m else []


def modules_in_order(index, wanted):
    """The modules wanted with what they need, each after its dependencies."""
    order, seen = [], set()

    def visit(name):
        if name in seen:
            return
        seen.add(name)
        if name not in index:
            return  # built into the kernel
        for dep in module_depends(index[name]):
            visit(dep)
        order.append(name)

    for w in wanted:
        visit(w)
    return order


def libraries_of(binary):
    r = subprocess.run(["ldd", binary], capture_output=True, text=True)
    libs = []
    for line in r.stdout.splitlines():
        m = re.search(r"(/\S+)", line.split("=>")[-1])
        if m and os.path.exists(m.group(1)):
            libs.append(m.group(1))
    return libs


class Cpio:
    """An initramfs in the newc format."""

    def __init__(self):
        self.out = io.BytesIO()
        self.ino = 1
        self.dirs = set()

    def _entry(self, name, mode, data=b""):
        name_b = name.encode() + b"\0"
        head = "070701" + "".join(f"{v:08X}" for v in (
            self.ino, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name_b), 0))
        self.ino += 1
        self.out.write(head.encode() + name_b)
        self.out.write(b"\0" * (-(110 + len(name_b)) % 4))
        self.out.write(data)
        self.out.write(b"\0" * (-len(data) % 4))

    def dir(self, path):
        path = path.strip("/")
        parts = path.split("/")
        for i in range(1, len(parts) + 1):
            p = "/".join(parts[:i])
            if p and p not in self.dirs:
                self.dirs.add(p)
                self._entry(p, stat.S_IFDIR | 0o755)

    def file(self, path, data, mode=0o755):
        path = path.strip("/")
        self.dir(os.path.dirname(path))
        self._entry(path, stat.S_IFREG | mode, data)

    def symlink(self, path, target):
        path = path.strip("/")
        self.dir(os.path.dirname(path))
        self._entry(path, stat.S_IFLNK | 0o777, target.encode())

    def host_file(self, path):
        real = os.path.realpath(path)
        self.file(path, open(real, "rb").read())

    def bytes(self):
        self._entry("TRAILER!!!", 0)
        return gzip.compress(self.out.getvalue(), 1)


def stripped(binary, tmp):
    """The binary without its debug sections, smaller to boot with."""
    out = os.path.join(tmp, os.path.basename(binary) + ".stripped")
    if shutil.which("objcopy") and subprocess.run(["objcopy", "--strip-debug", binary, out]).returncode == 0:
        return out
    return binary


# --- sources and images -----------------------------------------------------

def make_tree(root, files):
    for rel, data in files.items():
        p = os.path.join(root, rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)


def tree_hashes(root):
    """Path below root -> sha256 of every file."""
    out = {}
    for d, _, files in os.walk(root):
        for f in files:
            p = os.path.join(d, f)
            if os.path.islink(p):
                continue  # extracted as a link, not a file
            out[os.path.relpath(p, root)] = hashlib.sha256(open(p, "rb").read()).hexdigest()
    return out


def pseudo_random(n, seed):
    out = bytearray()
    block = seed.encode()
    while len(out) < n:
        block = hashlib.sha256(block).digest()
        out += block
    return bytes(out[:n])


# --- the scenarios --------------------------------------------------------

MARK = "@@ZQ"


# The kernel's own ISO 9660 driver lists the disc: one line per name with its
# mode, times, owner and link target.
ISOFS_LINES = [
    "mkdir -p /mnt; mount -t iso9660 -o ro /dev/sr0 /mnt",
    f"echo \"{MARK} MOUNT $?\"",
    "(cd /mnt && find . | sort | while read -r f; do "
    f"echo \"{MARK} STAT $(stat -c '%f %Y %u:%g' \"$f\")|$f|$(readlink \"$f\")\"; done)",
    "umount /mnt",
]


def isofs_model(root):
    """What the guest's listing must show for the tree below root."""
    out = {}
    for d, dirs, files in os.walk(root):
        for name in dirs + files:
            p = os.path.join(d, name)
            st = os.lstat(p)
            target = os.readlink(p) if stat.S_ISLNK(st.st_mode) else ""
            out["./" + os.path.relpath(p, root)] = (format(st.st_mode, "x"), int(st.st_mtime),
                                                    f"{st.st_uid}:{st.st_gid}", target)
    return out


def parse_isofs(lines):
    """The guest's STAT lines in the form isofs_model gives."""
    out = {}
    for line in lines:
        head, _, rest = line.partition("|")
        path, _, target = rest.partition("|")
        fields = head.split()
        if path != "." and len(fields) == 3:
            out[path] = (fields[0], int(fields[1]), fields[2], target)
    return out


def init_script(commands, after=()):
    lines = [
        "#!/bin/sh",
        "mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev; mount -t tmpfs tmp /tmp",
        f"echo \"{MARK} BOOTED $(cut -d' ' -f1 /proc/uptime)\"",
        "for m in $(cat /modules); do insmod /lib/modules/$m.ko 2>/dev/null; done",
        f"echo \"{MARK} MODULES $(cut -d' ' -f1 /proc/uptime)\"",
        # Drives appear once the buses are probed.
        "i=0; while [ ! -e /dev/sr0 ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done",
        "export LD_LIBRARY_PATH=/lib:/usr/lib ASAN_OPTIONS=detect_leaks=0",
    ]
    for name, cmd in commands:
        lines += [
            f"echo '{MARK} BEGIN {name}'",
            "t0=$(cut -d' ' -f1 /proc/uptime)",
            f"strace -f -qq -e trace=open,openat -o /tmp/trace /bin/zantic-cli {cmd} 2>&1",
            f"echo \"{MARK} EXIT {name} $?\"",
            f"echo \"{MARK} TIME {name} $t0 $(cut -d' ' -f1 /proc/uptime)\"",
            f"echo \"{MARK} OPENS {name} $(grep -c '\"/dev/sr[0-9]*\"' /tmp/trace)\"",
        ]
        if cmd.startswith("extract"):
            dest = cmd.split()[-1]
            lines += [f"(cd {dest} && find . -type f | sort | while read f; do sha256sum \"$f\"; done) "
                      f"| sed 's/^/{MARK} HASH {name} /'"]
    lines += list(after)
    lines += [f"echo '{MARK} DONE'", "poweroff -f"]
    return "\n".join(lines) + "\n"


def run_guest(args, log, timeout, silence, until=None):
    """Runs a QEMU guest with its console on stdout, copied into log as it
    comes. Ends it after timeout seconds, after silence seconds without
    output, or once until appears. Returns (text, why it ended or None when
    it ended by itself, seconds)."""
    start = time.monotonic()
    chunks, why = [], None
    with open(log, "wb") as out:
        proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        last = start
        with selectors.DefaultSelector() as sel:
            sel.register(proc.stdout, selectors.EVENT_READ)
            while True:
                now = time.monotonic()
                left = min(start + timeout, last + silence) - now
                if left <= 0:
                    why = (f"killed after {timeout} s" if now >= start + timeout
                           else f"killed: no output for {silence} s")
                    break
                if not sel.select(left):
                    continue
                data = os.read(proc.stdout.fileno(), 65536)
                if not data:
                    break  # the guest has ended
                chunks.append(data)
                out.write(data)
                out.flush()
                last = time.monotonic()
                if until is not None and until.encode() in b"".join(chunks[-2:]):
                    why = f"stopped: {until!r} seen"
                    break
        if proc.poll() is None:
            proc.kill()
        proc.wait()
        proc.stdout.close()
        if why is not None:
            out.write(f"\n[{why}]\n".encode())
    return b"".join(chunks).decode("utf-8", "replace"), why, time.monotonic() - start


def kvm_usable():
    if os.environ.get(SILENT_KVM_ENV) == "1":
        return True, "simulated"
    if not os.path.exists("/dev/kvm"):
        return False, "there is no /dev/kvm"
    if not os.access("/dev/kvm", os.R_OK | os.W_OK):
        return False, "/dev/kvm is not open to this user"
    return True, ""


def choose_accelerator(kernel, log_dir):
    """("kvm" or "tcg", why): KVM only when its guest reaches the kernel
    within PROBE_SECONDS."""
    usable, why = kvm_usable()
    if not usable:
        return "tcg", why
    log = os.path.join(log_dir, "kvm-probe.console.log")
    if why == "simulated":
        # A guest that is never started prints nothing, like one that hangs.
        args = ["qemu-system-x86_64", "-S", "-accel", "tcg", "-nographic", "-nodefaults", "-serial", "stdio"]
    else:
        args = ["qemu-system-x86_64", "-M", "pc", "-m", "256", "-accel", "kvm", "-nographic", "-no-reboot",
                "-nodefaults", "-serial", "stdio", "-kernel", kernel,
                "-append", "console=ttyS0 earlyprintk=serial panic=-1"]
    text, ended, seconds = run_guest(args, log, PROBE_SECONDS, PROBE_SECONDS, until="Linux version")
    if ended is not None and ended.startswith("stopped"):
        return "kvm", f"a KVM guest reached the kernel in {seconds:.1f} s"
    if ended is None:
        last = text.strip().splitlines()[-1:] or ["no output"]
        return "tcg", f"the KVM guest ended without reaching the kernel: {last[0][:200]} (console: {log})"
    return "tcg", f"a KVM guest did not reach the kernel within {PROBE_SECONDS} s (console: {log})"


def run_vm(name, kernel, initrd, drive_args, log_dir, accel):
    log = os.path.join(log_dir, name + ".console.log")
    args = ["qemu-system-x86_64", "-M", "pc", "-m", "512", "-smp", "1", "-accel", accel,
            "-nographic", "-no-reboot", "-nodefaults", "-serial", "stdio",
            "-kernel", kernel, "-initrd", initrd,
            # no_timer_check: on a loaded host a TCG guest misses the timer
            # interrupts the kernel's IO-APIC check waits for, and panics.
            "-append", "console=ttyS0 panic=-1 no_timer_check quiet loglevel=3"] + drive_args
    text, _, seconds = run_guest(args, log, VM_TIMEOUT, SILENCE_LIMIT)
    return text, seconds, log


def parse(text):
    """name -> {"out": text, "exit": int, "opens": int, "hashes": {path: sha}}."""
    results, current = {}, None
    for line in text.replace("\r", "").split("\n"):
        # The firmware's screen resets may precede a marker on its line.
        if MARK + " " in line:
            line = line[line.index(MARK + " "):]
            parts = line.split(" ", 3)
            kind = parts[1]
            if kind == "BEGIN":
                current = results.setdefault(parts[2], {"out": [], "exit": None, "opens": None, "seconds": None, "hashes": {}})
                continue
            if kind in ("EXIT", "OPENS") and len(parts) == 4:
                results.setdefault(parts[2], {"out": [], "exit": None, "opens": None, "seconds": None, "hashes": {}})[
                    kind.lower()] = int(parts[3])
                current = None
            elif kind == "TIME" and len(parts) == 4 and parts[2] in results:
                t0, _, t1 = parts[3].partition(" ")
                results[parts[2]]["seconds"] = float(t1) - float(t0)
            elif kind == "MOUNT" and len(parts) >= 3:
                isofs = results.setdefault("isofs", {"out": [], "exit": None, "opens": None, "seconds": None,
                                                     "hashes": {}, "stat": []})
                isofs["exit"] = int(parts[2])
            elif kind == "STAT" and len(parts) >= 3:
                results.setdefault("isofs", {"stat": []})["stat"].append(line.split(" ", 2)[2])
            elif kind == "HASH" and len(parts) == 4:
                sha, _, path = parts[3].partition("  ")
                results[parts[2]]["hashes"][os.path.normpath(path)] = sha
            continue
        if current is not None:
            current["out"].append(line)
    for r in results.values():
        r["out"] = "\n".join(r["out"])
    return results


def main():
    cli, cache, log_dir = sys.argv[1], sys.argv[2], sys.argv[3]
    started = time.monotonic()
    for tool in ("qemu-system-x86_64", "apt-get", "apt-cache", "dpkg-deb", "strace", "xorriso", "ldd"):
        if shutil.which(tool) is None:
            die(f"setup: {tool} is missing (scripts/setup.sh test installs it)")
    os.makedirs(cache, exist_ok=True)
    shutil.rmtree(log_dir, ignore_errors=True)
    os.makedirs(log_dir)

    kpkg = kernel_package()
    kroot = unpack(apt_download(cache, kpkg), os.path.join(cache, kpkg))
    broot = unpack(apt_download(cache, "busybox-static"), os.path.join(cache, "busybox-static"))
    kernels = [f for f in os.listdir(os.path.join(kroot, "boot")) if f.startswith("vmlinuz")]
    if not kernels:
        die(f"setup: no kernel in {kpkg}")
    kernel = os.path.join(kroot, "boot", kernels[0])
    index = module_index(kroot)
    modules = modules_in_order(index, KERNEL_MODULES)
    # The accelerator is probed while the sources and the initramfs are made.
    prober = concurrent.futures.ThreadPoolExecutor(max_workers=1)
    probe = prober.submit(choose_accelerator, kernel, log_dir)

    with tempfile.TemporaryDirectory() as tmp:
        # Sources: a Joliet tree of our own image, and a two-session image
        # whose second session adds a folder and replaces a file.
        first = {
            "readme.txt": b"drives we did not write\n",
            "empty.dat": b"",
            "one.bin": b"\x01",
            "sector.bin": pseudo_random(2048, "sector"),
            "A long folder name with spaces/nested/deep file name of some length.bin": pseudo_random(70001, "deep"),
            "Größe €.txt": "Joliet keeps these names\n".encode(),
            "big/random.bin": pseudo_random(1300000, "big"),
        }
        second = {"added/later.txt": b"second session\n", "readme.txt": b"replaced in session two\n"}
        joliet_src = os.path.join(tmp, "joliet")
        make_tree(joliet_src, first)
        # Rock Ridge for the guest's kernel: modes, links, times and a tree
        # deeper than ISO 9660's eight levels.
        deep = os.path.join(joliet_src, *("level%02d" % i for i in range(1, 13)))
        make_tree(deep, {"bottom.txt": b"twelve levels down\n"})
        os.chmod(os.path.join(joliet_src, "readme.txt"), 0o640)
        os.chmod(os.path.join(joliet_src, "big"), 0o750)
        os.symlink("../one.bin", os.path.join(joliet_src, "big", "up-link"))
        os.symlink("/nowhere/at/all", os.path.join(joliet_src, "big", "dangling"))
        for d, dirs, files in os.walk(joliet_src, topdown=False):
            for i, name in enumerate(dirs + files):
                os.utime(os.path.join(d, name), (1600000000, 1614834367 + 3600 * i), follow_symlinks=False)
        isofs_want = isofs_model(joliet_src)
        joliet = os.path.join(tmp, "joliet.iso")
        r = subprocess.run([cli, "build-iso", "-V", "QEMU_JOLIET", "-o", joliet] + sorted(
            os.path.join(joliet_src, n) for n in os.listdir(joliet_src)), capture_output=True, text=True)
        if r.returncode != 0:
            die(f"setup: build-iso: {r.stderr.strip()}")
        multi_a, multi_b = os.path.join(tmp, "multi-a"), os.path.join(tmp, "multi-b")
        make_tree(multi_a, first)
        make_tree(multi_b, second)
        multi = os.path.join(tmp, "multi.iso")
        for src in (multi_a, multi_b):
            r = subprocess.run(["xorriso", "-dev", multi, "-joliet", "on", "-map", src, "/", "-commit"],
                               capture_output=True, text=True)
            if r.returncode != 0:
                die(f"setup: xorriso session from {src}: {r.stderr.strip()[-400:]}")
        expected = {"joliet": tree_hashes(joliet_src), "multi": {**tree_hashes(multi_a), **tree_hashes(multi_b)}}

        # The initramfs, shared by every scenario but for /init.
        base = Cpio()
        for d in ("proc", "sys", "dev", "tmp", "lib", "usr/lib"):
            base.dir(d)
        base.file("bin/busybox", open(os.path.join(broot, "bin", "busybox"), "rb").read())
        for applet in ("sh", "mount", "insmod", "sleep", "cat", "grep", "echo", "find", "sort", "sha256sum", "sed",
                       "poweroff", "ls", "mkdir", "cut", "stat", "readlink", "umount"):
            base.symlink("bin/" + applet, "busybox")
        base.file("bin/zantic-cli", open(stripped(cli, tmp), "rb").read())
        strace = shutil.which("strace")
        base.file("bin/strace", open(strace, "rb").read())
        for lib in sorted(set(libraries_of(cli) + libraries_of(strace))):
            base.host_file(lib)
        for m in modules:
            base.file(f"lib/modules/{m}.ko", open(index[m], "rb").read(), 0o644)
        base.file("modules", ("\n".join(modules) + "\n").encode(), 0o644)
        # The kernel unpacks archives laid end to end: the common part is
        # compressed once, each scenario adds its /init.
        base_bytes = base.bytes()
        print(f"initramfs: {len(base_bytes) // 1024} KiB, modules: {' '.join(modules)}", flush=True)

        def initrd_for(name, commands):
            c = Cpio()
            # One scenario also mounts the disc with the kernel's driver.
            c.file("init", init_script(commands, ISOFS_LINES if name == "scsi-joliet" else ()).encode())
            path = os.path.join(tmp, name + ".cpio.gz")
            open(path, "wb").write(base_bytes + c.bytes())
            return path

        def scsi(image, controllers=1, target=0):
            args = []
            for i in range(controllers):
                args += ["-device", f"virtio-scsi-pci,id=vs{i}"]
            medium = f",file={image},format=raw" if image else ""
            return args + ["-drive", f"if=none,id=cd,media=cdrom,readonly=on{medium}",
                           "-device", f"scsi-cd,bus=vs{controllers - 1}.0,scsi-id={target},lun=0,drive=cd"]

        def ide(image):
            medium = f",file={image},format=raw" if image else ""
            return ["-drive", f"if=none,id=cd,media=cdrom,readonly=on{medium}", "-device", "ide-cd,bus=ide.1,drive=cd"]

        def disc_commands(dev):
            return [("devices", "devices"), ("drive-info", f"drive-info --device {dev}"),
                    ("disc-info", f"disc-info --device {dev}"), ("sessions", f"sessions --device {dev}"),
                    ("ls", f"ls --device {dev}"), ("ls-session", f"ls --device {dev} --session 1 /big"),
                    ("extract", f"extract --device {dev} / /tmp/out")]

        def empty_commands(dev):
            return [("devices", "devices"), ("drive-info", f"drive-info --device {dev}"),
                    ("disc-info", f"disc-info --device {dev}"), ("sessions", f"sessions --device {dev}"),
                    ("ls", f"ls --device {dev}")]

        scenarios = [
            ("scsi-joliet", scsi(joliet), "joliet", disc_commands("/dev/sr0")),
            ("scsi-multi", scsi(multi), "multi", disc_commands("/dev/sr0")),
            ("scsi-empty", scsi(None), None, empty_commands("/dev/sr0")),
            ("ide-joliet", ide(joliet), "joliet", disc_commands("/dev/sr0")),
            ("ide-multi", ide(multi), "multi", disc_commands("/dev/sr0")),
            ("ide-empty", ide(None), None, empty_commands("/dev/sr0")),
            # Ten empty controllers first: the drive is on host 10, target 9.
            ("scsi-host10", scsi(joliet, 11, 9), "joliet",
             [("devices", "devices"), ("select-by-address", "disc-info --device 10:9:0"),
              ("extract", "extract --device 10:9:0 / /tmp/out")]),
        ]
        accel, why = probe.result()
        prober.shutdown()
        print(f"accelerator: {accel.upper()} ({why})", flush=True)
        # Two VMs at a time: one per core of a small machine.
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            runs = [pool.submit(run_vm, name, kernel, initrd_for(name, commands), drive_args, log_dir, accel)
                    for name, drive_args, _, commands in scenarios]
            outcomes = [f.result() for f in runs]
        # The same question of a drive holding a disc, which never waits:
        # what the answer costs on this machine now, without a wait in it.
        answer_cost = 0.0
        for (_, _, source, _), (text, _, _) in zip(scenarios, outcomes):
            r = parse(text)
            d = r.get("disc-info") or r.get("select-by-address")
            if source is not None and d is not None and d["seconds"] is not None:
                answer_cost = max(answer_cost, d["seconds"])
        for (name, drive_args, source, commands), (text, seconds, log) in zip(scenarios, outcomes):
            results = parse(text)
            print(f"---- {name}: {seconds:.1f} s", flush=True)
            if MARK + " DONE" not in text:
                check(False, f"{name}: the VM did not finish its commands (console: {log})")
                continue

            def ran(cmd_name):
                r = results.get(cmd_name)
                if r is None or r["exit"] is None:
                    check(False, f"{name} / {cmd_name}: no result (console: {log})")
                    return None
                return r

            for cmd_name, _ in commands:
                r = ran(cmd_name)
                if r is None:
                    continue
                where = f"{name} / {cmd_name}"
                if "ERROR: AddressSanitizer" in r["out"] or "runtime error:" in r["out"]:
                    check(False, f"{where}: sanitizer report (console: {log})")
                # One open of the node per command: the selection keeps it.
                if cmd_name != "devices":
                    check(r["opens"] == 1, f"{where}: opens the drive's node once (opened {r['opens']} times)")
                if source is None:
                    expect_exit = 0 if cmd_name in ("devices", "drive-info") else 1
                else:
                    expect_exit = 0
                check(r["exit"] == expect_exit,
                      f"{where}: exit {r['exit']}, expected {expect_exit}\n{r['out'][-600:]}")

            dev = results.get("devices")
            if dev is not None:
                addr = "10:9:0," if name == "scsi-host10" else None
                listed = "QEMU" in dev["out"] and "/dev/sr0" in dev["out"]
                if addr:
                    listed = listed and dev["out"].lstrip().startswith(addr)
                check(listed, f"{name} / devices: the drive is listed with its node\n{dev['out']}")
            info = results.get("drive-info")
            if info is not None:
                check("[x] ReadCDR" in info["out"] and "[x] ReadDVD" in info["out"],
                      f"{name} / drive-info: the reading capabilities are shown\n{info['out']}")
                check("Write speeds: none" in info["out"] and "KB/s" not in info["out"],
                      f"{name} / drive-info: no write speeds for a drive that writes nothing")
            disc = results.get("disc-info") or results.get("select-by-address")
            if disc is not None and source is not None:
                image = joliet if source == "joliet" else multi
                mb = os.path.getsize(image) / 2048 / 512
                want = f"{mb:.2f} MB"
                check(f"Disc size  : {want}" in disc["out"] and f"Used space : {want}" in disc["out"],
                      f"{name} / disc-info: disc size and used space are {want}\n{disc['out']}")
            if disc is not None and source is None:
                check("no disc" in r_out(results, "disc-info"),
                      f"{name} / disc-info: says there is no disc\n{r_out(results, 'disc-info')}")
            sess = results.get("sessions")
            if sess is not None and source is None:
                check("Error getting session information" in sess["out"], f"{name} / sessions: the error is shown")
            ls = results.get("ls")
            if ls is not None and source is not None:
                for rel in expected[source]:
                    if "/" + rel.replace(os.sep, "/") not in ls["out"]:
                        check(False, f"{name} / ls: {rel} is not listed")
                        break
                else:
                    check(True, f"{name} / ls: every file is listed")
            lss = results.get("ls-session")
            if lss is not None:
                check("/big/random.bin" in lss["out"] and "readme" not in lss["out"],
                      f"{name} / ls-session: the folder of the session is listed\n{lss['out']}")
            isofs = results.get("isofs")
            if name == "scsi-joliet":
                mounted = isofs is not None and isofs.get("exit") == 0
                check(mounted, f"{name} / isofs: the kernel mounts our Rock Ridge image (console: {log})")
                got = parse_isofs(isofs["stat"]) if mounted else {}
                bad = sorted(p for p in set(got) | set(isofs_want) if got.get(p) != isofs_want.get(p))
                check(mounted and not bad,
                      f"{name} / isofs: names, modes, times, owners and links as they went in, the 12-level "
                      f"tree in place (differs: {[(p, got.get(p), isofs_want.get(p)) for p in bad[:3]]})")
            ext = results.get("extract")
            if ext is not None:
                got = ext["hashes"]
                want = expected[source]
                bad = sorted(p for p in set(got) | set(want) if got.get(p) != want.get(p))
                check(not bad, f"{name} / extract: every file reads back byte for byte (differs: {bad[:5]})")
            # An empty drive answers without a wait for a disc. A wait is a
            # 5-second step on top of the answer's own cost, which a loaded
            # machine under TCG stretches: it is measured beside it.
            if source is None and disc is not None and disc["seconds"] is not None:
                limit = max(4.5, answer_cost + 4.0)
                check(disc["seconds"] < limit,
                      f"{name} / disc-info: answers without waiting for a disc ({disc['seconds']:.2f} s, "
                      f"{answer_cost:.2f} s with a disc)")

    total = time.monotonic() - started
    print(f"{passes} passed, {len(failures)} failed in {total:.0f} s (console logs in {log_dir})")
    return 1 if failures else 0


def r_out(results, name):
    r = results.get(name)
    return r["out"] if r else ""


if __name__ == "__main__":
    sys.exit(main())
