#!/usr/bin/env python3
"""scripts/mutate on a small project made for the test: a git repository
whose branch adds two functions to a library, one of them tested and one
not, and a line whose mutants cannot build. The mutants of the tested
function must be killed, those of the untested one reported as surviving
with their diffs, the unbuildable ones counted apart, and the sources left
as they were, also when the run is interrupted.

    MutateTest.py PATH_OF_SCRIPTS_MUTATE
"""

import os
import re
import signal
import subprocess
import sys
import tempfile
import unittest

MUTATE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None

FILES_ON_MAIN = {
    "CMakeLists.txt": """cmake_minimum_required(VERSION 3.20)
project(Fixture CXX)
enable_testing()
add_library(calc STATIC calc.cpp)
add_executable(calc_test test.cpp)
target_link_libraries(calc_test calc)
add_test(NAME calc COMMAND calc_test)
""",
    "calc.h": """#pragma once
int Clamp(int value, int low, int high);
bool IsEven(int value);
int Twice(int value);
""",
    "calc.cpp": """#include "calc.h"

int Clamp(int value, int low, int high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}
""",
    "test.cpp": """#include "calc.h"

int main() {
  const bool clamps = Clamp(5, 0, 3) == 3 && Clamp(-1, 0, 3) == 0 && Clamp(2, 0, 3) == 2;
  const bool even = IsEven(4) && !IsEven(3);
  return clamps && even ? 0 : 1;
}
""",
}

# The branch's change: IsEven is tested, Twice is not; the size check's
# mutants do not build.
ADDED = """
static_assert(sizeof(int) == 4);

bool IsEven(int value) {
  return value % 2 == 0;
}

int Twice(int value) {
  return value * 2;
}
"""


def run(cmd, cwd, check=True):
    env = {k: v for k, v in os.environ.items() if not k.startswith("GIT_")}
    env.update(GIT_AUTHOR_NAME="t", GIT_AUTHOR_EMAIL="t@t", GIT_COMMITTER_NAME="t",
               GIT_COMMITTER_EMAIL="t@t")
    return subprocess.run(cmd, cwd=cwd, check=check, capture_output=True, text=True, env=env)


class MutateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="ovrel-mutate-")
        cls.repo = os.path.join(cls.temp.name, "repo")
        cls.build = os.path.join(cls.temp.name, "build")
        os.mkdir(cls.repo)
        run(["git", "init", "-q", "-b", "main"], cls.repo)
        for name, text in FILES_ON_MAIN.items():
            with open(os.path.join(cls.repo, name), "w") as f:
                f.write(text)
        run(["git", "add", "."], cls.repo)
        run(["git", "commit", "-q", "-m", "Clamp"], cls.repo)
        run(["git", "checkout", "-q", "-b", "work"], cls.repo)
        with open(os.path.join(cls.repo, "calc.cpp"), "a") as f:
            f.write(ADDED)
        run(["git", "commit", "-q", "-am", "IsEven and Twice"], cls.repo)
        run(["cmake", "-S", cls.repo, "-B", cls.build, "-G", "Ninja"], cls.repo)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def mutate(self, *args):
        return run([MUTATE, *args], self.repo, check=False)

    def assertSourcesUntouched(self):
        self.assertEqual(run(["git", "status", "--porcelain"], self.repo).stdout, "")

    def test_lists_the_mutants_of_the_changed_lines_only(self):
        listed = self.mutate("--list")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        names = re.findall(r"^#\d+ (\S+: .+)$", listed.stdout, re.M)
        self.assertEqual(sorted(names), sorted([
            "calc.cpp:9: flip ==", "calc.cpp:9: 4 + 1", "calc.cpp:9: 4 - 1",
            "calc.cpp:12: flip ==", "calc.cpp:12: 2 + 1", "calc.cpp:12: 2 - 1",
            "calc.cpp:12: 0 + 1", "calc.cpp:16: 2 + 1", "calc.cpp:16: 2 - 1"]))
        # Clamp, on main before the branch, has none.
        self.assertNotIn("calc.cpp:4:", listed.stdout)
        # A seed makes the choice repeatable; --files narrows it.
        first = self.mutate("--list", "--seed", "7", "--max", "3").stdout
        self.assertEqual(first, self.mutate("--list", "--seed", "7", "--max", "3").stdout)
        self.assertIn("mutants: 3", first)
        self.assertIn("mutants: 0", self.mutate("--list", "--files", "*.h").stdout)
        self.assertIn("mutants: 2", self.mutate("--list", "--range", "main..work",
                                                "--max", "2").stdout)

    def test_lines_edited_after_the_change_move_or_drop_out(self):
        path = os.path.join(self.repo, "calc.cpp")
        with open(path) as f:
            committed = f.read()
        edited = "// a line above\n" + committed.replace("value * 2", "value + value")
        try:
            with open(path, "w") as f:
                f.write(edited)
            listed = self.mutate("--list", "--range", "main..work").stdout
        finally:
            with open(path, "w") as f:
                f.write(committed)
        names = re.findall(r"^#\d+ (\S+: .+)$", listed, re.M)
        self.assertIn("calc.cpp:13: flip ==", names)  # was line 12
        self.assertFalse([n for n in names if n.startswith("calc.cpp:17:")], names)
        self.assertIn("mutants: 7", listed)

    def test_kills_the_tested_survives_the_untested_and_restores_the_sources(self):
        ran = self.mutate("--build", self.build, "--tests", "calc")
        self.assertEqual(ran.returncode, 0, ran.stdout + ran.stderr)
        out = ran.stdout
        for killed in ("calc.cpp:12: flip ==", "calc.cpp:12: 2 - 1", "calc.cpp:12: 0 + 1"):
            self.assertIn(f"{killed} ... killed", out)
        self.assertIn("calc.cpp:9: flip == ... unbuilt", out)
        self.assertIn("SURVIVED calc.cpp:16: 2 + 1\n--- a/calc.cpp\n+++ b/calc.cpp\n"
                      "@@ -16 +16 @@\n-  return value * 2;\n+  return value * 3;\n", out)
        self.assertIn("mutants: 9 run, 4 killed, 2 survived, 3 did not build, 0 not run", out)
        self.assertIn("score: 4/6 = 66.7%", out)
        self.assertSourcesUntouched()

    def test_an_interrupted_run_puts_the_mutated_file_back(self):
        child = subprocess.Popen([MUTATE, "--build", self.build, "--tests", "calc"],
                                 cwd=self.repo, stdout=subprocess.PIPE, text=True)
        seen = ""
        while "[1/" not in seen:  # the first mutant is in place
            ch = child.stdout.read(1)
            self.assertTrue(ch, "mutate ended before its first mutant: " + seen)
            seen += ch
        child.send_signal(signal.SIGINT)
        rest, _ = child.communicate()
        self.assertEqual(child.returncode, 130, seen + rest)
        self.assertIn("not run", rest)
        self.assertSourcesUntouched()


if __name__ == "__main__":
    unittest.main(verbosity=2)
