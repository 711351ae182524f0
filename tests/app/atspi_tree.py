#!/usr/bin/python3
"""Prints what a screen reader sees of the running Tandra window over AT-SPI,
one JSON list a line: role, name, description. Each argument "role:name"
then runs the "Press" action of what is so named, wherever offered."""
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
        child = accessible.getChildAtIndex(index)
        if child is not None:  # a child the toolkit counts but can't give
            yield from walk(child)


unpressed = [argument for argument in sys.argv[1:] if argument]
for accessible in walk(tandra()):
    print(json.dumps([accessible.getRoleName(), accessible.name, accessible.description], ensure_ascii=False))
    named = accessible.getRoleName() + ":" + accessible.name
    if named in unpressed:
        action = accessible.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        if "Press" in names:
            action.doAction(names.index("Press"))
            unpressed.remove(named)
sys.exit("nothing to press: " + ", ".join(unpressed) if unpressed else 0)
