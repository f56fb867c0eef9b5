#pragma once
// The two sides of the browser module.
//
// The browser window and the browser engine behind it live in a module of
// their own (quillan-browser.so beside the program), loaded the first time
// the browser is needed, so that starting the program never pays for the
// engine. The program and the module meet only through the two abstract
// classes below and the module's three C entry points:
//
//   - BrowserHost: what the browser window needs of the program (the main
//     window, help, the program's folder). The program implements it and
//     hands it to the module; the module keeps no program-wide state of its
//     own (no main window, no help file path, no help window).
//   - BrowserWindow: what the program does with the browser window.
//
// Both sides link the same Qt libraries, so Qt value types cross freely.
// Everything is called on the user-interface thread.

#include <QString>
#include <QtGlobal>

#include <functional>

class QWidget;

// What the browser window asks of the program.
class BrowserHost {
public:
    virtual ~BrowserHost() = default;

    // Converts the page at `address` through the main window, exactly as if
    // the user had typed it there: puts `address` unchanged into the main
    // window's address box (creating the main window in its initial state
    // when it had been closed), shows the main window, selects URL mode and
    // presses "HTML to Text". Returns at once; whenEnded runs once that
    // command has finished (the user closed the text viewer, or dismissed
    // the command's message), or at once when the main window is busy with
    // another command and cannot take this one.
    virtual void convertAddress(const QString &address, std::function<void()> whenEnded) = 0;

    // Shows the main window modeless, creating it afresh in its initial
    // state when it had been closed.
    virtual void showMainWindow() = 0;

    // Opens the program's help file at the topic of `contextId` (0: the
    // default topic), without an owner window. Silent when there is no help.
    virtual void showHelp(qint32 contextId) = 0;

    // The folder the program runs from (where quillan.htm ships).
    virtual QString programFolder() const = 0;
};

// What the program does with the browser window.
// The object is the window itself: it is valid until the window closes (see
// widget()).
class BrowserWindow {
public:
    // The program's own start page at pagePath (a local file): loading
    // starts, the address box is emptied until the page is there, and the
    // window comes to the front with the keyboard in the address box.
    virtual void openStartPage(const QString &pagePath) = 0;

    // The publisher's site: loading of entryPage starts while the address
    // box shows shownAddress; the convert button is hidden (there is nothing
    // of the user's to convert there) and the window may be resized. The
    // caller then shows it with showModeless().
    virtual void openPublisherSite(const QString &entryPage, const QString &shownAddress) = 0;

    // The address box's text.
    virtual QString addressText() const = 0;

    // Shows the window modeless and brings it to the front.
    virtual void showModeless() = 0;

    // The window. Closing it unloads it: it is deleted soon after, and the
    // next request for the browser window creates a fresh one. Hold it in a
    // QPointer to notice that.
    virtual QWidget *widget() = 0;

protected:
    virtual ~BrowserWindow() = default; // owned by the module, never deleted through this
};

// The module's entry points (extern "C", looked up by these names).
namespace BrowserModuleAbi {

// Bumped whenever either class above changes; the loader refuses a module
// built against another version.
inline constexpr int Version = 3;

inline constexpr char VersionSymbol[] = "quillan_browser_abi_version";
inline constexpr char WindowSymbol[] = "quillan_browser_window";
inline constexpr char IfLoadedSymbol[] = "quillan_browser_window_if_loaded";

// int quillan_browser_abi_version(void): the Version the module was built with.
using VersionFunction = int (*)();
// The browser window, loaded now (its load shows it) when it is not loaded.
// `host` must outlive every browser window.
using WindowFunction = BrowserWindow *(*)(BrowserHost *host);
// The browser window if it is loaded, else nullptr. Never loads it.
using IfLoadedFunction = BrowserWindow *(*)();

} // namespace BrowserModuleAbi
