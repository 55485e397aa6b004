#!/usr/bin/env python3
"""Closing a window whose edits could not be saved over another program's change never loses
them silently: Ctrl+W asks "Unsaved Changes" (Overwrite disk, Save As…, Close Without Saving,
Cancel; Cancel is the default), and only the user's answer decides what the disk keeps.

Usage: close_over_change_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools
or the accessibility bus (it tells which dialog button holds the focus)."""

import sys

import harness
from pending_change import EDITED, OTHER_PROGRAM, edit_then_change_outside

QUESTION = "Unsaved Changes"
BUTTONS = {"Overwrite disk", "Save As…", "Close Without Saving", "Cancel"}


def ask_to_close(session):
    session.focus("ext.txt*")
    session.keys("ctrl+w")
    dialogs = session.wait_dialog(["ext.txt*"])
    if dialogs != [QUESTION]:
        session.fail("Ctrl+W should ask %r, the dialogs are %s" % (QUESTION, dialogs))
    buttons = set(session.wait_for("the question's buttons", lambda: session.a11y.buttons(QUESTION)))
    if buttons != BUTTONS:
        session.fail("the question offers %s, expected %s" % (sorted(buttons), sorted(BUTTONS)))


def close_without_saving(session):
    editor, _ = edit_then_change_outside(session)
    ask_to_close(session)
    # Return takes the default, Cancel: the window stays with its edits.
    session.focus(QUESTION)
    session.keys("Return")
    session.wait_no_window(QUESTION)
    session.expect_file("ext.txt", OTHER_PROGRAM, "Cancel")
    ask_to_close(session)
    session.choose(QUESTION, "Close Without Saving")
    # The last window closed: the editor ends.
    session.wait_exit(editor)
    session.expect_file("ext.txt", OTHER_PROGRAM, "Close Without Saving")


def overwrite_disk(session):
    editor, _ = edit_then_change_outside(session)
    ask_to_close(session)
    session.choose(QUESTION, "Overwrite disk")
    session.wait_exit(editor)
    session.expect_file("ext.txt", EDITED, "Overwrite disk")


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([
        ("close_without_saving", close_without_saving),
        ("overwrite_disk", overwrite_disk),
    ], accessibility=True))
