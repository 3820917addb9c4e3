#!/usr/bin/env python3
"""kadro-serve.exe under Wine in a console, serving a COM port that is a pseudo-terminal.

    serve_console.py KADRO-SERVE.EXE WORK_DIR

Wine's console is a second pseudo-terminal, so the program has a real console to write its
log and status line to and to take keys from. Scenarios, in the shared $WINEPREFIX:
  whole image  the far end fetches all 160 tracks of a 737280-byte image, compares them with
               the sending order (even blocks, then odd ones) and sends "E"; exit status 0.
  ctrl-c       after one track, Ctrl-C typed in the console: exactly one 0x09, exit status 0.
  again-tcp    --again on a TCP listener (Winsock): a session ended by "E" closes its
               connection, the next connection made at once is served from the first track,
               and Ctrl-C sends its 0x09 there; exit status 0.

Exits 77 when wine is missing or WINEPREFIX is not set, 1 when a scenario failed.
"""

import os
import pty
import re
import select
import shutil
import socket
import sys
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), *[os.pardir] * 3,
                                "testing"))
from with_com_port import claim_port  # noqa: E402

TRACK = 4608


def read_exactly(fd, count, timeout=20):
    data = b""
    deadline = time.time() + timeout
    while len(data) < count and select.select([fd], [], [], max(0, deadline - time.time()))[0]:
        chunk = os.read(fd, count - len(data))
        if not chunk:
            break  # the far end closed
        data += chunk
    return data


class Served:
    """The program on a console and a COM port, both pseudo-terminals, until it ends."""

    def __init__(self, program, image, options=()):
        """Options name the port themselves; without them the port is a new COM port."""
        self.link = None
        if not options:
            # The terminal end stays open here too, so the line never hangs up when the
            # program lets it go.
            self.line, self.line_end = os.openpty()
            tty.setraw(self.line_end)
            number, self.link = claim_port(
                os.path.join(os.environ["WINEPREFIX"], "dosdevices"), os.ttyname(self.line_end))
            options = ("--port", f"COM{number}")
        self.pid, self.console = pty.fork()
        if self.pid == 0:
            os.execvp("wine", ["wine", program, *options, image])
        self.screen = b""

    def shown(self, text, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if text in self.plain():
                return True
            if select.select([self.console], [], [], 0.1)[0]:
                try:
                    self.screen += os.read(self.console, 65536)
                except OSError:
                    break
        return False

    def plain(self):
        """The console's text without its control sequences (Wine may draw a blank as one)."""
        return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", self.screen)

    def end(self, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.unlink()
                return os.waitstatus_to_exitcode(status)
            self.shown(b"\0", 0.1)  # keeps the console drained
        os.kill(self.pid, 9)
        self.unlink()
        return "no end"

    def unlink(self):
        if self.link:
            os.unlink(self.link)


def check(ok, what):
    if not ok:
        raise AssertionError(what)


def scenario_whole_image(program, work):
    raw = bytes((i * 13 + i // TRACK) & 0xFF for i in range(160 * TRACK))
    with open(os.path.join(work, "whole.vks"), "wb") as f:
        f.write(raw)
    blocks = [raw[k * TRACK:(k + 1) * TRACK] for k in range(160)]
    order = blocks[0::2] + blocks[1::2]
    served = Served(program, "whole.vks")
    check(served.shown(b"Waiting command (ESC to exit)..."), "no waiting line")
    start = time.time()
    for k, block in enumerate(order):
        os.write(served.line, b"T")
        check(read_exactly(served.line, TRACK + 1) == b"\0" + block, f"track {k} differs")
    seconds = time.time() - start
    os.write(served.line, b"E")
    check(served.shown(b"Sending sectors 2861 to 2878"), "the last track's log line is missing")
    status = served.end()
    check(status == 0, f"exit status {status} after E")
    print(f"whole image: 160 tracks in {seconds:.1f} s, exit 0")


def scenario_ctrl_c(program, work):
    served = Served(program, "whole.vks")
    check(served.shown(b"Waiting command (ESC to exit)..."), "no waiting line")
    os.write(served.line, b"T")
    check(len(read_exactly(served.line, TRACK + 1)) == TRACK + 1, "no first track")
    check(served.shown(b"track 1 of 160"), "no status line")
    os.write(served.console, b"\x03")
    check(read_exactly(served.line, 2, 3) == b"\x09", "not exactly one stop byte")
    status = served.end()
    check(status == 0, f"exit status {status} after Ctrl-C")
    print("ctrl-c: one 0x09, exit 0")


def scenario_again_tcp(program, work):
    raw = open(os.path.join(work, "whole.vks"), "rb").read()
    served = Served(program, "whole.vks", ("--again", "--port", "tcp-listen:0"))
    check(served.shown(b"127.0.0.1:") and served.shown(b"remote"), "no listening notice")
    port = int(re.search(rb"127\.0\.0\.1:(\d+)", served.plain()).group(1))

    def first_track(connection):
        connection.sendall(b"T")
        return read_exactly(connection.fileno(), TRACK + 1) == b"\0" + raw[:TRACK]

    with socket.create_connection(("127.0.0.1", port), timeout=20) as first:
        check(first_track(first), "the first session's first track differs")
        first.sendall(b"E")
        check(first.recv(1) == b"", "the first session's connection stays open after E")
    with socket.create_connection(("127.0.0.1", port), timeout=20) as second:
        check(first_track(second), "the next connection is not served from the first track")
        os.write(served.console, b"\x03")
        check(read_exactly(second.fileno(), 2, 3) == b"\x09", "not exactly one stop byte")
    status = served.end()
    check(status == 0, f"exit status {status} after Ctrl-C")
    print("again-tcp: two connections served, one 0x09, exit 0")


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    program, work = os.path.abspath(sys.argv[1]), sys.argv[2]
    if not shutil.which("wine") or "WINEPREFIX" not in os.environ:
        return 77
    os.makedirs(work, exist_ok=True)
    os.chdir(work)
    failed = 0
    for scenario in (scenario_whole_image, scenario_ctrl_c, scenario_again_tcp):
        try:
            scenario(program, work)
        except AssertionError as failure:
            print(f"{scenario.__name__}: FAILED: {failure}")
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
