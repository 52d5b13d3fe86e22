#!/usr/bin/python3
"""A local HTTP server for the download and update tests, on loopback only.

  http_server.py start DIR PORT   empties DIR/root, starts the server in the background and returns
                                  once it accepts connections
  http_server.py stop DIR         ends the server that start left running

PORT serves the files under DIR/root (a missing one is a 404 with an error page as its body), and:
  /echo/ANY       200, the body is the request line and the request headers as received
  /slow/PATH      the file PATH under root, sent in 16 KB pieces a tenth of a second apart
  /status/CODE    that status code, with a short body
  /cut/PATH       announces the whole file PATH but sends half of it and closes the connection
  /stall/PATH     announces the whole file PATH, sends half of it, then sends nothing for 90 s
  /trickle/PATH   announces the whole file PATH, sends half of it, then one byte a second
  /endless/ANY    200 without a length, then data at full speed until the client goes
"""
import http.server
import os
import signal
import sys
import time

from fixture_server import fresh_folder, run


def serve(folder, port):
    root = os.path.join(folder, "root")

    class Handler(http.server.SimpleHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=root, **kwargs)

        def log_message(self, fmt, *args):
            sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

        def send_bytes(self, code, body, length=None):
            self.send_response(code)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body) if length is None else length))
            self.end_headers()
            return body

        def file_bytes(self, path):
            local = os.path.join(root, *[p for p in path.split("/") if p not in ("", ".", "..")])
            if not os.path.isfile(local):
                return None
            with open(local, "rb") as f:
                return f.read()

        def do_GET(self):
            parts = self.path.split("?", 1)[0].split("/", 2)  # "", kind, rest
            kind = parts[1] if len(parts) > 2 else ""
            rest = parts[2] if len(parts) > 2 else ""
            if kind == "echo":
                text = self.requestline + "\r\n" + "".join("%s: %s\r\n" % kv for kv in self.headers.items())
                self.wfile.write(self.send_bytes(200, text.encode("utf-8")))
            elif kind == "status":
                self.wfile.write(self.send_bytes(int(rest), b"status page\r\n"))
            elif kind == "endless":
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Connection", "close")
                self.end_headers()
                self.close_connection = True
                block = b"\0" * 65536
                try:
                    while True:
                        self.wfile.write(block)
                except OSError:
                    pass
            elif kind in ("slow", "cut", "stall", "trickle"):
                body = self.file_bytes(rest)
                if body is None:
                    self.send_error(404)
                    return
                if kind == "trickle":
                    self.close_connection = True
                    half = len(body) // 2
                    try:
                        self.wfile.write(self.send_bytes(200, body[:half], len(body)))
                        self.wfile.flush()
                        for at in range(half, min(len(body), half + 300)):
                            time.sleep(1)
                            self.wfile.write(body[at:at + 1])
                            self.wfile.flush()
                    except OSError:
                        pass
                    return
                if kind == "stall":
                    self.wfile.write(self.send_bytes(200, body[: len(body) // 2], len(body)))
                    self.wfile.flush()
                    time.sleep(90)
                    self.close_connection = True
                    return
                if kind == "cut":
                    self.wfile.write(self.send_bytes(200, body[: len(body) // 2], len(body)))
                    self.wfile.flush()
                    self.close_connection = True
                    return
                self.send_bytes(200, b"", len(body))
                for at in range(0, len(body), 16384):
                    self.wfile.write(body[at:at + 16384])
                    self.wfile.flush()
                    time.sleep(0.1)
            else:
                super().do_GET()

        def end_headers(self):
            self.send_header("Cache-Control", "no-store")
            super().end_headers()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    server.serve_forever()


if __name__ == "__main__":
    run(__file__, serve, lambda folder, port: fresh_folder(os.path.join(folder, "root")), lambda port: (port,),
        "server.log", "http server")
