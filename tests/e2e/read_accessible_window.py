"""Prints the texts of a window of an application as a screen reader finds them on the
accessibility bus (AT-SPI), one per line, then exits 0; exits 1 if no such window shows up.

Usage: read_accessible_window.py APPLICATION WINDOW-TITLE [SECONDS]
"""
import sys
import time

import pyatspi

TEXT_ROLES = (pyatspi.ROLE_LABEL, pyatspi.ROLE_STATIC, pyatspi.ROLE_TEXT)


def texts(accessible, found):
    for child in accessible:
        if child is None:
            continue
        if child.getRole() in TEXT_ROLES and child.name:
            found.append(child.name)
        texts(child, found)
    return found


def find_window(application, title):
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != application:
            continue
        for window in app:
            if window is not None and window.name == title and \
                    window.getState().contains(pyatspi.STATE_SHOWING):
                return window
    return None


def main():
    application, title = sys.argv[1], sys.argv[2]
    deadline = time.monotonic() + float(sys.argv[3] if len(sys.argv) > 3 else 10)
    while time.monotonic() < deadline:
        window = find_window(application, title)
        if window is not None:
            found = texts(window, [])
            if found:
                print("\n".join(found))
                return 0
        time.sleep(0.1)
    return 1


sys.exit(main())
