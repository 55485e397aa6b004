#!/usr/bin/env python3
"""A whole session with the real editor, driven with xdotool as a user would: launch with two
files, hand a third over through a second launch, Ctrl+N for a scratch window, type and let it
auto-save, close it and keep the note through the save panel, quit, relaunch and find the last
file reopened and the recent files stored, and lose nothing to a SIGTERM.

Usage: session_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools."""

import json
import os
import sys

import harness


def session(s):
    first = s.write("a.json", '{"a": 1}\n')
    second = s.write("b.txt", "bee\n")
    third = s.write("c.txt", "sea\n")

    # Two files from the command line: a window each.
    editor = s.launch(first, second, wait_painted=second)
    s.wait_window("a.json")
    s.wait_window("b.txt")

    # A second launch hands its file over and ends; no second editor stays behind.
    forwarded = s.launch(third)
    s.wait_exit(forwarded, timeout=20)
    s.wait_window("c.txt")
    if s.editor_processes() != [editor.process.pid]:
        s.fail("expected one editor process, found %s" % s.editor_processes())

    # Ctrl+N: a scratch window; what is typed is saved by itself (the auto-save is the subject).
    s.focus("a.json")
    s.keys("ctrl+n")
    scratch_folder = os.path.join(s.root, "data", "Corvane", "scratch")
    scratch_name = s.wait_for("a scratch file", lambda: next(iter(os.listdir(scratch_folder)), None)
                              if os.path.isdir(scratch_folder) else None)
    s.focus(scratch_name)
    s.type("kept from scratch")
    scratch = os.path.join(scratch_folder, scratch_name)
    s.wait_file(scratch, "kept from scratch", timeout=15)

    # Closing it asks, in a dialog titled like the window; Save… (the default) leads to the panel.
    s.keys("ctrl+w")
    question = s.wait_for("the close question", lambda: [window for window, title in s.windows()
                                                         if title == scratch_name][1:])
    s.activate(question[0], "the close question")
    s.keys("Return")
    s.focus("Save Note")
    kept = s.path("note.txt")
    s.keys("ctrl+a")
    s.type(kept)
    s.keys("Return")
    s.wait_for("the note at its new place", lambda: os.path.exists(kept) and not os.path.exists(scratch))
    s.expect_file("note.txt", "kept from scratch", "the note kept through the save panel")
    s.wait_no_window(scratch_name)

    # An edit, then quit: the edit is saved and the editor ends.
    s.focus("b.txt")
    s.keys("ctrl+End")
    s.type("edited")
    s.wait_window("b.txt*")
    s.keys("ctrl+q")
    s.wait_exit(editor, timeout=20)
    s.expect_file("b.txt", "bee\nedited", "the quit")

    # Relaunch: the last file opened comes back, and the recent files were stored.
    editor = s.launch()
    s.wait_window("c.txt", timeout=15)
    with open(os.path.join(s.root, "config", "Corvane", "Corvane.conf")) as file:
        settings = file.read()
    stored = settings.split("recents.v1=", 1)[1].splitlines()[0]
    stored = stored.strip('"').removeprefix("@ByteArray(").removesuffix(")").replace('\\"', '"')
    recents = [entry["path"] for entry in json.loads(stored)]
    for path in (first, second, third, kept):
        if path not in recents:
            s.fail("%s missing from the recent files %s" % (path, recents))

    # SIGTERM while editing is a normal quit: nothing typed is lost.
    s.focus("c.txt")
    s.keys("ctrl+End")
    s.type("typed before TERM")
    # The title's mark comes with the first key. Keys are handled in order, so once the panel
    # that Ctrl+S opens is up, every typed key has been too.
    s.keys("ctrl+s")
    s.focus("Save")
    s.keys("Escape")
    s.wait_no_window("Save")
    s.wait_window("c.txt*")
    s.terminate(editor)
    s.wait_exit(editor, timeout=20)
    s.expect_file("c.txt", "sea\ntyped before TERM", "SIGTERM")


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([("session", session)]))
