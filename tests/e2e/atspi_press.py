#!/usr/bin/python3
"""Presses a button of a running program through the accessibility bus, the way a
screen reader or a UI script would.

    atspi_press.py PID NAME [NAME ...] [--timeout SECONDS]

Finds the application with process id PID on the AT-SPI desktop, waits until one of
its push buttons is named one of NAMEs and showing, and invokes that button's first
action. Prints the name it pressed. Exits 0 when pressed, 1 when nothing was found in
time, 2 on usage errors."""

import argparse
import sys
import time

import pyatspi


def application_with_pid(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application that went away while we looked
            continue
    return None


def find_button(node, names, depth=0):
    if node is None or depth > 64:
        return None
    try:
        role = node.getRole()
        if role == pyatspi.ROLE_PUSH_BUTTON and node.name in names:
            states = node.getState()
            if states.contains(pyatspi.STATE_SHOWING) and states.contains(pyatspi.STATE_ENABLED):
                return node
        for index in range(node.childCount):
            found = find_button(node.getChildAtIndex(index), names, depth + 1)
            if found is not None:
                return found
    except Exception:  # the tree changed under us; the next round looks again
        return None
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pid", type=int)
    parser.add_argument("names", nargs="+")
    parser.add_argument("--timeout", type=float, default=20.0)
    args = parser.parse_args()

    deadline = time.monotonic() + args.timeout
    while time.monotonic() < deadline:
        app = application_with_pid(args.pid)
        button = find_button(app, set(args.names)) if app is not None else None
        if button is not None:
            name = button.name  # before the press changes it
            action = button.queryAction()
            if action.nActions > 0 and action.doAction(0):
                print(name)
                return 0
        time.sleep(0.2)
    print(f"no button named {args.names} in process {args.pid}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
