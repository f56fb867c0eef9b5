#!/usr/bin/env python3
"""Every window fits the screen it opens on, and the browser's page and
buttons fit the browser, from outside as a person sees them
(tests/support/desktop.py sets the stage), on a screen of the size given,
the program scaled by the factor given (QT_SCALE_FACTOR).

One program start:
  - the splash, the main window, the help window, the viewer and the
    browser each lie within the screen, frame and all, from the time they
    show; their push buttons and labels lie within the window too;
  - the browser's page fills the window's width below the address row;
  - the browser made as narrow as it allows keeps "Quillan" and "HELP"
    inside the window, clear of the toolbar's own buttons.

Usage: desktop_fit_test.py BIN_DIR WIDTHxHEIGHT SCALE
"""

import os
import re
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import desktop  # noqa: E402
from desktop import Case, expect  # noqa: E402

USAGE_ERROR = 2


def screen_and_scale(argv):
    """(width, height) and the scale factor from the command line, or None."""
    try:
        width, height = (int(part) for part in argv[2].split("x"))
        return (width, height), int(argv[3])
    except (IndexError, ValueError):
        return None


SIZE, SCALE = screen_and_scale(sys.argv) or ((0, 0), 1)
SCREEN = (0, 0) + SIZE
SETTLE = 1.0  # seconds a window is watched after it shows


def inside(box, area):
    x, y, w, h = box
    ax, ay, aw, ah = area
    return w > 0 and h > 0 and x >= ax and y >= ay and x + w <= ax + aw and y + h <= ay + ah


def frame_extents(program, wid):
    """The window manager's frame around the X window (left, right, top,
    bottom), once it has framed it; else None."""
    found = subprocess.run(["xprop", "-id", wid, "_NET_FRAME_EXTENTS"], capture_output=True, text=True,
                           timeout=desktop.STEP_TIMEOUT).stdout
    match = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", found)
    return tuple(int(part) for part in match.groups()) if match else None


def expect_on_screen(program, window, what, framed=True):
    """The window with its frame (unless it has none) within the screen,
    from the time it shows and while it settles; every push button and
    label of it within the screen and the window."""
    def x_window():
        """The one visible X window of the program with the window's caption
        and, within a pixel or two of rounding, its size."""
        _, _, width, height = program.extents(window)
        found = []
        for wid in program.desk.xdo("search", "--onlyvisible", "--pid", program.process.pid, "--name",
                                    "^" + re.escape(window.name) + "$", check=False).split():
            fields = dict(line.split("=", 1) for line in
                          program.desk.xdo("getwindowgeometry", "--shell", wid, check=False).split() if "=" in line)
            size = (int(fields.get("WIDTH", -9)), int(fields.get("HEIGHT", -9)))
            if abs(size[0] - width) <= 2 and abs(size[1] - height) <= 2:
                found.append(wid)
        return found[0] if len(found) == 1 else None
    left = right = top = bottom = 0
    if framed:
        wid = program.wait("the X window of %s" % what, x_window)
        left, right, top, bottom = program.wait("%s framed" % what, lambda: frame_extents(program, wid))
    settled = time.monotonic() + SETTLE
    while True:
        x, y, width, height = program.extents(window)
        box = (x - left, y - top, width + left + right, height + top + bottom)
        expect(inside(box, SCREEN), "%s lies at %s with its frame, not within the screen %s" % (what, box, SCREEN))
        if time.monotonic() > settled:
            break
        time.sleep(0.05)
    # A window opened smaller than its design cuts its controls off at its
    # edge, on the screen though they are.
    box = program.extents(window)
    for control in program.find_all("push button", within=window) + program.find_all("label", within=window):
        place = program.extents(control)
        expect(inside(place, SCREEN), "%s: the %s %r lies at %s, off the screen"
               % (what, control.getRoleName(), control.name, place))
        expect(inside(place, box), "%s: the %s %r lies at %s, outside the window at %s"
               % (what, control.getRoleName(), control.name, place, box))


def cases(desk, work, bin_dir, *_):
    server = desktop.PageServer({"/fit": desktop.titled_page("Fitting page", "Words of the page")})
    desk.env["QT_SCALE_FACTOR"] = str(SCALE)
    program = desktop.start_quillan(desk, work, bin_dir)
    # The accessibility bus gives places in the program's own (scaled)
    # pixels; the X server, xdotool and the screen count device pixels.
    logical = program.extents
    program.extents = lambda node: tuple(SCALE * value for value in logical(node))
    try:
        with Case("the splash and the main window fit the screen", program, 40):
            start = program.find("push button", "Start", what="the splash's Start button")
            expect_on_screen(program, program.window_of(start), "the splash", framed=False)
            main = desktop.through_splash(program)
            expect_on_screen(program, main, "the main window")

        with Case("the help window fits the screen", program):
            known = set(program.windows())
            program.click(program.find("menu item", "Help", within=main))
            program.click(program.find("menu item", "Display Help", what="the Help menu's entry"))
            help_window = program.wait("the help window",
                                       lambda: [w for w in program.windows() if w not in known] or None)[0]
            expect_on_screen(program, help_window, "the help window")
            program.close_by_key(help_window)

        with Case("the viewer fits the screen", program):
            url_box = program.find("text", "Web site's URL", within=main)
            program.focus_by_click(url_box)
            desk.key("ctrl+a")
            desk.type(server.url("/fit"))
            desk.key("Return")
            viewer = program.window_with("label", "Font Size", what="the viewer")
            expect_on_screen(program, viewer, "the viewer")
            program.click(program.find("push button", "Close", within=viewer))
            program.wait("the viewer to close", lambda: program.gone(viewer))

        with Case("the browser fits the screen, its page fills it, its buttons stay", program, 90):
            program.click(program.find("menu item", "Web Browser", within=main))
            program.click(program.find("menu item", "Open Browser", what="the menu's Open Browser"))
            browser = program.window_with("push button", "HELP", what="the browser window")
            expect_on_screen(program, browser, "the browser")
            bx, by, bw, bh = program.extents(browser)
            page = program.find(name="Web page", within=browser, what="the browser's page")
            px, py, pw, ph = program.extents(page)
            expect(px == bx and px + pw == bx + bw, "the page spans %d..%d of the window's %d..%d"
                   % (px, px + pw, bx, bx + bw))
            address = program.extents(program.find("combo box", within=browser))
            expect(py >= address[1] + address[3] and py + ph == by + bh,
                   "the page spans %d..%d down, the address box ends at %d, the window at %d"
                   % (py, py + ph, address[1] + address[3], by + bh))

            toolbar = program.find("tool bar", within=browser)
            program.desk.xdo("windowsize", program.x_window(browser), 100, bh)
            program.wait("the browser made narrower", lambda: program.extents(browser)[2] < bw, timeout=10)
            program.wait("the browser's size to settle",
                         lambda: program.extents(toolbar)[2] == program.extents(browser)[2], timeout=10)
            narrow = program.extents(browser)
            tools = [program.extents(node) for node in program.find_all("push button", within=toolbar)
                     if node.name not in ("Quillan", "HELP")]
            rightmost_tool = max(x + w for x, _, w, _ in tools) if tools else narrow[0]
            for name in ("Quillan", "HELP"):
                place = program.extents(program.find("push button", name, within=browser))
                expect(inside(place, narrow), "%r lies at %s, outside the browser at %s" % (name, place, narrow))
                expect(place[0] >= rightmost_tool, "%r at %s covers the toolbar's buttons (to %d)"
                       % (name, place, rightmost_tool))
            program.close_by_key(browser)
            main = program.window_with("push button", "HTML to Text", what="the main window")

        with Case("Quit ends the program", program):
            program.click(program.find("push button", "Quit", within=main))
            program.expect_exit_success()
    finally:
        program.kill()
        server.close()


if __name__ == "__main__":
    if screen_and_scale(sys.argv) is None:
        print(__doc__, file=sys.stderr)
        sys.exit(USAGE_ERROR)
    sys.exit(desktop.run(cases, 3, screen=SIZE, paths=1))
