#!/usr/bin/env python3
"""The recovery journal against kill -9: the editor is killed at a random instant while xdotool
types without a pause (so the 5 s auto-save never runs), started again, and the recovered edits
are taken with Recover (Alt+R) and saved with Ctrl+Q. Each round checks that at most about the
last second of typing was lost, that the recovered text is exactly a prefix of what was typed, and
that the file on disk was never torn. Then Discard, and a journal a live editor holds.

Usage: journal_e2e.py CORVANE_BINARY [SCENARIO…]. Exit 77 (skipped) without the X tools."""

import os
import random
import signal
import subprocess
import sys
import threading
import time

import harness

ROUNDS = 10
# What one xdotool call types: short, so that the count of characters sent is known closely.
CHUNK = 4
STREAM = "abcdefghijklmnopqrstuvwxyz"
# The journal is flushed every 0.5 s; a second of typing is what may be lost, plus the keys
# still queued in the X server and the editor when the kill came.
ALLOWED_SECONDS = 1.0
# Keys xdotool has sent but the X server and the editor have not handled yet when the kill
# comes: a quarter of a second more under load.
ALLOWED_LAG_SECONDS = 0.25
ALLOWED_EXTRA_CHARACTERS = 2 * CHUNK


def journal_folder(session):
    return os.path.join(session.root, "data", "Corvane", "Corvane", "journal")


def journals(session):
    folder = journal_folder(session)
    return sorted(name for name in os.listdir(folder) if name.endswith(".cvj")) if os.path.isdir(folder) else []


class Typist:
    """Types the endless alphabet into the focused window, CHUNK characters per xdotool call,
    counting the characters of the calls that have returned (sent) and of the one under way."""

    def __init__(self, session):
        self.session = session
        self.sent = 0
        self.in_flight = 0
        self.started = None
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def text(self, count):
        return "".join(STREAM[i % len(STREAM)] for i in range(count))

    def run(self):
        self.started = time.monotonic()
        while not self.stopped.is_set():
            chunk = "".join(STREAM[(self.sent + i) % len(STREAM)] for i in range(CHUNK))
            self.in_flight = CHUNK
            subprocess.run(["xdotool", "type", "--delay", "12", chunk], env=self.session.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.sent += CHUNK
            self.in_flight = 0

    def start(self):
        self.thread.start()

    def stop(self):
        self.stopped.set()
        self.thread.join()


def recover_and_quit(session, path, name):
    """Starts the editor on `path`, waits for the recovered edits (the title's `*`), answers
    Recover with Alt+R and quits with Ctrl+Q, which saves. Returns the file's text."""
    editor = session.launch(path, wait_painted=path)
    session.focus(name + "*")
    session.keys("alt+r")
    session.keys("ctrl+q")
    session.wait_exit(editor)
    return session.read(path)


def kill_while_typing(session):
    name = "typed.txt"
    start = "kept\n"
    path = session.write(name, start)
    rng = random.Random(os.getpid())
    for round_number in range(1, ROUNDS + 1):
        editor = session.launch(path, wait_painted=path)
        session.focus(name)
        session.keys("ctrl+End")
        typist = Typist(session)
        typist.start()
        session.wait_for("the first typed key (round %d)" % round_number, lambda: session.window(name + "*"), 15)
        # A random instant while the keys keep coming.
        kill_at = time.monotonic() + rng.uniform(1.2, 3.0)
        harness.poll_until(lambda: time.monotonic() >= kill_at, 10)
        sent = typist.sent
        elapsed = time.monotonic() - typist.started
        os.kill(editor.process.pid, signal.SIGKILL)
        typist.stop()
        upper = typist.sent  # Everything any call sent, the one cut short included.
        session.wait_exit(editor, status=-signal.SIGKILL)

        # Never torn: the file holds the text of the round's start, or a whole save after it.
        on_disk = session.read(path)
        if not on_disk.startswith(start) or typist.text(len(on_disk) - len(start)) != on_disk[len(start):]:
            session.fail("round %d: the file on disk is torn: %r" % (round_number, on_disk[-200:]))
        if not journals(session):
            session.fail("round %d: no journal after %.1fs of typing" % (round_number, elapsed))

        text = recover_and_quit(session, path, name)
        recovered = len(text) - len(start)
        if not text.startswith(start) or text[len(start):] != typist.text(recovered):
            session.fail("round %d: the recovered text is not what was typed: %r" % (round_number, text[-200:]))
        rate = sent / elapsed
        lost = sent - recovered
        allowed = rate * (ALLOWED_SECONDS + ALLOWED_LAG_SECONDS) + ALLOWED_EXTRA_CHARACTERS
        print("round %2d: typed %3d characters in %.1fs (%.0f/s), %3d recovered, lost %3d (allowed %.0f)"
              % (round_number, sent, elapsed, rate, recovered, max(lost, 0), allowed), flush=True)
        if recovered > upper:
            session.fail("round %d: %d characters recovered, only %d typed" % (round_number, recovered, upper))
        if lost > allowed:
            session.fail("round %d: lost %d characters, more than a second of typing (%.0f)"
                         % (round_number, lost, allowed))
        if journals(session):
            session.fail("round %d: journals left after Recover and a save: %s" % (round_number, journals(session)))
        start = text


def discard_reloads_the_file(session):
    name = "discarded.json"
    path = session.write(name, '{"a": 1}\n')
    editor = session.launch(path, wait_painted=path)
    session.focus(name)
    session.keys("ctrl+End")
    session.type("typed")
    session.wait_window(name + "*")
    session.wait_for("the journal", lambda: journals(session))
    os.kill(editor.process.pid, signal.SIGKILL)
    session.wait_exit(editor, status=-signal.SIGKILL)

    editor = session.launch(path, wait_painted=path)
    session.focus(name + "*")
    session.keys("alt+d")
    session.wait_window(name)
    session.wait_for("the journal to be deleted", lambda: not journals(session))
    session.keys("ctrl+q")
    session.wait_exit(editor)
    session.expect_file(name, '{"a": 1}\n', "after Discard")


def journal_of_a_live_editor_is_left_alone(session):
    """A second editor in its own runtime folder (no hand-over to the first) must not take the
    journal the first one is writing."""
    name = "live.txt"
    path = session.write(name, "live\n")
    # The edits must stay unsaved (and journaled) until the checks are done, however slow the
    # machine: no auto-save overtakes them.
    session.env["CORVANE_AUTOSAVE_DELAY_MS"] = "600000"
    first = session.launch(path, wait_painted=path)
    session.focus(name)
    session.keys("ctrl+End")
    session.type("typed")
    session.wait_window(name + "*")
    written = session.wait_for("the journal", lambda: journals(session))
    other_runtime = os.path.join(session.root, "run-second")
    os.makedirs(other_runtime, mode=0o700)
    second_env = dict(session.env, XDG_RUNTIME_DIR=other_runtime, XDG_CACHE_HOME=os.path.join(session.root, "c2"))
    log = open(os.path.join(session.root, "second.log"), "w")
    second = subprocess.Popen([session.binary, "--new-window"], env=second_env, stdout=log, stderr=subprocess.STDOUT)
    try:
        session.wait_for("the second editor's first paint",
                         lambda: "painted " in open(os.path.join(session.root, "second.log")).read(), 20)
        # Had it taken the journal, its window of the file would show the edits as its own.
        if [title for _, title in session.windows()].count(name + "*") != 1:
            session.fail("the second editor took the live editor's edits: %s" % session.titles())
        if journals(session) != written:
            session.fail("the live editor's journal changed: %s, was %s" % (journals(session), written))
    finally:
        second.terminate()
        second.wait()
        log.close()
    session.focus(name + "*")
    session.keys("ctrl+q")
    session.wait_exit(first)
    session.expect_file(name, "live\ntyped", "after Ctrl+Q")
    session.wait_for("no journal after the save", lambda: not journals(session))


if __name__ == "__main__":
    sys.exit(harness.run_scenarios([
        ("kill_while_typing", kill_while_typing),
        ("discard_reloads_the_file", discard_reloads_the_file),
        ("journal_of_a_live_editor_is_left_alone", journal_of_a_live_editor_is_left_alone),
    ]))
