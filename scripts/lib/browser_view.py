#!/usr/bin/env python3
"""noVNC's page, and the bridge from the browser to the private desktop's VNC server, for its owner only.

    browser_view.py < SETTINGS

SETTINGS come on standard input, never on the command line (which every user of the machine can read),
one "name=value" a line: listen (127.0.0.1:PORT), web (noVNC's folder), target (the VNC server's Unix
socket), token (this run's secret), origins (the page's own origins, separated by blanks), log (the log
file, created readable by its owner only).

It is websockify (Debian's python3-websockify) with a request handler of its own. noVNC's page is served to
whoever asks: it holds nothing secret. A WebSocket is bridged to the VNC server only when its path
carries this run's token (?token=...) and its Origin is the page's own; any other request for one is
answered 403 at once, before a byte reaches the VNC server. A stranger on this machine can therefore
neither guess at the VNC password nor make the VNC server turn its owner away. A connection that sends
no request head within HEAD_TIMEOUT seconds is closed, so that it holds no process for long.

The log is capped, since what strangers send lands in it: a line at most LINE_CHARS characters, control
characters and the token replaced, BURST lines at once and then PER_SECOND a second (the lines left out
are counted), and nothing more once it holds MAX_BYTES. The bridge runs a process per connection; the
cap is kept in memory they share.
"""
import hmac
import logging
import multiprocessing
import os
import re
import sys
import time
from urllib.parse import parse_qs, urlsplit

from websockify import websocketproxy

HEAD_TIMEOUT = 10
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
        # lines that may still be written at once, when that was worked out, bytes written, lines left out
        self.state = multiprocessing.Array("d", [BURST, time.monotonic(), 0.0, 0.0])
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
        with self.state.get_lock():
            allowed, when, written, left_out = self.state[:]
            now = time.monotonic()
            allowed = min(BURST, allowed + (now - when) * PER_SECOND)
            data = b""
            if written < MAX_BYTES and allowed >= 1:
                if left_out:
                    line = f"({int(left_out)} lines left out) {line}"
                    left_out = 0
                data = (line + "\n").encode(errors="replace")
                if written + len(data) > MAX_BYTES:
                    data = b"(the log is full: nothing more is written to it)\n"
                allowed -= 1
            else:
                left_out += 1
            try:
                if data:
                    os.write(self.fd, data)
                    written += len(data)
            except OSError:
                pass
            self.state[:] = [allowed, now, written, left_out]


class GuardedHandler(websocketproxy.ProxyRequestHandler):
    timeout = HEAD_TIMEOUT  # for the request head; lifted for a WebSocket that is let through

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


def main():
    settings = dict(line.split("=", 1) for line in sys.stdin.read().splitlines() if "=" in line)
    if len(settings.get("token", "")) < 16:
        print("browser_view.py: no token of 16 characters or more on standard input", file=sys.stderr)
        return 1
    host, port = settings["listen"].rsplit(":", 1)
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
        server = websocketproxy.WebSocketProxy(
            RequestHandlerClass=GuardedHandler, listen_host=host, listen_port=int(port), web=settings["web"],
            file_only=True, unix_target=settings["target"], target_host=None, target_port=None,
            cert=os.path.join(settings["web"], "no-certificate.pem"))
        server.token = settings["token"]
        server.origins = settings["origins"].split()
        server.start_server()
    except Exception as e:  # the port taken meanwhile, noVNC's folder missing
        logger.error("The browser view stopped: %s", e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
