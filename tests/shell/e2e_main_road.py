#!/usr/bin/env python3
"""The built program driven from outside, as a user drives it.

Starts build/bin/quillan on a virtual X display (xvfb-run) and works it with
xdotool: Start on the splash, an address of this script's own HTTP server on
127.0.0.1 typed over the "http://" in the address box, Enter, the viewer
awaited and the text file it shows compared with what quillan-convert makes
of the same page, the viewer closed with its Close button, and the program
ended with the main window's Quit button, which must end it with status 0.

Netvane is registered into the test's own registry (QUILLAN_REGISTRY_DIR).
Run as root, the whole test moves into a network namespace of its own with
loopback up and a veth pair carrying a default route, so that Netvane sees
the machine online whatever the host's network. Without one (not root, or
namespaces not allowed) and offline, the test is skipped (exit status 77).

Usage: e2e_main_road.py QUILLAN REGSVR NETVANE_SO QUILLAN_CONVERT
"""

import glob
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
STAGE = "QUILLAN_E2E_STAGE"  # how far the script has set itself up
STEP_TIMEOUT = 20.0          # seconds for any one thing the test waits for


class Failure(Exception):
    pass


def log(text):
    print("e2e: " + text, flush=True)


# --- Setting the stage: own network namespace, then a virtual display -------

def has_default_route():
    """Whether this network namespace has a default route (as Netvane reads it)."""
    try:
        with open("/proc/net/route") as routes:
            rows = [line.split() for line in routes.readlines()[1:]]
    except OSError:
        return False
    return any(len(row) > 1 and row[1] == "00000000" for row in rows)


def sh(command):
    return subprocess.run(command, shell=True, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def add_veth_with_default_route():
    # As tests/support/process.cpp netns::addVethWithDefaultRoute does.
    return (sh("ip link set lo up") and sh("ip link add nv0 type veth peer name nv1")
            and sh("ip link set nv1 up") and sh("ip link set nv0 up")
            and sh("ip addr add 10.200.0.1/24 dev nv0")
            and sh("ip route add default via 10.200.0.2 dev nv0"))


def reexec(prefix, stage):
    env = dict(os.environ)
    env[STAGE] = stage
    argv = prefix + [sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
    return subprocess.run(argv, env=env).returncode


def set_stage():
    """Returns None when this process is to drive the program, else the exit
    status of the re-executed script."""
    stage = os.environ.get(STAGE, "")
    if stage == "":
        if os.geteuid() == 0:
            if shutil.which("unshare") is None or shutil.which("ip") is None:
                raise Failure("running as root, but unshare or ip is missing (scripts/setup.sh installs them)")
            if sh("unshare --net true"):
                return reexec(["unshare", "--net", "--"], "netns")
            log("no network namespace can be made here; the host's network decides")
        if not has_default_route():
            log("skipped: the host is offline and no network namespace of our own could be made")
            return SKIP
        stage = "netns-done"
    if stage == "netns":
        if not add_veth_with_default_route():
            raise Failure("could not set up loopback and a veth default route in the new namespace")
        stage = "netns-done"
    if stage == "netns-done":
        for tool in ("xvfb-run", "xdotool"):
            if shutil.which(tool) is None:
                raise Failure(tool + " is missing (scripts/setup.sh installs it)")
        # Always a display of our own, even on a desktop: nothing appears on
        # the user's screen and nothing the user does gets in the way.
        return reexec(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24 -nolisten tcp"], "display")
    if stage == "display":
        return None
    raise Failure("unknown stage " + stage)


# --- The page server ---------------------------------------------------------

def make_page():
    """A page with CR LF line ends, entities, comments and scripts, about 40 KB."""
    lines = ["<html><head><title>End to end</title>",
             "<script>var hidden = '<p>not text</p>';</script></head><body>"]
    for i in range(400):
        lines.append("<p>Paragraph %d: caf&eacute; &amp; fish&nbsp;&lt;chips&gt; <!-- gone %d --><b>bold</b></p>" % (i, i))
        lines.append("plain line %d with \t a tab" % i)
    lines.append("</body></html>")
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


class PageServer:
    def __init__(self, page):
        served = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                served.append(self.path)
                if self.path != "/page.html":
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


# --- xdotool -----------------------------------------------------------------

def xdo(*args, check=True):
    result = subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True, text=True,
                            timeout=STEP_TIMEOUT)
    if check and result.returncode != 0:
        raise Failure("xdotool %s failed: %s" % (" ".join(map(str, args)), result.stderr.strip()))
    return result.stdout


def wait_for(what, probe, timeout=STEP_TIMEOUT, program=None):
    """Polls probe() until it returns something true; fails after timeout or
    when the program ended meanwhile."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if program is not None and program.poll() is not None:
            raise Failure("the program ended (status %s) while waiting for %s" % (program.returncode, what))
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(0.05)


def visible_windows(pid):
    """{window id: (name, width, height)} of the program's windows on screen."""
    found = {}
    for wid in xdo("search", "--onlyvisible", "--pid", pid, check=False).split():
        name = subprocess.run(["xdotool", "getwindowname", wid], capture_output=True, text=True).stdout
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True,
                                  text=True).stdout
        fields = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
        if "WIDTH" in fields:
            found[wid] = (name.rstrip("\n"), int(fields["WIDTH"]), int(fields["HEIGHT"]))
    return found


def window_named(pid, name, exclude=()):
    for wid, (title, _, _) in visible_windows(pid).items():
        if title == name and wid not in exclude:
            return wid
    return None


def focus(wid):
    xdo("windowfocus", "--sync", wid)


# --- The run -------------------------------------------------------------------

def drive(quillan, regsvr, netvane, convert):
    work = tempfile.mkdtemp(prefix="quillan-e2e-")
    program = None
    server = None
    try:
        registry = os.environ.get("QUILLAN_REGISTRY_DIR") or os.path.join(work, "registry")
        os.makedirs(registry, exist_ok=True)
        env = dict(os.environ, QUILLAN_REGISTRY_DIR=registry, QT_QPA_PLATFORM="xcb")
        # Qt wants a runtime folder of mode 0700 and otherwise makes one
        # under TMPDIR, where the test looks for what the program leaves.
        env["XDG_RUNTIME_DIR"] = os.path.join(work, "runtime")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        for proxy in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            env.pop(proxy, None)
        registered = subprocess.run([regsvr, netvane], env=env, capture_output=True, text=True, timeout=30)
        if registered.returncode != 0:
            raise Failure("regsvr failed: " + registered.stdout + registered.stderr)

        # What the converter itself makes of the page: the reference.
        page = make_page()
        reference = os.path.join(work, "reference")
        os.makedirs(reference)
        with open(os.path.join(reference, "page.html"), "wb") as f:
            f.write(page)
        if subprocess.run([convert, os.path.join(reference, "page.html")], timeout=30).returncode != 0:
            raise Failure("quillan-convert failed on the reference page")
        with open(os.path.join(reference, "page.TXT"), "rb") as f:
            expected = f.read()
        if b"Paragraph 399" not in expected:
            raise Failure("the reference text lacks the page's last paragraph")

        server = PageServer(page)
        url = server.url("/page.html")

        # The program's private folder goes under a temporary folder of ours.
        tmp = os.path.join(work, "tmp")
        os.makedirs(tmp)
        env["TMPDIR"] = tmp
        output = open(os.path.join(work, "quillan.log"), "w+")
        program = subprocess.Popen([quillan], env=env, stdout=output, stderr=subprocess.STDOUT,
                                   cwd=os.path.dirname(quillan))
        pid = program.pid

        # The splash has no caption, so the X window is named after the
        # program, "Quillan", as the main window and the viewer are; each is
        # told apart by being a window not seen before.
        splash = wait_for("the splash", lambda: window_named(pid, "Quillan"), program=program)
        log("splash on screen: window %s %s" % (splash, visible_windows(pid).get(splash)))
        focus(splash)
        xdo("key", "space")  # Start has the focus
        main = wait_for("the main window", lambda: window_named(pid, "Quillan", exclude=(splash,)),
                        program=program)
        wait_for("the splash to go", lambda: splash not in visible_windows(pid), program=program)
        log("main window on screen: window %s" % main)

        # The window opens with the checked option "URL" focused; Tab goes on
        # to the address box, whose "http://" is selected and typed over.
        focus(main)
        xdo("key", "Tab", "ctrl+a")
        xdo("type", "--delay", 2, url)
        xdo("key", "Return")

        viewer = wait_for("the viewer", lambda: window_named(pid, "Quillan", exclude=(splash, main)), program=program)
        log("viewer on screen: window %s %s" % (viewer, visible_windows(pid)[viewer]))
        if server.served != ["/page.html"]:
            raise Failure("the server was asked for %s" % server.served)

        texts = glob.glob(os.path.join(tmp, "quillan-*", "*.TXT"))
        if len(texts) != 1:
            raise Failure("expected one text file in the private folder, found %s" % texts)
        folder = os.path.dirname(texts[0])
        if os.stat(folder).st_mode & 0o777 != 0o700:
            raise Failure("the private folder's mode is %o, not 700" % (os.stat(folder).st_mode & 0o777))
        with open(texts[0], "rb") as f:
            shown = f.read()
        if shown != expected:
            raise Failure("the viewer's text file (%d bytes) differs from quillan-convert's text (%d bytes)"
                          % (len(shown), len(expected)))
        log("the viewer's text file is quillan-convert's text of the page (%d bytes)" % len(shown))

        # Close: the viewer opens with its text focused; Shift+Tab twice goes
        # round the chain to Help and back to Close.
        focus(viewer)
        xdo("key", "shift+Tab", "shift+Tab", "space")
        wait_for("the viewer to close", lambda: viewer not in visible_windows(pid), program=program)
        wait_for("the viewer's text file to go", lambda: not os.path.exists(texts[0]), program=program)

        # Quit: the address box has the focus again; Tab passes the disabled
        # file box, the "Readable text" box and "HTML to Text" to reach Quit.
        focus(main)
        xdo("key", "Tab", "Tab", "Tab", "space")
        try:
            status = program.wait(timeout=STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after Quit")
        if status != 0:
            raise Failure("the program ended with status %d" % status)
        left = glob.glob(os.path.join(tmp, "*"))
        if left:
            raise Failure("the program left %s in its temporary folder" % left)
        log("Quit ended the program with status 0 and nothing left behind")
        return 0
    except Failure:
        if program is not None:
            try:
                output.seek(0)
                sys.stderr.write("--- the program's output:\n" + output.read())
            except (OSError, NameError):
                pass
        raise
    finally:
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        if server is not None:
            server.close()
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        status = set_stage()
        if status is not None:
            return status
        return drive(*(os.path.abspath(arg) for arg in sys.argv[1:]))
    except Failure as failure:
        print("e2e: FAILED: %s" % failure, file=sys.stderr, flush=True)
        return 1


if __name__ == "__main__":
    sys.exit(main())
