#!/usr/bin/python3
"""Prints what a screen reader sees of the running Tandra window over AT-SPI,
one JSON list a line: role, name, description. With a name as argument it
then presses the push button so named, through its "Press" action."""
import json
import sys
import time

import pyatspi


def tandra():
    for _ in range(150):
        desktop = pyatspi.Registry.getDesktop(0)
        for application in filter(None, (desktop.getChildAtIndex(i) for i in range(desktop.childCount))):
            if application.name == "Tandra" and application.childCount > 0:
                return application
        time.sleep(0.1)
    sys.exit("Tandra is not on the accessibility bus")


def walk(accessible):
    yield accessible
    for index in range(accessible.childCount):
        yield from walk(accessible.getChildAtIndex(index))


pressed = sys.argv[1] if len(sys.argv) > 1 and sys.argv[1] else None
for accessible in walk(tandra()):
    print(json.dumps([accessible.getRoleName(), accessible.name, accessible.description], ensure_ascii=False))
    if accessible.getRole() == pyatspi.ROLE_PUSH_BUTTON and accessible.name == pressed:
        action = accessible.queryAction()
        action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))
        pressed = None
sys.exit("no push button to press" if pressed else 0)
