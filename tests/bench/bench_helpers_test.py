#!/usr/bin/env python3
"""bench_helpers_test.py -- bench/run.py's reading of show_bench's report
lines and the median (min-max) it prints every figure as."""
import os
import sys
import unittest

sys.dont_write_bytecode = True       # no __pycache__ left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import run  # noqa: E402


class ParseReports(unittest.TestCase):
    def test_values_threads_and_renderer(self):
        text = ("ALSA lib pcm.c: noise from a library\n"
                "bench: first-frame 12345.5\n"
                "bench: renderer llvmpipe (LLVM 15.0.6, 256 bits)\n"
                "bench: thread-share show_bench 0.2131\n"
                "bench: thread-share llvmpipe 0.667\n"
                "bench: frames 2722\n"
                "bench: frame-seconds 23.75\n"
                "not bench: frames 1\n")
        values, threads = run.parse_reports(text)
        self.assertEqual(values, {"first-frame": 12345.5, "renderer": "llvmpipe (LLVM 15.0.6, 256 bits)",
                                  "frames": 2722.0, "frame-seconds": 23.75})
        self.assertEqual(threads, {"show_bench": 0.2131, "llvmpipe": 0.667})
        self.assertAlmostEqual(run.frame_rate(values), 2721 / 23.75)

    def test_nothing_reported(self):
        self.assertEqual(run.parse_reports("show_bench: cannot open display\n"), ({}, {}))


class Spread(unittest.TestCase):
    def test_median_and_range(self):
        self.assertEqual(run.spread([3.0, 1.0, 2.0, 10.0, 2.5]), "2.5 (1.0–10.0)")
        self.assertEqual(run.spread([1.0, 2.0], "{:.2f}"), "1.50 (1.00–2.00)")

    def test_one_run_and_none(self):
        self.assertEqual(run.spread([7.25], "{:.0f}"), "7 (1 run)")
        self.assertEqual(run.spread([]), "not measured")


if __name__ == "__main__":
    unittest.main()
