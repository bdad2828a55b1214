"""A TCP proxy on 127.0.0.1 between the device and an FTP server, for the transfer tests.

Forwards one port to --target-port, and delays every chunk the server sends on the control
connection by --latency-ms (as a mobile line would; the order stays). While the control
connection is plain FTP it reads the replies: it rewrites the port of each PASV reply to a
data port of its own and relays that data connection, so that it can misbehave there too.
After AUTH TLS it can only forward (and delay) the bytes as they come.

--fault makes it misbehave once the given moment comes, and keep quiet from then on (it
holds every later byte from the server and keeps the connections open):
  greeting   the server's greeting never arrives;
  login      the reply to USER never arrives;
  pasv       the reply to PASV never arrives;
  data       a data connection stops after --after bytes, in either direction;
  final      the data connection ends, and then the server's reply to it never arrives;
  reset      a data connection is reset (RST) after --after bytes;
  short      a data connection ends cleanly after --after bytes: the side that receives takes
             that for the whole file, the rest from the sender is swallowed.
Each fault, once it strikes, writes "FAULT <name>" as a line to --log.

Prints "PORT <n>" once it listens. Stops by itself after --lifetime seconds or when the
process that started it has gone.
"""

import argparse
import asyncio
import os
import re
import socket
import struct
import sys

PASV = re.compile(rb"^227 .*\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)")


class Session:
    def __init__(self, args, log):
        self.args = args
        self.log = log
        self.tls = False
        self.last_command = b""
        self.held = False  # a fault struck: nothing more goes to the device

    def strike(self, name):
        if not self.held:
            self.held = True
            self.log("FAULT " + name)

    async def run(self, device_reader, device_writer):
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", self.args.target_port)
        await asyncio.gather(
            self.commands(device_reader, server_writer),
            self.replies(server_reader, device_writer),
            return_exceptions=True,
        )
        for w in (device_writer, server_writer):
            w.close()

    async def commands(self, reader, writer):
        while True:
            data = await reader.read(65536)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            if not self.tls:
                # One command a time: the device waits for each reply.
                self.last_command = data.split(b" ", 1)[0].strip().upper()
            writer.write(data)
            await writer.drain()

    async def replies(self, reader, writer):
        loop = asyncio.get_running_loop()
        queue = asyncio.Queue()

        async def deliver():
            while True:
                due, data = await queue.get()
                delay = due - loop.time()
                if delay > 0:
                    await asyncio.sleep(delay)
                if data is None:
                    if not self.held:
                        writer.close()
                    return
                if not self.held:
                    writer.write(data)
                    await writer.drain()

        sender = asyncio.ensure_future(deliver())
        greeted = False
        while True:
            data = await (reader.readline() if not self.tls else reader.read(65536))
            if not data:
                break
            if not self.tls:
                data = await self.reply(data, greeted)
                greeted = True
            await queue.put((loop.time() + self.args.latency_ms / 1000.0, data))
        await queue.put((loop.time() + self.args.latency_ms / 1000.0, None))
        await sender

    # One line of a reply in plain FTP: the faults of the control connection, PASV rewritten.
    async def reply(self, line, greeted):
        fault = self.args.fault
        final_line = len(line) >= 4 and line[3:4] == b" "
        if not greeted and fault == "greeting":
            self.strike("greeting")
        elif fault == "login" and self.last_command == b"USER" and final_line:
            self.strike("login")
        elif fault == "pasv" and self.last_command == b"PASV" and final_line:
            self.strike("pasv")
        elif fault == "final" and self.last_command in (b"RETR", b"STOR") and final_line \
                and line[:1] == b"2":
            self.strike("final")
        if line.startswith(b"234"):
            self.tls = True  # AUTH TLS accepted: from now on the bytes are opaque
        match = PASV.match(line)
        if match and not self.tls:
            port = await self.relay_data(int(match.group(5)) * 256 + int(match.group(6)))
            line = b"227 Entering Passive Mode (127,0,0,1,%d,%d).\r\n" % (port // 256, port % 256)
        return line

    async def relay_data(self, server_port):
        async def accepted(device_reader, device_writer):
            listener.close()
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", server_port)
            moved = [0]
            await asyncio.gather(
                self.pipe(device_reader, server_writer, moved, [device_writer, server_writer]),
                self.pipe(server_reader, device_writer, moved, [device_writer, server_writer]),
                return_exceptions=True,
            )

        listener = await asyncio.start_server(accepted, "127.0.0.1", 0)
        return listener.sockets[0].getsockname()[1]

    async def pipe(self, reader, writer, moved, both):
        fault = self.args.fault
        while True:
            data = await reader.read(16384)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            if fault == "short" and moved[0] + len(data) > self.args.after:
                writer.write(data[: max(0, self.args.after - moved[0])])
                moved[0] = self.args.after
                await writer.drain()
                self.log("FAULT short")
                writer.close()
                while await reader.read(65536):
                    pass
                return
            if fault in ("data", "reset") and moved[0] + len(data) > self.args.after:
                data = data[: max(0, self.args.after - moved[0])]
                writer.write(data)
                moved[0] += len(data)
                await writer.drain()
                if fault == "reset":
                    self.log("FAULT reset")
                    for w in both:
                        sock = w.get_extra_info("socket")
                        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                        w.transport.abort()
                    return
                self.strike("data")
                await asyncio.Event().wait()  # silent, the connection kept open
            moved[0] += len(data)
            writer.write(data)
            await writer.drain()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target-port", type=int, required=True)
    parser.add_argument("--latency-ms", type=int, default=0)
    parser.add_argument("--fault", default="none",
                        choices=["none", "greeting", "login", "pasv", "data", "final", "reset",
                                 "short"])
    parser.add_argument("--after", type=int, default=65536)
    parser.add_argument("--log", required=True)
    parser.add_argument("--lifetime", type=float, default=300.0)
    args = parser.parse_args()

    def log(text):
        with open(args.log, "a") as f:
            f.write(text + "\n")

    async def accepted(reader, writer):
        try:
            await Session(args, log).run(reader, writer)
        except (ConnectionError, OSError):
            writer.close()

    server = await asyncio.start_server(accepted, "127.0.0.1", 0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    parent = os.getppid()
    loop = asyncio.get_running_loop()
    end = loop.time() + args.lifetime
    while loop.time() < end and os.getppid() == parent:
        await asyncio.sleep(0.2)


if __name__ == "__main__":
    asyncio.run(main())
