#!/usr/bin/env python3
"""Every window fits the screen it opens on, and the browser's page and
buttons fit the browser, from outside as a person sees them
(tests/support/desktop.py sets the stage), the program scaled by two
(QT_SCALE_FACTOR=2) on the 1280x1024 screen.

One program start:
  - the splash, the main window, the help window, the viewer and the
    browser each lie within the screen, their push buttons too;
  - the browser's page fills the window's width below the address row;
  - the browser made as narrow as it allows keeps "Quillan" and "HELP"
    inside the window, clear of the toolbar's own buttons.

Usage: desktop_fit_test.py BIN_DIR
"""

import os
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import desktop  # noqa: E402
from desktop import Case, expect  # noqa: E402

SCREEN = (0, 0, 1280, 1024)
SCALE = 2


def inside(box, area):
    x, y, w, h = box
    ax, ay, aw, ah = area
    return w > 0 and h > 0 and x >= ax and y >= ay and x + w <= ax + aw and y + h <= ay + ah


def expect_on_screen(program, window, what):
    """The window, and every push button in it, within the screen."""
    box = program.extents(window)
    expect(inside(box, SCREEN), "%s lies at %s, not within the screen %s" % (what, box, SCREEN))
    for button in program.find_all("push button", within=window):
        place = program.extents(button)
        expect(inside(place, SCREEN), "%s: the button %r lies at %s, off the screen" % (what, button.name, place))


def cases(desk, work, bin_dir):
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
            expect_on_screen(program, program.window_of(start), "the splash")
            main = desktop.through_splash(program)
            program.wait("the main window placed", lambda: inside(program.extents(main), SCREEN), timeout=5)
            expect_on_screen(program, main, "the main window")

        with Case("the help window fits the screen", program):
            known = set(program.windows())
            program.click(program.find("menu item", "Help", within=main))
            program.click(program.find("menu item", "Display Help", what="the Help menu's entry"))
            help_window = program.wait("the help window",
                                       lambda: [w for w in program.windows() if w not in known] or None)[0]
            program.wait("the help window placed", lambda: inside(program.extents(help_window), SCREEN),
                         timeout=5)
            expect_on_screen(program, help_window, "the help window")
            program.close_by_key(help_window)

        with Case("the viewer fits the screen", program):
            url_box = program.find("text", "Web site's URL", within=main)
            program.focus_by_click(url_box)
            desk.key("ctrl+a")
            desk.type(server.url("/fit"))
            desk.key("Return")
            viewer = program.window_with("label", "Font Size", what="the viewer")
            program.wait("the viewer placed", lambda: inside(program.extents(viewer), SCREEN), timeout=5)
            expect_on_screen(program, viewer, "the viewer")
            program.click(program.find("push button", "Close", within=viewer))
            program.wait("the viewer to close", lambda: program.gone(viewer))

        with Case("the browser fits the screen, its page fills it, its buttons stay", program, 90):
            program.click(program.find("menu item", "Web Browser", within=main))
            program.click(program.find("menu item", "Open Browser", what="the menu's Open Browser"))
            browser = program.window_with("push button", "HELP", what="the browser window")
            program.wait("the browser placed", lambda: inside(program.extents(browser), SCREEN), timeout=5)
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
    sys.exit(desktop.run(cases, 1))
