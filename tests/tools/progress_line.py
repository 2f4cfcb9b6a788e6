"""The progress line of the vextrel program: shown on standard error when it is a terminal (a
pseudo-terminal here) and the input is over the size set by --progress-over; never with --quiet,
when standard error is not a terminal, or for an input under the size.

    python3 progress_line.py VEXTREL
"""
import os
import pty
import subprocess
import sys
import tempfile
import unittest

VEXTREL = sys.argv.pop(1) if len(sys.argv) > 1 else "vextrel"


def run(arguments, terminal):
    """Runs vextrel with its standard error on a pseudo-terminal (or a pipe): (status, stderr text)."""
    if not terminal:
        done = subprocess.run([VEXTREL] + arguments, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
        return done.returncode, done.stderr.decode(errors="replace")
    master, slave = pty.openpty()
    process = subprocess.Popen([VEXTREL] + arguments, stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    text = b""
    while True:
        try:
            piece = os.read(master, 4096)
        except OSError:  # the program has ended and closed the terminal
            break
        if not piece:
            break
        text += piece
    os.close(master)
    return process.wait(timeout=60), text.decode(errors="replace")


class ProgressLine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.trace = os.path.join(cls.folder.name, "host_2026-12-06_03-04-05.txt")
        with open(cls.trace, "w") as trace:
            for record in range(2000):
                trace.write("1.%06d,01a00,0101: record %d\n" % (record, record))

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_shown_on_a_terminal_over_the_size(self):
        for command in ("cat", "stats"):
            status, text = run([command, "--progress-over", "1", self.trace], terminal=True)
            self.assertEqual(status, 0, command)
            self.assertIn("MB read", text, command)
            self.assertTrue(text.endswith("\r"), command + ": the line is cleared at the end")

    def test_not_shown_with_quiet(self):
        status, text = run(["stats", "--progress-over", "1", "--quiet", self.trace], terminal=True)
        self.assertEqual(status, 0)
        self.assertEqual(text, "")

    def test_not_shown_when_standard_error_is_not_a_terminal(self):
        status, text = run(["stats", "--progress-over", "1", self.trace], terminal=False)
        self.assertEqual(status, 0)
        self.assertEqual(text, "")

    def test_not_shown_under_the_default_size(self):
        status, text = run(["stats", self.trace], terminal=True)
        self.assertEqual(status, 0)
        self.assertEqual(text, "")


if __name__ == "__main__":
    unittest.main()
