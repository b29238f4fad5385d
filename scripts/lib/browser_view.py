#!/usr/bin/env python3
"""noVNC's page, and the bridge from the browser to the private desktop's VNC server, for its owner only.

    browser_view.py < SETTINGS

SETTINGS come on standard input, never on the command line (which every user of the machine can read),
one "name=value" a line: listen (the address to listen on, 127.0.0.1), web (noVNC's folder), target (the
VNC server's Unix socket), token (this run's secret), log (the log file, created readable by its owner
only), portfd (a descriptor open for writing, on which the port is told).

The port is the kernel's choice: the bridge binds port 0 and, once it listens, writes "PORT\\n" on portfd
and closes it. Whoever started it learns the port from the listening process itself, so no other program
can have taken it in between.

It is websockify (Debian's python3-websockify) with a listener and a request handler of its own:
- A connection is taken only from a program of the owner (its socket belongs to the owner's user id:
  a browser, or an "ssh -L" tunnel, whose sshd runs as the owner). Any other is closed at once, before a
  process is made for it or a byte is read; such refusals are counted and told in the log at most once
  every TALLY_SECONDS.
- At most MAX_CONNECTIONS connections are served at a time, each in a process of its own; one more is
  closed at once.
- A request head must be complete within HEAD_DEADLINE seconds of the connection (or of the end of the
  request before it), however slowly its bytes come; else its process ends.
- noVNC's page is served (it holds nothing secret). A WebSocket is bridged to the VNC server only when
  its path carries this run's token (?token=...) and its Origin is the page's own; any other request for
  one is answered 403 at once, before a byte reaches the VNC server.

The log is capped, since what the owner's programs send lands in it: a line at most LINE_CHARS characters,
control characters and the token replaced, BURST lines at once and then PER_SECOND a second for each
process (the lines left out are counted), and nothing more once the file holds MAX_BYTES. Lines are
appended whole with O_APPEND, so that no lock is shared between the processes.
"""
import hmac
import ipaddress
import logging
import os
import re
import signal
import socket
import sys
import time
from urllib.parse import parse_qs, urlsplit

from websockify import websocketproxy

HEAD_DEADLINE = 5
MAX_CONNECTIONS = 16
TALLY_SECONDS = 60
LINE_CHARS = 300
BURST = 20
PER_SECOND = 1.0
MAX_BYTES = 256 * 1024


class CappedLog(logging.Handler):
    """Appends the lines it is given to a file, within the limits above."""

    def __init__(self, fd, secrets):
        super().__init__()
        self.fd = fd
        self.secrets = [s for s in secrets if s]
        self.allowed, self.when, self.left_out = float(BURST), time.monotonic(), 0
        self.setFormatter(logging.Formatter("%(message)s"))

    def clean(self, text):
        for secret in self.secrets:
            text = text.replace(secret, "...")
        text = re.sub(r"token=[^&\s'\"]*", "token=...", text)
        text = "".join(c if c.isprintable() else "?" for c in text)
        return text[:LINE_CHARS] + ("..." if len(text) > LINE_CHARS else "")

    def emit(self, record):
        try:
            line = self.clean(self.format(record))
        except Exception:  # a line that cannot be formatted is left out
            return
        now = time.monotonic()
        self.allowed = min(BURST, self.allowed + (now - self.when) * PER_SECOND)
        self.when = now
        if self.allowed < 1:
            self.left_out += 1
            return
        self.allowed -= 1
        if self.left_out:
            line = f"({self.left_out} lines left out) {line}"
            self.left_out = 0
        data = (line + "\n").encode(errors="replace")
        try:
            written = os.fstat(self.fd).st_size
            if written >= MAX_BYTES:
                return
            if written + len(data) > MAX_BYTES:
                data = b"(the log is full: nothing more is written to it)\n"
            os.write(self.fd, data)  # one line of at most a few hundred bytes: appended whole
        except OSError:
            pass


class GuardedHandler(websocketproxy.ProxyRequestHandler):
    timeout = HEAD_DEADLINE  # for each read and write; lifted for a WebSocket that is let through

    def handle_one_request(self):
        signal.alarm(HEAD_DEADLINE)  # the head of the next request, however slowly it comes
        super().handle_one_request()

    def parse_request(self):
        complete = super().parse_request()  # (reads the header lines)
        signal.alarm(0)
        return complete

    def handle_upgrade(self):
        given = parse_qs(urlsplit(self.path).query).get("token", [""])[0]
        if not hmac.compare_digest(given.encode(errors="replace"), self.server.token.encode()):
            return self.refuse("without this run's token")
        if self.headers.get("Origin") not in self.server.origins:
            return self.refuse("from a page of another origin, or of none")
        self.connection.settimeout(None)  # the desktop may stay idle for as long as its owner likes
        super().handle_upgrade()

    def refuse(self, why):
        self.log_message("refused a WebSocket %s", why)
        self.close_connection = True
        self.send_response(403, "Forbidden")
        self.send_header("Content-Length", "0")
        self.send_header("Connection", "close")
        self.end_headers()


def _address(text):
    """An address of /proc/net/tcp or tcp6 ("0100007F:1F90"): (IPv4 or IPv6 address, port)."""
    host, port = text.split(":")
    raw = b"".join(int(host[i:i + 8], 16).to_bytes(4, sys.byteorder) for i in range(0, len(host), 8))
    address = ipaddress.ip_address(raw)
    if address.version == 6 and address.ipv4_mapped:
        address = address.ipv4_mapped
    return address, int(port, 16)


def peer_owners(peer, local):
    """The user ids of the sockets whose own address is peer and whose other end is local: the client
    ends of a connection to this listener, as the kernel lists them."""
    peer = (ipaddress.ip_address(peer[0]), peer[1])
    local = (ipaddress.ip_address(local[0]), local[1])
    port = f":{peer[1]:04X} "
    owners = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                lines = [line.split() for line in f if port in line]
        except OSError:
            continue
        for fields in lines:
            # sl, local, remote, state, queues, timer, retransmits, uid; TIME_WAIT (06) has no owner
            if len(fields) > 7 and fields[3] != "06" and _address(fields[1]) == peer and _address(fields[2]) == local:
                owners.add(int(fields[7]))
    return owners


class Tally:
    """Connections turned away, told in the log at most once every TALLY_SECONDS, with their count."""

    def __init__(self, logger):
        self.logger, self.counts, self.told = logger, {}, None

    def add(self, why):
        self.counts[why] = self.counts.get(why, 0) + 1
        if self.told is None or time.monotonic() - self.told >= TALLY_SECONDS:
            self.tell()

    def tell(self):
        for why, n in self.counts.items():
            self.logger.warning("turned away %d connection%s %s", n, "" if n == 1 else "s", why)
        self.counts.clear()
        self.told = time.monotonic()


STOP_SIGNALS = {signal.SIGTERM, signal.SIGINT}
HELD_SIGNALS = STOP_SIGNALS | {signal.SIGCHLD}


class Stop(BaseException):
    pass


def _stop(signum, frame):
    raise Stop()


def serve(server, listener, logger):
    """Accepts connections for ever (until SIGTERM or SIGINT), each served in a process of its own."""
    children = set()
    tally = Tally(logger)
    me = os.geteuid()
    local = listener.getsockname()

    def reap(signum, frame):  # only those counted: one not counted yet is reaped at its own signal
        for pid in list(children):
            try:
                if os.waitpid(pid, os.WNOHANG)[0]:
                    children.discard(pid)
            except ChildProcessError:
                children.discard(pid)

    for s in STOP_SIGNALS:
        signal.signal(s, _stop)
    signal.signal(signal.SIGCHLD, reap)
    try:
        while True:
            try:
                connection, peer = listener.accept()
            except OSError:  # out of descriptors or memory for a moment
                time.sleep(0.1)
                continue
            try:
                owners = peer_owners(peer, local)
                if owners != {me}:
                    tally.add("of other users (" + (", ".join(f"uid {u}" for u in sorted(owners)) or "gone") + ")")
                    continue
                if len(children) >= MAX_CONNECTIONS:
                    tally.add(f"of this user beyond {MAX_CONNECTIONS} at a time")
                    continue
                # Held back until each side is set: a TERM would run the listener's ending in the child,
                # and a child reaped before it is counted would be counted for ever.
                signal.pthread_sigmask(signal.SIG_BLOCK, HELD_SIGNALS)
                try:
                    pid = os.fork()
                except OSError as e:  # no process to be had: the connection is closed
                    signal.pthread_sigmask(signal.SIG_UNBLOCK, HELD_SIGNALS)
                    tally.add(f"for want of a process ({e.strerror})")
                    continue
                if pid == 0:
                    status = 1
                    try:
                        listener.close()
                        for s in HELD_SIGNALS:
                            signal.signal(s, signal.SIG_DFL)
                        signal.pthread_sigmask(signal.SIG_UNBLOCK, HELD_SIGNALS)
                        signal.alarm(HEAD_DEADLINE)  # its default ends the process
                        server.top_new_client(connection, peer)
                        status = 0
                    finally:
                        os._exit(status)
                children.add(pid)
                signal.pthread_sigmask(signal.SIG_UNBLOCK, HELD_SIGNALS)
            except Exception as e:  # whatever it was, the listener goes on
                logger.warning("a connection was closed: %s", e)
            finally:
                connection.close()
    except Stop:
        pass
    finally:
        tally.tell()
        for pid in list(children):
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass


def main():
    settings = dict(line.split("=", 1) for line in sys.stdin.read().splitlines() if "=" in line)
    if len(settings.get("token", "")) < 16:
        print("browser_view.py: no token of 16 characters or more on standard input", file=sys.stderr)
        return 1
    log_fd = os.open(settings["log"], os.O_WRONLY | os.O_APPEND | os.O_CREAT | os.O_CLOEXEC, 0o600)
    logger = logging.getLogger(websocketproxy.WebSocketProxy.log_prefix)
    logger.propagate = False
    logger.setLevel(logging.INFO)
    logger.addHandler(CappedLog(log_fd, [settings["token"]]))
    # Everything goes through the capped log: nothing is written past it.
    null = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(null, fd)
    try:
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind((settings["listen"], 0))
        listener.listen(64)
        host, port = listener.getsockname()
        server = websocketproxy.WebSocketProxy(
            RequestHandlerClass=GuardedHandler, listen_host=host, listen_port=port, web=settings["web"],
            file_only=True, unix_target=settings["target"], target_host=None, target_port=None,
            cert=os.path.join(settings["web"], "no-certificate.pem"))
        server.token = settings["token"]
        # The page's own origin: the address printed. (Not "localhost", which a browser may take to
        # [::1], where another user could listen on the same port.)
        server.origins = [f"http://{host}:{port}"]
        report = int(settings["portfd"])
        os.write(report, f"{port}\n".encode())
        os.close(report)
    except Exception as e:  # noVNC's folder missing, no descriptor for the port
        logger.error("The browser view did not start: %s", e)
        return 1
    logger.info("Listening on %s:%d", host, port)
    serve(server, listener, logger)
    return 0


if __name__ == "__main__":
    sys.exit(main())
