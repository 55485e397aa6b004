#!/usr/bin/env python3
"""A whole session with the real editor under Xvfb, driven with xdotool as a user would:
launch with two files, hand a third over through a second launch, Ctrl+N for a scratch window,
type and let it auto-save, close it and keep the note through the save panel, quit, relaunch and
find the last file reopened and the recent files stored, and lose nothing to a SIGTERM.

Usage: session_e2e.py CORVANE_BINARY. Exit 77 (skipped) without Xvfb or xdotool."""

import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77


# Set by the session: what the screen shows, for a failure's message.
describe_state = None


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    if describe_state:
        print(describe_state(), file=sys.stderr)
    sys.exit(1)


def wait_for(what, condition, timeout=15.0, fatal=True):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    if fatal:
        fail("timed out waiting for " + what)
    return None


class Session:
    def __init__(self, binary, root):
        self.binary = binary
        self.root = root
        self.files = os.path.join(root, "files")
        os.makedirs(self.files)
        runtime = os.path.join(root, "run")
        os.makedirs(runtime, mode=0o700)
        self.env = dict(os.environ)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.update({
            "HOME": root,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(root, "config"),
            "XDG_DATA_HOME": os.path.join(root, "data"),
        })
        self.editor = None
        self.xvfb = self._start_display()
        # A fresh profile would greet the user with the file-types sheet: answered already.
        config = os.path.join(root, "config", "Corvane")
        os.makedirs(config)
        with open(os.path.join(config, "Corvane.conf"), "w") as settings:
            settings.write("[General]\nfileAssociations.hasPrompted.v1=true\nUpdateChecker.lastCheck=4000000000\n")

    def _start_display(self):
        """An X server on a display of its own (a random free one, another when it does not come
        up). -noreset: by default the server resets when its last client leaves, and a client
        connecting during that reset is refused (the readiness check is such a last client)."""
        for number in random.sample(range(200, 900), 20):
            if os.path.exists("/tmp/.X%d-lock" % number):
                continue
            server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1400x900x24", "-nolisten", "tcp",
                                       "-noreset"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.env["DISPLAY"] = ":%d" % number
            ready = lambda: server.poll() is None and subprocess.run(
                ["xdotool", "getdisplaygeometry"], env=self.env, capture_output=True).returncode == 0
            if wait_for("the X server", ready, timeout=10, fatal=False):
                return server
            server.kill()
            server.wait()
        fail("no X server started")

    def close(self):
        if self.editor and self.editor.poll() is None:
            self.editor.kill()
            self.editor.wait()
        self.xvfb.terminate()
        self.xvfb.wait()

    def path(self, name):
        return os.path.join(self.files, name)

    def write(self, name, text):
        with open(self.path(name), "w") as file:
            file.write(text)
        return self.path(name)

    def read(self, name):
        with open(self.path(name)) as file:
            return file.read()

    def launch(self, *arguments):
        self.launches = getattr(self, "launches", 0) + 1
        log = open(os.path.join(self.root, "editor-%d.log" % self.launches), "w")
        return subprocess.Popen([self.binary, *arguments], env=self.env, cwd=self.files,
                                stdout=log, stderr=subprocess.STDOUT)

    def editor_logs(self):
        """Exit status and output of every launch, for a failure's message."""
        report = []
        for n in range(1, getattr(self, "launches", 0) + 1):
            with open(os.path.join(self.root, "editor-%d.log" % n)) as log:
                report.append("launch %d: %s" % (n, log.read().strip()[-2000:]))
        if self.editor is not None:
            report.append("editor status: %s" % self.editor.poll())
        return "\n".join(report)

    def xdotool(self, *arguments):
        result = subprocess.run(["xdotool", *arguments], env=self.env, capture_output=True, text=True)
        return result.stdout.strip()

    def window(self, title):
        """The id of the visible window whose title is exactly `title`, or None."""
        found = self.xdotool("search", "--onlyvisible", "--name", "^" + title.replace(".", "\\.") + "$")
        return found.splitlines()[0] if found else None

    def titles(self):
        ids = self.xdotool("search", "--onlyvisible", "--name", ".").splitlines()
        return sorted(self.xdotool("getwindowname", window) for window in ids)

    def focus(self, title):
        window = wait_for("window " + title, lambda: self.window(title))
        self.xdotool("windowfocus", "--sync", window)
        # On a loaded machine the focus can take a while to land: keys sent before it are lost.
        wait_for("the focus on " + title, lambda: self.xdotool("getwindowfocus").strip() == window, timeout=10)
        time.sleep(0.2)
        return window

    def keys(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "15", text)

    def editors_running(self):
        result = subprocess.run(["pgrep", "-x", "-U", str(os.getuid()), "corvane"], capture_output=True, text=True)
        pids = [int(pid) for pid in result.stdout.split()]
        # Children of this test only (another user's editor is none of its business).
        return [pid for pid in pids if self._environment_root(pid) == self.root]

    def _environment_root(self, pid):
        try:
            with open("/proc/%d/environ" % pid, "rb") as environ:
                for entry in environ.read().split(b"\0"):
                    if entry.startswith(b"HOME="):
                        return entry[5:].decode()
        except OSError:
            return None
        return None


def scenario(session):
    global describe_state
    describe_state = lambda: "windows: %s; editors: %s\n%s" % (session.titles(), session.editors_running(),
                                                              session.editor_logs())
    first = session.write("a.json", '{"a": 1}\n')
    second = session.write("b.txt", "bee\n")
    third = session.write("c.txt", "sea\n")

    # Two files from the command line: a window each.
    session.editor = session.launch(first, second)
    wait_for("two file windows", lambda: session.window("a.json") and session.window("b.txt"))

    # A second launch hands its file over and ends; no second editor stays behind.
    forwarded = session.launch(third)
    if forwarded.wait(timeout=20) != 0:
        fail("the second launch exited with %d" % forwarded.returncode)
    wait_for("the forwarded file's window", lambda: session.window("c.txt"))
    if len(session.editors_running()) != 1:
        fail("expected one editor process, found %s" % session.editors_running())

    # Ctrl+N: a scratch window; what is typed is saved by itself.
    session.focus("a.json")
    session.keys("ctrl+n")
    scratch_folder = os.path.join(session.root, "data", "Corvane", "scratch")
    scratch_name = wait_for("a scratch file", lambda: next(iter(os.listdir(scratch_folder)), None)
                            if os.path.isdir(scratch_folder) else None)
    session.focus(scratch_name)
    session.type("kept from scratch")
    scratch = os.path.join(scratch_folder, scratch_name)
    wait_for("the auto-save", lambda: open(scratch).read() == "kept from scratch", timeout=12)

    # Closing it asks; Save… (the default) leads to the save panel.
    session.keys("ctrl+w")
    wait_for("the close question", lambda: len([t for t in session.titles() if t == scratch_name]) == 2)
    time.sleep(0.3)
    session.keys("Return")
    session.focus("Save Note")
    kept = session.path("note.txt")
    session.keys("ctrl+a")
    session.type(kept)
    session.keys("Return")
    wait_for("the note at its new place", lambda: os.path.exists(kept) and not os.path.exists(scratch))
    if session.read("note.txt") != "kept from scratch":
        fail("the kept note holds %r" % session.read("note.txt"))
    wait_for("the scratch window closed", lambda: scratch_name not in session.titles())

    # An edit, then quit: the edit is saved and the editor ends.
    session.focus("b.txt")
    session.keys("ctrl+End")
    session.type("edited")
    session.keys("ctrl+q")
    if session.editor.wait(timeout=20) != 0:
        fail("quit exited with %d" % session.editor.returncode)
    if session.read("b.txt") != "bee\nedited":
        fail("the quit lost the edit: %r" % session.read("b.txt"))

    # Relaunch: the last file opened comes back, and the recent files were stored.
    session.editor = session.launch()
    settings = open(os.path.join(session.root, "config", "Corvane", "Corvane.conf")).read()
    if not wait_for("the last file reopened", lambda: session.window("c.txt"), timeout=15, fatal=False):
        fail("the last file was not reopened; windows %s; settings:\n%s" % (session.titles(), settings))
    stored = settings.split("recents.v1=", 1)[1].splitlines()[0]
    stored = stored.strip('"').removeprefix("@ByteArray(").removesuffix(")").replace('\\"', '"')
    recents = [entry["path"] for entry in json.loads(stored)]
    for path in (first, second, third, kept):
        if path not in recents:
            fail("%s missing from the recent files %s" % (path, recents))

    # SIGTERM while editing is a normal quit: nothing typed is lost.
    session.focus("c.txt")
    session.keys("ctrl+End")
    session.type("typed before TERM")
    time.sleep(0.2)
    session.editor.send_signal(signal.SIGTERM)
    if session.editor.wait(timeout=20) != 0:
        fail("SIGTERM exited with %d" % session.editor.returncode)
    if session.read("c.txt") != "sea\ntyped before TERM":
        fail("SIGTERM lost the edit: %r" % session.read("c.txt"))


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    if not shutil.which("Xvfb") or not shutil.which("xdotool"):
        print("Xvfb or xdotool missing: skipped")
        return SKIP
    root = tempfile.mkdtemp(prefix="corvane-e2e-")
    session = Session(os.path.abspath(sys.argv[1]), root)
    try:
        scenario(session)
    finally:
        session.close()
        shutil.rmtree(root, ignore_errors=True)
    print("session scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
