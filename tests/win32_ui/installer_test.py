#!/usr/bin/env python3
"""The installer under Wine, as a player meets it: refused on a Windows that is too old or 32-bit
(where the 32-bit installer still starts and says so); installed
silently, with the program, its uninstaller, the shortcuts, the installed-program mark and an
uninstall entry that gives its size; signed when the build signs. With the program running,
neither a silent upgrade nor a silent uninstall changes anything; an interactive upgrade asks,
closes the program with the player's OK and starts it again from the finish page. The installed
program downloads into the user's Downloads, never into Program Files. The firewall lets other
players reach the installed program through one rule, kept at one over an upgrade. After
uninstalling everything installed is gone, the rule too, and the user's downloads are still there.

installer_test.py --installer quorvane-downloader-X-installer.exe --probe window-probe.exe
                  --recorder command-recorder.exe --prefix DIR --prefix-32 DIR
                  [--certificate CERT.pem]
                  [--display :N] [--screenshots DIR]
"""

import argparse
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from window_test import ProgramWindow  # noqa: E402
from wine_session import WineSession, wait_until  # noqa: E402

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvaneDownloader"
SHORTCUT = "Quorvane下载器.lnk"
MARKER = "quorvane-downloader.installed"
EXIT_PROGRAM_RUNNING, EXIT_WINDOWS_TOO_OLD = 2, 3
IDOK = 1


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def registry_value(wine, name):
    """The value of the uninstall entry, or None when the entry or the value is missing."""
    result = wine.run("reg", "query", UNINSTALL_KEY, "/v", name, timeout=120)
    if result.returncode != 0:
        return None
    found = re.search(rf"^\s*{name}\s+REG_\w+\s+(.*?)\s*$", result.stdout.decode("utf-8", "replace"),
                      re.MULTILINE)
    return found.group(1) if found else None


def registered(wine):
    return wine.run("reg", "query", UNINSTALL_KEY, timeout=120).returncode == 0


def verify_signature(path, certificate):
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", certificate, "-in", str(path)],
                            capture_output=True, text=True, timeout=120)
    check(result.returncode == 0 and "Succeeded" in result.stdout,
          f"{path.name} is not signed with the test certificate:\n{result.stdout}{result.stderr}")


class Firewall:
    """Wine's netsh accepts every command and keeps nothing: the recorder takes its place in the
    prefix while the test runs, and the rules are played back from what it was asked."""

    OVERRIDES = r"HKCU\Software\Wine\DllOverrides"

    def __init__(self, wine, recorder):
        self.wine = wine
        self.netsh = wine.drive_c() / "windows" / "system32" / "netsh.exe"
        self.wines_own = self.netsh.with_name("netsh.exe.wine")
        self.log = self.netsh.with_name("netsh.exe.log")
        self.recorder = Path(recorder)

    def __enter__(self):
        if not self.wines_own.exists():
            shutil.copy2(self.netsh, self.wines_own)
        shutil.copy(self.recorder, self.netsh)
        self.log.unlink(missing_ok=True)
        # Wine prefers its built-in programs to a file in system32 unless told otherwise.
        self.wine.run("reg", "add", self.OVERRIDES, "/v", "netsh.exe", "/d", "native", "/f")
        return self

    def __exit__(self, *failure):
        self.wine.run("reg", "delete", self.OVERRIDES, "/v", "netsh.exe", "/f")
        shutil.copy2(self.wines_own, self.netsh)
        self.log.unlink(missing_ok=True)

    def rules(self):
        """The inbound rules the commands so far leave, each as a dict of its settings."""
        rules = []
        lines = self.log.read_text("utf-8").splitlines() if self.log.exists() else []
        for line in lines:
            words = line.split(" name=", 1)[0].split()
            settings = {key.lower(): (quoted or plain) for key, quoted, plain in
                        re.findall(r'(\w+)=(?:"([^"]*)"|(\S+))', line)}
            if words == ["advfirewall", "firewall", "add", "rule"]:
                rules.append(settings)
            elif words == ["advfirewall", "firewall", "delete", "rule"]:
                rules = [r for r in rules if any(r.get(k) != v for k, v in settings.items())]
            else:
                raise AssertionError(f"netsh was asked something else: {line!r}")
        return rules

    def check_one_rule_for(self, program, when):
        rules = self.rules()
        check(len(rules) == 1, f"{when}: {len(rules)} firewall rules: {rules}")
        expected = {"name": "Quorvane下载器", "program": program, "dir": "in",
                    "action": "allow", "enable": "yes"}
        check(all(rules[0].get(k) == v for k, v in expected.items()),
              f"{when}: the firewall rule is {rules[0]}, expected {expected}")


class Installation:
    def __init__(self, wine):
        self.wine = wine
        drive = wine.drive_c()
        self.folder = drive / "Program Files" / "Quorvane"
        self.program = self.folder / "quorvane-downloader.exe"
        self.uninstaller = self.folder / "uninstall.exe"
        self.marker = self.folder / MARKER
        self.shortcuts = [drive / "ProgramData/Microsoft/Windows/Start Menu/Programs" / SHORTCUT,
                          drive / "users/Public/Desktop" / SHORTCUT]
        self.installed = [self.program, self.uninstaller, self.marker]
        users = [u for u in sorted((drive / "users").glob("*/Downloads"))
                 if u.parent.name != "Public"]
        self.user_downloads = users[0] if users else None

    def state(self):
        """What an upgrade or uninstall may change: the files, the shortcuts, the entry."""
        files = {p.name: (p.stat().st_size, p.stat().st_mtime_ns) if p.exists() else None
                 for p in self.installed + self.shortcuts}
        return files, registry_value(self.wine, "DisplayVersion")


def clean_up_earlier_runs(wine, setup):
    """The prefix is shared: what an earlier run left (the user's downloads it kept, or all of
    an installation when it failed) would make the checks below pass or fail by themselves."""
    shutil.rmtree(setup.folder, ignore_errors=True)
    if setup.user_downloads:
        shutil.rmtree(setup.user_downloads / "下载的文件", ignore_errors=True)
    for path in setup.shortcuts:
        path.unlink(missing_ok=True)
    wine.run("reg", "delete", UNINSTALL_KEY, "/f", timeout=120)


def refused_on_windows_7(wine, args, setup):
    wine.run("reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", "win7", "/f")
    try:
        result = wine.run(args.installer, "/S", timeout=300)
        wine.wait_for_all()
    finally:
        wine.run("reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", "win10", "/f")
    check(result.returncode == EXIT_WINDOWS_TOO_OLD,
          f"on Windows 7 the installer ended with {result.returncode}")
    check(not setup.folder.exists() and not registered(wine), "installed on Windows 7")
    print("Windows 7: refused, nothing installed")


def refused_on_32_bit_windows(args):
    """A prefix of 32-bit Windows (10, so that only the missing 64 bits refuse it)."""
    with WineSession(Path(args.prefix_32), args.display, arch="win32") as wine:
        folder = wine.drive_c() / "Program Files" / "Quorvane"
        shutil.rmtree(folder, ignore_errors=True)
        result = wine.run(args.installer, "/S", timeout=300)
        wine.wait_for_all()
        check(result.returncode == EXIT_WINDOWS_TOO_OLD,
              f"on 32-bit Windows the installer ended with {result.returncode}")
        check(not folder.exists() and not registered(wine), "installed on 32-bit Windows")
    print("32-bit Windows: refused, nothing installed")


def install_silently(wine, args, setup, firewall):
    result = wine.run(args.installer, "/S", timeout=300)
    wine.wait_for_all()
    check(result.returncode == 0, f"the installer ended with {result.returncode}")
    firewall.check_one_rule_for(wine.windows_path(setup.program), "installed")
    for path in setup.installed + setup.shortcuts:
        check(path.is_file(), f"installed, but {path} is missing")
    check(registered(wine), "no uninstall entry")
    size = registry_value(wine, "EstimatedSize")
    expected = -(-(setup.program.stat().st_size + setup.uninstaller.stat().st_size) // 1024)
    check(size is not None and int(size, 16) == expected,
          f"EstimatedSize {size}, expected {expected} KiB")
    print(f"installed: program, uninstaller, mark, two shortcuts, firewall rule; "
          f"EstimatedSize {expected} KiB")
    if args.certificate:
        for path in (Path(args.installer), setup.program, setup.uninstaller):
            verify_signature(path, args.certificate)
        print("signed: installer, program and uninstaller")


def start_program(wine, window, setup):
    process = wine.start(setup.program)
    wait_until(window.window, 120, "the installed program's window")
    return process


def downloads_go_to_the_user(setup):
    check(not (setup.folder / "下载的文件").exists(),
          "the installed program made its download folder in Program Files")
    if setup.user_downloads:
        check((setup.user_downloads / "下载的文件").is_dir(),
              "no download folder in the user's Downloads")
    print("installed program: downloads into the user's Downloads, nothing in Program Files")


def refused_while_running(wine, args, setup, firewall):
    """Silently, neither an upgrade nor an uninstall touches a running program's installation."""
    wine.run("reg", "add", UNINSTALL_KEY, "/v", "DisplayVersion", "/d", "2.0.0.0", "/f")
    before = setup.state(), firewall.rules()
    result = wine.run(args.installer, "/S", timeout=300)
    check(result.returncode == EXIT_PROGRAM_RUNNING,
          f"a silent upgrade over the running program ended with {result.returncode}")
    check((setup.state(), firewall.rules()) == before, "a refused upgrade changed the installation")
    # With _?= the uninstaller runs in place and its exit status is the caller's. NSIS reads
    # the folder after _?= unquoted, to the end of the command line, which only a batch file
    # hands over as written.
    batch = wine.drive_c() / "quorvane-uninstall.bat"
    batch.write_text(f'"{wine.windows_path(setup.uninstaller)}" /S '
                     f'_?={wine.windows_path(setup.folder)}\r\nexit /b %errorlevel%\r\n')
    result = wine.run("cmd", "/c", wine.windows_path(batch), timeout=300)
    batch.unlink()
    check(result.returncode == EXIT_PROGRAM_RUNNING,
          f"a silent uninstall of the running program ended with {result.returncode}")
    check((setup.state(), firewall.rules()) == before,
          "a refused uninstall changed the installation")
    print("program running: silent upgrade and uninstall refused, nothing changed")


def dialog_with_button(window, text):
    def found():
        box = window.any_dialog()
        return box if box and any(t == text for t in box["button_texts"].values()) else None
    return wait_until(found, 120, f"a dialog with the button {text!r}")


def upgrade_interactively(wine, args, window, setup, program, firewall):
    """The player is asked, the installer closes the program, and the finish page starts it."""
    shots = Path(args.screenshots) if args.screenshots else None
    installer = wine.start(args.installer)
    box = wait_until(window.any_dialog, 120, "the installer's question")
    check("正在运行" in box.get("text", ""), f"the installer asked {box.get('text')!r}")
    screenshot(wine, window, shots, "installer-program-running.png")
    window.click_rect(box["buttons"][IDOK])
    wait_until(lambda: program.poll() is not None, 60, "the program to close")
    box = dialog_with_button(window, "安装(I)")
    screenshot(wine, window, shots, "installer-directory.png")
    window.click_rect(box["buttons"][IDOK])
    box = dialog_with_button(window, "完成(F)")
    screenshot(wine, window, shots, "installer-finish.png")
    window.click_rect(box["buttons"][IDOK])  # "run now" is ticked
    wait_until(lambda: installer.poll() is not None, 60, "the installer to end")
    check(installer.returncode == 0, f"the interactive upgrade ended with {installer.returncode}")
    check(registry_value(wine, "DisplayVersion") == "3.0.0.0", "the upgrade left the old version")
    firewall.check_one_rule_for(wine.windows_path(setup.program), "upgraded")
    info = wait_until(window.window, 120, "the program started from the finish page")
    print("interactive upgrade: asked, closed the program, installed, started it again",
          f"(process {info['process'][0]})")


def screenshot(wine, window, folder, name):
    if not folder:
        return
    folder.mkdir(parents=True, exist_ok=True)
    box = window.any_dialog()
    if box and "frame" in box:
        time.sleep(0.5)
        wine.screenshot(folder / name, box["frame"])
        print("screenshot:", folder / name)


def close_program(window):
    window.close()
    wait_until(lambda: window.window() is None, 60, "the program to close")


def uninstall(wine, setup, firewall):
    # What the user downloaded stays, wherever an older program put it.
    downloads = [setup.folder / "下载的文件" / "Quorvane客户端.rar"]
    if setup.user_downloads:
        downloads.append(setup.user_downloads / "下载的文件" / "Quorvane客户端.part1.rar")
    for path in downloads:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(b"the user's download")

    wine.run(setup.uninstaller, "/S", timeout=300)
    wine.wait_for_all()  # the uninstaller runs on from a copy of itself
    for path in setup.installed + setup.shortcuts:
        check(not path.exists(), f"uninstalled, but {path} is still there")
    check(not registered(wine), "the uninstall entry is still there")
    check(firewall.rules() == [], f"uninstalled, but the firewall keeps {firewall.rules()}")
    for path in downloads:
        check(path.is_file() and path.read_bytes() == b"the user's download",
              f"the download {path} did not survive uninstalling")
    print("uninstalled: program, shortcuts, entry and firewall rule gone; downloads kept")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--recorder", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--prefix-32", required=True)
    parser.add_argument("--certificate")
    parser.add_argument("--display")
    parser.add_argument("--screenshots")
    args = parser.parse_args()

    refused_on_32_bit_windows(args)
    with WineSession(Path(args.prefix), args.display) as wine, \
            Firewall(wine, args.recorder) as firewall:
        setup = Installation(wine)
        window = InstallerWindows(wine, Path(args.probe).resolve())
        clean_up_earlier_runs(wine, setup)
        refused_on_windows_7(wine, args, setup)
        install_silently(wine, args, setup, firewall)
        program = start_program(wine, window, setup)
        try:
            downloads_go_to_the_user(setup)
            refused_while_running(wine, args, setup, firewall)
            upgrade_interactively(wine, args, window, setup, program, firewall)
            close_program(window)
        finally:
            if program.poll() is None:
                program.kill()
        uninstall(wine, setup, firewall)
    print("installer test: passed")


class InstallerWindows(ProgramWindow):
    """The program's window and the installer's dialogs, as the probe sees them."""

    def any_dialog(self):
        lines = self._probe("any-dialog")
        if not lines:
            return None
        box = {"buttons": {}, "button_texts": {}}
        for fields in lines:
            if fields[0] == "button":
                box["buttons"][int(fields[1])] = tuple(map(int, fields[2:6]))
                text = fields[6] if len(fields) > 6 else ""
                box["button_texts"][int(fields[1])] = text.replace("&", "")
            elif fields[0] == "frame":
                box["frame"] = tuple(map(int, fields[1:5]))
            else:
                box[fields[0]] = fields[1] if len(fields) > 1 else ""
        return box


if __name__ == "__main__":
    main()
