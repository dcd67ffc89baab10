#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures how legible every caption of the window is on what lies behind it.

The shooter photographs the window on each background a caption can have (the
gradient at its darkest and lightest green, the grey left by typing, the
shapes) and says where each caption lies. For every caption this script finds
the pixels of its own colour (the glyphs); for each glyph pixel at an edge it
takes the strongest contrast with the caption's colour among the pixels
within five of it (the edge the eye gets, whatever smoothing lies between).
A pixel row's figure is the median of its edges; a caption's figure is its
worst row.
"bare" is the contrast with what the caption lies on, away from its glyphs:
what the reader would get without a halo.

Usage: contrast.py --shooter PROGRAM --out DIR   (photographs, then measures)
       contrast.py --shots DIR                   (measures photographs already taken)
Exits 1 when a caption falls below its threshold (4.5:1, or the lower one
the shooter gives for it, such as a disabled button's 3:1) anywhere.
"""

import argparse
import json
import os
import subprocess
import sys

THRESHOLD = 4.5
# Pixels this close to the caption's colour, channel by channel, count as glyph.
GLYPH_TOLERANCE = 24
# How far beyond a glyph's edge its contrasting band may lie.
REACH = 5
AWAY = 5


def luminance(rgb):
    def linear(c):
        c /= 255.0
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = rgb
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b)


def contrast(a, b):
    la, lb = luminance(a), luminance(b)
    return (max(la, lb) + 0.05) / (min(la, lb) + 0.05)


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError(path + ": not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos:pos + width * height * 3]


def measure(image, glyph_box, inside, fore):
    """The worst row's contrast, and the colour the caption lies on."""
    width, height, pixels = image
    gx0, gy0, gw, gh = glyph_box
    ix0, iy0, iw, ih = inside
    left, top = max(ix0, 0), max(iy0, 0)
    right, bottom = min(ix0 + iw, width), min(iy0 + ih, height)

    def at(x, y):
        i = (y * width + x) * 3
        return pixels[i], pixels[i + 1], pixels[i + 2]

    def ink(p):
        return all(abs(p[k] - fore[k]) <= GLYPH_TOLERANCE for k in range(3))

    inked = {}
    for y in range(top, bottom):
        for x in range(left, right):
            inked[x, y] = ink(at(x, y))

    # Each pixel's best contrast with the caption's colour within REACH pixels, glyph pixels aside:
    # the edge an eye gets there, whatever smoothing lies between.
    score = {q: 0.0 if inked[q] else contrast(fore, at(*q)) for q in inked}
    across = {}
    for y in range(top, bottom):
        for x in range(left, right):
            across[x, y] = max(score.get((x + d, y), 0.0) for d in range(-REACH, REACH + 1))
    best = {}
    for y in range(top, bottom):
        for x in range(left, right):
            best[x, y] = max(across.get((x, y + d), 0.0) for d in range(-REACH, REACH + 1))

    worst = None
    for y in range(max(gy0, top), min(gy0 + gh, bottom)):
        edges = sorted(best[x, y] for x in range(max(gx0, left), min(gx0 + gw, right))
                       if inked[x, y] and not all(inked.get((x + dx, y + dy), True)
                                                  for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))))
        if edges:
            # A row's figure is its median edge: a narrow gap inside a glyph ("4", "e") is
            # smoothed grey on any screen, and must not speak for the whole row.
            figure = edges[len(edges) // 2]
            worst = figure if worst is None else min(worst, figure)

    # What the caption lies on: the commonest colour more than AWAY pixels from any glyph, past any halo.
    across = {}
    for y in range(top, bottom):
        for x in range(left, right):
            across[x, y] = any(inked.get((x + d, y), False) for d in range(-AWAY, AWAY + 1))
    counts = {}
    for y in range(top, bottom):
        for x in range(left, right):
            if not any(across.get((x, y + d), False) for d in range(-AWAY, AWAY + 1)):
                p = at(x, y)
                counts[p] = counts.get(p, 0) + 1
    behind = max(counts, key=counts.get) if counts else None
    return (worst, behind) if worst is not None else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--shooter")
    parser.add_argument("--out")
    parser.add_argument("--shots")
    args = parser.parse_args()
    shots = args.shots
    if args.shooter:
        shots = args.out
        os.makedirs(shots, exist_ok=True)
        subprocess.run([args.shooter, shots], check=True)
    with open(os.path.join(shots, "captions.json")) as f:
        scenes = json.load(f)

    failures = 0
    print("%-26s %-12s %-28s %-8s %-9s %-8s %s" % ("scene", "caption", "text", "colour", "behind", "bare", "with halo"))
    for scene in sorted(scenes):
        image = read_ppm(os.path.join(shots, scene + ".ppm"))
        for caption in sorted(scenes[scene], key=lambda c: c["name"]):
            fore = tuple(int(caption["fore"][i:i + 2], 16) for i in (1, 3, 5))
            result = measure(image, caption["rect"], caption["inside"], fore)
            text = caption["text"][:26]
            if result is None:
                print("%-26s %-12s %-28s no glyph of its colour found" % (scene, caption["name"], text))
                failures += 1
                continue
            worst, behind = result
            bare = contrast(fore, behind) if behind else float("nan")
            threshold = caption.get("threshold", THRESHOLD)
            ok = worst >= threshold
            failures += not ok
            print("%-26s %-12s %-28s %-8s %-9s %-8.2f %.2f%s" % (
                scene, caption["name"], text, caption["fore"],
                "#%02x%02x%02x" % behind if behind else "-", bare, worst, "" if ok else "  TOO LOW"))
    if failures:
        print("%d captions below their threshold" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
