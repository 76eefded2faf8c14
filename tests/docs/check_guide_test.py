#!/usr/bin/env python3
"""The guide checker finds each kind of fault it is there for, and passes a sound guide."""

import os
import runpy
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
check = runpy.run_path(HERE + "/../../scripts/check-guide")["check"]

SOUND = {"index.html": '<h1 id="top">Guide</h1><a href="tests.html#up">Up</a>'
                       '<img src="images/main-window.png" alt="The main window">',
         "tests.html": '<h2 id="up">Up</h2><a href="index.html#top">Back</a>',
         "images/main-window.png": "PNG"}
# Every fault at once. tests.html is reached through a missing id, old.html by nobody.
BROKEN = {"index.html": '<a href="test.html#up"><a href="tests.html#down">'
                        '<a href="https://www.vantrel.example/"><a href="../outside.html">'
                        '<img src="images/options.png" alt="x"><img src="images/old-window.png" '
                        'alt="x"><img src="main-window.png" alt="x"><img src="images/main-window'
                        '.png"><script src="tests.html"></script>',
          "tests.html": "", "old.html": "", "main-window.png": "PNG",
          "images/main-window.png": "PNG", "images/old-window.png": "PNG", "images/unused.png": ""}


class CheckGuideTest(unittest.TestCase):
    def test_each_fault_is_named_and_a_sound_guide_passes(self):
        cases = [
            (SOUND, []),
            ({**SOUND, "index.html": '<p id="top">'},
             ["tests.html cannot be reached from index.html",
              "images/main-window.png is shown by no page"]),
            ({"tests.html": ""}, ["index.html is missing"]),
            (BROKEN, ["index.html: image images/main-window.png has no alt text",
                      'index.html: <a href="test.html#up"> has no file',
                      'index.html: <a href="tests.html#down">: tests.html has no id "down"',
                      'index.html: <a href="https://www.vantrel.example/"> leaves the guide',
                      'index.html: <a href="../outside.html"> points outside the guide',
                      'index.html: <img src="images/options.png"> has no file',
                      'index.html: <img src="images/old-window.png"> is not a picture the '
                      'screenshots script renders',
                      'index.html: <img src="main-window.png">: pictures live in images/',
                      'index.html: <script src="tests.html">: the guide needs no script',
                      "old.html cannot be reached from index.html",
                      "images/unused.png is shown by no page"]),
        ]
        for files, problems in cases:
            with self.subTest(problems=problems), tempfile.TemporaryDirectory() as guide:
                os.mkdir(os.path.join(guide, "images"))
                for name, text in files.items():
                    with open(os.path.join(guide, name), "w", encoding="utf-8") as f:
                        f.write(text)
                self.assertEqual(check(guide, {"main-window.png", "options.png"}), problems)
        self.assertEqual(check(guide, set()), [f"{guide} is not a folder"])


if __name__ == "__main__":
    unittest.main()
