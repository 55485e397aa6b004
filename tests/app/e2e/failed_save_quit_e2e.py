#!/usr/bin/env python3
"""Quitting when a save fails (the file was made read-only after it was opened): one question,
"Unsaved Changes" with Cancel as its default; Cancel keeps the editor running with the edits and
a later Ctrl+Q asks again. SIGTERM never waits on a question: the editor exits 0 at once and keeps
the text it could not save in a recovery copy in the scratch folder, and the next launch says
where.

Usage: failed_save_quit_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools
or the accessibility bus (it tells the default button and the alert's text)."""

import os
import sys

import harness

QUESTION = "Unsaved Changes"
ORIGINAL = "kept safe\n"
EDITED = ORIGINAL + "typed"


def ask_to_quit(session):
    session.keys("ctrl+q")
    dialogs = session.wait_dialog(["ro.txt*"])
    if dialogs != [QUESTION]:
        session.fail("Ctrl+Q over a failing save should ask one question, %r; the dialogs are %s"
                     % (QUESTION, dialogs))
    default = session.wait_for("the question's default button", lambda: session.default_button(QUESTION))
    if default != "Cancel":
        session.fail("the question's default button is %r, expected 'Cancel'" % default)


def recovery_copies(session):
    folder = os.path.join(session.root, "data", "Corvane", "scratch")
    found = []
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        path = os.path.join(folder, name)
        if os.path.isfile(path) and session.read(path) == EDITED:
            found.append(path)
    return found


def cancel_then_quit(session):
    path = session.write("ro.txt", ORIGINAL)
    editor = session.launch(path, wait_painted=path)
    # Read-only after it was opened: every save of it now fails ("The file is read-only").
    os.chmod(path, 0o444)
    session.focus("ro.txt")
    session.keys("ctrl+End")
    session.type("typed")
    session.wait_window("ro.txt*")

    ask_to_quit(session)
    session.focus(QUESTION)
    session.keys("Return")
    session.wait_for("no dialog left after Cancel", lambda: not session.dialogs(["ro.txt*"]))
    if not editor.running() or not session.window("ro.txt*"):
        session.fail("Cancel should keep the editor running with the edited window")

    # Asked again: a cancelled quit must not disable the next one.
    session.focus("ro.txt*")
    ask_to_quit(session)

    # SIGTERM while the question is up: a prompt, clean exit that keeps the text.
    session.terminate(editor)
    session.wait_exit(editor, timeout=5)
    session.expect_file("ro.txt", ORIGINAL, "the failed saves")
    copies = recovery_copies(session)
    if not copies:
        session.fail("no recovery copy holding %r in the scratch folder" % EDITED)

    # The next launch says where the text was kept.
    session.launch()
    dialogs = session.wait_dialog(["ro.txt", "ro.txt*", "Corvane"])
    texts = " ".join(session.wait_for("the alert's text", lambda: session.a11y.texts(dialogs[0])))
    if os.path.basename(copies[0]) not in texts and os.path.dirname(copies[0]) not in texts:
        session.fail("the alert %r should name where the text was kept (%s): %r" % (dialogs[0], copies[0], texts))


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([("cancel_then_quit", cancel_then_quit)], accessibility=True))
