#!/usr/bin/env python3
"""A loopback HTTP server for the web request tests; it can misbehave.

Usage: testserver.py WORKDIR [--tls]

Listens on 127.0.0.1 (ports chosen by the system) and prints "PORT TLSPORT"
(TLSPORT 0 without --tls). With --tls it makes a self-signed certificate for
127.0.0.1 in WORKDIR (cert.pem) with the openssl command. What a path does is
in RESPONSES below; /echo answers with the exact bytes of the request, which
is how the tests see what was sent (also as a proxy: the absolute-form
request line comes back). Ends when killed, when its parent goes away, or
after ten minutes.
"""
import os
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse


def send(conn, status="200 OK", headers=(), body=b"", length=True):
    head = "HTTP/1.1 %s\r\n" % status + "".join(h + "\r\n" for h in headers)
    if length:
        head += "Content-Length: %d\r\n" % len(body)
    conn.sendall(head.encode("latin-1") + b"\r\n")
    conn.sendall(body)


PATTERNS = {}


def pattern(size, text=False):
    """Bytes i % 251, or with "x" for each NUL byte so that a page read as
    text is whole; kept, so that a benchmark measures sending, not making."""
    if (size, text) not in PATTERNS:
        unit = bytes(range(251))
        if text:
            unit = unit.replace(b"\0", b"x")
        PATTERNS[size, text] = (unit * (size // len(unit) + 1))[:size]
    return PATTERNS[size, text]


def respond(conn, raw, path, query):
    """Answers one request; False closes the connection."""
    arg = lambda name, default="": query.get(name, [default])[0]
    if path.endswith("/echo"):
        send(conn, headers=["Content-Type: application/octet-stream"], body=raw)
    elif path == "/hello":
        send(conn, body=b"hello")
    elif path == "/size":
        body = pattern(int(arg("n")), bool(arg("text")))
        if arg("chunked"):  # in chunks of an odd size, so that they straddle every read
            step = 4093
            conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                         b"".join(b"%x\r\n%s\r\n" % (len(body[at:at + step]), body[at:at + step])
                                  for at in range(0, len(body), step)) + b"0\r\n\r\n")
        else:
            send(conn, body=body)
    elif path == "/endless":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n")
        block = pattern(1 << 20)
        while True:
            conn.sendall(block)
    elif path == "/drip":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n")
        while True:
            conn.sendall(b"x")
            time.sleep(float(arg("every", "20")))
    elif path == "/ending":
        # 20000 bytes of the pattern; `how` says how the transfer ends.
        body, how = pattern(20000), arg("how")
        if how == "unsized":  # no length: the end of the connection ends the body
            conn.sendall(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body)
            return False
        if how in ("chunked", "unfinished"):  # the second without its last chunk
            conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                         b"".join(b"%x\r\n%s\r\n" % (len(c), c) for c in (body[:9000], body[9000:])) +
                         (b"0\r\n\r\n" if how == "chunked" else b""))
            return how == "chunked"
        # "short" and "reset": a length the body never reaches
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n" + body)
        if how == "reset":
            time.sleep(0.2)
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            conn.close()
        return False
    elif path == "/empty":
        send(conn)
    elif path == "/nul":
        send(conn, body=b"ab\0cd\0")
    elif path == "/utf8":
        send(conn, body="\u4e2d\u6587".encode("utf-8"))
    elif path == "/chunked":
        chunks = [b"ab", b"\0cde", b"f" * 5000]
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                     b"".join(b"%x\r\n%s\r\n" % (len(c), c) for c in chunks) +
                     b"0\r\nX-Trailer: t\r\n\r\n")
    elif path == "/cookies":
        send(conn, headers=["Set-Cookie: sid=abc; path=/", "Set-Cookie: flag"], body=b"ok")
    elif path == "/many-cookies":
        count = int(arg("n", "1000"))
        send(conn, headers=["Set-Cookie: c%d=v%d" % (i, i) for i in range(count)], body=b"ok")
    elif path == "/big-header":
        fillers = ["X-Filler-%02d: %s" % (i, "f" * 100) for i in range(30)]
        send(conn, headers=fillers + ["Set-Cookie: late=1"], body=b"ok")
    elif path == "/close-mid-body":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"x" * 300)
        return False
    elif path == "/stall":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"x" * 100)
        time.sleep(float(arg("seconds", "30")))
        return False
    elif path == "/slow":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n")
        for byte in b"slow!":
            time.sleep(0.1)
            conn.sendall(bytes([byte]))
    elif path == "/redirect":
        send(conn, "%s Moved" % arg("code", "302"),
             ["Location: " + arg("to"), "Set-Cookie: hop=%s; path=/" % arg("code", "302")], b"moved")
    elif path == "/loop":
        send(conn, "302 Found", ["Location: /loop"], b"again")
    else:
        send(conn, "404 Not Found", body=b"no such path")
    return True


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        conn, pending = self.request, b""
        conn.settimeout(60)
        try:
            while True:
                while b"\r\n\r\n" not in pending:
                    data = conn.recv(65536)
                    if not data:
                        return
                    pending += data
                head, _, pending = pending.partition(b"\r\n\r\n")
                length = 0
                for line in head.split(b"\r\n")[1:]:
                    name, _, value = line.partition(b":")
                    if name.strip().lower() == b"content-length":
                        length = int(value.strip())
                while len(pending) < length:
                    data = conn.recv(65536)
                    if not data:
                        return
                    pending += data
                raw = head + b"\r\n\r\n" + pending[:length]
                pending = pending[length:]
                target = head.split(b"\r\n")[0].split(b" ")[1].decode("latin-1")
                url = urllib.parse.urlsplit(target)
                if not respond(conn, raw, url.path, urllib.parse.parse_qs(url.query)):
                    return
        except (OSError, ValueError, IndexError):
            return


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    tls = None

    def get_request(self):
        conn, address = self.socket.accept()
        if self.tls:
            # The handshake runs in the handler's thread, on its first read.
            conn = self.tls.wrap_socket(conn, server_side=True, do_handshake_on_connect=False)
        return conn, address


def make_certificate(workdir):
    cert, key = os.path.join(workdir, "cert.pem"), os.path.join(workdir, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    workdir = sys.argv[1]
    port = serve(Server(("127.0.0.1", 0), Handler))
    tls_port = 0
    if "--tls" in sys.argv:
        secure = Server(("127.0.0.1", 0), Handler)
        secure.tls = make_certificate(workdir)
        tls_port = serve(secure)
    print(port, tls_port, flush=True)
    parent, deadline = os.getppid(), time.time() + 600
    while os.getppid() == parent and time.time() < deadline:
        time.sleep(0.2)


if __name__ == "__main__":
    main()
