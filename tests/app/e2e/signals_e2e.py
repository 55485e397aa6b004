#!/usr/bin/env python3
"""Signals that would end the editor end it as a quit does: SIGQUIT, SIGUSR1 and SIGUSR2 save
what was typed and exit 0, like SIGTERM; SIGPIPE is ignored.

Usage: signals_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools."""

import signal
import sys

import harness


def typed_then(session, number):
    path = session.write("notes.txt", "kept\n")
    editor = session.launch(path, wait_painted=path)
    session.focus("notes.txt")
    session.keys("ctrl+End")
    session.type("typed")
    # Keys are handled in order: once the panel Ctrl+S opens is up, every typed key has been too.
    session.keys("ctrl+s")
    session.focus("Save")
    session.keys("Escape")
    session.wait_no_window("Save")
    session.wait_window("notes.txt*")
    editor.process.send_signal(number)
    return editor


def scenario_for(number):
    def run(session):
        editor = typed_then(session, number)
        session.wait_exit(editor)
        session.expect_file("notes.txt", "kept\ntyped", "after %s" % signal.Signals(number).name)
    return run


def broken_pipe_is_ignored(session):
    editor = typed_then(session, signal.SIGPIPE)
    # Still there: it answers the next signal by saving and quitting.
    session.wait_window("notes.txt*")
    if not editor.running():
        session.fail("SIGPIPE ended the editor (status %s)" % editor.status())
    session.terminate(editor)
    session.wait_exit(editor)
    session.expect_file("notes.txt", "kept\ntyped", "after SIGPIPE, then SIGTERM")


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([
        ("sigquit_saves_and_quits", scenario_for(signal.SIGQUIT)),
        ("sigusr1_saves_and_quits", scenario_for(signal.SIGUSR1)),
        ("sigusr2_saves_and_quits", scenario_for(signal.SIGUSR2)),
        ("sigpipe_is_ignored", broken_pipe_is_ignored),
    ]))
