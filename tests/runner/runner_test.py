#!/usr/bin/env python3
"""runner_test.py -- the test command's own runners, run with stub stages.

scripts/test.sh decides what CI decides on: each stage's result, the counts
in its summary and its exit status. It is run here with small stage scripts
in place of the real stages (DEMO_TEST_STAGE_DIR) that pass, fail, crash,
hang, print counts or none; scripts/test-web.sh likewise with a stub file
runner (DEMO_WEB_TEST_RUNNER: `sh`, the "test files" being shell scripts).
Every case is a row of a table: what each stub does, and what the runner
must then report.
"""
import os
import re
import subprocess
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
STAGES = ["desktop", "web", "windows", "sanitize", "fuzz"]
# The lanes that run side by side, each in its own order.
LANES = [["desktop", "fuzz"], ["sanitize"], ["windows"], ["web"]]
HANG_LIMIT = "2"     # seconds a hanging stub gets before the runner ends it


def lines_of(path):
    """The lines of a file the stubs append to; none where no stub ran."""
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return f.read().splitlines()


def ctest_counts(passed, failed):
    total = passed + failed
    share = 100 * passed // total if total else 100
    return 'echo "%d%% tests passed, %d tests failed out of %d"' % (share, failed, total)


def stage_counts(stage, passed, failed):
    """What the stage prints as its count line, as the real one does."""
    if stage in ("desktop", "sanitize", "windows"):
        return ctest_counts(passed, failed)
    return 'echo "%s: %d passed, %d failed"' % (stage, passed, failed)


def stub(stage, behaviour):
    """The body of a stub stage script; None: no script at all."""
    kind = behaviour[0]
    if kind == "missing":
        return None
    lines = ['echo "stub output of %s"' % stage]
    if kind in ("pass", "fail", "crash"):
        counts = behaviour[1] if len(behaviour) > 1 else None
        if counts is not None:
            lines.append(stage_counts(stage, *counts))
        lines.append({"pass": "exit 0", "fail": "exit 3", "crash": "kill -SEGV $$"}[kind])
    elif kind == "hang":
        lines.append("sleep 300")
    elif kind == "meet":
        # Passes only once the other stage named has started: two stages
        # that meet must run at the same time.
        other = behaviour[1]
        lines += ['touch "$(dirname "$0")/started-%s"' % stage,
                  'while [ ! -e "$(dirname "$0")/started-%s" ]; do sleep 0.1; done' % other,
                  stage_counts(stage, 1, 0)]
    return "\n".join(lines) + "\n"


SUMMARY_LINE = re.compile(r"^  (\w+) +[0-9.]+ s wall +[0-9.]+ s cpu  (\w+) +\((.*)\)$")
TOTAL_LINE = re.compile(r"^(\d+) passed, (\d+) failed$")


def run_test_sh(stages, args=(), limit=HANG_LIMIT):
    """Runs test.sh with the stub stages; returns (status, {stage: (result,
    detail)} in summary order, total line, stages that ran in order, stderr)."""
    with tempfile.TemporaryDirectory() as d:
        ran = os.path.join(d, "ran")
        for stage, behaviour in stages.items():
            body = stub(stage, behaviour)
            if body is None:
                continue
            path = os.path.join(d, stage)
            with open(path, "w") as f:
                f.write("#!/bin/sh\necho %s >> %s\n%s" % (stage, ran, body))
            os.chmod(path, 0o755)
        env = dict(os.environ, DEMO_TEST_STAGE_DIR=d, DEMO_TEST_STAGE_SECONDS=limit)
        p = subprocess.run([os.path.join(ROOT, "scripts", "test.sh"), *args], env=env,
                           capture_output=True, text=True, timeout=120)
        order = lines_of(ran)
    summary = {}
    total = None
    for line in p.stdout.splitlines():
        m = SUMMARY_LINE.match(line)
        if m:
            summary[m.group(1)] = (m.group(2), m.group(3))
        elif TOTAL_LINE.match(line):
            total = line
    return p.returncode, summary, total, order, p.stderr


def every(behaviour, **others):
    """Every stage behaving as `behaviour`, except those named."""
    return {s: others.get(s, behaviour) for s in STAGES}


ALL_PASS = {"desktop": ("pass", (7, 0)), "web": ("pass", (5, 0)), "windows": ("pass", (3, 0)),
            "sanitize": ("pass", (6, 0)), "fuzz": ("pass",)}
ALL_PASS_SUMMARY = {"desktop": ("passed", "7 passed, 0 failed"), "web": ("passed", "5 passed, 0 failed"),
                    "windows": ("passed", "3 passed, 0 failed"), "sanitize": ("passed", "6 passed, 0 failed"),
                    "fuzz": ("passed", "no test counts")}


def but(base, **changes):
    d = dict(base)
    d.update(changes)
    return d


# name, the stages' behaviour, arguments, exit status, the summary's rows,
# its last line, the stages that ran (in order).
TEST_SH_CASES = [
    ("no test failing", ALL_PASS, [], 0, ALL_PASS_SUMMARY, "22 passed, 0 failed", STAGES),
    ("a failing stage does not stop the others",
     but(ALL_PASS, desktop=("fail", (9, 1))), [], 1,
     but(ALL_PASS_SUMMARY, desktop=("FAILED", "9 passed, 1 failed")), "24 passed, 1 failed", STAGES),
    ("a stage that fails with no failed test counts one",
     but(ALL_PASS, windows=("fail", (3, 0))), [], 1,
     but(ALL_PASS_SUMMARY, windows=("FAILED", "3 passed, 1 failed")), "22 passed, 1 failed", STAGES),
    ("a stage that prints no counts and fails is one failed test",
     but(ALL_PASS, sanitize=("fail",)), [], 1,
     but(ALL_PASS_SUMMARY, sanitize=("FAILED", "no test counts")), "16 passed, 1 failed", STAGES),
    ("a stage that prints no counts and passes is one passed test",
     but(ALL_PASS, web=("pass",)), [], 0,
     but(ALL_PASS_SUMMARY, web=("passed", "no test counts")), "18 passed, 0 failed", STAGES),
    ("a stage killed by a signal has failed",
     but(ALL_PASS, windows=("crash", (2, 0))), [], 1,
     but(ALL_PASS_SUMMARY, windows=("FAILED", "2 passed, 1 failed; ended by signal 11")), "21 passed, 1 failed",
     STAGES),
    ("a stage that hangs is ended at its limit and the rest run",
     but(ALL_PASS, web=("hang",)), [], 1,
     but(ALL_PASS_SUMMARY, web=("FAILED", "no test counts; ended at its time limit")), "17 passed, 1 failed",
     STAGES),
    ("a stage whose script is missing has failed",
     but(ALL_PASS, fuzz=("missing",)), [], 1,
     but(ALL_PASS_SUMMARY, fuzz=("FAILED", "no test counts")), "21 passed, 1 failed",
     ["desktop", "web", "windows", "sanitize"]),
    ("several stages failing",
     but(ALL_PASS, desktop=("fail", (1, 2)), sanitize=("fail", (0, 6))), [], 1,
     but(ALL_PASS_SUMMARY, desktop=("FAILED", "1 passed, 2 failed"), sanitize=("FAILED", "0 passed, 6 failed")),
     "10 passed, 8 failed", STAGES),
    ("--only a good name runs that stage alone",
     ALL_PASS, ["--only", "windows"], 0, {"windows": ("passed", "3 passed, 0 failed")}, "3 passed, 0 failed",
     ["windows"]),
    ("--only a failing stage fails",
     but(ALL_PASS, web=("fail", (4, 2))), ["--only", "web"], 1, {"web": ("FAILED", "4 passed, 2 failed")},
     "4 passed, 2 failed", ["web"]),
    ("a run in which no test ran fails",
     but(ALL_PASS, desktop=("pass", (0, 0))), ["--only", "desktop"], 1, {"desktop": ("passed", "0 passed, 0 failed")},
     "0 passed, 1 failed", ["desktop"]),
]

# Arguments that are refused before any stage runs: status 2, and the
# message on stderr.
REFUSED = [
    ("--only a mistyped name", ["--only", "dekstop"], "unknown stage 'dekstop'; the stages are: " + " ".join(STAGES)),
    ("--only without a name", ["--only"], "usage:"),
    ("an unknown option", ["--all"], "usage:"),
    ("too many arguments", ["--only", "web", "fuzz"], "usage:"),
]


class TestCommand(unittest.TestCase):
    def assertRanInLanes(self, ran, expected):
        """The stages expected ran, each once, and each lane's in its order."""
        self.assertEqual(sorted(ran), sorted(expected))
        for lane in LANES:
            self.assertEqual([s for s in ran if s in lane], [s for s in lane if s in expected])

    def test_stages(self):
        for name, stages, args, status, summary, total, order in TEST_SH_CASES:
            with self.subTest(name):
                rc, got, got_total, ran, err = run_test_sh(stages, args)
                self.assertEqual(got, summary, err)
                self.assertEqual(list(got), list(summary), "the summary's order")
                self.assertEqual(got_total, total)
                self.assertRanInLanes(ran, order)
                self.assertEqual(rc, status, err)

    def test_lanes_run_side_by_side(self):
        # Each of the two first stages waits for the other to start: run one
        # after the other, the first would wait until its limit ended it.
        stages = but(ALL_PASS, desktop=("meet", "windows"), windows=("meet", "desktop"))
        rc, got, total, ran, err = run_test_sh(stages, limit="60")
        self.assertEqual(got["desktop"], ("passed", "1 passed, 0 failed"), err)
        self.assertEqual(got["windows"], ("passed", "1 passed, 0 failed"), err)
        self.assertEqual(rc, 0, err)

    def test_refused_arguments(self):
        for name, args, message in REFUSED:
            with self.subTest(name):
                rc, got, total, ran, err = run_test_sh(ALL_PASS, args)
                self.assertEqual(rc, 2)
                self.assertIn(message, err)
                self.assertEqual(ran, [], "no stage may run")
                self.assertEqual(got, {})


# ---- scripts/test-web.sh, one file at a time -----------------------------

def tap(passed, failed):
    return 'printf "# pass %d\\n# fail %d\\n"' % (passed, failed)


def web_file(behaviour):
    kind = behaviour[0]
    lines = ['echo "$DEMO_ENGINE $(basename "$0")" >> "$RAN"']
    if len(behaviour) > 1:
        lines.append(tap(*behaviour[1]))
    lines.append({"pass": "exit 0", "fail": "exit 1", "crash": "kill -SEGV $$", "hang": "sleep 300"}[kind])
    return "\n".join(lines) + "\n"


PER_FILE = re.compile(r"^web file: (\w+) .*/([\w.]+): (\d+) passed, (\d+) failed$")


def run_test_web(files, engines):
    with tempfile.TemporaryDirectory() as d:
        ran = os.path.join(d, "ran")
        for name, behaviour in files.items():
            with open(os.path.join(d, name), "w") as f:
                f.write(web_file(behaviour))
        env = dict(os.environ, DEMO_WEB_TEST_RUNNER="sh", DEMO_WEB_TEST_DIR=d, DEMO_WEB_ENGINES=engines,
                   DEMO_WEB_TEST_SECONDS=HANG_LIMIT, RAN=ran)
        p = subprocess.run([os.path.join(ROOT, "scripts", "test-web.sh")], env=env, capture_output=True, text=True,
                           timeout=120)
        order = lines_of(ran)
    per_file = [(m.group(1), m.group(2), int(m.group(3)), int(m.group(4)))
                for m in map(PER_FILE.match, p.stderr.splitlines()) if m]
    last = p.stdout.splitlines()[-1] if p.stdout else ""
    failed_line = [l for l in p.stderr.splitlines() if l.startswith("web tests failed:")]
    failures = sorted(w.split(":")[0] + ":" + os.path.basename(w.split(":")[1])
                      for w in failed_line[0].split(":", 1)[1].split()) if failed_line else []
    return p.returncode, per_file, last, order, failures, p.stderr


GOOD_FILES = {"browsers.test.js": ("pass", (3, 0)), "course.test.js": ("pass", (2, 0)),
              "page.test.js": ("pass", (4, 0)), "pacer.test.js": ("pass", (1, 0)),
              "start.test.js": ("pass", (1, 0))}
GOOD_RESULTS = [("chromium", "browsers.test.js", 3, 0), ("chromium", "course.test.js", 2, 0),
                ("chromium", "pacer.test.js", 1, 0), ("chromium", "page.test.js", 4, 0),
                ("chromium", "start.test.js", 1, 0), ("firefox", "browsers.test.js", 3, 0),
                ("firefox", "course.test.js", 2, 0), ("firefox", "pacer.test.js", 1, 0),
                ("firefox", "start.test.js", 1, 0)]


def results_with(changes):
    return [changes.get((e, f), (e, f, p, n)) for e, f, p, n in GOOD_RESULTS]


# name, the files' behaviour, the per-file results, the last line, status,
# the failures named.
TEST_WEB_CASES = [
    ("every file passing", GOOD_FILES, GOOD_RESULTS, "web: 18 passed, 0 failed", 0, []),
    ("a failing file does not stop the others", but(GOOD_FILES, **{"course.test.js": ("fail", (1, 1))}),
     results_with({("chromium", "course.test.js"): ("chromium", "course.test.js", 1, 1),
                   ("firefox", "course.test.js"): ("firefox", "course.test.js", 1, 1)}),
     "web: 16 passed, 2 failed", 1, ["chromium:course.test.js", "firefox:course.test.js"]),
    ("a file killed by a signal has failed", but(GOOD_FILES, **{"page.test.js": ("crash", (2, 0))}),
     results_with({("chromium", "page.test.js"): ("chromium", "page.test.js", 2, 1)}),
     "web: 16 passed, 1 failed", 1, ["chromium:page.test.js"]),
    ("a file that hangs is ended at its limit", but(GOOD_FILES, **{"browsers.test.js": ("hang",)}),
     results_with({("chromium", "browsers.test.js"): ("chromium", "browsers.test.js", 0, 1),
                   ("firefox", "browsers.test.js"): ("firefox", "browsers.test.js", 0, 1)}),
     "web: 12 passed, 2 failed", 1, ["chromium:browsers.test.js", "firefox:browsers.test.js"]),
    ("a file that passes without counts has failed", but(GOOD_FILES, **{"page.test.js": ("pass",)}),
     results_with({("chromium", "page.test.js"): ("chromium", "page.test.js", 0, 1)}),
     "web: 14 passed, 1 failed", 1, ["chromium:page.test.js"]),
    ("a failing status with no failed test counts one", but(GOOD_FILES, **{"course.test.js": ("fail", (2, 0))}),
     results_with({("chromium", "course.test.js"): ("chromium", "course.test.js", 2, 1),
                   ("firefox", "course.test.js"): ("firefox", "course.test.js", 2, 1)}),
     "web: 18 passed, 2 failed", 1, ["chromium:course.test.js", "firefox:course.test.js"]),
]


class TestWebFiles(unittest.TestCase):
    def test_files(self):
        for name, files, results, last, status, failures in TEST_WEB_CASES:
            with self.subTest(name):
                rc, per_file, got_last, order, got_failures, err = run_test_web(files, "chromium firefox")
                self.assertEqual(per_file, results, err)
                self.assertEqual(got_last, last)
                self.assertEqual(got_failures, failures)
                self.assertEqual(order, ["%s %s" % (e, f) for e, f, _, _ in GOOD_RESULTS], "each file in each engine")
                self.assertEqual(rc, status, err)

    def test_only_the_engines_named(self):
        rc, per_file, last, order, failures, err = run_test_web(GOOD_FILES, "webkit")
        self.assertEqual(order, ["webkit browsers.test.js", "webkit course.test.js", "webkit pacer.test.js",
                                 "webkit start.test.js"])
        self.assertEqual(last, "web: 7 passed, 0 failed")
        self.assertEqual(rc, 0, err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
