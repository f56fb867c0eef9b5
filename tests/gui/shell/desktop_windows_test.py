#!/usr/bin/env python3
"""The main window, the file dialog, the viewer, the About box and help, used
from outside as a person uses them (tests/support/desktop.py sets the stage).

One program start, case after case:
  - "Use HTML File": the dialog lists a.htm and b.html of a folder but not
    c.txt, shows the filter "HTML Files (*.htm;*.html)"; b.html clicked and
    opened fills the file box, Enter there converts it;
  - the viewer: ">>" makes the text larger, "<<" smaller; Print opens the
    print dialog, Esc closes it; Close deletes the text beside the page;
  - the viewer again: Save through its dialog to a chosen path copies the
    text there; Close then keeps the text beside the page;
  - a text of the user's already beside the page: converting shows the new
    text from the private folder, and closing leaves the user's text as it was;
  - "Readable text" ticked by a click: Enter in the file box shows the text
    a reader sees (the entity decoded), then the box is cleared again;
  - "Article only" ticked by a click ticks "Readable text" too: a news page
    converted shows its article without the menu and the footer; clearing
    "Readable text" by a click clears both;
  - "Markdown" ticked by a click ticks "Readable text" too: the news page
    converted shows Markdown, Save offers "Markdown Files (*.md)" and a
    name typed without an extension is saved with ".md"; clearing
    "Readable text" by a click clears both;
  - About: Esc closes it, Enter closes it, "System Info..." starts the tool
    recorded in the registry;
  - "http://" alone and Enter: the message "please enter complete URL",
    closed by Enter, the focus back in the address box;
  - an address of the test's own server converted: Save opens in the
    documents folder proposing the page's title, a name typed without an
    extension is saved with ".txt";
  - F1 in the address box opens help at the address box's topic;
  - the main window made a third of its size keeps its controls in place;
  - the "Quit" button ends the program with status 0.
A second start: the splash's Quit ends the program with status 0.
A third, of a copy of the program without its main window module: Start
tells "Quillan could not open its main window." with the reason, Enter
closes the message, the splash stays, and its Quit ends the program.

Usage: desktop_windows_test.py BIN_DIR SYSINFO_RECORD
"""

import glob
import os
import shutil
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import desktop  # noqa: E402
from desktop import Case, Failure, expect  # noqa: E402


def cases(desk, work, bin_dir, sysinfo_record):
    pages = os.path.join(work, "pages")
    os.makedirs(pages)
    page = b"<html><body>\r\n<p>Words of b</p>\r\n<p>More &amp; more</p>\r\n</body></html>\r\n"
    for name, content in (("a.htm", page), ("b.html", page), ("c.txt", b"not a page\r\n")):
        with open(os.path.join(pages, name), "wb") as f:
            f.write(content)
    text_beside = os.path.join(pages, "b.TXT")
    news = os.path.join(work, "news.html")
    with open(news, "wb") as f:
        f.write(b"<html><head><title>Harbour lights return - Portside News</title></head><body>\r\n"
                b"<nav><ul><li><a href=/>Home</a></li><li><a href=/sport>Sport pages</a></li>"
                b"<li><a href=/weather>Weather desk</a></li></ul></nav>\r\n"
                b"<article><h1>Harbour lights return</h1>\r\n"
                b"<p>The old lamps along the harbour wall were lit again on Saturday, after a winter in which "
                b"the council, the fishermen and the lifeboat crew argued about who would pay for them.</p>\r\n"
                b"<p>Volunteers cleaned, painted and rewired forty-two lamps, and the last of them came on at "
                b"dusk, to applause from a crowd that had gathered on the quay despite the rain.</p></article>\r\n"
                b"<footer><p>Copyright Portside News, all rights reserved.</p>"
                b"<p><a href=/privacy>Privacy notice</a></p></footer></body></html>\r\n")

    # The System Information tool: a script that leaves a mark.
    mark = os.path.join(work, "sysinfo-ran")
    tool = os.path.join(work, "sysinfo-tool")
    with open(tool, "w") as f:
        f.write("#!/bin/sh\necho ran > '%s'\n" % mark)
    os.chmod(tool, 0o755)

    server = desktop.PageServer({"/news/today.html": desktop.titled_page("Fish &amp; chips: today", "Fresh")})
    program = desktop.start_quillan(desk, work, bin_dir)
    recorded = desktop.subprocess.run([sysinfo_record, tool], env=program.env, capture_output=True,
                                      text=True, timeout=30)
    expect(recorded.returncode == 0, "could not record the System Information tool: " + recorded.stderr)
    try:
        def converted(page=None):
            """Converts with Return, PAGE typed into the file box first when
            given; the viewer and the text it shows."""
            program.focus_by_click(program.find("text", "HTML file", within=main))
            if page is not None:
                desk.key("ctrl+a")
                desk.type(page)
            desk.key("Return")
            viewer = program.window_with("label", "Font Size", what="the viewer")
            return viewer, program.text(program.find("text", "Converted text", within=viewer)) or ""

        def close(viewer):
            program.click(program.find("push button", "Close", within=viewer))
            program.wait("the viewer to close", lambda: program.gone(viewer))

        with Case("start", program, 30):
            main = desktop.through_splash(program)

        with Case("Use HTML File lists .htm and .html, choosing fills the file box", program):
            program.click(program.find("radio button", "Use HTML File", within=main))
            dialog = program.window_with("label", "Look in:", what="the file dialog")
            expect(dialog.name == "Open HTML File", "the dialog is titled %r" % dialog.name)
            name_box = program.find("text", "File name:", within=dialog)
            program.focus_by_click(name_box)
            desk.key("ctrl+a")
            desk.type(pages)
            desk.key("Return")

            def file_entries():
                # The folder's files, in the list or in the detailed view
                # (whose first column holds the names).
                for view in program.find_all(name="Files", within=dialog):
                    if view.getRoleName() == "list":
                        return program.find_all("list item", within=view)
                    if view.getRoleName() == "tree":
                        header = program.find_all("table column header", "Name", within=view)
                        column = program.extents(header[0])[0] if header else None
                        return [cell for cell in program.find_all("table cell", within=view)
                                if program.extents(cell)[0] == column]
                return []

            def files():
                return sorted(entry.name for entry in file_entries())
            try:
                program.wait("a.htm and b.html in the dialog", lambda: {"a.htm", "b.html"} <= set(files()))
            except Failure:
                raise Failure("the dialog lists %s, not a.htm and b.html" % files())
            expect(files() == ["a.htm", "b.html"], "the dialog lists %s" % files())
            shown = [box.name for box in program.find_all("combo box", within=dialog)]
            expect("HTML Files (*.htm;*.html)" in shown, "no file type list showing the filter: %s" % shown)
            program.focus_by_click(name_box)
            desk.key("ctrl+a")
            desk.type("b.html")
            desk.key("Return")
            program.wait("the dialog to close", lambda: program.gone(dialog))
            file_box = program.find("text", "HTML file", within=main)
            expect(program.text(file_box) == os.path.join(pages, "b.html"),
                   "the file box holds %r" % program.text(file_box))
            program.activate(main)
            program.wait("the focus in the file box",
                         lambda: program.has_state(file_box, program.atspi.STATE_FOCUSED))

        with Case("Enter converts; the viewer sizes its text; Close deletes it", program):
            desk.key("Return")
            viewer = program.window_with("label", "Font Size", what="the viewer")
            text = program.find("text", "Converted text", within=viewer)
            expect("Words of b" in (program.text(text) or ""), "the viewer shows %r" % program.text(text))
            expect(os.path.exists(text_beside), "no text beside the page")
            start = program.glyph_height(text)
            program.click(program.find("push button", ">>", within=viewer))
            program.wait("larger text", lambda: program.glyph_height(text) > start)
            larger = program.glyph_height(text)
            program.click(program.find("push button", "<<", within=viewer))
            program.click(program.find("push button", "<<", within=viewer))
            program.wait("smaller text", lambda: program.glyph_height(text) < larger)
            # The print dialog opens on the viewer and Esc closes it.
            program.click(program.find("push button", "Print", within=viewer))
            printing = program.wait("the print dialog", lambda: [w for w in program.windows()
                                                                if w.getRoleName() == "dialog"] or None)[0]
            program.activate(printing)
            desk.key("Escape")
            program.wait("the print dialog to close", lambda: program.gone(printing))
            program.click(program.find("push button", "Close", within=viewer))
            program.wait("the viewer to close", lambda: program.gone(viewer))
            program.wait("the text beside the page to go", lambda: not os.path.exists(text_beside))

        with Case("Save through its dialog, then Close keeps the text", program):
            file_box = program.find("text", "HTML file", within=main)
            program.focus_by_click(file_box)
            desk.key("Return")
            viewer = program.window_with("label", "Font Size", what="the viewer")
            program.click(program.find("push button", "Save", within=viewer))
            save = program.window_with("label", "Look in:", what="the save dialog")
            name_box = program.find("text", "File name:", within=save)
            program.focus_by_click(name_box)
            chosen = os.path.join(work, "kept.txt")
            desk.key("ctrl+a")
            desk.type(chosen)
            desk.key("Return")
            program.wait("the save dialog to close", lambda: program.gone(save))
            program.wait("the chosen file", lambda: os.path.exists(chosen))
            with open(chosen, "rb") as f:
                saved = f.read()
            with open(text_beside, "rb") as f:
                beside = f.read()
            expect(saved == beside and b"Words of b" in saved, "the saved file holds %r" % saved[:80])
            program.click(program.find("push button", "Close", within=viewer))
            program.wait("the viewer to close", lambda: program.gone(viewer))
            expect(os.path.exists(text_beside), "a saved text beside its page was deleted")

        with Case("a text already beside the page survives converting and closing the viewer", program):
            with open(text_beside, "wb") as f:
                f.write(b"my own notes\r\n")
            file_box = program.find("text", "HTML file", within=main)
            program.focus_by_click(file_box)
            desk.key("Return")
            viewer = program.window_with("label", "Font Size", what="the viewer")
            text = program.find("text", "Converted text", within=viewer)
            expect("Words of b" in (program.text(text) or ""), "the viewer shows %r" % program.text(text))
            with open(text_beside, "rb") as f:
                expect(f.read() == b"my own notes\r\n", "the text beside the page was overwritten")
            private = glob.glob(os.path.join(program.tmp, "quillan-*", "*.TXT"))
            expect(len(private) == 1, "the text is not alone in the private folder: %s" % private)
            program.click(program.find("push button", "Close", within=viewer))
            program.wait("the viewer to close", lambda: program.gone(viewer))
            program.wait("the private text to go", lambda: not os.path.exists(private[0]))
            with open(text_beside, "rb") as f:
                expect(f.read() == b"my own notes\r\n", "closing the viewer changed the text beside the page")

        with Case("Readable text ticked by a click: Enter gives the text a reader sees", program):
            readable = program.find("check box", "Readable text", within=main)
            checked = program.atspi.STATE_CHECKED
            expect(not program.has_state(readable, checked), "Readable text is ticked at the start")
            program.click(readable)
            program.wait("Readable text ticked", lambda: program.has_state(readable, checked))
            viewer, shown = converted()
            expect("More & more" in shown and "&amp;" not in shown, "the viewer shows %r" % shown)
            close(viewer)
            program.click(readable)
            program.wait("Readable text cleared", lambda: not program.has_state(readable, checked))

        with Case("Article only ticked by a click: the article without its menu and footer", program):
            readable = program.find("check box", "Readable text", within=main)
            article = program.find("check box", "Article only", within=main)
            checked = program.atspi.STATE_CHECKED
            expect(not program.has_state(article, checked), "Article only is ticked at the start")
            program.click(article)
            program.wait("Article only ticked", lambda: program.has_state(article, checked))
            program.wait("Readable text ticked with it", lambda: program.has_state(readable, checked))
            viewer, shown = converted(news)
            expect(shown.startswith("Harbour lights return\n") and "forty-two lamps" in shown
                   and "Sport pages" not in shown and "Copyright" not in shown,
                   "the viewer shows %r" % shown)
            close(viewer)
            program.click(readable)
            program.wait("Readable text cleared", lambda: not program.has_state(readable, checked))
            program.wait("Article only cleared with it", lambda: not program.has_state(article, checked))

        with Case("Markdown ticked by a click: the page as Markdown, saved as a .md file", program):
            readable = program.find("check box", "Readable text", within=main)
            markdown = program.find("check box", "Markdown", within=main)
            checked = program.atspi.STATE_CHECKED
            expect(not program.has_state(markdown, checked), "Markdown is ticked at the start")
            program.click(markdown)
            program.wait("Markdown ticked", lambda: program.has_state(markdown, checked))
            program.wait("Readable text ticked with it", lambda: program.has_state(readable, checked))
            viewer, shown = converted(news)
            expect("\n# Harbour lights return\n" in shown and "[Sport pages](/sport)" in shown,
                   "the viewer shows %r" % shown)
            program.click(program.find("push button", "Save", within=viewer))
            save = program.window_with("label", "Look in:", what="the save dialog")
            types = [box.name for box in program.find_all("combo box", within=save)]
            expect("Markdown Files (*.md)" in types, "no file type list showing Markdown: %s" % types)
            name_box = program.find("text", "File name:", within=save)
            program.focus_by_click(name_box)
            desk.key("ctrl+a")
            desk.type(os.path.join(work, "news notes"))
            desk.key("Return")
            program.wait("the save dialog to close", lambda: program.gone(save))
            kept = os.path.join(work, "news notes.md")
            program.wait("the copy, with .md", lambda: os.path.exists(kept))
            with open(kept, "rb") as f:
                expect(b"# Harbour lights return" in f.read(), "the copy lacks the Markdown")
            close(viewer)
            program.click(readable)
            program.wait("Readable text cleared", lambda: not program.has_state(readable, checked))
            program.wait("Markdown cleared with it", lambda: not program.has_state(markdown, checked))

        with Case("About: Esc and Enter close it, System Info starts the recorded tool", program):
            for key in ("Escape", "Return"):
                program.click(program.find("menu item", "About", within=main))
                program.click(program.find("menu item", "About Quillan", what="the About menu's entry"))
                about = program.window_with("push button", "System Info...", what="the About box")
                program.activate(about)
                desk.key(key)
                program.wait("the About box to close on " + key, lambda: program.gone(about))
            program.click(program.find("menu item", "About", within=main))
            program.click(program.find("menu item", "About Quillan", what="the About menu's entry"))
            about = program.window_with("push button", "System Info...", what="the About box")
            program.click(program.find("push button", "System Info...", within=about))
            program.wait("the System Information tool to run", lambda: os.path.exists(mark))
            if not program.gone(about):
                program.click(program.find("push button", "OK", within=about))
                program.wait("the About box to close", lambda: program.gone(about))

        with Case("the bare \"http://\" is refused with a message; Enter closes it", program):
            program.click(program.find("radio button", "Retrieve from URL", within=main))
            url_box = program.find("text", "Web site's URL", within=main)
            program.focus_by_click(url_box)
            expect(program.text(url_box) == "http://", "the address box holds %r" % program.text(url_box))
            desk.key("Return")
            message = program.window_with("label", "please enter complete URL", what="the message")
            program.activate(message)
            desk.key("Return")
            program.wait("the message to close", lambda: program.gone(message))
            program.activate(main)
            program.wait("the focus back in the address box",
                         lambda: program.has_state(url_box, program.atspi.STATE_FOCUSED))

        with Case("Save of a fetched page starts in the documents folder with the page's title", program):
            documents = os.path.join(os.environ["HOME"], "Documents")
            os.makedirs(documents, exist_ok=True)
            program.focus_by_click(url_box)
            desk.key("ctrl+a")
            desk.type(server.url("/news/today.html"))
            desk.key("Return")
            viewer = program.window_with("label", "Font Size", what="the viewer")
            program.click(program.find("push button", "Save", within=viewer))
            save = program.window_with("label", "Look in:", what="the save dialog")
            name_box = program.find("text", "File name:", within=save)
            program.wait("the proposed name", lambda: program.text(name_box) == "Fish & chips today.txt")
            folders = [box.name for box in program.find_all("combo box", within=save)]
            expect(documents in folders, "the save dialog does not start in %s: %s" % (documents, folders))
            program.focus_by_click(name_box)
            desk.key("ctrl+a")
            desk.type("my copy")
            desk.key("Return")
            program.wait("the save dialog to close", lambda: program.gone(save))
            kept = os.path.join(documents, "my copy.txt")
            program.wait("the copy in the documents folder, with .txt", lambda: os.path.exists(kept))
            with open(kept, "rb") as f:
                expect(b"Fresh" in f.read(), "the copy lacks the page's text")
            program.click(program.find("push button", "Close", within=viewer))
            program.wait("the viewer to close", lambda: program.gone(viewer))
            expect(os.path.exists(kept), "the saved copy went with the viewer")

        with Case("F1 in the address box opens help at its topic", program):
            program.focus_by_click(url_box)
            known = set(program.windows())
            desk.key("F1")

            def help_window():
                for window in program.windows():
                    if window not in known and any("The address box" in (program.text(node) or "")
                                                   for node in program.find_all(within=window)):
                        return window
                return None
            program.close_by_key(program.wait("the help window at the address box's topic", help_window))
            expect(not program.gone(main), "the main window closed with the help window")

        with Case("the main window made smaller clips its controls in place", program):
            url_box = program.find("text", "Web site's URL", within=main)
            program.focus_by_click(url_box)
            wx, wy, width, height = program.extents(main)
            bx, by, _, _ = program.extents(url_box)
            window = program.x_window(main)
            desk.xdo("windowsize", window, width // 3, height // 3)
            program.wait("the main window at a third of its size",
                         lambda: program.extents(main)[2] <= width // 3 + 2)
            nx, ny, _, _ = program.extents(main)
            mx, my, _, _ = program.extents(url_box)
            expect((mx - nx, my - ny) == (bx - wx, by - wy), "the address box moved within the window")
            desk.xdo("windowsize", window, width, height)
            program.wait("the main window at its size again", lambda: program.extents(main)[2] == width)

        with Case("Quit ends the program", program):
            program.click(program.find("push button", "Quit", within=main))
            program.expect_exit_success()
    finally:
        program.kill()
        server.close()

    # A second start: the splash's own Quit ends the program.
    program = desktop.start_quillan(desk, work, bin_dir, "quillan-2")
    try:
        with Case("Quit on the splash ends the program", program, 30):
            program.click(program.find("push button", " Quit", what="the splash's Quit button"))
            program.expect_exit_success()
    finally:
        program.kill()

    # A third start, of a copy without the main window module.
    lonely = os.path.join(work, "lonely")
    os.makedirs(lonely)
    for name in ("quillan", "regsvr", "netvane.so", "spider14.gif"):
        shutil.copy2(os.path.join(bin_dir, name), lonely)
    program = desktop.start_quillan(desk, work, lonely, "quillan-3")
    try:
        with Case("Start without the main window module tells so and keeps the splash", program, 30):
            start = program.find("push button", "Start", what="the splash's Start button")
            splash = program.window_of(start)
            program.click(start)

            def message_label():
                for node in program.find_all(role="label"):
                    if (node.name or "").startswith("Quillan could not open its main window.\n"):
                        return node
                return None
            label = program.wait("the message with its reason", message_label)
            expect("quillan-main.so" in label.name, "the reason does not name the module: %r" % label.name)
            message = program.window_of(label)
            program.activate(message)
            desk.key("Return")
            program.wait("the message to close", lambda: program.gone(message))
            expect(not program.gone(splash), "the splash went with the message")
            program.click(program.find("push button", " Quit", within=splash))
            program.expect_exit_success()
    finally:
        program.kill()


if __name__ == "__main__":
    sys.exit(desktop.run(cases, 2))
