#!/usr/bin/env python3
"""The layer check against copies of the tree with one fault put in each.

    tests/layers/test_check_layers.py <source root>
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else __file__).resolve()
if ROOT.is_file():
    ROOT = ROOT.parent.parent.parent
SCRIPT = ROOT / "scripts" / "check-layers.py"
SKIP = {"tests", "bench", "build", ".git"}


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self.dir.name)
        for entry in ROOT.iterdir():
            if entry.name in SKIP or entry.name.startswith("build"):
                continue
            if entry.is_dir():
                shutil.copytree(entry, self.root / entry.name,
                                ignore=shutil.ignore_patterns("*.png", "screenshots"))
            elif entry.suffix in (".txt", ".md"):
                shutil.copy(entry, self.root / entry.name)

    def tearDown(self):
        self.dir.cleanup()

    def check(self):
        run = subprocess.run([sys.executable, str(SCRIPT), str(self.root)],
                             capture_output=True, text=True)
        return run.returncode, run.stdout

    def append(self, path, text):
        with open(self.root / path, "a") as f:
            f.write(text)

    def replace(self, path, old, new):
        file = self.root / path
        text = file.read_text()
        self.assertIn(old, text)
        file.write_text(text.replace(old, new, 1))

    def test_the_tree_as_it_is_passes(self):
        code, out = self.check()
        self.assertEqual(code, 0, out)

    def test_includes_outside_what_a_part_may_use_fail(self):
        # Upward from the file-only part into its own folder's other part,
        # sideways between features, and past what a part's row names.
        self.append("logging/LogSidecar.h", '\n#include "logging/LogOperations.h"\n')
        self.append("settings/SessionProperties.cpp", '\n#include "scope/ScopeSlots.h"\n')
        self.append("tools/quarn_log.cpp", '\n#include "link/Link.h"\n')
        self.append("scope/ScopeSlots.cpp", '\n#include "logging/LogFormat.h"\n')
        code, out = self.check()
        self.assertEqual(code, 1)
        for expected in ("logformat includes logging/LogOperations.h from logging",
                         "settings includes scope/ScopeSlots.h from scope",
                         "tools includes link/Link.h from link",
                         "scope includes logging/LogFormat.h from logformat"):
            self.assertIn(expected, out)

    def test_what_a_part_may_use_reaches_down_through_its_row(self):
        # logging names monitor, and monitor names link.
        self.append("logging/LogOperations.cpp", '\n#include "link/Clock.h"\n')
        code, out = self.check()
        self.assertEqual(code, 0, out)

    def test_a_file_only_target_that_links_the_link_or_builds_another_parts_file_fails(self):
        self.replace("logging/CMakeLists.txt", "quarn_logformat PUBLIC quarn_decode",
                     "quarn_logformat PUBLIC quarn_decode quarn_link")
        self.replace("logging/CMakeLists.txt", "  LogSidecar.cpp\n", "  LogSidecar.cpp\n  LogOperations.cpp\n")
        code, out = self.check()
        self.assertEqual(code, 1)
        self.assertIn("quarn_logformat (logformat) links quarn_link from link", out)
        self.assertIn("quarn_logformat (logformat) builds logging/LogOperations.cpp", out)

    def test_unknown_folders_and_targets_and_a_stale_document_fail(self):
        (self.root / "newpart").mkdir()
        (self.root / "newpart" / "New.cpp").write_text("")
        code, out = self.check()
        self.assertEqual(code, 1)
        self.assertIn("newpart/: a folder of sources without a part", out)
        shutil.rmtree(self.root / "newpart")

        self.append("dyno/CMakeLists.txt", "\nadd_library(quarn_dyno_extra STATIC Pulls.cpp)\n")
        code, out = self.check()
        self.assertEqual(code, 1)
        self.assertIn("quarn_dyno_extra belongs to no part", out)
        self.replace("dyno/CMakeLists.txt", "add_library(quarn_dyno_extra STATIC Pulls.cpp)", "")

        self.replace("docs/ARCHITECTURE.md", "| 2 | monitor |", "| 2 | monitors |")
        code, out = self.check()
        self.assertEqual(code, 1)
        self.assertIn("table of parts differs", out)


if __name__ == "__main__":
    unittest.main(verbosity=1)
