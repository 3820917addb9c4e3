#!/usr/bin/env python3
"""kadro.exe under Wine on a virtual X display, used the way a person would.

    wine_session.py --kadro KADRO.EXE --remote KADRO-REMOTE.EXE --work DIR [--only NAME]

A private Wine prefix (X11 graphics) is made once in DIR. COM ports are pseudo-terminals linked
from $WINEPREFIX/dosdevices. Scenarios:

  transfer      KADRO.INI names COM5; the chooser is answered by typing the image's name; the
                native kadro-remote.exe on COM6 (a second pseudo-terminal, relayed to the first)
                fetches all 160 tracks, compares them with the sending order and sends "E";
                both exit 0. Prints the time the 160 tracks took.
  cancel        Escape in the chooser ends the program at once with exit code 0.
  port-failure  KADRO.INI names a port that does not exist: the Italian message box appears,
                the main window never does; Enter ends the run with exit code 0.
  no-settings   without KADRO.INI the program writes it with the port COM1.
  escape        Escape held while waiting for a command: exactly one 0x09 on the line, exit 0.
  escape-window-gone  a tap of Escape while a track is being sent ends the dialog but not the
                serving; with no window of the program left, Escape held in another program
                (Wine's notepad) ends the run with one 0x09, exit 0.

The bare display has no window manager, so Wine is told to manage no window itself (see
prepare_prefix). KADRO_WINEDEBUG sets WINEDEBUG for every Wine program started (default -all);
their output goes to DIR/logs.

Exits 77 when Xvfb, xdotool or wine is missing, 1 when a scenario failed, 0 otherwise.
"""

import argparse
import contextlib
import os
import select
import shutil
import subprocess
import sys
import threading
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from x_display import Failure, Xvfb, check, visible_windows, wait_for  # noqa: E402

SKIP = 77
TRACK = 4608
TRACKS = 160
CHOOSER_TITLE = "Seleziona immagine da inviare"
MAIN_TITLE = "KADRO 1.00"


class PtyPair:
    """A pseudo-terminal pair in raw mode; the terminal end stays open so the line never hangs up."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        tty.setraw(self.master)
        self.name = os.ttyname(self.slave)

    def read(self, timeout):
        if select.select([self.master], [], [], timeout)[0]:
            return os.read(self.master, 65536)
        return b""

    def read_until_quiet(self, quiet=0.5):
        received = b""
        while chunk := self.read(quiet):
            received += chunk
        return received

    def close(self):
        os.close(self.master)
        os.close(self.slave)


def relay(a, b, stop):
    """Copies bytes both ways between the far ends of two pairs (a null-modem cable)."""
    while not stop.is_set():
        ready = select.select([a.master, b.master], [], [], 0.05)[0]
        for source in ready:
            target = b.master if source == a.master else a.master
            data = os.read(source, 65536)
            view = memoryview(data)
            while view:
                view = view[os.write(target, view):]


class Session:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.prefix = os.path.join(self.work, "wineprefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEARCH="win64",
                        WINEDEBUG=os.environ.get("KADRO_WINEDEBUG", "-all"),
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.logs = os.path.join(self.work, "logs")
        os.makedirs(self.logs, exist_ok=True)

    def wine(self, *argv, log, cwd=None):
        out = open(os.path.join(self.logs, log), "wb")
        return subprocess.Popen(["wine", *argv], env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT)

    def prepare_prefix(self):
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            subprocess.run(["wine", "wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=open(os.path.join(self.logs, "wineboot-init.log"), "wb"),
                           stderr=subprocess.STDOUT, timeout=300, check=False)
        if b'"Managed"="N"' not in read_bytes(os.path.join(self.prefix, "user.reg")):
            # Nothing manages the windows on the bare virtual display. Wine assumes a window
            # manager for captioned windows and, at each show and hide, waits up to 2 s for one
            # to answer; the program's thread is stuck in that wait, and a key pressed and
            # released meanwhile is never seen down by a poll of the key state.
            subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v",
                            "Managed", "/d", "N", "/f"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=open(os.path.join(self.logs, "reg.log"), "wb"),
                           stderr=subprocess.STDOUT, timeout=120, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120, check=False)
        # Started apart, with its own output: a server that inherits our output keeps it open.
        subprocess.Popen(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
        subprocess.run(["wine", "wineboot"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=open(os.path.join(self.logs, "wineboot.log"), "wb"),
                       stderr=subprocess.STDOUT, timeout=120, check=False)

    def map_port(self, number, pair):
        link = os.path.join(self.prefix, "dosdevices", f"com{number}")
        if os.path.lexists(link):
            os.unlink(link)
        if pair is not None:
            os.symlink(pair.name, link)

    def folder(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def xdotool(self, *argv):
        return subprocess.run(["xdotool", *argv], env=self.env, capture_output=True, text=True,
                              timeout=20)

    def find_window(self, title):
        ids = visible_windows(self.env, title)
        return ids[0] if ids else None

    def press(self, window, *keys):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--delay", "50", *keys)

    def choose(self, name):
        chooser = wait_for(lambda: self.find_window(CHOOSER_TITLE), 30, "the file chooser")
        time.sleep(0.5)
        self.xdotool("windowfocus", "--sync", chooser)
        self.xdotool("type", "--delay", "30", name)
        self.xdotool("key", "Return")

    def finish(self, proc, timeout, what):
        try:
            return proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            raise Failure(f"{what} did not end within {timeout} s")


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def write_image(folder):
    # Every track different, none ending in 0x1A: the comparison notices any slip.
    data = bytearray()
    for track in range(TRACKS):
        block = bytes(((track * 131 + i * 7 + (i >> 8)) & 0xFF) for i in range(TRACK))
        data += block
    data[-1] = 0x55
    with open(os.path.join(folder, "image.vks"), "wb") as f:
        f.write(data)
    # The sending order of a two-sided image: even blocks, then odd ones.
    order = [data[i * TRACK:(i + 1) * TRACK] for i in range(0, TRACKS, 2)]
    order += [data[i * TRACK:(i + 1) * TRACK] for i in range(1, TRACKS, 2)]
    with open(os.path.join(folder, "expected.bin"), "wb") as f:
        f.write(b"".join(order))


def scenario_transfer(s):
    folder = s.folder("transfer")
    write_image(folder)
    with open(os.path.join(folder, "KADRO.INI"), "wb") as f:
        f.write(b"[Impostazioni]\r\nPorta=COM5\r\n")
    kadro_end, remote_end = PtyPair(), PtyPair()
    s.map_port(5, kadro_end)
    s.map_port(6, remote_end)
    stop = threading.Event()
    cable = threading.Thread(target=relay, args=(kadro_end, remote_end, stop), daemon=True)
    cable.start()
    try:
        kadro = s.wine(s.args.kadro, log="transfer-kadro.log", cwd=folder)
        s.choose("image.vks")
        wait_for(lambda: s.find_window(MAIN_TITLE), 30, "the main window")
        started = time.monotonic()
        remote = s.wine(s.args.remote, "--device", "COM6", "--tracks", str(TRACKS), "--end",
                        "--quiet", "--timeout-ms", "5000", "--expect", "expected.bin",
                        log="transfer-remote.log", cwd=folder)
        remote_rc = s.finish(remote, 120, "kadro-remote.exe")
        took = time.monotonic() - started
        kadro_rc = s.finish(kadro, 30, "kadro.exe")
        check(remote_rc == 0, f"kadro-remote.exe exit code {remote_rc} (see transfer-remote.log)")
        check(kadro_rc == 0, f"kadro.exe exit code {kadro_rc}")
        print(f"  {TRACKS} tracks fetched and compared in {took:.2f} s "
              "(including the start of kadro-remote.exe)")
    finally:
        stop.set()
        cable.join(1)
        s.map_port(5, None)
        s.map_port(6, None)
        kadro_end.close()
        remote_end.close()


def scenario_cancel(s):
    folder = s.folder("cancel")
    kadro = s.wine(s.args.kadro, log="cancel-kadro.log", cwd=folder)
    chooser = wait_for(lambda: s.find_window(CHOOSER_TITLE), 30, "the file chooser")
    time.sleep(0.5)
    s.press(chooser, "Escape")
    rc = s.finish(kadro, 20, "kadro.exe")
    check(rc == 0, f"exit code {rc}")
    check(not os.path.exists(os.path.join(folder, "KADRO.INI")), "KADRO.INI was written")


def scenario_port_failure(s):
    folder = s.folder("port-failure")
    write_image(folder)
    with open(os.path.join(folder, "KADRO.INI"), "wb") as f:
        f.write(b"[Impostazioni]\r\nPorta=COM77\r\n")
    s.map_port(77, None)
    kadro = s.wine(s.args.kadro, log="port-failure-kadro.log", cwd=folder)
    s.choose("image.vks")
    box = wait_for(lambda: s.find_window("Attenzione"), 30, "the message box")
    check(s.find_window(MAIN_TITLE) is None, "the main window was shown")
    time.sleep(0.3)
    s.press(box, "Return")
    rc = s.finish(kadro, 20, "kadro.exe")
    check(rc == 0, f"exit code {rc}")


@contextlib.contextmanager
def serving(s, name):
    """kadro.exe serving on COM5, its main window on the screen: (process, window, line)."""
    folder = s.folder(name)
    write_image(folder)
    with open(os.path.join(folder, "KADRO.INI"), "wb") as f:
        f.write(b"[Impostazioni]\r\nPorta=COM5\r\n")
    line = PtyPair()
    s.map_port(5, line)
    try:
        kadro = s.wine(s.args.kadro, log=f"{name}-kadro.log", cwd=folder)
        s.choose("image.vks")
        window = wait_for(lambda: s.find_window(MAIN_TITLE), 30, "the main window")
        time.sleep(0.5)
        yield kadro, window, line
    finally:
        s.map_port(5, None)
        line.close()


def hold_escape(s, window):
    s.xdotool("windowfocus", "--sync", window)
    s.xdotool("keydown", "Escape")
    # Held for a second: a loaded machine may leave the program unscheduled for a while,
    # and a key let go before its next poll is never seen held.
    time.sleep(1.0)
    s.xdotool("keyup", "Escape")


def expect_stop_byte_and_exit(s, kadro, line):
    rc = s.finish(kadro, 20, "kadro.exe")
    received = line.read_until_quiet()
    check(rc == 0, f"exit code {rc}")
    check(received == b"\x09", f"the line carried {received!r}, expected one 0x09")


def scenario_escape(s):
    with serving(s, "escape") as (kadro, window, line):
        hold_escape(s, window)
        expect_stop_byte_and_exit(s, kadro, line)


def scenario_escape_window_gone(s):
    # On before the program: under this Wine set-up, a dialog that has lost the keyboard to
    # another program gets no key message again.
    other = s.wine("notepad", log="escape-window-gone-notepad.log")
    try:
        notepad = wait_for(lambda: s.find_window("Notepad$"), 30, "another program's window")
        with serving(s, "escape-window-gone") as (kadro, window, line):
            # Requests pile up unread until the line is full and the program sits in a write:
            # a tap of Escape then is not seen by the loop's polls, but its key message ends
            # the dialog when the loop next handles messages.
            os.write(line.master, b"T" * 20)
            time.sleep(0.4)
            s.press(window, "Escape")
            answers = line.read_until_quiet(2.0)
            check(len(answers) == 20 * (TRACK + 1), f"{len(answers)} bytes answered 20 requests")
            wait_for(lambda: s.find_window(MAIN_TITLE) is None, 10, "the window to go")
            os.write(line.master, b"T")
            check(kadro.poll() is None and len(line.read_until_quiet()) == TRACK + 1,
                  "serving stopped when the window went")
            hold_escape(s, notepad)
            expect_stop_byte_and_exit(s, kadro, line)
    finally:
        other.kill()
        other.wait()


def scenario_no_settings(s):
    folder = s.folder("no-settings")
    write_image(folder)
    s.map_port(1, None)  # COM1 leads nowhere: the run ends with the message box
    kadro = s.wine(s.args.kadro, log="no-settings-kadro.log", cwd=folder)
    s.choose("image.vks")
    box = wait_for(lambda: s.find_window("Attenzione"), 30, "the message box about COM1")
    time.sleep(0.3)
    s.press(box, "Return")
    rc = s.finish(kadro, 20, "kadro.exe")
    check(rc == 0, f"exit code {rc}")
    with open(os.path.join(folder, "KADRO.INI"), "rb") as f:
        written = f.read()
    check(written == b"[Impostazioni]\r\nPorta=COM1\r\n", f"KADRO.INI holds {written!r}")


SCENARIOS = [
    ("transfer", scenario_transfer),
    ("cancel", scenario_cancel),
    ("port-failure", scenario_port_failure),
    ("no-settings", scenario_no_settings),
    ("escape", scenario_escape),
    ("escape-window-gone", scenario_escape_window_gone),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kadro", required=True)
    parser.add_argument("--remote", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--only")
    args = parser.parse_args()
    for tool in ("Xvfb", "xdotool", "wine", "wineserver"):
        if shutil.which(tool) is None:
            print(f"{tool} is missing: skipped")
            return SKIP
    session = Session(args)
    xvfb = Xvfb(1024, 768)
    session.env["DISPLAY"] = xvfb.display
    failed = 0
    try:
        session.prepare_prefix()
        for name, run in SCENARIOS:
            if (args.only or name) != name:
                continue
            started = time.monotonic()
            try:
                run(session)
                print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
            except Failure as failure:
                failed += 1
                print(f"FAIL {name}: {failure}", flush=True)
    finally:
        subprocess.run(["wineserver", "-k"], env=session.env, check=False)
        xvfb.stop()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
