#!/usr/bin/env python3
"""Checks of the suite runner's readers: the figures in the table are only as
good as the parsing of what the benchmark programs and /usr/bin/time print."""
import os
import tempfile
import unittest

import run_suite

# What GNU time -v writes (abridged), for a clean exit and for a signal.
TIME_REPORT = """\tCommand being timed: "install"
\tUser time (seconds): 1.26
\tSystem time (seconds): 0.28
\tElapsed (wall clock) time (h:mm:ss or m:ss): 0:09.75
\tMaximum resident set size (kbytes): 59180
\tVoluntary context switches: 2942
\tExit status: 0
"""
TIME_REPORT_SIGNALLED = """\tCommand terminated by signal 15
\tCommand being timed: "install"
\tMaximum resident set size (kbytes): 61000
"""


class Readers(unittest.TestCase):
    def test_name_value_lines(self):
        text = ("QStandardPaths: XDG_RUNTIME_DIR not set\nratio_median 1.2325\nbytes 1.67535e+08\n"
                "run 1: acex 0.978 s\npid 852\n")
        self.assertEqual(run_suite.output_pairs(text),
                         {"ratio_median": 1.2325, "bytes": 1.67535e8, "pid": 852.0})

    def test_time_reports(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "time.txt")
            for text, expected in ((TIME_REPORT, (59180, 0)), (TIME_REPORT_SIGNALLED, (61000, -1))):
                with open(path, "w") as handle:
                    handle.write(text)
                self.assertEqual(run_suite.wait_for_report(path, timeout=1), expected)
            os.remove(path)
            with self.assertRaises(RuntimeError):  # the program never ended
                run_suite.wait_for_report(path, timeout=0.2)

    def test_medians_of_even_and_odd_counts(self):
        self.assertEqual(run_suite.median([3, 1, 2]), 2)
        self.assertEqual(run_suite.median([4, 1, 3, 2]), 2.5)

    def test_long_entry_is_deterministic_and_exact(self):
        first = run_suite.long_entry_bytes(300_000)
        self.assertEqual(len(first), 300_000)
        self.assertEqual(first, run_suite.long_entry_bytes(300_000))
        self.assertIn(b"\r\n", first)  # text, not only noise

    def test_volumes_of_a_release(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in ("set.ace", "set.c00", "set.c01", "install.ini", "install.dat", "notes.c0x"):
                open(os.path.join(folder, name), "w").close()
            self.assertEqual(run_suite.volume_count(folder), 3)
            self.assertEqual(run_suite.release_archive(folder), os.path.join(folder, "set.ace"))


if __name__ == "__main__":
    unittest.main()
