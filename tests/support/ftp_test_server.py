"""A small FTP server on 127.0.0.1 for the transfer tests (run with /usr/bin/python3).

Serves one folder to three users:
  anonimous  any password, may read and write;
  agent      password given with --password, may read and write;
  reader     password "reader", may only read.
With --standard-anonymous the server behaves like a standard anonymous server instead: it
refuses "anonimous" (530) and accepts "anonymous" with any password.

Every command a client sends is appended to the --log file as "<session> <command line>",
with "<session> CONNECT" and "<session> CLOSE" around each connection, so that a test can see
exactly what the client did.

Misbehaviour on request:
  --drop-after N      a download's data connection is cut after N bytes: --drop-mode 426
                      answers "426" on the control connection, 226 pretends the transfer
                      completed, kill closes the control connection too;
  --stall greeting    greets, then never answers a command;
  --stall pasv        answers up to PASV, then never answers the transfer command (RETR, STOR);
  --stall data        moves --stall-after bytes of the file in either direction, then neither
                      sends nor reads any more; logs "<session> STALL <bytes>".
  --throttle B        data connections move at most about B bytes per second;
  --data-buffer B     the system buffers of data connections hold B bytes (with --throttle this
                      makes the network, not the server, the slow part).
With --tls-cert PEM (and --tls-key, or the key in the same file) the server speaks explicit TLS
and requires it on the control and the data connection. --debug-log FILE keeps pyftpdlib's
own log of every command and reply.

Prints "PORT <n>" once it listens. Stops by itself after --lifetime seconds or as soon as
the process that started it has gone.
"""

import argparse
import logging
import os
import socket
import sys
import time

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--password", default="secret")
    parser.add_argument("--drop-after", type=int, default=-1)
    parser.add_argument("--drop-mode", choices=["426", "226", "kill"], default="426")
    parser.add_argument("--stall", choices=["none", "greeting", "pasv", "data"], default="none")
    parser.add_argument("--stall-after", type=int, default=0)
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--data-buffer", type=int, default=0)
    parser.add_argument("--standard-anonymous", action="store_true")
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--debug-log")
    parser.add_argument("--lifetime", type=float, default=120.0)
    args = parser.parse_args()

    if args.debug_log:
        logging.basicConfig(filename=args.debug_log, level=logging.DEBUG,
                            format="[%(asctime)s] %(message)s")
    else:
        logging.basicConfig(level=logging.CRITICAL)
    log = open(args.log, "a", encoding="utf-8", buffering=1)

    def note(session, text):
        log.write("%d %s\n" % (session, text))
        log.flush()

    class Authorizer(DummyAuthorizer):
        def validate_authentication(self, username, password, handler):
            if username == "anonimous" and not args.standard_anonymous:
                return
            if username == "anonimous":
                raise AuthenticationFailed("Authentication failed.")
            super().validate_authentication(username, password, handler)

    authorizer = Authorizer()
    if args.standard_anonymous:
        authorizer.add_anonymous(args.root, perm="elradfmw")
    else:
        authorizer.add_user("anonimous", "", args.root, perm="elradfmw")
    authorizer.add_user("agent", args.password, args.root, perm="elradfmw")
    authorizer.add_user("reader", "reader", args.root, perm="elr")

    if args.tls_cert:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
        handler_base, dtp_base = TLS_FTPHandler, TLS_DTPHandler
    else:
        handler_base = FTPHandler
        dtp_base = ThrottledDTPHandler if args.throttle > 0 else DTPHandler

    class TestDTP(dtp_base):
        read_limit = args.throttle
        write_limit = args.throttle

        def __init__(self, sock, cmd_channel):
            if args.data_buffer > 0:
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, args.data_buffer)
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, args.data_buffer)
            super().__init__(sock, cmd_channel)
            self.stalled = False

        def stall_now(self, moved):
            self.stalled = True
            note(self.cmd_channel.session, "STALL %d" % moved)
            # Out of the loop: the connection stays open, nothing moves on it any more.
            self.del_channel()

        def send(self, data):
            if self.stalled:
                return 0
            if args.stall == "data" and not self.receive and self.file_obj is not None:
                left = args.stall_after - self.tot_bytes_sent
                if left <= 0:
                    self.stall_now(self.tot_bytes_sent)
                    return 0
                data = data[:left]
            limit = args.drop_after
            if limit >= 0 and not self.receive and self.file_obj is not None:
                left = limit - self.tot_bytes_sent
                if left <= 0:
                    channel = self.cmd_channel
                    note(channel.session, "DROP %d" % self.tot_bytes_sent)
                    if args.drop_mode == "kill":
                        self._resp = ()
                        self.close()
                        channel.close()
                    else:
                        finished = args.drop_mode == "226"
                        self.transfer_finished = finished
                        self._resp = (
                            "226 Transfer complete." if finished
                            else "426 Connection closed; transfer aborted.",
                            logging.debug)
                        self.close()
                    return 0
                data = data[:left]
            return super().send(data)

        def handle_read(self):
            if self.stalled:
                return
            super().handle_read()
            if (args.stall == "data" and self.receive
                    and self.tot_bytes_received >= args.stall_after):
                self.stall_now(self.tot_bytes_received)

        if not args.tls_cert:
            # The TLS handler's own handle_read_event does the handshake first; an upload
            # over TLS never stalls.
            handle_read_event = handle_read

        def readable(self):
            # pyftpdlib before 1.5.8 closes a data connection whose client starts the TLS
            # handshake before the transfer command, as libcurl does (fixed upstream in #612).
            if getattr(self, "_ssl_accepting", False):
                return True
            return super().readable()

    class Handler(handler_base):
        sessions = 0
        use_sendfile = False
        auth_failed_timeout = 0.05
        dtp_handler = TestDTP
        if args.tls_cert:
            certfile = args.tls_cert
            keyfile = args.tls_key
            tls_control_required = True
            tls_data_required = True

        def on_connect(self):
            Handler.sessions += 1
            self.session = Handler.sessions
            note(self.session, "CONNECT")

        def on_disconnect(self):
            note(getattr(self, "session", 0), "CLOSE")

        def pre_process_command(self, line, cmd, arg):
            note(self.session, line)
            if args.stall == "greeting":
                return
            if args.stall == "pasv" and cmd in ("RETR", "STOR", "APPE", "STOU"):
                return
            super().pre_process_command(line, cmd, arg)

    Handler.authorizer = authorizer
    Handler.passive_ports = None
    server = FTPServer(("127.0.0.1", 0), Handler)
    port = server.socket.getsockname()[1]
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()

    parent = os.getppid()
    deadline = time.monotonic() + args.lifetime
    while time.monotonic() < deadline and os.getppid() == parent:
        server.serve_forever(timeout=0.1, blocking=False)
    server.close_all()


if __name__ == "__main__":
    main()
