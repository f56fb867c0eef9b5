#!/usr/bin/env python3
"""The built program driven from outside, as a user drives it, by keys alone.

On a desktop of its own (tests/support/desktop.py sets the stage: network
namespace, virtual display, window manager, accessibility bus): Start on the
splash, an address of this script's own HTTP server on 127.0.0.1 typed over
the "http://" in the address box, Enter, the viewer awaited and the text
file it shows compared with what quillan-convert makes of the same page, the
viewer closed with its Close button, and the program ended with the main
window's Quit button, which must end it with status 0. Keys go through the
X server (xdotool); windows and focus are read over the accessibility bus.

Usage: e2e_main_road.py QUILLAN REGSVR NETVANE_SO QUILLAN_CONVERT
"""

import glob
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import desktop  # noqa: E402
from desktop import Case, Failure  # noqa: E402


def log(text):
    print("e2e: " + text, flush=True)


def make_page():
    """A page with CR LF line ends, entities, comments and scripts, about 40 KB."""
    lines = ["<html><head><title>End to end</title>",
             "<script>var hidden = '<p>not text</p>';</script></head><body>"]
    for i in range(400):
        lines.append("<p>Paragraph %d: caf&eacute; &amp; fish&nbsp;&lt;chips&gt; <!-- gone %d --><b>bold</b></p>" % (i, i))
        lines.append("plain line %d with \t a tab" % i)
    lines.append("</body></html>")
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


def drive(desk, work, quillan, regsvr, netvane, convert):
    bin_dir = os.path.dirname(quillan)
    if not os.path.samefile(os.path.join(bin_dir, "regsvr"), regsvr) or \
            not os.path.samefile(os.path.join(bin_dir, "netvane.so"), netvane):
        raise Failure("regsvr and netvane.so are expected beside the program")

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

    server = desktop.PageServer({"/page.html": page})
    url = server.url("/page.html")
    program = desktop.start_quillan(desk, work, bin_dir)
    tmp = program.tmp
    focused = program.atspi.STATE_FOCUSED
    try:
        with Case("Start by key", program, 30):
            start = program.find("push button", "Start", what="the splash's Start button")
            splash = program.window_of(start)
            program.wait("the focus on Start", lambda: program.has_state(start, focused))
            desk.key("space")
            main = program.window_with("push button", "HTML to Text", what="the main window")
            program.wait("the splash to go", lambda: program.gone(splash))

        with Case("address typed, Enter, the viewer shows the converter's text", program):
            # The window opens with the checked option "URL" focused; Tab goes
            # on to the address box, whose "http://" is selected and typed over.
            program.activate(main)
            url_option = program.find("radio button", "Retrieve from URL", within=main)
            program.wait("the focus on the URL option", lambda: program.has_state(url_option, focused))
            desk.key("Tab")
            url_box = program.find("text", "Web site's URL", within=main)
            program.wait("the focus in the address box", lambda: program.has_state(url_box, focused))
            desk.key("ctrl+a")
            desk.type(url)
            desk.key("Return")
            viewer = program.window_with("push button", "Close", what="the viewer")
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

        with Case("Close by key deletes the text", program):
            # The viewer opens with its text focused; Shift+Tab twice goes
            # round the chain to Help and back to Close.
            program.activate(viewer)
            text = program.find("text", "Converted text", within=viewer)
            program.wait("the focus in the viewer's text", lambda: program.has_state(text, focused))
            desk.key("shift+Tab", "shift+Tab")
            close = program.find("push button", "Close", within=viewer)
            program.wait("the focus on Close", lambda: program.has_state(close, focused))
            desk.key("space")
            program.wait("the viewer to close", lambda: program.gone(viewer))
            program.wait("the viewer's text file to go", lambda: not os.path.exists(texts[0]))

        with Case("Quit by key ends the program and leaves nothing", program):
            # The address box has the focus again; Tab passes the disabled
            # file box, the "Readable text", "Article only" and "Markdown"
            # boxes and "HTML to Text" to reach Quit.
            program.activate(main)
            program.wait("the focus back in the address box", lambda: program.has_state(url_box, focused))
            desk.key("Tab", "Tab", "Tab", "Tab", "Tab")
            quit_button = program.find("push button", "Quit", within=main)
            program.wait("the focus on Quit", lambda: program.has_state(quit_button, focused))
            desk.key("space")
            status = program.ended()
            if status != 0:
                raise Failure("the program ended with status %d" % status)
            left = glob.glob(os.path.join(tmp, "*"))
            if left:
                raise Failure("the program left %s in its temporary folder" % left)
    finally:
        program.kill()
        server.close()


if __name__ == "__main__":
    sys.exit(desktop.run(drive, 4))
