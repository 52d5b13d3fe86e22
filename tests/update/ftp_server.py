#!/usr/bin/python3
"""A local FTP server for the FTP client tests, on loopback only.

  ftp_server.py start DIR PORT   empties DIR/root, starts the server in the background and returns
                                 once it accepts connections
  ftp_server.py stop DIR         ends the server that start left running

PORT serves DIR/root to the user "ftpuser" with the password "s3cret" (all rights). Like many
servers it lists "LIST name-pattern" with the wildcards * and ?, and answers a pattern without
matches with an empty listing.
PORT+1 accepts connections and never says a word.
"""
import fnmatch
import os
import shutil
import signal
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "alerts"))
from smtp_sink import start_detached, start_silent_listener, stop_sink  # noqa: E402  (shared server plumbing)

USER, PASSWORD = "ftpuser", "s3cret"


def serve(folder, port):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import BufferedIteratorProducer, FTPHandler
    from pyftpdlib.servers import ThreadedFTPServer

    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, os.path.join(folder, "root"), perm="elradfmwMT")
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

    handler = Handler
    handler.authorizer = authorizer
    handler.passive_ports = range(port + 10, port + 60)
    server = ThreadedFTPServer(("127.0.0.1", port), handler)

    start_silent_listener(port + 1)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    server.serve_forever()


def start(folder, port):
    stop_sink(folder)
    root = os.path.join(folder, "root")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    start_detached(__file__, folder, port, (port, port + 1), "server.log", "ftp server")


if __name__ == "__main__":
    command, folder = sys.argv[1], os.path.abspath(sys.argv[2])
    if command == "start":
        start(folder, int(sys.argv[3]))
    elif command == "stop":
        stop_sink(folder)
    elif command == "serve":
        serve(folder, int(sys.argv[3]))
