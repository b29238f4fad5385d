#!/usr/bin/env python3
"""Checks the private desktop's browser view as its owner and as strangers meet it.

    vnc_probe.py PORT [--log LOG] < ADDRESS
    vnc_probe.py PORT --other-user < ADDRESS

ADDRESS (on standard input, so that no other user sees it in the process list) is the one
scripts/run printed, with the run's token (in noVNC's WebSocket path) and password in its fragment.
With --other-user (run as another user): a WebSocket with the token and the page's own Origin is
closed before a single byte of an answer.
Else checks, in order, while one connection of the owner's sends its request head a byte every
DRIP_SECONDS (it must be closed once the bridge's deadline for a head has passed): noVNC's page is
served; a WebSocket with the token but for a page of another origin,
or for no page at all, is refused; a local client that sends the page's own Origin (as any script can)
but not the token is answered 403, STRANGER_TRIES times in a row, each time trying a password should it
get through; FLOOD idle connections at once are not all taken (the bridge serves 16 at a time) and
cost the owner nothing once closed; the VNC server behind the bridge offers password authentication only, gives no picture
for a wrong password and still answers after OWNER_TYPOS of them; with the address, it shows the desktop
"Ostrevo SetUp" with the program's window on it; run as root, the owner's page still loads while another
user floods the bridge with connections (the times are printed, alone and during the flood); and with
--log, PARALLEL refused connections at a time fill the bridge's log LOG, which stays within its cap.
Exits 0 when all hold, else prints what failed and exits 1. Standard library only (VNC's challenge is
answered with the small DES below).
"""
import base64
import os
import select
import socket
import struct
import sys
import threading
import time
import urllib.parse
import urllib.request

STRANGER_TRIES = 25
FLOOD = 20
# Another user's flood of connections (tried where this runs as root): FLOODERS processes, each with up to
# FLOOD_IN_FLIGHT connections under way, for FLOOD_SECONDS; the owner loads the page PAGE_LOADS times
# before it and as many times during it.
FLOODERS = 2
FLOOD_IN_FLIGHT = 300
FLOOD_SECONDS = 6
PAGE_LOADS = 30
STRANGER_UID = 65534  # nobody
# The owner's requests that the bridge refuses in a line of its log each, from PARALLEL connections at
# once (within the 16 it serves at a time, with the slow one above), until the log is full.
PARALLEL = 12
DRIP_SECONDS = 0.5
# The bridge's deadline for a request head is 5 s.
DRIP_CLOSED_WITHIN = 7
# More wrong passwords than the VNC server's own default lets pass before it turns everyone away (5).
OWNER_TYPOS = 6


class Refused(Exception):
    def __init__(self, text, status=None):
        super().__init__(text)
        self.status = status


class WebSocket:
    """The client end of a binary WebSocket, read as a byte stream."""

    def __init__(self, port, origin, path):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        key = base64.b64encode(os.urandom(16)).decode()
        head = (f"GET /{path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n"
                "Sec-WebSocket-Protocol: binary\r\n")
        if origin is not None:
            head += f"Origin: {origin}\r\n"
        self.sock.sendall((head + "\r\n").encode())
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.sock.recv(4096)
            if not chunk:
                break
            data += chunk
        status, _, self.raw = data.partition(b"\r\n\r\n")
        status = status.split(b"\r\n")[0].decode(errors="replace")
        if " 101 " not in status:
            self.sock.close()
            code = status.split(" ")[1] if status.count(" ") >= 1 else None
            raise Refused(status or "the connection was closed", code)
        self.stream = b""

    def _frame(self):
        while True:
            while len(self.raw) < 2 or len(self.raw) < self._header_length():
                self._more()
            length, at = self.raw[1] & 0x7F, 2
            if length == 126:
                length, at = struct.unpack(">H", self.raw[2:4])[0], 4
            elif length == 127:
                length, at = struct.unpack(">Q", self.raw[2:10])[0], 10
            while len(self.raw) < at + length:
                self._more()
            opcode, payload = self.raw[0] & 0x0F, self.raw[at:at + length]
            self.raw = self.raw[at + length:]
            if opcode == 0x8:
                raise Refused("the server closed the WebSocket")
            if opcode in (0x0, 0x2):
                return payload

    def _header_length(self):
        return {126: 4, 127: 10}.get(self.raw[1] & 0x7F, 2)

    def _more(self):
        chunk = self.sock.recv(1 << 16)
        if not chunk:
            raise Refused("the connection was closed")
        self.raw += chunk

    def read(self, n):
        while len(self.stream) < n:
            self.stream += self._frame()
        out, self.stream = self.stream[:n], self.stream[n:]
        return out

    def send(self, payload):
        mask = os.urandom(4)
        n = len(payload)
        head = bytes([0x82]) + (bytes([0x80 | n]) if n < 126 else bytes([0x80 | 126]) + struct.pack(">H", n))
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def close(self):
        self.sock.close()


# DES (FIPS 46-3), encryption only: the tables of the standard, bits numbered from 1 at the left.
_PC1 = [57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18, 10, 2, 59, 51, 43, 35, 27, 19, 11, 3, 60, 52, 44,
        36, 63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22, 14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4]
_PC2 = [14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10, 23, 19, 12, 4, 26, 8, 16, 7, 27, 20, 13, 2, 41, 52, 31, 37, 47,
        55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32]
_SHIFTS = [1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1]
_IP = [58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4, 62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40,
       32, 24, 16, 8, 57, 49, 41, 33, 25, 17, 9, 1, 59, 51, 43, 35, 27, 19, 11, 3, 61, 53, 45, 37, 29, 21, 13, 5, 63,
       55, 47, 39, 31, 23, 15, 7]
_FP = [40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31, 38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13,
       53, 21, 61, 29, 36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27, 34, 2, 42, 10, 50, 18, 58, 26,
       33, 1, 41, 9, 49, 17, 57, 25]
_E = [32, 1, 2, 3, 4, 5, 4, 5, 6, 7, 8, 9, 8, 9, 10, 11, 12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20,
      21, 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1]
_P = [16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10, 2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22,
      11, 4, 25]
_S = [
    [14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7, 0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
     4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0, 15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13],
    [15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10, 3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15, 13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9],
    [10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8, 13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
     13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7, 1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12],
    [7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15, 13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
     10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4, 3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14],
    [2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9, 14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
     4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14, 11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3],
    [12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11, 10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
     9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6, 4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13],
    [4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1, 13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
     1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2, 6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12],
    [13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
     7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8, 2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11],
]


def _permute(value, table, width):
    return sum(((value >> (width - p)) & 1) << (len(table) - 1 - i) for i, p in enumerate(table))


def _des_encrypt(key, block):
    k = _permute(int.from_bytes(key, "big"), _PC1, 64)
    c, d = k >> 28, k & 0xFFFFFFF
    subkeys = []
    for shift in _SHIFTS:
        c = ((c << shift) | (c >> (28 - shift))) & 0xFFFFFFF
        d = ((d << shift) | (d >> (28 - shift))) & 0xFFFFFFF
        subkeys.append(_permute((c << 28) | d, _PC2, 56))
    b = _permute(int.from_bytes(block, "big"), _IP, 64)
    left, right = b >> 32, b & 0xFFFFFFFF
    for subkey in subkeys:
        x = _permute(right, _E, 32) ^ subkey
        out = 0
        for i in range(8):
            six = (x >> (42 - 6 * i)) & 0x3F
            row = ((six & 0x20) >> 4) | (six & 1)
            out = (out << 4) | _S[i][row * 16 + ((six >> 1) & 0xF)]
        left, right = right, left ^ _permute(out, _P, 32)
    return _permute((right << 32) | left, _FP, 64).to_bytes(8, "big")


def vnc_response(password, challenge):
    # VNC's DES key is the password, padded to eight bytes, with every byte's bits reversed.
    key = bytes(int(f"{b:08b}"[::-1], 2) for b in password.encode()[:8].ljust(8, b"\0"))
    return _des_encrypt(key, challenge[:8]) + _des_encrypt(key, challenge[8:16])


def authenticate(ws, password):
    """Runs the RFB 3.8 handshake; returns True when the server accepts the password."""
    greeting = ws.read(12)
    if not greeting.startswith(b"RFB "):
        raise Refused(f"no VNC greeting: {greeting!r}")
    ws.send(b"RFB 003.008\n")
    count = ws.read(1)[0]
    if count == 0:
        raise Refused("the VNC server refused the connection")
    types = list(ws.read(count))
    if types != [2]:
        raise Refused(f"the VNC server offers the security types {types}, not the password (2) alone")
    ws.send(bytes([2]))
    ws.send(vnc_response(password, ws.read(16)))
    return struct.unpack(">I", ws.read(4))[0] == 0


def desktop_colours(ws):
    """After a good handshake: the desktop's name and the number of colours in one whole picture."""
    ws.send(b"\x01")  # shared
    width, height = struct.unpack(">HH", ws.read(4))
    pixel_format = ws.read(16)
    bytes_per_pixel = pixel_format[0] // 8
    name = ws.read(struct.unpack(">I", ws.read(4))[0]).decode(errors="replace")
    ws.send(struct.pack(">BxHi", 2, 1, 0))  # raw encoding only
    ws.send(struct.pack(">BBHHHH", 3, 0, 0, 0, width, height))
    colours = set()
    while True:
        kind = ws.read(1)[0]
        if kind == 0:
            break
        if kind == 2:  # bell
            continue
        if kind == 3:  # cut text
            ws.read(3)
            ws.read(struct.unpack(">I", ws.read(4))[0])
            continue
        raise Refused(f"unexpected VNC message {kind}")
    ws.read(1)
    for _ in range(struct.unpack(">H", ws.read(2))[0]):
        _, _, w, h, encoding = struct.unpack(">HHHHi", ws.read(12))
        if encoding != 0:
            raise Refused(f"the server answered with encoding {encoding}, not raw")
        data = ws.read(w * h * bytes_per_pixel)
        colours.update(data[i:i + bytes_per_pixel] for i in range(0, len(data), bytes_per_pixel))
    return name, len(colours)


def drip(port, result):
    """A request head a byte every DRIP_SECONDS: result gets how long the bridge let it go on."""
    head = b"GET /vnc.html HTTP/1.1\r\nX-Slow: " + b"a" * 1000
    started = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=DRIP_CLOSED_WITHIN + 3) as sock:
            for i in range(len(head)):
                sock.sendall(head[i:i + 1])
                if select.select([sock], [], [], DRIP_SECONDS)[0]:
                    if not sock.recv(1):
                        break
                if time.monotonic() - started > DRIP_CLOSED_WITHIN + 3:
                    break
    except OSError:
        pass
    result.append(time.monotonic() - started)


def closed_at_once(socks):
    """How many of socks, which have sent nothing, the bridge closes within half a second."""
    deadline, closed, answered = time.monotonic() + 0.5, 0, set()
    while (left := deadline - time.monotonic()) > 0:
        ready = select.select([s for s in socks if s not in answered], [], [], left)[0]
        if not ready:
            break
        for sock in ready:
            answered.add(sock)
            try:
                closed += sock.recv(1) == b""
            except OSError:
                closed += 1
    return closed


def load_page(port):
    """The owner's browser loads noVNC's page: milliseconds from the connection's start to the page's end."""
    started = time.monotonic()
    with socket.create_connection(("127.0.0.1", port), timeout=20) as sock:
        sock.sendall(f"GET /vnc.html HTTP/1.0\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode())
        page = b""
        while chunk := sock.recv(1 << 16):
            page += chunk
    if b"noVNC" not in page:
        raise Refused("the page was not served")
    return (time.monotonic() - started) * 1000


def flood(port, seconds):
    """In a process of another user: connections opened as fast as they go, each closed once it is made,
    FLOOD_IN_FLIGHT under way at a time. Returns how many were tried."""
    os.setgroups([])
    os.setgid(STRANGER_UID)
    os.setuid(STRANGER_UID)
    tried, under_way, end = 0, [], time.monotonic() + seconds
    while time.monotonic() < end:
        while len(under_way) < FLOOD_IN_FLIGHT:
            sock = socket.socket()
            sock.setblocking(False)
            try:
                sock.connect(("127.0.0.1", port))
            except BlockingIOError:
                pass
            except OSError:
                sock.close()
                break
            under_way.append(sock)
            tried += 1
        for sock in select.select([], under_way, [], 0.05)[1]:
            sock.close()
            under_way.remove(sock)
    for sock in under_way:
        sock.close()
    return tried


def median(values):
    return values[len(values) // 2]


def owner_under_flood(port):
    """The owner's page loads before and during another user's flood of connections, in figures."""
    def loads():
        times = []
        for _ in range(PAGE_LOADS):
            times.append(load_page(port))
            time.sleep(0.05)
        return sorted(times)

    idle = loads()
    report_read, report_write = os.pipe()
    flooders = []
    for _ in range(FLOODERS):
        pid = os.fork()
        if pid == 0:
            status = 1
            try:
                os.close(report_read)
                os.write(report_write, f"{flood(port, FLOOD_SECONDS)}\n".encode())
                status = 0
            finally:
                os._exit(status)
        flooders.append(pid)
    os.close(report_write)
    time.sleep(0.5)  # the flood under way
    try:
        busy = loads()
    finally:
        for pid in flooders:
            os.waitpid(pid, 0)
        with os.fdopen(report_read) as report:
            tried = sum(int(n) for n in report.read().split())
    return (f"  the owner loading the page: median {median(idle):.1f} ms alone; while another user "
            f"(uid {STRANGER_UID}) opened {tried / FLOOD_SECONDS:.0f} connections a second: "
            f"median {median(busy):.1f} ms, "
            f"{median(busy) / median(idle):.2f} times (target: at most 2), 90th percentile "
            f"{busy[len(busy) * 9 // 10]:.1f} ms, slowest {busy[-1]:.1f} ms")


FULL_LINE = b"(the log is full: nothing more is written to it)\n"


def log_full(log):
    with open(log, "rb") as f:
        f.seek(max(0, os.fstat(f.fileno()).st_size - len(FULL_LINE)))
        return f.read() == FULL_LINE


def fill_log(port, origin, log):
    """PARALLEL connections of the owner's at a time, each refused in a line of the log, until the log is
    full: (what it then holds, failures)."""
    refused_path = "websockify?token=wrong&" + "x" * 400  # (a long line, cut in the log)
    failures, lock = [], threading.Lock()

    def refuse_on():
        while not log_full(log):
            try:
                WebSocket(port, origin, refused_path).close()
            except (Refused, ConnectionResetError):
                pass  # (one over the 16 at a time, taken before an ended one was counted off)
            except OSError as e:
                with lock:
                    failures.append(f"a connection while the log filled: {e}")
                return

    started = time.monotonic()
    workers = [threading.Thread(target=refuse_on) for _ in range(PARALLEL)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join(60)
    size = os.path.getsize(log)
    if not log_full(log):
        failures.append(f"{PARALLEL} connections at a time did not fill the log in a minute ({size} B)")
    if size > 256 * 1024:
        failures.append(f"the log holds {size} B, more than its cap of {256 * 1024} B")
    return (f"  {PARALLEL} refused connections at a time filled the browser view's log in "
            f"{time.monotonic() - started:.1f} s: {size} B, within its cap of {256 * 1024} B"), failures


def other_user(port, path, origin):
    try:
        WebSocket(port, origin, path).close()
        print("Browser view: another user's WebSocket with the token got through", file=sys.stderr)
        return 1
    except Refused as e:
        if e.status is not None:
            print(f"Browser view: another user's connection was answered ({e}), not closed", file=sys.stderr)
            return 1
    except OSError:
        pass
    print(f"  a WebSocket of another user (uid {os.geteuid()}), with the token: closed without an answer")
    return 0


def main():
    port, address = int(sys.argv[1]), sys.stdin.readline().strip()
    log = sys.argv[3] if sys.argv[2:3] == ["--log"] else None
    origin = f"http://127.0.0.1:{port}"
    served, _, fragment = address.partition("#")
    values = urllib.parse.parse_qs(fragment)
    password = values.get("password", [""])[0]
    path = values.get("path", [""])[0]  # noVNC's WebSocket path: "websockify?token=..."
    token = urllib.parse.parse_qs(urllib.parse.urlsplit(path).query).get("token", [""])[0]
    failures = []
    if not password:
        failures.append(f"the address {served}#... carries no password")
    if not token:
        failures.append(f"the address {served}#... carries no token in noVNC's path")
    for secret, what in ((password, "password"), (token, "token")):
        if secret and secret in served:
            failures.append(f"the {what} stands in the part of the address that is sent to the server")

    if sys.argv[2:] == ["--other-user"]:
        return other_user(port, path, origin)
    dripped = []
    dripping = threading.Thread(target=drip, args=(port, dripped))
    dripping.start()

    page = urllib.request.urlopen(f"{origin}/vnc.html", timeout=5).read()
    if b"noVNC" not in page:
        failures.append("vnc.html is not noVNC's page")

    for stranger in ("http://evil.example", "null", None):
        try:
            WebSocket(port, stranger, path).close()
            failures.append(f"a WebSocket with the token and the Origin {stranger!r} was accepted")
        except Refused:
            pass

    # A local client sends the page's own Origin but has no token: refused before the VNC server, each
    # time, however often it tries (a guess at the token, or none).
    refused, started = 0, time.monotonic()
    for n in range(STRANGER_TRIES):
        guess = "websockify" if n % 2 else "websockify?token=" + base64.b32encode(os.urandom(20)).decode()
        try:
            ws = WebSocket(port, origin, guess)
            try:
                authenticate(ws, "guess%03d" % n)
            except Refused:
                pass
            ws.close()
            failures.append(f"a WebSocket without the token reached the VNC server ({guess.split('?')[0]})")
        except Refused as e:
            if e.status == "403":
                refused += 1
            else:
                failures.append(f"a WebSocket without the token got {e}, not 403")
    print(f"  {STRANGER_TRIES} tries by a local client without the token: {refused} refused with 403 "
          f"in {time.monotonic() - started:.1f} s")

    # Idle connections of the owner's own programs (a web page can open many): the bridge takes no
    # more than 16 at a time (the dripping one among them) and closes the others at once.
    flood = [socket.create_connection(("127.0.0.1", port), timeout=5) for _ in range(FLOOD)]
    turned_away = closed_at_once(flood)
    for sock in flood:
        sock.close()
    if turned_away < FLOOD - 16:
        failures.append(f"of {FLOOD} idle connections at once, {FLOOD - turned_away} were taken")
    print(f"  {FLOOD} idle connections at once: {turned_away} closed at once")
    time.sleep(0.2)  # their processes end as they see the connections closed

    if token and password:
        # The owner mistypes the password a few times: the VNC server says no each time, and goes on
        # answering.
        for n in range(OWNER_TYPOS):
            ws = WebSocket(port, origin, path)
            try:
                if authenticate(ws, "wrong" + password[:3]):
                    failures.append("the VNC server accepted a wrong password")
            except Refused as e:
                failures.append(f"wrong password {n + 1} of {OWNER_TYPOS}: {e}")
            finally:
                ws.close()

        ws = WebSocket(port, origin, path)
        try:
            if not authenticate(ws, password):
                failures.append("the VNC server refused the address's password")
            else:
                name, colours = desktop_colours(ws)
                if name != "Ostrevo SetUp":
                    failures.append(f"the desktop is called {name!r}")
                if colours < 16:
                    failures.append(f"the desktop seen through the browser view is nearly blank ({colours} colours)")
                else:
                    print(f"  then, after {OWNER_TYPOS} wrong passwords, the printed address: desktop {name!r}, "
                          f"{colours} colours")
        except Refused as e:
            failures.append(str(e))
        finally:
            ws.close()

    if os.geteuid() == 0:
        try:
            print(owner_under_flood(port))
        except (OSError, Refused) as e:
            failures.append(f"the owner's page did not load while another user flooded the bridge: {e}")
    else:
        print("  (not run as root: another user's flood is not tried)")

    if log:
        said, failed = fill_log(port, origin, log)
        print(said)
        failures += failed

    dripping.join()
    if dripped[0] > DRIP_CLOSED_WITHIN:
        failures.append(f"a request head sent a byte every {DRIP_SECONDS} s was still taken after {dripped[0]:.1f} s")
    else:
        print(f"  a request head sent a byte every {DRIP_SECONDS} s: closed after {dripped[0]:.1f} s")

    for f in failures:
        print(f"Browser view: {f}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    # The DES above against the standard's own example (FIPS 81, the key 0123456789abcdef).
    assert _des_encrypt(bytes.fromhex("0123456789abcdef"), b"Now is t").hex() == "3fa40e8a984d4815"
    sys.exit(main())
