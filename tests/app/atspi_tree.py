#!/usr/bin/python3
"""Prints what a screen reader sees of the running Tandra window over AT-SPI,
one JSON object a line: depth, role, name, description and action names.

--press NAME then carries out the "Press" action of the push button so named,
as a screen reader's user would. Exits 2 when the program is not found on the
accessibility bus, 3 when the button or its action is not there.
"""
import argparse
import json
import sys
import time

import pyatspi


def find_application(name, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            application = desktop.getChildAtIndex(index)
            if application is not None and application.name == name and application.childCount > 0:
                return application
        time.sleep(0.1)
    return None


def action_names(accessible):
    try:
        action = accessible.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(index) for index in range(action.nActions)]


def walk(accessible, depth=0):
    yield depth, accessible
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            yield from walk(child, depth + 1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--press", metavar="NAME")
    arguments = parser.parse_args()

    application = find_application("Tandra", 15)
    if application is None:
        print("Tandra is not on the accessibility bus", file=sys.stderr)
        return 2
    button = None
    for depth, accessible in walk(application):
        print(json.dumps({"depth": depth, "role": accessible.getRoleName(), "name": accessible.name,
                          "description": accessible.description, "actions": action_names(accessible)},
                         ensure_ascii=False), flush=True)
        if accessible.getRole() == pyatspi.ROLE_PUSH_BUTTON and accessible.name == arguments.press:
            button = accessible
    if arguments.press is None:
        return 0
    if button is None or "Press" not in action_names(button):
        print("no push button %r to press" % arguments.press, file=sys.stderr)
        return 3
    button.queryAction().doAction(action_names(button).index("Press"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
