#!/usr/bin/env python3
"""Runs a Windows test program under Wine on a virtual display, in the prefix of the window tests
(CJK fonts, one virtual desktop), and exits with its status.

run_in_wine.py --prefix DIR [--display :N] -- PROGRAM.exe [ARGUMENTS...]
"""

import argparse
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_session import WineSession  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--display")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = [c for c in args.command if c != "--"]
    with WineSession(Path(args.prefix), args.display) as wine:
        result = subprocess.run([wine.wine, *command], env=wine.env, timeout=600)
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
