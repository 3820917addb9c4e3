#!/usr/bin/env python3
"""Runs a command under Wine with another code page for the system.

    with_code_page.py --locale-dir DIR LOCALE CODE_PAGE COMMAND [ARGS...]

Wine takes the system's code page from the Unix locale. LOCALE (for example ru_RU.UTF-8, whose
Windows code page is 1251) is compiled into DIR with localedef when it is not there yet, so the
machine need not have it installed; the command runs with LOCPATH=DIR, LC_ALL=LOCALE and
KADRO_TEST_ACP=CODE_PAGE, which a test compares with GetACP() so that a run that did not get
the code page cannot pass unnoticed. Exit code 77 (skipped) when the locale cannot be made.
"""
import os
import shutil
import subprocess
import sys
import tempfile


def main():
    args = sys.argv[1:]
    if len(args) < 5 or args[0] != "--locale-dir":
        raise SystemExit(__doc__)
    locale_dir, locale, code_page, command = args[1], args[2], args[3], args[4:]
    target = os.path.join(locale_dir, locale)
    if not os.path.isdir(target):
        # Made aside and renamed into place: tests running at the same time may both make it.
        os.makedirs(locale_dir, exist_ok=True)
        scratch = tempfile.mkdtemp(dir=locale_dir)
        source, _, charmap = locale.partition(".")
        # localedef also ends with 1 for mere warnings; what counts is the compiled locale.
        subprocess.call(["localedef", "-i", source, "-f", charmap or "UTF-8",
                         os.path.join(scratch, locale)],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            os.rename(os.path.join(scratch, locale), target)
        except OSError:
            pass
        shutil.rmtree(scratch, ignore_errors=True)
        if not os.path.isdir(target):
            print(f"with_code_page: cannot make the locale {locale} (package locales?)")
            return 77
    env = dict(os.environ, LOCPATH=locale_dir, LC_ALL=locale, KADRO_TEST_ACP=code_page)
    return subprocess.call(command, env=env)


if __name__ == "__main__":
    sys.exit(main())
