#!/usr/bin/env python3
"""Writes CHANGELOG.md as a Debian changelog, the form a package's
/usr/share/doc/glyphrip/changelog.gz must have, so that the one changelog
is kept by hand.

Usage: debian-changelog.py CHANGELOG.md PACKAGE "MAINTAINER <ADDRESS>" OUT

Each released section, "## [VERSION] - YYYY-MM-DD", becomes one entry; its
"### Kind" headings prefix their items ("Added: ..."), and Markdown's
backticks and link brackets go.
"""
import re
import sys
import textwrap
from datetime import datetime, timedelta, timezone


def sections(markdown):
    """Yields (version, date, [item, ...]) for each released section."""
    version = None
    for line in markdown.splitlines() + ["## end"]:
        heading = re.match(r"## \[([^\]]+)\](?: - (\d{4}-\d{2}-\d{2}))?", line)
        if line.startswith("## "):
            if version:
                yield version, date, items
            version, date, items = (heading.group(1), heading.group(2), []) if heading and heading.group(2) else (None, None, [])
        elif version is None:
            continue
        elif line.startswith("### "):
            kind = line[4:].strip()
        elif line.startswith("- "):
            items.append(f"{kind}: {line[2:].strip()}")
        elif line.startswith("  ") and items:
            items[-1] += " " + line.strip()


def plain(text):
    text = re.sub(r"\[([^\]]+)\]\([^)]*\)", r"\1", text)
    return text.replace("`", "")


def entry(package, maintainer, version, when, items):
    lines = [f"{package} ({version}) unstable; urgency=medium", ""]
    for item in items:
        lines += textwrap.wrap(plain(item), 78, initial_indent="  * ", subsequent_indent="    ")
    lines += ["", f" -- {maintainer}  {when.strftime('%a, %d %b %Y %H:%M:%S +0000')}", ""]
    return "\n".join(lines)


def main():
    source, package, maintainer, out = sys.argv[1:5]
    with open(source, encoding="utf-8") as f:
        released = list(sections(f.read()))
    # Debian wants each entry later than the one before it: a second
    # release on one day is an hour after the first.
    entries, last = [], None
    for version, date, items in reversed(released):
        when = datetime.strptime(date, "%Y-%m-%d").replace(tzinfo=timezone.utc)
        if last is not None and when <= last:
            when = last + timedelta(hours=1)
        last = when
        entries.insert(0, entry(package, maintainer, version, when, items))
    if not entries:
        sys.exit(f"{source}: no released version")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(entries))


if __name__ == "__main__":
    main()
