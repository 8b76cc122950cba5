#!/usr/bin/env python3
"""Prints the medians of a bench/run.sh results file and quorvane-fetch's ratio to each tool."""

import statistics
import sys
from collections import defaultdict

MIB = 1024 * 1024
SIZES = {"fast-8m": 8 * MIB, "fast-1g": 1024 * MIB, "slow-256m": 256 * MIB, "mixed-256m": 256 * MIB}
FAST_RATE, SLOW_RATE = 2 * MIB, 256 * 1024


def ideal_seconds(scenario, connection_ids, n):
    size = SIZES[scenario]
    if scenario == "slow-256m":
        return size / (n * FAST_RATE) - 1
    if scenario == "mixed-256m":
        rates = sum(SLOW_RATE if c % 5 == 0 else FAST_RATE for c in connection_ids)
        return size / rates if rates else None
    return None


def main(path, n):
    runs = defaultdict(list)
    syscalls = {}
    for line in open(path):
        fields = line.rstrip("\n").split("\t")
        if fields[0] == "strace":
            syscalls[fields[1]] = fields[2]
            continue
        scenario, tool, wall, user, sys_, rss, size, conns = fields
        ids = [int(c) for c in conns.split(",") if c]
        if int(size) != SIZES[scenario]:
            print(f"warning: {tool} on {scenario} wrote {size} bytes")
        runs[(scenario, tool)].append({
            "wall": float(wall), "cpu": float(user) + float(sys_), "rss": int(rss) / 1024,
            "conns": len(ids), "ideal": ideal_seconds(scenario, ids, n)})

    print(f"{'scenario':<11}{'tool':<10}{'runs':>5}{'wall s':>9}{'cpu s/GiB':>11}{'peak MiB':>10}"
          f"{'conns':>7}{'ideal s':>9}{'vs ideal':>9}{'ours/it':>9}")
    for scenario in SIZES:
        ours = runs.get((scenario, "quorvane"))
        for tool in ["quorvane", "baseline", "aria2c", "axel", "curl", "wget2"]:
            rows = runs.get((scenario, tool))
            if not rows:
                continue
            wall = statistics.median(r["wall"] for r in rows)
            cpu = statistics.median(r["cpu"] for r in rows) / (SIZES[scenario] / (1024 * MIB))
            rss = statistics.median(r["rss"] for r in rows)
            conns = statistics.median(r["conns"] for r in rows)
            ideals = [r["ideal"] for r in rows if r["ideal"]]
            ideal = statistics.median(ideals) if ideals else None
            ratio = ""
            if ours and tool != "quorvane":
                ratio = f"{statistics.median(r['wall'] for r in ours) / wall:.2f}"
            print(f"{scenario:<11}{tool:<10}{len(rows):>5}{wall:>9.3f}{cpu:>11.2f}{rss:>10.1f}"
                  f"{conns:>7.0f}{(f'{ideal:.2f}' if ideal else ''):>9}"
                  f"{(f'{wall / ideal:.3f}' if ideal else ''):>9}{ratio:>9}")
    if syscalls:
        print("system calls for /fast 1 GiB (strace -c -f): " +
              ", ".join(f"{tool} {count}" for tool, count in syscalls.items()))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
