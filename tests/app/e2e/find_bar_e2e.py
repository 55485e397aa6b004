#!/usr/bin/env python3
"""The find bar never writes into the document: Return, Shift+Return and Escape in the find field,
Tab and Shift+Tab through the bar's controls, Return in the Replace field and Space on "All" act
on the bar alone; the quit that follows writes only what the bar replaced.

The bar's controls in the order Tab visits them: the find field, Previous, Next, Match Case,
Done, then the replace row: the Replace field, Replace, All.

Usage: find_bar_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools."""

import sys

import harness

WORDS = "alpha beta alpha gamma alpha\n"
# Tab presses from the find field to the Replace field and to the "All" button.
TABS_TO_REPLACE_FIELD = 5
TABS_TO_ALL = 7


def open_words(session):
    path = session.write("words.txt", WORDS)
    editor = session.launch(path, wait_painted=path)
    session.focus("words.txt")
    return editor


def quit_editor(session, editor):
    session.keys("ctrl+q")
    session.wait_exit(editor)


def find_keys_leave_document_alone(session):
    editor = open_words(session)
    session.keys("ctrl+f")
    session.type("alpha")
    session.keys("Return", "Return", "shift+Return", "Escape")
    quit_editor(session, editor)
    session.expect_file("words.txt", WORDS, "find, next, next, previous, hide, quit")


def return_in_replace_field_replaces_once(session):
    editor = open_words(session)
    session.keys("ctrl+h")
    session.type("alpha")
    session.keys(*["Tab"] * TABS_TO_REPLACE_FIELD)
    # Back and forth once: Shift+Tab is as harmless as Tab.
    session.keys("shift+Tab", "Tab")
    session.type("omega")
    session.keys("Return")
    # The replacement is an edit: the title takes its mark.
    session.wait_window("words.txt*")
    session.keys("Escape")
    quit_editor(session, editor)
    text = session.read("words.txt")
    if "\t" in text or text.count("\n") != 1 or text.count("omega") != 1 \
            or text.replace("omega", "alpha", 1) != WORDS:
        session.fail("Return in the Replace field should replace one match and nothing else: the file holds %r"
                     % text)


def replace_all_from_the_keyboard(session):
    editor = open_words(session)
    session.keys("ctrl+h")
    session.type("alpha")
    session.keys(*["Tab"] * TABS_TO_REPLACE_FIELD)
    session.type("omega")
    session.keys(*["Tab"] * (TABS_TO_ALL - TABS_TO_REPLACE_FIELD))
    session.keys("space")
    session.wait_window("words.txt*")
    session.keys("Escape")
    quit_editor(session, editor)
    session.expect_file("words.txt", WORDS.replace("alpha", "omega"), "Space on All, quit")


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([
        ("find_keys_leave_document_alone", find_keys_leave_document_alone),
        ("return_in_replace_field_replaces_once", return_in_replace_field_replaces_once),
        ("replace_all_from_the_keyboard", replace_all_from_the_keyboard),
    ]))
