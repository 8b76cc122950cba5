"""A Wine prefix on a virtual display for the Windows program's tests: CJK fonts, one virtual
desktop that every program of the prefix shares (so a probe run beside the program sees its
windows), no browser-engine or menu-builder side effects on this machine."""

import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

# Wine's default dialog fonts have no Chinese; these all resolve to WenQuanYi Micro Hei
# (fonts-wqy-microhei), which fontconfig hands to Wine. The installer's Chinese pages ask for
# 宋体 by its Chinese name, so the file is UTF-16, which regedit reads names outside ASCII from.
REGISTRY = r"""Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Tahoma"="WenQuanYi Micro Hei"
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
"NSimSun"="WenQuanYi Micro Hei"
"宋体"="WenQuanYi Micro Hei"
"新宋体"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
"Segoe UI"="WenQuanYi Micro Hei"

; The oldest Windows the program runs on is 10 (1607); Wine would say 7.
[HKEY_CURRENT_USER\Software\Wine]
"Version"="win10"

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
"""
PREFIX_VERSION = "3"  # raise when the set-up below changes
# The symbols of the title-bar buttons; Debian's Wine does not find its own copy by itself.
MARLETT = Path("/usr/share/wine/fonts/marlett.ttf")
# Debian's `wine` is the 32-bit loader once 32-bit Wine is installed, and its reg and regedit
# see the 32-bit registry. The 64-bit loader runs the 64-bit programs as Windows would and still
# starts a 32-bit one (the installer) with the 32-bit loader; a 32-bit prefix has only `wine`.
WINE64 = "/usr/lib/wine/wine64" if os.access("/usr/lib/wine/wine64", os.X_OK) else "wine"


def wait_until(check, seconds, what):
    """Polls check() until it returns something true; fails the test after seconds."""
    deadline = time.monotonic() + seconds
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {seconds} s waiting for {what}")
        time.sleep(0.3)


def start_virtual_display():
    """Starts Xvfb on a display number it picks itself (choosing one here from the lock files
    races with other tests starting theirs); returns the process and the display's name."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_end,))
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        number = numbers.readline().strip()  # written once Xvfb listens; empty if it died
    if not number:
        xvfb.wait(timeout=10)
        raise RuntimeError("Xvfb did not start")
    return xvfb, f":{number}"


class WineSession:
    def __init__(self, prefix: Path, display=None, arch="win64"):
        self.prefix = Path(prefix).resolve()
        self.display = display
        self.arch = arch
        self.wine = WINE64 if arch == "win64" else "wine"
        self.xvfb = None
        self.env = dict(os.environ)

    def __enter__(self):
        if self.display is None:
            self.xvfb, self.display = start_virtual_display()
        self.env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            # No Mono and Gecko installers, no menu entries on the Linux desktop.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "WINEARCH": self.arch,
            "DISPLAY": self.display,
        })
        self.env.pop("WAYLAND_DISPLAY", None)
        self._prepare_prefix()
        return self

    def __exit__(self, *exc):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(timeout=10)

    def _prepare_prefix(self):
        marker = self.prefix / ".quorvane-prefix"
        if marker.exists() and marker.read_text() == PREFIX_VERSION:
            return
        self.prefix.mkdir(parents=True, exist_ok=True)
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300)
        registry = self.prefix / "quorvane.reg"
        registry.write_text(REGISTRY.replace("\n", "\r\n"), encoding="utf-16")
        subprocess.run([self.wine, "regedit", str(registry)], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        if MARLETT.exists():
            shutil.copy(MARLETT, self.drive_c() / "windows" / "Fonts" / MARLETT.name)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        marker.write_text(PREFIX_VERSION)

    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def windows_path(self, path: Path) -> str:
        relative = Path(path).resolve().relative_to(self.drive_c())
        return "C:\\" + str(relative).replace("/", "\\")

    def run(self, *args, timeout=60):
        """Runs a program to its end and returns its result with stdout and stderr as bytes.
        The output goes through files, not pipes: Wine's own helper processes, started by the
        first program of a session, keep inherited pipes open long after it has ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run([self.wine, *map(str, args)], env=self.env, stdout=out,
                                    stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            result.stdout, result.stderr = out.read(), err.read()
            return result

    def start(self, *args):
        return subprocess.Popen([self.wine, *map(str, args)], env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_for_all(self, timeout=120):
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=timeout)

    def click(self, x, y):
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"],
                       env=self.env, check=True, timeout=20)

    def keys(self, *names):
        subprocess.run(["xdotool", "key", "--delay", "150", *names], env=self.env, check=True,
                       timeout=20)

    def screenshot(self, target: Path, rect):
        left, top, width, height = rect
        whole = Path(str(target) + ".whole.png")
        subprocess.run(["import", "-display", self.display, "-window", "root", str(whole)],
                       check=True, timeout=30)
        subprocess.run(["convert", str(whole), "-crop", f"{width}x{height}+{left}+{top}",
                        "+repage", str(target)], check=True, timeout=30)
        whole.unlink()
