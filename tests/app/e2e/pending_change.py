"""The set-up that the close, quit and open scenarios share: a document with unsaved edits whose
file another program has since replaced, the user having answered "Keep editing"."""

import os
import time

ORIGINAL = "one\n"
TYPED = "typed"
EDITED = ORIGINAL + TYPED
OTHER_PROGRAM = "written by another program\n"
CHANGED_DIALOG = "File changed on disk"


def edit_then_change_outside(session, name="ext.txt"):
    """Opens NAME, types at its end, lets another program overwrite it (with a modification time
    an hour in the past: any difference counts, not only a newer time), moves the focus to another
    application so that the editor tries to save, and answers the question with Escape ("Keep
    editing"). Returns the editor and the file's path."""
    path = session.write(name, ORIGINAL)
    editor = session.launch(path, wait_painted=path)
    session.focus(name)
    session.keys("ctrl+End")
    session.type(TYPED)
    session.wait_window(name + "*")
    session.write(name, OTHER_PROGRAM)
    an_hour_ago = time.time() - 3600
    os.utime(path, (an_hour_ago, an_hour_ago))
    session.focus_away(lambda: session.window(CHANGED_DIALOG),
                       "the %r question after the focus left the editor" % CHANGED_DIALOG)
    session.focus(CHANGED_DIALOG)
    session.keys("Escape")
    session.wait_no_window(CHANGED_DIALOG)
    session.expect_file(name, OTHER_PROGRAM, "after Keep editing")
    return editor, path
