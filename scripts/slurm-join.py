#!/usr/bin/env python3
"""Joins the outputs of scripts/slurm-report.sh into one JSON Lines file on standard output, and
checks that every path of LIST has exactly one record among them.

Usage: slurm-join.py [--lines] LIST OUT.0 OUT.1 ... > JOINED

LIST is read as the tasks read it: NUL-separated (one path a line with --lines), relative names
taken from the working directory, which must be the one the job ran in. The exit status is 0
when every path has one record and no record names a path outside LIST, 1 otherwise; what is
missing, doubled or foreign is said on standard error.
"""
import json
import os
import sys


def record_path(line):
    record = json.loads(line)
    if "pathHex" in record:
        return bytes.fromhex(record["pathHex"])
    return record["path"].encode("utf-8")


def main(arguments):
    separator = b"\0"
    if arguments[:1] == ["--lines"]:
        separator = b"\n"
        arguments = arguments[1:]
    if len(arguments) < 2:
        sys.exit(__doc__)
    listing, outputs = arguments[0], arguments[1:]
    with open(listing, "rb") as handle:
        entries = [entry for entry in handle.read().split(separator) if entry]
    # As pelmora makes a relative name absolute: the working directory, a '/', the name.
    expected = {entry if entry.startswith(b"/") else os.getcwdb() + b"/" + entry
                for entry in entries}
    counts = dict.fromkeys(expected, 0)
    foreign = 0
    out = sys.stdout.buffer
    for name in outputs:
        with open(name, "rb") as handle:
            for line in handle:
                # A line without its end is part of a record a killed task left: not a record.
                if not line.endswith(b"\n"):
                    print(f"{name}: a partial last line, left out", file=sys.stderr)
                    continue
                path = record_path(line)
                if path in counts:
                    counts[path] += 1
                else:
                    foreign += 1
                    print(f"{name}: a record of {path!r}, which LIST does not name",
                          file=sys.stderr)
                out.write(line)
    missing = [path for path, count in counts.items() if count == 0]
    doubled = [path for path, count in counts.items() if count > 1]
    for path in missing[:10]:
        print(f"no record of {path!r}", file=sys.stderr)
    for path in doubled[:10]:
        print(f"{counts[path]} records of {path!r}", file=sys.stderr)
    print(f"{len(expected)} paths: {len(missing)} without a record, {len(doubled)} with more "
          f"than one; {foreign} records of other paths", file=sys.stderr)
    return 0 if not missing and not doubled and not foreign else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
