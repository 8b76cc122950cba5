#!/usr/bin/env python3
"""The Windows program under Wine against the Linux demo server, driven with real mouse clicks
(xdotool) on a virtual display: the window, the list, a single file and a two-part archive
downloaded byte for byte, the completion prompt, cancel and close with Yes, the exact message-box
titles. With --with-peers, an entry with a torrent then downloads through the swarm, with its
server as web seed. Optionally saves a screenshot of the window.

window_test.py --program quorvane-downloader.exe --probe window-probe.exe
               --demo-server quorvane-demo-server --port N --work DIR [--prefix DIR]
               [--with-peers] [--display :N] [--screenshot FILE.png]
"""

import argparse
import configparser
import http.server
import random
import re
import shutil
import subprocess
import sys
import threading
import time
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_session import WineSession, wait_until  # noqa: E402

# Child-window ids of the controls, in the window definition's order from 100 on.
BROWSER, STATUS, CHOOSER, UNPACK_HINT, PERCENT, FILE_COUNT, BAR = range(100, 107)
START, CANCEL, OPEN_FOLDER, ADDRESS_BOX, CONNECTIONS_BOX = range(107, 112)
IDOK, IDYES, IDNO = 1, 6, 7
FILE_MIB = 2
ENGINE_AGENT = "Quorvane/3.0"  # the HTTP engine's User-Agent
SLOW_KIB_PER_CONNECTION = 4  # 2 MiB take most of a minute: time to click


class DemoServer:
    def __init__(self, binary, port):
        self.binary, self.port, self.process = binary, port, None

    def start(self, rate_kib):
        self.stop()
        self.process = subprocess.Popen(
            [self.binary, "--port", str(self.port), "--size-mib", str(FILE_MIB), "--rate",
             str(rate_kib)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: self._answers(), 20, "the demo server")

    def _answers(self):
        try:
            with urllib.request.urlopen(f"{self.url()}/downlist.htm", timeout=2):
                return True
        except OSError:
            return False

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait(timeout=10)
            self.process = None

    def url(self):
        return f"http://127.0.0.1:{self.port}"

    def list_entries(self):
        """The (name, address) pairs of the served download list."""
        with urllib.request.urlopen(f"{self.url()}/list/1/down.ini", timeout=10) as response:
            text = response.read().decode("gbk")
        ini = configparser.ConfigParser(interpolation=None)
        ini.optionxform = str
        ini.read_string(text)
        count = int(ini["Files"]["Num"])
        return [(ini["Name"][f"Name{n}"], ini["Add"][f"Add{n}"]) for n in range(1, count + 1)]

    def file_bytes(self, path):
        with urllib.request.urlopen(f"{self.url()}{path}", timeout=60) as response:
            return response.read()


class ProgramWindow:
    """The running program as the probe sees it, and the clicks on it."""

    def __init__(self, wine, probe):
        self.wine, self.probe = wine, probe

    def _probe(self, command):
        return self._probe_args(command)

    def resources(self, program):
        return self._probe_args("resources", program) or []

    def _probe_args(self, *arguments):
        result = self.wine.run(self.probe, *arguments, timeout=180)
        if result.returncode != 0:
            return None
        return [line.split("\t") for line in result.stdout.decode("utf-8").splitlines()]

    def window(self):
        lines = self._probe("window")
        return {fields[0]: fields[1:] for fields in lines} if lines else None

    def controls(self):
        lines = self._probe("controls") or []
        return {int(f[0]): {"rect": tuple(map(int, f[2:6])), "enabled": f[6] == "enabled",
                            "visible": f[7] == "visible", "text": f[8] if len(f) > 8 else ""}
                for f in lines}

    def items(self):
        lines = self._probe("items") or []
        return [f[1] for f in lines if f[0] != "chosen"], \
            next((int(f[1]) for f in lines if f[0] == "chosen"), -1)

    def dialog(self):
        lines = self._probe("dialog")
        if not lines:
            return None
        box = {"buttons": {}}
        for fields in lines:
            if fields[0] == "button":
                box["buttons"][int(fields[1])] = tuple(map(int, fields[2:6]))
            else:
                box[fields[0]] = fields[1] if len(fields) > 1 else ""
        return box

    def close(self):
        """Asks the window to close, as its close button does."""
        self._probe("close")

    def click_rect(self, rect):
        left, top, width, height = rect
        self.wine.click(left + width // 2, top + height // 2)

    def click_control(self, control_id):
        self.click_rect(self.controls()[control_id]["rect"])

    def wait_for_dialog(self, title, seconds=120):
        box = wait_until(self.dialog, seconds, f"the message box {title!r}")
        assert box["title"] == title, f"message box title {box['title']!r}, expected {title!r}"
        return box

    def answer(self, box, button):
        self.click_rect(box["buttons"][button])
        wait_until(lambda: self.dialog() is None, 30, "the message box to close")

    def idle(self):
        c = self.controls()
        return c and c[START]["enabled"] and not c[CANCEL]["enabled"]

    def downloading(self):
        c = self.controls()
        return c and not c[START]["enabled"] and c[CANCEL]["enabled"]

    def choose(self, index):
        """Opens the chooser with a click and picks the entry with the keyboard."""
        _, chosen = self.items()
        self.click_control(CHOOSER)
        time.sleep(0.5)
        steps = index - chosen
        self.wine.keys(*(["Down"] * steps if steps >= 0 else ["Up"] * -steps), "Return")
        wait_until(lambda: self.items()[1] == index, 20, f"entry {index + 1} to be chosen")


LINE_TAGS = ("(网通下载)", "(联通下载)", "(电信下载)")


def local_name(shown_item, address):
    """The download's file name: the item as shown without its line tag, then the server file
    name from its first dot on."""
    stem = shown_item
    for tag in LINE_TAGS:
        stem = stem.replace(tag, "")
    server_name = address.rsplit("/", 1)[-1]
    dot = server_name.find(".")
    return stem + (server_name[dot:] if dot >= 0 else "")


def path_of(address):
    return "/" + address.split("/", 3)[3]


def folder_listing(folder: Path):
    return sorted(p.name for p in folder.iterdir()) if folder.exists() else []


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def run(args):
    work = Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    server = DemoServer(args.demo_server, args.port)
    with WineSession(Path(args.prefix or work / "wineprefix"), args.display) as wine:
        program_folder = wine.drive_c() / "Quorvane"
        shutil.rmtree(program_folder, ignore_errors=True)
        program_folder.mkdir(parents=True)
        shutil.copy(args.program, program_folder / "quorvane-downloader.exe")
        downloads = program_folder / "下载的文件"
        window = ProgramWindow(wine, Path(args.probe).resolve())

        server.start(rate_kib=0)
        program = wine.start(program_folder / "quorvane-downloader.exe")
        try:
            steps(args, wine, window, server, program, downloads, program_folder)
        finally:
            server.stop()
            if program.poll() is None:
                program.kill()
        if args.with_peers:
            torrent_entry(wine, window, args.port, work, program_folder, downloads)


class TorrentLine(http.server.ThreadingHTTPServer):
    """A network line whose list gives its one file a torrent: the page, the list, the .torrent
    and the file (by ranges, as a web seed is asked), each request noted with its User-Agent."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, work):
        super().__init__(("127.0.0.1", port), TorrentLineHandler)
        self.requests = []
        self.data = random.Random(19).randbytes(3 * 1024 * 1024 + 77)
        self.address = f"http://127.0.0.1:{port}/mirror1/dl/client.rar"
        original = work / "client.rar"
        original.write_bytes(self.data)
        torrent = work / "client.rar.torrent"
        torrent.unlink(missing_ok=True)
        subprocess.run(["mktorrent", "-l", "16", "-a", "http://127.0.0.1:1/announce", "-w",
                        self.address, "-o", str(torrent), str(original)], check=True, timeout=120,
                       stdout=subprocess.DEVNULL)
        self.torrent = torrent.read_bytes()
        self.list = ("[Down]\r\nDown=True\r\n[Files]\r\nNum=1\r\n[Name]\r\n"
                     "Name1=Quorvane客户端(网通下载)\r\n[Add]\r\nAdd1=" + self.address +
                     "\r\n[Torrent]\r\nclient.rar=" + self.address + ".torrent\r\n"
                     ).encode("gbk")


class TorrentLineHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        line = self.server
        line.requests.append((self.path, self.headers.get("User-Agent", "")))
        body = {"/downlist.htm": b"<html><body></body></html>",
                "/mirror1/dl/client.rar.torrent": line.torrent,
                "/mirror1/dl/client.rar": line.data}.get(self.path)
        if body is None and re.fullmatch(r"/list/[123]/down\.ini", self.path):
            body = line.list
        if body is None:
            self.send_error(404)
            return
        first, last = 0, len(body) - 1
        ranged = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", ""))
        if ranged:
            first = int(ranged.group(1))
            last = min(int(ranged.group(2)) if ranged.group(2) else last, len(body) - 1)
        try:
            self.send_response(206 if ranged else 200)
            if ranged:
                self.send_header("Content-Range", f"bytes {first}-{last}/{len(body)}")
            self.send_header("Content-Length", str(last - first + 1))
            self.end_headers()
            self.wfile.write(body[first:last + 1])
        except (BrokenPipeError, ConnectionResetError):
            pass


def torrent_entry(wine, window, port, work, program_folder, downloads):
    """The program again, on a line whose entry has a torrent: one click on start, and the file
    arrives through libtorrent (its User-Agent on the file's requests, the HTTP engine's on none)."""
    line = TorrentLine(port, work)
    threading.Thread(target=line.serve_forever, daemon=True).start()
    # No multicast for players on the LAN: nothing leaves the loopback.
    (program_folder / "quorvane-downloader.ini").write_text("[Peers]\r\nLanDiscovery=0\r\n")
    program = wine.start(program_folder / "quorvane-downloader.exe")
    try:
        wait_until(lambda: window.window() and len(window.items()[0]) == 1 and window.idle(), 90,
                   "the list with the torrent entry")
        items, _ = window.items()
        target = downloads / local_name(items[0], line.address)
        target.unlink(missing_ok=True)
        window.click_control(START)
        box = window.wait_for_dialog("下载已完成")
        window.answer(box, IDNO)
        wait_until(window.idle, 30, "the window to return to idle")
        check(target.read_bytes() == line.data, f"{target.name} differs from the server's file")
        agents = [agent for path, agent in line.requests if path == "/mirror1/dl/client.rar"]
        check([p for p, _ in line.requests].count("/mirror1/dl/client.rar.torrent") == 1,
              f"the torrent was asked for {line.requests}")
        # libtorrent's web seed fetched the file (it names itself on a connection's first request
        # only); the HTTP engine never asked for it.
        check("Quorvane downloader" in agents and ENGINE_AGENT not in agents,
              f"the file was asked for by {agents}")
        check(not [p for p in downloads.iterdir() if p.name.startswith(".")],
              f"hidden files left: {folder_listing(downloads)}")
        print(f"torrent entry: downloaded byte for byte through the swarm; the file's requests "
              f"by User-Agent: {sorted(set(agents))}")
        window.close()
        wait_until(lambda: program.poll() is not None, 60, "the program to end")
    finally:
        line.shutdown()
        line.server_close()
        if program.poll() is None:
            program.kill()


def check_resources(window, wine, program_file):
    found = window.resources(wine.windows_path(program_file))
    version = {f[1]: f[2] for f in found if f[0] == "version"}
    check(version.get("FileVersion") == "3.0.0.0" and version.get("ProductVersion") == "3.0.0.0"
          and version.get("FileDescription") == "主要用于快速下载网络游戏《Quorvane》"
          and version.get("ProductName") == "Quorvane专用下载器"
          and version.get("CompanyName") == "Quorvane", f"version record {version}")
    icons = [(int(f[1]), int(f[2])) for f in found if f[0] == "icon"]
    check(icons == [(128, 32), (64, 32), (48, 32), (32, 32), (16, 32)], f"icon images {icons}")
    check(["manifest", "1"] in found, "no manifest")
    print("resources: version record, five icon images at 32 bits, manifest")


def second_start(wine, window, program_folder):
    """A second start ends at once and brings the first window back from the taskbar: one
    window, one notification-area icon."""
    window._probe("minimise")
    wait_until(lambda: window.window()["minimised"] == ["1"], 30, "the window to minimise")
    second = wine.start(program_folder / "quorvane-downloader.exe")
    try:
        wait_until(lambda: second.poll() is not None, 60, "the second start to end")
    finally:
        if second.poll() is None:
            second.kill()
    check(second.returncode == 0, f"the second start ended with {second.returncode}")
    info = wait_until(lambda: (w := window.window()) and w["minimised"] == ["0"] and w, 30,
                      "the first window to come back")
    check(info["visible"] == ["1"] and info["foreground"] == ["1"],
          f"the first window after the second start: {info}")
    instances = {f[0]: f[1] for f in window._probe("instances")}
    check(instances == {"windows": "1", "tray-icons": "1"}, f"after a second start: {instances}")
    print("second start: ended at once; one window, back in front; one tray icon")


def steps(args, wine, window, server, program, downloads, program_folder):
    check_resources(window, wine, program_folder / "quorvane-downloader.exe")
    # The window, its caption and its client area.
    info = wait_until(window.window, 90, "the program's window")
    check(info["caption"] == ["Quorvane下载器"], f"caption {info['caption']}")
    check(info["client"] == ["448", "432"], f"client area {info['client']}")
    check(info["resizable"] == ["0"] and info["maximise-box"] == ["0"], "a fixed frame")
    print("window: caption and 448x432 client area")

    # The list arrives: its entries, the first chosen, the start button free.
    entries = server.list_entries()
    wait_until(lambda: len(window.items()[0]) == len(entries) and window.idle(), 90,
               "the download list")
    items, chosen = window.items()
    check(items[0] == entries[0][0] and chosen == 0, f"items {items}, chosen {chosen}")
    controls = window.controls()
    check(controls[STATUS]["text"] == "请选择要下载的文件：", f"status {controls[STATUS]['text']!r}")
    print("list:", items)
    if args.screenshot:
        time.sleep(1)
        frame = tuple(map(int, window.window()["frame"]))  # where it is now, centred
        wine.screenshot(Path(args.screenshot), frame)
        print("screenshot:", args.screenshot)

    second_start(wine, window, program_folder)

    # Entry 1, a single file.
    single = downloads / local_name(items[0], entries[0][1])
    window.click_control(START)
    box = window.wait_for_dialog("下载已完成")
    check(box["text"].startswith("下载已完成，要打开保存文件的文件夹吗？"), f"prompt {box['text']!r}")
    check(f"请解压缩这个文件：{single.name}" in box["text"], f"prompt {box['text']!r}")
    window.answer(box, IDNO)
    wait_until(window.idle, 30, "the window to return to idle")
    check(single.read_bytes() == server.file_bytes(path_of(entries[0][1])),
          f"{single.name} differs from the server's file")
    print("entry 1: downloaded byte for byte,", single.stat().st_size, "bytes")

    # A two-part archive: part one, then part two.
    archive = next(i for i, (_, address) in enumerate(entries) if ".part1." in address)
    window.choose(archive)
    address = entries[archive][1]
    check(window.controls()[ADDRESS_BOX]["text"] == address, "the entry's address in the box")
    window.click_control(START)
    box = window.wait_for_dialog("下载已完成")
    part1 = downloads / local_name(items[archive], address)
    check(f"请解压缩这个文件：{part1.name}" in box["text"], f"prompt {box['text']!r}")
    window.answer(box, IDNO)
    wait_until(window.idle, 30, "the window to return to idle")
    for part in ("part1", "part2"):
        local = downloads / part1.name.replace(".part1.", f".{part}.")
        check(local.read_bytes() == server.file_bytes(path_of(address.replace(".part1.", f".{part}."))),
              f"{local.name} differs from the server's file")
    print(f"entry {archive + 1}: both parts downloaded byte for byte")
    kept = folder_listing(downloads)

    # Cancel with Yes: the running file goes, nothing partial stays.
    server.start(rate_kib=SLOW_KIB_PER_CONNECTION)
    window.choose(0)
    window.click_control(START)
    wait_until(window.downloading, 30, "the download to run")
    window.click_control(CANCEL)
    box = window.wait_for_dialog("是否取消下载", 30)
    check(box["text"].endswith("，要取消下载吗？"), f"question {box['text']!r}")
    window.answer(box, IDYES)
    wait_until(window.idle, 60, "the window to return to idle after cancelling")
    after_cancel = folder_listing(downloads)
    check(after_cancel == [n for n in kept if n != single.name],
          f"after cancelling the folder holds {after_cancel}")
    print("cancel: nothing left of the stopped file")

    # Close with Yes during a download: the program ends and leaves nothing behind.
    window.click_control(START)
    wait_until(window.downloading, 30, "the download to run")
    left, top, width, _ = map(int, window.window()["frame"])
    wine.click(left + width - 12, top + 11)  # the close button of the title bar
    box = window.wait_for_dialog("正在下载文件", 30)
    check(box["text"].endswith("，要取消下载吗？"), f"question {box['text']!r}")
    window.answer(box, IDYES)
    wait_until(lambda: program.poll() is not None, 60, "the program to end")
    after_close = folder_listing(downloads)
    check(after_close == after_cancel, f"after closing the folder holds {after_close}")
    leftovers = [p for p in program_folder.rglob("*.ini")]
    check(not leftovers, f"list files left behind: {leftovers}")
    print("close: the program ended, nothing left behind")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--demo-server", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--prefix", help="the Wine prefix (default WORK/wineprefix)")
    parser.add_argument("--display", help="an X display to use instead of a new Xvfb")
    parser.add_argument("--screenshot")
    parser.add_argument("--with-peers", action="store_true",
                        help="the program downloads with peers: try an entry with a torrent")
    args = parser.parse_args()
    run(args)
    print("window test: passed")


if __name__ == "__main__":
    main()
