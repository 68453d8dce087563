#!/usr/bin/python3
"""A firewall of our own for the login styles no packaged proxy offers:
it accepts "USER user@host", "OPEN host" and "SITE host", optionally after a
firewall login of its own (USER/PASS with FWUSER/FWPASS), logs every line
it receives to <run>/relay.log and then relays the control connection to
the FTP server. Data connections go straight between client and server.

usage: relay.py RUNDIR UPSTREAM_PORT FWUSER FWPASS  (writes RUNDIR/relay.port)
"""
import os
import socket
import sys
import threading

RUN, UPSTREAM, FWUSER, FWPASS = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
LOCK = threading.Lock()


def log(text):
    with LOCK, open(os.path.join(RUN, "relay.log"), "a") as f:
        f.write(text + "\n")


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    for s in (src, dst):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def reader(sock):
    buf = b""
    while True:
        while b"\n" not in buf:
            data = sock.recv(4096)
            if not data:
                return
            buf += data
        line, buf = buf.split(b"\n", 1)
        yield line.rstrip(b"\r").decode("latin-1"), buf


def upstream_reply(up, f):
    """Reads one whole reply from the server; returns its lines."""
    lines = [f.readline().decode("latin-1").rstrip("\r\n")]
    if len(lines[0]) > 3 and lines[0][3] == "-":
        code = lines[0][:3]
        while True:
            line = f.readline().decode("latin-1").rstrip("\r\n")
            lines.append(line)
            if line.startswith(code + " ") or not line:
                break
    return lines


def serve(client):
    def send(text):
        client.sendall((text + "\r\n").encode("latin-1"))

    send("220 relay ready")
    fw_user = None
    fw_ok = False
    lines = reader(client)
    for line, _ in lines:
        log(line)
        word, _, arg = line.partition(" ")
        word = word.upper()
        target_user = None
        if word == "USER" and "@" in arg:
            target_user = arg.split("@", 1)[0]
        elif word in ("OPEN", "SITE"):
            target_user = ""
        elif word == "USER":
            fw_user = arg
            send("331 firewall password please")
            continue
        elif word == "PASS" and fw_user is not None and not fw_ok:
            fw_ok = fw_user == FWUSER and arg == FWPASS
            send("230 firewall login ok" if fw_ok else "530 firewall login refused")
            if not fw_ok:
                fw_user = None
            continue
        elif word == "QUIT":
            send("221 bye")
            break
        else:
            send("530 log in first")
            continue
        up = socket.create_connection(("127.0.0.1", UPSTREAM))
        f = up.makefile("rb")
        upstream_reply(up, f)  # the server's greeting
        if target_user:
            up.sendall(("USER %s\r\n" % target_user).encode("latin-1"))
            for reply in upstream_reply(up, f):
                send(reply)
        else:
            send("220 connected to %s" % arg)
        # From here on: every line is logged and relayed as it is.
        threading.Thread(target=pump, args=(up, client), daemon=True).start()
        for line2, _ in lines:
            log(line2)
            up.sendall((line2 + "\r\n").encode("latin-1"))
        break
    client.close()


def main():
    srv = socket.socket()
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(8)
    with open(os.path.join(RUN, "relay.port.tmp"), "w") as f:
        f.write("%d\n" % srv.getsockname()[1])
    os.rename(os.path.join(RUN, "relay.port.tmp"), os.path.join(RUN, "relay.port"))
    while True:
        c, _ = srv.accept()
        threading.Thread(target=serve, args=(c,), daemon=True).start()


if __name__ == "__main__":
    main()
