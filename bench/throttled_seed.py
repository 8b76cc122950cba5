#!/usr/bin/python3
"""The operator's uplink for bench/swarm.sh: serves one folder with byte ranges on 127.0.0.1,
every response together no faster than RATE bytes/s (one token bucket for all connections).
/fast/NAME serves the same file unthrottled. On SIGTERM writes to COUNT_FILE the throttled bytes
sent and how many of them it had sent before (the same bytes to another player, or again).
  usage: throttled_seed.py FOLDER PORT RATE COUNT_FILE"""
import http.server, os, signal, sys, threading, time

folder, port, rate, count_file = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
lock = threading.Lock()
state = {"next": time.monotonic(), "sent": 0, "again": 0}
CHUNK = 64 * 1024
BLOCK = 16 * 1024  # libtorrent's unit of a request
sent_blocks = {}  # (name, block) -> bytes of it sent so far

def count(name, at, n):
    """Counts the bytes [at, at + n) of a file as sent, and those sent before as sent again."""
    with lock:
        while n > 0:
            block = at // BLOCK
            part = min(n, (block + 1) * BLOCK - at)
            before = sent_blocks.get((name, block), 0)
            if before >= BLOCK:
                state["again"] += part
            sent_blocks[(name, block)] = before + part
            at += part
            n -= part

def take(n):
    """Waits until the shared line has room for n bytes."""
    with lock:
        now = time.monotonic()
        start = max(now, state["next"])
        state["next"] = start + n / rate
        state["sent"] += n
    delay = start - now
    if delay > 0:
        time.sleep(delay)

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *args):
        pass
    def do_GET(self):
        fast = self.path.startswith("/fast/")
        name = os.path.basename(self.path)
        path = os.path.join(folder, name)
        if not name or not os.path.isfile(path):
            self.send_error(404)
            return
        size = os.path.getsize(path)
        first, last = 0, size - 1
        ranged = self.headers.get("Range", "")
        if ranged.startswith("bytes="):
            a, _, b = ranged[6:].partition("-")
            first = int(a) if a else 0
            last = min(int(b), size - 1) if b else size - 1
            self.send_response(206)
            self.send_header("Content-Range", f"bytes {first}-{last}/{size}")
        else:
            self.send_response(200)
        self.send_header("Content-Length", str(last - first + 1))
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("ETag", '"bench"')
        self.end_headers()
        with open(path, "rb") as f:
            f.seek(first)
            left = last - first + 1
            while left > 0:
                data = f.read(min(CHUNK, left))
                if not fast:
                    take(len(data))
                    count(name, last + 1 - left, len(data))
                try:
                    self.wfile.write(data)
                except OSError:
                    return
                left -= len(data)

def stop(*_):
    with open(count_file, "w") as f:
        f.write(f"{state['sent']} {state['again']}")
    os._exit(0)

signal.signal(signal.SIGTERM, stop)
server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
server.daemon_threads = True
server.serve_forever()
