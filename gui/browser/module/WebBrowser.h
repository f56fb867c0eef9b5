#pragma once
// The browser control of the browser window: a web view with the
// vocabulary the window is written against (Navigate, GoBack, Busy,
// LocationName, the DownloadComplete and NavigateComplete events ...).
//
// Settings: the home page (GoHome) and the search page (GoSearch) are read
// at each call from the current user's registry, where the platform keeps
// its browser control's settings: REG_SZ values "Start Page" and
// "Search Page" of HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Main.
// Absent or empty values mean the defaults: the program's own page
// quillan.htm for home, and a web search engine for search.
//
// A page loaded from a file reads no other file and no web address by
// script (XMLHttpRequest, fetch); it is shown, and links from it followed,
// as any other page.
//
// Events, in the order they come for one page:
//   BeforeNavigate    Navigate (or Home, Search) was asked for an address;
//   NavigateComplete  the control has moved to the new page (its address is
//                     committed; LocationURL already tells it, the title
//                     may still follow);
//   DownloadComplete  loading ended, completed, stopped or failed.
// A page that cannot be reached shows the engine's own error page and
// still raises both.

#include "gui/browser/module/BrowserExport.h"

#include <QString>
#include <QUrl>
#include <QWidget>

class QWebEngineView;

class QUILLAN_BROWSER_EXPORT WebBrowser : public QWidget {
    Q_OBJECT
    // Also readable by name, for code that does not link the module.
    Q_PROPERTY(bool Busy READ Busy)
    Q_PROPERTY(QString LocationName READ LocationName)
    Q_PROPERTY(QString LocationURL READ LocationURL)
    Q_PROPERTY(bool AddressBar READ AddressBar WRITE setAddressBar)
    Q_PROPERTY(bool Resizable READ Resizable WRITE setResizable)
public:
    // `programFolder` is where the default home page quillan.htm lives.
    explicit WebBrowser(const QString &programFolder, QWidget *parent = nullptr);
    ~WebBrowser() override;

    // Registry location of the settings, and their defaults.
    static const char *const SettingsKey;       // under HKEY_CURRENT_USER
    static const char *const StartPageValue;    // "Start Page"
    static const char *const SearchPageValue;   // "Search Page"
    static const char *const DefaultSearchPage; // used when "Search Page" is absent
    QString homePage() const;
    QString searchPage() const;

    // Starts loading `address`: a web address ("http://...", or a bare host
    // name, taken as http), a local file path, or a file: URL. The empty
    // address loads an empty page.
    void Navigate(const QString &address);

    // History. False, and nothing happens, when there is no page that way.
    bool GoBack();
    bool GoForward();

    void GoHome();
    void GoSearch();
    void Refresh();
    void Stop();

    // True from the start of a load until it completes, fails or is stopped.
    bool Busy() const { return busy_; }
    // The title of the page shown (its address when it has no title).
    QString LocationName() const;
    // The full address of the page shown.
    QString LocationURL() const;

    // Properties the hosting window may set. Embedded in a window the control
    // has no address bar or frame of its own to show, so they are kept for
    // those who read them and change nothing on screen.
    bool AddressBar() const { return addressBar_; }
    void setAddressBar(bool on) { addressBar_ = on; }
    bool Resizable() const { return resizable_; }
    void setResizable(bool on) { resizable_ = on; }

    // The engine's view, for tests that look inside the page.
    QWebEngineView *view() const { return view_; }

    // Turns the engine's sandbox off when this process runs as root: the
    // engine refuses to start sandboxed as root. Runs once, before the first
    // control exists; the constructor calls it.
    static void prepareEngine();

signals:
    void BeforeNavigate(const QString &address);
    void NavigateComplete(const QString &url);
    void DownloadComplete();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    static QString readSetting(const char *valueName);
    void onLoadStarted();
    void onLoadFinished(bool ok);
    void onUrlChanged(const QUrl &url);

    QWebEngineView *view_ = nullptr;
    QString programFolder_;
    bool busy_ = false;
    bool loading_ = false; // between the engine's load started and finished
    bool addressBar_ = false;
    bool resizable_ = false;
};
