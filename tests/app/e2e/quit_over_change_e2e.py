#!/usr/bin/env python3
"""Quitting over another program's change to a file saves the edits with force: the user chose
"Keep editing", then Ctrl+Q; the editor writes the edited text over the disk and exits 0 without
asking again.

Usage: quit_over_change_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools."""

import sys

import harness
from pending_change import EDITED, edit_then_change_outside


def quit_saves_with_force(session):
    editor, _ = edit_then_change_outside(session)
    session.focus("ext.txt*")
    session.keys("ctrl+q")
    session.wait_exit(editor)
    session.expect_file("ext.txt", EDITED, "Ctrl+Q over the pending change")


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([("quit_saves_with_force", quit_saves_with_force)]))
