#!/usr/bin/env python3
"""The Windows installer under Wine, used the way a user meets it.

Installs kadro-<version>-win64.exe silently into the Wine prefix named by $WINEPREFIX, then checks
the programs and texts in Program Files\\KADRO, the Start-menu shortcut (read from the .lnk file:
target and working folder), the working folder Documents\\KADRO, the entry in Apps & features, and
that the installed programs start from there. Then it runs the uninstaller that entry names,
silently, and checks that the programs, the shortcuts and the entry are gone while the user's
KADRO.INI and images in the working folder are kept.

    installer_test.py --installer kadro-1.1.0-win64.exe --version 1.1.0 --logs DIR

Exit status 0 when every check holds, 1 with the failed check on standard error, 77 when Wine is
missing. The prefix must be booted and its server running (scripts/test-windows.sh does both).
"""

import argparse
import os
import pwd
import shutil
import struct
import subprocess
import sys
import time

SKIPPED = 77
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\KADRO"
PROGRAM_FILES = ("kadro.exe", "kadro-remote.exe", "LEGGIMI-README.txt", "kadro.ico",
                 "Uninstall.exe")


class CheckFailed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise CheckFailed(message)


# --- shell links -------------------------------------------------------------------------------
# The documented shell-link layout: a 76-byte header whose flags say which parts follow, then an
# optional item-id list, an optional link-info block (holding the target's local path), then
# counted strings in a fixed order: name, relative path, working folder, arguments, icon.
HAS_ID_LIST = 0x01
HAS_LINK_INFO = 0x02
HAS_NAME = 0x04
HAS_RELATIVE_PATH = 0x08
HAS_WORKING_DIR = 0x10
HAS_ARGUMENTS = 0x20
HAS_ICON_LOCATION = 0x40
IS_UNICODE = 0x80
LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")


class ShellLink:
    def __init__(self, data):
        check(len(data) >= 76 and struct.unpack_from("<I", data, 0)[0] == 76
              and data[4:20] == LINK_CLSID, "the shortcut is not a shell link")
        flags = struct.unpack_from("<I", data, 20)[0]
        offset = 76
        if flags & HAS_ID_LIST:
            offset += 2 + struct.unpack_from("<H", data, offset)[0]
        self.target = None
        if flags & HAS_LINK_INFO:
            self.target = self._local_path(data, offset)
            offset += struct.unpack_from("<I", data, offset)[0]
        strings = {}
        for flag in (HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR, HAS_ARGUMENTS,
                     HAS_ICON_LOCATION):
            if flags & flag:
                count = struct.unpack_from("<H", data, offset)[0]
                offset += 2
                size = count * 2 if flags & IS_UNICODE else count
                check(offset + size <= len(data), "a shortcut string runs past the file's end")
                raw = data[offset:offset + size]
                # Wine counts a terminating NUL in; the shell's own links do not.
                text = raw.decode("utf-16-le" if flags & IS_UNICODE else "cp1252")
                strings[flag] = text.rstrip("\0")
                offset += size
        self.working_dir = strings.get(HAS_WORKING_DIR)
        self.icon_location = strings.get(HAS_ICON_LOCATION)

    @staticmethod
    def _local_path(data, start):
        header_size, info_flags = struct.unpack_from("<II", data, start + 4)
        if not info_flags & 0x1:  # no volume and local base path
            return None
        if header_size >= 0x24:
            unicode_offset = struct.unpack_from("<I", data, start + 28)[0]
            if unicode_offset:
                end = start + unicode_offset
                while data[end:end + 2] != b"\0\0":
                    end += 2
                return data[start + unicode_offset:end].decode("utf-16-le")
        path_offset = struct.unpack_from("<I", data, start + 16)[0]
        end = data.index(b"\0", start + path_offset)
        return data[start + path_offset:end].decode("cp1252")


# --- the prefix ----------------------------------------------------------------------------------
class Prefix:
    def __init__(self, root, logs):
        self.root = root
        self.logs = logs
        self.drive_c = os.path.join(root, "drive_c")
        # Wine names the profile after the Unix user.
        self.profile = os.path.join(self.drive_c, "users", pwd.getpwuid(os.getuid()).pw_name)
        self.env = dict(os.environ, WINEDEBUG="-all")

    def unix_path(self, windows_path):
        check(windows_path[:3].upper() == "C:\\", f"not a path on drive C: {windows_path}")
        return os.path.join(self.drive_c, *windows_path[3:].split("\\"))

    def windows_path(self, unix_path):
        relative = os.path.relpath(unix_path, self.drive_c)
        return "C:\\" + relative.replace("/", "\\")

    def start(self, argv, log, cwd=None):
        out = open(os.path.join(self.logs, log), "wb")
        return subprocess.Popen(["wine", *argv], env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT)

    def run(self, argv, log, timeout, cwd=None):
        process = self.start(argv, log, cwd)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise CheckFailed(f"wine {' '.join(argv)} did not end in {timeout} s (log: {log})")

    def output(self, argv, timeout=60):
        """Standard output of a console program (Wine's own complaints go to a log)."""
        with open(os.path.join(self.logs, "wine-stderr.log"), "ab") as errors:
            result = subprocess.run(["wine", *argv], env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=errors, timeout=timeout)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def registry_values(self, key):
        """The values under a registry key as {name: data}, or None when the key is missing."""
        status, text = self.output(["reg", "query", key])
        if status != 0:
            return None
        values = {}
        for line in text.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) == 3 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2]
        return values


def wait_until(condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--logs", required=True)
    args = parser.parse_args()

    if shutil.which("wine") is None:
        print("installer_test: Wine is missing", file=sys.stderr)
        return SKIPPED
    prefix_root = os.environ.get("WINEPREFIX")
    if not prefix_root or not os.path.isfile(os.path.join(prefix_root, "system.reg")):
        print("installer_test: WINEPREFIX must name a booted prefix", file=sys.stderr)
        return 1
    if not os.path.isfile(args.installer):
        print(f"installer_test: {args.installer} is missing (cpack -G NSIS makes it)",
              file=sys.stderr)
        return 1
    os.makedirs(args.logs, exist_ok=True)
    prefix = Prefix(prefix_root, args.logs)
    try:
        run_checks(prefix, os.path.abspath(args.installer), args.version)
    except CheckFailed as failure:
        print(f"installer_test: {failure}", file=sys.stderr)
        return 1
    print("installer_test: passed")
    return 0


def run_checks(prefix, installer, version):
    program_dir = os.path.join(prefix.drive_c, "Program Files", "KADRO")
    menu_dir = os.path.join(prefix.profile, "AppData", "Roaming", "Microsoft", "Windows",
                            "Start Menu", "Programs", "KADRO")
    documents = os.path.join(prefix.profile, "Documents")
    work_dir = os.path.join(documents, "KADRO")

    # A new prefix links Documents to the Unix home folder; the installer must not write there.
    if os.path.islink(documents):
        os.unlink(documents)
    os.makedirs(documents, exist_ok=True)
    # What an earlier, interrupted run left behind.
    for folder in (program_dir, menu_dir, work_dir):
        shutil.rmtree(folder, ignore_errors=True)
    prefix.output(["reg", "delete", UNINSTALL_KEY, "/f"])

    started = time.monotonic()
    status = prefix.run([installer, "/S"], "install.log", timeout=120)
    print(f"installed in {time.monotonic() - started:.1f} s")
    check(status == 0, f"the installer ended with status {status}")

    for name in PROGRAM_FILES:
        check(os.path.isfile(os.path.join(program_dir, name)),
              f"{name} is not in Program Files\\KADRO")

    shortcut_path = os.path.join(menu_dir, "KADRO.lnk")
    check(os.path.isfile(shortcut_path), "the Start-menu shortcut KADRO.lnk is missing")
    with open(shortcut_path, "rb") as file:
        shortcut = ShellLink(file.read())
    expected_target = prefix.windows_path(os.path.join(program_dir, "kadro.exe"))
    expected_work_dir = prefix.windows_path(work_dir)
    check((shortcut.target or "").lower() == expected_target.lower(),
          f"the shortcut starts {shortcut.target!r}, not {expected_target!r}")
    check((shortcut.working_dir or "").lower() == expected_work_dir.lower(),
          f"the shortcut's working folder is {shortcut.working_dir!r}, not {expected_work_dir!r}")
    check(os.path.isdir(work_dir), "the working folder Documents\\KADRO was not created")
    check(os.path.isfile(os.path.join(menu_dir, "Uninstall.lnk")),
          "the Start menu has no Uninstall shortcut")

    entry = prefix.registry_values(UNINSTALL_KEY)
    check(entry is not None, f"no entry in Apps & features ({UNINSTALL_KEY})")
    check(entry.get("DisplayName") == f"KADRO {version}",
          f"Apps & features shows {entry.get('DisplayName')!r}")
    uninstaller = entry.get("UninstallString", "").strip('"')
    check(os.path.isfile(prefix.unix_path(uninstaller)) if uninstaller else False,
          f"the entry's uninstaller {uninstaller!r} does not exist")

    # The installed programs run from where they were put.
    status, text = prefix.output([os.path.join(program_dir, "kadro-remote.exe"), "--version"])
    check(status == 0 and text.strip() == f"kadro-remote {version}",
          f"the installed kadro-remote.exe --version gave {status} and {text.strip()!r}")
    status, text = prefix.output([os.path.join(program_dir, "kadro.exe"), "--version"])
    check(status == 0 and text.strip() == f"kadro {version}",
          f"the installed kadro.exe --version gave {status} and {text.strip()!r}")
    # kadro.exe started as the shortcut starts it: it loads and waits in its file chooser
    # (a missing library or a crash ends it at once), in the working folder.
    kadro = prefix.start([prefix.unix_path(shortcut.target)], "kadro.log",
                         cwd=prefix.unix_path(shortcut.working_dir))
    try:
        ended = kadro.wait(timeout=3)
    except subprocess.TimeoutExpired:
        ended = None
    finally:
        kadro.kill()
        kadro.wait()
    check(ended is None, f"kadro.exe started from the shortcut ended at once (status {ended})")

    # The user's settings and images in the working folder are theirs; the uninstaller keeps them.
    settings = b"[Impostazioni]\r\nPorta=COM3\r\n"
    with open(os.path.join(work_dir, "KADRO.INI"), "wb") as file:
        file.write(settings)
    with open(os.path.join(work_dir, "disk.vks"), "wb") as file:
        file.write(bytes(4608))

    # The uninstaller copies itself to a temporary folder and goes on from there, so its own end
    # says nothing: wait for what it removes.
    started = time.monotonic()
    status = prefix.run([prefix.unix_path(uninstaller), "/S"], "uninstall.log", timeout=120)
    check(status == 0, f"the uninstaller ended with status {status}")
    gone = wait_until(lambda: not os.path.exists(program_dir) and not os.path.exists(menu_dir),
                      timeout=60)
    print(f"uninstalled in {time.monotonic() - started:.1f} s")
    if not gone:
        left = [os.path.join(folder, name) for folder in (program_dir, menu_dir)
                if os.path.isdir(folder) for name in os.listdir(folder)]
        raise CheckFailed(f"the uninstaller left {left}")
    check(prefix.registry_values(UNINSTALL_KEY) is None,
          "the entry in Apps & features is still there after uninstalling")
    settings_path = os.path.join(work_dir, "KADRO.INI")
    check(os.path.isfile(settings_path), "the uninstaller removed the user's KADRO.INI")
    with open(settings_path, "rb") as file:
        check(file.read() == settings, "the uninstaller changed the user's KADRO.INI")
    check(os.path.isfile(os.path.join(work_dir, "disk.vks")),
          "the uninstaller removed the user's image")


if __name__ == "__main__":
    sys.exit(main())
