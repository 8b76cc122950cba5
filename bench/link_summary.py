#!/usr/bin/env python3
"""Prints the medians of a bench/link.sh results file, the ideal times and quorvane-fetch's ratios.

The ideal time of a link is S / R + 3 RTT: R is the sum of the rates of the first N connections
(every k-th one slow on a slow link), capped by the link's rate, and the three round trips are the
first connection's handshake and request before the size is known and the first byte of the
others' ranges (whose handshakes overlap the first answer at best).
"""

import statistics
import sys
from collections import defaultdict

TOOLS = ["quorvane", "baseline", "aria2c", "axel", "curl", "wget2"]


def ideal_seconds(shape, size, connections, tool):
    rtt, rate, link_rate, every, slow_rate, _single = shape
    used = 1 if tool in ("curl", "wget2") else connections
    rates = sum(slow_rate if every and i % every == 0 else rate for i in range(1, used + 1))
    if link_rate:
        rates = min(rates, link_rate)
    return size / rates + 3 * rtt / 1000


def main(path, size, connections, shapes_text):
    shapes = {}
    for item in shapes_text.split(";"):
        if item:
            name, values = item.split("=")
            shapes[name] = [float(v) if v not in ("yes", "no") else v for v in values.split(",")]
    runs = defaultdict(list)
    for line in open(path):
        link, tool, wall, opened, slow = line.rstrip("\n").split("\t")
        runs[(link, tool)].append((float(wall), int(opened), int(slow)))

    print(f"{'link':<8}{'tool':<10}{'runs':>5}{'wall s':>9}{'min-max s':>14}{'conns':>7}"
          f"{'slow':>6}{'ideal s':>9}{'vs ideal':>9}{'ours/it':>9}")
    for link in shapes:
        ours = runs.get((link, "quorvane"))
        for tool in TOOLS:
            rows = runs.get((link, tool))
            if not rows:
                continue
            walls = [r[0] for r in rows]
            wall = statistics.median(walls)
            ideal = ideal_seconds(shapes[link], size, connections, tool)
            ratio = ""
            if ours and tool != "quorvane":
                ratio = f"{statistics.median(r[0] for r in ours) / wall:.3f}"
            spread = f"{min(walls):.2f}-{max(walls):.2f}"
            print(f"{link:<8}{tool:<10}{len(rows):>5}{wall:>9.3f}{spread:>14}"
                  f"{statistics.median(r[1] for r in rows):>7.0f}"
                  f"{statistics.median(r[2] for r in rows):>6.0f}{ideal:>9.2f}"
                  f"{wall / ideal:>9.3f}{ratio:>9}")


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4])
