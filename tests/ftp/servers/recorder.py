#!/usr/bin/python3
"""A small HTTP server that saves every request exactly as received and
answers with faults no real server makes on purpose.

usage: recorder.py RUNDIR   (writes RUNDIR/recorder.port once it listens)

Each request goes to RUNDIR/req/<path with "/" as "_">.req (the last one
for that path wins). Paths:
  /short/...    Content-Length 1000, 10 bytes, then the connection closes
  /404/...      404 with an error page
  /nohttp/...   a reply without a status line
  /silent/...   never answers
  /cookie/...   302 with a cookie, to /ok/after-cookie
  /away/...     302 to the same server under another name (localhost)
  /https/...    302 to https://
  /rel/a/...    302 to "../c" (relative)
  anything else 200 with "ok <path>" and no Content-Length
"""
import os
import socketserver
import sys
import time

RUN = sys.argv[1]
os.makedirs(os.path.join(RUN, "req"), exist_ok=True)
PORT = 0


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        data = b""
        self.request.settimeout(30)
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(65536)
            if not chunk:
                return
            data += chunk
        first = data.split(b"\r\n", 1)[0].decode("latin-1")
        parts = first.split(" ")
        target = parts[1] if len(parts) > 1 else "/"
        path = target.split("://", 1)[1] if "://" in target else target
        if "://" in target:
            path = "/" + path.split("/", 1)[1] if "/" in path else "/"
        name = path.replace("/", "_").replace("?", "_")[:150]
        with open(os.path.join(RUN, "req", name + ".req"), "wb") as f:
            f.write(data)
        send = self.request.sendall
        if path.startswith("/short/"):
            send(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789")
        elif path.startswith("/404/"):
            send(b"HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<h1>missing</h1>")
        elif path.startswith("/nohttp/"):
            send(b"garbage, not a status line\r\n\r\nbody")
        elif path.startswith("/silent/"):
            time.sleep(20)
        elif path.startswith("/cookie/"):
            send(b"HTTP/1.0 302 Found\r\nSet-Cookie: session=s3; path=/\r\nLocation: /ok/after-cookie\r\n\r\n")
        elif path.startswith("/away/"):
            send(("HTTP/1.0 302 Found\r\nSet-Cookie: id=1\r\nLocation: http://localhost:%d/ok/away-target\r\n\r\n"
                  % PORT).encode())
        elif path.startswith("/https/"):
            send(b"HTTP/1.0 302 Found\r\nLocation: https://127.0.0.1/secure.txt\r\n\r\n")
        elif path.startswith("/rel/a/"):
            send(b"HTTP/1.0 302 Found\r\nLocation: ../c\r\n\r\n")
        else:
            send(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nok " + path.encode("latin-1"))


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def main():
    global PORT
    server = Server(("127.0.0.1", 0), Handler)
    PORT = server.server_address[1]
    with open(os.path.join(RUN, "recorder.port.tmp"), "w") as f:
        f.write("%d\n" % PORT)
    os.rename(os.path.join(RUN, "recorder.port.tmp"), os.path.join(RUN, "recorder.port"))
    server.serve_forever()


if __name__ == "__main__":
    main()
