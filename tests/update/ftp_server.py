#!/usr/bin/python3
"""A local FTP server for the FTP client tests, on loopback only.

  ftp_server.py start DIR PORT   empties DIR/root, starts the server in the background and returns
                                 once it accepts connections
  ftp_server.py stop DIR         ends the server that start left running

PORT serves DIR/root to the user "ftpuser" with the password "s3cret" (all rights), and
DIR/root/update to the program's update account (read only). Like many servers it lists
"LIST name-pattern" with the wildcards * and ?, and answers a pattern without matches with an
empty listing.
Two files beside a served file NAME change how it is sent, so that tests can spoil a download:
  NAME.short   holds a count: that many next transfers of NAME send only its first half
  NAME.next    replaces NAME once NAME has been sent in full
  NAME.slow    NAME is sent 256 bytes at a time, a fifth of a second apart
PORT+1 accepts connections and never says a word.
"""
import fnmatch
import os
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixture_server import fresh_folder, run, start_silent_listener  # noqa: E402
from product_names import UPDATE_USER  # noqa: E402

USER, PASSWORD = "ftpuser", "s3cret"
UPDATE_PASSWORD = "Kv7#rLq"


def serve(folder, port):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import BufferedIteratorProducer, FTPHandler
    from pyftpdlib.servers import ThreadedFTPServer

    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, os.path.join(folder, "root"), perm="elradfmwMT")
    os.makedirs(os.path.join(folder, "root", "update"), exist_ok=True)
    authorizer.add_user(UPDATE_USER, UPDATE_PASSWORD, os.path.join(folder, "root", "update"), perm="elr")
    class Handler(FTPHandler):
        def ftp_LIST(self, path):
            self.log("LIST %s" % path)
            if self.fs.isdir(path):
                return FTPHandler.ftp_LIST(self, path)
            basedir, pattern = os.path.split(path)
            try:
                names = sorted(fnmatch.filter(self.fs.listdir(basedir), pattern))
            except OSError:
                names = []
            self.push_dtp_data(BufferedIteratorProducer(self.fs.format_list(basedir, names)), isproducer=True, cmd="LIST")
            return path

        def ftp_RETR(self, file):
            if os.path.isfile(file + ".slow") and os.path.isfile(file):
                class Trickle:
                    def __init__(self, fd):
                        self.file = fd

                    def more(self):
                        time.sleep(0.2)
                        data = self.file.read(256)
                        if not data:
                            self.file.close()
                        return data

                fd = open(file, "rb")
                self.push_dtp_data(Trickle(fd), isproducer=True, cmd="RETR")  # no file: it would be sent whole
                return file
            counter = file + ".short"
            if os.path.isfile(counter) and os.path.isfile(file):
                with open(counter) as f:
                    left = int(f.read().strip() or 0)
                if left > 0:
                    with open(counter, "w") as f:
                        f.write(str(left - 1))
                    with open(file, "rb") as f:
                        data = f.read()
                    cut = file + ".cut"
                    with open(cut, "wb") as f:
                        f.write(data[: len(data) // 2])
                    return FTPHandler.ftp_RETR(self, cut)
            return FTPHandler.ftp_RETR(self, file)

        def on_file_sent(self, file):
            if os.path.isfile(file + ".next"):
                os.replace(file + ".next", file)

    handler = Handler
    handler.authorizer = authorizer
    handler.passive_ports = range(port + 10, port + 60)
    server = ThreadedFTPServer(("127.0.0.1", port), handler)

    start_silent_listener(port + 1)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    server.serve_forever()


if __name__ == "__main__":
    run(__file__, serve, lambda folder, port: fresh_folder(os.path.join(folder, "root")),
        lambda port: (port, port + 1), "server.log", "ftp server")
