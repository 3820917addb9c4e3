"""What the end-to-end sessions on a virtual X display share: a failure that ends a scenario,
waiting for a condition, a private Xvfb, and finding visible windows by name with xdotool.

Used by gui_session.py beside it (the Linux program) and win32/wine_session.py (the Windows
program under Wine, which puts this folder on its import path).
"""

import os
import select
import subprocess
import time


class Failure(Exception):
    """A scenario failed; the message says what was seen."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, what):
    """The first true value of predicate(), asked every 0.1 s; Failure after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.1)


class Xvfb:
    """A virtual display on a number the server picks itself (free of other sessions').

    `display` is its name for DISPLAY; Failure when the server did not start within 15 s."""

    def __init__(self, width, height):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip():
            self.stop()
            raise Failure("Xvfb did not start")
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def visible_windows(env, name_regex):
    """Ids of the mapped windows whose name matches, in xdotool's order (none: empty)."""
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name_regex],
                            env=env, capture_output=True, text=True, timeout=30)
    return [w for w in result.stdout.split() if w]


def wait_window(env, name_regex, timeout):
    """The first visible window whose name matches; Failure after timeout seconds."""
    return wait_for(lambda: visible_windows(env, name_regex), timeout,
                    f"a window named /{name_regex}/")[0]
