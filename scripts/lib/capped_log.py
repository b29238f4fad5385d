"""The browser view's log (scripts/lib/browser_view.py): a logging handler that appends to a file that the
bridge and every process it makes for a connection share, within a cap, since what the owner's programs
send lands in it.

A line holds at most LINE_CHARS characters, with control characters and the secrets replaced; each process
writes BURST lines at once and then PER_SECOND a second (the lines left out are counted); and the file
never grows past MAX_BYTES, however many processes write at once: a line is appended under a lock of the
file only while room is left after it for the line that says the log is full, which comes last.
"""
import fcntl
import logging
import os
import re
import time

LINE_CHARS = 300
BURST = 20
PER_SECOND = 1.0
MAX_BYTES = 256 * 1024
FULL = b"(the log is full: nothing more is written to it)\n"


class CappedLog(logging.Handler):
    """Appends the lines it is given to the file open on fd (for reading and appending), within the
    limits above."""

    def __init__(self, fd, secrets, max_bytes=MAX_BYTES):
        super().__init__()
        self.fd = fd
        self.secrets = [s for s in secrets if s]
        self.max_bytes = max_bytes
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
        self.append((line + "\n").encode(errors="replace"))

    def append(self, data):
        """Appends data, or the line that says the log is full where data would leave no room for it."""
        try:
            # One writer at a time: the size looked at is the size written to. (A lock of this process
            # alone, which the processes forked with the descriptor do not share.)
            fcntl.lockf(self.fd, fcntl.LOCK_EX)
            try:
                size = os.fstat(self.fd).st_size
                if size >= len(FULL) and os.pread(self.fd, len(FULL), size - len(FULL)) == FULL:
                    return  # full already
                if size + len(data) + len(FULL) > self.max_bytes:
                    data = FULL
                if size + len(data) <= self.max_bytes:
                    os.write(self.fd, data)
            finally:
                fcntl.lockf(self.fd, fcntl.LOCK_UN)
        except OSError:
            pass
