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
import os
import signal
import ssl
import subprocess
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixture_server import fresh_folder, run, start_silent_listener  # noqa: E402

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


def prepare(folder, port):
    fresh_folder(os.path.join(folder, "mail"))
    make_certificate(folder)


if __name__ == "__main__":
    run(__file__, serve, prepare, lambda port: range(port, port + 4), "sink.log", "smtp sink")
