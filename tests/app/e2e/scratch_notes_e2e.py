#!/usr/bin/env python3
"""Scratch notes a crash left behind are listed on the welcome screen and open from it with the
keyboard alone: Tab to the note's row (the accessibility bus tells where the focus is), Space.

Usage: scratch_notes_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools."""

import os
import sys

import harness


def note_opens_from_the_welcome_screen(session):
    folder = os.path.join(session.root, "data", "Corvane", "scratch")
    os.makedirs(folder)
    note = os.path.join(folder, "new-01.01.26.txt")
    with open(note, "w") as file:
        file.write("\n  left by a crash  \nsecond line\n")
    # An empty note is no note: it gets no row.
    open(os.path.join(folder, "new-02.01.26.txt"), "w").close()
    editor = session.launch()
    session.wait_window("Corvane")
    buttons = session.wait_for("the note's row", lambda: session.a11y.buttons("Corvane"), 20)
    if "left by a crash" not in buttons or "Empty first line" in buttons:
        session.fail("the welcome screen lists %s" % sorted(buttons))
    session.choose("Corvane", "left by a crash")
    session.wait_window("new-01.01.26.txt")
    session.keys("ctrl+End")
    session.type("more")
    session.wait_window("new-01.01.26.txt*")
    session.keys("ctrl+q")
    session.wait_exit(editor)
    session.expect_file(note, "\n  left by a crash  \nsecond line\nmore", "after typing into the note and quitting")


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([
        ("note_opens_from_the_welcome_screen", note_opens_from_the_welcome_screen),
    ], accessibility=True))
