#!/usr/bin/env python3
"""Players on both systems in one swarm: the operator's tracker (opentracker) and a throttled web
seed on Linux, two Linux quorvane-fetch players and one quorvane-fetch.exe under Wine, all on
127.0.0.1. The Windows player starts alone, so that it holds pieces the Linux players want; every
player finishes byte for byte, and the Windows player's final JSON counts bytes it received from
the Linux players and bytes it sent them. Then a Windows player killed mid-download keeps only its
hidden partial file and record beside an older file under the target's name, and the same command
resumes from them and replaces that file.

mixed_swarm_test.py --fetch LINUX-QUORVANE-FETCH --fetch-exe QUORVANE-FETCH.EXE --wine WINE-RUN
"""

import argparse
import hashlib
import http.server
import json
import os
import random
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request
from pathlib import Path

SIZE = 12 * 1024 * 1024 + 4321
SEED_RATE = 1024 * 1024  # bytes/s the web seed gives all players together
PIECE_EXPONENT = 16      # 64 KiB pieces


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(condition, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f"gave up waiting for {what} after {seconds} s")


class ThrottledSeed(http.server.ThreadingHTTPServer):
    """The operator's server: one file, byte ranges, one rate shared by every connection."""

    daemon_threads = True

    def __init__(self, data):
        super().__init__(("127.0.0.1", 0), SeedHandler)
        self.data = data
        self.served = 0
        self.lock = threading.Lock()
        self.next_send = time.monotonic()
        self.rate = SEED_RATE

    def take(self, length):
        """Waits for this many bytes' share of the rate."""
        with self.lock:
            now = time.monotonic()
            self.next_send = max(self.next_send, now) + length / self.rate
            delay = self.next_send - length / self.rate - now
            self.served += length
        if delay > 0:
            time.sleep(delay)

    def url(self):
        return f"http://127.0.0.1:{self.server_address[1]}/dl/client.rar"


class SeedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        data = self.server.data
        if self.path != "/dl/client.rar":
            self.send_error(404)
            return
        first, last = 0, len(data) - 1
        ranged = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", ""))
        if ranged:
            first = int(ranged.group(1))
            last = min(int(ranged.group(2)) if ranged.group(2) else last, len(data) - 1)
            if first > last:
                self.send_error(416)
                return
        try:
            self.send_response(206 if ranged else 200)
            if ranged:
                self.send_header("Content-Range", f"bytes {first}-{last}/{len(data)}")
            self.send_header("Content-Length", str(last - first + 1))
            self.end_headers()
            for at in range(first, last + 1, 16384):
                chunk = data[at:min(at + 16384, last + 1)]
                self.server.take(len(chunk))
                self.wfile.write(chunk)
        except (BrokenPipeError, ConnectionResetError):
            pass


def bdecode_info_slice(torrent):
    """The bytes of the torrent's info dictionary, as its v1 info hash covers them."""
    def skip(at):
        kind = torrent[at:at + 1]
        if kind == b"i":
            return torrent.index(b"e", at) + 1
        if kind in (b"l", b"d"):
            at += 1
            while torrent[at:at + 1] != b"e":
                at = skip(at)
            return at + 1
        colon = torrent.index(b":", at)
        return colon + 1 + int(torrent[at:colon])

    check(torrent[:1] == b"d", "the torrent is not a dictionary")
    at = 1
    while torrent[at:at + 1] != b"e":
        key_end = skip(at)
        key = torrent[torrent.index(b":", at) + 1:key_end]
        value_end = skip(key_end)
        if key == b"info":
            return torrent[key_end:value_end]
        at = value_end
    raise AssertionError("the torrent has no info dictionary")


class Tracker:
    """opentracker on loopback, serving only this torrent's info hash."""

    def __init__(self, folder, info_hash, port):
        self.port = port
        folder.mkdir()
        (folder / "whitelist.txt").write_text(info_hash + "\n")
        # Run from its folder: as root it changes its root there before it reads the list.
        self.process = subprocess.Popen(
            ["opentracker", "-i", "127.0.0.1", "-p", str(self.port), "-P", str(self.port),
             "-d", str(folder), "-w", "whitelist.txt"], cwd=folder,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        quoted = "".join(f"%{info_hash[i:i + 2]}" for i in range(0, 40, 2))
        query = (f"http://127.0.0.1:{self.port}/announce?info_hash={quoted}"
                 "&peer_id=-QT0000-000000000000&port=1&uploaded=0&downloaded=0&left=0")

        def knows_the_torrent():
            try:
                with urllib.request.urlopen(query, timeout=2) as answer:
                    return b"failure reason" not in answer.read()
            except OSError:
                return False
        wait_until(knows_the_torrent, 30, "the tracker to serve the torrent")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def report_of(process, who):
    out, _ = process.communicate(timeout=600)
    lines = [line for line in out.decode("utf-8", "replace").splitlines()
             if line.strip().startswith("{")]
    check(process.returncode == 0 and lines,
          f"{who} ended with {process.returncode}:\n{out.decode('utf-8', 'replace')}")
    return json.loads(lines[-1])


def resume_after_kill(args, scratch):
    """kill -9 of the Windows process, then the same command: it goes on from what was on disk."""
    data = random.Random(6).randbytes(4 * 1024 * 1024 + 13)
    source = scratch / "resume.rar"
    source.write_bytes(data)
    seed = ThrottledSeed(data)
    seed.rate = SEED_RATE // 2
    threading.Thread(target=seed.serve_forever, daemon=True).start()
    torrent = scratch / "resume.rar.torrent"
    subprocess.run(["mktorrent", "-l", str(PIECE_EXPONENT), "-a", "http://127.0.0.1:1/announce",
                    "-w", seed.url(), "-o", str(torrent), str(source)], check=True, timeout=120,
                   stdout=subprocess.DEVNULL)
    folder = scratch / "resumed"
    folder.mkdir()
    # An older download under the target's name, which the finished file replaces.
    (folder / "client.rar").write_bytes(b"an older download")
    command = [args.wine, args.fetch_exe, "-q", "--torrent", windows_path(torrent), "-o",
               windows_path(folder / "client.rar"), "--no-peers", "--save-every", "500"]
    try:
        first = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: seed.served >= 2 * 1024 * 1024, 300, "the first half")
        time.sleep(1.5)  # past a save
        # The Windows program is a Linux process of its own under Wine: that one dies.
        found = subprocess.run(["pgrep", "-f", f"quorvane-fetch.exe.*{folder.name}"],
                               capture_output=True, text=True).stdout.split()
        check(found, "the Windows player's process is not there")
        for pid in found:
            os.kill(int(pid), signal.SIGKILL)
        first.wait(timeout=120)
        left = sorted(p.name for p in folder.iterdir())
        check(left == [".client.rar.part", ".client.rar.srec", "client.rar"],
              f"after kill -9: {left}")
        served_before = seed.served
        second = subprocess.run(command, capture_output=True, timeout=600)
        lines = [l for l in second.stdout.decode("utf-8", "replace").splitlines()
                 if l.startswith("{")]
        check(second.returncode == 0 and lines, f"the resumed download ended with "
              f"{second.returncode}: {second.stdout!r}")
        report = json.loads(lines[-1])
    finally:
        seed.shutdown()
    check((folder / "client.rar").read_bytes() == data, "the resumed file is not the original")
    check(sorted(p.name for p in folder.iterdir()) == ["client.rar"], "leftovers after resuming")
    check(report["resumed"] > 0 and seed.served - served_before < len(data),
          f"resumed {report['resumed']}, the web seed served {seed.served - served_before} "
          f"bytes again of {len(data)}")
    print(f"kill -9 and resume: {report['resumed']} bytes kept, {seed.served - served_before} "
          f"fetched again")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--fetch", required=True)
    parser.add_argument("--fetch-exe", required=True)
    parser.add_argument("--wine", required=True)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="quorvane-mixed-swarm-") as scratch:
        scratch = Path(scratch)
        data = random.Random(19).randbytes(SIZE)
        original = scratch / "client.rar"
        original.write_bytes(data)
        seed = ThrottledSeed(data)
        threading.Thread(target=seed.serve_forever, daemon=True).start()

        # The torrent names its tracker, and the tracker serves only known torrents: the port
        # comes first, then the torrent, then the tracker.
        tracker_port = free_port()
        torrent = scratch / "client.rar.torrent"
        subprocess.run(["mktorrent", "-l", str(PIECE_EXPONENT),
                        "-a", f"http://127.0.0.1:{tracker_port}/announce", "-w", seed.url(),
                        "-o", str(torrent), str(original)], check=True, timeout=120,
                       stdout=subprocess.DEVNULL)
        info_hash = hashlib.sha1(bdecode_info_slice(torrent.read_bytes())).hexdigest()
        tracker = Tracker(scratch / "tracker", info_hash, tracker_port)
        players = []
        try:
            common = ["-q", "--listen", "127.0.0.1:0", "--no-lan-discovery", "--seed-for", "20"]
            windows_folder = scratch / "windows"
            windows_folder.mkdir()
            windows = subprocess.Popen(
                [args.wine, args.fetch_exe, "--torrent", windows_path(torrent),
                 "-o", windows_path(windows_folder / "client.rar")] + common,
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            players.append(windows)
            # Alone at first: what the web seed serves now is the Windows player's only.
            wait_until(lambda: seed.served >= 2 * 1024 * 1024 or windows.poll() is not None,
                       300, "the Windows player to take 2 MiB from the web seed")
            linux_folders = []
            for n in (1, 2):
                folder = scratch / f"linux{n}"
                folder.mkdir()
                linux_folders.append(folder)
                players.append(subprocess.Popen(
                    [args.fetch, "--torrent", str(torrent), "-o", str(folder / "client.rar")]
                    + common, stdout=subprocess.PIPE, stderr=subprocess.STDOUT))
            reports = {"windows": report_of(windows, "the Windows player")}
            for n, process in enumerate(players[1:], 1):
                reports[f"linux{n}"] = report_of(process, f"Linux player {n}")
        finally:
            for process in players:
                if process.poll() is None:
                    process.kill()
                    process.wait()
            tracker.stop()
            seed.shutdown()

        for who, folder in [("windows", windows_folder)] + [
                (f"linux{n}", f) for n, f in enumerate(linux_folders, 1)]:
            got = folder / "client.rar"
            check(got.is_file() and got.read_bytes() == data,
                  f"the {who} player's file is not the original")
            check(sorted(p.name for p in folder.iterdir()) == ["client.rar"],
                  f"the {who} player left {sorted(p.name for p in folder.iterdir())}")
            report = reports[who]
            print(f"{who}: fromPeers {report['fromPeers']} fromWebSeeds {report['fromWebSeeds']} "
                  f"uploaded {report['uploaded']}")
        windows_report = reports["windows"]
        check(windows_report["fromPeers"] > 0, "the Windows player received nothing from peers")
        check(windows_report["uploaded"] > 0, "the Windows player sent nothing to peers")
        linux_received = sum(reports[f"linux{n}"]["fromPeers"] for n in (1, 2))
        check(linux_received > 0, "the Linux players received nothing from peers")
        print(f"web seed served {seed.served} bytes for 3 × {SIZE}")
        resume_after_kill(args, scratch)
    print("mixed swarm: passed")


if __name__ == "__main__":
    sys.exit(main())
