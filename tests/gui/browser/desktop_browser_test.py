#!/usr/bin/env python3
"""The browser window used from outside as a person uses it
(tests/support/desktop.py sets the stage), against pages this script serves
on 127.0.0.1.

First program start:
  - "Open Browser" from the main window's menu; an address typed into the
    address box and Enter shows the page (caption, one request);
  - A, B, A typed this way leave the address list A, B;
  - an entry picked from the open address list navigates once;
  - widened, the toolbar spans the window and the address box follows it;
  - the "Quillan" button converts the page at the address: the viewer shows
    its text while the browser waits; Close on the viewer, then the browser
    closes and the main window is back;
  - with the browser open again, the menu bar's "Quit" closes only the main
    window; closing the browser brings the main window back;
  - with the browser open, the "Quit" button ends the program, status 0.

Usage: desktop_browser_test.py BIN_DIR
"""

import os
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import desktop  # noqa: E402
from desktop import Case, expect  # noqa: E402


def open_browser(desk, program, main):
    """Opens the browser from the main window's menu and, as a person would,
    moves the two windows apart: the main window to the top left, the
    browser below it, so that neither hides the other."""
    program.click(program.find("menu item", "Web Browser", within=main))
    program.click(program.find("menu item", "Open Browser", what="the menu's Open Browser"))
    browser = program.window_with("push button", "HELP", what="the browser window")
    main_window, browser_window = program.x_window(main), program.x_window(browser)
    desk.xdo("windowmove", "--sync", main_window, 0, 0)
    below = program.extents(main)[3] + 60
    desk.xdo("windowmove", "--sync", browser_window, 0, below)
    program.wait("the main window at the top left", lambda: program.extents(main)[1] < below - 60)
    program.wait("the browser below the main window", lambda: program.extents(browser)[1] >= below)
    return browser


def address_box(program, browser):
    return program.find("text", "Address", within=browser, what="the browser's address box")


def visit(desk, program, browser, server, url, title):
    """Clicks into the address box, types the address over its text, Enter."""
    before = len(server.served)
    box = address_box(program, browser)
    program.focus_by_click(box)
    desk.key("ctrl+a")
    desk.type(url)
    desk.key("Return")
    program.wait("the browser's caption %r" % title, lambda: browser.name == title)
    path = url[url.index("/", len("http://")):]
    program.wait("the request for " + path, lambda: pages_asked(server, before))
    expect(pages_asked(server, before) == [path], "Enter asked the server for %s" % server.served[before:])


def pages_asked(server, since):
    """The pages asked for since the `since`th request, the engine's
    requests for a site icon aside."""
    return [path for path in server.served[since:] if path != "/favicon.ico"]


def address_list(program, browser):
    combo = program.find("combo box", within=browser, what="the address list")
    return [item.name for item in program.find_all("list item", within=combo, showing=False)]


def cases(desk, work, bin_dir):
    pages = {"/a": desktop.titled_page("Page A", "Words of page A"),
             "/b": desktop.titled_page("Page B", "Words of page B"),
             "/case": desktop.titled_page("lower case"), "/CASE": desktop.titled_page("upper case")}
    server = desktop.PageServer(pages)
    a, b = server.url("/a"), server.url("/b")
    program = desktop.start_quillan(desk, work, bin_dir)
    try:
        with Case("start", program, 30):
            main = desktop.through_splash(program)

        with Case("typed address and Enter show the page; the list after A, B, A, case, CASE", program, 90):
            browser = open_browser(desk, program, main)
            visit(desk, program, browser, server, a, "Page A")
            visit(desk, program, browser, server, b, "Page B")
            visit(desk, program, browser, server, a, "Page A")
            # Most recent first, each once; the start page the window opened
            # on comes after them.
            program.wait("the address list to start A, B", lambda: address_list(program, browser)[:2] == [a, b])
            listed = address_list(program, browser)
            expect(listed.count(a) == 1 and listed.count(b) == 1, "the address list is %s" % listed)
            # Addresses that differ in letter case alone are two entries.
            lower, upper = server.url("/case"), server.url("/CASE")
            visit(desk, program, browser, server, lower, "lower case")
            visit(desk, program, browser, server, upper, "upper case")
            program.wait("the address list to start with both cases",
                         lambda: address_list(program, browser)[:4] == [upper, lower, a, b])

        with Case("an entry picked from the address list navigates once", program):
            combo = program.find("combo box", within=browser, what="the address list")
            width = program.extents(combo)[2]
            before = len(server.served)
            program.click(combo, dx=width - 8)  # the drop-down arrow
            entry = program.find("list item", b, within=combo, what="the entry of B in the open list")
            program.click(entry)
            program.wait("the browser's caption 'Page B'", lambda: browser.name == "Page B")
            program.wait("the request for /b", lambda: pages_asked(server, before))
            program.wait("B first in the address list", lambda: address_list(program, browser)[:1] == [b])
            listed = address_list(program, browser)
            expect(listed.count(b) == 1, "the address list is %s" % listed)
            expect(pages_asked(server, before) == ["/b"], "the pick asked for %s" % server.served[before:])

        with Case("widened, the toolbar and the address box follow the window", program):
            window = program.x_window(browser)
            wx, _, width, height = program.extents(browser)
            wide = min(width * 3 // 2, 1200)
            desk.xdo("windowsize", window, wide, height)
            program.wait("the browser widened", lambda: program.extents(browser)[2] == wide)
            toolbar = program.find("tool bar", within=browser)
            program.wait("the toolbar across the window", lambda: program.extents(toolbar)[2] == wide)
            box = program.extents(address_box(program, browser))
            combo = program.extents(program.find("combo box", within=browser))
            # The box (its drop-down arrow too) reaches past the window's
            # design width, and ends inside the window.
            expect(combo[0] + combo[2] > wx + width, "the address box kept its design width: %s" % (combo,))
            expect(combo[0] + combo[2] <= wx + wide and box[0] + box[2] <= wx + wide,
                   "the address box reaches past the window: %s" % (combo,))
            desk.xdo("windowsize", window, width, height)
            program.wait("the browser at its size again", lambda: program.extents(browser)[2] == width)

        with Case("Quillan converts the page; the browser closes after the viewer", program):
            served = len(server.served)
            program.click(program.find("push button", "Quillan", within=browser))
            viewer = program.window_with("label", "Font Size", what="the viewer")
            text = program.find("text", "Converted text", within=viewer)
            expect("Words of page B" in (program.text(text) or ""), "the viewer shows %r" % program.text(text))
            expect(pages_asked(server, served) == ["/b"], "the conversion asked for %s" % server.served[served:])
            expect(not program.gone(browser), "the browser closed before the viewer")
            program.click(program.find("push button", "Close", within=viewer))
            program.wait("the viewer to close", lambda: program.gone(viewer))
            program.wait("the browser to close", lambda: program.gone(browser))
            main = program.window_with("push button", "HTML to Text", what="the main window back")

        with Case("Quit on the menu bar closes only the main window", program):
            browser = open_browser(desk, program, main)
            # The main window is clicked first, then its menu bar's Quit.
            program.activate(main)
            program.click(program.find("menu item", "Quit", within=main))
            program.wait("the main window to close", lambda: program.gone(main))
            expect(program.process.poll() is None, "the program ended")
            expect(not program.gone(browser), "the browser closed with the main window")
            program.click(program.find("push button", "HELP", within=browser))  # the browser still works
            help_window = program.wait("the help window", lambda: [w for w in program.windows()
                                                                 if w != browser] or None)[0]
            program.close_by_key(help_window)
            program.focus_by_click(address_box(program, browser))
            program.close_by_key(browser)
            main = program.window_with("push button", "HTML to Text", what="the main window back")

        with Case("the Quit button with the browser open ends the program", program):
            browser = open_browser(desk, program, main)
            program.click(program.find("push button", "Quit", within=main))
            program.expect_exit_success()
    finally:
        program.kill()
        server.close()


if __name__ == "__main__":
    sys.exit(desktop.run(cases, 1))
