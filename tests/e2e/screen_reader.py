#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Uses the running program as a screen reader does, through the AT-SPI registry: presses the key
# C4 of the on-screen keyboard through its press action, types into the tone finder's field and
# presses its clear button, and checks that no control in the whole tree is unnamed. The bytes
# the key sends are the caller's to check. Prints what it did; on a fault, says what and ends
# with status 1.
#   screen_reader.py APPLICATION-NAME
# It runs on Debian's own Python (the first line), where python3-pyatspi installs the bindings.
import sys
import time

import pyatspi

# The roles of what a person can press, type into, choose or move: each needs a name to be
# found and told apart. Containers, labels and the window's own parts may go without.
CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON,
    pyatspi.ROLE_TOGGLE_BUTTON,
    pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_COMBO_BOX,
    pyatspi.ROLE_TEXT,
    pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_SPIN_BUTTON,
    pyatspi.ROLE_SLIDER,
    pyatspi.ROLE_PAGE_TAB,
    pyatspi.ROLE_MENU_ITEM,
    pyatspi.ROLE_LIST_ITEM,
    pyatspi.ROLE_TREE_ITEM,
    pyatspi.ROLE_TABLE_CELL,
    pyatspi.ROLE_COLUMN_HEADER,
}


def fail(message):
    print(f"FAIL: {message}", file=sys.stderr)
    sys.exit(1)


def wait_for(what, condition):
    """Waits until condition() is true, and returns it; the limit only turns a hang into a fault."""
    for _ in range(200):
        result = condition()
        if result:
            return result
        time.sleep(0.1)
    fail(f"gave up waiting for {what}")


def descendants(accessible):
    for child in accessible:
        if child is not None:
            yield child
            yield from descendants(child)


def find(root, name, role):
    for accessible in descendants(root):
        if accessible.name == name and accessible.getRole() == role:
            return accessible
    return None


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def press(accessible):
    """Does the control's press action, as a screen reader's command to activate it does."""
    action = accessible.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Press" not in names:
        fail(f"'{accessible.name}' has the actions {names}, not Press")
    action.doAction(names.index("Press"))


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    return next((app for app in desktop if app is not None and app.name == name), None)


def main():
    program = wait_for("the program on the AT-SPI bus", lambda: application(sys.argv[1]))
    wait_for("the program's window", lambda: program.childCount > 0)

    key = find(program, "C4", pyatspi.ROLE_PUSH_BUTTON)
    if key is None:
        fail("no push button named C4: the keys are not buttons to assistive tools")
    press(key)
    print("pressed the key C4 through its press action")

    # The finder is on the fourth page, hidden until its tab is pressed.
    press(find(program, "音色検索", pyatspi.ROLE_PAGE_TAB) or fail("no page tab 音色検索"))
    field = find(program, "音色検索", pyatspi.ROLE_TEXT) or fail("no search field 音色検索")
    wait_for("the search field to show", lambda: showing(field))
    field.queryEditableText().setTextContents("strings")
    clear = wait_for(
        "a clear button once text is typed",
        lambda: next(
            (c for c in field if c.getRole() == pyatspi.ROLE_PUSH_BUTTON and showing(c)), None
        ),
    )
    if clear.name != "検索語を消す":
        fail(f"the clear button is named '{clear.name}', expected '検索語を消す'")
    if not clear.description:
        fail("the clear button has no description")

    # With the finder's list down to a few rows, the tree is small enough to read whole.
    controls = [a for a in descendants(program) if a.getRole() in CONTROL_ROLES]
    unnamed = [
        f"{a.getRoleName()} in {a.parent.name or a.parent.getRoleName()}"
        for a in controls
        if not a.name
    ]
    if unnamed:
        fail(f"{len(unnamed)} of {len(controls)} controls unnamed: {', '.join(unnamed)}")
    print(f"all {len(controls)} controls in the tree are named")

    press(clear)
    text = field.queryText()
    wait_for("the clear button to empty the field", lambda: text.characterCount == 0)
    print("the clear button is named 検索語を消す and empties the field")


if __name__ == "__main__":
    main()
