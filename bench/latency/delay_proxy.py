#!/usr/bin/python3
"""A TCP proxy on loopback that makes the link slow: every chunk is passed on
half a round trip after it arrived, in both directions, and nothing passes on
a new connection before one round trip has gone by (its handshake). Chunks
are delayed side by side, not one after the other, so only latency is added.

    delay_proxy.py --rtt-ms MS --ready-file FILE LISTEN=TARGET [LISTEN=TARGET ...]

LISTEN and TARGET are HOST:PORT or HOST:FIRST-LAST (ranges of the same
length, port for port: an FTP server's passive ports). Runs until SIGTERM.
"""

import argparse
import asyncio
import collections
import os
import signal
import socket

CHUNK = 64 * 1024


def parse_endpoint(text):
    host, _, ports = text.rpartition(":")
    first, _, last = ports.partition("-")
    return host, range(int(first), int(last or first) + 1)


def parse_mapping(text):
    listen, _, target = text.partition("=")
    (listen_host, listen_ports), (target_host, target_ports) = map(parse_endpoint,
                                                                   (listen, target))
    if len(listen_ports) != len(target_ports):
        raise argparse.ArgumentTypeError("ranges differ in length: %r" % text)
    return [((listen_host, a), (target_host, b)) for a, b in zip(listen_ports, target_ports)]


async def pump(reader, writer, opened_at, half_rtt):
    """Passes chunks on at max(arrival, opened_at) + half_rtt, in order; the
    end of the stream too."""
    loop = asyncio.get_running_loop()
    due = collections.deque()
    arrived = asyncio.Event()

    async def deliver():
        while True:
            while not due:
                arrived.clear()
                await arrived.wait()
            when, data = due.popleft()
            await asyncio.sleep(max(0.0, when - loop.time()))
            if data is None:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    delivering = asyncio.ensure_future(deliver())
    try:
        while True:
            data = await reader.read(CHUNK)
            due.append((max(loop.time(), opened_at) + half_rtt, data or None))
            arrived.set()
            if not data:
                break
        await delivering
    finally:
        delivering.cancel()


async def relay(client_reader, client_writer, target, rtt):
    opened_at = asyncio.get_running_loop().time() + rtt
    try:
        server_reader, server_writer = await asyncio.open_connection(*target)
    except OSError:
        client_writer.close()
        return
    for writer in (client_writer, server_writer):
        writer.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    pumps = [asyncio.ensure_future(pump(client_reader, server_writer, opened_at, rtt / 2)),
             asyncio.ensure_future(pump(server_reader, client_writer, opened_at, rtt / 2))]
    try:
        # A reset on one side ends both.
        await asyncio.wait(pumps, return_when=asyncio.FIRST_EXCEPTION)
    finally:
        for writer in (client_writer, server_writer):
            writer.close()
        for running in pumps:
            running.cancel()
        await asyncio.gather(*pumps, return_exceptions=True)


async def serve(mappings, rtt, ready_file):
    servers = []
    for listen, target in mappings:
        servers.append(await asyncio.start_server(
            lambda r, w, target=target: relay(r, w, target, rtt), *listen,
            reuse_address=True, backlog=256))
    with open(ready_file + ".tmp", "w") as ready:
        ready.write(str(os.getpid()))
    os.replace(ready_file + ".tmp", ready_file)
    stop = asyncio.Event()
    asyncio.get_running_loop().add_signal_handler(signal.SIGTERM, stop.set)
    await stop.wait()
    for server in servers:
        server.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rtt-ms", type=float, required=True)
    parser.add_argument("--ready-file", required=True)
    parser.add_argument("mapping", nargs="+", type=parse_mapping)
    args = parser.parse_args()
    mappings = [pair for mapping in args.mapping for pair in mapping]
    asyncio.run(serve(mappings, args.rtt_ms / 1000, args.ready_file))


if __name__ == "__main__":
    main()
