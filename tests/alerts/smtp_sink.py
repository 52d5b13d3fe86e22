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
  PORT+4   (left free: nothing listens there)
  PORT+5   SMTPS whose certificate comes from a CA made for the run, sent without that CA
  PORT+6   STARTTLS with the same certificate
  PORT+7   plain SMTP like PORT+3, on the IPv6 loopback ::1 (left out where IPv6 is missing)
  PORT+8   a greeting of long "220-" lines that never ends
  PORT+9   a short greeting, then an EHLO reply of short "250-" lines that never ends
  PORT+10  a short greeting, then an EHLO reply of 10,000 lines "250-" and a last "250 done"
Each message lands in DIR/mail/N.eml: X-Sink-* lines (envelope, TLS, login, greeting), then the message
as received (dot-stuffing already undone).
"""
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixture_server import fresh_folder, run, start_silent_listener  # noqa: E402
from product_names import PRODUCT  # noqa: E402

USER, PASSWORD = b"alice", b"s3cret"
# The alert accounts of the tests that send through the programs, which log in with the address:
# one whose password the Western alphabets hold, one whose password they do not (UTF-8).
ACCOUNTS = {
    USER: PASSWORD,
    b"alerts@example.test": b"Pa55 w\xc3\xb6rd!",
    b"wide@example.test": "pass\u20ac\u4e2d \u0416".encode("utf-8"),
}


def make_certificate(folder):
    key, pem, der = (os.path.join(folder, n) for n in ("key.pem", "cert.pem", "cert.der"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem,
                    "-days", "2", "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "x509", "-in", pem, "-outform", "der", "-out", der], check=True)
    return pem, key


def make_unknown_ca_certificate(folder):
    """A server certificate signed by a CA that no client knows; the CA's files stay in DIR."""
    names = {n: os.path.join(folder, n) for n in ("ca.key", "ca.pem", "leaf.key", "leaf.csr", "leaf.pem", "leaf.ext")}
    quiet = dict(check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", names["ca.key"],
                    "-out", names["ca.pem"], "-days", "2", "-subj", "/CN=%s Test Unknown CA" % PRODUCT,
                    "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"],
                   **quiet)
    subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", names["leaf.key"],
                    "-out", names["leaf.csr"], "-subj", "/CN=localhost"], **quiet)
    with open(names["leaf.ext"], "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n")
    subprocess.run(["openssl", "x509", "-req", "-in", names["leaf.csr"], "-CA", names["ca.pem"],
                    "-CAkey", names["ca.key"], "-CAcreateserial", "-days", "2", "-out", names["leaf.pem"],
                    "-extfile", names["leaf.ext"]], **quiet)


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
            head = "X-Sink-From: %s\r\nX-Sink-To: %s\r\nX-Sink-TLS: %s\r\nX-Sink-Login: %s\r\nX-Sink-Helo: %s\r\n" % (
                envelope.mail_from, ",".join(envelope.rcpt_tos), "yes" if secure else "no", login,
                session.host_name or "")
            with lock:
                counter[0] += 1
                name = os.path.join(mail, "%d.eml" % counter[0])
            with open(name + ".part", "wb") as f:
                f.write(head.encode() + envelope.original_content)
            os.replace(name + ".part", name)
            return "250 Message accepted"

    def authenticator(server, session, envelope, mechanism, auth_data):
        login = getattr(auth_data, "login", None)
        ok = login in ACCOUNTS and getattr(auth_data, "password", None) == ACCOUNTS[login]
        # handled=False: the server itself answers 535 on a refusal
        return AuthResult(success=ok, handled=False, auth_data=auth_data.login if ok else None)

    pem, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(pem, key)
    common = dict(authenticator=authenticator, auth_require_tls=False, auth_required=False)
    # The leaf alone is sent: a client must not take the chain for complete.
    unknown = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    unknown.load_cert_chain(os.path.join(folder, "leaf.pem"), os.path.join(folder, "leaf.key"))
    controllers = [
        Controller(Handler(), hostname="127.0.0.1", port=port, tls_context=context, **common),
        Controller(Handler(), hostname="127.0.0.1", port=port + 1, ssl_context=context, **common),
        Controller(Handler(), hostname="127.0.0.1", port=port + 3, **common),
        Controller(Handler(), hostname="127.0.0.1", port=port + 5, ssl_context=unknown, **common),
        Controller(Handler(), hostname="127.0.0.1", port=port + 6, tls_context=unknown, **common),
    ]
    for c in controllers:
        c.start()
    try:
        ipv6 = Controller(Handler(), hostname="::1", port=port + 7, **common)
        ipv6.start()
        controllers.append(ipv6)
    except Exception as error:  # no IPv6 here: the tests that need it skip
        print("no IPv6 listener:", error, flush=True)

    start_silent_listener(port + 2)
    for offset, kind in ((8, "greeting"), (9, "ehlo"), (10, "lines")):
        start_flooder(port + offset, kind)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    while not stop.wait(1):
        pass
    for c in controllers:
        c.stop()


def start_flooder(port, kind):
    """A server whose reply does not end (or ends only after 10,000 lines): for the client's caps."""
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)

    def flood(conn):
        try:
            conn.settimeout(60)
            if kind == "greeting":
                line = b"220-" + b"x" * 1000 + b"\r\n"
                while True:
                    conn.sendall(line * 16)
            conn.sendall(b"220 flood ready\r\n")
            conn.recv(1024)  # the EHLO
            if kind == "ehlo":
                while True:
                    conn.sendall(b"250-SIZE 1000\r\n" * 256)
            conn.sendall(b"250-\r\n" * 10000 + b"250 done\r\n")
            conn.recv(1024)
        except OSError:
            pass  # the client gave up, as it should
        finally:
            conn.close()

    def accept():
        while True:
            conn, _ = listener.accept()
            threading.Thread(target=flood, args=(conn,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()


def prepare(folder, port):
    fresh_folder(os.path.join(folder, "mail"))
    make_certificate(folder)
    make_unknown_ca_certificate(folder)


if __name__ == "__main__":
    run(__file__, serve, prepare, lambda port: [port, port + 1, port + 2, port + 3, port + 5, port + 6, port + 8, port + 9, port + 10], "sink.log", "smtp sink")
