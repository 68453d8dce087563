#!/usr/bin/python3
"""FTP servers that misbehave on purpose, one port per behaviour, in one
process. Every command and reply is logged to <run>/fake-<mode>.log.

usage: fakeftp.py RUNDIR ROOT USER PASSWORD   (prints "mode=port" lines to
RUNDIR/fake.ports once every server listens)
"""
import os
import re
import sys
import traceback

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer

RUN, ROOT, USER, PASSWORD = sys.argv[1:5]

HUNG_UP = set()
EVIL_NAMES = ["../evil.zip", "a\\b.zip", "C:x.zip", ".", "..", "ctl\x01.zip", "good.zip", "other.txt"]


class StallingDTP(DTPHandler):
    """Takes an upload's data connection and then never reads from it."""

    def enable_receiving(self, type, cmd):
        DTPHandler.enable_receiving(self, type, cmd)
        self.ioloop.modify(self._fileno, 0)
        self._current_io_events = 0
        self._wanted_io_events = 0


class LoggingHandler(FTPHandler):
    mode = "plain"

    def get_repr_info(self, as_str=False, extra_info=None):
        # pyftpdlib describes a session in its debug lines and fails on a
        # data channel whose file is already closed (a client that reset
        # the connection mid-transfer); that must not end the server.
        try:
            return FTPHandler.get_repr_info(self, as_str, extra_info)
        except ValueError:
            return "" if as_str else {}

    def log_line(self, text):
        with open(os.path.join(RUN, "fake-%s.log" % self.mode), "a") as f:
            f.write(text + "\n")

    def handle(self):
        m = self.mode
        if m == "greetmulti":
            self.push("220-Welcome\r\n220-to the test server\r\n 220 an indented line\r\n"
                      "220- more\r\n")
            self.respond("220 ready")
        elif m == "greet421":
            self.respond("421 Too many users")
            self.close_when_done()
        elif m == "code4":
            self.push("2200 four digits\r\n")
        elif m == "longline":
            self.push("220-" + "x" * 100000 + "\r\n220 ready\r\n")
        elif m == "eofmid":
            self.push("220-first line\r\n")
            self.close_when_done()
        else:
            FTPHandler.handle(self)

    hang_up = False
    last_stor = ""

    def pre_process_command(self, line, cmd, arg):
        self.log_line(line)
        if self.hang_up:
            self.close()
            return
        if cmd == "STOR":
            self.last_stor = arg
        if self.mode == "user230" and cmd == "USER":
            self.username = arg
            self.authenticated = True
            self.fs = self.abstracted_fs(self.authorizer.get_home_dir(USER), self)
            self.respond("230 Logged in without a password")
            return
        if self.mode == "stall" and cmd == "CWD" and "stall" in arg:
            return  # never answered
        if self.mode == "quit500" and cmd == "QUIT":
            self.respond("500 QUIT refused for the test")
            return
        if self.mode == "pasvbad" and cmd == "PASV":
            self.respond("227 Entering Passive Mode (10,0,0,5,19,137")
            return
        if self.mode == "evil" and cmd == "NLST":
            data = ("\r\n".join(EVIL_NAMES) + "\r\n").encode("latin-1")
            self.push_dtp_data(data, cmd="NLST")
            return
        FTPHandler.pre_process_command(self, line, cmd, arg)

    def respond(self, resp, logfun=None):
        if self.mode == "abort426" and resp.startswith("226"):
            resp = "426 Connection closed; transfer aborted."
        if self.mode == "pasvforeign" and resp.startswith("227"):
            resp = re.sub(r"\(\d+,\d+,\d+,\d+,", "(10,0,0,5,", resp)
        self.log_line("-> " + resp)
        if logfun is None:
            FTPHandler.respond(self, resp)
        else:
            FTPHandler.respond(self, resp, logfun)
        if (self.mode == "drop" and resp.startswith("226") and self.last_stor.startswith("hangup")
                and self.last_stor not in HUNG_UP):
            # Hang up at the next command, as a server that went away;
            # once per file name.
            HUNG_UP.add(self.last_stor)
            self.hang_up = True


MODES = ["plain", "greetmulti", "greet421", "code4", "longline", "eofmid", "user230",
         "pasvbad", "pasvforeign", "evil", "abort426", "drop", "stall", "quit500"]


def main():
    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, ROOT, perm="elradfmwMT")
    ioloop = IOLoop()
    ports = []
    for mode in MODES:
        handler = type("Handler_" + mode, (LoggingHandler,), {"mode": mode})
        handler.authorizer = authorizer
        handler.passive_ports = None
        if mode == "stall":
            handler.dtp_handler = StallingDTP
        server = FTPServer(("127.0.0.1", 0), handler, ioloop=ioloop)
        ports.append("%s=%d" % (mode, server.address[1]))
    with open(os.path.join(RUN, "fake.ports.tmp"), "w") as f:
        f.write("\n".join(ports) + "\n")
    os.rename(os.path.join(RUN, "fake.ports.tmp"), os.path.join(RUN, "fake.ports"))
    # One session's failure must not take every odd server down.
    for _ in range(100):
        try:
            ioloop.loop()
            break
        except Exception:
            traceback.print_exc()


if __name__ == "__main__":
    main()
