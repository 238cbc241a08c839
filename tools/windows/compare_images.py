#!/usr/bin/python3
"""Sets the two builds' picture decoders side by side (image_check's output).

Usage: compare_images.py LINUX_LIST LINUX_PIXELS WINDOWS_LIST WINDOWS_PIXELS

Every file must be rejected by both or decoded by both to the same size and
alpha, with every channel of every pixel within TOLERANCE. Prints the largest
difference met and exits 1 on any mismatch.
"""
import os
import sys

import numpy as np

TOLERANCE = 1  # the decoders' rounding: the same libraries on both sides differ by none


def main():
    linux_list, linux_dir, windows_list, windows_dir = sys.argv[1:5]
    with open(linux_list) as f:
        linux = [line.split() for line in f if line.strip()]
    with open(windows_list) as f:
        windows = {parts[0]: parts[1:] for parts in (line.split() for line in f if line.strip())}
    problems, largest, decoded, rejected = [], 0, 0, 0
    for name, *result in linux:
        other = windows.get(name)
        if other != result:
            problems.append("%s: Linux %s, Windows %s" % (name, " ".join(result), " ".join(other or ["nothing"])))
            continue
        if result == ["rejected"]:
            rejected += 1
            continue
        decoded += 1
        pixel_file = name.replace("/", "_") + ".argb"
        a = np.fromfile(os.path.join(linux_dir, pixel_file), dtype=np.uint8).astype(np.int16)
        b = np.fromfile(os.path.join(windows_dir, pixel_file), dtype=np.uint8).astype(np.int16)
        difference = int(np.abs(a - b).max()) if a.size == b.size and a.size else 255
        largest = max(largest, difference)
        if difference > TOLERANCE:
            problems.append("%s: pixels differ by up to %d" % (name, difference))
    missing = sorted(set(windows) - {parts[0] for parts in linux})
    problems += ["%s: only the Windows build saw it" % name for name in missing]
    print("images: %d decoded alike (largest channel difference %d), %d rejected by both, %d problems"
          % (decoded, largest, rejected, len(problems)))
    for p in problems:
        print("images: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
