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

The log is capped (capped_log.CappedLog), since what the owner's programs send lands in it: short lines
with the token masked, a few at once and then one a second for each process, and nothing past 256 kB
however many processes write at once.
"""
import errno
import hmac
import ipaddress
import logging
import os
import select
import signal
import socket
import struct
import sys
import time
from urllib.parse import parse_qs, urlsplit

from websockify import websocketproxy

from capped_log import CappedLog

HEAD_DEADLINE = 5
MAX_CONNECTIONS = 16
BATCH = 256  # connections taken from the queue at once (each a descriptor until it is closed)
TALLY_SECONDS = 60


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


class SocketOwners:
    """The user ids of connections' client ends, asked of the kernel's socket table (NETLINK_SOCK_DIAG, as
    ss asks it): a few connections one by one by their four numbers, each one lookup in a hash; many at
    once in one pass through the table. Where that cannot be asked, /proc/net/tcp is read through
    instead (peer_owners), once for each connection."""

    SOCK_DIAG_BY_FAMILY, NLMSG_ERROR, NLMSG_DONE, NO_COOKIE = 20, 2, 3, 0xFFFFFFFF
    NLM_F_REQUEST, NLM_F_DUMP, ALL_STATES = 1, 0x300, 0xFFFFFFFF
    NO_OWNER = (6, 7, 10, 12)  # TIME_WAIT, CLOSE, LISTEN, NEW_SYN_RECV: no process's socket
    ONE_BY_ONE = 8  # up to this many connections: asked for one by one

    def __init__(self, local):
        self.local = local
        self.seq = 0
        try:
            self.sock = socket.socket(socket.AF_NETLINK, socket.SOCK_DGRAM, 4)  # NETLINK_SOCK_DIAG
            self.sock.settimeout(1)
        except OSError:
            self.sock = None

    def of(self, peers):
        """{peer: the set of user ids of the client end whose own address is peer (empty: gone)}."""
        if self.sock is not None:
            try:
                if len(peers) > self.ONE_BY_ONE:
                    table = self.ask(dump=True)
                    return {peer: ({table[peer]} if peer in table else set()) for peer in peers}
                return {peer: set(self.ask(peer=peer).values()) for peer in peers}
            except (OSError, struct.error, ValueError):
                pass
        return {peer: peer_owners(peer, self.local) for peer in peers}

    def ask(self, peer=None, dump=False):
        """{(address, port): user id} of the client ends of connections to the listener: of the one
        whose own address is peer, or of all (dump)."""
        self.seq += 1
        here = socket.inet_aton(self.local[0]) + bytes(12)
        there = socket.inet_aton(peer[0]) + bytes(12) if peer else bytes(16)
        # inet_diag_req_v2: the client end's own address is peer, its other end the listener; every
        # state, no cookie to match.
        sockid = (struct.pack(">HH", peer[1] if peer else 0, self.local[1]) + there + here +
                  struct.pack("=III", 0, self.NO_COOKIE, self.NO_COOKIE))
        body = struct.pack("=BBBBI", socket.AF_INET, socket.IPPROTO_TCP, 0, 0, self.ALL_STATES) + sockid
        flags = self.NLM_F_REQUEST | (self.NLM_F_DUMP if dump else 0)
        self.sock.send(struct.pack("=IHHII", 16 + len(body), self.SOCK_DIAG_BY_FAMILY, flags, self.seq, 0) + body)
        found = {}
        while True:
            data, at = self.sock.recv(1 << 20), 0
            while at + 16 <= len(data):
                length, kind, _, seq, _ = struct.unpack_from("=IHHII", data, at)
                if length < 16:
                    raise ValueError("a short netlink message")
                message, at = at, at + ((length + 3) & ~3)
                if seq != self.seq:
                    continue  # (the answer to an earlier question that timed out)
                if kind == self.NLMSG_DONE:
                    return found
                if kind == self.NLMSG_ERROR:
                    error = -struct.unpack_from("=i", data, message + 16)[0]
                    if error == errno.ENOENT:  # the client end has gone already
                        return found
                    raise OSError(error, os.strerror(error))
                # inet_diag_msg: family, state, timer, retransmits; the socket's id (its own port, the
                # other end's, its own address, the other end's, 16 bytes each); expires, two queues,
                # then its owner's user id and its inode. An end its program has closed already has no
                # owner any more, and reads as root's: it has no inode (or is a TIME_WAIT's remains).
                state = data[message + 17]
                own_port, other_port = struct.unpack_from(">HH", data, message + 20)
                own = socket.inet_ntoa(data[message + 24:message + 28])
                other = socket.inet_ntoa(data[message + 40:message + 44])
                uid, inode = struct.unpack_from("=II", data, message + 16 + 64)
                if (other, other_port) == self.local and state not in self.NO_OWNER and inode != 0:
                    found[(own, own_port)] = uid
                if not dump:
                    return found


def peer_owners(peer, local):
    """The user ids of the sockets whose own address is peer and whose other end is local: the client
    ends of a connection to this listener, as the kernel lists them in /proc (read through)."""
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
            # sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode: an end its
            # program has closed (no inode; TIME_WAIT, 06) has no owner any more, and reads as root's
            if (len(fields) > 9 and fields[3] != "06" and fields[9] != "0" and _address(fields[1]) == peer and
                    _address(fields[2]) == local):
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


def turn_away(connection):
    """Makes a stranger's connection close with a reset: nothing is read or sent, and no closed
    connection lingers in the kernel's table (as TIME_WAIT would, for a minute), so that a flood of them
    leaves nothing behind."""
    try:
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass


def accept_waiting(listener):
    """The connections waiting in the listener's queue, as many as BATCH at most: [(connection, peer)]."""
    batch = []
    while len(batch) < BATCH:
        try:
            batch.append(listener.accept())
        except BlockingIOError:
            break
        except OSError:  # out of descriptors or memory for a moment
            if not batch:
                time.sleep(0.1)
            break
    return batch


def serve(server, listener, logger):
    """Accepts connections for ever (until SIGTERM or SIGINT), each served in a process of its own. The
    connections waiting are taken together and the owner's served first: a stranger's flood, however
    many of its connections wait in the queue before the owner's, is turned away after it."""
    children = set()
    tally = Tally(logger)
    me = os.geteuid()
    owners = SocketOwners(listener.getsockname())
    listener.setblocking(False)

    def reap(signum, frame):  # only those counted: one not counted yet is reaped at its own signal
        for pid in list(children):
            try:
                if os.waitpid(pid, os.WNOHANG)[0]:
                    children.discard(pid)
            except ChildProcessError:
                children.discard(pid)

    def take(connection, peer, owned_by, batch):
        if owned_by != {me}:
            turn_away(connection)
            tally.add("of other users (" + (", ".join(f"uid {u}" for u in sorted(owned_by)) or "gone") + ")")
            return
        if len(children) >= MAX_CONNECTIONS:  # (closed as usual: the owner's browser may try again)
            tally.add(f"of this user beyond {MAX_CONNECTIONS} at a time")
            return
        # Held back until each side is set: a TERM would run the listener's ending in the child, and a
        # child reaped before it is counted would be counted for ever.
        signal.pthread_sigmask(signal.SIG_BLOCK, HELD_SIGNALS)
        try:
            pid = os.fork()
        except OSError as e:  # no process to be had: the connection is closed
            signal.pthread_sigmask(signal.SIG_UNBLOCK, HELD_SIGNALS)
            tally.add(f"for want of a process ({e.strerror})")
            return
        if pid == 0:
            status = 1
            try:
                listener.close()
                for other, _ in batch:  # the others taken with it are the listener's to close
                    if other is not connection:
                        other.close()
                for s in HELD_SIGNALS:
                    signal.signal(s, signal.SIG_DFL)
                signal.pthread_sigmask(signal.SIG_UNBLOCK, HELD_SIGNALS)
                signal.alarm(HEAD_DEADLINE)  # its default ends the process
                connection.setblocking(True)
                server.top_new_client(connection, peer)
                status = 0
            finally:
                os._exit(status)
        children.add(pid)
        signal.pthread_sigmask(signal.SIG_UNBLOCK, HELD_SIGNALS)

    for s in STOP_SIGNALS:
        signal.signal(s, _stop)
    signal.signal(signal.SIGCHLD, reap)
    try:
        while True:
            select.select([listener], [], [])
            batch = accept_waiting(listener)
            try:
                owned = owners.of([peer for _, peer in batch])
            except Exception as e:  # whatever it was, the listener goes on: nobody is served this time
                logger.warning("the owners of %d connections are not known: %s", len(batch), e)
                owned = {}
            batch.sort(key=lambda taken: owned.get(taken[1]) != {me})  # the owner's first
            for connection, peer in batch:
                try:
                    take(connection, peer, owned.get(peer, set()), batch)
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
    log_fd = os.open(settings["log"], os.O_RDWR | os.O_APPEND | os.O_CREAT | os.O_CLOEXEC, 0o600)
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
        # A queue as long as the system allows: a stranger's flood, turned away as fast as it comes, does
        # not fill it so that the owner's connections would wait for room (a second, then three).
        listener.listen(socket.SOMAXCONN)
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
