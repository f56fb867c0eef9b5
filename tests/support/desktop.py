"""A desktop of the test's own, on which the built program is used as a person uses it.

The stage, set up by re-running the calling script in steps:
  1. as root, a network namespace of its own (unshare), with loopback up and
     a veth pair carrying a default route, so that the connection-state
     control sees the machine online whatever the host's network; without
     one the host's network decides, and offline the test is skipped;
  2. a D-Bus session of its own (dbus-run-session);
  3. inside, a virtual X display (Xvfb), a window manager (openbox) and the
     accessibility bus (at-spi-bus-launcher).

Input goes through the X server with xdotool: clicks at a control's place on
screen, typed text, keys to the focused window. State is read from outside
over the accessibility bus (pyatspi): every widget's role, name, text,
states and screen place. Every wait polls a state against a deadline.

Exit status 77 (a skip) only when the machine has no display server, no
D-Bus session tool or, offline, no network namespace.

    from desktop import Desktop, Failure, run
    def cases(desk): ...
    sys.exit(run(cases))
"""

import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
STAGE = "QUILLAN_DESKTOP_STAGE"
STEP_TIMEOUT = 20.0  # seconds for any one thing a test waits for
ACTIVE_WAIT = 3.0    # seconds a click waits for its window to become the active one
CLOSE_TRIES = 4      # Alt+F4 presses close_by_key makes while the window stays


class Failure(Exception):
    pass


def expect(condition, message):
    """Fails the case with `message` unless `condition` holds."""
    if not condition:
        raise Failure(message)


class Skip(Exception):
    pass


def log(text):
    print("desktop: " + text, flush=True)


# --- The stage ----------------------------------------------------------------

def _sh(command):
    return subprocess.run(command, shell=True, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def _has_default_route():
    try:
        with open("/proc/net/route") as routes:
            rows = [line.split() for line in routes.readlines()[1:]]
    except OSError:
        return False
    return any(len(row) > 1 and row[1] == "00000000" for row in rows)


def _add_veth_with_default_route():
    return (_sh("ip link set lo up") and _sh("ip link add nv0 type veth peer name nv1")
            and _sh("ip link set nv1 up") and _sh("ip link set nv0 up")
            and _sh("ip addr add 10.200.0.1/24 dev nv0")
            and _sh("ip route add default via 10.200.0.2 dev nv0"))


def _reexec(prefix, stage):
    env = dict(os.environ)
    env[STAGE] = stage
    argv = prefix + [sys.executable, os.path.abspath(sys.argv[0])] + sys.argv[1:]
    return subprocess.run(argv, env=env).returncode


def set_stage():
    """None when this process is to drive the program, else the exit status
    of the re-run script."""
    stage = os.environ.get(STAGE, "")
    if stage == "":
        if shutil.which("Xvfb") is None:
            log("skipped: no display server (Xvfb) on this machine")
            return SKIP
        if os.geteuid() == 0:
            if shutil.which("unshare") is None or shutil.which("ip") is None:
                raise Failure("running as root, but unshare or ip is missing (scripts/setup.sh installs them)")
            if _sh("unshare --net true"):
                return _reexec(["unshare", "--net", "--"], "netns")
            log("no network namespace can be made here; the host's network decides")
        if not _has_default_route():
            log("skipped: the host is offline and no network namespace of our own could be made")
            return SKIP
        stage = "network"
    if stage == "netns":
        if not _add_veth_with_default_route():
            raise Failure("could not set up loopback and a veth default route in the new namespace")
        stage = "network"
    if stage == "network":
        for tool in ("dbus-run-session", "xdotool", "openbox", "xprop"):
            if shutil.which(tool) is None:
                raise Failure(tool + " is missing (scripts/setup.sh installs it)")
        return _reexec(["dbus-run-session", "--"], "session")
    if stage == "session":
        return None
    raise Failure("unknown stage " + stage)


def wait_for(what, probe, timeout=STEP_TIMEOUT, program=None):
    """Polls probe() until it returns something true; fails after timeout or
    when the program ended meanwhile."""
    started = time.monotonic()
    deadline = started + timeout
    while True:
        value = probe()
        if value:
            took = time.monotonic() - started
            if took > 2:
                log("waited %.1f s for %s" % (took, what))
            return value
        if program is not None and program.poll() is not None:
            raise Failure("the program ended (status %s) while waiting for %s" % (program.returncode, what))
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(0.05)


# --- A page server on 127.0.0.1 -------------------------------------------------

class PageServer:
    """Serves {path: bytes} as text/html on 127.0.0.1 and records each path asked for."""

    def __init__(self, pages):
        served = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                served.append(self.path)
                page = pages.get(self.path)
                if page is None:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(page)))
                self.end_headers()
                self.wfile.write(page)

            def log_message(self, *args):
                pass

        self.served = served
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.httpd.server_address[1], path)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def titled_page(title, body=""):
    return ("<html><head><title>%s</title></head><body><p>%s</p>\r\n<p>%s</p></body></html>\r\n"
            % (title, title, body)).encode("latin-1")


# --- The desktop -----------------------------------------------------------------

class Desktop:
    """X display, window manager and accessibility bus; started by run()."""

    def __init__(self, work, screen=(1280, 1024)):
        self.work = work
        self.screen = screen
        self._children = []
        self.atspi = None
        self.env = None

    def start(self):
        home = os.path.join(self.work, "home")
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        # The accessibility bus keeps its socket under HOME and the runtime
        # folder: both ours.
        os.environ["HOME"] = home
        os.environ["XDG_RUNTIME_DIR"] = runtime
        read_end, write_end = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % self.screen,
                     "-nolisten", "tcp"], pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + STEP_TIMEOUT
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline:
                raise Failure("Xvfb did not say its display number")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise Skip("the display server did not start")
            number += chunk
        os.close(read_end)
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        wait_for("the display to answer", lambda: _sh("xprop -root WM_NAME"))
        self._start_window_manager()
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if not os.access(launcher, os.X_OK):
            raise Failure(launcher + " is missing (scripts/setup.sh installs at-spi2-core)")
        self._spawn([launcher, "--launch-immediately"])
        try:
            import pyatspi  # after DISPLAY and the bus, which it reads once
        except ImportError:
            raise Failure("%s lacks pyatspi (scripts/setup.sh installs python3-pyatspi)" % sys.executable)
        self.atspi = pyatspi
        wait_for("the accessibility bus", self._bus_answers)
        self.env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                        QTWEBENGINE_DISABLE_SANDBOX="1")
        for proxy in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            self.env.pop(proxy, None)
        self.env["no_proxy"] = "127.0.0.1"

    def _start_window_manager(self):
        """Starts openbox and waits until it manages the screen. One that
        could not open the display (seen at times on a loaded machine, right
        after the display answered) is started again."""
        manager = None

        def managing():
            nonlocal manager
            if manager is None or manager.poll() is not None:
                manager = self._spawn(["openbox", "--sm-disable"])
                return False
            # Set only by a running window manager: "...(WINDOW): window id # 0x...".
            return _sh("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id #'")
        wait_for("the window manager", managing)

    def _bus_answers(self):
        try:
            self.atspi.Registry.getDesktop(0).childCount
            return True
        except Exception:
            return False

    def _spawn(self, argv, **kwargs):
        child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 start_new_session=True, **kwargs)
        self._children.append(child)
        return child

    def stop(self):
        for child in reversed(self._children):
            if child.poll() is None:
                try:
                    os.killpg(child.pid, 15)  # the bus launcher's daemon with it
                except OSError:
                    pass
                try:
                    child.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    os.killpg(child.pid, 9)
                    child.wait()

    # --- xdotool ---------------------------------------------------------------

    def xdo(self, *args, check=True):
        result = subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True, text=True,
                                timeout=STEP_TIMEOUT)
        if check and result.returncode != 0:
            raise Failure("xdotool %s failed: %s" % (" ".join(map(str, args)), result.stderr.strip()))
        return result.stdout

    def move_pointer(self, x, y):
        """Moves the pointer and waits until the X server has it there (a
        move to where it already is must not wait for motion)."""
        self.xdo("mousemove", x, y)

        def there():
            fields = dict(line.split("=", 1) for line in self.xdo("getmouselocation", "--shell").split()
                          if "=" in line)
            return fields.get("X") == str(x) and fields.get("Y") == str(y)
        wait_for("the pointer at %d,%d" % (x, y), there)

    def key(self, *keys):
        self.xdo("key", "--delay", 20, *keys)

    def type(self, text):
        self.xdo("type", "--delay", 5, text)


class Program:
    """The built program on the desktop, read over the accessibility bus."""

    def __init__(self, desk, argv, env, cwd, log_path):
        self.desk = desk
        self.atspi = desk.atspi
        self.log_path = log_path
        self._log = open(log_path, "w+")
        self.process = subprocess.Popen(argv, env=env, cwd=cwd, stdout=self._log, stderr=subprocess.STDOUT)
        self._app = None

    def output(self):
        self._log.flush()
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def wait(self, what, probe, timeout=STEP_TIMEOUT):
        return wait_for(what, probe, timeout, self.process)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def ended(self, timeout=STEP_TIMEOUT):
        """The program's exit status once it has ended."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")

    def expect_exit_success(self, timeout=STEP_TIMEOUT):
        """Fails unless the program ends, and with status 0."""
        status = self.ended(timeout)
        expect(status == 0, "the program ended with status %d" % status)

    # --- Reading the widgets ------------------------------------------------------

    def app(self):
        if self._app is None:
            def probe():
                for app in self.atspi.Registry.getDesktop(0):
                    try:
                        if app is not None and app.get_process_id() == self.process.pid:
                            return app
                    except Exception:
                        pass
                return None
            self._app = self.wait("the program on the accessibility bus", probe)
        return self._app

    def windows(self):
        """The program's top-level windows on screen."""
        shown = []
        for window in self._children(self.app()):
            if self.showing(window):
                shown.append(window)
        return shown

    def _children(self, node):
        self._forget(node)
        try:
            return [child for child in node if child is not None]
        except Exception:
            return []

    # Web content has a tree of its own, large and of no interest here.
    _NOT_ENTERED = ("document web", "document frame")

    def find_all(self, role=None, name=None, within=None, showing=True):
        """Every widget below `within` (default: the whole program) with this
        role and name (None: any), optionally only those on screen."""
        found = []
        stack = list(reversed(self._children(within if within is not None else self.app())))
        while stack:
            node = stack.pop()
            try:
                node_role = node.getRoleName()
                node_name = node.name
            except Exception:
                continue
            if (role is None or node_role == role) and (name is None or node_name == name) and \
                    (not showing or self.showing(node)):
                found.append(node)
            if node_role not in self._NOT_ENTERED:
                stack.extend(reversed(self._children(node)))
        return found

    def find(self, role=None, name=None, within=None, what=None, timeout=STEP_TIMEOUT):
        """The one widget on screen with this role and name, waited for."""
        what = what or "%s %r" % (role or "widget", name)

        def probe():
            found = self.find_all(role, name, within)
            return found[0] if len(found) == 1 else None
        try:
            return self.wait(what, probe, timeout)
        except Failure:
            seen = ["%s %r" % (n.getRoleName(), n.name) for n in self.find_all(within=within)]
            raise Failure("%s not found once on screen; seen: %s" % (what, ", ".join(seen[:80])))

    def window_of(self, node):
        app = self.app()
        while True:
            parent = node.parent
            if parent is None or parent == app:
                return node
            node = parent

    def window_with(self, role, name, what=None, timeout=STEP_TIMEOUT):
        """The top-level window holding the one widget with this role and name."""
        return self.window_of(self.find(role, name, what=what, timeout=timeout))

    def gone(self, window):
        """Whether a window is no longer on screen, read afresh: a state
        change the bus did not deliver must not keep a closed window in the
        cache for ever."""
        self._forget(window)
        return not self.showing(window)

    @staticmethod
    def _forget(node):
        try:
            node.clear_cache()
        except Exception:
            pass

    def showing(self, node):
        try:
            states = node.getState()
            return states.contains(self.atspi.STATE_SHOWING) and states.contains(self.atspi.STATE_VISIBLE)
        except Exception:
            return False

    def has_state(self, node, state):
        self._forget(node)
        try:
            return node.getState().contains(state)
        except Exception:
            return False

    def text(self, node):
        try:
            text = node.queryText()
            return text.getText(0, text.characterCount)
        except Exception:
            return None

    def text_attributes(self, node):
        """The text's attributes at its start, as name: value."""
        text = node.queryText()
        attributes = text.getAttributeRun(0, False)[0] or []
        return dict(item.split(":", 1) for item in attributes if ":" in item)

    def extents(self, node):
        box = node.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        return box.x, box.y, box.width, box.height

    def glyph_height(self, text_node):
        """The height on screen of the text's first character."""
        extents = text_node.queryText().getCharacterExtents(0, self.atspi.DESKTOP_COORDS)
        return extents[3]

    # --- Using the widgets -----------------------------------------------------------

    def click(self, node, dx=None, dy=None):
        """A left click at the widget's place on screen (its middle unless
        told)."""
        # A window just mapped may still be placed by the window manager,
        # which then gives it the focus: a click waits a moment for that (a
        # window behind another, or one the window manager leaves unfocused,
        # is clicked all the same, which focuses it), and the pointer goes
        # to the widget until the widget stays put under it.
        window = self.window_of(node)
        deadline = time.monotonic() + ACTIVE_WAIT
        while not self.has_state(window, self.atspi.STATE_ACTIVE) and time.monotonic() < deadline:
            time.sleep(0.05)

        def settled():
            before = self.extents(node)
            x, y, width, height = before
            if width <= 0 or height <= 0:
                return False
            self.desk.move_pointer(x + (width // 2 if dx is None else dx), y + (height // 2 if dy is None else dy))
            return self.extents(node) == before
        self.wait("%s %r to stay in its place on screen" % (node.getRoleName(), node.name), settled)
        self.desk.xdo("click", 1)

    def x_window(self, window):
        """The X window of one of the program's windows on screen, found by
        its caption and its size (a window may hold native child windows
        of the same name)."""
        pattern = "^" + re.escape(window.name) + "$"
        _, _, width, height = self.extents(window)

        def size_of(wid):
            fields = dict(line.split("=", 1) for line in
                          self.desk.xdo("getwindowgeometry", "--shell", wid, check=False).split() if "=" in line)
            return fields.get("WIDTH"), fields.get("HEIGHT")

        def probe():
            named = self.desk.xdo("search", "--onlyvisible", "--pid", self.process.pid, "--name", pattern,
                                  check=False).split()
            return [wid for wid in named if size_of(wid) == (str(width), str(height))]
        found = self.wait("the X window captioned %r" % window.name, probe)
        if len(found) != 1:
            raise Failure("%d X windows of %dx%d are captioned %r" % (len(found), width, height, window.name))
        return found[0]

    def activate(self, window, spot=None):
        """Makes the window the active one, as a person does when the window
        manager has not: a click on `spot`, a widget of it that does nothing
        on a click (default: its first label)."""
        deadline = time.monotonic() + ACTIVE_WAIT
        while not self.has_state(window, self.atspi.STATE_ACTIVE):
            if time.monotonic() > deadline:
                if spot is None:
                    labels = self.find_all("label", within=window)
                    if not labels:
                        raise Failure("%r is not active and has no label to click" % window.name)
                    spot = labels[0]
                self.click(spot)
                self.wait("%r to be the active window" % window.name,
                          lambda: self.has_state(window, self.atspi.STATE_ACTIVE))
                break
            time.sleep(0.05)

    def close_by_key(self, window):
        """Alt+F4 to the window once it is the active one; waits until it has
        gone. A key the window manager missed while it was still settling the
        window (seen on a loaded machine) is pressed again, up to CLOSE_TRIES
        times in all, each time with the window still there and made the
        active one first."""
        for attempt in range(1, CLOSE_TRIES + 1):
            self.activate(window)
            self.desk.key("alt+F4")
            last = attempt == CLOSE_TRIES
            try:
                self.wait("%r to close" % window.name, lambda: self.gone(window),
                          timeout=STEP_TIMEOUT if last else 2 * ACTIVE_WAIT)
                return
            except Failure as failure:
                if last:
                    raise Failure("%s; the program's windows on the X server: %s"
                                  % (failure, self._x_windows())) from None

    def _x_windows(self):
        """The captions of the program's visible X windows, and which is
        focused, for a failure's message."""
        shown = self.desk.xdo("search", "--onlyvisible", "--pid", self.process.pid, "--name", ".",
                              check=False).split()
        focused = self.desk.xdo("getwindowfocus", check=False).strip()
        return ", ".join("%r%s" % (self.desk.xdo("getwindowname", wid, check=False).strip(),
                                   " (focused)" if wid == focused else "") for wid in shown) or "none"

    def focus_by_click(self, node):
        """Clicks the widget and waits until it has the keyboard focus."""
        self.click(node)
        self.wait("the focus in %s %r" % (node.getRoleName(), node.name),
                  lambda: self.has_state(node, self.atspi.STATE_FOCUSED))


# --- Quillan on the desktop --------------------------------------------------------

def start_quillan(desk, work, bin_dir, name="quillan"):
    """Registers Netvane into a registry of the run's own and starts the built
    program from its folder, with its temporary folder under `work`."""
    registry = os.path.join(work, "registry")
    tmp = os.path.join(work, "tmp")
    os.makedirs(registry, exist_ok=True)
    os.makedirs(tmp, exist_ok=True)
    env = dict(desk.env, QUILLAN_REGISTRY_DIR=registry, TMPDIR=tmp)
    registered = subprocess.run([os.path.join(bin_dir, "regsvr"), os.path.join(bin_dir, "netvane.so")],
                                env=env, capture_output=True, text=True, timeout=30)
    if registered.returncode != 0:
        raise Failure("regsvr failed: " + registered.stdout + registered.stderr)
    program = Program(desk, [os.path.join(bin_dir, "quillan")], env, bin_dir,
                      os.path.join(work, name + ".log"))
    program.env = env
    program.tmp = tmp
    return program


def through_splash(program):
    """Start on the splash, clicked; returns the main window once it shows."""
    start = program.find("push button", "Start", what="the splash's Start button")
    splash = program.window_of(start)
    program.click(start)
    main = program.window_with("push button", "HTML to Text", what="the main window")
    program.wait("the splash to go", lambda: program.gone(splash))
    return main


def run(cases, argv_count, screen=(1280, 1024), paths=None):
    """Sets the stage, then runs cases(desk, work, *argv) on a desktop of its
    own, a screen of `screen` (width, height) pixels; the exit status of the
    test. The first `paths` arguments (default: all) are paths, made
    absolute; the others are passed as given."""
    if len(sys.argv) != argv_count + 1:
        print(sys.modules["__main__"].__doc__, file=sys.stderr)
        return 2
    work = None
    desk = None
    try:
        status = set_stage()
        if status is not None:
            return status
        work = tempfile.mkdtemp(prefix="quillan-desktop-")
        desk = Desktop(work, screen)
        desk.start()
        args = sys.argv[1:]
        count = len(args) if paths is None else paths
        cases(desk, work, *([os.path.abspath(arg) for arg in args[:count]] + args[count:]))
        return 0
    except Skip as skip:
        log("skipped: %s" % skip)
        return SKIP
    except Failure as failure:
        print("desktop: FAILED: %s" % failure, file=sys.stderr, flush=True)
        return 1
    finally:
        if desk is not None:
            desk.stop()
        if work is not None:
            shutil.rmtree(work, ignore_errors=True)


class Case:
    """One case of a run: named in the log, bounded in time, and on failure
    the program's output is shown."""

    def __init__(self, name, program, limit=60.0):
        self.name = name
        self.program = program
        self.limit = limit

    def __enter__(self):
        log("case: " + self.name)
        self.started = time.monotonic()
        return self

    def __exit__(self, kind, value, trace):
        took = time.monotonic() - self.started
        if kind is None and took > self.limit:
            raise Failure("case %r took %.1f s, more than its %.0f s" % (self.name, took, self.limit))
        if kind is not None and issubclass(kind, Failure):
            out = self.program.output() if self.program is not None else ""
            raise Failure("case %r: %s\n--- the program's output:\n%s" % (self.name, value, out[-4000:]))
        if kind is None:
            log("case passed in %.1f s: %s" % (took, self.name))
        return False
