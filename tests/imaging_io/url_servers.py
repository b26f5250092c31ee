#!/usr/bin/env python3
"""Loopback servers for the URL loader's tests, on 127.0.0.1 only: HTTP and HTTPS (Python's own
server; the certificate is made at start with openssl) and FTP (pyftpdlib).

  url_servers.py start DIR   makes DIR, starts the servers in the background and waits until
                             DIR/ports names their ports ("http N", "https N", "ftp N")
  url_servers.py stop DIR    stops them
  url_servers.py serve DIR   the servers themselves (run by start); they stop by themselves
                             after LIFETIME seconds, and the process is bounded by timeout

What the HTTP and HTTPS servers answer:
  /image.png      the test image, with a Content-Length
  /nolength.png   the same without a length (the body ends when the connection closes)
  /paced.png      the image with a length, its second half sent after a pause
  /missing.png    404 with an error page
  /secret.png     the image behind Basic authentication (401 first); the credentials are kept
  /big.bin        8 MiB of zeros with a length, in 64 KiB pieces 20 ms apart (a client that
                  stops reading and closes is seen at once, whatever its library reads on
                  before closing); the bytes the server got out before the client went are kept
  /stats          what was kept, one "key value" a line (waits for a running /big.bin to end)
  http://...      a request for a proxy: 407 until Proxy-Authorization comes, then the image
The FTP server serves image.png to the anonymous user and to "kw" with password "pw".
"""
import base64
import http.server
import logging
import os
import signal
import socketserver
import ssl
import struct
import subprocess
import sys
import threading
import time
import zlib

LIFETIME = 1200          # seconds the servers live at most
CONNECTION_TIMEOUT = 30  # seconds a connection may stall (the TLS handshake included)
BIG_SIZE = 8 << 20
PIECE_PAUSE = 0.02
PIECE = 64 << 10
PACED_PAUSE = 0.3
WIDTH, HEIGHT = 40, 30


def pixel(x, y):
    """The test image's pixel; the blue channel is noise so that the file is a few KiB."""
    return (x * 6) & 255, (y * 8) & 255, (((x * y * 2654435761) & 0xFFFFFFFF) >> 13) & 255


def make_png():
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(WIDTH)) for y in range(HEIGHT))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


class Stats:
    def __init__(self):
        self.lock = threading.Condition()
        self.values = {"requests": 0, "credentials": "-", "proxy_credentials": "-",
                       "proxy_server_credentials": "-", "big_sent": 0, "big_running": 0}

    def add(self, key, amount=1):
        with self.lock:
            self.values[key] += amount
            self.lock.notify_all()

    def set(self, key, value):
        with self.lock:
            self.values[key] = value
            self.lock.notify_all()

    def text(self):
        with self.lock:
            self.lock.wait_for(lambda: self.values["big_running"] == 0, timeout=20)
            return "".join("%s %s\n" % item for item in sorted(self.values.items()))


STATS = Stats()
PNG = make_png()


def basic_credentials(value):
    if not value or not value.startswith("Basic "):
        return None
    try:
        return base64.b64decode(value[6:]).decode("latin-1")
    except ValueError:
        return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"   # one request a connection: a body without a length ends at the close

    timeout = CONNECTION_TIMEOUT

    def log_message(self, *args):
        pass

    def send_body(self, status, body, content_type, length=True, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length:
            self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        if self.path == "/stats":
            self.send_body(200, STATS.text().encode(), "text/plain")
            return
        STATS.add("requests")
        if self.path.startswith("http://"):
            credentials = basic_credentials(self.headers.get("Proxy-Authorization"))
            if credentials is None:
                self.send_body(407, b"proxy login", "text/plain",
                               headers=[("Proxy-Authenticate", 'Basic realm="proxy"')])
                return
            STATS.set("proxy_credentials", credentials)
            STATS.set("proxy_server_credentials", basic_credentials(self.headers.get("Authorization")) or "-")
            self.send_body(200, PNG, "image/png")
        elif self.path == "/image.png":
            self.send_body(200, PNG, "image/png")
        elif self.path == "/nolength.png":
            self.send_body(200, PNG, "image/png", length=False)
        elif self.path == "/paced.png":
            self.send_paced()
        elif self.path == "/secret.png":
            credentials = basic_credentials(self.headers.get("Authorization"))
            if credentials is None:
                self.send_body(401, b"login", "text/plain", headers=[("WWW-Authenticate", 'Basic realm="kw"')])
                return
            STATS.set("credentials", credentials)
            self.send_body(200, PNG, "image/png")
        elif self.path == "/big.bin":
            self.send_big()
        else:
            self.send_body(404, b"<html><body>Not Found</body></html>", "text/html")

    def send_paced(self):
        """The body in two pieces: a client that stops at the first pause loses the second."""
        self.send_response(200)
        self.send_header("Content-Type", "image/png")
        self.send_header("Content-Length", str(len(PNG)))
        self.end_headers()
        half = len(PNG) // 2
        self.wfile.write(PNG[:half])
        self.wfile.flush()
        time.sleep(PACED_PAUSE)
        self.wfile.write(PNG[half:])

    def send_big(self):
        STATS.add("big_running")
        sent = 0
        try:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(BIG_SIZE))
            self.end_headers()
            piece = bytes(PIECE)
            while sent < BIG_SIZE:
                if sent:
                    time.sleep(PIECE_PAUSE)
                self.wfile.write(piece)
                self.wfile.flush()
                sent += PIECE
        except (OSError, ssl.SSLError):
            pass   # the client went
        finally:
            STATS.set("big_sent", sent)
            STATS.add("big_running", -1)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def serve(folder):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import ThreadedFTPServer
    logging.basicConfig(level=logging.WARNING)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())

    plain = Server(("127.0.0.1", 0), Handler)
    secure = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem"))
    # The handshake happens in the connection's own thread, under its timeout: a client that
    # connects and stalls does not hold up the accepting thread.
    secure.socket = context.wrap_socket(secure.socket, server_side=True, do_handshake_on_connect=False)

    ftp_root = os.path.join(folder, "ftp")
    os.makedirs(ftp_root, exist_ok=True)
    with open(os.path.join(ftp_root, "image.png"), "wb") as f:
        f.write(PNG)
    authorizer = DummyAuthorizer()
    authorizer.add_user("kw", "pw", ftp_root, perm="elr")
    authorizer.add_anonymous(ftp_root)
    FTPHandler.authorizer = authorizer
    ftp = ThreadedFTPServer(("127.0.0.1", 0), FTPHandler)

    for target in (plain.serve_forever, secure.serve_forever, ftp.serve_forever):
        threading.Thread(target=target, daemon=True).start()
    ports = "http %d\nhttps %d\nftp %d\n" % (plain.server_address[1], secure.server_address[1],
                                             ftp.socket.getsockname()[1])
    with open(os.path.join(folder, "pid"), "w") as f:
        f.write("%d %d\n" % (os.getpid(), os.getpgid(0)))
    with open(os.path.join(folder, "ports.tmp"), "w") as f:
        f.write(ports)
    os.replace(os.path.join(folder, "ports.tmp"), os.path.join(folder, "ports"))
    stop.wait(LIFETIME)
    plain.shutdown()
    secure.shutdown()
    ftp.close_all()


def start(folder):
    stop_servers(folder)
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["timeout", "60", "openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=localhost", "-keyout", os.path.join(folder, "key.pem"),
                    "-out", os.path.join(folder, "cert.pem")],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    log = open(os.path.join(folder, "servers.log"), "w")
    # A session of its own and no inherited output: the caller does not wait for the servers.
    process = subprocess.Popen(["timeout", str(LIFETIME + 60), sys.executable, os.path.abspath(__file__), "serve",
                                folder], stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    ports = os.path.join(folder, "ports")
    for _ in range(300):
        if os.path.exists(ports):
            print(open(ports).read(), end="")
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.1)
    print("url_servers: the servers did not start", file=sys.stderr)
    print(open(os.path.join(folder, "servers.log")).read(), file=sys.stderr)
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
    return 1


def is_our_server(pid, folder):
    """True when pid is the serve process of this folder (a pid left from an earlier run may
    belong to another process by now)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            args = f.read().split(b"\0")
    except OSError:
        return False
    return b"serve" in args and os.fsencode(folder) in args


def stop_servers(folder):
    try:
        pid, group = (int(v) for v in open(os.path.join(folder, "pid")).read().split())
    except (OSError, ValueError):
        pid = group = None
    if pid and is_our_server(pid, folder):
        try:
            os.kill(pid, signal.SIGTERM)
            for _ in range(100):
                time.sleep(0.1)
                if not is_our_server(pid, folder):
                    break
            else:
                # It did not stop in time: its whole session (the timeout wrapper with it) goes.
                os.killpg(group, signal.SIGKILL)
        except ProcessLookupError:
            pass
    for name in ("ports", "pid", "ports.tmp"):
        try:
            os.remove(os.path.join(folder, name))
        except OSError:
            pass
    return 0


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        print(__doc__, file=sys.stderr)
        return 2
    folder = os.path.abspath(sys.argv[2])
    if sys.argv[1] == "serve":
        serve(folder)
        return 0
    return start(folder) if sys.argv[1] == "start" else stop_servers(folder)


if __name__ == "__main__":
    sys.exit(main())
