#!/usr/bin/env python3
"""Checks the layering of src/ by its #include lines (docs/architecture.md explains it).

Usage: check-layers.py [SRC_FOLDER]

Prints each include that breaks a rule, with its file and line, and exits 1 if there is one.
"""

import os
import re
import sys

LOGIC = ("app", "document", "speech", "audio", "aids", "online")

# The logic folders each may use, besides themselves and the framework's core.
NEIGHBOURS = {
    "app": {"document", "speech", "audio", "aids", "online"},
    "speech": {"audio"},
}

# Published C headers of the bundled libraries: plain declarations the logic binds to.
PUBLISHED = {"speech": {"components/msc/msc.h"}}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp)$")
# A program text written as a literal with characters past ASCII: its bytes are GB18030
# only in targets compiled for that (cmake/OrvaneTargets.cmake); the toolkit's are UTF-8.
WIDE_TEXT_LITERAL = re.compile(r'\bText\(\s*"[^"]*[^\x00-\x7f]')
# The whole catalogue in a logic header: a function there takes only the roles it uses
# (a role reference or a Uses); only Program, which hands the roles out, holds it all.
WHOLE_CATALOGUE = re.compile(r"\bRuntimeServices\s*&")
HOLDS_CATALOGUE = {"app/Program.h"}


def framework_core(path):
    return path.startswith("framework/") and path.count("/") == 1


def standard_library(bracket, path):
    # <vector>, <cstdint>: lower case, no extension, no folder (<QString> is Qt).
    return bracket == "<" and re.fullmatch(r"[a-z_]+", path) is not None


def broken_rule(folder, file, bracket, path):
    """Why an include in src/FOLDER/... (FOLDER empty at the top of src/) breaks the layering,
    or None."""
    if folder == "":
        # The entry points put the layers together: they reach the logic through app and
        # the bundled libraries through framework/platform.
        top = path.split("/")[0]
        if bracket == '"' and top != "app" and (top in LOGIC or top == "components"):
            return "an entry point uses app and the framework, not %s/ directly" % top
        return None
    if folder in LOGIC:
        if standard_library(bracket, path) or framework_core(path):
            return None
        top = path.split("/")[0]
        if bracket == '"' and (top == folder or top in NEIGHBOURS.get(folder, ())):
            return None
        if path in PUBLISHED.get(folder, ()):
            return None
        return "logic in %s/ uses only the framework's core, the standard library and %s" % (
            folder, ", ".join(sorted(NEIGHBOURS.get(folder, ()))) or "nothing else")
    if folder == "framework":
        part = file.split("/")[1] if file.count("/") > 1 else "core"
        if part == "core" and (path.startswith("framework/qt/") or
                               path.startswith("framework/platform/") or
                               path.startswith(("Q", "xcb/", "X11/"))):
            return "the framework's core includes neither framework/qt nor framework/platform"
        if part == "platform" and path.startswith("framework/qt/"):
            return "framework/platform does not depend on the toolkit"
        if bracket == '"' and path.split("/")[0] in LOGIC + ("components",):
            return "the framework knows nothing of the program's logic or libraries"
        return None
    if folder == "components":
        if bracket == '"' and path.split("/")[0] in LOGIC + ("framework",):
            return "a bundled library includes nothing of the program"
        return None
    return None


def problems(src):
    found = []
    for root, _, names in os.walk(src):
        for name in sorted(names):
            if not SOURCE.search(name):
                continue
            full = os.path.join(root, name)
            file = os.path.relpath(full, src)
            folder = file.split("/")[0] if "/" in file else ""
            with open(full, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    if file.startswith("framework/qt/") and WIDE_TEXT_LITERAL.search(line):
                        found.append("src/%s:%d: a Chinese Text(\"...\") literal in the toolkit's "
                                     "UTF-8 code; write FromQString(QStringLiteral(...))" % (
                                         file, number))
                    if (folder in LOGIC and name.endswith(".h") and
                            file not in HOLDS_CATALOGUE and WHOLE_CATALOGUE.search(line)):
                        found.append("src/%s:%d: RuntimeServices& in a logic header; take the "
                                     "roles used (a role reference or Uses<...>)" % (file, number))
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    why = broken_rule(folder, file, match.group(1), match.group(2))
                    if why:
                        found.append("src/%s:%d: #include %s%s%s: %s" % (
                            file, number, match.group(1), match.group(2),
                            '"' if match.group(1) == '"' else ">", why))
    return found


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "src")
    found = problems(src)
    for line in found:
        print(line)
    if found:
        print("%d include(s) break the layering (see docs/architecture.md)" % len(found))
        return 1
    print("layering holds")
    return 0


if __name__ == "__main__":
    sys.exit(main())
