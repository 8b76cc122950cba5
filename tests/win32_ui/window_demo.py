#!/usr/bin/env python3
"""Runs the Windows program under Wine against the Linux demo server, to look at by hand: until
the window is closed, or with --screenshot until the list has arrived and the picture is taken.

window_demo.py --program quorvane-downloader.exe --probe window-probe.exe
               --demo-server quorvane-demo-server --port N --prefix DIR
               [--display :N] [--screenshot FILE.png]
"""

import argparse
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from window_test import DemoServer, ProgramWindow  # noqa: E402
from wine_session import WineSession, wait_until  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    for name in ("--program", "--probe", "--demo-server", "--prefix"):
        parser.add_argument(name, required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--display")
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    server = DemoServer(args.demo_server, args.port)
    with WineSession(Path(args.prefix), args.display) as wine:
        folder = wine.drive_c() / "Quorvane"
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copy(args.program, folder / "quorvane-downloader.exe")
        server.start(rate_kib=2048)
        program = wine.start(folder / "quorvane-downloader.exe")
        try:
            if not args.screenshot:
                program.wait()
                return
            window = ProgramWindow(wine, Path(args.probe).resolve())
            info = wait_until(window.window, 120, "the program's window")
            wait_until(lambda: window.items()[0], 120, "the download list")
            time.sleep(1)
            wine.screenshot(Path(args.screenshot), tuple(map(int, info["frame"])))
            print("Screenshot of the Windows window:", Path(args.screenshot).resolve())
            # Closed as its close button closes it: a killed program leaves its list file.
            window.close()
            program.wait(timeout=60)
        finally:
            server.stop()
            if program.poll() is None:
                program.kill()


if __name__ == "__main__":
    main()
