#!/usr/bin/python3
"""A local SMTP sink for the mail tests, on loopback only.

  smtp_sink.py start DIR PORT   makes a self-signed certificate in DIR, starts the sink in the
                                background and returns once every port accepts
  smtp_sink.py stop DIR         ends the sink that start left running

Ports, from PORT up:
  PORT     plain SMTP offering STARTTLS and AUTH LOGIN/PLAIN (user "alice", password "s3cret")
  PORT+1   SMTP over TLS from the first byte (SMTPS)
  PORT+2   accepts connections and never says a word
  PORT+3   plain SMTP without STARTTLS
Each message lands in DIR/mail/N.eml: X-Sink-* lines (envelope, TLS, login), then the message
as received (dot-stuffing already undone).
"""
import asyncio
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

USER, PASSWORD = b"alice", b"s3cret"


def make_certificate(folder):
    key, pem, der = (os.path.join(folder, n) for n in ("key.pem", "cert.pem", "cert.der"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem,
                    "-days", "2", "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "x509", "-in", pem, "-outform", "der", "-out", der], check=True)
    return pem, key


def serve(folder, port):
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult

    mail = os.path.join(folder, "mail")
    counter = [0]
    lock = threading.Lock()

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            login = session.auth_data.decode("utf-8", "replace") if session.authenticated else ""
            secure = bool(session.ssl) or server.transport.get_extra_info("ssl_object") is not None
            head = "X-Sink-From: %s\r\nX-Sink-To: %s\r\nX-Sink-TLS: %s\r\nX-Sink-Login: %s\r\n" % (
                envelope.mail_from, ",".join(envelope.rcpt_tos), "yes" if secure else "no", login)
            with lock:
                counter[0] += 1
                name = os.path.join(mail, "%d.eml" % counter[0])
            with open(name + ".part", "wb") as f:
                f.write(head.encode() + envelope.original_content)
            os.replace(name + ".part", name)
            return "250 Message accepted"

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = getattr(auth_data, "login", None) == USER and getattr(auth_data, "password", None) == PASSWORD
        # handled=False: the server itself answers 535 on a refusal
        return AuthResult(success=ok, handled=False, auth_data=auth_data.login if ok else None)

    pem, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(pem, key)
    common = dict(authenticator=authenticator, auth_require_tls=False, auth_required=False)
    controllers = [
        Controller(Handler(), hostname="127.0.0.1", port=port, tls_context=context, **common),
        Controller(Handler(), hostname="127.0.0.1", port=port + 1, ssl_context=context, **common),
        Controller(Handler(), hostname="127.0.0.1", port=port + 3, **common),
    ]
    for c in controllers:
        c.start()

    start_silent_listener(port + 2)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    while not stop.wait(1):
        pass
    for c in controllers:
        c.stop()


def start(folder, port):
    stop_sink(folder)
    os.makedirs(os.path.join(folder, "mail"), exist_ok=True)
    for name in os.listdir(os.path.join(folder, "mail")):
        os.remove(os.path.join(folder, "mail", name))
    make_certificate(folder)
    start_detached(__file__, folder, port, range(port, port + 4), "sink.log", "smtp sink")


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


def stop_sink(folder):
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


if __name__ == "__main__":
    command, folder = sys.argv[1], os.path.abspath(sys.argv[2])
    if command == "start":
        start(folder, int(sys.argv[3]))
    elif command == "stop":
        stop_sink(folder)
    elif command == "serve":
        serve(folder, int(sys.argv[3]))
