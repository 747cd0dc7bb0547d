#!/usr/bin/env python3
"""Groups the pages of a snapkit batch report by their perceptual hashes.

    snapkit capture --batch urls.txt --out-dir shots --report report.json
    examples/group_by_phash.py report.json [--distance D]

Pages whose "phash" values are at most D bits apart (6 by default) fall
into one group, and so do pages linked through others (single linkage), as
near-identical pages of a big scan are: login screens, parked domains,
default server pages. Prints one group a paragraph, the largest first, each
page as its URL and file; pages without a picture are left out. With
--json prints a list of groups, each a list of report lines.
"""
import argparse
import json
import sys


def read_report(path):
    """The final line of each list line, as --resume reads them."""
    final = {}
    with open(path, encoding="utf-8") as f:
        for text in f:
            if not text.endswith("\n"):
                break  # cut short while written
            try:
                line = json.loads(text)
            except ValueError:
                continue
            if isinstance(line, dict) and isinstance(line.get("line"), int):
                final[line["line"]] = line
    return [final[k] for k in sorted(final)]


def group(lines, distance):
    pages = [l for l in lines if isinstance(l.get("phash"), str) and len(l["phash"]) == 16]
    hashes = [int(p["phash"], 16) for p in pages]
    parent = list(range(len(pages)))

    def root(i):
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i

    for i in range(len(pages)):
        for j in range(i):
            if bin(hashes[i] ^ hashes[j]).count("1") <= distance:
                parent[root(i)] = root(j)
    groups = {}
    for i, p in enumerate(pages):
        groups.setdefault(root(i), []).append(p)
    return sorted(groups.values(), key=lambda g: (-len(g), g[0]["line"]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("report")
    ap.add_argument("--distance", type=int, default=6, help="bits apart, 0 to 64 (6)")
    ap.add_argument("--json", action="store_true")
    args = ap.parse_args()
    if not 0 <= args.distance <= 64:
        ap.error("--distance goes from 0 to 64")
    try:
        groups = group(read_report(args.report), args.distance)
    except OSError as e:
        print(f"group_by_phash: {e}", file=sys.stderr)
        return 1
    if args.json:
        print(json.dumps(groups))
        return 0
    for n, g in enumerate(groups, 1):
        print(f"group {n}: {len(g)} page{'s' if len(g) != 1 else ''}")
        for p in g:
            print(f"  {p['phash']}  {p['url']}  {p.get('file') or ''}")
        print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
