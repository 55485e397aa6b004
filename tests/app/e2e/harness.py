"""What every end-to-end scenario shares: an X server with a real window manager (openbox), the
real editor in a profile of its own, window lookup, focus, keys and typing, and waiting on
conditions with a failure message that shows the screen and the editor's output.

Nothing here sleeps for a fixed time: every step waits until something observable happened (a
window title, the focus, bytes on disk, a process ending), so the tests hold under load.
Python 3 standard library only."""

import errno
import os
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

SKIP = 77
TOOLS = ("Xvfb", "xdotool", "openbox", "wmctrl", "xmessage")
# What the accessibility bus needs: a session bus, its launcher, a client.
ACCESSIBILITY_TOOLS = ("dbus-daemon", "gdbus", "/usr/libexec/at-spi-bus-launcher")
POLL = 0.05
OTHER_APPLICATION = "e2e-other-application"


class Failure(Exception):
    pass


def require_tools(tools):
    missing = [tool for tool in tools if not shutil.which(tool)]
    if missing:
        print("missing %s: skipped" % ", ".join(missing))
        sys.exit(SKIP)


def poll_until(condition, timeout):
    """The first true value of `condition` within `timeout` seconds, or None."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(POLL)


class Display:
    """Xvfb on a random free display, with openbox managing its windows."""

    def __init__(self):
        self.env = dict(os.environ)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.server = None
        self.wm = None
        self.home = tempfile.mkdtemp(prefix="corvane-e2e-wm-")
        self.other = None
        self._start_server()
        self._start_window_manager()
        self._start_other_application()

    def _start_server(self):
        # -noreset: by default the server resets when its last client leaves, and a client
        # connecting during that reset is refused (a readiness check is such a last client).
        for number in random.sample(range(200, 900), 20):
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
                continue
            server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1400x900x24", "-nolisten", "tcp",
                                       "-noreset"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.env["DISPLAY"] = ":%d" % number
            up = poll_until(lambda: server.poll() is None and self.run("xdotool", "getdisplaygeometry").returncode == 0,
                            10)
            if up:
                self.server = server
                return
            server.kill()
            server.wait()
        raise Failure("no X server started")

    def _start_window_manager(self):
        # openbox reads its configuration from XDG_CONFIG_HOME: the system's default, untouched
        # by whatever the machine's user configured.
        env = dict(self.env, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, "config"))
        self.wm_log = os.path.join(self.home, "openbox.log")
        started = os.path.join(self.home, "openbox-started")
        # Ready is when openbox runs its --startup command, after it has taken over the screen and
        # managed the windows already there. Earlier signs (wmctrl -m naming it, the client list
        # on the root window) come while it is still starting, and a window mapped then could stay
        # unmanaged (1 start in 50).
        with open(self.wm_log, "w") as log:
            self.wm = subprocess.Popen(["openbox", "--sm-disable", "--startup", "touch " + shlex.quote(started)], env=env,
                                       stdout=log, stderr=subprocess.STDOUT)
        if not poll_until(lambda: self.wm.poll() is None and os.path.exists(started), 15):
            with open(self.wm_log) as log:
                raise Failure("openbox did not start: " + log.read()[-2000:])

    def run(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, text=True)

    def _start_other_application(self):
        """Another application's window to move the focus to, started with the display so that
        it is long in place when a scenario needs it."""
        log_path = os.path.join(self.home, "xmessage.log")
        with open(log_path, "w") as log:
            self.other = subprocess.Popen(["xmessage", "-name", OTHER_APPLICATION, "another application"],
                                          env=self.env, stdout=log, stderr=subprocess.STDOUT)
        if not poll_until(lambda: OTHER_APPLICATION in self.run("wmctrl", "-l").stdout, 15):
            with open(log_path) as log, open(self.wm_log) as wm_log:
                raise Failure("the other application's window did not appear (status %s): %s\nopenbox: %s\n"
                              "windows: %s" % (self.other.poll(), log.read()[-2000:], wm_log.read()[-2000:],
                                               self.run("wmctrl", "-l").stdout)
                              + self.run("xwininfo", "-root", "-tree").stdout[-3000:])

    def close(self):
        for process in (self.other, self.wm, self.server):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.home, ignore_errors=True)


class Editor:
    """One launch of the editor: its process and its output (stdout and stderr, in one log)."""

    def __init__(self, process, log_path, number):
        self.process = process
        self.log_path = log_path
        self.number = number

    def output(self):
        try:
            with open(self.log_path, errors="replace") as log:
                return log.read()
        except OSError:
            return ""

    def painted(self, path):
        """True once a window painted with the document at `path` (CORVANE_LAUNCH_REPORT)."""
        return any(line.startswith("painted ") and line.split(" ", 2)[2:] == [path]
                   for line in self.output().splitlines())

    def status(self):
        return self.process.poll()

    def running(self):
        return self.process.poll() is None


class Accessibility:
    """The editor's widgets as the accessibility bus shows them, through gdbus: used to learn which
    dialog button holds the focus, so a test chooses a button with the keyboard as a user would,
    whatever order the platform lays the buttons out in. A private session bus per profile; the
    accessibility bus comes up on demand (at-spi-bus-launcher, activated by that bus)."""

    FOCUSED = 12
    SHOWING = 25
    IS_DEFAULT = 39

    def __init__(self, env, log_path):
        with open(log_path, "w") as log:
            # A process group of its own: the services the bus starts end with it.
            self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=env,
                                        stdout=subprocess.PIPE, stderr=log, text=True, start_new_session=True)
        self.session_address = self.bus.stdout.readline().strip()
        if not self.session_address:
            raise Failure("no session bus started")
        self.env = dict(env, DBUS_SESSION_BUS_ADDRESS=self.session_address)
        self._address = None

    def close(self):
        if self.bus.poll() is None:
            os.killpg(self.bus.pid, signal.SIGTERM)
            self.bus.wait()

    def _call(self, address, dest, path, method, *arguments):
        command = ["gdbus", "call", "--address", address, "--dest", dest, "--object-path", path,
                   "--method", method, *arguments]
        result = subprocess.run(command, env=self.env, capture_output=True, text=True)
        return result.stdout.strip() if result.returncode == 0 else None

    def address(self):
        if not self._address:
            reply = self._call(self.session_address, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress")
            self._address = reply.split("'")[1] if reply else None
        return self._address

    def call(self, node, method, *arguments):
        return self._call(self.address(), node[0], node[1], method, *arguments)

    def children(self, node):
        reply = self.call(node, "org.a11y.atspi.Accessible.GetChildren") or ""
        return re.findall(r"\('([^']+)', (?:objectpath )?'([^']+)'\)", reply)

    def name(self, node):
        reply = self.call(node, "org.freedesktop.DBus.Properties.Get", "org.a11y.atspi.Accessible", "Name")
        match = re.match(r"""\(<(['"])(.*)\1>,\)$""", reply or "")
        return match.group(2) if match else None

    def role(self, node):
        reply = self.call(node, "org.a11y.atspi.Accessible.GetRoleName")
        return reply.split("'")[1] if reply else None

    def states(self, node):
        reply = (self.call(node, "org.a11y.atspi.Accessible.GetState") or "").replace("uint32", "")
        words = [int(word) for word in re.findall(r"\d+", reply)]
        return {bit + 32 * index for index, word in enumerate(words[:2]) for bit in range(32) if word >> bit & 1}

    def top_levels(self):
        """Every top-level window of every application on the bus (documents and dialogs)."""
        if not self.address():
            return []
        windows = []
        for application in self.children(("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")):
            windows.extend(self.children(application))
        return windows

    def window(self, title):
        """The top-level window titled `title` that is on screen (closed dialogs may linger)."""
        for node in self.top_levels():
            if self.name(node) == title and self.SHOWING in self.states(node):
                return node
        return None

    def descendants(self, node, roles, prune=("menu bar",)):
        """[(role, name, node)] of the nodes with one of `roles` under `node`, in tree order,
        skipping what is not on screen (hidden pages, menus) to keep the walk short."""
        found = []
        pending = [node]
        while pending:
            current = pending.pop(0)
            role = self.role(current)
            if role in prune or (current is not node and self.SHOWING not in self.states(current)):
                continue
            if role in roles:
                found.append((role, self.name(current), current))
            pending[0:0] = self.children(current)
        return found

    def buttons(self, title):
        """{label: node} of the push buttons in the window titled `title`."""
        window = self.window(title)
        return {name: node for _, name, node in self.descendants(window, ("push button",))} if window else {}

    def texts(self, title):
        """The labels' texts in the window titled `title`."""
        window = self.window(title)
        return [name for _, name, _ in self.descendants(window, ("label",))] if window else []

    def extents(self, node):
        """(x, y, width, height) of a node on the screen."""
        reply = self.call(node, "org.a11y.atspi.Component.GetExtents", "0") or ""
        numbers = [int(number) for number in re.findall(r"-?\d+", reply)]
        return tuple(numbers[:4]) if len(numbers) >= 4 else None


class Session:
    """The editor in a profile of its own (HOME, XDG folders, the first-run questions answered)
    on a shared display. Every helper that waits fails with a description of the screen."""

    def __init__(self, display, binary, name="session", accessibility=False):
        self.display = display
        self.binary = binary
        self.name = name
        self.root = tempfile.mkdtemp(prefix="corvane-e2e-%s-" % name)
        self.files = os.path.join(self.root, "files")
        os.makedirs(self.files)
        runtime = os.path.join(self.root, "run")
        os.makedirs(runtime, mode=0o700)
        os.chmod(runtime, 0o700)
        self.env = dict(display.env)
        self.env.update({
            "HOME": self.root,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_DATA_HOME": os.path.join(self.root, "data"),
            "CORVANE_LAUNCH_REPORT": "1",
        })
        self.launches = []
        self.a11y = None
        if accessibility:
            self.a11y = Accessibility(self.env, os.path.join(self.root, "bus.log"))
            self.env.update(DBUS_SESSION_BUS_ADDRESS=self.a11y.session_address, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        # A fresh profile would greet the user with the file-types sheet and look for updates.
        config = os.path.join(self.root, "config", "Corvane")
        os.makedirs(config)
        with open(os.path.join(config, "Corvane.conf"), "w") as settings:
            settings.write("[General]\nfileAssociations.hasPrompted.v1=true\nUpdateChecker.lastCheck=4000000000\n")

    # ---- Files --------------------------------------------------------------------------------

    def path(self, name):
        return os.path.join(self.files, name)

    def write(self, name, data):
        """Writes `data` (str or bytes) to files/NAME and returns its path."""
        mode = "wb" if isinstance(data, bytes) else "w"
        with open(self.path(name), mode) as file:
            file.write(data)
        return self.path(name)

    def read(self, name):
        with open(self.path(name) if not os.path.isabs(name) else name, "rb") as file:
            return file.read().decode("utf-8", errors="replace")

    def wait_file(self, name, text, timeout=15):
        """Waits until the file holds exactly `text`."""
        path = self.path(name) if not os.path.isabs(name) else name
        def holds():
            try:
                return self.read(path) == text
            except OSError:
                return False
        if not poll_until(holds, timeout):
            try:
                now = repr(self.read(path))
            except OSError as error:
                now = str(error)
            self.fail("timed out after %gs waiting for %s to hold %r; it holds %s" % (timeout, path, text, now))

    def expect_file(self, name, text, why):
        now = self.read(name)
        if now != text:
            self.fail("%s: %s holds %r, expected %r" % (why, name, now, text))

    # ---- Processes ----------------------------------------------------------------------------

    def launch(self, *arguments, wait_painted=None, timeout=20):
        """Starts the editor. With wait_painted=PATH, waits until a window painted that document."""
        number = len(self.launches) + 1
        log_path = os.path.join(self.root, "editor-%d.log" % number)
        # The binary is rebuilt from time to time: "text file busy" or a missing file means wait.
        def start():
            with open(log_path, "w") as log:
                try:
                    return subprocess.Popen([self.binary, *arguments], env=self.env, cwd=self.files,
                                            stdout=log, stderr=subprocess.STDOUT)
                except OSError as error:
                    if error.errno not in (errno.ETXTBSY, errno.ENOENT, errno.EACCES, errno.ENOEXEC):
                        raise
                    return None
        process = poll_until(start, 120)
        if not process:
            self.fail("%s could not be started for two minutes" % self.binary)
        editor = Editor(process, log_path, number)
        self.launches.append(editor)
        if wait_painted:
            self.wait_for("a window painted with " + wait_painted, lambda: editor.painted(wait_painted), timeout)
        return editor

    def wait_exit(self, editor, timeout=15, status=0):
        if not poll_until(lambda: not editor.running(), timeout):
            self.fail("the editor did not end within %gs" % timeout)
        if status is not None and editor.status() != status:
            self.fail("the editor exited with %s, expected %s" % (editor.status(), status))

    def terminate(self, editor):
        editor.process.send_signal(signal.SIGTERM)

    def close(self):
        if self.a11y:
            self.a11y.close()
        for process in [editor.process for editor in self.launches]:
            if process.poll() is None:
                process.kill()
                process.wait()
        # Read-only files and folders left by a scenario must not stop the clean-up.
        for folder, _, names in os.walk(self.root):
            for name in names:
                try:
                    os.chmod(os.path.join(folder, name), 0o644)
                except OSError:
                    pass
        shutil.rmtree(self.root, ignore_errors=True)

    # ---- X ----------------------------------------------------------------------------------------

    def x(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, text=True).stdout.strip()

    def windows(self):
        """[(id, title)] of every window the window manager manages: documents and dialogs."""
        found = []
        for line in self.x("wmctrl", "-l").splitlines():
            fields = line.split(None, 3)
            if len(fields) >= 3:
                found.append((int(fields[0], 16), fields[3] if len(fields) == 4 else ""))
        return found

    def titles(self):
        return [title for _, title in self.windows()]

    def window(self, title):
        """The id of the managed window whose title is exactly `title`, or None."""
        for window, name in self.windows():
            if name == title:
                return window
        return None

    def wait_window(self, title, timeout=10):
        return self.wait_for("a window titled %r" % title, lambda: self.window(title), timeout)

    def wait_no_window(self, title, timeout=10):
        self.wait_for("no window titled %r" % title, lambda: self.window(title) is None, timeout)

    def active(self):
        """The window the window manager made active, and the one holding the X input focus."""
        active = self.x("xdotool", "getactivewindow")
        focus = self.x("xdotool", "getwindowfocus")
        return (int(active) if active.isdigit() else None, int(focus) if focus.isdigit() else None)

    def focus(self, title, timeout=15):
        """Activates the window titled `title` and waits until the keyboard focus is there: keys
        sent before that would go elsewhere."""
        window = self.wait_window(title, timeout)
        self.activate(window, title, timeout)
        return window

    def activate(self, window, what, timeout=15):
        deadline = time.monotonic() + timeout
        while True:
            self.x("wmctrl", "-i", "-a", "0x%08x" % window)
            if poll_until(lambda: self.active() == (window, window), 2):
                return
            if time.monotonic() > deadline:
                self.fail("the focus did not land on %s (window 0x%x); active, focus: %s"
                          % (what, window, self.active()))

    def keys(self, *keys):
        self.x("xdotool", "key", "--clearmodifiers", "--delay", "20", *keys)

    def type(self, text):
        self.x("xdotool", "type", "--delay", "15", text)

    def click(self, x, y):
        """A left click at a point of the screen."""
        self.x("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")

    def focus_away(self, until, what, timeout=10):
        """Gives the focus to another application's window, as a user switching programs does, and
        waits until `until()` holds (what the editor does on losing the focus). The editor brings
        its first window to the front once, shortly after it starts: should that take the focus
        back, it is given away again."""
        other = self.focus(OTHER_APPLICATION)
        last = [time.monotonic()]
        def done():
            value = until()
            if not value and self.active()[0] != other and time.monotonic() - last[0] > 0.5:
                self.x("wmctrl", "-i", "-a", "0x%08x" % other)
                last[0] = time.monotonic()
            return value
        return self.wait_for(what, done, timeout)

    def dialogs(self, documents):
        """Titles of the windows that are neither one of `documents` nor the other application."""
        return [title for title in self.titles() if title not in documents and title != OTHER_APPLICATION]

    def wait_dialog(self, documents, timeout=10):
        """Waits for the first dialog over the `documents` windows; returns every dialog's title."""
        return self.wait_for("a dialog over %s" % (documents,), lambda: self.dialogs(documents), timeout)

    def editor_processes(self):
        """Process ids of the editors running in this profile (others' editors are none of ours)."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/comm" % entry) as comm:
                    if comm.read().strip() != "corvane":
                        continue
                with open("/proc/%s/environ" % entry, "rb") as environ:
                    if ("HOME=" + self.root).encode() in environ.read().split(b"\0"):
                        found.append(int(entry))
            except OSError:
                pass
        return found

    # ---- Dialogs ----------------------------------------------------------------------------

    def _button_with(self, state, buttons):
        for label, node in buttons.items():
            if state in self.a11y.states(node):
                return label
        return None

    def focused_button(self, title):
        """The label of the button with the keyboard focus in the dialog titled `title`."""
        return self._button_with(Accessibility.FOCUSED, self.a11y.buttons(title))

    def default_button(self, title):
        return self._button_with(Accessibility.IS_DEFAULT, self.a11y.buttons(title))

    def choose(self, title, label):
        """Presses the button `label` of the dialog titled `title` with the keyboard: Tab until the
        button has the focus (the accessibility bus tells which has it), then Space."""
        self.focus(title)
        buttons = self.wait_for("the buttons of %r" % title, lambda: self.a11y.buttons(title))
        if label not in buttons:
            self.fail("%r has no button %r, only %s" % (title, label, sorted(buttons)))
        focused = lambda: self._button_with(Accessibility.FOCUSED, buttons)
        for _ in range(2 * len(buttons) + 2):
            current = poll_until(focused, 3)
            if current == label:
                self.keys("space")
                return
            self.keys("Tab")
            if current:
                self.wait_for("the focus to leave %r" % current, lambda: focused() != current, 5)
        self.fail("Tab never reached %r in %r" % (label, title))

    # ---- Waiting and failing ------------------------------------------------------------------

    def wait_for(self, what, condition, timeout=10):
        value = poll_until(condition, timeout)
        if not value:
            self.fail("timed out after %gs waiting for %s" % (timeout, what))
        return value

    def describe(self):
        lines = ["windows: %s" % ["0x%x %s" % entry for entry in self.windows()],
                 "active, focus: %s" % (tuple("0x%x" % w if w else None for w in self.active()),)]
        for name in sorted(os.listdir(self.files)) if os.path.isdir(self.files) else []:
            try:
                lines.append("file %s: %r" % (name, self.read(name)[:300]))
            except OSError as error:
                lines.append("file %s: %s" % (name, error))
        for editor in self.launches:
            lines.append("launch %d (status %s): %s" % (editor.number, editor.status(), editor.output().strip()[-3000:]))
        return "\n".join(lines)

    def fail(self, message):
        raise Failure(message + "\n" + self.describe())


def run_scenarios(scenarios, accessibility=False):
    """Runs the named scenarios (functions taking a Session) of a scenario file, each in a fresh
    profile on one shared display; `FILE.py BINARY [NAME…]` picks some. With `accessibility` each
    profile gets its own session bus and the editor exposes its widgets on the accessibility bus.
    Prints one line per scenario with its time, and the failures in full.
    Exit status 0, 1 on a failure, 77 (skipped) when a tool is missing."""
    if len(sys.argv) < 2:
        print("usage: %s CORVANE_BINARY [SCENARIO…]\nscenarios: %s"
              % (sys.argv[0], " ".join(name for name, _ in scenarios)))
        return 2
    require_tools(TOOLS + (ACCESSIBILITY_TOOLS if accessibility else ()))
    binary = os.path.abspath(sys.argv[1])
    chosen = [(name, run) for name, run in scenarios if len(sys.argv) == 2 or name in sys.argv[2:]]
    failed = []
    started = time.monotonic()
    display = Display()
    try:
        for name, run in chosen:
            session = Session(display, binary, name, accessibility)
            begun = time.monotonic()
            try:
                run(session)
                print("ok   %-32s %5.1fs" % (name, time.monotonic() - begun), flush=True)
            except Failure as failure:
                failed.append(name)
                print("FAIL %-32s %5.1fs\n%s" % (name, time.monotonic() - begun, failure), flush=True)
            except Exception:
                failed.append(name)
                print("FAIL %-32s %5.1fs\n%s%s" % (name, time.monotonic() - begun, traceback.format_exc(),
                                                   session.describe()), flush=True)
            finally:
                session.close()
    finally:
        display.close()
    print("%s: %d of %d scenarios passed in %.1fs%s"
          % (os.path.basename(sys.argv[0]), len(chosen) - len(failed), len(chosen), time.monotonic() - started,
             "; failed: " + ", ".join(failed) if failed else ""))
    return 1 if failed else 0
