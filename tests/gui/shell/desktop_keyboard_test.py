#!/usr/bin/env python3
"""The windows used from the keyboard alone, from outside as a person uses
them (tests/support/desktop.py sets the stage), against a page this script
serves on 127.0.0.1.

One program start, case after case:
  - the splash opens with the focus on Start, and Enter starts;
  - F10 opens the main window's first menu; Alt+A, A opens the About box;
    Alt+H, D opens help at its start page;
  - Tab from the address box to "Readable text", F1 there opens help at the
    check box's own topic;
  - Return on the focused "HTML to Text" presses it (the bare address's
    message shows), as Return does on any focused push button;
  - a page fetched by its address: the viewer's caption names the page;
    Ctrl++ and Ctrl+- size the text; Ctrl+F finds a word (Enter finds the
    next place, wrapping past the end, and says when a word is not there),
    F3 finds the next place from the viewer; Ctrl+P opens the print
    dialog, Ctrl+S the save dialog; Return on the focused ">>" makes the
    text larger; Esc closes the viewer.

Usage: desktop_keyboard_test.py BIN_DIR
"""

import os
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import desktop  # noqa: E402
from desktop import Case, Failure, expect  # noqa: E402


def selection(program, text_node):
    text = text_node.queryText()
    if text.getNSelections() < 1:
        return None
    start, end = text.getSelection(0)
    return (start, end) if end > start else None


def new_window(program, known, probe):
    """A window that was not among `known` and for which probe(window) holds."""
    def find():
        for window in program.windows():
            if window not in known and probe(window):
                return window
        return None
    return find


def help_showing(program, words):
    def probe(window):
        return any(words in (program.text(node) or "") for node in program.find_all(within=window))
    return probe


def tab_to(program, node, presses=12):
    """Tab until the widget has the keyboard focus, at most `presses` times."""
    for _ in range(presses):
        if program.has_state(node, program.atspi.STATE_FOCUSED):
            return
        program.desk.key("Tab")
        try:
            program.wait("the focus to move", lambda: program.has_state(node, program.atspi.STATE_FOCUSED),
                         timeout=0.5)
        except Failure:
            pass
    expect(program.has_state(node, program.atspi.STATE_FOCUSED),
           "%d Tab presses did not reach %s %r" % (presses, node.getRoleName(), node.name))


def cases(desk, work, bin_dir):
    page = (b"<html><head><title>Keys &amp; words</title></head><body>\r\n"
            b"<p>A word here and</p>\r\n<p>a word there, the last word</p>\r\n</body></html>\r\n")
    server = desktop.PageServer({"/keys": page})
    program = desktop.start_quillan(desk, work, bin_dir)
    try:
        with Case("Enter on the splash starts", program, 30):
            start = program.find("push button", "Start", what="the splash's Start button")
            splash = program.window_of(start)
            program.activate(splash)
            program.wait("the focus on Start", lambda: program.has_state(start, program.atspi.STATE_FOCUSED),
                         timeout=5)
            desk.key("Return")
            main = program.window_with("push button", "HTML to Text", what="the main window", timeout=10)
            program.wait("the splash to go", lambda: program.gone(splash))

        with Case("F10 and the access keys reach the menus", program):
            program.activate(main)
            desk.key("F10")
            item = program.find("menu item", "Open Browser", what="the Web Browser menu opened by F10", timeout=5)
            desk.key("Escape")
            program.wait("the menu to close", lambda: program.gone(item))
            desk.key("Escape")
            program.activate(main)
            desk.key("alt+a")
            program.find("menu item", "About Quillan", what="the About menu opened by Alt+A", timeout=5)
            desk.key("a")
            about = program.window_with("push button", "System Info...", what="the About box", timeout=10)
            program.activate(about)
            desk.key("Escape")
            program.wait("the About box to close", lambda: program.gone(about))
            program.activate(main)
            known = set(program.windows())
            desk.key("alt+h")
            program.find("menu item", "Display Help", what="the Help menu opened by Alt+H", timeout=5)
            desk.key("d")
            help_window = program.wait("the help window at its start page",
                                       new_window(program, known, help_showing(program, "Quillan Help")))
            program.close_by_key(help_window)

        with Case("F1 on Readable text opens its own topic", program):
            url_box = program.find("text", "Web site's URL", within=main)
            program.focus_by_click(url_box)
            readable = program.find("check box", "Readable text", within=main)
            desk.key("Tab")
            program.wait("the focus on Readable text",
                         lambda: program.has_state(readable, program.atspi.STATE_FOCUSED), timeout=5)
            known = set(program.windows())
            desk.key("F1")
            topic = "Quillan converts a page in one of"
            try:
                help_window = program.wait("the help window at the Readable text topic",
                                           new_window(program, known, help_showing(program, topic)), timeout=10)
            except Failure:
                shown = [program.text(node) for window in program.windows() if window not in known
                         for node in program.find_all(within=window) if program.text(node)]
                raise Failure("F1 on Readable text showed %r" % [text[:80] for text in shown])
            expect(not program.has_state(readable, program.atspi.STATE_CHECKED), "F1 ticked the box")
            program.close_by_key(help_window)

        with Case("Return on the focused HTML to Text presses it", program):
            url_box = program.find("text", "Web site's URL", within=main)
            program.focus_by_click(url_box)
            desk.key("ctrl+a")
            desk.type("http://")
            tab_to(program, program.find("push button", "HTML to Text", within=main))
            desk.key("Return")
            message = program.window_with("label", "please enter complete URL", what="the message", timeout=10)
            program.activate(message)
            desk.key("Return")
            program.wait("the message to close", lambda: program.gone(message))

        with Case("the viewer from the keyboard", program, 90):
            url_box = program.find("text", "Web site's URL", within=main)
            program.focus_by_click(url_box)
            desk.key("ctrl+a")
            desk.type(server.url("/keys"))
            desk.key("Return")
            viewer = program.window_with("label", "Font Size", what="the viewer")
            expect(viewer.name == "Keys & words - Quillan", "the viewer is captioned %r" % viewer.name)
            text = program.find("text", "Converted text", within=viewer)
            program.wait("the text in the viewer", lambda: "the last word" in (program.text(text) or ""))
            program.activate(viewer)
            size = program.glyph_height(text)
            desk.key("ctrl+plus")
            program.wait("larger text on Ctrl++", lambda: program.glyph_height(text) > size, timeout=5)
            larger = program.glyph_height(text)
            desk.key("ctrl+minus")
            program.wait("smaller text on Ctrl+-", lambda: program.glyph_height(text) < larger, timeout=5)

            # Ctrl+F: "word" three times, then the first again.
            whole = program.text(text)
            places = [i for i in range(len(whole)) if whole.startswith("word", i)]
            expect(len(places) >= 3, "the text holds 'word' at %s: %r" % (places, whole))
            desk.key("ctrl+f")
            find_box = program.find("text", "Find what", what="the find dialog's box", timeout=5)
            finder = program.window_of(find_box)
            program.activate(finder, spot=find_box)
            program.wait("the focus in the find box",
                         lambda: program.has_state(find_box, program.atspi.STATE_FOCUSED), timeout=5)
            desk.type("word")
            for expected in places + places[:1]:
                desk.key("Return")
                program.wait("'word' selected at %d" % expected,
                             lambda: selection(program, text) == (expected, expected + 4), timeout=5)
            desk.key("ctrl+a")
            desk.type("absent")
            desk.key("Return")
            program.find("label", '"absent" was not found.', within=finder, what="the not-found line",
                         timeout=5)
            desk.key("ctrl+a")
            desk.type("word")
            desk.key("Escape")
            program.wait("the find dialog to close", lambda: program.gone(finder))
            expect(not program.gone(viewer), "Esc in the find dialog closed the viewer")
            program.activate(viewer, spot=program.find("label", "Font Size", within=viewer))
            before = selection(program, text)
            desk.key("F3")
            program.wait("F3 to find the next place",
                         lambda: selection(program, text) not in (None, before), timeout=5)

            known = set(program.windows())
            desk.key("ctrl+p")
            printing = program.wait("the print dialog on Ctrl+P",
                                    new_window(program, known, lambda w: w.getRoleName() == "dialog"), timeout=10)
            program.activate(printing)
            desk.key("Escape")
            program.wait("the print dialog to close", lambda: program.gone(printing))
            program.activate(viewer, spot=program.find("label", "Font Size", within=viewer))
            desk.key("ctrl+s")
            save = program.window_with("label", "Look in:", what="the save dialog on Ctrl+S", timeout=10)
            program.activate(save)
            desk.key("Escape")
            program.wait("the save dialog to close", lambda: program.gone(save))
            program.activate(viewer, spot=program.find("label", "Font Size", within=viewer))
            tab_to(program, program.find("push button", ">>", within=viewer))
            size = program.glyph_height(text)
            desk.key("Return")
            program.wait("larger text on Return on >>", lambda: program.glyph_height(text) > size, timeout=5)
            desk.key("Escape")
            program.wait("the viewer to close on Esc", lambda: program.gone(viewer), timeout=5)

        with Case("Quit ends the program", program):
            program.click(program.find("push button", "Quit", within=main))
            program.expect_exit_success()
    finally:
        program.kill()
        server.close()


if __name__ == "__main__":
    sys.exit(desktop.run(cases, 1))
