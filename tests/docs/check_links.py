#!/usr/bin/env python3
"""Checks the links between the documentation pages: README.md,
ARCHITECTURE.md and docs/*.md. Every relative link must name a file that
exists and, after '#', a heading of that page (GitHub's anchors); every page
under docs/ must be linked from another page. Prints each broken link and
exits 1 when there is one."""
import re
import sys
from pathlib import Path

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def prose(text):
    """The lines outside fenced code blocks, with inline code removed."""
    fenced = False
    for number, line in enumerate(text.splitlines(), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if not fenced and not line.startswith("    "):
            yield number, re.sub(r"`[^`]*`", "", line)


def anchors(page):
    """GitHub's anchors of the headings of `page` (code spans keep their text)."""
    seen, result = {}, set()
    for line in page.read_text(encoding="utf-8").splitlines():
        m = re.match(r"#{1,6}\s+(.*)", line)
        if not m:
            continue
        slug = re.sub(r"[^\w\- ]", "", m.group(1).strip().lower()).replace(" ", "-")
        n = seen.get(slug, 0)
        seen[slug] = n + 1
        result.add(slug if n == 0 else f"{slug}-{n}")
    return result


def main(root):
    root = Path(root).resolve()
    pages = [root / "README.md", root / "ARCHITECTURE.md", *sorted((root / "docs").glob("*.md"))]
    broken, linked = [], set()
    for page in pages:
        for number, line in prose(page.read_text(encoding="utf-8")):
            for target in LINK.findall(line):
                if re.match(r"[a-z]+:", target):
                    continue
                path, _, anchor = target.partition("#")
                dest = (page.parent / path).resolve() if path else page
                where = f"{page.relative_to(root)}:{number}: {target}"
                if not dest.exists():
                    broken.append(f"{where}: no such file")
                    continue
                linked.add(dest)
                if anchor and dest.suffix == ".md" and anchor not in anchors(dest):
                    broken.append(f"{where}: no heading with that anchor")
    for page in pages[2:]:
        if page not in linked:
            broken.append(f"{page.relative_to(root)}: no page links to it")
    for b in broken:
        print(b)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
