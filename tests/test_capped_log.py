#!/usr/bin/env python3
"""The browser view's log stays within its cap while many of its processes write at once, as the bridge's
processes for parallel connections do: whatever the cap and the number of writers, the file ends with
the line that says it is full, holds it once, holds whole lines only, and is never larger than the cap.

    test_capped_log.py SCRIPTS_LIB
"""
import logging
import os
import sys
import tempfile

sys.path.insert(0, sys.argv[1])
from capped_log import FULL, LINE_CHARS, CappedLog  # noqa: E402

CASES = [  # (cap in bytes, writing processes, lines each)
    (4096, 16, 20),
    (4096 + 37, 16, 20),  # a cap that falls inside a line
    (64 * 1024, 32, 20),
    (len(FULL) + 10, 4, 3),  # room for the full line alone
]


def write_at_once(path, cap, writers, lines):
    """writers processes, started together, each appending lines of LINE_CHARS characters."""
    fd = os.open(path, os.O_RDWR | os.O_APPEND | os.O_CREAT | os.O_TRUNC, 0o600)
    go_read, go_write = os.pipe()
    children = []
    for n in range(writers):
        pid = os.fork()
        if pid == 0:
            status = 1
            try:
                logger = logging.getLogger(f"writer{n}")
                logger.propagate = False
                logger.addHandler(CappedLog(fd, ["secret"], max_bytes=cap))
                os.read(go_read, 1)  # all at once
                for i in range(lines):
                    logger.warning("%s", f"{n:02d} {i:02d} " + "x" * LINE_CHARS)
                status = 0
            finally:
                os._exit(status)
        children.append(pid)
    os.write(go_write, b"g" * writers)
    failed = [pid for pid in children if os.waitpid(pid, 0)[1] != 0]
    os.close(fd)
    return failed


def main():
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for cap, writers, lines in CASES:
            path = os.path.join(folder, "headless-websockify.log")
            failed = write_at_once(path, cap, writers, lines)
            with open(path, "rb") as f:
                data = f.read()
            where = f"a cap of {cap} B, {writers} writers of {lines} lines"
            if failed:
                failures.append(f"{where}: {len(failed)} writers failed")
            if len(data) > cap:
                failures.append(f"{where}: {len(data)} B written")
            if not data.endswith(FULL) or data.count(FULL) != 1:
                failures.append(f"{where}: the full line is not there once, at the end")
            written = data[:-len(FULL)].split(b"\n")
            if written[-1] != b"" or any(len(line) != LINE_CHARS + len("...") for line in written[:-1]):
                failures.append(f"{where}: a line was cut or joined")
            print(f"{where}: {len(data)} B, {len(written) - 1} lines, then the full line")
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
