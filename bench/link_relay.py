#!/usr/bin/env python3
"""A user-space link between download tools and a loopback server, for bench/link.sh.

Every connection accepted on 127.0.0.1:LISTEN is relayed to 127.0.0.1:UPSTREAM (never anywhere
else). Each direction is delayed by half the round trip; a connection's first request reaches the
server one extra round trip late (the TCP and TLS handshakes of a real path); the server's bytes
leave at no more than the connection's own rate and, all connections together, the link's rate.
With --slow-every K, every K-th connection (counted from 1) gets --slow-rate instead.

Rates hold from the first byte: an idle connection saves up no allowance, as a path does not.
One line per accepted connection goes to --log ("open N fast" or "open N slow"), after a first
line "listening" once the port accepts.
"""

import argparse
import asyncio
import collections
import socket
import sys

UPSTREAM_HOST = "127.0.0.1"  # the relay only ever connects here
LATE_WAKE_SLACK = 0.02  # seconds


class Shaper:
    """When bytes may leave: a queue of its own per connection, behind the link's shared one."""

    def __init__(self, rate):
        self.rate = rate  # bytes per second, 0 for unlimited
        self.free_at = 0.0

    def leave(self, ready, length):
        """The time the last of `length` bytes, ready to go at `ready`, has left."""
        if self.rate <= 0:
            return ready
        # A relay that wakes late may catch up a little: the path would not have lost that time.
        self.free_at = max(ready - LATE_WAKE_SLACK, self.free_at) + length / self.rate
        return self.free_at


class Delayed:
    """Bytes written to a stream at their due time, in order; None closes the stream."""

    def __init__(self, writer):
        self.writer = writer
        self.items = collections.deque()
        self.wake = asyncio.Event()
        self.queued = 0
        self.room = asyncio.Event()
        self.room.set()

    def put(self, due, data):
        self.items.append((due, data))
        if data:
            self.queued += len(data)
            if self.queued > 4 * 1024 * 1024:
                self.room.clear()
        self.wake.set()

    async def run(self):
        loop = asyncio.get_running_loop()
        try:
            while True:
                while not self.items:
                    self.wake.clear()
                    await self.wake.wait()
                due, data = self.items.popleft()
                wait = due - loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if data is None:
                    if self.writer.can_write_eof():
                        self.writer.write_eof()
                    return
                self.writer.write(data)
                self.queued -= len(data)
                if self.queued <= 1024 * 1024:
                    self.room.set()
                await self.writer.drain()
        except (ConnectionError, OSError):
            pass


class Link:
    def __init__(self, args):
        self.args = args
        self.half = args.rtt / 2000.0
        self.handshake = args.rtt / 1000.0 if args.handshake else 0.0
        self.link = Shaper(args.link_rate)
        self.count = 0
        self.log = open(args.log, "a", buffering=1) if args.log else None

    def note(self, text):
        if self.log:
            self.log.write(text + "\n")

    async def serve(self, client_reader, client_writer):
        self.count += 1
        number = self.count
        slow = self.args.slow_every > 0 and number % self.args.slow_every == 0
        rate = self.args.slow_rate if slow else self.args.rate
        self.note(f"open {number} {'slow' if slow else 'fast'}")
        try:
            server_reader, server_writer = await asyncio.open_connection(
                UPSTREAM_HOST, self.args.upstream)
        except OSError:
            client_writer.close()
            return
        for writer in (client_writer, server_writer):
            sock = writer.get_extra_info("socket")
            if sock is not None:
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        to_server = Delayed(server_writer)
        to_client = Delayed(client_writer)
        tasks = [
            asyncio.create_task(to_server.run()),
            asyncio.create_task(to_client.run()),
            asyncio.create_task(self.requests(client_reader, to_server)),
            asyncio.create_task(self.answers(server_reader, to_client, Shaper(rate), rate)),
        ]
        # A reset on either side ends the connection at once; an orderly end runs its course.
        done, pending = await asyncio.wait(tasks[2:], return_when=asyncio.FIRST_EXCEPTION)
        if any(task.exception() for task in done if not task.cancelled()):
            for task in tasks:
                task.cancel()
        else:
            await asyncio.gather(*tasks, return_exceptions=True)
        for writer in (client_writer, server_writer):
            writer.close()

    async def requests(self, reader, out):
        loop = asyncio.get_running_loop()
        extra = self.handshake
        last = 0.0
        while True:
            data = await reader.read(65536)
            due = max(loop.time() + self.half + extra, last)
            last = due
            if not data:
                out.put(due, None)
                return
            extra = 0.0
            out.put(due, data)

    async def answers(self, reader, out, own, rate):
        loop = asyncio.get_running_loop()
        # About 10 ms of the connection's rate per read, so that pacing stays smooth.
        chunk = 65536 if rate <= 0 else max(4096, min(65536, int(rate / 100)))
        while True:
            await out.room.wait()
            data = await reader.read(chunk)
            now = loop.time()
            if not data:
                out.put(max(now, own.free_at) + self.half, None)
                return
            # Through the connection's own path, then the link: the two overlap.
            through = own.leave(now, len(data))
            if self.link.rate > 0:
                through = max(through, self.link.leave(through - len(data) / self.link.rate,
                                                       len(data)))
            leaves = through
            out.put(leaves + self.half, data)
            # Read no further ahead than the path lets bytes through, so the server feels it.
            if leaves > now:
                await asyncio.sleep(leaves - now)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--listen", type=int, required=True)
    parser.add_argument("--upstream", type=int, required=True)
    parser.add_argument("--rtt", type=float, default=0, help="round trip in ms")
    parser.add_argument("--rate", type=float, default=0, help="bytes/s per connection, 0: none")
    parser.add_argument("--link-rate", type=float, default=0, help="bytes/s of the whole link")
    parser.add_argument("--slow-every", type=int, default=0)
    parser.add_argument("--slow-rate", type=float, default=0)
    parser.add_argument("--no-handshake", dest="handshake", action="store_false")
    parser.add_argument("--log")
    args = parser.parse_args()
    link = Link(args)

    async def run():
        # The port of the run before may take a moment to come free.
        for attempt in range(50):
            try:
                server = await asyncio.start_server(link.serve, "127.0.0.1", args.listen,
                                                    reuse_address=True)
                break
            except OSError:
                if attempt == 49:
                    raise
                await asyncio.sleep(0.1)
        link.note("listening")
        async with server:
            await server.serve_forever()

    try:
        asyncio.run(run())
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
