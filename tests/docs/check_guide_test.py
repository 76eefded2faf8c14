#!/usr/bin/env python3
"""The guide checker finds each kind of fault it is there for, and passes a sound guide."""

import os
import runpy
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
check = runpy.run_path(HERE + "/../../scripts/check-guide")["check"]

INDEX = ('<html><body><h1 id="top">Guide</h1><a href="tests.html#up">Up</a>'
         '<img src="images/main-window.png" alt="The main window"></body></html>')
TESTS = '<html><body><h2 id="up">Up</h2><a href="index.html#top">Back</a></body></html>'
UNREACHED = "tests.html cannot be reached from index.html"
UNSHOWN = "images/main-window.png is shown by no page"


class CheckGuideTest(unittest.TestCase):
    def test_each_fault_is_named_and_a_sound_guide_passes(self):
        # (a change to INDEX, files added (None: removed), the problems)
        cases = [
            (("", ""), {}, []),
            (("tests.html#up", "test.html#up"), {},
             ['index.html: <a href="test.html#up"> has no file', UNREACHED]),
            (("#up", "#down"), {},
             ['index.html: <a href="tests.html#down">: tests.html has no id "down"']),
            (("tests.html#up", "https://www.vantrel.example/"), {},
             ['index.html: <a href="https://www.vantrel.example/"> leaves the guide', UNREACHED]),
            (("tests.html#up", "../outside.html"), {},
             ['index.html: <a href="../outside.html"> points outside the guide', UNREACHED]),
            (("main-window.png", "options.png"), {},
             ['index.html: <img src="images/options.png"> has no file', UNSHOWN]),
            (("main-window.png", "old-window.png"), {"images/old-window.png": "PNG"},
             ['index.html: <img src="images/old-window.png"> is not a picture the screenshots '
              'script renders', UNSHOWN]),
            ((' alt="The main window"', ""), {},
             ["index.html: image images/main-window.png has no alt text"]),
            (("</body>", '<script src="tests.html"></script></body>'), {},
             ['index.html: <script src="tests.html">: the guide needs no script']),
            (("", ""), {"index.html": None}, ["index.html is missing"]),
            (("", ""), {"index.html": '<img src="main-window.png" alt="x">', "tests.html": None,
                        "main-window.png": "PNG", "images/main-window.png": None},
             ['index.html: <img src="main-window.png">: pictures live in images/']),
        ]
        for (old, new), added, problems in cases:
            files = {"index.html": INDEX.replace(old, new) if old else INDEX, "tests.html": TESTS,
                     "images/main-window.png": "PNG", **added}
            with self.subTest(problems=problems), tempfile.TemporaryDirectory() as guide:
                os.mkdir(os.path.join(guide, "images"))
                for name, text in files.items():
                    if text is not None:
                        with open(os.path.join(guide, name), "w", encoding="utf-8") as f:
                            f.write(text)
                self.assertEqual(check(guide, {"main-window.png", "options.png"}), problems)
        self.assertEqual(check(guide, set()), [f"{guide} is not a folder"])


if __name__ == "__main__":
    unittest.main()
