#!/usr/bin/env python3
"""Says how many tests each ctest run skipped, and why, one line per reason.

Usage: python3 tools/skipped_tests.py RESULTS.xml...
  RESULTS.xml  what `ctest --output-junit` wrote, one file per build tree

ctest names a skipped test but not its reason, which is in the test's output: a
GoogleTest skip prints "FILE:LINE: Skipped" and the message on the next line; a
script that exits 77 prints a line starting "skipped:" or "SKIP:".
"""
import collections
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

SCRIPT_REASON = re.compile(r"\s*(?:skipped|skip):\s*(.+)", re.IGNORECASE)


def skip_reason(case):
    lines = (case.findtext("system-out") or "").splitlines()
    for line, following in zip(lines, lines[1:]):
        if line.endswith(": Skipped") and following.strip():
            return following.strip()
    for line in lines:
        found = SCRIPT_REASON.match(line)
        if found:
            return found.group(1).strip()
    return case.find("skipped").get("message") or "no reason given"


def tree_of(results):
    """The build tree a results file belongs to (it lies in TREE/Testing/)."""
    folder = os.path.dirname(os.path.abspath(results))
    if os.path.basename(folder) == "Testing":
        folder = os.path.dirname(folder)
    return os.path.relpath(folder)


def report(results):
    tree = tree_of(results)
    if not os.path.exists(results):
        print(f"   {tree}: no results (ctest did not finish)")
        return
    cases = ElementTree.parse(results).getroot().iter("testcase")
    total = 0
    reasons = collections.Counter()
    for case in cases:
        total += 1
        if case.find("skipped") is not None:
            reasons[skip_reason(case)] += 1
    skipped = sum(reasons.values())
    print(f"   {tree}: {skipped or 'none'} of {total} tests skipped")
    for reason, count in reasons.most_common():
        print(f"     {count:4}  {reason}")


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    print("== skipped tests")
    for results in argv[1:]:
        report(results)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
