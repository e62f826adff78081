#!/usr/bin/env python3
"""Fails unless every link in every document of a release archive leads to a file
the archive holds, and a link to a heading (file.md#heading) to a heading of that
file. Links to the web are left alone. scripts/package.sh runs it on every archive
it makes.

    scripts/check-archive-links.py dist/qv-<version>-linux-x86_64.tar.gz
"""

import posixpath
import re
import sys
import tarfile
import zipfile

# [text](target) and ![text](target); a target ends at a space (before a title) or ")".
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)[^)]*\)")
FENCE = re.compile(r"^```.*?^```", re.MULTILINE | re.DOTALL)
CODE = re.compile(r"`[^`\n]*`")


def archive_files(name):
    if name.endswith(".zip"):
        with zipfile.ZipFile(name) as archive:
            return {info.filename: archive.read(info) for info in archive.infolist()}
    with tarfile.open(name) as archive:
        return {m.name: archive.extractfile(m).read() for m in archive.getmembers() if m.isfile()}


def anchor(heading):
    """The anchor GitHub gives a heading: lower case, no punctuation, "-" for spaces."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors(markdown):
    text = FENCE.sub("", markdown)
    return {anchor(m.group(1)) for m in re.finditer(r"^#+ (.*)$", text, re.MULTILINE)}


def broken_links(files):
    for document, data in files.items():
        if not document.endswith(".md"):
            continue
        text = CODE.sub("", FENCE.sub("", data.decode("utf-8")))
        for match in LINK.finditer(text):
            target = match.group(1)
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue
            path, _, heading = target.partition("#")
            path = posixpath.normpath(posixpath.join(posixpath.dirname(document), path)) if path else document
            if path not in files:
                yield f"{document}: {target} is not in the archive"
            elif heading and path.endswith(".md") and heading not in anchors(files[path].decode("utf-8")):
                yield f"{document}: {target} names no heading of {path}"


def main():
    if len(sys.argv) != 2:
        print("usage: scripts/check-archive-links.py ARCHIVE", file=sys.stderr)
        return 2
    archive = sys.argv[1]
    broken = list(broken_links(archive_files(archive)))
    for line in broken:
        print(f"{archive.rsplit('/', 1)[-1]}: {line}", file=sys.stderr)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
