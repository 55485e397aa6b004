#!/usr/bin/env python3
"""Indentation with real keys: Return after a YAML key without a value starts the next line one
level deeper in the file's own indentation, and Tab and Shift+Tab on a selection of lines indent
and outdent them; each time the auto-save writes exactly those bytes.

Usage: indentation_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools."""

import sys

import harness


def open_file(session, name, text):
    path = session.write(name, text)
    editor = session.launch(path, wait_painted=path)
    session.focus(name)
    return editor


def return_after_yaml_key(session):
    # Indented by two spaces: the new level is two spaces, not the default four.
    editor = open_file(session, "config.yaml", "root:\n  a: 1\n")
    session.keys("ctrl+End")
    session.type("b:")
    session.keys("Return")
    session.type("c: 2")
    session.wait_file("config.yaml", "root:\n  a: 1\nb:\n  c: 2")
    session.keys("ctrl+q")
    session.wait_exit(editor)


def tab_and_shift_tab_on_lines(session):
    original = "one\ntwo\nthree\n"
    editor = open_file(session, "list.txt", original)
    # From the start of the text to the start of its third line: the first two lines.
    session.keys("ctrl+Home", "shift+Down", "shift+Down", "Tab")
    session.wait_file("list.txt", "    one\n    two\nthree\n")
    # The selection still covers both lines: Shift+Tab takes them back.
    session.keys("shift+Tab")
    session.wait_file("list.txt", original)
    session.keys("ctrl+q")
    session.wait_exit(editor)


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([
        ("return_after_yaml_key", return_after_yaml_key),
        ("tab_and_shift_tab_on_lines", tab_and_shift_tab_on_lines),
    ]))
