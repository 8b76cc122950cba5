#!/usr/bin/env python3
"""The installer under Wine, silently: the program, its uninstaller, the shortcuts and the
uninstall entry are there after installing; after uninstalling they are gone, and the user's
downloads (beside the program and in the user's Downloads folder) are still there.

installer_test.py --installer quorvane-downloader-X-installer.exe --prefix DIR [--display :N]
"""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_session import WineSession  # noqa: E402

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvaneDownloader"
SHORTCUT = "Quorvane下载器.lnk"


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def registered(wine):
    return wine.run("reg", "query", UNINSTALL_KEY, timeout=120).returncode == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--display")
    args = parser.parse_args()

    with WineSession(Path(args.prefix), args.display) as wine:
        drive = wine.drive_c()
        folder = drive / "Program Files" / "Quorvane"
        shortcuts = [drive / "ProgramData/Microsoft/Windows/Start Menu/Programs" / SHORTCUT,
                     drive / "users/Public/Desktop" / SHORTCUT]
        installed = [folder / "quorvane-downloader.exe", folder / "uninstall.exe"]

        result = wine.run(args.installer, "/S", timeout=300)
        wine.wait_for_all()
        check(result.returncode == 0, f"the installer ended with {result.returncode}")
        for path in installed + shortcuts:
            check(path.is_file(), f"installed, but {path} is missing")
        check(registered(wine), "no uninstall entry")
        print("installed:", ", ".join(p.name for p in installed), "and two shortcuts")

        # What the user downloaded stays, wherever the program put it.
        downloads = [folder / "下载的文件" / "Quorvane客户端.rar"]
        users = sorted((drive / "users").glob("*/Downloads"))
        users = [u for u in users if u.parent.name != "Public"]
        if users:
            downloads.append(users[0] / "下载的文件" / "Quorvane客户端.part1.rar")
        for path in downloads:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(b"the user's download")

        result = wine.run(folder / "uninstall.exe", "/S", timeout=300)
        wine.wait_for_all()  # the uninstaller runs on from a copy of itself
        for path in installed + shortcuts:
            check(not path.exists(), f"uninstalled, but {path} is still there")
        check(not registered(wine), "the uninstall entry is still there")
        for path in downloads:
            check(path.is_file() and path.read_bytes() == b"the user's download",
                  f"the download {path} did not survive uninstalling")
        print("uninstalled: program, shortcuts and entry gone; downloads kept")
    print("installer test: passed")


if __name__ == "__main__":
    main()
