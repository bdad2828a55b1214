"""A small FTP server on 127.0.0.1 for the transfer tests (run with /usr/bin/python3).

Serves one folder to three users:
  anonimous  any password, may read and write;
  agent      password given with --password, may read and write;
  reader     password "reader", may only read.
Every command a client sends is appended to the --log file as "<session> <command line>",
with "<session> CONNECT" and "<session> CLOSE" around each connection, so that a test can see
exactly what the client did. With --drop-after N a download's data connection is cut after N
bytes: --drop-mode 426 answers "426" on the control connection, 226 pretends the transfer
completed, kill closes the control connection too.

Prints "PORT <n>" once it listens. Stops by itself after --lifetime seconds or as soon as
the process that started it has gone.
"""

import argparse
import logging
import os
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--password", default="secret")
    parser.add_argument("--drop-after", type=int, default=-1)
    parser.add_argument("--drop-mode", choices=["426", "226", "kill"], default="426")
    parser.add_argument("--lifetime", type=float, default=120.0)
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    log = open(args.log, "a", encoding="utf-8", buffering=1)

    def note(session, text):
        log.write("%d %s\n" % (session, text))
        log.flush()

    class Authorizer(DummyAuthorizer):
        def validate_authentication(self, username, password, handler):
            if username == "anonimous":
                return
            super().validate_authentication(username, password, handler)

    authorizer = Authorizer()
    authorizer.add_user("anonimous", "", args.root, perm="elradfmw")
    authorizer.add_user("agent", args.password, args.root, perm="elradfmw")
    authorizer.add_user("reader", "reader", args.root, perm="elr")

    class DroppingDTP(DTPHandler):
        def send(self, data):
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

    class Handler(FTPHandler):
        sessions = 0
        use_sendfile = False
        auth_failed_timeout = 0.05
        dtp_handler = DroppingDTP

        def on_connect(self):
            Handler.sessions += 1
            self.session = Handler.sessions
            note(self.session, "CONNECT")

        def on_disconnect(self):
            note(getattr(self, "session", 0), "CLOSE")

        def pre_process_command(self, line, cmd, arg):
            note(self.session, line)
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
