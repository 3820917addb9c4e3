#!/usr/bin/env python3
"""Runs a command under Wine with a COM port that is a pseudo-terminal echoing every byte.

    with_com_port.py [--far-end=echo|silent|hang-up] COMMAND [ARGS...]

A fresh pseudo-terminal pair is made; $WINEPREFIX/dosdevices/comN is pointed at its terminal
end (the first free N from 20), and the command gets KADRO_TEST_PORT=COMN and
KADRO_TEST_FAR_END=<mode> in its environment. The far end:
  echo (default)  a thread writes every byte read from the other end straight back, so what the
                  program sends comes back to it;
  silent          never reads, so the line takes no more once the terminal's buffers are full;
  hang-up         closes its end when the first byte arrives, as a far end that goes away.
The command's exit code is passed on; the link is removed afterwards.
"""
import os
import select
import subprocess
import sys
import threading


def claim_port(dosdevices, terminal):
    for number in range(20, 120):
        link = os.path.join(dosdevices, f"com{number}")
        try:
            os.symlink(terminal, link)  # fails when another test holds that number
            return number, link
        except FileExistsError:
            continue
    raise SystemExit("with_com_port: no free COM number")


def echo(master, stop):
    while not stop.is_set():
        ready, _, _ = select.select([master], [], [], 0.1)
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            return
        view = memoryview(data)
        while view:
            view = view[os.write(master, view):]


def hang_up(master, stop):
    while not stop.is_set():
        ready, _, _ = select.select([master], [], [], 0.1)
        if ready:
            os.close(master)
            return


def main():
    far_end = "echo"
    command = sys.argv[1:]
    if command and command[0].startswith("--far-end="):
        far_end = command.pop(0).split("=", 1)[1]
        if far_end not in ("echo", "silent", "hang-up"):
            raise SystemExit(f"with_com_port: unknown far end {far_end}")
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        raise SystemExit("with_com_port: WINEPREFIX is not set")
    master, slave = os.openpty()
    # Raw: the terminal end must pass every byte unchanged before the program sets the line.
    import tty
    tty.setraw(slave)
    terminal = os.ttyname(slave)
    dosdevices = os.path.join(prefix, "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)
    number, link = claim_port(dosdevices, terminal)
    stop = threading.Event()
    thread = None
    if far_end != "silent":
        target = echo if far_end == "echo" else hang_up
        thread = threading.Thread(target=target, args=(master, stop), daemon=True)
        thread.start()
    env = dict(os.environ, KADRO_TEST_PORT=f"COM{number}", KADRO_TEST_FAR_END=far_end)
    try:
        return subprocess.call(command, env=env)
    finally:
        stop.set()
        if thread is not None:
            thread.join(1)
        os.unlink(link)
        os.close(slave)
        if far_end != "hang-up":
            os.close(master)


if __name__ == "__main__":
    sys.exit(main())
