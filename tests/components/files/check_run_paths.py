#!/usr/bin/env python3
"""No program or library this project builds may make the loader search the current
folder: every RUNPATH or RPATH entry of every executable and shared library in the
build tree, and in a `cmake --install` of it, is an absolute path or starts with
$ORIGIN. An empty entry (as in CMake's padding for an install-time rewrite, ":::")
or a relative one is read by glibc as relative to the current folder.

Usage: check_run_paths.py BUILD_FOLDER
"""

import os
import re
import subprocess
import sys
import tempfile

EXECUTABLE_OR_SHARED = (2, 3)  # ET_EXEC, ET_DYN


def elf_files(root):
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                header = f.read(18)
            if len(header) == 18 and header[:4] == b"\x7fELF":
                order = "little" if header[5] == 1 else "big"
                if int.from_bytes(header[16:18], order) in EXECUTABLE_OR_SHARED:
                    yield path


def bad_entries(path):
    dynamic = subprocess.run(["readelf", "-d", "-W", path], capture_output=True, text=True,
                             check=True).stdout
    bad = []
    for kind, value in re.findall(r"\((RUNPATH|RPATH)\)\s+Library r(?:un)?path: \[(.*)\]",
                                  dynamic):
        for entry in value.split(":"):
            if not (entry.startswith("/") or entry.startswith("$ORIGIN")
                    or entry.startswith("${ORIGIN}")):
                bad.append("%s entry %r in %s" % (kind, entry, value))
    return bad


def main():
    build = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as prefix:
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        checked = list(elf_files(build)) + list(elf_files(prefix))
        installed = os.path.join(prefix, "bin", "orvane-notepad")
        for needed in (os.path.join(build, "orvane-notepad"), installed,
                       os.path.join(build, "components", "msc.dll"),
                       os.path.join(prefix, "lib", "orvane-notepad", "msc.dll")):
            if needed not in checked:
                print("not found among the built files: %s" % needed)
                return 1
        failures = ["%s: %s" % (path, bad) for path in checked for bad in bad_entries(path)]
    for failure in failures:
        print(failure)
    print("checked the run-paths of %d executables and libraries" % len(checked))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
