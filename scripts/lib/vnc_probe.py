#!/usr/bin/env python3
"""Checks the private desktop's browser view as its owner and as strangers meet it.

    vnc_probe.py PORT ADDRESS

ADDRESS is the one scripts/run printed, with the run's password in its fragment. Checks, in order:
noVNC's page is served; a WebSocket opened for a page of another origin, or for no page at all, is
refused; the VNC server behind it offers password authentication only and gives no picture for a
wrong password; with the address's password it shows the desktop "Ostrevo SetUp" with the program's
window on it. Exits 0 when all hold, else prints what failed and exits 1. Standard library only;
the DES of VNC's challenge comes from the openssl command.
"""
import base64
import os
import socket
import struct
import subprocess
import sys
import urllib.parse
import urllib.request


class Refused(Exception):
    pass


class WebSocket:
    """The client end of a binary WebSocket, read as a byte stream."""

    def __init__(self, port, origin):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        key = base64.b64encode(os.urandom(16)).decode()
        head = (f"GET /websockify HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
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
            raise Refused(status or "the connection was closed")
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


def vnc_response(password, challenge):
    # VNC's DES key is the password, padded to eight bytes, with every byte's bits reversed.
    key = bytes(int(f"{b:08b}"[::-1], 2) for b in password.encode()[:8].ljust(8, b"\0"))
    return subprocess.run(["openssl", "enc", "-des-ecb", "-nopad", "-K", key.hex(), "-provider", "legacy",
                           "-provider", "default"], input=challenge, capture_output=True, check=True).stdout


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


def main():
    port, address = int(sys.argv[1]), sys.argv[2]
    origin = f"http://127.0.0.1:{port}"
    served, _, fragment = address.partition("#")
    password = urllib.parse.parse_qs(fragment).get("password", [""])[0]
    failures = []
    if not password:
        failures.append(f"the address {served}#... carries no password")
    if password and password in served:
        failures.append("the password stands in the part of the address that is sent to the server")

    page = urllib.request.urlopen(f"{origin}/vnc.html", timeout=5).read()
    if b"noVNC" not in page:
        failures.append("vnc.html is not noVNC's page")

    for stranger in ("http://evil.example", "null", None):
        try:
            WebSocket(port, stranger).close()
            failures.append(f"a WebSocket with the Origin {stranger!r} was accepted")
        except Refused:
            pass

    ws = WebSocket(port, origin)
    try:
        if authenticate(ws, "wrong" + password[:3]):
            failures.append("the VNC server accepted a wrong password")
    except Refused as e:
        failures.append(str(e))
    finally:
        ws.close()

    if password:
        ws = WebSocket(port, origin)
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
                    print(f"  the browser view with the printed address: desktop {name!r}, {colours} colours")
        except Refused as e:
            failures.append(str(e))
        finally:
            ws.close()

    for f in failures:
        print(f"Browser view: {f}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
