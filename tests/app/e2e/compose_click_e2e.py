#!/usr/bin/env python3
"""Dead keys through Qt's compose input context (QT_IM_MODULE=compose): dead_acute then e types
"é"; a mouse click between the dead key and the letter resets the composition, so the letter
lands as a plain "e" where the click put the caret and nothing stays behind at the old place.

xdotool sends dead_acute by binding it to a spare key code for the moment (the us layout has no
dead keys); Qt composes from the locale's compose table, so the editor runs with LANG=C.UTF-8.

Where the click goes is measured, not guessed: the text view's place comes from the
accessibility bus, and the height of a line from clicks at the far right of the view, read back
from the caret position in the status bar ("Ln 2, Col 7").

Usage: compose_click_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools
or the accessibility bus."""

import re
import sys

import harness

TEXT = "first\nsecond\n"
CARET = re.compile(r"^Ln (\d+), Col (\d+)$")


def open_two_lines(session):
    session.env.update(QT_IM_MODULE="compose", LANG="C.UTF-8")
    session.env.pop("LC_ALL", None)
    path = session.write("two.txt", TEXT)
    editor = session.launch(path, wait_painted=path)
    session.focus("two.txt")
    return editor


def dead_key_composes(session):
    editor = open_two_lines(session)
    session.keys("ctrl+End", "dead_acute", "e")
    session.wait_window("two.txt*")
    session.keys("ctrl+q")
    session.wait_exit(editor)
    session.expect_file("two.txt", TEXT + "é", "dead_acute, e")


class Layout:
    """The text view's place on the screen and the caret label of the status bar."""

    def __init__(self, session):
        self.session = session
        a11y = session.a11y
        frame = session.wait_for("the window on the accessibility bus", lambda: a11y.window("two.txt"))
        nodes = a11y.descendants(frame, ("label", "filler"))
        labels = [node for role, name, node in nodes if role == "label" and CARET.match(name or "")]
        # The text view is the widget that holds the keyboard focus.
        views = [node for role, _, node in nodes if role == "filler" and a11y.FOCUSED in a11y.states(node)]
        if not labels or not views:
            session.fail("no caret label or focused text view on the accessibility bus")
        self.label = labels[0]
        self.view = a11y.extents(views[-1])

    def caret(self):
        match = CARET.match(self.session.a11y.name(self.label) or "")
        return (int(match.group(1)), int(match.group(2))) if match else None

    def wait_caret(self, what, condition):
        return self.session.wait_for(what, lambda: (lambda caret: caret if caret and condition(caret) else None)(
            self.caret()))

    def line_end_point(self, line):
        """A point at the far right of `line`: clicks from the top of the view down, each after
        Ctrl+Home (Ln 1, Col 1, which no click at the right can give), until the caret lands on
        the line after it; the middle of the clicks that gave `line` is the answer."""
        x, y, width, height = self.view
        right = x + width - 40  # clear of a vertical scroll bar
        # Steps wider than the double-click distance: two quick clicks must stay two clicks.
        hits = []
        for top in range(y + 2, y + min(height, 400), 7):
            self.session.keys("ctrl+Home")
            self.wait_caret("the caret at the start", lambda caret: caret == (1, 1))
            self.session.click(right, top)
            landed = self.wait_caret("the caret to move with the click", lambda caret: caret != (1, 1))
            if landed[0] == line:
                hits.append(top)
            elif landed[0] > line:
                break
        if not hits:
            self.session.fail("no click at the right of the view reached line %d" % line)
        return right, (hits[0] + hits[-1]) // 2


def click_resets_composition(session):
    editor = open_two_lines(session)
    layout = Layout(session)
    point = layout.line_end_point(2)
    # The caret at the end of line 1, a dead key pending.
    session.keys("ctrl+Home", "End")
    layout.wait_caret("the caret at the end of line 1", lambda caret: caret == (1, 6))
    session.keys("dead_acute")
    session.click(*point)
    layout.wait_caret("the caret at the end of line 2", lambda caret: caret == (2, 7))
    session.keys("e")
    session.wait_window("two.txt*")
    session.keys("ctrl+q")
    session.wait_exit(editor)
    session.expect_file("two.txt", "first\nseconde\n", "dead_acute, click at the end of line 2, e")


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([
        ("dead_key_composes", dead_key_composes),
        ("click_resets_composition", click_resets_composition),
    ], accessibility=True))
