#!/usr/bin/env python3
"""The real kadro program on a virtual X display, used the way a person would.

Starts Xvfb on a free display, a socat pseudo-terminal pair as the serial line and the
remote-machine simulator on its far end, and drives the program with xdotool:

  no-display   without DISPLAY the program says so on stderr and exits non-zero
  transfer     the chooser is answered by typing the image's name; the main window's caption,
               size and position are checked; every track is fetched and compared byte for
               byte with the sending order; keys select two log lines and Ctrl+C copies them
               to the X clipboard; Alt+F4 with F4 held is refused and serving goes on; "E" ends
               the run with exit code 0. A screenshot is taken while serving.
  escape       Escape held ends the run: exactly one 0x09 on the line, exit code 0
  toolkit-chooser  the same pick through the toolkit's own chooser (the one used where the
               desktop offers none), then Escape
  cancel       Escape in the chooser ends the program at once, exit code 0
  port-failure a port that cannot be opened is told in a message box; Enter ends the run
  long-port-name  port names of 300 bytes and 100 KB: the message box stays inside the screen
  settings-text   KADRO.INI with a byte-order mark, CR-only line ends, a NUL after the value
  unreadable-settings  KADRO.INI that is a folder: told to the operator, nothing opened

Screenshots and the program's output are kept in the --artefacts folder. Exits 77 (skipped)
when Xvfb, xdotool or socat is missing, 1 when a scenario failed, 0 otherwise.
"""

import argparse
import os
import select
import shutil
import signal
import subprocess
import sys
import time
import tty

SKIP = 77

# The window system's frame around a captioned top-level window, and the main window's client
# size (251 by 251 dialog units of 2 pixels).
FRAME = 1
CAPTION = 23
CLIENT = 502
SCREEN_W, SCREEN_H = 1024, 768

CHOOSER_TITLE = "Seleziona immagine da inviare"
TRACK = 4608
TRACKS = 160


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.1)


class Xvfb:
    def __init__(self):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN_W}x{SCREEN_H}x24",
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


class Session:
    def __init__(self, args, display):
        self.args = args
        self.display = display
        self.env = dict(os.environ, DISPLAY=display)
        # The toolkits keep allocations until exit; a leak report would replace the exit code.
        if "ASAN_OPTIONS" in self.env:
            self.env["ASAN_OPTIONS"] += ":detect_leaks=0"
        self.work = os.path.join(args.artefacts, "work")
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.image = os.path.join(self.work, "sample.vks")
        self.expected = os.path.join(self.work, "sending-order.bin")
        subprocess.run([args.make_image, self.image, "--sending-order", self.expected], check=True)

    def first_track(self):
        path = os.path.join(self.work, "first-track.bin")
        with open(self.expected, "rb") as f, open(path, "wb") as out:
            out.write(f.read(TRACK))
        return path

    # xdotool -------------------------------------------------------------------------------
    def xdo(self, *words, check_rc=True):
        result = subprocess.run(["xdotool", *words], env=self.env, capture_output=True, text=True,
                                timeout=30)
        if check_rc and result.returncode != 0:
            raise Failure(f"xdotool {' '.join(words)}: {result.stderr.strip()}")
        return result.stdout

    def visible_windows(self, name_regex):
        out = self.xdo("search", "--onlyvisible", "--name", name_regex, check_rc=False)
        return [w for w in out.split() if w]

    def wait_window(self, name_regex, timeout=20):
        return wait_for(lambda: self.visible_windows(name_regex), timeout,
                        f"a window named /{name_regex}/")[0]

    def geometry(self, window):
        values = {}
        for line in self.xdo("getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.lstrip("-").isdigit() else value
        return values

    def focus(self, window):
        self.xdo("windowfocus", "--sync", window)

    def screenshot(self, name):
        path = os.path.join(self.args.artefacts, name)
        if shutil.which("import"):
            subprocess.run(["import", "-window", "root", path + ".png"], env=self.env, check=True,
                           timeout=30)
            return path + ".png"
        if shutil.which("xwd"):
            subprocess.run(["xwd", "-root", "-silent", "-out", path + ".xwd"], env=self.env,
                           check=True, timeout=30)
            return path + ".xwd"
        return None

    # the program -----------------------------------------------------------------------------
    def write_settings(self, port):
        with open(os.path.join(self.work, "KADRO.INI"), "wb") as f:
            f.write(b"[Impostazioni]\r\nPorta=" + port.encode() + b"\r\n")

    def start_kadro(self, name, env=None):
        log = open(os.path.join(self.args.artefacts, f"kadro-{name}.log"), "wb")
        proc = subprocess.Popen([self.args.kadro], cwd=self.work, env=env or self.env,
                                stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        proc.log_file = log
        return proc

    def choose_image(self):
        chooser = self.wait_window("^" + CHOOSER_TITLE + "$")
        self.focus(chooser)
        # The name alone: the chooser starts in the program's current folder.
        self.xdo("type", "--delay", "40", os.path.basename(self.image))
        time.sleep(0.3)
        self.xdo("key", "Return")

    def remote(self, port, *words, timeout=120):
        result = subprocess.run([self.args.remote, "--device", port, "--quiet", *words],
                                capture_output=True, text=True, timeout=timeout)
        return result


class SerialPair:
    """A pseudo-terminal pair: the program's end and the remote machine's end."""

    def __init__(self, folder):
        self.near = os.path.join(folder, "ttyKADRO")
        self.far = os.path.join(folder, "ttyREMOTE")
        for link in (self.near, self.far):
            if os.path.lexists(link):
                os.unlink(link)
        self.proc = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={self.near}", f"pty,raw,echo=0,link={self.far}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(self.near) and os.path.exists(self.far), 10,
                 "the pseudo-terminal pair")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(5)


def stop_process(proc):
    if proc is None:
        return
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    if getattr(proc, "log_file", None):
        proc.log_file.close()


def wait_exit(proc, timeout, what):
    try:
        return proc.wait(timeout)
    except subprocess.TimeoutExpired:
        raise Failure(f"the program did not end within {timeout} s after {what}")


def expected_window(port):
    """Client rectangle of the main window: centred on the screen with its frame."""
    width = CLIENT + 2 * FRAME
    height = CLIENT + CAPTION + 2 * FRAME
    left = SCREEN_W // 2 - width // 2
    top = SCREEN_H // 2 - height // 2
    return {"X": left + FRAME, "Y": top + FRAME + CAPTION, "WIDTH": CLIENT, "HEIGHT": CLIENT}


# Scenarios -------------------------------------------------------------------------------------

def scenario_no_display(s):
    env = {k: v for k, v in s.env.items() if k != "DISPLAY"}
    result = subprocess.run([s.args.kadro], cwd=s.work, env=env, capture_output=True, text=True,
                            timeout=30)
    check(result.returncode != 0, "exit code 0 without a display")
    check("DISPLAY" in result.stderr, f"stderr does not name DISPLAY: {result.stderr!r}")


def scenario_transfer(s):
    pair = SerialPair(s.work)
    proc = None
    try:
        s.write_settings(pair.near)
        proc = s.start_kadro("transfer")
        s.choose_image()
        window = s.wait_window("^KADRO 1\\.00 ")
        caption = s.xdo("getwindowname", window).rstrip("\n")
        suffix = f"  ({pair.near}:57600,N,8,1)"
        check(caption.startswith("KADRO 1.00 ") and caption.endswith(suffix),
              f"caption {caption!r} does not end in {suffix!r}")
        geometry = s.geometry(window)
        for key, value in expected_window(pair.near).items():
            check(geometry.get(key) == value,
                  f"window {key} is {geometry.get(key)}, expected {value} ({geometry})")

        received = b""
        first_half = os.path.join(s.work, "received-1.bin")
        result = s.remote(pair.far, "--tracks", str(TRACKS // 2), "--out", first_half)
        check(result.returncode == 0, f"first half of the transfer: {result.stderr.strip()}")
        shot = s.screenshot("kadro-serving")
        print(f"  screenshot while serving: {shot}")

        # Keys reach the log through the window layer: to the start, two lines selected,
        # copied to the X clipboard.
        s.focus(window)
        s.xdo("key", "ctrl+Home", "shift+Down", "shift+Down", "ctrl+c")
        if shutil.which("xclip"):
            expected_copy = b"Waiting command (ESC to exit)...\r\nSending sectors -1 to 16\r\n"
            clip = wait_for(lambda: subprocess.run(
                ["xclip", "-o", "-selection", "clipboard"], env=s.env, capture_output=True,
                timeout=10).stdout, 5, "text on the clipboard")
            check(clip == expected_copy, f"clipboard holds {clip!r}")
        else:
            print("  (xclip missing: clipboard not checked)")

        # Alt+F4 while F4 is still held is refused: the window stays and serving goes on.
        s.xdo("keydown", "alt", "keydown", "F4")
        time.sleep(0.6)
        s.xdo("keyup", "F4", "keyup", "alt")
        time.sleep(0.6)
        check(proc.poll() is None, "the program ended on Alt+F4 with F4 held")
        check(window in s.visible_windows("^KADRO 1\\.00 "), "the window left the screen")

        second_half = os.path.join(s.work, "received-2.bin")
        result = s.remote(pair.far, "--tracks", str(TRACKS - TRACKS // 2), "--out", second_half)
        check(result.returncode == 0, f"second half of the transfer: {result.stderr.strip()}")
        for part in (first_half, second_half):
            with open(part, "rb") as f:
                received += f.read()
        with open(s.expected, "rb") as f:
            expected = f.read()
        check(len(received) == TRACKS * TRACK,
              f"{len(received)} bytes received, expected {TRACKS * TRACK}")
        if received != expected:
            at = next(i for i in range(len(expected)) if received[i] != expected[i])
            raise Failure(f"received bytes differ from the image from offset {at} "
                          f"(track {at // TRACK})")

        result = s.remote(pair.far, "--tracks", "0", "--end")
        check(result.returncode == 0, f"sending E: {result.stderr.strip()}")
        rc = wait_exit(proc, 15, '"E"')
        check(rc == 0, f"exit code {rc} after \"E\"")
        check(not s.visible_windows("^KADRO 1\\.00 "), "the window stayed after the end")
    finally:
        stop_process(proc)
        pair.stop()


def scenario_escape(s):
    pair = SerialPair(s.work)
    proc = None
    far = None
    try:
        s.write_settings(pair.near)
        proc = s.start_kadro("escape")
        s.choose_image()
        window = s.wait_window("^KADRO 1\\.00 ")
        far = os.open(pair.far, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(far)
        s.focus(window)
        s.xdo("keydown", "Escape")
        time.sleep(0.8)
        s.xdo("keyup", "Escape")
        rc = wait_exit(proc, 15, "Escape")
        received = b""
        deadline = time.monotonic() + 2
        while time.monotonic() < deadline:
            ready, _, _ = select.select([far], [], [], 0.2)
            if not ready:
                continue
            try:
                chunk = os.read(far, 64)
            except OSError:  # the program's end closed the line
                break
            if not chunk:
                break
            received += chunk
        check(rc == 0, f"exit code {rc} after Escape")
        check(received == b"\x09", f"the line carried {received!r}, expected one 0x09")
    finally:
        if far is not None:
            os.close(far)
        stop_process(proc)
        pair.stop()


def toolkit_chooser_env(s):
    """An environment whose toolkit settings turn the desktop's chooser off."""
    home = os.path.join(s.work, "home")
    prefs = os.path.join(home, ".fltk", "fltk.org")
    os.makedirs(prefs, exist_ok=True)
    with open(os.path.join(prefs, "fltk.prefs"), "w") as f:
        f.write("; FLTK preferences file format 1.0\n; vendor: fltk.org\n; application: fltk\n"
                "\n[.]\n\n[./options]\n\nFNFCUsesGTK:0\n")
    return dict(s.env, HOME=home)


def scenario_toolkit_chooser(s):
    pair = SerialPair(s.work)
    proc = None
    try:
        s.write_settings(pair.near)
        proc = s.start_kadro("toolkit-chooser", env=toolkit_chooser_env(s))
        s.choose_image()
        window = s.wait_window("^KADRO 1\\.00 ")
        result = s.remote(pair.far, "--tracks", "1", "--expect", s.first_track())
        check(result.returncode == 0, f"first track: {result.stderr.strip()}")
        s.focus(window)
        s.xdo("keydown", "Escape")
        time.sleep(0.8)
        s.xdo("keyup", "Escape")
        rc = wait_exit(proc, 15, "Escape")
        check(rc == 0, f"exit code {rc} after Escape")
    finally:
        stop_process(proc)
        pair.stop()


def scenario_cancel(s):
    proc = None
    try:
        s.write_settings(os.path.join(s.work, "unused-port"))
        proc = s.start_kadro("cancel")
        chooser = s.wait_window("^" + CHOOSER_TITLE + "$")
        s.focus(chooser)
        s.xdo("key", "Escape")
        rc = wait_exit(proc, 15, "cancelling the chooser")
        check(rc == 0, f"exit code {rc} after cancelling the chooser")
    finally:
        stop_process(proc)


def scenario_port_failure(s):
    proc = None
    try:
        s.write_settings(os.path.join(s.work, "no-such-port"))
        proc = s.start_kadro("port-failure")
        s.choose_image()
        box = s.wait_window("^Attenzione$")
        geometry = s.geometry(box)
        check(geometry["WIDTH"] > 100 and geometry["HEIGHT"] > 40, f"message box {geometry}")
        s.screenshot("kadro-message-box")
        check(proc.poll() is None, "the program ended before the message was answered")
        s.focus(box)
        s.xdo("key", "Return")
        rc = wait_exit(proc, 15, "answering the message")
        check(rc == 0, f"exit code {rc} after a failed port set-up")
        check(not s.visible_windows("^KADRO 1\\.00 "), "the main window was shown")
    finally:
        stop_process(proc)


def answer_port_box(s, proc, what, shot=None):
    """Waits for the port-failure box, checks it lies inside the screen, answers it with Enter
    and checks the run ends with exit code 0 without the main window. Returns the geometry."""
    box = s.wait_window("^Attenzione$")
    geometry = s.geometry(box)
    check(proc.poll() is None, f"{what}: the program ended before the message was answered")
    check(geometry["X"] >= 0 and geometry["Y"] >= 0 and
          geometry["X"] + geometry["WIDTH"] <= SCREEN_W and
          geometry["Y"] + geometry["HEIGHT"] <= SCREEN_H,
          f"{what}: message box {geometry} reaches past the {SCREEN_W}x{SCREEN_H} screen")
    check(geometry["WIDTH"] <= SCREEN_W * 3 // 4 + 8,
          f"{what}: message box {geometry} wider than three quarters of the screen")
    if shot:
        s.screenshot(shot)
    s.focus(box)
    s.xdo("key", "Return")
    rc = wait_exit(proc, 15, f"answering the message ({what})")
    check(rc == 0, f"{what}: exit code {rc}")
    check(not s.visible_windows("^KADRO 1\\.00 "), f"{what}: the main window was shown")
    return geometry


def scenario_long_port_name(s):
    """A port name of 300 bytes and one of 100 KB (the reader keeps 4094 of them): the pop-up
    wraps inside the screen, its OK button answers it, and there is no X error."""
    for what, length in (("300 bytes", 300), ("100 KB", 100 * 1024)):
        proc = None
        try:
            s.write_settings(os.path.join(s.work, "p" * length))
            proc = s.start_kadro("long-port-" + str(length))
            s.choose_image()
            geometry = answer_port_box(s, proc, what, f"kadro-long-port-{length}")
            print(f"  {what}: message box {geometry['WIDTH']}x{geometry['HEIGHT']}")
        finally:
            stop_process(proc)
        with open(os.path.join(s.args.artefacts, f"kadro-long-port-{length}.log"), "rb") as f:
            output = f.read()
        check(b"BadAlloc" not in output and b"X_" not in output,
              f"{what}: X error in the output: {output[-300:]!r}")


def scenario_settings_text(s):
    """Settings files saved by other editors: a byte-order mark, CR-only line ends, a NUL after
    the value. The configured (missing) port is the one tried, and the file stays as it was."""
    variants = {
        "bom": b"\xef\xbb\xbf[Impostazioni]\r\nPorta=%s\r\n",
        "cr-only": b"[Impostazioni]\rPorta=%s\r",
        "nul": b"[Impostazioni]\r\nPorta=%s\x00rest\r\n",
    }
    settings = os.path.join(s.work, "KADRO.INI")
    for name, layout in variants.items():
        port = os.path.join(s.work, "missing-" + name).encode()
        contents = layout % port
        with open(settings, "wb") as f:
            f.write(contents)
        proc = None
        try:
            proc = s.start_kadro("settings-" + name)
            s.choose_image()
            answer_port_box(s, proc, name)
        finally:
            stop_process(proc)
        with open(os.path.join(s.args.artefacts, f"kadro-settings-{name}.log"), "rb") as f:
            output = f.read()
        check(port in output and b"ttyS0" not in output,
              f"{name}: the configured port was not the one tried: {output[-300:]!r}")
        with open(settings, "rb") as f:
            check(f.read() == contents, f"{name}: KADRO.INI was changed")


def scenario_unreadable_settings(s):
    """KADRO.INI is a folder: the operator is told, nothing is opened or written."""
    settings = os.path.join(s.work, "KADRO.INI")
    if os.path.lexists(settings):
        os.unlink(settings)
    os.mkdir(settings)
    proc = None
    try:
        proc = s.start_kadro("unreadable-settings")
        s.choose_image()
        box = s.wait_window("^Attenzione$")
        s.screenshot("kadro-unreadable-settings")
        s.focus(box)
        s.xdo("key", "Return")
        rc = wait_exit(proc, 15, "answering the message")
        check(rc == 0, f"exit code {rc} after the settings message")
        check(not s.visible_windows("^KADRO 1\\.00 "), "the main window was shown")
        check(os.path.isdir(settings) and not os.listdir(settings), "KADRO.INI was touched")
    finally:
        stop_process(proc)
        if os.path.isdir(settings):
            os.rmdir(settings)
    with open(os.path.join(s.args.artefacts, "kadro-unreadable-settings.log"), "rb") as f:
        output = f.read()
    check(b"cannot open serial device" not in output, f"a port was opened: {output!r}")


SCENARIOS = [
    ("no-display", scenario_no_display),
    ("transfer", scenario_transfer),
    ("escape", scenario_escape),
    ("toolkit-chooser", scenario_toolkit_chooser),
    ("cancel", scenario_cancel),
    ("port-failure", scenario_port_failure),
    ("long-port-name", scenario_long_port_name),
    ("settings-text", scenario_settings_text),
    ("unreadable-settings", scenario_unreadable_settings),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kadro", required=True)
    parser.add_argument("--remote", required=True)
    parser.add_argument("--make-image", required=True)
    parser.add_argument("--artefacts", required=True)
    parser.add_argument("--only", action="append", help="run only these scenarios")
    args = parser.parse_args()
    for name in ("kadro", "remote", "make_image", "artefacts"):
        setattr(args, name, os.path.abspath(getattr(args, name)))

    missing = [tool for tool in ("Xvfb", "xdotool", "socat") if shutil.which(tool) is None]
    if missing:
        print(f"SKIP: {', '.join(missing)} not installed (scripts/install-deps.sh installs them)")
        return SKIP
    os.makedirs(args.artefacts, exist_ok=True)
    for old in os.listdir(args.artefacts):
        if old.startswith("failure-"):
            os.unlink(os.path.join(args.artefacts, old))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    xvfb = Xvfb()
    passed = failed = 0
    try:
        session = Session(args, xvfb.display)
        print(f"Xvfb on {xvfb.display}; artefacts in {args.artefacts}")
        for name, run in SCENARIOS:
            if args.only and name not in args.only:
                continue
            started = time.monotonic()
            try:
                run(session)
                passed += 1
                print(f"PASS {name} ({time.monotonic() - started:.1f} s)")
            except (Failure, subprocess.SubprocessError, OSError) as e:
                failed += 1
                print(f"FAIL {name}: {e}")
                session.screenshot(f"failure-{name}")
    finally:
        xvfb.stop()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
