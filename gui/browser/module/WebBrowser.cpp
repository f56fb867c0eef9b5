#include "gui/browser/module/WebBrowser.h"

#include "platform/registry/registry.h"

#include <QDir>
#include <QFileInfo>
#include <QResizeEvent>
#include <QWebEngineHistory>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <unistd.h>

const char *const WebBrowser::SettingsKey = "Software\\Microsoft\\Internet Explorer\\Main";
const char *const WebBrowser::StartPageValue = "Start Page";
const char *const WebBrowser::SearchPageValue = "Search Page";
const char *const WebBrowser::DefaultSearchPage = "https://duckduckgo.com/";

namespace {

// The address as the engine takes it. A path on disk (absolute, or one
// that names an existing file) becomes a file: URL; everything else is read
// as a web address, a bare host name meaning http.
QUrl toUrl(const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return QUrl(QStringLiteral("about:blank"));
    if (QDir::isAbsolutePath(trimmed) || QFileInfo(trimmed).isFile())
        return QUrl::fromLocalFile(QFileInfo(trimmed).absoluteFilePath());
    return QUrl::fromUserInput(trimmed);
}

} // namespace

void WebBrowser::prepareEngine()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    // The engine's renderer processes run in a sandbox that needs an
    // unprivileged user: started as root, the engine stops with "Running as
    // root without --no-sandbox is not supported". Only then is the sandbox
    // switched off, and only when nobody chose otherwise; the variable is
    // read when the engine starts, which is after this.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

WebBrowser::WebBrowser(const QString &programFolder, QWidget *parent) : QWidget(parent), programFolder_(programFolder)
{
    prepareEngine();
    setObjectName(QStringLiteral("brwWebBrowser"));
    view_ = new QWebEngineView(this);
    view_->setGeometry(rect());
    // A page opened from disk is anyone's page: it may not read the user's
    // other files, nor reach out to the web beyond what any page may.
    QWebEngineSettings *settings = view_->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    connect(view_, &QWebEngineView::loadStarted, this, &WebBrowser::onLoadStarted);
    connect(view_, &QWebEngineView::loadFinished, this, &WebBrowser::onLoadFinished);
    connect(view_, &QWebEngineView::urlChanged, this, &WebBrowser::onUrlChanged);
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    view_->setGeometry(rect());
}

QString WebBrowser::readSetting(const char *valueName)
{
    const auto value = platform::RegReadString(platform::HKEY_CURRENT_USER, SettingsKey, valueName);
    return value ? QString::fromLocal8Bit(value->c_str()) : QString();
}

QString WebBrowser::homePage() const
{
    const QString page = readSetting(StartPageValue);
    return page.isEmpty() ? programFolder_ + QStringLiteral("/quillan.htm") : page;
}

QString WebBrowser::searchPage() const
{
    const QString page = readSetting(SearchPageValue);
    return page.isEmpty() ? QString::fromLatin1(DefaultSearchPage) : page;
}

void WebBrowser::Navigate(const QString &address)
{
    // Busy from the request on, not only from the engine's first signal, so
    // that a poll right after Navigate already sees the load.
    busy_ = true;
    emit BeforeNavigate(address);
    view_->load(toUrl(address));
}

bool WebBrowser::GoBack()
{
    if (!view_->history()->canGoBack())
        return false;
    busy_ = true;
    view_->back();
    return true;
}

bool WebBrowser::GoForward()
{
    if (!view_->history()->canGoForward())
        return false;
    busy_ = true;
    view_->forward();
    return true;
}

void WebBrowser::GoHome()
{
    Navigate(homePage());
}

void WebBrowser::GoSearch()
{
    Navigate(searchPage());
}

void WebBrowser::Refresh()
{
    busy_ = true;
    view_->reload();
}

void WebBrowser::Stop()
{
    view_->stop();
    busy_ = false;
}

QString WebBrowser::LocationName() const
{
    const QString title = view_->title();
    return title.isEmpty() ? LocationURL() : title;
}

QString WebBrowser::LocationURL() const
{
    return view_->url().toString();
}

void WebBrowser::onLoadStarted()
{
    busy_ = true;
    loading_ = true;
}

void WebBrowser::onLoadFinished(bool)
{
    busy_ = false;
    loading_ = false;
    emit DownloadComplete();
}

// A move within the page shown (to an anchor) changes the address without
// any load starting or finishing: it is complete as soon as it is made.
void WebBrowser::onUrlChanged(const QUrl &url)
{
    if (!url.isEmpty())
        emit NavigateComplete(url.toString());
    if (busy_ && !loading_) {
        busy_ = false;
        emit DownloadComplete();
    }
}
