#!/usr/bin/python3
"""The QEMU check's guards, without a VM: a guest that goes quiet is ended
early with its console kept, and a KVM whose guest never prints leaves the
check on TCG."""
import os
import sys
import tempfile
import time
import unittest
from unittest import mock

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_qemu_drives as qd  # noqa: E402


def fake_guest(script):
    return [sys.executable, "-c", "import sys, time\n" + script]


class RunGuest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.dir.name, "guest.console.log")

    def tearDown(self):
        self.dir.cleanup()

    def test_how_a_guest_ends(self):
        cases = [
            # name, guest, until, how it ends (None: by itself), what the log keeps
            ("quiet after booting", "print('Booting from ROM', flush=True); time.sleep(60)", None,
             "killed: no output for 1 s", "Booting from ROM"),
            ("until seen", "print('Linux version 6', flush=True); time.sleep(60)", "Linux version",
             "stopped: 'Linux version' seen", "Linux version 6"),
            # Talks every 0.3 s, so only the whole time-out ends it.
            ("never quiet", "while True: print('tick', flush=True); time.sleep(0.3)", None,
             "killed after 3 s", "tick"),
        ]
        for name, script, until, how, kept in cases:
            with self.subTest(name):
                text, why, seconds = qd.run_guest(fake_guest(script), self.log, timeout=3, silence=1, until=until)
                self.assertEqual(why, how)
                self.assertLess(seconds, 10)
                self.assertIn(kept, text)
                with open(self.log, encoding="utf-8") as f:
                    log = f.read()
                self.assertIn(kept, log)
                if how is not None:
                    self.assertIn(f"[{how}]", log)


class Accelerator(unittest.TestCase):
    @mock.patch.dict(os.environ, {qd.SILENT_KVM_ENV: "1"})
    @mock.patch.object(qd, "PROBE_SECONDS", 2)
    def test_a_kvm_guest_that_never_prints_leaves_tcg(self):
        with tempfile.TemporaryDirectory() as logs:
            started = time.monotonic()
            accel, why = qd.choose_accelerator("/nonexistent/vmlinuz", logs)
            self.assertEqual(accel, "tcg")
            self.assertIn("did not reach the kernel within 2 s", why)
            self.assertLess(time.monotonic() - started, 10)
            self.assertTrue(os.path.exists(os.path.join(logs, "kvm-probe.console.log")))


if __name__ == "__main__":
    unittest.main()
