#!/usr/bin/python3
"""Compares the frames of two builds frame by frame and writes a report.

Usage: compare_frames.py WINE_DIR OURS_DIR OUT_DIR [--sheet FILE.png] [--worst N]

Both directories hold framedump's frame_NNNNNN.png files. For each frame the
report gives the mean absolute difference per channel and the share of pixels
more than 16 apart in any channel, and OUT_DIR/side-by-side/ gets a picture of
Wine | ours | difference x8. --sheet writes a contact sheet of the N (12)
worst frames. The exit code is 1 when a frame is over the thresholds (mean
above 2 in a channel, or more than 0.5% of pixels more than 16 apart), 2 when
frames are missing or differ in size.
"""
import argparse
import json
import os
import sys

import numpy as np
from PIL import Image, ImageDraw

MEAN_LIMIT = 2.0      # per channel, 0..255
FAR_APART = 16        # a pixel is "far apart" when a channel differs by more
FAR_SHARE_LIMIT = 0.5  # percent of the frame's pixels

# The demo's schedule: (start ms, name).
SCENES = [(0, "intro"), (12000, "title and road"), (24000, "drops"), (36000, "particles"),
          (42000, "closing"), (52000, "greetings")]


def scene_of(ms):
    return [name for start, name in SCENES if start <= ms][-1]


def load(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.int16)


def compare(wine, ours):
    diff = np.abs(wine - ours)
    mean = diff.mean(axis=(0, 1))
    far = 100.0 * float((diff.max(axis=2) > FAR_APART).mean())
    return diff, [round(float(m), 3) for m in mean], round(far, 3)


def side_by_side(wine, ours, diff):
    amplified = np.clip(diff * 8, 0, 255)
    row = np.concatenate([wine, ours, amplified], axis=1).astype(np.uint8)
    return Image.fromarray(row, "RGB")


def contact_sheet(entries, out_dir, path):
    """The worst frames' side-by-side pictures at half size, two to a row, labelled."""
    tiles = []
    for e in entries:
        tile = Image.open(os.path.join(out_dir, "side-by-side", e["file"]))
        tile = tile.resize((tile.width // 2, tile.height // 2), Image.BILINEAR)
        label = "%d ms (%s): mean %s, %.2f%% > 16" % (e["ms"], e["scene"], "/".join(
            "%.2f" % m for m in e["mean"]), e["far_percent"])
        canvas = Image.new("RGB", (tile.width, tile.height + 18), (24, 24, 24))
        canvas.paste(tile, (0, 18))
        ImageDraw.Draw(canvas).text((4, 3), label, fill=(230, 230, 230))
        tiles.append(canvas)
    columns = 2
    rows = (len(tiles) + columns - 1) // columns
    width, height = tiles[0].width, tiles[0].height
    sheet = Image.new("RGB", (columns * width, rows * height), (0, 0, 0))
    for i, tile in enumerate(tiles):
        sheet.paste(tile, ((i % columns) * width, (i // columns) * height))
    sheet.save(path, optimize=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("wine")
    parser.add_argument("ours")
    parser.add_argument("out")
    parser.add_argument("--sheet")
    parser.add_argument("--worst", type=int, default=12)
    args = parser.parse_args()

    names = sorted(f for f in os.listdir(args.ours) if f.startswith("frame_") and f.endswith(".png"))
    if not names:
        print("compare: no frames in %s" % args.ours)
        return 2
    os.makedirs(os.path.join(args.out, "side-by-side"), exist_ok=True)
    entries, problems = [], []
    for name in names:
        wine_path = os.path.join(args.wine, name)
        if not os.path.exists(wine_path):
            problems.append("%s: no frame from Wine" % name)
            continue
        wine, ours = load(wine_path), load(os.path.join(args.ours, name))
        if wine.shape != ours.shape:
            problems.append("%s: Wine's frame is %dx%d, ours %dx%d" % (
                name, wine.shape[1], wine.shape[0], ours.shape[1], ours.shape[0]))
            continue
        diff, mean, far = compare(wine, ours)
        side_by_side(wine, ours, diff).save(os.path.join(args.out, "side-by-side", name))
        ms = int(name[len("frame_"):-len(".png")])
        entries.append({"file": name, "ms": ms, "scene": scene_of(ms), "mean": mean, "far_percent": far,
                        "within": max(mean) <= MEAN_LIMIT and far <= FAR_SHARE_LIMIT})

    with open(os.path.join(args.out, "report.json"), "w") as f:
        json.dump({"frames": entries, "problems": problems}, f, indent=1)
    lines = ["# Wine's Direct3D 8 against ours, frame by frame", "",
             "Thresholds: mean absolute difference at most %.1f per channel, at most %.1f%% of pixels "
             "more than %d apart in any channel." % (MEAN_LIMIT, FAR_SHARE_LIMIT, FAR_APART), "",
             "| demo time (ms) | scene | mean R | mean G | mean B | pixels > 16 apart | within |",
             "|---|---|---|---|---|---|---|"]
    for e in entries:
        lines.append("| %d | %s | %.3f | %.3f | %.3f | %.3f%% | %s |" % (
            e["ms"], e["scene"], e["mean"][0], e["mean"][1], e["mean"][2], e["far_percent"],
            "yes" if e["within"] else "**no**"))
    over = [e for e in entries if not e["within"]]
    worst = sorted(entries, key=lambda e: (e["far_percent"], max(e["mean"])), reverse=True)[:args.worst]
    summary = "%d frames compared, %d over the thresholds" % (len(entries), len(over))
    if entries:
        summary += "; largest mean %.3f, largest share far apart %.3f%%" % (
            max(max(e["mean"]) for e in entries), max(e["far_percent"] for e in entries))
    lines += ["", summary + "."] + ["", "Problems:"] + ["- " + p for p in problems] if problems else ["", summary + "."]
    with open(os.path.join(args.out, "report.md"), "w") as f:
        f.write("\n".join(lines) + "\n")
    if args.sheet and worst:
        contact_sheet(worst, args.out, args.sheet)
    print("compare: " + summary)
    for e in over:
        print("compare: over the thresholds: %d ms (%s): mean %s, %.3f%% far apart" % (
            e["ms"], e["scene"], e["mean"], e["far_percent"]))
    for p in problems:
        print("compare: " + p)
    if problems:
        return 2
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
