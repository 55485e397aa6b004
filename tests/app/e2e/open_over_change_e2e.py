#!/usr/bin/env python3
"""Opening another file into a window whose edits cannot be saved (another program changed the
file and the user kept editing) asks first: "Unsaved Changes" with Overwrite disk, Discard
Changes and Cancel (the default). Cancel keeps the document and its edits; Discard Changes loads
the other file and leaves the disk as the other program wrote it.

Usage: open_over_change_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools
or the accessibility bus (it tells which dialog button holds the focus)."""

import sys

import harness
from pending_change import OTHER_PROGRAM, edit_then_change_outside

QUESTION = "Unsaved Changes"
BUTTONS = {"Overwrite disk", "Discard Changes", "Cancel"}
SECOND = "second file\n"


def open_through_panel(session, path):
    session.focus("ext.txt*")
    session.keys("ctrl+o")
    # The panel's file name field has the focus when it opens.
    session.focus("Open")
    session.type(path)
    session.keys("Return")
    dialogs = session.wait_dialog(["ext.txt*", "Open"])
    if dialogs != [QUESTION]:
        session.fail("opening over the edits should ask %r, the dialogs are %s" % (QUESTION, dialogs))
    buttons = set(session.wait_for("the question's buttons", lambda: session.a11y.buttons(QUESTION)))
    if buttons != BUTTONS:
        session.fail("the question offers %s, expected %s" % (sorted(buttons), sorted(BUTTONS)))


def open_asks_before_discarding(session):
    editor, _ = edit_then_change_outside(session)
    second = session.write("second.txt", SECOND)
    open_through_panel(session, second)
    # Return takes the default, Cancel: the edited document stays.
    session.focus(QUESTION)
    session.keys("Return")
    session.wait_no_window(QUESTION)
    session.wait_no_window("Open")
    if session.titles().count("ext.txt*") != 1 or session.window("second.txt"):
        session.fail("after Cancel the window should still show ext.txt with its edits")
    session.expect_file("ext.txt", OTHER_PROGRAM, "Cancel")

    open_through_panel(session, second)
    session.choose(QUESTION, "Discard Changes")
    session.wait_window("second.txt")
    if session.window("ext.txt*") or session.window("ext.txt"):
        session.fail("Discard Changes should load second.txt into the window that showed ext.txt")
    session.expect_file("ext.txt", OTHER_PROGRAM, "Discard Changes")
    session.focus("second.txt")
    session.keys("ctrl+q")
    session.wait_exit(editor)
    session.expect_file("ext.txt", OTHER_PROGRAM, "quit after Discard Changes")
    session.expect_file("second.txt", SECOND, "quit after Discard Changes")


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([("open_asks_before_discarding", open_asks_before_discarding)],
                                   accessibility=True))
