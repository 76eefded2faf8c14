#!/usr/bin/env python3
"""check_guide.py GUIDE_DIR SCREENSHOTS_SCRIPT

Checks the user guide: every link and image of every page resolves to a file inside the
guide (and a #fragment to an id on that page), every image is one that the screenshots
script renders, every page is reachable from index.html, and no picture lies unused.
Prints one line per problem; exit 1 when there is any."""

import html.parser
import os
import subprocess
import sys
import urllib.parse


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []  # (tag, attribute, value)
        self.ids = set()
        self.images_without_alt = []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for key in ("id", "name") if tag == "a" else ("id",):
            if attrs.get(key):
                self.ids.add(attrs[key])
        if tag in ("a", "link") and attrs.get("href") is not None:
            self.links.append((tag, "href", attrs["href"]))
        if tag in ("img", "script", "iframe") and attrs.get("src") is not None:
            self.links.append((tag, "src", attrs["src"]))
        if tag == "img" and not attrs.get("alt"):
            self.images_without_alt.append(attrs.get("src", ""))


def rendered_shots(script):
    out = subprocess.run([script, "--list"], check=True, capture_output=True, text=True)
    return set(out.stdout.split())


def check(guide, shots):
    guide = os.path.realpath(guide)
    if not os.path.isdir(guide):
        return [f"{guide} is not a folder"]
    problems = []
    pages = {}
    for name in sorted(os.listdir(guide)):
        if name.endswith(".html"):
            page = Page()
            with open(os.path.join(guide, name), encoding="utf-8") as f:
                page.feed(f.read())
            pages[name] = page
    if "index.html" not in pages:
        return ["index.html is missing"]

    used_images = set()
    linked_pages = {"index.html": set()}
    for name, page in pages.items():
        for src in page.images_without_alt:
            problems.append(f"{name}: image {src} has no alt text")
        for tag, attr, value in page.links:
            where = f"{name}: <{tag} {attr}=\"{value}\">"
            url = urllib.parse.urlsplit(value)
            if url.scheme or url.netloc:
                problems.append(f"{where} leaves the guide")
                continue
            path = urllib.parse.unquote(url.path) or name
            target = os.path.realpath(os.path.join(guide, path))
            if os.path.commonpath([guide, target]) != guide:
                problems.append(f"{where} points outside the guide")
                continue
            if not os.path.isfile(target):
                problems.append(f"{where} has no file")
                continue
            relative = os.path.relpath(target, guide)
            if tag == "script" or tag == "iframe":
                problems.append(f"{where}: the guide needs no {tag}")
            if tag == "img":
                used_images.add(relative)
                if os.path.dirname(relative) != "images":
                    problems.append(f"{where}: pictures live in images/")
                elif os.path.basename(relative) not in shots:
                    problems.append(f"{where} is not a picture the screenshots script renders")
            if relative in pages:
                linked_pages.setdefault(relative, set()).add(name)
                if url.fragment and url.fragment not in pages[relative].ids:
                    problems.append(f"{where}: {relative} has no id \"{url.fragment}\"")

    reachable, todo = set(), ["index.html"]
    while todo:
        name = todo.pop()
        if name in reachable:
            continue
        reachable.add(name)
        todo += [t for t, sources in linked_pages.items() if name in sources]
    for name in pages:
        if name not in reachable:
            problems.append(f"{name} cannot be reached from index.html")

    images = os.path.join(guide, "images")
    for name in sorted(os.listdir(images)) if os.path.isdir(images) else []:
        if os.path.join("images", name) not in used_images:
            problems.append(f"images/{name} is shown by no page")
    return problems


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    problems = check(sys.argv[1], rendered_shots(sys.argv[2]))
    for line in problems:
        print(line)
    if not problems:
        print("guide: every link and image resolves")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
