#!/usr/bin/env python3
"""Checks that a bundled library exports exactly the functions its public C header
declares as visible: no fewer, and nothing else (no C++ runtime, no helpers).

Usage: check-exports.py LIBRARY HEADER [LIBRARY HEADER ...]
"""

import re
import subprocess
import sys

VISIBLE = r'__attribute__\(\(visibility\("default"\)\)\)'


def published(header):
    with open(header, encoding="utf-8") as f:
        text = f.read()
    markers = [VISIBLE] + [re.escape(name) for name in
                           re.findall(r"#define\s+(\w+)\s+" + VISIBLE, text)]
    names = set()
    for marker in markers:
        names.update(re.findall(r"(?m)^" + marker + r"\s+[\w\s\*]*?(\w+)\s*\(", text))
    return names


def exported(library):
    lines = subprocess.run(["nm", "-D", "--defined-only", library], check=True,
                           capture_output=True, text=True).stdout.splitlines()
    return {line.split()[-1].split("@")[0] for line in lines if line.strip()}


def main():
    arguments = sys.argv[1:]
    if not arguments or len(arguments) % 2:
        sys.exit(__doc__)
    wrong = False
    for library, header in zip(arguments[0::2], arguments[1::2]):
        expected, actual = published(header), exported(library)
        faults = wrong
        if not expected:
            print("%s: no published functions found" % header)
            wrong = True
        for name in sorted(actual - expected):
            print("%s exports %s, which %s does not publish" % (library, name, header))
            wrong = True
        for name in sorted(expected - actual):
            print("%s does not export %s, published in %s" % (library, name, header))
            wrong = True
        if faults == wrong:
            print("%s: exactly the %d published functions" % (library, len(expected)))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
