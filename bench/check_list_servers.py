"""Loopback servers that make quorvane-check-list wait, for bench/check-list-deadlines.sh.

check_list_servers.py LIST MODE [N] writes LIST (or, for trickle-list, the list's address into it),
prints "ready" and serves until it is stopped:
  silent SERVERS N   N entries of two-part archives (2N addresses) spread over SERVERS
                     listeners that accept connections and never answer
  trickle            one 1 MiB file that answers its first byte at once and its whole body at
                     2,000 bytes a second
  trickle-list       the list itself, 100 kB, at 2,000 bytes a second
"""
import http.server
import socket
import socketserver
import sys
import threading
import time

RATE_STEP = 200  # bytes every 0.1 s


def list_text(addresses):
    lines = ["[Down]", "Down=True", "[Files]", "Num=%d" % len(addresses), "[Name]"]
    lines += ["Name%d=x" % (i + 1) for i in range(len(addresses))] + ["[Add]"]
    lines += ["Add%d=%s" % (i + 1, a) for i, a in enumerate(addresses)]
    return "\r\n".join(lines) + "\r\n"


class Trickle(http.server.BaseHTTPRequestHandler):
    size = 1 << 20
    listed = b""

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path.endswith(".ini"):
            body = self.listed
        elif self.headers.get("Range") == "bytes=0-0":
            self.send_response(206)
            self.send_header("Content-Range", "bytes 0-0/%d" % self.size)
            self.send_header("Content-Length", "1")
            self.end_headers()
            self.wfile.write(b"x")
            return
        else:
            body = b"x" * self.size
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            for at in range(0, len(body), RATE_STEP):
                self.wfile.write(body[at:at + RATE_STEP])
                self.wfile.flush()
                time.sleep(0.1)
        except OSError:
            pass


def main():
    list_file, mode = sys.argv[1], sys.argv[2]
    listeners = []
    if mode == "silent":
        servers, entries = int(sys.argv[3]), int(sys.argv[4])
        for _ in range(servers):
            listener = socket.socket()
            listener.bind(("127.0.0.1", 0))
            listener.listen(4096)
            listeners.append(listener)
        addresses = ["http://127.0.0.1:%d/f%d.part1.rar" %
                     (listeners[i % servers].getsockname()[1], i) for i in range(entries)]
        text = list_text(addresses)
    else:
        server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Trickle)
        server.daemon_threads = True
        threading.Thread(target=server.serve_forever, daemon=True).start()
        base = "http://127.0.0.1:%d" % server.server_address[1]
        text = list_text([base + "/client.rar"])
        if mode == "trickle-list":
            Trickle.listed = (text + ";" * 100000 + "\r\n").encode()
            text = base + "/down.ini"
    with open(list_file, "w") as out:
        out.write(text)
    print("ready", flush=True)
    time.sleep(24 * 3600)


main()
