"""What the local test servers share: the start/stop/serve command line, the background start that
waits for the ports, the stop, a fresh served folder and a port that never answers.

A server script calls run(...) with its own serve(folder, port); ctest runs
  SCRIPT start DIR PORT   prepares DIR, starts "SCRIPT serve DIR PORT" in the background and returns
                          once every port accepts connections
  SCRIPT stop DIR         ends the server that start left running
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time


def fresh_folder(path):
    """Empties path (made if missing): every test run starts from nothing served."""
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


def start_silent_listener(port):
    """A port that accepts connections and never says a word: for the clients' time limits."""
    silent = socket.socket()
    silent.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    silent.bind(("127.0.0.1", port))
    silent.listen(16)
    held = []

    def hold():
        while True:
            conn, _ = silent.accept()
            held.append(conn)

    threading.Thread(target=hold, daemon=True).start()


def start_detached(script, folder, port, ports, log_name, what):
    """Starts "script serve folder port" in the background and waits until every port answers."""
    # A server of someone else on these ports would answer in place of this one.
    for p in ports:
        try:
            socket.create_connection(("127.0.0.1", p), timeout=1).close()
        except OSError:
            continue
        sys.exit(f"{what}: port {p} is already in use")
    # Detached from the caller's streams: ctest reads them and would wait for the server to end.
    with open(os.path.join(folder, log_name), "wb") as log:
        child = subprocess.Popen([sys.executable, os.path.abspath(script), "serve", folder, str(port)],
                                 stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    with open(os.path.join(folder, "sink.pid"), "w") as f:
        f.write(str(child.pid))
    deadline = time.time() + 30
    for p in ports:
        while True:
            if child.poll() is not None:
                sys.exit(f"{what} ended early, see {log_name}")
            try:
                socket.create_connection(("127.0.0.1", p), timeout=1).close()
                break
            except OSError:
                if time.time() > deadline:
                    sys.exit(f"{what} did not start")
                time.sleep(0.1)


def stop_server(folder):
    pidfile = os.path.join(folder, "sink.pid")
    if not os.path.exists(pidfile):
        return
    with open(pidfile) as f:
        pid = int(f.read().strip() or 0)
    os.remove(pidfile)
    try:
        os.kill(pid, signal.SIGTERM)
    except (ProcessLookupError, PermissionError):
        return
    for _ in range(50):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.1)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def run(script, serve, prepare, ports, log_name, what):
    """The command line above. prepare(folder, port) readies the folder before the start;
    ports(port) are the ports that must accept before start returns."""
    command, folder = sys.argv[1], os.path.abspath(sys.argv[2])
    if command == "start":
        port = int(sys.argv[3])
        stop_server(folder)
        prepare(folder, port)
        start_detached(script, folder, port, ports(port), log_name, what)
    elif command == "stop":
        stop_server(folder)
    elif command == "serve":
        serve(folder, int(sys.argv[3]))
    else:
        sys.exit(f"unknown command {command}")
