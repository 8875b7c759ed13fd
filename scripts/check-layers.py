#!/usr/bin/env python3
"""Fails on any include that runs against the order of the layers.

Usage: check-layers.py SOURCE_DIR LAYER... (from the ground up, as CMakeLists.txt gives them)

A file in a folder may include files of its own folder and of the folders below it; an include of
a folder above it, or of a folder that is no layer, fails with the file and the include named.
"""
import re
import sys
from pathlib import Path

# The files-dropped handler is a member of the main dialog, defined in inspect/ and built into
# the ui target, so it alone may include the dialog.
EXCEPTIONS = {("inspect/InspectDroppedFile.cpp", "ui/PelmoraDlg.h")}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    root = Path(sys.argv[1])
    layers = sys.argv[2:]
    rank = {layer: index for index, layer in enumerate(layers)}
    problems = []
    checked = 0
    for layer in layers:
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in (".cpp", ".h") or not path.is_file():
                continue
            checked += 1
            name = path.relative_to(root).as_posix()
            for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
                # An include without a folder is the includer's own folder's file, or one CMake
                # generates into the build tree's top (Version.h).
                if "/" not in target or (name, target) in EXCEPTIONS:
                    continue
                folder = target.split("/", 1)[0]
                if folder not in rank:
                    problems.append(f"{name}: includes \"{target}\", of {folder}/, which is no layer")
                elif rank[folder] > rank[layer]:
                    problems.append(f"{name}: includes \"{target}\", but {folder}/ lies above "
                                    f"{layer}/ ({' < '.join(layers)})")
    for problem in problems:
        print(problem)
    if not checked:
        sys.exit("no source file found under " + str(root))
    if problems:
        sys.exit(f"{len(problems)} include(s) run against the order of the layers")
    print(f"{checked} files, every include runs down the layers")


if __name__ == "__main__":
    main()
