#!/usr/bin/env python3
"""What a run changed in the whole registry, from two dumps of it (the
JSON-array lines that tarnvale-capture --registry-dump and tarnvale-sim
--registry-dump-before/-after write): one line per key made or deleted and
per value set, changed or deleted, sorted, key and value names compared
(and shown) in upper case, as Windows compares them.

    registry-changes.py BEFORE AFTER [--leave-out REGEX]...

A change whose subject matches a --leave-out pattern (Python syntax) is left
out: a key's subject is its path, a value's the path, a blank and its name
in quotation marks, both upper case; a key's pattern thus leaves out all it
holds. What Wine changes on its own whatever the tool does, or writes other
than Windows.
"""
import json
import re
import sys


def fold(text):
    # Windows folds names letter by letter to upper case; a letter whose
    # upper case is two letters (German sharp s) stays as it is.
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in text)


def read(path):
    keys = {}  # folded path -> (path as written, {folded name: (name, type, hex)})
    with open(path, encoding="utf-8") as dump:
        for line in dump:
            if not line.strip():
                continue
            entry = json.loads(line)
            key = keys.setdefault(fold(entry[0]), (entry[0], {}))
            if len(entry) == 4:
                key[1][fold(entry[1])] = (entry[1], entry[2], entry[3])
    return keys


def changes(before, after):
    """(key path, line) pairs; names are shown folded, so that a key that
    one side made as "Key" and the other found as "KEY" reads the same."""
    out = []
    for path in sorted(set(before) | set(after)):
        old = before.get(path)
        new = after.get(path)
        if old is None:
            out.append((path, f"made key {path}"))
        elif new is None:
            out.append((path, f"deleted key {path}"))
            continue
        old_values = old[1] if old else {}
        for name in sorted(set(old_values) | set(new[1])):
            was = old_values.get(name)
            now = new[1].get(name)
            shown = json.dumps(name or "@")
            subject = f"{path} {shown}"
            if now is None:
                out.append((subject, f"deleted value {path} {shown}"))
            elif was is None or was[1:] != now[1:]:
                out.append((subject, f"set value {path} {shown} type {now[1]} data [{now[2]}]"))
    return out


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    leave_out = []
    rest = argv[3:]
    while rest:
        if rest[0] != "--leave-out" or len(rest) < 2:
            print(__doc__, file=sys.stderr)
            return 2
        leave_out.append(re.compile(rest[1], re.IGNORECASE))
        rest = rest[2:]
    for path, line in changes(read(argv[1]), read(argv[2])):
        if not any(p.search(path) for p in leave_out):
            print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
