#!/usr/bin/env python3
"""The installed program, started through its link on the path, finds its
help file in its own folder: installed into a temporary prefix, started as
<prefix>/bin/quillan from another folder on a virtual display, taken past
the splash with Start, and asked for help with F1, it opens
<prefix>/lib/quillan/qlnhelp.chm (seen among its open files).

    installed_help_test.py BUILD_DIR PKGLIBDIR

Runs itself on a display server of its own, which picks a free display
itself (xvfb-run -a can race a server another test starts at the same
time); exit 77 (skipped) without Xvfb or xdotool.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

STEP_TIMEOUT = 20.0


class Failure(Exception):
    pass


def wait_for(what, probe, program):
    deadline = time.monotonic() + STEP_TIMEOUT
    while True:
        value = probe()
        if value:
            return value
        if program.poll() is not None:
            raise Failure("the program ended (status %s) while waiting for %s" % (program.returncode, what))
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (STEP_TIMEOUT, what))
        time.sleep(0.05)


def xdo(*args, timeout=STEP_TIMEOUT):
    try:
        result = subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True, text=True,
                                timeout=timeout)
    except subprocess.TimeoutExpired:
        return []
    return result.stdout.split() if result.returncode == 0 else []


def open_files(pid):
    folder = "/proc/%d/fd" % pid
    found = set()
    for fd in os.listdir(folder) if os.path.isdir(folder) else ():
        try:
            found.add(os.readlink(os.path.join(folder, fd)))
        except OSError:
            pass
    return found


def run(build, pkglibdir):
    work = tempfile.mkdtemp(prefix="quillan-installed-")
    program = None
    try:
        prefix = os.path.join(work, "prefix")
        installed = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True,
                                   text=True, timeout=120)
        if installed.returncode != 0:
            raise Failure("cmake --install failed: " + installed.stdout + installed.stderr)
        link = os.path.join(prefix, "bin", "quillan")
        help_file = os.path.realpath(os.path.join(prefix, pkglibdir, "qlnhelp.chm"))
        if not os.path.isfile(help_file):
            raise Failure("no help file installed at " + help_file)

        env = dict(os.environ, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=os.path.join(work, "runtime"))
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        log = open(os.path.join(work, "quillan.log"), "w+")
        program = subprocess.Popen([link], env=env, cwd="/", stdout=log, stderr=subprocess.STDOUT)

        # The program's windows on screen but the loading window, which may
        # still be up when the splash comes.
        def windows():
            return [w for w in xdo("search", "--onlyvisible", "--pid", program.pid)
                    if not " ".join(xdo("getwindowname", w)).startswith("Loading Quillan")]

        splash = wait_for("the splash", lambda: windows()[:1], program)[0]
        xdo("windowfocus", "--sync", splash)
        xdo("key", "space")  # Start has the focus
        main = wait_for("the main window", lambda: [w for w in windows() if w != splash][:1], program)[0]
        if help_file in open_files(program.pid):
            raise Failure("the help file was open before help was asked for")
        # F1 asks for the focused control's topic and is ignored while the
        # new window has no focused control yet: like a person, press it
        # again when nothing came of it.
        presses = {"next": 0.0}

        def help_opened():
            if help_file in open_files(program.pid):
                return True
            if time.monotonic() >= presses["next"]:
                xdo("windowfocus", "--sync", main, timeout=2.0)
                xdo("key", "F1", timeout=2.0)
                presses["next"] = time.monotonic() + 1.0
            return False

        wait_for("the help file to be opened", help_opened, program)
        print("installed-help: %s opened %s" % (link, help_file))
    except Failure:
        if program is not None:
            log.seek(0)
            sys.stderr.write(log.read())
        raise
    finally:
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        shutil.rmtree(work, ignore_errors=True)


def start_display(log):
    """Xvfb on the first free display, which it names itself once it takes
    connections, its messages in `log`: the server and the display once a
    client is served there, or (None, None)."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten",
                               "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=log)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)  # the number, or the end when the server gives up
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    display = ":" + number.decode(errors="replace").strip()
    if number.endswith(b"\n"):
        # A client's answer, not the number alone, shows the display usable.
        deadline = time.monotonic() + STEP_TIMEOUT
        while server.poll() is None and time.monotonic() < deadline:
            probe = subprocess.run(["xdotool", "getdisplaygeometry"], env=dict(os.environ, DISPLAY=display),
                                   capture_output=True, timeout=STEP_TIMEOUT)
            if probe.returncode == 0:
                return server, display
            time.sleep(0.1)
    server.kill()
    server.wait()
    return None, None


def main():
    build, pkglibdir = sys.argv[1], sys.argv[2]
    if os.environ.get("QUILLAN_INSTALLED_HELP_STAGE") != "display":
        for tool in ("Xvfb", "xdotool"):
            if shutil.which(tool) is None:
                print("installed-help: %s is missing; skipped" % tool)
                return 77
        with tempfile.TemporaryFile("w+") as log:
            for _ in range(2):  # a server that never serves is tried once more
                server, display = start_display(log)
                if server is not None:
                    break
            if server is None:
                log.seek(0)
                print("installed-help: the display server did not start; skipped\n" + log.read())
                return 77
            try:
                env = dict(os.environ, QUILLAN_INSTALLED_HELP_STAGE="display", DISPLAY=display)
                status = subprocess.run([sys.executable, os.path.abspath(__file__)] + sys.argv[1:], env=env,
                                        timeout=110).returncode
                if status not in (0, 77):
                    # Whether the display itself failed under the program.
                    log.seek(0)
                    print("installed-help: display %s, server %s; its messages:\n%s" %
                          (display, "running" if server.poll() is None else "ended (%s)" % server.returncode,
                           log.read()), file=sys.stderr)
                return status
            finally:
                server.terminate()
                server.wait()
    if not os.path.exists(os.path.join(build, "bin", "quillan")):
        print("installed-help: no program in this build; skipped")
        return 77
    try:
        run(build, pkglibdir)
    except Failure as failure:
        print("installed-help: FAILED: %s" % failure, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
