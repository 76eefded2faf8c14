#!/usr/bin/env python3
"""The guide checker finds each kind of fault it is there for, and passes a sound guide."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_guide  # noqa: E402

SHOTS = {"main-window.png", "options.png"}
INDEX = ('<html><body><h1 id="top">Guide</h1><a href="tests.html#up">Up</a>'
         '<img src="images/main-window.png" alt="The main window"></body></html>')
TESTS = '<html><body><h2 id="up">Up</h2><a href="index.html#top">Back</a></body></html>'


class CheckGuideTest(unittest.TestCase):
    def run_check(self, pages, images=("main-window.png",)):
        with tempfile.TemporaryDirectory() as guide:
            os.mkdir(os.path.join(guide, "images"))
            for name in images:
                with open(os.path.join(guide, "images", name), "wb") as f:
                    f.write(b"\x89PNG")
            for name, text in pages.items():
                with open(os.path.join(guide, name), "w", encoding="utf-8") as f:
                    f.write(text)
            return check_guide.check(guide, SHOTS)

    def test_sound_guide_passes(self):
        self.assertEqual(self.run_check({"index.html": INDEX, "tests.html": TESTS}), [])

    def test_each_fault_is_named(self):
        cases = [
            ({"index.html": INDEX.replace("tests.html#up", "test.html#up"), "tests.html": TESTS},
             ["index.html: <a href=\"test.html#up\"> has no file",
              "tests.html cannot be reached from index.html"]),
            ({"index.html": INDEX.replace("#up", "#down"), "tests.html": TESTS},
             ["index.html: <a href=\"tests.html#down\">: tests.html has no id \"down\""]),
            ({"index.html": INDEX, "tests.html": TESTS.replace("index.html#top", "#nowhere")},
             ["tests.html: <a href=\"#nowhere\">: tests.html has no id \"nowhere\""]),
            ({"index.html": INDEX.replace("tests.html#up", "https://www.vantrel.example/"),
              "tests.html": TESTS},
             ["index.html: <a href=\"https://www.vantrel.example/\"> leaves the guide",
              "tests.html cannot be reached from index.html"]),
            ({"index.html": INDEX.replace("tests.html#up", "../outside.html"),
              "tests.html": TESTS},
             ["index.html: <a href=\"../outside.html\"> points outside the guide",
              "tests.html cannot be reached from index.html"]),
            ({"index.html": INDEX.replace("main-window.png", "options.png"), "tests.html": TESTS},
             ["index.html: <img src=\"images/options.png\"> has no file",
              "images/main-window.png is shown by no page"]),
            ({"index.html": INDEX.replace("main-window.png", "old-window.png"),
              "tests.html": TESTS},
             ["index.html: <img src=\"images/old-window.png\"> is not a picture the "
              "screenshots script renders",
              "images/main-window.png is shown by no page"]),
            ({"index.html": INDEX.replace(' alt="The main window"', ""), "tests.html": TESTS},
             ["index.html: image images/main-window.png has no alt text"]),
            ({"index.html": INDEX.replace("</body>", '<script src="tests.html"></script></body>'),
              "tests.html": TESTS},
             ["index.html: <script src=\"tests.html\">: the guide needs no script"]),
            ({"tests.html": TESTS}, ["index.html is missing"]),
        ]
        for pages, problems in cases:
            with self.subTest(problems=problems):
                images = ("main-window.png", "old-window.png") if "old-window" in str(
                    pages) else ("main-window.png",)
                self.assertEqual(self.run_check(pages, images), problems)

    def test_missing_guide_is_named(self):
        with tempfile.TemporaryDirectory() as parent:
            missing = os.path.join(parent, "guide")
            self.assertEqual(check_guide.check(missing, SHOTS), [f"{missing} is not a folder"])

    def test_picture_outside_images_folder(self):
        with tempfile.TemporaryDirectory() as guide:
            with open(os.path.join(guide, "main-window.png"), "wb") as f:
                f.write(b"\x89PNG")
            with open(os.path.join(guide, "index.html"), "w", encoding="utf-8") as f:
                f.write('<img src="main-window.png" alt="x">')
            self.assertEqual(check_guide.check(guide, SHOTS),
                             ["index.html: <img src=\"main-window.png\">: pictures live in images/"])


if __name__ == "__main__":
    unittest.main()
